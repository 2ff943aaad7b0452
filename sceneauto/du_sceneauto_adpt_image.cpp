// The adapter's operations on the ISP's image attributes and registers and
// on the video input's DCI and colour conversion.
#include "sceneauto/du_sceneauto_adpt.h"

#include "isp/isp_acm.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "isp/mpi_isp.h"
#include "isp/mpi_isp_correction.h"
#include "isp/mpi_isp_iq.h"
#include "mpi/video/vi/mpi_vi.h"
#include "sceneauto/du_sceneauto_adpt_call.h"

using namespace sceneauto_adpt;

namespace {

constexpr u32 kOpAuto = 0, kOpManual = 1;
constexpr u32 kNeutralContrast = 45;

} // namespace

s32 CommSceneautoSetRegister(s32 dev, u32 u32Addr, u32 u32Value)
{
    if (DU_DUZ_ISP_SetRegister(dev, u32Addr, u32Value) != 0)
        return call_failed("DU_DUZ_ISP_SetRegister");
    return 0;
}

// ---- colour -----------------------------------------------------------------------------------

namespace {

// The ACM words the tuning moves: enable, CbCr threshold and the three gains.
constexpr adpt_field kAcmRows[] = {
    adpt_pair(VREG_MEMBER(SCENEAUTO_ACM_S, au32Word[0]), VREG_MEMBER(ISP_ACM_CFG_S, bEnable)),
    adpt_pair(VREG_MEMBER(SCENEAUTO_ACM_S, au32Word[1]), VREG_MEMBER(ISP_ACM_CFG_S, u32CbcrThr)),
    adpt_pair(VREG_MEMBER(SCENEAUTO_ACM_S, au32Word[2]), VREG_MEMBER(ISP_ACM_CFG_S, u32GainLuma)),
    adpt_pair(VREG_MEMBER(SCENEAUTO_ACM_S, au32Word[3]), VREG_MEMBER(ISP_ACM_CFG_S, u32GainHue)),
    adpt_pair(VREG_MEMBER(SCENEAUTO_ACM_S, au32Word[4]), VREG_MEMBER(ISP_ACM_CFG_S, u32GainSat)),
};
constexpr adpt_map<SCENEAUTO_ACM_S, ISP_ACM_CFG_S> kAcmMap = adpt_map_of<SCENEAUTO_ACM_S, ISP_ACM_CFG_S>(kAcmRows);

// High, middle and low colour temperature.
using Ccm = SCENEAUTO_CCM_S;
using CcmSettings = AWB_CCM_SETTINGS_S;
constexpr adpt_field kCcmRows[] = {
    adpt_pair(VREG_MEMBER(Ccm, astCCM[0].u16ColorTemp), VREG_MEMBER(CcmSettings, stAuto.u16HighColorTemp)),
    adpt_pair(VREG_MEMBER(Ccm, astCCM[0].au16CCM), VREG_MEMBER(CcmSettings, stAuto.au16HighCCM)),
    adpt_pair(VREG_MEMBER(Ccm, astCCM[1].u16ColorTemp), VREG_MEMBER(CcmSettings, stAuto.u16MidColorTemp)),
    adpt_pair(VREG_MEMBER(Ccm, astCCM[1].au16CCM), VREG_MEMBER(CcmSettings, stAuto.au16MidCCM)),
    adpt_pair(VREG_MEMBER(Ccm, astCCM[2].u16ColorTemp), VREG_MEMBER(CcmSettings, stAuto.u16LowColorTemp)),
    adpt_pair(VREG_MEMBER(Ccm, astCCM[2].au16CCM), VREG_MEMBER(CcmSettings, stAuto.au16LowCCM)),
};
constexpr adpt_map<Ccm, CcmSettings> kCcmMap = adpt_map_of<Ccm, CcmSettings>(kCcmRows);

// The set decides the operation and the manual saturation by the user's
// preferences, and takes the automatic table only for an automatic
// operation (below).
using Sat = SCENEAUTO_SATURATION_S;
using SatSettings = AWB_SATURATION_SETTINGS_S;
constexpr adpt_field kSaturationRows[] = {
    adpt_pair(VREG_MEMBER(Sat, u8OpType), VREG_MEMBER(SatSettings, enOpType)).get_only(),
    adpt_pair(VREG_MEMBER(Sat, u8Saturation), VREG_MEMBER(SatSettings, u8Saturation)).get_only(),
    adpt_pair(VREG_MEMBER(Sat, au8Sat), VREG_MEMBER(SatSettings, au8Sat)).get_only(),
};
constexpr adpt_map<Sat, SatSettings> kSaturationMap = adpt_map_of<Sat, SatSettings>(kSaturationRows);

// What a colour effect does: the red, green and blue casts it sets (or the
// casts stay), and the automatic saturation it forces (or the engine's).
struct colour_effect {
    s32 effect;
    bool sets_casts;
    ISP_COLORTONE_S casts;
    s16 saturation; // -1: the engine's table
};
constexpr s16 kEngineSaturation = -1;
const colour_effect kColourEffects[] = {
    {PREF_COLOR_STANDARD, true, {256, 256, 256}, kEngineSaturation},
    {PREF_COLOR_MONO, false, {}, 0},
    {PREF_COLOR_COOL, true, {240, 256, 272}, kEngineSaturation},
    {PREF_COLOR_COOLER, true, {224, 256, 288}, kEngineSaturation},
    {PREF_COLOR_WARM, true, {272, 256, 240}, kEngineSaturation},
    {PREF_COLOR_WARMER, true, {288, 256, 224}, kEngineSaturation},
    {PREF_COLOR_VIVID, false, {}, kEngineSaturation},
    {PREF_COLOR_SATURATED, false, {}, 176},
};

// The user's colour effect; one that changes nothing for an unknown value.
const colour_effect &current_colour_effect()
{
    static const colour_effect kNone = {-1, false, {}, kEngineSaturation};
    const s32 effect = prefs().ColorEffect;
    for (const colour_effect &e : kColourEffects)
        if (e.effect == effect)
            return e;
    return kNone;
}

} // namespace

s32 CommSceneautoGetAcmAttr(s32 dev, SCENEAUTO_ACM_S *pstAcm)
{
    return get_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetAcmAttr), kAcmMap, pstAcm);
}

s32 CommSceneautoSetAcmAttr(s32 dev, const SCENEAUTO_ACM_S *pstAcm)
{
    return get_patch_set<ISP_ACM_CFG_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetAcmAttr),
                                        SCENEAUTO_CALL(DU_DUZ_ISP_SetAcmAttr), [pstAcm](ISP_ACM_CFG_S &c) {
                                            for (int i = 0; i < 10; i++)
                                                printf("DU_DUZ_ISP_GetAcmAttr stAcmAttr.bEnable\n");
                                            adpt_set(kAcmMap, *pstAcm, c);
                                        });
}

s32 CommSceneautoGetCcmAttr(s32 dev, SCENEAUTO_CCM_S *pstCcm)
{
    return get_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetCCMAttr), kCcmMap, pstCcm);
}

s32 CommSceneautoSetCcmAttr(s32 dev, const SCENEAUTO_CCM_S *pstCcm)
{
    return get_patch_set<AWB_CCM_SETTINGS_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetCCMAttr),
                                             SCENEAUTO_CALL(DU_DUZ_ISP_SetCCMAttr), [pstCcm](AWB_CCM_SETTINGS_S &c) {
                                                 adpt_set(kCcmMap, *pstCcm, c);
                                                 c.enOpType = kOpAuto;
                                             });
}

s32 CommSceneautoGetSaturation(s32 dev, SCENEAUTO_SATURATION_S *pstSat)
{
    return get_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetSaturationAttr), kSaturationMap, pstSat);
}

s32 CommSceneautoSetSaturation(s32 dev, const SCENEAUTO_SATURATION_S *pstSat)
{
    return get_patch_set<AWB_SATURATION_SETTINGS_S>(
        dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetSaturationAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetSaturationAttr),
        [pstSat](AWB_SATURATION_SETTINGS_S &s) {
            const DvSystemParam &p = prefs();
            if (pstSat->u8OpType <= kOpManual)
                s.enOpType = pstSat->u8OpType;
            u8 manual;
            if (p.Saturation == PREF_ADJUST_NONE) {
                s.enOpType = kOpAuto;
            } else if (manual_level(p.Saturation, &manual)) {
                s.enOpType = kOpManual;
                s.u8Saturation = manual;
            }
            if (s.enOpType != kOpAuto)
                return;
            const s16 forced = current_colour_effect().saturation;
            for (int i = 0; i < 16; i++)
                s.au8Sat[i] = forced == kEngineSaturation ? pstSat->au8Sat[i] : (u8)forced;
        });
}

s32 CommSceneautoGetColorToneAttr(s32 dev, u16 pu16Gain[3])
{
    return get_record<ISP_COLORTONE_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetColorToneAttr),
                                       [pu16Gain](const ISP_COLORTONE_S &t) {
                                           pu16Gain[0] = t.u16RedCastGain;
                                           pu16Gain[1] = t.u16GreenCastGain;
                                           pu16Gain[2] = t.u16BlueCastGain;
                                       });
}

s32 CommSceneautoSetColorToneAttr(s32 dev, const u16 *)
{
    return get_patch_set<ISP_COLORTONE_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetColorToneAttr),
                                          SCENEAUTO_CALL(DU_DUZ_ISP_SetColorToneAttr), [](ISP_COLORTONE_S &t) {
                                              const colour_effect &e = current_colour_effect();
                                              if (e.sets_casts)
                                                  t = e.casts;
                                          });
}

// ---- sharpen, demosaic, defect pixels ---------------------------------------------------------

namespace {

// The three automatic tables.
using Sharpen = SCENEAUTO_SHARPEN_S;
using SharpenAttr = ISP_SHARPEN_ATTR_S;
constexpr adpt_field kSharpenRows[] = {
    adpt_pair(VREG_MEMBER(Sharpen, au8SharpenD), VREG_MEMBER(SharpenAttr, au8SharpenD)),
    adpt_pair(VREG_MEMBER(Sharpen, au8SharpenUd), VREG_MEMBER(SharpenAttr, au8SharpenUd)),
    adpt_pair(VREG_MEMBER(Sharpen, au8SharpenRGB), VREG_MEMBER(SharpenAttr, au8SharpenRGB)),
};
constexpr adpt_map<Sharpen, SharpenAttr> kSharpenMap = adpt_map_of<Sharpen, SharpenAttr>(kSharpenRows);

using Demosaic = SCENEAUTO_DEMOSAIC_S;
using DemosaicAttr = ISP_DEMOSAIC_ATTR_S;
constexpr adpt_field kDemosaicRows[] = {
    adpt_pair(VREG_MEMBER(Demosaic, au8Slope[0]), VREG_MEMBER(DemosaicAttr, u8VhSlope)),
    adpt_pair(VREG_MEMBER(Demosaic, au8Slope[1]), VREG_MEMBER(DemosaicAttr, u8AaSlope)),
    adpt_pair(VREG_MEMBER(Demosaic, au8Slope[2]), VREG_MEMBER(DemosaicAttr, u8VaSlope)),
    adpt_pair(VREG_MEMBER(Demosaic, au8Slope[3]), VREG_MEMBER(DemosaicAttr, u8UuSlope)),
    adpt_pair(VREG_MEMBER(Demosaic, au8LumThresh), VREG_MEMBER(DemosaicAttr, au8LumThresh)),
};
constexpr adpt_map<Demosaic, DemosaicAttr> kDemosaicMap = adpt_map_of<Demosaic, DemosaicAttr>(kDemosaicRows);

} // namespace

s32 CommSceneautoGetSharpen(s32 dev, SCENEAUTO_SHARPEN_S *pstSharpen)
{
    return get_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetSharpenAttr), kSharpenMap, pstSharpen);
}

s32 CommSceneautoSetSharpen(s32 dev, const SCENEAUTO_SHARPEN_S *pstSharpen)
{
    return get_patch_set<ISP_SHARPEN_ATTR_S>(
        dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetSharpenAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetSharpenAttr),
        [pstSharpen](ISP_SHARPEN_ATTR_S &s) {
            adpt_set(kSharpenMap, *pstSharpen, s);
            const s32 v = prefs().Sharpness;
            u8 manual;
            if (v == PREF_ADJUST_NONE) {
                s.enOpType = kOpAuto;
            } else if (manual_level(v, &manual)) {
                s.enOpType = kOpManual;
                s.u8SharpenRGB = manual;
            }
        });
}

s32 CommSceneautoGetDemosaic(s32 dev, SCENEAUTO_DEMOSAIC_S *pstDemosaic)
{
    return get_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDemosaicAttr), kDemosaicMap, pstDemosaic);
}

s32 CommSceneautoSetDemosaic(s32 dev, const SCENEAUTO_DEMOSAIC_S *pstDemosaic)
{
    return set_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDemosaicAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetDemosaicAttr),
                      kDemosaicMap, pstDemosaic);
}

s32 CommSceneautoGetDP(s32 dev, u16 *pu16Slope)
{
    return get_record<ISP_DP_ATTR_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDPAttr),
                                     [pu16Slope](const ISP_DP_ATTR_S &d) { *pu16Slope = d.stDynamicAttr.u16Slope; });
}

s32 CommSceneautoSetDP(s32 dev, u16 u16Slope)
{
    return get_patch_set<ISP_DP_ATTR_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDPAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetDPAttr),
                                        [u16Slope](ISP_DP_ATTR_S &d) {
                                            d.stDynamicAttr.bEnable = 1;
                                            d.stDynamicAttr.u16Slope = u16Slope;
                                        });
}

// ---- gamma, DRC, state --------------------------------------------------------------------

namespace {

// The set takes the curve type only when it is one (below).
constexpr adpt_field kGammaRows[] = {
    adpt_pair(VREG_MEMBER(SCENEAUTO_GAMMA_S, u8CurveType), VREG_MEMBER(ISP_GAMMA_ATTR_S, enCurveType)).get_only(),
    adpt_pair(VREG_MEMBER(SCENEAUTO_GAMMA_S, au16Table), VREG_MEMBER(ISP_GAMMA_ATTR_S, au16Table)),
};
constexpr adpt_map<SCENEAUTO_GAMMA_S, ISP_GAMMA_ATTR_S> kGammaMap =
    adpt_map_of<SCENEAUTO_GAMMA_S, ISP_GAMMA_ATTR_S>(kGammaRows);

// The engine's manual flag is the platform's operation (manual is 1).
static_assert(OP_TYPE_MANUAL == 1 && OP_TYPE_AUTO == 0, "the manual flag as the operation");
using Drc = SCENEAUTO_DRC_ATTR_S;
constexpr adpt_field kDrcRows[] = {
    adpt_pair(VREG_MEMBER(Drc, bEnable), VREG_MEMBER(ISP_DRC_CFG_S, bEnable)),
    adpt_pair(VREG_MEMBER(Drc, bManual), VREG_MEMBER(ISP_DRC_CFG_S, enOpType)).one_or_zero(),
    adpt_pair(VREG_MEMBER(Drc, u32Strength), VREG_MEMBER(ISP_DRC_CFG_S, u32Strength)),
    adpt_pair(VREG_MEMBER(Drc, u32SlopeMax), VREG_MEMBER(ISP_DRC_CFG_S, u32SlopeMax)),
    adpt_pair(VREG_MEMBER(Drc, u32SlopeMin), VREG_MEMBER(ISP_DRC_CFG_S, u32SlopeMin)),
    adpt_pair(VREG_MEMBER(Drc, u32VarianceSpace), VREG_MEMBER(ISP_DRC_CFG_S, u32VarianceSpace)),
    adpt_pair(VREG_MEMBER(Drc, u32VarianceIntensity), VREG_MEMBER(ISP_DRC_CFG_S, u32VarianceIntensity)),
    adpt_pair(VREG_MEMBER(Drc, u32WhiteLevel), VREG_MEMBER(ISP_DRC_CFG_S, u32WhiteLevel)),
    adpt_pair(VREG_MEMBER(Drc, u32BlackLevel), VREG_MEMBER(ISP_DRC_CFG_S, u32BlackLevel)),
};
constexpr adpt_map<Drc, ISP_DRC_CFG_S> kDrcMap = adpt_map_of<Drc, ISP_DRC_CFG_S>(kDrcRows);

} // namespace

s32 CommSceneautoGetGamma(s32 dev, SCENEAUTO_GAMMA_S *pstGamma)
{
    return get_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetGammaAttr), kGammaMap, pstGamma);
}

s32 CommSceneautoSetGamma(s32 dev, const SCENEAUTO_GAMMA_S *pstGamma)
{
    return get_patch_set<ISP_GAMMA_ATTR_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetGammaAttr),
                                           SCENEAUTO_CALL(DU_DUZ_ISP_SetGammaAttr), [pstGamma](ISP_GAMMA_ATTR_S &g) {
                                               if (pstGamma->u8CurveType <= ISP_GAMMA_CURVE_USER_DEFINE)
                                                   g.enCurveType = pstGamma->u8CurveType;
                                               adpt_set(kGammaMap, *pstGamma, g);
                                           });
}

s32 CommSceneautoGetDRCAttr(s32 dev, SCENEAUTO_DRC_ATTR_S *pstDrc)
{
    return get_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDRCAttr), kDrcMap, pstDrc);
}

s32 CommSceneautoSetDRCAttr(s32 dev, const SCENEAUTO_DRC_ATTR_S *pstDrc)
{
    return set_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDRCAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetDRCAttr), kDrcMap,
                      pstDrc);
}

s32 CommSceneautoDisableDRCAttr(s32 dev)
{
    return get_patch_set<ISP_DRC_CFG_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDRCAttr),
                                        SCENEAUTO_CALL(DU_DUZ_ISP_SetDRCAttr), [](ISP_DRC_CFG_S &d) { d.bEnable = 0; });
}

s32 CommSceneautoGetPubAttr(s32 dev, u32 *pu32FrameRate)
{
    return get_record<ISP_FRAME_FORMAT_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetPubAttr),
                                          [pu32FrameRate](const ISP_FRAME_FORMAT_S &f) {
                                              *pu32FrameRate = (u32)f.f32FrameRate;
                                          });
}

s32 CommSceneautoGetWDRAttr(s32 dev, u8 *pu8WdrMode)
{
    return get_record<ISP_WDR_SEL_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetWDRMode),
                                     [pu8WdrMode](const ISP_WDR_SEL_S &w) { *pu8WdrMode = (u8)w.enWDRMode; });
}

namespace {

using InnerState = SCENEAUTO_INNER_STATE_S;
constexpr adpt_field kInnerStateRows[] = {
    adpt_pair(VREG_MEMBER(InnerState, u32DRCStrength), VREG_MEMBER(ISP_INNER_STATE_S, u32DRCStrengthActual)),
    adpt_pair(VREG_MEMBER(InnerState, u32DefogStrength), VREG_MEMBER(ISP_INNER_STATE_S, u32DefogStrengthActual)),
};
constexpr adpt_map<InnerState, ISP_INNER_STATE_S> kInnerStateMap =
    adpt_map_of<InnerState, ISP_INNER_STATE_S>(kInnerStateRows);

} // namespace

s32 CommSceneautoGetQueryInnerStateInfo(s32 dev, SCENEAUTO_INNER_STATE_S *pstState)
{
    return get_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_QueryInnerStateInfo), kInnerStateMap, pstState);
}

// ---- defog, fixed-pattern noise, stabilisation -----------------------------------------------

s32 CommSceneautoGetDefogAttr(s32 dev, u32 *pu32Enable)
{
    return get_record<ISP_DEFOG_ATTR_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDeFogAttr),
                                        [pu32Enable](const ISP_DEFOG_ATTR_S &d) { *pu32Enable = d.bEnable; });
}

s32 CommSceneautoSetDefogAttr(s32 dev, u32 u32Enable)
{
    return get_patch_set<ISP_DEFOG_ATTR_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDeFogAttr),
                                           SCENEAUTO_CALL(DU_DUZ_ISP_SetDeFogAttr), [u32Enable](ISP_DEFOG_ATTR_S &d) {
                                               d.bEnable = u32Enable;
                                               d.u8HorizontalBlock = 16;
                                               d.u8VerticalBlock = 15;
                                               d.enOpType = kOpAuto;
                                               d.u8AutoStrength = 32;
                                           });
}

s32 CommSceneautoSetFPNAttr(s32 dev, u32 u32Enable)
{
    return get_patch_set<ISP_FPN_ATTR_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetFPNAttr),
                                         SCENEAUTO_CALL(DU_DUZ_ISP_SetFPNAttr),
                                         [u32Enable](ISP_FPN_ATTR_S &f) { f.bEnable = u32Enable; });
}

// A video input without stabilisation answers ERR_VI_NOT_SUPPORT: it is off,
// and there is nothing to set.
s32 CommSceneautoGetDISAttr(s32 dev, u32 *pu32Enable)
{
    *pu32Enable = 0;
    ISP_DIS_ATTR_S dis = {};
    const s32 ret = DU_DUZ_ISP_GetDISAttr(dev, &dis);
    if (ret == ERR_VI_NOT_SUPPORT)
        return 0;
    if (ret != 0)
        return call_failed("DU_DUZ_ISP_GetDISAttr");
    *pu32Enable = dis.bEnable;
    return 0;
}

s32 CommSceneautoSetDISAttr(s32 dev, u32 u32Enable)
{
    ISP_DIS_ATTR_S dis = {};
    const s32 ret = DU_DUZ_ISP_GetDISAttr(dev, &dis);
    if (ret == ERR_VI_NOT_SUPPORT)
        return 0;
    if (ret != 0)
        return call_failed("DU_DUZ_ISP_GetDISAttr");
    dis.bEnable = u32Enable;
    if (DU_DUZ_ISP_SetDISAttr(dev, &dis) != 0)
        return call_failed("DU_DUZ_ISP_SetDISAttr");
    return 0;
}

// ---- video input --------------------------------------------------------------------------

namespace {

constexpr adpt_field kDciRows[] = {
    adpt_pair(VREG_MEMBER(SCENEAUTO_DCI_S, au32Word), VREG_MEMBER(VI_DCI_PARAM_REC_S, au32Word)),
};
constexpr adpt_map<SCENEAUTO_DCI_S, VI_DCI_PARAM_REC_S> kDciMap =
    adpt_map_of<SCENEAUTO_DCI_S, VI_DCI_PARAM_REC_S>(kDciRows);

} // namespace

s32 CommSceneautoGetDCIParam(s32 viDev, SCENEAUTO_DCI_S *pstDci)
{
    return get_mapped(viDev, SCENEAUTO_CALL(DU_DUZ_VI_GetDCIParam), kDciMap, pstDci);
}

s32 CommSceneautoSetDCIParam(s32 viDev, const SCENEAUTO_DCI_S *pstDci)
{
    return set_mapped(viDev, SCENEAUTO_CALL(DU_DUZ_VI_GetDCIParam), SCENEAUTO_CALL(DU_DUZ_VI_SetDCIParam), kDciMap,
                      pstDci);
}

s32 CommSceneManualSetVICSC(s32 dev)
{
    VI_CSC_ATTR_REC_S csc = {};
    s32 ret = DU_DUZ_VI_GetCSCAttr(dev, &csc);
    if (ret != 0) {
        // Nothing to patch: setting a record never read would wipe the
        // device's brightness, hue and saturation.
        printf("DU_DUZ_VI_GetCSCAttr failed!s32Ret =0x %x\n", ret);
        return -1;
    }
    s32 v = prefs().Contrast;
    if (v == PREF_ADJUST_NONE)
        csc.u32ContrVal = kNeutralContrast;
    else if (v >= PREF_ADJUST_MIN && v <= PREF_ADJUST_MAX)
        csc.u32ContrVal = (u32)((s32)kNeutralContrast + v * (s32)kNeutralContrast / PREF_ADJUST_MAX);
    ret = DU_DUZ_VI_SetCSCAttr(dev, &csc);
    if (ret != 0) {
        printf("DU_DUZ_VI_SetCSCAttr failed!s32Ret =0x %x\n", ret);
        return -1;
    }
    return 0;
}
