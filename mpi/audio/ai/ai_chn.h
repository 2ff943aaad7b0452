// What the input unit's files share about a channel: the checks every call
// starts with, the channel's node, and its enhancement instance (replaced
// only with the channel mutex held, and published in g_astVqeState under the
// entry's mutex for the encoder's step, mpi_ai_enc_step.cpp). Only the
// unit's own files include this header.
#pragma once

#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/audio/comm/audio_chn_hold.h"
#include "mpi/audio/comm/audio_stage.h"

// A channel's enhancement as the encoder's step sees it; its mutex is the
// step's lock.
struct AI_VQE_STATE_S {
    UPVQE_INSTANCE_S *pVqeHandle;
    u32 bVqeEnable;
    u32 bResmpEnable;
    u32 u32ResmpPoolId;
    pthread_mutex_t stMutex;
};

// The channels' records (mpi_ai.cpp), and what each publishes for the encoder.
extern MPI_AI_CHN_S s_stMpiAiChn[AIO_MAX_CHN_NUM];
extern AI_VQE_STATE_S g_astVqeState[AIO_MAX_CHN_NUM];

// Device, channel and the pointer a call needs (when `null_ptr`); then the
// channel's node.
s32 ai_chn_check(s32 AiDevId, s32 AiChn, bool null_ptr, const char *func);
s32 ai_chn_enter(s32 AiDevId, s32 AiChn, bool null_ptr, const char *func);
s32 ai_ioctl(s32 AiChn, unsigned long request, void *arg);
// A public call that is one request: the checks above (the pointer when
// `needs_arg`), then the request on the channel's node. Device calls go to
// channel 0's.
s32 ai_call(const char *func, s32 AiDevId, s32 AiChn, unsigned long request, void *arg, bool needs_arg);
// A call on one channel: the checks of ai_chn_enter, then the channel held
// for the call's scope (and, when `needs` says so, enabled).
using AiChnHold = AudioChnHold<MPI_AI_CHN_S>;
AiChnHold ai_chn_hold(s32 AiDevId, s32 AiChn, bool null_ptr, const char *func,
                      AudioChnNeeds needs = AudioChnNeeds::entry);

// The channel's instance configuration (channel mutex held): 0, or 0xA0158009
// when there is none, 0xA0158041 when it can't be read.
s32 ai_vqe_cfg(s32 AiChn, UPVQE_CFG_S *pstCfg);
// Replaces the channel's instance by one made from `cfg` (channel mutex
// held); on failure the channel has none. 0 or the chain's status.
s32 ai_vqe_replace(s32 AiChn, const UPVQE_CFG_S *pstCfg);
// Destroys it, leaving none.
void ai_vqe_destroy(s32 AiChn);

// The input side of a stage switch (channel mutex held).
extern const AudioStageUnit<UPVQE_CFG_S> g_stAiStage;
template <class Change>
s32 ai_switch_stage(s32 AiDevId, s32 AiChn, const AudioStageSwitch &how, Change &&change)
{
    return audio_switch_stage(g_stAiStage, how, AiDevId, AiChn, change);
}
constexpr const char *kAiVqeFail = "Ai dev: %d, ai chn:%d, create vqe fail.\n";
constexpr const char *kAiResmpFail = "Ai dev: %d, ai chn:%d, create resampler fail.\n";

// The settings the HiFi attributes and the instance's configuration share by name.
template <class From, class To> void ai_copy_hifi_settings(const From &f, To &t)
{
    audio_copy_general(f, t);
    t.stRnrCfg = f.stRnrCfg;
    t.stHdrCfg = f.stHdrCfg;
    t.stAvcCfg = f.stAvcCfg;
    t.stPeqCfg = f.stPeqCfg;
}

// The normal record's switches beside the channel's open flags, one pair at
// a time, in the record's order: `pair(open, on)` copies one way or the other.
template <class Pair> void ai_normal_switches(MPI_AI_CHN_S *chn, AI_VQE_ATTR_S &a, Pair &&pair)
{
    pair(chn->bHpfOpen, a.bHpfOn);
    pair(chn->bAecOpen, a.bAecOn);
    pair(chn->bAnrOpen, a.bAnrOn);
    pair(chn->bRnrOpen, a.bRnrOn);
    pair(chn->bAgcOpen, a.bAgcOn);
    pair(chn->bEqOpen, a.bEqOn);
    pair(chn->bHdrOpen, a.bHdrOn);
}

// Resampling off (channel mutex held, resampling on): the pool goes, and
// with `rebuild` the instance goes back to the device rate.
s32 ai_resmp_off(s32 AiDevId, s32 AiChn, bool rebuild);

// The driver's record of the enhancement while it is off.
void ai_send_vqe_disabled(s32 AiChn);
