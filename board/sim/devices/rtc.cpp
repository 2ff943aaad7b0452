// /dev/du_rtc: the real-time clock. It keeps wall-clock fields as they were
// set and runs on from there; it starts from board.conf's "rtc" or the host.
#include "board/rtc_requests.h"
#include "board/sim/sim.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace sim {

namespace {

std::mutex g_lock;
time_t g_base = 0; // the set fields, as seconds of a naive calendar (timegm)
std::chrono::steady_clock::time_point g_set_at;

bool valid(const rtc_time_rec &t)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    // The clock chip's calendar runs out at the end of 2099.
    if (t.year < 1970 || t.year > 2099 || t.month < 1 || t.month > 12 || t.hour > 23 || t.minute > 59 ||
        t.second > 59 || t.date < 1)
        return false;
    bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    uint32_t max = days[t.month - 1] + (t.month == 2 && leap ? 1 : 0);
    return t.date <= max;
}

time_t to_seconds(const rtc_time_rec &t)
{
    struct tm tm = {};
    tm.tm_year = (int)t.year - 1900;
    tm.tm_mon = (int)t.month - 1;
    tm.tm_mday = (int)t.date;
    tm.tm_hour = (int)t.hour;
    tm.tm_min = (int)t.minute;
    tm.tm_sec = (int)t.second;
    return timegm(&tm);
}

void set_base(time_t base)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_base = base;
    g_set_at = std::chrono::steady_clock::now();
}

} // namespace

bool rtc_parse(const std::string &text, time_t &seconds)
{
    // Each field its digits and nothing else: no blanks, no signs.
    static const char kShape[] = "dddd/dd/dd-dd:dd:dd";
    if (text.size() != sizeof kShape - 1)
        return false;
    for (size_t i = 0; i < text.size(); i++)
        if (kShape[i] == 'd' ? !isdigit((unsigned char)text[i]) : text[i] != kShape[i])
            return false;
    rtc_time_rec t = {};
    sscanf(text.c_str(), "%u/%u/%u-%u:%u:%u", &t.year, &t.month, &t.date, &t.hour, &t.minute, &t.second);
    if (!valid(t))
        return false;
    seconds = to_seconds(t);
    return true;
}

namespace {

// board.conf's time, checked as it was read, or the host's.
Hooks rtc_hooks([] {
    time_t base = 0;
    if (!rtc_parse(conf("rtc", ""), base)) {
        time_t now = time(nullptr);
        struct tm tm;
        localtime_r(&now, &tm);
        base = timegm(&tm);
    }
    set_base(base);
});

rtc_time_rec now_fields()
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto ran = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - g_set_at);
    time_t t = g_base + (time_t)ran.count();
    struct tm tm;
    gmtime_r(&t, &tm);
    return {(uint32_t)tm.tm_year + 1900, (uint32_t)tm.tm_mon + 1, (uint32_t)tm.tm_mday, (uint32_t)tm.tm_hour,
            (uint32_t)tm.tm_min,         (uint32_t)tm.tm_sec,     (uint32_t)tm.tm_wday};
}

int rtc_set_time(void *arg)
{
    rtc_time_rec t;
    if (!get_user(t, arg))
        return fail(EFAULT);
    if (!valid(t)) {
        event("rtc", "refused %u/%u/%u-%u:%u:%u", t.year, t.month, t.date, t.hour, t.minute, t.second);
        return fail(EINVAL);
    }
    set_base(to_seconds(t));
    event("rtc", "set %04u/%02u/%02u-%02u:%02u:%02u", t.year, t.month, t.date, t.hour, t.minute, t.second);
    return 0;
}

const IoctlOp<void> kRtcOps[] = {
    {DU_RTC_PREPARE, [](void *) { return 0; }},
    {DU_RTC_RD_TIME, [](void *arg) { return put_user(arg, now_fields()) ? 0 : fail(EFAULT); }},
    {DU_RTC_SET_TIME, rtc_set_time},
};

class RtcDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override { return dispatch(kRtcOps, request, arg); }
};

DeviceRegistration rtc_device("/dev/du_rtc", [](int) { return std::make_shared<RtcDevice>(); });

} // namespace

} // namespace sim
