// The date utilities that keep the system clock, the RTC and the
// preferences' clock text in step.
#pragma once

#include <ctime>

#include "core/pref_record.h" // the formats, DATE_FMT_*

// 0 when the text equals `now`, 1 when it is earlier, -1 when later.
int compareTime(const char *text, time_t now, int format);
// Writes `t` into the preferences' Datetime in the format's order.
int repeatTime(const struct tm *t, int format);
// "start": RTC, clock and Datetime brought in step; "end": Datetime from the
// clock and the preferences saved.
int setDefaultTime(const char *which);
// Checks a clock text in the given format and sets RTC and system clock.
int Set_Date_Time(const char *text, int format);
