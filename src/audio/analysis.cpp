#include "audio/analysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <numbers>

namespace tl::audio {

namespace {

struct Tables {
    std::array<float, kFftSize> window{};
    std::array<std::complex<float>, kFftSize / 2> twiddle{};
    std::array<uint16_t, kFftSize> reversed{};

    Tables() {
        for (int i = 0; i < kFftSize; ++i)
            window[static_cast<std::size_t>(i)] =
                static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kFftSize));
        for (int i = 0; i < kFftSize / 2; ++i)
            twiddle[static_cast<std::size_t>(i)] =
                std::polar(1.0f, static_cast<float>(-2.0 * std::numbers::pi * i / kFftSize));
        int bits = 0;
        while ((1 << bits) < kFftSize)
            ++bits;
        for (int i = 0; i < kFftSize; ++i) {
            int r = 0;
            for (int b = 0; b < bits; ++b)
                if (i & (1 << b))
                    r |= 1 << (bits - 1 - b);
            reversed[static_cast<std::size_t>(i)] = static_cast<uint16_t>(r);
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

} // namespace

void spectrum1024(std::span<const float, kFftSize> mono, std::span<float, kFftSize / 2> out) {
    const Tables& t = tables();
    // The real input as a complex sequence of half the length (even samples real, odd
    // imaginary), one transform of that size, then the two halves taken apart: half the work
    // of a complex transform of the whole. Real and imaginary parts apart: std::complex's
    // product goes through a library call that checks for infinities and NaNs, and its abs
    // through hypot; the visualisation asks for a spectrum 33 times a second.
    constexpr std::size_t kHalf = kFftSize / 2;
    std::array<float, kHalf> re;
    std::array<float, kHalf> im;
    for (std::size_t n = 0; n < kHalf; ++n) {
        const std::size_t r = t.reversed[n] >> 1; // the bit reversal of n in half the bits
        re[r] = mono[2 * n] * t.window[2 * n];
        im[r] = mono[2 * n + 1] * t.window[2 * n + 1];
    }
    // Iterative radix-2 decimation in time; the twiddles of a transform of `len` points are
    // every (kFftSize / len)-th of the full size's.
    for (std::size_t len = 2; len <= kHalf; len <<= 1) {
        const std::size_t half = len / 2;
        const std::size_t step = kFftSize / len;
        for (std::size_t start = 0; start < kHalf; start += len) {
            for (std::size_t k = 0; k < half; ++k) {
                const float wr = t.twiddle[k * step].real();
                const float wi = t.twiddle[k * step].imag();
                const std::size_t a = start + k;
                const std::size_t b = a + half;
                const float br = re[b] * wr - im[b] * wi;
                const float bi = re[b] * wi + im[b] * wr;
                re[b] = re[a] - br;
                im[b] = im[a] - bi;
                re[a] += br;
                im[a] += bi;
            }
        }
    }
    // X[k] = E[k] + W^k O[k], with E = (Z[k] + conj Z[M-k]) / 2 the even samples' transform
    // and O = (Z[k] - conj Z[M-k]) / 2i the odd ones' (Z[M] is Z[0]).
    // A sine of amplitude A centred on bin k gives |X[k]| = A * N/2 * 0.5 (Hann gain).
    constexpr float scale = 4.0f / kFftSize;
    for (std::size_t k = 0; k < kHalf; ++k) {
        const std::size_t j = (kHalf - k) & (kHalf - 1);
        const float er = 0.5f * (re[k] + re[j]);
        const float ei = 0.5f * (im[k] - im[j]);
        const float orr = 0.5f * (im[k] + im[j]);
        const float oi = -0.5f * (re[k] - re[j]);
        const float wr = t.twiddle[k].real();
        const float wi = t.twiddle[k].imag();
        const float xr = er + orr * wr - oi * wi;
        const float xi = ei + orr * wi + oi * wr;
        out[k] = std::sqrt(xr * xr + xi * xi) * scale;
    }
}

uint32_t stereoPeakLevel(std::span<const int16_t> interleaved) {
    int left = 0;
    int right = 0;
    for (std::size_t i = 0; i + 1 < interleaved.size(); i += 2) {
        left = std::max(left, std::abs(static_cast<int>(interleaved[i])));
        right = std::max(right, std::abs(static_cast<int>(interleaved[i + 1])));
    }
    return static_cast<uint32_t>(left) | (static_cast<uint32_t>(right) << 16);
}

} // namespace tl::audio
