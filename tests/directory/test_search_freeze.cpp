// A name lookup that takes eight seconds (services/slowdns.c, preloaded) must never hold up
// the UI thread: the whole program, offscreen, searches a directory whose host is slow, plays
// a result whose playlist lives on that host, searches again, closes the manager and quits;
// the album-art grabber is asked for, and cancelled on, the same host. Every step returns to
// the event loop within 100 ms (the bound the window promises; measured around each call).

#include "app/application.h"
#include "common/background_task.h"
#include "common/http_client.h"
#include "directory/search_tab.h"
#include "directory_pages.h"

#include "../common/local_http_server.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>

#include <netdb.h>

namespace tl {
namespace {

using test::writeFile;

constexpr qint64 kBoundMs = 100;

qint64 timed(const std::function<void()>& step) {
    QElapsedTimer t;
    t.start();
    step();
    return t.elapsed();
}

using test::waitUntil;

TEST(SearchFreeze, SlowNameLookupNeverBlocksTheWindow) {
    ASSERT_FALSE(qgetenv("LD_PRELOAD").isEmpty()) << "runs with services/slowdns.c preloaded";
    test::bypassProxyForLoopback();

    // The lookup really is slow for this host (the shim is in place).
    {
        auto lookup = std::async(std::launch::async, [] {
            addrinfo* found = nullptr;
            const int rc = getaddrinfo("slow.test", "80", nullptr, &found);
            if (found != nullptr)
                freeaddrinfo(found);
            return rc;
        });
        EXPECT_EQ(lookup.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
        lookup.wait();
    }
    // A download stopped while its lookup hangs ends at once.
    {
        DownloadOptions o;
        o.timeout = std::chrono::seconds(30);
        std::stop_source stop;
        QElapsedTimer t;
        t.start();
        std::thread probe([&] { (void)downloadOnce("http://slow.test/", o, stop.get_token()); });
        QThread::msleep(300);
        stop.request_stop();
        probe.join();
        EXPECT_LT(t.elapsed(), 1000) << "a stop ends the download although its lookup hangs";
    }

    // The album-art grabber: get, get again, cancel, destroy.
    {
        auto grabber = std::make_unique<HttpGrabber>();
        DownloadOptions o;
        o.timeout = std::chrono::seconds(30);
        grabber->get("http://slow.test/art.jpg", o);
        QThread::msleep(200); // the lookup is under way
        EXPECT_LT(timed([&] { grabber->get("http://slow.test/other.jpg", o); }), kBoundMs);
        QThread::msleep(200);
        EXPECT_LT(timed([&] { grabber->cancel(); }), kBoundMs);
        grabber->get("http://slow.test/third.jpg", o);
        QThread::msleep(200);
        EXPECT_LT(timed([&] { grabber.reset(); }), kBoundMs);
    }

    // The JSON directory answers from loopback with a station whose playlist is on the slow
    // host; the SHOUTcast directory lives on the slow host itself.
    QTemporaryDir www;
    writeFile(www.filePath("json/stations/search"),
              "[" + test::radioBrowserStation("Slow List", "http://slow.test/list.pls", 128) + "]");
    test::LocalHttpServer server;
    ASSERT_TRUE(server.start(www.path()));
    QTemporaryDir appDir;
    writeFile(appDir.filePath("stations.xml"), "<?xml version=\"1.0\"?>\n<stations/>\n");
    writeFile(appDir.filePath("config.ini"),
              QStringLiteral("[General]\nShowNotifier=0\nlog=0\n[AlbumArt]\nOnline=0\n"
                             "[Directory]\nShoutcast=http://slow.test/\nRadioBrowser=%1\n"
                             "RadioBrowserServers=localhost:%2\nTimeout=30\n")
                  .arg(server.url(QString()).chopped(1))
                  .arg(server.port())
                  .toUtf8());
    auto app = std::make_unique<Application>(appDir.path() + u'/');
    ASSERT_TRUE(app->start());
    app->playerWindow().Button2Click(); // shows the station manager
    QWidget* manager = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("TForm2"))
            manager = w;
    ASSERT_NE(manager, nullptr);
    manager->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
    auto* tab = manager->findChild<SearchTab*>();
    auto* serverBox = manager->findChild<QComboBox*>(QStringLiteral("ServerBox"));
    auto* edit = manager->findChild<QComboBox*>(QStringLiteral("Edit1"));
    ASSERT_TRUE(tab && serverBox && edit);
    auto find = [&](int service) {
        serverBox->setCurrentIndex(serverBox->findData(service));
        edit->setEditText(QStringLiteral("Rock"));
        QTest::keyClick(edit->lineEdit(), Qt::Key_Return);
    };

    find(kServiceRadioBrowser);
    ASSERT_TRUE(waitUntil([&] { return !tab->fetcher().isRunning(); }, 30000));
    ASSERT_EQ(tab->rowCount(), 1);
    ASSERT_FALSE(tab->showsPlaceholder());
    EXPECT_LT(timed([&] { tab->ListView1DblClick(); }), kBoundMs); // resolves on the worker
    QThread::msleep(200);

    struct Step {
        const char* what;
        std::function<void()> run;
    } steps[] = {
        {"Find on the slow host",
         [&] {
             find(kServiceShoutcast);
         }},
        {"Find again",
         [&] {
             find(kServiceShoutcast);
         }},
        {"Find on another service",
         [&] {
             find(kServiceRadioBrowser);
         }},
        {"Find on the slow host once more",
         [&] {
             find(kServiceShoutcast);
         }},
        {"close the manager",
         [&] {
             manager->close();
         }},
        {"quit",
         [&] {
             app->exit();
         }},
        {"tear the program down",
         [&] {
             app.reset();
         }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        QThread::msleep(200); // the lookup of the previous step is under way
        EXPECT_LT(timed(step.run), kBoundMs);
        QApplication::processEvents();
    }
    // The cancelled workers leave by themselves once their lookups give up.
    EXPECT_TRUE(drainBackgroundTasks(std::chrono::seconds(20)));
}

} // namespace
} // namespace tl

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
