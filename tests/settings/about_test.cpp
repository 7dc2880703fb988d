// The About window: version text, update address, logo placement and its lifetime.

#include "settings/about_form.h"
#include "settings/about_info.h"

#include "../qt_app.h"
#include "../whole_controls.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tl;

TEST(AboutInfo, VersionResourceUpdateAddressAndLogoPlace) {
    const std::tuple<uint16_t, uint16_t, const char*> paths[] = {
        {0x0419, 0x04E3, "StringFileInfo\\041904e3\\FileVersion"},
        {0x0409, 0x04B0, "StringFileInfo\\040904b0\\FileVersion"},
        {0x1234, 0xABCD, "StringFileInfo\\012340abcd\\FileVersion"},
    };
    for (const auto& [language, codePage, want] : paths)
        EXPECT_EQ(VersionStringPath(language, codePage, QStringLiteral("FileVersion")), want);

    // Without a translation entry, or with another one, the version is empty.
    VersionResource r;
    r.strings[QStringLiteral("StringFileInfo\\041904e3\\FileVersion")] = "0.6.2.3";
    const QString fv = QStringLiteral("FileVersion");
    EXPECT_EQ(QueryVersionString(r, fv), "");
    r.translation = std::make_pair(uint16_t{0x0419}, uint16_t{0x04E3});
    EXPECT_EQ(QueryVersionString(r, fv), "0.6.2.3");
    EXPECT_EQ(QueryVersionString(r, QStringLiteral("ProductName")), "");
    r.translation->second = 0x04B0;
    EXPECT_EQ(QueryVersionString(r, fv), "");
    EXPECT_EQ(GetVersionString(QStringLiteral("/bin/sh"), fv), "") << "not the program's file";

    EXPECT_TRUE(AboutText(QStringLiteral("0.6.2.3")).startsWith("Tunelark v0.6.2.3\n"));
    EXPECT_TRUE(AboutText(QString()).startsWith("Tunelark v\n"));
    const QString base = QStringLiteral("https://u.test/update.htm");
    EXPECT_EQ(UpdateAddress(base, QStringLiteral("0.6.2.3")),
              "https://u.test/update.htm?product=Tunelark&version=0.6.2.3");
    EXPECT_EQ(UpdateAddress(base, QStringLiteral("1.0 beta&x=#")),
              "https://u.test/update.htm?product=Tunelark&version=1.0%20beta%26x%3D%23");
    EXPECT_TRUE(UpdateAddress(base, QString()).endsWith("version="));
    // The build's setting: empty (no release page configured) or a web address.
    EXPECT_TRUE(DefaultUpdateBase().isEmpty() || DefaultUpdateBase().startsWith("https://") ||
                DefaultUpdateBase().startsWith("http://"))
        << DefaultUpdateBase().toStdString();

    // nearest(window / 2 - logo / 2), ties to even.
    const std::tuple<int, int, int> lefts[] = {
        {359, 200, 80}, {361, 200, 80}, {363, 200, 82}, {360, 200, 80}, {100, 300, -100}};
    for (const auto& [window, logo, want] : lefts)
        EXPECT_EQ(LogoLeft(window, logo), want) << window << " " << logo;
}

TEST(AboutForm, ShowsVersionLogoAndOpensTheUpdatePage) {
    tl::test::ensureApp<QApplication>("test_about");

    QTemporaryDir dir;
    const QString app = dir.path() + QLatin1Char('/');
    QImage logo(200, 110, QImage::Format_ARGB32);
    const QColor green(0x20, 0xC0, 0x40);
    logo.fill(green);
    ASSERT_TRUE(logo.save(app + QStringLiteral("logo.png")));

    QList<QUrl> opened;
    const QString version =
        GetVersionString(QCoreApplication::applicationFilePath(), QStringLiteral("FileVersion"));
    TAboutForm form(
        {app, version, QStringLiteral("https://u.test/update.htm"), [&](const QUrl& url) {
             return opened << url, true;
         }});
    EXPECT_EQ(form.aboutLabel()->text().section(u'\n', 0, 0), "Tunelark v" TUNELARK_VERSION);
    EXPECT_TRUE(form.logo().isNull()) << "read only when shown";

    form.show();
    const QPoint at = form.logoPosition();
    // Where the picture shows: the green box found in the window, 15 px from the top and
    // centred on the window's outer width, so its left margin exceeds its right one by the
    // frame's width (a frame is the same on both sides).
    const QImage shot = form.grab().toImage();
    QRect box;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixelColor(x, y) == green)
                box |= QRect(x, y, 1, 1);
    EXPECT_EQ(box.size(), QSize(200, 110));
    EXPECT_EQ(box.top(), 15);
    const int frame = form.frameGeometry().width() - form.width();
    EXPECT_LE(std::abs(box.left() - (shot.width() - 1 - box.right()) - frame), 1)
        << "left margin " << box.left() << ", right margin " << shot.width() - 1 - box.right()
        << ", frame " << frame;
    EXPECT_EQ(box.topLeft(), at);

    form.findChild<QPushButton*>(QStringLiteral("BitBtn2"))->click(); // "Check for Updates"
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toString(QUrl::FullyEncoded),
              "https://u.test/update.htm?product=Tunelark&version=" TUNELARK_VERSION);
    form.findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click(); // "Close"
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.logo().isNull()) << "released when hidden";

    // Without logo.png nothing is drawn in its place.
    QFile::remove(app + QStringLiteral("logo.png"));
    form.show();
    EXPECT_NE(form.grab().toImage().pixelColor(at), green);
}

// Without a release page built in, "Check for Updates" is off and says why; it opens nothing.
TEST(AboutForm, UpdateButtonNeedsAConfiguredPage) {
    tl::test::ensureApp<QApplication>("test_about");
    QTemporaryDir dir;
    const std::pair<const char*, bool> rows[] = {
        {"", false}, {"  ", false}, {"https://u.test/releases", true}};
    for (const auto& [base, enabled] : rows) {
        SCOPED_TRACE(base);
        int opened = 0;
        TAboutForm form(
            {dir.path() + u'/', QStringLiteral("1.0"), QString::fromLatin1(base), [&](const QUrl&) {
                 return ++opened, true;
             }});
        form.show();
        auto* check = form.findChild<QPushButton*>(QStringLiteral("BitBtn2"));
        ASSERT_NE(check, nullptr);
        EXPECT_EQ(check->isEnabled(), enabled);
        EXPECT_EQ(check->toolTip().contains("no release page"), !enabled)
            << check->toolTip().toStdString();
        form.BitBtn2Click(); // as a keyboard shortcut would, past the disabled button
        EXPECT_EQ(opened, enabled ? 1 : 0);
    }
}

// Dragged by the left button only. Where the window manager refuses to move it (as the
// offscreen platform always does) the window follows the pointer itself.
TEST(AboutForm, LeftButtonDragsTheWindow) {
    tl::test::ensureApp<QApplication>("test_about");
    QTemporaryDir dir;
    TAboutForm form({dir.path() + u'/', QStringLiteral("1.0"), QString(), {}});
    form.show();
    form.move(100, 100);
    const QPoint start = form.pos();
    const QPoint grip(20, 20);
    auto mouse = [&](QEvent::Type type, QPoint global, Qt::MouseButton button,
                     Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(global - form.pos()), QPointF(global), button, held,
                      Qt::NoModifier);
        QApplication::sendEvent(&form, &e);
    };
    const QPoint g = start + grip;
    for (const Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton}) {
        mouse(QEvent::MouseButtonPress, g, other, other);
        mouse(QEvent::MouseMove, g + QPoint(40, 30), Qt::NoButton, other);
        mouse(QEvent::MouseButtonRelease, g + QPoint(40, 30), other, Qt::NoButton);
        EXPECT_EQ(form.pos(), start) << "button " << other;
    }
    mouse(QEvent::MouseButtonPress, g, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, g + QPoint(40, 30), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(form.pos(), start + QPoint(40, 30));
    mouse(QEvent::MouseMove, g + QPoint(-25, 60), Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, g + QPoint(-25, 60), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(form.pos(), start + QPoint(-25, 60));
    mouse(QEvent::MouseMove, g + QPoint(200, 200), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(form.pos(), start + QPoint(-25, 60)) << "the release ended the drag";
}

// The text, both buttons and the logo whole at the platform's font and at twice its size: the
// window is at least the classic 359 x 360 with a fixed border, the panel starts below the logo
// and the logo stays centred.
TEST(AboutForm, EveryControlShowsWhole) {
    tl::test::ensureApp<QApplication>("test_about");
    QTemporaryDir dir;
    ASSERT_TRUE(drawLogo().save(dir.filePath(QStringLiteral("logo.png"))));
    const QStringList problems = tl::layout_check::atNormalAndDoubleFont([&](qreal scale) {
        TAboutForm form({dir.path() + u'/',
                         QStringLiteral("10.20.30.40"),
                         QStringLiteral("https://u.test/update.htm"),
                         {}});
        form.show();
        QStringList found =
            tl::layout_check::clippedControls(form, QStringLiteral("about_x%1").arg(scale));
        if (form.width() < 359 || form.height() < 360)
            found << QStringLiteral("smaller than 359x360");
        if (form.minimumSize() != form.maximumSize())
            found << QStringLiteral("a resizable border");
        const QRect logo(form.logoPosition(), form.logo().size());
        auto* panel = form.findChild<QWidget*>(QStringLiteral("AboutPanel"));
        if (logo.bottom() >= panel->y() || logo.left() < 0 || logo.right() >= form.width())
            found << QStringLiteral("the logo at %1,%2 meets the panel or the border")
                         .arg(logo.x())
                         .arg(logo.y());
        return found;
    });
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QStringLiteral("\n")).toStdString();
}
