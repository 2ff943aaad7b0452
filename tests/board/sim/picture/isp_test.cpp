// The simulated ISP driver, I2C adapter and MN34220 sensor: the frame clock,
// frame-synced sensor writes, the bounded frame wait, the statistics ring and
// statistics that follow the scene and the sensor's exposure.
#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <thread>

#include "board/sim/picture/mn34220.h"
#include "board/sim/picture/picture.h"
#include "board/sim/sim.h"
#include "isp/isp_hw_regs.h"
#include "isp/isp_regcfg.h"
#include "isp/isp_requests.h"
#include "isp/sensor/i2c_requests.h"
#include "tests/support/board_fixture.h"

namespace {

class IspBoardTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        fd_ = bd_open("/dev/isp_dev", O_RDONLY);
        ASSERT_GE(fd_, 0);
        u32 dev = 0;
        ASSERT_EQ(bd_ioctl(fd_, ISP_DEV_SET_FD, &dev), 0);
    }
    void TearDown() override { bd_close(fd_); }

    // The 1080p30 clock and frame length, streaming.
    void stream(u16 vmax = 1125)
    {
        const std::pair<u16, u8> regs[] = {{0x0307, 0x24}, {0x3007, 0x14},      {0x0340, vmax >> 8},
                                           {0x0341, vmax & 0xFF}, {0x0100, 1}};
        for (auto &r : regs)
            ASSERT_TRUE(sim::sensor_i2c_write(sim::kSensorI2cAddr, r.first, r.second));
    }

    void expose(u16 lines, u16 again_code = 0x100)
    {
        sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x0202, lines >> 8);
        sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x0203, lines & 0xFF);
        sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x0204, again_code >> 8);
        sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x0205, again_code & 0xFF);
        sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x3108, 1);
        sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x3109, 0);
    }

    u32 wait_frame()
    {
        u32 status = 7;
        EXPECT_EQ(bd_ioctl(fd_, ISP_GET_FRAME_EDGE, &status), 0);
        return status;
    }

    // The statistics of the next frame, taken and given back as the run loop does.
    ISP_STAT_S next_stats()
    {
        if (!stat_phys_) {
            EXPECT_EQ(bd_ioctl(fd_, ISP_STAT_BUF_INIT, &stat_phys_), 0);
            u32 on = 1;
            EXPECT_EQ(bd_ioctl(fd_, ISP_SET_INT_ENABLE, &on), 0);
            wait_frame(); // statistics of an exposure set before now
        }
        EXPECT_EQ(wait_frame(), 1u);
        ISP_STAT_INFO_S info = {};
        EXPECT_EQ(bd_ioctl(fd_, ISP_STAT_BUF_GET, &info), 0);
        ISP_STAT_S st;
        memcpy(&st, sim::phys(info.u32PhyAddr), sizeof st);
        EXPECT_EQ(bd_ioctl(fd_, ISP_STAT_BUF_PUT, &info), 0);
        return st;
    }

    static double mean_luma(const ISP_STAT_S &st)
    {
        double n = 0, sum = 0;
        for (int i = 0; i < 256; i++) {
            n += st.stAeStat3.au32Hist256Value[i];
            sum += (double)i * st.stAeStat3.au32Hist256Value[i];
        }
        return n ? sum / n : 0;
    }

    int fd_ = -1;
    u32 stat_phys_ = 0;
};

TEST_F(IspBoardTest, TheFrameClockFollowsTheFrameLength)
{
    EXPECT_EQ(sim::sensor_fps(), 0.0); // not streaming
    stream();
    EXPECT_DOUBLE_EQ(sim::sensor_fps(), 30.0);
    sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x0340, 0x05); // 1350 lines
    sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x0341, 0x46);
    EXPECT_DOUBLE_EQ(sim::sensor_fps(), 25.0);
    expose(337); // 10 ms at 33750 lines a second, unity gains
    EXPECT_NEAR(sim::sensor_exposure_gain(), 1.0, 0.002);
    expose(337, (16 + 64) * 4); // 16 gain steps of 0.375 dB: 6 dB
    EXPECT_NEAR(sim::sensor_exposure_gain(), 2.0, 0.01);
}

TEST_F(IspBoardTest, SyncedWritesLandAtTheirFrames)
{
    stream();
    ISP_SYNC_CFG_S rec = {};
    rec.bValid = 1;
    rec.stSnsRegsInfo.u32RegNum = 3;
    const struct {
        u16 reg;
        u8 value, delay, update;
    } entries[] = {{0x0203, 0x44, 0, 1}, {0x0205, 0x55, 1, 1}, {0x0341, 0x66, 0, 0}};
    for (int i = 0; i < 3; i++) {
        ISP_I2C_DATA_S &e = rec.stSnsRegsInfo.astI2cData[i];
        e = {entries[i].update, entries[i].delay, 0x6C, entries[i].reg, 2, entries[i].value, 1};
    }
    rec.u32DrcStrength = 99;
    uint64_t before = sim::sensor_frame();
    ASSERT_EQ(bd_ioctl(fd_, ISP_SYNC_CFG_SET, &rec), 0);
    uint64_t deadline_frame = before + 4;
    while (sim::sensor_frame() < deadline_frame)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    uint64_t f0203 = 0, f0205 = 0;
    for (auto &w : sim::sensor_writes()) {
        if (!w.sync)
            continue;
        if (w.reg == 0x0203)
            f0203 = w.frame;
        if (w.reg == 0x0205)
            f0205 = w.frame;
        EXPECT_NE(w.reg, 0x0341) << "an entry without its update flag went out";
    }
    EXPECT_GT(f0203, before);
    EXPECT_EQ(f0205, f0203 + 1);
    EXPECT_EQ(sim::sensor_reg(0x0203), 0x44);
}

// Thirty sync records in a row that change none of the sensor's registers
// say that the exposure has settled, once; a record that changes one starts
// the count again.
TEST_F(IspBoardTest, TheExposureIsSaidSteadyOnceTheSensorRegistersStopChanging)
{
    stream();
    auto hand_over = [&](u8 lines, int records) {
        ISP_SYNC_CFG_S rec = {};
        rec.bValid = 1;
        rec.stSnsRegsInfo.u32RegNum = 2;
        rec.stSnsRegsInfo.astI2cData[0] = {1, 0, 0x6C, 0x0203, 2, lines, 1};
        rec.stSnsRegsInfo.astI2cData[1] = {1, 0, 0x6C, 0x0205, 2, 0x40, 1};
        for (int i = 0; i < records; i++)
            ASSERT_EQ(bd_ioctl(fd_, ISP_SYNC_CFG_SET, &rec), 0);
    };
    const struct {
        const char *name;
        u8 lines;
        int records;
        size_t said; // "isp exposure steady" lines so far
    } steps[] = {
        {"the first record sets them, 29 more keep them", 0x44, 30, 0},
        {"the 30th record that keeps them", 0x44, 1, 1},
        {"more of the same say nothing more", 0x44, 40, 1},
        {"a change, and 29 records that keep it", 0x45, 30, 1},
        {"the 30th after the change", 0x45, 1, 2},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.name);
        hand_over(s.lines, s.records);
        EXPECT_EQ(s.said, testsupport::events("isp exposure steady").size());
    }
}

TEST_F(IspBoardTest, TheFrameWaitIsBounded)
{
    // Interrupt off: back at once without a frame.
    EXPECT_EQ(wait_frame(), 0u);
    // On, but the sensor does not stream: back after two frame periods.
    u32 on = 1;
    ASSERT_EQ(bd_ioctl(fd_, ISP_SET_INT_ENABLE, &on), 0);
    EXPECT_EQ(wait_frame(), 0u);
    stream();
    EXPECT_EQ(wait_frame(), 1u);
}

TEST_F(IspBoardTest, StatisticsFollowTheExposureAndTheScene)
{
    stream();
    expose(200);
    // Unity white-balance gains: the ratios below are the light's.
    for (u32 c = 0; c < 4; c++)
        *reinterpret_cast<u16 *>(sim::phys(0x205A02C0 + 4 * c)) = 0x100;
    double base = mean_luma(next_stats());
    EXPECT_GT(base, 10.0);
    expose(400);
    EXPECT_NEAR(mean_luma(next_stats()) / base, 2.0, 0.2);
    expose(200);
    sim::with_world([](sim::World &w) { w.scene_brightness = 2.0; });
    EXPECT_NEAR(mean_luma(next_stats()) / base, 2.0, 0.2);

    // Warm light: more red, a lower G/R; the gains in force come out of it.
    sim::with_world([](sim::World &w) {
        w.scene_brightness = 1.0;
        w.scene_kelvin = 3000;
    });
    ISP_STAT_S warm = next_stats();
    sim::with_world([](sim::World &w) { w.scene_kelvin = 6500; });
    ISP_STAT_S cool = next_stats();
    EXPECT_LT(warm.stAwbStat1.u16MeteringAwbAvgGR, cool.stAwbStat1.u16MeteringAwbAvgGR);
    EXPECT_GT(warm.stAwbStat1.u16MeteringAwbAvgGB, cool.stAwbStat1.u16MeteringAwbAvgGB);
    // Gains that make the global ratios neutral.
    u32 gr = cool.stAwbStat1.u16MeteringAwbAvgGR, gb = cool.stAwbStat1.u16MeteringAwbAvgGB;
    *reinterpret_cast<u16 *>(sim::phys(0x205A02C0)) = (u16)gr;
    *reinterpret_cast<u16 *>(sim::phys(0x205A02CC)) = (u16)gb;
    ISP_STAT_S balanced = next_stats();
    EXPECT_NEAR(balanced.stAwbStat1.u16MeteringAwbAvgGR, 256, 8);
    EXPECT_NEAR(balanced.stAwbStat1.u16MeteringAwbAvgGB, 256, 8);
    // The Bayer means are taken before the gains.
    EXPECT_EQ(balanced.stAwbStat3.u16MeteringAwbAvgR, cool.stAwbStat3.u16MeteringAwbAvgR);
}

TEST_F(IspBoardTest, StatisticsLayout)
{
    stream();
    expose(300);
    *sim::phys(0x205A0600) = 13; // the first metering threshold
    ISP_STAT_S st = next_stats();
    EXPECT_EQ(st.stAeStat1.au8MeteringThresh[0], 13);
    // Each zone holds its share of a 1080p frame.
    EXPECT_EQ(st.stAwbStat4.au16MeteringMemArrayCountAll[0], (1920 / 17) * (1080 / 15));
    u64 pixels = 0;
    for (u32 v : st.stAeStat3.au32Hist256Value)
        pixels += v;
    EXPECT_NEAR((double)pixels, 255.0 * 8064, 255.0);
    for (int z = 0; z < 255; z++) {
        u32 sum = 0;
        for (u16 b : st.stAeStat2.au16ZoneHist5Value[z / 17][z % 17])
            sum += b;
        ASSERT_EQ(sum, 65535u) << z;
    }
    // The lens turns the scene round: the bottom zones of the sensor are
    // sky, brighter than the ground.
    EXPECT_GT(st.stAeStat5.au16ZoneAvg[14][8][1], st.stAeStat5.au16ZoneAvg[0][8][1]);
    EXPECT_NE(st.stDehazeStat.au32DehazeMinDout[0], 0u);
    // The registers carry the same 256-bin counts, as 16-bit floats.
    u32 reg = sim::phys_read32(0x205A3C00 + 4 * 40), e = reg >> 12, m = reg & 0xFFF;
    u32 decoded = e == 0 ? m : (m + 4096) << (e - 1);
    EXPECT_NEAR(decoded, st.stAeStat3.au32Hist256Value[40], st.stAeStat3.au32Hist256Value[40] / 4000.0 + 1);
}

TEST_F(IspBoardTest, TheRingOfTwoNeverOverwritesTheHeldBuffer)
{
    stream();
    u32 base = 0, on = 1;
    ASSERT_EQ(bd_ioctl(fd_, ISP_STAT_BUF_INIT, &base), 0);
    ASSERT_EQ(bd_ioctl(fd_, ISP_SET_INT_ENABLE, &on), 0);
    ASSERT_EQ(wait_frame(), 1u);
    ISP_STAT_INFO_S held = {};
    ASSERT_EQ(bd_ioctl(fd_, ISP_STAT_BUF_GET, &held), 0);
    std::vector<u8> copy(sim::phys(held.u32PhyAddr), sim::phys(held.u32PhyAddr) + ISP_STAT_BUF_SIZE);
    sim::with_world([](sim::World &w) { w.scene_brightness = 0.3; });
    ASSERT_EQ(wait_frame(), 1u);
    ASSERT_EQ(wait_frame(), 1u);
    EXPECT_EQ(memcmp(copy.data(), sim::phys(held.u32PhyAddr), ISP_STAT_BUF_SIZE), 0);
    ISP_STAT_INFO_S bogus = held;
    bogus.u32PhyAddr += 4;
    EXPECT_EQ(bd_ioctl(fd_, ISP_STAT_BUF_PUT, &bogus), -1);
    EXPECT_EQ(bd_ioctl(fd_, ISP_STAT_BUF_PUT, &held), 0);
    ISP_STAT_INFO_S next = {};
    ASSERT_EQ(bd_ioctl(fd_, ISP_STAT_BUF_GET, &next), 0);
    EXPECT_NE(next.u32PhyAddr, held.u32PhyAddr); // the newer buffer
}

TEST_F(IspBoardTest, RequestsAreToldApartByTheirFullNumber)
{
    u32 dcf = 0;
    ASSERT_EQ(bd_ioctl(fd_, ISP_DCF_BUF_INIT, &dcf), 0); // 0x80044914
    EXPECT_GE(dcf, sim::kDdrBase);
    VREG_ARGS_S page = {4096, 0x20000, 0};
    ASSERT_EQ(bd_ioctl(fd_, VREG_DRV_INIT, &page), 0); // 0x400C4914
    ASSERT_EQ(bd_ioctl(fd_, VREG_DRV_GETADDR, &page), 0);
    EXPECT_NE(page.u32PhyAddr, dcf);
    EXPECT_EQ(bd_ioctl(fd_, 0x80044999, &dcf), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(bd_ioctl(fd_, ISP_MEM_INFO_GET, nullptr), -1); // a bad record
    EXPECT_EQ(errno, EFAULT);
    int unbound = bd_open("/dev/isp_dev", O_RDONLY);
    EXPECT_EQ(bd_ioctl(unbound, ISP_MEM_INFO_GET, &dcf), -1);
    EXPECT_EQ(bd_ioctl(unbound, VREG_DRV_GETADDR, &page), 0); // the page requests need no device
    bd_close(unbound);
}

TEST_F(IspBoardTest, TheGammaTableAndDrcStrengthTakeEffectAtTheNextFrame)
{
    stream();
    ISP_KERNEL_REG_CFG_S k = {};
    k.u32Flags = 1;
    for (int i = 0; i < GAMMA_NODE_NUMBER; i++)
        k.au16Gamma[i] = (u16)(i * 16);
    ASSERT_EQ(bd_ioctl(fd_, ISP_REG_CFG_SET, &k), 0);
    ISP_SYNC_CFG_S sync = {};
    sync.bValid = 1;
    sync.u32DrcStrength = 180;
    ASSERT_EQ(bd_ioctl(fd_, ISP_SYNC_CFG_SET, &sync), 0);
    EXPECT_NE(sim::phys_read32(0x205A2800 + 4 * 100), 1600u); // the table at reset
    u32 on = 1;
    ASSERT_EQ(bd_ioctl(fd_, ISP_SET_INT_ENABLE, &on), 0);
    ASSERT_EQ(wait_frame(), 1u);
    EXPECT_EQ(sim::phys_read32(0x205A2800 + 4 * 100), 1600u);
    EXPECT_EQ(*sim::phys(0x205A0384), 180);
}

// While the ISP is in detection mode each frame counts the sensor's hot
// pixels above the threshold and lists them, in raster order, from the
// table's start index; out of it the last finds stay.
TEST_F(IspBoardTest, DefectDetectionFindsTheSensorsHotPixels)
{
    struct Case {
        const char *name;
        const char *conf;
        u32 threshold, start;
    } cases[] = {
        {"every one above a low threshold", "", 31, 0},
        {"the brighter ones, listed from index 5", "", 200, 5},
        {"a sensor without hot pixels", "sensor.hot_pixels = 0\n", 31, 0},
    };
    auto put16 = [](u32 addr, u32 v) {
        u16 x = (u16)v;
        memcpy(sim::phys(addr), &x, 2);
    };
    u32 on = 1;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::write_conf(root_, c.conf);
        sim::start(root_);
        stream();
        ASSERT_EQ(bd_ioctl(fd_, ISP_SET_INT_ENABLE, &on), 0);
        std::vector<u32> expect;
        for (const sim::HotPixel &h : sim::sensor_hot_pixels())
            if (h.level > c.threshold)
                expect.push_back(ISP_DP_POS(h.x, h.y));
        EXPECT_TRUE(std::is_sorted(expect.begin(), expect.end()));
        put16(ISP_DP_THRESH_REG, c.threshold);
        put16(ISP_DP_START_REG, c.start);
        *sim::phys(ISP_DP_STATIC_REG) = ISP_DP_STATIC_DETECT;
        ASSERT_EQ(wait_frame(), 1u);
        EXPECT_EQ(sim::phys_read32(ISP_DP_FOUND_REG) & 0xFFF, expect.size());
        std::vector<u32> table = sim::picture::dp_table();
        EXPECT_EQ(std::vector<u32>(table.begin() + c.start, table.begin() + c.start + expect.size()), expect);

        *sim::phys(ISP_DP_STATIC_REG) = 0;
        put16(ISP_DP_THRESH_REG, 0);
        ASSERT_EQ(wait_frame(), 1u);
        EXPECT_EQ(sim::phys_read32(ISP_DP_FOUND_REG) & 0xFFF, expect.size());
    }
}

TEST_F(IspBoardTest, TheI2cAdapterReachesOnlyTheAddressedSensor)
{
    int i2c = bd_open("/dev/i2c-0", O_RDWR);
    ASSERT_GE(i2c, 0);
    const u8 bytes[3] = {0x01, 0x30, 0xD3};
    ASSERT_EQ(bd_ioctl(i2c, I2C_CMD_SET_REG_WIDTH, reinterpret_cast<void *>(1)), 0);
    EXPECT_EQ(bd_write(i2c, bytes, 3), -1); // no device address yet
    EXPECT_EQ(errno, EIO);
    ASSERT_EQ(bd_ioctl(i2c, I2C_CMD_SET_DEV, reinterpret_cast<void *>(0x6C)), 0);
    EXPECT_EQ(bd_write(i2c, bytes, 2), -1);
    EXPECT_EQ(errno, EINVAL);
    ASSERT_EQ(bd_write(i2c, bytes, 3), 3);
    EXPECT_EQ(sim::sensor_reg(0x3001), 0xD3);
    sim::sensor_set_present(false);
    EXPECT_EQ(bd_write(i2c, bytes, 3), -1);
    EXPECT_EQ(bd_ioctl(i2c, I2C_CMD_SET_DATA_WIDTH, reinterpret_cast<void *>(1)), -1);
    bd_close(i2c);
}

} // namespace
