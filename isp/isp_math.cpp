// Fixed-point helpers of the ISP firmware. Every helper is total: no shift
// by a negative or oversized amount and no division by zero.
#include "isp/isp_math.h"

#include <algorithm>

const u32 _pow2_lut[33] = {
    0x40000000, 0x4166C34C, 0x42D561B4, 0x444C0740, 0x45CAE0F2, 0x47521CC6, 0x48E1E9BA,
    0x4A7A77D4, 0x4C1BF829, 0x4DC69CDD, 0x4F7A9930, 0x51382182, 0x52FF6B55, 0x54D0AD5A,
    0x56AC1F75, 0x5891FAC1, 0x5A82799A, 0x5C7DD7A4, 0x5E8451D0, 0x60962665, 0x62B39509,
    0x64DCDEC3, 0x6712460B, 0x69540EC9, 0x6BA27E65, 0x6DFDDBCC, 0x70666F76, 0x72DC8374,
    0x75606374, 0x77F25CCE, 0x7A92BE8B, 0x7D41D96E, 0x7FFFFFFF,
};

u32 leading_one_position(u32 x)
{
    u32 pos = 0;
    while (x > 1) {
        x >>= 1;
        pos++;
    }
    return pos;
}

u32 sqrt16(u32 x)
{
    u32 r = 0;
    for (u32 bit = 0x80; bit; bit >>= 1)
        if ((r + bit) * (r + bit) <= x)
            r += bit;
    return r;
}

u32 log16(u32 x)
{
    if (x <= 1)
        return 0;
    u32 i = 15;
    while (x <= (1u << i))
        i--;
    return (16 * i + ((x << 4) >> i)) & 0xFF;
}

u32 Sqrt32(u32 x)
{
    u32 r = 0;
    for (u32 bit = 0x8000; bit; bit >>= 1)
        if ((u64)(r + bit) * (r + bit) <= x)
            r += bit;
    if (x > (u64)r * (r + 1))
        r++;
    return r;
}

namespace {

// log2 of x with `frac` fraction bits: the leading one's position, then the
// mantissa (leading one at bit 15) squared once per fraction bit. The
// mantissa left at the end is returned through `last`.
u64 log2_fixed(u32 x, u32 frac, u32 *last)
{
    u32 msb = leading_one_position(x);
    u32 m = msb > 15 ? x >> (msb - 15) : x << (15 - msb);
    u32 fraction = 0;
    for (u32 k = 0; k < frac; k++) {
        u32 sq = m * m;
        u32 bit = sq >> 31;
        fraction = (fraction << 1) | bit;
        m = bit ? sq >> 16 : sq >> 15;
    }
    *last = m;
    return ((u64)msb << frac) + fraction;
}

u32 shift_left_sat(u64 v, u32 k)
{
    if (k >= 32 || v > (0xFFFFFFFFull >> k))
        return 0xFFFFFFFF;
    return (u32)(v << k);
}

} // namespace

u32 math_log2(u32 x, u32 frac, u32 shift)
{
    if (x == 0)
        return 0;
    u32 last;
    return shift_left_sat(log2_fixed(x, frac, &last), shift);
}

u32 log2_int_to_fixed(u32 x, u32 frac, u32 shift)
{
    if (x == 0)
        return 0;
    u32 last;
    u32 log = shift_left_sat(log2_fixed(x, frac, &last), shift);
    u32 rest = last & 0x7FFF;
    return log | (shift <= 15 ? rest >> (15 - shift) : shift_left_sat(rest, shift - 15));
}

u32 math_exp2(u32 x, u32 frac, u32 shift)
{
    if (frac > 31)
        frac = 31;
    u32 n = x >> frac;
    u32 f = x & ((1u << frac) - 1);
    u64 v;
    if (frac < 6) {
        v = _pow2_lut[f << (5 - frac)];
    } else {
        u32 step = frac - 5;
        u32 i = f >> step;
        u64 w = f & ((1u << step) - 1);
        v = _pow2_lut[i] + (((u64)(_pow2_lut[i + 1] - _pow2_lut[i]) * w) >> step);
    }
    // 2^n scales the table value; a result above 32 bits saturates.
    s64 right = 30 - (s64)shift - (s64)n;
    if (right >= 0)
        return right >= 64 ? 0 : (u32)(v >> right);
    return shift_left_sat(v, (u32)std::min<s64>(-right, 32));
}

s32 solving_lin_equation_a(s32 y1, s32 y0, s32 x1, s32 x0, u32 shift)
{
    if (x1 == x0)
        return 0;
    return (s32)(((s64)(y1 - y0) * ((s64)1 << shift)) / ((s64)x1 - x0));
}

s32 solving_lin_equation_b(s32 y, s32 a, s32 x, u32 shift)
{
    return (s32)((s64)y * ((s64)1 << shift) - (s64)a * x);
}

u32 div_fixed(u32 a, u32 b, u32 shift)
{
    if (b == 0)
        return 0;
    return (u32)(((u64)a << shift) / b);
}

s32 solving_nth_root_045(s32 x, u32 shift)
{
    s64 xs = (s64)x * ((s64)1 << shift);
    return (s32)(xs / 4 + ((s64)1 << shift) - xs / 8);
}

s32 transition(const u32 *xs, const s32 *ys, u32 n, u32 x, u32 shift)
{
    if (!xs || !ys || n == 0)
        return 0;
    u32 xi = x >> shift;
    if (xi < xs[0])
        return ys[0];
    if (xi >= xs[n - 1])
        return ys[n - 1];
    u32 k = 1;
    while (xi >= xs[k])
        k++;
    s64 dx = (s64)x - ((s64)xs[k - 1] << shift);
    s64 v = dx * (ys[k] - ys[k - 1]) / ((s64)xs[k] - xs[k - 1]) + (s64)ys[k - 1] * ((s64)1 << shift);
    return (s32)(v >> shift);
}

u32 isp_iso_grid(u32 i) { return 100u << (i < ISP_ISO_POINTS ? i : ISP_ISO_POINTS - 1); }

IspIsoSegment isp_iso_segment(u32 iso)
{
    IspIsoSegment s;
    s.iso = iso < 100 ? 100 : iso;
    if (s.iso >= isp_iso_grid(ISP_ISO_POINTS - 1)) {
        s.lo = s.hi = ISP_ISO_POINTS - 1;
        return s;
    }
    u32 i = 1;
    while (isp_iso_grid(i) <= s.iso)
        i++;
    s.lo = i - 1;
    s.hi = i;
    return s;
}

s32 isp_iso_interpolate(const u8 table[ISP_ISO_POINTS], u32 iso)
{
    IspIsoSegment s = isp_iso_segment(iso);
    if (s.lo == s.hi)
        return table[s.lo];
    s32 a = table[s.lo], b = table[s.hi];
    u32 lo = isp_iso_grid(s.lo), hi = isp_iso_grid(s.hi);
    s32 d = (s32)(((u64)(s.iso - lo) * (u32)(b > a ? b - a : a - b) + (hi - lo) / 2) / (hi - lo));
    return b > a ? a + d : a - d;
}
