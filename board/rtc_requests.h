// The real-time clock's requests (/dev/du_rtc) and its time record, shared
// by the camera and the simulated driver.
#pragma once

#include <cstddef>
#include <cstdint>

// Full year, month 1..12.
struct rtc_time_rec {
    uint32_t year;
    uint32_t month;
    uint32_t date;
    uint32_t hour;
    uint32_t minute;
    uint32_t second;
    uint32_t weekday;
};
static_assert(sizeof(rtc_time_rec) == 28 && offsetof(rtc_time_rec, second) == 20, "RTC record layout");

enum : unsigned long {
    DU_RTC_PREPARE = 0x7004,
    DU_RTC_RD_TIME = 0x801C7009,
    DU_RTC_SET_TIME = 0x401C700A,
};
