// Requests of /dev/sys ('Y') and /dev/logmpp ('L'), their records and the
// status codes the drivers answer with, shared by the system unit and the
// simulated drivers.
#pragma once

#include "mpi/common/common_requests.h"

constexpr s32 DU_ERR_SYS_ILLEGAL_PARAM = mpi_status(DU_ID_SYS, ERR_ILLEGAL_PARAM);
constexpr s32 DU_ERR_SYS_NULL_PTR = mpi_status(DU_ID_SYS, ERR_NULL_PTR);
constexpr s32 DU_ERR_SYS_NOT_PERM = mpi_status(DU_ID_SYS, ERR_NOT_PERM);
constexpr s32 DU_ERR_SYS_NOMEM = mpi_status(DU_ID_SYS, ERR_NOMEM);
constexpr s32 DU_ERR_SYS_NOTREADY = mpi_status(DU_ID_SYS, ERR_SYS_NOTREADY);

// Line stride alignment of picture buffers, in bytes.
struct SYS_CONF_REC_S {
    u32 u32LineAlign;
};
static_assert(sizeof(SYS_CONF_REC_S) == 4, "system configuration");

// The kernel's configuration: high-resolution timers, then a reserved word.
struct SYS_KERNEL_CONFIG_S {
    s32 s32HRTimer;
    u32 u32Reserved;
};
static_assert(sizeof(SYS_KERNEL_CONFIG_S) == 8, "kernel configuration");

// Scaler coefficient levels of one pair of horizontal and vertical ratio ranges.
constexpr u32 SCALE_RANGE_BUTT = 7;
constexpr u32 COEFF_LEVEL_BUTT = 11;
struct SCALE_RANGE_S {
    u32 enHorizontal;
    u32 enVertical;
};
struct SCALE_COEFF_LEVEL_S {
    u32 enHorLum;
    u32 enHorChr;
    u32 enVerLum;
    u32 enVerChr;
};
static_assert(sizeof(SCALE_RANGE_S) + sizeof(SCALE_COEFF_LEVEL_S) == 24, "scale coefficient request");

// What a user address of zone memory is.
struct SYS_VIRMEM_INFO_REC_S {
    u32 u32PhyAddr;
    u32 bCached;
};
static_assert(sizeof(SYS_VIRMEM_INFO_REC_S) == 8, "user address information");

// ---- /dev/sys -------------------------------------------------------------------------
constexpr unsigned long SYS_INIT_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'Y', 0);
constexpr unsigned long SYS_EXIT_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'Y', 1);
constexpr unsigned long SYS_SET_CONFIG_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'Y', 2);
constexpr unsigned long SYS_GET_CONFIG_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'Y', 3);
constexpr unsigned long SYS_INIT_PTSBASE = MPI_IOC(MPI_IOC_WRITE, 8, 'Y', 4);
constexpr unsigned long SYS_SYNC_PTS = MPI_IOC(MPI_IOC_WRITE, 8, 'Y', 5);
constexpr unsigned long SYS_GET_CURPTS = MPI_IOC(MPI_IOC_READ, 8, 'Y', 6);
constexpr unsigned long SYS_BIND_CTRL = MPI_IOC(MPI_IOC_WRITE, 24, 'Y', 7);
constexpr unsigned long SYS_UNBIND_CTRL = MPI_IOC(MPI_IOC_WRITE, 24, 'Y', 8);
constexpr unsigned long SYS_GETBINDBYDEST = MPI_IOC(MPI_IOC_RW, 24, 'Y', 9);
constexpr unsigned long SYS_SET_MEMCONF = MPI_IOC(MPI_IOC_WRITE, 28, 'Y', 10);
constexpr unsigned long SYS_GET_MEMCONF = MPI_IOC(MPI_IOC_RW, 28, 'Y', 11);
constexpr unsigned long SYS_GET_KERNELCONFIG = MPI_IOC(MPI_IOC_READ, 8, 'Y', 14);
constexpr unsigned long SYS_GET_VIVPSSMODE = MPI_IOC(MPI_IOC_READ, 4, 'Y', 16);
constexpr unsigned long SYS_SET_PROFILE = MPI_IOC(MPI_IOC_WRITE, 4, 'Y', 17);
constexpr unsigned long SYS_MFLUSH_CACHE = MPI_IOC(MPI_IOC_WRITE, 12, 'Y', 21);
constexpr unsigned long SYS_SET_SCALE_COEF = MPI_IOC(MPI_IOC_WRITE, 24, 'Y', 22);
constexpr unsigned long SYS_GET_SCALE_COEF = MPI_IOC(MPI_IOC_RW, 24, 'Y', 23);

static_assert(SYS_BIND_CTRL == 0x40185907 && SYS_GET_KERNELCONFIG == 0x8008590E, "request numbers");

// Bind, unbind and the lookup by destination: source first.
struct SYS_BIND_REQ_S {
    MPP_CHN_ADDR_S stSrcChn;
    MPP_CHN_ADDR_S stDestChn;
};
static_assert(sizeof(SYS_BIND_REQ_S) == 24, "bind request");

constexpr u32 SYS_MMZ_NAME_LEN = 16;

// The zone a channel's buffers come from.
struct SYS_MEM_CONF_REC_S {
    MPP_CHN_ADDR_S stMppChn;
    char acMmzName[SYS_MMZ_NAME_LEN];
};
static_assert(sizeof(SYS_MEM_CONF_REC_S) == 28, "memory configuration");

// Cache maintenance of a mapped range.
struct SYS_MFLUSH_REC_S {
    u32 u32PhyAddr;
    void *pVirAddr;
    u32 u32Size;
};

// ---- /dev/logmpp ------------------------------------------------------------------------
// The level record: the module by id (or by name when the id is DU_ID_BUTT).
struct LOG_LEVEL_CONF_S {
    u32 enModId;
    s32 s32Level;
    char cModName[16];
};
static_assert(sizeof(LOG_LEVEL_CONF_S) == 24, "log level record");

// Levels as the kernel log counts them: 0 emergencies .. 7 debug.
constexpr s32 LOG_LEVEL_MAX = 7;

constexpr unsigned long LOG_SET_LEVEL_CTRL = MPI_IOC(MPI_IOC_WRITE, 24, 'L', 0);
constexpr unsigned long LOG_GET_LEVEL_CTRL = MPI_IOC(MPI_IOC_RW, 24, 'L', 1);
constexpr unsigned long LOG_SET_WAIT_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'L', 3);

