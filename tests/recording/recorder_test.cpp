// The recorder's logic: bitrate, file names, encoder arguments, the auto-record list and the
// recording states, with a fake engine and a fixed clock.

#include "recording/recorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>

using namespace tl;

namespace {

TEST(RecorderNames, LimitBitrate) {
    struct Row {
        const char* setting;
        bool limit;
        const char* stream;
        const char* expected;
    } rows[] = {
        {"128", true, "64 kbps", "64"},    {"128", true, "192 kbps", "128"},
        {"128", false, "64 kbps", "128"},  {"128", true, "128 kbps", "128"},
        {"128", true, "", "128"},         // no bitrate header
        {"128", true, "1.5 Mbps", "128"}, // a video bitrate is not kbit/s
        {"128", true, "abc", "128"},       {"128", true, "0 kbps", "128"},
        {"320", true, " 96 kbps ", "96"},  {"abc", false, "64 kbps", "128"},
        {"abc", true, "64 kbps", "64"},    {"-5", false, "", "128"},
        {"99999999999", false, "", "128"}, {"64", true, "128", "64"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(LimitBitrate(r.setting, r.limit, r.stream), QString::fromLatin1(r.expected))
            << r.setting << " " << r.limit << " '" << r.stream << "'";
}

TEST(RecorderNames, NamePartIsOneSafeEntry) {
    struct Row {
        QString title, info, expected;
    } rows[] = {
        {"AC/DC - Thunder", "", "AC_DC - Thunder"},
        {"../../etc/passwd", "", "_.._etc_passwd"},
        {"...hidden", "", "hidden"},
        {" . .x", "", "x"},
        {"", "", "No Title"},
        {"///", "", "___"},
        {"a\tb\nc", "", "a_b_c"},
        {QString("nul") + QChar(0) + "x", "", "nul_x"},
        {QString::fromUtf8("zero\u200bwidth\u202eRTL"), "", "zero_width_RTL"},
        {"\"q\" $(rm -rf ~) `id` | 100% ;", "", "\"q\" $(rm -rf ~) `id` | 100% ;"},
        {"Now %INFO% live", "Radio X", "Now Radio X live"},
        {"%TITLE%", "i", "%TITLE%"}, // the title is inserted once, never expanded again
        {"%INFO%", "a/b", "a_b"},
        {QString::fromUtf8("Sigur Rós – Hoppípolla 🎵"), "",
         QString::fromUtf8("Sigur Rós – Hoppípolla 🎵")},
    };
    for (const Row& r : rows)
        EXPECT_EQ(SafeNamePart(ExpandNameTemplate(r.title, r.info)), r.expected)
            << r.title.toStdString();

    EXPECT_EQ(RecordingTimePrefix(QDateTime(QDate(2026, 4, 5), QTime(14, 3, 22))),
              "05.04 - 14_03_22 - ");
    EXPECT_EQ(RecordingTimePrefix(QDateTime(QDate(2026, 12, 31), QTime(0, 0, 0))),
              "31.12 - 00_00_00 - ");
}

TEST(RecorderNames, FilePathFitsAndNeverCollides) {
    const QString folder = "/rec/";
    auto none = [](const QString&) {
        return false;
    };
    EXPECT_EQ(RecordingFilePath(folder, "a", ".mp3", none), "/rec/a.mp3");
    // Taken names get " (2)", " (3)" before the extension.
    QStringList taken = {"/rec/a.mp3", "/rec/a (2).mp3"};
    EXPECT_EQ(
        RecordingFilePath(folder, "a", ".mp3", [&](const QString& p) { return taken.contains(p); }),
        "/rec/a (3).mp3");
    EXPECT_FALSE(RecordingFilePath(folder, "a", ".mp3", [](const QString&) { return true; }));
    EXPECT_FALSE(RecordingFilePath("/rec", "a", ".mp3", none)); // folder without its "/"
    EXPECT_FALSE(RecordingFilePath(folder, ".x", ".mp3", none));

    // 255 bytes of UTF-8 at most, cut between code points, also with the suffix.
    for (const QString& unit :
         {QString("a"), QString::fromUtf8("é"), QString::fromUtf8("€"), QString::fromUtf8("🎵")}) {
        const QString stem = unit.repeated(300);
        for (int n : {1, 2, 10}) {
            QStringList used;
            QString path;
            for (int i = 0; i < n; ++i) {
                path = *RecordingFilePath(folder, stem, ".ogg",
                                          [&](const QString& p) { return used.contains(p); });
                used << path;
            }
            const QString name = path.mid(folder.size());
            EXPECT_LE(name.toUtf8().size(), 255) << unit.toStdString() << n;
            EXPECT_GT(name.toUtf8().size(), 250) << unit.toStdString() << n;
            EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name); // no broken character
            EXPECT_TRUE(name.endsWith(n == 1 ? QString(".ogg") : QString(" (%1).ogg").arg(n)));
        }
    }
    EXPECT_EQ(CutToUtf8Bytes(QString::fromUtf8("a🎵"), 4), "a");
    EXPECT_EQ(CutToUtf8Bytes(QString::fromUtf8("a🎵"), 5), QString::fromUtf8("a🎵"));
    EXPECT_EQ(CutToUtf8Bytes("abc", 0), "");
}

TEST(RecorderNames, EncoderArguments) {
    using V = std::vector<std::string>;
    EXPECT_EQ(EncoderArguments("lame", "/usr/bin/lame", "64", "/r/a b.mp3"),
              (V{"/usr/bin/lame", "-b", "64", "-", "/r/a b.mp3"}));
    EXPECT_EQ(EncoderArguments("oggenc2", "/usr/bin/oggenc", "128", "/r/$(x).ogg"),
              (V{"/usr/bin/oggenc", "-b", "128", "-o", "/r/$(x).ogg", "-"}));
    EXPECT_TRUE(EncoderArguments("Lame", "lame", "128", "/r/a.mp3").empty());
    EXPECT_TRUE(EncoderArguments("", "lame", "128", "/r/a.mp3").empty());
    EXPECT_EQ(RecordingExtension("lame"), ".mp3");
    EXPECT_EQ(RecordingExtension("oggenc2"), ".ogg");
    EXPECT_EQ(RecordingExtension("oggenc"), "");
}

TEST(RecorderNames, AutoRecordList) {
    struct Row {
        QStringList lines;
        const char* title;
        bool expected;
    } rows[] = {
        {{"Song"}, "Artist - SONG one", true}, // ASCII letters ignore case
        {{"Song"}, "Artist - Track", false},
        {{""}, "anything at all", true}, // an empty line matches every title
        {{" live"}, "Artist live", true},
        {{" live"}, "Artistlive", false}, // the blank is part of the pattern
        {{"Ärger"}, "ärger", false},      // other letters only in the same case
        {{"Ärger"}, "Mit Ärger", true},
        {{"a*c"}, "xxabbbcxx", true},
        {{"b?d"}, "abcde", true},
        {{"[abc"}, "[abc", false}, // invalid mask: matches nothing, no error
        {{"[abc", "Hit"}, "A Hit", true},
        {{"[0-9][0-9]"}, "Top 40", true},
        {{"[!a-z]x"}, "ax", false},
        {{}, "x", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(AutoRecordList(r.lines).IsAutoRecordTitle(r.title), r.expected)
            << r.lines.join("|").toStdString() << " / " << r.title;
    EXPECT_FALSE(AutoRecordList().exists());
    EXPECT_FALSE(AutoRecordList::load("/nonexistent/autorec.txt").exists());

    QTemporaryDir dir;
    QFile f(dir.filePath("autorec.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Beatles\r\nQueen\rABBA\n");
    f.close();
    const AutoRecordList list = AutoRecordList::load(f.fileName());
    EXPECT_TRUE(list.exists());
    EXPECT_TRUE(list.IsAutoRecordTitle("queen - x"));
    EXPECT_TRUE(list.IsAutoRecordTitle("abba - y"));
    EXPECT_FALSE(list.IsAutoRecordTitle("Other")); // no empty line from the final line end
}

// ---- states --------------------------------------------------------------------------------

struct Fake {
    QTemporaryDir dir;
    RecorderSettings settings;
    NowPlaying now;
    audio::StreamHandle stream = 7;
    bool startFails = false;
    bool found = true;
    std::vector<std::vector<std::string>> starts;
    std::vector<audio::EncoderHandle> stops;
    std::set<audio::EncoderHandle> active;
    QStringList notes;
    std::vector<bool> shown;
    int listed = 0;
    // With `exact`, the hand-over link is there and answers `handOverResult`.
    bool exact = false;
    audio::HandOver handOverResult = audio::HandOver::Exact;
    std::vector<std::pair<audio::EncoderHandle, audio::EncoderHandle>> handOvers;
    std::map<audio::EncoderHandle, audio::EncoderExit> exits;
    qint64 freeBytes = qint64(1) << 34;
    QDateTime clock{QDate(2026, 4, 5), QTime(14, 3, 22)};
    std::unique_ptr<Recorder> rec;

    explicit Fake(std::optional<QStringList> list = std::nullopt, bool handOver = false)
        : exact(handOver) {
        settings.Encoder = "lame";
        Recorder::Links l;
        l.streamHandle = [this] {
            return stream;
        };
        l.startEncoder = [this](audio::StreamHandle s, const std::vector<std::string>& argv,
                                bool paused) {
            EXPECT_TRUE(exact || !paused); // without a hand-over a new encoder runs at once
            EXPECT_EQ(s, stream);
            if (startFails)
                return audio::EncoderHandle(0);
            starts.push_back(argv);
            const auto h = static_cast<audio::EncoderHandle>(starts.size());
            active.insert(h);
            return h;
        };
        l.encoderActive = [this](audio::EncoderHandle h) {
            return active.count(h) > 0;
        };
        l.stopEncoder = [this](audio::EncoderHandle h) {
            stops.push_back(h);
            active.erase(h);
        };
        l.findEncoder = [this](const QString& e) {
            return found ? "/bin/" + e : QString();
        };
        if (exact)
            l.handOver = [this](audio::EncoderHandle from, audio::EncoderHandle to) {
                handOvers.emplace_back(from, to);
                if (handOverResult == audio::HandOver::AtOnce)
                    active.erase(from); // ended at once
                return handOverResult;
            };
        l.encoderExit = [this](audio::EncoderHandle h) -> std::optional<audio::EncoderExit> {
            auto it = exits.find(h);
            return it == exits.end() ? std::nullopt : std::optional(it->second);
        };
        l.freeSpace = [this](const QString&) {
            return freeBytes;
        };
        l.now = [this] {
            return clock;
        };
        l.notify = [this](const QString& t) {
            notes << t;
        };
        l.showRecording = [this](bool r) {
            shown.push_back(r);
        };
        l.listRecordings = [this] {
            ++listed;
        };
        rec = std::make_unique<Recorder>(settings, now, dir.path() + "/",
                                         list ? AutoRecordList(*list) : AutoRecordList(),
                                         std::move(l));
    }
    // The title change of the player: every message, then the split for a new title.
    void title(const QString& t) {
        now.StreamTitle = t;
        rec->TitleMessage(t);
        if (t != now.LastTitle) {
            now.LastTitle = t;
            rec->SplitRecording();
        }
    }
};

TEST(Recorder, StatesFollowClicksAndTitles) {
    // Events: "c" click, "s" stop, "=X" title X; expected starts, stops, state afterwards.
    struct Row {
        std::optional<QStringList> list;
        std::vector<QString> events;
        std::size_t starts, stops;
        bool recording, autoStarted;
    } rows[] = {
        {std::nullopt, {"c"}, 1, 0, true, false},
        {std::nullopt, {"c", "c"}, 1, 1, false, false},
        {std::nullopt, {"=A", "c", "=B"}, 2, 1, true, false}, // a new song, a new file
        {std::nullopt, {"=A", "c", "=A", "=A"}, 1, 0, true, false},
        {std::nullopt, {"=A", "c", "=B", "s"}, 2, 2, false, false},
        {std::nullopt, {"=A"}, 0, 0, false, false},
        {QStringList{"Hit"}, {"=A Hit"}, 1, 0, true, true},
        {QStringList{"Hit"}, {"=A Hit", "=A Hit"}, 2, 1, true, true}, // repeated: restart
        {QStringList{"Hit"}, {"=A Hit", "=B Hit", "=Other"}, 2, 2, false, false},
        {QStringList{"Hit"}, {"=A", "c", "=Other"}, 2, 1, true, false},
        {QStringList{"Hit"}, {"=A", "c", "=A Hit"}, 2, 1, true, true}, // manual becomes auto
        {QStringList{"Hit"}, {"=A Hit", "c"}, 1, 1, false, false},
        {QStringList{""}, {"=A", "=A", "=B"}, 3, 2, true, true}, // empty line: every message
        {QStringList{"[x"}, {"=[x"}, 0, 0, false, false},
    };
    for (const Row& r : rows) {
        Fake f(r.list);
        QString trace;
        for (const QString& e : r.events) {
            trace += e + " ";
            if (e == "c")
                f.rec->RecLabelClick();
            else if (e == "s")
                f.rec->StopRecording();
            else
                f.title(e.mid(1));
        }
        SCOPED_TRACE(trace.toStdString());
        EXPECT_EQ(f.starts.size(), r.starts);
        EXPECT_EQ(f.stops.size(), r.stops);
        EXPECT_EQ(f.rec->IsRecording(), r.recording);
        EXPECT_EQ(f.rec->AutoStarted(), r.autoStarted);
        EXPECT_EQ(f.rec->EncoderHandle() != 0, r.recording);
        EXPECT_TRUE(f.notes.isEmpty()) << f.notes.join("; ").toStdString();
        if (!f.shown.empty()) {
            EXPECT_EQ(f.shown.back(), r.recording);
        }
    }
}

TEST(Recorder, FileNamesAndArguments) {
    Fake f;
    f.now.StreamTitle = "No Title";
    f.rec->RecLabelClick();
    const QString folder = f.dir.path() + "/Recordings/";
    EXPECT_TRUE(QDir(folder).exists()); // the default folder is made when missing
    ASSERT_EQ(f.starts.size(), 1u);
    EXPECT_EQ(f.starts[0], (std::vector<std::string>{
                               "/bin/lame", "-b", "128", "--ty", "2026", "-",
                               (folder + "05.04 - 14_03_22 - No Title.mp3").toStdString()}));

    // oggenc2 at the stream's bitrate, into a custom folder; a file of the same second and
    // title is not overwritten.
    Fake g;
    g.settings.Encoder = "oggenc2";
    g.settings.LimitBitrate = true;
    g.settings.Folder = g.dir.path() + "/custom";
    g.now.Bitrate = "64 kbps";
    g.now.StreamTitle = "../Song";
    QDir().mkpath(g.settings.Folder);
    QFile(g.settings.Folder + "/05.04 - 14_03_22 - _Song.ogg").open(QIODevice::WriteOnly);
    ASSERT_TRUE(g.rec->StartRecording());
    EXPECT_EQ(g.starts[0],
              (std::vector<std::string>{
                  "/bin/oggenc2", "-b", "64", "-d", "2026-04-05", "-o",
                  (g.settings.Folder + "/05.04 - 14_03_22 - _Song (2).ogg").toStdString(), "-"}));
    EXPECT_EQ(g.rec->currentFile().toStdString(), g.starts[0][6]);
}

TEST(Recorder, FailedStartsLeaveItIdleAndSayWhy) {
    struct Row {
        const char* what;
        std::function<void(Fake&)> setup;
        QString message; // the whole notifier text
    } rows[] = {
        // The menu item stays enabled while nothing plays: its press says so.
        {"no stream", [](Fake& f) { f.stream = 0; }, "Nothing to record: no station is playing"},
        {"capital L", [](Fake& f) { f.settings.Encoder = "Lame"; },
         "Can't record: unknown encoder \"Lame\""},
        {"no encoder chosen", [](Fake& f) { f.settings.Encoder = ""; },
         "Can't record: no encoder is chosen in the settings"},
        {"encoder missing", [](Fake& f) { f.found = false; },
         "Can't start the encoder lame: it was not found"},
        {"process fails", [](Fake& f) { f.startFails = true; }, "Can't start the encoder lame"},
        {"folder is a file",
         [](Fake& f) {
             f.settings.Folder = f.dir.path() + "/file";
             QFile(f.settings.Folder).open(QIODevice::WriteOnly);
         },
         ""},
    };
    for (Row& r : rows) {
        SCOPED_TRACE(r.what);
        Fake f;
        r.setup(f);
        if (r.message.isEmpty()) // the folder is in this fixture's own temporary folder
            r.message = "Can't write to the recordings folder " + f.settings.Folder + "/";
        f.rec->RecLabelClick();
        EXPECT_FALSE(f.rec->IsRecording());
        EXPECT_FALSE(f.rec->AutoStarted());
        EXPECT_TRUE(f.starts.empty());
        EXPECT_EQ(f.notes, QStringList{r.message});
        EXPECT_EQ(f.shown, std::vector<bool>{false});
    }

    // A split whose new encoder cannot start ends the recording and says so.
    Fake f;
    f.rec->RecLabelClick();
    f.startFails = true;
    f.title("Next");
    EXPECT_FALSE(f.rec->IsRecording());
    EXPECT_EQ(f.stops, std::vector<audio::EncoderHandle>{1});
    EXPECT_EQ(f.notes.size(), 1);
    // An encoder that has already gone (the stream ended) is not stopped again.
    Fake g;
    g.rec->RecLabelClick();
    g.active.clear();
    g.rec->StopRecording();
    EXPECT_TRUE(g.stops.empty());
    EXPECT_FALSE(g.rec->IsRecording());
    EXPECT_GE(g.listed, 1);
}

TEST(RecorderNames, TagsAndEncoderShapes) {
    struct TagRow {
        QString title, station, artist, song;
    } tags[] = {
        {"Artist - Song", "Radio", "Artist", "Song"},
        {"A - B - C", "Radio", "A", "B - C"}, // split at the first " - " only
        {"No dash-here", "Radio", "", "No dash-here"},
        {" - Only song", "", "", "Only song"},
        {"\"q\" $(rm -rf ~) - `id` 'x'", "R", "\"q\" $(rm -rf ~)", "`id` 'x'"},
        {"", "Radio", "", ""},
    };
    for (const TagRow& r : tags) {
        const RecordingTags t = TagsFor(r.title, r.station, QDate(2026, 4, 5));
        EXPECT_EQ(t.artist, r.artist) << r.title.toStdString();
        EXPECT_EQ(t.title, r.song) << r.title.toStdString();
        EXPECT_EQ(t.album, r.station.trimmed());
    }

    using V = std::vector<std::string>;
    const RecordingTags t = TagsFor("Art - \"Ti\" $(x)", "St", QDate(2026, 4, 5));
    EXPECT_EQ(EncoderArguments("lame", "lame", "32", "/r/a.mp3", t),
              (V{"lame", "-b", "32", "--tt", "\"Ti\" $(x)", "--ta", "Art", "--tl", "St", "--ty",
                 "2026", "-", "/r/a.mp3"}));
    // oggenc gets a sample rate (and at the lowest rates mono) it can encode at the bitrate.
    struct OggRow {
        const char* bitrate;
        V shape;
    } ogg[] = {
        {"320", {}},
        {"48", {}},
        {"40", {"--resample", "22050"}},
        {"32", {"--resample", "22050"}},
        {"24", {"--resample", "16000"}},
        {"16", {"--resample", "11025"}},
        {"12", {"--resample", "8000"}},
        {"8", {"--resample", "8000", "--downmix"}},
    };
    for (const OggRow& r : ogg) {
        V expected{"oggenc", "-b", r.bitrate};
        expected.insert(expected.end(), r.shape.begin(), r.shape.end());
        expected.insert(expected.end(), {"-t", "\"Ti\" $(x)", "-a", "Art", "-l", "St", "-d",
                                         "2026-04-05", "-o", "/r/a.ogg", "-"});
        EXPECT_EQ(EncoderArguments("oggenc2", "oggenc", r.bitrate, "/r/a.ogg", t), expected)
            << r.bitrate;
    }
}

TEST(Recorder, AutoRecordingStartsAndStopsWhereItsTitleStands) {
    using H = std::pair<audio::EncoderHandle, audio::EncoderHandle>;
    struct Row {
        const char* what;
        std::vector<QString> titles;
        audio::HandOver result;
        std::vector<H> handOvers;
        std::size_t stops;
        bool recording;
        int notes;
    } rows[] = {
        {"auto start and stop",
         {"A", "B Hit", "C"},
         audio::HandOver::Exact,
         {{0, 1}, {1, 0}},
         0,
         false,
         0},
        {"two songs", {"A Hit", "B Hit"}, audio::HandOver::Exact, {{0, 1}, {1, 2}}, 0, true, 0},
        {"place unknown", {"A Hit", "B"}, audio::HandOver::AtOnce, {{0, 1}, {1, 0}}, 0, false, 0},
        // The engine refused: the paused encoder is stopped, nothing is left recording.
        {"start refused", {"A Hit"}, audio::HandOver::Failed, {{0, 1}}, 1, false, 1},
        // The place was refused: the encoder is stopped at once.
        {"stop refused", {"A Hit", "B"}, audio::HandOver::Failed, {{0, 1}, {1, 0}}, 1, false, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Fake f(QStringList{"Hit"}, true);
        for (std::size_t i = 0; i < r.titles.size(); ++i) {
            // A refusal only for the last step, so the earlier ones get going.
            f.handOverResult = i + 1 == r.titles.size() ? r.result : audio::HandOver::Exact;
            f.title(r.titles[i]);
        }
        EXPECT_EQ(f.handOvers, r.handOvers);
        EXPECT_EQ(f.stops.size(), r.stops);
        EXPECT_EQ(f.rec->IsRecording(), r.recording);
        EXPECT_EQ(f.notes.size(), r.notes) << f.notes.join("; ").toStdString();
    }
    // A manual recording splits at the title too.
    Fake m(std::nullopt, true);
    m.title("A");
    m.rec->RecLabelClick();
    m.title("B");
    EXPECT_EQ(m.handOvers, (std::vector<H>{{1, 2}}));
    EXPECT_TRUE(m.stops.empty());
}

TEST(Recorder, AnEncoderThatDiesIsReportedAndItsEmptyFileRemoved) {
    struct Row {
        const char* what;
        audio::EncoderExit exit;
        qint64 freeBytes;
        int fileBytes;    // what the encoder left
        const char* note; // null: it goes on
        bool kept;
    } rows[] = {
        {"killed",
         {true, 9, 0, ""},
         qint64(1) << 34,
         8000,
         "Recording stopped: lame was killed by signal 9",
         true},
        {"exit 1",
         {true, 0, 1, "Error writing to the output"},
         qint64(1) << 34,
         10,
         "Recording stopped: lame exited with status 1: Error writing to the output",
         false},
        {"disk full", {true, 0, 1, "x"}, 4096, 8000, "Recording stopped: the disk is full", true},
        {"no stderr",
         {true, 0, 2, ""},
         -1,
         0,
         "Recording stopped: lame exited with status 2",
         false},
        {"ended as asked", {false, 0, 0, ""}, 0, 10, nullptr, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Fake f;
        f.title("Song");
        f.rec->RecLabelClick();
        f.rec->checkEncoder(); // still running: nothing
        ASSERT_TRUE(f.rec->IsRecording());
        const QString file = f.rec->currentFile();
        if (r.fileBytes > 0) {
            QFile out(file);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(QByteArray(r.fileBytes, '\xff'));
        }
        f.exits[1] = r.exit;
        f.freeBytes = r.freeBytes;
        f.rec->checkEncoder();
        f.rec->checkEncoder(); // reported once
        EXPECT_EQ(f.rec->IsRecording(), r.note == nullptr);
        if (r.note) {
            EXPECT_EQ(f.notes, QStringList{r.note});
            EXPECT_EQ(f.shown.back(), false);
            EXPECT_GE(f.listed, 1);
        } else {
            EXPECT_TRUE(f.notes.isEmpty());
        }
        EXPECT_EQ(QFileInfo::exists(file), r.kept && r.fileBytes > 0);
    }

    // The old encoder died before a split: the new song's file goes on, the old one is named.
    Fake s(std::nullopt, true);
    s.title("Old Song");
    s.rec->RecLabelClick();
    s.exits[1] = {true, 9, 0, ""};
    s.title("New Song");
    EXPECT_TRUE(s.rec->IsRecording());
    EXPECT_EQ(s.rec->EncoderHandle(), 2u);
    ASSERT_EQ(s.notes.size(), 1);
    EXPECT_TRUE(s.notes[0].endsWith(" - Old Song is incomplete: lame was killed by signal 9"))
        << s.notes[0].toStdString();
}

TEST(Recorder, BeforeTheFirstTitleTheFileIsNamedAfterTheStation) {
    Fake f;
    f.now.StationName = "Radio X";
    f.now.StreamTitle = "Last Station's Song"; // kept across plays
    auto last = [&f] {
        return QFileInfo(f.rec->currentFile()).fileName().mid(19); // after the time
    };
    auto has = [&f](const std::string& option, const std::string& value) {
        const auto& a = f.starts.back();
        for (std::size_t i = 0; i + 1 < a.size(); ++i)
            if (a[i] == option)
                return a[i + 1] == value;
        return value.empty();
    };
    f.rec->RecLabelClick();
    EXPECT_EQ(last(), "Radio X.mp3");
    EXPECT_TRUE(has("--tl", "Radio X"));
    EXPECT_TRUE(has("--tt", ""));
    f.title("Art - First");
    EXPECT_EQ(last(), "Art - First.mp3");
    EXPECT_TRUE(has("--tt", "First"));
    EXPECT_TRUE(has("--ta", "Art"));
    // Another station: its recording starts before its first title again.
    f.rec->StopRecording();
    f.stream = 8;
    f.now.StationName = "Radio Y";
    f.rec->RecLabelClick();
    EXPECT_EQ(last(), "Radio Y.mp3");

    // Deleting: only the file being recorded stops the recording.
    EXPECT_FALSE(f.rec->stopIfRecording(f.dir.path() + "/Recordings/other.mp3"));
    EXPECT_TRUE(f.rec->IsRecording());
    EXPECT_TRUE(f.rec->stopIfRecording(f.rec->currentFile()));
    EXPECT_FALSE(f.rec->IsRecording());
    EXPECT_FALSE(f.rec->stopIfRecording(f.rec->currentFile()));
}

} // namespace
