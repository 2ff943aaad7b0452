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

#include <cstring>

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
constexpr u32 ISP_ACM_CFG_S::*kAcmWords[5] = {&ISP_ACM_CFG_S::bEnable, &ISP_ACM_CFG_S::u32CbcrThr,
                                              &ISP_ACM_CFG_S::u32GainLuma, &ISP_ACM_CFG_S::u32GainHue,
                                              &ISP_ACM_CFG_S::u32GainSat};

struct ccm_slot {
    u16 AWB_CCM_AUTO_S::*temp;
    u16 (AWB_CCM_AUTO_S::*matrix)[9];
};
// High, middle and low colour temperature.
constexpr ccm_slot kCcmSlots[3] = {{&AWB_CCM_AUTO_S::u16HighColorTemp, &AWB_CCM_AUTO_S::au16HighCCM},
                                   {&AWB_CCM_AUTO_S::u16MidColorTemp, &AWB_CCM_AUTO_S::au16MidCCM},
                                   {&AWB_CCM_AUTO_S::u16LowColorTemp, &AWB_CCM_AUTO_S::au16LowCCM}};

} // namespace

s32 CommSceneautoGetAcmAttr(s32 dev, SCENEAUTO_ACM_S *pstAcm)
{
    return get_record<ISP_ACM_CFG_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetAcmAttr), [pstAcm](const ISP_ACM_CFG_S &c) {
        for (int i = 0; i < 5; i++)
            pstAcm->au32Word[i] = c.*kAcmWords[i];
    });
}

s32 CommSceneautoSetAcmAttr(s32 dev, const SCENEAUTO_ACM_S *pstAcm)
{
    return get_patch_set<ISP_ACM_CFG_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetAcmAttr),
                                        SCENEAUTO_CALL(DU_DUZ_ISP_SetAcmAttr), [pstAcm](ISP_ACM_CFG_S &c) {
                                            for (int i = 0; i < 10; i++)
                                                printf("DU_DUZ_ISP_GetAcmAttr stAcmAttr.bEnable\n");
                                            for (int i = 0; i < 5; i++)
                                                c.*kAcmWords[i] = pstAcm->au32Word[i];
                                        });
}

s32 CommSceneautoGetCcmAttr(s32 dev, SCENEAUTO_CCM_S *pstCcm)
{
    return get_record<AWB_CCM_SETTINGS_S>(
        dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetCCMAttr), [pstCcm](const AWB_CCM_SETTINGS_S &c) {
            for (int i = 0; i < 3; i++) {
                pstCcm->astCCM[i].u16ColorTemp = c.stAuto.*kCcmSlots[i].temp;
                memcpy(pstCcm->astCCM[i].au16CCM, c.stAuto.*kCcmSlots[i].matrix, sizeof pstCcm->astCCM[i].au16CCM);
            }
        });
}

s32 CommSceneautoSetCcmAttr(s32 dev, const SCENEAUTO_CCM_S *pstCcm)
{
    return get_patch_set<AWB_CCM_SETTINGS_S>(
        dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetCCMAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetCCMAttr),
        [pstCcm](AWB_CCM_SETTINGS_S &c) {
            for (int i = 0; i < 3; i++) {
                c.stAuto.*kCcmSlots[i].temp = pstCcm->astCCM[i].u16ColorTemp;
                memcpy(c.stAuto.*kCcmSlots[i].matrix, pstCcm->astCCM[i].au16CCM, sizeof pstCcm->astCCM[i].au16CCM);
            }
            c.enOpType = kOpAuto;
        });
}

s32 CommSceneautoGetSaturation(s32 dev, SCENEAUTO_SATURATION_S *pstSat)
{
    return get_record<AWB_SATURATION_SETTINGS_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetSaturationAttr),
                                                 [pstSat](const AWB_SATURATION_SETTINGS_S &s) {
                                                     pstSat->u8OpType = (u8)s.enOpType;
                                                     pstSat->u8Saturation = s.u8Saturation;
                                                     memcpy(pstSat->au8Sat, s.au8Sat, sizeof pstSat->au8Sat);
                                                 });
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
            const bool saturated = p.ColorEffect == PREF_COLOR_SATURATED, mono = p.ColorEffect == PREF_COLOR_MONO;
            for (int i = 0; i < 16; i++)
                s.au8Sat[i] = saturated ? 176 : mono ? 0 : pstSat->au8Sat[i];
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
    return get_patch_set<ISP_COLORTONE_S>(
        dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetColorToneAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetColorToneAttr),
        [](ISP_COLORTONE_S &t) {
            // Red, green and blue casts of the colour effects; mono, vivid
            // and the others keep the casts.
            switch (prefs().ColorEffect) {
            case PREF_COLOR_STANDARD:
                t = {256, 256, 256};
                break;
            case PREF_COLOR_COOL:
                t = {240, 256, 272};
                break;
            case PREF_COLOR_COOLER:
                t = {224, 256, 288};
                break;
            case PREF_COLOR_WARM:
                t = {272, 256, 240};
                break;
            case PREF_COLOR_WARMER:
                t = {288, 256, 224};
                break;
            }
        });
}

// ---- sharpen, demosaic, defect pixels ---------------------------------------------------------

s32 CommSceneautoGetSharpen(s32 dev, SCENEAUTO_SHARPEN_S *pstSharpen)
{
    return get_record<ISP_SHARPEN_ATTR_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetSharpenAttr),
                                          [pstSharpen](const ISP_SHARPEN_ATTR_S &s) {
                                              memcpy(pstSharpen->au8SharpenD, s.au8SharpenD, 16);
                                              memcpy(pstSharpen->au8SharpenUd, s.au8SharpenUd, 16);
                                              memcpy(pstSharpen->au8SharpenRGB, s.au8SharpenRGB, 16);
                                          });
}

s32 CommSceneautoSetSharpen(s32 dev, const SCENEAUTO_SHARPEN_S *pstSharpen)
{
    return get_patch_set<ISP_SHARPEN_ATTR_S>(
        dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetSharpenAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetSharpenAttr),
        [pstSharpen](ISP_SHARPEN_ATTR_S &s) {
            memcpy(s.au8SharpenD, pstSharpen->au8SharpenD, 16);
            memcpy(s.au8SharpenUd, pstSharpen->au8SharpenUd, 16);
            memcpy(s.au8SharpenRGB, pstSharpen->au8SharpenRGB, 16);
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
    return get_record<ISP_DEMOSAIC_ATTR_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDemosaicAttr),
                                           [pstDemosaic](const ISP_DEMOSAIC_ATTR_S &d) {
                                               const u8 slopes[4] = {d.u8VhSlope, d.u8AaSlope, d.u8VaSlope,
                                                                     d.u8UuSlope};
                                               memcpy(pstDemosaic->au8Slope, slopes, 4);
                                               memcpy(pstDemosaic->au8LumThresh, d.au8LumThresh, 16);
                                           });
}

s32 CommSceneautoSetDemosaic(s32 dev, const SCENEAUTO_DEMOSAIC_S *pstDemosaic)
{
    return get_patch_set<ISP_DEMOSAIC_ATTR_S>(
        dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDemosaicAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetDemosaicAttr),
        [pstDemosaic](ISP_DEMOSAIC_ATTR_S &d) {
            d.u8VhSlope = pstDemosaic->au8Slope[0];
            d.u8AaSlope = pstDemosaic->au8Slope[1];
            d.u8VaSlope = pstDemosaic->au8Slope[2];
            d.u8UuSlope = pstDemosaic->au8Slope[3];
            memcpy(d.au8LumThresh, pstDemosaic->au8LumThresh, 16);
        });
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

s32 CommSceneautoGetGamma(s32 dev, SCENEAUTO_GAMMA_S *pstGamma)
{
    return get_record<ISP_GAMMA_ATTR_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetGammaAttr),
                                        [pstGamma](const ISP_GAMMA_ATTR_S &g) {
                                            pstGamma->u8CurveType = (u8)g.enCurveType;
                                            memcpy(pstGamma->au16Table, g.au16Table, sizeof pstGamma->au16Table);
                                        });
}

s32 CommSceneautoSetGamma(s32 dev, const SCENEAUTO_GAMMA_S *pstGamma)
{
    return get_patch_set<ISP_GAMMA_ATTR_S>(
        dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetGammaAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetGammaAttr),
        [pstGamma](ISP_GAMMA_ATTR_S &g) {
            if (pstGamma->u8CurveType <= ISP_GAMMA_CURVE_USER_DEFINE)
                g.enCurveType = pstGamma->u8CurveType;
            memcpy(g.au16Table, pstGamma->au16Table, sizeof g.au16Table);
        });
}

s32 CommSceneautoGetDRCAttr(s32 dev, SCENEAUTO_DRC_ATTR_S *pstDrc)
{
    return get_record<ISP_DRC_CFG_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDRCAttr), [pstDrc](const ISP_DRC_CFG_S &d) {
        pstDrc->bEnable = d.bEnable;
        pstDrc->bManual = d.enOpType == OP_TYPE_MANUAL ? 1 : 0;
        pstDrc->u32Strength = d.u32Strength;
        pstDrc->u32SlopeMax = d.u32SlopeMax;
        pstDrc->u32SlopeMin = d.u32SlopeMin;
        pstDrc->u32VarianceSpace = d.u32VarianceSpace;
        pstDrc->u32VarianceIntensity = d.u32VarianceIntensity;
        pstDrc->u32WhiteLevel = d.u32WhiteLevel;
        pstDrc->u32BlackLevel = d.u32BlackLevel;
    });
}

s32 CommSceneautoSetDRCAttr(s32 dev, const SCENEAUTO_DRC_ATTR_S *pstDrc)
{
    return get_patch_set<ISP_DRC_CFG_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetDRCAttr),
                                        SCENEAUTO_CALL(DU_DUZ_ISP_SetDRCAttr), [pstDrc](ISP_DRC_CFG_S &d) {
                                            d.bEnable = pstDrc->bEnable;
                                            d.enOpType = pstDrc->bManual == 1 ? OP_TYPE_MANUAL : OP_TYPE_AUTO;
                                            d.u32Strength = pstDrc->u32Strength;
                                            d.u32SlopeMax = pstDrc->u32SlopeMax;
                                            d.u32SlopeMin = pstDrc->u32SlopeMin;
                                            d.u32VarianceSpace = pstDrc->u32VarianceSpace;
                                            d.u32VarianceIntensity = pstDrc->u32VarianceIntensity;
                                            d.u32WhiteLevel = pstDrc->u32WhiteLevel;
                                            d.u32BlackLevel = pstDrc->u32BlackLevel;
                                        });
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

s32 CommSceneautoGetQueryInnerStateInfo(s32 dev, SCENEAUTO_INNER_STATE_S *pstState)
{
    return get_record<ISP_INNER_STATE_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_QueryInnerStateInfo),
                                         [pstState](const ISP_INNER_STATE_S &s) {
                                             pstState->u32DRCStrength = s.u32DRCStrengthActual;
                                             pstState->u32DefogStrength = s.u32DefogStrengthActual;
                                         });
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

s32 CommSceneautoGetDCIParam(s32 viDev, SCENEAUTO_DCI_S *pstDci)
{
    return get_record<VI_DCI_PARAM_REC_S>(viDev, SCENEAUTO_CALL(DU_DUZ_VI_GetDCIParam),
                                          [pstDci](const VI_DCI_PARAM_REC_S &d) {
                                              memcpy(pstDci->au32Word, d.au32Word, sizeof pstDci->au32Word);
                                          });
}

s32 CommSceneautoSetDCIParam(s32 viDev, const SCENEAUTO_DCI_S *pstDci)
{
    return get_patch_set<VI_DCI_PARAM_REC_S>(viDev, SCENEAUTO_CALL(DU_DUZ_VI_GetDCIParam),
                                             SCENEAUTO_CALL(DU_DUZ_VI_SetDCIParam), [pstDci](VI_DCI_PARAM_REC_S &d) {
                                                 memcpy(d.au32Word, pstDci->au32Word, sizeof d.au32Word);
                                             });
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
