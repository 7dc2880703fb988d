// The recorder against a real Icecast2 server (a 440 Hz sine) with the real lame and oggenc:
// the files are readable, about as long as the recording ran and carry the stream's tone; a
// hostile title gives one file inside the recordings folder and runs nothing.

#include "app/application.h"
#include "recording/recorder.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

using namespace tl;
using namespace std::chrono_literals;

namespace {

const QString kServices = QStringLiteral(TL_SOURCE_DIR "/tests/services/");

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QString run(const QString& program, const QStringList& args, bool* ok = nullptr) {
    QProcess p;
    p.start(program, args);
    const bool done =
        p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok)
        *ok = done;
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

class Icecast : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        port = freePort();
        bool ok = false;
        run("bash", {kServices + "icecast.sh", "start", dir.path(), QString::number(port)}, &ok);
        ASSERT_TRUE(ok) << "icecast.sh start failed";
    }
    void TearDown() override { run("bash", {kServices + "icecast.sh", "stop", dir.path()}); }
    QString url(const char* mount) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(QLatin1String(mount));
    }
    bool setTitle(const char* mount, const QString& title) const {
        bool ok = false;
        run("bash",
            {kServices + "icecast.sh", "title", dir.path(), QString::number(port), mount, title},
            &ok);
        return ok;
    }
    QTemporaryDir dir;
    int port = 0;
};

Icecast* g_icecast = static_cast<Icecast*>(::testing::AddGlobalTestEnvironment(new Icecast));

QString findEncoder(const QString& encoder) {
    if (encoder == u"lame")
        return QStandardPaths::findExecutable("lame");
    if (encoder == u"oggenc2") {
        const QString two = QStandardPaths::findExecutable("oggenc2");
        return two.isEmpty() ? QStandardPaths::findExecutable("oggenc") : two;
    }
    return {};
}

double durationOf(const QString& file) {
    bool ok = false;
    const QString out =
        run("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file},
            &ok);
    return ok ? out.trimmed().toDouble() : -1;
}

// sox's rough frequency of the file's middle, decoded by ffmpeg (sox reads no MP3 here).
double frequencyOf(const QString& file, const QString& scratch) {
    const QString wav = scratch + "/decoded.wav";
    QFile::remove(wav);
    bool ok = false;
    run("ffmpeg", {"-v", "error", "-y", "-i", file, "-ac", "1", wav}, &ok);
    if (!ok)
        return -1;
    const QString stat = run("sox", {wav, "-n", "trim", "0.3", "1", "stat"});
    const QRegularExpression re("Rough\\s+frequency:\\s+(-?\\d+)");
    const auto m = re.match(stat);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

// One stream, one recorder; the engine goes at the end of record(), which lets every encoder
// finish its file.
struct Session {
    QTemporaryDir dir;
    RecorderSettings settings;
    NowPlaying now;
    QStringList notes;

    QString folder() const { return dir.path() + "/Recordings/"; }

    // Records for `seconds` with the given encoder and title; returns the file written.
    QString record(const QString& encoder, const QString& title, std::chrono::milliseconds length) {
        settings.Encoder = encoder;
        now.StreamTitle = title;
        now.Bitrate = "128 kbps";
        audio::Engine engine;
        EXPECT_TRUE(engine.init());
        const audio::StreamHandle stream =
            engine.streamCreateUrl(g_icecast->url("/live.mp3").toStdString(), {});
        EXPECT_NE(stream, 0u);
        if (stream == 0)
            return {};
        engine.play(stream);
        std::this_thread::sleep_for(500ms);

        Recorder::Links l;
        l.streamHandle = [stream] {
            return stream;
        };
        l.startEncoder = [&engine](audio::StreamHandle s, const std::vector<std::string>& argv) {
            return engine.encodeStart(s, argv);
        };
        l.encoderActive = [&engine](audio::EncoderHandle e) {
            return engine.encodeIsActive(e);
        };
        l.stopEncoder = [&engine](audio::EncoderHandle e) {
            engine.encodeStop(e);
        };
        l.findEncoder = findEncoder;
        l.notify = [this](const QString& t) {
            notes << t;
        };
        Recorder rec(settings, now, dir.path() + "/", AutoRecordList(), std::move(l));
        rec.RecLabelClick();
        EXPECT_TRUE(rec.IsRecording()) << notes.join("; ").toStdString();
        std::this_thread::sleep_for(length);
        const QString file = rec.currentFile();
        rec.RecLabelClick();
        EXPECT_FALSE(rec.IsRecording());
        engine.streamFree(stream);
        return file; // ~Engine waits for the encoders to finish their files
    }
};

TEST(RecorderIntegration, LameAndOggencWriteTheStreamsTone) {
    for (const char* encoder : {"lame", "oggenc2"}) {
        SCOPED_TRACE(encoder);
        Session s;
        const QString file = s.record(encoder, "Test Artist - Sine", 3000ms);
        ASSERT_FALSE(file.isEmpty());
        EXPECT_TRUE(file.startsWith(s.folder()));
        EXPECT_TRUE(file.endsWith(QString(encoder) == "lame" ? " - Test Artist - Sine.mp3"
                                                             : " - Test Artist - Sine.ogg"))
            << file.toStdString();
        EXPECT_TRUE(QFileInfo(file).isFile());
        const double seconds = durationOf(file);
        EXPECT_GT(seconds, 1.5) << file.toStdString();
        EXPECT_LT(seconds, 9.0) << file.toStdString();
        const double hz = frequencyOf(file, s.dir.path());
        EXPECT_NEAR(hz, 440, 40) << file.toStdString();
        EXPECT_TRUE(s.notes.isEmpty()) << s.notes.join("; ").toStdString();
    }
}

TEST(RecorderIntegration, HostileTitleIsOneFileInsideTheFolderAndRunsNothing) {
    Session s;
    const QString marker = s.dir.path() + "/ran";
    const QString title = QString("\"q\" 'x' $(touch %1) `touch %1` ; touch %1 | cat ../../ a/b "
                                  "%INFO% 100% \\n")
                              .arg(marker) +
                          QString::fromUtf8("é").repeated(150); // 300 bytes of UTF-8
    const QString file = s.record("lame", title, 1500ms);
    ASSERT_FALSE(file.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(marker));
    EXPECT_FALSE(QFileInfo::exists("ran"));
    // The temporary folder holds the recordings folder and nothing else; that holds one file.
    EXPECT_EQ(QDir(s.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Recordings"});
    const QStringList entries =
        QDir(s.folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(s.folder() + entries[0], file);
    EXPECT_LE(entries[0].toUtf8().size(), 255);
    EXPECT_TRUE(entries[0].endsWith(".mp3"));
    EXPECT_TRUE(entries[0].contains("$(touch _tmp_")) << entries[0].toStdString();
    EXPECT_GT(durationOf(file), 0.5);
}

// Waits with the event loop running until done() holds or the time is up.
bool waitFor(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

// The whole program, offscreen: "Record" in the player's menu while a station plays, a new
// title splits the recording, the play/stop command ends it, and the recordings tab lists both.
TEST(RecorderIntegration, ProgramRecordsSplitsAndStops) {
    static int argc = 1;
    static char name[] = "test_recorder_integration";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
    QTemporaryDir dir;
    {
        QFile config(dir.filePath("config.ini"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[General]\nShowNotifier=0\nLog=0\n[Recording]\nEncoder=lame\nBitrate=64\n");
    }
    QStringList files;
    {
        Application app(dir.path() + "/");
        ASSERT_TRUE(app.start());
        TForm1& player = app.playerWindow();
        QAction* recordItem = player.PopupMenu1()->findChild<QAction*>("RecordMI");
        ASSERT_TRUE(recordItem);
        const QImage idleIcon = recordItem->icon().pixmap(16, 16).toImage();

        recordItem->trigger(); // no stream: nothing happens
        EXPECT_FALSE(app.recorder().IsRecording());

        ASSERT_TRUE(g_icecast->setTitle("/live.mp3", "First Artist - First Song"));
        app.player().PlayStationRecord("Test", g_icecast->url("/live.mp3"));
        ASSERT_TRUE(waitFor([&] {
            return app.player().StreamHandle() != 0 && !app.player().Busy() &&
                   player.controls().find(u"RecLabel")->enabled;
        }));
        ASSERT_TRUE(waitFor([&] {
            return player.controls().find(u"Label3")->caption == "First Artist - First Song";
        }));
        recordItem->trigger();
        ASSERT_TRUE(app.recorder().IsRecording());
        EXPECT_FALSE(app.recorder().AutoStarted());
        EXPECT_EQ(app.player().stateImages().record, "71.png");
        EXPECT_NE(recordItem->icon().pixmap(16, 16).toImage(), idleIcon);
        files << app.recorder().currentFile();
        EXPECT_TRUE(files[0].endsWith(" - First Artist - First Song.mp3"))
            << files[0].toStdString();

        QApplication::processEvents();
        std::this_thread::sleep_for(1500ms);
        ASSERT_TRUE(g_icecast->setTitle("/live.mp3", "Second Artist - Second Song"));
        ASSERT_TRUE(waitFor([&] { return app.recorder().currentFile() != files[0]; }));
        files << app.recorder().currentFile();
        EXPECT_TRUE(files[1].endsWith(" - Second Artist - Second Song.mp3"))
            << files[1].toStdString();
        EXPECT_TRUE(app.recorder().IsRecording());
        waitFor([] { return false; }, 1500);

        player.Button1Click(); // stops playback and the recording
        EXPECT_FALSE(app.recorder().IsRecording());
        EXPECT_EQ(app.player().stateImages().record, "7.png");
        EXPECT_EQ(recordItem->icon().pixmap(16, 16).toImage(), idleIcon);

        app.stationManager().PageControl1Change(TForm2::kRecordingsPage);
        QStringList listed = app.recordingsTab().rows();
        listed.sort();
        QStringList expected = files;
        expected.sort();
        EXPECT_EQ(listed, expected);
    } // the engine goes with the program and lets the encoders finish
    for (const QString& f : files) {
        EXPECT_GT(durationOf(f), 0.5) << f.toStdString();
    }
}

} // namespace
