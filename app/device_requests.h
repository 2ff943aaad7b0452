// Requests and records of the camera's own drivers: GPIO, power
// microcontroller, battery ADC and real-time clock. Shared with the simulated
// board's drivers.
#pragma once

#include <cstddef>
#include <cstdint>

// GPIO numbers are bank * 256 + pin.
struct gpio_request {
    uint32_t bank;
    uint32_t pin;
    uint32_t value;
};
static_assert(sizeof(gpio_request) == 12, "GPIO request record is three words");

enum : unsigned long {
    GPIO_REQ_DIRECTION = 0x101, // value 1 = output
    GPIO_REQ_SET_HIGH = 0x201,
    GPIO_REQ_SET_LOW = 0x301,
    GPIO_REQ_GET = 0x401,
    GPIO_REQ_MUX = 0x501, // value 0 = plain GPIO
};

// One power-microcontroller register: read() and write() of this record with
// a count of 2.
struct mcu_transfer {
    uint32_t reg;
    uint32_t value;
};
static_assert(sizeof(mcu_transfer) == 8 && offsetof(mcu_transfer, value) == 4, "MCU record layout");

constexpr size_t MCU_TRANSFER_COUNT = 2;
constexpr uint32_t MCU_POWER_OFF_CMD = 0xAA; // written to register 4: cut power now

// One battery ADC channel: read() of this record with a count of 2.
struct adc_transfer {
    uint32_t channel;
    uint32_t value;
};
static_assert(sizeof(adc_transfer) == 8, "ADC record layout");

// The real-time clock's time record: full year, month 1..12.
struct rtc_time_rec {
    uint32_t year;
    uint32_t month;
    uint32_t date;
    uint32_t hour;
    uint32_t minute;
    uint32_t second;
    uint32_t weekday;
};
static_assert(sizeof(rtc_time_rec) == 28 && offsetof(rtc_time_rec, second) == 20, "RTC record layout");

enum : unsigned long {
    DU_RTC_PREPARE = 0x7004,
    DU_RTC_RD_TIME = 0x801C7009,
    DU_RTC_SET_TIME = 0x401C700A,
};
