#pragma once
// Reading and writing config.ini: what the player window reads at creation and writes when it
// closes. Pure logic on an IniFile; the window decides when.

#include "common/ini_file.h"
#include "common/player_types.h"

#include <QPoint>
#include <QRect>

#include <optional>

namespace tl {

// Everything the player window's creation reads.
struct StartupConfig {
    PlayerSettings settings;
    RecorderSettings recorder;
    QPoint position{100, 100};
    int vx = 100;
    int vy = 100;
    // Last station: Category, Index, Url, Info, ServiceIndex of NowPlaying.
    NowPlaying last;
};

// Everything the player window's close writes.
struct CloseValues {
    QPoint position;
    int vx = 100;
    int vy = 100;
    std::optional<QRect> stations; // the station manager's position and size, once it exists
    NowPlaying last;               // Category, Index, Url, Info, ServiceIndex
    bool scrollInfo = true;
    bool scrollTitle = true;
    int volume = 6;
    int searchResCount = 0;
    int visualizationType = 0;
    bool onTop = false;
    int lastStation = 0;
};

// A stored volume of -11..-1 becomes 6; anything else is clamped to 0..10.
int normaliseVolume(int stored);

// appPath ends with "/". A recordings folder that does not exist falls back to
// appPath + "Recordings/".
StartupConfig readStartupConfig(const IniFile& ini, const QString& appPath);

void writeCloseValues(IniFile& ini, const CloseValues& values);

// Writes the close values into the config.ini at path, keeping its other lines. A file that
// exists but cannot be read is left as it is. Returns the text to show the user when the
// settings could not be saved, nullopt when they were.
std::optional<QString> saveCloseValues(const QString& path, const CloseValues& values);

} // namespace tl
