// bench_stop_latency: how long a stop takes against a server that has stopped answering, for
// each hung mode of tests/services/hostile_server.py, measured from the press to the return.
//
// Engine: the stream is opened on a thread of its own; when the open is still hanging after a
// moment, the press cancels it (the stop token streamCreateUrl watches) and the figure is the
// time until streamCreateUrl returns. When it opened, it plays and the press is streamFree.
// Player: the play command runs against the mode; when the stream plays, the press is the play
// button (Button1Click stops); while it is still connecting the button is ignored by design,
// so the press is closing the player (shutdown), which must end the worker and its stream.
//
//   bench_stop_latency [presses] [mode...]        (default 20 presses, every hung mode)
//
// Prints the median, the 90th percentile and the maximum per mode and level in milliseconds.

#include "../../tests/player/controller_harness.h"
#include "../../tests/services/hostile_server.h"
#include "audio/engine.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::duration<double, std::milli>;

// Every mode in which the server holds the connection open while sending (nearly) nothing.
constexpr const char* kHungModes[] = {"stall_head", "trickle_head", "trickle",      "meta_255",
                                      "stall_body", "stall_meta",   "burst_trickle"};
constexpr auto kSettle = 400ms; // how long the server has been silent before the press

void pump(std::chrono::milliseconds for_) {
    const auto end = Clock::now() + for_;
    while (Clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(2ms);
    }
}

struct Press {
    double ms;
    const char* what; // which press it was
};

Press enginePress(tl::audio::Engine& engine, const std::string& url) {
    tl::audio::OpenOptions options; // the player's time-outs: nothing ends by itself here
    std::stop_source stop;
    std::promise<tl::audio::StreamHandle> opened;
    auto result = opened.get_future();
    std::thread opener(
        [&] { opened.set_value(engine.streamCreateUrl(url, options, stop.get_token())); });
    Press press{0, ""};
    if (result.wait_for(kSettle) == std::future_status::ready) {
        const tl::audio::StreamHandle handle = result.get();
        if (handle != 0) {
            engine.play(handle);
            std::this_thread::sleep_for(kSettle);
            const auto t0 = Clock::now();
            engine.streamFree(handle);
            press = {Ms(Clock::now() - t0).count(), "free"};
        } else {
            press = {-1, "failed"};
        }
    } else {
        const auto t0 = Clock::now();
        stop.request_stop();
        result.wait();
        press = {Ms(Clock::now() - t0).count(), "cancel open"};
    }
    opener.join();
    return press;
}

Press playerPress(const QString& url) {
    tl::test::ControllerHarness p;
    if (!p.engine.isInitialised())
        return {-1, "no output"};
    p.now.Url = url;
    p.player->Button1Click();
    const auto deadline = Clock::now() + kSettle * 3;
    while (!p.playing() && Clock::now() < deadline) {
        pump(10ms);
    }
    pump(kSettle);
    const auto t0 = Clock::now();
    if (p.playing()) {
        p.player->Button1Click();
        const double ms = Ms(Clock::now() - t0).count();
        return {ms, p.player->StreamHandle() == 0 ? "play button" : "play button (ignored)"};
    }
    p.player->shutdown();
    return {Ms(Clock::now() - t0).count(), "close while opening"};
}

void report(const char* level, const char* mode, std::vector<Press> presses) {
    std::sort(presses.begin(), presses.end(),
              [](const Press& a, const Press& b) { return a.ms < b.ms; });
    std::string kinds;
    for (const Press& p : presses) {
        if (kinds.find(p.what) == std::string::npos)
            kinds += (kinds.empty() ? "" : ", ") + std::string(p.what);
    }
    std::printf("%-7s %-14s %3zu presses  median %6.1f ms  p90 %6.1f ms  max %6.1f ms  (%s)\n",
                level, mode, presses.size(), presses[presses.size() / 2].ms,
                presses[presses.size() * 9 / 10].ms, presses.back().ms, kinds.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int presses = 20;
    std::vector<std::string> modes;
    for (int i = 1; i < argc; ++i) {
        if (std::atoi(argv[i]) > 0)
            presses = std::atoi(argv[i]);
        else
            modes.emplace_back(argv[i]);
    }
    if (modes.empty())
        modes.assign(std::begin(kHungModes), std::end(kHungModes));

    tl::test::HostileServer server;
    const QString failed =
        server.start(QStringLiteral(TL_SOURCE_DIR "/tests/services/hostile_server.py"));
    if (!failed.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(failed));
        return 1;
    }
    std::printf("press-to-return against hung servers, %d presses per mode\n", presses);
    {
        // Gone before the player's engines start: some drivers (SDL's dummy) allow one device
        // per process at a time.
        tl::audio::Engine engine;
        if (!engine.init()) {
            std::fprintf(stderr, "no audio output (SDL_AUDIODRIVER=dummy works)\n");
            return 1;
        }
        for (const std::string& mode : modes) {
            const std::string url = server.url(mode.c_str()).toStdString();
            std::vector<Press> e;
            for (int i = 0; i < presses; ++i)
                e.push_back(enginePress(engine, url));
            report("engine", mode.c_str(), e);
        }
    }
    for (const std::string& mode : modes) {
        std::vector<Press> p;
        for (int i = 0; i < presses; ++i)
            p.push_back(playerPress(server.url(mode.c_str())));
        report("player", mode.c_str(), p);
    }
    return 0;
}
