// /dev/piris: the P-iris stepper. Driving it to its origin or closing it
// is logged ("piris origin|close zero_is_max <z> total <t> step <s>"), and
// the stepper answers "moving" to the next few status polls.
#include "board/sim/sim.h"
#include "isp/3a/iris/iris_requests.h"

#include <atomic>
#include <cerrno>

namespace sim {

namespace {

constexpr int kMovingPolls = 3;
std::atomic<int> g_moving{0};

Hooks piris_hooks([] { g_moving = 0; });

int piris_status_get(void *arg)
{
    int left = g_moving.load();
    while (left > 0 && !g_moving.compare_exchange_weak(left, left - 1)) {
    }
    s32 status = left > 0 ? 1 : 0;
    return put_user(arg, status) ? 0 : fail(EFAULT);
}

// Driving the stepper to its origin, or closing it.
int piris_drive(void *arg, const char *what)
{
    PIRIS_DATA_S d; // 12 bytes, although the number says 4
    if (!get_user(d, arg))
        return fail(EFAULT);
    event("piris", "%s zero_is_max %d total %d step %d", what, d.bZeroIsMax, d.s32TotalStep, d.s32Step);
    g_moving = kMovingPolls;
    return 0;
}

const IoctlOp<void> kPirisOps[] = {
    {PIRIS_STATUS_GET, piris_status_get},
    {PIRIS_ORIGIN_SET, [](void *arg) { return piris_drive(arg, "origin"); }},
    {PIRIS_CLOSE_SET, [](void *arg) { return piris_drive(arg, "close"); }},
};

class PirisDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override { return dispatch(kPirisOps, request, arg); }
};

DeviceRegistration piris_device("/dev/piris", [](int) { return std::make_shared<PirisDevice>(); });

} // namespace

} // namespace sim
