#pragma once
// A PlayerController on a real engine with the values it works on, for the tests that drive the
// play command against real servers. Lives and runs on the test's main thread, which plays the
// UI thread.

#include "audio/engine.h"
#include "player/player_controller.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>

namespace tl::test {

struct ControllerHarness {
    QTemporaryDir dir;
    audio::Engine engine;
    PlayerSettings settings;
    NowPlaying now;
    ControlModel controls;
    SkinValues skin;
    std::unique_ptr<PlayerController> player; // declared last: goes first, before the engine
    QStringList infoLines;                    // every distinct text the info line showed, in order
    int refreshes = 0;

    ControllerHarness() { start({}); }

    QString caption(const char* name) const {
        return player->controls().find(QString::fromLatin1(name))->caption;
    }
    QString info() const { return caption("Label4"); }
    bool playing() const { return player->StreamHandle() != 0 && !player->Busy(); }
    bool stopped() const {
        return player->StreamHandle() == 0 && !player->Busy() && info() == u"stopped";
    }
    std::string trace() const { return infoLines.join(u'|').toStdString(); }

protected:
    // For harnesses whose links use their own members: they call start() when those exist,
    // and reset `player` in their destructor, before those members go.
    struct Deferred {};
    explicit ControllerHarness(Deferred) {}

    void start(PlayerController::Links links) {
        engine.init();
        player = std::make_unique<PlayerController>(engine, dir.path() + u'/', settings, now,
                                                    controls, skin, std::move(links));
        QObject::connect(player.get(), &PlayerController::refreshRequested, [this] {
            ++refreshes;
            const QString text = info();
            if (infoLines.isEmpty() || infoLines.back() != text) {
                infoLines << text;
            }
        });
    }
};

} // namespace tl::test
