#pragma once
// Text helpers for bytes that arrive from the network.

#include <QString>
#include <QStringList>

#include <string_view>

namespace tl {

// Valid UTF-8 is kept as UTF-8; anything else is read as Windows-1252.
QString decodeNetworkText(std::string_view bytes);

// The most characters of a name, title or description from the network that the program keeps:
// enough for any real station or song, and a 90 KB header cannot reach a label or a file.
inline constexpr qsizetype kMaxNetworkTextLength = 1024;

// text cut to kMaxNetworkTextLength characters (never between the halves of a surrogate pair).
QString capNetworkText(QString text);

// Control characters (C0, DEL, C1 and the line and paragraph separators) replaced by blanks,
// so a text from the network cannot start a line of its own in a file.
QString replaceControlCharacters(QString text);

// Splits text into lines ending at CR, LF or CR LF (no trimming, empty lines kept; a final
// line break does not add an empty last line).
QStringList splitLines(QStringView text);

// "7" -> "07"; used by the time texts.
QString twoDigits(int value);

} // namespace tl
