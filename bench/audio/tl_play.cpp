// tl_play: opens a stream with the audio engine the way the player does (connect, buffer to
// more than 85 %, play) and plays it until SIGINT/SIGTERM or for a given number of seconds.
// Used by first_audio.sh to measure the engine on its own and for trying streams by hand. With
// TL_TIMELINE set it prints the stages of the start (audio/stage_log.h).
//
//   tl_play URL [seconds] [-v]

#include "audio/engine.h"
#include "audio/stage_log.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {
std::atomic<bool> quit{false};
void onSignal(int) {
    quit = true;
}
} // namespace

int main(int argc, char** argv) {
    tl::audio::markStage("main");
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s URL [seconds] [-v]\n", argv[0]);
        return 2;
    }
    const std::string url = argv[1];
    double seconds = 0;
    bool verbose = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "-v") == 0)
            verbose = true;
        else
            seconds = std::atof(argv[i]);
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    const auto t0 = std::chrono::steady_clock::now();
    auto ms = [&] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
            .count();
    };

    tl::audio::Engine engine;
    if (!engine.init()) {
        std::fprintf(stderr, "init failed (error %d)\n", static_cast<int>(engine.errorCode()));
        return 1;
    }
    tl::audio::OpenOptions options;
    if (verbose)
        options.onStatus = [&](const std::string& t) {
            std::printf("%8.1f status %s\n", ms(), t.c_str());
        };
    tl::audio::markStage("resolved"); // nothing to resolve: the address is the stream
    const auto stream = engine.streamCreateUrl(url, options);
    if (!stream) {
        std::fprintf(stderr, "open failed (error %d)\n", static_cast<int>(engine.errorCode()));
        return 1;
    }
    tl::audio::markStage("opened");
    const auto format = engine.format(stream);
    if (verbose)
        std::printf("%8.1f opened %s (kind %d)\n", ms(), format ? format->label.c_str() : "?",
                    format ? format->kind : -1);
    using tl::audio::FilePosition;
    for (;;) {
        const uint32_t end = engine.filePosition(stream, FilePosition::End);
        if (end == tl::audio::kNoEnd || end == 0 || quit)
            break;
        const uint32_t progress = (engine.filePosition(stream, FilePosition::Download) -
                                   engine.filePosition(stream, FilePosition::Current)) *
                                  100 / end;
        if (progress > 85)
            break;
        engine.waitForData(stream, std::chrono::milliseconds(100));
    }
    tl::audio::markStage("buffered");
    if (verbose)
        std::printf("%8.1f buffered\n", ms());
    engine.setMetaCallback(stream, [&](const std::string& m) {
        if (verbose)
            std::printf("%8.1f meta %s\n", ms(), m.c_str());
    });
    engine.play(stream);
    tl::audio::markStage("play");
    while (!quit && (seconds <= 0 || ms() < seconds * 1000)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (verbose && (ms() < 2000 || static_cast<int>(ms()) % 1000 < 100))
            std::printf("%8.1f level %08x fill %u/%u\n", ms(), engine.level(stream),
                        engine.filePosition(stream, FilePosition::Download) -
                            engine.filePosition(stream, FilePosition::Current),
                        engine.filePosition(stream, FilePosition::End));
        std::fflush(stdout);
    }
    const auto before = std::chrono::steady_clock::now();
    engine.streamFree(stream);
    if (verbose)
        std::printf("free took %.1f ms\n", std::chrono::duration<double, std::milli>(
                                               std::chrono::steady_clock::now() - before)
                                               .count());
    return 0;
}
