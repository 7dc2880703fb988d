// The recorder against a real Icecast2 server (a 440 Hz sine) with the real lame and oggenc:
// the files are readable, about as long as the recording ran and carry the stream's tone; a
// hostile title gives one file inside the recordings folder and runs nothing.

#include "../qt_app.h"
#include "app/application.h"
#include "recording/recorder.h"
#include "recording_fixtures.h"

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

#include <cmath>
#include <iostream>
#include <mutex>
#include <thread>

using namespace tl;
using namespace std::chrono_literals;

namespace {

using namespace tl::test;

Icecast* g_icecast = static_cast<Icecast*>(::testing::AddGlobalTestEnvironment(new Icecast));

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

        Recorder::Links l = engineLinks(engine, stream);
        l.findEncoder = findEncoder;
        l.notify = [this](const QString& t) {
            notes << t;
        };
        Recorder rec(settings, now, dir.path() + "/", AutoRecordList(), std::move(l));
        rec.TitleMessage(title); // the player passes on every title message
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

// The whole program, offscreen: "Record" in the player's menu while a station plays, a new
// title splits the recording, the play/stop command ends it, and the recordings tab lists both.
TEST(RecorderIntegration, ProgramRecordsSplitsAndStops) {
    tl::test::ensureApp<QApplication>("test_recorder_integration");
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

        recordItem->trigger(); // no stream: the notifier says so, nothing records
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
        // The second file begins where the new title stood in the stream, which is heard
        // only after the buffered audio before it.
        waitFor([] { return false; }, 4000);

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

// A test server sends 440 Hz, then a metadata block with a new title exactly where the audio
// turns to 880 Hz. The split made on that title puts every 440 Hz sample in the first file and
// starts the second with 880 Hz, although the title arrives long before that audio is heard.
TEST(RecorderIntegration, EachFileStartsWithItsOwnSong) {
    QTemporaryDir dir;
    const ToneFile tones = makeToneFile(dir.path(), {{6, 440}, {3, 880}});
    ASSERT_EQ(tones.starts.size(), 1u);
    ToneServer server(dir.path(), tones, {"Tone B"});
    const QString url = server.url;

    RecorderSettings settings;
    settings.Encoder = "oggenc2";
    NowPlaying now;
    now.StreamTitle = "Tone A";
    QStringList files;
    {
        audio::Engine engine;
        ASSERT_TRUE(engine.init());
        const audio::StreamHandle stream = engine.streamCreateUrl(url.toStdString(), {});
        ASSERT_NE(stream, 0u);
        std::mutex m;
        std::string meta;
        engine.setMetaCallback(stream, [&](const std::string& text) {
            std::lock_guard lock(m);
            meta = text;
        });
        engine.play(stream);

        Recorder::Links l = engineLinks(engine, stream);
        l.handOver = [&engine](audio::EncoderHandle from, audio::EncoderHandle to) {
            const audio::HandOver r = engine.encodeHandOver(from, to);
            EXPECT_EQ(r, audio::HandOver::Exact) << "the title came before its audio";
            return r;
        };
        Recorder rec(settings, now, dir.path() + "/", AutoRecordList(), std::move(l));
        rec.RecLabelClick();
        ASSERT_TRUE(rec.IsRecording());
        files << rec.currentFile();
        ASSERT_TRUE(waitFor(
            [&] {
                std::lock_guard lock(m);
                return meta.find("Tone B") != std::string::npos;
            },
            20000));
        now.StreamTitle = "Tone B";
        rec.SplitRecording();
        files << rec.currentFile();
        ASSERT_NE(files[0], files[1]);
        ASSERT_TRUE(
            waitFor([&] { return engine.hasEnded(stream) && !engine.isPlaying(stream); }, 30000));
        rec.StopRecording();
        engine.streamFree(stream);
    }

    const std::vector<int> first = toneWindows(files[0]);
    const std::vector<int> second = toneWindows(files[1]);
    ASSERT_GT(first.size(), 100u);
    ASSERT_GT(second.size(), 100u);
    auto leading = [](auto begin, auto end, int tone) {
        return static_cast<int>(std::find_if(begin, end, [tone](int w) { return w != tone; }) -
                                begin);
    };
    // At most 50 ms of the other tone at the cut; right after that, the file's own tone.
    const int wrongTail = leading(first.rbegin(), first.rend(), -1);
    const int wrongHead = leading(second.begin(), second.end(), 1);
    EXPECT_LE(wrongTail, 5) << "880 Hz at the end of the first file, x10 ms";
    EXPECT_LE(wrongHead, 5) << "440 Hz at the start of the second file, x10 ms";
    EXPECT_EQ(std::count(first.begin(), first.end(), -1), wrongTail) << "880 Hz in the first file";
    EXPECT_EQ(std::count(second.begin(), second.end(), 1), wrongHead)
        << "440 Hz in the second file";
    EXPECT_GT(std::count(first.end() - 10, first.end(), 1), 3);
    EXPECT_GT(std::count(second.begin(), second.begin() + 10, -1), 3);
    std::cerr << "cut: " << wrongTail * 10 << " ms of 880 Hz before, " << wrongHead * 10
              << " ms of 440 Hz after\n";
}

} // namespace
