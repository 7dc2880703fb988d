#include "library/favourites_actions.h"

namespace tl {

std::optional<ToggleResult> toggleCollapse(FavouritesDocument& favs, int row) {
    const TStation* rec = favs.row(row);
    if (!rec || !rec->isGroup())
        return std::nullopt;
    const int flipped = rec->Rolled == 1 ? 0 : 1;
    if (!favs.setRolled(rec->GroupIndex, flipped))
        return std::nullopt;
    ToggleResult result;
    result.commit = favs.CommitFavs();
    result.reselectRow = row;
    return result;
}

std::optional<CommitResult> dropRow(FavouritesDocument& favs, int dragged, int target) {
    if (!favs.moveRow(dragged, target))
        return std::nullopt;
    return favs.CommitFavs();
}

std::optional<DeleteQuestion> deleteQuestion(const FavouritesDocument& favs, int row) {
    const TStation* rec = favs.row(row);
    if (!rec)
        return std::nullopt;
    DeleteQuestion q;
    q.title = QStringLiteral("Confirmation");
    q.group = rec->isGroup();
    if (q.group) {
        q.instruction = QStringLiteral("Are You sure wish to delete this group?");
        q.content = rec->Name;
    } else {
        q.instruction = QStringLiteral("Are You sure wish to delete this station?");
        q.content = rec->Name + QStringLiteral("\r\n") + rec->Info;
    }
    return q;
}

std::optional<CommitResult> deleteRow(FavouritesDocument& favs, int row, bool confirmed) {
    const TStation* rec = favs.row(row);
    if (!rec)
        return std::nullopt;
    if (rec->isGroup()) {
        if (confirmed)
            favs.deleteGroup(rec->GroupIndex);
        return favs.CommitFavs();
    }
    if (!confirmed || !favs.deleteStation(rec->GroupIndex, rec->StationIndex))
        return std::nullopt;
    return favs.CommitFavs();
}

ImportResult importAndCommit(FavouritesDocument& favs, const QString& sourcePath) {
    ImportResult result;
    result.failed = !favs.importStations(sourcePath);
    result.commit = favs.CommitFavs();
    return result;
}

} // namespace tl
