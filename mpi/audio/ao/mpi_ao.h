// Audio output: device 0 with 16 channels over /dev/ao; a receiver of the
// bind registry for frames the audio decoder sends.
#pragma once

#include <pthread.h>

#include "mpi/audio/comm/mpi_audio_comm.h"
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
    void *pDnVqeHandle; // the channel's output-enhancement instance, null when none
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
s32 DU_DUZ_AO_SendFrame(s32 AudioDevId, s32 AoChn, const AUDIO_FRAME_S *pstData, s32 s32MilliSec);
