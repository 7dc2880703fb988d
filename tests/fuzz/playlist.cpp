// Playlist resolution (PLS, M3U, ASX, reference files, and documents behind addresses that do
// not name their kind) on the downloaded bytes, as the resolver reads them back. Checks: the
// entry is one line, and is either nothing, the address itself (audio), or text taken from
// the document; the extension rule never yields a ':' or '\'.
//
// Input: one byte choosing the address, then the document.

#include "directory/playlist.h"
#include "common/text.h"

#include "fuzz_support.h"

using tl::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    static const char* const kAddresses[] = {
        "http://h.example/a.pls", "http://h.example/a.m3u",      "http://h.example/a.asx",
        "http://h.example/a.php", "http://h.example/A.PLS?id=3", "http://h.example/live",
    };
    const QString address = QString::fromLatin1(kAddresses[data[0] % std::size(kAddresses)]);
    const std::string_view raw = tl::fuzz::view(data + 1, size - 1);
    const QByteArray bytes = tl::fuzz::bytes(raw);
    const QString document = tl::decodeNetworkText(raw.substr(0, raw.find('\0')));

    const QString entry = tl::ResolvePlaylistDocument(address, bytes);
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
