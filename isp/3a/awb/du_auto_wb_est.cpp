// The white-point estimator, once per full run: from the white-balance
// statistics of a frame to the white point the temporal filter takes. Zones
// are weighed by their distance from the sensor's white-balance curve, their
// luma and colour temperature and the in/out-door state; the multi-CT stage
// clusters them into four colour-temperature bins (skin and mixed-light
// detection work on those), and the result is clipped to the allowed
// colour-temperature range.
#include "isp/3a/awb/awb_est.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace awb_est;

namespace {

// ---- units and the constants of the run ------------------------------------------------------------

constexpr u16 kNoMiredTemp = (u16)kMiredScale; // the temperature of mired 0, as 16 bits hold it
constexpr s32 kStrengthOne = 128;         // strengths are in 1/128
constexpr u32 kShiftMax = 127;            // the largest shift tolerance (the shift weight table's last entry)
constexpr u32 kSettleFrames = 5;          // frames after start that still count as settling
constexpr u32 kStableMax = 255, kFramesMax = 0x7FFF;
constexpr u32 kStillColour = 11; // a still scene's colour and luma move no more between frames
constexpr s32 kStillLuma = 7;
// With nothing weighed the global point's strength (1/128) is one per 200
// of exposure level, at most 50.
constexpr u32 kDarkStrengthStep = 200, kDarkStrengthMax = 50;
// The shift clamp takes strength off by one 1/256 per 100 of exposure level
// above its level, at most 32.
constexpr u32 kStrengthFadeStep = 100, kStrengthFadeMax = 32;

// Zone modes 1 to 254 run the zone algorithm.
bool global_only(u8 zone_mode) { return zone_mode == 0 || zone_mode == 255; }

// The white point's mired and shift into the state; `num` turns G/R into R/G.
void wp_mired(AWB_WB_STATE_S *w, u32 gr, u32 gb, u32 num)
{
    AwbToMired(w, num / std::max<u32>(gr, 1), num / std::max<u32>(gb, 1), &w->u32Mired256, &w->s16Shift);
    if (w->u32Mired256 == 0)
        w->u32Mired256 = 1;
}

// Bayer means of one zone (or the whole frame) as a white point and luma.
void bayer_point(const Run &r, u32 R, u32 G, u32 B, u16 *gr, u16 *gb, u16 *luma)
{
    if (!R || !G || !B) {
        *gr = *gb = 256;
        *luma = 0;
        return;
    }
    u64 g = (u64)r.gG * G, rr = std::max<u64>(((u64)r.gR * R) >> 8, 1), bb = std::max<u64>(((u64)r.gB * B) >> 8, 1);
    *gr = clamp16(g / rr);
    *gb = clamp16(g / bb);
    *luma = (u16)std::min<u64>((10 * rr + 4 * bb + ((9 * g) >> 7)) >> 13, 255);
}

// A ratio measured after the applied gains, as G/R under the static gains.
u16 ratio_point(const Run &r, u32 m, u32 gStatic, u32 applied)
{
    return clamp16((u64)m * r.gG * applied / ((u64)gStatic * r.aG));
}

u32 sq_wdr(u32 v, u32 shift) { return (u32)(((u64)v * v) >> shift); }

// ---- steps 2 and 7: the global white point and the zone records ---------------------------------

void global_point(Run &r, const AWB_FRAME_INPUT_S *in)
{
    AWB_WB_STATE_S *w = r.w;
    if (r.bayer) {
        const ISP_AWB_STAT_3_S *s = in->pstAwbStat3;
        bayer_point(r, s->u16MeteringAwbAvgR, s->u16MeteringAwbAvgG, s->u16MeteringAwbAvgB, &r.globalGR, &r.globalGB,
                    &w->u16Luma);
        w->u32GlobalCount = s->u16MeteringAwbCountAll;
    } else {
        const ISP_AWB_STAT_1_S *s = in->pstAwbStat1;
        u32 m0 = s->u16MeteringAwbAvgGR, m1 = s->u16MeteringAwbAvgGB;
        if (r.wdr)
            m0 = sq_wdr(m0, 8), m1 = sq_wdr(m1, 8);
        w->u32GlobalCount = s->u32MeteringAwbCount;
        w->u16Luma = 0x80;
        if (w->u32GlobalCount < 256) {
            r.globalGR = r.globalGB = 0xFFF;
        } else {
            r.globalGR = ratio_point(r, m0, r.gR, r.aR);
            r.globalGB = ratio_point(r, m1, r.gB, r.aB);
        }
    }
    w->u16GR = r.globalGR;
    w->u16GB = r.globalGB;
}

void zone_records(Run &r, const AWB_FRAME_INPUT_S *in, u32 hist[128])
{
    u64 total = 0;
    for (u32 k = 0; k < ZONES; k++) {
        AWB_ZONE_S &z = r.z[k];
        memset(&z, 0, sizeof z);
        if (r.bayer) {
            const ISP_AWB_STAT_4_S *s = in->pstAwbStat4;
            bayer_point(r, s->au16MeteringMemArrayAvgR[k], s->au16MeteringMemArrayAvgG[k],
                        s->au16MeteringMemArrayAvgB[k], &z.u16GR, &z.u16GB, &z.u16Luma);
            z.u16Count = s->au16MeteringMemArrayCountAll[k];
        } else {
            const ISP_AWB_STAT_2_S *s = in->pstAwbStat2;
            u32 m0 = s->au16MeteringMemArrayAvgGR[k], m1 = s->au16MeteringMemArrayAvgGB[k];
            if (r.wdr)
                m0 = sq_wdr(m0, 8), m1 = sq_wdr(m1, 8);
            z.u16GR = ratio_point(r, m0, r.gR, r.aR);
            z.u16GB = ratio_point(r, m1, r.gB, r.aB);
            z.u16Count = s->au16MeteringMemArrayCount[k];
            z.u16Luma = 0x80;
        }
        z.u16GR = std::max<u16>(z.u16GR, 1);
        z.u16GB = std::max<u16>(z.u16GB, 1);
        z.u16Mired = 200;
        z.s16Shift = 256;
        z.u8Bin = 0;
        r.weight[k] = 0;
        total += z.u16Count;
        hist[std::min<u32>(z.u16Luma / 2, 127)]++;
    }
    r.w->u32GlobalCount = (u32)(total / ZONES);
}

// ---- step 5: in/out-door ---------------------------------------------------------------------------

void in_out_door(Run &r)
{
    AWB_WB_STATE_S *w = r.w;
    u32 s = 0;
    for (u32 i = 0; i < 10; i++)
        if (w->u16ExpRatio == (1u << i))
            s = 9 - i;
    u64 v = (((u64)w->u16ExpWord * r.E) / 100) >> s;
    u32 prev = w->u32FilteredExp;
    w->u32FilteredExp = (u32)std::min<u64>((32 * v + 62 * (u64)prev) >> 6, 0x203A000);
    s64 F4 = w->u32FilteredExp >> 4, P4 = prev >> 4, R12 = ((s64)w->u32InOutRef * 307) >> 8;
    const bool detect = w->u8OptA & AWB_OPTA_INOUT, manual = w->u8OptB & AWB_OPTB_INOUT_MANUAL;
    bool outdoor = w->bOutdoor;
    if (detect && !manual) {
        if ((F4 <= R12 && R12 <= P4) || (P4 <= R12 && R12 <= F4)) {
            w->u32InOutCounter = 0;
        } else {
            w->u32InOutCounter = std::min<u32>(w->u32InOutCounter + 1, 0xFFFF);
            if (w->u32InOutCounter > 64)
                outdoor = F4 < R12;
        }
        if (w->u8Score >= 116)
            outdoor = false;
    } else {
        outdoor = detect && manual && w->u8InOutUser;
    }
    w->bOutdoor = outdoor;
    if (outdoor) {
        s64 ow;
        if (manual) {
            ow = 0x2000;
        } else {
            s64 T2 = w->u32InOutRef / 2, T4 = T2 / 2;
            if (F4 > T2)
                ow = R12 - T2 > 0 ? (0xE000 / (R12 - T2)) * (F4 - T2) + 0x2000 : 0x10000;
            else if (F4 > T4)
                ow = (((0x10000 / std::max<s64>(T4, 1)) * (F4 - T2)) >> 4) + 0x2000;
            else
                ow = 0x1000;
        }
        w->u32OutdoorWeight = (u32)std::clamp<s64>(ow, 0x1000, 0x10000);
        w->s32LowSlope = (s32)((0x10000 - (s64)w->u32OutdoorWeight) / std::max<s32>(w->u16LowStart - w->u16LowStop, 1));
        w->s32HighSlope =
            (s32)(((s64)w->u32OutdoorWeight - 0x10000) / std::max<s32>(w->u16HighStop - w->u16HighStart, 1));
    }
    if (outdoor)
        w->u8OptA |= AWB_OPTA_OUTDOOR;
    else
        w->u8OptA &= ~AWB_OPTA_OUTDOOR;
}

// ---- step 8: has the scene changed since the held white point? ----------------------------------

bool scene_changed(Run &r)
{
    AWB_WB_STATE_S *w = r.w;
    const u32 thr = w->au16AreaThr[0], skin = w->au16AreaThr[2];
    u32 c = AwbGlobalRelateCoef(w->u16GR, w->u16GB, w->u16HeldGR, w->u16HeldGB, w->u16Luma, w->u16Luma);
    if (w->u16StableCount < w->u16StableNeeded || c < thr)
        return false;
    u32 coef[5] = {}, gr[5] = {}, gb[5] = {}, luma[5] = {};
    for (u32 i = 0; i < AWB_SAMPLE_ZONES; i++) {
        const AWB_ZONE_S &z = r.z[w->au16SampleZone[i]];
        const AWB_ZONE_S &st = w->astSample[i];
        u32 ci = 255;
        if (z.u16Count >= 512 && st.u16Count >= 512 && iabs(st.s16Shift) < 49)
            ci = std::min<u32>(AwbGlobalRelateCoef(z.u16GR, z.u16GB, (s32)st.u16GR, st.u16GB, st.u16Luma, z.u16Luma), 255);
        u32 a = w->au8SampleArea[i];
        coef[a] += ci, gr[a] += z.u16GR, gb[a] += z.u16GB, luma[a] += z.u16Luma;
    }
    u32 sum = 0, largest = 0;
    for (u32 a = 0; a < 5; a++) {
        coef[a] /= 4, gr[a] /= 4, gb[a] /= 4, luma[a] /= 4;
        if (AwbGlobalRelateCoef(gr[a], gb[a], w->u16SkinGR, w->u16SkinGB, 128, 128) <= skin)
            coef[a] = 255;
        sum += coef[a];
        largest = std::max(largest, coef[a]);
    }
    if (!r.outdoor) {
        u64 s = (sum - largest) / 4;
        w->au32AreaValue[0] = (u32)std::min<u64>(((u64)w->u16Luma * largest * 256) / std::max<u64>(s * s, 1), 0xFFFFFFFF);
    } else {
        w->au32AreaValue[0] = 256;
    }
    u64 base = r.E == 0 ? 0x1900000 : (u64)std::max<u32>(102400 / r.E, 256) << 8;
    w->au32AreaValue[1] = (u32)std::max<u64>(base / std::max<u32>(w->au32AreaValue[0] / 4, 1), 512);
    for (u32 a = 0; a < 5; a++) {
        bool moved = coef[a] * 2 >= thr * 3;
        bool away = AwbGlobalRelateCoef(gr[a], gb[a], w->u16ZoneGR, w->u16ZoneGB, 128, 128) >= skin;
        if (!moved && !away)
            return false;
    }
    return true;
}

// True when the run holds the last white point.
bool area_hold(Run &r)
{
    AWB_WB_STATE_S *w = r.w;
    const u32 delay = w->au16AreaThr[1];
    if ((w->u8OptA & AWB_OPTA_AREA) && !r.outdoor) {
        bool changed = scene_changed(r);
        if (w->u32FramesSinceReset >= delay) {
            if (w->bChanged)
                w->u32FramesSinceReset = 0;
            else if (!changed)
                return true;
            else if (w->u32FramesSinceReset > delay)
                w->u32FramesSinceReset = 0;
        } else if (w->bChanged) {
            w->u32FramesSinceReset = 0;
        }
    } else {
        w->au32AreaValue[0] = 256;
        w->au32AreaValue[1] = 640;
        if (w->u16StableCount < w->u16StableNeeded)
            return true;
    }
    w->u16HeldGR = w->u16GR;
    w->u16HeldGB = w->u16GB;
    return false;
}

// ---- step 10: luma thresholds from the zones' histogram ----------------------------------------------

void luma_thresholds(Run &r, const u32 hist[128])
{
    AWB_WB_STATE_S *w = r.w;
    w->au8LumaThresh[0] = 0;
    w->au8LumaThresh[5] = 255;
    if (w->u8LumaHistType == 0) {
        static const u32 counts[4] = {17, 47, 206, 236};
        u32 t[4] = {254, 254, 254, 254};
        for (u32 i = 0; i < 4; i++) {
            u32 run = 0;
            for (u32 b = 0; b < 128; b++) {
                run += hist[b];
                if (run > counts[i]) {
                    t[i] = 2 * b;
                    break;
                }
            }
        }
        if (!r.outdoor) {
            t[0] = std::clamp<u32>(t[0], 4, 10);
            t[1] = std::max(t[1], t[0]);
            t[2] = std::max(t[2], t[1]);
            t[3] = std::max({t[3], 235u, t[2]});
        }
        for (u32 i = 0; i < 4; i++)
            w->au8LumaThresh[i + 1] = (u8)std::min<u32>(t[i], 255);
    }
    awb_luma_slopes(w);
}

// ---- step 11: zone weights -------------------------------------------------------------------------------

void zone_weights(Run &r)
{
    AWB_WB_STATE_S *w = r.w;
    const u32 low = (w->u32LowCT * 921) >> 10, high = (w->u32HighCT * 1126) >> 10;
    r.sumGR = r.sumGB = r.sumW = 0;
    for (u32 k = 0; k < ZONES; k++) {
        AWB_ZONE_S &z = r.z[k];
        if (z.u16Count <= 64)
            continue;
        u32 m256;
        s16 shift;
        AwbToMired(w, 65535 / z.u16GR, 65535 / z.u16GB, &m256, &shift);
        z.u16Mired = (u16)std::clamp<u32>((m256 + 128) >> 8, 1, 0xFFFF);
        z.s16Shift = shift;
        u32 s = (u32)iabs(shift);
        u32 ws = s < r.t ? au8ShiftWt[std::min<u32>(s, 127)] : s < ((1228 * r.t) >> 10) ? au8ShiftWt[127] : 1;
        u32 wy = r.lumaHist ? AwbYWeightEva(w, z.u16Luma) : 256;
        u64 weight = ((((u64)z.u16Count * ws) >> 8) * wy) >> 10;
        const s32 K = 1000000 / z.u16Mired;
        if (r.outdoor && !(w->u8OptA & AWB_OPTA_MULTI_CT)) {
            s64 wo = outdoor_weight_at(w, K);
            if (shift < 0) {
                s64 k2 = K < 4500 ? 5000 - K : K - 4000;
                s64 q = std::max<s64>(192000 / k2, 128);
                s64 g = std::clamp<s64>((320 - (s64)z.u16GB) * 4, 0, 256);
                wo = (g * ((((wo << 7) / q) << 4) / (s + 16))) >> 8;
            }
            weight = (weight * (u64)(wo >> 8)) >> 8;
        }
        if ((u32)K < low || (u32)K > high)
            weight /= 2;
        r.weight[k] = (u32)weight;
        z.u16Weight = (u16)std::min<u64>(weight, 0xFFFF);
        r.sumW += weight;
        r.sumGR += ((u64)z.u16GR * weight) >> 8;
        r.sumGB += ((u64)z.u16GB * weight) >> 8;
    }
}

// ---- step 16: the clip: dark blend, colour temperature, pull and limits ---------------------------

// Below this exposure word, indoors and above this score the clip leaves
// the point alone.
constexpr u16 kClipHoldExpWord = 512;
constexpr u8 kClipHoldScore = 115;
// 1.0 x 1.0 in 8.8: the clip turns G/R into R/G and back against it.
constexpr s64 kClipOne = 0x10000;
// From this exposure level the point blends towards the zones' (global)
// point, all of it kUnity << kDarkBlendShift further.
constexpr u32 kDarkBlendLevel = 51200, kDarkBlendShift = 9;
// The pull: a top bin of fewer zones than this pulls by its count alone;
// the bins' spread term is taken between kPullSpreadMax and its mirror and
// scaled down by kPullSpreadScale; from kPullFadeLevel of exposure the pull
// weakens by one 1/256 per (1 << kPullFadeShift); it slows the speed by
// up to half (v / kPullSpeedScale).
constexpr s64 kPullFewZones = 16;
constexpr s64 kPullSpreadMax = 216, kPullSpreadScale = 181;
constexpr s64 kPullShiftOffset = 32, kPullShiftScale = 4096;
constexpr u32 kPullFadeLevel = 3200, kPullFadeShift = 4;
constexpr s64 kPullSpeedScale = 512;
constexpr u32 kPullSpeedShift = 9;
// The pre-clip point goes towards neutral by (1 << kPullNeutralShift)/256
// of the way for each whole exposure the in/out-door reference lies above
// the filtered exposure.
constexpr u32 kPullNeutralShift = 5;
// The smallest shift limit the pull and the shift limit use.
constexpr s32 kShiftLimitMin = 64;
// The CT limits clip fully beyond a band of 230/256 of the high limit's
// mired and 281/256 of the low limit's, linearly inside it.
constexpr s64 kCtBandHigh = 230, kCtBandLow = 281;
constexpr s64 kMired256Scale = (s64)kMiredScale * kUnity; // mired x 256 = this / K
// With the automatic limits, from this exposure level the clip gives way
// again, all of it kUnity << kExposureBlendShift further.
constexpr u32 kExposureBlendLevel = 25600, kExposureBlendShift = 6;
// A point beyond the shift limit moves to the limit by 1/16 per unit of
// shift beyond it.
constexpr s32 kShiftBlendShift = 4, kShiftBlendSteps = 1 << kShiftBlendShift;
// The projective correction: rows for G/R, the divisor and G/B over R/G,
// 1.0 and B/G in 8.8, and what the two ratios gain after the division.
constexpr s64 kProjective[3][3] = {{235, 5, 20}, {14, 261, -9}, {34, 23, 205}};
constexpr s64 kProjectiveOffsetGR = 6, kProjectiveOffsetGB = 4;

// The white point the clip works on.
struct clip_point {
    s64 gr, gb;
};

// `a` drawn towards `b` by `u` in 1/256.
s64 mix(s64 a, s64 b, s64 u) { return ((kUnity - u) * a + u * b) >> 8; }

void point_mired(AWB_WB_STATE_S *w, const clip_point &p) { wp_mired(w, (u32)p.gr, (u32)p.gb, kClipOne); }

// A confident indoor scene at short exposure keeps its point.
bool clip_holds(const Run &r)
{
    const AWB_WB_STATE_S *w = r.w;
    return w->u16ExpWord < kClipHoldExpWord && !r.outdoor && w->u8Score > kClipHoldScore;
}

// In the dark the point gives way to the zones' point.
void dark_blend(Run &r, clip_point &p, u16 ggr, u16 ggb)
{
    if (r.E <= kDarkBlendLevel)
        return;
    const s64 u = std::min<s64>((r.E - kDarkBlendLevel) >> kDarkBlendShift, kUnity);
    p.gr = std::max<s64>(mix(p.gr, ggr, u), 1);
    p.gb = std::max<s64>(mix(p.gb, ggb, u), 1);
    point_mired(r.w, p);
}

// The point's colour temperature (0xFFFF for mired 0).
void clip_colour_temperature(AWB_WB_STATE_S *w)
{
    const u32 m = w->u32Mired256 >> 8;
    w->u16ColorTemp = (u16)std::min<u32>(m ? kMiredScale / m : kMiredScale, 0xFFFF);
}

// How hard the low-confidence pull draws (0..256): the fewer of the binned
// zones the top bin holds and the farther the point lies from the curve,
// the harder; less in the dark.
s64 pull_strength(const Run &r)
{
    const AWB_WB_STATE_S *w = r.w;
    s64 n = w->u16TopBinCount, N = std::max<u32>(w->u32BinnedZones, 1);
    s64 sl = std::max<u16>(w->u16ShiftLimit, kShiftLimitMin), s = w->s16Shift;
    s64 a = std::max({255 - n, n, (n << 8) / N});
    a = std::min<s64>(a, kPullSpreadMax);
    a = std::max(a, kPullSpreadMax - a);
    s64 q = a * a / kPullSpreadScale;
    const s64 far = (std::llabs(s) + kPullShiftOffset) * (std::llabs(s) + kPullShiftOffset);
    s64 v = n < kPullFewZones ? (((kPullFewZones - n) * (kPullFewZones - n) + q) * far) / kPullShiftScale
                              : q * s * s / (sl * sl);
    v = std::clamp<s64>(v, 0, kUnity);
    if (r.E > kPullFadeLevel)
        v = std::max<s64>(v - ((r.E - kPullFadeLevel) >> kPullFadeShift), 0);
    return v;
}

// A point of little confidence slows the balance and moves
// towards the pre-clip point, itself drawn towards neutral the brighter the
// scene is than the in/out-door reference.
void low_confidence_pull(Run &r, clip_point &p)
{
    AWB_WB_STATE_S *w = r.w;
    const s64 v = pull_strength(r);
    w->u16Speed = (u16)(((kPullSpeedScale - v) * w->u16Speed) >> kPullSpeedShift);
    if (!v)
        return;
    const u32 exposure = std::max<u32>(w->u32FilteredExp >> 4, 1); // the filter keeps it x 16
    const s64 k = std::clamp<s64>((((s64)w->u32InOutRef << kPullNeutralShift) / exposure) - (1 << kPullNeutralShift),
                                  0, kUnity);
    const s64 j = (k * v) >> 8;
    const clip_point pre = {std::max<s64>(mix(w->u16PreGR, kUnity, j), 1),
                            std::max<s64>(mix(w->u16PreGB, kUnity, j), 1)};
    p.gr = std::max<s64>(mix(p.gr, pre.gr, v), 1);
    p.gb = std::max<s64>(mix(p.gb, pre.gb, v), 1);
    point_mired(w, p);
}

// The share (0..256) the CT limits' target takes of a point at `mm`: none
// between the limits' mired Mh and Ml, all beyond their bands.
s64 ct_clip_share(s64 mm, s64 Mh, s64 Ml)
{
    const s64 mh = (kCtBandHigh * Mh) >> 8, ml = (kCtBandLow * Ml) >> 8;
    if (mm < mh)
        return kUnity;
    if (mm < Mh)
        return (Mh - mm) * kUnity / std::max<s64>(Mh - mh, 1);
    if (mm <= Ml)
        return 0;
    if (mm <= ml)
        return (mm - Ml) * kUnity / std::max<s64>(ml - Ml, 1);
    return kUnity;
}

clip_point projective_correction(const clip_point &p)
{
    s64 x = kClipOne / p.gr, y = kClipOne / p.gb;
    if (!x)
        x = kClipOne;
    if (!y)
        y = kClipOne;
    auto row = [&](const s64(&c)[3]) { return c[0] * x + (c[1] << 8) + c[2] * y; };
    s64 d = row(kProjective[1]) >> 8;
    if (!d)
        d = 1;
    return {kClipOne / std::max<s64>(row(kProjective[0]) / d + kProjectiveOffsetGR, 1),
            kClipOne / std::max<s64>(row(kProjective[2]) / d + kProjectiveOffsetGB, 1)};
}

// Where the CT limits send a point beyond them: the projective correction,
// the user's limit points, or the curve at the limit passed.
struct ct_target {
    clip_point p;
    bool manual;         // the user's points: no exposure blend, no shift limit after
    bool exposure_blend; // the curve's: gives way again in the dark
};

ct_target limit_target(const Run &r, const clip_point &p, s64 mm, s64 Mh, s64 Ml)
{
    const AWB_WB_STATE_S *w = r.w;
    if (w->bXformEnable && !r.outdoor)
        return {projective_correction(p), false, false};
    ct_target t = {p, false, false};
    if (w->u8OptB & AWB_OPTB_CT_MANUAL) {
        t.manual = true;
        if (mm > Ml)
            t.p = {w->au16RgBgLimit[2], w->au16RgBgLimit[3]};
        else if (mm < Mh)
            t.p = {w->au16RgBgLimit[0], w->au16RgBgLimit[1]};
        return t;
    }
    t.exposure_blend = true;
    u16 cgr, cgb;
    if (mm > Ml) {
        curve_point_gr(w, (u32)Ml, 0, &cgr, &cgb);
        t.p = {cgr, std::min<s64>(cgb, p.gb)};
    } else if (mm < Mh) {
        curve_point_gr(w, (u32)Mh, 0, &cgr, &cgb);
        t.p = {std::min<s64>(cgr, p.gr), cgb};
    }
    return t;
}

// A point beyond the colour-temperature limits moves
// to their target. True when the target was the user's limit points.
bool ct_limits(Run &r, clip_point &p)
{
    AWB_WB_STATE_S *w = r.w;
    const s64 Mh = kMired256Scale / w->u32HighCT, Ml = kMired256Scale / w->u32LowCT, mm = w->u32Mired256;
    const s64 u = ct_clip_share(mm, Mh, Ml);
    const ct_target t = limit_target(r, p, mm, Mh, Ml);
    clip_point q = {mix(p.gr, t.p.gr, u), mix(p.gb, t.p.gb, u)};
    if (t.exposure_blend && r.E > kExposureBlendLevel) {
        const s64 e = std::min<s64>((r.E - kExposureBlendLevel) >> kExposureBlendShift, kUnity);
        q = {mix(q.gr, p.gr, e), mix(q.gb, p.gb, e)};
    }
    p = {std::max<s64>(q.gr, 1), std::max<s64>(q.gb, 1)};
    point_mired(w, p);
    return t.manual;
}

// A point too far from the curve moves towards the shift limit.
void shift_limit(Run &r, u16 t, clip_point &p)
{
    AWB_WB_STATE_S *w = r.w;
    const s32 l = std::max<s32>(t, kShiftLimitMin), s = w->s16Shift;
    if (s <= l && s >= -l)
        return;
    u16 bgr, bgb;
    curve_point_gr(w, w->u32Mired256, s > 0 ? l : -l, &bgr, &bgb);
    const s64 d = std::min<s32>(iabs(s) - l, kShiftBlendSteps);
    p.gr = std::max<s64>((d * bgr + (kShiftBlendSteps - d) * p.gr) >> kShiftBlendShift, 1);
    p.gb = std::max<s64>((d * bgb + (kShiftBlendSteps - d) * p.gb) >> kShiftBlendShift, 1);
}

void AwbCoefClip(Run &r, u16 t, u16 ggr, u16 ggb, u16 *pgr, u16 *pgb)
{
    AWB_WB_STATE_S *w = r.w;
    if (clip_holds(r))
        return;
    clip_point p = {*pgr, *pgb};
    dark_blend(r, p, ggr, ggb);
    clip_colour_temperature(w);
    const bool ct_limit = w->u8OptB & AWB_OPTB_CT_LIMIT;
    if (ct_limit && w->bPullEnable == 1)
        low_confidence_pull(r, p);
    const bool manual = ct_limit && ct_limits(r, p);
    if ((w->u8OptB & AWB_OPTB_SHIFT_LIMIT) && !manual)
        shift_limit(r, t, p);
    *pgr = clamp16(p.gr);
    *pgb = clamp16(p.gb);
}

// ---- the steps of a full run --------------------------------------------------------------------

// Step 1: the run's view of the frame: gains, exposure level and modes;
// WDR statistics are square roots of the light, squared back here.
void start_run(Run &r, const AWB_CTX_S &ctx, const AWB_FRAME_INPUT_S *in, AWB_WB_STATE_S *w)
{
    memset(&r, 0, sizeof r);
    r.w = w;
    r.ctx = &ctx;
    r.gR = std::max<u32>(w->au16StaticGain[0], kUnity);
    r.gG = std::max<u32>(w->au16StaticGain[1], kUnity);
    r.gB = std::max<u32>(w->au16StaticGain[3], kUnity);
    const u32 *g = ctx.stResult.au32WhiteBalanceGain; // 16.16, to 8.8
    r.aR = std::max<u32>((g[0] + 128) >> 8, 1);
    r.aG = std::max<u32>((g[1] + 128) >> 8, kUnity);
    r.aB = std::max<u32>((g[3] + 128) >> 8, 1);
    r.E = w->u32Exposure;
    r.wdr = awb_is_wdr(ctx.u8WDRMode);
    r.bayer = (w->u8OptA & AWB_OPTA_BAYER) && in->pstAwbStat3 && in->pstAwbStat4;

    if (ctx.u32FrameCnt < kSettleFrames) {
        w->u16Converged = 0;
        w->bFirstSettle = 1;
    }
    w->u16PreGR = w->u16PreGB = kUnity;
    if (r.wdr && r.bayer) {
        ISP_AWB_STAT_3_S *s3 = in->pstAwbStat3;
        s3->u16MeteringAwbAvgR = (u16)sq_wdr(s3->u16MeteringAwbAvgR, 16);
        s3->u16MeteringAwbAvgG = (u16)sq_wdr(s3->u16MeteringAwbAvgG, 16);
        s3->u16MeteringAwbAvgB = (u16)sq_wdr(s3->u16MeteringAwbAvgB, 16);
        ISP_AWB_STAT_4_S *s4 = in->pstAwbStat4;
        for (u32 k = 0; k < ZONES; k++) {
            s4->au16MeteringMemArrayAvgR[k] = (u16)sq_wdr(s4->au16MeteringMemArrayAvgR[k], 16);
            s4->au16MeteringMemArrayAvgG[k] = (u16)sq_wdr(s4->au16MeteringMemArrayAvgG[k], 16);
            s4->au16MeteringMemArrayAvgB[k] = (u16)sq_wdr(s4->au16MeteringMemArrayAvgB[k], 16);
        }
    }
}

// Step 4: frames of a still scene count towards the stability; a changed
// setting starts the count again.
void track_stability(Run &r)
{
    AWB_WB_STATE_S *w = r.w;
    if (!(w->u8OptA & AWB_OPTA_STABLE)) {
        w->u16StableCount = kStableMax;
        w->u32FramesSinceReset = std::min<u32>(w->u32FramesSinceReset + 1, kFramesMax);
    } else {
        u32 c = AwbGlobalRelateCoef(w->u16GR, w->u16GB, w->u16PrevGR, w->u16PrevGB, 128, 128);
        s32 dl = iabs((s32)w->u16Luma - (s32)w->u16PrevLuma);
        if (c > kStillColour || dl > kStillLuma || w->u16Luma == 0) {
            w->u16StableCount = 0;
        } else {
            w->u16StableCount = (u16)std::min<u32>(w->u16StableCount + 1u, kStableMax);
            w->u32FramesSinceReset = std::min<u32>(w->u32FramesSinceReset + 1, kFramesMax);
        }
    }
    if (w->bChanged)
        w->u32FramesSinceReset = 0;
    w->u16PrevGR = w->u16GR;
    w->u16PrevGB = w->u16GB;
    w->u16PrevLuma = w->u16Luma;
}

// A white point drawn from 1.0 by a strength in 1/128.
u16 with_strength(s32 strength, u16 v)
{
    return (u16)std::clamp<s32>((strength * ((s32)v - (s32)kUnity)) / kStrengthOne + (s32)kUnity, 1, 0xFFFF);
}

// Step 6: the global statistic alone.
void global_white_point(Run &r, u16 *gr, u16 *gb)
{
    AWB_WB_STATE_S *w = r.w;
    *gr = std::max<u16>(with_strength(w->u8StrengthR, w->u16GR), 1);
    *gb = std::max<u16>(with_strength(w->u8StrengthB, w->u16GB), 1);
    wp_mired(w, *gr, *gb, 65535);
    u32 m = w->u32Mired256 >> 8;
    w->u16ColorTemp = (u16)(m ? std::min<u32>(kMiredScale / m, 0xFFFF) : kNoMiredTemp);
}

// Step 9: how far from the curve a zone may be, wider in WDR and in the
// dark, narrower outdoors; WDR leaves out the luma histogram and the
// mixed-light detection.
void shift_tolerance(Run &r)
{
    AWB_WB_STATE_S *w = r.w;
    u32 t = w->u16ShiftLimit;
    r.lumaHist = w->u8OptB & AWB_OPTB_LUMA_HIST;
    r.multiLS = w->bMultiLSEnable;
    if (r.wdr) {
        t = (3 * t) / 2;
        r.lumaHist = false;
        r.multiLS = false;
    }
    if (r.outdoor)
        t = std::min<u32>(t, (u32)(((u64)t * w->u32OutdoorWeight + (u64)w->u8OutdoorTol * (0x10000 - w->u32OutdoorWeight)) >> 16));
    else if (r.E > kDarkLevel)
        t = std::min<u32>((u32)(((u64)r.E * t) >> kDarkShift), 2 * t);
    r.t = std::min<u32>(t, kShiftMax);
    w->u16ShiftTol = (u16)r.t;
}

// Steps 11 and 12: zone weights and the zones' white point; the white
// point the clip falls back on in the brightest light (the global one when
// no zone counted).
void zones_white_point(Run &r, u16 *ggr, u16 *ggb)
{
    AWB_WB_STATE_S *w = r.w;
    zone_weights(r);
    if (w->u8OptA & AWB_OPTA_AREA)
        for (u32 i = 0; i < AWB_SAMPLE_ZONES; i++)
            w->astSample[i] = r.z[w->au16SampleZone[i]];
    s64 W = r.sumW >> 8;
    *ggr = r.globalGR, *ggb = r.globalGB;
    if (W) {
        w->u16PreGR = clamp16(r.sumGR / W);
        w->u16PreGB = clamp16(r.sumGB / W);
        *ggr = w->u16PreGR, *ggb = w->u16PreGB;
        wp_mired(w, w->u16PreGR, w->u16PreGB, 65535);
        w->u32FilteredMired256 = (w->u32Mired256 + 7 * w->u32FilteredMired256) >> 3;
    }
}

// Step 14: the white point of what was weighed; with nothing, the global
// one drawn towards 1.0 the more the darker. Outdoors with a low score,
// green light is taken out.
void weighed_white_point(Run &r, u16 *gr, u16 *gb)
{
    AWB_WB_STATE_S *w = r.w;
    s64 W = r.sumW >> 8;
    if (W == 0) {
        s32 k = (s32)std::min<u32>(r.E / kDarkStrengthStep, kDarkStrengthMax);
        *gr = with_strength(k, w->u16GR);
        *gb = with_strength(k, w->u16GB);
    } else {
        *gr = clamp16(r.sumGR / W);
        *gb = clamp16(r.sumGB / W);
        w->u16ZoneGR = *gr;
        w->u16ZoneGB = *gb;
    }
    if ((w->u8OptB & AWB_OPTB_GREEN) && r.outdoor && w->u8Score < kLowScore) {
        if (*gr > kUnity)
            *gr = (u16)((u32)*gr * kUnity / (w->u8GreenFraction + kUnity));
        if (*gb > kUnity)
            *gb = (u16)((u32)*gb * kUnity / (w->u8GreenFraction + kUnity));
    }
}

// Step 15: the user's strengths, less of them in the dark for a white
// point far from the curve when the shift clamp is on.
void apply_strength(Run &r, u16 *gr, u16 *gb)
{
    AWB_WB_STATE_S *w = r.w;
    s32 sR = w->u8StrengthR, sB = w->u8StrengthB;
    if ((w->u8OptB & AWB_OPTB_SHIFT_CLAMP) && r.E > kShiftClampLevel) {
        wp_mired(w, *gr, *gb, 65535);
        s32 s = iabs(w->s16Shift);
        s32 f = std::min(16 * s, (s32)kUnity); // the whole of it from a shift of 16
        s32 k = (s32)std::min<u32>((r.E - kShiftClampLevel) / kStrengthFadeStep, kStrengthFadeMax);
        s32 d = (f * k) >> 8;
        sR = std::max(sR - d, 0);
        sB = std::max(sB - d, 0);
    }
    *gr = with_strength(sR, *gr);
    *gb = with_strength(sB, *gb);
    wp_mired(w, *gr, *gb, 65535);
}

// Steps 7 to 16: the white point from the zones. False when the scene has
// not changed and the last white point holds.
bool zone_white_point(Run &r, const AWB_FRAME_INPUT_S *in, u16 *gr, u16 *gb)
{
    AWB_WB_STATE_S *w = r.w;
    u32 hist[128] = {};
    zone_records(r, in, hist);
    if (area_hold(r))
        return false;
    shift_tolerance(r);
    if (r.lumaHist)
        luma_thresholds(r, hist);
    u16 ggr, ggb;
    zones_white_point(r, &ggr, &ggb);
    if (w->u8OptA & AWB_OPTA_MULTI_CT) {
        awb_multi_ct(r);
    } else {
        w->u8Degree = 0;
        memset(w->au16LightValue, 0, sizeof w->au16LightValue);
    }
    weighed_white_point(r, gr, gb);
    apply_strength(r, gr, gb);
    AwbCoefClip(r, (u16)r.t, ggr, ggb, gr, gb);
    return true;
}

} // namespace

AWB_WB_STATE_S *AwbWbMatrixCalculate(s32 s32Handle, const AWB_FRAME_INPUT_S *in, AWB_WB_STATE_S *w)
{
    static Run r; // the run of the ISP's thread; too big for its stack
    const AWB_CTX_S &ctx = g_astAwbCtx[s32Handle];
    start_run(r, ctx, in, w);
    global_point(r, in);
    // Auto off, or the temperature limits out of order: start afresh.
    if (!w->bAutoEnable || w->u32LowCT >= w->u32HighCT) {
        AwbWbMatrixInit(w);
        return w;
    }
    track_stability(r);
    // Step 5: in/out-door, while the scene moves or there is light enough.
    if (w->u16StableCount < w->u16StableNeeded || w->u32GlobalCount >= w->u32MinCount)
        in_out_door(r);
    r.outdoor = w->bOutdoor;

    u16 gr, gb;
    if (global_only(w->u8ZoneMode)) {
        global_white_point(r, &gr, &gb);
    } else if (!zone_white_point(r, in, &gr, &gb)) {
        AwbWbMatrixNormalize(w, w->u16OutGR, w->u16OutGB, &ctx);
        return w;
    }
    w->u16OutGR = gr;
    w->u16OutGB = gb;

    // Step 17: filter and gains.
    AwbWbMatrixNormalize(w, gr, gb, &ctx);
    return w;
}
