// The INI reader and writer. Checks: an untouched document is written back byte for byte
// (valid UTF-8 input) or at least reads back the same; a value written reads back (line breaks
// as blanks, cut at 2,047 units, never half a surrogate pair); writing one key changes no
// other key's value; the integer rule agrees with a plain reading of the digits.
//
// Input: the file's bytes; its first line is also the value written.

#include "common/ini_file.h"
#include "common/text.h"

#include "fuzz_support.h"

using tl::IniFile;
using tl::fuzz::check;
using tl::fuzz::validUtf8;

namespace {

// The integer rule, read independently: optional sign, then decimal, or hex after "$"/"0x".
std::optional<int> plainInt(const QString& value) {
    QString v = value.trimmed();
    bool negative = false;
    if (v.startsWith(u'-') || v.startsWith(u'+')) {
        negative = v.front() == u'-';
        v.remove(0, 1);
    }
    int base = 10;
    if (v.startsWith(u'$')) {
        base = 16;
        v.remove(0, 1);
    } else if (v.startsWith(u"0x", Qt::CaseInsensitive)) {
        base = 16;
        v.remove(0, 2);
    }
    if (v.isEmpty()) {
        return std::nullopt;
    }
    while (v.size() > 1 && v.front() == u'0') {
        v.remove(0, 1);
    }
    if (v.size() > 40) {
        return std::nullopt;
    }
    for (const QChar c : v) {
        if (c.unicode() > 127 || !(base == 16 ? isxdigit(c.unicode()) : isdigit(c.unicode()))) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const qulonglong magnitude = v.toULongLong(&ok, base);
    if (!ok) {
        return std::nullopt;
    }
    if (negative) {
        return magnitude <= 0x80000000ull
                   ? std::optional<int>(static_cast<int>(-static_cast<qint64>(magnitude)))
                   : std::nullopt;
    }
    const qulonglong limit = base == 16 ? 0xFFFFFFFFull : 0x7FFFFFFFull;
    return magnitude <= limit
               ? std::optional<int>(static_cast<int>(static_cast<quint32>(magnitude)))
               : std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = tl::fuzz::bytes(tl::fuzz::view(data, size));
    IniFile ini = IniFile::fromBytes(bytes);
    if (validUtf8(bytes)) {
        check(ini.toBytes() == bytes, "an untouched document is written back unchanged");
    }
    check(IniFile::fromBytes(ini.toBytes()).toText() == ini.toText(), "a written file reads back");

    const QString text = ini.toText();
    const QStringList lines = tl::splitLines(text);
    const QString value = lines.isEmpty() ? QString() : lines.front().left(3000);
    check(IniFile::parseInt(value) == plainInt(value), "the integer rule");

    // The first key of the document (if any) before and after writing another one.
    QString firstSection, firstKey;
    for (const QString& line : lines) {
        const QString t = line.trimmed();
        if (t.startsWith(u'[')) {
            firstSection = t.mid(1).section(u']', 0, 0).trimmed();
        } else if (!firstSection.isEmpty() && t.contains(u'=')) {
            firstKey = t.section(u'=', 0, 0).trimmed();
            break;
        }
    }
    const std::optional<QString> before = ini.find(firstSection, firstKey);

    ini.setValue(u"Last", u"Info", value);
    ini.setInt(u"General", u"x", -12345);
    const IniFile reread = IniFile::fromBytes(ini.toBytes());
    QString expected = value;
    expected.replace(u'\r', u' ').replace(u'\n', u' ');
    if (expected.size() > IniFile::kMaxValueLength) {
        qsizetype n = IniFile::kMaxValueLength;
        if (expected[n - 1].isHighSurrogate()) {
            --n;
        }
        expected.truncate(n);
    }
    check(reread.value(u"Last", u"Info") == expected, "a written value reads back");
    check(reread.intValue(u"General", u"x", 0) == -12345, "a written integer reads back");
    const bool touched = firstSection.compare(u"Last", Qt::CaseInsensitive) == 0 ||
                         firstSection.compare(u"General", Qt::CaseInsensitive) == 0;
    if (!touched && !firstKey.isEmpty()) {
        check(reread.find(firstSection, firstKey) == before, "other keys keep their values");
    }
    return 0;
}
