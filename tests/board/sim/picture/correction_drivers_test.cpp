// The simulated drivers' side of the ISP's corrections: the video input's
// fixed-pattern calibration and correction requests, its stabilisation
// record before any set, and the colour management's status registers.
#include <cstring>
#include <fcntl.h>

#include "board/sim/picture/picture.h"
#include "board/sim/sim.h"
#include "isp/isp_hw_regs.h"
#include "isp/isp_requests.h"
#include "mpi/video/vi/vi_requests.h"
#include "tests/support/board_fixture.h"

namespace {

constexpr s32 kViIllegal = (s32)0xA0108003, kViNotConfigured = (s32)0xA0108007;

class ViFpnTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        fd_ = bd_open("/dev/vi", O_RDONLY);
        ASSERT_GE(fd_, 0);
        u32 dev = 0;
        ASSERT_EQ(bd_ioctl(fd_, VI_BIND_FD, &dev), 0); // as the unit binds its device's descriptor
    }
    void TearDown() override { bd_close(fd_); }

    VI_FPN_CALIBRATE_REQ_S calibrate(u32 type = 0)
    {
        VI_FPN_CALIBRATE_REQ_S r = {};
        r.enFpnType = type;
        r.enOp = VI_FPN_OP_CALIBRATE;
        r.stFrameInfo.u32Iso = 400;
        r.stFrameInfo.enPixelFormat = 14;
        EXPECT_EQ(bd_ioctl(fd_, VI_FPN_SET, &r), 0);
        return r;
    }

    VI_FPN_CORRECT_REQ_S correction(const VI_FPN_FRAME_INFO_S &f, u32 strength = 256)
    {
        VI_FPN_CORRECT_REQ_S r = {};
        r.enOp = VI_FPN_OP_CORRECT;
        r.bEnable = 1;
        r.u32Strength = strength;
        r.enOpType = 1;
        r.stFrameInfo = f;
        return r;
    }

    int fd_ = -1;
};

} // namespace

// A calibration captures the dark row at the sensor's gain into a buffer of
// its own and answers where it is and its mean level; the rest of the frame
// information comes back as it went.
TEST_F(ViFpnTest, ACalibrationAnswersWithItsDarkFrame)
{
    const VI_FPN_CALIBRATE_REQ_S r = calibrate();
    const VI_FPN_FRAME_INFO_S &f = r.stFrameInfo;
    EXPECT_EQ(f.u32Iso, 400u);
    EXPECT_EQ(f.enPixelFormat, 14u);
    EXPECT_EQ(f.u32Width, sim::kSensorFieldWidth);
    EXPECT_EQ(f.u32Height, 1u);
    ASSERT_TRUE(sim::phys_in_alloc(f.u32PhyAddr, f.u32Width * 2));
    const std::vector<uint16_t> dark = sim::picture::dark_row(sim::sensor_gain());
    EXPECT_EQ(memcmp(sim::phys(f.u32PhyAddr), dark.data(), dark.size() * 2), 0);
    EXPECT_NEAR((double)f.u32Offset, 256, 1);
    EXPECT_NE(*std::min_element(dark.begin(), dark.end()), *std::max_element(dark.begin(), dark.end()));

    // A second calibration of the type takes the place of the first.
    const VI_FPN_CALIBRATE_REQ_S again = calibrate();
    EXPECT_TRUE(sim::phys_in_alloc(again.stFrameInfo.u32PhyAddr, 2));
    const VI_FPN_CALIBRATE_REQ_S line = calibrate(1);
    EXPECT_NE(line.stFrameInfo.u32PhyAddr, again.stFrameInfo.u32PhyAddr);
}

TEST_F(ViFpnTest, ACorrectionNeedsACalibrationsFrameAndSetsTheRegisters)
{
    VI_FPN_CORRECT_REQ_S got = {};
    EXPECT_EQ(bd_ioctl(fd_, VI_FPN_GET, &got), kViNotConfigured);

    const VI_FPN_FRAME_INFO_S f = calibrate().stFrameInfo;
    struct Case {
        const char *name;
        void (*change)(VI_FPN_CORRECT_REQ_S &);
    } bad[] = {
        {"a frame that is no buffer", [](VI_FPN_CORRECT_REQ_S &r) { r.stFrameInfo.u32PhyAddr = 0x1000; }},
        {"a row past its buffer", [](VI_FPN_CORRECT_REQ_S &r) { r.stFrameInfo.u32Width = 4096; }},
        {"strength 1024", [](VI_FPN_CORRECT_REQ_S &r) { r.u32Strength = 1024; }},
        {"enable 2", [](VI_FPN_CORRECT_REQ_S &r) { r.bEnable = 2; }},
        {"an unknown operation", [](VI_FPN_CORRECT_REQ_S &r) { r.enOp = 3; }},
    };
    for (const auto &c : bad) {
        SCOPED_TRACE(c.name);
        VI_FPN_CORRECT_REQ_S r = correction(f);
        c.change(r);
        EXPECT_EQ(bd_ioctl(fd_, VI_FPN_SET, &r), kViIllegal);
        EXPECT_EQ(sim::phys_read32(VI_FPN_CTRL_REG), 0u);
    }

    VI_FPN_CORRECT_REQ_S r = correction(f, 300);
    ASSERT_EQ(bd_ioctl(fd_, VI_FPN_SET, &r), 0);
    EXPECT_EQ(sim::phys_read32(VI_FPN_CTRL_REG), VI_FPN_CTRL_ON);
    EXPECT_EQ(sim::phys_read32(VI_FPN_CFG_REG(0)), 300u << 16 | f.u32Offset);
    EXPECT_EQ(sim::phys_read32(VI_FPN_CFG_REG(1)), 300u << 16 | f.u32Offset);

    // The read-back shows the strength the registers hold now.
    sim::phys_write32(VI_FPN_CFG_REG(0), 512u << 16 | f.u32Offset);
    ASSERT_EQ(bd_ioctl(fd_, VI_FPN_GET, &got), 0);
    EXPECT_EQ(got.bEnable, 1u);
    EXPECT_EQ(got.u32Strength, 512u);
    EXPECT_EQ(got.enOpType, 1u);
    EXPECT_EQ(memcmp(&got.stFrameInfo, &f, sizeof f), 0);

    // Off needs no frame.
    r.bEnable = 0;
    r.stFrameInfo.u32PhyAddr = 0;
    ASSERT_EQ(bd_ioctl(fd_, VI_FPN_SET, &r), 0);
    EXPECT_EQ(sim::phys_read32(VI_FPN_CTRL_REG), 0u);
}

// The scene auto-tuning's get-patch-set of stabilisation works from power-on.
TEST_F(ViFpnTest, StabilisationIsOffUntilSet)
{
    VI_DIS_ATTR_REC_S dis = {{7, 7, 7}};
    ASSERT_EQ(bd_ioctl(fd_, VI_GET_DIS_ATTR, &dis), 0);
    EXPECT_EQ(dis.au32Word[0], 0u);
    EXPECT_EQ(dis.au32Word[2], 0u);
}

TEST_F(BoardTest, TheColourManagementRegistersShowItsAttribute)
{
    int fd = bd_open("/dev/isp_dev", O_RDONLY);
    ASSERT_GE(fd, 0);
    u32 dev = 0;
    ASSERT_EQ(bd_ioctl(fd, ISP_DEV_SET_FD, &dev), 0);
    ISP_ACM_CFG_S a = {1, 1, 3, 0, 1, 0, 0x1FF, 512, 300, 7};
    ASSERT_EQ(bd_ioctl(fd, ISP_ACM_ATTR_SET, &a), 0);
    EXPECT_EQ(sim::phys_read32(VI_ACM_CTRL_REG), 1u << 31 | 1u << 30 | 1u << 28 | 0xFFu);
    EXPECT_EQ(sim::phys_read32(VI_ACM_GAIN_REG), 512u << 20 | 300u << 10 | 7u);
    a.bEnable = 0;
    ASSERT_EQ(bd_ioctl(fd, ISP_ACM_ATTR_SET, &a), 0);
    EXPECT_EQ(sim::phys_read32(VI_ACM_CTRL_REG) >> 31, 0u);
    bd_close(fd);
}
