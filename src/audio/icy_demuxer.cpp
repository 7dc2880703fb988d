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

} // namespace tl::audio
