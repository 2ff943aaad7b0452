// Sharpen: every second frame the detail, undershoot and RGB strengths from
// the 16-point ISO tables (or the user's manual strengths), with the
// luminance threshold and green equalisation of the ISO's lower point; the
// RGB sharpening curve is rebuilt into the bank not in use whenever its
// shape changes, then switched in with one write.
#include "isp/modules/isp_iq.h"

#include <algorithm>

namespace {

constexpr u32 kExtSwitches = 0x12000;  // bit 0 enable, bit 1 manual
constexpr u32 kExtManualD = 0x12002;   // high byte
constexpr u32 kExtManualRgb = 0x12004; // high byte
constexpr u32 kExtManualUd = 0x12008;  // low byte
constexpr u32 kExtCurve = 0x1200A, kExtStrength = 0x1200B, kExtMagnitude = 0x1200C;
constexpr u32 kExtIsoD = 0x12326, kExtIsoUd = 0x12336, kExtIsoRgb = 0x12346;
constexpr u32 kExtIsoGe = 0x12366;  // the crosstalk call's green-equalisation table
constexpr u32 kExtIsoLum = 0x12386; // the demosaic call's luminance-threshold table

constexpr u32 kStrengthBits = 127, kMagnitudeBits = 31;
// Manual strengths a user starts from: moderate detail, softer undershoot,
// RGB at half.
constexpr u8 kInitD = 40, kInitUd = 117, kInitRgb = 128;
constexpr u16 kInitLumThresh = 96;

constexpr u32 kCurveHalf = 128; // entries each side of the middle
constexpr u32 kBank0Base = 128, kBank1Base = 384;

using Sh = ISP_SHARPEN_ATTR_S;
#define S(m) VREG_MEMBER(Sh, m)
constexpr vreg_field kSharpenFields[] = {
    isp_bool_field(kExtSwitches, 1, S(bEnable), 1u << 0),
    vreg_reg(kExtSwitches, 1, S(enOpType))
        .bits(1u << 1)
        .check(refuse_above(1, "Invalid Sharpen Type %d!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE)),
    vreg_reg(kExtIsoD, 1, S(au8SharpenD)),
    vreg_reg(kExtIsoUd, 1, S(au8SharpenUd)),
    vreg_reg(kExtIsoRgb, 1, S(au8SharpenRGB)),
    vreg_reg(kExtManualD, 2, S(u8SharpenD)).bits(0xFF00),
    vreg_reg(kExtManualUd, 2, S(u8SharpenUd)).bits(0x00FF),
    vreg_reg(kExtManualRgb, 2, S(u8SharpenRGB)).bits(0xFF00),
    vreg_reg(kExtCurve, 1, S(u8RGBSharpenCurve)),
    vreg_reg(kExtStrength, 1, S(u8RGBSharpenStrength))
        .bits(kStrengthBits)
        .check(refuse_above(kStrengthBits, "Invalid RGBSharpen Strength %d!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE)),
    vreg_reg(kExtMagnitude, 1, S(u8RGBSharpenMagnitude))
        .bits(kMagnitudeBits)
        .check(refuse_above(kMagnitudeBits, "Invalid RGBSharpen Magnitude %d!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE)),
};
#undef S
constexpr vreg_table<Sh> kSharpenRecord = vreg_table_of<Sh>(kSharpenFields, DU_ERR_ISP_ILLEGAL_PARAM);

struct SharpenState {
    u8 bEnable;
    u8 bManual;
    u8 u8D, u8Ud, u8Rgb;
    u8 u8GeStrength;
    u16 u16LumThresh;
    u8 u8Curve, u8Strength, u8Magnitude; // the curve's parameters in the hardware
};
SharpenState g_sharpen;

ISP_CTX_S &ctx() { return g_astIspCtx[0]; }

void write_manual(u8 d, u8 ud, u8 rgb)
{
    io_update16(kExtManualD, 0xFF00, (u32)d << 8);
    io_update16(kExtManualUd, 0x00FF, ud);
    io_update16(kExtManualRgb, 0xFF00, (u32)rgb << 8);
}

s32 ISP_SharpenInit(ISP_DEV IspDev)
{
    io_update8(kExtSwitches, 0x3, 0x1);
    write_manual(kInitD, kInitUd, kInitRgb);
    IO_WRITE8(kExtCurve, 0);
    IO_WRITE8(kExtStrength, 0);
    IO_WRITE8(kExtMagnitude, 0);
    g_sharpen.u8Curve = g_sharpen.u8Strength = g_sharpen.u8Magnitude = 0;
    io_update8(ISP_SHARPEN_RGB_CTRL_REG, 0, ISP_SHARPEN_RGB_ON);
    const ISP_SENSOR_DEFAULT_S *def = ISP_SensorGetDefault(IspDev);
    if (def->stAgcTbl.bValid) {
        isp_iso_table_write(kExtIsoD, def->stAgcTbl.au8SharpenAltD);
        isp_iso_table_write(kExtIsoUd, def->stAgcTbl.au8SharpenAltUd);
        isp_iso_table_write(kExtIsoLum, def->stAgcTbl.au8LumThresh);
        isp_iso_table_write(kExtIsoGe, def->stAgcTbl.au8GeStrength);
        isp_iso_table_write(kExtIsoRgb, def->stAgcTbl.au8SharpenRGB);
    }
    if (def->stRgbSharpen.bValid) {
        IO_WRITE8(kExtCurve, def->stRgbSharpen.u8LutCore);
        IO_WRITE8(kExtStrength, def->stRgbSharpen.u8LutStrength & kStrengthBits);
        IO_WRITE8(kExtMagnitude, def->stRgbSharpen.u8LutMagnitude & kMagnitudeBits);
    }
    g_sharpen.bEnable = 1;
    g_sharpen.bManual = 0;
    g_sharpen.u8D = kInitD;
    g_sharpen.u8Ud = kInitUd;
    g_sharpen.u8Rgb = kInitRgb;
    g_sharpen.u16LumThresh = kInitLumThresh;
    return 0;
}

// The RGB sharpening curve: a gain falling with the level on a log scale
// (the shape p), steeper with the magnitude g, scaled to the strength s and
// written mirrored about the middle of the bank not in use.
void rgb_curve_update(void)
{
    const u8 p = (u8)IO_READ8(kExtCurve), s = (u8)(IO_READ8(kExtStrength) & kStrengthBits),
             g = (u8)(IO_READ8(kExtMagnitude) & kMagnitudeBits);
    if (p == g_sharpen.u8Curve && s == g_sharpen.u8Strength && g == g_sharpen.u8Magnitude)
        return;
    u32 w[kCurveHalf], wmax = 0;
    for (u32 j = 0; j < kCurveHalf; j++) {
        const s32 e = (s32)log2_int_to_fixed(2 * j, 8, 0);
        const s32 m = ((s32)(p + 256) * (e - 2048)) / 256;
        const u32 x = (u32)((s32)(2 * g * j) - m);
        const u32 den = math_exp2(x, 8, 0);
        w[j] = den ? 65536 / den : 0;
        wmax = std::max(wmax, w[j]);
    }
    const bool to_bank1 = (IO_READ8(ISP_SHARPEN_RGB_CTRL_REG) & ISP_SHARPEN_RGB_BANK) == 0;
    const u32 base = to_bank1 ? kBank1Base : kBank0Base, mirror = base - 1;
    for (u32 j = 0; j < kCurveHalf; j++) {
        const u32 v = wmax ? std::min<u32>(w[j] * s / wmax, 127) : 0;
        IO_WRITE32(ISP_SHARPEN_RGB_CURVE_REG(base + j), 128 + v);
        IO_WRITE32(ISP_SHARPEN_RGB_CURVE_REG(mirror - j), 128 - v);
    }
    io_update8(ISP_SHARPEN_RGB_CTRL_REG, ISP_SHARPEN_RGB_BANK, to_bank1 ? 1u << 2 : 0);
    g_sharpen.u8Curve = p;
    g_sharpen.u8Strength = s;
    g_sharpen.u8Magnitude = g;
}

void to_regcfg(ISP_REG_CFG_S *cfg)
{
    cfg->u8SharpenD = g_sharpen.u8D;
    cfg->u8SharpenUd = g_sharpen.u8Ud;
    cfg->u8SharpenRGB = g_sharpen.u8Rgb;
    cfg->u16SharpenLumThresh = g_sharpen.u16LumThresh;
    cfg->u32Key |= ISP_REGCFG_SHARPEN;
}

s32 ISP_SharpenRun(ISP_DEV, const void *, void *pRegCfg, s32)
{
    const ISP_CTX_S &c = ctx();
    if (c.bSyncSkip || (c.u32FrameCnt & 1))
        return 0;
    ISP_REG_CFG_S *cfg = static_cast<ISP_REG_CFG_S *>(pRegCfg);
    const u8 sw = (u8)IO_READ8(kExtSwitches);
    g_sharpen.bEnable = sw & 1;
    g_sharpen.bManual = (sw >> 1) & 1;
    const u8 manual_d = (u8)(IO_READ16(kExtManualD) >> 8), manual_ud = (u8)IO_READ16(kExtManualUd),
             manual_rgb = (u8)(IO_READ16(kExtManualRgb) >> 8);
    rgb_curve_update();
    if (!g_sharpen.bEnable) {
        g_sharpen.u8D = g_sharpen.u8Ud = g_sharpen.u8Rgb = 0;
        cfg->u8SharpenD = cfg->u8SharpenUd = cfg->u8SharpenRGB = 0;
        cfg->u32Key |= ISP_REGCFG_SHARPEN;
        return 0;
    }
    const u32 iso = isp_iso();
    u8 d[ISP_ISO_POINTS], ud[ISP_ISO_POINTS], rgb[ISP_ISO_POINTS];
    isp_iso_table_read(kExtIsoD, d);
    isp_iso_table_read(kExtIsoUd, ud);
    isp_iso_table_read(kExtIsoRgb, rgb);
    const u32 lo = isp_iso_segment(iso).lo;
    g_sharpen.u8D = (u8)isp_iso_interpolate(d, iso);
    g_sharpen.u8Ud = (u8)isp_iso_interpolate(ud, iso);
    g_sharpen.u8Rgb = (u8)isp_iso_interpolate(rgb, iso);
    g_sharpen.u16LumThresh = (u16)IO_READ8(kExtIsoLum + lo);
    g_sharpen.u8GeStrength = (u8)IO_READ8(kExtIsoGe + lo);
    if (g_sharpen.bManual) {
        g_sharpen.u8D = manual_d;
        g_sharpen.u8Ud = manual_ud;
        g_sharpen.u8Rgb = manual_rgb;
    }
    to_regcfg(cfg);
    cfg->u8GeStrength = g_sharpen.u8GeStrength;
    cfg->u32Key |= ISP_REGCFG_GE;
    return 0;
}

void SharpenProcWrite(ISP_CTRL_PROC_WRITE_S *proc)
{
    const SharpenState &s = g_sharpen;
    isp_proc_printf(proc, "-----SHARPEN INFO--------------------------------------------------------------\n");
    isp_proc_printf(proc, "%8s%8s%8s%8s%8s%8s%8s\n", "En", "ManuEn", "SpD", "SpUd", "SpRGB", "LumTh", "GeSt");
    isp_proc_printf(proc, "%8d%8d%8d%8d%8d%8d%8d\n", s.bEnable, s.bManual, s.u8D, s.u8Ud, s.u8Rgb, s.u16LumThresh,
                    s.u8GeStrength);
}

s32 ISP_SharpenCtrl(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    if (u32Cmd == ISP_WDR_MODE_SET)
        ISP_SharpenInit(IspDev);
    else if (u32Cmd == ISP_PROC_WRITE)
        SharpenProcWrite(static_cast<ISP_CTRL_PROC_WRITE_S *>(pValue));
    return 0;
}

s32 ISP_SharpenExit(ISP_DEV) { return 0; }

} // namespace

s32 ISP_AlgRegisterSharpen(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_SHARPEN,
                            {ISP_SharpenInit, ISP_SharpenRun, ISP_SharpenCtrl, ISP_SharpenExit});
}

s32 DU_DUZ_ISP_SetSharpenAttr(ISP_DEV IspDev, const ISP_SHARPEN_ATTR_S *pstSharpenAttr)
{
    return isp_iq_regs(kSharpenRecord, IspDev, pstSharpenAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetSharpenAttr(ISP_DEV IspDev, ISP_SHARPEN_ATTR_S *pstSharpenAttr)
{
    return isp_iq_regs(kSharpenRecord, IspDev, pstSharpenAttr, __FUNCTION__);
}
