// The play command end to end against a real Icecast2 server fed by ffmpeg: status texts,
// headers, format labels, title changes and the title log, and stopping a server that never
// answers.

#include "controller_harness.h"
#include "player/player_controller.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

using namespace tl;

namespace {

const QString kServices = QStringLiteral(TL_SOURCE_DIR "/tests/services/");

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool runScript(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral("bash"), args);
    return p.waitForFinished(240000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// One Icecast for the whole binary.
class Icecast : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        port = freePort();
        up = runScript({kServices + QStringLiteral("icecast.sh"), QStringLiteral("start"),
                        dir.path(), QString::number(port)});
        ASSERT_TRUE(up) << "icecast.sh start failed";
    }
    void TearDown() override {
        runScript({kServices + QStringLiteral("icecast.sh"), QStringLiteral("stop"), dir.path()});
    }
    QString url(const char* mount) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(QLatin1String(mount));
    }
    bool setTitle(const char* mount, const QString& title) const {
        return runScript({kServices + QStringLiteral("icecast.sh"), QStringLiteral("title"),
                          dir.path(), QString::number(port), QLatin1String(mount), title});
    }
    QTemporaryDir dir;
    int port = 0;
    bool up = false;
};

Icecast* g_icecast = static_cast<Icecast*>(::testing::AddGlobalTestEnvironment(new Icecast));

using Player = test::ControllerHarness;

} // namespace

TEST(PlayerIntegration, PlaysAnMp3MountWithItsHeadersAndTitles) {
    Player p;
    ASSERT_TRUE(p.player->titleLog().open(p.dir.filePath(QStringLiteral("Tunelark.log"))));
    p.now.Url = g_icecast->url("/live.mp3");
    p.player->Button1Click();
    EXPECT_TRUE(p.player->Busy());
    ASSERT_TRUE(test::waitUntil([&] { return p.playing(); }, 20000))
        << p.infoLines.join(u'|').toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return p.player->Timer1().isActive(); }));

    const qsizetype connecting = p.infoLines.indexOf(QStringLiteral("connecting..."));
    ASSERT_GE(connecting, 0) << p.infoLines.join(u'|').toStdString();
    ASSERT_GT(p.infoLines.size(), connecting + 2);
    EXPECT_TRUE(p.infoLines[connecting + 1].startsWith(u"buffering... "));
    std::cerr << "info line: " << p.infoLines.join(u'|').toStdString() << "\n";
    EXPECT_TRUE(p.infoLines.filter(QStringLiteral("buffering... ")).size() >= 1)
        << p.infoLines.join(u'|').toStdString();
    EXPECT_EQ(p.caption("Label4"), QStringLiteral("Test Radio"));
    EXPECT_EQ(p.now.Info, QStringLiteral("Test Radio"));
    EXPECT_EQ(p.caption("Label8"), QStringLiteral("MP3"));
    EXPECT_EQ(p.caption("Label5"), QStringLiteral("128 kbps"));
    EXPECT_EQ(p.now.Genre, QStringLiteral("Test Tones"));
    EXPECT_TRUE(p.player->controls().find(u"RecLabel")->enabled);
    EXPECT_TRUE(p.player->controls().find(u"Button1")->enabled);
    EXPECT_EQ(p.player->stateImages().play, QStringLiteral("51.png"));
    EXPECT_TRUE(p.player->PlayTimer().isActive());

    const QString title = QStringLiteral("Lark \"Quoted\" - Song %1").arg(g_icecast->port);
    ASSERT_TRUE(g_icecast->setTitle("/live.mp3", title));
    ASSERT_TRUE(test::waitUntil([&] { return p.caption("Label3") == title; }, 20000))
        << p.caption("Label3").toStdString();
    EXPECT_EQ(p.now.StreamTitle, title);
    QFile log(p.dir.filePath(QStringLiteral("Tunelark.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains(("; " + title + "\r\n").toUtf8()));

    // Stop keeps the labels; the time label resets on the next tick.
    p.player->Button1Click();
    EXPECT_EQ(p.player->StreamHandle(), 0u);
    EXPECT_FALSE(p.player->Busy());
    EXPECT_EQ(p.caption("Label4"), QStringLiteral("Test Radio"));
    EXPECT_EQ(p.caption("Label3"), title);
    EXPECT_EQ(p.player->stateImages().play, QStringLiteral("5.png"));
    p.player->PlayTimerTimer();
    EXPECT_EQ(p.caption("Label7"), QStringLiteral("00:00"));
}

// The worker's decision on the stream kind; the format label itself comes with the icy-br
// header (the hostile-server tests check it for MP3 and AAC). Ogg titles come from the
// stream's comment header, not from ICY blocks.
TEST(PlayerIntegration, StreamKindsFollowTheCodec) {
    const std::pair<const char*, StreamKind> mounts[] = {{"/live.aac", skAAC},
                                                         {"/live.ogg", skMP3}};
    for (const auto& [mount, kind] : mounts) {
        SCOPED_TRACE(mount);
        Player p;
        p.now.Url = g_icecast->url(mount);
        p.player->Button1Click();
        ASSERT_TRUE(test::waitUntil([&] { return p.playing(); }, 20000));
        EXPECT_EQ(p.player->streamKind(), kind);
        if (QString::fromLatin1(mount) == u"/live.ogg") {
            EXPECT_TRUE(test::waitUntil(
                [&] { return p.caption("Label3") == u"Ogg Artist - Ogg Song"; }, 10000))
                << p.caption("Label3").toStdString();
            EXPECT_EQ(p.now.StreamTitle, QStringLiteral("Ogg Artist - Ogg Song"));
        }
        p.player->Button1Click();
    }
}

TEST(PlayerIntegration, UnreachableAndSilentServers) {
    Player p;
    // Refused: "stopped", and the player is usable again.
    p.now.Url = QStringLiteral("http://127.0.0.1:%1/none.mp3").arg(freePort());
    p.player->Button1Click();
    ASSERT_TRUE(test::waitUntil([&] { return !p.player->Busy(); }, 20000));
    ASSERT_TRUE(test::waitUntil([&] { return p.caption("Label4") == u"stopped"; }));

    // A server that accepts and never answers: a second press is ignored while connecting,
    // and closing the player does not hang.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    p.now.Url = QStringLiteral("http://127.0.0.1:%1/live.mp3").arg(silent.serverPort());
    p.player->Button1Click();
    ASSERT_TRUE(test::waitUntil([&] { return p.caption("Label4") == u"connecting..."; }));
    EXPECT_TRUE(p.player->Busy());
    p.player->Button1Click();
    EXPECT_TRUE(p.player->Busy());
    EXPECT_EQ(p.caption("Label4"), QStringLiteral("connecting..."));
    p.player->shutdown(); // must return: the open is cancelled
    EXPECT_EQ(p.player->StreamHandle(), 0u);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
