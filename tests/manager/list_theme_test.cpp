// The manager theme: colour parsing, loading the interface folder (missing, partial, corrupt
// and odd-sized files), the shipped set, and group bars that keep the name readable.

#include "../library/library_fixture.h"
#include "../picture_compare.h"
#include "../qt_app.h"
#include "library/favourites_view.h"
#include "manager/station_manager.h"
#include "skin/list_theme.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QToolButton>

using namespace tl;
using namespace tl::test;

namespace {

class ListThemeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { tl::test::ensureApp<QApplication>("test_list_theme"); }
    QString folder() const { return dir.path() + QStringLiteral("/interface/"); }
    void SetUp() override { ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("interface"))); }
    void put(const char* name, const QImage& image) {
        ASSERT_TRUE(image.save(folder() + QString::fromLatin1(name), "PNG")) << name;
    }
    void putBytes(const char* name, const QByteArray& bytes) {
        writeBytes(folder() + QString::fromLatin1(name), bytes);
    }
    std::unique_ptr<TForm2> openManager() {
        LibraryStartup startup;
        startup.appPath = dir.path() + QLatin1Char('/');
        auto form = std::make_unique<TForm2>(startup, PlayerLink{});
        form->resize(600, 300);
        form->show();
        form->favouritesView()->selectRow(-1);
        QApplication::processEvents();
        return form;
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
    // Colour values are 0x00BBGGRR; nullopt: a digit that is not hexadecimal.
    // clang-format off
    const std::pair<const char*, std::optional<uint32_t>> rows[] = {
        {"#FF0000", 0x0000FFu}, {"#ff0000", 0x0000FFu},   {"#0000FF", 0xFF0000u},
        {"#12345", 0x053412u},  {"#AABBCCDD", 0xCCBBAAu}, {"##123456", 0x563412u},
        {"#FFF", 0u},           {"FF0000", 0u},           {"", 0u},
        {"#GG0000", std::nullopt}, {"#12 456", std::nullopt}, {"#+12345", std::nullopt}};
    // clang-format on
    for (const auto& [text, want] : rows)
        EXPECT_EQ(ParseHtmlColor(QString::fromLatin1(text)), want) << text;
}

TEST_F(ListThemeTest, ColoursImagesAndToolBarFromTheFolder) {
    putBytes("theme.ini", "[List]\ncolor=#102030\nfontcolor=#zz0000\nselfontcolor=#FFF\n");
    put("toolbar.png", filled(10, 10, QColor(0x40, 0x80, 0xC0)));
    put("listl.png", filled(48, 32, Qt::red)); // wrong size: not a row image
    put("icon2.png", filled(32, 32, QColor(255, 0, 0, 128)));
    put("icon4.png", filled(20, 20, Qt::yellow, QImage::Format_RGB32)); // no alpha: opaque
    putBytes("icon5.png", "\x89PNG\r\n\x1a\ncorrupt");                  // counts as missing
    // A picture is refused from its header beyond 4096 pixels a side.
    putBytes("searchpanel.png", QByteArray("P6\n4096 1\n255\n") + QByteArray(3 * 4096, 'A'));
    putBytes("bottom.png", QByteArray("P6\n4097 1\n255\n") + QByteArray(3 * 4097, 'A'));

    const ListTheme t = LoadInterfaceTheme(folder());
    EXPECT_EQ(t.background, QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(t.fontColor, QColor(0xDD, 0xDD, 0xDD)) << "a broken value keeps its default";
    EXPECT_EQ(t.selFontColor, QColor(0, 0, 0)) << "too short reads as black";
    EXPECT_EQ(t.infoFontColor, QColor(0xDD, 0xDD, 0xDD)) << "missing key";
    EXPECT_EQ(rgbOf(t.toolbarBackground, 1, 40), 0x4080C0u);
    EXPECT_EQ(t.rowImages[ListTheme::kListL], ListTheme::builtin().rowImages[ListTheme::kListL]);
    EXPECT_EQ(t.searchPanel.size(), QSize(4096, 1));
    EXPECT_TRUE(t.statusBar.isNull());
    EXPECT_EQ(rgbOf(t.rowImages[ListTheme::kDelete], 0, 0), 0xFF0000u) << "icon2 is 32 x 32";

    // Tool bar list: icon2 then icon4; alpha premultiplied, an icon without alpha opaque.
    ASSERT_EQ(t.toolbarImages.size(), 2u);
    const QRgb half = reinterpret_cast<const QRgb*>(t.toolbarImages[0].constScanLine(3))[3];
    EXPECT_EQ(half, qRgba(128, 0, 0, 128));
    EXPECT_EQ(t.toolbarImages[1].pixel(19, 19), 0xFFFFFF00u);
    EXPECT_EQ(qAlpha(t.toolbarImages[1].pixel(25, 25)), 0) << "outside the 20 x 20 icon";
}

TEST_F(ListThemeTest, DoubleSizePicturesOnDenseScreens) {
    put("listl.png", filled(32, 32, Qt::red));
    put("listl@2x.png", filled(64, 64, Qt::green));
    put("listc.png", filled(32, 32, Qt::red));
    put("listc@2x.png", filled(60, 64, Qt::green)); // not twice the size: ignored
    put("listr@2x.png", filled(64, 64, Qt::green)); // no 1x picture: ignored
    struct Row {
        int scale;
        ListTheme::Slot slot;
        qreal ratio;
        QRgb colour;
    };
    for (const Row& r :
         {Row{1, ListTheme::kListL, 1, 0xFF0000u}, Row{2, ListTheme::kListL, 2, 0x00FF00u},
          Row{2, ListTheme::kListC, 1, 0xFF0000u},
          Row{2, ListTheme::kListR, 2,
              rgbOf(ListTheme::builtin(2).rowImages[ListTheme::kListR], 20, 20)},
          Row{2, ListTheme::kList1, 2,
              rgbOf(ListTheme::builtin(2).rowImages[ListTheme::kList1], 20, 20)}}) {
        const QImage image =
            LoadInterfaceTheme(folder(), r.scale).rowImages[static_cast<std::size_t>(r.slot)];
        EXPECT_EQ(image.devicePixelRatio(), r.ratio) << r.scale << " slot " << r.slot;
        EXPECT_EQ(image.deviceIndependentSize(), QSizeF(32, 32)) << r.scale << " slot " << r.slot;
        EXPECT_EQ(rgbOf(image, 20, 20), r.colour) << r.scale << " slot " << r.slot;
    }
}

TEST_F(ListThemeTest, ManagerShowsTheFolderOnItsToolBarAndRows) {
    // Which tool buttons show an image ("1" per button: new station, add to favourites,
    // delete, new group), and the colour of the selected row's left cap (0: the built-in one).
    const std::tuple<const char*, std::function<void()>, const char*, QRgb> cases[] = {
        {"wide listl only", [this] { put("listl.png", filled(48, 32, Qt::red)); }, "0000", 0},
        {"only icon2", [this] { put("icon2.png", filled(32, 32, Qt::magenta)); }, "1000", 0},
        {"32 x 32 listl", [this] { put("listl.png", filled(32, 32, Qt::red)); }, "0000", 0xFF0000u},
        {"corrupt, no theme.ini", [this] { putBytes("listl.png", "not a png"); }, "1111", 0},
    };
    writeBytes(dir.filePath(QStringLiteral("stations.xml")), root({group("Rock", 0, {"r1"})}));
    for (const auto& [name, files, icons, selectedLeft] : cases) {
        SCOPED_TRACE(name);
        QDir(folder()).removeRecursively();
        QDir().mkpath(folder());
        files();
        auto form = openManager();
        const char* buttons[] = {"ToolButton1", "ToolButton2", "ToolButton3", "NewGroupBtn"};
        for (int i = 0; i < 4; ++i) {
            const QIcon icon =
                form->findChild<QToolButton*>(QString::fromLatin1(buttons[i]))->icon();
            EXPECT_EQ(!icon.isNull(), icons[i] == '1') << buttons[i];
        }
        if (QByteArray(icons) == "1000") {
            EXPECT_EQ(rgbOf(form->findChild<QToolButton*>(QStringLiteral("ToolButton1"))
                                ->icon()
                                .pixmap(32, 32)
                                .toImage(),
                            16, 16),
                      0xFF00FFu)
                << "new station shows icon2";
        }
        form->favouritesView()->selectRow(1);
        const QImage rows = form->favouritesView()->viewport()->grab().toImage();
        EXPECT_EQ(rgbOf(rows, 1, kRowHeight + 16),
                  selectedLeft ? selectedLeft
                               : rgbOf(ListTheme::builtin().rowImages[ListTheme::kListL], 1, 16));
    }
}

// The group name is written in its group's colour on a bar of that colour under the group
// images: it must stand out for dark, mid and light colours, with built-in and shipped images.
TEST_F(ListThemeTest, GroupNameStandsOutOnItsBar) {
    // Navy (no colour stored), black, white, green, red, blue, yellow; 0x00BBGGRR.
    const char* colours[] = {"", "0", "16777215", "3381555", "255", "16711680", "65535"};
    QByteArray xml = "<stations>";
    for (const char* c : colours)
        xml += group("G", 1, {}, *c ? (QByteArray("Color=\"") + c + "\"").constData() : "");
    writeBytes(dir.filePath(QStringLiteral("stations.xml")), xml + "</stations>");
    const QDir shipped(QStringLiteral(TL_SOURCE_DIR "/assets/interface"));
    for (const bool useShipped : {false, true}) {
        for (const QString& f : shipped.entryList(QDir::Files))
            useShipped ? QFile::copy(shipped.filePath(f), folder() + f)
                       : QFile::remove(folder() + f);
        auto form = openManager();
        const QImage rows = form->favouritesView()->viewport()->grab().toImage();
        const int h = form->favouritesView()->fontMetrics().height();
        for (int row = 0; row < static_cast<int>(std::size(colours)); ++row) {
            // Pixels of the name's box that stand out from the bar beside the name.
            const int top = row * kRowHeight;
            const QColor bar = rows.pixelColor(34, top + 14);
            int standOut = 0;
            for (int y = top + 8; y < top + 8 + h; ++y)
                for (int x = 37; x < 90; ++x)
                    standOut += contrastRatio(rows.pixelColor(x, y), bar) >= 3.0;
            EXPECT_GE(standOut, 20) << "colour " << colours[row] << (useShipped ? " shipped" : "");
        }
    }
    EXPECT_EQ(groupNameOutline(QColor(0, 0, 128)), QColor(Qt::white));
    EXPECT_EQ(groupNameOutline(QColor(Qt::yellow)), QColor(Qt::black));
}

TEST_F(ListThemeTest, ShippedFolderHoldsTheGeneratedSet) {
    const QString shipped = QStringLiteral(TL_SOURCE_DIR "/assets/interface/");
    const InterfaceSet set = drawInterfaceSet();
    for (const auto& [file, drawn] : set.images) {
        const auto why = pictureMismatch(file, QImage(shipped + file), drawn);
        EXPECT_FALSE(why) << why.value_or(QString()).toStdString()
                          << ": rerun theme_generator --interface";
    }
    const ListTheme t = LoadInterfaceTheme(shipped);
    EXPECT_EQ(t.toolbarImages.size(), 4u);
    EXPECT_EQ(t.background, QColor(0x11, 0x15, 0x1B));

    // The tolerance on the generator's own output: a step or two of rounding in some pixels is
    // the same picture; a region 40 steps off, one pixel far off or another size is not.
    const auto it = std::find_if(set.images.begin(), set.images.end(),
                                 [](const auto& e) { return e.first == u"icon2@2x.png"; });
    ASSERT_NE(it, set.images.end());
    const QImage base = it->second.convertToFormat(QImage::Format_ARGB32);
    const qsizetype allowed = qsizetype(base.width()) * base.height() * 3 / 1000; // 3 per mille
    struct Row {
        const char* what;
        int delta;        // added to the blue channel of opaque pixels
        qsizetype pixels; // that many, in reading order
        QSize size;
        bool alike;
    };
    const Row rows[] = {
        {"unchanged", 0, 0, base.size(), true},
        {"one step in five pixels", 1, 5, base.size(), true},
        {"two steps in a thousand pixels", 2, 1000, base.size(), true},
        {"three steps in as many pixels as allowed", 3, allowed, base.size(), true},
        {"three steps in one more", 3, allowed + 1, base.size(), false},
        {"forty steps in a region", 40, 64, base.size(), false},
        {"one pixel far off", 100, 1, base.size(), false},
        {"a pixel narrower", 0, 0, base.size() - QSize(1, 0), false},
    };
    for (const Row& r : rows) {
        QImage p = base.copy(QRect(QPoint(0, 0), r.size));
        qsizetype left = r.pixels;
        for (int y = 0; y < p.height() && left > 0; ++y)
            for (int x = 0; x < p.width() && left > 0; ++x) {
                const QRgb c = p.pixel(x, y);
                if (qAlpha(c) != 255 || qBlue(c) + r.delta > 255)
                    continue;
                p.setPixel(x, y, qRgba(qRed(c), qGreen(c), qBlue(c) + r.delta, 255));
                --left;
            }
        ASSERT_EQ(left, 0) << r.what << ": the picture has too few opaque pixels for the row";
        const auto why = pictureMismatch(QStringLiteral("icon2@2x.png"), base, p);
        EXPECT_EQ(!why, r.alike) << r.what << ": " << why.value_or(QString()).toStdString();
    }
}
