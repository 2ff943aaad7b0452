// The power microcontroller through /dev/kxmcudev, one register a transfer.
#include "app/devices/mcu.h"

#include <cstdio>
#include <fcntl.h>

#include "board/board.h"
#include "board/mcu_requests.h"

namespace {

// One transfer per open: the driver serialises the I2C bus behind it.
int mcu_transfer_once(uint32_t reg, uint32_t *value, bool write)
{
    int fd = bd_open("/dev/kxmcudev", O_RDWR);
    if (fd < 0) {
        puts("Open /dev/kxmcudev error!");
        return -1;
    }
    mcu_transfer t = {reg, write ? *value : 0};
    ssize_t n = write ? bd_write(fd, &t, MCU_TRANSFER_COUNT) : bd_read(fd, &t, MCU_TRANSFER_COUNT);
    bd_close(fd);
    if (n < 0)
        return -1;
    if (!write)
        *value = t.value;
    return 0;
}

} // namespace

int mcu_i2c_read(uint32_t reg)
{
    uint32_t value = 0;
    if (mcu_transfer_once(reg, &value, false) != 0)
        return -1;
    return (int)value;
}

int mcu_i2c_write(uint32_t reg, uint32_t value) { return mcu_transfer_once(reg, &value, true); }

enum {
    MCU_REG_POWER_ON_KEY_TYPE = 0,
    MCU_REG_POWER_ON_KEY_STATUS = 1,
    MCU_REG_POWER_OFF_KEY_STATUS = 2,
    MCU_REG_POWER_OFF_KEY_PRESS = 3,
    MCU_REG_POWER_OFF_CMD = 4,
    MCU_REG_POWER_ON_SOURCE = 5,
    MCU_REG_ALARM_EN = 6,
    MCU_REG_ALARM_DAY = 7,
    MCU_REG_ALARM_HOUR = 8,
    MCU_REG_ALARM_MIN = 9,
    MCU_REG_ALARM_SEC = 10,
};

int get_power_on_key_type(void) { return mcu_i2c_read(MCU_REG_POWER_ON_KEY_TYPE); }
int set_power_on_key_type(uint32_t v) { return mcu_i2c_write(MCU_REG_POWER_ON_KEY_TYPE, v); }
int set_power_on_key_status(uint32_t v) { return mcu_i2c_write(MCU_REG_POWER_ON_KEY_STATUS, v); }
int get_power_on_key_status(void) { return mcu_i2c_read(MCU_REG_POWER_ON_KEY_STATUS); }
int set_power_off_key_status(uint32_t v) { return mcu_i2c_write(MCU_REG_POWER_OFF_KEY_STATUS, v); }
int get_power_off_key_status(void) { return mcu_i2c_read(MCU_REG_POWER_OFF_KEY_STATUS); }
int get_power_off_key_press(void) { return mcu_i2c_read(MCU_REG_POWER_OFF_KEY_PRESS); }
int set_return_power_off_cmd(uint32_t v) { return mcu_i2c_write(MCU_REG_POWER_OFF_CMD, v); }
int get_return_power_off_cmd(void) { return mcu_i2c_read(MCU_REG_POWER_OFF_CMD); }
int set_return_power_on_source(uint32_t v) { return mcu_i2c_write(MCU_REG_POWER_ON_SOURCE, v); }
int get_return_power_on_source(void) { return mcu_i2c_read(MCU_REG_POWER_ON_SOURCE); }
int set_return_alarm_en(uint32_t v) { return mcu_i2c_write(MCU_REG_ALARM_EN, v); }
int get_return_power_alarm_en(void) { return mcu_i2c_read(MCU_REG_ALARM_EN); }
int set_return_power_alarm_day(uint32_t v) { return mcu_i2c_write(MCU_REG_ALARM_DAY, v); }
int get_return_power_alarm_day(void) { return mcu_i2c_read(MCU_REG_ALARM_DAY); }
int set_return_power_alarm_hour(uint32_t v) { return mcu_i2c_write(MCU_REG_ALARM_HOUR, v); }
int get_return_power_alarm_hour(void) { return mcu_i2c_read(MCU_REG_ALARM_HOUR); }
int set_return_power_alarm_min(uint32_t v) { return mcu_i2c_write(MCU_REG_ALARM_MIN, v); }
int get_return_power_alarm_min(void) { return mcu_i2c_read(MCU_REG_ALARM_MIN); }
int set_return_power_alarm_sec(uint32_t v) { return mcu_i2c_write(MCU_REG_ALARM_SEC, v); }
int get_return_power_alarm_sec(void) { return mcu_i2c_read(MCU_REG_ALARM_SEC); }
