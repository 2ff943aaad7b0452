// Audio encoder: a registry of encoders and 32 encoding channels over /dev/aenc.
// Every channel call starts with aenc_chn_enter (aenc_chn.h): the channel
// check and the lazy open of its node.
#pragma once

#include <pthread.h>

#include "mpi/audio/aenc/aenc_requests.h"
#include "mpi/audio/comm/mpi_audio_comm.h"

constexpr u32 AENC_MAX_CHN_NUM = 32;
constexpr u32 AENC_MAX_ENCODER_NUM = 20;
constexpr u32 AENC_ENCODER_NAME_LEN = 16;
constexpr u32 AENC_FREE_PAYLOAD = 0xFFFFFFFFu;
constexpr u32 AENC_CIRBUF_SIZE = 16384;     // one track
constexpr u32 AENC_STAGE_BUF_SIZE = 16384;

constexpr s32 DU_ERR_AENC_INVALID_CHNID = mpi_status(DU_ID_AENC, ERR_INVALID_CHNID);
constexpr s32 DU_ERR_AENC_ILLEGAL_PARAM = mpi_status(DU_ID_AENC, ERR_ILLEGAL_PARAM);
constexpr s32 DU_ERR_AENC_EXIST = mpi_status(DU_ID_AENC, ERR_EXIST);
constexpr s32 DU_ERR_AENC_UNEXIST = mpi_status(DU_ID_AENC, ERR_UNEXIST);
constexpr s32 DU_ERR_AENC_NULL_PTR = mpi_status(DU_ID_AENC, ERR_NULL_PTR);
constexpr s32 DU_ERR_AENC_NOT_SUPPORT = mpi_status(DU_ID_AENC, ERR_NOT_SUPPORT);
constexpr s32 DU_ERR_AENC_NOT_PERM = mpi_status(DU_ID_AENC, ERR_NOT_PERM);
constexpr s32 DU_ERR_AENC_NOMEM = mpi_status(DU_ID_AENC, ERR_NOMEM);
constexpr s32 DU_ERR_AENC_BUF_EMPTY = mpi_status(DU_ID_AENC, ERR_BUF_EMPTY);
constexpr s32 DU_ERR_AENC_BUF_FULL = mpi_status(DU_ID_AENC, ERR_BUF_FULL);
constexpr s32 DU_ERR_AENC_NOTREADY = mpi_status(DU_ID_AENC, ERR_SYS_NOTREADY);
constexpr s32 DU_ERR_AENC_CODEC_ERR = mpi_status(DU_ID_AENC, ERR_AUDIO_CODEC);
constexpr s32 DU_ERR_AENC_VQE_ERR = mpi_status(DU_ID_AENC, ERR_AUDIO_VQE);

// An encoder's answer when it took the frame but has no packet yet.
constexpr s32 AENC_NO_PACKET = (s32)0xFCFCFCFC;

typedef s32 (*AENC_OPEN_FN)(void *pEncoderAttr, void **ppEncoder);
typedef s32 (*AENC_ENCODE_FN)(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen);
typedef s32 (*AENC_CLOSE_FN)(void *pEncoder);

// One registered encoder; enType AENC_FREE_PAYLOAD marks a free slot.
struct AENC_CODEC_ENTRY_S {
    u32 enType;
    u32 u32MaxFrmLen; // largest packet in bytes
    char aszName[AENC_ENCODER_NAME_LEN];
    AENC_OPEN_FN pfnOpenEncoder;
    AENC_ENCODE_FN pfnEncodeFrm;
    AENC_CLOSE_FN pfnCloseEncoder;
};

// A track's ring for frames whose size differs from the channel's.
struct AENC_CIR_BUF_S {
    u32 u32PhyAddr;
    void *pVirAddr;
    u32 u32Size;
    u32 u32Read;
    u32 u32Write;
    u32 bWriteJump;
};

// The stream buffer's data area.
struct AENC_READ_BUF_S {
    u32 u32PhyAddr;
    u32 u32Len;
    void *pVirAddr; // null: not set up
};

struct AENC_CHN_S {
    u32 bStrmBufInit;
    // The stream buffer block: control block, then the packet slots.
    u32 u32StrmPhyAddr;
    void *pStrmVirAddr;
    u32 u32StrmLen;
    void *pCbAddr;
    u32 u32CbLen;
    u32 u32CbPackLen;
    u32 u32DataLen;
    u32 bThreadRun;
    pthread_t stThreadId;
    s32 s32Handle;    // registry slot, DU_INVALID_HANDLE when none
    u32 bKernelEnc;   // the kernel encodes this payload itself
    u32 bCreated;
    void *pEncoder;
    u32 u32Seq;
    pthread_mutex_t stMutex;
    AENC_READ_BUF_S stReadBuf;
    AENC_DBG_INFO_S stDbgInfo;
    s32 s32ChnId;
    // Enhancement of the bound input channel, copied per frame.
    void *pVqeHandle;
    u32 bVqeEnable;
    u32 bResmpEnable;
    u32 u32PtNumPerFrm;
    AENC_CIR_BUF_S astCirBuf[2];
    u8 *pu8StageBuf[2];
    // Save-file dumps of the enhancement step.
    AUDIO_SAVE_FILE_INFO_S stSaveFileInfo;
    AUDIO_DUMP_S stDump;
};

struct AENC_ENCODER_CTX_S {
    u32 u32EncoderNum;
    pthread_mutex_t stMutex;
    AENC_CODEC_ENTRY_S astEncoder[AENC_MAX_ENCODER_NUM];
};

extern s32 g_s32AencFd[AENC_MAX_CHN_NUM];
extern u32 s_bAencInit;
extern AENC_CHN_S g_stAenc[AENC_MAX_CHN_NUM];
extern AENC_ENCODER_CTX_S s_stEncoderCtx;
extern const AUDIO_NODE_S g_stAencNode;

s32 MPI_AENC_Init(void);
void MPI_AENC_Exit(void);
s32 DU_DUZ_AENC_RegeisterEncoder(s32 *ps32Handle, const AENC_CODEC_ENTRY_S *pstEncoder);
s32 DU_DUZ_AENC_UnRegisterEncoder(s32 s32Handle);
s32 DU_DUZ_AENC_CreateChn(s32 AeChn, const AENC_CHANNEL_CFG_S *pstAttr);
s32 DU_DUZ_AENC_DestroyChn(s32 AeChn);
// Encodes one frame (the aenc_get thread's path, open to callers too).
s32 DU_DUZ_AENC_SendFrame(s32 AeChn, const AUDIO_FRAME_S *pstFrm, const AEC_REF_FRAME_S *pstAecFrm);
// s32MilliSec: -1 waits, 0 polls, above 0 waits that long.
s32 DU_DUZ_AENC_GetStream(s32 AeChn, AENC_STREAM_OUT_S *pstStream, s32 s32MilliSec);
s32 DU_DUZ_AENC_ReleaseStream(s32 AeChn, const AENC_STREAM_OUT_S *pstStream);
// Readable in select while a packet waits; else 0xA0178010.
s32 DU_DUZ_AENC_GetFd(s32 AeChn);
s32 DU_DUZ_AENC_SaveFile(s32 AeChn, const AUDIO_SAVE_FILE_INFO_S *pstSaveFileInfo);

// Payload types the send path knows by number.
constexpr u32 PT_G726 = 21;
constexpr u32 PT_LPCM = 23;
constexpr u32 PT_ADPCMA = 49;
// The largest LPCM frame the encoder's output takes.
constexpr u32 AENC_LPCM_MAX_FRAME_LEN = 8192;
// Frames the kernel encodes itself carry at most this many samples.
constexpr u32 MAX_VOICE_POINT_NUM = 480;
