#pragma once
// The composition root: creates the audio engine and the windows in their fixed order (player,
// station manager with its edit dialog, about window, notifier, lyrics window, settings dialog,
// station information), hands each the references it needs, and tears them down in reverse. Lives
// on the UI thread for the whole run; no window reaches another through a global.

#include "audio/engine.h"
#include "directory/playlist.h"
#include "manager/station_manager.h"
#include "platform/mpris.h"
#include "platform/x11_client_messages.h"
#include "player/album_art.h"
#include "player/info_window.h"
#include "player/lyrics_window.h"
#include "player/notifier_window.h"
#include "player/player_config.h"
#include "player/player_controller.h"
#include "player/player_window.h"
#include "recording/recorder.h"
#include "recording/recordings_tab.h"
#include "settings/about_form.h"
#include "settings/settings_form.h"

#include <QStringList>
#include <QTimer>

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

    // The desktop media controls; null until start() has run. Registered on the session bus
    // only when one is there.
    MprisService* mediaControls() { return mpris_.get(); }
    // The album-art file the player shows (absolute path), empty when none: published to the
    // desktop's media controls.
    void setAlbumArtFile(const QString& path);

private:
    bool createPlayerWindow();
    void preopenStartupStream();
    void createRecorder();
    void createStationManager();
    void createSettingsDialog();
    void ShowNotification(const QString& text);
    void reportSaveFailure(const QString& text);
    void ShowAudioError(const QString& text);
    void stepStation(int delta);
    QList<TForm1::FavouritesMenuGroup> favouritesMenu(int maxGroups, int maxStations);
    QString themeFolder(const QString& name) const;
    void startMediaControls();
    void syncMediaControls();
    // Brings stored positions back onto the screens there are now; on a first run opens the
    // manager beside the player.
    void fitWindowsOnScreens();

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
    std::unique_ptr<TAboutForm> about_;
    std::unique_ptr<THintForm> hint_;
    std::unique_ptr<TLyricsForm> lyrics_;
    std::unique_ptr<TSettingsForm> settingsForm_;
    std::unique_ptr<TInfoForm> infoForm_;
    std::unique_ptr<ClientMessageFilter> videoClosedFilter_;
    std::unique_ptr<MprisService> mpris_;
    bool managerPositionStored_ = true; // StationsX and StationsY were in config.ini
    bool exiting_ = false;
    std::unique_ptr<Recorder> recording_;
    std::unique_ptr<QTimer> encoderWatch_;     // polls the recorder's encoder
    RecordingsTab* recordingsTab_ = nullptr;   // child of form2_
    std::unique_ptr<AlbumArtLookup> albumArt_; // album art of the playing title
};

} // namespace tl
