// Requests of /dev/adec ('H') and their records, shared by the audio decoder
// unit and its driver. The driver sees channels come and go and their
// counters; decoding happens in user space.
#pragma once

#include "mpi/common/mpi_common.h"

constexpr unsigned long ADEC_BIND_CHN_CTRL = 0x40044800;   // u32 channel
constexpr unsigned long ADEC_CREATE_CHN_CTRL = 0x40104801; // ADEC_CHN_ATTR_S
constexpr unsigned long ADEC_DESTROY_CHN_CTRL = 0x4802;
constexpr unsigned long ADEC_CHN_STAT_CTRL = 0x401C4803;   // ADEC_CHN_STAT_S

static_assert(ADEC_CHN_STAT_CTRL == MPI_IOC(MPI_IOC_WRITE, 28, 'H', 3), "request numbers");

// Channel attributes.
struct ADEC_CHN_ATTR_S {
    u32 enType;     // payload type
    u32 u32BufSize; // frame slots, 2..50
    u32 enMode;     // 0 pack mode, 1 stream mode
    void *pValue;   // the decoder's own attributes
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ADEC_CHN_ATTR_S) == 16, "channel attributes");
#endif

// Counters, sent after every change.
struct ADEC_CHN_STAT_S {
    u32 u32RecvPackCnt;
    u32 u32DecFrmCnt;
    u32 u32GetFrmCnt;
    u32 u32RelFrmCnt;
    u32 u32CodecWordA; // 8, or the G.726 bit-rate code
    u32 u32CodecWordB; // 3, or the ADPCM type
    u32 u32Mode;       // 1 after a stream-thread decode, 0 after a pack decode
};
static_assert(sizeof(ADEC_CHN_STAT_S) == 28, "channel counters");
