#include "directory/directory_query.h"

#include <QHash>
#include <QUrl>

#include <algorithm>

namespace tl {

namespace {

constexpr QStringView kSection = u"Directory";

// An http or https address from config.ini, or the default.
QString addressOr(const IniFile& ini, QStringView key, const QString& def) {
    const QString value = ini.value(kSection, key).trimmed();
    const QUrl url(value, QUrl::StrictMode);
    if (value.isEmpty() || !url.isValid() || url.host().isEmpty() ||
        (url.scheme() != u"http" && url.scheme() != u"https")) {
        return def;
    }
    return value;
}

QString withoutTrailingSlash(QString s) {
    while (s.endsWith(u'/')) {
        s.chop(1);
    }
    return s;
}

QString schemeOf(const QString& address) {
    const QString scheme = QUrl(address).scheme();
    return scheme.isEmpty() ? QStringLiteral("https") : scheme;
}

} // namespace

const QStringList& DirectoryGenres() {
    static const QStringList genres = {
        "80s",          "Acid Jazz",     "African",    "Alternative", "Ambient",
        "Americana",    "Asian",         "Big Band",   "Bluegrass",   "Blues",
        "Breakbeat",    "Cajun",         "Classic",    "Classical",   "College",
        "Comedy",       "Contemporary",  "Country",    "Downtempo",   "Drum and Bass",
        "Eclectic",     "Electronic",    "European",   "Film",        "Folk",
        "Funk",         "Gospel",        "Hardcore",   "Hip Hop",     "Industrial",
        "Instrumental", "Jazz",          "Latin",      "Metal",       "Middle Eastern",
        "New Country",  "New School",    "Old School", "Oldies",      "Opera",
        "Other/Mixed",  "Pop",           "Pop/Rock",   "Punk",        "R&B/Soul",
        "Reggae",       "Rock",          "Ska",        "Smooth",      "Spiritual",
        "Spoken",       "Spoken Word",   "Swing",      "Symphonic",   "Talk",
        "TechnoHouse",  "Top 40",        "TopTen",     "Trance",      "Turntablism",
        "Urban",        "Western Swing", "World",
    };
    return genres;
}

QString RadioBrowserTag(const QString& genre) {
    // Genre -> the directory's most used tag for it. The genres are the box's spelling.
    static const QHash<QString, QString> tags = {
        {"80s", "80s"},
        {"Acid Jazz", "acid jazz"},
        {"African", "african"},
        {"Alternative", "alternative"},
        {"Ambient", "ambient"},
        {"Americana", "americana"},
        {"Asian", "asian"},
        {"Big Band", "big band"},
        {"Bluegrass", "bluegrass"},
        {"Blues", "blues"},
        {"Breakbeat", "breakbeat"},
        {"Cajun", "cajun"},
        {"Classic", "classic hits"},
        {"Classical", "classical"},
        {"College", "college radio"},
        {"Comedy", "comedy"},
        {"Contemporary", "contemporary"},
        {"Country", "country"},
        {"Downtempo", "downtempo"},
        {"Drum and Bass", "drum and bass"},
        {"Eclectic", "eclectic"},
        {"Electronic", "electronic"},
        {"European", "european"},
        {"Film", "soundtrack"},
        {"Folk", "folk"},
        {"Funk", "funk"},
        {"Gospel", "gospel"},
        {"Hardcore", "hardcore"},
        {"Hip Hop", "hip hop"},
        {"Industrial", "industrial"},
        {"Instrumental", "instrumental"},
        {"Jazz", "jazz"},
        {"Latin", "latin"},
        {"Metal", "metal"},
        {"Middle Eastern", "arabic"},
        {"New Country", ""},
        {"New School", ""},
        {"Old School", "old school"},
        {"Oldies", "oldies"},
        {"Opera", "opera"},
        {"Other/Mixed", "variety"},
        {"Pop", "pop"},
        {"Pop/Rock", "pop rock"},
        {"Punk", "punk"},
        {"R&B/Soul", "rnb"},
        {"Reggae", "reggae"},
        {"Rock", "rock"},
        {"Ska", "ska"},
        {"Smooth", "smooth jazz"},
        {"Spiritual", "spiritual"},
        {"Spoken", "spoken word"},
        {"Spoken Word", "spoken word"},
        {"Swing", "swing"},
        {"Symphonic", "symphonic"},
        {"Talk", "talk"},
        {"TechnoHouse", "techno"},
        {"Top 40", "top 40"},
        {"TopTen", "hits"},
        {"Trance", "trance"},
        {"Turntablism", ""},
        {"Urban", "urban"},
        {"Western Swing", ""},
        {"World", "world music"},
    };
    return tags.value(genre);
}

QStringList ResultCountCaptions() {
    QStringList captions;
    for (int n : kResultCounts) {
        captions << QStringLiteral("%1 results").arg(n);
    }
    return captions;
}

std::optional<int> ResultCountForIndex(int index) {
    if (index < 0 || index >= static_cast<int>(kResultCounts.size())) {
        return std::nullopt;
    }
    return kResultCounts[static_cast<std::size_t>(index)];
}

DirectoryConfig DirectoryConfig::fromIni(const IniFile& ini) {
    DirectoryConfig c;
    c.shoutcast = addressOr(ini, u"Shoutcast", c.shoutcast);
    if (!c.shoutcast.endsWith(u'/')) {
        c.shoutcast += u'/';
    }
    c.xiph = withoutTrailingSlash(addressOr(ini, u"Xiph", c.xiph));
    c.radioBrowser = withoutTrailingSlash(addressOr(ini, u"RadioBrowser", c.radioBrowser));
    // A mirror of one's own is not looked up under the public directory's name.
    const QString noDiscovery = QStringLiteral("\n-");
    const QString discovery = ini.value(kSection, u"RadioBrowserDiscovery", noDiscovery);
    if (discovery != noDiscovery) {
        c.discoveryHost = discovery.trimmed();
    } else if (!ini.value(kSection, u"RadioBrowser").trimmed().isEmpty()) {
        c.discoveryHost.clear();
    }
    const QString servers = ini.value(kSection, u"RadioBrowserServers");
    for (const QString& name : servers.split(u',', Qt::SkipEmptyParts)) {
        if (!name.trimmed().isEmpty()) {
            c.radioBrowserServers << name.trimmed();
        }
    }
    const int seconds = ini.intValue(kSection, u"Timeout", 15);
    c.timeout = std::chrono::seconds(std::clamp(seconds, 1, 300));
    c.connectTimeout =
        std::chrono::seconds(std::clamp(ini.intValue(kSection, u"ConnectTimeout", 4), 1, 60));
    c.searchDeadline =
        std::chrono::seconds(std::clamp(ini.intValue(kSection, u"SearchDeadline", 20), 2, 600));
    return c;
}

DirectoryRoots DirectoryConfig::roots() const {
    return {shoutcast, xiph};
}

QString DirectoryConfig::caption(int service) const {
    switch (service) {
    case kServiceShoutcast:
        return QUrl(shoutcast).host();
    case kServiceXiph:
        return QUrl(xiph).host();
    case kServiceRadioBrowser:
        return QUrl(radioBrowser).host();
    default:
        return {};
    }
}

QString EncodeQueryValue(const QString& text, bool plusForBlank) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    QString out;
    for (const char byte : text.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += QLatin1Char(static_cast<char>(c));
        } else if (c == ' ' && plusForBlank) {
            out += u'+';
        } else {
            out += u'%';
            out += QLatin1Char(kHex[c >> 4]);
            out += QLatin1Char(kHex[c & 15]);
        }
    }
    return out;
}

QString FindGenre(const QStringList& genres, const QString& text) {
    for (const QString& g : genres) {
        if (g.compare(text, Qt::CaseInsensitive) == 0) {
            return g;
        }
    }
    return {};
}

DirectoryQuery BuildDirectoryQuery(int service, const QString& text, int count,
                                   const QStringList& genres, const DirectoryConfig& config,
                                   bool hideBroken) {
    DirectoryQuery q;
    q.service = service;
    q.userAgent = QString::fromLatin1(kDirectoryUserAgent);
    const QString n = QString::number(count);
    const QString genre = FindGenre(genres, text);
    switch (service) {
    case kServiceShoutcast:
        if (!genre.isEmpty()) {
            q.url = config.shoutcast + QStringLiteral("directory/index.phtml?sgenre=") +
                    EncodeQueryValue(genre, false) + QStringLiteral("&numresult=") + n +
                    QStringLiteral("&maxbitrate=256");
        } else {
            q.url = config.shoutcast + QStringLiteral("directory/?s=") +
                    EncodeQueryValue(text, false) + QStringLiteral("&numresult=") + n +
                    QStringLiteral("&maxbitrate=256");
        }
        break;
    case kServiceXiph:
        q.url = config.xiph + QStringLiteral("/index.php?search=") + EncodeQueryValue(text, true) +
                QStringLiteral("&num=") + n;
        break;
    case kServiceRadioBrowser: {
        q.userAgent = QString::fromLatin1(kRadioBrowserUserAgent);
        const QString tag = genre.isEmpty() ? QString() : RadioBrowserTag(genre);
        q.radioBrowserPath =
            QStringLiteral("/json/stations/search?") +
            (tag.isEmpty() ? QStringLiteral("name=") + EncodeQueryValue(text, false)
                           : QStringLiteral("tag=") + EncodeQueryValue(tag, false)) +
            QStringLiteral("&limit=") + n + QStringLiteral("&hidebroken=") +
            (hideBroken ? QStringLiteral("true") : QStringLiteral("false")) +
            QStringLiteral("&order=votes&reverse=true");
        break;
    }
    default:
        break; // no service chosen: nothing to ask
    }
    return q;
}

QStringList RadioBrowserServerAddresses(const QStringList& names, const DirectoryConfig& config) {
    const QString scheme = schemeOf(config.radioBrowser);
    QStringList out;
    for (const QString& name : names) {
        out << scheme + QStringLiteral("://") + name;
    }
    return out;
}

QString RadioBrowserClickUrl(const QString& server, const QString& stationUuid) {
    return server + QStringLiteral("/json/url/") + EncodeQueryValue(stationUuid, false);
}

} // namespace tl
