#pragma once
// hostile_server.py as a GoogleTest environment: one server per test binary, serving a short
// MP3 and AAC tone (made by ffmpeg) besides its misbehaving modes. Shared by the engine's and
// the player's hostile-server tests. Runs on the test's main thread.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <tuple>

namespace tl::test {

// A loopback port nobody listens on at the moment of the call.
inline int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class HostileService : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const QString mp3 = dir.filePath(QStringLiteral("sine.mp3"));
        const QString aac = dir.filePath(QStringLiteral("sine.aac"));
        for (const auto& [file, codec, format] :
             {std::tuple{mp3, "libmp3lame", "mp3"}, std::tuple{aac, "aac", "adts"}}) {
            const QStringList args = {QStringLiteral("-nostdin"),
                                      QStringLiteral("-v"),
                                      QStringLiteral("error"),
                                      QStringLiteral("-f"),
                                      QStringLiteral("lavfi"),
                                      QStringLiteral("-i"),
                                      QStringLiteral("sine=frequency=440:duration=20"),
                                      QStringLiteral("-ac"),
                                      QStringLiteral("2"),
                                      QStringLiteral("-c:a"),
                                      QString::fromLatin1(codec),
                                      QStringLiteral("-b:a"),
                                      QStringLiteral("128k"),
                                      QStringLiteral("-f"),
                                      QString::fromLatin1(format),
                                      QStringLiteral("-y"),
                                      file};
            ASSERT_EQ(QProcess::execute(QStringLiteral("ffmpeg"), args), 0);
        }
        port = freePort();
        const QString ready = dir.filePath(QStringLiteral("ready"));
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(QStringLiteral("python3"),
                     {QStringLiteral(TL_SOURCE_DIR "/tests/services/hostile_server.py"),
                      QStringLiteral("--port"), QString::number(port), QStringLiteral("--mp3"), mp3,
                      QStringLiteral("--aac"), aac, QStringLiteral("--ready"), ready});
        QElapsedTimer waited;
        waited.start();
        while (!(up = QFile::exists(ready)) && waited.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(10);
        }
        ASSERT_TRUE(up) << "hostile_server.py did not start";
    }
    void TearDown() override {
        server.terminate();
        server.waitForFinished(5000);
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
