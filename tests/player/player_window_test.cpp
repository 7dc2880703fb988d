// The player window offscreen with the shipped Daybreak theme and the real controller: the
// volume slider under the mouse, dragging the window, wheel steps, double-clicks, minimising
// and restoring (nothing drawn meanwhile), and the favourites submenu.

#include "player/player_window.h"
#include "skin/knob_widget.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolTip>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace tl;

namespace {

struct Player {
    QTemporaryDir dir;
    audio::Engine engine;
    PlayerSettings settings;
    NowPlaying now;
    std::unique_ptr<TForm1> window;
    std::unique_ptr<PlayerController> controller;
    int managerShown = 0;
    QStringList played;
    // The favourites the submenu is built from, and the largest request made of them.
    std::function<QList<TForm1::FavouritesMenuGroup>(int, int)> favourites;
    int askedGroups = 0;
    int askedStations = 0;

    Player() {
        TForm1::Links links;
        links.showStationManager = [this] {
            ++managerShown;
        };
        links.favouritesMenu = [this](int groups, int stations) {
            askedGroups = std::max(askedGroups, groups);
            askedStations = std::max(askedStations, stations);
            return favourites ? favourites(groups, stations) : QList<TForm1::FavouritesMenuGroup>{};
        };
        links.playFavourite = [this](const QString& name, const QString& url) {
            played << name + u'|' + url;
        };
        window = std::make_unique<TForm1>(dir.path() + u'/', std::move(links));
        controller = std::make_unique<PlayerController>(engine, dir.path() + u'/', settings, now,
                                                        window->controls(), window->compositor(),
                                                        PlayerController::Links{});
        window->attach(*controller);
        engine.setGlobalStreamVolume(50);
        window->LoadSkin(QStringLiteral(TL_SOURCE_DIR "/assets/Themes/Daybreak/"));
        window->move(100, 100);
        window->show();
        window->setWindowOpacity(1.0);
    }

    SkinControl& control(const char* name) {
        return *window->controls().find(QString::fromLatin1(name));
    }
    QPoint centre(const char* name) { return control(name).bounds.center(); }

    // A mouse event at a window point; the global position follows the window's place.
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::NoButton,
               Qt::MouseButtons held = Qt::NoButton) {
        QMouseEvent e(type, QPointF(at), QPointF(window->pos() + at), button, held, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &e);
    }
    // A mouse event at a screen point (the window may move under it).
    void mouseGlobal(QEvent::Type type, QPoint global, Qt::MouseButton button,
                     Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(global - window->pos()), QPointF(global), button, held,
                      Qt::NoModifier);
        QApplication::sendEvent(window.get(), &e);
    }
    void click(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        mouse(QEvent::MouseButtonPress, at, button, button);
        mouse(QEvent::MouseButtonRelease, at, button);
    }
    void wheel(int delta) {
        const QPointF at(20, 60);
        QWheelEvent e(at, window->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window.get(), &e);
    }
    QImage thumbArea() {
        const SkinControl& s = control("TrackBar1");
        return window->compositor().surface().copy(QRect(s.bounds.left(), s.bounds.top(),
                                                         s.bounds.width() + s.bounds.height(),
                                                         s.bounds.height()));
    }
};

TEST(PlayerWindow, VolumeSliderFollowsTheDrawnThumbAndAHeldButton) {
    Player p;
    SkinControl& slider = p.control("TrackBar1");
    ASSERT_TRUE(slider.visible) << "Daybreak has the slider with a thumb";
    ASSERT_EQ(slider.thumbSize, QSize(14, 14));
    p.window->knob()->setPosition(5);
    const int y = slider.bounds.center().y();
    // The centre of the thumb drawn at each position selects that position.
    auto thumbCentre = [&](int position) {
        SkinControl at = slider;
        at.position = position;
        return static_cast<int>(sliderThumbLeft(at) + slider.thumbSize.width() / 2.0);
    };
    for (int position : {0, 1, 2, 5, 8, 9, 10, 3}) {
        p.click({thumbCentre(position), y});
        EXPECT_EQ(p.window->knob()->position(), position);
        EXPECT_EQ(slider.position, position);
        EXPECT_EQ(p.engine.globalStreamVolume(), position * 10);
    }

    // Dragging: the thumb follows while the left button is held, also past either end.
    p.mouse(QEvent::MouseButtonPress, {thumbCentre(3), y}, Qt::LeftButton, Qt::LeftButton);
    const struct {
        int x;
        int position;
    } drag[] = {{thumbCentre(7), 7},
                {thumbCentre(4), 4},
                {slider.bounds.right() + 80, 10},
                {slider.bounds.left() - 80, 0},
                {thumbCentre(6), 6}};
    for (const auto& step : drag) {
        p.mouse(QEvent::MouseMove, {step.x, y + 30}, Qt::NoButton, Qt::LeftButton);
        EXPECT_EQ(p.window->knob()->position(), step.position) << step.x;
    }
    p.mouse(QEvent::MouseButtonRelease, {thumbCentre(6), y}, Qt::LeftButton);
    p.mouse(QEvent::MouseMove, {thumbCentre(9), y});
    EXPECT_EQ(p.window->knob()->position(), 6) << "no button held: the thumb stays";
    // A right press does not move it.
    p.click({thumbCentre(1), y}, Qt::RightButton);
    EXPECT_EQ(p.window->knob()->position(), 6);

    // The hover thumb is drawn when the pointer comes over the slider and goes with it.
    p.mouse(QEvent::MouseMove, {20, 20});
    const QImage away = p.thumbArea();
    p.mouse(QEvent::MouseMove, {slider.bounds.left() + 1, y});
    const QImage over = p.thumbArea();
    EXPECT_NE(away, over);
    p.mouse(QEvent::MouseMove, {20, 20});
    EXPECT_EQ(p.thumbArea(), away);
}

TEST(PlayerWindow, DragsItselfWhereTheSystemMoveIsRefusedAndSnaps) {
    Player p;
    const QRect work = p.window->screen()->availableGeometry();
    const QPoint start = p.window->pos();
    // The background left of the buttons: no control, no visualisation.
    const QPoint grip(8, 60);
    ASSERT_EQ(p.window->controls().hitTest(grip), nullptr);
    const QPoint g = start + grip;
    p.mouseGlobal(QEvent::MouseButtonPress, g, Qt::LeftButton, Qt::LeftButton);
    p.mouseGlobal(QEvent::MouseMove, g + QPoint(3, 2), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(p.window->pos(), start) << "within the drag distance nothing moves";
    p.mouseGlobal(QEvent::MouseMove, g + QPoint(40, 30), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(p.window->pos(), start + QPoint(40, 30));
    // Within 8 pixels of the work area's top-left corner it sticks to it.
    const QPoint nearCorner = work.topLeft() + QPoint(5, 6) - start;
    p.mouseGlobal(QEvent::MouseMove, g + nearCorner, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(p.window->pos(), work.topLeft());
    p.mouseGlobal(QEvent::MouseMove, g + QPoint(60, 50), Qt::NoButton, Qt::LeftButton);
    p.mouseGlobal(QEvent::MouseButtonRelease, g + QPoint(60, 50), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(p.window->pos(), start + QPoint(60, 50));
    p.mouseGlobal(QEvent::MouseMove, g + QPoint(200, 200), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(p.window->pos(), start + QPoint(60, 50)) << "the release ended the drag";

    // The time label: a click toggles info scrolling, a drag moves and does not toggle, the
    // right button drags nothing and opens the menu.
    const bool scroll = p.controller->settingsScrollInfo();
    p.click(p.centre("Label7"));
    EXPECT_NE(p.controller->settingsScrollInfo(), scroll);
    const QPoint before = p.window->pos();
    const QPoint t = before + p.centre("Label7");
    p.mouseGlobal(QEvent::MouseButtonPress, t, Qt::LeftButton, Qt::LeftButton);
    p.mouseGlobal(QEvent::MouseMove, t + QPoint(-30, 20), Qt::NoButton, Qt::LeftButton);
    p.mouseGlobal(QEvent::MouseButtonRelease, t + QPoint(-30, 20), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(p.window->pos(), before + QPoint(-30, 20));
    EXPECT_NE(p.controller->settingsScrollInfo(), scroll) << "a drag is not a click";
    const QPoint r = p.window->pos() + p.centre("Label7");
    p.mouseGlobal(QEvent::MouseButtonPress, r, Qt::RightButton, Qt::RightButton);
    p.mouseGlobal(QEvent::MouseMove, r + QPoint(40, 40), Qt::NoButton, Qt::RightButton);
    p.mouseGlobal(QEvent::MouseButtonRelease, r, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(p.window->pos(), before + QPoint(-30, 20));
    EXPECT_TRUE(p.window->PopupMenu1()->isVisible());
    p.window->PopupMenu1()->hide();
}

TEST(PlayerWindow, WheelStepsAndDoubleClicks) {
    // Wheel units add up to whole steps of 120, either way.
    const struct {
        std::vector<int> deltas;
        int steps;
    } wheels[] = {
        {{120}, 1},          {{240}, 2},         {{-120}, -1},     {{40, 40}, 0},
        {{40, 40, 40}, 1},   {{60, -60, 60}, 0}, {{-90, -30}, -1}, {{15, 15, 15, 15, 15}, 0},
        {{100, 100, 100}, 2}};
    for (const auto& row : wheels) {
        Player p;
        p.window->knob()->setPosition(5);
        for (int d : row.deltas) {
            p.wheel(d);
        }
        EXPECT_EQ(p.window->knob()->position(), 5 + row.steps) << row.deltas.size();
        EXPECT_EQ(p.control("TrackBar1").position, 5 + row.steps);
    }

    // A double-click on mute is two presses, one click: the second does not undo the first.
    Player p;
    const QPoint mute = p.centre("Label9");
    p.click(mute);
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(mute), QPointF(p.window->pos() + mute),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(p.window.get(), &twice);
    p.mouse(QEvent::MouseButtonRelease, mute, Qt::LeftButton);
    EXPECT_EQ(p.controller->stateImages().mute, QStringLiteral("31.png"));
    EXPECT_EQ(p.engine.globalStreamVolume(), 0);
}

TEST(PlayerWindow, MinimiseFadesOutAndRestoringNeverFlashes) {
    Player p;
    // Idle with nothing moving, the tick stops itself; the pointer wakes it.
    ASSERT_TRUE(test::waitUntil([&] { return !p.controller->Timer1().isActive(); }, 5000));
    p.mouse(QEvent::MouseMove, {5, 5});
    EXPECT_TRUE(p.controller->Timer1().isActive());

    p.window->minButtonClick();
    EXPECT_TRUE(p.window->fading());
    EXPECT_TRUE(p.window->isVisible());
    EXPECT_FALSE(p.window->isMinimized()) << "it fades before it goes";
    ASSERT_TRUE(test::waitUntil([&] { return p.window->isMinimized(); }, 5000));
    EXPECT_EQ(p.window->windowOpacity(), 0.0);
    // Minimised, nothing is drawn: the tick stops itself and refreshes wait for the window.
    ASSERT_TRUE(test::waitUntil([&] { return !p.controller->Timer1().isActive(); }, 5000));
    ASSERT_TRUE(p.control("Label7").visible);
    const QImage hidden = p.window->compositor().surface().copy();
    p.control("Label7").caption = QStringLiteral("12:34");
    Q_EMIT p.controller->refreshRequested();
    EXPECT_EQ(p.window->compositor().surface(), hidden);

    // Whenever the window is shown or comes back from being minimised, it is transparent.
    struct Watch : QObject {
        double worst = 0;
        bool eventFilter(QObject* o, QEvent* e) override {
            const auto* w = static_cast<QWidget*>(o);
            if (e->type() == QEvent::Show ||
                (e->type() == QEvent::WindowStateChange && !w->isMinimized())) {
                worst = std::max(worst, w->windowOpacity());
            }
            return false;
        }
    } watch;
    p.window->installEventFilter(&watch);
    p.window->TrayIconClick();
    EXPECT_FALSE(p.window->isMinimized());
    EXPECT_TRUE(p.window->isVisible());
    EXPECT_LT(watch.worst, 0.05);
    EXPECT_TRUE(p.controller->Timer1().isActive()) << "the tick runs again";
    EXPECT_NE(p.window->compositor().surface(), hidden) << "the skipped refresh is drawn";
    ASSERT_TRUE(test::waitUntil([&] { return !p.window->fading(); }, 5000));
    EXPECT_EQ(p.window->windowOpacity(), 1.0);

    // Restored by the window manager instead: it fades in too.
    p.window->minButtonClick();
    ASSERT_TRUE(test::waitUntil([&] { return p.window->isMinimized(); }, 5000));
    p.window->setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(p.window->fading());
    ASSERT_TRUE(test::waitUntil([&] { return !p.window->fading(); }, 5000));
    // Minimised by the window manager's own command, without the fade: restored, it still
    // comes back transparent.
    watch.worst = 0;
    p.window->setWindowState(Qt::WindowMinimized);
    p.window->setWindowState(Qt::WindowNoState);
    EXPECT_LT(watch.worst, 0.05);
    EXPECT_TRUE(p.window->fading());
    ASSERT_TRUE(test::waitUntil([&] { return !p.window->fading(); }, 5000));
    EXPECT_EQ(p.window->windowOpacity(), 1.0);
    p.window->removeEventFilter(&watch);
}

TEST(PlayerWindow, ToolTipsNameTheControlsAndTheirKeys) {
    Player p;
    const struct {
        const char* control;
        const char* tip; // empty: no tip over this control
    } rows[] = {
        {"Button1", "Play/Stop (Space)"},
        {"Label1", "Previous station"},
        {"Label2", "Next station"},
        {"Label6", "Stations"},
        {"RecLabel", "Record"}, // disabled until a stream plays, still explained
        {"Label9", "Mute (M)"},
        {"TrackBar1", "Volume (Up/Down, mouse wheel)"},
        {"minButton", "Minimise"},
        {"closeButton", "Close"},
        {"Label3", ""}, // the song title shows its own text
        {"Label7", ""},
        {"Button1", "Play/Stop (Space)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.control);
        const SkinControl& c = p.control(row.control);
        if (!c.visible) {
            continue; // not in this theme
        }
        QHelpEvent help(QEvent::ToolTip, c.bounds.center(),
                        p.window->mapToGlobal(c.bounds.center()));
        QApplication::sendEvent(p.window.get(), &help);
        if (*row.tip != 0) {
            EXPECT_TRUE(QToolTip::isVisible());
            EXPECT_EQ(QToolTip::text(), QString::fromLatin1(row.tip));
        } else {
            EXPECT_TRUE(test::waitUntil([] { return !QToolTip::isVisible(); }, 5000));
        }
    }
    EXPECT_EQ(p.window->knob()->toolTip(), QStringLiteral("Volume (Up/Down, mouse wheel)"));
    // Over the bare background the tip goes too.
    QHelpEvent play(QEvent::ToolTip, p.centre("Button1"),
                    p.window->mapToGlobal(p.centre("Button1")));
    QApplication::sendEvent(p.window.get(), &play);
    ASSERT_TRUE(QToolTip::isVisible());
    QHelpEvent background(QEvent::ToolTip, QPoint(8, 60), p.window->mapToGlobal(QPoint(8, 60)));
    QApplication::sendEvent(p.window.get(), &background);
    EXPECT_TRUE(test::waitUntil([] { return !QToolTip::isVisible(); }, 5000));
}

TEST(PlayerWindow, SpacePlaysAndMTogglesMute) {
    Player p;
    auto key = [&](int code, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier,
                   bool repeat = false) {
        QKeyEvent e(QEvent::KeyPress, code, mods, text, repeat);
        QApplication::sendEvent(p.window.get(), &e);
    };
    const struct {
        int code;
        const char* text;
        Qt::KeyboardModifiers mods;
        bool repeat;
        const char* mute; // the mute image afterwards
        bool plays;       // a play command started
    } rows[] = {
        {Qt::Key_M, "m", Qt::NoModifier, false, "31.png", false},
        {Qt::Key_M, "m", Qt::NoModifier, true, "31.png", false}, // a held key toggles once
        {Qt::Key_M, "M", Qt::NoModifier, false, "3.png", false},
        {Qt::Key_M, "M", Qt::ControlModifier, false, "3.png", false},
        {Qt::Key_Space, " ", Qt::ShiftModifier, false, "3.png", false},
        {Qt::Key_Space, " ", Qt::NoModifier, true, "3.png", false},
        {Qt::Key_Space, " ", Qt::NoModifier, false, "3.png", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.text) + (row.repeat ? " repeated" : ""));
        key(row.code, QString::fromLatin1(row.text), row.mods, row.repeat);
        EXPECT_EQ(p.controller->stateImages().mute, QString::fromLatin1(row.mute));
        EXPECT_EQ(p.controller->Busy(), row.plays);
        ASSERT_TRUE(test::waitUntil([&] { return !p.controller->Busy(); }, 20000));
    }
    EXPECT_EQ(p.control("Label4").caption, QStringLiteral("stopped"));
    // While a play command runs the play control is disabled, and Space waits with it.
    p.control("Button1").enabled = false;
    key(Qt::Key_Space, QStringLiteral(" "));
    EXPECT_FALSE(p.controller->Busy());
}

TEST(PlayerWindow, FavouritesSubmenuIsBuiltWhenOpenedAndBounded) {
    Player p;
    // 100,000 stations in the first group and 1,000 groups.
    static constexpr int kGroups = 1000;
    static constexpr int kStations = 100000;
    p.favourites = [](int maxGroups, int maxStations) {
        QList<TForm1::FavouritesMenuGroup> groups;
        for (int g = 0; g < std::min(kGroups, maxGroups); ++g) {
            TForm1::FavouritesMenuGroup group{QStringLiteral("Group %1").arg(g), {}};
            const int stations = g == 0 ? kStations : 2;
            for (int s = 0; s < std::min(stations, maxStations); ++s) {
                group.stations.append({QStringLiteral("Station %1.%2").arg(g).arg(s),
                                       QStringLiteral("http://127.0.0.1:1/%1/%2").arg(g).arg(s)});
            }
            groups.append(group);
        }
        return groups;
    };
    QMenu* menu = p.window->PopupMenu1()->findChild<QMenu*>(QStringLiteral("Favourites1"));
    ASSERT_NE(menu, nullptr);
    p.window->ShowPlayerMenu(false, QPoint(10, 10));
    EXPECT_TRUE(menu->actions().isEmpty()) << "nothing is built until the submenu opens";
    EXPECT_EQ(p.askedGroups, 0);

    constexpr int kLimit = TForm1::kFavouritesMenuLimit;
    for (int showing = 0; showing < 3; ++showing) {
        Q_EMIT menu->aboutToShow();
        EXPECT_LE(p.askedGroups, kLimit + 1);
        EXPECT_LE(p.askedStations, kLimit + 1);
        const QList<QAction*> items = menu->actions();
        ASSERT_EQ(items.size(), kLimit + 2); // the groups, a separator, "More..."
        EXPECT_EQ(menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), kLimit)
            << "the submenus of an earlier showing are gone";
        EXPECT_EQ(items[1]->text(), QStringLiteral("Group 1"));
        EXPECT_EQ(items.last()->text(), QStringLiteral("More..."));
    }
    QAction* first = menu->actions().first();
    ASSERT_NE(first->menu(), nullptr);
    EXPECT_TRUE(first->menu()->actions().isEmpty()) << "a group's stations wait for it to open";
    Q_EMIT first->menu()->aboutToShow();
    const QList<QAction*> stations = first->menu()->actions();
    ASSERT_EQ(stations.size(), kLimit + 2);
    EXPECT_EQ(stations[1]->text(), QStringLiteral("Station 0.1"));
    EXPECT_EQ(stations[1]->toolTip(), QStringLiteral("http://127.0.0.1:1/0/1"));
    // Images: the group's and the station's, different from each other.
    ASSERT_FALSE(first->icon().isNull());
    ASSERT_FALSE(stations[1]->icon().isNull());
    EXPECT_NE(first->icon().pixmap(16, 16).toImage(), stations[1]->icon().pixmap(16, 16).toImage());
    EXPECT_LT(menu->findChildren<QAction*>().size(), 3 * kLimit + 10);

    stations[1]->trigger();
    EXPECT_EQ(p.played, QStringList{QStringLiteral("Station 0.1|http://127.0.0.1:1/0/1")});
    stations.last()->trigger();
    menu->actions().last()->trigger();
    EXPECT_EQ(p.managerShown, 2);

    // A small group: all its stations, no "More...".
    QAction* second = menu->actions()[1];
    Q_EMIT second->menu()->aboutToShow();
    EXPECT_EQ(second->menu()->actions().size(), 2);
    p.window->PopupMenu1()->hide();
}

TEST(PlayerWindow, FavouritesMenuShowsAmpersandsAsText) {
    Player p;
    p.favourites = [](int, int) {
        return QList<TForm1::FavouritesMenuGroup>{
            {QStringLiteral("News & Talk"),
             {{QStringLiteral("Rock && Roll &"), QStringLiteral("http://127.0.0.1:1/a")}}}};
    };
    QMenu* menu = p.window->PopupMenu1()->findChild<QMenu*>(QStringLiteral("Favourites1"));
    ASSERT_NE(menu, nullptr);
    Q_EMIT menu->aboutToShow();
    QAction* group = menu->actions().first();
    EXPECT_EQ(group->text(), QStringLiteral("News && Talk"));
    ASSERT_NE(group->menu(), nullptr);
    Q_EMIT group->menu()->aboutToShow();
    QAction* station = group->menu()->actions().first();
    EXPECT_EQ(station->text(), QStringLiteral("Rock &&&& Roll &&"));
    station->trigger();
    EXPECT_EQ(p.played, QStringList{QStringLiteral("Rock && Roll &|http://127.0.0.1:1/a")})
        << "the station plays under its own name";
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
