// Requests of /dev/ai ('Z'), shared by the audio input unit and its driver.
#pragma once

#include "mpi/audio/comm/audio_requests.h"
#include "mpi/common/common_requests.h"

constexpr unsigned long AI_BIND_CHN_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'Z', 0);
constexpr unsigned long AI_SET_PUBATTR_CTRL = MPI_IOC(MPI_IOC_WRITE, 36, 'Z', 1);
constexpr unsigned long AI_GET_PUBATTR_CTRL = MPI_IOC(MPI_IOC_READ, 36, 'Z', 2);
constexpr unsigned long AI_ENABLE_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'Z', 3);
constexpr unsigned long AI_DISABLE_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'Z', 4);
constexpr unsigned long AI_GET_POOLID_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'Z', 5);
constexpr unsigned long AI_GET_CHNPARAM_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'Z', 6);
constexpr unsigned long AI_SET_CHNPARAM_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'Z', 7);
constexpr unsigned long AI_GET_FRAME_CTRL = MPI_IOC(MPI_IOC_RW, 120, 'Z', 8);
constexpr unsigned long AI_RELEASE_FRAME_CTRL = MPI_IOC(MPI_IOC_WRITE, 112, 'Z', 9);
constexpr unsigned long AI_LINK_AEC_CTRL = MPI_IOC(MPI_IOC_WRITE, 8, 'Z', 10);
constexpr unsigned long AI_UNLINK_AEC_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'Z', 11);
constexpr unsigned long AI_ENABLE_CHN_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'Z', 12);
constexpr unsigned long AI_DISABLE_CHN_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'Z', 13);
constexpr unsigned long AI_RESMP_STATUS_CTRL = MPI_IOC(MPI_IOC_WRITE, 16, 'Z', 18);
constexpr unsigned long AI_VQE_STATUS_CTRL = MPI_IOC(MPI_IOC_WRITE, 296, 'Z', 19);
constexpr unsigned long AI_SET_VQE_VOLUME_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'Z', 20);
constexpr unsigned long AI_SET_TRACKMODE_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'Z', 21);
constexpr unsigned long AI_GET_TRACKMODE_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'Z', 22);
constexpr unsigned long AI_SET_CLKDIR_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'Z', 23);
constexpr unsigned long AI_GET_CLKDIR_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'Z', 24);
constexpr unsigned long AI_CLR_PUBATTR_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'Z', 25);
constexpr unsigned long AI_SET_SAVEFILE_CTRL = MPI_IOC(MPI_IOC_WRITE, 520, 'Z', 26);
constexpr unsigned long AI_GET_SAVEFILE_CTRL = MPI_IOC(MPI_IOC_READ, 520, 'Z', 27);
constexpr unsigned long AI_ENABLE_AECREF_CTRL = MPI_IOC(MPI_IOC_WRITE, 8, 'Z', 28);
constexpr unsigned long AI_DISABLE_AECREF_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'Z', 29);
constexpr unsigned long AI_SET_CODEC_GAIN_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'Z', 30);
constexpr unsigned long AI_GET_CODEC_GAIN_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'Z', 31);

static_assert(AI_GET_FRAME_CTRL == 0xC0785A08 && AI_VQE_STATUS_CTRL == 0x41285A13, "request numbers");

// A channel's parameter: the frames the driver queues for pulling (0 none, at most 30).
struct AI_CHN_PARAM_S {
    u32 u32FrmDepth;
};

// A frame with its reference, as released (and as the encoder driver hands
// bound frames out).
struct AI_FRAME_REC_S {
    AUDIO_FRAME_S stFrm;
    AEC_REF_FRAME_S stRefFrm;
    u32 au32Rsv[2];
};

// Get frame: the frame record, then the wait.
struct AI_GET_FRAME_REQ_S {
    AI_FRAME_REC_S stRec;
    s32 s32MilliSec; // -1 wait, 0 poll, else at most that many ms
    u32 u32Rsv;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AI_FRAME_REC_S) == 112 && sizeof(AI_GET_FRAME_REQ_S) == 120, "frame records");
#endif
static_assert(sizeof(AI_CHN_PARAM_S) == 4, "channel parameter");

// The output channel linked for echo cancellation or reference frames.
struct AI_AEC_LINK_S {
    u32 u32AoDev;
    u32 u32AoChn;
};
static_assert(sizeof(AI_AEC_LINK_S) == 8, "AEC link");

// Resampling state as the driver is told it; all zero when off.
struct AI_RESMP_STATUS_S {
    u32 bEnable;
    u32 u32PtNumPerFrm;
    u32 u32InRate;
    u32 u32OutRate;
};
static_assert(sizeof(AI_RESMP_STATUS_S) == 16, "resampling state");

constexpr u32 AI_VQE_STATUS_LEN = 296;
