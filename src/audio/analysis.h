#pragma once
// Pure analysis of output samples: the 1024-point spectrum and the channel peak levels the
// visualisation polls. No state, no allocation on the calling path.

#include <cstdint>
#include <span>

namespace tl::audio {

inline constexpr int kFftSize = 1024;

// `mono` holds 1024 samples in -1..1 (oldest first). Applies a Hann window and writes the
// magnitudes of bins 0..511, scaled so that a full-scale sine centred on a bin gives about 1.0.
void spectrum1024(std::span<const float, kFftSize> mono, std::span<float, kFftSize / 2> out);

// Peak of each channel of interleaved stereo 16-bit frames, as 0..32768 with the left
// channel in the low 16 bits and the right in the high 16 bits.
uint32_t stereoPeakLevel(std::span<const int16_t> interleaved);

} // namespace tl::audio
