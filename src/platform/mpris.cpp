#include "platform/mpris.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace tl {

namespace {

constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";

// org.mpris.MediaPlayer2: who the player is and what the desktop may ask of it as a whole.
class RootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)
public:
    explicit RootAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), service_(service) {}
    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Tunelark"); }
    QString desktopEntry() const { return QStringLiteral("tunelark"); }
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

public Q_SLOTS:
    void Raise() { service_->Raise(); }
    void Quit() { service_->Quit(); }

private:
    MprisService* service_;
};

// org.mpris.MediaPlayer2.Player: a live stream has no position, no seeking and one rate.
class PlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)
public:
    explicit PlayerAdaptor(MprisService* service)
        : QDBusAbstractAdaptor(service), service_(service) {}
    QString playbackStatus() const { return service_->playbackStatus(); }
    double rate() const { return 1.0; }
    void setRate(double) {}
    QVariantMap metadata() const { return service_->metadata(); }
    double volume() const { return service_->state().volume; }
    void setVolume(double v) { service_->setVolume(v); }
    qlonglong position() const { return 0; }
    bool canGoNext() const { return service_->state().canGoNext; }
    bool canGoPrevious() const { return service_->state().canGoPrevious; }
    bool canPlay() const { return service_->state().canPlay; }
    bool canPause() const { return service_->state().playing; }
    bool canSeek() const { return false; }
    bool canControl() const { return true; }

public Q_SLOTS:
    void Next() { service_->Next(); }
    void Previous() { service_->Previous(); }
    void Pause() { service_->Pause(); }
    void PlayPause() { service_->PlayPause(); }
    void Stop() { service_->Stop(); }
    void Play() { service_->Play(); }
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath&, qlonglong) {}
    void OpenUri(const QString&) {}

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    MprisService* service_;
};

} // namespace

SongParts splitSongTitle(const QString& text) {
    const QString whole = text.trimmed();
    const qsizetype dash = whole.indexOf(QStringLiteral(" - "));
    if (dash > 0) {
        QString artist = whole.left(dash).trimmed();
        QString title = whole.mid(dash + 3).trimmed();
        if (!artist.isEmpty() && !title.isEmpty()) {
            return {std::move(artist), std::move(title)};
        }
    }
    return {QString(), whole};
}

bool MprisService::sessionBusKnown() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

MprisService::MprisService(MediaCommands commands, QObject* parent)
    : QObject(parent), commands_(std::move(commands)), bus_(QString()) {
    new RootAdaptor(this);
    new PlayerAdaptor(this);
}

MprisService::~MprisService() {
    if (registered_) {
        bus_.unregisterObject(QString::fromLatin1(kObjectPath));
        bus_.unregisterService(serviceName_);
    }
}

bool MprisService::registerOn(QDBusConnection bus) {
    if (registered_ || !bus.isConnected()) {
        return false;
    }
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this,
                            QDBusConnection::ExportAdaptors)) {
        return false;
    }
    const QString name = QString::fromLatin1(kServiceName);
    for (const QString& candidate :
         {name, name + QStringLiteral(".instance") +
                    QString::number(QCoreApplication::applicationPid())}) {
        if (bus.registerService(candidate)) {
            bus_ = bus;
            serviceName_ = candidate;
            registered_ = true;
            return true;
        }
    }
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    return false;
}

QString MprisService::playbackStatus() const {
    return state_.playing ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

QVariantMap MprisService::metadata() const {
    QVariantMap map;
    const SongParts song = splitSongTitle(state_.title);
    const QString title = song.title.isEmpty() ? state_.stationName.trimmed() : song.title;
    if (title.isEmpty() && state_.stationName.trimmed().isEmpty()) {
        map.insert(QStringLiteral("mpris:trackid"),
                   QVariant::fromValue(QDBusObjectPath(
                       QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"))));
        return map;
    }
    map.insert(QStringLiteral("mpris:trackid"),
               QVariant::fromValue(QDBusObjectPath(
                   QStringLiteral("/org/mpris/MediaPlayer2/tunelark/track/%1").arg(track_))));
    map.insert(QStringLiteral("xesam:title"), title);
    if (!song.artist.isEmpty()) {
        map.insert(QStringLiteral("xesam:artist"), QStringList{song.artist});
    }
    if (!state_.stationName.trimmed().isEmpty()) {
        map.insert(QStringLiteral("xesam:album"), state_.stationName.trimmed());
    }
    if (!artFile_.isEmpty()) {
        map.insert(QStringLiteral("mpris:artUrl"), QUrl::fromLocalFile(artFile_).toString());
    }
    return map;
}

void MprisService::setState(const MediaState& state) {
    if (state == state_) {
        return;
    }
    const MediaState old = state_;
    state_ = state;
    QVariantMap changed;
    if (old.title != state.title || old.stationName != state.stationName) {
        ++track_;
        changed.insert(QStringLiteral("Metadata"), metadata());
    }
    if (old.playing != state.playing) {
        changed.insert(QStringLiteral("PlaybackStatus"), playbackStatus());
        changed.insert(QStringLiteral("CanPause"), state.playing);
    }
    if (old.volume != state.volume) {
        changed.insert(QStringLiteral("Volume"), state.volume);
    }
    if (old.canPlay != state.canPlay) {
        changed.insert(QStringLiteral("CanPlay"), state.canPlay);
    }
    if (old.canGoNext != state.canGoNext) {
        changed.insert(QStringLiteral("CanGoNext"), state.canGoNext);
    }
    if (old.canGoPrevious != state.canGoPrevious) {
        changed.insert(QStringLiteral("CanGoPrevious"), state.canGoPrevious);
    }
    announce(changed);
}

void MprisService::setArtFile(const QString& path) {
    if (path == artFile_) {
        return;
    }
    artFile_ = path;
    announce({{QStringLiteral("Metadata"), metadata()}});
}

void MprisService::announce(const QVariantMap& changed) {
    if (!registered_ || changed.isEmpty()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    bus_.send(signal);
}

// A live stream cannot pause: Pause stops it, and Play starts the selected station.
void MprisService::Play() {
    if (!state_.playing && state_.canPlay && commands_.playStop) {
        commands_.playStop();
    }
}

void MprisService::Pause() {
    Stop();
}

void MprisService::PlayPause() {
    if (state_.playing) {
        Stop();
    } else {
        Play();
    }
}

void MprisService::Stop() {
    if (state_.playing && commands_.playStop) {
        commands_.playStop();
    }
}

void MprisService::Next() {
    if (state_.canGoNext && commands_.next) {
        commands_.next();
    }
}

void MprisService::Previous() {
    if (state_.canGoPrevious && commands_.previous) {
        commands_.previous();
    }
}

void MprisService::setVolume(double volume) {
    if (std::isnan(volume) || !commands_.setVolume) {
        return;
    }
    commands_.setVolume(std::clamp(volume, 0.0, 1.0));
}

void MprisService::Raise() {
    if (commands_.raise) {
        commands_.raise();
    }
}

void MprisService::Quit() {
    if (commands_.quit) {
        commands_.quit();
    }
}

} // namespace tl

#include "mpris.moc"
