#pragma once
// Desktop media controls: the player on the session bus as an MPRIS 2 media player, so that
// the desktop's media keys, sound applet and lock screen show and drive it. The service only
// forwards the bus's calls to the player's own commands (MediaCommands) and publishes what
// the player tells it (MediaState); the composition root wires both.
//
// Runs on the UI thread: the bus calls arrive through the UI thread's event loop, and every
// command runs there.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

namespace tl {

// What the bus shows of the player.
struct MediaState {
    bool playing = false;   // a stream (or a video station) is open
    QString title;          // the song title as the stream sent it; empty when none
    QString stationName;    // the station being played
    double volume = 0.0;    // 0..1, the volume knob
    bool canPlay = true;    // the play control is enabled
    bool canGoNext = false; // the next / previous controls are enabled
    bool canGoPrevious = false;

    bool operator==(const MediaState&) const = default;
};

// The player's commands the bus may run; every member may be empty.
struct MediaCommands {
    std::function<void()> playStop; // the play control: starts the selected station, or stops
    std::function<void()> next;
    std::function<void()> previous;
    std::function<void()> raise;
    std::function<void()> quit;
    std::function<void(double volume)> setVolume; // 0..1
};

// "Artist - Title" split at the first " - " when both sides have text; otherwise the whole
// text is the title and the artist is empty.
struct SongParts {
    QString artist;
    QString title;
};
SongParts splitSongTitle(const QString& text);

class MprisService : public QObject {
    Q_OBJECT
public:
    static constexpr char kServiceName[] = "org.mpris.MediaPlayer2.tunelark";
    static constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";

    // True when the environment names a session bus (DBUS_SESSION_BUS_ADDRESS, or the user's
    // bus socket in XDG_RUNTIME_DIR). Asked first so that no bus is ever started on demand.
    static bool sessionBusKnown();

    explicit MprisService(MediaCommands commands, QObject* parent = nullptr);
    ~MprisService() override;

    // Registers the object and the service name (or, when another process holds it, the name
    // with ".instance<pid>" appended). False when the bus is not connected or refuses both;
    // the player then runs without media controls.
    bool registerOn(QDBusConnection bus);
    bool registered() const { return registered_; }
    QString serviceName() const { return serviceName_; }

    // Publishes a new state; every property that changed is announced in one PropertiesChanged.
    void setState(const MediaState& state);
    const MediaState& state() const { return state_; }
    // The album-art file being shown (an absolute path); empty when none is shown.
    void setArtFile(const QString& path);

    // The properties and commands of org.mpris.MediaPlayer2.Player, as the bus sees them.
    QString playbackStatus() const;
    QVariantMap metadata() const;
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void setVolume(double volume);
    // org.mpris.MediaPlayer2
    void Raise();
    void Quit();

private:
    void announce(const QVariantMap& changed);

    MediaCommands commands_;
    MediaState state_;
    QString artFile_;
    quint64 track_ = 0; // counts title and station changes for mpris:trackid
    QDBusConnection bus_;
    QString serviceName_;
    bool registered_ = false;
};

} // namespace tl
