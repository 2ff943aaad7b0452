// The engine's pixel operators: DMA, filters, colour conversion, gradients,
// morphology, thresholds, arithmetic, integral image, histogram, mapping.
// The rules they follow are in board/sim/ive.h.
#include "board/sim/ive.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace sim {
namespace ive {

namespace {

constexpr uint32_t U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, YUV420 = IVE_IMAGE_TYPE_YUV420SP,
                   YUV422 = IVE_IMAGE_TYPE_YUV422SP, S16C1 = IVE_IMAGE_TYPE_S16C1, U16C1 = IVE_IMAGE_TYPE_U16C1,
                   RGB_PACKAGE = IVE_IMAGE_TYPE_U8C3_PACKAGE, RGB_PLANAR = IVE_IMAGE_TYPE_U8C3_PLANAR;

uint8_t clip8(int v) { return (uint8_t)std::clamp(v, 0, 255); }

// Resolves a source and a destination of the same size.
int src_dst(const IVE_IMG_DESC_S &s, std::initializer_list<uint32_t> st, Image *src, const IVE_IMG_DESC_S &d,
            std::initializer_list<uint32_t> dt, Image *dst)
{
    if (int err = image(s, src, st))
        return err;
    if (int err = image(d, dst, dt))
        return err;
    return same_size(*src, *dst) ? 0 : EINVAL;
}

// Writes f(x, y) as the U8 output at every pixel.
template <class F> void each_u8(const Image &dst, F f)
{
    for (uint32_t y = 0; y < dst.h; y++) {
        uint8_t *out = dst.p[0].row(y);
        for (uint32_t x = 0; x < dst.w; x++)
            out[x] = f(x, y);
    }
}

// The per-pixel operators of one source: out = f(source pixel).
template <class F> int per_pixel(const IVE_IMG_DESC_S &s, const IVE_IMG_DESC_S &d, F f)
{
    Image src, dst;
    if (int err = src_dst(s, {U8C1}, &src, d, {U8C1}, &dst))
        return err;
    std::vector<uint8_t> px = copy_u8(src);
    each_u8(dst, [&](uint32_t x, uint32_t y) { return f(px[(size_t)y * src.w + x]); });
    return 0;
}

// Two U8C1 sources into a destination of `dt`: out = f(a, b) stored as T.
template <class T, class F>
int two_sources(const IVE_IMG_DESC_S &s1, const IVE_IMG_DESC_S &s2, const IVE_IMG_DESC_S &d, uint32_t dt, F f)
{
    Image a, b, dst;
    if (int err = src_dst(s1, {U8C1}, &a, d, {dt}, &dst))
        return err;
    if (int err = image(s2, &b, {U8C1}))
        return err;
    if (!same_size(a, b))
        return EINVAL;
    std::vector<uint8_t> pa = copy_u8(a), pb = copy_u8(b);
    for (uint32_t y = 0; y < dst.h; y++) {
        uint8_t *out = dst.p[0].row(y);
        for (uint32_t x = 0; x < dst.w; x++)
            out[x] = (uint8_t)(T)f(pa[(size_t)y * a.w + x], pb[(size_t)y * a.w + x]);
    }
    return 0;
}

// The three bands of a threshold: at or below low, up to high, above high.
template <class V, class O> O band(V v, V low, V high, O min, O mid, O max, bool orig_mid)
{
    if (v <= low)
        return min;
    if (v <= high)
        return orig_mid ? (O)v : mid;
    return max;
}

// The luma plane of a YUV (or U8C1) image filtered by the 5 x 5 mask.
std::vector<uint8_t> filter_luma(const Image &src, const int8_t *mask, uint32_t norm)
{
    Padded p(src, 2);
    std::vector<uint8_t> out((size_t)src.w * src.h);
    for (int y = 0; y < (int)src.h; y++)
        for (int x = 0; x < (int)src.w; x++)
            out[(size_t)y * src.w + x] = clip8(mask5(p, mask, x, y, false) >> norm);
    return out;
}

void put_plane(const Image &dst, int plane, const std::vector<uint8_t> &px)
{
    for (uint32_t y = 0; y < dst.p[plane].rows; y++)
        memcpy(dst.p[plane].row(y), &px[(size_t)y * dst.w], dst.w);
}

// ---- colour conversion ---------------------------------------------------------------------

// Q10 coefficients per standard and range (index: bit 1 of the mode x 2 + bit 0).
struct ToRgb {
    int y, cr, cgu, cgv, cb;
};
const ToRgb kToRgb[4] = {
    {1192, 1634, -401, -832, 2066}, // BT.601 video range
    {1024, 1436, -352, -731, 1815}, // BT.601 full range
    {1192, 1836, -218, -546, 2163}, // BT.709 video range
    {1024, 1613, -192, -479, 1900}, // BT.709 full range
};
struct ToYuv {
    int y[3], u[3], v[3];
};
const ToYuv kToYuv[4] = {
    {{263, 516, 100}, {-152, -298, 450}, {450, -377, -73}},
    {{306, 601, 117}, {-173, -339, 512}, {512, -429, -83}},
    {{187, 629, 63}, {-103, -347, 450}, {450, -409, -41}},
    {{218, 732, 74}, {-117, -395, 512}, {512, -465, -47}},
};

// YUV (luma given, chroma from the source's plane 1) to three channels.
void yuv_to_rgb(const std::vector<uint8_t> &luma, const Image &src, const Image &dst, uint32_t mode)
{
    const ToRgb &k = kToRgb[mode & 3];
    const bool video = !(mode & 1), bgr = mode & 4;
    std::vector<uint8_t> chroma = copy_u8(src, 1);
    const uint32_t sub_y = src.type == YUV420 ? 2 : 1;
    for (uint32_t y = 0; y < dst.h; y++) {
        const uint8_t *c = &chroma[(size_t)(y / sub_y) * src.w];
        for (uint32_t x = 0; x < dst.w; x++) {
            int ly = luma[(size_t)y * src.w + x] - (video ? 16 : 0);
            int v = c[x & ~1u] - 128, u = c[(x & ~1u) + 1] - 128;
            uint8_t rgb[3] = {clip8((k.y * ly + k.cr * v + 512) >> 10),
                              clip8((k.y * ly + k.cgu * u + k.cgv * v + 512) >> 10),
                              clip8((k.y * ly + k.cb * u + 512) >> 10)};
            if (bgr)
                std::swap(rgb[0], rgb[2]);
            if (dst.type == RGB_PACKAGE)
                memcpy(dst.p[0].row(y) + x * 3, rgb, 3);
            else
                for (int i = 0; i < 3; i++)
                    dst.p[i].row(y)[x] = rgb[i];
        }
    }
}

void rgb_to_yuv(const Image &src, const Image &dst, uint32_t mode)
{
    const ToYuv &k = kToYuv[mode & 3];
    const int y_off = mode & 1 ? 0 : 16;
    const uint32_t sub_y = dst.type == YUV420 ? 2 : 1;
    // Read every source pixel first: the outputs may overlap the source.
    std::vector<uint8_t> rgb((size_t)src.w * src.h * 3);
    for (uint32_t y = 0; y < src.h; y++)
        for (uint32_t x = 0; x < src.w; x++)
            for (int i = 0; i < 3; i++)
                rgb[((size_t)y * src.w + x) * 3 + i] =
                    src.type == RGB_PACKAGE ? src.p[0].row(y)[x * 3 + i] : src.p[i].row(y)[x];
    auto dot = [](const int *c, const uint8_t *p) { return (c[0] * p[0] + c[1] * p[1] + c[2] * p[2] + 512) >> 10; };
    for (uint32_t y = 0; y < dst.h; y++)
        for (uint32_t x = 0; x < dst.w; x++) {
            const uint8_t *p = &rgb[((size_t)y * src.w + x) * 3];
            dst.p[0].row(y)[x] = clip8(dot(k.y, p) + y_off);
            if (x % 2 == 0 && y % sub_y == 0) {
                uint8_t *c = dst.p[1].row(y / sub_y) + x;
                c[0] = clip8(dot(k.v, p) + 128);
                if (x + 1 < dst.w)
                    c[1] = clip8(dot(k.u, p) + 128);
            }
        }
}

// ---- morphology and order statistics -------------------------------------------------------

template <class Pick> int neighbourhood(const IVE_IMG_DESC_S &s, const IVE_IMG_DESC_S &d, int radius, Pick pick)
{
    Image src, dst;
    if (int err = src_dst(s, {U8C1}, &src, d, {U8C1}, &dst))
        return err;
    Padded p(src, radius);
    each_u8(dst, [&](uint32_t x, uint32_t y) { return pick(p, (int)x, (int)y); });
    return 0;
}

template <class Better> int morphology(const IVE_IMG_DESC_S &s, const IVE_IMG_DESC_S &d, const uint8_t *mask,
                                       Better better)
{
    bool any = std::any_of(mask, mask + 25, [](uint8_t m) { return m != 0; });
    return neighbourhood(s, d, 2, [&](const Padded &p, int x, int y) {
        uint8_t v = *p.at(x, y);
        if (!any)
            return v;
        bool first = true;
        for (int i = 0; i < 25; i++) {
            if (!mask[i])
                continue;
            uint8_t n = *p.at(x + i % 5 - 2, y + i / 5 - 2);
            if (first || better(n, v))
                v = n;
            first = false;
        }
        return v;
    });
}

} // namespace

// ---- operators --------------------------------------------------------------------------------

int op_dma(const IVE_DMA_REQ_S &b)
{
    const IVE_DMA_CTRL_S &c = b.stDmaCtrl;
    Plane src, dst;
    if (c.enMode > 3)
        return EINVAL;
    if (int err = area(b.stSrc, &src))
        return err;
    const uint32_t w = b.stSrc.u16Width, h = b.stSrc.u16Height;
    if (c.enMode >= 2) {
        uint8_t pattern[8];
        memcpy(pattern, &c.u64Val, 8);
        const uint32_t n = c.enMode == 2 ? 3 : 8;
        for (uint32_t y = 0; y < h; y++)
            for (uint32_t x = 0; x < w; x++)
                src.row(y)[x] = pattern[x % n];
        return 0;
    }
    if (int err = area(b.stDst, &dst))
        return err;
    if (c.enMode == 0) {
        if (b.stDst.u16Width != w || b.stDst.u16Height != h)
            return EINVAL;
        for (uint32_t y = 0; y < h; y++)
            memmove(dst.row(y), src.row(y), w);
        return 0;
    }
    const uint32_t hor = c.u8HorSegSize, elem = c.u8ElemSize, rows = c.u8VerSegRows;
    if ((hor != 2 && hor != 3 && hor != 4 && hor != 8 && hor != 16) || elem < 1 || elem >= hor || rows < 1 ||
        w % hor || b.stDst.u16Width != w / hor * elem || b.stDst.u16Height != (h + rows - 1) / rows)
        return EINVAL;
    std::vector<uint8_t> line(b.stDst.u16Width);
    for (uint32_t oy = 0; oy < b.stDst.u16Height; oy++) {
        const uint8_t *in = src.row(oy * rows);
        for (uint32_t s = 0; s < w / hor; s++)
            memcpy(&line[s * elem], in + s * hor, elem);
        memcpy(dst.row(oy), line.data(), line.size());
    }
    return 0;
}

int op_filter(const IVE_FILTER_REQ_S &b)
{
    Image src, dst;
    if (int err = src_dst(b.stSrc, {U8C1, YUV420, YUV422}, &src, b.stDst, {b.stSrc.enType}, &dst))
        return err;
    if (b.stCtrl.u8Norm > 13)
        return EINVAL;
    std::vector<uint8_t> luma = filter_luma(src, b.stCtrl.as8Mask, b.stCtrl.u8Norm);
    if (src.type != U8C1)
        put_plane(dst, 1, copy_u8(src, 1));
    put_plane(dst, 0, luma);
    return 0;
}

int op_csc(const IVE_CSC_REQ_S &b)
{
    const uint32_t mode = b.stCtrl.enMode;
    if (mode >= 12)
        return EINVAL;
    Image src, dst;
    if (mode < 8) {
        if (int err = src_dst(b.stSrc, {YUV420, YUV422}, &src, b.stDst, {RGB_PACKAGE, RGB_PLANAR}, &dst))
            return err;
        yuv_to_rgb(copy_u8(src, 0), src, dst, mode);
    } else {
        if (int err = src_dst(b.stSrc, {RGB_PACKAGE, RGB_PLANAR}, &src, b.stDst, {YUV420, YUV422}, &dst))
            return err;
        rgb_to_yuv(src, dst, mode);
    }
    return 0;
}

int op_filter_and_csc(const IVE_FILTER_AND_CSC_REQ_S &b)
{
    const IVE_FILTER_AND_CSC_CTRL_S &c = b.stCtrl;
    Image src, dst;
    if (int err = src_dst(b.stSrc, {YUV420, YUV422}, &src, b.stDst, {RGB_PACKAGE, RGB_PLANAR}, &dst))
        return err;
    if (c.enMode > 3 || c.u8Norm > 13)
        return EINVAL;
    yuv_to_rgb(filter_luma(src, c.as8Mask, c.u8Norm), src, dst, c.enMode);
    return 0;
}

int op_sobel(const IVE_SOBEL_REQ_S &b)
{
    const uint32_t out = b.stCtrl.enOutCtrl;
    if (out > 2)
        return EINVAL;
    Image src, h, v;
    if (int err = image(b.stSrc, &src, {U8C1}))
        return err;
    if (out != 2)
        if (int err = src_dst(b.stSrc, {U8C1}, &src, b.stDst1, {S16C1}, &h))
            return err;
    if (out != 1)
        if (int err = src_dst(b.stSrc, {U8C1}, &src, b.stDst2, {S16C1}, &v))
            return err;
    auto s16 = [](int g) { return (int16_t)std::clamp(g, -32768, 32767); };
    return gradients(src, b.stCtrl.as8Mask, [&](uint32_t x, uint32_t y, int gh, int gv) {
        if (out != 2)
            st<int16_t>(h.p[0].row(y) + x * 2, s16(gh));
        if (out != 1)
            st<int16_t>(v.p[0].row(y) + x * 2, s16(gv));
    });
}

int op_mag_and_ang(const IVE_MAG_AND_ANG_REQ_S &b)
{
    const uint32_t out = b.stCtrl.enOutCtrl;
    if (out > 1)
        return EINVAL;
    Image src, mag, ang;
    if (int err = src_dst(b.stSrc, {U8C1}, &src, b.stDst1, {U16C1}, &mag))
        return err;
    if (out == 1)
        if (int err = src_dst(b.stSrc, {U8C1}, &src, b.stDst2, {U8C1}, &ang))
            return err;
    return gradients(src, b.stCtrl.as8Mask, [&](uint32_t x, uint32_t y, int gh, int gv) {
        st<uint16_t>(mag.p[0].row(y) + x * 2, (uint16_t)std::min(65535, std::abs(gh) + std::abs(gv)));
        if (out == 1) {
            double a = gh || gv ? std::atan2((double)gv, (double)gh) * 128.0 / M_PI : 0.0;
            ang.p[0].row(y)[x] = (uint8_t)(((int)std::lround(a) % 256 + 256) % 256);
        }
    });
}

int op_dilate(const IVE_DILATE_REQ_S &b)
{
    return morphology(b.stSrc, b.stDst, b.stCtrl.au8Mask, [](uint8_t n, uint8_t v) { return n > v; });
}

int op_erode(const IVE_ERODE_REQ_S &b)
{
    return morphology(b.stSrc, b.stDst, b.stCtrl.au8Mask, [](uint8_t n, uint8_t v) { return n < v; });
}

int op_thresh(const IVE_THRESH_REQ_S &b)
{
    const IVE_THRESH_CTRL_S &c = b.stCtrl;
    if (c.enMode > 7)
        return EINVAL;
    // Per mode: what the low, middle and high band become (-1: the pixel).
    static const int kBands[8][3] = {{0, 2, 2}, {-1, 2, 2}, {0, -1, -1}, {0, 1, 2},
                                     {-1, 1, 2}, {0, 1, -1}, {0, -1, 2}, {-1, 1, -1}};
    const uint8_t vals[3] = {c.u8MinVal, c.u8MidVal, c.u8MaxVal};
    const int *m = kBands[c.enMode];
    const uint8_t high = c.enMode < 3 ? 255 : c.u8HighThr;
    return per_pixel(b.stSrc, b.stDst, [&](uint8_t v) {
        int which = v <= c.u8LowThr ? 0 : v <= high ? 1 : 2;
        return m[which] < 0 ? v : vals[m[which]];
    });
}

int op_and(const IVE_BINARY_REQ_S &b)
{
    return two_sources<uint8_t>(b.stSrc1, b.stSrc2, b.stDst, U8C1, [](int x, int y) { return x & y; });
}

int op_or(const IVE_BINARY_REQ_S &b)
{
    return two_sources<uint8_t>(b.stSrc1, b.stSrc2, b.stDst, U8C1, [](int x, int y) { return x | y; });
}

int op_xor(const IVE_BINARY_REQ_S &b)
{
    return two_sources<uint8_t>(b.stSrc1, b.stSrc2, b.stDst, U8C1, [](int x, int y) { return x ^ y; });
}

int op_sub(const IVE_SUB_REQ_S &b)
{
    if (b.stCtrl.enMode == 0)
        return two_sources<uint8_t>(b.stSrc1, b.stSrc2, b.stDst, U8C1, [](int x, int y) { return std::abs(x - y); });
    if (b.stCtrl.enMode == 1)
        return two_sources<int8_t>(b.stSrc1, b.stSrc2, b.stDst, S8C1, [](int x, int y) { return (x - y) >> 1; });
    return EINVAL;
}

int op_add(const IVE_ADD_REQ_S &b)
{
    const uint32_t wx = b.stCtrl.u0q16X, wy = b.stCtrl.u0q16Y;
    if (wx + wy != 65536)
        return EINVAL;
    return two_sources<uint8_t>(b.stSrc1, b.stSrc2, b.stDst, U8C1,
                                [&](int x, int y) { return (wx * x + wy * y + 32768) >> 16; });
}

int op_integ(const IVE_INTEG_REQ_S &b)
{
    const uint32_t out = b.stCtrl.enOutCtrl;
    if (out > 2)
        return EINVAL;
    Image src, dst;
    if (int err = src_dst(b.stSrc, {U8C1}, &src, b.stDst, {out == 1 ? IVE_IMAGE_TYPE_U32C1 : IVE_IMAGE_TYPE_U64C1},
                          &dst))
        return err;
    // Column sums of the rows above, then the running row sum.
    std::vector<uint64_t> sum(src.w, 0), sq(src.w, 0);
    std::vector<uint8_t> line(src.w);
    for (uint32_t y = 0; y < src.h; y++) {
        memcpy(line.data(), src.p[0].row(y), src.w);
        uint8_t *o = dst.p[0].row(y);
        uint64_t rs = 0, rq = 0;
        for (uint32_t x = 0; x < src.w; x++) {
            const uint32_t v = line[x];
            rs += v;
            rq += v * v;
            sum[x] += rs;
            sq[x] += rq;
            if (out == 0)
                st<uint64_t>(o + x * 8, (sum[x] & 0xFFFFFFFull) | (sq[x] & 0xFFFFFFFFFull) << 28);
            else if (out == 1)
                st<uint32_t>(o + x * 4, (uint32_t)sum[x]);
            else
                st<uint64_t>(o + x * 8, sq[x]);
        }
    }
    return 0;
}

int op_hist(const IVE_HIST_REQ_S &b)
{
    Image src;
    uint8_t *bins;
    if (int err = image(b.stSrc, &src, {U8C1}))
        return err;
    if (int err = memory(b.stDst, 1024, &bins))
        return err;
    uint32_t h[256] = {};
    for (uint32_t y = 0; y < src.h; y++) {
        const uint8_t *in = src.p[0].row(y);
        for (uint32_t x = 0; x < src.w; x++)
            h[in[x]]++;
    }
    memcpy(bins, h, sizeof h);
    return 0;
}

int op_thresh_s16(const IVE_THRESH_S16_REQ_S &b)
{
    const IVE_THRESH_S16_CTRL_S &c = b.stCtrl;
    if (c.enMode > 3)
        return EINVAL;
    const bool to_s8 = c.enMode < 2, orig = c.enMode % 2 == 1;
    Image src, dst;
    if (int err = src_dst(b.stSrc, {S16C1}, &src, b.stDst, {to_s8 ? S8C1 : U8C1}, &dst))
        return err;
    for (uint32_t y = 0; y < src.h; y++) {
        const uint8_t *in = src.p[0].row(y);
        uint8_t *o = dst.p[0].row(y);
        for (uint32_t x = 0; x < src.w; x++) {
            int v = ld<int16_t>(in + x * 2);
            o[x] = to_s8 ? (uint8_t)band<int, int>(v, c.s16LowThr, c.s16HighThr, c.un8MinVal.s8Val,
                                                   c.un8MidVal.s8Val, c.un8MaxVal.s8Val, orig)
                         : (uint8_t)band<int, int>(v, c.s16LowThr, c.s16HighThr, c.un8MinVal.u8Val,
                                                   c.un8MidVal.u8Val, c.un8MaxVal.u8Val, orig);
        }
    }
    return 0;
}

int op_thresh_u16(const IVE_THRESH_U16_REQ_S &b)
{
    const IVE_THRESH_U16_CTRL_S &c = b.stCtrl;
    if (c.enMode > 1)
        return EINVAL;
    Image src, dst;
    if (int err = src_dst(b.stSrc, {U16C1}, &src, b.stDst, {U8C1}, &dst))
        return err;
    for (uint32_t y = 0; y < src.h; y++)
        for (uint32_t x = 0; x < src.w; x++) {
            int v = ld<uint16_t>(src.p[0].row(y) + x * 2);
            dst.p[0].row(y)[x] = (uint8_t)band<int, int>(v, c.u16LowThr, c.u16HighThr, c.u8MinVal, c.u8MidVal,
                                                         c.u8MaxVal, c.enMode == 1);
        }
    return 0;
}

int op_16bit_to_8bit(const IVE_16BIT_TO_8BIT_REQ_S &b)
{
    const IVE_16BIT_TO_8BIT_CTRL_S &c = b.stCtrl;
    if (c.enMode > 3 || c.u16Denominator == 0)
        return EINVAL;
    Image src, dst;
    if (int err = src_dst(b.stSrc, {c.enMode == 3 ? U16C1 : S16C1}, &src, b.stDst, {c.enMode == 0 ? S8C1 : U8C1},
                          &dst))
        return err;
    for (uint32_t y = 0; y < src.h; y++)
        for (uint32_t x = 0; x < src.w; x++) {
            const uint8_t *in = src.p[0].row(y) + x * 2;
            int v = c.enMode == 3 ? ld<uint16_t>(in) : ld<int16_t>(in);
            int q = v * (int)c.u8Numerator / (int)c.u16Denominator;
            int o = c.enMode == 0 ? std::clamp(q, -128, 127)
                    : c.enMode == 1 ? std::min(std::abs(q), 255)
                    : c.enMode == 2 ? std::clamp(q + c.s8Bias, 0, 255)
                                    : std::min(q, 255);
            dst.p[0].row(y)[x] = (uint8_t)o;
        }
    return 0;
}

int op_ord_stat_filter(const IVE_ORD_STAT_FILTER_REQ_S &b)
{
    const uint32_t mode = b.stCtrl.enMode;
    if (mode > 2)
        return EINVAL;
    return neighbourhood(b.stSrc, b.stDst, 1, [&](const Padded &p, int x, int y) {
        uint8_t n[9];
        for (int i = 0; i < 9; i++)
            n[i] = *p.at(x + i % 3 - 1, y + i / 3 - 1);
        std::sort(n, n + 9);
        return mode == 0 ? n[4] : mode == 1 ? n[8] : n[0];
    });
}

int op_map(const IVE_MAP_REQ_S &b)
{
    uint8_t *table;
    if (int err = memory(b.stMap, 256, &table))
        return err;
    uint8_t t[256];
    memcpy(t, table, 256);
    return per_pixel(b.stSrc, b.stDst, [&](uint8_t v) { return t[v]; });
}

int op_equalize_hist(const IVE_EQUALIZE_HIST_REQ_S &b)
{
    Image src, dst;
    uint8_t *work;
    if (int err = src_dst(b.stSrc, {U8C1}, &src, b.stDst, {U8C1}, &dst))
        return err;
    if (int err = memory(b.stCtrl.stMem, 1280, &work))
        return err;
    std::vector<uint8_t> px = copy_u8(src);
    uint32_t hist[256] = {};
    for (uint8_t v : px)
        hist[v]++;
    uint8_t table[256];
    const uint64_t n = px.size();
    uint64_t cdf = 0;
    for (int v = 0; v < 256; v++) {
        cdf += hist[v];
        table[v] = (uint8_t)((cdf * 255 + n / 2) / n);
    }
    memcpy(work, hist, sizeof hist);
    memcpy(work + 1024, table, 256);
    each_u8(dst, [&](uint32_t x, uint32_t y) { return table[px[(size_t)y * src.w + x]]; });
    return 0;
}

} // namespace ive
} // namespace sim
