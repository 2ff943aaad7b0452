// The audio side's start and end.
#include "mpi/audio/mpi_audio.h"

#include <cstdio>
#include <iterator>

#include "mpi/audio/adec/mpi_adec.h"
#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/audio/ao/mpi_ao.h"
#include "mpi/video/bind/mpi_bind.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"

s32 g_s32HRTimer = 0;

s32 audio_run_start_steps(const AudioStartStep *steps, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        if (steps[i].start() == 0)
            continue;
        if (steps[i].failed)
            fprintf(stderr, "%s", steps[i].failed);
        while (i-- > 0)
            steps[i].undo();
        return -1;
    }
    return 0;
}

s32 MPI_AUDIO_Init(void)
{
    SYS_KERNEL_CONFIG_S config;
    if (MPI_SYS_GetKernelConfig(&config) != 0) {
        fprintf(stderr, "Get Kernel Config failed!\n");
        return -1;
    }
    g_s32HRTimer = config.s32HRTimer;

    // The registry first: the audio output and decoder register in it.
    static const AudioStartStep steps[] = {
        {SYS_BIND_Init, SYS_BIND_Exit, "initialize sys bind failed!\n"},
        {MPI_AI_Init, [] { MPI_AI_Exit(); }, "initialize ai mpi failed!\n"},
        {MPI_AO_Init, [] { MPI_AO_Exit(); }, "initialize ao mpi failed!\n"},
        {MPI_AENC_Init, [] { MPI_AENC_Exit(); }, "initialize aenc mpi failed!\n"},
        {MPI_ADEC_Init, [] { MPI_ADEC_Exit(); }, "initialize adec mpi failed!\n"},
    };
    return audio_run_start_steps(steps, std::size(steps));
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
    static const AudioStartStep steps[] = {
        {MPI_VB_InitCtx, [] { MPI_VB_ExitCtx(); }, nullptr},
        {MPI_AUDIO_Init, [] { MPI_AUDIO_Exit(); }, nullptr},
    };
    return audio_run_start_steps(steps, std::size(steps));
}

s32 DU_DUZ_AUDIO_Exit(void)
{
    MPI_AUDIO_Exit();
    MPI_VB_ExitCtx();
    return 0;
}
