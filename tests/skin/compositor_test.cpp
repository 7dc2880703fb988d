// The compositor rendered offscreen from small generated themes: frame rules, text strips,
// fades, the visualisation, album art and clipping.

#include "skin/alpha_mask.h"
#include "skin/animation.h"
#include "skin/compositor.h"

#include "skin_fixture.h"

#include <cmath>

namespace tl {
namespace {

using test::kDisabled;
using test::kHover;
using test::kNormal;
using test::kPressed;

using test::near;

const QColor kBackground(40, 40, 40);

class CompositorTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureGuiApp();
        dir.image(QStringLiteral("background.png"), test::solid(200, 60, kBackground));
        dir.image(QStringLiteral("5.png"),
                  test::solidStrip(24, 20, {kNormal, kHover, kPressed, kDisabled}));
    }
    void load(const char* ini) {
        dir.ini(ini);
        about.LoadTheme(dir.path(), false);
    }
    QColor at(int x, int y) const { return about.surface().pixelColor(x, y); }
    SkinControl& control(const char* name) { return *model.find(QString::fromLatin1(name)); }

    test::ThemeDir dir;
    ControlModel model;
    TMyAbout about{model, SkinRole::Player};
};

TEST(ButtonFrameRule, Table) {
    struct Row {
        bool pressed, enabled, under;
        int fade;
        int frame, crossFade;
    };
    for (const Row& r : {Row{false, true, false, 0, 0, 0}, Row{false, true, true, 0, 1, 0},
                         Row{true, false, false, 0, 2, 0}, // pressed even when disabled
                         Row{true, true, true, 80, 2, 0},  // pressed beats hover
                         Row{false, false, true, 0, 3, 0}, // disabled even under the pointer
                         Row{false, false, false, 60, 3, 0}, Row{false, true, false, 50, 0, 50},
                         Row{false, true, true, 50, 1, 0}}) { // back under the pointer: hover
        const ButtonFrame f = chooseButtonFrame(r.pressed, r.enabled, r.under, r.fade);
        EXPECT_EQ(f.frame, r.frame);
        EXPECT_EQ(f.crossFade, r.crossFade);
    }
}

TEST_F(CompositorTest, ImageButtonFramesByState) {
    model.add(test::label("Button1", 105, "play", "play"));
    load("[General]\nshadowoffset=2\n[play]\nvisible=1\nx=50\ny=20\n");
    SkinControl& b = control("Button1");
    ASSERT_EQ(b.bounds, QRect(50, 20, 20, 16));
    const QPoint inside(55, 25);

    struct Row {
        const char* what;
        bool pressed, enabled, cursorOver;
        int fade;
        QColor expected;
    };
    // Frame 0 at alpha 0.5 over the background, then frame 1 at alpha 0.5 over that.
    const auto mix = [](int p, int q) {
        return (p + q) / 2;
    };
    const QColor half(mix(kHover.red(), mix(kNormal.red(), kBackground.red())),
                      mix(kHover.green(), mix(kNormal.green(), kBackground.green())),
                      mix(kHover.blue(), mix(kNormal.blue(), kBackground.blue())));
    for (const Row& r :
         {Row{"normal", false, true, false, 0, kNormal}, Row{"hover", false, true, true, 0, kHover},
          Row{"pressed and disabled", true, false, false, 0, kPressed},
          Row{"disabled under the pointer", false, false, true, 0, kDisabled},
          Row{"cross-fade at 50", false, true, false, 50, half},
          Row{"cross-fade at 100", false, true, false, 100, kHover}}) {
        b.pressed = r.pressed;
        b.enabled = r.enabled;
        about.HoverFade[static_cast<size_t>(b.componentIndex)] = r.fade;
        about.setCursorPos(r.cursorOver ? std::optional<QPoint>(inside) : std::nullopt);
        ASSERT_TRUE(about.Render(nullptr));
        EXPECT_TRUE(near(at(60, 28), r.expected, 4)) << r.what;
    }
    // The frame is drawn shadowoffset further up and left and is larger by twice that value.
    b.pressed = false;
    b.enabled = true;
    about.HoverFade.fill(0);
    about.setCursorPos(std::nullopt);
    about.Render(nullptr);
    EXPECT_TRUE(near(at(48, 18), kNormal));
    EXPECT_TRUE(near(at(71, 37), kNormal));
    EXPECT_TRUE(near(at(47, 18), kBackground));
    EXPECT_TRUE(near(at(72, 37), kBackground));
}

// Dense screens: "NAME@2x.png" is drawn where it has exactly twice the size of "NAME.png";
// positions stay in window units and the window keeps its size.
TEST_F(CompositorTest, DoubleSizeArtOnDenseScreens) {
    const QColor sharp(0, 200, 200);
    const QColor sharpButton(200, 0, 200);
    model.add(test::label("Button1", 105, "play", "play"));
    struct Row {
        const char* what;
        qreal ratio;
        QSize background2x; // empty: no @2x background
        QColor background;  // expected at window point (10, 10)
        QColor button;      // expected inside the button
    };
    for (const Row& r : {
             Row{"@2x on a dense screen", 2.0, {400, 120}, sharp, sharpButton},
             Row{"ratio 3 still takes @2x", 3.0, {400, 120}, sharp, sharpButton},
             Row{"@2x ignored at 1x", 1.0, {400, 120}, kBackground, kNormal},
             Row{"ratio 1.5 ignores @2x", 1.5, {400, 120}, kBackground, kNormal},
             Row{"@2x of the wrong size is ignored", 2.0, {401, 120}, kBackground, sharpButton},
             Row{"1x art upscaled when no @2x", 2.0, {}, kBackground, sharpButton},
         }) {
        QFile::remove(dir.path() + QStringLiteral("background@2x.png"));
        if (!r.background2x.isEmpty()) {
            dir.image(QStringLiteral("background@2x.png"),
                      test::solid(r.background2x.width(), r.background2x.height(), sharp));
        }
        dir.image(QStringLiteral("5@2x.png"),
                  test::solidStrip(48, 40, {sharpButton, kHover, kPressed, kDisabled}));
        about.setDevicePixelRatio(r.ratio);
        load("[play]\nvisible=1\nx=50\ny=20\n");
        const int k = r.ratio >= 2 ? 2 : 1;
        EXPECT_EQ(about.size(), QSize(200, 60)) << r.what;
        EXPECT_EQ(about.surface().size(), QSize(200, 60) * k) << r.what;
        EXPECT_EQ(control("Button1").bounds, QRect(50, 20, 24, 20)) << r.what;
        EXPECT_TRUE(near(at(10 * k, 10 * k), r.background)) << r.what;
        EXPECT_TRUE(near(at(60 * k, 28 * k), r.button)) << r.what;
        // The shape is in window units whatever the density.
        EXPECT_EQ(alphaMaskRegion(about.surface()).boundingRect(), QRect(0, 0, 200, 60)) << r.what;
    }
    // The built-in theme has its @2x set.
    about.setDevicePixelRatio(2);
    about.LoadTheme(QStringLiteral("/nonexistent/"), false);
    ASSERT_TRUE(about.usingBuiltInTheme());
    EXPECT_EQ(about.surface().size(), about.size() * 2);
    EXPECT_EQ(about.slotImage(5).devicePixelRatio(), 2.0);
}

TEST_F(CompositorTest, ButtonWithoutImageShowsItsCaptionWhiteWhenTargeted) {
    model.add(test::label("closeButton", 181, "close", "XXXX"));
    load("[close]\nvisible=1\nx=10\ny=10\nw=60\nh=30\nFontColor=255\nFontSize=20\n");
    SkinControl& b = control("closeButton");
    const QRect area = b.bounds;
    const auto count = [&](const QColor& c) {
        int n = 0;
        for (int x = area.left(); x <= area.right(); ++x) {
            for (int y = area.top(); y <= area.bottom(); ++y) {
                n += near(at(x, y), c, 10) ? 1 : 0;
            }
        }
        return n;
    };
    about.Render(nullptr);
    EXPECT_GT(count(QColor(255, 0, 0)), 20);
    EXPECT_EQ(count(Qt::white), 0);
    about.Render(&b);
    EXPECT_GT(count(Qt::white), 20);
}

TEST_F(CompositorTest, ControlsOutsideTheWindowAreClipped) {
    model.add(test::label("Button1", 105, "play", "play"));
    model.add(test::label("Label2", 106, "next", ">>"));
    dir.image(QStringLiteral("6.png"), test::solidStrip(24, 20, {kHover, kHover, kHover, kHover}));
    load("[play]\nvisible=1\nx=190\ny=50\n[next]\nvisible=1\nx=-20\ny=-15\n");
    ASSERT_TRUE(about.Render(nullptr));
    EXPECT_EQ(about.surface().size(), QSize(200, 60));
    EXPECT_TRUE(near(at(199, 59), kNormal));
    EXPECT_TRUE(near(at(0, 0), kHover));
    EXPECT_TRUE(near(at(4, 5), kBackground));
}

TEST_F(CompositorTest, AlbumArtIsScaledIntoItsBox) {
    load("[AlbumArt]\nvisible=1\nx=10\ny=5\nw=30\nh=40\n");
    QImage art = test::solid(7, 3, QColor(0, 128, 255));
    art.setPixelColor(6, 2, QColor(0, 128, 255));
    EXPECT_TRUE(about.LoadAlbumArt(art));
    EXPECT_EQ(about.albumArt().size(), QSize(30, 40));
    about.Render(nullptr);
    EXPECT_TRUE(near(at(10, 5), QColor(0, 128, 255)));
    EXPECT_TRUE(near(at(39, 44), QColor(0, 128, 255)));
    EXPECT_TRUE(near(at(40, 44), kBackground));
    EXPECT_TRUE(near(at(39, 45), kBackground));

    about.ClearAlbumArt();
    about.Render(nullptr);
    EXPECT_TRUE(near(at(20, 20), kBackground));
    EXPECT_FALSE(about.LoadAlbumArt(dir.path() + QStringLiteral("missing.jpg")));

    // From files: a large JPEG is decoded to the box, a PNG stored as "image.jpg" is shown, a
    // PNG larger than any screen is refused from its header.
    const struct {
        const char* file;
        const char* format;
        QSize size;
        bool shown;
    } files[] = {{"big.jpg", "JPEG", {3000, 2000}, true},
                 {"image.jpg", "PNG", {50, 50}, true},
                 {"huge.png", "PNG", {9000, 9000}, false}};
    for (const auto& row : files) {
        QImage image(row.size, QImage::Format_Mono);
        image.setColorTable({qRgb(0, 0, 0), qRgb(0, 128, 255)});
        image.fill(1);
        if (QByteArray(row.format) == "JPEG") {
            image = image.convertToFormat(QImage::Format_RGB32);
        }
        const QString path = dir.path() + QString::fromLatin1(row.file);
        ASSERT_TRUE(image.save(path, row.format)) << row.file;
        EXPECT_EQ(about.LoadAlbumArt(path), row.shown) << row.file;
        EXPECT_EQ(about.albumArt().isNull() ? QSize() : about.albumArt().size(),
                  row.shown ? QSize(30, 40) : QSize())
            << row.file;
    }
}

TEST_F(CompositorTest, AlbumArtHiddenByTheTheme) {
    load("[AlbumArt]\nvisible=0\nx=10\ny=5\nw=30\nh=40\n");
    about.LoadAlbumArt(test::solid(4, 4, Qt::green));
    about.Render(nullptr);
    EXPECT_TRUE(near(at(20, 20), kBackground));
}

TEST_F(CompositorTest, RenderOrderTopImageLast) {
    QImage top(200, 60, QImage::Format_ARGB32);
    top.fill(Qt::transparent);
    for (int x = 0; x < 10; ++x) {
        top.setPixelColor(x, 0, Qt::magenta);
    }
    dir.image(QStringLiteral("top.png"), top);
    model.add(test::label("Button1", 105, "play", "play"));
    load("[play]\nvisible=1\nx=0\ny=0\n");
    about.Render(nullptr);
    EXPECT_TRUE(near(at(3, 0), Qt::magenta)); // over the button
    EXPECT_TRUE(near(at(3, 1), kNormal));
    // A background with transparent parts leaves the near-transparent clear colour there.
    QImage shaped(200, 60, QImage::Format_ARGB32);
    shaped.fill(Qt::transparent);
    dir.image(QStringLiteral("background.png"), shaped);
    about.LoadTheme(dir.path(), false);
    EXPECT_EQ(at(150, 50).alpha(), 2);
}

// --- strips -------------------------------------------------------------------------------------

class StripTest : public CompositorTest {
protected:
    void SetUp() override {
        CompositorTest::SetUp();
        QImage clear(200, 60, QImage::Format_ARGB32);
        clear.fill(Qt::transparent); // text alpha can be read straight off the surface
        dir.image(QStringLiteral("background.png"), clear);
        model.add(test::label("Label3", 1, "song", ""));
        model.add(test::label("Label4", 1, "info", ""));
        load("[song]\nvisible=1\nx=20\ny=10\nw=120\nh=20\nFontColor=16777215\nFontSize=14\n"
             "[info]\nvisible=1\nx=20\ny=35\nw=60\nh=20\nFontColor=16777215\nFontSize=14\n");
    }
    QRect songArea() const { return QRect(20, 10, 120, 20); }
};

TEST_F(StripTest, FittingTitleDoesNotMove) {
    control("Label3").caption = QStringLiteral("Hi");
    about.SongScroll = 37.0;
    about.Render(nullptr);
    EXPECT_EQ(about.SongScroll, 0.0);
    const int first = test::firstInkColumn(about.surface(), songArea());
    EXPECT_GE(first, 20);
    EXPECT_LE(first, 23);
}

TEST_F(StripTest, LongTitleMovesAndReentersAtTheLabelWidth) {
    control("Label3").caption =
        QStringLiteral("A title that is much longer than its label can show at once");
    int elapsed = 0;
    TickInputs in;
    in.streamOpen = true;
    // Start with the text entering from the right (offset -100: text begins at x = 120).
    about.SongScroll = -100.0;
    about.Render(nullptr);
    const int before = test::firstInkColumn(about.surface(), songArea());
    for (int i = 0; i < 10; ++i) {
        animationTick(about, model, in, nullptr, elapsed);
        about.Render(nullptr);
    }
    EXPECT_NEAR(about.SongScroll, -93.0, 1e-9);
    const int after = test::firstInkColumn(about.surface(), songArea());
    EXPECT_NEAR(before - after, 7, 1);

    // Once the offset reaches the text's width the text restarts at the label's right edge.
    about.SongScroll = 100000.0;
    about.Render(nullptr);
    EXPECT_EQ(about.SongScroll, -120.0);
    EXPECT_EQ(test::maxAlpha(about.surface(), songArea()), 2); // only the clear colour
    for (int i = 0; i < 20; ++i) {
        animationTick(about, model, in, nullptr, elapsed);
        about.Render(nullptr);
    }
    const int entered = test::firstInkColumn(about.surface(), songArea());
    EXPECT_GE(entered, 20 + 120 - 14 - 1);
    EXPECT_LE(entered, 20 + 120 - 14 + 2);
}

TEST_F(StripTest, StripClipsTheText) {
    control("Label4").caption = QStringLiteral("Information line far wider than sixty pixels");
    about.Render(nullptr);
    // The info strip is 60 x 20: nothing right of it or below it.
    EXPECT_GT(test::maxAlpha(about.surface(), QRect(20, 35, 60, 20)), 200);
    EXPECT_EQ(test::maxAlpha(about.surface(), QRect(80, 35, 60, 20)), 2);
}

TEST_F(StripTest, EmptyInfoIsAnOrdinaryLabel) {
    about.InfoScroll = 12.5;
    about.Render(nullptr);
    EXPECT_EQ(about.InfoScroll, 12.5); // not through the strip: the offset is untouched
}

TEST_F(StripTest, TextFadeAlpha) {
    control("Label3").caption = QStringLiteral("Fade");
    struct Row {
        int fade;
        int low, high;
    };
    for (const Row& r : {Row{0, 250, 255}, Row{50, 3, 8}, Row{25, 120, 132}, Row{1, 245, 255}}) {
        about.TextFade = r.fade;
        about.Render(nullptr);
        const int a = test::maxAlpha(about.surface(), songArea());
        EXPECT_GE(a, r.low) << r.fade;
        EXPECT_LE(a, r.high) << r.fade;
    }
    EXPECT_EQ(textFadeAlpha(50), 5);
    EXPECT_EQ(textFadeAlpha(0), 255);
    EXPECT_EQ(textFadeAlpha(-4), 255);
    EXPECT_EQ(textFadeAlpha(52), 251); // taken modulo 256
}

// The tick redraws only what moved: a pass over tickArea's region must leave the surface exactly
// as a whole pass would, and the region must be empty exactly when nothing drawn changed.
TEST_F(StripTest, PartialPassMatchesAWholePass) {
    dir.image(QStringLiteral("5.png"),
              test::solidStrip(24, 20, {kNormal, kHover, kPressed, kDisabled}));
    model.add(test::label("Button1", 105, "play", "play"));
    load("[song]\nvisible=1\nx=20\ny=10\nw=120\nh=20\nFontColor=16777215\nFontSize=14\n"
         "[info]\nvisible=1\nx=20\ny=35\nw=60\nh=20\nFontColor=16777215\nFontSize=14\n"
         "[play]\nvisible=1\nx=150\ny=5\n"
         "[Visual]\nvisible=1\nColor=65280\nx=150\ny=30\nh=20\nw=3\nspace=2\ncount=5\n");
    control("Label3").caption = QStringLiteral("A song title far too long for its strip to hold");
    control("Label4").caption = QStringLiteral("Fits");
    struct Row {
        const char* what;
        void (*change)(SkinValues&);
        enum { Nothing, Area, Whole } expect;
    };
    const Row rows[] = {
        {"nothing", [](SkinValues&) {}, Row::Nothing},
        {"fitting info scrolls", [](SkinValues& v) { v.InfoScroll += 0.7; }, Row::Nothing},
        {"bars", [](SkinValues& v) { v.SpectrumBars[1] = 17; }, Row::Area},
        {"bar drops to zero", [](SkinValues& v) { v.SpectrumBars[1] = 0; }, Row::Area},
        {"levels",
         [](SkinValues& v) {
             v.Levels = {30000, 100};
         },
         Row::Area},
        {"long song scrolls", [](SkinValues& v) { v.SongScroll += 0.7; }, Row::Area},
        {"song and bars",
         [](SkinValues& v) {
             v.SongScroll += 5;
             v.SpectrumBars[4] = 20;
         },
         Row::Area},
        {"text fade", [](SkinValues& v) { v.TextFade = 20; }, Row::Whole},
        {"hover fade", [](SkinValues& v) { v.HoverFade[5] = 40; }, Row::Whole},
        {"kind", [](SkinValues& v) { v.VisualKind = 1; }, Row::Whole},
        {"levels shown",
         [](SkinValues& v) {
             v.Levels = {32768, 32768};
         },
         Row::Area},
        {"kind back", [](SkinValues& v) { v.VisualKind = 0; }, Row::Whole},
    };
    about.Render(nullptr);
    for (const Row& r : rows) {
        const SkinValues before = about;
        r.change(about);
        const std::optional<QRegion> area = about.tickArea(before);
        ASSERT_EQ(!area.has_value(), r.expect == Row::Whole) << r.what;
        if (!area) {
            about.Render(nullptr);
            continue;
        }
        EXPECT_EQ(area->isEmpty(), r.expect == Row::Nothing) << r.what;
        about.Render(nullptr, *area);
        const QImage partial = about.surface().copy();
        about.Render(nullptr);
        EXPECT_EQ(partial, about.surface()) << r.what;
    }
    // The visualisation's box covers the longest level bars as well as the bars at full height.
    const VisualSettings& v = about.theme().visual;
    const QRect box = about.visualArea();
    for (const QRect& r : {levelBarRect(v, 0, 32768), levelBarRect(v, 1, 32768),
                           spectrumBarRect(v, 0, 20), spectrumBarRect(v, 4, 20)}) {
        EXPECT_TRUE(box.contains(r))
            << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
    }
}

// --- visualisation ------------------------------------------------------------------------------

TEST_F(CompositorTest, SpectrumBarsStandOnTheBottomEdge) {
    load("[Visual]\nvisible=1\nColor=65280\nx=10\ny=10\nh=20\nw=3\nspace=2\ncount=3\n");
    about.SpectrumBars = {};
    about.SpectrumBars[0] = 20;
    about.SpectrumBars[1] = 10;
    about.SpectrumBars[3] = 20; // beyond count: not drawn
    about.Render(nullptr);
    EXPECT_TRUE(near(at(10, 10), Qt::green)); // full height
    EXPECT_TRUE(near(at(12, 29), Qt::green));
    EXPECT_TRUE(near(at(13, 29), kBackground)); // gap
    EXPECT_TRUE(near(at(15, 19), kBackground)); // half height: rows 20..29
    EXPECT_TRUE(near(at(15, 20), Qt::green));
    EXPECT_TRUE(near(at(20, 29), kBackground)); // zero bar
    EXPECT_TRUE(near(at(25, 29), kBackground)); // fourth bar is beyond count
}

TEST_F(CompositorTest, LevelMeterLeftAboveRight) {
    load("[Visual]\nvisible=1\nColor=255\nx=10\ny=10\nh=20\nw=3\nspace=2\ncount=3\n");
    about.VisualKind = 2; // any kind but 0 draws the meter
    about.Levels = {32500, 16250};
    about.Render(nullptr);
    // Left: length 40, rows 10..18; right: length 20, rows 22..30.
    EXPECT_TRUE(near(at(49, 18), Qt::red));
    EXPECT_TRUE(near(at(50, 18), kBackground));
    EXPECT_TRUE(near(at(10, 19), kBackground));
    EXPECT_TRUE(near(at(29, 22), Qt::red));
    EXPECT_TRUE(near(at(30, 22), kBackground));
    EXPECT_TRUE(near(at(10, 30), Qt::red));
    EXPECT_TRUE(near(at(10, 31), kBackground));
}

TEST(VisualGeometry, Rectangles) {
    VisualSettings v;
    v.x = 10;
    v.y = 10;
    v.h = 20;
    v.w = 3;
    v.space = 2;
    v.count = 20;
    EXPECT_EQ(spectrumBarRect(v, 0, 20), QRect(10, 10, 3, 20));
    EXPECT_EQ(spectrumBarRect(v, 2, 10), QRect(20, 20, 3, 10));
    EXPECT_TRUE(spectrumBarRect(v, 1, 0).isEmpty());
    v.h = 10;
    EXPECT_EQ(spectrumBarRect(v, 0, 1).height(), 0); // 0.5 rounds to even
    EXPECT_EQ(spectrumBarRect(v, 0, 3).height(), 2); // 1.5 -> 2
    v.h = 20;
    EXPECT_EQ(levelBarRect(v, 0, 32500), QRect(10, 10, 40, 9));
    EXPECT_EQ(levelBarRect(v, 0, 32768).width(), 40); // slightly above 8 * (w + space)
    EXPECT_EQ(levelBarRect(v, 1, 0), QRect(10, 22, 0, 9));
    v.h = 21; // h / 2 + space = 12.5 -> 12; (h - space) / 2 = 9.5 -> 10
    EXPECT_EQ(levelBarRect(v, 1, 32500), QRect(10, 22, 40, 10));

    // The toggle area of 20 bars of 3 with gaps of 2 is 100 pixels wide.
    EXPECT_TRUE(visualToggleHit(v, {10, 10}));
    EXPECT_TRUE(visualToggleHit(v, {109, 30}));
    EXPECT_FALSE(visualToggleHit(v, {110, 10}));
    EXPECT_FALSE(visualToggleHit(v, {10, 31}));
    EXPECT_FALSE(visualToggleHit(v, {9, 10}));
}

TEST_F(CompositorTest, ListBoxDrawsWhiteLinesClippedToItsBounds) {
    SkinControl list;
    list.objectName = QStringLiteral("LyricsView");
    list.kind = SkinControlKind::ListBox;
    list.bounds = QRect(20, 10, 100, 30);
    list.fontSize = 12;
    list.lines = {QStringLiteral("First line"), QStringLiteral("Second"), QStringLiteral("Third"),
                  QStringLiteral("Fourth"), QStringLiteral("Fifth")};
    model.add(list);
    load("");
    about.Render(nullptr);
    int white = 0;
    for (int x = 20; x < 120; ++x) {
        for (int y = 10; y < 40; ++y) {
            white += near(at(x, y), Qt::white, 30) ? 1 : 0;
        }
    }
    EXPECT_GT(white, 10);
    EXPECT_GT(about.listTextHeight(control("LyricsView")), 5 * 12);
    // The backdrop reaches 4 pixels up and left; nothing is drawn below the list.
    EXPECT_NE(at(17, 7), kBackground);
    for (int x = 16; x < 125; ++x) {
        EXPECT_TRUE(near(at(x, 45), kBackground)) << x;
    }
}

TEST_F(CompositorTest, KnobAndSliderFrames) {
    QImage strip(11 * 10, 10, QImage::Format_ARGB32);
    for (int n = 0; n < 11; ++n) {
        for (int x = 0; x < 10; ++x) {
            for (int y = 0; y < 10; ++y) {
                strip.setPixelColor(n * 10 + x, y, QColor(n * 20, 0, 0));
            }
        }
    }
    dir.image(QStringLiteral("20.png"), strip);
    SkinControl knob = test::volume("Volume", SkinControlKind::Knob);
    knob.bounds = QRect(0, 0, 40, 40);
    knob.position = 7;
    model.add(knob);
    SkinControl slider = test::volume("TrackBar1", SkinControlKind::Slider);
    slider.position = 3;
    model.add(slider);

    load("[volume]\ntype=1\nx=100\ny=20\n");
    EXPECT_EQ(control("Volume").bounds, QRect(100, 20, 10, 10));
    about.Render(nullptr);
    EXPECT_TRUE(near(at(105, 25), QColor(140, 0, 0)));

    load("[volume]\ntype=2\nx=60\ny=5\n");
    about.Render(nullptr);
    EXPECT_FALSE(control("Volume").visible);
    EXPECT_TRUE(near(at(65, 10), QColor(60, 0, 0)));
    EXPECT_TRUE(near(at(105, 25), kBackground));
}

TEST_F(CompositorTest, SliderThumbFollowsPositionAndPointer) {
    // Track 40 wide (dark green), thumb 10 x 10 (blue), hovered thumb (white).
    QImage strip(60, 10, QImage::Format_ARGB32);
    strip.fill(QColor(0, 100, 0));
    for (int x = 40; x < 60; ++x) {
        for (int y = 0; y < 10; ++y) {
            strip.setPixelColor(x, y, x < 50 ? QColor(0, 0, 255) : QColor(255, 255, 255));
        }
    }
    dir.image(QStringLiteral("20.png"), strip);
    SkinControl slider = test::volume("TrackBar1", SkinControlKind::Slider);
    slider.position = 5;
    model.add(slider);
    load("[volume]\ntype=0\nx=20\ny=30\n");
    ASSERT_EQ(control("TrackBar1").bounds, QRect(20, 30, 40, 10));
    // Left + 5 * (40 / 10 - 1) = 35.
    EXPECT_EQ(sliderThumbLeft(control("TrackBar1")), 35.0);
    about.Render(nullptr);
    EXPECT_TRUE(near(at(34, 35), QColor(0, 100, 0)));
    EXPECT_TRUE(near(at(35, 35), QColor(0, 0, 255)));
    EXPECT_TRUE(near(at(44, 35), QColor(0, 0, 255)));
    about.setCursorPos(QPoint(22, 32));
    about.Render(nullptr);
    EXPECT_TRUE(near(at(40, 35), Qt::white));

    // Pressing on a drawn thumb selects its position; outside the track clamps.
    const SkinControl& s = control("TrackBar1");
    SkinControl moved = s;
    for (int p = 0; p <= 10; ++p) {
        moved.position = p;
        const int centre = static_cast<int>(sliderThumbLeft(moved)) + 5;
        EXPECT_EQ(sliderPositionAt(s, VolumeType::Slider, centre), p) << p;
    }
    EXPECT_EQ(sliderPositionAt(s, VolumeType::Slider, -100), 0);
    EXPECT_EQ(sliderPositionAt(s, VolumeType::Slider, 500), 10);
    EXPECT_EQ(sliderPositionAt(s, VolumeType::FrameSlider, 40), 5);
}

} // namespace
} // namespace tl
