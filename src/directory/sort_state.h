#pragma once
// Sorting of the manager's report lists by a header click. One SortState is shared by every
// list sorted this way (the search results and the recordings), so a click on one list's
// header changes the direction of the next sort of the other.
//
// The comparisons give d when a's value is greater, -d when it is smaller, 0 when equal;
// a negative result puts a before b. Runs on the UI thread.

#include <QString>
#include <QStringList>

namespace tl {

struct SortState {
    int SortDirection = 1; // +1 or -1
    int SortSubItem = 0;   // the sub-item CompareSubItems reads

    // A header click: flips the direction and returns the new one.
    int flip() {
        SortDirection = -SortDirection;
        return SortDirection;
    }
};

// The texts a row is sorted by: its caption and its sub-items.
struct SortRow {
    QString caption;
    QStringList subItems;
};

// Captions, upper-cased, compared code by code.
int CompareCaptions(const SortRow& a, const SortRow& b, int d);
// Sub-item `subItem` upper-cased, compared code by code (a missing one reads as empty).
int CompareSubItems(const SortRow& a, const SortRow& b, int subItem, int d);
// Sub-item 0 as a decimal integer. A value that is no number sorts after every number in
// both directions; two such values are equal.
int CompareBitrates(const SortRow& a, const SortRow& b, int d);
// The integer before the first "/" of sub-item 1; equal when either has no "/" or is no
// number there.
int CompareListeners(const SortRow& a, const SortRow& b, int d);

} // namespace tl
