#include "recording/recording_names.h"

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

RecordingTags TagsFor(const QString& streamTitle, const QString& stationName, const QDate& date) {
    RecordingTags t;
    const QString& title = streamTitle;
    const qsizetype dash = title.indexOf(QStringLiteral(" - "));
    if (dash >= 0) {
        t.artist = title.left(dash).trimmed();
        t.title = title.mid(dash + 3).trimmed();
    } else {
        t.title = title.trimmed();
    }
    t.album = stationName.trimmed();
    t.date = date;
    return t;
}

OggShape OggShapeFor(int kbps) {
    // The lowest nominal bitrate the Vorbis modes accept, per rate, found by trying oggenc.
    if (kbps >= 48)
        return {};
    if (kbps >= 32)
        return {22050, false};
    if (kbps >= 24)
        return {16000, false};
    if (kbps >= 16)
        return {11025, false};
    if (kbps >= 12)
        return {8000, false};
    return {8000, true};
}

std::vector<std::string> EncoderArguments(const QString& encoder, const QString& executable,
                                          const QString& bitrate, const QString& file,
                                          const RecordingTags& tags) {
    const std::string exe = QFile::encodeName(executable).toStdString();
    const std::string f = QFile::encodeName(file).toStdString();
    std::vector<std::string> args;
    auto tag = [&](const char* option, const QString& value) {
        // Each option takes the next argument whatever it holds: "--help" stays a title.
        if (!value.isEmpty()) {
            args.emplace_back(option);
            args.push_back(value.toStdString());
        }
    };
    const QString year = tags.date.isValid() ? QString::number(tags.date.year()) : QString();
    if (encoder == u"lame") {
        args = {exe, "-b", bitrate.toStdString()};
        tag("--tt", tags.title);
        tag("--ta", tags.artist);
        tag("--tl", tags.album);
        tag("--ty", year);
        args.insert(args.end(), {"-", f});
        return args;
    }
    if (encoder == u"oggenc2") {
        args = {exe, "-b", bitrate.toStdString()};
        const OggShape shape = OggShapeFor(bitrate.toInt());
        if (shape.resample != 0)
            args.insert(args.end(), {"--resample", std::to_string(shape.resample)});
        if (shape.downmix)
            args.emplace_back("--downmix");
        tag("-t", tags.title);
        tag("-a", tags.artist);
        tag("-l", tags.album);
        tag("-d", tags.date.isValid() ? tags.date.toString(Qt::ISODate) : QString());
        args.insert(args.end(), {"-o", f, "-"});
        return args;
    }
    return {};
}

bool RecordingHoldsAudio(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const QByteArray head = file.read(16);
    if (head.startsWith("OggS")) {
        // Header pages carry granule position 0; the first audio page a larger one.
        qint64 at = 0;
        while (at + 27 <= size) {
            file.seek(at);
            const QByteArray page = file.read(27);
            if (page.size() < 27 || !page.startsWith("OggS"))
                return false;
            int64_t granule = 0;
            for (int i = 7; i >= 0; --i)
                granule = (granule << 8) | static_cast<uint8_t>(page[6 + i]);
            const int segments = static_cast<uint8_t>(page[26]);
            const QByteArray lacing = file.read(segments);
            if (lacing.size() < segments)
                return false;
            qint64 body = 0;
            for (char l : lacing)
                body += static_cast<uint8_t>(l);
            if (granule > 0 && at + 27 + segments + body <= size)
                return true;
            at += 27 + segments + body;
        }
        return false;
    }
    // MP3: skip an ID3v2 tag at the start and an ID3v1 tag at the end.
    qint64 audio = size;
    if (head.size() >= 10 && head.startsWith("ID3")) {
        qint64 tag = 0; // a syncsafe size, after the 10-byte header
        for (int i = 6; i < 10; ++i)
            tag = (tag << 7) | (static_cast<uint8_t>(head[i]) & 0x7f);
        audio -= 10 + tag;
    }
    if (size >= 128 && file.seek(size - 128) && file.read(3) == "TAG")
        audio -= 128;
    // lame's first frame is an information frame (at most 1,441 bytes at 320 kbit/s).
    constexpr qint64 kInfoFrameAndOneMore = 2 * 1441;
    return audio > kInfoFrameAndOneMore;
}

AutoRecordList AutoRecordList::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return AutoRecordList(splitLines(QString::fromUtf8(file.readAll())));
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
