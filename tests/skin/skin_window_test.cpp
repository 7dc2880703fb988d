// The skinned window base and the knob widget, offscreen: presentation, pointer handling,
// pressed marker, fades, mask and the attached knob.

#include "skin/knob_widget.h"
#include "skin/skin_window.h"

#include "../qt_app.h"
#include "skin_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalSpy>

namespace tl {
namespace {

using test::kDisabled;
using test::kHover;
using test::kNormal;
using test::kPressed;

using test::near;

void ensureApp() {
    test::ensureApp<QApplication>("skin_gui_test");
}

// Runs the event loop until pred holds or a generous bound passes.
template <typename Pred> bool waitFor(Pred pred, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return pred();
}

void send(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::NoButton) {
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons();
    QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

class SkinWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApp();
        QImage bg(120, 60, QImage::Format_ARGB32);
        bg.fill(Qt::transparent);
        for (int y = 10; y < 50; ++y) {
            for (int x = 10; x < 110; ++x) {
                bg.setPixelColor(x, y, QColor(30, 30, 30));
            }
        }
        dir.image(QStringLiteral("background.png"), bg);
        dir.image(QStringLiteral("5.png"),
                  test::solidStrip(20, 20, {kNormal, kHover, kPressed, kDisabled}));
        QImage knob(11 * 16, 16, QImage::Format_ARGB32);
        for (int n = 0; n < 11; ++n) {
            for (int x = 0; x < 16; ++x) {
                for (int y = 0; y < 16; ++y) {
                    knob.setPixelColor(n * 16 + x, y, QColor(0, n * 20, 200));
                }
            }
        }
        dir.image(QStringLiteral("20.png"), knob);
        dir.ini("[play]\nvisible=1\nx=20\ny=20\n[volume]\ntype=1\nx=80\ny=20\n");

        window = std::make_unique<SkinWindow>(SkinRole::Player);
        SkinControl play = test::label("Button1", 105, "play", "play");
        play.pressable = true;
        window->controls().add(play);
        SkinControl volume = test::volume("Volume", SkinControlKind::Knob);
        volume.bounds = QRect(0, 0, 40, 40);
        window->controls().add(volume);
        window->setHoverFadeOnLeave(true);
        window->LoadTheme(dir.path(), false);
    }
    QColor pixel(int x, int y) const { return window->compositor().surface().pixelColor(x, y); }
    SkinControl& play() { return *window->controls().find(u"Button1"); }

    test::ThemeDir dir;
    std::unique_ptr<SkinWindow> window;
};

TEST_F(SkinWindowTest, SizedByTheBackgroundAndPaintsTheImage) {
    EXPECT_EQ(window->size(), QSize(120, 60));
    EXPECT_TRUE(window->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    window->show();
    const QImage shot = window->grab().toImage();
    EXPECT_TRUE(near(shot.pixelColor(25, 25), kNormal));
    EXPECT_TRUE(near(shot.pixelColor(50, 40), QColor(30, 30, 30)));
}

TEST_F(SkinWindowTest, HoverThenLeaveStartsTheCrossFade) {
    window->show();
    send(window.get(), QEvent::MouseMove, {25, 25});
    EXPECT_TRUE(near(pixel(25, 25), kHover));
    send(window.get(), QEvent::MouseMove, {60, 45});
    EXPECT_EQ(window->compositor().hoverFadeOf(play().componentIndex), 100);
    EXPECT_TRUE(near(pixel(25, 25), kHover)); // fade 100: all hover frame
    window->compositor().HoverFade[static_cast<size_t>(play().componentIndex)] = 0;
    window->Refresh();
    EXPECT_TRUE(near(pixel(25, 25), kNormal));
}

TEST_F(SkinWindowTest, PressShowsThePressedFrameAndClicks) {
    window->show();
    QSignalSpy clicked(window.get(), &SkinWindow::controlClicked);
    QSignalSpy background(window.get(), &SkinWindow::backgroundPressed);
    send(window.get(), QEvent::MouseMove, {25, 25});
    send(window.get(), QEvent::MouseButtonPress, {25, 25}, Qt::LeftButton);
    EXPECT_TRUE(play().pressed);
    EXPECT_TRUE(near(pixel(25, 25), kPressed));
    send(window.get(), QEvent::MouseButtonRelease, {26, 26}, Qt::LeftButton);
    EXPECT_FALSE(play().pressed);
    EXPECT_TRUE(near(pixel(25, 25), kHover));
    EXPECT_EQ(clicked.count(), 1);

    // Released elsewhere: no click, the pressed marker still goes.
    send(window.get(), QEvent::MouseButtonPress, {25, 25}, Qt::LeftButton);
    send(window.get(), QEvent::MouseButtonRelease, {60, 45}, Qt::LeftButton);
    EXPECT_FALSE(play().pressed);
    EXPECT_EQ(clicked.count(), 1);

    // A disabled button passes the press to the window and shows frame 3 under the pointer.
    play().enabled = false;
    window->Refresh();
    send(window.get(), QEvent::MouseButtonPress, {25, 25}, Qt::LeftButton);
    EXPECT_FALSE(play().pressed);
    EXPECT_EQ(background.count(), 1);
    EXPECT_TRUE(near(pixel(25, 25), kDisabled));
}

TEST_F(SkinWindowTest, StateImageAndMissingFileStillRefresh) {
    dir.image(QStringLiteral("51.png"),
              test::solidStrip(20, 20, {Qt::white, kHover, kPressed, kDisabled}));
    window->SetStateImage(u"play", QStringLiteral("51.png"));
    EXPECT_TRUE(near(pixel(25, 25), Qt::white));
    play().enabled = false;
    window->SetStateImage(u"play", QStringLiteral("nothing.png"));
    EXPECT_TRUE(near(pixel(25, 25), kDisabled));
}

TEST_F(SkinWindowTest, FadesDoNotBlockAndEndWhereTheySay) {
    QElapsedTimer t;
    t.start();
    window->FadeIn();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->fading());
    ASSERT_TRUE(waitFor([&] { return !window->fading(); }));
    EXPECT_DOUBLE_EQ(window->windowOpacity(), 1.0);

    QSignalSpy faded(window.get(), &SkinWindow::fadeOutFinished);
    window->FadeOut(false);
    ASSERT_TRUE(waitFor([&] { return faded.count() == 1; }));
    EXPECT_TRUE(window->isVisible()); // shown, fully transparent
    EXPECT_DOUBLE_EQ(window->windowOpacity(), 0.0);

    window->FadeIn();
    window->FadeOut(true); // replaces the running fade
    ASSERT_TRUE(waitFor([&] { return !window->isVisible(); }));
    EXPECT_EQ(faded.count(), 2);
}

TEST_F(SkinWindowTest, MaskFollowsTheAlpha) {
    window->setMaskMode(SkinWindow::MaskMode::Never);
    EXPECT_FALSE(window->maskActive());
    window->setMaskMode(SkinWindow::MaskMode::Always);
    ASSERT_TRUE(window->maskActive());
    EXPECT_TRUE(window->mask().contains(QPoint(10, 10)));
    EXPECT_TRUE(window->mask().contains(QPoint(109, 49)));
    EXPECT_FALSE(window->mask().contains(QPoint(5, 5)));
    EXPECT_FALSE(window->mask().contains(QPoint(110, 30)));
    // Offscreen is not X11: nothing to cut there.
    window->setMaskMode(SkinWindow::MaskMode::Auto);
    EXPECT_FALSE(window->maskActive());
}

TEST_F(SkinWindowTest, AttachedKnobTakesInputWhileTheCompositorDrawsIt) {
    auto* knob = new TKnob;
    knob->setObjectName(QStringLiteral("Volume"));
    knob->setRange(0, 10);
    knob->setPosition(3);
    window->attachKnob(knob);
    window->show();
    EXPECT_EQ(knob->parentWidget(), window.get());
    EXPECT_EQ(knob->geometry(), QRect(80, 20, 16, 16));
    EXPECT_TRUE(knob->isVisible());
    EXPECT_FALSE(knob->paintsFace());
    EXPECT_EQ(window->controls().find(u"Volume")->position, 3);

    QKeyEvent up(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
    QApplication::sendEvent(knob, &up);
    EXPECT_EQ(knob->position(), 10);
    EXPECT_EQ(window->controls().find(u"Volume")->position, 10);
    EXPECT_TRUE(near(pixel(85, 25), QColor(0, 200, 200)));

    // A theme with the slider hides the knob widget too.
    dir.ini("[play]\nvisible=1\nx=20\ny=20\n[volume]\ntype=0\nx=80\ny=20\n");
    window->LoadTheme(dir.path(), false);
    EXPECT_FALSE(knob->isVisible());
}

// The slider drawn as eleven frames (type 2): a press and a drag with the left button select
// the share of its width under the pointer; a double-click on a button is not a second click.
TEST_F(SkinWindowTest, FrameSliderFollowsTheButtonAndDoubleClicksCountOnce) {
    SkinControl slider = test::volume("TrackBar1", SkinControlKind::Slider);
    window->controls().add(slider);
    dir.ini("[play]\nvisible=1\nx=20\ny=20\n[volume]\ntype=2\nx=60\ny=20\n");
    window->LoadTheme(dir.path(), false);
    SkinControl& s = *window->controls().find(u"TrackBar1");
    ASSERT_EQ(s.bounds, QRect(60, 20, 16, 16)); // one frame of 11 * 16
    QSignalSpy moved(window.get(), &SkinWindow::sliderMoved);
    auto follow = [&](QEvent::Type type, int x, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(x, 25), window->mapToGlobal(QPointF(x, 25)), button, held,
                      Qt::NoModifier);
        QApplication::sendEvent(window.get(), &e);
        if (!moved.isEmpty()) {
            s.position = moved.takeLast().at(1).toInt(); // as the player applies it
        }
        return s.position;
    };
    EXPECT_EQ(follow(QEvent::MouseButtonPress, 68, Qt::LeftButton, Qt::LeftButton), 5);
    EXPECT_EQ(follow(QEvent::MouseMove, 75, Qt::NoButton, Qt::LeftButton), 9);
    EXPECT_EQ(follow(QEvent::MouseMove, 200, Qt::NoButton, Qt::LeftButton), 10);
    EXPECT_EQ(follow(QEvent::MouseMove, 0, Qt::NoButton, Qt::LeftButton), 0);
    EXPECT_EQ(follow(QEvent::MouseButtonRelease, 63, Qt::LeftButton, Qt::NoButton), 0);
    EXPECT_EQ(follow(QEvent::MouseMove, 70, Qt::NoButton, Qt::NoButton), 0);
    EXPECT_EQ(follow(QEvent::MouseButtonPress, 70, Qt::RightButton, Qt::RightButton), 0);

    QSignalSpy clicked(window.get(), &SkinWindow::controlClicked);
    send(window.get(), QEvent::MouseButtonPress, {25, 25}, Qt::LeftButton);
    send(window.get(), QEvent::MouseButtonRelease, {25, 25}, Qt::LeftButton);
    send(window.get(), QEvent::MouseButtonDblClick, {25, 25}, Qt::LeftButton);
    send(window.get(), QEvent::MouseButtonRelease, {25, 25}, Qt::LeftButton);
    EXPECT_EQ(clicked.count(), 1);
}

TEST(KnobWidget, ResizeKeepsItSquareAndLabelFollows) {
    ensureApp();
    QWidget parent;
    auto* knob = new TKnob(&parent);
    auto* label = new QLabel(&parent);
    knob->setRange(0, 10);
    knob->setCaption(QStringLiteral("vol"));
    knob->setPositionLabel(label);
    parent.show();
    knob->resize(32, 32);
    EXPECT_EQ(knob->size(), QSize(32, 32));
    knob->resize(32, 40); // from 32: grows
    EXPECT_EQ(knob->size(), QSize(40, 40));
    knob->resize(32, 40); // from 40: shrinks
    EXPECT_EQ(knob->size(), QSize(32, 32));
    QSignalSpy changed(knob, &TKnob::changed);
    knob->setPosition(4);
    EXPECT_EQ(label->text(), u"4 vol");
    EXPECT_EQ(changed.count(), 1);

    // Dragging from the top of the knob: a press inside the circle takes the focus.
    send(knob, QEvent::MouseButtonPress, {16, 2}, Qt::LeftButton);
    EXPECT_EQ(knob->position(), 5);
    send(knob, QEvent::MouseButtonRelease, {16, 2}, Qt::LeftButton);

    // Wheel: one step per notch; disabled wheels go to the parent.
    QWheelEvent wheel(QPointF(16, 16), knob->mapToGlobal(QPointF(16, 16)), QPoint(), QPoint(0, 240),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(knob, &wheel);
    EXPECT_EQ(knob->position(), 7);
    knob->setWheelEnabled(false);
    QApplication::sendEvent(knob, &wheel);
    EXPECT_EQ(knob->position(), 7);

    delete label; // the knob forgets a destroyed label
    knob->setPosition(1);
    EXPECT_EQ(knob->positionLabel(), nullptr);

    // Its own painting on an ordinary window: the parent's colour in the corners, the face
    // inside a dark ring, and the pointer in its line colour where position 1 points (210
    // degrees: left and a little down), nowhere on the other side.
    QPalette pal = knob->palette();
    pal.setColor(QPalette::Window, QColor(255, 0, 255));
    pal.setColor(QPalette::Button, QColor(200, 200, 200));
    knob->setPalette(pal);
    knob->setLineColor(QColor(255, 0, 0));
    const QImage shot = knob->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(32, 32));
    EXPECT_TRUE(near(shot.pixelColor(0, 0), QColor(255, 0, 255)));
    EXPECT_TRUE(near(shot.pixelColor(31, 31), QColor(255, 0, 255)));
    EXPECT_TRUE(near(shot.pixelColor(16, 12), QColor(200, 200, 200)));
    EXPECT_LT(shot.pixelColor(16, 31).lightness(), 80) << "the ring";
    auto reddest = [&](QRect area) {
        int best = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                best = std::max(best, c.red() - std::max(c.green(), c.blue()));
            }
        }
        return best;
    };
    EXPECT_GT(reddest(QRect(7, 17, 5, 5)), 120) << "the pointer";
    EXPECT_LT(reddest(QRect(20, 10, 5, 5)), 20) << "nothing opposite the pointer";
}

} // namespace
} // namespace tl
