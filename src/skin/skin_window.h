#pragma once
// SkinWindow: the base of the three skinned windows (player, notifier, lyrics window). A
// frameless, translucent QWidget that owns its ControlModel and its compositor (TMyAbout) and
// shows the compositor's image as its whole content. It adds what needs a real window:
// presentation (Refresh, Present), non-blocking fades of the window opacity, the window mask on
// X11 servers without a compositing manager, and the pointer handling that feeds hover, hover
// fades and the pressed marker into the model and the compositor.
//
// Subclasses (the player window, the notifier, the lyrics window) build their controls into
// controls() before the first LoadTheme, and react to the signals below or override the
// mouse handlers (calling the base). UI thread only.

#include "skin/compositor.h"
#include "skin/skin_control.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

class QVariantAnimation;

namespace tl {

class TKnob;

class SkinWindow : public QWidget {
    Q_OBJECT

public:
    // Where translucent pixels would show black (X11 without a compositing manager), the
    // window's shape follows the image's alpha. Auto decides from the running display.
    enum class MaskMode { Auto, Always, Never };

    explicit SkinWindow(SkinRole role, QWidget* parent = nullptr,
                        Qt::WindowFlags flags = Qt::FramelessWindowHint);
    ~SkinWindow() override;

    ControlModel& controls() { return controls_; }
    const ControlModel& controls() const { return controls_; }
    TMyAbout& compositor() { return *about_; }
    const TMyAbout& compositor() const { return *about_; }

    // Loads the theme for this window, resizes the window to the background, places attached
    // child widgets (the knob) over their controls, and presents the new image.
    TMyAbout::LoadResult LoadTheme(const QString& themeFolder, bool recording);
    // Render with the window as the hover target, then Present. What every caller uses after
    // changing a text, an enabled or pressed state, or a value the compositor draws.
    void Refresh();
    // Draws only `area` again and repaints only it: for the tick, when nothing outside the
    // area changed (TMyAbout::tickArea). An empty area draws nothing.
    void RefreshArea(const QRegion& area);
    // Hands the current image to the window (a repaint is scheduled; the mask is updated when
    // the shape may have changed).
    void Present();
    // Swaps the state image of keyword's slot ("play" -> "51.png", ...) and refreshes.
    void SetStateImage(QStringView keyword, const QString& fileName);
    // Album art from a file, or none.
    void LoadAlbumArt(const QString& path);
    void ClearAlbumArt();

    // Shows the window and raises its opacity from 0 to 1 over about 0.2 s, without blocking.
    void FadeIn();
    // Lowers the opacity to 0 over about 0.2 s, then closes the window when closeAfter. With
    // closeAfter false the window stays shown, fully transparent.
    void FadeOut(bool closeAfter);
    bool fading() const;

    void setMaskMode(MaskMode mode);
    MaskMode maskMode() const { return maskMode_; }
    // Whether the window's shape is currently cut from the alpha channel.
    bool maskActive() const;
    // True when a compositing manager runs on the X11 display (or the platform is not X11,
    // where translucency is the platform's own business).
    static bool compositingAvailable();
    // The mouse buttons held right now. On X11 the server is asked: after a window manager's
    // move the release went to the window manager, and Qt's own record still has it held.
    static Qt::MouseButtons pointerButtons();

    // A knob widget shown over the model's control of the same objectName: it takes the mouse
    // and keyboard, the compositor draws its frame. The control's position follows the knob.
    void attachKnob(TKnob* knob);

    // The image buttons (labels with tag above 100) start a hover fade when the pointer leaves
    // them; the player's animation tick counts it down. Off by default.
    void setHoverFadeOnLeave(bool on) { hoverFadeOnLeave_ = on; }

    // The pointer in window coordinates while it is over the window (not over a child).
    std::optional<QPoint> pointer() const { return pointer_; }

Q_SIGNALS:
    void fadeInFinished();
    void fadeOutFinished();
    // Mouse on an enabled, visible control (disabled controls pass the press to the window).
    void controlPressed(tl::SkinControl* control, QMouseEvent* event);
    void controlReleased(tl::SkinControl* control, QMouseEvent* event);
    // Left button pressed and released on the same enabled control.
    void controlClicked(tl::SkinControl* control);
    // The left button pressed on a volume slider, or moved while held after such a press: the
    // slider position under the pointer, by the theme's track and thumb geometry. Sent only
    // when it differs from the slider's position.
    void sliderMoved(tl::SkinControl* slider, int position);
    // Mouse press on the window's own background (or a disabled control).
    void backgroundPressed(QMouseEvent* event);
    void backgroundReleased(QMouseEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // A double-click on a control is the second press of two, not a new click of its own.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

    // The topmost visible label under a point (the controls the pointer can be "over").
    SkinControl* labelAt(QPoint point);

private:
    void renderWith(const SkinControl* hoverTarget, const QRegion& area = QRegion());
    void pointerLeft(SkinControl* control);
    SkinControl* sliderAt(QPoint point);
    void followSlider(SkinControl* slider, QPoint point);
    void updateMask();
    void placeKnobs();
    void startFade(double from, double to, bool fadeIn, bool closeAfter);

    ControlModel controls_;
    std::unique_ptr<TMyAbout> about_;
    MaskMode maskMode_ = MaskMode::Auto;
    bool shapeDirty_ = true;
    bool recording_ = false;     // as the theme was last loaded, for a reload on a new screen
    bool screenWatched_ = false; // screenChanged is connected
    std::optional<QPoint> pointer_;
    const SkinControl* hoverTarget_ = nullptr; // nullptr: the window itself
    SkinControl* hovered_ = nullptr;           // the label under the pointer
    SkinControl* pressedControl_ = nullptr;
    SkinControl* hoveredSlider_ = nullptr; // the slider whose hover thumb is drawn
    bool hoverFadeOnLeave_ = false;
    QVariantAnimation* fade_ = nullptr;
    std::vector<QPointer<TKnob>> knobs_;
};

} // namespace tl
