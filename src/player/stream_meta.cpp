#include "player/stream_meta.h"

#include "common/numeric.h"
#include "common/text.h"

#include <QLocale>

namespace tl {

std::optional<QString> ParseStreamMeta(std::optional<QStringView> text) {
    if (!text) {
        return std::nullopt;
    }
    const qsizetype key = text->indexOf(u"StreamTitle=");
    if (key < 0) {
        return std::nullopt;
    }
    // The value starts after the opening quote and ends at the "';" that closes it; a title
    // may hold quotes and semicolons of its own ("Tom's Diner; live", "&amp;"). A block cut
    // off before its "';" gives what there is.
    const qsizetype start = key + 13;
    QString title;
    if (start <= text->size()) {
        const qsizetype end = text->indexOf(u"';", start);
        QStringView value = end < 0 ? text->mid(start) : text->mid(start, end - start);
        if (end < 0 && value.endsWith(u'\'')) {
            value.chop(1);
        }
        // A title from the network is cut to a length a window and a log line can take.
        constexpr qsizetype kMaxTitle = 1024;
        if (value.size() > kMaxTitle) {
            value = value.first(value[kMaxTitle - 1].isHighSurrogate() ? kMaxTitle - 1 : kMaxTitle);
        }
        title = value.toString();
    }
    if (title.trimmed().isEmpty()) {
        title = QStringLiteral("No Title");
    }
    return title;
}

QString ElapsedText(uint32_t seconds) {
    const uint32_t ofDay = seconds % 86400u;
    const int h = static_cast<int>(ofDay / 3600u);
    const int m = static_cast<int>(ofDay / 60u % 60u);
    const int s = static_cast<int>(ofDay % 60u);
    if (h == 0) {
        return twoDigits(m) + QLatin1Char(':') + twoDigits(s);
    }
    return twoDigits(h) + QLatin1Char(':') + twoDigits(m) + QLatin1Char(':') + twoDigits(s);
}

QString VideoBitrateText(qint64 bitsPerSecond) {
    const int k = roundHalfEven(static_cast<double>(bitsPerSecond) / 1000.0);
    if (k < 1000) {
        return QString::number(k) + QStringLiteral(" kbps");
    }
    return QLocale().toString(static_cast<double>(bitsPerSecond) / 1000000.0, 'f', 1) +
           QStringLiteral("Mbps");
}

bool IsPlayableStreamAddress(QStringView address) {
    static const QLatin1String schemes[] = {QLatin1String("http://"), QLatin1String("https://"),
                                            QLatin1String("mms://"), QLatin1String("mmsh://"),
                                            QLatin1String("mmst://")};
    const QStringView trimmed = address.trimmed();
    for (const QLatin1String& scheme : schemes) {
        if (trimmed.startsWith(scheme, Qt::CaseInsensitive) && trimmed.size() > scheme.size()) {
            return true;
        }
    }
    return false;
}

QByteArray TitleLogLine(const QDateTime& when, const QString& title) {
    const QString stamp = when.toString(QStringLiteral("dd.MM.yy HH:mm:ss"));
    return (stamp + QStringLiteral("; ") + replaceControlCharacters(title) + QStringLiteral("\r\n"))
        .toUtf8();
}

std::vector<IcyHeaderStep> IcyHeaderSteps(const std::vector<std::string>& headers) {
    static constexpr struct {
        std::string_view prefix;
        IcyHeaderStep::Kind kind;
    } kKnown[] = {{"icy-name:", IcyHeaderStep::StationName},
                  {"icy-br:", IcyHeaderStep::Bitrate},
                  {"icy-genre:", IcyHeaderStep::Genre}};
    std::vector<IcyHeaderStep> steps;
    for (const std::string& header : headers) {
        for (const auto& known : kKnown) {
            if (!std::string_view(header).starts_with(known.prefix)) {
                continue;
            }
            // Cut the bytes first (at a UTF-8 boundary): a huge header is not decoded whole.
            std::string_view value = std::string_view(header).substr(known.prefix.size());
            std::size_t keep = static_cast<std::size_t>(kMaxNetworkTextLength) * 4;
            if (value.size() > keep) {
                while (keep > 0 && (static_cast<unsigned char>(value[keep]) & 0xC0) == 0x80) {
                    --keep;
                }
                value = value.substr(0, keep);
            }
            QString text = capNetworkText(decodeNetworkText(value).trimmed());
            if (known.kind == IcyHeaderStep::Bitrate) {
                text += QStringLiteral(" kbps");
            }
            steps.push_back({known.kind, std::move(text)});
            break;
        }
    }
    return steps;
}

} // namespace tl
