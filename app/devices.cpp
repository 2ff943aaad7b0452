#include "app/devices.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

#include "app/pref.h"
#include "board/board.h"

// ---- GPIO ---------------------------------------------------------------------------

int g_gpio_fd = -1;

namespace {

int gpio_request_send(unsigned long request, uint32_t gpio, uint32_t value, uint32_t *out = nullptr)
{
    if (g_gpio_fd < 0) {
        puts("Open /dev/kxgpiodev not open!");
        return -1;
    }
    gpio_request req = {gpio / 256, gpio % 256, value};
    if (bd_ioctl(g_gpio_fd, request, &req) != 0)
        return -1;
    if (out)
        *out = req.value;
    return 0;
}

} // namespace

int open_gpio_dev(void)
{
    g_gpio_fd = bd_open("/dev/kxgpiodev", O_RDWR);
    return g_gpio_fd;
}

int close_gpio_dev(void)
{
    if (g_gpio_fd >= 0)
        bd_close(g_gpio_fd);
    g_gpio_fd = -1;
    return 0;
}

int config_gpio(uint32_t gpio, uint32_t direction) { return gpio_request_send(GPIO_REQ_DIRECTION, gpio, direction); }
int muxtrl_gpio(uint32_t gpio, uint32_t function) { return gpio_request_send(GPIO_REQ_MUX, gpio, function); }

int set_gpio_value(uint32_t gpio, uint32_t level)
{
    // Only 1 drives the line high.
    return gpio_request_send(level == 1 ? GPIO_REQ_SET_HIGH : GPIO_REQ_SET_LOW, gpio, level);
}

int get_gpio_value(uint32_t gpio)
{
    uint32_t level = 10;
    if (gpio_request_send(GPIO_REQ_GET, gpio, level, &level) != 0)
        return -1;
    return (int)level;
}

int kx_gpio_init_func(void) { return 0; }

// ---- power microcontroller ----------------------------------------------------------------

namespace {

// One transfer per open: the driver serialises the I2C bus behind it.
int mcu_transfer_once(uint32_t reg, uint32_t *value, bool write)
{
    int fd = bd_open("/dev/kxmcudev", O_RDWR);
    if (fd < 0) {
        puts("Open /dev/kxmcudev error!");
        return -1;
    }
    mcu_transfer t = {reg, write ? *value : 0};
    ssize_t n = write ? bd_write(fd, &t, MCU_TRANSFER_COUNT) : bd_read(fd, &t, MCU_TRANSFER_COUNT);
    bd_close(fd);
    if (n < 0)
        return -1;
    if (!write)
        *value = t.value;
    return 0;
}

} // namespace

int mcu_i2c_read(uint32_t reg)
{
    uint32_t value = 0;
    if (mcu_transfer_once(reg, &value, false) != 0)
        return -1;
    return (int)value;
}

int mcu_i2c_write(uint32_t reg, uint32_t value) { return mcu_transfer_once(reg, &value, true); }

enum {
    MCU_REG_POWER_ON_KEY_TYPE = 0,
    MCU_REG_POWER_ON_KEY_STATUS = 1,
    MCU_REG_POWER_OFF_KEY_STATUS = 2,
    MCU_REG_POWER_OFF_KEY_PRESS = 3,
    MCU_REG_POWER_OFF_CMD = 4,
    MCU_REG_POWER_ON_SOURCE = 5,
    MCU_REG_ALARM_EN = 6,
    MCU_REG_ALARM_DAY = 7,
    MCU_REG_ALARM_HOUR = 8,
    MCU_REG_ALARM_MIN = 9,
    MCU_REG_ALARM_SEC = 10,
};

int get_power_on_key_type(void) { return mcu_i2c_read(MCU_REG_POWER_ON_KEY_TYPE); }
int set_power_on_key_type(uint32_t v) { return mcu_i2c_write(MCU_REG_POWER_ON_KEY_TYPE, v); }
int set_power_on_key_status(uint32_t v) { return mcu_i2c_write(MCU_REG_POWER_ON_KEY_STATUS, v); }
int get_power_on_key_status(void) { return mcu_i2c_read(MCU_REG_POWER_ON_KEY_STATUS); }
int set_power_off_key_status(uint32_t v) { return mcu_i2c_write(MCU_REG_POWER_OFF_KEY_STATUS, v); }
int get_power_off_key_status(void) { return mcu_i2c_read(MCU_REG_POWER_OFF_KEY_STATUS); }
int get_power_off_key_press(void) { return mcu_i2c_read(MCU_REG_POWER_OFF_KEY_PRESS); }
int set_return_power_off_cmd(uint32_t v) { return mcu_i2c_write(MCU_REG_POWER_OFF_CMD, v); }
int get_return_power_off_cmd(void) { return mcu_i2c_read(MCU_REG_POWER_OFF_CMD); }
int set_return_power_on_source(uint32_t v) { return mcu_i2c_write(MCU_REG_POWER_ON_SOURCE, v); }
int get_return_power_on_source(void) { return mcu_i2c_read(MCU_REG_POWER_ON_SOURCE); }
int set_return_alarm_en(uint32_t v) { return mcu_i2c_write(MCU_REG_ALARM_EN, v); }
int get_return_power_alarm_en(void) { return mcu_i2c_read(MCU_REG_ALARM_EN); }
int set_return_power_alarm_day(uint32_t v) { return mcu_i2c_write(MCU_REG_ALARM_DAY, v); }
int get_return_power_alarm_day(void) { return mcu_i2c_read(MCU_REG_ALARM_DAY); }
int set_return_power_alarm_hour(uint32_t v) { return mcu_i2c_write(MCU_REG_ALARM_HOUR, v); }
int get_return_power_alarm_hour(void) { return mcu_i2c_read(MCU_REG_ALARM_HOUR); }
int set_return_power_alarm_min(uint32_t v) { return mcu_i2c_write(MCU_REG_ALARM_MIN, v); }
int get_return_power_alarm_min(void) { return mcu_i2c_read(MCU_REG_ALARM_MIN); }
int set_return_power_alarm_sec(uint32_t v) { return mcu_i2c_write(MCU_REG_ALARM_SEC, v); }
int get_return_power_alarm_sec(void) { return mcu_i2c_read(MCU_REG_ALARM_SEC); }

// ---- physical memory --------------------------------------------------------------------------

namespace {

struct PhysMapNode {
    uint32_t page;   // physical address of the first mapped page
    uint8_t *map;
    uint32_t length;
    uint32_t refs;
    PhysMapNode *next;
};

constexpr uint32_t kPage = 4096;

std::mutex g_map_lock;
PhysMapNode *g_maps = nullptr;
int g_mem_fd = -1;

} // namespace

void *memmap(uint32_t phys, uint32_t len)
{
    if (len == 0)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_map_lock);
    uint64_t end = (uint64_t)phys + len;
    for (PhysMapNode *n = g_maps; n; n = n->next) {
        if (n->page <= phys && end <= (uint64_t)n->page + n->length) {
            n->refs++;
            return n->map + (phys - n->page);
        }
    }
    if (g_mem_fd < 0) {
        g_mem_fd = bd_open("/dev/mem", O_RDWR | O_SYNC);
        if (g_mem_fd < 0)
            return nullptr;
    }
    uint32_t offset = phys % kPage;
    uint64_t length = (((uint64_t)len + offset - 1) & ~(uint64_t)(kPage - 1)) + kPage;
    if (length > 0xFFFFFFFFull)
        return nullptr;
    void *p = bd_mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, g_mem_fd, phys - offset);
    if (p == MAP_FAILED)
        return nullptr;
    auto *node = new (std::nothrow) PhysMapNode{phys - offset, static_cast<uint8_t *>(p), (uint32_t)length, 1, nullptr};
    if (!node) {
        bd_munmap(p, length);
        return nullptr;
    }
    PhysMapNode **tail = &g_maps;
    while (*tail)
        tail = &(*tail)->next;
    *tail = node;
    return node->map + offset;
}

int memunmap(void *virt)
{
    auto *v = static_cast<uint8_t *>(virt);
    std::lock_guard<std::mutex> lock(g_map_lock);
    for (PhysMapNode **pp = &g_maps; *pp; pp = &(*pp)->next) {
        PhysMapNode *n = *pp;
        if (v >= n->map && v < n->map + n->length) {
            if (--n->refs == 0) {
                *pp = n->next;
                bd_munmap(n->map, n->length);
                delete n;
            }
            return 0;
        }
    }
    return -1;
}

// ---- numbers --------------------------------------------------------------------------------

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

// ---- real-time clock ------------------------------------------------------------------------------

namespace {

const char *const kRtcDevice = "/dev/du_rtc";
const char *const kPrefFile = "/dv/config/DvConfigs.bin";

void print_star_line() { puts("**************************************************"); }

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

// ---- dates ---------------------------------------------------------------------------------------

namespace {

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
        FILE *f = fopen(bd_path(kPrefFile).c_str(), "wb+");
        if (!f) {
            puts("======fopen config file failed in setDefaultTime");
            return -1;
        }
        size_t n = fwrite(app_pref_user, 1, DV_SYSTEM_PARAM_SIZE, f);
        int closed = fclose(f);
        if (n != DV_SYSTEM_PARAM_SIZE || closed != 0) {
            puts("==fwrite g_dv_system_param error");
            return -1;
        }
        sync();
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
