// The special scenes (back light, infrared, highlight compensation, fast
// exposure route, DRC), what the start applies, and the special-scene
// thread that switches highlight compensation on and off by itself.
#include "sceneauto/sceneauto_engine.h"

#include "core/pref_record.h"
#include "sceneauto/sceneauto_hooks.h"

#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const SCENEAUTO_INIPARA_S &iq() { return g_stINIPara; }

void sleep_ms(u32 ms) { usleep(ms * 1000); }

// The AE base attributes: the image's speed, tolerance, delays, gain maxima
// and level 0, the metering preference's zone weights.
void ae_base_fill(SCENEAUTO_AE_ATTR_S &a)
{
    const SCENEAUTO_INIAE_S &ae = iq().stIniAE;
    const SCENEAUTO_AE_BASE_S &b = ae.astBase[0];
    const SCENEAUTO_AE_LEVEL_S &l = ae.astLevel[0];
    a.u8AERunInterval = ae.u8AERunInterval;
    a.bWDRQuick = ae.bWDRQuick;
    const s32 metering = app_pref_user ? app_pref_user->ExposureMetering : PREF_METER_CENTER_WEIGHTED;
    memcpy(a.au8Weight, sceneauto_metering_weights(metering), sizeof a.au8Weight);
    a.u8Speed = b.u8Speed;
    a.u8Tolerance = b.u8Tolerance;
    a.u16BlackDelayFrame = b.u16BlackDelayFrame;
    a.u16WhiteDelayFrame = b.u16WhiteDelayFrame;
    a.u32SysGainMax = b.u32SysGainMax;
    a.u32AGainMax = b.u32AGainMax;
    a.u32DGainMax = b.u32DGainMax;
    a.u32ISPDGainMax = b.u32ISPDGainMax;
    a.u8Compensation = l.u8Compensation;
    a.u8MaxHistOffset = l.u8MaxHistOffset;
    a.u8AEStrategyMode = l.u8StrategyMode;
    a.u16HistRatioSlope = l.u16HistRatioSlope;
}


s32 set_dci(const u32 (&words)[4])
{
    return SCENEAUTO_PATCH(sceneauto_vi_dev(), CommSceneautoGetDCIParam, CommSceneautoSetDCIParam,
                           [&](SCENEAUTO_DCI_S &d) { memcpy(d.au32Word, words, sizeof d.au32Word); });
}

s32 set_gamma(const u16 (&points)[257])
{
    return SCENEAUTO_PATCH(sceneauto_isp_dev(), CommSceneautoGetGamma, CommSceneautoSetGamma,
                           [&](SCENEAUTO_GAMMA_S &g) {
                               g.u8CurveType = 2; // a table of our own
                               memcpy(g.au16Table, points, sizeof g.au16Table);
                           });
}

// DRC enable, operation mode (1 manual) and strength.
s32 set_drc(u32 enable, u32 manual, u32 strength)
{
    return SCENEAUTO_PATCH(sceneauto_isp_dev(), CommSceneautoGetDRCAttr, CommSceneautoSetDRCAttr,
                           [=](SCENEAUTO_DRC_ATTR_S &d) {
                               d.bEnable = enable;
                               d.bManual = manual;
                               d.u32Strength = strength;
                           });
}

// The route given, or without one the application's route for its frame rate.
s32 set_route(const SCENEAUTO_AE_ROUTE_S *route)
{
    return sceneauto_failed(CommSceneautoSetAERoute(sceneauto_isp_dev(), route), "CommSceneautoSetAERoute") ? -1
                                                                                                          : 0;
}

s32 set_route_ex(const AE_ROUTE_EX_TABLE_S &route)
{
    return sceneauto_failed(DU_DUZ_ISP_SetAERouteAttrEx(sceneauto_isp_dev(), &route), "DU_DUZ_ISP_SetAERouteAttrEx")
               ? -1
               : 0;
}

} // namespace

// ---- the start's attributes -------------------------------------------------------------------

s32 sceneauto_set_start_dci(void) { return set_dci({1, 32, 32, 32}); }

void sceneauto_set_drc_by_app(void)
{
    const s32 app = sceneauto_current_app();
    const s32 *wdr = app_pref_user ? app_pref_user->MovieWDR : nullptr;
    bool on;
    if (app == SCENEAUTO_APP_RECMODE1)
        on = wdr && wdr[PREF_VIDEO_MODE1] == PREF_ON;
    else if (app == SCENEAUTO_APP_RECMODE2)
        on = wdr && wdr[PREF_VIDEO_MODE2] == PREF_ON;
    else if (app == SCENEAUTO_APP_PHOTO)
        on = false;
    else
        return; // another application keeps the DRC it has
    if (on)
        SceneAuto_SetDRC();
    else
        CommSceneautoDisableDRCAttr(sceneauto_isp_dev());
}

s32 sceneauto_set_image_saturation(void)
{
    return sceneauto_failed(CommSceneautoSetSaturation(sceneauto_isp_dev(), &iq().saturation),
                            "CommSceneautoSetSaturation")
               ? -1
               : 0;
}

s32 Sceneauto_AEInit(void)
{
    return SCENEAUTO_PATCH(sceneauto_isp_dev(), CommSceneautoGetAEAttr, CommSceneautoSetAEAttr, ae_base_fill);
}

s32 SceneAuto_SetDefaultGamma(void)
{
    SCENEAUTO_GAMMA_S g = iq().stIniGamma.astCurve[0];
    g.u8CurveType = 2;
    return sceneauto_failed(CommSceneautoSetGamma(sceneauto_isp_dev(), &g), "CommSceneautoSetGamma") ? -1 : 0;
}

// The start's linear route is the application's: each frame rate has its
// own, whose integration time fits the frame.
s32 SceneAuto_SetAERoute(void) { return set_route(nullptr); }
s32 SceneAuto_SetAERoute_NightWDR(void) { return set_route_ex(gstAERouteExAttr_NightWDR_50hz); }
s32 SceneAuto_SetAERoute_OutdoorWDR(void) { return set_route_ex(gstAERouteExAttr_OutdoorWDR_50hz); }

// ---- the special scenes -----------------------------------------------------------------------

s32 SceneAuto_SetBLC(void)
{
    const SCENEAUTO_BLC_S &b = iq().stBLC;
    return SCENEAUTO_PATCH(sceneauto_isp_dev(), CommSceneautoGetAEAttr, CommSceneautoSetAEAttr,
                           [&](SCENEAUTO_AE_ATTR_S &a) {
                               a.u8AEStrategyMode = b.u8StrategyMode;
                               a.u8MaxHistOffset = b.u8MaxHistOffset;
                               a.u16HistRatioSlope = b.u16HistRatioSlope;
                           });
}

s32 SceneAuto_SetIR(void)
{
    const SCENEAUTO_IR_S &ir = iq().stIR;
    const s32 isp = sceneauto_isp_dev(), vi = sceneauto_vi_dev();
    if (SCENEAUTO_PATCH(isp, CommSceneautoGetAEAttr, CommSceneautoSetAEAttr, [&](SCENEAUTO_AE_ATTR_S &a) {
            a.u16HistRatioSlope = ir.u16HistRatioSlope;
            a.u16BlackDelayFrame = ir.u16BlackDelayFrame;
            a.u16WhiteDelayFrame = ir.u16WhiteDelayFrame;
            a.u8Speed = ir.u8Speed;
            a.u8Tolerance = ir.u8Tolerance;
            memcpy(a.au8Weight, ir.au8Weight, sizeof a.au8Weight); // the metering preference wins in the set
        }) != 0)
        return -1;
    if (set_dci(ir.au32Dci) != 0)
        return -1;
    u16 slope = 0;
    if (sceneauto_failed(CommSceneautoGetDP(vi, &slope), "CommSceneautoGetDP") ||
        sceneauto_failed(CommSceneautoSetDP(vi, ir.u16DpSlope), "CommSceneautoSetDP"))
        return -1;
    if (SCENEAUTO_PATCH(isp, CommSceneautoGetSaturation, CommSceneautoSetSaturation, [](SCENEAUTO_SATURATION_S &s) {
            s.u8OpType = 1;
            s.u8Saturation = 0;
        }) != 0)
        return -1;
    if (SCENEAUTO_PATCH(isp, CommSceneautoGetDemosaic, CommSceneautoSetDemosaic, [&](SCENEAUTO_DEMOSAIC_S &d) {
            memcpy(d.au8LumThresh, ir.au8Demosaic, sizeof d.au8LumThresh);
        }) != 0)
        return -1;
    if (SCENEAUTO_PATCH(isp, CommSceneautoGetSharpen, CommSceneautoSetSharpen, [&](SCENEAUTO_SHARPEN_S &s) {
            memcpy(s.au8SharpenD, ir.au8SharpenD, sizeof s.au8SharpenD);
            memcpy(s.au8SharpenUd, ir.au8SharpenUd, sizeof s.au8SharpenUd);
            memcpy(s.au8SharpenRGB, ir.au8SharpenRGB, sizeof s.au8SharpenRGB);
        }) != 0)
        return -1;
    return set_gamma(ir.au16Gamma);
}

s32 SceneAuto_SetHLC(void)
{
    const SCENEAUTO_HLC_S &h = iq().stHLC;
    const s32 isp = sceneauto_isp_dev();
    if (SCENEAUTO_PATCH(isp, CommSceneautoGetAEAttr, CommSceneautoSetAEAttr, [&](SCENEAUTO_AE_ATTR_S &a) {
            a.u8Compensation = h.u8Compensation;
            a.u16BlackDelayFrame = h.u16BlackDelayFrame;
            a.u16WhiteDelayFrame = h.u16WhiteDelayFrame;
            a.u8Speed = h.u8Speed;
            a.u8Tolerance = h.u8Tolerance;
            a.u16HistRatioSlope = h.u16HistRatioSlope;
            a.u8MaxHistOffset = h.u8MaxHistOffset;
        }) != 0)
        return -1;
    if (set_dci(h.au32Dci) != 0 || set_drc(h.au32Drc[0], h.au32Drc[1], h.au32Drc[2]) != 0)
        return -1;
    if (SCENEAUTO_PATCH(isp, CommSceneautoGetSaturation, CommSceneautoSetSaturation, [&](SCENEAUTO_SATURATION_S &s) {
            s.u8OpType = 0;
            memcpy(s.au8Sat, h.au8Sat, sizeof s.au8Sat);
        }) != 0)
        return -1;
    if (set_gamma(h.au16Gamma) != 0)
        return -1;
    return SCENEAUTO_PATCH(isp, CommSceneautoGetSharpen, CommSceneautoSetSharpen, [&](SCENEAUTO_SHARPEN_S &s) {
        memcpy(s.au8SharpenUd, h.au8SharpenUd, sizeof s.au8SharpenUd);
        memcpy(s.au8SharpenRGB, h.au8SharpenRGB, sizeof s.au8SharpenRGB);
    });
}

s32 SceneAuto_SetDynamic(void) { return set_route(&iq().stFastDynamic); }

s32 SceneAuto_SetDRC(void)
{
    const u32 *w = iq().stDRC.au32Word;
    return SCENEAUTO_PATCH(sceneauto_isp_dev(), CommSceneautoGetDRCAttr, CommSceneautoSetDRCAttr,
                           [w](SCENEAUTO_DRC_ATTR_S &d) {
                               d.bEnable = w[0];
                               d.bManual = w[1];
                               d.u32Strength = w[2];
                               d.u32SlopeMax = w[3];
                               d.u32SlopeMin = w[4];
                               d.u32VarianceSpace = w[5];
                               d.u32VarianceIntensity = w[6];
                               d.u32WhiteLevel = w[7];
                               d.u32BlackLevel = w[8];
                           });
}

// ---- highlight compensation ---------------------------------------------------------------------

s32 SceneAuto_HLCAutoOn(void)
{
    constexpr u32 kSettleMs = 100, kStepMs = 5, kStrengthMax = 127;
    if (set_drc(0, 1, 0) != 0)
        return -1;
    sleep_ms(kSettleMs);
    if (set_drc(1, 1, 0) != 0 || set_drc(1, 1, 0) != 0)
        return -1;
    for (u32 strength = 1; strength <= kStrengthMax; strength++) {
        if (set_drc(1, 1, strength) != 0)
            return -1;
        sleep_ms(kStepMs);
    }
    return 0;
}

s32 SceneAuto_HLCAutoOff(void)
{
    constexpr u32 kStepMs = 5;
    const s32 isp = sceneauto_isp_dev();
    SCENEAUTO_DRC_ATTR_S d = {};
    if (sceneauto_failed(CommSceneautoGetDRCAttr(isp, &d), "CommSceneautoGetDRCAttr"))
        return -1;
    for (s64 v = d.u32Strength; v >= 0; v--) {
        d.u32Strength = (u32)v;
        if (sceneauto_failed(CommSceneautoSetDRCAttr(isp, &d), "CommSceneautoSetDRCAttr"))
            return -1;
        sleep_ms(kStepMs);
    }
    d.bEnable = d.bManual = d.u32Strength = 0;
    return sceneauto_failed(CommSceneautoSetDRCAttr(isp, &d), "CommSceneautoSetDRCAttr") ? -1 : 0;
}

SceneautoHlcAction sceneauto_hlc_poll(SceneautoHlcState &s, u32 dE, u32 E, u32 S, const SCENEAUTO_THRESHVALUE_S &t)
{
    if (dE >= t.u32ExpJump || E >= t.u32HLCExpMax) {
        // A jump or a long exposure: never on, and off only in a dark picture.
        if (s.bOn && S < t.u32HLCOffHist) {
            s = {false, 0};
            return HLC_SWITCH_OFF_JUMP;
        }
        return HLC_KEEP;
    }
    const bool towards = s.bOn ? S < t.u32HLCOffHist : S > t.u32HLCOnHist;
    s.u8Count = towards ? (u8)(s.u8Count + 1) : 0;
    if (s.u8Count <= t.u32HoldCount)
        return HLC_KEEP;
    const bool was_on = s.bOn;
    s = {!was_on, 0};
    return was_on ? HLC_SWITCH_OFF : HLC_SWITCH_ON;
}

// ---- the special-scene thread -----------------------------------------------------------------

namespace {

constexpr u32 kSpecialPeriodMs = 40;
const char kHlcOff[] = "\n\n-----------------------HLC OFF------------------------\n";
const char kHlcOn[] = "\n\n-----------------------HLC ON------------------------\n";

bool read_exposure(SCENEAUTO_EXPOSURE_INFO_S &info)
{
    return !sceneauto_failed(CommSceneautoGetExposureInfo(sceneauto_isp_dev(), &info), "CommSceneautoGetExposureInfo");
}

// One poll of the automatic highlight compensation, under the scene lock.
void hlc_cycle(SceneautoHlcState &hlc, u32 E, u32 prevE, SCENEAUTO_EXPOSURE_INFO_S &info)
{
    pthread_mutex_lock(&g_stSceneautoLock);
    if (g_eSpecialScene == SCENEAUTO_SPECIAL_SCENE_NONE) {
        const u32 dE = E > prevE ? E - prevE : prevE - E;
        read_exposure(info);
        u32 S = 0;
        for (int i = 0; i < 4; i++)
            S += info.au32Hist256Value[i];
        switch (sceneauto_hlc_poll(hlc, dE, E, S, iq().stThreshValue)) {
        case HLC_SWITCH_OFF_JUMP:
            sceneauto_failed(SceneAuto_HLCAutoOff(), "SceneAuto_HLCOff");
            puts(kHlcOff);
            break;
        case HLC_SWITCH_OFF:
            sceneauto_failed(SceneAuto_HLCAutoOff(), "SceneAuto_SetHLC");
            puts(kHlcOff);
            break;
        case HLC_SWITCH_ON:
            sceneauto_failed(SceneAuto_HLCAutoOn(), "SceneAuto_SetHLC");
            puts(kHlcOn);
            break;
        case HLC_KEEP:
            break;
        }
    }
    pthread_mutex_unlock(&g_stSceneautoLock);
}

} // namespace

void *SceneAuto_SpecialThread(void *)
{
    prctl(PR_SET_NAME, "SceneautoSpecialThread"); // the kernel keeps the first 15 characters
    SCENEAUTO_EXPOSURE_INFO_S info = {};
    read_exposure(info);
    // (The luminance the thread also followed decided nothing: every cycle
    // ends with the same pause.)
    u32 prevE = sceneauto_exposure(info);
    SceneautoHlcState hlc = {false, 0};
    while (g_bSpecialThreadFlag == 1) {
        read_exposure(info);
        const u32 E = sceneauto_exposure(info);
        if (prevE == 0) {
            // No exposure yet (the ISP still starting): wait a period, not spin.
            prevE = E;
            sleep_ms(kSpecialPeriodMs);
            continue;
        }
        if (iq().stThreshValue.u32HLCAutoEnable == 1)
            hlc_cycle(hlc, E, prevE, info);
        prevE = E;
        sleep_ms(kSpecialPeriodMs);
    }
    return nullptr;
}
