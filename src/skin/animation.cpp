#include "skin/animation.h"

#include "common/numeric.h"
#include "skin/skin_control.h"

#include <cmath>

namespace tl {

void applySpectrum(std::span<int, kMaxSpectrumBars> bars, std::span<const float> magnitudes) {
    for (size_t i = 0; i < bars.size(); ++i) {
        const auto bin = static_cast<size_t>(kSpectrumBins[i]);
        if (bin >= magnitudes.size()) {
            continue;
        }
        const double v = std::fabs(static_cast<double>(magnitudes[bin])) * 200.0;
        if (!std::isfinite(v)) {
            continue;
        }
        const int n = roundHalfEven(v);
        bars[i] = n > kMaxSpectrumBars ? kMaxSpectrumBars : n;
    }
}

void applyLevels(std::span<int, 2> levels, uint32_t packed) {
    levels[0] = static_cast<int>(packed & 0xFFFFu);
    levels[1] = static_cast<int>(packed >> 16);
}

QRect spectrumBarRect(const VisualSettings& v, int index, int barValue) {
    const int b = roundHalfEven(static_cast<double>(barValue) * v.h / 20.0);
    return QRect(v.x + index * (v.w + v.space), v.y + v.h - b, v.w, b);
}

QRect levelBarRect(const VisualSettings& v, int channel, int level) {
    const int length = roundHalfEven(static_cast<double>(level) * 8.0 * (v.w + v.space) / 32500.0);
    const int top = v.y + channel * roundHalfEven(v.h / 2.0 + v.space);
    return QRect(v.x, top, length, roundHalfEven((v.h - v.space) / 2.0));
}

bool visualToggleHit(const VisualSettings& v, QPoint p) {
    const long long right = static_cast<long long>(v.x) +
                            static_cast<long long>(v.w + v.space) * static_cast<long long>(v.count);
    const long long bottom = static_cast<long long>(v.y) + v.h;
    return p.x() >= v.x && p.x() < right && p.y() >= v.y && p.y() < bottom;
}

double stripOffset(double offset, double textWidth, int labelWidth) {
    if (offset >= textWidth) {
        offset = -static_cast<double>(labelWidth);
    }
    if (labelWidth >= textWidth) {
        offset = 0;
    }
    return offset;
}

int textFadeAlpha(int textFade) {
    if (textFade <= 0) {
        return 255;
    }
    const long long a = (255LL - 5LL * textFade) % 256;
    return static_cast<int>(a < 0 ? a + 256 : a);
}

void animationTick(SkinValues& values, const ControlModel& controls, const TickInputs& in,
                   VisualSource* source, int& elapsedSeconds) {
    // 1. Hover fades of image buttons the cursor has left.
    for (const SkinControl& c : controls.controls()) {
        if (c.kind != SkinControlKind::Label || c.tag <= 100) {
            continue;
        }
        const bool inside = in.cursor && c.bounds.contains(*in.cursor);
        int* fade = values.hoverFade(c.componentIndex);
        if (!inside && fade && *fade > 0) {
            *fade = std::max(0, *fade - kHoverFadeStep);
        }
    }

    // 2. Text fade and the visualisation while something plays.
    if (in.streamOpen || in.videoOpen) {
        if (values.TextFade > 0) {
            --values.TextFade;
        }
        if (!in.videoOpen && source) {
            if (values.VisualKind == 1) {
                applyLevels(values.Levels, source->level());
            } else {
                std::array<float, kFftSize> magnitudes{};
                if (source->fft(magnitudes)) {
                    applySpectrum(values.SpectrumBars, magnitudes);
                }
            }
        }
    } else {
        elapsedSeconds = 0;
        values.TextFade = 0;
    }

    // 3. Scrolling.
    values.InfoScroll = in.scrollInfo ? values.InfoScroll + kScrollStep : 0.0;
    values.SongScroll = in.scrollTitle ? values.SongScroll + kScrollStep : 0.0;
}

} // namespace tl
