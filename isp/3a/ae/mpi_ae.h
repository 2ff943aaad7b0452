// The exposure library's entry points: registration with the ISP, the
// sensor's and the iris drivers' callbacks, and its control commands.
// The recording engine's ISP start calls DU_DUZ_AE_Register with
// {0, "vudi_ae_lib"} after the sensor registered itself.
#pragma once

#include "isp/isp_3a_comm.h"

#define AE_LIB_NAME "vudi_ae_lib"

// The iris driver an exposure instance drives. DC iris: entry 1 takes a
// PWM duty 0..1000, entry 2 answers its default. P-iris: entry 1 answers 1
// while the stepper moves, entry 2 drives it to its origin, entry 3 closes
// it (both with zero-is-max and the total step count).
struct AE_IRIS_CALLBACKS_S {
    s32 (*pfn_iris_ops1)(u32 u32Value);
    s32 (*pfn_iris_ops2)(u32 u32ZeroIsMax, u32 u32TotalStep);
    s32 (*pfn_iris_ops3)(u32 u32ZeroIsMax, u32 u32TotalStep);
};

// Commands 0 and 1: the debug capture into a buffer in physical memory.
struct AE_DBG_ATTR_S {
    u32 bDebugEn;
    u32 u32PhyAddr;
    u32 u32Depth;
};

enum AE_CTRL_CMD_E : u32 {
    AE_DEBUG_ATTR_SET = 0,
    AE_DEBUG_ATTR_GET = 1,
};

s32 DU_DUZ_AE_Register(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAeLib);
s32 DU_DUZ_AE_UnRegister(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAeLib);
s32 DU_DUZ_AE_Ctrl(const ALG_LIB_HANDLE_S *pstAeLib, u32 u32Cmd, void *pValue);
s32 DU_DUZ_AE_IrisRegisterCallBack(const ALG_LIB_HANDLE_S *pstAeLib, const AE_IRIS_CALLBACKS_S *pstRegister);
// DU_DUZ_AE_SensorRegCallBack and DU_DUZ_AE_SensorUnRegCallBack: isp/isp_3a_comm.h.
