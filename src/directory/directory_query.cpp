#include "directory/directory_query.h"

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
    const QString servers = ini.value(kSection, u"RadioBrowserServers");
    for (const QString& name : servers.split(u',', Qt::SkipEmptyParts)) {
        if (!name.trimmed().isEmpty()) {
            c.radioBrowserServers << name.trimmed();
        }
    }
    const int seconds = ini.intValue(kSection, u"Timeout", 15);
    c.timeout = std::chrono::seconds(std::clamp(seconds, 1, 300));
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
                                   const QStringList& genres, const DirectoryConfig& config) {
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
    case kServiceRadioBrowser:
        q.userAgent = QString::fromLatin1(kRadioBrowserUserAgent);
        q.radioBrowserPath =
            QStringLiteral("/json/stations/search?") +
            (genre.isEmpty() ? QStringLiteral("name=") + EncodeQueryValue(text, false)
                             : QStringLiteral("tag=") + EncodeQueryValue(genre.toLower(), false)) +
            QStringLiteral("&limit=") + n +
            QStringLiteral("&hidebroken=true&order=votes&reverse=true");
        break;
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
