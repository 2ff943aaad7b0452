// The audio side's start and end.
#include "mpi/audio/mpi_audio.h"

#include <cstdio>

#include "mpi/audio/adec/mpi_adec.h"
#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/audio/ao/mpi_ao.h"
#include "mpi/common/mpi_steps.h"
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
    static const mpi_step<void> steps[] = {
        {"initialize sys bind failed!\n", mpi_step_call<SYS_BIND_Init>, mpi_undo_call<SYS_BIND_Exit>},
        {"initialize ai mpi failed!\n", mpi_step_call<MPI_AI_Init>, mpi_undo_call<MPI_AI_Exit>},
        {"initialize ao mpi failed!\n", mpi_step_call<MPI_AO_Init>, mpi_undo_call<MPI_AO_Exit>},
        {"initialize aenc mpi failed!\n", mpi_step_call<MPI_AENC_Init>, mpi_undo_call<MPI_AENC_Exit>},
        {"initialize adec mpi failed!\n", mpi_step_call<MPI_ADEC_Init>, mpi_undo_call<MPI_ADEC_Exit>},
    };
    return mpi_steps_run(steps, nullptr, mpi_step_say_stderr) ? -1 : 0;
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

namespace {

// The audio alone: its end is this table run backwards.
const mpi_step<void> kAudioAlone[] = {
    {nullptr, mpi_step_call<MPI_VB_InitCtx>, mpi_undo_call<MPI_VB_ExitCtx>},
    {nullptr, mpi_step_call<MPI_AUDIO_Init>, mpi_undo_call<MPI_AUDIO_Exit>},
};

} // namespace

s32 DU_DUZ_AUDIO_Init(void) { return mpi_steps_run(kAudioAlone, nullptr) ? -1 : 0; }

s32 DU_DUZ_AUDIO_Exit(void)
{
    mpi_steps_undo(kAudioAlone, nullptr);
    return 0;
}
