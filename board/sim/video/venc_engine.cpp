// libavcodec behind the simulated encoder.
#include "board/sim/video/venc_engine.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace sim::video {

Encoder::~Encoder() = default;

namespace {

// Pixels per second above which live H.265 falls behind on two cores:
// 1080p30 is coded live (about 1.1 cores at kX265Faster), 720p100 is not.
constexpr double kLiveHevcPixelRate = 1920.0 * 1080 * 30;

// The fastest presets. libx264 codes on one thread (see open), and a
// 1080p60 High channel must keep to it: the profile's tools are added to
// ultrafast one by one (superfast's finer analysis would leave it too
// little headroom).
constexpr const char *kX264Preset = "ultrafast";
constexpr const char *kX265Preset = "ultrafast";
// Faster still than ultrafast: coding units of 32 x 32 only, the cheapest
// rate-distortion analysis and one merge candidate take a fifth off.
constexpr const char *kX265Faster = ":min-cu-size=32:rd=1:max-merge=1";

// Where each NAL unit of an Annex-B buffer starts (its header byte).
std::vector<size_t> nal_starts(const std::vector<uint8_t> &b)
{
    std::vector<size_t> at;
    for (size_t i = 0; i + 3 <= b.size(); i++)
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1) {
            at.push_back(i + 3);
            i += 2;
        }
    return at;
}

bool is_vcl(Codec codec, uint8_t header)
{
    if (codec == Codec::h264)
        return (header & 0x1f) >= 1 && (header & 0x1f) <= 5;
    return ((header >> 1) & 0x3f) < 32;
}

class LiveEncoder : public Encoder {
public:
    ~LiveEncoder() override
    {
        av_bsf_free(&vui_);
        av_packet_free(&pkt_);
        av_frame_free(&frame_);
        avcodec_free_context(&ctx_);
        av_freep(&planar_);
    }

    bool open(const EncoderConfig &cfg)
    {
        cfg_ = cfg;
        const char *name = cfg.codec == Codec::h264 ? "libx264" : cfg.codec == Codec::h265 ? "libx265" : "mjpeg";
        const AVCodec *codec = avcodec_find_encoder_by_name(name);
        if (!codec)
            return false;
        ctx_ = avcodec_alloc_context3(codec);
        frame_ = av_frame_alloc();
        pkt_ = av_packet_alloc();
        if (!ctx_ || !frame_ || !pkt_)
            return false;
        ctx_->width = (int)cfg.width;
        ctx_->height = (int)cfg.height;
        ctx_->time_base = AVRational{1, (int)(cfg.fps ? cfg.fps : 30)};
        ctx_->framerate = AVRational{(int)(cfg.fps ? cfg.fps : 30), 1};
        ctx_->thread_count = 2;
        if (cfg.codec == Codec::jpeg) {
            ctx_->pix_fmt = AV_PIX_FMT_YUVJ420P;
            ctx_->flags |= AV_CODEC_FLAG_QSCALE;
            ctx_->global_quality = FF_QP2LAMBDA * 3;
            ctx_->thread_count = 1;
        } else {
            ctx_->pix_fmt = cfg.codec == Codec::h264 ? AV_PIX_FMT_NV21 : AV_PIX_FMT_YUV420P;
            ctx_->gop_size = (int)(cfg.gop ? cfg.gop : 30);
            ctx_->keyint_min = ctx_->gop_size;
            ctx_->max_b_frames = 0;
            set_rate(cfg);
            av_opt_set(ctx_->priv_data, "tune", "zerolatency", 0);
            av_opt_set(ctx_->priv_data, "forced-idr", "1", 0);
            if (cfg.codec == Codec::h264) {
                av_opt_set(ctx_->priv_data, "preset", kX264Preset, 0);
                av_opt_set(ctx_->priv_data, "profile", x264_profile(cfg.profile), 0);
                // One thread: x264's sliced threads would cut every picture
                // into a slice per thread whatever the channel asks.
                ctx_->thread_count = 1;
                av_opt_set(ctx_->priv_data, "x264-params", x264_params(cfg).c_str(), 0);
            } else {
                av_opt_set(ctx_->priv_data, "preset", kX265Preset, 0);
                av_opt_set(ctx_->priv_data, "profile", "main", 0);
                av_opt_set(ctx_->priv_data, "x265-params", x265_params(cfg).c_str(), 0);
            }
        }
        if (avcodec_open2(ctx_, codec, nullptr) < 0)
            return false;
        if (!open_vui_filter(cfg))
            return false;
        if (ctx_->pix_fmt != AV_PIX_FMT_NV21) {
            // Planar input: the chroma planes are rebuilt from NV21 each picture.
            if (av_image_alloc(planes_, linesize_, (int)cfg.width, (int)cfg.height, ctx_->pix_fmt, 64) < 0)
                return false;
            planar_ = planes_[0];
        }
        return true;
    }

    // The codec's first pictures cost several periods (its buffers are
    // made and first touched, its tables filled): they are coded here, on
    // the picture the channel gets before it starts, and thrown away, so
    // that the recording's first picture costs what any key picture does,
    // as it would on the hardware. The recording begins with a forced IDR,
    // which refers to none of them.
    bool warm_up(const Picture &pic) override
    {
        if (cfg_.codec == Codec::jpeg)
            return true;
        for (uint32_t i = 0; i < kWarmUpPictures; i++) {
            AccessUnit au;
            if (!code(pic, i == 0, au))
                return false;
        }
        restart();
        return true;
    }

    bool encode(const Picture &pic, bool force_key, AccessUnit &out) override
    {
        if (!code(pic, force_key, out))
            return false;
        if (stale_ && !out.bytes.empty()) {
            stale_--;
            out.bytes.clear();
            out.key = false;
        }
        return true;
    }

    void restart() override { stale_ = in_flight_; }

private:
    // Pictures the warm-up codes: the first two are slow, the third settles.
    static constexpr uint32_t kWarmUpPictures = 3;

    bool code(const Picture &pic, bool force_key, AccessUnit &out)
    {
        out.bytes.clear();
        out.key = false;
        if (pic.width != cfg_.width || pic.height != cfg_.height)
            return false;
        av_frame_unref(frame_);
        frame_->format = ctx_->pix_fmt;
        frame_->width = ctx_->width;
        frame_->height = ctx_->height;
        AVBufferRef *ref;
        if (ctx_->pix_fmt == AV_PIX_FMT_NV21) {
            // The encoder copies the picture before encode returns.
            frame_->data[0] = pic.y();
            frame_->data[1] = pic.vu();
            frame_->linesize[0] = frame_->linesize[1] = (int)pic.stride;
            ref = av_buffer_create(pic.y(), Picture::bytes(pic.width, pic.height), av_buffer_default_free_noop,
                                   nullptr, 0);
        } else {
            nv21_to_i420_strided(pic);
            for (int i = 0; i < 3; i++) {
                frame_->data[i] = planes_[i];
                frame_->linesize[i] = linesize_[i];
            }
            ref = av_buffer_create(planar_, 1, av_buffer_default_free_noop, nullptr, 0);
        }
        if (!ref)
            return false;
        frame_->buf[0] = ref;
        frame_->pts = next_pts_++;
        frame_->pict_type = force_key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        int ret = avcodec_send_frame(ctx_, frame_);
        av_frame_unref(frame_);
        if (ret < 0)
            return false;
        in_flight_++;
        ret = avcodec_receive_packet(ctx_, pkt_);
        if (ret == AVERROR(EAGAIN))
            return true;
        if (ret < 0)
            return false;
        in_flight_--;
        out.key = (pkt_->flags & AV_PKT_FLAG_KEY) != 0;
        // The parameter sets travel with the key pictures only.
        if (vui_ && out.key && !rewrite_vui())
            return false;
        out.bytes.assign(pkt_->data, pkt_->data + pkt_->size);
        av_packet_unref(pkt_);
        fix_nal_headers(cfg_.codec, out.bytes);
        return true;
    }

    // The rate: a constant one, a ceiling over a constant quality, or no
    // rate at all at fixed QPs (given with the codec's parameters).
    void set_rate(const EncoderConfig &cfg)
    {
        if (cfg.rc == RateControl::fixed_qp)
            return;
        int64_t rate = (int64_t)cfg.kbps * 1000;
        ctx_->rc_max_rate = rate;
        ctx_->rc_buffer_size = (int)rate;
        if (cfg.rc == RateControl::cbr) {
            ctx_->bit_rate = rate;
            ctx_->rc_min_rate = rate;
        } else {
            av_opt_set(ctx_->priv_data, "crf", "23", 0);
        }
        if (cfg.codec == Codec::h264 && cfg.max_qp) {
            ctx_->qmin = (int)cfg.min_qp;
            ctx_->qmax = (int)cfg.max_qp;
        }
    }

    static const char *x264_profile(Profile p)
    {
        return p == Profile::baseline ? "baseline" : p == Profile::main ? "main" : "high";
    }

    // Both codecs code the I pictures at the P QP less 6 log2(ipratio).
    static std::string fixed_qp_params(const EncoderConfig &cfg)
    {
        char p[64];
        snprintf(p, sizeof p, ":qp=%u:ipratio=%.9g", cfg.p_qp, std::exp2(((double)cfg.p_qp - cfg.i_qp) / 6));
        return p;
    }

    // The profile (applied first) leaves out what it lacks; these add the
    // tools the channel's records ask for within it, and the one that makes
    // the stream what the profile says: High the 8x8 transform, Main
    // without CABAC weighted prediction.
    static std::string x264_params(const EncoderConfig &cfg)
    {
        std::string p = "scenecut=0:repeat-headers=1";
        p += cfg.cabac ? ":cabac=1" : ":cabac=0";
        if (cfg.profile == Profile::high)
            p += ":8x8dct=1";
        if (cfg.profile == Profile::main && !cfg.cabac)
            p += ":weightp=1";
        if (cfg.deblock)
            p += ":deblock=" + std::to_string(cfg.deblock_a) + "," + std::to_string(cfg.deblock_b);
        else
            p += ":no-deblock=1";
        if (cfg.slice_rows)
            p += ":slice-max-mbs=" + std::to_string(cfg.slice_rows * ((cfg.width + 15) / 16));
        if (cfg.slice_bytes)
            p += ":slice-max-size=" + std::to_string(cfg.slice_bytes);
        if (cfg.intra_refresh)
            p += ":intra-refresh=1";
        if (cfg.rc == RateControl::fixed_qp)
            p += fixed_qp_params(cfg);
        return p;
    }

    static std::string x265_params(const EncoderConfig &cfg)
    {
        // Every key picture an IDR with its parameter sets; no version SEI
        // before the slices.
        std::string p = "log-level=error:info=0:open-gop=0:scenecut=0:repeat-headers=1:pools=2";
        p += ":ctu=" + std::to_string(kHevcCtu) + kX265Faster;
        if (cfg.rc == RateControl::vbr && cfg.max_qp)
            p += ":qpmin=" + std::to_string(cfg.min_qp) + ":qpmax=" + std::to_string(cfg.max_qp);
        if (cfg.rc == RateControl::fixed_qp)
            p += fixed_qp_params(cfg);
        if (cfg.deblock) // x265 takes tc first
            p += ":deblock=" + std::to_string(cfg.deblock_a) + "," + std::to_string(cfg.deblock_b);
        else
            p += ":no-deblock=1";
        if (cfg.slice_rows) {
            uint32_t rows = (cfg.height + kHevcCtu - 1) / kHevcCtu;
            p += ":slices=" + std::to_string((rows + cfg.slice_rows - 1) / cfg.slice_rows);
        }
        return p;
    }

    // The statements the codec cannot be told are written into its
    // parameter sets by FFmpeg's metadata filter.
    bool open_vui_filter(const EncoderConfig &cfg)
    {
        const Vui &v = cfg.vui;
        bool timing = v.num_units_in_tick > 0 && v.time_scale > 0;
        if (!timing && v.num_ticks_poc_diff_one < 0 && v.full_range < 0 &&
            v.colour_primaries < 0 && v.transfer < 0 && v.matrix < 0)
            return true;
        bool h264 = cfg.codec == Codec::h264;
        const AVBitStreamFilter *f = av_bsf_get_by_name(h264 ? "h264_metadata" : "hevc_metadata");
        if (!f || av_bsf_alloc(f, &vui_) < 0)
            return false;
        vui_->par_in->codec_type = AVMEDIA_TYPE_VIDEO;
        vui_->par_in->codec_id = h264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC;
        vui_->time_base_in = ctx_->time_base;
        void *o = vui_->priv_data;
        if (timing)
            av_opt_set_q(o, "tick_rate", AVRational{(int)v.time_scale, (int)v.num_units_in_tick}, 0);
        auto set = [&](const char *name, int value) {
            if (value >= 0)
                av_opt_set_int(o, name, value, 0);
        };
        if (!h264)
            set("num_ticks_poc_diff_one", v.num_ticks_poc_diff_one);
        set("video_full_range_flag", v.full_range);
        set("colour_primaries", v.colour_primaries);
        set("transfer_characteristics", v.transfer);
        set("matrix_coefficients", v.matrix);
        return av_bsf_init(vui_) >= 0;
    }

    bool rewrite_vui()
    {
        if (av_bsf_send_packet(vui_, pkt_) < 0) {
            av_packet_unref(pkt_);
            return false;
        }
        return av_bsf_receive_packet(vui_, pkt_) >= 0;
    }

    static void av_buffer_default_free_noop(void *, uint8_t *) {}

    void nv21_to_i420_strided(const Picture &pic)
    {
        for (uint32_t r = 0; r < pic.height; r++)
            memcpy(planes_[0] + r * linesize_[0], pic.y() + r * pic.stride, pic.width);
        for (uint32_t r = 0; r < pic.height / 2; r++) {
            const uint8_t *vu = pic.vu() + r * pic.stride;
            uint8_t *u = planes_[1] + r * linesize_[1], *v = planes_[2] + r * linesize_[2];
            for (uint32_t c = 0; c < pic.width / 2; c++) {
                v[c] = vu[2 * c];
                u[c] = vu[2 * c + 1];
            }
        }
    }

    EncoderConfig cfg_;
    AVCodecContext *ctx_ = nullptr;
    AVFrame *frame_ = nullptr;
    AVPacket *pkt_ = nullptr;
    AVBSFContext *vui_ = nullptr;
    uint8_t *planes_[4] = {};
    int linesize_[4] = {};
    uint8_t *planar_ = nullptr;
    int64_t next_pts_ = 0;
    uint32_t in_flight_ = 0; // pictures the codec holds back (libx265 keeps its frame threads')
    uint32_t stale_ = 0;     // of those, sent before the last restart
};

// Encodes one group of pictures of the first picture it sees, then hands out
// its access units in a loop; a forced key picture starts the group again.
class ReplayEncoder : public Encoder {
public:
    explicit ReplayEncoder(const EncoderConfig &cfg) : cfg_(cfg) {}

    bool encode(const Picture &pic, bool force_key, AccessUnit &out) override
    {
        if (gop_.empty() && !prepare(pic))
            return false;
        if (force_key)
            next_ = 0;
        out = gop_[next_];
        next_ = (next_ + 1) % gop_.size();
        return true;
    }
    bool replaying() const override { return true; }
    bool warm_up(const Picture &pic) override { return !gop_.empty() || prepare(pic); }

private:
    bool prepare(const Picture &pic)
    {
        std::unique_ptr<Encoder> live = Encoder::create_live(cfg_);
        if (!live)
            return false;
        // The codec holds a few pictures back: it is fed until a whole group
        // has come out, so that the loop has a key picture every group.
        uint32_t n = cfg_.gop ? cfg_.gop : 30;
        for (uint32_t fed = 0; gop_.size() < n && fed < n + kMostHeldBack; fed++) {
            AccessUnit au;
            if (!live->encode(pic, fed == 0, au))
                return false;
            if (!au.bytes.empty())
                gop_.push_back(std::move(au));
        }
        return gop_.size() == n && gop_[0].key;
    }

    // More than the codec ever holds back (libx265 keeps its frame threads'
    // pictures).
    static constexpr uint32_t kMostHeldBack = 16;

    EncoderConfig cfg_;
    std::vector<AccessUnit> gop_;
    size_t next_ = 0;
};

} // namespace

bool live_keeps_up(const EncoderConfig &cfg)
{
    return cfg.codec != Codec::h265 || (double)cfg.width * cfg.height * cfg.fps <= kLiveHevcPixelRate;
}

std::unique_ptr<Encoder> Encoder::create_live(const EncoderConfig &cfg)
{
    av_log_set_level(AV_LOG_ERROR); // the codecs' statistics are not the board's events
    auto enc = std::make_unique<LiveEncoder>();
    if (!enc->open(cfg))
        return nullptr;
    return enc;
}

std::unique_ptr<Encoder> Encoder::create(const EncoderConfig &cfg)
{
    if (live_keeps_up(cfg))
        return create_live(cfg);
    // Fails early, as a live encoder would, when the codec cannot open.
    if (!create_live(cfg))
        return nullptr;
    return std::make_unique<ReplayEncoder>(cfg);
}

void fix_nal_headers(Codec codec, std::vector<uint8_t> &au)
{
    if (codec != Codec::h264)
        return;
    for (size_t at : nal_starts(au)) {
        if (at >= au.size())
            break;
        uint8_t &h = au[at];
        if ((h & 0x1f) == 1 && (h & 0x60))
            h = (uint8_t)((h & 0x9f) | 0x60);
    }
}

bool insert_user_data(Codec codec, std::vector<uint8_t> &au, const uint8_t *data, size_t len)
{
    if (codec == Codec::jpeg)
        return false;
    // user_data_unregistered: a fixed UUID of this board, then the bytes.
    static const uint8_t uuid[16] = {0x64, 0x75, 0x7a, 0x2d, 0x73, 0x69, 0x6d, 0x2d,
                                     0x75, 0x73, 0x65, 0x72, 0x64, 0x61, 0x74, 0x61};
    std::vector<uint8_t> payload;
    payload.push_back(5);
    size_t size = sizeof uuid + len;
    for (; size >= 255; size -= 255)
        payload.push_back(0xff);
    payload.push_back((uint8_t)size);
    payload.insert(payload.end(), uuid, uuid + sizeof uuid);
    payload.insert(payload.end(), data, data + len);
    payload.push_back(0x80); // rbsp trailing bits

    std::vector<uint8_t> nal = {0, 0, 0, 1};
    if (codec == Codec::h264)
        nal.push_back(0x06);
    else {
        nal.push_back(39 << 1); // prefix SEI
        nal.push_back(0x01);
    }
    int zeros = 0;
    for (uint8_t b : payload) { // emulation prevention
        if (zeros == 2 && b <= 3) {
            nal.push_back(3);
            zeros = 0;
        }
        nal.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }

    for (size_t at : nal_starts(au)) {
        if (at < au.size() && is_vcl(codec, au[at])) {
            size_t start = at - 3;
            if (start > 0 && au[start - 1] == 0)
                start--;
            au.insert(au.begin() + (long)start, nal.begin(), nal.end());
            return true;
        }
    }
    return false;
}

} // namespace sim::video

// libx265 keeps a few of its allocations past x265_encoder_close (its own
// leaks, not ours); the leak checker of sanitized builds is told so.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libx265.so\n";
}
