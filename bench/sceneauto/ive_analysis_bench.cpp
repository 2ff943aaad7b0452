// How long the engine's stop waits for the block-activity analysis to end:
// the analysis runs on a live 1080p processing channel and is stopped a
// while after its start (while it waits for its first frame, during a
// pass, in its wait between passes). Only the stop is timed.
#include "bench/audio/quietly.h"
#include "board/sim/sim.h"
#include "mpi/video/sys/mpi_sys.h"
#include "recorder/dv_config.h"
#include "recorder/dv_isp.h"
#include "recorder/dv_pipeline.h"
#include "sceneauto/du_sceneauto_adpt.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

bool start_pipeline()
{
    char root[] = "/tmp/ive-analysis-bench-XXXXXX";
    sim::start(mkdtemp(root));
    KX_DV_Set1080DefaultDvCfg();
    KX_DV_CONFIG_S &c = gsDvConfig;
    c.sVi.sParam[0].u8Resolution = PIC_HD1080;
    c.sVi.sParam[0].u8FrameRate = 30;
    for (u8 n = 0; n < 4; n++)
        c.sVpss.sParam[n] = {n, n == 1, n == 3 ? PIC_QVGA : PIC_HD1080, 0, 0};
    for (KX_DV_VENC_PARAM_S &e : c.sVenc.sParam)
        e.bEnable = 0;
    if (DU_DUZ_SYS_Init() != 0)
        return false;
    u32RecModeFlag = DV_STATE_MPP;
    return quietly([] { return KX_DV_Vi_Run() == 0 && KX_DV_Vpss_Run() == 0; }, 1);
}

void stop_pipeline()
{
    quietly(
        [] {
            KX_DV_Vpss_Grp_Stop(0);
            KX_DV_Vi_Chn_Stop(0);
            return KX_DV_ISP_Stop();
        },
        1);
    DU_DUZ_SYS_Exit();
    u32RecModeFlag = 0;
}

void AnalysisStop(benchmark::State &state)
{
    if (!start_pipeline()) {
        state.SkipWithError("no pipeline");
        return;
    }
    const auto after = std::chrono::milliseconds(state.range(0));
    for (auto _ : state) {
        if (quietly([] { return CommSceneautoIVEStart(0, 1); }, 1) != 0) {
            state.SkipWithError("the analysis did not start");
            break;
        }
        std::this_thread::sleep_for(after);
        auto t0 = std::chrono::steady_clock::now();
        quietly([] { return CommSceneautoIVEStop(); }, 1);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    stop_pipeline();
}

} // namespace

BENCHMARK(AnalysisStop)
    ->Arg(0)
    ->Arg(100)
    ->Arg(300)
    ->Arg(1000)
    ->Arg(2100)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
