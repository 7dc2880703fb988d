#pragma once
// Directory result pages: the search result record and the scanners that turn a service's
// reply into records. Pure functions over text; no widgets, no network.
//
// The two HTML directories are not parsed as HTML: each page is walked line by line, every
// field of a station is recognised by a fixed marker the line must contain (a wildcard
// match) and cut out of the line by fixed, 1-based position arithmetic. The JSON directory's
// reply is read with Qt's JSON classes.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tl {

// Directory services by the index the program stores (Last/ServiceIndex). Index 2 belongs to
// a web-TV directory that is never offered.
enum DirectoryService : int {
    kServiceShoutcast = 0,
    kServiceXiph = 1,
    kServiceWebTv = 2,
    kServiceRadioBrowser = 3,
};

// One search result.
struct TStat {
    QString Name;
    QString Spare; // nothing fills or reads it
    QString OnAir;
    QString Url;
    QString Detail;
    QString Quality;
    bool Video = false;
    QString StationUuid; // JSON directory only: the id its click counter takes
    QString Favicon;     // JSON directory only: the station's logo (http or https), or empty
};

// The most records one page gives.
inline constexpr int kMaxSearchResults = 255;

// The placeholder record of a search that found nothing.
inline constexpr char kNotFoundUrl[] = "NF";
inline constexpr char kNotFoundCaption[] = "No stations found.";

// The addresses prefixed to the links the scanners cut out of a page; a "/" goes between when
// neither has one, so a link always stays on the directory's server.
struct DirectoryRoots {
    QString shoutcastRoot; // ends with "/"
    QString xiphBase;      // without a trailing "/"
};

// The column captions for a service: "Station" and the two sub-item columns.
QStringList ResultColumnCaptions(int service);

// Scans a result page of the SHOUTcast (0) or Xiph (1) directory for at most `count` records
// (capped at kMaxSearchResults), in page order. Any other service, or a page of neither
// layout, gives no records. Never throws; the caller's lines are not changed.
std::vector<TStat> ParseDirectoryPage(const QStringList& lines, int service, int count,
                                      const DirectoryRoots& roots);

// The reply body as the scanner takes it: text up to the first NUL, split at CR, LF or CR LF.
QStringList PageLines(const QByteArray& body);

// The reply is a JSON array: what the JSON directory answers a search with.
bool IsJsonArray(const QByteArray& json);

// The address schemes the player opens; anything else (javascript:, file:, data:, ...) is
// never listed.
bool IsPlayableScheme(const QString& url);

// The JSON directory's station array read into records (at most `count`, capped at
// kMaxSearchResults), with what was left out.
struct StationPage {
    std::vector<TStat> records;
    int unplayable = 0; // addresses of a scheme the player cannot open
    int broken = 0;     // stations the directory's last check found off the air
};
// nullopt when the reply is not a JSON array. Entries that are not objects or have no
// address are skipped silently; unplayable addresses and (unless showBroken) stations whose
// "lastcheckok" is 0 are skipped and counted.
std::optional<StationPage> ReadRadioBrowserStations(const QByteArray& json, int count,
                                                    bool showBroken);
// The records of ReadRadioBrowserStations(json, count, true).
std::optional<std::vector<TStat>> ParseRadioBrowserStations(const QByteArray& json, int count);

// The server names of the JSON directory's server list ("name" of each entry, duplicates
// removed, in the list's order). Empty for anything else.
QStringList ParseRadioBrowserServers(const QByteArray& json);

} // namespace tl
