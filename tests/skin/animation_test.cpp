// The 30 ms tick: spectrum and level sampling, text fade, scrolling, hover fades.

#include "skin/animation.h"
#include "skin/skin_control.h"

#include "skin_fixture.h"

#include <cmath>
#include <limits>

namespace tl {
namespace {

class FakeSource : public VisualSource {
public:
    uint32_t level() override {
        ++levelCalls;
        return packedLevel;
    }
    bool fft(std::span<float, kFftSize> m) override {
        ++fftCalls;
        std::fill(m.begin(), m.end(), fill);
        return available;
    }
    uint32_t packedLevel = 0;
    float fill = 0;
    bool available = true;
    int levelCalls = 0;
    int fftCalls = 0;
};

TEST(Spectrum, MagnitudesToBars) {
    struct Row {
        float magnitude;
        int bar;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const Row& r :
         {Row{0.05f, 10}, Row{0.1f, 20}, Row{0.2f, 20}, Row{-0.05f, 10}, Row{0.0625f, 12},
          Row{0.0703125f, 14}, Row{0.0f, 0}, Row{nan, 7}, Row{inf, 7}, Row{1e30f, 20}}) {
        std::array<int, kMaxSpectrumBars> bars;
        bars.fill(7);
        std::array<float, kFftSize> m{};
        m[static_cast<size_t>(kSpectrumBins[3])] = r.magnitude;
        applySpectrum(bars, m);
        EXPECT_EQ(bars[3], r.bar) << r.magnitude;
        EXPECT_EQ(bars[0], 0); // every bar is overwritten: no peak hold
    }
    // A short buffer leaves the bars it cannot reach.
    std::array<int, kMaxSpectrumBars> bars;
    bars.fill(5);
    const std::array<float, 10> few{0.05f, 0.05f, 0.05f, 0.05f, 0.05f,
                                    0.05f, 0.05f, 0.05f, 0.05f, 0.05f};
    applySpectrum(bars, few);
    EXPECT_EQ(bars[7], 10); // bin 9
    EXPECT_EQ(bars[8], 5);  // bin 10: not in the buffer
}

TEST(Spectrum, Levels) {
    std::array<int, 2> levels{};
    applyLevels(levels, 0x80001234u);
    EXPECT_EQ(levels[0], 0x1234);
    EXPECT_EQ(levels[1], 0x8000);
}

TEST(StripOffset, WrapAndFit) {
    struct Row {
        double offset, text;
        int label;
        double expected;
    };
    for (const Row& r :
         {Row{10, 200, 100, 10}, Row{199.9, 200, 100, 199.9}, Row{200, 200, 100, -100},
          Row{250, 200, 100, -100}, Row{37, 80, 100, 0}, // fits: never moves
          Row{-40, 100, 100, 0},                         // exactly as wide fits too
          Row{-40, 101, 100, -40}}) {
        EXPECT_EQ(stripOffset(r.offset, r.text, r.label), r.expected)
            << r.offset << " " << r.text << " " << r.label;
    }
}

class TickTest : public ::testing::Test {
protected:
    void SetUp() override {
        model.add(test::label("Label3", 1, "song")); // index 0: a text line, no fade
        model.add(test::label("Button1", 105, "play"));
        model.add(test::label("Label2", 106, "next"));
        model.find(u"Label3")->bounds = QRect(0, 0, 50, 10);
        model.find(u"Button1")->bounds = QRect(0, 20, 20, 20);
        model.find(u"Label2")->bounds = QRect(30, 20, 20, 20);
    }
    void tick() { animationTick(values, model, in, &source, elapsed); }

    ControlModel model;
    SkinValues values;
    TickInputs in;
    FakeSource source;
    int elapsed = 12;
};

TEST_F(TickTest, NothingPlayingResetsCountersAndSamplesNothing) {
    values.TextFade = 30;
    values.SpectrumBars[0] = 9;
    tick();
    EXPECT_EQ(values.TextFade, 0);
    EXPECT_EQ(elapsed, 0);
    EXPECT_EQ(values.SpectrumBars[0], 9);
    EXPECT_EQ(source.fftCalls + source.levelCalls, 0);
}

TEST_F(TickTest, PlayingSamplesByKind) {
    in.streamOpen = true;
    values.TextFade = 50;
    source.fill = 0.05f;
    tick();
    EXPECT_EQ(values.TextFade, 49);
    EXPECT_EQ(elapsed, 12);
    EXPECT_EQ(values.SpectrumBars[19], 10);
    EXPECT_EQ(source.levelCalls, 0);

    values.VisualKind = 1;
    source.packedLevel = (1000u << 16) | 2000u;
    tick();
    EXPECT_EQ(values.Levels[0], 2000);
    EXPECT_EQ(values.Levels[1], 1000);
    EXPECT_EQ(source.fftCalls, 1);

    // Kind 2 draws the meter but samples the FFT, so the levels keep their last values.
    values.VisualKind = 2;
    source.packedLevel = 0;
    source.fill = 0.1f;
    tick();
    EXPECT_EQ(values.Levels[0], 2000);
    EXPECT_EQ(values.SpectrumBars[0], 20);

    // No data: the bars stay.
    values.VisualKind = 0;
    source.available = false;
    source.fill = 0;
    tick();
    EXPECT_EQ(values.SpectrumBars[0], 20);
}

TEST_F(TickTest, VideoCountsTheFadeButSamplesNothing) {
    in.videoOpen = true;
    values.TextFade = 3;
    tick();
    EXPECT_EQ(values.TextFade, 2);
    EXPECT_EQ(source.fftCalls + source.levelCalls, 0);
    values.TextFade = 0;
    tick();
    EXPECT_EQ(values.TextFade, 0);
}

TEST_F(TickTest, ScrollingAdvancesOrResets) {
    in.scrollInfo = true;
    in.scrollTitle = false;
    values.SongScroll = 30;
    for (int i = 0; i < 10; ++i) {
        tick();
    }
    EXPECT_NEAR(values.InfoScroll, 7.0, 1e-9);
    EXPECT_EQ(values.SongScroll, 0.0);
    in.scrollInfo = false;
    tick();
    EXPECT_EQ(values.InfoScroll, 0.0);
}

TEST_F(TickTest, HoverFadeCountsDownOnlyWhileThePointerIsOutside) {
    values.HoverFade[1] = 100; // Button1
    values.HoverFade[0] = 100; // a text line has no fade countdown
    in.cursor = QPoint(100, 100);
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        tick();
        seen.push_back(values.HoverFade[1]);
    }
    EXPECT_EQ(seen, (std::vector<int>{90, 80, 70, 60}));
    in.cursor = QPoint(5, 25); // back over the button: the value holds
    tick();
    EXPECT_EQ(values.HoverFade[1], 60);
    in.cursor.reset(); // pointer elsewhere
    for (int i = 0; i < 10; ++i) {
        tick();
    }
    EXPECT_EQ(values.HoverFade[1], 0);
    EXPECT_EQ(values.HoverFade[0], 100);
    EXPECT_EQ(values.hoverFade(kHoverFadeCount), nullptr);
    EXPECT_EQ(values.hoverFadeOf(-1), 0);
}

} // namespace
} // namespace tl
