// Dynamic range compression: the strength follows the scene's shadows from
// the luminance histogram (limited by the ISO, where noise would show), or
// the WDR exposure ratio, or the user's manual value, and reaches the kernel
// with the sensor sync; the 33-point asymmetry curve is rebuilt whenever its
// two shape parameters change.
#include "isp/modules/isp_iq.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr u32 kExtOpType = 0x10301;      // bit 1: manual
constexpr u32 kExtManualStrength = 0x1032C;
constexpr u32 kExtTarget = 0x1032D;
constexpr u32 kExtAsymmetry = 0x1032E;
constexpr u32 kExtBrightEnhance = 0x1032F;
constexpr u32 kManualBit = 1u << 1;

constexpr u32 kStrengthMax = 255;
constexpr u32 kCurvePoints = 33;
constexpr u32 kValidMark = 172;
constexpr u32 kRatioScale = 256, kWdrGainUnity = 64;
// The shape a sensor leaves open: a gentle S lifting the shadows.
constexpr u8 kDefaultAsymmetry = 20, kDefaultBrightEnhance = 200;
constexpr u32 kTargetLinear = 128, kTargetBuiltInWdr = 160, kTargetStitch = 128, kInitStrength = 128;

// ---- the record --------------------------------------------------------------------------------

using Drc = ISP_DRC_CFG_S;
#define D(m) VREG_MEMBER(Drc, m)
// Checked in this order (the last three before the op type is written);
// written in row order.
constexpr vreg_field kDrcFields[] = {
    isp_bool_field(ISP_DRC_CTRL_REG, 1, D(bEnable), 1u << 0),
    vreg_reg(ISP_DRC_SLOPE_MAX_REG, 1, D(u32SlopeMax)).check(refuse_above(255, "Invalid u32SlopeMax Parameter Input!")),
    vreg_reg(ISP_DRC_SLOPE_MIN_REG, 1, D(u32SlopeMin)).check(refuse_above(255, "Invalid u32SlopeMin Parameter Input!")),
    vreg_rule(D(u32WhiteLevel), refuse_above(4095, "Invalid u32WhiteLevel Parameter Input!")),
    vreg_reg(ISP_DRC_BLACK_REG, 2, D(u32BlackLevel)).bits(0xFFF).check(refuse_above(4095, "Invalid u32BlackLevel Parameter Input!")),
    vreg_reg(ISP_DRC_WHITE_REG, 2, D(u32WhiteLevel)).bits(0xFFF),
    vreg_reg(ISP_DRC_VARIANCE_REG, 1, D(u32VarianceSpace))
        .bits(0x0F)
        .check(refuse_above(15, "Invalid u32VarianceSpace Parameter Input!")),
    vreg_reg(ISP_DRC_VARIANCE_REG, 1, D(u32VarianceIntensity))
        .bits(0xF0)
        .check(refuse_above(15, "Invalid u32VarianceIntensity Parameter Input!")),
    vreg_reg(kExtAsymmetry, 1, D(u32Asymmetry)).check(refuse_above(255, "Invalid u32Asymmetry Parameter Input!")),
    vreg_reg(kExtBrightEnhance, 1, D(u32BrightEnhance)).check(refuse_above(255, "Invalid u32BrightEnhance Parameter Input!")),
    vreg_rule(D(u32StrengthTarget),
              refuse_above(kStrengthMax, "Invalid u32StrengthTarget %d!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE)),
    vreg_rule(D(u32Strength), refuse_above(kStrengthMax, "Invalid u32Strength:%d!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE)),
    vreg_reg(kExtOpType, 1, D(enOpType))
        .bits(kManualBit)
        .check(refuse_above(1, "Invalid DRC Op mode:%d!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE)),
    vreg_reg(kExtManualStrength, 1, D(u32Strength)),
    vreg_reg(kExtTarget, 1, D(u32StrengthTarget)),
};
#undef D
constexpr vreg_table<Drc> kDrcRecord = vreg_table_of<Drc>(kDrcFields, DU_ERR_ISP_ILLEGAL_PARAM);

// ---- the module --------------------------------------------------------------------------------

struct DrcState {
    u32 bManual;
    u32 u32Strength;
    u32 u32Target;
    u8 u8Asymmetry, u8BrightEnhance; // the curve's parameters in the hardware
    bool bCurveValid;
    u32 au32Curve[kCurvePoints];
    u32 u32HistRatio;
    u32 u32RatioScale;
    u16 u16WdrGain;
    u16 au16Hist[5];
    u32 u32Mark;
};
DrcState g_drc;

ISP_CTX_S &ctx() { return g_astIspCtx[0]; }

u32 curve_value(double v)
{
    if (std::isnan(v))
        return 0; // 0/0 of a degenerate shape
    return (u32)std::clamp(v, 0.0, 65535.0);
}

// The asymmetry curve over 33 points of the input, from the asymmetry A
// (where the curve bends) and the bright enhancement B (how much).
void GenerateAsymmetry(u32 A, u32 B, u32 curve[kCurvePoints])
{
    const double b = B / 255.0;
    const double t = 2.0 * (A + 1) / 257 - 1;
    const double c = t >= 0 ? 2 : 0;
    const s32 k = (s32)std::trunc((1 - 1 / (1000 * t * t * t) + t - c) * 255 + 0.5);
    const double d = std::fabs(k / 255.0);
    for (u32 i = 0; i < kCurvePoints; i++) {
        const double x = k >= 0 ? i / 32.0 : (32.0 - i) / 32.0;
        const double p = std::pow(std::fabs((1 - b) - x) / b, 3);
        u32 v = curve_value((b + p * (1 - b)) * ((d + 1) * x / (d + x)) * 65535 + 0.5);
        curve[i] = k < 0 ? 65535 - v : v;
    }
}

void DrcUpdateAsyLUT(void)
{
    const u8 a = (u8)IO_READ8(kExtAsymmetry), b = (u8)IO_READ8(kExtBrightEnhance);
    if (g_drc.bCurveValid && a == g_drc.u8Asymmetry && b == g_drc.u8BrightEnhance)
        return;
    g_drc.u8Asymmetry = a;
    g_drc.u8BrightEnhance = b;
    g_drc.bCurveValid = true;
    GenerateAsymmetry(a, b, g_drc.au32Curve);
    io_update8(ISP_GAMMA_CTRL_REG, 0, ISP_GAMMA_CTRL_ACCESS);
    for (u32 i = 0; i < kCurvePoints; i++) {
        IO_WRITE8(ISP_DRC_ASY_INDEX_REG, i);
        IO_WRITE16(ISP_DRC_ASY_DATA_REG, g_drc.au32Curve[i] & 0xFFFF);
    }
    io_update8(ISP_GAMMA_CTRL_REG, ISP_GAMMA_CTRL_ACCESS, 0);
}

// Noise grows with the ISO: above ISO 4218 nothing is lifted.
u32 iso_ceiling(u32 iso)
{
    const s64 c = 261 - (s64)25344 * iso / 409600;
    return (u32)std::clamp<s64>(c, 0, kStrengthMax);
}

// Linear and the modes above WDR: the share of dark pixels in the 5-bin
// histogram sets what is wanted, reached one step a frame.
void strength_from_histogram(const void *stat)
{
    const ISP_AE_STAT_1_S *h = static_cast<const ISP_AE_STAT_1_S *>(stat);
    const u32 bins[4] = {h->au16Hist5Value[0], h->au16Hist5Value[1], h->au16Hist5Value[2], h->au16Hist5Value[3]};
    g_drc.au16Hist[0] = bins[0];
    g_drc.au16Hist[1] = bins[1];
    g_drc.au16Hist[3] = bins[2];
    g_drc.au16Hist[4] = bins[3];
    g_drc.au16Hist[2] = (u16)(65535 - std::min<u32>(bins[0] + bins[1] + bins[2] + bins[3], 65535));
    if (ctx().u8WDRMode == WDR_MODE_NONE)
        g_drc.u16WdrGain = kWdrGainUnity;
    g_drc.u32HistRatio = ((g_drc.au16Hist[1] + 2 * g_drc.au16Hist[0]) * g_drc.u32RatioScale + 8192) /
                         (g_drc.au16Hist[2] + 8192);
    const u32 want = (g_drc.u16WdrGain * (g_drc.u32Target * g_drc.u32HistRatio / g_drc.u32RatioScale)) >> 9;
    u32 s = g_drc.u32Strength;
    if (want > s)
        s++;
    else if (want < s)
        s--;
    g_drc.u32Strength = std::min(s, iso_ceiling(isp_iso()));
}

// WDR modes: the ISO takes from, the exposure ratio adds to the target.
void strength_from_wdr(void)
{
    static const u32 iso_x[] = {1, 2, 4, 8, 16, 32, 64, 128};
    static const s32 iso_y[] = {0, 10, 20, 40, 60, 80, 100, 120};
    static const u32 ratio_x[] = {1, 2, 4, 8, 12, 16};
    static const s32 ratio_y[] = {136, 136, 150, 170, 220, 255};
    const ISP_CTX_S &c = ctx();
    const s32 a = transition(iso_x, iso_y, 8, (u32)((u64)c.u32Iso * 128 / 100), 7);
    const s32 m = transition(ratio_x, ratio_y, 6, c.u32ExpRatio, 6);
    const s32 t = (s32)(g_drc.u32Target * m) >> 7;
    g_drc.u32Strength = t > a ? (u32)std::min<s32>(t - a, kStrengthMax) : 0;
}

void DrcCalStrength(const void *stat)
{
    if (g_drc.u32Mark != kValidMark)
        return;
    if (isp_is_wdr_mode(ctx().u8WDRMode))
        strength_from_wdr();
    else
        strength_from_histogram(stat);
}

void set_enable_for(u8 mode)
{
    if (mode == WDR_MODE_NONE)
        io_update8(ISP_DRC_CTRL_REG, 1, 0);
    else if (isp_is_wdr_mode(mode))
        io_update8(ISP_DRC_CTRL_REG, 0, 1);
}

s32 ISP_DrcInit(ISP_DEV IspDev)
{
    const u8 mode = ctx().u8WDRMode;
    io_update8(kExtOpType, kManualBit, 0);
    IO_WRITE8(kExtManualStrength, kInitStrength);
    IO_WRITE8(kExtTarget, kTargetLinear);
    IO_WRITE8(kExtAsymmetry, kDefaultAsymmetry);
    IO_WRITE8(kExtBrightEnhance, kDefaultBrightEnhance);
    set_enable_for(mode);
    IO_WRITE8(ISP_DRC_STRENGTH_REG, kStrengthMax);

    const ISP_CMOS_DRC_S &d = ISP_SensorGetDefault(IspDev)->stDrc;
    io_update8(ISP_DRC_CTRL_REG, 1, d.bEnable & 1);
    io_update8(ISP_DRC_VARIANCE_REG, 0xFF, (d.u32VarianceSpace & 0xF) | (d.u32VarianceIntensity & 0xF) << 4);
    IO_WRITE8(ISP_DRC_SLOPE_MAX_REG, d.u32SlopeMax);
    IO_WRITE8(ISP_DRC_SLOPE_MIN_REG, d.u32SlopeMin);
    IO_WRITE16(ISP_DRC_WHITE_REG, d.u32WhiteLevel & 0xFFF);
    IO_WRITE16(ISP_DRC_BLACK_REG, d.u32BlackLevel & 0xFFF);

    IO_WRITE8(kExtTarget, mode == WDR_MODE_BUILT_IN ? kTargetBuiltInWdr : mode == WDR_MODE_NONE ? kTargetLinear : kTargetStitch);
    const bool shaped = d.u32Asymmetry || d.u32BrightEnhance;
    IO_WRITE8(kExtAsymmetry, shaped ? d.u32Asymmetry : kDefaultAsymmetry);
    IO_WRITE8(kExtBrightEnhance, shaped ? d.u32BrightEnhance : kDefaultBrightEnhance);

    g_drc.bCurveValid = false;
    DrcUpdateAsyLUT();
    g_drc.bManual = 0;
    g_drc.u32HistRatio = 0;
    g_drc.u16WdrGain = kWdrGainUnity;
    g_drc.u32RatioScale = kRatioScale;
    g_drc.u32Strength = kInitStrength;
    g_drc.u32Target = kTargetLinear;
    g_drc.u32Mark = kValidMark;
    return 0;
}

s32 ISP_DrcRun(ISP_DEV, const void *pStatInfo, void *pRegCfg, s32)
{
    const ISP_CTX_S &c = ctx();
    if (c.bSyncSkip)
        return 0;
    g_drc.bManual = (IO_READ8(kExtOpType) & kManualBit) ? 1 : 0;
    g_drc.u32Target = IO_READ8(g_drc.bManual ? kExtManualStrength : kExtTarget);
    DrcUpdateAsyLUT();
    const bool line_wdr = c.u8WDRMode == WDR_MODE_2To1_LINE || c.u8WDRMode == WDR_MODE_3To1_LINE ||
                          c.u8WDRMode == WDR_MODE_4To1_LINE;
    if (g_drc.bManual) {
        g_drc.u32Strength = g_drc.u32Target;
    } else if (line_wdr && c.u32FSWDRMode == 1) {
        if (g_drc.u32Target > g_drc.u32Strength)
            g_drc.u32Strength = std::min(g_drc.u32Strength + 1, kStrengthMax);
        else if (g_drc.u32Target < g_drc.u32Strength)
            g_drc.u32Strength--;
    } else {
        DrcCalStrength(pStatInfo);
    }
    ISP_REG_CFG_S *cfg = static_cast<ISP_REG_CFG_S *>(pRegCfg);
    cfg->u32DrcStrength = g_drc.u32Strength;
    cfg->u32Key |= ISP_REGCFG_DRC;
    return 0;
}

void DrcProcWrite(ISP_CTRL_PROC_WRITE_S *proc)
{
    isp_proc_printf(proc, "-----DRC INFO------------------------------------------------------------------\n");
    isp_proc_printf(proc, "%8s%8s%8s%8s\n", "En", "ManuEn", "DrcSt", "DrcStTg");
    isp_proc_printf(proc, "%8d%8d%8d%8d\n", IO_READ8(ISP_DRC_CTRL_REG) & 1, g_drc.bManual, g_drc.u32Strength,
                    g_drc.u32Target);
}

s32 ISP_DrcCtrl(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    if (u32Cmd == ISP_PROC_WRITE) {
        DrcProcWrite(static_cast<ISP_CTRL_PROC_WRITE_S *>(pValue));
    } else if (u32Cmd == ISP_WDR_MODE_SET) {
        ISP_DrcInit(IspDev);
        const u8 mode = *static_cast<const u8 *>(pValue);
        if (mode > WDR_MODE_4To1_FRAME_FULL_RATE)
            return 0;
        set_enable_for(mode);
        IO_WRITE8(ISP_DRC_STRENGTH_REG, 0);
        IO_WRITE8(kExtTarget, kTargetLinear);
    }
    return 0;
}

s32 ISP_DrcExit(ISP_DEV) { return 0; }

} // namespace

s32 ISP_AlgRegisterDrc(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_DRC, {ISP_DrcInit, ISP_DrcRun, ISP_DrcCtrl, ISP_DrcExit});
}

s32 DU_DUZ_ISP_SetDRCAttr(ISP_DEV IspDev, const ISP_DRC_CFG_S *pstDRC)
{
    return isp_iq_regs(kDrcRecord, IspDev, pstDRC, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetDRCAttr(ISP_DEV IspDev, ISP_DRC_CFG_S *pstDRC) { return isp_iq_regs(kDrcRecord, IspDev, pstDRC, __FUNCTION__); }
