#pragma once
// Decisions behind the player window's commands, kept apart from the window so they can be
// tested directly: previous/next on a list, edge snapping, which menu items show, whether a
// notification may pop up.

#include "audio/engine.h"

#include <QRect>
#include <QString>

#include <optional>

namespace tl {

// Previous (delta -1) and next (+1) without wrap-around. selected is -1 when no row is
// selected. Returns the row to select, -1 to leave none selected, or nullopt when nothing
// changes (next past the last row, previous with none selected, an empty list).
std::optional<int> StepRow(int selected, int count, int delta);

// A new window position near the work area's edges: within `margin` pixels of an edge (or
// beyond it) the window sticks to that edge.
QPoint SnapToWorkArea(QRect window, QRect workArea, int margin = 8);

struct PlayerMenuState {
    bool playbackItemsVisible = false; // Play, Stop, Previous, Next, the separator, Record
    bool playEnabled = false;
    bool stopEnabled = false;
    bool previousEnabled = false;
    bool nextEnabled = false;
    bool managerEnabled = false;     // "Favourites/Search"
    bool addCurrentEnabled = false;  // "Add current station to Favourites"
    bool stationInfoEnabled = false; // "Station Information"
};

// withPlayback: opened from the tray icon (true) or from the window (false).
PlayerMenuState PlayerMenuItems(bool withPlayback, bool audioStreamOpen, bool previousEnabled,
                                bool nextEnabled, bool managerEnabled);

// The notifier pops up only when it is allowed, an audio stream is open and none is up.
// Returns the text to show, or nullopt.
std::optional<QString> NotificationText(const QString& text, bool showNotifier,
                                        bool audioStreamOpen, bool notifierShown);

inline constexpr char kTextNoStreamInPlaylist[] = "Playlist holds no stream address";

// Why a station could not be played, for the notifier: from the engine's error code, the host
// of the address, the status code of the server's last answer (0 when none came) and what
// failed before an answer (with the engine's words for a Playlist fault). nullopt for a success
// and for a cancelled open (the user stopped).
std::optional<QString> PlayFailureText(audio::ErrorCode code, const QString& host, int httpStatus,
                                       audio::ConnectFault connect = audio::ConnectFault::None,
                                       const std::string& detail = {});

} // namespace tl
