#pragma once
// The arithmetic of the player window's 30 ms animation tick and of the visualisation: spectrum
// bars from FFT magnitudes, the two-channel level meter, text scroll and fade counters, hover
// fades. Pure functions; the player window's timer calls animationTick() and then refreshes.

#include "skin/theme.h"

#include <QPoint>
#include <QRect>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace tl {

class ControlModel;

// The animated values of a compositor, written by the tick and by the player window, read by
// Render. UI thread only.
struct SkinValues {
    int TextFade = 0;      // text fade-in counter; 0 draws the strip texts opaque
    double InfoScroll = 0; // scroll offsets of the two strips, pixels
    double SongScroll = 0;
    std::array<int, kMaxSpectrumBars> SpectrumBars{}; // 0..20
    std::array<int, 2> Levels{};                      // left, right; 0..32768
    std::array<int, kHoverFadeCount> HoverFade{};     // by component index; 0..100
    uint8_t VisualKind = 0;                           // 0 spectrum, else level meter

    // The fade of a component index; nullptr when the index has none.
    int* hoverFade(int componentIndex) {
        return componentIndex >= 0 && componentIndex < kHoverFadeCount
                   ? &HoverFade[static_cast<size_t>(componentIndex)]
                   : nullptr;
    }
    int hoverFadeOf(int componentIndex) const {
        return componentIndex >= 0 && componentIndex < kHoverFadeCount
                   ? HoverFade[static_cast<size_t>(componentIndex)]
                   : 0;
    }
};

inline constexpr int kFftSize = 512; // magnitudes of a 1024-sample FFT
inline constexpr std::array<int, kMaxSpectrumBars> kSpectrumBins = {
    2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 17, 19, 21, 23, 25, 27, 30};
inline constexpr double kScrollStep = 0.7; // pixels per tick
inline constexpr int kHoverFadeStep = 10;
inline constexpr int kTextFadeStart = 50; // ticks of the text fade-in

// Bars from FFT magnitudes: bar i := nearest(|magnitude[bin i]| * 200), at most 20; a magnitude
// that is not finite leaves the bar as it was. A short buffer leaves the bars it cannot reach.
void applySpectrum(std::span<int, kMaxSpectrumBars> bars, std::span<const float> magnitudes);
// Levels from the engine's packed value: left in the low 16 bits, right in the high 16 bits.
void applyLevels(std::span<int, 2> levels, uint32_t packed);

// The rectangles the visualisation fills. Spectrum bar i with value 0..20; an empty rectangle
// for a zero-height bar.
QRect spectrumBarRect(const VisualSettings& v, int index, int barValue);
// Level bar of channel 0 (left, upper) or 1 (right) for a level 0..32768.
QRect levelBarRect(const VisualSettings& v, int channel, int level);
// The click area that switches the visualisation kind: (x, y) to (x + (w + space) * count, y + h),
// right and bottom edges outside.
bool visualToggleHit(const VisualSettings& v, QPoint point);

// Strip text: the offset after the wrap and fit rules. An offset at or past the text's width
// restarts at -labelWidth (re-entering from the right edge); a text that fits does not move.
double stripOffset(double offset, double textWidth, int labelWidth);
// Alpha of strip text for a fade counter: 255 when the counter is 0 or less, else
// (255 - 5 * counter) modulo 256 (a counter of 50 gives 5).
int textFadeAlpha(int textFade);

// What the tick reads from outside the compositor.
struct TickInputs {
    bool streamOpen = false; // a stream handle is open
    bool videoOpen = false;  // a video station plays
    bool scrollInfo = true;
    bool scrollTitle = true;
    std::optional<QPoint> cursor; // in the window's client coordinates; none when unknown
};

// The audio engine's analysis, asked only for what the visualisation kind needs.
class VisualSource {
public:
    virtual ~VisualSource() = default;
    virtual uint32_t level() = 0;
    // Fills magnitudes (kFftSize entries); false when no data is available.
    virtual bool fft(std::span<float, kFftSize> magnitudes) = 0;
};

// One tick: hover fades of image buttons the cursor is not over count down by 10; while
// something plays the text fade counts down and the visualisation is sampled (levels for kind 1,
// the FFT for any other kind); with nothing playing the text fade and elapsedSeconds are reset;
// the scroll offsets advance by 0.7 or reset to 0. The caller refreshes afterwards.
void animationTick(SkinValues& values, const ControlModel& controls, const TickInputs& in,
                   VisualSource* source, int& elapsedSeconds);

} // namespace tl
