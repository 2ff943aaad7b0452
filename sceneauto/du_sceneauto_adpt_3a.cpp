// The adapter's exposure and white-balance operations: the engine's AE
// levels, the user's exposure and white-balance preferences, the fixed
// exposure routes, and the locks the application holds the picture with.
#include "sceneauto/du_sceneauto_adpt.h"

#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "sceneauto/du_sceneauto_adpt_call.h"
#include "sceneauto/sceneauto_hooks.h"

#include <cstdlib>
#include <cstring>
#include <string>

using namespace sceneauto_adpt;

u32 u32AELockExpTime, u32AELockAGain, u32AELockDGain, u32AELockISPDGain;
u32 AWBLockRGain, AWBLockGGain, AWBLockBGain;

namespace {

constexpr u32 kOpAuto = 0, kOpManual = 1;
// The ISP device of the tuning image; the locks may run before the engine
// has loaded it.
constexpr s32 kLockDev = 0;

} // namespace

s32 CommSceneautoLockAE(u32 lock)
{
    return get_patch_set<AE_EXPOSURE_SETTINGS_S>(
        kLockDev, SCENEAUTO_CALL(DU_DUZ_ISP_GetExposureAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetExposureAttr),
        [lock](AE_EXPOSURE_SETTINGS_S &a) {
            if (!lock) {
                a.enOpType = kOpAuto;
                return;
            }
            AE_EXPOSURE_STATUS_S st = {};
            DU_DUZ_ISP_QueryExposureInfo(kLockDev, &st); // fails only for another device
            u32AELockExpTime = st.u32ExpTime;
            u32AELockAGain = st.u32AGain;
            u32AELockDGain = st.u32DGain;
            u32AELockISPDGain = st.u32ISPDGain;
            a.enOpType = kOpManual;
            AE_MANUAL_SETTINGS_S &m = a.stManual;
            m.bManualExpTimeEn = m.bManualAGainEn = m.bManualDGainEn = m.bManualISPDGainEn = 1;
            m.u32ExpTime = u32AELockExpTime;
            m.u32AGain = u32AELockAGain;
            m.u32DGain = u32AELockDGain;
            m.u32ISPDGain = u32AELockISPDGain;
        });
}

s32 CommSceneautoLockAwb(u32 lock)
{
    return get_patch_set<AWB_WB_SETTINGS_S>(
        kLockDev, SCENEAUTO_CALL(DU_DUZ_ISP_GetWBAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetWBAttr),
        [lock](AWB_WB_SETTINGS_S &a) {
            if (!lock) {
                a.enOpType = kOpAuto; // the manual gains stay as they were
                return;
            }
            AWB_WB_STATUS_S st = {};
            DU_DUZ_ISP_QueryWBInfo(kLockDev, &st); // fails only for another device
            AWBLockRGain = st.u16GainR;
            AWBLockGGain = st.u16GainGr;
            AWBLockBGain = st.u16GainB;
            a.enOpType = kOpManual;
            a.stManual.u16ManualGainR = (u16)AWBLockRGain;
            a.stManual.u16ManualGainGr = a.stManual.u16ManualGainGb = (u16)AWBLockGGain;
            a.stManual.u16ManualGainB = (u16)AWBLockBGain;
        });
}

// ---- zone weights ---------------------------------------------------------------------------

namespace {

const sceneauto_weights au8Weight_CenterWeighted = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1},
    {1, 1, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 1, 1},
    {1, 1, 2, 2, 2, 3, 3, 4, 4, 4, 3, 3, 2, 2, 2, 1, 1},
    {1, 1, 2, 2, 2, 4, 4, 5, 5, 5, 4, 4, 2, 2, 2, 1, 1},
    {1, 1, 2, 2, 4, 4, 5, 8, 8, 8, 5, 4, 4, 2, 2, 1, 1},
    {1, 1, 2, 4, 4, 6, 6, 8, 8, 8, 6, 4, 4, 4, 2, 1, 1},
    {1, 1, 1, 2, 2, 4, 4, 8, 8, 8, 4, 4, 2, 2, 1, 1, 1},
    {1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 2, 2, 2, 2, 1, 1, 1},
    {1, 1, 1, 1, 1, 2, 2, 4, 4, 4, 2, 2, 1, 1, 1, 1, 1},
    {1, 1, 1, 1, 1, 1, 2, 2, 3, 2, 2, 1, 1, 1, 1, 1, 1},
    {1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1},
    {1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1},
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

const sceneauto_weights au8Weight_MultiSpot = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8},
    {8, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 8},
    {8, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 8},
    {8, 8, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 8, 8},
    {8, 8, 8, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 8, 8, 8},
    {8, 8, 8, 8, 15, 15, 15, 15, 15, 15, 15, 15, 15, 8, 8, 8, 8},
    {8, 8, 8, 8, 8, 15, 15, 15, 15, 15, 15, 15, 8, 8, 8, 8, 8},
    {8, 8, 8, 8, 8, 4, 4, 4, 4, 4, 4, 4, 8, 8, 8, 8, 8},
    {8, 8, 8, 8, 4, 4, 4, 4, 4, 4, 4, 4, 4, 8, 8, 8, 8},
    {8, 8, 8, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 8, 8, 8},
    {8, 8, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 8, 8},
    {8, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 8},
    {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

// `value` in rows [row0, row1] and columns [col0, col1], 0 elsewhere.
struct weight_block {
    sceneauto_weights w = {};
    constexpr weight_block(u8 value, int row0, int row1, int col0, int col1)
    {
        for (int r = row0; r <= row1; r++)
            for (int c = col0; c <= col1; c++)
                w[r][c] = value;
    }
};

// The "upper" table weighs the last zone rows and the "down" one the first,
// as the camera's tuning has them.
constexpr weight_block au8Weight_CenterSpot(15, 6, 8, 7, 9);
constexpr weight_block au8Weight_Upper(1, 9, 14, 0, 16);
constexpr weight_block au8Weight_Down(1, 0, 5, 0, 16);

} // namespace

const sceneauto_weights &sceneauto_metering_weights(s32 metering)
{
    switch (metering) {
    case PREF_METER_CENTER_WEIGHTED:
        return au8Weight_CenterWeighted;
    case PREF_METER_CENTER_SPOT:
        return au8Weight_CenterSpot.w;
    case PREF_METER_UPPER:
        return au8Weight_Upper.w;
    case PREF_METER_DOWN:
        return au8Weight_Down.w;
    default:
        return au8Weight_MultiSpot;
    }
}

// ---- exposure -------------------------------------------------------------------------------

namespace {

// The engine's compensation moved by the user's ExposureValue: down to 0 at
// -128, up to three times at +128 (at most 255).
u8 compensation(u8 c, s32 ev)
{
    if (ev >= PREF_ADJUST_MIN && ev < PREF_ADJUST_NONE)
        return (u8)(c + c * ev / 128);
    if (ev > PREF_ADJUST_NONE && ev <= PREF_ADJUST_MAX) {
        s32 v = c + c * ev / 64;
        return (u8)(v > 255 ? 255 : v);
    }
    return c;
}

// The engine's compensation that `ev` turns into the platform's `c` (the
// nearest when none does exactly): a get, patch and set of other fields
// then leaves the compensation where it was instead of moving it by the
// preference once more.
u8 engine_compensation(u8 c, s32 ev)
{
    u8 best = c;
    int best_diff = 256;
    for (int e = 0; e <= 255 && best_diff != 0; e++) {
        const int diff = std::abs(compensation((u8)e, ev) - c);
        if (diff < best_diff) {
            best = (u8)e;
            best_diff = diff;
        }
    }
    return best;
}

using AeAttr = SCENEAUTO_AE_ATTR_S;
using AeSettings = AE_EXPOSURE_SETTINGS_S;

// The engine's AE levels in the exposure record. The compensation goes
// through the user's ExposureValue (above) instead; the strategy and the
// weights come from the preferences on the way back.
constexpr adpt_field kAeRows[] = {
    adpt_pair(VREG_MEMBER(AeAttr, u8Speed), VREG_MEMBER(AeSettings, stAuto.u8Speed)),
    adpt_pair(VREG_MEMBER(AeAttr, u8Tolerance), VREG_MEMBER(AeSettings, stAuto.u8Tolerance)),
    adpt_pair(VREG_MEMBER(AeAttr, u16BlackDelayFrame), VREG_MEMBER(AeSettings, stAuto.u16BlackDelayFrame)),
    adpt_pair(VREG_MEMBER(AeAttr, u16WhiteDelayFrame), VREG_MEMBER(AeSettings, stAuto.u16WhiteDelayFrame)),
    adpt_pair(VREG_MEMBER(AeAttr, u8AEStrategyMode), VREG_MEMBER(AeSettings, stAuto.enStrategyMode)).get_only(),
    adpt_pair(VREG_MEMBER(AeAttr, u8MaxHistOffset), VREG_MEMBER(AeSettings, stAuto.u8MaxHistOffset)),
    adpt_pair(VREG_MEMBER(AeAttr, u16HistRatioSlope), VREG_MEMBER(AeSettings, stAuto.u16HistRatioSlope)),
    adpt_pair(VREG_MEMBER(AeAttr, u32SysGainMax), VREG_MEMBER(AeSettings, stAuto.u32SysGainMax)),
    adpt_pair(VREG_MEMBER(AeAttr, u32AGainMax), VREG_MEMBER(AeSettings, stAuto.u32AGainMax)),
    adpt_pair(VREG_MEMBER(AeAttr, u32DGainMax), VREG_MEMBER(AeSettings, stAuto.u32DGainMax)),
    adpt_pair(VREG_MEMBER(AeAttr, u32ISPDGainMax), VREG_MEMBER(AeSettings, stAuto.u32ISPDGainMax)),
    adpt_pair(VREG_MEMBER(AeAttr, u8AERunInterval), VREG_MEMBER(AeSettings, u8AERunInterval)),
    adpt_pair(VREG_MEMBER(AeAttr, u8FSWDRMode), VREG_MEMBER(AeSettings, stAuto.enFSWDRMode)).one_or_zero(),
    adpt_pair(VREG_MEMBER(AeAttr, bWDRQuick), VREG_MEMBER(AeSettings, stAuto.bWDRQuick)),
    adpt_pair(VREG_MEMBER(AeAttr, au8Weight), VREG_MEMBER(AeSettings, stAuto.au8Weight)).get_only(),
};
constexpr adpt_map<AeAttr, AeSettings> kAeMap = adpt_map_of<AeAttr, AeSettings>(kAeRows);

using ExpInfo = SCENEAUTO_EXPOSURE_INFO_S;
using ExpStatus = AE_EXPOSURE_STATUS_S;
constexpr adpt_field kExposureInfoRows[] = {
    adpt_pair(VREG_MEMBER(ExpInfo, u32Exposure), VREG_MEMBER(ExpStatus, u32Exposure)),
    adpt_pair(VREG_MEMBER(ExpInfo, u32AGain), VREG_MEMBER(ExpStatus, u32AGain)),
    adpt_pair(VREG_MEMBER(ExpInfo, u32DGain), VREG_MEMBER(ExpStatus, u32DGain)),
    adpt_pair(VREG_MEMBER(ExpInfo, u32ISPDGain), VREG_MEMBER(ExpStatus, u32ISPDGain)),
    adpt_pair(VREG_MEMBER(ExpInfo, u32ExpTime), VREG_MEMBER(ExpStatus, u32ExpTime)),
    adpt_pair(VREG_MEMBER(ExpInfo, u8AveLum), VREG_MEMBER(ExpStatus, u8AveLum)),
    adpt_pair(VREG_MEMBER(ExpInfo, u32ISO), VREG_MEMBER(ExpStatus, u32ISO)),
    adpt_pair(VREG_MEMBER(ExpInfo, u32ExpRatio), VREG_MEMBER(ExpStatus, u32ExpRatio)),
    adpt_pair(VREG_MEMBER(ExpInfo, au32Hist256Value), VREG_MEMBER(ExpStatus, au32Hist256Value)),
};
constexpr adpt_map<ExpInfo, ExpStatus> kExposureInfoMap = adpt_map_of<ExpInfo, ExpStatus>(kExposureInfoRows);

} // namespace

s32 CommSceneautoGetAEAttr(s32 dev, SCENEAUTO_AE_ATTR_S *pstAe)
{
    return get_record<AE_EXPOSURE_SETTINGS_S>(
        dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetExposureAttr), [pstAe](const AE_EXPOSURE_SETTINGS_S &a) {
            adpt_get(kAeMap, a, *pstAe);
            pstAe->u8Compensation = engine_compensation(a.stAuto.u8Compensation, prefs().ExposureValue);
        });
}

s32 CommSceneautoSetAEAttr(s32 dev, const SCENEAUTO_AE_ATTR_S *pstAe)
{
    return get_patch_set<AE_EXPOSURE_SETTINGS_S>(
        dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetExposureAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetExposureAttr),
        [pstAe](AE_EXPOSURE_SETTINGS_S &a) {
            const DvSystemParam &p = prefs();
            AE_AUTO_SETTINGS_S &au = a.stAuto;
            adpt_set(kAeMap, *pstAe, a);
            au.u8Compensation = compensation(pstAe->u8Compensation, p.ExposureValue);
            au.enStrategyMode = p.ExposureStrategyMode == PREF_EXPOSURE_LOWLIGHT ? 1 : 0;
            memcpy(au.au8Weight, sceneauto_metering_weights(p.ExposureMetering), sizeof au.au8Weight);
            au.stAntiflicker.bEnable = 1;
            au.stAntiflicker.u8Frequency = p.Lightfrequency != PREF_LIGHT_50HZ ? 60 : 50;
            au.stAntiflicker.enMode = 1;
        });
}

s32 CommSceneautoGetExposureInfo(s32 dev, SCENEAUTO_EXPOSURE_INFO_S *pstInfo)
{
    return get_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_QueryExposureInfo), kExposureInfoMap, pstInfo);
}

s32 CommSceneautoGetWdrExposureAttr(s32 dev, u16 *pu16RatioBias)
{
    return get_record<AE_WDR_RATIO_SETTINGS_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetWDRExposureAttr),
                                               [pu16RatioBias](const AE_WDR_RATIO_SETTINGS_S &w) {
                                                   *pu16RatioBias = w.u16RatioBias;
                                               });
}

s32 CommSceneautoSetWdrExposureAttr(s32 dev, u16 u16RatioBias)
{
    return get_patch_set<AE_WDR_RATIO_SETTINGS_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetWDRExposureAttr),
                                                  SCENEAUTO_CALL(DU_DUZ_ISP_SetWDRExposureAttr),
                                                  [u16RatioBias](AE_WDR_RATIO_SETTINGS_S &w) {
                                                      w.u16RatioBias = u16RatioBias;
                                                  });
}

// ---- exposure routes ----------------------------------------------------------------------

namespace {

constexpr u32 kRouteNodes = 6;
constexpr u32 kRouteIris = 8; // the iris F-number enumerant of every node

// Each route holds the integration time (us) at its mode's frame (A 1/60 s,
// B 1/50 s for 50 and 100 frames, C 1/30 s, D 1/25 s) until the gain (1024
// = 1x) is spent, then lets it grow to 40 ms.
const SCENEAUTO_AE_ROUTE_S kRouteA = {
    kRouteNodes, {{2, 1024}, {16667, 1024}, {16667, 3072}, {16667, 8192}, {16667, 32382}, {40000, 32382}}};
const SCENEAUTO_AE_ROUTE_S kRouteB = {
    kRouteNodes, {{2, 1024}, {20000, 1024}, {20000, 3072}, {20000, 8192}, {20000, 32382}, {40000, 32382}}};
const SCENEAUTO_AE_ROUTE_S kRouteC = {
    kRouteNodes, {{2, 1024}, {33333, 1024}, {33333, 3072}, {33333, 8192}, {33333, 32382}, {40000, 32382}}};
const SCENEAUTO_AE_ROUTE_S kRouteD = {
    kRouteNodes, {{2, 1024}, {40000, 1024}, {40000, 3072}, {40000, 8192}, {40000, 16384}, {40000, 32382}}};

const AE_ROUTE_EX_NODE_S kRouteEx[kRouteNodes] = {
    {2, 1024, 1024, 1024, kRouteIris},     {16667, 1024, 1024, 1024, kRouteIris},
    {16667, 3072, 1024, 1024, kRouteIris}, {16667, 8192, 1024, 1024, kRouteIris},
    {16667, 32382, 1024, 1024, kRouteIris}, {40000, 32382, 1024, 1024, kRouteIris},
};

// The route of the current application: a video mode's by its frame-rate
// code (2 30 fps, 3 100, 4 50, 5 25), route A for the others.
const SCENEAUTO_AE_ROUTE_S &current_route()
{
    const DvSystemParam &p = prefs();
    s32 rate;
    switch (sceneauto_current_app()) {
    case SCENEAUTO_APP_RECMODE1:
        rate = p.MovieFrameRate[PREF_VIDEO_MODE1];
        break;
    case SCENEAUTO_APP_RECMODE2:
        rate = p.MovieFrameRate[PREF_VIDEO_MODE2];
        break;
    default:
        return kRouteA;
    }
    switch (rate) {
    case PREF_FPS_30:
        return kRouteC;
    case PREF_FPS_100:
    case PREF_FPS_50:
        return kRouteB;
    case PREF_FPS_25:
        return kRouteD;
    default:
        return kRouteA;
    }
}

const char kStars[] = "***************************************************"; // 51

using Route = SCENEAUTO_AE_ROUTE_S;
using RouteTable = AE_ROUTE_TABLE_S;
using RouteNode = SCENEAUTO_AE_ROUTE_NODE_S;
using RouteTableNode = AE_ROUTE_NODE_S;

// The engine's nodes, as many as both records hold at most: a longer route
// is cut there and its count says so, so no reader walks past the end.
// Every node the set writes is at the application's iris.
constexpr adpt_field kRouteNodeRows[] = {
    adpt_pair(VREG_MEMBER(RouteNode, u32IntTime), VREG_MEMBER(RouteTableNode, u32IntTime)),
    adpt_pair(VREG_MEMBER(RouteNode, u32SysGain), VREG_MEMBER(RouteTableNode, u32SysGain)),
    adpt_fixed(VREG_MEMBER(RouteTableNode, enIrisFNO), kRouteIris),
};
constexpr adpt_field kRouteRows[] = {
    adpt_group(ADPT_ARRAY(Route, astRouteNode), ADPT_ARRAY(RouteTable, astRouteNode), kRouteNodeRows)
        .counted_by(VREG_MEMBER(Route, u32TotalNum), VREG_MEMBER(RouteTable, u32TotalNum)),
};
constexpr adpt_map<Route, RouteTable> kRouteMap = adpt_map_of<Route, RouteTable>(kRouteRows);

} // namespace

s32 CommSceneautoGetAERoute(s32 dev, SCENEAUTO_AE_ROUTE_S *pstRoute)
{
    return get_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetAERouteAttr), kRouteMap, pstRoute);
}

s32 CommSceneautoSetAERoute(s32 dev, const SCENEAUTO_AE_ROUTE_S *pstRoute)
{
    s32 ret = set_mapped(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetAERouteAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetAERouteAttr),
                         kRouteMap, pstRoute ? pstRoute : &current_route());
    if (ret != 0)
        return ret;

    // The route-ex goes with the application's route; an engine's route
    // leaves it as it is.
    AE_ROUTE_EX_TABLE_S ex = {};
    if (!pstRoute) {
        ex.u32TotalNum = kRouteNodes;
        memcpy(ex.astRouteExNode, kRouteEx, sizeof kRouteEx);
        if (DU_DUZ_ISP_SetAERouteAttrEx(dev, &ex) != 0)
            return call_failed("DU_DUZ_ISP_SetAERouteAttrEx");
    }

    AE_ROUTE_TABLE_S route = {};
    if (DU_DUZ_ISP_GetAERouteAttr(dev, &route) != 0)
        return call_failed("DU_DUZ_ISP_GetAERouteAttr");
    if (DU_DUZ_ISP_GetAERouteAttrEx(dev, &ex) != 0)
        return call_failed("DU_DUZ_ISP_GetAERouteAttrEx");
    puts(kStars);
    printf("stAERoute.u32TotalNum = %d\n", route.u32TotalNum);
    for (u32 i = 0; i < route.u32TotalNum && i < ISP_AE_ROUTE_MAX_NODES; i++) {
        const AE_ROUTE_NODE_S &n = route.astRouteNode[i];
        printf("stAERoute.u32IntTime--u32SysGain = %d---%d--%d\n", n.u32IntTime, n.u32SysGain, n.enIrisFNO);
    }
    puts(kStars);
    printf("stAERouteEx.u32TotalNum = %d\n", ex.u32TotalNum);
    for (u32 i = 0; i < ex.u32TotalNum && i < ISP_AE_ROUTE_MAX_NODES; i++) {
        const AE_ROUTE_EX_NODE_S &n = ex.astRouteExNode[i];
        printf("stAERouteEx.u32IntTime--u32SysGain = %d---%d--%d--%d-%d\n", n.u32IntTime, n.u32Again, n.u32Dgain,
               n.u32IspDgain, n.enIrisFNO);
    }
    return 0;
}

// ---- white balance --------------------------------------------------------------------------

namespace {

// Manual gains R, Gr, Gb, B (256 = 1x) of the white-balance presets 1-6.
const AWB_MANUAL_GAIN_S kWbPresets[6] = {
    {484, 256, 256, 416}, {484, 256, 256, 341}, {332, 256, 256, 627},
    {370, 256, 256, 577}, {476, 256, 256, 406}, {495, 256, 256, 368},
};

// The automatic balance as the camera is tuned for its sensor.
void auto_wb_tuning(AWB_WB_SETTINGS_S &a)
{
    a.enOpType = kOpAuto;
    AWB_AUTO_ATTR_S &au = a.stAuto;
    au.u16RefCT = 5150;
    au.au16StaticGain[0] = 476;
    au.au16StaticGain[1] = 256;
    au.au16StaticGain[2] = 256;
    au.au16StaticGain[3] = 416;
    au.u16Speed = 64;
    au.u16Zone = 128;
    au.u16CTRangeHigh = 15000;
    au.stCTLimit.bEnable = 1;
    au.stCTLimit.enOpType = kOpManual;
    au.stCTLimit.u16HighRgLimit = 344;
    au.stCTLimit.u16HighBgLimit = 128;
    au.stCTLimit.u16LowRgLimit = 128;
    au.stCTLimit.u16LowBgLimit = 464;
}

void auto_wb_tuning_ex(AWB_WB_SETTINGS_EX_S &x)
{
    x.u8AreaThreshold = 0;
    x.u8BinTolerance = 24;
    x.u16CurveLLimit = 224;
    x.u16CurveRLimit = 288;
    x.bExtraLightEn = 1;
    const AWB_EXTRA_LIGHTSOURCE_S lights[4] = {
        {695, 274, 256, 2, 32}, {656, 264, 256, 2, 32}, {828, 220, 256, 2, 64}, {905, 655, 256, 2, 16}};
    memcpy(x.astLightSource, lights, sizeof lights);
    x.stInOrOut.u16LowStart = 5000;
    x.stInOrOut.u16LowStop = 4500;
    x.stInOrOut.u16HighStart = 6500;
    x.stInOrOut.u16HighStop = 8000;
    x.bMultiLightSourceType = 1;
    x.u16MultiLSScaler = 240;
    x.bFineTunEn = 1;
}

} // namespace

s32 CommSceneautoInitAwbAttr(s32 dev)
{
    const DvSystemParam &p = prefs();
    const s32 wb = p.WhiteBalance;
    s32 ret = get_patch_set<AWB_WB_SETTINGS_S>(
        dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetWBAttr), SCENEAUTO_CALL(DU_DUZ_ISP_SetWBAttr),
        [wb, &p](AWB_WB_SETTINGS_S &a) {
            if (wb >= PREF_WB_SUNNY && wb <= PREF_WB_DIVING) {
                a.enOpType = kOpManual;
                a.stManual = kWbPresets[wb - PREF_WB_SUNNY];
            } else if (wb >= PREF_WB_CUSTOM1 && wb <= PREF_WB_CUSTOM3) {
                const int32_t(&rgb)[3] = p.CustomizedWhiteBalance[wb - PREF_WB_CUSTOM1];
                a.enOpType = kOpManual;
                a.stManual = {(u16)rgb[0], (u16)rgb[1], (u16)rgb[1], (u16)rgb[2]};
            } else {
                auto_wb_tuning(a);
            }
        });
    // A preset or customised balance leaves the automatic balance's extras.
    if (ret != 0 || (wb >= PREF_WB_SUNNY && wb <= PREF_WB_CUSTOM3))
        return ret;
    return get_patch_set<AWB_WB_SETTINGS_EX_S>(dev, SCENEAUTO_CALL(DU_DUZ_ISP_GetAWBAttrEx),
                                               SCENEAUTO_CALL(DU_DUZ_ISP_SetAWBAttrEx), auto_wb_tuning_ex);
}

// ---- weight lists ----------------------------------------------------------------------------

u32 MAEWeight[SCENEAUTO_MAE_WEIGHT_NUM];

s32 Weight(const char *pcText)
{
    if (!pcText)
        return -1;
    s32 n = 0;
    const char *p = pcText;
    while (*p) {
        const size_t len = strcspn(p, "|,");
        if (len > 0) {
            // Pieces beyond the table are dropped: it holds 128 weights.
            if (n == SCENEAUTO_MAE_WEIGHT_NUM)
                break;
            const std::string piece(p, len);
            if (piece.find('x') != std::string::npos)
                MAEWeight[n++] = (u32)strtoul(len > 2 ? piece.c_str() + 2 : "", nullptr, 16);
            else
                MAEWeight[n++] = (u32)strtol(piece.c_str(), nullptr, 10);
        }
        p += len;
        if (*p)
            p++;
    }
    return n;
}
