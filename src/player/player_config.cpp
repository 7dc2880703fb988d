#include "player/player_config.h"

#include "directory/directory_query.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace tl {
namespace {
const QString kGeneral = QStringLiteral("General");
const QString kLast = QStringLiteral("Last");
const QString kRecording = QStringLiteral("Recording");
// A line break inside a value would end it early and start a bogus line.
QString singleLine(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}
} // namespace

int normaliseVolume(int stored) {
    if (stored >= -11 && stored <= -1) {
        return 6;
    }
    return std::clamp(stored, 0, 10);
}

StartupConfig readStartupConfig(const IniFile& ini, const QString& appPath) {
    StartupConfig c;
    PlayerSettings& s = c.settings;
    c.position = QPoint(ini.intValue(kGeneral, u"x", 100), ini.intValue(kGeneral, u"y", 100));
    c.vx = ini.intValue(kGeneral, u"vx", 100);
    c.vy = ini.intValue(kGeneral, u"vy", 100);
    s.ScrollInfo = ini.boolValue(kGeneral, u"scrollInfo", true);
    s.ScrollTitle = ini.boolValue(kGeneral, u"ScrollTitle", true);
    s.NotifierDelay = ini.intValue(kGeneral, u"NotifierDelay", 6000);
    s.Volume = ini.intValue(kGeneral, u"Volume", 6);
    s.Proxy = ini.value(kGeneral, u"proxy");
    s.Theme = ini.value(kGeneral, u"Theme");
    s.MinimizeToTray = ini.boolValue(kGeneral, u"MinimizeToTray", false);
    s.PlayOnStart = ini.boolValue(kGeneral, u"PlayOnStart", false);
    s.ShowNotifier = ini.boolValue(kGeneral, u"ShowNotifier", true);
    s.SearchResCount = ini.intValue(kGeneral, u"SearchResCount", 0);
    s.Log = ini.boolValue(kGeneral, u"log", true);
    s.OnTop = ini.boolValue(kGeneral, u"ontop", false);
    s.VisualizationType = ini.intValue(kGeneral, u"VisualizationType", 0);
    s.Muted = false;

    c.last.Category = ini.intValue(kLast, u"Category", 0);
    c.last.Index = ini.intValue(kLast, u"Index", 0);
    c.last.Url = ini.value(kLast, u"Url");
    c.last.Info = ini.value(kLast, u"Info");
    // Without a stored choice the directory that answers today is offered first.
    c.last.ServiceIndex = ini.intValue(kLast, u"ServiceIndex", kDefaultServiceIndex);

    RecorderSettings& r = c.recorder;
    r.Encoder = ini.value(kRecording, u"Encoder");
    r.Bitrate = ini.value(kRecording, u"Bitrate", QStringLiteral("128"));
    r.Folder = ini.value(kRecording, u"Folder");
    if (!r.Folder.isEmpty() && !QFileInfo(r.Folder).isDir()) {
        r.Folder.clear();
    }
    if (r.Folder.trimmed().isEmpty()) {
        r.Folder = appPath + QStringLiteral("Recordings/");
    }
    // Any value whose low byte is not zero counts as on.
    r.LimitBitrate = (ini.intValue(kRecording, u"LimitBitrate", 0) & 0xFF) != 0;
    return c;
}

void writeCloseValues(IniFile& ini, const CloseValues& v) {
    ini.setInt(kGeneral, u"x", v.position.x());
    ini.setInt(kGeneral, u"y", v.position.y());
    ini.setInt(kGeneral, u"vx", v.vx);
    ini.setInt(kGeneral, u"vy", v.vy);
    if (v.stations) {
        ini.setInt(kGeneral, u"StationsX", v.stations->x());
        ini.setInt(kGeneral, u"StationsY", v.stations->y());
        ini.setInt(kGeneral, u"StationsW", v.stations->width());
        ini.setInt(kGeneral, u"StationsH", v.stations->height());
    }
    ini.setInt(kLast, u"Category", v.last.Category);
    ini.setInt(kLast, u"Index", v.last.Index);
    ini.setValue(kLast, u"Url", singleLine(v.last.Url));
    ini.setValue(kLast, u"Info", singleLine(v.last.Info));
    ini.setInt(kLast, u"ServiceIndex", v.last.ServiceIndex);
    ini.setBool(kGeneral, u"scrollInfo", v.scrollInfo);
    ini.setBool(kGeneral, u"ScrollTitle", v.scrollTitle);
    ini.setInt(kGeneral, u"Volume", v.volume);
    ini.setInt(kGeneral, u"SearchResCount", v.searchResCount);
    ini.setInt(kGeneral, u"VisualizationType", v.visualizationType);
    ini.setBool(kGeneral, u"ontop", v.onTop);
    ini.setInt(kGeneral, u"LastStation", v.lastStation);
}

std::optional<QString> saveCloseValues(const QString& path, const CloseValues& values) {
    QString reason;
    std::optional<IniFile> ini = IniFile::tryLoad(path, &reason);
    if (!ini) {
        return QStringLiteral("The settings were not saved: %1 cannot be read (%2).")
            .arg(QDir::toNativeSeparators(path), reason);
    }
    writeCloseValues(*ini, values);
    if (!ini->save(path)) {
        return QStringLiteral("The settings were not saved: %1 cannot be written.")
            .arg(QDir::toNativeSeparators(path));
    }
    return std::nullopt;
}

} // namespace tl
