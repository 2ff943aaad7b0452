// The audio side's start and end.
#include "mpi/audio/mpi_audio.h"

#include <cstdio>

#include "mpi/audio/adec/mpi_adec.h"
#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/audio/ao/mpi_ao.h"
#include "mpi/video/bind/mpi_bind.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"

s32 g_s32HRTimer = 0;

s32 MPI_AUDIO_Init(void)
{
    SYS_KERNEL_CONFIG_S config;
    if (MPI_SYS_GetKernelConfig(&config) != 0) {
        fprintf(stderr, "Get Kernel Config failed!\n");
        return -1;
    }
    g_s32HRTimer = config.s32HRTimer;

    // The registry first: the audio output and decoder register in it.
    static const AudioStep<void> steps[] = {
        {audio_step_start<SYS_BIND_Init>, audio_step_undo<SYS_BIND_Exit>, "initialize sys bind failed!\n"},
        {audio_step_start<MPI_AI_Init>, audio_step_undo<MPI_AI_Exit>, "initialize ai mpi failed!\n"},
        {audio_step_start<MPI_AO_Init>, audio_step_undo<MPI_AO_Exit>, "initialize ao mpi failed!\n"},
        {audio_step_start<MPI_AENC_Init>, audio_step_undo<MPI_AENC_Exit>, "initialize aenc mpi failed!\n"},
        {audio_step_start<MPI_ADEC_Init>, audio_step_undo<MPI_ADEC_Exit>, "initialize adec mpi failed!\n"},
    };
    return audio_run_steps(steps, nullptr) ? -1 : 0;
}

s32 MPI_AUDIO_Exit(void)
{
    MPI_AI_Exit();
    MPI_AENC_Exit();
    MPI_ADEC_Exit();
    MPI_AO_Exit();
    SYS_BIND_Exit();
    return 0;
}

s32 DU_DUZ_AUDIO_Init(void)
{
    static const AudioStep<void> steps[] = {
        {audio_step_start<MPI_VB_InitCtx>, audio_step_undo<MPI_VB_ExitCtx>, nullptr},
        {audio_step_start<MPI_AUDIO_Init>, audio_step_undo<MPI_AUDIO_Exit>, nullptr},
    };
    return audio_run_steps(steps, nullptr) ? -1 : 0;
}

s32 DU_DUZ_AUDIO_Exit(void)
{
    MPI_AUDIO_Exit();
    MPI_VB_ExitCtx();
    return 0;
}
