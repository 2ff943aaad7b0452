// Requests of /dev/rgn (type 'R') and their request records, shared by the
// region unit and the simulated driver. Every record starts with the handle.
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/video/rgn/mpi_rgn.h"

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
