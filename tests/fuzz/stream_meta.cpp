// Song titles from in-stream metadata blocks and the ICY header lines. Checks: a title exists
// exactly when the block names "StreamTitle="; it is at most 1,024 units and never ends in
// half a surrogate pair; a well-formed block gives its title back; the title log line is one
// line; header values are capped; only network schemes are playable addresses.
//
// Input: the metadata block as the demultiplexer hands it over; its lines are also read as
// header lines.

#include "player/stream_meta.h"
#include "common/text.h"

#include "fuzz_support.h"

#include <QDateTime>

#include <string>
#include <vector>

using tl::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view raw = tl::fuzz::view(data, size);
    const QString text = tl::decodeNetworkText(raw);

    const std::optional<QString> title = tl::ParseStreamMeta(QStringView(text));
    check(title.has_value() == text.contains(u"StreamTitle="), "a title when the field is there");
    if (title) {
        check(!title->isEmpty() && title->size() <= 1024, "a title of 1 to 1,024 units");
        check(!title->back().isHighSurrogate(), "never half a surrogate pair");
        const QByteArray line =
            tl::TitleLogLine(QDateTime(QDate(2024, 6, 1), QTime(12, 0)), *title);
        check(line.endsWith("\r\n") && line.count('\n') == 1 && line.count('\r') == 1,
              "a log line is one line");
    }
    check(!tl::ParseStreamMeta(std::nullopt).has_value(), "no text, no title");

    // The input's first line as a title of its own in a well-formed block.
    const QString first = tl::splitLines(text).value(0).left(1024);
    if (!first.contains(u"';") && !first.trimmed().isEmpty() && !first.back().isHighSurrogate() &&
        !first.endsWith(u'\'')) {
        const QString block = QStringLiteral("StreamTitle='") + first + QStringLiteral("';");
        check(tl::ParseStreamMeta(QStringView(block)) == first, "a well-formed block's title");
    }

    std::vector<std::string> headers;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= raw.size(); ++i) {
        if (i == raw.size() || raw[i] == '\n') {
            headers.emplace_back(raw.substr(start, i - start));
            start = i + 1;
        }
    }
    for (const tl::IcyHeaderStep& step : tl::IcyHeaderSteps(headers)) {
        check(step.text.size() <= tl::kMaxNetworkTextLength + 5, "a header value is capped");
    }

    if (tl::IsPlayableStreamAddress(text)) {
        const QString t = text.trimmed();
        check(t.startsWith(u"http://", Qt::CaseInsensitive) ||
                  t.startsWith(u"https://", Qt::CaseInsensitive) ||
                  t.startsWith(u"mms", Qt::CaseInsensitive),
              "only network schemes play");
    }
    return 0;
}
