#pragma once
// HTTP Live Streaming through FFmpeg's own demuxer: the options an HLS open gets, the choice
// of the variant to play, and the bitrate to report. Used by the decoder thread that opens
// the stream; no state of its own.

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct AVDictionary;
struct AVFormatContext;
struct AVIOContext;

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

// Requests one HLS open may make (playlists, nested ones, keys and the segments probed).
inline constexpr int kMaxHlsOpenRequests = 48;
// Master playlists one open follows, the first included.
inline constexpr std::size_t kMaxHlsNesting = 4;
// ID3 tags at the start of a segment: the first, when small, reaches the demuxer (it carries
// the timestamp); the others are skipped. Past the count or the bytes the segment ends.
inline constexpr std::size_t kMaxHlsPassedTag = 4096;
inline constexpr std::size_t kMaxHlsTitleRead = 16384;
inline constexpr int kMaxHlsTagsPerSegment = 16;
inline constexpr std::size_t kMaxHlsSkippedTagBytes = std::size_t{4} << 20;

// Everything FFmpeg's HLS demuxer reads passes through this guard (its io_open and io_close2):
// playlists are read whole, bounded by boundHlsPlaylist and handed over from memory; nested
// master playlists are followed kMaxHlsNesting deep and never twice; segments lose the ID3
// tags beyond the first, whose title goes to the callback. Lives on the decoder thread, and
// must outlive the AVFormatContext it is installed on (the top playlist's connection is its).
class HlsGuard {
public:
    explicit HlsGuard(std::function<void(const std::string&)> onTitle);
    ~HlsGuard();
    HlsGuard(const HlsGuard&) = delete;
    HlsGuard& operator=(const HlsGuard&) = delete;

    // Installs the guard on `fmt` and opens `url` as its input (custom IO), with a copy of
    // `opts`. An AVERROR on failure.
    int openTop(AVFormatContext* fmt, const char* url, AVDictionary* const* opts);
    // The open is over: from now on requests are not counted.
    void opened() { opened_ = true; }
    // Why a playlist was refused, as a user reads it; empty when none was.
    const std::string& refusal() const { return refusal_; }

    struct Connection; // one open of the demuxer's, by the AVIOContext it got

private:
    static int ioOpen(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                      AVDictionary** options);
    static int ioClose(AVFormatContext* s, AVIOContext* pb);
    int open(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
             AVDictionary** options);
    int refuse(std::string reason);

    std::function<void(const std::string&)> onTitle_;
    int (*defaultOpen_)(AVFormatContext*, AVIOContext**, const char*, int,
                        AVDictionary**) = nullptr;
    int (*defaultClose_)(AVFormatContext*, AVIOContext*) = nullptr;
    std::map<AVIOContext*, std::unique_ptr<Connection>> connections_;
    std::vector<std::string> masters_; // addresses of the master playlists followed
    std::string refusal_;
    int requests_ = 0;
    bool opened_ = false;
};

} // namespace tl::audio
