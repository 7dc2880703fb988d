#pragma once
// The directory download: runs a query on a worker thread and hands the reply to the owner's
// thread (normally the UI thread). For the JSON directory it first finds its servers
// (directory/server_discovery.h), then tries them in turn until one gives a readable answer,
// all within one deadline; a search whose servers all failed finds them anew.
//
// Ownership and threads: the owner creates and uses this object on one thread. The requests
// run as background tasks (common/background_task.h). start() cancels a running request
// first and the destructor does the same; neither waits for it (a name lookup may still be
// pending), and a cancelled request never reports.

#include "common/http_client.h"
#include "directory/directory_query.h"
#include "directory/server_discovery.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>
#include <stop_token>

namespace tl {

struct DirectoryReply {
    int service = -1;
    bool ok = false;
    QByteArray body;     // the whole reply; also an error page of the HTML directories
    QString server;      // JSON directory: the server that answered
    QStringList servers; // JSON directory: the servers to try next time, that one first;
                         // empty when all failed (the next search finds them anew)
    QString error;       // why it failed (empty when ok)
};

// The text a search shows when no server of the JSON directory gave a readable reply.
inline constexpr char kUnreadableReply[] = "the directory's reply could not be read";

class DirectoryFetcher : public QObject {
    Q_OBJECT
public:
    // A reply larger than this is a failure: a hostile server cannot exhaust memory.
    static constexpr std::size_t kMaxReplyBytes = 4u * 1024u * 1024u;

    explicit DirectoryFetcher(DirectoryConfig config, QObject* parent = nullptr);
    ~DirectoryFetcher() override;

    // Called on the owner's thread with the reply of the latest start().
    std::function<void(const DirectoryReply&)> onDone;
    // Called on the owner's thread with the server the latest start() is asking now.
    std::function<void(const QString& server)> onAsking;
    // How the JSON directory's servers are found; the system's resolver and the list host by
    // default. Tests replace the lookups and the shuffle. Owner thread, before start().
    void setResolver(ServerResolver resolver) { resolver_ = std::move(resolver); }
    void setShuffle(std::function<void(QStringList&)> shuffle) { shuffle_ = std::move(shuffle); }

    void start(const DirectoryQuery& query);
    void cancel();
    bool isRunning() const { return running_; }

    // Counts a play at the JSON directory; fire and forget, never cancelled by a later click
    // (only by the program's exit). Nothing is reported.
    void countClick(const QString& server, const QString& stationUuid);

    const DirectoryConfig& config() const { return config_; }

private:
    struct Job {
        DirectoryQuery query;
        DirectoryConfig config;
        QStringList servers; // known from an earlier search; empty: find them
        ServerResolver resolver;
        std::function<void(QStringList&)> shuffle;
        std::function<void(const QString&)> asking; // any thread
    };
    static DirectoryReply run(const Job& job, std::stop_token stop);

    DirectoryConfig config_;
    QStringList servers_; // JSON directory servers learnt so far; owner thread only
    ServerResolver resolver_ = SystemResolver();
    std::function<void(QStringList&)> shuffle_;
    std::shared_ptr<ReplyGuard> guard_; // the workers' way back to this object
    std::stop_source stop_;             // the running request's
    quint64 generation_ = 0;            // owner thread only
    bool running_ = false;
};

} // namespace tl
