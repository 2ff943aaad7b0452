// The board's picture: what the simulated sensor and ISP cost per 1080p
// frame, as the video input and the ISP driver spend it on every frame.
//
// RenderFrame1080p: one 1920x1080 picture of the scene with the moving
// square, the sensor streaming at a gain that brings noise, and the ISP's
// gamma, sharpen, noise reduction and DRC on; new_palette 1 changes a
// register every frame, so the palette is worked out anew each time (as
// while the exposure or white balance settle), 0 keeps them (the palette is
// reused); lens 0 is a flat field (no fall-off, no column pattern), 1 the
// board's default lens and sensor with neither corrected. The counter
// "entries" is the palette's size.
// Statistics: one frame's statistics gathered from the scene.
#include "bench/video/scene_board.h"
#include "board/sim/isp_stats.h"
#include "board/sim/video.h"

#include <benchmark/benchmark.h>

namespace {

void start_board(bool flat = false) { benchscene::start_board("scene-bench", flat); }

void RenderFrame1080p(benchmark::State &state)
{
    start_board(state.range(1) == 0);
    sim::video::PicturePool pool(1920, 1080, 1);
    sim::video::PicturePtr pic = pool.take();
    sim::video::SceneRenderer scene;
    sim::video::Window win{0, 0, 1, 1080.0 / 1096}; // as the recorder cuts 1080p
    uint64_t t = 0;
    scene.render(*pic, win, t, sim::world(), 1.0); // the pattern is built once per size
    for (auto _ : state) {
        if (state.range(0))
            *sim::phys(ISP_SHARPEN_D_REG) ^= 1;
        scene.render(*pic, win, t, sim::world(), 1.0);
        t += 16667;
        benchmark::DoNotOptimize(pic->y()[0]);
    }
    state.counters["entries"] = (double)scene.entries();
}
BENCHMARK(RenderFrame1080p)
    ->ArgNames({"new_palette", "lens"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

void Statistics(benchmark::State &state)
{
    start_board();
    auto *st = new ISP_STAT_S;
    for (auto _ : state)
        sim::isp_gather_statistics(*st);
    delete st;
}
BENCHMARK(Statistics)->Unit(benchmark::kMicrosecond);

} // namespace
