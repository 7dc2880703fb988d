#pragma once
// Internal to the engine: the encoders fed from one stream's decoded samples.
//
// Threads: the decoder thread calls feed(); the engine's public methods (any thread) attach,
// hand over and remove encoders. Each set's own mutex guards its list and positions. The
// encoder processes have their own feeding threads (EncoderProcess), so feed() never waits
// for an encoder.

#include "audio/encoder_process.h"
#include "audio/engine.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace tl::audio::detail {

inline constexpr uint64_t kNoPosition = UINT64_MAX;

struct EncoderEntry {
    EncoderHandle id = 0;
    StreamHandle stream = 0;
    std::unique_ptr<EncoderProcess> process;
    // Stream byte positions (guarded by the owning EncoderSet's mutex): the encoder gets the
    // samples decoded from bytes at startAt and after, and ends at the first frame at stopAt.
    uint64_t startAt = 0;
    uint64_t stopAt = kNoPosition;
};

// Starts `argv` with a WAV header for `rate` Hz stereo 16-bit; nullptr when it cannot start.
std::shared_ptr<EncoderEntry> startEncoder(const std::vector<std::string>& argv, int rate,
                                           bool paused);

class EncoderSet {
public:
    // Decoder thread: hands `bytes`, decoded from the packet at stream byte `packetPos` (-1
    // when unknown: after the last one), to every encoder whose part of the stream it is;
    // ends the encoders whose song ended before it.
    void feed(int64_t packetPos, std::span<const uint8_t> bytes);
    // Adds `entry` unless `ended()` (asked under the set's lock) says the decoder has
    // finished; then the encoder is stopped at once. A decoder that finishes after the check
    // stops it through stopAll().
    void attach(const std::shared_ptr<EncoderEntry>& entry, const std::function<bool()>& ended);
    // `from` ends and `to` begins at stream byte `at` when that byte has not been decoded
    // yet (true); otherwise `from` leaves the set at once (false; the caller stops it).
    // Either may be null: only the other one's end or start is placed.
    bool handOver(const std::shared_ptr<EncoderEntry>& from,
                  const std::shared_ptr<EncoderEntry>& to, uint64_t at);
    void remove(const std::shared_ptr<EncoderEntry>& entry);
    void stopAll();

private:
    std::mutex mutex_;
    std::vector<std::shared_ptr<EncoderEntry>> list_;
    uint64_t decodedPos_ = 0; // byte position of the last frame handed out
};

} // namespace tl::audio::detail
