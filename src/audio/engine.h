#pragma once
// The audio engine: network transport (libcurl with ICY headers and in-stream metadata),
// decoding (FFmpeg through a custom AVIOContext), output (SDL2), analysis (level, FFT) and
// encoders run as child processes. No Qt.
//
// Threads: every public method may be called from any thread. Per stream the engine runs a
// network thread and a decoder thread; output runs on SDL's audio callback thread. Callbacks
// (status texts, metadata changes) run on the engine's threads and must not block: hand a
// copy of the data to the owner's thread and return.
//
// Errors: a failing call returns 0/false/empty and sets the calling thread's errorCode().
//
// Process-wide effects of creating an Engine: SIGPIPE is ignored when it still has its default
// action (an encoder that exits early must not end the program), and FFmpeg's log is limited
// to fatal messages unless the environment variable TL_AUDIO_DEBUG is set. init() tells SDL
// not to install signal handlers: SIGINT and SIGTERM stay the program's own business.
//
// Texts from the network (headers, metadata) are handed out as the bytes received; decoding
// them (UTF-8, else Windows-1252) is the caller's business.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

namespace tl::audio {

using StreamHandle = uint32_t;  // 0 = none; never reused within one engine
using EncoderHandle = uint32_t; // 0 = none

// The outcome of Engine::encodeHandOver.
enum class HandOver {
    Failed, // an unknown encoder, or both are 0: nothing changed
    AtOnce, // the place was unknown or already decoded: `from` ended, `to` runs from now
    Exact,  // `from` ends and `to` begins at the audio byte where the title stood
};

// How an encoder process ended (Engine::encodeExit).
struct EncoderExit {
    bool early = false;   // before its input was closed: its file lacks the rest
    int signal = 0;       // the signal that ended it, 0 for a normal exit
    int status = 0;       // the exit status of a normal exit
    std::string lastLine; // the last line it wrote to its standard error
};

inline constexpr uint32_t kEngineVersion = 0x02030000u;
inline constexpr uint32_t kNoEnd = 0xFFFFFFFFu;
inline constexpr int kOutputRate = 44100;

enum class ErrorCode : int {
    Ok = 0,
    Memory = 1,
    FileOpen = 2, // could not connect / open the address
    Driver = 3,   // no output device
    Handle = 5,   // unknown handle
    Format = 6,
    Init = 8, // init() has not succeeded
    Start = 9,
    Already = 14,
    Timeout = 40,
    FileForm = 41, // no decoder accepts the data
    Cancelled = 44,
    Unknown = -1,
};

// What stood in the way of a connection, beyond ErrorCode::FileOpen. Redirects: the server
// redirected too often or somewhere the engine does not follow; Headers: its reply headers
// were larger than the engine accepts.
enum class ConnectFault { None, NameLookup, Refused, Other, Redirects, Headers };

// Why the calling thread's last streamCreateUrl failed: the status code of the last response
// the server sent (0 when none came) and what failed before any response.
struct OpenFailure {
    int httpStatus = 0;
    ConnectFault connect = ConnectFault::None;
};

enum class FilePosition { Current = 0, Download = 1, End = 2 };

// Kind 0: MP3 (and MP2; other codecs such as Vorbis, Opus, FLAC also play as kind 0),
// 1: AAC/HE-AAC, 2: WMA. label is the format text the player shows ("MP3", "AAC+", "WMA",
// "OGG", "OPUS", "FLAC").
struct StreamFormat {
    int kind = 0;
    std::string label;
    // The codec's bit rate in bits per second as the stream declares it (the first frame's,
    // the codec header's nominal rate), 0 when unknown.
    int64_t bitRate = 0;
};

struct OpenOptions {
    // Called on the network thread with each status/header line (status line first, then
    // header lines in order as received, without line ends). Only the first connection's:
    // a reconnection's lines are neither handed out nor kept (icyHeaders()).
    std::function<void(const std::string& text)> onStatus;
    // A stream that has played and loses its connection (closed, reset, stalled) without
    // being freed reconnects to the same address by itself: at once, then after 1, 2, 4 ...
    // 30 s, while its buffered audio plays on; isPlaying() stays true meanwhile. Called on
    // the network thread with true when it begins to reconnect and with false once a new
    // connection answers and its audio follows. A server that turns it away twice in a row
    // (an HTTP error status, or a body with a declared end, which is a file rather than a
    // station) ends the stream as a lost connection did before; HTTP(S) streams only.
    std::function<void(bool reconnecting)> onReconnect;
    std::chrono::milliseconds connectTimeout{10000};
    // Also the longest time without a decoded audio frame once the stream plays.
    std::chrono::milliseconds stallTimeout{15000};
    // Overall deadline for opening and buffering, counted from streamCreateUrl: the open
    // fails with Timeout when no audio frame has decoded by then, and a stream that has not
    // been play()ed by then ends as failed (hasEnded, not isPlaying). A trickling server
    // cannot keep the player "connecting" or "buffering" for ever.
    std::chrono::milliseconds startTimeout{15000};
};

class Engine {
public:
    Engine();
    ~Engine(); // ends every stream and encoder, closes the output
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    static uint32_t version(); // high 16 bits 0x0203

    // Opens the default output device at `rate` Hz stereo. SDL picks the sound server.
    bool init(int rate = kOutputRate);
    bool isInitialised() const;
    ErrorCode errorCode() const; // last error of the calling thread
    // Details of the calling thread's last streamCreateUrl; empty after a success.
    OpenFailure lastOpenFailure() const;

    void setGlobalStreamVolume(int volume); // 0..100, applied to every stream at once
    int globalStreamVolume() const;
    // HTTP(S) stream connections only (libcurl proxy syntax); empty = none, also ignoring the
    // environment's proxy variables. HLS streams use it too (an http:// proxy; FFmpeg's HTTP
    // knows no other kind). MMS goes through FFmpeg, which reads http_proxy itself.
    void setProxy(const std::string& proxy);

    // Connects, reads the reply headers, identifies the format and decodes the first audio
    // frame. Blocks until then; returns 0 on failure (errorCode() says why): FileForm when
    // the data is not audio (no frame decodes within a few hundred KiB), Timeout when
    // startTimeout passes first. `stop` aborts the open promptly. mms:// addresses go through
    // FFmpeg (mmsh, then mmst); mmsh:// and mmst:// use that protocol only. HLS playlists (an
    // http(s) path ending in .m3u8, or a reply that is one) go through FFmpeg's HLS demuxer:
    // the variant with the highest bandwidth (its bandwidth is the format's bitRate), titles from
    // the segments' ID3 tags as "StreamTitle='Artist - Title';". MMS and HLS streams have no byte
    // ring.
    StreamHandle streamCreateUrl(const std::string& url, const OpenOptions& options,
                                 std::stop_token stop = {});

    // Starts opening `url` ahead of the streamCreateUrl that will ask for it (a play at
    // start-up, while the windows are still being built). It connects, probes and decodes
    // ahead as streamCreateUrl would, but hands nothing out: its status lines are kept. The
    // next streamCreateUrl takes it over when it asks for the same address with the same
    // time-outs while it is still on its way (it is then handed the kept lines first, in
    // order); any other ends it, and a failed one is opened again. One at a time: a second
    // call replaces the first. Callbacks in `options` are ignored. Works before init(); the
    // output device opens when it is taken over. Never blocks for long.
    void preopen(const std::string& url, const OpenOptions& options = {});

    // Byte positions of the stream's ring: End = capacity (kNoEnd when there is no ring, and
    // once the download has ended, so a buffering loop never waits for bytes that cannot
    // come), Download = bytes received, Current = bytes taken by the decoder (both wrap at
    // 2^32; their difference stays right in unsigned arithmetic). The capacity holds about
    // 1.5 s of the stream's icy-br bit rate. kNoEnd for bad handles.
    uint32_t filePosition(StreamHandle stream, FilePosition which) const;
    // Test seam for code that reads the positions (the player's buffering): while set, an
    // answer from `source` replaces filePosition()'s for open streams; nullopt keeps the
    // real one. Any thread; an empty function removes it.
    using PositionSource = std::function<std::optional<uint32_t>(StreamHandle, FilePosition)>;
    void setPositionSourceForTesting(PositionSource source);
    // Waits until the download position moves, the stream ends, or `timeout` passes.
    void waitForData(StreamHandle stream, std::chrono::milliseconds timeout) const;

    std::optional<StreamFormat> format(StreamHandle stream) const;
    // Raw bytes, in order; at most 64 lines of at most 1,088 characters (a name and 1,024
    // characters of value). onStatus sees the same lines; a server cannot make the engine
    // keep or hand out more.
    std::vector<std::string> icyHeaders(StreamHandle stream) const;
    std::optional<std::string> metadata(StreamHandle stream) const; // current metadata text
    // Called on an engine thread with each new metadata text (e.g. "StreamTitle='..';").
    bool setMetaCallback(StreamHandle stream, std::function<void(const std::string&)> callback);

    bool play(StreamHandle stream);
    // Ends the stream and its encoders; harmless for 0 or a freed handle. Returns within about
    // 200 ms whatever the server does.
    bool streamFree(StreamHandle stream);
    // False once the stream has ended or failed: the server closed or reset the connection,
    // a stall, no audio decoded for stallTimeout or from the last 128 KiB (garbage, or a
    // change of codec in mid-stream), startTimeout passed before play(); then the decoded
    // audio still buffered has been played out. Poll it to notice the end of a stream.
    bool isPlaying(StreamHandle stream) const;
    // True once the stream's data has ended or its connection failed (also before play());
    // true for unknown handles. The player's buffering loop uses it to stop waiting.
    bool hasEnded(StreamHandle stream) const;

    // Analysis of what the output took from this stream, before the global volume (so the
    // visualisation still moves when the volume is low). Cheap; meant to be polled.
    uint32_t level(StreamHandle stream) const; // left in the low 16 bits, right high, 0..32768
    // 1024-sample FFT of the last output (mono, Hann window): 512 magnitudes, a full-scale
    // sine at a bin centre gives about 1.0. False for bad handles.
    bool fft1024(StreamHandle stream, std::span<float, 512> magnitudes) const;

    // Starts `argv` (never through a shell) with its standard input fed a WAV header and then
    // the stream's decoded samples (before volume and mute). The encoder ends with the stream.
    // 0 with FileOpen when the program cannot be started. The encoder's output streams go to
    // /dev/null; it writes its file itself.
    EncoderHandle encodeStart(StreamHandle stream, const std::vector<std::string>& argv,
                              bool paused = false);
    bool encodeSetPaused(EncoderHandle encoder, bool paused);
    // One file per song: `from` ends and `to` (started paused on the same stream) begins at
    // the audio byte where the current metadata text stood, so `from` gets every sample
    // decoded before it and `to` every sample from it. When that place is unknown or already
    // decoded, the hand-over happens at once. `from` 0 (or an encoder that has already gone)
    // only starts `to` at that place; `to` 0 only ends `from` there. `to` always runs after
    // this unless the result is Failed.
    HandOver encodeHandOver(EncoderHandle from, EncoderHandle to);
    // How the encoder ended; nullopt while it runs or for a handle never given out. Kept for
    // the most recent encoders after they have gone.
    std::optional<EncoderExit> encodeExit(EncoderHandle encoder) const;
    bool encodeIsActive(EncoderHandle encoder) const;
    // Closes the encoder's input and lets it finish its file; the process is reaped in the
    // background. Never blocks for long.
    bool encodeStop(EncoderHandle encoder);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tl::audio
