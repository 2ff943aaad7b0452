// The tuning image's loading: the linear or the WDR variant of the blocks
// that differ, by the WDR mode the sensor runs now.
#include "sceneauto/sceneauto_iq.h"

#include <cstdio>
#include <cstring>

SCENEAUTO_INIPARA_S g_stINIPara;

namespace {

// The blocks with a WDR variant.
void load_variant(bool wdr)
{
    SCENEAUTO_INIPARA_S &p = g_stINIPara;
    p.u16RatioBias = wdr ? iq_para_WDR_u16RatioBias : iq_para_u16RatioBias;
    p.stThreshValue = wdr ? iq_para_WDR_stThreshValue : iq_para_stThreshValue;
    p.stIniNRProfile = wdr ? iq_para_WDR_stIniNRProfile : iq_para_stIniNRProfile;
    p.stIniAE = wdr ? iq_para_WDR_stIniAE : iq_para_stIniAE;
    p.stIniDemosaic = wdr ? iq_para_WDR_stIniDemosaic : iq_para_stIniDemosaic;
    p.stIniSharpen = wdr ? iq_para_WDR_stIniSharpen : iq_para_stIniSharpen;
    p.stIniGamma = wdr ? iq_para_WDR_stIniGamma : iq_para_stIniGamma;
    p.stIni3dnr = wdr ? iq_para_WDR_stIni3dnr : iq_para_stIni3dnr;
    p.stFastDynamic = wdr ? iq_para_WDR_stFastDynamic : iq_para_stFastDynamic;
    p.stNormalDynamic = wdr ? iq_para_WDR_stNormalDynamic : iq_para_stNormalDynamic;
}

// The blocks both variants share.
void load_common()
{
    SCENEAUTO_INIPARA_S &p = g_stINIPara;
    memcpy(p.au8DciStrengthLut, iq_para_au8DciStrengthLut.data(), sizeof p.au8DciStrengthLut);
    p.stMpInfo = iq_para_stMpInfo;
    p.stIniDP = iq_para_stIniDP;
    p.stIniH264Venc = iq_para_stIniH264Venc;
    p.stIniH265Venc = iq_para_stIniH265Venc;
    p.stHLC = iq_para_stHLC;
    p.stIR = iq_para_stIR;
    p.stAutoFSWDR = stAutoFSWDR;
    p.stBLC = iq_para_stBLC;
    p.stDRC = iq_para_stDRC;
    memcpy(p.au16IniCcm, iq_para_stIniCcm, sizeof p.au16IniCcm);
    p.saturation = iq_para_saturation;
}

} // namespace

s32 Sceneauto_LoadIQPara(void)
{
    // A mode that can't be read counts as linear: the image every sensor
    // mode can work with.
    u8 mode = 0;
    CommSceneautoGetWDRAttr(0, &mode);
    const bool wdr = mode != 0;
    puts(wdr ? "Sceneauto_LoadIQPara WDR start" : "Sceneauto_LoadIQPara linear start");
    memset(&g_stINIPara, 0, sizeof g_stINIPara); // the bytes between fields too
    load_variant(wdr);
    load_common();
    if (!wdr) {
        printf("Sceneauto_LoadIQPara = %x,%x\n", g_stINIPara.saturation.u8Saturation, g_stINIPara.saturation.au8Sat[0]);
        printf("Sceneauto_LoadIQPara = %x,%x\n", iq_para_saturation.u8Saturation, iq_para_saturation.au8Sat[0]);
    }
    return 0;
}
