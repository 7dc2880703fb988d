#include "player/player_window.h"

#include "audio/stage_log.h"
#include "player/player_commands.h"
#include "skin/knob_widget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QToolTip>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <span>

namespace tl {
namespace {

QIcon applicationIcon() {
    if (!QApplication::windowIcon().isNull()) {
        return QApplication::windowIcon();
    }
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1d, 0x22, 0x2b));
    p.drawEllipse(QRectF(1, 1, 30, 30));
    p.setPen(QPen(QColor(0x4f, 0xa3, 0xe0), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(8, 8, 16, 16), 30 * 16, 120 * 16);
    p.drawArc(QRectF(4, 4, 24, 24), 30 * 16, 120 * 16);
    p.setBrush(QColor(0x4f, 0xa3, 0xe0));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(13, 17, 6, 6));
    return QIcon(pm);
}

// The engine's analysis of the playing stream, for the animation tick.
class StreamVisualSource : public VisualSource {
public:
    StreamVisualSource(audio::Engine& engine, audio::StreamHandle stream)
        : engine_(engine), stream_(stream) {}
    uint32_t level() override { return engine_.level(stream_); }
    bool fft(std::span<float, kFftSize> magnitudes) override {
        return engine_.fft1024(stream_, std::span<float, 512>(magnitudes.data(), 512));
    }

private:
    audio::Engine& engine_;
    audio::StreamHandle stream_;
};

bool dragsWindow(const SkinControl& c) {
    return c.objectName == u"Label5" || c.objectName == u"Label8" || c.objectName == u"Label7";
}

bool opensMenu(const SkinControl& c) {
    return c.objectName == u"Label3" || c.objectName == u"Label4" || c.objectName == u"Label5" ||
           c.objectName == u"Label7";
}

} // namespace

TForm1::TForm1(QString appPath, Links links, QWidget* parent)
    : SkinWindow(SkinRole::Player, parent, Qt::FramelessWindowHint | Qt::Window),
      appPath_(std::move(appPath)), links_(std::move(links)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tunelark"));
    setWindowIcon(applicationIcon());
    setFocusPolicy(Qt::StrongFocus);
    PlayerController::buildControls(controls());
    setHoverFadeOnLeave(true);

    knob_ = new TKnob(this);
    knob_->setObjectName(QStringLiteral("Volume"));
    knob_->setRange(0, 10);
    knob_->setPageSize(10);
    knob_->setPaintsFace(false);
    knob_->setWheelEnabled(false); // the window's wheel steps keep knob and slider together
    attachKnob(knob_);
    connect(knob_, &TKnob::changed, this, &TForm1::VolumeChange);
    knob_->setToolTip(controlToolTip(u"Volume"));

    buildMenu();
    buildTray();

    snapTimer_.setSingleShot(true);
    snapTimer_.setInterval(150);
    connect(&snapTimer_, &QTimer::timeout, this, &TForm1::snapToWorkArea);

    connect(this, &SkinWindow::controlClicked, this, &TForm1::onControlClicked);
    connect(this, &SkinWindow::controlPressed, this, &TForm1::onControlPressed);
    connect(this, &SkinWindow::controlReleased, this, &TForm1::onControlReleased);
    connect(this, &SkinWindow::backgroundPressed, this, &TForm1::onBackgroundPressed);
    connect(this, &SkinWindow::backgroundReleased, this, &TForm1::onBackgroundReleased);
    connect(this, &SkinWindow::sliderMoved, this, [this](SkinControl*, int position) {
        knob_->setPosition(position); // runs VolumeChange, which moves the slider too
    });
    connect(this, &SkinWindow::fadeOutFinished, this, &TForm1::finishMinimize);
}

TForm1::~TForm1() {
    if (tray_ != nullptr) {
        tray_->hide();
    }
}

void TForm1::attach(PlayerController& controller) {
    controller_ = &controller;
    connect(controller_, &PlayerController::refreshRequested, this, &TForm1::refreshIfSeen);
    connect(&controller_->Timer1(), &QTimer::timeout, this, &TForm1::Timer1Timer);
}

void TForm1::LoadSkin(const QString& themeFolder) {
    const bool recording = controller_ != nullptr && controller_->stateImages().record == u"71.png";
    LoadTheme(themeFolder, recording);
    if (controller_ != nullptr) {
        SetStateImage(u"play", controller_->stateImages().play);
        SetStateImage(u"mute", controller_->stateImages().mute);
        syncVolumeControls();
    }
    Refresh();
}

// ---------------------------------------------------------------------------------------------
// Mouse, wheel, keys

void TForm1::onControlClicked(SkinControl* control) {
    if (suppressClick_) {
        return; // the press dragged the window
    }
    const QString& name = control->objectName;
    if (name == u"Button1") {
        Button1Click();
    } else if (name == u"Label1") {
        Label1Click();
    } else if (name == u"Label2") {
        Label2Click();
    } else if (name == u"Label6") {
        Button2Click();
    } else if (name == u"Label9") {
        Label9Click();
    } else if (name == u"RecLabel") {
        if (links_.recordClick) {
            links_.recordClick();
        }
    } else if (name == u"Label3") {
        Label3Click();
    } else if (name == u"Label4" || name == u"Label7") {
        Label4Click();
    } else if (name == u"closeButton") {
        closeButtonClick();
    } else if (name == u"minButton") {
        minButtonClick();
    }
}

void TForm1::onControlPressed(SkinControl* control, QMouseEvent* event) {
    if (dragsWindow(*control)) {
        // The time label also takes clicks: its drag waits for the pointer to move.
        armDrag(event, control->objectName != u"Label7");
    }
}

void TForm1::onControlReleased(SkinControl* control, QMouseEvent* event) {
    if (event->button() == Qt::RightButton && opensMenu(*control)) {
        ShowPlayerMenu(false, event->globalPosition().toPoint());
    }
}

void TForm1::onBackgroundPressed(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton &&
        visualToggleHit(compositor().theme().visual, event->position().toPoint())) {
        compositor().VisualKind = compositor().VisualKind == 0 ? 1 : 0;
        if (controller_ != nullptr) {
            controller_->setVisualizationType(compositor().VisualKind);
        }
    }
    armDrag(event, true);
}

void TForm1::onBackgroundReleased(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        ShowPlayerMenu(false, event->globalPosition().toPoint());
    }
}

void TForm1::armDrag(QMouseEvent* event, bool atOnce) {
    if (event->button() != Qt::LeftButton) {
        return; // other buttons reach their controls and the menu
    }
    drag_ = Drag{};
    if (atOnce && windowHandle() != nullptr && windowHandle()->startSystemMove()) {
        // The window manager moves the window and takes the release; the snap follows the
        // last move once the button is up (snapTimer_).
        return;
    }
    drag_.armed = true;
    drag_.systemRefused = atOnce;
    drag_.pressGlobal = event->globalPosition().toPoint();
    drag_.startPos = pos();
}

void TForm1::mouseMoveEvent(QMouseEvent* event) {
    if (drag_.armed && event->buttons().testFlag(Qt::LeftButton)) {
        const QPoint delta = event->globalPosition().toPoint() - drag_.pressGlobal;
        if (!drag_.own && delta.manhattanLength() >= QApplication::startDragDistance()) {
            drag_.moved = true;
            if (!drag_.systemRefused && windowHandle() != nullptr &&
                windowHandle()->startSystemMove()) {
                drag_.armed = false;
            } else {
                drag_.own = true;
            }
        }
        if (drag_.own) {
            const QScreen* s = screen();
            const QRect proposed(drag_.startPos + delta, frameGeometry().size());
            move(s != nullptr ? SnapToWorkArea(proposed, s->availableGeometry())
                              : proposed.topLeft());
        }
    }
    SkinWindow::mouseMoveEvent(event);
}

void TForm1::mouseReleaseEvent(QMouseEvent* event) {
    const bool dragged = event->button() == Qt::LeftButton && drag_.moved;
    const bool own = drag_.own;
    if (event->button() == Qt::LeftButton) {
        drag_ = Drag{};
    }
    suppressClick_ = dragged;
    SkinWindow::mouseReleaseEvent(event);
    suppressClick_ = false;
    if (own) {
        snapTimer_.stop();
        snapToWorkArea();
    }
}

void TForm1::wheelEvent(QWheelEvent* event) {
    // One step per notch (120 units), as the knob counts; finer wheels add up to whole notches.
    wheelRemainder_ += event->angleDelta().y();
    while (wheelRemainder_ >= 120) {
        wheelRemainder_ -= 120;
        VolumeStepUp();
    }
    while (wheelRemainder_ <= -120) {
        wheelRemainder_ += 120;
        VolumeStepDown();
    }
    event->accept();
}

QString TForm1::controlToolTip(QStringView objectName) {
    static const struct {
        const char* name;
        const char* tip;
    } tips[] = {
        {"Button1", "Play/Stop (Space)"},
        {"Label1", "Previous station"},
        {"Label2", "Next station"},
        {"Label6", "Stations"},
        {"RecLabel", "Record"},
        {"Label9", "Mute (M)"},
        {"TrackBar1", "Volume (Up/Down, mouse wheel)"},
        {"Volume", "Volume (Up/Down, mouse wheel)"},
        {"minButton", "Minimise"},
        {"closeButton", "Close"},
    };
    for (const auto& t : tips) {
        if (objectName == QLatin1String(t.name)) {
            return QString::fromLatin1(t.tip);
        }
    }
    return {};
}

bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // The skinned controls are drawn, not widgets: the tip follows the control under the
        // pointer, and goes when the pointer is over none.
        const auto* help = static_cast<QHelpEvent*>(event);
        const SkinControl* over = controls().hitTest(help->pos());
        const QString tip = over != nullptr ? controlToolTip(over->objectName) : QString();
        if (tip.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, this, over->bounds);
        }
        return true;
    }
    const bool handled = SkinWindow::event(event);
    // The pointer starts hover fades, and leaving the window may start one: the tick runs
    // them down.
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Leave ||
        event->type() == QEvent::Enter) {
        wakeTick();
    }
    return handled;
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    // "&" and "(" are what the Up and Down arrow keys' codes read as characters; both work.
    const QString text = event->text();
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (text == u"&" || event->key() == Qt::Key_Up) {
        VolumeStepUp();
    } else if (text == u"(" || event->key() == Qt::Key_Down) {
        VolumeStepDown();
    } else if (plain && (event->key() == Qt::Key_Space || event->key() == Qt::Key_M)) {
        // A held key toggles once, not on every repeat.
        if (!event->isAutoRepeat()) {
            if (event->key() == Qt::Key_M) {
                Label9Click();
            } else if (const SkinControl* play = controls().find(u"Button1");
                       play == nullptr || play->enabled) {
                Button1Click();
            }
        }
    } else {
        SkinWindow::keyPressEvent(event);
    }
}

void TForm1::moveEvent(QMoveEvent* event) {
    SkinWindow::moveEvent(event);
    snapTimer_.start();
}

void TForm1::snapToWorkArea() {
    if (drag_.own || pointerButtons() != Qt::NoButton) {
        snapTimer_.start(); // still being dragged
        return;
    }
    const QScreen* s = screen();
    if (s == nullptr) {
        return;
    }
    const QPoint snapped = SnapToWorkArea(frameGeometry(), s->availableGeometry());
    if (snapped != frameGeometry().topLeft()) {
        move(snapped);
    }
}

// ---------------------------------------------------------------------------------------------
// Commands

void TForm1::Button1Click() {
    if (controller_ != nullptr) {
        controller_->Button1Click();
    }
}

void TForm1::Label1Click() {
    if (controller_ != nullptr && controller_->links().stopRecording) {
        controller_->links().stopRecording();
    }
    if (links_.stepStation) {
        links_.stepStation(-1);
    }
}

void TForm1::Label2Click() {
    if (controller_ != nullptr && controller_->links().stopRecording) {
        controller_->links().stopRecording();
    }
    if (links_.stepStation) {
        links_.stepStation(+1);
    }
}

void TForm1::Button2Click() {
    if (links_.showStationManager) {
        links_.showStationManager();
    }
}

void TForm1::Label3Click() {
    if (controller_ != nullptr) {
        controller_->toggleScrollTitle();
    }
}

void TForm1::Label4Click() {
    if (controller_ != nullptr) {
        controller_->toggleScrollInfo();
    }
}

void TForm1::Label9Click() {
    if (controller_ != nullptr) {
        controller_->Label9Click();
    }
}

void TForm1::closeButtonClick() {
    if (controller_ != nullptr) {
        controller_->Timer1().stop();
    }
    FadeOut(true);
}

void TForm1::Exit1Click() {
    FadeOut(true);
}

void TForm1::minButtonClick() {
    // Fades out first; finishMinimize hides or iconifies the transparent window.
    minimizing_ = true;
    FadeOut(false);
}

void TForm1::finishMinimize() {
    if (!minimizing_) {
        return;
    }
    minimizing_ = false;
    // "Minimize to tray" hides the window and its taskbar entry; the tray icon brings it back.
    // Without a tray the window is iconified instead, so it is never lost.
    if (controller_ != nullptr && controller_->settingsMinimizeToTray() && trayAvailable()) {
        hide();
    } else {
        showMinimized();
    }
}

void TForm1::changeEvent(QEvent* event) {
    SkinWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) {
        return;
    }
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (isMinimized()) {
        // However it was minimised (also by the window manager's own command), it comes back
        // transparent and fades in.
        if (!fading()) {
            setWindowOpacity(0.0);
        }
    } else if (change->oldState().testFlag(Qt::WindowMinimized) && !minimizing_) {
        FadeIn(); // restored by the window manager (a taskbar click)
    }
    if (!isMinimized()) {
        cameIntoView();
    }
}

void TForm1::Alwaysontop1Click() {
    if (controller_ == nullptr) {
        return;
    }
    const bool onTop = !controller_->settingsOnTop();
    controller_->setOnTop(onTop);
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (wasVisible) {
        show();
    }
    if (QAction* a = menu_->findChild<QAction*>(QStringLiteral("Alwaysontop1"))) {
        a->setChecked(onTop);
    }
}

void TForm1::VolumeChange() {
    if (controller_ != nullptr) {
        controller_->SetVolume(knob_->position() * 10);
    }
    syncVolumeControls();
}

void TForm1::syncVolumeControls() {
    const int position = knob_->position();
    for (const char* name : {"TrackBar1", "Volume"}) {
        if (SkinControl* c = controls().find(QString::fromLatin1(name))) {
            c->position = position;
        }
    }
    Refresh();
}

void TForm1::VolumeStepUp() {
    if (controller_ == nullptr || controller_->deviceVolume() > 90) {
        return;
    }
    knob_->setPosition(knob_->position() + 1); // the knob clamps and runs VolumeChange
}

void TForm1::VolumeStepDown() {
    if (controller_ == nullptr || controller_->deviceVolume() < 10) {
        return;
    }
    knob_->setPosition(knob_->position() - 1);
}

void TForm1::Timer1Timer() {
    if (controller_ == nullptr) {
        return;
    }
    TickInputs in;
    in.streamOpen = controller_->StreamHandle() != 0;
    in.videoOpen = controller_->VideoOpen();
    in.scrollInfo = controller_->settingsScrollInfo();
    in.scrollTitle = controller_->settingsScrollTitle();
    in.cursor = pointer();
    if (!seen()) {
        // Nobody sees the spectrum or the scrolling: no analysis, no drawing, no wake-ups
        // until the window comes back (cameIntoView).
        controller_->Timer1().stop();
        tickParked_ = true;
        return;
    }
    StreamVisualSource source(controller_->engine(), controller_->StreamHandle());
    const SkinValues before = compositor();
    animationTick(compositor(), controls(), in, in.streamOpen ? &source : nullptr,
                  controller_->elapsedSecondsRef());
    // Every other change (texts, states, the pointer) refreshes when it happens; the tick only
    // redraws what it moved (mostly the spectrum's box), so a still window costs no drawing.
    const std::optional<QRegion> area = compositor().tickArea(before);
    if (area) {
        RefreshArea(*area);
    } else {
        Refresh();
    }
    // Nothing plays and nothing moves (no fade, no text that scrolls): the tick waits for the
    // next change (a refresh, the pointer, a play command) instead of waking 33 times a second.
    const auto fading = [this] {
        const auto& fades = compositor().HoverFade;
        return std::any_of(fades.begin(), fades.end(), [](int f) { return f > 0; });
    };
    const bool scrolling = (in.scrollInfo && compositor().infoScrolls()) ||
                           (in.scrollTitle && compositor().songScrolls());
    if (!in.streamOpen && !in.videoOpen && area && area->isEmpty() && compositor().TextFade == 0 &&
        !scrolling && !fading()) {
        controller_->Timer1().stop();
        tickParked_ = true;
    }
}

void TForm1::wakeTick() {
    // While a play command runs it owns the tick; it starts it again when it ends.
    if (tickParked_ && seen() && controller_ != nullptr && !controller_->Busy()) {
        tickParked_ = false;
        controller_->Timer1().start();
    }
}

bool TForm1::seen() const {
    return isVisible() && !isMinimized();
}

void TForm1::refreshIfSeen() {
    if (seen()) {
        stale_ = false;
        Refresh();
        wakeTick(); // a new text may scroll
    } else {
        stale_ = true;
    }
}

void TForm1::cameIntoView() {
    if (!seen() || controller_ == nullptr) {
        return;
    }
    if (stale_) {
        stale_ = false;
        Refresh();
    }
    wakeTick();
}

void TForm1::showEvent(QShowEvent* event) {
    SkinWindow::showEvent(event);
    audio::markStageOnce("window_shown");
    cameIntoView();
}

// ---------------------------------------------------------------------------------------------
// Closing

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TForm1::FormClose() {
    if (closed_ || controller_ == nullptr) {
        return;
    }
    closed_ = true;
    controller_->CloseVideo();
    CloseValues values = links_.closeValues ? links_.closeValues() : CloseValues{};
    values.position = pos();
    values.vx = controller_->vx();
    values.vy = controller_->vy();
    controller_->fillCloseValues(values);
    values.visualizationType = compositor().VisualKind;
    if (const std::optional<QString> failure =
            saveCloseValues(appPath_ + QStringLiteral("config.ini"), values);
        failure && links_.saveFailed) {
        links_.saveFailed(*failure);
    }
    controller_->titleLog().close();
    if (links_.closed) {
        links_.closed();
    }
}

} // namespace tl
