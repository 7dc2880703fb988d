#pragma once
// What the About window shows and opens: the program's version, the text under the logo, the
// update page's address and where the logo goes. No widgets.

#include <QString>

#include <cstdint>
#include <map>
#include <optional>

namespace tl {

// A file's version information, as far as the About window reads it: the translation entry
// (language and code page) and strings by their sub-block path.
struct VersionResource {
    std::optional<std::pair<uint16_t, uint16_t>> translation;
    std::map<QString, QString> strings;
};

// "StringFileInfo\0<language>0<code page>\<value>", both numbers in lower-case hexadecimal
// each after a literal 0: language 0x0419 with code page 0x04E3 gives
// "StringFileInfo\041904e3\FileVersion".
QString VersionStringPath(uint16_t language, uint16_t codePage, const QString& valueName);

// The string valueName of a version resource; empty without a translation entry or value.
QString QueryVersionString(const VersionResource& resource, const QString& valueName);

// The version information of the program itself: the version the build stamps into it
// (the project version) as FileVersion, under English / Unicode.
VersionResource OwnVersionResource();

// Reads valueName from fileName's version information. Only the program's own file carries
// one on this platform; any other file gives an empty text.
QString GetVersionString(const QString& fileName, const QString& valueName);

// "Tunelark v<version>", a line break, then the credits.
QString AboutText(const QString& version);

// base + "?product=Tunelark&version=" + the version escaped as a query value.
QString UpdateAddress(const QString& base, const QString& version);
// The release page configured at build time (TUNELARK_UPDATE_URL); empty when none was.
QString DefaultUpdateBase();

// Left edge of a logo centred in a window: nearest(windowWidth / 2 - logoWidth / 2), ties to
// even.
int LogoLeft(int windowWidth, int logoWidth);
inline constexpr int kLogoTop = 15;

} // namespace tl
