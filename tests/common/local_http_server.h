#pragma once
// Starts tests/services/http_server.py on a free loopback port and stops it by its process id.
// Addresses use "localhost" so they never look like a numeric server address with a port.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>

namespace tl::test {

class LocalHttpServer {
public:
    LocalHttpServer() = default;
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;
    ~LocalHttpServer() { stop(); }

    // Serves root; every request's headers go to logPath as JSON lines when it is given.
    // extraArgs go to the server as they are (for example "--status", "503").
    bool start(const QString& root, const QString& logPath = {},
               const QStringList& extraArgs = {}) {
        QStringList args{QStringLiteral(TL_SOURCE_DIR "/tests/services/http_server.py"),
                         QStringLiteral("--root"), root};
        if (!logPath.isEmpty()) {
            args << QStringLiteral("--log") << logPath;
        }
        args << extraArgs;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("python3"), args);
        if (!process_.waitForStarted(60000)) {
            return false;
        }
        // The first line is "PORT <n>", printed once the socket listens.
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(60000)) {
                stop();
                return false;
            }
        }
        const QByteArray line = process_.readLine().trimmed();
        if (!line.startsWith("PORT ")) {
            stop();
            return false;
        }
        port_ = line.mid(5).toInt();
        return port_ > 0;
    }

    void stop() {
        const qint64 pid = process_.processId();
        if (pid > 0 && process_.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(pid), SIGKILL);
            process_.waitForFinished(10000);
        }
    }

    int port() const { return port_; }
    QString url(const QString& path) const {
        return QStringLiteral("http://localhost:%1/%2").arg(port_).arg(path);
    }

private:
    QProcess process_;
    int port_ = 0;
};

// Loopback requests must not go through a proxy from the environment.
inline void bypassProxyForLoopback() {
    qputenv("no_proxy", "localhost,127.0.0.1");
    qputenv("NO_PROXY", "localhost,127.0.0.1");
}

// Writes a file to serve, making its folders.
inline void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

} // namespace tl::test
