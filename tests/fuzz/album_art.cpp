// The album-art page scan, the song title split and the catalogue reply. Checks: an address
// is found only on a page naming the image host's "/images" path, and is one line without
// quotes; a split title gives both sides non-empty and the cache key one line; a catalogue
// address is one line.
//
// Input: the shop page, then the stream title, then the catalogue reply (lines "=====").

#include "player/album_art.h"

#include "fuzz_support.h"

using tl::fuzz::check;
using tl::fuzz::oneLine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parts = tl::fuzz::parts(tl::fuzz::view(data, size), 3);
    const QByteArray page = tl::fuzz::part(parts, 0);
    const QString title = QString::fromUtf8(tl::fuzz::part(parts, 1));
    const QByteArray reply = tl::fuzz::part(parts, 2);

    const QString host = QStringLiteral("img.example");
    const QString address = tl::FindAlbumArtAddress(page, host);
    if (!address.isEmpty()) {
        // The line's first src=" decides; it names the image host when it is the marker's.
        check(page.contains("src=\"http://img.example/images"), "only a line with the marker");
        check(oneLine(address) && !address.contains(u'"'), "one line without quotes");
    }
    check(tl::FindAlbumArtAddress(page, QString()).isEmpty(), "no host, no address");
    if (tl::HasAlbumArtExtension(address)) {
        check(address.endsWith(u".jpg") || address.endsWith(u".png"), "an image extension");
    }

    if (const auto song = tl::SplitSongTitle(title, QStringLiteral("Station"))) {
        check(!song->artist.isEmpty() && !song->title.isEmpty(), "both sides of a title");
        check(oneLine(song->cacheKey()), "a cache key is one line");
        const QString url = tl::CatalogueSearchUrl(QStringLiteral("https://c.example/s"), *song);
        check(oneLine(url) && !url.contains(u' ') && !url.contains(u'#'), "an escaped query");
    }

    if (const auto art = tl::ParseCatalogueReply(reply)) {
        (void)art->size();
    }
    return 0;
}
