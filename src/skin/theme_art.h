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
    // file name -> image (ARGB32 premultiplied); when drawn dense, every "NAME.png" has a
    // "NAME@2x.png" drawn at twice the size, with a device pixel ratio of 2.
    std::map<QString, QImage> images;
};

inline constexpr const char* kDefaultThemeName = "Nocturne";

// dense: also the "NAME@2x.png" set (the theme generator writes both).
GeneratedTheme drawTheme(ThemeDesign design, bool dense = true);

// The default design, drawn once on first use (UI thread). The @2x set only when asked for
// (a dense screen): it would double the pictures' memory and drawing time where nobody
// shows it.
const GeneratedTheme& builtInTheme(bool dense = false);

} // namespace tl
