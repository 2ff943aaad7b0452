// The region unit: bitmap overlays on the pictures of the video units, each
// identified by a handle the caller chooses, drawn into double-buffered
// canvases in the driver's memory that this process maps on demand.
//
// Every public call that is one request goes through rgn_send_built
// (mpi_rgn.cpp), which builds the request once the records are checked; the
// two whose answer needs more than a copy back (SetAttr, GetCanvasInfo)
// start with its checks, rgn_check.
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/rgn/rgn_requests.h"

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
