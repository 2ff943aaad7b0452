// The recording engine's ISP start: sensor and 3A registration, the ISP's
// mode from the pipeline configuration, and its run thread. The video input
// stage calls the start; the lifecycle and the photo application the stop.
#pragma once

#include "mpi/common/mpi_common.h"

// Registration, memory init, WDR mode, public attributes and ISP init;
// 0 or the failing call's status code.
s32 KX_DV_ISP_Init(void);
// Starts the thread that runs the ISP's per-frame loop; 0 or -1.
s32 KX_DV_ISP_Run(void);
// With the ISP running: exits it, clears its state bit and joins the thread.
s32 KX_DV_ISP_Stop(void);
s32 KX_DV_ISP_ChangePubAttr(s32 x, s32 y, u32 width, u32 height, float fps);
s32 KX_DV_ISP_ChangeWdrMode(u32 mode);
