// Platform services: the single-instance lock, the companion video library contract, where
// windows go on the screens, and the platform plugin chosen on Wayland sessions.

#include "platform/companion_video.h"
#include "platform/instance_lock.h"
#include "platform/screen_fit.h"
#include "platform/session_platform.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
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

// A window's rectangle, the screens' work areas, and where it must land.
struct PlaceRow {
    QRect window;
    QList<QRect> areas;
    QPoint expected;
    const char* why;
};

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
    // %1: the program folder. An open error "" opens; a close error nullptr is not checked.
    const struct {
        const char* library; // nullptr: none installed
        const char* openError;
        const char* closeError;
    } rows[] = {
        {nullptr, "Невозможно загрузить библиотеку %1larkvideo.so.",
         "Невозможно загрузить библиотеку %1larkvideo.so."},
        {TL_FAKE_COMPANION_NO_FIND, "Функция GetFindDataEx в библиотеке %1larkvideo.so не найдена.",
         nullptr},
        {TL_FAKE_COMPANION_NO_EXTRAS, "",
         "Функция CloseVideoEx в библиотеке %1larkvideo.so не найдена."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.library ? row.library : "no library");
        QTemporaryDir dir;
        const QString app = row.library ? installCompanion(dir, row.library) : dir.path() + u'/';
        CompanionVideo video(app);
        EXPECT_EQ(video.libraryExists(), row.library != nullptr);
        int32_t vx = 0;
        int32_t vy = 0;
        const auto result = video.open(1, QStringLiteral("x"), QString(), vx, vy, 0);
        EXPECT_EQ(result.ok, !*row.openError);
        EXPECT_EQ(result.error, QString::fromUtf8(row.openError).arg(app));
        if (result.ok) {
            EXPECT_FALSE(video.setVolume(10));
        }
        if (row.closeError) {
            EXPECT_EQ(video.close(1, vx, vy), QString::fromUtf8(row.closeError).arg(app));
        }
    }
    EXPECT_EQ(CompanionVideo::errorCaption(), QStringLiteral("Ошибка"));
}

TEST(ScreenFit, StoredPositionsComeBackOnScreen) {
    // Two screens side by side, the left one with a 30 px panel at the top.
    const QList<QRect> two{QRect(0, 30, 1920, 1050), QRect(1920, 0, 1280, 1024)};
    const PlaceRow rows[] = {
        {{100, 100, 300, 120}, two, {100, 100}, "wholly on the first screen"},
        {{1800, 500, 300, 120}, two, {1800, 500}, "across both screens"},
        {{-252, 500, 300, 120}, two, {-252, 500}, "48 px still showing on the left"},
        {{-253, 500, 300, 120}, two, {0, 500}, "47 px showing: pulled in"},
        {{3000, 10, 300, 120}, two, {3000, 10}, "partly over the right edge, enough shows"},
        {{5000, 400, 300, 120}, two, {2900, 400}, "monitor gone: onto the nearest screen"},
        {{100, 0, 300, 120}, two, {100, 0}, "under the panel, but a strip shows"},
        {{100, -200, 300, 120}, two, {100, 30}, "above every screen: below the panel"},
        {{2500, 2000, 300, 120}, two, {2500, 904}, "below the right screen"},
        {{-4000, -4000, 3000, 2000}, two, {0, 30}, "larger than any screen: top-left"},
        {{9000, 9000, 0, 0}, two, {3199, 1023}, "a bare point (video corner)"},
        {{100, 100, 10, 10}, {QRect(0, 0, 800, 600)}, {100, 100}, "small window inside"},
        {{795, 100, 10, 10}, {QRect(0, 0, 800, 600)}, {790, 100}, "small window half off"},
        {{5000, 5000, 300, 120}, {}, {5000, 5000}, "no screen known: left as stored"},
        {{5000, 5000, 300, 120},
         {QRect(), QRect(0, 0, 800, 600)},
         {500, 480},
         "empty area skipped"},
    };
    for (const PlaceRow& r : rows) {
        const QRect fitted = fitOnScreens(r.window, r.areas);
        EXPECT_EQ(fitted.topLeft(), r.expected) << r.why;
        EXPECT_EQ(fitted.size(), r.window.size()) << r.why;
    }
}

TEST(ScreenFit, ManagerOpensBesideThePlayer) {
    const QList<QRect> two{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    const QSize manager(500, 400);
    const PlaceRow rows[] = {
        {{100, 100, 300, 120}, two, {408, 100}, "to the right, top edges aligned"},
        {{1500, 100, 300, 120}, two, {992, 100}, "no room right on its screen: left"},
        {{2900, 100, 300, 120}, two, {2392, 100}, "on the second screen, left there"},
        {{1500, 900, 300, 120}, two, {992, 680}, "near the bottom: kept inside"},
        {{200, 100, 300, 120}, {QRect(0, 0, 800, 700)}, {200, 228}, "narrow screen: below"},
        {{200, 450, 300, 120}, {QRect(0, 0, 800, 600)}, {200, 42}, "narrow, near bottom: above"},
        {{100, 100, 600, 500}, {QRect(0, 0, 800, 600)}, {100, 0}, "no side fits: least overlap"},
        {{100, 100, 300, 120}, {}, {408, 100}, "no screen known: to the right"},
    };
    for (const PlaceRow& r : rows) {
        const QRect placed = placeBeside(r.window, manager, r.areas);
        EXPECT_EQ(placed.topLeft(), r.expected) << r.why;
        EXPECT_EQ(placed.size(), manager) << r.why;
        if (!r.areas.isEmpty()) {
            EXPECT_TRUE(std::any_of(r.areas.begin(), r.areas.end(), [&](const QRect& a) {
                return a.contains(placed);
            })) << r.why;
        }
    }
}

TEST(SessionPlatform, XcbOnlyOnWaylandWithAnXDisplayAndNoChoice) {
    struct Row {
        SessionEnvironment env;
        const char* expected; // nullptr: Qt chooses
    };
    const Row rows[] = {
        {{"", "wayland-0", "wayland", ":0"}, "xcb"},
        {{"", "wayland-0", "", ":0"}, "xcb"},
        {{"", "", "Wayland", ":1"}, "xcb"},
        {{"wayland", "wayland-0", "wayland", ":0"}, nullptr}, // the user's choice stands
        {{"offscreen", "", "", ":0"}, nullptr},
        {{"  ", "wayland-0", "", ":0"}, "xcb"},      // a blank choice is none
        {{"", "wayland-0", "wayland", ""}, nullptr}, // no XWayland: stay on Wayland
        {{"", "", "x11", ":0"}, nullptr},            // an X session
        {{"", "", "", ""}, nullptr},
    };
    for (const Row& r : rows) {
        const std::optional<QByteArray> got = preferredPlatform(r.env);
        if (r.expected == nullptr) {
            EXPECT_FALSE(got.has_value()) << r.env.waylandDisplay.constData();
        } else {
            EXPECT_EQ(got.value_or("none"), QByteArray(r.expected));
        }
    }
}
