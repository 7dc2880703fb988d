#pragma once
// Internal to the engine: the output device and the mixer.
//
// Threads: SDL's audio thread runs the callback, which mixes the PCM rings of every playing
// stream, applies the global volume and records each stream's history for the analysis.
// The list of playing streams is guarded by outputMutex; the device (open only while some
// stream plays or prepares to) by deviceMutex, which is never taken with outputMutex held because
// SDL holds its device lock around the callback. The other methods may be called from any thread.

#include "audio/stream_state.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tl::audio::detail {

class Output {
public:
    // Starts SDL's audio and checks once that a device opens at `rate` Hz stereo. Ok, Driver.
    ErrorCode init(int rate);
    bool initialised() const { return initialised_; }
    int rate() const { return rate_; }
    // Closes the device and SDL's audio; the engine's last step.
    void close();

    void setVolume(int volume) { volume_ = volume; }
    int volume() const { return volume_; }

    // Opens the device (paused) for a stream that is still connecting, so that play() finds
    // it ready: called on the opening thread while the network and decoder threads work, it
    // takes the device's start-up off the time to first audio. Until add() or remove() the
    // stream keeps the device open.
    void prepare(const std::shared_ptr<Stream>& s);
    // Starts mixing the stream (once) and opens the device when it was closed.
    void add(const std::shared_ptr<Stream>& s);
    // Stops mixing (or preparing for) the stream and closes the device when no other stream
    // plays or prepares.
    void remove(const std::shared_ptr<Stream>& s);

private:
    uint32_t openDevice();
    void updateDevice();
    void closeLater(uint32_t device);
    void joinClosers(bool all);
    static void audioCallback(void* userdata, uint8_t* out, int length);

    std::atomic<bool> initialised_{false};
    std::atomic<int> volume_{100};
    int rate_ = kOutputRate;
    uint32_t device_ = 0; // open only while a stream plays; guarded by deviceMutex_
    std::mutex deviceMutex_;
    // Devices being closed, each on a thread of its own (see closeLater); guarded by
    // deviceMutex_, joined by close().
    struct Closer {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Closer> closers_;

    // Streams the output callback mixes; guarded by outputMutex_.
    std::mutex outputMutex_;
    std::vector<std::shared_ptr<Stream>> playing_;
    std::vector<std::shared_ptr<Stream>> preparing_; // opening, not yet playing
    std::vector<int32_t> mix_;
    std::vector<int16_t> scratch_;
};

} // namespace tl::audio::detail
