#pragma once
// Internal to the engine: the state one open stream shares between its threads.
//
// Threads and what they own:
// - the network thread (transport.cpp, HTTP and HTTPS only) writes the reply headers,
//   `ring`, `downloaded`, the metadata and the network-thread-only fields;
// - the decoder thread (decoder.cpp) takes bytes from `ring` (`consumed`), sets `format` and
//   the phase Ready, writes `pcm` and feeds the encoders;
// - SDL's audio callback (output.cpp) drains `pcm` and writes `history`;
// - the engine's public methods (engine.cpp, any thread) read under the same locks and
//   start, cancel and join the two stream threads.
// `m` guards everything the network and decoder threads share; `cv` announces each change.

#include "audio/byte_ring.h"
#include "audio/encoders.h"
#include "audio/engine.h"
#include "audio/icy_demuxer.h"
#include "audio/seam_trimmer.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tl::audio::detail {

using Clock = std::chrono::steady_clock;

// The byte ring holds about 1.5 s of the stream: 192 bytes per kbit/s of the icy-br header
// (24 KiB at 128 kbit/s), 24 KiB when the server names no bit rate. Icecast sends a burst of
// about 64 KiB at connect; the probe and the first decoded second take part of it and the
// rest fills the ring, so the player's "more than 85 %" is reached from the burst alone, and
// a low bit rate does not make the listener wait many seconds for a big ring to fill.
// Together with the PCM ring the stream keeps about 2.5 s of audio against network jitter.
inline constexpr std::size_t kByteRingCapacity = 24 * 1024;
inline constexpr std::size_t kPcmRingFrames = 44100; // 1 s of decoded audio
// While a stream plays, a full PCM ring is refilled once this much has drained (a quarter of
// it): the output wakes the decoder a few times a second instead of after every callback.
inline constexpr std::size_t kPcmRefillBytes = kPcmRingFrames;
inline constexpr std::size_t kHistoryFrames = 2048; // power of two, >= kFftSize
// Bytes the decoder may take without an audio frame coming out while opening (room for an
// ID3 tag and codec headers).
inline constexpr uint64_t kOpenBytesWithoutAudio = 256 * 1024;

bool startsWithNoCase(std::string_view text, std::string_view prefix);
std::string trimmedLower(std::string_view v);

// Runs a user callback on an engine thread. An exception must not unwind through libcurl's or
// FFmpeg's C frames; a callback that throws loses only that one notification.
void invokeQuietly(const std::function<void(const std::string&)>& callback,
                   const std::string& text);

// The network thread's reconnection state (network thread only). Also kept for the first
// connection: its status, metadata interval and whether its body has a declared end.
struct Redial {
    std::size_t attempt = 0;     // 0: the first connection; then each reconnection
    bool connected = false;      // the current transfer's 2xx headers are in
    bool finite = false;         // the current response declares its end (length or chunks)
    bool endedOnPurpose = false; // the connection before this one ended where it said it would
    bool refused = false;        // the current reconnection was turned away at its headers
    long status = 0;             // of the current response
    std::size_t metaint = 0;     // of the current response
    std::string contentType;     // of the current response
    Clock::time_point connectedAt;
    Clock::time_point deadline; // for a reconnection's headers
};

// One open stream. The network thread (HTTP only) fills `ring`; the decoder thread probes,
// decodes and fills `pcm`; SDL's callback drains `pcm` and records `history`.
struct Stream {
    enum class Phase { Connecting, Headers, Ready, Failed };

    StreamHandle id = 0;
    int rate = kOutputRate;
    std::string url;
    // Read by the stream's threads without a lock, except the two callbacks: those are read
    // and replaced under callbackMutex (announceStatus, announceReconnect, takeOver).
    OpenOptions options;
    std::string proxy;
    bool mms = false;
    // An HLS playlist (an http(s) address whose path ends in .m3u8, or whose reply turned out
    // to be one): FFmpeg's HLS demuxer fetches the playlists and segments itself, as it does
    // for MMS. Set before the threads start, or by the decoder thread when the reply shows it.
    std::atomic<bool> hls{false};
    std::atomic<bool> stop{false};

    // Guarded by m; cv announces every change (phase, ring contents, positions, stop).
    mutable std::mutex m;
    mutable std::condition_variable cv;
    Phase phase = Phase::Connecting;
    ErrorCode failure = ErrorCode::Ok;
    ErrorCode netFailure = ErrorCode::Ok;
    ByteRing ring{kByteRingCapacity};
    uint64_t downloaded = 0;
    uint64_t consumed = 0;
    bool netDone = false;                           // no more bytes will arrive
    int status = 0;                                 // status code of the current response
    ConnectFault connectFault = ConnectFault::None; // set by the network thread at its end
    std::string faultDetail; // an HLS playlist the decoder refused, and why (then Playlist)
    std::vector<std::string> headers;
    std::size_t headerLines = 0; // of the current response, kept or not
    std::string contentType;
    std::size_t metaint = 0;
    std::size_t bitrate = 0; // kbit/s from icy-br, 0 when not given
    std::optional<std::string> meta;
    uint64_t metaPos = kNoPosition; // audio byte where `meta` first stood, if known
    std::shared_ptr<const std::function<void(const std::string&)>> metaCallback;
    StreamFormat format;

    // Where the latest reconnection's audio begins in the byte stream (kNoPosition before the
    // first) and the Content-Type it came with: the decoder looks there for a change of format.
    uint64_t seamAt = kNoPosition;
    std::string seamContentType;

    bool decoderGone = false; // the decoder has finished: nothing will take more bytes
    // The connection was lost and the network thread is replacing it: the decoder waits for
    // the bytes to come instead of counting the time as a stall.
    bool reconnecting = false;
    // startTimeout passed before play(): the stream is over, whatever is still buffered.
    std::atomic<bool> abandoned{false};

    // A stream opened ahead of its streamCreateUrl (Engine::preopen) keeps its status lines
    // until one takes it over. Guarded by callbackMutex, as are options.onStatus/onReconnect.
    std::mutex callbackMutex;
    bool holdStatus = false;
    std::vector<std::string> heldStatus;

    // Set by the network thread while it runs, guarded by m: wakes its wait for the socket,
    // so a stop does not wait for that wait's time-out.
    std::function<void()> wakeNetwork;

    // Network thread only.
    IcyDemuxer demuxer;
    SeamTrimmer seam;            // cuts what a reconnection repeats
    std::size_t seamsTold = 0;   // seams whose cut has been logged
    std::size_t headerBytes = 0; // of every response so far
    Clock::time_point lastData;
    Clock::time_point connectDeadline;
    Clock::time_point startDeadline; // set before the threads start, then read only
    Redial redial;

    // Decoder thread only: how far the decoder may read without an audio frame coming out.
    uint64_t consumedAtAudio = 0;
    uint64_t bytesWithoutAudio = kOpenBytesWithoutAudio;
    Clock::time_point audioDeadline;
    ErrorCode starved = ErrorCode::Ok; // why reading stopped early, Ok while it has not

    // Decoded PCM, interleaved stereo 16-bit. Guarded by pcmMutex.
    std::mutex pcmMutex;
    std::condition_variable pcmCv;
    ByteRing pcm{kPcmRingFrames * 4};
    bool decoderDone = false;
    std::atomic<bool> playing{false};
    std::atomic<uint64_t> underrunFrames{0}; // frames the output found missing while playing

    // The last output frames of this stream (before the global volume), written by the
    // output callback, read by level() and fft1024().
    mutable std::mutex historyMutex;
    std::array<int16_t, kHistoryFrames * 2> history{};
    std::size_t historyPos = 0; // next frame to write

    EncoderSet encoders; // fed by the decoder thread

    std::thread net;
    std::thread dec;

    // MMS and HLS: no byte ring of ours (and, unless the reply showed HLS, no network thread).
    bool openedByFfmpeg() const { return mms || hls; }
    void cancel();
    void fail(ErrorCode code);
    // True once the stream has been open for startTimeout without play(): it is then over,
    // like a lost connection, whatever is buffered. Checked by the network thread and by
    // hasEnded() (a full ring keeps the network thread waiting); any thread, m not held.
    bool startExpired();
    bool onOwnThread() const;
    // Network thread: hands a status line to onStatus, or keeps it while the stream has no
    // owner yet; and tells onReconnect.
    void announceStatus(const std::string& line);
    void announceReconnect(bool again);
    // Any thread: the owner's callbacks replace the ones the stream was opened with, and the
    // lines kept so far go to the new onStatus first, in order.
    void takeOver(const OpenOptions& owner);
    void stopEncoders() { encoders.stopAll(); }
    void join();
    void pushHistory(const int16_t* frames, std::size_t count);
};

// Sets the stream's metadata text and calls its callback when the text changed. position:
// the audio byte the text arrived before (kNoPosition when unknown). Network or decoder
// thread.
void setMeta(Stream& s, std::string_view text, uint64_t position = kNoPosition);

} // namespace tl::audio::detail
