#pragma once
// TMyAbout: the skin compositor of one borderless window (player, notifier or lyrics window).
// It loads a theme, places the window's controls from it, and draws the whole window into one
// premultiplied ARGB image: background, album art, the controls by kind, the two scrolling text
// strips, the visualisation and the top image, in that order. The window shows that image
// (SkinWindow in skin_window.h does the presentation, fades and pointer handling).
//
// Ownership: owned by its window; it keeps a reference to the window's ControlModel, which must
// outlive it. The surface, the strips and the images live from one theme load to the next, so
// a pass allocates nothing beyond what QPainter needs. UI thread only.

#include "common/folder_files.h"
#include "skin/animation.h"
#include "skin/skin_control.h"
#include "skin/theme.h"

#include <QFont>
#include <QImage>
#include <QRegion>
#include <QString>

#include <array>
#include <optional>

namespace tl {

// Frame of an image button: 0 normal, 1 hover, 2 pressed, 3 disabled, or a cross-fade from the
// hover frame to the normal one while the pointer has just left it.
struct ButtonFrame {
    int frame = 0;
    int crossFade = 0; // 1..100 with frame 0: frame 1 drawn over frame 0 at crossFade percent
};
// pressed wins over everything; a disabled button shows frame 3 even under the pointer.
ButtonFrame chooseButtonFrame(bool pressed, bool enabled, bool underCursor, int hoverFade);

class TMyAbout : public SkinValues {
public:
    TMyAbout(ControlModel& controls, SkinRole role);

    struct LoadResult {
        QSize size;           // the window's new size (the background's)
        bool builtIn = false; // the background could not be loaded: the built-in theme is used
    };
    // Loads the theme of themeFolder for this window, places and sizes the controls, sizes the
    // surface and renders once. When recording, the record button shows "71.png" (if present).
    // A theme whose background cannot be loaded is replaced as a whole by the built-in theme,
    // so the window never ends up invisible.
    LoadResult LoadTheme(const QString& themeFolder, bool recording);
    // The same from the theme's files wherever they are (themeFolder() is then their folder).
    LoadResult LoadTheme(const FolderFiles& files, bool recording);

    // The device pixel ratio of the screen the window is on; takes effect at the next
    // LoadTheme. At 2 or more the surface holds twice the pixels in each direction and a
    // theme's "NAME@2x.png" is drawn instead of "NAME.png" where it exists at exactly twice
    // the size; theme.ini positions stay in window units either way.
    void setDevicePixelRatio(qreal ratio) { scale_ = ratio >= 2.0 ? 2 : 1; }
    int pixelScale() const { return scale_; }

    // Draws the whole surface. hoverTarget is the control the pointer was last reported over
    // (nullptr for the window itself); image buttons without image draw their caption in white
    // while they are the target. Returns false (drawing nothing) while a pass or an image swap
    // is under way, or when there is no surface. With a non-empty `area` only that part of the
    // surface is drawn again (clipped, text labels outside it skipped); the rest keeps what the
    // last pass drew, so the caller must know that nothing else changed (tickArea).
    bool Render(const SkinControl* hoverTarget, const QRegion& area = QRegion());

    // The part of the surface that changed since the animated values were `before` (the
    // player's tick compares the values before and after it): empty when nothing drawn
    // changed; the visualisation's box and the scrolling strips when only they moved; nullopt
    // when the whole window must be drawn again (text fade, hover fade, visualisation kind).
    std::optional<QRegion> tickArea(const SkinValues& before) const;
    // The box the visualisation can draw in (spectrum bars and level bars at full height and
    // length), within the surface; empty when the theme shows no visualisation.
    QRect visualArea() const;

    // Swaps the image of every slot bound to keyword ("play", "mute", "record", ...) for the
    // theme's fileName; a missing file changes nothing. Returns whether a slot changed. The
    // caller refreshes.
    bool SetStateImage(QStringView keyword, const QString& fileName);

    // Album art scaled to exactly the theme's album-art box. A file that cannot be read leaves
    // no album art. Returns whether an image is now present.
    bool LoadAlbumArt(const QString& path);
    bool LoadAlbumArt(const QImage& image);
    void ClearAlbumArt();

    bool RenderBusy() const { return busy_; }
    // Whether the song or the info text was wider than its line in the last pass, so that its
    // scroll offset changes what is drawn. A fitting text is drawn the same at any offset.
    bool songScrolls() const { return songStrip_.scrolls; }
    bool infoScrolls() const { return infoStrip_.scrolls; }

    // Height of a list box's whole text: nearest(item count * line height) at its font size,
    // for clamping its scrollY.
    int listTextHeight(const SkinControl& list) const;

    // The cursor in window coordinates, used for the hover frame of image buttons and the
    // slider's thumb; none when the pointer is elsewhere.
    void setCursorPos(std::optional<QPoint> pos) { cursor_ = pos; }
    std::optional<QPoint> cursorPos() const { return cursor_; }

    // The window's image; at a pixel scale of 2 it carries that device pixel ratio.
    const QImage& surface() const { return surface_; }
    QSize size() const { return surface_.deviceIndependentSize().toSize(); }
    SkinRole role() const { return role_; }
    const ThemeValues& theme() const { return theme_; }
    const QString& themeFolder() const { return folder_; }
    bool usingBuiltInTheme() const { return builtIn_; }
    const QImage& slotImage(int slot) const;
    const QImage& albumArt() const { return albumArt_; }
    // The family texts are drawn with (FontName, or the fallback when it is not installed).
    const QString& fontFamily() const { return fontFamily_; }
    ControlModel& controls() { return controls_; }
    const ControlModel& controls() const { return controls_; }

private:
    struct Strip {
        QImage image;
        // Last measured text, so an unchanged title is not measured on every frame.
        QString text;
        QFont font;
        double width = 0;
        double height = 0;
        bool scrolls = false; // the text was wider than its line in the last pass
        // What the image holds now; an unchanged text at the same offset and colour is not
        // drawn again.
        bool drawn = false;
        double drawnOffset = 0;
        QRgb drawnColor = 0;
    };

    // background: the size of the loaded background, or empty while the background itself is
    // loaded.
    // background is in window units. At a pixel scale of 2 the result may be the @2x image,
    // with a device pixel ratio of 2.
    QImage loadThemeImage(const QString& fileName, QSize background = {}) const;
    QImage readThemeFile(const QString& fileName, QSize background) const;
    QFont fontFor(const SkinControl& c) const;
    const SkinControl* labelAtCursor() const;
    void drawLabel(QPainter& p, const SkinControl& c, const SkinControl* hoverTarget,
                   const SkinControl* underCursor, const QRegion& area);
    void drawStrip(QPainter& p, const SkinControl& c, const QFont& font, const QColor& color,
                   Strip& strip, double& offset);
    void drawSlider(QPainter& p, const SkinControl& c);
    void drawKnob(QPainter& p, const SkinControl& c);
    void drawList(QPainter& p, const SkinControl& c);
    void drawVisual(QPainter& p);

    ControlModel& controls_;
    SkinRole role_;
    QString folder_;
    FolderFiles files_;
    bool builtIn_ = false;
    ThemeValues theme_;
    QString fontFamily_ = QString::fromLatin1(kFallbackFont);
    QImage surface_;
    QImage background_;
    QImage top_;
    QImage albumArt_;
    std::array<QImage, kSlotCount> slots_;
    Strip infoStrip_;
    Strip songStrip_;
    std::optional<QPoint> cursor_;
    bool busy_ = false;
    int scale_ = 1; // 1 or 2
};

} // namespace tl
