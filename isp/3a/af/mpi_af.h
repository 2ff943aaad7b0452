// The auto-focus library: it fills the ISP's focus slot and does no
// focusing. The recording engine's ISP start calls DU_DUZ_AF_Register with
// {0, "vudi_af_lib"}.
#pragma once

#include "isp/isp_3a_comm.h"

#define AF_LIB_NAME "vudi_af_lib"

s32 DU_DUZ_AF_Register(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAfLib);
s32 DU_DUZ_AF_UnRegister(s32 s32Dev, const ALG_LIB_HANDLE_S *pstAfLib);
s32 DU_DUZ_AF_Ctrl(const ALG_LIB_HANDLE_S *pstAfLib, u32 u32Cmd, void *pValue);
