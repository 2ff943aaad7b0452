// /dev/du_mipi: the sensor's serial receiver. It takes the receiver record,
// checks the sizes and lanes it describes and keeps it for the board.
#include "board/sim/devices/mipi.h"
#include "board/sim/sim.h"

#include <cerrno>
#include <mutex>

namespace {

using namespace sim;

struct MipiState {
    std::mutex lock;
    bool set = false;
    COMBO_DEV_ATTR_S attr{};
};

MipiState *g_mipi = nullptr;

Hooks mipi_hooks([] { g_mipi = new MipiState; },
                 [] {
                     delete g_mipi;
                     g_mipi = nullptr;
                 });

bool sound(const COMBO_DEV_ATTR_S &a)
{
    if (a.img_width == 0 || a.img_height == 0 || a.img_width > 4096 || a.img_height > 4096 || a.wdr_mode > 1)
        return false;
    int used = 0;
    for (int16_t id : a.lane_id) {
        if (id < -1 || id >= (int16_t)MIPI_LANE_NUM)
            return false;
        used += id >= 0;
    }
    return used > 0;
}

int mipi_set_dev_attr(void *arg)
{
    COMBO_DEV_ATTR_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    if (!sound(a))
        return fail(EINVAL);
    std::lock_guard<std::mutex> lock(g_mipi->lock);
    g_mipi->attr = a;
    g_mipi->set = true;
    event("mipi", "dev attr mode %u %ux%u wdr %u lanes %d,%d,%d,%d", a.input_mode, a.img_width, a.img_height,
          a.wdr_mode, a.lane_id[0], a.lane_id[1], a.lane_id[2], a.lane_id[3]);
    return 0;
}

const IoctlOp<void> kMipiOps[] = {
    {MIPI_SET_DEV_ATTR, mipi_set_dev_attr},
};

class MipiFile : public Device {
public:
    int ioctl(unsigned long req, void *arg) override
    {
        if (!g_mipi)
            return fail(ENODEV);
        return dispatch(kMipiOps, req, arg);
    }
};

DeviceRegistration mipi_device("/dev/du_mipi", [](int) { return std::make_shared<MipiFile>(); });

} // namespace

namespace sim {

bool mipi_dev_attr(COMBO_DEV_ATTR_S *out)
{
    if (!g_mipi)
        return false;
    std::lock_guard<std::mutex> lock(g_mipi->lock);
    if (g_mipi->set)
        *out = g_mipi->attr;
    return g_mipi->set;
}

} // namespace sim
