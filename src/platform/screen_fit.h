#pragma once
// Where windows go on the screens there are now: a stored position from another monitor
// layout or scale must never leave a window out of reach, and a window opened for the first
// time goes beside the one it belongs to rather than over it. Pure geometry on rectangles in
// global desktop coordinates; the callers pass the screens' available areas (without panels).

#include <QList>
#include <QRect>

namespace tl {

// How much of a window (on each axis, or the whole extent when smaller) must lie on one screen
// for it to count as reachable: enough to see it and drag it back.
inline constexpr int kMinVisiblePart = 48;

// window as stored; areas: the available area of every screen. Returns the window unchanged
// when enough of it lies on one area. Otherwise it keeps its size and moves into the area
// nearest to it: wholly inside when it fits, else with its top-left corner at the area's. With
// no areas (no screen known) the window is returned as given.
QRect fitOnScreens(const QRect& window, const QList<QRect>& areas);

// A window of the given size placed beside anchor, on the area that holds most of the anchor:
// to its right, else its left, else below, else above, gap pixels apart and top (or left)
// edges aligned; when no side has the room it is put where it overlaps the anchor least,
// always inside the area. With no areas it goes to the anchor's right.
QRect placeBeside(const QRect& anchor, const QSize& size, const QList<QRect>& areas, int gap = 8);

} // namespace tl
