// What scene auto-tuning costs while the camera records: record mode 1 at
// 1080p60 H.264 with sound on the simulated board, started as the record application starts
// it (the recording engine starts the tuning engine with the pipeline), and
// 20 seconds of recording in which the light changes every 2 seconds so the
// normal thread retunes in most of its cycles. Reports the CPU time each of
// the engine's two threads used per second of recording:
//   normal_ms_per_s    the normal tuning thread
//   special_ms_per_s   the special-scene thread (polls every 40 ms)
//   wall_s             the length of the recording
#include "app/apps.h"
#include "bench/recorder/record_setup.h"
#include "core/rec_state.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"
#include "recorder/dv_audio.h"
#include "recorder/dv_config.h"
#include "recorder/dv_engine.h"
#include "recorder/dv_mp4.h"
#include "recorder/dv_pipeline.h"
#include "recorder/dv_stream.h"
#include "recorder/mp4/mp4_writer.h"
#include "recorder/rec_files.h"
#include "sceneauto/sceneauto_engine.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <pthread.h>
#include <thread>

namespace {

constexpr int kSeconds = 20;

double thread_cpu_s(pthread_t t)
{
    clockid_t clock;
    timespec ts = {};
    if (pthread_getcpuclockid(t, &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return 0;
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void SceneautoWhileRecording(benchmark::State &state)
{
    DvSystemParam pref;
    const std::string root = benchrec::start_board("sceneauto-bench", pref);
    benchrec::mode_1080p(pref, 1);
    KX_REC_CMD_S &e = gRecCmd[KX_REC_ENTRY_RECORD];

    if (KX_DV_FirstRun() != 0 || KX_DV_Audio_Run() != 0 || KX_DV_StartAudioThread() != 0 || !g_bSceneautoStart) {
        state.SkipWithError("the record mode or the tuning engine did not start");
        return;
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    double normal = 0, special = 0, wall = 0;
    for (auto _ : state) {
        const double n0 = thread_cpu_s(g_pthSceneAutoNormal.id), s0 = thread_cpu_s(g_pthSceneAutoSpecial.id);
        auto t0 = std::chrono::steady_clock::now();
        e.RecState = KX_REC_STATE_RUNNING;
        KX_DV_StartGetStream();
        KX_SendCondtoRecord();
        for (int s = 0; s < kSeconds; s += 2) {
            const double light = (s / 2) % 2 ? 1.0 : 0.1;
            sim::with_world([&](sim::World &w) { w.scene_brightness = light; });
            std::this_thread::sleep_for(std::chrono::seconds(2));
        }
        normal = thread_cpu_s(g_pthSceneAutoNormal.id) - n0;
        special = thread_cpu_s(g_pthSceneAutoSpecial.id) - s0;
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        e.RecState = KX_REC_STATE_STOPPED;
        KX_DV_StopGetStream();
        while (!benchrec::posted(AMSG_RECORD_COMPLETE))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    KX_DV_Stop();
    KX_DV_StopAudioThread();
    KX_DV_Audio_Stop();
    KX_Video_Mode_Func(1, 0, 0);
    DU_DUZ_SYS_Exit();
    DU_DUZ_VB_Exit();
    state.counters["normal_ms_per_s"] = normal * 1000 / wall;
    state.counters["special_ms_per_s"] = special * 1000 / wall;
    state.counters["wall_s"] = wall;
    hcmgr_destroy_queue();
    std::filesystem::remove_all(root);
}

} // namespace

BENCHMARK(SceneautoWhileRecording)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
