#include "audio/transport.h"

#include "audio/stage_log.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace tl::audio::detail {

namespace {

constexpr std::size_t kBytesPerKbit = 192;
constexpr std::size_t kMinRing = 8 * 1024;
constexpr std::size_t kMaxRing = 96 * 1024;
// What the server may make the engine keep of its reply headers.
constexpr std::size_t kMaxHeaderLines = 64;
constexpr std::size_t kMaxHeaderChars = 64 + kMaxNetworkTextChars;
constexpr auto kNetPoll = std::chrono::milliseconds(50);
// Header bytes past which a failed reply counts as one whose headers were too large: libcurl
// refuses a line of 100 KiB and 300 KiB in all; no real server comes near.
constexpr std::size_t kHugeHeaders = 100 * 1024;
// Reconnection: the longest wait between tries, and how long a connection must have lasted
// for the next loss to start the back-off again from an immediate try.
constexpr auto kMaxRedialDelay = std::chrono::seconds(30);
constexpr auto kSteadyConnection = std::chrono::seconds(10);

// Moves audio bytes into the ring, waiting while it is full. False when stopped or when no
// decoder will take them any more.
bool pushAudio(Stream& s, std::span<const uint8_t> bytes) {
    std::unique_lock lock(s.m);
    while (!bytes.empty()) {
        s.cv.wait(lock, [&] { return s.stop || s.decoderGone || s.abandoned || !s.ring.full(); });
        if (s.stop || s.decoderGone || s.abandoned)
            return false;
        const std::size_t n = s.ring.write(bytes.data(), bytes.size());
        s.downloaded += n;
        bytes = bytes.subspan(n);
        s.cv.notify_all();
    }
    return true;
}

// Logs the cut of a seam once it is decided (TL_AUDIO_DEBUG, and a "seam" stage).
void tellSeam(Stream& s) {
    const SeamTrimmer::Seam& seam = s.seam.lastSeam();
    if (!seam.decided || seam.seams == s.seamsTold)
        return;
    s.seamsTold = seam.seams;
    markStage("seam");
    if (std::getenv("TL_AUDIO_DEBUG") || stageLogEnabled())
        std::fprintf(stderr, "audio: stream %u seam %zu: %zu bytes cut\n", s.id, seam.seams,
                     seam.cutBytes);
}

SeamTrimmer::Sink ringSink(Stream& s) {
    return [&s](std::span<const uint8_t> bytes) {
        return pushAudio(s, bytes);
    };
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
    Stream& s = *static_cast<Stream*>(user);
    const std::size_t length = size * count;
    bool ok = true;
    const SeamTrimmer::Sink sink = ringSink(s);
    s.demuxer.feed(
        std::span(reinterpret_cast<const uint8_t*>(data), length),
        [&](std::span<const uint8_t> audio) {
            if (ok)
                ok = s.seam.feed(audio, sink);
        },
        [&](std::string_view meta) {
            if (ok)
                setMeta(s, meta, s.downloaded); // every audio byte before it is in the ring
        });
    s.lastData = Clock::now(); // time spent waiting for room is not a stall
    tellSeam(s);
    return ok ? length : 0;
}

// The connection is up and the request is about to go out (the benchmarks' timeline).
int onConnected(void*, char*, char*, int, int) {
    markStage("connected");
    return CURL_PREREQFUNC_OK;
}

// "icy-metaint" values: anything unreasonable is treated as "no metadata" rather than trusted.
std::size_t parseMetaint(std::string_view line) {
    const std::string v = trimmedLower(line.substr(12));
    std::size_t metaint = 0;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), metaint);
    return (r.ec == std::errc() && metaint <= (1u << 24)) ? metaint : 0;
}

// Tells the stream's owner that it reconnects (true) or that a new connection's audio follows.
void announceReconnecting(Stream& s, bool reconnecting) {
    {
        std::lock_guard lock(s.m);
        s.reconnecting = reconnecting;
    }
    s.cv.notify_all();
    s.announceReconnect(reconnecting);
}

// End of a reconnection's headers. False turns the answer away (the transfer ends).
bool redialHeadersDone(Stream& s) {
    Redial& r = s.redial;
    if (r.status < 200 || r.status >= 300)
        return true; // a redirect's headers, or an error status that ends the transfer
    if (r.endedOnPurpose && r.finite) {
        // The same finite answer again (a file, not a station): it is not played twice.
        r.refused = true;
        return false;
    }
    s.demuxer = IcyDemuxer(r.metaint);
    if (!s.seam.beginSeam(ringSink(s)))
        return false;
    s.lastData = Clock::now();
    r.connected = true;
    r.connectedAt = s.lastData;
    {
        std::lock_guard lock(s.m);
        s.metaint = r.metaint;
        s.seamAt = s.downloaded; // what an unfinished seam held is in the ring now
        s.seamContentType = r.contentType;
    }
    announceReconnecting(s, false);
    return true;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    Stream& s = *static_cast<Stream*>(user);
    Redial& r = s.redial;
    const std::size_t length = size * count;
    s.headerBytes += length;
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();

    if (line.empty()) { // end of one response's headers
        if (r.attempt > 0)
            return redialHeadersDone(s) ? length : 0;
        bool ready = false;
        {
            std::lock_guard lock(s.m);
            if (s.status >= 200 && s.status < 300 && s.phase == Stream::Phase::Connecting) {
                s.phase = Stream::Phase::Headers;
                ready = true;
                // No body byte has arrived yet, so the ring can still be resized.
                if (s.bitrate > 0)
                    s.ring = ByteRing(std::clamp(s.bitrate * kBytesPerKbit, kMinRing, kMaxRing));
            }
        }
        if (ready) {
            markStage("headers");
            s.demuxer = IcyDemuxer(s.metaint);
            s.lastData = Clock::now();
            r.connected = true;
            r.connectedAt = s.lastData;
            s.cv.notify_all();
        }
        return length;
    }

    const bool statusLine = startsWithNoCase(line, "HTTP/") || startsWithNoCase(line, "ICY ");
    if (statusLine) {
        r.status = 0;
        r.metaint = 0;
        r.finite = false;
        r.contentType.clear();
        const std::size_t sp = line.find(' ');
        if (sp != std::string::npos)
            std::from_chars(line.data() + sp + 1, line.data() + line.size(), r.status);
    } else if (startsWithNoCase(line, "content-length:") ||
               (startsWithNoCase(line, "transfer-encoding:") &&
                trimmedLower(std::string_view(line).substr(18)).find("chunked") !=
                    std::string::npos)) {
        r.finite = true; // the body declares its end: a file, not a station
    } else if (startsWithNoCase(line, "icy-metaint:")) {
        r.metaint = parseMetaint(line);
    } else if (startsWithNoCase(line, "content-type:")) {
        r.contentType = trimmedLower(std::string_view(line).substr(13));
    }
    if (r.attempt > 0)
        return length; // a reconnection's headers stand for the first connection's

    bool keep = true;
    {
        std::lock_guard lock(s.m);
        if (statusLine)
            s.headerLines = 0;
        keep = ++s.headerLines <= kMaxHeaderLines;
    }
    if (keep) {
        line.resize(cutNetworkText(line, kMaxHeaderChars).size());
        s.announceStatus(line);
    }

    std::lock_guard lock(s.m);
    if (statusLine) {
        // A new response (the first, or one after a redirect): its headers replace the old.
        s.headers.clear();
        s.contentType.clear();
        s.metaint = 0;
        s.bitrate = 0;
        s.status = r.status;
    } else if (startsWithNoCase(line, "content-type:")) {
        s.contentType = trimmedLower(std::string_view(line).substr(13));
    } else if (startsWithNoCase(line, "icy-br:")) {
        // "128", or "128,128" from some servers: the first number counts.
        const std::string v = trimmedLower(std::string_view(line).substr(7));
        std::size_t kbps = 0;
        const auto res = std::from_chars(v.data(), v.data() + v.size(), kbps);
        if (res.ec == std::errc() && kbps > 0 && kbps < 10000 && s.bitrate == 0)
            s.bitrate = kbps;
    } else if (startsWithNoCase(line, "icy-metaint:")) {
        s.metaint = r.metaint;
    }
    // Lines past the limit still set the values above, but are neither kept nor handed out.
    if (keep)
        s.headers.push_back(std::move(line));
    return length;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Stream*>(user)->stop ? 1 : 0;
}

// How one transfer ended.
struct Transfer {
    CURLcode result = CURLE_OK;
    ErrorCode timedOut = ErrorCode::Ok; // Timeout: no headers in time, a stall, or a trickle
    long status = 0;                    // of the last response, 0 when none came
};

// Runs the easy handle's transfer to its end, or until the stream is stopped.
Transfer runTransfer(Stream& s, CURL* easy, CURLM* multi) {
    Transfer t;
    curl_multi_add_handle(multi, easy);
    int running = 1;
    while (!s.stop && running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK)
            break;
        if (!running)
            break;
        const auto now = Clock::now();
        Stream::Phase phase;
        {
            std::lock_guard lock(s.m);
            phase = s.phase;
        }
        const bool redialing = s.redial.attempt > 0;
        const bool waiting = redialing ? !s.redial.connected : phase == Stream::Phase::Connecting;
        if (waiting && now > (redialing ? s.redial.deadline : s.connectDeadline)) {
            t.timedOut = ErrorCode::Timeout;
            break;
        }
        if (!waiting && now - s.lastData > s.options.stallTimeout) {
            t.timedOut = ErrorCode::Timeout;
            break;
        }
        if (phase == Stream::Phase::Ready && s.startExpired()) {
            // Opened, but not buffered in time (a trickle): over, like a lost connection.
            t.timedOut = ErrorCode::Timeout;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(kNetPoll.count()), nullptr);
    }
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left))
        if (msg->msg == CURLMSG_DONE)
            t.result = msg->data.result;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &t.status);
    return t;
}

// The first connection's failure, for streamCreateUrl and the decoder.
void noteFirstFailure(Stream& s, CURL* easy, const Transfer& t) {
    ErrorCode code = t.timedOut;
    if (code == ErrorCode::Ok && s.stop)
        code = ErrorCode::Cancelled;
    if (code == ErrorCode::Ok && t.result == CURLE_OPERATION_TIMEDOUT)
        code = ErrorCode::Timeout;
    if (code == ErrorCode::Ok && t.result != CURLE_OK)
        code = ErrorCode::FileOpen;
    if (code == ErrorCode::Ok)
        code = ErrorCode::FileOpen; // ended before it began
    ConnectFault fault = ConnectFault::None;
    if (t.result == CURLE_COULDNT_RESOLVE_HOST || t.result == CURLE_COULDNT_RESOLVE_PROXY) {
        fault = ConnectFault::NameLookup;
    } else if (t.result == CURLE_COULDNT_CONNECT) {
        long osError = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError);
        fault = osError == ECONNREFUSED ? ConnectFault::Refused : ConnectFault::Other;
    } else if (t.result == CURLE_TOO_MANY_REDIRECTS ||
               (t.result == CURLE_UNSUPPORTED_PROTOCOL && t.status >= 300 && t.status < 400)) {
        fault = ConnectFault::Redirects; // endless, or to a scheme not followed
    } else if (t.result == CURLE_OUT_OF_MEMORY ||
               (t.result == CURLE_RECV_ERROR && s.headerBytes > kHugeHeaders)) {
        fault = ConnectFault::Headers; // libcurl's answer to an overlong line or header set
    }
    std::lock_guard lock(s.m);
    if (s.netFailure == ErrorCode::Ok && (t.timedOut != ErrorCode::Ok || t.result != CURLE_OK))
        s.netFailure = code;
    s.connectFault = fault;
    // Once the headers are in, the decoder decides from the bytes it got.
    if (s.phase == Stream::Phase::Connecting) {
        s.phase = Stream::Phase::Failed;
        s.failure = code;
    }
}

// A stream that is playing and has someone to take its bytes; m not held.
bool worthKeeping(Stream& s) {
    if (s.stop || s.abandoned || !s.playing)
        return false;
    std::lock_guard lock(s.m);
    return !s.decoderGone && s.phase == Stream::Phase::Ready;
}

// Keeps a stream that played going after its connection ended or stalled: the same address
// again at once, then after 1, 2, 4 ... 30 s, while the buffered audio plays on. A server that
// turns the stream away twice in a row (an HTTP error status, or a body that ends where it
// says it ends, which is a file rather than a station) is left alone; the stream then ends
// once its buffer has played out. Returns when the stream is stopped or given up.
void redial(Stream& s, CURL* easy, CURLM* multi, Transfer last) {
    Redial& r = s.redial;
    int refusals = 0;
    std::size_t step = 0;
    bool announced = false;
    while (worthKeeping(s)) {
        const bool endedOnPurpose =
            last.result == CURLE_OK && last.timedOut == ErrorCode::Ok && r.finite && !r.refused;
        if (last.status >= 400 || r.refused || endedOnPurpose)
            ++refusals;
        else if (r.connected)
            refusals = 0;
        if (refusals >= 2)
            break;
        if (r.connected) {
            announced = false;
            // A connection that lasted starts the back-off again; one that ends at once does
            // not, so a server that accepts and hangs up is not hammered.
            if (Clock::now() - r.connectedAt > kSteadyConnection)
                step = 0;
        }
        if (!announced) {
            announceReconnecting(s, true);
            announced = true;
        }
        const auto delay =
            step == 0 ? std::chrono::seconds(0)
                      : std::min(kMaxRedialDelay,
                                 std::chrono::seconds(1 << std::min<std::size_t>(step - 1, 5)));
        ++step;
        {
            std::unique_lock lock(s.m);
            s.cv.wait_for(lock, delay,
                          [&] { return s.stop || s.decoderGone || s.abandoned.load(); });
        }
        if (!worthKeeping(s))
            break;
        if (std::getenv("TL_AUDIO_DEBUG"))
            std::fprintf(stderr, "audio: stream %u reconnects (try %zu)\n", s.id, step);
        ++r.attempt;
        r.endedOnPurpose = endedOnPurpose;
        r.connected = false;
        r.refused = false;
        r.finite = false;
        r.deadline = Clock::now() + s.options.connectTimeout;
        curl_multi_remove_handle(multi, easy);
        last = runTransfer(s, easy, multi);
        s.seam.flush(ringSink(s)); // a connection that ended inside its overlap
        tellSeam(s);
    }
    {
        std::lock_guard lock(s.m);
        s.reconnecting = false;
    }
    s.cv.notify_all();
}

} // namespace

void networkMain(Stream& s) {
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    curl_slist* request = curl_slist_append(nullptr, "Icy-MetaData: 1");
    curl_slist* aliases = curl_slist_append(nullptr, "ICY 200 OK");
    if (!easy || !multi || !request || !aliases) {
        s.fail(ErrorCode::Memory);
    } else {
        curl_easy_setopt(easy, CURLOPT_URL, s.url.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, request);
        curl_easy_setopt(easy, CURLOPT_HTTP200ALIASES, aliases);
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        // Do not wait for a pending name lookup when the stream is freed.
        curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
        curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "Tunelark/" TUNELARK_VERSION);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(s.options.connectTimeout.count()));
        // Empty disables any proxy, including one named by the environment.
        curl_easy_setopt(easy, CURLOPT_PROXY, s.proxy.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &s);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, &s);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &s);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        {
            std::lock_guard lock(s.m);
            s.wakeNetwork = [multi] {
                curl_multi_wakeup(multi);
            };
        }
        if (stageLogEnabled())
            curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, onConnected);

        const Transfer first = runTransfer(s, easy, multi);
        noteFirstFailure(s, easy, first);
        redial(s, easy, multi, first);
        {
            std::lock_guard lock(s.m);
            s.wakeNetwork = nullptr;
        }
        curl_multi_remove_handle(multi, easy);
    }
    if (easy)
        curl_easy_cleanup(easy);
    if (multi)
        curl_multi_cleanup(multi);
    curl_slist_free_all(request);
    curl_slist_free_all(aliases);
    {
        std::lock_guard lock(s.m);
        s.netDone = true;
    }
    s.cv.notify_all();
}

} // namespace tl::audio::detail
