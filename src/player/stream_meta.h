#pragma once
// Song titles from in-stream metadata, and the texts the player window derives from its state.

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tl {

// The title inside "StreamTitle='...';". nullopt when there is no text or no "StreamTitle=";
// a blank title gives "No Title". The title runs from just after the opening quote to the
// first "';" after it, wherever the field stands in the block (so "StreamTitle='AB;C';"
// yields "AB;C"); without a closing "';" it runs to the end, less a final quote. At most
// 1,024 UTF-16 units are kept (never half a surrogate pair).
std::optional<QString> ParseStreamMeta(std::optional<QStringView> text);

// What one ICY header line asks of the player window, in the order received. Header names
// compare case-sensitively at the start of the line ("ICY-NAME:" is ignored); values lose their
// outer blanks ("icy-name: Radio" names "Radio") and are cut to the network text length.
struct IcyHeaderStep {
    enum Kind { StationName, Bitrate, Genre } kind;
    QString text; // Bitrate: the value followed by " kbps"
};
std::vector<IcyHeaderStep> IcyHeaderSteps(const std::vector<std::string>& headers);

// Elapsed time as a time of day (hours wrap at 24): "mm:ss", or "hh:mm:ss" from one hour on.
QString ElapsedText(uint32_t seconds);

// Video bitrate from bits per second: "128 kbps" below 1000 kbit/s, else "1.5Mbps".
QString VideoBitrateText(qint64 bitsPerSecond);

// Only network streams are opened: http, https and the mms family. An address from a playlist
// on the network must not make the player read local files or other schemes.
bool IsPlayableStreamAddress(QStringView address);

// One line of the title log: "dd.mm.yy hh:nn:ss; title" followed by CR LF. Control characters
// in the title become blanks, so a title cannot forge lines of its own.
QByteArray TitleLogLine(const QDateTime& when, const QString& title);

} // namespace tl
