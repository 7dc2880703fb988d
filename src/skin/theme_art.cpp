#include "skin/theme_art.h"

#include "common/numeric.h"
#include "skin/canvas.h"
#include "skin/theme.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <functional>
#include <numbers>

namespace tl {

namespace {

constexpr int kShadow = 2; // shadowoffset of both designs

struct Palette {
    QColor bodyTop, bodyBottom, bodyBorder, bodyHighlight;
    QColor displayTop, displayBottom, displayBorder, displayInner;
    QColor artBox, artGlyph;
    QColor faceTop, faceBottom, hoverTop, hoverBottom, pressedTop, pressedBottom, buttonBorder;
    QColor buttonHighlight;
    QColor glyph, glyphHover, accent, record, recordLive, closeHover;
    QColor song, info, small, time;
    QColor knobLight, knobDark, knobRim, knobTrack;
    QColor shadow;
    int gloss; // alpha of the top image's gloss
};

Palette nocturne() {
    Palette p;
    p.bodyTop = QColor(0x2d, 0x34, 0x42);
    p.bodyBottom = QColor(0x14, 0x18, 0x1f);
    p.bodyBorder = QColor(0x07, 0x09, 0x0d);
    p.bodyHighlight = QColor(255, 255, 255, 46);
    p.displayTop = QColor(0x0a, 0x0f, 0x16);
    p.displayBottom = QColor(0x10, 0x19, 0x24);
    p.displayBorder = QColor(0x04, 0x06, 0x09);
    p.displayInner = QColor(255, 255, 255, 18);
    p.artBox = QColor(0x16, 0x1f, 0x2b);
    p.artGlyph = QColor(0x5e, 0xe0, 0xd0, 90);
    p.faceTop = QColor(0x3a, 0x42, 0x51);
    p.faceBottom = QColor(0x22, 0x28, 0x33);
    p.hoverTop = QColor(0x48, 0x52, 0x65);
    p.hoverBottom = QColor(0x2b, 0x33, 0x41);
    p.pressedTop = QColor(0x15, 0x19, 0x20);
    p.pressedBottom = QColor(0x25, 0x2c, 0x38);
    p.buttonBorder = QColor(0x08, 0x0a, 0x0e);
    p.buttonHighlight = QColor(255, 255, 255, 40);
    p.glyph = QColor(0xcf, 0xd8, 0xe4);
    p.glyphHover = QColor(0x62, 0xe6, 0xd6);
    p.accent = QColor(0x4f, 0xd6, 0xc6);
    p.record = QColor(0xc9, 0x4f, 0x4f);
    p.recordLive = QColor(0xff, 0x3b, 0x3b);
    p.closeHover = QColor(0xff, 0x6b, 0x5e);
    p.song = QColor(0xef, 0xf4, 0xfb);
    p.info = QColor(0x93, 0xb8, 0xd8);
    p.small = QColor(0x6f, 0x8d, 0xab);
    p.time = QColor(0x62, 0xe6, 0xd6);
    p.knobLight = QColor(0x55, 0x5e, 0x70);
    p.knobDark = QColor(0x1a, 0x1f, 0x27);
    p.knobRim = QColor(0x06, 0x08, 0x0b);
    p.knobTrack = QColor(0x0b, 0x0f, 0x15);
    p.shadow = QColor(0, 0, 0);
    p.gloss = 26;
    return p;
}

Palette daybreak() {
    Palette p;
    p.bodyTop = QColor(0xfa, 0xfb, 0xfd);
    p.bodyBottom = QColor(0xd5, 0xdb, 0xe4);
    p.bodyBorder = QColor(0x8c, 0x97, 0xa6);
    p.bodyHighlight = QColor(255, 255, 255, 220);
    p.displayTop = QColor(0xdc, 0xe9, 0xf4);
    p.displayBottom = QColor(0xee, 0xf4, 0xfa);
    p.displayBorder = QColor(0x93, 0xa5, 0xb8);
    p.displayInner = QColor(0x3a, 0x50, 0x68, 40);
    p.artBox = QColor(0xc9, 0xd7, 0xe5);
    p.artGlyph = QColor(0x1e, 0x7f, 0xd6, 110);
    p.faceTop = QColor(0xff, 0xff, 0xff);
    p.faceBottom = QColor(0xe1, 0xe6, 0xed);
    p.hoverTop = QColor(0xff, 0xff, 0xff);
    p.hoverBottom = QColor(0xd3, 0xe7, 0xfa);
    p.pressedTop = QColor(0xc4, 0xcd, 0xd8);
    p.pressedBottom = QColor(0xe4, 0xe9, 0xef);
    p.buttonBorder = QColor(0x8f, 0x9b, 0xab);
    p.buttonHighlight = QColor(255, 255, 255, 230);
    p.glyph = QColor(0x36, 0x44, 0x56);
    p.glyphHover = QColor(0x1b, 0x78, 0xcf);
    p.accent = QColor(0x1e, 0x7f, 0xd6);
    p.record = QColor(0xb8, 0x3c, 0x3c);
    p.recordLive = QColor(0xf0, 0x28, 0x28);
    p.closeHover = QColor(0xd9, 0x3a, 0x2f);
    p.song = QColor(0x18, 0x22, 0x2e);
    p.info = QColor(0x35, 0x55, 0x76);
    p.small = QColor(0x5a, 0x6f, 0x87);
    p.time = QColor(0x1b, 0x6f, 0xbf);
    p.knobLight = QColor(0xff, 0xff, 0xff);
    p.knobDark = QColor(0xcf, 0xd6, 0xdf);
    p.knobRim = QColor(0x85, 0x92, 0xa3);
    p.knobTrack = QColor(0xb4, 0xc1, 0xcf);
    p.shadow = QColor(0x20, 0x2a, 0x38);
    p.gloss = 70;
    return p;
}

// Geometry shared by both designs (window pixels).
constexpr int kWidth = 380;
constexpr int kHeight = 128;
const QRectF kBody(4.5, 3.5, 371, 118);
const QRectF kDisplay(14.5, 14.5, 268, 70);
const QRect kArt(21, 21, 56, 56);

struct Place {
    const char* keyword;
    QRect rect; // hit area
};
const Place kSong{"song", QRect(86, 19, 190, 19)};
const Place kInfo{"info", QRect(86, 40, 190, 17)};
const Place kBitrate{"bitrate", QRect(86, 64, 60, 14)};
const Place kFormatLine{"format", QRect(148, 64, 38, 14)};
const Place kTime{"time", QRect(238, 62, 42, 17)};
const Place kPrev{"prewious", QRect(16, 93, 34, 24)};
const Place kPlay{"play", QRect(54, 93, 46, 24)};
const Place kNext{"next", QRect(104, 93, 34, 24)};
const Place kFav{"favourites", QRect(156, 93, 30, 24)};
const Place kRec{"record", QRect(190, 93, 30, 24)};
const Place kMute{"mute", QRect(224, 93, 30, 24)};
const Place kMin{"minimize", QRect(328, 11, 18, 16)};
const Place kClose{"close", QRect(350, 11, 18, 16)};
constexpr int kKnobSide = 60;
const QPoint kKnobAt(301, 44);
constexpr int kSliderTrack = 64; // type 0 track width
constexpr int kSliderThumb = 14;
const QPoint kSliderAt(298, 72);
const VisualSettings kVisual{true, 0, 190, 63, 15, 3, 1, 11};

uint32_t colorRef(const QColor& c) {
    return argbToColorRef(c.rgb());
}

void prepare(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

// A soft shadow under a rounded rectangle: a few widening rings of low alpha.
void softShadow(QPainter& p, const QRectF& r, double radius, const QColor& color, int spread,
                int alphaPerRing, double dy) {
    p.save();
    p.setPen(Qt::NoPen);
    for (int i = spread; i >= 1; --i) {
        QColor c = color;
        c.setAlpha(alphaPerRing);
        p.setBrush(c);
        p.drawRoundedRect(r.adjusted(-i, -i + dy, i, i + dy), radius + i, radius + i);
    }
    p.restore();
}

void panel(QPainter& p, const QRectF& r, double radius, const QColor& top, const QColor& bottom,
           const QColor& border, const QColor& highlight) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(border, 1));
    p.setBrush(g);
    p.drawRoundedRect(r, radius, radius);
    // Light catching the upper edge.
    QLinearGradient h(r.topLeft(), r.bottomLeft());
    h.setColorAt(0, highlight);
    QColor fade = highlight;
    fade.setAlpha(0);
    h.setColorAt(0.5, fade);
    p.setPen(QPen(QBrush(h), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
}

void inset(QPainter& p, const QRectF& r, double radius, const Palette& pal) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, pal.displayTop);
    g.setColorAt(1, pal.displayBottom);
    p.setPen(QPen(pal.displayBorder, 1));
    p.setBrush(g);
    p.drawRoundedRect(r, radius, radius);
    // Inner shadow along the top, a faint lip along the bottom.
    QLinearGradient s(r.topLeft(), r.bottomLeft());
    QColor dark = pal.displayBorder;
    dark.setAlpha(120);
    s.setColorAt(0, dark);
    dark.setAlpha(0);
    s.setColorAt(0.12, dark);
    p.setPen(Qt::NoPen);
    p.setBrush(s);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    p.setPen(QPen(pal.displayInner, 1));
    p.drawLine(QPointF(r.left() + radius, r.bottom() + 1),
               QPointF(r.right() - radius, r.bottom() + 1));
}

// --- glyphs, drawn into a box centred on the button -------------------------------------------

using Glyph = std::function<void(QPainter&, const QRectF&, const QColor&)>;

QPainterPath triangle(QPointF a, QPointF b, QPointF c) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    return path;
}

void glyphPlay(QPainter& p, const QRectF& box, const QColor& c) {
    const QPointF m = box.center();
    p.setPen(QPen(c, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    p.drawPath(triangle(m + QPointF(-4, -6), m + QPointF(6.5, 0), m + QPointF(-4, 6)));
}

void glyphStop(QPainter& p, const QRectF& box, const QColor& c) {
    const QPointF m = box.center();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(m.x() - 5.5, m.y() - 5.5, 11, 11), 1.5, 1.5);
}

void glyphSkip(QPainter& p, const QRectF& box, const QColor& c, bool forward) {
    const QPointF m = box.center();
    const double d = forward ? 1 : -1;
    p.setPen(QPen(c, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    p.drawPath(triangle(m + QPointF(-7 * d, -5), m + QPointF(0, 0), m + QPointF(-7 * d, 5)));
    p.drawPath(triangle(m + QPointF(-1 * d, -5), m + QPointF(6 * d, 0), m + QPointF(-1 * d, 5)));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(forward ? m.x() + 6 : m.x() - 8, m.y() - 5, 2, 10));
}

void glyphStar(QPainter& p, const QRectF& box, const QColor& c) {
    const QPointF m = box.center() + QPointF(0, 0.5);
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const double r = i % 2 == 0 ? 7.0 : 3.0;
        const double a = std::numbers::pi / 2 + i * std::numbers::pi / 5;
        const QPointF pt(m.x() + r * std::cos(a), m.y() - r * std::sin(a));
        if (i == 0) {
            path.moveTo(pt);
        } else {
            path.lineTo(pt);
        }
    }
    path.closeSubpath();
    p.setPen(QPen(c, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    p.drawPath(path);
}

void glyphRecord(QPainter& p, const QRectF& box, const QColor& c, bool live) {
    const QPointF m = box.center();
    p.setPen(Qt::NoPen);
    if (live) {
        QRadialGradient glow(m, 9);
        QColor g = c;
        g.setAlpha(130);
        glow.setColorAt(0.45, g);
        g.setAlpha(0);
        glow.setColorAt(1, g);
        p.setBrush(glow);
        p.drawEllipse(m, 9, 9);
    }
    p.setBrush(c);
    p.drawEllipse(m, 5, 5);
    if (live) {
        p.setBrush(QColor(255, 255, 255, 150));
        p.drawEllipse(m + QPointF(-1.6, -1.6), 1.6, 1.6);
    }
}

void speaker(QPainter& p, const QPointF& m, const QColor& c) {
    QPainterPath path;
    path.moveTo(m + QPointF(-7, -2.5));
    path.lineTo(m + QPointF(-4, -2.5));
    path.lineTo(m + QPointF(0, -6));
    path.lineTo(m + QPointF(0, 6));
    path.lineTo(m + QPointF(-4, 2.5));
    path.lineTo(m + QPointF(-7, 2.5));
    path.closeSubpath();
    p.setPen(QPen(c, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    p.drawPath(path);
}

void glyphSpeaker(QPainter& p, const QRectF& box, const QColor& c) {
    const QPointF m = box.center() + QPointF(-1, 0);
    speaker(p, m, c);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(m.x() - 4, m.y() - 4, 8, 8), -50 * 16, 100 * 16);
    p.drawArc(QRectF(m.x() - 7.5, m.y() - 7.5, 15, 15), -50 * 16, 100 * 16);
}

void glyphMuted(QPainter& p, const QRectF& box, const QColor& c, const QColor& cross) {
    const QPointF m = box.center() + QPointF(-2, 0);
    speaker(p, m, c);
    p.setPen(QPen(cross, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(m + QPointF(3, -3.5), m + QPointF(9, 3.5));
    p.drawLine(m + QPointF(3, 3.5), m + QPointF(9, -3.5));
}

void glyphClose(QPainter& p, const QRectF& box, const QColor& c) {
    const QPointF m = box.center();
    p.setPen(QPen(c, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(m + QPointF(-3.5, -3.5), m + QPointF(3.5, 3.5));
    p.drawLine(m + QPointF(-3.5, 3.5), m + QPointF(3.5, -3.5));
}

void glyphMinimize(QPainter& p, const QRectF& box, const QColor& c) {
    const QPointF m = box.center();
    p.setPen(QPen(c, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(m + QPointF(-4, 3), m + QPointF(4, 3));
}

void glyphNote(QPainter& p, const QPointF& m, double scale, const QColor& c) {
    p.save();
    p.translate(m);
    p.scale(scale, scale);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(-6, 7), 4.2, 3.2);
    p.drawEllipse(QPointF(6, 5), 4.2, 3.2);
    p.drawRect(QRectF(-2.6, -9, 1.8, 16));
    p.drawRect(QRectF(9.4, -11, 1.8, 16));
    QPainterPath beam;
    beam.moveTo(-2.6, -9);
    beam.lineTo(11.2, -11);
    beam.lineTo(11.2, -7);
    beam.lineTo(-2.6, -5);
    beam.closeSubpath();
    p.drawPath(beam);
    p.restore();
}

// --- strips -----------------------------------------------------------------------------------

enum class ButtonShape { Pill, Small };

// Four frames side by side: normal, hover, pressed, disabled. Each frame is the hit area plus
// the shadow margin on every side.
QImage buttonStrip(const Palette& pal, QSize hit, ButtonShape shape, const Glyph& glyph,
                   const QColor& glyphColor, const QColor& hoverColor, int scale) {
    const int fw = hit.width() + 2 * kShadow;
    const int fh = hit.height() + 2 * kShadow;
    QImage image = blankCanvas(4 * fw, fh, scale);
    QPainter p(&image);
    prepare(p);
    const double radius = shape == ButtonShape::Pill ? 6 : 5;
    for (int frame = 0; frame < 4; ++frame) {
        const QRectF face(frame * fw + kShadow + 0.5, kShadow + 0.5, hit.width() - 1,
                          hit.height() - 1);
        const bool hover = frame == 1;
        const bool pressed = frame == 2;
        const bool disabled = frame == 3;
        p.setOpacity(disabled ? 0.55 : 1.0);
        if (!pressed) {
            softShadow(p, face, radius, pal.shadow, 2, 38, 1);
        }
        if (pressed) {
            panel(p, face, radius, pal.pressedTop, pal.pressedBottom, pal.buttonBorder,
                  QColor(0, 0, 0, 0));
        } else if (hover) {
            panel(p, face, radius, pal.hoverTop, pal.hoverBottom, pal.buttonBorder,
                  pal.buttonHighlight);
        } else {
            panel(p, face, radius, pal.faceTop, pal.faceBottom, pal.buttonBorder,
                  pal.buttonHighlight);
        }
        QColor c = hover || pressed ? hoverColor : glyphColor;
        if (disabled) {
            c.setAlphaF(0.45f);
        }
        glyph(p, face.translated(0, pressed ? 1 : 0), c);
        p.setOpacity(1.0);
    }
    return image;
}

QImage knobStrip(const Palette& pal, int scale) {
    const int k = kKnobSide;
    QImage image = blankCanvas(kVolumeFrames * k, k, scale);
    QPainter p(&image);
    prepare(p);
    for (int n = 0; n < kVolumeFrames; ++n) {
        const QPointF c(n * k + k / 2.0, k / 2.0);
        // Track and value arcs around the cap.
        const QRectF arc(c.x() - 26, c.y() - 26, 52, 52);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(pal.knobTrack, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(arc, 240 * 16, -300 * 16);
        if (n > 0) {
            QColor glow = pal.accent;
            glow.setAlpha(60);
            p.setPen(QPen(glow, 7, Qt::SolidLine, Qt::RoundCap));
            p.drawArc(arc, 240 * 16, -n * 30 * 16);
            p.setPen(QPen(pal.accent, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawArc(arc, 240 * 16, -n * 30 * 16);
        }
        // Cap with a drop shadow, lit from the upper left.
        p.setPen(Qt::NoPen);
        QColor shade = pal.shadow;
        shade.setAlpha(90);
        p.setBrush(shade);
        p.drawEllipse(c + QPointF(0, 2), 20, 20);
        QLinearGradient g(c + QPointF(-14, -16), c + QPointF(12, 18));
        g.setColorAt(0, pal.knobLight);
        g.setColorAt(1, pal.knobDark);
        p.setPen(QPen(pal.knobRim, 1));
        p.setBrush(g);
        p.drawEllipse(c, 19.5, 19.5);
        QRadialGradient face(c + QPointF(-5, -6), 18);
        QColor shine(255, 255, 255, 40);
        face.setColorAt(0, shine);
        shine.setAlpha(0);
        face.setColorAt(1, shine);
        p.setPen(Qt::NoPen);
        p.setBrush(face);
        p.drawEllipse(c, 15, 15);
        // The pointer mark.
        const double a = (240.0 - n * 30.0) * std::numbers::pi / 180.0;
        const QPointF dir(std::cos(a), -std::sin(a));
        p.setPen(QPen(pal.accent, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(c + dir * 8.0, c + dir * 15.0);
    }
    return image;
}

QImage sliderStrip(const Palette& pal, int scale) {
    const int h = kSliderThumb;
    QImage image = blankCanvas(kSliderTrack + 2 * h, h, scale);
    QPainter p(&image);
    prepare(p);
    // The thumb's centre runs from h/2 to the track's width minus ten plus h/2.
    const double from = h / 2.0;
    const double to = kSliderTrack - 10 + h / 2.0;
    const QRectF groove(from - 3, h / 2.0 - 2.5, to - from + 6, 5);
    p.setPen(QPen(pal.displayBorder, 1));
    QLinearGradient g(groove.topLeft(), groove.bottomLeft());
    g.setColorAt(0, pal.knobTrack.darker(115));
    g.setColorAt(1, pal.knobTrack);
    p.setBrush(g);
    p.drawRoundedRect(groove, 2.5, 2.5);
    for (int i = 0; i <= 10; i += 5) {
        const double x = from + i * (to - from) / 10.0;
        p.setPen(QPen(pal.small, 1));
        p.drawLine(QPointF(x, 0.5), QPointF(x, 2));
    }
    for (int t = 0; t < 2; ++t) {
        const QPointF c(kSliderTrack + t * h + h / 2.0, h / 2.0);
        p.setPen(Qt::NoPen);
        QColor shade = pal.shadow;
        shade.setAlpha(70);
        p.setBrush(shade);
        p.drawEllipse(c + QPointF(0, 1), 6, 6);
        QLinearGradient f(c + QPointF(0, -6), c + QPointF(0, 6));
        f.setColorAt(0, pal.knobLight);
        f.setColorAt(1, pal.knobDark);
        p.setPen(QPen(t == 1 ? pal.accent : pal.knobRim, 1));
        p.setBrush(f);
        p.drawEllipse(c, 5.5, 5.5);
        p.setPen(Qt::NoPen);
        p.setBrush(t == 1 ? pal.accent : pal.small);
        p.drawEllipse(c, 1.8, 1.8);
    }
    return image;
}

// --- windows ----------------------------------------------------------------------------------

QImage playerBackground(const Palette& pal, ThemeDesign design, int scale) {
    QImage image = blankCanvas(kWidth, kHeight, scale);
    QPainter p(&image);
    prepare(p);
    softShadow(p, kBody, 16, pal.shadow, 4, 22, 2);
    panel(p, kBody, 16, pal.bodyTop, pal.bodyBottom, pal.bodyBorder, pal.bodyHighlight);
    inset(p, kDisplay, 8, pal);

    // Album-art well with a note; the cover, when there is one, is drawn over it.
    p.setPen(QPen(pal.displayBorder, 1));
    p.setBrush(pal.artBox);
    p.drawRoundedRect(QRectF(kArt).adjusted(-1.5, -1.5, 1.5, 1.5), 4, 4);
    glyphNote(p, QRectF(kArt).center(), 1.3, pal.artGlyph);

    // A faint baseline under the visualisation.
    QColor base = pal.accent;
    base.setAlpha(50);
    p.setPen(QPen(base, 1));
    const int vx = kVisual.x;
    const int vw = (kVisual.w + kVisual.space) * kVisual.count - kVisual.space;
    p.drawLine(QPointF(vx, kVisual.y + kVisual.h + 0.5),
               QPointF(vx + vw, kVisual.y + kVisual.h + 0.5));

    // Separator between the transport and the state buttons.
    p.setPen(QPen(pal.bodyBorder, 1));
    const double sx = (kNext.rect.right() + kFav.rect.left()) / 2.0 + 0.5;
    p.drawLine(QPointF(sx, 96), QPointF(sx, 115));

    if (design == ThemeDesign::Nocturne) {
        // Eleven tick dots around the volume knob.
        const QPointF c(kKnobAt.x() + kKnobSide / 2.0, kKnobAt.y() + kKnobSide / 2.0);
        p.setPen(Qt::NoPen);
        for (int n = 0; n <= 10; ++n) {
            const double a = (240.0 - n * 30.0) * std::numbers::pi / 180.0;
            QColor dot = pal.small;
            dot.setAlpha(n == 0 || n == 10 ? 200 : 110);
            p.setBrush(dot);
            p.drawEllipse(c + QPointF(std::cos(a), -std::sin(a)) * 33.5, 1.1, 1.1);
        }
    } else {
        // Quiet and loud marks at the slider's ends.
        const double y = kSliderAt.y() + kSliderThumb / 2.0;
        QColor mark = pal.small;
        p.setBrush(mark);
        p.setPen(Qt::NoPen);
        speaker(p, QPointF(kSliderAt.x() + 8, y - 16), mark);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(mark, 1.2, Qt::SolidLine, Qt::RoundCap));
        const QPointF m(kSliderAt.x() + 8, y - 16);
        p.drawArc(QRectF(m.x() - 4, m.y() - 4, 8, 8), -50 * 16, 100 * 16);
        p.drawArc(QRectF(m.x() - 7.5, m.y() - 7.5, 15, 15), -50 * 16, 100 * 16);
    }
    return image;
}

QImage playerTop(const Palette& pal, int scale) {
    QImage image = blankCanvas(kWidth, kHeight, scale);
    QPainter p(&image);
    prepare(p);
    QPainterPath glass;
    glass.addRoundedRect(kDisplay.adjusted(1, 1, -1, -1), 7, 7);
    QPainterPath upper;
    upper.addRect(
        QRectF(kDisplay.left(), kDisplay.top(), kDisplay.width(), kDisplay.height() * 0.42));
    QLinearGradient g(kDisplay.topLeft(),
                      QPointF(kDisplay.left(), kDisplay.top() + kDisplay.height() * 0.42));
    g.setColorAt(0, QColor(255, 255, 255, pal.gloss));
    g.setColorAt(1, QColor(255, 255, 255, pal.gloss / 4));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(glass.intersected(upper));
    return image;
}

QImage hintBackground(const Palette& pal, int scale) {
    QImage image = blankCanvas(320, 78, scale);
    QPainter p(&image);
    prepare(p);
    const QRectF body(4.5, 3.5, 311, 68);
    softShadow(p, body, 12, pal.shadow, 4, 22, 2);
    panel(p, body, 12, pal.bodyTop, pal.bodyBottom, pal.bodyBorder, pal.bodyHighlight);
    inset(p, QRectF(12.5, 11.5, 36, 52), 6, pal);
    glyphNote(p, QPointF(30.5, 37.5), 1.0, pal.accent);
    return image;
}

QImage lyricsBackground(const Palette& pal, int scale) {
    QImage image = blankCanvas(kWidth, 420, scale);
    QPainter p(&image);
    prepare(p);
    const QRectF body(4.5, 3.5, 371, 410);
    softShadow(p, body, 16, pal.shadow, 4, 22, 2);
    panel(p, body, 16, pal.bodyTop, pal.bodyBottom, pal.bodyBorder, pal.bodyHighlight);
    inset(p, QRectF(14.5, 40.5, 351, 362), 8, pal);
    glyphNote(p, QPointF(28, 22), 0.8, pal.accent);
    return image;
}

QString section(const char* name, std::initializer_list<std::pair<const char*, QString>> keys) {
    QString s = QStringLiteral("[%1]\n").arg(QLatin1String(name));
    for (const auto& [key, value] : keys) {
        s += QStringLiteral("%1=%2\n").arg(QLatin1String(key), value);
    }
    return s + QLatin1Char('\n');
}

QString num(long long v) {
    return QString::number(v);
}

QString textSection(const Place& place, const QColor& color, int size) {
    return section(place.keyword, {{"visible", num(1)},
                                   {"x", num(place.rect.x())},
                                   {"y", num(place.rect.y())},
                                   {"w", num(place.rect.width())},
                                   {"h", num(place.rect.height())},
                                   {"FontColor", num(colorRef(color))},
                                   {"FontSize", num(size)}});
}

QString buttonSection(const Place& place, const Palette& pal) {
    return section(place.keyword, {{"visible", num(1)},
                                   {"x", num(place.rect.x())},
                                   {"y", num(place.rect.y())},
                                   {"w", num(place.rect.width())},
                                   {"h", num(place.rect.height())},
                                   {"FontColor", num(colorRef(pal.glyph))},
                                   {"FontSize", num(12)}});
}

} // namespace

GeneratedTheme drawTheme(ThemeDesign design, bool dense) {
    const bool night = design == ThemeDesign::Nocturne;
    const Palette pal = night ? nocturne() : daybreak();
    GeneratedTheme t;
    t.name = night ? QStringLiteral("Nocturne") : QStringLiteral("Daybreak");

    // Each picture at window size and, as "NAME@2x.png", at twice that for dense screens.
    for (const int scale : {1, 2}) {
        if (scale == 2 && !dense) {
            break;
        }
        const auto put = [&](const char* name, QImage image) {
            const QString file = scale == 1 ? QStringLiteral("%1.png").arg(QLatin1String(name))
                                            : QStringLiteral("%1@2x.png").arg(QLatin1String(name));
            t.images[file] = std::move(image);
        };
        const auto pill = [&](const Place& place, const Glyph& g, const QColor& normal,
                              const QColor& hover) {
            return buttonStrip(pal, place.rect.size(), ButtonShape::Pill, g, normal, hover, scale);
        };
        const auto small = [&](const Place& place, const Glyph& g, const QColor& hover) {
            return buttonStrip(pal, place.rect.size(), ButtonShape::Small, g, pal.glyph, hover,
                               scale);
        };
        put("background", playerBackground(pal, design, scale));
        put("top", playerTop(pal, scale));
        put("hint", hintBackground(pal, scale));
        put("lyrics", lyricsBackground(pal, scale));
        put("2", pill(kFav, glyphStar, pal.glyph, pal.glyphHover));
        put("3", pill(kMute, glyphSpeaker, pal.glyph, pal.glyphHover));
        put("31", pill(
                      kMute,
                      [&](QPainter& p, const QRectF& b, const QColor& c) {
                          glyphMuted(p, b, c, pal.recordLive);
                      },
                      pal.glyph, pal.glyphHover));
        put("4",
            pill(
                kPrev,
                [](QPainter& p, const QRectF& b, const QColor& c) { glyphSkip(p, b, c, false); },
                pal.glyph, pal.glyphHover));
        put("5", pill(kPlay, glyphPlay, pal.glyph, pal.glyphHover));
        put("51", pill(kPlay, glyphStop, pal.accent, pal.glyphHover));
        put("6",
            pill(
                kNext,
                [](QPainter& p, const QRectF& b, const QColor& c) { glyphSkip(p, b, c, true); },
                pal.glyph, pal.glyphHover));
        put("7",
            pill(
                kRec,
                [](QPainter& p, const QRectF& b, const QColor& c) { glyphRecord(p, b, c, false); },
                pal.record, pal.recordLive));
        put("71",
            pill(
                kRec,
                [](QPainter& p, const QRectF& b, const QColor& c) { glyphRecord(p, b, c, true); },
                pal.recordLive, pal.recordLive));
        put("8", small(kClose, glyphClose, pal.closeHover));
        put("9", small(kMin, glyphMinimize, pal.glyphHover));
        put("20", night ? knobStrip(pal, scale) : sliderStrip(pal, scale));
    }

    VisualSettings v = kVisual;
    v.color = colorRef(pal.accent);
    const QPoint volumeAt = night ? kKnobAt : kSliderAt;
    QString ini =
        QStringLiteral("; %1 theme for Tunelark. Positions are window pixels.\n\n").arg(t.name);
    ini += section("General",
                   {{"shadowoffset", num(kShadow)}, {"FontName", QStringLiteral("DejaVu Sans")}});
    ini += section("Visual", {{"visible", num(1)},
                              {"Color", num(v.color)},
                              {"x", num(v.x)},
                              {"y", num(v.y)},
                              {"h", num(v.h)},
                              {"w", num(v.w)},
                              {"space", num(v.space)},
                              {"count", num(v.count)}});
    ini += section("AlbumArt", {{"visible", num(1)},
                                {"x", num(kArt.x())},
                                {"y", num(kArt.y())},
                                {"w", num(kArt.width())},
                                {"h", num(kArt.height())}});
    ini += textSection(kSong, pal.song, 14);
    ini += textSection(kInfo, pal.info, 11);
    ini += textSection(kBitrate, pal.small, 10);
    ini += textSection(kFormatLine, pal.small, 10);
    ini += textSection(kTime, pal.time, 13);
    for (const Place* place : {&kFav, &kMute, &kPrev, &kPlay, &kNext, &kRec, &kClose, &kMin}) {
        ini += buttonSection(*place, pal);
    }
    ini += section("volume", {{"type", num(night ? 1 : 0)},
                              {"visible", num(1)},
                              {"x", num(volumeAt.x())},
                              {"y", num(volumeAt.y())}});
    ini += textSection(Place{"notifier", QRect(58, 13, 250, 50)}, pal.song, 13);
    t.ini = ini;
    return t;
}

const GeneratedTheme& builtInTheme(bool dense) {
    if (dense) {
        static const GeneratedTheme both = drawTheme(ThemeDesign::Nocturne, true);
        return both;
    }
    static const GeneratedTheme plain = drawTheme(ThemeDesign::Nocturne, false);
    return plain;
}

} // namespace tl
