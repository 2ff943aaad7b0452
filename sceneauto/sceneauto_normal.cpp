// The normal tuning thread: about once a second it measures the exposure
// and, when the exposure, the scene or the encoder's bit rate changed,
// retunes 3D noise reduction, the AE level, defect pixels, the noise
// profile, the encoder's rate control, sharpening, demosaic and the H.265
// face configuration from the tuning image.
#include "sceneauto/sceneauto_engine.h"

#include "isp/isp_hw_regs.h"
#include "isp/mpi_isp_iq.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const SCENEAUTO_INIPARA_S &iq() { return g_stINIPara; }

// Level indexes start here: no level applied yet, so the first cycle
// applies every one.
constexpr u32 kNoLevel = 33;
constexpr u32 kCycleSleeps = 5, kSleepMs = 200;
enum : u32 { kCodecH264 = 0, kCodecH265 = 1, kCodecNone = 2 };

bool scene_skips(std::initializer_list<u32> scenes)
{
    const u32 s = g_eSpecialScene;
    return std::find(scenes.begin(), scenes.end(), s) != scenes.end();
}

// The first index whose threshold is at or above v, the last when none is.
u32 level_of(u32 v, const u32 *thresh, u32 count, u32 capacity)
{
    count = std::min(std::max(count, 1u), capacity);
    for (u32 i = 0; i < count; i++)
        if (thresh[i] >= v)
            return i;
    return count - 1;
}
template <size_t N> u32 level_of(u32 v, const u32 (&thresh)[N], u32 count) { return level_of(v, thresh, count, N); }

// The AE level moves up only when the exposure rose and down only when it
// fell, each over its own thresholds, so it holds between them.
template <size_t N> u32 level_with_hysteresis(u32 L, u32 E, u32 prevE, const u32 (&up)[N], const u32 (&down)[N], u32 count)
{
    count = std::min(std::max(count, 1u), (u32)N);
    L = std::min(L, count - 1);
    if (E > prevE) {
        while (L < count && up[L] < E)
            L++;
        if (L >= count)
            L = count - 1;
    } else if (E < prevE) {
        for (s32 j = (s32)L; j >= 0 && E < down[j]; j--)
            L = (u32)j;
    }
    return L;
}

// ---- the cycle's steps --------------------------------------------------------------------------

// Step 3: the ISO-like index of the exposure (and the exposure itself, which
// a DRC in action raises).
void measure(SceneautoNormalState &s, u32 &E, bool wdr, const SCENEAUTO_DRC_ATTR_S &drc)
{
    const SCENEAUTO_EXPOSURE_INFO_S &i = s.stInfo;
    const u32 floor = std::max(iq().stThreshValue.u32DRCFloor, 1u);
    auto drc_strength = [&] {
        SCENEAUTO_INNER_STATE_S st = {};
        CommSceneautoGetQueryInnerStateInfo(sceneauto_isp_dev(), &st);
        return std::max(st.u32DRCStrength, floor);
    };
    if (wdr) {
        const u64 g = ((u64)i.u32AGain * i.u32DGain * i.u32ISPDGain * 100) >> 30;
        E = (u32)(g * drc_strength() / floor);
        s.u32Iso = E;
        return;
    }
    if (drc.bEnable == 1)
        E = (u32)((u64)drc_strength() * E / floor);
    if (i.u32ExpTime != 0)
        s.u32Iso = E / i.u32ExpTime * 100;
}

// Step 5: the 3DNR point of the ISO within the scene's table.
void retune_3dnr(SceneautoNormalState &s, const SCENEAUTO_AE_ATTR_S &ae)
{
    const u32 scene = g_eSpecialScene;
    u32 count;
    const u32 *iso;
    const SCENEAUTO_3DNR_PARAM_S *set;
    u32 capacity;
    if (scene == SCENEAUTO_SPECIAL_SCENE_HLC) {
        count = iq().stHLC.u32NrCount, iso = iq().stHLC.au32NrIso, set = iq().stHLC.astNr, capacity = 6;
    } else if (scene == SCENEAUTO_SPECIAL_SCENE_IR) {
        count = iq().stIR.u32NrCount, iso = iq().stIR.au32NrIso, set = iq().stIR.astNr, capacity = 6;
    } else if ((scene == SCENEAUTO_SPECIAL_SCENE_AUTO_FSWDR && ae.u8FSWDRMode == 1) ||
               scene == SCENEAUTO_SPECIAL_SCENE_FSWDR_ON) {
        const SCENEAUTO_AUTOFSWDR_S &f = iq().stAutoFSWDR;
        count = f.u32NrCount, iso = f.au32NrIso, set = f.astNr, capacity = SCENEAUTO_3DNR_POINTS;
    } else {
        const SCENEAUTO_INI3DNR_S &n = iq().stIni3dnr;
        count = n.u32Count, iso = n.au32Iso, set = n.astSet, capacity = SCENEAUTO_3DNR_POINTS;
    }
    count = std::min(std::max(count, 2u), capacity);
    u32 k = level_of(s.u32Iso, iso, count, capacity);
    if (k == 0)
        k = 1;
    Interpolate(&s.st3dnr, s.u32Iso, &set[k - 1], iso[k - 1], &set[k], iso[k]);
    sceneauto_failed(Sceneauto_Set3DNR((s32)iq().stMpInfo.u32VpssGrp, &s.st3dnr), "Sceneauto_SetNormal3DNR");
}

// Step 6 in the FSWDR scenes: the switch itself, the exposure-ratio bias and
// the FSWDR AE level.
void retune_fswdr(SceneautoNormalState &s, u32 E, SCENEAUTO_AE_ATTR_S &ae, const SCENEAUTO_DRC_ATTR_S *drc)
{
    static u16 s_bias_count; // consecutive cycles with the switch off, up to 2
    const SCENEAUTO_AUTOFSWDR_S &f = iq().stAutoFSWDR;
    const s32 isp = sceneauto_isp_dev();
    const u32 scene = g_eSpecialScene;
    if (scene == SCENEAUTO_SPECIAL_SCENE_FSWDR_ON) {
        s.u32FswdrFlag = 1;
    } else if (scene == SCENEAUTO_SPECIAL_SCENE_FSWDR_OFF) {
        s.u32FswdrFlag = 0;
    } else {
        const u32 a = s.stInfo.u32ISO;
        s.u32FswdrUp = a > f.u32OnThresh && a > f.u32OnThresh2 ? s.u32FswdrUp + 1 : 0;
        s.u32FswdrDown = a < f.u32OffThresh ? s.u32FswdrDown + 1 : 0;
        if (s.u32FswdrUp >= 6)
            s.u32FswdrFlag = 1;
        else if (s.u32FswdrDown >= 6)
            s.u32FswdrFlag = 0;
    }
    ae.u8FSWDRMode = (u8)s.u32FswdrFlag;
    sceneauto_failed(CommSceneautoSetAEAttr(isp, &ae), "CommSceneautoSetAEAttr");
    if (drc)
        sceneauto_failed(CommSceneautoSetDRCAttr(isp, drc), "CommSceneautoSetDRCAttr");
    u16 bias = 1024;
    if (s.u32FswdrFlag == 1)
        s_bias_count = 0;
    else if (s_bias_count >= 2)
        bias = iq().u16RatioBias;
    else
        s_bias_count++;
    sceneauto_failed(CommSceneautoSetWdrExposureAttr(isp, bias), "CommSceneautoSetWdrExposureAttr");
    s.u32FswdrLevel = level_with_hysteresis(s.u32FswdrLevel, E, s.u32PrevExp, f.au32Up, f.au32Down, f.u32LevelCount);
    sceneauto_failed(Scenauto_SetAutoFSWDRAERealtedExp(isp, s.u32FswdrLevel), "Scenauto_SetAutoFSWDRAERealtedExp");
}

// Step 6: the AE level of the scene.
void retune_ae(SceneautoNormalState &s, u32 E, SCENEAUTO_AE_ATTR_S &ae, const SCENEAUTO_DRC_ATTR_S *drc)
{
    const u32 scene = g_eSpecialScene;
    const s32 isp = sceneauto_isp_dev();
    if (scene == SCENEAUTO_SPECIAL_SCENE_IR) {
        const SCENEAUTO_IR_S &ir = iq().stIR;
        s.u32IrLevel = level_with_hysteresis(s.u32IrLevel, E, s.u32PrevExp, ir.au32Up, ir.au32Down, ir.u32LevelCount);
        Scenauto_SetIRAERealtedExp(isp, s.u32IrLevel);
    } else if (scene >= SCENEAUTO_SPECIAL_SCENE_AUTO_FSWDR) {
        retune_fswdr(s, E, ae, drc);
    } else {
        const SCENEAUTO_INIAE_S &a = iq().stIniAE;
        s.u32AeLevel = level_with_hysteresis(s.u32AeLevel, E, s.u32PrevExp, a.au32Up, a.au32Down, a.u32LevelCount);
        sceneauto_failed(Scenauto_SetAERealtedExp(isp, s.u32AeLevel), "Scenauto_SetAERealtedExp");
    }
}

// Step 8: both noise-profile images of the profile for E, 32 words each.
void write_noise_profile(u32 E)
{
    const SCENEAUTO_NRPROFILE_S &p = iq().stIniNRProfile;
    const u8(&images)[2][128] = E >= p.u32LowBound && E <= p.u32HighBound ? p.au8ProfileB : p.au8ProfileA;
    const s32 isp = sceneauto_isp_dev();
    for (u32 at = 0; at < sizeof images[0]; at += 4) {
        u32 first, second;
        memcpy(&first, images[0] + at, 4);
        memcpy(&second, images[1] + at, 4);
        sceneauto_failed(CommSceneautoSetRegister(isp, ISP_NR_PROFILE_REG(at), first), "CommSceneautoSetRegister");
        sceneauto_failed(CommSceneautoSetRegister(isp, ISP_NR_PROFILE2_REG(at), second), "CommSceneautoSetRegister");
    }
}

// The movie channel's codec and bit rate. Without a movie channel (the
// photo modes) there is nothing to read: the record keeps no codec and no
// bit rate.
void read_venc(SceneautoNormalState &s, bool movie)
{
    if (movie)
        sceneauto_failed(CommSceneautoGetVencAttr((s32)iq().stMpInfo.u32VencChn, &s.stVenc),
                         "DU_SceneAuto_GetBitrate");
}

// Step 9: rate control by the bit rate, and sharpening with it.
void retune_encoder(SceneautoNormalState &s, u32 B, bool movie)
{
    const s32 chn = (s32)iq().stMpInfo.u32VencChn;
    read_venc(s, movie);
    if (s.stVenc.u32Codec == kCodecH264) {
        const SCENEAUTO_INIH264VENC_S &h = iq().stIniH264Venc;
        const u32 level = level_of(B, h.au32BitrateThresh, h.u32LevelCount);
        if (level != s.u32H264Level) {
            s.u32H264Level = level;
            sceneauto_failed(SceneAuto_SetH264Trans(chn, level), "SceneAuto_SetH264Trans");
            sceneauto_failed(SceneAuto_SetH264Debolck(chn, level), "SceneAuto_SetH264Debolck");
            sceneauto_failed(SceneAuto_SetH264RcParam(chn, level), "SceneAuto_SetH264RcParam");
        }
    } else if (s.stVenc.u32Codec == kCodecH265) {
        const SCENEAUTO_INIH265VENC_S &h = iq().stIniH265Venc;
        const u32 level = level_of(B, h.au32BitrateThresh, h.u32LevelCount);
        if (level != s.u32H265Level) {
            s.u32H265Level = level;
            sceneauto_failed(SceneAuto_SetH265RcParam(chn, level), "SceneAuto_SetH265RcParam");
        }
    }
    const SCENEAUTO_INISHARPEN_S &sh = iq().stIniSharpen;
    const u32 level = level_of(B, sh.au32BitrateThresh, sh.u32LevelCount);
    if (level != s.u32SharpenLevel) {
        s.u32SharpenLevel = level;
        sceneauto_failed(SceneAuto_SetSharpen(sceneauto_isp_dev(), level), "SceneAuto_SetSharpen");
    }
}

// Step 10: demosaic by bit rate and exposure, and the H.265 face settings.
void retune_detail(SceneautoNormalState &s, u32 E, u32 B, bool movie)
{
    const SCENEAUTO_INIDEMOSAIC_S &d = iq().stIniDemosaic;
    const u32 bit = level_of(B, d.au32BitrateThresh, d.u32BitrateCount);
    const u32 exp = level_of(E, d.au32ExpThresh, d.u32ExpCount);
    if (bit != s.u32DemosaicBitLevel || exp != s.u32DemosaicExpLevel) {
        s.u32DemosaicBitLevel = bit;
        s.u32DemosaicExpLevel = exp;
        sceneauto_failed(SceneAuto_SetDemosaic(sceneauto_isp_dev(), exp, bit), "SceneAuto_SetDemosaic");
    }
    read_venc(s, movie);
    if (s.stVenc.u32Codec != kCodecH265)
        return;
    const SCENEAUTO_INIH265VENC_S &h = iq().stIniH265Venc;
    const u32 fbit = level_of(B, h.au32FaceBitrateThresh, h.u32FaceBitrateCount);
    const u32 fexp = level_of(E, h.au32FaceExpThresh, h.u32FaceExpCount);
    if (fbit != s.u32FaceBitLevel || fexp != s.u32FaceExpLevel) {
        s.u32FaceBitLevel = fbit;
        s.u32FaceExpLevel = fexp;
        sceneauto_failed(SceneAuto_SetH265FaceCfg((s32)iq().stMpInfo.u32VencChn, fexp, fbit),
                         "SceneAuto_SetH265FaceCfg");
    }
}

// A new scene: what the old one set no longer stands, so the levels cached
// for it are forgotten and applied again.
void forget_levels(SceneautoNormalState &s)
{
    s.u32DpLevel = s.u32SharpenLevel = kNoLevel;
    s.u32DemosaicBitLevel = s.u32DemosaicExpLevel = kNoLevel;
    s.u32FaceBitLevel = s.u32FaceExpLevel = kNoLevel;
    s.u32PrevBitrate = kNoLevel;
}

} // namespace

u32 sceneauto_exposure(const SCENEAUTO_EXPOSURE_INFO_S &info)
{
    const u64 g = ((u64)info.u32AGain * info.u32DGain * info.u32ISPDGain) >> 30;
    return info.u32ExpTime * (u32)g;
}

void sceneauto_normal_reset(SceneautoNormalState &s)
{
    s = {};
    s.u32PrevExp = s.u32PrevBitrate = kNoLevel;
    s.u32DpLevel = s.u32H264Level = s.u32H265Level = s.u32SharpenLevel = kNoLevel;
    s.u32DemosaicBitLevel = s.u32DemosaicExpLevel = s.u32FaceBitLevel = s.u32FaceExpLevel = kNoLevel;
    s.u32StartScene = s.u32LastScene = g_eSpecialScene;
    s.stVenc.u32Codec = kCodecNone;
}

void sceneauto_normal_retune(SceneautoNormalState &s)
{
    const s32 isp = sceneauto_isp_dev();
    u32 E = sceneauto_exposure(s.stInfo);

    SCENEAUTO_DRC_ATTR_S drc = {};
    const bool have_drc = CommSceneautoGetDRCAttr(isp, &drc) == 0;
    u8 mode = 0;
    CommSceneautoGetWDRAttr(isp, &mode);
    SCENEAUTO_AE_ATTR_S ae = {};
    const bool have_ae = !sceneauto_failed(CommSceneautoGetAEAttr(isp, &ae), "CommSceneautoGetAEAttr");
    measure(s, E, mode != 0, drc);
    s.u32Exp = E;

    const u32 scene = g_eSpecialScene;
    const bool new_scene = scene != s.u32LastScene;
    if (new_scene)
        forget_levels(s);
    s.u32LastScene = scene;
    if (E != s.u32PrevExp || scene != s.u32StartScene || new_scene) {
        retune_3dnr(s, ae);
        if (have_ae)
            retune_ae(s, E, ae, have_drc ? &drc : nullptr);
        const SCENEAUTO_INIDP_S &dp = iq().stIniDP;
        const u32 level = level_of(E, dp.au32ExpThresh, dp.u32Count);
        if (level != s.u32DpLevel) {
            s.u32DpLevel = level;
            sceneauto_failed(SceneAuto_SetDP(isp, level), "SceneAuto_SetDP");
        }
        write_noise_profile(E);
    }

    const bool movie = sceneauto_venc_chn_exists((s32)iq().stMpInfo.u32VencChn);
    read_venc(s, movie);
    const u32 B = s.stVenc.u32BitRate;
    if (B != s.u32PrevBitrate)
        retune_encoder(s, B, movie);
    if (B != s.u32PrevBitrate || E != s.u32PrevExp)
        retune_detail(s, E, B, movie);
    s.u32PrevExp = E;
    s.u32PrevBitrate = B;
}

void sceneauto_normal_cycle(SceneautoNormalState &s)
{
    sceneauto_failed(CommSceneautoGetExposureInfo(sceneauto_isp_dev(), &s.stInfo), "CommSceneautoGetExposureInfo");
    sceneauto_normal_retune(s);
}

s32 sceneauto_normal_startup(SceneautoNormalState &s)
{
    const s32 isp = sceneauto_isp_dev();
    SCENEAUTO_DCI_S dci = {};
    sceneauto_failed(CommSceneautoGetDCIParam(sceneauto_vi_dev(), &dci), "CommSceneautoGetDCIParam");
    u8 mode = 0;
    CommSceneautoGetWDRAttr(isp, &mode);
    puts("***************************************************");

    AE_WDR_RATIO_SETTINGS_S wdr = {};
    if (!sceneauto_failed(DU_DUZ_ISP_GetWDRExposureAttr(isp, &wdr), "DU_DUZ_ISP_GetWDRExposureAttr")) {
        wdr.enExpRatioType = 0;
        wdr.u32ExpRatio = 192;
        wdr.u32ExpRatioMax = 128;
        wdr.u32ExpRatioMin = 64;
        wdr.u16Tolerance = 3;
        wdr.u16Speed = 16;
        wdr.u16RatioBias = 1024;
        DU_DUZ_ISP_SetWDRExposureAttr(isp, &wdr);
    }

    // Noise reduction's strength per ISO step (16 steps of a doubling).
    static const u8 kNrLinear[16] = {12, 16, 20, 24, 28, 48, 48, 64, 64, 64, 64, 64, 64, 64, 64, 64};
    static const u8 kNrWdr[16] = {12, 16, 28, 32, 32, 36, 48, 64, 64, 64, 64, 64, 64, 64, 64, 64};
    ISP_NR_ATTR_S nr = {};
    if (sceneauto_failed(DU_DUZ_ISP_GetNRAttr(isp, &nr), "DU_DUZ_ISP_GetNRAttr"))
        return -1;
    nr.bEnable = 1;
    nr.enOpType = 0;
    memcpy(nr.au8Thresh, mode != 0 ? kNrWdr : kNrLinear, sizeof nr.au8Thresh);
    if (sceneauto_failed(DU_DUZ_ISP_SetNRAttr(isp, &nr), "DU_DUZ_ISP_SetNRAttr"))
        return -1;

    SceneAuto_SetDemosaic(isp, 0, 0);
    sceneauto_set_image_saturation();
    u16 tone[3];
    memcpy(tone, iq_para_color_tone, sizeof tone);
    sceneauto_failed(CommSceneautoSetColorToneAttr(isp, tone), "CommSceneautoSetColorToneAttr");
    Sceneauto_AEInit();
    sceneauto_normal_reset(s);
    return 0;
}

void *SceneAuto_NormalThread(void *)
{
    prctl(PR_SET_NAME, "SceneautoNormalThread"); // the kernel keeps the first 15 characters
    static SceneautoNormalState s; // one thread at a time; too large for a small stack
    // Each step holds the scene lock: a scene switched (and the records it
    // keeps or puts back) falls between two cycles, never inside one.
    pthread_mutex_lock(&g_stSceneautoLock);
    const s32 started = sceneauto_normal_startup(s);
    pthread_mutex_unlock(&g_stSceneautoLock);
    if (started != 0)
        return nullptr;
    while (g_bNormalThreadFlag == 1) {
        pthread_mutex_lock(&g_stSceneautoLock);
        sceneauto_normal_cycle(s);
        pthread_mutex_unlock(&g_stSceneautoLock);
        for (u32 i = 0; i < kCycleSleeps && g_bNormalThreadFlag == 1; i++)
            usleep(kSleepMs * 1000);
    }
    return nullptr;
}

// ---- the cycle's setters --------------------------------------------------------------------------

namespace {

const SCENEAUTO_AE_LEVEL_S &ae_level(u32 level)
{
    const SCENEAUTO_INIAE_S &a = iq().stIniAE;
    return a.astLevel[std::min(level, (u32)SCENEAUTO_AE_LEVELS - 1)];
}

template <size_t N> u32 bound(u32 level, const u8 (&)[N]) { return std::min(level, (u32)N - 1); }

} // namespace

s32 Scenauto_SetAERealtedExp(s32 dev, u32 level)
{
    if (scene_skips({1, 2, 3, 6, 7, 8}))
        return 0; // the special scene's AE settings stand
    const SCENEAUTO_AE_LEVEL_S &l = ae_level(level);
    return SCENEAUTO_PATCH(dev, CommSceneautoGetAEAttr, CommSceneautoSetAEAttr, [&](SCENEAUTO_AE_ATTR_S &a) {
        a.u8Compensation = l.u8Compensation;
        a.u8MaxHistOffset = l.u8MaxHistOffset;
        a.u8AEStrategyMode = l.u8StrategyMode;
        a.u16HistRatioSlope = l.u16HistRatioSlope;
    });
}

s32 Scenauto_SetIRAERealtedExp(s32 dev, u32 level)
{
    const SCENEAUTO_IR_S &ir = iq().stIR;
    level = bound(level, ir.au8Compensation);
    return SCENEAUTO_PATCH(dev, CommSceneautoGetAEAttr, CommSceneautoSetAEAttr, [&](SCENEAUTO_AE_ATTR_S &a) {
        a.u8Compensation = ir.au8Compensation[level];
        a.u8MaxHistOffset = ir.au8MaxHistOffset[level];
    });
}

s32 Scenauto_SetAutoFSWDRAERealtedExp(s32 dev, u32 level)
{
    const SCENEAUTO_AUTOFSWDR_S &f = iq().stAutoFSWDR;
    level = bound(level, f.au8Compensation);
    SCENEAUTO_AE_ATTR_S a = {};
    if (sceneauto_failed(CommSceneautoGetAEAttr(dev, &a), "CommSceneautoGetAEAttr"))
        return -1;
    if (a.u8FSWDRMode != 1)
        return 0; // its levels are for the stitched picture only
    a.u8Compensation = f.au8Compensation[level];
    a.u8MaxHistOffset = f.au8MaxHistOffset[level];
    return sceneauto_failed(CommSceneautoSetAEAttr(dev, &a), "CommSceneautoSetAEAttr") ? -1 : 0;
}

s32 SceneAuto_SetDP(s32 dev, u32 level)
{
    if (scene_skips({2}))
        return 0;
    const SCENEAUTO_INIDP_S &dp = iq().stIniDP;
    const u16 slope = dp.au16Slope[std::min(level, 11u)];
    u16 now = 0;
    if (sceneauto_failed(CommSceneautoGetDP(dev, &now), "CommSceneautoGetDP"))
        return -1;
    return sceneauto_failed(CommSceneautoSetDP(dev, slope), "CommSceneautoSetDP") ? -1 : 0;
}

s32 SceneAuto_SetSharpen(s32 dev, u32 level)
{
    if (scene_skips({2, 3}))
        return 0;
    const SCENEAUTO_SHARPEN_S &curves = iq().stIniSharpen.astLevel[std::min(level, 2u)];
    return SCENEAUTO_PATCH(dev, CommSceneautoGetSharpen, CommSceneautoSetSharpen,
                           [&](SCENEAUTO_SHARPEN_S &s) { s = curves; });
}

s32 SceneAuto_SetDemosaic(s32 dev, u32 expLevel, u32 bitLevel)
{
    const SCENEAUTO_INIDEMOSAIC_S &d = iq().stIniDemosaic;
    const u32 index = std::min(std::min(d.u32ExpCount, 8u) * bitLevel + expLevel, 15u);
    return SCENEAUTO_PATCH(dev, CommSceneautoGetDemosaic, CommSceneautoSetDemosaic, [&](SCENEAUTO_DEMOSAIC_S &m) {
        memcpy(m.au8Slope, d.astRec[index].au8Slope, sizeof m.au8Slope);
    });
}

s32 SceneAuto_SetH264Trans(s32 chn, u32 level)
{
    const s32 trans = iq().stIniH264Venc.astLevel[std::min(level, 3u)].s32Trans;
    u32 now = 0;
    if (sceneauto_failed(CommSceneautoGetH264Trans(chn, &now), "CommSceneautoGetH264Trans"))
        return -1;
    return sceneauto_failed(CommSceneautoSetH264Trans(chn, (u32)trans), "CommSceneautoSetH264Trans") ? -1 : 0;
}

s32 SceneAuto_SetH264Debolck(s32 chn, u32 level)
{
    SCENEAUTO_H264_DBLK_S d = {};
    if (CommSceneautoGetH24Deblock(chn, &d) != 0)
        return -1;
    d = iq().stIniH264Venc.astLevel[std::min(level, 3u)].stDblk;
    return sceneauto_failed(CommSceneautoSetH24Deblock(chn, &d), "CommSceneautoSetH24Deblock") ? -1 : 0;
}

s32 SceneAuto_SetH264RcParam(s32 chn, u32 level)
{
    const SCENEAUTO_RC_PARAM_S &rc = iq().stIniH264Venc.astLevel[std::min(level, 3u)].stRc;
    return SCENEAUTO_PATCH(chn, CommSceneautoGetH264RcParam, CommSceneautoSetH264RcParam,
                           [&](SCENEAUTO_RC_PARAM_S &r) { r = rc; });
}

s32 SceneAuto_SetH265RcParam(s32 chn, u32 level)
{
    const SCENEAUTO_RC_PARAM_S &rc = iq().stIniH265Venc.astLevel[std::min(level, 1u)];
    return SCENEAUTO_PATCH(chn, CommSceneautoGetH265RcParam, CommSceneautoSetH265RcParam,
                           [&](SCENEAUTO_RC_PARAM_S &r) { r = rc; });
}

s32 SceneAuto_SetH265FaceCfg(s32 chn, u32 expLevel, u32 bitLevel)
{
    const SCENEAUTO_INIH265VENC_S &h = iq().stIniH265Venc;
    const u32 index = std::min(std::min(h.u32FaceExpCount, 2u) * bitLevel + expLevel, 3u);
    return SCENEAUTO_PATCH(chn, CommSceneautoGetH265FaceCfg, CommSceneautoSetH265FaceCfg,
                           [&](SCENEAUTO_H265_FACE_S &f) { f = h.astFace[index]; });
}

s32 SceneAuto_SetGamma(s32 dev, u32 to, u32 from)
{
    constexpr u32 kStepMs = 80;
    if (scene_skips({2, 3}))
        return 0;
    const SCENEAUTO_INIGAMMA_S &g = iq().stIniGamma;
    const SCENEAUTO_GAMMA_S &a = g.astCurve[std::min(from, 3u)], &b = g.astCurve[std::min(to, 3u)];
    const u32 steps = std::max(g.u32RampSteps, 1u);
    SCENEAUTO_GAMMA_S out = b;
    for (u32 s = 1; s <= steps; s++) {
        for (u32 i = 0; i < 257; i++) {
            const s32 f = a.au16Table[i], t = b.au16Table[i];
            const s32 move = (s32)((((u64)std::abs(t - f) << 8) * s / steps) >> 8);
            out.au16Table[i] = (u16)(t >= f ? f + move : f - move);
        }
        if (sceneauto_failed(CommSceneautoSetGamma(dev, &out), "CommSceneautoSetGamma"))
            return -1;
        usleep(kStepMs * 1000);
    }
    return 0;
}
