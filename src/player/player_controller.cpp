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

QString formatLabel(const audio::StreamFormat& format) {
    switch (format.kind) {
    case skAAC:
        return QStringLiteral("AAC+");
    case skWMA:
        return QStringLiteral("WMA");
    default:
        // MP3 and MP2 read "MP3"; other codecs play as the MP3 kind but are named for what
        // they are, so the label never says MP3 for Vorbis.
        return format.label.empty() ? QStringLiteral("MP3") : QString::fromStdString(format.label);
    }
}

// A stored address that names a playlist file (the play command resolves it before playing).
bool IsPlaylistAddress(const QString& address) {
    if (address.startsWith(u"mms://") || IsDirectStreamAddress(address)) {
        return false;
    }
    const QString extension = PlaylistExtension(address);
    return extension == u".pls" || extension == u".m3u" || extension == u".asx";
}

} // namespace

std::optional<QString> DirectPlayAddress(const QString& url) {
    if (IsPlaylistAddress(url) || !IsPlayableStreamAddress(url)) {
        return std::nullopt;
    }
    return url;
}

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
// Stream worker

void PlayerController::startWorker(PlayRequest request) {
    if (worker_.joinable()) {
        // Busy was false, so the previous worker has made its last call to us and only has to
        // return: this join does not wait for the UI thread.
        worker_.join();
    }
    const quint64 generation = ++generation_;
    workerRunning_ = true;
    worker_ = std::jthread([this, generation, request = std::move(request)](std::stop_token stop) {
        StreamWorker(stop, generation, request);
        workerRunning_ = false;
    });
}

bool PlayerController::send(const std::stop_token& stop, std::function<void()> fn) {
    if (stop.stop_requested()) {
        return false;
    }
    QMetaObject::invokeMethod(
        this,
        [&stop, &fn] {
            if (!stop.stop_requested()) {
                fn();
            }
        },
        Qt::BlockingQueuedConnection);
    return !stop.stop_requested();
}

void PlayerController::StreamWorker(std::stop_token stop, quint64 generation, PlayRequest request) {
    struct Remembered {
        bool disabled = false; // the first step ran: play, previous and next are disabled
        bool previous = false;
        bool next = false;
    };
    auto remembered = std::make_shared<Remembered>();
    // The last step, always on the UI thread. It hands Busy back, so it runs inside this
    // thread's last call to the UI thread: a press that follows may join this thread at once.
    auto finish = [this, remembered] {
        busy_ = false;
        if (remembered->disabled) {
            setEnabled(u"Button1", true);
            setEnabled(u"Label1", remembered->previous);
            setEnabled(u"Label2", remembered->next);
        }
        Q_EMIT refreshRequested();
        timer1_.start();
    };
    bool handedOver = false; // set on the UI thread while this thread waits in send()
    auto last = [&](std::function<void()> steps) {
        send(stop, [&] {
            steps();
            finish();
            handedOver = true;
        });
    };
    try {
        QString url = request.url;
        // Resolved from a playlist document that was received: an unusable address is the
        // document's fault.
        bool fromPlaylist = false;
        // A chosen station, or a stored address that names a playlist, is resolved first; its
        // result reaches NowPlaying before anything else the worker reports.
        if (request.choice || IsPlaylistAddress(url)) {
            const QString address = request.choice ? request.choice->Url : url;
            PlaylistResult result;
            if (links_.parsePlayList) {
                result = links_.parsePlayList(address);
            } else {
                result.Url = address;
                result.StationUrl = address;
            }
            url = result.Url;
            fromPlaylist = !result.ConnectFailed;
            if (!send(stop, [this, &request, &result] {
                    applyResolution(result);
                    if (request.choice) {
                        now_.StationName = request.choice->Name;
                        if (!request.fromRecord) {
                            if (request.choice->Category == 0) {
                                now_.Index = request.choice->Index;
                            }
                            now_.Category = request.choice->Category;
                        }
                    }
                })) {
                return;
            }
            if (!result.Error.isEmpty()) {
                last([] {}); // nothing is to be played
                return;
            }
        }

        if (!send(stop, [this, remembered] {
                timer1_.stop();
                setEnabled(u"Button1", false);
                const SkinControl* previous = controls_.find(u"Label1");
                const SkinControl* next = controls_.find(u"Label2");
                remembered->disabled = true;
                remembered->previous = previous != nullptr && previous->enabled;
                remembered->next = next != nullptr && next->enabled;
                setEnabled(u"Label1", false);
                setEnabled(u"Label2", false);
            })) {
            return;
        }
        engine_.streamFree(streamHandle_.exchange(0));
        audio::markStage("resolved");
        send(stop, [this] { WM_STREAM_STATUS(ssConnecting); });

        audio::OpenOptions options;
        options.onStatus = [this, generation](const std::string& line) {
            // DownloadStatusProc: runs on the engine's network thread; never waits. A burst of
            // header lines costs the UI thread one call and one repaint.
            QString text = capNetworkText(decodeNetworkText(line));
            {
                std::lock_guard lock(statusMutex_);
                pendingStatus_ = std::move(text);
                if (statusPosted_) {
                    return;
                }
                statusPosted_ = true;
            }
            QMetaObject::invokeMethod(
                this,
                [this, generation] {
                    QString latest;
                    {
                        std::lock_guard lock(statusMutex_);
                        statusPosted_ = false;
                        latest = std::move(pendingStatus_);
                    }
                    if (generation == generation_.load()) {
                        WM_STREAM_STATUS(ssServerStatus, latest);
                    }
                },
                Qt::QueuedConnection);
        };
        options.onReconnect = [this, generation](bool reconnecting) {
            // Network thread: the info line says so while the stream reconnects, then shows
            // the station again. The stream plays on meanwhile, so nothing else changes.
            QMetaObject::invokeMethod(
                this,
                [this, generation, reconnecting] {
                    if (generation == generation_.load()) {
                        setCaption(u"Label4", reconnecting ? QString::fromLatin1(kTextReconnecting)
                                                           : now_.Info);
                        Q_EMIT refreshRequested();
                    }
                },
                Qt::QueuedConnection);
        };
        const audio::StreamHandle handle =
            IsPlayableStreamAddress(url) ? engine_.streamCreateUrl(url.toStdString(), options, stop)
                                         : 0;
        // Why nothing opened, read here: the engine's error is this thread's.
        std::optional<QString> failure;
        if (handle == 0 && !IsPlayableStreamAddress(url)) {
            if (fromPlaylist) {
                failure = QString::fromLatin1(kTextNoStreamInPlaylist);
            }
        } else if (handle == 0) {
            const audio::OpenFailure why = engine_.lastOpenFailure();
            failure =
                PlayFailureText(engine_.errorCode(), capNetworkText(QUrl(url.trimmed()).host()),
                                why.httpStatus, why.connect, why.detail);
        }
        std::optional<audio::StreamFormat> format;
        if (handle != 0) {
            audio::markStage("opened");
            streamHandle_ = handle;
            format = engine_.format(handle);
        }
        if (stop.stop_requested()) {
            return;
        }
        const StreamKind kind =
            format ? static_cast<StreamKind>(std::clamp(format->kind, 0, 2)) : skMP3;
        const QString label = format ? formatLabel(*format) : QString();
        send(stop, [this, kind, label, stationName = request.stationName] {
            streamKind_ = kind;
            formatLabel_ = label;
            if (kind == skWMA) {
                setCaption(u"Label4", stationName);
            }
        });

        if (handle == 0) {
            last([this, &failure] {
                WM_STREAM_STATUS(ssStopped);
                if (failure) {
                    reportFailure(*failure);
                }
                if (SkinControl* play = controls_.find(u"Button1")) {
                    play->pressed = false;
                }
                setEnabled(u"RecLabel", false);
                setStateImage(kPlay, QStringLiteral("5.png"));
            });
            return;
        }

        // Buffering: report the fill until it passes 85 %, waiting for data between rounds.
        // A stream whose data has ended stops buffering and plays what it has.
        for (;;) {
            const uint32_t end = engine_.filePosition(handle, audio::FilePosition::End);
            if (end == audio::kNoEnd || end == 0) {
                break;
            }
            const uint32_t download = engine_.filePosition(handle, audio::FilePosition::Download);
            const uint32_t current = engine_.filePosition(handle, audio::FilePosition::Current);
            const uint32_t progress = (download - current) * 100u / end;
            if (!send(stop, [this, progress] {
                    WM_STREAM_STATUS(ssBuffering, {}, static_cast<int>(progress));
                })) {
                return;
            }
            if (progress > 85 || engine_.hasEnded(handle)) {
                break;
            }
            // In short slices: closing the player must not wait out a server that has gone
            // quiet.
            for (int slice = 0; slice < 5 && !stop.stop_requested(); ++slice) {
                engine_.waitForData(handle, std::chrono::milliseconds(50));
                if (engine_.filePosition(handle, audio::FilePosition::Download) != download ||
                    engine_.filePosition(handle, audio::FilePosition::Current) != current ||
                    engine_.hasEnded(handle)) {
                    break;
                }
            }
        }

        audio::markStage("buffered");
        send(stop, [this] {
            skin_.TextFade = 50;
            setCaption(u"Label4", QString());
        });

        // Every header is applied in order, in one call and with one repaint.
        const std::vector<IcyHeaderStep> steps = IcyHeaderSteps(engine_.icyHeaders(handle));
        const auto sent = [&steps](IcyHeaderStep::Kind wanted) { // an empty value is none
            return std::any_of(steps.begin(), steps.end(), [wanted](const IcyHeaderStep& s) {
                return s.kind == wanted && !s.text.trimmed().isEmpty();
            });
        };
        const bool named = sent(IcyHeaderStep::StationName) || kind == skWMA;
        const bool rated = sent(IcyHeaderStep::Bitrate);
        const int64_t codecRate = format ? format->bitRate : 0;
        if (!steps.empty() || !named || !rated) {
            send(stop, [this, &steps, named, rated, codecRate] {
                ++refreshHold_;
                for (const IcyHeaderStep& step : steps) {
                    switch (step.kind) {
                    case IcyHeaderStep::StationName:
                        WM_STREAM_STATUS(ssStationName, step.text);
                        break;
                    case IcyHeaderStep::Bitrate:
                        WM_STREAM_STATUS(ssBitrate, step.text);
                        break;
                    case IcyHeaderStep::Genre:
                        now_.Genre = step.text;
                        break;
                    }
                }
                // Servers without these headers: the name the station was chosen by, and
                // what the codec says (the headers win when present).
                if (!named && !now_.StationName.isEmpty()) {
                    WM_STREAM_STATUS(ssStationName, now_.StationName);
                }
                if (!rated && codecRate > 0) {
                    WM_STREAM_STATUS(ssBitrate, VideoBitrateText(codecRate));
                } else if (!rated) {
                    setCaption(u"Label8", formatLabel_);
                }
                --refreshHold_;
                Q_EMIT refreshRequested();
            });
        }

        std::optional<QString> title;
        if (std::optional<std::string> meta = engine_.metadata(handle)) {
            title = ParseStreamMeta(QStringView(decodeNetworkText(*meta)));
        }
        if (title) {
            send(stop, [this, text = *title] { WM_STREAM_STATUS(ssTitle, text); });
        }
        engine_.setMetaCallback(handle, [this, generation](const std::string& meta) {
            // MetaSyncProc: runs on an engine thread and never waits. Only the newest title is
            // kept; the title timer hands it to the window.
            std::optional<QString> changed = ParseStreamMeta(QStringView(decodeNetworkText(meta)));
            if (!changed) {
                return;
            }
            {
                std::lock_guard lock(titleMutex_);
                pendingTitle_ = capNetworkText(*changed);
                pendingTitleGeneration_ = generation;
            }
            QMetaObject::invokeMethod(
                this,
                [this, generation] {
                    if (generation == generation_.load() && !titleTimer_.isActive()) {
                        titleTimer_.start();
                    }
                },
                Qt::QueuedConnection);
        });
        engine_.play(handle);
        audio::markStage("play");
        last([this] {
            playTimer_.start();
            titleTimer_.start();
            setEnabled(u"RecLabel", true);
            setStateImage(kPlay, QStringLiteral("51.png"));
        });
    } catch (...) {
        // Failures end the worker quietly; Busy is handed back below.
    }
    if (!handedOver && !stop.stop_requested()) {
        // The last step did not run (an exception): hand Busy back without waiting.
        QMetaObject::invokeMethod(this, finish, Qt::QueuedConnection);
    }
}

void PlayerController::deliverPendingTitle() {
    std::optional<QString> title;
    quint64 generation = 0;
    {
        std::lock_guard lock(titleMutex_);
        title.swap(pendingTitle_);
        generation = pendingTitleGeneration_;
    }
    if (title && generation == generation_.load()) {
        WM_STREAM_STATUS(ssTitle, *title);
    }
}

// ---------------------------------------------------------------------------------------------
// Status messages

void PlayerController::WM_STREAM_STATUS(int code, const QString& networkText, int number) {
    // Network texts are cut before they reach a label, a file or config.ini.
    const QString text = capNetworkText(networkText);
    switch (code) {
    case ssConnecting:
        setCaption(u"Label4", QString::fromLatin1(kTextConnecting));
        setCaption(u"Label3", QString());
        setCaption(u"Label5", QString());
        setCaption(u"Label8", QString());
        break;
    case ssStopped:
        setCaption(u"Label4", QString::fromLatin1(kTextStopped));
        break;
    case ssBuffering:
        setCaption(u"Label4", QString::asprintf("buffering... %d%%", number));
        break;
    case ssStationName:
        setCaption(u"Label4", text);
        now_.Info = text;
        break;
    case ssBitrate:
        if (streamKind_ != skVideo) {
            setCaption(u"Label8", formatLabel_.isEmpty() ? QStringLiteral("MP3") : formatLabel_);
        }
        now_.Bitrate = text.trimmed();
        setCaption(u"Label5", now_.Bitrate);
        break;
    case ssBitrateText:
        setCaption(u"Label5", text);
        now_.Bitrate = text;
        break;
    case ssSongText:
        setCaption(u"Label3", text);
        break;
    case ssTitle:
        titleChange(text);
        break;
    case ssServerStatus:
        setCaption(u"Label5", QString());
        break;
    default:
        break;
    }
    if (refreshHold_ == 0) {
        Q_EMIT refreshRequested();
    }
}

void PlayerController::titleChange(const QString& text) {
    now_.StreamTitle = text;
    setCaption(u"Label3", text);
    if (links_.autoRecordCheck) {
        links_.autoRecordCheck(text);
    }
    now_.Title = text;
    if (text == now_.LastTitle) {
        return;
    }
    skin_.TextFade = 50;
    skin_.InfoScroll = 0;
    skin_.SongScroll = 0;
    if (links_.showNotification) {
        links_.showNotification(text);
    }
    now_.LastTitle = text;
    if (links_.refreshInfoWindow) {
        links_.refreshInfoWindow();
    }
    if (links_.requestAlbumArt) {
        links_.requestAlbumArt(now_.Title);
    }
    if (settings_.Log && titleLog_.isOpen()) {
        titleLog_.append(TitleLogLine(QDateTime::currentDateTime(), text));
    }
    if (links_.splitRecording) {
        links_.splitRecording();
    }
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
