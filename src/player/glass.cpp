#include "player/glass.h"

#include "skin/alpha_mask.h"

#include <QFile>
#include <QImage>

namespace tl {

std::optional<QRegion> MaskRegion(const QString& blurMaskFile) {
    if (!QFile::exists(blurMaskFile)) {
        return std::nullopt;
    }
    QImage image(blurMaskFile);
    if (image.isNull()) {
        return std::nullopt;
    }
    return QRegion(0, 0, 1, 1).united(blurMaskRegion(image));
}

} // namespace tl
