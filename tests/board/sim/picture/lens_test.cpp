// The board's lens: the iris fitted (board.conf and the control command),
// the DC iris's galvanometer on its PWM output and the P-iris's stepper,
// through the devices the firmware drives.
#include <cerrno>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <thread>

#include "board/sim/picture/lens.h"
#include "isp/3a/iris/iris_requests.h"
#include "tests/support/board_fixture.h"

namespace {

struct DevicePwm {
    int fd = bd_open("/dev/pwm", O_RDONLY);
    ~DevicePwm() { bd_close(fd); }
    int write(u32 pwm, u32 duty, u32 period = 1000, u32 enable = 1)
    {
        PWM_DATA_S d = {pwm, duty, period, enable};
        return bd_ioctl(fd, PWM_CMD_WRITE, &d);
    }
};

// Waits (bounded) until the galvanometer reaches `stops`.
bool reaches(double stops, double seconds = 3)
{
    return testsupport::wait_until([&] { return sim::dciris_stops() == stops; }, seconds);
}

class LensTest : public BoardTest {};

class DcLensTest : public BoardTest {
protected:
    DcLensTest() { conf_ = "iris = dc\niris.pwm = 2\n"; }
};

} // namespace

TEST_F(LensTest, TheIrisFittedComesFromBoardConfAndTheControlCommand)
{
    // The DC iris starts wide open, the P-iris mid-travel (position 46).
    // The status line names it and how far it stands closed, in stops.
    struct Case {
        const char *conf;
        sim::IrisKind kind;
        double light;
        const char *status;
    } cases[] = {
        {"", sim::IrisKind::none, 1.0, " iris=none iris_stops=0.00"},
        {"iris = dc\n", sim::IrisKind::dc, 1.0, " iris=dc iris_stops=0.00"},
        {"iris = piris\n", sim::IrisKind::piris, std::exp2(-46 / 15.0), " iris=piris iris_stops=3.07"},
        {"iris = zoom\n", sim::IrisKind::none, 1.0, " iris=none iris_stops=0.00"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.conf);
        const std::string root = testsupport::fresh_root("lens");
        testsupport::write_conf(root, c.conf);
        sim::start(root);
        EXPECT_EQ(sim::lens_iris(), c.kind);
        EXPECT_NEAR(sim::lens_light(), c.light, 1e-9);
        EXPECT_NE(sim::control("status").find(c.status), std::string::npos) << sim::control("status");
    }
    EXPECT_NE(testsupport::events("board.conf line 1 'iris = zoom' refused: iris must be none, dc or piris").size(), 0u);

    struct Command {
        const char *line, *answer;
        sim::IrisKind kind;
    } commands[] = {
        {"iris dc", "ok", sim::IrisKind::dc},
        {"iris piris", "ok", sim::IrisKind::piris},
        {"iris none", "ok", sim::IrisKind::none},
        {"iris zoom", "error: usage: iris none|dc|piris", sim::IrisKind::none},
        {"iris", "error: usage: iris none|dc|piris", sim::IrisKind::none},
        {"iris dc piris", "error: usage: iris none|dc|piris", sim::IrisKind::none},
    };
    for (const auto &c : commands) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(sim::control(c.line), c.answer);
        EXPECT_EQ(sim::lens_iris(), c.kind);
    }
}

// Above the hold duty the iris opens, below it shuts, at the hold it stays;
// only the iris's own output drives it, and a disabled output lets it shut.
TEST_F(DcLensTest, TheGalvanometerFollowsTheDutyOfItsOutput)
{
    DevicePwm pwm;
    ASSERT_GE(pwm.fd, 0);
    ASSERT_EQ(pwm.write(2, 100), 0);
    ASSERT_TRUE(reaches(sim::kDcIrisStops)) << sim::dciris_stops();
    EXPECT_EQ(sim::lens_light(), 0.0);

    ASSERT_EQ(pwm.write(2, 2000, 2000), 0); // the duty is taken per mille of the period
    EXPECT_EQ(sim::dciris_duty(), 1000.0);
    // Half-way open, then held there at the hold duty.
    ASSERT_TRUE(testsupport::wait_until([] { return sim::dciris_stops() < sim::kDcIrisStops / 2; }, 3));
    ASSERT_EQ(pwm.write(2, (u32)sim::kDcIrisHoldDuty), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the coil's lag
    const double held = sim::dciris_stops();
    EXPECT_GT(held, 0.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_NEAR(sim::dciris_stops(), held, 0.01);
    EXPECT_NEAR(sim::lens_light(), std::exp2(-held), 0.01);

    // Another output leaves it alone; the iris's own, disabled, shuts it.
    ASSERT_EQ(pwm.write(3, 1000), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_NEAR(sim::dciris_stops(), held, 0.01);
    ASSERT_EQ(pwm.write(2, 1000), 0);
    ASSERT_TRUE(reaches(0)) << sim::dciris_stops();
    EXPECT_EQ(sim::lens_light(), 1.0);
    ASSERT_EQ(pwm.write(2, 1000, 1000, 0), 0);
    ASSERT_TRUE(reaches(sim::kDcIrisStops)) << sim::dciris_stops();

    // Duty 0 leaves the coil dead alike; a duty beyond the period is refused.
    ASSERT_EQ(pwm.write(2, 1000), 0);
    ASSERT_TRUE(reaches(0)) << sim::dciris_stops();
    ASSERT_EQ(pwm.write(2, 0), 0);
    ASSERT_TRUE(reaches(sim::kDcIrisStops)) << sim::dciris_stops();
    errno = 0;
    EXPECT_EQ(pwm.write(2, 1001), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(sim::dciris_duty(), 0.0);
}

// A position request runs the stepper there at its rate, "moving" until it
// arrives; the light follows the F-number table.
TEST_F(LensTest, ThePirisStepperGoesToThePositionAskedAndPassesItsTablesLight)
{
    ASSERT_EQ(sim::control("iris piris"), "ok");
    const int fd = bd_open("/dev/piris", O_RDONLY);
    ASSERT_GE(fd, 0);
    struct Case {
        s32 position;
        double light;
    } cases[] = {{30, 0.25}, {0, 1.0}, {60, 1.0 / 16}, {200, 0.0}, {-5, 1.0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.position);
        PIRIS_DATA_S d = {1, 93, c.position};
        ASSERT_EQ(bd_ioctl(fd, PIRIS_POS_SET, &d), 0);
        s32 moving = 0;
        ASSERT_TRUE(testsupport::wait_until([&] { return bd_ioctl(fd, PIRIS_STATUS_GET, &moving) == 0 && !moving; }, 3));
        EXPECT_NEAR(sim::lens_light(), c.light, 1e-9);
    }
    EXPECT_EQ(sim::piris_position(), 0.0);
    EXPECT_NE(testsupport::events("piris position zero_is_max 1 total 93 step 200").size(), 0u);
    EXPECT_EQ(bd_ioctl(fd, PIRIS_POS_SET, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    bd_close(fd);
}
