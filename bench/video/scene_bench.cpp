// The board's picture: what the simulated sensor and ISP cost per 1080p
// frame, as the video input and the ISP driver spend it on every frame.
//
// RenderFrame1080p: one 1920x1080 picture of the scene with the moving
// square, the sensor streaming at a gain that brings noise, and the ISP's
// gamma, sharpen, noise reduction and DRC on; new_palette 1 changes a
// register every frame, so the palette is worked out anew each time (as
// while the exposure or white balance settle), 0 keeps them (the palette is
// reused); lens 0 is a flat field (no fall-off, no column pattern), 1 the
// board's default lens and sensor with neither corrected; stages 1 sets
// every other ISP stage as the camera's firmware does (noise reduction's
// profiles, offset and long threshold, DRC's levels, slopes and variance,
// the luminance threshold and the RGB sharpener with its curve, dynamic
// defect correction), which a board that leaves them unread renders more
// cheaply: comparing boards is what it is for. The counter "entries" is the
// palette's size.
// Statistics: one frame's statistics gathered from the scene.
#include "bench/video/scene_board.h"
#include "board/sim/picture/isp_stats.h"
#include "board/sim/video/video.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

void start_board(bool flat = false) { benchscene::start_board("scene-bench", flat); }

void put16(uint32_t addr, uint32_t v)
{
    uint16_t x = (uint16_t)v;
    memcpy(sim::phys(addr), &x, 2);
}

// The rest of the stages the firmware sets, as the linear mode has them.
void all_stages()
{
    put16(ISP_DRC_WHITE_REG, 1279);
    *sim::phys(ISP_DRC_SLOPE_MAX_REG) = 48;
    *sim::phys(ISP_DRC_VARIANCE_REG) = 0x14;
    *sim::phys(ISP_NR_THRESH_L_REG) = 24;
    *sim::phys(ISP_NR_OFFSET_REG) = 4;
    for (uint32_t i = 0; i < 128; i++) {
        *sim::phys(ISP_NR_PROFILE_REG(i)) = (uint8_t)(8 * std::log2(1 + i));
        *sim::phys(ISP_NR_PROFILE2_REG(i)) = (uint8_t)(6 * std::log2(1 + i));
    }
    put16(ISP_SHARPEN_LUM_REG, 96);
    for (uint32_t j = 0; j < 128; j++) {
        const double v = std::min(64.0, 64 * (j / 25.0) * std::exp(1 - j / 25.0));
        sim::phys_write32(ISP_SHARPEN_RGB_CURVE_REG(256 + 128 + j), (uint32_t)std::lround(128 + v));
        sim::phys_write32(ISP_SHARPEN_RGB_CURVE_REG(256 + 127 - j), (uint32_t)std::lround(128 - v));
    }
    *sim::phys(ISP_SHARPEN_RGB_CTRL_REG) = ISP_SHARPEN_RGB_ON | 1u << 2;
    *sim::phys(ISP_SHARPEN_RGB_REG) = 128;
    *sim::phys(ISP_DP_CTRL_REG) = ISP_DP_CTRL_DYNAMIC;
    put16(ISP_DP_THRESH_REG, 188);
    put16(ISP_DP_HP_THRESH_REG, 2314);
}

void RenderFrame1080p(benchmark::State &state)
{
    start_board(state.range(1) == 0);
    if (state.range(2))
        all_stages();
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
    ->ArgNames({"new_palette", "lens", "stages"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
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
