// The tests' own "libslice_trans.so": the entries the encoder unit resolves,
// and what the tests read and steer through dlsym on the same library.
#pragma once

#include "mpi/common/mpi_common.h"

enum SliceTransEntry : u32 { SLICE_TRANS_INIT, SLICE_TRANS_TRANSCODE, SLICE_TRANS_DEINIT };

// One call the library got.
struct SliceTransCall {
    SliceTransEntry entry;
    s32 s32Param;            // AvcDec_Init's argument
    u32 u32BufTag;           // the rest: AvcDec_TransCodeSlice's
    const void *pstStream;
    u32 u32PackNum;
    u32 u32Total;            // payload bytes of the packs as handed over
    u8 au8Head[4];           // the first pack's first bytes
    const u8 *pu8WorkBuf, *pu8WorkBuf2;
};

constexpr u32 SLICE_TRANS_MAX_CALLS = 4096;

// Calls past the last slot are counted, not kept.
struct SliceTransLog {
    u32 u32Count;
    SliceTransCall astCall[SLICE_TRANS_MAX_CALLS];
};

extern "C" {
typedef SliceTransLog *(*SLICE_TRANS_LOG_FN)(void);
// What AvcDec_Init answers from now on (0 at load).
typedef void (*SLICE_TRANS_SET_INIT_RESULT_FN)(s32 s32Result);
// Whether AvcDec_TransCodeSlice writes both halves of the work buffer whole,
// so that the sanitizers see a buffer shorter than it was said to be (off at
// load).
typedef void (*SLICE_TRANS_TOUCH_FN)(u32 bTouch);
// Whether the calls are written down (on at load); off, the library does
// nothing at all, as for a benchmark of what the hook itself costs.
typedef void (*SLICE_TRANS_KEEP_LOG_FN)(u32 bKeep);
}
