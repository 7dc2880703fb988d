// Unit tests of the engine's pure parts: ICY demultiplexing under any chunking, the byte
// ring against a simple model, the WAV header encoders read, and the analysis scaling.

#include "audio/analysis.h"
#include "audio/byte_ring.h"
#include "audio/icy_demuxer.h"
#include "audio/id3_title.h"
#include "audio/seam_trimmer.h"
#include "audio/wav_header.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace tl::audio {
namespace {

// ---- ICY demultiplexer ---------------------------------------------------------------

struct IcyStream {
    std::vector<uint8_t> wire;      // what the server sends
    std::vector<uint8_t> audio;     // the audio bytes in it
    std::vector<std::string> metas; // the metadata texts a listener should see
};

// Builds a stream of `blocks` audio runs of `metaint` bytes, each followed by the metadata
// block texts[i % texts.size()] ("" = length byte 0), padded with NULs to 16 bytes.
IcyStream makeStream(std::size_t metaint, std::size_t blocks,
                     const std::vector<std::string>& texts) {
    IcyStream s;
    uint8_t value = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
        for (std::size_t i = 0; i < metaint; ++i) {
            value = static_cast<uint8_t>(value * 31 + 7);
            s.wire.push_back(value);
            s.audio.push_back(value);
        }
        const std::string& text = texts[b % texts.size()];
        const std::size_t length = (text.size() + 15) / 16;
        s.wire.push_back(static_cast<uint8_t>(length));
        s.wire.insert(s.wire.end(), text.begin(), text.end());
        s.wire.insert(s.wire.end(), length * 16 - text.size(), 0);
        if (!text.empty())
            s.metas.push_back(text);
    }
    return s;
}

struct Output {
    std::vector<uint8_t> audio;
    std::vector<std::string> metas;
};

Output feedInChunks(IcyDemuxer& d, std::span<const uint8_t> wire,
                    const std::function<std::size_t()>& nextChunk) {
    Output out;
    std::size_t pos = 0;
    while (pos < wire.size()) {
        const std::size_t n = std::min(std::max<std::size_t>(nextChunk(), 1), wire.size() - pos);
        d.feed(
            wire.subspan(pos, n),
            [&](std::span<const uint8_t> a) {
                out.audio.insert(out.audio.end(), a.begin(), a.end());
            },
            [&](std::string_view m) { out.metas.emplace_back(m); });
        pos += n;
    }
    return out;
}

TEST(IcyDemuxer, SplitsAudioAndMetadataWhateverTheChunking) {
    const std::vector<std::string> texts = {
        "StreamTitle='Artist - Song';",
        "", // unchanged: length byte 0
        "StreamTitle='It's \"Quoted\" - O'Neil';StreamUrl='';",
        "StreamTitle='exactly sixteen.';", // no padding needed beyond the block
        "StreamTitle='Ünïcödé – Title';",
    };
    for (const std::size_t metaint : {std::size_t{1}, std::size_t{16}, std::size_t{8192}}) {
        const IcyStream s = makeStream(metaint, 12, texts);
        std::mt19937 rng(static_cast<unsigned>(metaint));
        const std::vector<std::pair<std::string, std::function<std::size_t()>>> chunkings = {
            {"1",
             [] {
                 return std::size_t{1};
             }},
            {"metaint-1",
             [&] {
                 return metaint - 1;
             }},
            {"metaint",
             [&] {
                 return metaint;
             }},
            {"metaint+1",
             [&] {
                 return metaint + 1;
             }},
            {"random",
             [&] {
                 return std::uniform_int_distribution<std::size_t>(1, 3 * metaint + 40)(rng);
             }},
            {"whole",
             [&] {
                 return s.wire.size();
             }},
        };
        for (const auto& [name, chunk] : chunkings) {
            SCOPED_TRACE("metaint " + std::to_string(metaint) + ", chunks " + name);
            IcyDemuxer d(metaint);
            const Output out = feedInChunks(d, s.wire, chunk);
            EXPECT_EQ(out.audio, s.audio);
            EXPECT_EQ(out.metas, s.metas);
        }
    }
}

TEST(IcyDemuxer, TruncatedBlockAtTheEndIsHeldBack) {
    const IcyStream s = makeStream(32, 2, {"StreamTitle='First';", "StreamTitle='Second one';"});
    // Cut inside the second block's text: its audio arrives, its text does not.
    const std::size_t cut = s.wire.size() - 5;
    IcyDemuxer d(32);
    const Output out = feedInChunks(d, std::span(s.wire).first(cut), [] { return std::size_t{7}; });
    EXPECT_EQ(out.audio, s.audio);
    EXPECT_EQ(out.metas, std::vector<std::string>{"StreamTitle='First';"});

    // Cut right after the length byte: no text yet either.
    IcyDemuxer d2(32);
    const Output out2 =
        feedInChunks(d2, std::span(s.wire).first(32 + 1), [] { return std::size_t{100}; });
    EXPECT_EQ(out2.audio.size(), 32u);
    EXPECT_TRUE(out2.metas.empty());
}

TEST(IcyDemuxer, NulPaddingAndEmptyBlocks) {
    std::vector<uint8_t> wire = {1, 2, 3, 4};
    wire.push_back(2); // 32 bytes of text: "A" then NULs, then garbage after a NUL
    std::string block = "StreamTitle='A';";
    block.push_back('\0');
    block += "junk";
    block.resize(32, '\0');
    wire.insert(wire.end(), block.begin(), block.end());
    wire.insert(wire.end(), {5, 6, 7, 8});
    wire.push_back(1); // a block of only NULs carries nothing
    wire.insert(wire.end(), 16, 0);
    wire.insert(wire.end(), {9, 10});

    IcyDemuxer d(4);
    const Output out = feedInChunks(d, wire, [] { return std::size_t{3}; });
    EXPECT_EQ(out.audio, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(out.metas, std::vector<std::string>{"StreamTitle='A';"});
}

TEST(IcyDemuxer, WithoutMetaintEverythingIsAudio) {
    const std::vector<uint8_t> wire = {0, 1, 2, 255, 16, 0};
    IcyDemuxer d(0);
    const Output out = feedInChunks(d, wire, [] { return std::size_t{2}; });
    EXPECT_EQ(out.audio, wire);
    EXPECT_TRUE(out.metas.empty());
}

// ---- Byte ring -------------------------------------------------------------------------

TEST(IcyText, CutAtCharactersNeverInsideASequence) {
    const std::string euro = "\xE2\x82\xAC"; // U+20AC, three bytes
    struct Row {
        std::string text;
        std::size_t max;
        std::string cut;
    };
    const Row rows[] = {
        {"", 4, ""},
        {"abcd", 4, "abcd"},
        {"abcde", 4, "abcd"},
        {euro + euro + euro, 2, euro + euro}, // 9 bytes, 3 characters
        {euro + euro, 2, euro + euro},        // longer than max in bytes only
        {"a" + euro + "b", 2, "a" + euro},
        {"\xF0\x9F\x8E\xB5xyz", 1, "\xF0\x9F\x8E\xB5"},       // four-byte sequence
        {"caf\xE9 au lait", 4, "caf\xE9"},                    // Windows-1252: bytes
        {euro + "\xE9" + euro, 3, euro.substr(0, 3)},         // invalid UTF-8: bytes
        {euro.substr(0, 2) + "abcdef", 2, euro.substr(0, 2)}, // truncated sequence
        // Not UTF-8 either, so bytes: an encoded surrogate, over-long forms, beyond U+10FFFF.
        {"\xED\xA0\x80\xED\xA0\x80", 2, "\xED\xA0"},
        {"\xE0\x80\x80xyz", 2, "\xE0\x80"},
        {"\xF0\x80\x80\x80xy", 2, "\xF0\x80"},
        {"\xF4\x90\x80\x80xy", 2, "\xF4\x90"},
        {"\xED\x9F\xBFxy", 2, "\xED\x9F\xBFx"}, // U+D7FF, the last before the surrogates
        {std::string(90 * 1024, 'N'), kMaxNetworkTextChars, std::string(1024, 'N')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.substr(0, 40));
        EXPECT_EQ(std::string(cutNetworkText(row.text, row.max)), row.cut);
    }
}

// ---- ID3 titles of HLS segments ----------------------------------------------------------

std::string syncsafe(std::size_t n) {
    return {static_cast<char>((n >> 21) & 0x7F), static_cast<char>((n >> 14) & 0x7F),
            static_cast<char>((n >> 7) & 0x7F), static_cast<char>(n & 0x7F)};
}

std::string bigEndian(std::size_t n, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((n >> (8 * i)) & 0xFF);
    return out;
}

// A frame of version 2, 3 or 4 (sizes in 3 bytes, plain 32 bits, syncsafe).
std::string frame(int version, const std::string& id, const std::string& value) {
    if (version == 2)
        return id + bigEndian(value.size(), 3) + value;
    return id + (version == 4 ? syncsafe(value.size()) : bigEndian(value.size(), 4)) +
           std::string(2, '\0') + value;
}

std::string tag(int version, const std::string& frames, char flags = 0) {
    return std::string("ID3") + static_cast<char>(version) + '\0' + flags +
           syncsafe(frames.size()) + frames;
}

TEST(Id3Title, ReadsTitleAndArtist) {
    const std::string u16le = std::string("\x01\xFF\xFE", 3) + std::string("S\0o\0n\0g\0", 8);
    const std::string u16be = std::string("\x02\0S\0\xE9", 5);               // "Sé"
    const std::string pair = std::string("\x01\xFE\xFF\xD8\x3D\xDE\x00", 7); // U+1F600
    const struct {
        const char* name;
        std::string data;
        std::optional<std::string> title;
    } rows[] = {
        {"v4 utf-8",
         tag(4, frame(4, "TIT2", "\x03Song") + frame(4, "TPE1",
                                                     "\x03"
                                                     "Band")),
         "Band - Song"},
        {"v3 latin-1",
         tag(3, frame(3, "TPE1", std::string("\0Caf\xE9", 5)) +
                    frame(3, "TIT2", std::string("\0Tune", 5))),
         "Caf\xC3\xA9 - Tune"},
        {"v2 three-letter ids",
         tag(2, frame(2, "TT2", std::string("\0T", 2)) + frame(2, "TP1", std::string("\0A", 2))),
         "A - T"},
        {"utf-16 with BOM", tag(4, frame(4, "TIT2", u16le)), "Song"},
        {"utf-16BE", tag(4, frame(4, "TIT2", u16be)), "S\xC3\xA9"},
        {"surrogate pair", tag(3, frame(3, "TIT2", pair)), "\xF0\x9F\x98\x80"},
        {"title only", tag(4, frame(4, "TIT2", "\x03Only")), "Only"},
        {"artist only, empty title",
         tag(4, frame(4, "TIT2", "\x03") + frame(4, "TPE1",
                                                 "\x03"
                                                 "A")),
         "A"},
        {"text ends at NUL", tag(4, frame(4, "TIT2", std::string("\x03One\0Two", 8))), "One"},
        {"other frames skipped",
         tag(4, frame(4, "PRIV", std::string("owner\0\0\0\0\0\0\0\0\x01", 15)) +
                    frame(4, "TIT2", "\x03X")),
         "X"},
        {"first of two titles",
         tag(4, frame(4, "TIT2",
                      "\x03"
                      "A") +
                    frame(4, "TIT2",
                          "\x03"
                          "B")),
         "A"},
        {"padding ends the frames", tag(4, frame(4, "TIT2", "\x03P") + std::string(20, '\0')), "P"},
        {"extended header v4",
         tag(4,
             syncsafe(6) + std::string("\x01\0", 2) +
                 frame(4, "TIT2",
                       "\x03"
                       "E"),
             0x40),
         "E"},
        // A title frame that runs past what was read (an HLS segment's tag is read only in
        // its head) gives what arrived of it.
        {"frame longer than the tag",
         tag(4, "TIT2" + syncsafe(99) + std::string(2, '\0') + "\x03X"), "X"},
        // Failure rows.
        {"no frames", tag(4, ""), std::nullopt},
        {"no tag", "\xFF\xF1\x50\x80" + std::string(20, 'x'), std::nullopt},
        {"short header", "ID3\x04\0", std::nullopt},
        {"version 5", tag(5, frame(4, "TIT2", "\x03X")), std::nullopt},
        {"size byte over 0x7F", std::string("ID3\x04\0\0\x80\0\0\0", 10), std::nullopt},
        {"unsynchronised", tag(4, frame(4, "TIT2", "\x03X"), '\x80'), std::nullopt},
        {"tag cut short", tag(4, frame(4, "TIT2", "\x03Song")).substr(0, 16), std::nullopt},
        {"unknown encoding", tag(4, frame(4, "TIT2", "\x07X")), std::nullopt},
        {"extended header too long",
         tag(4,
             syncsafe(200) + frame(4, "TIT2",
                                   "\x03"
                                   "E"),
             0x40),
         std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(id3Title(row.data), row.title) << row.name;
    }
    EXPECT_EQ(id3TagSize(tag(4, "abc")), 13u);
    EXPECT_EQ(id3TagSize(tag(4, "abc", 0x10)), 23u); // with a footer
    EXPECT_EQ(id3TagSize("ID3"), 0u);
}

TEST(ByteRing, BoundedAndInOrderAgainstAModel) {
    ByteRing ring(100);
    std::deque<uint8_t> model;
    std::mt19937 rng(42);
    uint8_t next = 0;
    for (int round = 0; round < 5000; ++round) {
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 130)(rng);
        if (rng() % 2) {
            std::vector<uint8_t> in(n);
            for (auto& b : in)
                b = next++;
            const std::size_t written = ring.write(in.data(), in.size());
            ASSERT_EQ(written, std::min(n, 100 - model.size()));
            model.insert(model.end(), in.begin(),
                         in.begin() + static_cast<std::ptrdiff_t>(written));
            next = static_cast<uint8_t>(next - (n - written));
        } else {
            std::vector<uint8_t> out(n);
            const std::size_t got = ring.read(out.data(), n);
            ASSERT_EQ(got, std::min(n, model.size()));
            for (std::size_t i = 0; i < got; ++i) {
                ASSERT_EQ(out[i], model.front());
                model.pop_front();
            }
        }
        ASSERT_EQ(ring.size(), model.size());
        ASSERT_LE(ring.size(), ring.capacity());
        ASSERT_EQ(ring.full(), model.size() == 100);
    }
}

TEST(ByteRing, DiscardAndClear) {
    ByteRing ring(8);
    const uint8_t in[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(ring.write(in, 9), 8u);
    EXPECT_EQ(ring.write(in, 1), 0u);
    EXPECT_EQ(ring.discard(3), 3u);
    EXPECT_EQ(ring.write(in, 9), 3u); // wraps
    uint8_t out[8] = {};
    EXPECT_EQ(ring.read(out, 8), 8u);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), (std::vector<uint8_t>{4, 5, 6, 7, 8, 1, 2, 3}));
    EXPECT_EQ(ring.discard(5), 0u);
    ring.write(in, 4);
    ring.clear();
    EXPECT_TRUE(ring.empty());
    EXPECT_EQ(ring.space(), 8u);
}

// ---- WAV header --------------------------------------------------------------------------

TEST(WavHeader, UnknownSizesAtCdQuality) {
    const auto h = wavHeader(44100, 2, 16);
    const std::vector<uint8_t> expected = {
        'R',  'I',  'F',  'F', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E', //
        'f',  'm',  't',  ' ', 16,   0,    0,    0,    1,   0,   2,   0,   // PCM, stereo
        0x44, 0xAC, 0,    0,                                               // 44100 Hz
        0x10, 0xB1, 0x02, 0,                                               // 176400 bytes/s
        4,    0,    16,   0,                                               // block 4, 16 bits
        'd',  'a',  't',  'a', 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.end()), expected);
}

// ---- Analysis ------------------------------------------------------------------------------

TEST(Analysis, FullScaleSineOnABinGivesAboutOne) {
    struct Row {
        double frequencyBin; // in bins of 44100/1024 Hz
        std::size_t peak;
        float amplitude;
    };
    for (const Row row : {Row{10, 10, 1.0f}, Row{100, 100, 1.0f}, Row{10, 10, 0.25f},
                          Row{440.0 * 1024 / 44100, 10, 1.0f}}) {
        SCOPED_TRACE(row.frequencyBin);
        std::array<float, kFftSize> mono;
        for (std::size_t i = 0; i < mono.size(); ++i)
            mono[i] = row.amplitude * static_cast<float>(std::sin(2 * std::numbers::pi *
                                                                  row.frequencyBin * i / kFftSize));
        std::array<float, kFftSize / 2> out{};
        spectrum1024(mono, out);
        const auto peak =
            static_cast<std::size_t>(std::max_element(out.begin(), out.end()) - out.begin());
        EXPECT_EQ(peak, row.peak);
        if (row.frequencyBin == std::floor(row.frequencyBin)) {
            EXPECT_NEAR(out[peak], row.amplitude, 0.02 * row.amplitude);
            EXPECT_LT(out[peak + 5], 0.001f); // Hann leakage stays near the peak
        }
    }
    std::array<float, kFftSize> silence{};
    std::array<float, kFftSize / 2> out{};
    out.fill(1.0f);
    spectrum1024(silence, out);
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 0.0f);

    // Every bin, the edges (0 and 511) included, against a direct transform: a DC offset, a
    // sine near the top and noise.
    std::array<float, kFftSize> mixed;
    uint32_t seed = 12345;
    for (std::size_t i = 0; i < mixed.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        mixed[i] = 0.2f + 0.3f * static_cast<float>(std::sin(std::numbers::pi * 510.5 * i / 512)) +
                   0.4f * (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f);
    }
    spectrum1024(mixed, out);
    for (std::size_t k = 0; k < out.size(); ++k) {
        double re = 0;
        double im = 0;
        for (std::size_t n = 0; n < kFftSize; ++n) {
            const double x = mixed[n] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / kFftSize));
            re += x * std::cos(2 * std::numbers::pi * k * n / kFftSize);
            im -= x * std::sin(2 * std::numbers::pi * k * n / kFftSize);
        }
        ASSERT_NEAR(out[k], std::hypot(re, im) * 4 / kFftSize, 1e-4) << "bin " << k;
    }
}

TEST(Analysis, StereoPeakLevelPacksLeftLowRightHigh) {
    struct Row {
        std::vector<int16_t> frames;
        uint32_t expected;
    };
    const std::vector<Row> rows = {
        {{}, 0},
        {{0, 0, 0, 0}, 0},
        {{100, -200, -300, 50}, 300u | (200u << 16)},
        {{-32768, 32767}, 32768u | (32767u << 16)}, // the most negative sample is 32768
        {{5, 9, 7}, 5u | (9u << 16)},               // a trailing half frame is ignored
    };
    for (const auto& row : rows)
        EXPECT_EQ(stereoPeakLevel(row.frames), row.expected);
}

} // namespace

namespace {

// A compressed stream stand-in: pseudo-random bytes with an MPEG frame header every 417 bytes.
std::vector<uint8_t> broadcast(std::size_t length, uint32_t seed) {
    std::vector<uint8_t> b(length);
    uint32_t x = seed;
    for (std::size_t i = 0; i < length; ++i) {
        x = x * 1664525u + 1013904223u;
        b[i] = static_cast<uint8_t>(x >> 24);
    }
    for (std::size_t i = 0; i + 3 < length; i += 417) {
        b[i] = 0xFF;
        b[i + 1] = 0xFB;
        b[i + 2] = 0x90;
    }
    return b;
}

} // namespace

// Connections of one broadcast, each fed in chunks: what comes out must be each byte once,
// in order, with exactly the repeated bytes cut, and nothing cut that did not repeat.
TEST(SeamTrimmer, CutsExactlyWhatTheNewConnectionRepeats) {
    const std::vector<uint8_t> b = broadcast(400000, 7);
    const std::vector<uint8_t> other = broadcast(60000, 99); // a restarted source's bytes
    struct Part {
        std::size_t from, to; // of b; from == to with `restart`: `other` instead
        bool restart = false;
    };
    struct Case {
        const char* name;
        std::vector<Part> parts;
        std::vector<std::size_t> cuts; // expected per seam
        std::size_t chunk;
    };
    const Case cases[] = {
        {"burst of 64 KiB", {{0, 100000}, {100000 - 65536, 200000}}, {65536}, 4096},
        {"burst, byte by byte", {{0, 30000}, {20000, 40000}}, {10000}, 1},
        {"burst starting mid-frame", {{0, 90001}, {90001 - 30123, 150000}}, {30123}, 1500},
        {"burst covers bytes lost in the cut",
         {{0, 100000}, {90000, 101000}, {95000, 180000}},
         {10000, 6000},
         777},
        {"no burst: only new audio", {{0, 80000}, {80000, 160000}}, {0}, 4096},
        {"gap: the server never sent some", {{0, 80000}, {83000, 160000}}, {0}, 4096},
        {"source restart: other bytes", {{0, 80000}, {0, 0, true}}, {0}, 4096},
        {"burst longer than the tail kept", {{0, 250000}, {50000, 260000}}, {0}, 8192},
        {"connection ends inside the overlap",
         {{0, 100000}, {60000, 61000}, {70000, 120000}},
         {1000, 30000},
         512},
        {"connection ends before its key", {{0, 50000}, {70000, 70040}}, {0}, 16},
        {"no audio before the seam", {{0, 0}, {0, 30000}}, {0}, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SeamTrimmer t;
        std::vector<uint8_t> out;
        std::vector<uint8_t> expected;
        const SeamTrimmer::Sink sink = [&](std::span<const uint8_t> bytes) {
            out.insert(out.end(), bytes.begin(), bytes.end());
            return true;
        };
        std::size_t have = 0; // of b, expected so far
        std::vector<std::size_t> cuts;
        for (std::size_t i = 0; i < c.parts.size(); ++i) {
            const Part& part = c.parts[i];
            if (i > 1)
                cuts.push_back(t.lastSeam().cutBytes);
            if (i > 0) {
                ASSERT_TRUE(t.beginSeam(sink));
            }
            const std::span<const uint8_t> bytes =
                part.restart ? std::span<const uint8_t>(other)
                             : std::span<const uint8_t>(b).subspan(part.from, part.to - part.from);
            for (std::size_t at = 0; at < bytes.size(); at += c.chunk)
                ASSERT_TRUE(t.feed(bytes.subspan(at, std::min(c.chunk, bytes.size() - at)), sink));
            ASSERT_TRUE(t.flush(sink));
            // What is new of this part, unless the tail kept is too short to find it in.
            const bool repeatTooLong =
                !part.restart && have > part.from && have - part.from > 160 * 1024;
            const std::size_t from =
                part.restart || repeatTooLong ? part.from : std::max(have, part.from);
            if (part.restart)
                expected.insert(expected.end(), other.begin(), other.end());
            else if (from < part.to)
                expected.insert(expected.end(), b.begin() + static_cast<std::ptrdiff_t>(from),
                                b.begin() + static_cast<std::ptrdiff_t>(part.to));
            have = part.restart ? have : std::max(have, part.to);
        }
        if (c.parts.size() > 1)
            cuts.push_back(t.lastSeam().cutBytes);
        EXPECT_TRUE(t.lastSeam().decided);
        EXPECT_EQ(cuts, c.cuts);
        EXPECT_EQ(out.size(), expected.size());
        EXPECT_TRUE(out == expected);
    }
}

} // namespace tl::audio
