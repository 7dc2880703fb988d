// stations.xml and config.ini survive SIGKILL at any moment of a commit: commit_loop is killed
// at random moments many times, and after every kill both files hold a whole document, the
// old or the new one, which the next run loads and commits again.

#include "common/ini_file.h"
#include "library/favourites.h"
#include "library_fixture.h"

#include <QDir>
#include <QProcess>
#include <QThread>

#include <random>
#include <set>

using namespace tl;
using namespace tl::test;

namespace {

constexpr int kGroups = 20;
constexpr int kStationsPerGroup = 40;
constexpr int kPaddingLines = 300;

QByteArray bigFavourites() {
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<stations>\n";
    for (int g = 0; g < kGroups; ++g) {
        out += "<group Name=\"g" + QByteArray::number(g) + "\" rolled=\"0\">\n";
        for (int s = 0; s < kStationsPerGroup; ++s) {
            const QByteArray id = QByteArray::number(g * kStationsPerGroup + s);
            out += "<station><Url>http://127.0.0.1/" + id + "</Url><Name>s" + id +
                   "</Name><Info>a station of the crash test</Info><Bitrate>128</Bitrate>"
                   "<Video>0</Video></station>\n";
        }
        out += "</group>\n";
    }
    return out + "</stations>\n";
}

QByteArray bigConfig() {
    QByteArray out = "[General]\r\nx=100\r\ny=100\r\nTheme=Nocturne\r\n[Padding]\r\n";
    for (int i = 0; i < kPaddingLines; ++i)
        out += "key" + QByteArray::number(i) + "=a line that makes the file long enough\r\n";
    return out + "end=1\r\n";
}

// What is wrong with the favourites file on disk, or an empty string.
std::string favouritesFault(const QByteArray& bytes) {
    pugi::xml_document doc;
    if (!doc.load_buffer(bytes.constData(), static_cast<std::size_t>(bytes.size())))
        return "not XML (" + std::to_string(bytes.size()) + " bytes)";
    int groups = 0, stations = 0;
    for (pugi::xml_node g : doc.document_element().children("group")) {
        ++groups;
        stations += static_cast<int>(
            std::distance(g.children("station").begin(), g.children("station").end()));
    }
    if (groups != kGroups || stations != kGroups * kStationsPerGroup)
        return "incomplete: " + std::to_string(groups) + " groups, " + std::to_string(stations) +
               " stations";
    const std::string first = doc.document_element().first_child().attribute("Name").value();
    if (first != "g0" && first != "A" && first != "B")
        return "first group named " + first;
    return {};
}

std::string configFault(const QByteArray& bytes) {
    const IniFile ini = IniFile::fromText(QString::fromUtf8(bytes));
    const int x = ini.intValue(u"General", u"x", -1);
    if (x != 100 && x != 1 && x != 2)
        return "x=" + std::to_string(x);
    for (const char* key : {"key0", "end"})
        if (!ini.find(u"Padding", QString::fromLatin1(key)))
            return std::string("no ") + key;
    if (ini.value(u"General", u"Theme") != QLatin1String("Nocturne"))
        return "the theme line was lost";
    return {};
}

TEST(CrashSafeFiles, SigkillDuringCommitsLeavesOldOrNewDocument) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString xml = dir.filePath(QStringLiteral("stations.xml"));
    const QString ini = dir.filePath(QStringLiteral("config.ini"));
    writeBytes(xml, bigFavourites());
    writeBytes(ini, bigConfig());

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayUs(0, 40000);
    std::set<QByteArray> xmlSeen, iniSeen;
    constexpr int kKills = 200;
    for (int kill = 0; kill < kKills; ++kill) {
        QProcess loop;
        loop.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        loop.start(QStringLiteral(TL_COMMIT_LOOP), {dir.path()});
        ASSERT_TRUE(loop.waitForStarted(60000));
        // "ready" comes after a whole round, so every kill lands in the loop's later rounds.
        while (!loop.canReadLine() && loop.state() == QProcess::Running)
            loop.waitForReadyRead(60000);
        ASSERT_EQ(loop.state(), QProcess::Running)
            << "commit_loop ended with " << loop.exitCode() << " after kill " << kill << " (seed "
            << seed << ")";
        QThread::usleep(static_cast<unsigned long>(delayUs(random)));
        loop.kill(); // SIGKILL
        ASSERT_TRUE(loop.waitForFinished(60000));

        const QByteArray xmlBytes = readBytes(xml), iniBytes = readBytes(ini);
        ASSERT_EQ(favouritesFault(xmlBytes), "")
            << "after kill " << kill << " (seed " << seed << ")";
        ASSERT_EQ(configFault(iniBytes), "") << "after kill " << kill << " (seed " << seed << ")";
        xmlSeen.insert(xmlBytes);
        iniSeen.insert(iniBytes);
    }
    // The first document and the two the loop alternates between; nothing else.
    EXPECT_LE(xmlSeen.size(), 3U);
    EXPECT_LE(iniSeen.size(), 3U);
    const QStringList left = QDir(dir.path()).entryList(QDir::Files);
    EXPECT_TRUE(left.filter(QStringLiteral(".broken-")).isEmpty()) << left.join(' ').toStdString();
    // A kill between naming the temporary file and the rename may leave it behind; harmless.
    std::printf("%d kills, files left: %s, seed %u\n", kKills, qPrintable(left.join(' ')), seed);
}

} // namespace
