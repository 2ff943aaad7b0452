// Audio input: device 0 with 16 channels over /dev/ai.
// Every public call that is one request goes through ai_call (mpi_ai.cpp);
// the others start with its checks and the node's open: ai_dev_enter for the
// device, ai_chn_enter or ai_chn_hold (ai_chn.h) for a channel.
#pragma once

#include <pthread.h>

#include "mpi/audio/ai/ai_requests.h"
#include "mpi/audio/comm/mpi_audio_comm.h"
#include "mpi/audio/vqe/upvqe.h"

constexpr u32 AI_DEV_MAX_NUM = 1;
constexpr u32 AIO_MAX_CHN_NUM = 16;
constexpr u32 MAX_AI_POINT_NUM = 2048;
constexpr u32 AI_WORK_BUF_SIZE = 4096;
constexpr u32 AI_RESMP_POOL_BLK_SIZE = 8192; // resampled frames above the device rate
constexpr u32 AI_RESMP_POOL_BLK_CNT = 10;

constexpr s32 DU_ERR_AI_INVALID_DEVID = mpi_status(DU_ID_AI, ERR_INVALID_DEVID);
constexpr s32 DU_ERR_AI_INVALID_CHNID = mpi_status(DU_ID_AI, ERR_INVALID_CHNID);
constexpr s32 DU_ERR_AI_ILLEGAL_PARAM = mpi_status(DU_ID_AI, ERR_ILLEGAL_PARAM);
constexpr s32 DU_ERR_AI_NOT_ENABLED = mpi_status(DU_ID_AI, ERR_UNEXIST);
constexpr s32 DU_ERR_AI_NULL_PTR = mpi_status(DU_ID_AI, ERR_NULL_PTR);
constexpr s32 DU_ERR_AI_NOT_CONFIG = mpi_status(DU_ID_AI, ERR_NOT_CONFIG);
constexpr s32 DU_ERR_AI_NOT_SUPPORT = mpi_status(DU_ID_AI, ERR_NOT_SUPPORT);
constexpr s32 DU_ERR_AI_NOT_PERM = mpi_status(DU_ID_AI, ERR_NOT_PERM);
constexpr s32 DU_ERR_AI_NOMEM = mpi_status(DU_ID_AI, ERR_NOMEM);
constexpr s32 DU_ERR_AI_NOTREADY = mpi_status(DU_ID_AI, ERR_SYS_NOTREADY);
constexpr s32 DU_ERR_AI_BUSY = mpi_status(DU_ID_AI, ERR_BUSY);
constexpr s32 DU_ERR_AI_VQE_ERR = mpi_status(DU_ID_AI, ERR_AUDIO_VQE);

// The normal enhancement attributes: speech processing at 8, 16 or 48 kHz.
struct AI_VQE_ATTR_S {
    u32 bHpfOn;
    u32 bAecOn;
    u32 bAnrOn;
    u32 bRnrOn;
    u32 bAgcOn;
    u32 bEqOn;
    u32 bHdrOn;
    s32 s32WorkSampleRate; // 8000, 16000 or 48000
    s32 s32FrameSample;    // 80..4096
    u32 u32WorkMode;       // 0..2
    VQE_HPF_CFG_S stHpfCfg;
    VQE_AEC_CFG_S stAecCfg;
    VQE_ANR_CFG_S stAnrCfg;
    VQE_RNR_CFG_S stRnrCfg;
    VQE_AGC_CFG_S stAgcCfg;
    VQE_EQ_CFG_S stEqCfg;
    VQE_HDR_CFG_S stHdrCfg;
};

// The HiFi attributes: 48 kHz processing.
constexpr u32 AI_HIFIVQE_MASK_HPF = 1u << 0;
constexpr u32 AI_HIFIVQE_MASK_RNR = 1u << 1;
constexpr u32 AI_HIFIVQE_MASK_HDR = 1u << 2;
constexpr u32 AI_HIFIVQE_MASK_AVC = 1u << 3;
constexpr u32 AI_HIFIVQE_MASK_PEQ = 1u << 4;
struct AI_HIFIVQE_ATTR_S {
    u32 u32OpenMask;       // AI_HIFIVQE_MASK_* bits
    s32 s32WorkSampleRate; // 48000
    s32 s32FrameSample;    // 80..4096
    u32 u32WorkMode;       // 0..2
    VQE_HPF_CFG_S stHpfCfg;
    VQE_RNR_CFG_S stRnrCfg;
    VQE_HDR_CFG_S stHdrCfg;
    VQE_AVC_CFG_S stAvcCfg;
    VQE_PEQ_CFG_S stPeqCfg;
};

struct AI_RESMP_INFO_S {
    u32 u32PtNumPerFrm;
    u32 enInSampleRate;
    u32 enOutSampleRate;
};

// One input channel; its mutex guards the record.
struct MPI_AI_CHN_S {
    pthread_mutex_t stMutex;
    // Module switches of the enhancement attributes.
    u32 bAnrOpen, bAecOpen, bAgcOpen, bHpfOpen, bRnrOpen, bEqOpen, bHdrOpen, bAvcOpen, bPeqOpen;
    u32 bVqeCfg;
    u32 bVqeEnable;
    UPVQE_INSTANCE_S *pVqeHandle; // the channel's enhancement instance, null when none
    u32 bResmpEnable;
    AI_RESMP_INFO_S stResmpInfo;
    u32 u32ResmpPoolId;   // VB_INVALID_POOLID when none
    u32 bEnable;
    s32 s32AoDev;         // output linked for echo cancellation, -1 when none
    s32 s32AoChn;
    u32 u32AecMissCnt;
    void *pWorkBuf;       // AI_WORK_BUF_SIZE bytes while enabled
    u32 bAecRefEnable;
    u32 enVqeCfgType;     // 1 normal, 3 HiFi, 0 none
};

// The device: the driver's frame pool, mapped at enable.
struct MPI_AI_DEV_S {
    u32 u32PoolId;
};

s32 MPI_AI_Init(void);
s32 MPI_AI_Exit(void);

s32 DU_DUZ_AI_SetPubAttr(s32 AiDevId, const AIO_ATTR_S *pstAttr);
s32 DU_DUZ_AI_GetPubAttr(s32 AiDevId, AIO_ATTR_S *pstAttr);
s32 DU_DUZ_AI_ClrPubAttr(s32 AiDevId);
// Enabling maps the driver's frame pool; disabling gives the mapping back
// first and keeps the device when blocks of it are still held.
s32 DU_DUZ_AI_Enable(s32 AiDevId);
s32 DU_DUZ_AI_Disable(s32 AiDevId);
s32 DU_DUZ_AI_EnableChn(s32 AiDevId, s32 AiChn);
s32 DU_DUZ_AI_DisableChn(s32 AiDevId, s32 AiChn);
// Pulls a frame (the channel needs a frame depth); s32MilliSec -1 waits.
s32 DU_DUZ_AI_GetFrame(s32 AiDevId, s32 AiChn, AUDIO_FRAME_S *pstFrm, AEC_REF_FRAME_S *pstAecFrm, s32 s32MilliSec);
s32 DU_DUZ_AI_ReleaseFrame(s32 AiDevId, s32 AiChn, const AUDIO_FRAME_S *pstFrm, const AEC_REF_FRAME_S *pstAecFrm);
s32 DU_DUZ_AI_SetChnParam(s32 AiDevId, s32 AiChn, const AI_CHN_PARAM_S *pstChnParam);
s32 DU_DUZ_AI_GetChnParam(s32 AiDevId, s32 AiChn, AI_CHN_PARAM_S *pstChnParam);
// Resampling of the channel's frames to another rate (mono 16-bit devices).
s32 DU_DUZ_AI_EnableReSmp(s32 AiDevId, s32 AiChn, u32 enOutSampleRate);
s32 DU_DUZ_AI_DisableReSmp(s32 AiDevId, s32 AiChn);
// The voice enhancement: attributes first (with the enhancement off), then
// switched on and off; the attributes stay across a switch-off.
s32 DU_DUZ_AI_SetVqeAttr(s32 AiDevId, s32 AiChn, s32 AoDevId, s32 AoChn, AI_VQE_ATTR_S *pstVqeConfig);
s32 DU_DUZ_AI_GetVqeAttr(s32 AiDevId, s32 AiChn, AI_VQE_ATTR_S *pstVqeConfig);
s32 DU_DUZ_AI_SetHiFiVqeAttr(s32 AiDevId, s32 AiChn, AI_HIFIVQE_ATTR_S *pstHiFiVqeConfig);
s32 DU_DUZ_AI_GetHiFiVqeAttr(s32 AiDevId, s32 AiChn, AI_HIFIVQE_ATTR_S *pstHiFiVqeConfig);
s32 DU_DUZ_AI_EnableVqe(s32 AiDevId, s32 AiChn);
s32 DU_DUZ_AI_DisableVqe(s32 AiDevId, s32 AiChn);
s32 DU_DUZ_AI_SetVqeVolume(s32 AiDevId, s32 AiChn, s32 s32VolumeDb); // -20..10 dB
s32 DU_DUZ_AI_GetVqeVolume(s32 AiDevId, s32 AiChn, s32 *ps32VolumeDb);
// Every frame then comes with what the output channel played over its span.
s32 DU_DUZ_AI_EnableAecRefFrame(s32 AiDevId, s32 AiChn, s32 AoDevId, s32 AoChn);
s32 DU_DUZ_AI_DisableAecRefFrame(s32 AiDevId, s32 AiChn);
s32 DU_DUZ_AI_SetTrackMode(s32 AiDevId, u32 enTrackMode); // 0..7
s32 DU_DUZ_AI_GetTrackMode(s32 AiDevId, u32 *penTrackMode);
s32 DU_DUZ_AI_SetClkDir(s32 AiDevId, u32 enClkDir); // 0 or 1
s32 DU_DUZ_AI_GetClkDir(s32 AiDevId, u32 *penClkDir);
s32 DU_DUZ_AI_SetAcodecGain(u32 u32Gain);
s32 DU_DUZ_AI_GetAcodecGain(u32 *pu32Gain);
s32 DU_DUZ_AI_SaveFile(s32 AiDevId, s32 AiChn, const AUDIO_SAVE_FILE_INFO_S *pstSaveFileInfo);
s32 DU_DUZ_AI_GetFd(s32 AiDevId, s32 AiChn);
s32 DU_DUZ_AI_GetFileHandle(s32 AiChn);

// The channel's enhancement instance's configuration.
s32 MPI_AI_GetVqeAttr(s32 AiDevId, s32 AiChn, UPVQE_CFG_S *pstVqeCfg);
// Field-by-field copies between the normal attributes and a configuration.
s32 MPI_AI_AITOVQE(const AI_VQE_ATTR_S *pstAiVqe, UPVQE_CFG_S *pstVqeCfg);
s32 MPI_AI_VQETOAI(const UPVQE_CFG_S *pstVqeCfg, AI_VQE_ATTR_S *pstAiVqe);

// ---- the enhancement step of an encoder bound to a channel (mpi_ai_enc_step.cpp) ----------------

// A channel's enhancement as a bound encoder sees it, copied under the lock
// its step runs under.
struct AI_BOUND_VQE_S {
    UPVQE_INSTANCE_S *pVqeHandle; // null when the channel runs none
    u32 bVqeEnable;
    u32 bResmpEnable;
    u32 u32ResmpPoolId;
};
AI_BOUND_VQE_S ai_bound_vqe(s32 AiChn);

// A bound encoder's frame for the step, with the encoder's work memory.
struct AI_ENC_FRAME_S {
    AUDIO_FRAME_S *pstFrm;         // processed in place
    const AEC_REF_FRAME_S *pstRef; // null when the frame has none
    u8 *pu8In;                     // u32Room bytes for the input's copy
    s16 *ps16WideRef;              // u32Room bytes for an 8-bit reference widened
    void *pOut;                    // the processed frame, unless it is above the input's rate
    u32 u32Room;
    u32 u32MaxPoints;              // the encoder's frame
    // What the step leaves: the input's copy in pu8In and the frame's
    // reference (widened when the chain took it so; null without one), for
    // the encoder's dumps; and a block of the channel's resampling pool that
    // now holds the frame, which the encoder gives back (VB_INVALID_HANDLE
    // when none).
    u32 u32InLen;
    const void *pDumpRef;
    u32 u32ResmpBlk;
};

// How the step ended.
enum AI_ENC_STEP_E {
    AI_ENC_STEP_SKIPPED,      // the frame goes on as it came
    AI_ENC_STEP_DONE,         // processed
    AI_ENC_STEP_TOO_LONG,     // more samples out than the encoder's frame
    AI_ENC_STEP_WRITE_FAILED, // the chain refused the input while changing its rate
    AI_ENC_STEP_READ_FAILED,  // the chain gave nothing back
    AI_ENC_STEP_NO_BLOCK,     // no block of the resampling pool for a frame above the input's rate
};

// Runs the frame through channel AiChn's instance, when the channel runs one
// (with enhancement or resampling on) and it applies to the frame: a mono
// frame, and with echo cancellation a reference of its own span.
AI_ENC_STEP_E ai_enhance_bound_frame(s32 AiChn, AI_ENC_FRAME_S *pstJob);

// ---- for checks from outside the unit ---------------------------------------------------------

// Whether the unit is started, and its records, read-only.
bool ai_started(void);
const MPI_AI_DEV_S &ai_dev_record(void);
const MPI_AI_CHN_S &ai_chn_record(s32 AiChn); // AiChn below AIO_MAX_CHN_NUM
