// The ISP start the video input stage calls, stood in for while the tests
// bring the pipeline up without sensor and 3A libraries: each call leaves an
// event line ("test isp init", "test isp run", "test isp stop") so that the
// order of the stages can be read from events.log. Include in one file of a
// test program only.
#pragma once

#include "board/sim/sim.h"
#include "recorder/dv_isp.h"
#include "recorder/dv_pipeline.h"

// The status the next KX_DV_ISP_Init answers with.
inline s32 g_isp_standin_init_ret = 0;

s32 KX_DV_ISP_Init(void)
{
    sim::event("test", "isp init");
    return g_isp_standin_init_ret;
}

s32 KX_DV_ISP_Run(void)
{
    sim::event("test", "isp run");
    return 0;
}

s32 KX_DV_ISP_Stop(void)
{
    if (u32RecModeFlag & DV_STATE_ISP) {
        sim::event("test", "isp stop");
        u32RecModeFlag &= ~DV_STATE_ISP;
    }
    return 0;
}
