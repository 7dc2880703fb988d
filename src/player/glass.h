#pragma once
// Glass behind a window. Linux desktops offer no blur-behind to applications, so composition
// reads as off and ApplyGlass does nothing; MaskRegion stays a pure function of the theme's
// blur mask so the shape it describes can still be computed and checked.

#include <QRegion>
#include <QString>

#include <optional>

class QWidget;

namespace tl {

// The blur region of a mask image: the pixel (0, 0) plus every pixel whose 32-bit value,
// alpha included, is not 0x00FFFFFF. nullopt when the file does not exist or cannot be read.
std::optional<QRegion> MaskRegion(const QString& blurMaskFile);

// Nothing to do on this platform (no desktop glass).
inline void ApplyGlass(QWidget* /*window*/, int /*left*/, int /*top*/, int /*right*/,
                       int /*bottom*/) {}

} // namespace tl
