// The clock texts of the preferences, kept in step with the RTC and the
// system clock.
#include "app/devices/date_time.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "app/devices/rtc.h"
#include "board/board.h"
#include "core/pref_record.h"
#include "core/safe_file.h"

namespace {

const char *const kPrefFile = "/dv/config/DvConfigs.bin";

void print_star_line() { puts("**************************************************"); }

struct ClockFields {
    int year, month, day, hour, minute, second;
};

// Reads a clock text in the order of the date format; all six fields must be there.
bool parse_clock_text(const char *text, int format, ClockFields &f)
{
    int a, b, c;
    if (!text || sscanf(text, "%d/%d/%d-%d:%d:%d", &a, &b, &c, &f.hour, &f.minute, &f.second) != 6)
        return false;
    switch (format) {
    case DATE_FMT_DMY:
        f.day = a, f.month = b, f.year = c;
        break;
    case DATE_FMT_MDY:
        f.month = a, f.day = b, f.year = c;
        break;
    default:
        f.year = a, f.month = b, f.day = c;
        break;
    }
    return true;
}

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int month_days(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return days[month - 1] + (month == 2 && is_leap(year) ? 1 : 0);
}

bool valid_clock(const ClockFields &f)
{
    return f.year >= 1970 && f.year <= 9999 && f.month >= 1 && f.month <= 12 && f.hour >= 0 && f.hour <= 23 &&
           f.minute >= 0 && f.minute <= 59 && f.second >= 0 && f.second <= 59 && f.day >= 1 &&
           f.day <= month_days(f.year, f.month);
}

// RTC <- the fields, then the system clock <- RTC.
int set_rtc_and_clock(const ClockFields &f)
{
    char text[64];
    snprintf(text, sizeof text, "%04d/%d/%d/%d/%d/%d", f.year, f.month, f.day, f.hour, f.minute, f.second);
    if (duRtc_set_time(text, (int)strlen(text)) != 0)
        return -1;
    usleep(100 * 1000);
    return duRtc_get_time();
}

void print_clock(time_t now)
{
    struct tm tm;
    bd_localtime(&now, &tm);
    printf(" %04d-%02d-%02d %02d:%02d:%02d\n", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
           tm.tm_sec);
}

} // namespace

int compareTime(const char *text, time_t now, int format)
{
    ClockFields f;
    // Text that can't be read counts as earlier: the caller then rewrites it from the clock.
    if (!parse_clock_text(text, format, f))
        return 1;
    struct tm tm = {};
    tm.tm_year = (f.year < 1901 ? 1900 : f.year) - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    if (t == now)
        return 0;
    return t < now ? 1 : -1;
}

namespace {

// A field held to the digits its place in the clock text has: a year past
// 9999, or a broken-down time out of its ranges, would not fit the 19
// characters and would cut the text short.
unsigned field(int value, unsigned most) { return value < 0 ? 0u : std::min((unsigned)value, most); }

} // namespace

void clock_text(const struct tm &t, int format, char (&out)[CLOCK_TEXT_SIZE])
{
    const unsigned y = field(t.tm_year + 1900, 9999), m = field(t.tm_mon + 1, 99), d = field(t.tm_mday, 99);
    const unsigned hh = field(t.tm_hour, 99), mm = field(t.tm_min, 99), ss = field(t.tm_sec, 99);
    switch (format) {
    case DATE_FMT_DMY:
        snprintf(out, sizeof out, "%02u/%02u/%04u-%02u:%02u:%02u", d, m, y, hh, mm, ss);
        break;
    case DATE_FMT_MDY:
        snprintf(out, sizeof out, "%02u/%02u/%04u-%02u:%02u:%02u", m, d, y, hh, mm, ss);
        break;
    default:
        snprintf(out, sizeof out, "%04u/%02u/%02u-%02u:%02u:%02u", y, m, d, hh, mm, ss);
        break;
    }
}

int repeatTime(const struct tm *t, int format)
{
    if (!t || !app_pref_user)
        return -1;
    memset(app_pref_user->Datetime, 0, sizeof app_pref_user->Datetime);
    clock_text(*t, format, app_pref_user->Datetime);
    return 0;
}

int setDefaultTime(const char *which)
{
    if (!app_pref_user || !which)
        return -1;
    if (strcmp(which, "start") == 0) {
        duRtc_get_time();
        time_t now = bd_time(nullptr);
        int format = app_pref_user->Dateformat;
        int cmp = compareTime(app_pref_user->Datetime, now, format);
        if (cmp == 0) {
            puts("------system/rtc time and config time match");
        } else if (cmp < 0) {
            puts("------system time < config time");
            ClockFields f;
            if (parse_clock_text(app_pref_user->Datetime, format, f))
                set_rtc_and_clock(f);
        } else {
            struct tm tm;
            bd_localtime(&now, &tm);
            repeatTime(&tm, format);
        }
        puts("******************date time***********************");
        print_clock(bd_time(nullptr));
        print_star_line();
        return 0;
    }
    if (strcmp(which, "end") == 0) {
        time_t now = bd_time(nullptr);
        struct tm tm;
        bd_localtime(&now, &tm);
        repeatTime(&tm, app_pref_user->Dateformat);
        // A new file put in place of the old: a cut leaves one of them whole.
        bool opened = false;
        if (!safe_file_write_all(kPrefFile, app_pref_user, DV_SYSTEM_PARAM_SIZE, &opened)) {
            puts(opened ? "==fwrite g_dv_system_param error" : "======fopen config file failed in setDefaultTime");
            return -1;
        }
        bd_sync();
        puts("------leave setDefaultTime end");
        return 0;
    }
    puts("======unknown setDefaultTime");
    return -1;
}

int Set_Date_Time(const char *text, int format)
{
    ClockFields f;
    if (!parse_clock_text(text, format, f) || !valid_clock(f)) {
        puts("date time format fail");
        return -1;
    }
    if (set_rtc_and_clock(f) != 0)
        return -1;
    puts("****************set date time**********************");
    time_t now = bd_time(nullptr);
    struct tm tm;
    bd_localtime(&now, &tm);
    printf("%04d-%02d-%02d %02d:%02d:%02d\n", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
           tm.tm_sec);
    print_star_line();
    return 0;
}
