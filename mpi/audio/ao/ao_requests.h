// Requests of /dev/ao ('X'), shared by the audio output unit and its driver.
#pragma once

#include "mpi/audio/comm/audio_requests.h"
#include "mpi/common/common_requests.h"

constexpr unsigned long AO_BIND_CHN_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'X', 0);
constexpr unsigned long AO_SET_PUBATTR_CTRL = MPI_IOC(MPI_IOC_WRITE, 36, 'X', 1);
constexpr unsigned long AO_GET_PUBATTR_CTRL = MPI_IOC(MPI_IOC_READ, 36, 'X', 2);
constexpr unsigned long AO_ENABLE_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'X', 3);
constexpr unsigned long AO_DISABLE_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'X', 4);
constexpr unsigned long AO_SEND_FRAME_CTRL = MPI_IOC(MPI_IOC_RW, 120, 'X', 5);
constexpr unsigned long AO_ENABLE_CHN_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'X', 6);
constexpr unsigned long AO_DISABLE_CHN_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'X', 7);
constexpr unsigned long AO_PAUSE_CHN_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'X', 8);
constexpr unsigned long AO_RESUME_CHN_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'X', 9);
constexpr unsigned long AO_CLEAR_CHNBUF_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'X', 12);
constexpr unsigned long AO_QUERY_CHNSTAT_CTRL = MPI_IOC(MPI_IOC_READ, 12, 'X', 13);
constexpr unsigned long AO_RESMP_STATUS_CTRL = MPI_IOC(MPI_IOC_WRITE, 16, 'X', 14);
constexpr unsigned long AO_VQE_STATUS_CTRL = MPI_IOC(MPI_IOC_WRITE, 1088, 'X', 15);
constexpr unsigned long AO_SET_TRACKMODE_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'X', 16);
constexpr unsigned long AO_GET_TRACKMODE_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'X', 17);
constexpr unsigned long AO_SET_CLKDIR_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'X', 18);
constexpr unsigned long AO_GET_CLKDIR_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'X', 19);
constexpr unsigned long AO_SET_VOLUME_CTRL = MPI_IOC(MPI_IOC_WRITE, 4, 'X', 20);
constexpr unsigned long AO_GET_VOLUME_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'X', 21);
constexpr unsigned long AO_SET_MUTE_CTRL = MPI_IOC(MPI_IOC_WRITE, 16, 'X', 22);
constexpr unsigned long AO_GET_MUTE_CTRL = MPI_IOC(MPI_IOC_RW, 16, 'X', 23);
constexpr unsigned long AO_CLR_PUBATTR_CTRL = MPI_IOC(MPI_IOC_NONE, 0, 'X', 24);
constexpr unsigned long AO_SET_SAVEFILE_CTRL = MPI_IOC(MPI_IOC_WRITE, 520, 'X', 25);
constexpr unsigned long AO_GET_SAVEFILE_CTRL = MPI_IOC(MPI_IOC_READ, 520, 'X', 26);
constexpr unsigned long AO_GET_CHNSTATE_CTRL = MPI_IOC(MPI_IOC_READ, 4, 'X', 27);

static_assert(AO_SEND_FRAME_CTRL == 0xC0785805 && AO_VQE_STATUS_CTRL == 0x4440580F, "request numbers");

// What the driver's queue of a channel holds, in device frames.
struct AO_CHN_STATE_S {
    u32 u32ChnTotalNum;
    u32 u32ChnFreeNum;
    u32 u32ChnBusyNum;
};
static_assert(sizeof(AO_CHN_STATE_S) == 12, "channel state");

// How muting fades in and out.
struct AUDIO_FADE_S {
    u32 bFade;
    u32 enFadeInRate;
    u32 enFadeOutRate;
};

// The channel state word of AO_GET_CHNSTATE_CTRL.
enum : u32 { AO_CHN_STATE_DISABLED = 0, AO_CHN_STATE_RUNNING = 1, AO_CHN_STATE_PAUSED = 2 };

// One device frame for the kernel: the frame, bytes not used, the wait.
struct AO_SEND_FRAME_REQ_S {
    AUDIO_FRAME_S stFrm;
    u8 au8Rsv[64];
    s32 s32MilliSec; // -1 wait, 0 don't wait, else at most that many ms
    u32 u32Rsv;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AO_SEND_FRAME_REQ_S) == 120, "send record");
#endif

struct AO_RESMP_STATUS_S {
    u32 bEnable;
    u32 u32PtNumPerFrm;
    u32 u32InRate;
    u32 u32OutRate;
};
static_assert(sizeof(AO_RESMP_STATUS_S) == 16, "resampling state");

constexpr u32 AO_VQE_STATUS_LEN = 1088;

struct AO_MUTE_REQ_S {
    u32 bEnable;
    AUDIO_FADE_S stFade;
};
static_assert(sizeof(AO_MUTE_REQ_S) == 16, "mute record");
