// The scene auto-tuning adapter's operations that the camera application and
// the recording engine call directly.
#pragma once

#include "mpi/common/mpi_common.h"

// The user's contrast preference into the colour conversion of video input
// device `dev`; 0 after a successful set, -1 otherwise (callers ignore it).
s32 CommSceneManualSetVICSC(s32 dev);
