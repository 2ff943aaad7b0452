// /dev/vda: the video detection driver. A created channel owns a result
// buffer in DDR with one slot per result it can hold. While it receives,
// every `interval`-th picture (every one for 0) of its bound source (or of
// SendPic) is compared with the picture analysed before it: per macroblock,
// the sum of absolute luma differences (as 8-bit values, the mean difference
// per pixel; as 16-bit values, the sum itself), the macroblocks above the SAD
// threshold joined into objects, and the pixels that differ by more than it.
// A result is written for every analysed picture, also when nothing moved.
// When every slot is taken the oldest result not yet got is dropped; when the
// caller holds them all the picture is.
#include "board/sim/mpp_log.h"
#include "board/sim/sim.h"
#include "board/sim/video/video.h"
#include "mpi/video/vda/vda_requests.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <thread>

namespace {

using namespace sim;
using namespace sim::video;

constexpr uint32_t kMinSize = 16, kMaxSize = 960;
constexpr uint32_t kMaxBufNum = 16, kMaxObjNum = 128, kMaxInterval = 256;

struct Result {
    uint32_t slot;
    VDA_DATA_REC_S rec; // with the buffer's physical addresses
};

struct VdaChn {
    bool created = false, receiving = false, size_noted = false;
    VDA_CHN_ATTR_REC_S attr{};
    uint32_t mb = 16, elem = 1, cols = 0, rows = 0, stride = 0; // the SAD array
    uint32_t buf = 0, buf_len = 0, slot_len = 0, obj_off = 0;
    std::vector<bool> slot_used;
    std::vector<uint8_t> ref; // luma of the picture analysed last
    bool have_ref = false;
    uint32_t pictures = 0, next_id = 1, dropped = 0;
    std::deque<Result> ready;
    std::vector<Result> held;
    std::vector<std::weak_ptr<Device>> files;
    std::unique_ptr<PicturePool> send_pool;
};

struct VdaState {
    std::mutex lock;
    std::condition_variable cv;
    VdaChn chn[VDA_MAX_CHN_NUM];
};

// Made once and reset in place when the board restarts, so that a picture
// still on its way from a stopping producer never meets freed state.
VdaState *g_vda = nullptr;

// The channel's descriptors are readable in select while a result waits.
void signal_results(VdaChn &c)
{
    for (auto &w : c.files)
        if (auto f = w.lock())
            f->set_readable(!c.ready.empty());
    g_vda->cv.notify_all();
}

void drop_channel(VdaChn &c)
{
    if (c.buf)
        phys_free(c.buf);
    std::vector<std::weak_ptr<Device>> files = std::move(c.files);
    c.~VdaChn();
    new (&c) VdaChn;
    c.files = std::move(files); // the descriptors stay bound to the channel number
    signal_results(c);
}

// The descriptors stay bound across a restart, as open descriptors stay valid.
Hooks vda_hooks(
    [] {
        if (!g_vda)
            g_vda = new VdaState;
    },
    [] {
        if (!g_vda)
            return;
        std::lock_guard<std::mutex> lock(g_vda->lock);
        for (VdaChn &c : g_vda->chn)
            drop_channel(c);
    });

uint32_t align(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

// The attributes the driver can work with.
int check_attr(const VDA_CHN_ATTR_REC_S &a)
{
    const VDA_MD_ATTR_REC_S &md = a.unAttr.stMdAttr;
    if (a.enWorkMode != VDA_WORK_MODE_MD || md.enVdaAlg != VDA_ALG_REF || md.enRefMode != VDA_REF_MODE_DYNAMIC)
        return ERR_VDA_NOT_SUPPORT; // motion against the previous picture only
    if ((md.enMbSize != VDA_MB_8PIXEL && md.enMbSize != VDA_MB_16PIXEL) ||
        (md.enMbSadBits != VDA_MB_SAD_8BIT && md.enMbSadBits != VDA_MB_SAD_16BIT) || md.u32MdBufNum == 0 ||
        md.u32MdBufNum > kMaxBufNum || md.u32VdaIntvl > kMaxInterval || md.u32ObjNumMax == 0 ||
        md.u32ObjNumMax > kMaxObjNum || a.u32Width < kMinSize || a.u32Height < kMinSize || a.u32Width > kMaxSize ||
        a.u32Height > kMaxSize)
        return ERR_VDA_ILLEGAL_PARAM;
    return 0;
}

int create(VdaChn &c, int n, const VDA_CHN_ATTR_REC_S &a)
{
    if (c.created)
        return ERR_VDA_EXIST;
    if (int ret = check_attr(a))
        return ret;
    const VDA_MD_ATTR_REC_S &md = a.unAttr.stMdAttr;
    c.attr = a;
    c.mb = md.enMbSize == VDA_MB_8PIXEL ? 8 : 16;
    c.elem = md.enMbSadBits == VDA_MB_SAD_8BIT ? 1 : 2;
    c.cols = (a.u32Width + c.mb - 1) / c.mb;
    c.rows = (a.u32Height + c.mb - 1) / c.mb;
    c.stride = align(c.cols * c.elem, 16);
    c.obj_off = align(c.stride * c.rows, 16);
    c.slot_len = align(c.obj_off + md.u32ObjNumMax * (uint32_t)sizeof(VDA_OBJ_S), 64);
    c.buf_len = c.slot_len * md.u32MdBufNum;
    c.buf = phys_alloc(c.buf_len);
    if (!c.buf)
        return ERR_VDA_NOMEM;
    c.slot_used.assign(md.u32MdBufNum, false);
    c.created = true;
    event("vda", "chn %d create %ux%u mb %u interval %u", n, a.u32Width, a.u32Height, c.mb, md.u32VdaIntvl);
    return 0;
}

// Joins the macroblocks above the threshold (4-connected) into objects.
void find_objects(VdaChn &c, const std::vector<uint32_t> &sad, uint32_t th, VDA_DATA_REC_S &d, VDA_OBJ_S *out)
{
    const uint32_t W = c.attr.u32Width, H = c.attr.u32Height, max = c.attr.unAttr.stMdAttr.u32ObjNumMax;
    std::vector<bool> seen(sad.size(), false);
    std::vector<uint32_t> todo;
    uint32_t total = 0, best = 0, best_size = 0, count = 0;
    for (uint32_t start = 0; start < sad.size() && count < max; start++) {
        if (seen[start] || sad[start] <= th)
            continue;
        uint32_t c0 = c.cols, r0 = c.rows, c1 = 0, r1 = 0, size = 0;
        todo.assign(1, start);
        seen[start] = true;
        while (!todo.empty()) {
            uint32_t i = todo.back(), r = i / c.cols, col = i % c.cols;
            todo.pop_back();
            c0 = std::min(c0, col), c1 = std::max(c1, col), r0 = std::min(r0, r), r1 = std::max(r1, r);
            size += (std::min(W, (col + 1) * c.mb) - col * c.mb) * (std::min(H, (r + 1) * c.mb) - r * c.mb);
            auto visit = [&](uint32_t j) {
                if (!seen[j] && sad[j] > th) {
                    seen[j] = true;
                    todo.push_back(j);
                }
            };
            if (col > 0)
                visit(i - 1);
            if (col + 1 < c.cols)
                visit(i + 1);
            if (r > 0)
                visit(i - c.cols);
            if (r + 1 < c.rows)
                visit(i + c.cols);
        }
        out[count] = {(uint16_t)(c0 * c.mb), (uint16_t)(r0 * c.mb), (uint16_t)std::min(W, (c1 + 1) * c.mb),
                      (uint16_t)std::min(H, (r1 + 1) * c.mb)};
        if (size > best_size)
            best = count, best_size = size;
        total += size;
        count++;
    }
    d.bMbObjValid = 1;
    d.u32ObjNum = count;
    d.u32IndexOfMaxObj = best;
    d.u32SizeOfMaxObj = best_size;
    d.u32SizeOfTotalObj = total;
}

// Compares the picture's luma with the reference into result slot `slot`.
Result analyse(VdaChn &c, const Picture &pic, uint32_t slot)
{
    const VDA_MD_ATTR_REC_S &md = c.attr.unAttr.stMdAttr;
    const uint32_t W = c.attr.u32Width, H = c.attr.u32Height;
    // The threshold speaks of macroblock values; per pixel it is the mean.
    const uint32_t pel_th = c.elem == 1 ? md.u32SadTh : md.u32SadTh / (c.mb * c.mb);
    std::vector<uint32_t> sums(c.cols * c.rows, 0), sad(c.cols * c.rows, 0);
    uint32_t alarm = 0;
    for (uint32_t y = 0; y < H; y++) {
        const uint8_t *cur = pic.y() + (size_t)y * pic.stride, *ref = &c.ref[(size_t)y * W];
        uint32_t *row = &sums[(y / c.mb) * c.cols];
        for (uint32_t x = 0; x < W; x++) {
            uint32_t d = (uint32_t)std::abs((int)cur[x] - (int)ref[x]);
            row[x / c.mb] += d;
            alarm += d > pel_th;
        }
    }
    uint32_t base = c.buf + slot * c.slot_len;
    uint8_t *out = phys(base);
    memset(out, 0, c.slot_len);
    for (uint32_t r = 0; r < c.rows; r++)
        for (uint32_t col = 0; col < c.cols; col++) {
            uint32_t i = r * c.cols + col;
            uint32_t pels = (std::min(W, (col + 1) * c.mb) - col * c.mb) * (std::min(H, (r + 1) * c.mb) - r * c.mb);
            if (c.elem == 1) {
                sad[i] = std::min(255u, (sums[i] + pels / 2) / pels);
                out[r * c.stride + col] = (uint8_t)sad[i];
            } else {
                sad[i] = std::min(65535u, sums[i]);
                uint16_t v = (uint16_t)sad[i];
                memcpy(out + r * c.stride + col * 2, &v, 2);
            }
        }

    Result res{slot, {}};
    VDA_DATA_REC_S &d = res.rec;
    d.enWorkMode = VDA_WORK_MODE_MD;
    d.bMbSadValid = 1;
    d.pAddr = reinterpret_cast<void *>((uintptr_t)base);
    d.u32Stride = c.stride;
    d.enMbSadBits = md.enMbSadBits;
    find_objects(c, sad, md.u32SadTh, d, reinterpret_cast<VDA_OBJ_S *>(out + c.obj_off));
    d.pstAddr = reinterpret_cast<VDA_OBJ_S *>((uintptr_t)(base + c.obj_off));
    d.bPelsNumValid = 1;
    d.u32AlarmPixCnt = alarm;
    d.u32MbWidth = c.cols;
    d.u32MbHeight = c.rows;
    d.u32ResultId = c.next_id++;
    d.u64Pts = pic.pts;
    return res;
}

// A free result slot, making one by dropping the oldest waiting result;
// -1 when the caller holds every slot.
int free_slot(VdaChn &c)
{
    for (size_t i = 0; i < c.slot_used.size(); i++)
        if (!c.slot_used[i])
            return (int)i;
    if (c.ready.empty())
        return -1;
    uint32_t slot = c.ready.front().slot;
    c.ready.pop_front();
    c.dropped++;
    return (int)slot;
}

// One picture reaches a channel (the lock held).
void take_picture(VdaChn &c, int n, const Picture &pic)
{
    if (!c.created || !c.receiving)
        return;
    c.pictures++;
    if (c.pictures % std::max(1u, c.attr.unAttr.stMdAttr.u32VdaIntvl))
        return;
    const uint32_t W = c.attr.u32Width, H = c.attr.u32Height;
    if (pic.width != W || pic.height != H) {
        if (!c.size_noted)
            event("vda", "chn %d skips %ux%u pictures: it analyses %ux%u", n, pic.width, pic.height, W, H);
        c.size_noted = true;
        return;
    }
    if (c.have_ref) {
        int slot = free_slot(c);
        if (slot < 0) {
            c.dropped++;
            return;
        }
        c.slot_used[slot] = true;
        c.ready.push_back(analyse(c, pic, (uint32_t)slot));
        signal_results(c);
    }
    c.ref.resize((size_t)W * H);
    for (uint32_t y = 0; y < H; y++)
        memcpy(&c.ref[(size_t)y * W], pic.y() + (size_t)y * pic.stride, W);
    c.have_ref = true;
}

SinkRegistration vda_sink(DU_ID_VDA, [](const ChnAddr &dst, const PicturePtr &pic) {
    if (!g_vda || dst.chn < 0 || dst.chn >= VDA_MAX_CHN_NUM)
        return;
    std::lock_guard<std::mutex> lock(g_vda->lock);
    take_picture(g_vda->chn[dst.chn], dst.chn, *pic);
});

// What a VDA request works on: the descriptor's channel under the driver's lock.
struct VdaCall {
    std::unique_lock<std::mutex> &lock;
    VdaChn &c;
    int n; // the channel's number
};

int vda_create_chn(VdaCall &k, void *arg)
{
    VDA_CHN_ATTR_REC_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    return create(k.c, k.n, a);
}

// Requests a channel takes whether it exists or not.
const IoctlOp<VdaCall> kVdaAnyTimeOps[] = {
    {VDA_CREATE_CHN, vda_create_chn},
};

int vda_get_data(VdaCall &k, void *arg)
{
    VdaChn &c = k.c;
    VDA_GET_DATA_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    wait_ms(g_vda->cv, k.lock, r.s32MilliSec, [&] { return !c.ready.empty() || !c.created; });
    if (!c.created)
        return ERR_VDA_UNEXIST;
    if (c.ready.empty())
        return ERR_VDA_BUF_EMPTY;
    r.stData = c.ready.front().rec;
    if (!put_user(arg, r))
        return fail(EFAULT);
    c.held.push_back(c.ready.front());
    c.ready.pop_front();
    signal_results(c);
    return 0;
}

// Only the analysis words may change: the sizes shape the buffer the
// caller has mapped.
int vda_set_chn_attr(VdaCall &k, void *arg)
{
    VdaChn &c = k.c;
    VDA_CHN_ATTR_REC_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    if (int ret = check_attr(a))
        return ret;
    VDA_CHN_ATTR_REC_S keep = c.attr;
    keep.unAttr.stMdAttr.u32VdaIntvl = a.unAttr.stMdAttr.u32VdaIntvl;
    keep.unAttr.stMdAttr.u32BgUpSrcWgt = a.unAttr.stMdAttr.u32BgUpSrcWgt;
    keep.unAttr.stMdAttr.u32SadTh = a.unAttr.stMdAttr.u32SadTh;
    if (memcmp(&keep, &a, sizeof a) != 0)
        return ERR_VDA_NOT_PERM;
    c.attr = a;
    return 0;
}

int vda_destroy_chn(VdaCall &k, void *)
{
    drop_channel(k.c);
    event("vda", "chn %d destroy", k.n);
    return 0;
}

int vda_get_buf(VdaCall &k, void *arg)
{
    VDA_BUF_REC_S b = {k.c.buf, k.c.buf_len};
    return put_user(arg, b) ? 0 : fail(EFAULT);
}

int vda_start_recv(VdaCall &k, void *)
{
    VdaChn &c = k.c;
    if (!c.receiving) {
        c.receiving = true;
        c.have_ref = false; // an old reference would show motion that is not there
        c.pictures = 0;
        event("vda", "chn %d start", k.n);
    }
    return 0;
}

int vda_stop_recv(VdaCall &k, void *)
{
    if (k.c.receiving)
        event("vda", "chn %d stop", k.n);
    k.c.receiving = false;
    return 0;
}

int vda_release_data(VdaCall &k, void *arg)
{
    VdaChn &c = k.c;
    VDA_DATA_REC_S d;
    if (!get_user(d, arg))
        return fail(EFAULT);
    auto it = std::find_if(c.held.begin(), c.held.end(),
                           [&](const Result &r) { return r.rec.u32ResultId == d.u32ResultId; });
    if (it == c.held.end())
        return ERR_VDA_ILLEGAL_PARAM;
    c.slot_used[it->slot] = false;
    c.held.erase(it);
    return 0;
}

int vda_query(VdaCall &k, void *arg)
{
    VDA_CHN_STAT_S st = {k.c.receiving, 0, (u32)k.c.ready.size()};
    return put_user(arg, st) ? 0 : fail(EFAULT);
}

int vda_send_pic(VdaCall &k, void *arg)
{
    VdaChn &c = k.c;
    VIDEO_FRAME_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (!c.receiving)
        return ERR_VDA_NOT_PERM;
    int why;
    PicturePtr pic = picture_from_frame(c.send_pool, 2, r.stFrame, &why);
    if (!pic)
        return why ? ERR_VDA_ILLEGAL_PARAM : mpi_status(DU_ID_VDA, ERR_NOBUF);
    take_picture(c, k.n, *pic);
    return 0;
}

// Regions belong to the other work mode and user references to the other
// reference mode; channels here do neither.
int vda_not_supported(VdaCall &, void *) { return ERR_VDA_NOT_SUPPORT; }

// Requests of a created channel.
const IoctlOp<VdaCall> kVdaChnOps[] = {
    {VDA_DESTROY_CHN, vda_destroy_chn},
    {VDA_GET_BUF, vda_get_buf},
    {VDA_GET_CHN_ATTR, [](VdaCall &k, void *arg) { return put_user(arg, k.c.attr) ? 0 : fail(EFAULT); }},
    {VDA_SET_CHN_ATTR, vda_set_chn_attr},
    {VDA_START_RECV, vda_start_recv},
    {VDA_STOP_RECV, vda_stop_recv},
    {VDA_GET_DATA, vda_get_data},
    {VDA_RELEASE_DATA, vda_release_data},
    {VDA_QUERY, vda_query},
    {VDA_SEND_PIC, vda_send_pic},
    {VDA_RESET_OD_REGION, vda_not_supported},
    {VDA_UPDATE_REF, vda_not_supported},
};

class VdaFile : public Device, public std::enable_shared_from_this<VdaFile> {
public:
    int ioctl(unsigned long req, void *arg) override
    {
        if (!g_vda)
            return fail(ENODEV);
        if (mpp_refused("vda", req))
            return fail(EIO);
        std::unique_lock<std::mutex> lock(g_vda->lock);
        if (req == VDA_BIND_FD)
            return bind_chn(arg);
        if (chn_ < 0)
            return fail(EBADF);
        VdaCall call{lock, g_vda->chn[chn_], chn_};
        if (const IoctlOp<VdaCall> *op = find_ioctl(kVdaAnyTimeOps, req))
            return op->handler(call, arg);
        if (!call.c.created)
            return ERR_VDA_UNEXIST;
        return dispatch(kVdaChnOps, req, call, arg);
    }

private:
    // Binds the descriptor to its channel, once.
    int bind_chn(void *arg)
    {
        uint32_t n;
        if (!get_user(n, arg))
            return fail(EFAULT);
        if (n >= (uint32_t)VDA_MAX_CHN_NUM || chn_ >= 0)
            return fail(EINVAL);
        chn_ = (int)n;
        VdaChn &c = g_vda->chn[n];
        c.files.push_back(shared_from_this());
        set_readable(!c.ready.empty());
        return 0;
    }

    int chn_ = -1;
};

DeviceRegistration vda_device("/dev/vda", [](int) { return std::make_shared<VdaFile>(); });

} // namespace
