// The camera's hardware as the application reaches it: GPIO lines, the power
// microcontroller, physical memory, the real-time clock, and the date
// utilities that keep the system clock, the RTC and the preferences in step.
#pragma once

#include <cstdint>
#include <ctime>

#include "board/gpio_requests.h"
#include "board/mcu_requests.h"
#include "board/rtc_requests.h"

// ---- GPIO: numbers are bank * 256 + pin ----------------------------------------
constexpr uint32_t gpio_no(uint32_t bank, uint32_t pin) { return bank * 256 + pin; }
extern int g_gpio_fd;

int open_gpio_dev(void);
int close_gpio_dev(void);
int config_gpio(uint32_t gpio, uint32_t direction);
int muxtrl_gpio(uint32_t gpio, uint32_t function);
int set_gpio_value(uint32_t gpio, uint32_t level);
int get_gpio_value(uint32_t gpio);
int kx_gpio_init_func(void);

// ---- power microcontroller ------------------------------------------------------
int mcu_i2c_read(uint32_t reg);
int mcu_i2c_write(uint32_t reg, uint32_t value);

int get_power_on_key_type(void);
int set_power_on_key_type(uint32_t value);
int set_power_on_key_status(uint32_t value);
int get_power_on_key_status(void);
int set_power_off_key_status(uint32_t value);
int get_power_off_key_status(void);
int get_power_off_key_press(void);
int set_return_power_off_cmd(uint32_t value);
int get_return_power_off_cmd(void);
int set_return_power_on_source(uint32_t value);
int get_return_power_on_source(void);
int set_return_alarm_en(uint32_t value);
int get_return_power_alarm_en(void);
int set_return_power_alarm_day(uint32_t value);
int get_return_power_alarm_day(void);
int set_return_power_alarm_hour(uint32_t value);
int get_return_power_alarm_hour(void);
int set_return_power_alarm_min(uint32_t value);
int get_return_power_alarm_min(void);
int set_return_power_alarm_sec(uint32_t value);
int get_return_power_alarm_sec(void);

// ---- physical memory -----------------------------------------------------------------
// Maps [phys, phys + len) and returns the address of its first byte; 0 on
// failure or for a length of 0. Overlapping requests share one mapping.
void *memmap(uint32_t phys, uint32_t len);
int memunmap(void *virt);

// ---- real-time clock -----------------------------------------------------------------
// RTC -> system clock.
int duRtc_get_time(void);
// Sets the RTC from "year/month/date/hour/minute/second".
int duRtc_set_time(const char *text, int len);

// ---- numbers and dates ---------------------------------------------------------------
int _atoul(const char *text, uint32_t *value);
int _atoulx(const char *text, uint32_t *value);
int str_to_num(const char *text, uint32_t *value);
int parse_string(const char *text, rtc_time_rec *rec);

// Clock text formats by the Dateformat preference.
enum { DATE_FMT_YMD = 0, DATE_FMT_DMY = 1, DATE_FMT_MDY = 2 };

// 0 when the text equals `now`, 1 when it is earlier, -1 when later.
int compareTime(const char *text, time_t now, int format);
// Writes `t` into the preferences' Datetime in the format's order.
int repeatTime(const struct tm *t, int format);
// "start": RTC, clock and Datetime brought in step; "end": Datetime from the
// clock and the preferences saved.
int setDefaultTime(const char *which);
// Checks a clock text in the given format and sets RTC and system clock.
int Set_Date_Time(const char *text, int format);
