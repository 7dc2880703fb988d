#pragma once
// Splits an ICY stream body into audio bytes and metadata blocks. After every `metaint`
// audio bytes comes one length byte L and then L*16 bytes of metadata text, padded with
// NULs. A block of length 0 means "unchanged". Pure: feed it any chunking.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace tl::audio {

class IcyDemuxer {
public:
    using AudioSink = std::function<void(std::span<const uint8_t>)>;
    using MetaSink = std::function<void(std::string_view)>;

    // metaint 0: the body is audio only.
    explicit IcyDemuxer(std::size_t metaint = 0) : metaint_(metaint), audioLeft_(metaint) {}

    // Audio runs go to `audio` (possibly several calls per feed); each complete non-empty
    // metadata block goes to `meta` as text, cut at the first NUL. A block that is still
    // incomplete when the data ends is kept until more arrives.
    void feed(std::span<const uint8_t> data, const AudioSink& audio, const MetaSink& meta);

    std::size_t metaint() const { return metaint_; }

private:
    enum class State { Audio, Length, Meta };
    std::size_t metaint_;
    State state_ = State::Audio;
    std::size_t audioLeft_;
    std::size_t metaLeft_ = 0;
    std::string block_;
};

// Longest name, title or description the engine hands out, in characters.
inline constexpr std::size_t kMaxNetworkTextChars = 1024;

// The first `maxChars` characters of `text`: code points when it is valid UTF-8, else bytes
// (it is then read as a single-byte encoding). Never cuts inside a UTF-8 sequence.
std::string_view cutNetworkText(std::string_view text, std::size_t maxChars = kMaxNetworkTextChars);

} // namespace tl::audio
