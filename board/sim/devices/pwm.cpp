// /dev/pwm: the PWM outputs. Each write is logged ("pwm <n> duty <d> period
// <p> enable <e>"); the output the ISP driver names for the iris drives the
// DC iris's galvanometer (board/sim/picture/lens.h), whose aperture is worked out
// from the drive's history in steps of a millisecond.
#include "board/sim/picture/lens.h"
#include "board/sim/sim.h"
#include "isp/3a/iris/iris_requests.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <mutex>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kStepSeconds = 0.001;
// Longer than this unattended and the galvanometer has long settled: the
// catch-up is cut so that a first look after a pause stays cheap.
constexpr double kCatchUpSeconds = 10;

struct Galvanometer {
    double stops = 0;     // closed from wide open
    double drive = kDcIrisHoldDuty; // what the coil delivers, per mille
    double duty = kDcIrisHoldDuty;  // what the PWM asks for
    Clock::time_point at = Clock::now();

    // Brings the aperture up to now.
    void advance(Clock::time_point now)
    {
        double left = std::min(std::chrono::duration<double>(now - at).count(), kCatchUpSeconds);
        at = now;
        const double follow = 1 - std::exp(-kStepSeconds / kDcIrisLagSeconds);
        for (; left > 0; left -= kStepSeconds) {
            const double dt = std::min(left, kStepSeconds);
            drive += (duty - drive) * (dt < kStepSeconds ? 1 - std::exp(-dt / kDcIrisLagSeconds) : follow);
            stops = std::clamp(stops - kDcIrisSpeed * (drive - kDcIrisHoldDuty) * dt, 0.0, kDcIrisStops);
        }
    }
};

std::mutex g_lock;
Galvanometer g_galvo;

Hooks pwm_hooks([] {
    std::lock_guard<std::mutex> lock(g_lock);
    g_galvo = Galvanometer();
});

int pwm_write(void *arg)
{
    PWM_DATA_S d; // the request number carries no size: the record is 16 bytes
    if (!get_user(d, arg))
        return fail(EFAULT);
    if (d.pwm_num > 7 || d.period == 0 || d.duty > d.period)
        return fail(EINVAL);
    event("pwm", "%u duty %u period %u enable %u", d.pwm_num, d.duty, d.period, d.enable);
    dciris_drive(d.pwm_num, 1000.0 * d.duty / d.period, d.enable != 0);
    return 0;
}

const IoctlOp<void> kPwmOps[] = {
    {PWM_CMD_WRITE, pwm_write},
};

class PwmDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override { return dispatch(kPwmOps, request, arg); }
};

DeviceRegistration pwm_device("/dev/pwm", [](int) { return std::make_shared<PwmDevice>(); });

} // namespace

void dciris_drive(uint32_t pwm, double duty_per_mille, bool enable)
{
    if ((long)pwm != conf_int("iris.pwm", 0))
        return;
    std::lock_guard<std::mutex> lock(g_lock);
    g_galvo.advance(Clock::now());
    g_galvo.duty = enable ? duty_per_mille : 0;
}

double dciris_stops()
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_galvo.advance(Clock::now());
    return g_galvo.stops;
}

double dciris_duty()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_galvo.duty;
}

double dciris_light()
{
    const double stops = dciris_stops();
    return stops >= kDcIrisStops ? 0.0 : std::exp2(-stops);
}

} // namespace sim
