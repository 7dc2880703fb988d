// Album art: the shop page scan, the catalogue reply, the cache and the image file, against a
// local HTTP server that answers as the shop and the catalogue do.

#include "player/album_art.h"

#include "../common/local_http_server.h"
#include "../qt_app.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

using namespace tl;

namespace {

QByteArray image(QColor color, const char* format) {
    QImage picture(40, 40, QImage::Format_RGB32);
    picture.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, format);
    return bytes;
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

TEST(AlbumArtText, AddressesPagesTitlesAndReplies) {
    EXPECT_EQ(ShopSearchUrl(QStringLiteral("shop.test"), QStringLiteral("AC/DC - Back & Black?#")),
              "http://shop.test/s/ref=nb_ss_m?url=search-alias%3Dpopular&field-keywords="
              "AC%2FDC%20-%20Back%20%26%20Black%3F%23&x=0&y=0");
    EXPECT_EQ(CatalogueSearchUrl(QStringLiteral("https://cat.test/search"),
                                 {QStringLiteral("A&B"), QStringLiteral("C D")}),
              "https://cat.test/search?term=A%26B%20C%20D&entity=song&limit=1");

    // clang-format off
    const std::pair<const char*, const char*> pages[] = {
        {"<a>\n<img src=\"http://img.test/images/I/a.jpg\" alt>\n<img src=\"http://img.test/images/b.jpg\">",
         "http://img.test/images/I/a.jpg"},
        {"<img src=\"http://other.test/images/a.jpg\">\r\n<b src=\"http://img.test/images/c.png\">",
         "http://img.test/images/c.png"},
        {"<x src=\"one\"><img src=\"http://img.test/images/d.jpg\">", "one"}, // first src=" of the line
        {"<img src=\"http://img.test/images/e.jpg", "http://img.test/images/e.jpg"},
        {"<img src='http://img.test/images/f.jpg'>", ""},
        {"", ""}};
    const std::pair<const char*, bool> extensions[] = {
        {"http://h/a.jpg", true}, {"http://h/a.png", true}, {"http://h/a.JPG", false},
        {"http://h/a.jpeg", false}, {"http://h/a.jpg?x=1", false}, {"http://h.png:80/a", false},
        {"http://h/x\\a.b\\c", false}, {"none", false}};
    const std::pair<const char*, const char*> titles[] = { // nullptr: no catalogue lookup
        {"Artist - Song", "artist|song"}, {"  The  Band -  Long   Song ", "the band|long song"},
        {"A - B - C", "a|b - c"}, {"Lark FM", nullptr}, {"", nullptr}, {"No separator", nullptr},
        {" - Song", nullptr}, {"Artist -", nullptr}, {"Artist-Song", nullptr}};
    const std::pair<const char*, std::optional<QString>> replies[] = {
        {"\n\n\n{\"resultCount\":1,\"results\":[{\"kind\":\"song\",\"artworkUrl100\":"
         "\"https://a.test/x/100x100bb.jpg\"}]}", QStringLiteral("https://a.test/x/600x600bb.jpg")},
        {"{\"resultCount\":0,\"results\":[]}", QString()},
        {"{\"resultCount\":1,\"results\":[{\"kind\":\"song\"}]}", QString()},
        {"{\"data\":[{\"album\":{\"cover_big\":\"https://d.test/c.jpg\"}}],\"total\":1}",
         QStringLiteral("https://d.test/c.jpg")},
        {"{\"data\":[],\"total\":0}", QString()},
        {"{\"resultCount\":1,\"results\":[", std::nullopt},
        {"<html>Service unavailable</html>", std::nullopt},
        {"[1,2]", std::nullopt}, {"{\"results\":{}}", std::nullopt}, {"{\"error\":1}", std::nullopt}};
    // clang-format on
    for (const auto& [page, want] : pages)
        EXPECT_EQ(FindAlbumArtAddress(page, QStringLiteral("img.test")), want) << page;
    for (const auto& [address, ok] : extensions)
        EXPECT_EQ(HasAlbumArtExtension(QString::fromLatin1(address)), ok) << address;
    for (const auto& [title, key] : titles) {
        const auto song = SplitSongTitle(QString::fromUtf8(title), QStringLiteral("lark fm"));
        EXPECT_EQ(song ? song->cacheKey() : QString(), QString::fromUtf8(key)) << title;
    }
    for (const auto& [json, want] : replies)
        EXPECT_EQ(ParseCatalogueReply(QByteArray(json)), want) << json;
}

class AlbumArtServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tl::test::ensureApp<QGuiApplication>("test_album_art");
        test::bypassProxyForLoopback();
    }

    void SetUp() override {
        ASSERT_TRUE(server.start(root.path(), log()));
        write(root.filePath(QStringLiteral("images/red.jpg")), image(Qt::red, "JPG"));
        write(root.filePath(QStringLiteral("images/blue.png")), image(Qt::blue, "PNG"));
        write(root.filePath(QStringLiteral("images/green.png")), image(Qt::green, "PNG"));
        write(root.filePath(QStringLiteral("s/notes.png")), "just text");
    }

    QString log() const { return root.path() + QStringLiteral(".log"); }
    int logged(const char* part) const { return static_cast<int>(readAll(log()).count(part)); }
    QString host() const { return QStringLiteral("localhost:%1").arg(server.port()); }
    QString imagePath() const { return app.filePath(QStringLiteral("image.jpg")); }

    // The shop's result page for a title, naming an image path of the local server.
    void shopPage(const char* title, const char* imagePath) {
        write(root.filePath(QStringLiteral("s/ref=nb_ss_m?url=search-alias%3Dpopular&"
                                           "field-keywords=%1&x=0&y=0")
                                .arg(QString::fromLatin1(QUrl::toPercentEncoding(title)))),
              QStringLiteral("<html><body>\n<div class=\"result\">\n<a href=\"/dp/1\"><img "
                             "src=\"http://%1/images%2\" width=\"115\" alt=\"Product\"></a>\n"
                             "</div></body></html>\n")
                  .arg(host(), QString::fromLatin1(imagePath))
                  .toUtf8());
    }

    std::unique_ptr<AlbumArtLookup> lookup(const QString& shopHost, bool catalogue) {
        AlbumArtConfig c;
        c.shopHost = shopHost;
        c.imageHost = host();
        c.catalogueUrl = catalogue ? server.url(QStringLiteral("search")) : QString();
        c.timeout = std::chrono::milliseconds(1500);
        auto l = std::make_unique<AlbumArtLookup>(app.path() + QLatin1Char('/'), c);
        l->loadArt = [this](const QString& path) {
            events << QStringLiteral("load");
            shown = QImage(path);
        };
        l->clearArt = [this] {
            events << QStringLiteral("clear");
        };
        return l;
    }

    // Runs the event loop until the lookup has its answer (and a little longer).
    void settle(AlbumArtLookup& l, int atLeastMs = 50) {
        QElapsedTimer t;
        t.start();
        while ((l.busy() || t.elapsed() < atLeastMs) && t.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_FALSE(l.busy());
    }
    QRgb shownColour() const { return shown.pixelColor(20, 20).rgb() & 0xF0F0F0; }

    QTemporaryDir root, app;
    test::LocalHttpServer server;
    QStringList events;
    QImage shown;
};

TEST_F(AlbumArtServer, ShopLookupShowsClearsAndKeeps) {
    auto l = lookup(host(), false);
    // A PNG is kept as image.jpg and shown.
    shopPage("Blue - Song", "/blue.png");
    l->request(QStringLiteral("Blue - Song"));
    settle(*l);
    EXPECT_EQ(events, QStringList{"load"});
    EXPECT_EQ(shownColour(), 0x0000F0u);
    EXPECT_TRUE(readAll(imagePath()).startsWith("\x89PNG"));

    // An address ending in ".JPG" is not fetched and clears the art.
    shopPage("Upper", "/RED.JPG");
    l->request(QStringLiteral("Upper"));
    settle(*l);
    EXPECT_EQ(events.last(), "clear");
    EXPECT_EQ(logged("RED.JPG"), 0);

    // Broken answers leave the previous art, image.jpg as it was, and no other file.
    l->request(QStringLiteral("Blue - Song"));
    settle(*l);
    const QByteArray before = readAll(imagePath());
    const qsizetype seen = events.size();
    const std::pair<const char*, const char*> broken[] = {
        {"Hanging", "/../hang/x.jpg"},           // no answer: the time-out ends it
        {"Cut", "/../truncated/images/red.jpg"}, // half a JPEG, then the connection closes
        {"Missing", "/nothing.jpg"},             // a 404 page instead
        {"Text", "/../s/notes.png"},             // not an image
    };
    for (const auto& [title, path] : broken) {
        shopPage(title, path);
        l->request(QString::fromLatin1(title));
        settle(*l);
        EXPECT_EQ(events.size(), seen) << title;
        EXPECT_EQ(readAll(imagePath()), before) << title;
        EXPECT_EQ(QDir(app.path()).entryList(QDir::Files), QStringList{"image.jpg"}) << title;
    }
    // A shop page that never comes: the same.
    auto silent = lookup(host() + QStringLiteral("/hang"), false);
    silent->request(QStringLiteral("Blue - Song"));
    settle(*silent);
    EXPECT_EQ(events.size(), seen);
    EXPECT_GE(logged("/hang/s/ref"), 1);
}

TEST_F(AlbumArtServer, NewestTitleWins) {
    auto l = lookup(host(), false);
    shopPage("First - Song", "/../slow/images/red.jpg");
    shopPage("Second - Song", "/green.png");
    // The second title arrives while the first one's image is on its way: only the second
    // one's art shows, also after the first answer would have come.
    l->request(QStringLiteral("First - Song"));
    QElapsedTimer t;
    t.start();
    while (logged("/slow/") == 0 && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    l->request(QStringLiteral("Second - Song"));
    settle(*l, 2500);
    // And two titles at once.
    l->request(QStringLiteral("First - Song"));
    l->request(QStringLiteral("Second - Song"));
    settle(*l);
    EXPECT_EQ(events, (QStringList{"load", "load"}));
    EXPECT_EQ(shownColour(), 0x00F000u);
}

TEST_F(AlbumArtServer, CatalogueLookupWithItsCache) {
    auto l = lookup(QString(), true);
    const QString query = QStringLiteral("search?term=%1&entity=song&limit=1");
    write(root.filePath(query.arg("Nightingale%20Quartet%20Evening%20Song")),
          QStringLiteral("\n\n\n{\n \"resultCount\":1,\n \"results\": [\n{\"wrapperType\":"
                         "\"track\", \"kind\":\"song\", \"artistName\":\"Nightingale Quartet\", "
                         "\"artworkUrl60\":\"http://%1/art/60x60bb.jpg\", \"artworkUrl100\":"
                         "\"http://%1/art/100x100bb.jpg\", \"country\":\"USA\"}]\n}\n\n\n")
              .arg(host())
              .toUtf8());
    write(root.filePath(QStringLiteral("art/600x600bb.jpg")), image(Qt::red, "JPG"));
    write(root.filePath(query.arg("Nobody%20Nothing")),
          "\n\n\n{\n \"resultCount\":0,\n \"results\": []\n}\n\n\n");
    write(root.filePath(query.arg("Broken%20Reply")), "{\"resultCount\":1,\"res");

    const std::tuple<const char*, const char*, int> steps[] = {
        // title, what the art box does, requests sent
        {"Nightingale Quartet - Evening Song", "load", 2}, // the reply, then the image
        {"Nobody - Nothing", "clear", 1},
        {"Broken - Reply", "clear", 1},
        {"nightingale  quartet - EVENING SONG", "load", 0}, // the cached image
        {"Nobody - Nothing", "clear", 0},                   // the cached miss
        {"Broken - Reply", "clear", 1},                     // a broken reply is not kept
        {"Lark FM", "clear", 0},                            // the station's name
        {"No separator here", "clear", 0},
    };
    for (const auto& [title, event, requests] : steps) {
        const int served = logged("\"path\"");
        l->request(QString::fromUtf8(title), QStringLiteral("Lark FM"));
        settle(*l);
        EXPECT_EQ(events.last(), event) << title;
        EXPECT_EQ(logged("\"path\"") - served, requests) << title;
    }
    EXPECT_EQ(shownColour(), 0xF00000u);
    EXPECT_GE(logged("Tunelark/"), 1) << "descriptive user agent";

    // Online lookups off: nothing is asked; the station's own picture shows when it has one.
    AlbumArtConfig off;
    off.online = false;
    AlbumArtLookup quiet(app.path() + QLatin1Char('/'), off);
    QStringList seen;
    quiet.clearArt = [&] {
        seen << QStringLiteral("clear");
    };
    quiet.loadArt = [&](const QString& path) {
        seen << path;
    };
    quiet.request(QStringLiteral("Nightingale Quartet - Evening Song"));
    const QString favicon = root.filePath(QStringLiteral("images/blue.png"));
    quiet.stationPicture = [&] {
        return favicon;
    };
    quiet.request(QStringLiteral("Nightingale Quartet - Evening Song"));
    EXPECT_EQ(seen, (QStringList{QStringLiteral("clear"), favicon}));
    EXPECT_EQ(quiet.requestsSent(), 0);
}
