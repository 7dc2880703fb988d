#pragma once
// The program's own themes, drawn with QPainter: every image of a theme folder and its
// theme.ini text. tools/theme_generator writes them to assets/Themes/<name>/; the compositor
// uses the default design in memory as its built-in theme when a theme's background cannot be
// loaded, so the player window never ends up invisible.

#include <QImage>
#include <QString>

#include <map>

namespace tl {

enum class ThemeDesign {
    Nocturne, // the default: dark, volume knob (type 1)
    Daybreak, // light, volume slider with thumb (type 0)
};

struct GeneratedTheme {
    QString name; // folder name under Themes/
    QString ini;  // theme.ini text
    // file name -> image (ARGB32 premultiplied); every "NAME.png" has a "NAME@2x.png" drawn at
    // twice the size, with a device pixel ratio of 2.
    std::map<QString, QImage> images;
};

inline constexpr const char* kDefaultThemeName = "Nocturne";

GeneratedTheme drawTheme(ThemeDesign design);

// The default design, drawn once on first use (UI thread).
const GeneratedTheme& builtInTheme();

} // namespace tl
