// The audio codec's driver (/dev/tlv320aic31): its request numbers and the
// one control record every request passes, shared by the recording engine's
// audio start and the simulated driver.
#pragma once

#include <cstdint>

// Every request takes this record.
struct Aic31Ctrl {
    uint32_t u32Ctrl;       // the control word, fields below
    uint32_t u32Data;
    uint32_t u32SampleRate; // Hz
};
static_assert(sizeof(Aic31Ctrl) == 12, "codec control record");

// Fields of the control word: {shift, width}.
struct Aic31Field {
    uint32_t shift, width;
};
constexpr Aic31Field AIC31_CHIP = {0, 3};
constexpr Aic31Field AIC31_SWITCH_A = {5, 1};
constexpr Aic31Field AIC31_SWITCH_B = {6, 1};
constexpr Aic31Field AIC31_LEVEL = {7, 7};
constexpr Aic31Field AIC31_RATE_CODE = {14, 4};
constexpr Aic31Field AIC31_FAMILY_44K1 = {18, 1};
constexpr Aic31Field AIC31_PAIR = {19, 2};
constexpr Aic31Field AIC31_MASTER = {21, 1};
constexpr Aic31Field AIC31_TRANSFER = {24, 2};

constexpr uint32_t aic31_get(uint32_t word, Aic31Field f) { return (word >> f.shift) & ((1u << f.width) - 1); }
constexpr uint32_t aic31_set(uint32_t word, Aic31Field f, uint32_t value)
{
    const uint32_t mask = ((1u << f.width) - 1) << f.shift;
    return (word & ~mask) | ((value << f.shift) & mask);
}

// Request numbers are raw, as the driver takes them. Two have names of their
// own; the others are known by number only.
constexpr unsigned long AIC31_SOFT_RESET = 0x33;
constexpr unsigned long AIC31_SET_TRANSFER_MODE = 0x34;

// Every number the driver accepts, in the order the camera's set-up sends
// them (0x35 only in the I2S-slave and PCM modes, 0x0F or 0x41 by input path).
constexpr unsigned long AIC31_REQUESTS[] = {
    0x33, 0x24, 0x34, 0x22, 0x21, 0x25, 0x26, 0x27, 0x28, 0x35, 0x23, 0x16, 0x19, 0x17, 0x20,
    0x30, 0x31, 0x00, 0x01, 0x102, 0x03, 0x38, 0x37, 0x39, 0x40, 0x0F, 0x41, 0x08, 0x11,
};
