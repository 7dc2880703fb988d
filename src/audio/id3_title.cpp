#include "audio/id3_title.h"

#include <cstdint>

namespace tl::audio {

namespace {

constexpr std::size_t kHeader = 10;

uint32_t syncsafe(std::string_view b) {
    uint32_t v = 0;
    for (const char c : b.substr(0, 4)) {
        v = (v << 7) | (static_cast<unsigned char>(c) & 0x7Fu);
    }
    return v;
}

uint32_t bigEndian(std::string_view b) {
    uint32_t v = 0;
    for (const char c : b) {
        v = (v << 8) | static_cast<unsigned char>(c);
    }
    return v;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string utf16(std::string_view b, bool bigEndianOrder) {
    std::string out;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
        const auto hi = static_cast<unsigned char>(b[bigEndianOrder ? i : i + 1]);
        const auto lo = static_cast<unsigned char>(b[bigEndianOrder ? i + 1 : i]);
        uint32_t unit = (static_cast<uint32_t>(hi) << 8) | lo;
        if (unit == 0) {
            break;
        }
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < b.size()) {
            const auto hi2 = static_cast<unsigned char>(b[bigEndianOrder ? i + 2 : i + 3]);
            const auto lo2 = static_cast<unsigned char>(b[bigEndianOrder ? i + 3 : i + 2]);
            const uint32_t low = (static_cast<uint32_t>(hi2) << 8) | lo2;
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                unit = 0xFFFD;
            }
        } else if (unit >= 0xD800 && unit < 0xE000) {
            unit = 0xFFFD;
        }
        appendUtf8(out, unit);
    }
    return out;
}

// A text frame's value: the encoding byte, then the text up to its first NUL.
std::string frameText(std::string_view body) {
    if (body.empty()) {
        return {};
    }
    const auto encoding = static_cast<unsigned char>(body[0]);
    body.remove_prefix(1);
    switch (encoding) {
    case 0: { // Latin-1
        std::string out;
        for (const char c : body.substr(0, body.find('\0'))) {
            appendUtf8(out, static_cast<unsigned char>(c));
        }
        return out;
    }
    case 1: // UTF-16 with a byte-order mark (little-endian without one)
        if (body.size() >= 2 && static_cast<unsigned char>(body[0]) == 0xFE &&
            static_cast<unsigned char>(body[1]) == 0xFF) {
            return utf16(body.substr(2), true);
        }
        if (body.size() >= 2 && static_cast<unsigned char>(body[0]) == 0xFF &&
            static_cast<unsigned char>(body[1]) == 0xFE) {
            return utf16(body.substr(2), false);
        }
        return utf16(body, false);
    case 2:
        return utf16(body, true);
    case 3:
        return std::string(body.substr(0, body.find('\0')));
    default:
        return {};
    }
}

} // namespace

std::size_t id3TagSize(std::string_view data) {
    if (data.size() < kHeader || data.substr(0, 3) != "ID3") {
        return 0;
    }
    const auto version = static_cast<unsigned char>(data[3]);
    if (version < 2 || version > 4 || static_cast<unsigned char>(data[4]) == 0xFF) {
        return 0;
    }
    for (std::size_t i = 6; i < kHeader; ++i) {
        if ((static_cast<unsigned char>(data[i]) & 0x80u) != 0) {
            return 0;
        }
    }
    const bool footer = version == 4 && (static_cast<unsigned char>(data[5]) & 0x10u) != 0;
    return kHeader + syncsafe(data.substr(6, 4)) + (footer ? kHeader : 0);
}

std::optional<std::string> id3Title(std::string_view tag) {
    const std::size_t size = id3TagSize(tag);
    if (size == 0) {
        return std::nullopt;
    }
    const auto version = static_cast<unsigned char>(tag[3]);
    const auto flags = static_cast<unsigned char>(tag[5]);
    if ((flags & 0x80u) != 0) {
        return std::nullopt; // unsynchronised
    }
    std::string_view body = tag.substr(kHeader, size - kHeader);
    if ((flags & 0x40u) != 0 && version >= 3) { // extended header
        if (body.size() < 4) {
            return std::nullopt;
        }
        const std::size_t ext = version == 4 ? syncsafe(body) : bigEndian(body.substr(0, 4)) + 4;
        if (ext > body.size()) {
            return std::nullopt;
        }
        body.remove_prefix(ext);
    }
    const std::size_t idLength = version == 2 ? 3 : 4;
    const std::size_t frameHeader = version == 2 ? 6 : 10;
    const std::string_view titleId = version == 2 ? "TT2" : "TIT2";
    const std::string_view artistId = version == 2 ? "TP1" : "TPE1";
    std::optional<std::string> title;
    std::optional<std::string> artist;
    while (body.size() >= frameHeader && body[0] != '\0') {
        const std::string_view id = body.substr(0, idLength);
        const std::size_t length = version == 2   ? bigEndian(body.substr(3, 3))
                                   : version == 4 ? syncsafe(body.substr(4, 4))
                                                  : bigEndian(body.substr(4, 4));
        const bool cut = length > body.size() - frameHeader;
        if (cut && id != titleId && id != artistId) {
            break; // cut short
        }
        // A text frame cut short (a tag read only in part) gives what arrived of it.
        const std::string_view value = body.substr(frameHeader, cut ? body.npos : length);
        if (id == titleId && !title) {
            title = frameText(value);
        } else if (id == artistId && !artist) {
            artist = frameText(value);
        }
        if (cut) {
            break;
        }
        body.remove_prefix(frameHeader + length);
    }
    const bool hasTitle = title && !title->empty();
    const bool hasArtist = artist && !artist->empty();
    if (hasTitle && hasArtist) {
        return *artist + " - " + *title;
    }
    if (hasTitle) {
        return title;
    }
    if (hasArtist) {
        return artist;
    }
    return std::nullopt;
}

} // namespace tl::audio
