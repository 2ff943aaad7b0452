// /dev/vo: the video output driver. Device 0 is the TV output; its video
// layer 0 shows the layer's enabled channels at the layer's display rate: at
// every display tick each channel takes the newest picture its bound source
// (or SendFrame) gave it, or shows its last one again, and counts the frame. At most once a second the layer's
// picture is written to $BOARD_ROOT/tv.png, so a person can look at the TV.
// Everything is brought up device, layer, channel and taken down in reverse:
// the driver refuses to disable what still has something enabled on it.
#include "board/sim/sim.h"
#include "board/sim/video/video.h"
#include "mpi/video/vo/vo_requests.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace {

using namespace sim;
using namespace sim::video;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kDefaultBufLen = 4;
constexpr uint32_t kMinBufLen = 3, kMaxBufLen = 15;
constexpr auto kPngPeriod = std::chrono::seconds(1);

struct VoChn {
    VO_CHN_ATTR_REC_S attr{};
    bool attr_set = false, enabled = false, paused = false, step = false, hidden = false;
    PicturePtr pending, shown;           // the newest picture given, the one on screen
    std::map<uint32_t, PicturePtr> held; // got by the caller, by luma address
    std::unique_ptr<PicturePool> send_pool;
    RecordStore store;
    uint64_t frames = 0;                 // frames displayed since the board started
};

struct VoState {
    std::mutex lock;
    std::condition_variable cv;
    VO_PUB_ATTR_REC_S pub{};
    bool pub_set = false, dev_enabled = false;
    VO_LAYER_ATTR_REC_S layer{};
    bool layer_set = false, layer_enabled = false;
    uint32_t buf_len = kDefaultBufLen;
    RecordStore store;
    VoChn chn[VO_MAX_CHN_NUM];
    std::map<uint32_t, PicturePtr> screen_held;
    // The display and the tv.png writer run while the layer is enabled.
    std::thread display, writer;
    bool stop = false;
    PicturePtr png_job;
};

// Made once and reset in place when the board restarts, so that a picture
// still on its way from a stopping producer never meets freed state.
VoState *g_vo = nullptr;

// ---- the layer's picture ---------------------------------------------------------------------

struct Placed {
    PicturePtr pic;
    VO_RECT_S rect;
};

// The channels on screen, lowest priority first (drawn first, so under).
std::vector<Placed> on_screen(const VoState &s)
{
    std::vector<std::pair<uint32_t, int>> order;
    for (int n = 0; n < VO_MAX_CHN_NUM; n++)
        if (s.chn[n].enabled && !s.chn[n].hidden && s.chn[n].shown)
            order.push_back({s.chn[n].attr.u32Priority, n});
    std::sort(order.begin(), order.end());
    std::vector<Placed> out;
    for (auto &o : order)
        out.push_back({s.chn[o.second].shown, s.chn[o.second].attr.stRect});
    return out;
}

// Draws the background colour, then each channel's picture scaled into its
// rectangle (clipped to the layer, on even coordinates for the chroma).
class Compositor {
public:
    ~Compositor() { sws_freeContext(ctx_); }

    void draw(Picture &dst, uint32_t bg_rgb, const std::vector<Placed> &chns)
    {
        int r = (bg_rgb >> 16) & 0xff, g = (bg_rgb >> 8) & 0xff, b = bg_rgb & 0xff;
        uint8_t y = (uint8_t)(16 + ((66 * r + 129 * g + 25 * b + 128) >> 8));
        uint8_t u = (uint8_t)(128 + ((-38 * r - 74 * g + 112 * b + 128) >> 8));
        uint8_t v = (uint8_t)(128 + ((112 * r - 94 * g - 18 * b + 128) >> 8));
        for (uint32_t row = 0; row < dst.height; row++)
            memset(dst.y() + (size_t)row * dst.stride, y, dst.width);
        for (uint32_t row = 0; row < dst.height / 2; row++) {
            uint8_t *vu = dst.vu() + (size_t)row * dst.stride;
            for (uint32_t c = 0; c + 1 < dst.width; c += 2) {
                vu[c] = v;
                vu[c + 1] = u;
            }
        }
        for (const Placed &p : chns)
            place(dst, *p.pic, p.rect);
    }

private:
    void place(Picture &dst, const Picture &src, const VO_RECT_S &rect)
    {
        int64_t x0 = std::clamp<int64_t>(rect.s32X, 0, dst.width) & ~1;
        int64_t y0 = std::clamp<int64_t>(rect.s32Y, 0, dst.height) & ~1;
        int64_t x1 = std::clamp<int64_t>((int64_t)rect.s32X + rect.u32Width, 0, dst.width) & ~1;
        int64_t y1 = std::clamp<int64_t>((int64_t)rect.s32Y + rect.u32Height, 0, dst.height) & ~1;
        if (x1 - x0 < 2 || y1 - y0 < 2)
            return;
        int w = (int)(x1 - x0), h = (int)(y1 - y0);
        uint8_t *out[4] = {dst.y() + y0 * dst.stride + x0, dst.vu() + y0 / 2 * dst.stride + x0, nullptr, nullptr};
        int out_stride[4] = {(int)dst.stride, (int)dst.stride, 0, 0};
        if ((uint32_t)w == src.width && (uint32_t)h == src.height) {
            for (int row = 0; row < h; row++)
                memcpy(out[0] + (size_t)row * dst.stride, src.y() + (size_t)row * src.stride, w);
            for (int row = 0; row < h / 2; row++)
                memcpy(out[1] + (size_t)row * dst.stride, src.vu() + (size_t)row * src.stride, w);
            return;
        }
        ctx_ = sws_getCachedContext(ctx_, (int)src.width, (int)src.height, AV_PIX_FMT_NV21, w, h, AV_PIX_FMT_NV21,
                                    SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
        if (!ctx_)
            return;
        const uint8_t *in[4] = {src.y(), src.vu(), nullptr, nullptr};
        int in_stride[4] = {(int)src.stride, (int)src.stride, 0, 0};
        sws_scale(ctx_, in, in_stride, 0, (int)src.height, out, out_stride);
    }

    SwsContext *ctx_ = nullptr;
};

// Encodes an NV21 picture as PNG into `path`, through a temporary file so
// that a reader never sees half a picture.
bool write_png(const Picture &pic, const std::string &path)
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!codec)
        return false;
    AVCodecContext *ctx = avcodec_alloc_context3(codec);
    AVFrame *frame = av_frame_alloc();
    AVPacket *pkt = av_packet_alloc();
    SwsContext *sws = nullptr;
    bool ok = false;
    if (ctx && frame && pkt) {
        ctx->width = (int)pic.width;
        ctx->height = (int)pic.height;
        ctx->pix_fmt = AV_PIX_FMT_RGB24;
        ctx->time_base = {1, 25};
        frame->format = AV_PIX_FMT_RGB24;
        frame->width = ctx->width;
        frame->height = ctx->height;
        sws = sws_getContext(ctx->width, ctx->height, AV_PIX_FMT_NV21, ctx->width, ctx->height, AV_PIX_FMT_RGB24,
                             SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (sws && avcodec_open2(ctx, codec, nullptr) == 0 && av_frame_get_buffer(frame, 0) == 0) {
            const uint8_t *in[4] = {pic.y(), pic.vu(), nullptr, nullptr};
            int in_stride[4] = {(int)pic.stride, (int)pic.stride, 0, 0};
            sws_scale(sws, in, in_stride, 0, ctx->height, frame->data, frame->linesize);
            ok = avcodec_send_frame(ctx, frame) == 0 && avcodec_receive_packet(ctx, pkt) == 0;
        }
    }
    if (ok) {
        std::string tmp = path + ".tmp";
        FILE *f = fopen(tmp.c_str(), "wb");
        ok = f && fwrite(pkt->data, 1, pkt->size, f) == (size_t)pkt->size;
        if (f)
            ok = fclose(f) == 0 && ok;
        ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
    }
    sws_freeContext(sws);
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return ok;
}

// ---- the display ---------------------------------------------------------------------------------

void display_loop()
{
    VoState &s = *g_vo;
    Compositor compositor;
    std::unique_ptr<PicturePool> screen_pool;
    Clock::time_point next = Clock::now(), last_png = next - kPngPeriod;
    std::unique_lock<std::mutex> lock(s.lock);
    while (!s.stop) {
        next += std::chrono::microseconds(1000000 / std::max(1u, s.layer.u32DispFrmRt));
        if (s.cv.wait_until(lock, next, [&] { return s.stop; }))
            break;
        Clock::time_point now = Clock::now();
        if (now - next > std::chrono::milliseconds(200))
            next = now; // fell far behind (a stopped debugger): don't race to catch up

        for (VoChn &c : s.chn) {
            if (!c.enabled)
                continue;
            if (c.pending && (!c.paused || c.step)) {
                c.shown = std::move(c.pending);
                c.pending.reset();
                c.step = false;
            }
            if (c.shown)
                c.frames++; // a display shows a frame every tick, a late source or not
        }
        s.cv.notify_all();

        if (now - last_png < kPngPeriod || s.png_job)
            continue;
        std::vector<Placed> chns = on_screen(s);
        if (chns.empty())
            continue;
        uint32_t w = s.layer.u32ImageWidth & ~1u, h = s.layer.u32ImageHeight & ~1u, bg = s.pub.u32BgColor;
        if (!screen_pool || screen_pool->width() != w || screen_pool->height() != h)
            screen_pool = std::make_unique<PicturePool>(w, h, 2);
        PicturePtr screen = screen_pool->take();
        if (!screen)
            continue;
        lock.unlock();
        compositor.draw(*screen, bg, chns);
        chns.clear();
        lock.lock();
        s.png_job = std::move(screen);
        last_png = now;
        s.cv.notify_all();
    }
}

void writer_loop()
{
    VoState &s = *g_vo;
    std::string path = sim::root() + "/tv.png";
    std::unique_lock<std::mutex> lock(s.lock);
    while (true) {
        s.cv.wait(lock, [&] { return s.stop || s.png_job; });
        if (!s.png_job)
            break;
        PicturePtr job = std::move(s.png_job);
        s.png_job.reset();
        lock.unlock();
        if (write_png(*job, path))
            event("vo", "tv.png %ux%u", job->width, job->height);
        else
            event("vo", "tv.png not written");
        job.reset();
        lock.lock();
    }
}

void stop_display(std::unique_lock<std::mutex> &lock, VoState &s)
{
    s.stop = true;
    s.cv.notify_all();
    join_unlocked(lock, s.display);
    s.png_job.reset(); // a picture not yet written stays unwritten
    join_unlocked(lock, s.writer);
    s.stop = false;
}

// Back to an output nobody has set up; waiters see their channel go.
void reset(std::unique_lock<std::mutex> &lock, VoState &s)
{
    stop_display(lock, s);
    s.pub = {};
    s.pub_set = s.dev_enabled = false;
    s.layer = {};
    s.layer_set = s.layer_enabled = false;
    s.buf_len = kDefaultBufLen;
    s.store.clear();
    for (VoChn &c : s.chn)
        c = VoChn();
    s.screen_held.clear();
    s.cv.notify_all();
}

Hooks vo_hooks(
    [] {
        if (!g_vo)
            g_vo = new VoState;
    },
    [] {
        if (!g_vo)
            return;
        std::unique_lock<std::mutex> lock(g_vo->lock);
        reset(lock, *g_vo);
    });

// Pictures of a bound source wait for the next display tick; a newer one
// replaces the one waiting.
SinkRegistration vo_sink(DU_ID_VOU, [](const ChnAddr &dst, const PicturePtr &pic) {
    if (!g_vo || dst.dev != 0 || dst.chn < 0 || dst.chn >= VO_MAX_CHN_NUM)
        return;
    std::lock_guard<std::mutex> lock(g_vo->lock);
    VoChn &c = g_vo->chn[dst.chn];
    if (c.enabled)
        c.pending = pic;
});

bool rect_in(const VO_RECT_S &r, uint32_t w, uint32_t h)
{
    return r.s32X >= 0 && r.s32Y >= 0 && r.u32Width >= 2 && r.u32Height >= 2 &&
           (uint64_t)r.s32X + r.u32Width <= w && (uint64_t)r.s32Y + r.u32Height <= h;
}

// What a VO request works on: the driver under its lock, the descriptor's
// channel, and the descriptor's own screen pictures.
struct VoCall {
    std::unique_lock<std::mutex> &lock;
    VoState &s;
    VoChn &c;
    int n; // the channel's number
    std::unique_ptr<PicturePool> &screen_pool;
    Compositor &compositor;
};

int vo_set_pub_attr(VoCall &k, void *arg)
{
    VoState &s = k.s;
    VO_PUB_ATTR_REC_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    if (s.dev_enabled)
        return ERR_VO_NOT_PERM;
    if (a.enIntfType != VO_INTF_CVBS)
        return ERR_VO_NOT_SUPPORT; // the camera has a composite output only
    if ((a.enIntfSync != VO_OUTPUT_PAL && a.enIntfSync != VO_OUTPUT_NTSC) || a.u32BgColor > 0xFFFFFF)
        return ERR_VO_ILLEGAL_PARAM;
    s.pub = a;
    s.pub_set = true;
    return 0;
}

int vo_get_pub_attr(VoCall &k, void *arg)
{
    if (!k.s.pub_set)
        return ERR_VO_NOT_CONFIG;
    return put_user(arg, k.s.pub) ? 0 : fail(EFAULT);
}

int vo_enable(VoCall &k, void *)
{
    VoState &s = k.s;
    if (!s.pub_set)
        return ERR_VO_NOT_CONFIG;
    if (!s.dev_enabled)
        event("vo", "dev 0 enable %s", s.pub.enIntfSync == VO_OUTPUT_PAL ? "pal" : "ntsc");
    s.dev_enabled = true;
    return 0;
}

int vo_disable(VoCall &k, void *)
{
    VoState &s = k.s;
    if (s.layer_enabled)
        return ERR_VO_NOT_PERM;
    if (s.dev_enabled)
        event("vo", "dev 0 disable");
    s.dev_enabled = false;
    return 0;
}

int vo_set_layer_attr(VoCall &k, void *arg)
{
    VoState &s = k.s;
    VO_LAYER_ATTR_REC_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    if (s.layer_enabled)
        return ERR_VO_NOT_PERM;
    if (a.u32ImageWidth < 16 || a.u32ImageHeight < 16 || a.u32ImageWidth > 1920 || a.u32ImageHeight > 1080 ||
        !a.stDispRect.u32Width || !a.stDispRect.u32Height || a.u32DispFrmRt == 0 || a.u32DispFrmRt > 240 ||
        a.enPixFormat != PIXEL_FORMAT_YUV_SEMIPLANAR_420)
        return ERR_VO_ILLEGAL_PARAM;
    s.layer = a;
    s.layer_set = true;
    return 0;
}

int vo_get_layer_attr(VoCall &k, void *arg)
{
    if (!k.s.layer_set)
        return ERR_VO_NOT_CONFIG;
    return put_user(arg, k.s.layer) ? 0 : fail(EFAULT);
}

int vo_enable_layer(VoCall &k, void *)
{
    VoState &s = k.s;
    if (!s.layer_set)
        return ERR_VO_NOT_CONFIG;
    if (!s.dev_enabled)
        return ERR_VO_NOT_PERM;
    if (!s.layer_enabled) {
        s.layer_enabled = true;
        s.stop = false;
        s.display = std::thread(display_loop);
        s.writer = std::thread(writer_loop);
        event("vo", "layer 0 enable %ux%u at %u fps", s.layer.u32ImageWidth, s.layer.u32ImageHeight,
              s.layer.u32DispFrmRt);
    }
    return 0;
}

int vo_disable_layer(VoCall &k, void *)
{
    VoState &s = k.s;
    for (const VoChn &c : s.chn)
        if (c.enabled)
            return ERR_VO_NOT_PERM;
    if (s.layer_enabled) {
        stop_display(k.lock, s);
        s.layer_enabled = false;
        event("vo", "layer 0 disable");
    }
    return 0;
}

int vo_set_disp_buf_len(VoCall &k, void *arg)
{
    uint32_t n;
    if (!get_user(n, arg))
        return fail(EFAULT);
    if (k.s.layer_enabled)
        return ERR_VO_NOT_PERM;
    if (n < kMinBufLen || n > kMaxBufLen)
        return ERR_VO_ILLEGAL_PARAM;
    k.s.buf_len = n;
    return 0;
}

// The layer's picture as the screen shows it now.
int vo_get_screen_frame(VoCall &k, void *arg)
{
    VoState &s = k.s;
    VIDEO_FRAME_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (!s.layer_enabled)
        return ERR_VO_NOT_PERM;
    if (!wait_ms(s.cv, k.lock, r.s32MilliSec, [&] { return !on_screen(s).empty() || !s.layer_enabled; }))
        return ERR_VO_BUF_EMPTY;
    std::vector<Placed> chns = on_screen(s);
    if (chns.empty())
        return ERR_VO_BUF_EMPTY;
    uint32_t w = s.layer.u32ImageWidth & ~1u, h = s.layer.u32ImageHeight & ~1u;
    if (!k.screen_pool || k.screen_pool->width() != w || k.screen_pool->height() != h)
        k.screen_pool = std::make_unique<PicturePool>(w, h, 2);
    PicturePtr screen = k.screen_pool->take();
    if (!screen)
        return mpi_status(DU_ID_VOU, ERR_NOBUF);
    k.compositor.draw(*screen, s.pub.u32BgColor, chns);
    screen->pts = chns.back().pic->pts;
    fill_frame(r.stFrame, *screen);
    if (!put_user(arg, r))
        return fail(EFAULT);
    s.screen_held[screen->phys] = screen;
    return 0;
}

// Attributes take effect at once: there is nothing to batch.
int vo_attr_batch(VoCall &, void *) { return 0; }

// Requests of the device and its layer, on any descriptor.
const IoctlOp<VoCall> kVoDevOps[] = {
    {VO_SET_PUB_ATTR, vo_set_pub_attr},
    {VO_GET_PUB_ATTR, vo_get_pub_attr},
    {VO_ENABLE, vo_enable},
    {VO_DISABLE, vo_disable},
    {VO_SET_LAYER_ATTR, vo_set_layer_attr},
    {VO_GET_LAYER_ATTR, vo_get_layer_attr},
    {VO_ENABLE_LAYER, vo_enable_layer},
    {VO_DISABLE_LAYER, vo_disable_layer},
    {VO_SET_DISP_BUF_LEN, vo_set_disp_buf_len},
    {VO_GET_DISP_BUF_LEN, [](VoCall &k, void *arg) { return put_user(arg, k.s.buf_len) ? 0 : fail(EFAULT); }},
    {VO_SET_ATTR_BEGIN, vo_attr_batch},
    {VO_SET_ATTR_END, vo_attr_batch},
    {VO_GET_SCREEN_FRAME, vo_get_screen_frame},
    {VO_RELEASE_SCREEN_FRAME,
     [](VoCall &k, void *arg) { return release_picture(k.s.screen_held, arg, ERR_VO_ILLEGAL_PARAM); }},
};

int vo_set_chn_attr(VoCall &k, void *arg)
{
    VoState &s = k.s;
    VO_CHN_ATTR_REC_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    if (!s.layer_set)
        return ERR_VO_NOT_CONFIG;
    if (!rect_in(a.stRect, s.layer.u32ImageWidth, s.layer.u32ImageHeight))
        return ERR_VO_ILLEGAL_PARAM;
    k.c.attr = a;
    k.c.attr_set = true;
    return 0;
}

int vo_get_chn_attr(VoCall &k, void *arg)
{
    if (!k.c.attr_set)
        return ERR_VO_NOT_CONFIG;
    return put_user(arg, k.c.attr) ? 0 : fail(EFAULT);
}

int vo_enable_chn(VoCall &k, void *)
{
    VoChn &c = k.c;
    if (!c.attr_set)
        return ERR_VO_NOT_CONFIG;
    if (!k.s.layer_enabled)
        return ERR_VO_NOT_PERM;
    if (!c.enabled)
        event("vo", "chn %d enable %ux%u", k.n, c.attr.stRect.u32Width, c.attr.stRect.u32Height);
    c.enabled = true;
    return 0;
}

int vo_disable_chn(VoCall &k, void *)
{
    VoChn &c = k.c;
    if (c.enabled)
        event("vo", "chn %d disable after %llu frames", k.n, (unsigned long long)c.frames);
    c.enabled = c.paused = c.step = false;
    c.pending.reset();
    c.shown.reset();
    k.s.cv.notify_all();
    return 0;
}

// The playing controls of an enabled channel: `change` sets what the request
// changes. A refresh shows the current picture again: the screen always does.
int vo_playing(VoCall &k, void (*change)(VoChn &c))
{
    if (!k.c.enabled)
        return ERR_VO_NOT_PERM;
    change(k.c);
    return 0;
}

int vo_clear_chn_buffer(VoCall &k, void *arg)
{
    uint32_t all;
    if (!get_user(all, arg))
        return fail(EFAULT);
    k.c.pending.reset();
    if (all)
        k.c.shown.reset();
    return 0;
}

int vo_get_chn_pts(VoCall &k, void *arg)
{
    if (!k.c.shown)
        return ERR_VO_BUF_EMPTY;
    return put_user(arg, (uint64_t)k.c.shown->pts) ? 0 : fail(EFAULT);
}

int vo_send_frame(VoCall &k, void *arg)
{
    VoChn &c = k.c;
    VIDEO_FRAME_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (!c.enabled)
        return ERR_VO_NOT_PERM;
    int why;
    PicturePtr pic = picture_from_frame(c.send_pool, 3, r.stFrame, &why);
    if (!pic)
        return why ? ERR_VO_ILLEGAL_PARAM : mpi_status(DU_ID_VOU, ERR_NOBUF);
    c.pending = pic;
    return 0;
}

// Waits as the caller allows for the channel to show a picture.
bool vo_wait_shown(VoCall &k, int32_t ms)
{
    VoChn &c = k.c;
    return wait_ms(k.s.cv, k.lock, ms, [&] { return c.shown != nullptr || !c.enabled; }) && c.shown;
}

int vo_get_chn_frame(VoCall &k, void *arg)
{
    VoChn &c = k.c;
    VIDEO_FRAME_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (!c.enabled)
        return ERR_VO_NOT_PERM;
    if (!vo_wait_shown(k, r.s32MilliSec))
        return ERR_VO_BUF_EMPTY;
    fill_frame(r.stFrame, *c.shown);
    if (!put_user(arg, r))
        return fail(EFAULT);
    c.held[c.shown->phys] = c.shown;
    return 0;
}

int vo_get_chn_region_luma(VoCall &k, void *arg)
{
    VO_REGION_LUMA_REQ_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    std::vector<VPSS_RECT_S> rects;
    if (int ret = read_regions(r.stRegionInfo, rects))
        return ret == 1 ? ERR_VO_ILLEGAL_PARAM : ret;
    if (!k.c.enabled)
        return ERR_VO_NOT_PERM;
    if (!vo_wait_shown(k, r.s32MilliSec))
        return ERR_VO_BUF_EMPTY;
    return put_region_means(*k.c.shown, rects, r.pu32LumaData);
}

// Requests of the descriptor's channel.
const IoctlOp<VoCall> kVoChnOps[] = {
    {VO_SET_CHN_ATTR, vo_set_chn_attr},
    {VO_GET_CHN_ATTR, vo_get_chn_attr},
    {VO_ENABLE_CHN, vo_enable_chn},
    {VO_DISABLE_CHN, vo_disable_chn},
    {VO_PAUSE_CHN, [](VoCall &k, void *) { return vo_playing(k, [](VoChn &c) { c.paused = true; }); }},
    {VO_RESUME_CHN, [](VoCall &k, void *) { return vo_playing(k, [](VoChn &c) { c.paused = false; }); }},
    // One more picture while paused.
    {VO_STEP_CHN, [](VoCall &k, void *) { return vo_playing(k, [](VoChn &c) { c.step = c.paused; }); }},
    {VO_REFRESH_CHN, [](VoCall &k, void *) { return vo_playing(k, [](VoChn &) {}); }},
    {VO_SHOW_CHN, [](VoCall &k, void *) { return vo_playing(k, [](VoChn &c) { c.hidden = false; }); }},
    {VO_HIDE_CHN, [](VoCall &k, void *) { return vo_playing(k, [](VoChn &c) { c.hidden = true; }); }},
    {VO_CLEAR_CHN_BUFFER, vo_clear_chn_buffer},
    {VO_QUERY_CHN_STAT,
     [](VoCall &k, void *arg) { return put_user(arg, (uint32_t)(k.c.pending ? 1 : 0)) ? 0 : fail(EFAULT); }},
    {VO_GET_CHN_PTS, vo_get_chn_pts},
    {VO_SEND_FRAME, vo_send_frame},
    {VO_GET_CHN_FRAME, vo_get_chn_frame},
    {VO_RELEASE_CHN_FRAME, [](VoCall &k, void *arg) { return release_picture(k.c.held, arg, ERR_VO_ILLEGAL_PARAM); }},
    {VO_GET_CHN_REGION_LUMA, vo_get_chn_region_luma},
};

class VoFile : public Device {
public:
    int ioctl(unsigned long req, void *arg) override
    {
        if (req == VO_BIND_FD) {
            uint32_t n;
            if (!get_user(n, arg))
                return fail(EFAULT);
            if (n >= (uint32_t)VO_MAX_CHN_NUM)
                return fail(EINVAL);
            chn_ = (int)n;
            return 0;
        }
        if (!g_vo)
            return fail(ENODEV);
        if (chn_ < 0)
            return fail(EBADF);
        std::unique_lock<std::mutex> lock(g_vo->lock);
        VoCall call{lock, *g_vo, g_vo->chn[chn_], chn_, screen_pool_, compositor_};
        if (const IoctlOp<VoCall> *op = find_ioctl(kVoDevOps, req))
            return op->handler(call, arg);
        if (const IoctlOp<VoCall> *op = find_ioctl(kVoChnOps, req))
            return op->handler(call, arg);
        // The records the driver keeps as given.
        auto store_of = [&](const VO_STORED_REQ_S &e) -> RecordStore & { return e.chn ? call.c.store : call.s.store; };
        return stored_request(VO_STORED_REQS, store_of, req, arg);
    }

private:
    int chn_ = -1;
    std::unique_ptr<PicturePool> screen_pool_;
    Compositor compositor_;
};

DeviceRegistration vo_device("/dev/vo", [](int) { return std::make_shared<VoFile>(); });

} // namespace

namespace sim {

uint64_t vo_frames(int chn)
{
    ensure_started();
    if (!g_vo || chn < 0 || chn >= VO_MAX_CHN_NUM)
        return 0;
    std::lock_guard<std::mutex> lock(g_vo->lock);
    return g_vo->chn[chn].frames;
}

} // namespace sim
