// The scene auto-tuning engine's interface: start-up, the start and stop of
// its tuning threads, and the special scenes. Return 0 or -1.
#pragma once

#include "mpi/common/mpi_common.h"

s32 DU_VUZI_SCENEAUTO_Init(const char *pcIniPath);
s32 DU_VUZI_SCENEAUTO_DeInit(void);
s32 DU_VUZI_SCENEAUTO_Start(void);
s32 DU_VUZI_SCENEAUTO_Stop(void);
// 0 normal, 1 back-light, 2 infrared, 3 highlight, 4 fast dynamic route,
// 5 DRC, 6..8 FSWDR.
s32 DU_VUZI_SCENEAUTO_GetSpecialMode(u32 *peSpecialScene);
s32 DU_VUZI_SCENEAUTO_SetSpecialMode(const u32 *peSpecialScene);
