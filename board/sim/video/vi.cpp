// /dev/vi: the video input driver. Each enabled channel captures the sensor's
// field (the scene as the lens projects it, turned round) at the sensor's
// rate (NV21 at the channel's target size, time stamps from the platform
// clock), hands every picture to the units bound to it and keeps the newest
// ones for GetFrame when the channel has a frame depth. Its fixed-pattern
// calibration and correction work on the sensor's dark row.
#include "board/sim/drop_run.h"
#include "board/sim/picture/picture.h"
#include "board/sim/sim.h"
#include "board/sim/video/video.h"
#include "isp/isp_hw_regs.h"
#include "mpi/video/vi/vi_requests.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <thread>

namespace {

using namespace sim;
using namespace sim::video;
using Clock = std::chrono::steady_clock;

// The sensor's field that device and channel windows are cut from.
constexpr double kFieldWidth = 1920, kFieldHeight = 1096;
constexpr unsigned kSpareBuffers = 4; // pictures in flight to VPSS and beyond
constexpr uint32_t kMaxDepth = 8;

struct ViChn {
    VI_CHN_ATTR_REC_S attr{};
    bool attr_set = false, enabled = false, stop = false;
    uint32_t depth = 0, rotate = 0;
    std::deque<PicturePtr> ready;        // for GetFrame, oldest first
    std::map<uint32_t, PicturePtr> held; // got by the caller, by luma address
    PicturePtr last;
    RecordStore store;
    std::thread thread;
    uint32_t captured = 0, lost = 0, vb_fail = 0, fps = 0;
    DropRun drops; // pictures the sensor gave that the channel could not capture
};

// The fixed-pattern correction's side of the driver: the dark frame of each
// type's last calibration, and the correction in force.
struct FpnState {
    uint32_t dark_phys[2] = {};
    bool corrected = false;
    VI_FPN_CORRECT_REQ_S correct{};
};

struct ViState {
    ViState()
    {
        // Neutral colour conversion until someone sets one, the
        // stabilisation off, and the contrast enhancement (DCI) off at its
        // middle strengths.
        VI_CSC_ATTR_REC_S csc = {0, 50, 45, 50, 50, 0};
        auto *b = reinterpret_cast<const uint8_t *>(&csc);
        store[VI_SET_CSC_ATTR].assign(b, b + sizeof csc);
        store[VI_SET_DIS_ATTR].assign(sizeof(VI_DIS_ATTR_REC_S), 0);
        VI_DCI_PARAM_REC_S dci = {{0, 32, 32, 32}};
        b = reinterpret_cast<const uint8_t *>(&dci);
        store[VI_SET_DCI_PARAM].assign(b, b + sizeof dci);
    }
    ~ViState()
    {
        for (uint32_t a : fpn.dark_phys)
            if (a)
                phys_free(a);
    }
    std::mutex lock;
    std::condition_variable cv;
    VI_DEV_ATTR_REC_S dev{};
    bool dev_set = false, dev_enabled = false;
    RecordStore store;
    ViChn chn[VIU_MAX_FRM_CHN_NUM];
    FpnState fpn;
};

ViState *g_vi = nullptr;

void stop_channel(std::unique_lock<std::mutex> &lock, ViChn &c)
{
    c.enabled = false;
    c.stop = true;
    g_vi->cv.notify_all();
    join_unlocked(lock, c.thread);
    c.ready.clear();
    c.last.reset();
}

Hooks vi_hooks(
    [] { g_vi = new ViState; },
    [] {
        if (!g_vi)
            return;
        {
            std::unique_lock<std::mutex> lock(g_vi->lock);
            for (ViChn &c : g_vi->chn)
                stop_channel(lock, c);
        }
        delete g_vi;
        g_vi = nullptr;
    });

// The channel's window of the sensor's field, in fractions of it.
Window channel_window(const ViState &s, const ViChn &c)
{
    double dx = 0, dy = 0;
    if (s.dev_set) {
        dx = s.dev.s32X;
        dy = s.dev.s32Y;
    }
    Window w;
    w.x = (dx + c.attr.s32X) / kFieldWidth;
    w.y = (dy + c.attr.s32Y) / kFieldHeight;
    w.w = (c.attr.u32Width ? c.attr.u32Width : kFieldWidth) / kFieldWidth;
    w.h = (c.attr.u32Height ? c.attr.u32Height : kFieldHeight) / kFieldHeight;
    return w;
}

// Rotation of the channel's pictures (SetRotate): quarter turns clockwise.
enum : uint32_t { kRotate0, kRotate90, kRotate180, kRotate270 };
bool quarter_turn(uint32_t rotate) { return rotate == kRotate90 || rotate == kRotate270; }

// One plane of `src` turned a quarter clockwise (or counter-clockwise) into
// `dst`, whose width is the source's height; elements of type T (a luma
// byte, or a V/U pair). In tiles, so that both sides stay in the cache.
template <class T>
SIM_PIXEL_LOOP void rotate_plane(const uint8_t *src, uint32_t src_stride, uint32_t w, uint32_t h, uint8_t *dst,
                                 uint32_t dst_stride, bool clockwise)
{
    constexpr uint32_t kTile = 32;
    for (uint32_t ty = 0; ty < w; ty += kTile)
        for (uint32_t tx = 0; tx < h; tx += kTile)
            for (uint32_t y = ty; y < std::min(w, ty + kTile); y++) {
                T *row = reinterpret_cast<T *>(dst + (size_t)y * dst_stride);
                for (uint32_t x = tx; x < std::min(h, tx + kTile); x++) {
                    // Clockwise the source's left column becomes the top row.
                    uint32_t sx = clockwise ? y : w - 1 - y, sy = clockwise ? h - 1 - x : x;
                    row[x] = reinterpret_cast<const T *>(src + (size_t)sy * src_stride)[sx];
                }
            }
}

void rotate_picture(const Picture &src, Picture &dst, bool clockwise)
{
    rotate_plane<uint8_t>(src.y(), src.stride, src.width, src.height, dst.y(), dst.stride, clockwise);
    rotate_plane<uint16_t>(src.vu(), src.stride, src.width / 2, src.height / 2, dst.vu(), dst.stride, clockwise);
}

void capture_loop(int n)
{
    ViChn &c = g_vi->chn[n];
    SceneRenderer scene;
    std::unique_ptr<PicturePool> pool, upright; // upright: the sensor's picture before a quarter turn
    uint32_t seq = 0, window_frames = 0;
    int64_t credit = 0;
    Clock::time_point next = Clock::now(), window_start = next;

    std::unique_lock<std::mutex> lock(g_vi->lock);
    while (!c.stop) {
        double rate = sensor_frame_rate();
        if (rate <= 0)
            rate = c.attr.s32SrcFrameRate > 0 ? c.attr.s32SrcFrameRate : 30;
        const auto period = std::chrono::microseconds((int64_t)(1e6 / rate));
        next += period;
        if (g_vi->cv.wait_until(lock, next, [&] { return c.stop; }))
            break;
        if (Clock::now() - next > std::chrono::milliseconds(200)) {
            // Fell far behind (a stopped debugger, a starved host): the
            // pictures of that time are lost rather than raced through.
            const uint32_t missed = (uint32_t)((Clock::now() - next) / period);
            c.lost += missed;
            c.drops.drop("vi", "chn " + std::to_string(n) + " loses pictures (capture fell behind)", missed);
            next = Clock::now();
        }

        // Frame-rate control: keep dst of every src pictures.
        seq++;
        int32_t src = c.attr.s32SrcFrameRate, dst = c.attr.s32DstFrameRate;
        if (src > 0 && dst > 0 && dst < src) {
            credit += dst;
            if (credit < src) {
                c.lost++;
                continue;
            }
            credit -= src;
        }

        uint32_t w = c.attr.u32DestWidth ? c.attr.u32DestWidth : c.attr.u32Width;
        uint32_t h = c.attr.u32DestHeight ? c.attr.u32DestHeight : c.attr.u32Height;
        uint32_t rotate = c.rotate;
        // A quarter turn exchanges the delivered picture's width and height.
        uint32_t out_w = quarter_turn(rotate) ? h : w, out_h = quarter_turn(rotate) ? w : h;
        if (!pool || pool->width() != out_w || pool->height() != out_h)
            pool = std::make_unique<PicturePool>(out_w, out_h, c.depth + kSpareBuffers);
        PicturePtr pic = pool->take(), shot = pic;
        if (pic && quarter_turn(rotate)) {
            if (!upright || upright->width() != w || upright->height() != h)
                upright = std::make_unique<PicturePool>(w, h, 1);
            shot = upright->take();
        }
        if (!pic || !shot) {
            c.vb_fail++;
            c.drops.drop("vi", "chn " + std::to_string(n) + " drops a picture (every buffer held)");
            continue;
        }
        Window win = channel_window(*g_vi, c);
        bool mirror = c.attr.bMirror, flip = c.attr.bFlip;
        if (rotate == kRotate180) { // half a turn is a mirror and a flip
            mirror = !mirror;
            flip = !flip;
        }
        lock.unlock();

        // Stamped with the instant the picture was due, not when this thread
        // got round to it, so a busy host doesn't make the rate jitter.
        auto late = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - next).count();
        pic->pts = platform_pts_us() - (uint64_t)std::max<int64_t>(0, late);
        pic->seq = seq;
        scene.render(*shot, win, pic->pts, world(), sensor_exposure_factor());
        mirror_flip(*shot, mirror, flip);
        if (shot != pic) {
            rotate_picture(*shot, *pic, rotate == kRotate90);
            shot.reset();
        }
        route(ChnAddr{DU_ID_VIU, 0, n}, pic);

        lock.lock();
        c.captured++;
        c.drops.pass();
        c.last = pic;
        if (c.depth) {
            c.ready.push_back(pic);
            while (c.ready.size() > c.depth)
                c.ready.pop_front();
            g_vi->cv.notify_all();
        }
        window_frames++;
        if (Clock::now() - window_start >= std::chrono::seconds(1)) {
            c.fps = window_frames;
            window_frames = 0;
            window_start = Clock::now();
        }
    }
    c.drops.flush();
}


uint32_t mean_luma(const Picture &p)
{
    uint64_t sum = 0, n = 0;
    for (uint32_t r = 0; r < p.height; r += 4)
        for (uint32_t c = 0; c < p.width; c += 4, n++)
            sum += p.y()[(size_t)r * p.stride + c];
    return n ? (uint32_t)(sum / n) : 0;
}

// What a VI request works on: the driver under its lock and the channel the
// descriptor is bound to (-1 for none).
struct ViCall {
    ViState &s;
    std::unique_lock<std::mutex> &lock;
    int n;
    ViChn &c() { return s.chn[n]; }
};

int vi_set_dev_attr(ViCall &k, void *arg)
{
    ViState &s = k.s;
    if (!get_user(s.dev, arg))
        return fail(EFAULT);
    s.dev_set = true;
    event("vi", "dev attr %ux%u at %d,%d", s.dev.u32Width, s.dev.u32Height, s.dev.s32X, s.dev.s32Y);
    return 0;
}

int vi_get_dev_attr(ViCall &k, void *arg)
{
    if (!k.s.dev_set)
        return mpi_status(DU_ID_VIU, ERR_NOT_CONFIG);
    return put_user(arg, k.s.dev) ? 0 : fail(EFAULT);
}

int vi_enable_dev(ViCall &k, void *)
{
    if (!k.s.dev_set)
        return mpi_status(DU_ID_VIU, ERR_NOT_CONFIG);
    k.s.dev_enabled = true;
    event("vi", "dev enable");
    return 0;
}

int vi_disable_dev(ViCall &k, void *)
{
    for (ViChn &ch : k.s.chn)
        if (ch.enabled)
            return ERR_VI_NOT_PERM;
    k.s.dev_enabled = false;
    event("vi", "dev disable");
    return 0;
}

// ---- fixed-pattern noise ----------------------------------------------------------------------

// A calibration captures the sensor's dark frame as with the lens capped (the
// column pattern at the gain of the moment) into a buffer of its own, and
// answers where it is and its mean level.
int vi_fpn_calibrate(ViCall &k, void *arg)
{
    VI_FPN_CALIBRATE_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (r.enFpnType > 1)
        return ERR_VI_INVALID_PARA;
    const std::vector<uint16_t> dark = picture::dark_row(sensor_gain());
    const uint32_t bytes = (uint32_t)(dark.size() * sizeof dark[0]);
    uint32_t &buf = k.s.fpn.dark_phys[r.enFpnType];
    if (buf)
        phys_free(buf);
    if (!(buf = phys_alloc(bytes)))
        return fail(ENOMEM);
    memcpy(phys(buf), dark.data(), bytes);
    double sum = 0;
    for (uint16_t v : dark)
        sum += v;
    VI_FPN_FRAME_INFO_S &f = r.stFrameInfo;
    f.u32Offset = (uint32_t)std::lround(sum / dark.size());
    f.u32Width = (uint32_t)dark.size();
    f.u32Height = 1;
    f.u32PhyAddr = buf;
    f.u32Stride = f.u32Size = bytes;
    event("vi", "fpn calibrate %s iso %u offset %u", r.enFpnType ? "line" : "frame", f.u32Iso, f.u32Offset);
    return put_user(arg, r) ? 0 : fail(EFAULT);
}

// A correction loads the dark frame its frame information names (one of the
// calibrations' buffers) and sets the video input's correction registers.
int vi_fpn_correct(ViCall &k, void *arg)
{
    VI_FPN_CORRECT_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    const VI_FPN_FRAME_INFO_S &f = r.stFrameInfo;
    if (r.enFpnType > 1 || r.bEnable > 1 || r.u32Strength > 1023 || f.u32Offset > 0xFFF)
        return ERR_VI_INVALID_PARA;
    if (r.bEnable) {
        const uint32_t bytes = f.u32Width * 2;
        if (!f.u32Width || f.u32Width > kSensorFieldWidth || !phys_in_alloc(f.u32PhyAddr, bytes))
            return ERR_VI_INVALID_PARA;
        std::vector<uint16_t> dark(f.u32Width);
        memcpy(dark.data(), phys(f.u32PhyAddr), bytes);
        picture::fpn_load(dark);
    }
    const uint32_t cfg = r.u32Strength << 16 | (f.u32Offset & 0xFFF);
    phys_write32(VI_FPN_CFG_REG(0), cfg);
    phys_write32(VI_FPN_CFG_REG(1), cfg);
    phys_write32(VI_FPN_CTRL_REG, r.bEnable ? VI_FPN_CTRL_ON : 0);
    k.s.fpn.correct = r;
    k.s.fpn.corrected = true;
    event("vi", "fpn correct %u strength %u offset %u", r.bEnable, r.u32Strength, f.u32Offset);
    return 0;
}

int vi_fpn_set(ViCall &k, void *arg)
{
    uint32_t head[2];
    if (!copy_from_user(head, arg, sizeof head))
        return fail(EFAULT);
    if (head[1] == VI_FPN_OP_CALIBRATE)
        return vi_fpn_calibrate(k, arg);
    if (head[1] == VI_FPN_OP_CORRECT)
        return vi_fpn_correct(k, arg);
    return ERR_VI_INVALID_PARA;
}

// The correction in force, with its enable and strength as the registers
// hold them now (the ISP's auto mode rewrites the strength).
int vi_fpn_get(ViCall &k, void *arg)
{
    if (!k.s.fpn.corrected)
        return mpi_status(DU_ID_VIU, ERR_NOT_CONFIG);
    VI_FPN_CORRECT_REQ_S r = k.s.fpn.correct;
    r.bEnable = phys_read32(VI_FPN_CTRL_REG) & VI_FPN_CTRL_ON;
    r.u32Strength = phys_read32(VI_FPN_CFG_REG(0)) >> 16;
    return put_user(arg, r) ? 0 : fail(EFAULT);
}

// Requests of the device, on any descriptor.
const IoctlOp<ViCall> kViDevOps[] = {
    {VI_SET_DEV_ATTR, vi_set_dev_attr},
    {VI_GET_DEV_ATTR, vi_get_dev_attr},
    {VI_ENABLE_DEV, vi_enable_dev},
    {VI_DISABLE_DEV, vi_disable_dev},
    {VI_FPN_SET, vi_fpn_set},
    {VI_FPN_GET, vi_fpn_get},
};

int vi_set_chn_attr(ViCall &k, void *arg)
{
    VI_CHN_ATTR_REC_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    uint32_t w = a.u32DestWidth ? a.u32DestWidth : a.u32Width;
    uint32_t h = a.u32DestHeight ? a.u32DestHeight : a.u32Height;
    if (w < 16 || h < 16 || w > 4096 || h > 4096 || (w & 1) || (h & 1))
        return ERR_VI_INVALID_PARA;
    k.c().attr = a;
    k.c().attr_set = true;
    event("vi", "chn %d attr %ux%u", k.n, w, h);
    return 0;
}

int vi_get_chn_attr(ViCall &k, void *arg)
{
    if (!k.c().attr_set)
        return mpi_status(DU_ID_VIU, ERR_NOT_CONFIG);
    return put_user(arg, k.c().attr) ? 0 : fail(EFAULT);
}

int vi_enable_chn(ViCall &k, void *)
{
    ViChn &c = k.c();
    if (!c.attr_set)
        return mpi_status(DU_ID_VIU, ERR_NOT_CONFIG);
    if (!k.s.dev_enabled)
        return ERR_VI_NOT_PERM;
    if (!c.enabled) {
        if (c.thread.joinable())
            stop_channel(k.lock, c);
        c.enabled = true;
        c.stop = false;
        c.thread = std::thread(capture_loop, k.n);
        event("vi", "chn %d enable", k.n);
    }
    return 0;
}

int vi_disable_chn(ViCall &k, void *)
{
    if (k.c().enabled) {
        stop_channel(k.lock, k.c());
        event("vi", "chn %d disable", k.n);
    }
    return 0;
}

int vi_get_frame(ViCall &k, void *arg)
{
    ViChn &c = k.c();
    VIDEO_FRAME_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (!c.enabled)
        return ERR_VI_NOT_PERM;
    if (!c.depth)
        return ERR_VI_BUF_EMPTY;
    wait_ms(k.s.cv, k.lock, r.s32MilliSec, [&] { return !c.ready.empty() || !c.enabled || c.stop; });
    if (c.ready.empty())
        return ERR_VI_BUF_EMPTY;
    PicturePtr p = c.ready.front();
    fill_frame(r.stFrame, *p);
    if (!put_user(arg, r))
        return fail(EFAULT);
    c.ready.pop_front();
    c.held[p->phys] = p;
    return 0;
}

int vi_query(ViCall &k, void *arg)
{
    ViChn &c = k.c();
    VI_CHN_STAT_S st{};
    st.bEnable = c.enabled;
    st.u32IntCnt = c.captured;
    st.u32FrmRate = c.fps;
    st.u32LostInt = c.lost;
    st.u32VbFail = c.vb_fail;
    st.u32PicWidth = c.attr.u32DestWidth;
    st.u32PicHeight = c.attr.u32DestHeight;
    return put_user(arg, st) ? 0 : fail(EFAULT);
}

int vi_get_chn_luma(ViCall &k, void *arg)
{
    ViChn &c = k.c();
    if (!c.last)
        return ERR_VI_BUF_EMPTY;
    VI_CHN_LUMA_REC_S l{};
    l.u32Lum = mean_luma(*c.last);
    l.u64Pts = c.last->pts;
    return put_user(arg, l) ? 0 : fail(EFAULT);
}

int vi_set_rotate(ViCall &k, void *arg)
{
    uint32_t r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (r > 3)
        return ERR_VI_INVALID_PARA;
    k.c().rotate = r;
    return 0;
}

// The scene reaches VI already processed: no raw pictures, and no picture
// but the scene's.
int vi_not_supported(ViCall &, void *) { return ERR_VI_NOT_SUPPORT; }

// Pictures are always signalled through the descriptor.
int vi_chn_int(ViCall &, void *) { return 0; }

// Requests of the descriptor's channel.
const IoctlOp<ViCall> kViChnOps[] = {
    {VI_SET_CHN_ATTR, vi_set_chn_attr},
    {VI_GET_CHN_ATTR, vi_get_chn_attr},
    {VI_ENABLE_CHN, vi_enable_chn},
    {VI_DISABLE_CHN, vi_disable_chn},
    {VI_ENABLE_CHN_INT, vi_chn_int},
    {VI_DISABLE_CHN_INT, vi_chn_int},
    {VI_UNBIND_CHN,
     [](ViCall &k, void *) {
         k.c().store.erase(VI_BIND_CHN);
         return 0;
     }},
    {VI_SET_FRAME_DEPTH,
     [](ViCall &k, void *arg) { return set_depth(k.c().depth, k.c().ready, arg, kMaxDepth, ERR_VI_INVALID_PARA); }},
    {VI_GET_FRAME_DEPTH, [](ViCall &k, void *arg) { return put_user(arg, k.c().depth) ? 0 : fail(EFAULT); }},
    {VI_GET_FRAME, vi_get_frame},
    {VI_RELEASE_FRAME, [](ViCall &k, void *arg) { return release_picture(k.c().held, arg, ERR_VI_INVALID_PARA); }},
    {VI_QUERY, vi_query},
    {VI_GET_CHN_LUMA, vi_get_chn_luma},
    {VI_SET_ROTATE, vi_set_rotate},
    {VI_GET_ROTATE, [](ViCall &k, void *arg) { return put_user(arg, k.c().rotate) ? 0 : fail(EFAULT); }},
    {VI_ENABLE_BAYER_DUMP, vi_not_supported},
    {VI_DISABLE_BAYER_DUMP, vi_not_supported},
    {VI_ENABLE_BAYER_READ, vi_not_supported},
    {VI_DISABLE_BAYER_READ, vi_not_supported},
    {VI_SEND_BAYER_DATA, vi_not_supported},
    {VI_ENABLE_USER_PIC, vi_not_supported},
    {VI_DISABLE_USER_PIC, vi_not_supported},
};

class ViFile : public Device {
public:
    int ioctl(unsigned long req, void *arg) override
    {
        if (req == VI_BIND_FD) {
            uint32_t n;
            if (!get_user(n, arg))
                return fail(EFAULT);
            if (n >= (uint32_t)VIU_MAX_FRM_CHN_NUM)
                return fail(EINVAL);
            bound_ = (int)n;
            return 0;
        }
        if (!g_vi)
            return fail(ENODEV);
        std::unique_lock<std::mutex> lock(g_vi->lock);
        ViCall call{*g_vi, lock, bound_};
        if (const IoctlOp<ViCall> *op = find_ioctl(kViDevOps, req))
            return op->handler(call, arg);
        if (bound_ < 0)
            return fail(EBADF);
        if (const IoctlOp<ViCall> *op = find_ioctl(kViChnOps, req))
            return op->handler(call, arg);
        // The records the driver keeps as given.
        auto store_of = [&](const VI_STORED_REQ_S &e) -> RecordStore & { return e.chn ? call.c().store : g_vi->store; };
        return stored_request(VI_STORED_REQS, store_of, req, arg, mpi_status(DU_ID_VIU, ERR_NOT_CONFIG));
    }

private:
    int bound_ = -1;
};

DeviceRegistration vi_device("/dev/vi", [](int) { return std::make_shared<ViFile>(); });

} // namespace
