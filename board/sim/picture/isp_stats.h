// The ISP's statistics block: what it gathers of each frame.
#pragma once

#include "isp/isp_requests.h"

namespace sim {

// One frame's statistics, into `st` (the buffer the firmware reads) and the
// statistics registers.
void isp_gather_statistics(ISP_STAT_S &st);

} // namespace sim
