// The real-time clock, and the number readers of its time text.
#pragma once

#include <cstdint>

#include "board/rtc_requests.h"

// RTC -> system clock.
int duRtc_get_time(void);
// Sets the RTC from "year/month/date/hour/minute/second".
int duRtc_set_time(const char *text, int len);

int _atoul(const char *text, uint32_t *value);
int _atoulx(const char *text, uint32_t *value);
int str_to_num(const char *text, uint32_t *value);
// "year/month/date/hour/minute/second", every field a decimal number.
int parse_string(const char *text, rtc_time_rec *rec);
