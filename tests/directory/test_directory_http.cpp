// The directory fetcher against local HTTP servers: the exact requests each service sends,
// the JSON directory's server list and fallback, the reply cap, cancelling and time-outs.

#include "directory/directory_fetch.h"
#include "directory_pages.h"

#include "../common/local_http_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace tl {
namespace {

using test::LocalHttpServer;
using test::writeFile;

// The paths of the requests a server logged, in order.
QStringList loggedPaths(const QString& log) {
    QFile f(log);
    QStringList out;
    if (!f.open(QIODevice::ReadOnly)) {
        return out;
    }
    while (!f.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(f.readLine()).object();
        out << o.value(u"path").toString();
    }
    return out;
}

QString loggedAgent(const QString& log) {
    QFile f(log);
    QString agent;
    if (f.open(QIODevice::ReadOnly)) {
        while (!f.atEnd()) {
            agent = QJsonDocument::fromJson(f.readLine())
                        .object()
                        .value(u"headers")
                        .toObject()
                        .value(u"User-Agent")
                        .toString();
        }
    }
    return agent;
}

class DirectoryHttpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::bypassProxyForLoopback();
        static int argc = 1;
        static char name[] = "test_directory_http";
        static char* argv[] = {name, nullptr};
        app_ = new QCoreApplication(argc, argv);
    }
    static void TearDownTestSuite() { delete app_; }

    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        root_ = dir_.filePath("www");
        QDir().mkpath(root_);
    }

    LocalHttpServer& serve(const QStringList& extra = {}) {
        servers_.push_back(std::make_unique<LocalHttpServer>());
        const QString log = dir_.filePath(QStringLiteral("log%1.json").arg(servers_.size()));
        EXPECT_TRUE(servers_.back()->start(root_, log, extra));
        logs_ << log;
        return *servers_.back();
    }

    // Runs a query and waits (bounded) for its one reply.
    std::optional<DirectoryReply> fetch(DirectoryFetcher& f, const DirectoryQuery& q) {
        std::optional<DirectoryReply> got;
        f.onDone = [&got](const DirectoryReply& r) {
            got = r;
        };
        f.start(q);
        QElapsedTimer t;
        t.start();
        while (!got && t.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return got;
    }

    static QCoreApplication* app_;
    QTemporaryDir dir_;
    QString root_;
    std::vector<std::unique_ptr<LocalHttpServer>> servers_;
    QStringList logs_;
};
QCoreApplication* DirectoryHttpTest::app_ = nullptr;

TEST_F(DirectoryHttpTest, EachServiceAsksForTheTextAsTyped) {
    LocalHttpServer& s = serve();
    const QString base = QStringLiteral("http://localhost:%1").arg(s.port());
    DirectoryConfig config = DirectoryConfig::fromIni(IniFile::fromText(
        QStringLiteral("[Directory]\nShoutcast=%1/\nXiph=%1\nRadioBrowserServers=localhost:%2\n")
            .arg(base)
            .arg(s.port())));
    config.radioBrowser = base; // the scheme of the fixed servers
    DirectoryFetcher fetcher(config);
    struct Row {
        int service;
        const char* text;
        int count;
        const char* path;
    } rows[] = {
        {kServiceShoutcast, "rock", 5,
         "/directory/index.phtml?sgenre=Rock&numresult=5&maxbitrate=256"},
        {kServiceShoutcast, "R&B/Soul", 5,
         "/directory/index.phtml?sgenre=R%26B%2FSoul&numresult=5&maxbitrate=256"},
        {kServiceShoutcast, "Drum and Bass", 100,
         "/directory/index.phtml?sgenre=Drum%20and%20Bass&numresult=100&maxbitrate=256"},
        {kServiceShoutcast, "rock & roll", 100,
         "/directory/?s=rock%20%26%20roll&numresult=100&maxbitrate=256"},
        {kServiceXiph, "Rock", 5, "/index.php?search=Rock&num=5"},
        {kServiceXiph, "R&B/Soul", 10, "/index.php?search=R%26B%2FSoul&num=10"},
        {kServiceXiph, "Drum and Bass", 25, "/index.php?search=Drum+and+Bass&num=25"},
        {kServiceXiph, "rock & roll", 100, "/index.php?search=rock+%26+roll&num=100"},
        {kServiceRadioBrowser, "rock", 5,
         "/json/stations/search?tag=rock&limit=5&hidebroken=true&order=votes&reverse=true"},
        {kServiceRadioBrowser, "R&B/Soul", 5,
         "/json/stations/search?tag=rnb&limit=5&hidebroken=true&order=votes&reverse=true"},
        {kServiceRadioBrowser, "Drum and Bass", 5,
         "/json/stations/search?tag=drum%20and%20bass&limit=5&hidebroken=true&order=votes&"
         "reverse=true"},
        {kServiceRadioBrowser, "rock & roll", 100,
         "/json/stations/search?name=rock%20%26%20roll&limit=100&hidebroken=true&order=votes&"
         "reverse=true"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto reply = fetch(fetcher, BuildDirectoryQuery(row.service, row.text, row.count,
                                                              DirectoryGenres(), config));
        ASSERT_TRUE(reply.has_value());
        // A 404 page is still a page for the HTML directories; the JSON directory has no
        // other server to try.
        EXPECT_EQ(reply->ok, row.service != kServiceRadioBrowser) << reply->error.toStdString();
        const QStringList paths = loggedPaths(logs_[0]);
        ASSERT_FALSE(paths.isEmpty());
        EXPECT_EQ(paths.back().toStdString(), row.path);
        EXPECT_EQ(loggedAgent(logs_[0]).toStdString(), row.service == kServiceRadioBrowser
                                                           ? "Tunelark/" TUNELARK_VERSION
                                                           : "Mozilla/4.0 (compatible; MSIE 7.0; "
                                                             "Windows NT 6.0)");
    }
}

// The JSON directory's servers in turn: a refused connection, a captive portal's 200 page, a
// cut-off body, a 503 and a silent server all count as failures of that server only.
TEST_F(DirectoryHttpTest, JsonDirectoryFallsBackToTheNextServer) {
    const QByteArray stations = "[" + test::radioBrowserStation("Good", "http://s/1", 128) + "]";
    writeFile(root_ + "/json/stations/search", stations);
    LocalHttpServer& list = serve();
    LocalHttpServer& unavailable = serve({"--status", "503"});
    LocalHttpServer& silent = serve({"--status", "0"});
    LocalHttpServer& good = serve();
    LocalHttpServer& portal = serve({"--status", "200"}); // "status 200" as text
    int deadPort = 0;
    {
        LocalHttpServer gone;
        ASSERT_TRUE(gone.start(root_));
        deadPort = gone.port();
    }
    auto name = [](int port, const char* path = "") {
        return QStringLiteral("localhost:%1%2").arg(port).arg(QLatin1String(path));
    };
    const QString cut = name(good.port(), "/truncated"); // the same reply, cut in half
    writeFile(
        root_ + "/json/servers",
        QStringLiteral(R"([{"name":"%1"},{"name":"%2"},{"name":"%3"},{"name":"%4"}])")
            .arg(name(deadPort), name(unavailable.port()), name(silent.port()), name(good.port()))
            .toUtf8());
    DirectoryConfig config;
    config.radioBrowser = QStringLiteral("http://localhost:%1").arg(list.port());
    config.discoveryHost.clear();
    config.timeout = std::chrono::seconds(2);
    DirectoryFetcher fetcher(config);
    fetcher.setShuffle([](QStringList&) {}); // the list's order
    QStringList asked;
    fetcher.onAsking = [&asked](const QString& server) {
        asked << server;
    };
    const DirectoryQuery q =
        BuildDirectoryQuery(kServiceRadioBrowser, "Rock", 5, DirectoryGenres(), config);

    auto reply = fetch(fetcher, q);
    ASSERT_TRUE(reply.has_value());
    ASSERT_TRUE(reply->ok) << reply->error.toStdString();
    EXPECT_EQ(reply->server, "http://" + name(good.port()));
    EXPECT_EQ(ParseRadioBrowserStations(reply->body, 5)->front().Name, "Good");
    EXPECT_EQ(loggedPaths(logs_[0]).front(), "/json/servers");
    EXPECT_EQ(loggedPaths(logs_[1]).size(), 1);
    EXPECT_EQ(loggedPaths(logs_[2]).size(), 1);
    EXPECT_EQ(asked, QStringList({name(deadPort), name(unavailable.port()), name(silent.port()),
                                  name(good.port())}));

    // The server that answered is asked first next time, without a new server list.
    reply = fetch(fetcher, q);
    ASSERT_TRUE(reply.has_value() && reply->ok);
    EXPECT_EQ(loggedPaths(logs_[0]).size(), 1);
    EXPECT_EQ(loggedPaths(logs_[1]).size(), 1);
    EXPECT_EQ(loggedPaths(logs_[3]).size(), 2);

    // Counting a play goes to that server.
    fetcher.countClick(reply->server, QStringLiteral("96062a7b-0601-11e8-ae97-52543be04c81"));
    QElapsedTimer t;
    t.start();
    while (loggedPaths(logs_[3]).size() < 3 && t.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_EQ(loggedPaths(logs_[3]).back(), "/json/url/96062a7b-0601-11e8-ae97-52543be04c81");

    // Replies that are no JSON array fail their server; when every server fails so, the
    // search says that the reply could not be read, and the next one finds the servers anew.
    struct Row {
        const char* what;
        QStringList servers;
        bool ok;
        const char* error;
    } rows[] = {
        {"portal, then good", {name(portal.port()), name(good.port())}, true, ""},
        {"cut body, then good", {cut, name(good.port())}, true, ""},
        {"503, then good", {name(unavailable.port()), name(good.port())}, true, ""},
        {"portal and cut body", {name(portal.port()), cut}, false, kUnreadableReply},
        {"refused only", {name(deadPort)}, false, "http://localhost:"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DirectoryConfig c = config;
        c.radioBrowser = QStringLiteral("http://localhost:%1").arg(deadPort); // no list
        c.radioBrowserServers = row.servers;
        DirectoryFetcher f(c);
        f.setShuffle([](QStringList&) {});
        reply =
            fetch(f, BuildDirectoryQuery(kServiceRadioBrowser, "Rock", 5, DirectoryGenres(), c));
        ASSERT_TRUE(reply.has_value());
        EXPECT_EQ(reply->ok, row.ok) << reply->error.toStdString();
        EXPECT_TRUE(row.ok ? reply->error.isEmpty()
                           : reply->error.startsWith(QLatin1String(row.error)))
            << reply->error.toStdString();
        EXPECT_EQ(reply->servers.isEmpty(), !row.ok);
    }

    // Rediscovery: the servers that answered before all fail now; the same search finds the
    // servers anew (the list names the good one again) and goes on with them.
    DirectoryConfig moving = config;
    DirectoryFetcher f(moving);
    f.setShuffle([](QStringList&) {});
    writeFile(root_ + "/json/servers",
              QStringLiteral(R"([{"name":"%1"}])").arg(name(portal.port())).toUtf8());
    reply = fetch(f, q);
    ASSERT_TRUE(reply.has_value());
    EXPECT_FALSE(reply->ok);
    writeFile(root_ + "/json/servers",
              QStringLiteral(R"([{"name":"%1"}])").arg(name(good.port())).toUtf8());
    const qsizetype lists = loggedPaths(logs_[0]).size();
    reply = fetch(f, q); // the failed search left no servers: found anew
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->ok) << reply->error.toStdString();
    EXPECT_EQ(loggedPaths(logs_[0]).size(), lists + 1);

    // One deadline for the whole search, however many servers never answer.
    DirectoryConfig late = config;
    late.radioBrowser = QStringLiteral("http://localhost:%1").arg(deadPort);
    late.radioBrowserServers = QStringList(6, name(silent.port())) << name(good.port());
    for (int i = 0; i < 6; ++i)
        late.radioBrowserServers[i] += QStringLiteral("/hang%1").arg(i); // six distinct names
    late.timeout = std::chrono::seconds(60);
    late.searchDeadline = std::chrono::seconds(3);
    DirectoryFetcher patient(late);
    patient.setShuffle([](QStringList&) {});
    reply = fetch(patient, q);
    ASSERT_TRUE(reply.has_value()) << "the deadline ends the search";
    EXPECT_FALSE(reply->ok);
    EXPECT_TRUE(reply->error.contains("within 3 s")) << reply->error.toStdString();
}

TEST_F(DirectoryHttpTest, CapCancelAndTimeOut) {
    writeFile(root_ + "/directory/index.phtml",
              QByteArray(static_cast<qsizetype>(DirectoryFetcher::kMaxReplyBytes) + 1, 'x'));
    LocalHttpServer& s = serve();
    LocalHttpServer& silent = serve({"--status", "0"});
    DirectoryConfig config;
    config.shoutcast = QStringLiteral("http://localhost:%1/").arg(s.port());
    config.xiph = QStringLiteral("http://localhost:%1").arg(silent.port());
    config.timeout = std::chrono::seconds(1);
    DirectoryFetcher fetcher(config);
    const QStringList& g = DirectoryGenres();

    auto reply = fetch(fetcher, BuildDirectoryQuery(kServiceShoutcast, "Rock", 5, g, config));
    ASSERT_TRUE(reply.has_value());
    EXPECT_FALSE(reply->ok);
    EXPECT_TRUE(reply->body.isEmpty());

    reply = fetch(fetcher, BuildDirectoryQuery(kServiceXiph, "Rock", 5, g, config));
    ASSERT_TRUE(reply.has_value());
    EXPECT_FALSE(reply->ok); // the time-out ends a server that never answers

    // A new start ends the one that hangs; only the new one reports.
    config.timeout = std::chrono::seconds(60);
    DirectoryFetcher slow(config);
    int reports = 0;
    slow.onDone = [&reports](const DirectoryReply&) {
        ++reports;
    };
    slow.start(BuildDirectoryQuery(kServiceXiph, "Rock", 5, g, config));
    QElapsedTimer t;
    t.start();
    slow.start(BuildDirectoryQuery(kServiceShoutcast, "Jazz", 5, g, config));
    EXPECT_LT(t.elapsed(), 5000);
    while (slow.isRunning() && t.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(reports, 1);

    // Destroying the fetcher while it waits for a silent server returns at once.
    auto doomed = std::make_unique<DirectoryFetcher>(config);
    doomed->start(BuildDirectoryQuery(kServiceXiph, "Rock", 5, g, config));
    t.restart();
    doomed.reset();
    EXPECT_LT(t.elapsed(), 5000);
}

} // namespace
} // namespace tl
