// Test support for the board's picture: a fixture that renders the scene
// as the sensor and the ISP's registers make it, the areas the tests look
// at, and the register settings they start from.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "board/sim/picture/isp_stats.h"
#include "board/sim/picture/mn34220.h"
#include "board/sim/picture/picture.h"
#include "board/sim/video/video.h"
#include "isp/isp_hw_regs.h"
#include "tests/support/board_fixture.h"

namespace picturetest {

using namespace sim::picture;

constexpr uint32_t kW = 1920, kH = 1080;
inline const sim::video::Window kWin = {0, 0, 1, 1080.0 / 1096}; // as the recorder cuts 1080p

inline void put16(uint32_t addr, uint32_t v)
{
    uint16_t x = (uint16_t)v;
    memcpy(sim::phys(addr), &x, 2);
}
inline void put8(uint32_t addr, uint32_t v) { *sim::phys(addr) = (uint8_t)v; }
inline uint32_t get16(uint32_t addr)
{
    uint16_t x;
    memcpy(&x, sim::phys(addr), 2);
    return x;
}

// Mean and spread of Y, mean Cb and Cr over an area of the picture.
struct Area {
    double y = 0, sd = 0, cb = 0, cr = 0;
};

// What the tests look at: the six grey patches, the red bar, a dark tile,
// and the two pixels either side of the edge between the first two patches.
struct Look {
    Area patch[kPatches], red_bar, dark_tile;
    int edge_light = 0, edge_dark = 0;
};

class PictureTest : public BoardTest {
protected:
    // The ISP's stages are looked at on a flat field: a lens without
    // fall-off and a sensor without a column pattern, unless a test says.
    explicit PictureTest(const char *conf = "sensor.shading = 1\nsensor.column_pattern = 0\n") { conf_ = conf; }

    void SetUp() override
    {
        BoardTest::SetUp();
        pool_ = std::make_unique<sim::video::PicturePool>(kW, kH, 4);
    }

    sim::video::PicturePtr render(uint64_t t_us = 0)
    {
        sim::video::PicturePtr pic = pool_->take();
        scene_.render(*pic, kWin, t_us, sim::world(), 1.0);
        return pic;
    }

    // Where a point of the scene lies on the sensor: the lens turns the
    // scene half round.
    static int row_of(double v) { return (int)((1 - v - kWin.y) / kWin.h * kH); }
    static int col_of(double u) { return (int)((1 - u) * kW); }

    // Whether a pixel of the picture is next to one of the sensor's hot
    // pixels, which a picture of the scene leaves out.
    static bool near_hot_pixel(int r, int c)
    {
        for (const sim::HotPixel &h : sim::sensor_hot_pixels()) {
            const int hr = (int)(((h.y + 0.5) / sim::kSensorFieldHeight - kWin.y) / kWin.h * kH);
            if (std::abs(hr - r) <= 2 && std::abs((int)h.x - c) <= 2)
                return true;
        }
        return false;
    }

    // The middle half of a rectangle of the scene.
    static Area area(const sim::video::Picture &p, double u0, double v0, double u1, double v1)
    {
        const double du = (u1 - u0) / 4, dv = (v1 - v0) / 4;
        const int c0 = col_of(u1 - du), c1 = col_of(u0 + du), r0 = row_of(v1 - dv), r1 = row_of(v0 + dv);
        double n = 0, sum = 0, sq = 0, cb = 0, cr = 0;
        for (int r = r0; r < r1; r++)
            for (int c = c0; c < c1; c++) {
                if (near_hot_pixel(r, c))
                    continue;
                double y = p.y()[(size_t)r * p.stride + c];
                const uint8_t *vu = p.vu() + (size_t)(r / 2) * p.stride + (c & ~1);
                n++, sum += y, sq += y * y, cr += vu[0], cb += vu[1];
            }
        Area a;
        a.y = sum / n;
        a.sd = std::sqrt(std::max(0.0, sq / n - a.y * a.y));
        a.cb = cb / n;
        a.cr = cr / n;
        return a;
    }

    static Area patch(const sim::video::Picture &p, int k)
    {
        double u0 = kPatchLeft + k * kPatchWidth;
        return area(p, u0, kPatchTop, u0 + kPatchWidth, kPatchBottom);
    }

    Look look(uint64_t t_us = 0)
    {
        sim::video::PicturePtr p = render(t_us);
        Look l;
        for (int k = 0; k < kPatches; k++)
            l.patch[k] = patch(*p, k);
        l.red_bar = area(*p, 0, kBarTop, 1.0 / kBars, kBarBottom);
        // Ground tiles are 1/12 wide and 1/16 high; this one is dark.
        l.dark_tile = area(*p, 2 / 12.0, 8 / 16.0, 3 / 12.0, 9 / 16.0);
        const int r = row_of((kPatchTop + kPatchBottom) / 2), edge = col_of(kPatchLeft + kPatchWidth);
        l.edge_light = p->y()[(size_t)r * p->stride + edge];
        l.edge_dark = p->y()[(size_t)r * p->stride + edge - 1];
        return l;
    }

    // The sensor streaming at 10 ms and analogue gain `code` ((steps + 64) x 4).
    void stream(uint16_t again_code = 0x100)
    {
        const std::pair<uint16_t, uint8_t> regs[] = {
            {0x0307, 0x24}, {0x3007, 0x14}, {0x0340, 0x04}, {0x0341, 0x65}, {0x0202, 0x01}, {0x0203, 0x51},
            {0x0204, (uint8_t)(again_code >> 8)}, {0x0205, (uint8_t)again_code}, {0x3108, 0x01}, {0x3109, 0x00},
            {0x0100, 0x01}};
        for (auto &r : regs)
            ASSERT_TRUE(sim::sensor_i2c_write(sim::kSensorI2cAddr, r.first, r.second));
    }

    // Back to the registers' reset values.
    void restart()
    {
        pool_.reset();
        sim::start(root_);
        pool_ = std::make_unique<sim::video::PicturePool>(kW, kH, 4);
    }

    // The red and blue gains that make a grey neutral under the light, as
    // the statistics of the grey pattern give them; then the sensor stops
    // exposing, so the pictures show the scene clean at the nominal
    // exposure (the same the statistics had).
    std::pair<uint32_t, uint32_t> white_gains()
    {
        set_gains({0x100, 0x100});
        stream();
        const bool grey = sim::world().scene_grey;
        sim::with_world([](sim::World &w) { w.scene_grey = true; });
        auto *st = new ISP_STAT_S;
        sim::isp_gather_statistics(*st);
        std::pair<uint32_t, uint32_t> g = {st->stAwbStat1.u16MeteringAwbAvgGR, st->stAwbStat1.u16MeteringAwbAvgGB};
        delete st;
        sim::with_world([&](sim::World &w) { w.scene_grey = grey; });
        sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x0202, 0);
        sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x0203, 0);
        return g;
    }
    static void set_gains(std::pair<uint32_t, uint32_t> g)
    {
        put16(ISP_WB_GAIN_REG(0), g.first);
        put16(ISP_WB_GAIN_REG(3), g.second);
    }

    void gamma(double power)
    {
        for (uint32_t i = 0; i < 257; i++)
            sim::phys_write32(ISP_GAMMA_TABLE_REG(i), (uint32_t)std::lround(4095 * std::pow(i / 256.0, power)));
        put8(ISP_GAMMA_CTRL_REG, ISP_GAMMA_CTRL_ENABLE);
    }

    std::unique_ptr<sim::video::PicturePool> pool_;
    sim::video::SceneRenderer scene_;
};

} // namespace picturetest
