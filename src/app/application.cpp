#include "app/application.h"

#include "audio/stage_log.h"
#include "common/background_task.h"
#include "common/http_client.h"
#include "common/ini_file.h"
#include "common/text.h"
#include "directory/search_tab.h"
#include "platform/screen_fit.h"
#include "player/player_commands.h"
#include "settings/about_info.h"
#include "settings/settings_model.h"
#include "skin/knob_widget.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>

#include <cmath>

#include <cstdio>

namespace tl {

namespace {
// How long the exit waits for background tasks that were told to stop.
constexpr std::chrono::milliseconds kExitDrainBound{250};
} // namespace

Application::Application(QString appPath) : appPath_(std::move(appPath)), resolver_(appPath_) {}

Application::~Application() {
    // Quitting never waits for the network: every download ends now (a playlist the stream
    // worker fetches included), pending name lookups are left to finish on their own.
    cancelAllDownloads();
    mpris_.reset(); // before the windows its commands reach
    if (qApp != nullptr && videoClosedFilter_) {
        qApp->removeNativeEventFilter(videoClosedFilter_.get());
    }
    // Reverse order of creation. The controller ends the worker and the stream before the
    // engine goes; the player window goes after the controller that refers to its controls.
    albumArt_.reset(); // drops its download's answer before the player window goes
    infoForm_.reset();
    settingsForm_.reset();
    lyrics_.reset();
    about_.reset();
    hint_.reset();
    recordingsTab_ = nullptr; // goes with the station manager
    form2_.reset();
    if (controller_) {
        controller_->shutdown();
    }
    controller_.reset();
    form1_.reset();
    // The background tasks (downloads, click counters) were cancelled above; a task stuck in
    // a name lookup is not waited for longer than this.
    if (!drainBackgroundTasks(kExitDrainBound)) {
        std::fprintf(stderr, "Tunelark: %d background task(s) still waiting for the network\n",
                     runningBackgroundTasks());
    }
}

QString Application::themeFolder(const QString& name) const {
    return appPath_ + QStringLiteral("Themes/") + name + u'/';
}

void Application::ShowAudioError(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString(),
                    text + QStringLiteral("\n(error code: ") +
                        QString::number(static_cast<int>(engine_.errorCode())) +
                        QStringLiteral(")"),
                    QMessageBox::Ok, form1_.get());
    box.exec();
}

void Application::ShowNotification(const QString& text) {
    if (!hint_ || !controller_) {
        return;
    }
    const std::optional<QString> shown = NotificationText(
        text, settings_.ShowNotifier, controller_->StreamHandle() != 0, hint_->NotifierShown());
    if (shown) {
        hint_->showText(*shown);
    }
}

void Application::reportSaveFailure(const QString& text) {
    std::fprintf(stderr, "Tunelark: %s\n", text.toLocal8Bit().constData());
    // Ending on a signal or with the session: nobody may be there to close a box.
    if (!exiting_) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Tunelark"), text, QMessageBox::Ok);
        box.exec();
    }
}

bool Application::createPlayerWindow() {
    TForm1::Links windowLinks;
    windowLinks.closed = [this] {
        for (QWidget* w : std::initializer_list<QWidget*>{form2_.get(), hint_.get(), lyrics_.get(),
                                                          infoForm_.get()}) {
            if (w != nullptr) {
                w->hide();
            }
        }
        QApplication::quit();
    };
    windowLinks.showStationManager = [this] {
        if (!form2_) {
            return;
        }
        if (SkinControl* s = form1_->controls().find(u"Label6")) {
            s->enabled = false;
        }
        form2_->show();
        form2_->raise();
        form2_->activateWindow();
        form1_->Refresh();
    };
    windowLinks.closeValues = [this] {
        CloseValues values;
        if (form2_) {
            values.stations = form2_->savedGeometry();
            values.lastStation = std::max(0, form2_->lastStationRow());
        }
        values.searchResCount = settings_.SearchResCount;
        return values;
    };
    windowLinks.stepStation = [this](int delta) {
        stepStation(delta);
    };
    windowLinks.favouritesMenu = [this](int maxGroups, int maxStations) {
        return favouritesMenu(maxGroups, maxStations);
    };
    windowLinks.playFavourite = [this](const QString& name, const QString& url) {
        if (!form2_) {
            return;
        }
        // FavMenuClk: the manager shows its favourites page with no row selected, so previous
        // and next act on the favourites and the stop run by the record play resolves nothing.
        form2_->setCurrentPage(TForm2::kFavouritesPage);
        form2_->selectCurrentListRow(-1);
        controller_->PlayStationRecord(name, url);
    };
    windowLinks.addCurrentStation = [this] {
        if (form2_) {
            form2_->AddPlayingStation(nowPlaying_);
        }
    };
    windowLinks.showStationInfo = [this] {
        if (infoForm_) {
            infoForm_->show();
            infoForm_->raise();
        }
    };
    windowLinks.showSettings = [this] {
        if (settingsForm_) {
            settingsForm_->exec();
        }
    };
    windowLinks.showNotification = [this](const QString& text) {
        ShowNotification(text);
    };
    windowLinks.recordClick = [this] {
        recording_->RecLabelClick();
    };
    windowLinks.showAbout = [this] {
        if (about_) {
            about_->exec();
        }
    };
    windowLinks.saveFailed = [this](const QString& text) {
        reportSaveFailure(text);
    };
    form1_ = std::make_unique<TForm1>(appPath_, std::move(windowLinks));

    PlayerController::Links links;
    links.parsePlayList = [this](const QString& address) {
        return resolver_.ParsePlayList(address);
    };
    links.selectedStation = [this]() -> std::optional<StationChoice> {
        return form2_ ? form2_->selectedStation() : std::nullopt;
    };
    links.repaintStationLists = [this] {
        if (form2_) {
            form2_->update();
        }
    };
    links.showNotification = [this](const QString& text) {
        ShowNotification(text);
    };
    links.showFailure = [this](const QString& text) {
        // Why a station did not play: shown even with titles off, over a title still up.
        if (hint_) {
            hint_->showTextNow(text);
        }
    };
    links.refreshInfoWindow = [this] {
        if (infoForm_) {
            infoForm_->FormShow();
        }
    };
    links.windowId = [this]() -> uintptr_t {
        return form1_ ? static_cast<uintptr_t>(form1_->winId()) : 0;
    };
    links.showError = [this](const QString& caption, const QString& text) {
        QMessageBox::critical(form1_.get(), caption, text);
    };
    links.setStateImage = [this](const QString& keyword, const QString& file) {
        form1_->SetStateImage(keyword, file);
    };
    links.autoRecordCheck = [this](const QString& title) {
        recording_->TitleMessage(title);
    };
    links.splitRecording = [this] {
        recording_->SplitRecording();
    };
    links.stopRecording = [this] {
        recording_->StopRecording();
    };
    links.requestAlbumArt = [this](const QString& title) {
        if (albumArt_) {
            albumArt_->request(title, nowPlaying_.StationName);
        }
    };
    controller_ = std::make_unique<PlayerController>(engine_, appPath_, settings_, nowPlaying_,
                                                     form1_->controls(), form1_->compositor(),
                                                     std::move(links));
    form1_->attach(*controller_);

    // autorec.txt: the auto-record list exists only when the file does.
    QFile autorec(appPath_ + QStringLiteral("autorec.txt"));
    if (autorec.open(QIODevice::ReadOnly)) {
        autoRecordList_ = splitLines(QString::fromUtf8(autorec.readAll()));
    }
    createRecorder();

    const IniFile ini = IniFile::load(appPath_ + QStringLiteral("config.ini"));
    const StartupConfig config = readStartupConfig(ini, appPath_);
    settings_ = config.settings;
    recorder_ = config.recorder;
    albumArt_ = std::make_unique<AlbumArtLookup>(appPath_, AlbumArtConfig::read(ini));
    albumArt_->loadArt = [this](const QString& path) {
        form1_->LoadAlbumArt(path);
        setAlbumArtFile(path);
    };
    albumArt_->clearArt = [this] {
        form1_->ClearAlbumArt();
        setAlbumArtFile(QString());
    };
    // A song without album art shows the playing search result's logo, when one was fetched.
    albumArt_->stationPicture = [this]() -> QString {
        const SearchTab* search = form2_ ? form2_->searchTab() : nullptr;
        if (search == nullptr || nowPlaying_.StationUrl.isEmpty()) {
            return {};
        }
        for (const TStat& r : search->SearchResults()) {
            if (r.Url == nowPlaying_.StationUrl && !r.Favicon.isEmpty()) {
                return LogoCache(LogoCache::defaultFolder()).fileFor(r.Favicon);
            }
        }
        return {};
    };
    form1_->move(config.position);
    controller_->vx() = config.vx;
    controller_->vy() = config.vy;
    if (settings_.OnTop) {
        form1_->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    if (settings_.Log && !controller_->titleLog().open(appPath_ + QStringLiteral("Tunelark.log"))) {
        // A log that cannot be opened leaves logging off; start-up goes on.
        settings_.Log = false;
    }
    nowPlaying_.Category = config.last.Category;
    nowPlaying_.Index = config.last.Index;
    nowPlaying_.Url = config.last.Url;
    nowPlaying_.Info = config.last.Info;
    nowPlaying_.ServiceIndex = config.last.ServiceIndex;

    engine_.setGlobalStreamVolume(100);
    form1_->compositor().VisualKind = static_cast<uint8_t>(settings_.VisualizationType != 0);
    if ((audio::Engine::version() >> 16) != (audio::kEngineVersion >> 16)) {
        QMessageBox box(QMessageBox::Critical, QString(),
                        QStringLiteral("An incorrect version of the audio engine was loaded"),
                        QMessageBox::Ok);
        box.exec();
        return false;
    }
    if (!engine_.init(audio::kOutputRate)) {
        ShowAudioError(QStringLiteral("Can't initialize device"));
        return false;
    }
    // The whole proxy text is handed on, whatever its length.
    if (!settings_.Proxy.trimmed().isEmpty()) {
        engine_.setProxy(settings_.Proxy.toStdString());
    }
    // Setting the knob runs VolumeChange, which applies the volume.
    form1_->knob()->setPosition(normaliseVolume(settings_.Volume));
    form1_->VolumeChange();

    if (qApp != nullptr) {
        videoClosedFilter_ = std::make_unique<ClientMessageFilter>(
            QByteArrayLiteral("WM_VIDEOCLOSED"), [this](uint32_t window) {
                if (form1_ && window == static_cast<uint32_t>(form1_->winId())) {
                    controller_->WM_VIDEOCLOSED();
                }
            });
        qApp->installNativeEventFilter(videoClosedFilter_.get());
    }
    // Until the settings dialog loads the configured theme, the built-in one is shown.
    form1_->LoadSkin(themeFolder(settings_.Theme));
    form1_->FadeIn();
    return true;
}

void Application::createRecorder() {
    Recorder::Links links;
    links.streamHandle = [this] {
        return controller_->StreamHandle();
    };
    links.startEncoder = [this](audio::StreamHandle stream, const std::vector<std::string>& argv,
                                bool paused) {
        return engine_.encodeStart(stream, argv, paused);
    };
    links.handOver = [this](audio::EncoderHandle from, audio::EncoderHandle to) {
        return engine_.encodeHandOver(from, to);
    };
    links.encoderExit = [this](audio::EncoderHandle encoder) {
        return engine_.encodeExit(encoder);
    };
    links.encoderActive = [this](audio::EncoderHandle encoder) {
        return engine_.encodeIsActive(encoder);
    };
    links.stopEncoder = [this](audio::EncoderHandle encoder) {
        engine_.encodeStop(encoder);
    };
    links.findEncoder = [this](const QString& encoder) {
        return findEncoderExecutable(encoder, appPath_);
    };
    links.notify = [this](const QString& text) {
        // A recorder failure is shown even while a title is in the notifier.
        if (hint_) {
            hint_->showText(text);
        }
    };
    links.showRecording = [this](bool recording) {
        controller_->setRecordingImage(recording);
        form1_->setRecordMenuImage(recording);
        form1_->Refresh();
    };
    links.listRecordings = [this] {
        if (recordingsTab_ != nullptr) {
            recordingsTab_->ListRecordings();
        }
    };
    links.refresh = [this] {
        form1_->Refresh();
    };
    recording_ = std::make_unique<Recorder>(
        recorder_, nowPlaying_, appPath_,
        autoRecordList_ ? AutoRecordList(*autoRecordList_) : AutoRecordList(), std::move(links));
    // An encoder that dies (full disk, a crash) is noticed within half a second.
    encoderWatch_ = std::make_unique<QTimer>();
    encoderWatch_->setInterval(500);
    QObject::connect(encoderWatch_.get(), &QTimer::timeout, [this] { recording_->checkEncoder(); });
    encoderWatch_->start();
}

void Application::createStationManager() {
    const IniFile ini = IniFile::load(appPath_ + QStringLiteral("config.ini"));
    LibraryStartup startup;
    startup.appPath = appPath_;
    startup.lastCategory = nowPlaying_.Category;
    startup.lastIndex = nowPlaying_.Index;
    startup.lastInfo = nowPlaying_.Info;
    startup.serviceIndex = nowPlaying_.ServiceIndex;
    startup.searchResCount = settings_.SearchResCount;
    managerPositionStored_ =
        ini.find(u"General", u"StationsX") && ini.find(u"General", u"StationsY");
    startup.geometry = QRect(
        ini.intValue(u"General", u"StationsX", 100), ini.intValue(u"General", u"StationsY", 100),
        ini.intValue(u"General", u"StationsW", 500), ini.intValue(u"General", u"StationsH", 400));
    PlayerLink link;
    link.playCommand = [this] {
        controller_->Button1Click();
    };
    link.stationStatus = [this](const QString& info) {
        controller_->WM_STREAM_STATUS(ssStationName, info);
    };
    auto setEnabled = [this](QStringView name, bool enabled) {
        if (SkinControl* c = form1_->controls().find(name)) {
            c->enabled = enabled;
        }
        form1_->Refresh();
        syncMediaControls();
    };
    link.setPrevNextEnabled = [setEnabled](bool previous, bool next) {
        setEnabled(u"Label1", previous);
        setEnabled(u"Label2", next);
    };
    link.setPlayEnabled = [setEnabled](bool enabled) {
        setEnabled(u"Button1", enabled);
    };
    link.setTimeText = [this](const QString& text) {
        if (SkinControl* c = form1_->controls().find(u"Label7")) {
            c->caption = text;
        }
        form1_->Refresh();
    };
    link.nowPlayingStationUrl = [this] {
        return nowPlaying_.StationUrl;
    };
    link.isStreamOpen = [this] {
        return controller_->StreamHandle() != 0 || controller_->VideoOpen();
    };
    link.raisePlayer = [this] {
        form1_->raise();
        form1_->activateWindow();
    };
    link.repaintSkin = [this] {
        form1_->Refresh();
    };
    link.managerClosed = [this, setEnabled] {
        setEnabled(u"Label6", true);
        if (about_) {
            about_->close();
        }
    };
    link.showNotification = [this](const QString& text) {
        ShowNotification(text);
    };
    link.searchChoiceChanged = [this](int serviceIndex, int countIndex) {
        nowPlaying_.ServiceIndex = serviceIndex;
        settings_.SearchResCount = countIndex;
    };
    form2_ = std::make_unique<TForm2>(startup, std::move(link));
    recordingsTab_ = new RecordingsTab(*form2_, {.folder = [this] { return recorder_.Folder; },
                                                 .appPath = appPath_,
                                                 .open = {},
                                                 .stopIfRecording =
                                                     [this](const QString& path) {
                                                         return recording_->stopIfRecording(path);
                                                     }});
}

void Application::createSettingsDialog() {
    SettingsSeams seams{
        .loadSkin =
            [this](const QString& folder) {
                form1_->LoadSkin(folder);
                if (hint_) {
                    hint_->LoadTheme(folder, false);
                    hint_->themeLoaded();
                }
                if (lyrics_) {
                    lyrics_->LoadTheme(folder, false);
                }
            },
        .playOnStart = [this] { controller_->Button1Click(); },
        .settings = settings_,
        .recorder = recorder_,
        .appPath = appPath_,
    };
    settingsForm_ = std::make_unique<TSettingsForm>(std::move(seams));
}

void Application::stepStation(int delta) {
    if (!form2_) {
        return;
    }
    const std::optional<int> row =
        StepRow(form2_->currentListSelectedRow(), form2_->currentListRowCount(), delta);
    if (!row) {
        return;
    }
    // Select (the list's click handler runs), then play as a double-click does. A group row of
    // the favourites is selected without changing the station.
    form2_->selectCurrentListRow(*row);
    if (form2_->currentPage() == TForm2::kFavouritesPage) {
        form2_->ListBox2DblClick();
    } else if (form2_->currentPage() == TForm2::kSearchPage) {
        form2_->searchTab()->ListView1DblClick();
    } else if (form2_->currentPage() == TForm2::kRecordingsPage) {
        recordingsTab_->ListView3DblClick();
    }
}

QList<TForm1::FavouritesMenuGroup> Application::favouritesMenu(int maxGroups, int maxStations) {
    QList<TForm1::FavouritesMenuGroup> groups;
    if (!form2_) {
        return groups;
    }
    for (const FavouritesDocument::MenuGroup& group :
         form2_->favourites().menuEntries(maxGroups, maxStations)) {
        TForm1::FavouritesMenuGroup entry{group.name, {}};
        for (const FavouritesDocument::MenuStation& station : group.stations) {
            entry.stations.append({station.name, station.url});
        }
        groups.append(std::move(entry));
    }
    return groups;
}

// A play at start-up: the stored stream starts connecting now, while the windows are built.
// The play command takes it over when it opens that address (the station manager may still
// select another), so what the user sees and the order of the status texts stay as they are.
void Application::preopenStartupStream() {
    const IniFile ini = IniFile::load(appPath_ + QStringLiteral("config.ini"));
    const StartupConfig config = readStartupConfig(ini, appPath_);
    if (!config.settings.PlayOnStart) {
        return;
    }
    const std::optional<QString> address = DirectPlayAddress(config.last.Url);
    if (!address) {
        return;
    }
    if (!config.settings.Proxy.trimmed().isEmpty()) {
        engine_.setProxy(config.settings.Proxy.toStdString());
    }
    audio::markStage("preopen");
    engine_.preopen(address->toStdString());
}

bool Application::start() {
    preopenStartupStream();
    // Every window carries the program's icon (drawn by tools/icon_generator); without the
    // files the player keeps its built-in one.
    QIcon icon;
    for (int size : {48, 128, 256}) {
        const QString file = appPath_ + QStringLiteral("icons/tunelark-%1.png").arg(size);
        if (QFile::exists(file)) {
            icon.addFile(file, QSize(size, size));
        }
    }
    if (!icon.isNull()) {
        QApplication::setWindowIcon(icon);
    }
    // A signal may end the program while a step shows a message box; no further window is
    // created then.
    if (exiting_ || !createPlayerWindow() || exiting_) {
        return false;
    }
    createStationManager();
    if (exiting_) {
        return false;
    }
    about_ = std::make_unique<TAboutForm>(AboutSeams{
        appPath_,
        GetVersionString(QCoreApplication::applicationFilePath(), QStringLiteral("FileVersion")),
        DefaultUpdateBase()});
    hint_ = std::make_unique<THintForm>(settings_.NotifierDelay);
    lyrics_ = std::make_unique<TLyricsForm>();
    createSettingsDialog();
    infoForm_ = std::make_unique<TInfoForm>(nowPlaying_);
    // The settings dialog's creation loads the theme and, when asked to, presses play: the
    // station manager has not been shown yet, so the last address is played as stored.
    settingsForm_->FormCreate();
    if (exiting_) {
        return false;
    }
    fitWindowsOnScreens();
    startMediaControls();
    return true;
}

namespace {

QList<QRect> availableScreenAreas() {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        areas.append(screen->availableGeometry());
    }
    return areas;
}

// The companion library sizes its own video window; this stands for it when checking that
// its stored corner is on a screen.
constexpr QSize kNominalVideoSize(320, 240);

} // namespace

void Application::fitWindowsOnScreens() {
    const QList<QRect> areas = availableScreenAreas();
    const QRect player = fitOnScreens(form1_->frameGeometry(), areas);
    if (player != form1_->frameGeometry()) {
        form1_->move(player.topLeft());
    }
    if (form2_) {
        // The manager's stored values are its client geometry (what setGeometry takes and
        // savedGeometry gives back); moving it only when needed keeps a framed window from
        // creeping by its title bar from run to run.
        QRect manager = form2_->geometry();
        if (!managerPositionStored_) {
            manager = placeBeside(form1_->frameGeometry(), manager.size(), areas);
        }
        manager = fitOnScreens(manager, areas);
        if (manager != form2_->geometry()) {
            form2_->setGeometry(manager);
        }
    }
    const QRect video =
        fitOnScreens(QRect(QPoint(controller_->vx(), controller_->vy()), kNominalVideoSize), areas);
    controller_->vx() = video.x();
    controller_->vy() = video.y();
}

void Application::startMediaControls() {
    MediaCommands commands;
    commands.playStop = [this] {
        form1_->Button1Click();
    };
    commands.next = [this] {
        form1_->Label2Click();
    };
    commands.previous = [this] {
        form1_->Label1Click();
    };
    commands.raise = [this] {
        if (!form1_->isVisible() || form1_->isMinimized()) {
            form1_->showNormal();
            form1_->FadeIn();
        }
        form1_->raise();
        form1_->activateWindow();
    };
    commands.quit = [this] {
        exit();
    };
    commands.setVolume = [this](double volume) {
        // The knob runs VolumeChange, which reaches the controller and so the bus again.
        form1_->knob()->setPosition(static_cast<int>(std::nearbyint(volume * 10)));
    };
    mpris_ = std::make_unique<MprisService>(std::move(commands));
    syncMediaControls();
    QObject::connect(controller_.get(), &PlayerController::refreshRequested, mpris_.get(),
                     [this] { syncMediaControls(); });
    if (MprisService::sessionBusKnown()) {
        mpris_->registerOn(QDBusConnection::sessionBus());
    }
}

void Application::syncMediaControls() {
    if (!mpris_ || !form1_ || !controller_) {
        return;
    }
    auto enabled = [this](QStringView name) {
        const SkinControl* c = form1_->controls().find(name);
        return c != nullptr && c->enabled;
    };
    MediaState state;
    state.playing = controller_->StreamHandle() != 0 || controller_->VideoOpen();
    state.title = nowPlaying_.Title;
    state.stationName =
        nowPlaying_.StationName.isEmpty() ? nowPlaying_.Info : nowPlaying_.StationName;
    state.volume = form1_->knob()->position() / 10.0;
    state.canPlay = enabled(u"Button1");
    state.canGoPrevious = enabled(u"Label1");
    state.canGoNext = enabled(u"Label2");
    mpris_->setState(state);
}

void Application::setAlbumArtFile(const QString& path) {
    if (mpris_) {
        mpris_->setArtFile(path);
    }
}

void Application::exit() {
    if (exiting_) {
        return;
    }
    exiting_ = true;
    if (form1_) {
        // Writes config.ini as a close does, whether or not the window has been shown yet.
        form1_->FormClose();
        form1_->close();
    }
    // exit(), not quit(): quit() asks every window first, and an open message box refuses.
    // This ends every running event loop, a message box's included.
    QCoreApplication::exit(0);
}

} // namespace tl
