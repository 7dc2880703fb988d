#pragma once
// hostile_server.py as an object: one server process serving a short MP3 and AAC tone (made by
// ffmpeg) besides its misbehaving modes. Used by the hostile-server tests (through
// hostile_service.h) and by the stop-latency benchmark. Runs on the caller's main thread.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <tuple>

namespace tl::test {

// A loopback port nobody listens on at the moment of the call.
inline int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class HostileServer {
public:
    HostileServer() = default;
    HostileServer(const HostileServer&) = delete;
    HostileServer& operator=(const HostileServer&) = delete;
    ~HostileServer() { stop(); }

    // Makes the tones and starts the server; an empty string on success, else what failed.
    // `script` is hostile_server.py.
    QString start(const QString& script) {
        if (!dir.isValid())
            return QStringLiteral("no temporary folder");
        const QString mp3 = dir.filePath(QStringLiteral("sine.mp3"));
        const QString aac = dir.filePath(QStringLiteral("sine.aac"));
        const QString mp3b = dir.filePath(QStringLiteral("sine22k_mono.mp3")); // rate_change
        for (const auto& [file, codec, format, layout] :
             {std::tuple{mp3, "libmp3lame", "mp3", "-ac 2"},
              std::tuple{aac, "aac", "adts", "-ac 2"},
              std::tuple{mp3b, "libmp3lame", "mp3", "-ac 1 -ar 22050"}}) {
            QStringList args = {QStringLiteral("-nostdin"),
                                QStringLiteral("-v"),
                                QStringLiteral("error"),
                                QStringLiteral("-f"),
                                QStringLiteral("lavfi"),
                                QStringLiteral("-i"),
                                QStringLiteral("sine=frequency=440:duration=20")};
            args << QString::fromLatin1(layout).split(u' ');
            args << QStringLiteral("-c:a") << QString::fromLatin1(codec) << QStringLiteral("-b:a")
                 << QStringLiteral("128k") << QStringLiteral("-f") << QString::fromLatin1(format)
                 << QStringLiteral("-y") << file;
            if (QProcess::execute(QStringLiteral("ffmpeg"), args) != 0)
                return QStringLiteral("ffmpeg could not make ") + file;
        }
        port = freePort();
        const QString ready = dir.filePath(QStringLiteral("ready"));
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QStringLiteral("python3"),
                     {script, QStringLiteral("--port"), QString::number(port),
                      QStringLiteral("--mp3"), mp3, QStringLiteral("--aac"), aac,
                      QStringLiteral("--mp3b"), mp3b, QStringLiteral("--ready"), ready});
        QElapsedTimer waited;
        waited.start();
        while (!(up = QFile::exists(ready)) && waited.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(10);
        }
        return up ? QString() : QStringLiteral("hostile_server.py did not start");
    }
    void stop() {
        if (server.state() != QProcess::NotRunning) {
            server.terminate();
            server.waitForFinished(5000);
        }
        up = false;
    }
    QString url(const char* mode) const {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(port).arg(QLatin1String(mode));
    }

    QTemporaryDir dir;
    QProcess server;
    int port = 0;
    bool up = false;
};

} // namespace tl::test
