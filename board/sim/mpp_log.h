// What the media platform drivers share: their kernel log, read through
// /dev/logmpp, and the requests a test makes them refuse.
#pragma once

#include <cerrno>
#include <cstdint>
#include <mutex>

#include "board/sim/sim.h"

namespace sim {

// One line of module `mod` at `level` (0 emergencies .. 7 debug); kept when the
// module's configured level lets it through.
void mpp_log(uint32_t mod, int level, const char *fmt, ...) __attribute__((format(printf, 3, 4)));

// True when board.conf's "<device>_refuse" names this request: the driver then
// fails it (EIO), so tests can reach the firmware's failure paths.
bool mpp_refused(const char *device, unsigned long request);

// Copies a request's record in, runs `fn` on it under `lock` and, for a
// request that reads, copies it back out when `fn` succeeded.
template <class Rec, class Fn> int with_record(std::mutex &lock, void *arg, bool out, Fn fn)
{
    Rec rec;
    if (!get_user(rec, arg))
        return fail(EFAULT);
    int ret;
    {
        std::lock_guard<std::mutex> guard(lock);
        ret = fn(rec);
    }
    if (ret == 0 && out && !put_user(arg, rec))
        return fail(EFAULT);
    return ret;
}

} // namespace sim
