#pragma once
// Finding the JSON directory's servers the way the directory asks its clients to: every
// address of its round-robin name, each turned back into its own server name; failing that
// the server list of /json/servers; failing that the names config.ini gives, and last the
// configured list host itself. The list is shuffled so that clients spread over the servers.
//
// Runs on a download worker (the lookups block and cannot be interrupted; the worker is a
// background task that nobody waits for). The lookups and the list download are injected so
// that tests can replace the network.

#include "directory/directory_query.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <stop_token>

namespace tl {

struct ServerResolver {
    // Every address of a host name, as numeric texts; empty when the lookup fails.
    std::function<QStringList(const QString& host)> addresses;
    // The host name an address points back to; empty when it has none.
    std::function<QString(const QString& address)> reverseName;
};

// getaddrinfo() and getnameinfo(); blocking.
ServerResolver SystemResolver();

struct DiscoverySources {
    ServerResolver resolver;
    // The body of the list host's /json/servers, nullopt when it could not be had.
    std::function<std::optional<QByteArray>()> serverList;
    // Reorders the found servers; the default shuffles at random.
    std::function<void(QStringList&)> shuffle;
};

// Server addresses ("https://de1.example") to try in turn, never empty: when nothing else is
// known, the configured list host itself. Each source is asked only when the ones before it
// found nothing. `stop` ends the discovery early (the result may then be partial).
QStringList DiscoverServers(const DirectoryConfig& config, const DiscoverySources& sources,
                            std::stop_token stop = {});

// The default shuffle.
void ShuffleServers(QStringList& servers);

} // namespace tl
