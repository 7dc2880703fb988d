// PlayerController's stream worker and its status protocol: the worker thread that opens a
// station (playlist resolution, engine stream, metadata) and reports through
// WM_STREAM_STATUS on the UI thread, and the title change that follows. The play command and
// the other controls live in player_controller.cpp.

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
                                why.httpStatus, why.connect);
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

} // namespace tl
