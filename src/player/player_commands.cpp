#include "player/player_commands.h"

namespace tl {

std::optional<int> StepRow(int selected, int count, int delta) {
    if (count <= 0) {
        return std::nullopt;
    }
    if (selected < 0) {
        // With no row selected, next starts at the first row; previous has nowhere to go.
        return delta > 0 ? std::optional<int>(0) : std::nullopt;
    }
    const int target = selected + delta;
    if (target >= count) {
        return std::nullopt;
    }
    // Previous from the first row leaves no row selected.
    return target < 0 ? -1 : target;
}

QPoint SnapToWorkArea(QRect window, QRect workArea, int margin) {
    int left = window.left();
    int top = window.top();
    const int right = workArea.left() + workArea.width();
    const int bottom = workArea.top() + workArea.height();
    if (left <= workArea.left() + margin) {
        left = workArea.left();
    }
    if (left + window.width() >= right - margin) {
        left = right - window.width();
    }
    if (top <= workArea.top() + margin) {
        top = workArea.top();
    }
    if (top + window.height() >= bottom - margin) {
        top = bottom - window.height();
    }
    return {left, top};
}

PlayerMenuState PlayerMenuItems(bool withPlayback, bool audioStreamOpen, bool previousEnabled,
                                bool nextEnabled, bool managerEnabled) {
    PlayerMenuState s;
    s.playbackItemsVisible = withPlayback;
    s.playEnabled = !audioStreamOpen;
    s.stopEnabled = audioStreamOpen;
    s.previousEnabled = previousEnabled;
    s.nextEnabled = nextEnabled;
    s.managerEnabled = managerEnabled;
    s.addCurrentEnabled = audioStreamOpen;
    s.stationInfoEnabled = audioStreamOpen;
    return s;
}

std::optional<QString> NotificationText(const QString& text, bool showNotifier,
                                        bool audioStreamOpen, bool notifierShown) {
    if (!showNotifier || !audioStreamOpen || notifierShown) {
        return std::nullopt;
    }
    return text.trimmed().isEmpty() ? QStringLiteral("No Title") : text;
}

} // namespace tl
