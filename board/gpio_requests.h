// The GPIO driver's requests (/dev/kxgpiodev) and their record, shared by
// the camera and the simulated driver.
#pragma once

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
