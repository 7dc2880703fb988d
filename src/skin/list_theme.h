#pragma once
// Images and colours the manager's lists draw their rows with.
//
// builtin() paints the program's own set at start-up: the row image list (32 x 32 slots
// 0..16: 0..3 tool bar pictures, 4..6 selected row caps and middle, 7/8 even and odd rows,
// 9..11 group bar caps and middle, 12/13 collapsed and expanded arrows), the row icons
// (24 x 24: 2 audio, 3 video, 4 MP3, 5 Ogg; 0 and 1 for the search results), the
// now-playing mark and the filter box's clear image. LoadInterfaceTheme() replaces single
// slots, colours and pictures of a copy of this set from the files of the interface folder.
//
// Plain data; images are built and read on the UI thread (QPainter on QImage, no widgets).

#include "common/folder_files.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class QWidget;

namespace tl {

struct ListTheme {
    enum Slot {
        kNewStation = 0,
        kAddFavourite = 1,
        kDelete = 2,
        kNewGroup = 3,
        kListL = 4,
        kListC = 5,
        kListR = 6,
        kList1 = 7,
        kList2 = 8,
        kGroupL = 9,
        kGroupC = 10,
        kGroupR = 11,
        kArrowCollapsed = 12,
        kArrowExpanded = 13,
    };
    enum Icon { kIconAudio = 2, kIconVideo = 3, kIconMp3 = 4, kIconOgg = 5 };

    std::array<QImage, 17> rowImages; // 32 x 32
    std::array<QImage, 6> icons;      // 24 x 24
    QImage nowPlaying;                // 16 x 16
    QImage clearImage;                // 24 x 24

    QColor background{0, 0, 0};
    QColor fontColor{0xDD, 0xDD, 0xDD};
    QColor selFontColor{0xFF, 0xFF, 0xFF};
    QColor infoFontColor{0xDD, 0xDD, 0xDD};
    QColor selInfoFontColor{0xFF, 0xFF, 0xFF};

    // Tool bar band background, 2 x 48, repeated across the band and stretched over the
    // 192 x 48 filter panel.
    QImage toolbarBackground;
    // Set once any of the sixteen named images was found: the tool buttons then show the
    // tool bar image list below (icons found, in slot order, premultiplied 32 x 32), even
    // when it is empty; otherwise they show row image slots 0..3.
    bool toolbarOwnList = false;
    std::vector<QImage> toolbarImages;
    // Pictures that only a theme supplies; null keeps the window's built-in look.
    QImage searchPanel; // over the filter panel, stretched
    QImage statusBar;   // status line background, stretched
    QImage findImage;   // the search tab's Find button

    // Image of tool button position 0..3 (new station, add to favourites, delete, new
    // group); null when the tool bar's list has no image there.
    QImage toolButtonImage(int position) const;

    // scale 2: the same set drawn at twice the pixels (device pixel ratio 2) for dense screens.
    static const ListTheme& builtin(int scale = 1);
};

// "#RRGGBB" to a colour value 0x00BBGGRR. A text shorter than six characters, or one that
// does not start with "#", is black (0). Every "#" is removed before the digits are read;
// characters beyond the sixth are ignored, and a shorter text reads as fewer digits
// ("#12345" is red 0x12, green 0x34, blue 0x05). nullopt when one of the digits read is not
// hexadecimal.
std::optional<uint32_t> ParseHtmlColor(const QString& text);
QString StripHash(QString text);

// Loads the manager theme from folder (ending in "/"): tool bar background, [list] colours
// of theme.ini, the single pictures, then the sixteen named images. Every file is optional;
// one that does not decode counts as missing; a colour that does not parse keeps its
// default. At a scale of 2 a "NAME@2x.png" of exactly twice the size of "NAME.png" is used
// in its place (the tool bar background excepted).
ListTheme LoadInterfaceTheme(const QString& folder, int scale = 1);
ListTheme LoadInterfaceTheme(const FolderFiles& folder, int scale = 1);

// Puts the theme's tool bar images and backgrounds on the manager window's parts, found by
// their object names: ToolButton1, ToolButton2, ToolButton3, NewGroupBtn (tool bar
// positions 0..3), CoolBar1, SearchPanelBackground2, StatusBarBackground, FSClearButton and
// the search tab's Find button PngSpeedButton1.
// Parts that do not exist are skipped. UI thread.
void applyInterfaceTheme(QWidget& manager, const ListTheme& theme);

// The set shipped in the interface folder, drawn to match the default player theme: the
// file name of each image with the image, and the text of theme.ini.
struct InterfaceSet {
    std::vector<std::pair<QString, QImage>> images;
    QString ini;
};
InterfaceSet drawInterfaceSet();

// Contrast ratio of two colours (1 to 21) from their relative luminance.
double contrastRatio(const QColor& a, const QColor& b);

// A group's name is written in the group's own colour on a bar of that colour under the group
// images; no fixed image can set every colour off (a dark bar hides navy, a light one white, a
// grey one red), so the name gets a one-pixel outline: black or white, whichever stands out
// more from the colour.
QColor groupNameOutline(const QColor& color);

// Row geometry shared by the lists.
inline constexpr int kRowHeight = 34;
inline constexpr int kRowImageHeight = 32;
inline constexpr int kBitrateColumnWidth = 85;

} // namespace tl
