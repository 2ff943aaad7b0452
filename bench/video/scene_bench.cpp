// The board's picture: what the simulated sensor and ISP cost per 1080p frame.
#include "board/sim/sim.h"
#include "board/sim/video.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

void RenderFrame1080p(benchmark::State &state)
{
    char root[] = "/tmp/scene-bench-XXXXXX";
    sim::start(mkdtemp(root));
    sim::with_world([](sim::World &w) { w.scene_motion = true; });
    sim::video::PicturePool pool(1920, 1080, 1);
    sim::video::PicturePtr pic = pool.take();
    sim::video::SceneRenderer scene;
    sim::video::Window win{0, 8.0 / 1096, 1, 1080.0 / 1096};
    uint64_t t = 0;
    for (auto _ : state) {
        scene.render(*pic, win, t, sim::world(), 1.0);
        t += 16667;
        benchmark::DoNotOptimize(pic->y()[0]);
    }
}
BENCHMARK(RenderFrame1080p)->Unit(benchmark::kMicrosecond);

} // namespace
#include "board/sim/isp_stats.h"
namespace {
void Stats(benchmark::State &state)
{
    ISP_STAT_S *st = new ISP_STAT_S;
    for (auto _ : state) sim::isp_gather_statistics(*st);
    delete st;
}
BENCHMARK(Stats)->Unit(benchmark::kMicrosecond);
}
