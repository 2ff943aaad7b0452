// /dev/vpss: the video processing driver. A started group takes the pictures
// of its bound source (or of SendFrame) and, on a worker thread of its own,
// filters their noise over time when its NR V3 block asks for it, scales
// them to each enabled channel's size, mirrors and flips them, hands
// them to the units bound to the channel and keeps the newest ones for
// GetChnFrame when the channel has a depth. A busy group drops its oldest
// input picture; it never makes its source wait.
#include "board/sim/drop_run.h"
#include "board/sim/sim.h"
#include "board/sim/video/video.h"
#include "mpi/video/vpss/vpss_requests.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <thread>

namespace {

using namespace sim;
using namespace sim::video;

constexpr size_t kInputDepth = 2;
constexpr unsigned kSpareBuffers = 8; // in flight beyond the channel's depth: the encoder holds up to seven
constexpr uint32_t kMaxDepth = 8;

struct VpssChn {
    VPSS_CHN_ATTR_REC_S attr{};
    VPSS_CHN_MODE_REC_S mode{};
    bool enabled = false;
    uint32_t depth = 0;
    int64_t credit = 0;
    std::deque<PicturePtr> ready;
    std::map<uint32_t, PicturePtr> held;
    PicturePtr last;
    RecordStore store;
    DropRun drops; // pictures the channel could not pass on
    // Worker-only.
    std::unique_ptr<PicturePool> pool;
    Scaler scaler;
};

struct VpssGrp {
    bool created = false, started = false, stop = false;
    VPSS_GRP_ATTR_REC_S attr{};
    RecordStore store;
    VpssChn chn[VPSS_MAX_CHN_NUM];
    std::deque<PicturePtr> input;
    PicturePtr last_in;
    std::map<uint32_t, PicturePtr> held_in;
    std::unique_ptr<PicturePool> send_pool; // pictures given by SendFrame
    // The temporal noise filter: its last output, and its pictures.
    PicturePtr nr_prev;
    std::unique_ptr<PicturePool> nr_pool;
    std::thread worker;
    uint32_t dropped = 0;
    DropRun drops; // input pictures dropped while the group was busy
};

struct VpssState {
    std::mutex lock;
    std::condition_variable cv;
    std::unique_ptr<VpssGrp> grp[VPSS_MAX_GRP_NUM];
};

VpssState *g_vpss = nullptr;

void stop_group(std::unique_lock<std::mutex> &lock, VpssGrp &g)
{
    g.started = false;
    g.stop = true;
    g_vpss->cv.notify_all();
    join_unlocked(lock, g.worker);
    g.input.clear();
    g.drops.flush();
    for (VpssChn &c : g.chn)
        c.drops.flush();
}

// A destroyed group forgets its channels and pictures; the object stays, as
// waiters and the worker may still look at it.
void forget_group(VpssGrp &g)
{
    g.created = false;
    g.attr = {};
    g.store.clear();
    g.input.clear();
    g.last_in.reset();
    g.held_in.clear();
    g.send_pool.reset();
    g.nr_prev.reset();
    g.nr_pool.reset();
    for (VpssChn &c : g.chn) {
        c.attr = {};
        c.mode = {};
        c.enabled = false;
        c.depth = 0;
        c.credit = 0;
        c.ready.clear();
        c.held.clear();
        c.last.reset();
        c.store.clear();
        c.pool.reset();
    }
    g_vpss->cv.notify_all();
}

Hooks vpss_hooks(
    [] { g_vpss = new VpssState; },
    [] {
        if (!g_vpss)
            return;
        {
            std::unique_lock<std::mutex> lock(g_vpss->lock);
            for (auto &g : g_vpss->grp)
                if (g)
                    stop_group(lock, *g);
        }
        delete g_vpss;
        g_vpss = nullptr;
    });

// One input picture through every enabled channel of the group.
void process(std::unique_lock<std::mutex> &lock, int grp, VpssGrp &g, const PicturePtr &in)
{
    for (int n = 0; n < VPSS_MAX_CHN_NUM; n++) {
        VpssChn &c = g.chn[n];
        if (!c.enabled)
            continue;
        int32_t src = c.attr.s32SrcFrameRate, dst = c.attr.s32DstFrameRate;
        if (src > 0 && dst > 0 && dst < src) {
            c.credit += dst;
            if (c.credit < src)
                continue;
            c.credit -= src;
        }
        uint32_t w = in->width, h = in->height;
        if (c.mode.enChnMode == VPSS_CHN_MODE_USER && c.mode.u32Width && c.mode.u32Height) {
            w = c.mode.u32Width & ~1u;
            h = c.mode.u32Height & ~1u;
        }
        if (!c.pool || c.pool->width() != w || c.pool->height() != h)
            c.pool = std::make_unique<PicturePool>(w, h, c.depth + kSpareBuffers);
        PicturePtr out = c.pool->take();
        if (!out) {
            // Every buffer is held downstream: this channel skips the picture.
            c.drops.drop("vpss", "grp " + std::to_string(grp) + " chn " + std::to_string(n) +
                                     " drops a picture (every buffer held)");
            continue;
        }
        bool mirror = c.attr.bMirror, flip = c.attr.bFlip;
        lock.unlock();
        bool ok = c.scaler.run(*in, *out);
        if (ok) {
            mirror_flip(*out, mirror, flip);
            out->pts = in->pts;
            out->seq = in->seq;
            blend_overlays(ChnAddr{DU_ID_VPSS, grp, n}, *out);
            route(ChnAddr{DU_ID_VPSS, grp, n}, out);
        }
        lock.lock();
        if (!ok)
            continue;
        c.drops.pass();
        c.last = out;
        if (c.depth) {
            c.ready.push_back(out);
            while (c.ready.size() > c.depth)
                c.ready.pop_front();
            g_vpss->cv.notify_all();
        }
    }
}

// The group's temporal noise filter over a new input picture, when noise
// reduction is on and its NR V3 block asks for it; the input itself stays
// as it came (GetGrpFrame and the other sinks see it unfiltered).
PicturePtr denoise(std::unique_lock<std::mutex> &lock, VpssGrp &g, const PicturePtr &in)
{
    constexpr unsigned kNrBuffers = 3; // the one kept, the one made, one spare
    uint8_t share = VPSS_NRV3_SHARE_ALL, motion = VPSS_NRV3_MOTION_DEFAULT;
    auto it = g.store.find(VPSS_SET_NRV3_PARAM);
    if (it != g.store.end() && it->second.size() > VPSS_NRV3_MOTION_BYTE) {
        share = it->second[VPSS_NRV3_TEMPORAL_SHARE_BYTE];
        motion = it->second[VPSS_NRV3_MOTION_BYTE];
    }
    if (!g.attr.bNrEn || share >= VPSS_NRV3_SHARE_ALL) {
        g.nr_prev.reset();
        return in;
    }
    if (!g.nr_pool || g.nr_pool->width() != in->width || g.nr_pool->height() != in->height)
        g.nr_pool = std::make_unique<PicturePool>(in->width, in->height, kNrBuffers);
    PicturePtr out = g.nr_pool->take();
    if (!out)
        return in;
    PicturePtr prev = g.nr_prev;
    lock.unlock();
    temporal_nr(*in, prev.get(), *out, share, motion);
    lock.lock();
    g.nr_prev = out;
    return out;
}

void group_loop(int grp)
{
    VpssGrp &g = *g_vpss->grp[grp];
    std::unique_lock<std::mutex> lock(g_vpss->lock);
    while (true) {
        g_vpss->cv.wait(lock, [&] { return g.stop || !g.input.empty(); });
        if (g.stop)
            break;
        PicturePtr in = g.input.front();
        g.input.pop_front();
        g.drops.pass();
        g.last_in = in;
        process(lock, grp, g, denoise(lock, g, in));
    }
}

// Queues a picture for a started group; drops the oldest when it is busy.
void take_input(int grp, const PicturePtr &pic)
{
    if (!g_vpss || grp < 0 || grp >= VPSS_MAX_GRP_NUM)
        return;
    std::lock_guard<std::mutex> lock(g_vpss->lock);
    VpssGrp *g = g_vpss->grp[grp].get();
    if (!g || !g->started)
        return;
    g->input.push_back(pic);
    while (g->input.size() > kInputDepth) {
        g->input.pop_front();
        g->dropped++;
        g->drops.drop("vpss", "grp " + std::to_string(grp) + " drops a picture (busy)");
    }
    g_vpss->cv.notify_all();
}

SinkRegistration vpss_sink(DU_ID_VPSS, [](const ChnAddr &dst, const PicturePtr &pic) { take_input(dst.dev, pic); });



// Waits for the channel's next ready picture: -1 blocks, 0 does not wait.
bool wait_ready(std::unique_lock<std::mutex> &lock, VpssGrp &g, VpssChn &c, int32_t ms)
{
    wait_ms(g_vpss->cv, lock, ms, [&] { return !c.ready.empty() || !c.enabled || g.stop; });
    return !c.ready.empty();
}

// What a VPSS request works on: the descriptor's group and channel under the
// driver's lock.
struct VpssCall {
    std::unique_lock<std::mutex> &lock;
    VpssGrp &g;
    VpssChn &c;
    int grp, chn;
};

int vpss_create_grp(VpssCall &k, void *arg)
{
    VpssGrp &g = k.g;
    VPSS_GRP_ATTR_REC_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    if (g.created)
        return ERR_VPSS_EXIST;
    if (!a.u32MaxW || !a.u32MaxH || a.u32MaxW > 4096 || a.u32MaxH > 4096)
        return ERR_VPSS_ILLEGAL_PARAM;
    g.attr = a;
    g.created = true;
    std::vector<uint8_t> nr(sizeof(VPSS_NR_V3_PARAM_REC_S));
    nr[VPSS_NRV3_TEMPORAL_SHARE_BYTE] = VPSS_NRV3_SHARE_ALL;
    nr[VPSS_NRV3_MOTION_BYTE] = VPSS_NRV3_MOTION_DEFAULT;
    g.store[VPSS_SET_NRV3_PARAM] = std::move(nr);
    event("vpss", "grp %d create %ux%u", k.grp, a.u32MaxW, a.u32MaxH);
    return 0;
}

int vpss_destroy_grp(VpssCall &k, void *)
{
    if (!k.g.created)
        return ERR_VPSS_UNEXIST;
    stop_group(k.lock, k.g);
    forget_group(k.g);
    event("vpss", "grp %d destroy", k.grp);
    return 0;
}

// Requests a group takes whether it exists or not.
const IoctlOp<VpssCall> kVpssAnyTimeOps[] = {
    {VPSS_CREATE_GRP, vpss_create_grp},
    {VPSS_DESTROY_GRP, vpss_destroy_grp},
};

int vpss_start_grp(VpssCall &k, void *)
{
    VpssGrp &g = k.g;
    if (!g.started) {
        if (g.worker.joinable())
            stop_group(k.lock, g);
        g.started = true;
        g.stop = false;
        g.worker = std::thread(group_loop, k.grp);
        event("vpss", "grp %d start", k.grp);
    }
    return 0;
}

int vpss_stop_grp(VpssCall &k, void *)
{
    if (k.g.started) {
        stop_group(k.lock, k.g);
        event("vpss", "grp %d stop", k.grp);
    }
    return 0;
}

int vpss_reset_grp(VpssCall &k, void *)
{
    k.g.input.clear();
    for (VpssChn &ch : k.g.chn)
        ch.ready.clear();
    return 0;
}

int vpss_send_frame(VpssCall &k, void *arg)
{
    VpssGrp &g = k.g;
    VIDEO_FRAME_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (r.stFrame.u32Width > g.attr.u32MaxW || r.stFrame.u32Height > g.attr.u32MaxH)
        return ERR_VPSS_ILLEGAL_PARAM;
    if (!g.started)
        return ERR_VPSS_NOT_PERM;
    int why;
    PicturePtr pic = picture_from_frame(g.send_pool, kInputDepth + 2, r.stFrame, &why);
    if (!pic)
        return why ? ERR_VPSS_ILLEGAL_PARAM : mpi_status(DU_ID_VPSS, ERR_NOBUF);
    k.lock.unlock();
    take_input(k.grp, pic);
    k.lock.lock();
    return 0;
}

int vpss_get_grp_frame(VpssCall &k, void *arg)
{
    VpssGrp &g = k.g;
    VPSS_GRP_FRAME_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (!g.last_in)
        return ERR_VPSS_BUF_EMPTY;
    VIDEO_FRAME_REC_S f;
    fill_frame(f, *g.last_in);
    if (!put_user(r.pstFrame, f))
        return fail(EFAULT);
    g.held_in[g.last_in->phys] = g.last_in;
    return 0;
}

int vpss_enable_chn(VpssCall &k, void *)
{
    k.c.enabled = true;
    event("vpss", "grp %d chn %d enable", k.grp, k.chn);
    return 0;
}

int vpss_disable_chn(VpssCall &k, void *)
{
    k.c.enabled = false;
    k.c.ready.clear();
    g_vpss->cv.notify_all();
    event("vpss", "grp %d chn %d disable", k.grp, k.chn);
    return 0;
}

int vpss_set_chn_mode(VpssCall &k, void *arg)
{
    VPSS_CHN_MODE_REC_S m;
    if (!get_user(m, arg))
        return fail(EFAULT);
    if (m.enChnMode == VPSS_CHN_MODE_USER &&
        (m.u32Width < 16 || m.u32Height < 16 || m.u32Width > 4096 || m.u32Height > 4096))
        return ERR_VPSS_ILLEGAL_PARAM;
    k.c.mode = m;
    return 0;
}

int vpss_get_chn_frame(VpssCall &k, void *arg)
{
    VpssChn &c = k.c;
    VPSS_CHN_FRAME_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (!c.enabled || !c.depth)
        return ERR_VPSS_NOT_PERM;
    if (!wait_ready(k.lock, k.g, c, r.s32MilliSec))
        return ERR_VPSS_BUF_EMPTY;
    PicturePtr p = c.ready.front();
    VIDEO_FRAME_REC_S f;
    fill_frame(f, *p);
    if (!put_user(r.pstFrame, f))
        return fail(EFAULT);
    c.ready.pop_front();
    c.held[p->phys] = p;
    return 0;
}

int vpss_get_region_luma(VpssCall &k, void *arg)
{
    VpssChn &c = k.c;
    VPSS_REGION_LUMA_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    std::vector<VPSS_RECT_S> rects;
    if (int ret = read_regions(r.stRegionInfo, rects))
        return ret == 1 ? ERR_VPSS_ILLEGAL_PARAM : ret;
    if (!c.last) {
        if (!c.enabled)
            return ERR_VPSS_NOT_PERM;
        wait_ms(g_vpss->cv, k.lock, r.s32MilliSec, [&] { return c.last || !c.enabled || k.g.stop; });
        if (!c.last)
            return ERR_VPSS_BUF_EMPTY;
    }
    return put_region_means(*c.last, rects, r.pu32LumaData);
}

// The last input picture is always kept for GetGrpFrame.
int vpss_backup(VpssCall &, void *) { return 0; }

// Requests of a created group and of the descriptor's channel.
const IoctlOp<VpssCall> kVpssGrpOps[] = {
    {VPSS_SET_GRP_ATTR, [](VpssCall &k, void *arg) { return get_user(k.g.attr, arg) ? 0 : fail(EFAULT); }},
    {VPSS_GET_GRP_ATTR, [](VpssCall &k, void *arg) { return put_user(arg, k.g.attr) ? 0 : fail(EFAULT); }},
    {VPSS_START_GRP, vpss_start_grp},
    {VPSS_STOP_GRP, vpss_stop_grp},
    {VPSS_RESET_GRP, vpss_reset_grp},
    {VPSS_ENABLE_BACKUP, vpss_backup},
    {VPSS_DISABLE_BACKUP, vpss_backup},
    {VPSS_SEND_FRAME, vpss_send_frame},
    {VPSS_GET_GRP_FRAME, vpss_get_grp_frame},
    {VPSS_RELEASE_GRP_FRAME,
     [](VpssCall &k, void *arg) { return release_picture(k.g.held_in, arg, ERR_VPSS_ILLEGAL_PARAM); }},
    {VPSS_ENABLE_CHN, vpss_enable_chn},
    {VPSS_DISABLE_CHN, vpss_disable_chn},
    {VPSS_SET_CHN_ATTR, [](VpssCall &k, void *arg) { return get_user(k.c.attr, arg) ? 0 : fail(EFAULT); }},
    {VPSS_GET_CHN_ATTR, [](VpssCall &k, void *arg) { return put_user(arg, k.c.attr) ? 0 : fail(EFAULT); }},
    {VPSS_SET_CHN_MODE, vpss_set_chn_mode},
    {VPSS_GET_CHN_MODE, [](VpssCall &k, void *arg) { return put_user(arg, k.c.mode) ? 0 : fail(EFAULT); }},
    {VPSS_SET_DEPTH,
     [](VpssCall &k, void *arg) { return set_depth(k.c.depth, k.c.ready, arg, kMaxDepth, ERR_VPSS_ILLEGAL_PARAM); }},
    {VPSS_GET_DEPTH, [](VpssCall &k, void *arg) { return put_user(arg, k.c.depth) ? 0 : fail(EFAULT); }},
    {VPSS_GET_CHN_FRAME, vpss_get_chn_frame},
    {VPSS_RELEASE_CHN_FRAME,
     [](VpssCall &k, void *arg) { return release_picture(k.c.held, arg, ERR_VPSS_ILLEGAL_PARAM); }},
    {VPSS_GET_REGION_LUMA, vpss_get_region_luma},
};

// The records the driver keeps as given.
int vpss_stored(VpssCall &k, unsigned long req, void *arg)
{
    auto store_of = [&](const VPSS_STORED_REQ_S &e) -> RecordStore & { return e.chn ? k.c.store : k.g.store; };
    return stored_request(VPSS_STORED_REQS, store_of, req, arg);
}

class VpssFile : public Device {
public:
    int ioctl(unsigned long req, void *arg) override
    {
        if (req == VPSS_BIND_FD) {
            uint32_t word;
            if (!get_user(word, arg))
                return fail(EFAULT);
            int grp = (int)(word >> 16), chn = (int)(word & 0xffff);
            if (grp >= VPSS_MAX_GRP_NUM || chn >= VPSS_MAX_CHN_NUM)
                return fail(EINVAL);
            grp_ = grp;
            chn_ = chn;
            return 0;
        }
        if (!g_vpss)
            return fail(ENODEV);
        if (grp_ < 0)
            return fail(EBADF);
        std::unique_lock<std::mutex> lock(g_vpss->lock);
        auto &slot = g_vpss->grp[grp_];
        if (!slot)
            slot = std::make_unique<VpssGrp>();
        VpssCall call{lock, *slot, slot->chn[chn_], grp_, chn_};
        if (const IoctlOp<VpssCall> *op = find_ioctl(kVpssAnyTimeOps, req))
            return op->handler(call, arg);
        if (req == VPSS_SET_MOD_PARAM || req == VPSS_GET_MOD_PARAM)
            return vpss_stored(call, req, arg); // module-wide: no group needs to exist
        if (!call.g.created)
            return ERR_VPSS_UNEXIST;
        if (const IoctlOp<VpssCall> *op = find_ioctl(kVpssGrpOps, req))
            return op->handler(call, arg);
        return vpss_stored(call, req, arg);
    }

private:
    int grp_ = -1, chn_ = 0;
};

DeviceRegistration vpss_device("/dev/vpss", [](int) { return std::make_shared<VpssFile>(); });

} // namespace
