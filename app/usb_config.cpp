// The card settings-file thread: settings carried by file names.
#include "app/usb_config.h"

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <unistd.h>

#include "app/devices/date_time.h"
#include "app/pref.h"
#include "app/settings_file.h"
#include "board/board.h"
#include "core/run_thread.h"

std::atomic<uint32_t> th_usbReadFile_run{0};

namespace {

constexpr uint32_t kNotADigit = 255;
// Out of every setting's range: a digit group that holds a non-digit takes
// the setting's fallback through the range rules.
constexpr int32_t kNoValue = INT32_MIN;
constexpr int kSignedOffset = 128;

// One setting in a name: `digits` characters, decimal.
struct NameField {
    int word;      // word of DvSystemParam (plus the rule's mode when per_mode)
    int digits;    // 1 or 3
    bool per_mode; // a per-mode setting
    bool minus128; // a signed setting: the group less 128
};

// Digits follow the prefix directly, one field after the other.
struct NameRule {
    const char *prefix;
    int mode; // per-mode element the rule sets
    const NameField *fields;
    size_t count;
};

// Resolution, frame rate, sound, cycle time, loop recording, rotate, time
// stamp, quality, codec, bit-rate algorithm, WDR.
const NameField kMovieFields[] = {
    {PREF_WORD(MovieResolution), 1, true, false},
    {PREF_WORD(MovieFrameRate), 1, true, false},
    {PREF_WORD(MovieSound), 1, true, false},
    {PREF_WORD(MovieCycletime), 1, true, false},
    {PREF_WORD(MovieLoopRecording), 1, true, false},
    {PREF_WORD(MovieRotate), 1, true, false},
    {PREF_WORD(MovieTimestamp), 1, true, false},
    {PREF_WORD(Moviequality), 1, true, false},
    {PREF_WORD(MovieCodec), 1, true, false},
    {PREF_WORD(MovieBitstreamAlgorithm), 1, true, false},
    {PREF_WORD(MovieWDR), 1, true, false},
};
// Capture size, rotate, time stamp, time-lapse interval.
const NameField kPhotoFields[] = {
    {PREF_WORD(MovieResolution), 1, true, false},
    {PREF_WORD(MovieRotate), 1, true, false},
    {PREF_WORD(MovieTimestamp), 1, true, false},
    {PREF_WORD(SetTimeLapseShooting), 1, false, false},
};
// Auto power-off, auto record with external power, one-button record, LED,
// charge from host, light frequency, TV out, power-on, power-off, lens,
// motion detection, its time-out and sensitivity.
const NameField kSystemFields[] = {
    {PREF_WORD(AutoPoweroff), 1, false, false},
    {PREF_WORD(AutoRecordwithExternalPower), 1, false, false},
    {PREF_WORD(OnePowerButtontoAutoRecord), 1, false, false},
    {PREF_WORD(LED), 1, false, false},
    {PREF_WORD(ChargefromUSBHost), 1, false, false},
    {PREF_WORD(Lightfrequency), 1, false, false},
    {PREF_WORD(TVout), 1, false, false},
    {PREF_WORD(Poweron), 1, false, false},
    {PREF_WORD(Poweroff), 1, false, false},
    {PREF_WORD(Lensoption), 1, false, false},
    {PREF_WORD(MotionDetect), 1, false, false},
    {PREF_WORD(MotionDetectTimeout), 1, false, false},
    {PREF_WORD(MotionDetectSensitivity), 1, false, false},
};
// Exposure/white-balance lock, white balance, nine custom gains, exposure
// value, strategy, metering, colour effect, contrast, saturation, sharpness.
const NameField kImageFields[] = {
    {PREF_WORD(EnableManualAELockorAWBLock), 1, false, false},
    {PREF_WORD(WhiteBalance), 1, false, false},
    {PREF_WORD(CustomizedWhiteBalance) + 0, 3, false, false},
    {PREF_WORD(CustomizedWhiteBalance) + 1, 3, false, false},
    {PREF_WORD(CustomizedWhiteBalance) + 2, 3, false, false},
    {PREF_WORD(CustomizedWhiteBalance) + 3, 3, false, false},
    {PREF_WORD(CustomizedWhiteBalance) + 4, 3, false, false},
    {PREF_WORD(CustomizedWhiteBalance) + 5, 3, false, false},
    {PREF_WORD(CustomizedWhiteBalance) + 6, 3, false, false},
    {PREF_WORD(CustomizedWhiteBalance) + 7, 3, false, false},
    {PREF_WORD(CustomizedWhiteBalance) + 8, 3, false, false},
    {PREF_WORD(ExposureValue), 3, false, true},
    {PREF_WORD(ExposureStrategyMode), 1, false, false},
    {PREF_WORD(ExposureMetering), 1, false, false},
    {PREF_WORD(ColorEffect), 1, false, false},
    {PREF_WORD(Contrast), 3, false, true},
    {PREF_WORD(Saturation), 3, false, true},
    {PREF_WORD(Sharpness), 3, false, true},
};

template <size_t N> constexpr size_t count_of(const NameField (&)[N]) { return N; }

const NameRule kRules[] = {
    {"MODE0-", PREF_VIDEO_MODE1, kMovieFields, count_of(kMovieFields)},
    {"MODE1-", PREF_VIDEO_MODE2, kMovieFields, count_of(kMovieFields)},
    {"MODE2-", PREF_PHOTO_MODE, kPhotoFields, count_of(kPhotoFields)},
    {"SYS-", 0, kSystemFields, count_of(kSystemFields)},
    {"IQS-", 0, kImageFields, count_of(kImageFields)},
};

// "TIME-" then the date format, the default mode, one ignored character and
// the 19 characters of the clock text.
const char *const kTimePrefix = "TIME-";
constexpr size_t kTimeDateformatPos = 5;
constexpr size_t kTimeDefaultModePos = 6;
constexpr size_t kTimeClockPos = 8;
constexpr size_t kTimeClockLen = 19;
constexpr int kWordDateformat = PREF_WORD(Dateformat);
constexpr int kWordDefaultMode = PREF_WORD(DefaultMode);

const char *const kListCommand = "ls -l -a /mnt/sdcard0/syscfg/ > /mnt/cfg.bat";
const char *const kListFile = "/mnt/cfg.bat";
const char *const kOrigin = "syscfg file name";

std::mutex run_lock;
std::condition_variable run_cond;
RunThread reader_thread;
// Clock files applied while this thread runs: setting the clock from one
// every second would hold the clock still.
std::set<std::string> applied_time_names;

bool starts_with(const char *name, const char *prefix) { return strncmp(name, prefix, strlen(prefix)) == 0; }

// A group of decimal digits; false when one of them is not a digit.
bool digit_group(const char *p, int digits, int32_t *value)
{
    int32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        uint32_t d = Char2Int(p[i]);
        if (d == kNotADigit)
            return false;
        v = v * 10 + (int32_t)d;
    }
    *value = v;
    return true;
}

// Decodes into a copy of the record, puts the range rules over it, and stores
// the decoded words in the table's order.
int apply_rule(const NameRule &rule, const char *name)
{
    size_t need = strlen(rule.prefix);
    for (size_t i = 0; i < rule.count; ++i)
        need += (size_t)rule.fields[i].digits;
    if (strlen(name) < need)
        return 0;

    DvSystemParam rec = *app_pref_user;
    int words[sizeof kImageFields / sizeof kImageFields[0]];
    const char *p = name + strlen(rule.prefix);
    for (size_t i = 0; i < rule.count; ++i) {
        const NameField &f = rule.fields[i];
        int32_t v;
        if (!digit_group(p, f.digits, &v))
            v = kNoValue;
        else if (f.minus128)
            v -= kSignedOffset;
        words[i] = f.word + (f.per_mode ? rule.mode : 0);
        pref_set_word(&rec, words[i], v);
        p += f.digits;
    }
    settings_fix_ranges(&rec, kOrigin);
    if (rule.fields == kMovieFields)
        settings_fix_frame_rate(&rec, rule.mode);
    for (size_t i = 0; i < rule.count; ++i)
        pref_set_word(app_pref_user, words[i], pref_get_word(&rec, words[i]));
    return 1;
}

int apply_time(const char *name)
{
    if (strlen(name) < kTimeClockPos + kTimeClockLen || !applied_time_names.insert(name).second)
        return 0;
    printf("fread usb config file  %s\n", name);

    DvSystemParam rec = *app_pref_user;
    pref_set_word(&rec, kWordDateformat, (int32_t)Char2Int(name[kTimeDateformatPos]));
    pref_set_word(&rec, kWordDefaultMode, (int32_t)Char2Int(name[kTimeDefaultModePos]));
    settings_fix_ranges(&rec, kOrigin);
    app_pref_user->Dateformat = rec.Dateformat;
    app_pref_user->DefaultMode = rec.DefaultMode;

    // year/month/day-hour:minute:second
    char text[kTimeClockLen + 1];
    memcpy(text, name + kTimeClockPos, kTimeClockLen);
    text[kTimeClockLen] = '\0';
    text[4] = text[7] = '/';
    text[13] = text[16] = ':';
    printf("fread usb datetime  %s\n", text);
    Set_Date_Time(text, 0);
    printf("app_pref_user->default_mode = %d\n", app_pref_user->DefaultMode);
    return 1;
}

void read_listing()
{
    bd_system(kListCommand);
    FILE *f = fopen(bd_path(kListFile).c_str(), "r");
    if (!f)
        return;
    char line[128];
    while (fgets(line, sizeof line, f)) {
        char field[8][128], name[128];
        // "total N" and other short lines have no ninth field.
        if (sscanf(line, "%127s %127s %127s %127s %127s %127s%127s %127s %127s", field[0], field[1], field[2],
                   field[3], field[4], field[5], field[6], field[7], name) != 9)
            continue;
        usb_config_apply_name(name);
    }
    fclose(f);
}

void *reader_body(void *)
{
    std::unique_lock<std::mutex> lock(run_lock);
    while (th_usbReadFile_run) {
        lock.unlock();
        read_listing();
        lock.lock();
        run_cond.wait_for(lock, std::chrono::seconds(1), [] { return !th_usbReadFile_run; });
    }
    return nullptr;
}

} // namespace

uint32_t Char2Int(char c) { return c >= '0' && c <= '9' ? (uint32_t)(c - '0') : kNotADigit; }

int usb_config_apply_name(const char *name)
{
    if (!name || !app_pref_user)
        return 0;
    if (starts_with(name, kTimePrefix))
        return apply_time(name);
    for (const NameRule &rule : kRules)
        if (starts_with(name, rule.prefix))
            return apply_rule(rule, name);
    return 0;
}

int DV_UsbReadConfigFile_ThreadRun(void)
{
    puts("DV_UsbReadConfigFile_ThreadRun");
    if (reader_thread.joinable)
        return 0;
    applied_time_names.clear();
    return run_thread_start(reader_thread, th_usbReadFile_run, reader_body);
}

int KX_Stop_UsbReadConfigFile_Thread(void)
{
    bd_system("rm -rf /mnt/sdcard0/syscfg");
    usleep(5 * 1000);
    {
        // Under the lock, so that the thread's wait can't miss it.
        std::lock_guard<std::mutex> lock(run_lock);
        th_usbReadFile_run = 0;
        run_cond.notify_all();
    }
    return run_thread_stop(reader_thread, th_usbReadFile_run);
}
