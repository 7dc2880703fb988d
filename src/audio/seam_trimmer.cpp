#include "audio/seam_trimmer.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace tl::audio {

namespace {

// Where the first MPEG audio or ADTS frame header starts (11 sync bits, a bit-rate index that
// is not "bad"), or 0 when the opening bytes hold none.
std::size_t firstFrame(std::span<const uint8_t> bytes) {
    const std::size_t end = std::min(bytes.size(), SeamTrimmer::kSyncSearch);
    for (std::size_t i = 0; i + 2 < end; ++i)
        if (bytes[i] == 0xFF && (bytes[i + 1] & 0xE0) == 0xE0 && (bytes[i + 2] >> 4) != 0xF)
            return i;
    return 0;
}

} // namespace

SeamTrimmer::SeamTrimmer(std::size_t history) : capacity_(std::max(history, kKey * 2)) {}

void SeamTrimmer::remember(std::span<const uint8_t> bytes) {
    history_.insert(history_.end(), bytes.begin(), bytes.end());
    if (history_.size() > capacity_ * 2)
        history_.erase(history_.begin(),
                       history_.begin() + static_cast<std::ptrdiff_t>(history_.size() - capacity_));
}

bool SeamTrimmer::pass(std::span<const uint8_t> bytes, const Sink& out) {
    if (bytes.empty())
        return true;
    remember(bytes);
    return out(bytes);
}

void SeamTrimmer::finish(std::size_t cut) {
    state_ = State::Passing;
    held_.clear();
    held_.shrink_to_fit();
    dropped_ = 0;
    seam_.decided = true;
    seam_.cutBytes = cut;
}

bool SeamTrimmer::beginSeam(const Sink& out) {
    const bool ok = flush(out);
    seam_ = Seam{false, 0, seam_.seams + 1};
    if (history_.size() > capacity_) // match against the newest capacity_ bytes only
        history_.erase(history_.begin(),
                       history_.begin() + static_cast<std::ptrdiff_t>(history_.size() - capacity_));
    if (history_.empty())
        finish(0); // nothing was received before: nothing can repeat
    else
        state_ = State::Collecting;
    return ok;
}

bool SeamTrimmer::flush(const Sink& out) {
    if (state_ == State::Collecting)
        return decide(true, out);
    if (state_ == State::Dropping)
        finish(dropped_); // everything the connection brought was a repeat
    return true;
}

bool SeamTrimmer::feed(std::span<const uint8_t> bytes, const Sink& out) {
    if (state_ == State::Collecting) {
        held_.insert(held_.end(), bytes.begin(), bytes.end());
        return decide(false, out);
    }
    if (state_ == State::Dropping) {
        std::size_t i = 0;
        while (i < bytes.size() && matchPos_ < history_.size() && bytes[i] == history_[matchPos_]) {
            ++i;
            ++matchPos_;
        }
        dropped_ += i;
        if (i == bytes.size() && matchPos_ < history_.size())
            return true; // still inside the overlap
        // The overlap ends where the tail ends, or (a join that was not one after all) where
        // the bytes first differ: what differs is new and goes on.
        finish(dropped_);
        return pass(bytes.subspan(i), out);
    }
    return pass(bytes, out);
}

bool SeamTrimmer::decide(bool final, const Sink& out) {
    const std::span<const uint8_t> held(held_);
    const std::size_t sync = firstFrame(held);
    std::size_t key = kKey;
    if (held.size() < sync + kKey) {
        if (!final && held.size() < kSyncSearch + kKey)
            return true; // not enough yet
        key = held.size() > sync ? held.size() - sync : 0;
        if (key < kMinKey) {
            const std::vector<uint8_t> bytes = std::move(held_);
            finish(0);
            return pass(bytes, out);
        }
    }
    const std::span<const uint8_t> tail(history_);
    const auto* const keyBegin = held.data() + sync;
    const std::boyer_moore_horspool_searcher searcher(keyBegin, keyBegin + key);

    // The longest overlap whose every byte agrees with what this connection has brought.
    std::size_t start = tail.size();
    std::size_t tried = 0;
    for (auto it = tail.begin(); tried < kMaxCandidates;) {
        const auto [found, foundEnd] = searcher(it, tail.end());
        if (found == tail.end())
            break;
        it = found + 1;
        const auto q = static_cast<std::size_t>(found - tail.begin());
        if (q < sync)
            continue;
        ++tried;
        const std::size_t p = q - sync;
        const std::size_t n = std::min(tail.size() - p, held.size());
        if (std::memcmp(tail.data() + p, held.data(), n) == 0) {
            start = p;
            break;
        }
    }
    if (start == tail.size()) {
        const std::vector<uint8_t> bytes = std::move(held_);
        finish(0);
        return pass(bytes, out);
    }
    const std::size_t overlap = tail.size() - start;
    if (overlap <= held.size()) {
        const std::vector<uint8_t> bytes = std::move(held_);
        finish(overlap);
        return pass(std::span(bytes).subspan(overlap), out);
    }
    // The overlap goes on past what has arrived: drop as it comes, while it agrees.
    dropped_ = held.size();
    matchPos_ = start + held.size();
    held_.clear();
    state_ = State::Dropping;
    if (final)
        finish(dropped_);
    return true;
}

} // namespace tl::audio
