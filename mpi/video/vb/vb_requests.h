// Requests of /dev/vb ('B'), their records and the status codes the driver
// answers with, shared by the buffer-pool unit and the simulated driver.
#pragma once

#include "mpi/common/common_requests.h"

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

constexpr unsigned long VB_CREATE_POOL = MPI_IOC(MPI_IOC_RW, 36, 'B', 1);
constexpr unsigned long VB_DESTROY_POOL = MPI_IOC(MPI_IOC_RW, 4, 'B', 2);
constexpr unsigned long VB_GET_BLOCK = MPI_IOC(MPI_IOC_RW, 36, 'B', 3);
constexpr unsigned long VB_RELEASE_BLOCK = MPI_IOC(MPI_IOC_RW, 4, 'B', 4);
constexpr unsigned long VB_HANDLE2PHYS = MPI_IOC(MPI_IOC_RW, 4, 'B', 5);
constexpr unsigned long VB_HANDLE2POOLID = MPI_IOC(MPI_IOC_RW, 4, 'B', 6);
constexpr unsigned long VB_INIT = MPI_IOC(MPI_IOC_NONE, 0, 'B', 7);
constexpr unsigned long VB_EXIT = MPI_IOC(MPI_IOC_NONE, 0, 'B', 8);
constexpr unsigned long VB_GET_CONF = MPI_IOC(MPI_IOC_READ, 388, 'B', 9);
constexpr unsigned long VB_SET_CONF = MPI_IOC(MPI_IOC_WRITE, 388, 'B', 10);
constexpr unsigned long VB_GET_POOL_INFO = MPI_IOC(MPI_IOC_RW, 16, 'B', 11);
constexpr unsigned long VB_QUERY_POOL_USED = MPI_IOC(MPI_IOC_RW, 4, 'B', 12);
constexpr unsigned long VB_INIT_MOD_POOL = MPI_IOC(MPI_IOC_WRITE, 4, 'B', 13);
constexpr unsigned long VB_EXIT_MOD_POOL = MPI_IOC(MPI_IOC_WRITE, 4, 'B', 14);
constexpr unsigned long VB_GET_MOD_POOL_CONF = MPI_IOC(MPI_IOC_RW, 392, 'B', 15);
constexpr unsigned long VB_SET_MOD_POOL_CONF = MPI_IOC(MPI_IOC_WRITE, 392, 'B', 16);
constexpr unsigned long VB_SET_SUPPLEMENT_CONF = MPI_IOC(MPI_IOC_WRITE, 4, 'B', 17);
constexpr unsigned long VB_GET_SUPPLEMENT_CONF = MPI_IOC(MPI_IOC_READ, 4, 'B', 18);
constexpr unsigned long VB_GET_SUPPLEMENT_ADDR = MPI_IOC(MPI_IOC_RW, 8, 'B', 19);

static_assert(VB_SET_CONF == 0x4184420A && VB_GET_MOD_POOL_CONF == 0xC188420F, "request numbers");

// Pool creation and block requests.
struct VB_POOL_REQ_S {
    u32 u32PoolId;   // in/out; VB_INVALID_POOLID when not given
    u32 u32BlkSize;
    u32 u32BlkCnt;
    u32 u32Handle;   // out
    u32 bCommPool;   // 1: a block from the common pools
    char acMmzName[MAX_MMZ_NAME_LEN];
};
static_assert(sizeof(VB_POOL_REQ_S) == 36, "pool request");

struct VB_POOL_INFO_REQ_S {
    u32 u32PoolId;
    u32 u32PoolSize;
    u32 u32PhysAddr;
    void *pVirAddr; // filled in by the unit
};

struct VB_MOD_CONF_REQ_S {
    u32 enVbUid;
    VB_CONF_REC_S stVbConf;
};
static_assert(sizeof(VB_MOD_CONF_REQ_S) == 392, "module pool configuration");

struct VB_SUPPLEMENT_REQ_S {
    u32 u32Handle;
    VB_SUPPLEMENT_ADDR_S *pstSupplement;
};
