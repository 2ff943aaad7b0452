// Buffer pools: the user side of /dev/vb and the table of pools mapped into
// this process.
//
// Every one-request call goes through vb_call (mpi_vb.cpp).
#pragma once

#include <pthread.h>

#include "mpi/common/mpi_common.h"
#include "mpi/video/vb/vb_requests.h"

// One pool mapped into this process.
struct VB_POOL_MAP_S {
    u32 bMapped;
    pthread_mutex_t stMutex;
    u32 u32PoolId;
    u32 u32PoolSize;
    u32 u32PoolPhyAddr;
    void *pPoolVirAddr;
};

struct VB_CTX_S {
    VB_POOL_MAP_S astPool[VB_MAX_POOLS];
};
extern VB_CTX_S s_stVbCtx;

s32 DU_DUZ_VB_SetConf(const VB_CONF_REC_S *pstVbConf);
s32 DU_DUZ_VB_GetConf(VB_CONF_REC_S *pstVbConf);
s32 DU_DUZ_VB_Init(void);
s32 DU_DUZ_VB_Exit(void);
u32 DU_DUZ_VB_CreatePool(u32 u32BlkSize, u32 u32BlkCnt, const char *pcMmzName);
s32 DU_DUZ_VB_DestroyPool(u32 u32PoolId);
u32 DU_DUZ_VB_GetBlock(u32 u32PoolId, u32 u32BlkSize, const char *pcMmzName);
s32 DU_DUZ_VB_ReleaseBlock(u32 u32Handle);
u32 DU_DUZ_VB_Handle2PhysAddr(u32 u32Handle); // 0 when it fails
u32 DU_DUZ_VB_Handle2PoolId(u32 u32Handle);
s32 DU_DUZ_VB_GetSupplementAddr(u32 u32Handle, VB_SUPPLEMENT_ADDR_S *pstSupplement);
s32 DU_DUZ_VB_MmapPool(u32 u32PoolId);
s32 DU_DUZ_VB_MunmapPool(u32 u32PoolId);
s32 DU_DUZ_VB_GetBlkVirAddr(u32 u32PoolId, u32 u32PhyAddr, void **ppVirAddr);
s32 DU_DUZ_VB_InitModCommPool(u32 enVbUid);
s32 DU_DUZ_VB_ExitModCommPool(u32 enVbUid);
s32 DU_DUZ_VB_GetModPoolConf(u32 enVbUid, VB_CONF_REC_S *pstVbConf);
s32 DU_DUZ_VB_SetModPoolConf(u32 enVbUid, const VB_CONF_REC_S *pstVbConf);
s32 DU_DUZ_VB_SetSupplementConf(const u32 *pu32SupplementConfig);
s32 DU_DUZ_VB_GetSupplementConf(u32 *pu32SupplementConfig);
s32 DU_DUZ_VB_GetFileHandle(void);
s32 MPI_VB_InitCtx(void);
s32 MPI_VB_ExitCtx(void);
