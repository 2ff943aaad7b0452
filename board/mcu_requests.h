// The power microcontroller (/dev/kxmcudev) and the battery ADC behind it
// (/dev/kxadcdev): plain read() and write() of one record, shared by the
// camera and the simulated driver.
#pragma once

#include <cstddef>
#include <cstdint>

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
