// The whole program, offscreen: a search against each local directory fixture finds its rows
// and a double-click (or the player's next) plays the row's station from a local Icecast,
// through the row's playlist where the directory links one.

#include "app/application.h"
#include "directory/search_tab.h"
#include "directory_pages.h"

#include "../common/local_http_server.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace tl {
namespace {

using test::writeFile;

const QString kServices = QStringLiteral(TL_SOURCE_DIR "/tests/services/");

bool runScript(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QStringLiteral("bash"), args);
    return p.waitForFinished(240000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

using test::waitUntil;

TEST(SearchPlay, EachDirectoryPlaysItsFirstRowFromIcecast) {
    test::bypassProxyForLoopback();
    QTemporaryDir ice;
    ASSERT_TRUE(ice.isValid());
    int icePort = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        icePort = probe.serverPort();
    }
    ASSERT_TRUE(
        runScript({kServices + "icecast.sh", "start", ice.path(), QString::number(icePort)}));
    struct StopIcecast {
        QString dir;
        ~StopIcecast() { runScript({kServices + "icecast.sh", "stop", dir}); }
    } stopIcecast{ice.path()};
    auto mount = [icePort](const char* m) {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(icePort).arg(QLatin1String(m));
    };

    // The fixtures: SHOUTcast links to PLS files, Xiph to an M3U, the JSON directory straight
    // to the stream.
    QTemporaryDir www;
    QList<test::PageStation> sc(2);
    sc[0].name = QStringLiteral("Shout MP3");
    sc[0].link = QStringLiteral("sbin/first.pls");
    sc[1].name = QStringLiteral("Shout AAC");
    sc[1].link = QStringLiteral("sbin/second.pls");
    writeFile(www.filePath("directory/index.phtml"),
              test::shoutcastPage(sc).join(QStringLiteral("\n")).toUtf8());
    writeFile(www.filePath("sbin/first.pls"),
              "[playlist]\nNumberOfEntries=1\nFile1=" + mount("/live.mp3").toUtf8() + "\n");
    writeFile(www.filePath("sbin/second.pls"),
              "[playlist]\nNumberOfEntries=1\nFile1=" + mount("/live.aac").toUtf8() + "\n");
    test::XiphStation x;
    x.name = QStringLiteral("Xiph Ogg");
    x.link = QStringLiteral("/listen/first.m3u");
    writeFile(www.filePath("index.php"), test::xiphPage({x}).join(QStringLiteral("\n")).toUtf8());
    writeFile(www.filePath("listen/first.m3u"), mount("/live.ogg").toUtf8() + "\n");
    writeFile(www.filePath("json/stations/search"),
              "[" + test::radioBrowserStation("Browser AAC", mount("/live.aac"), 96) + "]");
    test::LocalHttpServer server;
    ASSERT_TRUE(server.start(www.path()));
    writeFile(www.filePath("json/servers"),
              QStringLiteral(R"([{"name":"localhost:%1"}])").arg(server.port()).toUtf8());

    QTemporaryDir appDir;
    const QString base = QStringLiteral("http://localhost:%1").arg(server.port());
    writeFile(appDir.filePath("stations.xml"), "<?xml version=\"1.0\"?>\n<stations/>\n");
    writeFile(appDir.filePath("config.ini"),
              QStringLiteral("[General]\nShowNotifier=0\nlog=0\n[Directory]\nShoutcast=%1/\n"
                             "Xiph=%1\nRadioBrowser=%1\n")
                  .arg(base)
                  .toUtf8());
    Application app(appDir.path() + u'/');
    ASSERT_TRUE(app.start());
    TForm1& player = app.playerWindow();
    player.Button2Click(); // shows the station manager
    QWidget* manager = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("TForm2"))
            manager = w;
    ASSERT_NE(manager, nullptr);
    manager->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
    auto* tab = manager->findChild<SearchTab*>();
    ASSERT_NE(tab, nullptr);
    // No ServiceIndex in config.ini: the JSON directory is offered first.
    EXPECT_EQ(tab->serviceIndex(), kServiceRadioBrowser);

    auto lastPlayed = [&app] {
        CloseValues v;
        app.player().fillCloseValues(v);
        return v.last;
    };
    auto playing = [&app] {
        return app.player().StreamHandle() != 0 && !app.player().Busy();
    };

    struct Row {
        int box;
        const char* name;
        const char* mount;
    } rows[] = {
        {0, "Shout MP3", "/live.mp3"},
        {1, "Xiph Ogg", "/live.ogg"},
        {2, "Browser AAC", "/live.aac"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto* serverBox = manager->findChild<QComboBox*>(QStringLiteral("ServerBox"));
        serverBox->setCurrentIndex(row.box);
        auto* edit = manager->findChild<QComboBox*>(QStringLiteral("Edit1"));
        edit->setEditText(QStringLiteral("Rock"));
        QTest::keyClick(edit->lineEdit(), Qt::Key_Return);
        ASSERT_TRUE(waitUntil([&] { return !tab->fetcher().isRunning(); }, 30000));
        ASSERT_GE(tab->rowCount(), 1);
        ASSERT_FALSE(tab->showsPlaceholder());
        EXPECT_EQ(tab->SearchResults().front().Name, row.name);
        tab->ListView1DblClick();
        ASSERT_TRUE(
            waitUntil([&] { return playing() && lastPlayed().Url == mount(row.mount); }, 30000))
            << lastPlayed().Url.toStdString();
        EXPECT_EQ(lastPlayed().Category, 1);
    }

    // The player's next on this tab plays the next result.
    manager->findChild<QComboBox*>(QStringLiteral("ServerBox"))->setCurrentIndex(0);
    QTest::keyClick(manager->findChild<QComboBox*>(QStringLiteral("ServerBox")), Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !tab->fetcher().isRunning(); }, 30000));
    ASSERT_EQ(tab->rowCount(), 2);
    player.Label2Click(); // row 0 is selected: next is row 1
    EXPECT_EQ(tab->selectedRow(), 1);
    ASSERT_TRUE(
        waitUntil([&] { return playing() && lastPlayed().Url == mount("/live.aac"); }, 30000))
        << lastPlayed().Url.toStdString();
    app.exit();
    QFile config(appDir.filePath("config.ini"));
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    const QByteArray written = config.readAll();
    EXPECT_TRUE(written.contains("\nServiceIndex=0")) << written.toStdString();
    EXPECT_TRUE(written.contains("\nCategory=1")) << written.toStdString();
    app.player().shutdown();
}

} // namespace
} // namespace tl

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
