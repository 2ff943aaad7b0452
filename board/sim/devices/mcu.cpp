// /dev/kxmcudev: the power microcontroller, and /dev/kxadcdev, the battery ADC.
// Register 3 latches a power-key press, 12 and 13 carry the battery reading,
// and 0xAA written to register 4 cuts the power.
#include "board/mcu_requests.h"
#include "board/sim/sim.h"

#include <cerrno>

namespace sim {

namespace {

constexpr uint32_t kRegs = 256;

std::mutex g_lock;
uint32_t g_regs[kRegs];

Hooks mcu_hooks([] {
    std::lock_guard<std::mutex> lock(g_lock);
    for (auto &r : g_regs)
        r = 0;
});

uint32_t read_reg(uint32_t reg)
{
    World w = world();
    std::lock_guard<std::mutex> lock(g_lock);
    switch (reg) {
    case 3: // power-off key press, kept until the power goes
        return w.key_power || w.power_key_seen ? 1 : 0;
    case 12:
        return ((uint32_t)w.battery >> 8) & 0xFF;
    case 13:
        return (uint32_t)w.battery & 0xFF;
    default:
        return g_regs[reg];
    }
}

class McuDevice : public Device {
public:
    ssize_t read(void *buf, size_t count) override
    {
        mcu_transfer t;
        if (count != MCU_TRANSFER_COUNT)
            return fail(EINVAL);
        if (!get_user(t, buf))
            return fail(EFAULT);
        if (t.reg >= kRegs)
            return fail(EINVAL);
        t.value = read_reg(t.reg);
        // The battery reads are the firmware's battery checks: logged, so
        // that a test can count them instead of guessing their pace.
        if (t.reg == 12 || t.reg == 13)
            event("mcu", "r %u 0x%02x", t.reg, t.value);
        return put_user(buf, t) ? (ssize_t)count : fail(EFAULT);
    }

    ssize_t write(const void *buf, size_t count) override
    {
        mcu_transfer t;
        if (count != MCU_TRANSFER_COUNT)
            return fail(EINVAL);
        if (!get_user(t, buf))
            return fail(EFAULT);
        if (t.reg >= kRegs || t.value > 0xFF)
            return fail(EINVAL);
        {
            std::lock_guard<std::mutex> lock(g_lock);
            g_regs[t.reg] = t.value;
        }
        event("mcu", "w %u 0x%02x", t.reg, t.value);
        if (t.reg == 4 && t.value == MCU_POWER_OFF_CMD)
            power_off();
        return (ssize_t)count;
    }
};

class AdcDevice : public Device {
public:
    ssize_t read(void *buf, size_t count) override
    {
        adc_transfer t;
        if (count != MCU_TRANSFER_COUNT)
            return fail(EINVAL);
        if (!get_user(t, buf))
            return fail(EFAULT);
        if (t.channel > 1)
            return fail(EINVAL);
        // An 8-bit converter: channel 0 sees the battery, channel 1 nothing.
        int v = t.channel == 0 ? world().battery >> 2 : 0;
        t.value = (uint32_t)(v > 255 ? 255 : v);
        return put_user(buf, t) ? (ssize_t)count : fail(EFAULT);
    }
};

DeviceRegistration mcu_device("/dev/kxmcudev", [](int) { return std::make_shared<McuDevice>(); });
DeviceRegistration adc_device("/dev/kxadcdev", [](int) { return std::make_shared<AdcDevice>(); });

} // namespace

} // namespace sim
