#pragma once
// The directory download: runs a query on a worker thread and hands the reply to the owner's
// thread (normally the UI thread). For the JSON directory it first learns the server list and
// then tries the servers in turn until one answers.
//
// Ownership and threads: the owner creates and uses this object on one thread. start() ends
// a running request first (cancelling it, never waiting for the network) and the destructor
// does the same, so no reply arrives after either. A cancelled request never reports.

#include "common/http_client.h"
#include "directory/directory_query.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>

namespace tl {

struct DirectoryReply {
    int service = -1;
    bool ok = false;
    QByteArray body;     // the whole reply; also an error page of the HTML directories
    QString server;      // JSON directory: the server that answered
    QStringList servers; // JSON directory: the servers to try next time, that one first
    QString error;       // why it failed (empty when ok)
};

class DirectoryFetcher : public QObject {
    Q_OBJECT
public:
    // A reply larger than this is a failure: a hostile server cannot exhaust memory.
    static constexpr std::size_t kMaxReplyBytes = 4u * 1024u * 1024u;
    // At most this many JSON directory servers are tried for one search.
    static constexpr int kMaxServerTries = 4;

    explicit DirectoryFetcher(DirectoryConfig config, QObject* parent = nullptr);
    ~DirectoryFetcher() override;

    // Called on the owner's thread with the reply of the latest start().
    std::function<void(const DirectoryReply&)> onDone;

    void start(const DirectoryQuery& query);
    void cancel();
    bool isRunning() const { return running_; }

    // Counts a play at the JSON directory; fire and forget (a newer click or the destructor
    // cancels it). Nothing is reported.
    void countClick(const QString& server, const QString& stationUuid);

    const DirectoryConfig& config() const { return config_; }

private:
    static DirectoryReply run(const DirectoryQuery& query, const DirectoryConfig& config,
                              QStringList servers, std::stop_token stop);

    DirectoryConfig config_;
    QStringList servers_; // JSON directory servers learnt so far; owner thread only
    std::jthread worker_;
    std::jthread clickWorker_;
    std::atomic<quint64> generation_{0};
    bool running_ = false;
};

} // namespace tl
