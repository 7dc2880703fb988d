#include "settings/settings_model.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace tl;

namespace {

QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writeText(const QString& path, const QByteArray& data) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

void touch(const QString& path, bool executable) {
    writeText(path, "#!/bin/sh\n");
    QFile::setPermissions(path, executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                           : QFile::ReadOwner | QFile::WriteOwner);
}

// Other keys, a comment, a quoted value, a key of the same name in another section: all must
// come through Apply byte for byte.
const char* const kConfig = "; user settings\n"
                            "[General]\n"
                            "x=12\n"
                            "Theme=Old\n"
                            "MinimizeToTray=0\n"
                            "proxy=\"  spaced  \"\n"
                            "NotifierDelay=6000\n"
                            "Volume=3\n"
                            "\n"
                            "[Last]\n"
                            "Url=http://example.org/live\n"
                            "[Recording]\n"
                            "Bitrate=128\n"
                            "Folder=\n"
                            "Encoder=lame\n"
                            "[Other]\n"
                            "Theme=keep\n";

struct ApplyCase {
    const char* name;
    const char* before; // nullptr: no config.ini
    SettingsDialogState state;
    const char* after;
    const char* memoryFolder; // relative to the program folder, or absolute when it starts "/"
};

void PrintTo(const ApplyCase& c, std::ostream* os) {
    *os << c.name;
}

class ApplyTest : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(ApplyTest, WritesExactlyTheDialogKeys) {
    const ApplyCase& c = GetParam();
    QTemporaryDir dir;
    const QString app = dir.path() + u'/';
    if (c.before) {
        writeText(app + "config.ini", c.before);
    }
    PlayerSettings settings;
    settings.Theme = QStringLiteral("Old");
    settings.Volume = 3;
    RecorderSettings recorder;

    const ApplyResult result = applySettings(c.state, app, settings, recorder);

    EXPECT_TRUE(result.saved);
    EXPECT_EQ(readText(app + "config.ini"), QString::fromUtf8(c.after));
    EXPECT_EQ(result.skinFolder, themeFolder(app, c.state.theme));
    // In memory: everything the dialog shows except the theme, which names the loaded one.
    EXPECT_EQ(settings.Theme, "Old");
    EXPECT_EQ(settings.Volume, 3);
    EXPECT_EQ(settings.MinimizeToTray, c.state.minimizeToTray);
    EXPECT_EQ(settings.PlayOnStart, c.state.playOnStart);
    EXPECT_EQ(settings.ShowNotifier, c.state.showNotifier);
    EXPECT_EQ(settings.NotifierDelay, c.state.notifierSeconds * 1000);
    EXPECT_EQ(recorder.Encoder, c.state.encoder);
    EXPECT_EQ(recorder.Bitrate, c.state.bitrate);
    EXPECT_EQ(recorder.LimitBitrate, c.state.limitBitrate);
    const QString folder = QString::fromUtf8(c.memoryFolder);
    EXPECT_EQ(recorder.Folder, folder.startsWith(u'/') ? folder : app + folder);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ApplyTest,
    ::testing::Values(
        ApplyCase{"EverythingSet", kConfig,
                  SettingsDialogState{true, true, "Blue", "oggenc2", "192", true, true,
                                      "/music/rec", false, 3},
                  "; user settings\n"
                  "[General]\n"
                  "x=12\n"
                  "Theme=Blue\n"
                  "MinimizeToTray=1\n"
                  "proxy=\"  spaced  \"\n"
                  "NotifierDelay=3000\n"
                  "Volume=3\n"
                  "PlayOnStart=1\n"
                  "ShowNotifier=0\n"
                  "\n"
                  "[Last]\n"
                  "Url=http://example.org/live\n"
                  "[Recording]\n"
                  "Bitrate=192\n"
                  "Folder=/music/rec/\n"
                  "Encoder=oggenc2\n"
                  "LimitBitrate=1\n"
                  "[Other]\n"
                  "Theme=keep\n",
                  "/music/rec/"},
        // No selection anywhere: empty texts are stored, the default folder is used.
        ApplyCase{"NothingSelected", "[Recording]\r\nFolder=/old/\r\n[General]\r\nlog=0",
                  SettingsDialogState{false, false, "", "", "", false, false, "/kept/", true, 10},
                  "[Recording]\r\nFolder=\r\nBitrate=\r\nLimitBitrate=0\r\nEncoder=\r\n"
                  "[General]\r\nlog=0\r\nTheme=\r\nMinimizeToTray=0\r\nPlayOnStart=0\r\n"
                  "ShowNotifier=1\r\nNotifierDelay=10000\r\n",
                  "Recordings/"},
        // A custom folder left blank falls back to the default instead of recording
        // into whatever the working folder is.
        ApplyCase{
            "BlankCustomFolderAndNoFile", nullptr,
            SettingsDialogState{false, true, "Dark", "lame", "128", false, true, "  ", true, 1},
            "[Recording]\n"
            "Bitrate=128\n"
            "LimitBitrate=0\n"
            "Encoder=lame\n"
            "Folder=\n"
            "[General]\n"
            "Theme=Dark\n"
            "MinimizeToTray=0\n"
            "PlayOnStart=1\n"
            "ShowNotifier=1\n"
            "NotifierDelay=1000\n",
            "Recordings/"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(Apply, UnwritableFileIsReportedAndLeavesNoFile) {
    QTemporaryDir dir;
    const QString app = dir.path() + QStringLiteral("/missing/");
    PlayerSettings settings;
    RecorderSettings recorder;
    SettingsDialogState state;
    state.notifierSeconds = 4;
    const ApplyResult result = applySettings(state, app, settings, recorder);
    EXPECT_FALSE(result.saved);
    EXPECT_FALSE(QFile::exists(app + "config.ini"));
    EXPECT_EQ(settings.NotifierDelay, 4000); // the running program still takes the values
}

// As at the close: a config.ini that exists but cannot be read is never replaced by the
// dialog's keys; the press says why, and the running program still takes the values.
TEST(Apply, UnreadableFileIsNeverWrittenOver) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString app = dir.path() + u'/';
    const QString path = app + "config.ini";
    SettingsDialogState state;
    state.notifierSeconds = 4;
    auto read = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    };

    // No read permission; root reads anything, so a child drops to nobody.
    writeText(path, kConfig);
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777)));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner | QFileDevice::WriteOther));
    auto apply = [&] {
        PlayerSettings settings;
        RecorderSettings recorder;
        const ApplyResult r = applySettings(state, app, settings, recorder);
        return !r.saved && r.error.contains("cannot be read") && settings.NotifierDelay == 4000;
    };
    bool refused = false;
    if (geteuid() != 0) {
        refused = apply();
    } else {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
            _exit(!dropped ? 2 : apply() ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 2) << "could not drop privileges";
        refused = WEXITSTATUS(status) == 1;
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_TRUE(refused);
    EXPECT_EQ(read(), QByteArray(kConfig));

    // A config.ini that is a folder: reported, and still a folder.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("config.ini")));
    PlayerSettings settings;
    RecorderSettings recorder;
    const ApplyResult r = applySettings(state, app, settings, recorder);
    EXPECT_FALSE(r.saved);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST(Apply, ReportsWhichKeysChanged) {
    QTemporaryDir dir;
    const QString app = dir.path() + u'/';
    writeText(app + "config.ini", "[General]\nTheme=Blue\nNotifierDelay=6000\nMinimizeToTray=0\n"
                                  "PlayOnStart=0\nShowNotifier=1\n[Recording]\nBitrate=128\n"
                                  "Encoder=\nFolder=\nLimitBitrate=0\n");
    PlayerSettings settings;
    RecorderSettings recorder;
    SettingsDialogState state;
    state.theme = QStringLiteral("Dark");
    state.bitrate = QStringLiteral("128");
    EXPECT_EQ(applySettings(state, app, settings, recorder).changedKeys,
              QStringList{QStringLiteral("General/Theme")});
    EXPECT_TRUE(applySettings(state, app, settings, recorder).changedKeys.isEmpty());
}

TEST(Encoders, DetectedBesideTheProgramOrOnThePath) {
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, bool>> files; // "app/x" or "bin/x", executable?
        QStringList expected;
    };
    const std::vector<Case> cases = {
        {"none", {}, {}},
        {"lame beside the program", {{"app/lame", true}}, {"lame"}},
        {"oggenc on the path serves oggenc2", {{"bin/oggenc", true}}, {"oggenc2"}},
        {"both, in the dialog's order",
         {{"bin/oggenc2", true}, {"app/lame", true}},
         {"lame", "oggenc2"}},
        {"not executable", {{"app/lame", false}, {"bin/oggenc", false}}, {}},
        {"other names do not count", {{"app/lame.exe", true}, {"bin/oggenc3", true}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(QDir(dir.path()).mkpath("app") && QDir(dir.path()).mkpath("bin"));
        for (const auto& [file, exec] : c.files) {
            touch(dir.filePath(file), exec);
        }
        const QString pathEnv = "::" + dir.filePath("nowhere") + ':' + dir.filePath("bin");
        EXPECT_EQ(availableEncoders(dir.filePath("app") + '/', pathEnv), c.expected);
    }
}

TEST(Encoders, ProgramFolderWinsAndOggenc2IsPreferred) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("app") && QDir(dir.path()).mkpath("bin"));
    const QString app = dir.filePath("app") + '/';
    const QString bin = dir.filePath("bin");
    touch(app + "oggenc", true);
    touch(bin + "/oggenc2", true);
    touch(bin + "/lame", true);
    touch(app + "lame", true);
    EXPECT_EQ(findEncoderExecutable("lame", app, bin), app + "lame");
    EXPECT_EQ(findEncoderExecutable("oggenc2", app, bin), bin + "/oggenc2");
    EXPECT_EQ(findEncoderExecutable("oggenc", app, bin), QString()); // not a setting's name
    EXPECT_EQ(findEncoderExecutable("lame", QString(), QString()), QString());
}

TEST(Themes, SubfoldersSortedIgnoringCase) {
    QTemporaryDir dir;
    const QString app = dir.path() + u'/';
    EXPECT_TRUE(listThemes(app).isEmpty()); // no Themes folder
    QDir root(dir.path());
    for (const char* folder : {"Themes/b", "Themes/A", "Themes/c d", "Themes/.hidden"}) {
        ASSERT_TRUE(root.mkpath(folder));
    }
    writeText(app + "Themes/readme.txt", "x");
    const QStringList themes = listThemes(app);
    EXPECT_EQ(themes, (QStringList{"A", "b", "c d"}));
    EXPECT_EQ(indexOfIgnoringCase(themes, "B"), 1);
    EXPECT_EQ(indexOfIgnoringCase(themes, "C D"), 2);
    EXPECT_EQ(indexOfIgnoringCase(themes, ""), -1);
    EXPECT_EQ(indexOfIgnoringCase(themes, "missing"), -1);
    EXPECT_EQ(themeFolder(app, "b"), app + "Themes/b/");
    EXPECT_EQ(themeFolder(app, ""), app + "Themes/");
}

TEST(NotifierSlider, MillisecondsToPositionAndBack) {
    const std::vector<std::pair<int, int>> cases = {{6000, 6}, {2500, 2},   {3500, 4},
                                                    {1499, 1}, {10000, 10}, {0, 1},
                                                    {-700, 1}, {50000, 10}, {9600, 10}};
    for (const auto& [ms, position] : cases) {
        EXPECT_EQ(notifierDelayToSlider(ms), position) << ms;
    }
    EXPECT_EQ(sliderToNotifierDelay(3), 3000);
}

TEST(DialogState, FilledFromTheRunningValues) {
    const QString app = QStringLiteral("/opt/tl/");
    PlayerSettings settings;
    settings.NotifierDelay = 6000;
    settings.MinimizeToTray = true;
    RecorderSettings recorder;
    recorder.Encoder = QStringLiteral("oggenc2");
    recorder.Bitrate = QStringLiteral("100"); // not a choice
    recorder.Folder = app + "Recordings/";
    SettingsDialogState current;
    current.theme = QStringLiteral("Blue");
    current.folder = QStringLiteral("/previous/");

    SettingsDialogState state = dialogStateFor(settings, recorder, app, {"lame"}, current);
    EXPECT_EQ(state.notifierSeconds, 6);
    EXPECT_TRUE(state.minimizeToTray);
    EXPECT_EQ(state.theme, "Blue");
    EXPECT_EQ(state.bitrate, QString());
    EXPECT_EQ(state.encoder, QString()); // oggenc2 is not installed
    EXPECT_FALSE(state.customFolder);
    EXPECT_EQ(state.folder, "/previous/"); // the edit keeps its text while disabled

    recorder.Folder = QStringLiteral("/music/");
    recorder.Bitrate = QStringLiteral("320");
    state = dialogStateFor(settings, recorder, app, {"lame", "oggenc2"}, current);
    EXPECT_TRUE(state.customFolder);
    EXPECT_EQ(state.folder, "/music/");
    EXPECT_EQ(state.bitrate, "320");
    EXPECT_EQ(state.encoder, "oggenc2");
}

} // namespace
