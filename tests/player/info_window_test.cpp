#include "player/info_window.h"
#include "player/player_controller.h"

#include "../qt_app.h"
#include "../whole_controls.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace tl;

namespace {

// Created once and never destroyed: tearing a QApplication down in static destruction, after
// the platform plugin is gone, crashes.
void app() {
    tl::test::ensureApp<QApplication>("test_info_window");
}

TEST(InfoWindow, FieldsFollowNowPlaying) {
    app();
    struct Case {
        const char* name;
        NowPlaying playing;
        QStringList expected; // Edit1, Edit2, Edit3, Edit5
    };
    auto station = [](QString name, QString info, QString title, QString genre, QString url) {
        NowPlaying p;
        p.StationName = std::move(name);
        p.Info = std::move(info);
        p.StreamTitle = std::move(title);
        p.Genre = std::move(genre);
        p.Url = std::move(url);
        return p;
    };
    const std::vector<Case> cases = {
        {"named station",
         station("Radio X", "info text", "Song - A", "Jazz", "http://h/s"),
         {"Radio X", "Song - A", "Jazz", "http://h/s"}},
        {"started from Last Url shows Info as the name",
         station("", "Last info", "", "", "http://h/last"),
         {"Last info", "", "", "http://h/last"}},
        {"nothing known", NowPlaying{}, {"", "", "", ""}},
    };

    NowPlaying playing;
    TInfoForm form(playing);
    EXPECT_EQ(form.windowTitle(), "Station Information");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        playing = c.playing;
        form.FormShow(); // called on every title, shown or not
        QStringList shown;
        for (const char* edit : {"Edit1", "Edit2", "Edit3", "Edit5"}) {
            auto* field = form.findChild<QLineEdit*>(QString::fromLatin1(edit));
            ASSERT_NE(field, nullptr);
            EXPECT_TRUE(field->isReadOnly());
            shown << field->text();
        }
        EXPECT_EQ(shown, c.expected);
    }
}

// The window is refilled by the title change (shown or not) and when shown; in between it
// keeps what it shows. The song comes through the player's real title path.
TEST(InfoWindow, FollowsTheTitlePath) {
    app();
    audio::Engine engine;
    PlayerSettings settings;
    NowPlaying playing;
    ControlModel controls;
    SkinValues skin;
    playing.StationName = QStringLiteral("First");
    TInfoForm form(playing);
    PlayerController::Links links;
    links.refreshInfoWindow = [&form] {
        form.FormShow();
    };
    PlayerController player(engine, QStringLiteral("/nonexistent/"), settings, playing, controls,
                            skin, std::move(links));
    auto field = [&form](const char* name) {
        return form.findChild<QLineEdit*>(QString::fromLatin1(name))->text();
    };
    form.show();
    EXPECT_EQ(field("Edit1"), "First");
    EXPECT_EQ(field("Edit2"), "");

    player.WM_STREAM_STATUS(ssTitle, QStringLiteral("Artist - Song"));
    EXPECT_EQ(field("Edit2"), "Artist - Song");
    playing.StationName = QStringLiteral("Second");
    player.WM_STREAM_STATUS(ssTitle, QStringLiteral("Artist - Song")); // repeated: no refresh
    EXPECT_EQ(field("Edit1"), "First");
    player.WM_STREAM_STATUS(ssTitle, QStringLiteral("Next - Song"));
    EXPECT_EQ(field("Edit1"), "Second");
    EXPECT_EQ(field("Edit2"), "Next - Song");

    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    playing.Genre = QStringLiteral("Jazz");
    form.show(); // showing refills
    EXPECT_EQ(field("Edit3"), "Jazz");
}

// Labels, fields and "Close" whole at the platform's font and at twice its size, in a window
// at least the classic 377 x 145 with a fixed border; a long address does not widen it.
TEST(InfoWindow, EveryControlShowsWhole) {
    app();
    NowPlaying playing;
    playing.StationName = QStringLiteral("Station");
    playing.StreamTitle = QStringLiteral("Artist - Song");
    playing.Url = QStringLiteral("http://radio.test:8000/") + QString(300, u'x');
    TInfoForm form(playing);
    const QStringList problems = layout_check::atNormalAndDoubleFont([&](qreal scale) {
        form.show();
        QStringList found =
            layout_check::clippedControls(form, QStringLiteral("info_x%1").arg(scale));
        if (form.width() < 377 || form.height() < 145)
            found << QStringLiteral("smaller than 377x145");
        if (form.minimumSize() != form.maximumSize())
            found << QStringLiteral("a resizable border");
        if (form.width() > 2.6 * 377 * scale)
            found << QStringLiteral("widened to %1 by the address").arg(form.width());
        form.hide();
        return found;
    });
    EXPECT_TRUE(problems.isEmpty()) << problems.join(QStringLiteral("\n")).toStdString();
}

} // namespace
