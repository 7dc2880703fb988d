#include "platform/screen_fit.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tl {

namespace {

// Squared distance from a point to a rectangle (0 inside).
int64_t distanceSquared(const QPoint& p, const QRect& r) {
    const int64_t dx =
        p.x() < r.left() ? r.left() - p.x() : (p.x() > r.right() ? p.x() - r.right() : 0);
    const int64_t dy =
        p.y() < r.top() ? r.top() - p.y() : (p.y() > r.bottom() ? p.y() - r.bottom() : 0);
    return dx * dx + dy * dy;
}

// Moves window (size kept) so that it lies inside area; a window larger than the area on an
// axis starts at the area's edge on that axis.
QRect clampInto(QRect window, const QRect& area) {
    const int x = window.width() >= area.width()
                      ? area.left()
                      : std::clamp(window.left(), area.left(), area.right() - window.width() + 1);
    const int y = window.height() >= area.height()
                      ? area.top()
                      : std::clamp(window.top(), area.top(), area.bottom() - window.height() + 1);
    window.moveTo(x, y);
    return window;
}

int64_t overlap(const QRect& a, const QRect& b) {
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : int64_t{common.width()} * common.height();
}

} // namespace

QRect fitOnScreens(const QRect& window, const QList<QRect>& areas) {
    // A window without extent (a stored position only) is treated as one pixel.
    const QRect probe(window.topLeft(),
                      QSize(std::max(window.width(), 1), std::max(window.height(), 1)));
    const int needW = std::min(probe.width(), kMinVisiblePart);
    const int needH = std::min(probe.height(), kMinVisiblePart);
    const QRect* nearest = nullptr;
    int64_t best = std::numeric_limits<int64_t>::max();
    for (const QRect& area : areas) {
        if (area.isEmpty()) {
            continue;
        }
        const QRect seen = probe.intersected(area);
        if (!seen.isEmpty() && seen.width() >= needW && seen.height() >= needH) {
            return window;
        }
        const int64_t d = distanceSquared(probe.center(), area);
        if (d < best) {
            best = d;
            nearest = &area;
        }
    }
    if (nearest == nullptr) {
        return window;
    }
    const QRect moved = clampInto(probe, *nearest);
    return QRect(moved.topLeft(), window.size());
}

QRect placeBeside(const QRect& anchor, const QSize& size, const QList<QRect>& areas, int gap) {
    const QRect right(QPoint(anchor.right() + 1 + gap, anchor.top()), size);
    const QRect* area = nullptr;
    int64_t most = -1;
    for (const QRect& candidate : areas) {
        if (candidate.isEmpty()) {
            continue;
        }
        const int64_t common = overlap(anchor, candidate);
        if (common > most) {
            most = common;
            area = &candidate;
        }
    }
    if (area == nullptr) {
        return right;
    }
    const QRect sides[] = {
        right,
        QRect(QPoint(anchor.left() - gap - size.width(), anchor.top()), size),
        QRect(QPoint(anchor.left(), anchor.bottom() + 1 + gap), size),
        QRect(QPoint(anchor.left(), anchor.top() - gap - size.height()), size),
    };
    // A side fits when the window, moved inside the area, still leaves the anchor uncovered.
    for (const QRect& side : sides) {
        const QRect slid = clampInto(side, *area);
        if (area->contains(slid) && !slid.intersects(anchor)) {
            return slid;
        }
    }
    QRect fallback = clampInto(sides[0], *area);
    int64_t least = overlap(fallback, anchor);
    for (const QRect& side : sides) {
        const QRect slid = clampInto(side, *area);
        if (overlap(slid, anchor) < least) {
            least = overlap(slid, anchor);
            fallback = slid;
        }
    }
    return fallback;
}

} // namespace tl
