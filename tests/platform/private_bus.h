#pragma once
// A private session bus for a test: a real dbus-daemon of its own (listening on a fresh abstract
// socket, so parallel tests never share one), ended by its process. A loaded machine may take
// many seconds to start it; the wait is generous.

#include <QProcess>
#include <QString>

namespace tl::test {

struct PrivateBus {
    QProcess daemon;
    QString address; // empty when the daemon did not start

    PrivateBus() {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address=1")});
        if (daemon.waitForStarted(60000) && daemon.waitForReadyRead(60000)) {
            address = QString::fromUtf8(daemon.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        daemon.terminate();
        if (!daemon.waitForFinished(5000)) {
            daemon.kill();
            daemon.waitForFinished(5000);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
};

} // namespace tl::test
