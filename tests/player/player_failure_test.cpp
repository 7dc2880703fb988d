// Why a station did not play: the play command against a refused port, a local server's 404,
// a file that is not audio and a playlist without addresses ends in "stopped" and reports the
// reason through the failure link, never through the title notifications; a stop asked for
// reports nothing.

#include "../common/local_http_server.h"
#include "controller_harness.h"
#include "directory/playlist.h"
#include "player/player_controller.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tl;

namespace {

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

struct Player : test::ControllerHarness {
    PlaylistResolver resolver{dir.path() + u'/'};
    QStringList failures;
    QStringList notifications;

    Player() : ControllerHarness(Deferred{}) {
        PlayerController::Links links;
        links.parsePlayList = [this](const QString& address) {
            return resolver.ParsePlayList(address);
        };
        links.showFailure = [this](const QString& text) {
            failures << text;
        };
        links.showNotification = [this](const QString& text) {
            notifications << text;
        };
        start(std::move(links));
    }
    ~Player() { player.reset(); }
};

} // namespace

TEST(PlayerFailure, ReasonsReachTheFailureLinkAndTheInfoLineSaysStopped) {
    test::bypassProxyForLoopback();
    QTemporaryDir root;
    ASSERT_TRUE(writeFile(root.filePath(QStringLiteral("empty.pls")),
                          "[playlist]\r\nNumberOfEntries=0\r\nVersion=2\r\n"));
    ASSERT_TRUE(writeFile(root.filePath(QStringLiteral("letter.mp3")),
                          QByteArray("Dear listener, this is no sound at all.\n").repeated(400)));
    test::LocalHttpServer server;
    ASSERT_TRUE(server.start(root.path()));

    const struct {
        QString url;
        QString reason; // empty: nothing is reported
    } rows[] = {
        {QStringLiteral("http://127.0.0.1:%1/live.mp3").arg(freePort()),
         QStringLiteral("Can't connect to 127.0.0.1: connection refused")},
        {server.url(QStringLiteral("missing.mp3")),
         QStringLiteral("Server answered 404 Not Found")},
        {server.url(QStringLiteral("letter.mp3")), QStringLiteral("No audio in this stream")},
        {server.url(QStringLiteral("empty.pls")),
         QStringLiteral("Playlist holds no stream address")},
        // The playlist itself cannot be fetched: the resolver's own message, once.
        {QStringLiteral("http://localhost:%1/list.pls").arg(freePort()),
         QStringLiteral("Can't connect to internet!")},
        // Not an address at all, and nothing resolved it: nothing to explain.
        {QString(), QString()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url.toStdString());
        Player p;
        p.now.Url = row.url;
        p.player->Button1Click();
        ASSERT_TRUE(test::waitUntil([&] { return !p.player->Busy(); }, 30000));
        EXPECT_EQ(p.info(), QStringLiteral("stopped"));
        EXPECT_EQ(p.failures, row.reason.isEmpty() ? QStringList{} : QStringList{row.reason});
        EXPECT_TRUE(p.notifications.isEmpty()) << p.notifications.join(u'|').toStdString();
        EXPECT_EQ(p.player->StreamHandle(), 0u);
    }

    // A server that never answers, and the player closed while it connects: nothing to report.
    Player p;
    p.now.Url = server.url(QStringLiteral("hang.mp3"));
    p.player->Button1Click();
    ASSERT_TRUE(test::waitUntil([&] { return p.info() == QStringLiteral("connecting..."); }));
    p.player->shutdown();
    QCoreApplication::processEvents();
    EXPECT_TRUE(p.failures.isEmpty()) << p.failures.join(u'|').toStdString();
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
