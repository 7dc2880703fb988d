// The bounds put on an HLS playlist from the network. Checks: never more than the demuxer may
// hold (one variant, at most the live segment count, every kept line a line of the input or a
// media sequence), the result bounded again is unchanged in kind, refusals say why.
//
// Input: the playlist.

#include "audio/hls_playlist.h"

#include "fuzz_support.h"

#include <string>

using tl::audio::BoundedHlsPlaylist;
using tl::fuzz::check;

namespace {

std::size_t count(std::string_view text, std::string_view prefix) {
    std::size_t n = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        n += line.substr(0, prefix.size()) == prefix ? 1 : 0;
        start = end + 1;
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body = tl::fuzz::view(data, size);
    const BoundedHlsPlaylist out = tl::audio::boundHlsPlaylist(body);
    if (out.kind == BoundedHlsPlaylist::Kind::Refused) {
        check(!out.reason.empty() && out.text.empty(), "a refusal says why and gives nothing");
        return 0;
    }
    check(out.reason.empty(), "no reason without a refusal");
    check(out.text.size() <= body.size() + 64, "never larger than the input, but a sequence tag");
    if (out.kind == BoundedHlsPlaylist::Kind::Master) {
        check(count(out.text, "#EXT-X-STREAM-INF:") == 1, "one variant");
        check(count(out.text, "#EXT-X-MEDIA:") <= tl::audio::kMaxHlsRenditions, "few renditions");
    } else if (count(out.text, "#EXT-X-ENDLIST") == 0) {
        std::size_t uris = 0;
        for (std::size_t start = 0; start < out.text.size();) {
            const std::size_t end =
                std::min(out.text.find_first_of("\r\n", start), out.text.size());
            uris += end > start && out.text[start] != '#' ? 1 : 0;
            start = end + 1;
        }
        check(uris <= tl::audio::kMaxHlsLiveSegments, "a live list keeps its newest segments");
    }
    const BoundedHlsPlaylist again = tl::audio::boundHlsPlaylist(out.text);
    check(again.kind == out.kind, "bounding again keeps the kind");
    return 0;
}
