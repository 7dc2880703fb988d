#pragma once
// The values every feature shares, owned by the player window for the whole run: the settings
// read from config.ini, the current station, and the stream status codes the worker reports
// with. Plain types without code of the player, so every room above common/ may include them.
// All of it is owned by the UI thread; the stream worker only reads NowPlaying.Url before it
// starts and reports everything else through WM_STREAM_STATUS.

#include <QString>

#include <cstdint>

namespace tl {

struct PlayerSettings {
    int NotifierDelay = 6000; // ms
    int Volume = 6;           // knob position 0..10
    int SearchResCount = 0;
    bool ScrollInfo = true;
    bool ScrollTitle = true;
    bool PlayOnStart = false;
    bool Muted = false; // not stored
    QString Proxy;
    QString Theme;
    bool MinimizeToTray = false;
    bool ShowNotifier = true;
    bool Log = true;
    bool OnTop = false;
    int VisualizationType = 0;
};

struct NowPlaying {
    QString Url;        // resolved stream address that is played
    QString StationUrl; // the station's address as chosen, before playlist resolution
    QString StreamTitle;
    QString Genre;
    QString Info;
    QString Title;
    QString StationName;
    QString Bitrate;
    bool IsVideo = false;
    int Category = 0;
    int Index = 0;
    int ServiceIndex = 0;
    QString LastTitle;
};

enum StreamKind : uint8_t { skMP3 = 0, skAAC = 1, skWMA = 2, skVideo = 3 };

// Codes of the player window's WM_STREAM_STATUS entry point.
enum StreamStatus : int {
    ssConnecting = 0,
    ssStopped = 1,
    ssBuffering = 2,
    ssStationName = 3,
    ssBitrate = 4,
    ssBitrateText = 5,
    ssSongText = 6,
    ssTitle = 7,
    ssServerStatus = 8,
};

// The "Recording" section of config.ini: the encoder and where recordings go.
struct RecorderSettings {
    QString Encoder;
    QString Bitrate = QStringLiteral("128");
    QString Folder; // ends with "/" when it is the default
    bool LimitBitrate = false;
};

// What the station manager hands the play command: the selected row of its current page.
struct StationChoice {
    int Category = 0; // 0 favourites, 1 search results
    int Index = 0;    // favourites row
    QString Name;
    QString Url;
    bool IsVideo = false;
};

} // namespace tl
