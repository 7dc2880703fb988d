#include "audio/hls_playlist.h"

#include <array>
#include <charconv>
#include <optional>
#include <vector>

namespace tl::audio {

namespace {

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(
            end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1));
        if (lines.size() > kMaxHlsPlaylistLines)
            break;
    }
    return lines;
}

bool isUri(std::string_view line) {
    return !line.empty() && line[0] != '#';
}

// The value of attribute `name` in an attribute list ("A=1,B="x,y",C=2"), quotes removed.
std::optional<std::string_view> attribute(std::string_view list, std::string_view name) {
    std::size_t i = 0;
    while (i < list.size()) {
        const std::size_t eq = list.find('=', i);
        if (eq == std::string_view::npos)
            return std::nullopt;
        const std::string_view key = list.substr(i, eq - i);
        std::size_t end = eq + 1;
        std::string_view value;
        if (end < list.size() && list[end] == '"') {
            const std::size_t close = list.find('"', end + 1);
            value = list.substr(end + 1, close == std::string_view::npos ? close : close - end - 1);
            end = close == std::string_view::npos ? list.size() : close + 1;
        } else {
            end = std::min(list.find(',', end), list.size());
            value = list.substr(eq + 1, end - eq - 1);
        }
        if (key == name)
            return value;
        i = list.find(',', end);
        if (i == std::string_view::npos)
            return std::nullopt;
        ++i;
    }
    return std::nullopt;
}

long long bandwidth(std::string_view infLine) {
    const auto value = attribute(infLine.substr(infLine.find(':') + 1), "BANDWIDTH");
    long long rate = 0;
    if (value)
        std::from_chars(value->data(), value->data() + value->size(), rate);
    return rate;
}

void append(std::string& out, std::string_view line) {
    out.append(line);
    out.push_back('\n');
}

BoundedHlsPlaylist master(const std::vector<std::string_view>& lines) {
    struct Variant {
        std::string_view inf, uri;
    };
    std::vector<Variant> variants;
    std::vector<std::string_view> header;
    std::vector<std::string_view> media;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (startsWith(line, "#EXT-X-STREAM-INF:")) {
            std::size_t j = i + 1;
            while (j < lines.size() && !isUri(lines[j]))
                ++j;
            if (j < lines.size() && variants.size() < kMaxHlsVariants)
                variants.push_back({line, lines[j]});
            i = j;
        } else if (startsWith(line, "#EXT-X-MEDIA:")) {
            media.push_back(line);
        } else if (startsWith(line, "#EXT-X-I-FRAME-STREAM-INF:") || isUri(line)) {
            // Video-only renditions and stray addresses are not played.
        } else if (!line.empty()) {
            header.push_back(line);
        }
    }
    if (variants.empty())
        return {BoundedHlsPlaylist::Kind::Refused, {}, "its HLS master playlist names no stream"};
    const Variant* best = &variants.front();
    for (const Variant& v : variants)
        if (bandwidth(v.inf) > bandwidth(best->inf))
            best = &v;
    BoundedHlsPlaylist out{BoundedHlsPlaylist::Kind::Master, {}, {}};
    for (const std::string_view line : header)
        append(out.text, line);
    const auto group = attribute(best->inf.substr(best->inf.find(':') + 1), "AUDIO");
    std::size_t renditions = 0;
    for (const std::string_view line : media) {
        const std::string_view attrs = line.substr(line.find(':') + 1);
        if (group && renditions < kMaxHlsRenditions && attribute(attrs, "TYPE") == "AUDIO" &&
            attribute(attrs, "GROUP-ID") == *group) {
            append(out.text, line);
            ++renditions;
        }
    }
    append(out.text, best->inf);
    append(out.text, best->uri);
    return out;
}

// Tags that belong to the segment that follows them.
bool segmentTag(std::string_view line) {
    static constexpr std::array<std::string_view, 6> kTags = {
        "#EXTINF:",   "#EXT-X-BYTERANGE:", "#EXT-X-PROGRAM-DATE-TIME:",
        "#EXT-X-GAP", "#EXT-X-BITRATE:",   "#EXT-X-DISCONTINUITY"};
    for (const std::string_view tag : kTags)
        if (startsWith(line, tag) && !startsWith(line, "#EXT-X-DISCONTINUITY-SEQUENCE"))
            return true;
    return false;
}

BoundedHlsPlaylist media(std::string_view body, const std::vector<std::string_view>& lines) {
    std::size_t segments = 0;
    bool endList = false;
    for (const std::string_view line : lines) {
        segments += isUri(line) ? 1 : 0;
        endList = endList || startsWith(line, "#EXT-X-ENDLIST");
    }
    if (endList || segments <= kMaxHlsLiveSegments)
        return {BoundedHlsPlaylist::Kind::Media, std::string(body), {}};
    const std::size_t drop = segments - kMaxHlsLiveSegments;
    BoundedHlsPlaylist out{BoundedHlsPlaylist::Kind::Media, {}, {}};
    std::string_view key;
    std::string_view map;
    std::vector<std::string_view> pending; // tags of the segment to come
    std::size_t index = 0;
    bool sequence = false;
    for (const std::string_view line : lines) {
        if (isUri(line)) {
            if (index == drop) {
                for (const std::string_view carried : {key, map})
                    if (!carried.empty())
                        append(out.text, carried);
            }
            if (index >= drop) {
                for (const std::string_view tag : pending)
                    append(out.text, tag);
                append(out.text, line);
            }
            pending.clear();
            ++index;
        } else if (segmentTag(line)) {
            pending.push_back(line);
        } else if (index < drop && startsWith(line, "#EXT-X-KEY:")) {
            key = line;
        } else if (index < drop && startsWith(line, "#EXT-X-MAP:")) {
            map = line;
        } else if (startsWith(line, "#EXT-X-MEDIA-SEQUENCE:") && !sequence) {
            long long first = 0;
            const std::string_view value = line.substr(22);
            std::from_chars(value.data(), value.data() + value.size(), first);
            append(out.text,
                   "#EXT-X-MEDIA-SEQUENCE:" + std::to_string(first + static_cast<long long>(drop)));
            sequence = true;
        } else if (index >= drop &&
                   (startsWith(line, "#EXT-X-KEY:") || startsWith(line, "#EXT-X-MAP:"))) {
            pending.push_back(line);
        } else if (!line.empty()) {
            append(out.text, line);
            if (!sequence && startsWith(line, "#EXTM3U")) {
                // Without the tag the sequence starts at 0; the first kept segment is `drop`.
                bool tagged = false;
                for (const std::string_view l : lines)
                    tagged = tagged || startsWith(l, "#EXT-X-MEDIA-SEQUENCE:");
                if (!tagged) {
                    append(out.text, "#EXT-X-MEDIA-SEQUENCE:" + std::to_string(drop));
                    sequence = true;
                }
            }
        }
    }
    return out;
}

} // namespace

BoundedHlsPlaylist boundHlsPlaylist(std::string_view body) {
    if (body.size() > kMaxHlsPlaylistBytes)
        return {BoundedHlsPlaylist::Kind::Refused, {}, "its HLS playlist is larger than 1 MiB"};
    const std::vector<std::string_view> lines = splitLines(body);
    if (lines.size() > kMaxHlsPlaylistLines)
        return {BoundedHlsPlaylist::Kind::Refused, {}, "its HLS playlist has too many lines"};
    for (const std::string_view line : lines)
        if (startsWith(line, "#EXT-X-STREAM-INF:"))
            return master(lines);
    return media(body, lines);
}

} // namespace tl::audio
