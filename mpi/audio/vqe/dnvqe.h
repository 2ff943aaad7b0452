// The output voice enhancement chain: 16-bit mono samples on their way to an
// audio output channel go from the caller's rate to the work rate, through
// the enabled modules (HPF, ANR, AGC, EQ, MBC) and on to the output rate.
// With no module on it is a plain rate converter. Built like the input chain.
#pragma once

#include "mpi/audio/vqe/vqe_cfg.h"
#include "mpi/audio/vqe/vqe_common.h"

constexpr s32 DU_ERR_DNVQE_ILLEGAL_PARAM = (s32)0xA1360002;
constexpr s32 DU_ERR_DNVQE_NOMEM = (s32)0xA1360003;
constexpr s32 DU_ERR_DNVQE_PROCESS = (s32)0xA1360004;
constexpr s32 DU_ERR_DNVQE_WRITECACHE_FULL = (s32)0xA1360006;
constexpr s32 DU_ERR_DNVQE_READ_SHORT = (s32)0xA1360007;
constexpr s32 DU_ERR_DNVQE_READCACHE_FULL = (s32)0xA1360008;
constexpr s32 DU_ERR_DNVQE_LOAD = (s32)0xA1360009;

constexpr s32 DNVQE_CACHE_SAMPLES = 12288; // node count = this / work frame

struct DNVQE_CHAIN_S {
    DNVQE_CFG_S stCfg; // the slots' sub-record pointers point in here
    s32 s32VqeFrame;
    VQE_STAGES_S stStages;
};

struct DNVQE_INSTANCE_S {
    DNVQE_CHAIN_S *pstChain;
    RES_RESAMPLER_S *pInRes;  // input rate -> work rate, stream discipline
    RES_RESAMPLER_S *pOutRes; // work rate -> output rate, exact discipline
    s16 *ps16ProcBuf;
    DNVQE_CFG_S stCfg;
    s32 s32VqeFrame;
    pthread_mutex_t stMutex;
    u32 bMutexInit;
    s32 s32NodeNum;
    VQE_FRAME_CACHE_S stSinCache;
    VQE_FRAME_CACHE_S stSoutCache;
};

s32 DU_DNVQE_Create(DNVQE_INSTANCE_S **phDnVqe, const DNVQE_CFG_S *pstConfig);
void DU_DNVQE_Destroy(DNVQE_INSTANCE_S *hDnVqe);
s32 DU_DNVQE_WriteFrame(DNVQE_INSTANCE_S *hDnVqe, s16 *ps16SinBuf, s32 s32Samples);
s32 DU_DNVQE_ReadFrame(DNVQE_INSTANCE_S *hDnVqe, s16 *ps16SouBuf, s32 s32Samples, s32 bLenient);
s32 DU_DNVQE_ProcessFrame(DNVQE_INSTANCE_S *hDnVqe, s16 *ps16SinBuf, s16 *ps16SouBuf, s32 s32Samples);
s32 DU_DNVQE_GetConfig(DNVQE_INSTANCE_S *hDnVqe, DNVQE_CFG_S *pstConfig);
// Writes the version text (at most VQE_VERSION_LEN bytes with its NUL).
s32 DU_DNVQE_GetVersion(char *pszVersion);
