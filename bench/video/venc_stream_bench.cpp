// The encoder path on the simulated board.
//
// GetReleaseStream: the firmware's cost per frame of DU_DUZ_VENC_GetStream
// and DU_DUZ_VENC_ReleaseStream on a 1080p30 H.264 channel (the wait for the
// next stream is not counted; the in-process request to the simulated driver
// is, as it would be a system call on the camera).
//
// ArmedOverUnarmed: the same path on two channels coding the same pictures,
// one armed for intra refresh by I slices (every retrieval also hands the
// stream to "libslice_trans.so", the tests' library, told to do nothing)
// and one not, so that both see the same host; the channels are read in
// turns, each first by turns. With wakeup:0 a round sleeps while a few
// streams wait on both, then reads them, counting all but its first pair: the
// read path itself. With wakeup:1 each pair is read as it comes, after the
// wait: mostly the cost of caches the rest of the host emptied meanwhile.
// The counters are the median cost of each channel and their ratio.
//
// RealTime: streams per second the whole path VI -> VPSS -> VENC delivers
// for each mode the camera offers; run it on two cores
// (taskset -c 0,1) to see whether the board keeps real time.
#include "board/sim/sim.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/venc/mpi_venc.h"
#include "mpi/video/vi/mpi_vi.h"
#include "mpi/video/vpss/mpi_vpss.h"
#include "tests/support/slice_trans/slice_trans.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <dlfcn.h>
#include <sys/select.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Encoder channel `chn` fed by processing channel 1.
void start_venc(VENC_CHN chn, uint32_t type, uint32_t w, uint32_t h, uint32_t fps, uint32_t kbps)
{
    VENC_CHN_ATTR_REC_S a{};
    a.enType = type;
    a.stVideo = {w, h, w * h * 2, type == PT_H264 ? 2u : 0u, 1, w, h, 0, 1};
    a.stRcAttr = {type == PT_H264 ? VENC_RC_MODE_H264CBR : VENC_RC_MODE_H265CBR, fps, 1, fps, fps, kbps, 0, 0, 0};
    DU_DUZ_VENC_CreateChn(chn, &a);
    MPP_CHN_ADDR_S out = {DU_ID_VPSS, 0, 1}, enc = {DU_ID_VENC, 0, chn};
    DU_DUZ_SYS_Bind(&out, &enc);
    DU_DUZ_VENC_StartRecvPic(chn);
}

void start(uint32_t type, uint32_t w, uint32_t h, uint32_t fps, uint32_t kbps)
{
    char root[] = "/tmp/venc-bench-XXXXXX";
    sim::start(mkdtemp(root));
    // A moving object keeps the encoder working on every picture.
    sim::with_world([](sim::World &world) { world.scene_motion = true; });
    DU_DUZ_SYS_Init();
    VI_DEV_ATTR_REC_S dev{};
    dev.u32Width = 1920;
    dev.u32Height = 1096;
    DU_DUZ_VI_SetDevAttr(0, &dev);
    DU_DUZ_VI_EnableDev(0);
    VI_CHN_ATTR_REC_S chn{};
    chn.s32X = (1920 - (s32)w) / 2;
    chn.s32Y = (1096 - (s32)h) / 2;
    chn.u32Width = chn.u32DestWidth = w;
    chn.u32Height = chn.u32DestHeight = h;
    chn.enPixFormat = PIXEL_FORMAT_YUV_SEMIPLANAR_420;
    chn.s32SrcFrameRate = (s32)fps;
    chn.s32DstFrameRate = -1;
    DU_DUZ_VI_SetChnAttr(0, &chn);
    DU_DUZ_VI_EnableChn(0);
    VPSS_GRP_ATTR_REC_S grp = {1920, 1080, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0, 0, 0, 0, 1};
    DU_DUZ_VPSS_CreateGrp(0, &grp);
    DU_DUZ_VPSS_StartGrp(0);
    MPP_CHN_ADDR_S vi = {DU_ID_VIU, 0, 0}, vpss = {DU_ID_VPSS, 0, 0};
    DU_DUZ_SYS_Bind(&vi, &vpss);
    VPSS_CHN_ATTR_REC_S ca{};
    ca.bMirror = ca.bFlip = 1;
    ca.s32SrcFrameRate = ca.s32DstFrameRate = -1;
    DU_DUZ_VPSS_SetChnAttr(0, 1, &ca);
    VPSS_CHN_MODE_REC_S mode = {VPSS_CHN_MODE_USER, w, h, 0, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 1};
    DU_DUZ_VPSS_SetChnMode(0, 1, &mode);
    DU_DUZ_VPSS_EnableChn(0, 1);
    start_venc(1, type, w, h, fps, kbps);
}

void stop()
{
    DU_DUZ_VENC_StopRecvPic(1);
    DU_DUZ_VENC_DestroyChn(1);
    DU_DUZ_VPSS_StopGrp(0);
    DU_DUZ_VPSS_DestroyGrp(0);
    DU_DUZ_VI_DisableChn(0);
    DU_DUZ_VI_DisableDev(0);
    DU_DUZ_SYS_Exit();
}

bool wait_stream(int fd, int ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    struct timeval tv = {ms / 1000, (ms % 1000) * 1000};
    return select(fd + 1, &set, nullptr, nullptr, &tv) > 0;
}

// Tells the tests' library, once the firmware has loaded it, to keep no log
// of its calls: it then does nothing at all.
bool library_does_nothing()
{
    void *lib = dlopen("libslice_trans.so", RTLD_NOW | RTLD_NOLOAD);
    if (!lib)
        return false;
    auto keep_log = reinterpret_cast<SLICE_TRANS_KEEP_LOG_FN>(dlsym(lib, "slice_trans_keep_log"));
    if (keep_log)
        keep_log(0);
    dlclose(lib);
    return keep_log != nullptr;
}

// One stream got and released as the recorder does; false when none came.
bool get_release(VENC_CHN chn, VENC_PACK_REC_S *packs, double *seconds)
{
    if (!wait_stream(DU_DUZ_VENC_GetFd(chn), 3000))
        return false;
    auto t0 = Clock::now();
    VENC_CHN_STATE_S st;
    DU_DUZ_VENC_Query(chn, &st);
    VENC_STREAM_REC_S stream{};
    stream.pstPack = packs;
    stream.u32PackNum = st.u32CurPackNum;
    if (DU_DUZ_VENC_GetStream(chn, &stream, 0) != 0)
        return false;
    benchmark::DoNotOptimize(packs[0].pu8Data[4]);
    DU_DUZ_VENC_ReleaseStream(chn, &stream);
    *seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    return true;
}

void GetReleaseStream(benchmark::State &state)
{
    start(PT_H264, 1920, 1080, 30, 16384);
    VENC_PACK_REC_S packs[4];
    double seconds = 0;
    for (auto _ : state) {
        if (!get_release(1, packs, &seconds)) {
            state.SkipWithError("no stream");
            break;
        }
        state.SetIterationTime(seconds);
    }
    stop();
}
BENCHMARK(GetReleaseStream)->UseManualTime()->Iterations(150)->Unit(benchmark::kMicrosecond);

void ArmedOverUnarmed(benchmark::State &state)
{
    const bool wakeup = state.range(0) != 0;
    start(PT_H264, 1920, 1080, 30, 16384);
    start_venc(2, PT_H264, 1920, 1080, 30, 16384);
    VENC_PACK_REC_S packs[4];
    VENC_INTRA_REFRESH_REC_S on = {1, 1, {0, 0}};
    double seconds = 0, plain = 0;
    // The board's encoder refuses I slices among P slices; the arming
    // stands whatever it answers.
    DU_DUZ_VENC_SetIntraRefresh(1, &on);
    if (g_stMpiVencChn[1].bSliceTrans != 1)
        state.SkipWithError("cannot arm");
    // Loads the library and lets the work buffer grow to the key pictures.
    for (int i = 0; i < 35; i++) {
        get_release(1, packs, &seconds);
        get_release(2, packs, &seconds);
    }
    if (!g_stMpiVencChn[1].pLibHandle || !library_does_nothing())
        state.SkipWithError("libslice_trans.so not loaded");
    std::vector<double> armed, unarmed;
    bool armed_first = true;
    for (auto _ : state) {
        if (!wakeup)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        int reads = wakeup ? 1 : 4; // a round's pairs; after a sleep about six wait on each
        for (int i = 0; i < reads; i++) {
            bool ok = armed_first ? get_release(1, packs, &seconds) && get_release(2, packs, &plain)
                                  : get_release(2, packs, &plain) && get_release(1, packs, &seconds);
            armed_first = !armed_first;
            if (!ok) {
                state.SkipWithError("no stream");
                break;
            }
            // After a sleep the round's first pair pays for the wake-up.
            if (wakeup || i > 0) {
                armed.push_back(seconds);
                unarmed.push_back(plain);
            }
        }
        state.SetIterationTime(seconds);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    double a = median(armed), u = median(unarmed);
    state.counters["armed_us"] = a * 1e6;
    state.counters["unarmed_us"] = u * 1e6;
    state.counters["ratio"] = u > 0 ? a / u : 0;
    DU_DUZ_VENC_StopRecvPic(2);
    DU_DUZ_VENC_DestroyChn(2);
    stop();
}
BENCHMARK(ArmedOverUnarmed)
    ->ArgName("wakeup")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(150)
    ->Unit(benchmark::kMicrosecond);

// Streams per second over a few seconds of the running path.
void RealTime(benchmark::State &state)
{
    uint32_t type = state.range(0) ? PT_H265 : PT_H264;
    uint32_t w = state.range(1), h = state.range(2), fps = state.range(3);
    start(type, w, h, fps, 16384);
    int fd = DU_DUZ_VENC_GetFd(1);
    VENC_PACK_REC_S packs[4];
    double got = 0, seconds = 0;
    for (auto _ : state) {
        // Let the encoder settle (a replaying one prepares its group first).
        int n = 0;
        Clock::time_point first{};
        while (true) {
            if (!wait_stream(fd, 5000))
                break;
            VENC_STREAM_REC_S stream{};
            stream.pstPack = packs;
            stream.u32PackNum = 4;
            if (DU_DUZ_VENC_GetStream(1, &stream, 0) != 0)
                continue;
            DU_DUZ_VENC_ReleaseStream(1, &stream);
            auto now = Clock::now();
            if (n++ == 0)
                first = now;
            if (now - first >= std::chrono::seconds(4) + std::chrono::milliseconds(1000 / fps))
                break;
        }
        seconds = std::chrono::duration<double>(Clock::now() - first).count();
        got = n > 1 ? (n - 1) / seconds : 0;
    }
    state.counters["fps"] = got;
    state.counters["target"] = fps;
    stop();
}
BENCHMARK(RealTime)
    ->ArgNames({"h265", "w", "h", "fps"})
    ->Args({0, 1920, 1080, 30})
    ->Args({0, 1920, 1080, 60})
    ->Args({0, 1280, 720, 30})
    ->Args({0, 1280, 720, 60})
    ->Args({0, 1280, 720, 120})
    ->Args({0, 848, 480, 120})
    ->Args({1, 1920, 1080, 30})
    ->Args({1, 1920, 1080, 60})
    ->Args({1, 1280, 720, 30})
    ->Args({1, 1280, 720, 60})
    ->Args({1, 1280, 720, 120})
    ->Args({1, 848, 480, 120})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
