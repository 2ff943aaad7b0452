// Requests of /dev/vpss (type 'P'), the records they carry and the status
// codes the driver answers with, shared by the video processing unit and the
// simulated driver.
#pragma once

#include "mpi/common/common_requests.h"
#include "mpi/common/video_frame_requests.h"

typedef s32 VPSS_GRP;
typedef s32 VPSS_CHN;

constexpr s32 VPSS_MAX_GRP_NUM = 128;
constexpr s32 VPSS_MAX_CHN_NUM = 12;

constexpr s32 ERR_VPSS_INVALID_DEVID = mpi_status(DU_ID_VPSS, ERR_INVALID_DEVID);
constexpr s32 ERR_VPSS_INVALID_CHNID = mpi_status(DU_ID_VPSS, ERR_INVALID_CHNID);
constexpr s32 ERR_VPSS_ILLEGAL_PARAM = mpi_status(DU_ID_VPSS, ERR_ILLEGAL_PARAM);
constexpr s32 ERR_VPSS_EXIST = mpi_status(DU_ID_VPSS, ERR_EXIST);
constexpr s32 ERR_VPSS_UNEXIST = mpi_status(DU_ID_VPSS, ERR_UNEXIST);
constexpr s32 ERR_VPSS_NULL_PTR = mpi_status(DU_ID_VPSS, ERR_NULL_PTR);
constexpr s32 ERR_VPSS_NOT_SUPPORT = mpi_status(DU_ID_VPSS, ERR_NOT_SUPPORT);
constexpr s32 ERR_VPSS_NOT_PERM = mpi_status(DU_ID_VPSS, ERR_NOT_PERM);
constexpr s32 ERR_VPSS_NOMEM = mpi_status(DU_ID_VPSS, ERR_NOMEM);
constexpr s32 ERR_VPSS_BUF_EMPTY = mpi_status(DU_ID_VPSS, ERR_BUF_EMPTY);
constexpr s32 ERR_VPSS_NOTREADY = mpi_status(DU_ID_VPSS, ERR_SYS_NOTREADY);

struct VPSS_GRP_ATTR_REC_S {
    u32 u32MaxW, u32MaxH;
    u32 enPixFmt;
    u32 bIeEn, bDciEn, bNrEn, bHistEn;
    u32 enDieMode;
};
static_assert(sizeof(VPSS_GRP_ATTR_REC_S) == 32, "group attributes");

struct VPSS_CHN_ATTR_REC_S {
    u32 bSpEn;          // sharpening
    u32 bBorderEn;
    u32 bMirror;
    u32 bFlip;
    s32 s32SrcFrameRate; // -1: no frame-rate control
    s32 s32DstFrameRate;
    u32 au32Border[5];
};
static_assert(sizeof(VPSS_CHN_ATTR_REC_S) == 44, "channel attributes");

constexpr u32 VPSS_CHN_MODE_AUTO = 0;
constexpr u32 VPSS_CHN_MODE_USER = 1;
struct VPSS_CHN_MODE_REC_S {
    u32 enChnMode;       // 1: the size below; 0: the group's input size
    u32 u32Width, u32Height;
    u32 bDouble;
    u32 enPixelFormat;
    u32 enCompressMode;
};
static_assert(sizeof(VPSS_CHN_MODE_REC_S) == 24, "channel mode");

struct VPSS_CROP_REC_S {
    u32 bEnable;
    u32 enCropCoordinate;
    s32 s32X, s32Y;
    u32 u32Width, u32Height;
};
static_assert(sizeof(VPSS_CROP_REC_S) == 24, "crop");

// Records the driver keeps as they are given.
struct VPSS_EXT_CHN_ATTR_REC_S { u32 au32Word[7]; };
struct VPSS_GRP_PARAM_REC_S { u32 au32Word[8]; };
struct VPSS_GRP_PARAM_V2_REC_S { u32 au32Word[3]; };
struct VPSS_NR_V3_PARAM_REC_S { u16 au16Word[15]; };
struct VPSS_GRP_LEVEL2_PARAM_REC_S { u32 au32Word[3]; };
struct VPSS_NR_V2_PARAM_REC_S { u32 au32Word[15]; };
struct VPSS_NR_PARAM_REC_S { u32 au32Word[15]; };
struct VPSS_NRB_PARAM_REC_S { u32 au32Word[26]; };
struct VPSS_LDC_ATTR_REC_S { u32 au32Word[5]; };
struct VPSS_FRAME_RATE_REC_S { s32 s32SrcFrmRate, s32DstFrmRate; };
struct VPSS_LOW_DELAY_REC_S { u32 bEnable, u32LineCnt; };
struct VPSS_IMG_QUALITY_CFG_REC_S { u32 au32Word[210]; };
struct VPSS_IMG_QUALITY_CFG_NEW_REC_S { u32 au32Word[2]; };
struct VPSS_MOD_PARAM_REC_S { u32 u32Word; };
static_assert(sizeof(VPSS_EXT_CHN_ATTR_REC_S) == 28 && sizeof(VPSS_GRP_PARAM_REC_S) == 32 &&
                  sizeof(VPSS_GRP_PARAM_V2_REC_S) == 12 && sizeof(VPSS_NR_V3_PARAM_REC_S) == 30 &&
                  sizeof(VPSS_GRP_LEVEL2_PARAM_REC_S) == 12 && sizeof(VPSS_NR_V2_PARAM_REC_S) == 60 &&
                  sizeof(VPSS_NR_PARAM_REC_S) == 60 && sizeof(VPSS_NRB_PARAM_REC_S) == 104 &&
                  sizeof(VPSS_LDC_ATTR_REC_S) == 20 && sizeof(VPSS_FRAME_RATE_REC_S) == 8 &&
                  sizeof(VPSS_LOW_DELAY_REC_S) == 8 && sizeof(VPSS_IMG_QUALITY_CFG_REC_S) == 840 &&
                  sizeof(VPSS_IMG_QUALITY_CFG_NEW_REC_S) == 8 && sizeof(VPSS_MOD_PARAM_REC_S) == 4,
              "pass-through records");

#define VPSS_REQ(dir, size, nr) MPI_IOC(MPI_IOC_##dir, size, 'P', nr)
constexpr unsigned long VPSS_SET_GRP_ATTR = VPSS_REQ(WRITE, 32, 0);
constexpr unsigned long VPSS_GET_GRP_ATTR = VPSS_REQ(READ, 32, 1);
constexpr unsigned long VPSS_START_GRP = VPSS_REQ(NONE, 0, 2);
constexpr unsigned long VPSS_STOP_GRP = VPSS_REQ(NONE, 0, 3);
constexpr unsigned long VPSS_RESET_GRP = VPSS_REQ(NONE, 0, 4);
constexpr unsigned long VPSS_SET_CHN_ATTR = VPSS_REQ(WRITE, 44, 5);
constexpr unsigned long VPSS_GET_CHN_ATTR = VPSS_REQ(READ, 44, 6);
constexpr unsigned long VPSS_ENABLE_CHN = VPSS_REQ(NONE, 0, 7);
constexpr unsigned long VPSS_DISABLE_CHN = VPSS_REQ(NONE, 0, 8);
constexpr unsigned long VPSS_ENABLE_BACKUP = VPSS_REQ(NONE, 0, 9);
constexpr unsigned long VPSS_DISABLE_BACKUP = VPSS_REQ(NONE, 0, 10);
constexpr unsigned long VPSS_CREATE_GRP = VPSS_REQ(WRITE, 32, 11);
constexpr unsigned long VPSS_DESTROY_GRP = VPSS_REQ(NONE, 0, 12);
constexpr unsigned long VPSS_SET_GRP_CROP = VPSS_REQ(WRITE, 24, 13);
constexpr unsigned long VPSS_GET_GRP_CROP = VPSS_REQ(READ, 24, 14);
constexpr unsigned long VPSS_SET_GRP_PARAM = VPSS_REQ(WRITE, 32, 15);
constexpr unsigned long VPSS_GET_GRP_PARAM = VPSS_REQ(READ, 32, 16);
constexpr unsigned long VPSS_SET_LEVEL2_PARAM = VPSS_REQ(RW, 12, 17);
constexpr unsigned long VPSS_GET_LEVEL2_PARAM = VPSS_REQ(RW, 12, 18);
constexpr unsigned long VPSS_SET_NRV2_PARAM = VPSS_REQ(WRITE, 60, 19);
constexpr unsigned long VPSS_GET_NRV2_PARAM = VPSS_REQ(READ, 60, 20);
constexpr unsigned long VPSS_SET_NRV3_PARAM = VPSS_REQ(WRITE, 30, 21);
constexpr unsigned long VPSS_GET_NRV3_PARAM = VPSS_REQ(READ, 30, 22);
constexpr unsigned long VPSS_SET_NRB_PARAM = VPSS_REQ(WRITE, 104, 23);
constexpr unsigned long VPSS_GET_NRB_PARAM = VPSS_REQ(READ, 104, 24);
constexpr unsigned long VPSS_SET_GRP_PARAM_V2 = VPSS_REQ(WRITE, 12, 25);
constexpr unsigned long VPSS_GET_GRP_PARAM_V2 = VPSS_REQ(READ, 12, 26);
constexpr unsigned long VPSS_SET_NR_PARAM = VPSS_REQ(WRITE, 60, 27);
constexpr unsigned long VPSS_GET_NR_PARAM = VPSS_REQ(READ, 60, 28);
constexpr unsigned long VPSS_SET_CHN_PARAM = VPSS_REQ(WRITE, 4, 29);
constexpr unsigned long VPSS_GET_CHN_PARAM = VPSS_REQ(READ, 4, 30);
constexpr unsigned long VPSS_SET_CHN_MODE = VPSS_REQ(WRITE, 24, 31);
constexpr unsigned long VPSS_GET_CHN_MODE = VPSS_REQ(READ, 24, 32);
constexpr unsigned long VPSS_SET_DEPTH = VPSS_REQ(WRITE, 4, 33);
constexpr unsigned long VPSS_GET_DEPTH = VPSS_REQ(READ, 4, 34);
constexpr unsigned long VPSS_SEND_FRAME = VPSS_REQ(WRITE, 152, 35);
constexpr unsigned long VPSS_GET_CHN_FRAME = VPSS_REQ(RW, 8, 36);
constexpr unsigned long VPSS_RELEASE_CHN_FRAME = VPSS_REQ(WRITE, 144, 37);
constexpr unsigned long VPSS_GET_GRP_FRAME = VPSS_REQ(RW, 8, 38);
constexpr unsigned long VPSS_RELEASE_GRP_FRAME = VPSS_REQ(WRITE, 144, 39);
constexpr unsigned long VPSS_SET_GRP_FRAME_RATE = VPSS_REQ(WRITE, 8, 40);
constexpr unsigned long VPSS_GET_GRP_FRAME_RATE = VPSS_REQ(READ, 8, 41);
constexpr unsigned long VPSS_SET_EXT_CHN_ATTR = VPSS_REQ(WRITE, 28, 42);
constexpr unsigned long VPSS_GET_EXT_CHN_ATTR = VPSS_REQ(READ, 28, 43);
constexpr unsigned long VPSS_SET_EXT_CHN_CROP = VPSS_REQ(WRITE, 24, 42);
constexpr unsigned long VPSS_GET_EXT_CHN_CROP = VPSS_REQ(READ, 24, 43);
constexpr unsigned long VPSS_SET_GRP_DELAY = VPSS_REQ(WRITE, 4, 44);
constexpr unsigned long VPSS_GET_GRP_DELAY = VPSS_REQ(READ, 4, 45);
constexpr unsigned long VPSS_SET_CHN_OVERLAY = VPSS_REQ(WRITE, 4, 46);
constexpr unsigned long VPSS_GET_CHN_OVERLAY = VPSS_REQ(READ, 4, 47);
constexpr unsigned long VPSS_BIND_FD = VPSS_REQ(WRITE, 4, 48);
constexpr unsigned long VPSS_GET_REGION_LUMA = VPSS_REQ(RW, 16, 49);
constexpr unsigned long VPSS_SET_IQ_CFG = VPSS_REQ(WRITE, 840, 50);
constexpr unsigned long VPSS_GET_IQ_CFG = VPSS_REQ(RW, 840, 51);
constexpr unsigned long VPSS_SET_IQ_CFG_NEW = VPSS_REQ(WRITE, 8, 52);
constexpr unsigned long VPSS_GET_IQ_CFG_NEW = VPSS_REQ(RW, 8, 53);
constexpr unsigned long VPSS_SET_CHN_CROP = VPSS_REQ(WRITE, 24, 54);
constexpr unsigned long VPSS_GET_CHN_CROP = VPSS_REQ(READ, 24, 55);
constexpr unsigned long VPSS_SET_REF_SELECT = VPSS_REQ(WRITE, 4, 56);
constexpr unsigned long VPSS_GET_REF_SELECT = VPSS_REQ(READ, 4, 57);
constexpr unsigned long VPSS_SET_CHN_COVER = VPSS_REQ(WRITE, 4, 58);
constexpr unsigned long VPSS_GET_CHN_COVER = VPSS_REQ(READ, 4, 59);
constexpr unsigned long VPSS_SET_LOW_DELAY = VPSS_REQ(WRITE, 8, 60);
constexpr unsigned long VPSS_GET_LOW_DELAY = VPSS_REQ(READ, 8, 61);
constexpr unsigned long VPSS_SET_CHN_NR = VPSS_REQ(WRITE, 4, 62);
constexpr unsigned long VPSS_GET_CHN_NR = VPSS_REQ(READ, 4, 63);
constexpr unsigned long VPSS_SET_ROTATE = VPSS_REQ(WRITE, 4, 64);
constexpr unsigned long VPSS_GET_ROTATE = VPSS_REQ(READ, 4, 65);
constexpr unsigned long VPSS_SET_LDC_ATTR = VPSS_REQ(WRITE, 20, 66);
constexpr unsigned long VPSS_GET_LDC_ATTR = VPSS_REQ(READ, 20, 67);
constexpr unsigned long VPSS_SET_MOD_PARAM = VPSS_REQ(WRITE, 4, 77);
constexpr unsigned long VPSS_GET_MOD_PARAM = VPSS_REQ(READ, 4, 78);
#undef VPSS_REQ

static_assert(VPSS_CREATE_GRP == 0x4020500B && VPSS_BIND_FD == 0x40045030 && VPSS_SEND_FRAME == 0x40985023,
              "request numbers");

// The descriptor's object: (group << 16) | channel.
constexpr u32 vpss_bind_word(s32 grp, s32 chn) { return ((u32)grp << 16) | (u32)chn; }

// Channel frame get: where the driver writes the frame, and the wait.
struct VPSS_CHN_FRAME_REQ_S {
    VIDEO_FRAME_REC_S *pstFrame;
    s32 s32MilliSec;
};
// Group frame get: the selector first, then where the frame goes.
struct VPSS_GRP_FRAME_REQ_S {
    u32 u32Selector;
    VIDEO_FRAME_REC_S *pstFrame;
};
struct VPSS_REGION_LUMA_REQ_S {
    VIDEO_REGION_INFO_S stRegionInfo;
    u32 *pu32LumaData;
    s32 s32MilliSec;
};
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(VPSS_CHN_FRAME_REQ_S) == 8 && sizeof(VPSS_GRP_FRAME_REQ_S) == 8 &&
                  sizeof(VPSS_REGION_LUMA_REQ_S) == 16,
              "frame requests");
#endif

// What the driver's temporal noise filter reads of a group's NR V3 block
// (it keeps the other bytes as given): the share of each new picture's luma
// it takes, in 64ths (64 or more: the filter passes pictures through), and
// the luma change from the filtered picture above which a pixel counts as
// moving and is taken as it comes. A new group starts with the filter off.
constexpr u32 VPSS_NRV3_TEMPORAL_SHARE_BYTE = 15;
constexpr u32 VPSS_NRV3_MOTION_BYTE = 19;
constexpr u8 VPSS_NRV3_SHARE_ALL = 64;
constexpr u8 VPSS_NRV3_MOTION_DEFAULT = 16;

// Records the driver keeps as given and hands back on the matching get:
// (set request, get request), group-wide unless `chn` is set.
struct VPSS_STORED_REQ_S {
    unsigned long set, get;
    bool chn;
};
constexpr VPSS_STORED_REQ_S VPSS_STORED_REQS[] = {
    {VPSS_SET_GRP_CROP, VPSS_GET_GRP_CROP, false},         {VPSS_SET_GRP_PARAM, VPSS_GET_GRP_PARAM, false},
    {VPSS_SET_LEVEL2_PARAM, VPSS_GET_LEVEL2_PARAM, false}, {VPSS_SET_NRV2_PARAM, VPSS_GET_NRV2_PARAM, false},
    {VPSS_SET_NRV3_PARAM, VPSS_GET_NRV3_PARAM, false},     {VPSS_SET_NRB_PARAM, VPSS_GET_NRB_PARAM, false},
    {VPSS_SET_GRP_PARAM_V2, VPSS_GET_GRP_PARAM_V2, false}, {VPSS_SET_NR_PARAM, VPSS_GET_NR_PARAM, false},
    {VPSS_SET_GRP_FRAME_RATE, VPSS_GET_GRP_FRAME_RATE, false},
    {VPSS_SET_GRP_DELAY, VPSS_GET_GRP_DELAY, false},       {VPSS_SET_IQ_CFG, VPSS_GET_IQ_CFG, false},
    {VPSS_SET_IQ_CFG_NEW, VPSS_GET_IQ_CFG_NEW, false},     {VPSS_SET_REF_SELECT, VPSS_GET_REF_SELECT, false},
    {VPSS_SET_MOD_PARAM, VPSS_GET_MOD_PARAM, false},       {VPSS_SET_CHN_PARAM, VPSS_GET_CHN_PARAM, true},
    {VPSS_SET_EXT_CHN_ATTR, VPSS_GET_EXT_CHN_ATTR, true},  {VPSS_SET_EXT_CHN_CROP, VPSS_GET_EXT_CHN_CROP, true},
    {VPSS_SET_CHN_OVERLAY, VPSS_GET_CHN_OVERLAY, true},    {VPSS_SET_CHN_CROP, VPSS_GET_CHN_CROP, true},
    {VPSS_SET_CHN_COVER, VPSS_GET_CHN_COVER, true},        {VPSS_SET_LOW_DELAY, VPSS_GET_LOW_DELAY, true},
    {VPSS_SET_CHN_NR, VPSS_GET_CHN_NR, true},              {VPSS_SET_ROTATE, VPSS_GET_ROTATE, true},
    {VPSS_SET_LDC_ATTR, VPSS_GET_LDC_ATTR, true},
};
