// /dev/kxgpiodev: the camera's GPIO lines. Keys, the TV cable and USB power
// are inputs driven by the surroundings; every other line reads back what was
// last driven on it.
#include "board/gpio_requests.h"
#include "board/sim/sim.h"

#include <cerrno>
#include <map>

namespace sim {

namespace {

constexpr int kBanks = 16, kPins = 8;

struct Line {
    uint32_t direction = 0, mux = 0, level = 0;
};

std::mutex g_lock;
std::map<int, Line> g_lines;

Hooks gpio_hooks([] {
    std::lock_guard<std::mutex> lock(g_lock);
    g_lines.clear();
});

int gpio(int bank, int pin) { return bank * 256 + pin; }

// Levels of the lines the outside world drives; -1 for the others.
int input_level(int line)
{
    World w = world();
    if (line == gpio(13, 7))
        return w.key_rec ? 0 : 1; // keys pull low while pressed
    if (line == gpio(13, 6))
        return w.key_mode ? 0 : 1;
    if (line == gpio(5, 2))
        return w.tv ? 0 : 1;
    if (line == gpio(5, 4))
        return w.usb != Usb::none ? 1 : 0;
    return -1;
}

// What a GPIO request works on: its record, and the line it names under the lock.
struct GpioCall {
    gpio_request &req;
    std::unique_lock<std::mutex> &lock;
    int line;
    Line &l;
};

int gpio_set_level(GpioCall &k, uint32_t level)
{
    bool changed = k.l.level != level;
    k.l.level = level;
    k.lock.unlock();
    if (changed || tracing())
        event("gpio", "%u_%u %u", k.req.bank, k.req.pin, level);
    return 0;
}

int gpio_get(GpioCall &k, void *arg)
{
    int in = input_level(k.line);
    k.req.value = in >= 0 ? (uint32_t)in : k.l.level;
    k.lock.unlock();
    return put_user(arg, k.req) ? 0 : fail(EFAULT);
}

const IoctlOp<GpioCall> kGpioOps[] = {
    {GPIO_REQ_DIRECTION,
     [](GpioCall &k, void *) {
         k.l.direction = k.req.value;
         return 0;
     }},
    {GPIO_REQ_MUX,
     [](GpioCall &k, void *) {
         k.l.mux = k.req.value;
         return 0;
     }},
    {GPIO_REQ_SET_HIGH, [](GpioCall &k, void *) { return gpio_set_level(k, 1); }},
    {GPIO_REQ_SET_LOW, [](GpioCall &k, void *) { return gpio_set_level(k, 0); }},
    {GPIO_REQ_GET, gpio_get},
};

class GpioDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        gpio_request req;
        if (!get_user(req, arg))
            return fail(EFAULT);
        if (req.bank >= kBanks || req.pin >= kPins)
            return fail(EINVAL);
        int line = gpio((int)req.bank, (int)req.pin);
        std::unique_lock<std::mutex> lock(g_lock);
        GpioCall call{req, lock, line, g_lines[line]};
        return dispatch(kGpioOps, request, call, arg);
    }
};

DeviceRegistration gpio_device("/dev/kxgpiodev", [](int) { return std::make_shared<GpioDevice>(); });

} // namespace

int gpio_level(int line)
{
    int in = input_level(line);
    if (in >= 0)
        return in;
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_lines.find(line);
    return it == g_lines.end() ? 0 : (int)it->second.level;
}

} // namespace sim
