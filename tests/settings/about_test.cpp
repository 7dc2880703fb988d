// The About window: version text, update address, logo placement and its lifetime.

#include "settings/about_form.h"
#include "settings/about_info.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tl;

TEST(AboutInfo, VersionResourcePathsAndValues) {
    struct Row {
        uint16_t language, codePage;
        const char* want;
    } rows[] = {
        {0x0419, 0x04E3, "StringFileInfo\\041904e3\\FileVersion"},
        {0x0409, 0x04B0, "StringFileInfo\\040904b0\\FileVersion"},
        {0x0000, 0x0000, "StringFileInfo\\0000\\FileVersion"},
        {0x1234, 0xABCD, "StringFileInfo\\012340abcd\\FileVersion"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(VersionStringPath(r.language, r.codePage, QStringLiteral("FileVersion")),
                  QString::fromLatin1(r.want));

    VersionResource russian;
    russian.strings[QStringLiteral("StringFileInfo\\041904e3\\FileVersion")] = "0.6.2.3";
    EXPECT_EQ(QueryVersionString(russian, QStringLiteral("FileVersion")), "") << "no translation";
    russian.translation = std::make_pair(uint16_t{0x0419}, uint16_t{0x04E3});
    EXPECT_EQ(QueryVersionString(russian, QStringLiteral("FileVersion")), "0.6.2.3");
    EXPECT_EQ(QueryVersionString(russian, QStringLiteral("ProductName")), "");
    russian.translation = std::make_pair(uint16_t{0x0409}, uint16_t{0x04E3});
    EXPECT_EQ(QueryVersionString(russian, QStringLiteral("FileVersion")), "");
    EXPECT_EQ(QueryVersionString(OwnVersionResource(), QStringLiteral("FileVersion")),
              TUNELARK_VERSION);

    EXPECT_TRUE(AboutText(QStringLiteral("0.6.2.3")).startsWith("Tunelark v0.6.2.3\n"));
    EXPECT_TRUE(AboutText(QString()).startsWith("Tunelark v\n"));

    const QString base = QStringLiteral("https://u.test/update.htm");
    EXPECT_EQ(UpdateAddress(base, QStringLiteral("0.6.2.3")),
              "https://u.test/update.htm?product=Tunelark&version=0.6.2.3");
    EXPECT_EQ(UpdateAddress(base, QStringLiteral("1.0 beta&x=#")),
              "https://u.test/update.htm?product=Tunelark&version=1.0%20beta%26x%3D%23");
    EXPECT_TRUE(UpdateAddress(base, QString()).endsWith("version="));
    EXPECT_TRUE(DefaultUpdateBase().startsWith("https://"));

    const std::array<std::array<int, 3>, 5> lefts = {{
        {359, 200, 80}, // 79.5: ties go to even
        {361, 200, 80}, // 80.5
        {363, 200, 82}, // 81.5
        {360, 200, 80},
        {100, 300, -100},
    }};
    for (const auto& [window, logo, want] : lefts)
        EXPECT_EQ(LogoLeft(window, logo), want) << window << " " << logo;
}

TEST(AboutForm, LayoutLogoAndButtons) {
    static int argc = 1;
    static char name[] = "test_about";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);

    QTemporaryDir dir;
    const QString app = dir.path() + QLatin1Char('/');
    QImage logo(200, 110, QImage::Format_ARGB32);
    logo.fill(QColor(0x20, 0xC0, 0x40));
    ASSERT_TRUE(logo.save(app + QStringLiteral("logo.png")));

    QList<QUrl> opened;
    AboutSeams seams{
        app,
        GetVersionString(QCoreApplication::applicationFilePath(), QStringLiteral("FileVersion")),
        QStringLiteral("https://u.test/update.htm"), [&](const QUrl& url) {
            opened << url;
            return true;
        }};
    TAboutForm form(seams);
    EXPECT_EQ(form.windowTitle(), "About");
    EXPECT_EQ(form.size(), QSize(359, 360));
    EXPECT_EQ(form.findChild<QWidget*>(QStringLiteral("AboutPanel"))->geometry(),
              QRect(0, 140, 361, 197));
    auto* check = form.findChild<QPushButton*>(QStringLiteral("BitBtn2"));
    auto* close = form.findChild<QPushButton*>(QStringLiteral("BitBtn1"));
    EXPECT_EQ(check->text(), "Check for Updates");
    EXPECT_EQ(check->geometry(), QRect(40, 168, 135, 25));
    EXPECT_EQ(close->text(), "Close");
    EXPECT_EQ(close->geometry(), QRect(240, 168, 81, 25));
    EXPECT_EQ(form.aboutLabel()->geometry(), QRect(40, 10, 281, 144));
    EXPECT_TRUE(form.aboutLabel()->text().startsWith("Tunelark v" TUNELARK_VERSION "\n"));
    EXPECT_TRUE(form.logo().isNull()) << "read only when shown";

    form.show();
    ASSERT_FALSE(form.logo().isNull());
    const QPoint at = form.logoPosition();
    EXPECT_EQ(at, QPoint(LogoLeft(form.frameGeometry().width(), 200), 15));
    const QImage shot = form.grab().toImage();
    EXPECT_EQ(shot.pixelColor(at + QPoint(1, 1)), QColor(0x20, 0xC0, 0x40));
    EXPECT_EQ(shot.pixelColor(at + QPoint(199, 109)), QColor(0x20, 0xC0, 0x40));
    EXPECT_NE(shot.pixelColor(at + QPoint(201, 50)), QColor(0x20, 0xC0, 0x40));

    check->click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toString(QUrl::FullyEncoded),
              "https://u.test/update.htm?product=Tunelark&version=" TUNELARK_VERSION);

    close->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.logo().isNull()) << "released when hidden";

    // Without logo.png nothing is drawn in its place.
    QFile::remove(app + QStringLiteral("logo.png"));
    form.show();
    EXPECT_TRUE(form.logo().isNull());
    EXPECT_NE(form.grab().toImage().pixelColor(at + QPoint(1, 1)), QColor(0x20, 0xC0, 0x40));
    form.hide();
}
