// CPU cost per second of audio of a 16 kHz input channel with HPF, ANR, AGC
// and EQ on: frames pulled through the audio input unit (the driver's frame,
// the enhancement instance, the dump check) against the same chain called
// directly on the same amount of sound. The unit's frames come from the
// board's capture clock in real time, so both sides count the CPU time of
// the calling thread only (manual time), not the wall clock.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "bench/audio/quietly.h"
#include "board/sim/sim.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"

namespace {

constexpr int kRate = 16000;
constexpr int kFrame = 160;
constexpr int kFramesPerSecond = kRate / kFrame;

double thread_cpu_seconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// The stages both sides run.
void switch_on(u32 *hpf, u32 *anr, u32 *agc, u32 *eq) { *hpf = *anr = *agc = *eq = 1; }

AI_VQE_ATTR_S unit_attr()
{
    AI_VQE_ATTR_S a = {};
    switch_on(&a.bHpfOn, &a.bAnrOn, &a.bAgcOn, &a.bEqOn);
    a.s32WorkSampleRate = kRate;
    a.s32FrameSample = kFrame;
    a.stEqCfg.s8GaindB[5] = 3;
    return a;
}

void BM_AiVqeChainDirect(benchmark::State &state)
{
    UPVQE_CFG_S cfg = {};
    cfg.s32InSampleRate = cfg.s32WorkSampleRate = cfg.s32OutSampleRate = kRate;
    cfg.s32FrameSample = kFrame;
    AI_VQE_ATTR_S a = unit_attr();
    MPI_AI_AITOVQE(&a, &cfg);
    UPVQE_INSTANCE_S *v = nullptr;
    if (quietly([&] { return DU_UPVQE_Create(&v, &cfg); }) != 0) {
        state.SkipWithError("chain would not build");
        return;
    }
    // The board's tone, as the microphone delivers it.
    std::vector<s16> in(kRate), out(kFrame);
    for (size_t i = 0; i < in.size(); i++)
        in[i] = (s16)lrint(16384 * sin(2 * M_PI * 1000 * i / kRate));
    // Frames reach the unit one every 10 ms, with the caches gone cold in
    // between; the direct calls get the same pace.
    const bool paced = state.range(0) != 0;
    for (auto _ : state) {
        double cpu = 0;
        for (int f = 0; f < kFramesPerSecond; f++) {
            if (paced)
                usleep(1000000 / kFramesPerSecond);
            double t0 = thread_cpu_seconds();
            DU_UPVQE_WriteFrame(v, in.data() + f * kFrame, nullptr, kFrame);
            DU_UPVQE_ReadFrame(v, out.data(), kFrame, 1);
            cpu += thread_cpu_seconds() - t0;
        }
        benchmark::DoNotOptimize(out.data());
        state.SetIterationTime(cpu);
    }
    DU_UPVQE_Destroy(v);
}
BENCHMARK(BM_AiVqeChainDirect)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Frames pulled through the unit, with the enhancement on or without it (the
// driver's requests alone: what the unit's enhancement step adds is the
// difference of the two).
void run_unit(benchmark::State &state, bool vqe)
{
    char root[] = "/tmp/ai-vqe-bench-XXXXXX";
    if (!mkdtemp(root)) {
        state.SkipWithError("no board root");
        return;
    }
    sim::start(root);
    AIO_ATTR_S attr = {kRate, 1, 0, 0, 1, 30, kFrame, 1, 1};
    AI_CHN_PARAM_S param = {8};
    AI_VQE_ATTR_S a = unit_attr();
    if (DU_DUZ_SYS_Init() != 0 || MPI_VB_InitCtx() != 0 || DU_DUZ_AI_SetPubAttr(0, &attr) != 0 ||
        DU_DUZ_AI_Enable(0) != 0 || DU_DUZ_AI_EnableChn(0, 0) != 0 || DU_DUZ_AI_SetChnParam(0, 0, &param) != 0 ||
        (vqe && quietly([&] { return DU_DUZ_AI_SetVqeAttr(0, 0, 0, 0, &a) || DU_DUZ_AI_EnableVqe(0, 0); }) != 0)) {
        state.SkipWithError("input channel would not come up");
        return;
    }
    for (auto _ : state) {
        double cpu = 0;
        for (int f = 0; f < kFramesPerSecond; f++) {
            AUDIO_FRAME_S frame;
            double t0 = thread_cpu_seconds();
            s32 got = DU_DUZ_AI_GetFrame(0, 0, &frame, nullptr, 1000);
            if (got == 0)
                DU_DUZ_AI_ReleaseFrame(0, 0, &frame, nullptr);
            cpu += thread_cpu_seconds() - t0;
            if (got != 0) {
                state.SkipWithError("the unit lost a frame");
                break;
            }
        }
        state.SetIterationTime(cpu);
    }
    DU_DUZ_AI_DisableChn(0, 0);
    DU_DUZ_AI_Disable(0);
    DU_DUZ_SYS_Exit();
    MPI_VB_ExitCtx();
}

void BM_AiVqeUnit(benchmark::State &state) { run_unit(state, true); }
void BM_AiPlainUnit(benchmark::State &state) { run_unit(state, false); }
BENCHMARK(BM_AiVqeUnit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_AiPlainUnit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
