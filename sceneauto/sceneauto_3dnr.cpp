// 3D noise reduction between the tuning image's ISO points: a point is
// blended from its two neighbours on a logarithmic ISO axis (six steps a
// doubling), field by field, where the two points use the same filter
// modes; otherwise the nearer point is taken whole.
#include "sceneauto/sceneauto_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

s32 iClip2(s32 x, s32 hi) { return std::min(std::max(x, 0), hi); }
s32 iMin2(s32 a, s32 b) { return std::min(a, b); }
s32 iMax2(s32 a, s32 b) { return std::max(a, b); }

using Bytes = u8[sizeof(SCENEAUTO_3DNR_PARAM_S)];
static_assert(sizeof(Bytes) == 66, "a 3DNR point is 66 bytes");

const u8 *bytes(const SCENEAUTO_3DNR_PARAM_S *p) { return reinterpret_cast<const u8 *>(p); }
u8 *bytes(SCENEAUTO_3DNR_PARAM_S *p) { return reinterpret_cast<u8 *>(p); }

s32 half(const u8 *p, u32 at)
{
    u16 v;
    memcpy(&v, p + at, 2);
    return v;
}
void put_half(u8 *p, u32 at, s32 v)
{
    const u16 h = (u16)v;
    memcpy(p + at, &h, 2);
}

// A place on the ISO axis; values below 4 lie below every real ISO.
s32 axis(u32 iso) { return iso >= 4 ? MapISO(iso) : -(s32)iso; }

// Blends the listed bytes and halfwords of lo and hi into out.
struct Blend {
    const u8 *lo, *hi;
    u8 *out;
    s32 wl, wh, d;
    s32 mix(s32 a, s32 b) const { return (wl * a + wh * b + (d >> 1)) / d; }
    void byte(u32 at, s32 limit = 255) const { out[at] = (u8)mix(std::min<s32>(lo[at], limit), std::min<s32>(hi[at], limit)); }
    void half16(u32 at) const { put_half(out, at, mix(half(lo, at), half(hi, at))); }
};

// Both of a group's selectors on the same side of 64: its fields blend.
bool same_mode(const u8 *lo, const u8 *hi, u32 at) { return (lo[at] <= 64) == (hi[at] <= 64); }

constexpr u32 kBlendKey = 20;

} // namespace

s32 MapISO(u32 x)
{
    u32 k = 0;
    for (u32 i = 0; i < 11; i++)
        if ((200u << i) <= x)
            k++;
    s32 r = 6 * (s32)k;
    for (u32 base : {112u, 125u, 141u, 158u, 178u})
        if ((base << k) < x)
            r++;
    return r + (x > 24) + (x > 49) + (x > 99);
}

s32 GetDPsOrDSs(s32 x, s32 y, s32 z)
{
    const s32 t = z >= 32 ? 16 * x : z < 1 ? 0 : (z * x + 1) >> 1;
    return iMax2(t, 16 * iMin2(y, x));
}

s32 MapMTFS(const SCENEAUTO_3DNR_PARAM_S *pe)
{
    if (!pe) {
        puts("PE is NULL!");
        return -1;
    }
    const u8 *b = bytes(pe);
    if ((s8)b[51] >= 0)
        return iMin2(b[51], 16);
    if (b[5] > 32 || b[11] > 32)
        return 0;
    const s32 a = GetDPsOrDSs(b[2], b[50], b[5]), c = GetDPsOrDSs(b[8], b[50], b[11]);
    const s32 v = iMax2(b[2], b[8]) * 16, w = iMax2(a, c);
    return iClip2(34 - 3 * (((2 * v + w + 64) >> 7) + ((2 * v + 3 * w + 256) >> 9)), 16);
}

void Interpolate(SCENEAUTO_3DNR_PARAM_S *out, u32 iso, const SCENEAUTO_3DNR_PARAM_S *lo, u32 isoLo,
                 const SCENEAUTO_3DNR_PARAM_S *hi, u32 isoHi)
{
    const s32 m = axis(iso), m0 = axis(isoLo), m1 = axis(isoHi);
    if (m <= m0) {
        *out = *lo;
        return;
    }
    if (m >= m1) {
        *out = *hi;
        return;
    }
    const s32 d = m1 - m0;
    *out = (3 * d >> 2) + m < m1 ? *lo : *hi;
    const u8 *l = bytes(lo), *h = bytes(hi);
    if (half(l, kBlendKey) != half(h, kBlendKey))
        return; // different filter modes: no blend of the two
    const Blend b = {l, h, bytes(out), m1 - m, m - m0, d};
    b.half16(18);
    for (u32 at : {2u, 8u, 5u, 11u})
        b.byte(at);
    b.byte(15, 64);
    for (u32 at : {32u, 26u, 44u})
        b.half16(at);
    for (u32 at : {12u, 16u, 52u, 50u, 49u, 46u, 48u})
        b.byte(at);
    b.out[51] = (u8)b.mix(MapMTFS(lo), MapMTFS(hi));
    if (same_mode(l, h, 13)) {
        for (u32 at : {0u, 6u, 3u, 9u, 13u})
            b.byte(at);
        for (u32 at : {28u, 22u, 40u})
            b.half16(at);
    }
    if (same_mode(l, h, 14)) {
        for (u32 at : {1u, 7u, 4u, 10u, 14u, 47u})
            b.byte(at);
        for (u32 at : {30u, 24u, 42u})
            b.half16(at);
    }
}

s32 InterpolationCalculate(s32 y0, s32 y1, s32 x0, s32 x1, s32 x)
{
    if (x1 == x0)
        return y1;
    return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
}

s32 Sceneauto_Set3DNR(s32 grp, const SCENEAUTO_3DNR_PARAM_S *set)
{
    return sceneauto_failed(CommSceneautoSet3DNR(grp, set), "CommSceneautoSet3DNR") ? -1 : 0;
}
