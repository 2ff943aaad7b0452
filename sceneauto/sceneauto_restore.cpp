// What the special scenes change, kept as it was before the first of them
// and put back when the normal scene returns. Each scene writes a few
// records, through its setter or through the normal thread's cycles in it;
// the first special scene to write a record keeps its value, and the normal
// scene writes every kept value back. (3D noise reduction, the AE level,
// defect pixels, sharpening and demosaic follow the normal scene again in
// the normal thread's next cycle, which sees the scene change.)
//
// Called under the scene lock only.
#include "sceneauto/sceneauto_engine.h"

#include "isp/3a/ae/mpi_isp_ae.h"

namespace {

enum Kept : u32 { kAe, kDci, kDp, kSaturation, kDemosaic, kSharpen, kGamma, kDrc, kRoute, kRatioBias, kKeptCount };

constexpr u32 bit(Kept k) { return 1u << k; }

// The records each scene writes.
constexpr u32 kWrites[SCENEAUTO_SPECIAL_SCENE_BUTT] = {
    /* normal     */ 0,
    /* back light */ bit(kAe),
    /* infrared   */ bit(kAe) | bit(kDci) | bit(kDp) | bit(kSaturation) | bit(kDemosaic) | bit(kSharpen) | bit(kGamma),
    /* highlight  */ bit(kAe) | bit(kDci) | bit(kDrc) | bit(kSaturation) | bit(kGamma) | bit(kSharpen),
    /* dynamic    */ bit(kRoute),
    /* DRC        */ bit(kDrc),
    // The normal thread's FSWDR switch, its AE levels and the exposure-ratio bias.
    /* auto FSWDR */ bit(kAe) | bit(kRatioBias),
    /* FSWDR on   */ bit(kAe) | bit(kRatioBias),
    /* FSWDR off  */ bit(kAe) | bit(kRatioBias),
};

struct KeptRecords {
    SCENEAUTO_AE_ATTR_S ae;
    SCENEAUTO_DCI_S dci;
    u16 dp;
    SCENEAUTO_SATURATION_S saturation;
    SCENEAUTO_DEMOSAIC_S demosaic;
    SCENEAUTO_SHARPEN_S sharpen;
    SCENEAUTO_GAMMA_S gamma;
    SCENEAUTO_DRC_ATTR_S drc;
    AE_ROUTE_TABLE_S route; // whole: nodes beyond the engine's record and their iris too
    u16 ratio_bias;
    u32 kept; // a bit per Kept
};
KeptRecords g_kept;

s32 isp() { return sceneauto_isp_dev(); }
s32 vi() { return sceneauto_vi_dev(); }

s32 result(s32 ret, const char *callee) { return sceneauto_failed(ret, callee) ? -1 : 0; }
#define KEEP_CALL(fn, ...) result(fn(__VA_ARGS__), #fn)

// The curve the picture had, as a table of ours: the default type would
// load the ISP's built-in curve, not the sensor's that the mode began with.
s32 put_back_gamma(const SCENEAUTO_GAMMA_S &kept)
{
    SCENEAUTO_GAMMA_S g = kept;
    g.u8CurveType = 2;
    return KEEP_CALL(CommSceneautoSetGamma, isp(), &g);
}

// How one record is read before a scene and written back after, on the
// devices the scenes use.
struct KeptOps {
    s32 (*read)(KeptRecords &);
    s32 (*write)(const KeptRecords &);
};

// clang-format off
const KeptOps kOps[kKeptCount] = {
    /* kAe */ {[](KeptRecords &k) { return KEEP_CALL(CommSceneautoGetAEAttr, isp(), &k.ae); },
               [](const KeptRecords &k) { return KEEP_CALL(CommSceneautoSetAEAttr, isp(), &k.ae); }},
    /* kDci */ {[](KeptRecords &k) { return KEEP_CALL(CommSceneautoGetDCIParam, vi(), &k.dci); },
                [](const KeptRecords &k) { return KEEP_CALL(CommSceneautoSetDCIParam, vi(), &k.dci); }},
    /* kDp */ {[](KeptRecords &k) { return KEEP_CALL(CommSceneautoGetDP, vi(), &k.dp); },
               [](const KeptRecords &k) { return KEEP_CALL(CommSceneautoSetDP, vi(), k.dp); }},
    /* kSaturation */ {[](KeptRecords &k) { return KEEP_CALL(CommSceneautoGetSaturation, isp(), &k.saturation); },
                       [](const KeptRecords &k) { return KEEP_CALL(CommSceneautoSetSaturation, isp(), &k.saturation); }},
    /* kDemosaic */ {[](KeptRecords &k) { return KEEP_CALL(CommSceneautoGetDemosaic, isp(), &k.demosaic); },
                     [](const KeptRecords &k) { return KEEP_CALL(CommSceneautoSetDemosaic, isp(), &k.demosaic); }},
    /* kSharpen */ {[](KeptRecords &k) { return KEEP_CALL(CommSceneautoGetSharpen, isp(), &k.sharpen); },
                    [](const KeptRecords &k) { return KEEP_CALL(CommSceneautoSetSharpen, isp(), &k.sharpen); }},
    /* kGamma */ {[](KeptRecords &k) { return KEEP_CALL(CommSceneautoGetGamma, isp(), &k.gamma); },
                  [](const KeptRecords &k) { return put_back_gamma(k.gamma); }},
    /* kDrc */ {[](KeptRecords &k) { return KEEP_CALL(CommSceneautoGetDRCAttr, isp(), &k.drc); },
                [](const KeptRecords &k) { return KEEP_CALL(CommSceneautoSetDRCAttr, isp(), &k.drc); }},
    /* kRoute */ {[](KeptRecords &k) { return KEEP_CALL(DU_DUZ_ISP_GetAERouteAttr, isp(), &k.route); },
                  [](const KeptRecords &k) { return KEEP_CALL(DU_DUZ_ISP_SetAERouteAttr, isp(), &k.route); }},
    /* kRatioBias */ {[](KeptRecords &k) { return KEEP_CALL(CommSceneautoGetWdrExposureAttr, isp(), &k.ratio_bias); },
                      [](const KeptRecords &k) { return KEEP_CALL(CommSceneautoSetWdrExposureAttr, isp(), k.ratio_bias); }},
};
// clang-format on

} // namespace

s32 sceneauto_keep_for_scene(u32 scene)
{
    if (scene >= SCENEAUTO_SPECIAL_SCENE_BUTT)
        return 0;
    for (u32 k = 0; k < kKeptCount; k++) {
        const u32 b = 1u << k;
        if (!(kWrites[scene] & b) || (g_kept.kept & b))
            continue;
        if (kOps[k].read(g_kept) != 0)
            return -1;
        g_kept.kept |= b;
    }
    return 0;
}

s32 sceneauto_restore_normal(void)
{
    s32 ret = 0;
    for (u32 k = 0; k < kKeptCount; k++) {
        const u32 b = 1u << k;
        if (!(g_kept.kept & b))
            continue;
        // One that can't be written stays kept for the next return; the
        // others are back.
        if (kOps[k].write(g_kept) != 0)
            ret = -1;
        else
            g_kept.kept &= ~b;
    }
    return ret;
}

void sceneauto_forget_kept(void) { g_kept.kept = 0; }
