// The engine's video-analysis operators: the Gaussian mixture model, optical
// flow, gradient foreground and the background model's match and update.
// The rules they follow are in board/sim/ive/ive.h.
#include "board/sim/ive/ive.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace sim {
namespace ive {

namespace {

constexpr uint32_t U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, S8C2 = IVE_IMAGE_TYPE_S8C2_PACKAGE,
                   U16C1 = IVE_IMAGE_TYPE_U16C1, RGB_PACKAGE = IVE_IMAGE_TYPE_U8C3_PACKAGE;

uint8_t s8(int v) { return (uint8_t)(int8_t)std::clamp(v, -128, 127); }
uint32_t add_sat(uint32_t a, uint32_t b) { return a > UINT32_MAX - b ? UINT32_MAX : a + b; }

// ---- mixture model -------------------------------------------------------------------------------

struct Mode {
    uint32_t weight = 0, var = 0;
    uint32_t mean[3] = {};
};

// One pixel's modes in the model block: weight, the channels' means, the
// variance's low 24 bits.
struct ModeCodec {
    uint32_t channels;
    uint32_t bytes() const { return 2 + 2 * channels + 3; }
    Mode load(const uint8_t *p) const
    {
        Mode m;
        m.weight = ld<uint16_t>(p);
        for (uint32_t c = 0; c < channels; c++)
            m.mean[c] = ld<uint16_t>(p + 2 + 2 * c);
        const uint8_t *v = p + 2 + 2 * channels;
        m.var = v[0] | v[1] << 8 | (uint32_t)v[2] << 16;
        return m;
    }
    void store(uint8_t *p, const Mode &m) const
    {
        st<uint16_t>(p, (uint16_t)m.weight);
        for (uint32_t c = 0; c < channels; c++)
            st<uint16_t>(p + 2 + 2 * c, (uint16_t)m.mean[c]);
        uint8_t *v = p + 2 + 2 * channels;
        v[0] = (uint8_t)m.var, v[1] = (uint8_t)(m.var >> 8), v[2] = (uint8_t)(m.var >> 16);
    }
};

// lr x (target - value), rounded: the step of a mean or a variance.
int64_t learn(int64_t target, int64_t value, uint32_t lr) { return ((target - value) * lr + 32768) >> 16; }

// One pixel through its modes; whether it is background.
bool gmm_pixel(Mode *modes, uint32_t count, const uint32_t *px, uint32_t channels, const IVE_GMM_CTRL_S &c)
{
    const uint32_t lr = c.u0q16LearnRate;
    auto keep_var = [&](int64_t v) { return (uint32_t)std::clamp<int64_t>(v, c.u22q10MinVar, c.u22q10MaxVar); };
    int matched = -1;
    uint64_t matched_d2 = 0;
    for (uint32_t k = 0; k < count && matched < 0; k++) {
        if (!modes[k].weight)
            continue;
        uint64_t d2 = 0;
        for (uint32_t ch = 0; ch < channels; ch++) {
            const int64_t diff = (int64_t)(px[ch] << 8) - modes[k].mean[ch];
            d2 += (uint64_t)(diff * diff) >> 6;
        }
        if (d2 * 256 <= (uint64_t)c.u8q8VarThr * modes[k].var)
            matched = (int)k, matched_d2 = d2;
    }
    for (uint32_t k = 0; k < count; k++)
        if (modes[k].weight && (int)k != matched)
            modes[k].weight -= (modes[k].weight * lr + 32768) >> 16;
    if (matched >= 0) {
        Mode &m = modes[matched];
        m.weight = std::min<uint32_t>(65535, m.weight + (((65536 - m.weight) * lr) >> 16));
        for (uint32_t ch = 0; ch < channels; ch++)
            m.mean[ch] = (uint32_t)((int64_t)m.mean[ch] + learn(px[ch] << 8, m.mean[ch], lr));
        m.var = keep_var((int64_t)m.var + learn((int64_t)matched_d2, m.var, lr));
    } else {
        uint32_t k = 0;
        for (uint32_t i = 1; i < count && modes[k].weight; i++)
            if (modes[i].weight < modes[k].weight)
                k = i;
        modes[k].weight = c.u0q16InitWeight;
        for (uint32_t ch = 0; ch < channels; ch++)
            modes[k].mean[ch] = px[ch] << 8;
        modes[k].var = keep_var(c.u22q10NoiseVar);
    }
    // Heaviest first; the matched mode's new place decides.
    uint32_t order[5];
    for (uint32_t k = 0; k < count; k++)
        order[k] = k;
    std::stable_sort(order, order + count, [&](uint32_t a, uint32_t b) { return modes[a].weight > modes[b].weight; });
    Mode sorted[5];
    uint64_t total = 0;
    int place = -1;
    for (uint32_t k = 0; k < count; k++) {
        sorted[k] = modes[order[k]];
        total += sorted[k].weight;
        if ((int)order[k] == matched)
            place = (int)k;
    }
    std::copy(sorted, sorted + count, modes);
    uint64_t reached = 0;
    uint32_t background = 0;
    while (background < count && reached * 65536 < (uint64_t)c.u0q16BgRatio * total)
        reached += modes[background++].weight;
    return place >= 0 && (uint32_t)place < background;
}

// ---- optical flow --------------------------------------------------------------------------------

constexpr int kLkHalf = 4; // a 9 x 9 window

// A picture read with replicated borders and bilinear sampling.
struct Sampler {
    const Image &img;
    double px(int x, int y) const
    {
        x = std::clamp(x, 0, (int)img.w - 1);
        y = std::clamp(y, 0, (int)img.h - 1);
        return img.p[0].row((uint32_t)y)[x];
    }
    double gx(int x, int y) const { return (px(x + 1, y) - px(x - 1, y)) / 2; }
    double gy(int x, int y) const { return (px(x, y + 1) - px(x, y - 1)) / 2; }
    template <class F> double bilinear(double x, double y, F f) const
    {
        const double fx = std::floor(x), fy = std::floor(y), ax = x - fx, ay = y - fy;
        const int x0 = (int)fx, y0 = (int)fy;
        return (1 - ay) * ((1 - ax) * f(x0, y0) + ax * f(x0 + 1, y0)) +
               ay * ((1 - ax) * f(x0, y0 + 1) + ax * f(x0 + 1, y0 + 1));
    }
};

bool inside(const Image &img, double x, double y) { return x >= 0 && y >= 0 && x <= img.w - 1 && y <= img.h - 1; }

// The motion of one point, or false when it is lost.
bool track(const Sampler &prev, const Sampler &cur, double x, double y, const IVE_LK_OPTICAL_FLOW_CTRL_S &c, double *vx,
           double *vy)
{
    if (!inside(prev.img, x, y))
        return false;
    const int n = (2 * kLkHalf + 1) * (2 * kLkHalf + 1);
    double ix[n], iy[n], iv[n], a = 0, b = 0, d = 0;
    int i = 0;
    for (int wy = -kLkHalf; wy <= kLkHalf; wy++)
        for (int wx = -kLkHalf; wx <= kLkHalf; wx++, i++) {
            const double sx = x + wx, sy = y + wy;
            ix[i] = prev.bilinear(sx, sy, [&](int px, int py) { return prev.gx(px, py); });
            iy[i] = prev.bilinear(sx, sy, [&](int px, int py) { return prev.gy(px, py); });
            iv[i] = prev.bilinear(sx, sy, [&](int px, int py) { return prev.px(px, py); });
            a += ix[i] * ix[i], b += ix[i] * iy[i], d += iy[i] * iy[i];
        }
    const double min_eig = ((a + d) - std::sqrt((a - d) * (a - d) + 4 * b * b)) / 2;
    const double det = a * d - b * b;
    if (min_eig / n < c.u0q8MinEigThr / 256.0 || det <= 0)
        return false;
    double ux = 0, uy = 0;
    for (int it = 0; it < c.u8IterCount; it++) {
        double bx = 0, by = 0;
        i = 0;
        for (int wy = -kLkHalf; wy <= kLkHalf; wy++)
            for (int wx = -kLkHalf; wx <= kLkHalf; wx++, i++) {
                const double j = cur.bilinear(x + wx + ux, y + wy + uy, [&](int px, int py) { return cur.px(px, py); });
                bx += (iv[i] - j) * ix[i], by += (iv[i] - j) * iy[i];
            }
        const double sx = (d * bx - b * by) / det, sy = (a * by - b * bx) / det;
        ux += sx, uy += sy;
        if (!inside(prev.img, x + ux, y + uy))
            return false;
        if (std::fabs(sx) < c.u0q8Epsilon / 256.0 && std::fabs(sy) < c.u0q8Epsilon / 256.0)
            break;
    }
    *vx = ux, *vy = uy;
    return true;
}

int16_t q7(double v) { return (int16_t)std::clamp(std::lround(v * 128), -32768l, 32767l); }

// ---- gradient foreground ---------------------------------------------------------------------------

bool gradients_differ(int cx, int cy, int gx, int gy, const IVE_GRAD_FG_CTRL_S &c)
{
    const int mc = std::abs(cx) + std::abs(cy), mg = std::abs(gx) + std::abs(gy), diff = std::abs(mc - mg);
    if (std::max(mc, mg) <= c.u8NoiseVal || (!c.u8EdwDark && mc <= c.u8NoiseVal))
        return false;
    const int64_t dot = (int64_t)cx * gx + (int64_t)cy * gy;
    const int64_t cc = (int64_t)cx * cx + (int64_t)cy * cy, gg = (int64_t)gx * gx + (int64_t)gy * gy;
    const bool correlated = dot > 0 && 10000 * dot * dot >= (int64_t)c.u8CrlCoefThr * c.u8CrlCoefThr * cc * gg;
    if (!correlated)
        return true;
    return diff > c.u8MagCrlThr && diff * 1000 >= (int)c.u8MinMagDiff * c.u16EdwFactor;
}

// ---- the background model ----------------------------------------------------------------------------

constexpr uint32_t kBgBytes = 24;

struct BgPixel {
    uint16_t bg; // Q8.8
    uint8_t last, flags, cand, thr;
    uint16_t reserved;
    uint32_t bg_time, cand_time, fg_time, frame;
    uint8_t bg_value() const { return (uint8_t)std::min(255, (bg + 128) >> 8); }
};
static_assert(sizeof(BgPixel) == kBgBytes, "background model pixel");

// The model's area: 24 bytes per pixel of `ref`, line by line.
int bg_model(const IVE_DATA_DESC_S &d, const Image &ref, Plane *out)
{
    if (d.u16Width != kBgBytes * ref.w || d.u16Height != ref.h)
        return EINVAL;
    return area(d, out);
}

template <class F> void each_bg(const Plane &model, const Image &ref, F f)
{
    for (uint32_t y = 0; y < ref.h; y++)
        for (uint32_t x = 0; x < ref.w; x++) {
            uint8_t *p = model.row(y) + kBgBytes * x;
            BgPixel px;
            memcpy(&px, p, sizeof px);
            f(x, y, px);
            memcpy(p, &px, sizeof px);
        }
}

} // namespace

int op_gmm(const IVE_GMM_REQ_S &b)
{
    const IVE_GMM_CTRL_S &c = b.stGmmCtrl;
    if ((c.u8ModeNum != 3 && c.u8ModeNum != 5) || c.u22q10MinVar == 0 || c.u22q10MaxVar <= c.u22q10MinVar ||
        c.u22q10MaxVar > 0xFFFFFF)
        return EINVAL;
    Image src, fg, bg;
    uint8_t *model;
    if (int err = image(b.stSrc, &src, {U8C1, RGB_PACKAGE}))
        return err;
    if (int err = sized(b.stFg, {U8C1}, src, &fg))
        return err;
    if (int err = sized(b.stBg, {src.type}, src, &bg))
        return err;
    const ModeCodec codec{src.type == U8C1 ? 1u : 3u};
    const uint32_t per_pixel = c.u8ModeNum * codec.bytes();
    if (int err = memory(b.stModel, (uint64_t)per_pixel * src.w * src.h, &model))
        return err;
    Sources sources({fg.p[0], bg.p[0], span(model, (uint64_t)per_pixel * src.w * src.h)});
    src = sources.read(src);
    std::vector<uint8_t> fg_out((size_t)src.w * src.h), bg_out((size_t)src.w * src.h * codec.channels);
    for (uint32_t y = 0; y < src.h; y++)
        for (uint32_t x = 0; x < src.w; x++) {
            const size_t i = (size_t)y * src.w + x;
            uint8_t *pm = model + i * per_pixel;
            Mode modes[5];
            for (uint32_t k = 0; k < c.u8ModeNum; k++)
                modes[k] = codec.load(pm + k * codec.bytes());
            uint32_t px[3];
            for (uint32_t ch = 0; ch < codec.channels; ch++)
                px[ch] = src.p[0].row(y)[x * codec.channels + ch];
            fg_out[i] = gmm_pixel(modes, c.u8ModeNum, px, codec.channels, c) ? 0 : 255;
            for (uint32_t k = 0; k < c.u8ModeNum; k++)
                codec.store(pm + k * codec.bytes(), modes[k]);
            for (uint32_t ch = 0; ch < codec.channels; ch++)
                bg_out[i * codec.channels + ch] = (uint8_t)std::min<uint32_t>(255, (modes[0].mean[ch] + 128) >> 8);
        }
    for (uint32_t y = 0; y < src.h; y++) {
        memcpy(fg.p[0].row(y), &fg_out[(size_t)y * src.w], src.w);
        memcpy(bg.p[0].row(y), &bg_out[(size_t)y * src.w * codec.channels], (size_t)src.w * codec.channels);
    }
    return 0;
}

int op_lk_optical_flow(const IVE_LK_OPTICAL_FLOW_REQ_S &b)
{
    const IVE_LK_OPTICAL_FLOW_CTRL_S &c = b.stLkOptiFlowCtrl;
    if (c.u16CornerNum < 1 || c.u16CornerNum > 200 || c.u8IterCount < 1 || c.u8IterCount > 20)
        return EINVAL;
    Image pre, cur;
    uint8_t *points, *mv;
    if (int err = image(b.stSrcPre, &pre, {U8C1}))
        return err;
    if (int err = sized(b.stSrcCur, {U8C1}, pre, &cur))
        return err;
    if (int err = memory(b.stPoint, 8u * c.u16CornerNum, &points))
        return err;
    if (int err = memory(b.stMv, 8u * c.u16CornerNum, &mv))
        return err;
    const Sampler sp{pre}, sc{cur};
    std::vector<uint8_t> out(8u * c.u16CornerNum);
    for (uint32_t i = 0; i < c.u16CornerNum; i++) {
        const double x = ld<int32_t>(points + 8 * i) / 128.0, y = ld<int32_t>(points + 8 * i + 4) / 128.0;
        double vx = 0, vy = 0;
        const bool tracked = track(sp, sc, x, y, c, &vx, &vy);
        st<int32_t>(&out[8 * i], tracked ? 0 : -1);
        st<int16_t>(&out[8 * i + 4], tracked ? q7(vx) : 0);
        st<int16_t>(&out[8 * i + 6], tracked ? q7(vy) : 0);
    }
    memcpy(mv, out.data(), out.size());
    return 0;
}

int op_grad_fg(const IVE_GRAD_FG_REQ_S &b)
{
    const IVE_GRAD_FG_CTRL_S &c = b.stGradFgCtrl;
    if (c.enMode > 1)
        return EINVAL;
    Image diff, cur, bg, out;
    if (int err = image(b.stCurGrad, &cur, {S8C2}))
        return err;
    if (int err = sized(b.stBgGrad, {S8C2}, cur, &bg))
        return err;
    if (int err = sized(b.stBgDiffFg, {S8C1}, cur, &diff))
        return err;
    if (int err = sized(b.stGradFg, {U8C1}, cur, &out))
        return err;
    std::vector<uint8_t> fg((size_t)cur.w * cur.h);
    for (uint32_t y = 0; y < cur.h; y++)
        for (uint32_t x = 0; x < cur.w; x++) {
            const int8_t *pc = reinterpret_cast<const int8_t *>(cur.p[0].row(y) + 2 * x);
            const int8_t *pg = reinterpret_cast<const int8_t *>(bg.p[0].row(y) + 2 * x);
            const bool candidate = c.enMode == 1 || diff.p[0].row(y)[x] != 0;
            fg[(size_t)y * cur.w + x] = candidate && gradients_differ(pc[0], pc[1], pg[0], pg[1], c) ? 255 : 0;
        }
    for (uint32_t y = 0; y < cur.h; y++)
        memcpy(out.p[0].row(y), &fg[(size_t)y * cur.w], cur.w);
    return 0;
}

int op_match_bg_model(const IVE_MATCH_BG_MODEL_REQ_S &b)
{
    const IVE_MATCH_BG_MODEL_CTRL_S &c = b.stMatchBgModelCtrl;
    if (c.u32CurFrmNum <= c.u32PreFrmNum || c.u8DiffMinThr > c.u8DiffMaxThr)
        return EINVAL;
    Image img, flag, bg_diff, frm_diff;
    Plane model;
    uint8_t *stat;
    if (int err = image(b.stCurImg, &img, {U8C1}))
        return err;
    if (int err = bg_model(b.stBgModel, img, &model))
        return err;
    if (int err = sized(b.stFgFlag, {U8C1}, img, &flag))
        return err;
    if (int err = sized(b.stBgDiffFg, {S8C1}, img, &bg_diff))
        return err;
    if (int err = sized(b.stFrmDiffFg, {S8C1}, img, &frm_diff))
        return err;
    if (int err = memory(b.stStatData, 16, &stat))
        return err;
    const uint32_t n = c.u32CurFrmNum - c.u32PreFrmNum;
    Sources sources({flag.p[0], bg_diff.p[0], frm_diff.p[0], model});
    img = sources.read(img);
    uint32_t stats[4] = {0, 0, c.u32CurFrmNum, 0};
    each_bg(model, img, [&](uint32_t x, uint32_t y, BgPixel &m) {
        const int v = img.p[0].row(y)[x];
        uint8_t fg = 0, db = 0, df = 0;
        if (!(m.flags & 1)) {
            m = {};
            m.bg = (uint16_t)(v << 8), m.last = m.cand = (uint8_t)v, m.flags = 1, m.thr = c.u8DiffMinThr;
        } else {
            const int t = std::clamp<int>(m.thr, c.u8DiffMinThr, c.u8DiffMaxThr);
            const int dbv = v - m.bg_value(), dfv = v - m.last;
            const bool matched = std::abs(dbv) <= t;
            fg = matched ? 0 : 255;
            db = matched ? 0 : s8(dbv);
            df = std::abs(dfv) <= t ? 0 : s8(dfv);
            if (matched) {
                m.thr = (uint8_t)std::max<int>(c.u8DiffMinThr, t - 1);
                m.bg_time = add_sat(m.bg_time, n), m.fg_time = 0;
                m.cand = (uint8_t)v, m.cand_time = 0;
                stats[1]++;
            } else {
                m.thr = (uint8_t)std::min<int>(c.u8DiffMaxThr, t + c.u8DiffThrInc);
                m.fg_time = add_sat(m.fg_time, n);
                if (std::abs(v - m.cand) <= t)
                    m.cand_time = add_sat(m.cand_time, n);
                else
                    m.cand = (uint8_t)v, m.cand_time = 0;
                stats[0]++;
                stats[3] = add_sat(stats[3], (uint32_t)std::abs(dbv));
            }
            m.last = (uint8_t)v;
        }
        m.frame = c.u32CurFrmNum;
        flag.p[0].row(y)[x] = fg;
        bg_diff.p[0].row(y)[x] = db;
        frm_diff.p[0].row(y)[x] = df;
    });
    memcpy(stat, stats, sizeof stats);
    return 0;
}

int op_update_bg_model(const IVE_UPDATE_BG_MODEL_REQ_S &b)
{
    const IVE_UPDATE_BG_MODEL_CTRL_S &c = b.stUpdateBgModelCtrl;
    if (c.u32StyBgMinBlendTime == 0 || c.u32StyBgMaxBlendTime < c.u32StyBgMinBlendTime || c.u8DetChgRegion > 1)
        return EINVAL;
    Image flag, bg_img, chg_img, chg_fg, chg_life;
    Plane model;
    uint8_t *stat;
    if (int err = image(b.stFgFlag, &flag, {U8C1}))
        return err;
    if (int err = bg_model(b.stBgModel, flag, &model))
        return err;
    if (int err = sized(b.stBgImg, {U8C1}, flag, &bg_img))
        return err;
    const bool changes = c.u8DetChgRegion == 1;
    if (changes) {
        if (int err = sized(b.stChgStaImg, {U8C1}, flag, &chg_img))
            return err;
        if (int err = sized(b.stChgStaFg, {S8C1}, flag, &chg_fg))
            return err;
        if (int err = sized(b.stChgStaLife, {U16C1}, flag, &chg_life))
            return err;
    }
    if (int err = memory(b.stStatData, 16, &stat))
        return err;
    Sources sources({bg_img.p[0], chg_img.p[0], chg_fg.p[0], chg_life.p[0], model});
    const Image fg_flag = sources.read(flag);
    uint32_t stats[4] = {0, 0, c.u32CurFrmNum, 0};
    each_bg(model, flag, [&](uint32_t x, uint32_t y, BgPixel &m) {
        const bool fg = fg_flag.p[0].row(y)[x] != 0, live = m.flags & 1;
        if (live && !fg) {
            uint32_t k = std::clamp(m.bg_time, c.u32StyBgMinBlendTime, c.u32StyBgMaxBlendTime);
            if (c.u8AcceBgLearn)
                k = std::max(1u, k / 4);
            m.bg = (uint16_t)((int)m.bg + ((int)m.last * 256 - (int)m.bg) / (int)k);
            stats[1]++;
        } else if (live && m.cand_time >= c.u32StaticDetMinTime) {
            m.bg = (uint16_t)(m.cand << 8), m.bg_time = 0, m.cand_time = 0;
            stats[0]++;
        }
        bg_img.p[0].row(y)[x] = live ? m.bg_value() : 0;
        if (changes) {
            const bool show = live && fg;
            chg_img.p[0].row(y)[x] = show ? m.cand : 0;
            chg_fg.p[0].row(y)[x] = show ? s8(m.cand - m.bg_value()) : 0;
            st<uint16_t>(chg_life.p[0].row(y) + 2 * x, show ? (uint16_t)std::min<uint32_t>(m.cand_time, 65535) : 0);
        }
    });
    memcpy(stat, stats, sizeof stats);
    return 0;
}

} // namespace ive
} // namespace sim
