// Requests of /dev/rgn (type 'R'), the records they carry and the status codes
// the driver answers with, shared by the region unit and the simulated
// driver. Every request record starts with the handle.
#pragma once

#include "mpi/common/common_requests.h"

typedef u32 RGN_HANDLE;

// Size of the per-handle mapping table; handles from here on are refused.
constexpr u32 RGN_HANDLE_MAX = 1024;

constexpr s32 DU_ERR_RGN_ILLEGAL_PARAM = mpi_status(DU_ID_RGN, ERR_ILLEGAL_PARAM);
constexpr s32 DU_ERR_RGN_EXIST = mpi_status(DU_ID_RGN, ERR_EXIST);
constexpr s32 DU_ERR_RGN_UNEXIST = mpi_status(DU_ID_RGN, ERR_UNEXIST);
constexpr s32 DU_ERR_RGN_NULL_PTR = mpi_status(DU_ID_RGN, ERR_NULL_PTR);
constexpr s32 DU_ERR_RGN_NOT_SUPPORT = mpi_status(DU_ID_RGN, ERR_NOT_SUPPORT);
constexpr s32 DU_ERR_RGN_NOT_PERM = mpi_status(DU_ID_RGN, ERR_NOT_PERM);
constexpr s32 DU_ERR_RGN_NOMEM = mpi_status(DU_ID_RGN, ERR_NOMEM);
constexpr s32 DU_ERR_RGN_SYS_NOTREADY = mpi_status(DU_ID_RGN, ERR_SYS_NOTREADY);
// The driver's notice that a set-attribute re-created the region's canvases
// (level 2, code 0); the unit turns it into success after dropping its maps.
constexpr s32 DU_RGN_CANVAS_RECREATED = mpi_status(DU_ID_RGN, 0, 2);

// Region types.
enum : u32 {
    OVERLAY_RGN = 0,   // on an encoder channel
    COVER_RGN = 1,
    COVEREX_RGN = 2,
    OVERLAYEX_RGN = 3, // on a video-processing channel
};

// Pixel formats of a region's canvas.
constexpr u32 PIXEL_FORMAT_RGB_1555 = 8; // ARGB1555: bit 15 selects the foreground alpha

// Region attributes: the type, then the overlay's canvas format, size and
// background colour.
struct RGN_ATTR_REC_S {
    u32 enType;
    u32 enPixelFmt;
    SIZE_S stSize;
    u32 u32BgColor;
};
static_assert(sizeof(RGN_ATTR_REC_S) == 20, "region attributes");

// How a region shows on one channel.
struct RGN_CHN_ATTR_REC_S {
    u32 bShow;
    u32 enType;
    s32 s32X, s32Y;  // top-left corner in the channel's picture
    u32 u32FgAlpha;  // 0..128, for pixels with the alpha bit set
    u32 u32BgAlpha;  // 0..128, for pixels without it
    u32 u32Layer;    // 0..7, higher layers on top
    u32 bAbsQp;      // encoder overlays: quality of the covered blocks
    s32 s32Qp;
    u32 bQpDisable;
    u32 bInvColEn;   // colour inversion over bright pictures
    u32 u32InvWidth, u32InvHeight;
    u32 u32LumThresh;
    u32 enChgMod;
};
static_assert(sizeof(RGN_CHN_ATTR_REC_S) == 60, "region display attributes");

// A bitmap handed to the driver: ARGB1555 rows of width x 2 bytes.
struct BITMAP_S {
    u32 enPixelFormat;
    u32 u32Width;
    u32 u32Height;
    void *pData;
};
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(BITMAP_S) == 16, "bitmap description");
#endif

// Pieces of bitmap drawn at their places, shown together.
constexpr u32 RGN_MAX_BMP_UPDATE_NUM = 16;
struct RGN_BMP_UPDATE_S {
    s32 s32X, s32Y;
    BITMAP_S stBmp;
    u32 u32Stride; // bytes a row of the piece; 0 for width x 2
};
struct RGN_BMP_UPDATE_CFG_REC_S {
    u32 u32BmpCnt;
    RGN_BMP_UPDATE_S astBmpUpdate[RGN_MAX_BMP_UPDATE_NUM];
};
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(RGN_BMP_UPDATE_CFG_REC_S) == 452, "bitmap update");
#endif

// The canvas to draw into: word 0 physical address, word 1 the user address
// (filled in by the unit), then its size, stride in bytes and pixel format.
struct RGN_CANVAS_REC_S {
    u32 u32PhyAddr;
    void *pVirtAddr;
    SIZE_S stSize;
    u32 u32Stride;
    u32 enPixelFmt;
};
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(RGN_CANVAS_REC_S) == 24, "canvas information");
#endif

#define RGN_REQ(dir, size, nr) MPI_IOC(MPI_IOC_##dir, size, 'R', nr)
constexpr unsigned long RGN_CREATE_CTRL = RGN_REQ(RW, 24, 0);
constexpr unsigned long RGN_DESTROY_CTRL = RGN_REQ(WRITE, 4, 1);
constexpr unsigned long RGN_SET_ATTR_CTRL = RGN_REQ(WRITE, 24, 2);
constexpr unsigned long RGN_GET_ATTR_CTRL = RGN_REQ(RW, 24, 3);
constexpr unsigned long RGN_SET_BITMAP_CTRL = RGN_REQ(WRITE, 20, 4);
constexpr unsigned long RGN_UPDATE_BITMAP_CTRL = RGN_REQ(WRITE, 456, 5);
constexpr unsigned long RGN_SET_DISPLAY_ATTR_CTRL = RGN_REQ(WRITE, 76, 6);
constexpr unsigned long RGN_GET_DISPLAY_ATTR_CTRL = RGN_REQ(RW, 76, 7);
constexpr unsigned long RGN_ATTACH_CTRL = RGN_REQ(WRITE, 76, 8);
constexpr unsigned long RGN_DETACH_CTRL = RGN_REQ(RW, 16, 9);
constexpr unsigned long RGN_SET_ATTACH_FIELD_CTRL = RGN_REQ(WRITE, 8, 10);
constexpr unsigned long RGN_GET_ATTACH_FIELD_CTRL = RGN_REQ(RW, 8, 11);
constexpr unsigned long RGN_GET_CANVAS_CTRL = RGN_REQ(RW, 36, 12);
constexpr unsigned long RGN_UPDATE_CANVAS_CTRL = RGN_REQ(WRITE, 4, 13);

struct RGN_ATTR_REQ_S {
    RGN_HANDLE Handle;
    RGN_ATTR_REC_S stAttr;
};
static_assert(sizeof(RGN_ATTR_REQ_S) == 24, "attribute request");

struct RGN_BITMAP_REQ_S {
    RGN_HANDLE Handle;
    BITMAP_S stBitmap;
};

struct RGN_BITMAP_UPDATE_REQ_S {
    RGN_HANDLE Handle;
    RGN_BMP_UPDATE_CFG_REC_S stUpdate;
};

struct RGN_CHN_REQ_S {
    RGN_HANDLE Handle;
    MPP_CHN_ADDR_S stChn;
    RGN_CHN_ATTR_REC_S stChnAttr;
};
static_assert(sizeof(RGN_CHN_REQ_S) == 76, "display attribute request");

struct RGN_DETACH_REQ_S {
    RGN_HANDLE Handle;
    MPP_CHN_ADDR_S stChn;
};
static_assert(sizeof(RGN_DETACH_REQ_S) == 16, "detach request");

struct RGN_FIELD_REQ_S {
    RGN_HANDLE Handle;
    u32 enField;
};
static_assert(sizeof(RGN_FIELD_REQ_S) == 8, "attach field request");

// The handle in; the index (0 or 1) and size in bytes of the canvas to draw
// into, and its description, out.
struct RGN_CANVAS_REQ_S {
    RGN_HANDLE Handle;
    u32 u32Index;
    u32 u32Size;
    RGN_CANVAS_REC_S stCanvas;
};
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(RGN_CANVAS_REQ_S) == 36, "canvas request");
#endif
