#pragma once
// HTTP Live Streaming through FFmpeg's own demuxer: the options an HLS open gets, the choice
// of the variant to play, and the bitrate to report. Used by the decoder thread that opens
// the stream; no state of its own.

#include <string>

struct AVDictionary;
struct AVFormatContext;

namespace tl::audio {

// Protocols an HLS stream may use for its playlists and segments: no local files, no other
// schemes a playlist from the network could name. Demuxers likewise: the playlist's and those
// of the segment formats stations use (MPEG-TS, packed AAC/MP3 with ID3, fragmented MP4, AC-3).
inline constexpr char kHlsProtocols[] = "http,https,tcp,tls,crypto";
inline constexpr char kHlsFormats[] = "hls,mpegts,aac,mp3,mov,ac3,eac3";

// Adds the whitelists and the read/write time-out (microseconds) to `opts`.
void addHlsOptions(AVDictionary** opts, long long rwTimeoutUs);

// After the open: the audio stream of the variant with the highest bandwidth (its
// "variant_bitrate"; ties go to the first), every other stream discarded so that the demuxer
// fetches only that variant's segments. -1 when there is no audio stream.
int pickHlsVariant(AVFormatContext* fmt);

// The bandwidth the master playlist gives the stream's variant, in bit/s; 0 when there is no
// master playlist (the codec's rate is then the one to show).
long long hlsVariantBitRate(const AVFormatContext* fmt, int streamIndex);

} // namespace tl::audio
