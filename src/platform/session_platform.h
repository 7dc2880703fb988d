#pragma once
// Which Qt platform plugin the player asks for. The skinned player window places itself,
// stays on top and takes its shape from its picture, which a Wayland compositor does not let
// a client do; under XWayland all of that works. So on a Wayland session with an X display at
// hand the program runs on xcb, unless the user chose a platform.

#include <QByteArray>

#include <optional>

namespace tl {

// The environment values the choice depends on (empty when unset).
struct SessionEnvironment {
    QByteArray qpaPlatform;    // QT_QPA_PLATFORM
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray sessionType;    // XDG_SESSION_TYPE
    QByteArray display;        // DISPLAY

    static SessionEnvironment fromProcess();
};

// "xcb" when the session is Wayland (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE "wayland"), an X
// display is named and QT_QPA_PLATFORM is empty; nullopt leaves the choice to Qt.
std::optional<QByteArray> preferredPlatform(const SessionEnvironment& env);

} // namespace tl
