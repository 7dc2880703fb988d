#pragma once
// Small themes written into a temporary folder, and pixel helpers, for the skin tests.

#include "../qt_app.h"
#include "skin/skin_control.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>

namespace tl::test {

// The colours of the four frames of the image buttons the tests draw.
inline const QColor kNormal(255, 0, 0);
inline const QColor kHover(0, 255, 0);
inline const QColor kPressed(0, 0, 255);
inline const QColor kDisabled(255, 255, 0);

// Text drawing and font lookup need a GUI application (offscreen in the tests).
inline void ensureGuiApp() {
    ensureApp<QGuiApplication>("skin_test");
}

// Frames of solid colours side by side, each frameW x h.
inline QImage solidStrip(int frameW, int h, std::initializer_list<QColor> colors) {
    QImage image(frameW * static_cast<int>(colors.size()), h, QImage::Format_ARGB32);
    int i = 0;
    for (const QColor& c : colors) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < frameW; ++x) {
                image.setPixelColor(i * frameW + x, y, c);
            }
        }
        ++i;
    }
    return image;
}

inline QImage solid(int w, int h, const QColor& c) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(c);
    return image;
}

class ThemeDir {
public:
    ThemeDir() { EXPECT_TRUE(dir_.isValid()); }
    QString path() const { return dir_.path() + QLatin1Char('/'); }
    void image(const QString& name, const QImage& image) const {
        ASSERT_TRUE(image.save(dir_.filePath(name), "PNG")) << name.toStdString();
    }
    void ini(const char* text) const { file(QStringLiteral("theme.ini"), text); }
    void file(const QString& name, const QByteArray& bytes) const {
        QFile f(dir_.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private:
    QTemporaryDir dir_;
};

inline SkinControl label(const char* name, int tag, const char* keyword, const char* caption = "") {
    SkinControl c;
    c.objectName = QString::fromLatin1(name);
    c.tag = tag;
    c.keyword = QString::fromLatin1(keyword);
    c.caption = QString::fromUtf8(caption);
    return c;
}

inline SkinControl volume(const char* name, SkinControlKind kind) {
    SkinControl c = label(name, 20, "volume");
    c.kind = kind;
    return c;
}

// Colours equal within a small tolerance per channel (premultiplied rounding, blending).
inline ::testing::AssertionResult near(const QColor& actual, const QColor& expected, int tol = 3) {
    const auto close = [tol](int a, int b) {
        return std::abs(a - b) <= tol;
    };
    if (close(actual.red(), expected.red()) && close(actual.green(), expected.green()) &&
        close(actual.blue(), expected.blue()) && close(actual.alpha(), expected.alpha())) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "got " << actual.name(QColor::HexArgb).toStdString() << ", expected "
           << expected.name(QColor::HexArgb).toStdString();
}

// Columns of a rectangle holding any pixel whose alpha exceeds the threshold.
inline int firstInkColumn(const QImage& image, const QRect& area, int minAlpha = 80) {
    for (int x = area.left(); x <= area.right(); ++x) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            if (image.pixelColor(x, y).alpha() >= minAlpha) {
                return x;
            }
        }
    }
    return -1;
}

inline int maxAlpha(const QImage& image, const QRect& area) {
    int best = 0;
    for (int x = area.left(); x <= area.right(); ++x) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            best = std::max(best, image.pixelColor(x, y).alpha());
        }
    }
    return best;
}

} // namespace tl::test
