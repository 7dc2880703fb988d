#pragma once
// Theme values read from a theme folder's theme.ini, and the geometry rules that turn theme
// images into control sizes and frame rectangles. Pure functions on data; no widgets.
//
// A theme folder holds theme.ini and PNG images: "background.png" (player; its alpha is the
// window's shape), "top.png" (optional gloss drawn last), "hint.png" (notifier), "lyrics.png"
// (lyrics window), and one image per slot ("2.png" ... "20.png", plus the state images
// "31.png", "51.png", "71.png"). Every theme.ini key has a default.

#include "common/ini_file.h"
#include "skin/skin_control.h"

#include <QRectF>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>

namespace tl {

inline constexpr int kSlotCount = 21;    // image slots 0..20
inline constexpr int kVolumeSlot = 20;   // the volume slider's and the knob's strip
inline constexpr int kButtonFrames = 4;  // normal, hover, pressed, disabled
inline constexpr int kVolumeFrames = 11; // volume positions 0..10
inline constexpr int kMaxSpectrumBars = 20;
inline constexpr int kHoverFadeCount = 23; // fades exist for component indexes 0..22
inline constexpr const char* kFallbackFont = "Tahoma";

// Volume control kinds of a theme (theme.ini [volume] type).
enum class VolumeType : int { Slider = 0, Knob = 1, FrameSlider = 2 };

// Which composited window a compositor draws; chooses the background image.
enum class SkinRole { Player, Notifier, Lyrics };

struct VisualSettings {
    bool visible = false;
    uint32_t color = 0; // 0x00BBGGRR
    int x = 0;
    int y = 0;
    int h = 20;
    int w = 3;
    int space = 2;
    int count = 8; // 0..20
};

struct AlbumArtSettings {
    bool visible = false;
    int x = 0;
    int y = 0;
    int w = 48;
    int h = 48;
};

// The program-wide and per-window values of one theme.ini.
struct ThemeValues {
    int shadowOffset = 0;
    QString fontName = QString::fromLatin1(kFallbackFont);
    VisualSettings visual;
    AlbumArtSettings albumArt;
    QSize infoStrip{50, 16};
    QSize songStrip{50, 16};
    VolumeType volumeType = VolumeType::Slider;
    int volumeTypeRaw = 0; // as written; an unknown number behaves as neither knob nor slider
};

// One control's section ([song], [play], ...).
struct ControlStyle {
    bool visible = false;
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
    uint32_t fontColor = 0; // 0x00BBGGRR
    int fontSize = 12;      // pixels
};

ThemeValues readThemeValues(const IniFile& ini);
ControlStyle readControlStyle(const IniFile& ini, QStringView keyword);

// Every number of a theme bounded by its background's size (W x H), so that no sum or product
// the drawing makes can overflow and no strip is larger than the window: positions within
// -W..W and -H..H, widths and gaps within 0..W (gaps -W..W), heights, font sizes (at least 1)
// and the shadow offset within H.
void boundThemeValues(ThemeValues& theme, QSize background);
ControlStyle boundControlStyle(ControlStyle style, QSize background);
// Whether an image of this size may be decoded for a theme: a background no larger than
// `screen`, any other image no larger than eleven backgrounds side by side (the volume strip)
// and one background high. Read from the file's header, before it is decoded.
bool backgroundSizeAllowed(QSize image, QSize screen);
bool themeImageSizeAllowed(QSize image, QSize background);

// count: the low 8 bits of the written number, then at most 20 ("25" -> 20, "260" -> 4).
int clampBarCount(int written);

// The image slot a control's tag selects (tag, or tag - 100 above 100); -1 outside 0..20.
int slotForTag(int tag);

// The keyword a slot is bound to for state-image swaps ("play" for 5, ...); empty for none.
QStringView slotKeyword(int slot);

// File name of a slot's image: "5.png".
QString slotFileName(int slot);

// Background file of a window.
QString backgroundFileName(SkinRole role);

// Applies a control's section and its slot image (may be null) to the control as the theme
// loader does, by kind. knobSide carries the knob's square side from one load to the next.
// Returns nothing; the rules are:
//   label:  visible/x/y/w/h/colour/size from the section; with an image, the size becomes
//           nearest(image width / 4) - 2 * shadow by image height - 2 * shadow;
//   knob:   shown when the volume type is 1 (keyword "volume"), at x, y; with an image its side
//           follows nearest(image width / 11) then the image height through the square rule;
//   slider: shown for volume types 0 and 2 (keyword "volume"), at x, y; sized from the image.
void applyControlStyle(SkinControl& control, const ControlStyle& style, const QSize& slotImage,
                       const ThemeValues& theme);

// Frame geometry of image strips.
QRectF buttonFrameSource(const QSize& image, int frame); // (frame * fw, 0, fw, H)
QRectF buttonFrameTarget(const QRect& bounds, const QSize& image, int shadowOffset);
QRectF volumeFrameSource(const QSize& image, int position); // type 2, unrounded
QRectF knobFrameSource(const QSize& image, int position);   // fw = nearest(W / 11)
// Type 0: the thumb's left edge for a slider position (Left + position * (width / max - 1)).
double sliderThumbLeft(const SkinControl& slider);
// The slider position (0..maximum) a press or drag at window x selects: for type 0 the position
// whose drawn thumb is centred nearest to x, for type 2 the share of the control's width.
int sliderPositionAt(const SkinControl& slider, VolumeType type, int x);

} // namespace tl
