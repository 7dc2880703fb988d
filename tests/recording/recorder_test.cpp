// The recorder's logic: bitrate, file names, encoder arguments, the auto-record list and the
// recording states, with a fake engine and a fixed clock.

#include "recording/recorder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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
    QDateTime clock{QDate(2026, 4, 5), QTime(14, 3, 22)};
    std::unique_ptr<Recorder> rec;

    explicit Fake(std::optional<QStringList> list = std::nullopt) {
        settings.Encoder = "lame";
        Recorder::Links l;
        l.streamHandle = [this] {
            return stream;
        };
        l.startEncoder = [this](audio::StreamHandle s, const std::vector<std::string>& argv,
                                bool paused) {
            EXPECT_FALSE(paused); // no hand-over here: a new encoder runs at once
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
                               "/bin/lame", "-b", "128", "-",
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
                  "/bin/oggenc2", "-b", "64", "-o",
                  (g.settings.Folder + "/05.04 - 14_03_22 - _Song (2).ogg").toStdString(), "-"}));
    EXPECT_EQ(g.rec->currentFile().toStdString(), g.starts[0][4]);
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

} // namespace
