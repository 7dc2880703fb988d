#include "library/edit_logic.h"

namespace tl {

EditOkResult groupOk(FavouritesDocument& favs, int editMode, const GroupInput& input,
                     const std::optional<TStation>& selected) {
    EditOkResult result;
    if (input.name.trimmed().isEmpty()) {
        result.outcome = EditOutcome::NameMissing;
        result.message = kInputGroupName;
        return result;
    }
    if (editMode == kEditModeAdd) {
        favs.insertGroupAtTop(input.name, QStringLiteral("1"), QString::number(input.color));
    } else if (!selected ||
               !favs.setGroupNameAndColor(selected->GroupIndex, input.name, input.color)) {
        result.outcome = EditOutcome::NoTarget;
        result.message = QStringLiteral("The group to edit is no longer in the favourites.");
        return result;
    }
    result.commit = favs.CommitFavs();
    return result;
}

EditOkResult stationOk(FavouritesDocument& favs, int& editMode, bool searchTabShown,
                       const StationInput& input, const std::optional<TStation>& selected) {
    EditOkResult result;
    if (input.fields.name.trimmed().isEmpty()) {
        result.outcome = EditOutcome::NameMissing;
        result.message = kInputStationName;
        return result;
    }
    if (searchTabShown)
        editMode = kEditModeAdd;
    if (editMode == kEditModeAdd) {
        if (input.groupChoice < 0 || !favs.appendStation(input.groupChoice, input.fields)) {
            result.outcome = EditOutcome::NoGroup;
            result.message = kNoGroupMessage;
            return result;
        }
        result.stationAdded = true;
    } else if (!selected || selected->isGroup() ||
               !favs.replaceStation(selected->GroupIndex, selected->StationIndex, input.fields)) {
        result.outcome = EditOutcome::NoTarget;
        result.message = QStringLiteral("The station to edit is no longer in the favourites.");
        return result;
    }
    result.commit = favs.CommitFavs();
    return result;
}

QString urlFromClipboard(const QString& clipboardText) {
    return clipboardText.startsWith(QLatin1String("http://"), Qt::CaseSensitive) ? clipboardText
                                                                                 : QString();
}

} // namespace tl
