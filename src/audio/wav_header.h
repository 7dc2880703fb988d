#pragma once
// The header written to an encoder's standard input before the samples: a canonical
// 44-byte RIFF/WAVE header for 16-bit PCM whose RIFF and data sizes are 0xFFFFFFFF
// ("unknown, read to the end"), a form both lame and oggenc accept for piped input.

#include <array>
#include <cstdint>

namespace tl::audio {

inline constexpr uint32_t kWavUnknownSize = 0xFFFFFFFFu;

std::array<uint8_t, 44> wavHeader(uint32_t rate, uint16_t channels, uint16_t bitsPerSample);

} // namespace tl::audio
