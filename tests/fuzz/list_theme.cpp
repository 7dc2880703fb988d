// The station manager's theme: theme.ini's [list] colours and the interface pictures, loaded
// from memory. Checks: colours parse to 24-bit values (or keep their defaults); the tool bar
// background is always 2 x 48; row images keep 32 x 32 and tool bar icons are 32 x 32 (in
// window units, at either pixel scale), at most one per icon file; no picture larger than
// 4096 pixels a side is decoded.
//
// Input: theme.ini, then toolbar.png, x.png, icon1.png, listl.png, find.png and bottom.png,
// separated by lines "=====".

#include "skin/list_theme.h"
#include "common/ini_file.h"

#include "fuzz_support.h"

using tl::fuzz::check;

namespace {

// Size in window units (a picture drawn at a pixel scale of 2 holds twice the pixels).
QSize logical(const QImage& image) {
    return image.deviceIndependentSize().toSize();
}

} // namespace

TL_FUZZ_GUI_APP()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const kNames[] = {"theme.ini", "toolbar.png", "x.png",     "icon1.png",
                                         "listl.png", "find.png",    "bottom.png"};
    std::map<QString, QByteArray> files =
        tl::fuzz::files(tl::fuzz::view(data, size), kNames, false);
    const tl::IniFile ini = tl::IniFile::fromBytes(files[QStringLiteral("theme.ini")]);
    for (const char16_t* key : {u"color", u"fontcolor", u"selfontcolor"}) {
        if (const auto text = ini.find(u"list", key)) {
            const auto value = tl::ParseHtmlColor(*text);
            check(!value || *value <= 0xFFFFFF, "a colour fits 24 bits");
        }
    }

    const tl::ListTheme t =
        tl::LoadInterfaceTheme(tl::FolderFiles::inMemory(std::move(files)), 1 + size % 2);
    check(logical(t.toolbarBackground) == QSize(2, 48), "the band background is 2 x 48");
    for (const QImage& image : t.rowImages) {
        check(image.isNull() || logical(image) == QSize(32, 32), "row images are 32 x 32");
    }
    check(t.toolbarImages.size() <= 1, "one tool bar icon per icon file");
    for (const QImage& image : t.toolbarImages) {
        check(logical(image) == QSize(32, 32), "tool bar icons are 32 x 32");
    }
    for (const QImage* image : {&t.searchPanel, &t.statusBar, &t.findImage, &t.clearImage}) {
        check(image->width() <= 4096 && image->height() <= 4096, "no huge picture decoded");
    }
    for (const QColor* c : {&t.background, &t.fontColor, &t.selFontColor}) {
        check(c->isValid() && c->alpha() == 255, "opaque colours");
    }
    return 0;
}
