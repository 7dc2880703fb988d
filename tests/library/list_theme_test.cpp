// The manager theme: colour parsing, loading the interface folder (missing, partial, corrupt
// and odd-sized files), the shipped set, and group bars that keep the name readable.

#include "library/favourites_view.h"
#include "library/list_theme.h"
#include "library/station_manager.h"
#include "library_fixture.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QToolButton>

using namespace tl;
using namespace tl::test;

namespace {

class ListThemeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_list_theme";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance())
            new QApplication(argc, argv);
    }
    QString folder() const { return dir.path() + QStringLiteral("/interface/"); }
    void SetUp() override { ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("interface"))); }
    void put(const char* name, const QImage& image) {
        ASSERT_TRUE(image.save(folder() + QString::fromLatin1(name), "PNG")) << name;
    }
    void putBytes(const char* name, const QByteArray& bytes) {
        writeBytes(folder() + QString::fromLatin1(name), bytes);
    }
    QTemporaryDir dir;
};

QImage filled(int w, int h, QColor color, QImage::Format format = QImage::Format_ARGB32) {
    QImage image(w, h, format);
    image.fill(color);
    return image;
}

QRgb rgbOf(const QImage& image, int x, int y) {
    return image.pixelColor(x, y).rgb() & 0xFFFFFF;
}

} // namespace

TEST(ParseHtmlColor, Table) {
    struct Row {
        const char* text;
        std::optional<uint32_t> want; // 0x00BBGGRR; nullopt: not a colour
    } rows[] = {
        {"#FF0000", 0x0000FFu},
        {"#ff0000", 0x0000FFu},
        {"#00FF00", 0x00FF00u},
        {"#0000FF", 0xFF0000u},
        {"#DDDDDD", 0xDDDDDDu},
        {"#AABBCCDD", 0xCCBBAAu},
        {"#12345", 0x053412u},
        {"##123456", 0x563412u},
        {"#FFF", 0u},
        {"FF0000", 0u},
        {"", 0u},
        {"#", 0u},
        {"#GG0000", std::nullopt},
        {"#00zz00", std::nullopt},
        {"#12 456", std::nullopt},
        {"#+12345", std::nullopt},
        {"#0x1234", std::nullopt},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ParseHtmlColor(QString::fromLatin1(r.text)), r.want) << r.text;
    EXPECT_EQ(StripHash(QStringLiteral("#a#b#")), "ab");
}

TEST_F(ListThemeTest, EmptyOrMissingFolderKeepsTheBuiltInSet) {
    const ListTheme& b = ListTheme::builtin();
    for (const QString& f : {folder(), dir.path() + QStringLiteral("/absent/")}) {
        const ListTheme t = LoadInterfaceTheme(f);
        EXPECT_FALSE(t.toolbarOwnList);
        EXPECT_EQ(t.background, QColor(0, 0, 0));
        EXPECT_EQ(t.fontColor, QColor(0xDD, 0xDD, 0xDD));
        EXPECT_EQ(t.selInfoFontColor, QColor(0xFF, 0xFF, 0xFF));
        EXPECT_EQ(t.toolbarBackground.size(), QSize(2, 48));
        EXPECT_TRUE(t.statusBar.isNull());
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(t.toolButtonImage(i), b.rowImages[static_cast<std::size_t>(i)]) << i;
    }
}

TEST_F(ListThemeTest, ColoursImagesAndToolBarFromTheFolder) {
    putBytes("theme.ini", "[List]\ncolor=#102030\nfontcolor=#zz0000\nselfontcolor=#FFF\n"
                          "infofontcolor = \"#00FF00\"\n");
    put("toolbar.png", filled(10, 10, QColor(0x40, 0x80, 0xC0)));
    put("bottom.png", filled(3, 3, Qt::green));
    put("listl.png", filled(48, 32, Qt::red));  // wrong size: not a row image
    put("listc.png", filled(32, 32, Qt::blue)); // replaces the selected middle
    put("icon2.png", filled(32, 32, QColor(255, 0, 0, 128)));
    put("icon4.png", filled(20, 20, Qt::yellow, QImage::Format_RGB32)); // no alpha: opaque
    putBytes("icon5.png", "\x89PNG\r\n\x1a\ncorrupt");                  // counts as missing
    putBytes("groupC.png", QByteArray());

    const ListTheme t = LoadInterfaceTheme(folder());
    EXPECT_EQ(t.background, QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(t.fontColor, QColor(0xDD, 0xDD, 0xDD)) << "a broken value keeps its default";
    EXPECT_EQ(t.selFontColor, QColor(0, 0, 0)) << "too short reads as black";
    EXPECT_EQ(t.infoFontColor, QColor(0, 0xFF, 0));
    EXPECT_EQ(rgbOf(t.toolbarBackground, 1, 40), 0x4080C0u);
    EXPECT_EQ(t.toolbarBackground.size(), QSize(2, 48));
    EXPECT_FALSE(t.statusBar.isNull());
    EXPECT_TRUE(t.searchPanel.isNull());

    const ListTheme& b = ListTheme::builtin();
    EXPECT_EQ(t.rowImages[ListTheme::kListL], b.rowImages[ListTheme::kListL]);
    EXPECT_EQ(rgbOf(t.rowImages[ListTheme::kListC], 5, 5), 0x0000FFu);
    EXPECT_EQ(t.rowImages[ListTheme::kGroupC], b.rowImages[ListTheme::kGroupC]);
    EXPECT_EQ(rgbOf(t.rowImages[ListTheme::kDelete], 0, 0), 0xFF0000u)
        << "a 32 x 32 icon also takes its row slot";

    // Tool bar list: icon2, icon4 in slot order; half alpha premultiplied; no alpha opaque.
    ASSERT_TRUE(t.toolbarOwnList);
    ASSERT_EQ(t.toolbarImages.size(), 2u);
    const QImage& first = t.toolbarImages[0];
    ASSERT_EQ(first.format(), QImage::Format_ARGB32_Premultiplied);
    const QRgb px = reinterpret_cast<const QRgb*>(first.constScanLine(3))[3];
    EXPECT_EQ(qAlpha(px), 128);
    EXPECT_EQ(qRed(px), 128);
    EXPECT_EQ(qGreen(px), 0);
    EXPECT_EQ(t.toolbarImages[1].pixel(19, 19), 0xFFFFFF00u);
    EXPECT_EQ(qAlpha(t.toolbarImages[1].pixel(25, 25)), 0) << "outside the 20 x 20 icon";
    EXPECT_EQ(t.toolButtonImage(0), first);
    EXPECT_TRUE(t.toolButtonImage(2).isNull());
}

TEST_F(ListThemeTest, ManagerShowsTheFolderOnItsToolBarAndRows) {
    struct Case {
        const char* name;
        std::function<void()> files;
        std::vector<bool> buttonHasIcon; // ToolButton1, ToolButton2, ToolButton3, NewGroupBtn
        QRgb selectedLeft;               // pixel (1, row 1 + 16), 0: built-in cap
    };
    const Case cases[] = {
        {"wide listl only",
         [this] { put("listl.png", filled(48, 32, Qt::red)); },
         {false, false, false, false},
         0},
        {"only icon2",
         [this] { put("icon2.png", filled(32, 32, Qt::magenta)); },
         {true, false, false, false},
         0},
        {"32 x 32 listl",
         [this] { put("listl.png", filled(32, 32, Qt::red)); },
         {false, false, false, false},
         0xFF0000u},
        {"corrupt and no theme.ini",
         [this] { putBytes("listl.png", "not a png"); },
         {true, true, true, true},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
        c.files();
        writeBytes(dir.filePath(QStringLiteral("stations.xml")),
                   root({group("Rock", 0, {"r1", "r2"})}));
        LibraryStartup startup;
        startup.appPath = dir.path() + QLatin1Char('/');
        TForm2 form(startup, PlayerLink{});
        form.resize(600, 300);
        form.show();
        const char* names[] = {"ToolButton1", "ToolButton2", "ToolButton3", "NewGroupBtn"};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(!form.findChild<QToolButton*>(QString::fromLatin1(names[i]))->icon().isNull(),
                      c.buttonHasIcon[static_cast<std::size_t>(i)])
                << names[i];
        if (c.buttonHasIcon[0] && !c.buttonHasIcon[1]) {
            const QImage shown = form.findChild<QToolButton*>(QStringLiteral("ToolButton1"))
                                     ->icon()
                                     .pixmap(32, 32)
                                     .toImage();
            EXPECT_EQ(rgbOf(shown, 16, 16), 0xFF00FFu) << "new station shows icon2";
        }
        form.favouritesView()->selectRow(1);
        QApplication::processEvents();
        const QImage rows = form.favouritesView()->viewport()->grab().toImage();
        const QRgb want = c.selectedLeft != 0
                              ? c.selectedLeft
                              : rgbOf(ListTheme::builtin().rowImages[ListTheme::kListL], 1, 16);
        EXPECT_EQ(rgbOf(rows, 1, kRowHeight + 16), want);
    }
}

// The group name is written in the group's colour on the bar drawn from the group images over
// that colour: it must stand out for dark, mid and light colours alike, with the built-in and
// with the shipped images.
TEST_F(ListThemeTest, GroupNameStandsOutOnItsBar) {
    // Colours as stored (0x00BBGGRR); a group without one is navy.
    const std::pair<const char*, const char*> groups[] = {
        {"Navy", ""},
        {"Black", "Color=\"0\""},
        {"White", "Color=\"16777215\""},
        {"Green", "Color=\"3381555\""},
        {"Red", "Color=\"255\""},
        {"Blue", "Color=\"16711680\""},
        {"Yellow", "Color=\"65535\""},
    };
    QByteArray xml = "<?xml version=\"1.0\"?>\n<stations>";
    for (const auto& [name, colour] : groups)
        xml += group(name, 1, {}, colour);
    writeBytes(dir.filePath(QStringLiteral("stations.xml")), xml + "</stations>\n");

    for (const bool shipped : {false, true}) {
        SCOPED_TRACE(shipped ? "shipped images" : "built-in images");
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
        if (shipped) {
            const QDir source(QStringLiteral(TL_SOURCE_DIR "/assets/interface"));
            for (const QString& f : source.entryList(QDir::Files))
                QFile::copy(source.filePath(f), folder() + f);
        }
        LibraryStartup startup;
        startup.appPath = dir.path() + QLatin1Char('/');
        TForm2 form(startup, PlayerLink{});
        form.resize(600, 400);
        form.show();
        form.favouritesView()->selectRow(-1);
        QApplication::processEvents();
        const QImage rows = form.favouritesView()->viewport()->grab().toImage();
        const int h = form.favouritesView()->fontMetrics().height();
        for (int row = 0; row < static_cast<int>(std::size(groups)); ++row) {
            const int top = row * kRowHeight;
            const QColor colour = rows.pixelColor(200, top + 30); // the pure stripe
            const QColor bar = rows.pixelColor(34, top + 14);     // beside the name
            int standOut = 0;
            for (int y = top + 8; y < top + 8 + h; ++y)
                for (int x = 37; x < 110; ++x)
                    standOut += contrastRatio(rows.pixelColor(x, y), bar) >= 3.0;
            EXPECT_GE(standOut, 25) << groups[row].first << " " << colour.name().toStdString()
                                    << " on " << bar.name().toStdString();
        }
        if (!shipped && qEnvironmentVariableIsSet("TL_SHOTS"))
            rows.save(qEnvironmentVariable("TL_SHOTS") + QStringLiteral("/groups.png"));
    }
    // The outline is whichever of black and white stands out more from the colour.
    EXPECT_EQ(groupNameOutline(QColor(0, 0, 128)), QColor(Qt::white));
    EXPECT_EQ(groupNameOutline(QColor(Qt::yellow)), QColor(Qt::black));
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio(Qt::red, Qt::red), 1.0, 1e-9);
}

TEST_F(ListThemeTest, ShippedFolderHoldsTheGeneratedSet) {
    const QString shippedFolder = QStringLiteral(TL_SOURCE_DIR "/assets/interface/");
    const InterfaceSet set = drawInterfaceSet();
    for (const auto& [file, drawn] : set.images) {
        const QImage onDisk(shippedFolder + file);
        ASSERT_FALSE(onDisk.isNull()) << file.toStdString();
        EXPECT_EQ(onDisk.convertToFormat(QImage::Format_ARGB32),
                  drawn.convertToFormat(QImage::Format_ARGB32))
            << file.toStdString() << ": rerun theme_generator --interface";
    }
    const ListTheme t = LoadInterfaceTheme(shippedFolder);
    EXPECT_TRUE(t.toolbarOwnList);
    EXPECT_EQ(t.toolbarImages.size(), 4u);
    EXPECT_EQ(t.background, QColor(0x11, 0x15, 0x1B));
    EXPECT_FALSE(t.searchPanel.isNull());
    EXPECT_FALSE(t.findImage.isNull());
}
