// The audio side's start and end: the bind registry and the audio units
// (input, output, encoder, decoder) brought up together, as the platform's
// start runs them, or alone with the buffer-pool user context for a process
// that uses the audio units without the rest.
#pragma once

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
