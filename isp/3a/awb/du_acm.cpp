// ACM policy: the ISP's colour-management gains (luma, hue, saturation)
// follow the ISO, fade out at extreme colour temperatures, under mixed light
// and while the white point moves.
#include "isp/3a/awb/awb_ctx.h"

#include <algorithm>
#include <cstring>

#include "isp/isp_acm.h"
#include "isp/isp_math.h"

namespace {

const u16 u16GainLumaTab[16] = {124, 124, 124, 124, 112, 96, 80, 64, 48, 32, 16, 0, 0, 0, 0, 0};
const u16 u16GainHueTab[16] = {128, 128, 128, 128, 112, 96, 80, 64, 48, 32, 16, 0, 0, 0, 0, 0};
const u16 u16GainSatTab[16] = {64, 64, 64, 64, 56, 48, 40, 32, 24, 16, 8, 0, 0, 0, 0, 0};

} // namespace

s32 AWBAcmInit(AWB_ACM_STATE_S *acm)
{
    ISP_ACM_CFG_S cfg;
    memset(&cfg, 0, sizeof cfg);
    s32 ret = ISP_ACM_GetAttr(&cfg);
    if (ret == 0) {
        cfg.bEnable = 0;
        cfg.enMode = 4;
        cfg.u32CbcrThr = 0;
        cfg.u32GainLuma = cfg.u32GainHue = cfg.u32GainSat = 0;
        ret = ISP_ACM_SetAttr(&cfg);
    }
    if (ret == 0) {
        // The calibrated default table is not part of this firmware's data:
        // a neutral (all-zero) table is loaded, which adjusts nothing.
        static const ISP_ACM_LUT_S s16AcmLUTDeflt = {};
        ret = ISP_ACM_SetCoeff(&s16AcmLUTDeflt, 4);
    }
    memset(acm, 0, sizeof *acm);
    memcpy(acm->au16LumaTab, u16GainLumaTab, sizeof acm->au16LumaTab);
    memcpy(acm->au16HueTab, u16GainHueTab, sizeof acm->au16HueTab);
    memcpy(acm->au16SatTab, u16GainSatTab, sizeof acm->au16SatTab);
    return ret;
}

u16 AcmGainCalculate(u32 gainLo, u32 gainHi, u32 isoLo, u32 isoHi, s32 iso)
{
    s64 slope = isoHi == isoLo ? 0 : ((s64)gainHi - (s64)gainLo) * 65536 / ((s64)isoHi - (s64)isoLo);
    return (u16)((s64)gainHi - ((((s64)isoHi - iso) * slope) >> 16));
}

s32 AwbAcmCalculate(s32 s32Handle, AWB_ACM_STATE_S *acm)
{
    ISP_ACM_CFG_S cfg;
    memset(&cfg, 0, sizeof cfg);
    s32 ret = ISP_ACM_GetAttr(&cfg);
    if (ret != 0)
        return ret;
    if (!acm->bEnable || !cfg.bEnable)
        return 0;
    u32 g[3];
    if (acm->u8OpType == 1) {
        for (u32 i = 0; i < 3; i++)
            g[i] = acm->au16CurGain[i] = acm->au16ManualGain[i];
    } else {
        const u16 *tabs[3] = {acm->au16LumaTab, acm->au16HueTab, acm->au16SatTab};
        IspIsoSegment seg = isp_iso_segment(acm->u32Iso); // ISO below 100 counts as 100
        for (u32 i = 0; i < 3; i++)
            g[i] = seg.lo == seg.hi ? tabs[i][15]
                                    : AcmGainCalculate(tabs[i][seg.lo], tabs[i][seg.hi], isp_iso_grid(seg.lo),
                                                       isp_iso_grid(seg.hi), (s32)seg.iso);
        const s32 T = acm->s32ColorTemp;
        for (u32 &v : g) {
            if (T <= 0) {
                v = 0;
                continue;
            }
            s32 mired = 1000000 / T;
            if (mired > 300)
                v = (v * (u32)(64 - std::min(mired - 300, 64))) >> 6;
            else if (mired < 125)
                v = (v * (u32)(16 - std::min(125 - mired, 16))) >> 4;
        }
        const u32 k = acm->u32MultiLSDegree;
        if (k)
            for (u32 &v : g)
                v -= std::min(v >> 1, (k * v) >> 6);
        const u32 c = (u16)acm->s32WpChange;
        if (c)
            for (u32 &v : g) {
                u32 cut = (c * v) >> 6;
                v = cut > v ? 0 : v - cut;
            }
        for (u32 i = 0; i < 3; i++)
            acm->au16CurGain[i] = (u16)g[i];
    }
    cfg.u32GainLuma = g[0];
    cfg.u32GainHue = g[1];
    cfg.u32GainSat = g[2];
    cfg.bEnable = 1;
    return ISP_ACM_SetAttr(&cfg);
}
