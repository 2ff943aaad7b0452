// The clock texts of the preferences, kept in step with the RTC and the
// system clock.
#include "app/devices/date_time.h"

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

int repeatTime(const struct tm *t, int format)
{
    if (!t || !app_pref_user)
        return -1;
    char *out = app_pref_user->Datetime;
    memset(out, 0, sizeof app_pref_user->Datetime);
    int y = t->tm_year + 1900, m = t->tm_mon + 1, d = t->tm_mday;
    const size_t n = sizeof app_pref_user->Datetime;
    switch (format) {
    case DATE_FMT_DMY:
        snprintf(out, n, "%02d/%02d/%04d-%02d:%02d:%02d", d, m, y, t->tm_hour, t->tm_min, t->tm_sec);
        break;
    case DATE_FMT_MDY:
        snprintf(out, n, "%02d/%02d/%04d-%02d:%02d:%02d", m, d, y, t->tm_hour, t->tm_min, t->tm_sec);
        break;
    default:
        snprintf(out, n, "%04d/%02d/%02d-%02d:%02d:%02d", y, m, d, t->tm_hour, t->tm_min, t->tm_sec);
        break;
    }
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
