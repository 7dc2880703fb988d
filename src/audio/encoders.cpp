#include "audio/encoders.h"

#include "audio/wav_header.h"

#include <algorithm>

namespace tl::audio::detail {

namespace {
constexpr std::size_t kEncoderQueueBytes = 44100 * 4 * 4; // 4 s per encoder
}

std::shared_ptr<EncoderEntry> startEncoder(const std::vector<std::string>& argv, int rate,
                                           bool paused) {
    const auto header = wavHeader(static_cast<uint32_t>(rate), 2, 16);
    auto process = EncoderProcess::start(argv, header, kEncoderQueueBytes);
    if (!process)
        return nullptr;
    process->setPaused(paused);
    auto entry = std::make_shared<EncoderEntry>();
    entry->process = std::move(process);
    return entry;
}

void EncoderSet::feed(int64_t packetPos, std::span<const uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    const uint64_t pos = packetPos >= 0 ? static_cast<uint64_t>(packetPos) : decodedPos_;
    decodedPos_ = pos;
    std::erase_if(list_, [&](const std::shared_ptr<EncoderEntry>& e) {
        if (e->process->finished())
            return true; // it has gone on its own (killed, disk full)
        if (pos >= e->stopAt) {
            e->process->stop(); // handed over: its song has ended
            return true;
        }
        if (pos >= e->startAt)
            e->process->push(bytes);
        return false;
    });
}

void EncoderSet::attach(const std::shared_ptr<EncoderEntry>& entry,
                        const std::function<bool()>& ended) {
    std::lock_guard lock(mutex_);
    if (ended())
        entry->process->stop(); // the encoder ends with its stream
    else
        list_.push_back(entry);
}

bool EncoderSet::handOver(const std::shared_ptr<EncoderEntry>& from,
                          const std::shared_ptr<EncoderEntry>& to, uint64_t at) {
    std::lock_guard lock(mutex_);
    const bool exact = at != kNoPosition && at > decodedPos_;
    if (exact) {
        if (from)
            from->stopAt = at;
        if (to)
            to->startAt = at;
    } else if (from) {
        std::erase(list_, from);
    }
    return exact;
}

void EncoderSet::remove(const std::shared_ptr<EncoderEntry>& entry) {
    std::lock_guard lock(mutex_);
    std::erase(list_, entry);
}

void EncoderSet::stopAll() {
    std::lock_guard lock(mutex_);
    for (auto& e : list_)
        e->process->stop();
    list_.clear();
}

} // namespace tl::audio::detail
