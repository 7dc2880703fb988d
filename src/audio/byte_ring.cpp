#include "audio/byte_ring.h"

#include <algorithm>
#include <cstring>

namespace tl::audio {

ByteRing::ByteRing(std::size_t capacity) : data_(std::max<std::size_t>(capacity, 1)) {}

std::size_t ByteRing::write(const uint8_t* bytes, std::size_t length) {
    const std::size_t n = std::min(length, space());
    if (n == 0) {
        return 0; // `bytes` may be null then, which memcpy must never see
    }
    std::size_t tail = (head_ + size_) % data_.size();
    const std::size_t first = std::min(n, data_.size() - tail);
    std::memcpy(data_.data() + tail, bytes, first);
    std::memcpy(data_.data(), bytes + first, n - first);
    size_ += n;
    return n;
}

std::size_t ByteRing::read(uint8_t* bytes, std::size_t length) {
    const std::size_t n = std::min(length, size_);
    if (n == 0) {
        return 0;
    }
    const std::size_t first = std::min(n, data_.size() - head_);
    std::memcpy(bytes, data_.data() + head_, first);
    std::memcpy(bytes + first, data_.data(), n - first);
    head_ = (head_ + n) % data_.size();
    size_ -= n;
    return n;
}

std::size_t ByteRing::discard(std::size_t length) {
    const std::size_t n = std::min(length, size_);
    head_ = (head_ + n) % data_.size();
    size_ -= n;
    return n;
}

void ByteRing::clear() {
    head_ = 0;
    size_ = 0;
}

} // namespace tl::audio
