// The region unit: bitmap overlays on the pictures of the video units, each
// identified by a handle the caller chooses, drawn into double-buffered
// canvases in the driver's memory that this process maps on demand.
//
// Every public call goes through rgn_call (mpi_rgn.cpp).
#pragma once

#include "mpi/common/mpi_common.h"

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

// The unit's mapping of one handle's canvases.
struct RGN_MAP_S {
    u32 u32PhyAddr;        // canvas last reported
    void *pVirtAddr[2];    // user address per canvas index, null when not mapped
    u32 u32Size;           // canvas size last reported
    u32 u32MapLen[2];
    void *pMapStart[2];
    u32 u32MapPhyAddr[2];  // what each mapping covers: a canvas that moves is mapped again
    u32 u32MapSize[2];
};

extern RGN_MAP_S g_stMpiRgn[RGN_HANDLE_MAX];
extern s32 g_s32RgnFd;
extern s32 g_s32RgnMemFd;

s32 DU_DUZ_RGN_Create(RGN_HANDLE Handle, const RGN_ATTR_REC_S *pstRegion);
s32 DU_DUZ_RGN_Destroy(RGN_HANDLE Handle);
s32 DU_DUZ_RGN_SetAttr(RGN_HANDLE Handle, const RGN_ATTR_REC_S *pstRegion);
s32 DU_DUZ_RGN_GetAttr(RGN_HANDLE Handle, RGN_ATTR_REC_S *pstRegion);
s32 DU_DUZ_RGN_SetBitMap(RGN_HANDLE Handle, const BITMAP_S *pstBitmap);
s32 DU_DUZ_RGN_UpdateBitMap(RGN_HANDLE Handle, const RGN_BMP_UPDATE_CFG_REC_S *pstBmpUpdate);
s32 DU_DUZ_RGN_SetDisplayAttr(RGN_HANDLE Handle, const MPP_CHN_ADDR_S *pstChn, const RGN_CHN_ATTR_REC_S *pstChnAttr);
s32 DU_DUZ_RGN_GetDisplayAttr(RGN_HANDLE Handle, const MPP_CHN_ADDR_S *pstChn, RGN_CHN_ATTR_REC_S *pstChnAttr);
s32 DU_DUZ_RGN_AttachToChn(RGN_HANDLE Handle, const MPP_CHN_ADDR_S *pstChn, const RGN_CHN_ATTR_REC_S *pstChnAttr);
s32 DU_DUZ_RGN_DetachFromChn(RGN_HANDLE Handle, const MPP_CHN_ADDR_S *pstChn);
s32 DU_DUZ_RGN_SetAttachField(RGN_HANDLE Handle, u32 enField);
s32 DU_DUZ_RGN_GetAttachField(RGN_HANDLE Handle, u32 *penField);
s32 DU_DUZ_RGN_GetCanvasInfo(RGN_HANDLE Handle, RGN_CANVAS_REC_S *pstCanvasInfo);
s32 DU_DUZ_RGN_UpdateCanvas(RGN_HANDLE Handle);
// The "/dev/rgn" descriptor (opened on first use), or a status code.
s32 DU_DUZ_RGN_GetFd(void);
