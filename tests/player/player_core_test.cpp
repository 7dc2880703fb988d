// Pure player logic: metadata titles, time and bitrate texts, the title log, config.ini.

#include "common/text.h"
#include "player/player_config.h"
#include "player/stream_meta.h"
#include "player/title_log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace tl;

TEST(ParseStreamMeta, PositionArithmetic) {
    struct Case {
        const char* meta; // nullptr: no metadata at all
        std::optional<const char*> title;
    };
    const Case cases[] = {
        {nullptr, std::nullopt},
        {"", std::nullopt},
        {"StreamUrl='x';", std::nullopt},
        {"StreamTitle='Artist - Song';StreamUrl='';", "Artist - Song"},
        {"StreamTitle='Artist - Song';", "Artist - Song"},
        // The title ends at the "';" that closes it, wherever the field stands.
        {"StreamTitle='AB;C';", "AB;C"},
        {"StreamTitle='Tom's Diner; live';StreamUrl='http://x/;y';", "Tom's Diner; live"},
        {"StreamTitle='Simon &amp; Garfunkel';", "Simon &amp; Garfunkel"},
        {"StreamUrl='http://a/?b=1;c';StreamTitle='y';", "y"},
        {"StreamUrl='x';StreamTitle='';", "No Title"},
        {"StreamTitle='Say 'Hi'';", "Say 'Hi'"},
        {"StreamTitle='';", "No Title"},
        {"StreamTitle='   ';", "No Title"},
        // Cut off before its "';": what there is.
        {"StreamTitle='X'", "X"},
        {"StreamTitle='Half a ti", "Half a ti"},
        {"StreamTitle='", "No Title"},
        {"StreamTitle='He said \"hi\" isn't it';", "He said \"hi\" isn't it"},
        {"StreamTitle='Ünïcödé – Söng';", "Ünïcödé – Söng"},
        {"xxStreamTitle='Q';", "Q"},
        {"StreamTitle=", "No Title"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.meta ? c.meta : "(none)");
        std::optional<QString> text;
        if (c.meta != nullptr) {
            text = QString::fromUtf8(c.meta);
        }
        const auto got = ParseStreamMeta(text ? std::optional<QStringView>(*text) : std::nullopt);
        ASSERT_EQ(got.has_value(), c.title.has_value());
        if (got) {
            EXPECT_EQ(got->toStdString(), std::string(*c.title));
        }
    }
    // Long titles are cut to 1,024 units, never inside a surrogate pair.
    const QString note = QString::fromUtf8("\xF0\x9D\x84\x9E"); // U+1D11E, two units
    const struct {
        QString title;
        QString expected;
    } longCases[] = {
        {QString(1024, u'x'), QString(1024, u'x')},
        {QString(5000, u'x'), QString(1024, u'x')},
        {QString(1023, u'x') + note, QString(1023, u'x')},
        {QString(1022, u'x') + note + u'y', QString(1022, u'x') + note},
    };
    for (const auto& c : longCases) {
        const QString meta = QStringLiteral("StreamTitle='") + c.title + QStringLiteral("';");
        EXPECT_EQ(ParseStreamMeta(QStringView(meta)), c.expected) << c.title.size();
    }
}

TEST(PlayerTexts, ElapsedTime) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "00:00"},     {1, "00:01"},       {59, "00:59"},       {60, "01:00"},
        {3599, "59:59"},  {3600, "01:00:00"}, {3661, "01:01:01"},  {86399, "23:59:59"},
        {86400, "00:00"}, {86401, "00:01"},   {90000, "01:00:00"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(ElapsedText(seconds).toStdString(), text) << seconds;
    }
}

TEST(PlayerTexts, VideoBitrate) {
    const std::pair<qint64, const char*> cases[] = {
        {0, "0 kbps"},       {128000, "128 kbps"}, {999499, "999 kbps"},
        {500, "0 kbps"},     {1500, "2 kbps"},     {2500, "2 kbps"},
        {999500, "1.0Mbps"}, {1500000, "1.5Mbps"}, {12345678, "12.3Mbps"},
    };
    for (const auto& [bps, text] : cases) {
        EXPECT_EQ(VideoBitrateText(bps).toStdString(), text) << bps;
    }
}

TEST(PlayerTexts, OnlyNetworkStreamsArePlayed) {
    const std::pair<const char*, bool> cases[] = {
        {"http://127.0.0.1:8000/live.mp3", true},
        {"HTTPS://radio.example/stream", true},
        {"mms://media.example/tv", true},
        {"mmsh://media.example/tv", true},
        {"  http://padded/  ", true},
        {"http://", false},
        {"", false},
        {"file:///etc/passwd", false},
        {"/etc/passwd", false},
        {"../stations.xml", false},
        {"ftp://host/file.mp3", false},
        {"#EXTM3U", false},
        {"rtmp://host/live", false},
    };
    for (const auto& [address, playable] : cases) {
        EXPECT_EQ(IsPlayableStreamAddress(QString::fromLatin1(address)), playable) << address;
    }
}

TEST(TitleLog, LineFormatAndAppendAcrossRuns) {
    const QDateTime when(QDate(2026, 3, 7), QTime(9, 5, 2));
    EXPECT_EQ(TitleLogLine(when, QStringLiteral("Band – Tune")),
              QByteArray("07.03.26 09:05:02; Band \xE2\x80\x93 Tune\r\n"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Tunelark.log"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old line\r\n");
    }
    TitleLog log;
    ASSERT_TRUE(log.open(path));
    EXPECT_TRUE(log.append("one\r\n"));
    // Flushed per line: another reader sees it before the log is closed.
    QFile reader(path);
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    EXPECT_EQ(reader.readAll(), QByteArray("old line\r\none\r\n"));
    log.close();
    EXPECT_FALSE(log.append("two\r\n"));

    TitleLog unwritable;
    EXPECT_FALSE(unwritable.open(dir.filePath(QStringLiteral("missing/dir/Tunelark.log"))));
    EXPECT_FALSE(unwritable.isOpen());
}

TEST(PlayerConfig, DefaultsWhenEmpty) {
    const StartupConfig c = readStartupConfig(IniFile(), QStringLiteral("/app/"));
    EXPECT_EQ(c.position, QPoint(100, 100));
    EXPECT_EQ(c.vx, 100);
    EXPECT_EQ(c.vy, 100);
    EXPECT_TRUE(c.settings.ScrollInfo);
    EXPECT_TRUE(c.settings.ScrollTitle);
    EXPECT_EQ(c.settings.NotifierDelay, 6000);
    EXPECT_EQ(c.settings.Volume, 6);
    EXPECT_FALSE(c.settings.PlayOnStart);
    EXPECT_TRUE(c.settings.ShowNotifier);
    EXPECT_TRUE(c.settings.Log);
    EXPECT_FALSE(c.settings.OnTop);
    EXPECT_FALSE(c.settings.MinimizeToTray);
    EXPECT_EQ(c.recorder.Bitrate, QStringLiteral("128"));
    EXPECT_EQ(c.recorder.Folder, QStringLiteral("/app/Recordings/"));
    EXPECT_FALSE(c.recorder.LimitBitrate);
    EXPECT_TRUE(c.last.Url.isEmpty());
}

TEST(PlayerConfig, ReadingRules) {
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("rec"));
    ASSERT_TRUE(QDir().mkpath(existing));
    const QString text = QStringLiteral("[general]\n"
                                        "X=$10\nY=-5\nOnTop=2\nlog=0\nPlayOnStart=1\n"
                                        "proxy=\"") +
                         QString(300, u'p') +
                         QStringLiteral("\"\n"
                                        "[Last]\nUrl=http://127.0.0.1:8000/live.mp3\n"
                                        "Info=  Test Radio  \nCategory=1\n"
                                        "[Recording]\nLimitBitrate=2\nFolder=") +
                         existing + QStringLiteral("\nEncoder=lame\n");
    const StartupConfig c = readStartupConfig(IniFile::fromText(text), dir.path() + u'/');
    EXPECT_EQ(c.position, QPoint(16, -5));
    EXPECT_FALSE(c.settings.OnTop) << "only exactly 1 is on";
    EXPECT_FALSE(c.settings.Log);
    EXPECT_TRUE(c.settings.PlayOnStart);
    EXPECT_EQ(c.settings.Proxy.size(), 300) << "a long proxy is kept whole";
    EXPECT_EQ(c.last.Url, QStringLiteral("http://127.0.0.1:8000/live.mp3"));
    EXPECT_EQ(c.last.Info, QStringLiteral("Test Radio"));
    EXPECT_EQ(c.last.Category, 1);
    EXPECT_TRUE(c.recorder.LimitBitrate) << "any non-zero low byte is on";
    EXPECT_EQ(c.recorder.Folder, existing);
    EXPECT_EQ(c.recorder.Encoder, QStringLiteral("lame"));

    const StartupConfig gone =
        readStartupConfig(IniFile::fromText(QStringLiteral(
                              "[Recording]\nFolder=/no/such/folder\nLimitBitrate=256\n")),
                          QStringLiteral("/app/"));
    EXPECT_EQ(gone.recorder.Folder, QStringLiteral("/app/Recordings/"));
    EXPECT_FALSE(gone.recorder.LimitBitrate) << "256 has a zero low byte";
}

TEST(PlayerConfig, StoredVolume) {
    const std::pair<int, int> cases[] = {{-20, 0}, {-12, 0}, {-11, 6}, {-3, 6},  {-1, 6},
                                         {0, 0},   {6, 6},   {10, 10}, {11, 10}, {25, 10}};
    for (const auto& [stored, used] : cases) {
        EXPECT_EQ(normaliseVolume(stored), used) << stored;
    }
}

TEST(PlayerConfig, CloseWritesKeysInPlaceAndKeepsTheRest) {
    IniFile ini = IniFile::fromText(QStringLiteral("; my settings\n[General]\nx=5\n"
                                                   "Theme=Night\nPlayOnStart=1\n[Custom]\nk=v\n"));
    CloseValues v;
    v.position = QPoint(300, 200);
    v.stations = QRect(10, 20, 600, 450);
    v.last.Url = QStringLiteral("http://host/a\r\nb");
    v.last.Info = QStringLiteral("Info");
    v.volume = 7;
    v.onTop = true;
    v.scrollTitle = false;
    writeCloseValues(ini, v);
    EXPECT_EQ(ini.intValue(u"General", u"x", 0), 300);
    EXPECT_EQ(ini.intValue(u"General", u"StationsW", 0), 600);
    EXPECT_EQ(ini.intValue(u"General", u"Volume", 0), 7);
    EXPECT_EQ(ini.value(u"General", u"ontop"), QStringLiteral("1"));
    EXPECT_EQ(ini.value(u"General", u"ScrollTitle"), QStringLiteral("0"));
    EXPECT_EQ(ini.value(u"General", u"LastStation"), QStringLiteral("0"));
    EXPECT_EQ(ini.value(u"General", u"Theme"), QStringLiteral("Night"));
    EXPECT_EQ(ini.value(u"Custom", u"k"), QStringLiteral("v"));
    EXPECT_EQ(ini.value(u"Last", u"Url"), QStringLiteral("http://host/a  b"))
        << "a line break in a value must not start a new line";
    EXPECT_TRUE(ini.toText().startsWith(QStringLiteral("; my settings\n[General]\nx=300\n")));
    // Reading back what the close wrote gives the same values.
    const StartupConfig back = readStartupConfig(ini, QStringLiteral("/app/"));
    EXPECT_EQ(back.position, QPoint(300, 200));
    EXPECT_TRUE(back.settings.OnTop);
    EXPECT_FALSE(back.settings.ScrollTitle);
    EXPECT_EQ(back.settings.Volume, 7);
}

TEST(StreamHeaders, StepsInOrderWithCleanValues) {
    const std::vector<std::string> headers = {
        "ICY 200 OK",
        "icy-name: Spaced Radio ",
        "ICY-NAME:capitals are ignored",
        "icy-br:128",
        "icy-genre:Jazz",
        "icy-notice1:ignored",
        "icy-name:" + std::string(90 * 1024, 'n'),
        "icy-name:Caf\xE9",                                    // not UTF-8: read as Windows-1252
        "icy-name:" + std::string(4095, 'u') + "\xC3\xA9tail", // cut inside no sequence
    };
    const std::vector<IcyHeaderStep> steps = IcyHeaderSteps(headers);
    ASSERT_EQ(steps.size(), 6u);
    EXPECT_EQ(steps[0].kind, IcyHeaderStep::StationName);
    EXPECT_EQ(steps[0].text, QStringLiteral("Spaced Radio"));
    EXPECT_EQ(steps[1].kind, IcyHeaderStep::Bitrate);
    EXPECT_EQ(steps[1].text, QStringLiteral("128 kbps"));
    EXPECT_EQ(steps[2].kind, IcyHeaderStep::Genre);
    EXPECT_EQ(steps[2].text, QStringLiteral("Jazz"));
    EXPECT_EQ(steps[3].text, QString(kMaxNetworkTextLength, u'n'));
    EXPECT_EQ(steps[4].text, QString::fromUtf8("Caf\xC3\xA9"));
    EXPECT_EQ(steps[5].text, QString(kMaxNetworkTextLength, u'u'));
}

TEST(TitleLog, ControlCharactersCannotForgeLines) {
    const QDateTime when(QDate(2026, 3, 7), QTime(9, 5, 2));
    const struct {
        const char* title;
        const char* line;
    } rows[] = {
        {"A\r\n01.01.70 00:00:00; forged", "07.03.26 09:05:02; A  01.01.70 00:00:00; forged\r\n"},
        {"tab\there\x1b[31m", "07.03.26 09:05:02; tab here [31m\r\n"},
        {"lone\rcarriage", "07.03.26 09:05:02; lone carriage\r\n"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(TitleLogLine(when, QString::fromUtf8(r.title)), QByteArray(r.line)) << r.title;
    }
}

// What the close does with the file on disk: keys written in place, the search count kept as
// read, and a file that exists but cannot be read is never replaced by a stub.
TEST(PlayerConfig, SavingAtCloseNeverCutsTheFileDown) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    const QByteArray original =
        "[General]\nSearchResCount=3\nTheme=Night\n[Recording]\nEncoder=lame\n";
    auto write = [&](const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    };
    auto read = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    };

    // Readable: the count read at start-up goes back unchanged, other keys stay.
    write(original);
    CloseValues values;
    values.searchResCount =
        readStartupConfig(IniFile::load(path), dir.path() + u'/').settings.SearchResCount;
    EXPECT_FALSE(saveCloseValues(path, values).has_value());
    const IniFile saved = IniFile::load(path);
    EXPECT_EQ(saved.intValue(u"General", u"SearchResCount", -1), 3);
    EXPECT_EQ(saved.value(u"Recording", u"Encoder"), QStringLiteral("lame"));
    EXPECT_FALSE(saved.find(u"General", u"StationsX")) << "no station manager, no geometry";

    // Unreadable (no read permission; root reads anything, so a child drops to nobody).
    write(original);
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner | QFileDevice::WriteOther));
    bool reported = false;
    if (geteuid() != 0) {
        reported = saveCloseValues(path, values).has_value();
    } else {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
            _exit(!dropped ? 2 : saveCloseValues(path, values) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 2) << "could not drop privileges";
        reported = WEXITSTATUS(status) == 1;
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_TRUE(reported);
    EXPECT_EQ(read(), original);

    // A config.ini that is a folder: reported, nothing else written.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("config.ini")));
    EXPECT_TRUE(saveCloseValues(path, values).has_value());
    EXPECT_TRUE(QFileInfo(path).isDir());
}
