// Requests of the I2C adapter "/dev/i2c-0", shared by the sensor driver and
// the simulated adapter. Each takes its argument as a plain value.
#pragma once

constexpr unsigned long I2C_CMD_SET_DEV = 0x0706;       // device address (7 bit, shifted: 0x6C)
constexpr unsigned long I2C_CMD_SET_REG_WIDTH = 0x0709; // 1 = 16-bit register addresses
constexpr unsigned long I2C_CMD_SET_DATA_WIDTH = 0x070A; // 0 = 8 bit

// A register write is three bytes: address bits 0-7, bits 8-15, data.
constexpr unsigned I2C_WRITE_SIZE = 3;
