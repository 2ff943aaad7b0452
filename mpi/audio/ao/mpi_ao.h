// Audio output: device 0 with 16 channels over /dev/ao; a receiver of the
// bind registry for frames the audio decoder sends.
// Every public call that is one request goes through ao_call (mpi_ao.cpp);
// the others start with its checks and the node's open, ao_enter or
// ao_chn_hold (ao_chn.h).
#pragma once

#include <pthread.h>

#include "mpi/audio/ao/ao_requests.h"
#include "mpi/audio/comm/mpi_audio_comm.h"
#include "mpi/audio/vqe/dnvqe.h"
#include "mpi/video/bind/mpi_bind.h"

constexpr u32 AO_DEV_MAX_NUM = 1;
constexpr u32 AO_MAX_CHN_NUM = 16;
constexpr u32 MAX_AO_POINT_NUM = 4096;
constexpr u32 AO_CIRBUF_BLOCK_SIZE = 65536; // both tracks
constexpr u32 AO_CIRBUF_SIZE = 32768;       // one track
constexpr u32 AO_WORK_BUF_NUM = 3;
constexpr u32 AO_WORK_BUF_SIZE = 16384;

constexpr s32 DU_ERR_AO_INVALID_DEVID = mpi_status(DU_ID_AO, ERR_INVALID_DEVID);
constexpr s32 DU_ERR_AO_INVALID_CHNID = mpi_status(DU_ID_AO, ERR_INVALID_CHNID);
constexpr s32 DU_ERR_AO_ILLEGAL_PARAM = mpi_status(DU_ID_AO, ERR_ILLEGAL_PARAM);
constexpr s32 DU_ERR_AO_NOT_ENABLED = mpi_status(DU_ID_AO, ERR_UNEXIST);
constexpr s32 DU_ERR_AO_NULL_PTR = mpi_status(DU_ID_AO, ERR_NULL_PTR);
constexpr s32 DU_ERR_AO_NOT_CONFIG = mpi_status(DU_ID_AO, ERR_NOT_CONFIG);
constexpr s32 DU_ERR_AO_NOT_SUPPORT = mpi_status(DU_ID_AO, ERR_NOT_SUPPORT);
constexpr s32 DU_ERR_AO_NOT_PERM = mpi_status(DU_ID_AO, ERR_NOT_PERM);
constexpr s32 DU_ERR_AO_NOMEM = mpi_status(DU_ID_AO, ERR_NOMEM);
constexpr s32 DU_ERR_AO_BUF_FULL = mpi_status(DU_ID_AO, ERR_BUF_FULL);
constexpr s32 DU_ERR_AO_NOTREADY = mpi_status(DU_ID_AO, ERR_SYS_NOTREADY);
constexpr s32 DU_ERR_AO_VQE_ERR = mpi_status(DU_ID_AO, ERR_AUDIO_VQE);

// The output enhancement's attributes (modules switched on by EnableVqe).
struct AO_VQE_ATTR_S {
    u32 bHpfOpen;
    u32 bAnrOpen;
    u32 bAgcOpen;
    u32 bEqOpen;
    s32 s32WorkSampleRate; // 8000 or 16000 (48000 with HPF alone)
    s32 s32FrameSample;    // 80..4096
    u32 u32WorkMode;       // 0..2
    VQE_HPF_CFG_S stHpfCfg;
    VQE_ANR_CFG_S stAnrCfg;
    VQE_AGC_CFG_S stAgcCfg;
    VQE_EQ_CFG_S stEqCfg;
};

// The multiband compressor's attributes.
struct AO_MBC_ATTR_S {
    u32 bMbcOpen;      // must be 1
    u32 u32SampleRate; // 8000 or 16000
    u32 u32FrameLen;   // 81..4096
    u32 u32WorkMode;   // 0..3
    VQE_MBC_CFG_S stMbcCfg;
};

// One track's ring in the channel's circle buffer block.
struct AO_CIR_BUF_S {
    u32 u32PhyAddr;
    void *pVirAddr;
    u32 u32Size;
    u32 u32Read;
    u32 u32Write;
    u32 bWriteJump; // the write index has wrapped past the read index
};

struct AO_RESMP_INFO_S {
    u32 u32PtNumPerFrm;
    u32 enInSampleRate;
    u32 enOutSampleRate;
};

// One output channel; its mutex guards the whole record.
struct MPI_AO_CHN_S {
    pthread_mutex_t stMutex;
    u32 bResmpEnable;
    u32 bAnrOpen, bMbcEnable, bAgcOpen, bHpfOpen, bEqOpen;
    u32 bVqeCfg;
    u32 bVqeEnable;
    DNVQE_INSTANCE_S *pDnVqeHandle; // the channel's output-enhancement instance, null when none
    AO_RESMP_INFO_S stResmpInfo;
    AO_CIR_BUF_S stCirBuf[2]; // track 0 at the block's start
    void *pWorkBuf[AO_WORK_BUF_NUM];
    u32 bEnable;
    // Save files of the enhancement path.
    AUDIO_SAVE_FILE_INFO_S stSaveFileInfo;
    AUDIO_DUMP_S stDump;
};

extern s32 g_s32AoFd[AO_MAX_CHN_NUM];
extern u32 s_bAoInit;
extern MPI_AO_CHN_S s_astAoChn[AO_MAX_CHN_NUM];
extern const AUDIO_NODE_S g_stAoNode;

s32 MPI_AO_Init(void);
s32 MPI_AO_Exit(void);
// The registry's receive operation: a decoded frame for a bound channel.
s32 MPI_AO_ReceiveFrm(s32 s32DevId, s32 s32ChnId, u32 u32Flag, MPP_DATA_TYPE_E enDataType, void *pvData);
// Buffers the frame behind what waits and hands the kernel every whole device
// frame; s32MilliSec (-1 waits) bounds each hand-over. A frame laid out
// otherwise than the device (sound mode, width, tracks) is refused.
s32 DU_DUZ_AO_SendFrame(s32 AudioDevId, s32 AoChn, const AUDIO_FRAME_S *pstData, s32 s32MilliSec);

s32 DU_DUZ_AO_SetPubAttr(s32 AudioDevId, const AIO_ATTR_S *pstAttr);
s32 DU_DUZ_AO_GetPubAttr(s32 AudioDevId, AIO_ATTR_S *pstAttr);
s32 DU_DUZ_AO_Enable(s32 AudioDevId);
s32 DU_DUZ_AO_Disable(s32 AudioDevId);
s32 DU_DUZ_AO_ClrPubAttr(s32 AudioDevId);
s32 DU_DUZ_AO_EnableChn(s32 AudioDevId, s32 AoChn);
s32 DU_DUZ_AO_DisableChn(s32 AudioDevId, s32 AoChn);
s32 DU_DUZ_AO_PauseChn(s32 AudioDevId, s32 AoChn);
s32 DU_DUZ_AO_ResumeChn(s32 AudioDevId, s32 AoChn);
s32 DU_DUZ_AO_QueryChnStat(s32 AudioDevId, s32 AoChn, AO_CHN_STATE_S *pstStatus);
s32 DU_DUZ_AO_SetVolume(s32 AudioDevId, s32 s32VolumeDb);
s32 DU_DUZ_AO_GetVolume(s32 AudioDevId, s32 *ps32VolumeDb);
s32 DU_DUZ_AO_SetMute(s32 AudioDevId, u32 bEnable, const AUDIO_FADE_S *pstFade);
s32 DU_DUZ_AO_GetMute(s32 AudioDevId, u32 *pbEnable, AUDIO_FADE_S *pstFade);
s32 DU_DUZ_AO_SetTrackMode(s32 AudioDevId, u32 enTrackMode);
s32 DU_DUZ_AO_GetTrackMode(s32 AudioDevId, u32 *penTrackMode);
s32 DU_DUZ_AO_SetClkDir(s32 AudioDevId, u32 enClkDir); // 0 or 1
s32 DU_DUZ_AO_GetClkDir(s32 AudioDevId, u32 *penClkDir);
s32 DU_DUZ_AO_GetFd(s32 AudioDevId, s32 AoChn);
s32 DU_DUZ_AO_GetFileHandle(s32 AudioDevId);
// Frames of another rate resampled to the device's (mono 16-bit devices).
s32 DU_DUZ_AO_EnableReSmp(s32 AudioDevId, s32 AoChn, u32 enInSampleRate);
s32 DU_DUZ_AO_DisableReSmp(s32 AudioDevId, s32 AoChn);
// The output enhancement: attributes first, then switched on and off.
s32 DU_DUZ_AO_SetVqeAttr(s32 AudioDevId, s32 AoChn, const AO_VQE_ATTR_S *pstVqeConfig);
s32 DU_DUZ_AO_GetVqeAttr(s32 AudioDevId, s32 AoChn, AO_VQE_ATTR_S *pstVqeConfig);
s32 DU_DUZ_AO_EnableVqe(s32 AudioDevId, s32 AoChn);
s32 DU_DUZ_AO_DisableVqe(s32 AudioDevId, s32 AoChn);
s32 DU_DUZ_AO_EnableMBC(s32 AudioDevId, s32 AoChn, const AO_MBC_ATTR_S *pstMbcAttr);
s32 DU_DUZ_AO_DisableMBC(s32 AudioDevId, s32 AoChn);
// Drops what the channel holds: its circle buffer, the samples inside its
// enhancement instance and the driver's queue.
s32 DU_DUZ_AO_ClearChnBuf(s32 AudioDevId, s32 AoChn);
// Input and output of the enhancement into files while its VQE is on.
s32 DU_DUZ_AO_SaveFile(s32 AudioDevId, s32 AoChn, const AUDIO_SAVE_FILE_INFO_S *pstSaveFileInfo);
// The channel's enhancement instance's configuration.
s32 MPI_AO_GetVqeAttr(s32 AudioDevId, s32 AoChn, DNVQE_CFG_S *pstVqeCfg);
