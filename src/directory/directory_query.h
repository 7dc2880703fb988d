#pragma once
// Directory queries: the genre list, the result counts, the service addresses (defaults,
// overridable in config.ini's [Directory] section) and the request addresses built from them.
// Pure logic; no widgets, no network.

#include "common/ini_file.h"
#include "directory/directory_page.h"

#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <optional>

namespace tl {

// The 63 genres, sorted as the genre box shows them ("80s" first).
const QStringList& DirectoryGenres();

// "5 results" ... "100 results" and the count each index stands for.
inline constexpr std::array<int, 6> kResultCounts{5, 10, 25, 30, 50, 100};
QStringList ResultCountCaptions();
// The count for a count-box index; nullopt outside 0..5.
std::optional<int> ResultCountForIndex(int index);

// The service offered when config.ini names none.
inline constexpr int kDefaultServiceIndex = kServiceRadioBrowser;
// The services the service box offers, in its order.
inline constexpr std::array<int, 3> kOfferedServices{kServiceShoutcast, kServiceXiph,
                                                     kServiceRadioBrowser};

inline constexpr char kDirectoryUserAgent[] = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.0)";
// The JSON directory asks its clients to say who they are.
inline constexpr char kRadioBrowserUserAgent[] = "Tunelark/" TUNELARK_VERSION;

// Where the services live. Every address may be replaced in config.ini:
//   [Directory]
//   Shoutcast=http://mirror.example/          query host and root of the playlist links
//   Xiph=http://mirror.example                directory base address
//   RadioBrowser=https://mirror.example       server list host (its /json/servers)
//   RadioBrowserDiscovery=all.api.example     round-robin name whose addresses name the
//                                             servers; empty: none (the default when
//                                             RadioBrowser is given)
//   RadioBrowserServers=host1,host2:8080      servers to try when neither finds any
//   Timeout=15                                seconds per request
//   ConnectTimeout=4                          seconds for a name lookup and connect
//   SearchDeadline=20                         seconds for a whole JSON directory search
struct DirectoryConfig {
    QString shoutcast = QStringLiteral("http://www.shoutcast.com/");
    QString xiph = QStringLiteral("http://dir.xiph.org");
    QString radioBrowser = QStringLiteral("https://all.api.radio-browser.info");
    QString discoveryHost = QStringLiteral("all.api.radio-browser.info");
    QStringList radioBrowserServers;
    std::chrono::milliseconds timeout{15000};
    std::chrono::milliseconds connectTimeout{4000};
    std::chrono::milliseconds searchDeadline{20000};

    static DirectoryConfig fromIni(const IniFile& ini);
    DirectoryRoots roots() const;
    // The host name a service box entry shows.
    QString caption(int service) const;
};

// Percent-encodes text as one query value: everything but A-Z a-z 0-9 - . _ ~ is written as
// %XX of its UTF-8 bytes, blanks as "+" when plusForBlank is set.
QString EncodeQueryValue(const QString& text, bool plusForBlank);

// The entry of `genres` equal to text ignoring case; empty when there is none.
QString FindGenre(const QStringList& genres, const QString& text);

// What Find asks for.
struct DirectoryQuery {
    int service = -1;
    QString url;              // the whole address (SHOUTcast, Xiph); empty: nothing to ask
    QString radioBrowserPath; // JSON directory: path and query after a server's address
    QString userAgent;
};

// The tag the JSON directory files a genre of the genre box under (its own spelling, lower
// case); empty for a genre it has no tag for, which is then searched for by name.
QString RadioBrowserTag(const QString& genre);

// Builds the request for a service, the text of the genre box and a result count. hideBroken:
// the JSON directory leaves out the stations its last check found off the air.
DirectoryQuery BuildDirectoryQuery(int service, const QString& text, int count,
                                   const QStringList& genres, const DirectoryConfig& config,
                                   bool hideBroken = true);

// The addresses tried in turn for the JSON directory: one per server name, with the scheme of
// the configured address ("de1.example" -> "https://de1.example").
QStringList RadioBrowserServerAddresses(const QStringList& names, const DirectoryConfig& config);

// The JSON directory's click counter for a station, on the server that answered the search.
QString RadioBrowserClickUrl(const QString& server, const QString& stationUuid);

} // namespace tl
