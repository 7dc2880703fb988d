#include "common/http_client.h"

#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>

namespace tl {

namespace {

constexpr long kMaxRedirects = 10;
// Upper bound for one wait of the transfer loop; a stop request wakes it at once anyway.
constexpr int kPollMs = 100;

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// cancelAllDownloads(): the transfers running now, woken and ended by a new epoch.
struct Running {
    std::mutex mutex;
    std::set<CURLM*> multis;
    std::atomic<quint64> epoch{0};
};

Running& running() {
    static auto* r = new Running; // never destroyed: a late worker may still sign off
    return *r;
}

struct Transfer {
    QByteArray body;
    std::size_t maxBytes = 0;
    bool truncated = false;
    std::stop_token stop;
    quint64 epoch = 0; // running().epoch when the transfer began

    bool stopped() const { return stop.stop_requested() || running().epoch.load() != epoch; }
};

// Registers a multi handle for cancelAllDownloads() while it is in use.
class RunningEntry {
public:
    explicit RunningEntry(CURLM* m) : m_(m) {
        const std::lock_guard lock(running().mutex);
        running().multis.insert(m_);
    }
    ~RunningEntry() {
        const std::lock_guard lock(running().mutex);
        running().multis.erase(m_);
    }
    RunningEntry(const RunningEntry&) = delete;
    RunningEntry& operator=(const RunningEntry&) = delete;

private:
    CURLM* m_;
};

// Collects at most maxBytes. Bytes beyond the limit end the transfer: that was the one read.
std::size_t onWrite(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    const auto have = static_cast<std::size_t>(t->body.size());
    const std::size_t room = t->maxBytes > have ? t->maxBytes - have : 0;
    const std::size_t take = n < room ? n : room;
    t->body.append(data, static_cast<qsizetype>(take));
    if (take < n) {
        t->truncated = true; // returning less than n aborts the transfer
    }
    return take;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->stopped() ? 1 : 0;
}

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
    void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

QByteArray encodedUrl(const QString& url) {
    const QUrl parsed(url, QUrl::TolerantMode);
    if (parsed.isValid()) {
        return parsed.toEncoded();
    }
    return url.toUtf8();
}

} // namespace

DownloadResult downloadOnce(const QString& url, const DownloadOptions& options,
                            std::stop_token stop) {
    initCurlOnce();
    DownloadResult result;
    const quint64 epoch = running().epoch.load();
    if (stop.stop_requested()) {
        result.error = QStringLiteral("cancelled");
        return result;
    }

    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!multi || !easy) {
        result.error = QStringLiteral("cannot initialise libcurl");
        return result;
    }

    Transfer transfer;
    transfer.maxBytes = options.maxBytes;
    transfer.stop = stop;
    transfer.epoch = epoch;

    std::unique_ptr<curl_slist, ListDeleter> headers;
    if (options.noCache) {
        curl_slist* list = curl_slist_append(nullptr, "Cache-Control: no-cache");
        list = curl_slist_append(list, "Pragma: no-cache");
        headers.reset(list);
    }
    // Shoutcast v1 servers answer "ICY 200 OK" instead of an HTTP status line.
    std::unique_ptr<curl_slist, ListDeleter> aliases(curl_slist_append(nullptr, "ICY 200 OK"));

    const QByteArray urlBytes = encodedUrl(url);
    const QByteArray agent = options.userAgent.toUtf8();
    const long timeoutMs = static_cast<long>(options.timeout.count());
    const long connectMs = options.connectTimeout.count() > 0
                               ? static_cast<long>(options.connectTimeout.count())
                               : timeoutMs;
    char errorText[CURL_ERROR_SIZE] = {};

    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // Removing the handle must not wait for a pending name lookup: libcurl leaves it to its
    // resolver thread, which ends by itself.
    curl_easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    if (!agent.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERAGENT, agent.constData());
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_HTTP200ALIASES, aliases.get());
    if (timeoutMs > 0) {
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeoutMs);
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, std::min(connectMs, timeoutMs));
    }
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &onWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);

    if (curl_multi_add_handle(multi.get(), h) != CURLM_OK) {
        result.error = QStringLiteral("cannot start the transfer");
        return result;
    }

    bool cancelled = false;
    CURLcode code = CURLE_OK;
    {
        // Wakes the wait below at once when the owner asks to stop.
        std::stop_callback wake(stop, [m = multi.get()] { curl_multi_wakeup(m); });
        const RunningEntry entry(multi.get());
        int active = 1;
        while (active > 0) {
            if (curl_multi_perform(multi.get(), &active) != CURLM_OK) {
                code = CURLE_FAILED_INIT;
                break;
            }
            if (transfer.stopped()) {
                cancelled = true;
                break;
            }
            if (active > 0 &&
                curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr) != CURLM_OK) {
                code = CURLE_FAILED_INIT;
                break;
            }
        }
        int pending = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &pending)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == h) {
                code = msg->data.result;
            }
        }
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &result.httpStatus);
    const char* contentType = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType) {
        result.contentType = QString::fromLatin1(contentType).left(256);
    }
    curl_multi_remove_handle(multi.get(), h);

    result.body = std::move(transfer.body);
    result.truncated = transfer.truncated;
    if (cancelled || code == CURLE_ABORTED_BY_CALLBACK) {
        result.error = QStringLiteral("cancelled");
    } else if (code == CURLE_WRITE_ERROR && transfer.truncated) {
        // Our own stop after maxBytes: the read is complete.
    } else if (code != CURLE_OK) {
        result.error = errorText[0] != '\0' ? QString::fromUtf8(errorText)
                                            : QString::fromUtf8(curl_easy_strerror(code));
    }
    if (!result.ok() && result.error != QStringLiteral("cancelled")) {
        // A failed transfer delivers nothing, not a fragment.
        result.body.clear();
    }
    return result;
}

void cancelAllDownloads() {
    Running& r = running();
    const std::lock_guard lock(r.mutex);
    ++r.epoch;
    for (CURLM* m : r.multis) {
        curl_multi_wakeup(m);
    }
}

HttpGrabber::HttpGrabber(QObject* parent)
    : QObject(parent), guard_(std::make_shared<ReplyGuard>(this)) {}

HttpGrabber::~HttpGrabber() {
    guard_->release();
    stop_.request_stop();
}

void HttpGrabber::get(const QString& url, const DownloadOptions& options) {
    cancel();
    const quint64 generation = ++generation_;
    running_ = true;
    DownloadOptions whole = options;
    whole.maxBytes = options.grabberMaxBytes;
    stop_ = std::stop_source();
    startBackgroundTask(
        [this, guard = guard_, url, whole, generation](std::stop_token stop) {
            DownloadResult reply = downloadOnce(url, whole, stop);
            if (stop.stop_requested()) {
                return;
            }
            if (reply.ok() && reply.truncated) {
                reply.body.clear();
                reply.error = QStringLiteral("reply larger than %1 bytes").arg(whole.maxBytes);
            }
            // A copy for the owner's thread; a request cancelled meanwhile is dropped there.
            guard->post([this, generation, reply = std::move(reply)] {
                if (generation != generation_) {
                    return;
                }
                running_ = false;
                Q_EMIT finished(reply.body, reply.ok(), reply.error);
            });
        },
        stop_);
}

void HttpGrabber::cancel() {
    ++generation_;
    running_ = false;
    stop_.request_stop(); // the worker ends by itself; nothing here waits for it
}

bool HttpGrabber::isRunning() const {
    return running_;
}

} // namespace tl
