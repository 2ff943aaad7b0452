// What the media platform drivers share: their kernel log, read through
// /dev/logmpp, and the requests a test makes them refuse.
#pragma once

#include <cstdint>

namespace sim {

// One line of module `mod` at `level` (0 emergencies .. 7 debug); kept when the
// module's configured level lets it through.
void mpp_log(uint32_t mod, int level, const char *fmt, ...) __attribute__((format(printf, 3, 4)));

// True when board.conf's "<device>_refuse" names this request: the driver then
// fails it (EIO), so tests can reach the firmware's failure paths.
bool mpp_refused(const char *device, unsigned long request);

} // namespace sim
