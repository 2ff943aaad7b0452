// Requests of /dev/vda (type 'M') and their request records, shared by the
// video detection unit and the simulated driver. The result record itself,
// VDA_DATA_REC_S, is the unit's public record (mpi_vda.h).
#pragma once

#include "mpi/common/mpi_common.h"
#include "mpi/common/video_frame.h"
#include "mpi/video/vda/mpi_vda.h"

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
