// The board's picture with every ISP stage the camera's firmware sets: what
// one 1080p frame costs with noise reduction (its profiles and thresholds),
// DRC (its curve, levels, slopes and variance), sharpen (detail, undershoot,
// luminance threshold and the RGB sharpener with its curve), defect-pixel
// correction, gamma, a default lens and a sensor at 6 dB. new_palette 1
// changes a register every frame, so the palette is worked out anew (as
// while the exposure or the white balance settle); 0 reuses it. A board
// that leaves some of these registers unread renders the same frame more
// cheaply: comparing two boards' figures is what this is for.
#include "board/sim/mn34220.h"
#include "board/sim/sim.h"
#include "board/sim/video.h"
#include "isp/isp_hw_regs.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void put16(uint32_t addr, uint32_t v)
{
    uint16_t x = (uint16_t)v;
    memcpy(sim::phys(addr), &x, 2);
}

void start_board()
{
    char root[] = "/tmp/stages-bench-XXXXXX";
    sim::start(mkdtemp(root));
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
    // DRC as the linear mode sets it.
    *sim::phys(ISP_DRC_CTRL_REG) = 1;
    *sim::phys(ISP_DRC_STRENGTH_REG) = 128;
    put16(ISP_DRC_WHITE_REG, 1279);
    *sim::phys(ISP_DRC_SLOPE_MAX_REG) = 48;
    *sim::phys(ISP_DRC_VARIANCE_REG) = 0x14;
    // Noise reduction with a rising profile.
    *sim::phys(ISP_NR_CTRL_REG) = ISP_NR_CTRL_ENABLE;
    *sim::phys(ISP_NR_THRESH_S_REG) = *sim::phys(ISP_NR_THRESH_L_REG) = 24;
    *sim::phys(ISP_NR_OFFSET_REG) = 4;
    for (uint32_t i = 0; i < 128; i++) {
        *sim::phys(ISP_NR_PROFILE_REG(i)) = (uint8_t)(8 * std::log2(1 + i));
        *sim::phys(ISP_NR_PROFILE2_REG(i)) = (uint8_t)(6 * std::log2(1 + i));
    }
    // Sharpen with the RGB sharpener and its curve in bank 1.
    *sim::phys(ISP_SHARPEN_D_REG) = 80;
    *sim::phys(ISP_SHARPEN_UD_REG) = 64;
    put16(ISP_SHARPEN_LUM_REG, 96);
    for (uint32_t j = 0; j < 128; j++) {
        const double v = std::min(64.0, 64 * (j / 25.0) * std::exp(1 - j / 25.0));
        sim::phys_write32(ISP_SHARPEN_RGB_CURVE_REG(256 + 128 + j), (uint32_t)std::lround(128 + v));
        sim::phys_write32(ISP_SHARPEN_RGB_CURVE_REG(256 + 127 - j), (uint32_t)std::lround(128 - v));
    }
    *sim::phys(ISP_SHARPEN_RGB_CTRL_REG) = ISP_SHARPEN_RGB_ON | 1u << 2;
    *sim::phys(ISP_SHARPEN_RGB_REG) = 128;
    // Dynamic defect correction.
    *sim::phys(ISP_DP_CTRL_REG) = ISP_DP_CTRL_DYNAMIC;
    put16(ISP_DP_THRESH_REG, 188);
    put16(ISP_DP_HP_THRESH_REG, 2314);
}

void RenderAllStages1080p(benchmark::State &state)
{
    start_board();
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
BENCHMARK(RenderAllStages1080p)->ArgName("new_palette")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace
