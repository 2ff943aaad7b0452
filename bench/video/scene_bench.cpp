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
#include "board/sim/isp_stats.h"
#include "board/sim/mn34220.h"
#include "board/sim/sim.h"
#include "board/sim/video.h"
#include "isp/isp_hw_regs.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void start_board(bool flat = false)
{
    char root[] = "/tmp/scene-bench-XXXXXX";
    std::string dir = mkdtemp(root);
    if (flat)
        std::ofstream(dir + "/board.conf") << "sensor.shading = 1\nsensor.column_pattern = 0\n";
    sim::start(dir);
    sim::with_world([](sim::World &w) { w.scene_motion = true; });
    // 1080p30 clock, 10 ms, 6 dB of analogue gain.
    const std::pair<uint16_t, uint8_t> regs[] = {{0x0307, 0x24}, {0x3007, 0x14}, {0x0340, 0x04}, {0x0341, 0x65},
                                                 {0x0202, 0x01}, {0x0203, 0x51}, {0x0204, 0x01}, {0x0205, 0x40},
                                                 {0x3108, 0x01}, {0x3109, 0x00}, {0x0100, 0x01}};
    for (auto &r : regs)
        sim::sensor_i2c_write(sim::kSensorI2cAddr, r.first, r.second);
    for (uint32_t i = 0; i < 257; i++)
        sim::phys_write32(ISP_GAMMA_TABLE_REG(i), (uint32_t)(4095 * std::pow(i / 256.0, 0.45)));
    *sim::phys(ISP_GAMMA_CTRL_REG) = ISP_GAMMA_CTRL_ENABLE;
    *sim::phys(ISP_DRC_CTRL_REG) = 1;
    *sim::phys(ISP_DRC_STRENGTH_REG) = 128;
    *sim::phys(ISP_NR_CTRL_REG) = ISP_NR_CTRL_ENABLE;
    *sim::phys(ISP_NR_THRESH_S_REG) = 24;
    *sim::phys(ISP_SHARPEN_D_REG) = 80;
    *sim::phys(ISP_SHARPEN_UD_REG) = 64;
}

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
