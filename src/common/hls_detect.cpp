#include "common/hls_detect.h"

#include <array>
#include <cstddef>

namespace tl {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Calls f(line) for each line of text (ends at CR, LF or CR LF) until f returns true.
template <typename F> bool anyLine(std::string_view text, F f) {
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, end);
        if (f(line)) {
            return true;
        }
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(
            end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1));
    }
    return false;
}

} // namespace

bool hasHlsPathExtension(std::string_view address) {
    std::string_view path = address.substr(0, address.find_first_of("?#"));
    if (const std::size_t scheme = path.find("://"); scheme != std::string_view::npos) {
        const std::size_t slash = path.find('/', scheme + 3);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    }
    constexpr std::string_view kExtension = ".m3u8";
    return path.size() >= kExtension.size() &&
           equalsNoCase(path.substr(path.size() - kExtension.size()), kExtension);
}

bool isHlsContentType(std::string_view contentType) {
    static constexpr std::array<std::string_view, 4> kTypes = {"application/vnd.apple.mpegurl",
                                                               "application/x-mpegurl",
                                                               "audio/mpegurl", "audio/x-mpegurl"};
    const std::string_view type = trimBlanks(contentType.substr(0, contentType.find(';')));
    for (const std::string_view known : kTypes) {
        if (equalsNoCase(type, known)) {
            return true;
        }
    }
    return false;
}

bool hasHlsTags(std::string_view body) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (body.substr(0, kBom.size()) == kBom) {
        body.remove_prefix(kBom.size());
    }
    // The demuxer wants the tag at the very start, so only blanks after it are forgiven.
    const std::size_t firstEnd = body.find_first_of("\r\n");
    std::string_view first = body.substr(0, firstEnd);
    while (!first.empty() && isBlank(first.back())) {
        first.remove_suffix(1);
    }
    if (first != "#EXTM3U" || firstEnd == std::string_view::npos) {
        return false;
    }
    return anyLine(body.substr(firstEnd),
                   [](std::string_view line) { return line.substr(0, 7) == "#EXT-X-"; });
}

bool isHlsPlaylist(std::string_view address, std::string_view contentType, std::string_view body) {
    if (!hasHlsTags(body)) {
        return false;
    }
    if (hasHlsPathExtension(address) || isHlsContentType(contentType)) {
        return true;
    }
    static constexpr std::array<std::string_view, 3> kOnlyHls = {
        "#EXT-X-STREAM-INF:", "#EXT-X-TARGETDURATION:", "#EXT-X-MEDIA-SEQUENCE:"};
    return anyLine(body, [](std::string_view line) {
        for (const std::string_view tag : kOnlyHls) {
            if (line.substr(0, tag.size()) == tag) {
                return true;
            }
        }
        return false;
    });
}

} // namespace tl
