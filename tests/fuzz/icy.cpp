// The ICY demultiplexer fed a body in random chunk sizes, with its metadata interval taken
// from the input. Checks: any chunking gives the same audio bytes and metadata texts as a
// byte-by-byte model of the format; texts are non-empty, hold no NUL and fit one block; the
// network-text cut keeps a prefix of at most the asked characters and never splits a UTF-8
// sequence.
//
// Input: mode byte, interval bytes, chunk seed byte, then the body.

#include "audio/icy_demuxer.h"

#include "fuzz_support.h"

#include <QStringDecoder>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using tl::fuzz::check;

struct Split {
    std::string audio;
    std::vector<std::string> meta;
};

// The format read one byte at a time, written independently of the demultiplexer.
Split model(std::string_view body, std::size_t metaint) {
    Split out;
    if (metaint == 0) {
        out.audio = body;
        return out;
    }
    std::size_t i = 0;
    while (i < body.size()) {
        const std::size_t audio = std::min(metaint, body.size() - i);
        out.audio.append(body.substr(i, audio));
        i += audio;
        if (i >= body.size()) {
            break;
        }
        const std::size_t length = static_cast<unsigned char>(body[i]) * 16u;
        ++i;
        if (body.size() - i < length) {
            break; // an incomplete block is held back
        }
        std::string block(body.substr(i, length));
        i += length;
        block = block.substr(0, block.find('\0'));
        if (!block.empty()) {
            out.meta.push_back(block);
        }
    }
    return out;
}

Split demux(std::string_view body, std::size_t metaint, unsigned seed, std::size_t maxChunk) {
    Split out;
    tl::audio::IcyDemuxer demuxer(metaint);
    std::minstd_rand random(seed);
    const auto audio = [&out](std::span<const uint8_t> bytes) {
        check(!bytes.empty(), "no empty audio run");
        out.audio.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    };
    const auto meta = [&out](std::string_view text) {
        out.meta.emplace_back(text);
    };
    std::size_t i = 0;
    while (i < body.size()) {
        const std::size_t n = std::min<std::size_t>(1 + random() % maxChunk, body.size() - i);
        demuxer.feed({reinterpret_cast<const uint8_t*>(body.data() + i), n}, audio, meta);
        i += n;
    }
    return out;
}

// Code points of valid UTF-8, else nullopt.
std::optional<std::size_t> utf8Length(std::string_view s) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(text.toUcs4().size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    std::size_t metaint = 0;
    switch (data[0] % 3) {
    case 0:
        metaint = data[1];
        break;
    case 1:
        metaint = data[1] | (data[2] << 8);
        break;
    default:
        metaint = std::size_t{1} << (data[1] % 40); // up to far beyond any body
        break;
    }
    const unsigned seed = data[3];
    const std::string_view body = tl::fuzz::view(data + 4, size - 4);

    const Split expected = model(body, metaint);
    for (const std::size_t maxChunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
        const Split got = demux(body, metaint, seed, maxChunk);
        check(got.audio == expected.audio, "audio bytes as the model splits them");
        check(got.meta == expected.meta, "metadata blocks as the model splits them");
    }
    for (const std::string& text : expected.meta) {
        check(text.size() <= 255 * 16 && text.find('\0') == std::string::npos, "one block");
        for (const std::size_t max :
             {std::size_t{0}, std::size_t{1}, std::size_t{5}, std::size_t{1024}}) {
            const std::string_view cut = tl::audio::cutNetworkText(text, max);
            check(text.substr(0, cut.size()) == cut, "the cut is a prefix");
            check(cut.size() <= text.size(), "no longer than the text");
            if (utf8Length(text)) {
                const auto chars = utf8Length(cut);
                check(chars.has_value(), "a UTF-8 text is never cut inside a sequence");
                check(*chars == std::min(max, *utf8Length(text)), "as many characters as asked");
            } else {
                check(cut.size() == std::min(max, text.size()), "other text: one byte a character");
            }
        }
    }
    return 0;
}
