// The exposure attribute interface: checks a caller's record and writes it
// into the exposure library's register page, or reads the page (and the
// ISP's weight and histogram registers) back. Every Set checks the whole
// record before it writes anything.
#include "isp/3a/ae/mpi_isp_ae.h"

#include <algorithm>
#include <cstring>

#include "isp/3a/ae/ae_ctx.h"

namespace {

constexpr u32 H = ISP_REG_BASE;
const AeRegs R{0};

// A refused field: its message on standard output and the refusal.
#define AE_REFUSE(cond, ...)                                                                              \
    do {                                                                                                  \
        if (cond) {                                                                                       \
            printf(__VA_ARGS__);                                                                          \
            return AE_ERR_ILLEGAL_PARAM;                                                                  \
        }                                                                                                 \
    } while (0)

s32 check_call(s32 dev, const void *rec, const char *func)
{
    if (dev != 0) {
        ALG_TRACE(func, "Err AE dev %d in %s!\n", dev, func);
        return AE_ERR_ILLEGAL_PARAM;
    }
    return alg_check_null(rec, AE_ERR_NULL_PTR, func);
}

#define AE_CHECK_CALL(dev, rec)                                                                           \
    do {                                                                                                  \
        s32 ret_ = check_call(dev, rec, __FUNCTION__);                                                    \
        if (ret_ != 0)                                                                                    \
            return ret_;                                                                                  \
    } while (0)

bool piris_type(s32 dev) { return (IO_READ16(ae_reg(dev, AE_REG_IRIS_TYPE)) & 3) == 1; }

// A gain pair: order first, then the 1x floor.
#define AE_CHECK_GAINS(max, min, name)                                                                    \
    AE_REFUSE((max) < (min), name "Max should not be less than " name "Min!\n");                          \
    AE_REFUSE((max) < 0x400 || (min) < 0x400, name "Max/" name "Min should not be less than 0x400!\n")

s32 check_exposure(const AE_EXPOSURE_SETTINGS_S &e)
{
    const AE_AUTO_SETTINGS_S &a = e.stAuto;
    const AE_MANUAL_SETTINGS_S &m = e.stManual;
    AE_REFUSE(e.bByPass > 1, "Invalid AE bByPass input!\n");
    AE_REFUSE(e.bHistStatAdjust > 1, "Invalid AE HistStatAdjust input!\n");
    AE_REFUSE(e.bAERouteExValid > 1, "Invalid bAERouteExValid input!\n");
    AE_REFUSE(e.enOpType > 1, "Invalid exposure type!\n");
    AE_REFUSE(e.u8AERunInterval == 0, "AE run interval must larger than 0!\n");
    AE_REFUSE(a.enAEMode > 1, "Invalid AE mode!\n");
    AE_REFUSE(a.enStrategyMode > 1, "Invalid AE strategy mode!\n");
    AE_REFUSE(a.u32ExpTimeMax < a.u32ExpTimeMin, "ExpTimeMax should not be less than ExpTimeMin!\n");
    AE_CHECK_GAINS(a.u32AGainMax, a.u32AGainMin, "AGain");
    AE_CHECK_GAINS(a.u32DGainMax, a.u32DGainMin, "DGain");
    AE_CHECK_GAINS(a.u32ISPDGainMax, a.u32ISPDGainMin, "ISPDGain");
    AE_CHECK_GAINS(a.u32SysGainMax, a.u32SysGainMin, "SysGain");
    AE_REFUSE(a.u32GainThreshold < 0x400, "Gain threshold for Slow Shutter Mode should not be less than 0x400!\n");
    AE_REFUSE(a.stAntiflicker.bEnable > 1, "Invalid anti flicker bEnable input!\n");
    AE_REFUSE(a.stAntiflicker.enMode > 1, "Invalid anti flicker mode input!\n");
    AE_REFUSE(a.stSubflicker.bEnable > 1, "Invalid AE Subflicker Enable input!\n");
    AE_REFUSE(a.stSubflicker.u8LumaDiff > 100, "Subflicker u8LumaDiff should not be larger than 0x64!\n");
    AE_REFUSE(a.bManualExpValue > 1, "Invalid AE bManualExpValue input!\n");
    AE_REFUSE(a.u32ExpValue == 0, "u32ExpValue must larger than 0!\n");
    for (u32 r = 0; r < AE_ZONE_ROW; r++)
        for (u32 c = 0; c < AE_ZONE_COLUMN; c++)
            AE_REFUSE(a.au8Weight[r][c] > 15, "au8Weight[%d][%d] should not be larger than 0xF!\n", r, c);
    AE_REFUSE(a.enFSWDRMode > 1, "Invalid FSWDR running mode!\n");
    AE_REFUSE(a.bWDRQuick > 1, "Invalid AE bWDRQuick input!\n");
    AE_REFUSE(m.bManualExpTimeEn > 1, "Invalid Manual ExpTime Enable input!\n");
    AE_REFUSE(m.bManualAGainEn > 1, "Invalid Manual AGain Enable input!\n");
    AE_REFUSE(m.bManualDGainEn > 1, "Invalid Manual DGain Enable input!\n");
    AE_REFUSE(m.bManualISPDGainEn > 1, "Invalid Manual ISPDGain Enable input!\n");
    AE_REFUSE(m.u32AGain < 0x400, "Manual AGain should not be less than 0x400!\n");
    AE_REFUSE(m.u32DGain < 0x400, "Manual DGain should not be less than 0x400!\n");
    AE_REFUSE(m.u32ISPDGain < 0x400, "Manual ISPDGain should not be less than 0x400!\n");
    return 0;
}

u32 manual_bits(const AE_MANUAL_SETTINGS_S &m)
{
    return (m.bManualExpTimeEn ? AE_MANUAL_TIME : 0) | (m.bManualAGainEn ? AE_MANUAL_AGAIN : 0) |
           (m.bManualDGainEn ? AE_MANUAL_DGAIN : 0) | (m.bManualISPDGainEn ? AE_MANUAL_ISPDGAIN : 0);
}

} // namespace

// ---- exposure -----------------------------------------------------------------------------------------

s32 DU_DUZ_ISP_SetExposureAttr(s32 s32Dev, const AE_EXPOSURE_SETTINGS_S *pstExpAttr)
{
    AE_CHECK_CALL(s32Dev, pstExpAttr);
    const AE_EXPOSURE_SETTINGS_S &e = *pstExpAttr;
    s32 ret = check_exposure(e);
    if (ret != 0)
        return ret;
    const AE_AUTO_SETTINGS_S &a = e.stAuto;
    const AE_MANUAL_SETTINGS_S &m = e.stManual;
    R.w8(AE_REG_BYPASS, e.bByPass);
    R.w16(AE_REG_HIST_ADJUST, e.bHistStatAdjust);
    R.w8(AE_REG_ROUTE_EX_VALID, e.bAERouteExValid);
    R.bits16(AE_REG_MANUAL, AE_MANUAL_OP, e.enOpType);
    R.w8(AE_REG_INTERVAL, e.u8AERunInterval);

    const u32 limits[][2] = {{AE_REG_TIME_MAX, a.u32ExpTimeMax},     {AE_REG_TIME_MIN, a.u32ExpTimeMin},
                             {AE_REG_AGAIN_MAX, a.u32AGainMax},      {AE_REG_AGAIN_MIN, a.u32AGainMin},
                             {AE_REG_DGAIN_MAX, a.u32DGainMax},      {AE_REG_DGAIN_MIN, a.u32DGainMin},
                             {AE_REG_ISPDGAIN_MAX, a.u32ISPDGainMax}, {AE_REG_ISPDGAIN_MIN, a.u32ISPDGainMin},
                             {AE_REG_SYSGAIN_MAX, a.u32SysGainMax},  {AE_REG_SYSGAIN_MIN, a.u32SysGainMin},
                             {AE_REG_GAIN_THRESH, a.u32GainThreshold}};
    for (const auto &l : limits)
        R.w32(l[0], l[1]);
    R.w8(AE_REG_SPEED, a.u8Speed);
    R.w16(AE_REG_BLACK_SPEED_BIAS, a.u16BlackSpeedBias);
    R.w8(AE_REG_TOLERANCE, a.u8Tolerance);
    R.w8(AE_REG_COMPENSATION, a.u8Compensation);
    R.w16(AE_REG_EV_BIAS, a.u16EVBias);
    R.bits8(AE_REG_STRATEGY, 0x3, a.enStrategyMode);
    R.w16(AE_REG_STRATEGY_GAIN, a.u16HistRatioSlope);
    R.w8(AE_REG_STRATEGY_LIMIT, a.u8MaxHistOffset);
    R.w8(AE_REG_AE_MODE, a.enAEMode);
    R.bits8(AE_REG_FLICKER, 0x10, a.stAntiflicker.bEnable << 4);
    R.w8(AE_REG_FLICKER_FREQ, a.stAntiflicker.bEnable ? a.stAntiflicker.u8Frequency : 0);
    R.bits8(AE_REG_FLICKER, 0x3, a.stAntiflicker.enMode);
    R.w8(AE_REG_SUBFLICKER, a.stSubflicker.bEnable);
    R.w8(AE_REG_LUMA_DIFF, a.stSubflicker.u8LumaDiff);
    R.w16(AE_REG_BLACK_DELAY, a.u16BlackDelayFrame);
    R.w16(AE_REG_WHITE_DELAY, a.u16WhiteDelayFrame);
    R.bits8(AE_REG_SWITCHES, 0x1, a.bManualExpValue);
    R.w32(AE_REG_EXP_VALUE, a.u32ExpValue);
    for (u32 i = 0; i < AE_ZONE_ROW * AE_ZONE_COLUMN; i++)
        IO_WRITE8(H + 0xA00 + i, a.au8Weight[i / AE_ZONE_COLUMN][i % AE_ZONE_COLUMN] & 0xF);
    R.bits8(AE_REG_FSWDR_MODE, 0x3, a.enFSWDRMode);
    R.bits8(AE_REG_WDR_QUICK, 0x1, a.bWDRQuick);

    R.bits16(AE_REG_MANUAL, AE_MANUAL_TIME | AE_MANUAL_AGAIN | AE_MANUAL_DGAIN | AE_MANUAL_ISPDGAIN, manual_bits(m));
    R.w32(AE_REG_MANUAL_TIME, m.u32ExpTime);
    R.w32(AE_REG_MANUAL_AGAIN, m.u32AGain);
    R.w32(AE_REG_MANUAL_DGAIN, m.u32DGain);
    R.w32(AE_REG_MANUAL_ISPDGAIN, m.u32ISPDGain);
    return 0;
}

s32 DU_DUZ_ISP_GetExposureAttr(s32 s32Dev, AE_EXPOSURE_SETTINGS_S *pstExpAttr)
{
    AE_CHECK_CALL(s32Dev, pstExpAttr);
    AE_EXPOSURE_SETTINGS_S &e = *pstExpAttr;
    AE_AUTO_SETTINGS_S &a = e.stAuto;
    AE_MANUAL_SETTINGS_S &m = e.stManual;
    const u32 bits = R.r16(AE_REG_MANUAL);
    e.bByPass = R.r8(AE_REG_BYPASS) & 1;
    e.enOpType = bits & AE_MANUAL_OP;
    e.u8AERunInterval = (u8)R.r8(AE_REG_INTERVAL);
    e.bHistStatAdjust = R.r16(AE_REG_HIST_ADJUST) & 1;
    e.bAERouteExValid = R.r8(AE_REG_ROUTE_EX_VALID) & 1;
    m.bManualExpTimeEn = (bits & AE_MANUAL_TIME) != 0;
    m.bManualAGainEn = (bits & AE_MANUAL_AGAIN) != 0;
    m.bManualDGainEn = (bits & AE_MANUAL_DGAIN) != 0;
    m.bManualISPDGainEn = (bits & AE_MANUAL_ISPDGAIN) != 0;
    m.u32ExpTime = R.r32(AE_REG_MANUAL_TIME);
    m.u32AGain = R.r32(AE_REG_MANUAL_AGAIN);
    m.u32DGain = R.r32(AE_REG_MANUAL_DGAIN);
    m.u32ISPDGain = R.r32(AE_REG_MANUAL_ISPDGAIN);
    a.u32ExpTimeMax = R.r32(AE_REG_TIME_MAX);
    a.u32ExpTimeMin = R.r32(AE_REG_TIME_MIN);
    a.u32AGainMax = R.r32(AE_REG_AGAIN_MAX);
    a.u32AGainMin = R.r32(AE_REG_AGAIN_MIN);
    a.u32DGainMax = R.r32(AE_REG_DGAIN_MAX);
    a.u32DGainMin = R.r32(AE_REG_DGAIN_MIN);
    a.u32ISPDGainMax = R.r32(AE_REG_ISPDGAIN_MAX);
    a.u32ISPDGainMin = R.r32(AE_REG_ISPDGAIN_MIN);
    a.u32SysGainMax = R.r32(AE_REG_SYSGAIN_MAX);
    a.u32SysGainMin = R.r32(AE_REG_SYSGAIN_MIN);
    a.u32GainThreshold = R.r32(AE_REG_GAIN_THRESH);
    a.u8Speed = (u8)R.r8(AE_REG_SPEED);
    a.u16BlackSpeedBias = (u16)R.r16(AE_REG_BLACK_SPEED_BIAS);
    a.u8Tolerance = (u8)R.r8(AE_REG_TOLERANCE);
    a.u8Compensation = (u8)R.r8(AE_REG_COMPENSATION);
    a.u16EVBias = (u16)R.r16(AE_REG_EV_BIAS);
    a.enStrategyMode = std::min<u32>(R.r8(AE_REG_STRATEGY), 2);
    a.u16HistRatioSlope = (u16)R.r16(AE_REG_STRATEGY_GAIN);
    a.u8MaxHistOffset = (u8)R.r8(AE_REG_STRATEGY_LIMIT);
    a.enAEMode = std::min<u32>(R.r8(AE_REG_AE_MODE), 2);
    const u32 flicker = R.r8(AE_REG_FLICKER);
    a.stAntiflicker.bEnable = (flicker >> 4) & 1;
    a.stAntiflicker.u8Frequency = (u8)R.r8(AE_REG_FLICKER_FREQ);
    a.stAntiflicker.enMode = std::min<u32>(flicker & 3, 2);
    a.stSubflicker.bEnable = R.r8(AE_REG_SUBFLICKER) & 1;
    a.stSubflicker.u8LumaDiff = (u8)R.r8(AE_REG_LUMA_DIFF);
    a.u16BlackDelayFrame = (u16)R.r16(AE_REG_BLACK_DELAY);
    a.u16WhiteDelayFrame = (u16)R.r16(AE_REG_WHITE_DELAY);
    a.bManualExpValue = R.r8(AE_REG_SWITCHES) & 1;
    a.u32ExpValue = R.r32(AE_REG_EXP_VALUE);
    a.enFSWDRMode = std::min<u32>(R.r8(AE_REG_FSWDR_MODE), 2);
    a.bWDRQuick = R.r8(AE_REG_WDR_QUICK) & 1;
    for (u32 i = 0; i < AE_ZONE_ROW * AE_ZONE_COLUMN; i++)
        a.au8Weight[i / AE_ZONE_COLUMN][i % AE_ZONE_COLUMN] = (u8)(IO_READ8(H + 0xA00 + i) & 0xF);
    return 0;
}

// ---- WDR exposure ratio -------------------------------------------------------------------------------

s32 DU_DUZ_ISP_SetWDRExposureAttr(s32 s32Dev, const AE_WDR_RATIO_SETTINGS_S *pstWDRExpAttr)
{
    AE_CHECK_CALL(s32Dev, pstWDRExpAttr);
    const AE_WDR_RATIO_SETTINGS_S &w = *pstWDRExpAttr;
    auto out_of_range = [](u32 v) { return v < 0x40 || v > 0xFFF; };
    AE_REFUSE(w.enExpRatioType > 1, "Invalid enExpRatioType %d!\n", w.enExpRatioType);
    AE_REFUSE(out_of_range(w.u32ExpRatio), "Invalid u32ExpRatio %d!\n", w.u32ExpRatio);
    AE_REFUSE(out_of_range(w.u32ExpRatioMax), "u32ExpRatioMax's range is [0x40, 0xFFF]!\n");
    AE_REFUSE(out_of_range(w.u32ExpRatioMin), "u32ExpRatioMin's range is [0x40, 0xFFF]!\n");
    AE_REFUSE(w.u32ExpRatioMin > w.u32ExpRatioMax, "u32ExpRatioMin %u should not larger than u32ExpRatioMax %u!\n",
              w.u32ExpRatioMin, w.u32ExpRatioMax);
    AE_REFUSE(w.u16Tolerance > 255, "Invalid u16Tolerance %d!\n", w.u16Tolerance);
    AE_REFUSE(w.u16Speed > 255, "Invalid u16Speed %d!\n", w.u16Speed);
    R.w8(AE_REG_RATIO_MANUAL, w.enExpRatioType == 1 ? 1 : 0);
    R.w16(AE_REG_RATIO, w.u32ExpRatio & 0xFFF);
    R.w16(AE_REG_RATIO_MAX, w.u32ExpRatioMax);
    R.w16(AE_REG_RATIO_MIN, w.u32ExpRatioMin);
    R.w16(AE_REG_RATIO_TOLERANCE, w.u16Tolerance);
    R.w16(AE_REG_RATIO_SPEED, w.u16Speed);
    R.w16(AE_REG_RATIO_BIAS, w.u16RatioBias);
    return 0;
}

s32 DU_DUZ_ISP_GetWDRExposureAttr(s32 s32Dev, AE_WDR_RATIO_SETTINGS_S *pstWDRExpAttr)
{
    AE_CHECK_CALL(s32Dev, pstWDRExpAttr);
    AE_WDR_RATIO_SETTINGS_S &w = *pstWDRExpAttr;
    w.enExpRatioType = R.r8(AE_REG_RATIO_MANUAL) & 1;
    w.u32ExpRatio = R.r16(AE_REG_RATIO) & 0xFFF;
    w.u32ExpRatioMax = R.r16(AE_REG_RATIO_MAX);
    w.u32ExpRatioMin = R.r16(AE_REG_RATIO_MIN);
    w.u16Tolerance = (u16)(R.r16(AE_REG_RATIO_TOLERANCE) & 0xFF);
    w.u16Speed = (u16)(R.r16(AE_REG_RATIO_SPEED) & 0xFF);
    w.u16RatioBias = (u16)R.r16(AE_REG_RATIO_BIAS);
    return 0;
}

// ---- routes -----------------------------------------------------------------------------------------------

namespace {

// One word's range and what is said when it is left.
struct WordLimit {
    u32 lo, hi;
    const char *below, *above;
};

// The node checks of a route: each word in its range in node order, the
// F-number only with a P-iris (its limit last), then the pairs: the
// product may not fall, and where it changes only one word may.
template <u32 W>
s32 check_route(s32 dev, const u32 *words, u32 count, const char *name, const WordLimit (&lim)[W],
                u64 (*gain_of)(const u32 *), const char *equivalent_msg)
{
    if (count > ISP_AE_ROUTE_MAX_NODES) {
        printf("Error! The %s node number %d is larger than 16!\n", name, count);
        return AE_ERR_ILLEGAL_PARAM;
    }
    const bool piris = piris_type(dev);
    for (u32 i = 0; i < count; i++) {
        const u32 *n = words + W * i;
        for (u32 k = 0; k < W; k++) {
            if (k == W - 1 && !piris)
                continue;
            const char *msg = n[k] < lim[k].lo ? lim[k].below : n[k] > lim[k].hi ? lim[k].above : nullptr;
            if (msg) {
                fputs(msg, stdout);
                return AE_ERR_ILLEGAL_PARAM;
            }
        }
        if (equivalent_msg && gain_of(n) > 0x1FFFFFFF) {
            fputs(equivalent_msg, stdout);
            return AE_ERR_ILLEGAL_PARAM;
        }
    }
    auto product = [&](const u32 *n) {
        u64 p = n[0] * gain_of(n);
        return piris ? p << n[W - 1] : p;
    };
    for (u32 i = 0; i + 1 < count; i++) {
        const u32 *a = words + W * i, *b = a + W;
        AE_REFUSE(product(a) > product(b), "Error! The %s node[%d]'s mutiply is larger than node[%d]!\n", name, i,
                  i + 1);
        if (product(a) == product(b))
            continue;
        u32 changed = 0;
        for (u32 k = 0; k < W; k++)
            changed += a[k] != b[k] && (k < W - 1 || piris);
        AE_REFUSE(changed > 1, "Error! The %s node[%d]&node[%d]'s param is illegal!\n", name, i, i + 1);
    }
    return 0;
}

u64 route_gain(const u32 *n) { return n[1]; }
u64 route_ex_gain(const u32 *n) { return ((u64)n[1] * n[2] * n[3]) >> 20; }

const WordLimit kRouteLimits[3] = {
    {1, 0x1FFFFF, "Error! The route node's IntTime should not be less than 1!\n",
     "Error! The route node's IntTime should not be larger than 0x1FFFFF!\n"},
    {0x400, 0x1FFFFFFF, "Error! The route node's SysGain should not be less than 0x400!\n",
     "Error! The route node's SysGain should not be larger than 0x1FFFFFFF!\n"},
    {0, ISP_IRIS_F_NO_1_0, nullptr, "Error! The route node's IrisFNO should not be larger than ISP_IRIS_F_NO_1_0!\n"},
};

const WordLimit kRouteExLimits[5] = {
    {1, 0x1FFFFF, "Error! The route_ex node's IntTime should not be less than 1!\n",
     "Error! The route_ex node's IntTime should not be larger than 0x1FFFFF!\n"},
    {0x400, 0x1FFFFF, "Error! The route_ex node's Again should not be less than 0x400!\n",
     "Error! The route_ex node's Again should not be larger than 0x1FFFFF!\n"},
    {0x400, 0x1FFFFF, "Error! The route_ex node's Dgain should not be less than 0x400!\n",
     "Error! The route_ex node's Dgain should not be larger than 0x1FFFFF!\n"},
    {0x400, 0x1FFFFF, "Error! The route_ex node's IspDgain should not be less than 0x400!\n",
     "Error! The route_ex node's IspDgain should not be larger than 0x1FFFFF!\n"},
    {0, ISP_IRIS_F_NO_1_0, nullptr,
     "Error! The route_ex node's IrisFNO should not be larger than ISP_IRIS_F_NO_1_0!\n"},
};

} // namespace

s32 ISP_RouteCheck(s32 s32Dev, const AE_ROUTE_TABLE_S *pstRoute)
{
    return check_route(s32Dev, &pstRoute->astRouteNode[0].u32IntTime, pstRoute->u32TotalNum, "route", kRouteLimits,
                       route_gain, nullptr);
}

s32 ISP_RouteExCheck(s32 s32Dev, const AE_ROUTE_EX_TABLE_S *pstRouteEx)
{
    return check_route(s32Dev, &pstRouteEx->astRouteExNode[0].u32IntTime, pstRouteEx->u32TotalNum, "route_ex",
                       kRouteExLimits, route_ex_gain,
                       "Error! The route_ex node's equivalent SysGain should not be larger than 0x1FFFFFFF!\n");
}

s32 DU_DUZ_ISP_SetAERouteAttr(s32 s32Dev, const AE_ROUTE_TABLE_S *pstAERouteAttr)
{
    AE_CHECK_CALL(s32Dev, pstAERouteAttr);
    s32 ret = ISP_RouteCheck(s32Dev, pstAERouteAttr);
    if (ret != 0)
        return ret;
    ae_route_regs_write(R, kAeRouteShape, pstAERouteAttr->u32TotalNum, &pstAERouteAttr->astRouteNode[0].u32IntTime);
    R.w16(AE_REG_ROUTE_CHANGED, 1); // last: the nodes are in place when the library sees it
    return 0;
}

s32 DU_DUZ_ISP_GetAERouteAttr(s32 s32Dev, AE_ROUTE_TABLE_S *pstAERouteAttr)
{
    AE_CHECK_CALL(s32Dev, pstAERouteAttr);
    memset(pstAERouteAttr, 0, sizeof *pstAERouteAttr);
    pstAERouteAttr->u32TotalNum = ae_route_regs_read(R, kAeRouteShape, &pstAERouteAttr->astRouteNode[0].u32IntTime);
    return 0;
}

s32 DU_DUZ_ISP_SetAERouteAttrEx(s32 s32Dev, const AE_ROUTE_EX_TABLE_S *pstAERouteAttrEx)
{
    AE_CHECK_CALL(s32Dev, pstAERouteAttrEx);
    s32 ret = ISP_RouteExCheck(s32Dev, pstAERouteAttrEx);
    if (ret != 0)
        return ret;
    ae_route_regs_write(R, kAeRouteExShape, pstAERouteAttrEx->u32TotalNum,
                        &pstAERouteAttrEx->astRouteExNode[0].u32IntTime);
    R.w8(AE_REG_ROUTE_EX_CHANGED, 1);
    return 0;
}

s32 DU_DUZ_ISP_GetAERouteAttrEx(s32 s32Dev, AE_ROUTE_EX_TABLE_S *pstAERouteAttrEx)
{
    AE_CHECK_CALL(s32Dev, pstAERouteAttrEx);
    memset(pstAERouteAttrEx, 0, sizeof *pstAERouteAttrEx);
    pstAERouteAttrEx->u32TotalNum =
        ae_route_regs_read(R, kAeRouteExShape, &pstAERouteAttrEx->astRouteExNode[0].u32IntTime);
    return 0;
}

// ---- status ------------------------------------------------------------------------------------------------

// A 256-bin word: 12-bit mantissa, 4-bit exponent.
u32 ae_hist_word_decode(u32 word)
{
    const u32 m = word & 0xFFF, e = (word >> 12) & 0xF;
    return e == 0 ? m : (m + 4096) << (e - 1);
}

s32 DU_DUZ_ISP_QueryExposureInfo(s32 s32Dev, AE_EXPOSURE_STATUS_S *pstExpStatus)
{
    AE_CHECK_CALL(s32Dev, pstExpStatus);
    AE_EXPOSURE_STATUS_S &s = *pstExpStatus;
    s.u32ExpTime = R.r32(AE_REG_STAT_TIME);
    s.u32ExpTime2 = R.r32(AE_REG_STAT_TIME2);
    s.u32AGain = R.r32(AE_REG_STAT_AGAIN);
    s.u32DGain = R.r32(AE_REG_STAT_DGAIN);
    s.u32ISPDGain = R.r32(AE_REG_STAT_ISPDGAIN);
    s.u32Exposure = R.r32(AE_REG_STAT_EXPOSURE);
    s.bExposureAtMax = R.r16(AE_REG_STAT_AT_MAX) & 1;
    s.s16LumError = (s16)R.r16(AE_REG_ERROR);
    // Bins 0, 1, 3 and 4 where the statistics block puts them; bin 2 is the rest.
    const u32 hist5_regs[4] = {0x720, 0x724, 0x728, 0x72C};
    u32 sum = 0;
    for (u32 i = 0; i < 4; i++) {
        u16 v = (u16)IO_READ16(H + hist5_regs[i]);
        s.au16Hist5Value[i < 2 ? i : i + 1] = v;
        sum += v;
    }
    s.au16Hist5Value[2] = (u16)(0xFFFF - std::min<u32>(sum, 0xFFFF));
    u64 total = 0, weighted = 0;
    for (u32 i = 0; i < 256; i++) {
        s.au32Hist256Value[i] = ae_hist_word_decode(IO_READ32(H + 0x3C00 + 4 * i) & 0xFFFF);
        total += s.au32Hist256Value[i];
        weighted += (u64)i * s.au32Hist256Value[i];
    }
    s.u8AveLum = total ? (u8)((weighted + total / 2) / total) : 0;
    s.u32LinesPer500ms = R.r32(AE_REG_STAT_LINES500);
    s.u32PirisGain = R.r32(AE_REG_STAT_PIRIS_GAIN);
    s.u32FrameRateX100 = R.r32(AE_REG_STAT_FPS);
    s.u32ISO = R.r32(AE_REG_STAT_ISO);
    s.u32ExpRatio = R.r16(AE_REG_STAT_RATIO) & 0xFFF;
    s.u32FirstStableTime = R.r32(AE_REG_STAT_STABLE_TIME);
    s.u32RouteNum = std::min<u32>(R.r16(AE_REG_STAT_ROUTE_NUM) & 0xFF, ISP_AE_ROUTE_MAX_NODES);
    for (u32 i = 0; i < s.u32RouteNum; i++) {
        const u32 at = AE_REG_STAT_ROUTE + 12 * i;
        s.astRouteNode[i] = {R.r32(at), R.r32(at + 4), R.r32(at + 8)};
    }
    s.u32RouteExNum = std::min<u32>(R.r8(AE_REG_STAT_ROUTE_EX_NUM), ISP_AE_ROUTE_MAX_NODES);
    for (u32 i = 0; i < s.u32RouteExNum; i++) {
        const u32 at = AE_REG_STAT_ROUTE_EX + 20 * i;
        s.astRouteExNode[i] = {R.r32(at), R.r32(at + 4), R.r32(at + 8), R.r32(at + 12), R.r32(at + 16)};
    }
    return 0;
}

// ---- iris -------------------------------------------------------------------------------------------------------

s32 DU_DUZ_ISP_SetIrisAttr(s32 s32Dev, const AE_IRIS_SETTINGS_S *pstIrisAttr)
{
    AE_CHECK_CALL(s32Dev, pstIrisAttr);
    const AE_IRIS_SETTINGS_S &i = *pstIrisAttr;
    AE_REFUSE(i.bEnable > 1, "Invalid AI bEnable input!\n");
    AE_REFUSE(i.enOpType > 1, "Invalid AI type!\n");
    AE_REFUSE(i.enIrisType > 1, "Invalid IRIS type!\n");
    AE_REFUSE(i.enIrisStatus > 2, "Invalid AI status!\n");
    AE_REFUSE(i.enIrisFNO > ISP_IRIS_F_NO_1_0, "Invalid F Number!\n");
    AE_REFUSE(i.u32HoldValue > 1000, "HoldValue's range is [0,1000]!\n");
    R.w16(AE_REG_IRIS_EN, i.bEnable);
    R.bits16(AE_REG_IRIS_MANUAL, 0x1, i.enOpType);
    R.bits16(AE_REG_IRIS_TYPE, 0x3, i.enIrisType);
    R.bits8(AE_REG_IRIS_STATUS, 0x3, i.enIrisStatus);
    R.w32(AE_REG_IRIS_HOLD, i.u32HoldValue);
    R.w8(AE_REG_PIRIS_FNO, i.enIrisFNO);
    return 0;
}

s32 DU_DUZ_ISP_GetIrisAttr(s32 s32Dev, AE_IRIS_SETTINGS_S *pstIrisAttr)
{
    AE_CHECK_CALL(s32Dev, pstIrisAttr);
    AE_IRIS_SETTINGS_S &i = *pstIrisAttr;
    i.bEnable = R.r16(AE_REG_IRIS_EN) & 1;
    i.enOpType = R.r16(AE_REG_IRIS_MANUAL) & 1;
    i.enIrisType = std::min<u32>(R.r16(AE_REG_IRIS_TYPE) & 3, 2);
    i.enIrisStatus = R.r8(AE_REG_IRIS_STATUS) & 3;
    i.u32HoldValue = R.r32(AE_REG_IRIS_HOLD);
    i.enIrisFNO = R.r8(AE_REG_PIRIS_FNO);
    return 0;
}

s32 DU_DUZ_ISP_SetDcirisAttr(s32 s32Dev, const AE_DCIRIS_SETTINGS_S *pstDcirisAttr)
{
    AE_CHECK_CALL(s32Dev, pstDcirisAttr);
    const AE_DCIRIS_SETTINGS_S &d = *pstDcirisAttr;
    AE_REFUSE((u32)d.s32Kp > 100000, "s32Kp's range must be [0, 100000]!\n");
    AE_REFUSE((u32)d.s32Ki > 1000, "s32Ki's range must be [0, 1000]!\n");
    AE_REFUSE((u32)d.s32Kd > 100000, "s32Kd's range must be [0, 100000]!\n");
    AE_REFUSE(d.u32MinPwmDuty > 1000, "u32MinPwmDuty's range must be [0, 1000]!\n");
    AE_REFUSE(d.u32MaxPwmDuty > 1000, "u32MaxPwmDuty's range must be [0, 1000]!\n");
    AE_REFUSE(d.u32MinPwmDuty > d.u32MaxPwmDuty, "u32MinPwmDuty should not larger than u32MaxPwmDuty!\n");
    AE_REFUSE(d.u32OpenPwmDuty > 1000, "u32OpenPwmDuty's range must be [0, 1000]!\n");
    AE_REFUSE(d.u32OpenPwmDuty < d.u32MinPwmDuty || d.u32OpenPwmDuty > d.u32MaxPwmDuty,
              "u32OpenPwmDuty should not less than u32MinPwmDuty or larger than u32MaxPwmDuty!\n");
    R.w32(AE_REG_DCIRIS_KP, (u32)d.s32Kp);
    R.w32(AE_REG_DCIRIS_KI, (u32)d.s32Ki);
    R.w32(AE_REG_DCIRIS_KD, (u32)d.s32Kd);
    R.w32(AE_REG_DCIRIS_DUTY_MIN, d.u32MinPwmDuty);
    R.w32(AE_REG_DCIRIS_DUTY_MAX, d.u32MaxPwmDuty);
    R.w32(AE_REG_DCIRIS_DUTY_OPEN, d.u32OpenPwmDuty);
    return 0;
}

s32 DU_DUZ_ISP_GetDcirisAttr(s32 s32Dev, AE_DCIRIS_SETTINGS_S *pstDcirisAttr)
{
    AE_CHECK_CALL(s32Dev, pstDcirisAttr);
    AE_DCIRIS_SETTINGS_S &d = *pstDcirisAttr;
    d.s32Kp = (s32)R.r32(AE_REG_DCIRIS_KP);
    d.s32Ki = (s32)R.r32(AE_REG_DCIRIS_KI);
    d.s32Kd = (s32)R.r32(AE_REG_DCIRIS_KD);
    d.u32MinPwmDuty = R.r32(AE_REG_DCIRIS_DUTY_MIN);
    d.u32MaxPwmDuty = R.r32(AE_REG_DCIRIS_DUTY_MAX);
    d.u32OpenPwmDuty = R.r32(AE_REG_DCIRIS_DUTY_OPEN);
    return 0;
}

s32 DU_DUZ_ISP_SetPirisAttr(s32 s32Dev, const AE_PIRIS_SETTINGS_S *pstPirisAttr)
{
    AE_CHECK_CALL(s32Dev, pstPirisAttr);
    const AE_PIRIS_SETTINGS_S &p = *pstPirisAttr;
    AE_REFUSE(p.enMaxIrisFNO > ISP_IRIS_F_NO_1_0 || p.enMinIrisFNO > ISP_IRIS_F_NO_1_0, "Invalid Iris FNO input!\n");
    AE_REFUSE(p.enMaxIrisFNO < p.enMinIrisFNO, "enMaxIrisFNO should not be less than enMinIrisFNO!\n");
    AE_REFUSE(p.bZeroIsMax > 1, "Invalid bZeroIsMax input!\n");
    AE_REFUSE(p.bStepFNOTableChange > 1, "Invalid bStepFNOTableChange input!\n");
    AE_REFUSE(p.u16TotalStep < 1 || p.u16TotalStep > 1024, "Piris TotalStep's range must be [1, 1024]!\n");
    AE_REFUSE(p.u16StepCount < 1 || p.u16StepCount > 1024, "Piris StepCount's range must be [1, 1024]!\n");
    AE_REFUSE(p.u16TotalStep < p.u16StepCount, "u16TotalStep should not less than u16StepCount!\n");
    for (u32 i = 0; i < 1024; i++) {
        AE_REFUSE(p.au16StepFNOTable[i] > 1024, "au16StepFNOTable's range must be [0, 1024]!\n");
        AE_REFUSE(i + 1 < p.u16StepCount && p.au16StepFNOTable[i] > p.au16StepFNOTable[i + 1],
                  "au16StepFNOTable[%d] should not larger than au16StepFNOTable[%d]!\n", i, i + 1);
    }
    R.w8(AE_REG_FNO_MAX, p.enMaxIrisFNO);
    R.w8(AE_REG_FNO_MIN, p.enMinIrisFNO);
    R.bits8(AE_REG_PIRIS_TABLE_NEW, 0x1, p.bStepFNOTableChange);
    R.bits8(AE_REG_PIRIS_ZERO_MAX, 0x1, p.bZeroIsMax);
    R.w16(AE_REG_PIRIS_TOTAL, p.u16TotalStep);
    R.w16(AE_REG_PIRIS_COUNT, p.u16StepCount);
    for (u32 i = 0; i < p.u16StepCount; i++)
        R.w16(AE_REG_PIRIS_TABLE + 2 * i, p.au16StepFNOTable[i]);
    return 0;
}

s32 DU_DUZ_ISP_GetPirisAttr(s32 s32Dev, AE_PIRIS_SETTINGS_S *pstPirisAttr)
{
    AE_CHECK_CALL(s32Dev, pstPirisAttr);
    AE_PIRIS_SETTINGS_S &p = *pstPirisAttr;
    p.enMaxIrisFNO = R.r8(AE_REG_FNO_MAX);
    p.enMinIrisFNO = R.r8(AE_REG_FNO_MIN);
    p.bZeroIsMax = R.r8(AE_REG_PIRIS_ZERO_MAX) & 1;
    p.u16TotalStep = (u16)R.r16(AE_REG_PIRIS_TOTAL);
    p.u16StepCount = (u16)R.r16(AE_REG_PIRIS_COUNT);
    const u32 count = std::min<u32>(p.u16StepCount, 1024);
    for (u32 i = 0; i < 1024; i++)
        p.au16StepFNOTable[i] = i < count ? (u16)R.r16(AE_REG_PIRIS_TABLE + 2 * i) : 0;
    return 0;
}
