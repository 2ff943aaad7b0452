// The Panasonic MN34220 sensor driver: what the recording engine calls.
#pragma once

#include "mpi/common/mpi_common.h"

#define MN34220_SENSOR_ID 34220

// Registers the driver with ISP device 0 and its exposure and white-balance
// callbacks with the libraries {0, "vudi_ae_lib"} and {0, "vudi_awb_lib"}.
s32 sensor_register_callback(void);
s32 sensor_unregister_callback(void);

s32 sensor_set_inifile_path(const char *pcPath);
