// Requests of /dev/mmz_userdev ('m', with 'c' and 'd' for the cache) and its
// record, shared by the zone calls, the audio memory routines and the driver.
#pragma once

#include <cstdint>

#include "mpi/common/common_requests.h"

constexpr u32 MMZ_BUF_NAME_LEN = 16;
constexpr u32 MMZ_ZONE_NAME_LEN = 32;
// Read and write access (bits 0-7), flags 1 (bits 8-19).
constexpr u32 MMZ_ACCESS_RW = 0x103;

struct MMZ_BUF_REQ_S {
    u32 u32PhyAddr; // bit 0 of a lookup's answer: the mapping is cached
    u32 u32Rsv0;
    u32 u32Size;
    u32 u32Rsv1;
    void *pVirAddr;
    u32 u32Access;
    char acBufName[MMZ_BUF_NAME_LEN];
    char acZoneName[MMZ_ZONE_NAME_LEN];
    u32 u32Rsv2;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(MMZ_BUF_REQ_S) == 76, "zone request record");
#endif

constexpr unsigned long MMZ_ALLOC_CTRL = MPI_IOC(MPI_IOC_RW, 76, 'm', 10);
constexpr unsigned long MMZ_FREE_CTRL = MPI_IOC(MPI_IOC_WRITE, 76, 'm', 12);
constexpr unsigned long MMZ_REMAP_CTRL = MPI_IOC(MPI_IOC_RW, 76, 'm', 20);
constexpr unsigned long MMZ_REMAP_CACHED_CTRL = MPI_IOC(MPI_IOC_RW, 76, 'm', 21);
constexpr unsigned long MMZ_UNMAP_CTRL = MPI_IOC(MPI_IOC_RW, 76, 'm', 22);
constexpr unsigned long MMZ_GET_PHYADDR_CTRL = MPI_IOC(MPI_IOC_RW, 76, 'm', 23);
constexpr unsigned long MMZ_FLUSH_DCACHE_ALL = MPI_IOC(MPI_IOC_NONE, 0, 'c', 40);
constexpr unsigned long MMZ_FLUSH_DCACHE_DIRTY = MPI_IOC(MPI_IOC_WRITE, 12, 'd', 50);

static_assert(MMZ_ALLOC_CTRL == 0xC04C6D0A && MMZ_FREE_CTRL == 0x404C6D0C, "request numbers");

// The range of a cache flush.
struct MMZ_FLUSH_REC_S {
    u32 u32PhyAddr;
    void *pVirAddr;
    u32 u32Size;
};
