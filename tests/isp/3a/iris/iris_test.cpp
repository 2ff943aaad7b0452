// Iris control: the DC iris's PWM output and PID controller, and the P-iris
// stepper whose motion holds the exposure, on the board's /dev/pwm and
// /dev/piris.
#include "board/sim/picture/lens.h"
#include "tests/isp/3a/ae/ae_fixture.h"

#include <dirent.h>

namespace {

std::vector<std::string> pwm_writes() { return testsupport::events(" pwm "); }

int open_fds()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d))
            n++;
        closedir(d);
    }
    return n;
}

// A controller as AeDcIrisCtrlInit leaves it, with the gains given.
AE_DCIRIS_S controller(s32 kp, s32 ki, s32 kd, u32 min_duty = 0, u32 max_duty = 1000)
{
    g_astAeCtx[1] = {};
    AeDcIrisCtrlInit(1);
    AE_DCIRIS_S d = g_astAeCtx[1].stDcIris;
    d.s32Kp = kp, d.s32Ki = ki, d.s32Kd = kd;
    d.u32MinDuty = min_duty, d.u32MaxDuty = max_duty;
    return d;
}

} // namespace

// The duty goes out as asked; what is remembered is brought into
// 100..1000, so only a change of that is written. A duty the output
// cannot take (above its period) fails and is tried again next time.
TEST_F(AeTest, ThePwmDutyIsWrittenAsAskedAndOnlyWhenItChanges)
{
    ASSERT_EQ(init(), 0);
    const AE_IRIS_CALLBACKS_S cb = ctx().stIrisCb;
    ASSERT_NE(cb.pfn_iris_ops1, nullptr);
    struct Case {
        u32 duty;
        s32 result;
        const char *written; // null: nothing written
        const char *says;    // on standard output
    } cases[] = {
        {777, 0, "pwm 0 duty 777 period 1000 enable 1", ""},
        {777, 0, nullptr, ""},
        {50, 0, "pwm 0 duty 50 period 1000 enable 1", ""}, // below the controller's range
        {100, 0, nullptr, ""},                             // remembered as 100
        {1500, -1, nullptr, "pwm0 write failed!\n"},       // beyond the period
        {1500, -1, nullptr, "pwm0 write failed!\n"},       // not remembered: tried again
        {1000, 0, "pwm 0 duty 1000 period 1000 enable 1", ""},
        {0, 0, "pwm 0 duty 0 period 1000 enable 1", ""},
        {100, 0, nullptr, ""},
        {0, 0, "pwm 0 duty 0 period 1000 enable 1", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.duty);
        const size_t before = pwm_writes().size();
        s32 ret = 0;
        EXPECT_EQ(testsupport::capture_stdout([&] { ret = cb.pfn_iris_ops1(c.duty); }), c.says);
        EXPECT_EQ(ret, c.result);
        auto after = pwm_writes();
        if (!c.written) {
            EXPECT_EQ(after.size(), before);
            continue;
        }
        ASSERT_EQ(after.size(), before + 1);
        EXPECT_NE(after.back().find(c.written), std::string::npos) << after.back();
    }
}

// The library's exit leaves the DC iris's coil without drive: duty 0, and
// the lens's spring shuts the aperture.
class DcIrisTest : public AeTest {
protected:
    DcIrisTest() { conf_ = "iris = dc\n"; }
};

TEST_F(DcIrisTest, ExitCutsTheDriveAndTheSpringShutsTheIris)
{
    ASSERT_EQ(init(), 0);
    run(1, 12);
    ASSERT_GT(sim::dciris_duty(), sim::kDcIrisHoldDuty); // driven open
    ASSERT_EQ(sim::lens_light(), 1.0);
    testsupport::capture_stdout([&] { EXPECT_EQ(cb_.pfn_ae_exit(0), 0); });
    auto writes = pwm_writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_NE(writes.back().find("pwm 0 duty 0 period 1000 enable 1"), std::string::npos) << writes.back();
    EXPECT_EQ(sim::dciris_duty(), 0.0);
    EXPECT_TRUE(testsupport::wait_until([] { return sim::lens_light() == 0; }, 5)) << sim::dciris_stops();
}

TEST_F(AeTest, PidGainScaleAndIntegralStepFollowTheError)
{
    struct Case {
        s32 e;
        u32 duty;         // Kp 1000 alone: e x scale / 32 / 1000 x Kp
        s32 integral_step; // with Ki: the interpolated table gain x e
    } cases[] = {
        {20, 22, 20 * (200 + 20 * (180 - 200) / 32)},
        {50, 106, 50 * (180 + 18 * (160 - 180) / 32)},
        {100, 300, 100 * (140 + 4 * (100 - 140) / 32)},
        {-5, 0, -5 * (100 + 5 * (95 - 100) / 32)},
        {300, 900, 0},
        {-300, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.e);
        AE_DCIRIS_S d = controller(1000, 0, 0);
        d.s32Integral = 500000;
        u32 duty = 12345;
        ASSERT_EQ(dcIrisCtrlerProcess(&c.e, &duty, &d), 0);
        EXPECT_EQ(duty, c.duty);
        EXPECT_EQ(d.s32Integral, 500000 + c.integral_step);
    }
    // The integral stays within 100000..1000000.
    AE_DCIRIS_S d = controller(0, 1000, 0);
    s32 e = 255;
    u32 duty;
    for (int i = 0; i < 10; i++)
        dcIrisCtrlerProcess(&e, &duty, &d);
    EXPECT_EQ(d.s32Integral, 1000000);
    e = -255;
    for (int i = 0; i < 400; i++)
        dcIrisCtrlerProcess(&e, &duty, &d);
    EXPECT_EQ(d.s32Integral, 100000);
    std::string err = testsupport::capture_stderr([&] { EXPECT_EQ(dcIrisCtrlerProcess(&e, nullptr, &d), (s32)0xA01C8006); });
    EXPECT_NE(err.find("Null Pointer in dcIrisCtrlerProcess!"), std::string::npos);
}

// Six calculations in band keep waiting at 950; the seventh starts control
// with the integral at 1000 x the open duty and holds the exposure.
TEST_F(AeTest, TheDcIrisTakesOverOnTheSeventhCalculationInBand)
{
    ASSERT_EQ(init(), 0);
    AE_CTX_S &c = ctx();
    c.u32IntTime = 10;
    c.u32MinTimeTarget = 10; // the shortest time, at the lowest gains
    for (int i = 1; i <= 7; i++) {
        SCOPED_TRACE(i);
        AeDcIrisRun(0);
        EXPECT_EQ(c.stDcIris.s32State, i < 7 ? 0 : 1);
        EXPECT_EQ(c.stDcIris.u32Result, 950u);
        // Once the iris controls, the exposure is held.
        EXPECT_EQ(c.bExpUpdate, i < 7 ? 1u : 0u);
    }
    EXPECT_EQ(c.stDcIris.s32Integral, 800 * 1000);
    EXPECT_EQ(c.stDcIris.bInControl, 1);
    c.s16LumError = -40; // too bright: the iris closes, the exposure still held
    AeDcIrisRun(0);
    EXPECT_LT(c.stDcIris.u32Result, 800u);
    EXPECT_EQ(c.bExpUpdate, 0u);
    // Out of band: back to waiting at 950.
    c.u32IntTime = 11;
    AeDcIrisRun(0);
    EXPECT_EQ(c.stDcIris.s32State, 0);
    // Disabled: 960 once.
    const size_t before = pwm_writes().size();
    c.stDcIris.s32Enable = 0;
    AeDcIrisRun(0);
    auto after = pwm_writes();
    ASSERT_EQ(after.size(), before + 1);
    EXPECT_NE(after.back().find("duty 960"), std::string::npos);
}

// Switching to the P-iris drives it to its origin; while the stepper runs
// the calculation waits, and the device is closed after every request.
TEST_F(AeTest, AMovingPirisHoldsTheExposureCalculation)
{
    ASSERT_EQ(init(), 0);
    run(1, 1);
    IO_WRITE16(aetest::page(AE_REG_IRIS_TYPE), 1);
    run(2, 2);
    auto origin = testsupport::events(" piris ");
    ASSERT_EQ(origin.size(), 1u);
    EXPECT_NE(origin[0].find("piris origin zero_is_max 1 total 93 step -103"), std::string::npos) << origin[0];
    EXPECT_EQ(ctx().enAlgIrisType, 1u);
    // Whether frame f calculated: the calculation publishes the frame rate.
    auto calculates = [&](u32 f) {
        IO_WRITE32(aetest::page(AE_REG_STAT_FPS), 0xDEAD);
        AE_FRAME_RESULT_S r = run(f, f);
        const bool calc = IO_READ32(aetest::page(AE_REG_STAT_FPS)) != 0xDEAD;
        if (calc) {
            EXPECT_EQ(r.bPirisValid, 1u);
        }
        return calc;
    };
    // The 103 steps take a quarter of a second.
    ASSERT_TRUE(sim::piris_moving());
    for (u32 f = 3; f <= 5; f++)
        EXPECT_FALSE(calculates(f)) << f;
    ASSERT_TRUE(testsupport::wait_until([] { return !sim::piris_moving(); }, 5));
    EXPECT_EQ(sim::piris_position(), 0.0);
    for (u32 f = 6; f <= 8; f++)
        EXPECT_TRUE(calculates(f)) << f;
    const int fds = open_fds();
    for (int i = 0; i < 20; i++)
        ctx().stIrisCb.pfn_iris_ops1(0);
    EXPECT_EQ(open_fds(), fds);
    EXPECT_EQ(ctx().stIrisCb.pfn_iris_ops3(0, 93), 0);
    EXPECT_NE(testsupport::events(" piris ").back().find("piris close zero_is_max 0 total 93 step 0"), std::string::npos);
}

class PirisTest : public AeTest {
protected:
    PirisTest() { conf_ = "iris = piris\n"; }
};

// The close and origin requests run the board's stepper to its end stops,
// "moving" while it travels; the lens shuts and opens with them.
TEST_F(PirisTest, CloseAndOriginRunTheStepperToItsEnds)
{
    ASSERT_EQ(init(), 0);
    IO_WRITE16(aetest::page(AE_REG_IRIS_TYPE), 1);
    run(1, 1);
    ASSERT_TRUE(testsupport::wait_until([] { return !sim::piris_moving(); }, 5));
    const AE_IRIS_CALLBACKS_S cb = ctx().stIrisCb;
    struct Case {
        const char *name;
        s32 (*request)(u32, u32);
        double end, light;
    } cases[] = {
        {"close", cb.pfn_iris_ops3, sim::kPirisSteps - 1, 0.0},
        {"origin", cb.pfn_iris_ops2, 0, 1.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.request(1, 93), 0);
        EXPECT_EQ(cb.pfn_iris_ops1(0), 1);
        ASSERT_TRUE(testsupport::wait_until([&] { return cb.pfn_iris_ops1(0) == 0; }, 5));
        EXPECT_EQ(sim::piris_position(), c.end);
        EXPECT_EQ(sim::lens_light(), c.light);
    }
}
