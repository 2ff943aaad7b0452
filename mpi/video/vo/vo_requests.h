// Requests of /dev/vo (type 'O'), the records they carry and the status codes
// the driver answers with, shared by the video output unit and the simulated
// driver.
#pragma once

#include "mpi/common/common_requests.h"
#include "mpi/common/video_frame_requests.h"

#include <cstddef>

typedef s32 VO_DEV;
typedef s32 VO_LAYER;
typedef s32 VO_CHN;
typedef u32 GRAPHIC_LAYER;

constexpr s32 VO_MAX_CHN_NUM = 32;

constexpr s32 ERR_VO_INVALID_DEVID = mpi_status(DU_ID_VOU, ERR_INVALID_DEVID);
constexpr s32 ERR_VO_INVALID_CHNID = mpi_status(DU_ID_VOU, ERR_INVALID_CHNID);
constexpr s32 ERR_VO_ILLEGAL_PARAM = mpi_status(DU_ID_VOU, ERR_ILLEGAL_PARAM);
constexpr s32 ERR_VO_NULL_PTR = mpi_status(DU_ID_VOU, ERR_NULL_PTR);
constexpr s32 ERR_VO_NOT_CONFIG = mpi_status(DU_ID_VOU, ERR_NOT_CONFIG);
constexpr s32 ERR_VO_NOT_SUPPORT = mpi_status(DU_ID_VOU, ERR_NOT_SUPPORT);
constexpr s32 ERR_VO_NOT_PERM = mpi_status(DU_ID_VOU, ERR_NOT_PERM);
constexpr s32 ERR_VO_BUF_EMPTY = mpi_status(DU_ID_VOU, ERR_BUF_EMPTY);
constexpr s32 ERR_VO_SYS_NOTREADY = mpi_status(DU_ID_VOU, ERR_SYS_NOTREADY);
constexpr s32 ERR_VO_BUSY = mpi_status(DU_ID_VOU, ERR_BUSY);
constexpr s32 ERR_VO_INVALID_GFX_LAYER = mpi_status(DU_ID_VOU, 0x68);
constexpr s32 ERR_VO_INVALID_LAYERID = mpi_status(DU_ID_VOU, 0x6D);

// Output interfaces and their sync codes.
constexpr u32 VO_INTF_CVBS = 1;
constexpr u32 VO_OUTPUT_PAL = 0;
constexpr u32 VO_OUTPUT_NTSC = 1;

// Timing of a user-defined sync; all zero for the standard ones.
struct VO_SYNC_INFO_REC_S {
    u32 au32Word[12];
};

struct VO_PUB_ATTR_REC_S {
    u32 u32BgColor;  // 0xRRGGBB
    u32 enIntfType;  // 1 composite
    u32 enIntfSync;  // 0 PAL, 1 NTSC
    VO_SYNC_INFO_REC_S stSyncInfo;
};
static_assert(sizeof(VO_PUB_ATTR_REC_S) == 60, "device attributes");

struct VO_RECT_S {
    s32 s32X, s32Y;
    u32 u32Width, u32Height;
};

struct VO_LAYER_ATTR_REC_S {
    VO_RECT_S stDispRect;      // where the layer sits on the screen
    u32 u32ImageWidth;         // the layer's picture
    u32 u32ImageHeight;
    u32 u32DispFrmRt;          // pictures per second it shows
    u32 enPixFormat;           // 23 semi-planar 4:2:0
    u32 bDoubleFrame;
    u32 bClusterMode;
};
static_assert(sizeof(VO_LAYER_ATTR_REC_S) == 40 && offsetof(VO_LAYER_ATTR_REC_S, u32ImageWidth) == 16,
              "layer attributes");

struct VO_CHN_ATTR_REC_S {
    u32 u32Priority;
    VO_RECT_S stRect;          // the channel's place on the layer's picture
    u32 bDeflicker;
};
static_assert(sizeof(VO_CHN_ATTR_REC_S) == 24 && offsetof(VO_CHN_ATTR_REC_S, stRect.u32Width) == 12,
              "channel attributes");

struct VO_CSC_REC_S {
    u32 enCscMatrix;
    u32 u32Luma, u32Contrast, u32Hue, u32Saturation;
};
static_assert(sizeof(VO_CSC_REC_S) == 20, "colour space");

struct VO_ZOOM_REC_S {
    u32 enZoomType;            // 0 a rectangle, 1 ratios in thousandths
    VO_RECT_S stZoomRect;
};
static_assert(sizeof(VO_ZOOM_REC_S) == 20, "zoom window");

struct VO_BORDER_REC_S {
    u32 bBorderEn;
    u32 u32Color;
    u32 u32LeftWidth, u32RightWidth, u32TopWidth, u32BottomWidth;
};
static_assert(sizeof(VO_BORDER_REC_S) == 24, "border");

#define VO_REQ(dir, size, nr) MPI_IOC(MPI_IOC_##dir, size, 'O', nr)
constexpr unsigned long VO_BIND_FD = VO_REQ(WRITE, 4, 0);
constexpr unsigned long VO_ENABLE = VO_REQ(NONE, 0, 2);
constexpr unsigned long VO_DISABLE = VO_REQ(NONE, 0, 3);
constexpr unsigned long VO_SET_PUB_ATTR = VO_REQ(WRITE, 60, 4);
constexpr unsigned long VO_GET_PUB_ATTR = VO_REQ(READ, 60, 5);
constexpr unsigned long VO_SET_DEV_FRAME_RATE = VO_REQ(WRITE, 4, 6);
constexpr unsigned long VO_GET_DEV_FRAME_RATE = VO_REQ(READ, 4, 7);
constexpr unsigned long VO_ENABLE_LAYER = VO_REQ(NONE, 0, 8);
constexpr unsigned long VO_DISABLE_LAYER = VO_REQ(NONE, 0, 9);
constexpr unsigned long VO_SET_LAYER_ATTR = VO_REQ(WRITE, 40, 10);
constexpr unsigned long VO_GET_LAYER_ATTR = VO_REQ(READ, 40, 11);
constexpr unsigned long VO_SET_LAYER_PRIORITY = VO_REQ(WRITE, 4, 14);
constexpr unsigned long VO_GET_LAYER_PRIORITY = VO_REQ(READ, 4, 15);
constexpr unsigned long VO_SET_LAYER_CSC = VO_REQ(WRITE, 20, 16);
constexpr unsigned long VO_GET_LAYER_CSC = VO_REQ(READ, 20, 17);
constexpr unsigned long VO_SET_DISP_BUF_LEN = VO_REQ(WRITE, 4, 18);
constexpr unsigned long VO_GET_DISP_BUF_LEN = VO_REQ(READ, 4, 19);
constexpr unsigned long VO_SET_PLAY_TOLERATION = VO_REQ(WRITE, 4, 20);
constexpr unsigned long VO_GET_PLAY_TOLERATION = VO_REQ(READ, 4, 21);
constexpr unsigned long VO_GET_SCREEN_FRAME = VO_REQ(RW, 152, 22);
constexpr unsigned long VO_RELEASE_SCREEN_FRAME = VO_REQ(WRITE, 144, 23);
constexpr unsigned long VO_SET_PART_MODE = VO_REQ(WRITE, 4, 24);
constexpr unsigned long VO_GET_PART_MODE = VO_REQ(READ, 4, 25);
constexpr unsigned long VO_SET_ATTR_BEGIN = VO_REQ(NONE, 0, 26);
constexpr unsigned long VO_SET_ATTR_END = VO_REQ(NONE, 0, 27);
constexpr unsigned long VO_ENABLE_CHN = VO_REQ(NONE, 0, 30);
constexpr unsigned long VO_DISABLE_CHN = VO_REQ(NONE, 0, 31);
constexpr unsigned long VO_SET_CHN_ATTR = VO_REQ(WRITE, 24, 32);
constexpr unsigned long VO_GET_CHN_ATTR = VO_REQ(READ, 24, 33);
constexpr unsigned long VO_SET_CHN_FIELD = VO_REQ(WRITE, 4, 36);
constexpr unsigned long VO_GET_CHN_FIELD = VO_REQ(READ, 4, 37);
constexpr unsigned long VO_SEND_FRAME = VO_REQ(WRITE, 152, 38);
constexpr unsigned long VO_GET_CHN_FRAME = VO_REQ(RW, 152, 39);
constexpr unsigned long VO_RELEASE_CHN_FRAME = VO_REQ(WRITE, 144, 40);
constexpr unsigned long VO_GET_CHN_FRAME_RATE = VO_REQ(READ, 4, 41);
constexpr unsigned long VO_SET_CHN_FRAME_RATE = VO_REQ(WRITE, 4, 42);
constexpr unsigned long VO_PAUSE_CHN = VO_REQ(NONE, 0, 43);
constexpr unsigned long VO_RESUME_CHN = VO_REQ(NONE, 0, 44);
constexpr unsigned long VO_STEP_CHN = VO_REQ(NONE, 0, 45);
constexpr unsigned long VO_REFRESH_CHN = VO_REQ(NONE, 0, 46);
constexpr unsigned long VO_SET_ZOOM_WINDOW = VO_REQ(WRITE, 20, 47);
constexpr unsigned long VO_GET_ZOOM_WINDOW = VO_REQ(READ, 20, 48);
constexpr unsigned long VO_SHOW_CHN = VO_REQ(NONE, 0, 49);
constexpr unsigned long VO_HIDE_CHN = VO_REQ(NONE, 0, 50);
constexpr unsigned long VO_GET_CHN_PTS = VO_REQ(READ, 8, 51);
constexpr unsigned long VO_QUERY_CHN_STAT = VO_REQ(READ, 4, 52);
constexpr unsigned long VO_CLEAR_CHN_BUFFER = VO_REQ(WRITE, 4, 53);
constexpr unsigned long VO_SET_CHN_BORDER = VO_REQ(WRITE, 24, 54);
constexpr unsigned long VO_GET_CHN_BORDER = VO_REQ(READ, 24, 55);
constexpr unsigned long VO_SET_RECV_THRESHOLD = VO_REQ(WRITE, 4, 56);
constexpr unsigned long VO_GET_RECV_THRESHOLD = VO_REQ(READ, 4, 57);
constexpr unsigned long VO_GET_CHN_REGION_LUMA = VO_REQ(RW, 16, 58);
constexpr unsigned long VO_SET_GFX_CSC = VO_REQ(WRITE, 20, 61);
constexpr unsigned long VO_GET_GFX_CSC = VO_REQ(READ, 20, 62);
#undef VO_REQ

static_assert(VO_BIND_FD == 0x40044F00 && VO_SET_PUB_ATTR == 0x403C4F04 && VO_SET_LAYER_ATTR == 0x40284F0A &&
                  VO_GET_SCREEN_FRAME == 0xC0984F16 && VO_RELEASE_SCREEN_FRAME == 0x40904F17 &&
                  VO_SET_CHN_ATTR == 0x40184F20 && VO_SEND_FRAME == 0x40984F26 && VO_GET_CHN_PTS == 0x80084F33 &&
                  VO_GET_CHN_REGION_LUMA == 0xC0104F3A && VO_GET_GFX_CSC == 0x80144F3E,
              "request numbers");

// The frame requests (GetScreenFrame, SendFrame, GetChnFrame) are
// VIDEO_FRAME_REQ_S: the caller's frame, then the wait in milliseconds.

// Region luma: the caller's region description, where the mean luma of
// each region goes, and the wait.
struct VO_REGION_LUMA_REQ_S {
    VIDEO_REGION_INFO_S stRegionInfo;
    u32 *pu32LumaData;
    s32 s32MilliSec;
};
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(VO_REGION_LUMA_REQ_S) == 16, "region luma request");
#endif

// Records the driver keeps as given: (set request, get request), per channel
// when `chn` is set, else for the device and its layers.
struct VO_STORED_REQ_S {
    unsigned long set, get;
    bool chn;
};
constexpr VO_STORED_REQ_S VO_STORED_REQS[] = {
    {VO_SET_DEV_FRAME_RATE, VO_GET_DEV_FRAME_RATE, false},
    {VO_SET_LAYER_PRIORITY, VO_GET_LAYER_PRIORITY, false},
    {VO_SET_LAYER_CSC, VO_GET_LAYER_CSC, false},
    {VO_SET_PLAY_TOLERATION, VO_GET_PLAY_TOLERATION, false},
    {VO_SET_PART_MODE, VO_GET_PART_MODE, false},
    {VO_SET_GFX_CSC, VO_GET_GFX_CSC, false},
    {VO_SET_CHN_FIELD, VO_GET_CHN_FIELD, true},
    {VO_SET_CHN_FRAME_RATE, VO_GET_CHN_FRAME_RATE, true},
    {VO_SET_ZOOM_WINDOW, VO_GET_ZOOM_WINDOW, true},
    {VO_SET_CHN_BORDER, VO_GET_CHN_BORDER, true},
    {VO_SET_RECV_THRESHOLD, VO_GET_RECV_THRESHOLD, true},
};
