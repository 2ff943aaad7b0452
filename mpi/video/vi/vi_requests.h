// Requests of /dev/vi (type 'I'), the records they carry and the status codes
// the driver answers with, shared by the video input unit and the simulated
// driver.
#pragma once

#include "mpi/common/common_requests.h"
#include "mpi/common/video_frame_requests.h"

#include <cstddef>

typedef s32 VI_DEV;
typedef s32 VI_CHN;

constexpr s32 VIU_MAX_DEV_NUM = 1;
constexpr s32 VIU_MAX_CHN_NUM = 17;     // channels 0..16
constexpr s32 VIU_MAX_FRM_CHN_NUM = 18; // frame requests reach channel 17
constexpr s32 VIU_EXT_CHN_START = 1;
constexpr s32 VIU_EXT_CHN_END = 16;

constexpr s32 ERR_VI_INVALID_DEVID = mpi_status(DU_ID_VIU, ERR_INVALID_DEVID);
constexpr s32 ERR_VI_INVALID_CHNID = mpi_status(DU_ID_VIU, ERR_INVALID_CHNID);
constexpr s32 ERR_VI_INVALID_PARA = mpi_status(DU_ID_VIU, ERR_ILLEGAL_PARAM);
constexpr s32 ERR_VI_INVALID_NULL_PTR = mpi_status(DU_ID_VIU, ERR_NULL_PTR);
constexpr s32 ERR_VI_NOT_SUPPORT = mpi_status(DU_ID_VIU, ERR_NOT_SUPPORT);
constexpr s32 ERR_VI_SYS_NOTREADY = mpi_status(DU_ID_VIU, ERR_SYS_NOTREADY);
constexpr s32 ERR_VI_BUSY = mpi_status(DU_ID_VIU, ERR_BUSY);
constexpr s32 ERR_VI_BUF_EMPTY = mpi_status(DU_ID_VIU, ERR_BUF_EMPTY);
constexpr s32 ERR_VI_NOT_PERM = mpi_status(DU_ID_VIU, ERR_NOT_PERM);

// Device attributes (the camera's values are the pipeline's).
struct VI_DEV_ATTR_REC_S {
    u32 enIntfMode;
    u32 enWorkMode;
    u32 au32CompMask[2];
    u32 enScanMode;     // 1 progressive
    s32 s32AdChnId[4];  // -1 none
    u32 enDataSeq;
    u32 au32SynCfg[15]; // sync, polarities, then nine timing-blank words
    u32 enDataPath;     // 1 through the ISP
    u32 enInputDataType;
    u32 bDataRev;
    s32 s32X, s32Y;     // capture rectangle
    u32 u32Width, u32Height;
};
static_assert(sizeof(VI_DEV_ATTR_REC_S) == 128, "device attributes");

struct VI_CHN_ATTR_REC_S {
    s32 s32X, s32Y;             // capture rectangle within the device's window
    u32 u32Width, u32Height;
    u32 u32DestWidth, u32DestHeight;
    u32 enCapSel;               // 2 both fields
    u32 enPixFormat;            // 23 semi-planar 4:2:0
    u32 enCompressMode;
    u32 bMirror;
    u32 bFlip;
    s32 s32SrcFrameRate;        // -1: no frame-rate control
    s32 s32DstFrameRate;
};
static_assert(sizeof(VI_CHN_ATTR_REC_S) == 52, "channel attributes");

struct VI_WDR_ATTR_REC_S {
    u32 enWDRMode;
    u32 bCompress;
};
static_assert(sizeof(VI_WDR_ATTR_REC_S) == 8, "WDR attributes");

// Colour conversion; word 2 is the contrast (45 neutral).
struct VI_CSC_ATTR_REC_S {
    u32 enViCscType;
    u32 u32LumaVal;
    u32 u32ContrVal;
    u32 u32HueVal;
    u32 u32SatuVal;
    u32 u32Reserved;
};
static_assert(sizeof(VI_CSC_ATTR_REC_S) == 24, "colour conversion");

// Channel status as the driver reports it.
struct VI_CHN_STAT_S {
    u32 bEnable;
    u32 u32IntCnt;   // frames captured
    u32 u32FrmRate;  // frames in the last second
    u32 u32LostInt;  // frames dropped
    u32 u32VbFail;   // frames without a free buffer
    u32 u32PicWidth;
    u32 u32PicHeight;
};
static_assert(sizeof(VI_CHN_STAT_S) == 28, "channel status");

// Records the driver keeps as they are given.
struct VI_DEV_ATTR_EX_REC_S { u32 au32Word[37]; };
struct VI_CHN_BIND_REC_S { s32 ViDev; s32 ViWay; };
struct VI_USERPIC_REC_S { u32 au32Word[38]; };
struct VI_FLASH_CONFIG_REC_S { u32 au32Word[5]; };
struct VI_LDC_ATTR_REC_S { u32 au32Word[5]; };
struct VI_EXT_CHN_ATTR_REC_S { u32 au32Word[7]; };
struct VI_EXT_CHN_CROP_REC_S { u32 au32Word[5]; };
struct VI_CHN_LUMA_REC_S { u32 u32Lum; u32 u32Reserved; u64 u64Pts; };
struct VI_DUMP_ATTR_REC_S { u32 au32Word[2]; };
struct VI_DIS_ATTR_REC_S { u32 au32Word[3]; };
struct VI_DCI_PARAM_REC_S { u32 au32Word[4]; };
struct VI_MOD_PARAM_REC_S { u32 au32Word[2]; };
static_assert(sizeof(VI_DEV_ATTR_EX_REC_S) == 148 && sizeof(VI_CHN_BIND_REC_S) == 8 &&
                  sizeof(VI_USERPIC_REC_S) == 152 && sizeof(VI_FLASH_CONFIG_REC_S) == 20 &&
                  sizeof(VI_LDC_ATTR_REC_S) == 20 && sizeof(VI_EXT_CHN_ATTR_REC_S) == 28 &&
                  sizeof(VI_EXT_CHN_CROP_REC_S) == 20 && sizeof(VI_CHN_LUMA_REC_S) == 16 &&
                  sizeof(VI_DUMP_ATTR_REC_S) == 8 && sizeof(VI_DIS_ATTR_REC_S) == 12 &&
                  sizeof(VI_DCI_PARAM_REC_S) == 16 && sizeof(VI_MOD_PARAM_REC_S) == 8,
              "pass-through records");

// The dark frame of a fixed-pattern-noise calibration, as the driver
// describes it: the ISP's FPN calls read the ISO, offset, pixel format and
// compression and pass the rest through. The board's dark frame is one row,
// every row of a column reading the same.
struct VI_FPN_FRAME_INFO_S {
    u32 u32Iso;         // the ISO the calibration ran at
    u32 u32Offset;      // the mean dark level, which the correction keeps
    u32 u32Width;       // pixels a row
    u32 u32Height;      // rows kept
    u32 u32PhyAddr;     // the dark frame, u16 per pixel
    u32 u32Stride;      // bytes a row
    u32 u32Size;        // bytes in all
    u32 enPixelFormat;  // 12 Raw8, 13 Raw10, 14 Raw12, 16 Raw16
    u32 u32TimeRef;
    u32 enCompressMode; // 0 none, 4 frame
    u32 au32Reserved[30];
};
static_assert(sizeof(VI_FPN_FRAME_INFO_S) == 160, "FPN frame information layout");

#define VI_REQ(dir, size, nr) MPI_IOC(MPI_IOC_##dir, size, 'I', nr)
constexpr unsigned long VI_SET_DEV_ATTR = VI_REQ(WRITE, 128, 0);
constexpr unsigned long VI_SET_DEV_ATTR_EX = VI_REQ(WRITE, 148, 1);
constexpr unsigned long VI_GET_DEV_ATTR = VI_REQ(READ, 128, 2);
constexpr unsigned long VI_GET_DEV_ATTR_EX = VI_REQ(READ, 148, 3);
constexpr unsigned long VI_ENABLE_DEV = VI_REQ(NONE, 0, 4);
constexpr unsigned long VI_DISABLE_DEV = VI_REQ(NONE, 0, 5);
constexpr unsigned long VI_BIND_CHN = VI_REQ(WRITE, 8, 6);
constexpr unsigned long VI_GET_CHN_BIND = VI_REQ(READ, 8, 7);
constexpr unsigned long VI_UNBIND_CHN = VI_REQ(NONE, 0, 8);
constexpr unsigned long VI_SET_CHN_ATTR = VI_REQ(WRITE, 52, 9);
constexpr unsigned long VI_GET_CHN_ATTR = VI_REQ(READ, 52, 10);
constexpr unsigned long VI_ENABLE_CHN = VI_REQ(NONE, 0, 14);
constexpr unsigned long VI_DISABLE_CHN = VI_REQ(NONE, 0, 15);
constexpr unsigned long VI_ENABLE_CHN_INT = VI_REQ(NONE, 0, 16);
constexpr unsigned long VI_DISABLE_CHN_INT = VI_REQ(NONE, 0, 17);
constexpr unsigned long VI_SET_FRAME_DEPTH = VI_REQ(WRITE, 4, 18);
constexpr unsigned long VI_GET_FRAME_DEPTH = VI_REQ(RW, 4, 19);
constexpr unsigned long VI_GET_FRAME = VI_REQ(RW, 152, 20);
constexpr unsigned long VI_RELEASE_FRAME = VI_REQ(WRITE, 144, 21);
constexpr unsigned long VI_SET_USER_PIC = VI_REQ(WRITE, 152, 22);
constexpr unsigned long VI_ENABLE_USER_PIC = VI_REQ(NONE, 0, 23);
constexpr unsigned long VI_DISABLE_USER_PIC = VI_REQ(NONE, 0, 24);
constexpr unsigned long VI_QUERY = VI_REQ(READ, 28, 25);
constexpr unsigned long VI_BIND_FD = VI_REQ(WRITE, 4, 26);
constexpr unsigned long VI_SET_REG_DELAY = VI_REQ(WRITE, 4, 27);
constexpr unsigned long VI_SET_FLASH_CONFIG = VI_REQ(WRITE, 20, 28);
constexpr unsigned long VI_GET_FLASH_CONFIG = VI_REQ(READ, 20, 29);
constexpr unsigned long VI_TRIGGER_FLASH = VI_REQ(WRITE, 4, 30);
constexpr unsigned long VI_SET_CSC_ATTR = VI_REQ(WRITE, 24, 31);
constexpr unsigned long VI_GET_CSC_ATTR = VI_REQ(READ, 24, 32);
constexpr unsigned long VI_SET_LDC_ATTR = VI_REQ(WRITE, 20, 33);
constexpr unsigned long VI_GET_LDC_ATTR = VI_REQ(READ, 20, 34);
constexpr unsigned long VI_SET_ROTATE = VI_REQ(WRITE, 4, 36);
constexpr unsigned long VI_GET_ROTATE = VI_REQ(READ, 4, 37);
constexpr unsigned long VI_GET_CHN_LUMA = VI_REQ(READ, 16, 38);
constexpr unsigned long VI_SET_EXT_CHN_ATTR = VI_REQ(WRITE, 28, 39);
constexpr unsigned long VI_GET_EXT_CHN_ATTR = VI_REQ(READ, 28, 40);
constexpr unsigned long VI_SET_EXT_CHN_CROP = VI_REQ(WRITE, 20, 41);
constexpr unsigned long VI_GET_EXT_CHN_CROP = VI_REQ(READ, 20, 42);
constexpr unsigned long VI_SET_WDR_ATTR = VI_REQ(WRITE, 8, 43);
constexpr unsigned long VI_GET_WDR_ATTR = VI_REQ(READ, 8, 44);
constexpr unsigned long VI_SET_DUMP_ATTR = VI_REQ(WRITE, 8, 45);
constexpr unsigned long VI_GET_DUMP_ATTR = VI_REQ(READ, 8, 46);
constexpr unsigned long VI_ENABLE_BAYER_DUMP = VI_REQ(NONE, 0, 47);
constexpr unsigned long VI_DISABLE_BAYER_DUMP = VI_REQ(NONE, 0, 48);
constexpr unsigned long VI_ENABLE_BAYER_READ = VI_REQ(NONE, 0, 53);
constexpr unsigned long VI_DISABLE_BAYER_READ = VI_REQ(NONE, 0, 54);
constexpr unsigned long VI_SEND_BAYER_DATA = VI_REQ(WRITE, 152, 55);
constexpr unsigned long VI_SET_DIS_ATTR = VI_REQ(RW, 12, 56);
constexpr unsigned long VI_GET_DIS_ATTR = VI_REQ(READ, 12, 57);
constexpr unsigned long VI_SET_DCI_PARAM = VI_REQ(RW, 16, 58);
constexpr unsigned long VI_GET_DCI_PARAM = VI_REQ(READ, 16, 59);
constexpr unsigned long VI_SET_MOD_PARAM = VI_REQ(WRITE, 8, 64);
constexpr unsigned long VI_GET_MOD_PARAM = VI_REQ(READ, 8, 65);
constexpr unsigned long VI_SET_USR_FRM_MODE = VI_REQ(WRITE, 4, 66);
// Fixed-pattern noise: one request calibrates or corrects (word 1 says
// which), the other reads the correction in force back.
constexpr unsigned long VI_FPN_SET = VI_REQ(RW, 184, 51);
constexpr unsigned long VI_FPN_GET = VI_REQ(READ, 184, 52);
#undef VI_REQ

static_assert(VI_FPN_SET == 0xC0B84933 && VI_FPN_GET == 0x80B84934, "FPN request numbers");

enum VI_FPN_OP_E : u32 { VI_FPN_OP_CORRECT = 1, VI_FPN_OP_CALIBRATE = 2 };

struct VI_FPN_CALIBRATE_REQ_S {
    u32 enFpnType; // 0 frame, 1 line
    u32 enOp;      // VI_FPN_OP_CALIBRATE
    u32 u32Param0;
    u32 u32Param1;
    VI_FPN_FRAME_INFO_S stFrameInfo; // in, and the dark frame's out
    u32 au32Reserved[2];
};

struct VI_FPN_CORRECT_REQ_S {
    u32 enFpnType;
    u32 enOp; // VI_FPN_OP_CORRECT
    u32 bEnable;
    u32 u32Strength; // 0..1023, 256 = 1x
    u32 enOpType;    // 0 auto, 1 manual (the ISP's; kept)
    u32 u32Reserved;
    VI_FPN_FRAME_INFO_S stFrameInfo;
};
static_assert(sizeof(VI_FPN_CALIBRATE_REQ_S) == 184 && sizeof(VI_FPN_CORRECT_REQ_S) == 184, "FPN request layouts");
static_assert(offsetof(VI_FPN_CORRECT_REQ_S, stFrameInfo) == 24, "the correction's frame information at +24");

static_assert(VI_SET_DEV_ATTR == 0x40804900 && VI_ENABLE_DEV == 0x4904 && VI_BIND_FD == 0x4004491A,
              "request numbers");

// Records the driver keeps as given and hands back on the matching get:
// (set request, get request). Device-wide unless `chn` is set.
struct VI_STORED_REQ_S {
    unsigned long set, get;
    bool chn;
};
constexpr VI_STORED_REQ_S VI_STORED_REQS[] = {
    {VI_SET_DEV_ATTR_EX, VI_GET_DEV_ATTR_EX, false}, {VI_BIND_CHN, VI_GET_CHN_BIND, true},
    {VI_SET_FLASH_CONFIG, VI_GET_FLASH_CONFIG, false}, {VI_SET_CSC_ATTR, VI_GET_CSC_ATTR, false},
    {VI_SET_LDC_ATTR, VI_GET_LDC_ATTR, true},       {VI_SET_EXT_CHN_ATTR, VI_GET_EXT_CHN_ATTR, true},
    {VI_SET_EXT_CHN_CROP, VI_GET_EXT_CHN_CROP, true}, {VI_SET_WDR_ATTR, VI_GET_WDR_ATTR, false},
    {VI_SET_DUMP_ATTR, VI_GET_DUMP_ATTR, false},     {VI_SET_DIS_ATTR, VI_GET_DIS_ATTR, false},
    {VI_SET_DCI_PARAM, VI_GET_DCI_PARAM, false},     {VI_SET_MOD_PARAM, VI_GET_MOD_PARAM, false},
    {VI_SET_USER_PIC, 0, true},                      {VI_SET_USR_FRM_MODE, 0, true},
    {VI_SET_REG_DELAY, 0, false},                     {VI_TRIGGER_FLASH, 0, false},
};
