#pragma once
// What the edit dialog's OK button does to the favourites, apart from the widgets.
//
// EditMode is a value that outlives the dialog: 2 adds a new element, 1 edits the element of
// the favourites row that was selected when the dialog opened. Whoever opens the dialog sets
// it; the search-result flow leaves it alone and OK sets it to 2 when the manager shows its
// search tab.

#include "library/favourites.h"

#include <QString>

#include <optional>

namespace tl {

inline constexpr int kEditModeEdit = 1;
inline constexpr int kEditModeAdd = 2;

struct GroupInput {
    QString name; // as typed; stored untrimmed
    uint32_t color = kDefaultGroupColor;
};

struct StationInput {
    StationFields fields; // as typed; bitrate is the chosen entry's text or empty
    int groupChoice = -1; // index in the group box (document order), -1 when it is empty
};

enum class EditOutcome {
    Committed,   // stored and committed; the dialog closes
    NameMissing, // blank name: message shown, field marked, the dialog stays open
    NoGroup,     // adding a station with no group to put it in; the dialog stays open
    NoTarget,    // the element to edit is gone; nothing stored, the dialog stays open
};

struct EditOkResult {
    EditOutcome outcome = EditOutcome::Committed;
    QString message;           // message box text for the refusals
    bool stationAdded = false; // tell the notifier "Station added to Your Favourites"
    CommitResult commit;
};

inline const QString kInputGroupName = QStringLiteral("Input group name");
inline const QString kInputStationName = QStringLiteral("Input station name");
inline const QString kNoGroupMessage =
    QStringLiteral("There is no group to put the station in. Create a group first.");
inline const QString kStationAdded = QStringLiteral("Station added to Your Favourites");

// `selected` is the favourites row that was selected when the dialog opened (edit mode).
EditOkResult groupOk(FavouritesDocument& favs, int editMode, const GroupInput& input,
                     const std::optional<TStation>& selected);
// May set editMode to 2 (search tab shown).
EditOkResult stationOk(FavouritesDocument& favs, int& editMode, bool searchTabShown,
                       const StationInput& input, const std::optional<TStation>& selected);

// The new-station flow keeps a clipboard text for the URL field only when it starts with
// exactly "http://".
QString urlFromClipboard(const QString& clipboardText);

} // namespace tl
