// The MN34220 driver: mode choice, frame lengths, gain codes, the sync list,
// the exposure and white-balance defaults, and its I2C access on the board.
#include "tests/isp/isp_fixture.h"

#include "board/sim/sim.h"

using namespace isptest;
using testsupport::capture_stdout;

namespace {

class Mn34220Test : public IspTest {
protected:
    void SetUp() override
    {
        IspTest::SetUp();
        sensor_global_init();
        memset(&profile_, 0, sizeof profile_);
    }
    void TearDown() override
    {
        sensor_exit();
        IspTest::TearDown();
    }

    ISP_SENSOR_SYNC_REGS_S sync_list()
    {
        ISP_SENSOR_SYNC_REGS_S regs;
        cmos_get_sns_regs_info(&regs);
        return regs;
    }

    // The frame length the driver asks for at `fps`, as its sync list carries it.
    u32 vmax_at(f32 fps)
    {
        cmos_fps_set(fps, &profile_);
        ISP_SENSOR_SYNC_REGS_S r = sync_list();
        u32 hi = r.u32RegNum == 9 ? 7 : 9;
        return r.astI2cData[hi].u32Data << 8 | r.astI2cData[hi + 1].u32Data;
    }

    AE_SENSOR_PROFILE_S profile_;
};

TEST_F(Mn34220Test, ImageModeFromSizeFrameRateAndWdrMode)
{
    struct Case {
        const char *name;
        u8 wdr;
        u16 width, height;
        f32 fps;
        s32 result;
        u32 vmax; // at the requested rate, 0 when refused
    };
    const Case cases[] = {
        {"1080p30 linear: mode 2", 0, 1920, 1080, 30, 0, 1125},
        {"1080p30.5 linear: mode 1", 0, 1920, 1080, 30.5f, 0, 2213},  // 67500 / 30.5
        {"1080p60 linear: mode 1", 0, 1920, 1080, 60, 0, 1125},
        {"1080p61 refused", 0, 1920, 1080, 61, -1, 0},
        {"wider than 1920 refused", 0, 1921, 1080, 30, -1, 0},
        {"taller than 1080 refused", 0, 1920, 1088, 30, -1, 0},
        {"720p120 linear: mode 3", 0, 1280, 720, 120, 0, 750},
        {"720p in line WDR refused", 2, 1280, 720, 30, -1, 0},
        {"VGA240 linear: mode 4", 0, 640, 480, 240, 0, 562},          // 134880 / 240
        {"VGA241 refused", 0, 640, 480, 241, -1, 0},
        {"1080p30 line WDR", 2, 1920, 1080, 30, 0, 1250},             // 37500 / 30
        {"1080p31 line WDR refused", 2, 1920, 1080, 31, -1, 0},
        {"1080p30 frame WDR uses mode 2", 3, 1920, 1080, 30, 0, 1125},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sensor_global_init();
        s32 ret = 0;
        std::string out = capture_stdout([&] {
            cmos_set_wdr_mode(c.wdr);
            ISP_CMOS_SENSOR_IMAGE_MODE_S m = {c.width, c.height, c.fps};
            ret = cmos_set_image_mode(&m);
        });
        EXPECT_EQ(ret, c.result);
        if (c.result != 0) {
            EXPECT_NE(out.find("Not support! Width:"), std::string::npos);
            continue;
        }
        EXPECT_EQ(vmax_at(c.fps), c.vmax);
        EXPECT_EQ(profile_.u32FullLinesStd, c.vmax);
        EXPECT_EQ(profile_.u32MaxIntTime, c.vmax - 2);
    }
}

TEST_F(Mn34220Test, AModeAlreadyProgrammedAnswersNoChange)
{
    ISP_CMOS_SENSOR_IMAGE_MODE_S m = {1920, 1080, 30};
    capture_stdout([&] {
        cmos_set_wdr_mode(0);
        EXPECT_EQ(cmos_set_image_mode(&m), 0);
        EXPECT_EQ(sensor_init(), 0); // writes the 1080p30 sequence
    });
    m.f32Fps = 25;
    EXPECT_EQ(cmos_set_image_mode(&m), -1); // same mode, only the rate changes
    m.f32Fps = 50;
    EXPECT_EQ(cmos_set_image_mode(&m), 0); // mode 1 now
}

TEST_F(Mn34220Test, FrameLengthPerModeAndFrameRate)
{
    struct Case {
        const char *name;
        u16 width, height;
        f32 mode_fps, fps;
        u32 vmax;
        f32 offset;
    };
    const Case cases[] = {
        {"mode 2 at 30", 1920, 1080, 30, 30, 1125, 0.8045f},
        {"mode 2 at 25", 1920, 1080, 30, 25, 1350, 0.8045f},
        {"mode 2 at 0.5 clamps", 1920, 1080, 30, 0.5f, 65535, 0.8045f},
        {"mode 1 at 50", 1920, 1080, 60, 50, 1350, 0.6082f},
        {"mode 3 at 100", 1280, 720, 120, 100, 900, 0.5982f},
        {"mode 4 at 120", 640, 480, 240, 120, 1124, 0.4309f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sensor_global_init();
        cmos_set_wdr_mode(0);
        ISP_CMOS_SENSOR_IMAGE_MODE_S m = {c.width, c.height, c.mode_fps};
        ASSERT_EQ(cmos_set_image_mode(&m), 0);
        EXPECT_EQ(vmax_at(c.fps), c.vmax);
        EXPECT_FLOAT_EQ(profile_.stIntTimeAccu.f32Offset, c.offset);
        EXPECT_EQ(profile_.u32LinesPer500ms, (u32)(c.vmax * c.fps * 0.5f));
    }
    // Out of the mode's range: refused, nothing changes.
    u32 before = vmax_at(25);
    std::string out = capture_stdout([&] { cmos_fps_set(0.4f, &profile_); });
    EXPECT_NE(out.find("Not support Fps: 0.400000"), std::string::npos);
    EXPECT_EQ(profile_.u32FullLinesStd, before);
}

TEST_F(Mn34220Test, GainTableLookupRoundsDown)
{
    struct Case {
        u32 wanted, gain, index;
    };
    const Case cases[] = {
        {1000, 1024, 0}, {1024, 1024, 0},  {1069, 1024, 0},    {1070, 1070, 1},     {1100, 1070, 1},
        {8134, 8134, 48}, {8135, 8134, 48}, {32381, 31031, 79}, {32382, 32382, 80}, {40000, 32382, 80},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.wanted);
        u32 lin = c.wanted, idx = 99;
        cmos_again_calc_table(&lin, &idx);
        EXPECT_EQ(lin, c.gain);
        EXPECT_EQ(idx, c.index);
        lin = c.wanted, idx = 99;
        cmos_dgain_calc_table(&lin, &idx);
        EXPECT_EQ(lin, c.gain);
        EXPECT_EQ(idx, c.index);
    }
    u32 idx = 0;
    std::string out = capture_stdout([&] { cmos_again_calc_table(nullptr, &idx); });
    EXPECT_EQ(out, "null pointer when get ae sensor gain info  value!\n");
}

TEST_F(Mn34220Test, TheSyncListCarriesEachModesRegisters)
{
    struct Slot {
        u32 addr;
        u8 delay;
    };
    const std::vector<Slot> linear = {{0x0202, 0}, {0x0203, 0}, {0x3280, 1}, {0x0204, 1}, {0x0205, 1},
                                      {0x3108, 1}, {0x3109, 1}, {0x0340, 0}, {0x0341, 0}};
    const std::vector<Slot> line = {{0x0202, 0}, {0x0203, 0}, {0x3280, 1}, {0x0204, 1}, {0x0205, 1}, {0x3108, 1},
                                    {0x3109, 1}, {0x312A, 1}, {0x312B, 1}, {0x0340, 1}, {0x0341, 1}};
    const std::vector<Slot> frame = {{0x0202, 0}, {0x0203, 0}, {0x3280, 1}, {0x0204, 1}, {0x0205, 1}, {0x3108, 1},
                                     {0x3109, 1}, {0x0202, 1}, {0x0203, 1}, {0x0340, 0}, {0x0341, 0}};
    struct Case {
        const char *name;
        u8 wdr;
        const std::vector<Slot> &slots;
    };
    const Case cases[] = {{"linear", 0, linear}, {"line WDR", 2, line}, {"frame WDR", 4, frame}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sensor_global_init();
        capture_stdout([&] { cmos_set_wdr_mode(c.wdr); });
        ISP_SENSOR_SYNC_REGS_S r = sync_list();
        EXPECT_EQ(r.enSnsType, 0u);
        EXPECT_EQ(r.u32RegNum, c.slots.size());
        EXPECT_EQ(r.u32RegsDelayFrm, 2u);
        for (size_t i = 0; i < c.slots.size(); i++) {
            SCOPED_TRACE(i);
            EXPECT_EQ(r.astI2cData[i].bUpdate, 1u);
            EXPECT_EQ(r.astI2cData[i].u32RegAddr, c.slots[i].addr);
            EXPECT_EQ(r.astI2cData[i].u8DelayFrmNum, c.slots[i].delay);
            EXPECT_EQ(r.astI2cData[i].u8DevAddr, 0x6C);
            EXPECT_EQ(r.astI2cData[i].u32AddrByteNum, 2u);
            EXPECT_EQ(r.astI2cData[i].u32DataByteNum, 1u);
        }
        // Nothing changed: nothing flagged, except frame WDR's two times.
        r = sync_list();
        for (size_t i = 0; i < c.slots.size(); i++) {
            bool always = c.wdr == 4 && (i == 0 || i == 1 || i == 7 || i == 8);
            EXPECT_EQ(r.astI2cData[i].bUpdate, always ? 1u : 0u) << i;
        }
    }
}

TEST_F(Mn34220Test, ExposureUpdatesBecomeRegisterValues)
{
    cmos_set_wdr_mode(0);
    sync_list();
    cmos_inttime_update(0x0123);
    cmos_gains_update(8, 0); // (8 + 64) x 4 = 0x120; (0 + 64) x 4 = 0x100
    ISP_SENSOR_SYNC_REGS_S r = sync_list();
    const u32 expected[7] = {0x01, 0x23, 0x00, 0x01, 0x20, 0x01, 0x00};
    for (u32 i = 0; i < 7; i++)
        EXPECT_EQ(r.astI2cData[i].u32Data, expected[i]) << i;
    cmos_gains_update(8, 1); // the same analogue gain: 0x3280 = 0x30
    r = sync_list();
    EXPECT_EQ(r.astI2cData[2].u32Data, 0x30u);
    EXPECT_EQ(r.astI2cData[2].bUpdate, 1u);
    EXPECT_EQ(r.astI2cData[3].bUpdate, 0u);
    EXPECT_EQ(r.astI2cData[6].bUpdate, 1u); // 0x104
    cmos_gains_update(9, 1);
    EXPECT_EQ(sync_list().astI2cData[2].u32Data, 0x00u);
}

TEST_F(Mn34220Test, LineWdrAlternatesTheTwoIntegrationTimes)
{
    capture_stdout([&] { cmos_set_wdr_mode(2); });
    sync_list();
    cmos_inttime_update(0x0456); // first call after start: 0x312A/0x312B
    cmos_inttime_update(0x0789); // then 0x0202/0x0203
    ISP_SENSOR_SYNC_REGS_S r = sync_list();
    EXPECT_EQ(r.astI2cData[7].u32Data, 0x04u);
    EXPECT_EQ(r.astI2cData[8].u32Data, 0x56u);
    EXPECT_EQ(r.astI2cData[0].u32Data, 0x07u);
    EXPECT_EQ(r.astI2cData[1].u32Data, 0x89u);
}

TEST_F(Mn34220Test, IntegrationTimeLimitPerWdrMode)
{
    struct Case {
        const char *name;
        u8 wdr;
        u32 fswdr, ratio, expected;
    };
    const Case cases[] = {
        {"frame WDR", 3, 0, 128, (1123 * 64) / 128},
        {"frame WDR, ratio 0 counts as 1", 3, 0, 0, 1123 * 64},
        {"line WDR", 2, 0, 64, std::min((1220u * 64) / 64, (1220u * 64) / 128)},
        {"line WDR long frame, first call", 2, 1, 64, 1250 - 760},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sensor_global_init();
        capture_stdout([&] { cmos_set_wdr_mode(c.wdr); });
        u32 mode = c.fswdr;
        cmos_ae_fswdr_attr_set(&mode);
        u32 max = 0;
        cmos_get_inttime_max(c.ratio, &max);
        EXPECT_EQ(max, c.expected);
    }
    sensor_global_init();
    u32 untouched = 77;
    cmos_get_inttime_max(64, &untouched); // linear: left alone
    EXPECT_EQ(untouched, 77u);
}

TEST_F(Mn34220Test, ExposureAndWhiteBalanceDefaults)
{
    ASSERT_EQ(cmos_get_ae_default(&profile_), 0);
    const u8 thresh[4] = {0x0D, 0x28, 0x60, 0x80};
    EXPECT_EQ(memcmp(profile_.au8HistThresh, thresh, 4), 0);
    EXPECT_EQ(profile_.u8AeCompensation, 0x38);
    EXPECT_EQ(profile_.u32LinesPer500ms, 1125u * 25 / 2);
    EXPECT_EQ(profile_.u32InitExposure, 921600u);
    EXPECT_EQ(profile_.u32MaxIntTime, 1123u);
    EXPECT_EQ(profile_.u32MaxAgain, 32382u);
    EXPECT_FLOAT_EQ(profile_.stIntTimeAccu.f32Offset, 0.8045f);
    EXPECT_EQ(profile_.stAERouteAttr.u32TotalNum, 0u);
    EXPECT_EQ(profile_.enMaxIrisFNO, 9u);

    // Line WDR at 1250 lines: the 30 fps routes and the lower gain targets.
    capture_stdout([&] { cmos_set_wdr_mode(2); });
    ASSERT_EQ(cmos_get_ae_default(&profile_), 0);
    EXPECT_EQ(profile_.u8AeCompensation, 0x40);
    EXPECT_EQ(profile_.u32MaxAgainTarget, 8134u);
    EXPECT_EQ(profile_.u32MaxDgainTarget, 1024u);
    ASSERT_EQ(profile_.stAERouteAttr.u32TotalNum, 5u);
    EXPECT_EQ(profile_.stAERouteAttr.astRouteNode[1].u32IntTime, 140u);
    EXPECT_EQ(profile_.stAERouteAttr.astRouteNode[4].u32SysGain, 131071u);
    EXPECT_EQ(profile_.stAERouteExAttr.astRouteExNode[4].u32IspDgain, 16384u);

    AWB_SENSOR_PROFILE_S awb;
    ASSERT_EQ(cmos_get_awb_default(&awb), 0);
    EXPECT_EQ(awb.u16WbRefTemp, 5000);
    EXPECT_EQ(awb.au16GainOffset[0], 496);
    EXPECT_EQ(awb.as32WbPara[5], -123490);
    EXPECT_EQ(awb.au16HighCCM[1], 0x8000 | 142); // -142, sign in bit 15
    EXPECT_EQ(awb.au8Sat[0], 120);               // the WDR table

    ISP_SENSOR_BLC_S blc;
    ASSERT_EQ(cmos_get_isp_black_level(&blc), 0);
    EXPECT_EQ(blc.au16BlackLevel[3], 255);
    ISP_SENSOR_DEFAULT_S def;
    ASSERT_EQ(cmos_get_isp_default(&def), 0);
    EXPECT_EQ(def.stDrc.u32WhiteLevel, 4095u);
    EXPECT_EQ(def.stGammafe.bValid, 1u);
    EXPECT_EQ(def.u32MaxWidth, 1920u);

    std::string out = capture_stdout([] { cmos_get_ae_default(nullptr); });
    EXPECT_EQ(out, "null pointer when get ae default value!\n");
}

TEST_F(Mn34220Test, RegisterWritesReachTheSensorAddressLowByteFirst)
{
    ASSERT_EQ(sensor_i2c_init(), 0);
    EXPECT_EQ(sensor_write_register(0x3001, 0xD3), 0);
    EXPECT_EQ(sim::sensor_reg(0x3001), 0xD3);
    EXPECT_EQ(sim::sensor_reg(0x0130), 0x00);
    EXPECT_EQ(sensor_i2c_init(), 0); // already open: no second open
    EXPECT_EQ(sensor_i2c_exit(), 0);
    EXPECT_EQ(sensor_i2c_exit(), -1);
}

TEST_F(Mn34220Test, PixelDetectRunsAtFiveFramesASecond)
{
    capture_stdout([&] {
        ISP_CMOS_SENSOR_IMAGE_MODE_S m = {1920, 1080, 30};
        cmos_set_wdr_mode(0);
        cmos_set_image_mode(&m);
        ASSERT_EQ(sensor_init(), 0);
    });
    cmos_set_pixel_detect(1); // 6750 lines, 6748 of exposure, unity gains
    const struct {
        u16 reg;
        u8 value;
    } regs[] = {{0x0340, 0x1A}, {0x0341, 0x5E}, {0x0202, 0x1A}, {0x0203, 0x5C},
                {0x0204, 1},    {0x0205, 0},    {0x3108, 1},    {0x3109, 0}};
    for (auto &r : regs)
        EXPECT_EQ(sim::sensor_reg(r.reg), r.value) << std::hex << r.reg;
    cmos_set_pixel_detect(0);
    EXPECT_EQ(sim::sensor_reg(0x0340), 0x04);
    EXPECT_EQ(sim::sensor_reg(0x0341), 0x65);
    EXPECT_EQ(sync_list().astI2cData[8].bUpdate, 1u); // the whole list goes out again
}

TEST_F(Mn34220Test, IniFilePath)
{
    EXPECT_EQ(sensor_set_inifile_path(nullptr), 0);
    EXPECT_EQ(sensor_set_inifile_path("/mnt/"), 0);
    EXPECT_EQ(sensor_set_inifile_path(std::string(226, 'a').c_str()), 0);
    std::string out = capture_stdout([] { EXPECT_EQ(sensor_set_inifile_path(std::string(227, 'a').c_str()), -1); });
    EXPECT_EQ(out, "Set inifile path is larger PATHLEN_MAX!\n");
}

} // namespace
