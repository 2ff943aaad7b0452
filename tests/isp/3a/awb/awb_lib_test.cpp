// The white-balance library as the ISP drives it: entry checks, init, the
// per-frame result (first frame, run rate, bypass, manual and normalised
// gains, statistics limits), control commands, mixed light, proc text,
// debug capture and DCF.
#include "tests/isp/3a/awb/awb_fixture.h"

#include <functional>

#include "isp/isp_acm.h"
#include "mpi/video/sys/mpi_sys.h"
#include "tests/support/isp_reg_base.h"

using awbtest::kLib;
using awbtest::page;
using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

using testsupport::H;

} // namespace

TEST_F(AwbTest, EntriesRefuseBadArgumentsInOrder)
{
    ASSERT_EQ(init(), 0);
    const ALG_LIB_HANDLE_S id2 = {2, "vudi_awb_lib"}, ae = {0, "vudi_ae_lib"}, neg = {-1, "vudi_awb_lib"};
    AWB_FRAME_RESULT_S out;
    awbtest::GreyStats g(2, 1, 1);
    AWB_FRAME_INPUT_S no_ratio = g.in;
    no_ratio.pstAwbStat2 = nullptr;
    u32 v = 0;
    struct Case {
        const char *name;
        std::function<s32()> call;
        s32 code;
        const char *err; // on standard error, "" for none
    } cases[] = {
        {"register dev 1 before the record", [] { return DU_DUZ_AWB_Register(1, nullptr); }, (s32)0xA01C8003,
         "Err AWB dev 1 in DU_DUZ_AWB_Register!\n"},
        {"register null", [] { return DU_DUZ_AWB_Register(0, nullptr); }, (s32)0xA01C8006,
         "Null Pointer in DU_DUZ_AWB_Register!\n"},
        {"register handle 2", [&] { return DU_DUZ_AWB_Register(0, &id2); }, -1, "Illegal handle id 2 in DU_DUZ_AWB_Register!\n"},
        {"register negative handle", [&] { return DU_DUZ_AWB_Register(0, &neg); }, -1, "Illegal handle id -1"},
        {"register the exposure library's name", [&] { return DU_DUZ_AWB_Register(0, &ae); }, -1,
         "Illegal lib name vudi_ae_lib in DU_DUZ_AWB_Register!\n"},
        {"unregister dev 1", [] { return DU_DUZ_AWB_UnRegister(1, &kLib); }, (s32)0xA01C8003, "Err AWB dev 1"},
        {"sensor without callbacks", [] { return DU_DUZ_AWB_SensorRegCallBack(0, &kLib, 34220, nullptr); },
         (s32)0xA01C8006, "Null Pointer in DU_DUZ_AWB_SensorRegCallBack!\n"},
        {"sensor unregister by name", [&] { return DU_DUZ_AWB_SensorUnRegCallBack(0, &ae, 34220); }, -1, "Illegal lib name"},
        {"ctrl null record", [&] { return DU_DUZ_AWB_Ctrl(nullptr, 8003, &v); }, (s32)0xA01C8006, "Null Pointer"},
        {"ctrl null value", [&] { return DU_DUZ_AWB_Ctrl(&kLib, 8003, nullptr); }, (s32)0xA01C8006, "Null Pointer"},
        {"init handle 2", [&] { return cb_.pfn_awb_init(2, nullptr); }, -1, "Illegal handle id 2 in AwbInit!\n"},
        {"init null", [&] { return cb_.pfn_awb_init(0, nullptr); }, (s32)0xA01C8006, "Null Pointer in AwbInit!\n"},
        {"run null result", [&] { return cb_.pfn_awb_run(0, &g.in, nullptr, 0); }, (s32)0xA01C8006, "Null Pointer"},
        {"run without zone ratios", [&] { return cb_.pfn_awb_run(0, &no_ratio, &out, 0); }, (s32)0xA01C8006,
         "Null Pointer"},
        {"run of an instance never initialised", [&] { return cb_.pfn_awb_run(1, &g.in, &out, 0); }, -1, ""},
        {"ctrl of an instance never initialised", [&] { return cb_.pfn_awb_ctrl(1, 8003, &v); }, -1, ""},
        {"exit of an instance never initialised", [&] { return cb_.pfn_awb_exit(1); }, 0, ""},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = c.call(); });
        EXPECT_EQ(ret, c.code);
        if (*c.err)
            EXPECT_NE(err.find(c.err), std::string::npos) << err;
        else
            EXPECT_EQ(err, "");
    }
}

TEST_F(AwbTest, InitNeedsTheSensorItWasToldOf)
{
    AWB_INIT_PARAM_S other = {9999, 0};
    s32 ret = 0;
    std::string out = capture_stdout([&] { ret = cb_.pfn_awb_init(0, &other); });
    EXPECT_EQ(ret, -1);
    EXPECT_EQ(out, "Awblib's sensor 34220 and isp's sensor 9999 doesn't match!\n");

    ASSERT_EQ(DU_DUZ_AWB_SensorUnRegCallBack(0, &kLib, 1), 0);
    out = capture_stdout([&] { ret = init(); });
    EXPECT_EQ(ret, -1);
    EXPECT_EQ(out, "Sensor doesn't register to vudi awb(0)!\n");
    EXPECT_EQ(g_astAwbCtx[0].bInit, 0u);
}

TEST_F(AwbTest, TheFirstFrameHandsOverTheStaticGainsAndARealMatrix)
{
    ASSERT_EQ(init(), 0);
    AWB_FRAME_RESULT_S r = run(1, 1, 2800);
    const u32 gains[4] = {496 << 8, 256 << 8, 256 << 8, 416 << 8};
    const u16 block1[10] = {940, 16, 512, 512, 128, 128, 512, 128, 512, 128};
    const u16 bayer[10] = {4095, 0, 304, 288, 64, 64, 304, 64, 288, 64};
    EXPECT_EQ(0, memcmp(r.au32WhiteBalanceGain, gains, sizeof gains));
    EXPECT_EQ(0, memcmp(r.au16StatThresh, block1, sizeof block1));
    EXPECT_EQ(0, memcmp(r.au16BayerLimit, bayer, sizeof bayer));
    EXPECT_EQ(r.bStatCfgUpdate, 1u);
    EXPECT_EQ(r.bBayerStatUpdate, 1u);
    // The MN34220's 4900 K matrix (396, -142, 2, -89, 443, -98, 22, -313,
    // 547), sign-magnitude, not zeros.
    const u16 high[9] = {0x018C, 0x808E, 0x0002, 0x8059, 0x01BB, 0x8062, 0x0016, 0x8139, 0x0223};
    EXPECT_EQ(0, memcmp(r.as16ColorMatrix, high, sizeof high));
}

TEST_F(AwbTest, AfterFrame64OnlyEvenFramesRunTheAlgorithms)
{
    ASSERT_EQ(init(), 0);
    AWB_FRAME_RESULT_S even = run(2, 66, 5000);
    // A very different light on an odd frame: the result is repeated.
    AWB_FRAME_RESULT_S odd = run(67, 67, 2800);
    EXPECT_EQ(0, memcmp(even.au32WhiteBalanceGain, odd.au32WhiteBalanceGain, sizeof odd.au32WhiteBalanceGain));
    AWB_FRAME_RESULT_S next = run(68, 68, 2800);
    EXPECT_NE(0, memcmp(even.au32WhiteBalanceGain, next.au32WhiteBalanceGain, sizeof next.au32WhiteBalanceGain));
}

TEST_F(AwbTest, GainsByMode)
{
    struct Case {
        const char *name;
        u8 wdr;
        u8 bypass, manual;
        u32 black; // ISP black-level offset register
        u32 expect_min;
    } cases[] = {
        {"bypass", 0, 1, 0, 0, 0x10000},
        {"manual 1x linear", 0, 0, 1, 0, 0x10000},
        {"manual 1x WDR", 3, 0, 1, 0, 0x10000},
        {"auto, black 0: smallest gain 1x", 0, 0, 0, 0, 0x10000},
        {"auto, black 2048: smallest gain capped at 2x", 0, 0, 0, 2048, 0x20000},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(init(c.wdr), 0);
        IO_WRITE32(H + 0x2D4, c.black);
        IO_WRITE8(page(AWB_R_BYPASS), c.bypass);
        IO_WRITE8(page(AWB_R_OP_TYPE), c.manual);
        AWB_FRAME_RESULT_S r = run(2, 30, 4000);
        if (c.bypass || c.manual) {
            for (u32 g : r.au32WhiteBalanceGain)
                EXPECT_EQ(g, c.expect_min);
        } else {
            u32 mn = *std::min_element(r.au32WhiteBalanceGain, r.au32WhiteBalanceGain + 4);
            EXPECT_NEAR((double)mn, c.expect_min, c.expect_min * 0.01);
        }
        if (c.bypass) {
            EXPECT_EQ(r.bStatCfgUpdate, 0u);
            EXPECT_EQ(r.bBayerStatUpdate, 0u);
        }
        ASSERT_EQ(cb_.pfn_awb_exit(0), 0);
    }
}

TEST_F(AwbTest, StatisticsLimitsFollowTheIso)
{
    ASSERT_EQ(init(), 0);
    IO_WRITE16(H + 0x768, 4000);
    IO_WRITE16(H + 0x764, 100);
    IO_WRITE32(H + 0x2D4, 40);
    struct Case {
        u32 iso;
        u16 crMax, cbMax, crMin, cbMin;
    } cases[] = {
        {50, 304, 288, 64, 64},          // below the grid: the first entries
        {100, 304, 288, 64, 64},
        {3276800, 363, 326, 57, 52},     // the last entries, half-way for daylight (f = 128)
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.iso);
        u32 iso = c.iso;
        ASSERT_EQ(cb_.pfn_awb_ctrl(0, ISP_AWB_ISO_SET, &iso), 0);
        AWB_FRAME_RESULT_S r = run(2, 40, 6000);
        EXPECT_EQ(r.bBayerStatUpdate, 1u);
        EXPECT_EQ(r.au16BayerLimit[0], 4000);
        EXPECT_EQ(r.au16BayerLimit[1], 60);
        const u16 expect[8] = {c.crMax, c.cbMax, c.crMin, c.cbMin, c.crMax, c.crMin, c.cbMax, c.cbMin};
        for (u32 i = 0; i < 8; i++)
            EXPECT_EQ(r.au16BayerLimit[2 + i], expect[i]) << i;
    }
}

TEST_F(AwbTest, ControlCommands)
{
    ASSERT_EQ(init(), 0);
    u32 iso = 800, us = 12345, ratio = 64;
    EXPECT_EQ(cb_.pfn_awb_ctrl(0, ISP_AWB_ISO_SET, &iso), 0);
    EXPECT_EQ(cb_.pfn_awb_ctrl(0, ISP_AWB_INTTIME_SET, &us), 0);
    EXPECT_EQ(cb_.pfn_awb_ctrl(0, ISP_AWB_PIRIS_SET, &ratio), 0);
    EXPECT_EQ(IO_READ32(page(AWB_R_EXP_LEVEL)), 800u);
    EXPECT_EQ(IO_READ32(page(AWB_R_EXP_WORD)), 12345u);
    EXPECT_EQ(IO_READ32(page(AWB_R_EXP_RATIO)), 64u);
    u8 sat = 77, back = 0;
    EXPECT_EQ(cb_.pfn_awb_ctrl(0, AWB_SATURATION_SET, &sat), 0);
    EXPECT_EQ(cb_.pfn_awb_ctrl(0, AWB_SATURATION_GET, &back), 0);
    EXPECT_EQ(back, 77);
    EXPECT_EQ(cb_.pfn_awb_ctrl(0, 4242, nullptr), 0);

    // A WDR mode change: the gain registers from the latest result at once
    // (linear: the 16.16 gain rounded to 8.8, at most 4095; WDR: its rounded
    // square root, the 8.8 of the gain's square root; any other mode: 0),
    // the switch itself at the next run.
    run(2, 10, 4000);
    const u32 gains[4] = {0x1F080, 0x10000, 0x2C0FF, 0x1000000};
    memcpy(g_astAwbCtx[0].stResult.au32WhiteBalanceGain, gains, sizeof gains);
    struct Mode {
        u8 mode;
        u16 regs[4];
    } modes[] = {
        {0, {497, 256, 705, 4095}},
        {3, {357, 256, 425, 4095}}, // 356.5^2 < 127104: up; 0xFFE000 at most
        {11, {0, 0, 0, 0}},
    };
    for (const auto &m : modes) {
        SCOPED_TRACE(m.mode);
        u8 mode = m.mode;
        ASSERT_EQ(cb_.pfn_awb_ctrl(0, ISP_WDR_MODE_SET, &mode), 0);
        for (u32 i = 0; i < 4; i++)
            EXPECT_EQ(IO_READ16(H + 0x2C0 + 4 * i), m.regs[i]) << i;
    }
    u8 mode = 3;
    ASSERT_EQ(cb_.pfn_awb_ctrl(0, ISP_WDR_MODE_SET, &mode), 0);
    AWB_FRAME_RESULT_S sw = run(11, 11, 4000);
    EXPECT_EQ(sw.au16BayerLimit[0], 4095);
    EXPECT_EQ(sw.au16BayerLimit[1], 0);
    EXPECT_EQ(sw.bStatCfgUpdate, 1u);
    EXPECT_EQ(sw.bBayerStatUpdate, 1u);
    EXPECT_EQ(g_astAwbCtx[0].u8PreWDRMode, 3);

    // DU_DUZ_AWB_Ctrl does not look at the initialised flag.
    ASSERT_EQ(cb_.pfn_awb_exit(0), 0);
    EXPECT_EQ(cb_.pfn_awb_ctrl(0, ISP_AWB_ISO_SET, &iso), -1);
}

TEST_F(AwbTest, TwoLightsInOnePictureRaiseTheMixedLightDegree)
{
    ASSERT_EQ(init(), 0);
    double rgw, bgw, rgc, bgc;
    awbtest::light_at(2800, &rgw, &bgw);
    awbtest::light_at(6500, &rgc, &bgc);
    u32 iso = 400, us = 20000;
    cb_.pfn_awb_ctrl(0, ISP_AWB_ISO_SET, &iso);
    cb_.pfn_awb_ctrl(0, ISP_AWB_INTTIME_SET, &us);
    AWB_FRAME_RESULT_S out;
    for (u32 f = 2; f <= 120; f++) {
        awbtest::GreyStats warm(f, rgw, bgw), cool(f, rgc, bgc);
        // Left half under warm light, right half under daylight.
        for (u32 k = 0; k < AWB_ZONE_NUM; k++) {
            if (k % AE_ZONE_COLUMN < AE_ZONE_COLUMN / 2)
                continue;
            warm.stat.stAwbStat4.au16MeteringMemArrayAvgR[k] = cool.stat.stAwbStat4.au16MeteringMemArrayAvgR[k];
            warm.stat.stAwbStat4.au16MeteringMemArrayAvgB[k] = cool.stat.stAwbStat4.au16MeteringMemArrayAvgB[k];
        }
        ASSERT_EQ(cb_.pfn_awb_run(0, &warm.in, &out, 0), 0);
    }
    const AWB_WB_STATE_S &w = g_astAwbCtx[0].stWb;
    EXPECT_GT(IO_READ8(page(AWB_R_MULTI_LS_DEGREE)), 0u);
    u16 ct[2] = {(u16)IO_READ16(page(AWB_R_LS_VALUE)), (u16)IO_READ16(page(AWB_R_LS_VALUE + 2))};
    EXPECT_NEAR(std::min(ct[0], ct[1]), 2800, 300);
    EXPECT_NEAR(std::max(ct[0], ct[1]), 6500, 700);
    EXPECT_GT(w.u16ColorTemp, 2800);
    EXPECT_LT(w.u16ColorTemp, 6500);
}

TEST_F(AwbTest, ProcTextFitsItsBuffer)
{
    ASSERT_EQ(init(), 0);
    run(2, 4, 5000);
    char buf[2048];
    ISP_CTRL_PROC_WRITE_S proc = {buf, sizeof buf, 0};
    ASSERT_EQ(cb_.pfn_awb_ctrl(0, ISP_PROC_WRITE, &proc), 0);
    std::string text(buf);
    EXPECT_EQ(proc.u32WriteLen, text.size() + 1);
    EXPECT_EQ(text.rfind("\n[AWB] Version: [Vi3516V_ISP_V1.0.6.0 B050 Release], Build Time[Mar 28 2016, 19:36:04]\n", 0),
              0u);
    EXPECT_NE(text.find("   Gain0   Gain1   Gain2   Gain3  CoTemp\n"), std::string::npos);
    EXPECT_NE(text.find("  ManuEn     Sat   Zones   Speed\n       0"), std::string::npos);

    for (u32 size : {1u, 7u, 64u}) {
        SCOPED_TRACE(size);
        char small[64];
        ISP_CTRL_PROC_WRITE_S p = {small, size, 0};
        ASSERT_EQ(cb_.pfn_awb_ctrl(0, ISP_PROC_WRITE, &p), 0);
        EXPECT_LE(p.u32WriteLen, size);
        EXPECT_EQ(strncmp(small, text.c_str(), size - 1), 0);
    }
    ISP_CTRL_PROC_WRITE_S none = {nullptr, 100, 0};
    EXPECT_EQ(cb_.pfn_awb_ctrl(0, ISP_PROC_WRITE, &none), -1);
}

TEST_F(AwbTest, DebugCaptureWritesOneSlotPerFrame)
{
    ASSERT_EQ(init(), 0);
    AWB_DBG_ATTR_S bad[] = {{1, 0, 4}, {1, 0x1000, 0}};
    const char *msgs[] = {"Vudi awb lib(0)'s debug phyaddr is 0!\n", "Vudi awb lib(0)'s debug depth is 0!\n"};
    for (int i = 0; i < 2; i++) {
        s32 ret = 0;
        EXPECT_EQ(capture_stdout([&] { ret = cb_.pfn_awb_ctrl(0, AWB_DEBUG_ATTR_SET, &bad[i]); }), msgs[i]);
        EXPECT_EQ(ret, -1);
        EXPECT_EQ(IO_READ16(page(AWB_R_DBG_EN)), 0u);
    }

    const u32 depth = 4, size = depth * 7200 + 84;
    u32 phys = 0;
    void *virt = nullptr;
    ASSERT_EQ(DU_DUZ_SYS_MmzAlloc(&phys, &virt, "awbdbg", nullptr, size), 0);
    memset(virt, 0xEE, size);
    AWB_DBG_ATTR_S on = {1, phys, depth}, got = {};
    ASSERT_EQ(cb_.pfn_awb_ctrl(0, AWB_DEBUG_ATTR_SET, &on), 0);
    ASSERT_EQ(cb_.pfn_awb_ctrl(0, AWB_DEBUG_ATTR_GET, &got), 0);
    EXPECT_EQ(got.u32PhyAddr, phys);
    EXPECT_EQ(got.u32Depth, depth);
    EXPECT_EQ(IO_READ32(page(AWB_R_DBG_SIZE)), size);

    AWB_FRAME_RESULT_S r = run(2, 9, 5000);
    const u8 *b = static_cast<const u8 *>(virt);
    u16 hdr27;
    memcpy(&hdr27, b + 2 * 27, 2);
    EXPECT_EQ(hdr27, 496); // static R gain in the header
    const u8 *slot1 = b + 84 + 7200; // frame 9 mod 4
    u32 first, last;
    u16 ct, gainR, m0;
    memcpy(&first, slot1, 4);
    memcpy(&last, slot1 + 7196, 4);
    memcpy(&ct, slot1 + 24, 2);
    memcpy(&gainR, slot1 + 26, 2);
    memcpy(&m0, slot1 + 32, 2);
    EXPECT_EQ(first, 9u);
    EXPECT_EQ(last, 9u);
    EXPECT_EQ(ct, g_astAwbCtx[0].stWb.u16ColorTemp);
    EXPECT_EQ(gainR, r.au32WhiteBalanceGain[0] >> 8);
    EXPECT_EQ(m0, (u16)r.as16ColorMatrix[0]);

    // Off: the mapping goes at the next run even with address and depth 0.
    AWB_DBG_ATTR_S off = {0, 0, 0};
    ASSERT_EQ(cb_.pfn_awb_ctrl(0, AWB_DEBUG_ATTR_SET, &off), 0);
    run(10, 10, 5000);
    EXPECT_EQ(g_astAwbCtx[0].stDbg.pMapped, nullptr);
    EXPECT_EQ(DU_DUZ_SYS_MmzFree(phys, virt), 0);
}

TEST_F(AwbTest, DcfRecordCarriesTheOpType)
{
    ASSERT_EQ(init(), 0);
    ISP_DCF_INFO_S dcf = {};
    for (u8 op : {1, 0}) {
        IO_WRITE8(page(AWB_R_OP_TYPE), op);
        ASSERT_EQ(cb_.pfn_awb_ctrl(0, ISP_DCFINFO_SET, &dcf), 0);
        EXPECT_EQ(dcf.u8WhiteBalance, op);
    }
    EXPECT_EQ(cb_.pfn_awb_ctrl(0, ISP_DCFINFO_SET, nullptr), -1);
}

// A light beyond the colour-temperature limits is balanced as a light at
// the limit: on the curve there (automatic limits) or at the user's limit
// point (manual); inside the limits nothing moves.
TEST_F(AwbTest, ALightBeyondTheColourTemperatureLimitsIsBalancedAtTheLimit)
{
    struct Case {
        const char *name;
        int kelvin;
        u16 low, high; // the limits
        bool manual;
        int as_kelvin; // balanced as a light of this temperature within the limits
        double tolerance;
    } cases[] = {
        {"inside the limits", 4000, 3000, 6000, false, 4000, 0.001},
        {"inside manual limits", 4000, 3000, 6000, true, 4000, 0.001},
        {"above the high limit", 6500, 2500, 5000, false, 5000, 0.01},
        // The curve's point at the limit, a little off the 4000 K lamp's.
        {"below the low limit", 2800, 4000, 10000, false, 4000, 0.08},
        {"above the manual high limit", 6500, 2500, 5000, true, 5000, 0.01},
        {"below the manual low limit", 2800, 4000, 10000, true, 4000, 0.01},
    };
    const u16 kFarGR = 400, kFarGB = 150;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // The reference: the light within the default limits, settled, and
        // its white point (the manual limits' point).
        ASSERT_EQ(init(), 0);
        const AWB_FRAME_RESULT_S ref = run(2, 300, c.as_kelvin);
        const u16 gr = g_astAwbCtx[0].stWb.u16OutGR, gb = g_astAwbCtx[0].stWb.u16OutGB;
        ASSERT_EQ(cb_.pfn_awb_exit(0), 0);

        ASSERT_EQ(init(), 0);
        IO_WRITE16(page(AWB_R_CT_LOW), c.low);
        IO_WRITE16(page(AWB_R_CT_HIGH), c.high);
        IO_WRITE8(page(AWB_R_CT_LIMIT_OP), c.manual);
        // The limit passed holds the reference's point, the other one a point
        // far from every light here.
        const bool above = c.kelvin > c.as_kelvin;
        IO_WRITE16(page(AWB_R_HIGH_RG_LIMIT), above ? gr : kFarGR);
        IO_WRITE16(page(AWB_R_HIGH_BG_LIMIT), above ? gb : kFarGB);
        IO_WRITE16(page(AWB_R_LOW_RG_LIMIT), above ? kFarGR : gr);
        IO_WRITE16(page(AWB_R_LOW_BG_LIMIT), above ? kFarGB : gb);
        const AWB_FRAME_RESULT_S r = run(2, 300, c.kelvin);
        const u32 *g = r.au32WhiteBalanceGain, *want = ref.au32WhiteBalanceGain;
        EXPECT_NEAR((double)g[0] / g[1], (double)want[0] / want[1], c.tolerance * want[0] / want[1]);
        EXPECT_NEAR((double)g[3] / g[1], (double)want[3] / want[1], c.tolerance * want[3] / want[1]);
        ASSERT_EQ(cb_.pfn_awb_exit(0), 0);
    }
}
