#pragma once
// The composition root: creates the audio engine and the windows in their fixed order (player,
// station manager with its edit dialog, notifier, lyrics window, settings dialog, station
// information), hands each the references it needs, and tears them down in reverse. Lives on
// the UI thread for the whole run; no window reaches another through a global.

#include "audio/engine.h"
#include "directory/playlist.h"
#include "library/station_manager.h"
#include "platform/x11_client_messages.h"
#include "player/info_window.h"
#include "player/lyrics_window.h"
#include "player/notifier_window.h"
#include "player/player_config.h"
#include "player/player_controller.h"
#include "player/player_window.h"
#include "recording/recorder.h"
#include "recording/recordings_tab.h"
#include "settings/settings_form.h"

#include <QStringList>

#include <memory>
#include <optional>

class QMenu;

namespace tl {

class Application {
public:
    // appPath: the program folder, ending with "/".
    explicit Application(QString appPath);
    ~Application();

    // Creates the windows in order and starts what config.ini asks for. False when the program
    // must end at once (the reason has been shown).
    bool start();

    TForm1& playerWindow() { return *form1_; }
    PlayerController& player() { return *controller_; }
    Recorder& recorder() { return *recording_; }
    RecordingsTab& recordingsTab() { return *recordingsTab_; }
    TForm2& stationManager() { return *form2_; }

    // Closes the player as "Exit" does (signals, session end). Safe at any moment, also while
    // start() shows a message box: start() then stops creating windows and returns false.
    void exit();
    // exit() has run: the program is ending and must not enter its event loop.
    bool exitRequested() const { return exiting_; }

private:
    bool createPlayerWindow();
    void createRecorder();
    void createStationManager();
    void createSettingsDialog();
    void ShowNotification(const QString& text);
    void reportSaveFailure(const QString& text);
    void ShowAudioError(const QString& text);
    void stepStation(int delta);
    QList<TForm1::FavouritesMenuGroup> favouritesMenu(int maxGroups, int maxStations);
    QString themeFolder(const QString& name) const;

    QString appPath_;
    audio::Engine engine_;
    PlayerSettings settings_;
    NowPlaying nowPlaying_;
    RecorderSettings recorder_;
    std::optional<QStringList> autoRecordList_; // present only when autorec.txt existed
    PlaylistResolver resolver_;
    // Windows, in their creation order; destroyed in reverse.
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<PlayerController> controller_;
    std::unique_ptr<TForm2> form2_;
    std::unique_ptr<THintForm> hint_;
    std::unique_ptr<TLyricsForm> lyrics_;
    std::unique_ptr<TSettingsForm> settingsForm_;
    std::unique_ptr<TInfoForm> infoForm_;
    std::unique_ptr<ClientMessageFilter> videoClosedFilter_;
    bool exiting_ = false;
    std::unique_ptr<Recorder> recording_;
    RecordingsTab* recordingsTab_ = nullptr; // child of form2_
};

} // namespace tl
