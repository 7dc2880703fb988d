#include "audio/hls_input.h"

#include "audio/hls_playlist.h"
#include "audio/id3_title.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

// ---- the guard ------------------------------------------------------------------------------

namespace tl::audio {

namespace {

constexpr int kIoBuffer = 32768;

int readUpTo(AVIOContext* in, std::string& out, std::size_t n) {
    const std::size_t start = out.size();
    out.resize(start + n);
    std::size_t got = 0;
    while (got < n) {
        const int r = avio_read(in, reinterpret_cast<unsigned char*>(out.data() + start + got),
                                static_cast<int>(std::min<std::size_t>(n - got, 1 << 16)));
        if (r <= 0) {
            out.resize(start + got);
            return r == AVERROR_EOF || got > 0 ? static_cast<int>(got) : r;
        }
        got += static_cast<std::size_t>(r);
    }
    return static_cast<int>(got);
}

bool startsPlaylist(std::string_view head) {
    if (head.substr(0, 3) == "\xEF\xBB\xBF")
        head.remove_prefix(3);
    return head.substr(0, 7) == "#EXTM3U";
}

} // namespace

struct HlsGuard::Connection {
    AVIOContext* inner = nullptr; // from FFmpeg's own io_open; answers option look-ups
    std::string pass;             // served before the rest of `inner`
    std::size_t pos = 0;
    bool passOnly = false; // a playlist from memory, or a segment cut after its tags

    static int read(void* opaque, uint8_t* buf, int size) {
        auto& c = *static_cast<Connection*>(opaque);
        if (c.pos < c.pass.size()) {
            const std::size_t n = std::min(c.pass.size() - c.pos, static_cast<std::size_t>(size));
            std::memcpy(buf, c.pass.data() + c.pos, n);
            c.pos += n;
            return static_cast<int>(n);
        }
        if (c.passOnly)
            return AVERROR_EOF;
        const int r = avio_read(c.inner, buf, size);
        return r == 0 ? AVERROR_EOF : r;
    }
    // Option look-ups (the address after redirects, cookies, the HTTP options the demuxer
    // hands on) go to the connection underneath.
    static void* child(void* obj, void* prev) {
        const auto* pb = static_cast<AVIOContext*>(obj);
        return prev != nullptr ? nullptr : static_cast<Connection*>(pb->opaque)->inner;
    }
};

namespace {

const AVClass* guardClass() {
    static const AVClass cls = [] {
        AVClass c{};
        c.class_name = "HlsGuard";
        c.item_name = av_default_item_name;
        c.version = LIBAVUTIL_VERSION_INT;
        c.child_next = &HlsGuard::Connection::child;
        return c;
    }();
    return &cls;
}

} // namespace

HlsGuard::HlsGuard(std::function<void(const std::string&)> onTitle)
    : onTitle_(std::move(onTitle)) {}

HlsGuard::~HlsGuard() {
    for (auto& [pb, c] : connections_) {
        avio_close(c->inner);
        AVIOContext* own = pb;
        av_freep(&own->buffer);
        avio_context_free(&own);
    }
}

int HlsGuard::openTop(AVFormatContext* fmt, const char* url, AVDictionary* const* opts) {
    fmt->opaque = this;
    defaultOpen_ = fmt->io_open;
    defaultClose_ = fmt->io_close2;
    fmt->io_open = ioOpen;
    fmt->io_close2 = ioClose;
    // The demuxer's own opens get the whitelist from the open's options; this one is first.
    av_opt_set(fmt, "protocol_whitelist", kHlsProtocols, 0);
    AVDictionary* copy = nullptr;
    av_dict_copy(&copy, *opts, 0);
    // FFmpeg's own io_open compares with the context's address (set by the open proper).
    fmt->url = av_strdup(url);
    const int r = fmt->url ? open(fmt, &fmt->pb, url, AVIO_FLAG_READ, &copy) : AVERROR(ENOMEM);
    av_freep(&fmt->url);
    av_dict_free(&copy);
    if (r >= 0)
        fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
    return r;
}

int HlsGuard::ioOpen(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                     AVDictionary** options) {
    return static_cast<HlsGuard*>(s->opaque)->open(s, pb, url, flags, options);
}

int HlsGuard::ioClose(AVFormatContext* s, AVIOContext* pb) {
    auto& g = *static_cast<HlsGuard*>(s->opaque);
    const auto it = g.connections_.find(pb);
    if (it == g.connections_.end())
        return g.defaultClose_ ? g.defaultClose_(s, pb) : avio_close(pb);
    const int r = avio_close(it->second->inner);
    g.connections_.erase(it);
    av_freep(&pb->buffer);
    avio_context_free(&pb);
    return r;
}

int HlsGuard::refuse(std::string reason) {
    if (refusal_.empty())
        refusal_ = std::move(reason);
    return AVERROR_INVALIDDATA;
}

int HlsGuard::open(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                   AVDictionary** options) {
    if ((flags & AVIO_FLAG_WRITE) != 0)
        return AVERROR(EPERM);
    if (!opened_ && ++requests_ > kMaxHlsOpenRequests)
        return refuse("its HLS stream needs too many requests to start");
    auto c = std::make_unique<Connection>();
    if (const int r = defaultOpen_(s, &c->inner, url, flags, options); r < 0)
        return r;
    const auto fail = [&](int r) {
        avio_closep(&c->inner);
        return r;
    };
    int r = readUpTo(c->inner, c->pass, 10);
    if (r < 0)
        return fail(r);
    if (startsPlaylist(c->pass)) {
        // Read whole (one byte past the bound tells a playlist that is too large).
        r = readUpTo(c->inner, c->pass, kMaxHlsPlaylistBytes + 1 - c->pass.size());
        if (r < 0)
            return fail(r);
        BoundedHlsPlaylist bounded = boundHlsPlaylist(c->pass);
        if (bounded.kind == BoundedHlsPlaylist::Kind::Master) {
            if (std::find(masters_.begin(), masters_.end(), url) != masters_.end()) {
                return fail(refuse(!masters_.empty() && masters_.back() == url
                                       ? "its HLS playlist names itself"
                                       : "its HLS playlists name each other in a loop"));
            }
            if (masters_.size() >= kMaxHlsNesting)
                return fail(refuse("its HLS playlists are nested too deep"));
            masters_.emplace_back(url);
        } else if (bounded.kind == BoundedHlsPlaylist::Kind::Refused) {
            return fail(refuse(std::move(bounded.reason)));
        }
        c->pass = std::move(bounded.text);
        c->passOnly = true;
    } else {
        // A segment (or a key): the ID3 tags it opens with.
        std::string look = std::move(c->pass);
        c->pass.clear();
        std::size_t skipped = 0;
        std::vector<unsigned char> sink;
        for (int tags = 0;; ++tags) {
            const std::size_t size = id3TagSize(look);
            if (size == 0)
                break;
            if (tags >= kMaxHlsTagsPerSegment || size > kMaxHlsSkippedTagBytes - skipped) {
                c->passOnly = true; // the segment ends here
                look.clear();
                break;
            }
            const std::size_t head = std::min(size, kMaxHlsTitleRead);
            if ((r = readUpTo(c->inner, look, head - look.size())) < 0)
                return fail(r);
            if (tags == 0 && onTitle_)
                if (const auto title = id3Title(look))
                    onTitle_(*title);
            if (tags == 0 && size <= kMaxHlsPassedTag) {
                c->pass += look;
            } else {
                skipped += size;
                sink.resize(1 << 16);
                for (std::size_t left = size - look.size(); left > 0;) {
                    r = avio_read(c->inner, sink.data(),
                                  static_cast<int>(std::min<std::size_t>(left, sink.size())));
                    if (r <= 0)
                        break;
                    left -= static_cast<std::size_t>(r);
                }
            }
            look.clear();
            if ((r = readUpTo(c->inner, look, 10)) < 0)
                return fail(r);
        }
        c->pass += look;
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
    AVIOContext* own = buffer ? avio_alloc_context(buffer, kIoBuffer, 0, c.get(), Connection::read,
                                                   nullptr, nullptr)
                              : nullptr;
    if (!own) {
        av_free(buffer);
        return fail(AVERROR(ENOMEM));
    }
    own->av_class = guardClass();
    own->seekable = 0;
    connections_.emplace(own, std::move(c));
    *pb = own;
    return 0;
}

} // namespace tl::audio
