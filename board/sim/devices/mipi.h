// The simulated MIPI receiver (board/sim/devices/mipi.cpp): what the camera set.
#pragma once

#include "board/mipi_requests.h"

namespace sim {

// The receiver record last set since the board started; false before any.
bool mipi_dev_attr(COMBO_DEV_ATTR_S *out);

} // namespace sim
