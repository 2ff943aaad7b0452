// The encoder path on the simulated board.
//
// GetReleaseStream: the firmware's cost per frame of DU_DUZ_VENC_GetStream
// and DU_DUZ_VENC_ReleaseStream on a 1080p30 H.264 channel (the wait for the
// next stream is not counted; the in-process request to the simulated driver
// is, as it would be a system call on the camera).
//
// RealTime: streams per second the whole path VI -> VPSS -> VENC delivers
// for each mode the camera offers; run it on two cores
// (taskset -c 0,1) to see whether the board keeps real time.
#include "board/sim/sim.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/venc/mpi_venc.h"
#include "mpi/video/vi/mpi_vi.h"
#include "mpi/video/vpss/mpi_vpss.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <sys/select.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

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
    VENC_CHN_ATTR_REC_S a{};
    a.enType = type;
    a.stVideo = {w, h, w * h * 2, type == PT_H264 ? 2u : 0u, 1, w, h, 0, 1};
    a.stRcAttr = {type == PT_H264 ? VENC_RC_MODE_H264CBR : VENC_RC_MODE_H265CBR, fps, 1, fps, fps, kbps, 0, 0, 0};
    DU_DUZ_VENC_CreateChn(1, &a);
    MPP_CHN_ADDR_S out = {DU_ID_VPSS, 0, 1}, enc = {DU_ID_VENC, 0, 1};
    DU_DUZ_SYS_Bind(&out, &enc);
    DU_DUZ_VENC_StartRecvPic(1);
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

void GetReleaseStream(benchmark::State &state)
{
    start(PT_H264, 1920, 1080, 30, 16384);
    int fd = DU_DUZ_VENC_GetFd(1);
    VENC_PACK_REC_S packs[4];
    for (auto _ : state) {
        if (!wait_stream(fd, 3000)) {
            state.SkipWithError("no stream");
            break;
        }
        auto t0 = Clock::now();
        VENC_CHN_STATE_S st;
        DU_DUZ_VENC_Query(1, &st);
        VENC_STREAM_REC_S stream{};
        stream.pstPack = packs;
        stream.u32PackNum = st.u32CurPackNum;
        if (DU_DUZ_VENC_GetStream(1, &stream, 0) != 0) {
            state.SkipWithError("GetStream failed");
            break;
        }
        benchmark::DoNotOptimize(packs[0].pu8Data[4]);
        DU_DUZ_VENC_ReleaseStream(1, &stream);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    stop();
}
BENCHMARK(GetReleaseStream)->UseManualTime()->Iterations(150)->Unit(benchmark::kMicrosecond);

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
