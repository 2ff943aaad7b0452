// /dev/venc: the video encoder driver. Each created channel owns a stream
// ring in DDR and a worker thread that encodes the pictures its bound source
// (or SendFrame) gives it while it receives, one pack per picture behind a
// 64-byte header. The ring is FIFO: streams are got and released in order.
// When the ring or the stream count is full the picture is dropped: the
// encoder never makes its source wait.
#include "board/sim/sim.h"
#include "board/sim/venc_engine.h"
#include "board/sim/video.h"
#include "mpi/video/venc/mpi_venc.h"
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

struct VencChn {
    bool created = false;
    VENC_CHN_ATTR_REC_S attr{};
    uint32_t ring = 0, ring_len = 0; // physical base and page-rounded length
    uint32_t wr = 0, used = 0;
    std::deque<Stream> waiting, out;
    bool receiving = false, idr = false, reconfigure = false, stop = false;
    bool warm = false; // the encoder is open and ready for the next start
    int32_t recv_left = -1; // pictures still to take; -1 no limit
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

EncoderConfig encoder_config(const VENC_CHN_ATTR_REC_S &a)
{
    EncoderConfig cfg;
    pic_size(a, cfg.width, cfg.height);
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

void encode_loop(int n)
{
    VencChn &c = g_venc->chn[n];
    std::unique_ptr<Encoder> enc;
    std::unique_ptr<PicturePool> pool;
    Scaler scaler;
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
        if (!taking && c.warm)
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
        if (c.reconfigure || !enc) {
            EncoderConfig cfg = encoder_config(c.attr);
            c.reconfigure = false;
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
        if (!c.warm) {
            lock.unlock();
            bool ok = enc->warm_up(*pic);
            lock.lock();
            c.warm = ok;
            if (!ok) {
                note_drop(n, c, "encoder failed");
                continue;
            }
        }
        if (!taking)
            continue;
        bool force = c.idr;
        c.idr = false;
        uint32_t w, h;
        pic_size(c.attr, w, h);
        lock.unlock();

        // Overlays go on a picture of the encoder's own: the source's may
        // be on its way to other units too.
        ChnAddr self{DU_ID_VENC, 0, n};
        bool overlay = overlay_on(self);
        PicturePtr src = pic;
        if (pic->width != w || pic->height != h || overlay) {
            if (!pool || pool->width() != w || pool->height() != h)
                pool = std::make_unique<PicturePool>(w, h, 2);
            src = pool->take();
            if (src && !scaler.run(*pic, *src))
                src.reset();
            if (src) {
                src->pts = pic->pts;
                src->seq = pic->seq;
            }
        }
        if (src && overlay)
            blend_overlays(self, *src);
        bool ok = src && enc->encode(*src, force, au);
        pic.reset();

        lock.lock();
        if (!ok) {
            note_drop(n, c, "encoder failed");
            c.idr = c.idr || force;
            continue;
        }
        if (au.bytes.empty())
            continue;
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
    if (!c.created || (!c.receiving && c.warm))
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
    {MPI_IOC(MPI_IOC_WRITE, 8, 'E', 57), venc_set_frame_rate},
    {MPI_IOC(MPI_IOC_READ, 8, 'E', 58), venc_get_frame_rate},
    {VENC_GET_ROI_CFG_CTRL, venc_get_roi_cfg},
    {VENC_SET_ROI_CFG_CTRL, venc_set_roi_cfg},
    {VENC_INSERT_USERDATA_CTRL, venc_insert_userdata},
    {VENC_SEND_FRAME_CTRL, venc_send_frame},
    // Pictures reach the encoder through the bind table.
    {VENC_VPSS_QUERY_CTRL, [](VencCall &, void *) { return DU_ERR_VENC_NOT_SUPPORT; }},
    {VENC_VPSS_SEND_CTRL, [](VencCall &, void *) { return DU_ERR_VENC_NOT_SUPPORT; }},
    {VENC_ENABLE_IDR_CTRL, venc_enable_idr},
};

class VencFile : public Device, public std::enable_shared_from_this<VencFile> {
public:
    int ioctl(unsigned long req, void *arg) override
    {
        if (!g_venc)
            return fail(ENODEV);
        std::unique_lock<std::mutex> lock(g_venc->lock);
        if (req == VENC_BIND_CHN_CTRL)
            return bind_chn(arg);
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
