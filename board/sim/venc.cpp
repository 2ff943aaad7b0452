// /dev/venc: the video encoder driver. Each created channel owns a stream
// ring in DDR and a worker thread that encodes the pictures its bound source
// (or SendFrame) gives it while it receives, one pack per picture behind a
// 64-byte header. The ring is FIFO: streams are got and released in order.
// When the ring or the stream count is full the picture is dropped: the
// encoder never makes its source wait.
//
// The coding records the codecs can express change the stream: entropy
// coding, deblocking, slices, VUI timing and colour, crop (the coded size)
// and colour-to-grey, besides the attributes' rate control and group of
// pictures. Those that need the codec opened anew take effect at the next
// IDR picture, as hardware applies them at a key frame. Every other record
// (prediction, transform, RDO, SAO, reference, JPEG, ROI, rate-control
// details, the tuning controls, intra refresh, scene mode and input, the
// module parameters) is only stored and handed back.
#include "board/sim/sim.h"
#include "board/sim/venc_engine.h"
#include "board/sim/video.h"
#include "mpi/video/venc/venc_requests.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <sys/mman.h>
#include <thread>

namespace {

using namespace sim;
using namespace sim::video;

constexpr uint32_t kKernelOffset = 0x40000000; // the driver's view of DDR
constexpr size_t kInputDepth = 2;
constexpr uint32_t kDefaultMaxStreams = 200;
constexpr size_t kMaxUserData = 8;
constexpr uint32_t kPage = 4096;

struct Stream {
    uint32_t off, len; // in the ring; len counts the header
    uint64_t pts;
    uint32_t seq;
    bool key;
};

class VencFile;

constexpr uint32_t kNoPool = 0xFFFFFFFFu;

struct VencChn {
    bool created = false;
    VENC_CHN_ATTR_REC_S attr{};
    uint32_t ring = 0, ring_len = 0; // physical base and page-rounded length
    uint32_t wr = 0, used = 0;
    std::deque<Stream> waiting, out;
    bool receiving = false, idr = false, reconfigure = false, stop = false;
    bool pending = false;    // coding records wait for the next IDR
    uint32_t since_key = 0;  // pictures coded since the last key picture
    uint32_t vb_pool = kNoPool; // the attached buffer pool (recorded only)
    bool warm = false; // the encoder is open and ready for the next start
    int32_t recv_left = -1; // pictures still to take; -1 no limit
    uint32_t keys = 0;      // key pictures put out since the last start
    int64_t credit = 0;
    uint32_t max_streams = kDefaultMaxStreams, seq = 0, dropped = 0;
    std::deque<PicturePtr> input;
    std::deque<std::vector<uint8_t>> user_data;
    RecordStore store;
    std::map<uint32_t, VENC_ROI_CFG_REC_S> roi;
    std::vector<std::weak_ptr<Device>> files;
    std::unique_ptr<PicturePool> send_pool;
    std::thread worker;
};

struct VencState {
    std::mutex lock;
    std::condition_variable cv;
    VencChn chn[VENC_MAX_CHN_NUM];
    RecordStore module; // the module parameters (stored only)
};

VencState *g_venc = nullptr;

// The channel's descriptors are readable in select while a stream waits.
void signal_streams(VencChn &c, bool on)
{
    for (auto &w : c.files)
        if (auto f = w.lock())
            f->set_readable(on);
}

void drop_channel(std::unique_lock<std::mutex> &lock, VencChn &c)
{
    c.stop = true;
    g_venc->cv.notify_all();
    join_unlocked(lock, c.worker);
    if (c.ring)
        phys_free(c.ring);
    signal_streams(c, false);
    std::vector<std::weak_ptr<Device>> files = std::move(c.files);
    c.~VencChn();
    new (&c) VencChn;
    c.files = std::move(files); // the descriptors stay bound to the channel number
    g_venc->cv.notify_all();
}

Hooks venc_hooks(
    [] { g_venc = new VencState; },
    [] {
        if (!g_venc)
            return;
        {
            std::unique_lock<std::mutex> lock(g_venc->lock);
            for (VencChn &c : g_venc->chn)
                if (c.created)
                    drop_channel(lock, c);
        }
        delete g_venc;
        g_venc = nullptr;
    });

bool is_video(uint32_t type) { return type == PT_H264 || type == PT_H265; }

// The picture size the channel encodes.
void pic_size(const VENC_CHN_ATTR_REC_S &a, uint32_t &w, uint32_t &h)
{
    if (a.enType == PT_JPEG) {
        w = a.stJpeg.u32PicWidth;
        h = a.stJpeg.u32PicHeight;
    } else {
        w = a.stVideo.u32PicWidth;
        h = a.stVideo.u32PicHeight;
    }
}

// A sound attribute record, as the channel's encoder will take it.
int check_attr(const VENC_CHN_ATTR_REC_S &a)
{
    uint32_t w, h;
    pic_size(a, w, h);
    if (a.enType != PT_JPEG && !is_video(a.enType))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (w < 64 || h < 64 || w > 4096 || h > 4096 || (w & 1) || (h & 1))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    uint32_t mw = a.stVideo.u32MaxPicWidth, mh = a.stVideo.u32MaxPicHeight;
    if (w > mw || h > mh)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (a.stVideo.u32BufSize < w * h / 2 || a.stVideo.u32BufSize > 64u << 20)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (!is_video(a.enType))
        return 0;
    const VENC_RC_ATTR_S &rc = a.stRcAttr;
    bool h264 = a.enType == PT_H264;
    bool cbr = rc.enRcMode == (h264 ? VENC_RC_MODE_H264CBR : VENC_RC_MODE_H265CBR);
    bool vbr = rc.enRcMode == (h264 ? VENC_RC_MODE_H264VBR : VENC_RC_MODE_H265VBR);
    if (!cbr && !vbr)
        return DU_ERR_VENC_NOT_SUPPORT;
    if (a.stVideo.u32BFrameNum != 0)
        return DU_ERR_VENC_NOT_SUPPORT;
    if (rc.u32Gop == 0 || rc.u32Gop > 65536 || rc.u32BitRate < 2 || rc.u32BitRate > 102400)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (rc.u32SrcFrmRate == 0 || rc.u32SrcFrmRate > 240 || rc.u32DstFrmRate == 0 ||
        rc.u32DstFrmRate > rc.u32SrcFrmRate)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (vbr && (rc.u32FluctuateLevelOrMaxQp > 51 || rc.u32MinQp > rc.u32FluctuateLevelOrMaxQp))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    return 0;
}

// A coding record as the channel holds it: the stored one, else `fallback`.
template <class R> R record_of(const VencChn &c, unsigned long set, const R &fallback = R{})
{
    R r = fallback;
    auto it = c.store.find(set);
    if (it != c.store.end() && it->second.size() == sizeof r)
        memcpy(&r, it->second.data(), sizeof r);
    return r;
}

// What the codecs write before any VUI record is set: x264 states ticks of
// half a picture, x265 whole pictures.
VENC_H264_VUI_REC_S default_h264_vui(const VencChn &c)
{
    uint32_t fps = c.attr.stRcAttr.u32DstFrmRate;
    return {1, 1, 2 * fps, 1, 0, 0, 0, 2, 2, 2};
}

VENC_H265_TIMING_REC_S default_h265_timing(const VencChn &c) { return {1, 1, c.attr.stRcAttr.u32DstFrmRate, 0}; }

bool crop_fits(const VENC_CHN_ATTR_REC_S &a, const VENC_CROP_REC_S &r)
{
    uint32_t w, h;
    pic_size(a, w, h);
    return r.s32X >= 0 && r.s32Y >= 0 && !(r.s32X & 1) && !(r.s32Y & 1) && r.u32Width >= 64 && r.u32Height >= 64 &&
           !(r.u32Width & 1) && !(r.u32Height & 1) && (uint64_t)r.s32X + r.u32Width <= w &&
           (uint64_t)r.s32Y + r.u32Height <= h;
}

// The crop window the encoder codes: the record's while it fits the picture.
VENC_CROP_REC_S active_crop(const VencChn &c)
{
    VENC_CROP_REC_S crop = record_of<VENC_CROP_REC_S>(c, VENC_SET_Crop_CTRL);
    crop.bEnable = crop.bEnable && crop_fits(c.attr, crop);
    return crop;
}

void h264_tools(const VencChn &c, EncoderConfig &cfg)
{
    VENC_H264_ENTROPY_REC_S e = record_of<VENC_H264_ENTROPY_REC_S>(c, VENC_SET_H264Entropy_CTRL);
    cfg.cabac = e.u32EntropyModeI == 1 && c.attr.stVideo.u32Profile != 0;
    VENC_H264_DBLK_REC_S d = record_of<VENC_H264_DBLK_REC_S>(c, VENC_SET_H264Dblk_CTRL);
    cfg.deblock = d.disable_deblocking_filter_idc == 0;
    cfg.deblock_a = d.slice_alpha_c0_offset_div2;
    cfg.deblock_b = d.slice_beta_offset_div2;
    VENC_H264_SLICE_SPLIT_REC_S sl = record_of<VENC_H264_SLICE_SPLIT_REC_S>(c, VENC_SET_H264SliceSplit_CTRL);
    if (sl.bSplitEnable)
        (sl.u32SplitMode == VENC_SLICE_SPLIT_ROWS ? cfg.slice_rows : cfg.slice_bytes) = sl.u32SliceSize;
    if (!c.store.count(VENC_SET_H264Vui_CTRL))
        return;
    VENC_H264_VUI_REC_S v = record_of<VENC_H264_VUI_REC_S>(c, VENC_SET_H264Vui_CTRL);
    cfg.vui.num_units_in_tick = v.num_units_in_tick;
    cfg.vui.time_scale = v.time_scale;
    if (v.video_signal_type_present_flag)
        cfg.vui.full_range = (int)v.video_full_range_flag;
    if (v.colour_description_present_flag) {
        cfg.vui.colour_primaries = v.colour_primaries;
        cfg.vui.transfer = v.transfer_characteristics;
        cfg.vui.matrix = v.matrix_coefficients;
    }
}

void h265_tools(const VencChn &c, EncoderConfig &cfg)
{
    VENC_H265_DBLK_REC_S d = record_of<VENC_H265_DBLK_REC_S>(c, VENC_SET_H265Dblk_CTRL);
    cfg.deblock = !d.slice_deblocking_filter_disabled_flag;
    cfg.deblock_a = d.slice_tc_offset_div2;
    cfg.deblock_b = d.slice_beta_offset_div2;
    VENC_H265_SLICE_SPLIT_REC_S sl = record_of<VENC_H265_SLICE_SPLIT_REC_S>(c, VENC_SET_H265SliceSplit_CTRL);
    if (sl.bSplitEnable)
        cfg.slice_rows = sl.u32SliceSize;
    if (!c.store.count(VENC_SET_H265Timing_CTRL))
        return;
    VENC_H265_TIMING_REC_S t = record_of<VENC_H265_TIMING_REC_S>(c, VENC_SET_H265Timing_CTRL);
    cfg.vui.num_units_in_tick = t.num_units_in_tick;
    cfg.vui.time_scale = t.time_scale;
    if (t.u32NumTicksPocDiffOne)
        cfg.vui.num_ticks_poc_diff_one = (int)t.u32NumTicksPocDiffOne;
}

// The channel's encoder: its attributes, the crop window and the coding
// records.
EncoderConfig encoder_config(const VencChn &c)
{
    const VENC_CHN_ATTR_REC_S &a = c.attr;
    EncoderConfig cfg;
    pic_size(a, cfg.width, cfg.height);
    VENC_CROP_REC_S crop = active_crop(c);
    if (crop.bEnable) {
        cfg.width = crop.u32Width;
        cfg.height = crop.u32Height;
    }
    if (a.enType == PT_JPEG) {
        cfg.codec = Codec::jpeg;
        return cfg;
    }
    const VENC_RC_ATTR_S &rc = a.stRcAttr;
    cfg.codec = a.enType == PT_H264 ? Codec::h264 : Codec::h265;
    cfg.gop = rc.u32Gop;
    cfg.cbr = rc.enRcMode == VENC_RC_MODE_H264CBR || rc.enRcMode == VENC_RC_MODE_H265CBR;
    cfg.kbps = rc.u32BitRate;
    if (!cfg.cbr) {
        cfg.max_qp = rc.u32FluctuateLevelOrMaxQp;
        cfg.min_qp = rc.u32MinQp;
    }
    cfg.fps = rc.u32DstFrmRate;
    if (cfg.codec == Codec::h264)
        h264_tools(c, cfg);
    else
        h265_tools(c, cfg);
    return cfg;
}

// Copies `len` bytes into the ring at `off`, wrapping round its end.
void ring_write(const VencChn &c, uint32_t off, const uint8_t *src, uint32_t len)
{
    uint32_t first = std::min(len, c.ring_len - off);
    memcpy(phys(c.ring + off), src, first);
    if (len > first)
        memcpy(phys(c.ring), src + first, len - first);
}

// Places one encoded picture in the ring; false (dropped) when it is full.
bool put_stream(VencChn &c, const AccessUnit &au, uint64_t pts)
{
    uint32_t len = VENC_STREAM_OFFSET + (uint32_t)au.bytes.size();
    uint32_t span = (len + 63) & ~63u;
    if (c.waiting.size() >= c.max_streams || (uint64_t)c.used + span > c.ring_len)
        return false;
    VENC_PACK_HEADER_S hdr{};
    hdr.u32Magic = VENC_PACK_MAGIC;
    hdr.u32Seq = c.seq;
    hdr.u32PayloadLen = (uint32_t)au.bytes.size();
    hdr.bKey = au.key;
    hdr.u64Pts = pts;
    ring_write(c, c.wr, reinterpret_cast<const uint8_t *>(&hdr), sizeof hdr);
    ring_write(c, (c.wr + VENC_STREAM_OFFSET) % c.ring_len, au.bytes.data(), (uint32_t)au.bytes.size());
    bool was_empty = c.waiting.empty();
    c.waiting.push_back(Stream{c.wr, len, pts, c.seq++, au.key});
    c.wr = (c.wr + span) % c.ring_len;
    c.used += span;
    if (was_empty)
        signal_streams(c, true);
    g_venc->cv.notify_all();
    return true;
}

void note_drop(int n, VencChn &c, const char *why)
{
    if (c.dropped++ % 100 == 0)
        event("venc", "chn %d drops a picture (%s), %u so far", n, why, c.dropped);
}

// The part of the crop window's rectangle of `src` into `dst` (its size),
// the chroma neutral when greying.
SIM_PIXEL_LOOP void cut_picture(const Picture &src, uint32_t x, uint32_t y, Picture &dst, bool grey)
{
    for (uint32_t r = 0; r < dst.height; r++)
        memcpy(dst.y() + (size_t)r * dst.stride, src.y() + (size_t)(y + r) * src.stride + x, dst.width);
    for (uint32_t r = 0; r < dst.height / 2; r++) {
        uint8_t *to = dst.vu() + (size_t)r * dst.stride;
        if (grey)
            memset(to, 128, dst.width);
        else
            memcpy(to, src.vu() + (size_t)(y / 2 + r) * src.stride + x, dst.width);
    }
}

// What the channel's encoder codes of each picture its source gives.
struct Shape {
    uint32_t width, height; // the channel's picture
    VENC_CROP_REC_S crop;   // applied when enabled
    bool grey;
};

// `crop` is the window the open encoder was made for: a new one waits for
// its IDR. Greying takes effect at once.
Shape shape_of(const VencChn &c, const VENC_CROP_REC_S &crop)
{
    Shape s{};
    pic_size(c.attr, s.width, s.height);
    s.crop = crop;
    s.grey = record_of<VENC_COLOR2GREY_REC_S>(c, VENC_SET_Color2Grey_CTRL).bColor2Grey != 0;
    return s;
}

// The picture the encoder codes, made from what its source gave: scaled to
// the channel's size, the overlays blended in, cut to the crop window and
// greyed, each only where asked (the source's own picture when nothing is).
// Overlays go on a picture of the encoder's own: the source's may be on its
// way to other units too. Null when no buffer is free.
class InputShaper {
public:
    PicturePtr run(const PicturePtr &pic, const Shape &shape, const ChnAddr &self)
    {
        PicturePtr src = pic;
        bool overlay = overlay_on(self);
        if (pic->width != shape.width || pic->height != shape.height || overlay) {
            src = take(full_, shape.width, shape.height);
            if (src && !scaler_.run(*pic, *src))
                src.reset();
            if (src && overlay)
                blend_overlays(self, *src);
        }
        if (src && (shape.crop.bEnable || shape.grey)) {
            uint32_t x = shape.crop.bEnable ? (uint32_t)shape.crop.s32X : 0;
            uint32_t y = shape.crop.bEnable ? (uint32_t)shape.crop.s32Y : 0;
            uint32_t w = shape.crop.bEnable ? shape.crop.u32Width : src->width;
            uint32_t h = shape.crop.bEnable ? shape.crop.u32Height : src->height;
            PicturePtr cut = take(cut_, w, h);
            if (cut)
                cut_picture(*src, x, y, *cut, shape.grey);
            src = cut;
        }
        if (src && src != pic) {
            src->pts = pic->pts;
            src->seq = pic->seq;
        }
        return src;
    }

private:
    static PicturePtr take(std::unique_ptr<PicturePool> &pool, uint32_t w, uint32_t h)
    {
        if (!pool || pool->width() != w || pool->height() != h)
            pool = std::make_unique<PicturePool>(w, h, 2);
        return pool->take();
    }

    Scaler scaler_;
    std::unique_ptr<PicturePool> full_, cut_;
};

void encode_loop(int n)
{
    VencChn &c = g_venc->chn[n];
    std::unique_ptr<Encoder> enc;
    EncoderConfig cfg;
    VENC_CROP_REC_S crop{};
    InputShaper shaper;
    const ChnAddr self{DU_ID_VENC, 0, n};
    bool broken = false;
    AccessUnit au;

    std::unique_lock<std::mutex> lock(g_venc->lock);
    while (true) {
        g_venc->cv.wait(lock, [&] { return c.stop || !c.input.empty(); });
        if (c.stop)
            break;
        PicturePtr pic = c.input.front();
        c.input.pop_front();
        bool taking = c.receiving && c.recv_left != 0;
        if (!taking && c.warm && !c.pending)
            continue;
        if (taking && is_video(c.attr.enType)) { // frame-rate conversion
            int64_t src = c.attr.stRcAttr.u32SrcFrmRate, dst = c.attr.stRcAttr.u32DstFrmRate;
            if (dst < src) {
                c.credit += dst;
                if (c.credit < src)
                    continue;
                c.credit -= src;
            }
        }
        // New attributes open the encoder anew at once; coding records wait
        // for the picture that is a key picture anyway, or apply before the
        // channel starts, so that it starts warm.
        bool next_is_key = c.idr || cfg.codec == Codec::jpeg || c.since_key >= cfg.gop;
        if (c.reconfigure || !enc || (c.pending && (next_is_key || !taking))) {
            cfg = encoder_config(c);
            crop = active_crop(c);
            c.reconfigure = c.pending = false;
            c.warm = false;
            c.idr = true;
            lock.unlock();
            enc = Encoder::create(cfg);
            lock.lock();
            broken = !enc;
            if (broken)
                event("venc", "chn %d cannot open its encoder", n);
            else
                event("venc", "chn %d encodes %ux%u%s", n, cfg.width, cfg.height,
                      enc->replaying() ? " (replaying a pre-encoded group of pictures)" : "");
        }
        if (broken)
            continue;
        bool warming = !c.warm;
        bool force = taking && c.idr;
        if (taking)
            c.idr = false;
        Shape shape = shape_of(c, crop);
        lock.unlock();

        PicturePtr src = shaper.run(pic, shape, self);
        pic.reset();
        bool ready = src && (!warming || enc->warm_up(*src));
        bool ok = ready && taking && enc->encode(*src, force, au);

        lock.lock();
        if (warming)
            c.warm = ready;
        if (!ready || (taking && !ok)) {
            note_drop(n, c, "encoder failed");
            c.idr = c.idr || force;
            continue;
        }
        if (!taking || au.bytes.empty())
            continue;
        c.since_key = au.key ? 1 : c.since_key + 1;
        if (au.key && !c.user_data.empty() && c.attr.enType != PT_JPEG) {
            Codec codec = c.attr.enType == PT_H264 ? Codec::h264 : Codec::h265;
            for (auto &d : c.user_data)
                insert_user_data(codec, au.bytes, d.data(), d.size());
            c.user_data.clear();
        }
        if (!put_stream(c, au, src->pts)) {
            note_drop(n, c, "stream buffer full");
            c.idr = true; // the next picture must not refer to the lost one
            continue;
        }
        // Logged so that a test can tell the first picture (always a key
        // picture) and the first groups of pictures are out.
        if (au.key)
            event("venc", "chn %d key picture %u", n, ++c.keys);
        if (c.recv_left > 0 && --c.recv_left == 0)
            c.receiving = false;
    }
}

SinkRegistration venc_sink(DU_ID_VENC, [](const ChnAddr &dst, const PicturePtr &pic) {
    if (!g_venc || dst.chn < 0 || dst.chn >= (int)VENC_MAX_CHN_NUM)
        return;
    std::lock_guard<std::mutex> lock(g_venc->lock);
    VencChn &c = g_venc->chn[dst.chn];
    // A channel not yet started takes pictures until its encoder is ready.
    if (!c.created || (!c.receiving && c.warm && !c.pending))
        return;
    c.input.push_back(pic);
    while (c.input.size() > kInputDepth) {
        c.input.pop_front();
        if (c.receiving)
            note_drop(dst.chn, c, "encoder busy");
    }
    g_venc->cv.notify_all();
});


// What a VENC request works on: the descriptor's channel under the driver's
// lock, and the descriptor's own time-outs.
struct VencCall {
    std::unique_lock<std::mutex> &lock;
    VencChn &c;
    int n; // the channel's number
    int32_t &get_timeout, &send_timeout;
};

int venc_create_chn(VencCall &k, void *arg)
{
    VencChn &c = k.c;
    VENC_CHN_ATTR_REC_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    if (c.created)
        return DU_ERR_VENC_EXIST;
    if (int ret = check_attr(a))
        return ret;
    uint32_t len = (a.stVideo.u32BufSize + kPage - 1) & ~(kPage - 1);
    uint32_t ring = phys_alloc(len);
    if (!ring)
        return DU_ERR_VENC_NOMEM;
    c.attr = a;
    c.ring = ring;
    c.ring_len = len;
    c.created = true;
    c.stop = false;
    c.worker = std::thread(encode_loop, k.n);
    uint32_t w, h;
    pic_size(a, w, h);
    event("venc", "chn %d create type %u %ux%u", k.n, a.enType, w, h);
    return 0;
}

int venc_set_max_stream_cnt(VencCall &k, void *arg)
{
    uint32_t v;
    if (!get_user(v, arg))
        return fail(EFAULT);
    if (v == 0)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    k.c.max_streams = v;
    return 0;
}

// Requests a channel takes whether it exists or not.
const IoctlOp<VencCall> kVencAnyTimeOps[] = {
    {VENC_CREATE_CHN_CTRL, venc_create_chn},
    {VENC_SET_GETSTREAM_TIMEOUT_CTRL,
     [](VencCall &k, void *arg) { return get_user(k.get_timeout, arg) ? 0 : fail(EFAULT); }},
    {VENC_SET_SENDFRAME_TIMEOUT_CTRL,
     [](VencCall &k, void *arg) { return get_user(k.send_timeout, arg) ? 0 : fail(EFAULT); }},
    {VENC_SET_MAX_STREAM_CNT_CTRL, venc_set_max_stream_cnt},
    {VENC_GET_MAX_STREAM_CNT_CTRL,
     [](VencCall &k, void *arg) { return put_user(arg, k.c.max_streams) ? 0 : fail(EFAULT); }},
};

int venc_destroy_chn(VencCall &k, void *)
{
    drop_channel(k.lock, k.c);
    event("venc", "chn %d destroy", k.n);
    return 0;
}

int venc_get_strmbuf_info(VencCall &k, void *arg)
{
    VencChn &c = k.c;
    VENC_STRMBUF_INFO_REQ_S info = {c.ring, c.ring + kKernelOffset, c.ring_len, (uint32_t)k.n};
    return put_user(arg, info) ? 0 : fail(EFAULT);
}

int venc_start_recv(VencCall &k, void *)
{
    k.c.receiving = true;
    k.c.recv_left = -1;
    k.c.idr = true;
    k.c.keys = 0;
    event("venc", "chn %d start", k.n);
    return 0;
}

int venc_start_recv_ex(VencCall &k, void *arg)
{
    VencChn &c = k.c;
    VENC_RECV_PIC_PARAM_REC_S p;
    if (!get_user(p, arg))
        return fail(EFAULT);
    if (p.s32RecvPicNum <= 0)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    c.receiving = true;
    c.recv_left = p.s32RecvPicNum;
    c.idr = true;
    c.keys = 0;
    event("venc", "chn %d start for %d pictures", k.n, p.s32RecvPicNum);
    return 0;
}

int venc_stop_recv(VencCall &k, void *)
{
    k.c.receiving = false;
    k.c.input.clear();
    event("venc", "chn %d stop", k.n);
    return 0;
}

int venc_reset_chn(VencCall &k, void *)
{
    VencChn &c = k.c;
    if (!c.out.empty())
        return DU_ERR_VENC_NOT_PERM;
    c.waiting.clear();
    c.input.clear();
    c.wr = c.used = 0;
    c.idr = true;
    signal_streams(c, false);
    return 0;
}

int venc_query(VencCall &k, void *arg)
{
    VencChn &c = k.c;
    VENC_CHN_STATE_S st{};
    st.u32LeftPics = (uint32_t)c.input.size();
    for (const Stream &s : c.waiting)
        st.u32LeftStreamBytes += s.len - VENC_STREAM_OFFSET;
    st.u32LeftStreamFrames = (uint32_t)c.waiting.size();
    st.u32CurPackNum = c.waiting.empty() ? 0 : 1;
    st.u32LeftRecvPics = c.recv_left > 0 ? (uint32_t)c.recv_left : 0;
    return put_user(arg, st) ? 0 : fail(EFAULT);
}

int venc_get_stream(VencCall &k, void *arg)
{
    VencChn &c = k.c;
    VENC_STREAM_REC_S rec;
    if (!get_user(rec, arg))
        return fail(EFAULT);
    if (rec.u32PackNum < 1)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    wait_ms(g_venc->cv, k.lock, k.get_timeout, [&] { return !c.waiting.empty() || !c.created; });
    if (!c.created)
        return DU_ERR_VENC_UNEXIST;
    if (c.waiting.empty())
        return DU_ERR_VENC_BUF_EMPTY;
    const Stream &s = c.waiting.front();
    VENC_PACK_REC_S pack{};
    pack.pu8Data = reinterpret_cast<u8 *>((uintptr_t)(c.ring + kKernelOffset + s.off));
    pack.u32Len = s.len;
    pack.u64TimeStamp = s.pts;
    pack.bFrameEnd = 1;
    pack.u32NaluType = s.key ? 1 : 0;
    pack.u32DataOffset = 0;
    rec.u32PackNum = 1;
    rec.u32Seq = s.seq;
    if (!put_user(rec.pstPack, pack) || !put_user(arg, rec))
        return fail(EFAULT);
    c.out.push_back(s);
    c.waiting.pop_front();
    if (c.waiting.empty())
        signal_streams(c, false);
    return 0;
}

int venc_release_stream(VencCall &k, void *arg)
{
    VencChn &c = k.c;
    VENC_STREAM_REC_S rec;
    VENC_PACK_REC_S pack;
    if (!get_user(rec, arg) || rec.u32PackNum < 1 || !get_user(pack, rec.pstPack))
        return rec.u32PackNum < 1 ? DU_ERR_VENC_ILLEGAL_PARAM : fail(EFAULT);
    if (c.out.empty())
        return DU_ERR_VENC_ILLEGAL_PARAM;
    const Stream &s = c.out.front();
    if ((uint32_t)(uintptr_t)pack.pu8Data != c.ring + kKernelOffset + s.off || pack.u32Len != s.len)
        return DU_ERR_VENC_ILLEGAL_PARAM; // streams go back in the order they were got
    c.used -= (s.len + 63) & ~63u;
    c.out.pop_front();
    return 0;
}

int venc_set_chn_attr(VencCall &k, void *arg)
{
    VencChn &c = k.c;
    VENC_CHN_ATTR_REC_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    if (int ret = check_attr(a))
        return ret;
    // The ring and the payload stay what the channel was made with.
    if (a.enType != c.attr.enType || a.stVideo.u32BufSize > c.ring_len)
        return DU_ERR_VENC_NOT_PERM;
    // A crop window set before must still fit the picture.
    VENC_CROP_REC_S crop = record_of<VENC_CROP_REC_S>(c, VENC_SET_Crop_CTRL);
    if (crop.bEnable && !crop_fits(a, crop))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    c.attr = a;
    c.reconfigure = true;
    c.warm = false;
    return 0;
}

int venc_set_frame_rate(VencCall &k, void *arg)
{
    VencChn &c = k.c;
    VENC_FRAME_RATE_REC_S fr;
    if (!get_user(fr, arg))
        return fail(EFAULT);
    if (fr.s32SrcFrmRate <= 0 || fr.s32DstFrmRate <= 0 || fr.s32DstFrmRate > fr.s32SrcFrmRate ||
        !is_video(c.attr.enType))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    c.attr.stRcAttr.u32SrcFrmRate = (uint32_t)fr.s32SrcFrmRate;
    c.attr.stRcAttr.u32DstFrmRate = (uint32_t)fr.s32DstFrmRate;
    c.reconfigure = true;
    c.warm = false;
    return 0;
}

int venc_get_frame_rate(VencCall &k, void *arg)
{
    VencChn &c = k.c;
    VENC_FRAME_RATE_REC_S fr = {(s32)c.attr.stRcAttr.u32SrcFrmRate, (s32)c.attr.stRcAttr.u32DstFrmRate};
    return put_user(arg, fr) ? 0 : fail(EFAULT);
}

int venc_get_roi_cfg(VencCall &k, void *arg)
{
    VENC_ROI_CFG_REC_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (r.u32Index >= VENC_MAX_ROI_NUM)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    auto it = k.c.roi.find(r.u32Index);
    VENC_ROI_CFG_REC_S out{};
    out.u32Index = r.u32Index;
    if (it != k.c.roi.end())
        out = it->second;
    return put_user(arg, out) ? 0 : fail(EFAULT);
}

int venc_set_roi_cfg(VencCall &k, void *arg)
{
    VENC_ROI_CFG_REC_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (r.u32Index >= VENC_MAX_ROI_NUM)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    k.c.roi[r.u32Index] = r;
    return 0;
}

int venc_insert_userdata(VencCall &k, void *arg)
{
    VencChn &c = k.c;
    VENC_USER_DATA_REQ_S u;
    if (!get_user(u, arg))
        return fail(EFAULT);
    if (u.u32Len == 0 || u.u32Len > 1024)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (!is_video(c.attr.enType))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (c.user_data.size() >= kMaxUserData)
        return DU_ERR_VENC_NOBUF;
    std::vector<uint8_t> d(u.u32Len);
    if (!copy_from_user(d.data(), u.pu8Data, d.size()))
        return fail(EFAULT);
    c.user_data.push_back(std::move(d)); // goes out with the next key picture
    return 0;
}

int venc_send_frame(VencCall &k, void *arg)
{
    VencChn &c = k.c;
    VIDEO_FRAME_REC_S f;
    if (!get_user(f, arg))
        return fail(EFAULT);
    if (!c.receiving)
        return DU_ERR_VENC_NOT_PERM;
    int why;
    PicturePtr pic = picture_from_frame(c.send_pool, kInputDepth + 2, f, &why);
    if (!pic)
        return why ? DU_ERR_VENC_ILLEGAL_PARAM : DU_ERR_VENC_NOBUF;
    c.input.push_back(pic);
    while (c.input.size() > kInputDepth)
        c.input.pop_front();
    g_venc->cv.notify_all();
    return 0;
}

int venc_enable_idr(VencCall &, void *arg)
{
    uint32_t v;
    if (!get_user(v, arg))
        return fail(EFAULT);
    if (!v) // every key picture is an IDR here
        return DU_ERR_VENC_NOT_SUPPORT;
    return 0;
}

// ---- coding records the encoder applies ------------------------------------------------------

bool is_h264(const VencChn &c) { return c.attr.enType == PT_H264; }
bool is_h265(const VencChn &c) { return c.attr.enType == PT_H265; }
bool offset_ok(int32_t v) { return v >= -6 && v <= 6; }

int check_h264_entropy(const VencChn &c, const VENC_H264_ENTROPY_REC_S &r)
{
    if (!is_h264(c))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (r.u32EntropyModeI > 1 || r.u32EntropyModeP > 1 || r.bCabacStuffing > 1 || r.u32CabacInitIdc > 2)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    // One entropy coder for the whole stream, and the baseline profile has
    // no CABAC. Stuffing and the CABAC table are only stored.
    if (r.u32EntropyModeI != r.u32EntropyModeP || (r.u32EntropyModeI && c.attr.stVideo.u32Profile == 0))
        return DU_ERR_VENC_NOT_SUPPORT;
    return 0;
}

int check_h264_dblk(const VencChn &c, const VENC_H264_DBLK_REC_S &r)
{
    if (!is_h264(c))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (r.disable_deblocking_filter_idc > 2 || !offset_ok(r.slice_alpha_c0_offset_div2) ||
        !offset_ok(r.slice_beta_offset_div2))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    // Filtering that stops at slice edges (2) is beyond this encoder.
    return r.disable_deblocking_filter_idc == 2 ? DU_ERR_VENC_NOT_SUPPORT : 0;
}

int check_slices(u32 enable, u32 mode, u32 size, bool by_bytes)
{
    if (enable > 1 || (enable && size == 0))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (!enable || mode == VENC_SLICE_SPLIT_ROWS)
        return 0;
    if (mode == VENC_SLICE_SPLIT_BYTES)
        return by_bytes ? 0 : DU_ERR_VENC_NOT_SUPPORT;
    return DU_ERR_VENC_ILLEGAL_PARAM;
}

int check_h264_slices(const VencChn &c, const VENC_H264_SLICE_SPLIT_REC_S &r)
{
    return is_h264(c) ? check_slices(r.bSplitEnable, r.u32SplitMode, r.u32SliceSize, true) : DU_ERR_VENC_NOT_SUPPORT;
}

int check_h265_slices(const VencChn &c, const VENC_H265_SLICE_SPLIT_REC_S &r)
{
    return is_h265(c) ? check_slices(r.bSplitEnable, r.u32SplitMode, r.u32SliceSize, false)
                      : DU_ERR_VENC_NOT_SUPPORT;
}

int check_h264_vui(const VencChn &c, const VENC_H264_VUI_REC_S &r)
{
    if (!is_h264(c))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (r.timing_info_present_flag > 1 || r.fixed_frame_rate_flag > 1 || r.video_signal_type_present_flag > 1 ||
        r.video_full_range_flag > 1 || r.colour_description_present_flag > 1)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    // The colour description is part of the video signal type.
    if (r.colour_description_present_flag && !r.video_signal_type_present_flag)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    // The encoder always states its timing, at a fixed rate (x264 has no
    // other way).
    if (!r.timing_info_present_flag || !r.fixed_frame_rate_flag)
        return DU_ERR_VENC_NOT_SUPPORT;
    return r.num_units_in_tick && r.time_scale && r.time_scale <= INT32_MAX && r.num_units_in_tick <= INT32_MAX
               ? 0
               : DU_ERR_VENC_ILLEGAL_PARAM;
}

int check_h265_dblk(const VencChn &c, const VENC_H265_DBLK_REC_S &r)
{
    if (!is_h265(c))
        return DU_ERR_VENC_NOT_SUPPORT;
    return r.slice_deblocking_filter_disabled_flag > 1 || !offset_ok(r.slice_beta_offset_div2) ||
                   !offset_ok(r.slice_tc_offset_div2)
               ? DU_ERR_VENC_ILLEGAL_PARAM
               : 0;
}

int check_h265_timing(const VencChn &c, const VENC_H265_TIMING_REC_S &r)
{
    if (!is_h265(c))
        return DU_ERR_VENC_NOT_SUPPORT;
    if (r.timing_info_present_flag > 1 || r.u32NumTicksPocDiffOne > INT32_MAX)
        return DU_ERR_VENC_ILLEGAL_PARAM;
    // The encoder always states its timing (x265 without it writes a
    // sequence parameter set readers stumble over).
    if (!r.timing_info_present_flag)
        return DU_ERR_VENC_NOT_SUPPORT;
    return r.num_units_in_tick && r.time_scale && r.time_scale <= INT32_MAX && r.num_units_in_tick <= INT32_MAX
               ? 0
               : DU_ERR_VENC_ILLEGAL_PARAM;
}

int check_crop(const VencChn &c, const VENC_CROP_REC_S &r)
{
    return r.bEnable > 1 || (r.bEnable && !crop_fits(c.attr, r)) ? DU_ERR_VENC_ILLEGAL_PARAM : 0;
}

int check_grey(const VencChn &, const VENC_COLOR2GREY_REC_S &r)
{
    return r.bColor2Grey > 1 ? DU_ERR_VENC_ILLEGAL_PARAM : 0;
}

// Sets a coding record after its check. Those the codec must be opened anew
// for (`at_idr`) take effect at the next IDR picture, the others at once.
template <class R, unsigned long Set, int (*Check)(const VencChn &, const R &), bool AtIdr>
int set_coding(VencCall &k, void *arg)
{
    R r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (int ret = Check(k.c, r))
        return ret;
    const uint8_t *b = reinterpret_cast<const uint8_t *>(&r);
    k.c.store[Set].assign(b, b + sizeof r);
    k.c.pending = k.c.pending || AtIdr;
    return 0;
}

// A record whose value before any set is what the codec writes of itself.
template <class R, unsigned long Set, R (*Default)(const VencChn &)> int get_coding(VencCall &k, void *arg)
{
    return put_user(arg, record_of<R>(k.c, Set, Default(k.c))) ? 0 : fail(EFAULT);
}

#define VENC_CODING(name, rec, check, at_idr)                                                              \
    {VENC_SET_##name##_CTRL, set_coding<rec, VENC_SET_##name##_CTRL, check, at_idr>}

// ---- the buffer pool --------------------------------------------------------------------------
// The attached pool is recorded; the encoder's own pictures still come from
// its private buffers.

int venc_attach_vb_pool(VencCall &k, void *arg)
{
    uint32_t pool;
    if (!get_user(pool, arg))
        return fail(EFAULT);
    if (!vb_pool_exists(pool))
        return DU_ERR_VENC_ILLEGAL_PARAM;
    if (k.c.vb_pool != kNoPool)
        return DU_ERR_VENC_NOT_PERM;
    k.c.vb_pool = pool;
    return 0;
}

int venc_detach_vb_pool(VencCall &k, void *)
{
    if (k.c.vb_pool == kNoPool)
        return DU_ERR_VENC_NOT_PERM;
    k.c.vb_pool = kNoPool;
    return 0;
}

// Requests of a created channel.
const IoctlOp<VencCall> kVencChnOps[] = {
    {VENC_DESTROY_CHN_CTRL, venc_destroy_chn},
    {VENC_GET_STRMBUF_INFO_CTRL, venc_get_strmbuf_info},
    {VENC_START_RECV_CTRL, venc_start_recv},
    {VENC_START_RECV_EX_CTRL, venc_start_recv_ex},
    {VENC_STOP_RECV_CTRL, venc_stop_recv},
    {VENC_RESET_CHN_CTRL, venc_reset_chn},
    {VENC_REQUEST_IDR_CTRL,
     [](VencCall &k, void *) {
         k.c.idr = true;
         return 0;
     }},
    {VENC_QUERY_CTRL, venc_query},
    {VENC_GET_STREAM_CTRL, venc_get_stream},
    {VENC_RELEASE_STREAM_CTRL, venc_release_stream},
    {VENC_GET_CHN_ATTR_CTRL, [](VencCall &k, void *arg) { return put_user(arg, k.c.attr) ? 0 : fail(EFAULT); }},
    {VENC_SET_CHN_ATTR_CTRL, venc_set_chn_attr},
    {VENC_SET_FrameRate_CTRL, venc_set_frame_rate},
    {VENC_GET_FrameRate_CTRL, venc_get_frame_rate},
    {VENC_GET_ROI_CFG_CTRL, venc_get_roi_cfg},
    {VENC_SET_ROI_CFG_CTRL, venc_set_roi_cfg},
    {VENC_INSERT_USERDATA_CTRL, venc_insert_userdata},
    {VENC_SEND_FRAME_CTRL, venc_send_frame},
    // Pictures reach the encoder through the bind table.
    {VENC_VPSS_QUERY_CTRL, [](VencCall &, void *) { return DU_ERR_VENC_NOT_SUPPORT; }},
    {VENC_VPSS_SEND_CTRL, [](VencCall &, void *) { return DU_ERR_VENC_NOT_SUPPORT; }},
    {VENC_ENABLE_IDR_CTRL, venc_enable_idr},
    VENC_CODING(H264Entropy, VENC_H264_ENTROPY_REC_S, check_h264_entropy, true),
    VENC_CODING(H264Dblk, VENC_H264_DBLK_REC_S, check_h264_dblk, true),
    VENC_CODING(H264SliceSplit, VENC_H264_SLICE_SPLIT_REC_S, check_h264_slices, true),
    VENC_CODING(H264Vui, VENC_H264_VUI_REC_S, check_h264_vui, true),
    {VENC_GET_H264Vui_CTRL, get_coding<VENC_H264_VUI_REC_S, VENC_SET_H264Vui_CTRL, default_h264_vui>},
    VENC_CODING(H265Dblk, VENC_H265_DBLK_REC_S, check_h265_dblk, true),
    VENC_CODING(H265SliceSplit, VENC_H265_SLICE_SPLIT_REC_S, check_h265_slices, true),
    VENC_CODING(H265Timing, VENC_H265_TIMING_REC_S, check_h265_timing, true),
    {VENC_GET_H265Timing_CTRL, get_coding<VENC_H265_TIMING_REC_S, VENC_SET_H265Timing_CTRL, default_h265_timing>},
    VENC_CODING(Crop, VENC_CROP_REC_S, check_crop, true),
    VENC_CODING(Color2Grey, VENC_COLOR2GREY_REC_S, check_grey, false),
    {VENC_ATTACH_VBPOOL_CTRL, venc_attach_vb_pool},
    {VENC_DETACH_VBPOOL_CTRL, venc_detach_vb_pool},
};
#undef VENC_CODING

class VencFile : public Device, public std::enable_shared_from_this<VencFile> {
public:
    int ioctl(unsigned long req, void *arg) override
    {
        if (!g_venc)
            return fail(ENODEV);
        std::unique_lock<std::mutex> lock(g_venc->lock);
        if (req == VENC_BIND_CHN_CTRL)
            return bind_chn(arg);
        // The module's parameters need no channel, nor the system started.
        if (req == VENC_SET_MOD_PARAM_CTRL || req == VENC_GET_MOD_PARAM_CTRL)
            return store_request(g_venc->module, VENC_SET_MOD_PARAM_CTRL, VENC_GET_MOD_PARAM_CTRL, req, arg);
        if (chn_ < 0)
            return fail(EBADF);
        VencCall call{lock, g_venc->chn[chn_], chn_, get_timeout_, send_timeout_};
        if (const IoctlOp<VencCall> *op = find_ioctl(kVencAnyTimeOps, req))
            return op->handler(call, arg);
        if (!call.c.created)
            return DU_ERR_VENC_UNEXIST;
        if (const IoctlOp<VencCall> *op = find_ioctl(kVencChnOps, req))
            return op->handler(call, arg);
        // The records the driver keeps as given.
        auto store_of = [&](const VENC_STORED_REQ_S &) -> RecordStore & { return call.c.store; };
        return stored_request(VENC_STORED_REQS, store_of, req, arg);
    }

    void *mmap(void *addr, size_t length, int prot, int flags, off_t offset) override
    {
        // A channel's ring, asked for twice its length, is mapped twice in a
        // row so that a pack wrapping round its end reads as one piece.
        if (g_venc) {
            std::lock_guard<std::mutex> lock(g_venc->lock);
            for (VencChn &c : g_venc->chn) {
                if (!c.created || (uint32_t)offset != c.ring || length != 2ull * c.ring_len)
                    continue;
                void *base = ::mmap(addr, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
                if (base == MAP_FAILED)
                    return MAP_FAILED;
                for (int half = 0; half < 2; half++) {
                    void *at = static_cast<uint8_t *>(base) + (size_t)half * c.ring_len;
                    if (::mmap(at, c.ring_len, prot, MAP_SHARED | MAP_FIXED, phys_fd(), offset) == MAP_FAILED) {
                        ::munmap(base, length);
                        return MAP_FAILED;
                    }
                }
                return base;
            }
        }
        return Device::mmap(addr, length, prot, flags, offset);
    }

private:
    // Binds the descriptor to its channel, once.
    int bind_chn(void *arg)
    {
        uint32_t n;
        if (!get_user(n, arg))
            return fail(EFAULT);
        if (n >= VENC_MAX_CHN_NUM || chn_ >= 0)
            return fail(EINVAL);
        chn_ = (int)n;
        VencChn &c = g_venc->chn[n];
        c.files.push_back(shared_from_this());
        if (!c.waiting.empty())
            set_readable(true);
        else
            set_readable(false);
        return 0;
    }

    int chn_ = -1;
    int32_t get_timeout_ = -1, send_timeout_ = -1;
};

DeviceRegistration venc_device("/dev/venc", [](int) { return std::make_shared<VencFile>(); });

} // namespace
