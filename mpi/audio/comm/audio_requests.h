// The records the four audio drivers share with their units (device
// attributes, frames, the echo reference, the save-file record) and the
// audio-specific status codes.
#pragma once

#include "mpi/common/common_requests.h"

#include <cstdint>

// Audio-specific codes beside the platform's.
constexpr u32 ERR_AUDIO_CODEC = 0x40; // codec unregistered or failed
constexpr u32 ERR_AUDIO_VQE = 0x41;   // enhancement or resampling failed; decoder: input short of a frame

// ---- records -------------------------------------------------------------------------------

// Audio device attributes.
struct AIO_ATTR_S {
    u32 enSamplerate;   // Hz
    u32 enBitwidth;     // 0 8 bit, 1 16 bit
    u32 enWorkmode;
    u32 enSoundmode;    // 0 mono, 1 stereo
    u32 u32ExFlag;
    u32 u32FrmNum;
    u32 u32PtNumPerFrm; // samples per track per frame
    u32 u32ChnCnt;
    u32 u32ClkSel;
};
static_assert(sizeof(AIO_ATTR_S) == 36, "audio device attributes");

// One audio frame: tracks are separate buffers; u32Len counts one track.
struct AUDIO_FRAME_S {
    u32 enBitwidth;
    u32 enSoundmode;
    void *pVirAddr[2];
    u32 u32PhyAddr[2];
    u64 u64TimeStamp; // microseconds
    u32 u32Seq;
    u32 u32Len;
    u32 u32PoolId[2];
};

// The echo-cancellation reference that may come with an input frame.
struct AEC_REF_FRAME_S {
    AUDIO_FRAME_S stRefFrame;
    u32 bValid;
    u32 u32RefFlag;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(AUDIO_FRAME_S) == 48 && sizeof(AEC_REF_FRAME_S) == 56, "audio frame records");
#endif

// The save-file (dump) record, exchanged with each driver whole.
constexpr u32 AUDIO_SAVE_FILE_PATH_LEN = 256;
struct AUDIO_SAVE_FILE_INFO_S {
    u32 bCfg;                                    // 1: dump requested
    char aFilePath[AUDIO_SAVE_FILE_PATH_LEN];
    char aFileName[AUDIO_SAVE_FILE_PATH_LEN];
    u32 u32FileSize;                             // KiB per dump file
};
static_assert(sizeof(AUDIO_SAVE_FILE_INFO_S) == 520, "save-file record");

