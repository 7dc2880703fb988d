#pragma once
// The settings dialog's logic without widgets: the theme and encoder lists it offers, the bitrate
// choices, the notifier-delay slider mapping, filling the dialog from the running values, and
// Apply (writing config.ini and updating the running values).
//
// Everything here runs on the UI thread; nothing keeps state between calls.

#include "common/player_types.h"

#include <QString>
#include <QStringList>

namespace tl {

// The folder that holds the theme folders: appPath + "Themes/" (appPath ends with "/").
QString themesFolder(const QString& appPath);
// The folder handed to the skin loader for a theme name: appPath + "Themes/" + name + "/".
// An empty name gives the Themes folder itself.
QString themeFolder(const QString& appPath, const QString& theme);

// Names of the sub-folders of appPath + "Themes/", sorted by name ignoring case. Hidden folders
// and plain files are left out. A missing Themes folder gives an empty list.
QStringList listThemes(const QString& appPath);
// Index of the entry equal to name ignoring case, or -1. An empty name never matches.
int indexOfIgnoringCase(const QStringList& entries, const QString& name);

// Encoders as the setting names them: "lame" and "oggenc2".
inline constexpr char16_t kLame[] = u"lame";
inline constexpr char16_t kOggenc2[] = u"oggenc2";

// The executable that serves an encoder setting, or an empty string when none is present.
// "lame" is an executable named lame; "oggenc2" is an executable named oggenc2 or, failing that,
// oggenc (same options). The program folder is searched first, then each folder of pathEnv
// (colon-separated; empty entries are skipped so the current folder never counts).
QString findEncoderExecutable(const QString& encoder, const QString& appPath,
                              const QString& pathEnv);
// Same with the process's PATH.
QString findEncoderExecutable(const QString& encoder, const QString& appPath);

// The encoder list of the dialog: "lame" then "oggenc2", each only when present.
QStringList availableEncoders(const QString& appPath, const QString& pathEnv);
QStringList availableEncoders(const QString& appPath);

// The bitrate choices in kbit/s, in the order the dialog lists them.
const QStringList& encoderBitrateChoices();

// The notifier display time slider runs from 1 to 10 seconds.
inline constexpr int kNotifierSliderMin = 1;
inline constexpr int kNotifierSliderMax = 10;
// Milliseconds to slider position: nearest second (ties to even), clamped to the slider's range.
int notifierDelayToSlider(int delayMs);
// Slider position to milliseconds.
int sliderToNotifierDelay(int position);

// The default recordings folder: appPath + "Recordings/".
QString defaultRecordingsFolder(const QString& appPath);

// What the dialog's controls hold. Texts are those of the selected entries, empty when a list
// has no selection.
struct SettingsDialogState {
    bool minimizeToTray = false; // CheckBox1
    bool playOnStart = false;    // PlayOnStartCB
    QString theme;               // SkinBox
    QString encoder;             // encoderbox
    QString bitrate;             // bitBox
    bool limitBitrate = false;   // LimitBitrateCB
    bool customFolder = false;   // CheckBox4
    QString folder;              // folderEdit, as typed
    bool showNotifier = true;    // CheckBox2
    int notifierSeconds = 6;     // TrackBar1

    bool operator==(const SettingsDialogState&) const = default;
};

// The controls as the dialog shows them each time it opens. theme is kept from `current` (the
// theme list is filled once, at creation); encoder and bitrate are cleared when the value is not
// among the offered entries; folder keeps current.folder while the default folder is in use.
SettingsDialogState dialogStateFor(const PlayerSettings& settings, const RecorderSettings& recorder,
                                   const QString& appPath, const QStringList& encoders,
                                   const SettingsDialogState& current);

struct ApplyResult {
    bool saved = false;      // config.ini was written; false leaves the file as it was
    QString error;           // why it was not written, for the one message the dialog shows
    QString skinFolder;      // the folder to reload the theme from (always reloaded)
    QStringList changedKeys; // "Section/Key" of the values that differ from the file's before
};

// Apply: a config.ini that exists but cannot be read is left as it is (saved false, error
// says why); otherwise Apply writes General Theme, MinimizeToTray, PlayOnStart, ShowNotifier,
// NotifierDelay and Recording Bitrate, Encoder, Folder, LimitBitrate into appPath + "config.ini"
// (every other line is kept), and puts the same values into the running settings. The running Theme
// is left as it is (it names the theme loaded at start-up); the running notifier keeps its timer
// interval until the next start, but NotifierDelay itself is updated. A custom folder is stored
// with a trailing
// "/" added when missing; without a custom folder, or with a blank one, the file stores an empty
// Folder and the recorder uses the default folder.
ApplyResult applySettings(const SettingsDialogState& state, const QString& appPath,
                          PlayerSettings& settings, RecorderSettings& recorder);

} // namespace tl
