// /dev/piris: the P-iris stepper (board/sim/picture/lens.h). Driving it to its
// origin, closing it or sending it to a position is logged ("piris
// origin|close|position zero_is_max <z> total <t> step <s>", the record as
// the firmware sent it) and starts a run at kPirisStepRate steps a second;
// status answers 1 until the run's last step.
#include "board/sim/picture/lens.h"
#include "board/sim/sim.h"
#include "isp/3a/iris/iris_requests.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <mutex>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kOpenEnd = 0, kShutEnd = kPirisSteps - 1;

// One run of the motor: from a position towards a target, `steps` steps in
// all (an origin run keeps stepping against the end stop).
struct Run {
    double from = (kPirisSteps - 1) / 2;
    double to = (kPirisSteps - 1) / 2;
    double steps = 0;
    Clock::time_point start = Clock::now();

    double elapsed_steps(Clock::time_point now) const
    {
        return std::chrono::duration<double>(now - start).count() * kPirisStepRate;
    }
    double position(Clock::time_point now) const
    {
        const double moved = std::min(elapsed_steps(now), std::fabs(to - from));
        return to >= from ? from + moved : from - moved;
    }
    bool moving(Clock::time_point now) const { return elapsed_steps(now) < steps; }
};

std::mutex g_lock;
Run g_run;

Hooks piris_hooks([] {
    std::lock_guard<std::mutex> lock(g_lock);
    g_run = Run();
});

// A new run from where the stepper stands now.
void start_run(double target, double steps)
{
    std::lock_guard<std::mutex> lock(g_lock);
    const Clock::time_point now = Clock::now();
    const double here = g_run.position(now);
    g_run = {here, std::clamp(target, kOpenEnd, kShutEnd), steps, now};
}

int piris_status_get(void *arg)
{
    s32 status = piris_moving() ? 1 : 0;
    return put_user(arg, status) ? 0 : fail(EFAULT);
}

// The record is 12 bytes, although the origin and close numbers say 4.
bool take(void *arg, const char *what, PIRIS_DATA_S &d)
{
    if (!get_user(d, arg))
        return false;
    event("piris", "%s zero_is_max %d total %d step %d", what, d.bZeroIsMax, d.s32TotalStep, d.s32Step);
    return true;
}

int piris_origin(void *arg)
{
    PIRIS_DATA_S d;
    if (!take(arg, "origin", d))
        return fail(EFAULT);
    const double here = piris_position();
    start_run(here + d.s32Step, std::fabs((double)d.s32Step));
    return 0;
}

int piris_goto(void *arg, const char *what)
{
    PIRIS_DATA_S d;
    if (!take(arg, what, d))
        return fail(EFAULT);
    const double target = std::clamp((double)d.s32Step, kOpenEnd, kShutEnd);
    start_run(target, std::fabs(target - piris_position()));
    return 0;
}

const IoctlOp<void> kPirisOps[] = {
    {PIRIS_STATUS_GET, piris_status_get},
    {PIRIS_ORIGIN_SET, piris_origin},
    {PIRIS_CLOSE_SET, [](void *arg) { return piris_goto(arg, "close"); }},
    {PIRIS_POS_SET, [](void *arg) { return piris_goto(arg, "position"); }},
};

class PirisDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override { return dispatch(kPirisOps, request, arg); }
};

DeviceRegistration piris_device("/dev/piris", [](int) { return std::make_shared<PirisDevice>(); });

} // namespace

double piris_position()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_run.position(Clock::now());
}

bool piris_moving()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_run.moving(Clock::now());
}

double piris_light_at(double position)
{
    const double p = std::clamp(position, kOpenEnd, kShutEnd);
    // The last two steps shut the blades.
    return std::exp2(-p / kPirisStepsPerStop) * std::min(1.0, (kShutEnd - p) / 2);
}

} // namespace sim
