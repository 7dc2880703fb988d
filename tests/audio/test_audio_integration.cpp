// Integration tests of the audio engine against real servers started from here: Icecast2 fed
// by ffmpeg (tests/services/icecast.sh), SHOUTcast v1 style servers
// (tests/services/shoutcast_v1.py) in normal, silent and stalling modes, and live HLS streams
// from ffmpeg's hls muxer (tests/services/hls.sh). Output goes to SDL's dummy driver, which
// still pulls samples in real time. Encoders are the real lame and oggenc.

#include "audio/encoder_process.h"
#include "audio/engine.h"
#include "audio/wav_header.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tl::audio {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Generous bound for "did not hang"; never a timing assertion.
constexpr auto kHangGuard = 8s;

// ---- process helpers ---------------------------------------------------------------------

pid_t spawn(const std::vector<std::string>& argv, const std::string& outFile = "/dev/null") {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

int run(const std::vector<std::string>& argv, const std::string& outFile = "/dev/null") {
    const pid_t pid = spawn(argv, outFile);
    if (pid < 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

template <class Pred> bool waitUntil(Pred pred, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!pred()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// ---- the servers, started once for the whole binary ------------------------------------------

class Services : public ::testing::Environment {
public:
    void SetUp() override {
        char tmpl[] = "/tmp/tl-audio-XXXXXX";
        if (!mkdtemp(tmpl))
            return;
        dir = tmpl;
        chmod(tmpl, 0755);
        const std::string services = std::string(TL_SOURCE_DIR) + "/tests/services/";
        icecastPort = freePort();
        if (run({"bash", services + "icecast.sh", "start", (dir / "icecast").string(),
                 std::to_string(icecastPort)}) != 0) {
            std::fprintf(stderr, "icecast.sh start failed\n");
            return;
        }
        icecastUp = true;

        const std::string mp3 = (dir / "sine.mp3").string();
        if (run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                 "sine=frequency=440:duration=10", "-ac", "2", "-c:a", "libmp3lame", "-b:a", "128k",
                 "-y", mp3}) != 0)
            return;
        const std::string aac = (dir / "sine.aac").string();
        if (run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                 "sine=frequency=440:duration=10", "-ac", "2", "-c:a", "aac", "-b:a", "96k", "-f",
                 "adts", "-y", aac}) != 0)
            return;
        // "mislabelled" sends AAC as audio/mpeg, as some stations do.
        // "redirect" answers 302 to the Icecast MP3 mount.
        for (const std::string mode : {"normal", "silent", "stall", "mislabelled", "redirect"}) {
            const int port = freePort();
            const std::string ready = (dir / (mode + ".ready")).string();
            const bool aacData = mode == "mislabelled";
            std::vector<std::string> argv = {"python3", services + "shoutcast_v1.py",
                                             "--port",  std::to_string(port),
                                             "--mp3",   aacData ? aac : mp3,
                                             "--mode",  aacData ? "normal" : mode,
                                             "--ready", ready};
            if (mode == "redirect") {
                argv.push_back("--location");
                argv.push_back(icecast("/live.mp3"));
            }
            const pid_t pid = spawn(argv);
            if (pid < 0)
                return;
            pids.push_back(pid);
            if (!waitUntil([&] { return fs::exists(ready); }, 60s))
                return;
            v1Ports[mode] = port;
        }
        v1Up = true;

        const std::string hlsOut = (dir / "hls.out").string();
        if (run({"bash", services + "hls.sh", "start", (dir / "hls").string()}, hlsOut) == 0)
            hlsUp = std::sscanf(readFile(hlsOut).c_str(), "PORT %d", &hlsPort) == 1;
    }

    void TearDown() override {
        for (const pid_t pid : pids) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        const std::string services = std::string(TL_SOURCE_DIR) + "/tests/services/";
        if (icecastUp)
            run({"bash", services + "icecast.sh", "stop", (dir / "icecast").string()});
        if (fs::exists(dir / "hls"))
            run({"bash", services + "hls.sh", "stop", (dir / "hls").string()});
        if (!dir.empty()) {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    }

    std::string icecast(const std::string& mount) const {
        return "http://127.0.0.1:" + std::to_string(icecastPort) + mount;
    }
    std::string v1(const std::string& mode) const {
        return "http://127.0.0.1:" + std::to_string(v1Ports.at(mode)) + "/";
    }
    std::string hls(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(hlsPort) + "/" + path;
    }
    fs::path hlsWww() const { return dir / "hls" / "www"; }
    bool setTitle(const std::string& mount, const std::string& title) const {
        return run({"bash", std::string(TL_SOURCE_DIR) + "/tests/services/icecast.sh", "title",
                    (dir / "icecast").string(), std::to_string(icecastPort), mount, title}) == 0;
    }

    fs::path dir;
    int icecastPort = 0;
    bool icecastUp = false;
    bool v1Up = false;
    int hlsPort = 0;
    bool hlsUp = false;
    std::map<std::string, int> v1Ports;
    std::vector<pid_t> pids;
};

Services* services = static_cast<Services*>(::testing::AddGlobalTestEnvironment(new Services));

#define REQUIRE_ICECAST() ASSERT_TRUE(services->icecastUp) << "Icecast did not start"
#define REQUIRE_V1() ASSERT_TRUE(services->v1Up) << "the SHOUTcast v1 servers did not start"
#define REQUIRE_HLS() ASSERT_TRUE(services->hlsUp) << "tests/services/hls.sh did not start"

// Collects texts handed to a callback on an engine thread.
struct Collector {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> items;

    void add(const std::string& s) {
        {
            std::lock_guard lock(m);
            items.push_back(s);
        }
        cv.notify_all();
    }
    bool waitFor(const std::function<bool(const std::string&)>& pred,
                 std::chrono::milliseconds timeout) {
        std::unique_lock lock(m);
        return cv.wait_for(lock, timeout,
                           [&] { return std::any_of(items.begin(), items.end(), pred); });
    }
    std::vector<std::string> snapshot() {
        std::lock_guard lock(m);
        return items;
    }
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(engine.init()) << static_cast<int>(engine.errorCode()); }

    uint32_t fill(StreamHandle h) {
        const uint32_t end = engine.filePosition(h, FilePosition::End);
        return (engine.filePosition(h, FilePosition::Download) -
                engine.filePosition(h, FilePosition::Current)) *
               100 / end;
    }

    // Waits until the spectrum's strongest bin lies within `tolerance` bins of the tone `hz`
    // and is loud; false when it never does. `spectrum` keeps the last analysis.
    bool peaksAt(StreamHandle h, double hz, double tolerance, std::array<float, 512>& spectrum) {
        const double want = hz * 1024 / kOutputRate;
        std::size_t peak = 0;
        const bool found = waitUntil(
            [&] {
                engine.fft1024(h, spectrum);
                peak = static_cast<std::size_t>(std::max_element(spectrum.begin(), spectrum.end()) -
                                                spectrum.begin());
                return std::abs(static_cast<double>(peak) - want) <= tolerance &&
                       spectrum[peak] > 0.02f;
            },
            10s);
        if (!found)
            ADD_FAILURE() << "peak at bin " << peak << " magnitude " << spectrum[peak]
                          << ", expected bin " << want;
        return found;
    }

    Engine engine;
};

// ---- basics without a server ------------------------------------------------------------------

TEST(EngineBasics, VersionInitAndBadHandles) {
    EXPECT_EQ(Engine::version() >> 16, 0x0203u);
    Engine engine;
    EXPECT_FALSE(engine.isInitialised());
    EXPECT_EQ(engine.streamCreateUrl("http://127.0.0.1:1/", {}), 0u);
    EXPECT_EQ(engine.errorCode(), ErrorCode::Init);
    ASSERT_TRUE(engine.init());
    EXPECT_FALSE(engine.init());
    EXPECT_EQ(engine.errorCode(), ErrorCode::Already);

    engine.setGlobalStreamVolume(150);
    EXPECT_EQ(engine.globalStreamVolume(), 100);
    engine.setGlobalStreamVolume(-3);
    EXPECT_EQ(engine.globalStreamVolume(), 0);

    for (const StreamHandle bad : {0u, 77u}) {
        EXPECT_FALSE(engine.streamFree(bad));
        EXPECT_EQ(engine.errorCode(), ErrorCode::Handle);
        EXPECT_EQ(engine.filePosition(bad, FilePosition::End), kNoEnd);
        EXPECT_FALSE(engine.format(bad));
        EXPECT_FALSE(engine.metadata(bad));
        EXPECT_TRUE(engine.icyHeaders(bad).empty());
        EXPECT_FALSE(engine.play(bad));
        EXPECT_FALSE(engine.isPlaying(bad));
        EXPECT_EQ(engine.level(bad), 0u);
        std::array<float, 512> m{};
        EXPECT_FALSE(engine.fft1024(bad, m));
        EXPECT_EQ(engine.encodeStart(bad, {"true"}), 0u);
        EXPECT_EQ(engine.errorCode(), ErrorCode::Handle);
        engine.waitForData(bad, 1s); // returns at once
    }
    EXPECT_FALSE(engine.encodeStop(5));
    EXPECT_FALSE(engine.encodeIsActive(5));
}

TEST(EngineBasics, InitFailsCleanlyWithoutADevice) {
    const char* previous = std::getenv("SDL_AUDIODRIVER");
    const std::string saved = previous ? previous : "";
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    {
        Engine engine;
        EXPECT_FALSE(engine.init());
        EXPECT_EQ(engine.errorCode(), ErrorCode::Driver);
        EXPECT_FALSE(engine.isInitialised());
        EXPECT_EQ(engine.streamCreateUrl("http://127.0.0.1:1/", {}), 0u);
        EXPECT_EQ(engine.errorCode(), ErrorCode::Init);
    }
    if (previous)
        setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_AUDIODRIVER");
}

TEST(EngineBasics, ErrorCodesAreKeptPerThread) {
    Engine engine;
    ASSERT_TRUE(engine.init());
    EXPECT_FALSE(engine.streamFree(42));
    std::thread([&] {
        engine.setGlobalStreamVolume(50);
        EXPECT_EQ(engine.errorCode(), ErrorCode::Ok);
    }).join();
    EXPECT_EQ(engine.errorCode(), ErrorCode::Handle);
}

// ---- Icecast mounts ---------------------------------------------------------------------------

// Every server's reply: its headers (and, for a redirect, only the final reply's), every status
// line handed to onStatus, the format found in the data (not the Content-Type), the title of
// the first metadata block, and sound.
TEST_F(EngineTest, RepliesReportHeadersFormatAndTitle) {
    REQUIRE_ICECAST();
    REQUIRE_V1();
    const std::string ok = "HTTP/1.0 200 OK";
    const struct {
        std::string url;
        int kind;
        std::string label;
        std::string firstStatus;          // "": the status lines are exactly the headers
        std::vector<std::string> headers; // the first, then others that must be there
        std::string title;                // "": not checked
    } rows[] = {
        {services->icecast("/live.mp3"),
         0,
         "MP3",
         "",
         {ok, "icy-name:Test Radio", "icy-metaint:8192", "icy-br:128", "icy-genre:Test Tones"},
         ""},
        {services->icecast("/live.aac"),
         1,
         "AAC+",
         "",
         {ok, "icy-name:Test Radio AAC", "icy-metaint:8192"},
         ""},
        // Ogg carries titles in the stream, not ICY blocks.
        {services->icecast("/live.ogg"), 0, "OGG", "", {ok, "icy-name:Test Radio Ogg"}, ""},
        {services->v1("normal"),
         0,
         "MP3",
         "",
         {"ICY 200 OK", "icy-br:128", "icy-name:V1 Radio"},
         "StreamTitle='Artist - Song \"Quoted\" O'Neil';StreamUrl='';"},
        // AAC sent as audio/mpeg, as some stations do.
        {services->v1("mislabelled"), 1, "AAC+", "", {"ICY 200 OK"}, ""},
        // A 302 to the Icecast MP3 mount.
        {services->v1("redirect"), 0, "MP3", "HTTP/1.0 302 Found", {ok, "icy-name:Test Radio"}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url);
        Collector status;
        OpenOptions options;
        options.onStatus = [&](const std::string& s) {
            status.add(s);
        };
        const StreamHandle h = engine.streamCreateUrl(row.url, options);
        ASSERT_NE(h, 0u) << static_cast<int>(engine.errorCode());
        const auto format = engine.format(h);
        ASSERT_TRUE(format);
        EXPECT_EQ(format->kind, row.kind);
        EXPECT_EQ(format->label, row.label);
        // What the codec says, for servers that send no icy-br (AAC's is FFmpeg's estimate).
        EXPECT_GT(format->bitRate, 64000);
        EXPECT_LT(format->bitRate, 160000);

        const auto headers = engine.icyHeaders(h);
        ASSERT_FALSE(headers.empty());
        EXPECT_EQ(headers.front(), row.headers.front());
        for (const std::string& line : row.headers)
            EXPECT_NE(std::find(headers.begin(), headers.end(), line), headers.end()) << line;
        const auto lines = status.snapshot();
        if (row.firstStatus.empty()) {
            EXPECT_EQ(lines, headers); // same lines, same order, no line ends
        } else {
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.front(), row.firstStatus); // every status line reaches onStatus
        }
        if (!row.title.empty()) {
            std::optional<std::string> meta;
            EXPECT_TRUE(waitUntil([&] { return (meta = engine.metadata(h)).has_value(); }, 5s));
            EXPECT_EQ(meta.value_or(""), row.title);
        }
        ASSERT_TRUE(engine.play(h));
        EXPECT_TRUE(waitUntil([&] { return (engine.level(h) & 0xFFFF) > 1000; }, 5s));
        EXPECT_TRUE(engine.streamFree(h));
        EXPECT_FALSE(engine.streamFree(h)); // a freed handle is harmless
    }
}

TEST_F(EngineTest, BuffersPlaysAndAnalysesTheSine) {
    REQUIRE_ICECAST();
    const StreamHandle h = engine.streamCreateUrl(services->icecast("/live.mp3"), {});
    ASSERT_NE(h, 0u);
    const uint32_t end = engine.filePosition(h, FilePosition::End);
    EXPECT_EQ(end, 128u * 192); // 1.5 s at the icy-br of the mount
    // The server's burst alone takes the ring past the player's 85 % (the player's own loop
    // is driven in test_audio_hostile).
    EXPECT_TRUE(waitUntil([&] { return fill(h) > 85; }, 10s)) << "fill stuck at " << fill(h);
    EXPECT_LE(fill(h), 100u);
    EXPECT_FALSE(engine.isPlaying(h));

    const uint32_t downloadedBefore = engine.filePosition(h, FilePosition::Download);
    const uint32_t takenBefore = engine.filePosition(h, FilePosition::Current);
    ASSERT_TRUE(engine.play(h));
    EXPECT_TRUE(engine.isPlaying(h));

    // The source is a 440 Hz sine: the spectrum peaks at bin 440 * 1024 / 44100 = 10.2.
    std::array<float, 512> spectrum{};
    peaksAt(h, 440, 0.5, spectrum);
    EXPECT_LT(spectrum[100], spectrum[10] / 100);

    uint32_t level = 0;
    EXPECT_TRUE(waitUntil(
        [&] {
            level = engine.level(h);
            return (level & 0xFFFF) > 1000 && (level >> 16) > 1000;
        },
        5s))
        << std::hex << level;
    EXPECT_LE(level & 0xFFFF, 32768u);

    // Playing takes bytes out of the ring and the network puts more in.
    EXPECT_TRUE(waitUntil(
        [&] {
            return engine.filePosition(h, FilePosition::Current) != takenBefore &&
                   engine.filePosition(h, FilePosition::Download) != downloadedBefore;
        },
        5s));
    EXPECT_LE(fill(h), 100u);

    // The global volume acts at the output; the analysis still sees the stream.
    engine.setGlobalStreamVolume(0);
    std::this_thread::sleep_for(200ms);
    EXPECT_GT(engine.level(h) & 0xFFFF, 1000u);
    EXPECT_TRUE(engine.streamFree(h));
}

TEST_F(EngineTest, TitleFromTheAdminUrlReachesTheMetaCallback) {
    REQUIRE_ICECAST();
    const StreamHandle h = engine.streamCreateUrl(services->icecast("/live.mp3"), {});
    ASSERT_NE(h, 0u);
    Collector metas;
    ASSERT_TRUE(engine.setMetaCallback(h, [&](const std::string& m) { metas.add(m); }));
    ASSERT_TRUE(engine.play(h));
    const std::string title = "Artist - It's a \"Quoted\" Song";
    ASSERT_TRUE(services->setTitle("/live.mp3", title));
    const std::string expected = "StreamTitle='" + title + "';";
    EXPECT_TRUE(metas.waitFor(
        [&](const std::string& m) { return m.find(expected) != std::string::npos; }, 10s));
    const auto current = engine.metadata(h);
    ASSERT_TRUE(current);
    EXPECT_NE(current->find(expected), std::string::npos);
    // The callback fires on changes only.
    const auto seen = metas.snapshot();
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_NE(seen[i], seen[i - 1]);
    EXPECT_TRUE(engine.streamFree(h));
}

// A plain test: its own engine (SDL opens one device at a time) whose destructor is part of it.
TEST(EngineEncoders, WriteFilesOfTheRecordedLength) {
    REQUIRE_ICECAST();
    const fs::path mp3 = services->dir / "rec.mp3";
    const fs::path ogg = services->dir / "rec.ogg";
    double seconds = 0;
    {
        Engine local;
        ASSERT_TRUE(local.init());
        const StreamHandle h = local.streamCreateUrl(services->icecast("/live.mp3"), {});
        ASSERT_NE(h, 0u);
        ASSERT_TRUE(local.play(h));
        // Let the decoder settle: once its output buffer is full it runs at the output's pace,
        // so the samples an encoder gets match the time it runs.
        std::this_thread::sleep_for(1500ms);
        const auto start = Clock::now();
        const EncoderHandle lame =
            local.encodeStart(h, {"lame", "--quiet", "-b", "128", "-", mp3.string()});
        const EncoderHandle oggenc =
            local.encodeStart(h, {"oggenc", "-Q", "-o", ogg.string(), "-"});
        ASSERT_NE(lame, 0u);
        ASSERT_NE(oggenc, 0u);
        EXPECT_TRUE(local.encodeIsActive(lame));
        EXPECT_TRUE(local.encodeIsActive(oggenc));
        std::this_thread::sleep_for(3s);
        EXPECT_TRUE(local.encodeStop(lame));
        EXPECT_TRUE(local.encodeStop(oggenc));
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_FALSE(local.encodeIsActive(lame));
        const auto before = Clock::now();
        EXPECT_TRUE(local.streamFree(h));
        EXPECT_LT(Clock::now() - before, kHangGuard);
    } // the engine's destructor waits for the encoders to finish their files
    for (const fs::path& file : {mp3, ogg}) {
        SCOPED_TRACE(file.string());
        const fs::path out = services->dir / "duration.txt";
        ASSERT_EQ(run({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                       "csv=p=0", file.string()},
                      out.string()),
                  0);
        const double duration = std::atof(readFile(out).c_str());
        EXPECT_NEAR(duration, seconds, 1.0);
    }
}

TEST_F(EngineTest, EncoderEndsWithItsStream) {
    REQUIRE_ICECAST();
    const fs::path ogg = services->dir / "ends.ogg";
    const StreamHandle h = engine.streamCreateUrl(services->icecast("/live.ogg"), {});
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine.play(h));
    const EncoderHandle e = engine.encodeStart(h, {"oggenc", "-Q", "-o", ogg.string(), "-"}, true);
    ASSERT_NE(e, 0u);
    EXPECT_TRUE(engine.encodeSetPaused(e, false));
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(engine.encodeIsActive(e));
    EXPECT_TRUE(engine.streamFree(h));
    EXPECT_FALSE(engine.encodeIsActive(e));
}

TEST_F(EngineTest, EncoderThatCannotStartOrExitsAtOnce) {
    REQUIRE_ICECAST();
    const StreamHandle h = engine.streamCreateUrl(services->icecast("/live.mp3"), {});
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine.play(h));
    EXPECT_EQ(engine.encodeStart(h, {"/nonexistent/encoder", "-"}), 0u);
    EXPECT_EQ(engine.errorCode(), ErrorCode::FileOpen);
    EXPECT_EQ(engine.encodeStart(h, {}), 0u);
    // An encoder that exits without reading: writing to it must not kill the program.
    const EncoderHandle e = engine.encodeStart(h, {"true"});
    ASSERT_NE(e, 0u);
    EXPECT_TRUE(waitUntil([&] { return !engine.encodeIsActive(e); }, 5s));
    EXPECT_TRUE(engine.isPlaying(h));
    EXPECT_TRUE(engine.streamFree(h));
}

TEST_F(EngineTest, OpenFailures) {
    REQUIRE_ICECAST();
    struct Row {
        std::string url;
        ErrorCode code;
    };
    const std::vector<Row> rows = {
        {"http://127.0.0.1:" + std::to_string(freePort()) + "/", ErrorCode::FileOpen}, // refused
        {services->icecast("/missing.mp3"), ErrorCode::FileOpen},                      // 404
        {services->icecast("/status-json.xsl"), ErrorCode::FileForm},                  // not audio
        {"", ErrorCode::FileOpen},
        {"no address", ErrorCode::FileOpen},
        {"file:///etc/passwd", ErrorCode::FileOpen}, // only network addresses
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        EXPECT_EQ(engine.streamCreateUrl(row.url, {}), 0u);
        EXPECT_EQ(engine.errorCode(), row.code);
    }
}

// ---- SHOUTcast v1 -----------------------------------------------------------------------------

TEST_F(EngineTest, ProxySettingAppliesToStreamConnections) {
    REQUIRE_ICECAST();
    engine.setProxy("http://127.0.0.1:" + std::to_string(freePort())); // nobody listens
    EXPECT_EQ(engine.streamCreateUrl(services->icecast("/live.mp3"), {}), 0u);
    EXPECT_EQ(engine.errorCode(), ErrorCode::FileOpen);
    engine.setProxy("");
    const StreamHandle h = engine.streamCreateUrl(services->icecast("/live.mp3"), {});
    EXPECT_NE(h, 0u);
    engine.streamFree(h);
}

TEST_F(EngineTest, ThrowingCallbacksDoNotTakeTheStreamDown) {
    REQUIRE_V1();
    OpenOptions options;
    options.onStatus = [](const std::string&) {
        throw std::runtime_error("status");
    };
    const StreamHandle h = engine.streamCreateUrl(services->v1("normal"), options);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(engine.icyHeaders(h).front(), "ICY 200 OK");
    EXPECT_TRUE(engine.streamFree(h));
}

// Both servers accept the request and never answer: a stop ends the wait.
TEST_F(EngineTest, ServerThatNeverAnswersCanBeCancelledOrTimesOut) {
    REQUIRE_V1();
    REQUIRE_HLS();
    for (const std::string& url : {services->v1("silent"), services->hls("hang/live.m3u8")}) {
        SCOPED_TRACE(url);
        std::stop_source stop;
        auto pending = std::async(std::launch::async, [&] {
            const StreamHandle h = engine.streamCreateUrl(url, {}, stop.get_token());
            return std::pair(h, engine.errorCode());
        });
        std::this_thread::sleep_for(300ms);
        stop.request_stop();
        ASSERT_EQ(pending.wait_for(kHangGuard), std::future_status::ready);
        const auto [handle, code] = pending.get();
        EXPECT_EQ(handle, 0u);
        EXPECT_EQ(code, ErrorCode::Cancelled);
    }

    OpenOptions quick;
    quick.connectTimeout = 500ms;
    EXPECT_EQ(engine.streamCreateUrl(services->v1("silent"), quick), 0u);
    EXPECT_EQ(engine.errorCode(), ErrorCode::Timeout);

    // The same through FFmpeg's MMS over HTTP.
    std::string mms = services->v1("silent");
    mms.replace(0, 4, "mms");
    EXPECT_EQ(engine.streamCreateUrl(mms, quick), 0u);
    EXPECT_EQ(engine.errorCode(), ErrorCode::Timeout);
}

// A stream that played reconnects by itself when its server stalls (the stall server sends a
// burst again on every connection), and freeing it while it reconnects returns promptly.
TEST_F(EngineTest, StalledServerIsReconnectedAndFreeDoesNotHang) {
    REQUIRE_V1();
    Collector events;
    OpenOptions options;
    options.stallTimeout = 1s;
    options.onReconnect = [&](bool reconnecting) {
        events.add(reconnecting ? "lost" : "back");
    };
    const StreamHandle h = engine.streamCreateUrl(services->v1("stall"), options);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(engine.play(h));
    EXPECT_TRUE(engine.isPlaying(h));
    // About 4 s of audio, nothing for a second, a new connection and its burst.
    EXPECT_TRUE(events.waitFor([](const std::string& e) { return e == "back"; }, 15s));
    EXPECT_EQ(events.snapshot().front(), "lost");
    EXPECT_TRUE(engine.isPlaying(h));
    EXPECT_FALSE(engine.hasEnded(h));
    EXPECT_NE(engine.filePosition(h, FilePosition::End), kNoEnd);
    EXPECT_TRUE(events.waitFor([](const std::string& e) { return e == "lost"; }, 15s));
    auto freeing = std::async(std::launch::async, [&] { return engine.streamFree(h); });
    ASSERT_EQ(freeing.wait_for(kHangGuard), std::future_status::ready);
    EXPECT_TRUE(freeing.get());

    // A stream that has not played is not reconnected: it ends with its connection.
    options.startTimeout = 2s;
    const std::size_t seen = events.snapshot().size();
    const StreamHandle h2 = engine.streamCreateUrl(services->v1("stall"), options);
    ASSERT_NE(h2, 0u);
    EXPECT_TRUE(waitUntil([&] { return engine.hasEnded(h2); }, 15s));
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(events.snapshot().size(), seen);
    EXPECT_TRUE(engine.streamFree(h2));
}

// A file served with its length ends where it says: it is asked for once more, turned away
// (the same finite answer is not played twice), and the stream ends after its audio.
TEST_F(EngineTest, FiniteFileIsNotReconnectedForEver) {
    REQUIRE_V1();
    const fs::path root = services->dir / "files";
    fs::create_directories(root);
    ASSERT_EQ(run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                   "sine=frequency=440:duration=6", "-ac", "2", "-c:a", "libmp3lame", "-b:a",
                   "128k", "-y", (root / "short.mp3").string()}),
              0);
    const fs::path log = services->dir / "files.log";
    const fs::path out = services->dir / "files.out";
    const pid_t server =
        spawn({"python3", std::string(TL_SOURCE_DIR) + "/tests/services/http_server.py", "--root",
               root.string(), "--log", log.string()},
              out.string());
    ASSERT_GT(server, 0);
    int port = 0;
    ASSERT_TRUE(
        waitUntil([&] { return std::sscanf(readFile(out).c_str(), "PORT %d", &port) == 1; }, 15s));
    Collector events;
    OpenOptions options;
    options.onReconnect = [&](bool reconnecting) {
        events.add(reconnecting ? "lost" : "back");
    };
    const StreamHandle h =
        engine.streamCreateUrl("http://127.0.0.1:" + std::to_string(port) + "/short.mp3", options);
    ASSERT_NE(h, 0u) << static_cast<int>(engine.errorCode());
    ASSERT_TRUE(engine.play(h));
    EXPECT_TRUE(waitUntil([&] { return !engine.isPlaying(h); }, 30s));
    EXPECT_TRUE(engine.hasEnded(h));
    EXPECT_EQ(events.snapshot(), std::vector<std::string>{"lost"});
    const std::string requests = readFile(log);
    EXPECT_EQ(std::count(requests.begin(), requests.end(), '\n'), 2) << requests;
    EXPECT_TRUE(engine.streamFree(h));
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
}

// ---- HLS --------------------------------------------------------------------------------------

// The variant with the highest bandwidth is the one heard; titles come from the segments' ID3.
TEST_F(EngineTest, HlsStreamsPlayWithFormatBitrateAndTitle) {
    REQUIRE_HLS();
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
        Collector titles;
        const StreamHandle h = engine.streamCreateUrl(services->hls(row.path), {});
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
        std::array<float, 512> spectrum{};
        peaksAt(h, row.hz, 1.5, spectrum);
        if (*row.title) {
            const std::string meta = engine.metadata(h).value_or("");
            EXPECT_TRUE(meta.rfind(row.title, 0) == 0) << meta;
            // The title changes every third segment; each change arrives (FFmpeg alone would
            // keep the first segment's for ever).
            EXPECT_TRUE(titles.waitFor(
                [&](const std::string& t) { return t.rfind(row.title, 0) == 0; }, 20s));
            EXPECT_TRUE(waitUntil([&] { return engine.metadata(h).value_or("") != meta; }, 20s))
                << meta;
        }
        const auto before = Clock::now();
        EXPECT_TRUE(engine.streamFree(h));
        EXPECT_LT(Clock::now() - before, kHangGuard);
    }
}

// Broken streams end (open fails, or the stream stops playing) within wide bounds.
TEST_F(EngineTest, HlsBrokenStreamsEndWithoutHanging) {
    REQUIRE_HLS();
    const fs::path broken = services->hlsWww() / "broken";
    fs::create_directories(broken);
    const auto write = [&](const char* name, const std::string& text) {
        std::ofstream(broken / name, std::ios::binary) << text;
    };
    // A live playlist (no end tag) whose segments are all missing.
    write("gone.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:9\n"
                       "#EXTINF:2,\nx9.ts\n#EXTINF:2,\nx10.ts\n");
    // A segment the protocol whitelist refuses: no local file is ever read.
    write("local.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\n"
                        "file:///etc/passwd\n#EXT-X-ENDLIST\n");
    // A live playlist that stops growing after its two segments: they play, then the stream
    // ends once no audio came for the stall time-out.
    // Copies of the newest two segments: older ones are deleted as the stream goes on.
    std::vector<std::string> live;
    std::ifstream playlist(services->hlsWww() / "id3" / "live.m3u8");
    for (std::string line; std::getline(playlist, line);)
        if (!line.empty() && line[0] != '#')
            live.push_back(line);
    for (std::size_t i = 0; i < 2 && live.size() >= 2; ++i) {
        std::error_code ec;
        fs::copy_file(services->hlsWww() / "id3" / live[live.size() - 2 + i],
                      broken / ("seg" + std::to_string(i) + ".aac"), ec);
    }
    const bool haveSegments = fs::exists(broken / "seg1.aac");
    write("frozen.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:0\n"
                         "#EXTINF:2,\nseg0.aac\n#EXTINF:2,\nseg1.aac\n");

    OpenOptions quick;
    quick.stallTimeout = 3s;
    quick.startTimeout = 6s;
    for (const char* path : {"broken/missing.m3u8", "broken/gone.m3u8", "broken/local.m3u8"}) {
        SCOPED_TRACE(path);
        const auto before = Clock::now();
        EXPECT_EQ(engine.streamCreateUrl(services->hls(path), quick), 0u);
        EXPECT_NE(engine.errorCode(), ErrorCode::Ok);
        EXPECT_LT(Clock::now() - before, quick.startTimeout + kHangGuard);
    }

    ASSERT_TRUE(haveSegments);
    const StreamHandle h = engine.streamCreateUrl(services->hls("broken/frozen.m3u8"), quick);
    ASSERT_NE(h, 0u) << static_cast<int>(engine.errorCode());
    ASSERT_TRUE(engine.play(h));
    EXPECT_TRUE(waitUntil([&] { return !engine.isPlaying(h); }, 4s + quick.stallTimeout + 20s));
    EXPECT_TRUE(engine.hasEnded(h));
    engine.streamFree(h);
}

// Segments removed from under a playing stream: it skips them and plays on, or ends; it never
// hangs, and stop still returns. Runs last: it empties the MP3 stream's folder.
TEST_F(EngineTest, HlsRemovedSegmentsDoNotHang) {
    REQUIRE_HLS();
    OpenOptions quick;
    quick.stallTimeout = 4s;
    const StreamHandle h = engine.streamCreateUrl(services->hls("mp3/live.m3u8"), quick);
    ASSERT_NE(h, 0u) << static_cast<int>(engine.errorCode());
    ASSERT_TRUE(engine.play(h));
    for (int round = 0; round < 3; ++round) {
        std::this_thread::sleep_for(1500ms);
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(services->hlsWww() / "mp3", ec))
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

// ---- encoder process on its own ---------------------------------------------------------------

TEST(EncoderProcess, WritesHeaderThenSamplesAndStopsAStalledEncoder) {
    const fs::path out = fs::temp_directory_path() / ("tl-enc-" + std::to_string(getpid()));
    const auto header = wavHeader(44100, 2, 16);
    {
        auto p =
            EncoderProcess::start({"dd", "of=" + out.string(), "status=none"}, header, 1 << 20);
        ASSERT_TRUE(p);
        const std::vector<uint8_t> samples(10000, 0x5A);
        EXPECT_TRUE(p->push(samples));
        p->setPaused(true);
        EXPECT_FALSE(p->push(samples)); // paused: not queued, not counted as dropped
        p->setPaused(false);
        EXPECT_TRUE(p->push(samples));
        p->stop();
        EXPECT_FALSE(p->push(samples));
        EXPECT_TRUE(waitUntil([&] { return p->finished(); }, kHangGuard));
        EXPECT_EQ(p->droppedBytes(), 0u);
    }
    const std::string written = readFile(out);
    ASSERT_EQ(written.size(), 44u + 20000u);
    EXPECT_EQ(written.substr(0, 4), "RIFF");
    EXPECT_EQ(written.substr(44), std::string(20000, '\x5A'));
    fs::remove(out);

    // An encoder that never reads: the queue is bounded (drops are counted) and ending it
    // does not hang.
    const auto start = Clock::now();
    {
        auto p = EncoderProcess::start({"sleep", "30"}, header, 64 * 1024, 300ms);
        ASSERT_TRUE(p);
        const std::vector<uint8_t> chunk(16 * 1024, 1);
        for (int i = 0; i < 40; ++i)
            p->push(chunk);
        EXPECT_GT(p->droppedBytes(), 0u);
    }
    EXPECT_LT(Clock::now() - start, kHangGuard);
}

} // namespace
} // namespace tl::audio
