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

// Request numbers are raw, as the driver takes them. Each sets one part of
// the chip from the control record: a register of a left or right path (the
// level field its gain or attenuation, switch A its mute or route bit,
// switch B its power or route bit), or the clocks and the data interface.
constexpr unsigned long AIC31_SOFT_RESET = 0x33;
constexpr unsigned long AIC31_SET_SAMPLE_RATE = 0x24;   // rate code, 44.1 kHz family, master bit, rate
constexpr unsigned long AIC31_SET_TRANSFER_MODE = 0x34; // I2S or PCM
constexpr unsigned long AIC31_SET_PLL = 0x22;           // the codec clock for the rate
constexpr unsigned long AIC31_SET_CLOCK_DIR = 0x21;     // who drives the bit and word clocks
constexpr unsigned long AIC31_DAC_L_VOLUME = 0x25;
constexpr unsigned long AIC31_DAC_R_VOLUME = 0x26;
constexpr unsigned long AIC31_DAC_L_POWER = 0x27;
constexpr unsigned long AIC31_DAC_R_POWER = 0x28;
constexpr unsigned long AIC31_SET_DATA_OFFSET = 0x35; // PCM modes: bit clocks before the data (data word)
constexpr unsigned long AIC31_SET_DAC_PATH = 0x23;    // the two-bit field: which data each DAC plays
constexpr unsigned long AIC31_DAC_L_TO_HPL = 0x16;
constexpr unsigned long AIC31_DAC_R_TO_HPR = 0x19;
constexpr unsigned long AIC31_HPL_LEVEL = 0x17;
constexpr unsigned long AIC31_HPR_LEVEL = 0x20;
constexpr unsigned long AIC31_ADC_L_GAIN = 0x30;
constexpr unsigned long AIC31_ADC_R_GAIN = 0x31;
constexpr unsigned long AIC31_AGC_L = 0x00;
constexpr unsigned long AIC31_AGC_R = 0x01;
constexpr unsigned long AIC31_MIC3_TO_ADC = 0x102;
constexpr unsigned long AIC31_LINE1L_TO_ADC = 0x03;
constexpr unsigned long AIC31_LINE1R_TO_ADC = 0x38;
constexpr unsigned long AIC31_LINE2L_TO_ADC = 0x37;
constexpr unsigned long AIC31_LINE2R_TO_ADC = 0x39;
constexpr unsigned long AIC31_MIC_BIAS = 0x40;
constexpr unsigned long AIC31_LINE_IN_ROUTE = 0x0F; // the input path: line in
constexpr unsigned long AIC31_MIC_IN_ROUTE = 0x41;  // the input path: microphone
constexpr unsigned long AIC31_LOP_L_LEVEL = 0x08;
constexpr unsigned long AIC31_LOP_R_LEVEL = 0x11;

// Every number the driver accepts, in the order the camera's set-up sends
// them (the data offset only in the PCM modes, one of the two routes by
// input path).
constexpr unsigned long AIC31_REQUESTS[] = {
    AIC31_SOFT_RESET,    AIC31_SET_SAMPLE_RATE, AIC31_SET_TRANSFER_MODE, AIC31_SET_PLL,       AIC31_SET_CLOCK_DIR,
    AIC31_DAC_L_VOLUME,  AIC31_DAC_R_VOLUME,    AIC31_DAC_L_POWER,       AIC31_DAC_R_POWER,   AIC31_SET_DATA_OFFSET,
    AIC31_SET_DAC_PATH,  AIC31_DAC_L_TO_HPL,    AIC31_DAC_R_TO_HPR,      AIC31_HPL_LEVEL,     AIC31_HPR_LEVEL,
    AIC31_ADC_L_GAIN,    AIC31_ADC_R_GAIN,      AIC31_AGC_L,             AIC31_AGC_R,         AIC31_MIC3_TO_ADC,
    AIC31_LINE1L_TO_ADC, AIC31_LINE1R_TO_ADC,   AIC31_LINE2L_TO_ADC,     AIC31_LINE2R_TO_ADC, AIC31_MIC_BIAS,
    AIC31_LINE_IN_ROUTE, AIC31_MIC_IN_ROUTE,    AIC31_LOP_L_LEVEL,       AIC31_LOP_R_LEVEL,
};
