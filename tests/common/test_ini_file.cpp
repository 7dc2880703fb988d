#include "common/ini_file.h"
#include "common/local_file.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using tl::IniFile;
using tl::LocalFile;
using tl::readLocalFile;

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return f.readAll();
}

bool writeAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

struct LookupCase {
    const char* text;
    const char* section;
    const char* key;
    std::optional<QString> expected;
};

// Files of the program's that are not files: nothing blocks (a FIFO without writer), nothing
// floods (/dev/zero, a file past the cap), and a missing file is told apart from the rest; a
// settings file that is one of them is refused, not read.
TEST(LocalFile, OnlyRegularFilesWithinTheCapAreRead) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto path = [&](const char* name) {
        return dir.filePath(QString::fromLatin1(name));
    };
    QFile small(path("small.ini"));
    ASSERT_TRUE(small.open(QIODevice::WriteOnly));
    small.write("[a]\nb=1\n");
    small.close();
    QFile big(path("big.txt"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(5000, 'x'));
    big.close();
    ASSERT_EQ(mkfifo(path("fifo").toLocal8Bit().constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path("zero")));
    using S = LocalFile::Status;
    const struct {
        const char* name;
        int64_t cap;
        S status;
        qsizetype bytes;
    } rows[] = {
        {"small.ini", 100, S::Ok, 8},      {"small.ini", 8, S::Ok, 8},
        {"small.ini", 7, S::TooLarge, 0},  {"big.txt", 4999, S::TooLarge, 0},
        {"missing", 100, S::Missing, 0},   {"fifo", 100, S::NotRegular, 0},
        {"folder", 100, S::NotRegular, 0}, {"zero", 1 << 20, S::NotRegular, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const LocalFile f = readLocalFile(path(row.name), row.cap);
        EXPECT_EQ(f.status, row.status);
        EXPECT_EQ(f.bytes.size(), row.bytes);
        if (row.status == S::NotRegular) {
            QString error;
            EXPECT_FALSE(IniFile::tryLoad(path(row.name), &error).has_value());
            EXPECT_FALSE(error.isEmpty());
        }
    }
}

TEST(IniFile, LookupRules) {
    const LookupCase cases[] = {
        {"[General]\nVolume=6\n", "general", "VOLUME", "6"},
        {"[playlist]\nFile1=http://a\n", "Playlist", "file1", "http://a"},
        {"[A]\nk=first\nk=second\n", "A", "k", "first"},
        {"[A]\nx=1\n[A]\nk=late\n", "A", "k", std::nullopt}, // only the first section counts
        {"[A]\nk=1\n[B]\nk=2\n", "B", "k", "2"},
        {"  [ A ]  \n  k  =  spaced value  \n", "A", "k", "spaced value"},
        {"[A]\nk=\"quoted \"\n", "A", "k", "quoted "},
        {"[A]\nk='single'\n", "A", "k", "single"},
        {"[A]\nk=\"mismatched'\n", "A", "k", "\"mismatched'"},
        {"[A]\nk=\"\"x\"\"\n", "A", "k", "\"x\""}, // one pair only
        {"[A]\nk=\"\n", "A", "k", "\""},
        {"[A]\nk=a=b\n", "A", "k", "a=b"},
        {"[A]\nk=\n", "A", "k", ""},
        {"[A]\nk\n", "A", "k", std::nullopt},
        {"k=outside\n[A]\n", "A", "k", std::nullopt},
        {"[A]\r\nk=crlf\r\n", "A", "k", "crlf"},
        {"[A]\rk=cr\r", "A", "k", "cr"},
        {"[A]\nk=last line", "A", "k", "last line"},
        {"[A\nk=unclosed header\n", "A", "k", "unclosed header"},
        {"", "A", "k", std::nullopt},
        {"[A]\nother=1\n", "A", "k", std::nullopt},
        {"[Gen\xC3\xA9ral]\ncl\xC3\xA9=v\n", "GEN\xC3\xA9RAL", "CL\xC3\xA9", "v"},
    };
    for (const auto& c : cases) {
        const IniFile ini = IniFile::fromText(QString::fromUtf8(c.text));
        EXPECT_EQ(ini.find(QString::fromUtf8(c.section), QString::fromUtf8(c.key)), c.expected)
            << c.text;
    }
}

TEST(IniFile, ValueIsCutTo2047Characters) {
    const QString longValue(5000, u'x');
    const IniFile ini = IniFile::fromText("[A]\nk=" + longValue + "\n");
    EXPECT_EQ(ini.value(u"A", u"k").size(), IniFile::kMaxValueLength);

    // A surrogate pair straddling the limit is dropped whole.
    const QString pairs = QString(2046, u'y') + QString::fromUtf8("\xF0\x9F\x8E\xB5");
    const QString cut = IniFile::fromText("[A]\nk=" + pairs + "\n").value(u"A", u"k");
    EXPECT_EQ(cut, QString(2046, u'y'));
}

TEST(IniFile, IntegerForms) {
    const struct {
        const char* text;
        std::optional<int> expected;
    } cases[] = {
        {"12", 12},
        {" 12 ", 12},
        {"-3", -3},
        {"+7", 7},
        {"$1F", 31},
        {"0x1f", 31},
        {"0X1F", 31},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"$100000000", std::nullopt},
        {"12a", std::nullopt},
        {"1 2", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"$G", std::nullopt},
        {"1.5", std::nullopt},
        {"\xD9\xA3", std::nullopt}, // a non-ASCII digit
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IniFile::parseInt(QString::fromUtf8(c.text)), c.expected) << c.text;
    }
}

TEST(IniFile, TypedReadsUseDefaults) {
    const IniFile ini = IniFile::fromText("[G]\nvol=12a\nbig=4294967296\non=1\ntwo=2\nzero=0\n"
                                          "junk=yes\nquoted=\"5\"\n");
    EXPECT_EQ(ini.intValue(u"G", u"vol", 6), 6);
    EXPECT_EQ(ini.intValue(u"G", u"big", 6), 6);
    EXPECT_EQ(ini.intValue(u"G", u"missing", 100), 100);
    EXPECT_EQ(ini.intValue(u"G", u"quoted", 0), 5);
    EXPECT_TRUE(ini.boolValue(u"G", u"on", false));
    EXPECT_FALSE(ini.boolValue(u"G", u"two", true)); // true only for exactly 1
    EXPECT_FALSE(ini.boolValue(u"G", u"zero", true));
    EXPECT_TRUE(ini.boolValue(u"G", u"missing", true));
    EXPECT_TRUE(ini.boolValue(u"G", u"junk", true));
    EXPECT_FALSE(ini.boolValue(u"G", u"junk", false));
}

TEST(IniFile, WritingInPlaceKeepsOtherLines) {
    const QString original = "; comment line\r\n"
                             "[General]\r\n"
                             "x = 100\r\n"
                             "  odd line without equals\r\n"
                             "Volume=6 ; trailing\r\n"
                             "\r\n"
                             "[Last]\r\n"
                             "Url=http://a\r\n";
    IniFile ini = IniFile::fromText(original);
    ini.setInt(u"general", u"volume", 9);
    EXPECT_EQ(ini.toText(), QString(original).replace("Volume=6 ; trailing", "volume=9"));

    // A missing key goes after the section's last line, before the blank separator.
    ini.setValue(u"General", u"Theme", "Dark");
    EXPECT_TRUE(ini.toText().contains("volume=9\r\nTheme=Dark\r\n\r\n[Last]"));

    // A missing section goes to the end, with the file's own line break.
    ini.setBool(u"Recording", u"LimitBitrate", true);
    EXPECT_TRUE(ini.toText().endsWith("Url=http://a\r\n[Recording]\r\nLimitBitrate=1\r\n"));
    EXPECT_TRUE(ini.toText().startsWith("; comment line\r\n[General]\r\nx = 100\r\n"
                                        "  odd line without equals\r\n"));
}

TEST(IniFile, WritingAfterUnterminatedLastLine) {
    IniFile ini = IniFile::fromText("[A]\nk=1");
    ini.setValue(u"A", u"j", "2");
    EXPECT_EQ(ini.toText(), "[A]\nk=1\nj=2\n");
    IniFile empty;
    empty.setValue(u"S", u"k", "v");
    EXPECT_EQ(empty.toText(), "[S]\nk=v\n");
}

TEST(IniFile, WrittenValuesReadBack) {
    const QString values[] = {
        "plain", "  padded  ",          "\"quoted\"", "'q'",
        "",      "line\nbreak\rinside", "a=b",        QString::fromUtf8("Caf\xC3\xA9")};
    for (const QString& v : values) {
        IniFile ini = IniFile::fromText("[A]\nk=old\n[B]\nk=other\n");
        ini.setValue(u"A", u"k", v);
        const IniFile reread = IniFile::fromText(ini.toText());
        QString expected = v;
        expected.replace(u'\n', u' ').replace(u'\r', u' ');
        EXPECT_EQ(reread.value(u"A", u"k"), expected) << v.toStdString();
        // A line break in a value never creates a new section or key.
        EXPECT_EQ(reread.value(u"B", u"k"), "other");
        EXPECT_EQ(reread.toText().count(u'\n'), 4);
    }
}

TEST(IniFile, SaveAndLoadRoundTrip) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("config.ini");
    const QByteArray original = "\xEF\xBB\xBF[General]\r\nTheme=Caf\xC3\xA9\r\n; keep me\r\n";
    ASSERT_TRUE(writeAll(path, original));

    IniFile ini = IniFile::load(path);
    EXPECT_EQ(ini.value(u"General", u"Theme"), QString::fromUtf8("Caf\xC3\xA9"));
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(readAll(path), original); // byte for byte, mark included

    ini.setInt(u"General", u"x", 5);
    ASSERT_TRUE(ini.save(path));
    EXPECT_EQ(readAll(path), QByteArray(original) + "x=5\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"config.ini"}); // no temp left

    // Written back byte for byte without a change (valid UTF-8).
    for (const QByteArray& bytes :
         {QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[A]\nk=1"), QByteArray("[A]\nk=\xEF\xBB\xBF\r"),
          QByteArray("\xEF\xBB\xBF"), QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF")})
        EXPECT_EQ(IniFile::fromBytes(bytes).toBytes(), bytes) << bytes.toHex().constData();
}

TEST(IniFile, LoadMissingOrWindows1252File) {
    EXPECT_EQ(IniFile::load("/nonexistent/dir/config.ini").toText(), "");
    QTemporaryDir dir;
    const QString path = dir.filePath("pls.dat");
    ASSERT_TRUE(writeAll(path, "[playlist]\nTitle1=Caf\xE9 \x93Jazz\x94\n"));
    EXPECT_EQ(IniFile::load(path).value(u"playlist", u"title1"),
              QString::fromUtf8("Caf\xC3\xA9 \xE2\x80\x9CJazz\xE2\x80\x9D"));
}

TEST(IniFile, TryLoadTellsUnreadableFromMissing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(writeAll(dir.filePath("config.ini"), "[A]\nk=1\n"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
    QString reason;
    EXPECT_EQ(IniFile::tryLoad(dir.filePath("missing.ini"), &reason)->toText(), "");
    EXPECT_EQ(IniFile::tryLoad(dir.filePath("config.ini"))->value(u"A", u"k"), "1");
    EXPECT_FALSE(IniFile::tryLoad(dir.filePath("folder.ini"), &reason).has_value());
    EXPECT_FALSE(reason.isEmpty());
}

TEST(IniFile, FailedSaveLeavesOldFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A target that is a folder, and a target in a missing folder, both fail cleanly.
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    IniFile ini = IniFile::fromText("[A]\nk=1\n");
    EXPECT_FALSE(ini.save(dir.filePath("sub")));
    EXPECT_TRUE(QFileInfo(dir.filePath("sub")).isDir());
    EXPECT_FALSE(ini.save(dir.filePath("missing/config.ini")));
}

// Saves into a folder the saving process may not write to. Root ignores folder permissions, so
// under root the save runs in a child process that has dropped to an unprivileged user.
TEST(IniFile, SaveIntoUnwritableFolderLeavesOldFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    const QString path = locked + "/config.ini";
    ASSERT_TRUE(writeAll(path, "[A]\nk=old\n"));
    const auto readExec = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                          QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), readExec | QFileDevice::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(locked, readExec));

    IniFile ini = IniFile::fromText("[A]\nk=new\n");
    bool saved = true;
    if (geteuid() != 0) {
        saved = ini.save(path);
    } else {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
            _exit(!dropped ? 2 : ini.save(path) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 2) << "could not drop privileges";
        saved = WEXITSTATUS(status) == 1;
    }
    QFile::setPermissions(locked, readExec | QFileDevice::WriteOwner);
    EXPECT_FALSE(saved);
    EXPECT_EQ(readAll(path), "[A]\nk=old\n");
    EXPECT_EQ(QDir(locked).entryList(QDir::Files), QStringList{"config.ini"});
}

} // namespace
