// The MIPI receiver driver's request (/dev/du_mipi, type 'm') and its record,
// shared by the recording engine and the simulated driver.
#pragma once

#include "mpi/common/mpi_common.h"

constexpr u32 MIPI_LANE_NUM = 8;
constexpr u32 MIPI_VC_NUM = 4;
constexpr u32 MIPI_SYNC_CODE_NUM = 4;

// How the sensor's serial lanes are received, as the camera sets it once per
// pipeline start.
struct COMBO_DEV_ATTR_S {
    u32 input_mode;
    u32 img_width;
    u32 img_height;
    u32 wdr_mode;             // 1 when the sensor runs a WDR mode
    u32 sync_mode;
    u32 raw_data_type;
    u32 data_endian;
    u32 sync_code_endian;
    s16 lane_id[MIPI_LANE_NUM]; // -1: lane not in use
    u16 sync_code[MIPI_LANE_NUM][MIPI_VC_NUM][MIPI_SYNC_CODE_NUM];
};
static_assert(sizeof(COMBO_DEV_ATTR_S) == 304, "MIPI receiver attributes");

constexpr unsigned long MIPI_SET_DEV_ATTR = 0x41306D01; // write, 304 bytes, 'm', 1
