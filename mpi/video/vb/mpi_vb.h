// Buffer pools: the user side of /dev/vb and the table of pools mapped into
// this process.
//
// Every one-request call goes through vb_call (mpi_vb.cpp).
#pragma once

#include <pthread.h>

#include "mpi/common/mpi_common.h"

constexpr u32 VB_MAX_COMM_POOLS = 16;
constexpr u32 VB_MAX_POOLS = 256;
constexpr u32 VB_MAX_USER = 23; // module user ids 0..22
constexpr u32 MAX_MMZ_NAME_LEN = 16;
constexpr u32 VB_INVALID_POOLID = 0xFFFFFFFFu;
constexpr u32 VB_INVALID_HANDLE = 0xFFFFFFFFu;

constexpr s32 DU_ERR_VB_ILLEGAL_PARAM = mpi_status(DU_ID_VB, ERR_ILLEGAL_PARAM);
constexpr s32 DU_ERR_VB_NULL_PTR = mpi_status(DU_ID_VB, ERR_NULL_PTR);
constexpr s32 DU_ERR_VB_NOMEM = mpi_status(DU_ID_VB, ERR_NOMEM);
constexpr s32 DU_ERR_VB_NOTREADY = mpi_status(DU_ID_VB, ERR_SYS_NOTREADY);
constexpr s32 DU_ERR_VB_BUSY = mpi_status(DU_ID_VB, ERR_BUSY);

struct VB_POOL_CONF_S {
    u32 u32BlockSize;
    u32 u32BlockCnt;
    char szMmzName[MAX_MMZ_NAME_LEN];
};

// The common pools: every entry with a block size and count is a pool.
// u32PoolCnt is the most pools the driver keeps (0: as many as it can).
struct VB_CONF_REC_S {
    u32 u32PoolCnt;
    VB_POOL_CONF_S astCommPool[VB_MAX_COMM_POOLS];
};
static_assert(sizeof(VB_CONF_REC_S) == 388, "buffer-pool configuration");

// The supplement areas of a block: physical addresses, 0 where none is kept.
struct VB_SUPPLEMENT_ADDR_S {
    u32 u32JpegDcfPhyAddr;
    u32 u32IspInfoPhyAddr;
};
// Supplement configuration bits.
constexpr u32 VB_SUPPLEMENT_JPEG_MASK = 0x1;
constexpr u32 VB_SUPPLEMENT_ISPINFO_MASK = 0x2;

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
