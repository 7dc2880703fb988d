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

namespace {

// The standard reason phrase of the status codes a stream server is likely to answer with.
// The server's own phrase is not shown: it is network text of any length and content.
QString reasonPhrase(int status) {
    static const struct {
        int status;
        const char* phrase;
    } phrases[] = {
        {400, "Bad Request"},         {401, "Unauthorized"},
        {403, "Forbidden"},           {404, "Not Found"},
        {405, "Method Not Allowed"},  {407, "Proxy Authentication Required"},
        {408, "Request Timeout"},     {410, "Gone"},
        {429, "Too Many Requests"},   {500, "Internal Server Error"},
        {501, "Not Implemented"},     {502, "Bad Gateway"},
        {503, "Service Unavailable"}, {504, "Gateway Timeout"},
    };
    for (const auto& p : phrases) {
        if (p.status == status) {
            return QString::fromLatin1(p.phrase);
        }
    }
    return {};
}

} // namespace

std::optional<QString> PlayFailureText(audio::ErrorCode code, const QString& host, int httpStatus,
                                       audio::ConnectFault connect, const std::string& detail) {
    using audio::ErrorCode;
    const QString server = host.isEmpty() ? QStringLiteral("the server") : host;
    switch (code) {
    case ErrorCode::Ok:
    case ErrorCode::Cancelled:
        return std::nullopt;
    case ErrorCode::FileForm:
        return QStringLiteral("No audio in this stream");
    case ErrorCode::Init:
    case ErrorCode::Driver:
        return QStringLiteral("No sound output device");
    default:
        break;
    }
    if (httpStatus >= 400 && httpStatus <= 599) {
        const QString phrase = reasonPhrase(httpStatus);
        return QStringLiteral("Server answered %1").arg(httpStatus) +
               (phrase.isEmpty() ? QString() : u' ' + phrase);
    }
    if (code == ErrorCode::Timeout) {
        return httpStatus == 0 ? QStringLiteral("Can't connect to %1: no answer").arg(server)
                               : QStringLiteral("%1 sent no audio in time").arg(server);
    }
    if (code == ErrorCode::FileOpen) {
        switch (connect) {
        case audio::ConnectFault::Refused:
            return QStringLiteral("Can't connect to %1: connection refused").arg(server);
        case audio::ConnectFault::NameLookup:
            return QStringLiteral("Can't connect to %1: host not found").arg(server);
        case audio::ConnectFault::Redirects:
            return QStringLiteral("%1 sent a redirection that can't be followed").arg(server);
        case audio::ConnectFault::Headers:
            return QStringLiteral("%1 sent too much header data").arg(server);
        case audio::ConnectFault::Playlist:
            return QStringLiteral("Can't play %1: %2").arg(server, QString::fromStdString(detail));
        default:
            break;
        }
        return httpStatus >= 200 && httpStatus <= 299
                   ? QStringLiteral("%1 closed the connection").arg(server)
                   : QStringLiteral("Can't connect to %1").arg(server);
    }
    return QStringLiteral("Can't play this stream");
}

} // namespace tl
