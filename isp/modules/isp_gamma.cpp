// Gamma and front-end gamma. The gamma module owns the 257-point output
// curve: the attribute call leaves a built-in or the user's curve pending
// in ext registers, and the module hands it to the kernel, which switches
// it at a frame boundary. The front-end gamma is the WDR compression curve,
// written straight into the hardware and switched on only in WDR modes.
#include "isp/modules/isp_iq.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr u32 kExtCurveType = 0x12120; // u8
constexpr u32 kExtPending = 0x123A0;   // 257 x u16: the curve the next frame takes
constexpr u32 kExtUpdate = 0x125A2;    // u8: 1 while a curve is pending
constexpr u32 kLevelMax = 4095;

using Curve = std::array<u16, GAMMA_NODE_NUMBER>;

// ---- the built-in curves ----------------------------------------------------------------------
// Each is given at a few inputs (the first eight steps, then 16, 32, 64,
// 128, 192 and the end) and filled between them with a monotone cubic.

constexpr u32 kAnchors = 14;
constexpr u16 kAnchorX[kAnchors] = {0, 1, 2, 3, 4, 5, 6, 7, 16, 32, 64, 128, 192, 256};
constexpr u16 kDefaultLinearY[kAnchors] = {0, 120, 220, 310, 390, 470, 540, 610, 1096, 1592, 2200, 3012, 3608, 4095};
constexpr u16 kDefaultWdrY[kAnchors] = {0, 1, 2, 4, 8, 12, 17, 23, 120, 416, 1218, 2652, 3572, 4095};
constexpr u16 kInitWdrY[kAnchors] = {0, 1, 2, 4, 8, 12, 17, 23, 120, 390, 1096, 2200, 3175, 4095};

// Fritsch-Carlson: tangents from the harmonic mean of the neighbouring
// slopes (zero where they differ in sign), limited so that no segment
// overshoots; then the cubic Hermite between each pair of anchors.
Curve monotone_cubic(const u16 (&x)[kAnchors], const u16 (&y)[kAnchors])
{
    double d[kAnchors - 1], m[kAnchors];
    for (u32 k = 0; k + 1 < kAnchors; k++)
        d[k] = double(y[k + 1] - y[k]) / (x[k + 1] - x[k]);
    m[0] = d[0];
    m[kAnchors - 1] = d[kAnchors - 2];
    for (u32 k = 1; k + 1 < kAnchors; k++) {
        const double h0 = x[k] - x[k - 1], h1 = x[k + 1] - x[k];
        if (d[k - 1] * d[k] <= 0) {
            m[k] = 0;
            continue;
        }
        const double w0 = 2 * h1 + h0, w1 = h1 + 2 * h0;
        m[k] = (w0 + w1) / (w0 / d[k - 1] + w1 / d[k]);
    }
    for (u32 k = 0; k + 1 < kAnchors; k++) {
        if (d[k] == 0) {
            m[k] = m[k + 1] = 0;
            continue;
        }
        const double a = m[k] / d[k], b = m[k + 1] / d[k], r = a * a + b * b;
        if (r > 9) {
            const double t = 3 / std::sqrt(r);
            m[k] = t * a * d[k];
            m[k + 1] = t * b * d[k];
        }
    }
    Curve c{};
    for (u32 k = 0; k + 1 < kAnchors; k++) {
        const double h = x[k + 1] - x[k];
        for (u32 i = x[k]; i <= x[k + 1]; i++) {
            const double t = (i - x[k]) / h, t2 = t * t, t3 = t2 * t;
            const double v = (2 * t3 - 3 * t2 + 1) * y[k] + (t3 - 2 * t2 + t) * h * m[k] + (-2 * t3 + 3 * t2) * y[k + 1] +
                             (t3 - t2) * h * m[k + 1];
            c[i] = (u16)std::lround(std::clamp(v, 0.0, (double)kLevelMax));
        }
    }
    return c;
}

// The sRGB transfer function of an input of `power` (1 linear, 2 the WDR
// curve's squared input), to 12 bits.
Curve srgb(int power)
{
    Curve c{};
    for (u32 i = 0; i < GAMMA_NODE_NUMBER; i++) {
        const double x = std::pow(i / 256.0, power);
        const double v = x <= 0.0031308 ? 12.92 * x : 1.055 * std::pow(x, 1 / 2.4) - 0.055;
        c[i] = (u16)std::lround(v * kLevelMax);
    }
    return c;
}

enum BuiltIn { kDefaultLinear, kDefaultWdr, kInitWdr, kSrgbLinear, kSrgbWdr, kBuiltIns };

const Curve &builtin(BuiltIn which)
{
    static const Curve curves[kBuiltIns] = {
        monotone_cubic(kAnchorX, kDefaultLinearY), monotone_cubic(kAnchorX, kDefaultWdrY),
        monotone_cubic(kAnchorX, kInitWdrY),       srgb(1),
        srgb(2),
    };
    return curves[which];
}

// ---- the records -------------------------------------------------------------------------------

using Gamma = ISP_GAMMA_ATTR_S;
#define G(m) VREG_MEMBER(Gamma, m)
// The table row holds the curve the type selected; the Get reads the table
// in force from the hardware instead.
constexpr vreg_field kGammaFields[] = {
    isp_bool_field(ISP_GAMMA_CTRL_REG, 1, G(bEnable), ISP_GAMMA_CTRL_ENABLE),
    vreg_reg(kExtCurveType, 1, G(enCurveType))
        .check(refuse_above(ISP_GAMMA_CURVE_USER_DEFINE, "Invalid ISP Gamma Curve Type %d!\n").with(VREG_ARGS_VALUE)),
    vreg_reg(kExtPending, 2, G(au16Table))
        .check(refuse_above(kLevelMax, "Invalid Gamma Table[%d] %d!\n").with(VREG_ARGS_INDEX_VALUE).printed(VREG_TO_TRACE))
        .get_keeps(),
};
#undef G
constexpr vreg_table<Gamma> kGammaRecord =
    vreg_table_of<Gamma>(kGammaFields, DU_ERR_ISP_ILLEGAL_PARAM).updating(vreg_const(kExtUpdate, 1, 1));

using Fe = ISP_GAMMAFE_ATTR_S;
#define F(m) VREG_MEMBER(Fe, m)
// Both enable bits follow the record; the second one reads back.
constexpr vreg_field kGammaFeFields[] = {
    isp_bool_field(ISP_GAMMAFE_CTRL_REG, 1, F(bEnable), 1u << 0).set_only(),
    vreg_reg(ISP_GAMMAFE_CTRL_REG, 1, F(bEnable)).bits(ISP_GAMMAFE_CTRL_READBACK),
    vreg_const(ISP_GAMMAFE_CTRL_REG, 1, 1).bits(ISP_GAMMAFE_CTRL_ACCESS),
    vreg_reg(ISP_GAMMAFE_NODE_REG(0), 4, F(au16Node), 4),
    vreg_reg(ISP_GAMMAFE_TABLE_REG(0), 4, F(au16Table), 4),
    vreg_const(ISP_GAMMAFE_CTRL_REG, 1, 0).bits(ISP_GAMMAFE_CTRL_ACCESS),
};
#undef F
constexpr vreg_table<Fe> kGammaFeRecord = vreg_table_of<Fe>(kGammaFeFields, DU_ERR_ISP_ILLEGAL_PARAM);

// ---- the hardware curves ----------------------------------------------------------------------

void gamma_hw_write(const u16 *curve)
{
    io_update8(ISP_GAMMA_CTRL_REG, 0, ISP_GAMMA_CTRL_ACCESS);
    for (u32 i = 0; i < GAMMA_NODE_NUMBER; i++)
        IO_WRITE32(ISP_GAMMA_TABLE_REG(i), curve[i]);
    io_update8(ISP_GAMMA_CTRL_REG, ISP_GAMMA_CTRL_ACCESS, 0);
}

void gamma_hw_read(u16 *curve)
{
    io_update8(ISP_GAMMA_CTRL_REG, 0, ISP_GAMMA_CTRL_ACCESS);
    for (u32 i = 0; i < GAMMA_NODE_NUMBER; i++)
        curve[i] = (u16)IO_READ32(ISP_GAMMA_TABLE_REG(i));
    io_update8(ISP_GAMMA_CTRL_REG, ISP_GAMMA_CTRL_ACCESS, 0);
}

// The curve a mode starts with: the sensor's, else the built-in one.
void gamma_mode_curve(ISP_DEV IspDev, u8 mode)
{
    const ISP_CMOS_GAMMA_S &sensor = ISP_SensorGetDefault(IspDev)->stGamma;
    if (sensor.bValid)
        gamma_hw_write(sensor.au16Gamma);
    else if (mode == WDR_MODE_NONE)
        gamma_hw_write(builtin(kDefaultLinear).data());
    else if (isp_is_wdr_mode(mode))
        gamma_hw_write(builtin(kInitWdr).data());
}

s32 ISP_GammaInit(ISP_DEV IspDev)
{
    IO_WRITE8(kExtCurveType, ISP_GAMMA_CURVE_DEFAULT);
    vreg_done(kGammaRecord, 0);
    io_update8(ISP_GAMMA_CTRL_REG, 0, ISP_GAMMA_CTRL_ENABLE);
    gamma_mode_curve(IspDev, g_astIspCtx[0].u8WDRMode);
    vreg_done(kGammaRecord, 0);
    return 0;
}

// A pending curve goes to the kernel with this frame's registers.
s32 ISP_GammaRun(ISP_DEV, const void *, void *pRegCfg, s32)
{
    ISP_KERNEL_REG_CFG_S &k = static_cast<ISP_REG_CFG_S *>(pRegCfg)->stKernelCfg;
    if (!vreg_pending(kGammaRecord, 0)) {
        k.u32Flags &= ~1u;
        return 0;
    }
    for (u32 i = 0; i < GAMMA_NODE_NUMBER; i++)
        k.au16Gamma[i] = (u16)IO_READ16(kExtPending + 2 * i);
    k.u32Flags |= 1u;
    vreg_done(kGammaRecord, 0);
    return 0;
}

// A WDR switch puts the new mode's curve in at once and drops a pending one.
s32 ISP_GammaCtrl(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    if (u32Cmd != ISP_WDR_MODE_SET)
        return 0;
    gamma_mode_curve(IspDev, *static_cast<const u8 *>(pValue));
    vreg_done(kGammaRecord, 0);
    return 0;
}

s32 ISP_GammaExit(ISP_DEV) { return 0; }

void gammafe_hw_write(const u16 *node, const u16 *table)
{
    io_update8(ISP_GAMMAFE_CTRL_REG, 0, ISP_GAMMAFE_CTRL_ACCESS);
    for (u32 i = 0; i < GAMMAFE_NODE_NUMBER; i++)
        IO_WRITE32(ISP_GAMMAFE_NODE_REG(i), node[i]);
    for (u32 i = 0; i < GAMMA_NODE_NUMBER; i++)
        IO_WRITE32(ISP_GAMMAFE_TABLE_REG(i), table[i]);
    io_update8(ISP_GAMMAFE_CTRL_REG, ISP_GAMMAFE_CTRL_ACCESS, 0);
}

void gammafe_enable_for(u8 mode)
{
    if (mode == WDR_MODE_NONE)
        io_update8(ISP_GAMMAFE_CTRL_REG, ISP_GAMMAFE_CTRL_ENABLE, 0);
    else if (isp_is_wdr_mode(mode))
        io_update8(ISP_GAMMAFE_CTRL_REG, 0, ISP_GAMMAFE_CTRL_ENABLE);
}

s32 ISP_GammaFeInit(ISP_DEV IspDev)
{
    io_update8(ISP_GAMMAFE_CTRL_REG, 1u << 0, 0);
    const ISP_CMOS_GAMMAFE_S &fe = ISP_SensorGetDefault(IspDev)->stGammafe;
    if (fe.bValid)
        gammafe_hw_write(fe.au16Gammafe0, fe.au16Gammafe1);
    gammafe_enable_for(g_astIspCtx[0].u8WDRMode);
    return 0;
}

s32 ISP_GammaFeCtrl(ISP_DEV IspDev, u32 u32Cmd, void *pValue)
{
    if (u32Cmd != ISP_WDR_MODE_SET)
        return 0;
    ISP_GammaFeInit(IspDev);
    gammafe_enable_for(*static_cast<const u8 *>(pValue));
    return 0;
}

s32 ISP_GammaFeRun(ISP_DEV, const void *, void *, s32) { return 0; }
s32 ISP_GammaFeExit(ISP_DEV) { return 0; }

// The curve of a type in a WDR mode or not; null for the user's.
const u16 *curve_of_type(u32 enCurveType, bool bWdr)
{
    if (enCurveType == ISP_GAMMA_CURVE_DEFAULT)
        return builtin(bWdr ? kDefaultWdr : kDefaultLinear).data();
    if (enCurveType == ISP_GAMMA_CURVE_SRGB)
        return builtin(bWdr ? kSrgbWdr : kSrgbLinear).data();
    return nullptr;
}

} // namespace

s32 ISP_AlgRegisterGamma(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_GAMMA, {ISP_GammaInit, ISP_GammaRun, ISP_GammaCtrl, ISP_GammaExit});
}

s32 ISP_AlgRegisterGammaFe(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_GAMMAFE,
                            {ISP_GammaFeInit, ISP_GammaFeRun, ISP_GammaFeCtrl, ISP_GammaFeExit});
}

s32 DU_DUZ_ISP_SetGammaAttr(ISP_DEV IspDev, const ISP_GAMMA_ATTR_S *pstGammaAttr)
{
    s32 ret = isp_iq_check(IspDev, pstGammaAttr, __FUNCTION__);
    if (ret != 0)
        return ret;
    ISP_GAMMA_ATTR_S rec = *pstGammaAttr;
    if (const u16 *curve = curve_of_type(rec.enCurveType, isp_ext_wdr_mode() != WDR_MODE_NONE))
        std::copy(curve, curve + GAMMA_NODE_NUMBER, rec.au16Table);
    return vreg_set(kGammaRecord, 0, rec, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetGammaAttr(ISP_DEV IspDev, ISP_GAMMA_ATTR_S *pstGammaAttr)
{
    s32 ret = isp_iq_regs(kGammaRecord, IspDev, pstGammaAttr, __FUNCTION__);
    if (ret == 0)
        gamma_hw_read(pstGammaAttr->au16Table);
    return ret;
}

s32 DU_DUZ_ISP_SetGammaFEAttr(ISP_DEV IspDev, const ISP_GAMMAFE_ATTR_S *pstGammaFEAttr)
{
    return isp_iq_regs(kGammaFeRecord, IspDev, pstGammaFEAttr, __FUNCTION__);
}

s32 DU_DUZ_ISP_GetGammaFEAttr(ISP_DEV IspDev, ISP_GAMMAFE_ATTR_S *pstGammaFEAttr)
{
    return isp_iq_regs_through_port(kGammaFeRecord, ISP_GAMMAFE_CTRL_REG, ISP_GAMMAFE_CTRL_ACCESS, IspDev,
                                   pstGammaFEAttr, __FUNCTION__);
}
