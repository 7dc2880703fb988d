#pragma once
// The favourites list's actions as functions on the document: each changes the document by
// the rows of the last load and commits. The window only asks, shows and reselects.

#include "library/favourites.h"

#include <optional>

namespace tl {

struct ToggleResult {
    CommitResult commit;
    int reselectRow = -1; // the same row index, selected again after the rebuild
};
// Flips the collapsed state of a group row (1 -> 0, anything else -> 1). nullopt for a
// station row or a row that does not exist.
std::optional<ToggleResult> toggleCollapse(FavouritesDocument& favs, int row);

// Drag and drop of row `dragged` onto row `target`. nullopt when nothing happens (same row,
// no row under the drop point, an element that is gone); nothing is written then.
std::optional<CommitResult> dropRow(FavouritesDocument& favs, int dragged, int target);

struct DeleteQuestion {
    QString title;       // "Confirmation"
    QString instruction; // "Are You sure wish to delete this station?" / "... group?"
    QString content;     // station: Name CR LF Info; group: Name
    bool group = false;
};
std::optional<DeleteQuestion> deleteQuestion(const FavouritesDocument& favs, int row);

// After the confirmation: a station is deleted on Yes, and only then committed; a group is
// deleted on Yes and the favourites are committed either way. nullopt when nothing was written.
std::optional<CommitResult> deleteRow(FavouritesDocument& favs, int row, bool confirmed);

struct ImportResult {
    bool failed = false; // show "Error!"
    CommitResult commit; // the import always ends with a commit
};
ImportResult importAndCommit(FavouritesDocument& favs, const QString& sourcePath);

} // namespace tl
