#include "recording/recording_names.h"
#include "common/local_file.h"

#include "common/text.h"
#include "common/wildcard.h"

#include <QFile>

namespace tl {

namespace {

constexpr int kMaxNameBytes = 255; // one entry of the file system, in bytes
constexpr int kMaxCollisions = 999;

// The decimal whole number at the start of text, when the rest is nothing or a unit in kbit/s
// ("128", "128 kbps"); "1.5 Mbps" and texts without a number give nothing.
std::optional<long long> kbitNumber(const QString& text) {
    const QString t = text.trimmed();
    qsizetype n = 0;
    while (n < t.size() && n < 9 && t[n].unicode() >= u'0' && t[n].unicode() <= u'9')
        ++n;
    const QString unit = t.mid(n).trimmed();
    if (n == 0 || !(unit.isEmpty() || unit.compare(u"kbps", Qt::CaseInsensitive) == 0 ||
                    unit.compare(u"kbit/s", Qt::CaseInsensitive) == 0))
        return std::nullopt;
    return t.left(n).toLongLong();
}

bool visibleInName(char32_t c) {
    if (c == U'/' || c == 0)
        return false;
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
}

} // namespace

QString LimitBitrate(const QString& setting, bool limit, const QString& streamBitrate) {
    const std::optional<long long> wanted = kbitNumber(setting);
    const long long b = wanted && *wanted > 0 ? *wanted : 128;
    if (limit) {
        const std::optional<long long> stream = kbitNumber(streamBitrate);
        if (stream && *stream > 0 && b > *stream)
            return QString::number(*stream);
    }
    return QString::number(b);
}

QString ExpandNameTemplate(const QString& title, const QString& info) {
    QString name = QStringLiteral("%TITLE%");
    name.replace(QStringLiteral("%TITLE%"), title);
    name.replace(QStringLiteral("%INFO%"), info);
    return name;
}

QString RecordingTimePrefix(const QDateTime& when) {
    return when.toString(QStringLiteral("dd.MM' - 'HH_mm_ss' - '"));
}

QString SafeNamePart(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (char32_t c : text.toUcs4()) {
        if (visibleInName(c))
            out += QString::fromUcs4(&c, 1);
        else
            out += u'_';
    }
    qsizetype start = 0;
    while (start < out.size() && (out[start] == u'.' || out[start].isSpace()))
        ++start;
    out.remove(0, start);
    return out.isEmpty() ? QStringLiteral("No Title") : out;
}

QString RecordingExtension(const QString& encoder) {
    if (encoder == u"lame")
        return QStringLiteral(".mp3");
    if (encoder == u"oggenc2")
        return QStringLiteral(".ogg");
    return {};
}

QString CutToUtf8Bytes(const QString& text, int maxBytes) {
    int bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const char16_t u = text[i].unicode();
        const int need = pair ? 4 : (u < 0x80 ? 1 : (u < 0x800 ? 2 : 3));
        if (bytes + need > maxBytes)
            break;
        bytes += need;
        i += pair ? 2 : 1;
    }
    return text.left(i);
}

std::optional<QString> RecordingFilePath(const QString& folder, const QString& stem,
                                         const QString& ext,
                                         const std::function<bool(const QString&)>& taken) {
    if (folder.isEmpty() || !folder.endsWith(u'/') || ext.contains(u'/'))
        return std::nullopt;
    for (int n = 1; n <= kMaxCollisions; ++n) {
        const QString suffix = n == 1 ? QString() : QStringLiteral(" (%1)").arg(n);
        const int room = kMaxNameBytes - static_cast<int>((suffix + ext).toUtf8().size());
        const QString name = CutToUtf8Bytes(stem, room) + suffix + ext;
        // A direct entry of the folder: no separator, not "." or "..", not hidden.
        if (name.contains(u'/') || name.startsWith(u'.') || name.contains(QChar(0)))
            return std::nullopt;
        const QString path = folder + name;
        if (!taken || !taken(path))
            return path;
    }
    return std::nullopt;
}

std::vector<std::string> EncoderArguments(const QString& encoder, const QString& executable,
                                          const QString& bitrate, const QString& file) {
    const std::string exe = QFile::encodeName(executable).toStdString();
    const std::string b = bitrate.toStdString();
    const std::string f = QFile::encodeName(file).toStdString();
    if (encoder == u"lame")
        return {exe, "-b", b, "-", f};
    if (encoder == u"oggenc2")
        return {exe, "-b", b, "-o", f, "-"};
    return {};
}

AutoRecordList AutoRecordList::load(const QString& path) {
    const LocalFile file = readLocalFile(path, kMaxListBytes);
    if (file.status != LocalFile::Status::Ok)
        return {};
    return AutoRecordList(splitLines(QString::fromUtf8(file.bytes)));
}

bool AutoRecordList::IsAutoRecordTitle(const QString& title) const {
    for (const QString& line : lines_) {
        // An invalid line (an unclosed set) matches nothing; the others still count.
        if (wildcardContains(title, line).value_or(false))
            return true;
    }
    return false;
}

} // namespace tl
