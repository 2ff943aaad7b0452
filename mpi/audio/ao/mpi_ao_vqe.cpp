// The output unit's resampling, voice enhancement and multiband compressor:
// one output-enhancement instance per channel serves all three, rebuilt from
// one configuration whenever any of them changes; clearing a channel's
// buffers and its save files.
#include <algorithm>
#include <cstring>

#include "board/board.h"
#include "mpi/audio/ao/ao_chn.h"
#include "mpi/audio/ao/ao_requests.h"
#include "mpi/audio/comm/audio_cirbuf.h"
#include "mpi/audio/comm/audio_stage.h"
#include "mpi/audio/comm/audio_vqe_check.h"

namespace {

constexpr u32 kResmpRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr s32 kResmpFrame = 80; // the frame of a pure rate converter

// Locks an enabled channel; else says why.
s32 enabled_chn(s32 AoChn)
{
    if (!s_astAoChn[AoChn].bEnable) {
        MPI_TRACE("AO chn %d is not enable\n", AoChn);
        return DU_ERR_AO_NOT_ENABLED;
    }
    return 0;
}

bool has_instance_state(const MPI_AO_CHN_S *chn) { return chn->bResmpEnable || chn->bVqeCfg || chn->bMbcEnable; }

s32 device_rate(s32 AudioDevId, u32 *rate)
{
    AIO_ATTR_S attr;
    if (s32 ret = DU_DUZ_AO_GetPubAttr(AudioDevId, &attr))
        return ret;
    *rate = attr.enSamplerate;
    return 0;
}

const AudioStageUnit<DNVQE_CFG_S> kAoStage = {
    DU_ID_AO, "AoDev", [](s32 AoChn) { return has_instance_state(&s_astAoChn[AoChn]); }, ao_vqe_cfg, device_rate,
    ao_vqe_rebuild,
};

constexpr const char *kVqeFail = "Ao dev: %d, ao chn:%d, create vqe fail.\n";
constexpr const char *kResmpFail = "Ao dev: %d, ao chn:%d, create resampler fail.\n";

template <class Change>
s32 switch_stage(s32 AudioDevId, s32 AoChn, const AudioStageSwitch &how, Change &&change)
{
    return audio_switch_stage(kAoStage, how, AudioDevId, AoChn, change);
}

bool off_anyway(s32 ret) { return audio_stage_off_anyway(ret, DU_ERR_AO_VQE_ERR); }

// The device attributes a switch needs: readable, mono, with the channel, 16 bit.
s32 check_device(s32 AudioDevId, s32 AoChn, AIO_ATTR_S *attr, const char *attr_msg, const char *stereo_msg,
                 const char *chn_msg, const char *width_msg)
{
    if (DU_DUZ_AO_GetPubAttr(AudioDevId, attr) != 0) {
        MPI_TRACE(attr_msg, AudioDevId);
        return DU_ERR_AO_NOT_CONFIG;
    }
    if (attr->enSoundmode != 0) {
        MPI_TRACE("%s", stereo_msg);
        return DU_ERR_AO_ILLEGAL_PARAM;
    }
    if (chn_msg && (u32)AoChn >= attr->u32ChnCnt) {
        MPI_TRACE(chn_msg, AudioDevId, AoChn);
        return DU_ERR_AO_INVALID_CHNID;
    }
    if (attr->enBitwidth != 1) {
        MPI_TRACE("%s", width_msg);
        return DU_ERR_AO_NOT_SUPPORT;
    }
    return 0;
}

s32 vqe_check_failed(s32 AoChn, s32 code)
{
    MPI_TRACE("AO chn %d check vqe parameter failed!\n", AoChn);
    return code;
}

s32 check_general(s32 AoChn, const AO_VQE_ATTR_S &a)
{
    if (a.s32FrameSample < 80 || a.s32FrameSample > 4096) {
        MPI_TRACE("frame length: %d is invalid, ao chn:%d.\n", a.s32FrameSample, AoChn);
        return vqe_check_failed(AoChn, DU_ERR_AO_ILLEGAL_PARAM);
    }
    if (a.u32WorkMode > 2) {
        MPI_TRACE("work mode: %d is invalid, ao chn:%d.\n", a.u32WorkMode, AoChn);
        return vqe_check_failed(AoChn, DU_ERR_AO_ILLEGAL_PARAM);
    }
    if (a.s32WorkSampleRate == 48000) {
        if (a.bAnrOpen || a.bAgcOpen || a.bEqOpen) {
            MPI_TRACE(" work sample rate: %d is valid only for hpf, ao chn:%d.\n", a.s32WorkSampleRate, AoChn);
            return vqe_check_failed(AoChn, DU_ERR_AO_ILLEGAL_PARAM);
        }
    } else if (a.s32WorkSampleRate != 8000 && a.s32WorkSampleRate != 16000) {
        MPI_TRACE("work sample rate: %d is invalid, ao chn:%d.\n", a.s32WorkSampleRate, AoChn);
        return vqe_check_failed(AoChn, DU_ERR_AO_ILLEGAL_PARAM);
    }
    if (a.bAgcOpen > 1 || a.bAnrOpen > 1 || a.bHpfOpen > 1 || a.bEqOpen > 1) {
        MPI_TRACE("flag of agc: %d, anr: %d, hpf: %d  eq: %d is invalid, ao chn:%d\n", a.bAgcOpen, a.bAnrOpen,
                  a.bHpfOpen, a.bEqOpen, AoChn);
        return vqe_check_failed(AoChn, DU_ERR_AO_ILLEGAL_PARAM);
    }
    if (!a.bAgcOpen && !a.bAnrOpen && !a.bHpfOpen && !a.bEqOpen) {
        MPI_TRACE("all flag of agc: %d, anr: %d, hpf: %d, eq: %d is false, ao chn:%d\n", a.bAgcOpen, a.bAnrOpen,
                  a.bHpfOpen, a.bEqOpen, AoChn);
        return vqe_check_failed(AoChn, DU_ERR_AO_NOT_PERM);
    }
    if (a.bEqOpen && !a.bAgcOpen) {
        MPI_TRACE(" eq cannot be open when agc close, , ao chn:%d\n", AoChn);
        return vqe_check_failed(AoChn, DU_ERR_AO_NOT_PERM);
    }
    return 0;
}

// A record that asks for what is configured already.
bool unchanged(const MPI_AO_CHN_S *chn, const DNVQE_CFG_S &cur, const AO_VQE_ATTR_S &a)
{
    auto module = [](u32 was, u32 on, u32 was_mode, u32 mode, bool same) {
        return was == on && (!on || (was_mode == mode && (!mode || same)));
    };
    const VQE_AGC_CFG_S &g = cur.stAgcCfg, &h = a.stAgcCfg;
    return chn->bVqeCfg && cur.s32WorkSampleRate == a.s32WorkSampleRate && cur.s32FrameSample == a.s32FrameSample &&
           cur.u32WorkMode == a.u32WorkMode &&
           module(chn->bHpfOpen, a.bHpfOpen, cur.stHpfCfg.bUsrMode, a.stHpfCfg.bUsrMode,
                  cur.stHpfCfg.u32HpfFreq == a.stHpfCfg.u32HpfFreq) &&
           module(chn->bAnrOpen, a.bAnrOpen, cur.stAnrCfg.bUsrMode, a.stAnrCfg.bUsrMode,
                  cur.stAnrCfg.s16NrIntensity == a.stAnrCfg.s16NrIntensity &&
                      cur.stAnrCfg.s16NoiseDbThr == a.stAnrCfg.s16NoiseDbThr &&
                      cur.stAnrCfg.s8SpProSwitch == a.stAnrCfg.s8SpProSwitch) &&
           module(chn->bAgcOpen, a.bAgcOpen, g.bUsrMode, h.bUsrMode,
                  g.s8TargetLevel == h.s8TargetLevel && g.s8NoiseFloor == h.s8NoiseFloor &&
                      g.s8MaxGain == h.s8MaxGain && g.s8AdjustSpeed == h.s8AdjustSpeed &&
                      g.s8ImproveSNR == h.s8ImproveSNR && g.s8UseHighPassFilt == h.s8UseHighPassFilt &&
                      g.s8OutputMode == h.s8OutputMode && g.s16NoiseSupSwitch == h.s16NoiseSupSwitch) &&
           chn->bEqOpen == a.bEqOpen &&
           (!a.bEqOpen || !memcmp(cur.stEqCfg.s8GaindB, a.stEqCfg.s8GaindB, sizeof a.stEqCfg.s8GaindB));
}

// The driver's record of the enhancement while it is on.
void send_vqe_enabled(s32 AoChn, const DNVQE_CFG_S &cfg)
{
    u8 rec[AO_VQE_STATUS_LEN] = {};
    u32 one = 1;
    memcpy(rec, &one, 4);
    memcpy(rec + 4, &cfg.bHpfOn, 4);
    memcpy(rec + 8, &cfg.bAnrOn, 4);
    memcpy(rec + 12, &cfg.bAgcOn, 4);
    memcpy(rec + 16, &cfg.bEqOn, 4);
    memcpy(rec + 28, &cfg.s32WorkSampleRate, 4);
    memcpy(rec + 36, &cfg.s32FrameSample, 4);
    memcpy(rec + 40, &cfg.u32WorkMode, 4);
    memcpy(rec + 44, &cfg.stHpfCfg, 8);
    memcpy(rec + 52, &cfg.stAnrCfg, 16);
    memcpy(rec + 68, &cfg.stAgcCfg, 20);
    memcpy(rec + 88, &cfg.stEqCfg, 16);
    ao_ioctl(AoChn, AO_VQE_STATUS_CTRL, rec);
}

void put_switches(const MPI_AO_CHN_S *chn, DNVQE_CFG_S *cfg, bool on)
{
    cfg->bHpfOn = on && chn->bHpfOpen;
    cfg->bAnrOn = on && chn->bAnrOpen;
    cfg->bAgcOn = on && chn->bAgcOpen;
    cfg->bEqOn = on && chn->bEqOpen;
}

s32 check_mbc(s32 AoChn, const AO_MBC_ATTR_S &a)
{
    const VQE_MBC_CFG_S &c = a.stMbcCfg;
    if (a.bMbcOpen != 1)
        MPI_TRACE("AO chn %d MBC is not enable\n", AoChn);
    else if (a.u32SampleRate != 8000 && a.u32SampleRate != 16000)
        MPI_TRACE("MBC SampleRate: %d is invalid, ao chn:%d.\n", a.u32SampleRate, AoChn);
    else if (a.u32FrameLen < 81 || a.u32FrameLen > 4096)
        MPI_TRACE("frame length: %d is invalid, ao chn:%d.\n", a.u32FrameLen, AoChn);
    else if (a.u32WorkMode > 3)
        MPI_TRACE("work mode: %d is invalid, ao chn:%d.\n", a.u32WorkMode, AoChn);
    else if (c.u32Channel > 1)
        MPI_TRACE("Channel: %d is invalid, ao chn:%d.\n", c.u32Channel, AoChn);
    else if (c.u32BandNum < 1 || c.u32BandNum > 5)
        MPI_TRACE("Band Num: %d is invalid, ao chn:%d.\n", c.u32BandNum, AoChn);
    else
        return 0;
    MPI_TRACE("Ao chn %d check dvqe parameter failed!\n", AoChn);
    return DU_ERR_AO_ILLEGAL_PARAM;
}

// The settings the attributes and the instance's configuration share by name.
template <class From, class To> void copy_settings(const From &f, To &t)
{
    t.s32WorkSampleRate = f.s32WorkSampleRate;
    t.s32FrameSample = f.s32FrameSample;
    t.u32WorkMode = f.u32WorkMode;
    t.stHpfCfg = f.stHpfCfg;
    t.stAnrCfg = f.stAnrCfg;
    t.stAgcCfg = f.stAgcCfg;
    t.stEqCfg = f.stEqCfg;
}

// The settings of every module the record opens.
s32 check_modules(s32 AudioDevId, s32 AoChn, const AO_VQE_ATTR_S &a)
{
    const AUDIO_VQE_CHECK_S u = {"Ao", "ao", "AO", "ai", "anr", AudioDevId, AoChn, DU_ERR_AO_ILLEGAL_PARAM};
    s32 ret = 0;
    if (a.bAgcOpen && (ret = audio_vqe_check_agc(&u, &a.stAgcCfg)))
        return ret;
    if (a.bHpfOpen && (ret = audio_vqe_check_hpf(&u, &a.stHpfCfg)))
        return ret;
    if (a.bAnrOpen && (ret = audio_vqe_check_anr(&u, &a.stAnrCfg)))
        return ret;
    if (a.bEqOpen && (ret = audio_vqe_check_eq(&u, &a.stEqCfg)))
        return ret;
    return 0;
}

} // namespace

// ---- the instance --------------------------------------------------------------------------------

s32 ao_vqe_cfg(s32 AoDevId, s32 AoChn, DNVQE_CFG_S *pstCfg)
{
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    if (!has_instance_state(chn) || !chn->pDnVqeHandle) {
        MPI_TRACE("AO chn %d is not config vqe and resmp!\n", AoChn);
        return DU_ERR_AO_NOT_PERM;
    }
    if (s32 ret = DU_DNVQE_GetConfig(chn->pDnVqeHandle, pstCfg)) {
        MPI_TRACE("AO dev: %d, ao chn:%d, get vqe attr fail, s32Ret: 0x%x.\n", AoDevId, AoChn, ret);
        return DU_ERR_AO_VQE_ERR;
    }
    return 0;
}

void ao_vqe_destroy(s32 AoChn)
{
    DU_DNVQE_Destroy(s_astAoChn[AoChn].pDnVqeHandle);
    s_astAoChn[AoChn].pDnVqeHandle = nullptr;
}

s32 ao_vqe_rebuild(s32 AoChn, const DNVQE_CFG_S *pstCfg)
{
    ao_vqe_destroy(AoChn);
    DNVQE_INSTANCE_S *inst = nullptr;
    if (s32 ret = DU_DNVQE_Create(&inst, pstCfg))
        return ret;
    s_astAoChn[AoChn].pDnVqeHandle = inst;
    return 0;
}

s32 ao_resmp_off(s32 AudioDevId, s32 AoChn, bool rebuild)
{
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    s32 ret = 0;
    // Without an instance (a rebuild failed) there is nothing to take back.
    if (rebuild && chn->pDnVqeHandle) {
        ret = switch_stage(AudioDevId, AoChn, {nullptr, kResmpFail, DU_ERR_AO_VQE_ERR},
                           [&](DNVQE_CFG_S &cfg) { return audio_stage_at_device_rate(kAoStage, AudioDevId, &cfg); });
        if (!off_anyway(ret))
            return ret;
    }
    chn->bResmpEnable = DU_FALSE;
    return ret;
}

void ao_save_frame(s32 AoChn, const void *in, u32 in_len, const AUDIO_FRAME_S &out, u32 in_rate, u32 out_rate)
{
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    AUDIO_SAVE_FILE_INFO_S &info = chn->stSaveFileInfo;
    if (!chn->bVqeEnable || !info.bCfg) {
        audio_dump_close(&chn->stDump);
        return;
    }
    if (!chn->stDump.bFileOpen) {
        char sin[600], sou[600];
        snprintf(sin, sizeof sin, "%s/Sin_AoDev%d_Chn%d_%dK_%s.pcm", info.aFilePath, 0, AoChn, in_rate / 1000,
                 info.aFileName);
        snprintf(sou, sizeof sou, "%s/Sou_AoDev%d_Chn%d_%dK_%s.pcm", info.aFilePath, 0, AoChn, out_rate / 1000,
                 info.aFileName);
        const char *paths[AUDIO_DUMP_BUTT] = {sin, sou, nullptr};
        if (!audio_dump_open(&chn->stDump, paths)) {
            MPI_TRACE("DevId:%d, AoChn:%d, File: InFilePath/OutFilePath open failed!Please check your Filepath!\n", 0,
                      AoChn);
            return;
        }
    }
    const u32 limit = info.u32FileSize * 1024;
    audio_dump_write(&chn->stDump, AUDIO_DUMP_SIN, in, in_len, limit);
    audio_dump_write(&chn->stDump, AUDIO_DUMP_SOU, out.pVirAddr[0], out.u32Len, limit);
    if (audio_dump_full(&chn->stDump, limit)) {
        info.bCfg = DU_FALSE;
        info.u32FileSize = 1;
        if (ao_ioctl(AoChn, AO_SET_SAVEFILE_CTRL, &info) == 0)
            audio_dump_close(&chn->stDump);
    }
}

s32 MPI_AO_GetVqeAttr(s32 AudioDevId, s32 AoChn, DNVQE_CFG_S *pstVqeCfg)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    if (!pstVqeCfg)
        return DU_ERR_AO_NULL_PTR;
    MpiMutexGuard lock(&s_astAoChn[AoChn].stMutex);
    return ao_vqe_cfg(AudioDevId, AoChn, pstVqeCfg);
}

// ---- resampling --------------------------------------------------------------------------------

s32 DU_DUZ_AO_EnableReSmp(s32 AudioDevId, s32 AoChn, u32 enInSampleRate)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (s32 ret = enabled_chn(AoChn))
        return ret;
    if (chn->bResmpEnable) {
        if (chn->stResmpInfo.enInSampleRate == enInSampleRate)
            return 0;
        MPI_TRACE("Resmp has been enable but the resamplerate:%d not the same as before:%d.\n", enInSampleRate,
                  chn->stResmpInfo.enInSampleRate);
        return DU_ERR_AO_NOT_PERM;
    }
    if (std::find(std::begin(kResmpRates), std::end(kResmpRates), enInSampleRate) == std::end(kResmpRates)) {
        MPI_TRACE("AoChn %d resample in rate:%d is illegal!\n", AoChn, enInSampleRate);
        return DU_ERR_AO_ILLEGAL_PARAM;
    }
    AIO_ATTR_S attr;
    if (DU_DUZ_AO_GetPubAttr(AudioDevId, &attr) != 0) {
        MPI_TRACE("can't get aodev%d's attribute!\n", AudioDevId);
        return DU_ERR_AO_NOT_CONFIG;
    }
    if (attr.enSamplerate == enInSampleRate) {
        MPI_TRACE("resample out rate is the same as resample in rate, it's not allowed!\n");
        return DU_ERR_AO_NOT_PERM;
    }
    if (s32 ret = check_device(AudioDevId, AoChn, &attr, "can't get aodev%d's attribute!\n",
                               "resample don't support stereo!\n", "enable resample fail,Aodev%d don't have chn%d\n",
                               "resample don't support 8 bit!\n"))
        return ret;
    AO_RESMP_INFO_S info = {attr.u32PtNumPerFrm, enInSampleRate, attr.enSamplerate};
    // A channel without an instance gets a pure rate converter at the device rate.
    if (s32 ret = switch_stage(AudioDevId, AoChn, {"can't get aodev%d's attribute!\n", kResmpFail, DU_ERR_AO_VQE_ERR},
                               [&](DNVQE_CFG_S &cfg) {
                                   if (!has_instance_state(chn)) {
                                       cfg.s32WorkSampleRate = (s32)info.enOutSampleRate;
                                       cfg.s32FrameSample = kResmpFrame;
                                   }
                                   cfg.s32InSampleRate = (s32)info.enInSampleRate;
                                   cfg.s32OutSampleRate = (s32)info.enOutSampleRate;
                                   return 0;
                               }))
        return ret;
    chn->bResmpEnable = DU_TRUE;
    chn->stResmpInfo = info;
    AO_RESMP_STATUS_S status = {1, info.u32PtNumPerFrm, info.enInSampleRate, info.enOutSampleRate};
    ao_ioctl(AoChn, AO_RESMP_STATUS_CTRL, &status);
    return 0;
}

s32 DU_DUZ_AO_DisableReSmp(s32 AudioDevId, s32 AoChn)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (chn->bResmpEnable)
        if (s32 ret = ao_resmp_off(AudioDevId, AoChn, true))
            return ret;
    AO_RESMP_STATUS_S status = {};
    return ao_ioctl(AoChn, AO_RESMP_STATUS_CTRL, &status);
}

// ---- voice enhancement -----------------------------------------------------------------------

s32 DU_DUZ_AO_SetVqeAttr(s32 AudioDevId, s32 AoChn, const AO_VQE_ATTR_S *pstVqeConfig)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    if (!pstVqeConfig)
        return DU_ERR_AO_NULL_PTR;
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    MpiMutexGuard lock(&chn->stMutex);
    const AO_VQE_ATTR_S &a = *pstVqeConfig;
    if (s32 ret = enabled_chn(AoChn))
        return ret;
    if (chn->bVqeEnable) {
        MPI_TRACE("AO chn %d has enable vqe! Please disable vqe then config it!\n", AoChn);
        return DU_ERR_AO_NOT_PERM;
    }
    if (s32 ret = check_general(AoChn, a))
        return ret;
    // The instance's configuration keeps the resampling and the compressor;
    // a record that asks for what is configured changes nothing.
    if (s32 ret = switch_stage(AudioDevId, AoChn, {"AiDev: %d haven't set attr!\n", kVqeFail, DU_ERR_AO_VQE_ERR},
                               [&](DNVQE_CFG_S &cfg) {
                                   if (unchanged(chn, cfg, a))
                                       return kAudioStageKept;
                                   if (s32 ret = check_modules(AudioDevId, AoChn, a))
                                       return ret;
                                   put_switches(chn, &cfg, false);
                                   cfg.bMbcOn = chn->bMbcEnable;
                                   copy_settings(a, cfg);
                                   return 0;
                               }))
        return ret;
    chn->bHpfOpen = a.bHpfOpen;
    chn->bAnrOpen = a.bAnrOpen;
    chn->bAgcOpen = a.bAgcOpen;
    chn->bEqOpen = a.bEqOpen;
    chn->bVqeCfg = DU_TRUE;
    return 0;
}

s32 DU_DUZ_AO_GetVqeAttr(s32 AudioDevId, s32 AoChn, AO_VQE_ATTR_S *pstVqeConfig)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    if (!pstVqeConfig)
        return DU_ERR_AO_NULL_PTR;
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    MpiMutexGuard lock(&chn->stMutex);
    DNVQE_CFG_S cfg;
    if (s32 ret = ao_vqe_cfg(AudioDevId, AoChn, &cfg))
        return ret;
    AO_VQE_ATTR_S &a = *pstVqeConfig;
    a.bHpfOpen = chn->bHpfOpen;
    a.bAnrOpen = chn->bAnrOpen;
    a.bAgcOpen = chn->bAgcOpen;
    a.bEqOpen = chn->bEqOpen;
    copy_settings(cfg, a);
    return 0;
}

s32 DU_DUZ_AO_EnableVqe(s32 AudioDevId, s32 AoChn)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (s32 ret = enabled_chn(AoChn))
        return ret;
    if (chn->bVqeEnable)
        return 0;
    if (!chn->bVqeCfg) {
        MPI_TRACE("AO chn %d is not config vqe attr!\n", AoChn);
        return DU_ERR_AO_NOT_CONFIG;
    }
    AIO_ATTR_S attr;
    if (s32 ret = check_device(AudioDevId, AoChn, &attr, "AoDev: %d haven't set attr!\n", "vqe don't support stereo!\n",
                               "enable vqe fail, Aodev%d don't have chn%d\n", "vqe don't support 8 bit!\n"))
        return ret;
    // The channel says enabled only once the instance runs the modules.
    DNVQE_CFG_S on;
    if (s32 ret = switch_stage(AudioDevId, AoChn, {nullptr, kVqeFail, DU_ERR_AO_VQE_ERR}, [&](DNVQE_CFG_S &cfg) {
            if (cfg.s32OutSampleRate != (s32)attr.enSamplerate) {
                MPI_TRACE("vqe's sample rate out:%d and device's sample rate:%d must be same!\n",
                          cfg.s32OutSampleRate, attr.enSamplerate);
                return DU_ERR_AO_ILLEGAL_PARAM;
            }
            put_switches(chn, &cfg, true);
            on = cfg;
            return 0;
        }))
        return ret;
    chn->bVqeEnable = DU_TRUE;
    send_vqe_enabled(AoChn, on);
    return 0;
}

s32 DU_DUZ_AO_DisableVqe(s32 AudioDevId, s32 AoChn)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (!chn->bVqeEnable)
        return 0;
    s32 ret = 0;
    if (chn->pDnVqeHandle) { // else a rebuild failed: nothing is left to switch off
        ret = switch_stage(AudioDevId, AoChn, {nullptr, kVqeFail, DU_ERR_AO_VQE_ERR}, [&](DNVQE_CFG_S &cfg) {
            put_switches(chn, &cfg, false);
            return 0;
        });
        if (!off_anyway(ret))
            return ret;
    }
    chn->bVqeEnable = DU_FALSE;
    audio_dump_close(&chn->stDump); // the save files follow the enhancement
    ao_send_vqe_disabled(AoChn);
    return ret;
}

// ---- multiband compressor --------------------------------------------------------------------

s32 DU_DUZ_AO_EnableMBC(s32 AudioDevId, s32 AoChn, const AO_MBC_ATTR_S *pstMbcAttr)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    if (!pstMbcAttr)
        return DU_ERR_AO_NULL_PTR;
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    MpiMutexGuard lock(&chn->stMutex);
    if (s32 ret = enabled_chn(AoChn))
        return ret;
    if (chn->bMbcEnable)
        return 0;
    const AO_MBC_ATTR_S &a = *pstMbcAttr;
    if (s32 ret = check_mbc(AoChn, a))
        return ret;
    // The compressor runs on track 0 in 16 bit, as the rest of the enhancement.
    AIO_ATTR_S attr;
    if (s32 ret = check_device(AudioDevId, AoChn, &attr, "AoDev: %d get pub attr failed!\n",
                               "MBC don't support stereo!\n", nullptr, "MBC don't support 8 bit!\n"))
        return ret;
    if (s32 ret = switch_stage(AudioDevId, AoChn,
                               {"AoDev: %d get pub attr failed!\n",
                                "Ao dev: %d, ao chn:%d, create dnvqe fail. s32Ret:0x%0x\n", DU_ERR_AO_VQE_ERR},
                               [&](DNVQE_CFG_S &cfg) {
                                   cfg.bMbcOn = 1;
                                   cfg.s32WorkSampleRate = (s32)a.u32SampleRate;
                                   cfg.s32FrameSample = (s32)a.u32FrameLen;
                                   cfg.u32WorkMode = a.u32WorkMode;
                                   cfg.stMbcCfg = a.stMbcCfg;
                                   return 0;
                               }))
        return ret;
    chn->bMbcEnable = DU_TRUE;
    return 0;
}

s32 DU_DUZ_AO_DisableMBC(s32 AudioDevId, s32 AoChn)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    MpiMutexGuard lock(&chn->stMutex);
    s32 ret = 0;
    if (chn->bMbcEnable && chn->pDnVqeHandle) {
        ret = switch_stage(AudioDevId, AoChn,
                           {nullptr, "Ao dev: %d, ao chn:%d, create dvqe fail. s32Ret:0x%0x\n", DU_ERR_AO_VQE_ERR},
                           [](DNVQE_CFG_S &cfg) {
                               cfg.bMbcOn = 0;
                               return 0;
                           });
        if (!off_anyway(ret))
            return ret;
    }
    chn->bMbcEnable = DU_FALSE;
    return ret;
}

// ---- buffers and save files --------------------------------------------------------------------

s32 DU_DUZ_AO_ClearChnBuf(s32 AudioDevId, s32 AoChn)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    MPI_AO_CHN_S *chn = &s_astAoChn[AoChn];
    MpiMutexGuard lock(&chn->stMutex);
    for (AO_CIR_BUF_S &b : chn->stCirBuf) {
        b.u32Read = b.u32Write = 0;
        b.bWriteJump = DU_FALSE;
    }
    // An instance the send path runs holds samples too: the same
    // configuration made anew drops them.
    if (chn->pDnVqeHandle && (chn->bVqeEnable || chn->bResmpEnable || chn->bMbcEnable))
        if (s32 ret = switch_stage(AudioDevId, AoChn, {nullptr, kVqeFail, 0}, [](DNVQE_CFG_S &) { return 0; }))
            return ret;
    return ao_ioctl(AoChn, AO_CLEAR_CHNBUF_CTRL, nullptr);
}

s32 DU_DUZ_AO_SaveFile(s32 AudioDevId, s32 AoChn, const AUDIO_SAVE_FILE_INFO_S *pstSaveFileInfo)
{
    if (s32 ret = ao_enter(AudioDevId, AoChn, __FUNCTION__))
        return ret;
    if (!pstSaveFileInfo)
        return DU_ERR_AO_NULL_PTR;
    MpiMutexGuard lock(&s_astAoChn[AoChn].stMutex);
    return ao_ioctl(AoChn, AO_SET_SAVEFILE_CTRL, const_cast<AUDIO_SAVE_FILE_INFO_S *>(pstSaveFileInfo));
}
