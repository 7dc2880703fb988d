#pragma once
// Bounds on what an HLS playlist from the network may make the demuxer hold: its size and
// lines, the variants of a master playlist (one is kept) and the segments of a live media
// playlist (the newest are kept). Pure code on the playlist's bytes; any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace tl::audio {

inline constexpr std::size_t kMaxHlsPlaylistBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxHlsPlaylistLines = 65536;
// A master playlist: the best of its first variants is chosen.
inline constexpr std::size_t kMaxHlsVariants = 32;
// A live media playlist keeps its newest segments (its media sequence moved on to match).
inline constexpr std::size_t kMaxHlsLiveSegments = 512;
// Audio renditions of the chosen variant's group that are kept.
inline constexpr std::size_t kMaxHlsRenditions = 4;

struct BoundedHlsPlaylist {
    enum class Kind { Media, Master, Refused };
    Kind kind = Kind::Refused;
    std::string text;   // the playlist the demuxer gets (Media, Master)
    std::string reason; // why it was refused, as a user reads it (Refused)
};

// The playlist `body` (its first bytes are "#EXTM3U", after an optional UTF-8 byte-order
// mark) made safe for the demuxer. More than kMaxHlsPlaylistBytes or kMaxHlsPlaylistLines:
// refused. A master playlist (#EXT-X-STREAM-INF) keeps only the variant with the highest
// BANDWIDTH among its first kMaxHlsVariants (ties go to the first) and that variant's audio
// renditions; one that names no variant is refused. A media playlist without #EXT-X-ENDLIST
// keeps its last kMaxHlsLiveSegments segments with their tags (the key and map in force are
// carried over); others pass unchanged.
BoundedHlsPlaylist boundHlsPlaylist(std::string_view body);

} // namespace tl::audio
