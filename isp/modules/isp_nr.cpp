// Bayer noise reduction: every second frame the short- and long-exposure
// thresholds from the 16-point ISO table (or the user's manual values), and
// in WDR modes a noise-profile limit from the front-end gamma curve or the
// exposure ratio; the kernel gets them a run later through the register
// configuration. The 128-entry noise profile comes from the sensor or is
// computed, and the user may replace it.
#include "isp/modules/isp_iq.h"

#include <algorithm>

namespace {

constexpr u32 kExtOpType = 0x11A00;     // bit 0: manual
constexpr u32 kExtNpUpdate = 0x11A04;   // bit 0: a new profile waits in 0x11A10..
constexpr u32 kExtNpTable = 0x11A10;    // 128 bytes
constexpr u32 kExtNpLast = kExtNpTable + NP_NODE_NUM - 1;
constexpr u32 kExtManualS = 0x10330, kExtManualL = 0x10331;
constexpr u32 kExtIsoThresh = 0x12356;  // 16 bytes: the threshold at ISO 100 x 2^i
constexpr u32 kExtIsoOffset = 0x12376;  // 16 bytes: the offset (the demosaic call's table)

constexpr u32 kValidMark = 164;
constexpr u8 kFilterLinear = 4, kFilterWdr = 3;
constexpr u16 kLimitNone = 0xFFFF;
// The WDR set the hardware starts with (limit, filter mode, slope).
constexpr u16 kWdrLimit = 20066;
constexpr u8 kWdrFilter = 3, kWdrSlope = 11;
constexpr u8 kInitManual = 24;        // what the attribute call starts with
constexpr u8 kInitManualCopy = 35;
constexpr u8 kSlopeMax = 127;         // the slope register holds 7 bits of meaning
constexpr u32 kRatioMin = 64, kRatioMax = 4095; // exposure ratio, 64 = 1x

using Nr = ISP_NR_ATTR_S;
#define N(m) VREG_MEMBER(Nr, m)
constexpr vreg_field kNrFields[] = {
    isp_bool_field(ISP_NR_CTRL_REG, 1, N(bEnable), ISP_NR_CTRL_ENABLE),
    vreg_reg(kExtOpType, 1, N(enOpType))
        .bits(0x1)
        .check(refuse_above(1, "Invalid NR type %d!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE)),
    vreg_reg(kExtIsoThresh, 1, N(au8Thresh)),
    vreg_reg(kExtManualS, 1, N(u8ThreshS)),
    vreg_reg(kExtManualL, 1, N(u8ThreshL)),
};
#undef N
constexpr vreg_table<Nr> kNrRecord = vreg_table_of<Nr>(kNrFields, DU_ERR_ISP_ILLEGAL_PARAM);

// The profile, taken by the module at its next run.
constexpr vreg_field kNpFields[] = {
    vreg_reg(kExtNpTable, 1, VREG_MEMBER(ISP_NP_TABLE_S, au8NPTable)),
};
constexpr vreg_table<ISP_NP_TABLE_S> kNpRecord =
    vreg_table_of<ISP_NP_TABLE_S>(kNpFields, DU_ERR_ISP_ILLEGAL_PARAM).updating(vreg_const(kExtNpUpdate, 1, 1).bits(0x1));

struct NrState {
    u8 u8ThreshS, u8ThreshL;
    u8 u8FilterMode;
    u8 u8Slope;
    u8 u8ProfileSource; // 1 the sensor's table, 0 computed
    u8 u8Offset;
    u16 u16Limit;
    u32 u32Mark;
    u8 au8Profile[NP_NODE_NUM];
    u32 u32StepBase, u32StepScale;
    u16 u16Step;
    u8 u8ManualS, u8ManualL;
    u16 au16Pair[2];
    u16 u16BlackLevel;
};
NrState g_nr;

ISP_CTX_S &ctx() { return g_astIspCtx[0]; }

void write_profile(const u8 *first, const u8 *second)
{
    for (u32 i = 0; i < NP_NODE_NUM; i++) {
        IO_WRITE8(ISP_NR_PROFILE_REG(i), first[i]);
        IO_WRITE8(kExtNpTable + i, first[i]);
        IO_WRITE8(ISP_NR_PROFILE2_REG(i), second[i]);
    }
}

// The profile: the sensor's when it has one, else the square-root law of
// shot noise on a log scale, from the first entry up.
void NrInitialize(ISP_DEV IspDev)
{
    g_nr.u8ManualS = g_nr.u8ManualL = kInitManualCopy;
    g_nr.u8FilterMode = kFilterLinear;
    g_nr.u8Slope = kFilterLinear;
    g_nr.u32Mark = kValidMark;
    g_nr.u16Limit = kLimitNone;
    g_nr.au16Pair[0] = g_nr.au16Pair[1] = 48;
    g_nr.u32StepBase = 2;
    g_nr.u32StepScale = 256;
    g_nr.u16Step = 508;
    g_nr.u16BlackLevel = ISP_SensorGetBlc(IspDev)->au16BlackLevel[0];
    const ISP_CMOS_NOISE_TABLE_S &t = ISP_SensorGetDefault(IspDev)->stNoiseTbl;
    if (t.bValid == 1) {
        write_profile(t.au8NoiseProfileWeightLut, t.au8DemosaicWeightLut);
        g_nr.u8ProfileSource = 1;
        return;
    }
    g_nr.u8ProfileSource = 0;
    u8 p[NP_NODE_NUM];
    for (u32 i = 0; i < NP_NODE_NUM; i++)
        p[i] = (u8)(log16(sqrt16(512 + g_nr.u16Step * i)) - 64);
    for (u32 i = 0; i < NP_NODE_NUM; i++)
        g_nr.au8Profile[i] = (u8)(p[i] - p[0]);
    write_profile(g_nr.au8Profile, g_nr.au8Profile);
}

s32 ISP_NrInit(ISP_DEV IspDev)
{
    IO_WRITE16(ISP_NR_LIMIT_REG, kLimitNone);
    IO_WRITE8(ISP_NR_FILTER_REG, kFilterLinear);
    IO_WRITE8(ISP_NR_SLOPE_REG, kFilterLinear);
    io_update8(ISP_MODULE_CTRL_REG, ISP_MODULE_NR_BYPASS, 0);
    io_update8(ISP_NR_CTRL_REG, 0, ISP_NR_CTRL_ENABLE);
    io_update8(kExtOpType, 1, 0);
    IO_WRITE8(kExtManualS, kInitManual);
    IO_WRITE8(kExtManualL, kInitManual);
    vreg_done(kNpRecord, 0);
    io_update8(ISP_NR_CTRL_REG, 0, ISP_NR_CTRL_BIT5 | ISP_NR_CTRL_BIT6);
    IO_WRITE8(ISP_NR_MODE_REG, 2);

    const u8 mode = ctx().u8WDRMode;
    if (mode <= WDR_MODE_BUILT_IN || isp_is_stitch_mode(mode)) {
        const bool wdr = isp_is_stitch_mode(mode);
        const u16 limit = wdr ? kWdrLimit : kLimitNone;
        const u8 filter = wdr ? kWdrFilter : kFilterLinear, slope = wdr ? kWdrSlope : kFilterLinear;
        IO_WRITE16(ISP_NR_WDR_LIMIT_REG, limit);
        IO_WRITE8(ISP_NR_WDR_FILTER_REG, filter);
        IO_WRITE8(ISP_NR_WDR_SLOPE_REG, slope);
        IO_WRITE16(ISP_NR_LIMIT_REG, limit);
        IO_WRITE8(ISP_NR_FILTER_REG, filter);
        IO_WRITE8(ISP_NR_SLOPE_REG, slope);
    }
    const ISP_CMOS_AGC_TABLE_S &agc = ISP_SensorGetDefault(IspDev)->stAgcTbl;
    if (agc.bValid) {
        isp_iso_table_write(kExtIsoThresh, agc.au8SnrThresh);
        isp_iso_table_write(kExtIsoOffset, agc.au8SnrOffset);
    }
    NrInitialize(IspDev);
    return 0;
}

// The short threshold between the two ISO points around the ISO; the
// offset of the lower point.
void NrThreshCalculate(void)
{
    if (g_nr.u32Mark != kValidMark)
        return;
    u8 thresh[ISP_ISO_POINTS];
    isp_iso_table_read(kExtIsoThresh, thresh);
    const u32 iso = isp_iso();
    g_nr.u8ThreshS = (u8)isp_iso_interpolate(thresh, iso);
    g_nr.u8Offset = (u8)IO_READ8(kExtIsoOffset + isp_iso_segment(iso).lo);
}

// The front-end gamma's output for x: its 33-node curve finds the place,
// its 257-point curve the value.
u32 NrNpCalcGammafeOut(const ISP_CMOS_GAMMAFE_S &fe, u32 x)
{
    if (!fe.bValid)
        return 0;
    const u16 *c = fe.au16Gammafe0, *h = fe.au16Gammafe1;
    if (x < c[0])
        return h[0];
    if (x >= c[GAMMAFE_NODE_NUMBER - 1])
        return h[GAMMA_NODE_NUMBER - 1];
    const u32 j = std::min<u32>(x >> 11, GAMMAFE_NODE_NUMBER - 2);
    const u32 f = (x >> 3) & 255;
    const u32 v = (256 - f) * c[j] + f * c[j + 1];
    const u32 k = std::min<u32>(v >> 16, GAMMA_NODE_NUMBER - 2), g = (v >> 8) & 255;
    return ((256 - g) * h[k] + g * h[k + 1]) >> 8;
}

// The limit, filter mode and slope by WDR mode; in the stitching modes the
// long threshold too.
void NrNPCal(ISP_DEV IspDev)
{
    if (vreg_pending(kNpRecord, 0)) {
        for (u32 i = 0; i < NP_NODE_NUM; i++)
            IO_WRITE8(ISP_NR_PROFILE_REG(i), IO_READ8(kExtNpTable + i));
        vreg_done(kNpRecord, 0);
    }
    const u8 mode = ctx().u8WDRMode;
    if (mode <= WDR_MODE_BUILT_IN) {
        g_nr.u8FilterMode = kFilterLinear;
        g_nr.u8Slope = kFilterLinear;
        g_nr.u8ThreshL = g_nr.u8ThreshS;
        g_nr.u16Limit = kLimitNone;
        return;
    }
    if (!isp_is_stitch_mode(mode))
        return;
    const u32 ratio = std::clamp<u32>(IO_READ16(ISP_FSWDR_RATIO_REG) & 0xFFF, kRatioMin, kRatioMax);
    const ISP_SENSOR_DEFAULT_S *def = ISP_SensorGetDefault(IspDev);
    g_nr.u8FilterMode = kFilterWdr;
    if (def->stGammafe.bValid && def->stNoiseTbl.bValid) {
        const u32 l = ((IO_READ16(ISP_FSWDR_LONG_REG) & 0xFFF) << 10) / ratio;
        const u32 g = NrNpCalcGammafeOut(def->stGammafe, l + IO_READ16(ISP_BLC_WDR_SCALE_REG));
        const u32 e = IO_READ8(kExtNpLast);
        g_nr.u16Limit = (u16)g;
        // Saturated rather than wrapped: the slope must fall as the limit rises.
        g_nr.u8Slope = g > 15 ? (u8)std::min<u32>(16256 / (g >> 4) - 1, kSlopeMax) : kSlopeMax;
        const u32 d = (e << 6) / ratio;
        g_nr.u8ThreshL = (u8)std::min<u32>(d + g_nr.u8ThreshS, 255);
        g_nr.u8ThreshS = (u8)std::min<u32>(e + g_nr.u8ThreshS, 255);
        IO_WRITE8(ISP_NR_PROFILE_REG(NP_NODE_NUM - 1), (e + ((ratio + 32) >> 6) + 15 - d) & 255);
        return;
    }
    static const u32 xs[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    static const s32 ys[] = {63560, 45781, 37755, 32877, 29483, 26945, 24917, 23249,
                             21834, 20609, 19526, 18559, 17680, 16876, 16128, 15430};
    g_nr.u16Limit = (u16)transition(xs, ys, 16, ratio, 6);
    g_nr.u8Slope = (u8)((Sqrt32(ratio) + 1) >> 1);
    const u32 s = std::min<u32>((math_log2(ratio, 0, 0) - 6) * 8, 255);
    g_nr.u8ThreshL = (u8)std::min<u32>(255 - s, g_nr.u8ThreshS);
    g_nr.u8ThreshS = (u8)(g_nr.u8ThreshL + s);
}

s32 ISP_NrRun(ISP_DEV IspDev, const void *, void *pRegCfg, s32)
{
    const ISP_CTX_S &c = ctx();
    if (c.bSyncSkip || !(c.u32FrameCnt & 1))
        return 0;
    g_nr.u8ManualS = (u8)IO_READ8(kExtManualS);
    g_nr.u8ManualL = (u8)IO_READ8(kExtManualL);
    // The kernel gets what the previous run worked out.
    ISP_REG_CFG_S *cfg = static_cast<ISP_REG_CFG_S *>(pRegCfg);
    cfg->u16NrLimit = g_nr.u16Limit;
    cfg->u8NrFilterMode = g_nr.u8FilterMode;
    cfg->u8NrSlope = g_nr.u8Slope;
    cfg->u8NrThreshS = g_nr.u8ThreshS;
    cfg->u8NrThreshL = g_nr.u8ThreshL;
    cfg->u8NrOffset = g_nr.u8Offset;
    cfg->u32Key |= ISP_REGCFG_NR;

    NrThreshCalculate();
    NrNPCal(IspDev);
    if (IO_READ8(kExtOpType) & 1) {
        g_nr.u8ThreshS = g_nr.u8ManualS;
        g_nr.u8ThreshL = isp_is_stitch_mode(c.u8WDRMode) ? g_nr.u8ManualL : g_nr.u8ManualS;
    }
    return 0;
}

void NrProcWrite(ISP_CTRL_PROC_WRITE_S *proc)
{
    isp_proc_printf(proc, "-----NR INFO-------------------------------------------------------------------\n");
    isp_proc_printf(proc, "%8s%8s%8s%8s%8s\n", "En", "ManuEn", "ThreshS", "ThreshL", "Offset");
    isp_proc_printf(proc, "%8d%8d%8d%8d%8d\n", (IO_READ8(ISP_NR_CTRL_REG) & ISP_NR_CTRL_ENABLE) ? 1 : 0,
                    IO_READ8(kExtOpType) & 1, g_nr.u8ThreshS, g_nr.u8ThreshL, g_nr.u8Offset);
}

s32 ISP_NrCtrl(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    if (u32Cmd == ISP_WDR_MODE_SET)
        ISP_NrInit(IspDev);
    else if (u32Cmd == ISP_PROC_WRITE)
        NrProcWrite(static_cast<ISP_CTRL_PROC_WRITE_S *>(pValue));
    return 0;
}

s32 ISP_NrExit(ISP_DEV) { return 0; }

} // namespace

s32 ISP_AlgRegisterNr(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_NR, {ISP_NrInit, ISP_NrRun, ISP_NrCtrl, ISP_NrExit});
}

s32 DU_DUZ_ISP_SetNRAttr(ISP_DEV IspDev, const ISP_NR_ATTR_S *pstNRAttr)
{
    return isp_iq_regs(kNrRecord, IspDev, pstNRAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetNRAttr(ISP_DEV IspDev, ISP_NR_ATTR_S *pstNRAttr) { return isp_iq_regs(kNrRecord, IspDev, pstNRAttr, __FUNCTION__); }

s32 DU_DUZ_ISP_SetNPTable(ISP_DEV IspDev, const ISP_NP_TABLE_S *pstNPTable)
{
    return isp_iq_regs(kNpRecord, IspDev, pstNPTable, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetNPTable(ISP_DEV IspDev, ISP_NP_TABLE_S *pstNPTable)
{
    return isp_iq_regs(kNpRecord, IspDev, pstNPTable, __FUNCTION__);
}
