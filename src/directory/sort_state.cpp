#include "directory/sort_state.h"

#include <optional>

namespace tl {

namespace {

int ordered(int cmp, int d) {
    return cmp > 0 ? d : (cmp < 0 ? -d : 0);
}

int compareUpper(const QString& a, const QString& b, int d) {
    return ordered(QString::compare(a.toUpper(), b.toUpper(), Qt::CaseSensitive), d);
}

std::optional<int> decimal(QStringView text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

QString subItem(const SortRow& row, int index) {
    return index >= 0 && index < row.subItems.size() ? row.subItems[index] : QString();
}

} // namespace

int CompareCaptions(const SortRow& a, const SortRow& b, int d) {
    return compareUpper(a.caption, b.caption, d);
}

int CompareSubItems(const SortRow& a, const SortRow& b, int index, int d) {
    return compareUpper(subItem(a, index), subItem(b, index), d);
}

int CompareBitrates(const SortRow& a, const SortRow& b, int d) {
    const std::optional<int> x = decimal(subItem(a, 0));
    const std::optional<int> y = decimal(subItem(b, 0));
    if (x && y) {
        return ordered(*x < *y ? -1 : (*x == *y ? 0 : 1), d); // no subtraction: no overflow
    }
    if (!x && !y) {
        return 0;
    }
    return x ? -1 : 1; // numbers first, whatever the direction
}

int CompareListeners(const SortRow& a, const SortRow& b, int d) {
    const QString sa = subItem(a, 1);
    const QString sb = subItem(b, 1);
    const qsizetype ia = sa.indexOf(u'/');
    const qsizetype ib = sb.indexOf(u'/');
    if (ia < 0 || ib < 0) {
        return 0;
    }
    const std::optional<int> x = decimal(QStringView(sa).left(ia));
    const std::optional<int> y = decimal(QStringView(sb).left(ib));
    if (!x || !y) {
        return 0;
    }
    return ordered(*x < *y ? -1 : (*x == *y ? 0 : 1), d);
}

} // namespace tl
