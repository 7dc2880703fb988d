#pragma once
// Images and colours the manager's lists draw their rows with.
//
// builtin() paints the program's own set at start-up: the row image list (32 x 32 slots
// 0..16: 0..3 tool bar pictures, 4..6 selected row caps and middle, 7/8 even and odd rows,
// 9..11 group bar caps and middle, 12/13 collapsed and expanded arrows), the row icons
// (24 x 24: 2 audio, 3 video, 4 MP3, 5 Ogg; 0 and 1 for the search results), the
// now-playing mark and the filter box's clear image. A manager theme loaded later replaces
// single slots and colours of a copy of this set.

#include <QColor>
#include <QImage>

#include <array>

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

    static const ListTheme& builtin();
};

// Row geometry shared by the lists.
inline constexpr int kRowHeight = 34;
inline constexpr int kRowImageHeight = 32;
inline constexpr int kBitrateColumnWidth = 85;

} // namespace tl
