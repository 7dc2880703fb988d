#pragma once
// Station and group records: one TStation per row of the favourites list, groups and
// stations alike. The records are a read-only snapshot of the favourites document made by
// the last load; GroupIndex/StationIndex address the element they came from only until the
// document changes (every change ends with a commit, which rebuilds the list).

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace tl {

// 0x00BBGGRR; navy blue, the colour of a group without a "Color" attribute.
inline constexpr uint32_t kDefaultGroupColor = 8388608;

class TStation {
public:
    QString Name;    // station: "Name" child; group: "Name" attribute
    QString Info;    // station: "Info" child; group: number of its station elements
    QString Url;     // station only
    QString Bitrate; // station only, as stored
    bool Video = false;
    int GroupIndex = 0;   // position of the group element among the root's element children
    int StationIndex = 0; // position of the station element in its group (0 for groups)
    int Kind = 0;         // 0 group row, 1 station row
    uint32_t Color = 0;   // group colour (0x00BBGGRR); 0 for stations

    // Row data beside the record.
    int Rolled = 0; // group rows: the parsed "rolled" value (1 = collapsed)

    bool isGroup() const { return Kind == 0; }
    int indent() const { return Kind == 0 ? 0 : 1; }
    int positionIndex() const { return Kind == 0 ? GroupIndex : StationIndex; }
};

// The one owning list of records, in row order (entry i is row i of the favourites list).
using TStationList = std::vector<TStation>;

// The text a group bar shows: "Rock (12)".
QString groupCaption(const TStation& group);
// The bitrate column: "unknown" for a stored "0", otherwise the value and " kbps".
QString bitrateText(const TStation& station);

// A group or station name as the text of a menu item or button: "&" doubled so that it shows
// as itself rather than marking a shortcut letter, and line breaks and tabs (a tab would start
// the shortcut column) as spaces.
QString menuText(const QString& name);

// The edit dialog's bitrate choices, in list order.
const QStringList& bitrateChoices();
// Index in bitrateChoices() of the lower-cased text, or -1.
int bitrateChoiceIndex(const QString& bitrate);

} // namespace tl
