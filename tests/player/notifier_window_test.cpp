// The notifier window: one notification at a time, the display timer, clicks, theme loads.

#include "player/notifier_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

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

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
