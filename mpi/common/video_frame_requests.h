// The records the video units pass between them and to their drivers: the
// video frame descriptor (input frames, processing frames, frames sent to the
// encoder) and the region-luma request of the processing and output drivers.
#pragma once

#include "mpi/common/common_requests.h"

// Semi-planar 4:2:0 (a luma plane, then interleaved V/U).
constexpr u32 PIXEL_FORMAT_YUV_SEMIPLANAR_420 = 23;

// Words 6-8 are the planes' physical addresses, 9-11 their user addresses
// (native pointers here), 12-14 their line strides; the rest is carried
// unchanged from a get to the matching release or send.
struct VIDEO_FRAME_REC_S {
    u32 u32Width;
    u32 u32Height;
    u32 u32Field;
    u32 enPixelFormat;
    u32 enVideoFormat;
    u32 enCompressMode;
    u32 u32PhyAddr[3];
    void *pVirAddr[3];
    u32 u32Stride[3];
    u32 u32TimeRef;
    u64 u64pts;
    u32 u32PoolId;
    u32 u32PrivateData[17];
};
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(VIDEO_FRAME_REC_S) == 144, "frame descriptor");
#endif

// A frame request of the input and processing drivers: the descriptor and a
// wait in milliseconds (-1 blocks).
struct VIDEO_FRAME_REQ_S {
    VIDEO_FRAME_REC_S stFrame;
    s32 s32MilliSec;
    u32 u32Reserved;
};
#if UINTPTR_MAX == 0xffffffffu
static_assert(sizeof(VIDEO_FRAME_REQ_S) == 152, "frame request");
#endif

// Region luma: rectangles of a channel's picture and their mean luma.
struct VPSS_RECT_S {
    s32 s32X, s32Y;
    u32 u32Width, u32Height;
};
struct VIDEO_REGION_INFO_S {
    u32 u32RegionNum;
    const VPSS_RECT_S *pstRegion;
};
