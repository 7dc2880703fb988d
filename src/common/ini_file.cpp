#include "common/ini_file.h"
#include "common/local_file.h"

#include "common/text.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <unistd.h>

namespace tl {

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");

// Makes a rename in the folder durable: without it a power cut after the rename may bring back
// the old directory entry. Failure is ignored, as the new file is already in place.
void syncFolderOf(const QString& path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool isQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

// The name of a "[Section]" line, or nullopt when the line is not a section header. A header
// without its closing "]" names the rest of the line.
std::optional<QStringView> sectionNameOf(QStringView line) {
    const QStringView t = line.trimmed();
    if (!t.startsWith(u'[')) {
        return std::nullopt;
    }
    QStringView name = t.mid(1);
    const qsizetype close = name.indexOf(u']');
    if (close >= 0) {
        name = name.left(close);
    }
    return name.trimmed();
}

// Position of the "=" of a "key=value" line, or -1.
qsizetype equalsOf(QStringView line) {
    return line.indexOf(u'=');
}

QString valueOf(QStringView line, qsizetype equals) {
    QStringView v = line.mid(equals + 1).trimmed();
    if (v.size() >= 2 && isQuote(v.front()) && v.back() == v.front()) {
        v = v.mid(1, v.size() - 2);
    }
    if (v.size() > IniFile::kMaxValueLength) {
        qsizetype n = IniFile::kMaxValueLength;
        // Never keep half of a surrogate pair.
        if (v[n - 1].isHighSurrogate()) {
            --n;
        }
        v = v.left(n);
    }
    return v.toString();
}

bool sameName(QStringView a, QStringView b) {
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// The text written after "key=": it reads back as the given value.
QString encodeValue(const QString& value) {
    QString v = value;
    v.replace(u'\r', u' ');
    v.replace(u'\n', u' ');
    const bool outerBlanks = !v.isEmpty() && (v.front().isSpace() || v.back().isSpace());
    const bool enclosed = v.size() >= 2 && isQuote(v.front()) && v.back() == v.front();
    if (outerBlanks || enclosed) {
        return u'"' + v + u'"';
    }
    return v;
}

} // namespace

IniFile IniFile::fromText(const QString& text) {
    IniFile ini;
    bool newlineKnown = false;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            continue;
        }
        qsizetype eolLength = 1;
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
            eolLength = 2;
        }
        Line line{text.mid(start, i - start), text.mid(i, eolLength)};
        if (!newlineKnown) {
            ini.newline_ = line.eol;
            newlineKnown = true;
        }
        ini.lines_.push_back(std::move(line));
        i += eolLength - 1;
        start = i + 1;
    }
    if (start < n) {
        ini.lines_.push_back(Line{text.mid(start), QString()});
    }
    return ini;
}

IniFile IniFile::load(const QString& path) {
    return tryLoad(path).value_or(IniFile{});
}

std::optional<IniFile> IniFile::tryLoad(const QString& path, QString* error) {
    if (const LocalFile local = readLocalFile(path, kMaxSettingsBytes);
        local.status == LocalFile::Status::NotRegular ||
        local.status == LocalFile::Status::TooLarge) {
        if (error != nullptr) {
            *error = local.error();
        }
        return std::nullopt;
    }
    QFile file(path);
    if (!file.exists()) {
        return IniFile{};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return std::nullopt;
    }
    return fromBytes(bytes);
}

IniFile IniFile::fromBytes(QByteArray bytes) {
    bool bom = false;
    if (bytes.startsWith(kUtf8Bom)) {
        bom = true;
        bytes.remove(0, kUtf8Bom.size());
    }
    QString text = decodeNetworkText(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    // Read as UTF-8, the decoder drops a mark at the start of its text; one after the file's
    // own mark is part of the text.
    if (bytes.startsWith(kUtf8Bom) && !text.startsWith(u"\u00EF\u00BB\u00BF")) {
        text.prepend(QChar(0xFEFF));
    }
    IniFile ini = fromText(text);
    ini.bom_ = bom;
    return ini;
}

qsizetype IniFile::findSection(QStringView section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = sectionNameOf(lines_[i].text);
        if (name && sameName(*name, section)) {
            return static_cast<qsizetype>(i);
        }
    }
    return -1;
}

qsizetype IniFile::findKey(qsizetype sectionLine, QStringView key) const {
    for (auto i = static_cast<std::size_t>(sectionLine) + 1; i < lines_.size(); ++i) {
        const QString& text = lines_[i].text;
        if (sectionNameOf(text)) {
            break;
        }
        const qsizetype eq = equalsOf(text);
        if (eq >= 0 && sameName(QStringView(text).left(eq), key)) {
            return static_cast<qsizetype>(i);
        }
    }
    return -1;
}

std::optional<QString> IniFile::find(QStringView section, QStringView key) const {
    const qsizetype s = findSection(section);
    if (s < 0) {
        return std::nullopt;
    }
    const qsizetype k = findKey(s, key);
    if (k < 0) {
        return std::nullopt;
    }
    const QString& text = lines_[static_cast<std::size_t>(k)].text;
    return valueOf(text, equalsOf(text));
}

QString IniFile::value(QStringView section, QStringView key, const QString& def) const {
    return find(section, key).value_or(def);
}

int IniFile::intValue(QStringView section, QStringView key, int def) const {
    const auto v = find(section, key);
    if (!v) {
        return def;
    }
    return parseInt(*v).value_or(def);
}

bool IniFile::boolValue(QStringView section, QStringView key, bool def) const {
    const auto v = find(section, key);
    if (!v) {
        return def;
    }
    const auto i = parseInt(*v);
    if (!i) {
        return def;
    }
    return *i == 1;
}

void IniFile::setValue(QStringView section, QStringView key, const QString& value) {
    const QString line = key.toString() + u'=' + encodeValue(value);
    const qsizetype s = findSection(section);
    if (s < 0) {
        if (!lines_.empty() && lines_.back().eol.isEmpty()) {
            lines_.back().eol = newline_;
        }
        lines_.push_back(Line{u'[' + section.toString() + u']', newline_});
        lines_.push_back(Line{line, newline_});
        return;
    }
    const qsizetype k = findKey(s, key);
    if (k >= 0) {
        lines_[static_cast<std::size_t>(k)].text = line;
        return;
    }
    // Append after the section's last non-blank line, so blank separators stay in front of
    // the next section.
    auto last = static_cast<std::size_t>(s);
    for (auto i = last + 1; i < lines_.size(); ++i) {
        if (sectionNameOf(lines_[i].text)) {
            break;
        }
        if (!lines_[i].text.trimmed().isEmpty()) {
            last = i;
        }
    }
    if (lines_[last].eol.isEmpty()) {
        lines_[last].eol = newline_;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last + 1), Line{line, newline_});
}

void IniFile::setInt(QStringView section, QStringView key, int value) {
    setValue(section, key, QString::number(value));
}

void IniFile::setBool(QStringView section, QStringView key, bool value) {
    setValue(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QString IniFile::toText() const {
    QString out;
    for (const Line& line : lines_) {
        out += line.text;
        out += line.eol;
    }
    return out;
}

QByteArray IniFile::toBytes() const {
    QByteArray bytes;
    if (bom_) {
        bytes = kUtf8Bom;
    }
    bytes += toText().toUtf8();
    return bytes;
}

bool IniFile::save(const QString& path) const {
    return writeFileAtomically(path, toBytes());
}

std::optional<int> IniFile::parseInt(QStringView value) {
    QStringView v = value.trimmed();
    bool negative = false;
    if (!v.isEmpty() && (v.front() == u'-' || v.front() == u'+')) {
        negative = v.front() == u'-';
        v = v.mid(1);
    }
    int base = 10;
    if (v.startsWith(u'$')) {
        base = 16;
        v = v.mid(1);
    } else if (v.startsWith(u"0x", Qt::CaseInsensitive)) {
        base = 16;
        v = v.mid(2);
    }
    if (v.isEmpty()) {
        return std::nullopt;
    }
    // Hexadecimal may fill all 32 bits ("$FFFFFFFF" is -1, as colour values are written);
    // decimal must fit a signed 32-bit integer.
    const quint64 limit = base == 16 && !negative ? 0xFFFFFFFFull
                          : negative              ? 0x80000000ull
                                                  : 0x7FFFFFFFull;
    quint64 magnitude = 0;
    for (const QChar c : v) {
        const char16_t u = c.unicode();
        int digit = -1;
        if (u >= u'0' && u <= u'9') {
            digit = u - u'0';
        } else if (base == 16 && u >= u'a' && u <= u'f') {
            digit = u - u'a' + 10;
        } else if (base == 16 && u >= u'A' && u <= u'F') {
            digit = u - u'A' + 10;
        }
        if (digit < 0) {
            return std::nullopt;
        }
        magnitude = magnitude * static_cast<quint64>(base) + static_cast<quint64>(digit);
        if (magnitude > limit) {
            return std::nullopt;
        }
    }
    if (negative) {
        return static_cast<int>(-static_cast<qint64>(magnitude));
    }
    return static_cast<int>(static_cast<quint32>(magnitude));
}

// QSaveFile writes a temporary file beside path, syncs it to disk and renames it over path, so
// a crash at any moment leaves either the old or the new file, never a mix or a stub.
bool writeFileAtomically(const QString& path, const QByteArray& data) {
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        return false;
    }
    syncFolderOf(path);
    return true;
}

} // namespace tl
