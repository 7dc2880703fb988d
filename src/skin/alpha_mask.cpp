#include "skin/alpha_mask.h"

#include <QRect>

#include <vector>

namespace tl {

namespace {

// Builds a region from a per-pixel predicate on ARGB32 (non-premultiplied) rows.
template <typename Inside> QRegion regionOf(const QImage& source, Inside inside) {
    if (source.isNull()) {
        return {};
    }
    // A high-density image is sampled at window units: the region is in window coordinates.
    const QImage units = source.devicePixelRatio() > 1.0
                             ? source.scaled(source.deviceIndependentSize().toSize(),
                                             Qt::IgnoreAspectRatio, Qt::FastTransformation)
                             : source;
    const QImage image = units.format() == QImage::Format_ARGB32
                             ? units
                             : units.convertToFormat(QImage::Format_ARGB32);
    std::vector<QRect> rects;
    std::vector<std::pair<int, int>> runs;     // runs of the current row: [start, end)
    std::vector<std::pair<int, int>> bandRuns; // runs of the open band
    int bandTop = 0;
    const auto closeBand = [&](int bottomExclusive) {
        for (const auto& [start, end] : bandRuns) {
            rects.emplace_back(start, bandTop, end - start, bottomExclusive - bandTop);
        }
        bandRuns.clear();
    };
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        runs.clear();
        int x = 0;
        while (x < image.width()) {
            while (x < image.width() && !inside(row[x])) {
                ++x;
            }
            const int start = x;
            while (x < image.width() && inside(row[x])) {
                ++x;
            }
            if (x > start) {
                runs.emplace_back(start, x);
            }
        }
        if (runs != bandRuns) {
            closeBand(y);
            bandRuns = runs;
            bandTop = y;
        }
    }
    closeBand(image.height());
    QRegion region;
    region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

} // namespace

QRegion alphaMaskRegion(const QImage& image, int minAlpha) {
    const int threshold = std::clamp(minAlpha, 1, 255);
    return regionOf(image, [threshold](QRgb px) { return qAlpha(px) >= threshold; });
}

QRegion blurMaskRegion(const QImage& image) {
    return regionOf(image, [](QRgb px) { return px != 0x00FFFFFFu; });
}

} // namespace tl
