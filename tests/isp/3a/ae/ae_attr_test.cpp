// The exposure attribute interface: every range check from one table (code,
// message, and nothing written), the round trips, the route checks, and the
// status query's decoding.
#include "tests/isp/3a/ae/ae_fixture.h"
#include "tests/isp/vreg_field_cases.h"

#include <functional>

using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

template <class T> T got(s32 (*get)(s32, T *))
{
    T v;
    memset(&v, 0, sizeof v);
    EXPECT_EQ(get(0, &v), 0);
    return v;
}

// Every field of an exposure record, in order (padding left out).
std::vector<u32> fields(const AE_EXPOSURE_SETTINGS_S &e)
{
    const AE_AUTO_SETTINGS_S &a = e.stAuto;
    const AE_MANUAL_SETTINGS_S &m = e.stManual;
    std::vector<u32> v = {e.bByPass, e.enOpType, e.u8AERunInterval, e.bHistStatAdjust, e.bAERouteExValid,
                          m.bManualExpTimeEn, m.bManualAGainEn, m.bManualDGainEn, m.bManualISPDGainEn, m.u32ExpTime,
                          m.u32AGain, m.u32DGain, m.u32ISPDGain, a.u32ExpTimeMax, a.u32ExpTimeMin, a.u32AGainMax,
                          a.u32AGainMin, a.u32DGainMax, a.u32DGainMin, a.u32ISPDGainMax, a.u32ISPDGainMin,
                          a.u32SysGainMax, a.u32SysGainMin, a.u32GainThreshold, a.u8Speed, a.u16BlackSpeedBias,
                          a.u8Tolerance, a.u8Compensation, a.u16EVBias, a.enStrategyMode, a.u16HistRatioSlope,
                          a.u8MaxHistOffset, a.enAEMode, a.stAntiflicker.bEnable, a.stAntiflicker.u8Frequency,
                          a.stAntiflicker.enMode, a.stSubflicker.bEnable, a.stSubflicker.u8LumaDiff,
                          a.u16BlackDelayFrame, a.u16WhiteDelayFrame, a.bManualExpValue, a.u32ExpValue,
                          a.enFSWDRMode, a.bWDRQuick};
    for (const auto &row : a.au8Weight)
        for (u8 w : row)
            v.push_back(w);
    return v;
}

} // namespace

class AeAttrTest : public AeTest {
protected:
    void SetUp() override
    {
        AeTest::SetUp();
        ASSERT_EQ(init(), 0);
        exp_ = got(DU_DUZ_ISP_GetExposureAttr);
        wdr_ = got(DU_DUZ_ISP_GetWDRExposureAttr);
        iris_ = got(DU_DUZ_ISP_GetIrisAttr);
        dciris_ = {7000, 100, 3000, 250, 950, 800};
        piris_ = {};
        piris_.u16TotalStep = piris_.u16StepCount = 4;
        piris_.enMaxIrisFNO = 10;
        for (u16 i = 0; i < 4; i++)
            piris_.au16StepFNOTable[i] = (u16)(i * 100);
    }

public:
    AE_EXPOSURE_SETTINGS_S exp_;
    AE_WDR_RATIO_SETTINGS_S wdr_;
    AE_IRIS_SETTINGS_S iris_;
    AE_DCIRIS_SETTINGS_S dciris_;
    AE_PIRIS_SETTINGS_S piris_;
};

// A refused field: 0xA01C8003, its message, and the page and the weights
// exactly as they were (no half-written record).
TEST_F(AeAttrTest, EveryRangeCheckRefusesWithItsMessageAndWritesNothing)
{
    using Exp = AE_EXPOSURE_SETTINGS_S;
    using Wdr = AE_WDR_RATIO_SETTINGS_S;
    struct Case {
        const char *message;
        std::function<s32(AeAttrTest &)> call;
    };
    auto exp = [](std::function<void(Exp &)> change) {
        return [change](AeAttrTest &t) {
            Exp e = t.exp_;
            e.bByPass = 1; // a valid first-stage change that must not land either
            change(e);
            return DU_DUZ_ISP_SetExposureAttr(0, &e);
        };
    };
    auto wdr = [](std::function<void(Wdr &)> change) {
        return [change](AeAttrTest &t) {
            Wdr w = t.wdr_;
            w.enExpRatioType = 1;
            change(w);
            return DU_DUZ_ISP_SetWDRExposureAttr(0, &w);
        };
    };
    auto iris = [](std::function<void(AE_IRIS_SETTINGS_S &)> change) {
        return [change](AeAttrTest &t) {
            AE_IRIS_SETTINGS_S i = t.iris_;
            change(i);
            return DU_DUZ_ISP_SetIrisAttr(0, &i);
        };
    };
    auto dc = [](std::function<void(AE_DCIRIS_SETTINGS_S &)> change) {
        return [change](AeAttrTest &t) {
            AE_DCIRIS_SETTINGS_S d = t.dciris_;
            change(d);
            return DU_DUZ_ISP_SetDcirisAttr(0, &d);
        };
    };
    auto pi = [](std::function<void(AE_PIRIS_SETTINGS_S &)> change) {
        return [change](AeAttrTest &t) {
            AE_PIRIS_SETTINGS_S p = t.piris_;
            change(p);
            return DU_DUZ_ISP_SetPirisAttr(0, &p);
        };
    };
    const Case cases[] = {
        {"Invalid AE bByPass input!", exp([](Exp &e) { e.bByPass = 2; })},
        {"Invalid AE HistStatAdjust input!", exp([](Exp &e) { e.bHistStatAdjust = 2; })},
        {"Invalid bAERouteExValid input!", exp([](Exp &e) { e.bAERouteExValid = 2; })},
        {"Invalid exposure type!", exp([](Exp &e) { e.enOpType = 2; })},
        {"AE run interval must larger than 0!", exp([](Exp &e) { e.u8AERunInterval = 0; })},
        {"Invalid AE mode!", exp([](Exp &e) { e.stAuto.enAEMode = 2; })},
        {"Invalid AE strategy mode!", exp([](Exp &e) { e.stAuto.enStrategyMode = 2; })},
        {"ExpTimeMax should not be less than ExpTimeMin!", exp([](Exp &e) { e.stAuto.u32ExpTimeMax = 1; e.stAuto.u32ExpTimeMin = 2; })},
        {"AGainMax should not be less than AGainMin!", exp([](Exp &e) { e.stAuto.u32AGainMax = 0x500; e.stAuto.u32AGainMin = 0x600; })},
        {"AGainMax/AGainMin should not be less than 0x400!", exp([](Exp &e) { e.stAuto.u32AGainMin = 0x3FF; })},
        {"DGainMax should not be less than DGainMin!", exp([](Exp &e) { e.stAuto.u32DGainMax = 0x500; e.stAuto.u32DGainMin = 0x600; })},
        {"DGainMax/DGainMin should not be less than 0x400!", exp([](Exp &e) { e.stAuto.u32DGainMin = 0x3FF; })},
        {"ISPDGainMax should not be less than ISPDGainMin!", exp([](Exp &e) { e.stAuto.u32ISPDGainMax = 0x500; e.stAuto.u32ISPDGainMin = 0x600; })},
        {"ISPDGainMax/ISPDGainMin should not be less than 0x400!", exp([](Exp &e) { e.stAuto.u32ISPDGainMin = 0x3FF; })},
        {"SysGainMax should not be less than SysGainMin!", exp([](Exp &e) { e.stAuto.u32SysGainMax = 0x500; e.stAuto.u32SysGainMin = 0x600; })},
        {"SysGainMax/SysGainMin should not be less than 0x400!", exp([](Exp &e) { e.stAuto.u32SysGainMin = 0x3FF; })},
        {"Gain threshold for Slow Shutter Mode should not be less than 0x400!", exp([](Exp &e) { e.stAuto.u32GainThreshold = 0x3FF; })},
        {"Invalid anti flicker bEnable input!", exp([](Exp &e) { e.stAuto.stAntiflicker.bEnable = 2; })},
        {"Invalid anti flicker mode input!", exp([](Exp &e) { e.stAuto.stAntiflicker.enMode = 2; })},
        {"Invalid AE Subflicker Enable input!", exp([](Exp &e) { e.stAuto.stSubflicker.bEnable = 2; })},
        {"Subflicker u8LumaDiff should not be larger than 0x64!", exp([](Exp &e) { e.stAuto.stSubflicker.u8LumaDiff = 101; })},
        {"Invalid AE bManualExpValue input!", exp([](Exp &e) { e.stAuto.bManualExpValue = 2; })},
        {"u32ExpValue must larger than 0!", exp([](Exp &e) { e.stAuto.u32ExpValue = 0; })},
        {"au8Weight[3][5] should not be larger than 0xF!", exp([](Exp &e) { e.stAuto.au8Weight[3][5] = 16; e.stAuto.au8Weight[9][1] = 17; })},
        {"Invalid FSWDR running mode!", exp([](Exp &e) { e.stAuto.enFSWDRMode = 2; })},
        {"Invalid AE bWDRQuick input!", exp([](Exp &e) { e.stAuto.bWDRQuick = 2; })},
        {"Invalid Manual ExpTime Enable input!", exp([](Exp &e) { e.stManual.bManualExpTimeEn = 2; })},
        {"Invalid Manual AGain Enable input!", exp([](Exp &e) { e.stManual.bManualAGainEn = 2; })},
        {"Invalid Manual DGain Enable input!", exp([](Exp &e) { e.stManual.bManualDGainEn = 2; })},
        {"Invalid Manual ISPDGain Enable input!", exp([](Exp &e) { e.stManual.bManualISPDGainEn = 2; })},
        {"Manual AGain should not be less than 0x400!", exp([](Exp &e) { e.stManual.u32AGain = 0x3FF; })},
        {"Manual DGain should not be less than 0x400!", exp([](Exp &e) { e.stManual.u32DGain = 0x3FF; })},
        {"Manual ISPDGain should not be less than 0x400!", exp([](Exp &e) { e.stManual.u32ISPDGain = 0x3FF; })},
        {"Invalid enExpRatioType 2!", wdr([](Wdr &w) { w.enExpRatioType = 2; })},
        {"Invalid u32ExpRatio 63!", wdr([](Wdr &w) { w.u32ExpRatio = 0x3F; })},
        {"u32ExpRatioMax's range is [0x40, 0xFFF]!", wdr([](Wdr &w) { w.u32ExpRatioMax = 0x1000; })},
        {"u32ExpRatioMin's range is [0x40, 0xFFF]!", wdr([](Wdr &w) { w.u32ExpRatioMin = 0x3F; })},
        {"u32ExpRatioMin 200 should not larger than u32ExpRatioMax 100!", wdr([](Wdr &w) { w.u32ExpRatioMin = 200; w.u32ExpRatioMax = 100; })},
        {"Invalid u16Tolerance 256!", wdr([](Wdr &w) { w.u16Tolerance = 256; })},
        {"Invalid u16Speed 256!", wdr([](Wdr &w) { w.u16Speed = 256; })},
        {"Invalid AI bEnable input!", iris([](AE_IRIS_SETTINGS_S &i) { i.bEnable = 2; })},
        {"Invalid AI type!", iris([](AE_IRIS_SETTINGS_S &i) { i.enOpType = 2; })},
        {"Invalid IRIS type!", iris([](AE_IRIS_SETTINGS_S &i) { i.enIrisType = 2; })},
        {"Invalid AI status!", iris([](AE_IRIS_SETTINGS_S &i) { i.enIrisStatus = 3; })},
        {"Invalid F Number!", iris([](AE_IRIS_SETTINGS_S &i) { i.enIrisFNO = 11; })},
        {"HoldValue's range is [0,1000]!", iris([](AE_IRIS_SETTINGS_S &i) { i.u32HoldValue = 1001; })},
        {"s32Kp's range must be [0, 100000]!", dc([](AE_DCIRIS_SETTINGS_S &d) { d.s32Kp = -1; })},
        {"s32Ki's range must be [0, 1000]!", dc([](AE_DCIRIS_SETTINGS_S &d) { d.s32Ki = 1001; })},
        {"s32Kd's range must be [0, 100000]!", dc([](AE_DCIRIS_SETTINGS_S &d) { d.s32Kd = 100001; })},
        {"u32MinPwmDuty's range must be [0, 1000]!", dc([](AE_DCIRIS_SETTINGS_S &d) { d.u32MinPwmDuty = 1001; })},
        {"u32MaxPwmDuty's range must be [0, 1000]!", dc([](AE_DCIRIS_SETTINGS_S &d) { d.u32MaxPwmDuty = 1001; })},
        {"u32MinPwmDuty should not larger than u32MaxPwmDuty!", dc([](AE_DCIRIS_SETTINGS_S &d) { d.u32MinPwmDuty = 960; })},
        {"u32OpenPwmDuty's range must be [0, 1000]!", dc([](AE_DCIRIS_SETTINGS_S &d) { d.u32OpenPwmDuty = 1001; })},
        {"u32OpenPwmDuty should not less than u32MinPwmDuty or larger than u32MaxPwmDuty!", dc([](AE_DCIRIS_SETTINGS_S &d) { d.u32OpenPwmDuty = 200; })},
        {"Invalid Iris FNO input!", pi([](AE_PIRIS_SETTINGS_S &p) { p.enMaxIrisFNO = 11; })},
        {"enMaxIrisFNO should not be less than enMinIrisFNO!", pi([](AE_PIRIS_SETTINGS_S &p) { p.enMaxIrisFNO = 3; p.enMinIrisFNO = 4; })},
        {"Invalid bZeroIsMax input!", pi([](AE_PIRIS_SETTINGS_S &p) { p.bZeroIsMax = 2; })},
        {"Invalid bStepFNOTableChange input!", pi([](AE_PIRIS_SETTINGS_S &p) { p.bStepFNOTableChange = 2; })},
        {"Piris TotalStep's range must be [1, 1024]!", pi([](AE_PIRIS_SETTINGS_S &p) { p.u16TotalStep = 0; })},
        {"Piris StepCount's range must be [1, 1024]!", pi([](AE_PIRIS_SETTINGS_S &p) { p.u16StepCount = 1025; p.u16TotalStep = 1024; })},
        {"u16TotalStep should not less than u16StepCount!", pi([](AE_PIRIS_SETTINGS_S &p) { p.u16StepCount = 5; })},
        {"au16StepFNOTable's range must be [0, 1024]!", pi([](AE_PIRIS_SETTINGS_S &p) { p.au16StepFNOTable[700] = 1025; })},
        {"au16StepFNOTable[1] should not larger than au16StepFNOTable[2]!", pi([](AE_PIRIS_SETTINGS_S &p) { p.au16StepFNOTable[1] = 500; })},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        const std::vector<u32> before = aetest::snapshot();
        s32 ret = 0;
        std::string out = capture_stdout([&] { ret = c.call(*this); });
        EXPECT_EQ(ret, (s32)0xA01C8003);
        EXPECT_EQ(out, std::string(c.message) + "\n");
        EXPECT_EQ(aetest::snapshot(), before);
    }
}

TEST_F(AeAttrTest, EveryCallRefusesAnotherDeviceAndANullRecord)
{
    struct Case {
        const char *name;
        std::function<s32(s32, bool)> call; // device, null record
    };
    auto with = [](auto fn, auto rec) {
        return [fn, rec](s32 dev, bool null) mutable { return fn(dev, null ? nullptr : &rec); };
    };
    const Case cases[] = {
        {"DU_DUZ_ISP_SetExposureAttr", with(DU_DUZ_ISP_SetExposureAttr, exp_)},
        {"DU_DUZ_ISP_GetExposureAttr", with(DU_DUZ_ISP_GetExposureAttr, exp_)},
        {"DU_DUZ_ISP_SetWDRExposureAttr", with(DU_DUZ_ISP_SetWDRExposureAttr, wdr_)},
        {"DU_DUZ_ISP_GetWDRExposureAttr", with(DU_DUZ_ISP_GetWDRExposureAttr, wdr_)},
        {"DU_DUZ_ISP_SetAERouteAttr", with(DU_DUZ_ISP_SetAERouteAttr, AE_ROUTE_TABLE_S{})},
        {"DU_DUZ_ISP_GetAERouteAttr", with(DU_DUZ_ISP_GetAERouteAttr, AE_ROUTE_TABLE_S{})},
        {"DU_DUZ_ISP_SetAERouteAttrEx", with(DU_DUZ_ISP_SetAERouteAttrEx, AE_ROUTE_EX_TABLE_S{})},
        {"DU_DUZ_ISP_GetAERouteAttrEx", with(DU_DUZ_ISP_GetAERouteAttrEx, AE_ROUTE_EX_TABLE_S{})},
        {"DU_DUZ_ISP_QueryExposureInfo", with(DU_DUZ_ISP_QueryExposureInfo, AE_EXPOSURE_STATUS_S{})},
        {"DU_DUZ_ISP_SetIrisAttr", with(DU_DUZ_ISP_SetIrisAttr, iris_)},
        {"DU_DUZ_ISP_GetIrisAttr", with(DU_DUZ_ISP_GetIrisAttr, iris_)},
        {"DU_DUZ_ISP_SetDcirisAttr", with(DU_DUZ_ISP_SetDcirisAttr, dciris_)},
        {"DU_DUZ_ISP_GetDcirisAttr", with(DU_DUZ_ISP_GetDcirisAttr, dciris_)},
        {"DU_DUZ_ISP_SetPirisAttr", with(DU_DUZ_ISP_SetPirisAttr, piris_)},
        {"DU_DUZ_ISP_GetPirisAttr", with(DU_DUZ_ISP_GetPirisAttr, piris_)},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<u32> before = aetest::snapshot();
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = c.call(1, false); });
        EXPECT_EQ(ret, (s32)0xA01C8003);
        EXPECT_NE(err.find(std::string("[Info]:Err AE dev 1 in ") + c.name + "!\n"), std::string::npos) << err;
        err = capture_stderr([&] { ret = c.call(0, true); });
        EXPECT_EQ(ret, (s32)0xA01C8006);
        EXPECT_NE(err.find(std::string("[Info]:Null Pointer in ") + c.name + "!\n"), std::string::npos) << err;
        EXPECT_EQ(aetest::snapshot(), before);
    }
}

TEST_F(AeAttrTest, RecordsComeBackAsTheyWereSet)
{
    AE_EXPOSURE_SETTINGS_S e = exp_;
    e.bByPass = 1;
    e.enOpType = 1;
    e.u8AERunInterval = 3;
    e.bHistStatAdjust = 0;
    e.bAERouteExValid = 1;
    e.stManual = {1, 0, 1, 0, 12345, 0x800, 0x600, 0x500};
    AE_AUTO_SETTINGS_S &a = e.stAuto;
    a.u32ExpTimeMax = 30000, a.u32ExpTimeMin = 100;
    a.u32AGainMax = 0x4000, a.u32AGainMin = 0x800;
    a.u8Speed = 99, a.u16BlackSpeedBias = 200, a.u8Tolerance = 5, a.u8Compensation = 70, a.u16EVBias = 900;
    a.enStrategyMode = 1, a.u16HistRatioSlope = 77, a.u8MaxHistOffset = 33, a.enAEMode = 0;
    a.stAntiflicker = {1, 60, 1};
    a.stSubflicker = {1, 40};
    a.u16BlackDelayFrame = 3, a.u16WhiteDelayFrame = 4;
    a.bManualExpValue = 1, a.u32ExpValue = 4242, a.enFSWDRMode = 1, a.bWDRQuick = 1;
    for (u32 r = 0; r < AE_ZONE_ROW; r++)
        for (u32 c = 0; c < AE_ZONE_COLUMN; c++)
            a.au8Weight[r][c] = (u8)((r + c) & 0xF);
    ASSERT_EQ(DU_DUZ_ISP_SetExposureAttr(0, &e), 0);
    AE_EXPOSURE_SETTINGS_S back = got(DU_DUZ_ISP_GetExposureAttr);
    EXPECT_EQ(fields(back), fields(e));

    // Anti-flicker off reads back as frequency 0, whatever the record said.
    e.stAuto.stAntiflicker = {0, 50, 0};
    ASSERT_EQ(DU_DUZ_ISP_SetExposureAttr(0, &e), 0);
    back = got(DU_DUZ_ISP_GetExposureAttr);
    EXPECT_EQ(back.stAuto.stAntiflicker.bEnable, 0u);
    EXPECT_EQ(back.stAuto.stAntiflicker.u8Frequency, 0);

    AE_WDR_RATIO_SETTINGS_S w = {1, 0x123, 0x800, 0x80, 20, 40, 999};
    ASSERT_EQ(DU_DUZ_ISP_SetWDRExposureAttr(0, &w), 0);
    AE_WDR_RATIO_SETTINGS_S wb = got(DU_DUZ_ISP_GetWDRExposureAttr);
    EXPECT_EQ(std::vector<u32>({wb.enExpRatioType, wb.u32ExpRatio, wb.u32ExpRatioMax, wb.u32ExpRatioMin,
                                wb.u16Tolerance, wb.u16Speed, wb.u16RatioBias}),
              std::vector<u32>({1, 0x123, 0x800, 0x80, 20, 40, 999}));

    AE_IRIS_SETTINGS_S i = {0, 1, 0, 2, 1000, 7};
    ASSERT_EQ(DU_DUZ_ISP_SetIrisAttr(0, &i), 0);
    AE_IRIS_SETTINGS_S ib = got(DU_DUZ_ISP_GetIrisAttr);
    EXPECT_EQ(memcmp(&ib, &i, sizeof i), 0);

    // An open duty equal to the minimum or the maximum is accepted.
    for (u32 open : {300u, 900u}) {
        AE_DCIRIS_SETTINGS_S d = {100000, 1000, 0, 300, 900, open};
        ASSERT_EQ(DU_DUZ_ISP_SetDcirisAttr(0, &d), 0);
        AE_DCIRIS_SETTINGS_S db = got(DU_DUZ_ISP_GetDcirisAttr);
        EXPECT_EQ(memcmp(&db, &d, sizeof d), 0);
    }

    // Three steps: three entries back, zeros after, the change flag as the
    // caller had it.
    AE_PIRIS_SETTINGS_S p = piris_;
    p.u16StepCount = 3;
    p.au16StepFNOTable[3] = 1000; // beyond the count: not written
    p.bStepFNOTableChange = 1;
    ASSERT_EQ(DU_DUZ_ISP_SetPirisAttr(0, &p), 0);
    AE_PIRIS_SETTINGS_S pb;
    memset(&pb, 0xAB, sizeof pb);
    pb.bStepFNOTableChange = 7;
    ASSERT_EQ(DU_DUZ_ISP_GetPirisAttr(0, &pb), 0);
    EXPECT_EQ(pb.bStepFNOTableChange, 7u);
    EXPECT_EQ(pb.u16StepCount, 3);
    EXPECT_EQ(pb.au16StepFNOTable[2], 200);
    for (u32 k = 3; k < 1024; k++)
        ASSERT_EQ(pb.au16StepFNOTable[k], 0) << k;
}

// Each field at its register (handle 0's page at
// 0x20000, the zone weights in the ISP at 0x205A0A00).
TEST_F(AeAttrTest, EveryFieldIsInItsRegister)
{
    using Exp = AE_EXPOSURE_SETTINGS_S;
    Exp exp = exp_;
    exp.stAuto.stAntiflicker.bEnable = 1; // the frequency is stored only then
    vregcases::check_fields<Exp>(
        {
            VREG_CASE(Exp, bByPass, 0x20001, 1, 0x01, 1, 0),
            VREG_CASE(Exp, enOpType, 0x20056, 2, 0x0001, 1, 0),
            VREG_CASE(Exp, u8AERunInterval, 0x20198, 1, 0xFF, 7, 9),
            VREG_CASE(Exp, bHistStatAdjust, 0x20156, 2, 0x0001, 0, 1),
            VREG_CASE(Exp, bAERouteExValid, 0x203D4, 1, 0x01, 1, 0),
            VREG_CASE(Exp, stManual.bManualExpTimeEn, 0x20056, 2, 0x0008, 1, 0),
            VREG_CASE(Exp, stManual.bManualAGainEn, 0x20056, 2, 0x0200, 1, 0),
            VREG_CASE(Exp, stManual.bManualDGainEn, 0x20056, 2, 0x0400, 1, 0),
            VREG_CASE(Exp, stManual.bManualISPDGainEn, 0x20056, 2, 0x0800, 1, 0),
            VREG_CASE(Exp, stManual.u32ExpTime, 0x2005C, 4, 0xFFFFFFFF, 12345, 777),
            VREG_CASE(Exp, stManual.u32AGain, 0x20060, 4, 0xFFFFFFFF, 0x800, 0x900),
            VREG_CASE(Exp, stManual.u32DGain, 0x20064, 4, 0xFFFFFFFF, 0x801, 0x901),
            VREG_CASE(Exp, stManual.u32ISPDGain, 0x20068, 4, 0xFFFFFFFF, 0x802, 0x902),
            VREG_CASE(Exp, stAuto.u32ExpTimeMax, 0x20010, 4, 0xFFFFFFFF, 0x100000, 33333),
            VREG_CASE(Exp, stAuto.u32ExpTimeMin, 0x20014, 4, 0xFFFFFFFF, 0, 3),
            VREG_CASE(Exp, stAuto.u32AGainMax, 0x20018, 4, 0xFFFFFFFF, 0x100000, 0x4000),
            VREG_CASE(Exp, stAuto.u32AGainMin, 0x2001C, 4, 0xFFFFFFFF, 0x400, 0x401),
            VREG_CASE(Exp, stAuto.u32DGainMax, 0x20020, 4, 0xFFFFFFFF, 0x100001, 0x4001),
            VREG_CASE(Exp, stAuto.u32DGainMin, 0x20024, 4, 0xFFFFFFFF, 0x400, 0x402),
            VREG_CASE(Exp, stAuto.u32ISPDGainMax, 0x20028, 4, 0xFFFFFFFF, 0x100002, 0x4002),
            VREG_CASE(Exp, stAuto.u32ISPDGainMin, 0x2002C, 4, 0xFFFFFFFF, 0x400, 0x403),
            VREG_CASE(Exp, stAuto.u32SysGainMax, 0x20030, 4, 0xFFFFFFFF, 0x100003, 0x4003),
            VREG_CASE(Exp, stAuto.u32SysGainMin, 0x20034, 4, 0xFFFFFFFF, 0x400, 0x404),
            VREG_CASE(Exp, stAuto.u32GainThreshold, 0x20038, 4, 0xFFFFFFFF, 0x1000, 0x2000),
            VREG_CASE(Exp, stAuto.u8Speed, 0x2000B, 1, 0xFF, 99, 42),
            VREG_CASE(Exp, stAuto.u16BlackSpeedBias, 0x2052E, 2, 0xFFFF, 200, 300),
            VREG_CASE(Exp, stAuto.u8Tolerance, 0x2000C, 1, 0xFF, 5, 6),
            VREG_CASE(Exp, stAuto.u8Compensation, 0x2000D, 1, 0xFF, 70, 71),
            VREG_CASE(Exp, stAuto.u16EVBias, 0x20158, 2, 0xFFFF, 900, 901),
            VREG_CASE(Exp, stAuto.enStrategyMode, 0x2015A, 1, 0x03, 1, 0),
            VREG_CASE(Exp, stAuto.u16HistRatioSlope, 0x2015C, 2, 0xFFFF, 77, 78),
            VREG_CASE(Exp, stAuto.u8MaxHistOffset, 0x2015B, 1, 0xFF, 33, 34),
            VREG_CASE(Exp, stAuto.enAEMode, 0x20002, 1, 0xFF, 0, 1),
            VREG_CASE(Exp, stAuto.stAntiflicker.bEnable, 0x20009, 1, 0x10, 1, 0),
            VREG_CASE(Exp, stAuto.stAntiflicker.u8Frequency, 0x20008, 1, 0xFF, 60, 50),
            VREG_CASE(Exp, stAuto.stAntiflicker.enMode, 0x20009, 1, 0x03, 1, 0),
            VREG_CASE(Exp, stAuto.stSubflicker.bEnable, 0x2019C, 1, 0x01, 1, 0),
            VREG_CASE(Exp, stAuto.stSubflicker.u8LumaDiff, 0x2019D, 1, 0xFF, 40, 60),
            VREG_CASE(Exp, stAuto.u16BlackDelayFrame, 0x2003C, 2, 0xFFFF, 3, 4),
            VREG_CASE(Exp, stAuto.u16WhiteDelayFrame, 0x2003E, 2, 0xFFFF, 5, 6),
            VREG_CASE(Exp, stAuto.bManualExpValue, 0x20000, 1, 0x01, 1, 0),
            VREG_CASE(Exp, stAuto.u32ExpValue, 0x201C8, 4, 0xFFFFFFFF, 4242, 4343),
            VREG_CASE(Exp, stAuto.enFSWDRMode, 0x20526, 1, 0x03, 1, 0),
            VREG_CASE(Exp, stAuto.bWDRQuick, 0x20527, 1, 0x01, 1, 0),
            VREG_CASE(Exp, stAuto.au8Weight[3][5], 0x205A0A00 + 3 * 17 + 5, 1, 0x0F, 9, 3),
        },
        exp, DU_DUZ_ISP_SetExposureAttr, DU_DUZ_ISP_GetExposureAttr);

    using Wdr = AE_WDR_RATIO_SETTINGS_S;
    vregcases::check_fields<Wdr>(
        {
            VREG_CASE(Wdr, enExpRatioType, 0x20003, 1, 0x01, 1, 0),
            VREG_CASE(Wdr, u32ExpRatio, 0x20004, 2, 0x0FFF, 0x123, 0x456),
            VREG_CASE(Wdr, u32ExpRatioMax, 0x2019E, 2, 0xFFFF, 0x800, 0x700),
            VREG_CASE(Wdr, u32ExpRatioMin, 0x2051E, 2, 0xFFFF, 0x80, 0x90),
            VREG_CASE(Wdr, u16Tolerance, 0x20520, 2, 0x00FF, 20, 30),
            VREG_CASE(Wdr, u16Speed, 0x20522, 2, 0x00FF, 40, 50),
            VREG_CASE(Wdr, u16RatioBias, 0x20524, 2, 0xFFFF, 999, 1000),
        },
        wdr_, DU_DUZ_ISP_SetWDRExposureAttr, DU_DUZ_ISP_GetWDRExposureAttr);

    using Iris = AE_IRIS_SETTINGS_S;
    vregcases::check_fields<Iris>(
        {
            VREG_CASE(Iris, bEnable, 0x2016C, 2, 0x0001, 0, 1),
            VREG_CASE(Iris, enOpType, 0x2016E, 2, 0x0001, 1, 0),
            VREG_CASE(Iris, enIrisType, 0x20176, 2, 0x0003, 1, 0),
            VREG_CASE(Iris, enIrisStatus, 0x2017C, 1, 0x03, 2, 1),
            VREG_CASE(Iris, u32HoldValue, 0x20170, 4, 0xFFFFFFFF, 1000, 500),
            VREG_CASE(Iris, enIrisFNO, 0x20199, 1, 0xFF, 7, 3),
        },
        iris_, DU_DUZ_ISP_SetIrisAttr, DU_DUZ_ISP_GetIrisAttr);

    using Dc = AE_DCIRIS_SETTINGS_S;
    vregcases::check_fields<Dc>(
        {
            VREG_CASE(Dc, s32Kp, 0x201A0, 4, 0xFFFFFFFF, 100000, 1),
            VREG_CASE(Dc, s32Ki, 0x201A4, 4, 0xFFFFFFFF, 1000, 2),
            VREG_CASE(Dc, s32Kd, 0x201A8, 4, 0xFFFFFFFF, 99999, 3),
            VREG_CASE(Dc, u32MinPwmDuty, 0x201AC, 4, 0xFFFFFFFF, 300, 301),
            VREG_CASE(Dc, u32MaxPwmDuty, 0x201B0, 4, 0xFFFFFFFF, 900, 901),
            VREG_CASE(Dc, u32OpenPwmDuty, 0x201B4, 4, 0xFFFFFFFF, 850, 851),
        },
        dciris_, DU_DUZ_ISP_SetDcirisAttr, DU_DUZ_ISP_GetDcirisAttr);

    using Piris = AE_PIRIS_SETTINGS_S;
    vregcases::check_fields<Piris>(
        {
            VREG_CASE(Piris, enMaxIrisFNO, 0x2019A, 1, 0xFF, 9, 8),
            VREG_CASE(Piris, enMinIrisFNO, 0x2019B, 1, 0xFF, 2, 3),
            VREG_CASE(Piris, bZeroIsMax, 0x201B8, 1, 0x01, 1, 0),
            VREG_CASE(Piris, u16TotalStep, 0x201BA, 2, 0xFFFF, 100, 101),
            VREG_CASE(Piris, u16StepCount, 0x201BC, 2, 0xFFFF, 3, 4),
            VREG_CASE(Piris, au16StepFNOTable[1], 0x20802, 2, 0xFFFF, 150, 160),
        },
        piris_, DU_DUZ_ISP_SetPirisAttr, DU_DUZ_ISP_GetPirisAttr);

    using Route = AE_ROUTE_TABLE_S;
    Route route = {2, {{1000, 0x400, 0}, {1000, 0x800, 0}}};
    vregcases::check_fields<Route>(
        {
            VREG_CASE(Route, u32TotalNum, 0x20082, 2, 0x00FF, 2, 2),
            VREG_CASE(Route, astRouteNode[1].u32SysGain, 0x20084 + 12 + 4, 4, 0xFFFFFFFF, 0x900, 0x700),
        },
        route, DU_DUZ_ISP_SetAERouteAttr, DU_DUZ_ISP_GetAERouteAttr);

    using RouteEx = AE_ROUTE_EX_TABLE_S;
    RouteEx route_ex = {2, {{100, 0x400, 0x400, 0x400, 0}, {200, 0x400, 0x400, 0x400, 0}}};
    vregcases::check_fields<RouteEx>(
        {
            VREG_CASE(RouteEx, u32TotalNum, 0x2028E, 2, 0x00FF, 1, 2),
            VREG_CASE(RouteEx, astRouteExNode[1].u32IntTime, 0x20294 + 20, 4, 0xFFFFFFFF, 300, 400),
            VREG_CASE(RouteEx, astRouteExNode[0].u32IspDgain, 0x20294 + 12, 4, 0xFFFFFFFF, 0x400, 0x500),
        },
        route_ex, DU_DUZ_ISP_SetAERouteAttrEx, DU_DUZ_ISP_GetAERouteAttrEx);

    using Status = AE_EXPOSURE_STATUS_S;
    vregcases::check_fields<Status>(
        {
            VREG_CASE(Status, u32ExpTime, 0x20040, 4, 0xFFFFFFFF, 0, 1111),
            VREG_CASE(Status, u32ExpTime2, 0x20528, 4, 0xFFFFFFFF, 0, 2222),
            VREG_CASE(Status, u32AGain, 0x20044, 4, 0xFFFFFFFF, 0, 0x500),
            VREG_CASE(Status, u32ISPDGain, 0x2004C, 4, 0xFFFFFFFF, 0, 0x600),
            VREG_CASE(Status, u32Exposure, 0x20050, 4, 0xFFFFFFFF, 0, 123456),
            VREG_CASE(Status, bExposureAtMax, 0x20054, 2, 0x0001, 0, 1),
            VREG_CASE(Status, s16LumError, 0x2000E, 2, 0xFFFF, 0, 0xFFF6),
            VREG_CASE(Status, u32LinesPer500ms, 0x201C0, 4, 0xFFFFFFFF, 0, 16875),
            VREG_CASE(Status, u32PirisGain, 0x201C4, 4, 0xFFFFFFFF, 0, 1024),
            VREG_CASE(Status, u32FrameRateX100, 0x20290, 4, 0xFFFFFFFF, 0, 2997),
            VREG_CASE(Status, u32ISO, 0x20530, 4, 0xFFFFFFFF, 0, 400),
            VREG_CASE(Status, u32ExpRatio, 0x2052C, 2, 0x0FFF, 0, 0x234),
            VREG_CASE(Status, u32FirstStableTime, 0x20534, 4, 0xFFFFFFFF, 0, 5555),
            VREG_CASE(Status, u32RouteNum, 0x2028C, 2, 0x00FF, 0, 2),
            VREG_CASE(Status, astRouteNode[1].u32SysGain, 0x201CC + 12 + 4, 4, 0xFFFFFFFF, 0, 0x1234),
            VREG_CASE(Status, u32RouteExNum, 0x203D6, 1, 0xFF, 0, 2),
            VREG_CASE(Status, astRouteExNode[1].u32Dgain, 0x203D8 + 20 + 8, 4, 0xFFFFFFFF, 0, 0x4321),
        },
        AE_EXPOSURE_STATUS_S{}, nullptr, DU_DUZ_ISP_QueryExposureInfo);
}

TEST_F(AeAttrTest, RoutesAreCheckedNodeByNodeAndPairByPair)
{
    struct Case {
        const char *name;
        bool piris;
        std::vector<AE_ROUTE_NODE_S> nodes;
        const char *message; // null: accepted
    } cases[] = {
        {"no nodes", false, {}, nullptr},
        {"gain doubles", false, {{1000, 0x400, 0}, {1000, 0x800, 0}}, nullptr},
        {"time and gain both change", false, {{1000, 0x400, 0}, {2000, 0x800, 0}},
         "Error! The route node[0]&node[1]'s param is illegal!\n"},
        {"equal products may differ in both", false, {{2000, 0x400, 0}, {1000, 0x800, 0}}, nullptr},
        {"product falls", false, {{2000, 0x400, 0}, {1000, 0x400, 0}},
         "Error! The route node[0]'s mutiply is larger than node[1]!\n"},
        {"time 0", false, {{0, 0x400, 0}}, "Error! The route node's IntTime should not be less than 1!\n"},
        {"time too long", false, {{0x200000, 0x400, 0}},
         "Error! The route node's IntTime should not be larger than 0x1FFFFF!\n"},
        {"gain below 1x", false, {{10, 0x3FF, 0}}, "Error! The route node's SysGain should not be less than 0x400!\n"},
        {"gain too high", false, {{10, 0x20000000, 0}},
         "Error! The route node's SysGain should not be larger than 0x1FFFFFFF!\n"},
        {"F-number ignored for the DC iris", false, {{10, 0x400, 99}}, nullptr},
        {"P-iris F-number too high", true, {{10, 0x400, 11}},
         "Error! The route node's IrisFNO should not be larger than ISP_IRIS_F_NO_1_0!\n"},
        {"P-iris opens one step", true, {{1000, 0x400, 4}, {1000, 0x400, 5}}, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        IO_WRITE16(aetest::page(AE_REG_IRIS_TYPE), c.piris ? 1 : 0);
        IO_WRITE16(aetest::page(AE_REG_ROUTE_CHANGED), 0);
        AE_ROUTE_TABLE_S t = {};
        t.u32TotalNum = (u32)c.nodes.size();
        for (size_t i = 0; i < c.nodes.size(); i++)
            t.astRouteNode[i] = c.nodes[i];
        const std::vector<u32> before = aetest::snapshot();
        s32 ret = -1;
        std::string out = capture_stdout([&] { ret = DU_DUZ_ISP_SetAERouteAttr(0, &t); });
        if (c.message) {
            EXPECT_EQ(ret, (s32)0xA01C8003);
            EXPECT_EQ(out, c.message);
            EXPECT_EQ(aetest::snapshot(), before);
            continue;
        }
        EXPECT_EQ(ret, 0);
        EXPECT_EQ(IO_READ16(aetest::page(AE_REG_ROUTE_CHANGED)), 1u);
        AE_ROUTE_TABLE_S back = got(DU_DUZ_ISP_GetAERouteAttr);
        EXPECT_EQ(memcmp(&back, &t, sizeof t), 0);
    }
    AE_ROUTE_TABLE_S t = {17};
    std::string out = capture_stdout([&] { EXPECT_EQ(DU_DUZ_ISP_SetAERouteAttr(0, &t), (s32)0xA01C8003); });
    EXPECT_EQ(out, "Error! The route node number 17 is larger than 16!\n");
}

TEST_F(AeAttrTest, RouteExNodesAndPairsAreChecked)
{
    struct Case {
        const char *name;
        std::vector<AE_ROUTE_EX_NODE_S> nodes;
        const char *message;
    } cases[] = {
        {"time then analog gain", {{100, 0x400, 0x400, 0x400, 0}, {200, 0x400, 0x400, 0x400, 0}, {200, 0x800, 0x400, 0x400, 0}}, nullptr},
        {"two gains at once", {{100, 0x400, 0x400, 0x400, 0}, {100, 0x800, 0x800, 0x400, 0}},
         "Error! The route_ex node[0]&node[1]'s param is illegal!\n"},
        {"falling", {{200, 0x400, 0x400, 0x400, 0}, {100, 0x400, 0x400, 0x400, 0}},
         "Error! The route_ex node[0]'s mutiply is larger than node[1]!\n"},
        {"digital gain too high", {{1, 0x400, 0x200000, 0x400, 0}},
         "Error! The route_ex node's Dgain should not be larger than 0x1FFFFF!\n"},
        {"ISP gain below 1x", {{1, 0x400, 0x400, 0x3FF, 0}},
         "Error! The route_ex node's IspDgain should not be less than 0x400!\n"},
        {"equivalent gain too high", {{1, 0x1FFFFF, 0x1FFFFF, 0x1FFFFF, 0}},
         "Error! The route_ex node's equivalent SysGain should not be larger than 0x1FFFFFFF!\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        AE_ROUTE_EX_TABLE_S t = {};
        t.u32TotalNum = (u32)c.nodes.size();
        for (size_t i = 0; i < c.nodes.size(); i++)
            t.astRouteExNode[i] = c.nodes[i];
        s32 ret = -1;
        std::string out = capture_stdout([&] { ret = DU_DUZ_ISP_SetAERouteAttrEx(0, &t); });
        if (c.message) {
            EXPECT_EQ(ret, (s32)0xA01C8003);
            EXPECT_EQ(out, c.message);
            continue;
        }
        EXPECT_EQ(ret, 0);
        EXPECT_EQ(IO_READ8(aetest::page(AE_REG_ROUTE_EX_CHANGED)), 1u);
        AE_ROUTE_EX_TABLE_S back = got(DU_DUZ_ISP_GetAERouteAttrEx);
        EXPECT_EQ(memcmp(&back, &t, sizeof t), 0);
    }
}

// Counts in the page are eight bits wide; what comes back never has more
// than the 16 nodes a table holds.
TEST_F(AeAttrTest, RouteCountsFromThePageAreClampedToSixteen)
{
    IO_WRITE16(aetest::page(AE_REG_ROUTE_NUM), 200);
    IO_WRITE16(aetest::page(AE_REG_ROUTE_EX_NUM), 255);
    IO_WRITE16(aetest::page(AE_REG_STAT_ROUTE_NUM), 99);
    IO_WRITE8(aetest::page(AE_REG_STAT_ROUTE_EX_NUM), 40);
    EXPECT_EQ(got(DU_DUZ_ISP_GetAERouteAttr).u32TotalNum, 16u);
    EXPECT_EQ(got(DU_DUZ_ISP_GetAERouteAttrEx).u32TotalNum, 16u);
    AE_EXPOSURE_STATUS_S s = got(DU_DUZ_ISP_QueryExposureInfo);
    EXPECT_EQ(s.u32RouteNum, 16u);
    EXPECT_EQ(s.u32RouteExNum, 16u);
}

TEST_F(AeAttrTest, TheStatusQueryDecodesTheHistogramsAndTheMean)
{
    struct Word {
        u32 word, bin;
    } words[] = {{0x0005, 5}, {0x0FFF, 4095}, {0x1000, 4096}, {0x1FFF, 8191}, {0x2001, 8194}, {0xF000, 4096u << 14}};
    for (const auto &w : words) {
        SCOPED_TRACE(w.word);
        EXPECT_EQ(ae_hist_word_decode(w.word), w.bin);
    }
    for (u32 i = 0; i < 256; i++)
        IO_WRITE32(ISP_REG_BASE + 0x3C00 + 4 * i, i == 10 ? 3 : i == 40 ? 1 : 0);
    for (u32 r : {0x720u, 0x724u, 0x728u, 0x72Cu})
        IO_WRITE32(ISP_REG_BASE + r, 0);
    AE_EXPOSURE_STATUS_S s = got(DU_DUZ_ISP_QueryExposureInfo);
    EXPECT_EQ(s.au16Hist5Value[2], 0xFFFF);
    EXPECT_EQ(s.u8AveLum, 18); // (3 x 10 + 1 x 40 + 4 / 2) / 4
    IO_WRITE32(ISP_REG_BASE + 0x720, 40000);
    IO_WRITE32(ISP_REG_BASE + 0x72C, 30000);
    s = got(DU_DUZ_ISP_QueryExposureInfo);
    EXPECT_EQ(s.au16Hist5Value[0], 40000);
    EXPECT_EQ(s.au16Hist5Value[4], 30000);
    EXPECT_EQ(s.au16Hist5Value[2], 0); // the others already exceed 65535
}
