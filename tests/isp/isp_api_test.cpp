// The ISP control interface: every refusal from one table (with nothing
// written when a check fails), then what each call writes, reads and waits on.
#include "tests/isp/isp_fixture.h"

#include "board/sim/sim.h"
#include "tests/support/isp_reg_base.h"

using namespace isptest;
using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

class IspApiTest : public IspTest {
protected:
    void SetUp() override
    {
        IspTest::SetUp();
        ASSERT_EQ(register_all(), 0);
        ASSERT_EQ(DU_DUZ_ISP_MemInit(0), 0);
    }

    // Everything a refused call could have written: the ISP registers, the
    // ext page and the focus registers.
    std::string registers()
    {
        std::string s(reinterpret_cast<const char *>(sim::phys(ISP_REG_BASE)), 0x10000);
        const char *ext = static_cast<const char *>(VReg_GetVirtAddr(ISP_VREG_EXT_BASE));
        s.append(ext, ISP_VREG_EXT_SIZE);
        s.append(reinterpret_cast<const char *>(sim::phys(0x20582000)), 0x100);
        return s;
    }

    static ISP_STATISTICS_CFG_S valid_stat_cfg()
    {
        ISP_STATISTICS_CFG_S c = {};
        c.unKey = 0xFFFFFFFD;
        const u8 th[4] = {10, 10, 20, 30};
        memcpy(c.stAECfg.au8AEThresh, th, 4);
        c.stAECfg.enAESwitch = 7;
        c.stWBCfg.stBayerCfg = {4095, 0, 384, 64, 384, 64, {100, 200, 300, 400}};
        c.stWBCfg.stRGBCfg = {940, 64, 512, 128, 512, 128, {500, 600, 700, 800}};
        ISP_FOCUS_STATISTICS_CFG_S &af = c.stFocusCfg;
        af.bEnable = 1;
        af.stConfig = {17, 15, 1920, 1080, 1, 0};
        af.stHParam_IIR0 = {{1, 0, 1}, {255, -511, 511, 0, 3, -3, 7}, {15, 0, 1, 2}, 2047};
        af.stHParam_IIR1 = {{0, 1, 0}, {1, 2, -2, 3, -3, 4, -4}, {1, 2, 3, 4}, 100};
        af.stVParam_FIR0 = {{-31, 31, 0, 1, -1}, 2000};
        af.stVParam_FIR1 = {{1, 2, 3, 4, 5}, 10};
        af.stFVParam = {15, {1, 2}, {3, 4}};
        return c;
    }
};

TEST_F(IspApiTest, RefusedCallsSayWhyAndWriteNothing)
{
    const ISP_FRAME_FORMAT_S good = pub(1920, 1080, 30);
    auto attr = [&](std::function<void(ISP_FRAME_FORMAT_S &)> change) {
        ISP_FRAME_FORMAT_S a = good;
        change(a);
        return DU_DUZ_ISP_SetPubAttr(0, &a);
    };
    auto stat = [&](std::function<void(ISP_STATISTICS_CFG_S &)> change) {
        ISP_STATISTICS_CFG_S c = valid_stat_cfg();
        change(c);
        return DU_DUZ_ISP_SetStatisticsConfig(0, &c);
    };
    struct Case {
        const char *name;
        std::function<s32()> call;
        s32 code;
        const char *message; // "" when the call says nothing
    };
    const ISP_WDR_SEL_S wdr11 = {11};
    const Case cases[] = {
        {"device 1", [&] { return DU_DUZ_ISP_SetPubAttr(1, &good); }, DU_ERR_ISP_ILLEGAL_PARAM, "Err isp dev 1!"},
        {"no record", [] { return DU_DUZ_ISP_SetPubAttr(0, nullptr); }, DU_ERR_ISP_NULL_PTR, "Null Pointer!"},
        {"width 2593", [&] { return attr([](auto &a) { a.u32Width = 2593; }); }, DU_ERR_ISP_ILLEGAL_PARAM,
         "Invalid Image Width:2593!"},
        {"width 479", [&] { return attr([](auto &a) { a.u32Width = 479; }); }, DU_ERR_ISP_ILLEGAL_PARAM,
         "Invalid Image Width:479!"},
        {"height 239", [&] { return attr([](auto &a) { a.u32Height = 239; }); }, DU_ERR_ISP_ILLEGAL_PARAM,
         "Invalid Image Height:239!"},
        {"X = width - 479", [&] { return attr([](auto &a) { a.s32OffsetX = 1441; }); }, DU_ERR_ISP_ILLEGAL_PARAM,
         "Invalid Image X:1441!"},
        {"Y below 0", [&] { return attr([](auto &a) { a.s32OffsetY = -1; }); }, DU_ERR_ISP_ILLEGAL_PARAM,
         "Invalid Image Y:-1!"},
        {"frame rate 0", [&] { return attr([](auto &a) { a.f32FrameRate = 0; }); }, DU_ERR_ISP_ILLEGAL_PARAM,
         "Invalid FrameRate:0.000000!"},
        {"frame rate 65536", [&] { return attr([](auto &a) { a.f32FrameRate = 65536; }); }, DU_ERR_ISP_ILLEGAL_PARAM,
         "Invalid FrameRate:65536.000000!"},
        {"Bayer 4", [&] { return attr([](auto &a) { a.enBayerPattern = 4; }); }, DU_ERR_ISP_ILLEGAL_PARAM,
         "Invalid Bayer Pattern:4!"},
        {"firmware state 2", [] { return DU_DUZ_ISP_SetFMWState(0, 2); }, DU_ERR_ISP_ILLEGAL_PARAM,
         "Invalid firmware state 2!"},
        {"WDR mode 11", [&] { return DU_DUZ_ISP_SetWDRMode(0, &wdr11); }, DU_ERR_ISP_ILLEGAL_PARAM,
         "Invalid WDR mode 11!"},
        {"module control without record", [] { return DU_DUZ_ISP_SetModuleControl(0, nullptr); },
         DU_ERR_ISP_NULL_PTR, "Null Pointer!"},
        {"debug bool 2",
         [] {
             ISP_DEBUG_INFO_S d = {2, 0x80000000, 4};
             return DU_DUZ_ISP_SetDebug(0, &d);
         },
         DU_ERR_ISP_ILLEGAL_PARAM, "Invalid Isp Bool Type 2!"},
        {"debug without address",
         [] {
             ISP_DEBUG_INFO_S d = {1, 0, 4};
             return DU_DUZ_ISP_SetDebug(0, &d);
         },
         -1, "Vudi isp lib's debug phyaddr is 0!"},
        {"debug without depth",
         [] {
             ISP_DEBUG_INFO_S d = {1, 0x80000000, 0};
             return DU_DUZ_ISP_SetDebug(0, &d);
         },
         -1, "Vudi ae lib's debug depth is 0!"},
        {"bind to another sensor",
         [] {
             ISP_LIB_BIND_S b = {1, kAeLib, kAfLib, kAwbLib};
             return DU_DUZ_ISP_SetBindAttr(0, &b);
         },
         -1, "Register sensor is 34220, present sensor is 1."},
        {"DCF before the buffer exists",
         [] {
             ISP_DCF_INFO_S d = {};
             return DU_DUZ_ISP_SetDCFInfo(&d);
         },
         DU_ERR_ISP_NULL_PTR, "Null Pointer!"},
        {"AE thresholds falling", [&] { return stat([](auto &c) { c.stAECfg.au8AEThresh[1] = 9; }); },
         DU_ERR_ISP_ILLEGAL_PARAM, "AE Thresh[1] 9 should not less than Thresh[0] 10!"},
        {"AE switch 8", [&] { return stat([](auto &c) { c.stAECfg.enAESwitch = 8; }); }, DU_ERR_ISP_ILLEGAL_PARAM,
         "Invalid AE Switch 8 in DU_DUZ_ISP_SetStatisticsConfig!"},
        {"Bayer white level", [&] { return stat([](auto &c) { c.stWBCfg.stBayerCfg.u16WhiteLevel = 0x1000; }); },
         DU_ERR_ISP_ILLEGAL_PARAM, "Max value of Bayer Config u16WhiteLevel is 0xFFF! 4096"},
        {"RGB Cr range", [&] { return stat([](auto &c) { c.stWBCfg.stRGBCfg.u16CrMin = 513; }); },
         DU_ERR_ISP_ILLEGAL_PARAM, "RGB Config CrMin 513 should not larger than CrMax! 512"},
        {"AF windows 0", [&] { return stat([](auto &c) { c.stFocusCfg.stConfig.u16Hwnd = 0; }); },
         DU_ERR_ISP_ILLEGAL_PARAM, "Invalid AF stConfig.u16Hwnd input! 0"},
        {"AF windows 18", [&] { return stat([](auto &c) { c.stFocusCfg.stConfig.u16Hwnd = 18; }); },
         DU_ERR_ISP_ILLEGAL_PARAM, "Invalid AF stConfig.u16Hwnd input! 18"},
        {"AF IIR0 gain", [&] { return stat([](auto &c) { c.stFocusCfg.stHParam_IIR0.as16IIRGain[3] = 512; }); },
         DU_ERR_ISP_ILLEGAL_PARAM, "Invalid AF stHParam_IIR0.as16IIRGain[3] input! 512"},
        {"AF IIR1 gain", [&] { return stat([](auto &c) { c.stFocusCfg.stHParam_IIR1.as16IIRGain[0] = 256; }); },
         DU_ERR_ISP_ILLEGAL_PARAM, ""},
        {"AF FIR0 coefficient", [&] { return stat([](auto &c) { c.stFocusCfg.stVParam_FIR0.as16FIRH[2] = 32; }); },
         DU_ERR_ISP_ILLEGAL_PARAM, "Invalid AF stVParam_FIR0.as16FIRH[2] input! 32"},
        {"AF accumulator shift", [&] { return stat([](auto &c) { c.stFocusCfg.stFVParam.au16AccShiftV[1] = 16; }); },
         DU_ERR_ISP_ILLEGAL_PARAM, "Invalid AF stFVParam.au16AccShiftV[1] input! 16"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string before = registers();
        s32 ret = 0;
        std::string err, out = capture_stdout([&] { err = capture_stderr([&] { ret = c.call(); }); });
        EXPECT_EQ(ret, c.code);
        if (*c.message)
            EXPECT_NE((out + err).find(c.message), std::string::npos) << out << err;
        else
            EXPECT_EQ(out + err, "");
        EXPECT_TRUE(registers() == before) << "a refused call wrote registers";
    }
}

TEST_F(IspApiTest, PublicAttributesAreWrittenAndReadBack)
{
    ISP_FRAME_FORMAT_S a = pub(1920, 1080, 30);
    a.s32OffsetX = 8;
    a.s32OffsetY = 4;
    ASSERT_EQ(DU_DUZ_ISP_SetPubAttr(0, &a), 0);
    ISP_FRAME_FORMAT_S b = {};
    ASSERT_EQ(DU_DUZ_ISP_GetPubAttr(0, &b), 0);
    EXPECT_EQ(memcmp(&a, &b, sizeof a), 0);
    // Where each field goes.
    EXPECT_EQ(sim::phys_read32(0x205A0010) & 0xFFFF, 1920u);
    EXPECT_EQ(sim::phys_read32(0x205A0014) & 0xFFFF, 1080u);
    EXPECT_EQ(*sim::phys(0x205A0018), BAYER_GRBG);
    EXPECT_EQ(IO_READ32(0x11400), 0x41F00000u); // 30.0f
    EXPECT_EQ(sim::phys_read32(0x205A010C) & 0xFFFF, 8u);
    EXPECT_EQ(sim::phys_read32(0x205A0110) & 0xFFFF, 1920u);
    EXPECT_EQ(sim::phys_read32(0x205A0120) & 0xFFFF, 4u);
    EXPECT_EQ(sim::phys_read32(0x205A0124) & 0xFFFF, 1080u);
    EXPECT_EQ(sim::phys_read32(0x205A0104), 0x02000500u); // 0x0A000500, then byte 0x107 loses bit 3
    EXPECT_EQ(*sim::phys(0x205A0100), 15);
    EXPECT_EQ(*sim::phys(0x205A0101) & 0x0E, 0x0E);
    EXPECT_EQ(*sim::phys(0x205A0130) & 7, 1);
    EXPECT_EQ(IO_READ8(0x10002), 1u);
    EXPECT_EQ(IO_READ8(0x10007), 0u);
}

TEST_F(IspApiTest, WdrModeAndSwitches)
{
    ISP_WDR_SEL_S sel = {WDR_MODE_NONE};
    ASSERT_EQ(DU_DUZ_ISP_SetWDRMode(0, &sel), 0); // already in force
    EXPECT_EQ(IO_READ8(0x10001), 1u);
    EXPECT_EQ(IO_READ8(0x10006), 1u);
    sel.enWDRMode = WDR_MODE_2To1_LINE;
    IO_WRITE16(0x12114, 0xFC0F); // other bits stay
    ASSERT_EQ(DU_DUZ_ISP_SetWDRMode(0, &sel), 0);
    EXPECT_EQ(IO_READ8(0x10006), 0u);
    EXPECT_EQ(IO_READ16(0x12114), 0xFC2Fu);
    ISP_WDR_SEL_S got;
    ASSERT_EQ(DU_DUZ_ISP_GetWDRMode(0, &got), 0);
    EXPECT_EQ(got.enWDRMode, 2u);
    IO_WRITE16(0x12114, 0x3F0); // 63 reads as 11
    ASSERT_EQ(DU_DUZ_ISP_GetWDRMode(0, &got), 0);
    EXPECT_EQ(got.enWDRMode, 11u);

    u32 flag = 0xFFFFFFFF;
    ASSERT_EQ(DU_DUZ_ISP_SetModuleControl(0, &flag), 0);
    ASSERT_EQ(DU_DUZ_ISP_GetModuleControl(0, &flag), 0);
    EXPECT_EQ(flag, 0x04C5FB7Eu);
    u32 state = 9;
    ASSERT_EQ(DU_DUZ_ISP_SetFMWState(0, 1), 0);
    ASSERT_EQ(DU_DUZ_ISP_GetFMWState(0, &state), 0);
    EXPECT_EQ(state, 1u);
    ASSERT_EQ(DU_DUZ_ISP_SetRegister(0, 0x10020, 0x55AA), 0);
    u32 v = 0;
    ASSERT_EQ(DU_DUZ_ISP_GetRegister(0, 0x10020, &v), 0);
    EXPECT_EQ(v, 0x55AAu);
    EXPECT_EQ(DU_DUZ_ISP_SetRegister(1, 0x10020, 1), DU_ERR_ISP_ILLEGAL_PARAM);
}

TEST_F(IspApiTest, BindingSelectsRegisteredLibrariesByNameAndId)
{
    const ALG_LIB_HANDLE_S other = {1, "vudi_ae_lib"};
    ASSERT_EQ(DU_DUZ_ISP_AELibRegCallBack(0, &other, &kAeCallbacks), 0);
    EXPECT_EQ(ctx().stAeLibInfo.u32ActiveLib, 1u); // the new library's slot
    ISP_LIB_BIND_S b = {34220, kAeLib, {0, "no_such_af"}, kAwbLib};
    std::string err = capture_stderr([&] { EXPECT_EQ(DU_DUZ_ISP_SetBindAttr(0, &b), -1); });
    // The AE and AWB choices were made before the AF library was missed.
    EXPECT_EQ(ctx().stAeLibInfo.u32ActiveLib, 0u);
    b.stAfLib = kAfLib;
    b.stAeLib = other;
    ASSERT_EQ(DU_DUZ_ISP_SetBindAttr(0, &b), 0);
    EXPECT_EQ(ctx().stAeLibInfo.u32ActiveLib, 1u);
    ISP_LIB_BIND_S got;
    ASSERT_EQ(DU_DUZ_ISP_GetBindAttr(0, &got), 0);
    EXPECT_EQ(memcmp(&got, &b, sizeof b), 0);
    DU_DUZ_ISP_AELibUnRegCallBack(0, &other);
}

TEST_F(IspApiTest, StatisticsConfigurationRoundTrips)
{
    ISP_STATISTICS_CFG_S set = valid_stat_cfg(), got = {};
    ASSERT_EQ(DU_DUZ_ISP_SetStatisticsConfig(0, &set), 0);
    ASSERT_EQ(DU_DUZ_ISP_GetStatisticsConfig(0, &got), 0);
    EXPECT_EQ(memcmp(&set, &got, sizeof set), 0);
    EXPECT_EQ(IO_READ32(0x1239C), 0xFFFFFFFDu);
    EXPECT_EQ(IO_READ32_VI(0x20582010), 17u | 15u << 8);
    EXPECT_EQ(IO_READ32_VI(0x205820E0), 1919u | 1079u << 16);
}

TEST_F(IspApiTest, StatisticsAreDecodedFromTheRegisters)
{
    using testsupport::H;
    sim::phys_write32(H + 0x3C00 + 4 * 7, 0x2005);  // exponent 2: (5 + 4096) << 1
    sim::phys_write32(H + 0x3C00 + 4 * 8, 0x0123);  // exponent 0: the mantissa
    sim::phys_write32(H + 0x720, 100);
    sim::phys_write32(H + 0x724, 200);
    sim::phys_write32(H + 0x728, 300);
    sim::phys_write32(H + 0x72C, 400);
    sim::phys_write32(H + 0x8000, 40000 | 40000u << 16); // bins 0 and 1 of zone 0 overflow 65535
    sim::phys_write32(H + 0x2D0, 2);                      // black offsets 32, 0, 0
    sim::phys_write32(H + 0x740, 1000);
    sim::phys_write32(H + 0x74C, 5); // count
    sim::phys_write32(H + 0xA800, 10 | 2000u << 16); // zone 0: R below its offset
    sim::phys_write32(H + 0xA804, 3000 | 9u << 16);
    sim::phys_write32(0x20582010, 2u << 8 | 40); // 2 rows, 40 columns (more than the record holds)
    sim::phys_write32(0x20582100, 0x00070008);   // v1 7, h1 8

    ISP_STATISTICS_S *st = new ISP_STATISTICS_S();
    ASSERT_EQ(DU_DUZ_ISP_GetStatistics(0, st), 0);
    EXPECT_EQ(st->stAEStat.au32Hist256Value[7], (5u + 4096) << 1);
    EXPECT_EQ(st->stAEStat.au32Hist256Value[8], 0x123u);
    const u16 g5[5] = {100, 200, 65535 - 1000, 300, 400};
    EXPECT_EQ(memcmp(st->stAEStat.au16Hist5Value, g5, sizeof g5), 0);
    EXPECT_EQ(st->stAEStat.au16ZoneHist5Value[0][0][2], 0); // capped sum
    EXPECT_EQ(st->stWBStat.u16GlobalR, 1000 - 32);
    EXPECT_EQ(st->stWBStat.u16GlobalCount, 5);
    EXPECT_EQ(st->stWBStat.au16ZoneAvgR[0], 0); // below the offset: an empty zone
    EXPECT_EQ(st->stWBStat.au16ZoneCount[0], 0);
    EXPECT_EQ(st->stWBStat.au16ZoneMin[0], 65535);
    EXPECT_EQ(st->stFocusStat.stZoneMetrics[0][0].u16v1, 7);
    EXPECT_EQ(st->stFocusStat.stZoneMetrics[0][0].u16h1, 8);

    // Without focus windows the focus part is left as it was.
    sim::phys_write32(0x20582010, 0);
    st->stFocusStat.stZoneMetrics[3][3].u16y = 0xBEEF;
    ASSERT_EQ(DU_DUZ_ISP_GetStatistics(0, st), 0);
    EXPECT_EQ(st->stFocusStat.stZoneMetrics[3][3].u16y, 0xBEEF);
    delete st;
}

TEST_F(IspApiTest, FrameWaitAndModuleParameter)
{
    // No sensor streaming yet: the wait times out.
    u32 info = 0;
    EXPECT_EQ(DU_DUZ_ISP_GetVDTimeOut(0, &info, 50), -1);
    u32 param = 5;
    ASSERT_EQ(DU_DUZ_ISP_SetModParam(&param), 0);
    param = 0;
    ASSERT_EQ(DU_DUZ_ISP_GetModParam(&param), 0);
    EXPECT_EQ(param, 5u);
    EXPECT_EQ(DU_DUZ_ISP_SetModParam(nullptr), DU_ERR_ISP_NULL_PTR);
}

TEST_F(IspTest, AStreamingSensorEndsTheFrameWait)
{
    ASSERT_EQ(bring_up(), 0);
    u32 info = 0;
    EXPECT_EQ(DU_DUZ_ISP_GetVDTimeOut(0, &info, 500), 0);
    EXPECT_GT(info, 0u);
}

TEST_F(IspTest, DcfInformationReachesTheModulesEveryFrame)
{
    ASSERT_EQ(bring_up(), 0);
    ISP_DCF_INFO_S dcf = {};
    dcf.u16ISOSpeedRatings = 400;
    memcpy(dcf.au8Make, "Ze35zu", 6);
    ASSERT_EQ(DU_DUZ_ISP_SetDCFInfo(&dcf), 0);
    EXPECT_EQ(memcmp(ctx().stDcfInfo.pVirtAddr, &dcf, ISP_DCF_SHARED_SIZE), 0);
    ISP_DCF_INFO_S got = {};
    ASSERT_EQ(DU_DUZ_ISP_GetDCFInfo(&got), 0);
    EXPECT_EQ(got.u16ISOSpeedRatings, 400);
    start_run();
    ASSERT_TRUE(g_rec.wait_ae_runs(2));
    auto calls = g_rec.snapshot();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "awb.ctrl 8005"), calls.end());
}

TEST_F(IspTest, AKernelWithoutDcfBufferStillInitialises)
{
    TearDown();
    conf_ = "isp.dcf = 0\n";
    SetUp();
    ASSERT_EQ(bring_up(), 0);
    ISP_DCF_INFO_S dcf = {};
    capture_stderr([&] { EXPECT_EQ(DU_DUZ_ISP_SetDCFInfo(&dcf), DU_ERR_ISP_NULL_PTR); });
}

TEST_F(IspTest, TheDebugRingRecordsFramesAndFollowsNewSettings)
{
    ASSERT_EQ(bring_up(), 0);
    const u32 depth = 4, a = sim::phys_alloc(4096), b = sim::phys_alloc(4096);
    ISP_DEBUG_INFO_S dbg = {1, a, depth};
    ASSERT_EQ(DU_DUZ_ISP_SetDebug(0, &dbg), 0);
    capture_stderr([&] { EXPECT_EQ(DU_DUZ_ISP_SetDebug(0, &dbg), -1); }); // already on
    ISP_DEBUG_INFO_S got;
    ASSERT_EQ(DU_DUZ_ISP_GetDebug(0, &got), 0);
    EXPECT_EQ(memcmp(&got, &dbg, sizeof dbg), 0);
    start_run();
    ASSERT_TRUE(g_rec.wait_ae_runs(6));
    for (u32 e = 0; e < depth; e++) {
        u32 begin = sim::phys_read32(a + 4 + 12 * e), end = sim::phys_read32(a + 4 + 12 * e + 8);
        EXPECT_GT(begin, 0u) << e;
        EXPECT_EQ(begin % depth, e);
        EXPECT_TRUE(end == begin || end + depth == begin) << e; // the entry being written may lag
    }
    // Moved to other memory: the old mapping is dropped, the new one filled.
    dbg.bDebugEn = 0;
    ASSERT_EQ(DU_DUZ_ISP_SetDebug(0, &dbg), 0);
    dbg = {1, b, 2};
    ASSERT_EQ(DU_DUZ_ISP_SetDebug(0, &dbg), 0);
    unsigned runs = g_rec.ae_runs;
    ASSERT_TRUE(g_rec.wait_ae_runs(runs + 3));
    EXPECT_GT(sim::phys_read32(b + 4), 0u);
    EXPECT_GT(sim::phys_read32(b + 16), 0u);
    EXPECT_EQ(sim::phys_read32(b + 28), 0u); // depth 2: no third entry
}

// A module of the test's own that writes its proc text without the ending zero.
s32 proc_writer(ISP_DEV, u32 cmd, void *value)
{
    if (cmd == ISP_PROC_WRITE) {
        auto *proc = static_cast<ISP_CTRL_PROC_WRITE_S *>(value);
        const char text[] = "ZONE";
        memcpy(proc->pcProcBuff, text, 4);
        proc->u32WriteLen = 4;
    }
    return 0;
}

TEST_F(IspTest, ProcTextIsCollectedFromTheModules)
{
    TearDown();
    conf_ = "isp.proc = 2\n";
    SetUp();
    ASSERT_EQ(bring_up(), 0);
    ISP_ALG_FUNC_S ops = {nullptr, nullptr, proc_writer, nullptr};
    ASSERT_EQ(isp_alg_register("test", ISP_ALG_ACM, ops), 0);
    std::string out = capture_stdout([&] {
        start_run();
        ASSERT_TRUE(g_rec.wait_ae_runs(5));
        stop_run();
    });
    EXPECT_NE(out.find("Warning!! alg 16's proc doesn't finished with endl!"), std::string::npos);
    // The image-quality modules' texts in slot order, each closed by a line
    // feed where its zero was, then the test's module cut short.
    const std::string text = testsupport::read_file(root_ + "/proc/umap/isp");
    size_t at = 0;
    for (const char *head : {"-----DRC INFO", "-----DEMOSAIC INFO", "-----NR INFO", "-----SHARPEN INFO"}) {
        SCOPED_TRACE(head);
        size_t found = text.find(head, at);
        ASSERT_NE(found, std::string::npos);
        EXPECT_TRUE(found == 0 || text.compare(found - 2, 2, "\n\n") == 0);
        at = found;
    }
    ASSERT_GE(text.size(), 5u);
    EXPECT_EQ(text.substr(text.size() - 5), "\nZON\n");
    auto calls = g_rec.snapshot();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "ae.ctrl 8001"), calls.end());
}

TEST_F(IspTest, InnerStateAndRegisterMappings)
{
    ASSERT_EQ(bring_up(), 0);
    *sim::phys(0x205A0384) = 200;
    *sim::phys(0x205A0224) = 12;
    sim::phys_write32(0x20599038, 77);
    IO_WRITE16(0x125C4, 258);
    ISP_INNER_STATE_S s;
    ASSERT_EQ(DU_DUZ_ISP_QueryInnerStateInfo(0, &s), 0);
    EXPECT_EQ(s.u32DRCStrengthActual, 200u);
    EXPECT_EQ(s.u32NRStrengthActual, 12u);
    EXPECT_EQ(s.u32DefogStrengthActual, 77u);
    EXPECT_EQ(s.au32BlackLevel[1], 258u);
    *sim::phys(0x205A043C) = 31;
    *sim::phys(0x205A0440) = 32;
    *sim::phys(0x205A04D4) = 33;
    sim::phys_write32(0x205A0158, 0xF2340000); // the ratio: 12 bits at 0x205A015A
    IO_WRITE8(0x10006, 0xFF);
    IO_WRITE8(0x10007, 0xFE);
    ASSERT_EQ(DU_DUZ_ISP_QueryInnerStateInfo(0, &s), 0);
    EXPECT_EQ(s.u32SharpenStrengthDActual, 31u);
    EXPECT_EQ(s.u32SharpenStrengthUdActual, 32u);
    EXPECT_EQ(s.u32SharpenStrengthRGBActual, 33u);
    EXPECT_EQ(s.u32WDRExpRatioActual, 0x234u);
    EXPECT_EQ(s.bWDRSwitchFinish, 1u);
    EXPECT_EQ(s.bResSwitchFinish, 0u);

    void *ext = VReg_GetVirtAddr(ISP_VREG_EXT_BASE);
    ASSERT_EQ(VReg_Init(AE_LIB_VREG_BASE(0), 4096), 0);
    ASSERT_EQ(VReg_Init(AWB_LIB_VREG_BASE(0), 4096), 0);
    ISP_REG_ATTR_S attr;
    ASSERT_EQ(DU_DUZ_ISP_GetISPRegAttr(0, &attr), 0);
    EXPECT_EQ(attr.pIspExtRegAddr, ext); // still the mapping the others use
    EXPECT_EQ(attr.u32IspRegSize, 16384u);
    EXPECT_EQ(attr.u32IspExtRegSize, 12288u);
    ASSERT_NE(attr.pAeExtRegAddr, nullptr);
    IO_WRITE32(0x20010, 0x1234);
    EXPECT_EQ(*static_cast<u32 *>(static_cast<void *>(static_cast<u8 *>(attr.pAeExtRegAddr) + 0x10)), 0x1234u);
    VReg_Exit(AE_LIB_VREG_BASE(0), 4096);
    VReg_Exit(AWB_LIB_VREG_BASE(0), 4096);
}

} // namespace
