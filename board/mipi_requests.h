// The MIPI receiver driver's request (/dev/du_mipi, type 'm') and its record,
// shared by the recording engine and the simulated driver.
#pragma once

#include <cstdint>

constexpr uint32_t MIPI_LANE_NUM = 8;
constexpr uint32_t MIPI_VC_NUM = 4;
constexpr uint32_t MIPI_SYNC_CODE_NUM = 4;

// How the sensor's serial lanes are received, as the camera sets it once per
// pipeline start.
struct COMBO_DEV_ATTR_S {
    uint32_t input_mode;
    uint32_t img_width;
    uint32_t img_height;
    uint32_t wdr_mode;             // 1 when the sensor runs a WDR mode
    uint32_t sync_mode;
    uint32_t raw_data_type;
    uint32_t data_endian;
    uint32_t sync_code_endian;
    int16_t lane_id[MIPI_LANE_NUM]; // -1: lane not in use
    uint16_t sync_code[MIPI_LANE_NUM][MIPI_VC_NUM][MIPI_SYNC_CODE_NUM];
};
static_assert(sizeof(COMBO_DEV_ATTR_S) == 304, "MIPI receiver attributes");

constexpr unsigned long MIPI_SET_DEV_ATTR = 0x41306D01; // write, 304 bytes, 'm', 1
