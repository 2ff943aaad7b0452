// What the board's live encoder costs per second of video, apart from the
// picture's making: a second of the board's scene (the square moving, 1080p
// cut as the recorder cuts it, the ISP's defaults) rendered once, then coded
// by the engine's live encoder as the recording channel of each mode asks
// (its size, rate, group of pictures, profile and the bit rate of the
// default quality). Run it on two cores (taskset -c 0,1).
//   cores  the process's CPU seconds per second of video (every encoder
//          thread counted): below 2 by the rest of the camera's share for a
//          mode to be coded live
//   fps    pictures coded per second of wall time
// And what a recording's first pictures cost, as the channel codes them: the
// encoder opened and readied (warm_up) before the start, then a forced key
// picture and the pictures after it, against those of a settled encoder and
// against one period:
//   first_ms, second_ms, third_ms  the first three pictures
//   settled_ms                     a picture once 20 have gone (mean of 10)
//   key_ms                         a forced key picture once settled
//   period_ms                      one picture period of the mode
#include "bench/video/scene_board.h"
#include "board/sim/video/venc_engine.h"
#include "board/sim/video/video.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <sys/resource.h>
#include <vector>

namespace {

using namespace sim::video;

double process_cpu_s()
{
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
}

// One second of the scene at `fps`, the square on its way.
std::vector<PicturePtr> scene_second(PicturePool &pool, uint32_t w, uint32_t h, uint32_t fps)
{
    SceneRenderer scene;
    Window win{0, 0, 1, 1080.0 / 1096}; // the whole field, as 1080p cuts it
    std::vector<PicturePtr> pics;
    for (uint32_t i = 0; i < fps; i++) {
        PicturePtr p = pool.take();
        scene.render(*p, win, (uint64_t)i * 1000000 / fps, sim::world(), 1.0);
        pics.push_back(p);
    }
    return pics;
}

void LiveEncode(benchmark::State &state)
{
    benchscene::start_board("venc-encode-bench");
    EncoderConfig cfg;
    cfg.codec = state.range(0) ? Codec::h265 : Codec::h264;
    cfg.width = (uint32_t)state.range(1);
    cfg.height = (uint32_t)state.range(2);
    cfg.fps = cfg.gop = (uint32_t)state.range(3);
    cfg.kbps = (uint32_t)state.range(4);
    cfg.profile = Profile::high; // as the recorder asks (H.265: Main)
    cfg.cabac = true;
    PicturePool pool(cfg.width, cfg.height, cfg.fps);
    std::vector<PicturePtr> pics = scene_second(pool, cfg.width, cfg.height, cfg.fps);
    std::unique_ptr<Encoder> enc = Encoder::create_live(cfg);
    if (!enc) {
        state.SkipWithError("the encoder did not open");
        return;
    }
    AccessUnit au;
    size_t coded = 0;
    const double cpu0 = process_cpu_s();
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state)
        for (size_t i = 0; i < pics.size(); i++, coded++)
            if (!enc->encode(*pics[i], coded == 0, au)) {
                state.SkipWithError("the encoder failed");
                return;
            }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    state.counters["cores"] = (process_cpu_s() - cpu0) / ((double)coded / cfg.fps);
    state.counters["fps"] = coded / wall;
}
BENCHMARK(LiveEncode)
    ->ArgNames({"h265", "w", "h", "fps", "kbps"})
    ->Args({0, 1920, 1080, 60, 32768})
    ->Args({0, 1920, 1080, 30, 16384})
    ->Args({0, 1280, 720, 120, 16384})
    ->Args({1, 1920, 1080, 30, 10240})
    ->Args({1, 1920, 1080, 60, 20480})
    ->Args({1, 1280, 720, 60, 6144})
    ->Args({1, 1280, 720, 120, 10240})
    ->Iterations(4)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

double ms_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void FirstPictures(benchmark::State &state)
{
    benchscene::start_board("venc-first-bench");
    EncoderConfig cfg;
    cfg.codec = state.range(0) ? Codec::h265 : Codec::h264;
    cfg.width = 1920;
    cfg.height = 1080;
    cfg.fps = cfg.gop = (uint32_t)state.range(1);
    cfg.kbps = (uint32_t)state.range(2);
    cfg.profile = Profile::high;
    cfg.cabac = true;
    PicturePool pool(cfg.width, cfg.height, cfg.fps);
    std::vector<PicturePtr> pics = scene_second(pool, cfg.width, cfg.height, cfg.fps);
    double first = 0, second = 0, third = 0, settled = 0, key = 0;
    for (auto _ : state) {
        std::unique_ptr<Encoder> enc = Encoder::create_live(cfg);
        if (!enc || !enc->warm_up(*pics[0])) {
            state.SkipWithError("the encoder did not open");
            return;
        }
        AccessUnit au;
        double t[32] = {};
        for (size_t i = 0; i < 32; i++) {
            const auto t0 = std::chrono::steady_clock::now();
            if (!enc->encode(*pics[i % pics.size()], i == 0 || i == 31, au)) {
                state.SkipWithError("the encoder failed");
                return;
            }
            t[i] = ms_since(t0);
        }
        first += t[0];
        second += t[1];
        third += t[2];
        for (size_t i = 20; i < 30; i++)
            settled += t[i] / 10;
        key += t[31];
    }
    const double n = (double)state.iterations();
    state.counters["first_ms"] = first / n;
    state.counters["second_ms"] = second / n;
    state.counters["third_ms"] = third / n;
    state.counters["settled_ms"] = settled / n;
    state.counters["key_ms"] = key / n;
    state.counters["period_ms"] = 1000.0 / cfg.fps;
}
BENCHMARK(FirstPictures)
    ->ArgNames({"h265", "fps", "kbps"})
    ->Args({0, 60, 32768})
    ->Args({1, 30, 10240})
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
