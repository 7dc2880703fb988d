// The player theme reader: theme.ini and the images of a theme folder, loaded from memory,
// then one rendering pass with long texts. Checks: the window gets the background's size (or
// the built-in theme's); every number the theme gives is bounded by the background; controls
// stay within reach of the window; the slider's position rule stays within 0..maximum.
//
// Input: theme.ini, then the files background.png, 1.png, 5.png, 20.png, 71.png, top.png and
// 5@2x.png, separated by lines "=====" (the input's length picks the pixel scale). An empty
// background stands for a plain generated one.

#include "player/player_controller.h"
#include "skin/compositor.h"

#include "fuzz_support.h"

#include <QBuffer>
#include <QImage>

using tl::fuzz::check;

namespace {

QByteArray plainBackground() {
    QImage image(200, 60, QImage::Format_ARGB32);
    image.fill(Qt::darkGray);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace

TL_FUZZ_GUI_APP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QByteArray kBackground = plainBackground();
    static const char* const kNames[] = {"theme.ini", "background.png", "1.png",   "5.png",
                                         "20.png",    "71.png",         "top.png", "5@2x.png"};
    std::map<QString, QByteArray> files = tl::fuzz::files(tl::fuzz::view(data, size), kNames, true);
    if (files[QStringLiteral("background.png")].isEmpty()) {
        files[QStringLiteral("background.png")] = kBackground;
    }

    tl::ControlModel model;
    tl::PlayerController::buildControls(model);
    tl::TMyAbout about(model, tl::SkinRole::Player);
    about.setDevicePixelRatio(size % 3 == 0 ? 2.0 : 1.0);
    const auto loaded = about.LoadTheme(tl::FolderFiles::inMemory(std::move(files)), size % 2 == 1);
    check(!loaded.size.isEmpty() && loaded.size == about.size(), "a window size");
    const int w = loaded.size.width();
    const int h = loaded.size.height();
    const tl::ThemeValues& t = about.theme();
    check(t.visual.count >= 0 && t.visual.count <= tl::kMaxSpectrumBars, "bar count");
    check(t.albumArt.w >= 0 && t.albumArt.w <= w && t.albumArt.h >= 0 && t.albumArt.h <= h,
          "album art box within the window");
    check(t.infoStrip.width() <= w && t.songStrip.height() <= h, "strips within the window");
    for (const tl::SkinControl& c : model.controls()) {
        check(std::abs(c.bounds.x()) <= w && std::abs(c.bounds.y()) <= h, "controls within reach");
        check(c.bounds.width() >= 0 && c.bounds.height() >= 0, "no negative size");
    }

    const QString longText = QString(300, QChar(u'\x263A'));
    for (tl::SkinControl& c : model.controls()) {
        c.caption = longText;
        c.position = c.maximum;
    }
    about.setCursorPos(QPoint(w / 2, h / 2));
    check(about.Render(nullptr), "a pass draws");
    about.SetStateImage(u"play", QStringLiteral("71.png"));
    about.LoadAlbumArt(QImage(3000, 2, QImage::Format_RGB32));
    check(about.Render(model.hitTest(QPoint(w / 3, h / 3))), "a pass after the swaps draws");
    for (const tl::SkinControl& c : model.controls()) {
        if (c.kind == tl::SkinControlKind::Slider) {
            for (const int x : {-w, 0, w / 2, w, 4 * w}) {
                const int p = tl::sliderPositionAt(c, t.volumeType, x);
                check(p >= 0 && p <= std::max(0, c.maximum), "a slider position in range");
            }
        }
    }
    return 0;
}
