// Theme values, control sizing and theme loading edge cases.

#include "skin/compositor.h"
#include "skin/theme.h"
#include "skin/theme_art.h"

#include "skin_fixture.h"

#include <QGuiApplication>
#include <QScreen>

namespace tl {
namespace {

using test::ThemeDir;

TEST(ThemeValues, EmptyFileGivesEveryDefault) {
    const ThemeValues t = readThemeValues(IniFile::fromText(QString()));
    EXPECT_EQ(t.shadowOffset, 0);
    EXPECT_EQ(t.fontName, u"Tahoma");
    EXPECT_FALSE(t.visual.visible);
    EXPECT_EQ(t.visual.color, 0u);
    EXPECT_EQ(t.visual.h, 20);
    EXPECT_EQ(t.visual.w, 3);
    EXPECT_EQ(t.visual.space, 2);
    EXPECT_EQ(t.visual.count, 8);
    EXPECT_FALSE(t.albumArt.visible);
    EXPECT_EQ(QSize(t.albumArt.w, t.albumArt.h), QSize(48, 48));
    EXPECT_EQ(t.infoStrip, QSize(50, 16));
    EXPECT_EQ(t.songStrip, QSize(50, 16));
    EXPECT_EQ(t.volumeType, VolumeType::Slider);

    const ControlStyle s = readControlStyle(IniFile::fromText(QString()), u"song");
    EXPECT_FALSE(s.visible);
    EXPECT_EQ(QRect(s.x, s.y, s.w, s.h), QRect(0, 0, 0, 0));
    EXPECT_EQ(s.fontColor, 0u);
    EXPECT_EQ(s.fontSize, 12);
}

TEST(ThemeValues, NumbersAndBadNumbers) {
    struct Row {
        const char* count;
        int bars;
    };
    for (const Row& row : {Row{"25", 20}, Row{"260", 4}, Row{"20", 20}, Row{"0", 0}, Row{"-1", 20},
                           Row{"abc", 8}, Row{"12x", 8}, Row{"$0A", 10}, Row{"", 8}}) {
        const QString text = QStringLiteral("[Visual]\ncount=%1\n").arg(QLatin1String(row.count));
        EXPECT_EQ(readThemeValues(IniFile::fromText(text)).visual.count, row.bars) << row.count;
    }
    const ThemeValues t = readThemeValues(IniFile::fromText(
        QStringLiteral("[visual]\nvisible=7\nColor=16711680\nh=oops\n[SONG]\nw=-5\nh=99999999\n"
                       "[General]\nshadowoffset=3\nFontName=\"Some Face\"\n")));
    EXPECT_TRUE(t.visual.visible); // any non-zero number
    EXPECT_EQ(t.visual.color, 0xFF0000u);
    EXPECT_EQ(t.visual.h, 20);              // unreadable: default
    EXPECT_EQ(t.songStrip, QSize(0, 4096)); // a strip is never negative or gigantic
    EXPECT_EQ(t.shadowOffset, 3);
    EXPECT_EQ(t.fontName, u"Some Face");
}

TEST(ThemeValues, SlotsAndKeywords) {
    EXPECT_EQ(slotForTag(1), 1);
    EXPECT_EQ(slotForTag(20), 20);
    EXPECT_EQ(slotForTag(100), -1);
    EXPECT_EQ(slotForTag(105), 5);
    EXPECT_EQ(slotForTag(120), 20);
    EXPECT_EQ(slotForTag(181), -1); // the lyrics window's close button never has an image
    EXPECT_EQ(slotForTag(-3), -1);
    EXPECT_EQ(slotKeyword(4), u"prewious");
    EXPECT_EQ(slotKeyword(9), u""); // minimize has no state images
    EXPECT_EQ(slotFileName(51), u"51.png");
}

TEST(ThemeSizing, KnobStaysSquareThroughWidthThenHeight) {
    struct Row {
        QSize image;
        int previousSide;
        int side;
    };
    ThemeValues theme;
    theme.volumeType = VolumeType::Knob;
    for (const Row& row : {Row{{242, 22}, 40, 22}, Row{{330, 20}, 40, 20}, Row{{550, 60}, 40, 60},
                           Row{{}, 33, 33}}) {
        SkinControl knob = test::volume("Volume", SkinControlKind::Knob);
        knob.bounds = QRect(0, 0, row.previousSide, row.previousSide);
        ControlStyle style;
        style.x = 7;
        style.y = 9;
        applyControlStyle(knob, style, row.image, theme);
        EXPECT_EQ(knob.bounds, QRect(7, 9, row.side, row.side)) << row.image.width();
        EXPECT_TRUE(knob.visible);
    }
}

TEST(ThemeSizing, SliderByVolumeType) {
    struct Row {
        VolumeType type;
        QSize image;
        QSize size;
        QSize track;
        QSize thumb;
        bool visible;
    };
    for (const Row& row :
         {Row{VolumeType::Slider, {100, 14}, {72, 14}, {72, 14}, {14, 14}, true},
          Row{VolumeType::FrameSlider, {110, 10}, {10, 10}, {10, 10}, {1, 10}, true},
          Row{VolumeType::FrameSlider, {115, 10}, {10, 10}, {10, 10}, {1, 10}, true}, // 10.45
          Row{VolumeType::Knob, {100, 14}, {30, 8}, {}, {}, false}}) {
        SkinControl slider = test::volume("TrackBar1", SkinControlKind::Slider);
        slider.bounds = QRect(0, 0, 30, 8);
        ThemeValues theme;
        theme.volumeType = row.type;
        ControlStyle style; // visible 0: the volume type decides anyway
        applyControlStyle(slider, style, row.image, theme);
        EXPECT_EQ(slider.bounds.size(), row.size);
        EXPECT_EQ(slider.trackSize, row.track);
        EXPECT_EQ(slider.thumbSize, row.thumb);
        EXPECT_EQ(slider.visible, row.visible);
    }
}

TEST(ThemeSizing, ImageGivesLabelSizeTiesToEven) {
    ThemeValues theme;
    theme.shadowOffset = 2;
    ControlStyle style;
    style.visible = true;
    style.w = 100;
    style.h = 50;
    SkinControl l = test::label("Label3", 1, "song");
    applyControlStyle(l, style, QSize(42, 20), theme); // 10.5 -> 10
    EXPECT_EQ(l.bounds.size(), QSize(6, 16));
    applyControlStyle(l, style, QSize(46, 20), theme); // 11.5 -> 12
    EXPECT_EQ(l.bounds.size(), QSize(8, 16));
    applyControlStyle(l, style, QSize(), theme);
    EXPECT_EQ(l.bounds.size(), QSize(100, 50));
}

// --- loading whole themes -----------------------------------------------------------------

class LoadThemeTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureGuiApp();
        model.add(test::label("Label3", 1, "song", "Song"));
        model.add(test::label("Label4", 1, "info", "stopped"));
        model.add(test::label("Label7", 1, "time", "00:00"));
        model.add(test::label("Button1", 105, "play", "play"));
        model.add(test::label("RecLabel", 107, "record", "Rec"));
        model.add(test::label("plain", 1, "", "not themed"));
        SkinControl slider = test::volume("TrackBar1", SkinControlKind::Slider);
        slider.bounds = QRect(3, 4, 30, 10);
        model.add(slider);
        SkinControl knob = test::volume("Volume", SkinControlKind::Knob);
        knob.bounds = QRect(0, 0, 40, 40);
        model.add(knob);
        model.find(u"plain")->bounds = QRect(1, 2, 3, 4);
    }
    SkinControl& c(const char* name) { return *model.find(QString::fromLatin1(name)); }

    ControlModel model;
    ThemeDir dir;
};

TEST_F(LoadThemeTest, EmptyIniHidesThemedControlsButShowsTheSlider) {
    dir.image(QStringLiteral("background.png"), test::solid(120, 50, Qt::darkBlue));
    dir.ini("");
    TMyAbout about(model, SkinRole::Player);
    const auto result = about.LoadTheme(dir.path(), false);
    EXPECT_FALSE(result.builtIn);
    EXPECT_EQ(result.size, QSize(120, 50));
    EXPECT_EQ(about.surface().format(), QImage::Format_ARGB32_Premultiplied);
    for (const char* name : {"Label3", "Label4", "Label7", "Button1", "RecLabel", "Volume"}) {
        EXPECT_FALSE(c(name).visible) << name;
    }
    EXPECT_TRUE(c("TrackBar1").visible);
    EXPECT_EQ(c("TrackBar1").bounds.topLeft(), QPoint(0, 0));
    EXPECT_EQ(c("TrackBar1").bounds.size(), QSize(30, 10)); // no image: keeps its size
    EXPECT_EQ(c("plain").bounds, QRect(1, 2, 3, 4));        // no keyword: untouched
    EXPECT_FALSE(about.theme().visual.visible);
    EXPECT_FALSE(about.theme().albumArt.visible);
    EXPECT_EQ(about.fontFamily(), u"Tahoma");
}

TEST_F(LoadThemeTest, MissingIniAndImagesKeepTheWrittenSizes) {
    dir.image(QStringLiteral("background.png"), test::solid(80, 30, Qt::gray));
    TMyAbout about(model, SkinRole::Player);
    EXPECT_EQ(about.LoadTheme(dir.path(), false).size, QSize(80, 30));
    EXPECT_TRUE(about.slotImage(5).isNull());
    EXPECT_EQ(c("Button1").bounds, QRect(0, 0, 0, 0));
}

TEST_F(LoadThemeTest, SectionsPlaceControlsAndImagesSizeThem) {
    dir.image(QStringLiteral("background.png"), test::solid(200, 80, Qt::gray));
    dir.image(QStringLiteral("5.png"),
              test::solidStrip(24, 20, {Qt::red, Qt::green, Qt::blue, Qt::yellow}));
    dir.image(QStringLiteral("1.png"), test::solid(42, 20, Qt::white));
    dir.ini("[General]\nshadowoffset=2\n"
            "[play]\nvisible=1\nx=10\ny=20\n"
            "[song]\nvisible=1\nx=5\ny=6\nw=70\nh=15\nFontColor=255\nFontSize=9\n"
            "[volume]\ntype=1\nvisible=0\nx=150\ny=10\n");
    TMyAbout about(model, SkinRole::Player);
    about.LoadTheme(dir.path(), false);
    EXPECT_EQ(c("Button1").bounds, QRect(10, 20, 20, 16)); // 24 - 4 by 20 - 4
    EXPECT_TRUE(c("Button1").visible);
    // 1.png sizes every text label: nearest(42 / 4) - 4 = 6 by 16, whatever w and h say.
    EXPECT_EQ(c("Label3").bounds, QRect(5, 6, 6, 16));
    EXPECT_EQ(c("Label3").fontColor, QColor(255, 0, 0));
    EXPECT_EQ(c("Label3").fontSize, 9);
    EXPECT_EQ(c("Label7").bounds.size(), QSize(6, 16));
    EXPECT_TRUE(c("Volume").visible); // type 1 shows the knob whatever visible says
    EXPECT_FALSE(c("TrackBar1").visible);
    EXPECT_EQ(c("Volume").bounds.topLeft(), QPoint(150, 10));
}

// A theme made where file names ignore case loads as it was meant to.
TEST_F(LoadThemeTest, FileNamesInAnotherCase) {
    dir.image(QStringLiteral("BackGround.PNG"), test::solid(200, 80, Qt::gray));
    dir.image(QStringLiteral("5.PNG"),
              test::solidStrip(24, 20, {Qt::red, Qt::green, Qt::blue, Qt::yellow}));
    dir.file(QStringLiteral("THEME.INI"), "[play]\nvisible=1\nx=10\ny=20\n");
    TMyAbout about(model, SkinRole::Player);
    const auto result = about.LoadTheme(dir.path(), false);
    EXPECT_FALSE(result.builtIn);
    EXPECT_EQ(result.size, QSize(200, 80));
    EXPECT_EQ(c("Button1").bounds.topLeft(), QPoint(10, 20));
    EXPECT_TRUE(c("Button1").visible);
    EXPECT_EQ(about.slotImage(5).size(), QSize(96, 20)) << "5.PNG: four frames of 24 x 20";
}

TEST_F(LoadThemeTest, UndecodableImagesCountAsMissing) {
    dir.image(QStringLiteral("background.png"), test::solid(60, 20, Qt::gray));
    dir.file(QStringLiteral("5.png"), "not a png at all");
    dir.ini("[play]\nvisible=1\nw=30\nh=12\n");
    TMyAbout about(model, SkinRole::Player);
    about.LoadTheme(dir.path(), false);
    EXPECT_TRUE(about.slotImage(5).isNull());
    EXPECT_EQ(c("Button1").bounds.size(), QSize(30, 12));
}

TEST_F(LoadThemeTest, MissingBackgroundFallsBackToTheBuiltInTheme) {
    struct Row {
        SkinRole role;
        const char* file;
    };
    for (const Row& row :
         {Row{SkinRole::Player, "background.png"}, Row{SkinRole::Notifier, "hint.png"},
          Row{SkinRole::Lyrics, "lyrics.png"}}) {
        ThemeDir broken;
        broken.ini("[song]\nvisible=0\n");
        broken.file(QString::fromLatin1(row.file), "garbage");
        TMyAbout about(model, row.role);
        const auto result = about.LoadTheme(broken.path(), false);
        EXPECT_TRUE(result.builtIn) << row.file;
        EXPECT_TRUE(about.usingBuiltInTheme());
        const QImage& expected = builtInTheme().images.at(QString::fromLatin1(row.file));
        EXPECT_EQ(result.size, expected.size()) << row.file;
        EXPECT_FALSE(result.size.isEmpty());
    }
    // The player's controls are placed by the built-in theme, not by the broken folder.
    EXPECT_TRUE(c("Label3").visible);
    EXPECT_TRUE(c("Volume").visible);

    // A folder that does not exist at all behaves the same.
    TMyAbout about(model, SkinRole::Player);
    EXPECT_TRUE(about.LoadTheme(QStringLiteral("/nonexistent/theme/"), false).builtIn);
    EXPECT_FALSE(about.slotImage(5).isNull());
    EXPECT_TRUE(about.SetStateImage(u"play", QStringLiteral("51.png")));
}

// A background larger than the screen is refused like an unreadable one, before it is
// decoded; other images larger than the window could use count as missing; every number is
// bounded by the background, so nothing overflows or allocates more than the window's size.
TEST_F(LoadThemeTest, ImagesAndNumbersAreBoundedByTheBackground) {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    const struct {
        QSize size;
        bool builtIn;
    } backgrounds[] = {{screen, false},
                       {screen + QSize(1, 0), true},
                       {screen + QSize(0, 1), true},
                       {QSize(5600, 5600), true}};
    for (const auto& row : backgrounds) {
        ThemeDir d;
        QImage mono(row.size, QImage::Format_Mono); // a few KB of PNG however large
        mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        mono.fill(1);
        d.image(QStringLiteral("background.png"), mono);
        d.ini("");
        TMyAbout about(model, SkinRole::Player);
        const auto result = about.LoadTheme(d.path(), false);
        EXPECT_EQ(result.builtIn, row.builtIn) << row.size.width() << "x" << row.size.height();
        if (!row.builtIn) {
            EXPECT_EQ(result.size, row.size);
        }
    }

    const QSize bg(120, 40);
    dir.image(QStringLiteral("background.png"), test::solid(bg.width(), bg.height(), Qt::gray));
    const struct {
        const char* file;
        QSize size;
        bool kept;
    } images[] = {{"5.png", {11 * 120, 40}, true},
                  {"5.png", {11 * 120 + 1, 40}, false},
                  {"5.png", {40, 41}, false},
                  {"7.png", {20000, 2}, false}};
    for (const auto& row : images) {
        ThemeDir d;
        d.image(QStringLiteral("background.png"), test::solid(bg.width(), bg.height(), Qt::gray));
        QImage mono(row.size, QImage::Format_Mono);
        mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        mono.fill(0);
        d.image(QString::fromLatin1(row.file), mono);
        d.ini("");
        TMyAbout about(model, SkinRole::Player);
        about.LoadTheme(d.path(), false);
        const int slot = QString::fromLatin1(row.file).section(u'.', 0, 0).toInt();
        EXPECT_EQ(!about.slotImage(slot).isNull(), row.kept) << row.file << row.size.width();
    }

    for (const char* value : {"2147483647", "-2147483648", "99999"}) {
        QByteArray ini;
        for (const char* section : {"General", "Visual", "AlbumArt", "info", "song", "play"}) {
            ini += QByteArray("[") + section + "]\nvisible=1\n";
            for (const char* key :
                 {"shadowoffset", "x", "y", "w", "h", "space", "count", "FontSize"}) {
                ini += QByteArray(key) + "=" + value + "\n";
            }
        }
        dir.file(QStringLiteral("theme.ini"), ini);
        TMyAbout about(model, SkinRole::Player);
        EXPECT_EQ(about.LoadTheme(dir.path(), false).size, bg) << value;
        const ThemeValues& t = about.theme();
        const QRect area(-bg.width(), -bg.height(), 2 * bg.width() + 1, 2 * bg.height() + 1);
        for (const QSize strip : {t.infoStrip, t.songStrip}) {
            EXPECT_TRUE(strip.width() <= bg.width() && strip.height() <= bg.height()) << value;
        }
        EXPECT_TRUE(area.contains(QPoint(t.visual.x, t.visual.y))) << value;
        EXPECT_TRUE(area.contains(QPoint(t.albumArt.x, t.albumArt.y))) << value;
        EXPECT_LE(t.visual.w, bg.width());
        EXPECT_LE(std::abs(t.visual.space), bg.width());
        EXPECT_LE(t.visual.h, bg.height());
        EXPECT_LE(t.albumArt.w, bg.width());
        EXPECT_LE(t.albumArt.h, bg.height());
        EXPECT_LE(std::abs(t.shadowOffset), bg.height());
        for (const char* name : {"Label3", "Label4", "Button1"}) {
            const SkinControl& ctl = c(name);
            EXPECT_TRUE(area.contains(ctl.bounds.topLeft())) << name << value;
            EXPECT_LE(ctl.bounds.width(), bg.width()) << name << value;
            EXPECT_LE(ctl.bounds.height(), bg.height()) << name << value;
            EXPECT_GE(ctl.fontSize, 1) << name << value;
            EXPECT_LE(ctl.fontSize, bg.height()) << name << value;
        }
        EXPECT_TRUE(about.Render(nullptr)) << value;
    }
}

TEST_F(LoadThemeTest, RecordingShowsTheRecordingImageAndStateSwaps) {
    dir.image(QStringLiteral("background.png"), test::solid(100, 40, Qt::black));
    dir.image(QStringLiteral("7.png"),
              test::solidStrip(10, 10, {Qt::red, Qt::red, Qt::red, Qt::red}));
    dir.image(QStringLiteral("71.png"),
              test::solidStrip(10, 10, {Qt::green, Qt::green, Qt::green, Qt::green}));
    dir.image(QStringLiteral("5.png"),
              test::solidStrip(10, 10, {Qt::blue, Qt::blue, Qt::blue, Qt::blue}));
    dir.ini("[record]\nvisible=1\nx=10\ny=10\n[play]\nvisible=1\nx=40\ny=10\n");
    TMyAbout about(model, SkinRole::Player);
    about.LoadTheme(dir.path(), true);
    EXPECT_TRUE(test::near(about.surface().pixelColor(14, 14), Qt::green));

    about.LoadTheme(dir.path(), false);
    EXPECT_TRUE(test::near(about.surface().pixelColor(14, 14), Qt::red));

    // A missing state image changes nothing; the keyword compares exactly.
    EXPECT_FALSE(about.SetStateImage(u"play", QStringLiteral("51.png")));
    EXPECT_FALSE(about.SetStateImage(u"Record", QStringLiteral("71.png")));
    EXPECT_TRUE(about.SetStateImage(u"record", QStringLiteral("71.png")));
    about.Render(nullptr);
    EXPECT_TRUE(test::near(about.surface().pixelColor(14, 14), Qt::green));
    EXPECT_TRUE(test::near(about.surface().pixelColor(44, 14), Qt::blue));
}

TEST(BuiltInTheme, HasEveryImageAndLoadsAsAWholeTheme) {
    test::ensureGuiApp();
    for (const auto design : {ThemeDesign::Nocturne, ThemeDesign::Daybreak}) {
        const GeneratedTheme t = drawTheme(design);
        for (const char* name :
             {"background.png", "top.png", "hint.png", "lyrics.png", "2.png", "3.png", "31.png",
              "4.png", "5.png", "51.png", "6.png", "7.png", "71.png", "8.png", "9.png", "20.png"}) {
            const auto it = t.images.find(QString::fromLatin1(name));
            ASSERT_NE(it, t.images.end()) << name;
            EXPECT_FALSE(it->second.isNull()) << name;
        }
        // Button strips hold four frames; the knob eleven square ones.
        EXPECT_EQ(t.images.at(QStringLiteral("5.png")).width() % 4, 0);
        const ThemeValues v = readThemeValues(IniFile::fromText(t.ini));
        const QImage& volume = t.images.at(QStringLiteral("20.png"));
        if (design == ThemeDesign::Nocturne) {
            EXPECT_EQ(v.volumeType, VolumeType::Knob);
            EXPECT_EQ(volume.width(), 11 * volume.height());
        } else {
            EXPECT_EQ(v.volumeType, VolumeType::Slider);
        }
        // The window's shape: transparent corners, an opaque body.
        const QImage& bg = t.images.at(QStringLiteral("background.png"));
        EXPECT_EQ(bg.pixelColor(0, 0).alpha(), 0);
        EXPECT_EQ(bg.pixelColor(bg.width() / 2, bg.height() / 2).alpha(), 255);
    }
}

} // namespace
} // namespace tl
