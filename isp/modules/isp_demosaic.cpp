// Register-level colour settings: demosaic (with the per-ISO tables it
// carries for sharpen and noise reduction), anti false colour, colour tone,
// crosstalk (with green equalisation's per-ISO strength) and the green-
// equalisation module.
#include "isp/modules/isp_iq.h"

namespace {

constexpr u32 kExtLumThresh = 0x12386; // sharpen's luminance threshold per ISO
constexpr u32 kExtNpOffset = 0x12376;  // noise reduction's offset per ISO
constexpr u32 kExtGeStrength = 0x12366;
constexpr u32 kThreshMax = 0xFFF;

// The configuration a record names, as the hardware codes it.
constexpr u32 kDemosaicCodes[] = {0, 19, 17, 18, 4};

using Dm = ISP_DEMOSAIC_ATTR_S;
#define D(m) VREG_MEMBER(Dm, m)
#define DM_THRESH(reg, m, msg)                                                                             \
    vreg_reg(reg, 2, D(m)).bits(kThreshMax).check(refuse_above(kThreshMax, msg).with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE))
constexpr vreg_field kDemosaicFields[] = {
    vreg_reg(ISP_DEMOSAIC_VH_SLOPE_REG, 1, D(u8VhSlope)),
    vreg_reg(ISP_DEMOSAIC_AA_SLOPE_REG, 1, D(u8AaSlope)),
    vreg_reg(ISP_DEMOSAIC_VA_SLOPE_REG, 1, D(u8VaSlope)),
    vreg_reg(ISP_DEMOSAIC_UU_SLOPE_REG, 1, D(u8UuSlope)),
    DM_THRESH(ISP_DEMOSAIC_VH_THRESH_REG, u16VhThresh, "Invalid Demosaic VhThresh %d!\n"),
    DM_THRESH(ISP_DEMOSAIC_AA_THRESH_REG, u16AaThresh, "Invalid Demosaic AaThresh %d!\n"),
    DM_THRESH(ISP_DEMOSAIC_VA_THRESH_REG, u16VaThresh, "Invalid Demosaic VaThresh %d!\n"),
    DM_THRESH(ISP_DEMOSAIC_UU_THRESH_REG, u16UuThresh, "Invalid Demosaic UuThresh %d!\n"),
    vreg_reg(ISP_DEMOSAIC_CFG_REG, 1, D(enCfgType))
        .coded(kDemosaicCodes)
        .check(refuse_above(4, "Invalid Demosaic Config %d!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE)),
    vreg_reg(kExtLumThresh, 1, D(au8LumThresh)),
    vreg_reg(kExtNpOffset, 1, D(au8NpOffset)),
};
#undef DM_THRESH
#undef D
constexpr vreg_table<Dm> kDemosaicRecord = vreg_table_of<Dm>(kDemosaicFields, DU_ERR_ISP_ILLEGAL_PARAM);

constexpr vreg_field kAntiFcFields[] = {
    vreg_reg(ISP_DEMOSAIC_FC_SLOPE_REG, 1, VREG_MEMBER(ISP_ANTI_FALSECOLOR_S, u8Strength)),
};
constexpr vreg_table<ISP_ANTI_FALSECOLOR_S> kAntiFcRecord =
    vreg_table_of<ISP_ANTI_FALSECOLOR_S>(kAntiFcFields, DU_ERR_ISP_ILLEGAL_PARAM);

using Ct = ISP_COLORTONE_S;
constexpr vreg_field kToneFields[] = {
    vreg_reg(ISP_TONE_GAIN_REG(0), 2, VREG_MEMBER(Ct, u16RedCastGain)),
    vreg_reg(ISP_TONE_GAIN_REG(1), 2, VREG_MEMBER(Ct, u16GreenCastGain)),
    vreg_reg(ISP_TONE_GAIN_REG(2), 2, VREG_MEMBER(Ct, u16BlueCastGain)),
};
constexpr vreg_table<Ct> kToneRecord = vreg_table_of<Ct>(kToneFields, DU_ERR_ISP_ILLEGAL_PARAM);

using Cr = ISP_CR_ATTR_S;
#define R(m) VREG_MEMBER(Cr, m)
constexpr vreg_field kCrosstalkFields[] = {
    isp_bool_field(ISP_DP_CTRL_REG, 1, R(bEnable), ISP_DP_CTRL_GE),
    vreg_reg(kExtGeStrength, 1, R(au8Strength)),
    vreg_reg(ISP_CR_WEIGHT_REG, 1, R(u8Weight)),
    vreg_reg(ISP_CR_THRESH_REG, 2, R(u16Threshold))
        .bits(kThreshMax)
        .check(refuse_above(kThreshMax, "Invalid CrosstalkAttr u16Threshold:%d!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE)),
    vreg_reg(ISP_CR_SLOPE_REG, 2, R(u16Slope))
        .bits(kThreshMax)
        .check(refuse_above(kThreshMax, "Invalid CrosstalkAttr u16Slope:%d!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE)),
};
#undef R
constexpr vreg_table<Cr> kCrosstalkRecord = vreg_table_of<Cr>(kCrosstalkFields, DU_ERR_ISP_ILLEGAL_PARAM);

// ---- the demosaic module -------------------------------------------------------------------------

// The thirteen registers the proc text shows.
struct DemosaicRegs {
    u8 u8VhSlope, u8AaSlope, u8VaSlope, u8UuSlope, u8SatSlope, u8AcSlope, u8FcSlope;
    u16 u16VhThresh, u16AaThresh, u16VaThresh, u16UuThresh, u16SatThresh, u16AcThresh;
};
DemosaicRegs g_demosaic;

// Where each of them lives.
struct RegOf {
    u32 addr;
    u8 DemosaicRegs::*slope;
    u16 DemosaicRegs::*thresh;
};
const RegOf kRegs[] = {
    {ISP_DEMOSAIC_VH_SLOPE_REG, &DemosaicRegs::u8VhSlope, nullptr},
    {ISP_DEMOSAIC_AA_SLOPE_REG, &DemosaicRegs::u8AaSlope, nullptr},
    {ISP_DEMOSAIC_VA_SLOPE_REG, &DemosaicRegs::u8VaSlope, nullptr},
    {ISP_DEMOSAIC_UU_SLOPE_REG, &DemosaicRegs::u8UuSlope, nullptr},
    {ISP_DEMOSAIC_SAT_SLOPE_REG, &DemosaicRegs::u8SatSlope, nullptr},
    {ISP_DEMOSAIC_AC_SLOPE_REG, &DemosaicRegs::u8AcSlope, nullptr},
    {ISP_DEMOSAIC_FC_SLOPE_REG, &DemosaicRegs::u8FcSlope, nullptr},
    {ISP_DEMOSAIC_VH_THRESH_REG, nullptr, &DemosaicRegs::u16VhThresh},
    {ISP_DEMOSAIC_AA_THRESH_REG, nullptr, &DemosaicRegs::u16AaThresh},
    {ISP_DEMOSAIC_VA_THRESH_REG, nullptr, &DemosaicRegs::u16VaThresh},
    {ISP_DEMOSAIC_UU_THRESH_REG, nullptr, &DemosaicRegs::u16UuThresh},
    {ISP_DEMOSAIC_SAT_THRESH_REG, nullptr, &DemosaicRegs::u16SatThresh},
    {ISP_DEMOSAIC_AC_THRESH_REG, nullptr, &DemosaicRegs::u16AcThresh},
};

void regs_write(const DemosaicRegs &r)
{
    for (const RegOf &k : kRegs) {
        if (k.slope)
            IO_WRITE8(k.addr, r.*k.slope);
        else
            IO_WRITE16(k.addr, r.*k.thresh & kThreshMax);
    }
}

void regs_read(DemosaicRegs &r)
{
    for (const RegOf &k : kRegs) {
        if (k.slope)
            r.*k.slope = (u8)IO_READ8(k.addr);
        else
            r.*k.thresh = (u16)(IO_READ16(k.addr) & kThreshMax);
    }
}

constexpr u16 kFcLimit = 3008;

s32 ISP_DemosaicInit(ISP_DEV IspDev)
{
    // What the hardware does well without a sensor's tuning; the
    // saturation and AC stages keep their reset values.
    DemosaicRegs r;
    regs_read(r);
    r.u8VhSlope = 245;
    r.u16VhThresh = 48;
    r.u16VaThresh = 82;
    r.u16AaThresh = 91;
    r.u16UuThresh = 64;
    r.u8UuSlope = 192;
    r.u8AaSlope = 152;
    r.u8VaSlope = 230;
    r.u8FcSlope = 128;
    const ISP_CMOS_DEMOSAIC_S &s = ISP_SensorGetDefault(IspDev)->stDemosaic;
    if (s.bValid == 1)
        r = {s.u8VhSlope,   s.u8AaSlope,   s.u8VaSlope,   s.u8UuSlope,    s.u8SatSlope,   s.u8AcSlope, s.u8FcSlope,
             s.u16VhThresh, s.u16AaThresh, s.u16VaThresh, s.u16UuThresh, s.u16SatThresh, s.u16AcThresh};
    regs_write(r);
    IO_WRITE16(ISP_DEMOSAIC_FC_LIMIT_REG, kFcLimit);
    return 0;
}

s32 ISP_DemosaicRun(ISP_DEV, const void *, void *, s32)
{
    regs_read(g_demosaic);
    return 0;
}

void DemosaicProcWrite(ISP_CTRL_PROC_WRITE_S *proc)
{
    const DemosaicRegs &r = g_demosaic;
    isp_proc_printf(proc, "-----DEMOSAIC INFO-------------------------------------------------------------\n");
    isp_proc_printf(proc, "%8s%8s%8s%8s%8s%8s%8s%8s\n", "VhSlope", "VhTh", "AaSlope", "AaTh", "VaSlope", "VaTh",
                    "UuSlope", "UuTh");
    isp_proc_printf(proc, "    0x%2x   0x%3x    0x%2x   0x%3x    0x%2x   0x%3x    0x%2x   0x%3x\n\n", r.u8VhSlope,
                    r.u16VhThresh, r.u8AaSlope, r.u16AaThresh, r.u8VaSlope, r.u16VaThresh, r.u8UuSlope, r.u16UuThresh);
    isp_proc_printf(proc, "%8s%8s%8s%8s%8s\n", "SatSlope", "SatTh", "AcSlope", "AcTh", "FcSlope");
    isp_proc_printf(proc, "    0x%2x   0x%3x    0x%2x   0x%3x    0x%2x\n", r.u8SatSlope, r.u16SatThresh, r.u8AcSlope,
                    r.u16AcThresh, r.u8FcSlope);
}

s32 ISP_DemosaicCtrl(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    if (u32Cmd == ISP_WDR_MODE_SET)
        ISP_DemosaicInit(IspDev);
    else if (u32Cmd == ISP_PROC_WRITE)
        DemosaicProcWrite(static_cast<ISP_CTRL_PROC_WRITE_S *>(pValue));
    return 0;
}

s32 ISP_DemosaicExit(ISP_DEV) { return 0; }

// ---- green equalisation ----------------------------------------------------------------------------

constexpr u8 kGeStrength = 85;

// Runs after the defect-pixel module's init, so its strength is the one in force.
s32 ISP_GeInit(ISP_DEV)
{
    io_update8(ISP_DP_CTRL_REG, 0, ISP_DP_CTRL_GE | ISP_DP_CTRL_DYNAMIC);
    IO_WRITE8(ISP_GE_STRENGTH_REG, kGeStrength);
    return 0;
}

s32 ISP_GeRun(ISP_DEV, const void *, void *, s32) { return 0; }
s32 ISP_GeCtrl(ISP_DEV, u32, void *) { return 0; }
s32 ISP_GeExit(ISP_DEV) { return 0; }

} // namespace

s32 ISP_AlgRegisterDemosaic(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_DEMOSAIC,
                            {ISP_DemosaicInit, ISP_DemosaicRun, ISP_DemosaicCtrl, ISP_DemosaicExit});
}

s32 ISP_AlgRegisterGe(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_GE, {ISP_GeInit, ISP_GeRun, ISP_GeCtrl, ISP_GeExit});
}

s32 DU_DUZ_ISP_SetDemosaicAttr(ISP_DEV IspDev, const ISP_DEMOSAIC_ATTR_S *pstDemosaicAttr)
{
    return isp_iq_regs(kDemosaicRecord, IspDev, pstDemosaicAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetDemosaicAttr(ISP_DEV IspDev, ISP_DEMOSAIC_ATTR_S *pstDemosaicAttr)
{
    return isp_iq_regs(kDemosaicRecord, IspDev, pstDemosaicAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_SetAntiFalseColorAttr(ISP_DEV IspDev, const ISP_ANTI_FALSECOLOR_S *pstAntiFC)
{
    return isp_iq_regs(kAntiFcRecord, IspDev, pstAntiFC, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetAntiFalseColorAttr(ISP_DEV IspDev, ISP_ANTI_FALSECOLOR_S *pstAntiFC)
{
    return isp_iq_regs(kAntiFcRecord, IspDev, pstAntiFC, __FUNCTION__);
}

s32 DU_DUZ_ISP_SetColorToneAttr(ISP_DEV IspDev, const ISP_COLORTONE_S *pstCTAttr)
{
    return isp_iq_regs(kToneRecord, IspDev, pstCTAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetColorToneAttr(ISP_DEV IspDev, ISP_COLORTONE_S *pstCTAttr)
{
    return isp_iq_regs(kToneRecord, IspDev, pstCTAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_SetCrosstalkAttr(ISP_DEV IspDev, const ISP_CR_ATTR_S *pstCRAttr)
{
    return isp_iq_regs(kCrosstalkRecord, IspDev, pstCRAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetCrosstalkAttr(ISP_DEV IspDev, ISP_CR_ATTR_S *pstCRAttr)
{
    return isp_iq_regs(kCrosstalkRecord, IspDev, pstCRAttr, __FUNCTION__);
}
