// Defect-pixel calibration on the simulated board: the board's hot pixels
// found and stored in the hardware's static table, and a calibration with
// nothing to find, one with too much, one called off midway.
#include "tests/isp/isp_iq_fixture.h"

#include <algorithm>

using namespace isptest;
using testsupport::capture_stdout;

// ---- defect-pixel calibration -------------------------------------------------------------------------

namespace {

// The request as a user makes it: bright pixels from threshold 31, between
// 64 and 256 of them, within `time_limit` / 8 trials.
ISP_DP_STATIC_CALIBRATE_S calibration(u16 time_limit)
{
    static ISP_DP_STATIC_CALIBRATE_S c;
    memset(&c, 0, sizeof c);
    c.bEnable = 1;
    c.bEnableDetect = 1;
    c.enStaticDPType = 0;
    c.u8StartThresh = 31;
    c.u16CountMax = 256;
    c.u16CountMin = 64;
    c.u16TimeLimit = time_limit;
    return c;
}

} // namespace

TEST_F(IspIqTest, CalibrationFindsTheBoardsHotPixels)
{
    ISP_DP_STATIC_CALIBRATE_S req = calibration(1600);
    ASSERT_EQ(DU_DUZ_ISP_SetDPCalibrate(0, &req), 0);
    static ISP_DP_STATIC_CALIBRATE_S got;
    std::string out = capture_stdout([&] {
        for (int f = 0; f < 20; f++) {
            frame();
            ASSERT_EQ(DU_DUZ_ISP_GetDPCalibrate(0, &got), 0);
            if (got.enStatus != 0)
                break;
            EXPECT_EQ(ctx().bSyncSkip, 1u); // the sensor's work stands still meanwhile
        }
    });
    EXPECT_NE(out.find("trial: 0, findshed: "), std::string::npos) << out;
    EXPECT_EQ(got.enStatus, (u32)ISP_STATUS_SUCCESS);
    EXPECT_EQ(got.bEnableDetect, 0u);
    EXPECT_EQ(got.u8FinishThresh, 31u);
    const std::vector<sim::HotPixel> hot = sim::sensor_hot_pixels();
    ASSERT_FALSE(hot.empty());
    EXPECT_EQ(got.u16Count, hot.size()); // all stand above 31
    // The hardware's static table holds each of them from the start index on.
    const std::vector<uint32_t> table = sim::picture::dp_table();
    const u32 start = IO_READ16(H + 0x1F0) & 0xFFF;
    for (size_t i = 0; i < hot.size(); i++)
        EXPECT_EQ(table[(start + i) & 0xFFF], (u32)hot[i].y << 12 | hot[i].x) << i;
    frame();
    EXPECT_EQ(ctx().bSyncSkip, 0u);
    EXPECT_EQ(IO_READ8(H + 0x1E8) & 0x8, 0u); // the detection mode as it was
}

class IspIqNoHotPixels : public IspIqTest {
protected:
    void SetUp() override
    {
        conf_ = "sensor.hot_pixels = 0\n";
        IspIqTest::SetUp();
    }
};

TEST_F(IspIqNoHotPixels, CalibrationWithNothingToFindTimesOut)
{
    ISP_DP_STATIC_CALIBRATE_S req = calibration(16); // two trials
    ASSERT_EQ(DU_DUZ_ISP_SetDPCalibrate(0, &req), 0);
    static ISP_DP_STATIC_CALIBRATE_S got;
    std::string out = capture_stdout([&] {
        for (int f = 0; f < 40; f++) {
            frame();
            ASSERT_EQ(DU_DUZ_ISP_GetDPCalibrate(0, &got), 0);
            if (got.enStatus != 0)
                break;
        }
    });
    EXPECT_NE(out.find("BAD_PIXEL_COUNT_LOWER_LIMIT 1f, 0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("BAD PIXEL CALIBRATION TIME OUT  2\n"), std::string::npos) << out;
    EXPECT_EQ(got.enStatus, (u32)ISP_STATUS_TIMEOUT);
    EXPECT_EQ(got.bEnableDetect, 0u);
    EXPECT_EQ(got.u16Count, 0u);
    EXPECT_EQ(got.u8FinishThresh, 29u); // two trials lowered it twice
}

// Too many found: each trial raises the threshold by one until no more than
// the maximum stand above it. Which threshold that is follows from the
// board's hot pixels.
TEST_F(IspIqTest, CalibrationAboveTheMaximumRaisesTheThresholdUntilFewEnoughRemain)
{
    const std::vector<sim::HotPixel> hot = sim::sensor_hot_pixels();
    auto above = [&](u32 t) { return (u32)std::count_if(hot.begin(), hot.end(), [t](const sim::HotPixel &h) { return h.level > t; }); };
    constexpr u32 kStart = 140, kMax = 60, kMin = 10;
    ASSERT_GT(above(kStart), kMax);
    u32 finish = kStart;
    while (above(finish) > kMax)
        finish++;
    ASSERT_LT(finish - kStart, 12u); // a test of a few trials

    ISP_DP_STATIC_CALIBRATE_S req = calibration(1600);
    req.u8StartThresh = kStart;
    req.u16CountMax = kMax;
    req.u16CountMin = kMin;
    ASSERT_EQ(DU_DUZ_ISP_SetDPCalibrate(0, &req), 0);
    static ISP_DP_STATIC_CALIBRATE_S got;
    std::string out = capture_stdout([&] {
        for (int f = 0; f < 200; f++) {
            frame();
            ASSERT_EQ(DU_DUZ_ISP_GetDPCalibrate(0, &got), 0);
            if (got.enStatus != 0)
                break;
        }
    });
    char first[64];
    snprintf(first, sizeof first, "BAD_PIXEL_COUNT_UPPER_LIMIT %x, %x\n", kStart, above(kStart));
    EXPECT_NE(out.find(first), std::string::npos) << out;
    EXPECT_EQ(testsupport::occurrences(out, "BAD_PIXEL_COUNT_UPPER_LIMIT"), finish - kStart) << out;
    EXPECT_EQ(got.enStatus, (u32)ISP_STATUS_SUCCESS);
    EXPECT_EQ(got.u8FinishThresh, finish);
    EXPECT_EQ(got.u16Count, above(finish));
}

// A calibration called off midway: the next frame ends it as it was
// entered backwards (the sensor out of its detect mode, the detection mode
// as before, green equalisation released, the sensor's work resumed), and
// the status stays what it was.
TEST_F(IspIqTest, ACalibrationCalledOffMidwayPutsBackWhatItChanged)
{
    const u32 detect_before = IO_READ8(H + 0x1E8) & 0x8;
    ISP_DP_STATIC_CALIBRATE_S req = calibration(1600);
    ASSERT_EQ(DU_DUZ_ISP_SetDPCalibrate(0, &req), 0);
    capture_stdout([&] {
        for (int f = 0; f < 6; f++)
            frame();
    });
    ASSERT_EQ(ctx().bSyncSkip, 1u);
    ASSERT_NE(IO_READ8(H + 0x40) & 0x4, 0u); // the raw path set up for detection
    ASSERT_NE(IO_READ8(H + 0x1E8) & 0x8, 0u); // detecting

    static ISP_DP_STATIC_CALIBRATE_S got;
    ASSERT_EQ(DU_DUZ_ISP_GetDPCalibrate(0, &got), 0);
    got.bEnableDetect = 0;
    ASSERT_EQ(DU_DUZ_ISP_SetDPCalibrate(0, &got), 0);
    capture_stdout([&] { frame(); });
    EXPECT_EQ(ctx().bSyncSkip, 0u);
    EXPECT_EQ(IO_READ8(H + 0x40) & 0x4, 0u);
    EXPECT_EQ(IO_READ8(H + 0x1E8) & 0x8, detect_before);
    EXPECT_EQ(IO_READ8(H + 0x1C4), 0u); // green equalisation's strength, as the calibration leaves it
    ASSERT_EQ(DU_DUZ_ISP_GetDPCalibrate(0, &got), 0);
    EXPECT_EQ(got.enStatus, 0u);
    EXPECT_EQ(got.bEnableDetect, 0u);

    // Afterwards the dynamic correction's own thresholds are back in force.
    capture_stdout([&] { frame(); });
    EXPECT_EQ(IO_READ16(H + 0x1CA) & 0xFFF, IO_READ16(0x1219E) & 0xFFF);
    EXPECT_EQ(IO_READ16(H + 0x1D0) & 0xFFF, IO_READ16(0x1219C) & 0xFFF);
}
