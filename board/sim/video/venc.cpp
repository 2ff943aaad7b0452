// /dev/venc: the video encoder driver. Each created channel owns a stream
// ring in DDR and a worker thread that encodes the pictures its bound source
// (or SendFrame) gives it while it receives, one pack per picture behind a
// 64-byte header. The ring is FIFO: streams are got and released in order.
// When the ring or the stream count is full the picture is dropped: the
// encoder never makes its source wait.
//
// The records the codecs can express change the stream: the profile, the
// rate control (constant, variable or fixed QP) and the group of pictures
// of the attributes, entropy coding, deblocking, slices, VUI timing and
// colour, crop (the coded size), colour-to-grey and intra refresh. Those that
// need the codec opened anew take effect at the next IDR picture, as hardware
// applies them at a key frame. What the codecs cannot code of these is
// refused (DU_ERR_VENC_NOT_SUPPORT), never kept. Every other record
// (prediction, transform, RDO, SAO, reference, JPEG, ROI, rate-control
// details, the tuning controls, scene mode and input, the module
// parameters) is only stored and handed back.
#include "board/sim/mpp_log.h"
#include "board/sim/sim.h"
#include "board/sim/video/venc_chn.h"
#include "board/sim/video/video.h"
#include "mpi/video/venc/venc_requests.h"

#include <cerrno>
#include <sys/mman.h>

namespace sim::venc {

VencState *g_venc = nullptr;

void signal_streams(VencChn &c, bool on)
{
    for (auto &w : c.files)
        if (auto f = w.lock())
            f->set_readable(on);
}

namespace {

using namespace sim::video;

void drop_channel(std::unique_lock<std::mutex> &lock, VencChn &c)
{
    c.stop = true;
    g_venc->cv.notify_all();
    join_unlocked(lock, c.worker);
    if (c.ring)
        phys_free(c.ring);
    signal_streams(c, false);
    c.drops.flush();
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
    k.c.runs++;
    k.c.recv_left = -1;
    k.c.idr = true;
    k.c.seq_at_start = k.c.seq;
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
    c.runs++;
    c.recv_left = p.s32RecvPicNum;
    c.idr = true;
    c.seq_at_start = c.seq;
    c.keys = 0;
    event("venc", "chn %d start for %d pictures", k.n, p.s32RecvPicNum);
    return 0;
}

// As the hardware finishes the picture it is coding, the stop waits for the
// one the worker codes (taking no other meanwhile): every picture the
// channel took is out when it ends.
int venc_stop_recv(VencCall &k, void *)
{
    k.c.stopping = true;
    g_venc->cv.wait_for(k.lock, kStopWait, [&] { return !k.c.coding; });
    k.c.stopping = false;
    k.c.receiving = false;
    k.c.input.clear();
    k.c.drops.flush();
    event("venc", "chn %d stop: %u pictures coded since the start", k.n, k.c.seq - k.c.seq_at_start);
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
    // CABAC set before has no place in the baseline profile (without a
    // record the entropy coding follows the profile).
    if (a.enType == PT_H264 && a.stVideo.u32Profile == VENC_H264_PROFILE_BASELINE &&
        record_of<VENC_H264_ENTROPY_REC_S>(c, VENC_SET_H264Entropy_CTRL).u32EntropyModeI)
        return DU_ERR_VENC_NOT_SUPPORT;
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
    while (c.input.size() > kInputDepth) {
        c.input.pop_front();
        note_drop(k.n, c, "encoder busy");
    }
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
    {VENC_GET_H264Entropy_CTRL, get_coding<VENC_H264_ENTROPY_REC_S, VENC_SET_H264Entropy_CTRL, default_h264_entropy>},
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
    VENC_CODING(IntraRefresh, VENC_INTRA_REFRESH_REC_S, check_intra_refresh, true),
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
        if (mpp_refused("venc", req))
            return fail(EIO);
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

} // namespace sim::venc

namespace sim {

void venc_power_lost()
{
    using venc::g_venc;
    if (!g_venc)
        return;
    std::lock_guard<std::mutex> lock(g_venc->lock);
    for (int n = 0; n < (int)VENC_MAX_CHN_NUM; n++) {
        const venc::VencChn &c = g_venc->chn[n];
        if (c.created && c.receiving)
            event("venc", "chn %d at the cut: %u pictures coded since the start", n, c.seq - c.seq_at_start);
    }
}

} // namespace sim
