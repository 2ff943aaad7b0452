// The white-point estimator's colour-temperature stage: the zones
// clustered into four bins of colour temperature by their mired, re-centred
// and re-assigned with a shift tolerance, classified, weighed (skin and
// mixed-light detection work on the bins) and blended with the zones' own
// white point.
#include "isp/3a/awb/awb_est.h"

#include <cstdlib>
#include <cstring>

namespace awb_est {

namespace {

constexpr u32 kMired256Scale = 256000000; // mired in 1/256

// The colour-temperature bins.
constexpr u8 kNoBin = 0xFF;
constexpr u32 kBinZoneCount = 256; // pixels a zone needs to be binned
constexpr u32 kLimitHottestK = 11000, kLimitColdestK = 2200; // the ratio limits are taken there or beyond
constexpr u32 kGrMaxMargin = 140, kRatioMinMargin = 115;     // in 1/128: 1.09 and 0.90 of the curve's ratios
constexpr u16 kOpenGrMax = 512, kOpenGbMin = 128;             // without temperature limits: G/R to 2, G/B from 0.5
constexpr s32 kNarrowRangeK = 1600, kEdgeBinK = 400;
constexpr s32 kOutdoorFadeMired = 16; // outdoors a bin this far past the high stop is on the curve
constexpr u32 kScoreMax = 127;
constexpr s32 kMinHalfWidth = 10; // mired either side of a re-centred bin
constexpr u32 kToleranceLevel = 6400, kScaleMax = 512; // the shift tolerance widens from there, to twice
constexpr u32 kAreaWideFrom = 1024, kAreaWideCap = 320; // a spread-out scene widens it, by 1.25 at most
constexpr u32 kFewZones = 32; // bins thinner than this widen it too
constexpr s32 kGreenShift = 32; // a bin this far below the curve is green light
constexpr u32 kCommonMired = 200;                         // 5000 K
constexpr u32 kPreclipSoftMired = 48, kPreclipScale = 3200;
constexpr s32 kShiftSoftness = 8; // added to a shift before dividing by it
constexpr u32 kClampFloor = 32;   // the shift clamp's factor (1/32) outside the common temperatures: 1x
constexpr u32 kClampOffLow = 125, kClampRampLow = 150, kClampRampHigh = 300, kClampOffHigh = 400; // mired
constexpr s64 kGreenishK = 4200, kGreenishSoftK = 500;

enum : u8 { kClassNone, kClassNear, kClassFar, kClassFew }; // a bin's class
enum : u8 { kLightOnCurve = 1, kLightDropped = 2 };          // what a marked light source does

// The bins' G/R and G/B as RGB (G from the luma) through the BT.709 curve.
void bin_rgb(const AWB_CT_BIN_S &b, u32 rgb[3])
{
    u32 gr = std::max<u32>(b.u16GR, 1), gb = std::max<u32>(b.u16GB, 1);
    u32 g = std::min<u32>((b.u32Luma << 13) / (10 * gr + 4608 + 4 * gb), 255);
    rgb[0] = BT709_Gamma[std::min<u32>(g * 256 / gr, 255)];
    rgb[1] = BT709_Gamma[g];
    rgb[2] = BT709_Gamma[std::min<u32>(g * 256 / gb, 255)];
}

void class_limits(const Run &r, u32 *l1, u32 *l2)
{
    u32 u = 2 * r.t;
    if (u < 96) {
        *l1 = 32, *l2 = 48;
    } else {
        *l1 = u / 3;
        *l2 = (3 * *l1) / 2;
    }
}

// Skin-coloured bins lose weight, and the skin point follows the most
// skin-like one. The weight reductions and the luma adjustment keep the
// thresholds given for them (0x150 and 0x180 chroma, 171 score, 32 zones,
// 64 excess); their strengths are ours: a linear fall with the excess.
void AwbSkinColorDetect(Run &r, AWB_CT_BIN_S *bins)
{
    AWB_WB_STATE_S *w = r.w;
    u32 l1, l2;
    class_limits(r, &l1, &l2);
    u32 tf[AWB_CT_BINS];
    bool any_class1 = false;
    for (u32 i = 0; i < AWB_CT_BINS; i++) {
        AWB_CT_BIN_S &b = bins[i];
        u32 K = b.u32Temp;
        tf[i] = K <= 6524 ? 512 : K <= 7548 ? 512 + (K - 6524) / 2 : 1024;
        u32 s = (u32)iabs(b.s16Shift);
        if (s > l1 && b.u32Weight) {
            u32 sw = au8ShiftWt[std::min<u32>(s, 127)];
            u32 f = (sw * sw) >> 8;
            u32 ramp = l2 > l1 ? std::min<u32>((s - l1) * 256 / (l2 - l1), 256) : 256;
            u32 factor = 256 - (((256 - f) * ramp) >> 8);
            b.u32Weight = (u32)(((u64)b.u32Weight * factor) >> 8);
        }
        b.u32SkinExcess = 0;
        any_class1 |= b.u8Class == kClassNear;
    }
    if (!any_class1)
        return;
    for (u32 ia = 0; ia < AWB_CT_BINS; ia++) {
        AWB_CT_BIN_S &A = bins[ia];
        if (A.u8Class != kClassNear && A.u8Class != kClassFar)
            continue;
        for (u32 ib = 0; ib < AWB_CT_BINS; ib++) {
            AWB_CT_BIN_S &B = bins[ib];
            if (ib == ia || B.u8Class == kClassNone || B.u16Count == 0)
                continue;
            u32 rgb[3];
            bin_rgb(B, rgb);
            u32 g = std::max<u32>(rgb[1], 1);
            s32 rg = (s32)(rgb[0] * 256 / g), bg = (s32)(rgb[2] * 256 / g);
            s32 excess = std::max({rg - 0x150, bg - 0x180, 0});
            if (excess > 0) {
                u32 red = std::min<u32>((u32)excess * (iabs(A.s16Shift) + iabs(B.s16Shift) + 16) / 16, 256);
                red = red * 1024 / std::max<u32>(r.E, 1024);
                A.u32Weight = (u32)(((u64)A.u32Weight * (256 - red)) >> 8);
            }
            s32 R = rgb[0], G = rgb[1], Bl = rgb[2];
            s32 y = ((213 * R + 715 * G + 72 * Bl) >> 10) - 112;
            s32 cb = ((-117 * R - 394 * G + 511 * Bl) >> 10) + 12;
            s32 cr = ((511 * R - 464 * G - 47 * Bl) >> 10) - 12;
            auto near_luma = [](s32 x) { x = iabs(x); return x <= 32 ? 256 : x <= 64 ? 288 - x : 128; };
            auto near_col = [](s32 x) { x = iabs(x); return x <= 6 ? 256 : x <= 10 ? (38 - x) * 8 : 128; };
            u32 score = (u32)((((near_luma(y) * near_col(cb)) >> 8) * near_col(cr)) >> 8);
            score = score * 512 / tf[ib];
            if (r.E > 800)
                score = score * 128 / std::min<u32>(r.E * 128 / 800, 256);
            if (score > 171)
                B.u32SkinExcess = std::max(B.u32SkinExcess, score - 171);
        }
    }
    for (u32 i = 0; i < AWB_CT_BINS; i++) {
        AWB_CT_BIN_S &b = bins[i];
        if (b.u16Count > 32 && b.u32SkinExcess > 64) {
            w->u16SkinGR = b.u16GR;
            w->u16SkinGB = b.u16GB;
        }
        u32 cut = std::min<u32>(b.u32SkinExcess * 3, 256);
        b.u32Weight = (u32)(((u64)b.u32Weight * (256 - cut)) >> 8);
    }
}

// Two light sources of different colour temperature in one picture.
void AWBWbMultiLSDetect(Run &r, AWB_CT_BIN_S *bins, s64 *sGR, s64 *sGB, s64 *sW)
{
    AWB_WB_STATE_S *w = r.w;
    w->u8Degree = 0;
    memset(w->au16LightValue, 0, sizeof w->au16LightValue);
    u64 total = 0;
    for (u32 i = 0; i < AWB_CT_BINS; i++)
        total += bins[i].u32Weight;
    if (total == 0 || bins[0].u32Weight == 0)
        return;
    const AWB_CT_BIN_S &top = bins[0];
    u32 other = 1;
    auto usable = [](const AWB_CT_BIN_S &b) { return b.u8Class == kClassNear || b.u8Class == kClassFar; };
    if (usable(bins[2]) && iabs((s32)bins[2].u32Temp - (s32)top.u32Temp) > iabs((s32)bins[1].u32Temp - (s32)top.u32Temp))
        other = 2;
    const AWB_CT_BIN_S &o = bins[other];
    u32 chroma = 0;
    for (u32 i = 0; i <= other; i++) {
        if (i != 0 && !usable(bins[i]))
            continue;
        u32 rgb[3];
        bin_rgb(bins[i], rgb);
        u32 mx = std::max({rgb[0], rgb[1], rgb[2]}), mn = std::min({rgb[0], rgb[1], rgb[2]});
        if (mx)
            chroma = std::max(chroma, std::min<u32>((mx - mn) * 256 / mx, 64));
    }
    u32 raw = 0;
    if (usable(o)) {
        u32 countA = 0, countB = 0;
        for (u32 k = 0; k < ZONES; k++) {
            const AWB_ZONE_S &z = r.z[k];
            if (z.u16Count <= 64 || (u32)iabs(z.s16Shift) > r.t)
                continue;
            countA += iabs((s32)z.u16Mired - (s32)top.u32Mired) <= 47;
            countB += iabs((s32)z.u16Mired - (s32)o.u32Mired) <= 47;
        }
        w->au16LightValue[0] = (u16)top.u32Temp;
        w->au16LightValue[1] = (u16)o.u32Temp;
        w->au16LightValue[2] = (u16)countA;
        w->au16LightValue[3] = (u16)countB;
        u64 wt = countB <= 8 ? 0 : std::min<u32>((countB - 8) * 8, 256);
        wt = (wt * au8ShiftWt[std::min<u32>(iabs(o.s16Shift), 127)]) >> 8;
        // The dimmer light counts by its share of the brighter one's luma.
        u32 lmax = std::max<u32>(std::max(top.u32Luma, o.u32Luma), 1);
        for (u32 l : {top.u32Luma, o.u32Luma})
            if (l * 256 / lmax < 256)
                wt = (wt * (l * 256 / lmax)) >> 8;
        u64 f = std::min<u64>((std::min<u64>(w->u32FilteredExp, 0x100000) * std::min<u32>(top.u32Weight, 256)) >> 18, 256);
        u64 dK = (u64)iabs((s32)top.u32Temp - (s32)o.u32Temp);
        raw = (u32)std::min<u64>((f * ((dK * ((chroma * wt) >> 8)) >> 8)) >> 8, 255);
    }
    w->u16FilteredDegree = (u16)((31u * w->u16FilteredDegree + 256u * raw) / 32);
    u32 D = w->u16FilteredDegree >> 8;
    w->u8Degree = (u8)std::min<u32>(D, 64);
    if (w->u8Degree == 0) {
        memset(w->au16LightValue, 0, sizeof w->au16LightValue);
        return;
    }
    // The weight curve over colour temperature, eased in with the degree.
    u32 u = std::min<u32>(16u * w->u8Degree, 256);
    u32 wt[8];
    for (u32 i = 0; i < 8; i++)
        wt[i] = (u * w->au16CtWeight[i] + (256 - u) * 256) >> 8;
    s64 gr = 0, gb = 0, sw = 0;
    for (u32 i = 0; i < AWB_CT_BINS; i++) {
        AWB_CT_BIN_S &b = bins[i];
        s32 K = (s32)b.u32Temp;
        u32 cw;
        if (K <= w->au16CtBin[0]) {
            cw = wt[0];
        } else if (K > w->au16CtBin[7]) {
            cw = wt[7];
        } else {
            u32 j = 1;
            while (j < 7 && K > w->au16CtBin[j])
                j++;
            s32 span = w->au16CtBin[j] - w->au16CtBin[j - 1];
            cw = (u32)((s32)wt[j - 1] + ((s32)wt[j] - (s32)wt[j - 1]) * (K - w->au16CtBin[j - 1]) / (span ? span : 1));
        }
        b.u32Weight = (u32)(((u64)b.u32Weight * cw) >> 8);
        gr += ((u64)b.u16GR * b.u32Weight) >> 8;
        gb += ((u64)b.u16GB * b.u32Weight) >> 8;
        sw += b.u32Weight;
    }
    if (sw) {
        *sGR = gr, *sGB = gb, *sW = sw;
    }
}

// Range of the zones' mireds, averaged over seven interleaved groups so a
// few odd zones do not stretch it.
bool bin_range(Run &r, u16 grMax, u16 gbMin, u16 grMin, s32 *lo, s32 *hi)
{
    s32 mx[7], mn[7];
    for (u32 p = 0; p < 7; p++) {
        mx[p] = 0, mn[p] = 0x7FFFFFFF;
        for (u32 g = 0; g < 36; g++) {
            const AWB_ZONE_S &z = r.z[7 * g + p];
            if (z.u16Count <= 64 || iabs(z.s16Shift) >= 97)
                continue;
            if (z.u16GR > grMax || z.u16GB < gbMin || z.u16GR < grMin)
                continue;
            mx[p] = std::max<s32>(mx[p], z.u16Mired);
            mn[p] = std::min<s32>(mn[p], z.u16Mired);
        }
        if (mn[p] == 0x7FFFFFFF)
            mn[p] = 0;
    }
    s32 *bigMax = std::max_element(mx, mx + 7), *smallMin = std::min_element(mn, mn + 7);
    s64 sh = 0, sl = 0;
    for (u32 p = 0; p < 7; p++) {
        if (mx + p != bigMax)
            sh += mx[p];
        if (mn + p != smallMin)
            sl += mn[p];
    }
    *hi = (s32)(sh / 6);
    *lo = (s32)(sl / 6);
    return *hi != 0 && *lo != 0 && *lo < *hi;
}

// Limits a zone keeps to be binned: G/R and G/B from the temperature
// limits (or the user's ratio limits), and the curve limits on both ratios.
struct BinLimits {
    u16 grMax, gbMin, grMin;
    u32 curveL, curveR;

    bool fit(const Run &r, const AWB_ZONE_S &z) const
    {
        return z.u16Count >= kBinZoneCount && (u32)iabs(z.s16Shift) <= r.t && std::max(z.u16GR, z.u16GB) >= curveL &&
               std::min(z.u16GR, z.u16GB) <= curveR && z.u16GR <= grMax && z.u16GB >= gbMin && z.u16GR >= grMin;
    }
};

// The limits, all but the upper G/R widening in the dark.
BinLimits bin_limits(const Run &r)
{
    const AWB_WB_STATE_S *w = r.w;
    BinLimits l;
    if (w->u8OptB & AWB_OPTB_CT_MANUAL) {
        l.grMax = w->au16RgBgLimit[2], l.gbMin = w->au16RgBgLimit[1], l.grMin = w->au16RgBgLimit[0];
        if (l.grMax < l.grMin)
            std::swap(l.grMax, l.grMin);
    } else {
        u16 hgr, hgb, lgr, lgb;
        curve_point_gr(w, kMired256Scale / std::max<u32>(w->u32HighCT, kLimitHottestK), 0, &hgr, &hgb);
        curve_point_gr(w, kMired256Scale / std::min<u32>(std::max<u32>(w->u32LowCT, 1), kLimitColdestK), 0, &lgr, &lgb);
        l.grMax = (u16)std::min<u32>((hgr * kGrMaxMargin) >> 7, 0xFFFF);
        l.gbMin = (u16)((hgb * kRatioMinMargin) >> 7);
        l.grMin = (u16)((lgr * kRatioMinMargin) >> 7);
        if (!(w->u8OptB & AWB_OPTB_CT_LIMIT))
            l.grMax = kOpenGrMax, l.gbMin = kOpenGbMin;
    }
    l.curveL = w->u16CurveL, l.curveR = w->u16CurveR;
    if (r.E > kDarkLevel) {
        l.curveL = std::max<u32>((l.curveL << kDarkShift) / r.E, l.curveL / 2);
        l.curveR = (u32)std::min<u64>(((u64)r.E * l.curveR) >> kDarkShift, 2 * l.curveR);
        l.grMin = (u16)std::max<u32>(((u32)l.grMin << kDarkShift) / r.E, l.grMin / 2);
    }
    return l;
}

// A bin spans a quarter of the range, but in a narrow range (in kelvin)
// the bins at its ends span at least kEdgeBinK.
s32 bin_width(s32 lo, s32 hi)
{
    s32 width = (hi - lo) / 4;
    s32 Klo = kMiredScale / hi, Khi = kMiredScale / lo;
    if (Khi - Klo < kNarrowRangeK) {
        s32 atLo = kMiredScale / Klo - kMiredScale / (Klo + kEdgeBinK);
        s32 atHi = Khi > kEdgeBinK ? kMiredScale / (Khi - kEdgeBinK) - kMiredScale / Khi : atLo;
        width = std::max({width, atLo, atHi});
    }
    return std::max(width, 1);
}

// First assignment: by mired alone; the range's top end belongs to the last
// bin.
void assign_by_mired(Run &r, const BinLimits &l, s32 lo, s32 hi, s32 width)
{
    for (u32 k = 0; k < ZONES; k++) {
        AWB_ZONE_S &z = r.z[k];
        z.u8Bin = kNoBin;
        if (!l.fit(r, z))
            continue;
        if (z.u16Mired < lo || (z.u16Mired > hi && z.u16Mired >= lo + AWB_CT_BINS * width))
            continue;
        s32 i = std::min<s32>((z.u16Mired - lo) / width, AWB_CT_BINS - 1);
        AWB_CT_BIN_S &b = r.bins[i];
        b.u16Count++;
        b.u32MiredSum += z.u16Mired;
        b.s32ShiftSum += z.s16Shift;
        r.placed1++;
    }
}

// The bins' mean mired and shift (an empty bin sits at its middle);
// outdoors a bin hotter than the high stop is drawn onto the curve. Returns
// the score: how close the bins are (kScoreMax for one temperature).
u32 first_means(Run &r, s32 lo, s32 width)
{
    const AWB_WB_STATE_S *w = r.w;
    s32 mmin = 0x7FFFFFFF, mmax = 0;
    for (u32 i = 0; i < AWB_CT_BINS; i++) {
        AWB_CT_BIN_S &b = r.bins[i];
        if (!b.u16Count) {
            b.u32Mired = (u32)(lo + width * (2 * (s32)i + 1) / 2);
            continue;
        }
        b.u32Mired = b.u32MiredSum / b.u16Count;
        b.s16Shift = (s16)(b.s32ShiftSum / b.u16Count);
        if (r.outdoor && kMiredScale / b.u32Mired > w->u16HighStop) {
            s32 d = std::min<s32>(kMiredScale / w->u16HighStop - (s32)b.u32Mired, kOutdoorFadeMired);
            b.s16Shift = (s16)(b.s16Shift * (kOutdoorFadeMired - std::max(d, 0)) / kOutdoorFadeMired);
        }
        mmin = std::min<s32>(mmin, (s32)b.u32Mired);
        mmax = std::max<s32>(mmax, (s32)b.u32Mired);
    }
    s32 spread = mmax - mmin;
    return spread >= (s32)kScoreMax ? 0 : (u32)(kScoreMax - spread);
}

// Ranges re-centred on the bins' means, at least kMinHalfWidth mired
// either side and never over a neighbour's.
void recentre_ranges(Run &r, s32 width)
{
    s32 half = std::max(width / 2, kMinHalfWidth);
    for (u32 i = 0; i < AWB_CT_BINS; i++) {
        r.binLo[i] = (s32)r.bins[i].u32Mired - half;
        r.binHi[i] = (s32)r.bins[i].u32Mired + half;
    }
    for (u32 i = 1; i < AWB_CT_BINS; i++) {
        if (r.binLo[i] <= r.binHi[i - 1]) {
            s32 mid = ((s32)r.bins[i - 1].u32Mired + (s32)r.bins[i].u32Mired) / 2;
            r.binHi[i - 1] = mid;
            r.binLo[i] = mid + 1;
        }
    }
}

// How far a zone's shift may be from its bin's: the user's tolerance,
// widened in the dark, by a spread-out scene and when the bins are thin.
s32 bin_shift_tolerance(const Run &r)
{
    const AWB_WB_STATE_S *w = r.w;
    u64 f = r.E <= kToleranceLevel ? kUnity : std::min<u64>((u64)r.E * kUnity / kToleranceLevel, kScaleMax);
    if (w->au32AreaValue[0] > kAreaWideFrom)
        f = f * std::min<u32>(w->au32AreaValue[0] / 4, kAreaWideCap) / kUnity;
    u32 topCount = 0;
    for (u32 i = 0; i < AWB_CT_BINS; i++)
        topCount = std::max<u32>(topCount, r.bins[i].u16Count);
    if (topCount < kFewZones)
        f = f * kFewZones / std::max<u32>(topCount, 1);
    f = std::min<u64>(f, kScaleMax);
    return (s32)((w->u16BinTolerance * f) >> 8);
}

// Outdoors a zone's colour goes through the calibrated transform. The
// zone's colour is taken relative to green; the transform is projective, so
// the scale of r, g, b does not matter.
void outdoor_transform(const AWB_WB_STATE_S *w, const AWB_ZONE_S &z, u32 *gr, u32 *gb)
{
    const s16 *x = w->as16Xform;
    s64 R = 65536 / std::max<u32>(z.u16GR, 1), G = kUnity, B = 65536 / std::max<u32>(z.u16GB, 1);
    s64 den = std::max<s64>((x[3] * R + x[4] * G + x[5] * B) >> 8, 1);
    s64 xx = (x[0] * R + x[1] * G + x[2] * B) / den + w->au16XformOffset[0];
    s64 yy = (x[6] * R + x[7] * G + x[8] * B) / den + w->au16XformOffset[1];
    *gr = (u32)std::clamp<s64>(0x10000 / std::max<s64>(xx, 1), 1, 0xFFFF);
    *gb = (u32)std::clamp<s64>(0x10000 / std::max<s64>(yy, 1), 1, 0xFFFF);
}

// Re-assignment: a zone goes into the first bin whose range holds its mired
// and whose shift is near its own; the bins sum the zones' colour, luma,
// mired and shift.
void reassign_zones(Run &r, const BinLimits &l, s32 tol)
{
    const AWB_WB_STATE_S *w = r.w;
    s16 binShift[AWB_CT_BINS];
    for (u32 i = 0; i < AWB_CT_BINS; i++) {
        binShift[i] = r.bins[i].s16Shift;
        AWB_CT_BIN_S &b = r.bins[i];
        b.u16Count = 0;
        b.u32MiredSum = 0;
        b.s32ShiftSum = 0;
        b.u32GRSum = b.u32GBSum = b.u32LumaSum = b.u32CSum = 0;
        b.u8LumaMax = 0;
        b.u8LumaMin = 255;
    }
    for (u32 k = 0; k < ZONES; k++) {
        AWB_ZONE_S &z = r.z[k];
        if (!l.fit(r, z))
            continue;
        for (u32 i = 0; i < AWB_CT_BINS; i++) {
            if (z.u16Mired < r.binLo[i] || z.u16Mired > r.binHi[i] || iabs(z.s16Shift - binShift[i]) > tol)
                continue;
            AWB_CT_BIN_S &b = r.bins[i];
            u32 c = z.u16Count >> 4;
            u32 gr = z.u16GR, gb = z.u16GB;
            if (r.outdoor && w->bXformEnable && r.bayer)
                outdoor_transform(w, z, &gr, &gb);
            b.u16Count++;
            b.u32LumaSum += z.u16Luma;
            b.u32MiredSum += z.u16Mired;
            b.s32ShiftSum += z.s16Shift;
            b.u32CSum += c;
            b.u32GRSum += gr * c;
            b.u32GBSum += gb * c;
            b.u8LumaMax = (u8)std::max<u32>(b.u8LumaMax, std::min<u32>(z.u16Luma, 255));
            b.u8LumaMin = (u8)std::min<u32>(b.u8LumaMin, std::min<u32>(z.u16Luma, 255));
            z.u8Bin = (u8)i;
            r.placed2++;
            break;
        }
    }
}

// Each bin's white point, shift, luma, mired and temperature. Returns the
// zones of green light: a bin below -kGreenShift counts whole, one nearer
// the curve in part.
u32 bin_means(Run &r)
{
    u32 greenZones = 0;
    for (u32 i = 0; i < AWB_CT_BINS; i++) {
        AWB_CT_BIN_S &b = r.bins[i];
        if (!b.u16Count) {
            b.u32Mired = (u32)std::max((r.binLo[i] + r.binHi[i]) / 2, 1);
            b.u32Temp = kMiredScale / b.u32Mired;
            b.u8LumaMin = 0;
            continue;
        }
        u32 c = std::max<u32>(b.u32CSum, 1);
        b.u16GR = (u16)(b.u32GRSum / c);
        b.u16GB = (u16)(b.u32GBSum / c);
        b.s16Shift = (s16)(b.s32ShiftSum / b.u16Count);
        b.u32Luma = b.u32LumaSum / b.u16Count;
        b.u32Mired = std::max<u32>(b.u32MiredSum / b.u16Count, 1);
        b.u32Temp = kMiredScale / b.u32Mired;
        if (b.s16Shift < -kGreenShift)
            greenZones += b.u16Count;
        else if (b.s16Shift < 0)
            greenZones += b.u16Count * (u32)(-b.s16Shift) / kGreenShift;
    }
    return greenZones;
}

// The score as the share of the first assignment's zones the bins kept,
// filtered over frames; the share of green zones in eighths.
void update_score(Run &r, u32 score, u32 greenZones)
{
    AWB_WB_STATE_S *w = r.w;
    w->u32BinnedZones = r.placed2;
    score = std::min<u32>(score * r.placed2 / r.placed1, kScoreMax);
    w->u32FilteredScore = (15 * w->u32FilteredScore + kUnity * score) >> 4;
    w->u8Score = (u8)(w->u32FilteredScore >> 8);
    w->u8GreenFraction = (u8)(r.placed2 ? 8 * greenZones / r.placed2 : 0);
}

// A bin's class: near the curve (1), farther (2), too few zones but near
// (3) or none (0); its score grows with its zones and falls with its shift.
void classify_bins(Run &r)
{
    const AWB_WB_STATE_S *w = r.w;
    u32 l1, l2;
    class_limits(r, &l1, &l2);
    for (u32 i = 0; i < AWB_CT_BINS; i++) {
        AWB_CT_BIN_S &b = r.bins[i];
        u32 n = b.u16Count, s = (u32)iabs(b.s16Shift), M = b.u32Mired;
        b.u8Class = kClassNone;
        if (n) {
            // Fewer zones are needed near the common temperature.
            u32 v = w->u16BlendWeight * ((M << 8) / kCommonMired + kUnity * kCommonMired / M) + kUnity;
            if (n < (v >> 9))
                b.u8Class = (s <= l1 && n >= (v >> 10)) ? kClassFew : kClassNone;
            else
                b.u8Class = s <= l1 ? kClassNear : s <= l2 ? kClassFar : kClassNone;
        }
        b.u32Score = (n << 8) / (s * s + kUnity);
    }
}

// Light sources the user marked: a bin near one is taken as on the curve
// (mode 1) or dropped (mode 2).
void apply_marked_lights(Run &r)
{
    const AWB_WB_STATE_S *w = r.w;
    for (const AWB_LIGHT_ENTRY_S &e : w->astLight) {
        if (!e.u8Mode)
            continue;
        s64 pgr = (s64)r.gG * e.u16GR / r.gR, pgb = (s64)r.gG * e.u16GB / r.gB;
        for (AWB_CT_BIN_S &b : r.bins) {
            if (!b.u16Count)
                continue;
            s32 d = (s32)AwbSqrt32((u32)std::min<s64>(((s64)b.u16GR - pgr) * ((s64)b.u16GR - pgr) +
                                                          ((s64)b.u16GB - pgb) * ((s64)b.u16GB - pgb),
                                                      0xFFFFFFFF));
            if (b.u16GR < pgr)
                d = -d;
            if (e.u8Mode == kLightOnCurve) {
                if (iabs(d) <= e.u8Radius)
                    b.s16Shift = 0;
                else if (iabs(d) < iabs(b.s16Shift))
                    b.s16Shift = (s16)d;
            } else if (e.u8Mode == kLightDropped && iabs(d) <= e.u8Radius) {
                b.u16Count = 0;
                b.u32Weight = 0;
            }
        }
    }
}

// Pre-clip white point: bins near the curve and of common temperatures
// count most. No per-bin term is added to the divisor.
void preclip_white_point(Run &r)
{
    AWB_WB_STATE_S *w = r.w;
    u64 pw = 0, pgr = 0, pgb = 0;
    for (const AWB_CT_BIN_S &b : r.bins) {
        if (!b.u16Count)
            continue;
        u32 M = b.u32Mired;
        u32 Mp = kPreclipSoftMired + (M < kCommonMired ? kCommonMired - M : M - kCommonMired);
        u64 k = kPreclipScale / std::max<u32>(Mp, 1);
        u64 v = ((((u64)b.u16Count << 8) / (iabs(b.s16Shift) + kShiftSoftness)) * k * k) & ~0xFFull;
        v /= 16;
        pw += v, pgr += v * b.u16GR, pgb += v * b.u16GB;
    }
    if (pw) {
        w->u16PreGR = clamp16((s64)(pgr / pw));
        w->u16PreGB = clamp16((s64)(pgb / pw));
    }
}

// With the shift clamp on, a bin's weight factor (1/32) by its mired: 1x
// outside 125..400 mired, at the common temperatures up to 8x the darker
// it is, ramps between.
u32 shift_clamp_factor(const Run &r, u32 M)
{
    const u32 top = std::min<u32>((r.E / kShiftClampLevel + 1) * kClampFloor, kUnity);
    if (M > kClampRampLow && M <= kClampRampHigh)
        return top;
    if (M <= kClampOffLow || M > kClampOffHigh)
        return kClampFloor;
    if (M <= kClampRampLow)
        return kClampFloor + (top - kClampFloor) * (M - kClampOffLow) / (kClampRampLow - kClampOffLow);
    return top - (top - kClampFloor) * (M - kClampRampHigh) / (kClampOffHigh - kClampRampHigh);
}

// Bin weights from zones, luma and shift. Returns the luma weight of the
// bins that kept a weight.
u32 bin_weights(Run &r)
{
    AWB_WB_STATE_S *w = r.w;
    u32 lumaSum = 0;
    for (AWB_CT_BIN_S &b : r.bins) {
        if (!b.u16Count) {
            b.u32Weight = 0;
            continue;
        }
        u32 n = b.u16Count, s = (u32)iabs(b.s16Shift);
        u64 wy = r.lumaHist ? AwbYWeightEva(w, (s32)b.u32Luma) : kUnity;
        u64 k = r.outdoor ? ((std::max<s32>((s32)r.t - (s32)s, 0) << 4) / std::max<u32>(r.t, 1)) + 128 / (s + kShiftSoftness)
                          : kUnity / (s + kShiftSoftness);
        u64 weight = (wy * (AwbSqrt32(n * n * n) >> 2) * k) >> 8;
        if (w->u8OptB & AWB_OPTB_SHIFT_CLAMP)
            weight = (weight * shift_clamp_factor(r, b.u32Mired)) >> 5;
        b.u32Weight = (u32)std::min<u64>(weight, 0xFFFFFFFF);
        b.u32LumaWeight = (u32)wy;
        if (b.u32Weight)
            lumaSum += (u32)wy;
    }
    return lumaSum;
}

// Outdoors the weights follow the outdoor weight of each temperature; with
// a low score a green-shifted bin loses weight, the more the bluer it is.
void outdoor_bin_weights(Run &r)
{
    const AWB_WB_STATE_S *w = r.w;
    for (AWB_CT_BIN_S &b : r.bins) {
        if (!b.u32Weight)
            continue;
        u64 weight = ((u64)b.u32Weight * outdoor_weight_at(w, (s32)b.u32Temp)) >> 16;
        if (b.s16Shift < 0 && w->u8Score < kLowScore) {
            u64 ow = w->u32OutdoorWeight;
            s64 v = ow == 0 ? kUnity : std::min<u64>(0x100000 / ow, kUnity);
            s64 h = ow == 0 ? 16 : 32 - v / 16;
            s64 K = (s64)b.u32Temp, k2 = kGreenishSoftK + (K < kGreenishK ? kGreenishK - K : K - kGreenishK);
            s64 q = std::max<s64>((v * (192000 / std::max<s64>(k2, 1))) >> 8, 128);
            weight = (weight << 7) / (u64)q;
            weight = (u64)h * weight / (u64)(iabs(b.s16Shift) + h);
            s64 g = std::clamp<s64>(kUnity - ((v * ((s64)b.u16GB - kUnity)) >> 8), 0, kUnity);
            weight = (weight * (u64)g) >> 8;
        }
        b.u32Weight = (u32)std::min<u64>(weight, 0xFFFFFFFF);
    }
}

// The bins' weighted white point, heaviest bin first; with two lights in
// the picture the mixed-light stage reweighs it.
void bins_white_point(Run &r, s64 *bGR, s64 *bGB, s64 *bW)
{
    AWB_WB_STATE_S *w = r.w;
    qsort(r.bins, AWB_CT_BINS, sizeof r.bins[0], AwbCompareWeight);
    w->u16TopBinCount = r.bins[0].u16Count;
    *bGR = *bGB = *bW = 0;
    for (const AWB_CT_BIN_S &b : r.bins) {
        *bGR += ((u64)b.u16GR * b.u32Weight) >> 8;
        *bGB += ((u64)b.u16GB * b.u32Weight) >> 8;
        *bW += b.u32Weight;
    }
    if (r.multiLS && r.bins[1].u32Weight) {
        AWBWbMultiLSDetect(r, r.bins, bGR, bGB, bW);
    } else {
        w->u8Degree = 0;
        w->u16FilteredDegree = 0;
        memset(w->au16LightValue, 0, sizeof w->au16LightValue);
    }
}

// Zones and bins together: the bins take over once their luma weight
// reaches the blend weight; before, the two white points (each normalised)
// mix in proportion.
void blend_with_zones(Run &r, s64 bGR, s64 bGB, s64 bW, u32 lumaSum)
{
    const AWB_WB_STATE_S *w = r.w;
    if (bW == 0)
        return;
    if (r.sumW == 0 || lumaSum >= w->u16BlendWeight) {
        r.sumGR = bGR, r.sumGB = bGB, r.sumW = bW;
        return;
    }
    s64 zW = std::max<s64>(r.sumW >> 8, 1), bWn = std::max<s64>(bW >> 8, 1);
    s64 zgr = r.sumGR / zW, zgb = r.sumGB / zW, bgr = bGR / bWn, bgb = bGB / bWn;
    s64 bw = w->u16BlendWeight, u = lumaSum;
    r.sumW = kUnity;
    r.sumGR = ((bw - u) * zgr + u * bgr) / bw;
    r.sumGB = ((bw - u) * zgb + u * bgb) / bw;
}

} // namespace

void awb_multi_ct(Run &r)
{
    AWB_WB_STATE_S *w = r.w;
    memset(r.bins, 0, sizeof r.bins);
    r.placed1 = r.placed2 = 0;
    w->u32BinnedZones = 0;
    w->u16TopBinCount = 0;

    const BinLimits limits = bin_limits(r);
    s32 lo, hi;
    if (!bin_range(r, limits.grMax, limits.gbMin, limits.grMin, &lo, &hi))
        return;
    const s32 width = bin_width(lo, hi);
    assign_by_mired(r, limits, lo, hi, width);
    if (r.placed1 == 0)
        return;
    const u32 score = first_means(r, lo, width);
    recentre_ranges(r, width);
    reassign_zones(r, limits, bin_shift_tolerance(r));
    update_score(r, score, bin_means(r));
    classify_bins(r);
    if (w->u8OptA & AWB_OPTA_EXTRA_LIGHT)
        apply_marked_lights(r);
    preclip_white_point(r);
    const u32 lumaSum = bin_weights(r);
    if (r.outdoor)
        outdoor_bin_weights(r);
    else if (w->bSkinEnable)
        AwbSkinColorDetect(r, r.bins);
    s64 bGR, bGB, bW;
    bins_white_point(r, &bGR, &bGB, &bW);
    blend_with_zones(r, bGR, bGB, bW, lumaSum);
}

} // namespace awb_est
