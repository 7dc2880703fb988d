#pragma once
// The favourites document (stations.xml) and the rows built from it.
//
// The document is a pugixml tree held for the station manager: root element, group elements
// (attributes "Name", "rolled", optional "Color"), station elements (children "Url", "Name",
// "Info", "Bitrate", "Video"). Every change is made on the tree and committed: the tree is
// written to the file atomically and the file is loaded again to rebuild the rows.
//
// Positions (GroupIndex, StationIndex) count element children only; text, comments and
// processing instructions beside the elements are kept but never addressed.
//
// Data safety: when the file on disk could not be read as XML, the next commit first moves
// it aside to "<name>.broken-YYYYmmdd-HHMMSS" and reports the new name, so a user's
// unreadable favourites are never silently replaced. When the write then fails, the file is
// moved back and no backup is reported.
//
// Encoding: files are read by their declared encoding (xml_text.h); the tree holds UTF-8 and
// every commit writes valid UTF-8 with a declaration saying so.
//
// Owned and used by the UI thread only.

#include "library/station.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <pugixml.hpp>

#include <climits>
#include <optional>

namespace tl {

struct LoadResult {
    bool ok = true; // false: the load stopped early; error holds the message box text
    QString error;
    // "N stations" (rows shown, group rows included); empty when the load stopped early,
    // in which case the status line keeps its previous text.
    QString statusText;
    bool filterInvalid = false; // the filter text is not a valid wildcard pattern
};

struct CommitResult {
    bool written = false;
    QString error;      // why the file was not written (empty when written)
    QString backupPath; // where an unreadable file was moved before this commit, if it was
    LoadResult load;    // the reload that follows a written commit
};

// The values of a station element, as the writers store them.
struct StationFields {
    QString url;
    QString name;
    QString info;
    QString bitrate;
    bool video = false;
};

class FavouritesDocument {
public:
    explicit FavouritesDocument(QString path);

    const QString& path() const { return path_; }
    const TStationList& stations() const { return stations_; }
    int rowCount() const { return static_cast<int>(stations_.size()); }
    const TStation* row(int index) const;

    // The filter box's state: the trimmed filter text while a filter is in force, else empty.
    // Every load applies it to the stations it reads; only a load asked for with a non-empty
    // filterText (the filter box's own loads) also opens the collapsed groups.
    void setFilter(const QString& trimmedText) { filter_ = trimmedText; }
    const QString& filter() const { return filter_; }
    bool filterActive() const { return !filter_.isEmpty(); }
    // The rows of the last load were built with a filter in force.
    bool rowsFiltered() const { return rowsFiltered_; }

    // Reads the file again and rebuilds the rows. After a failure the rows built before the
    // failing group stay.
    LoadResult LoadFavs(const QString& filterText);
    // The rows from the bytes of a favourites file, as LoadFavs() builds them after reading.
    LoadResult loadFromBytes(const QByteArray& bytes, const QString& filterText);
    // Writes the document and reloads it with an empty filter text.
    CommitResult CommitFavs();
    // The bytes a commit writes: valid UTF-8 with a declaration saying so, and a root element
    // (added to the document when it has none).
    QByteArray serialize();

    // Exact, case-sensitive comparison with every station's "Url" text.
    bool IsFavouriteUrl(const QString& url) const;
    // "Name" attributes of the groups in document order (the edit dialog's group box).
    QStringList groupNames() const;
    int groupCount() const;

    // The player's "Favourites" submenu: every group in document order, collapsed ones too,
    // with each station's "Name" text and its first "Url" text.
    struct MenuStation {
        QString name;
        QString url;
    };
    struct MenuGroup {
        QString name;
        QList<MenuStation> stations;
    };
    // At most maxGroups groups and maxStations stations of each; the rest is not read.
    QList<MenuGroup> menuEntries(int maxGroups = INT_MAX, int maxStations = INT_MAX) const;

    bool loadFailed() const { return loadFailed_; }

    // Document changes. None of them commits; each returns false when the addressed element
    // does not exist (the document is then unchanged).
    bool setRolled(int groupIndex, int rolled);
    bool insertGroupAtTop(const QString& name, const QString& rolled, const QString& color);
    bool setGroupNameAndColor(int groupIndex, const QString& name, uint32_t color);
    bool appendStation(int groupIndex, const StationFields& fields);
    bool replaceStation(int groupIndex, int stationIndex, const StationFields& fields);
    bool deleteGroup(int groupIndex);
    bool deleteStation(int groupIndex, int stationIndex);
    // Drag and drop of row `dragged` onto row `target` (rows of the last load). A group lands
    // before the target's group; a station lands before the target station, or at the top
    // of the target group when the target is a group row.
    bool moveRow(int dragged, int target);
    // Adds the "Exported stations" group at the top and copies every child of the source
    // root into it. False when the source cannot be read or parsed (the document is then
    // unchanged).
    bool importStations(const QString& sourcePath);
    // The same from the bytes of the source file.
    bool importStationsFrom(const QByteArray& source);

    pugi::xml_document& document() { return doc_; }

private:
    void clearRows();
    pugi::xml_node rootElement(bool create);
    pugi::xml_node groupAt(int groupIndex) const;
    pugi::xml_node stationAt(int groupIndex, int stationIndex) const;
    static void fillStation(pugi::xml_node station, const StationFields& fields);

    QString path_;
    pugi::xml_document doc_;
    TStationList stations_;
    QString filter_;
    bool loadFailed_ = false;
    bool rowsFiltered_ = false;
};

// Reads a child element's text; a missing child is added (empty) to the element so that
// the next commit writes it.
QString childText(pugi::xml_node element, const char* name);

} // namespace tl
