// The engine's point operators: thresholds, bitwise and arithmetic
// operators, 16-to-8-bit conversion, mapping, histograms, equalisation and
// the integral image. Each runs a plain loop over a row that the compiler
// vectorises, outside the sanitizers (the board's simulated hardware); the
// rules they follow are in board/sim/ive/ive.h.
#include "board/sim/ive/ive.h"
#include "board/sim/ive/ive_rows.h" // IVE_ROW_LOOP

#include <cerrno>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace sim {
namespace ive {

namespace {

constexpr uint32_t U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, S16C1 = IVE_IMAGE_TYPE_S16C1,
                   U16C1 = IVE_IMAGE_TYPE_U16C1;

// A source and a destination of the same size, the source read as the task
// must (a copy when the destination overlaps it).
int src_dst(const IVE_IMG_DESC_S &s, std::initializer_list<uint32_t> st, Image *src, const IVE_IMG_DESC_S &d,
            std::initializer_list<uint32_t> dt, Image *dst, Sources *sources)
{
    if (int err = image(s, src, st))
        return err;
    if (int err = sized(d, dt, *src, dst))
        return err;
    *sources = Sources({dst->p[0]});
    *src = sources->read(*src);
    return 0;
}

// ---- thresholds ------------------------------------------------------------------------------

// What each band becomes: the pixel itself (keep 0xFF, value 0) or a value
// (keep 0, the value).
struct Bands {
    uint8_t keep[3], value[3];
};

Bands bands(const int *which, const uint8_t *values)
{
    Bands b;
    for (int i = 0; i < 3; i++) {
        b.keep[i] = which[i] < 0 ? 0xFF : 0;
        b.value[i] = which[i] < 0 ? 0 : values[which[i]];
    }
    return b;
}

IVE_ROW_LOOP void thresh_row(const uint8_t *__restrict in, uint8_t *__restrict out, int n, uint8_t low, uint8_t high,
                             Bands b)
{
    for (int x = 0; x < n; x++) {
        const uint8_t v = in[x];
        const uint8_t lo = (uint8_t)((v & b.keep[0]) | b.value[0]), mid = (uint8_t)((v & b.keep[1]) | b.value[1]),
                      hi = (uint8_t)((v & b.keep[2]) | b.value[2]);
        out[x] = v <= low ? lo : v <= high ? mid : hi;
    }
}

// The 16-bit thresholds: three bands, the middle one the value's low byte
// or a constant; compared in the elements' own type.
template <class In, class T>
IVE_ROW_LOOP void thresh16_row(const In *__restrict in, uint8_t *__restrict out, int n, T low, T high, Bands b)
{
    for (int x = 0; x < n; x++) {
        const T v = in[x];
        const uint8_t mid = (uint8_t)(((uint8_t)v & b.keep[1]) | b.value[1]);
        out[x] = v <= low ? b.value[0] : v <= high ? mid : b.value[2];
    }
}

// A 16-bit threshold operator: the middle band the pixel's low byte
// (`pass_mid`) or the middle value.
template <class In, class T> int thresh16(const IVE_IMG_DESC_S &s, const IVE_IMG_DESC_S &d, uint32_t st, uint32_t dt,
                                          bool pass_mid, const uint8_t *vals, T low, T high)
{
    Image src, dst;
    Sources sources;
    if (int err = src_dst(s, {st}, &src, d, {dt}, &dst, &sources))
        return err;
    const int which[3] = {0, pass_mid ? -1 : 1, 2};
    const Bands bs = bands(which, vals);
    for (uint32_t y = 0; y < src.h; y++)
        thresh16_row<In, T>(reinterpret_cast<const In *>(src.p[0].row(y)), dst.p[0].row(y), (int)src.w, low, high, bs);
    return 0;
}

// ---- two sources ---------------------------------------------------------------------------------

enum class Binary { And, Or, Xor, AbsDiff, HalfDiff, Blend };

// X a + Y b with X + Y = 65536 is 65536 b + X (a - b): the blend is b plus
// a rounded share of the difference.
template <Binary kOp> IVE_ROW_LOOP void binary_row(const uint8_t *__restrict a, const uint8_t *__restrict b,
                                                   uint8_t *__restrict out, int n, int wx)
{
    for (int x = 0; x < n; x++) {
        const int p = a[x], q = b[x];
        if (kOp == Binary::And)
            out[x] = (uint8_t)(p & q);
        else if (kOp == Binary::Or)
            out[x] = (uint8_t)(p | q);
        else if (kOp == Binary::Xor)
            out[x] = (uint8_t)(p ^ q);
        else if (kOp == Binary::AbsDiff)
            out[x] = (uint8_t)(p > q ? p - q : q - p);
        else if (kOp == Binary::HalfDiff)
            out[x] = (uint8_t)((p - q) >> 1);
        else
            out[x] = (uint8_t)(q + ((wx * (p - q) + 32768) >> 16));
    }
}

template <Binary kOp>
int binary(const IVE_IMG_DESC_S &s1, const IVE_IMG_DESC_S &s2, const IVE_IMG_DESC_S &d, uint32_t dt, int wx = 0)
{
    Image a, b, dst;
    if (int err = image(s1, &a, {U8C1}))
        return err;
    if (int err = sized(s2, {U8C1}, a, &b))
        return err;
    if (int err = sized(d, {dt}, a, &dst))
        return err;
    Sources sources({dst.p[0]});
    a = sources.read(a);
    b = sources.read(b);
    for (uint32_t y = 0; y < a.h; y++)
        binary_row<kOp>(a.p[0].row(y), b.p[0].row(y), dst.p[0].row(y), (int)a.w, wx);
    return 0;
}

// ---- 16 to 8 bits ----------------------------------------------------------------------------------

// v x num / den truncated toward zero, for |v| < 2^16 and num <= 255: the
// magnitude times num / den in double precision, plus 2^-20, truncated. The
// product errs by less than 2^-26, and a quotient that is not whole lies at
// least 1 / den >= 2^-16 below the next whole number: the sum truncates to
// the exact quotient either way.
template <uint32_t kMode, class In>
IVE_ROW_LOOP void to8_row(const In *__restrict in, uint8_t *__restrict out, int n, int num, int den, int bias)
{
    const double ratio = (double)num / den, nudge = 1.0 / (1 << 20);
    for (int x = 0; x < n; x++) {
        const int v = in[x], a = v < 0 ? -v : v;
        const int m = (int)((double)a * ratio + nudge), q = v < 0 ? -m : m;
        int o;
        if (kMode == 0)
            o = q < -128 ? -128 : q > 127 ? 127 : q;
        else if (kMode == 1)
            o = m > 255 ? 255 : m;
        else if (kMode == 2)
            o = q + bias < 0 ? 0 : q + bias > 255 ? 255 : q + bias;
        else
            o = q > 255 ? 255 : q;
        out[x] = (uint8_t)o;
    }
}

template <uint32_t kMode, class In> void to8(const Image &src, const Image &dst, const IVE_16BIT_TO_8BIT_CTRL_S &c)
{
    for (uint32_t y = 0; y < src.h; y++)
        to8_row<kMode>(reinterpret_cast<const In *>(src.p[0].row(y)), dst.p[0].row(y), (int)src.w, c.u8Numerator,
                       c.u16Denominator, c.s8Bias);
}

// ---- tables, histograms, sums -------------------------------------------------------------------

#if defined(__x86_64__)
// A lookup per pixel is a byte permute of the table, which no compiler
// makes of a loop: where the processor has 64-byte permutes (AVX-512 VBMI),
// 64 pixels at a time, the table in four registers, two permutes by the low
// seven bits and the high bit choosing between them. Returns the pixels done.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) SIM_PIXEL_LOOP int map_permute(const uint8_t *in, uint8_t *out,
                                                                                      int n, const uint8_t *table)
{
    const __m512i t0 = _mm512_loadu_si512(table), t1 = _mm512_loadu_si512(table + 64),
                  t2 = _mm512_loadu_si512(table + 128), t3 = _mm512_loadu_si512(table + 192);
    int x = 0;
    for (; x + 64 <= n; x += 64) {
        const __m512i v = _mm512_loadu_si512(in + x);
        const __m512i low = _mm512_permutex2var_epi8(t0, v, t1), high = _mm512_permutex2var_epi8(t2, v, t3);
        _mm512_storeu_si512(out + x, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high));
    }
    return x;
}
const bool kPermutes = __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw");
#else
int map_permute(const uint8_t *, uint8_t *, int, const uint8_t *) { return 0; }
const bool kPermutes = false;
#endif

// Elsewhere eight lookups at a time, read and written as one word.
SIM_PIXEL_LOOP void map_row(const uint8_t *__restrict in, uint8_t *__restrict out, int n, const uint8_t *table)
{
    int x = kPermutes ? map_permute(in, out, n, table) : 0;
    for (; x + 8 <= n; x += 8) {
        uint64_t v, o = 0;
        memcpy(&v, in + x, 8);
#pragma GCC unroll 8
        for (int i = 0; i < 8; i++)
            o |= (uint64_t)table[(v >> (8 * i)) & 0xFF] << (8 * i);
        memcpy(out + x, &o, 8);
    }
    for (; x < n; x++)
        out[x] = table[in[x]];
}

// Four partial histograms, so that runs of equal pixels don't wait on each
// other's counts.
SIM_PIXEL_LOOP void histogram(const Plane &p, uint32_t w, uint32_t h, uint32_t *bins)
{
    uint32_t part[4][256] = {};
    for (uint32_t y = 0; y < h; y++) {
        const uint8_t *in = p.row(y);
        uint32_t x = 0;
        for (; x + 4 <= w; x += 4) {
            part[0][in[x]]++;
            part[1][in[x + 1]]++;
            part[2][in[x + 2]]++;
            part[3][in[x + 3]]++;
        }
        for (; x < w; x++)
            part[0][in[x]]++;
    }
    for (int v = 0; v < 256; v++)
        bins[v] = part[0][v] + part[1][v] + part[2][v] + part[3][v];
}

// The column sums of the rows above and the running row sums, per output
// element as enOutCtrl packs them.
SIM_PIXEL_LOOP void integral_row(const uint8_t *__restrict in, uint64_t *__restrict sum, uint64_t *__restrict sq,
                                 uint8_t *__restrict out, uint32_t w, uint32_t mode)
{
    uint64_t rs = 0, rq = 0;
    for (uint32_t x = 0; x < w; x++) {
        const uint32_t v = in[x];
        rs += v;
        rq += v * v;
        sum[x] += rs;
        sq[x] += rq;
        if (mode == 0)
            reinterpret_cast<u64u *>(out)[x] = (sum[x] & 0xFFFFFFFull) | (sq[x] & 0xFFFFFFFFFull) << 28;
        else if (mode == 1)
            reinterpret_cast<u32u *>(out)[x] = (uint32_t)sum[x];
        else
            reinterpret_cast<u64u *>(out)[x] = sq[x];
    }
}

// The 32-bit sums alone (enOutCtrl 1), which wrap as the sums' low 32 bits
// do: the row's running sums added to the row above's, 32 pixels at a time.
// The running sums of 32 (at most 8160) come from five shifted adds in 16
// bits; widened (each interleaved with a zero), they get the sum carried
// from the pixels before, which the last of them carries on, so that one
// add links one group to the next.
typedef uint16_t u16x32 __attribute__((vector_size(64)));
typedef uint32_t u32x16 __attribute__((vector_size(64)));
typedef uint32_t u32x16u __attribute__((vector_size(64), aligned(1), may_alias));
typedef uint8_t u8x32u __attribute__((vector_size(32), aligned(1), may_alias));

IVE_ROW_LOOP void integral_sums_row(const uint8_t *__restrict in, const u32u *above, u32u *out, uint32_t w)
{
    const u16x32 zero = {};
    u32x16 carry = {};
    uint32_t x = 0;
    for (; x + 32 <= w; x += 32) {
        u16x32 v = __builtin_convertvector(*reinterpret_cast<const u8x32u *>(in + x), u16x32);
        v += __builtin_shufflevector(zero, v, 0, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49,
                                     50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62);
        v += __builtin_shufflevector(zero, v, 0, 0, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48,
                                     49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61);
        v += __builtin_shufflevector(zero, v, 0, 0, 0, 0, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46,
                                     47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59);
        v += __builtin_shufflevector(zero, v, 0, 0, 0, 0, 0, 0, 0, 0, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
                                     44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55);
        v += __builtin_shufflevector(zero, v, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 33, 34, 35, 36, 37,
                                     38, 39, 40, 41, 42, 43, 44, 45, 46, 47);
        const u32x16 low = (u32x16)__builtin_shufflevector(v, zero, 0, 32, 1, 32, 2, 32, 3, 32, 4, 32, 5, 32, 6, 32, 7,
                                                           32, 8, 32, 9, 32, 10, 32, 11, 32, 12, 32, 13, 32, 14, 32, 15,
                                                           32);
        const u32x16 high = (u32x16)__builtin_shufflevector(v, zero, 16, 32, 17, 32, 18, 32, 19, 32, 20, 32, 21, 32, 22,
                                                            32, 23, 32, 24, 32, 25, 32, 26, 32, 27, 32, 28, 32, 29, 32,
                                                            30, 32, 31, 32);
        *reinterpret_cast<u32x16u *>(&out[x]) = *reinterpret_cast<const u32x16u *>(&above[x]) + carry + low;
        *reinterpret_cast<u32x16u *>(&out[x + 16]) = *reinterpret_cast<const u32x16u *>(&above[x + 16]) + carry + high;
        carry += (u32x16)__builtin_shufflevector(v, zero, 31, 32, 31, 32, 31, 32, 31, 32, 31, 32, 31, 32, 31, 32, 31,
                                                 32, 31, 32, 31, 32, 31, 32, 31, 32, 31, 32, 31, 32, 31, 32, 31, 32);
    }
    uint32_t run = carry[0];
    for (; x < w; x++) {
        run += in[x];
        out[x] = above[x] + run;
    }
}

} // namespace

// ---- operators --------------------------------------------------------------------------------

int op_thresh(const IVE_THRESH_REQ_S &b)
{
    const IVE_THRESH_CTRL_S &c = b.stCtrl;
    if (c.enMode > 7)
        return EINVAL;
    Image src, dst;
    Sources sources;
    if (int err = src_dst(b.stSrc, {U8C1}, &src, b.stDst, {U8C1}, &dst, &sources))
        return err;
    // Per mode: what the low, middle and high band become (-1: the pixel).
    static const int kBands[8][3] = {{0, 2, 2},  {-1, 2, 2}, {0, -1, -1}, {0, 1, 2},
                                     {-1, 1, 2}, {0, 1, -1}, {0, -1, 2},  {-1, 1, -1}};
    const uint8_t vals[3] = {c.u8MinVal, c.u8MidVal, c.u8MaxVal};
    const Bands bs = bands(kBands[c.enMode], vals);
    const uint8_t high = c.enMode < 3 ? 255 : c.u8HighThr;
    for (uint32_t y = 0; y < src.h; y++)
        thresh_row(src.p[0].row(y), dst.p[0].row(y), (int)src.w, c.u8LowThr, high, bs);
    return 0;
}

int op_thresh_s16(const IVE_THRESH_S16_REQ_S &b)
{
    const IVE_THRESH_S16_CTRL_S &c = b.stCtrl;
    if (c.enMode > 3)
        return EINVAL;
    const uint8_t vals[3] = {c.un8MinVal.u8Val, c.un8MidVal.u8Val, c.un8MaxVal.u8Val};
    return thresh16<s16u, int16_t>(b.stSrc, b.stDst, S16C1, c.enMode < 2 ? S8C1 : U8C1, c.enMode % 2 == 1, vals,
                                   c.s16LowThr, c.s16HighThr);
}

int op_thresh_u16(const IVE_THRESH_U16_REQ_S &b)
{
    const IVE_THRESH_U16_CTRL_S &c = b.stCtrl;
    if (c.enMode > 1)
        return EINVAL;
    const uint8_t vals[3] = {c.u8MinVal, c.u8MidVal, c.u8MaxVal};
    return thresh16<u16u, uint16_t>(b.stSrc, b.stDst, U16C1, U8C1, c.enMode == 1, vals, c.u16LowThr, c.u16HighThr);
}

int op_and(const IVE_BINARY_REQ_S &b) { return binary<Binary::And>(b.stSrc1, b.stSrc2, b.stDst, U8C1); }

int op_or(const IVE_BINARY_REQ_S &b) { return binary<Binary::Or>(b.stSrc1, b.stSrc2, b.stDst, U8C1); }

int op_xor(const IVE_BINARY_REQ_S &b) { return binary<Binary::Xor>(b.stSrc1, b.stSrc2, b.stDst, U8C1); }

int op_sub(const IVE_SUB_REQ_S &b)
{
    if (b.stCtrl.enMode == 0)
        return binary<Binary::AbsDiff>(b.stSrc1, b.stSrc2, b.stDst, U8C1);
    if (b.stCtrl.enMode == 1)
        return binary<Binary::HalfDiff>(b.stSrc1, b.stSrc2, b.stDst, S8C1);
    return EINVAL;
}

int op_add(const IVE_ADD_REQ_S &b)
{
    const uint32_t wx = b.stCtrl.u0q16X, wy = b.stCtrl.u0q16Y;
    if (wx + wy != 65536)
        return EINVAL;
    return binary<Binary::Blend>(b.stSrc1, b.stSrc2, b.stDst, U8C1, (int)wx);
}

int op_16bit_to_8bit(const IVE_16BIT_TO_8BIT_REQ_S &b)
{
    const IVE_16BIT_TO_8BIT_CTRL_S &c = b.stCtrl;
    if (c.enMode > 3 || c.u16Denominator == 0)
        return EINVAL;
    Image src, dst;
    Sources sources;
    if (int err = src_dst(b.stSrc, {c.enMode == 3 ? U16C1 : S16C1}, &src, b.stDst, {c.enMode == 0 ? S8C1 : U8C1}, &dst,
                          &sources))
        return err;
    switch (c.enMode) {
    case 0:
        to8<0, s16u>(src, dst, c);
        break;
    case 1:
        to8<1, s16u>(src, dst, c);
        break;
    case 2:
        to8<2, s16u>(src, dst, c);
        break;
    default:
        to8<3, u16u>(src, dst, c);
        break;
    }
    return 0;
}

int op_map(const IVE_MAP_REQ_S &b)
{
    uint8_t *table;
    if (int err = memory(b.stMap, 256, &table))
        return err;
    Image src, dst;
    Sources sources;
    if (int err = src_dst(b.stSrc, {U8C1}, &src, b.stDst, {U8C1}, &dst, &sources))
        return err;
    uint8_t t[256]; // the table may lie under the destination too
    memcpy(t, table, 256);
    for (uint32_t y = 0; y < src.h; y++)
        map_row(src.p[0].row(y), dst.p[0].row(y), (int)src.w, t);
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
    uint32_t h[256];
    histogram(src.p[0], src.w, src.h, h);
    memcpy(bins, h, sizeof h);
    return 0;
}

int op_equalize_hist(const IVE_EQUALIZE_HIST_REQ_S &b)
{
    Image src, dst;
    uint8_t *work;
    if (int err = image(b.stSrc, &src, {U8C1}))
        return err;
    if (int err = sized(b.stDst, {U8C1}, src, &dst))
        return err;
    if (int err = memory(b.stCtrl.stMem, 1280, &work))
        return err;
    Sources sources({dst.p[0], span(work, 1280)});
    src = sources.read(src);
    uint32_t hist[256];
    histogram(src.p[0], src.w, src.h, hist);
    uint8_t table[256];
    const uint64_t n = (uint64_t)src.w * src.h;
    uint64_t cdf = 0;
    for (int v = 0; v < 256; v++) {
        cdf += hist[v];
        table[v] = (uint8_t)((cdf * 255 + n / 2) / n);
    }
    for (uint32_t y = 0; y < src.h; y++)
        map_row(src.p[0].row(y), dst.p[0].row(y), (int)src.w, table);
    memcpy(work, hist, sizeof hist);
    memcpy(work + 1024, table, 256);
    return 0;
}

int op_integ(const IVE_INTEG_REQ_S &b)
{
    const uint32_t out = b.stCtrl.enOutCtrl;
    if (out > 2)
        return EINVAL;
    Image src, dst;
    Sources sources;
    if (int err = src_dst(b.stSrc, {U8C1}, &src, b.stDst, {out == 1 ? IVE_IMAGE_TYPE_U32C1 : IVE_IMAGE_TYPE_U64C1},
                          &dst, &sources))
        return err;
    if (out == 1) {
        // The first row adds to a row of zeros, each later one to the row it follows.
        const std::vector<uint32_t> zeros(src.w, 0);
        for (uint32_t y = 0; y < src.h; y++)
            integral_sums_row(src.p[0].row(y), y ? reinterpret_cast<const u32u *>(dst.p[0].row(y - 1)) : zeros.data(),
                              reinterpret_cast<u32u *>(dst.p[0].row(y)), src.w);
        return 0;
    }
    std::vector<uint64_t> sum(src.w, 0), sq(src.w, 0);
    for (uint32_t y = 0; y < src.h; y++)
        integral_row(src.p[0].row(y), sum.data(), sq.data(), dst.p[0].row(y), src.w, out);
    return 0;
}

} // namespace ive
} // namespace sim
