#pragma once
// HTTP on libcurl: a synchronous single-read download and an asynchronous, cancellable grabber.
// Non-stream requests use the environment's proxy variables (libcurl's default).

#include "common/background_task.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>

namespace tl {

struct DownloadOptions {
    QString userAgent;
    std::size_t maxBytes = 32000;            // downloadOnce cuts the reply after this many bytes;
                                             // HttpGrabber takes whole replies (up to 64 MiB)
    std::size_t grabberMaxBytes = 64u << 20; // HttpGrabber: a longer reply fails
    std::chrono::milliseconds timeout{5000}; // whole request, connect included
    std::chrono::milliseconds connectTimeout{0}; // name lookup and connect; 0: as timeout
    bool noCache = true;                         // "Cache-Control: no-cache", "Pragma: no-cache"
};

struct DownloadResult {
    QByteArray body;        // at most maxBytes
    long httpStatus = 0;    // 0 when no reply arrived
    QString contentType;    // the final reply's Content-Type as sent; empty when none
    QString error;          // empty on success
    bool truncated = false; // the reply was longer than maxBytes; body holds its first part
    bool ok() const { return error.isEmpty(); }
};

// Blocks the calling thread for at most options.timeout. A set stop token, or
// cancelAllDownloads(), aborts at once (error "cancelled"), a pending name lookup included:
// it is left to finish on libcurl's resolver thread. Only http and https, also after
// redirects (followed, at most 10).
// A reply with an HTTP error status still counts as received: ok(), body and httpStatus as
// sent. Any transport failure or time-out gives an error and an empty body.
DownloadResult downloadOnce(const QString& url, const DownloadOptions& options,
                            std::stop_token stop = {});

// Ends every downloadOnce() running now in the process (the program is quitting); downloads
// started afterwards run normally. Thread-safe, never waits.
void cancelAllDownloads();

// Downloads a whole reply on a background task (common/background_task.h) and delivers it on
// the thread that owns this object (normally the UI thread) through finished(). A new get(),
// cancel() or the destructor cancels the running request without waiting for it; the
// cancelled request never reports.
class HttpGrabber : public QObject {
    Q_OBJECT
public:
    explicit HttpGrabber(QObject* parent = nullptr);
    ~HttpGrabber() override;

    void get(const QString& url, const DownloadOptions& options);
    void cancel();
    bool isRunning() const;

Q_SIGNALS:
    void finished(const QByteArray& body, bool ok, const QString& error);

private:
    std::shared_ptr<ReplyGuard> guard_; // the workers' way back to this object
    std::stop_source stop_;             // the running request's
    quint64 generation_ = 0;            // owner thread only
    bool running_ = false;              // a request is out and has not reported; owner thread only
};

} // namespace tl
