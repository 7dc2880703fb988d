// The desktop media controls against a private session bus: a real dbus-daemon, the real
// dbus-send as the desktop's side, and a Qt client that records PropertiesChanged.

#include "platform/mpris.h"
#include "private_bus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

using namespace tl;

TEST(Mpris, SplitSongTitle) {
    struct Row {
        const char* text;
        const char* artist;
        const char* title;
    };
    const Row rows[] = {
        {"Artist - Song", "Artist", "Song"},
        {"  A  -  B - C ", "A", "B - C"}, // first dash splits, the rest stays in the title
        {"Song", "", "Song"},
        {"Artist-Song", "", "Artist-Song"}, // no blanks around the dash: one title
        {" - Song", "", "- Song"},          // nothing before the dash
        {"Artist - ", "", "Artist -"},      // nothing after it
        {"", "", ""},
    };
    for (const Row& r : rows) {
        const SongParts parts = splitSongTitle(QString::fromUtf8(r.text));
        EXPECT_EQ(parts.artist, QString::fromUtf8(r.artist)) << r.text;
        EXPECT_EQ(parts.title, QString::fromUtf8(r.title)) << r.text;
    }
}

namespace {

constexpr char kPath[] = "/org/mpris/MediaPlayer2";
constexpr char kRoot[] = "org.mpris.MediaPlayer2";
constexpr char kPlayer[] = "org.mpris.MediaPlayer2.Player";

using test::PrivateBus;

// Waits for cond while the event loop runs (the service answers from this thread).
template <typename Cond> bool spinUntil(Cond cond, int ms = 60000) {
    QElapsedTimer t;
    t.start();
    while (!cond()) {
        if (t.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs dbus-send against the bus and returns its output; the event loop keeps running.
QString dbusSend(const PrivateBus& bus, const QString& service, QStringList args) {
    QProcess p;
    args.prepend(QStringLiteral("--print-reply"));
    args.prepend(QStringLiteral("--dest=") + service);
    args.prepend(QStringLiteral("--bus=") + bus.address);
    p.start(QStringLiteral("dbus-send"), args);
    EXPECT_TRUE(p.waitForStarted(60000));
    EXPECT_TRUE(spinUntil([&p] { return p.state() == QProcess::NotRunning; }));
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

QString callPlayer(const PrivateBus& bus, const QString& service, const char* method) {
    return dbusSend(bus, service,
                    {QString::fromLatin1(kPath), QStringLiteral("%1.%2").arg(kPlayer, method)});
}

// Records the PropertiesChanged signals of the player interface.
class ChangeRecorder : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changes;

public Q_SLOTS:
    void onChanged(const QDBusMessage& message) {
        const QList<QVariant> args = message.arguments();
        if (args.size() == 3 && args[0].toString() == QString::fromLatin1(kPlayer)) {
            changes.append(qdbus_cast<QVariantMap>(args[1].value<QDBusArgument>()));
        }
    }
};

QVariantMap unpackMap(const QVariant& v) {
    return v.canConvert<QDBusArgument>() ? qdbus_cast<QVariantMap>(v.value<QDBusArgument>())
                                         : v.toMap();
}

// The player the bus drives: the commands change its state, which goes back to the service
// as the composition root's refresh does.
struct FakePlayer {
    MediaState state;
    int playStops = 0;
    int nexts = 0;
    int previous = 0;
    int raises = 0;
    QList<double> volumes;
    MprisService* service = nullptr;

    MediaCommands commands() {
        MediaCommands c;
        c.playStop = [this] {
            ++playStops;
            state.playing = !state.playing;
            service->setState(state);
        };
        c.next = [this] {
            ++nexts;
        };
        c.previous = [this] {
            ++previous;
        };
        c.raise = [this] {
            ++raises;
        };
        c.setVolume = [this](double v) {
            volumes.append(v);
            state.volume = v;
            service->setState(state);
        };
        return c;
    }
};

} // namespace

TEST(Mpris, DrivesThePlayerOverAPrivateBus) {
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    QDBusConnection serviceBus = QDBusConnection::connectToBus(bus.address, QStringLiteral("svc"));
    QDBusConnection client = QDBusConnection::connectToBus(bus.address, QStringLiteral("client"));
    ASSERT_TRUE(serviceBus.isConnected());

    FakePlayer player;
    player.state.stationName = QStringLiteral("Radio One");
    player.state.volume = 0.6;
    MprisService service(player.commands());
    player.service = &service;
    service.setState(player.state);
    ASSERT_TRUE(service.registerOn(serviceBus));
    const QString name = service.serviceName();
    EXPECT_EQ(name, QStringLiteral("org.mpris.MediaPlayer2.tunelark"));
    EXPECT_TRUE(client.interface()->isServiceRegistered(name).value());

    ChangeRecorder recorder;
    ASSERT_TRUE(client.connect(
        QString(), QString::fromLatin1(kPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"), &recorder, SLOT(onChanged(QDBusMessage))));

    auto get = [&](const char* interface, const char* property) -> QVariant {
        QDBusMessage m = QDBusMessage::createMethodCall(
            name, QString::fromLatin1(kPath), QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        m << QString::fromLatin1(interface) << QString::fromLatin1(property);
        QDBusPendingCall call = client.asyncCall(m);
        EXPECT_TRUE(spinUntil([&call] { return call.isFinished(); }));
        QDBusPendingReply<QDBusVariant> reply = call;
        EXPECT_FALSE(reply.isError()) << property << reply.error().message().toStdString();
        return reply.value().variant();
    };
    auto lastChange = [&](const char* property) -> QVariant {
        for (auto it = recorder.changes.crbegin(); it != recorder.changes.crend(); ++it) {
            if (it->contains(QString::fromLatin1(property))) {
                return it->value(QString::fromLatin1(property));
            }
        }
        return {};
    };

    // Who the player is, as the desktop lists it.
    EXPECT_EQ(get(kRoot, "Identity").toString(), QStringLiteral("Tunelark"));
    EXPECT_EQ(get(kRoot, "DesktopEntry").toString(), QStringLiteral("tunelark"));
    EXPECT_TRUE(get(kRoot, "CanRaise").toBool());
    EXPECT_TRUE(
        dbusSend(bus, name, {QString::fromLatin1(kPath), QStringLiteral("%1.Raise").arg(kRoot)})
            .contains(QStringLiteral("method return")));
    EXPECT_EQ(player.raises, 1);

    // Stopped at first; Stop and Pause do nothing then, PlayPause presses play.
    EXPECT_EQ(get(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    callPlayer(bus, name, "Stop");
    callPlayer(bus, name, "Pause");
    EXPECT_EQ(player.playStops, 0);
    callPlayer(bus, name, "PlayPause");
    EXPECT_EQ(player.playStops, 1);
    EXPECT_EQ(get(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Playing"));
    EXPECT_TRUE(get(kPlayer, "CanPause").toBool());
    ASSERT_TRUE(spinUntil([&] { return lastChange("PlaybackStatus").isValid(); }));
    EXPECT_EQ(lastChange("PlaybackStatus").toString(), QStringLiteral("Playing"));
    callPlayer(bus, name, "Play"); // already playing: no second press (it would stop)
    EXPECT_EQ(player.playStops, 1);

    // A title arrives: title and artist split, the station as album, announced.
    player.state.title = QStringLiteral("Some Artist - Some Song");
    service.setState(player.state);
    const QVariantMap meta = unpackMap(get(kPlayer, "Metadata"));
    EXPECT_EQ(meta.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Some Song"));
    EXPECT_EQ(meta.value(QStringLiteral("xesam:artist")).toStringList(),
              QStringList{QStringLiteral("Some Artist")});
    EXPECT_EQ(meta.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("Radio One"));
    EXPECT_FALSE(meta.contains(QStringLiteral("mpris:artUrl")));
    EXPECT_TRUE(meta.value(QStringLiteral("mpris:trackid"))
                    .value<QDBusObjectPath>()
                    .path()
                    .startsWith(QStringLiteral("/org/mpris/MediaPlayer2/tunelark/track/")));
    ASSERT_TRUE(spinUntil([&] {
        return unpackMap(lastChange("Metadata")).contains(QStringLiteral("xesam:artist"));
    }));
    // The album art shown joins the metadata as a file address.
    service.setArtFile(QStringLiteral("/opt/tunelark/image.jpg"));
    EXPECT_EQ(unpackMap(get(kPlayer, "Metadata")).value(QStringLiteral("mpris:artUrl")).toString(),
              QStringLiteral("file:///opt/tunelark/image.jpg"));
    // dbus-send, as a desktop tool sees it.
    const QString shown =
        dbusSend(bus, name,
                 {QString::fromLatin1(kPath), QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                  QStringLiteral("string:%1").arg(kPlayer), QStringLiteral("string:Metadata")});
    EXPECT_TRUE(shown.contains(QStringLiteral("\"Some Song\""))) << shown.toStdString();

    // Previous / next follow the player's enabled controls.
    callPlayer(bus, name, "Next");
    callPlayer(bus, name, "Previous");
    EXPECT_EQ(player.nexts + player.previous, 0);
    player.state.canGoNext = true;
    service.setState(player.state);
    EXPECT_TRUE(get(kPlayer, "CanGoNext").toBool());
    EXPECT_FALSE(get(kPlayer, "CanGoPrevious").toBool());
    callPlayer(bus, name, "Next");
    callPlayer(bus, name, "Previous");
    EXPECT_EQ(player.nexts, 1);
    EXPECT_EQ(player.previous, 0);

    // Stop ends the stream once; a second Stop does nothing.
    callPlayer(bus, name, "Stop");
    callPlayer(bus, name, "Stop");
    EXPECT_EQ(player.playStops, 2);
    EXPECT_EQ(get(kPlayer, "PlaybackStatus").toString(), QStringLiteral("Stopped"));
    ASSERT_TRUE(spinUntil([&] { return lastChange("PlaybackStatus").toString() == "Stopped"; }));

    // Volume: set through the bus, clamped to 0..1, announced and read back.
    EXPECT_DOUBLE_EQ(get(kPlayer, "Volume").toDouble(), 0.6);
    const QString props = QStringLiteral("org.freedesktop.DBus.Properties.Set");
    for (const char* value : {"double:0.3", "double:7", "double:-1"}) {
        dbusSend(bus, name,
                 {QString::fromLatin1(kPath), props, QStringLiteral("string:%1").arg(kPlayer),
                  QStringLiteral("string:Volume"), QStringLiteral("variant:%1").arg(value)});
    }
    EXPECT_EQ(player.volumes, (QList<double>{0.3, 1.0, 0.0}));
    EXPECT_DOUBLE_EQ(get(kPlayer, "Volume").toDouble(), 0.0);
    ASSERT_TRUE(spinUntil([&] { return lastChange("Volume").isValid(); }));
    EXPECT_DOUBLE_EQ(lastChange("Volume").toDouble(), 0.0);

    // A second player on the same bus takes an instance name; no bus, no registration.
    MprisService second(MediaCommands{});
    ASSERT_TRUE(second.registerOn(QDBusConnection::connectToBus(bus.address, QStringLiteral("b"))));
    EXPECT_TRUE(second.serviceName().startsWith(name + QStringLiteral(".instance")));
    MprisService orphan(MediaCommands{});
    EXPECT_FALSE(orphan.registerOn(QDBusConnection(QStringLiteral("not-connected"))));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "mpris_test.moc"
