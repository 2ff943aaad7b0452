// The input unit's resampling and enhancement switches: one enhancement
// instance per channel serves both, re-created from one configuration
// whenever either changes; the attribute read-back, the enhancement volume
// and the echo reference frames.
#include <algorithm>
#include <cstring>

#include "board/board.h"
#include "mpi/audio/ai/ai_chn.h"
#include "mpi/audio/ai/ai_requests.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"

namespace {

constexpr u32 kResmpRates[] = {8000, 12000, 11025, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr s32 kResmpFrame = 80; // the frame of a pure rate converter
constexpr s32 DU_ERR_AI_VB = mpi_status(DU_ID_AI, ERR_BUSY);
constexpr s32 DU_ERR_AO_INVALID_DEVID = mpi_status(DU_ID_AO, ERR_INVALID_DEVID);
constexpr s32 DU_ERR_AO_INVALID_CHNID = mpi_status(DU_ID_AO, ERR_INVALID_CHNID);

// The output channel given for echo cancellation or reference frames.
s32 check_ao(s32 AoDevId, s32 AoChn)
{
    if (AoDevId != 0) {
        MPI_TRACE("ao dev %d is invalid\n", AoDevId);
        return DU_ERR_AO_INVALID_DEVID;
    }
    if ((u32)AoChn >= AIO_MAX_CHN_NUM) {
        MPI_TRACE("ao chnid %d is invalid\n", AoChn);
        return DU_ERR_AO_INVALID_CHNID;
    }
    return 0;
}

// Unmaps and destroys the channel's resampling pool; the pool id is -1 after.
s32 free_resmp_pool(s32 AiDevId, s32 AiChn, const char *destroy_msg)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    if (chn->u32ResmpPoolId == VB_INVALID_POOLID)
        return 0;
    if (DU_DUZ_VB_MunmapPool(chn->u32ResmpPoolId) != 0) {
        MPI_TRACE("failed to unmap Resmp VB pool for AiDev%d AiChn%d!\n", AiDevId, AiChn);
        return DU_ERR_AI_VB;
    }
    if (DU_DUZ_VB_DestroyPool(chn->u32ResmpPoolId) != 0) {
        MPI_TRACE(destroy_msg, AiDevId, AiChn);
        return DU_ERR_AI_VB;
    }
    chn->u32ResmpPoolId = VB_INVALID_POOLID;
    return 0;
}

// Frames above the device rate need blocks of their own: 10 of 8192 bytes in
// the zone configured for the channel, mapped.
s32 make_resmp_pool(s32 AiDevId, s32 AiChn)
{
    MPP_CHN_ADDR_S addr = {DU_ID_AI, AiDevId, AiChn};
    char zone[MAX_MMZ_NAME_LEN + 1] = {};
    if (s32 ret = DU_DUZ_SYS_GetMemConf(&addr, zone)) {
        MPI_TRACE("get mem config for AiDev%d AiChn%d failed!\n", AiDevId, AiChn);
        return ret;
    }
    u32 pool = DU_DUZ_VB_CreatePool(AI_RESMP_POOL_BLK_SIZE, AI_RESMP_POOL_BLK_CNT, zone);
    if (pool == VB_INVALID_POOLID) {
        MPI_TRACE("create Resmp VB pool for AiDev%d AiChn%d failed!\n", AiDevId, AiChn);
        return DU_ERR_AI_VB;
    }
    if (s32 ret = DU_DUZ_VB_MmapPool(pool)) {
        MPI_TRACE("mmap Resmp VB pool for AiDev%d AiChn%d failed!\n", AiDevId, AiChn);
        DU_DUZ_VB_DestroyPool(pool); // an unmapped pool would be lost to the channel
        return ret;
    }
    s_stMpiAiChn[AiChn].u32ResmpPoolId = pool;
    return 0;
}

// Applies a resampling record (channel mutex held): pool, instance, flags.
s32 resmp_apply(s32 AiDevId, s32 AiChn, const AI_RESMP_INFO_S &info)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    if (s32 ret = free_resmp_pool(AiDevId, AiChn, "failed to release Resmp VB pool for AiDev%d AiChn%d!\n"))
        return ret;
    if (info.enInSampleRate < info.enOutSampleRate)
        if (s32 ret = make_resmp_pool(AiDevId, AiChn))
            return ret;
    // A channel without an instance gets a pure rate converter at the device rate.
    s32 ret = ai_switch_stage(AiDevId, AiChn, {"AiDev: %d haven't set attr!\n", kAiResmpFail, DU_ERR_AI_VQE_ERR},
                              [&](UPVQE_CFG_S &cfg) {
                                  if (!chn->bVqeCfg) {
                                      cfg.s32WorkSampleRate = (s32)info.enInSampleRate;
                                      cfg.s32FrameSample = kResmpFrame;
                                  }
                                  cfg.s32InSampleRate = (s32)info.enInSampleRate;
                                  cfg.s32OutSampleRate = (s32)info.enOutSampleRate;
                                  return 0;
                              });
    if (ret != 0) { // the pool would serve nothing
        free_resmp_pool(AiDevId, AiChn, "failed to release Resmp VB pool for AiDev%d AiChn%d!\n");
        return ret;
    }
    {
        MpiMutexGuard vqe(&g_astVqeState[AiChn].stMutex);
        g_astVqeState[AiChn].bResmpEnable = DU_TRUE;
        g_astVqeState[AiChn].u32ResmpPoolId = chn->u32ResmpPoolId;
    }
    chn->bResmpEnable = DU_TRUE;
    chn->stResmpInfo = info;
    return 0;
}

// The enabled record of the enhancement for the driver.
void send_vqe_enabled(s32 AiChn, const UPVQE_CFG_S &cfg)
{
    u8 rec[AI_VQE_STATUS_LEN] = {};
    auto put = [&](u32 at, const void *src, u32 len) { memcpy(rec + at, src, len); };
    u32 one = 1;
    put(0, &one, 4);
    put(4, &cfg.bHpfOn, 36); // the nine switches, in the configuration's order
    put(44, &cfg.s32WorkSampleRate, 4);
    put(52, &cfg.s32FrameSample, 4);
    put(56, &cfg.u32WorkMode, 4);
    put(60, &cfg.stHpfCfg, 8);
    put(68, &cfg.stAecCfg, 52);
    put(120, &cfg.stAnrCfg, 16);
    put(136, &cfg.stRnrCfg, 16);
    put(152, &cfg.stAgcCfg, 20);
    put(172, &cfg.stEqCfg, 16);
    put(188, &cfg.stHdrCfg, 20); // the gains; the callback is the unit's own
    u32 callback = (u32)(uintptr_t)cfg.stHdrCfg.pcallback;
    put(208, &callback, 4);
    put(212, &cfg.stAvcCfg, 16);
    put(228, &cfg.stPeqCfg, 68);
    ai_ioctl(AiChn, AI_VQE_STATUS_CTRL, rec);
}

// The channel's nine switches into a configuration (or all off).
void put_switches(const MPI_AI_CHN_S *chn, UPVQE_CFG_S *cfg, bool on)
{
    cfg->bHpfOn = on && chn->bHpfOpen;
    cfg->bAecOn = on && chn->bAecOpen;
    cfg->bAnrOn = on && chn->bAnrOpen;
    cfg->bRnrOn = on && chn->bRnrOpen;
    cfg->bAgcOn = on && chn->bAgcOpen;
    cfg->bEqOn = on && chn->bEqOpen;
    cfg->bHdrOn = on && chn->bHdrOpen;
    cfg->bAvcOn = on && chn->bAvcOpen;
    cfg->bPeqOn = on && chn->bPeqOpen;
}

// The device attributes for a switch: readable, mono, with the channel, 16 bit.
s32 check_device(s32 AiDevId, s32 AiChn, AIO_ATTR_S *attr, const char *stereo_msg, const char *chn_msg,
                 const char *width_msg)
{
    if (DU_DUZ_AI_GetPubAttr(AiDevId, attr) != 0)
        return DU_ERR_AI_NOT_CONFIG;
    if (attr->enSoundmode != 0) {
        MPI_TRACE("%s", stereo_msg);
        return DU_ERR_AI_ILLEGAL_PARAM;
    }
    if ((u32)AiChn >= attr->u32ChnCnt) {
        MPI_TRACE(chn_msg, AiDevId, AiChn);
        return DU_ERR_AI_INVALID_CHNID;
    }
    if (attr->enBitwidth != 1) {
        MPI_TRACE("%s", width_msg);
        return DU_ERR_AI_NOT_SUPPORT;
    }
    return 0;
}

// The instance's configuration for a read-back: configured by the setter of
// `kind`, or resampling on.
s32 read_back(s32 AiDevId, s32 AiChn, u32 kind, const char *other_setter, UPVQE_CFG_S *cfg)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    if (chn->bVqeCfg ? chn->enVqeCfgType != kind : !chn->bResmpEnable) {
        if (chn->bVqeCfg)
            MPI_TRACE(other_setter, AiChn);
        else
            MPI_TRACE("AI chn %d is not config vqe and resmp!\n", AiChn);
        return DU_ERR_AI_NOT_PERM;
    }
    return ai_vqe_cfg(AiChn, cfg);
}

// The echo canceller's far end: the output channel the attributes named.
s32 link_aec(s32 AiDevId, s32 AiChn)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    if (chn->bAecRefEnable) {
        MPI_TRACE("Aec do not support open when aec reference frame is enable, ai chn:%d\n", AiChn);
        return DU_ERR_AI_NOT_SUPPORT;
    }
    if (s32 ret = check_ao(chn->s32AoDev, chn->s32AoChn))
        return ret;
    AI_AEC_LINK_S link = {(u32)chn->s32AoDev, (u32)chn->s32AoChn};
    if (s32 ret = ai_ioctl(AiChn, AI_LINK_AEC_CTRL, &link)) {
        MPI_TRACE("Ai dev: %d, enable aec fail, ai chn:%d\n", AiDevId, AiChn);
        return ret;
    }
    chn->u32AecMissCnt = 0;
    return 0;
}

s32 device_rate(s32 AiDevId, u32 *rate)
{
    AIO_ATTR_S attr;
    if (s32 ret = DU_DUZ_AI_GetPubAttr(AiDevId, &attr))
        return ret;
    *rate = attr.enSamplerate;
    return 0;
}

} // namespace

// ---- the instance --------------------------------------------------------------------------------

const AudioStageUnit<UPVQE_CFG_S> g_stAiStage = {
    DU_ID_AI,
    "AiDev",
    [](s32 AiChn) -> bool { return s_stMpiAiChn[AiChn].bVqeCfg || s_stMpiAiChn[AiChn].bResmpEnable; },
    [](s32, s32 AiChn, UPVQE_CFG_S *cfg) { return ai_vqe_cfg(AiChn, cfg); },
    device_rate,
    ai_vqe_replace,
};

s32 ai_vqe_cfg(s32 AiChn, UPVQE_CFG_S *pstCfg)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    if ((!chn->bVqeCfg && !chn->bResmpEnable) || !chn->pVqeHandle) {
        MPI_TRACE("AI chn %d is not config vqe and resmp!\n", AiChn);
        return DU_ERR_AI_NOT_PERM;
    }
    if (s32 ret = DU_UPVQE_GetConfig(chn->pVqeHandle, pstCfg)) {
        MPI_TRACE("Ai dev: %d, ai chn:%d, get vqe attr fail, s32Ret: 0x%x.\n", 0, AiChn, ret);
        return DU_ERR_AI_VQE_ERR;
    }
    return 0;
}

void ai_vqe_destroy(s32 AiChn)
{
    DU_UPVQE_Destroy(s_stMpiAiChn[AiChn].pVqeHandle);
    s_stMpiAiChn[AiChn].pVqeHandle = nullptr;
    g_astVqeState[AiChn].pVqeHandle = nullptr;
}

s32 ai_vqe_replace(s32 AiChn, const UPVQE_CFG_S *pstCfg)
{
    MpiMutexGuard vqe(&g_astVqeState[AiChn].stMutex);
    ai_vqe_destroy(AiChn);
    UPVQE_INSTANCE_S *inst = nullptr;
    if (s32 ret = DU_UPVQE_Create(&inst, pstCfg))
        return ret;
    s_stMpiAiChn[AiChn].pVqeHandle = inst;
    g_astVqeState[AiChn].pVqeHandle = inst;
    return 0;
}

s32 ai_resmp_off(s32 AiDevId, s32 AiChn, bool rebuild)
{
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    const char *destroy_msg = "failed to destroy Resmp VB pool for AiDev%d AiChn%d!\n";
    s32 ret = 0;
    // Without an instance (a rebuild failed) there is nothing to take back.
    if (rebuild && chn->pVqeHandle) {
        ret = ai_switch_stage(AiDevId, AiChn, {nullptr, kAiResmpFail, DU_ERR_AI_VQE_ERR}, [&](UPVQE_CFG_S &cfg) {
            if (s32 r = audio_stage_at_device_rate(g_stAiStage, AiDevId, &cfg))
                return r;
            return free_resmp_pool(AiDevId, AiChn, destroy_msg);
        });
        // A failed rebuild leaves the channel without an instance, and without resampling.
        if (!audio_stage_off_anyway(ret, DU_ERR_AI_VQE_ERR))
            return ret;
    } else if (s32 r = free_resmp_pool(AiDevId, AiChn, destroy_msg)) {
        return r;
    }
    {
        MpiMutexGuard vqe(&g_astVqeState[AiChn].stMutex);
        g_astVqeState[AiChn].bResmpEnable = DU_FALSE;
        g_astVqeState[AiChn].u32ResmpPoolId = VB_INVALID_POOLID;
    }
    chn->bResmpEnable = DU_FALSE;
    return ret;
}

s32 MPI_AI_GetVqeAttr(s32 AiDevId, s32 AiChn, UPVQE_CFG_S *pstVqeCfg)
{
    if (s32 ret = ai_chn_check(AiDevId, AiChn, !pstVqeCfg, __FUNCTION__))
        return ret;
    MpiMutexGuard lock(&s_stMpiAiChn[AiChn].stMutex);
    return ai_vqe_cfg(AiChn, pstVqeCfg);
}

// ---- resampling --------------------------------------------------------------------------------

s32 DU_DUZ_AI_EnableReSmp(s32 AiDevId, s32 AiChn, u32 enOutSampleRate)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bEnable) {
        MPI_TRACE("AI chn %d is not enable\n", AiChn);
        return DU_ERR_AI_NOT_ENABLED;
    }
    if (chn->bResmpEnable) {
        if (chn->stResmpInfo.enOutSampleRate == enOutSampleRate)
            return 0;
        MPI_TRACE("Resmp has been enabled but the resamplerate:%d not the same as before:%d.\n", enOutSampleRate,
                  chn->stResmpInfo.enOutSampleRate);
        return DU_ERR_AI_NOT_PERM;
    }
    AIO_ATTR_S attr;
    s32 ret = 0;
    if (std::find(std::begin(kResmpRates), std::end(kResmpRates), enOutSampleRate) == std::end(kResmpRates)) {
        MPI_TRACE("enOutSampleRate:%d is invalid\n", enOutSampleRate);
        ret = DU_ERR_AI_ILLEGAL_PARAM;
    } else if (DU_DUZ_AI_GetPubAttr(AiDevId, &attr) != 0) {
        ret = DU_ERR_AI_NOT_CONFIG;
    } else if (attr.enSamplerate == enOutSampleRate) {
        MPI_TRACE("enInSampleRate is same as enOutSampleRate, it's not allowed.\n");
        ret = DU_ERR_AI_NOT_PERM;
    } else {
        ret = check_device(AiDevId, AiChn, &attr, "resample don't support stereo!\n",
                           "enable resample fail,Aidev%d don't have chn%d\n", "resample don't support 8 bit!\n");
    }
    if (ret != 0) {
        MPI_TRACE("Resmp attr check failed!\n");
        return ret;
    }
    AI_RESMP_INFO_S info = {attr.u32PtNumPerFrm, attr.enSamplerate, enOutSampleRate};
    if (s32 r = resmp_apply(AiDevId, AiChn, info)) {
        MPI_TRACE("Ai Resmp enable failed!\n");
        return r;
    }
    AI_RESMP_STATUS_S status = {1, info.u32PtNumPerFrm, info.enInSampleRate, info.enOutSampleRate};
    ai_ioctl(AiChn, AI_RESMP_STATUS_CTRL, &status);
    return 0;
}

s32 DU_DUZ_AI_DisableReSmp(s32 AiDevId, s32 AiChn)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bEnable) {
        MPI_TRACE("AI chn %d is not enable\n", AiChn);
        return DU_ERR_AI_NOT_ENABLED;
    }
    if (chn->bResmpEnable)
        if (s32 ret = ai_resmp_off(AiDevId, AiChn, true))
            return ret;
    AI_RESMP_STATUS_S status = {};
    ai_ioctl(AiChn, AI_RESMP_STATUS_CTRL, &status);
    return 0;
}

// ---- enhancement switches --------------------------------------------------------------------

s32 DU_DUZ_AI_EnableVqe(s32 AiDevId, s32 AiChn)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bEnable) {
        MPI_TRACE("AI chn %d is not enable\n", AiChn);
        return DU_ERR_AI_NOT_ENABLED;
    }
    if (chn->bVqeEnable)
        return 0;
    if (!chn->bVqeCfg) {
        MPI_TRACE("AI chn %d is not config vqe attr!\n", AiChn);
        return DU_ERR_AI_NOT_CONFIG;
    }
    AIO_ATTR_S attr;
    s32 ret = check_device(AiDevId, AiChn, &attr, "vqe don't support stereo!\n",
                           "enable vqe fail, Aidev%d don't have chn%d\n", "vqe don't support 8 bit!\n");
    if (ret == DU_ERR_AI_NOT_CONFIG)
        MPI_TRACE("AiDev: %d haven't set attr!\n", AiDevId);
    if (ret != 0)
        return ret;
    UPVQE_CFG_S on = {};
    ret = ai_switch_stage(AiDevId, AiChn, {nullptr, kAiVqeFail, DU_ERR_AI_VQE_ERR}, [&](UPVQE_CFG_S &cfg) {
        if (cfg.s32InSampleRate != (s32)attr.enSamplerate) {
            MPI_TRACE("vqe's sample rate in:%d and device's sample rate:%d must be same!\n", cfg.s32InSampleRate,
                      attr.enSamplerate);
            return DU_ERR_AI_ILLEGAL_PARAM;
        }
        put_switches(chn, &cfg, true);
        on = cfg;
        return cfg.bAecOn ? link_aec(AiDevId, AiChn) : 0;
    });
    if (ret == DU_ERR_AI_VQE_ERR) {
        if (on.bAecOn) // nothing will cancel echo now
            ai_ioctl(AiChn, AI_UNLINK_AEC_CTRL, nullptr);
        chn->bVqeCfg = DU_FALSE;
    }
    if (ret != 0)
        return ret;
    {
        MpiMutexGuard vqe(&g_astVqeState[AiChn].stMutex);
        g_astVqeState[AiChn].bVqeEnable = DU_TRUE;
    }
    chn->bVqeEnable = DU_TRUE;
    send_vqe_enabled(AiChn, on);
    return 0;
}

s32 DU_DUZ_AI_DisableVqe(s32 AiDevId, s32 AiChn)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bVqeEnable)
        return 0;
    if (chn->bAecOpen) {
        if (s32 ret = ai_ioctl(AiChn, AI_UNLINK_AEC_CTRL, nullptr)) {
            MPI_TRACE("Ai dev: %d, disable aec fail, ai chn:%d\n", AiDevId, AiChn);
            return ret;
        }
    }
    s32 ret = 0;
    if (chn->pVqeHandle) { // else a rebuild failed: there is nothing left to switch off
        ret = ai_switch_stage(AiDevId, AiChn, {nullptr, kAiVqeFail, DU_ERR_AI_VQE_ERR}, [&](UPVQE_CFG_S &cfg) {
            put_switches(chn, &cfg, false);
            return 0;
        });
        if (!audio_stage_off_anyway(ret, DU_ERR_AI_VQE_ERR))
            return ret;
    }
    {
        MpiMutexGuard vqe(&g_astVqeState[AiChn].stMutex);
        g_astVqeState[AiChn].bVqeEnable = DU_FALSE;
    }
    chn->bVqeEnable = DU_FALSE;
    ai_send_vqe_disabled(AiChn);
    return ret;
}

// ---- attribute read-back -----------------------------------------------------------------------

s32 DU_DUZ_AI_GetVqeAttr(s32 AiDevId, s32 AiChn, AI_VQE_ATTR_S *pstVqeConfig)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, !pstVqeConfig, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    UPVQE_CFG_S cfg;
    if (s32 ret = read_back(AiDevId, AiChn, 1, "AI chn %d isn't config vqe by  DU_DUZ_AI_SetVqeAttr!\n", &cfg))
        return ret;
    MPI_AI_VQETOAI(&cfg, pstVqeConfig);
    AI_VQE_ATTR_S &a = *pstVqeConfig;
    a.bHpfOn = chn->bHpfOpen;
    a.bAecOn = chn->bAecOpen;
    a.bAnrOn = chn->bAnrOpen;
    a.bRnrOn = chn->bRnrOpen;
    a.bAgcOn = chn->bAgcOpen;
    a.bEqOn = chn->bEqOpen;
    a.bHdrOn = chn->bHdrOpen;
    return 0;
}

s32 DU_DUZ_AI_GetHiFiVqeAttr(s32 AiDevId, s32 AiChn, AI_HIFIVQE_ATTR_S *pstHiFiVqeConfig)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, !pstHiFiVqeConfig, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    UPVQE_CFG_S cfg;
    if (s32 ret = read_back(AiDevId, AiChn, 3, "AI chn %d isn't config vqe by  DU_DUZ_AI_SetHiFiVqeAttr!\n", &cfg))
        return ret;
    AI_HIFIVQE_ATTR_S &a = *pstHiFiVqeConfig;
    a.u32OpenMask = (chn->bHpfOpen ? AI_HIFIVQE_MASK_HPF : 0) | (chn->bRnrOpen ? AI_HIFIVQE_MASK_RNR : 0) |
                    (chn->bHdrOpen ? AI_HIFIVQE_MASK_HDR : 0) | (chn->bAvcOpen ? AI_HIFIVQE_MASK_AVC : 0) |
                    (chn->bPeqOpen ? AI_HIFIVQE_MASK_PEQ : 0);
    ai_copy_hifi_settings(cfg, a);
    return 0;
}

namespace {

// The fields the normal attributes and a configuration share by name.
template <class From, class To> void copy_named(const From &f, To &t)
{
    t.bHpfOn = f.bHpfOn;
    t.bAecOn = f.bAecOn;
    t.bAnrOn = f.bAnrOn;
    t.bRnrOn = f.bRnrOn;
    t.bAgcOn = f.bAgcOn;
    t.bEqOn = f.bEqOn;
    t.bHdrOn = f.bHdrOn;
    t.s32WorkSampleRate = f.s32WorkSampleRate;
    t.s32FrameSample = f.s32FrameSample;
    t.u32WorkMode = f.u32WorkMode;
    t.stHpfCfg = f.stHpfCfg;
    t.stAecCfg = f.stAecCfg;
    t.stAnrCfg = f.stAnrCfg;
    t.stRnrCfg = f.stRnrCfg;
    t.stAgcCfg = f.stAgcCfg;
    t.stEqCfg = f.stEqCfg;
    t.stHdrCfg = f.stHdrCfg;
}

} // namespace

s32 MPI_AI_AITOVQE(const AI_VQE_ATTR_S *pstAiVqe, UPVQE_CFG_S *pstVqeCfg)
{
    if (!pstAiVqe || !pstVqeCfg)
        return DU_ERR_AI_NULL_PTR;
    copy_named(*pstAiVqe, *pstVqeCfg);
    return 0;
}

s32 MPI_AI_VQETOAI(const UPVQE_CFG_S *pstVqeCfg, AI_VQE_ATTR_S *pstAiVqe)
{
    if (!pstAiVqe || !pstVqeCfg)
        return DU_ERR_AI_NULL_PTR;
    copy_named(*pstVqeCfg, *pstAiVqe);
    return 0;
}

// ---- volume and reference frames ------------------------------------------------------------

s32 DU_DUZ_AI_SetVqeVolume(s32 AiDevId, s32 AiChn, s32 s32VolumeDb)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    if (s32VolumeDb < -20 || s32VolumeDb > 10) {
        MPI_TRACE("s32VolumeDb %d is illegal!\n", s32VolumeDb);
        return DU_ERR_AI_ILLEGAL_PARAM;
    }
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bVqeEnable || !chn->pVqeHandle) {
        MPI_TRACE("AI chn %d is not config vqe!\n", AiChn);
        return DU_ERR_AI_NOT_PERM;
    }
    {
        // The encoder's thread may be running the instance.
        MpiMutexGuard vqe(&g_astVqeState[AiChn].stMutex);
        if (DU_UPVQE_SetVolume(chn->pVqeHandle, s32VolumeDb) != 0) {
            MPI_TRACE("AI chn %d set vqe volume failed!\n", AiChn);
            return DU_ERR_AI_VQE_ERR;
        }
    }
    return ai_ioctl(AiChn, AI_SET_VQE_VOLUME_CTRL, &s32VolumeDb);
}

s32 DU_DUZ_AI_GetVqeVolume(s32 AiDevId, s32 AiChn, s32 *ps32VolumeDb)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, !ps32VolumeDb, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bVqeEnable || !chn->pVqeHandle) {
        MPI_TRACE("AI chn %d is not config vqe!\n", AiChn);
        return DU_ERR_AI_NOT_PERM;
    }
    if (DU_UPVQE_GetVolume(chn->pVqeHandle, ps32VolumeDb) != 0) {
        MPI_TRACE("AI chn %d get vqe volume failed!\n", AiChn);
        return DU_ERR_AI_VQE_ERR;
    }
    return 0;
}

s32 DU_DUZ_AI_EnableAecRefFrame(s32 AiDevId, s32 AiChn, s32 AoDevId, s32 AoChn)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    if (s32 ret = check_ao(AoDevId, AoChn))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (chn->bVqeEnable && chn->bAecOpen) {
        MPI_TRACE("This mpi do not support when aec open. chn:%d\n", AiChn);
        return DU_ERR_AI_NOT_SUPPORT;
    }
    AIO_ATTR_S attr;
    if (DU_DUZ_AI_GetPubAttr(AiDevId, &attr) != 0)
        return DU_ERR_AI_NOT_CONFIG;
    if (attr.enSoundmode != 0) {
        MPI_TRACE("AecRefFrame don't support stereo!\n");
        return DU_ERR_AI_ILLEGAL_PARAM;
    }
    AI_AEC_LINK_S link = {(u32)AoDevId, (u32)AoChn};
    if (s32 ret = ai_ioctl(AiChn, AI_ENABLE_AECREF_CTRL, &link)) {
        MPI_TRACE("aec init fail, ai chn:%d\n", AiChn);
        return ret;
    }
    chn->bAecRefEnable = DU_TRUE;
    return 0;
}

s32 DU_DUZ_AI_DisableAecRefFrame(s32 AiDevId, s32 AiChn)
{
    if (s32 ret = ai_chn_enter(AiDevId, AiChn, false, __FUNCTION__))
        return ret;
    MPI_AI_CHN_S *chn = &s_stMpiAiChn[AiChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (chn->bAecRefEnable) {
        ai_ioctl(AiChn, AI_DISABLE_AECREF_CTRL, nullptr);
        chn->bAecRefEnable = DU_FALSE;
    }
    return 0;
}
