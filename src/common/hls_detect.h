#pragma once
// Recognising HTTP Live Streaming playlists (".m3u8"): a station whose address is such a
// playlist is played by the demuxer as a stream of its own, not read as an M3U list of
// addresses. Plain standard-library code, shared by the playlist resolution (Qt) and the
// audio engine (no Qt); no state, safe on any thread.

#include <string_view>

namespace tl {

// The address's path (before any query or fragment) ends in ".m3u8", letters in any case.
bool hasHlsPathExtension(std::string_view address);

// A content type HLS playlists are served with: application/vnd.apple.mpegurl,
// application/x-mpegurl, audio/mpegurl or audio/x-mpegurl; letters in any case, parameters
// (";charset=...") and surrounding blanks ignored. The last two also label plain M3U lists:
// the type alone never decides.
bool isHlsContentType(std::string_view contentType);

// The body's first line (after an optional UTF-8 byte-order mark, trailing blanks ignored)
// is "#EXTM3U" and some line begins with an "#EXT-X-" tag. Lines end at CR, LF or CR LF.
bool hasHlsTags(std::string_view body);

// Whether a reply is an HLS playlist, to be handed to the demuxer as the stream itself. The
// body must carry the tags (hasHlsTags) and one of: a path ending in ".m3u8", an HLS content
// type, or a tag only HLS playlists carry (#EXT-X-STREAM-INF, #EXT-X-TARGETDURATION,
// #EXT-X-MEDIA-SEQUENCE). An M3U that only lists stream addresses, with or without #EXTINF
// lines, is not one, whatever its address or type.
bool isHlsPlaylist(std::string_view address, std::string_view contentType, std::string_view body);

} // namespace tl
