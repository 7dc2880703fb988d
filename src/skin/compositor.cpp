#include "skin/compositor.h"

#include "common/ini_file.h"
#include "common/numeric.h"
#include "skin/theme_art.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QScreen>

namespace tl {

namespace {

constexpr QImage::Format kFormat = QImage::Format_ARGB32_Premultiplied;

QImage premultiplied(QImage image) {
    if (!image.isNull() && image.format() != kFormat) {
        image = image.convertToFormat(kFormat);
    }
    return image;
}

// The largest screen in pixels: no background may be larger. Without screens (no GUI), a
// generous fixed bound.
QSize largestScreen() {
    QSize best;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        for (const QScreen* screen : QGuiApplication::screens()) {
            best = best.expandedTo(screen->geometry().size() * screen->devicePixelRatio());
        }
    }
    return best.isEmpty() ? QSize(4096, 4096) : best;
}

// An image's size in window units.
QSize logicalSize(const QImage& image) {
    return image.deviceIndependentSize().toSize();
}

// "name.png" -> "name@2x.png".
QString doubleSizeName(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? fileName + QStringLiteral("@2x")
                   : fileName.left(dot) + QStringLiteral("@2x") + fileName.mid(dot);
}

QColor opaque(QColor c) {
    c.setAlpha(255);
    return c;
}

} // namespace

ButtonFrame chooseButtonFrame(bool pressed, bool enabled, bool underCursor, int hoverFade) {
    if (pressed) {
        return {2, 0};
    }
    if (!enabled) {
        return {3, 0};
    }
    if (underCursor) {
        return {1, 0};
    }
    if (hoverFade > 0) {
        return {0, std::min(hoverFade, 100)};
    }
    return {0, 0};
}

TMyAbout::TMyAbout(ControlModel& controls, SkinRole role) : controls_(controls), role_(role) {}

const QImage& TMyAbout::slotImage(int slot) const {
    static const QImage none;
    return slot >= 0 && slot < kSlotCount ? slots_[static_cast<size_t>(slot)] : none;
}

QImage TMyAbout::loadThemeImage(const QString& fileName, QSize background) const {
    if (builtIn_) {
        const GeneratedTheme& t = builtInTheme(scale_ >= 2);
        if (scale_ >= 2) {
            if (const auto it = t.images.find(doubleSizeName(fileName)); it != t.images.end()) {
                return it->second;
            }
        }
        const auto it = t.images.find(fileName);
        return it == t.images.end() ? QImage() : it->second;
    }
    QImage image = readThemeFile(fileName, background);
    if (scale_ < 2 || image.isNull()) {
        return image;
    }
    // The @2x picture only stands in for one of exactly half its size: anything else would
    // move the theme's controls off their art.
    const std::unique_ptr<QIODevice> file = files_.open(doubleSizeName(fileName));
    if (!file) {
        return image;
    }
    QImageReader reader(file.get());
    if (reader.size() != image.size() * 2) {
        return image;
    }
    QImage sharp = premultiplied(reader.read());
    if (sharp.size() != image.size() * 2) {
        return image;
    }
    sharp.setDevicePixelRatio(2);
    return sharp;
}

QImage TMyAbout::readThemeFile(const QString& fileName, QSize background) const {
    // A file that cannot be decoded behaves as a missing one, and so does one whose header
    // announces more pixels than a window of this theme could show: a few kilobytes of PNG
    // can ask for hundreds of megabytes.
    const std::unique_ptr<QIODevice> file = files_.open(fileName);
    if (!file) {
        return QImage();
    }
    QImageReader reader(file.get());
    const QSize size = reader.size();
    const bool allowed = background.isEmpty() ? backgroundSizeAllowed(size, largestScreen())
                                              : themeImageSizeAllowed(size, background);
    if (!allowed) {
        return QImage();
    }
    return premultiplied(reader.read());
}

TMyAbout::LoadResult TMyAbout::LoadTheme(const QString& themeFolder, bool recording) {
    return LoadTheme(FolderFiles::onDisk(themeFolder), recording);
}

TMyAbout::LoadResult TMyAbout::LoadTheme(const FolderFiles& files, bool recording) {
    files_ = files;
    folder_ = files.folder();

    // The background decides whether the theme is usable at all: without it the window would
    // have no size and could not be reached again.
    builtIn_ = false;
    QImage background = loadThemeImage(backgroundFileName(role_));
    IniFile ini;
    if (background.isNull()) {
        builtIn_ = true;
        background = loadThemeImage(backgroundFileName(role_));
        ini = IniFile::fromText(builtInTheme().ini);
    } else {
        ini = IniFile::fromBytes(files_.read(QStringLiteral("theme.ini")).value_or(QByteArray()));
    }

    const QSize windowSize = logicalSize(background);
    theme_ = readThemeValues(ini);
    boundThemeValues(theme_, windowSize);
    fontFamily_ = QFontDatabase::hasFamily(theme_.fontName) ? theme_.fontName
                                                            : QString::fromLatin1(kFallbackFont);

    infoStrip_ = Strip{};
    songStrip_ = Strip{};
    if (!theme_.infoStrip.isEmpty()) {
        infoStrip_.image = QImage(theme_.infoStrip * scale_, kFormat);
        infoStrip_.image.setDevicePixelRatio(scale_);
    }
    if (!theme_.songStrip.isEmpty()) {
        songStrip_.image = QImage(theme_.songStrip * scale_, kFormat);
        songStrip_.image.setDevicePixelRatio(scale_);
    }

    for (QImage& slot : slots_) {
        slot = QImage();
    }
    for (SkinControl& c : controls_.controls()) {
        if (c.keyword.isEmpty() ||
            (c.kind != SkinControlKind::Label && c.kind != SkinControlKind::Slider &&
             c.kind != SkinControlKind::Knob)) {
            continue;
        }
        const int slot = slotForTag(c.tag);
        QSize imageSize;
        if (slot >= 0) {
            QImage& image = slots_[static_cast<size_t>(slot)];
            image = loadThemeImage(slotFileName(slot), windowSize);
            if (recording && slotKeyword(slot) == u"record") {
                QImage state = loadThemeImage(QStringLiteral("71.png"), windowSize);
                if (!state.isNull()) {
                    image = state;
                }
            }
            imageSize = logicalSize(image);
        }
        applyControlStyle(c, boundControlStyle(readControlStyle(ini, c.keyword), windowSize),
                          imageSize, theme_);
    }

    background_ = background;
    top_ = role_ == SkinRole::Player ? loadThemeImage(QStringLiteral("top.png"), windowSize)
                                     : QImage();
    if (surface_.size() != windowSize * scale_) {
        surface_ = background_.isNull() ? QImage() : QImage(windowSize * scale_, kFormat);
    }
    surface_.setDevicePixelRatio(scale_);
    const QSize artPixels = QSize(theme_.albumArt.w, theme_.albumArt.h) * scale_;
    if (!albumArt_.isNull() && albumArt_.size() != artPixels) {
        albumArt_ = albumArt_.scaled(artPixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        albumArt_.setDevicePixelRatio(scale_);
    }
    Render(nullptr);
    return {size(), builtIn_};
}

bool TMyAbout::SetStateImage(QStringView keyword, const QString& fileName) {
    bool changed = false;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        if (slotKeyword(slot) != keyword || keyword.isEmpty()) {
            continue;
        }
        QImage image = loadThemeImage(fileName, logicalSize(background_));
        if (image.isNull()) {
            continue;
        }
        busy_ = true;
        slots_[static_cast<size_t>(slot)] = std::move(image);
        busy_ = false;
        changed = true;
    }
    return changed;
}

bool TMyAbout::LoadAlbumArt(const QString& path) {
    // A JPEG is decoded straight to the box's size, so a huge downloaded image never lands in
    // memory whole; any other format larger than a screen is refused from its header.
    QImageReader reader(path);
    const QSize size = reader.size();
    const QSize box = QSize(theme_.albumArt.w, theme_.albumArt.h) * scale_;
    if (reader.format() == "jpeg" && size.isValid() && !box.isEmpty()) {
        reader.setScaledSize(box);
    } else if (!backgroundSizeAllowed(size, largestScreen())) {
        return LoadAlbumArt(QImage());
    }
    return LoadAlbumArt(reader.read());
}

bool TMyAbout::LoadAlbumArt(const QImage& image) {
    albumArt_ = QImage();
    const int w = theme_.albumArt.w;
    const int h = theme_.albumArt.h;
    if (image.isNull() || w <= 0 || h <= 0) {
        return false;
    }
    albumArt_ = premultiplied(
        image.scaled(w * scale_, h * scale_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    albumArt_.setDevicePixelRatio(scale_);
    return !albumArt_.isNull();
}

void TMyAbout::ClearAlbumArt() {
    albumArt_ = QImage();
}

QFont TMyAbout::fontFor(const SkinControl& c) const {
    QFont font(fontFamily_);
    font.setPixelSize(std::max(1, c.fontSize));
    if (c.tag != 1) {
        font.setBold(true);
        font.setUnderline(true);
    }
    return font;
}

const SkinControl* TMyAbout::labelAtCursor() const {
    if (!cursor_) {
        return nullptr;
    }
    // Labels only (the slider and the knob are windows of their own), disabled ones included;
    // the topmost is the last in component order.
    const auto& all = controls_.controls();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        if (it->kind == SkinControlKind::Label && it->visible && it->bounds.contains(*cursor_)) {
            return &*it;
        }
    }
    return nullptr;
}

bool TMyAbout::Render(const SkinControl* hoverTarget, const QRegion& area) {
    if (busy_ || surface_.isNull()) {
        return false;
    }
    busy_ = true;
    QPainter p(&surface_);
    const bool partial = !area.isEmpty();
    if (partial) {
        p.setClipRegion(area);
    }
    // Nearly transparent rather than fully: the whole rectangle stays part of the window.
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(partial ? area.boundingRect() : QRect(QPoint(0, 0), size()),
               QColor(255, 255, 255, 2));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);

    p.drawImage(0, 0, background_);

    const AlbumArtSettings& art = theme_.albumArt;
    if (art.visible && !albumArt_.isNull()) {
        p.drawImage(QRect(art.x, art.y, art.w, art.h), albumArt_);
    }

    const SkinControl* underCursor = labelAtCursor();
    for (const SkinControl& c : controls_.controls()) {
        switch (c.kind) {
        case SkinControlKind::Label:
            drawLabel(p, c, hoverTarget, underCursor, area);
            break;
        case SkinControlKind::Slider:
            drawSlider(p, c);
            break;
        case SkinControlKind::Knob:
            drawKnob(p, c);
            break;
        case SkinControlKind::ListBox:
            drawList(p, c);
            break;
        case SkinControlKind::Other:
            break;
        }
    }

    drawVisual(p);
    if (!top_.isNull()) {
        p.drawImage(0, 0, top_);
    }
    p.end();
    busy_ = false;
    return true;
}

QRect TMyAbout::visualArea() const {
    const VisualSettings& v = theme_.visual;
    if (!v.visible) {
        return {};
    }
    QRect box;
    for (int i = 0; i < v.count; ++i) {
        box |= spectrumBarRect(v, i, kMaxSpectrumBars);
    }
    for (int channel = 0; channel < 2; ++channel) {
        box |= levelBarRect(v, channel, 32768);
    }
    return box & QRect(QPoint(0, 0), size());
}

std::optional<QRegion> TMyAbout::tickArea(const SkinValues& before) const {
    if (before.TextFade != TextFade || before.HoverFade != HoverFade ||
        before.VisualKind != VisualKind) {
        return std::nullopt;
    }
    QRegion area;
    if (before.SpectrumBars != SpectrumBars || before.Levels != Levels) {
        area += visualArea();
    }
    const bool song = songScrolls() && before.SongScroll != SongScroll;
    const bool info = infoScrolls() && before.InfoScroll != InfoScroll;
    for (const SkinControl& c : controls_.controls()) {
        if (c.kind == SkinControlKind::Label && c.visible &&
            ((song && c.keyword == u"song") || (info && c.keyword == u"info"))) {
            area += c.bounds & QRect(QPoint(0, 0), size());
        }
    }
    return area;
}

void TMyAbout::drawLabel(QPainter& p, const SkinControl& c, const SkinControl* hoverTarget,
                         const SkinControl* underCursor, const QRegion& area) {
    if (!c.visible) {
        return;
    }
    const QColor color =
        (c.tag != 1 && &c == hoverTarget) ? QColor(Qt::white) : opaque(c.fontColor);

    if (c.tag > 100) {
        const QImage& image = slotImage(c.tag - 100);
        if (!image.isNull()) {
            const ButtonFrame f = chooseButtonFrame(c.pressed, c.enabled, &c == underCursor,
                                                    hoverFadeOf(c.componentIndex));
            const QRectF target =
                buttonFrameTarget(c.bounds, logicalSize(image), theme_.shadowOffset);
            if (f.crossFade > 0) {
                const double v = f.crossFade / 100.0;
                p.setOpacity(1.0 - v);
                p.drawImage(target, image, buttonFrameSource(image.size(), 0));
                p.setOpacity(v);
                p.drawImage(target, image, buttonFrameSource(image.size(), 1));
                p.setOpacity(1.0);
            } else {
                p.drawImage(target, image, buttonFrameSource(image.size(), f.frame));
            }
            return;
        }
    }

    // Texts are laid out even where the clip hides them: a partial pass skips the labels it
    // does not touch (their strips keep their offsets until a pass draws them).
    if (!area.isEmpty() && !area.intersects(c.bounds)) {
        return;
    }
    const QFont font = fontFor(c);
    if (c.keyword == u"song" || (c.keyword == u"info" && !c.caption.isEmpty())) {
        if (c.keyword == u"song") {
            drawStrip(p, c, font, color, songStrip_, SongScroll);
        } else {
            drawStrip(p, c, font, color, infoStrip_, InfoScroll);
        }
        return;
    }
    if (c.caption.isEmpty() || c.bounds.isEmpty()) {
        return;
    }
    p.setFont(font);
    p.setPen(color);
    p.drawText(QRectF(c.bounds), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, c.caption);
}

void TMyAbout::drawStrip(QPainter& p, const SkinControl& c, const QFont& font, const QColor& color,
                         Strip& strip, double& offset) {
    if (strip.image.isNull()) {
        return;
    }
    if (strip.text != c.caption || strip.font != font) {
        const QFontMetricsF metrics(font);
        strip.text = c.caption;
        strip.font = font;
        strip.width = metrics.horizontalAdvance(c.caption);
        strip.height = metrics.height();
        strip.drawn = false;
    }
    offset = stripOffset(offset, strip.width, c.bounds.width());
    strip.scrolls = strip.width > c.bounds.width();

    QColor pen = color;
    if (TextFade > 0) {
        pen.setAlpha(textFadeAlpha(TextFade));
    }
    if (strip.drawn && strip.drawnOffset == offset && strip.drawnColor == pen.rgba()) {
        p.drawImage(c.bounds.topLeft(), strip.image);
        return;
    }
    strip.drawn = true;
    strip.drawnOffset = offset;
    strip.drawnColor = pen.rgba();
    strip.image.fill(Qt::transparent);
    {
        QPainter sp(&strip.image);
        sp.setRenderHint(QPainter::TextAntialiasing, true);
        sp.setFont(font);
        sp.setPen(pen);
        sp.drawText(QRectF(-offset, 0, strip.width, strip.height),
                    Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                    c.caption);
    }
    p.drawImage(c.bounds.topLeft(), strip.image);
}

void TMyAbout::drawSlider(QPainter& p, const SkinControl& c) {
    const QImage& image = slotImage(slotForTag(c.tag));
    if (!c.visible || image.isNull()) {
        return;
    }
    // Targets in window units, sources in the image's own pixels.
    const double w = logicalSize(image).width();
    const double h = logicalSize(image).height();
    const double k = image.devicePixelRatio();
    switch (theme_.volumeType) {
    case VolumeType::FrameSlider:
        p.drawImage(QRectF(c.bounds.left(), c.bounds.top(), w / 11.0, h), image,
                    volumeFrameSource(image.size(), c.position));
        break;
    case VolumeType::Slider: {
        p.drawImage(QRectF(c.bounds.left(), c.bounds.top(), w - 2 * h, h), image,
                    QRectF(0, 0, (w - 2 * h) * k, h * k));
        const bool hover = cursor_ && c.bounds.contains(*cursor_);
        const QRectF thumb((hover ? w - h : w - 2 * h) * k, 0, h * k, h * k);
        p.drawImage(QRectF(sliderThumbLeft(c), c.bounds.top(), h, h), image, thumb);
        break;
    }
    case VolumeType::Knob:
        break;
    }
}

void TMyAbout::drawKnob(QPainter& p, const SkinControl& c) {
    const QImage& image = slotImage(slotForTag(c.tag));
    if (!c.visible || image.isNull()) {
        return;
    }
    p.drawImage(QRectF(c.bounds), image, knobFrameSource(image.size(), c.position));
}

void TMyAbout::drawList(QPainter& p, const SkinControl& c) {
    if (!c.visible || c.bounds.isEmpty()) {
        return;
    }
    // A dark translucent backdrop 4 pixels larger up and left, then the lines in white,
    // scrolled by scrollY and clipped to the list.
    p.fillRect(
        QRect(c.bounds.left() - 4, c.bounds.top() - 4, c.bounds.width() + 4, c.bounds.height() + 4),
        QColor(12, 16, 24, 0xB8));
    QFont font(fontFamily_);
    font.setPixelSize(std::max(1, c.fontSize));
    const QFontMetricsF metrics(font);
    const double lineHeight = metrics.lineSpacing();
    p.save();
    p.setClipRect(c.bounds, Qt::IntersectClip);
    p.setFont(font);
    p.setPen(Qt::white);
    double y = c.bounds.top() - c.scrollY;
    for (const QString& line : c.lines) {
        if (y + lineHeight >= c.bounds.top() && y <= c.bounds.bottom()) {
            p.drawText(QPointF(c.bounds.left(), y + metrics.ascent()), line);
        }
        y += lineHeight;
    }
    p.restore();
}

int TMyAbout::listTextHeight(const SkinControl& list) const {
    QFont font(fontFamily_);
    font.setPixelSize(std::max(1, list.fontSize));
    return roundHalfEven(static_cast<double>(list.lines.size()) *
                         QFontMetricsF(font).lineSpacing());
}

void TMyAbout::drawVisual(QPainter& p) {
    const VisualSettings& v = theme_.visual;
    if (!v.visible) {
        return;
    }
    const QColor color = QColor::fromRgba(colorRefToArgb(v.color));
    if (VisualKind == 0) {
        for (int i = 0; i < v.count; ++i) {
            const QRect r = spectrumBarRect(v, i, SpectrumBars[static_cast<size_t>(i)]);
            if (!r.isEmpty()) {
                p.fillRect(r, color);
            }
        }
    } else {
        for (int channel = 0; channel < 2; ++channel) {
            const QRect r = levelBarRect(v, channel, Levels[static_cast<size_t>(channel)]);
            if (!r.isEmpty()) {
                p.fillRect(r, color);
            }
        }
    }
}

} // namespace tl
