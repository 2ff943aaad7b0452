// The recording engine's ISP start: sensor and 3A registration, the ISP's
// mode from the pipeline configuration, and its run thread. The video input
// stage calls the start; the lifecycle and the photo application the stop.
#pragma once

#include "mpi/common/mpi_common.h"

#include <pthread.h>

// The ISP run thread while state bit DV_STATE_ISP is set. Created and
// joined by the pipeline's input stage and its stop, on the handler thread.
extern pthread_t gs_DvIspPid;

// Registration, memory init, WDR mode, public attributes and ISP init;
// 0 or the failing call's status code. A failure takes back what was done,
// so that the next start can register again.
s32 KX_DV_ISP_Init(void);
// Starts the thread that runs the ISP's per-frame loop; 0 or -1 (with the
// initialised ISP taken down again).
s32 KX_DV_ISP_Run(void);
// The thread's body: the ISP's loop, until the ISP is exited.
void *DV_ISP_Run_Thread(void *arg);
// With the ISP running: exits it, clears its state bit and joins the thread.
// A failed exit leaves both. Always 0.
s32 KX_DV_ISP_Stop(void);
// Public attributes and WDR mode of the running ISP (Bayer order 1); 0 or
// the status code. Its run loop performs the switch.
s32 KX_DV_ISP_ChangePubAttr(s32 x, s32 y, u32 width, u32 height, float fps);
s32 KX_DV_ISP_ChangeWdrMode(u32 mode);
