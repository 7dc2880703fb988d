// Compares a drawn picture with a committed one the way pictures differ between machines.
//
// Qt's raster engine picks its SIMD paths by processor, and its antialiasing, gradients and
// smooth scaling round differently on different processors: the same drawing code gives
// pictures that differ by a step or two of 255 in a few pixels. A real fault (a changed
// colour, a shape moved, a part missing) changes many pixels by far more. So: the sizes must
// be equal; every channel of every pixel may differ by `channel`; a few per mille of the
// pixels may differ by more, but none by more than `worst`. Channels are compared
// premultiplied, as they are drawn, so an edge pixel of low alpha whose colour is undefined
// cannot count as a difference.
#pragma once

#include <QImage>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <optional>

namespace tl::test {

struct PictureTolerance {
    int channel = 2;          // of 255, for any pixel
    double offPerMille = 3.0; // pixels beyond `channel`, per mille of all pixels
    int worst = 24;           // no pixel, however few, beyond this
};

struct PictureDiff {
    qsizetype pixels = 0;
    qsizetype differing = 0; // by at least one step
    qsizetype off = 0;       // by more than the tolerance's channel
    int worstDelta = 0;
    QPoint worstAt;
};

inline PictureDiff diffPictures(const QImage& expected, const QImage& actual, int channel) {
    PictureDiff d;
    const QImage a = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage b = actual.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    d.pixels = qsizetype(a.width()) * a.height();
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int delta = std::max(
                {std::abs(qRed(pa[x]) - qRed(pb[x])), std::abs(qGreen(pa[x]) - qGreen(pb[x])),
                 std::abs(qBlue(pa[x]) - qBlue(pb[x])), std::abs(qAlpha(pa[x]) - qAlpha(pb[x]))});
            d.differing += delta > 0;
            d.off += delta > channel;
            if (delta > d.worstDelta) {
                d.worstDelta = delta;
                d.worstAt = QPoint(x, y);
            }
        }
    }
    return d;
}

// Why `actual` is not `expected` within `tol`, naming `name`; nothing when they are alike.
inline std::optional<QString> pictureMismatch(const QString& name, const QImage& expected,
                                              const QImage& actual,
                                              const PictureTolerance& tol = {}) {
    const auto size = [](const QImage& i) {
        return QStringLiteral("%1 x %2").arg(i.width()).arg(i.height());
    };
    if (expected.isNull() || actual.isNull())
        return name + QStringLiteral(": could not be read");
    if (expected.size() != actual.size())
        return name + QStringLiteral(": %1, expected %2").arg(size(actual), size(expected));
    const PictureDiff d = diffPictures(expected, actual, tol.channel);
    const auto allowed = static_cast<qsizetype>(double(d.pixels) * tol.offPerMille / 1000.0);
    if (d.off <= allowed && d.worstDelta <= tol.worst)
        return std::nullopt;
    return name + QStringLiteral(": %1 of %2 pixels differ, %3 by more than %4 of 255 (at most "
                                 "%5 may), the most by %6 at (%7, %8) (at most %9)")
                      .arg(d.differing)
                      .arg(d.pixels)
                      .arg(d.off)
                      .arg(tol.channel)
                      .arg(allowed)
                      .arg(d.worstDelta)
                      .arg(d.worstAt.x())
                      .arg(d.worstAt.y())
                      .arg(tol.worst);
}

} // namespace tl::test
