// Requests of /dev/vda (type 'M'), the records they carry and the status codes
// the driver answers with, shared by the video detection unit and the
// simulated driver.
#pragma once

#include "mpi/common/common_requests.h"
#include "mpi/common/video_frame_requests.h"

#include <cstddef>

typedef s32 VDA_CHN;

constexpr s32 VDA_MAX_CHN_NUM = 32;

constexpr s32 ERR_VDA_INVALID_CHNID = mpi_status(DU_ID_VDA, ERR_INVALID_CHNID);
constexpr s32 ERR_VDA_ILLEGAL_PARAM = mpi_status(DU_ID_VDA, ERR_ILLEGAL_PARAM);
constexpr s32 ERR_VDA_EXIST = mpi_status(DU_ID_VDA, ERR_EXIST);
constexpr s32 ERR_VDA_UNEXIST = mpi_status(DU_ID_VDA, ERR_UNEXIST);
constexpr s32 ERR_VDA_NULL_PTR = mpi_status(DU_ID_VDA, ERR_NULL_PTR);
constexpr s32 ERR_VDA_NOT_SUPPORT = mpi_status(DU_ID_VDA, ERR_NOT_SUPPORT);
constexpr s32 ERR_VDA_NOT_PERM = mpi_status(DU_ID_VDA, ERR_NOT_PERM);
constexpr s32 ERR_VDA_NOMEM = mpi_status(DU_ID_VDA, ERR_NOMEM);
constexpr s32 ERR_VDA_BUF_EMPTY = mpi_status(DU_ID_VDA, ERR_BUF_EMPTY);
constexpr s32 ERR_VDA_SYS_NOTREADY = mpi_status(DU_ID_VDA, ERR_SYS_NOTREADY);
constexpr s32 ERR_VDA_BADADDR = mpi_status(DU_ID_VDA, ERR_BADADDR);

// Work modes: 0 motion (per-macroblock differences and moving objects).
constexpr u32 VDA_WORK_MODE_MD = 0;
// Macroblock sizes and SAD element widths.
constexpr u32 VDA_MB_8PIXEL = 0, VDA_MB_16PIXEL = 1;
constexpr u32 VDA_MB_SAD_8BIT = 0, VDA_MB_SAD_16BIT = 1;
// Algorithm 1 compares with a reference picture; reference mode 0 takes the
// picture analysed before.
constexpr u32 VDA_ALG_REF = 1;
constexpr u32 VDA_REF_MODE_DYNAMIC = 0;

// The motion part of the channel attributes (words 1 to 9).
struct VDA_MD_ATTR_REC_S {
    u32 enVdaAlg;
    u32 enMbSize;
    u32 enMbSadBits;
    u32 enRefMode;
    u32 u32MdBufNum;     // results the driver can hold
    u32 u32VdaIntvl;     // pictures from one analysis to the next
    u32 u32BgUpSrcWgt;   // background update weight
    u32 u32SadTh;        // a macroblock above it is part of an object
    u32 u32ObjNumMax;
};

struct VDA_CHN_ATTR_REC_S {
    u32 enWorkMode;
    union {
        VDA_MD_ATTR_REC_S stMdAttr;
        u32 au32Word[39]; // words 1 to 39
    } unAttr;
    u32 u32Width;
    u32 u32Height;
};
static_assert(sizeof(VDA_CHN_ATTR_REC_S) == 168 && offsetof(VDA_CHN_ATTR_REC_S, u32Width) == 160,
              "channel attributes");

// A moving object: its bounding rectangle in pixels (right and bottom
// exclusive).
struct VDA_OBJ_S {
    u16 u16Left, u16Top, u16Right, u16Bottom;
};
static_assert(sizeof(VDA_OBJ_S) == 8, "object");

// One detection result. The driver writes physical addresses into pAddr and
// pstAddr; DU_DUZ_VDA_GetData hands them to the caller as user addresses.
struct VDA_DATA_REC_S {
    u32 enWorkMode;           // word 0
    u32 bMbSadValid;          // word 1
    void *pAddr;              // word 2: SAD per macroblock, row after row
    u32 u32Stride;            // word 3: bytes from one row of the array to the next
    u32 enMbSadBits;          // word 4: 0 8-bit values, else 16-bit
    u32 bMbObjValid;          // word 5
    u32 u32ObjNum;            // word 6
    VDA_OBJ_S *pstAddr;       // word 7: the objects
    u32 u32IndexOfMaxObj;
    u32 u32SizeOfMaxObj;      // pixels
    u32 u32SizeOfTotalObj;
    u32 bPelsNumValid;
    u32 u32AlarmPixCnt;       // pixels that differ by more than the SAD threshold
    u32 u32MbWidth;           // macroblock columns
    u32 u32MbHeight;          // macroblock rows
    u32 u32ResultId;          // the driver's number for the result
    u64 u64Pts;               // the analysed picture's time, microseconds
};
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(VDA_DATA_REC_S) == 72 && offsetof(VDA_DATA_REC_S, pstAddr) == 28, "detection result");
#endif

// What a channel has in hand.
struct VDA_CHN_STAT_S {
    u32 bStartRecvPic;
    u32 u32LeftPic;    // pictures waiting to be analysed
    u32 u32LeftRst;    // results waiting to be got
};
static_assert(sizeof(VDA_CHN_STAT_S) == 12, "channel state");

// A user reference picture record (72 bytes).
struct VDA_REF_REC_S {
    u32 au32Word[18];
};
static_assert(sizeof(VDA_REF_REC_S) == 72, "reference update");

#define VDA_REQ(dir, size, nr) MPI_IOC(MPI_IOC_##dir, size, 'M', nr)
constexpr unsigned long VDA_CREATE_CHN = VDA_REQ(WRITE, 168, 0);
constexpr unsigned long VDA_DESTROY_CHN = VDA_REQ(NONE, 0, 1);
constexpr unsigned long VDA_GET_CHN_ATTR = VDA_REQ(READ, 168, 2);
constexpr unsigned long VDA_SET_CHN_ATTR = VDA_REQ(WRITE, 168, 3);
constexpr unsigned long VDA_START_RECV = VDA_REQ(NONE, 0, 6);
constexpr unsigned long VDA_STOP_RECV = VDA_REQ(NONE, 0, 7);
constexpr unsigned long VDA_GET_DATA = VDA_REQ(RW, 80, 8);
constexpr unsigned long VDA_RELEASE_DATA = VDA_REQ(WRITE, 72, 9);
constexpr unsigned long VDA_RESET_OD_REGION = VDA_REQ(WRITE, 4, 10);
constexpr unsigned long VDA_QUERY = VDA_REQ(RW, 12, 11);
constexpr unsigned long VDA_UPDATE_REF = VDA_REQ(WRITE, 72, 12);
constexpr unsigned long VDA_BIND_FD = VDA_REQ(WRITE, 4, 13);
constexpr unsigned long VDA_GET_BUF = VDA_REQ(READ, 8, 14);
constexpr unsigned long VDA_SEND_PIC = VDA_REQ(WRITE, 152, 15);
#undef VDA_REQ

static_assert(VDA_CREATE_CHN == 0x40A84D00 && VDA_GET_DATA == 0xC0504D08 && VDA_RELEASE_DATA == 0x40484D09 &&
                  VDA_BIND_FD == 0x40044D0D && VDA_GET_BUF == 0x80084D0E && VDA_SEND_PIC == 0x40984D0F,
              "request numbers");

// Get-data: the result (out), then the wait in milliseconds (in).
struct VDA_GET_DATA_REQ_S {
    VDA_DATA_REC_S stData;
    s32 s32MilliSec;
};
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(VDA_GET_DATA_REQ_S) == 80, "get-data request");
#endif

// The channel's result buffer in physical memory.
struct VDA_BUF_REC_S {
    u32 u32PhyAddr;
    u32 u32Size;
};
static_assert(sizeof(VDA_BUF_REC_S) == 8, "result buffer");

// A picture sent by the caller: VIDEO_FRAME_REQ_S, its frame then a word.
