// The lens's iris in the ISP's run loop on the board: the DC iris closing
// its loop through the picture (a scene too bright for the shortest time,
// a step back to dim, the forced states, the manual hold) and the P-iris
// stepping to the F-number asked for. The lens moves in real time; the
// checks count frames.
#include "board/sim/picture/lens.h"
#include "tests/isp/3a/ae/ae_loop_fixture.h"

#include <algorithm>
#include <functional>

namespace {

constexpr int kTarget = 56; // the MN34220's compensation
constexpr int kWindow = 4;
constexpr u32 kShortest = 4000; // us: the shortest time the tests allow
constexpr u32 kUnity = 0x400;

bool on_target(const AE_EXPOSURE_STATUS_S &s) { return std::abs((int)s.u8AveLum - kTarget) <= kWindow; }
bool gained(const AE_EXPOSURE_STATUS_S &s) { return s.u32AGain > kUnity || s.u32DGain > kUnity; }

} // namespace

class IrisLoopTest : public AeLoopTest {
protected:
    void iris(const std::function<void(AE_IRIS_SETTINGS_S &)> &change)
    {
        AE_IRIS_SETTINGS_S a;
        ASSERT_EQ(DU_DUZ_ISP_GetIrisAttr(0, &a), 0);
        change(a);
        ASSERT_EQ(DU_DUZ_ISP_SetIrisAttr(0, &a), 0);
    }

    // Starts at 60 fps on a grey of brightness 1 with the iris of `type` in
    // the exposure, past the quick start (which keeps the DC iris's
    // controller off); the status then.
    AE_EXPOSURE_STATUS_S start_with_iris(u32 type)
    {
        start(60, 1.0);
        iris([&](AE_IRIS_SETTINGS_S &a) {
            a.bEnable = 1;
            a.enIrisType = type;
        });
        return skip(110);
    }

    // The brightness that is `factor` times too bright for the shortest
    // time, from the time a brightness of 1 took at unity gains.
    static double too_bright(const AE_EXPOSURE_STATUS_S &at_one, double factor)
    {
        return factor * at_one.u32ExpTime / kShortest;
    }

    void shortest_time(u32 us)
    {
        AE_EXPOSURE_SETTINGS_S a = attr();
        a.stAuto.u32ExpTimeMin = us;
        set(a);
    }

    // Runs frames (at most `n`) until the exposure adds gain; `aperture`
    // then, -1 when no gain came.
    double at_first_gain(u32 n, const std::function<double()> &aperture)
    {
        AE_EXPOSURE_STATUS_S s;
        for (u32 f = 0; f < n; f++) {
            if (!next(&s))
                return -1;
            if (gained(s))
                return aperture();
        }
        return -1;
    }

    // Runs frames (at most `n`) until `done` holds; whether it did.
    bool run_until(u32 n, const std::function<bool()> &done)
    {
        AE_EXPOSURE_STATUS_S s;
        for (u32 f = 0; f < n; f++) {
            if (done())
                return true;
            if (!next(&s))
                return false;
        }
        return done();
    }
};

class DcIrisLoopTest : public IrisLoopTest {
protected:
    DcIrisLoopTest() { conf_ = "iris = dc\n"; }
};

class PirisLoopTest : public IrisLoopTest {
protected:
    PirisLoopTest() { conf_ = "iris = piris\n"; }
};

// 32 times too bright for the shortest time: the exposure goes down to it
// at unity gains, then the iris takes the rest and settles on the target
// with a steady duty. Back to a dim scene, the iris opens before the
// exposure adds any gain.
TEST_F(DcIrisLoopTest, ABrightSceneIsTakenByTheIrisAndADimOneOpensItBeforeAnyGain)
{
    AE_EXPOSURE_STATUS_S s = start_with_iris(0);
    shortest_time(kShortest);
    s = skip(30);
    ASSERT_TRUE(on_target(s)) << (int)s.u8AveLum;
    ASSERT_FALSE(gained(s));
    ASSERT_GT(s.u32ExpTime, kShortest);
    brightness(too_bright(s, 32));

    std::vector<double> duty;
    for (int f = 0; f < 200; f++) {
        ASSERT_TRUE(next(&s));
        duty.push_back(sim::dciris_duty());
    }
    EXPECT_TRUE(on_target(s)) << (int)s.u8AveLum;
    EXPECT_LE(s.u32ExpTime, kShortest);
    EXPECT_EQ(s.u32AGain, kUnity);
    EXPECT_EQ(s.u32DGain, kUnity);
    EXPECT_EQ(s.u32ISPDGain, kUnity);
    const auto last = std::minmax_element(duty.end() - 60, duty.end());
    EXPECT_LT(*last.second - *last.first, 0.05 * (950 - 250)) << *last.first << ".." << *last.second;
    // The iris took the 32x: five stops.
    EXPECT_NEAR(sim::dciris_stops(), 5.0, 0.3);

    brightness(0.1); // needs gain even wide open
    const double stops_at_gain = at_first_gain(300, [] { return sim::dciris_stops(); });
    ASSERT_GE(stops_at_gain, 0) << "no gain was ever added";
    EXPECT_LT(stops_at_gain, 0.05);
}

// Iris status 2 shuts the iris (duty 100, a black picture) and 1 opens it
// fully (duty 1000); in manual the hold value keeps the aperture where the
// controller left it while the scene changes and the exposure follows.
TEST_F(DcIrisLoopTest, TheForcedStatesShutAndOpenItAndManualHoldsItWhateverTheScene)
{
    AE_EXPOSURE_STATUS_S s = start_with_iris(0);
    const AE_EXPOSURE_STATUS_S at_one = s;
    struct Case {
        const char *name;
        u32 status;
        double duty, stops, light;
    } cases[] = {
        {"forced shut", 2, 100, sim::kDcIrisStops, 0.0},
        {"forced open", 1, 1000, 0, 1.0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        iris([&](AE_IRIS_SETTINGS_S &a) { a.enIrisStatus = c.status; });
        ASSERT_TRUE(run_until(120, [&] { return sim::dciris_stops() == c.stops; })) << sim::dciris_stops();
        EXPECT_EQ(sim::dciris_duty(), c.duty);
        EXPECT_EQ(sim::lens_light(), c.light);
        s = skip(3);
        if (c.light == 0)
            EXPECT_LE(s.u8AveLum, 1);
        else
            EXPECT_GT(s.u8AveLum, 0);
    }

    // The controller closes the iris on a bright scene, then holds.
    iris([](AE_IRIS_SETTINGS_S &a) { a.enIrisStatus = 0; });
    shortest_time(kShortest);
    const double bright = too_bright(at_one, 16);
    brightness(bright);
    s = skip(200);
    ASSERT_TRUE(on_target(s)) << (int)s.u8AveLum;
    const double held = sim::dciris_stops();
    ASSERT_NEAR(held, 4.0, 0.3);
    AE_IRIS_SETTINGS_S a;
    ASSERT_EQ(DU_DUZ_ISP_GetIrisAttr(0, &a), 0);
    iris([](AE_IRIS_SETTINGS_S &i) { i.enOpType = 1; });
    for (double b : {bright / 8, bright * 2, bright / 64}) {
        SCOPED_TRACE(b);
        brightness(b);
        s = skip(40);
        EXPECT_EQ(sim::dciris_duty(), (double)a.u32HoldValue);
        EXPECT_NEAR(sim::dciris_stops(), held, 0.1);
    }
    // The exposure alone follows the scene meanwhile.
    s = skip(60);
    EXPECT_TRUE(on_target(s)) << (int)s.u8AveLum;
}

// With the exposure held, F-numbers asked in manual send the stepper to
// the table's positions and the luma follows the table's ratio.
TEST_F(PirisLoopTest, AnFNumberChangeStepsTheIrisAndScalesTheLumaByTheTable)
{
    start_with_iris(1);
    ASSERT_NE(testsupport::events("piris origin").size(), 0u);
    AE_EXPOSURE_SETTINGS_S x = attr();
    x.enOpType = 1;
    x.stManual = {1, 1, 1, 1, 16000, kUnity, kUnity, kUnity};
    set(x);
    struct Case {
        u32 fno;      // enumerant asked for
        int position; // where the board's lens has it
        double f;     // its F-number there
    } cases[] = {
        {ISP_IRIS_F_NO_1_4, 0, 1.4},
        {ISP_IRIS_F_NO_2_8, 30, 2.8},
        {ISP_IRIS_F_NO_2_0, 15, 2.0},
    };
    double prev_luma = 0, prev_f = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.f);
        iris([&](AE_IRIS_SETTINGS_S &a) {
            a.enOpType = 1;
            a.enIrisFNO = c.fno;
        });
        ASSERT_TRUE(run_until(120, [&] { return sim::piris_position() == c.position && !sim::piris_moving(); }))
            << sim::piris_position();
        const AE_EXPOSURE_STATUS_S s = skip(6);
        EXPECT_NE(testsupport::events("piris position zero_is_max 1 total 93 step " + std::to_string(c.position)).size(),
                  0u);
        if (prev_luma > 0) {
            const double want = (prev_f / c.f) * (prev_f / c.f);
            EXPECT_NEAR(s.u8AveLum / prev_luma, want, 0.1 * want) << (int)s.u8AveLum << " after " << prev_luma;
        }
        prev_luma = s.u8AveLum;
        prev_f = c.f;
    }
}

// The sensor's profile names a DC iris, so a P-iris lens is left where it
// stands until the iris attribute names the P-iris: then the stepper goes
// to its origin, and in automatic mode the exposure closes it on a scene 8
// times too bright for the shortest time (three stops: the luma back on
// target at the shortest time and unity gains) and opens it fully before
// it adds any gain when the light falls.
TEST_F(PirisLoopTest, TheIrisAttributeHandsTheStepperToTheExposureWhichClosesAndOpensItInAutomaticMode)
{
    start(60, 1.0);
    const AE_EXPOSURE_STATUS_S at_one = skip(110);
    AE_IRIS_SETTINGS_S a;
    ASSERT_EQ(DU_DUZ_ISP_GetIrisAttr(0, &a), 0);
    EXPECT_EQ(a.enIrisType, 0u);
    shortest_time(kShortest);
    brightness(too_bright(at_one, 8));
    const double left_at = sim::piris_position();
    iris([](AE_IRIS_SETTINGS_S &i) { i.bEnable = 1; });
    AE_EXPOSURE_STATUS_S s = skip(120);
    EXPECT_EQ(testsupport::events(" piris ").size(), 0u);
    EXPECT_EQ(sim::piris_position(), left_at);

    iris([](AE_IRIS_SETTINGS_S &i) {
        i.enIrisType = 1;
        i.enOpType = 0;
    });
    ASSERT_TRUE(run_until(60, [] { return testsupport::events("piris origin").size() == 1; }));
    s = skip(300);
    EXPECT_TRUE(on_target(s)) << (int)s.u8AveLum;
    EXPECT_LE(s.u32ExpTime, kShortest);
    EXPECT_FALSE(gained(s));
    EXPECT_FALSE(sim::piris_moving());
    EXPECT_NEAR(sim::piris_position() / sim::kPirisStepsPerStop, 3.0, 0.5) << sim::piris_position();
    EXPECT_GT(testsupport::events("piris position").size(), 1u);

    brightness(0.1); // needs gain even wide open
    EXPECT_EQ(at_first_gain(300, [] { return sim::piris_position(); }), 0.0);
    s = skip(120);
    EXPECT_TRUE(on_target(s)) << (int)s.u8AveLum;
}
