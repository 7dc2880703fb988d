#include "directory/directory_fetch.h"

#include <QMetaObject>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <optional>

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
    : QObject(parent), config_(std::move(config)), guard_(std::make_shared<ReplyGuard>(this)) {}

DirectoryFetcher::~DirectoryFetcher() {
    guard_->release();
    stop_.request_stop();
}

void DirectoryFetcher::start(const DirectoryQuery& query) {
    cancel();
    const quint64 generation = ++generation_;
    running_ = true;
    stop_ = std::stop_source();
    startBackgroundTask(
        [this, guard = guard_, generation,
         job = Job{query, config_, servers_, resolver_, shuffle_, {}}](std::stop_token stop) {
            Job own = job;
            own.asking = [this, guard, generation](const QString& server) {
                guard->post([this, generation, server] {
                    if (generation == generation_ && onAsking) {
                        onAsking(server);
                    }
                });
            };
            DirectoryReply reply = run(own, stop);
            if (stop.stop_requested()) {
                return;
            }
            guard->post([this, generation, reply = std::move(reply)] {
                if (generation != generation_) {
                    return; // cancelled meanwhile
                }
                running_ = false;
                if (reply.service == kServiceRadioBrowser) {
                    servers_ = reply.servers; // empty after a failure: found anew next time
                }
                if (onDone) {
                    onDone(reply);
                }
            });
        },
        stop_);
}

void DirectoryFetcher::cancel() {
    ++generation_;
    running_ = false;
    stop_.request_stop(); // the worker ends by itself; nothing here waits for it
}

void DirectoryFetcher::countClick(const QString& server, const QString& stationUuid) {
    if (server.isEmpty() || stationUuid.isEmpty()) {
        return;
    }
    DownloadOptions o = optionsFor(QString::fromLatin1(kRadioBrowserUserAgent), config_);
    o.maxBytes = 64 * 1024;
    const QString url = RadioBrowserClickUrl(server, stationUuid);
    startBackgroundTask([url, o](std::stop_token stop) { (void)downloadOnce(url, o, stop); });
}

DirectoryReply DirectoryFetcher::run(const Job& job, std::stop_token stop) {
    const DirectoryQuery& query = job.query;
    const DirectoryConfig& config = job.config;
    DirectoryReply reply;
    reply.service = query.service;
    DownloadOptions options = optionsFor(query.userAgent, config);
    options.connectTimeout = config.connectTimeout;

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

    // The JSON directory, within one deadline: every request gets what is left of it.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + config.searchDeadline;
    auto left = [deadline] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    };
    auto ask = [&](const QString& url) -> std::optional<DownloadResult> {
        const std::chrono::milliseconds remaining = left();
        if (remaining.count() <= 0) {
            return std::nullopt;
        }
        DownloadOptions o = options;
        o.timeout = std::min(options.timeout, remaining);
        return downloadOnce(url, o, stop);
    };
    auto discover = [&] {
        DiscoverySources sources;
        sources.resolver = job.resolver;
        sources.shuffle = job.shuffle;
        sources.serverList = [&]() -> std::optional<QByteArray> {
            const auto list = ask(config.radioBrowser + QStringLiteral("/json/servers"));
            if (!list || !problemOf(*list).isEmpty() || list->httpStatus < 200 ||
                list->httpStatus >= 300) {
                return std::nullopt;
            }
            return list->body;
        };
        return DiscoverServers(config, sources, stop);
    };

    QStringList servers = job.servers;
    bool fresh = servers.isEmpty();
    if (fresh) {
        servers = discover();
    }
    QStringList tried;
    bool unreadable = false;
    reply.error = QStringLiteral("no server answered");
    for (qsizetype i = 0; i < servers.size(); ++i) {
        const QString server = servers[i];
        if (tried.contains(server)) {
            continue;
        }
        tried << server;
        if (stop.stop_requested()) {
            return reply;
        }
        if (left().count() <= 0) {
            reply.error = QStringLiteral("no server answered within %1 s")
                              .arg(config.searchDeadline.count() / 1000);
            break;
        }
        if (job.asking) {
            job.asking(QUrl(server).authority());
        }
        const std::optional<DownloadResult> r = ask(server + query.radioBrowserPath);
        if (stop.stop_requested()) {
            return reply;
        }
        QString problem = r ? problemOf(*r) : QStringLiteral("out of time");
        if (problem.isEmpty() && (r->httpStatus < 200 || r->httpStatus >= 300)) {
            problem = QStringLiteral("HTTP status %1").arg(r->httpStatus);
        }
        if (problem.isEmpty() && !IsJsonArray(r->body)) {
            // A captive portal, a proxy's page, a cut-off body: this server failed.
            problem = QString::fromLatin1(kUnreadableReply);
            unreadable = true;
        }
        if (!problem.isEmpty()) {
            reply.error = server + QStringLiteral(": ") + problem;
            if (i + 1 == servers.size() && !fresh) {
                // Every server known from before failed: find them anew and go on with the
                // ones not asked yet.
                fresh = true;
                servers << discover();
            }
            continue;
        }
        reply.ok = true;
        reply.error.clear();
        reply.body = r->body;
        reply.server = server;
        reply.servers = servers;
        reply.servers.removeDuplicates();
        reply.servers.move(reply.servers.indexOf(server), 0);
        return reply;
    }
    if (unreadable) {
        reply.error = QString::fromLatin1(kUnreadableReply);
    }
    return reply;
}

} // namespace tl
