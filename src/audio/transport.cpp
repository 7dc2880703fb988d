#include "audio/transport.h"

#include "audio/stage_log.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace tl::audio::detail {

namespace {

constexpr std::size_t kBytesPerKbit = 192;
constexpr std::size_t kMinRing = 8 * 1024;
constexpr std::size_t kMaxRing = 96 * 1024;
// What the server may make the engine keep of its reply headers.
constexpr std::size_t kMaxHeaderLines = 64;
constexpr std::size_t kMaxHeaderChars = 64 + kMaxNetworkTextChars;
constexpr auto kNetPoll = std::chrono::milliseconds(50);

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

size_t onBody(char* data, size_t size, size_t count, void* user) {
    Stream& s = *static_cast<Stream*>(user);
    const std::size_t length = size * count;
    bool ok = true;
    s.demuxer.feed(
        std::span(reinterpret_cast<const uint8_t*>(data), length),
        [&](std::span<const uint8_t> audio) {
            if (ok)
                ok = pushAudio(s, audio);
        },
        [&](std::string_view meta) {
            if (ok)
                setMeta(s, meta, s.downloaded); // every audio byte before it is in the ring
        });
    s.lastData = Clock::now(); // time spent waiting for room is not a stall
    return ok ? length : 0;
}

// The connection is up and the request is about to go out (the benchmarks' timeline).
int onConnected(void*, char*, char*, int, int) {
    markStage("connected");
    return CURL_PREREQFUNC_OK;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
    Stream& s = *static_cast<Stream*>(user);
    const std::size_t length = size * count;
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();

    if (line.empty()) { // end of one response's headers
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
            s.cv.notify_all();
        }
        return length;
    }

    const bool statusLine = startsWithNoCase(line, "HTTP/") || startsWithNoCase(line, "ICY ");
    bool keep = true;
    {
        std::lock_guard lock(s.m);
        if (statusLine)
            s.headerLines = 0;
        keep = ++s.headerLines <= kMaxHeaderLines;
    }
    if (keep) {
        line.resize(cutNetworkText(line, kMaxHeaderChars).size());
        if (s.options.onStatus)
            invokeQuietly(s.options.onStatus, line);
    }

    std::lock_guard lock(s.m);
    if (statusLine) {
        // A new response (the first, or one after a redirect): its headers replace the old.
        s.headers.clear();
        s.contentType.clear();
        s.metaint = 0;
        s.bitrate = 0;
        s.status = 0;
        const std::size_t sp = line.find(' ');
        if (sp != std::string::npos) {
            const char* first = line.data() + sp + 1;
            std::from_chars(first, line.data() + line.size(), s.status);
        }
    } else if (startsWithNoCase(line, "content-type:")) {
        s.contentType = trimmedLower(std::string_view(line).substr(13));
    } else if (startsWithNoCase(line, "icy-br:")) {
        // "128", or "128,128" from some servers: the first number counts.
        const std::string v = trimmedLower(std::string_view(line).substr(7));
        std::size_t kbps = 0;
        const auto r = std::from_chars(v.data(), v.data() + v.size(), kbps);
        if (r.ec == std::errc() && kbps > 0 && kbps < 10000 && s.bitrate == 0)
            s.bitrate = kbps;
    } else if (startsWithNoCase(line, "icy-metaint:")) {
        const std::string v = trimmedLower(std::string_view(line).substr(12));
        std::size_t metaint = 0;
        const auto r = std::from_chars(v.data(), v.data() + v.size(), metaint);
        // Anything unreasonable is treated as "no metadata" rather than trusted.
        s.metaint = (r.ec == std::errc() && metaint <= (1u << 24)) ? metaint : 0;
    }
    // Lines past the limit still set the values above, but are neither kept nor handed out.
    if (keep)
        s.headers.push_back(std::move(line));
    return length;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Stream*>(user)->stop ? 1 : 0;
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
        if (stageLogEnabled())
            curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, onConnected);
        curl_multi_add_handle(multi, easy);

        ErrorCode timedOut = ErrorCode::Ok;
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
            if (phase == Stream::Phase::Connecting && now > s.connectDeadline) {
                timedOut = ErrorCode::Timeout;
                break;
            }
            if (phase != Stream::Phase::Connecting && now - s.lastData > s.options.stallTimeout) {
                timedOut = ErrorCode::Timeout;
                break;
            }
            if (phase == Stream::Phase::Ready && s.startExpired()) {
                // Opened, but not buffered in time (a trickle): over, like a lost connection.
                timedOut = ErrorCode::Timeout;
                break;
            }
            curl_multi_poll(multi, nullptr, 0, static_cast<int>(kNetPoll.count()), nullptr);
        }

        CURLcode result = CURLE_OK;
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left))
            if (msg->msg == CURLMSG_DONE)
                result = msg->data.result;
        ErrorCode code = timedOut;
        if (code == ErrorCode::Ok && s.stop)
            code = ErrorCode::Cancelled;
        if (code == ErrorCode::Ok && result == CURLE_OPERATION_TIMEDOUT)
            code = ErrorCode::Timeout;
        if (code == ErrorCode::Ok && result != CURLE_OK)
            code = ErrorCode::FileOpen;
        if (code == ErrorCode::Ok)
            code = ErrorCode::FileOpen; // ended before it began
        ConnectFault fault = ConnectFault::None;
        if (result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_COULDNT_RESOLVE_PROXY) {
            fault = ConnectFault::NameLookup;
        } else if (result == CURLE_COULDNT_CONNECT) {
            long osError = 0;
            curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError);
            fault = osError == ECONNREFUSED ? ConnectFault::Refused : ConnectFault::Other;
        }
        {
            std::lock_guard lock(s.m);
            if (s.netFailure == ErrorCode::Ok && (timedOut != ErrorCode::Ok || result != CURLE_OK))
                s.netFailure = code;
            s.connectFault = fault;
        }
        {
            // Once the headers are in, the decoder decides from the bytes it got.
            std::lock_guard lock(s.m);
            if (s.phase == Stream::Phase::Connecting) {
                s.phase = Stream::Phase::Failed;
                s.failure = code;
            }
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
