#include "skin/skin_window.h"

#include "skin/alpha_mask.h"
#include "skin/knob_widget.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace tl {

namespace {

// Pixels at least this opaque belong to a masked window's shape.
constexpr int kMaskAlpha = 128;
// 26 steps of about 7 ms, as the fades have always taken.
constexpr int kFadeMs = 182;

} // namespace

SkinWindow::SkinWindow(SkinRole role, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags | Qt::FramelessWindowHint),
      about_(std::make_unique<TMyAbout>(controls_, role)) {
    setAttribute(Qt::WA_TranslucentBackground, true);
    setAttribute(Qt::WA_NoSystemBackground, true);
    setMouseTracking(true);
}

SkinWindow::~SkinWindow() = default;

TMyAbout::LoadResult SkinWindow::LoadTheme(const QString& themeFolder, bool recording) {
    about_->setDevicePixelRatio(devicePixelRatioF());
    recording_ = recording;
    const TMyAbout::LoadResult result = about_->LoadTheme(themeFolder, recording);
    setFixedSize(result.size);
    placeKnobs();
    shapeDirty_ = true;
    hoverTarget_ = nullptr;
    Present();
    return result;
}

void SkinWindow::renderWith(const SkinControl* hoverTarget, const QRegion& area) {
    about_->setCursorPos(pointer_);
    about_->Render(hoverTarget, area);
}

void SkinWindow::Refresh() {
    renderWith(nullptr);
    hoverTarget_ = nullptr;
    Present();
}

void SkinWindow::RefreshArea(const QRegion& area) {
    if (area.isEmpty()) {
        return;
    }
    if (shapeDirty_) {
        Refresh(); // the mask follows the whole image
        return;
    }
    // The last full pass chose the hover target; the area is drawn as that pass drew it.
    renderWith(hoverTarget_, area);
    update(area);
}

void SkinWindow::Present() {
    if (shapeDirty_) {
        updateMask();
    }
    update();
}

void SkinWindow::SetStateImage(QStringView keyword, const QString& fileName) {
    if (about_->SetStateImage(keyword, fileName)) {
        shapeDirty_ = true;
    }
    Refresh();
}

void SkinWindow::LoadAlbumArt(const QString& path) {
    about_->LoadAlbumArt(path);
    shapeDirty_ = true;
    Refresh();
}

void SkinWindow::ClearAlbumArt() {
    about_->ClearAlbumArt();
    shapeDirty_ = true;
    Refresh();
}

// --- fades --------------------------------------------------------------------------------------

void SkinWindow::startFade(double from, double to, bool fadeIn, bool closeAfter) {
    if (fade_) {
        fade_->stop();
        fade_->deleteLater();
        fade_ = nullptr;
    }
    auto* animation = new QVariantAnimation(this);
    animation->setStartValue(from);
    animation->setEndValue(to);
    animation->setDuration(kFadeMs);
    connect(animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& v) { setWindowOpacity(v.toDouble()); });
    connect(animation, &QVariantAnimation::finished, this, [this, animation, fadeIn, closeAfter] {
        if (fade_ == animation) {
            fade_ = nullptr;
        }
        animation->deleteLater();
        if (fadeIn) {
            setWindowOpacity(1.0);
            Present();
            Q_EMIT fadeInFinished();
        } else {
            setWindowOpacity(0.0);
            if (closeAfter) {
                close();
            }
            Q_EMIT fadeOutFinished();
        }
    });
    fade_ = animation;
    animation->start();
}

void SkinWindow::FadeIn() {
    setWindowOpacity(0.0);
    Present();
    show();
    startFade(0.0, 1.0, true, false);
}

void SkinWindow::FadeOut(bool closeAfter) {
    startFade(250.0 / 255.0, 0.0, false, closeAfter);
}

bool SkinWindow::fading() const {
    return fade_ != nullptr;
}

// --- mask ---------------------------------------------------------------------------------------

bool SkinWindow::compositingAvailable() {
    if (QGuiApplication::platformName() != u"xcb") {
        return true;
    }
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        return false;
    }
    // A compositing manager owns the _NET_WM_CM_S<screen> selection.
    const char* display = std::getenv("DISPLAY");
    int screen = 0;
    if (display) {
        const char* dot = std::strrchr(display, '.');
        const char* colon = std::strrchr(display, ':');
        if (dot && colon && dot > colon) {
            screen = std::atoi(dot + 1);
        }
    }
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.constData()),
        nullptr);
    if (!atom) {
        return false;
    }
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE) {
        return false;
    }
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!owner) {
        return false;
    }
    const bool running = owner->owner != XCB_NONE;
    std::free(owner);
    return running;
}

Qt::MouseButtons SkinWindow::pointerButtons() {
    if (QGuiApplication::platformName() != u"xcb") {
        return QGuiApplication::mouseButtons();
    }
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    const xcb_setup_t* setup = connection ? xcb_get_setup(connection) : nullptr;
    if (setup == nullptr) {
        return QGuiApplication::mouseButtons();
    }
    const xcb_window_t root = xcb_setup_roots_iterator(setup).data->root;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection, xcb_query_pointer(connection, root), nullptr);
    if (reply == nullptr) {
        return QGuiApplication::mouseButtons();
    }
    Qt::MouseButtons buttons;
    buttons.setFlag(Qt::LeftButton, (reply->mask & XCB_BUTTON_MASK_1) != 0);
    buttons.setFlag(Qt::MiddleButton, (reply->mask & XCB_BUTTON_MASK_2) != 0);
    buttons.setFlag(Qt::RightButton, (reply->mask & XCB_BUTTON_MASK_3) != 0);
    std::free(reply);
    return buttons;
}

void SkinWindow::setMaskMode(MaskMode mode) {
    maskMode_ = mode;
    shapeDirty_ = true;
    Present();
}

bool SkinWindow::maskActive() const {
    return !mask().isEmpty();
}

void SkinWindow::updateMask() {
    shapeDirty_ = false;
    bool wanted = false;
    switch (maskMode_) {
    case MaskMode::Always:
        wanted = true;
        break;
    case MaskMode::Never:
        break;
    case MaskMode::Auto:
        wanted = !compositingAvailable();
        break;
    }
    const QImage& image = about_->surface();
    if (!wanted || image.isNull()) {
        if (!mask().isEmpty()) {
            clearMask();
        }
        return;
    }
    const QRegion region = alphaMaskRegion(image, kMaskAlpha);
    if (region != mask()) {
        setMask(region);
    }
}

// --- child widgets ------------------------------------------------------------------------------

void SkinWindow::attachKnob(TKnob* knob) {
    knob->setParent(this);
    knob->setPaintsFace(false);
    knobs_.emplace_back(knob);
    connect(knob, &TKnob::changed, this, [this, knob] {
        if (SkinControl* c = controls_.find(knob->objectName())) {
            c->position = knob->position();
            Refresh();
        }
    });
    placeKnobs();
}

void SkinWindow::placeKnobs() {
    for (const QPointer<TKnob>& knob : knobs_) {
        if (!knob) {
            continue;
        }
        if (SkinControl* c = controls_.find(knob->objectName())) {
            knob->setGeometry(c->bounds);
            knob->setVisible(c->visible);
            c->position = knob->position();
        }
    }
}

// --- pointer ------------------------------------------------------------------------------------

SkinControl* SkinWindow::labelAt(QPoint point) {
    auto& all = controls_.controls();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        if (it->kind == SkinControlKind::Label && it->visible && it->bounds.contains(point)) {
            return &*it;
        }
    }
    return nullptr;
}

void SkinWindow::pointerLeft(SkinControl* control) {
    if (!control || !hoverFadeOnLeave_ || control->tag <= 100) {
        return;
    }
    if (int* fade = about_->hoverFade(control->componentIndex)) {
        *fade = 100;
        Refresh();
    }
}

SkinControl* SkinWindow::sliderAt(QPoint point) {
    auto& all = controls_.controls();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        if (it->kind == SkinControlKind::Slider && it->visible && it->bounds.contains(point)) {
            return &*it;
        }
    }
    return nullptr;
}

void SkinWindow::followSlider(SkinControl* slider, QPoint point) {
    const int position = sliderPositionAt(*slider, about_->theme().volumeType, point.x());
    if (position != slider->position) {
        Q_EMIT sliderMoved(slider, position);
    }
}

void SkinWindow::mouseMoveEvent(QMouseEvent* event) {
    pointer_ = event->position().toPoint();
    if (pressedControl_ != nullptr && pressedControl_->kind == SkinControlKind::Slider &&
        event->buttons().testFlag(Qt::LeftButton)) {
        followSlider(pressedControl_, *pointer_);
    }
    SkinControl* over = labelAt(*pointer_);
    if (over != hovered_) {
        SkinControl* left = hovered_;
        hovered_ = over;
        pointerLeft(left);
    }
    // Only a change of what the pointer is over redraws: between the window and a control, or
    // from one control straight to another; the slider's thumb has its own hover image.
    SkinControl* slider = sliderAt(*pointer_);
    if (over != hoverTarget_ || slider != hoveredSlider_) {
        renderWith(over);
        hoverTarget_ = over;
        hoveredSlider_ = slider;
        Present();
    }
    QWidget::mouseMoveEvent(event);
}

void SkinWindow::leaveEvent(QEvent* event) {
    pointer_.reset();
    SkinControl* left = hovered_;
    hovered_ = nullptr;
    pointerLeft(left);
    if (hoverTarget_ || hoveredSlider_) {
        hoveredSlider_ = nullptr;
        Refresh();
    }
    QWidget::leaveEvent(event);
}

void SkinWindow::mousePressEvent(QMouseEvent* event) {
    pointer_ = event->position().toPoint();
    SkinControl* c = controls_.hitTest(*pointer_);
    if (!c || !c->enabled) {
        Q_EMIT backgroundPressed(event);
        QWidget::mousePressEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton) {
        pressedControl_ = c;
        if (c->pressable) {
            c->pressed = true;
            Refresh();
        }
        if (c->kind == SkinControlKind::Slider) {
            followSlider(c, *pointer_);
        }
    }
    Q_EMIT controlPressed(c, event);
    event->accept();
}

void SkinWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    pointer_ = event->position().toPoint();
    SkinControl* c = controls_.hitTest(*pointer_);
    if (c == nullptr || !c->enabled || c->kind == SkinControlKind::Slider) {
        // The window's background and the slider take it as a press (a drag may follow).
        mousePressEvent(event);
        return;
    }
    // The first press and release already clicked; the release that follows clicks nothing.
    pressedControl_ = nullptr;
    event->accept();
}

void SkinWindow::mouseReleaseEvent(QMouseEvent* event) {
    pointer_ = event->position().toPoint();
    SkinControl* pressed = nullptr;
    if (event->button() == Qt::LeftButton) {
        pressed = pressedControl_;
        pressedControl_ = nullptr;
        if (pressed && pressed->pressable && pressed->pressed) {
            pressed->pressed = false;
            Refresh();
        }
    }
    SkinControl* c = controls_.hitTest(*pointer_);
    if (c && c->enabled) {
        Q_EMIT controlReleased(c, event);
        if (pressed == c) {
            Q_EMIT controlClicked(c);
        }
        event->accept();
        return;
    }
    Q_EMIT backgroundReleased(event);
    QWidget::mouseReleaseEvent(event);
}

void SkinWindow::showEvent(QShowEvent* event) {
    // Moved to a screen of another density: the theme is loaded again for its pixels.
    if (QWindow* window = windowHandle(); window != nullptr && !screenWatched_) {
        screenWatched_ = true;
        connect(window, &QWindow::screenChanged, this, [this] {
            const int wanted = devicePixelRatioF() >= 2.0 ? 2 : 1;
            if (wanted != about_->pixelScale() && !about_->themeFolder().isEmpty()) {
                LoadTheme(about_->themeFolder(), recording_);
            }
        });
    }
    shapeDirty_ = true;
    Present();
    QWidget::showEvent(event);
}

void SkinWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, about_->surface());
}

} // namespace tl
