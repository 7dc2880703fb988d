#include "audio/output.h"

#include "audio/stage_log.h"

#include <SDL.h>

#include <algorithm>
#include <system_error>

namespace tl::audio::detail {

namespace {

// SDL keeps an error buffer for every thread that calls it and frees it by itself only on
// threads SDL created. Ours (the player's stream workers, the device closers, any caller of
// the engine) free theirs when they end.
void freeSdlStateAtThreadExit() {
    struct Free {
        ~Free() { SDL_TLSCleanup(); }
    };
    thread_local Free atExit;
    (void)atExit;
}

} // namespace

ErrorCode Output::init(int rate) {
    freeSdlStateAtThreadExit();
    // SIGINT and SIGTERM belong to the program: SDL would otherwise install handlers that
    // turn them into a quit event nobody reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return ErrorCode::Driver;
    rate_ = rate;
    // Opened once to find out whether there is a device at all; it is closed again until a
    // stream plays (updateDevice).
    const SDL_AudioDeviceID probe = openDevice();
    if (probe == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return ErrorCode::Driver;
    }
    SDL_CloseAudioDevice(probe);
    initialised_ = true;
    return ErrorCode::Ok;
}

void Output::close() {
    if (!initialised_)
        return;
    {
        std::lock_guard deviceLock(deviceMutex_);
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
            device_ = 0;
        }
        joinClosers(true); // SDL's audio must outlive every device
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// Closing a device can take far longer than a stop may: SDL's PulseAudio backend waits
// about 1.5 s while the server plays out what it holds. So the device is paused here (once
// this returns the callback no longer runs, and a device opened next cannot share the mix
// with it) and closed on a thread of its own. deviceMutex_ held.
void Output::closeLater(uint32_t device) {
    SDL_PauseAudioDevice(device, 1);
    joinClosers(false);
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
        closers_.push_back({std::thread([device, done] {
                                freeSdlStateAtThreadExit();
                                SDL_CloseAudioDevice(device);
                                *done = true;
                            }),
                            done});
    } catch (const std::system_error&) {
        SDL_CloseAudioDevice(device); // no thread to spare: close it here
    }
}

// Joins the closers that have finished, or all of them. deviceMutex_ held.
void Output::joinClosers(bool all) {
    std::erase_if(closers_, [all](Closer& c) {
        if (!all && !*c.done)
            return false;
        c.thread.join();
        return true;
    });
}

void Output::prepare(const std::shared_ptr<Stream>& s) {
    {
        std::lock_guard lock(outputMutex_);
        if (std::find(playing_.begin(), playing_.end(), s) != playing_.end() ||
            std::find(preparing_.begin(), preparing_.end(), s) != preparing_.end())
            return;
        preparing_.push_back(s);
    }
    updateDevice();
}

void Output::add(const std::shared_ptr<Stream>& s) {
    {
        std::lock_guard lock(outputMutex_);
        std::erase(preparing_, s);
        if (std::find(playing_.begin(), playing_.end(), s) == playing_.end())
            playing_.push_back(s);
    }
    updateDevice();
}

void Output::remove(const std::shared_ptr<Stream>& s) {
    {
        std::lock_guard lock(outputMutex_);
        std::erase(playing_, s);
        std::erase(preparing_, s);
    }
    updateDevice();
}

uint32_t Output::openDevice() {
    SDL_AudioSpec want{};
    want.freq = rate_;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    // 1024 frames (23 ms) a callback. 2048 would halve the audio thread's wake-ups, but with
    // PulseAudio the callback's size sets the stream's latency, and the first audio was then
    // heard about 0.2 s later on average and up to 2 s later at times.
    want.samples = 1024;
    want.callback = &Output::audioCallback;
    want.userdata = this;
    SDL_AudioSpec have{};
    return SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
}

// The output device is open only while some stream plays or is about to: a paused SDL
// device still writes silence to the sound server, so an idle player closes it instead.
// Called after every change of `playing_` and `preparing_`; it decides from the lists'
// current state, so concurrent callers always leave the device matching them: closed when
// both are empty, paused while streams only prepare, running while one plays. Never called
// with outputMutex_ held (SDL takes its device lock around the callback, which takes
// outputMutex_).
void Output::updateDevice() {
    freeSdlStateAtThreadExit();
    std::lock_guard deviceLock(deviceMutex_);
    if (!initialised_) {
        return;
    }
    bool playing = false;
    bool preparing = false;
    {
        std::lock_guard lock(outputMutex_);
        playing = !playing_.empty();
        preparing = !preparing_.empty();
    }
    if (!playing && !preparing) {
        if (device_ != 0) {
            closeLater(device_);
            device_ = 0;
        }
        return;
    }
    if (device_ == 0) {
        device_ = openDevice(); // opens paused; a device that went away leaves it silent
        if (device_ == 0 && !closers_.empty()) {
            // Drivers that allow one device at a time (SDL's dummy) refuse while the last one
            // is still closing.
            joinClosers(true);
            device_ = openDevice();
        }
        if (device_ != 0) {
            markStage("device_open");
        }
    }
    if (device_ != 0) {
        SDL_PauseAudioDevice(device_, playing ? 0 : 1);
    }
}

// SDL's audio thread mixes every playing stream.
void Output::audioCallback(void* userdata, uint8_t* out, int length) {
    Output& o = *static_cast<Output*>(userdata);
    const std::size_t frames = static_cast<std::size_t>(length) / 4;
    auto* dst = reinterpret_cast<int16_t*>(out);
    std::lock_guard lock(o.outputMutex_);
    if (o.mix_.size() < frames * 2)
        o.mix_.resize(frames * 2);
    if (o.scratch_.size() < frames * 2)
        o.scratch_.resize(frames * 2);
    std::fill_n(o.mix_.begin(), frames * 2, 0);
    const int volume = o.volume_.load();
    for (const auto& s : o.playing_) {
        std::size_t got = 0;
        bool refill = false;
        {
            std::lock_guard pcmLock(s->pcmMutex);
            got = s->pcm.read(reinterpret_cast<uint8_t*>(o.scratch_.data()), frames * 4) / 4;
            refill = s->pcm.space() >= kPcmRefillBytes;
        }
        if (refill) // the decoder waits for that much room (or for play/stop, told elsewhere)
            s->pcmCv.notify_all();
        if (got < frames)
            s->underrunFrames += frames - got;
        if (got > 0 && stageLogEnabled())
            markStageOnce("first_output");
        std::fill(o.scratch_.begin() + static_cast<std::ptrdiff_t>(got * 2),
                  o.scratch_.begin() + static_cast<std::ptrdiff_t>(frames * 2), int16_t{0});
        s->pushHistory(o.scratch_.data(), frames);
        for (std::size_t i = 0; i < frames * 2; ++i)
            o.mix_[i] += o.scratch_[i] * volume / 100;
    }
    for (std::size_t i = 0; i < frames * 2; ++i)
        dst[i] = static_cast<int16_t>(std::clamp(o.mix_[i], -32768, 32767));
}

} // namespace tl::audio::detail
