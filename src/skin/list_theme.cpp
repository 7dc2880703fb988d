#include "skin/list_theme.h"

#include "common/ini_file.h"
#include "skin/canvas.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFile>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

namespace tl {

namespace {

// Colours of one drawn set: the built-in look, or the shipped one that matches the default
// player theme.
struct Look {
    QColor background, font, info, selFont, selInfo;
    QColor selTop, selBottom, selHighlight, selShadow;
    QColor rowEven, rowOdd;
    // The veil that darkens the group colour behind the group's name.
    QColor plateTop, plateBottom, plateHighlight;
    QColor arrow, ink, accent, toolTop, toolBottom, toolLine, statusTop, statusBottom;
};

Look builtinLook() {
    Look l;
    l.background = QColor(0, 0, 0);
    l.font = QColor(0xDD, 0xDD, 0xDD);
    l.info = QColor(0xDD, 0xDD, 0xDD);
    l.selFont = QColor(0xFF, 0xFF, 0xFF);
    l.selInfo = QColor(0xFF, 0xFF, 0xFF);
    l.selTop = QColor(0x34, 0x6C, 0xBC);
    l.selBottom = QColor(0x28, 0x5A, 0xA6);
    l.selHighlight = QColor(0x6A, 0x9A, 0xE0);
    l.selShadow = QColor(0x1C, 0x3F, 0x73);
    l.rowEven = QColor(0x1A, 0x1A, 0x1A);
    l.rowOdd = QColor(0x26, 0x26, 0x26);
    l.plateTop = QColor(0, 0, 0, 200);
    l.plateBottom = QColor(0, 0, 0, 224);
    l.plateHighlight = QColor(255, 255, 255, 60);
    l.arrow = QColor(0xE8, 0xE8, 0xE8);
    l.ink = QColor(0xF0, 0xF0, 0xF0);
    l.accent = QColor(0x4C, 0xB0, 0x4C);
    l.toolTop = QColor(0x3C, 0x3C, 0x3C);
    l.toolBottom = QColor(0x24, 0x24, 0x24);
    l.toolLine = QColor(0x10, 0x10, 0x10);
    l.statusTop = QColor(0x30, 0x30, 0x30);
    l.statusBottom = QColor(0x20, 0x20, 0x20);
    return l;
}

// Slate and teal, as the default player theme.
Look nocturneLook() {
    Look l;
    l.background = QColor(0x11, 0x15, 0x1B);
    l.font = QColor(0xD6, 0xDE, 0xE8);
    l.info = QColor(0x8F, 0xA9, 0xC4);
    l.selFont = QColor(0xFF, 0xFF, 0xFF);
    l.selInfo = QColor(0xBF, 0xEE, 0xE8);
    l.selTop = QColor(0x1F, 0x62, 0x6A);
    l.selBottom = QColor(0x16, 0x48, 0x4F);
    l.selHighlight = QColor(0x4F, 0xD6, 0xC6);
    l.selShadow = QColor(0x0B, 0x26, 0x2A);
    l.rowEven = QColor(0x16, 0x1C, 0x24);
    l.rowOdd = QColor(0x1C, 0x23, 0x2D);
    l.plateTop = QColor(0x0A, 0x0F, 0x16, 200);
    l.plateBottom = QColor(0x0A, 0x0F, 0x16, 226);
    l.plateHighlight = QColor(0x4F, 0xD6, 0xC6, 70);
    l.arrow = QColor(0xF2, 0xF6, 0xFA);
    l.ink = QColor(0xCF, 0xD8, 0xE4);
    l.accent = QColor(0x4F, 0xD6, 0xC6);
    l.toolTop = QColor(0x2D, 0x34, 0x42);
    l.toolBottom = QColor(0x14, 0x18, 0x1F);
    l.toolLine = QColor(0x07, 0x09, 0x0D);
    l.statusTop = QColor(0x22, 0x28, 0x33);
    l.statusBottom = QColor(0x14, 0x18, 0x1F);
    return l;
}

// Selected row: a bar rounded at the caps. side: -1 left cap, 0 middle, 1 right cap.
QImage selectedPart(const Look& l, int side, int scale) {
    QImage image = blankCanvas(32, 32, scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    const QRectF bar = side < 0   ? QRectF(1, 0, 60, 32)
                       : side > 0 ? QRectF(-29, 0, 60, 32)
                                  : QRectF(-10, 0, 52, 32);
    path.addRoundedRect(bar, side == 0 ? 0 : 7, side == 0 ? 0 : 7);
    QLinearGradient g(0, 0, 0, 32);
    g.setColorAt(0, l.selTop);
    g.setColorAt(1, l.selBottom);
    p.fillPath(path, g);
    p.setClipPath(path);
    p.fillRect(QRectF(0, 0, 32, 1), l.selHighlight);
    p.fillRect(QRectF(0, 31, 32, 1), l.selShadow);
    return image;
}

QImage plainRow(QColor color, int scale) {
    QImage image = blankCanvas(32, 32, scale);
    image.fill(color);
    return image;
}

// Group bar: a dark veil over rows 0..27 keeps the group's colour as a deep tint behind the
// name (written in that colour, with the outline of groupNameOutline), and a 4-pixel stripe of
// pure colour below it. The caps round the bar off with the list background.
QImage groupPart(const Look& l, int side, int scale) {
    QImage image = blankCanvas(32, 32, scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath veil;
    veil.addRoundedRect(side < 0   ? QRectF(0, 0, 64, 28)
                        : side > 0 ? QRectF(-32, 0, 64, 28)
                                   : QRectF(-8, 0, 48, 28),
                        side == 0 ? 0 : 6, side == 0 ? 0 : 6);
    QLinearGradient g(0, 0, 0, 28);
    g.setColorAt(0, l.plateTop);
    g.setColorAt(1, l.plateBottom);
    p.fillPath(veil, g);
    p.setClipPath(veil);
    p.fillRect(QRectF(0, 0, 32, 1), l.plateHighlight);
    p.setClipping(false);
    if (side != 0) {
        // Outside the rounded corners the list background shows, not the group colour.
        QPainterPath outside;
        outside.addRect(0, 0, 32, 32);
        QPainterPath bar;
        bar.addRoundedRect(side < 0 ? QRectF(0, 0, 64, 32) : QRectF(-32, 0, 64, 32), 6, 6);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillPath(outside.subtracted(bar), l.background);
    }
    return image;
}

QImage arrow(const Look& l, bool expanded, int scale) {
    QImage image = blankCanvas(32, 32, scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(l.arrow);
    QPolygonF tri;
    if (expanded)
        tri << QPointF(9, 11) << QPointF(23, 11) << QPointF(16, 20);
    else
        tri << QPointF(12, 7) << QPointF(21, 14) << QPointF(12, 21);
    p.drawPolygon(tri);
    return image;
}

QImage toolPicture(const Look& l, int which, int scale) {
    QImage image = blankCanvas(32, 32, scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = l.ink;
    const QColor accent = l.accent;
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

QImage icon(int which, int scale) {
    QImage image = blankCanvas(24, 24, scale);
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

QImage nowPlayingMark(int scale) {
    QImage image = blankCanvas(16, 16, scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x30, 0xB0, 0x40));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF() << QPointF(6, 4.5) << QPointF(12, 8) << QPointF(6, 11.5));
    return image;
}

QImage clearCross(const QColor& color, int scale) {
    QImage image = blankCanvas(24, 24, scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(16, 16));
    p.drawLine(QPointF(16, 8), QPointF(8, 16));
    return image;
}

QImage vertical(int w, int h, const QColor& top, const QColor& bottom, const QColor& line,
                int scale) {
    QImage image = blankCanvas(w, h, scale);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(QRect(0, 0, w, h), g);
    p.fillRect(QRect(0, h - 1, w, 1), line);
    return image;
}

// Rounded field behind the filter box, over the tool bar background.
QImage searchField(const Look& l, int scale) {
    QImage image = blankCanvas(192, 48, scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(l.toolLine, 1));
    p.setBrush(QColor(0x0A, 0x0F, 0x16, 200));
    p.drawRoundedRect(QRectF(4.5, 11.5, 183, 25), 12, 12);
    return image;
}

QImage magnifier(const Look& l, int scale) {
    QImage image = blankCanvas(32, 32, scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(l.accent, 3));
    p.drawEllipse(QPointF(13, 13), 8, 8);
    p.setPen(QPen(l.ink, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(19, 19), QPointF(27, 27));
    return image;
}

ListTheme makeBuiltin(int scale) {
    const Look l = builtinLook();
    ListTheme t;
    for (int i = 0; i < 4; ++i)
        t.rowImages[static_cast<std::size_t>(i)] = toolPicture(l, i, scale);
    t.rowImages[ListTheme::kListL] = selectedPart(l, -1, scale);
    t.rowImages[ListTheme::kListC] = selectedPart(l, 0, scale);
    t.rowImages[ListTheme::kListR] = selectedPart(l, 1, scale);
    t.rowImages[ListTheme::kList1] = plainRow(l.rowEven, scale);
    t.rowImages[ListTheme::kList2] = plainRow(l.rowOdd, scale);
    t.rowImages[ListTheme::kGroupL] = groupPart(l, -1, scale);
    t.rowImages[ListTheme::kGroupC] = groupPart(l, 0, scale);
    t.rowImages[ListTheme::kGroupR] = groupPart(l, 1, scale);
    t.rowImages[ListTheme::kArrowCollapsed] = arrow(l, false, scale);
    t.rowImages[ListTheme::kArrowExpanded] = arrow(l, true, scale);
    for (std::size_t i = 14; i < t.rowImages.size(); ++i)
        t.rowImages[i] = blankCanvas(32, 32, scale);
    for (int i = 0; i < 6; ++i)
        t.icons[static_cast<std::size_t>(i)] = icon(i, scale);
    t.nowPlaying = nowPlayingMark(scale);
    t.clearImage = clearCross(QColor(0x90, 0x90, 0x90), scale);
    t.toolbarBackground = vertical(2, 48, l.toolTop, l.toolBottom, l.toolLine, 1);
    return t;
}

// The sixteen named images in slot order (slot = index + 1).
constexpr const char* kSlotNames[16] = {"icon1",  "icon2", "icon3",  "listl",  "listc",  "listr",
                                        "list1",  "list2", "groupL", "groupC", "groupR", "arrow1",
                                        "arrow2", "icon4", "icon5",  "icon6"};

bool isIconSlot(int slot) {
    return slot <= 3 || slot >= 14;
}

// The largest picture decoded: a few kilobytes of PNG can announce hundreds of megabytes.
constexpr int kMaxPictureSide = 4096;

// A file that is missing, does not decode or announces more than kMaxPictureSide pixels a
// side gives a null image.
QImage loadImage(const FolderFiles& files, const QString& name) {
    const std::unique_ptr<QIODevice> file = files.open(name);
    if (!file)
        return {};
    QImageReader reader(file.get());
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide))
        return {};
    return reader.read();
}

// name + ".png", or at a scale of 2 its "@2x" sibling where that has exactly twice the size
// (with a device pixel ratio of 2).
QImage loadImage(const FolderFiles& folder, const char* name, int scale) {
    const QString base = QString::fromLatin1(name);
    QImage image = loadImage(folder, base + QStringLiteral(".png"));
    if (scale < 2 || image.isNull())
        return image;
    QImage sharp = loadImage(folder, base + QStringLiteral("@2x.png"));
    if (sharp.size() != image.size() * 2)
        return image;
    sharp.setDevicePixelRatio(2);
    return sharp;
}

// Drawn at (0, 0) onto a cleared 32 x 32 bitmap, alpha kept per pixel and the colour
// premultiplied by it. An image without alpha counts as opaque.
QImage toolbarIcon(const QImage& image) {
    QImage out = blankCanvas(32, 32, image.devicePixelRatio() >= 2 ? 2 : 1);
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(QPointF(0, 0), image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    return out;
}

QColor fromColorRef(uint32_t ref) {
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                  static_cast<int>((ref >> 16) & 0xFF));
}

QString colorText(const QColor& c) {
    return c.name(QColor::HexRgb).toUpper();
}

double linear(double channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double luminance(const QColor& c) {
    return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
}

// Paints an image stretched over its widget before the widget's own painting.
class StretchedBackground : public QObject {
public:
    StretchedBackground(QWidget* widget, QImage image)
        : QObject(widget), widget_(widget), image_(std::move(image)) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::Paint) {
            QPainter p(widget_);
            p.drawImage(widget_->rect(), image_);
        }
        return false;
    }

private:
    QWidget* widget_;
    QImage image_;
};

void setStretchedBackground(QWidget* widget, const QImage& image) {
    if (!widget || image.isNull())
        return;
    widget->installEventFilter(new StretchedBackground(widget, image));
    widget->update();
}

} // namespace

QImage ListTheme::toolButtonImage(int position) const {
    if (position < 0)
        return {};
    if (!toolbarOwnList)
        return position < static_cast<int>(rowImages.size())
                   ? rowImages[static_cast<std::size_t>(position)]
                   : QImage();
    return position < static_cast<int>(toolbarImages.size())
               ? toolbarImages[static_cast<std::size_t>(position)]
               : QImage();
}

const ListTheme& ListTheme::builtin(int scale) {
    if (scale >= 2) {
        static const ListTheme dense = makeBuiltin(2);
        return dense;
    }
    static const ListTheme theme = makeBuiltin(1);
    return theme;
}

QString StripHash(QString text) {
    text.remove(QLatin1Char('#'));
    return text;
}

std::optional<uint32_t> ParseHtmlColor(const QString& text) {
    if (text.size() < 6 || !text.startsWith(QLatin1Char('#')))
        return 0u;
    const QString digits = StripHash(text);
    // Blue, green, red pairs, each as far as the text reaches.
    const QString bgr = digits.mid(4, 2) + digits.mid(2, 2) + digits.mid(0, 2);
    if (bgr.isEmpty())
        return 0u;
    for (QChar c : bgr) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return std::nullopt;
    }
    const uint value = bgr.toUInt(nullptr, 16);
    return static_cast<uint32_t>(value);
}

ListTheme LoadInterfaceTheme(const QString& folder, int scale) {
    return LoadInterfaceTheme(FolderFiles::onDisk(folder), scale);
}

ListTheme LoadInterfaceTheme(const FolderFiles& folder, int scale) {
    ListTheme t = ListTheme::builtin(scale);

    // 1. Tool bar background, stretched into 2 x 48.
    const QImage toolbar = loadImage(folder, QStringLiteral("toolbar.png"));
    if (!toolbar.isNull())
        t.toolbarBackground = toolbar.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                  .scaled(2, 48, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    // 2. Colours.
    const IniFile ini =
        IniFile::fromBytes(folder.read(QStringLiteral("theme.ini")).value_or(QByteArray()));
    const std::pair<const char16_t*, QColor*> keys[] = {
        {u"color", &t.background},
        {u"fontcolor", &t.fontColor},
        {u"selfontcolor", &t.selFontColor},
        {u"infofontcolor", &t.infoFontColor},
        {u"selinfofontcolor", &t.selInfoFontColor},
    };
    for (const auto& [key, color] : keys) {
        const std::optional<QString> text = ini.find(u"list", key);
        if (!text)
            continue;
        if (const std::optional<uint32_t> value = ParseHtmlColor(*text))
            *color = fromColorRef(*value);
    }

    // 3. Single pictures.
    if (QImage x = loadImage(folder, "x", scale); !x.isNull())
        t.clearImage = x.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    t.searchPanel = loadImage(folder, "searchpanel", scale);
    t.statusBar = loadImage(folder, "bottom", scale);
    t.findImage = loadImage(folder, "find", scale);

    // 4./5. The named images.
    for (int slot = 1; slot <= 16; ++slot) {
        const QImage image = loadImage(folder, kSlotNames[slot - 1], scale);
        if (image.isNull())
            continue;
        if (isIconSlot(slot))
            t.toolbarImages.push_back(toolbarIcon(image));
        t.toolbarOwnList = true;
        if (image.deviceIndependentSize() == QSizeF(32, 32))
            t.rowImages[static_cast<std::size_t>(slot)] =
                image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return t;
}

void applyInterfaceTheme(QWidget& manager, const ListTheme& theme) {
    const char* buttons[] = {"ToolButton1", "ToolButton2", "ToolButton3", "NewGroupBtn"};
    for (int position = 0; position < 4; ++position) {
        if (auto* b = manager.findChild<QAbstractButton*>(QString::fromLatin1(buttons[position]))) {
            const QImage image = theme.toolButtonImage(position);
            b->setIcon(image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
        }
    }
    if (auto* clear = manager.findChild<QAbstractButton*>(QStringLiteral("FSClearButton")))
        clear->setIcon(QIcon(QPixmap::fromImage(theme.clearImage)));
    // The search tab's Find button (named PngSpeedButton1 there).
    if (auto* find = manager.findChild<QAbstractButton*>(QStringLiteral("PngSpeedButton1"));
        find && !theme.findImage.isNull())
        find->setIcon(QIcon(QPixmap::fromImage(theme.findImage)));
    // The band repeats its 2 x 48 background; the filter panel stretches it and lays the
    // theme's filter picture over it.
    if (auto* band = manager.findChild<QWidget*>(QStringLiteral("CoolBar1"))) {
        QPalette pal = band->palette();
        pal.setBrush(QPalette::Window, QBrush(QPixmap::fromImage(theme.toolbarBackground)));
        band->setPalette(pal);
        band->setAutoFillBackground(true);
    }
    if (auto* panel = manager.findChild<QWidget*>(QStringLiteral("SearchPanelBackground2"))) {
        const qreal k = theme.searchPanel.isNull() ? 1.0 : theme.searchPanel.devicePixelRatio();
        const QRect area(0, 0, 192, 48);
        QImage picture(area.size() * k, QImage::Format_ARGB32_Premultiplied);
        picture.setDevicePixelRatio(k);
        picture.fill(Qt::transparent);
        QPainter p(&picture);
        p.drawImage(area, theme.toolbarBackground);
        if (!theme.searchPanel.isNull())
            p.drawImage(area, theme.searchPanel);
        p.end();
        setStretchedBackground(panel, picture);
    }
    setStretchedBackground(manager.findChild<QWidget*>(QStringLiteral("StatusBarBackground")),
                           theme.statusBar);
    // The status text takes the list's information colour on a themed status line.
    if (!theme.statusBar.isNull()) {
        if (auto* status = manager.findChild<QWidget*>(QStringLiteral("statlabl"))) {
            QPalette pal = status->palette();
            pal.setColor(QPalette::WindowText, theme.infoFontColor);
            status->setPalette(pal);
        }
    }
}

InterfaceSet drawInterfaceSet() {
    const Look l = nocturneLook();
    InterfaceSet set;
    set.images.emplace_back(QStringLiteral("toolbar.png"),
                            vertical(2, 48, l.toolTop, l.toolBottom, l.toolLine, 1));
    // The other pictures at window size and, as "NAME@2x.png", at twice that for dense
    // screens; the tool bar band is a texture that repeats at window size.
    for (const int scale : {1, 2}) {
        auto add = [&set, scale](const char* name, QImage image) {
            set.images.emplace_back(QString::fromLatin1(name) + (scale == 1
                                                                     ? QStringLiteral(".png")
                                                                     : QStringLiteral("@2x.png")),
                                    std::move(image));
        };
        add("searchpanel", searchField(l, scale));
        add("bottom", vertical(2, 21, l.statusTop, l.statusBottom, l.toolLine, scale));
        add("x", clearCross(l.ink, scale));
        add("find", magnifier(l, scale));
        add("icon1", toolPicture(l, ListTheme::kNewStation, scale));
        add("icon2", toolPicture(l, ListTheme::kAddFavourite, scale));
        add("icon3", toolPicture(l, ListTheme::kDelete, scale));
        add("icon4", toolPicture(l, ListTheme::kNewGroup, scale));
        add("listl", selectedPart(l, -1, scale));
        add("listc", selectedPart(l, 0, scale));
        add("listr", selectedPart(l, 1, scale));
        add("list1", plainRow(l.rowEven, scale));
        add("list2", plainRow(l.rowOdd, scale));
        add("groupL", groupPart(l, -1, scale));
        add("groupC", groupPart(l, 0, scale));
        add("groupR", groupPart(l, 1, scale));
        add("arrow1", arrow(l, false, scale));
        add("arrow2", arrow(l, true, scale));
    }
    set.ini = QStringLiteral("; Station manager colours for Tunelark (\"#RRGGBB\").\n[list]\n") +
              QStringLiteral("color=") + colorText(l.background) + u'\n' +
              QStringLiteral("fontcolor=") + colorText(l.font) + u'\n' +
              QStringLiteral("selfontcolor=") + colorText(l.selFont) + u'\n' +
              QStringLiteral("infofontcolor=") + colorText(l.info) + u'\n' +
              QStringLiteral("selinfofontcolor=") + colorText(l.selInfo) + u'\n';
    return set;
}

QColor groupNameOutline(const QColor& color) {
    return contrastRatio(color, Qt::black) >= contrastRatio(color, Qt::white) ? QColor(Qt::black)
                                                                              : QColor(Qt::white);
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a) + 0.05;
    const double lb = luminance(b) + 0.05;
    return la > lb ? la / lb : lb / la;
}

} // namespace tl
