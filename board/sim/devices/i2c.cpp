// /dev/i2c-0: the I2C adapter the image sensor hangs on. The device address
// and the register and data widths are set by request; each write of three
// bytes (register bits 0-7, bits 8-15, data) goes to the addressed device.
#include "board/sim/picture/mn34220.h"
#include "board/sim/sim.h"
#include "isp/sensor/i2c_requests.h"

#include <cerrno>
#include <cstdint>

namespace sim {

namespace {

// The adapter's settings a request changes; each takes its value in place of
// a record.
struct I2cCall {
    uint8_t &dev_addr;
    unsigned &reg_bytes;
};

uintptr_t value_of(void *arg) { return reinterpret_cast<uintptr_t>(arg); }

int i2c_set_dev(I2cCall &k, void *arg)
{
    if (value_of(arg) > 0xFF)
        return fail(EINVAL);
    k.dev_addr = (uint8_t)value_of(arg);
    return 0;
}

int i2c_set_reg_width(I2cCall &k, void *arg)
{
    if (value_of(arg) > 1)
        return fail(EINVAL);
    k.reg_bytes = (unsigned)value_of(arg) + 1;
    return 0;
}

const IoctlOp<I2cCall> kI2cOps[] = {
    {I2C_CMD_SET_DEV, i2c_set_dev},
    {I2C_CMD_SET_REG_WIDTH, i2c_set_reg_width},
    // The sensor takes 8-bit data only.
    {I2C_CMD_SET_DATA_WIDTH, [](I2cCall &, void *arg) { return value_of(arg) != 0 ? fail(EINVAL) : 0; }},
};

class I2cDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        I2cCall call{dev_addr_, reg_bytes_};
        return dispatch(kI2cOps, request, call, arg);
    }

    ssize_t write(const void *buf, size_t count) override
    {
        uint8_t bytes[I2C_WRITE_SIZE];
        if (reg_bytes_ != 2 || count != I2C_WRITE_SIZE)
            return fail(EINVAL);
        if (!copy_from_user(bytes, buf, count))
            return fail(EFAULT);
        uint16_t reg = (uint16_t)(bytes[0] | bytes[1] << 8);
        if (!sensor_i2c_write(dev_addr_, reg, bytes[2]))
            return fail(EIO); // nobody acknowledged
        return (ssize_t)count;
    }

private:
    uint8_t dev_addr_ = 0;
    unsigned reg_bytes_ = 1;
};

DeviceRegistration i2c_device("/dev/i2c-0", [](int) -> std::shared_ptr<Device> {
    if (conf_int("i2c", 1) == 0) {
        errno = ENODEV;
        return nullptr;
    }
    return std::make_shared<I2cDevice>();
});

} // namespace

} // namespace sim
