#include "library/xml_text.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>
#include <optional>

namespace tl {

namespace {

// Declared names that mean "UTF-8 or a subset of it" for bytes whose declaration is readable
// as ASCII: a UTF-16/32 name there is wrong, since such a file could not be read this way.
bool isUtf8Compatible(const QString& name) {
    const QString n = name.toLower();
    return n.startsWith(QLatin1String("utf")) || n.startsWith(QLatin1String("ucs")) ||
           n == QLatin1String("us-ascii") || n == QLatin1String("ascii") ||
           n == QLatin1String("iso-646-us") || n == QLatin1String("iso646-us");
}

std::optional<QString> decodeStrictly(QStringDecoder& decoder, const QByteArray& data) {
    QString text = decoder.decode(data);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// UTF-16 without a byte order mark, known by its first characters: a document starts with "<"
// or white space, all below 0x80, so each of them is one NUL byte beside one that is not, the
// NUL first in big-endian order. Two to four characters are looked at; UTF-32 and 8-bit text
// show no such pattern.
std::optional<QStringConverter::Encoding> utf16ByNulBytes(const QByteArray& data) {
    const qsizetype units = std::min<qsizetype>(4, data.size() / 2);
    if (units < 2)
        return std::nullopt;
    bool little = true, big = true;
    for (qsizetype i = 0; i < units; ++i) {
        const auto first = static_cast<unsigned char>(data[2 * i]);
        const auto second = static_cast<unsigned char>(data[2 * i + 1]);
        little = little && second == 0 && first != 0 && first < 0x80;
        big = big && first == 0 && second != 0 && second < 0x80;
    }
    if (little)
        return QStringConverter::Utf16LE;
    if (big)
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

XmlUtf8 success(const QString& text) {
    XmlUtf8 result;
    result.ok = true;
    result.utf8 = text.toUtf8();
    return result;
}

XmlUtf8 failure(QString error) {
    XmlUtf8 result;
    result.error = std::move(error);
    return result;
}

} // namespace

QString declaredXmlEncoding(const QByteArray& data) {
    // The declaration ends at the first "?>"; it is short, so only the start is looked at.
    const QByteArray head = data.left(512);
    static const QRegularExpression declaration(QStringLiteral(
        R"(^\s*<\?xml\s[^?>]*?\bencoding\s*=\s*(["'])([A-Za-z][A-Za-z0-9._:\-]*)\1)"));
    const QRegularExpressionMatch match = declaration.match(QString::fromLatin1(head));
    return match.hasMatch() ? match.captured(2) : QString();
}

XmlUtf8 xmlToUtf8(const QByteArray& data) {
    auto detected = QStringConverter::encodingForData(data, u'<');
    if (!detected)
        detected = utf16ByNulBytes(data);
    if (detected && *detected != QStringConverter::Utf8) {
        QStringDecoder decoder(*detected);
        if (auto text = decodeStrictly(decoder, data))
            return success(*text);
        return failure(QStringLiteral("The file is not valid %1 text.")
                           .arg(QString::fromLatin1(QStringConverter::nameForEncoding(*detected))));
    }

    const QString declared = declaredXmlEncoding(data);
    if (!declared.isEmpty() && !isUtf8Compatible(declared)) {
        QStringDecoder decoder(declared.toLatin1().constData());
        if (!decoder.isValid())
            return failure(QStringLiteral("The file's character encoding \"%1\" is not supported.")
                               .arg(declared));
        if (auto text = decodeStrictly(decoder, data))
            return success(*text);
        return failure(QStringLiteral("The file is not valid %1 text.").arg(declared));
    }

    QStringDecoder utf8(QStringConverter::Utf8);
    if (auto text = decodeStrictly(utf8, data))
        return success(*text);
    QStringDecoder legacy("windows-1252");
    if (legacy.isValid()) {
        if (auto text = decodeStrictly(legacy, data))
            return success(*text);
    }
    return success(QString::fromLatin1(data));
}

QByteArray validUtf8(const QByteArray& bytes) {
    QStringDecoder utf8(QStringConverter::Utf8);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? text.toUtf8() : bytes;
}

QByteArray escapeCarriageReturns(const QByteArray& xml) {
    if (!xml.contains('\r'))
        return xml;
    QByteArray out;
    out.reserve(xml.size() + 64);
    qsizetype i = 0;
    // Copies xml[i, end of the section closed by `close`) unchanged, or everything left.
    const auto copyThrough = [&](const char* close) {
        const qsizetype end = xml.indexOf(close, i);
        const qsizetype stop = end < 0 ? xml.size() : end + qsizetype(std::strlen(close));
        out.append(xml.constData() + i, stop - i);
        i = stop;
    };
    while (i < xml.size()) {
        const char c = xml[i];
        if (c == '<' && xml.mid(i, 4) == "<!--") {
            copyThrough("-->");
        } else if (c == '<' && xml.mid(i, 2) == "<?") {
            copyThrough("?>");
        } else if (c == '<' && xml.mid(i, 9) == "<![CDATA[") {
            copyThrough("]]>");
        } else {
            if (c == '\r')
                out.append("&#13;");
            else
                out.append(c);
            ++i;
        }
    }
    return out;
}

} // namespace tl
