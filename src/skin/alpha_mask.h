#pragma once
// Window shapes from images, for X11 servers without a compositing manager (where translucent
// pixels would show black) and for the blur-behind mask of a theme.

#include <QImage>
#include <QRegion>

namespace tl {

// The region of the pixels whose alpha is at least minAlpha (1..255). Rows with the same runs
// are merged into one band, so a typical shaped window is a few dozen rectangles. An image with
// a device pixel ratio above 1 gives its region in its device-independent units.
QRegion alphaMaskRegion(const QImage& image, int minAlpha = 128);

// The region of the pixels whose 32-bit value, alpha included, is not 0x00FFFFFF (the blur
// mask rule). An empty region for a null image.
QRegion blurMaskRegion(const QImage& image);

} // namespace tl
