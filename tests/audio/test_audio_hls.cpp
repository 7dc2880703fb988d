// The engine against live HLS streams made by ffmpeg's hls muxer (tests/services/hls.sh):
// the variant with the highest bandwidth is the one heard, AAC and MP3 segments, titles from
// the segments' ID3 tags, and nothing hangs: stop, a missing playlist, segments that vanish,
// a playlist that stops growing, and a segment address the whitelist refuses. Output goes to
// SDL's dummy driver, which still pulls samples in real time.

#include "audio/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace tl::audio {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kHangGuard = 8s; // "did not hang"; never a timing assertion

const std::string kServices = std::string(TL_SOURCE_DIR) + "/tests/services/";

template <class Pred> bool waitUntil(Pred pred, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!pred()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

void writeFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

class HlsService : public ::testing::Environment {
public:
    void SetUp() override {
        char tmpl[] = "/tmp/tl-hls-XXXXXX";
        if (!mkdtemp(tmpl))
            return;
        dir = tmpl;
        const std::string out = (dir / "start.out").string();
        const std::string cmd =
            "bash '" + kServices + "hls.sh' start '" + dir.string() + "' > '" + out + "'";
        if (std::system(cmd.c_str()) != 0)
            return;
        std::ifstream in(out);
        std::string word;
        in >> word >> port;
        up = word == "PORT" && port > 0;
    }
    void TearDown() override {
        if (!dir.empty()) {
            std::system(("bash '" + kServices + "hls.sh' stop '" + dir.string() + "'").c_str());
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port) + "/" + path;
    }
    fs::path www() const { return dir / "www"; }

    fs::path dir;
    int port = 0;
    bool up = false;
};

HlsService* hls = static_cast<HlsService*>(::testing::AddGlobalTestEnvironment(new HlsService));

#define REQUIRE_HLS() ASSERT_TRUE(hls->up) << "tests/services/hls.sh did not start"

struct Titles {
    std::mutex m;
    std::vector<std::string> items;
    void add(const std::string& s) {
        std::lock_guard lock(m);
        items.push_back(s);
    }
    bool has(const std::string& prefix) {
        std::lock_guard lock(m);
        return std::any_of(items.begin(), items.end(),
                           [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
    }
};

class HlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_HLS();
        ASSERT_TRUE(engine.init());
    }
    // The spectrum's strongest bin, once the output has played for a while.
    std::size_t peakBin(StreamHandle h) {
        std::array<float, 512> spectrum{};
        std::size_t peak = 0;
        waitUntil(
            [&] {
                engine.fft1024(h, spectrum);
                peak = static_cast<std::size_t>(std::max_element(spectrum.begin(), spectrum.end()) -
                                                spectrum.begin());
                return spectrum[peak] > 0.02f;
            },
            10s);
        return peak;
    }
    Engine engine;
};

TEST_F(HlsTest, PlaysTheStreamsWithFormatBitrateAndTitle) {
    const struct {
        const char* path;
        int kind;
        const char* label;
        int64_t bitRate;   // the format's, bit/s; -1: whatever FFmpeg estimates
        double hz;         // the tone of the variant that must be heard
        const char* title; // "" = none expected
    } rows[] = {
        // Two variants: 64 kbit/s at 550 Hz, 128 kbit/s (BANDWIDTH 140800) at 880 Hz.
        {"aac/master.m3u8", 1, "AAC+", 140800, 880, ""},
        {"aac/v0.m3u8", 1, "AAC+", -1, 550, ""},
        {"mp3/live.m3u8", 0, "MP3", 128000, 660, ""},
        // No .m3u8 in the address: the reply's type and body show the playlist.
        {"as-hls/mp3/live", 0, "MP3", 128000, 660, ""},
        {"id3/live.m3u8", 1, "AAC+", -1, 440, "StreamTitle='ID3 Artist - Song "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        Titles titles;
        const StreamHandle h = engine.streamCreateUrl(hls->url(row.path), {});
        ASSERT_NE(h, 0u) << static_cast<int>(engine.errorCode());
        engine.setMetaCallback(h, [&titles](const std::string& t) { titles.add(t); });
        const auto format = engine.format(h);
        ASSERT_TRUE(format);
        EXPECT_EQ(format->kind, row.kind);
        EXPECT_EQ(format->label, row.label);
        EXPECT_EQ(engine.filePosition(h, FilePosition::End), kNoEnd);
        if (row.bitRate >= 0) {
            EXPECT_EQ(format->bitRate, row.bitRate);
        }
        ASSERT_TRUE(engine.play(h));
        const double bin = row.hz * 1024 / kOutputRate;
        const std::size_t peak = peakBin(h);
        EXPECT_GE(static_cast<double>(peak), bin - 1.5);
        EXPECT_LE(static_cast<double>(peak), bin + 1.5);
        if (*row.title) {
            const std::string meta = engine.metadata(h).value_or("");
            EXPECT_TRUE(meta.rfind(row.title, 0) == 0) << meta;
            // The title changes every third segment; each change arrives (FFmpeg alone would
            // keep the first segment's for ever).
            EXPECT_TRUE(waitUntil(
                [&] { return titles.has(row.title) && engine.metadata(h).value_or("") != meta; },
                20s))
                << meta;
        }
        const auto before = Clock::now();
        EXPECT_TRUE(engine.streamFree(h));
        EXPECT_LT(Clock::now() - before, kHangGuard);
    }
}

// The server accepts the playlist request and never answers: a stop ends the wait.
TEST_F(HlsTest, StopWhileOpeningReturns) {
    std::stop_source stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(500ms);
        stop.request_stop();
    });
    const auto before = Clock::now();
    const StreamHandle h = engine.streamCreateUrl(hls->url("hang/live.m3u8"), {}, stop.get_token());
    stopper.join();
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(engine.errorCode(), ErrorCode::Cancelled);
    EXPECT_LT(Clock::now() - before, kHangGuard);
}

// Broken streams end (open fails, or the stream stops playing) within wide bounds.
TEST_F(HlsTest, BrokenStreamsEndWithoutHanging) {
    const fs::path broken = hls->www() / "broken";
    fs::create_directories(broken);
    // A live playlist (no end tag) whose segments are all missing.
    writeFile(broken / "gone.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:9\n"
                                    "#EXTINF:2,\nx9.ts\n#EXTINF:2,\nx10.ts\n");
    // A segment the protocol whitelist refuses: no local file is ever read.
    writeFile(broken / "local.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n"
                                     "file:///etc/passwd\n#EXT-X-ENDLIST\n");
    // A live playlist that stops growing after its two segments: they play, then the stream
    // ends once no audio came for the stall time-out.
    for (const char* seg : {"seg0.aac", "seg1.aac"}) {
        std::error_code ec;
        fs::copy_file(hls->www() / "id3" / seg, broken / seg, ec);
    }
    const bool haveSegments = fs::exists(broken / "seg1.aac");
    writeFile(broken / "frozen.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:0\n"
                                      "#EXTINF:2,\nseg0.aac\n#EXTINF:2,\nseg1.aac\n");

    OpenOptions quick;
    quick.stallTimeout = 3s;
    quick.startTimeout = 6s;
    for (const char* path : {"broken/missing.m3u8", "broken/gone.m3u8", "broken/local.m3u8"}) {
        SCOPED_TRACE(path);
        const auto before = Clock::now();
        EXPECT_EQ(engine.streamCreateUrl(hls->url(path), quick), 0u);
        EXPECT_NE(engine.errorCode(), ErrorCode::Ok);
        EXPECT_LT(Clock::now() - before, quick.startTimeout + kHangGuard);
    }

    ASSERT_TRUE(haveSegments);
    const StreamHandle h = engine.streamCreateUrl(hls->url("broken/frozen.m3u8"), quick);
    ASSERT_NE(h, 0u) << static_cast<int>(engine.errorCode());
    ASSERT_TRUE(engine.play(h));
    EXPECT_TRUE(waitUntil([&] { return !engine.isPlaying(h); }, 4s + quick.stallTimeout + 20s));
    EXPECT_TRUE(engine.hasEnded(h));
    engine.streamFree(h);
}

// Segments removed from under a playing stream: it skips them and plays on, or ends; it never
// hangs, and stop still returns.
TEST_F(HlsTest, RemovedSegmentsDoNotHang) {
    OpenOptions quick;
    quick.stallTimeout = 4s;
    const StreamHandle h = engine.streamCreateUrl(hls->url("mp3/live.m3u8"), quick);
    ASSERT_NE(h, 0u) << static_cast<int>(engine.errorCode());
    ASSERT_TRUE(engine.play(h));
    for (int round = 0; round < 3; ++round) {
        std::this_thread::sleep_for(1500ms);
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(hls->www() / "mp3", ec))
            if (entry.path().extension() == ".ts")
                fs::remove(entry.path(), ec);
    }
    // Either way is fine: new segments keep it going, or it ends once nothing came.
    std::this_thread::sleep_for(quick.stallTimeout + 2s);
    const bool playsOn = engine.isPlaying(h) && !engine.hasEnded(h);
    std::fprintf(stderr, "after removed segments: %s\n", playsOn ? "plays on" : "ended");
    const auto before = Clock::now();
    EXPECT_TRUE(engine.streamFree(h));
    EXPECT_LT(Clock::now() - before, kHangGuard);
}

} // namespace
} // namespace tl::audio
