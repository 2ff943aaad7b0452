// Requests of /dev/sys ('Y') and /dev/logmpp ('L') and their records, shared
// by the system unit and the simulated drivers.
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/sys/mpi_sys.h"

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
constexpr unsigned long LOG_SET_LEVEL_CTRL = MPI_IOC(MPI_IOC_WRITE, 24, 'L', 0);
constexpr unsigned long LOG_GET_LEVEL_CTRL = MPI_IOC(MPI_IOC_RW, 24, 'L', 1);
constexpr unsigned long LOG_SET_WAIT_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'L', 3);

