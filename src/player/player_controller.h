#pragma once
// The player window's logic: the play command, the stream worker and its status messages,
// the title change, the elapsed time and video stations. It holds the player's controls as
// data (ControlModel) and its playback state; the window only shows them.
//
// Threads: everything here runs on the UI thread except StreamWorker, which runs on a thread
// owned by this object (one per play command), and the engine callbacks. The worker changes
// the controller only through blocking queued calls (WM_STREAM_STATUS and the other steps), so
// its changes take effect on the UI thread in the order it makes them. Engine callbacks post
// a copy of their text with a queued call and never wait. The UI thread never waits for the
// worker while the worker may be waiting for it: shutdown() keeps the event loop running until
// the worker has left.

#include "audio/engine.h"
#include "common/player_types.h"
#include "directory/playlist.h"
#include "platform/companion_video.h"
#include "player/player_config.h"
#include "player/title_log.h"
#include "skin/animation.h"
#include "skin/skin_control.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace tl {

// Texts the player shows for the stream status codes.
inline constexpr char kTextConnecting[] = "connecting...";
inline constexpr char kTextStopped[] = "stopped";
inline constexpr char kTextReconnecting[] = "reconnecting...";
inline constexpr char kNoInternet[] = "Can't connect to internet!";

// The stream a play of the stored address `url` opens as it is, with nothing to resolve
// first (no playlist to download); nullopt otherwise. What start-up may open early.
std::optional<QString> DirectPlayAddress(const QString& url);

class PlayerController : public QObject {
    Q_OBJECT
public:
    // The state images last set per keyword (what SetStateImage swapped in).
    struct StateImages {
        QString play = QStringLiteral("5.png");
        QString mute = QStringLiteral("3.png");
        QString record = QStringLiteral("7.png");
    };

    // Seams to the subsystems around the player; every member may be empty.
    struct Links {
        // The station manager's selected row on its current page; nullopt when none.
        std::function<std::optional<StationChoice>()> selectedStation;
        // Playlist resolution; without it addresses are played as given. Runs on the stream
        // worker's thread (it may download), never on the UI thread for an audio station.
        std::function<PlaylistResult(const QString& address)> parsePlayList;
        std::function<void(const QString& text)> showNotification;
        // Why a play failed ("Can't connect to ...", "Server answered 404 Not Found"). Shown
        // whatever the notifier setting; never called for a stop the user asked for.
        std::function<void(const QString& text)> showFailure;
        // Modal error box with a caption (the companion library's messages).
        std::function<void(const QString& caption, const QString& text)> showError;
        // Auto-record check for every title message; recorder split and stop.
        std::function<void(const QString& title)> autoRecordCheck;
        std::function<void()> splitRecording;
        std::function<void()> stopRecording;
        std::function<void()> refreshInfoWindow;
        std::function<void(const QString& title)> requestAlbumArt;
        std::function<void()> repaintStationLists;
        // Native window id handed to the companion video library.
        std::function<uintptr_t()> windowId;
        // The compositor's state-image swap (play, mute, record).
        std::function<void(const QString& keyword, const QString& file)> setStateImage;
    };

    // controls and skin belong to the player window (its control model and its compositor's
    // values) and must outlive the controller.
    PlayerController(audio::Engine& engine, QString appPath, PlayerSettings& settings,
                     NowPlaying& nowPlaying, ControlModel& controls, SkinValues& skin, Links links,
                     QObject* parent = nullptr);
    ~PlayerController() override;

    // Builds the player's controls (names, tags, keywords, captions of the player window).
    static void buildControls(ControlModel& model);
    ControlModel& controls() { return controls_; }
    SkinValues& skin() { return skin_; }
    const SkinValues& skin() const { return skin_; }
    const StateImages& stateImages() const { return images_; }
    audio::Engine& engine() { return engine_; }
    Links& links() { return links_; }

    TitleLog& titleLog() { return titleLog_; }
    int32_t& vx() { return vx_; }
    int32_t& vy() { return vy_; }

    // The play command: starts the selected station, or stops what plays.
    void Button1Click();
    // Plays a record without consulting the station manager. Ignored while a worker opens.
    void PlayStationRecord(const QString& name, const QString& url);
    // The window's status entry point (codes ssConnecting..ssServerStatus).
    void WM_STREAM_STATUS(int code, const QString& text = {}, int number = 0);
    // The companion library reports that the video ended.
    void WM_VIDEOCLOSED();
    void PlayTimerTimer();
    // Global stream volume (or the video library's) from 0..100; Volume := v / 10.
    void SetVolume(int v);
    void Label9Click(); // mute toggle

    // True from the play command that starts a worker until the worker's last step has run.
    // UI thread only: the worker hands it back inside its last call to the UI thread.
    bool Busy() const { return busy_; }
    audio::StreamHandle StreamHandle() const { return streamHandle_.load(); }
    StreamKind streamKind() const { return streamKind_; }
    bool VideoOpen() const { return videoOpen_; }
    int ElapsedSeconds() const { return elapsed_; }
    int& elapsedSecondsRef() { return elapsed_; } // the animation tick resets it when idle
    void resetElapsedSeconds() { elapsed_ = 0; }
    QTimer& Timer1() { return timer1_; }
    QTimer& TitleTimer() { return titleTimer_; }
    QTimer& PlayTimer() { return playTimer_; }

    int settingsVolume() const { return settings_.Volume; }
    bool settingsOnTop() const { return settings_.OnTop; }
    bool settingsMinimizeToTray() const { return settings_.MinimizeToTray; }
    void setOnTop(bool onTop) { settings_.OnTop = onTop; }
    bool settingsScrollInfo() const { return settings_.ScrollInfo; }
    bool settingsScrollTitle() const { return settings_.ScrollTitle; }
    void setVisualizationType(int kind) { settings_.VisualizationType = kind; }
    // The engine's global stream volume 0..100 (what the wheel steps look at).
    int deviceVolume() const { return engine_.globalStreamVolume(); }
    void toggleScrollTitle();
    void toggleScrollInfo();
    // The player's part of what the close writes to config.ini.
    void fillCloseValues(CloseValues& values) const;

    // The recorder's state on the record control: "71.png" while recording, else "7.png";
    // the control is drawn not pressed either way.
    void setRecordingImage(bool recording);

    void CloseVideo();
    // Ends the worker and the stream; returns once no thread of ours runs. UI thread.
    void shutdown();

Q_SIGNALS:
    // The compositor should redraw (after every status code and state change).
    void refreshRequested();

private:
    // What the play command hands its worker: the station chosen, or none (the current
    // NowPlaying.Url is played; a playlist address is resolved first).
    struct PlayRequest {
        std::optional<StationChoice> choice;
        bool fromRecord = false; // PlayStationRecord: Index and Category stay as they are
        QString url;             // NowPlaying.Url when the request was made
        QString stationName;     // shown in the info line for WMA streams
    };
    // Applies a resolution's result to NowPlaying (UI thread). A failed download keeps the
    // last address, so [Last] Url survives a playlist server that is down.
    void applyResolution(const PlaylistResult& result);
    void reportFailure(const QString& text);
    void stopPlayback();
    void startWorker(PlayRequest request);
    void StreamWorker(std::stop_token stop, quint64 generation, PlayRequest request);
    void deliverPendingTitle();
    bool OpenVideo(const QString& address, const QString& info);
    void titleChange(const QString& text);
    void setCaption(QStringView name, const QString& caption);
    void setEnabled(QStringView name, bool enabled);
    void setStateImage(const QString& keyword, const QString& file);
    // Runs fn on the UI thread and waits for it; false (fn not run) once stop is requested.
    bool send(const std::stop_token& stop, std::function<void()> fn);

    audio::Engine& engine_;
    QString appPath_;
    PlayerSettings& settings_; // owned by the composition root, UI thread
    NowPlaying& now_;          // owned by the composition root, UI thread
    Links links_;
    ControlModel& controls_; // the player window's
    SkinValues& skin_;       // the player window's compositor values
    StateImages images_;
    TitleLog titleLog_;
    CompanionVideo video_;
    QTimer timer1_;     // 30 ms animation tick; its timeout is the window's
    QTimer playTimer_;  // 1 s elapsed-time counter
    QTimer titleTimer_; // single shot: hands the latest metadata title to the window

    bool busy_ = false;   // UI thread only (see Busy())
    int refreshHold_ = 0; // > 0 while a batch of status codes is applied; one refresh at its end
    // The newest title from the engine's metadata callback, not yet shown. A flood of titles
    // replaces the waiting one instead of queueing work for the UI thread.
    std::mutex titleMutex_;
    std::optional<QString> pendingTitle_;
    quint64 pendingTitleGeneration_ = 0;
    // Server status lines: at most one queued call to the UI thread at a time.
    std::mutex statusMutex_;
    bool statusPosted_ = false;
    QString pendingStatus_;
    std::atomic<audio::StreamHandle> streamHandle_{0};
    std::atomic<quint64> generation_{0}; // bumped by every start and stop
    StreamKind streamKind_ = skMP3;      // written by the worker through send()
    QString formatLabel_;                // format text of the open stream
    bool videoOpen_ = false;
    bool shuttingDown_ = false;
    int elapsed_ = 0;
    int32_t vx_ = 100;
    int32_t vy_ = 100;
    std::jthread worker_; // owned here; joined once it has left (see shutdown)
    std::atomic<bool> workerRunning_{false};
};

} // namespace tl
