#include "player/player_controller.h"

#include "audio/stage_log.h"
#include "common/text.h"
#include "player/player_commands.h"
#include "player/stream_meta.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace tl {
namespace {

const QString kPlay = QStringLiteral("play");
const QString kMute = QStringLiteral("mute");

} // namespace

PlayerController::PlayerController(audio::Engine& engine, QString appPath, PlayerSettings& settings,
                                   NowPlaying& nowPlaying, ControlModel& controls, SkinValues& skin,
                                   Links links, QObject* parent)
    : QObject(parent), engine_(engine), appPath_(std::move(appPath)), settings_(settings),
      now_(nowPlaying), links_(std::move(links)), controls_(controls), skin_(skin),
      video_(appPath_) {
    if (controls_.controls().empty()) {
        buildControls(controls_);
    }
    // The animation tick runs from the start (hover fades, scrolling); it redraws only what
    // moved, so an idle window costs little.
    timer1_.setInterval(30);
    timer1_.start();
    playTimer_.setInterval(1000);
    connect(&playTimer_, &QTimer::timeout, this, &PlayerController::PlayTimerTimer);
    // Started when a title arrives, not polling: a stream that changes its title every few
    // minutes costs no wake-ups in between. Titles that come faster are handed on at most
    // every 100 ms, the newest each time.
    titleTimer_.setSingleShot(true);
    titleTimer_.setInterval(100);
    connect(&titleTimer_, &QTimer::timeout, this, &PlayerController::deliverPendingTitle);
}

PlayerController::~PlayerController() {
    shutdown();
}

void PlayerController::buildControls(ControlModel& model) {
    struct Row {
        const char* name;
        int tag;
        const char* keyword;
        const char* caption;
        bool enabled;
        SkinControlKind kind;
        bool pressable;
    };
    using K = SkinControlKind;
    // In the window's component order; the compositor's hover fades are indexed by it.
    static const Row rows[] = {
        {"Label3", 1, "song", "", true, K::Label, false},
        {"Label5", 1, "bitrate", "", true, K::Label, false},
        {"Label8", 1, "format", "", true, K::Label, false},
        {"Label4", 1, "info", "stopped", true, K::Label, false},
        {"Label7", 1, "time", "00:00", true, K::Label, false},
        {"Label1", 104, "prewious", "<<", true, K::Label, true},
        {"Button1", 105, "play", "play", true, K::Label, true},
        {"Label2", 106, "next", ">>", true, K::Label, true},
        {"Label6", 102, "favourites", "S", true, K::Label, true},
        {"RecLabel", 107, "record", "Rec", false, K::Label, false},
        {"Label9", 103, "mute", "Mute", true, K::Label, false},
        {"closeButton", 108, "close", "X", true, K::Label, true},
        {"minButton", 109, "minimize", "m", true, K::Label, true},
        {"TrackBar1", 20, "volume", "", true, K::Slider, false},
        {"Volume", 20, "volume", "", true, K::Knob, false},
    };
    for (const Row& r : rows) {
        SkinControl c;
        c.objectName = QString::fromLatin1(r.name);
        c.tag = r.tag;
        c.keyword = QString::fromLatin1(r.keyword);
        c.caption = QString::fromLatin1(r.caption);
        c.enabled = r.enabled;
        c.kind = r.kind;
        c.pressable = r.pressable;
        c.maximum = 10;
        model.add(std::move(c));
    }
}

void PlayerController::setCaption(QStringView name, const QString& caption) {
    if (SkinControl* c = controls_.find(name)) {
        c->caption = caption;
    }
}

void PlayerController::setEnabled(QStringView name, bool enabled) {
    if (SkinControl* c = controls_.find(name)) {
        c->enabled = enabled;
    }
}

void PlayerController::setStateImage(const QString& keyword, const QString& file) {
    if (keyword == kPlay) {
        images_.play = file;
    } else if (keyword == kMute) {
        images_.mute = file;
    } else {
        images_.record = file;
    }
    if (links_.setStateImage) {
        links_.setStateImage(keyword, file);
    }
    Q_EMIT refreshRequested();
}

void PlayerController::setRecordingImage(bool recording) {
    if (SkinControl* rec = controls_.find(u"RecLabel")) {
        rec->pressed = false;
    }
    setStateImage(QStringLiteral("record"), QString::fromLatin1(recording ? "71.png" : "7.png"));
}

// ---------------------------------------------------------------------------------------------
// Play command

void PlayerController::Button1Click() {
    if (shuttingDown_ || busy_) {
        return;
    }
    busy_ = true;
    skin_.TextFade = 0;
    if (streamHandle_.load() != 0 || videoOpen_) {
        // Stopping downloads nothing: the selection is resolved when it is played.
        stopPlayback();
        Q_EMIT refreshRequested();
        return;
    }
    const std::optional<StationChoice> choice =
        links_.selectedStation ? links_.selectedStation() : std::nullopt;
    if (choice) {
        now_.IsVideo = choice->IsVideo;
    }
    if (!now_.IsVideo) {
        // The worker resolves the address (a playlist download must not hold up the window)
        // and then opens the stream.
        startWorker(PlayRequest{choice, false, now_.Url, choice ? choice->Name : now_.StationName});
        Q_EMIT refreshRequested();
        return;
    }
    if (choice) {
        // The companion library opens video stations on this thread anyway.
        PlaylistResult result;
        if (links_.parsePlayList) {
            result = links_.parsePlayList(choice->Url);
        } else {
            result.Url = choice->Url;
            result.StationUrl = choice->Url;
        }
        applyResolution(result);
        if (!result.Error.isEmpty() || result.ConnectFailed) {
            busy_ = false;
            Q_EMIT refreshRequested();
            return;
        }
        now_.StationName = choice->Name;
        if (choice->Category == 0) {
            now_.Index = choice->Index;
        }
        now_.Category = choice->Category;
    }
    if (video_.libraryExists()) {
        streamKind_ = skVideo;
        videoOpen_ = true;
        setCaption(u"Label3", now_.StationName);
        setCaption(u"Label4", now_.Info);
        if (OpenVideo(now_.Url, now_.Info)) {
            playTimer_.start();
            setStateImage(kPlay, QStringLiteral("51.png"));
        } else {
            setStateImage(kPlay, QStringLiteral("5.png"));
        }
    }
    busy_ = false;
    Q_EMIT refreshRequested();
}

void PlayerController::applyResolution(const PlaylistResult& result) {
    if (result.ConnectFailed) {
        // Nothing was received: what played last stays the last station.
        reportFailure(QString::fromLatin1(kNoInternet));
    } else {
        now_.Info.clear();
        now_.Title.clear();
        now_.Url = result.Url;
        now_.StationUrl = result.StationUrl;
    }
    if (links_.repaintStationLists) {
        links_.repaintStationLists();
    }
}

void PlayerController::reportFailure(const QString& text) {
    // No stream is open after a failure, so the notifier's rule for titles would hide it.
    if (links_.showFailure) {
        links_.showFailure(text);
    } else if (links_.showNotification) {
        links_.showNotification(text);
    }
}

void PlayerController::PlayStationRecord(const QString& name, const QString& url) {
    // A second worker must not start while one is still opening: the first would be orphaned.
    if (shuttingDown_ || busy_) {
        return;
    }
    if (streamHandle_.load() != 0) {
        // The caller left no row selected, so this press only stops.
        Button1Click();
    }
    if (busy_) {
        return;
    }
    busy_ = true;
    startWorker(PlayRequest{StationChoice{0, 0, name, url, false}, true, now_.Url, name});
}

void PlayerController::stopPlayback() {
    ++generation_; // late callbacks of the old stream are dropped
    engine_.streamFree(streamHandle_.exchange(0));
    titleTimer_.stop();
    CloseVideo();
    setStateImage(kPlay, QStringLiteral("5.png"));
    skin_.SpectrumBars.fill(0);
    skin_.Levels.fill(0);
    if (SkinControl* play = controls_.find(u"Button1")) {
        play->pressed = false;
    }
    setEnabled(u"RecLabel", false);
    if (links_.stopRecording) {
        links_.stopRecording();
    }
    busy_ = false;
}

// ---------------------------------------------------------------------------------------------
// Video stations

bool PlayerController::OpenVideo(const QString& address, const QString& info) {
    const uintptr_t window = links_.windowId ? links_.windowId() : 0;
    const CompanionVideo::OpenResult result =
        video_.open(window, address, info, vx_, vy_, settings_.Volume * 10);
    if (!result.error.isEmpty()) {
        if (links_.showError) {
            links_.showError(CompanionVideo::errorCaption(), result.error);
        }
        return false;
    }
    if (result.ok && result.bitsPerSecond) {
        WM_STREAM_STATUS(ssBitrate, VideoBitrateText(*result.bitsPerSecond));
    }
    return result.ok;
}

void PlayerController::CloseVideo() {
    if (!videoOpen_) {
        return;
    }
    const uintptr_t window = links_.windowId ? links_.windowId() : 0;
    const QString message = video_.close(window, vx_, vy_);
    if (!message.isEmpty() && links_.showError) {
        links_.showError(CompanionVideo::errorCaption(), message);
    }
    video_.unload();
    videoOpen_ = false;
}

void PlayerController::WM_VIDEOCLOSED() {
    videoOpen_ = false;
    setStateImage(kPlay, QStringLiteral("5.png"));
}

// ---------------------------------------------------------------------------------------------
// Timers, volume

void PlayerController::PlayTimerTimer() {
    const audio::StreamHandle handle = streamHandle_.load();
    if (handle != 0 && !busy_ && !engine_.isPlaying(handle)) {
        // The stream is over (closed, reset, stalled, undecodable): end as a failed
        // connection does.
        stopPlayback();
        WM_STREAM_STATUS(ssStopped);
    }
    if (streamHandle_.load() != 0 || videoOpen_) {
        ++elapsed_;
        setCaption(u"Label7", ElapsedText(static_cast<uint32_t>(elapsed_)));
    } else {
        playTimer_.stop();
        elapsed_ = 0;
        setCaption(u"Label7", QStringLiteral("00:00"));
    }
    Q_EMIT refreshRequested();
}

void PlayerController::SetVolume(int v) {
    if (videoOpen_) {
        if (!video_.isLoaded()) {
            if (links_.showError) {
                links_.showError(CompanionVideo::errorCaption(), video_.loadErrorText());
            }
        } else if (!video_.setVolume(v) && links_.showError) {
            links_.showError(CompanionVideo::errorCaption(),
                             video_.missingFunctionText("SetVolumeEx"));
        }
    } else {
        engine_.setGlobalStreamVolume(v);
    }
    settings_.Volume = v / 10;
    if (settings_.Muted) {
        Label9Click();
    }
    Q_EMIT refreshRequested();
}

void PlayerController::Label9Click() {
    if (settings_.Muted) {
        engine_.setGlobalStreamVolume(settings_.Volume * 10);
        settings_.Muted = false;
        setStateImage(kMute, QStringLiteral("3.png"));
    } else {
        engine_.setGlobalStreamVolume(0);
        settings_.Muted = true;
        setStateImage(kMute, QStringLiteral("31.png"));
    }
}

void PlayerController::toggleScrollTitle() {
    settings_.ScrollTitle = !settings_.ScrollTitle;
    Q_EMIT refreshRequested();
}

void PlayerController::toggleScrollInfo() {
    settings_.ScrollInfo = !settings_.ScrollInfo;
    Q_EMIT refreshRequested();
}

void PlayerController::fillCloseValues(CloseValues& values) const {
    values.last.Category = now_.Category;
    values.last.Index = now_.Index;
    values.last.Url = now_.Url;
    values.last.Info = now_.Info;
    values.last.ServiceIndex = now_.ServiceIndex;
    values.scrollInfo = settings_.ScrollInfo;
    values.scrollTitle = settings_.ScrollTitle;
    values.volume = settings_.Volume;
    values.searchResCount = settings_.SearchResCount;
    values.visualizationType = settings_.VisualizationType;
    values.onTop = settings_.OnTop;
}

// ---------------------------------------------------------------------------------------------
// Shutdown

void PlayerController::shutdown() {
    if (shuttingDown_) {
        return;
    }
    shuttingDown_ = true;
    ++generation_;
    worker_.request_stop();
    // The worker may be waiting in a blocking call to this thread: keep serving events (its
    // calls return at once now) until it has left, then join it.
    while (workerRunning_.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    engine_.streamFree(streamHandle_.exchange(0));
    CloseVideo();
    playTimer_.stop();
    timer1_.stop();
    titleTimer_.stop();
    titleLog_.close();
}

} // namespace tl
