#include "audio/hls_input.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <algorithm>
#include <cstdlib>
#include <string>

namespace tl::audio {

namespace {

long long variantBitrate(const AVStream* st) {
    const AVDictionaryEntry* e = av_dict_get(st->metadata, "variant_bitrate", nullptr, 0);
    return e != nullptr ? std::atoll(e->value) : 0;
}

} // namespace

void addHlsOptions(AVDictionary** opts, long long rwTimeoutUs) {
    av_dict_set(opts, "protocol_whitelist", kHlsProtocols, 0);
    av_dict_set(opts, "format_whitelist", kHlsFormats, 0);
    av_dict_set(opts, "rw_timeout", std::to_string(rwTimeoutUs).c_str(), 0);
}

int pickHlsVariant(AVFormatContext* fmt) {
    int best = -1;
    long long bestRate = -1;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        if (st->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
            continue;
        }
        const long long rate = variantBitrate(st);
        if (rate > bestRate) {
            bestRate = rate;
            best = static_cast<int>(i);
        }
    }
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        if (static_cast<int>(i) != best) {
            fmt->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    return best;
}

long long hlsVariantBitRate(const AVFormatContext* fmt, int streamIndex) {
    if (streamIndex < 0 || static_cast<unsigned>(streamIndex) >= fmt->nb_streams) {
        return 0;
    }
    return std::max(variantBitrate(fmt->streams[streamIndex]), 0LL);
}

} // namespace tl::audio
