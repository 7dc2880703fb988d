// The desktop pieces as the composition root wires them, offscreen: where the windows open,
// the icon every window carries, and the media controls following the player.

#include "app/application.h"
#include "common/player_types.h"
#include "platform/mpris.h"
#include "private_bus.h"
#include "skin/knob_widget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace tl;

namespace {

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// A program folder with the shipped theme, the icons and two stations.
struct App {
    QTemporaryDir dir;
    std::unique_ptr<Application> app;

    explicit App(const QByteArray& config) {
        const QString src = QStringLiteral(TL_SOURCE_DIR "/assets/");
        QDir().mkpath(dir.filePath(QStringLiteral("Themes/Nocturne")));
        const QDir theme(src + QStringLiteral("Themes/Nocturne"));
        for (const QString& f : theme.entryList(QDir::Files)) {
            QFile::copy(theme.filePath(f), dir.filePath(QStringLiteral("Themes/Nocturne/") + f));
        }
        QDir().mkpath(dir.filePath(QStringLiteral("icons")));
        for (const char* size : {"48", "128", "256"}) {
            const QString name = QStringLiteral("icons/tunelark-%1.png").arg(size);
            QFile::copy(src + name, dir.filePath(name));
        }
        writeFile(dir.filePath(QStringLiteral("stations.xml")),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<stations><group Name=\"G\" "
                  "rolled=\"0\" Color=\"255\"><station><Name>One</Name><Url>http://127.0.0.1:1/"
                  "</Url></station></group></stations>\n");
        writeFile(dir.filePath(QStringLiteral("config.ini")), config);
        app = std::make_unique<Application>(dir.path() + u'/');
        EXPECT_TRUE(app->start());
    }
    TForm1& player() { return app->playerWindow(); }
};

QRect screenArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

TForm2* managerWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* form = qobject_cast<TForm2*>(w)) {
            return form;
        }
    }
    return nullptr;
}

} // namespace

TEST(DesktopApp, WindowsOpenOnTheScreenAndTheManagerBesideThePlayer) {
    // The offscreen screen is 800x800; the Nocturne player is 380x128.
    struct Row {
        const char* config;
        QPoint player;                 // where the player opens
        std::optional<QPoint> manager; // where the manager opens; nullopt: beside the player
        const char* video;             // the video corner written back at exit
        const char* why;
    };
    const Row rows[] = {
        {"", {100, 100}, std::nullopt, "vx=100\nvy=100", "first run: beside, not over the player"},
        {"x=9000\ny=-5000\nvx=-7000\nvy=20\nStationsX=-3000\nStationsY=9000\n",
         {420, 0},
         std::nullopt,
         "vx=0\nvy=20",
         "off every screen: all brought back"},
        {"x=20\ny=30\nStationsX=200\nStationsY=250\nStationsW=300\nStationsH=200\nvx=40\n"
         "vy=50\n",
         {20, 30},
         QPoint(200, 250),
         "vx=40\nvy=50",
         "stored on screen: kept"},
    };
    const QRect area = screenArea();
    for (const Row& r : rows) {
        App a(QByteArray("[General]\nTheme=Nocturne\n") + r.config);
        TForm2* manager = managerWindow();
        ASSERT_NE(manager, nullptr);
        const QRect player = a.player().frameGeometry();
        const QRect managed = manager->geometry();
        EXPECT_EQ(player.topLeft(), r.player) << r.why;
        if (r.manager) {
            EXPECT_EQ(managed.topLeft(), *r.manager) << r.why;
        } else {
            EXPECT_FALSE(managed.intersects(player)) << r.why;
            EXPECT_TRUE(area.contains(managed)) << r.why;
        }
        a.app->exit();
        QFile f(a.dir.filePath(QStringLiteral("config.ini")));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        EXPECT_TRUE(text.contains(r.video)) << r.why << "\n" << text.constData();
    }
}

TEST(DesktopApp, IconTitleAndMediaControlsFollowThePlayer) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) << "no private bus";
    App a("[General]\nTheme=Nocturne\nVolume=4\nStationsX=0\nStationsY=0\n");

    EXPECT_EQ(a.player().windowTitle(), QStringLiteral("Tunelark"));
    ASSERT_FALSE(QApplication::windowIcon().isNull());
    EXPECT_EQ(QApplication::windowIcon().availableSizes().size(), 3);
    EXPECT_EQ(a.player().windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());

    MprisService* mpris = a.app->mediaControls();
    ASSERT_NE(mpris, nullptr);
    EXPECT_TRUE(mpris->registered());
    EXPECT_EQ(mpris->serviceName(), QStringLiteral("org.mpris.MediaPlayer2.tunelark"));
    EXPECT_FALSE(mpris->state().playing);
    EXPECT_DOUBLE_EQ(mpris->state().volume, 0.4);

    // A title from the stream reaches the bus's metadata.
    a.app->player().WM_STREAM_STATUS(ssTitle, QStringLiteral("Band - Tune"));
    EXPECT_EQ(mpris->state().title, QStringLiteral("Band - Tune"));
    EXPECT_EQ(mpris->metadata().value(QStringLiteral("xesam:artist")).toStringList(),
              QStringList{QStringLiteral("Band")});

    // Volume both ways: the knob shows on the bus, the bus turns the knob (to whole steps).
    a.player().knob()->setPosition(8);
    EXPECT_DOUBLE_EQ(mpris->state().volume, 0.8);
    mpris->setVolume(0.26);
    EXPECT_EQ(a.player().knob()->position(), 3);
    EXPECT_DOUBLE_EQ(mpris->state().volume, 0.3);

    // Previous / next follow the player's controls as the manager enables them.
    a.player().Button2Click();
    QApplication::processEvents();
    auto enabled = [&](const char* name) {
        return a.player().controls().find(QString::fromLatin1(name))->enabled;
    };
    EXPECT_EQ(mpris->state().canGoNext, enabled("Label2"));
    EXPECT_EQ(mpris->state().canGoPrevious, enabled("Label1"));

    // Stop while stopped does not press play (which would start a station).
    mpris->Stop();
    mpris->Pause();
    EXPECT_FALSE(a.app->player().Busy());
    EXPECT_EQ(a.app->player().StreamHandle(), 0u);
    a.app->exit();
}

int main(int argc, char** argv) {
    // The session bus is looked up once per process, so the private one is named first.
    test::PrivateBus bus;
    if (!bus.address.isEmpty()) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address.toUtf8());
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
