// Requests of /dev/aenc ('A') and their records, shared by the audio encoder
// unit and its driver.
#pragma once

#include "mpi/audio/ai/ai_requests.h"
#include "mpi/audio/comm/audio_frame.h"

constexpr unsigned long AENC_CREATE_CHN_CTRL = 0x40104100;    // AENC_CHANNEL_CFG_S
constexpr unsigned long AENC_DESTROY_CHN_CTRL = 0x4101;
constexpr unsigned long AENC_GET_FRAME_CTRL = 0x80704102;     // AI_FRAME_REC_S
constexpr unsigned long AENC_RELEASE_FRAME_CTRL = 0x40704103; // AI_FRAME_REC_S
constexpr unsigned long AENC_DBG_INFO_CTRL = 0x40204104;      // AENC_DBG_INFO_S
constexpr unsigned long AENC_GET_STREAM_CTRL = 0xC0284105;    // AENC_GET_STREAM_REQ_S
constexpr unsigned long AENC_RELEASE_STREAM_CTRL = 0x40204106; // AENC_STREAM_OUT_S
constexpr unsigned long AENC_STRMBUF_INIT_CTRL = 0x40104107;  // AENC_STRMBUF_REQ_S
constexpr unsigned long AENC_STRMBUF_EXIT_CTRL = 0x4108;
constexpr unsigned long AENC_BIND_CHN_CTRL = 0x40044109;      // u32 channel
constexpr unsigned long AENC_SEND_FRAME_CTRL = 0x4030410A;    // AUDIO_FRAME_S
constexpr unsigned long AENC_QUERY_PT_CTRL = 0xC014410B;      // AENC_PT_QUERY_S
constexpr unsigned long AENC_UPDATE_WRTAIL_CTRL = 0x4004410C; // u32 write tail
constexpr unsigned long AENC_WRTAIL_DONE_CTRL = 0x410D;
constexpr unsigned long AENC_SET_SAVEFILE_CTRL = 0x4208410E;  // AUDIO_SAVE_FILE_INFO_S
constexpr unsigned long AENC_GET_SAVEFILE_CTRL = 0x8208410F;  // AUDIO_SAVE_FILE_INFO_S

static_assert(AENC_GET_STREAM_CTRL == MPI_IOC(MPI_IOC_RW, 40, 'A', 5) &&
                  AENC_QUERY_PT_CTRL == MPI_IOC(MPI_IOC_RW, 20, 'A', 11),
              "request numbers");

// Channel attributes, passed to the driver unchanged.
struct AENC_CHANNEL_CFG_S {
    u32 enType;         // payload type
    u32 u32PtNumPerFrm; // samples per track in one encoder frame
    u32 u32BufSize;     // packet slots in the stream buffer, 2..50
    void *pValue;       // the encoder's own attributes
};

// One packet as GetStream hands it out.
struct AENC_STREAM_OUT_S {
    u8 *pStream;
    u32 u32PhyAddr;
    u32 u32Len;
    u64 u64TimeStamp;
    u32 u32Seq;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AENC_CHANNEL_CFG_S) == 16 && sizeof(AENC_STREAM_OUT_S) == 32, "encoder records");
#endif

// In front of every packet in the stream buffer.
struct AENC_STREAM_HEADER_S {
    u64 u64TimeStamp;
    u32 u32Len;
    u32 u32Seq;
};
static_assert(sizeof(AENC_STREAM_HEADER_S) == 16, "packet header");

// Counters the driver is told after every change.
struct AENC_DBG_INFO_S {
    u32 u32RecvFrmCnt;
    u32 u32EncPackCnt;
    u32 u32DropFrmCnt;   // refused or failed in the encoder
    u32 u32BufFullCnt;
    u32 au32Rsv[2];
    u32 u32G726Rate;     // 8 unless a G.726 channel
    u32 u32AdpcmType;    // 3 unless an ADPCM channel
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
struct AENC_PT_QUERY_S {
    u32 enType;
    u32 u32Rsv;
    u32 u32BufSize;
    void *pValue;
    u32 bKernelEnc; // out
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AENC_GET_STREAM_REQ_S) == 40 && sizeof(AENC_PT_QUERY_S) == 20, "encoder requests");
#endif

// The stream buffer's control block, at the block's start. The heads and
// tails are byte offsets into the data area, each in a 64-byte line of its own.
// The words that locate the heads, tails and data area hold their offsets
// from the block's start: a user address does not fit a u32 on every host,
// and the offsets say the same to both sides.
constexpr u32 VALG_CB_LEN = 208;
constexpr u32 VALG_CB_RDHEAD_OFS = 32;
constexpr u32 VALG_CB_RDTAIL_OFS = 64;
constexpr u32 VALG_CB_WRHEAD_OFS = 128;
constexpr u32 VALG_CB_WRTAIL_OFS = 192;

struct VALG_CB_S {
    u32 u32PhyAddr;     // data area
    u32 u32RdHeadOfs;
    u32 u32RdTailOfs;
    u32 u32WrHeadOfs;
    u32 u32WrTailOfs;
    u32 u32DataOfs;
    u32 u32DataLen;
    u32 u32CbPackLen;
    u32 u32RdHead;
    u32 au32Pad0[7];
    u32 u32RdTail;
    u32 au32Pad1[15];
    u32 u32WrHead;
    u32 au32Pad2[15];
    u32 u32WrTail;
    u32 au32Pad3[3];
};
static_assert(sizeof(VALG_CB_S) == VALG_CB_LEN && offsetof(VALG_CB_S, u32RdHead) == VALG_CB_RDHEAD_OFS &&
                  offsetof(VALG_CB_S, u32RdTail) == VALG_CB_RDTAIL_OFS &&
                  offsetof(VALG_CB_S, u32WrHead) == VALG_CB_WRHEAD_OFS &&
                  offsetof(VALG_CB_S, u32WrTail) == VALG_CB_WRTAIL_OFS,
              "control block layout");
