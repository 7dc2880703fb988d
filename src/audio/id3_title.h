#pragma once
// The title an ID3v2 tag at the start of an HLS segment carries (packed AAC/MP3 stations send
// one per segment). Pure code on bytes from the network; any thread.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tl::audio {

// Bytes of the whole tag (header and body) that begins `data`, 0 when `data` does not begin
// with an ID3v2 header (at least 10 bytes are needed to tell).
std::size_t id3TagSize(std::string_view data);

// "Artist - Title" from the TPE1 and TIT2 frames (TP1/TT2 in version 2.2) of the tag that
// begins `tag`, as UTF-8; one of them alone when the other is missing or empty; nullopt when
// there is no tag, neither frame, or the tag is cut short before them. Text encodings
// Latin-1, UTF-16 with byte-order mark, UTF-16BE and UTF-8; a text ends at its first NUL
// (further values of a v2.4 frame are ignored). Unsynchronised tags are not read.
std::optional<std::string> id3Title(std::string_view tag);

} // namespace tl::audio
