// The white-balance attribute records in the white-balance library's
// register page: one field table per record. The attribute interface sets
// and gets them on handle 0's page, the library takes the settings from its
// own page on every full run and publishes its status.
#pragma once

#include "isp/3a/awb/mpi_isp_awb.h"
#include "isp/isp_vreg_fields.h"

extern const vreg_table<AWB_WB_SETTINGS_S> kAwbWbRecord;
extern const vreg_table<AWB_WB_SETTINGS_EX_S> kAwbWbExRecord;
extern const vreg_table<AWB_CCM_SETTINGS_S> kAwbCcmRecord;
extern const vreg_table<AWB_SATURATION_SETTINGS_S> kAwbSaturationRecord;
// What the run publishes, with the ISP's gain and matrix registers beside it.
extern const vreg_table<AWB_WB_STATUS_S> kAwbStatusRecord;

inline u32 awb_page(s32 handle) { return AWB_LIB_VREG_BASE((u32)handle); }
