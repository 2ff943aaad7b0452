// The audio side's start and end: the bind registry and the audio units
// (input, output, encoder, decoder) brought up together, as the platform's
// start runs them, or alone with the buffer-pool user context for a process
// that uses the audio units without the rest.
#pragma once

#include <cstddef>
#include <cstdio>

#include "mpi/common/mpi_common.h"

// First word of the kernel configuration, read by the audio start: 1 when
// the kernel runs high-resolution timers. The audio units choose their
// polling sleeps by it.
extern s32 g_s32HRTimer;

// Kernel configuration, registry, then AI, AO, AENC and ADEC; 0, or -1 with
// what had started undone.
s32 MPI_AUDIO_Init(void);
// AI, AENC, ADEC, AO, then the registry; 0.
s32 MPI_AUDIO_Exit(void);

// The buffer-pool user context, then the audio start; 0, or -1 with what had
// started undone.
s32 DU_DUZ_AUDIO_Init(void);
// The audio end, then the buffer-pool user context's; 0.
s32 DU_DUZ_AUDIO_Exit(void);

// One step of a set-up (the audio start, a channel's creation): what it
// does, what undoes it (null: nothing to undo), and what its failure prints
// to standard error (null: nothing, or the step says why itself). `Ctx` is
// what the steps work on; `void` for steps that need nothing.
template <typename Ctx>
struct AudioStep {
    using Context = Ctx;
    s32 (*start)(Ctx *ctx);
    void (*undo)(Ctx *ctx);
    const char *failed;
};

// Runs the steps in order. At the first failure prints its message, undoes
// the steps that succeeded, the latest first, and returns the failing step's
// status; else 0.
template <typename Ctx, size_t N>
s32 audio_run_steps(const AudioStep<Ctx> (&steps)[N], typename AudioStep<Ctx>::Context *ctx)
{
    for (size_t i = 0; i < N; i++) {
        s32 ret = steps[i].start(ctx);
        if (ret == 0)
            continue;
        if (steps[i].failed)
            fputs(steps[i].failed, stderr);
        while (i-- > 0)
            if (steps[i].undo)
                steps[i].undo(ctx);
        return ret;
    }
    return 0;
}

// Undoes every step, the latest first: the tear-down of what the steps made.
template <typename Ctx, size_t N>
void audio_undo_steps(const AudioStep<Ctx> (&steps)[N], typename AudioStep<Ctx>::Context *ctx)
{
    for (size_t i = N; i-- > 0;)
        if (steps[i].undo)
            steps[i].undo(ctx);
}

// A start or end call that takes no context, as a step's start or undo.
template <auto Fn>
s32 audio_step_start(void *)
{
    return Fn();
}
template <auto Fn>
void audio_step_undo(void *)
{
    Fn();
}
