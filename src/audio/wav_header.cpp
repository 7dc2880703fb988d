#include "audio/wav_header.h"

#include <cstring>

namespace tl::audio {

namespace {
void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
} // namespace

std::array<uint8_t, 44> wavHeader(uint32_t rate, uint16_t channels, uint16_t bitsPerSample) {
    std::array<uint8_t, 44> h{};
    const uint16_t blockAlign = static_cast<uint16_t>(channels * (bitsPerSample / 8));
    std::memcpy(h.data(), "RIFF", 4);
    put32(h.data() + 4, kWavUnknownSize);
    std::memcpy(h.data() + 8, "WAVE", 4);
    std::memcpy(h.data() + 12, "fmt ", 4);
    put32(h.data() + 16, 16); // fmt chunk size
    put16(h.data() + 20, 1);  // PCM
    put16(h.data() + 22, channels);
    put32(h.data() + 24, rate);
    put32(h.data() + 28, rate * blockAlign);
    put16(h.data() + 32, blockAlign);
    put16(h.data() + 34, bitsPerSample);
    std::memcpy(h.data() + 36, "data", 4);
    put32(h.data() + 40, kWavUnknownSize);
    return h;
}

} // namespace tl::audio
