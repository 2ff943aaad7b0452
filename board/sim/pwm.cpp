// /dev/pwm: the PWM outputs. Each write is logged ("pwm <n> duty <d> period
// <p> enable <e>") and kept as the output's level.
#include "board/sim/sim.h"
#include "isp/3a/iris/iris_requests.h"

#include <cerrno>

namespace sim {

namespace {

int pwm_write(void *arg)
{
    PWM_DATA_S d; // the request number carries no size: the record is 16 bytes
    if (!get_user(d, arg))
        return fail(EFAULT);
    if (d.pwm_num > 7 || d.period == 0 || d.duty > d.period)
        return fail(EINVAL);
    event("pwm", "%u duty %u period %u enable %u", d.pwm_num, d.duty, d.period, d.enable);
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

} // namespace sim
