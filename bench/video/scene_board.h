// Benchmark support: a board whose scene is drawn as a recording sees it,
// the square moving, the sensor streaming at a gain that brings noise and
// the ISP's gamma, sharpen, noise reduction and DRC on.
#pragma once

#include "board/sim/picture/mn34220.h"
#include "board/sim/sim.h"
#include "isp/isp_hw_regs.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

namespace benchscene {

// `tag` names the board's root below /tmp; `flat` gives a lens without
// fall-off and a sensor without its column pattern.
inline void start_board(const char *tag, bool flat = false)
{
    std::string root = std::string("/tmp/") + tag + "-XXXXXX";
    std::string dir = mkdtemp(root.data());
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

} // namespace benchscene
