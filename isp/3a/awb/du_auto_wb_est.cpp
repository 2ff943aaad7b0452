// The white-point estimator, once per full run: from the white-balance
// statistics of a frame to the white point the temporal filter takes. Zones
// are weighed by their distance from the sensor's white-balance curve, their
// luma and colour temperature and the in/out-door state; the multi-CT stage
// clusters them into four colour-temperature bins (skin and mixed-light
// detection work on those), and the result is clipped to the allowed
// colour-temperature range.
#include "isp/3a/awb/awb_ctx.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr u32 ZONES = AWB_ZONE_NUM;

struct Run {
    AWB_WB_STATE_S *w;
    const AWB_CTX_S *ctx;
    AWB_ZONE_S z[ZONES];
    u32 weight[ZONES];
    u32 gR, gG, gB;   // static gains, at least 1.0
    u32 aR, aG, aB;   // gains of the latest result, 8.8
    u32 E;            // exposure level (ISO)
    bool wdr;
    bool bayer;
    bool outdoor;
    bool lumaHist;
    bool multiLS;
    u16 globalGR, globalGB;
    s64 sumGR, sumGB, sumW;
    u32 t; // shift tolerance
    AWB_CT_BIN_S bins[AWB_CT_BINS];
    s32 binLo[AWB_CT_BINS], binHi[AWB_CT_BINS];
    u32 placed1, placed2;
};

// ---- units and the estimator's constants ----------------------------------------------------------

constexpr u32 kUnity = 256;               // 1.0 in 8.8, and a whole weight in 1/256
constexpr s32 kMiredScale = 1000000;      // mired = 10^6 / K
constexpr u32 kMired256Scale = 256000000; // the same in 1/256 mired
constexpr u16 kNoMiredTemp = (u16)kMiredScale; // the temperature of mired 0, as 16 bits hold it
constexpr s32 kStrengthOne = 128;         // strengths are in 1/128
constexpr u32 kShiftMax = 127;            // the largest shift tolerance (the shift weight table's last entry)
constexpr u32 kSettleFrames = 5;          // frames after start that still count as settling
constexpr u32 kStableMax = 255, kFramesMax = 0x7FFF;
constexpr u32 kStillColour = 11; // a still scene's colour and luma move no more between frames
constexpr s32 kStillLuma = 7;
constexpr u32 kDarkShift = 14, kDarkLevel = 1u << kDarkShift; // exposure level from which limits widen
// With nothing weighed the global point's strength (1/128) is one per 200
// of exposure level, at most 50.
constexpr u32 kDarkStrengthStep = 200, kDarkStrengthMax = 50;
constexpr u8 kLowScore = 112;             // below it the bins are spread and green light is suspect
constexpr u32 kShiftClampLevel = 3200;    // exposure level from which the shift clamp acts
// The shift clamp takes strength off by one 1/256 per 100 of exposure level
// above its level, at most 32.
constexpr u32 kStrengthFadeStep = 100, kStrengthFadeMax = 32;

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

// Zone modes 1 to 254 run the zone algorithm.
bool global_only(u8 zone_mode) { return zone_mode == 0 || zone_mode == 255; }

s32 iabs(s32 v) { return v < 0 ? -v : v; }

u16 clamp16(s64 v) { return (u16)std::clamp<s64>(v, 1, 0xFFFF); }

// The white point's mired and shift into the state; `num` turns G/R into R/G.
void wp_mired(AWB_WB_STATE_S *w, u32 gr, u32 gb, u32 num)
{
    AwbToMired(w, num / std::max<u32>(gr, 1), num / std::max<u32>(gb, 1), &w->u32Mired256, &w->s16Shift);
    if (w->u32Mired256 == 0)
        w->u32Mired256 = 1;
}

// G/R from a curve point's R/G.
u16 inverse(u16 v) { return v ? (u16)std::min<u32>((((u32)v >> 1) + 0x10000) / v, 0xFFFF) : 0xFFFF; }

void curve_point_gr(const AWB_WB_STATE_S *w, u32 m256, s32 shift, u16 *gr, u16 *gb)
{
    u16 rg, bg;
    AwbToRgBg(w, m256, shift, &rg, &bg);
    *gr = inverse(rg);
    *gb = inverse(bg);
}

// Outdoor weight (16.16) of a colour temperature.
u32 outdoor_weight_at(const AWB_WB_STATE_S *w, s32 K)
{
    s64 ow = w->u32OutdoorWeight;
    if (K < w->u16LowStop)
        return (u32)ow;
    if (K < w->u16LowStart)
        return (u32)(ow + (s64)w->s32LowSlope * (K - w->u16LowStop));
    if (K <= w->u16HighStart)
        return 0x10000;
    if (K < w->u16HighStop)
        return (u32)std::max<s64>(0x10000 + (s64)w->s32HighSlope * (K - w->u16HighStart), 0);
    return (u32)ow;
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

// ---- step 13: colour-temperature bins --------------------------------------------------------------

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

// Step 13: the zones clustered into four colour-temperature bins; skin and
// mixed-light detection work on the bins, whose white point then takes over
// from the zones'.
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

// ---- step 16: dark blend, colour temperature, pull and limits ------------------------------------

void AwbCoefClip(Run &r, u16 t, u16 ggr, u16 ggb, u16 *pgr, u16 *pgb)
{
    AWB_WB_STATE_S *w = r.w;
    s64 gr = *pgr, gb = *pgb;
    if (w->u16ExpWord < 512 && !r.outdoor && w->u8Score > 115)
        return;
    if (r.E > 51200) {
        s64 u = std::min<s64>((r.E - 51200) >> 9, 256);
        gr = std::max<s64>(((256 - u) * gr + u * ggr) >> 8, 1);
        gb = std::max<s64>(((256 - u) * gb + u * ggb) >> 8, 1);
        wp_mired(w, (u32)gr, (u32)gb, 65536);
    }
    u32 m = w->u32Mired256 >> 8;
    w->u16ColorTemp = (u16)std::min<u32>(m ? 1000000 / m : 1000000, 0xFFFF);

    if ((w->u8OptB & AWB_OPTB_CT_LIMIT) && w->bPullEnable == 1) {
        s64 n = w->u16TopBinCount, N = std::max<u32>(w->u32BinnedZones, 1);
        s64 sl = std::max<u16>(w->u16ShiftLimit, 64), s = w->s16Shift;
        s64 a = std::max({255 - n, n, (n << 8) / N});
        a = std::min<s64>(a, 216);
        a = std::max(a, 216 - a);
        s64 q = a * a / 181;
        s64 v = n < 16 ? (((16 - n) * (16 - n) + q) * (std::llabs(s) + 32) * (std::llabs(s) + 32)) / 4096
                       : q * s * s / (sl * sl);
        v = std::clamp<s64>(v, 0, 256);
        if (r.E > 3200)
            v = std::max<s64>(v - ((r.E - 3200) >> 4), 0);
        w->u16Speed = (u16)(((512 - v) * w->u16Speed) >> 9);
        if (v) {
            s64 k = std::clamp<s64>((((s64)w->u32InOutRef << 5) / std::max<u32>(w->u32FilteredExp >> 4, 1)) - 32, 0, 256);
            s64 j = (k * v) >> 8;
            s64 pgr2 = std::max<s64>(((256 - j) * w->u16PreGR + 256 * j) >> 8, 1);
            s64 pgb2 = std::max<s64>(((256 - j) * w->u16PreGB + 256 * j) >> 8, 1);
            gr = std::max<s64>((v * pgr2 + (256 - v) * gr) >> 8, 1);
            gb = std::max<s64>((v * pgb2 + (256 - v) * gb) >> 8, 1);
            wp_mired(w, (u32)gr, (u32)gb, 65536);
        }
    }

    bool manual = false;
    if (w->u8OptB & AWB_OPTB_CT_LIMIT) {
        s64 Mh = 256000000 / w->u32HighCT, Ml = 256000000 / w->u32LowCT, mm = w->u32Mired256;
        s64 mh = (230 * Mh) >> 8, ml = (281 * Ml) >> 8;
        s64 u = mm < mh ? 256 : mm < Mh ? (Mh - mm) * 256 / std::max<s64>(Mh - mh, 1) : mm <= Ml ? 0
              : mm <= ml ? (mm - Ml) * 256 / std::max<s64>(ml - Ml, 1) : 256;
        s64 tgr = gr, tgb = gb;
        bool blend_exposure = false;
        if (w->bXformEnable && !r.outdoor) {
            s64 x = 0x10000 / gr, y = 0x10000 / gb;
            if (!x)
                x = 0x10000;
            if (!y)
                y = 0x10000;
            s64 d = (14 * x + 0x10500 - 9 * y) >> 8;
            if (!d)
                d = 1;
            tgb = 0x10000 / std::max<s64>((34 * x + 0x1700 + 205 * y) / d + 4, 1);
            tgr = 0x10000 / std::max<s64>((235 * x + 0x500 + 20 * y) / d + 6, 1);
        } else if (w->u8OptB & AWB_OPTB_CT_MANUAL) {
            manual = true;
            if (mm > Ml)
                tgr = w->au16RgBgLimit[2], tgb = w->au16RgBgLimit[3];
            else if (mm < Mh)
                tgr = w->au16RgBgLimit[0], tgb = w->au16RgBgLimit[1];
        } else {
            blend_exposure = true;
            u16 cgr, cgb;
            if (mm > Ml) {
                curve_point_gr(w, (u32)Ml, 0, &cgr, &cgb);
                tgr = cgr, tgb = std::min<s64>(cgb, gb);
            } else if (mm < Mh) {
                curve_point_gr(w, (u32)Mh, 0, &cgr, &cgb);
                tgr = std::min<s64>(cgr, gr), tgb = cgb;
            }
        }
        s64 rgr = ((256 - u) * gr + u * tgr) >> 8, rgb = ((256 - u) * gb + u * tgb) >> 8;
        if (blend_exposure && r.E > 25600) {
            s64 e = std::min<s64>((r.E - 25600) >> 6, 256);
            rgr = (e * gr + (256 - e) * rgr) >> 8;
            rgb = (e * gb + (256 - e) * rgb) >> 8;
        }
        gr = std::max<s64>(rgr, 1);
        gb = std::max<s64>(rgb, 1);
        wp_mired(w, (u32)gr, (u32)gb, 0x10000);
    }

    if ((w->u8OptB & AWB_OPTB_SHIFT_LIMIT) && !manual) {
        s32 l = std::max<s32>(t, 64), s = w->s16Shift;
        if (s > l || s < -l) {
            u16 bgr, bgb;
            curve_point_gr(w, w->u32Mired256, s > 0 ? l : -l, &bgr, &bgb);
            s64 d = std::min<s32>(iabs(s) - l, 16);
            gr = std::max<s64>((d * bgr + (16 - d) * gr) >> 4, 1);
            gb = std::max<s64>((d * bgb + (16 - d) * gb) >> 4, 1);
        }
    }
    *pgr = clamp16(gr);
    *pgb = clamp16(gb);
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
