#pragma once
// The sort direction shared by the search results' and the recordings' header clicks: +1 at
// start, negated by every header click of either list, so one list's click changes the
// direction of the other's next sort. Owned by the composition root; UI thread.

namespace tl {

class SortDirection {
public:
    int value() const { return value_; }
    // Negates the direction and returns the new one (the first click of a run gives -1).
    int flip() { return value_ = -value_; }

private:
    int value_ = +1;
};

} // namespace tl
