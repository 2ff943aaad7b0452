// The 3A bridges and the library registration: what a library's result
// becomes in the register configuration and the exposure summary, and how
// libraries take and leave their slots.
#include "tests/isp/isp_fixture.h"

using namespace isptest;
using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

class Isp3aTest : public IspTest {
protected:
    void SetUp() override
    {
        IspTest::SetUp();
        ASSERT_EQ(bring_up(), 0);
        stat_ = new ISP_STAT_S();
        memset(&cfg_, 0, sizeof cfg_);
        // As a frame does first: the defect-pixel module, calibrating
        // nothing, lets the sensor's side of the frame go on.
        ASSERT_EQ(run(ISP_ALG_DP), 0);
        ASSERT_EQ(ctx().bSyncSkip, 0u);
    }
    void TearDown() override
    {
        delete stat_;
        IspTest::TearDown();
    }

    // Runs the module of `id` once on the test's own buffers.
    s32 run(ISP_ALG_ID_E id)
    {
        for (auto &alg : ctx().astAlgs)
            if (alg.bUsed && alg.enAlgType == id)
                return alg.stAlgFunc.pfn_alg_run(0, stat_, &cfg_, 0);
        ADD_FAILURE() << "module " << id << " not registered";
        return -99;
    }
    s32 ctrl(ISP_ALG_ID_E id, u32 cmd, void *value)
    {
        for (auto &alg : ctx().astAlgs)
            if (alg.bUsed && alg.enAlgType == id)
                return alg.stAlgFunc.pfn_alg_ctrl(0, cmd, value);
        return -99;
    }

    ISP_STAT_S *stat_ = nullptr;
    ISP_REG_CFG_S cfg_;
};

TEST_F(Isp3aTest, WithoutAnExposureLibraryTheExposureIsZero)
{
    ASSERT_EQ(DU_DUZ_ISP_AELibUnRegCallBack(0, &kAeLib), 0);
    memset(&cfg_.stExpCfg, 0xFF, sizeof cfg_.stExpCfg);
    EXPECT_EQ(run(ISP_ALG_AE), -1);
    ISP_EXP_REG_CFG_S zero = {};
    EXPECT_EQ(memcmp(&cfg_.stExpCfg, &zero, sizeof zero), 0);
    EXPECT_EQ(cfg_.u32Key, (u32)ISP_REGCFG_AE_EXP);
    EXPECT_EQ(ctx().u32SensorIso, 100u);
    EXPECT_EQ(ctrl(ISP_ALG_AE, ISP_AE_FPS_BASE_SET, nullptr), -1); // nobody to answer
}

TEST_F(Isp3aTest, TheExposureResultBecomesRegisterWordsAndTheSummary)
{
    struct Case {
        const char *name;
        u32 t0, t1, dgain, iso, piris, piris_gain, weights_changed;
        u64 exposure;
        u32 sensor_iso, ratio, piris_summary;
    };
    const Case cases[] = {
        {"plain", 1000, 1000, 256, 400, 0, 9, 0, 400000, 400, 64, 0},
        {"ISP gain 2x", 1000, 2000, 512, 400, 0, 0, 1, 400000, 200, 128, 0},
        {"low ISO is 100", 1000, 1000, 1024, 200, 0, 0, 0, 200000, 100, 64, 0},
        {"zero gain counts as 1", 0, 500, 0, 400, 0, 0, 0, 0, 102400, 32000, 0},
        {"iris gain, 64-bit exposure", 40000, 40000, 256, 200000, 1, 2048, 0, 40000ull * 200000 * 2048, 200000, 64,
         2048},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        memset(&cfg_, 0, sizeof cfg_);
        memset(cfg_.au8WeightTable, 9, sizeof cfg_.au8WeightTable);
        AE_FRAME_RESULT_S &r = g_ae_result;
        memset(&r, 0, sizeof r);
        r.au32IntTime[0] = c.t0;
        r.au32IntTime[1] = c.t1;
        r.u32IspDgain = c.dgain;
        r.u32Iso = c.iso;
        r.bPirisValid = c.piris;
        r.u32PirisGain = c.piris_gain;
        r.u8AERunInterval = 3;
        r.enFSWDRMode = 2;
        r.bChange = c.weights_changed;
        memset(r.au8WeightTable, 5, sizeof r.au8WeightTable);
        r.au8MeteringHistThresh[0] = 13;
        EXPECT_EQ(run(ISP_ALG_AE), 0);

        const ISP_EXP_REG_CFG_S &e = cfg_.stExpCfg;
        EXPECT_EQ(((u64)e.u32ExposureHigh << 32) | e.u32ExposureLow, c.exposure);
        EXPECT_EQ(e.au32IntTime[1], c.t1);
        EXPECT_EQ(e.u32IspDgain, c.dgain);
        EXPECT_EQ(e.enFSWDRMode, 2u);
        EXPECT_EQ(ctx().u32IspDgain, c.dgain);
        EXPECT_EQ(ctx().u32IspDgainShift, 8u);
        EXPECT_EQ(ctx().u32Iso, c.iso);
        EXPECT_EQ(ctx().u32SensorIso, c.sensor_iso);
        EXPECT_EQ(ctx().u32ExpRatio, c.ratio);
        EXPECT_EQ(ctx().u32IntTime, c.t0);
        EXPECT_EQ(ctx().u32PirisGain, c.piris_summary);
        EXPECT_EQ(ctx().u8SyncInterval, 3);
        EXPECT_EQ(ctx().u32FSWDRMode, 2u);
        // Weights move only when the library says they changed.
        EXPECT_EQ(cfg_.au8WeightTable[7][8], c.weights_changed ? 5 : 9);
        EXPECT_EQ(cfg_.au8MeteringHistThresh[0], c.weights_changed ? 13 : 0);
        EXPECT_EQ((cfg_.u32Key & ISP_REGCFG_AE_WEIGHT) != 0, c.weights_changed != 0);
    }
    g_ae_ret = 0x55;
    std::string out = capture_stdout([&] { EXPECT_EQ(run(ISP_ALG_AE), 0x55); });
    EXPECT_EQ(out, "WARNING!! run ae lib err 0x55!\n");
}

TEST_F(Isp3aTest, WhiteBalanceGetsTheExposureWordsBeforeItsRun)
{
    ctx().u32Iso = 800;
    ctx().u32IntTime = 1234;
    ctx().u32PirisGain = 0;
    g_rec.clear();
    EXPECT_EQ(run(ISP_ALG_AWB), 0);
    std::vector<std::string> expected = {"awb.ctrl 8003", "awb.ctrl 8006", "awb.ctrl 8007", "awb.run"};
    EXPECT_EQ(g_rec.snapshot(), expected);
    std::vector<u32> values = {800, 1234, 0};
    EXPECT_EQ(g_rec.awb_ctrl_values, values);
}

TEST_F(Isp3aTest, WithoutAWhiteBalanceLibraryTheGainsStay)
{
    ASSERT_EQ(DU_DUZ_ISP_AWBLibUnRegCallBack(0, &kAwbLib), 0);
    cfg_.au32WhiteBalanceGain[0] = 300;
    EXPECT_EQ(run(ISP_ALG_AWB), -1);
    EXPECT_EQ(cfg_.au32WhiteBalanceGain[0], 300u);
    EXPECT_EQ(cfg_.u32Key, 0u);
}

TEST_F(Isp3aTest, WhiteBalanceResultPerWdrMode)
{
    struct Case {
        const char *name;
        u8 wdr;
        u32 gain;        // R gain, 16.16
        u32 gain_reg;    // what the register configuration takes
        u16 thresh0;     // first statistics threshold (10-bit register)
        u16 thresh0_reg;
        u16 thresh2, thresh2_reg;
        u16 limit0, limit0_reg;
        u16 limit1, limit1_reg; // + the black offset 0x100
    };
    const Case cases[] = {
        {"linear 1x", 0, 0x10000, 256, 2000, 1023, 5000, 4095, 5000, 4095, 100, 356},
        {"linear 2x", 0, 0x20000, 512, 500, 500, 300, 300, 300, 300, 4095, 4095},
        {"WDR 1x", 2, 0x10000, 256, 100, 320, 100, 160, 100, 640, 100, 356},
        {"WDR 2x", 2, 0x20000, 362, 2000, 1023, 100, 160, 1000, 2024, 100, 356},
        {"WDR gain beyond 24 bits", 4, 0xFFFFFF, 4095, 1, 32, 1, 16, 1, 64, 0, 256},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        IO_WRITE16(0x205A02D0, 0x100);
        AWB_FRAME_RESULT_S r = {};
        r.au32WhiteBalanceGain[0] = c.gain;
        r.as16ColorMatrix[1] = -5;
        r.bStatCfgUpdate = 1;
        r.au16StatThresh[0] = c.thresh0;
        r.au16StatThresh[2] = c.thresh2;
        r.bBayerStatUpdate = 1;
        r.au32BayerSwitch[0] = 1;
        r.au16BayerLimit[0] = c.limit0;
        r.au16BayerLimit[1] = c.limit1;
        ISP_REG_CFG_S cfg = {};
        AwbCfgReg(&r, c.wdr, &cfg);
        EXPECT_EQ(cfg.au32WhiteBalanceGain[0], c.gain_reg);
        EXPECT_EQ(cfg.au16AwbStatThresh[0], c.thresh0_reg);
        EXPECT_EQ(cfg.au16AwbStatThresh[2], c.thresh2_reg);
        EXPECT_EQ(cfg.au16BayerLimit[0], c.limit0_reg);
        EXPECT_EQ(cfg.au16BayerLimit[1], c.limit1_reg);
        EXPECT_EQ(cfg.u32BayerSwitchA, 1u);
        EXPECT_EQ((s16)cfg.au16ColorMatrix[1], -5);
        EXPECT_EQ(cfg.u32Key, (u32)(ISP_REGCFG_AWB_GAIN | ISP_REGCFG_AWB_STAT | ISP_REGCFG_AWB_BAYER));
    }
    // Beyond the WDR modes the gains are not written.
    AWB_FRAME_RESULT_S r = {};
    r.au32WhiteBalanceGain[0] = 0x20000;
    ISP_REG_CFG_S cfg = {};
    cfg.au32WhiteBalanceGain[0] = 77;
    AwbCfgReg(&r, 11, &cfg);
    EXPECT_EQ(cfg.au32WhiteBalanceGain[0], 77u);
    EXPECT_EQ(cfg.u32Key, (u32)ISP_REGCFG_AWB_GAIN);
}

TEST_F(IspTest, LibrariesTakeAndLeaveTheirTwoSlots)
{
    const ALG_LIB_HANDLE_S ae = kAeLib;
    ASSERT_EQ(DU_DUZ_ISP_AELibRegCallBack(0, &ae, &kAeCallbacks), 0);
    ASSERT_EQ(DU_DUZ_ISP_AELibRegCallBack(0, &ae, &kAeCallbacks), 0); // the same library again: both slots
    EXPECT_EQ(ctx().stAeLibInfo.astLibs[1].bUsed, 1u);
    EXPECT_EQ(ctx().stAeLibInfo.u32ActiveLib, 0u);
    std::string err = capture_stderr([&] { EXPECT_EQ(DU_DUZ_ISP_AELibRegCallBack(0, &ae, &kAeCallbacks), -1); });
    EXPECT_NE(err.find("can't register aelib to isp, there is too many libs."), std::string::npos);
    ASSERT_EQ(DU_DUZ_ISP_AELibUnRegCallBack(0, &ae), 0);
    EXPECT_EQ(ctx().stAeLibInfo.astLibs[0].bUsed, 0u);
    EXPECT_EQ(ctx().stAeLibInfo.astLibs[1].bUsed, 1u);
    EXPECT_EQ(ctx().stAeLibInfo.u32ActiveLib, 0u);
    ASSERT_EQ(DU_DUZ_ISP_AELibUnRegCallBack(0, &ae), 0);
    err = capture_stderr([&] { EXPECT_EQ(DU_DUZ_ISP_AELibUnRegCallBack(0, &ae), -1); });
    EXPECT_NE(err.find("can't find ae lib in isp."), std::string::npos);

    struct Case {
        const char *name;
        std::function<s32()> call;
        s32 code;
    };
    const AWB_LIB_CALLBACKS_S no_run = {awb_init, nullptr, awb_ctrl, awb_exit};
    const AF_LIB_CALLBACKS_S init_and_run = {af_init, af_run, nullptr, nullptr};
    const Case cases[] = {
        {"device 1", [&] { return DU_DUZ_ISP_AELibRegCallBack(1, &ae, &kAeCallbacks); }, DU_ERR_ISP_ILLEGAL_PARAM},
        {"no handle", [&] { return DU_DUZ_ISP_AELibRegCallBack(0, nullptr, &kAeCallbacks); }, DU_ERR_ISP_NULL_PTR},
        {"no callbacks", [&] { return DU_DUZ_ISP_AWBLibRegCallBack(0, &kAwbLib, nullptr); }, DU_ERR_ISP_NULL_PTR},
        {"no run", [&] { return DU_DUZ_ISP_AWBLibRegCallBack(0, &kAwbLib, &no_run); }, DU_ERR_ISP_NULL_PTR},
        {"ctrl and exit may be missing", [&] { return DU_DUZ_ISP_AFLibRegCallBack(0, &kAfLib, &init_and_run); }, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        capture_stderr([&] { EXPECT_EQ(c.call(), c.code); });
    }
}

TEST_F(IspTest, SensorOperationsTheCoreReliesOn)
{
    struct Case {
        const char *name;
        std::function<void(ISP_SENSOR_OPS_S &)> change;
        s32 code;
        const char *message;
    };
    const Case cases[] = {
        {"no black-level operation", [](ISP_SENSOR_OPS_S &o) { o.pfn_cmos_get_isp_black_level = nullptr; }, 0, ""},
        {"no default operation", [](ISP_SENSOR_OPS_S &o) { o.pfn_cmos_get_isp_default = nullptr; },
         DU_ERR_ISP_NOT_INIT, "Get isp default value error!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        ASSERT_EQ(register_all(), 0);
        ISP_SENSOR_OPS_S ops;
        cmos_init_sensor_exp_function(&ops);
        c.change(ops);
        ASSERT_EQ(DU_DUZ_ISP_SensorRegCallBack(0, 34220, &ops), 0);
        s32 ret = -1;
        std::string out = capture_stdout([&] {
            capture_stderr([&] {
                ASSERT_EQ(DU_DUZ_ISP_MemInit(0), 0);
                ISP_WDR_SEL_S sel = {0};
                DU_DUZ_ISP_SetWDRMode(0, &sel);
                ISP_FRAME_FORMAT_S attr = pub(1920, 1080, 30);
                DU_DUZ_ISP_SetPubAttr(0, &attr);
                ret = DU_DUZ_ISP_Init(0);
            });
        });
        EXPECT_EQ(ret, c.code);
        EXPECT_NE(out.find(c.message), std::string::npos);
    }

    std::string unreg = capture_stderr([] { EXPECT_NE(DU_DUZ_ISP_SensorUnRegCallBack(0, 1), 0); });
    EXPECT_NE(unreg.find("UnReg ERR! Registered sensor is 34220, present sensor is 1."), std::string::npos);
}

TEST_F(IspTest, AFullModuleTableRefusesAnotherModule)
{
    ASSERT_EQ(bring_up(), 0);
    ISP_ALG_FUNC_S none = {};
    while (isp_alg_register("filler", ISP_ALG_ACM, none) == 0) {
    }
    std::string err = capture_stderr([] { EXPECT_EQ(ISP_AlgRegisterAe(0), DU_ERR_ISP_NULL_PTR); });
    EXPECT_NE(err.find("[Func]:ISP_AlgRegisterAe"), std::string::npos);
    EXPECT_NE(err.find("Null Pointer!"), std::string::npos);
}

} // namespace
