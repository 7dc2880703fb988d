// Draws the program's application icon and writes it at the sizes the desktop uses:
//   icon_generator <output folder>   (for example assets/icons)
// writes tunelark-48.png, tunelark-128.png and tunelark-256.png. Not run at build time; the
// generated PNGs are committed.

#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

// The icon on a 256-unit canvas, scaled to size: a dark rounded tile with a glowing station
// dot sending waves up and to both sides, over a dial line.
QImage drawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    // Tile.
    QLinearGradient tile(0, 8, 0, 248);
    tile.setColorAt(0, QColor(0x27, 0x3a, 0x5c));
    tile.setColorAt(1, QColor(0x10, 0x17, 0x26));
    p.setPen(QPen(QColor(0x0a, 0x0f, 0x18), 4));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(10, 10, 236, 236), 52, 52);
    // Top sheen.
    QLinearGradient sheen(0, 12, 0, 120);
    sheen.setColorAt(0, QColor(255, 255, 255, 46));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawRoundedRect(QRectF(14, 14, 228, 110), 48, 48);

    const QPointF centre(128, 150);
    // Waves: three arcs each side, fading outwards.
    const QColor wave(0x5f, 0xc4, 0xf5);
    const qreal radii[] = {34, 62, 90};
    const int alphas[] = {255, 200, 140};
    for (int i = 0; i < 3; ++i) {
        QColor c = wave;
        c.setAlpha(alphas[i]);
        p.setPen(QPen(c, 15 - 2 * i, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QRectF box(centre.x() - radii[i], centre.y() - radii[i], 2 * radii[i], 2 * radii[i]);
        p.drawArc(box, 30 * 16, 120 * 16); // upwards
        p.drawArc(box, 165 * 16, 30 * 16); // left
        p.drawArc(box, -15 * 16, 30 * 16); // right
    }
    // Dial line with a tuning marker.
    p.setPen(QPen(QColor(0x9a, 0xb0, 0xcc, 170), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(52, 208), QPointF(204, 208));
    p.setPen(QPen(QColor(0xff, 0xb3, 0x47), 8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(128, 196), QPointF(128, 220));
    // Station dot with a glow.
    QRadialGradient glow(centre, 34);
    glow.setColorAt(0, QColor(0xff, 0xd2, 0x7a, 200));
    glow.setColorAt(1, QColor(0xff, 0xd2, 0x7a, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, 34, 34);
    p.setBrush(QColor(0xff, 0xc4, 0x52));
    p.drawEllipse(centre, 14, 14);
    p.end();
    return image;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: icon_generator <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    for (int size : {48, 128, 256}) {
        const QString file = out.filePath(QStringLiteral("tunelark-%1.png").arg(size));
        if (!drawIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
