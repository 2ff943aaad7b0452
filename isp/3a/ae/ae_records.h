// The exposure attribute records in the exposure library's register page:
// one field table per record. The attribute interface sets and gets them
// on handle 0's page, the library takes the settings from its own page
// every frame.
#pragma once

#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/isp_vreg_fields.h"

extern const vreg_table<AE_EXPOSURE_SETTINGS_S> kAeExposureRecord;
extern const vreg_table<AE_WDR_RATIO_SETTINGS_S> kAeWdrRatioRecord;
extern const vreg_table<AE_IRIS_SETTINGS_S> kAeIrisRecord;
extern const vreg_table<AE_DCIRIS_SETTINGS_S> kAeDcirisRecord;
extern const vreg_table<AE_PIRIS_SETTINGS_S> kAePirisRecord;
// Routes: a Set raises the changed flag after the nodes; the library takes
// the route while the flag is up and puts it down once its run used it.
extern const vreg_table<AE_ROUTE_TABLE_S> kAeRouteRecord;
extern const vreg_table<AE_ROUTE_EX_TABLE_S> kAeRouteExRecord;
extern const vreg_table<ISP_AE_ROUTE_S> kAeLibRouteRecord;
extern const vreg_table<ISP_AE_ROUTE_EX_S> kAeLibRouteExRecord;
// The status the library publishes and the query reads (with the ISP's
// histogram registers as they are: 256-bin words still coded, the five-bin
// middle bin not there).
extern const vreg_table<AE_EXPOSURE_STATUS_S> kAeStatusRecord;

inline u32 ae_page(s32 handle) { return AE_LIB_VREG_BASE((u32)handle); }
