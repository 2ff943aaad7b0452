// What the camera application and the recording engine call of scene
// auto-tuning: the adapter's contrast and lock operations and the engine's
// entry points.
#pragma once

#include "sceneauto/du_sceneauto_adpt.h"

// The engine's start-up, commands and end as the recording engine uses
// them: 1 on success, -1 on failure. Commands: 1 start, 2 stop, 3 special
// scene (arg 0..4 scenes 1..5, 5 the normal scene), 4 print the scene.
s32 KX_Scene_Auto_Init(void);
s32 KX_Scene_Auto_Run(u32 cmd, u32 arg);
s32 KX_Scene_Auto_Exit(void);
