// One calculation's exposure step: the WDR ratio wanted, the measured
// brightness from the weighted histogram, the target, and the relative
// step with its tolerance, speed curves and delays.
#include "isp/3a/ae/ae_ctx.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Share (1/16) of the step taken, by delay row and error-to-tolerance column.
const u8 g_au8CountRatioLut[16][16] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 4, 6},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 3, 4, 6, 8},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 6, 8, 10, 12},
    {0, 0, 0, 0, 0, 1, 2, 2, 3, 4, 6, 8, 10, 12, 14, 16},
    {0, 0, 0, 1, 2, 3, 4, 5, 6, 8, 10, 12, 13, 15, 16, 16},
    {0, 0, 2, 3, 4, 5, 6, 8, 9, 11, 12, 14, 15, 16, 16, 16},
    {0, 2, 4, 5, 6, 7, 9, 10, 12, 13, 14, 15, 16, 16, 16, 16},
    {0, 4, 6, 7, 8, 9, 11, 12, 14, 15, 16, 16, 16, 16, 16, 16},
    {0, 6, 8, 9, 10, 11, 13, 14, 15, 16, 16, 16, 16, 16, 16, 16},
    {0, 8, 10, 11, 12, 13, 14, 15, 16, 16, 16, 16, 16, 16, 16, 16},
    {0, 10, 12, 13, 14, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
    {0, 12, 14, 15, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
    {0, 14, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
    {0, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
    {0, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16},
};

// Slopes (1/16 per error unit) of the speed curves.
const u16 kRise[6] = {4, 6, 8, 16, 32, 64};
const u16 kFallEveryFrame[6] = {4, 4, 5, 5, 6, 8};
const u16 kFallSlow[6] = {4, 6, 8, 10, 14, 22};

struct HistWeight {
    u16 thresh[4];
    s16 slope[4];
    s16 offset;
    u16 gain;
    u16 limit;
};

void set_weight(AE_CTX_S &c, const HistWeight &w)
{
    memcpy(c.au16HistThresh, w.thresh, sizeof w.thresh);
    memcpy(c.as16HistSlope, w.slope, sizeof w.slope);
    c.s16HistOffset = w.offset;
    c.u16StrategyGain = w.gain;
    c.u16StrategyLimit = w.limit;
}

void AeWDRExpRatioCalc(AE_CTX_S &c, const AE_FRAME_INPUT_S *in)
{
    u32 a1 = 0, a2 = 0, b1 = 0xFFFF, b2 = 0xFFFF;
    for (u32 r = 0; r < AE_ZONE_ROW; r++) {
        for (u32 col = 0; col < AE_ZONE_COLUMN; col++) {
            for (u32 k = 1; k <= 2; k++) {
                u32 v = in->pstAeStat5->au16ZoneAvg[r][col][k];
                if (v > a1) {
                    a2 = a1;
                    a1 = v;
                } else if (v > a2) {
                    a2 = v;
                }
                if (v < b1) {
                    b2 = b1;
                    b1 = v;
                } else if (v < b2) {
                    b2 = v;
                }
            }
        }
    }
    u64 high = (a1 + a2) >> 1;
    u64 low = (std::max<u32>(b1, 255) + std::max<u32>(b2, 255)) >> 1;
    u64 ratio = ((high * high * 36) / low) / low;
    u32 candidate = ratio <= 3136 ? 32 : std::max<u32>((u32)((ratio - 3136) / 16), 32);
    u32 s = c.u16WdrTolerance, now;
    if (s == 0) {
        now = candidate;
    } else {
        u32 p = c.u32PreExpRatio;
        u32 step = (s * c.u16WdrSpeed + 8) >> 4;
        double up = std::pow(10.0, s / 80.0), down = std::pow(10.0, -(double)s / 80.0);
        u32 pu = (u32)(p * up), pd = (u32)(p * down);
        u32 factor = 256;
        if (pu < candidate) {
            u32 m = candidate < 2 * pu ? 1 : candidate < 4 * pu ? 2 : candidate < 8 * pu ? 4 : 8;
            factor = 256 + std::min(step * m, 256u);
        } else if (candidate < pd) {
            u32 m = candidate > (u32)(p * down * 0.5) ? 1 : candidate > p * down * 0.25 ? 2 : candidate > p * down * 0.125 ? 4 : 8;
            factor = 256 - std::min(step * m, 128u);
        }
        now = (u32)(((u64)p * factor + 128) >> 8);
    }
    u64 x = ((u64)c.u16WdrBias * now) >> 10;
    c.u32IspRatio = (u32)AeBoundariesCheck64(x, 64, 4095);
    c.u32PreExpRatio = now;
    c.u32TargetRatio = (u32)AeBoundaryMinCheck64(AeBoundaryMaxCheck64(x, c.u32ExpRatioMax), c.u32ExpRatioMin);
}

// The bin weight at `i`: a continuous piecewise-linear curve.
s32 bin_weight(const AE_CTX_S &c, s32 i)
{
    const s32 t0 = c.au16HistThresh[0], t1 = c.au16HistThresh[1], t2 = c.au16HistThresh[2], t3 = c.au16HistThresh[3];
    const s32 k0 = c.as16HistSlope[0], k1 = c.as16HistSlope[1], k2 = c.as16HistSlope[2], k3 = c.as16HistSlope[3];
    const s32 b = c.s16HistOffset;
    const s32 w0 = b + k0 * t0 / 32, w1 = w0 + k1 * (t1 - t0) / 32, w2 = w1 + k2 * (t2 - t1) / 32;
    s32 w;
    if (i < t0)
        w = b + k0 * i / 32;
    else if (i < t1)
        w = w0 + k1 * (i - t0) / 32;
    else if (i < t2)
        w = w1 + k2 * (i - t1) / 32;
    else if (i < t3)
        w = w2 + k3 * (i - t2) / 32;
    else
        w = w2 + k3 * (t3 - t2) / 32;
    return std::clamp(w, 0, 255);
}

void AeHistArrayAverageCalc(AE_CTX_S &c, const AE_FRAME_INPUT_S *in)
{
    u64 n = 0, s = 0, sw = 0;
    for (u32 i = 0; i < 256; i++) {
        u64 h = in->pstAeStat3->au32Hist256Value[i];
        n += h;
        s += h * i;
        sw += (h * (u64)bin_weight(c, (s32)i) + 8) >> 4;
    }
    u64 div = n ? n : 1;
    c.u32HistMean = n ? (u32)((s + n / 2) / div) : 0;
    c.u32WeightedMean = n ? (u32)(((sw << 8) + n / 2) / div) : 0;
    s32 weighted = (s32)(((u64)c.u16StrategyGain * c.u32WeightedMean) >> 8);
    if (c.enStrategy == 0)
        c.s32Correction = std::min<s32>(weighted, c.u16StrategyLimit);
    else if (c.enStrategy == 1)
        c.s32Correction = std::max<s32>(-weighted, -(s32)c.u16StrategyLimit);
    else
        c.s32Correction = 0;
    c.u32Measured = (u32)std::clamp<s32>((s32)c.u32HistMean + c.s32Correction, 0, 255);
}

void AeTargetAdjust(AE_CTX_S &c)
{
    u32 t = (u32)c.u8Compensation * c.u16EVBias;
    t = t < 1024 ? 0 : t < 0x3FC00 ? t >> 10 : 255;
    if (!c.bAntiFlicker || c.u32FlickerFreq == 0 || c.enAntiFlickerMode == 1) {
        c.u8Target = (u8)t;
        c.bSubFlickerActive = 0;
        return;
    }
    const u32 raised = std::min<u32>(t + c.u8LumaDiff, 255);
    if (c.bSubFlickerActive) {
        c.bAntiFlicker = 0; // this cycle only: one flicker period already over-exposes
        c.u8Target = (u8)raised;
    } else {
        c.u8Target = (u8)t;
    }
    if (!c.bSubFlicker) {
        c.bSubFlickerActive = 0;
        return;
    }
    const u32 shortest = (u32)(((u64)c.u32LinesPer500ms << 8) / c.u32FlickerFreq);
    if (c.bAntiFlicker && c.u32IntTime == shortest && raised < c.u32Measured)
        c.bSubFlickerActive = 1;
    if (c.u8Target == raised && (u64)c.u32LinesPer500ms * 3072 / ((u64)c.u32FlickerFreq * 10) <= c.u32IntTime)
        c.bSubFlickerActive = 0;
}

// The speed curve of a positive (too dark) error in 1/64 of the target.
u32 rise_curve(s32 e)
{
    const u16 *r = kRise;
    const u32 r4 = (4 * r[0] + 8) >> 4, r8 = r4 + ((4 * r[1] + 8) >> 4), r16 = r8 + ((8 * r[2] + 8) >> 4);
    const u32 r32 = r16 + r[3], r48 = r32 + r[4];
    if (e < 4)
        return (e * r[0] + 8) >> 4;
    if (e < 8)
        return r4 + (((e - 4) * r[1] + 8) >> 4);
    if (e < 16)
        return r8 + (((e - 8) * r[2] + 8) >> 4);
    if (e < 32)
        return r16 + (((e - 16) * r[3] + 8) >> 4);
    if (e < 48)
        return r32 + (((e - 32) * r[4] + 8) >> 4);
    if (e < 64)
        return r48 + (((e - 48) * r[5] + 8) >> 4);
    return r48 + r[5];
}

// The speed curve of a too bright error, in 16-bit sums.
u16 fall_curve(s32 d, const u16 *f)
{
    const u16 f4 = (u16)((4 * f[0] + 8) >> 4), f8 = (u16)(f4 + ((4 * f[1] + 8) >> 4));
    const u16 f16 = (u16)(f8 + ((8 * f[2] + 8) >> 4)), f32v = (u16)(f16 + f[3]), f64 = (u16)(f32v + 2 * f[4]);
    if (d < 4)
        return (u16)((d * f[0] + 8) >> 4);
    if (d < 8)
        return (u16)(f4 + (((d - 4) * f[1] + 8) >> 4));
    if (d < 16)
        return (u16)(f8 + (((d - 8) * f[2] + 8) >> 4));
    if (d < 32)
        return (u16)(f16 + (((d - 16) * f[3] + 8) >> 4));
    if (d < 64)
        return (u16)(f32v + (((d - 32) * f[4] + 8) >> 4));
    if (d < 128)
        return (u16)(f64 + (((d - 64) * f[5] + 8) >> 4));
    return (u16)(f64 + 4 * f[5]);
}

void AeIncrementCalculate(AE_CTX_S &c)
{
    s16 error = (s16)((s32)c.u8Target - (s32)c.u32Measured);
    if (c.u8WDRMode != 0 && !(ae_wdr_line_mode(c.u8WDRMode) && c.enFSWDRMode == 1) && c.bWDRQuick != 1) {
        if (std::abs(error) <= c.u16Tolerance) {
            c.bRampActive = 1;
            c.u16RampCount = 0;
        } else if (c.bRampActive == 1) {
            c.u16RampCount++;
            error = (s16)(error * c.u16RampCount / std::max<u16>(c.u16RampFrames, 1));
            if (c.u16RampCount > c.u16RampFrames)
                c.bRampActive = c.u16RampCount = 0;
        }
    }
    c.s16LumError = error;
    const s16 e = (s16)(((s32)error * 64) / std::max<s32>(c.u8Target, 1));
    const u16 *fall = c.u8RunInterval == 1 ? kFallEveryFrame : kFallSlow;
    u32 step;
    s32 sign;
    if (e >= 1) {
        u32 v = std::min<u32>(rise_curve(e), 256);
        step = ((((u32)c.u16BlackSpeedBias * c.u8Speed + 128) >> 8) * v + 32) >> 6;
        step = AeBoundariesCheck(step, 1, 256);
        sign = 1;
    } else {
        u32 v = std::min<u32>(fall_curve(-e, fall), 256);
        step = AeBoundariesCheck(((u32)c.u8Speed * v + 32) >> 6, 1, 128);
        sign = -1;
    }
    c.s32Increment = sign * (s32)step;
    u32 a = step;
    const s32 T = c.u32StableFrameCount >= 30 ? 2 * c.u16Tolerance : c.u16Tolerance;
    const s32 Tdiv = std::max<s32>(T, 1);
    c.u32Exposure = c.u32PreExposure;
    if (!c.bZoneCheck) {
        if (error > T) {
            c.u32StableFrameCount = 0;
            c.u16CurErrDirect = 1;
            c.u16BlackFrameCount = c.u16PreErrDirect == 1 ? c.u16BlackFrameCount + 1 : 0;
            c.u16PreErrDirect = 1;
            if (c.u16BlackFrameCount >= c.u16BlackDelay) {
                if (c.u16BlackDelay) {
                    u32 row = std::min<u32>(c.u16BlackFrameCount - c.u16BlackDelay, 15);
                    u32 col = std::min<u32>(error / Tdiv, 15);
                    a = (a * g_au8CountRatioLut[row][col] + 8) >> 4;
                }
                c.u32Exposure = c.u32PreExposure + a;
            }
        } else if (error >= -T) {
            c.u16BlackFrameCount = c.u16WhiteFrameCount = 0;
            c.u32StableFrameCount++;
            c.u16PreErrDirect = c.u16CurErrDirect;
        } else {
            c.u16CurErrDirect = 0;
            c.u32StableFrameCount = 0;
            c.u16WhiteFrameCount = c.u16PreErrDirect == 0 ? c.u16WhiteFrameCount + 1 : 0;
            c.u16PreErrDirect = 0;
            if (c.u16WhiteFrameCount >= c.u16WhiteDelay) {
                if (c.u16WhiteDelay) {
                    u32 over = c.u16WhiteFrameCount - c.u16WhiteDelay;
                    u32 row = over < 14 ? over + 2 : 15;
                    u32 col = std::min<u32>(-error / Tdiv, 15);
                    a = (a * g_au8CountRatioLut[row][col] + 8) >> 4;
                }
                c.u32Exposure = c.u32PreExposure - a;
            }
        }
        return;
    }
    const u16 z = AeZoneErrorCalc((s32)(&c - g_astAeCtx));
    if (error > T || error < -T) {
        const bool dark = error > T;
        u16 &count = dark ? c.u16BlackFrameCount : c.u16WhiteFrameCount;
        const u16 delay = dark ? c.u16BlackDelay : c.u16WhiteDelay;
        if (std::abs(error) > 2 * T || z > c.u16ZoneThresh) {
            c.u16CurErrDirect = dark ? 1 : 0;
            c.u32StableFrameCount = 0;
            count = c.u16PreErrDirect == c.u16CurErrDirect ? count + 1 : 0;
        } else {
            c.u16BlackFrameCount = c.u16WhiteFrameCount = 0;
            c.u32StableFrameCount++;
        }
        if (count < delay)
            a = 0;
        c.u32Exposure = dark ? c.u32PreExposure + a : c.u32PreExposure - a;
    } else {
        c.u32StableFrameCount++;
        c.u16BlackFrameCount = c.u16WhiteFrameCount = 0;
    }
    c.u16PreErrDirect = c.u16CurErrDirect;
}

} // namespace

s32 AeHistWeightDef(s32 handle)
{
    static const HistWeight kStrategy1 = {{2, 8, 16, 32}, {0, -64, -64, -32}, 44, 128, 0};
    AE_CTX_S &c = g_astAeCtx[handle];
    const u32 strategy = c.enStrategy;
    if (strategy > 1)
        return 0;
    HistWeight w;
    switch (c.u8WDRMode) {
    case 0:
        w = strategy == 0 ? HistWeight{{110, 174, 220, 255}, {0, 8, 16, 32}, 0, 128, 16} : kStrategy1;
        w.limit = 16;
        break;
    case 1:
        w = strategy == 0 ? HistWeight{{80, 144, 190, 255}, {0, 8, 16, 32}, 0, 128, 64} : kStrategy1;
        w.limit = 64;
        break;
    case 2:
    case 3:
    case 4:
        if (c.u8WDRMode == 2 && c.enFSWDRMode == 1) {
            w = strategy == 0 ? HistWeight{{170, 200, 235, 255}, {0, 32, 64, 128}, 0, 128, 16} : kStrategy1;
            w.limit = 16;
        } else {
            w = strategy == 0 ? HistWeight{{170, 200, 235, 255}, {0, 32, 64, 128}, 0, 192, 128} : kStrategy1;
            w.gain = 192;
            w.limit = 128;
        }
        break;
    default:
        return 0;
    }
    set_weight(c, w);
    return 0;
}

s32 AeIncrementInitialize(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    c.bWDRQuick = 0;
    c.u8RunInterval = 1;
    c.u8Speed = 64;
    c.u16Tolerance = 2;
    c.u8Compensation = c.stSnsDft.u8AeCompensation ? c.stSnsDft.u8AeCompensation : 64;
    c.u8Target = 64;
    c.u16EVBias = 1024;
    c.u16BlackSpeedBias = 144;
    c.u16BlackDelay = c.u16WhiteDelay = 0;
    c.u16RampFrames = 50;
    c.bRampActive = c.u16RampCount = 0;
    c.u32HistMean = c.u32WeightedMean = c.u32Measured = 0;
    c.s32Correction = 0;
    c.s16LumError = 0;
    c.u32Exposure = c.u32PreExposure = 256;
    c.enStrategy = c.enWeightStrategy = 0;
    c.bZoneCheck = 0;
    c.u16ZoneThresh = 128;
    memset(c.au8ZoneLuma, 0, sizeof c.au8ZoneLuma);
    memset(c.au8PreZoneLuma, 0, sizeof c.au8PreZoneLuma);
    c.u32StableFrameCount = 0;
    c.u16CurErrDirect = c.u16PreErrDirect = 0;
    c.u16BlackFrameCount = c.u16WhiteFrameCount = 0;
    c.u32PreExpRatio = 64;
    c.bSubFlickerActive = 0;
    AeHistWeightDef(handle);
    c.u8RunInterval = 1;
    return 0;
}

s32 AeIncrementProcess(const AE_FRAME_INPUT_S *in, s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    c.u32Exposure = c.u32PreExposure;
    AeWDRExpRatioCalc(c, in);
    AeHistArrayAverageCalc(c, in);
    AeTargetAdjust(c);
    AeIncrementCalculate(c);
    return 0;
}

u16 AeZoneErrorCalc(s32 handle)
{
    AE_CTX_S &c = g_astAeCtx[handle];
    u32 valid = 255, changed = 0;
    for (u32 r = 0; r < AE_ZONE_ROW; r++) {
        for (u32 col = 0; col < AE_ZONE_COLUMN; col++) {
            u8 &now = c.au8ZoneLuma[r][col];
            if (now < c.u8ZoneLow || now > c.u8ZoneHigh) {
                now = 0;
                valid--;
            } else if (std::abs((s32)now - (s32)c.au8PreZoneLuma[r][col]) > (s32)c.u16Tolerance) {
                changed++;
            }
            c.au8PreZoneLuma[r][col] = now;
        }
    }
    return valid < 100 ? 0 : (u16)((changed << 8) / valid);
}
