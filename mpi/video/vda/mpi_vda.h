// The video detection unit: channels 0..31 of /dev/vda that compare each
// picture they receive with a reference and report motion per macroblock.
// Results lie in a driver buffer that the unit maps once per channel, so the
// addresses inside a result reach the caller as user addresses.
//
// Every one-request call goes through vda_call (mpi_vda.cpp).
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/common/video_frame.h"

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

// One channel's descriptor and its mapped result buffer.
struct VDA_CHN_MAP_S {
    s32 s32Fd;
    u32 u32PhyAddr;
    u32 u32Reserved;
    void *pVirAddr;
    u32 u32Size;
    void *pMapStart;
    u32 u32MapLen;
};
extern VDA_CHN_MAP_S g_stMpiVda[VDA_MAX_CHN_NUM];
extern s32 g_s32VdaMemFd;

s32 DU_DUZ_VDA_CreateChn(VDA_CHN VdaChn, const VDA_CHN_ATTR_REC_S *pstAttr);
s32 DU_DUZ_VDA_DestroyChn(VDA_CHN VdaChn);
s32 DU_DUZ_VDA_GetChnAttr(VDA_CHN VdaChn, VDA_CHN_ATTR_REC_S *pstAttr);
s32 DU_DUZ_VDA_SetChnAttr(VDA_CHN VdaChn, const VDA_CHN_ATTR_REC_S *pstAttr);
s32 DU_DUZ_VDA_StartRecvPic(VDA_CHN VdaChn);
s32 DU_DUZ_VDA_StopRecvPic(VDA_CHN VdaChn);
// s32MilliSec: -1 blocks, 0 does not wait, else the longest wait.
s32 DU_DUZ_VDA_GetData(VDA_CHN VdaChn, VDA_DATA_REC_S *pstVdaData, s32 s32MilliSec);
s32 DU_DUZ_VDA_ReleaseData(VDA_CHN VdaChn, const VDA_DATA_REC_S *pstVdaData);
s32 DU_DUZ_VDA_ResetOdRegion(VDA_CHN VdaChn, u32 u32Rgn);
s32 DU_DUZ_VDA_Query(VDA_CHN VdaChn, VDA_CHN_STAT_S *pstChnStat);
s32 DU_DUZ_VDA_UpdateRef(VDA_CHN VdaChn, const VDA_REF_REC_S *pstRef);
s32 DU_DUZ_VDA_SendPic(VDA_CHN VdaChn, const VIDEO_FRAME_REC_S *pstUserFrame, u32 u32MilliSec);
// The channel's descriptor (opened and bound when needed), for select; a
// platform code when it cannot be had.
s32 DU_DUZ_VDA_GetFd(VDA_CHN VdaChn);
