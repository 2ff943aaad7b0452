// The white-balance library "vudi_awb_lib": registration with the ISP and
// with the sensor driver, and its control entry. The recording engine's ISP
// start calls DU_DUZ_AWB_Register after the sensor registered its callbacks
// and before DU_DUZ_ISP_Init.
#pragma once

#include "isp/isp_3a_comm.h"

#define AWB_LIB_NAME "vudi_awb_lib"
#define AWB_LIB_MAX 2

// Control commands of the library besides the ISP's own (ISP_CTRL_CMD_E).
enum AWB_CTRL_CMD_E : u32 {
    AWB_SATURATION_SET = 0, // u8 in
    AWB_SATURATION_GET = 1, // u8 out
    AWB_DEBUG_ATTR_SET = 2, // AWB_DBG_ATTR_S in
    AWB_DEBUG_ATTR_GET = 3, // AWB_DBG_ATTR_S out
};

// The debug capture: a ring of `u32Depth` records in physical memory.
struct AWB_DBG_ATTR_S {
    u32 bDebugEn;
    u32 u32PhyAddr;
    u32 u32Depth;
};

s32 DU_DUZ_AWB_Register(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib);
s32 DU_DUZ_AWB_UnRegister(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAwbLib);
s32 DU_DUZ_AWB_Ctrl(const ALG_LIB_HANDLE_S *pstAwbLib, u32 u32Cmd, void *pValue);
// DU_DUZ_AWB_SensorRegCallBack / DU_DUZ_AWB_SensorUnRegCallBack: isp/isp_3a_comm.h.
