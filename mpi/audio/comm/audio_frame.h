// The records every audio unit and its driver share: device attributes, one
// frame, the echo reference frame and the dump (save-file) record.
#pragma once

#include <cstdint>

#include "mpi/common/mpi_common.h"

// Audio device attributes, as the input and output drivers take them.
struct AIO_ATTR_S {
    u32 enSamplerate;   // Hz
    u32 enBitwidth;     // 0 8 bit, 1 16 bit
    u32 enWorkmode;
    u32 enSoundmode;    // 0 mono, 1 stereo
    u32 u32ExFlag;
    u32 u32FrmNum;      // frame buffers the driver keeps
    u32 u32PtNumPerFrm; // samples per track per frame
    u32 u32ChnCnt;
    u32 u32ClkSel;
};
static_assert(sizeof(AIO_ATTR_S) == 36, "device attributes");

enum : u32 { AUDIO_BIT_WIDTH_8 = 0, AUDIO_BIT_WIDTH_16 = 1 };
enum : u32 { AUDIO_SOUND_MODE_MONO = 0, AUDIO_SOUND_MODE_STEREO = 1 };

constexpr u32 AUDIO_MAX_TRACK = 2;

// One frame: tracks are separate buffers, u32Len bytes each.
struct AUDIO_FRAME_S {
    u32 enBitwidth;
    u32 enSoundmode;
    void *pVirAddr[AUDIO_MAX_TRACK];
    u32 u32PhyAddr[AUDIO_MAX_TRACK];
    u64 u64TimeStamp; // microseconds
    u32 u32Seq;
    u32 u32Len; // bytes of one track
    u32 u32PoolId[AUDIO_MAX_TRACK];
};

// The played frame of a linked output channel, for echo cancellation.
struct AEC_REF_FRAME_S {
    AUDIO_FRAME_S stRefFrame;
    u32 bValid;
    u32 u32RefFlag;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AUDIO_FRAME_S) == 48 && sizeof(AEC_REF_FRAME_S) == 56, "frame records");
#endif

constexpr u32 AUDIO_SAVE_FILE_PATH_LEN = 256;

// The dump record AI, AO and AENC exchange with their drivers as a whole.
struct AUDIO_SAVE_FILE_INFO_S {
    u32 bCfg;
    char aFilePath[AUDIO_SAVE_FILE_PATH_LEN];
    char aFileName[AUDIO_SAVE_FILE_PATH_LEN];
    u32 u32FileSize; // KiB per dump file
};
static_assert(sizeof(AUDIO_SAVE_FILE_INFO_S) == 520, "save-file record");
