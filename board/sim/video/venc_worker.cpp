// The simulated encoder's channel threads: each takes the pictures its bound
// source (or SendFrame) gives, shapes them as the channel's records say,
// encodes them and places the streams in the channel's ring.
#include "board/sim/video/venc_chn.h"

namespace sim::venc {

using namespace sim::video;

namespace {

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

// One channel's thread: the encoder it keeps open, and what it opened it for.
class EncodeWorker {
public:
    explicit EncodeWorker(int n) : n_(n), c_(g_venc->chn[n]), self_{DU_ID_VENC, 0, n} {}

    void run()
    {
        std::unique_lock<std::mutex> lock(g_venc->lock);
        while (true) {
            g_venc->cv.wait(lock, [&] { return c_.stop || !c_.input.empty(); });
            if (c_.stop)
                break;
            PicturePtr pic = c_.input.front();
            c_.input.pop_front();
            bool taking = c_.receiving && !c_.stopping && c_.recv_left != 0;
            if (!admits(taking))
                continue;
            open_if_due(lock, taking);
            if (!broken_)
                code(lock, std::move(pic), taking);
        }
    }

private:
    // Whether the picture goes on to the encoder: a channel that does not take
    // pictures only readies its encoder, and frame-rate conversion passes
    // dst of every src pictures.
    bool admits(bool taking)
    {
        if (!taking && c_.warm && !c_.pending)
            return false;
        if (taking && is_video(c_.attr.enType)) {
            int64_t src = c_.attr.stRcAttr.u32SrcFrmRate, dst = c_.attr.stRcAttr.u32DstFrmRate;
            if (dst < src) {
                c_.credit += dst;
                if (c_.credit < src)
                    return false;
                c_.credit -= src;
            }
        }
        return true;
    }

    // New attributes open the encoder anew at once; coding records wait for
    // the picture that is a key picture anyway, or apply before the channel
    // starts, so that it starts warm.
    void open_if_due(std::unique_lock<std::mutex> &lock, bool taking)
    {
        bool next_is_key = c_.idr || cfg_.codec == Codec::jpeg || c_.since_key >= cfg_.gop;
        if (!c_.reconfigure && enc_ && !(c_.pending && (next_is_key || !taking)))
            return;
        cfg_ = encoder_config(c_);
        crop_ = active_crop(c_);
        c_.reconfigure = c_.pending = false;
        c_.warm = false;
        c_.idr = true;
        lock.unlock();
        enc_ = Encoder::create(cfg_);
        lock.lock();
        broken_ = !enc_;
        if (broken_)
            event("venc", "chn %d cannot open its encoder", n_);
        else
            event("venc", "chn %d encodes %ux%u%s", n_, cfg_.width, cfg_.height,
                  enc_->replaying() ? " (replaying a pre-encoded group of pictures)" : "");
    }

    // Shapes and encodes one picture outside the lock (readying the encoder
    // on it first when it is cold and the channel does not take pictures
    // yet: a channel that takes them codes this one at once), then delivers
    // what came out.
    void code(std::unique_lock<std::mutex> &lock, PicturePtr pic, bool taking)
    {
        bool warming = !c_.warm;
        bool force = taking && c_.idr;
        const uint32_t run = c_.runs;
        if (taking)
            c_.idr = false;
        Shape shape = shape_of(c_, crop_);
        c_.coding = taking;
        lock.unlock();

        PicturePtr src = shaper_.run(pic, shape, self_);
        pic.reset();
        if (taking && run != coded_run_) {
            enc_->restart();
            coded_run_ = run;
        }
        bool ready = src && (!warming || taking || enc_->warm_up(*src));
        bool ok = ready && taking && enc_->encode(*src, force, au_);

        lock.lock();
        if (warming)
            c_.warm = ready;
        if (!ready || (taking && !ok)) {
            note_drop(n_, c_, "encoder failed");
            c_.idr = c_.idr || force;
        } else if (taking && (!c_.receiving || c_.runs != run)) {
            note_drop(n_, c_, "coded after its channel stopped");
        } else if (taking && !au_.bytes.empty()) {
            deliver(src->pts);
        }
        c_.coding = false; // a stop waits for this picture: out now, before the stop ends
        g_venc->cv.notify_all();
    }

    // The access unit into the ring, the user data on a key picture.
    void deliver(uint64_t pts)
    {
        c_.since_key = au_.key ? 1 : c_.since_key + 1;
        if (au_.key && !c_.user_data.empty() && c_.attr.enType != PT_JPEG) {
            Codec codec = c_.attr.enType == PT_H264 ? Codec::h264 : Codec::h265;
            for (auto &d : c_.user_data)
                insert_user_data(codec, au_.bytes, d.data(), d.size());
            c_.user_data.clear();
        }
        if (!put_stream(c_, au_, pts)) {
            note_drop(n_, c_, "stream buffer full");
            c_.idr = true; // the next picture must not refer to the lost one
            return;
        }
        c_.drops.pass();
        // Logged so that a test can tell the first picture (always a key
        // picture) and the first groups of pictures are out.
        if (au_.key)
            event("venc", "chn %d key picture %u", n_, ++c_.keys);
        if (c_.recv_left > 0 && --c_.recv_left == 0)
            c_.receiving = false;
    }

    const int n_;
    VencChn &c_;
    const ChnAddr self_;
    std::unique_ptr<Encoder> enc_;
    EncoderConfig cfg_;
    VENC_CROP_REC_S crop_{};
    InputShaper shaper_;
    bool broken_ = false;
    uint32_t coded_run_ = 0; // the channel's run the encoder last coded for
    AccessUnit au_;
};

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

} // namespace

void encode_loop(int n) { EncodeWorker(n).run(); }

void note_drop(int n, VencChn &c, const char *why)
{
    c.drops.drop("venc", "chn " + std::to_string(n) + " drops a picture (" + why + ")");
}

} // namespace sim::venc
