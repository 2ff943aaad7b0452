// The exposure library's CPU cost per calculated frame (run interval 1):
// the ISP's run callback on a grey scene whose brightness keeps moving, so
// every frame measures, steps, walks the route and updates the sensor.
//
// AeRunFrame: one frame of the library as the ISP calls it.
// AeRunSteady: the same on a scene that has settled (the increment holds).
#include <benchmark/benchmark.h>

#include <cstring>

#include "board/sim/sim.h"
#include "isp/3a/ae/ae_ctx.h"
#include "isp/isp_ctx.h"
#include "isp/sensor/mn34220/mn34220_priv.h"

namespace {

const ALG_LIB_HANDLE_S kLib = {0, AE_LIB_NAME};

struct Stats {
    ISP_STAT_S stat = {};
    AE_FRAME_INPUT_S in = {};

    // A grey with its pixels spread around `level` as a real histogram has.
    void fill(u32 frame, u32 level)
    {
        memset(stat.stAeStat3.au32Hist256Value, 0, sizeof stat.stAeStat3.au32Hist256Value);
        for (int d = -8; d <= 8; d++)
            stat.stAeStat3.au32Hist256Value[(level + d) & 0xFF] = 8000 - 400 * (d < 0 ? -d : d);
        for (auto &row : stat.stAeStat5.au16ZoneAvg)
            for (auto &zone : row)
                for (auto &ch : zone)
                    ch = (u16)(level << 8);
        for (auto &m : stat.stAeStat4.au16GlobalAvg)
            m = (u16)(level << 8);
        in = {frame, &stat.stAeStat1, &stat.stAeStat2, &stat.stAeStat3, &stat.stAeStat4, &stat.stAeStat5};
    }
};

AE_LIB_CALLBACKS_S bring_up()
{
    sim::start("/tmp/ae-bench-root");
    sensor_global_init();
    AE_SENSOR_CALLBACKS_S sns;
    cmos_init_ae_exp_function(&sns);
    if (DU_DUZ_AE_SensorRegCallBack(0, &kLib, 34220, &sns) != 0 || DU_DUZ_AE_Register(0, &kLib) != 0)
        return {};
    for (const auto &n : g_astIspCtx[0].stAeLibInfo.astLibs)
        if (n.bUsed) {
            AE_INIT_PARAM_S p = {34220, 0, 30, 0};
            if (n.stAeRegister.pfn_ae_init(0, &p) != 0)
                return {};
            return n.stAeRegister;
        }
    return {};
}

void take_down(const AE_LIB_CALLBACKS_S &cb)
{
    cb.pfn_ae_exit(0);
    DU_DUZ_AE_UnRegister(0, &kLib);
    DU_DUZ_AE_SensorUnRegCallBack(0, &kLib, 34220);
}

void run_frames(benchmark::State &state, bool moving)
{
    const AE_LIB_CALLBACKS_S cb = bring_up();
    if (!cb.pfn_ae_run) {
        state.SkipWithError("exposure library bring-up failed");
        return;
    }
    Stats s;
    AE_FRAME_RESULT_S r;
    u32 frame = 0;
    for (; frame < 200; frame++) { // past the quick start
        s.fill(frame + 1, 56);
        cb.pfn_ae_run(0, &s.in, &r, 0);
    }
    for (auto _ : state) {
        frame++;
        // Moving: the picture swings between too dark and too bright.
        s.fill(frame, moving ? ((frame / 8) & 1 ? 30 : 110) : 56);
        benchmark::DoNotOptimize(cb.pfn_ae_run(0, &s.in, &r, 0));
    }
    state.counters["exposure"] = (double)g_astAeCtx[0].u64Exposure;
    take_down(cb);
}

void AeRunFrame(benchmark::State &state) { run_frames(state, true); }
void AeRunSteady(benchmark::State &state) { run_frames(state, false); }

BENCHMARK(AeRunFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(AeRunSteady)->Unit(benchmark::kMicrosecond);

} // namespace
