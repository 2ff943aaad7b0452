// Test doubles for the capture threads the engine calls, so that the engine
// is tested alone: each call leaves an event line ("test mp4 start", "test mp4
// stop", "test stream stop") from which the engine's order is read, and a
// failing start can be injected. Include in one file of a test program only.
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
