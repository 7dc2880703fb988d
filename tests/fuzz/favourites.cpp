// The favourites loader, the commit's serialisation and import. Checks: the rows address
// their elements (group and station positions in range, group rows counting their stations);
// what a commit writes is valid UTF-8 and loads again to the same rows; a second commit
// writes a fixed point; an import adds exactly the "Exported stations" group at the top; a
// filter lists only stations that match it.
//
// Input: stations.xml, then (after a line "=====") the file to import, then the filter text.

#include "library/favourites.h"
#include "common/wildcard.h"

#include "fuzz_support.h"

using tl::FavouritesDocument;
using tl::fuzz::check;
using tl::fuzz::validUtf8;

namespace {

bool sameRows(const tl::TStationList& a, const tl::TStationList& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const tl::TStation& x = a[i];
        const tl::TStation& y = b[i];
        if (x.Name != y.Name || x.Info != y.Info || x.Url != y.Url || x.Bitrate != y.Bitrate ||
            x.Video != y.Video || x.GroupIndex != y.GroupIndex ||
            x.StationIndex != y.StationIndex || x.Kind != y.Kind || x.Color != y.Color ||
            x.Rolled != y.Rolled) {
            return false;
        }
    }
    return true;
}

void checkRows(const FavouritesDocument& favs) {
    int groups = 0;
    int lastGroup = -1;
    for (const tl::TStation& row : favs.stations()) {
        if (row.isGroup()) {
            check(row.GroupIndex == lastGroup + 1, "groups in document order");
            lastGroup = row.GroupIndex;
            ++groups;
        } else {
            check(row.GroupIndex == lastGroup && row.StationIndex >= 0, "a station in its group");
        }
    }
    check(groups <= favs.groupCount(), "no more group rows than groups");
}

// A fresh document at a path that is never written.
FavouritesDocument loaded(const QByteArray& bytes, tl::LoadResult* result) {
    FavouritesDocument favs(QStringLiteral("/nonexistent/stations.xml"));
    *result = favs.loadFromBytes(bytes, QString());
    checkRows(favs);
    return favs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parts = tl::fuzz::parts(tl::fuzz::view(data, size), 3);
    const QByteArray file = tl::fuzz::part(parts, 0);
    const QByteArray source = tl::fuzz::part(parts, 1);
    const QString filter = QString::fromUtf8(tl::fuzz::part(parts, 2)).trimmed();

    tl::LoadResult first;
    FavouritesDocument favs = loaded(file, &first);
    check(first.ok != favs.loadFailed() || !first.ok, "a failed parse is remembered");
    if (!first.ok) {
        return 0;
    }
    const QByteArray written = favs.serialize();
    check(validUtf8(written), "a commit writes valid UTF-8");
    tl::LoadResult second;
    FavouritesDocument again = loaded(written, &second);
    check(second.ok, "what a commit writes loads again");
    check(sameRows(favs.stations(), again.stations()), "the same rows after a commit");
    const QByteArray rewritten = again.serialize();
    tl::LoadResult third;
    FavouritesDocument thrice = loaded(rewritten, &third);
    check(third.ok && thrice.serialize() == rewritten, "a second commit is a fixed point");

    if (!filter.isEmpty()) {
        FavouritesDocument filtered(QStringLiteral("/nonexistent/stations.xml"));
        filtered.setFilter(filter);
        const tl::LoadResult r = filtered.loadFromBytes(written, filter);
        checkRows(filtered);
        if (r.ok && !r.filterInvalid) {
            for (const tl::TStation& row : filtered.stations()) {
                check(row.isGroup() || tl::wildcardContains(row.Name, filter) == true ||
                          tl::wildcardContains(row.Info, filter) == true,
                      "a filter lists only matching stations");
            }
        }
    }

    const int groupsBefore = again.groupCount();
    if (again.importStationsFrom(source)) {
        check(again.groupCount() == groupsBefore + 1, "an import adds one group");
        check(again.groupNames().value(0) == u"Exported stations", "at the top");
        tl::LoadResult imported;
        FavouritesDocument afterImport = loaded(again.serialize(), &imported);
        check(imported.ok, "an import commits a loadable file");
        check(afterImport.stations().front().Name == u"Exported stations", "the new group first");
    } else {
        check(again.groupCount() == groupsBefore, "a failed import changes nothing");
    }
    return 0;
}
