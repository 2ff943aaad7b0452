// The scene auto-tuning adapter's operations that the camera application and
// the recording engine call directly, and the engine's entry points.
#pragma once

#include "mpi/common/mpi_common.h"

// The user's contrast preference into the colour conversion of video input
// device `dev`; 0 after a successful set, -1 otherwise (callers ignore it).
s32 CommSceneManualSetVICSC(s32 dev);

// Exposure and white balance frozen at what they are now (lock 1) or back
// to automatic (lock 0); 0, or -1 after the failing call's line.
s32 CommSceneautoLockAE(u32 lock);
s32 CommSceneautoLockAwb(u32 lock);

// What the last lock froze; an unlock leaves them.
extern u32 u32AELockExpTime, u32AELockAGain, u32AELockDGain, u32AELockISPDGain;
extern u32 AWBLockRGain, AWBLockGGain, AWBLockBGain;

// The engine's start-up, commands and end as the recording engine uses
// them: 1 on success, -1 on failure. Commands: 1 start, 2 stop, 3 special
// scene (arg 0..4 scenes 1..5, 5 the normal scene), 4 print the scene.
s32 KX_Scene_Auto_Init(void);
s32 KX_Scene_Auto_Run(u32 cmd, u32 arg);
s32 KX_Scene_Auto_Exit(void);
