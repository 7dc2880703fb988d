#include "directory/directory_page.h"

#include "common/text.h"
#include "common/wildcard.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <string_view>

namespace tl {

namespace {

// SHOUTcast markers.
constexpr QStringView S0 = u"<td colspan=\"12\" align=\"center\"";
constexpr QStringView SA = u"<td nowrap align=\"center\" bgcolor=\"#******\"><a href=\"";
constexpr QStringView SB = u"\"><img src=\"/images/tunein.gif\"";
constexpr QStringView SC =
    u"<td width=\"100%\" align=\"left\" bgcolor=\"#******\"><font face=\"Arial\" "
    u"size=\"2\" color=\"#FFFFFF\"><font size=\"1\"><b>";
constexpr QStringView SD = u"<font size=\"1\"><font color=\"#FF0000\">Now Playing:</font>";
constexpr QStringView SE = u"</font></font></td>";
constexpr QStringView SF =
    u"<td nowrap align=\"center\" bgcolor=\"#******\"><font face=\"Arial, Helvetica\" size=\"2\" "
    u"color=";
constexpr QStringView SG = u"</font></td>";
// Xiph markers.
constexpr QStringView X0 = u"<table class=\"servers-list\">";
constexpr QStringView XA = u"('/stream/website');\">";
constexpr QStringView XB = u"</a></span>";
constexpr QStringView XC = u"<p class=\"stream-description\">";
constexpr QStringView XD = u"<p class=\"stream-onair\"><strong>On Air:</strong>";
constexpr QStringView XE = u"</p>";
constexpr QStringView XF = u"<p>* <a href=\"";
constexpr QStringView XG = u"\" title=\"";
constexpr QStringView XH = u"<p class=\"format\" title=\"";
constexpr QStringView XI = u"\">";

int len(QStringView s) {
    return static_cast<int>(s.size());
}

// 1-based position of the first occurrence of t in line (exact, case-sensitive), 0 if absent.
int Pos(QStringView t, QStringView line) {
    return static_cast<int>(line.indexOf(t)) + 1;
}

// n characters from 1-based position p; p below 1 counts as 1; cut at the end.
QString Copy(QStringView line, int p, int n) {
    if (n <= 0) {
        return {};
    }
    p = std::max(p, 1);
    if (p > len(line)) {
        return {};
    }
    return line.mid(p - 1, n).toString();
}

// Leading and trailing blanks and control characters removed.
QString trimLine(QStringView s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && s[b].unicode() <= 0x20) {
        ++b;
    }
    while (e > b && s[e - 1].unicode() <= 0x20) {
        --e;
    }
    return s.mid(b, e - b).toString();
}

QString decodeAmp(QString s) {
    return s.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

bool containsMarker(QStringView line, QStringView marker) {
    // Every literal run of the marker must occur somewhere (a cheap necessary condition) before
    // the wildcard match is tried: a hostile page of long lines stays fast.
    for (QStringView part : marker.tokenize(u'*', Qt::SkipEmptyParts)) {
        if (!line.contains(part, Qt::CaseInsensitive)) {
            return false;
        }
    }
    return wildcardContains(line, marker).value_or(false);
}

// The first ">" from position len(SF) to L - 1 (L when there is none), then the text up to SG.
QString figureAfterSF(QStringView line) {
    const int L = len(line);
    int i = L;
    for (int p = len(SF); p <= L - 1; ++p) {
        if (line[p - 1] == u'>') {
            i = p;
            break;
        }
    }
    return Copy(line, i + 1, Pos(SG, line) - i - 1);
}

// The line cursor over the page: starts on line 0 and never moves past the last-but-one line.
// The page is the caller's lines from line `first` on, that line cut to start at `offset`: the
// lines are never copied as a whole.
class LineCursor {
public:
    LineCursor(const QStringList& lines, qsizetype first, qsizetype offset)
        : lines_(lines), first_(first), offset_(offset) {}

    // One step's line: advance, then search on for the marker. nullopt when the first advance
    // fails; when the lines run out during the search, the last line examined is kept.
    std::optional<QString> step(QStringView marker) {
        if (!advance()) {
            return std::nullopt;
        }
        QString line = trimLine(at(cur_));
        while (!containsMarker(line, marker)) {
            if (!advance()) {
                break;
            }
            line = trimLine(at(cur_));
        }
        return line;
    }

private:
    QStringView at(qsizetype i) const {
        const QString& line = lines_[first_ + i];
        return i == 0 ? QStringView(line).mid(offset_) : QStringView(line);
    }
    bool advance() {
        if (cur_ >= lines_.size() - first_ - 2) {
            return false;
        }
        ++cur_;
        return true;
    }

    const QStringList& lines_;
    qsizetype first_;
    qsizetype offset_;
    qsizetype cur_ = 0;
};

// A link cut out of a page, below its directory's address. The Xiph base has no "/" of its
// own: without one between them, a link such as "@other.example/x" or ":81/x" would name
// another server (or port), so the root always ends with "/" before the link goes on.
QString belowRoot(const QString& root, const QString& link) {
    if (root.endsWith(u'/') || link.startsWith(u'/')) {
        return root + link;
    }
    return root + u'/' + link;
}

std::optional<TStat> shoutcastRecord(LineCursor& c, const DirectoryRoots& roots) {
    TStat r;
    auto line = c.step(SA);
    if (!line) {
        return std::nullopt;
    }
    r.Url = belowRoot(roots.shoutcastRoot, Copy(*line, len(SA) + 1, Pos(SB, *line) - len(SA) - 1));

    if (!(line = c.step(SC))) {
        return std::nullopt;
    }
    const QString part = line->mid(len(SC) - 1); // keeps the last character of SC
    const int s = Pos(XI, part) + 2;
    r.Name = Copy(part, s, Pos(u"</a>", part) - s);

    if (!(line = c.step(SD))) {
        return std::nullopt;
    }
    r.OnAir = Copy(*line, len(SD) + 1, Pos(SE, *line) - len(SD) - 1);

    if (!(line = c.step(SF))) {
        return std::nullopt;
    }
    r.Detail = figureAfterSF(*line);

    if (!(line = c.step(SF))) {
        return std::nullopt;
    }
    r.Quality = figureAfterSF(*line);
    return r;
}

std::optional<TStat> xiphRecord(LineCursor& c, const DirectoryRoots& roots) {
    TStat r;
    auto line = c.step(XA);
    if (!line) {
        return std::nullopt;
    }
    const int a = Pos(XA, *line) + len(XA);
    r.Name = decodeAmp(Copy(*line, a, Pos(XB, *line) - a));

    if (!(line = c.step(XC))) {
        return std::nullopt;
    }
    r.Detail = decodeAmp(Copy(*line, len(XC) + 1, Pos(XE, *line) - len(XC) - 1));

    if (!(line = c.step(XD))) {
        return std::nullopt;
    }
    const int d = Pos(XD, *line) + len(XD);
    r.OnAir = Copy(*line, d, Pos(XE, *line) - d);

    if (!(line = c.step(XF))) {
        return std::nullopt;
    }
    // The marker's "*" stands for one character in the arithmetic.
    r.Url = belowRoot(roots.xiphBase, Copy(*line, len(XF) + 1, Pos(XG, *line) - len(XF) - 1));

    if (!(line = c.step(XH))) {
        return std::nullopt;
    }
    QString quality = Copy(*line, len(XH) + 1, Pos(XI, *line) - len(XH) - 1).toLower();
    quality.remove(QStringLiteral("kbps"));
    r.Quality = trimLine(quality);
    return r;
}

// Control characters (line breaks included) become blanks; the result is trimmed.
QString singleLine(QString s) {
    for (QChar& ch : s) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F) {
            ch = u' ';
        }
    }
    return s.trimmed();
}

bool isHostName(QStringView name) {
    if (name.isEmpty() || name.size() > 253) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](QChar ch) {
        return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') ||
               (ch >= u'0' && ch <= u'9') || ch == u'.' || ch == u'-' || ch == u':';
    });
}

} // namespace

QStringList ResultColumnCaptions(int service) {
    switch (service) {
    case kServiceShoutcast:
        return {QStringLiteral("Station"), QStringLiteral("Bitrate"), QStringLiteral("Listeners")};
    case kServiceRadioBrowser:
        return {QStringLiteral("Station"), QStringLiteral("Bitrate"), QStringLiteral("Country")};
    default:
        return {QStringLiteral("Station"), QStringLiteral("Quality"), QStringLiteral("Genre")};
    }
}

std::vector<TStat> ParseDirectoryPage(const QStringList& lines, int service, int count,
                                      const DirectoryRoots& roots) {
    std::vector<TStat> records;
    if (service != kServiceShoutcast && service != kServiceXiph) {
        return records;
    }
    const int wanted = std::min(count, kMaxSearchResults);

    // From the start marker on, or the whole page. The marker holds no line break, so it lies
    // within one line; lines that hold breaks themselves are split as the page would be.
    const bool hasBreaks = std::any_of(lines.begin(), lines.end(), [](const QString& l) {
        return l.contains(u'\r') || l.contains(u'\n');
    });
    const QStringList resplit =
        hasBreaks ? splitLines(lines.join(QStringLiteral("\r\n"))) : QStringList();
    const QStringList& page = hasBreaks ? resplit : lines;
    const QStringView start = service == kServiceShoutcast ? S0 : X0;
    qsizetype first = 0;
    qsizetype offset = 0;
    for (qsizetype i = 0; i < page.size(); ++i) {
        const qsizetype at = page[i].indexOf(start);
        if (at >= 0) {
            first = i;
            offset = at;
            break;
        }
    }

    LineCursor cursor(page, first, offset);
    while (static_cast<int>(records.size()) < wanted) {
        std::optional<TStat> r = service == kServiceShoutcast ? shoutcastRecord(cursor, roots)
                                                              : xiphRecord(cursor, roots);
        if (!r) {
            break;
        }
        records.push_back(std::move(*r));
    }
    return records;
}

QStringList PageLines(const QByteArray& body) {
    const qsizetype nul = body.indexOf('\0');
    const QByteArray text = nul >= 0 ? body.left(nul) : body;
    return splitLines(
        decodeNetworkText(std::string_view(text.constData(), static_cast<size_t>(text.size()))));
}

bool IsJsonArray(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    return error.error == QJsonParseError::NoError && doc.isArray();
}

bool IsPlayableScheme(const QString& url) {
    const qsizetype colon = url.indexOf(u':');
    if (colon <= 0) {
        return false;
    }
    const QString scheme = url.left(colon).toLower();
    return scheme == u"http" || scheme == u"https" || scheme == u"mms" || scheme == u"mmsh" ||
           scheme == u"mmst";
}

std::optional<StationPage> ReadRadioBrowserStations(const QByteArray& json, int count,
                                                    bool showBroken) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) {
        return std::nullopt;
    }
    const int wanted = std::min(count, kMaxSearchResults);
    StationPage page;
    std::vector<TStat>& records = page.records;
    for (const QJsonValue& value : doc.array()) {
        if (static_cast<int>(records.size()) >= wanted) {
            break;
        }
        if (!value.isObject()) {
            continue;
        }
        const QJsonObject o = value.toObject();
        TStat r;
        r.Url = singleLine(o.value(u"url_resolved").toString());
        if (r.Url.isEmpty()) {
            r.Url = singleLine(o.value(u"url").toString());
        }
        if (r.Url.isEmpty()) {
            continue;
        }
        if (!IsPlayableScheme(r.Url)) {
            ++page.unplayable;
            continue;
        }
        const QJsonValue check = o.value(u"lastcheckok");
        if (!showBroken && !check.isUndefined() && check.toInt(1) == 0) {
            ++page.broken;
            continue;
        }
        r.Name = singleLine(o.value(u"name").toString());
        QStringList tags;
        for (const QString& tag : o.value(u"tags").toString().split(u',', Qt::SkipEmptyParts)) {
            const QString t = singleLine(tag);
            if (!t.isEmpty()) {
                tags << t;
            }
        }
        r.OnAir = tags.join(QStringLiteral(", "));
        const int bitrate = o.value(u"bitrate").toInt();
        if (bitrate > 0) {
            r.Quality = QString::number(bitrate);
        }
        QString country = singleLine(o.value(u"country").toString());
        if (country.isEmpty()) {
            country = singleLine(o.value(u"countrycode").toString());
        }
        const QString codec = singleLine(o.value(u"codec").toString());
        r.Detail = country.isEmpty() || codec.isEmpty() ? country + codec
                                                        : country + QStringLiteral(" / ") + codec;
        r.StationUuid = singleLine(o.value(u"stationuuid").toString());
        const QString favicon = singleLine(o.value(u"favicon").toString());
        if (favicon.startsWith(u"http://", Qt::CaseInsensitive) ||
            favicon.startsWith(u"https://", Qt::CaseInsensitive)) {
            r.Favicon = favicon;
        }
        records.push_back(std::move(r));
    }
    return page;
}

std::optional<std::vector<TStat>> ParseRadioBrowserStations(const QByteArray& json, int count) {
    std::optional<StationPage> page = ReadRadioBrowserStations(json, count, true);
    if (!page) {
        return std::nullopt;
    }
    return std::move(page->records);
}

QStringList ParseRadioBrowserServers(const QByteArray& json) {
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    QStringList names;
    QSet<QString> seen;
    for (const QJsonValue& value : doc.array()) {
        const QString name = value.toObject().value(u"name").toString().trimmed();
        if (isHostName(name) && !seen.contains(name.toLower())) {
            seen.insert(name.toLower());
            names << name;
        }
    }
    return names;
}

} // namespace tl
