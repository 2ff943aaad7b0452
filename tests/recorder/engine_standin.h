// The capture threads the engine calls, stood in for until they are built:
// each call leaves an event line ("test mp4 start", "test mp4 stop", "test
// stream stop") so that the engine's order can be read from events.log.
// Include in one file of a test program only.
#pragma once

#include "board/sim/sim.h"
#include "recorder/dv_engine.h"

// What the next KX_DV_StartMp4Thread answers.
inline s32 g_mp4_standin_start_ret = 0;

s32 KX_DV_StartMp4Thread(void)
{
    sim::event("test", "mp4 start");
    return g_mp4_standin_start_ret;
}

s32 KX_DV_StopMp4Thread(void)
{
    sim::event("test", "mp4 stop");
    return 0;
}

s32 KX_DV_StopGetStream(void)
{
    sim::event("test", "stream stop");
    return 0;
}
