// What scene auto-tuning must ask the application: which application is
// current (the exposure route and the DRC at start follow the recording
// mode). Start-up registers the answer; until then, and without an
// application, no recording or photo application is current.
#pragma once

#include "mpi/common/mpi_common.h"

enum : s32 {
    SCENEAUTO_APP_OTHER = 0,
    SCENEAUTO_APP_RECMODE1 = 1, // video record mode 1
    SCENEAUTO_APP_RECMODE2 = 2, // video record mode 2
    SCENEAUTO_APP_PHOTO = 3,
};

struct SceneautoAppHooks {
    // One of SCENEAUTO_APP_*.
    s32 (*current_app)(void);
};

// Replaces the hooks; the engine's threads are not running yet.
void sceneauto_register_app_hooks(const SceneautoAppHooks &hooks);
// The current application as SCENEAUTO_APP_*.
s32 sceneauto_current_app(void);
