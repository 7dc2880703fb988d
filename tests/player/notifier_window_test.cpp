// The notifier window: one notification at a time, the display timer, clicks, theme loads.

#include "player/notifier_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace tl;

TEST(Notifier, OneAtATimeUntilTheTimerFires) {
    THintForm hint(6000);
    EXPECT_EQ(hint.HintTimer().interval(), 6000);
    EXPECT_FALSE(hint.NotifierShown());
    hint.LoadTheme(QStringLiteral(TL_SOURCE_DIR "/assets/Themes/Nocturne/"), false);
    // A theme load suppresses notifications until the display time has passed once.
    hint.themeLoaded();
    EXPECT_TRUE(hint.NotifierShown());
    hint.showText(QStringLiteral("suppressed"));
    EXPECT_TRUE(hint.text().isEmpty());
    hint.HintTimerTimer();
    EXPECT_FALSE(hint.NotifierShown());
    EXPECT_FALSE(hint.HintTimer().isActive());

    hint.showText(QStringLiteral("First - Song"));
    EXPECT_TRUE(hint.NotifierShown());
    EXPECT_TRUE(hint.HintTimer().isActive());
    EXPECT_EQ(hint.text(), QStringLiteral("First - Song"));
    // Placed against the right edge of the screen and the bottom of the work area.
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(hint.x() + hint.width(), screen->geometry().width());
    EXPECT_EQ(hint.y() + hint.height(),
              screen->availableGeometry().top() + screen->availableGeometry().height());

    hint.showText(QStringLiteral("Second - Song")); // the first stays for its full time
    EXPECT_EQ(hint.text(), QStringLiteral("First - Song"));

    hint.FormClick();
    EXPECT_FALSE(hint.NotifierShown());
    hint.showText(QStringLiteral("Third - Song"));
    EXPECT_EQ(hint.text(), QStringLiteral("Third - Song"));
}

// A failure's reason does not wait: not in the quiet time after a theme load, not behind a
// title that is up, and it gets the full display time.
TEST(Notifier, ShowTextNowReplacesWhatIsUp) {
    THintForm hint(6000);
    hint.LoadTheme(QStringLiteral(TL_SOURCE_DIR "/assets/Themes/Nocturne/"), false);
    hint.themeLoaded();
    hint.showTextNow(QStringLiteral("Server answered 404 Not Found"));
    EXPECT_EQ(hint.text(), QStringLiteral("Server answered 404 Not Found"));
    EXPECT_TRUE(hint.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !hint.fading(); }, 5000));

    hint.showTextNow(QStringLiteral("No audio in this stream"));
    EXPECT_EQ(hint.text(), QStringLiteral("No audio in this stream"));
    EXPECT_TRUE(hint.HintTimer().isActive());
    EXPECT_GT(hint.HintTimer().remainingTime(), 5000);
    hint.showText(QStringLiteral("A - Title")); // titles still wait their turn
    EXPECT_EQ(hint.text(), QStringLiteral("No audio in this stream"));
    hint.HintTimerTimer();
    EXPECT_FALSE(hint.NotifierShown());
}

// Only a left click closes it; a display time of 0 or less takes the default, so the quiet
// time after a theme load ends and notifications keep their time on screen.
TEST(Notifier, LeftClickClosesAndTheDisplayTimeIsNeverZero) {
    const struct {
        int delay;
        int interval;
    } delays[] = {{-1, 6000}, {0, 6000}, {1, 1}, {2500, 2500}};
    for (const auto& row : delays) {
        THintForm hint(row.delay);
        EXPECT_EQ(hint.HintTimer().interval(), row.interval) << row.delay;
        hint.themeLoaded();
        EXPECT_TRUE(hint.HintTimer().isActive()) << row.delay;
    }

    THintForm hint(6000);
    hint.LoadTheme(QStringLiteral(TL_SOURCE_DIR "/assets/Themes/Daybreak/"), false);
    hint.showText(QStringLiteral("Title"));
    ASSERT_TRUE(hint.NotifierShown());
    const QPoint inside(hint.width() / 2, hint.height() / 2);
    auto click = [&](QPoint at, Qt::MouseButton button) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), hint.mapToGlobal(QPointF(at)),
                          button, button, Qt::NoModifier);
        QApplication::sendEvent(&hint, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), hint.mapToGlobal(QPointF(at)),
                            button, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&hint, &release);
    };
    // On the label, then on the background: neither the right nor the middle button closes.
    for (const QPoint at : {inside, QPoint(1, 1)}) {
        hint.showText(QStringLiteral("Title"));
        for (const Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
            click(at, button);
            EXPECT_TRUE(hint.NotifierShown()) << at.x() << " button " << button;
        }
        click(at, Qt::LeftButton);
        EXPECT_FALSE(hint.NotifierShown()) << at.x();
    }
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
