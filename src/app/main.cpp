// Program entry: refuses a second instance, then hands over to the composition root.

#include "app/application.h"
#include "app/unix_signals.h"
#include "audio/stage_log.h"
#include "platform/instance_lock.h"
#include "platform/session_platform.h"
#include "platform/window_lookup.h"

#include <QApplication>
#include <QDir>
#include <QSessionManager>

#include <cstdio>

int main(int argc, char* argv[]) {
    tl::audio::markStage("main");
    const QString kGuardWindow = QStringLiteral("Brightforge");
    if (tl::topLevelWindowExists(kGuardWindow)) {
        return 0;
    }
    tl::InstanceLock lock(QStringLiteral("TUNELARK_CHECKEXIST"));
    if (lock.anotherInstanceRuns() || tl::topLevelWindowExists(kGuardWindow)) {
        return 0;
    }
    if (!lock.acquired()) {
        std::fprintf(stderr, "Tunelark: starting without the single-instance check (%s)\n",
                     lock.reason().toLocal8Bit().constData());
    }

    // The skinned window needs X11 (position, shape, on-top): on a Wayland session it runs
    // under XWayland unless the user chose a platform.
    if (const std::optional<QByteArray> platform =
            tl::preferredPlatform(tl::SessionEnvironment::fromProcess())) {
        qputenv("QT_QPA_PLATFORM", *platform);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tunelark"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tunelark"));
    QApplication::setQuitOnLastWindowClosed(false);

    // SIGTERM and SIGINT are handled before anything can open a window: a message box during
    // start-up must not leave a signal unanswered.
    tl::Application* running = nullptr;
    tl::UnixSignalWatcher signals;
    QObject::connect(&signals, &tl::UnixSignalWatcher::terminationRequested, &app, [&] {
        if (running != nullptr) {
            running->exit();
        } else {
            QCoreApplication::exit(0);
        }
    });

    const QString appPath = QDir(QApplication::applicationDirPath()).absolutePath() + u'/';
    tl::Application tunelark(appPath);
    running = &tunelark;
    if (!tunelark.start()) {
        return tunelark.exitRequested() ? 0 : 1;
    }
    // The desktop session ending closes the player as "Exit" does.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [&tunelark](QSessionManager&) { tunelark.exit(); });
    return QApplication::exec();
}
