#pragma once
// The seam between the station manager (and its search and recordings pages) and the player
// window. It lives below both, so the pages need no header of the player.
//
// The composition root fills a PlayerLink before it creates the station manager and keeps
// the player alive for as long as the manager. Every member may be empty (tests run the
// manager without a player): an empty member is simply not called, and an empty query
// reads as "no" / empty text. All calls happen on the UI thread.

#include <QRect>
#include <QString>

#include <functional>

namespace tl {

struct PlayerLink {
    std::function<void()> playCommand;                      // the player's Button1Click
    std::function<void(const QString& info)> stationStatus; // WM_STREAM_STATUS code 3
    std::function<void(bool prev, bool next)> setPrevNextEnabled;
    std::function<void(bool enabled)> setPlayEnabled; // the play control
    std::function<void(const QString&)> setTimeText;  // "00:00" at start-up
    std::function<QString()> nowPlayingStationUrl;    // for the now-playing mark
    std::function<bool()> isStreamOpen;               // a stream or a video station is playing
    std::function<void()> raisePlayer;                // bring the player window to the front
    std::function<void()> repaintSkin;
    std::function<void()> managerClosed;                  // re-enable the player's manager button
    std::function<void(const QString&)> showNotification; // the notifier (ShowNotification)
    // The search tab's service and count box index changed (Last/ServiceIndex and
    // General/SearchResCount are written at close).
    std::function<void(int serviceIndex, int countIndex)> searchChoiceChanged;

    // A double-click on a station row: stops what plays, plays the selected station (the play
    // command reads the manager's selection) and brings the player to the front.
    void playSelectedStation() const {
        if (playCommand) {
            if (isStreamOpen && isStreamOpen())
                playCommand(); // stops what plays
            playCommand();
        }
        if (raisePlayer)
            raisePlayer();
    }
};

// What the manager needs from config.ini at creation.
struct LibraryStartup {
    QString appPath;      // program folder with a trailing '/'; stations.xml lives there
    int lastCategory = 0; // "Category" of "Last": 0 favourites, 1 search
    int lastIndex = 0;    // "Index" of "Last": the favourites row last played
    QString lastInfo;     // "Info" of "Last"
    QRect geometry{100, 100, 500, 400}; // StationsX/Y/W/H
    int serviceIndex = 3;               // "ServiceIndex" of "Last": the directory service
    int searchResCount = 0;             // "SearchResCount" of "General": the count box index
};

} // namespace tl
