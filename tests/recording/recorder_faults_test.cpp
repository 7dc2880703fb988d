// The recorder's failures against real lame and oggenc: an encoder that dies (killed, an
// error exit, a full disk) is reported and the next song still gets its file; an automatic
// recording holds its song and nothing else; every offered bitrate gives a tagged file of the
// stream's tone with each encoder.

#include "../qt_app.h"
#include "recording_fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <mutex>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

using namespace tl;
using namespace tl::test;
using namespace std::chrono_literals;

namespace {

Icecast* g_icecast = static_cast<Icecast*>(::testing::AddGlobalTestEnvironment(new Icecast));

const QStringList kOfferedBitrates = {"32",  "40",  "48",  "56",  "64",  "80",  "96",
                                      "112", "128", "160", "192", "224", "256", "320"};

// The process id of our child running `name`, -1 when none.
pid_t childNamed(const QString& name) {
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (!number)
            continue;
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromLatin1(stat.readAll());
        const qsizetype close = text.lastIndexOf(')');
        const QString comm = text.mid(text.indexOf('(') + 1, close - text.indexOf('(') - 1);
        const QStringList rest = text.mid(close + 2).split(' ');
        if (comm == name && rest.size() > 1 && rest[1].toInt() == getpid())
            return pid;
    }
    return -1;
}

// The title of a metadata text, empty when it holds none.
QString titleOf(const std::string& meta) {
    const QString m = QString::fromStdString(meta);
    const qsizetype from = m.indexOf("StreamTitle='");
    if (from < 0)
        return {};
    const qsizetype to = m.indexOf("';", from + 13);
    return m.mid(from + 13, to - from - 13);
}

// A stream played through a real engine and one recorder wired to it as the player wires it:
// title messages (with the split for a new title) and the encoder watch are run by pump().
struct Player {
    explicit Player(const QString& url, const QString& folder, AutoRecordList list = {})
        : engine(std::make_unique<audio::Engine>()) {
        EXPECT_TRUE(engine->init());
        stream = engine->streamCreateUrl(url.toStdString(), {});
        EXPECT_NE(stream, 0u);
        engine->setMetaCallback(stream, [this](const std::string& text) {
            std::lock_guard lock(m);
            meta = text;
        });
        engine->play(stream);
        settings.Folder = folder;
        Recorder::Links l = engineLinks(*engine, stream);
        l.handOver = [this](audio::EncoderHandle from, audio::EncoderHandle to) {
            return engine->encodeHandOver(from, to);
        };
        l.notify = [this](const QString& t) {
            notes << t;
        };
        l.findEncoder = [this](const QString& e) {
            return encoderProgram.isEmpty() ? findEncoder(e) : encoderProgram;
        };
        rec = std::make_unique<Recorder>(settings, now, folder, std::move(list), std::move(l));
    }
    // One turn of the player's loop: a new metadata text is a title message.
    void pump() {
        std::string text;
        {
            std::lock_guard lock(m);
            text = meta;
        }
        if (text != seen) {
            seen = text;
            now.StreamTitle = titleOf(text);
            rec->TitleMessage(now.StreamTitle);
            if (now.StreamTitle != now.LastTitle) {
                now.LastTitle = now.StreamTitle;
                rec->SplitRecording();
            }
        }
        rec->checkEncoder();
        if (rec->IsRecording() && !files.contains(rec->currentFile()))
            files << rec->currentFile();
    }
    bool pumpUntil(const std::function<bool()>& done, int ms = 30000) {
        return waitFor(
            [&] {
                pump();
                return done();
            },
            ms);
    }
    bool ended() const { return engine->hasEnded(stream) && !engine->isPlaying(stream); }
    // Ends the stream; the engine waits for the encoders to finish their files.
    void finish() {
        rec->StopRecording();
        rec.reset();
        engine.reset();
    }

    std::unique_ptr<audio::Engine> engine;
    audio::StreamHandle stream = 0;
    std::mutex m;
    std::string meta; // guarded by m
    std::string seen;
    RecorderSettings settings;
    NowPlaying now;
    QString encoderProgram; // instead of the encoder on PATH
    std::unique_ptr<Recorder> rec;
    QStringList notes, files;
};

// lame is killed while it records the first song; the split to the second song (which finds
// the old encoder gone) still starts the new encoder where the title stands.
TEST(RecorderFaults, ADeadEncoderDoesNotTakeTheNextSongWithIt) {
    tl::test::ensureApp<QCoreApplication>("test_recorder_faults");
    QTemporaryDir dir;
    const ToneFile tones = makeToneFile(dir.path(), {{6, 440}, {3, 880}});
    ToneServer server(dir.path(), tones, {"Tone B"});
    Player p(server.url, dir.path() + "/rec/");
    p.settings.Encoder = "lame";
    p.now.StreamTitle = "Tone A";
    p.rec->TitleMessage("Tone A");
    p.rec->RecLabelClick();
    ASSERT_TRUE(p.rec->IsRecording());
    const audio::EncoderHandle first = p.rec->EncoderHandle();
    p.files << p.rec->currentFile();
    waitFor([] { return false; }, 1000);
    const pid_t lame = childNamed("lame");
    ASSERT_GT(lame, 0);
    kill(lame, SIGKILL);
    // The title comes before the watch notices the death, as when both fall together.
    ASSERT_TRUE(waitFor([&] { return p.engine->encodeExit(first).has_value(); }, 10000));
    ASSERT_TRUE(waitFor(
        [&] {
            std::lock_guard lock(p.m);
            return p.meta.find("Tone B") != std::string::npos;
        },
        20000));
    p.now.StreamTitle = p.now.LastTitle = "Tone B";
    p.rec->SplitRecording();
    {
        std::lock_guard lock(p.m);
        p.seen = p.meta; // this title has been handled
    }
    ASSERT_TRUE(p.rec->IsRecording());
    p.files << p.rec->currentFile();
    ASSERT_EQ(p.notes.size(), 1);
    EXPECT_TRUE(p.notes[0].endsWith("Tone A is incomplete: lame was killed by signal 9"))
        << p.notes[0].toStdString();
    ASSERT_TRUE(p.pumpUntil([&] { return p.ended(); }));
    EXPECT_TRUE(p.rec->IsRecording()) << p.notes.join("; ").toStdString();
    p.finish();

    ASSERT_EQ(p.files.size(), 2);
    const std::vector<int> second = toneWindows(p.files[1]);
    EXPECT_GT(std::count(second.begin(), second.end(), -1), 250) << "the second song's audio";
    EXPECT_LE(wrongAtStart(second, -1), 5) << "x10 ms before the second song";
}

// 440 Hz, then "Tone B" (matched by autorec) at 880 Hz, then "Tone C" back at 440 Hz: the
// automatic file holds 880 Hz only, bounded by the two titles' samples within 50 ms.
TEST(RecorderFaults, AnAutoRecordedSongIsTheWholeSongAndNothingElse) {
    tl::test::ensureApp<QCoreApplication>("test_recorder_faults");
    for (const char* encoder : {"lame", "oggenc2"}) {
        SCOPED_TRACE(encoder);
        QTemporaryDir dir;
        const ToneFile tones = makeToneFile(dir.path(), {{4, 440}, {4, 880}, {3, 440}});
        ToneServer server(dir.path(), tones, {"Tone B", "Tone C"});
        Player p(server.url, dir.path() + "/rec/", AutoRecordList({"Tone B"}));
        p.settings.Encoder = encoder;
        p.now.StreamTitle = "Tone A";
        ASSERT_TRUE(p.pumpUntil([&] { return p.ended(); }));
        EXPECT_FALSE(p.rec->IsRecording());
        EXPECT_TRUE(p.notes.isEmpty()) << p.notes.join("; ").toStdString();
        p.finish();

        ASSERT_EQ(p.files.size(), 1);
        EXPECT_TRUE(p.files[0].contains(" - Tone B.")) << p.files[0].toStdString();
        const std::vector<int> w = toneWindows(p.files[0]);
        const int head = wrongAtStart(w, -1), tail = wrongAtEnd(w, -1);
        EXPECT_LE(head, 5) << "x10 ms of the song before";
        EXPECT_LE(tail, 5) << "x10 ms of the song after";
        EXPECT_EQ(std::count(w.begin(), w.end(), 1), std::count(w.begin(), w.begin() + head, 1) +
                                                         std::count(w.end() - tail, w.end(), 1))
            << "440 Hz inside the song";
        EXPECT_GE(std::count(w.begin(), w.end(), -1), 390) << "of 400 windows of the song";
    }
}

// An encoder that exits while recording (killed, an error exit, a full disk) is reported in
// one line, the controls go idle, and the partial file stays only when it holds audio. After
// the disk has room again, recording works.
TEST(RecorderFaults, AnEncoderThatExitsIsReportedAndTheRecorderRecovers) {
    tl::test::ensureApp<QCoreApplication>("test_recorder_faults");
    struct Row {
        const char* what;
        const char* note;
        bool kept;
    } rows[] = {
        {"killed", "Recording stopped: lame was killed by signal 9", true},
        {"exit 1", "Recording stopped: lame exited with status 1: Error writing the output", false},
        {"disk full", "Recording stopped: the disk is full", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        QTemporaryDir dir;
        QString folder = dir.path() + "/rec/";
        QDir().mkpath(folder);
        const bool diskFull = QString(r.what) == "disk full";
        struct Unmount {
            QString path;
            ~Unmount() {
                if (!path.isEmpty())
                    umount2(path.toLocal8Bit().constData(), MNT_DETACH);
            }
        } unmount; // after the player (and its encoders) have gone
        if (diskFull) {
            // A small tmpfs nearly filled: lame at 320 kbit/s runs out within seconds.
            if (geteuid() != 0 ||
                mount("tmpfs", folder.toLocal8Bit().constData(), "tmpfs", 0, "size=1m") != 0) {
                std::cerr << "skipped: a tmpfs cannot be mounted here\n";
                continue;
            }
            unmount.path = folder;
            QFile filler(folder + "filler");
            ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
            filler.write(QByteArray(1024 * 1024 - 160 * 1024, '\0'));
        }
        {
            Player p(g_icecast->url("/live.mp3"), folder);
            p.settings.Encoder = "lame";
            p.settings.Bitrate = "320";
            if (QString(r.what) == "exit 1") {
                // An encoder that reads a little, leaves a stub file and fails with a message.
                p.encoderProgram = dir.path() + "/lame";
                QFile script(p.encoderProgram);
                ASSERT_TRUE(script.open(QIODevice::WriteOnly));
                script.write("#!/bin/sh\nfor a; do out=$a; done\nprintf ID3 > \"$out\"\n"
                             "head -c 200000 > /dev/null\nprintf 'progress 1\\r' >&2\n"
                             "echo 'Error writing the output' >&2\nexit 1\n");
                script.setPermissions(script.permissions() | QFile::ExeOwner);
            }
            waitFor([] { return false; }, 500);
            p.pump();
            p.rec->RecLabelClick();
            ASSERT_TRUE(p.rec->IsRecording()) << p.notes.join("; ").toStdString();
            const QString file = p.rec->currentFile();
            if (QString(r.what) == "killed") {
                waitFor([] { return false; }, 1500);
                const pid_t lame = childNamed("lame");
                ASSERT_GT(lame, 0);
                kill(lame, SIGKILL);
            }
            ASSERT_TRUE(p.pumpUntil([&] { return !p.rec->IsRecording(); }, 30000));
            p.pump();
            EXPECT_EQ(p.notes, QStringList{r.note});
            EXPECT_EQ(QFileInfo::exists(file), r.kept);
            if (r.kept) {
                EXPECT_GT(durationOf(file), 0.5);
            }
            if (diskFull) {
                // Room again: the next recording runs and is not reported.
                QFile::remove(folder + "filler");
                p.notes.clear();
                p.rec->RecLabelClick();
                ASSERT_TRUE(p.rec->IsRecording());
                const QString next = p.rec->currentFile();
                p.pumpUntil([] { return false; }, 2000);
                EXPECT_TRUE(p.rec->IsRecording());
                EXPECT_TRUE(p.notes.isEmpty()) << p.notes.join("; ").toStdString();
                p.finish();
                EXPECT_GT(durationOf(next), 1.0);
            }
        }
    }
}

// Every bitrate the settings offer, with each encoder, on one stream at once: each file
// decodes, holds the 440 Hz tone and carries the tags of a hostile title as plain text.
TEST(RecorderFaults, EveryOfferedBitrateWithEachEncoderGivesATaggedFileOfTheTone) {
    QTemporaryDir dir;
    const QString marker = dir.path() + "/ran";
    const QString title = QString("Art \"q\" $(touch %1) - Ti 'x' `touch %1`; | cat").arg(marker);
    const RecordingTags tags = TagsFor(title, "Station \"S\"", QDate(2026, 4, 5));
    for (const char* encoder : {"lame", "oggenc2"}) {
        SCOPED_TRACE(encoder);
        QStringList files;
        {
            audio::Engine engine;
            ASSERT_TRUE(engine.init());
            const audio::StreamHandle stream =
                engine.streamCreateUrl(g_icecast->url("/live.mp3").toStdString(), {});
            ASSERT_NE(stream, 0u);
            engine.play(stream);
            std::this_thread::sleep_for(500ms);
            for (const QString& b : kOfferedBitrates) {
                const QString file = dir.path() + "/" + b + RecordingExtension(encoder);
                const auto argv = EncoderArguments(encoder, findEncoder(encoder), b, file, tags);
                EXPECT_NE(engine.encodeStart(stream, argv), 0u) << b.toStdString();
                files << file;
            }
            std::this_thread::sleep_for(2500ms);
            engine.streamFree(stream);
        } // the engine waits for the encoders to finish their files
        for (const QString& file : files) {
            SCOPED_TRACE(file.toStdString());
            EXPECT_GT(durationOf(file), 1.0);
            EXPECT_NEAR(frequencyOf(file, dir.path()), 440, 40);
            QStringList found;
            for (const QString& line :
                 run("ffprobe", {"-v", "error", "-show_entries", "format_tags:stream_tags", "-of",
                                 "default=nw=1", file})
                     .split('\n')) {
                const qsizetype eq = line.indexOf('=');
                const QString key = line.left(eq).toLower();
                if (key == "tag:title" || key == "tag:artist" || key == "tag:album" ||
                    key == "tag:date")
                    found << key.mid(4) + "=" + line.mid(eq + 1);
            }
            found.sort();
            EXPECT_EQ(found, (QStringList{"album=Station \"S\"", "artist=" + tags.artist,
                                          QString("date=") +
                                              (QString(encoder) == "lame" ? "2026" : "2026-04-05"),
                                          "title=" + tags.title}));
        }
    }
    EXPECT_FALSE(QFileInfo::exists(marker));
}

} // namespace
