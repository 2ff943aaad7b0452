// The real-time clock through /dev/du_rtc, and the numbers of its time text.
#include "app/devices/rtc.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/time.h>

#include "board/board.h"

int _atoul(const char *text, uint32_t *value)
{
    uint32_t v = 0;
    if (!text || !*text) {
        *value = 0;
        return -1;
    }
    for (const char *p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || v > (0xFFFFFFFFu - (uint32_t)(*p - '0')) / 10) {
            *value = v;
            return -1;
        }
        v = v * 10 + (uint32_t)(*p - '0');
    }
    *value = v;
    return 0;
}

int _atoulx(const char *text, uint32_t *value)
{
    uint32_t v = 0;
    if (!text || !*text) {
        *value = 0;
        return -1;
    }
    for (const char *p = text; *p; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9')
            digit = *p - '0';
        else if (*p >= 'a' && *p <= 'f')
            digit = *p - 'a' + 10;
        else if (*p >= 'A' && *p <= 'F')
            digit = *p - 'A' + 10;
        else
            digit = -1;
        if (digit < 0 || v > 0x0FFFFFFFu) {
            *value = v;
            return -1;
        }
        v = v << 4 | (uint32_t)digit;
    }
    *value = v;
    return 0;
}

int str_to_num(const char *text, uint32_t *value)
{
    if (!text || !value)
        return -1;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return _atoulx(text + 2, value);
    return _atoul(text, value);
}

int parse_string(const char *text, rtc_time_rec *rec)
{
    if (!text || !rec)
        return -1;
    // year/month/date/hour/minute/second, every field a decimal number.
    uint32_t field[6];
    int count = 0;
    const char *p = text;
    while (count < 6) {
        const char *slash = strchr(p, '/');
        size_t len = slash ? (size_t)(slash - p) : strlen(p);
        char buf[16];
        if (len == 0 || len >= sizeof buf)
            return -1;
        memcpy(buf, p, len);
        buf[len] = 0;
        if (_atoul(buf, &field[count]) != 0)
            return -1;
        ++count;
        if (!slash)
            break;
        p = slash + 1;
    }
    if (count < 6)
        return -1;
    *rec = {field[0], field[1], field[2], field[3], field[4], field[5], 0};
    return 0;
}

namespace {

const char *const kRtcDevice = "/dev/du_rtc";

} // namespace

int duRtc_get_time(void)
{
    int fd = bd_open(kRtcDevice, O_RDWR);
    if (fd < 0) {
        printf("======open %s failed\n", kRtcDevice);
        return -1;
    }
    rtc_time_rec t = {};
    bd_ioctl(fd, DU_RTC_PREPARE, nullptr);
    if (bd_ioctl(fd, DU_RTC_RD_TIME, &t) != 0) {
        puts("======ioctl: DU_RTC_RD_TIME failed");
        bd_close(fd);
        return -1;
    }
    bd_close(fd);
    struct tm tm = {};
    tm.tm_year = (int)t.year - 1900;
    tm.tm_mon = (int)t.month - 1;
    tm.tm_mday = (int)t.date;
    tm.tm_hour = (int)t.hour;
    tm.tm_min = (int)t.minute;
    tm.tm_sec = (int)t.second;
    tm.tm_isdst = -1;
    struct timeval tv = {mktime(&tm), 0};
    if (tv.tv_sec == (time_t)-1 || bd_settimeofday(&tv) != 0)
        puts("======set system date and time failed");
    printf("------Current system time value: %04d-%02d-%02d %02d:%02d:%02d, week: %d\n", t.year, t.month, t.date,
           t.hour, t.minute, t.second, t.weekday);
    return 0;
}

int duRtc_set_time(const char *text, int len)
{
    int fd = bd_open(kRtcDevice, O_RDWR);
    if (fd < 0) {
        printf("======open %s failed\n", kRtcDevice);
        return -1;
    }
    char buf[50] = {0};
    size_t n = text ? strnlen(text, sizeof buf - 1) : 0;
    if (len >= 0 && (size_t)len < n)
        n = (size_t)len;
    if (text)
        memcpy(buf, text, n);
    rtc_time_rec t;
    if (parse_string(buf, &t) != 0) {
        puts("======parset time param failed");
        bd_close(fd);
        return -1;
    }
    printf("------set system time: %04d-%02d-%02d %02d:%02d:%02d\n", t.year, t.month, t.date, t.hour, t.minute,
           t.second);
    int rc = bd_ioctl(fd, DU_RTC_SET_TIME, &t);
    bd_close(fd);
    if (rc != 0) {
        puts("------ioctl: DU_RTC_SET_TIME failed");
        return -1;
    }
    return 0;
}
