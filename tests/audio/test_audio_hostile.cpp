// The engine and the player's stream worker against servers that misbehave on purpose
// (tests/services/hostile_server.py, one mode per path): endless non-audio bodies, trickles,
// floods of titles and headers, streams that end, reset or change codec. Memory and time are
// checked only as wide bounds ("did not grow without limit", "did not hang").

#include "../player/controller_harness.h"
#include "../services/hostile_service.h"
#include "audio/engine.h"
#include "player/player_controller.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <thread>

namespace tl {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr long kMaxGrowthKb = 200 * 1024; // resident growth allowed per case
constexpr auto kFreeBound = 8s;           // "free returns promptly", widely

bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!pred()) {
        if (Clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

test::HostileService* g_hostile = static_cast<test::HostileService*>(
    ::testing::AddGlobalTestEnvironment(new test::HostileService));

// streamCreateUrl on a thread of its own, cancelled if it has not returned by `guard`: a
// hang shows as a failure instead of a stuck test.
struct Opened {
    audio::StreamHandle handle = 0;
    audio::ErrorCode error = audio::ErrorCode::Ok;
    bool hung = false;
};

Opened openGuarded(audio::Engine& engine, const std::string& url, const audio::OpenOptions& options,
                   std::chrono::seconds guard = 40s) {
    std::stop_source stop;
    std::promise<Opened> promise;
    auto result = promise.get_future();
    std::thread opener([&] {
        Opened o;
        o.handle = engine.streamCreateUrl(url, options, stop.get_token());
        o.error = engine.errorCode();
        promise.set_value(o);
    });
    Opened o;
    if (result.wait_for(guard) != std::future_status::ready) {
        stop.request_stop();
        o = result.get();
        o.hung = true;
    } else {
        o = result.get();
    }
    opener.join();
    return o;
}

// ---- the engine on its own ------------------------------------------------------------------

TEST(HostileEngine, EveryCaseEndsWithBoundedMemoryAndAPromptFree) {
    ASSERT_TRUE(g_hostile->up) << "hostile_server.py did not start";
    using audio::ErrorCode;
    // EndsUnplayed: ends by itself before play() (the start time-out), then plays nothing.
    // Reconnects: plays, loses its connection and reconnects by itself, still playing.
    enum Outcome { OpenFails, Ends, EndsUnplayed, OpenFailsOrEnds, Plays, Reconnects };
    struct Row {
        const char* mode;
        Outcome outcome;
        std::optional<ErrorCode> error; // for OpenFails
    };
    const Row rows[] = {
        {"zeros", OpenFails, ErrorCode::FileForm},
        {"html", OpenFails, ErrorCode::FileForm},
        {"trickle", OpenFails, ErrorCode::Timeout},
        {"trickle_head", OpenFails, ErrorCode::Timeout},
        {"close_mid", Reconnects, {}},
        {"reset", Reconnects, {}},
        {"codec_change", Ends, {}},
        {"burst_trickle", EndsUnplayed, {}},
        {"meta_255", OpenFailsOrEnds, {}},
        {"title_flood", Plays, {}},
        {"many_headers", Plays, {}},
        {"huge_name", Plays, {}},
        {"normal", Plays, {}},
    };
    audio::Engine engine;
    ASSERT_TRUE(engine.init());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        const long before = residentKb();
        std::mutex m;
        std::size_t statusLines = 0;
        std::size_t titles = 0;
        std::size_t reconnects = 0;
        audio::OpenOptions options;
        options.onReconnect = [&](bool reconnecting) {
            std::lock_guard lock(m);
            reconnects += reconnecting ? 1 : 0;
        };
        options.stallTimeout = 4s;
        options.startTimeout = 4s;
        options.onStatus = [&](const std::string&) {
            std::lock_guard lock(m);
            ++statusLines;
        };
        const Opened o = openGuarded(engine, g_hostile->url(row.mode).toStdString(), options);
        ASSERT_FALSE(o.hung);
        if (row.outcome == OpenFails) {
            EXPECT_EQ(o.handle, 0u);
            EXPECT_EQ(o.error, *row.error);
        }
        if (row.outcome != OpenFails && row.outcome != OpenFailsOrEnds) {
            ASSERT_NE(o.handle, 0u) << static_cast<int>(o.error);
        }
        if (o.handle != 0) {
            engine.setMetaCallback(o.handle, [&](const std::string& meta) {
                EXPECT_LE(meta.size(), 255u * 16);
                std::lock_guard lock(m);
                ++titles;
            });
            const auto headers = engine.icyHeaders(o.handle);
            EXPECT_LE(headers.size(), 64u);
            for (const std::string& h : headers)
                EXPECT_LE(h.size(), 64u + 1024u);
            if (row.outcome == EndsUnplayed) {
                EXPECT_TRUE(waitUntil([&] { return engine.hasEnded(o.handle); }, 20s));
            }
            ASSERT_TRUE(engine.play(o.handle));
            if (row.outcome == Plays) {
                std::this_thread::sleep_for(3s);
                EXPECT_TRUE(engine.isPlaying(o.handle));
            } else if (row.outcome == Reconnects) {
                EXPECT_TRUE(waitUntil(
                    [&] {
                        std::lock_guard lock(m);
                        return reconnects > 0;
                    },
                    40s));
                EXPECT_TRUE(engine.isPlaying(o.handle));
                EXPECT_FALSE(engine.hasEnded(o.handle));
            } else {
                EXPECT_TRUE(waitUntil([&] { return !engine.isPlaying(o.handle); }, 40s));
                EXPECT_TRUE(engine.hasEnded(o.handle));
            }
            const auto freeStart = Clock::now();
            EXPECT_TRUE(engine.streamFree(o.handle));
            EXPECT_LT(Clock::now() - freeStart, kFreeBound);
        }
        {
            std::lock_guard lock(m);
            EXPECT_LE(statusLines, 64u);
            if (std::string(row.mode) == "title_flood") {
                EXPECT_GT(titles, 100u); // the flood did arrive
            }
        }
        EXPECT_LT(residentKb() - before, kMaxGrowthKb);
    }
}

TEST(HostileEngine, MmshAndMmstGoToTheirOwnProtocol) {
    audio::Engine engine;
    ASSERT_TRUE(engine.init());
    for (const char* scheme : {"mmsh", "mmst", "MMSH"}) {
        SCOPED_TRACE(scheme);
        QTcpServer listener;
        ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
        audio::OpenOptions options;
        options.connectTimeout = 3s;
        options.startTimeout = 5s;
        std::future<Opened> open = std::async(std::launch::async, [&] {
            return openGuarded(engine,
                               std::string(scheme) +
                                   "://127.0.0.1:" + std::to_string(listener.serverPort()) + "/tv",
                               options, 20s);
        });
        // libcurl would refuse the scheme without connecting; FFmpeg's protocol connects.
        ASSERT_TRUE(listener.waitForNewConnection(10000));
        QTcpSocket* peer = listener.nextPendingConnection();
        ASSERT_NE(peer, nullptr);
        if (QString::fromLatin1(scheme).toLower() == u"mmsh") {
            ASSERT_TRUE(peer->waitForReadyRead(5000));
            EXPECT_TRUE(peer->readAll().startsWith("GET /tv"));
        }
        peer->close();
        const Opened o = open.get();
        EXPECT_FALSE(o.hung);
        EXPECT_EQ(o.handle, 0u);
    }
}

// SDL takes over SIGINT and SIGTERM only where they still have their default action, which
// is how a program starts; the program installs its own handling after the engine.
TEST(HostileEngine, InitLeavesSigintAndSigtermAlone) {
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        sigemptyset(&byDefault.sa_mask);
        struct sigaction previous {};
        ASSERT_EQ(sigaction(sig, &byDefault, &previous), 0);
        {
            audio::Engine engine;
            ASSERT_TRUE(engine.init());
            struct sigaction now {};
            sigaction(sig, nullptr, &now);
            EXPECT_EQ(now.sa_handler, SIG_DFL);
        }
        sigaction(sig, &previous, nullptr);
    }
}

// ---- the player's stream worker -------------------------------------------------------------

using Player = test::ControllerHarness;

// The buffering loop of the real worker, fed positions through the engine's seam: it plays
// once the fill passes 85 %, and stops waiting for an end of 0 or "no end".
TEST(HostilePlayer, BufferingFollowsTheEnginePositions) {
    ASSERT_TRUE(g_hostile->up);
    struct Row {
        uint32_t end, download, current;
        bool plays;
        const char* shown; // a buffering text the info line must show, or nullptr
    };
    const Row rows[] = {
        {100, 85, 0, false, "buffering... 85%"},
        {100, 86, 0, true, "buffering... 86%"},
        {1000, 1000, 0, true, "buffering... 100%"},
        {100, 5, 0xFFFFFFF0u, false, "buffering... 21%"}, // the positions wrapped
        {0, 50, 0, true, nullptr},
        {audio::kNoEnd, 50, 0, true, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.end << " " << row.download << " " << row.current);
        Player p;
        p.engine.setPositionSourceForTesting(
            [row](audio::StreamHandle, audio::FilePosition which) -> std::optional<uint32_t> {
                switch (which) {
                case audio::FilePosition::End:
                    return row.end;
                case audio::FilePosition::Download:
                    return row.download;
                case audio::FilePosition::Current:
                    return row.current;
                }
                return std::nullopt;
            });
        p.now.Url = g_hostile->url("normal");
        p.player->Button1Click();
        if (row.plays) {
            ASSERT_TRUE(waitUntil([&] { return p.playing(); }, 20s)) << p.trace();
        } else {
            // Still buffering well after the server's burst has filled the real ring.
            ASSERT_TRUE(waitUntil([&] { return p.infoLines.contains(row.shown); }, 20s))
                << p.trace();
            waitUntil([] { return false; }, 2s);
            EXPECT_TRUE(p.player->Busy()) << p.trace();
            EXPECT_EQ(p.caption("Label4"), QString::fromLatin1(row.shown));
        }
        if (row.shown)
            EXPECT_TRUE(p.infoLines.contains(row.shown)) << p.trace();
        else
            EXPECT_TRUE(p.infoLines.filter(QStringLiteral("buffering")).isEmpty()) << p.trace();
        p.player->shutdown();
    }
}

// A stream that ends (a codec change) or never gets going (one byte a second, before or after a
// burst) ends as a refused connection does: "stopped", the play image back, no stream, and the
// player usable again. (A closed or reset connection reconnects instead.)
TEST(HostilePlayer, StreamsThatEndOrTrickleStopAsAFailedConnection) {
    ASSERT_TRUE(g_hostile->up);
    for (const char* mode : {"codec_change", "trickle", "burst_trickle"}) {
        SCOPED_TRACE(mode);
        Player p;
        p.now.Url = g_hostile->url(mode);
        p.player->Button1Click();
        // Start time-out 15 s, stall time-out 15 s: wide bounds around both.
        ASSERT_TRUE(waitUntil([&] { return p.stopped(); }, 60s)) << p.trace();
        EXPECT_EQ(p.player->stateImages().play, QStringLiteral("5.png"));
        EXPECT_FALSE(p.player->controls().find(u"RecLabel")->enabled);
        EXPECT_TRUE(p.player->controls().find(u"Button1")->enabled);
        EXPECT_TRUE(waitUntil([&] { return !p.player->PlayTimer().isActive(); }, 5s));

        p.now.Url = g_hostile->url("normal");
        p.player->Button1Click();
        EXPECT_TRUE(waitUntil([&] { return p.playing(); }, 20s)) << p.trace();
        p.player->shutdown();
    }
}

} // namespace
} // namespace tl

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
