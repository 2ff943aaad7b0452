// The ISP run loop's own cost per frame at 1080p30 on the simulated board.
//
// IspRunFrame/modules:17: one frame of the firmware (statistics taken and
// given back, every module Init registers: defect pixels, the exposure,
// white-balance and focus bridges with libraries that do what a library must
// do each frame, black level, DRC, demosaic, gamma, noise reduction,
// sharpen, frame WDR, fixed-pattern noise, dehaze (on), colour management,
// lens shading; register configuration, sensor sync), without the wait for
// the frame interrupt. modules:13: the slots up to frame WDR alone (the
// image-quality modules of the first part); modules:3: the 3A bridges alone.
// IspRunLoop: the CPU the whole run thread spends per frame while running at
// 30 frames a second, with the first part's modules and with all of them;
// this also holds the simulated driver's statistics gathering, which on the
// camera is the hardware's.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <thread>

#include "board/sim/sim.h"
#include "isp/isp_ctx.h"
#include "isp/sensor/mn34220/mn34220.h"

namespace {

AE_SENSOR_CALLBACKS_S g_sns_ae;

s32 ae_init(s32, const AE_INIT_PARAM_S *) { return 0; }
s32 ae_run(s32, const AE_FRAME_INPUT_S *in, AE_FRAME_RESULT_S *out, s32)
{
    // A library reads its histogram and hands the sensor time and gains.
    u32 sum = 0;
    for (u32 v : in->pstAeStat3->au32Hist256Value)
        sum += v;
    g_sns_ae.pfn_cmos_inttime_update(1000 + (in->u32FrameCnt & 7));
    g_sns_ae.pfn_cmos_gains_update(8, 0);
    out->au32IntTime[0] = out->au32IntTime[1] = 30000;
    out->u32IspDgain = 256;
    out->u32Iso = 100 + (sum & 1);
    return 0;
}
s32 awb_init(s32, const AWB_INIT_PARAM_S *) { return 0; }
s32 awb_run(s32, const AWB_FRAME_INPUT_S *in, AWB_FRAME_RESULT_S *out, s32)
{
    u32 gr = in->pstAwbStat1->u16MeteringAwbAvgGR ? in->pstAwbStat1->u16MeteringAwbAvgGR : 256;
    out->au32WhiteBalanceGain[0] = gr << 8;
    out->au32WhiteBalanceGain[1] = out->au32WhiteBalanceGain[2] = 0x10000;
    out->au32WhiteBalanceGain[3] = 0x10000;
    return 0;
}
s32 af_init(s32, const AF_INIT_PARAM_S *) { return 0; }
s32 af_run(s32, const AF_FRAME_INPUT_S *, AF_FRAME_RESULT_S *, s32) { return 0; }

const ALG_LIB_HANDLE_S kAe = {0, "vudi_ae_lib"}, kAwb = {0, "vudi_awb_lib"}, kAf = {0, "vudi_af_lib"};
const AE_LIB_CALLBACKS_S kAeCb = {ae_init, ae_run, nullptr, nullptr};
const AWB_LIB_CALLBACKS_S kAwbCb = {awb_init, awb_run, nullptr, nullptr};
const AF_LIB_CALLBACKS_S kAfCb = {af_init, af_run, nullptr, nullptr};

bool bring_up()
{
    sim::start("/tmp/isp-bench-root");
    if (sensor_register_callback() != 0 || DU_DUZ_ISP_AELibRegCallBack(0, &kAe, &kAeCb) != 0 ||
        DU_DUZ_ISP_AWBLibRegCallBack(0, &kAwb, &kAwbCb) != 0 || DU_DUZ_ISP_AFLibRegCallBack(0, &kAf, &kAfCb) != 0)
        return false;
    ISP_WDR_SEL_S wdr = {WDR_MODE_NONE};
    ISP_FRAME_FORMAT_S attr = {0, 0, 1920, 1080, 30, BAYER_GRBG};
    return DU_DUZ_ISP_MemInit(0) == 0 && DU_DUZ_ISP_SetWDRMode(0, &wdr) == 0 &&
           DU_DUZ_ISP_SetPubAttr(0, &attr) == 0 && DU_DUZ_ISP_Init(0) == 0;
}

void take_down()
{
    DU_DUZ_ISP_Exit(0);
    sensor_unregister_callback();
}

double thread_cpu_seconds(pthread_t t)
{
    clockid_t clock;
    timespec ts;
    if (pthread_getcpuclockid(t, &clock) != 0 || clock_gettime(clock, &ts) != 0)
        return 0;
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// The slots of the 3A bridges kept, the others freed; the sync skip
// cleared as the defect-pixel module clears it when nothing calibrates.
void keep_3a_only()
{
    ISP_CTX_S &c = g_astIspCtx[0];
    for (auto &alg : c.astAlgs)
        if (alg.enAlgType != ISP_ALG_AE && alg.enAlgType != ISP_ALG_AWB && alg.enAlgType != ISP_ALG_AF)
            alg.bUsed = 0;
    c.bSyncSkip = 0;
}

// The 3A bridges alone (3), or the first `n` slots, with dehaze on when
// every module runs.
bool keep_modules(u32 n)
{
    if (n == 3) {
        keep_3a_only();
        return true;
    }
    for (u32 i = n; i < ISP_MAX_ALGS_NUM; i++)
        g_astIspCtx[0].astAlgs[i].bUsed = 0;
    const ISP_DEFOG_ATTR_S defog = {1, 16, 15, OP_TYPE_AUTO, 0, 128};
    return n < 17 || DU_DUZ_ISP_SetDeFogAttr(0, &defog) == 0;
}

void IspRunFrame(benchmark::State &state)
{
    if (!bring_up() || !keep_modules((u32)state.range(0))) {
        state.SkipWithError("ISP bring-up failed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(ISP_Run(0));
    state.counters["frames"] = (double)g_astIspCtx[0].u32FrameCnt;
    take_down();
}
BENCHMARK(IspRunFrame)->ArgName("modules")->Arg(17)->Arg(13)->Arg(3)->Unit(benchmark::kMicrosecond);

void IspRunLoop(benchmark::State &state)
{
    const u32 modules = (u32)state.range(0);
    if (!bring_up() || !keep_modules(modules)) {
        state.SkipWithError("ISP bring-up failed");
        return;
    }
    double cpu = 0;
    u32 frames = 0;
    for (auto _ : state) {
        u32 before = g_astIspCtx[0].u32FrameCnt;
        std::atomic<bool> started{false};
        std::thread runner([&] {
            started = true;
            DU_DUZ_ISP_Run(0);
        });
        while (!started)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        cpu += thread_cpu_seconds(runner.native_handle());
        DU_DUZ_ISP_Exit(0);
        runner.join();
        frames += g_astIspCtx[0].u32FrameCnt - before;
        state.SetIterationTime(2.0);
        if (!bring_up() || !keep_modules(modules))
            break;
    }
    state.counters["frames"] = frames;
    state.counters["cpu_us_per_frame"] = frames ? cpu * 1e6 / frames : 0;
    take_down();
}
BENCHMARK(IspRunLoop)->ArgName("modules")->Arg(13)->Arg(17)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

// The exposure and white-balance libraries' side of the sensor registration.
s32 DU_DUZ_AE_SensorRegCallBack(s32, const ALG_LIB_HANDLE_S *, s32, const AE_SENSOR_CALLBACKS_S *cb)
{
    g_sns_ae = *cb;
    AE_SENSOR_PROFILE_S profile = {};
    cb->pfn_cmos_get_ae_default(&profile);
    return 0;
}
s32 DU_DUZ_AE_SensorUnRegCallBack(s32, const ALG_LIB_HANDLE_S *, s32) { return 0; }
s32 DU_DUZ_AWB_SensorRegCallBack(s32, const ALG_LIB_HANDLE_S *, s32, const AWB_SENSOR_CALLBACKS_S *cb)
{
    AWB_SENSOR_PROFILE_S profile;
    cb->pfn_cmos_get_awb_default(&profile);
    return 0;
}
s32 DU_DUZ_AWB_SensorUnRegCallBack(s32, const ALG_LIB_HANDLE_S *, s32) { return 0; }
