// A local wall-clock time as the system clock counts it.
#pragma once

#include <ctime>

namespace devicestest {

inline time_t local(int y, int mo, int d, int h, int mi, int s)
{
    struct tm tm = {};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return mktime(&tm);
}

} // namespace devicestest
