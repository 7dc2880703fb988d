#include "directory/server_discovery.h"

#include "directory/directory_page.h"

#include <QSet>

#include <algorithm>
#include <random>

#include <netdb.h>
#include <sys/socket.h>

namespace tl {

namespace {

struct AddrInfoDeleter {
    void operator()(addrinfo* a) const { freeaddrinfo(a); }
};

QStringList systemAddresses(const QString& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found) != 0) {
        return {};
    }
    const std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
    QStringList out;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        char text[NI_MAXHOST] = {};
        if (getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) ==
                0 &&
            !out.contains(QString::fromLatin1(text))) {
            out << QString::fromLatin1(text);
        }
    }
    return out;
}

QString systemReverseName(const QString& address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.toLatin1().constData(), nullptr, &hints, &found) != 0) {
        return {};
    }
    const std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
    char name[NI_MAXHOST] = {};
    if (getnameinfo(found->ai_addr, found->ai_addrlen, name, sizeof name, nullptr, 0,
                    NI_NAMEREQD) != 0) {
        return {};
    }
    return QString::fromLatin1(name);
}

// A name a server may have: letters, digits, dots and hyphens, with at least one letter (a
// reverse lookup may echo the number back).
bool isServerName(const QString& name) {
    if (name.isEmpty() || name.size() > 253) {
        return false;
    }
    bool letter = false;
    for (const QChar ch : name) {
        const bool alpha = (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z');
        letter = letter || alpha;
        if (!alpha && !(ch >= u'0' && ch <= u'9') && ch != u'.' && ch != u'-') {
            return false;
        }
    }
    return letter;
}

void addOnce(QStringList& names, QSet<QString>& seen, const QString& name) {
    if (!seen.contains(name.toLower())) {
        seen.insert(name.toLower());
        names << name;
    }
}

} // namespace

ServerResolver SystemResolver() {
    return {&systemAddresses, &systemReverseName};
}

void ShuffleServers(QStringList& servers) {
    static thread_local std::mt19937 random{std::random_device{}()};
    std::shuffle(servers.begin(), servers.end(), random);
}

QStringList DiscoverServers(const DirectoryConfig& config, const DiscoverySources& sources,
                            std::stop_token stop) {
    QStringList names;
    QSet<QString> seen;
    if (!config.discoveryHost.isEmpty() && sources.resolver.addresses) {
        for (const QString& address : sources.resolver.addresses(config.discoveryHost)) {
            if (stop.stop_requested()) {
                return {};
            }
            const QString name =
                sources.resolver.reverseName ? sources.resolver.reverseName(address) : QString();
            if (isServerName(name)) {
                addOnce(names, seen, name.endsWith(u'.') ? name.chopped(1) : name);
            }
        }
    }
    if (names.isEmpty() && sources.serverList && !stop.stop_requested()) {
        if (const std::optional<QByteArray> list = sources.serverList()) {
            for (const QString& name : ParseRadioBrowserServers(*list)) {
                addOnce(names, seen, name);
            }
        }
    }
    if (names.isEmpty()) {
        for (const QString& name : config.radioBrowserServers) {
            addOnce(names, seen, name);
        }
    }
    QStringList servers = RadioBrowserServerAddresses(names, config);
    if (sources.shuffle) {
        sources.shuffle(servers);
    } else {
        ShuffleServers(servers);
    }
    if (servers.isEmpty()) {
        servers << config.radioBrowser; // the list host answers searches too
    }
    return servers;
}

} // namespace tl
