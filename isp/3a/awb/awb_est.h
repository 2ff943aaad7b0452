// What the white-point estimator's two files share: the state of one full
// run, the units and constants both use, and the colour-temperature stage
// (du_auto_wb_ct.cpp) the run calls.
#pragma once

#include "isp/3a/awb/awb_ctx.h"

#include <algorithm>

namespace awb_est {

constexpr u32 ZONES = AWB_ZONE_NUM;

// One full run: the frame's zones and what the steps work out of them.
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

// ---- units and the constants both stages use -------------------------------------------------------

constexpr u32 kUnity = 256;               // 1.0 in 8.8, and a whole weight in 1/256
constexpr s32 kMiredScale = 1000000;      // mired = 10^6 / K
constexpr u32 kDarkShift = 14, kDarkLevel = 1u << kDarkShift; // exposure level from which limits widen
constexpr u8 kLowScore = 112;             // below it the bins are spread and green light is suspect
constexpr u32 kShiftClampLevel = 3200;    // exposure level from which the shift clamp acts

inline s32 iabs(s32 v) { return v < 0 ? -v : v; }

inline u16 clamp16(s64 v) { return (u16)std::clamp<s64>(v, 1, 0xFFFF); }

// G/R from a curve point's R/G.
inline u16 inverse(u16 v) { return v ? (u16)std::min<u32>((((u32)v >> 1) + 0x10000) / v, 0xFFFF) : 0xFFFF; }

inline void curve_point_gr(const AWB_WB_STATE_S *w, u32 m256, s32 shift, u16 *gr, u16 *gb)
{
    u16 rg, bg;
    AwbToRgBg(w, m256, shift, &rg, &bg);
    *gr = inverse(rg);
    *gb = inverse(bg);
}

// Outdoor weight (16.16) of a colour temperature.
inline u32 outdoor_weight_at(const AWB_WB_STATE_S *w, s32 K)
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

// Step 13: the zones clustered into four colour-temperature bins; skin and
// mixed-light detection work on the bins, whose white point then takes over
// from the zones'.
void awb_multi_ct(Run &r);

} // namespace awb_est
