#pragma once
// Looks for a top-level X11 window by its exact title (_NET_WM_NAME, else WM_NAME).
// Without an X display nothing is found.

#include <QString>

namespace tl {

bool topLevelWindowExists(const QString& title);

} // namespace tl
