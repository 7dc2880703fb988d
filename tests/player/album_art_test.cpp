// Album art: the shop page scan, the catalogue reply, the cache and the image file, against a
// local HTTP server that answers as the shop and the catalogue do.

#include "common/ini_file.h"
#include "player/album_art.h"

#include "../common/local_http_server.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace tl;

namespace {

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage solid(QColor color) {
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(AlbumArtText, ShopAddressAndPageScan) {
    EXPECT_EQ(ShopSearchUrl(QStringLiteral("shop.test"), QStringLiteral("AC/DC - Back & Black?#1")),
              "http://shop.test/s/ref=nb_ss_m?url=search-alias%3Dpopular&field-keywords="
              "AC%2FDC%20-%20Back%20%26%20Black%3F%231&x=0&y=0");

    const QString host = QStringLiteral("img.test");
    struct Row {
        const char* page;
        const char* want;
    } rows[] = {
        {"<a>\n<img src=\"http://img.test/images/I/a.jpg\" alt=\"x\">\n"
         "<img src=\"http://img.test/images/b.jpg\">",
         "http://img.test/images/I/a.jpg"},
        {"<img src=\"http://other.test/images/a.jpg\">\r\n<b src=\"http://img.test/images/c.png\">",
         "http://img.test/images/c.png"},
        // The address is taken after the line's first src=", as the scan has always done.
        {"<x src=\"one\"><img src=\"http://img.test/images/d.jpg\">", "one"},
        {"<img src=\"http://img.test/images/e.jpg", "http://img.test/images/e.jpg"},
        {"<img src='http://img.test/images/f.jpg'>", ""},
        {"<img src=\"http://img.test/imagesX/g.jpg\">", "http://img.test/imagesX/g.jpg"},
        {"", ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FindAlbumArtAddress(QByteArray(r.page), host), QString::fromLatin1(r.want))
            << r.page;
    EXPECT_EQ(FindAlbumArtAddress("src=\"http:///images/a.jpg\"", QString()), "");

    const std::pair<const char*, bool> extensions[] = {
        {"http://h/a.jpg", true},      {"http://h/a.png", true},      {"http://h/a.JPG", false},
        {"http://h/a.jpeg", false},    {"http://h/a.jpg?x=1", false}, {"http://h.png:80/a", false},
        {"http://h/x\\a.b\\c", false}, {"noextension", false},        {"", false},
    };
    for (const auto& [address, ok] : extensions)
        EXPECT_EQ(HasAlbumArtExtension(QString::fromLatin1(address)), ok) << address;
}

TEST(AlbumArtText, SongTitlesAndCatalogueReplies) {
    struct Split {
        const char* title;
        const char* station;
        const char* key; // nullptr: no lookup
    } splits[] = {
        {"Artist - Song", "", "artist|song"},
        {"  The  Band -  Long   Song ", "", "the band|long song"},
        {"A - B - C", "", "a|b - c"},
        {"Lark FM", "lark fm", nullptr},
        {"", "", nullptr},
        {"No separator", "", nullptr},
        {" - Song", "", nullptr},
        {"Artist -", "", nullptr},
        {"Artist-Song", "", nullptr},
    };
    for (const Split& s : splits) {
        const auto song = SplitSongTitle(QString::fromUtf8(s.title), QString::fromUtf8(s.station));
        ASSERT_EQ(song.has_value(), s.key != nullptr) << s.title;
        if (song) {
            EXPECT_EQ(song->cacheKey(), QString::fromUtf8(s.key));
        }
    }
    EXPECT_EQ(CatalogueSearchUrl(QStringLiteral("https://cat.test/search"),
                                 {QStringLiteral("A&B"), QStringLiteral("C D")}),
              "https://cat.test/search?term=A%26B%20C%20D&entity=song&limit=1");

    struct Reply {
        const char* json;
        std::optional<QString> want;
    } replies[] = {
        {"\n\n\n{\"resultCount\":1,\"results\":[{\"wrapperType\":\"track\",\"kind\":\"song\","
         "\"artworkUrl100\":\"https://a.test/x/100x100bb.jpg\"}]}",
         QStringLiteral("https://a.test/x/600x600bb.jpg")},
        {"{\"resultCount\":0,\"results\":[]}", QString()},
        {"{\"resultCount\":1,\"results\":[{\"kind\":\"song\"}]}", QString()},
        {"{\"data\":[{\"album\":{\"cover_big\":\"https://d.test/500x500.jpg\"}}],\"total\":1}",
         QStringLiteral("https://d.test/500x500.jpg")},
        {"{\"data\":[],\"total\":0}", QString()},
        {"{\"resultCount\":1,\"results\":[", std::nullopt},
        {"<html>Service unavailable</html>", std::nullopt},
        {"[1,2]", std::nullopt},
        {"{\"results\":{}}", std::nullopt},
        {"{\"error\":\"quota\"}", std::nullopt},
    };
    for (const Reply& r : replies)
        EXPECT_EQ(ParseCatalogueReply(QByteArray(r.json)), r.want) << r.json;

    IniFile ini = IniFile::fromText(
        QStringLiteral("[AlbumArt]\nShopHost=shop.test\nImageHost=img.test\nOnline=0\n"));
    const AlbumArtConfig c = AlbumArtConfig::read(ini);
    EXPECT_EQ(c.shopHost, "shop.test");
    EXPECT_EQ(c.imageHost, "img.test");
    EXPECT_FALSE(c.online);
    EXPECT_FALSE(AlbumArtConfig::read(IniFile()).catalogueUrl.isEmpty());
    EXPECT_TRUE(AlbumArtConfig::read(IniFile()).shopHost.isEmpty()) << "shop lookup off";
}

class AlbumArtServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_album_art";
        static char* argv[] = {name, nullptr};
        if (!QGuiApplication::instance())
            new QGuiApplication(argc, argv);
        test::bypassProxyForLoopback();
    }

    void SetUp() override {
        root = served.path();
        app = program.path() + QLatin1Char('/');
        ASSERT_TRUE(server.start(root, log()));
        write(root + QStringLiteral("/images/red.jpg"), encoded(solid(Qt::red), "JPG"));
        write(root + QStringLiteral("/images/blue.png"), encoded(solid(Qt::blue), "PNG"));
        write(root + QStringLiteral("/images/green.png"), encoded(solid(Qt::green), "PNG"));
    }

    QString log() const { return served.path() + QStringLiteral(".log"); }
    int logged(const char* part) const { return static_cast<int>(readAll(log()).count(part)); }
    QString host() const { return QStringLiteral("localhost:%1").arg(server.port()); }

    // The shop's result page for a title, naming an image path of the local server.
    void shopPage(const QString& title, const QString& imagePath) {
        const QString query = QStringLiteral("url=search-alias%3Dpopular&field-keywords=") +
                              QString::fromLatin1(QUrl::toPercentEncoding(title)) +
                              QStringLiteral("&x=0&y=0");
        write(root + QStringLiteral("/s/ref=nb_ss_m?") + query,
              QStringLiteral("<html><body>\n<div class=\"result\">\n"
                             "<a href=\"/dp/1\"><img src=\"http://%1/images%2\" width=\"115\" "
                             "alt=\"Product\"></a>\n</div></body></html>\n")
                  .arg(host(), imagePath)
                  .toUtf8());
    }

    std::unique_ptr<AlbumArtLookup> lookup(bool shop, bool catalogue) {
        AlbumArtConfig c;
        if (shop) {
            c.shopHost = host();
            c.imageHost = host();
        }
        c.catalogueUrl = catalogue ? server.url(QStringLiteral("search")) : QString();
        c.timeout = std::chrono::milliseconds(1500);
        auto l = std::make_unique<AlbumArtLookup>(app, c);
        l->loadArt = [this](const QString& path) {
            events << QStringLiteral("load");
            shown = QImage(path);
        };
        l->clearArt = [this] {
            events << QStringLiteral("clear");
            shown = QImage();
        };
        return l;
    }

    void settle(AlbumArtLookup& l) {
        QElapsedTimer t;
        t.start();
        while ((l.busy() || t.elapsed() < 50) && t.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_FALSE(l.busy());
    }

    QRgb shownColour() const {
        return shown.isNull() ? 0 : shown.pixelColor(20, 20).rgb() & 0xFFFFFF;
    }
    // Nothing but image.jpg (and the cache folder) is ever left in the program folder.
    QStringList strayFiles() const {
        QStringList files = QDir(app).entryList(QDir::Files);
        files.removeAll(QStringLiteral("image.jpg"));
        return files;
    }

    QTemporaryDir served, program;
    QString root, app;
    test::LocalHttpServer server;
    QStringList events;
    QImage shown;
};

TEST_F(AlbumArtServer, ShopLookupShowsClearsAndKeeps) {
    auto l = lookup(true, false);
    // A PNG is kept as image.jpg and shown.
    shopPage(QStringLiteral("Blue - Song"), QStringLiteral("/blue.png"));
    l->request(QStringLiteral("Blue - Song"));
    settle(*l);
    EXPECT_EQ(events, QStringList{"load"});
    EXPECT_EQ(shownColour(), 0x0000FFu);
    EXPECT_TRUE(readAll(l->imagePath()).startsWith("\x89PNG"));

    // An address ending in ".JPG" is not fetched and clears the art.
    shopPage(QStringLiteral("Upper"), QStringLiteral("/RED.JPG"));
    l->request(QStringLiteral("Upper"));
    settle(*l);
    EXPECT_EQ(events.last(), "clear");
    EXPECT_EQ(logged("RED.JPG"), 0);

    // Broken answers leave the previous art and image.jpg as they were.
    l->request(QStringLiteral("Blue - Song"));
    settle(*l);
    const QByteArray before = readAll(l->imagePath());
    const int eventsBefore = static_cast<int>(events.size());
    const std::pair<const char*, const char*> broken[] = {
        {"Hanging", "/../hang/x.jpg"},           // the image never comes (time-out)
        {"Cut", "/../truncated/images/red.jpg"}, // half a JPEG, then the connection closes
        {"Missing", "/nothing.jpg"},             // 404 page instead of an image
        {"Text", "/../s/notes.png"},             // not an image at all
    };
    write(root + QStringLiteral("/s/notes.png"), "just text");
    for (const auto& [title, path] : broken) {
        shopPage(QString::fromLatin1(title), QString::fromLatin1(path));
        l->request(QString::fromLatin1(title));
        settle(*l);
        EXPECT_EQ(events.size(), eventsBefore) << title;
        EXPECT_EQ(readAll(l->imagePath()), before) << title;
        EXPECT_EQ(strayFiles(), QStringList()) << title;
    }
    // A shop page that never comes: the same.
    AlbumArtConfig silent;
    silent.shopHost = host() + QStringLiteral("/hang");
    silent.imageHost = host();
    silent.timeout = std::chrono::milliseconds(1000);
    AlbumArtLookup hanging(app, silent);
    hanging.clearArt = [&] {
        events << QStringLiteral("clear");
    };
    hanging.request(QStringLiteral("Blue - Song"));
    settle(hanging);
    EXPECT_EQ(events.size(), eventsBefore);
    EXPECT_EQ(readAll(l->imagePath()), before);
    EXPECT_GE(logged("/hang/s/ref"), 1);
}

TEST_F(AlbumArtServer, NewestTitleWins) {
    auto l = lookup(true, false);
    shopPage(QStringLiteral("First - Song"), QStringLiteral("/../slow/images/red.jpg"));
    shopPage(QStringLiteral("Second - Song"), QStringLiteral("/green.png"));
    l->request(QStringLiteral("First - Song"));
    // Let the first page arrive and its slow image request start.
    QElapsedTimer t;
    t.start();
    while (logged("/slow/") == 0 && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    l->request(QStringLiteral("Second - Song"));
    settle(*l);
    // Wait past the slow answer: it must not arrive late.
    while (t.elapsed() < 2500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(events, QStringList{"load"});
    EXPECT_EQ(shownColour(), 0x00FF00u);

    // Two requests without waiting: only the second one answers.
    events.clear();
    l->request(QStringLiteral("First - Song"));
    l->request(QStringLiteral("Second - Song"));
    settle(*l);
    EXPECT_EQ(events, QStringList{"load"});
    EXPECT_EQ(shownColour(), 0x00FF00u);
}

TEST_F(AlbumArtServer, CatalogueLookupWithItsCache) {
    auto l = lookup(false, true);
    const QString itunesFound = QStringLiteral(
        "\n\n\n{\n \"resultCount\":1,\n \"results\": [\n{\"wrapperType\":\"track\", "
        "\"kind\":\"song\", \"artistId\":1, \"artistName\":\"Nightingale Quartet\", "
        "\"trackName\":\"Evening Song\", \"artworkUrl60\":\"http://%1/art/60x60bb.jpg\", "
        "\"artworkUrl100\":\"http://%1/art/100x100bb.jpg\", \"country\":\"USA\"}]\n}\n\n\n");
    write(root + QStringLiteral("/search?term=Nightingale%20Quartet%20Evening%20Song"
                                "&entity=song&limit=1"),
          itunesFound.arg(host()).toUtf8());
    write(root + QStringLiteral("/art/600x600bb.jpg"), encoded(solid(Qt::red), "JPG"));
    write(root + QStringLiteral("/search?term=Nobody%20Nothing&entity=song&limit=1"),
          "\n\n\n{\n \"resultCount\":0,\n \"results\": []\n}\n\n\n");
    write(root + QStringLiteral("/search?term=Broken%20Reply&entity=song&limit=1"),
          "{\"resultCount\":1,\"res");

    struct Step {
        const char* title;
        const char* event;
        int newRequests;
    } steps[] = {
        {"Nightingale Quartet - Evening Song", "load", 2}, // reply, then the 600 x 600 image
        {"Nobody - Nothing", "clear", 1},
        {"Broken - Reply", "clear", 1},
        {"nightingale  quartet - EVENING SONG", "load", 0}, // cached image
        {"Nobody - Nothing", "clear", 0},                   // cached miss
        {"Broken - Reply", "clear", 1},                     // a broken reply is not kept
        {"Lark FM", "clear", 0},                            // the station's name
        {"No separator here", "clear", 0},
    };
    for (const Step& s : steps) {
        const int before = l->requestsSent();
        const int answered = logged("\"path\"");
        l->request(QString::fromUtf8(s.title), QStringLiteral("Lark FM"));
        settle(*l);
        EXPECT_EQ(events.last(), s.event) << s.title;
        EXPECT_EQ(l->requestsSent() - before, s.newRequests) << s.title;
        EXPECT_EQ(logged("\"path\"") - answered, s.newRequests) << s.title;
        if (QByteArray(s.event) == "load") {
            EXPECT_EQ(shownColour() & 0xF00000u, 0xF00000u) << s.title;
        }
    }
    EXPECT_GE(readAll(log()).count("Tunelark/"), 1) << "descriptive user agent";

    // Online lookups off: nothing is asked, the art is cleared; the station's picture is
    // shown instead when it has one.
    AlbumArtConfig off;
    off.online = false;
    off.catalogueUrl = server.url(QStringLiteral("search"));
    AlbumArtLookup quiet(app, off);
    QStringList seen;
    quiet.clearArt = [&] {
        seen << QStringLiteral("clear");
    };
    quiet.loadArt = [&](const QString& path) {
        seen << path;
    };
    quiet.request(QStringLiteral("Nightingale Quartet - Evening Song"));
    const QString favicon = root + QStringLiteral("/images/blue.png");
    quiet.stationPicture = [&] {
        return favicon;
    };
    quiet.request(QStringLiteral("Nightingale Quartet - Evening Song"));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("clear"), favicon}));
    EXPECT_EQ(quiet.requestsSent(), 0);
}
