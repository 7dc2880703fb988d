#include "settings/settings_model.h"

#include "common/ini_file.h"
#include "common/numeric.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace tl {

namespace {

const QString kGeneral = QStringLiteral("General");
const QString kRecording = QStringLiteral("Recording");

QStringList searchFolders(const QString& appPath, const QString& pathEnv) {
    QStringList folders;
    if (!appPath.isEmpty()) {
        folders << appPath;
    }
    for (const QString& entry : pathEnv.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        folders << entry;
    }
    return folders;
}

} // namespace

QString themesFolder(const QString& appPath) {
    return appPath + QStringLiteral("Themes/");
}

QString themeFolder(const QString& appPath, const QString& theme) {
    if (theme.isEmpty()) {
        return themesFolder(appPath);
    }
    return themesFolder(appPath) + theme + QLatin1Char('/');
}

QStringList listThemes(const QString& appPath) {
    const QDir dir(themesFolder(appPath));
    if (!dir.exists()) {
        return {};
    }
    return dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

int indexOfIgnoringCase(const QStringList& entries, const QString& name) {
    if (name.isEmpty()) {
        return -1;
    }
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].compare(name, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QString findEncoderExecutable(const QString& encoder, const QString& appPath,
                              const QString& pathEnv) {
    QStringList names;
    if (encoder == QStringView(kLame)) {
        names << QStringLiteral("lame");
    } else if (encoder == QStringView(kOggenc2)) {
        names << QStringLiteral("oggenc2") << QStringLiteral("oggenc");
    } else {
        return {};
    }
    const QStringList folders = searchFolders(appPath, pathEnv);
    if (folders.isEmpty()) {
        return {}; // findExecutable would fall back to the process's PATH
    }
    for (const QString& name : names) {
        const QString found = QStandardPaths::findExecutable(name, folders);
        if (!found.isEmpty()) {
            return found;
        }
    }
    return {};
}

QString findEncoderExecutable(const QString& encoder, const QString& appPath) {
    return findEncoderExecutable(encoder, appPath, qEnvironmentVariable("PATH"));
}

QStringList availableEncoders(const QString& appPath, const QString& pathEnv) {
    QStringList encoders;
    for (const char16_t* name : {kLame, kOggenc2}) {
        const QString encoder = QString::fromUtf16(name);
        if (!findEncoderExecutable(encoder, appPath, pathEnv).isEmpty()) {
            encoders << encoder;
        }
    }
    return encoders;
}

QStringList availableEncoders(const QString& appPath) {
    return availableEncoders(appPath, qEnvironmentVariable("PATH"));
}

const QStringList& encoderBitrateChoices() {
    static const QStringList choices = {
        QStringLiteral("32"),  QStringLiteral("40"),  QStringLiteral("48"),  QStringLiteral("56"),
        QStringLiteral("64"),  QStringLiteral("80"),  QStringLiteral("96"),  QStringLiteral("112"),
        QStringLiteral("128"), QStringLiteral("160"), QStringLiteral("192"), QStringLiteral("224"),
        QStringLiteral("256"), QStringLiteral("320")};
    return choices;
}

int notifierDelayToSlider(int delayMs) {
    const int seconds = roundHalfEven(static_cast<double>(delayMs) / 1000.0);
    return std::clamp(seconds, kNotifierSliderMin, kNotifierSliderMax);
}

int sliderToNotifierDelay(int position) {
    return position * 1000;
}

QString defaultRecordingsFolder(const QString& appPath) {
    return appPath + QStringLiteral("Recordings/");
}

SettingsDialogState dialogStateFor(const PlayerSettings& settings, const RecorderSettings& recorder,
                                   const QString& appPath, const QStringList& encoders,
                                   const SettingsDialogState& current) {
    SettingsDialogState state;
    state.theme = current.theme;
    state.notifierSeconds = notifierDelayToSlider(settings.NotifierDelay);
    state.showNotifier = settings.ShowNotifier;
    state.bitrate =
        encoderBitrateChoices().contains(recorder.Bitrate) ? recorder.Bitrate : QString();
    state.minimizeToTray = settings.MinimizeToTray;
    state.playOnStart = settings.PlayOnStart;
    state.limitBitrate = recorder.LimitBitrate;
    state.encoder = encoders.contains(recorder.Encoder) ? recorder.Encoder : QString();
    state.customFolder = recorder.Folder != defaultRecordingsFolder(appPath);
    state.folder = state.customFolder ? recorder.Folder : current.folder;
    return state;
}

ApplyResult applySettings(const SettingsDialogState& state, const QString& appPath,
                          PlayerSettings& settings, RecorderSettings& recorder) {
    const QString path = appPath + QStringLiteral("config.ini");
    // A file that exists but cannot be read is never written: saving the dialog's keys alone
    // would replace everything else in it (the close path keeps the same rule).
    QString unreadable;
    std::optional<IniFile> loaded = IniFile::tryLoad(path, &unreadable);
    IniFile ini = loaded.value_or(IniFile());
    ApplyResult result;

    const auto put = [&](const QString& section, const QString& key, const QString& value) {
        if (ini.find(section, key) != value) {
            result.changedKeys << section + QLatin1Char('/') + key;
        }
        ini.setValue(section, key, value);
    };
    const auto putBool = [&](const QString& section, const QString& key, bool value) {
        put(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
    };

    put(kRecording, QStringLiteral("Bitrate"), state.bitrate);
    recorder.Bitrate = state.bitrate;

    // The running Theme keeps naming the theme loaded at start-up.
    put(kGeneral, QStringLiteral("Theme"), state.theme);

    putBool(kGeneral, QStringLiteral("MinimizeToTray"), state.minimizeToTray);
    settings.MinimizeToTray = state.minimizeToTray;

    putBool(kGeneral, QStringLiteral("PlayOnStart"), state.playOnStart);
    settings.PlayOnStart = state.playOnStart;

    putBool(kGeneral, QStringLiteral("ShowNotifier"), state.showNotifier);
    settings.ShowNotifier = state.showNotifier;

    const int delay = sliderToNotifierDelay(
        std::clamp(state.notifierSeconds, kNotifierSliderMin, kNotifierSliderMax));
    put(kGeneral, QStringLiteral("NotifierDelay"), QString::number(delay));
    settings.NotifierDelay = delay;

    putBool(kRecording, QStringLiteral("LimitBitrate"), state.limitBitrate);
    recorder.LimitBitrate = state.limitBitrate;

    put(kRecording, QStringLiteral("Encoder"), state.encoder);
    recorder.Encoder = state.encoder;

    // The recorder names its files Folder + name, so a typed folder gets its separator here;
    // otherwise the files would land beside the folder instead of inside it.
    if (state.customFolder && !state.folder.trimmed().isEmpty()) {
        QString folder = state.folder;
        if (!folder.endsWith(QLatin1Char('/'))) {
            folder += QLatin1Char('/');
        }
        put(kRecording, QStringLiteral("Folder"), folder);
        recorder.Folder = folder;
    } else {
        put(kRecording, QStringLiteral("Folder"), QString());
        recorder.Folder = defaultRecordingsFolder(appPath);
    }

    if (!loaded) {
        result.error = QStringLiteral("The settings were not saved: %1 cannot be read (%2).")
                           .arg(QDir::toNativeSeparators(path), unreadable);
    } else if (!(result.saved = ini.save(path))) {
        result.error = QStringLiteral("The settings were not saved: %1 cannot be written.")
                           .arg(QDir::toNativeSeparators(path));
    }
    result.skinFolder = themeFolder(appPath, state.theme);
    return result;
}

} // namespace tl
