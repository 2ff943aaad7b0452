// The settings text file: its writer, its line parser and the per-key rules,
// all walking one table of keys.
#include "app/settings_file.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

#include "app/devices/date_time.h"
#include "app/devices/mcu.h"
#include "board/board.h"
#include "core/safe_file.h"

int curMode = 0;
char setDatetime[20];
int g_change_date_tag = 0;
int g_format_tag = 0;
int do_format = 0;

namespace {

const char *const kTxtDir = "/mnt/sdcard0";

// What a key does with its value.
enum class Act {
    none,          // understood, nothing kept
    word,          // one word, range-checked
    gains,         // three words from `word` on, each checked
    clock,         // clock text, applied once confirmed
    confirm_clock, // a 1 applies the clock text
    title,         // a line without value; a mode title picks the per-mode element
    format,        // card-format confirmation
};

// One key of the file: how the parser takes it and how the writer and the
// debug print show it.
struct SettingsKey {
    const char *key; // as keyTable holds it: the written name without its spaces
    Act act;
    int word;        // first word it sets; for a mode title, the mode it picks; -1: none
    bool per_mode;   // the word is word + the current mode
    int32_t min, max, fallback;
    const char *progress;                     // printed with the stored value(s), before the check
    void (*then)(DvSystemParam *p, int mode); // runs once the word is stored and checked
    const char *line;  // the writer's line, a printf format; nullptr: never written
    const char *after; // fixed lines the writer puts after it
};

void fix_frame_rate(DvSystemParam *p, int mode) { settings_fix_frame_rate(p, mode); }

// The microcontroller takes 1 for a delayed power-off or power-on, 0 for a
// fast one.
void program_power_off_key(DvSystemParam *p, int)
{
    set_power_off_key_status(p->Poweroff == PREF_POWER_KEY_DELAY ? 1 : 0);
    usleep(50 * 1000);
}

void program_power_on_key(DvSystemParam *p, int)
{
    set_power_on_key_status(p->Poweron == PREF_POWER_KEY_DELAY ? 1 : 0);
    usleep(50 * 1000);
}

const char kBlank[] = "\r\n";
const char kDatetimeNote[] = "/**Note: \"Date time\" must be in accordance with the date format specified otherwise "
                             "unable to set the date**/\r\n";
const char kImageQualityTitle[] = "\r\nImage Quality Setting\r\n";
const char kLockHelp[] = "(Long 3 sec. Mode button press required to turn AEL or AWBL on)\r\n";
const char kWhiteBalanceHelp[] =
    "Sunny(4800-5500K) used for sunny with clear sky(Rgain=484,Ggain=256,Bgain=416);\r\n"
    "Cloudy(7000-9000K) used for shade or heavily overcast sky(Rgain=484,Ggain=256,Bgain=341);\r\n"
    "Tungsten(2500-3200K) used for Tungsten bulb (or called Incandescent light)(Rgain=332,Ggain=256,Bgain=627);\r\n"
    "Fluorescent(3800-4500K) used for fluorescent lamps(Rgain=370,Ggain=256,Bgain=577);\r\n"
    "Snow used for snow day(Rgain=476,Ggain=256,Bgain=406)\r\n"
    "Diving used for dive water(Rgain=495,Ggain=256,Bgain=368)\r\n";
const char kGainHelp[] = "Set red ,green,blue gain,256 is 1x gain,value from 100 to 999;\r\n\r\n";

// In keyTable's order, which is also the order the writer writes them in
// (the movie keys once under each video-mode title).
constexpr SettingsKey kSettingsKeys[SETTINGS_KEY_COUNT] = {
    // key, act, word, per mode, min, max, fallback, progress, then,
    //   written line, fixed lines after it
    {"Dateformat", Act::word, PREF_WORD(Dateformat), false, DATE_FMT_YMD, DATE_FMT_MDY, DATE_FMT_YMD, nullptr, nullptr,
     "Date format=[%d];set date format,0:YYYY/MM/DD, 1:DD/MM/YYYY, 2:MM/DD/YYYY\r\n", kDatetimeNote},
    {"Datetime", Act::clock, -1, false, 0, 0, 0, nullptr, nullptr,
     "Date time=[%s];date time setting,yyyy/mm/dd-hh:mm:ss,dd/mm/yyyy-hh:mm:ss, mm/dd/yyyy-hh:mm:ss\r\n"},
    {"Modifydatetime", Act::confirm_clock, -1, false, 0, 0, 0, nullptr, nullptr,
     "Modify datetime=[0];date time setting comfirm,0:not set 1: modify\r\n", kBlank},
    {"DefaultMode", Act::word, PREF_WORD(DefaultMode), false, PREF_VIDEO_MODE1, PREF_PHOTO_MODE, PREF_VIDEO_MODE1,
     nullptr, nullptr, "Default Mode=[%d];set power-on default mode,0:Video Mode 1, 1:Video Mode 2, 2:Photo Mode\r\n",
     kBlank},
    {"VIDEOMODE1", Act::title, PREF_VIDEO_MODE1, false, 0, 0, 0, nullptr, nullptr, "VIDEO MODE 1\r\n"},
    {"VIDEOMODE2", Act::title, PREF_VIDEO_MODE2, false, 0, 0, 0, nullptr, nullptr, "VIDEO MODE 2\r\n"},
    {"MovieResolution", Act::word, PREF_WORD(MovieResolution), true, PREF_RES_1080P, PREF_RES_WVGA, PREF_RES_1080P,
     nullptr, nullptr, "Movie Resolution=[%d];0:1080p,1:720p,2:wvga\r\n"},
    {"MovieFrameRate", Act::word, PREF_WORD(MovieFrameRate), true, PREF_FPS_120, PREF_FPS_25, PREF_FPS_60, nullptr,
     fix_frame_rate,
     "Movie Frame Rate=[%d];0:120fps,1:60fps,2:30fps,3:100fps,4:50fps,5:25fps,Note:120fps and 100fps only for "
     "720P and WVGA.\r\n"},
    {"MovieSound", Act::word, PREF_WORD(MovieSound), true, PREF_SOUND_MUTE, PREF_SOUND_HIGH, PREF_SOUND_HIGH, nullptr,
     nullptr, "Movie Sound=[%d];set movie sound,0:Mute,1:Low,2:Medium,3:High\r\n"},
    {"MovieCycletime", Act::word, PREF_WORD(MovieCycletime), true, PREF_CYCLE_3MIN, PREF_CYCLE_20MIN, PREF_CYCLE_3MIN,
     nullptr, nullptr, "Movie Cycle time=[%d];movie cycle time,0:3 minutes,1:5 minutes,2:10 minutes,3:20 minutes\r\n"},
    {"MovieLoopRecording", Act::word, PREF_WORD(MovieLoopRecording), true, PREF_OFF, PREF_ON, PREF_ON, nullptr, nullptr,
     "Movie Loop Recording=[%d];set loop recording on or off, 0:off, 1:on\r\n"},
    {"MovieRotate", Act::word, PREF_WORD(MovieRotate), true, PREF_ROTATE_NONE, PREF_ROTATE_LEFT, PREF_ROTATE_NONE,
     nullptr, nullptr, "Movie Rotate=[%d];set movie rotate,0:No,1:Inverted,2:90 degrees Right,3:90 degrees Left\r\n"},
    {"MovieTimestamp", Act::word, PREF_WORD(MovieTimestamp), true, PREF_OFF, PREF_ON, PREF_ON, nullptr, nullptr,
     "Movie Time stamp=[%d];set date/time stamp on or off,0:off,1:on\r\n"},
    {"MovieBitstreamAlgorithm", Act::word, PREF_WORD(MovieBitstreamAlgorithm), true, PREF_RC_CBR, PREF_RC_VBR,
     PREF_RC_CBR, nullptr, nullptr,
     "Movie Bitstream Algorithm=[%d];set video bitstream,constant-bit-rate(CBR) or variable-bit-rate(VBR),0:CBR,"
     "1:VBR \r\n"},
    {"Moviequality", Act::word, PREF_WORD(Moviequality), true, PREF_QUALITY_HIGHEST, PREF_QUALITY_ACCEPTED,
     PREF_QUALITY_STANDARD, nullptr, nullptr,
     "Movie quality=[%d];set movie quality,0:Highest,1:Higher,2:High,3:Standard,4:Low,5:Lower,6:Lowest\r\n"},
    {"MovieCodec", Act::word, PREF_WORD(MovieCodec), true, PREF_CODEC_H265, PREF_CODEC_H264, PREF_CODEC_H265, nullptr,
     nullptr, "Movie Codec=[%d];set video codec,0:H265 HEVC,1:H264 AVC\r\n"},
    {"MovieDefog", Act::word, PREF_WORD(MovieDefog), true, PREF_OFF, PREF_ON, PREF_OFF},
    {"MovieLensDistortionCorrection", Act::word, PREF_WORD(MovieLensDistortionCorrection), true, PREF_OFF, PREF_ON,
     PREF_OFF},
    {"MovieWDR", Act::word, PREF_WORD(MovieWDR), true, PREF_OFF, PREF_WDR_ACCEPTED, PREF_OFF, nullptr, nullptr,
     "Movie WDR =[%d];set Wide Dynamic Range,0:Off,1:On\r\n", kBlank},
    {"PHOTOMODE", Act::title, PREF_PHOTO_MODE, false, 0, 0, 0, nullptr, nullptr, "PHOTO MODE\r\n"},
    {"PhotoModeCaptureSize", Act::word, PREF_WORD(MovieResolution), true, PREF_RES_1080P, PREF_RES_WVGA, PREF_RES_1080P,
     nullptr, nullptr, "Photo Mode Capture Size=[%d];set photo size,0:1920x1080,1:1280x720,2:848x480\r\n"},
    {"PhotoRotate", Act::word, PREF_WORD(MovieRotate), true, PREF_ROTATE_NONE, PREF_ROTATE_LEFT, PREF_ROTATE_NONE,
     nullptr, nullptr, "Photo Rotate=[%d];set Photo rotate,0:No,1:Inverted,2:90 degrees Right,3:90 degrees Left\r\n"},
    {"PhotoTimestamp", Act::word, PREF_WORD(MovieTimestamp), true, PREF_OFF, PREF_ON, PREF_ON, nullptr, nullptr,
     "Photo Time stamp=[%d];set date/time stamp on or off,0:off,1:on\r\n"},
    {"SetTimeLapseShooting", Act::word, PREF_WORD(SetTimeLapseShooting), false, PREF_LAPSE_OFF, PREF_LAPSE_60S,
     PREF_LAPSE_OFF, nullptr, nullptr,
     "Set Time Lapse Shooting=[%d];0:off,1:0.25s,2:0.5s,3:1s,4:2s,5:5s,6:10s,7:30s,8:60s\r\n", kBlank},
    {"PhotoDefog", Act::word, PREF_WORD(MovieDefog), true, PREF_OFF, PREF_ON, PREF_OFF},
    {"SystemSetting", Act::title, -1, false, 0, 0, 0, nullptr, nullptr, "System Setting\r\n"},
    {"AutoPoweroff", Act::word, PREF_WORD(AutoPoweroff), false, PREF_AUTO_OFF_NEVER, PREF_AUTO_OFF_2MIN,
     PREF_AUTO_OFF_30S, nullptr, nullptr,
     "Auto Power off=[%d];set system auto power off time when system pending,0:off,1:30 seconds,2:1 minutes,"
     "3:2 minutes\r\n"},
    {"Poweroff", Act::word, PREF_WORD(Poweroff), false, PREF_POWER_KEY_DELAY, PREF_POWER_KEY_FAST, PREF_POWER_KEY_FAST,
     nullptr, program_power_off_key, "Power off=[%d];set system  power off time,0:delay,1:fast\r\n"},
    {"Poweron", Act::word, PREF_WORD(Poweron), false, PREF_POWER_KEY_DELAY, PREF_POWER_KEY_FAST, PREF_POWER_KEY_FAST,
     nullptr, program_power_on_key, "Power on=[%d];set system  power on time,0:delay,1:fast\r\n"},
    {"AutoRecordwithExternalPower", Act::word, PREF_WORD(AutoRecordwithExternalPower), false, PREF_OFF, PREF_ON,
     PREF_OFF, nullptr, nullptr,
     "Auto Record with External Power=[%d];set connect with power to start video recording automatically,0:off,"
     "1:on\r\n"},
    {"OnePowerButtontoAutoRecord", Act::word, PREF_WORD(OnePowerButtontoAutoRecord), false, PREF_OFF, PREF_ON, PREF_OFF,
     nullptr, nullptr,
     "One Power Button to Auto Record=[%d];set press power key to start video recording automatically,0:off,"
     "1:on\r\n"},
    {"AutoOffwithExternalPowerdisconnected", Act::none, -1},
    {"LED", Act::word, PREF_WORD(LED), false, PREF_OFF, PREF_ON, PREF_ON, nullptr, nullptr,
     "LED=[%d];set LED flicker when recording,0:off,1:on\r\n"},
    {"ChargefromUSBHost", Act::word, PREF_WORD(ChargefromUSBHost), false, PREF_HOST_CHARGE, PREF_HOST_NO_CHARGE,
     PREF_HOST_CHARGE, nullptr, nullptr,
     "Charge from USB Host=[%d];when connecting with USB host, charge camera or not,0:on,1:off\r\n"},
    {"Lightfrequency", Act::word, PREF_WORD(Lightfrequency), false, PREF_LIGHT_50HZ, PREF_LIGHT_60HZ, PREF_LIGHT_50HZ,
     nullptr, nullptr, "Light frequency=[%d];set light source frequency,0:50 HZ,1:60 HZ\r\n"},
    {"TVout", Act::word, PREF_WORD(TVout), false, PREF_TV_NTSC, PREF_TV_PAL, PREF_TV_PAL, nullptr, nullptr,
     "TV out=[%d];set Tv out,0:NTSC,1:PAL\r\n", kBlank},
    {"TVOutStrategy", Act::word, PREF_WORD(TVOutStrategy), false, 0, 1, 0},
    {"AudioInputPath", Act::word, PREF_WORD(AudioInputPath), false, PREF_AUDIO_PATH_DEFAULT, PREF_AUDIO_PATH_ALTERNATE,
     PREF_AUDIO_PATH_DEFAULT, "AUDIOINPUTPATH AUDIOINPUTPATH %d\n"},
    {"TVDisplayRatio", Act::none, -1},
    {"FormatCard", Act::format, -1},
    {"ConfirmFormat", Act::format, -1},
    {"Lensoption", Act::word, PREF_WORD(Lensoption), false, 0, 2, 0, "lensoption %d\n"},
    {"MotionDetect", Act::word, PREF_WORD(MotionDetect), false, PREF_OFF, PREF_ON, PREF_OFF, "motionDetect %d\n",
     nullptr, "Motion Detect=[%d];set motion detect,0:off,1:on\r\n"},
    {"MotionDetectTimeout", Act::word, PREF_WORD(MotionDetectTimeout), false, PREF_MD_TIMEOUT_5S, PREF_MD_TIMEOUT_60S,
     PREF_MD_TIMEOUT_5S, "motionDetectTimeout %d\n", nullptr,
     "Motion Detect Timeout=[%d];set motion detect timeout,0:5s,1:15s,2:30s,3:60s\r\n"},
    {"MotionDetectSensitivity", Act::word, PREF_WORD(MotionDetectSensitivity), false, PREF_MD_HIGH, PREF_MD_LOW,
     PREF_MD_HIGH, "motionDetectSensitivity %d\n", nullptr,
     "Motion Detect Sensitivity=[%d];set motion detect Sensitivity,0:high,1:nomal,2:low\r\n", kImageQualityTitle},
    {"EnableManualAELockorAWBLock", Act::word, PREF_WORD(EnableManualAELockorAWBLock), false, PREF_LOCK_NONE,
     PREF_LOCK_AWB, PREF_LOCK_NONE, "enableAELockorAWBLock %d\n", nullptr,
     "Enable Manual AE Lock or AWB Lock = [%d]; 0: Not enabled; 1: AE Lock and AWB Lock; 2: AE Lock only; 3: AWB "
     "Lock only.\r\n",
     kLockHelp},
    {"WhiteBalance", Act::word, PREF_WORD(WhiteBalance), false, PREF_WB_AUTO, PREF_WB_CUSTOM3, PREF_WB_AUTO,
     "whiteBalance %d\n", nullptr,
     "White Balance=[%d];Set White Balance,0:Auto,1:Sunny,2:Cloudy,3:Tungsten,4:Fluorescent,5:Snow,6:Diving,"
     "7:Custom WB1,8:Custom WB2,9:Custom WB3\r\n",
     kWhiteBalanceHelp},
    {"CustomizedWhiteBalance1RedGain", Act::gains, PREF_WORD(CustomizedWhiteBalance[0]), false, PREF_GAIN_MIN,
     PREF_GAIN_MAX, PREF_GAIN_UNIT, "wb1  r=%d,g=%d,b=%d\n", nullptr,
     "Customized White Balance 1 Red Gain=[%d],Green Gain=[%d],Blue Gain=[%d];\r\n"},
    {"CustomizedWhiteBalance2RedGain", Act::gains, PREF_WORD(CustomizedWhiteBalance[1]), false, PREF_GAIN_MIN,
     PREF_GAIN_MAX, PREF_GAIN_UNIT, "wb2  r=%d,g=%d,b=%d\n", nullptr,
     "Customized White Balance 2 Red Gain=[%d],Green Gain=[%d],Blue Gain=[%d];\r\n"},
    {"CustomizedWhiteBalance3RedGain", Act::gains, PREF_WORD(CustomizedWhiteBalance[2]), false, PREF_GAIN_MIN,
     PREF_GAIN_MAX, PREF_GAIN_UNIT, "wb3  r=%d,g=%d,b=%d\n", nullptr,
     "Customized White Balance 3 Red Gain=[%d],Green Gain=[%d],Blue Gain=[%d];\r\n", kGainHelp},
    {"ExposureValue", Act::word, PREF_WORD(ExposureValue), false, PREF_ADJUST_MIN, PREF_ADJUST_MAX, PREF_ADJUST_NONE,
     "exposurValue %d\n", nullptr,
     "Exposure Value=[%d];Exposure compensation,values from -128 to +128,In 1 increments,default value is 0\r\n"},
    {"ExposureStrategyMode", Act::word, PREF_WORD(ExposureStrategyMode), false, PREF_EXPOSURE_HIGHLIGHT,
     PREF_EXPOSURE_LOWLIGHT, PREF_EXPOSURE_HIGHLIGHT, "exposureStrategyMode %d\n", nullptr,
     "Exposure Strategy Mode=[%d];set exposure strategy mode,0:exposure high light prior,1:exposure low light "
     "prior\r\n"},
    {"ExposureMetering", Act::word, PREF_WORD(ExposureMetering), false, PREF_METER_CENTER_WEIGHTED, PREF_METER_DOWN,
     PREF_METER_CENTER_WEIGHTED, "exposureMetering %d\n", nullptr,
     "Exposure Metering=[%d];set exposure Metering,0:center weighted,1:center spot,2:multi-spot,3:upper weighted,"
     "4:down weighted\r\n",
     kBlank},
    {"ColorEffect", Act::word, PREF_WORD(ColorEffect), false, PREF_COLOR_STANDARD, PREF_COLOR_SATURATED,
     PREF_COLOR_STANDARD, "colorEffect %d\n", nullptr,
     "Color Effect=[%d];Set Color Effect,0:Standard,1:Mono,2:Cool,3:Cooler,4:Warm,5:Warmer,6:Vivid\r\n"},
    {"Contrast", Act::word, PREF_WORD(Contrast), false, PREF_ADJUST_MIN, PREF_ADJUST_MAX, PREF_ADJUST_NONE,
     "contrast %d\n", nullptr,
     "Contrast=[%d];Set Contrast,values from -128 to +128,In 1 increments,default value is 0\r\n"},
    {"Saturation", Act::word, PREF_WORD(Saturation), false, PREF_ADJUST_MIN, PREF_ADJUST_MAX, PREF_ADJUST_NONE,
     "saturation %d\n", nullptr,
     "Saturation=[%d];Set Image Saturation,values from -128 to +128,In 1 increments,default value is 0\r\n"},
    {"Sharpness", Act::word, PREF_WORD(Sharpness), false, PREF_ADJUST_MIN, PREF_ADJUST_MAX, PREF_ADJUST_NONE,
     "sharpness %d\n", nullptr,
     "Sharpness=[%d];Set Image Sharpness,values from -128 to +128,In 1 increments,default value is 0\r\n", kBlank},
};

constexpr bool same_text(const char *a, const char *b)
{
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}

constexpr int key_index(const char *key)
{
    for (int i = 0; i < SETTINGS_KEY_COUNT; ++i)
        if (same_text(kSettingsKeys[i].key, key))
            return i;
    return -1;
}

// A written line reads back as its own key: its text before "=" (a title's
// whole line) without the spaces, as the parser collects it.
constexpr bool line_reads_back(const SettingsKey &k)
{
    if (!k.line)
        return true;
    const char *key = k.key;
    for (const char *c = k.line; *c && *c != '=' && *c != '\r'; ++c) {
        if (*c == ' ')
            continue;
        if (*c != *key)
            return false;
        ++key;
    }
    return *key == '\0';
}

constexpr bool table_is_sound()
{
    for (int i = 0; i < SETTINGS_KEY_COUNT; ++i) {
        const SettingsKey &k = kSettingsKeys[i];
        if (!k.key || key_index(k.key) != i || !line_reads_back(k))
            return false;
        size_t len = 0;
        while (k.key[len])
            ++len;
        if (len >= sizeof keyTable[0])
            return false;
    }
    return true;
}
static_assert(table_is_sound(), "every key once, fitting keyTable, and written as it is read");

// The writer's order is the table's, except that each video-mode title heads
// its own copy of the movie keys.
constexpr int kVideoMode1 = key_index("VIDEOMODE1");
constexpr int kFirstMovieKey = key_index("VIDEOMODE2") + 1;
constexpr int kPhotoMode = key_index("PHOTOMODE");
// The debug print stops after the system settings.
constexpr int kDebugEnd = key_index("TVout") + 1;
static_assert(kVideoMode1 >= 0 && kFirstMovieKey > kVideoMode1 && kPhotoMode > kFirstMovieKey && kDebugEnd > kPhotoMode,
              "the titles the layout hangs on");

constexpr int kWordOfCycletime = PREF_WORD(MovieCycletime);

struct KeyTexts {
    char text[256][100];
};

constexpr KeyTexts make_key_texts()
{
    KeyTexts t{};
    for (int i = 0; i < SETTINGS_KEY_COUNT; ++i)
        for (int j = 0; kSettingsKeys[i].key[j]; ++j)
            t.text[i][j] = kSettingsKeys[i].key[j];
    return t;
}

constexpr KeyTexts kKeyTexts = make_key_texts();

} // namespace

const char (&keyTable)[256][100] = kKeyTexts.text;

namespace {

const SettingsKey *settings_key(int index)
{
    return index >= 0 && index < SETTINGS_KEY_COUNT ? &kSettingsKeys[index] : nullptr;
}

bool acts_as(int index, Act act)
{
    const SettingsKey *k = settings_key(index);
    return k && k->act == act;
}

bool in_range(const SettingsKey &k, int32_t v)
{
    return (v >= k.min && v <= k.max) || (k.word == kWordOfCycletime && v == PREF_CYCLE_1MIN);
}

// A whole decimal number of 32 bits; anything else (empty, letters, too big)
// is no value at all.
bool parse_number(const char *text, int32_t *out)
{
    errno = 0;
    char *end = nullptr;
    long long v = strtoll(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = (int32_t)v;
    return true;
}

void use_fallback(const SettingsKey &k, int word, const char *why)
{
    printf("======%s=[%s] out of range, set to %d\n", k.key, why, k.fallback);
    pref_set_word(app_pref_user, word, k.fallback);
}

// Stores the value, reports it, then puts the fallback in its place when it
// is out of range.
void store_checked(const SettingsKey &k, int word, const char *text)
{
    int32_t v;
    if (!parse_number(text, &v)) {
        use_fallback(k, word, text);
        return;
    }
    pref_set_word(app_pref_user, word, v);
    if (k.progress)
        printf(k.progress, v);
    if (!in_range(k, v))
        use_fallback(k, word, text);
}

// "a,b,c," : three gains, each checked on its own.
void store_gains(const SettingsKey &k, const char *text)
{
    printf("%s \n", text);
    char token[3][SETTINGS_VALUE_MAX + 1] = {};
    int32_t gain[3];
    bool parsed[3];
    const char *p = text;
    for (int i = 0; i < 3; ++i) {
        size_t len = strcspn(p, ",");
        memcpy(token[i], p, len < SETTINGS_VALUE_MAX ? len : SETTINGS_VALUE_MAX);
        parsed[i] = parse_number(token[i], &gain[i]);
        if (!parsed[i])
            gain[i] = k.fallback;
        pref_set_word(app_pref_user, k.word + i, gain[i]);
        p += len + (p[len] == ',' ? 1 : 0);
    }
    printf(k.progress, gain[0], gain[1], gain[2]);
    for (int i = 0; i < 3; ++i)
        if (!parsed[i] || !in_range(k, gain[i]))
            use_fallback(k, k.word + i, token[i]);
}

void copy_clock_text(char (&dst)[20], const char *src)
{
    memset(dst, 0, sizeof dst);
    memcpy(dst, src, strnlen(src, sizeof dst - 1));
}

void apply_clock_text(const char *text)
{
    copy_clock_text(app_pref_user->Datetime, text);
    Set_Date_Time(app_pref_user->Datetime, app_pref_user->Dateformat);
}

void set_clock_text(const char *value)
{
    if (!*value)
        return; // no clock text, nothing to set or keep
    if (g_change_date_tag != 1)
        copy_clock_text(setDatetime, value);
    else
        apply_clock_text(value);
}

void confirm_clock_text(const char *value)
{
    int32_t v;
    if (!parse_number(value, &v) || v != 1)
        return;
    if (setDatetime[0])
        apply_clock_text(setDatetime);
    else
        g_change_date_tag = 1;
}

void confirm_format(const char *value)
{
    int32_t v;
    if (!parse_number(value, &v) || v != 1) {
        do_format = 0;
        g_format_tag = 0;
        return;
    }
    if (g_format_tag == 1)
        do_format = 1;
    g_format_tag = 1;
}

// One line of the file, its line end already removed.
void parse_line(const char *line)
{
    if (line[0] == '#' || (line[0] == '/' && line[1] == '/'))
        return;
    char key[256] = {};
    char value[SETTINGS_VALUE_MAX + 1] = {};
    size_t klen = 0, vlen = 0;
    int index = -1;
    bool after_eq = false, in_brackets = false;
    for (const char *c = line; *c; ++c) {
        if (*c == ' ')
            continue;
        if (*c == '=') {
            after_eq = true;
            index = findKey(key);
            continue;
        }
        if (*c == '[') {
            in_brackets = true;
            continue;
        }
        if (*c == ']') {
            in_brackets = false;
            if (!acts_as(index, Act::gains))
                break;
            if (vlen < SETTINGS_VALUE_MAX)
                value[vlen++] = ',';
            continue;
        }
        if (!after_eq && klen < sizeof key - 1)
            key[klen++] = *c;
        if (in_brackets && vlen < SETTINGS_VALUE_MAX)
            value[vlen++] = *c;
    }
    // A line without "=" carries no value: it can only be a title ("VIDEO
    // MODE 1"), whatever its line end.
    if (index < 0 && klen) {
        printf("%s\r\n", key);
        index = findKey(key);
        if (!after_eq && !acts_as(index, Act::title))
            return;
    }
    setTableVale(index, value);
}

// Reads one line of at most size - 1 characters without its line end; the
// rest of a longer line is skipped, so that its tail is never taken for a
// setting of its own. Read by character, so that a NUL byte ends the line's
// text but not the line: the line end after it is still found.
bool read_line(FILE *f, char *line, size_t size)
{
    int c = fgetc(f);
    if (c == EOF)
        return false;
    size_t len = 0, dropped = 0;
    for (; c != EOF && c != '\n'; c = fgetc(f)) {
        if (len < size - 1)
            line[len++] = (char)c;
        else if (c != '\r')
            ++dropped;
    }
    line[len] = '\0';
    if (dropped)
        printf("======syscfg2.txt: line longer than %zu characters, %zu ignored\n", size - 1, dropped);
    while (len && line[len - 1] == '\r')
        line[--len] = '\0';
    return true;
}

std::string txt_path()
{
    char path[64];
    snprintf(path, sizeof path, "%s/syscfg2.txt", kTxtDir);
    return path;
}

// Visits the keys up to `end` in the writer's order, each with the mode whose
// element it shows.
template <class Visit> void walk_file(int end, Visit &&visit)
{
    auto keys = [&](int from, int to, int mode) {
        for (int i = from; i < to && i < end; ++i)
            visit(kSettingsKeys[i], mode);
    };
    keys(0, kVideoMode1, PREF_VIDEO_MODE1);
    for (int m = PREF_VIDEO_MODE1; m <= PREF_VIDEO_MODE2; ++m) {
        keys(kVideoMode1 + m, kVideoMode1 + m + 1, m);
        keys(kFirstMovieKey, kPhotoMode, m);
    }
    keys(kPhotoMode, end, PREF_PHOTO_MODE);
}

int word_in_mode(const SettingsKey &k, int mode) { return k.word + (k.per_mode ? mode : 0); }

void write_key(FILE *f, const DvSystemParam *p, const SettingsKey &k, int mode)
{
    if (!k.line)
        return;
    const int word = word_in_mode(k, mode);
    switch (k.act) {
    case Act::word:
        fprintf(f, k.line, pref_get_word(p, word));
        break;
    case Act::gains:
        fprintf(f, k.line, pref_get_word(p, word), pref_get_word(p, word + 1), pref_get_word(p, word + 2));
        break;
    case Act::clock:
        fprintf(f, k.line, p->Datetime);
        break;
    default:
        fputs(k.line, f);
        break;
    }
    if (k.after)
        fputs(k.after, f);
}

// The written line's name and value, "Movie Sound=[2]"; titles as written.
void print_key(const DvSystemParam *p, const SettingsKey &k, int mode)
{
    if (!k.line)
        return;
    const int name = (int)strcspn(k.line, "[");
    switch (k.act) {
    case Act::title:
        fputs(k.line, stdout);
        break;
    case Act::word:
        printf("%.*s[%d]\r\n", name, k.line, pref_get_word(p, word_in_mode(k, mode)));
        break;
    case Act::clock:
        printf("%.*s[%s]\r\n", name, k.line, p->Datetime);
        break;
    default:
        break; // a fixed value
    }
    // The flip word has no key; it shows next to the rotation.
    if (k.act == Act::word && k.word == PREF_WORD(MovieRotate))
        printf(mode == PREF_PHOTO_MODE ? "Photo Flip[%d]\r\n" : "Movie Flip=[%d]\r\n", p->MovieFlip[mode]);
}

} // namespace

void settings_parser_reset(void)
{
    curMode = 0;
    memset(setDatetime, 0, sizeof setDatetime);
    g_change_date_tag = 0;
    g_format_tag = 0;
    do_format = 0;
}

int strcmpy(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (x != y)
            return x > y ? 1 : -1;
        if (!x)
            return 0;
    }
}

int findKey(const char *text)
{
    if (!text)
        return -1;
    for (int i = 0; i < SETTINGS_KEY_COUNT; ++i)
        if (strcmpy(keyTable[i], text) == 0)
            return i;
    return -1;
}

int setTableVale(int index, const char *value)
{
    const SettingsKey *k = settings_key(index);
    if (!k || !app_pref_user)
        return 0;
    if (!value)
        value = "";
    switch (k->act) {
    case Act::clock:
        set_clock_text(value);
        break;
    case Act::confirm_clock:
        confirm_clock_text(value);
        break;
    case Act::title:
        if (k->word >= 0)
            curMode = k->word;
        break;
    case Act::format:
        confirm_format(value);
        break;
    case Act::gains:
        store_gains(*k, value);
        break;
    case Act::word:
        store_checked(*k, word_in_mode(*k, curMode), value);
        if (k->then)
            k->then(app_pref_user, curMode);
        break;
    case Act::none:
        break;
    }
    return 0;
}

int fileRead(void)
{
    FILE *f = fopen(bd_path(txt_path()).c_str(), "r");
    if (!f) {
        puts("======fopen config file failed in fileRead");
        return -1;
    }
    char line[256];
    while (read_line(f, line, sizeof line))
        parse_line(line);
    fclose(f);
    return 0;
}

int settings_fix_frame_rate(DvSystemParam *p, int mode)
{
    if (!p || mode < 0 || mode > PREF_PHOTO_MODE)
        return 0;
    // 120 and 100 fps only exist below 1080p.
    int32_t &fps = p->MovieFrameRate[mode];
    if ((fps == PREF_FPS_120 || fps == PREF_FPS_100) && p->MovieResolution[mode] == PREF_RES_1080P) {
        fps = PREF_FPS_60;
        return 1;
    }
    return 0;
}

int settings_fix_ranges(DvSystemParam *p, const char *origin, const DvSystemParam *defaults)
{
    if (!p)
        return 0;
    int fixed = 0;
    for (const SettingsKey &k : kSettingsKeys) {
        if (k.act != Act::word && k.act != Act::gains)
            continue;
        int count = k.per_mode || k.act == Act::gains ? 3 : 1;
        for (int i = 0; i < count; ++i) {
            int32_t v = pref_get_word(p, k.word + i);
            if (in_range(k, v))
                continue;
            const int32_t to = defaults ? pref_get_word(defaults, k.word + i) : k.fallback;
            printf("======%s: %s word %d is %d, out of range, set to %d\n", origin, k.key, k.word + i, v, to);
            pref_set_word(p, k.word + i, to);
            ++fixed;
        }
    }
    return fixed;
}

int WriteTxtCfgToSDCard(void)
{
    printf("-----------%s\n", "WriteTxtCfgToSDCard");
    DvSystemParam *p = app_pref_user;
    if (!p)
        return -1;
    // The text is made in memory, then written through the board whole: a
    // cut leaves the old file or the new one.
    char *text = nullptr;
    size_t size = 0;
    FILE *f = open_memstream(&text, &size);
    if (!f) {
        puts("=======write_config_txt fwrite failed");
        return -1;
    }
    usleep(20 * 1000);

    time_t now = bd_time(nullptr);
    struct tm tm;
    if (bd_localtime(&now, &tm))
        repeatTime(&tm, p->Dateformat);

    walk_file(SETTINGS_KEY_COUNT, [&](const SettingsKey &k, int mode) { write_key(f, p, k, mode); });

    char rootfs[11];
    pref_read_rootfs_version(rootfs, sizeof rootfs);
    fprintf(f, "kernel version:%s \r\n", "1.0.6");
    fprintf(f, "rootfs version:%s\r\n", rootfs);
    fprintf(f, "software version: %s \r\n", "2.03");

    bool made = !ferror(f);
    made = fclose(f) == 0 && made;
    bool opened = false;
    const bool written = made && safe_file_write_all(txt_path(), text, size, &opened);
    free(text);
    if (made && !opened) {
        puts("=======write_config_txt fopen failed");
        return -1;
    }
    bd_sync();
    usleep(200 * 1000);
    if (!written) {
        puts("=======write_config_txt fwrite failed");
        return -1;
    }
    return 0;
}

void showDebug(void)
{
    const DvSystemParam *p = app_pref_user;
    if (!p)
        return;
    walk_file(kDebugEnd, [&](const SettingsKey &k, int mode) { print_key(p, k, mode); });
}
