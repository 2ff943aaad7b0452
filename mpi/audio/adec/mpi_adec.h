// Audio decoder: a registry of decoders and 32 decoding channels whose frames
// go to the caller and, through the bind registry, to bound output channels.
// Every channel call starts with adec_chn_enter (adec_chn.h): the channel
// check and the lazy open of its node.
#pragma once

#include <pthread.h>
#include <semaphore.h>

#include "mpi/audio/adec/adec_requests.h"
#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/audio/comm/mpi_audio_comm.h"

constexpr u32 ADEC_MAX_CHN_NUM = 32;
constexpr u32 ADEC_MAX_DECODER_NUM = 20;
constexpr u32 ADEC_DECODER_NAME_LEN = 16;
constexpr u32 ADEC_FREE_PAYLOAD = 0xFFFFFFFFu;
constexpr u32 ADEC_MAX_FRAME_NODE = 50;
constexpr u32 ADEC_FRAME_NODE_SIZE = 32768; // track 0, then track 1 at +16384
constexpr u32 ADEC_STREAM_BUF_SIZE = 16384;

constexpr s32 DU_ERR_ADEC_INVALID_CHNID = mpi_status(DU_ID_ADEC, ERR_INVALID_CHNID);
constexpr s32 DU_ERR_ADEC_ILLEGAL_PARAM = mpi_status(DU_ID_ADEC, ERR_ILLEGAL_PARAM);
constexpr s32 DU_ERR_ADEC_EXIST = mpi_status(DU_ID_ADEC, ERR_EXIST);
constexpr s32 DU_ERR_ADEC_UNEXIST = mpi_status(DU_ID_ADEC, ERR_UNEXIST);
constexpr s32 DU_ERR_ADEC_NULL_PTR = mpi_status(DU_ID_ADEC, ERR_NULL_PTR);
constexpr s32 DU_ERR_ADEC_NOT_SUPPORT = mpi_status(DU_ID_ADEC, ERR_NOT_SUPPORT);
constexpr s32 DU_ERR_ADEC_NOT_PERM = mpi_status(DU_ID_ADEC, ERR_NOT_PERM);
constexpr s32 DU_ERR_ADEC_NOMEM = mpi_status(DU_ID_ADEC, ERR_NOMEM);
constexpr s32 DU_ERR_ADEC_BUF_EMPTY = mpi_status(DU_ID_ADEC, ERR_BUF_EMPTY);
constexpr s32 DU_ERR_ADEC_BUF_FULL = mpi_status(DU_ID_ADEC, ERR_BUF_FULL);
constexpr s32 DU_ERR_ADEC_NOTREADY = mpi_status(DU_ID_ADEC, ERR_SYS_NOTREADY);
constexpr s32 DU_ERR_ADEC_CODEC_ERR = mpi_status(DU_ID_ADEC, ERR_AUDIO_CODEC);
constexpr s32 DU_ERR_ADEC_BUF_LACK = mpi_status(DU_ID_ADEC, ERR_AUDIO_VQE); // input short of a frame

typedef s32 (*ADEC_OPEN_FN)(void *pDecoderAttr, void **ppDecoder);
typedef s32 (*ADEC_DECODE_FN)(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen,
                              u32 *pu32Chns);
typedef s32 (*ADEC_GETFRMINFO_FN)(void *pDecoder, void *pInfo);
typedef s32 (*ADEC_CLOSE_FN)(void *pDecoder);
typedef s32 (*ADEC_RESET_FN)(void *pDecoder);

// One registered decoder; enType ADEC_FREE_PAYLOAD marks a free slot.
struct ADEC_CODEC_ENTRY_S {
    u32 enType;
    char aszName[ADEC_DECODER_NAME_LEN];
    ADEC_OPEN_FN pfnOpenDecoder;
    ADEC_DECODE_FN pfnDecodeFrm;
    ADEC_GETFRMINFO_FN pfnGetFrmInfo;
    ADEC_CLOSE_FN pfnCloseDecoder;
    ADEC_RESET_FN pfnResetDecoder; // may be null
};

struct AUDIO_FRAME_INFO_S {
    AUDIO_FRAME_S *pstFrame;
    u32 u32Id;
};

struct ADEC_LIST_S {
    ADEC_LIST_S *pstPrev;
    ADEC_LIST_S *pstNext;
};

// A frame slot: free, decoded and waiting on the busy list, or out with a
// caller between DU_DUZ_ADEC_GetFrame and DU_DUZ_ADEC_ReleaseFrame.
struct ADEC_FRAME_NODE_S {
    AUDIO_FRAME_S stFrame;
    u32 u32Index;
    ADEC_LIST_S stList;
};

struct ADEC_FRAME_POOL_S {
    ADEC_FRAME_NODE_S astNode[ADEC_MAX_FRAME_NODE];
    u8 *pu8FrameMem; // u32BufSize x ADEC_FRAME_NODE_SIZE
    u32 u32NodeNum;
    u32 u32FreeNum;
    u32 u32BusyNum;
    ADEC_LIST_S stFreeList;
    ADEC_LIST_S stBusyList; // decoded frames, oldest first
};

struct MPI_ADEC_CHN_S {
    ADEC_FRAME_POOL_S *pstFramePool;
    u32 bCreated;
    u32 bDestroying;
    s32 s32ChnId; // -1 when none
    void *pDecoder;
    ADEC_CHN_ATTR_S stAttr;
    u32 enMode;
    sem_t semRead;  // decoded frames ready
    sem_t semWrite; // free slots for the pack path
    pthread_mutex_t stMutex;
    u32 u32Seq;
    ADEC_CHN_STAT_S stStat;
    s32 s32Handle; // registry slot, DU_INVALID_HANDLE when none
    // The operations the decoder instance was opened with: it is closed with
    // them, also when its registry slot was freed meanwhile.
    ADEC_CODEC_ENTRY_S stEntry;
    u64 u64LastPts;
    u32 u32StreamLen; // bytes held in the stream buffer
    u8 *pu8StreamPtr; // the first of them
    u8 au8StreamBuf[ADEC_STREAM_BUF_SIZE];
    u32 bSendThreadRun;
    pthread_t stSendThread;
    pthread_t stDecThread;
    u32 bEndOfStream;
    // Callers waiting inside the channel without its mutex (on a semaphore
    // or for stream buffer room); destruction waits until they have left.
    u32 u32Waiters;
    // Signalled when stream bytes arrive or are taken, a frame slot is freed
    // or the channel goes away; the decode thread and blocked stream senders
    // wait on it with the mutex.
    pthread_cond_t stCond;
};

struct ADEC_DECODER_CTX_S {
    u32 u32DecoderNum;
    pthread_mutex_t stMutex;
    ADEC_CODEC_ENTRY_S astDecoder[ADEC_MAX_DECODER_NUM];
};

extern s32 g_s32AdecFd[ADEC_MAX_CHN_NUM];
extern u32 s_bAdecInit;
extern MPI_ADEC_CHN_S s_astAdecChn[ADEC_MAX_CHN_NUM];
extern ADEC_DECODER_CTX_S s_stDecoderCtx;
extern const AUDIO_NODE_S g_stAdecNode;

s32 MPI_ADEC_Init(void);
void MPI_ADEC_Exit(void);
s32 DU_DUZ_ADEC_RegeisterDecoder(s32 *ps32Handle, const ADEC_CODEC_ENTRY_S *pstDecoder);
s32 DU_DUZ_ADEC_UnRegisterDecoder(s32 s32Handle);

// A channel: its decoder opened, its frame slots, its send thread and, in
// stream mode, its decode thread.
s32 DU_DUZ_ADEC_CreateChn(s32 AdChn, const ADEC_CHN_ATTR_S *pstAttr);
s32 MPI_ADEC_CreateChn(s32 AdChn, const ADEC_CHN_ATTR_S *pstAttr);
// Stops the threads, wakes every caller waiting on the channel and frees it;
// 0 for a channel that does not exist. A channel whose decoder was
// unregistered goes all the same, its instance closed with the operations
// that opened it: 0xA0188040.
s32 DU_DUZ_ADEC_DestroyChn(s32 AdChn);
s32 MPI_ADEC_DestroyChn(s32 AdChn);
// Attributes are fixed while the channel exists: Set refuses with
// 0xA0188009, Get returns the channel's.
s32 DU_DUZ_ADEC_SetChnAttr(s32 AdChn, const ADEC_CHN_ATTR_S *pstAttr);
s32 DU_DUZ_ADEC_GetChnAttr(s32 AdChn, ADEC_CHN_ATTR_S *pstAttr);

// Pack mode decodes the packet at once into one frame; stream mode appends
// its bytes to the channel's stream buffer for the decode thread. bBlock 0
// refuses at once with 0xA018800F when there is no room.
s32 DU_DUZ_ADEC_SendStream(s32 AdChn, const AENC_STREAM_OUT_S *pstStream, u32 bBlock);
// The oldest decoded frame; bBlock 0 answers 0xA018800E when there is none.
s32 DU_DUZ_ADEC_GetFrame(s32 AdChn, AUDIO_FRAME_INFO_S *pstFrmInfo, u32 bBlock);
// Gives back a frame DU_DUZ_ADEC_GetFrame handed out, once.
s32 DU_DUZ_ADEC_ReleaseFrame(s32 AdChn, const AUDIO_FRAME_INFO_S *pstFrmInfo);
// Drops the held stream bytes and the frames not yet handed out.
s32 DU_DUZ_ADEC_ClearChnBuf(s32 AdChn);
s32 MPI_ADEC_ClearChnBuf(s32 AdChn);
s32 DU_DUZ_ADEC_GetFrmInfo(s32 AdChn, void *pInfo);
// bInstant 0: the decode thread finishes the held bytes, then resets the
// decoder; 1: the decoder is reset and the buffers cleared now.
s32 DU_DUZ_ADEC_SendEndOfStream(s32 AdChn, u32 bInstant);

// The channel's threads; their argument is the channel number.
void *ADEC_DecProc(void *arg);
void *ADEC_SendAoProc(void *arg);
