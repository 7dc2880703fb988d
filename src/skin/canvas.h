#pragma once
// The blank picture the drawn themes paint on: the player's (theme_art.cpp) and the station
// lists' (list_theme.cpp).

#include <QImage>

namespace tl {

// w x h window pixels, transparent, drawn at scale device pixels each (1, or 2 for dense screens
// and the @2x set): painters on it work in window pixels either way.
inline QImage blankCanvas(int w, int h, int scale) {
    QImage image(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    return image;
}

} // namespace tl
