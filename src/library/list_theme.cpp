#include "library/list_theme.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

namespace tl {

namespace {

QImage blank(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Selected row: a blue bar, rounded at the caps. side: -1 left cap, 0 middle, 1 right cap.
QImage selectedPart(int side) {
    QImage image = blank(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    const QRectF bar = side < 0   ? QRectF(1, 0, 60, 32)
                       : side > 0 ? QRectF(-29, 0, 60, 32)
                                  : QRectF(-10, 0, 52, 32);
    path.addRoundedRect(bar, side == 0 ? 0 : 7, side == 0 ? 0 : 7);
    p.fillPath(path, QColor(0x2E, 0x64, 0xB4));
    p.setClipPath(path);
    p.fillRect(QRectF(0, 0, 32, 1), QColor(0x6A, 0x9A, 0xE0));
    p.fillRect(QRectF(0, 31, 32, 1), QColor(0x1C, 0x3F, 0x73));
    return image;
}

QImage plainRow(QColor color) {
    QImage image = blank(32, 32);
    image.fill(color);
    return image;
}

// Group bar: the group colour is filled beneath; the bar darkens it so that the group name,
// written in the group colour, reads on it, and leaves a 4-pixel stripe of pure colour at
// the bottom. The caps round the bar off with the list background.
QImage groupPart(int side) {
    QImage image = blank(32, 32);
    QPainter p(&image);
    p.fillRect(0, 0, 32, 28, QColor(0, 0, 0, 190));
    p.fillRect(0, 0, 32, 1, QColor(255, 255, 255, 60));
    if (side != 0) {
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath outside;
        outside.addRect(0, 0, 32, 32);
        QPainterPath bar;
        bar.addRoundedRect(side < 0 ? QRectF(0, 0, 64, 32) : QRectF(-32, 0, 64, 32), 8, 8);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillPath(outside.subtracted(bar), Qt::black);
    }
    return image;
}

QImage arrow(bool expanded) {
    QImage image = blank(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE8, 0xE8, 0xE8));
    QPolygonF tri;
    if (expanded)
        tri << QPointF(9, 11) << QPointF(23, 11) << QPointF(16, 20);
    else
        tri << QPointF(12, 7) << QPointF(21, 14) << QPointF(12, 21);
    p.drawPolygon(tri);
    return image;
}

QImage toolPicture(int which) {
    QImage image = blank(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0xF0, 0xF0, 0xF0);
    const QColor accent(0x4C, 0xB0, 0x4C);
    switch (which) {
    case ListTheme::kNewStation: { // a small radio with a plus
        p.setPen(QPen(ink, 2));
        p.setBrush(QColor(0x55, 0x66, 0x88));
        p.drawRoundedRect(QRectF(3, 10, 22, 16), 3, 3);
        p.drawLine(QPointF(8, 10), QPointF(18, 3));
        p.setBrush(ink);
        p.drawEllipse(QPointF(10, 18), 3, 3);
        p.setPen(QPen(accent, 3));
        p.drawLine(QPointF(25, 20), QPointF(25, 30));
        p.drawLine(QPointF(20, 25), QPointF(30, 25));
        break;
    }
    case ListTheme::kAddFavourite: { // a star
        QPolygonF star;
        for (int i = 0; i < 10; ++i) {
            const double r = i % 2 == 0 ? 14.0 : 6.0;
            const double a = -M_PI / 2 + i * M_PI / 5;
            star << QPointF(16 + r * std::cos(a), 17 + r * std::sin(a));
        }
        p.setPen(QPen(QColor(0xB0, 0x80, 0x10), 1.5));
        p.setBrush(QColor(0xF5, 0xC0, 0x30));
        p.drawPolygon(star);
        break;
    }
    case ListTheme::kDelete: { // a red cross
        p.setPen(QPen(QColor(0xD8, 0x3A, 0x3A), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 8), QPointF(24, 24));
        p.drawLine(QPointF(24, 8), QPointF(8, 24));
        break;
    }
    default: { // new group: a folder with a plus
        p.setPen(QPen(QColor(0xA0, 0x78, 0x20), 1.5));
        p.setBrush(QColor(0xE8, 0xB8, 0x48));
        QPolygonF folder;
        folder << QPointF(3, 8) << QPointF(12, 8) << QPointF(15, 11) << QPointF(27, 11)
               << QPointF(27, 26) << QPointF(3, 26);
        p.drawPolygon(folder);
        p.setPen(QPen(accent, 3));
        p.drawLine(QPointF(25, 20), QPointF(25, 30));
        p.drawLine(QPointF(20, 25), QPointF(30, 25));
        break;
    }
    }
    return image;
}

QImage icon(int which) {
    QImage image = blank(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0xE0, 0xE0, 0xE0);
    switch (which) {
    case ListTheme::kIconAudio: { // a note
        p.setPen(QPen(ink, 2));
        p.drawLine(QPointF(15, 4), QPointF(15, 17));
        p.drawLine(QPointF(15, 4), QPointF(20, 7));
        p.setBrush(ink);
        p.drawEllipse(QPointF(11, 18), 4, 3);
        break;
    }
    case ListTheme::kIconVideo: { // a screen
        p.setPen(QPen(ink, 2));
        p.setBrush(QColor(0x30, 0x50, 0x80));
        p.drawRoundedRect(QRectF(2, 4, 20, 14), 2, 2);
        p.drawLine(QPointF(8, 21), QPointF(16, 21));
        break;
    }
    default: { // file icons (MP3, Ogg) and the two directory marks
        p.setPen(QPen(ink, 1.5));
        p.setBrush(which == ListTheme::kIconMp3   ? QColor(0x40, 0x70, 0xB0)
                   : which == ListTheme::kIconOgg ? QColor(0x40, 0x90, 0x50)
                                                  : QColor(0x70, 0x70, 0x70));
        if (which >= ListTheme::kIconMp3)
            p.drawRect(QRectF(4, 2, 16, 20));
        else
            p.drawEllipse(QRectF(3, 3, 18, 18));
        QFont f = p.font();
        f.setPixelSize(7);
        f.setBold(true);
        p.setFont(f);
        const char* label[] = {"S", "I", "", "", "MP3", "OGG"};
        p.drawText(QRectF(2, 2, 20, 20), Qt::AlignCenter, QString::fromLatin1(label[which]));
        break;
    }
    }
    return image;
}

QImage nowPlayingMark() {
    QImage image = blank(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x30, 0xB0, 0x40));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF() << QPointF(6, 4.5) << QPointF(12, 8) << QPointF(6, 11.5));
    return image;
}

QImage clearCross() {
    QImage image = blank(24, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x90, 0x90, 0x90), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(16, 16));
    p.drawLine(QPointF(16, 8), QPointF(8, 16));
    return image;
}

ListTheme makeBuiltin() {
    ListTheme t;
    for (int i = 0; i < 4; ++i)
        t.rowImages[static_cast<std::size_t>(i)] = toolPicture(i);
    t.rowImages[ListTheme::kListL] = selectedPart(-1);
    t.rowImages[ListTheme::kListC] = selectedPart(0);
    t.rowImages[ListTheme::kListR] = selectedPart(1);
    t.rowImages[ListTheme::kList1] = plainRow(QColor(0x1A, 0x1A, 0x1A));
    t.rowImages[ListTheme::kList2] = plainRow(QColor(0x26, 0x26, 0x26));
    t.rowImages[ListTheme::kGroupL] = groupPart(-1);
    t.rowImages[ListTheme::kGroupC] = groupPart(0);
    t.rowImages[ListTheme::kGroupR] = groupPart(1);
    t.rowImages[ListTheme::kArrowCollapsed] = arrow(false);
    t.rowImages[ListTheme::kArrowExpanded] = arrow(true);
    for (std::size_t i = 14; i < t.rowImages.size(); ++i)
        t.rowImages[i] = blank(32, 32);
    for (int i = 0; i < 6; ++i)
        t.icons[static_cast<std::size_t>(i)] = icon(i);
    t.nowPlaying = nowPlayingMark();
    t.clearImage = clearCross();
    return t;
}

} // namespace

const ListTheme& ListTheme::builtin() {
    static const ListTheme theme = makeBuiltin();
    return theme;
}

} // namespace tl
