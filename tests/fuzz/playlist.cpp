// Playlist resolution (PLS, M3U, ASX, reference files, and documents behind addresses that do
// not name their kind) on the downloaded bytes, as the resolver reads them back. Checks: the
// entry is one line, and is either nothing, the address itself (audio), or text taken from
// the document; the extension rule never yields a ':' or '\'.
//
// Input: one byte choosing the address and the reply's type, then the document. HLS detection
// runs on every document; its verdict is checked against the rule's necessary parts.

#include "directory/playlist.h"
#include "common/hls_detect.h"
#include "common/text.h"

#include "fuzz_support.h"

using tl::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    static const char* const kAddresses[] = {
        "http://h.example/a.pls",         "http://h.example/a.m3u",      "http://h.example/a.asx",
        "http://h.example/a.php",         "http://h.example/A.PLS?id=3", "http://h.example/live",
        "http://h.example/hls/live.m3u8",
    };
    static const char* const kTypes[] = {"", "application/vnd.apple.mpegurl", "audio/mpegurl",
                                         "audio/mpeg"};
    const QString address = QString::fromLatin1(kAddresses[data[0] % std::size(kAddresses)]);
    const QString type = QString::fromLatin1(kTypes[(data[0] >> 4) % std::size(kTypes)]);
    const std::string_view raw = tl::fuzz::view(data + 1, size - 1);
    const QByteArray bytes = tl::fuzz::bytes(raw);
    const QString document = tl::decodeNetworkText(raw.substr(0, raw.find('\0')));

    const QString entry = tl::ResolvePlaylistDocument(address, bytes, type);
    const std::string_view body = raw.substr(0, raw.find('\0'));
    if (tl::isHlsPlaylist(address.toStdString(), type.toStdString(), body)) {
        check(body.starts_with("#EXTM3U") || body.starts_with("\xEF\xBB\xBF#EXTM3U"),
              "an HLS playlist starts with #EXTM3U");
        check(body.find("#EXT-X-") != std::string_view::npos, "an HLS playlist has an #EXT-X- tag");
        check(entry == address, "an HLS playlist is its own stream");
    }
    check(!entry.contains(u'\n') && !entry.contains(u'\r'), "an entry is one line");
    check(entry.isEmpty() || entry == address || document.contains(entry),
          "an entry is the address or comes from the document");

    const QString reference = tl::FindAsxReference(document);
    check(!reference.contains(u'\n') && !reference.contains(u'\r'), "a reference is one line");
    check(reference.isEmpty() || document.contains(reference), "a reference is in the document");

    for (const QString& line : tl::splitLines(document).mid(0, 4)) {
        const QString extension = tl::PlaylistExtension(line);
        check(extension.isEmpty() || (extension.startsWith(u'.') && line.endsWith(extension) &&
                                      !extension.contains(u':') && !extension.contains(u'\\')),
              "an extension is the tail from a point");
        if (tl::IsDirectStreamAddress(line)) {
            check(line.startsWith(u"http://"), "a direct address is an http address");
        }
    }
    return 0;
}
