// Platform services: the single-instance lock and the companion video library contract.

#include "platform/companion_video.h"
#include "platform/instance_lock.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace tl;

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstEnds) {
    QTemporaryDir dir;
    {
        InstanceLock first(QStringLiteral("TUNELARK_CHECKEXIST"), dir.path());
        ASSERT_TRUE(first.acquired());
        InstanceLock second(QStringLiteral("TUNELARK_CHECKEXIST"), dir.path());
        EXPECT_FALSE(second.acquired());
        InstanceLock other(QStringLiteral("OTHER"), dir.path());
        EXPECT_TRUE(other.acquired());
    }
    // The lock file stays behind (as after a crash); a new start still succeeds.
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("TUNELARK_CHECKEXIST"))));
    InstanceLock again(QStringLiteral("TUNELARK_CHECKEXIST"), dir.path());
    EXPECT_TRUE(again.acquired());
}

TEST(InstanceLock, FallsBackWhenTheFolderIsMissing) {
    InstanceLock lock(QStringLiteral("tunelark-test-lock-%1").arg(::getpid()),
                      QStringLiteral("/no/such/folder"));
    EXPECT_TRUE(lock.acquired());
    EXPECT_TRUE(lock.path().startsWith(QStringLiteral("/tmp/")));
    QFile::remove(lock.path());
}

// In the shared /tmp the lock is per user, is never taken through a symbolic link, and a file
// that cannot be used means "no lock" (the program runs), never "already running".
TEST(InstanceLock, SharedTmpIsPerUserAndRefusesSymlinks) {
    const QString name = QStringLiteral("tunelark-test-lock-%1").arg(::getpid());
    const QString expected = QStringLiteral("/tmp/%1-%2").arg(name).arg(::geteuid());
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("victim"));

    struct Plant {
        const char* what;
        std::function<void()> make;
        InstanceLock::State state;
    };
    const Plant plants[] = {
        {"nothing", [] {}, InstanceLock::State::Acquired},
        {"a symbolic link", [&] { ASSERT_TRUE(QFile::link(victim, expected)); },
         InstanceLock::State::Unavailable},
        {"another user's file",
         [&] {
             QFile f(expected);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.close();
             ASSERT_TRUE(::chmod(QFile::encodeName(expected).constData(), 0666) == 0);
             if (::geteuid() == 0) {
                 ASSERT_EQ(::chown(QFile::encodeName(expected).constData(), 65534, 65534), 0);
             }
         },
         ::geteuid() == 0 ? InstanceLock::State::Unavailable : InstanceLock::State::Acquired},
    };
    for (const Plant& plant : plants) {
        SCOPED_TRACE(plant.what);
        QFile::remove(expected);
        plant.make();
        {
            InstanceLock lock(name, QStringLiteral("/no/such/folder"));
            EXPECT_EQ(lock.path(), expected);
            EXPECT_EQ(lock.state(), plant.state);
            EXPECT_FALSE(lock.anotherInstanceRuns());
            EXPECT_EQ(lock.reason().isEmpty(), plant.state == InstanceLock::State::Acquired);
        }
        EXPECT_FALSE(QFile::exists(victim)); // the link was not followed
        QFile::remove(expected);
    }
}

namespace {

// Copies one of the fake libraries into a fresh program folder as larkvideo.so.
QString installCompanion(const QTemporaryDir& dir, const char* built) {
    const QString target = dir.path() + QStringLiteral("/larkvideo.so");
    QFile::remove(target);
    EXPECT_TRUE(QFile::copy(QString::fromUtf8(built), target));
    return dir.path() + u'/';
}

} // namespace

TEST(CompanionVideo, CallsTheEntryPointsAsAgreed) {
    QTemporaryDir dir;
    CompanionVideo video(installCompanion(dir, TL_FAKE_COMPANION));
    ASSERT_TRUE(video.libraryExists());
    int32_t vx = 100;
    int32_t vy = 200;
    auto result = video.open(42, QStringLiteral("http://tv/stream?bitrate=999499"),
                             QStringLiteral("Info text"), vx, vy, 60);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.error.isEmpty());
    ASSERT_TRUE(result.bitsPerSecond.has_value());
    EXPECT_EQ(*result.bitsPerSecond, 999499);
    EXPECT_EQ(vx, 101);
    EXPECT_EQ(vy, 202);
    EXPECT_TRUE(video.isLoaded());
    EXPECT_TRUE(video.setVolume(30));

    // The address comes back unchanged when the library reports no bitrate: no number.
    result = video.open(42, QStringLiteral("http://tv/plain"), QString(), vx, vy, 60);
    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(result.bitsPerSecond.has_value());

    result = video.open(42, QStringLiteral("http://tv/fail"), QString(), vx, vy, 60);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.isEmpty());

    EXPECT_TRUE(video.close(42, vx, vy).isEmpty());
    EXPECT_EQ(vx, 7);
    EXPECT_EQ(vy, 9);
    video.unload();
    EXPECT_FALSE(video.isLoaded());
    EXPECT_FALSE(video.setVolume(30));
}

TEST(CompanionVideo, MissingLibraryAndEntryPointsGiveTheirMessages) {
    QTemporaryDir dir;
    const QString app = dir.path() + u'/';
    CompanionVideo missing(app);
    EXPECT_FALSE(missing.libraryExists());
    int32_t vx = 0;
    int32_t vy = 0;
    auto result = missing.open(1, QStringLiteral("x"), QString(), vx, vy, 0);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, QStringLiteral("Невозможно загрузить библиотеку ") + app +
                                QStringLiteral("larkvideo.so."));
    EXPECT_EQ(missing.close(1, vx, vy), result.error);

    QTemporaryDir noFind;
    CompanionVideo withoutFind(installCompanion(noFind, TL_FAKE_COMPANION_NO_FIND));
    result = withoutFind.open(1, QStringLiteral("x"), QString(), vx, vy, 0);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, QStringLiteral("Функция GetFindDataEx в библиотеке ") + noFind.path() +
                                QStringLiteral("/larkvideo.so не найдена."));

    QTemporaryDir noExtras;
    CompanionVideo withoutExtras(installCompanion(noExtras, TL_FAKE_COMPANION_NO_EXTRAS));
    result = withoutExtras.open(1, QStringLiteral("x"), QString(), vx, vy, 0);
    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(withoutExtras.setVolume(10));
    EXPECT_EQ(withoutExtras.close(1, vx, vy), QStringLiteral("Функция CloseVideoEx в библиотеке ") +
                                                  noExtras.path() +
                                                  QStringLiteral("/larkvideo.so не найдена."));
    EXPECT_EQ(CompanionVideo::errorCaption(), QStringLiteral("Ошибка"));
}
