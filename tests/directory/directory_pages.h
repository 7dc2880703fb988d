#pragma once
// Result pages as the two HTML directories laid them out, and the JSON directory's replies,
// built from parts so that tests can vary one line at a time.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

namespace tl::test {

struct PageStation {
    QString link = QStringLiteral("sbin/shoutcast-playlist.pls?rn=1&file=filename.pls");
    QString name = QStringLiteral("Station");
    QString genre = QStringLiteral("Rock");
    QString onAir = QStringLiteral("Artist - Song");
    QString listeners = QStringLiteral("12/500");
    QString bitrate = QStringLiteral("128");
    QString colour = QStringLiteral("001E5A");
};

// The six lines of one SHOUTcast station row.
inline QStringList shoutcastStation(const PageStation& s) {
    const QString td = QStringLiteral("<td nowrap align=\"center\" bgcolor=\"#%1\">").arg(s.colour);
    return {
        QStringLiteral("<tr>"),
        QStringLiteral("  ") + td + QStringLiteral("<a href=\"") + s.link +
            QStringLiteral(
                "\"><img src=\"/images/tunein.gif\" border=\"0\" alt=\"Tune in\"></a></td>"),
        QStringLiteral("\t<td width=\"100%\" align=\"left\" bgcolor=\"#%1\"><font face=\"Arial\" "
                       "size=\"2\" color=\"#FFFFFF\"><font size=\"1\"><b>[%2]</b></font> <a "
                       "id=\"listlinks\" target=\"_scurl\" href=\"http://www.example.com/\">%3</a>")
            .arg(s.colour, s.genre, s.name),
        QStringLiteral(
            "<font size=\"1\"><font color=\"#FF0000\">Now Playing:</font> %1</font></font></td>")
            .arg(s.onAir),
        td + QStringLiteral("<font face=\"Arial, Helvetica\" size=\"2\" color=\"#FFFFFF\">") +
            s.listeners + QStringLiteral("</font></td>"),
        td + QStringLiteral("<font face=\"Arial, Helvetica\" size=\"2\" color=\"#FFFFFF\">") +
            s.bitrate + QStringLiteral("</font></td>"),
    };
}

inline QStringList shoutcastPage(const QList<PageStation>& stations) {
    QStringList lines{QStringLiteral("<html><body><table>"),
                      QStringLiteral("<tr><td colspan=\"12\" align=\"center\">Results</td></tr>")};
    for (const PageStation& s : stations) {
        lines << shoutcastStation(s);
    }
    lines << QStringLiteral("</table>") << QStringLiteral("</body></html>");
    return lines;
}

struct XiphStation {
    QString name = QStringLiteral("Xiph Station");
    QString description = QStringLiteral("All day long");
    QString onAir = QStringLiteral("Band - Tune");
    QString link = QStringLiteral("/listen/1234/listen.m3u");
    QString format = QStringLiteral("MP3 128 kbps");
};

inline QStringList xiphStation(const XiphStation& s) {
    return {
        QStringLiteral("<tr class=\"row0\">"),
        QStringLiteral("<td class=\"description\">"),
        QStringLiteral(
            "<p class=\"stream-name\"><span class=\"name\"><a href=\"http://radio.example/\" "
            "onclick=\"javascript:pageTracker._trackPageview('/stream/website');\">%1</a></span>")
            .arg(s.name),
        QStringLiteral("<p class=\"stream-description\">%1</p>").arg(s.description),
        QStringLiteral("<p class=\"stream-onair\"><strong>On Air:</strong> %1</p>").arg(s.onAir),
        QStringLiteral("</td><td class=\"tune-in\">"),
        QStringLiteral("<p>[ <a href=\"%1\" title=\"Listen to 'x'\">M3U</a> ]</p>").arg(s.link),
        QStringLiteral("<p class=\"format\" title=\"%1\">MP3</p>").arg(s.format),
        QStringLiteral("</td></tr>"),
    };
}

inline QStringList xiphPage(const QList<XiphStation>& stations) {
    QStringList lines{QStringLiteral("<html><body>"),
                      QStringLiteral("<table class=\"servers-list\">")};
    for (const XiphStation& s : stations) {
        lines << xiphStation(s);
    }
    lines << QStringLiteral("</table>") << QStringLiteral("</body></html>");
    return lines;
}

// One station of the JSON directory, with every field its search returns.
inline QByteArray radioBrowserStation(const QString& name, const QString& url, int bitrate,
                                      const QString& tags = QStringLiteral("rock,classic rock"),
                                      const QString& country = QStringLiteral("Germany")) {
    return QStringLiteral(
               "{\"changeuuid\":\"6a1d5f0c-0601-11e8-ae97-52543be04c81\","
               "\"stationuuid\":\"96062a7b-0601-11e8-ae97-52543be04c81\",\"serveruuid\":null,"
               "\"name\":\"%1\",\"url\":\"%2.pls\",\"url_resolved\":\"%2\","
               "\"homepage\":\"http://radio.example/\",\"favicon\":\"http://radio.example/i.png\","
               "\"tags\":\"%3\",\"country\":\"%4\",\"countrycode\":\"DE\",\"iso_3166_2\":null,"
               "\"state\":\"\",\"language\":\"german\",\"languagecodes\":\"de\",\"votes\":1234,"
               "\"lastchangetime\":\"2023-01-01 10:00:00\",\"codec\":\"MP3\",\"bitrate\":%5,"
               "\"hls\":0,\"lastcheckok\":1,\"clickcount\":56,\"clicktrend\":2,"
               "\"ssl_error\":0,\"geo_lat\":null,\"geo_long\":null,\"has_extended_info\":false}")
        .arg(name, url, tags, country)
        .arg(bitrate)
        .toUtf8();
}

// The process's peak resident size so far (VmHWM), in KiB; 0 when unknown.
inline long peakResidentKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return 0;
}

// Runs the event loop until `done` or `ms` have passed; whether `done` holds.
template <typename F> bool waitUntil(F done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace tl::test
