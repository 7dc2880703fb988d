// The play command against servers that misbehave on purpose (tests/services/hostile_server.py)
// and against a refused port: the window keeps answering, titles and header lines cannot flood
// the UI thread, and what the headers say reaches the labels cleaned and cut.

#include "../services/hostile_service.h"
#include "common/text.h"
#include "controller_harness.h"
#include "player/player_controller.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

using namespace tl;

namespace {

using test::freePort;
test::HostileService* g_hostile = static_cast<test::HostileService*>(
    ::testing::AddGlobalTestEnvironment(new test::HostileService));

struct Player : test::ControllerHarness {
    int notifications = 0;

    Player() : ControllerHarness(Deferred{}) {
        PlayerController::Links links;
        links.showNotification = [this](const QString&) {
            ++notifications;
        };
        start(std::move(links));
    }
    ~Player() { player.reset(); }
};

} // namespace

// A click queued just as a failed open hands Busy back must never meet a worker that still
// waits for the UI thread. A watchdog ends the test if the UI thread stops answering.
TEST(PlayerHostile, RapidPressesAfterRefusedConnectionsKeepTheWindowAnswering) {
    Player p;
    p.now.Url = QStringLiteral("http://127.0.0.1:%1/refused.mp3").arg(freePort());
    std::atomic<int> heartbeat{0};
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        int seen = -1;
        int still = 0;
        while (!done) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            const int now = heartbeat.load();
            still = now == seen ? still + 1 : 0;
            seen = now;
            if (still > 300) { // 30 s without one event handled
                std::fprintf(stderr, "the UI thread stopped answering (deadlock)\n");
                std::fflush(stderr);
                ::kill(static_cast<pid_t>(g_hostile->server.processId()), SIGKILL);
                std::_Exit(1);
            }
        }
    });
    int cycles = 0;
    bool wasBusy = false;
    QTimer presser;
    presser.setInterval(0);
    QObject::connect(&presser, &QTimer::timeout, [&] {
        ++heartbeat;
        if (wasBusy && !p.player->Busy()) {
            ++cycles;
        }
        p.player->Button1Click();
        p.player->Button1Click();
        wasBusy = p.player->Busy();
    });
    presser.start();
    QElapsedTimer clock;
    clock.start();
    while (cycles < 400 && clock.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    presser.stop();
    const bool settled = test::waitUntil(
        [&] { return !p.player->Busy() && p.player->controls().find(u"Button1")->enabled; }, 20000);
    done = true;
    watchdog.join();
    EXPECT_GT(cycles, 20);
    ASSERT_TRUE(settled);
    EXPECT_EQ(p.caption("Label4"), QStringLiteral("stopped"));
    EXPECT_TRUE(p.player->Timer1().isActive());
}

// The labels come from the stream's own headers; a burst of header lines costs few repaints.
// Without icy-name and icy-br (a plain HTTP server) the info line shows the name the station
// was chosen by, and the labels what the codec says.
TEST(PlayerHostile, HeadersReachTheLabelsCleanedWithFewRepaints) {
    const struct {
        const char* mode;
        const char* format;
        QString info;
    } rows[] = {
        {"normal", "MP3", QStringLiteral("Hostile Radio")},
        {"normal_aac", "AAC+", QStringLiteral("Spaced AAC Radio")},
        {"many_headers", "MP3", QStringLiteral("Hostile Radio")},
        {"huge_name", "MP3", QString(kMaxNetworkTextLength, u'N')},
        {"bare", "MP3", QStringLiteral("Chosen Name")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mode);
        Player p;
        p.now.Url = g_hostile->url(row.mode);
        p.now.StationName = QStringLiteral("Chosen Name");
        p.player->Button1Click();
        ASSERT_TRUE(test::waitUntil([&] { return p.playing(); }, 30000));
        EXPECT_EQ(p.caption("Label8"), QString::fromLatin1(row.format));
        EXPECT_EQ(p.now.Bitrate, QStringLiteral("128 kbps"));
        EXPECT_EQ(p.caption("Label5"), QStringLiteral("128 kbps"));
        EXPECT_EQ(p.caption("Label4"), row.info);
        EXPECT_EQ(p.now.Info, row.info);
        // Connecting, a few buffering steps, the headers at once, the title: far below one
        // repaint per header line.
        EXPECT_LE(p.refreshes, 40);
        p.player->Button1Click();
    }
}

// A new title in every metadata block: the window sees at most the newest title per tick,
// the log gets at most one line per title shown, and ending the stream does not wait for a
// queue of titles to drain.
TEST(PlayerHostile, TitleFloodIsCoalesced) {
    Player p;
    ASSERT_TRUE(p.player->titleLog().open(p.dir.filePath(QStringLiteral("Tunelark.log"))));
    p.now.Url = g_hostile->url("title_flood");
    p.player->Button1Click();
    ASSERT_TRUE(test::waitUntil([&] { return p.playing(); }, 30000));
    QElapsedTimer clock;
    clock.start();
    test::waitUntil([] { return false; }, 3000);
    const qint64 ticks = clock.elapsed() / 100 + 1;
    EXPECT_GE(p.notifications, 2);
    EXPECT_LE(p.notifications, ticks + 3);
    EXPECT_TRUE(p.caption("Label3").startsWith(u"Flood title "))
        << p.caption("Label3").toStdString();

    clock.restart();
    p.player->shutdown();
    EXPECT_LT(clock.elapsed(), 10000);
    QFile log(p.dir.filePath(QStringLiteral("Tunelark.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_LE(log.readAll().count('\n'), p.notifications);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
