#include "audio/icy_demuxer.h"

#include <algorithm>

namespace tl::audio {

void IcyDemuxer::feed(std::span<const uint8_t> data, const AudioSink& audio, const MetaSink& meta) {
    if (metaint_ == 0) {
        if (!data.empty())
            audio(data);
        return;
    }
    std::size_t i = 0;
    while (i < data.size()) {
        switch (state_) {
        case State::Audio: {
            const std::size_t n = std::min(audioLeft_, data.size() - i);
            audio(data.subspan(i, n));
            i += n;
            audioLeft_ -= n;
            if (audioLeft_ == 0)
                state_ = State::Length;
            break;
        }
        case State::Length:
            metaLeft_ = static_cast<std::size_t>(data[i]) * 16;
            ++i;
            block_.clear();
            if (metaLeft_ == 0) {
                state_ = State::Audio;
                audioLeft_ = metaint_;
            } else {
                state_ = State::Meta;
            }
            break;
        case State::Meta: {
            const std::size_t n = std::min(metaLeft_, data.size() - i);
            block_.append(reinterpret_cast<const char*>(data.data() + i), n);
            i += n;
            metaLeft_ -= n;
            if (metaLeft_ == 0) {
                const std::size_t nul = block_.find('\0');
                std::string_view text(block_);
                if (nul != std::string::npos)
                    text = text.substr(0, nul);
                if (!text.empty())
                    meta(text);
                block_.clear();
                state_ = State::Audio;
                audioLeft_ = metaint_;
            }
            break;
        }
        }
    }
}

namespace {

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not a valid one.
std::size_t utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) {
        return static_cast<unsigned char>(text[k]);
    };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    // Over-long forms, encoded surrogates and code points beyond U+10FFFF are not UTF-8
    // (the decoder reads such a text as Windows-1252, one byte a character).
    const unsigned char second = byte(i + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

} // namespace

std::string_view cutNetworkText(std::string_view text, std::size_t maxChars) {
    if (text.size() <= maxChars)
        return text;
    std::size_t i = 0;
    std::size_t chars = 0;
    std::size_t cut = std::string_view::npos; // byte offset after maxChars code points
    while (i < text.size()) {
        const std::size_t n = utf8SequenceAt(text, i);
        if (n == 0)
            return text.substr(0, maxChars); // not UTF-8: one byte is one character
        if (chars == maxChars && cut == std::string_view::npos)
            cut = i;
        i += n;
        ++chars;
    }
    return cut == std::string_view::npos ? text : text.substr(0, cut);
}

} // namespace tl::audio
