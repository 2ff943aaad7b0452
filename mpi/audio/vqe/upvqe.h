// The input voice enhancement chain: captured 16-bit mono samples go in at
// the capture rate, through the enabled modules (HDR, AEC, HPF, ANR, RNR, AGC,
// EQ, then GAIN once a volume is set, then the AVC/PEQ extension) at the work
// rate, and come out at the output rate. With every module off it is a plain
// rate converter. Callers may write and read in any frame sizes.
#pragma once

#include "mpi/audio/vqe/vqe_cfg.h"
#include "mpi/audio/vqe/vqe_common.h"

constexpr s32 DU_ERR_UPVQE_ILLEGAL_PARAM = (s32)0xA1350002;
constexpr s32 DU_ERR_UPVQE_NOMEM = (s32)0xA1350003;
constexpr s32 DU_ERR_UPVQE_PROCESS = (s32)0xA1350004;
constexpr s32 DU_ERR_UPVQE_WRITECACHE_FULL = (s32)0xA1350006;
constexpr s32 DU_ERR_UPVQE_READ_SHORT = (s32)0xA1350007;
constexpr s32 DU_ERR_UPVQE_READCACHE_FULL = (s32)0xA1350008;
constexpr s32 DU_ERR_UPVQE_LOAD = (s32)0xA1350009;

constexpr s32 UPVQE_CACHE_SAMPLES = 13440; // node count = this / work frame
constexpr s32 UPVQE_EXT_BLOCK = 256;       // the extension's block
constexpr s32 UPVQE_AVC_BUF_LEN = 8192;

// The module chain.
struct UPVQE_CHAIN_S {
    UPVQE_CFG_S stCfg; // the slots' sub-record pointers point in here
    s32 s32VqeFrame;
    VQE_STAGES_S stStages;
    s32 s32Volume; // dB; every process call gets its address
    u32 bGainLoaded;
};

// The AVC/PEQ extension, on 256-sample blocks.
struct UPVQE_EXTEND_S {
    VQE_STAGES_S stStages;
};

struct UPVQE_INSTANCE_S {
    UPVQE_CHAIN_S *pstChain;
    RES_RESAMPLER_S *pInRes;  // input rate -> work rate, stream discipline
    RES_RESAMPLER_S *pRefRes; // the same for the echo reference (AEC only)
    RES_RESAMPLER_S *pOutRes; // work rate -> output rate, exact discipline
    s16 *ps16ProcBuf;
    s16 *ps16RefProcBuf;
    UPVQE_EXTEND_S *pstExtend;
    s16 *ps16AvcIn; // chain output waiting for whole extension blocks
    s32 s32AvcInCount;
    s16 *ps16AvcOut; // extension output waiting for whole work frames
    s32 s32AvcOutCount;
    UPVQE_CFG_S stCfg;
    s32 s32VqeFrame;
    pthread_mutex_t stMutex;
    u32 bMutexInit;
    s32 s32NodeNum;
    VQE_FRAME_CACHE_S stSinCache;
    VQE_FRAME_CACHE_S stRinCache;
    VQE_FRAME_CACHE_S stSoutCache;
};

s32 DU_UPVQE_Create(UPVQE_INSTANCE_S **phUpVqe, const UPVQE_CFG_S *pstConfig);
void DU_UPVQE_Destroy(UPVQE_INSTANCE_S *hUpVqe);
s32 DU_UPVQE_WriteFrame(UPVQE_INSTANCE_S *hUpVqe, s16 *ps16SinBuf, s16 *ps16RinBuf, s32 s32Samples);
s32 DU_UPVQE_ReadFrame(UPVQE_INSTANCE_S *hUpVqe, s16 *ps16SouBuf, s32 s32Samples, s32 bLenient);
s32 DU_UPVQE_ProcessFrame(UPVQE_INSTANCE_S *hUpVqe, s16 *ps16SinBuf, s16 *ps16RinBuf, s16 *ps16SouBuf,
                          s32 s32Samples);
s32 DU_UPVQE_GetConfig(UPVQE_INSTANCE_S *hUpVqe, UPVQE_CFG_S *pstConfig);
s32 DU_UPVQE_SetVolume(UPVQE_INSTANCE_S *hVqe, s32 s32Volume);
s32 DU_UPVQE_GetVolume(UPVQE_INSTANCE_S *hVqe, s32 *ps32Volume);
// Writes the version text (at most VQE_VERSION_LEN bytes with its NUL).
s32 DU_UPVQE_GetVersion(char *pszVersion);
