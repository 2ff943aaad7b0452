// The resampler: the "RES" module turned into a rate converter with three
// output disciplines. Used only inside the enhancement chains, under the
// chain instance's mutex; it has no lock of its own.
#pragma once

#include "mpi/audio/vqe/audio_module.h"

enum RES_MODE_E : s32 {
    RES_MODE_STREAM = 0,    // convert all input; the output count is what the module makes
    RES_MODE_EXACT_OUT = 1, // exactly the requested output; too little is an error
    RES_MODE_UPTO_OUT = 2,  // as 1, but too little lowers the count (process only)
};

constexpr s32 DU_ERR_RES_ILLEGAL_MODE = (s32)0xA3340002;
constexpr s32 DU_ERR_RES_NOMEM = (s32)0xA3340003;
constexpr s32 DU_ERR_RES_MODULE = (s32)0xA3340004;

constexpr s32 RES_MIN_RATE = 8000;
constexpr s32 RES_MAX_RATE = 48000;
// The regrouping buffer of discipline 0, and the most input one call of
// disciplines 1 and 2 takes.
constexpr s32 RES_WORK_LEN = 12288;

struct RES_RESAMPLER_S {
    s32 s32Ratio; // input / output rate when the input is a multiple of the output, else 0
    s32 s32InRate;
    s32 s32OutRate;
    void *hStream; // discipline 0's module instance
    void *hExact;  // disciplines 1 and 2's module instance
    s32 s32Cached; // samples in the carry cache
    s16 *ps16Cache;
    s16 as16Work[RES_WORK_LEN];
    AUDIO_WORK_HANDLE_S stModule;
    s32 s32CacheCap;   // the carry cache's room: ratio - 1, or output rate / 100
    s16 *ps16ExactOut; // disciplines 1 and 2: the module's whole output before it is split
    s32 s32ExactCap;   //   into the caller's share and the carry
};

// Writes the instance (null when the rates need no conversion) and returns 0,
// or a status with nothing written.
s32 RES_ReSampler_Create(RES_RESAMPLER_S **ppRes, s32 s32InRate, s32 s32OutRate, s32 s32Discipline);
s32 RES_ReSampler_ProcessFrame(RES_RESAMPLER_S *pRes, s16 *ps16In, s16 *ps16Out, s32 s32InSamples,
                               s32 *ps32OutSamples, s32 s32Discipline);
s32 RES_ReSampler_GetInputNum(RES_RESAMPLER_S *pRes, s32 s32OutSamples, s32 s32Discipline);
s32 RES_ReSampler_Destory(RES_RESAMPLER_S *pRes);

// Most output samples `in_samples` can make in one stream-discipline call
// (carried samples included): what a caller's output buffer must hold.
s32 res_stream_out_max(const RES_RESAMPLER_S *pRes, s32 in_samples);
