// Lens shading, fixed-pattern noise, stabilisation, defog, dehaze and colour
// management on the simulated board: each record's checks (in their order,
// nothing written when refused) and read-back, the modules' work per frame,
// the dehaze debug dump's file, and the proc text of the modules.
#include "tests/isp/isp_fixture.h"

#include <dirent.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <unistd.h>

#include "board/sim/sim.h"
#include "isp/isp_acm.h"
#include "isp/modules/isp_dehaze.h"
#include "isp/isp_hw_regs.h"
#include "isp/isp_requests.h"

using namespace isptest;
using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

constexpr s32 kIllegal = (s32)0xA01C8003, kNotConfigured = (s32)0xA01C8042;

// What a call answered and printed.
struct Said {
    s32 ret = 0;
    std::string out, err;
};
template <class Fn> Said said(Fn fn)
{
    Said s;
    s.out = capture_stdout([&] { s.err = capture_stderr([&] { s.ret = fn(); }); });
    return s;
}

class CorrectionTest : public IspTest {
protected:
    void SetUp() override
    {
        IspTest::SetUp();
        s32 ret = -1;
        capture_stdout([&] { ret = bring_up(1920, 1080, 30); });
        ASSERT_EQ(ret, 0);
        u32 on = 1;
        ASSERT_EQ(isp_ioctl(ISP_SET_INT_ENABLE, &on), 0);
    }

    // Rounds of the run loop on the test's thread, each after the board's
    // next frame.
    void frames(u32 n)
    {
        for (u32 i = 0; i < n; i++) {
            u32 status = 0;
            for (int tries = 0; tries < 10 && !(status & 1); tries++)
                ASSERT_EQ(isp_ioctl(ISP_GET_FRAME_EDGE, &status), 0);
            ASSERT_EQ(status & 1, 1u) << "no frame from the board";
            capture_stdout([] { ASSERT_EQ(ISP_Run(0), 0); });
        }
    }
    // Until the frame count is a multiple of `m` (after at least one frame).
    void frames_until_multiple(u32 m)
    {
        do
            frames(1);
        while (ctx().u32FrameCnt % m != 0);
    }

    static ISP_ALG_NODE_S &slot(ISP_ALG_ID_E id)
    {
        for (auto &alg : ctx().astAlgs)
            if (alg.bUsed && alg.enAlgType == id)
                return alg;
        ADD_FAILURE() << "module " << id << " not registered";
        return ctx().astAlgs[ISP_MAX_ALGS_NUM - 1];
    }

    // A module's proc text, as the core hands it the record.
    static std::string proc_of(ISP_ALG_ID_E id)
    {
        std::vector<char> buf(4096, 0);
        ISP_CTRL_PROC_WRITE_S proc = {buf.data(), (u32)buf.size() - 1, 0};
        slot(id).stAlgFunc.pfn_alg_ctrl(0, ISP_PROC_WRITE, &proc);
        return std::string(buf.data(), proc.u32WriteLen ? proc.u32WriteLen - 1 : 0);
    }

    // Dehaze on over the whole grid, and its module's next even frame on a
    // statistics buffer of the test's; what the frame printed.
    void dehaze_on()
    {
        const ISP_DEFOG_ATTR_S on = {1, 16, 15, OP_TYPE_AUTO, 0, 128};
        ASSERT_EQ(DU_DUZ_ISP_SetDeFogAttr(0, &on), 0);
        dehaze_ = &slot(ISP_ALG_DEHAZE);
    }
    std::string dehaze_even_frame()
    {
        ctx().u32FrameCnt += 2 - (ctx().u32FrameCnt & 1);
        return capture_stdout([&] { dehaze_->stAlgFunc.pfn_alg_run(0, stat_.get(), &cfg_, 0); });
    }

    // The ISP register block, the ext page and the video input's dehaze
    // and correction registers as they are now.
    static std::vector<u8> registers()
    {
        std::vector<u8> v = isp_pages();
        for (u32 a = VI_DEHAZE_REG(0); a < VI_DEHAZE_REG(0xC00); a += 4)
            for (u32 b = 0; b < 4; b++)
                v.push_back((u8)(IO_READ32_VI(a) >> (8 * b)));
        for (u32 a : {VI_FPN_CTRL_REG, VI_FPN_CFG_REG(0), VI_FPN_CFG_REG(1)})
            v.push_back((u8)IO_READ32_VI(a));
        return v;
    }

    // Runs `set` on a changed copy of `good` for every case: refused with
    // its message (on standard error after the prefix when traced), no
    // register touched.
    template <class T, class Case> void expect_refusals(const T &good, const Case &cases, s32 (*set)(ISP_DEV, const T *))
    {
        for (const auto &c : cases) {
            SCOPED_TRACE(c.name);
            T rec = good;
            c.change(rec);
            const std::vector<u8> before = registers();
            Said s = said([&] { return set(0, &rec); });
            EXPECT_EQ(s.ret, c.code ? c.code : kIllegal);
            if (c.traced)
                EXPECT_NE(s.err.find(std::string("[Info]:") + c.message), std::string::npos) << s.err;
            else
                EXPECT_EQ(s.out, c.message);
            EXPECT_TRUE(registers() == before) << "a refused record changed registers";
        }
    }

    ISP_ALG_NODE_S *dehaze_ = nullptr;
    std::unique_ptr<ISP_STAT_S> stat_ = std::make_unique<ISP_STAT_S>();
    ISP_REG_CFG_S cfg_ = {};
};

template <class T> struct Refusal {
    const char *name;
    std::function<void(T &)> change;
    const char *message;
    bool traced = false;
    s32 code = 0;
};

// ---- lens shading ----------------------------------------------------------------------------------

ISP_SHADING_ATTR_S shading_record()
{
    ISP_SHADING_ATTR_S a = {};
    a.bEnable = 1;
    a.u32TableNodeNum = SHADING_NODE_NUM;
    for (u32 c = 0; c < 3; c++) {
        ISP_SHADING_TAB_S &t = a.astShadingTab[c];
        t.u32ChnCfg = 1700 + c;
        t.s32X = 960 + (s32)c;
        t.s32Y = 532 - (s32)c;
        for (u32 k = 0; k < SHADING_NODE_NUM; k++)
            t.au32Table[k] = 4096 + 40 * k + c;
    }
    return a;
}

} // namespace

TEST_F(CorrectionTest, ShadingRecordsAreCheckedNodeByNodeAndReadBackWhole)
{
    using S = ISP_SHADING_ATTR_S;
    const S good = shading_record();
    const Refusal<S> cases[] = {
        {"a boolean above 1", [](S &a) { a.bEnable = 2; }, "Invalid Isp Bool Type 2!\n", true},
        {"130 nodes, before any centre is looked at",
         [](S &a) {
             a.u32TableNodeNum = 130;
             a.astShadingTab[0].s32X = -1;
         },
         "Invalid Shading Table Node Number 130!\n"},
        {"a centre past 65535", [](S &a) { a.astShadingTab[2].s32X = 65536; }, "Invalid Shading[2] s32X 65536!\n"},
        {"a centre below 0", [](S &a) { a.astShadingTab[0].s32Y = -1; }, "Invalid Shading[0] s32Y -1!\n"},
        {"65536 at channel 1, node 3", [](S &a) { a.astShadingTab[1].au32Table[3] = 65536; },
         "Invalid Shading[1] Table[3] 65536!\n"},
        {"the nodes in order, each node's channels together",
         [](S &a) {
             a.astShadingTab[2].au32Table[2] = 70000;
             a.astShadingTab[0].au32Table[3] = 70000;
         },
         "Invalid Shading[2] Table[2] 70000!\n"},
    };
    expect_refusals(good, cases, DU_DUZ_ISP_SetShadingAttr);

    ASSERT_EQ(DU_DUZ_ISP_SetShadingAttr(0, &good), 0);
    S got = {};
    ASSERT_EQ(DU_DUZ_ISP_GetShadingAttr(0, &got), 0);
    EXPECT_EQ(memcmp(&got, &good, sizeof got), 0);
    EXPECT_EQ(IO_READ8(ISP_SHADING_CTRL_REG), ISP_SHADING_CTRL_ENABLE); // the port closed again

    // Fewer nodes: those past the count are neither checked nor written, and
    // the Get shows the tables as the hardware holds them.
    S fewer = good;
    fewer.u32TableNodeNum = 3;
    for (u32 c = 0; c < 3; c++)
        for (u32 k = 0; k < SHADING_NODE_NUM; k++)
            fewer.astShadingTab[c].au32Table[k] = k < 3 ? 5000 : 99999;
    ASSERT_EQ(DU_DUZ_ISP_SetShadingAttr(0, &fewer), 0);
    ASSERT_EQ(DU_DUZ_ISP_GetShadingAttr(0, &got), 0);
    EXPECT_EQ(got.u32TableNodeNum, 3u);
    EXPECT_EQ(got.astShadingTab[1].au32Table[2], 5000u);
    EXPECT_EQ(got.astShadingTab[1].au32Table[3], good.astShadingTab[1].au32Table[3]);
    fewer.u32TableNodeNum = 0;
    fewer.astShadingTab[1].au32Table[0] = 1;
    ASSERT_EQ(DU_DUZ_ISP_SetShadingAttr(0, &fewer), 0);
    ASSERT_EQ(DU_DUZ_ISP_GetShadingAttr(0, &got), 0);
    EXPECT_EQ(got.astShadingTab[1].au32Table[0], 5000u);
}

// The sensor's tables, when it has them, are loaded at init and at a WDR
// switch, with their node count held to the table's size.
TEST_F(CorrectionTest, ShadingLoadsTheSensorsTablesAndSaysWhetherItIsOn)
{
    EXPECT_EQ(proc_of(ISP_ALG_SHADING),
              "-----SHADING INFO--------------------------------------------------------------\n      En\n       0\n");
    ISP_CMOS_SHADING_S &s = ISP_SensorGetDefault(0)->stShading;
    s.bValid = 1;
    s.u16TblNodeNum = 200;
    s.u16GCenterX = 900;
    s.u16GOffCenter = 1234;
    for (u32 k = 0; k < SHADING_NODE_NUM; k++)
        s.au16GShadingTbl[k] = (u16)(4096 + k);
    u8 mode = WDR_MODE_NONE;
    slot(ISP_ALG_SHADING).stAlgFunc.pfn_alg_ctrl(0, ISP_WDR_MODE_SET, &mode);
    EXPECT_EQ(s.u16TblNodeNum, SHADING_NODE_NUM);
    ISP_SHADING_ATTR_S got = {};
    ASSERT_EQ(DU_DUZ_ISP_GetShadingAttr(0, &got), 0);
    EXPECT_EQ(got.bEnable, 1u);
    EXPECT_EQ(got.u32TableNodeNum, SHADING_NODE_NUM);
    EXPECT_EQ(got.astShadingTab[1].s32X, 900);
    EXPECT_EQ(got.astShadingTab[1].u32ChnCfg, 1234u);
    EXPECT_EQ(got.astShadingTab[1].au32Table[128], 4096u + 128);
    EXPECT_EQ(proc_of(ISP_ALG_SHADING),
              "-----SHADING INFO--------------------------------------------------------------\n      En\n       1\n");
}

// ---- fixed-pattern noise ---------------------------------------------------------------------------

namespace {

constexpr u32 kRaw10 = 13, kRaw12 = 14, kRaw16 = 16;

ISP_FPN_ATTR_S fpn_record(u32 iso = 100)
{
    ISP_FPN_ATTR_S a = {};
    a.bEnable = 1;
    a.enOpType = OP_TYPE_MANUAL;
    a.enFpnType = ISP_FPN_TYPE_FRAME;
    a.stFpnFrmInfo.u32Iso = iso;
    a.stFpnFrmInfo.u32Offset = 256;
    a.stFpnFrmInfo.enPixelFormat = kRaw12;
    a.u32Strength = 256;
    return a;
}

void set_iso(u32 iso)
{
    std::lock_guard<std::mutex> l(g_ae_lock);
    g_ae_result.u32Iso = iso;
    g_ae_result.u32IspDgain = 256;
}

u32 strength_in_force() { return IO_READ32_VI(VI_FPN_CFG_REG(0)) >> 16; }

} // namespace

TEST_F(CorrectionTest, FpnRecordsAreCheckedCorrectionFirstThenTheFrame)
{
    using F = ISP_FPN_ATTR_S;
    const Refusal<F> cases[] = {
        {"op type 2, before an ISO of 0",
         [](F &a) {
             a.enOpType = 2;
             a.stFpnFrmInfo.u32Iso = 0;
         },
         "Invalid fpn op type!\n", true},
        {"enable 2", [](F &a) { a.bEnable = 2; }, "Invalid fpn enable, must be {true, false}!\n", true},
        {"strength 1024", [](F &a) { a.u32Strength = 1024; }, "Invalid fpn strength, over 1023!\n", true},
        {"ISO 0", [](F &a) { a.stFpnFrmInfo.u32Iso = 0; }, "Invalid fpn ISO(0)!\n", true},
        {"offset 4096", [](F &a) { a.stFpnFrmInfo.u32Offset = 4096; },
         "Invalid fpn offset, can't be larger than 0xFFF!\n", true},
        {"type 2", [](F &a) { a.enFpnType = 2; }, "Invalid fpn Mode, should be in {line, frame} mode!\n", true},
        {"compression 3", [](F &a) { a.stFpnFrmInfo.enCompressMode = 3; },
         "fpn compress can only be {none(0), frame(4)} mode!\n", true},
        {"line with Raw12", [](F &a) { a.enFpnType = ISP_FPN_TYPE_LINE; }, "only support 16bit fpn in line mode!\n",
         true},
        {"line compressed",
         [](F &a) {
             a.enFpnType = ISP_FPN_TYPE_LINE;
             a.stFpnFrmInfo.enPixelFormat = kRaw16;
             a.stFpnFrmInfo.enCompressMode = 4;
         },
         "fpn compress is not supported in line mode!\n", true},
        {"frame with format 15", [](F &a) { a.stFpnFrmInfo.enPixelFormat = 15; },
         "enPixelFormat invalid(15), only support Raw8,Raw10,Raw12,Raw16.\n", true},
        {"frame Raw16 compressed",
         [](F &a) {
             a.stFpnFrmInfo.enPixelFormat = kRaw16;
             a.stFpnFrmInfo.enCompressMode = 4;
         },
         "fpn compress is not supported in 16bit frame mode!\n", true},
    };
    expect_refusals(fpn_record(), cases, DU_DUZ_ISP_SetFPNAttr);

    // A calibration's frame checks too, after its ISO became the ISP's.
    ISP_FPN_CALIBRATE_ATTR_S cal = {};
    cal.enFpnType = ISP_FPN_TYPE_FRAME;
    cal.stFpnFrmInfo.enPixelFormat = kRaw12;
    cal.stFpnFrmInfo.u32Iso = 800;
    Said s = said([&] { return DU_DUZ_ISP_FPNCalibrate(0, &cal); });
    EXPECT_EQ(s.ret, kIllegal);
    EXPECT_NE(s.err.find("Invalid fpn ISO(0)!\n"), std::string::npos) << s.err; // no frame ran: ISO 0
    set_iso(400);
    frames(1);
    cal.enFpnType = ISP_FPN_TYPE_LINE;
    s = said([&] { return DU_DUZ_ISP_FPNCalibrate(0, &cal); });
    EXPECT_NE(s.err.find("only support 16bit fpn in line mode!\n"), std::string::npos) << s.err;
    cal.enFpnType = ISP_FPN_TYPE_FRAME;
    cal.stFpnFrmInfo.enPixelFormat = kRaw10;
    ASSERT_EQ(DU_DUZ_ISP_FPNCalibrate(0, &cal), 0);
    EXPECT_EQ(cal.stFpnFrmInfo.u32Iso, 400u);
}

TEST_F(CorrectionTest, FpnCalibratesThenCorrectsThroughTheVideoInput)
{
    ISP_FPN_ATTR_S got = {};
    EXPECT_EQ(DU_DUZ_ISP_GetFPNAttr(0, &got), kNotConfigured);

    set_iso(100);
    frames(1);
    ISP_FPN_CALIBRATE_ATTR_S cal = {};
    cal.enFpnType = ISP_FPN_TYPE_FRAME;
    cal.stFpnFrmInfo.enPixelFormat = kRaw12;
    ASSERT_EQ(DU_DUZ_ISP_FPNCalibrate(0, &cal), 0);
    const VI_FPN_FRAME_INFO_S &f = cal.stFpnFrmInfo;
    EXPECT_EQ(f.u32Iso, 100u);
    EXPECT_NEAR((double)f.u32Offset, 256, 2); // the sensor's pedestal
    EXPECT_EQ(f.u32Width, sim::kSensorFieldWidth);
    EXPECT_TRUE(sim::phys_in_alloc(f.u32PhyAddr, f.u32Width * 2));

    // A correction whose dark frame is no calibration's is refused by the
    // video input, and nothing counts as configured.
    ISP_FPN_ATTR_S bad = fpn_record();
    EXPECT_EQ(DU_DUZ_ISP_SetFPNAttr(0, &bad), (s32)0xA0108003);
    EXPECT_EQ(DU_DUZ_ISP_GetFPNAttr(0, &got), kNotConfigured);

    // Manual: the record's strength; the offset the calibration measured.
    ISP_FPN_ATTR_S a = fpn_record();
    a.stFpnFrmInfo = f;
    a.u32Strength = 300;
    ASSERT_EQ(DU_DUZ_ISP_SetFPNAttr(0, &a), 0);
    EXPECT_EQ(IO_READ32_VI(VI_FPN_CTRL_REG), VI_FPN_CTRL_ON);
    EXPECT_EQ(IO_READ32_VI(VI_FPN_CFG_REG(1)), 300u << 16 | f.u32Offset);
    ASSERT_EQ(DU_DUZ_ISP_GetFPNAttr(0, &got), 0);
    EXPECT_EQ(got.bEnable, 1u);
    EXPECT_EQ(got.enOpType, (u32)OP_TYPE_MANUAL);
    EXPECT_EQ(got.u32Strength, 300u);
    EXPECT_EQ(got.u32CurStrength, 300u);
    EXPECT_EQ(memcmp(&got.stFpnFrmInfo, &f, sizeof f), 0);
    char line[64];
    snprintf(line, sizeof line, "%8d%4d%9d%8d\n", 1, 1, 300, f.u32Offset);
    EXPECT_EQ(proc_of(ISP_ALG_FPN), std::string("-----FPN INFO------------------------------------------------------------------\n"
                                                 "      En OpType Strength Offset\n") +
                                         line);

    // Auto at ISO 400 over a calibration at 100: 1024, held to 1023.
    set_iso(400);
    frames(1);
    a.enOpType = OP_TYPE_AUTO;
    ASSERT_EQ(DU_DUZ_ISP_SetFPNAttr(0, &a), 0);
    EXPECT_EQ(strength_in_force(), 1023u);

    // Off: the proc text says so.
    a.bEnable = 0;
    ASSERT_EQ(DU_DUZ_ISP_SetFPNAttr(0, &a), 0);
    EXPECT_EQ(proc_of(ISP_ALG_FPN), "-----FPN INFO------------------------------------------------------------------\n"
                                    "      En OpType Strength Offset\n       0  --       --      --\n");
}

// In auto mode the strength follows the ISO on every third frame only, and
// only when the ISO moved; in manual mode it stays.
TEST_F(CorrectionTest, FpnStrengthFollowsTheIsoOnEveryThirdFrame)
{
    set_iso(100);
    frames(1);
    ISP_FPN_CALIBRATE_ATTR_S cal = {};
    cal.stFpnFrmInfo.enPixelFormat = kRaw12;
    ASSERT_EQ(DU_DUZ_ISP_FPNCalibrate(0, &cal), 0);
    ISP_FPN_ATTR_S a = fpn_record();
    a.stFpnFrmInfo = cal.stFpnFrmInfo;
    a.enOpType = OP_TYPE_AUTO;
    ASSERT_EQ(DU_DUZ_ISP_SetFPNAttr(0, &a), 0);
    EXPECT_EQ(strength_in_force(), 256u);
    frames_until_multiple(3); // the refresh the set asked for

    set_iso(200);
    std::vector<u32> seen;
    for (int i = 0; i < 3; i++) {
        frames(1);
        seen.push_back(strength_in_force());
    }
    EXPECT_EQ(seen, (std::vector<u32>{256, 256, 512}));

    // Someone else's strength stays while the ISO does.
    IO_WRITE32_VI(VI_FPN_CFG_REG(0), 77u << 16 | 256);
    frames(4);
    EXPECT_EQ(strength_in_force(), 77u);

    a.enOpType = OP_TYPE_MANUAL;
    a.u32Strength = 300;
    ASSERT_EQ(DU_DUZ_ISP_SetFPNAttr(0, &a), 0);
    set_iso(800);
    frames(4);
    EXPECT_EQ(strength_in_force(), 300u);
}

// ---- stabilisation and defog -------------------------------------------------------------------------

TEST_F(CorrectionTest, StabilisationReadsOffBeforeAnySetAndPassesThrough)
{
    ISP_DIS_ATTR_S dis = {7};
    ASSERT_EQ(DU_DUZ_ISP_GetDISAttr(0, &dis), 0);
    EXPECT_EQ(dis.bEnable, 0u);
    dis.bEnable = 2;
    Said s = said([&] { return DU_DUZ_ISP_SetDISAttr(0, &dis); });
    EXPECT_EQ(s.ret, kIllegal);
    EXPECT_NE(s.err.find("Invalid Isp Bool Type 2!\n"), std::string::npos);
    dis.bEnable = 1;
    ASSERT_EQ(DU_DUZ_ISP_SetDISAttr(0, &dis), 0);
    dis.bEnable = 0;
    ASSERT_EQ(DU_DUZ_ISP_GetDISAttr(0, &dis), 0);
    EXPECT_EQ(dis.bEnable, 1u);
    VI_DIS_ATTR_REC_S rec = {};
    ASSERT_EQ(VI_GetDISAttr(0, &rec), 0);
    EXPECT_EQ(rec.au32Word[0], 1u);
    EXPECT_EQ(rec.au32Word[1], 0u);
    EXPECT_EQ(said([] { return DU_DUZ_ISP_GetDISAttr(1, nullptr); }).ret, kIllegal);
}

TEST_F(CorrectionTest, DefogChecksTheOpTypeBeforeTheBlocks)
{
    using D = ISP_DEFOG_ATTR_S;
    const D good = {1, 16, 15, OP_TYPE_MANUAL, 200, 64};
    const Refusal<D> cases[] = {
        {"enable 2", [](D &a) { a.bEnable = 2; }, "Invalid Isp Bool Type 2!\n", true},
        {"op type 2, before a block count of 0",
         [](D &a) {
             a.enOpType = 2;
             a.u8HorizontalBlock = 0;
         },
         "Invalid Defog OpType!"},
        {"17 across", [](D &a) { a.u8HorizontalBlock = 17; }, "HorizonBlock should between 1 and 16!"},
        {"none across", [](D &a) { a.u8HorizontalBlock = 0; }, "HorizonBlock should between 1 and 16!"},
        {"16 down", [](D &a) { a.u8VerticalBlock = 16; }, "VerticalBlock should between 1 and 15 !"},
        {"none down", [](D &a) { a.u8VerticalBlock = 0; }, "VerticalBlock should between 1 and 15 !"},
    };
    expect_refusals(good, cases, DU_DUZ_ISP_SetDeFogAttr);
    ASSERT_EQ(DU_DUZ_ISP_SetDeFogAttr(0, &good), 0);
    D got = {};
    ASSERT_EQ(DU_DUZ_ISP_GetDeFogAttr(0, &got), 0);
    EXPECT_EQ(memcmp(&got, &good, sizeof got), 0);
    EXPECT_EQ(IO_READ32_VI(VI_DEHAZE_CTRL_REG), 1u);
    EXPECT_EQ(IO_READ8(DEHAZE_EXT_MANUAL_STRENGTH), 200u);
    EXPECT_EQ(IO_READ8(DEHAZE_EXT_AUTO_FACTOR), 64u);
}

// ---- the dehaze module -------------------------------------------------------------------------------

TEST_F(CorrectionTest, DehazeWritesItsGridAndHandsItsStrengthOnEvenFramesOnly)
{
    // At init: the 16 x 15 grid over 1920 x 1080.
    EXPECT_EQ(IO_READ32_VI(VI_DEHAZE_BLOCK_SIZE_REG), 71u | 119u << 16);
    EXPECT_EQ(IO_READ32_VI(VI_DEHAZE_GRID_REG), 14u | 15u << 16);
    EXPECT_EQ(IO_READ32_VI(VI_DEHAZE_SIZE_REG), 1919u | 1079u << 16);
    EXPECT_EQ(IO_READ32_VI(VI_DEHAZE_CURVE_REG(240)), dehaze_curve(0)[240]);

    const ISP_DEFOG_ATTR_S manual = {1, 16, 15, OP_TYPE_MANUAL, 200, 128};
    ASSERT_EQ(DU_DUZ_ISP_SetDeFogAttr(0, &manual), 0);
    sim::with_world([](sim::World &w) { w.scene_haze = 0.5; });
    frames(4);
    ISP_INNER_STATE_S inner = {};
    ASSERT_EQ(DU_DUZ_ISP_QueryInnerStateInfo(0, &inner), 0);
    EXPECT_EQ(inner.u32DefogStrengthActual, 200u);
    EXPECT_NE(IO_READ32_VI(VI_DEHAZE_AIR_REG), 0u);
    EXPECT_NE(IO_READ32_VI(VI_DEHAZE_DARK_REG(0)), 0u);

    // An odd frame changes nothing.
    dehaze_on();
    ISP_DEFOG_ATTR_S grid = {1, 4, 4, OP_TYPE_AUTO, 0, 128};
    ASSERT_EQ(DU_DUZ_ISP_SetDeFogAttr(0, &grid), 0);
    ctx().u32FrameCnt |= 1;
    const std::vector<u8> before = registers();
    dehaze_->stAlgFunc.pfn_alg_run(0, stat_.get(), &cfg_, 0);
    EXPECT_TRUE(registers() == before);
    EXPECT_EQ(cfg_.u32Key, 0u);

    // The next even one takes the new grid.
    dehaze_even_frame();
    EXPECT_EQ(IO_READ32_VI(VI_DEHAZE_BLOCK_SIZE_REG), 269u | 479u << 16);
    EXPECT_EQ(cfg_.u32Key, (u32)ISP_REGCFG_DEHAZE);
    EXPECT_EQ(cfg_.u32DehazeStrength, 1u);
    EXPECT_EQ(cfg_.u8DehazeAirUpdate, 1u);

    // Off: no hand-over, and the air light's history starts again.
    grid.bEnable = 0;
    ASSERT_EQ(DU_DUZ_ISP_SetDeFogAttr(0, &grid), 0);
    cfg_.u32Key = 0;
    dehaze_even_frame();
    EXPECT_EQ(cfg_.u32Key, 0u);
}

namespace {

// The file a dump's first frame names: "cFileName NAME\n".
std::string dump_file(const std::string &out)
{
    const std::string head = "cFileName ";
    EXPECT_EQ(out.rfind(head, 0), 0u) << out;
    if (out.rfind(head, 0) != 0 || out.back() != '\n')
        return "";
    return out.substr(head.size(), out.size() - head.size() - 1);
}

// The number in "dehaze_data_N.txt".
int dump_number(const std::string &name) { return atoi(name.c_str() + strlen("dehaze_data_")); }

// The descriptors of this process open on a file.
int open_on(const std::string &path)
{
    int n = 0;
    const std::string real = std::filesystem::weakly_canonical(path).string();
    for (auto &e : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(e.path(), ec).string() == real)
            n++;
    }
    return n;
}

} // namespace

// The dump goes to a file of its own each time the register turns 1, is
// closed when it turns 0, when the ISP exits, and when it reached its size.
TEST_F(CorrectionTest, TheDehazeDumpIsAFileThroughTheBoardClosedOnEveryPath)
{
    dehaze_on();
    auto even_frame = [&] { return dehaze_even_frame(); };
    IO_WRITE8(DEHAZE_EXT_DEBUG, 1);
    const std::string name = dump_file(even_frame());
    ASSERT_EQ(name.rfind("dehaze_data_", 0), 0u);
    even_frame();
    const std::string first = bd_path("/" + name);
    EXPECT_EQ(open_on(first), 1);
    IO_WRITE8(DEHAZE_EXT_DEBUG, 0);
    EXPECT_EQ(even_frame(), "file close!!!");
    EXPECT_EQ(open_on(first), 0);
    const std::string text = testsupport::read_file(first);
    size_t frames_in = 0;
    for (size_t at = text.find("framenum = "); at != std::string::npos; at = text.find("framenum = ", at + 1))
        frames_in++;
    EXPECT_EQ(frames_in, 2u);
    for (const char *part : {"au8DehazeMinDout: ", "LUT: ", "MinAverUp = ", "tmpr_min_flt: ", "v_blur_flt_dout: ",
                             "pre_dc: ", "tmax0 = ", "AirPre[6][0] = ", "curve_idx = ", "max_stat: ", "flt_a[0] = ",
                             "dc_aver="})
        EXPECT_NE(text.find(part), std::string::npos) << part;

    // The next file, left open: the exit closes it.
    IO_WRITE8(DEHAZE_EXT_DEBUG, 1);
    const std::string next = dump_file(even_frame());
    EXPECT_EQ(dump_number(next), dump_number(name) + 1);
    EXPECT_EQ(open_on(bd_path("/" + next)), 1);
    capture_stdout([] { DU_DUZ_ISP_Exit(0); });
    EXPECT_EQ(open_on(bd_path("/" + next)), 0);
}

TEST_F(CorrectionTest, ADehazeDumpStopsAtItsLimit)
{
    dehaze_on();
    IO_WRITE8(DEHAZE_EXT_DEBUG, 1);
    const std::string name = dump_file(dehaze_even_frame());
    const std::string path = bd_path("/" + name);
    std::string out;
    for (int i = 0; i < 4000 && out.find("file close!!!") == std::string::npos; i++)
        out += dehaze_even_frame();
    EXPECT_EQ(out, "file close!!!");
    const auto size = std::filesystem::file_size(path);
    EXPECT_GE(size, DEHAZE_DUMP_S::kLimit);
    EXPECT_LT(size, DEHAZE_DUMP_S::kLimit + (64u << 10)); // at most one frame past
    // No other file while the register stays 1.
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(dehaze_even_frame(), "");
    EXPECT_FALSE(std::filesystem::exists(bd_path("/dehaze_data_" + std::to_string(dump_number(name) + 1) + ".txt")));
}

// ---- colour management -------------------------------------------------------------------------------

TEST_F(CorrectionTest, ColourManagementChecksItsGainsAndShowsItsStateInTheProcText)
{
    ISP_ACM_CFG_S a = {1, 0, 4, 1, 0, 1, 300, 256, 128, 513};
    Said s = said([&] { return DU_DUZ_ISP_SetAcmAttr(0, &a); });
    EXPECT_EQ(s.ret, kIllegal);
    EXPECT_NE(s.err.find("[Func]:ACM_CheckAttr"), std::string::npos) << s.err;
    EXPECT_NE(s.err.find("Error acm attribute error u32GainSat:513\n"), std::string::npos) << s.err;
    a.u32GainSat = 512;
    ASSERT_EQ(DU_DUZ_ISP_SetAcmAttr(0, &a), 0);
    ISP_ACM_CFG_S got = {};
    ASSERT_EQ(DU_DUZ_ISP_GetAcmAttr(0, &got), 0);
    EXPECT_EQ(memcmp(&got, &a, sizeof a), 0);

    const std::string head = "-----ACM INFO------------------------------------------------------------------\n"
                             "      En DemoEn     Mode Stretch    Clip    Wrap CbcrThrGainLuma GainHueGainSta\n";
    // On: the hardware's registers (the threshold in its 8 bits), the mode
    // as set.
    char line[128];
    snprintf(line, sizeof line, "%8d%7d%9d%8d%8d%8d%8d%8d%8d%8d", 1, 0, 4, 1, 0, 1, 300 & 0xFF, 256, 128, 512);
    EXPECT_EQ(proc_of(ISP_ALG_ACM), head + line);
    // Off: the attribute as set.
    a.bEnable = 0;
    ASSERT_EQ(DU_DUZ_ISP_SetAcmAttr(0, &a), 0);
    snprintf(line, sizeof line, "%8d%7d%9d%8d%8d%8d%8d%8d%8d%8d", 0, 0, 4, 1, 0, 1, 300, 256, 128, 512);
    EXPECT_EQ(proc_of(ISP_ALG_ACM), head + line);
}
