// The ISP core on the simulated board: bring-up, the per-frame loop, the
// sensor sync, mode switches while running, exit and a second cycle.
#include "tests/isp/isp_fixture.h"

#include <map>
#include <sstream>

#include "board/sim/sim.h"

using namespace isptest;
using testsupport::capture_stdout;
using testsupport::capture_stderr;

namespace {

// The 1080p60 sequence as the sensor's data sheet lists it, and what the
// other modes change in it.
const char *kSeq1080p60 =
    "300E=01 300F=00 0305=02 0307=24 3000=00 3001=03 0112=0C 0113=0C 3004=03 3005=64 3007=10 3008=90 300B=00 "
    "3018=43 3019=10 301A=F9 301F=14 3000=00 3001=53 300E=00 300F=00 0202=04 0203=63 0340=04 0341=65 0342=08 "
    "0343=98 0346=00 0347=3C 034A=04 034B=7F 034E=04 034F=44 3036=00 3039=2E 3041=2C 3058=0F 306E=0C 306F=00 "
    "3074=01 3098=00 3099=00 309A=01 3101=00 3104=04 3106=00 3107=C0 312B=00 312D=00 312F=00 3141=40 3143=02 "
    "3144=02 3145=02 3146=00 3147=02 3148=02 3149=02 314A=01 314B=02 314C=02 314D=02 314E=01 314F=02 3150=02 "
    "3152=04 3153=E3 3155=CA 3157=CA 3159=CA 315B=CA 315D=CA 315F=CA 3161=CA 3163=CA 3165=CA 3167=CA 3169=CA "
    "316B=CA 316D=CA 316F=C6 3171=CA 3173=CA 3175=80 318E=20 318F=70 3196=08 31FC=02 31FE=07 323C=71 323E=01 "
    "3243=D7 3246=01 3247=79 3248=00 3249=00 324A=30 324B=18 324C=02 3253=DE 3256=11 3258=01 3259=49 325A=39 "
    "3272=46 3280=30 3282=0E 3285=1B 3288=01 3289=00 330E=05 3310=02 3315=1F 331A=02 331B=02 332C=02 3339=02 "
    "336B=03 339F=03 33A2=03 33A3=03 3000=00 3001=D3 0100=01 0101=00";
const char *kDiff1080p30 = "3007=14 3247=38 3248=03 3249=E2 3259=68";
const char *kDiff720p120 =
    "0307=30 3005=67 0202=02 0203=EC 0340=02 0341=EE 0343=A0 0347=F2 034A=03 034B=C9 034E=02 034F=D8 3041=12 "
    "3099=40 309A=10 3141=70 3143=01 3144=03 3146=05 3147=00 3148=00 3149=00 314A=03 314B=01 314C=01 314D=01 "
    "314E=02 3152=01 3155=11 3157=30 3159=33 315B=36 315D=35 315F=3C 3161=3F 3163=3A 3165=39 3167=28 3169=2B "
    "316B=2E 316D=2D 316F=22 3171=22 3173=61 31FC=03 31FE=06 3243=75 3247=A5 324B=1B 3253=7B 3256=32 3259=9A "
    "325A=14 3272=0C 331A=03 331B=03 332C=00 3339=03 336B=02 339F=01 33A2=01 33A3=01";
const char *kDiffWdr = "0307=30 3005=67 301F=1F 0202=00 0203=20 0341=E2 0342=14 0343=A0 3101=01 312B=20 312D=20 "
                       "312F=20 3143=03 3144=04 3145=03 3146=05 3147=05 314A=05 314B=03 314C=06 314D=07 314E=06 "
                       "314F=06 3150=07 3152=06 323C=70 323E=00 3243=D1 3247=D6 3253=D4 3259=E6 3272=55";

using RegList = std::vector<std::pair<uint16_t, uint8_t>>;

RegList parse(const char *text)
{
    RegList out;
    std::istringstream in(text);
    std::string item;
    while (in >> item)
        out.push_back({(uint16_t)std::stoul(item.substr(0, 4), nullptr, 16),
                       (uint8_t)std::stoul(item.substr(5), nullptr, 16)});
    return out;
}

RegList sequence(const char *diff)
{
    RegList seq = parse(kSeq1080p60);
    std::map<uint16_t, uint8_t> change;
    if (diff)
        for (auto &p : parse(diff))
            change[p.first] = p.second;
    for (auto &p : seq)
        if (change.count(p.first))
            p.second = change[p.first];
    return seq;
}

// The sensor's I2C writes from position `from` of its log on.
RegList i2c_writes(size_t from = 0)
{
    RegList out;
    auto log = sim::sensor_writes();
    for (size_t i = from; i < log.size(); i++)
        if (!log[i].sync)
            out.push_back({log[i].reg, log[i].value});
    return out;
}

std::vector<sim::SensorWrite> sync_writes(size_t from = 0)
{
    std::vector<sim::SensorWrite> out;
    auto log = sim::sensor_writes();
    for (size_t i = from; i < log.size(); i++)
        if (log[i].sync)
            out.push_back(log[i]);
    return out;
}

// Waits (bounded) until the sensor delivered `n` more frames.
void wait_sensor_frames(uint64_t n)
{
    uint64_t until = sim::sensor_frame() + n;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (sim::sensor_frame() < until && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Waits (bounded) for a condition the run loop makes true.
template <class Pred> bool eventually(Pred pred)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

size_t log_size() { return sim::sensor_writes().size(); }

// The slots after Init: defect pixels, exposure, white balance, focus, black
// level, DRC, demosaic, gamma, front-end gamma, green equalisation, noise
// reduction, sharpen, frame WDR, fixed-pattern noise, dehaze, colour
// management, lens shading, each once; the rest free.
void expect_module_order()
{
    const u32 order[] = {4, 0, 2, 1, 3, 5, 6, 7, 8, 9, 10, 11, 13, 14, 15, 16, 12};
    const u32 n = sizeof order / sizeof order[0];
    for (u32 i = 0; i < ISP_MAX_ALGS_NUM; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ctx().astAlgs[i].bUsed, i < n ? 1u : 0u);
        if (i < n) {
            EXPECT_EQ(ctx().astAlgs[i].enAlgType, order[i]);
        }
    }
}

} // namespace

TEST_F(IspTest, BringUpAt1080p30ProgramsTheSensorAndRegistersTheModulesInOrder)
{
    s32 ret = -1;
    std::string out = capture_stdout([&] { ret = bring_up(1920, 1080, 30); });
    ASSERT_EQ(ret, 0);
    EXPECT_NE(out.find("===panasonic mn34220 sensor 1080P30fps linear mode init success!=====\n"),
              std::string::npos);
    EXPECT_EQ(i2c_writes(), sequence(kDiff1080p30));
    EXPECT_DOUBLE_EQ(sim::sensor_fps(), 30.0);

    expect_module_order();
    std::vector<std::string> inits = {"ae.init 34220 0", "awb.init", "af.init"};
    EXPECT_EQ(g_rec.snapshot(), inits);
}

TEST_F(IspTest, EachFrameRunsTheLibrariesInSlotOrder)
{
    ASSERT_EQ(bring_up(), 0);
    start_run();
    ASSERT_TRUE(g_rec.wait_ae_runs(3));
    auto calls = g_rec.snapshot();
    // One whole frame: from an exposure run to the next.
    auto first = std::find(calls.begin(), calls.end(), "ae.run");
    ASSERT_NE(first, calls.end());
    std::vector<std::string> frame(first, std::find(first + 1, calls.end(), "ae.run"));
    std::vector<std::string> expected = {"ae.run",        "awb.ctrl 8003", "awb.ctrl 8006", "awb.ctrl 8007",
                                         "awb.run",       "af.run",        "ae.ctrl 8005",  "awb.ctrl 8005",
                                         "af.ctrl 8005"};
    EXPECT_EQ(frame, expected);
    // The first image-mode check told every module the frame rate.
    EXPECT_NE(std::find(calls.begin(), calls.end(), "ae.ctrl 8002"), calls.end());
}

TEST_F(IspTest, TheFirstSyncRecordCarriesEveryRegisterAndLaterOnesOnlyChanges)
{
    ASSERT_EQ(bring_up(), 0);
    size_t mark = log_size();
    g_lines = 1000; // 0x03E8
    g_again = 8;    // 0x0120
    g_dgain = 0;    // 0x0100
    start_run();
    ASSERT_TRUE(g_rec.wait_ae_runs(4));
    wait_sensor_frames(3);

    auto writes = sync_writes(mark);
    ASSERT_GE(writes.size(), 9u);
    // The first record: frame-length and time registers land at the next
    // frame, the gain registers a frame later.
    std::map<uint16_t, std::pair<uint64_t, uint8_t>> first;
    for (auto &w : writes)
        if (!first.count(w.reg))
            first[w.reg] = {w.frame, w.value};
    uint64_t f0 = first[0x0202].first;
    const struct {
        uint16_t reg;
        uint8_t value;
        uint64_t delay;
    } expected[] = {{0x0202, 0x03, 0}, {0x0203, 0xE8, 0}, {0x0340, 0x04, 0}, {0x0341, 0x65, 0}, {0x3280, 0x00, 1},
                    {0x0204, 0x01, 1}, {0x0205, 0x20, 1}, {0x3108, 0x01, 1}, {0x3109, 0x00, 1}};
    for (auto &e : expected) {
        SCOPED_TRACE(e.reg);
        ASSERT_TRUE(first.count(e.reg));
        EXPECT_EQ(first[e.reg].second, e.value);
        EXPECT_EQ(first[e.reg].first, f0 + e.delay);
    }
    // Same analogue gain again: only 0x3280 changed (to 0x30), once.
    size_t n3280 = std::count_if(writes.begin(), writes.end(), [](auto &w) { return w.reg == 0x3280; });
    EXPECT_EQ(n3280, 2u);
    EXPECT_EQ(sim::sensor_reg(0x3280), 0x30);
    EXPECT_EQ(writes.size(), 10u);

    // A new integration time whose high byte stays: only 0x0203 goes out.
    mark = log_size();
    {
        std::lock_guard<std::mutex> l(g_ae_lock);
        g_lines = 1001;
    }
    unsigned runs = g_rec.ae_runs;
    ASSERT_TRUE(g_rec.wait_ae_runs(runs + 3));
    wait_sensor_frames(2);
    auto later = sync_writes(mark);
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].reg, 0x0203);
    EXPECT_EQ(later[0].value, 0xE9);
}

TEST_F(IspTest, SyncIntervalTwoHandsOverOnEvenFramesOnly)
{
    ASSERT_EQ(bring_up(), 0);
    g_ae_result.u8AERunInterval = 2;
    // Each frame's integration time names its frame: 1000 + frame count.
    g_ae_hook = [](const AE_FRAME_INPUT_S *in) { g_lines = 1000 + in->u32FrameCnt; };
    size_t mark = log_size();
    start_run();
    ASSERT_TRUE(g_rec.wait_ae_runs(12));
    stop_run();
    std::vector<u32> frames;
    for (auto &w : sync_writes(mark))
        if (w.reg == 0x0203)
            frames.push_back(w.value - 0xE8u);
    ASSERT_GE(frames.size(), 4u);
    for (u32 f : frames)
        EXPECT_EQ(f % 2, 0u) << "integration time of frame " << f << " handed over";
}

TEST_F(IspTest, ExitWhileRunWaitsEndsTheLoop)
{
    ASSERT_EQ(bring_up(), 0);
    start_run();
    ASSERT_TRUE(g_rec.wait_ae_runs(2));
    EXPECT_EQ(DU_DUZ_ISP_Exit(0), 0);
    runner_.join();
    EXPECT_EQ(run_result_.load(), 0);
    auto calls = g_rec.snapshot();
    for (const char *e : {"ae.exit", "awb.exit", "af.exit"})
        EXPECT_NE(std::find(calls.begin(), calls.end(), e), calls.end()) << e;
    for (auto &alg : ctx().astAlgs)
        EXPECT_EQ(alg.bUsed, 0u);
    EXPECT_EQ(ctx().stAeLibInfo.astLibs[0].bUsed, 0u);
}

TEST_F(IspTest, ASecondCycleWorks)
{
    ASSERT_EQ(bring_up(), 0);
    start_run();
    ASSERT_TRUE(g_rec.wait_ae_runs(2));
    stop_run();

    g_rec.clear();
    size_t mark = log_size();
    s32 ret = -1;
    std::string out = capture_stdout([&] { ret = bring_up(); });
    ASSERT_EQ(ret, 0);
    EXPECT_NE(out.find("1080P30fps linear mode init success"), std::string::npos);
    EXPECT_EQ(i2c_writes(mark), sequence(kDiff1080p30));
    expect_module_order(); // Exit freed the slots: nothing twice
    start_run();
    EXPECT_TRUE(g_rec.wait_ae_runs(3));
}

TEST_F(IspTest, LifecycleChecksFailWithTheirCodes)
{
    struct Case {
        const char *name;
        std::function<s32(IspTest &)> call;
        s32 code;
        const char *message;
    };
    const ISP_WDR_SEL_S linear = {0};
    const ISP_FRAME_FORMAT_S attr = pub(1920, 1080, 30);
    Case cases[] = {
        {"no sensor", [](IspTest &) { return DU_DUZ_ISP_MemInit(0); }, DU_ERR_ISP_SNS_UNREGISTER,
         "Sensor doesn't register to ISP[0]!"},
        {"bad device", [](IspTest &) { return DU_DUZ_ISP_Init(1); }, DU_ERR_ISP_ILLEGAL_PARAM, "Err isp dev 1!"},
        {"init before memory init",
         [](IspTest &t) {
             t.register_all();
             return DU_DUZ_ISP_Init(0);
         },
         DU_ERR_ISP_MEM_NOT_INIT, "ISP[0] Mem NOT Init 0 in DU_DUZ_ISP_Init!"},
        {"init without WDR mode",
         [&](IspTest &t) {
             t.register_all();
             DU_DUZ_ISP_MemInit(0);
             DU_DUZ_ISP_SetPubAttr(0, &attr);
             return DU_DUZ_ISP_Init(0);
         },
         DU_ERR_ISP_ATTR_NOT_CFG, "Isp[0] WDR mode doesn't config in DU_DUZ_ISP_Init!"},
        {"init without public attributes",
         [&](IspTest &t) {
             t.register_all();
             DU_DUZ_ISP_MemInit(0);
             DU_DUZ_ISP_SetWDRMode(0, &linear);
             return DU_DUZ_ISP_Init(0);
         },
         DU_ERR_ISP_ATTR_NOT_CFG, "Isp[0] Pub Attr doesn't config in DU_DUZ_ISP_Init!"},
        {"run before init",
         [&](IspTest &t) {
             t.register_all();
             DU_DUZ_ISP_MemInit(0);
             return DU_DUZ_ISP_Run(0);
         },
         DU_ERR_ISP_ATTR_NOT_CFG, "Isp[0] doesn't initialized in DU_DUZ_ISP_Run!"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string err, out = capture_stdout([&] { err = capture_stderr([&] { ret = c.call(*this); }); });
        EXPECT_EQ(ret, c.code);
        EXPECT_NE((out + err).find(c.message), std::string::npos) << out << err;
        TearDown();
        SetUp();
    }
}

TEST_F(IspTest, InitFailsWhenTheSensorCannotBeProgrammed)
{
    struct Case {
        const char *name;
        const char *conf;
        const char *message;
    };
    Case cases[] = {
        {"no I2C adapter", "i2c = 0\n", "Open /dev/i2c-0 error!"},
        {"no sensor on the bus", "sensor = none\n", "I2C_WRITE error!"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        conf_ = c.conf;
        SetUp();
        s32 ret = 0;
        std::string err, out = capture_stdout([&] { err = capture_stderr([&] { ret = bring_up(); }); });
        EXPECT_EQ(ret, DU_ERR_ISP_NOT_INIT);
        EXPECT_NE(out.find(c.message), std::string::npos);
        EXPECT_NE(err.find("ISP[0] init sensor failed!"), std::string::npos);
        EXPECT_EQ(out.find("init success"), std::string::npos);
        // Exit takes down what Init had made.
        EXPECT_EQ(DU_DUZ_ISP_Exit(0), 0);
    }
}

TEST_F(IspTest, AFrameRateChangeKeepsTheSensorMode)
{
    ASSERT_EQ(bring_up(), 0);
    start_run();
    ASSERT_TRUE(g_rec.wait_ae_runs(2));
    size_t mark = log_size();
    g_rec.clear();
    ISP_FRAME_FORMAT_S attr = pub(1920, 1080, 25);
    ASSERT_EQ(DU_DUZ_ISP_SetPubAttr(0, &attr), 0);
    ASSERT_TRUE(eventually([] { return IO_READ8(ISP_EXT_RES_SWITCH) == 1; }));
    ASSERT_TRUE(eventually([] { return sim::sensor_fps() == 25.0; })); // 33750 / 1350
    EXPECT_TRUE(i2c_writes(mark).empty());
    EXPECT_TRUE(testsupport::events("isp res").empty());
    auto calls = g_rec.snapshot();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "ae.ctrl 8002"), calls.end());
    EXPECT_EQ(std::find(calls.begin(), calls.end(), "ae.ctrl 8004"), calls.end());
}

TEST_F(IspTest, AResolutionChangeSwitchesTheSensorMode)
{
    ASSERT_EQ(bring_up(), 0);
    start_run();
    ASSERT_TRUE(g_rec.wait_ae_runs(2));
    size_t mark = log_size();
    g_rec.clear();
    ISP_FRAME_FORMAT_S attr = pub(1280, 720, 60);
    std::string out = capture_stdout([&] {
        ASSERT_EQ(DU_DUZ_ISP_SetPubAttr(0, &attr), 0);
        ASSERT_TRUE(eventually([] { return IO_READ8(ISP_EXT_RES_SWITCH) == 1; }));
    });
    EXPECT_NE(out.find("720P120fps linear mode init success"), std::string::npos);
    EXPECT_EQ(i2c_writes(mark), sequence(kDiff720p120));
    EXPECT_EQ(testsupport::events("isp res 1280x720 60.00").size(), 1u);
    ASSERT_TRUE(eventually([] { return sim::sensor_fps() == 60.0; })); // 90000 / 1500
    auto calls = g_rec.snapshot();
    auto c8004 = std::find(calls.begin(), calls.end(), "ae.ctrl 8004");
    ASSERT_NE(c8004, calls.end());
    EXPECT_NE(std::find(c8004, calls.end(), "ae.ctrl 8002"), calls.end());
}

TEST_F(IspTest, AnUnsupportedModeIsRefusedAndTheSensorKeepsItsFrameLength)
{
    ASSERT_EQ(bring_up(), 0);
    start_run();
    ASSERT_TRUE(g_rec.wait_ae_runs(2));
    size_t mark = log_size();
    ISP_FRAME_FORMAT_S attr = pub(1920, 1080, 61);
    std::string out = capture_stdout([&] {
        ASSERT_EQ(DU_DUZ_ISP_SetPubAttr(0, &attr), 0);
        ASSERT_TRUE(eventually([] { return IO_READ8(ISP_EXT_RES_SWITCH) == 1; }));
    });
    EXPECT_NE(out.find("Not support! Width:1920, Height:1080, Fps:61.000000, WDRMode:0"), std::string::npos);
    EXPECT_NE(out.find("Not support Fps: 61.000000"), std::string::npos);
    EXPECT_TRUE(i2c_writes(mark).empty());
    EXPECT_DOUBLE_EQ(sim::sensor_fps(), 30.0);
}

TEST_F(IspTest, AFailedSwitchIsRetriedUntilItSucceeds)
{
    struct Case {
        const char *name;
        std::function<void()> request;
        u32 done_flag;
        const char *seq_diff;
    };
    Case cases[] = {
        {"image mode",
         [] {
             ISP_FRAME_FORMAT_S attr = pub(1280, 720, 60);
             DU_DUZ_ISP_SetPubAttr(0, &attr);
         },
         ISP_EXT_RES_SWITCH, kDiff720p120},
        {"WDR mode",
         [] {
             ISP_WDR_SEL_S sel = {WDR_MODE_2To1_LINE};
             DU_DUZ_ISP_SetWDRMode(0, &sel);
         },
         ISP_EXT_WDR_SWITCH, kDiffWdr},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        ASSERT_EQ(bring_up(), 0);
        start_run();
        ASSERT_TRUE(g_rec.wait_ae_runs(2));
        // With the sensor off the bus every try fails and nothing is done.
        sim::sensor_set_present(false);
        size_t mark = log_size();
        std::string out = capture_stdout([&] {
            c.request();
            wait_sensor_frames(4);
            EXPECT_EQ(IO_READ8(c.done_flag), 0u);
            sim::sensor_set_present(true);
            EXPECT_TRUE(eventually([&] { return IO_READ8(c.done_flag) == 1; }));
        });
        EXPECT_NE(out.find("I2C_WRITE error!"), std::string::npos);
        EXPECT_EQ(i2c_writes(mark), sequence(c.seq_diff));
    }
}

TEST_F(IspTest, AFrozenFirmwareRunsNoModuleAndCountsNoFrame)
{
    ASSERT_EQ(bring_up(), 0);
    start_run();
    ASSERT_TRUE(g_rec.wait_ae_runs(2));
    ASSERT_EQ(DU_DUZ_ISP_SetFMWState(0, 1), 0);
    wait_sensor_frames(2); // the round in flight ends
    u32 frames = ctx().u32FrameCnt;
    unsigned runs = g_rec.ae_runs;
    wait_sensor_frames(4);
    EXPECT_EQ(ctx().u32FrameCnt, frames);
    EXPECT_EQ(g_rec.ae_runs, runs);
    ASSERT_EQ(DU_DUZ_ISP_SetFMWState(0, 0), 0);
    EXPECT_TRUE(g_rec.wait_ae_runs(runs + 2));
}

TEST_F(IspTest, AStatisticsBufferOutsideTheMappingSkipsTheFrame)
{
    TearDown();
    conf_ = "isp.stat_fault = 1\n";
    SetUp();
    ASSERT_EQ(bring_up(), 0);
    start_run();
    wait_sensor_frames(5);
    EXPECT_EQ(g_rec.ae_runs, 0u);
    EXPECT_EQ(ctx().u32FrameCnt, 0u);
}
