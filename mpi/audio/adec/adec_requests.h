// Requests of /dev/adec ('H'), shared by the audio decoder unit and its driver.
#pragma once

#include "mpi/common/common_requests.h"

constexpr unsigned long ADEC_BIND_CHN_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'H', 0);
constexpr unsigned long ADEC_CREATE_CHN_CTRL = MPI_IOC(MPI_IOC_WRITE, 16, 'H', 1);
constexpr unsigned long ADEC_DESTROY_CHN_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'H', 2);
constexpr unsigned long ADEC_CHN_STAT_CTRL = MPI_IOC(MPI_IOC_WRITE, 28, 'H', 3);

static_assert(ADEC_CHN_STAT_CTRL == 0x401C4803, "request numbers");

enum ADEC_MODE_E : u32 { ADEC_MODE_PACK = 0, ADEC_MODE_STREAM = 1 };

// Channel attributes, handed to the kernel as they are.
struct ADEC_CHN_ATTR_S {
    u32 enType;
    u32 u32BufSize; // frame slots, 2..50
    u32 enMode;     // ADEC_MODE_E
    void *pValue;   // the decoder's own attributes
};

// The counters the kernel is told.
struct ADEC_CHN_STAT_S {
    u32 u32RecvPkt;
    u32 u32DecFrm;
    u32 u32GetFrm;
    u32 u32RelFrm;
    u32 u32CodecA; // 8, or a G.726 channel's rate code
    u32 u32CodecB; // 3, or an ADPCM channel's type
    u32 u32Mode;   // 1 after a stream-mode decode, 0 after a pack
};
static_assert(sizeof(ADEC_CHN_STAT_S) == 28, "decoder counters");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ADEC_CHN_ATTR_S) == 16, "channel attributes");
#endif
