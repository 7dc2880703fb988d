#include "common/http_client.h"

#include "local_http_server.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using tl::DownloadOptions;
using tl::HttpGrabber;
using tl::test::LocalHttpServer;

class HttpClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tl::test::bypassProxyForLoopback();
        static int argc = 1;
        static char name[] = "test_http_client";
        static char* argv[] = {name, nullptr};
        app_ = new QCoreApplication(argc, argv);
        served_ = new QTemporaryDir;
        QFile f(served_->filePath("blob.bin"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 100000; ++i) {
            f.putChar(static_cast<char>(i % 251));
        }
        f.close();
        server_ = new LocalHttpServer;
        ASSERT_TRUE(server_->start(served_->path()));
    }
    static void TearDownTestSuite() {
        delete server_;
        delete served_;
        delete app_;
    }

    struct Report {
        int count = 0;
        QByteArray body;
        bool ok = false;
        QString error;
        bool onOwnerThread = false;
    };

    static void watch(HttpGrabber& grabber, Report& report) {
        QObject::connect(&grabber, &HttpGrabber::finished,
                         [&report](const QByteArray& body, bool ok, const QString& error) {
                             ++report.count;
                             report.body = body;
                             report.ok = ok;
                             report.error = error;
                             report.onOwnerThread =
                                 QThread::currentThread() == QCoreApplication::instance()->thread();
                         });
    }

    // Runs the event loop until the report arrives or the hang guard fires.
    static void waitFor(const Report& report, std::chrono::milliseconds guard = 30s) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (report.count > 0) {
                loop.quit();
            }
        });
        poll.start(10);
        QTimer::singleShot(guard, &loop, &QEventLoop::quit);
        loop.exec();
    }

    static void spin(std::chrono::milliseconds duration) {
        QEventLoop loop;
        QTimer::singleShot(duration, &loop, &QEventLoop::quit);
        loop.exec();
    }

    static QCoreApplication* app_;
    static QTemporaryDir* served_;
    static LocalHttpServer* server_;
};

QCoreApplication* HttpClientTest::app_ = nullptr;
QTemporaryDir* HttpClientTest::served_ = nullptr;
LocalHttpServer* HttpClientTest::server_ = nullptr;

TEST_F(HttpClientTest, DownloadOnceReadsAtMostMaxBytes) {
    const struct {
        std::size_t maxBytes;
        qsizetype expected;
        bool truncated;
    } cases[] = {
        {32000, 32000, true}, {1, 1, true}, {100000, 100000, false}, {200000, 100000, false}};
    for (const auto& c : cases) {
        DownloadOptions options;
        options.maxBytes = c.maxBytes;
        const auto r = tl::downloadOnce(server_->url("blob.bin"), options);
        EXPECT_TRUE(r.ok()) << r.error.toStdString();
        EXPECT_EQ(r.body.size(), c.expected);
        EXPECT_EQ(r.truncated, c.truncated);
        EXPECT_EQ(r.httpStatus, 200);
        EXPECT_EQ(static_cast<unsigned char>(r.body.back()), (c.expected - 1) % 251);
    }
}

TEST_F(HttpClientTest, DownloadOnceFailures) {
    DownloadOptions quick;
    quick.timeout = 1s;
    const auto hang = tl::downloadOnce(server_->url("hang"), quick);
    EXPECT_FALSE(hang.ok());
    EXPECT_TRUE(hang.body.isEmpty());

    // Only http and https, also after a redirect.
    for (const char* url :
         {"file:///etc/hostname", "ftp://localhost/", "MMS://localhost/x", "not a url", ""}) {
        EXPECT_FALSE(tl::downloadOnce(QString::fromUtf8(url), quick).ok()) << url;
    }
    const auto missing = tl::downloadOnce(server_->url("missing"), quick);
    EXPECT_EQ(missing.httpStatus, 404);
}

TEST_F(HttpClientTest, StopTokenEndsAHangingRequest) {
    DownloadOptions patient;
    patient.timeout = 120s;
    std::stop_source stop;
    std::jthread stopper([&stop] {
        std::this_thread::sleep_for(300ms);
        stop.request_stop();
    });
    const auto r = tl::downloadOnce(server_->url("hang"), patient, stop.get_token());
    EXPECT_EQ(r.error, "cancelled");
}

TEST_F(HttpClientTest, GrabberDeliversWholeReplyOnOwnerThread) {
    HttpGrabber grabber;
    Report report;
    watch(grabber, report);
    grabber.get(server_->url("redirect/blob.bin"), DownloadOptions{});
    EXPECT_TRUE(grabber.isRunning());
    waitFor(report);
    ASSERT_EQ(report.count, 1);
    EXPECT_TRUE(report.ok);
    EXPECT_EQ(report.body.size(), 100000); // whole, although maxBytes says 32000
    EXPECT_TRUE(report.onOwnerThread);
    EXPECT_FALSE(grabber.isRunning());

    Report failed;
    HttpGrabber second;
    watch(second, failed);
    DownloadOptions quick;
    quick.timeout = 500ms;
    second.get(server_->url("hang"), quick);
    waitFor(failed);
    ASSERT_EQ(failed.count, 1);
    EXPECT_FALSE(failed.ok);
    EXPECT_FALSE(failed.error.isEmpty());
}

TEST_F(HttpClientTest, CancelledRequestsNeverReport) {
    Report report;
    HttpGrabber grabber;
    watch(grabber, report);
    DownloadOptions patient;
    patient.timeout = 120s;

    // A finished but undelivered reply is dropped by a new get() as well.
    grabber.get(server_->url("blob.bin"), patient);
    std::this_thread::sleep_for(500ms);
    grabber.get(server_->url("hang"), patient); // joins the first, which never reports
    grabber.get(server_->url("headers"), patient);
    waitFor(report);
    spin(200ms);
    ASSERT_EQ(report.count, 1);
    EXPECT_TRUE(report.body.startsWith("GET /headers")) << report.body.left(40).constData();

    report = {};
    grabber.get(server_->url("blob.bin"), patient);
    std::this_thread::sleep_for(500ms);
    grabber.cancel();
    EXPECT_FALSE(grabber.isRunning());
    spin(200ms);
    EXPECT_EQ(report.count, 0);

    // The destructor cancels and joins a request that would otherwise hang for minutes.
    {
        HttpGrabber doomed;
        watch(doomed, report);
        doomed.get(server_->url("hang"), patient);
        std::this_thread::sleep_for(200ms);
    }
    spin(200ms);
    EXPECT_EQ(report.count, 0);
}

} // namespace
