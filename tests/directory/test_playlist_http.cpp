#include "directory/playlist.h"

#include "../common/local_http_server.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>

namespace {

using tl::PlaylistResolver;
using tl::test::LocalHttpServer;

bool writeAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class PlaylistHttpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tl::test::bypassProxyForLoopback();
        served_ = new QTemporaryDir;
        ASSERT_TRUE(served_->isValid());
        const QString root = served_->path() + "/";
        ASSERT_TRUE(writeAll(root + "list.pls", "[playlist]\r\nNumberOfEntries=2\r\n"
                                                "File1=http://pls.example:8000/live\r\n"
                                                "File2=http://second.example/\r\n"));
        ASSERT_TRUE(writeAll(root + "list.m3u", "#EXTM3U\n#EXTINF:-1,Radio\nhttp://m3u/\n"));
        ASSERT_TRUE(writeAll(root + "plain.m3u", "http://m3u.example/stream\r\n"));
        const QByteArray asx = "<ASX version=\"3.0\">\r\n"
                               "<ENTRY><REF HREF=\"http://banner.example/ad.gif\" /></ENTRY>\r\n"
                               "<ENTRY><REF HREF=\"mms://wm.example/live\" /></ENTRY>\r\n"
                               "</ASX>\r\n";
        ASSERT_TRUE(writeAll(root + "list.asx", asx));
        ASSERT_TRUE(writeAll(root + "asx.php", asx));
        const QByteArray reference = "[Reference]\r\nRef1=http://ref.example/a?MSWMExt=.asf\r\n";
        ASSERT_TRUE(writeAll(root + "ref.php", reference));
        ASSERT_TRUE(writeAll(root + "ref.asx", reference));
        // HLS: a live playlist behind .m3u8, and one with a lone tag that only its type
        // (application/vnd.apple.mpegurl, under /as-hls/) marks as one.
        ASSERT_TRUE(writeAll(root + "live.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n"
                                                 "#EXTINF:2,\nhttp://seg.example/1.ts\n"));
        ASSERT_TRUE(writeAll(root + "lone", "#EXTM3U\n#EXT-X-VERSION:3\nhttp://lone.example/\n"));
        logPath_ = new QString(served_->filePath("requests.log"));
        server_ = new LocalHttpServer;
        ASSERT_TRUE(server_->start(served_->path(), *logPath_));
    }

    static void TearDownTestSuite() {
        delete server_;
        delete logPath_;
        delete served_;
    }

    void SetUp() override { ASSERT_TRUE(app_.isValid()); }

    tl::PlaylistResult resolve(const QString& path) {
        return PlaylistResolver(app_.path() + "/").ParsePlayList(server_->url(path));
    }

    static QTemporaryDir* served_;
    static QString* logPath_;
    static LocalHttpServer* server_;
    QTemporaryDir app_;
};

QTemporaryDir* PlaylistHttpTest::served_ = nullptr;
QString* PlaylistHttpTest::logPath_ = nullptr;
LocalHttpServer* PlaylistHttpTest::server_ = nullptr;

TEST_F(PlaylistHttpTest, ResolvesServedPlaylists) {
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"list.pls", "http://pls.example:8000/live"},
        {"redirect/list.pls", "http://pls.example:8000/live"},
        {"list.m3u", "http://m3u/"},
        {"plain.m3u", "http://m3u.example/stream"},
        {"list.asx", "mms://wm.example/live"},
        {"asx.php", "mms://wm.example/live"},
        {"ref.php", "http://ref.example/a?MSWMExt=.asf"},
        {"ref.asx", ""},
        {"nul.pls", "http://before.example/nul"},
        {"big.pls", ""}, // File1 lies beyond the one read
        {"missing.pls", ""},
        {"lone", "http://lone.example/"},
        {"live.m3u8", "="}, // "=": the address itself
        {"redirect/live.m3u8", "="},
        {"as-hls/lone", "="},
    };
    for (const auto& c : cases) {
        const auto r = resolve(c.path);
        EXPECT_FALSE(r.ConnectFailed) << c.path;
        EXPECT_EQ(r.Url, QString(c.expected) == "=" ? server_->url(c.path) : c.expected) << c.path;
        EXPECT_EQ(r.StationUrl, server_->url(c.path)) << c.path;
    }
}

TEST_F(PlaylistHttpTest, OneReadIsCutAndNulEndsTheText) {
    EXPECT_EQ(tl::DownloadText(server_->url("big.pls")).size(), tl::kPlaylistMaxBytes);
    const QByteArray nul = tl::DownloadText(server_->url("nul.pls"));
    EXPECT_EQ(nul, "[playlist]\nFile1=http://before.example/nul\n");
    EXPECT_EQ(tl::DownloadPlaylist(server_->url("as-hls/lone")).ContentType,
              "application/vnd.apple.mpegurl");

    resolve("nul.pls");
    EXPECT_EQ(readAll(app_.filePath("pls.dat")), nul);
}

TEST_F(PlaylistHttpTest, NothingReceivedIsAConnectFailure) {
    for (const char* path : {"nul-first", "hang"}) {
        const auto started = std::chrono::steady_clock::now();
        const auto r = resolve(path);
        EXPECT_TRUE(r.ConnectFailed) << path;
        EXPECT_TRUE(r.Url.isEmpty()) << path;
        EXPECT_TRUE(r.StationUrl.isEmpty()) << path;
        // Hang guard only: the download has a time-out of its own.
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60)) << path;
    }
    EXPECT_TRUE(
        PlaylistResolver(app_.path() + "/").ParsePlayList("MMS://localhost/x").ConnectFailed);
}

TEST_F(PlaylistHttpTest, SendsAgentAndNoCacheHeaders) {
    const QByteArray echoed = tl::DownloadText(server_->url("headers"));
    EXPECT_TRUE(echoed.startsWith("GET /headers HTTP/1.1\r\n")) << echoed.constData();
    EXPECT_TRUE(echoed.contains("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 7.0; "
                                "Windows NT 6.0)\r\n"));
    EXPECT_TRUE(echoed.contains("\r\nCache-Control: no-cache\r\n"));
    EXPECT_TRUE(echoed.contains("\r\nPragma: no-cache\r\n"));

    // The resolver's own request carries them too (the server logs every request).
    resolve("list.m3u");
    const QList<QByteArray> log = readAll(*logPath_).split('\n');
    bool seen = false;
    for (const QByteArray& line : log) {
        if (line.contains("\"/list.m3u\"")) {
            seen = line.contains("MSIE 7.0") && line.contains("\"Pragma\": \"no-cache\"") &&
                   line.contains("\"Cache-Control\": \"no-cache\"");
        }
    }
    EXPECT_TRUE(seen);
}

TEST(PlaylistHttp, RefusedConnectionIsAConnectFailure) {
    tl::test::bypassProxyForLoopback();
    QTemporaryDir served;
    QTemporaryDir app;
    QString address;
    {
        LocalHttpServer server;
        ASSERT_TRUE(server.start(served.path()));
        address = server.url("list.pls");
    }
    const auto r = PlaylistResolver(app.path() + "/").ParsePlayList(address);
    EXPECT_TRUE(r.ConnectFailed);
    EXPECT_FALSE(QFile::exists(app.filePath("pls.dat")));
}

} // namespace
