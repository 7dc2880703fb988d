#include "app/application.h"

#include "common/ini_file.h"
#include "common/text.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QScreen>

namespace tl {

Application::Application(QString appPath) : appPath_(std::move(appPath)), resolver_(appPath_) {}

Application::~Application() {
    if (qApp != nullptr && videoClosedFilter_) {
        qApp->removeNativeEventFilter(videoClosedFilter_.get());
    }
    // The controller ends the worker and the stream before the engine goes.
    form2_.reset();
    form1_.reset();
    controller_.reset();
}

void Application::ShowAudioError(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString(),
                    text + QStringLiteral("\n(error code: ") +
                        QString::number(static_cast<int>(engine_.errorCode())) +
                        QStringLiteral(")"),
                    QMessageBox::Ok, form1_.get());
    box.exec();
}

bool Application::createPlayerWindow() {
    PlayerController::Links links;
    links.parsePlayList = [this](const QString& address) {
        return resolver_.ParsePlayList(address);
    };
    links.windowId = [this]() -> uintptr_t {
        return form1_ ? static_cast<uintptr_t>(form1_->winId()) : 0;
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
    links.showError = [this](const QString& caption, const QString& text) {
        QMessageBox::critical(form1_.get(), caption, text);
    };
    controller_ = std::make_unique<PlayerController>(engine_, appPath_, settings_, nowPlaying_,
                                                     std::move(links));
    TForm1::Links windowLinks;
    windowLinks.closed = [this] {
        if (form2_) {
            form2_->hide();
        }
        QApplication::quit();
    };
    windowLinks.showStationManager = [this] {
        if (!form2_) {
            return;
        }
        if (SkinControl* s = controller_->controls().find(u"Label6")) {
            s->enabled = false;
        }
        form2_->show();
        form2_->raise();
        form2_->activateWindow();
        form1_->update();
    };
    windowLinks.closeValues = [this] {
        CloseValues values;
        if (form2_) {
            values.stations = form2_->savedGeometry();
            values.lastStation = std::max(0, form2_->lastStationRow());
        }
        return values;
    };
    form1_ = std::make_unique<TForm1>(*controller_, appPath_, std::move(windowLinks));

    // autorec.txt: the auto-record list exists only when the file does.
    QFile autorec(appPath_ + QStringLiteral("autorec.txt"));
    if (autorec.open(QIODevice::ReadOnly)) {
        autoRecordList_ = splitLines(QString::fromUtf8(autorec.readAll()));
    }

    const IniFile ini = IniFile::load(appPath_ + QStringLiteral("config.ini"));
    const StartupConfig config = readStartupConfig(ini, appPath_);
    settings_ = config.settings;
    recorder_ = config.recorder;
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
    const int volume = normaliseVolume(settings_.Volume);
    controller_->SetVolume(volume * 10);

    if (qApp != nullptr) {
        videoClosedFilter_ = std::make_unique<ClientMessageFilter>(
            QByteArrayLiteral("WM_VIDEOCLOSED"), [this](uint32_t window) {
                if (form1_ && window == static_cast<uint32_t>(form1_->winId())) {
                    controller_->WM_VIDEOCLOSED();
                }
            });
        qApp->installNativeEventFilter(videoClosedFilter_.get());
    }
    form1_->show();
    return true;
}

void Application::createStationManager() {
    const IniFile ini = IniFile::load(appPath_ + QStringLiteral("config.ini"));
    LibraryStartup startup;
    startup.appPath = appPath_;
    startup.lastCategory = nowPlaying_.Category;
    startup.lastIndex = nowPlaying_.Index;
    startup.lastInfo = nowPlaying_.Info;
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
        if (SkinControl* c = controller_->controls().find(name)) {
            c->enabled = enabled;
        }
        form1_->update();
    };
    link.setPrevNextEnabled = [setEnabled](bool previous, bool next) {
        setEnabled(u"Label1", previous);
        setEnabled(u"Label2", next);
    };
    link.setPlayEnabled = [setEnabled](bool enabled) {
        setEnabled(u"Button1", enabled);
    };
    link.setTimeText = [this](const QString& text) {
        if (SkinControl* c = controller_->controls().find(u"Label7")) {
            c->caption = text;
        }
        form1_->update();
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
        form1_->update();
    };
    link.managerClosed = [setEnabled] {
        setEnabled(u"Label6", true);
    };
    link.showNotification = [this](const QString& text) {
        ShowNotification(text);
    };
    form2_ = std::make_unique<TForm2>(startup, std::move(link));
}

void Application::ShowNotification(const QString& /*text*/) {
    // The skinned notifier plugs in here.
}

bool Application::start() {
    if (!createPlayerWindow()) {
        return false;
    }
    createStationManager();
    // Later windows join here in their fixed order: about window, (the edit dialog belongs to
    // the station manager), notifier, lyrics window, settings dialog, station information.

    // Once the settings window exists: play the last station as stored.
    if (settings_.PlayOnStart) {
        controller_->Button1Click();
    }
    return true;
}

void Application::exit() {
    if (form1_) {
        form1_->close();
    }
}

} // namespace tl
