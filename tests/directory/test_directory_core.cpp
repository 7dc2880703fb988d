// Result page scanners, the JSON mapping, query addresses and the sort comparisons.

#include "directory/directory_page.h"
#include "directory/directory_query.h"
#include "directory/server_discovery.h"
#include "directory/sort_state.h"
#include "directory_pages.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>

namespace tl {
namespace {

using test::peakResidentKb;

using test::PageStation;
using test::XiphStation;

const DirectoryRoots kRoots{QStringLiteral("http://sc.example/"),
                            QStringLiteral("http://xiph.example")};

QList<PageStation> numbered(int n) {
    QList<PageStation> out;
    for (int i = 1; i <= n; ++i) {
        PageStation s;
        s.name = QStringLiteral("Station %1").arg(i);
        s.link = QStringLiteral("sbin/pls?rn=%1").arg(i);
        out << s;
    }
    return out;
}

std::string names(const std::vector<TStat>& records) {
    std::string out;
    for (const TStat& r : records) {
        out += (out.empty() ? "" : ",") + r.Name.toStdString();
    }
    return out;
}

TEST(DirectoryPage, ShoutcastFieldsCountsAndBoundaries) {
    PageStation amp;
    amp.name = QStringLiteral("Rock &amp; Roll FM");
    PageStation shortColour; // five characters after "#": the cut moves by one
    shortColour.colour = QStringLiteral("00AAB");
    PageStation noSlash;
    noSlash.listeners = QStringLiteral("77");

    QStringList onStartLine = test::shoutcastPage({});
    // A station whose first marker stands on the start marker's own line is skipped.
    onStartLine[1] += test::shoutcastStation(PageStation{})[1];
    const QStringList rest = test::shoutcastStation(PageStation{}).mid(2);
    for (qsizetype i = 0; i < rest.size(); ++i) {
        onStartLine.insert(2 + i, rest[i]);
    }

    QStringList lastLine = test::shoutcastPage(numbered(1));
    lastLine.removeLast(); // the bitrate line becomes the page's last line: never read
    lastLine.removeLast();

    QStringList cutShort = test::shoutcastPage(numbered(1));
    // The bitrate line missing: the record is completed from the last line examined.
    cutShort.removeAt(cutShort.size() - 3);

    struct Row {
        const char* what;
        QStringList page;
        int count;
        std::string names;
    } rows[] = {
        {"5 of 20, page order", test::shoutcastPage(numbered(20)), 5,
         "Station 1,Station 2,Station 3,Station 4,Station 5"},
        {"more wanted than listed", test::shoutcastPage(numbered(2)), 100, "Station 1,Station 2"},
        {"entity kept", test::shoutcastPage({amp}), 5, "Rock &amp; Roll FM"},
        {"start marker line skipped", onStartLine, 5, ""},
        {"last line never read", lastLine, 5, ""},
        {"cut short at the end", cutShort, 5, "Station 1"},
        {"Xiph page, SHOUTcast scanner", test::xiphPage({XiphStation{}}), 5, ""},
        {"no lines", {}, 5, ""},
        {"count zero", test::shoutcastPage(numbered(3)), 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(names(ParseDirectoryPage(row.page, kServiceShoutcast, row.count, kRoots)),
                  row.names);
    }

    const auto one = ParseDirectoryPage(test::shoutcastPage({PageStation{}, shortColour, noSlash}),
                                        kServiceShoutcast, 5, kRoots);
    ASSERT_EQ(one.size(), 3u);
    EXPECT_EQ(one[0].Url, "http://sc.example/sbin/shoutcast-playlist.pls?rn=1&file=filename.pls");
    EXPECT_EQ(one[0].Name, "Station");
    EXPECT_EQ(one[0].OnAir, " Artist - Song"); // the blank after "Now Playing:" stays
    EXPECT_EQ(one[0].Detail, "12/500");
    EXPECT_EQ(one[0].Quality, "128");
    EXPECT_FALSE(one[0].Video);
    // One character short: the link loses its first character, the figures their last one.
    EXPECT_EQ(one[1].Url, "http://sc.example/bin/shoutcast-playlist.pls?rn=1&file=filename.pls");
    EXPECT_EQ(one[1].Name, "Station");
    EXPECT_EQ(one[2].Detail, "77");

    const auto cut = ParseDirectoryPage(cutShort, kServiceShoutcast, 5, kRoots);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].Detail, "12/500");
    EXPECT_EQ(cut[0].Quality, "");
}

TEST(DirectoryPage, XiphFieldsAndEntities) {
    XiphStation a;
    a.name = QStringLiteral("Tom &amp; Jerry &amp;amp; Co &lt;3");
    a.description = QStringLiteral("News &amp; Talk");
    a.onAir = QStringLiteral("Simon &amp; Garfunkel");
    a.format = QStringLiteral("MP3 128 kbps");
    XiphStation b;
    b.format = QStringLiteral("  Ogg Vorbis Q6 ");
    XiphStation twoChars; // two characters between "<p>" and the blank shift the cut
    const auto records = ParseDirectoryPage(test::xiphPage({a, b}), kServiceXiph, 5, kRoots);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Name, "Tom & Jerry &amp; Co &lt;3");
    EXPECT_EQ(records[0].Detail, "News & Talk");
    EXPECT_EQ(records[0].OnAir, " Simon &amp; Garfunkel"); // not decoded here
    EXPECT_EQ(records[0].Url, "http://xiph.example/listen/1234/listen.m3u");
    EXPECT_EQ(records[0].Quality, "mp3 128");
    EXPECT_EQ(records[1].Quality, "ogg vorbis q6");

    QStringList shifted = test::xiphPage({twoChars});
    shifted[8].replace(QStringLiteral("<p>[ "), QStringLiteral("<p>[[ "));
    const auto s = ParseDirectoryPage(shifted, kServiceXiph, 5, kRoots);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].Url, "http://xiph.example/\"/listen/1234/listen.m3u");

    // The base has no trailing "/": a link that does not start with one still goes below it,
    // never to another host (as "@evil.example" would make it) or port.
    const std::pair<const char*, const char*> links[] = {
        {"/listen/1.m3u", "http://xiph.example/listen/1.m3u"},
        {"@evil.example/x.m3u", "http://xiph.example/@evil.example/x.m3u"},
        {":8000@evil.example/x", "http://xiph.example/:8000@evil.example/x"},
        {".evil.example/x", "http://xiph.example/.evil.example/x"},
        {"//evil.example/x", "http://xiph.example//evil.example/x"},
        {"?x=1", "http://xiph.example/?x=1"},
        {"", "http://xiph.example/"},
    };
    for (const auto& [link, want] : links) {
        XiphStation x;
        x.link = QString::fromLatin1(link);
        const auto r = ParseDirectoryPage(test::xiphPage({x}), kServiceXiph, 5, kRoots);
        ASSERT_EQ(r.size(), 1u) << link;
        EXPECT_EQ(r[0].Url, want);
        EXPECT_EQ(QUrl(r[0].Url).host(), "xiph.example") << link;
    }

    EXPECT_TRUE(
        ParseDirectoryPage(test::shoutcastPage(numbered(3)), kServiceXiph, 5, kRoots).empty());
    EXPECT_TRUE(ParseDirectoryPage(test::xiphPage({a}), kServiceWebTv, 5, kRoots).empty());
}

TEST(DirectoryPage, BodyToLines) {
    EXPECT_EQ(PageLines(QByteArray("a\r\nb\rc\nd", 8)), QStringList({"a", "b", "c", "d"}));
    EXPECT_EQ(PageLines(QByteArray("a\nb\0c\nd", 7)), QStringList({"a", "b"}));
    EXPECT_EQ(PageLines(QByteArray("caf\xe9\n")), QStringList({QStringLiteral("caf\u00e9")}));

    // A 4 MiB page of bare line ends: the scanner walks the lines it is given and keeps no
    // second copy of them (that copy alone took over 100 MB).
    const QStringList lines = PageLines(QByteArray(4 << 20, '\n'));
    EXPECT_EQ(lines.size(), 4 << 20);
    const long before = peakResidentKb();
    for (int service : {kServiceShoutcast, kServiceXiph})
        EXPECT_TRUE(ParseDirectoryPage(lines, service, 100, {}).empty());
    EXPECT_LT(peakResidentKb() - before, 32 * 1024);
}

TEST(DirectoryPage, RadioBrowserMapping) {
    const QByteArray good =
        "[" + test::radioBrowserStation("Rock Antenne", "http://s.example/rock.mp3", 128) + "," +
        test::radioBrowserStation("No Rate", "http://s.example/x", 0, "", "") +
        ",{\"name\":\"no address\",\"url\":\"\",\"url_resolved\":\"\"},"
        "7,{\"name\":\"Line\\nbreak\",\"url\":\"http://a\\r\\n/b\"}]";
    const auto records = ParseRadioBrowserStations(good, 100);
    ASSERT_TRUE(records.has_value());
    ASSERT_EQ(records->size(), 3u);
    const TStat& r = (*records)[0];
    EXPECT_EQ(r.Name, "Rock Antenne");
    EXPECT_EQ(r.Url, "http://s.example/rock.mp3"); // url_resolved, not the playlist
    EXPECT_EQ(r.OnAir, "rock, classic rock");
    EXPECT_EQ(r.Quality, "128");
    EXPECT_EQ(r.Detail, "Germany / MP3");
    EXPECT_EQ(r.StationUuid, "96062a7b-0601-11e8-ae97-52543be04c81");
    EXPECT_EQ((*records)[1].Quality, "");
    EXPECT_EQ((*records)[1].Detail, "DE / MP3"); // the country code when the name is missing
    EXPECT_EQ((*records)[2].Name, "Line break");
    EXPECT_EQ((*records)[2].Url, "http://a  /b"); // never a line break in an address
    EXPECT_EQ(ParseRadioBrowserStations(good, 1)->size(), 1u);

    for (const char* bad : {"", "{}", "[", "<html>503</html>", "null", "[1,2"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseRadioBrowserStations(bad, 5).has_value());
    }
    EXPECT_TRUE(ParseRadioBrowserStations("[]", 5)->empty());
    for (const char* bad : {"<html>portal</html>", "[{\"name\":\"cut", "{}", "", "[] x"})
        EXPECT_FALSE(IsJsonArray(bad)) << bad;
    EXPECT_TRUE(IsJsonArray(" [ ] "));

    // Left out and counted: addresses the player cannot open, and (unless asked for) the
    // stations the directory's last check found off the air.
    struct Skip {
        const char* url;
        int lastCheckOk; // -1: the field is missing
        bool listed, listedWithBroken;
    } skips[] = {
        {"http://ok.example/a", 1, true, true},
        {"HTTPS://ok.example/b", 1, true, true},
        {"mms://ok.example/c", 1, true, true},
        {"http://off.example/d", 0, false, true},
        {"http://unknown.example/e", -1, true, true},
        {"javascript:alert(1)", 1, false, false},
        {"file:///etc/passwd", 1, false, false},
        {"data:audio/mp3;base64,AAAA", 1, false, false},
        {"ftp://ok.example/f", 1, false, false},
        {"relative/path.pls", 1, false, false},
        {"javascript:broken()", 0, false, false}, // counted once, as unplayable
    };
    QByteArray mixed = "[";
    int listed = 0, listedWithBroken = 0;
    for (const Skip& k : skips) {
        QJsonObject o{{"name", QString::fromLatin1(k.url)}, {"url", QString::fromLatin1(k.url)}};
        if (k.lastCheckOk >= 0)
            o.insert("lastcheckok", k.lastCheckOk);
        mixed += QJsonDocument(o).toJson(QJsonDocument::Compact) + ",";
        listed += k.listed;
        listedWithBroken += k.listedWithBroken;
    }
    mixed.back() = ']';
    for (bool showBroken : {false, true}) {
        SCOPED_TRACE(showBroken);
        const auto page = ReadRadioBrowserStations(mixed, 100, showBroken);
        ASSERT_TRUE(page.has_value());
        EXPECT_EQ(static_cast<int>(page->records.size()), showBroken ? listedWithBroken : listed);
        EXPECT_EQ(page->unplayable, 6);
        EXPECT_EQ(page->broken, showBroken ? 0 : 1);
        for (const TStat& listedOne : page->records)
            EXPECT_TRUE(IsPlayableScheme(listedOne.Url)) << listedOne.Url.toStdString();
    }

    EXPECT_EQ(ParseRadioBrowserServers(R"([{"ip":"1.2.3.4","name":"de1.api.example"},)"
                                       R"({"ip":"::1","name":"DE1.api.example"},)"
                                       R"({"name":"evil/../path"},{"name":"localhost:8080"},7])"),
              QStringList({"de1.api.example", "localhost:8080"}));
    EXPECT_TRUE(ParseRadioBrowserServers("not json").isEmpty());
}

TEST(DirectoryQuery, AddressesPerService) {
    DirectoryConfig config;
    config.shoutcast = QStringLiteral("http://sc.example/");
    config.xiph = QStringLiteral("http://xiph.example");
    const QStringList& g = DirectoryGenres();
    struct Row {
        int service;
        const char* text;
        int count;
        const char* url; // SHOUTcast/Xiph: whole address; JSON directory: path and query
    } rows[] = {
        // The common genres and texts are checked as the server sees them (HTTP test); here
        // the remaining cases.
        {kServiceShoutcast, "rock music", 5,
         "http://sc.example/directory/?s=rock%20music&numresult=5&maxbitrate=256"},
        {kServiceShoutcast, "50% #1", 5,
         "http://sc.example/directory/?s=50%25%20%231&numresult=5&maxbitrate=256"},
        {kServiceXiph, "a+b", 5, "http://xiph.example/index.php?search=a%2Bb&num=5"},
        {kServiceRadioBrowser, "ROCK", 5,
         "/json/stations/search?tag=rock&limit=5&hidebroken=true&order=votes&reverse=true"},
        {kServiceRadioBrowser, "Caf\xc3\xa9", 5,
         "/json/stations/search?name=Caf%C3%A9&limit=5&hidebroken=true&order=votes&reverse=true"},
        {kServiceRadioBrowser, "r&b/soul", 10,
         "/json/stations/search?tag=rnb&limit=10&hidebroken=true&order=votes&reverse=true"},
        {kServiceRadioBrowser, "New Country", 5,
         "/json/stations/search?name=New%20Country&limit=5&hidebroken=true&order=votes&"
         "reverse=true"},
        {kServiceWebTv, "Rock", 5, ""},
        {-1, "Rock", 5, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const DirectoryQuery q =
            BuildDirectoryQuery(row.service, QString::fromUtf8(row.text), row.count, g, config);
        EXPECT_EQ(row.service == kServiceRadioBrowser ? q.radioBrowserPath : q.url,
                  QString::fromUtf8(row.url));
        EXPECT_EQ(q.userAgent.startsWith(QStringLiteral("Tunelark/")),
                  row.service == kServiceRadioBrowser);
    }
    EXPECT_EQ(
        BuildDirectoryQuery(kServiceRadioBrowser, "Jazz", 5, g, config, false).radioBrowserPath,
        "/json/stations/search?tag=jazz&limit=5&hidebroken=false&order=votes&reverse=true");
    EXPECT_EQ(g.size(), 63);
    EXPECT_EQ(g.front(), "80s");
    EXPECT_EQ(g.back(), "World");
    EXPECT_EQ(ResultCountForIndex(5), 100);
    EXPECT_EQ(ResultCountForIndex(6), std::nullopt);
    EXPECT_EQ(ResultCountForIndex(-1), std::nullopt);
}

// Every genre of the box is sent as a tag the directory files stations under, proven against
// its /json/tags reply (name and station count per tag); a genre it has no tag for is
// searched for by name.
TEST(DirectoryQuery, GenresAreTheDirectorysTags) {
    QFile f(QStringLiteral(TL_SOURCE_DIR "/tests/directory/fixtures/radio_browser_tags.json"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QSet<QString> known;
    for (const QJsonValue& v : QJsonDocument::fromJson(f.readAll()).array())
        if (v.toObject().value("stationcount").toInt() > 0)
            known.insert(v.toObject().value("name").toString());
    ASSERT_GT(known.size(), 50);
    const DirectoryConfig config;
    int byName = 0;
    for (const QString& genre : DirectoryGenres()) {
        SCOPED_TRACE(genre.toStdString());
        const QString tag = RadioBrowserTag(genre);
        const QString path =
            BuildDirectoryQuery(kServiceRadioBrowser, genre, 5, DirectoryGenres(), config)
                .radioBrowserPath;
        if (tag.isEmpty()) {
            ++byName;
            EXPECT_TRUE(path.startsWith(
                "/json/stations/search?name=" + EncodeQueryValue(genre, false) + "&"));
            continue;
        }
        EXPECT_TRUE(known.contains(tag)) << tag.toStdString();
        EXPECT_EQ(tag, tag.toLower());
        EXPECT_TRUE(
            path.startsWith("/json/stations/search?tag=" + EncodeQueryValue(tag, false) + "&"));
    }
    EXPECT_LE(byName, 5); // only the genres the directory really lacks
    EXPECT_EQ(RadioBrowserTag("no such genre"), "");
}

// Where the servers come from: each source is asked only when those before it found none.
TEST(ServerDiscovery, SourcesInOrderShuffledWithFallbacks) {
    DirectoryConfig config;
    config.radioBrowser = QStringLiteral("https://list.example");
    config.discoveryHost = QStringLiteral("all.example");
    const QHash<QString, QString> reverse{{"10.0.0.1", "de1.example."}, {"10.0.0.2", "nl1.example"},
                                          {"10.0.0.3", "DE1.example"},  {"10.0.0.4", "10.0.0.4"},
                                          {"10.0.0.5", "evil/../x"},    {"::1", "at1.example"}};
    struct Row {
        const char* what;
        QStringList addresses;  // what the round-robin name resolves to
        const char* serverList; // /json/servers; nullptr: cannot be had
        QStringList configured; // RadioBrowserServers
        bool noDiscoveryHost;
        QStringList expected; // before the (reversing) shuffle
        bool listAsked;
    } rows[] = {
        {"every address, its own name once",
         {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5", "::1"},
         R"([{"name":"x.example"}])",
         {"c.example"},
         false,
         {"https://de1.example", "https://nl1.example", "https://at1.example"},
         false},
        {"no names: the server list",
         {"10.0.0.4"},
         R"([{"name":"x.example"}])",
         {},
         false,
         {"https://x.example"},
         true},
        {"no discovery name configured",
         {"10.0.0.1"},
         R"([{"name":"x.example"}])",
         {},
         true,
         {"https://x.example"},
         true},
        {"no list: the configured names",
         {},
         nullptr,
         {"c.example", "d.example:8080"},
         false,
         {"https://c.example", "https://d.example:8080"},
         true},
        {"a list that is a portal page",
         {},
         "<html>",
         {"c.example"},
         false,
         {"https://c.example"},
         true},
        {"nothing at all: the list host", {}, nullptr, {}, false, {"https://list.example"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DirectoryConfig c = config;
        c.radioBrowserServers = row.configured;
        if (row.noDiscoveryHost)
            c.discoveryHost.clear();
        bool listAsked = false;
        QString lookedUp;
        DiscoverySources sources;
        sources.resolver.addresses = [&](const QString& host) {
            lookedUp = host;
            return row.addresses;
        };
        sources.resolver.reverseName = [&](const QString& a) {
            return reverse.value(a);
        };
        sources.serverList = [&]() -> std::optional<QByteArray> {
            listAsked = true;
            return row.serverList ? std::optional<QByteArray>(row.serverList) : std::nullopt;
        };
        sources.shuffle = [](QStringList& l) {
            std::reverse(l.begin(), l.end());
        };
        QStringList expected = row.expected;
        if (expected != QStringList{"https://list.example"})
            std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(DiscoverServers(c, sources), expected);
        EXPECT_EQ(listAsked, row.listAsked);
        EXPECT_EQ(lookedUp, row.noDiscoveryHost ? "" : "all.example");
    }
    // The default shuffle keeps every server once.
    QStringList many;
    for (int i = 0; i < 50; ++i)
        many << QString::number(i);
    QStringList shuffled = many;
    ShuffleServers(shuffled);
    EXPECT_NE(shuffled, many);
    std::sort(shuffled.begin(), shuffled.end());
    std::sort(many.begin(), many.end());
    EXPECT_EQ(shuffled, many);

    // config.ini: an own mirror is not looked up under the public name, unless asked to.
    EXPECT_EQ(DirectoryConfig::fromIni(IniFile::fromText({})).discoveryHost,
              "all.api.radio-browser.info");
    EXPECT_EQ(DirectoryConfig::fromIni(
                  IniFile::fromText("[Directory]\nRadioBrowser=http://mirror.example\n"))
                  .discoveryHost,
              "");
    EXPECT_EQ(DirectoryConfig::fromIni(
                  IniFile::fromText("[Directory]\nRadioBrowser=http://mirror.example\n"
                                    "RadioBrowserDiscovery=all.mirror.example\nSearchDeadline=1\n"))
                  .discoveryHost,
              "all.mirror.example");
}

TEST(DirectoryQuery, ConfigOverridesAndServerAddresses) {
    const DirectoryConfig d = DirectoryConfig::fromIni(IniFile::fromText({}));
    EXPECT_EQ(d.caption(kServiceShoutcast), "www.shoutcast.com");
    EXPECT_EQ(d.caption(kServiceXiph), "dir.xiph.org");
    EXPECT_EQ(d.caption(kServiceRadioBrowser), "all.api.radio-browser.info");
    EXPECT_EQ(kDefaultServiceIndex, kServiceRadioBrowser);

    const DirectoryConfig c = DirectoryConfig::fromIni(IniFile::fromText(
        "[Directory]\nShoutcast=http://localhost:81\nXiph=http://localhost:82/dir/\n"
        "RadioBrowser=ftp://evil.example\nRadioBrowserServers= a.example , b.example:8080,\n"
        "Timeout=0\n"));
    EXPECT_EQ(c.shoutcast, "http://localhost:81/");
    EXPECT_EQ(c.xiph, "http://localhost:82/dir");
    EXPECT_EQ(c.radioBrowser, d.radioBrowser); // not http(s): the default stays
    EXPECT_EQ(c.timeout, std::chrono::seconds(1));
    EXPECT_EQ(RadioBrowserServerAddresses(c.radioBrowserServers, c),
              QStringList({"https://a.example", "https://b.example:8080"}));
    EXPECT_EQ(RadioBrowserClickUrl("http://s", "a/b"), "http://s/json/url/a%2Fb");
}

TEST(SortState, Comparisons) {
    auto row = [](const char* caption, const char* q, const char* detail) {
        return SortRow{QString::fromUtf8(caption),
                       {QString::fromUtf8(q), QString::fromUtf8(detail)}};
    };
    struct Row {
        const char* what;
        SortRow a, b;
        int captions, subItem1, bitrates, listeners; // each for d = +1
    } rows[] = {
        {"case ignored", row("abc", "128", "5/10"), row("ABC", "128", "5/20"), 0, -1, 0, 0},
        {"numbers not text", row("b", "64", "9/10"), row("a", "128", "10/10"), 1, 1, -1, -1},
        {"umlauts upper-cased", row("\xc3\xa4", "", ""), row("\xc3\x84", "", ""), 0, 0, 0, 0},
        {"no slash is equal", row("a", "1", "100"), row("b", "2", "5/9"), -1, -1, -1, 0},
        {"not a number is equal", row("a", "1", "x/1"), row("a", "1", "3/1"), 0, 1, 0, 0},
        {"bitrate text after numbers", row("a", "n/a", ""), row("a", "320", ""), 0, 0, 1, 0},
        {"two texts equal", row("a", "n/a", ""), row("a", "?", ""), 0, 0, 0, 0},
        {"extremes do not overflow", row("a", "2147483647", ""), row("a", "-2147483648", ""), 0, 0,
         1, 0},
        {"extremes the other way", row("a", "-2147483648", ""), row("a", "2147483647", ""), 0, 0,
         -1, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        for (int d : {1, -1}) {
            EXPECT_EQ(CompareCaptions(r.a, r.b, d), r.captions * d);
            EXPECT_EQ(CompareSubItems(r.a, r.b, 1, d), r.subItem1 * d);
            EXPECT_EQ(CompareListeners(r.a, r.b, d), r.listeners * d);
        }
        EXPECT_EQ(CompareBitrates(r.a, r.b, 1), r.bitrates);
    }
    // A bitrate that is no number stays after the numbers in both directions.
    EXPECT_EQ(CompareBitrates(row("", "n/a", ""), row("", "320", ""), -1), 1);
    SortState s;
    EXPECT_EQ(s.flip(), -1);
    EXPECT_EQ(s.flip(), 1);
}

} // namespace
} // namespace tl
