// Requests of /dev/aenc ('A'), shared by the audio encoder unit and its driver.
#pragma once

#include "mpi/audio/ai/ai_requests.h"
#include "mpi/common/common_requests.h"

#include <cstddef>

constexpr unsigned long AENC_CREATE_CHN_CTRL = MPI_IOC(MPI_IOC_WRITE, 16, 'A', 0);
constexpr unsigned long AENC_DESTROY_CHN_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'A', 1);
constexpr unsigned long AENC_GET_FRAME_CTRL = MPI_IOC(MPI_IOC_READ, 112, 'A', 2);
constexpr unsigned long AENC_RELEASE_FRAME_CTRL = MPI_IOC(MPI_IOC_WRITE, 112, 'A', 3);
constexpr unsigned long AENC_DBG_INFO_CTRL = MPI_IOC(MPI_IOC_WRITE, 32, 'A', 4);
constexpr unsigned long AENC_GET_STREAM_CTRL = MPI_IOC(MPI_IOC_RW, 40, 'A', 5);
constexpr unsigned long AENC_RELEASE_STREAM_CTRL = MPI_IOC(MPI_IOC_WRITE, 32, 'A', 6);
constexpr unsigned long AENC_STRMBUF_INIT_CTRL = MPI_IOC(MPI_IOC_WRITE, 16, 'A', 7);
constexpr unsigned long AENC_STRMBUF_DEINIT_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'A', 8);
constexpr unsigned long AENC_BIND_CHN_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'A', 9);
constexpr unsigned long AENC_SEND_FRAME_CTRL = MPI_IOC(MPI_IOC_WRITE, 48, 'A', 10);
constexpr unsigned long AENC_QUERY_PAYLOAD_CTRL = MPI_IOC(MPI_IOC_RW, 20, 'A', 11);
constexpr unsigned long AENC_UPDATE_WRTAIL_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'A', 12);
constexpr unsigned long AENC_WRTAIL_DONE_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'A', 13);
constexpr unsigned long AENC_SET_SAVEFILE_CTRL = MPI_IOC(MPI_IOC_WRITE, 520, 'A', 14);
constexpr unsigned long AENC_GET_SAVEFILE_CTRL = MPI_IOC(MPI_IOC_READ, 520, 'A', 15);

static_assert(AENC_BIND_CHN_CTRL == 0x40044109 && AENC_SET_SAVEFILE_CTRL == 0x4208410E, "request numbers");

// Channel attributes, handed to the kernel as they are.
struct AENC_CHANNEL_CFG_S {
    u32 enType;         // payload type, below 1004
    u32 u32PtNumPerFrm; // samples per track in one encoder frame
    u32 u32BufSize;     // packet slots, 2..50
    void *pValue;       // the encoder's own attributes
};

// In front of each packet in the stream buffer.
struct AENC_STREAM_HEADER_S {
    u64 u64TimeStamp;
    u32 u32Len;
    u32 u32Seq;
};
static_assert(sizeof(AENC_STREAM_HEADER_S) == 16, "packet header");

// One packet as GetStream hands it out.
struct AENC_STREAM_OUT_S {
    u8 *pStream;     // user address of the packet bytes
    u32 u32PhyAddr;  // slot + 16
    u32 u32Len;
    u32 u32Rsv0;
    u64 u64TimeStamp;
    u32 u32Seq;
    u32 u32Rsv1;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AENC_STREAM_OUT_S) == 32, "packet record");
#endif

// The channel's counters as the kernel is told them.
struct AENC_DBG_INFO_S {
    u32 u32RecvFrm;
    u32 u32EncPkt;
    u32 u32RefuseFrm;
    u32 u32BufFull;
    u32 au32Rsv[2];
    u32 u32G726Rate;  // 8 unless a G.726 channel
    u32 u32AdpcmType; // 3 unless an ADPCM channel
};
static_assert(sizeof(AENC_DBG_INFO_S) == 32, "counter record");

// Get packet: the wait in, the packet out.
struct AENC_GET_STREAM_REQ_S {
    s32 s32MilliSec;
    u32 u32Rsv;
    AENC_STREAM_OUT_S stStream;
};

// Stream buffer set-up: where the block lies and how it is cut.
struct AENC_STRMBUF_REQ_S {
    u32 u32PhyAddr; // block start: control block, then the data area
    u32 u32CbPackLen;
    u32 u32DataLen;
    u32 u32CbLen;
};
static_assert(sizeof(AENC_STRMBUF_REQ_S) == 16, "stream buffer set-up");

// Payload query: does the kernel encode this payload itself?
struct AENC_PAYLOAD_QUERY_S {
    u32 enType;
    u32 u32Rsv;
    u32 u32BufSize;
    void *pValue;
    u32 bKernelEnc; // out
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AENC_CHANNEL_CFG_S) == 16 && sizeof(AENC_GET_STREAM_REQ_S) == 40 &&
                  sizeof(AENC_PAYLOAD_QUERY_S) == 20,
              "encoder requests");
#endif

constexpr u32 AENC_CB_LEN = 208; // control block in front of the stream data

// The stream buffer's control block, at the block's start. The heads and
// tails are byte offsets into the data area, each in a 64-byte line of its
// own. The words that locate them and the data area hold their offsets from
// the block's start: a user address does not fit a u32 on every host, and the
// offsets say the same to both sides.
struct VALG_CB_S {
    u32 u32PhyAddr; // data area
    u32 u32RdHeadOfs;
    u32 u32RdTailOfs;
    u32 u32WrHeadOfs;
    u32 u32WrTailOfs;
    u32 u32DataOfs;
    u32 u32DataLen;
    u32 u32CbPackLen;
    u32 u32RdHead; // next packet to hand out
    u32 au32Pad0[7];
    u32 u32RdTail; // oldest packet not yet released
    u32 au32Pad1[15];
    u32 u32WrHead; // next slot to write
    u32 au32Pad2[15];
    u32 u32WrTail; // write head as last told to the kernel
    u32 au32Pad3[3];
};
constexpr u32 VALG_CB_RDHEAD_OFS = 32;
constexpr u32 VALG_CB_RDTAIL_OFS = 64;
constexpr u32 VALG_CB_WRHEAD_OFS = 128;
constexpr u32 VALG_CB_WRTAIL_OFS = 192;
static_assert(sizeof(VALG_CB_S) == AENC_CB_LEN && offsetof(VALG_CB_S, u32RdHead) == VALG_CB_RDHEAD_OFS &&
                  offsetof(VALG_CB_S, u32RdTail) == VALG_CB_RDTAIL_OFS &&
                  offsetof(VALG_CB_S, u32WrHead) == VALG_CB_WRHEAD_OFS &&
                  offsetof(VALG_CB_S, u32WrTail) == VALG_CB_WRTAIL_OFS,
              "control block layout");
