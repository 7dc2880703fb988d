// The engine's public face: the stream and encoder tables and the public methods. The work
// is done elsewhere: transport.cpp (network thread), decoder.cpp (decoder thread),
// output.cpp (SDL's audio thread) and encoders.cpp (the encoders fed by the decoder).
// Engine::Impl's mutex guards the tables; a stream's own state is in stream_state.h.

#include "audio/engine.h"

#include "audio/analysis.h"
#include "audio/decoder.h"
#include "audio/encoders.h"
#include "audio/output.h"
#include "audio/stream_state.h"
#include "audio/transport.h"
#include "common/hls_detect.h"

#include <curl/curl.h>
extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace tl::audio {

using detail::Clock;
using detail::EncoderEntry;
using detail::Stream;

namespace {

thread_local ErrorCode tlsError = ErrorCode::Ok;
thread_local OpenFailure tlsOpenFailure;

bool fail(ErrorCode code) {
    tlsError = code;
    return false;
}
void succeed() {
    tlsError = ErrorCode::Ok;
}

constexpr std::size_t kLevelFrames = 882; // 20 ms at 44.1 kHz
constexpr std::size_t kHistoryFrames = detail::kHistoryFrames;

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

EncoderExit exitOf(const EncoderProcess& p) {
    const EncoderProcess::Exit e = p.exitInfo();
    return {.early = e.early, .signal = e.signal, .status = e.status, .lastLine = e.lastLine};
}

} // namespace

struct Engine::Impl {
    mutable std::mutex mutex; // streams, encoders, graveyard, proxy, ids
    std::map<StreamHandle, std::shared_ptr<Stream>> streams;
    std::map<EncoderHandle, std::shared_ptr<EncoderEntry>> encoders;
    // How the encoders that have left `encoders` ended; the most recent kExitsKept.
    std::map<EncoderHandle, EncoderExit> exits;
    static constexpr std::size_t kExitsKept = 64;
    std::vector<std::shared_ptr<Stream>> graveyard; // freed from their own threads
    std::string proxy;
    std::shared_ptr<const PositionSource> positionSource;
    std::shared_ptr<Stream> preopened; // Engine::preopen's, until a streamCreateUrl takes it
    StreamHandle nextStream = 1;
    EncoderHandle nextEncoder = 1;

    detail::Output output;

    std::shared_ptr<Stream> find(StreamHandle h) const {
        std::lock_guard lock(mutex);
        auto it = streams.find(h);
        return it == streams.end() ? nullptr : it->second;
    }

    std::shared_ptr<Stream> startStream(const std::string& url, const OpenOptions& options,
                                        bool hold);

    std::shared_ptr<EncoderEntry> findEncoder(EncoderHandle h) const {
        std::lock_guard lock(mutex);
        auto it = encoders.find(h);
        return it == encoders.end() ? nullptr : it->second;
    }

    // Ends a stream that is no longer in `streams`.
    void shutdown(const std::shared_ptr<Stream>& s) {
        output.remove(s);
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
                if (e->second->process->finished()) {
                    exits[e->first] = exitOf(*e->second->process);
                    e = encoders.erase(e);
                } else {
                    ++e;
                }
            }
            while (exits.size() > kExitsKept)
                exits.erase(exits.begin());
        }
        for (auto& s : dead)
            s->join();
    }
};

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
        if (impl_->preopened)
            all.push_back(std::move(impl_->preopened));
    }
    for (auto& s : all)
        impl_->shutdown(s);
    impl_->output.close();
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
    if (impl_->output.initialised())
        return fail(ErrorCode::Already);
    if (rate <= 0)
        return fail(ErrorCode::Format);
    const ErrorCode result = impl_->output.init(rate);
    if (result != ErrorCode::Ok)
        return fail(result);
    succeed();
    return true;
}

bool Engine::isInitialised() const {
    return impl_->output.initialised();
}

ErrorCode Engine::errorCode() const {
    return tlsError;
}

OpenFailure Engine::lastOpenFailure() const {
    return tlsOpenFailure;
}

void Engine::setGlobalStreamVolume(int volume) {
    impl_->output.setVolume(std::clamp(volume, 0, 100));
    succeed();
}

int Engine::globalStreamVolume() const {
    return impl_->output.volume();
}

void Engine::setProxy(const std::string& proxy) {
    std::lock_guard lock(impl_->mutex);
    impl_->proxy = proxy;
    succeed();
}

namespace {

bool sameTimeouts(const OpenOptions& a, const OpenOptions& b) {
    return a.connectTimeout == b.connectTimeout && a.stallTimeout == b.stallTimeout &&
           a.startTimeout == b.startTimeout;
}

} // namespace

// Creates a stream for `url` and starts its threads; nullptr (errorCode set) when it cannot.
// hold: the stream keeps its status lines for a later owner (preopen).
std::shared_ptr<Stream> Engine::Impl::startStream(const std::string& url,
                                                  const OpenOptions& options, bool hold) {
    auto s = std::make_shared<Stream>();
    s->url = url;
    s->options = options;
    s->rate = output.initialised() ? output.rate() : kOutputRate;
    s->holdStatus = hold; // before the network thread can see a header
    s->mms = detail::startsWithNoCase(url, "mms://") || detail::startsWithNoCase(url, "mmsh://") ||
             detail::startsWithNoCase(url, "mmst://");
    s->hls =
        (detail::startsWithNoCase(url, "http://") || detail::startsWithNoCase(url, "https://")) &&
        hasHlsPathExtension(url);
    const auto started = Clock::now();
    s->connectDeadline = started + options.connectTimeout;
    s->startDeadline = started + options.startTimeout;
    {
        std::lock_guard lock(mutex);
        s->proxy = proxy;
        s->id = nextStream++;
    }
    try {
        if (!s->openedByFfmpeg())
            s->net = std::thread([p = s.get()] { detail::networkMain(*p); });
        s->dec = std::thread([p = s.get()] { detail::decoderMain(*p); });
    } catch (const std::system_error&) {
        s->cancel();
        s->join();
        fail(ErrorCode::Memory);
        return nullptr;
    }
    return s;
}

void Engine::preopen(const std::string& url, const OpenOptions& options) {
    impl_->buryDead();
    std::shared_ptr<Stream> previous;
    {
        std::lock_guard lock(impl_->mutex);
        previous = std::move(impl_->preopened);
    }
    if (previous)
        impl_->shutdown(previous);
    if (url.empty() || url.find("://") == std::string::npos)
        return;
    OpenOptions quiet = options;
    quiet.onStatus = nullptr;
    quiet.onReconnect = nullptr;
    std::shared_ptr<Stream> s = impl_->startStream(url, quiet, true);
    if (!s)
        return;
    std::lock_guard lock(impl_->mutex);
    impl_->preopened = std::move(s);
}

StreamHandle Engine::streamCreateUrl(const std::string& url, const OpenOptions& options,
                                     std::stop_token stop) {
    impl_->buryDead();
    tlsOpenFailure = {};
    std::shared_ptr<Stream> early;
    {
        std::lock_guard lock(impl_->mutex);
        early = std::move(impl_->preopened);
    }
    if (early) {
        // Taken over only when it is what this call would open and still on its way; a stream
        // that failed or gave up is opened again, so its failure is reported as it is now.
        bool usable = early->url == url && sameTimeouts(early->options, options) &&
                      early->rate == impl_->output.rate() && !early->startExpired();
        if (usable) {
            std::lock_guard lock(early->m);
            usable = !early->stop && early->phase != Stream::Phase::Failed;
        }
        if (!usable) {
            impl_->shutdown(early);
            early.reset();
        }
    }
    if (!impl_->output.initialised())
        return fail(ErrorCode::Init), 0;
    if (url.empty() || url.find("://") == std::string::npos)
        return fail(ErrorCode::FileOpen), 0;

    std::shared_ptr<Stream> s = early;
    if (s) {
        s->takeOver(options);
    } else {
        s = impl_->startStream(url, options, false);
        if (!s)
            return 0;
    }
    // The device starts while the stream connects and probes, not after it.
    impl_->output.prepare(s);

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
        impl_->output.remove(s);
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
    if (s->openedByFfmpeg())
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
        // A reply that was an HLS playlist ends its download at once; the demuxer goes on.
        if (s->stop || (s->netDone && !s->openedByFfmpeg()) || s->abandoned)
            return true;
    }
    std::lock_guard lock(s->pcmMutex); // MMS streams have no network thread of ours
    return s->decoderDone;
}

void Engine::waitForData(StreamHandle stream, std::chrono::milliseconds timeout) const {
    auto s = impl_->find(stream);
    if (!s || s->openedByFfmpeg())
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
    s->playing = true;
    { std::lock_guard lock(s->pcmMutex); } // the decoder decodes ahead in full from now on
    s->pcmCv.notify_all();
    impl_->output.add(s);
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
    auto entry = detail::startEncoder(argv, s->rate, paused);
    if (!entry)
        return fail(ErrorCode::FileOpen), 0;
    entry->stream = stream;
    {
        std::lock_guard lock(impl_->mutex);
        entry->id = impl_->nextEncoder++;
        impl_->encoders.emplace(entry->id, entry);
    }
    // A decoder that finishes after the check stops the encoder itself.
    s->encoders.attach(entry, [&s] {
        std::lock_guard pcmLock(s->pcmMutex);
        return s->decoderDone || s->stop;
    });
    succeed();
    return entry->id;
}

HandOver Engine::encodeHandOver(EncoderHandle from, EncoderHandle to) {
    auto a = from != 0 ? impl_->findEncoder(from) : nullptr;
    auto b = to != 0 ? impl_->findEncoder(to) : nullptr;
    // An old encoder that has gone (killed, disk full) may already have been buried: the new
    // one then simply starts at the split.
    const bool fromGone = from != 0 && (!a || a->process->finished());
    if ((from == 0 && to == 0) || (to != 0 && !b) || (from != 0 && !a && !fromGone) ||
        (a && b && a->stream != b->stream) || (!a && !b))
        return fail(ErrorCode::Handle), HandOver::Failed;
    if (fromGone)
        a = nullptr;
    auto s = impl_->find(b ? b->stream : a->stream);
    uint64_t at = detail::kNoPosition;
    if (s) {
        std::lock_guard lock(s->m);
        at = s->metaPos;
    }
    const bool exact = s && s->encoders.handOver(a, b, at);
    if (!exact && a)
        a->process->stop();
    if (b)
        b->process->setPaused(false);
    impl_->buryDead();
    succeed();
    return exact ? HandOver::Exact : HandOver::AtOnce;
}

std::optional<EncoderExit> Engine::encodeExit(EncoderHandle encoder) const {
    if (auto e = impl_->findEncoder(encoder))
        return e->process->finished() ? std::optional(exitOf(*e->process)) : std::nullopt;
    std::lock_guard lock(impl_->mutex);
    auto it = impl_->exits.find(encoder);
    return it == impl_->exits.end() ? std::nullopt : std::optional(it->second);
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
        s->encoders.remove(e);
    }
    impl_->buryDead();
    succeed();
    return true;
}

} // namespace tl::audio
