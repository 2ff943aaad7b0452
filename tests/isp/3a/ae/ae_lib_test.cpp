// The exposure library as the ISP drives it: registration checks, init and
// exit, control commands, the page's defaults, the run's calculation frames,
// bypass, the metering channel and weights, proc text, debug capture and
// the DCF fields.
#include "tests/isp/3a/ae/ae_fixture.h"

#include <atomic>
#include <functional>
#include <thread>

#include "board/sim/sim.h"

using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

const ALG_LIB_HANDLE_S kAwbName = {0, "vudi_awb_lib"};
const ALG_LIB_HANDLE_S kHandle2 = {2, "vudi_ae_lib"};
const ALG_LIB_HANDLE_S kHandleNeg = {-1, "vudi_ae_lib"};

} // namespace

TEST_F(AeTest, EntryPointsCheckDeviceRecordHandleAndNameInTurn)
{
    const AE_SENSOR_CALLBACKS_S sns = aetest::sensor_callbacks();
    const AE_IRIS_CALLBACKS_S iris = {};
    struct Case {
        const char *func;
        std::function<s32(s32 dev, const ALG_LIB_HANDLE_S *)> call;
        bool has_dev;
    } cases[] = {
        {"DU_DUZ_AE_Register", [](s32 d, const ALG_LIB_HANDLE_S *l) { return DU_DUZ_AE_Register(d, l); }, true},
        {"DU_DUZ_AE_UnRegister", [](s32 d, const ALG_LIB_HANDLE_S *l) { return DU_DUZ_AE_UnRegister(d, l); }, true},
        {"DU_DUZ_AE_SensorRegCallBack",
         [&](s32 d, const ALG_LIB_HANDLE_S *l) { return DU_DUZ_AE_SensorRegCallBack(d, l, 34220, &sns); }, true},
        {"DU_DUZ_AE_SensorUnRegCallBack",
         [](s32 d, const ALG_LIB_HANDLE_S *l) { return DU_DUZ_AE_SensorUnRegCallBack(d, l, 34220); }, true},
        {"DU_DUZ_AE_Ctrl",
         [](s32, const ALG_LIB_HANDLE_S *l) {
             u32 v = 0;
             return DU_DUZ_AE_Ctrl(l, 9999, &v);
         },
         false},
        {"DU_DUZ_AE_IrisRegisterCallBack",
         [&](s32, const ALG_LIB_HANDLE_S *l) { return DU_DUZ_AE_IrisRegisterCallBack(l, &iris); }, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.func);
        const std::string in = std::string(" in ") + c.func + "!\n";
        struct Step {
            s32 dev;
            const ALG_LIB_HANDLE_S *lib;
            s32 code;
            std::string message;
        } steps[] = {
            {1, nullptr, (s32)0xA01C8003, "Err AE dev 1" + in},
            {0, nullptr, (s32)0xA01C8006, "Null Pointer" + in},
            {0, &kHandle2, -1, "Illegal handle id 2" + in},
            {0, &kHandleNeg, -1, "Illegal handle id -1" + in},
            {0, &kAwbName, -1, "Illegal lib name vudi_awb_lib" + in},
        };
        for (const auto &s : steps) {
            if (s.dev != 0 && !c.has_dev)
                continue;
            s32 ret = 0;
            std::string err = capture_stderr([&] { ret = c.call(s.dev, s.lib); });
            EXPECT_EQ(ret, s.code) << s.message;
            EXPECT_NE(err.find("[Info]:" + s.message), std::string::npos) << err;
        }
    }
    // The sensor registration also wants its callbacks.
    std::string err = capture_stderr(
        [&] { EXPECT_EQ(DU_DUZ_AE_SensorRegCallBack(0, &aetest::kLib, 34220, nullptr), (s32)0xA01C8006); });
    EXPECT_NE(err.find("Null Pointer in DU_DUZ_AE_SensorRegCallBack!"), std::string::npos);
}

TEST_F(AeTest, InitNeedsTheRegisteredSensorAndMapsThePageOnlyThen)
{
    ASSERT_EQ(DU_DUZ_AE_SensorUnRegCallBack(0, &aetest::kLib, 34220), 0);
    AE_INIT_PARAM_S p = {34220, 0, 30, 0};
    s32 ret = 0;
    std::string out = capture_stdout([&] { ret = cb_.pfn_ae_init(0, &p); });
    EXPECT_EQ(ret, -1);
    EXPECT_EQ(out, "Sensor doesn't register to vudi ae(0)!\n");
    EXPECT_EQ(VReg_GetVirtAddr(aetest::page(0)), nullptr);

    const AE_SENSOR_CALLBACKS_S sns = aetest::sensor_callbacks();
    ASSERT_EQ(DU_DUZ_AE_SensorRegCallBack(0, &aetest::kLib, 34220, &sns), 0);
    p.s32SensorId = 1234;
    out = capture_stdout([&] { ret = cb_.pfn_ae_init(0, &p); });
    EXPECT_EQ(ret, -1);
    EXPECT_EQ(out, "Aelib's sensor 34220 and isp's sensor 1234 doesn't match!\n");

    // Uninitialised: run and ctrl answer -1 without a word, exit 0.
    u32 v = 0;
    aetest::GreyStats g(1);
    AE_FRAME_RESULT_S r;
    std::string all = capture_stdout([&] {
        capture_stderr([&] {
            EXPECT_EQ(cb_.pfn_ae_run(0, &g.in, &r, 0), -1);
            EXPECT_EQ(cb_.pfn_ae_ctrl(0, ISP_AE_FPS_BASE_SET, &v), -1);
            EXPECT_EQ(cb_.pfn_ae_exit(0), 0);
        });
    });
    EXPECT_EQ(all, "");

    EXPECT_EQ(init(), 0);
    EXPECT_NE(VReg_GetVirtAddr(aetest::page(0)), nullptr);
    EXPECT_EQ(cb_.pfn_ae_exit(0), 0);
    EXPECT_EQ(cb_.pfn_ae_exit(0), 0); // twice: nothing more to do
}

TEST_F(AeTest, AFreshPageHoldsItsDefaultsAndTheSensorsValues)
{
    ASSERT_EQ(init(), 0);
    struct Reg {
        u32 off, width, value;
    } regs[] = {
        {AE_REG_SPEED, 1, 64},          {AE_REG_TOLERANCE, 1, 2},          {AE_REG_COMPENSATION, 1, 0x38},
        {AE_REG_EV_BIAS, 2, 1024},      {AE_REG_INTERVAL, 1, 1},           {AE_REG_DCIRIS_KP, 4, 7000},
        {AE_REG_DCIRIS_KI, 4, 100},     {AE_REG_DCIRIS_KD, 4, 3000},       {AE_REG_DCIRIS_DUTY_MIN, 4, 250},
        {AE_REG_DCIRIS_DUTY_MAX, 4, 950}, {AE_REG_DCIRIS_DUTY_OPEN, 4, 800}, {AE_REG_AE_MODE, 1, 1},
        {AE_REG_MANUAL, 2, AE_MANUAL_TIME_LIMIT}, {AE_REG_BLACK_DELAY, 2, 8}, {AE_REG_IRIS_EN, 2, 1},
        {AE_REG_HIST_THRESH, 2, 110},   {AE_REG_HIST_SLOPE + 6, 2, 32},    {AE_REG_EXP_VALUE, 4, 65535},
        {AE_REG_AGAIN_MAX, 4, 32382},   {AE_REG_ISPDGAIN_MAX, 4, 8192},    {AE_REG_TIME_MIN, 4, 59},
        {AE_REG_FNO_MAX, 1, 9},         {AE_REG_FNO_MIN, 1, 5},            {AE_REG_SHIFT_AGAIN, 1, 10},
        {AE_REG_SHIFT_ISPDGAIN, 1, 8},
    };
    for (const auto &r : regs) {
        SCOPED_TRACE(r.off);
        u32 got = r.width == 1 ? IO_READ8(aetest::page(r.off))
                               : r.width == 2 ? IO_READ16(aetest::page(r.off)) : IO_READ32(aetest::page(r.off));
        EXPECT_EQ(got, r.value);
    }
}

TEST_F(AeTest, ControlCommandsReachThePageEvenBeforeInit)
{
    // The ISP's pages outlive an instance; ctrl through the public entry
    // does not look at the initialised flag.
    ASSERT_EQ(VReg_Init(aetest::page(0), 0x1000), 0);
    f32 fps = 25;
    ASSERT_EQ(DU_DUZ_AE_Ctrl(&aetest::kLib, ISP_AE_FPS_BASE_SET, &fps), 0);
    u32 bits = IO_READ32(aetest::page(AE_REG_FPS));
    f32 back;
    memcpy(&back, &bits, 4);
    EXPECT_EQ(back, 25.0f);
    u8 wdr = 3;
    ASSERT_EQ(DU_DUZ_AE_Ctrl(&aetest::kLib, ISP_WDR_MODE_SET, &wdr), 0);
    EXPECT_EQ(IO_READ8(aetest::page(AE_REG_WDR_MODE)), 3u);

    const std::vector<u32> before = aetest::snapshot();
    u32 v = 0;
    EXPECT_EQ(DU_DUZ_AE_Ctrl(&aetest::kLib, 7777, &v), 0);
    EXPECT_EQ(aetest::snapshot(), before);
    std::string err = capture_stderr([&] { EXPECT_EQ(DU_DUZ_AE_Ctrl(&aetest::kLib, 7777, nullptr), (s32)0xA01C8006); });
    EXPECT_NE(err.find("Null Pointer in AeCtrlCmd!"), std::string::npos);
    VReg_Exit(aetest::page(0), 0x1000);
}

// A sentinel in a status register tells a calculation frame from a frame
// that only hands back the stored result.
TEST_F(AeTest, CalculationsRunEveryIntervalthFrameAndNeverWithIntervalZeroSkipped)
{
    ASSERT_EQ(init(), 0);
    struct Case {
        u32 interval;
        std::vector<u32> calc_frames; // among 1..9
    } cases[] = {{0, {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {1, {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {3, {3, 6, 9}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.interval);
        IO_WRITE8(aetest::page(AE_REG_INTERVAL), c.interval);
        std::vector<u32> calc;
        for (u32 f = 1; f <= 9; f++) {
            IO_WRITE32(aetest::page(AE_REG_STAT_FPS), 0xDEAD);
            run(f, f);
            if (IO_READ32(aetest::page(AE_REG_STAT_FPS)) != 0xDEAD)
                calc.push_back(f);
        }
        EXPECT_EQ(calc, c.calc_frames);
        EXPECT_EQ(IO_READ8(aetest::page(AE_REG_INTERVAL)), c.interval); // 0 stays 0 in the page
    }
}

TEST_F(AeTest, BypassHandsBackTheResultOfTheFrameBefore)
{
    ASSERT_EQ(init(), 0);
    AE_FRAME_RESULT_S before = run(1, 20, 30);
    IO_WRITE8(aetest::page(AE_REG_BYPASS), 1);
    AE_FRAME_RESULT_S during = run(21, 40, 200);
    EXPECT_EQ(memcmp(&before, &during, sizeof before), 0);
    IO_WRITE8(aetest::page(AE_REG_BYPASS), 0);
    AE_FRAME_RESULT_S after = run(41, 60, 200);
    EXPECT_NE(memcmp(&before, &after, sizeof before), 0);
}

// In a linear mode the WDR ratio is 1:1 whatever its registers say.
TEST_F(AeTest, TheExposureRatioStaysOneInLinearMode)
{
    ASSERT_EQ(init(), 0);
    IO_WRITE8(aetest::page(AE_REG_RATIO_MANUAL), 1);
    IO_WRITE16(aetest::page(AE_REG_RATIO), 512);
    AE_FRAME_RESULT_S r = run(1, 10);
    EXPECT_EQ(ctx().u32Ratio, 64u);
    EXPECT_EQ(r.au32IntTime[0], r.au32IntTime[1]);
}

// A user's Set lands whatever status the library writes into the same
// words at the same time.
TEST_F(AeTest, StatusWritesNeverRevertASetInTheSameWord)
{
    ASSERT_EQ(init(), 0);
    std::atomic<bool> stop{false};
    std::thread runner([&] {
        for (u32 f = 1; !stop; f++)
            run(f, f);
    });
    AE_EXPOSURE_SETTINGS_S e;
    ASSERT_EQ(DU_DUZ_ISP_GetExposureAttr(0, &e), 0);
    int lost = 0;
    for (u32 i = 0; i < 2000; i++) {
        // 0x0C and 0x0D share their word with the status at 0x0E.
        e.stAuto.u8Tolerance = (u8)(i % 7 + 1);
        e.stAuto.u8Compensation = (u8)(40 + i % 30);
        ASSERT_EQ(DU_DUZ_ISP_SetExposureAttr(0, &e), 0);
        lost += IO_READ8(aetest::page(AE_REG_TOLERANCE)) != e.stAuto.u8Tolerance ||
                IO_READ8(aetest::page(AE_REG_COMPENSATION)) != e.stAuto.u8Compensation;
    }
    stop = true;
    runner.join();
    EXPECT_EQ(lost, 0);
}

TEST_F(AeTest, TheWeightsGoToTheIspUntilItEchoesTheFirstThreshold)
{
    ASSERT_EQ(init(), 0);
    aetest::GreyStats g(1);
    AE_FRAME_RESULT_S r;
    ASSERT_EQ(cb_.pfn_ae_run(0, &g.in, &r, 0), 0);
    EXPECT_EQ(r.bChange, 1u);
    const u8 thresh[4] = {0x0D, 0x28, 0x60, 0x80}; // the MN34220's in linear mode
    EXPECT_EQ(memcmp(r.au8MeteringHistThresh, thresh, 4), 0);
    EXPECT_EQ(r.au8WeightTable[0][0], 1);
    EXPECT_EQ(r.au8WeightTable[4][5], 2);
    EXPECT_EQ(r.au8WeightTable[4][4], 1);
    EXPECT_EQ(r.au8WeightTable[7][4], 2);
    EXPECT_EQ(r.au8WeightTable[7][12], 2);
    EXPECT_EQ(r.au8WeightTable[7][13], 1);
    EXPECT_EQ(r.au8WeightTable[11][8], 1);
    g.stat.stAeStat1.au8MeteringThresh[0] = 0x0D; // applied
    ASSERT_EQ(cb_.pfn_ae_run(0, &g.in, &r, 0), 0);
    EXPECT_EQ(r.bChange, 1u); // handed over once more, then cleared
    g.in.u32FrameCnt = 3;
    ASSERT_EQ(cb_.pfn_ae_run(0, &g.in, &r, 0), 0);
    EXPECT_EQ(r.bChange, 0u);
}

TEST_F(AeTest, TheMeteringChannelFollowsADominantColourAtLowGainOnly)
{
    IO_WRITE8(ISP_REG_BASE + 0x18, 1); // GRBG: green first
    ASSERT_EQ(init(), 0);
    const u32 metering = ISP_REG_BASE + 0x6C0;
    run(1, 1); // takes the channel weights and the adaptive flag from the page
    AE_CTX_S &c = ctx();
    ASSERT_EQ(c.bHistStatAdjust, 1u);
    auto frame = [&](u32 iso, u16 r, u16 g, u16 b) {
        c.stResult.u32Iso = iso;
        aetest::GreyStats s(1);
        u16 *m = s.stat.stAeStat4.au16GlobalAvg;
        m[0] = r, m[1] = m[2] = g, m[3] = b;
        AeHistStatUpdate(0, &s.in);
    };
    const u32 green = 0x10, red = 0x08; // skip y 1 / offset x 0; skip y 0 / offset x 1
    EXPECT_EQ(IO_READ8(metering), green);
    for (int i = 0; i < 10; i++)
        frame(100, 40000, 10000, 10000);
    EXPECT_EQ(IO_READ8(metering), green) << "ten frames change nothing";
    frame(100, 40000, 10000, 10000);
    EXPECT_EQ(IO_READ8(metering), red) << "the eleventh does";
    EXPECT_EQ(c.enConfirmedChn, 1u);
    frame(12800, 40000, 10000, 10000);
    EXPECT_EQ(IO_READ8(metering), red) << "12800 keeps the channel";
    frame(12801, 40000, 10000, 10000);
    EXPECT_EQ(IO_READ8(metering), green) << "above 12800 green is forced";

    // Switching adaptation off while red is active returns to green once.
    for (int i = 0; i < 11; i++)
        frame(100, 40000, 10000, 10000);
    ASSERT_EQ(IO_READ8(metering), red);
    c.bHistStatAdjust = 0;
    frame(100, 40000, 10000, 10000);
    EXPECT_EQ(IO_READ8(metering), green);
    IO_WRITE8(metering, 0x77);
    frame(100, 40000, 10000, 10000);
    EXPECT_EQ(IO_READ8(metering), 0x77u) << "then the sampling is left alone";
}

TEST_F(AeTest, ProcTextStaysInsideTheBufferItIsGiven)
{
    ASSERT_EQ(init(), 0);
    run(1, 5);
    std::vector<char> big(8192, 'x');
    ISP_CTRL_PROC_WRITE_S p = {big.data(), (u32)big.size(), 0};
    ASSERT_EQ(cb_.pfn_ae_ctrl(0, ISP_PROC_WRITE, &p), 0);
    const std::string text(big.data());
    EXPECT_EQ(p.u32WriteLen, text.size() + 1);
    EXPECT_EQ(text.rfind("\n[AE] Version: [Vi3516V_ISP_V1.0.6.0 B050 Release], Build Time[Mar 28 2016, 19:35:58]\n"
                         "-----AE INFO---",
                         0),
              0u);
    EXPECT_NE(text.find("   Again   Dgain   IspDg SysGain     Iso    Line AEInter Incrmnt         Exp 1stTime\n"),
              std::string::npos);
    EXPECT_NE(text.find("  NodeId IntTime SysGain IrisApe  UpStgy  DwStgy      Mltply\n"), std::string::npos);
    EXPECT_NE(text.find("  AuIrEn  IrType  MaIrEn DbgIrSt\n       1  DCIris       0       0\n"), std::string::npos);

    for (u32 size : {1u, 2u, 40u, 300u}) {
        SCOPED_TRACE(size);
        std::vector<char> small(size + 16, 'x');
        ISP_CTRL_PROC_WRITE_S q = {small.data(), size, 0};
        ASSERT_EQ(cb_.pfn_ae_ctrl(0, ISP_PROC_WRITE, &q), 0);
        EXPECT_LE(q.u32WriteLen, size);
        EXPECT_EQ(small[size], 'x'); // nothing past the room
        const std::string part(small.data(), strnlen(small.data(), size));
        EXPECT_EQ(text.compare(0, part.size(), part), 0);
    }
    ISP_CTRL_PROC_WRITE_S none = {big.data(), 0, 0};
    big[0] = 'x';
    EXPECT_EQ(AeProcWrite(0, &none), -1);
    EXPECT_EQ(big[0], 'x');
}

TEST_F(AeTest, ProcTextInALineWdrModeShowsBothSlots)
{
    ASSERT_EQ(init(), 0);
    run(1, 3);
    ctx().u8WDRMode = 2;
    std::vector<char> buf(8192);
    ISP_CTRL_PROC_WRITE_S p = {buf.data(), (u32)buf.size(), 0};
    ASSERT_EQ(AeProcWrite(0, &p), 0);
    EXPECT_NE(std::string(buf.data()).find("   LineS   LineL AEInter Incrmnt         Exp 1stTime\n"),
              std::string::npos);
    ctx().u8WDRMode = 0;
}

TEST_F(AeTest, DebugCaptureWritesOneRecordPerFrameIntoItsRing)
{
    ASSERT_EQ(init(), 0);
    const u32 depth = 4, size = depth * 64 + 1104;
    const u32 phys = sim::phys_alloc(size);
    ASSERT_NE(phys, 0u);
    IO_WRITE8(ISP_REG_BASE + 0xA00 + 5 * 17 + 5, 2); // as the ISP's default weights have it
    AE_DBG_ATTR_S dbg = {1, phys, depth};
    ASSERT_EQ(DU_DUZ_AE_Ctrl(&aetest::kLib, AE_DEBUG_ATTR_SET, &dbg), 0);
    AE_DBG_ATTR_S back = {};
    ASSERT_EQ(DU_DUZ_AE_Ctrl(&aetest::kLib, AE_DEBUG_ATTR_GET, &back), 0);
    EXPECT_EQ(back.u32Depth, depth);
    EXPECT_EQ(IO_READ32(aetest::page(AE_REG_DBG_SIZE)), size);
    auto word = [&](u32 i) { return sim::phys_read32(phys + 4 * i); };
    auto record = [&](u32 r, u32 w) { return sim::phys_read32(phys + 1104 + 64 * r + 4 * w); };
    run(4, 5);
    EXPECT_EQ(word(10), 0x38u);  // compensation
    EXPECT_EQ(word(11), 1024u);  // EV bias
    EXPECT_EQ(word(21 + 5 * 17 + 5), 2u); // a centre weight, from the ISP's registers
    EXPECT_EQ(record(0, 0), 4u);
    EXPECT_EQ(record(1, 0), 5u);
    EXPECT_EQ(record(1, 3), 1024u); // analog gain
    run(8, 8);
    EXPECT_EQ(record(0, 0), 8u);

    // A new depth remaps and writes the header again.
    sim::phys_write32(phys + 40, 0);
    IO_WRITE32(aetest::page(AE_REG_DBG_DEPTH), 2);
    run(9, 9);
    EXPECT_EQ(word(10), 0x38u);
    EXPECT_EQ(record(1, 0), 9u);

    // Depth or address 0 in the page: capture is off, nothing is indexed.
    for (u32 reg : {AE_REG_DBG_DEPTH, AE_REG_DBG_ADDR}) {
        IO_WRITE32(aetest::page(AE_REG_DBG_DEPTH), 2);
        IO_WRITE32(aetest::page(AE_REG_DBG_ADDR), phys);
        IO_WRITE32(aetest::page(reg), 0);
        sim::phys_write32(phys + 1104, 0xABCD);
        run(10, 12);
        EXPECT_EQ(record(0, 0), 0xABCDu);
    }
    dbg = {1, 0, 4};
    std::string out = capture_stdout([&] { EXPECT_EQ(DU_DUZ_AE_Ctrl(&aetest::kLib, AE_DEBUG_ATTR_SET, &dbg), -1); });
    EXPECT_EQ(out, "Vudi ae lib(0)'s debug phyaddr is 0!\n");
    dbg = {1, phys, 0};
    out = capture_stdout([&] { EXPECT_EQ(DU_DUZ_AE_Ctrl(&aetest::kLib, AE_DEBUG_ATTR_SET, &dbg), -1); });
    EXPECT_EQ(out, "Vudi ae lib(0)'s debug depth is 0!\n");
    dbg = {0, 0, 0};
    EXPECT_EQ(DU_DUZ_AE_Ctrl(&aetest::kLib, AE_DEBUG_ATTR_SET, &dbg), 0);
    EXPECT_EQ(IO_READ16(aetest::page(AE_REG_DBG_EN)), 0u);
}

TEST_F(AeTest, DcfFieldsCarryIsoExposureTimeAndModeWithoutOverflow)
{
    ASSERT_EQ(init(), 0);
    run(1, 10);
    struct Case {
        const char *name;
        u32 lines, lines_per_500ms, manual;
        u32 time_field;
    } cases[] = {
        {"30 fps", 500, 16875, 0, 500u << 16 | 33750},
        {"120 fps: 2L does not fit", 600, 45000, 1, 300u << 16 | 45000},
        {"long frame", 70000, 40000, 0, 35000u << 16 | 40000},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ctx().u32IntTime = c.lines;
        ctx().u32LinesPer500ms = c.lines_per_500ms;
        ctx().enOpType = c.manual;
        ctx().stResult.u32Iso = 0x12345;
        ISP_DCF_INFO_S d;
        memset(&d, 0xEE, sizeof d);
        ASSERT_EQ(cb_.pfn_ae_ctrl(0, ISP_DCFINFO_SET, &d), 0);
        EXPECT_EQ(d.u16ISOSpeedRatings, 0x2345);
        EXPECT_EQ(d.u32ExposureTime, c.time_field);
        EXPECT_EQ(d.u32ExposureBiasValue, 0u);
        EXPECT_EQ(d.u8ExposureProgram, c.manual ? 1 : 2);
        EXPECT_EQ(d.u8MeteringMode, 0);
        EXPECT_EQ(d.u8ExposureMode, c.manual ? 1 : 0);
        EXPECT_EQ(d.u8WhiteBalance, 0xEE); // the white-balance library's
    }
    EXPECT_EQ(AeGetDcfInfo(0, nullptr), -1);
}
