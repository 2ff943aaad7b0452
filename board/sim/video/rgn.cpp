// /dev/rgn: the overlay region driver. An overlay region owns two ARGB1555
// canvases in DDR: the caller draws into the one GetCanvasInfo hands out
// while the other is shown, and UpdateCanvas swaps them. The shown canvas is
// blended into every picture of the channels the region is attached to (an
// encoder channel's input, a processing channel's output), so what is drawn
// is in the recording and on the screen.
#include "board/sim/sim.h"
#include "board/sim/video/video.h"
#include "mpi/video/rgn/rgn_requests.h"
#include "mpi/video/venc/venc_requests.h"
#include "mpi/video/vpss/vpss_requests.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <vector>

namespace {

using namespace sim;
using namespace sim::video;

constexpr uint32_t kMaxSide = 4096;
constexpr uint32_t kMaxAlpha = 128;
constexpr uint32_t kMaxLayer = 7;

struct Attachment {
    ChnAddr chn;
    RGN_CHN_ATTR_REC_S attr;
};

struct Region {
    RGN_ATTR_REC_S attr{};
    uint32_t stride = 0, size = 0;
    uint32_t canvas[2] = {0, 0};
    int shown = -1;   // canvas on the pictures
    int drawing = -1; // canvas handed out for drawing, not shown yet
    uint32_t field = 0;
    std::vector<Attachment> att;

    int back() const { return shown == 0 ? 1 : 0; }
    uint16_t *pixels(int i) const { return reinterpret_cast<uint16_t *>(phys(canvas[i])); }
};

struct RgnState {
    std::mutex lock;
    std::map<uint32_t, Region> regions;
};

RgnState *g_rgn = nullptr;

void free_canvases(Region &r)
{
    for (uint32_t &c : r.canvas) {
        if (c)
            phys_free(c);
        c = 0;
    }
    r.shown = r.drawing = -1;
}

Hooks rgn_hooks([] { g_rgn = new RgnState; },
                [] {
                    if (!g_rgn)
                        return;
                    for (auto &e : g_rgn->regions)
                        free_canvases(e.second);
                    delete g_rgn;
                    g_rgn = nullptr;
                });

bool is_overlay(uint32_t type) { return type == OVERLAY_RGN || type == OVERLAYEX_RGN; }

int check_attr(const RGN_ATTR_REC_S &a)
{
    if (!is_overlay(a.enType))
        return DU_ERR_RGN_NOT_SUPPORT; // covers are not drawn on this board
    if (a.enPixelFmt != PIXEL_FORMAT_RGB_1555)
        return DU_ERR_RGN_NOT_SUPPORT;
    uint32_t w = a.stSize.u32Width, h = a.stSize.u32Height;
    if (w < 2 || h < 2 || w > kMaxSide || h > kMaxSide || (w & 1) || (h & 1))
        return DU_ERR_RGN_ILLEGAL_PARAM;
    return 0;
}

// Two zeroed (transparent) canvases of the region's size.
int make_canvases(Region &r)
{
    r.stride = (r.attr.stSize.u32Width * 2 + 15) & ~15u;
    r.size = r.stride * r.attr.stSize.u32Height;
    for (uint32_t &c : r.canvas)
        if (!(c = phys_alloc(r.size))) {
            free_canvases(r);
            return DU_ERR_RGN_NOMEM;
        }
    r.shown = r.drawing = -1;
    return 0;
}

// Encoder overlays sit on encoder channels, the others on processing channels.
bool chn_fits(uint32_t type, const MPP_CHN_ADDR_S &c)
{
    if (type == OVERLAY_RGN)
        return c.enModId == DU_ID_VENC && c.s32Dev == 0 && c.s32Chn >= 0 && c.s32Chn < (s32)VENC_MAX_CHN_NUM;
    return c.enModId == DU_ID_VPSS && c.s32Dev >= 0 && c.s32Dev < VPSS_MAX_GRP_NUM && c.s32Chn >= 0 &&
           c.s32Chn < VPSS_MAX_CHN_NUM;
}

int check_chn_attr(const Region &r, const RGN_CHN_ATTR_REC_S &a)
{
    if (a.enType != r.attr.enType || a.u32FgAlpha > kMaxAlpha || a.u32BgAlpha > kMaxAlpha ||
        a.u32Layer > kMaxLayer || a.s32X < 0 || a.s32Y < 0 || (a.s32X & 1) || (a.s32Y & 1) ||
        a.s32X > (s32)kMaxSide || a.s32Y > (s32)kMaxSide)
        return DU_ERR_RGN_ILLEGAL_PARAM;
    return 0;
}

Attachment *find_attachment(Region &r, const ChnAddr &chn)
{
    for (Attachment &a : r.att)
        if (a.chn == chn)
            return &a;
    return nullptr;
}

ChnAddr chn_of(const MPP_CHN_ADDR_S &c) { return ChnAddr{c.enModId, c.s32Dev, c.s32Chn}; }

// Copies a caller's ARGB1555 bitmap into canvas `to` at (x, y), clipped to it.
bool draw_bitmap(Region &r, int to, int32_t x, int32_t y, const BITMAP_S &b, uint32_t src_stride)
{
    if (b.enPixelFormat != PIXEL_FORMAT_RGB_1555 || x < 0 || y < 0)
        return false;
    uint32_t cw = r.attr.stSize.u32Width, ch = r.attr.stSize.u32Height;
    if (src_stride == 0)
        src_stride = b.u32Width * 2;
    if (src_stride < b.u32Width * 2 || (uint32_t)x >= cw || (uint32_t)y >= ch)
        return false;
    uint32_t w = std::min(b.u32Width, cw - x), h = std::min(b.u32Height, ch - y);
    const uint8_t *src = static_cast<const uint8_t *>(b.pData);
    for (uint32_t row = 0; row < h; row++) {
        uint8_t *dst = phys(r.canvas[to] + (y + row) * r.stride + x * 2);
        if (!copy_from_user(dst, src + (size_t)row * src_stride, w * 2))
            return false;
    }
    return true;
}

// The canvas a bitmap call draws into: the one handed out, or the hidden one.
int take_back(Region &r)
{
    int to = r.drawing >= 0 ? r.drawing : r.back();
    r.drawing = -1;
    return to;
}

// What a request on an existing region works on, under the driver's lock.
struct RgnCall {
    uint32_t handle;
    Region &r;
};

int rgn_create(uint32_t handle, void *arg)
{
    RGN_ATTR_REQ_S q;
    if (!get_user(q, arg))
        return fail(EFAULT);
    if (g_rgn->regions.count(handle))
        return DU_ERR_RGN_EXIST;
    if (int ret = check_attr(q.stAttr))
        return ret;
    Region r;
    r.attr = q.stAttr;
    if (int ret = make_canvases(r))
        return ret;
    g_rgn->regions.emplace(handle, std::move(r));
    event("rgn", "%u create type %u %ux%u", handle, q.stAttr.enType, q.stAttr.stSize.u32Width,
          q.stAttr.stSize.u32Height);
    return 0;
}

// A new size or format re-creates the canvases, which the caller learns
// by a status code of its own; the colour alone is just kept.
int rgn_set_attr(RgnCall &k, void *arg)
{
    Region &r = k.r;
    RGN_ATTR_REQ_S q;
    if (!get_user(q, arg))
        return fail(EFAULT);
    if (q.stAttr.enType != r.attr.enType)
        return DU_ERR_RGN_ILLEGAL_PARAM;
    if (int ret = check_attr(q.stAttr))
        return ret;
    bool same = q.stAttr.enPixelFmt == r.attr.enPixelFmt &&
                q.stAttr.stSize.u32Width == r.attr.stSize.u32Width &&
                q.stAttr.stSize.u32Height == r.attr.stSize.u32Height;
    if (same) {
        r.attr.u32BgColor = q.stAttr.u32BgColor;
        return 0;
    }
    Region fresh;
    fresh.attr = q.stAttr;
    if (int ret = make_canvases(fresh))
        return ret;
    free_canvases(r);
    r.attr = fresh.attr;
    r.stride = fresh.stride;
    r.size = fresh.size;
    std::copy(std::begin(fresh.canvas), std::end(fresh.canvas), r.canvas);
    return DU_RGN_CANVAS_RECREATED;
}

// Pieces drawn over what is shown now, then shown together.
int rgn_update_bitmap(RgnCall &k, void *arg)
{
    Region &r = k.r;
    RGN_BITMAP_UPDATE_REQ_S q;
    if (!get_user(q, arg))
        return fail(EFAULT);
    if (q.stUpdate.u32BmpCnt == 0 || q.stUpdate.u32BmpCnt > RGN_MAX_BMP_UPDATE_NUM)
        return DU_ERR_RGN_ILLEGAL_PARAM;
    int to = take_back(r);
    if (r.shown >= 0)
        memcpy(phys(r.canvas[to]), phys(r.canvas[r.shown]), r.size);
    else
        memset(phys(r.canvas[to]), 0, r.size);
    for (uint32_t i = 0; i < q.stUpdate.u32BmpCnt; i++) {
        const RGN_BMP_UPDATE_S &u = q.stUpdate.astBmpUpdate[i];
        if (!draw_bitmap(r, to, u.s32X, u.s32Y, u.stBmp, u.u32Stride))
            return DU_ERR_RGN_ILLEGAL_PARAM;
    }
    r.shown = to;
    return 0;
}

// Attaching to a channel and the attachment's display attributes.
int rgn_display(RgnCall &k, unsigned long req, void *arg)
{
    Region &r = k.r;
    RGN_CHN_REQ_S q;
    if (!get_user(q, arg))
        return fail(EFAULT);
    if (!chn_fits(r.attr.enType, q.stChn))
        return DU_ERR_RGN_ILLEGAL_PARAM;
    ChnAddr chn = chn_of(q.stChn);
    Attachment *a = find_attachment(r, chn);
    if (req == RGN_GET_DISPLAY_ATTR_CTRL) {
        if (!a)
            return DU_ERR_RGN_UNEXIST;
        q.stChnAttr = a->attr;
        return put_user(arg, q) ? 0 : fail(EFAULT);
    }
    if (int ret = check_chn_attr(r, q.stChnAttr))
        return ret;
    if (req == RGN_SET_DISPLAY_ATTR_CTRL) {
        if (!a)
            return DU_ERR_RGN_UNEXIST;
        a->attr = q.stChnAttr;
        return 0;
    }
    if (a)
        return DU_ERR_RGN_EXIST;
    r.att.push_back(Attachment{chn, q.stChnAttr});
    event("rgn", "%u attach %u %d %d at %d,%d", k.handle, chn.mod, chn.dev, chn.chn, q.stChnAttr.s32X,
          q.stChnAttr.s32Y);
    return 0;
}

int rgn_destroy(RgnCall &k, void *)
{
    free_canvases(k.r);
    g_rgn->regions.erase(k.handle);
    event("rgn", "%u destroy", k.handle);
    return 0;
}

int rgn_set_bitmap(RgnCall &k, void *arg)
{
    Region &r = k.r;
    RGN_BITMAP_REQ_S q;
    if (!get_user(q, arg))
        return fail(EFAULT);
    int to = take_back(r);
    if (!draw_bitmap(r, to, 0, 0, q.stBitmap, 0))
        return DU_ERR_RGN_ILLEGAL_PARAM;
    r.shown = to;
    return 0;
}

int rgn_detach(RgnCall &k, void *arg)
{
    Region &r = k.r;
    RGN_DETACH_REQ_S q;
    if (!get_user(q, arg))
        return fail(EFAULT);
    ChnAddr chn = chn_of(q.stChn);
    auto at = std::find_if(r.att.begin(), r.att.end(), [&](const Attachment &a) { return a.chn == chn; });
    if (at == r.att.end())
        return DU_ERR_RGN_UNEXIST;
    r.att.erase(at);
    event("rgn", "%u detach %u %d %d", k.handle, chn.mod, chn.dev, chn.chn);
    return 0;
}

int rgn_set_attach_field(RgnCall &k, void *arg)
{
    RGN_FIELD_REQ_S q;
    if (!get_user(q, arg))
        return fail(EFAULT);
    if (q.enField > 2)
        return DU_ERR_RGN_ILLEGAL_PARAM;
    k.r.field = q.enField; // pictures are progressive here: every field is the frame
    return 0;
}

int rgn_get_canvas(RgnCall &k, void *arg)
{
    Region &r = k.r;
    if (r.drawing < 0)
        r.drawing = r.back();
    RGN_CANVAS_REQ_S q{};
    q.Handle = k.handle;
    q.u32Index = (uint32_t)r.drawing;
    q.u32Size = r.size;
    q.stCanvas = {r.canvas[r.drawing], nullptr, r.attr.stSize, r.stride, r.attr.enPixelFmt};
    return put_user(arg, q) ? 0 : fail(EFAULT);
}

int rgn_update_canvas(RgnCall &k, void *)
{
    Region &r = k.r;
    if (r.drawing < 0)
        return DU_ERR_RGN_NOT_PERM; // no canvas was handed out
    r.shown = r.drawing;
    r.drawing = -1;
    return 0;
}

// Requests on an existing region (creating one is the driver's own step).
const IoctlOp<RgnCall> kRgnOps[] = {
    {RGN_DESTROY_CTRL, rgn_destroy},
    {RGN_SET_ATTR_CTRL, rgn_set_attr},
    {RGN_GET_ATTR_CTRL,
     [](RgnCall &k, void *arg) {
         RGN_ATTR_REQ_S q = {k.handle, k.r.attr};
         return put_user(arg, q) ? 0 : fail(EFAULT);
     }},
    {RGN_SET_BITMAP_CTRL, rgn_set_bitmap},
    {RGN_UPDATE_BITMAP_CTRL, rgn_update_bitmap},
    {RGN_SET_DISPLAY_ATTR_CTRL, [](RgnCall &k, void *arg) { return rgn_display(k, RGN_SET_DISPLAY_ATTR_CTRL, arg); }},
    {RGN_GET_DISPLAY_ATTR_CTRL, [](RgnCall &k, void *arg) { return rgn_display(k, RGN_GET_DISPLAY_ATTR_CTRL, arg); }},
    {RGN_ATTACH_CTRL, [](RgnCall &k, void *arg) { return rgn_display(k, RGN_ATTACH_CTRL, arg); }},
    {RGN_DETACH_CTRL, rgn_detach},
    {RGN_SET_ATTACH_FIELD_CTRL, rgn_set_attach_field},
    {RGN_GET_ATTACH_FIELD_CTRL,
     [](RgnCall &k, void *arg) {
         RGN_FIELD_REQ_S q = {k.handle, k.r.field};
         return put_user(arg, q) ? 0 : fail(EFAULT);
     }},
    {RGN_GET_CANVAS_CTRL, rgn_get_canvas},
    {RGN_UPDATE_CANVAS_CTRL, rgn_update_canvas},
};

class RgnFile : public Device {
public:
    int ioctl(unsigned long req, void *arg) override
    {
        if (!g_rgn)
            return fail(ENODEV);
        const IoctlOp<RgnCall> *op = find_ioctl(kRgnOps, req);
        if (!op && req != RGN_CREATE_CTRL)
            return fail(EINVAL);
        uint32_t handle; // every request record starts with it
        if (!get_user(handle, arg))
            return fail(EFAULT);
        if (handle >= RGN_HANDLE_MAX)
            return DU_ERR_RGN_ILLEGAL_PARAM;
        std::lock_guard<std::mutex> lock(g_rgn->lock);
        if (req == RGN_CREATE_CTRL)
            return rgn_create(handle, arg);
        auto it = g_rgn->regions.find(handle);
        if (it == g_rgn->regions.end())
            return DU_ERR_RGN_UNEXIST;
        RgnCall call{handle, it->second};
        return op->handler(call, arg);
    }
};

DeviceRegistration rgn_device("/dev/rgn", [](int) { return std::make_shared<RgnFile>(); });

uint8_t clamp8(int v) { return (uint8_t)std::clamp(v, 0, 255); }
uint8_t mix(uint8_t under, int over, uint32_t alpha)
{
    return (uint8_t)((over * (int)alpha + under * (int)(kMaxAlpha - alpha)) / (int)kMaxAlpha);
}

// One canvas over the picture at (x, y) with the attachment's two alphas.
void blend_canvas(const Region &r, const RGN_CHN_ATTR_REC_S &a, Picture &pic)
{
    const uint16_t *px = r.pixels(r.shown);
    uint32_t cw = r.attr.stSize.u32Width, ch = r.attr.stSize.u32Height;
    uint32_t x0 = (uint32_t)a.s32X, y0 = (uint32_t)a.s32Y;
    if (x0 >= pic.width || y0 >= pic.height)
        return;
    uint32_t w = std::min(cw, pic.width - x0), h = std::min(ch, pic.height - y0);
    uint8_t *y = pic.y(), *vu = pic.vu();
    for (uint32_t row = 0; row < h; row++) {
        const uint16_t *line = px + (size_t)row * (r.stride / 2);
        for (uint32_t col = 0; col < w; col++) {
            uint16_t p = line[col];
            uint32_t alpha = (p & 0x8000) ? a.u32FgAlpha : a.u32BgAlpha;
            if (!alpha)
                continue;
            int R = (p >> 10) & 31, G = (p >> 5) & 31, B = p & 31;
            R = R << 3 | R >> 2;
            G = G << 3 | G >> 2;
            B = B << 3 | B >> 2;
            size_t at = (size_t)(y0 + row) * pic.stride + x0 + col;
            y[at] = mix(y[at], clamp8(((66 * R + 129 * G + 25 * B + 128) >> 8) + 16), alpha);
            if (((y0 + row) & 1) || ((x0 + col) & 1))
                continue; // one chroma pair per 2x2 block, from its top-left pixel
            size_t c = (size_t)((y0 + row) / 2) * pic.stride + x0 + col;
            vu[c] = mix(vu[c], clamp8(((112 * R - 94 * G - 18 * B + 128) >> 8) + 128), alpha);
            vu[c + 1] = mix(vu[c + 1], clamp8(((-38 * R - 74 * G + 112 * B + 128) >> 8) + 128), alpha);
        }
    }
}

} // namespace

namespace sim::video {

namespace {
// The regions shown on `chn`, lowest layer first; the caller holds the lock.
std::vector<std::pair<const Region *, const Attachment *>> shown_on(const ChnAddr &chn)
{
    std::vector<std::pair<const Region *, const Attachment *>> on;
    for (auto &e : g_rgn->regions)
        for (const Attachment &a : e.second.att)
            if (a.chn == chn && a.attr.bShow && e.second.shown >= 0)
                on.emplace_back(&e.second, &a);
    std::stable_sort(on.begin(), on.end(),
                     [](const auto &l, const auto &r) { return l.second->attr.u32Layer < r.second->attr.u32Layer; });
    return on;
}
} // namespace

bool overlay_on(const ChnAddr &chn)
{
    if (!g_rgn)
        return false;
    std::lock_guard<std::mutex> lock(g_rgn->lock);
    return !shown_on(chn).empty();
}

void blend_overlays(const ChnAddr &chn, Picture &pic)
{
    if (!g_rgn)
        return;
    std::lock_guard<std::mutex> lock(g_rgn->lock);
    for (auto &o : shown_on(chn))
        blend_canvas(*o.first, o.second->attr, pic);
}

} // namespace sim::video
