#pragma once
// Small numeric helpers shared by the skin engine and the dialogs.

#include <cstdint>

namespace tl {

// Round to the nearest integer, ties to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
int roundHalfEven(double value);

// Colours are stored as 0x00BBGGRR (red in the lowest byte); drawing uses 0xAARRGGBB.
constexpr uint32_t colorRefToArgb(uint32_t colorRef, uint8_t alpha = 0xFF) {
    const uint32_t r = colorRef & 0xFFu;
    const uint32_t g = (colorRef >> 8) & 0xFFu;
    const uint32_t b = (colorRef >> 16) & 0xFFu;
    return (uint32_t{alpha} << 24) | (r << 16) | (g << 8) | b;
}

constexpr uint32_t argbToColorRef(uint32_t argb) {
    const uint32_t r = (argb >> 16) & 0xFFu;
    const uint32_t g = (argb >> 8) & 0xFFu;
    const uint32_t b = argb & 0xFFu;
    return (b << 16) | (g << 8) | r;
}

} // namespace tl
