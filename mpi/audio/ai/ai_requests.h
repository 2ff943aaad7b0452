// Requests of /dev/ai ('Z') and their records, shared by the audio input unit
// and its driver.
#pragma once

#include "mpi/audio/comm/audio_frame.h"

constexpr unsigned long AI_BIND_CHN_CTRL = 0x40045A00;      // u32 channel
constexpr unsigned long AI_SET_PUBATTR_CTRL = 0x40245A01;   // AIO_ATTR_S
constexpr unsigned long AI_GET_PUBATTR_CTRL = 0x80245A02;   // AIO_ATTR_S
constexpr unsigned long AI_ENABLE_CTRL = 0x5A03;
constexpr unsigned long AI_DISABLE_CTRL = 0x5A04;
constexpr unsigned long AI_GET_POOLID_CTRL = 0x80045A05;    // u32 pool id
constexpr unsigned long AI_GET_CHNPARAM_CTRL = 0x80045A06;  // AI_CHN_PARAM_S
constexpr unsigned long AI_SET_CHNPARAM_CTRL = 0x40045A07;  // AI_CHN_PARAM_S
constexpr unsigned long AI_GET_FRAME_CTRL = 0xC0785A08;     // AI_GET_FRAME_REQ_S
constexpr unsigned long AI_RELEASE_FRAME_CTRL = 0x40705A09; // AI_FRAME_REC_S
constexpr unsigned long AI_ENABLE_AEC_CTRL = 0x40085A0A;    // AI_AEC_LINK_S
constexpr unsigned long AI_DISABLE_AEC_CTRL = 0x5A0B;
constexpr unsigned long AI_ENABLE_CHN_CTRL = 0x5A0C;
constexpr unsigned long AI_DISABLE_CHN_CTRL = 0x5A0D;
constexpr unsigned long AI_RESMP_STATE_CTRL = 0x40105A12;   // AI_RESMP_STATE_S
constexpr unsigned long AI_VQE_STATE_CTRL = 0x41285A13;     // 296 bytes
constexpr unsigned long AI_SET_VQE_VOLUME_CTRL = 0x40045A14; // s32 dB
constexpr unsigned long AI_SET_TRACKMODE_CTRL = 0x40045A15;
constexpr unsigned long AI_GET_TRACKMODE_CTRL = 0x80045A16;
constexpr unsigned long AI_SET_CLKDIR_CTRL = 0x40045A17;
constexpr unsigned long AI_GET_CLKDIR_CTRL = 0x80045A18;
constexpr unsigned long AI_CLR_PUBATTR_CTRL = 0x5A19;
constexpr unsigned long AI_SET_SAVEFILE_CTRL = 0x42085A1A;  // AUDIO_SAVE_FILE_INFO_S
constexpr unsigned long AI_GET_SAVEFILE_CTRL = 0x82085A1B;  // AUDIO_SAVE_FILE_INFO_S
constexpr unsigned long AI_ENABLE_AECREF_CTRL = 0x40085A1C; // AI_AEC_LINK_S
constexpr unsigned long AI_DISABLE_AECREF_CTRL = 0x5A1D;
constexpr unsigned long AI_SET_ACODEC_GAIN_CTRL = 0x40045A1E;
constexpr unsigned long AI_GET_ACODEC_GAIN_CTRL = 0x80045A1F;

static_assert(AI_GET_FRAME_CTRL == MPI_IOC(MPI_IOC_RW, 120, 'Z', 8) &&
                  AI_VQE_STATE_CTRL == MPI_IOC(MPI_IOC_WRITE, 296, 'Z', 19),
              "request numbers");

// Frame depth of a channel.
struct AI_CHN_PARAM_S {
    u32 u32FrmDepth;
};
static_assert(sizeof(AI_CHN_PARAM_S) == 4, "channel parameter");

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

// The output channel linked for echo cancellation or reference frames.
struct AI_AEC_LINK_S {
    u32 u32AoDev;
    u32 u32AoChn;
};
static_assert(sizeof(AI_AEC_LINK_S) == 8, "AEC link");

// Resampling state as the driver is told it.
struct AI_RESMP_STATE_S {
    u32 bEnable;
    u32 u32PtNumPerFrm;
    u32 u32InRate;
    u32 u32OutRate;
};
static_assert(sizeof(AI_RESMP_STATE_S) == 16, "resampling state");

constexpr u32 AI_VQE_STATE_LEN = 296;
