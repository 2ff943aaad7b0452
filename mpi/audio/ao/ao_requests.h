// Requests of /dev/ao ('X') and their records, shared by the audio output
// unit and its driver.
#pragma once

#include "mpi/audio/comm/audio_frame.h"

constexpr unsigned long AO_BIND_CHN_CTRL = 0x40045800;      // u32 channel
constexpr unsigned long AO_SET_PUBATTR_CTRL = 0x40245801;   // AIO_ATTR_S
constexpr unsigned long AO_GET_PUBATTR_CTRL = 0x80245802;   // AIO_ATTR_S
constexpr unsigned long AO_ENABLE_CTRL = 0x5803;
constexpr unsigned long AO_DISABLE_CTRL = 0x5804;
constexpr unsigned long AO_SEND_FRAME_CTRL = 0xC0785805;    // AO_SEND_FRAME_REQ_S
constexpr unsigned long AO_ENABLE_CHN_CTRL = 0x5806;
constexpr unsigned long AO_DISABLE_CHN_CTRL = 0x5807;
constexpr unsigned long AO_PAUSE_CHN_CTRL = 0x5808;
constexpr unsigned long AO_RESUME_CHN_CTRL = 0x5809;
constexpr unsigned long AO_CLEAR_CHNBUF_CTRL = 0x580C;
constexpr unsigned long AO_QUERY_CHNSTAT_CTRL = 0x800C580D; // AO_CHN_STATE_S
constexpr unsigned long AO_RESMP_STATE_CTRL = 0x4010580E;   // AO_RESMP_STATE_S
constexpr unsigned long AO_VQE_STATE_CTRL = 0x4440580F;     // 1088 bytes
constexpr unsigned long AO_SET_TRACKMODE_CTRL = 0x40045810;
constexpr unsigned long AO_GET_TRACKMODE_CTRL = 0x80045811;
constexpr unsigned long AO_SET_CLKDIR_CTRL = 0x40045812;
constexpr unsigned long AO_GET_CLKDIR_CTRL = 0x80045813;
constexpr unsigned long AO_SET_VOLUME_CTRL = 0x40045814;    // s32 dB
constexpr unsigned long AO_GET_VOLUME_CTRL = 0x80045815;
constexpr unsigned long AO_SET_MUTE_CTRL = 0x40105816;      // AO_MUTE_REQ_S
constexpr unsigned long AO_GET_MUTE_CTRL = 0xC0105817;      // AO_MUTE_REQ_S
constexpr unsigned long AO_CLR_PUBATTR_CTRL = 0x5818;
constexpr unsigned long AO_SET_SAVEFILE_CTRL = 0x42085819;  // AUDIO_SAVE_FILE_INFO_S
constexpr unsigned long AO_GET_SAVEFILE_CTRL = 0x8208581A;  // AUDIO_SAVE_FILE_INFO_S
constexpr unsigned long AO_GET_CHNSTATE_CTRL = 0x8004581B;  // u32, frames go through only at 1

static_assert(AO_SEND_FRAME_CTRL == MPI_IOC(MPI_IOC_RW, 120, 'X', 5) &&
                  AO_VQE_STATE_CTRL == MPI_IOC(MPI_IOC_WRITE, 1088, 'X', 15),
              "request numbers");

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

// What the driver's queue of a channel holds, in device frames.
struct AO_CHN_STATE_S {
    u32 u32ChnTotalNum;
    u32 u32ChnFreeNum;
    u32 u32ChnBusyNum;
};
static_assert(sizeof(AO_CHN_STATE_S) == 12, "channel state");

struct AO_RESMP_STATE_S {
    u32 bEnable;
    u32 u32PtNumPerFrm;
    u32 u32InRate;
    u32 u32OutRate;
};
static_assert(sizeof(AO_RESMP_STATE_S) == 16, "resampling state");

constexpr u32 AO_VQE_STATE_LEN = 1088;

struct AUDIO_FADE_S {
    u32 bFade;
    u32 enFadeInRate;
    u32 enFadeOutRate;
};

struct AO_MUTE_REQ_S {
    u32 bEnable;
    AUDIO_FADE_S stFade;
};
static_assert(sizeof(AO_MUTE_REQ_S) == 16, "mute record");
