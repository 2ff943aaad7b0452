// The engine's picture operators: DMA, filters, colour conversion,
// gradients, morphology and order statistics. Their row work runs outside
// the sanitizers in loops the compiler vectorises (ive_rows.h); the rules
// they follow are in board/sim/ive/ive.h.
#include "board/sim/ive/ive.h"
#include "board/sim/ive/ive_rows.h"

#include <algorithm>
#include <cerrno>

namespace sim {
namespace ive {

namespace {

constexpr uint32_t U8C1 = IVE_IMAGE_TYPE_U8C1, YUV420 = IVE_IMAGE_TYPE_YUV420SP, YUV422 = IVE_IMAGE_TYPE_YUV422SP,
                   S16C1 = IVE_IMAGE_TYPE_S16C1, U16C1 = IVE_IMAGE_TYPE_U16C1,
                   RGB_PACKAGE = IVE_IMAGE_TYPE_U8C3_PACKAGE, RGB_PLANAR = IVE_IMAGE_TYPE_U8C3_PLANAR;

// ---- conversions of a row of sums ---------------------------------------------------------------

template <class In> IVE_ROW_LOOP void shift_to_u8(const In *__restrict in, uint8_t *__restrict out, int n, int norm)
{
    for (int x = 0; x < n; x++) {
        const int v = in[x] >> norm;
        out[x] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

template <class In> IVE_ROW_LOOP void to_s16(const In *__restrict in, s16u *__restrict out, int n)
{
    for (int x = 0; x < n; x++) {
        const int v = in[x];
        out[x] = (int16_t)(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
    }
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

SIM_PIXEL_LOOP inline uint8_t clip8(int v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); }
// The same of a value known to fit 16 bits (a colour sum shifted down):
// clipped in 16-bit lanes, twice as many as 32-bit sums take.
SIM_PIXEL_LOOP inline uint8_t clip8_16(int16_t v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); }

// A row's chroma terms (with the rounding half) for each pixel from its
// pair's V and U: what R, G and B add to the luma term (YUV pictures are an
// even number of pixels wide).
struct ChromaTerms {
    std::vector<int32_t> r, g, b;
    explicit ChromaTerms(uint32_t w) : r(w), g(w), b(w) {}
};

IVE_ROW_LOOP void chroma_terms(const uint8_t *__restrict c, int32_t *__restrict r, int32_t *__restrict g,
                               int32_t *__restrict b, int n, ToRgb k)
{
    for (int i = 0; i < n / 2; i++) {
        const int v = c[2 * i] - 128, u = c[2 * i + 1] - 128;
        r[2 * i] = r[2 * i + 1] = k.cr * v + 512;
        g[2 * i] = g[2 * i + 1] = k.cgu * u + k.cgv * v + 512;
        b[2 * i] = b[2 * i + 1] = k.cb * u + 512;
    }
}

// One row of YUV to three channel rows.
IVE_ROW_LOOP void yuv_row(const uint8_t *__restrict luma, const int32_t *__restrict cr, const int32_t *__restrict cg,
                          const int32_t *__restrict cb, uint8_t *__restrict r, uint8_t *__restrict g,
                          uint8_t *__restrict b, int n, int ky, int y_off)
{
    for (int x = 0; x < n; x++) {
        const int t = ky * (luma[x] - y_off);
        r[x] = clip8_16((int16_t)((t + cr[x]) >> 10));
        g[x] = clip8_16((int16_t)((t + cg[x]) >> 10));
        b[x] = clip8_16((int16_t)((t + cb[x]) >> 10));
    }
}

// The same into one packed row: R, G, B (or B, G, R) per pixel.
template <bool kBgr> IVE_ROW_LOOP void yuv_row_packed(const uint8_t *__restrict luma, const int32_t *__restrict cr,
                                                      const int32_t *__restrict cg, const int32_t *__restrict cb,
                                                      uint8_t *__restrict out, int n, int ky, int y_off)
{
    for (int x = 0; x < n; x++) {
        const int t = ky * (luma[x] - y_off);
        out[3 * x + (kBgr ? 2 : 0)] = clip8_16((int16_t)((t + cr[x]) >> 10));
        out[3 * x + 1] = clip8_16((int16_t)((t + cg[x]) >> 10));
        out[3 * x + (kBgr ? 0 : 2)] = clip8_16((int16_t)((t + cb[x]) >> 10));
    }
}

IVE_ROW_LOOP void deinterleave3(const uint8_t *__restrict in, uint8_t *__restrict a, uint8_t *__restrict b,
                                uint8_t *__restrict c, int n)
{
    for (int x = 0; x < n; x++) {
        a[x] = in[3 * x];
        b[x] = in[3 * x + 1];
        c[x] = in[3 * x + 2];
    }
}

IVE_ROW_LOOP void luma_row(const uint8_t *__restrict r, const uint8_t *__restrict g, const uint8_t *__restrict b,
                           uint8_t *__restrict out, int n, ToYuv k, int y_off)
{
    for (int x = 0; x < n; x++)
        out[x] = clip8(((k.y[0] * r[x] + k.y[1] * g[x] + k.y[2] * b[x] + 512) >> 10) + y_off);
}

// V and U of every pixel pair's left pixel (n is even).
IVE_ROW_LOOP void chroma_row(const uint8_t *__restrict r, const uint8_t *__restrict g, const uint8_t *__restrict b,
                             uint8_t *__restrict out, int n, ToYuv k)
{
    for (int i = 0; i < n / 2; i++) {
        const int x = 2 * i;
        out[x] = clip8(((k.v[0] * r[x] + k.v[1] * g[x] + k.v[2] * b[x] + 512) >> 10) + 128);
        out[x + 1] = clip8(((k.u[0] * r[x] + k.u[1] * g[x] + k.u[2] * b[x] + 512) >> 10) + 128);
    }
}

// Work rows of a colour conversion.
struct ColourRows {
    std::vector<uint8_t> c[3];
    ChromaTerms terms;
    int64_t terms_of = -1; // the chroma row the terms are of: a 420 chroma row serves two lines
    explicit ColourRows(uint32_t w) : terms(w)
    {
        for (auto &row : c)
            row.resize(w);
    }
};

// Row y of a YUV picture (luma given, chroma from plane 1 of `src`) into
// row y of a three-channel picture.
void yuv_to_rgb_row(const uint8_t *luma, const Image &src, const Image &dst, uint32_t y, uint32_t mode,
                    ColourRows &rows)
{
    const int w = (int)dst.w;
    const ToRgb &k = kToRgb[mode & 3];
    ChromaTerms &t = rows.terms;
    const uint32_t chroma = src.type == YUV420 ? y / 2 : y;
    if (rows.terms_of != chroma)
        chroma_terms(src.p[1].row(chroma), t.r.data(), t.g.data(), t.b.data(), w, k);
    rows.terms_of = chroma;
    const bool bgr = mode & 4;
    const int y_off = mode & 1 ? 0 : 16;
    if (dst.type == RGB_PLANAR)
        yuv_row(luma, t.r.data(), t.g.data(), t.b.data(), dst.p[bgr ? 2 : 0].row(y), dst.p[1].row(y),
                dst.p[bgr ? 0 : 2].row(y), w, k.y, y_off);
    else if (bgr)
        yuv_row_packed<true>(luma, t.r.data(), t.g.data(), t.b.data(), dst.p[0].row(y), w, k.y, y_off);
    else
        yuv_row_packed<false>(luma, t.r.data(), t.g.data(), t.b.data(), dst.p[0].row(y), w, k.y, y_off);
}

void rgb_to_yuv(const Image &src, const Image &dst, uint32_t mode)
{
    const ToYuv &k = kToYuv[mode & 3];
    const uint32_t sub_y = dst.type == YUV420 ? 2 : 1;
    ColourRows rows(src.w);
    for (uint32_t y = 0; y < src.h; y++) {
        const uint8_t *c[3];
        if (src.type == RGB_PACKAGE) {
            deinterleave3(src.p[0].row(y), rows.c[0].data(), rows.c[1].data(), rows.c[2].data(), (int)src.w);
            c[0] = rows.c[0].data(), c[1] = rows.c[1].data(), c[2] = rows.c[2].data();
        } else {
            c[0] = src.p[0].row(y), c[1] = src.p[1].row(y), c[2] = src.p[2].row(y);
        }
        luma_row(c[0], c[1], c[2], dst.p[0].row(y), (int)src.w, k, mode & 1 ? 0 : 16);
        if (y % sub_y == 0)
            chroma_row(c[0], c[1], c[2], dst.p[1].row(y / sub_y), (int)src.w, k);
    }
}

// ---- shared steps ----------------------------------------------------------------------------------

// A source and a destination of the same size.
int src_dst(const IVE_IMG_DESC_S &s, std::initializer_list<uint32_t> st, Image *src, const IVE_IMG_DESC_S &d,
            std::initializer_list<uint32_t> dt, Image *dst)
{
    if (int err = image(s, src, st))
        return err;
    return sized(d, dt, *src, dst);
}

// The luma plane filtered by the mask, one row at a time: row y into
// row_of(y), then done(y).
template <class RowOf, class Done>
void filter_luma(const Image &src, const int8_t *mask, uint32_t norm, RowOf row_of, Done done)
{
    gradient_rows(src.p[0], src.w, src.h, mask, true, false, [&](uint32_t y, const SumRow *h, const SumRow *) {
        uint8_t *out = row_of(y);
        with_sums(*h, [&](auto *sums) { shift_to_u8(sums, out, (int)src.w, (int)norm); });
        done(y);
    });
}

void copy_plane(const Image &src, const Image &dst, int plane)
{
    for (uint32_t y = 0; y < src.p[plane].rows; y++)
        memcpy(dst.p[plane].row(y), src.p[plane].row(y), src.w);
}

// Dilate and Erode: the extreme over the mask, row by row.
int morphology(const IVE_IMG_DESC_S &s, const IVE_IMG_DESC_S &d, const uint8_t *mask, bool maximum)
{
    Image src, dst;
    if (int err = src_dst(s, {U8C1}, &src, d, {U8C1}, &dst))
        return err;
    Sources sources({dst.p[0]});
    src = sources.read(src);
    RowWindow win(src.p[0], src.w, src.h, 2);
    Extreme extreme(mask, maximum, (int)src.w);
    for (uint32_t y = 0; y < src.h; y++) {
        extreme.row(win, (int)y, (int)src.h, dst.p[0].row(y));
        if (y + 1 < src.h)
            win.next();
    }
    return 0;
}

// Whether the destination is what the DMA mode makes of the source: the
// same size (copy), or the interval copy's segments of every n-th line.
bool dma_fits(const IVE_DMA_REQ_S &b)
{
    const IVE_DMA_CTRL_S &c = b.stDmaCtrl;
    const uint32_t w = b.stSrc.u16Width, h = b.stSrc.u16Height;
    if (c.enMode == 0)
        return b.stDst.u16Width == w && b.stDst.u16Height == h;
    const uint32_t hor = c.u8HorSegSize, elem = c.u8ElemSize, rows = c.u8VerSegRows;
    const bool segments = hor == 2 || hor == 3 || hor == 4 || hor == 8 || hor == 16;
    return segments && elem >= 1 && elem < hor && rows >= 1 && w % hor == 0 && b.stDst.u16Width == w / hor * elem &&
           b.stDst.u16Height == (h + rows - 1) / rows;
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
    if (!dma_fits(b))
        return EINVAL;
    const uint32_t hor = c.u8HorSegSize, elem = c.u8ElemSize, rows = c.u8VerSegRows;
    Sources sources({dst});
    src = sources.read(src, w);
    if (c.enMode == 0) {
        for (uint32_t y = 0; y < h; y++)
            memcpy(dst.row(y), src.row(y), w);
        return 0;
    }
    for (uint32_t oy = 0; oy < b.stDst.u16Height; oy++) {
        const uint8_t *in = src.row(oy * rows);
        for (uint32_t s = 0; s < w / hor; s++)
            memcpy(dst.row(oy) + s * elem, in + s * hor, elem);
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
    Sources sources({dst.p[0], dst.p[1]});
    src = sources.read(src);
    filter_luma(
        src, b.stCtrl.as8Mask, b.stCtrl.u8Norm, [&](uint32_t y) { return dst.p[0].row(y); }, [](uint32_t) {});
    if (src.type != U8C1)
        copy_plane(src, dst, 1);
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
    } else if (int err = src_dst(b.stSrc, {RGB_PACKAGE, RGB_PLANAR}, &src, b.stDst, {YUV420, YUV422}, &dst)) {
        return err;
    }
    Sources sources({dst.p[0], dst.p[1], dst.p[2]});
    src = sources.read(src);
    if (mode >= 8) {
        rgb_to_yuv(src, dst, mode);
        return 0;
    }
    ColourRows rows(src.w);
    for (uint32_t y = 0; y < src.h; y++)
        yuv_to_rgb_row(src.p[0].row(y), src, dst, y, mode, rows);
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
    Sources sources({dst.p[0], dst.p[1], dst.p[2]});
    src = sources.read(src);
    ColourRows rows(src.w);
    std::vector<uint8_t> luma(src.w);
    filter_luma(
        src, c.as8Mask, c.u8Norm, [&](uint32_t) { return luma.data(); },
        [&](uint32_t y) { yuv_to_rgb_row(luma.data(), src, dst, y, c.enMode, rows); });
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
        if (int err = sized(b.stDst1, {S16C1}, src, &h))
            return err;
    if (out != 1)
        if (int err = sized(b.stDst2, {S16C1}, src, &v))
            return err;
    Sources sources({h.p[0], v.p[0]});
    src = sources.read(src);
    gradient_rows(
        src.p[0], src.w, src.h, b.stCtrl.as8Mask, out != 2, out != 1,
        [&](uint32_t y, const SumRow *gh, const SumRow *gv) {
            if (gh)
                with_sums(*gh, [&](auto *s) { to_s16(s, reinterpret_cast<s16u *>(h.p[0].row(y)), (int)src.w); });
            if (gv)
                with_sums(*gv, [&](auto *s) { to_s16(s, reinterpret_cast<s16u *>(v.p[0].row(y)), (int)src.w); });
        });
    return 0;
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
        if (int err = sized(b.stDst2, {U8C1}, src, &ang))
            return err;
    Sources sources({mag.p[0], ang.p[0]});
    src = sources.read(src);
    gradient_rows(src.p[0], src.w, src.h, b.stCtrl.as8Mask, true, true,
                  [&](uint32_t y, const SumRow *gh, const SumRow *gv) {
                      mag_and_ang_row(*gh, *gv, reinterpret_cast<u16u *>(mag.p[0].row(y)),
                                      out == 1 ? ang.p[0].row(y) : nullptr, (int)src.w);
                  });
    return 0;
}

int op_dilate(const IVE_DILATE_REQ_S &b) { return morphology(b.stSrc, b.stDst, b.stCtrl.au8Mask, true); }

int op_erode(const IVE_ERODE_REQ_S &b) { return morphology(b.stSrc, b.stDst, b.stCtrl.au8Mask, false); }

int op_ord_stat_filter(const IVE_ORD_STAT_FILTER_REQ_S &b)
{
    const uint32_t mode = b.stCtrl.enMode;
    if (mode > 2)
        return EINVAL;
    if (mode > 0) { // the maximum or minimum of the 3 x 3 square
        static const uint8_t kSquare[25] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0, 0};
        return morphology(b.stSrc, b.stDst, kSquare, mode == 1);
    }
    Image src, dst;
    if (int err = src_dst(b.stSrc, {U8C1}, &src, b.stDst, {U8C1}, &dst))
        return err;
    Sources sources({dst.p[0]});
    src = sources.read(src);
    RowWindow win(src.p[0], src.w, src.h, 1);
    std::vector<uint8_t> work;
    for (uint32_t y = 0; y < src.h; y++) {
        median3_row(win, (int)src.w, dst.p[0].row(y), work);
        if (y + 1 < src.h)
            win.next();
    }
    return 0;
}

} // namespace ive
} // namespace sim
