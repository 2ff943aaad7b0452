// The date utilities that keep the system clock, the RTC and the
// preferences' clock text in step.
#pragma once

#include <ctime>

#include "core/pref_record.h" // the formats, DATE_FMT_*

// 0 when the text equals `now`, 1 when it is earlier, -1 when later.
int compareTime(const char *text, time_t now, int format);
// The clock text of `t`, "YYYY/MM/DD-hh:mm:ss" or with the day or the month
// first by the format (DATE_FMT_*); a field out of its digits is held to
// the nearest value that has them (a year past 9999 is written 9999).
constexpr size_t CLOCK_TEXT_SIZE = sizeof DvSystemParam::Datetime;
void clock_text(const struct tm &t, int format, char (&out)[CLOCK_TEXT_SIZE]);
// Writes `t` into the preferences' Datetime in the format's order.
int repeatTime(const struct tm *t, int format);
// "start": RTC, clock and Datetime brought in step; "end": Datetime from the
// clock and the preferences saved.
int setDefaultTime(const char *which);
// Checks a clock text in the given format and sets RTC and system clock.
int Set_Date_Time(const char *text, int format);
