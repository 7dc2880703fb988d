#include "skin/theme.h"

#include "common/numeric.h"
#include "skin/knob_model.h"

#include <algorithm>

namespace tl {

namespace {

// Strips are allocated from these numbers; a typo must not ask for gigabytes.
constexpr int kMaxStripSide = 4096;

QColor colorFromRef(uint32_t ref) {
    return QColor::fromRgba(colorRefToArgb(ref & 0xFFFFFFu));
}

QSize stripSize(const IniFile& ini, QStringView section) {
    const int w = ini.intValue(section, u"w", 50);
    const int h = ini.intValue(section, u"h", 16);
    return {std::clamp(w, 0, kMaxStripSide), std::clamp(h, 0, kMaxStripSide)};
}

} // namespace

int clampBarCount(int written) {
    const int low = static_cast<int>(static_cast<uint32_t>(written) & 0xFFu);
    return std::min(low, kMaxSpectrumBars);
}

ThemeValues readThemeValues(const IniFile& ini) {
    ThemeValues t;
    t.shadowOffset = ini.intValue(u"General", u"shadowoffset", 0);
    t.fontName = ini.value(u"General", u"FontName", QString::fromLatin1(kFallbackFont));

    VisualSettings& v = t.visual;
    v.visible = ini.intValue(u"Visual", u"visible", 0) != 0;
    v.color = static_cast<uint32_t>(ini.intValue(u"Visual", u"Color", 0)) & 0xFFFFFFu;
    v.x = ini.intValue(u"Visual", u"x", 0);
    v.y = ini.intValue(u"Visual", u"y", 0);
    v.h = ini.intValue(u"Visual", u"h", 20);
    v.w = ini.intValue(u"Visual", u"w", 3);
    v.space = ini.intValue(u"Visual", u"space", 2);
    v.count = clampBarCount(ini.intValue(u"Visual", u"count", 8));

    AlbumArtSettings& a = t.albumArt;
    a.visible = ini.intValue(u"AlbumArt", u"visible", 0) != 0;
    a.x = ini.intValue(u"AlbumArt", u"x", 0);
    a.y = ini.intValue(u"AlbumArt", u"y", 0);
    a.h = std::clamp(ini.intValue(u"AlbumArt", u"h", 48), 0, kMaxStripSide);
    a.w = std::clamp(ini.intValue(u"AlbumArt", u"w", 48), 0, kMaxStripSide);

    t.infoStrip = stripSize(ini, u"info");
    t.songStrip = stripSize(ini, u"song");

    t.volumeTypeRaw = ini.intValue(u"volume", u"type", 0);
    t.volumeType = static_cast<VolumeType>(t.volumeTypeRaw);
    return t;
}

namespace {

int within(int value, int low, int high) {
    return std::clamp(value, low, std::max(low, high));
}

} // namespace

void boundThemeValues(ThemeValues& t, QSize background) {
    const int w = std::max(0, background.width());
    const int h = std::max(0, background.height());
    t.shadowOffset = within(t.shadowOffset, -h, h);
    VisualSettings& v = t.visual;
    v.x = within(v.x, -w, w);
    v.y = within(v.y, -h, h);
    v.h = within(v.h, 0, h);
    v.w = within(v.w, 0, w);
    v.space = within(v.space, -w, w);
    AlbumArtSettings& a = t.albumArt;
    a.x = within(a.x, -w, w);
    a.y = within(a.y, -h, h);
    a.w = within(a.w, 0, w);
    a.h = within(a.h, 0, h);
    t.infoStrip = QSize(within(t.infoStrip.width(), 0, w), within(t.infoStrip.height(), 0, h));
    t.songStrip = QSize(within(t.songStrip.width(), 0, w), within(t.songStrip.height(), 0, h));
}

ControlStyle boundControlStyle(ControlStyle s, QSize background) {
    const int w = std::max(0, background.width());
    const int h = std::max(0, background.height());
    s.x = within(s.x, -w, w);
    s.y = within(s.y, -h, h);
    s.w = within(s.w, 0, w);
    s.h = within(s.h, 0, h);
    s.fontSize = within(s.fontSize, 1, h);
    return s;
}

bool backgroundSizeAllowed(QSize image, QSize screen) {
    return image.isValid() && image.width() <= screen.width() && image.height() <= screen.height();
}

bool themeImageSizeAllowed(QSize image, QSize background) {
    return image.isValid() && static_cast<long long>(image.width()) <= 11LL * background.width() &&
           image.height() <= background.height();
}

ControlStyle readControlStyle(const IniFile& ini, QStringView keyword) {
    ControlStyle s;
    s.visible = ini.intValue(keyword, u"visible", 0) != 0;
    s.x = ini.intValue(keyword, u"x", 0);
    s.y = ini.intValue(keyword, u"y", 0);
    s.w = ini.intValue(keyword, u"w", 0);
    s.h = ini.intValue(keyword, u"h", 0);
    s.fontColor = static_cast<uint32_t>(ini.intValue(keyword, u"FontColor", 0)) & 0xFFFFFFu;
    s.fontSize = ini.intValue(keyword, u"FontSize", 12);
    return s;
}

int slotForTag(int tag) {
    const int slot = tag > 100 ? tag - 100 : tag;
    return slot >= 0 && slot < kSlotCount ? slot : -1;
}

QStringView slotKeyword(int slot) {
    switch (slot) {
    case 2:
        return u"favourites";
    case 3:
        return u"mute";
    case 4:
        return u"prewious";
    case 5:
        return u"play";
    case 6:
        return u"next";
    case 7:
        return u"record";
    case 8:
        return u"close";
    case kVolumeSlot:
        return u"volume";
    default:
        return {};
    }
}

QString slotFileName(int slot) {
    return QString::number(slot) + QStringLiteral(".png");
}

QString backgroundFileName(SkinRole role) {
    switch (role) {
    case SkinRole::Notifier:
        return QStringLiteral("hint.png");
    case SkinRole::Lyrics:
        return QStringLiteral("lyrics.png");
    case SkinRole::Player:
        break;
    }
    return QStringLiteral("background.png");
}

void applyControlStyle(SkinControl& c, const ControlStyle& style, const QSize& image,
                       const ThemeValues& theme) {
    const bool hasImage = !image.isEmpty();
    const bool isVolume = c.keyword == u"volume";
    const int s = theme.shadowOffset;
    switch (c.kind) {
    case SkinControlKind::Label: {
        c.visible = style.visible;
        int w = style.w;
        int h = style.h;
        if (hasImage) {
            w = roundHalfEven(image.width() / 4.0) - 2 * s;
            h = image.height() - 2 * s;
        }
        c.bounds = QRect(style.x, style.y, std::max(0, w), std::max(0, h));
        c.fontColor = colorFromRef(style.fontColor);
        c.fontSize = style.fontSize;
        break;
    }
    case SkinControlKind::Knob: {
        c.visible = isVolume ? theme.volumeType == VolumeType::Knob : style.visible;
        int side = c.bounds.width();
        if (hasImage) {
            // Width and height are assigned one after the other; each resize squares the knob.
            side = knobSquareSide(side, roundHalfEven(image.width() / 11.0), side);
            side = knobSquareSide(side, side, image.height());
        }
        c.bounds = QRect(style.x, style.y, side, side);
        break;
    }
    case SkinControlKind::Slider: {
        c.visible = isVolume ? (theme.volumeType == VolumeType::Slider ||
                                theme.volumeType == VolumeType::FrameSlider)
                             : style.visible;
        QSize size = c.bounds.size();
        if (hasImage) {
            const int w = image.width();
            const int h = image.height();
            if (theme.volumeType == VolumeType::Slider) {
                size = QSize(std::max(0, w - 2 * h), h);
                c.trackSize = size;
                c.thumbSize = QSize(h, h);
            } else if (theme.volumeType == VolumeType::FrameSlider) {
                size = QSize(roundHalfEven(w / 11.0), h);
                c.trackSize = size;
                c.thumbSize = QSize(1, h);
            }
        }
        c.bounds = QRect(QPoint(style.x, style.y), size);
        break;
    }
    case SkinControlKind::ListBox:
    case SkinControlKind::Other:
        break;
    }
}

QRectF buttonFrameSource(const QSize& image, int frame) {
    const int fw = roundHalfEven(image.width() / 4.0);
    return QRectF(frame * fw, 0, fw, image.height());
}

QRectF buttonFrameTarget(const QRect& bounds, const QSize& image, int shadowOffset) {
    return QRectF(bounds.left() - shadowOffset, bounds.top() - shadowOffset, image.width() / 4.0,
                  image.height());
}

QRectF volumeFrameSource(const QSize& image, int position) {
    const double fw = image.width() / 11.0;
    return QRectF(position * fw, 0, fw, image.height());
}

QRectF knobFrameSource(const QSize& image, int position) {
    const int fw = roundHalfEven(image.width() / 11.0);
    return QRectF(static_cast<double>(position) * fw, 0, fw, image.height());
}

double sliderThumbLeft(const SkinControl& slider) {
    if (slider.maximum <= 0) {
        return slider.bounds.left();
    }
    const double perUnit = static_cast<double>(slider.bounds.width()) / slider.maximum - 1.0;
    return slider.bounds.left() + slider.position * perUnit;
}

int sliderPositionAt(const SkinControl& slider, VolumeType type, int x) {
    const int max = slider.maximum;
    if (max <= 0 || slider.bounds.width() <= 0) {
        return 0;
    }
    double p = 0;
    if (type == VolumeType::Slider) {
        const double perUnit = static_cast<double>(slider.bounds.width()) / max - 1.0;
        const double half = slider.thumbSize.isEmpty() ? slider.bounds.height() / 2.0
                                                       : slider.thumbSize.width() / 2.0;
        p = perUnit > 0 ? (x - slider.bounds.left() - half) / perUnit : 0;
    } else {
        p = static_cast<double>(x - slider.bounds.left()) * max / slider.bounds.width();
    }
    return std::clamp(roundHalfEven(p), 0, max);
}

} // namespace tl
