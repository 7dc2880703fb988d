#include "platform/session_platform.h"

#include <QtGlobal>

namespace tl {

SessionEnvironment SessionEnvironment::fromProcess() {
    return SessionEnvironment{
        .qpaPlatform = qgetenv("QT_QPA_PLATFORM"),
        .waylandDisplay = qgetenv("WAYLAND_DISPLAY"),
        .sessionType = qgetenv("XDG_SESSION_TYPE"),
        .display = qgetenv("DISPLAY"),
    };
}

std::optional<QByteArray> preferredPlatform(const SessionEnvironment& env) {
    if (!env.qpaPlatform.trimmed().isEmpty()) {
        return std::nullopt;
    }
    const bool wayland = !env.waylandDisplay.isEmpty() ||
                         env.sessionType.trimmed().toLower() == QByteArrayLiteral("wayland");
    if (!wayland || env.display.trimmed().isEmpty()) {
        return std::nullopt;
    }
    return QByteArrayLiteral("xcb");
}

} // namespace tl
