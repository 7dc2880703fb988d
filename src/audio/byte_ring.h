#pragma once
// A fixed-capacity FIFO of bytes. Not thread-safe: the owner serialises access (the engine
// guards each ring with its stream's mutex). Memory is allocated once, at construction.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tl::audio {

class ByteRing {
public:
    explicit ByteRing(std::size_t capacity);

    std::size_t capacity() const { return data_.size(); }
    std::size_t size() const { return size_; }
    std::size_t space() const { return data_.size() - size_; }
    bool empty() const { return size_ == 0; }
    bool full() const { return size_ == data_.size(); }

    // Copies up to `length` bytes in; returns how many fit.
    std::size_t write(const uint8_t* bytes, std::size_t length);
    // Copies up to `length` bytes out, oldest first; returns how many were taken.
    std::size_t read(uint8_t* bytes, std::size_t length);
    // Drops up to `length` bytes; returns how many were dropped.
    std::size_t discard(std::size_t length);
    void clear();

private:
    std::vector<uint8_t> data_;
    std::size_t head_ = 0; // next byte to read
    std::size_t size_ = 0;
};

} // namespace tl::audio
