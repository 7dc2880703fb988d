#include "common/text.h"

#include <QStringDecoder>
#include <QStringList>

namespace tl {

namespace {

// Windows-1252 bytes 0x80..0x9F. The five unassigned bytes map to the C1 control of the same
// value, as the system's own conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString decodeCp1252(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b <= 0x9F) {
            out.append(QChar(kCp1252High[b - 0x80]));
        } else {
            out.append(QChar(static_cast<char16_t>(b)));
        }
    }
    return out;
}

} // namespace

QString decodeNetworkText(std::string_view bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) {
        return text;
    }
    return decodeCp1252(bytes);
}

QStringList splitLines(QStringView text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') {
            continue;
        }
        lines.append(text.mid(start, i - start).toString());
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < n) {
        lines.append(text.mid(start).toString());
    }
    return lines;
}

QString twoDigits(int value) {
    if (value < 0) {
        // Widen before negating: -INT_MIN does not fit an int.
        return u'-' + QString::number(-static_cast<long long>(value)).rightJustified(2, u'0');
    }
    return QString::number(value).rightJustified(2, u'0');
}

QString capNetworkText(QString text) {
    if (text.size() <= kMaxNetworkTextLength) {
        return text;
    }
    qsizetype length = kMaxNetworkTextLength;
    if (text.at(length - 1).isHighSurrogate()) {
        --length;
    }
    text.truncate(length);
    return text;
}

QString replaceControlCharacters(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

} // namespace tl
