#include "audio/decoder.h"

#include "audio/hls_input.h"
#include "audio/id3_title.h"
#include "audio/stage_log.h"
#include "common/hls_detect.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tl::audio::detail {

namespace {

constexpr int kAvioBufferSize = 4096;
// Bytes the decoder may take without an audio frame coming out once audio has played (a
// codec change, garbage). Endless zeros or an HTML page sent as audio/mpeg end here instead
// of feeding FFmpeg's parsers.
constexpr uint64_t kBytesWithoutAudio = 128 * 1024;
// Decoded audio the decoder runs ahead before play(): 4096 frames, about 93 ms.
constexpr std::size_t kAheadBeforePlay = 4096 * 4;

std::string avError(int err) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(err, buf, sizeof buf);
    return buf;
}

// The demuxer to force for a Content-Type, or nullptr to let FFmpeg probe.
const AVInputFormat* inputFormatFor(const std::string& contentType) {
    const std::string type = contentType.substr(0, contentType.find(';'));
    const std::string t = trimmedLower(type);
    if (t == "audio/mpeg" || t == "audio/mp3" || t == "audio/x-mpeg")
        return av_find_input_format("mp3");
    if (t == "audio/aac" || t == "audio/aacp" || t == "audio/x-aac")
        return av_find_input_format("aac");
    if (t == "application/ogg" || t == "audio/ogg" || t == "audio/x-ogg")
        return av_find_input_format("ogg");
    return nullptr;
}

StreamFormat formatFor(AVCodecID id) {
    switch (id) {
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3:
        return {0, "MP3"};
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_AAC_LATM:
        return {1, "AAC+"};
    case AV_CODEC_ID_WMAV1:
    case AV_CODEC_ID_WMAV2:
    case AV_CODEC_ID_WMAPRO:
    case AV_CODEC_ID_WMAVOICE:
    case AV_CODEC_ID_WMALOSSLESS:
        return {2, "WMA"};
    case AV_CODEC_ID_VORBIS:
        return {0, "OGG"};
    case AV_CODEC_ID_OPUS:
        return {0, "OPUS"};
    case AV_CODEC_ID_FLAC:
        return {0, "FLAC"};
    default: {
        std::string name = avcodec_get_name(id);
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return {0, name};
    }
    }
}

// Decoder thread. Ends the data early (an error FFmpeg passes up) once the decoder has read
// too much, or waited too long, without an audio frame coming out.
int readRing(void* opaque, uint8_t* buf, int size) {
    Stream& s = *static_cast<Stream*>(opaque);
    if (s.starved != ErrorCode::Ok)
        return AVERROR_EOF;
    std::unique_lock lock(s.m);
    const auto ready = [&] {
        return s.stop || s.abandoned || !s.ring.empty() || s.netDone;
    };
    // While the connection is being replaced the wait is not a stall: the network thread
    // gives up by itself (then netDone), or the stream is stopped.
    while (!s.cv.wait_until(lock, s.audioDeadline, ready) && s.reconnecting)
        s.audioDeadline = Clock::now() + s.options.stallTimeout;
    if (s.stop || s.abandoned)
        return AVERROR_EXIT;
    if (s.consumed - s.consumedAtAudio >= s.bytesWithoutAudio) {
        s.starved = ErrorCode::FileForm;
        return AVERROR_EOF;
    }
    if (s.ring.empty()) {
        if (!s.netDone)
            s.starved = ErrorCode::Timeout;
        return AVERROR_EOF;
    }
    const std::size_t n = s.ring.read(
        buf,
        static_cast<std::size_t>(std::min<uint64_t>(
            static_cast<uint64_t>(size), s.consumedAtAudio + s.bytesWithoutAudio - s.consumed)));
    s.consumed += n;
    lock.unlock();
    s.cv.notify_all();
    return static_cast<int>(n);
}

struct InterruptState {
    Stream* stream;
    Clock::time_point deadline; // max() once open
};

// FFmpeg's interrupt callback, on the decoder thread.
int interrupted(void* opaque) {
    const auto* st = static_cast<const InterruptState*>(opaque);
    const Stream& s = *st->stream;
    const auto now = Clock::now();
    return (s.stop || s.abandoned || now > st->deadline || now > s.audioDeadline) ? 1 : 0;
}

class Decoder {
public:
    explicit Decoder(Stream& s) : s_(s), irq_{&s, Clock::time_point::max()} {}
    ~Decoder() { close(); }

    // Frees what open() and decoding made, so that open() can run again.
    void close() {
        av_packet_free(&pkt_);
        av_frame_free(&frame_);
        swr_free(&swr_);
        avcodec_free_context(&codec_);
        avformat_close_input(&fmt_);
        if (io_) {
            av_freep(&io_->buffer);
            avio_context_free(&io_);
        }
        av_channel_layout_uninit(&inLayout_);
        inFormat_ = -1;
        inRate_ = 0;
        index_ = -1;
        tagsSeen_ = false;
        framesDelivered_ = 0;
        errors_ = 0;
        prefix_.clear();
        prefixPos_ = 0;
    }

    void run() {
        s_.audioDeadline = s_.startDeadline; // the whole open, first frame included
        const ErrorCode openResult = open();
        if (openResult != ErrorCode::Ok) {
            ErrorCode code = openResult;
            {
                std::lock_guard lock(s_.m);
                if (s_.netFailure != ErrorCode::Ok)
                    code = s_.netFailure;
            }
            if (s_.stop)
                code = ErrorCode::Cancelled;
            s_.fail(code);
        } else {
            decode();
        }
        {
            std::lock_guard lock(s_.m);
            s_.decoderGone = true; // the network thread stops instead of waiting for room
        }
        s_.cv.notify_all();
        {
            std::lock_guard lock(s_.pcmMutex);
            s_.decoderDone = true;
        }
        s_.pcmCv.notify_all();
        s_.stopEncoders();
    }

private:
    ErrorCode open() {
        fmt_ = avformat_alloc_context();
        if (!fmt_)
            return ErrorCode::Memory;
        fmt_->interrupt_callback.callback = interrupted;
        fmt_->interrupt_callback.opaque = &irq_;
        // Freed on every way out of this function (avformat_open_input replaces it with the
        // options it did not use).
        AVDictionary* opts = nullptr;
        const std::unique_ptr<AVDictionary*, void (*)(AVDictionary**)> freeOpts(&opts,
                                                                                av_dict_free);
        av_dict_set(&opts, "probesize", "32768", 0);
        av_dict_set(&opts, "analyzeduration", "500000", 0);
        av_dict_set(&opts, "formatprobesize", "8192", 0);
        int r = 0;
        if (s_.mms) {
            const std::string rest = s_.url.substr(s_.url.find("://") + 3);
            // mms:// tries HTTP, then TCP; an address that names its protocol gets only that.
            std::vector<const char*> schemes = {"mmsh://", "mmst://"};
            if (startsWithNoCase(s_.url, "mmsh://"))
                schemes = {"mmsh://"};
            else if (startsWithNoCase(s_.url, "mmst://"))
                schemes = {"mmst://"};
            av_dict_set(
                &opts, "rw_timeout",
                std::to_string(std::chrono::microseconds(s_.options.stallTimeout).count()).c_str(),
                0);
            irq_.deadline = Clock::now() + s_.options.connectTimeout;
            r = AVERROR(EIO);
            for (const char* scheme : schemes) {
                if (s_.stop)
                    break;
                AVDictionary* tryOpts = nullptr;
                av_dict_copy(&tryOpts, opts, 0);
                r = avformat_open_input(&fmt_, (scheme + rest).c_str(), nullptr, &tryOpts);
                av_dict_free(&tryOpts);
                if (r >= 0)
                    break;
                fmt_ = avformat_alloc_context(); // freed by the failed open
                if (!fmt_)
                    break;
                fmt_->interrupt_callback.callback = interrupted;
                fmt_->interrupt_callback.opaque = &irq_;
            }
            if (r < 0) {
                return s_.stop                        ? ErrorCode::Cancelled
                       : Clock::now() > irq_.deadline ? ErrorCode::Timeout
                                                      : ErrorCode::FileOpen;
            }
        } else if (s_.hls) {
            if (const ErrorCode opened = openHls(&opts); opened != ErrorCode::Ok)
                return opened;
        } else {
            {
                std::unique_lock lock(s_.m);
                s_.cv.wait(lock, [&] { return s_.stop || s_.phase != Stream::Phase::Connecting; });
                if (s_.stop)
                    return ErrorCode::Cancelled;
                if (s_.phase == Stream::Phase::Failed)
                    return s_.failure;
            }
            std::string contentType;
            {
                std::lock_guard lock(s_.m);
                contentType = s_.contentType;
            }
            const AVInputFormat* input = chooseInputFormat(contentType);
            if (s_.stop)
                return ErrorCode::Cancelled;
            const std::string_view head(reinterpret_cast<const char*>(prefix_.data()),
                                        prefix_.size());
            if (isHlsPlaylist(s_.url, contentType, head)) {
                // The address answered with an HLS playlist: FFmpeg's demuxer takes over with
                // the address itself (its segments are named relative to it), and the network
                // thread lets go of the playlist.
                {
                    std::lock_guard lock(s_.m);
                    s_.decoderGone = true;
                }
                s_.cv.notify_all();
                s_.hls = true;
                prefix_.clear();
                if (const ErrorCode opened = openHls(&opts); opened != ErrorCode::Ok)
                    return opened;
                return finishOpen();
            }
            auto* buffer = static_cast<unsigned char*>(av_malloc(kAvioBufferSize));
            io_ = buffer ? avio_alloc_context(buffer, kAvioBufferSize, 0, this, readPacket, nullptr,
                                              nullptr)
                         : nullptr;
            if (!io_) {
                av_free(buffer);
                return ErrorCode::Memory;
            }
            fmt_->pb = io_;
            fmt_->flags |= AVFMT_FLAG_CUSTOM_IO;
            r = avformat_open_input(&fmt_, "", input, &opts);
            if (r < 0) {
                fmt_ = nullptr;
                return openFailure();
            }
        }
        return finishOpen();
    }

    // The rest of the open, once the demuxer has its input: probe, pick the stream, open the
    // codec and decode the first frame.
    ErrorCode finishOpen() {
        irq_.deadline = Clock::time_point::max();

        // Probing is bounded by the probe size and, whatever FFmpeg does, by readRing's limit
        // of bytes without audio and the open's deadline.
        if (avformat_find_stream_info(fmt_, nullptr) < 0 && (s_.stop || s_.abandoned))
            return ErrorCode::Cancelled;
        markStage("probed");
        const AVCodec* codec = nullptr;
        if (s_.hls) {
            // The variant chosen before probing; the others are discarded.
            if (index_ >= 0)
                codec = avcodec_find_decoder(fmt_->streams[index_]->codecpar->codec_id);
        } else {
            index_ = av_find_best_stream(fmt_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        }
        if (index_ < 0 || !codec)
            return openFailure();
        codec_ = avcodec_alloc_context3(codec);
        if (!codec_)
            return ErrorCode::Memory;
        if (avcodec_parameters_to_context(codec_, fmt_->streams[index_]->codecpar) < 0 ||
            avcodec_open2(codec_, codec, nullptr) < 0)
            return ErrorCode::FileForm;
        pkt_ = av_packet_alloc();
        frame_ = av_frame_alloc();
        if (!pkt_ || !frame_)
            return ErrorCode::Memory;
        // Open means playable: a body that yields no audio (zeros, an HTML page, a demuxer
        // forced by a wrong Content-Type) fails here, as a refused connection does.
        while (framesDelivered_ == 0)
            if (!step())
                return openFailure();
        markStage("first_frame");
        if (hls_)
            hls_->opened();
        {
            std::lock_guard lock(s_.m);
            s_.format = formatFor(codec->id);
            // HLS: the bandwidth the master playlist gives the variant, else the codec's.
            const int64_t variantRate = s_.hls ? hlsVariantBitRate(fmt_, index_) : 0;
            s_.format.bitRate = variantRate > 0 ? variantRate : codecBitRate();
            s_.phase = Stream::Phase::Ready;
        }
        s_.cv.notify_all();
        return ErrorCode::Ok;
    }

    // An HLS playlist, opened by FFmpeg's demuxer with its own HTTP: only network protocols,
    // the variant with the highest bandwidth, everything read bounded by the guard (which
    // also passes on the title of every segment's ID3 tag; FFmpeg keeps only the first
    // segment's). A stop, the open's deadline and the stall time-out end any wait through the
    // interrupt callback; rw_timeout bounds a server that stops answering in the middle of a
    // segment, and a missing segment is skipped.
    ErrorCode openHls(AVDictionary** opts) {
        addHlsOptions(opts, std::chrono::microseconds(s_.options.stallTimeout).count());
        // Every request through io_open (a kept-alive connection would bypass it).
        av_dict_set(opts, "http_persistent", "0", 0);
        // The stream proxy, as for the other HTTP streams; empty disables the environment's
        // too. The demuxer hands it on to every playlist and segment request.
        std::string proxy = s_.proxy;
        if (!proxy.empty() && proxy.find("://") == std::string::npos)
            proxy = "http://" + proxy;
        av_dict_set(opts, "http_proxy", proxy.c_str(), 0);
        hls_ = std::make_unique<HlsGuard>([this](const std::string& title) {
            setMeta(s_, "StreamTitle='" + std::string(cutNetworkText(title)) + "';");
        });
        irq_.deadline = Clock::now() + s_.options.connectTimeout;
        int r = hls_->openTop(fmt_, s_.url.c_str(), opts);
        if (r >= 0) {
            r = avformat_open_input(&fmt_, s_.url.c_str(), av_find_input_format("hls"), opts);
            if (r < 0)
                fmt_ = nullptr;
        }
        if (r < 0) {
            if (std::getenv("TL_AUDIO_DEBUG"))
                std::fprintf(stderr, "audio: HLS open failed: %s\n", avError(r).c_str());
            if (!s_.stop && hlsRefused(r))
                return ErrorCode::FileOpen;
            return s_.stop                        ? ErrorCode::Cancelled
                   : Clock::now() > irq_.deadline ? ErrorCode::Timeout
                                                  : ErrorCode::FileOpen;
        }
        index_ = pickHlsVariant(fmt_);
        if (index_ < 0 && hlsRefused(0))
            return ErrorCode::FileOpen;
        return ErrorCode::Ok;
    }

    // Whether the HLS open failed for a cause worth naming (a playlist the guard refused, a
    // limit of the system's); if so the stream's fault says which.
    bool hlsRefused(int err) {
        std::string why = hls_ ? hls_->refusal() : std::string();
        if (why.empty() && err == AVERROR(EMFILE))
            why = "Too many open files";
        if (why.empty())
            return false;
        std::lock_guard lock(s_.m);
        s_.connectFault = ConnectFault::Playlist;
        s_.faultDetail = why;
        return true;
    }

    // What the stream declares for its codec, else what FFmpeg estimated; 0 when neither
    // is believable.
    int64_t codecBitRate() const {
        int64_t rate = fmt_->streams[index_]->codecpar->bit_rate;
        if (rate <= 0)
            rate = codec_->bit_rate;
        return rate > 0 && rate < 10'000'000 ? rate : 0;
    }

    // The demuxer for the stream: the one its Content-Type names, unless the first bytes say
    // clearly that they are something else (servers that label AAC+ as audio/mpeg exist; a
    // forced MP3 demuxer would play them as silence). Those bytes are kept in prefix_ and
    // handed to FFmpeg before the rest of the ring. A small look first: when the bytes agree
    // with the Content-Type the stream starts without waiting for more of the server's burst;
    // otherwise (no Content-Type, a contradiction, a long ID3 tag, a weak match) the larger
    // look decides.
    const AVInputFormat* chooseInputFormat(const std::string& contentType) {
        const AVInputFormat* named = inputFormatFor(contentType);
        constexpr std::size_t kSmallPeek = 4096;
        constexpr std::size_t kPeek = 16384;
        prefix_.assign(kPeek + AVPROBE_PADDING_SIZE, 0);
        // A reopen at a seam starts with the bytes already looked at there.
        std::size_t got = std::min(carry_.size(), kPeek);
        std::memcpy(prefix_.data(), carry_.data(), got);
        carry_.clear();
        const AVInputFormat* probed = nullptr;
        int score = 0;
        for (const std::size_t want : {kSmallPeek, kPeek}) {
            while (got < want) {
                const int n = readRing(&s_, prefix_.data() + got, static_cast<int>(want - got));
                if (n <= 0)
                    break;
                got += static_cast<std::size_t>(n);
            }
            AVProbeData probe{};
            probe.filename = "";
            probe.buf = prefix_.data();
            probe.buf_size = static_cast<int>(got); // the padding after it is zeros
            probed = got ? av_probe_input_format3(&probe, 1, &score) : nullptr;
            const bool agrees = named && probed == named && score >= AVPROBE_SCORE_EXTENSION / 2;
            if (agrees || got < want) // agreement, or the data has ended
                break;
        }
        prefix_.resize(got);
        if (!named)
            return probed && score >= AVPROBE_SCORE_EXTENSION / 2 ? probed : nullptr;
        if (probed && probed != named && score >= AVPROBE_SCORE_EXTENSION / 2)
            return probed;
        return named;
    }

    ErrorCode openFailure() const {
        if (s_.stop || s_.abandoned)
            return ErrorCode::Cancelled;
        if (s_.starved != ErrorCode::Ok)
            return s_.starved;
        return Clock::now() > s_.audioDeadline ? ErrorCode::Timeout : ErrorCode::FileForm;
    }

    static int readPacket(void* opaque, uint8_t* buf, int size) {
        Decoder& d = *static_cast<Decoder*>(opaque);
        if (d.prefixPos_ < d.prefix_.size()) {
            const std::size_t n =
                std::min(static_cast<std::size_t>(size), d.prefix_.size() - d.prefixPos_);
            std::memcpy(buf, d.prefix_.data() + d.prefixPos_, n);
            d.prefixPos_ += n;
            return static_cast<int>(n);
        }
        if (d.framesDelivered_ > 0) { // playing: a reconnection's seam is looked at
            uint64_t seam = kNoPosition;
            uint64_t consumed = 0;
            std::string type;
            {
                std::lock_guard lock(d.s_.m);
                seam = d.s_.seamAt;
                consumed = d.s_.consumed;
                type = d.s_.seamContentType;
            }
            if (seam != kNoPosition && seam != d.seamChecked_) {
                if (consumed >= seam) {
                    d.seamChecked_ = seam;
                    if (d.formatChangesAtSeam(type)) {
                        d.reopen_ = true;
                        return AVERROR_EOF;
                    }
                    return readPacket(opaque, buf, size);
                }
                size = static_cast<int>(
                    std::min<uint64_t>(static_cast<uint64_t>(size), seam - consumed));
            }
        }
        return readRing(&d.s_, buf, size);
    }

    // Reads one packet and decodes it. False once the data has ended: the server closed or
    // reset the connection, no audio came out of the last bytes or for too long (garbage, a
    // change of codec), the decoder keeps failing, or the stream is stopped.
    bool step() {
        if (s_.stop || s_.abandoned)
            return false;
        const int r = av_read_frame(fmt_, pkt_);
        if (r == AVERROR(EAGAIN)) {
            if (Clock::now() > s_.audioDeadline) {
                s_.starved = ErrorCode::Timeout;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return true;
        }
        if (r < 0) {
            if (std::getenv("TL_AUDIO_DEBUG"))
                std::fprintf(stderr, "audio: stream %u ends: %s\n", s_.id, avError(r).c_str());
            return false;
        }
        publishStreamTags();
        bool more = true;
        if (pkt_->stream_index == index_) {
            if (avcodec_send_packet(codec_, pkt_) < 0 && ++errors_ > 1000)
                more = false; // garbage that never decodes
            else
                receive(frame_);
        }
        av_packet_unref(pkt_);
        return more;
    }

    // Decodes to the end. A reconnection that brings another format (MP3 then AAC, AAC
    // labelled audio/mpeg, an HLS playlist) ends the demuxer at the seam; the stream is then
    // opened anew from there, as a first open would, and plays on.
    void decode() {
        for (;;) {
            while (step()) {
            }
            if (!s_.stop) {
                avcodec_send_packet(codec_, nullptr);
                receive(frame_);
            }
            if (!reopen_ || s_.stop || s_.abandoned)
                return;
            reopen_ = false;
            std::vector<uint8_t> carry = std::move(prefix_);
            close();
            carry_ = std::move(carry);
            {
                std::lock_guard lock(s_.m);
                s_.contentType = s_.seamContentType;
                s_.consumedAtAudio = s_.consumed;
            }
            s_.starved = ErrorCode::Ok;
            s_.bytesWithoutAudio = kOpenBytesWithoutAudio;
            s_.audioDeadline = Clock::now() + s_.options.connectTimeout + s_.options.stallTimeout;
            const ErrorCode opened = open();
            if (std::getenv("TL_AUDIO_DEBUG"))
                std::fprintf(stderr, "audio: stream %u reopened for a new format: %s (%d)\n", s_.id,
                             opened == ErrorCode::Ok ? s_.format.label.c_str() : "failed",
                             static_cast<int>(opened));
            if (opened != ErrorCode::Ok)
                return;
        }
    }

    // Decoder thread, at the first byte of a reconnection's audio: whether it is another
    // format than the one open. The bytes looked at go to prefix_, read before the ring.
    bool formatChangesAtSeam(const std::string& contentType) {
        constexpr std::size_t kLook = 4096;
        prefix_.assign(kLook + AVPROBE_PADDING_SIZE, 0);
        prefixPos_ = 0;
        std::size_t got = 0;
        while (got < kLook) {
            const int n = readRing(&s_, prefix_.data() + got, static_cast<int>(kLook - got));
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        const std::string_view head(reinterpret_cast<const char*>(prefix_.data()), got);
        AVProbeData probe{};
        probe.filename = "";
        probe.buf = prefix_.data();
        probe.buf_size = static_cast<int>(got);
        int score = 0;
        const AVInputFormat* probed = got ? av_probe_input_format3(&probe, 1, &score) : nullptr;
        prefix_.resize(got);
        if (!fmt_ || !fmt_->iformat)
            return false;
        const AVInputFormat* named = inputFormatFor(contentType);
        if (isHlsPlaylist(std::string(), contentType, head))
            return true;
        if (probed && score >= AVPROBE_SCORE_EXTENSION / 2)
            return probed != fmt_->iformat;
        return named && named != fmt_->iformat;
    }

    // Ogg streams carry their titles as comment headers, not ICY blocks: a new comment header
    // becomes the same "StreamTitle='...';" text an ICY server would send. Streams with ICY
    // metadata keep theirs.
    void publishStreamTags() {
        if (index_ < 0) {
            return;
        }
        {
            std::lock_guard lock(s_.m);
            if (s_.metaint != 0) {
                return;
            }
        }
        AVStream* st = fmt_->streams[index_];
        const bool updated = (st->event_flags & AVSTREAM_EVENT_FLAG_METADATA_UPDATED) != 0;
        if (!updated && tagsSeen_) {
            return;
        }
        st->event_flags &= ~AVSTREAM_EVENT_FLAG_METADATA_UPDATED;
        tagsSeen_ = true;
        const AVDictionaryEntry* title = av_dict_get(st->metadata, "title", nullptr, 0);
        const AVDictionaryEntry* artist = av_dict_get(st->metadata, "artist", nullptr, 0);
        if (title == nullptr && artist == nullptr) {
            return;
        }
        std::string text;
        if (artist != nullptr && title != nullptr) {
            text = std::string(artist->value) + " - " + title->value;
        } else {
            text = title != nullptr ? title->value : artist->value;
        }
        setMeta(s_, "StreamTitle='" + std::string(cutNetworkText(text)) + "';");
    }

    void receive(AVFrame* frame) {
        while (!s_.stop && avcodec_receive_frame(codec_, frame) >= 0) {
            deliver(frame);
            av_frame_unref(frame);
            audioCameOut();
        }
    }

    // A frame was decoded and handed on (waiting for room in the PCM ring included): the
    // limits of bytes and time without audio start again from here.
    void audioCameOut() {
        ++framesDelivered_;
        errors_ = 0;
        {
            std::lock_guard lock(s_.m);
            s_.consumedAtAudio = s_.consumed;
        }
        s_.bytesWithoutAudio = kBytesWithoutAudio;
        s_.audioDeadline = Clock::now() + s_.options.stallTimeout;
    }

    bool prepareResampler(const AVFrame* frame) {
        AVChannelLayout in{};
        if (frame->ch_layout.nb_channels > 0)
            av_channel_layout_copy(&in, &frame->ch_layout);
        else
            av_channel_layout_default(&in, std::max(codec_->ch_layout.nb_channels, 1));
        const bool same = swr_ && frame->format == inFormat_ && frame->sample_rate == inRate_ &&
                          av_channel_layout_compare(&in, &inLayout_) == 0;
        if (same) {
            av_channel_layout_uninit(&in);
            return true;
        }
        swr_free(&swr_);
        av_channel_layout_uninit(&inLayout_);
        inLayout_ = in;
        inFormat_ = frame->format;
        inRate_ = frame->sample_rate;
        AVChannelLayout out{};
        av_channel_layout_default(&out, 2);
        if (swr_alloc_set_opts2(&swr_, &out, AV_SAMPLE_FMT_S16, s_.rate, &inLayout_,
                                static_cast<AVSampleFormat>(inFormat_), inRate_, 0, nullptr) < 0 ||
            swr_init(swr_) < 0) {
            swr_free(&swr_);
            return false;
        }
        return true;
    }

    void deliver(const AVFrame* frame) {
        if (frame->sample_rate <= 0 || !prepareResampler(frame))
            return;
        const int capacity = swr_get_out_samples(swr_, frame->nb_samples);
        if (capacity <= 0)
            return;
        out_.resize(static_cast<std::size_t>(capacity) * 2);
        auto* dst = reinterpret_cast<uint8_t*>(out_.data());
        const int frames =
            swr_convert(swr_, &dst, capacity, const_cast<const uint8_t**>(frame->extended_data),
                        frame->nb_samples);
        if (frames <= 0)
            return;
        const std::span<const uint8_t> bytes(dst, static_cast<std::size_t>(frames) * 4);

        // Encoders get the samples before volume; they never hold up decoding.
        s_.encoders.feed(frame->pkt_pos, bytes);

        // Until play() only a little is decoded ahead: the rest waits in the byte ring, whose
        // fill is what the player's buffering counts, so a server that sends no burst is not
        // first made to fill a second of decoded audio nobody counts. play() wakes us.
        std::unique_lock lock(s_.pcmMutex);
        std::size_t done = 0;
        const auto room = [&]() -> std::size_t {
            std::size_t r = s_.pcm.space();
            if (!s_.playing)
                r = s_.pcm.size() < kAheadBeforePlay ? std::min(r, kAheadBeforePlay - s_.pcm.size())
                                                     : 0;
            return r & ~std::size_t{3};
        };
        while (done < bytes.size()) {
            // Playing, and the ring is full: decoding resumes in a batch once a quarter of it
            // has drained (only then does the output wake this thread).
            const std::size_t want =
                s_.playing && room() < bytes.size() - done ? kPcmRefillBytes : 4;
            s_.pcmCv.wait(lock, [&] { return s_.stop || room() >= want; });
            if (s_.stop)
                return;
            done += s_.pcm.write(bytes.data() + done, std::min(room(), bytes.size() - done));
        }
    }

    Stream& s_;
    InterruptState irq_;
    // HLS: what the demuxer reads; outlives fmt_ (closed in the destructor's body).
    std::unique_ptr<HlsGuard> hls_;
    AVFormatContext* fmt_ = nullptr;
    AVIOContext* io_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    SwrContext* swr_ = nullptr;
    AVChannelLayout inLayout_{};
    int inFormat_ = -1;
    int inRate_ = 0;
    int index_ = -1;
    bool tagsSeen_ = false; // the first comment header has been published
    AVPacket* pkt_ = nullptr;
    AVFrame* frame_ = nullptr;
    uint64_t framesDelivered_ = 0;
    int errors_ = 0; // packets the decoder refused since the last frame
    std::vector<int16_t> out_;
    std::vector<uint8_t> prefix_; // the first bytes, read for the format check
    std::size_t prefixPos_ = 0;
    uint64_t seamChecked_ = kNoPosition; // the last seam looked at
    bool reopen_ = false;                // the demuxer ended at a seam of another format
    std::vector<uint8_t> carry_;         // bytes looked at there, for the new open
};

} // namespace

void decoderMain(Stream& s) {
    {
        Decoder decoder(s);
        decoder.run();
    }
    // What a hostile stream made the demuxer allocate goes back to the system, not only to
    // the allocator's free lists.
    malloc_trim(0);
}

} // namespace tl::audio::detail
