// The program as a whole, offscreen: windows created in order from config.ini, the player's
// context menu from the window and from the tray, previous/next on the favourites list, the
// volume steps, and what closing writes.

#include "app/application.h"
#include "skin/knob_widget.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using namespace tl;

namespace {

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

// Copies the shipped themes so the configured one is found.
void copyThemes(const QString& to) {
    const QDir from(QStringLiteral(TL_SOURCE_DIR "/assets/Themes"));
    for (const QString& theme : from.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QDir().mkpath(to + QStringLiteral("/Themes/") + theme);
        const QDir src(from.filePath(theme));
        for (const QString& file : src.entryList(QDir::Files)) {
            QFile::copy(src.filePath(file), to + QStringLiteral("/Themes/") + theme + u'/' + file);
        }
    }
}

const QByteArray kStations = R"(<?xml version="1.0" encoding="UTF-8"?>
<stations>
<group Name="First" rolled="0" Color="$FF8000"><station><Name>One</Name><Url>http://127.0.0.1:1/one</Url></station><station><Name>Two</Name><Url>http://127.0.0.1:1/two</Url><Url>http://127.0.0.1:1/second-url</Url></station></group>
<group Name="Second" rolled="0" Color="255"><station><Name>Three</Name><Url>http://127.0.0.1:1/three</Url></station></group>
</stations>
)";

struct App {
    QTemporaryDir dir;
    std::unique_ptr<Application> app;

    explicit App(const QByteArray& config, const QByteArray& stations = kStations) {
        copyThemes(dir.path());
        writeFile(dir.filePath(QStringLiteral("stations.xml")), stations);
        writeFile(dir.filePath(QStringLiteral("config.ini")), config);
        app = std::make_unique<Application>(dir.path() + u'/');
        EXPECT_TRUE(app->start());
    }
    TForm1& player() { return app->playerWindow(); }
    QAction* action(const char* name) {
        return player().PopupMenu1()->findChild<QAction*>(QString::fromLatin1(name));
    }
    QString configText() {
        QFile f(dir.filePath(QStringLiteral("config.ini")));
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }
};

} // namespace

TEST(Application, StartsFromConfigWithTheConfiguredTheme) {
    App a("[General]\nx=120\ny=80\nTheme=Daybreak\nVolume=-3\nontop=2\n[Last]\nInfo=Old info\n");
    EXPECT_EQ(a.player().pos(), QPoint(120, 80));
    EXPECT_FALSE(a.player().compositor().usingBuiltInTheme());
    EXPECT_EQ(a.player().size(), a.player().compositor().size());
    EXPECT_EQ(a.player().knob()->position(), 6) << "a stored -3 starts at 6";
    EXPECT_FALSE(a.player().windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << "2 is not on";
    // The station manager sent the last information text at its creation.
    EXPECT_EQ(a.player().controls().find(u"Label4")->caption, QStringLiteral("Old info"));

    // A theme whose background is missing falls back to the built-in one: never invisible.
    a.player().LoadSkin(a.dir.filePath(QStringLiteral("Themes/Missing/")));
    EXPECT_TRUE(a.player().compositor().usingBuiltInTheme());
    EXPECT_FALSE(a.player().size().isEmpty());
}

TEST(Application, ContextMenuFromWindowAndTray) {
    App a("[General]\nTheme=Nocturne\n");
    a.player().UpdateMenuItems(false);
    for (const char* name : {"Play1", "Stop1", "Previous1", "Next1", "RecordMI"}) {
        EXPECT_FALSE(a.action(name)->isVisible()) << name;
    }
    EXPECT_FALSE(a.action("AddcurrentstationtoFavourites1")->isEnabled());
    EXPECT_FALSE(a.action("Copysonginformation1")->isEnabled());

    a.player().UpdateMenuItems(true);
    EXPECT_TRUE(a.action("Play1")->isVisible());
    EXPECT_TRUE(a.action("Play1")->isEnabled());
    EXPECT_FALSE(a.action("Stop1")->isEnabled());
    // Record stays enabled with nothing playing: its press tells why nothing is recorded.
    EXPECT_TRUE(a.action("RecordMI")->isEnabled());

    // The favourites submenu follows the document, collapsed groups included; a station with
    // two addresses shows the first.
    a.player().ShowPlayerMenu(false, QPoint(0, 0));
    a.player().PopupMenu1()->hide();
    QMenu* favourites = a.player().PopupMenu1()->findChild<QMenu*>(QStringLiteral("Favourites1"));
    ASSERT_NE(favourites, nullptr);
    Q_EMIT favourites->aboutToShow(); // built as it opens
    const QList<QAction*> groups = favourites->actions();
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(groups[0]->text(), QStringLiteral("First"));
    ASSERT_NE(groups[0]->menu(), nullptr);
    Q_EMIT groups[0]->menu()->aboutToShow();
    const QList<QAction*> stations = groups[0]->menu()->actions();
    ASSERT_EQ(stations.size(), 2);
    EXPECT_EQ(stations[1]->text(), QStringLiteral("Two"));
    EXPECT_EQ(stations[1]->toolTip(), QStringLiteral("http://127.0.0.1:1/two"));
}

TEST(Application, NextOnTheFavouritesStopsOnAGroupRow) {
    App a("[General]\nTheme=Nocturne\n");
    a.player().Button2Click(); // the manager shows its favourites
    QApplication::processEvents();
    // Rows: 0 "First", 1 One, 2 Two, 3 "Second", 4 Three. Showing selects row 0 (a group).
    a.player().Label2Click(); // row 1: One plays
    QApplication::processEvents();
    const QString afterOne = a.player().controller().links().selectedStation
                                 ? a.player().controller().links().selectedStation()->Url
                                 : QString();
    EXPECT_EQ(afterOne, QStringLiteral("http://127.0.0.1:1/one"));
    a.player().Label2Click(); // row 2: Two
    a.player().Label2Click(); // row 3: the group "Second": selected, the station stays
    EXPECT_EQ(a.player().controller().links().selectedStation(), std::nullopt);
    a.player().Label2Click(); // row 4: Three
    auto selected = a.player().controller().links().selectedStation();
    ASSERT_TRUE(selected.has_value());
    EXPECT_EQ(selected->Url, QStringLiteral("http://127.0.0.1:1/three"));
    a.player().Label2Click(); // past the end: nothing
    selected = a.player().controller().links().selectedStation();
    ASSERT_TRUE(selected.has_value());
    EXPECT_EQ(selected->Url, QStringLiteral("http://127.0.0.1:1/three"));
}

TEST(Application, AStationFromTheFavouritesMenuTurnsTheManagerToItsFavourites) {
    App a("[General]\nTheme=Nocturne\n");
    // Never shown, the manager is on its (empty) search page: next does nothing there.
    a.player().Label2Click();
    EXPECT_EQ(a.player().controller().links().selectedStation(), std::nullopt);
    QMenu* favourites = a.player().PopupMenu1()->findChild<QMenu*>(QStringLiteral("Favourites1"));
    Q_EMIT favourites->aboutToShow();
    QMenu* second = favourites->actions()[1]->menu();
    Q_EMIT second->aboutToShow();
    second->actions()[0]->trigger(); // "Three"
    QApplication::processEvents();
    // Now previous and next walk the favourites, from no selection.
    a.player().Label2Click(); // row 0, the group "First"
    a.player().Label2Click(); // row 1, One
    const auto selected = a.player().controller().links().selectedStation();
    ASSERT_TRUE(selected.has_value());
    EXPECT_EQ(selected->Url, QStringLiteral("http://127.0.0.1:1/one"));
}

// Resident memory of this process in MB.
double residentMb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096 / (1024 * 1024) : 0;
}

TEST(Application, HundredThousandFavouritesCostTheMenuLittle) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<stations>\n";
    for (int g = 0; g < 10; ++g) {
        xml += "<group Name=\"Group " + QByteArray::number(g) + "\" rolled=\"1\" Color=\"255\">";
        for (int i = 0; i < 10000; ++i) {
            xml += "<station><Name>Station " + QByteArray::number(i) +
                   "</Name><Url>http://127.0.0.1:1/" + QByteArray::number(i) + "</Url></station>";
        }
        xml += "</group>\n";
    }
    xml += "</stations>\n";
    App big("[General]\nTheme=Nocturne\n", xml);
    const double before = residentMb();
    big.player().ShowPlayerMenu(false, QPoint(0, 0));
    QMenu* favourites = big.player().PopupMenu1()->findChild<QMenu*>(QStringLiteral("Favourites1"));
    Q_EMIT favourites->aboutToShow();
    Q_EMIT favourites->actions().first()->menu()->aboutToShow();
    big.player().PopupMenu1()->hide();
    const double grown = residentMb() - before;
    EXPECT_LT(grown, 40.0) << "opening the menu took " << grown << " MB";
    EXPECT_EQ(favourites->actions().size(), 10);
    EXPECT_EQ(favourites->actions().first()->menu()->actions().last()->text(),
              QStringLiteral("More..."));
}

TEST(Application, VolumeStepsMoveKnobAndSliderTogether) {
    App a("[General]\nTheme=Daybreak\nVolume=9\n");
    a.player().VolumeStepUp(); // device volume 90: may rise
    EXPECT_EQ(a.player().knob()->position(), 10);
    EXPECT_EQ(a.player().controls().find(u"TrackBar1")->position, 10);
    a.player().VolumeStepUp(); // device volume 100: stays
    EXPECT_EQ(a.player().knob()->position(), 10);
    a.player().Label9Click(); // mute
    EXPECT_EQ(a.app->player().deviceVolume(), 0);
    a.player().VolumeStepDown(); // device volume 0 (muted): below 10, nothing
    EXPECT_EQ(a.player().knob()->position(), 10);
    a.player().knob()->setPosition(4); // a change ends the mute
    EXPECT_EQ(a.app->player().deviceVolume(), 40);
    EXPECT_EQ(a.player().controls().find(u"TrackBar1")->position, 4);
}

TEST(Application, CloseWritesTheSettings) {
    App a("[General]\nTheme=Nocturne\nPlayOnStart=1\n; keep me\n[Last]\nUrl=\n");
    a.player().move(200, 150);
    a.player().Alwaysontop1Click();
    a.player().knob()->setPosition(3);
    a.app->exit();
    const QString text = a.configText();
    EXPECT_TRUE(text.contains(QStringLiteral("\nx=200\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nontop=1\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nVolume=3\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("; keep me")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nPlayOnStart=1\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("StationsW=")));
    EXPECT_TRUE(text.contains(QStringLiteral("LastStation=0")));
}

// The real program: a SIGTERM while start-up shows a message box (a truncated stations.xml)
// ends it as a close does, writing config.ini; a lock file it cannot use is said on stderr
// and does not stop the start.
TEST(Program, SigtermDuringAStartupMessageBoxEndsAndSaves) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString binary = dir.filePath(QStringLiteral("tunelark"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TL_TUNELARK), binary));
    writeFile(dir.filePath(QStringLiteral("stations.xml")),
              kStations.left(kStations.size() / 2)); // truncated: a parse error box
    writeFile(dir.filePath(QStringLiteral("config.ini")),
              "[General]\nSearchResCount=4\n; keep me\n[Last]\nUrl=http://127.0.0.1:1/x\n");
    QTemporaryDir runtime;
    ASSERT_TRUE(QDir(runtime.path()).mkdir(QStringLiteral("TUNELARK_CHECKEXIST")));

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.start(binary, {});
    ASSERT_TRUE(program.waitForStarted(60000));

    // Wait until the process catches SIGTERM itself (bit 15 of SigCgt), or give up and send
    // it anyway: a program that never handles it fails below.
    auto catchesSigterm = [&] {
        QFile status(QStringLiteral("/proc/%1/status").arg(program.processId()));
        if (!status.open(QIODevice::ReadOnly)) {
            return false;
        }
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("SigCgt:")) {
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ull << 14)) != 0;
            }
        }
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    while (!catchesSigterm() && clock.elapsed() < 60000 && program.state() == QProcess::Running) {
        QThread::msleep(50);
    }
    QThread::msleep(500); // let it reach the box
    ASSERT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    const bool ended = program.waitForFinished(30000);
    if (!ended) {
        program.kill();
        program.waitForFinished(5000);
    }
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    ASSERT_TRUE(ended) << "SIGTERM was not answered";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(errors.contains(QStringLiteral("single-instance"))) << errors.toStdString();

    QFile config(dir.filePath(QStringLiteral("config.ini")));
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(config.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("LastStation=0"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("SearchResCount=4"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("; keep me")));
    EXPECT_TRUE(text.contains(QStringLiteral("Url=http://127.0.0.1:1/x")));
    EXPECT_FALSE(text.contains(QStringLiteral("StationsW="))) << "no station manager yet";
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
