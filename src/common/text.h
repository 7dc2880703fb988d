#pragma once
// Text helpers for bytes that arrive from the network.

#include <QString>
#include <QStringList>

#include <string_view>

namespace tl {

// Valid UTF-8 is kept as UTF-8; anything else is read as Windows-1252.
QString decodeNetworkText(std::string_view bytes);

// Splits text into lines ending at CR, LF or CR LF (no trimming, empty lines kept; a final
// line break does not add an empty last line).
QStringList splitLines(QStringView text);

// "7" -> "07"; used by the time texts.
QString twoDigits(int value);

} // namespace tl
