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

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <thread>

namespace tl {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr long kMaxGrowthKb = 64 * 1024; // resident growth allowed per case
constexpr auto kFreeBound = 8s;          // "free returns promptly", widely

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
    audio::OpenFailure why; // the opening thread's
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
        o.why = engine.lastOpenFailure();
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
    using audio::ConnectFault;
    using audio::ErrorCode;
    // EndsUnplayed: ends by itself before play() (the start time-out), then plays nothing.
    // Reconnects: plays, loses its connection and reconnects by itself, still playing.
    // NewFormat: reconnects to another format and plays it (the label in `meta`).
    enum Outcome { OpenFails, Ends, EndsUnplayed, OpenFailsOrEnds, Plays, Reconnects, NewFormat };
    constexpr auto kHeld = 3s; // how long a Plays row must keep playing
    struct Row {
        const char* mode;
        Outcome outcome;
        std::optional<ErrorCode> error = {};     // for OpenFails
        ConnectFault fault = ConnectFault::None; // for OpenFails
        const char* meta = nullptr;              // the metadata text at the end, when one is due
        std::chrono::seconds playFor = kHeld;
    };
    const Row rows[] = {
        // Bodies that are not audio, of any length.
        {"zeros", OpenFails, ErrorCode::FileForm},
        {"zeros_10g", OpenFails, ErrorCode::FileForm},
        {"html", OpenFails, ErrorCode::FileForm},
        // Too slow, or silent on an open connection: the start and stall time-outs end them.
        {"trickle", OpenFails, ErrorCode::Timeout},
        {"trickle_head", OpenFails, ErrorCode::Timeout},
        {"stall_head", OpenFails, ErrorCode::Timeout},
        {"burst_trickle", EndsUnplayed},
        {"stall_body", Reconnects},
        {.mode = "stall_meta", .outcome = Reconnects, .meta = "StreamTitle='Block 0';"},
        {"meta_255", OpenFailsOrEnds},
        // Connections that end or reset, before, during and after the probe.
        {"reset_head", OpenFails, ErrorCode::FileOpen},
        {"reset_probe", OpenFailsOrEnds},
        {"close_mid", Reconnects},
        {"reset", Reconnects},
        // Replies that never reach a body.
        {"redirect_loop", OpenFails, ErrorCode::FileOpen, ConnectFault::Redirects},
        {"huge_line", OpenFails, ErrorCode::FileOpen, ConnectFault::Headers},
        {"huge_headers", OpenFails, ErrorCode::FileOpen, ConnectFault::Headers},
        // A change of codec ends the stream; a change of rate and channels plays on.
        {"codec_change", Ends},
        // A reconnection that brings another format is opened anew, whatever its label.
        {.mode = "then_aac", .outcome = NewFormat, .meta = "AAC+"},
        {.mode = "then_aac_mpeg", .outcome = NewFormat, .meta = "AAC+"},
        {.mode = "then_mp3", .outcome = NewFormat, .meta = "MP3"},
        {.mode = "rate_change", .outcome = Plays, .playFor = 9s},
        // Metadata intervals at the edges: none, every byte, one block every 2 GiB.
        {"metaint_0", Plays},
        {.mode = "metaint_1", .outcome = Plays, .meta = "StreamTitle='Metaint 1';"},
        {"metaint_2g", Plays},
        {"title_flood", Plays},
        {"many_headers", Plays},
        {"huge_name", Plays},
        {"normal", Plays},
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
            EXPECT_EQ(o.why.connect, row.fault);
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
                std::this_thread::sleep_for(row.playFor);
                EXPECT_TRUE(engine.isPlaying(o.handle));
            } else if (row.outcome == NewFormat) {
                EXPECT_TRUE(waitUntil(
                    [&] {
                        const auto f = engine.format(o.handle);
                        return f && f->label == row.meta;
                    },
                    30s));
                std::this_thread::sleep_for(kHeld);
                EXPECT_TRUE(engine.isPlaying(o.handle));
                EXPECT_FALSE(engine.hasEnded(o.handle));
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
            if (row.meta && row.outcome != NewFormat) {
                EXPECT_EQ(engine.metadata(o.handle).value_or("(none)"), row.meta);
            }
            const auto freeStart = Clock::now();
            EXPECT_TRUE(engine.streamFree(o.handle));
            EXPECT_LT(Clock::now() - freeStart, kFreeBound);
        }
        {
            std::lock_guard lock(m);
            EXPECT_LE(statusLines, 64u * 11); // 64 lines for each of up to 11 responses
            if (std::string(row.mode) == "title_flood") {
                EXPECT_GT(titles, 100u); // the flood did arrive
            }
        }
        EXPECT_LT(residentKb() - before, kMaxGrowthKb);
    }
}

// Peak resident memory since the last reset (VmHWM), in KiB; resetPeak() starts a new peak.
long peakKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double cpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// HLS streams that try to make the demuxer hold without bound: playlists too large, too
// many variants, masters naming themselves or new masters for ever, ID3 tags without end,
// live playlists that only grow. Each either plays with a peak memory of a normal play or
// fails with the cause named; what it took is printed (peak, CPU, time to free).
TEST(HostileEngine, HlsStreamsAreBoundedOrRefusedWithTheCause) {
    ASSERT_TRUE(g_hostile->up) << "hostile_server.py did not start";
    enum Outcome { Plays, OpenFails, OpenFailsOrEnds };
    struct Row {
        const char* mode;
        Outcome outcome;
        const char* detail = nullptr; // for OpenFails: part of OpenFailure::detail
        std::size_t titleAtLeast = 0; // the title that arrived has this many bytes or more
    };
    const Row rows[] = {
        {"hls_normal", Plays},
        {"hls_variants", Plays},
        {"hls_grow", Plays},
        {.mode = "hls_id3_long", .outcome = Plays, .titleAtLeast = 1000},
        {"hls_id3_many", OpenFailsOrEnds},
        {"hls_id3_flood", OpenFailsOrEnds},
        {"hls_lines", OpenFails, "larger than 1 MiB"},
        {"hls_self", OpenFails, "names itself"},
        {"hls_nest", OpenFails, "nested too deep"},
    };
    constexpr long kMaxPeakGrowthKb = 48 * 1024; // a normal HLS play's peak, widely
    audio::Engine engine;
    ASSERT_TRUE(engine.init());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        const std::string url = g_hostile->url(row.mode).toStdString() + "/live.m3u8";
        const long before = residentKb();
        resetPeak();
        const double cpuBefore = cpuSeconds();
        const auto started = Clock::now();
        audio::OpenOptions options;
        options.stallTimeout = 4s;
        options.startTimeout = 8s;
        const Opened o = openGuarded(engine, url, options);
        ASSERT_FALSE(o.hung);
        if (row.outcome == OpenFails) {
            EXPECT_EQ(o.handle, 0u);
            EXPECT_EQ(o.why.connect, audio::ConnectFault::Playlist);
            EXPECT_NE(o.why.detail.find(row.detail), std::string::npos) << o.why.detail;
        }
        if (row.outcome == Plays) {
            ASSERT_NE(o.handle, 0u) << static_cast<int>(o.error);
        }
        auto freeTook = Clock::duration::zero();
        if (o.handle != 0) {
            ASSERT_TRUE(engine.play(o.handle));
            std::this_thread::sleep_for(row.outcome == Plays ? 6s : 10s);
            if (row.outcome == Plays) {
                EXPECT_TRUE(engine.isPlaying(o.handle));
            }
            if (row.titleAtLeast > 0) {
                const std::string meta = engine.metadata(o.handle).value_or("");
                EXPECT_GE(meta.size(), row.titleAtLeast);
                EXPECT_LE(meta.size(), 1024u + 16u); // cut to the title cap
            }
            const auto freeStart = Clock::now();
            EXPECT_TRUE(engine.streamFree(o.handle));
            freeTook = Clock::now() - freeStart;
            EXPECT_LT(freeTook, kFreeBound);
        }
        const long peak = peakKb() - before;
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        std::printf("%-14s peak +%ld KiB, CPU %.0f %%, free %lld ms, after free %+ld KiB\n",
                    row.mode, peak, 100.0 * (cpuSeconds() - cpuBefore) / seconds,
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(freeTook).count()),
                    residentKb() - before);
        EXPECT_LT(peak, kMaxPeakGrowthKb);
        EXPECT_LT(residentKb() - before, kMaxGrowthKb);
    }
}

// A stream opened early (a play at start-up) is taken over by the open that asks for it and
// hands over the status lines it kept, exactly those a fresh open gives and in order; an open
// of anything else, or of a stream whose early open failed, opens anew.
TEST(HostileEngine, PreopenIsTakenOverOrOpenedAgain) {
    ASSERT_TRUE(g_hostile->up) << "hostile_server.py did not start";
    struct Row {
        const char* early; // nullptr: no early open
        const char* mode;
        bool plays;
        audio::ConnectFault fault = audio::ConnectFault::None;
    };
    const Row rows[] = {
        {nullptr, "normal", true}, // the reference lines, as a fresh open hands them out
        {"normal", "normal", true},
        {"reset_head", "reset_head", false}, // failed early: opened again, and fails again
        {"normal", "refused", false, audio::ConnectFault::Refused}, // another address
    };
    audio::Engine engine;
    // Before init, as at start-up; the first row asks for another address, so it goes.
    engine.preopen(g_hostile->url("bare").toStdString());
    ASSERT_TRUE(engine.init());
    audio::StreamHandle last = 0;
    std::vector<std::string> reference;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.early ? row.early : "-") + " then " + row.mode);
        QTcpServer closed; // a port nobody listens on once this is gone
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
        const std::string refused =
            "http://127.0.0.1:" + std::to_string(closed.serverPort()) + "/refused";
        closed.close();
        const auto url = [&](const char* mode) {
            return std::string(mode) == "refused" ? refused : g_hostile->url(mode).toStdString();
        };
        if (row.early) {
            engine.preopen(url(row.early));
            std::this_thread::sleep_for(500ms); // headers and probe happen before the open
        }
        std::mutex m;
        std::vector<std::string> lines;
        audio::OpenOptions options;
        options.onStatus = [&](const std::string& line) {
            std::lock_guard lock(m);
            lines.push_back(line.substr(0, line.find(':'))); // names: values may carry dates
        };
        const Opened o = openGuarded(engine, url(row.mode), options);
        ASSERT_FALSE(o.hung);
        EXPECT_EQ(o.handle != 0, row.plays) << static_cast<int>(o.error);
        EXPECT_EQ(o.why.connect, row.fault);
        if (o.handle != 0) {
            // Handles count up from each stream's creation: the early stream's, taken over, is
            // the one after the last; one opened anew would come after the early one's.
            if (row.early && last != 0) {
                EXPECT_EQ(o.handle, last + 1);
            }
            last = o.handle;
            EXPECT_TRUE(engine.play(o.handle));
            EXPECT_TRUE(waitUntil([&] { return engine.level(o.handle) != 0; }, 10s));
            EXPECT_TRUE(engine.streamFree(o.handle));
        }
        std::lock_guard lock(m);
        if (std::string(row.mode) == "normal") {
            if (reference.empty())
                reference = lines;
            EXPECT_EQ(lines, reference);
            EXPECT_GT(lines.size(), 2u);
        }
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

// A stream that ends (a codec change) or never gets going (trickles, stalls, resets, endless
// redirections, huge headers, no audio) ends as a refused connection does: "stopped", the play
// image back, no stream, and the player usable again. A stream that did play and then ended
// shows no failure; one that never opened says why. (A closed, reset or stalled connection
// reconnects instead.)
TEST(HostilePlayer, StreamsThatEndOrNeverStartShowStopped) {
    ASSERT_TRUE(g_hostile->up);
    struct FailingPlayer : test::ControllerHarness {
        QStringList failures;
        FailingPlayer() : ControllerHarness(Deferred{}) {
            PlayerController::Links links;
            links.showFailure = [this](const QString& text) {
                failures << text;
            };
            start(std::move(links));
        }
        ~FailingPlayer() { player.reset(); }
    };
    const struct {
        const char* mode;
        const char* failure; // the one failure shown; nullptr: none; "*": either
    } rows[] = {
        {"codec_change", nullptr},
        {"burst_trickle", nullptr},
        {"trickle", "127.0.0.1 sent no audio in time"},
        {"stall_head", "127.0.0.1 sent no audio in time"},
        {"meta_255", "*"},
        {"reset_probe", "*"},
        {"zeros_10g", "No audio in this stream"},
        {"redirect_loop", "127.0.0.1 sent a redirection that can't be followed"},
        {"huge_line", "127.0.0.1 sent too much header data"},
        {"huge_headers", "127.0.0.1 sent too much header data"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mode);
        FailingPlayer p;
        p.now.Url = g_hostile->url(row.mode);
        p.player->Button1Click();
        // Start time-out 15 s, stall time-out 15 s: wide bounds around both.
        ASSERT_TRUE(waitUntil([&] { return p.stopped(); }, 60s)) << p.trace();
        EXPECT_EQ(p.player->stateImages().play, QStringLiteral("5.png"));
        EXPECT_FALSE(p.player->controls().find(u"RecLabel")->enabled);
        EXPECT_TRUE(p.player->controls().find(u"Button1")->enabled);
        EXPECT_TRUE(waitUntil([&] { return !p.player->PlayTimer().isActive(); }, 5s));
        if (row.failure == nullptr) {
            EXPECT_TRUE(p.failures.isEmpty()) << p.failures.join(u'|').toStdString();
        } else if (std::string(row.failure) != "*") {
            EXPECT_EQ(p.failures.join(u'|').toStdString(), row.failure);
        }

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
