#include "audio/engine.h"

#include "audio/analysis.h"
#include "audio/byte_ring.h"
#include "audio/encoder_process.h"
#include "audio/icy_demuxer.h"
#include "audio/wav_header.h"

#include <SDL.h>
#include <curl/curl.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace tl::audio {

namespace {

using Clock = std::chrono::steady_clock;

thread_local ErrorCode tlsError = ErrorCode::Ok;
thread_local OpenFailure tlsOpenFailure;

bool fail(ErrorCode code) {
    tlsError = code;
    return false;
}
void succeed() {
    tlsError = ErrorCode::Ok;
}

// The byte ring holds about 1.5 s of the stream: 192 bytes per kbit/s of the icy-br header
// (24 KiB at 128 kbit/s), 24 KiB when the server names no bit rate. Icecast sends a burst of
// about 64 KiB at connect; the probe and the first decoded second take part of it and the
// rest fills the ring, so the player's "more than 85 %" is reached from the burst alone, and
// a low bit rate does not make the listener wait many seconds for a big ring to fill.
// Together with the PCM ring the stream keeps about 2.5 s of audio against network jitter.
constexpr std::size_t kByteRingCapacity = 24 * 1024;
constexpr std::size_t kBytesPerKbit = 192;
constexpr std::size_t kMinRing = 8 * 1024;
constexpr std::size_t kMaxRing = 96 * 1024;
constexpr std::size_t kPcmRingFrames = 44100;             // 1 s of decoded audio
constexpr std::size_t kHistoryFrames = 2048;              // power of two, >= kFftSize
constexpr std::size_t kLevelFrames = 882;                 // 20 ms at 44.1 kHz
constexpr std::size_t kEncoderQueueBytes = 44100 * 4 * 4; // 4 s per encoder
constexpr int kAvioBufferSize = 4096;
// What the server may make the engine keep of its reply headers.
constexpr std::size_t kMaxHeaderLines = 64;
constexpr std::size_t kMaxHeaderChars = 64 + kMaxNetworkTextChars;
// Bytes the decoder may take without an audio frame coming out: while opening (room for an
// ID3 tag and codec headers), and once audio has played (a codec change, garbage). Endless
// zeros or an HTML page sent as audio/mpeg end here instead of feeding FFmpeg's parsers.
constexpr uint64_t kOpenBytesWithoutAudio = 256 * 1024;
constexpr uint64_t kBytesWithoutAudio = 128 * 1024;
constexpr auto kNetPoll = std::chrono::milliseconds(50);

std::string avError(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

std::string trimmedLower(std::string_view v) {
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.front())))
        v.remove_prefix(1);
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back())))
        v.remove_suffix(1);
    std::string out(v);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The demuxer to force for a Content-Type, or nullptr to let FFmpeg probe.
const AVInputFormat* inputFormatFor(const std::string& contentType) {
    const std::string type = contentType.substr(0, contentType.find(';'));
    const std::string t = trimmedLower(type);
    if (t == "audio/mpeg" || t == "audio/mp3" || t == "audio/x-mpeg")
        return av_find_input_format("mp3");
    if (t == "audio/aac" || t == "audio/aacp" || t == "audio/x-aac")
        return av_find_input_format("aac");
    if (t == "application/ogg" || t == "audio/ogg" || t == "audio/x-ogg")
        return av_find_input_format("ogg");
    return nullptr;
}

StreamFormat formatFor(AVCodecID id) {
    switch (id) {
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3:
        return {0, "MP3"};
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_AAC_LATM:
        return {1, "AAC+"};
    case AV_CODEC_ID_WMAV1:
    case AV_CODEC_ID_WMAV2:
    case AV_CODEC_ID_WMAPRO:
    case AV_CODEC_ID_WMAVOICE:
    case AV_CODEC_ID_WMALOSSLESS:
        return {2, "WMA"};
    case AV_CODEC_ID_VORBIS:
        return {0, "OGG"};
    case AV_CODEC_ID_OPUS:
        return {0, "OPUS"};
    case AV_CODEC_ID_FLAC:
        return {0, "FLAC"};
    default: {
        std::string name = avcodec_get_name(id);
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return {0, name};
    }
    }
}

std::once_flag globalInitOnce;

void globalInit() {
    std::call_once(globalInitOnce, [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        avformat_network_init();
        if (!std::getenv("TL_AUDIO_DEBUG"))
            av_log_set_level(AV_LOG_FATAL);
        // An encoder that exits early must not take the program down with it: writes to its
        // pipe then fail with EPIPE instead. Children get the default disposition back.
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            sigaction(SIGPIPE, &ignore, nullptr);
        }
    });
}

} // namespace

namespace detail {

inline constexpr uint64_t kNoPosition = UINT64_MAX;

struct EncoderEntry {
    EncoderHandle id = 0;
    StreamHandle stream = 0;
    std::unique_ptr<EncoderProcess> process;
    // Stream byte positions (guarded by the stream's encoderMutex): the encoder gets the
    // samples decoded from bytes at startAt and after, and ends at the first frame at stopAt.
    uint64_t startAt = 0;
    uint64_t stopAt = kNoPosition;
};

// One open stream. The network thread (HTTP only) fills `ring`; the decoder thread probes,
// decodes and fills `pcm`; SDL's callback drains `pcm` and records `history`.
struct Stream {
    enum class Phase { Connecting, Headers, Ready, Failed };

    StreamHandle id = 0;
    int rate = kOutputRate;
    std::string url;
    OpenOptions options;
    std::string proxy;
    bool mms = false;
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
    std::vector<std::string> headers;
    std::size_t headerLines = 0; // of the current response, kept or not
    std::string contentType;
    std::size_t metaint = 0;
    std::size_t bitrate = 0; // kbit/s from icy-br, 0 when not given
    std::optional<std::string> meta;
    uint64_t metaPos = detail::kNoPosition; // audio byte where `meta` first stood, if known
    std::shared_ptr<const std::function<void(const std::string&)>> metaCallback;
    StreamFormat format;

    bool decoderGone = false; // the decoder has finished: nothing will take more bytes
    // startTimeout passed before play(): the stream is over, whatever is still buffered.
    std::atomic<bool> abandoned{false};

    // Network thread only.
    IcyDemuxer demuxer;
    Clock::time_point lastData;
    Clock::time_point connectDeadline;
    Clock::time_point startDeadline; // set before the threads start, then read only

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

    std::mutex encoderMutex;
    std::vector<std::shared_ptr<EncoderEntry>> encoders;
    uint64_t decodedPos = 0; // byte position of the last frame handed out; under encoderMutex

    std::thread net;
    std::thread dec;

    void cancel() {
        {
            std::lock_guard lock(m);
            stop = true;
        }
        cv.notify_all();
        { std::lock_guard lock(pcmMutex); }
        pcmCv.notify_all();
    }

    void fail(ErrorCode code) {
        {
            std::lock_guard lock(m);
            if (phase != Phase::Ready && phase != Phase::Failed) {
                phase = Phase::Failed;
                failure = code;
            }
        }
        cv.notify_all();
    }

    // True once the stream has been open for startTimeout without play(): it is then over,
    // like a lost connection, whatever is buffered. Checked by the network thread and by
    // hasEnded() (a full ring keeps the network thread waiting); any thread, m not held.
    bool startExpired() {
        if (abandoned)
            return true;
        if (playing || Clock::now() <= startDeadline)
            return false;
        {
            std::lock_guard lock(m);
            if (phase != Phase::Ready)
                return false;
            abandoned = true;
        }
        cv.notify_all();
        return true;
    }

    bool onOwnThread() const {
        const auto self = std::this_thread::get_id();
        return self == net.get_id() || self == dec.get_id();
    }

    void stopEncoders() {
        std::lock_guard lock(encoderMutex);
        for (auto& e : encoders)
            e->process->stop();
        encoders.clear();
    }

    void join() {
        if (net.joinable())
            net.join();
        if (dec.joinable())
            dec.join();
    }

    void pushHistory(const int16_t* frames, std::size_t count) {
        std::lock_guard lock(historyMutex);
        for (std::size_t i = 0; i < count; ++i) {
            history[historyPos * 2] = frames[i * 2];
            history[historyPos * 2 + 1] = frames[i * 2 + 1];
            historyPos = (historyPos + 1) % kHistoryFrames;
        }
    }
};

} // namespace detail

using detail::EncoderEntry;
using detail::Stream;

struct Engine::Impl {
    mutable std::mutex mutex; // streams, encoders, graveyard, proxy, ids
    std::map<StreamHandle, std::shared_ptr<Stream>> streams;
    std::map<EncoderHandle, std::shared_ptr<EncoderEntry>> encoders;
    std::vector<std::shared_ptr<Stream>> graveyard; // freed from their own threads
    std::string proxy;
    std::shared_ptr<const PositionSource> positionSource;
    StreamHandle nextStream = 1;
    EncoderHandle nextEncoder = 1;

    std::atomic<bool> initialised{false};
    std::atomic<int> volume{100};
    int rate = kOutputRate;
    SDL_AudioDeviceID device = 0; // open only while a stream plays; guarded by deviceMutex
    std::mutex deviceMutex;

    // Streams the output callback mixes; guarded by outputMutex.
    std::mutex outputMutex;
    std::vector<std::shared_ptr<Stream>> playing;
    std::vector<int32_t> mix;
    std::vector<int16_t> scratch;

    std::shared_ptr<Stream> find(StreamHandle h) const {
        std::lock_guard lock(mutex);
        auto it = streams.find(h);
        return it == streams.end() ? nullptr : it->second;
    }

    std::shared_ptr<EncoderEntry> findEncoder(EncoderHandle h) const {
        std::lock_guard lock(mutex);
        auto it = encoders.find(h);
        return it == encoders.end() ? nullptr : it->second;
    }

    SDL_AudioDeviceID openDevice() {
        SDL_AudioSpec want{};
        want.freq = rate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        want.callback = &Impl::audioCallback;
        want.userdata = this;
        SDL_AudioSpec have{};
        return SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    }

    // The output device is open only while some stream plays: a paused SDL device still
    // writes silence to the sound server, so an idle player closes it instead. Called after
    // every change of `playing`; it decides from the list's current state, so concurrent
    // callers always leave the device matching the list. Never called with outputMutex held
    // (SDL takes its device lock around the callback, which takes outputMutex).
    void updateDevice() {
        std::lock_guard deviceLock(deviceMutex);
        if (!initialised) {
            return;
        }
        bool idle = false;
        {
            std::lock_guard lock(outputMutex);
            idle = playing.empty();
        }
        if (idle) {
            if (device != 0) {
                SDL_CloseAudioDevice(device);
                device = 0;
            }
            return;
        }
        if (device == 0) {
            device = openDevice(); // a device that went away leaves the stream silent
        }
        if (device != 0) {
            SDL_PauseAudioDevice(device, 0);
        }
    }

    // Ends a stream that is no longer in `streams`.
    void shutdown(const std::shared_ptr<Stream>& s) {
        {
            std::lock_guard lock(outputMutex);
            std::erase(playing, s);
        }
        updateDevice();
        s->cancel();
        s->stopEncoders();
        if (s->onOwnThread()) {
            std::lock_guard lock(mutex);
            graveyard.push_back(s);
            return;
        }
        s->join();
    }

    void buryDead() {
        std::vector<std::shared_ptr<Stream>> dead;
        {
            std::lock_guard lock(mutex);
            auto it = std::partition(graveyard.begin(), graveyard.end(),
                                     [](const auto& s) { return s->onOwnThread(); });
            dead.assign(it, graveyard.end());
            graveyard.erase(it, graveyard.end());
            // Encoders that have finished and were stopped are no longer needed.
            for (auto e = encoders.begin(); e != encoders.end();) {
                if (e->second->process->finished())
                    e = encoders.erase(e);
                else
                    ++e;
            }
        }
        for (auto& s : dead)
            s->join();
    }

    static void audioCallback(void* userdata, Uint8* out, int length);
};

// ---------------------------------------------------------------------------------------
// Network thread (HTTP, HTTPS): libcurl multi loop, ICY demultiplexing, ring filling.

namespace {

// Runs a user callback on an engine thread. An exception must not unwind through libcurl's or
// FFmpeg's C frames; a callback that throws loses only that one notification.
void invokeQuietly(const std::function<void(const std::string&)>& callback,
                   const std::string& text) {
    try {
        callback(text);
    } catch (...) {
    }
}

// position: the audio byte the text arrived before (kNoPosition when unknown).
void setMeta(Stream& s, std::string_view text, uint64_t position = detail::kNoPosition) {
    std::shared_ptr<const std::function<void(const std::string&)>> callback;
    std::string copy(text);
    {
        std::lock_guard lock(s.m);
        if (s.meta && *s.meta == copy)
            return;
        s.meta = copy;
        s.metaPos = position;
        callback = s.metaCallback;
    }
    if (callback && *callback)
        invokeQuietly(*callback, copy);
}

// Moves audio bytes into the ring, waiting while it is full. False when stopped or when no
// decoder will take them any more.
bool pushAudio(Stream& s, std::span<const uint8_t> bytes) {
    std::unique_lock lock(s.m);
    while (!bytes.empty()) {
        s.cv.wait(lock, [&] { return s.stop || s.decoderGone || s.abandoned || !s.ring.full(); });
        if (s.stop || s.decoderGone || s.abandoned)
            return false;
        const std::size_t n = s.ring.write(bytes.data(), bytes.size());
        s.downloaded += n;
        bytes = bytes.subspan(n);
        s.cv.notify_all();
    }
    return true;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    Stream& s = *static_cast<Stream*>(user);
    const std::size_t length = size * count;
    bool ok = true;
    s.demuxer.feed(
        std::span(reinterpret_cast<const uint8_t*>(data), length),
        [&](std::span<const uint8_t> audio) {
            if (ok)
                ok = pushAudio(s, audio);
        },
        [&](std::string_view meta) {
            if (ok)
                setMeta(s, meta, s.downloaded); // every audio byte before it is in the ring
        });
    s.lastData = Clock::now(); // time spent waiting for room is not a stall
    return ok ? length : 0;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    Stream& s = *static_cast<Stream*>(user);
    const std::size_t length = size * count;
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();

    if (line.empty()) { // end of one response's headers
        bool ready = false;
        {
            std::lock_guard lock(s.m);
            if (s.status >= 200 && s.status < 300 && s.phase == Stream::Phase::Connecting) {
                s.phase = Stream::Phase::Headers;
                ready = true;
                // No body byte has arrived yet, so the ring can still be resized.
                if (s.bitrate > 0)
                    s.ring = ByteRing(std::clamp(s.bitrate * kBytesPerKbit, kMinRing, kMaxRing));
            }
        }
        if (ready) {
            s.demuxer = IcyDemuxer(s.metaint);
            s.lastData = Clock::now();
            s.cv.notify_all();
        }
        return length;
    }

    const bool statusLine = startsWithNoCase(line, "HTTP/") || startsWithNoCase(line, "ICY ");
    bool keep = true;
    {
        std::lock_guard lock(s.m);
        if (statusLine)
            s.headerLines = 0;
        keep = ++s.headerLines <= kMaxHeaderLines;
    }
    if (keep) {
        line.resize(cutNetworkText(line, kMaxHeaderChars).size());
        if (s.options.onStatus)
            invokeQuietly(s.options.onStatus, line);
    }

    std::lock_guard lock(s.m);
    if (statusLine) {
        // A new response (the first, or one after a redirect): its headers replace the old.
        s.headers.clear();
        s.contentType.clear();
        s.metaint = 0;
        s.bitrate = 0;
        s.status = 0;
        const std::size_t sp = line.find(' ');
        if (sp != std::string::npos) {
            const char* first = line.data() + sp + 1;
            std::from_chars(first, line.data() + line.size(), s.status);
        }
    } else if (startsWithNoCase(line, "content-type:")) {
        s.contentType = trimmedLower(std::string_view(line).substr(13));
    } else if (startsWithNoCase(line, "icy-br:")) {
        // "128", or "128,128" from some servers: the first number counts.
        const std::string v = trimmedLower(std::string_view(line).substr(7));
        std::size_t kbps = 0;
        const auto r = std::from_chars(v.data(), v.data() + v.size(), kbps);
        if (r.ec == std::errc() && kbps > 0 && kbps < 10000 && s.bitrate == 0)
            s.bitrate = kbps;
    } else if (startsWithNoCase(line, "icy-metaint:")) {
        const std::string v = trimmedLower(std::string_view(line).substr(12));
        std::size_t metaint = 0;
        const auto r = std::from_chars(v.data(), v.data() + v.size(), metaint);
        // Anything unreasonable is treated as "no metadata" rather than trusted.
        s.metaint = (r.ec == std::errc() && metaint <= (1u << 24)) ? metaint : 0;
    }
    // Lines past the limit still set the values above, but are neither kept nor handed out.
    if (keep)
        s.headers.push_back(std::move(line));
    return length;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Stream*>(user)->stop ? 1 : 0;
}

void networkMain(Stream& s) {
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    curl_slist* request = curl_slist_append(nullptr, "Icy-MetaData: 1");
    curl_slist* aliases = curl_slist_append(nullptr, "ICY 200 OK");
    if (!easy || !multi || !request || !aliases) {
        s.fail(ErrorCode::Memory);
    } else {
        curl_easy_setopt(easy, CURLOPT_URL, s.url.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, request);
        curl_easy_setopt(easy, CURLOPT_HTTP200ALIASES, aliases);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        // Do not wait for a pending name lookup when the stream is freed.
        curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
        curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "Tunelark/" TUNELARK_VERSION);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(s.options.connectTimeout.count()));
        // Empty disables any proxy, including one named by the environment.
        curl_easy_setopt(easy, CURLOPT_PROXY, s.proxy.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &s);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &s);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &s);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_multi_add_handle(multi, easy);

        ErrorCode timedOut = ErrorCode::Ok;
        int running = 1;
        while (!s.stop && running) {
            if (curl_multi_perform(multi, &running) != CURLM_OK)
                break;
            if (!running)
                break;
            const auto now = Clock::now();
            Stream::Phase phase;
            {
                std::lock_guard lock(s.m);
                phase = s.phase;
            }
            if (phase == Stream::Phase::Connecting && now > s.connectDeadline) {
                timedOut = ErrorCode::Timeout;
                break;
            }
            if (phase != Stream::Phase::Connecting && now - s.lastData > s.options.stallTimeout) {
                timedOut = ErrorCode::Timeout;
                break;
            }
            if (phase == Stream::Phase::Ready && s.startExpired()) {
                // Opened, but not buffered in time (a trickle): over, like a lost connection.
                timedOut = ErrorCode::Timeout;
                break;
            }
            curl_multi_poll(multi, nullptr, 0, static_cast<int>(kNetPoll.count()), nullptr);
        }

        CURLcode result = CURLE_OK;
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left))
            if (msg->msg == CURLMSG_DONE)
                result = msg->data.result;
        ErrorCode code = timedOut;
        if (code == ErrorCode::Ok && s.stop)
            code = ErrorCode::Cancelled;
        if (code == ErrorCode::Ok && result == CURLE_OPERATION_TIMEDOUT)
            code = ErrorCode::Timeout;
        if (code == ErrorCode::Ok && result != CURLE_OK)
            code = ErrorCode::FileOpen;
        if (code == ErrorCode::Ok)
            code = ErrorCode::FileOpen; // ended before it began
        ConnectFault fault = ConnectFault::None;
        if (result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_COULDNT_RESOLVE_PROXY) {
            fault = ConnectFault::NameLookup;
        } else if (result == CURLE_COULDNT_CONNECT) {
            long osError = 0;
            curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError);
            fault = osError == ECONNREFUSED ? ConnectFault::Refused : ConnectFault::Other;
        }
        {
            std::lock_guard lock(s.m);
            if (s.netFailure == ErrorCode::Ok && (timedOut != ErrorCode::Ok || result != CURLE_OK))
                s.netFailure = code;
            s.connectFault = fault;
        }
        {
            // Once the headers are in, the decoder decides from the bytes it got.
            std::lock_guard lock(s.m);
            if (s.phase == Stream::Phase::Connecting) {
                s.phase = Stream::Phase::Failed;
                s.failure = code;
            }
        }
        curl_multi_remove_handle(multi, easy);
    }
    if (easy)
        curl_easy_cleanup(easy);
    if (multi)
        curl_multi_cleanup(multi);
    curl_slist_free_all(request);
    curl_slist_free_all(aliases);
    {
        std::lock_guard lock(s.m);
        s.netDone = true;
    }
    s.cv.notify_all();
}

// ---------------------------------------------------------------------------------------
// Decoder thread: probe, decode, resample, hand out PCM.

// Decoder thread. Ends the data early (an error FFmpeg passes up) once the decoder has read
// too much, or waited too long, without an audio frame coming out.
int readRing(void* opaque, uint8_t* buf, int size) {
    Stream& s = *static_cast<Stream*>(opaque);
    if (s.starved != ErrorCode::Ok)
        return AVERROR_EOF;
    std::unique_lock lock(s.m);
    s.cv.wait_until(lock, s.audioDeadline,
                    [&] { return s.stop || s.abandoned || !s.ring.empty() || s.netDone; });
    if (s.stop || s.abandoned)
        return AVERROR_EXIT;
    if (s.consumed - s.consumedAtAudio >= s.bytesWithoutAudio) {
        s.starved = ErrorCode::FileForm;
        return AVERROR_EOF;
    }
    if (s.ring.empty()) {
        if (!s.netDone)
            s.starved = ErrorCode::Timeout;
        return AVERROR_EOF;
    }
    const std::size_t n = s.ring.read(
        buf,
        static_cast<std::size_t>(std::min<uint64_t>(
            static_cast<uint64_t>(size), s.consumedAtAudio + s.bytesWithoutAudio - s.consumed)));
    s.consumed += n;
    lock.unlock();
    s.cv.notify_all();
    return static_cast<int>(n);
}

struct InterruptState {
    Stream* stream;
    Clock::time_point deadline; // max() once open
};

// FFmpeg's interrupt callback, on the decoder thread.
int interrupted(void* opaque) {
    const auto* st = static_cast<const InterruptState*>(opaque);
    const Stream& s = *st->stream;
    const auto now = Clock::now();
    return (s.stop || s.abandoned || now > st->deadline || now > s.audioDeadline) ? 1 : 0;
}

class Decoder {
public:
    explicit Decoder(Stream& s) : s_(s), irq_{&s, Clock::time_point::max()} {}
    ~Decoder() {
        av_packet_free(&pkt_);
        av_frame_free(&frame_);
        swr_free(&swr_);
        avcodec_free_context(&codec_);
        avformat_close_input(&fmt_);
        if (io_) {
            av_freep(&io_->buffer);
            avio_context_free(&io_);
        }
    }

    void run() {
        s_.audioDeadline = s_.startDeadline; // the whole open, first frame included
        const ErrorCode openResult = open();
        if (openResult != ErrorCode::Ok) {
            ErrorCode code = openResult;
            {
                std::lock_guard lock(s_.m);
                if (s_.netFailure != ErrorCode::Ok)
                    code = s_.netFailure;
            }
            if (s_.stop)
                code = ErrorCode::Cancelled;
            s_.fail(code);
        } else {
            decode();
        }
        {
            std::lock_guard lock(s_.m);
            s_.decoderGone = true; // the network thread stops instead of waiting for room
        }
        s_.cv.notify_all();
        {
            std::lock_guard lock(s_.pcmMutex);
            s_.decoderDone = true;
        }
        s_.pcmCv.notify_all();
        s_.stopEncoders();
    }

private:
    ErrorCode open() {
        fmt_ = avformat_alloc_context();
        if (!fmt_)
            return ErrorCode::Memory;
        fmt_->interrupt_callback.callback = interrupted;
        fmt_->interrupt_callback.opaque = &irq_;
        // Freed on every way out of this function (avformat_open_input replaces it with the
        // options it did not use).
        AVDictionary* opts = nullptr;
        const std::unique_ptr<AVDictionary*, void (*)(AVDictionary**)> freeOpts(&opts,
                                                                                av_dict_free);
        av_dict_set(&opts, "probesize", "32768", 0);
        av_dict_set(&opts, "analyzeduration", "500000", 0);
        av_dict_set(&opts, "formatprobesize", "8192", 0);
        int r = 0;
        if (s_.mms) {
            const std::string rest = s_.url.substr(s_.url.find("://") + 3);
            // mms:// tries HTTP, then TCP; an address that names its protocol gets only that.
            std::vector<const char*> schemes = {"mmsh://", "mmst://"};
            if (startsWithNoCase(s_.url, "mmsh://"))
                schemes = {"mmsh://"};
            else if (startsWithNoCase(s_.url, "mmst://"))
                schemes = {"mmst://"};
            av_dict_set(
                &opts, "rw_timeout",
                std::to_string(std::chrono::microseconds(s_.options.stallTimeout).count()).c_str(),
                0);
            irq_.deadline = Clock::now() + s_.options.connectTimeout;
            r = AVERROR(EIO);
            for (const char* scheme : schemes) {
                if (s_.stop)
                    break;
                AVDictionary* tryOpts = nullptr;
                av_dict_copy(&tryOpts, opts, 0);
                r = avformat_open_input(&fmt_, (scheme + rest).c_str(), nullptr, &tryOpts);
                av_dict_free(&tryOpts);
                if (r >= 0)
                    break;
                fmt_ = avformat_alloc_context(); // freed by the failed open
                if (!fmt_)
                    break;
                fmt_->interrupt_callback.callback = interrupted;
                fmt_->interrupt_callback.opaque = &irq_;
            }
            if (r < 0) {
                return s_.stop                        ? ErrorCode::Cancelled
                       : Clock::now() > irq_.deadline ? ErrorCode::Timeout
                                                      : ErrorCode::FileOpen;
            }
        } else {
            {
                std::unique_lock lock(s_.m);
                s_.cv.wait(lock, [&] { return s_.stop || s_.phase != Stream::Phase::Connecting; });
                if (s_.stop)
                    return ErrorCode::Cancelled;
                if (s_.phase == Stream::Phase::Failed)
                    return s_.failure;
            }
            std::string contentType;
            {
                std::lock_guard lock(s_.m);
                contentType = s_.contentType;
            }
            const AVInputFormat* input = chooseInputFormat(contentType);
            if (s_.stop)
                return ErrorCode::Cancelled;
            auto* buffer = static_cast<unsigned char*>(av_malloc(kAvioBufferSize));
            io_ = buffer ? avio_alloc_context(buffer, kAvioBufferSize, 0, this, readPacket, nullptr,
                                              nullptr)
                         : nullptr;
            if (!io_) {
                av_free(buffer);
                return ErrorCode::Memory;
            }
            fmt_->pb = io_;
            fmt_->flags |= AVFMT_FLAG_CUSTOM_IO;
            r = avformat_open_input(&fmt_, "", input, &opts);
            if (r < 0) {
                fmt_ = nullptr;
                return openFailure();
            }
        }
        irq_.deadline = Clock::time_point::max();

        // Probing is bounded by the probe size and, whatever FFmpeg does, by readRing's limit
        // of bytes without audio and the open's deadline.
        if (avformat_find_stream_info(fmt_, nullptr) < 0 && (s_.stop || s_.abandoned))
            return ErrorCode::Cancelled;
        const AVCodec* codec = nullptr;
        index_ = av_find_best_stream(fmt_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (index_ < 0 || !codec)
            return openFailure();
        codec_ = avcodec_alloc_context3(codec);
        if (!codec_)
            return ErrorCode::Memory;
        if (avcodec_parameters_to_context(codec_, fmt_->streams[index_]->codecpar) < 0 ||
            avcodec_open2(codec_, codec, nullptr) < 0)
            return ErrorCode::FileForm;
        pkt_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        if (!pkt_ || !frame_)
            return ErrorCode::Memory;
        // Open means playable: a body that yields no audio (zeros, an HTML page, a demuxer
        // forced by a wrong Content-Type) fails here, as a refused connection does.
        while (framesDelivered_ == 0)
            if (!step())
                return openFailure();
        {
            std::lock_guard lock(s_.m);
            s_.format = formatFor(codec->id);
            s_.phase = Stream::Phase::Ready;
        }
        s_.cv.notify_all();
        return ErrorCode::Ok;
    }

    // The demuxer for the stream: the one its Content-Type names, unless the first bytes say
    // clearly that they are something else (servers that label AAC+ as audio/mpeg exist; a
    // forced MP3 demuxer would play them as silence). Those bytes are kept in prefix_ and
    // handed to FFmpeg before the rest of the ring.
    const AVInputFormat* chooseInputFormat(const std::string& contentType) {
        const AVInputFormat* named = inputFormatFor(contentType);
        constexpr std::size_t kPeek = 8192;
        prefix_.resize(kPeek + AVPROBE_PADDING_SIZE);
        std::size_t got = 0;
        while (got < kPeek) {
            const int n = readRing(&s_, prefix_.data() + got, static_cast<int>(kPeek - got));
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        std::fill(prefix_.begin() + static_cast<std::ptrdiff_t>(got), prefix_.end(), 0);
        AVProbeData probe{};
        probe.filename = "";
        probe.buf = prefix_.data();
        probe.buf_size = static_cast<int>(got);
        int score = 0;
        const AVInputFormat* probed = got ? av_probe_input_format3(&probe, 1, &score) : nullptr;
        prefix_.resize(got);
        if (!named)
            return probed && score >= AVPROBE_SCORE_EXTENSION / 2 ? probed : nullptr;
        if (probed && probed != named && score >= AVPROBE_SCORE_EXTENSION / 2)
            return probed;
        return named;
    }

    ErrorCode openFailure() const {
        if (s_.stop || s_.abandoned)
            return ErrorCode::Cancelled;
        if (s_.starved != ErrorCode::Ok)
            return s_.starved;
        return Clock::now() > s_.audioDeadline ? ErrorCode::Timeout : ErrorCode::FileForm;
    }

    static int readPacket(void* opaque, uint8_t* buf, int size) {
        Decoder& d = *static_cast<Decoder*>(opaque);
        if (d.prefixPos_ < d.prefix_.size()) {
            const std::size_t n =
                std::min(static_cast<std::size_t>(size), d.prefix_.size() - d.prefixPos_);
            std::memcpy(buf, d.prefix_.data() + d.prefixPos_, n);
            d.prefixPos_ += n;
            return static_cast<int>(n);
        }
        return readRing(&d.s_, buf, size);
    }

    // Reads one packet and decodes it. False once the data has ended: the server closed or
    // reset the connection, no audio came out of the last bytes or for too long (garbage, a
    // change of codec), the decoder keeps failing, or the stream is stopped.
    bool step() {
        if (s_.stop || s_.abandoned)
            return false;
        const int r = av_read_frame(fmt_, pkt_);
        if (r == AVERROR(EAGAIN)) {
            if (Clock::now() > s_.audioDeadline) {
                s_.starved = ErrorCode::Timeout;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return true;
        }
        if (r < 0) {
            if (std::getenv("TL_AUDIO_DEBUG"))
                std::fprintf(stderr, "audio: stream %u ends: %s\n", s_.id, avError(r).c_str());
            return false;
        }
        publishStreamTags();
        bool more = true;
        if (pkt_->stream_index == index_) {
            if (avcodec_send_packet(codec_, pkt_) < 0 && ++errors_ > 1000)
                more = false; // garbage that never decodes
            else
                receive(frame_);
        }
        av_packet_unref(pkt_);
        return more;
    }

    void decode() {
        while (step()) {
        }
        if (!s_.stop) {
            avcodec_send_packet(codec_, nullptr);
            receive(frame_);
        }
    }

    // Ogg streams carry their titles as comment headers, not ICY blocks: a new comment header
    // becomes the same "StreamTitle='...';" text an ICY server would send. Streams with ICY
    // metadata keep theirs.
    void publishStreamTags() {
        if (index_ < 0) {
            return;
        }
        {
            std::lock_guard lock(s_.m);
            if (s_.metaint != 0) {
                return;
            }
        }
        AVStream* st = fmt_->streams[index_];
        const bool updated = (st->event_flags & AVSTREAM_EVENT_FLAG_METADATA_UPDATED) != 0;
        if (!updated && tagsSeen_) {
            return;
        }
        st->event_flags &= ~AVSTREAM_EVENT_FLAG_METADATA_UPDATED;
        tagsSeen_ = true;
        const AVDictionaryEntry* title = av_dict_get(st->metadata, "title", nullptr, 0);
        const AVDictionaryEntry* artist = av_dict_get(st->metadata, "artist", nullptr, 0);
        if (title == nullptr && artist == nullptr) {
            return;
        }
        std::string text;
        if (artist != nullptr && title != nullptr) {
            text = std::string(artist->value) + " - " + title->value;
        } else {
            text = title != nullptr ? title->value : artist->value;
        }
        setMeta(s_, "StreamTitle='" + std::string(cutNetworkText(text)) + "';");
    }

    void receive(AVFrame* frame) {
        while (!s_.stop && avcodec_receive_frame(codec_, frame) >= 0) {
            deliver(frame);
            av_frame_unref(frame);
            audioCameOut();
        }
    }

    // A frame was decoded and handed on (waiting for room in the PCM ring included): the
    // limits of bytes and time without audio start again from here.
    void audioCameOut() {
        ++framesDelivered_;
        errors_ = 0;
        {
            std::lock_guard lock(s_.m);
            s_.consumedAtAudio = s_.consumed;
        }
        s_.bytesWithoutAudio = kBytesWithoutAudio;
        s_.audioDeadline = Clock::now() + s_.options.stallTimeout;
    }

    bool prepareResampler(const AVFrame* frame) {
        AVChannelLayout in{};
        if (frame->ch_layout.nb_channels > 0)
            av_channel_layout_copy(&in, &frame->ch_layout);
        else
            av_channel_layout_default(&in, std::max(codec_->ch_layout.nb_channels, 1));
        const bool same = swr_ && frame->format == inFormat_ && frame->sample_rate == inRate_ &&
                          av_channel_layout_compare(&in, &inLayout_) == 0;
        if (same) {
            av_channel_layout_uninit(&in);
            return true;
        }
        swr_free(&swr_);
        av_channel_layout_uninit(&inLayout_);
        inLayout_ = in;
        inFormat_ = frame->format;
        inRate_ = frame->sample_rate;
        AVChannelLayout out{};
        av_channel_layout_default(&out, 2);
        if (swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_S16, s_.rate, &inLayout_,
                                static_cast<AVSampleFormat>(inFormat_), inRate_, 0, nullptr) < 0 ||
            swr_init(swr_) < 0) {
            swr_free(&swr_);
            return false;
        }
        return true;
    }

    void deliver(const AVFrame* frame) {
        if (frame->sample_rate <= 0 || !prepareResampler(frame))
            return;
        const int capacity = swr_get_out_samples(swr_, frame->nb_samples);
        if (capacity <= 0)
            return;
        out_.resize(static_cast<std::size_t>(capacity) * 2);
        auto* dst = reinterpret_cast<uint8_t*>(out_.data());
        const int frames =
            swr_convert(swr_, &dst, capacity, const_cast<const uint8_t**>(frame->extended_data),
                        frame->nb_samples);
        if (frames <= 0)
            return;
        const std::span<const uint8_t> bytes(dst, static_cast<std::size_t>(frames) * 4);

        { // Encoders get the samples before volume; they never hold up decoding.
            std::lock_guard lock(s_.encoderMutex);
            const uint64_t pos =
                frame->pkt_pos >= 0 ? static_cast<uint64_t>(frame->pkt_pos) : s_.decodedPos;
            s_.decodedPos = pos;
            std::erase_if(s_.encoders, [&](const std::shared_ptr<EncoderEntry>& e) {
                if (pos >= e->stopAt) {
                    e->process->stop(); // handed over: its song has ended
                    return true;
                }
                if (pos >= e->startAt)
                    e->process->push(bytes);
                return false;
            });
        }

        std::unique_lock lock(s_.pcmMutex);
        std::size_t done = 0;
        while (done < bytes.size()) {
            s_.pcmCv.wait(lock, [&] { return s_.stop || s_.pcm.space() >= 4; });
            if (s_.stop)
                return;
            const std::size_t room = s_.pcm.space() & ~std::size_t{3};
            done += s_.pcm.write(bytes.data() + done, std::min(room, bytes.size() - done));
        }
    }

    Stream& s_;
    InterruptState irq_;
    AVFormatContext* fmt_ = nullptr;
    AVIOContext* io_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVChannelLayout inLayout_{};
    int inFormat_ = -1;
    int inRate_ = 0;
    int index_ = -1;
    bool tagsSeen_ = false; // the first comment header has been published
    AVPacket* pkt_ = nullptr;
    AVFrame* frame_ = nullptr;
    uint64_t framesDelivered_ = 0;
    int errors_ = 0; // packets the decoder refused since the last frame
    std::vector<int16_t> out_;
    std::vector<uint8_t> prefix_; // the first bytes, read for the format check
    std::size_t prefixPos_ = 0;
};

void decoderMain(Stream& s) {
    Decoder decoder(s);
    decoder.run();
}

} // namespace

// ---------------------------------------------------------------------------------------
// Output: SDL's audio thread mixes every playing stream.

void Engine::Impl::audioCallback(void* userdata, Uint8* out, int length) {
    Impl& e = *static_cast<Impl*>(userdata);
    const std::size_t frames = static_cast<std::size_t>(length) / 4;
    auto* dst = reinterpret_cast<int16_t*>(out);
    std::lock_guard lock(e.outputMutex);
    if (e.mix.size() < frames * 2)
        e.mix.resize(frames * 2);
    if (e.scratch.size() < frames * 2)
        e.scratch.resize(frames * 2);
    std::fill_n(e.mix.begin(), frames * 2, 0);
    const int volume = e.volume.load();
    for (const auto& s : e.playing) {
        std::size_t got = 0;
        {
            std::lock_guard pcmLock(s->pcmMutex);
            got = s->pcm.read(reinterpret_cast<uint8_t*>(e.scratch.data()), frames * 4) / 4;
        }
        s->pcmCv.notify_all();
        if (got < frames)
            s->underrunFrames += frames - got;
        std::fill(e.scratch.begin() + static_cast<std::ptrdiff_t>(got * 2),
                  e.scratch.begin() + static_cast<std::ptrdiff_t>(frames * 2), int16_t{0});
        s->pushHistory(e.scratch.data(), frames);
        for (std::size_t i = 0; i < frames * 2; ++i)
            e.mix[i] += e.scratch[i] * volume / 100;
    }
    for (std::size_t i = 0; i < frames * 2; ++i)
        dst[i] = static_cast<int16_t>(std::clamp(e.mix[i], -32768, 32767));
}

// ---------------------------------------------------------------------------------------
// Engine

Engine::Engine() : impl_(std::make_unique<Impl>()) {
    globalInit();
}

Engine::~Engine() {
    std::vector<std::shared_ptr<Stream>> all;
    {
        std::lock_guard lock(impl_->mutex);
        for (auto& [id, s] : impl_->streams)
            all.push_back(s);
        impl_->streams.clear();
    }
    for (auto& s : all)
        impl_->shutdown(s);
    if (impl_->initialised) {
        {
            std::lock_guard deviceLock(impl_->deviceMutex);
            if (impl_->device != 0) {
                SDL_CloseAudioDevice(impl_->device);
                impl_->device = 0;
            }
        }
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    std::vector<std::shared_ptr<Stream>> dead;
    std::map<EncoderHandle, std::shared_ptr<EncoderEntry>> encoders;
    {
        std::lock_guard lock(impl_->mutex);
        dead.swap(impl_->graveyard);
        encoders.swap(impl_->encoders);
    }
    for (auto& s : dead)
        s->join();
    for (auto& [id, e] : encoders)
        e->process->stop();
    encoders.clear(); // joins each feeding thread once its encoder has finished
}

uint32_t Engine::version() {
    return kEngineVersion;
}

bool Engine::init(int rate) {
    if (impl_->initialised)
        return fail(ErrorCode::Already);
    if (rate <= 0)
        return fail(ErrorCode::Format);
    // SIGINT and SIGTERM belong to the program: SDL would otherwise install handlers that
    // turn them into a quit event nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return fail(ErrorCode::Driver);
    impl_->rate = rate;
    // Opened once to find out whether there is a device at all; it is closed again until a
    // stream plays (updateDevice).
    const SDL_AudioDeviceID probe = impl_->openDevice();
    if (probe == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return fail(ErrorCode::Driver);
    }
    SDL_CloseAudioDevice(probe);
    impl_->initialised = true;
    succeed();
    return true;
}

bool Engine::isInitialised() const {
    return impl_->initialised;
}

ErrorCode Engine::errorCode() const {
    return tlsError;
}

OpenFailure Engine::lastOpenFailure() const {
    return tlsOpenFailure;
}

void Engine::setGlobalStreamVolume(int volume) {
    impl_->volume = std::clamp(volume, 0, 100);
    succeed();
}

int Engine::globalStreamVolume() const {
    return impl_->volume;
}

void Engine::setProxy(const std::string& proxy) {
    std::lock_guard lock(impl_->mutex);
    impl_->proxy = proxy;
    succeed();
}

StreamHandle Engine::streamCreateUrl(const std::string& url, const OpenOptions& options,
                                     std::stop_token stop) {
    impl_->buryDead();
    tlsOpenFailure = {};
    if (!impl_->initialised)
        return fail(ErrorCode::Init), 0;
    if (url.empty() || url.find("://") == std::string::npos)
        return fail(ErrorCode::FileOpen), 0;

    auto s = std::make_shared<Stream>();
    s->url = url;
    s->options = options;
    s->rate = impl_->rate;
    s->mms = startsWithNoCase(url, "mms://") || startsWithNoCase(url, "mmsh://") ||
             startsWithNoCase(url, "mmst://");
    const auto started = Clock::now();
    s->connectDeadline = started + options.connectTimeout;
    s->startDeadline = started + options.startTimeout;
    {
        std::lock_guard lock(impl_->mutex);
        s->proxy = impl_->proxy;
        s->id = impl_->nextStream++;
    }
    try {
        if (!s->mms)
            s->net = std::thread([p = s.get()] { networkMain(*p); });
        s->dec = std::thread([p = s.get()] { decoderMain(*p); });
    } catch (const std::system_error&) {
        s->cancel();
        s->join();
        return fail(ErrorCode::Memory), 0;
    }

    {
        std::stop_callback onStop(stop, [&s] { s->cancel(); });
        std::unique_lock lock(s->m);
        s->cv.wait_until(lock, s->startDeadline, [&] {
            return s->stop || s->phase == Stream::Phase::Ready || s->phase == Stream::Phase::Failed;
        });
    }
    ErrorCode code = ErrorCode::Ok;
    {
        std::lock_guard lock(s->m);
        if (s->stop)
            code = ErrorCode::Cancelled;
        else if (s->phase != Stream::Phase::Ready && s->phase != Stream::Phase::Failed)
            code = ErrorCode::Timeout; // still connecting or probing: a trickle
        else if (s->phase != Stream::Phase::Ready)
            code = s->failure == ErrorCode::Ok ? ErrorCode::Unknown : s->failure;
    }
    if (code != ErrorCode::Ok) {
        s->cancel();
        s->join(); // the network thread has left: its last status and fault stand
        {
            std::lock_guard lock(s->m);
            tlsOpenFailure = OpenFailure{s->status, s->connectFault};
        }
        return fail(code), 0;
    }
    {
        std::lock_guard lock(impl_->mutex);
        impl_->streams.emplace(s->id, s);
    }
    succeed();
    return s->id;
}

void Engine::setPositionSourceForTesting(PositionSource source) {
    auto shared = std::make_shared<const PositionSource>(std::move(source));
    std::lock_guard lock(impl_->mutex);
    impl_->positionSource = std::move(shared);
}

uint32_t Engine::filePosition(StreamHandle stream, FilePosition which) const {
    auto s = impl_->find(stream);
    if (!s)
        return fail(ErrorCode::Handle), kNoEnd;
    succeed();
    std::shared_ptr<const PositionSource> source;
    {
        std::lock_guard lock(impl_->mutex);
        source = impl_->positionSource;
    }
    if (source && *source)
        if (const std::optional<uint32_t> forced = (*source)(stream, which))
            return *forced;
    if (s->mms)
        return which == FilePosition::End ? kNoEnd : 0;
    std::lock_guard lock(s->m);
    switch (which) {
    case FilePosition::End:
        // Once nothing more can arrive there is nothing to wait for: a buffering loop that
        // waits for the ring to fill ends instead of spinning on a stream that is over.
        if (s->netDone)
            return kNoEnd;
        return static_cast<uint32_t>(s->ring.capacity());
    case FilePosition::Download:
        return static_cast<uint32_t>(s->downloaded);
    case FilePosition::Current:
        return static_cast<uint32_t>(s->consumed);
    }
    return kNoEnd;
}

bool Engine::hasEnded(StreamHandle stream) const {
    auto s = impl_->find(stream);
    if (!s)
        return true;
    if (s->startExpired())
        return true;
    {
        std::lock_guard lock(s->m);
        if (s->stop || s->netDone || s->abandoned)
            return true;
    }
    std::lock_guard lock(s->pcmMutex); // MMS streams have no network thread of ours
    return s->decoderDone;
}

void Engine::waitForData(StreamHandle stream, std::chrono::milliseconds timeout) const {
    auto s = impl_->find(stream);
    if (!s || s->mms)
        return;
    std::unique_lock lock(s->m);
    const uint64_t start = s->downloaded;
    const uint64_t taken = s->consumed;
    s->cv.wait_for(lock, timeout, [&] {
        return s->stop || s->netDone || s->downloaded != start || s->consumed != taken;
    });
}

std::optional<StreamFormat> Engine::format(StreamHandle stream) const {
    auto s = impl_->find(stream);
    if (!s)
        return fail(ErrorCode::Handle), std::nullopt;
    succeed();
    std::lock_guard lock(s->m);
    return s->format;
}

std::vector<std::string> Engine::icyHeaders(StreamHandle stream) const {
    auto s = impl_->find(stream);
    if (!s)
        return fail(ErrorCode::Handle), std::vector<std::string>{};
    succeed();
    std::lock_guard lock(s->m);
    return s->headers;
}

std::optional<std::string> Engine::metadata(StreamHandle stream) const {
    auto s = impl_->find(stream);
    if (!s)
        return fail(ErrorCode::Handle), std::nullopt;
    succeed();
    std::lock_guard lock(s->m);
    return s->meta;
}

bool Engine::setMetaCallback(StreamHandle stream,
                             std::function<void(const std::string&)> callback) {
    auto s = impl_->find(stream);
    if (!s)
        return fail(ErrorCode::Handle);
    auto shared =
        std::make_shared<const std::function<void(const std::string&)>>(std::move(callback));
    {
        std::lock_guard lock(s->m);
        s->metaCallback = std::move(shared);
    }
    succeed();
    return true;
}

bool Engine::play(StreamHandle stream) {
    auto s = impl_->find(stream);
    if (!s)
        return fail(ErrorCode::Handle);
    {
        std::lock_guard lock(impl_->outputMutex);
        if (std::find(impl_->playing.begin(), impl_->playing.end(), s) == impl_->playing.end())
            impl_->playing.push_back(s);
    }
    s->playing = true;
    impl_->updateDevice();
    succeed();
    return true;
}

bool Engine::streamFree(StreamHandle stream) {
    std::shared_ptr<Stream> s;
    {
        std::lock_guard lock(impl_->mutex);
        auto it = impl_->streams.find(stream);
        if (it != impl_->streams.end()) {
            s = it->second;
            impl_->streams.erase(it);
        }
    }
    if (!s) {
        impl_->buryDead();
        return fail(ErrorCode::Handle);
    }
    impl_->shutdown(s);
    impl_->buryDead();
    if (std::getenv("TL_AUDIO_DEBUG"))
        std::fprintf(stderr, "audio: stream %u freed, %llu frames of underrun\n", s->id,
                     static_cast<unsigned long long>(s->underrunFrames.load()));
    succeed();
    return true;
}

bool Engine::isPlaying(StreamHandle stream) const {
    auto s = impl_->find(stream);
    if (!s)
        return fail(ErrorCode::Handle);
    succeed();
    if (!s->playing || s->abandoned)
        return false;
    std::lock_guard lock(s->pcmMutex);
    return !(s->decoderDone && s->pcm.empty());
}

uint32_t Engine::level(StreamHandle stream) const {
    auto s = impl_->find(stream);
    if (!s)
        return fail(ErrorCode::Handle), 0;
    succeed();
    std::array<int16_t, kLevelFrames * 2> recent;
    {
        std::lock_guard lock(s->historyMutex);
        std::size_t pos = (s->historyPos + kHistoryFrames - kLevelFrames) % kHistoryFrames;
        for (std::size_t i = 0; i < kLevelFrames; ++i) {
            recent[i * 2] = s->history[pos * 2];
            recent[i * 2 + 1] = s->history[pos * 2 + 1];
            pos = (pos + 1) % kHistoryFrames;
        }
    }
    return stereoPeakLevel(recent);
}

bool Engine::fft1024(StreamHandle stream, std::span<float, 512> magnitudes) const {
    auto s = impl_->find(stream);
    if (!s)
        return fail(ErrorCode::Handle);
    std::array<float, kFftSize> mono;
    {
        std::lock_guard lock(s->historyMutex);
        std::size_t pos = (s->historyPos + kHistoryFrames - kFftSize) % kHistoryFrames;
        for (std::size_t i = 0; i < kFftSize; ++i) {
            mono[i] = (static_cast<float>(s->history[pos * 2]) +
                       static_cast<float>(s->history[pos * 2 + 1])) /
                      65536.0f;
            pos = (pos + 1) % kHistoryFrames;
        }
    }
    spectrum1024(mono, magnitudes);
    succeed();
    return true;
}

EncoderHandle Engine::encodeStart(StreamHandle stream, const std::vector<std::string>& argv,
                                  bool paused) {
    impl_->buryDead();
    auto s = impl_->find(stream);
    if (!s)
        return fail(ErrorCode::Handle), 0;
    const auto header = wavHeader(static_cast<uint32_t>(s->rate), 2, 16);
    auto process = EncoderProcess::start(argv, header, kEncoderQueueBytes);
    if (!process)
        return fail(ErrorCode::FileOpen), 0;
    process->setPaused(paused);
    auto entry = std::make_shared<EncoderEntry>();
    entry->stream = stream;
    entry->process = std::move(process);
    {
        std::lock_guard lock(impl_->mutex);
        entry->id = impl_->nextEncoder++;
        impl_->encoders.emplace(entry->id, entry);
    }
    {
        // Under encoderMutex: a decoder that ends after this check stops the encoder itself.
        std::lock_guard lock(s->encoderMutex);
        bool ended = false;
        {
            std::lock_guard pcmLock(s->pcmMutex);
            ended = s->decoderDone || s->stop;
        }
        if (ended)
            entry->process->stop(); // the encoder ends with its stream
        else
            s->encoders.push_back(entry);
    }
    succeed();
    return entry->id;
}

bool Engine::encodeHandOver(EncoderHandle from, EncoderHandle to) {
    auto a = impl_->findEncoder(from);
    auto b = impl_->findEncoder(to);
    if (!a || !b || a->stream != b->stream)
        return fail(ErrorCode::Handle);
    auto s = impl_->find(a->stream);
    uint64_t at = detail::kNoPosition;
    if (s) {
        std::lock_guard lock(s->m);
        at = s->metaPos;
    }
    bool exact = false;
    if (s) {
        std::lock_guard lock(s->encoderMutex);
        exact = at != detail::kNoPosition && at > s->decodedPos;
        if (exact) {
            a->stopAt = at;
            b->startAt = at;
        } else {
            std::erase(s->encoders, a);
        }
    }
    if (!exact)
        a->process->stop();
    b->process->setPaused(false);
    impl_->buryDead();
    succeed();
    return exact;
}

bool Engine::encodeSetPaused(EncoderHandle encoder, bool paused) {
    auto e = impl_->findEncoder(encoder);
    if (!e)
        return fail(ErrorCode::Handle);
    e->process->setPaused(paused);
    succeed();
    return true;
}

bool Engine::encodeIsActive(EncoderHandle encoder) const {
    auto e = impl_->findEncoder(encoder);
    if (!e)
        return fail(ErrorCode::Handle);
    succeed();
    return e->process->active();
}

bool Engine::encodeStop(EncoderHandle encoder) {
    auto e = impl_->findEncoder(encoder);
    if (!e)
        return fail(ErrorCode::Handle);
    e->process->stop();
    if (auto s = impl_->find(e->stream)) {
        std::lock_guard lock(s->encoderMutex);
        std::erase(s->encoders, e);
    }
    impl_->buryDead();
    succeed();
    return true;
}

} // namespace tl::audio
