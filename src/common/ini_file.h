#pragma once
// Private-profile INI files ("[Section]" lines followed by "key=value" lines), with the
// lookup rules the program's settings and playlist files rely on:
//  - section and key names compare case-insensitively; the first matching section and the
//    first matching key inside it win;
//  - a value is the text after the first "=", trimmed of blanks, with one pair of enclosing
//    single or double quotes removed, and cut to at most 2047 characters;
//  - integers are the trimmed value read as a whole signed decimal, or hexadecimal after "$"
//    or "0x"; anything else (or a missing key) gives the caller's default;
//  - writing replaces the first matching key's line in place and keeps every other line
//    byte for byte; a missing key is appended to its section, a missing section to the file.
// Saving writes a temporary file in the same folder and renames it over the old one, so a
// crash or a full disk never leaves a half-written file.
//
// Not thread-safe; each owner keeps its own instance.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tl {

class IniFile {
public:
    static constexpr int kMaxValueLength = 2047;

    IniFile() = default;
    // Parses text; lines end at CR, LF or CR LF. Never fails: unparsable lines are kept as-is.
    static IniFile fromText(const QString& text);
    // Reads a file as UTF-8 (a file that is not valid UTF-8 is read as Windows-1252; a UTF-8
    // byte-order mark is kept for saving). A missing or unreadable file gives an empty document.
    static IniFile load(const QString& path);
    // The bytes of a file as load() reads them (what load() and tryLoad() call).
    static IniFile fromBytes(QByteArray bytes);
    // As load(), but a file that exists and cannot be read gives nullopt (with the reason in
    // *error), so a caller that writes the file back does not replace it with a stub.
    static std::optional<IniFile> tryLoad(const QString& path, QString* error = nullptr);

    // nullopt when the section or key is missing.
    std::optional<QString> find(QStringView section, QStringView key) const;
    QString value(QStringView section, QStringView key, const QString& def = {}) const;
    int intValue(QStringView section, QStringView key, int def) const;
    // Stored booleans are true only when the value reads as the integer 1.
    bool boolValue(QStringView section, QStringView key, bool def) const;

    // Line breaks in the value are written as blanks (they would split the line). A value that
    // would not read back unchanged (outer blanks, or enclosing quotes) is written in quotes.
    void setValue(QStringView section, QStringView key, const QString& value);
    void setInt(QStringView section, QStringView key, int value);
    void setBool(QStringView section, QStringView key, bool value);

    QString toText() const;
    // The bytes save() writes: UTF-8, with the byte-order mark the file was read with.
    QByteArray toBytes() const;
    // Atomic write. Returns false (and leaves the old file untouched) on any failure.
    bool save(const QString& path) const;

    // The integer rule on its own: nullopt for anything that is not a whole number.
    static std::optional<int> parseInt(QStringView value);

private:
    struct Line {
        QString text; // without its line break
        QString eol;  // "\r\n", "\n", "\r", or empty for a last line without a break
    };
    // Index of the first line of the first matching section's header, or -1.
    qsizetype findSection(QStringView section) const;
    // Index of the first matching key line in the section starting at sectionLine, or -1.
    qsizetype findKey(qsizetype sectionLine, QStringView key) const;

    std::vector<Line> lines_;
    QString newline_ = QStringLiteral("\n"); // used for lines this object adds
    bool bom_ = false;
};

// Writes bytes to path through a temporary file in the same folder and a rename.
bool writeFileAtomically(const QString& path, const QByteArray& data);

} // namespace tl
