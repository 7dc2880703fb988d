#include "directory/directory_fetch.h"

#include <QMetaObject>

namespace tl {

namespace {

DownloadOptions optionsFor(const QString& agent, const DirectoryConfig& config) {
    DownloadOptions o;
    o.userAgent = agent;
    o.maxBytes = DirectoryFetcher::kMaxReplyBytes;
    o.timeout = config.timeout;
    o.noCache = true;
    return o;
}

// A reply that is complete and within the size limit; the error text otherwise.
QString problemOf(const DownloadResult& r) {
    if (!r.ok()) {
        return r.error;
    }
    if (r.truncated) {
        return QStringLiteral("reply larger than %1 bytes").arg(DirectoryFetcher::kMaxReplyBytes);
    }
    return {};
}

} // namespace

DirectoryFetcher::DirectoryFetcher(DirectoryConfig config, QObject* parent)
    : QObject(parent), config_(std::move(config)) {}

DirectoryFetcher::~DirectoryFetcher() {
    cancel();
    if (clickWorker_.joinable()) {
        clickWorker_.request_stop();
        clickWorker_.join();
    }
}

void DirectoryFetcher::start(const DirectoryQuery& query) {
    cancel();
    const quint64 generation = ++generation_;
    running_ = true;
    worker_ = std::jthread(
        [this, query, config = config_, servers = servers_, generation](std::stop_token stop) {
            DirectoryReply reply = run(query, config, servers, stop);
            if (stop.stop_requested()) {
                return;
            }
            QMetaObject::invokeMethod(
                this,
                [this, generation, reply = std::move(reply)] {
                    if (generation != generation_.load()) {
                        return; // cancelled meanwhile
                    }
                    running_ = false;
                    if (!reply.servers.isEmpty()) {
                        servers_ = reply.servers;
                    }
                    if (onDone) {
                        onDone(reply);
                    }
                },
                Qt::QueuedConnection);
        });
}

void DirectoryFetcher::cancel() {
    ++generation_;
    running_ = false;
    if (worker_.joinable()) {
        worker_.request_stop(); // downloadOnce returns at once
        worker_.join();
    }
    worker_ = std::jthread();
}

void DirectoryFetcher::countClick(const QString& server, const QString& stationUuid) {
    if (server.isEmpty() || stationUuid.isEmpty()) {
        return;
    }
    if (clickWorker_.joinable()) {
        clickWorker_.request_stop();
        clickWorker_.join();
    }
    DownloadOptions o = optionsFor(QString::fromLatin1(kRadioBrowserUserAgent), config_);
    o.maxBytes = 64 * 1024;
    const QString url = RadioBrowserClickUrl(server, stationUuid);
    clickWorker_ =
        std::jthread([url, o](std::stop_token stop) { (void)downloadOnce(url, o, stop); });
}

DirectoryReply DirectoryFetcher::run(const DirectoryQuery& query, const DirectoryConfig& config,
                                     QStringList servers, std::stop_token stop) {
    DirectoryReply reply;
    reply.service = query.service;
    const DownloadOptions options = optionsFor(query.userAgent, config);

    if (query.service != kServiceRadioBrowser) {
        if (query.url.isEmpty()) {
            reply.ok = true; // nothing to ask: an empty page
            return reply;
        }
        const DownloadResult r = downloadOnce(query.url, options, stop);
        reply.error = problemOf(r);
        reply.ok = reply.error.isEmpty();
        if (reply.ok) {
            reply.body = r.body;
        }
        return reply;
    }

    // The JSON directory: learn its servers, then try them in turn.
    if (servers.isEmpty()) {
        if (!config.radioBrowserServers.isEmpty()) {
            servers = RadioBrowserServerAddresses(config.radioBrowserServers, config);
        } else {
            const DownloadResult list =
                downloadOnce(config.radioBrowser + QStringLiteral("/json/servers"), options, stop);
            if (stop.stop_requested()) {
                return reply;
            }
            if (problemOf(list).isEmpty() && list.httpStatus >= 200 && list.httpStatus < 300) {
                servers = RadioBrowserServerAddresses(ParseRadioBrowserServers(list.body), config);
            }
        }
        if (servers.isEmpty()) {
            servers << config.radioBrowser; // the list host answers searches too
        }
    }
    reply.error = QStringLiteral("no server answered");
    for (qsizetype i = 0; i < servers.size() && i < kMaxServerTries; ++i) {
        const QString& server = servers[i];
        const DownloadResult r = downloadOnce(server + query.radioBrowserPath, options, stop);
        if (stop.stop_requested()) {
            return reply;
        }
        QString problem = problemOf(r);
        if (problem.isEmpty() && (r.httpStatus < 200 || r.httpStatus >= 300)) {
            problem = QStringLiteral("HTTP status %1").arg(r.httpStatus);
        }
        if (!problem.isEmpty()) {
            reply.error = server + QStringLiteral(": ") + problem;
            continue; // the next server
        }
        reply.ok = true;
        reply.error.clear();
        reply.body = r.body;
        reply.server = server;
        reply.servers = servers;
        reply.servers.move(i, 0);
        return reply;
    }
    return reply;
}

} // namespace tl
