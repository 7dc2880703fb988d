#pragma once
// Reading and writing config.ini: what the player window reads at creation and writes when it
// closes. Pure logic on an IniFile; the window decides when.

#include "common/ini_file.h"
#include "player/player_types.h"

#include <QPoint>
#include <QRect>

namespace tl {

struct RecorderSettings {
    QString Encoder;
    QString Bitrate = QStringLiteral("128");
    QString Folder; // ends with "/" when it is the default
    bool LimitBitrate = false;
};

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
    QRect stations{100, 100, 500, 400}; // the station manager's position and size
    NowPlaying last;                    // Category, Index, Url, Info, ServiceIndex
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

} // namespace tl
