// The settings text file: its writer, its line parser and the per-key rules.
#include "app/settings_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

#include "app/devices/date_time.h"
#include "app/devices/mcu.h"
#include "board/board.h"

const char keyTable[256][100] = {
    "Dateformat",
    "Datetime",
    "Modifydatetime",
    "DefaultMode",
    "VIDEOMODE1",
    "VIDEOMODE2",
    "MovieResolution",
    "MovieFrameRate",
    "MovieSound",
    "MovieCycletime",
    "MovieLoopRecording",
    "MovieRotate",
    "MovieTimestamp",
    "MovieBitstreamAlgorithm",
    "Moviequality",
    "MovieCodec",
    "MovieDefog",
    "MovieLensDistortionCorrection",
    "MovieWDR",
    "PHOTOMODE",
    "PhotoModeCaptureSize",
    "PhotoRotate",
    "PhotoTimestamp",
    "SetTimeLapseShooting",
    "PhotoDefog",
    "SystemSetting",
    "AutoPoweroff",
    "Poweroff",
    "Poweron",
    "AutoRecordwithExternalPower",
    "OnePowerButtontoAutoRecord",
    "AutoOffwithExternalPowerdisconnected",
    "LED",
    "ChargefromUSBHost",
    "Lightfrequency",
    "TVout",
    "TVOutStrategy",
    "AudioInputPath",
    "TVDisplayRatio",
    "FormatCard",
    "ConfirmFormat",
    "Lensoption",
    "MotionDetect",
    "MotionDetectTimeout",
    "MotionDetectSensitivity",
    "EnableManualAELockorAWBLock",
    "WhiteBalance",
    "CustomizedWhiteBalance1RedGain",
    "CustomizedWhiteBalance2RedGain",
    "CustomizedWhiteBalance3RedGain",
    "ExposureValue",
    "ExposureStrategyMode",
    "ExposureMetering",
    "ColorEffect",
    "Contrast",
    "Saturation",
    "Sharpness",
};

int curMode = 0;
char setDatetime[20];
int g_change_date_tag = 0;
int g_format_tag = 0;
int do_format = 0;

namespace {

const char *const kTxtDir = "/mnt/sdcard0";

// Keys that do more than store one checked word.
enum {
    KEY_DATETIME = 1,
    KEY_MODIFYDATETIME = 2,
    KEY_VIDEOMODE1 = 4,
    KEY_VIDEOMODE2 = 5,
    KEY_MOVIEFRAMERATE = 7,
    KEY_MOVIECYCLETIME = 9,
    KEY_PHOTOMODE = 19,
    KEY_SYSTEMSETTING = 25,
    KEY_POWEROFF = 27,
    KEY_POWERON = 28,
    KEY_AUDIOINPUTPATH = 37,
    KEY_FORMATCARD = 39,
    KEY_CONFIRMFORMAT = 40,
    KEY_WB1 = 47,
    KEY_WB3 = 49,
};

constexpr int kWordOfResolution = 30;
constexpr int32_t kCycletimeOneMinute = 83;

struct KeyRule {
    int word;      // first word of the record the key sets; -1: none
    bool per_mode; // the word is word + curMode
    int32_t min, max, fallback;
    const char *progress; // printed with the stored value, before the check
};

// Indexed like keyTable. Keys 47-49 set three words each, word .. word + 2.
const KeyRule kKeyRules[SETTINGS_KEY_COUNT] = {
    {13, false, 0, 2, 0, nullptr},    // Dateformat
    {-1, false, 0, 0, 0, nullptr},    // Datetime
    {-1, false, 0, 0, 0, nullptr},    // Modifydatetime
    {19, false, 0, 2, 0, nullptr},    // DefaultMode
    {-1, false, 0, 0, 0, nullptr},    // VIDEOMODE1
    {-1, false, 0, 0, 0, nullptr},    // VIDEOMODE2
    {30, true, 0, 2, 0, nullptr},     // MovieResolution
    {36, true, 0, 5, 1, nullptr},     // MovieFrameRate
    {39, true, 0, 3, 3, nullptr},     // MovieSound
    {42, true, 0, 3, 0, nullptr},     // MovieCycletime (and 83)
    {45, true, 0, 1, 1, nullptr},     // MovieLoopRecording
    {33, true, 0, 3, 0, nullptr},     // MovieRotate
    {51, true, 0, 1, 1, nullptr},     // MovieTimestamp
    {54, true, 0, 1, 0, nullptr},     // MovieBitstreamAlgorithm
    {57, true, 0, 7, 3, nullptr},     // Moviequality
    {60, true, 0, 1, 0, nullptr},     // MovieCodec
    {63, true, 0, 1, 0, nullptr},     // MovieDefog
    {66, true, 0, 1, 0, nullptr},     // MovieLensDistortionCorrection
    {69, true, 0, 2, 0, nullptr},     // MovieWDR
    {-1, false, 0, 0, 0, nullptr},    // PHOTOMODE
    {30, true, 0, 2, 0, nullptr},     // PhotoModeCaptureSize
    {33, true, 0, 3, 0, nullptr},     // PhotoRotate
    {51, true, 0, 1, 1, nullptr},     // PhotoTimestamp
    {72, false, 0, 8, 0, nullptr},    // SetTimeLapseShooting
    {63, true, 0, 1, 0, nullptr},     // PhotoDefog
    {-1, false, 0, 0, 0, nullptr},    // SystemSetting
    {20, false, 0, 3, 1, nullptr},    // AutoPoweroff
    {74, false, 0, 1, 1, nullptr},    // Poweroff
    {73, false, 0, 1, 1, nullptr},    // Poweron
    {21, false, 0, 1, 0, nullptr},    // AutoRecordwithExternalPower
    {22, false, 0, 1, 0, nullptr},    // OnePowerButtontoAutoRecord
    {-1, false, 0, 0, 0, nullptr},    // AutoOffwithExternalPowerdisconnected
    {24, false, 0, 1, 1, nullptr},    // LED
    {25, false, 0, 1, 0, nullptr},    // ChargefromUSBHost
    {26, false, 0, 1, 0, nullptr},    // Lightfrequency
    {27, false, 0, 1, 1, nullptr},    // TVout
    {28, false, 0, 1, 0, nullptr},    // TVOutStrategy
    {29, false, 0, 1, 0, "AUDIOINPUTPATH %d\n"},
    {-1, false, 0, 0, 0, nullptr},    // TVDisplayRatio
    {-1, false, 0, 0, 0, nullptr},    // FormatCard
    {-1, false, 0, 0, 0, nullptr},    // ConfirmFormat
    {75, false, 0, 2, 0, "lensoption %d\n"},
    {76, false, 0, 1, 0, "motionDetect %d\n"},
    {77, false, 0, 3, 0, "motionDetectTimeout %d\n"},
    {78, false, 0, 2, 0, "motionDetectSensitivity %d\n"},
    {79, false, 0, 3, 0, "enableAELockorAWBLock %d\n"},
    {80, false, 0, 9, 0, "whiteBalance %d\n"},
    {81, false, 100, 999, 256, nullptr}, // CustomizedWhiteBalance1RedGain
    {84, false, 100, 999, 256, nullptr}, // CustomizedWhiteBalance2RedGain
    {87, false, 100, 999, 256, nullptr}, // CustomizedWhiteBalance3RedGain
    {90, false, -128, 128, 0, "exposurValue %d\n"},
    {91, false, 0, 1, 0, "exposureStrategyMode %d\n"},
    {92, false, 0, 4, 0, "exposureMetering %d\n"},
    {93, false, 0, 7, 0, "colorEffect %d\n"},
    {94, false, -128, 128, 0, "contrast %d\n"},
    {95, false, -128, 128, 0, "saturation %d\n"},
    {96, false, -128, 128, 0, "sharpness %d\n"},
};

bool is_title(int index)
{
    return index == KEY_VIDEOMODE1 || index == KEY_VIDEOMODE2 || index == KEY_PHOTOMODE || index == KEY_SYSTEMSETTING;
}

bool is_gain_key(int index) { return index >= KEY_WB1 && index <= KEY_WB3; }

bool in_range(int index, int32_t v)
{
    const KeyRule &r = kKeyRules[index];
    return (v >= r.min && v <= r.max) || (index == KEY_MOVIECYCLETIME && v == kCycletimeOneMinute);
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

void use_fallback(int index, int word, const char *why)
{
    int32_t fb = kKeyRules[index].fallback;
    printf("======%s=[%s] out of range, set to %d\n", keyTable[index], why, fb);
    pref_set_word(app_pref_user, word, fb);
}

// Stores the value, reports it, then puts the fallback in its place when it
// is out of range.
void store_checked(int index, int word, const char *text)
{
    int32_t v;
    if (!parse_number(text, &v)) {
        use_fallback(index, word, text);
        return;
    }
    pref_set_word(app_pref_user, word, v);
    if (index == KEY_AUDIOINPUTPATH)
        printf("AUDIOINPUTPATH ");
    if (kKeyRules[index].progress)
        printf(kKeyRules[index].progress, v);
    if (!in_range(index, v))
        use_fallback(index, word, text);
}

// "a,b,c," : three gains, each checked on its own.
void store_gains(int index, const char *text)
{
    const int word = kKeyRules[index].word;
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
            gain[i] = kKeyRules[index].fallback;
        pref_set_word(app_pref_user, word + i, gain[i]);
        p += len + (p[len] == ',' ? 1 : 0);
    }
    printf("wb%d  r=%d,g=%d,b=%d\n", index - KEY_WB1 + 1, gain[0], gain[1], gain[2]);
    for (int i = 0; i < 3; ++i)
        if (!parsed[i] || !in_range(index, gain[i]))
            use_fallback(index, word + i, token[i]);
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
            if (!is_gain_key(index))
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
        if (!after_eq && !is_title(index))
            return;
    }
    setTableVale(index, value);
}

// Reads one line of at most size - 1 characters without its line end; the
// rest of a longer line is skipped, so that its tail is never taken for a
// setting of its own.
bool read_line(FILE *f, char *line, size_t size)
{
    if (!fgets(line, (int)size, f))
        return false;
    size_t len = strlen(line);
    bool complete = len && line[len - 1] == '\n';
    if (!complete && !feof(f)) {
        size_t dropped = 0;
        int c;
        while ((c = fgetc(f)) != EOF && c != '\n')
            if (c != '\r')
                ++dropped;
        if (dropped)
            printf("======syscfg2.txt: line longer than %zu characters, %zu ignored\n", size - 1, dropped);
    }
    while (len && (line[len - 1] == '\n' || line[len - 1] == '\r'))
        line[--len] = '\0';
    return true;
}

std::string txt_path()
{
    char path[64];
    snprintf(path, sizeof path, "%s/syscfg2.txt", kTxtDir);
    return path;
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
    if (index < 0 || index >= SETTINGS_KEY_COUNT || !app_pref_user)
        return 0;
    if (!value)
        value = "";
    switch (index) {
    case KEY_DATETIME:
        set_clock_text(value);
        return 0;
    case KEY_MODIFYDATETIME:
        confirm_clock_text(value);
        return 0;
    case KEY_VIDEOMODE1:
        curMode = PREF_VIDEO_MODE1;
        return 0;
    case KEY_VIDEOMODE2:
        curMode = PREF_VIDEO_MODE2;
        return 0;
    case KEY_PHOTOMODE:
        curMode = PREF_PHOTO_MODE;
        return 0;
    case KEY_FORMATCARD:
    case KEY_CONFIRMFORMAT:
        confirm_format(value);
        return 0;
    default:
        break;
    }
    const KeyRule &r = kKeyRules[index];
    if (r.word < 0)
        return 0;
    if (is_gain_key(index)) {
        store_gains(index, value);
        return 0;
    }
    const int word = r.word + (r.per_mode ? curMode : 0);
    store_checked(index, word, value);
    if (index == KEY_MOVIEFRAMERATE) {
        settings_fix_frame_rate(app_pref_user, curMode);
    } else if (index == KEY_POWEROFF) {
        set_power_off_key_status(app_pref_user->Poweroff == 0 ? 1 : 0);
        usleep(50 * 1000);
    } else if (index == KEY_POWERON) {
        set_power_on_key_status(app_pref_user->Poweron == 0 ? 1 : 0);
        usleep(50 * 1000);
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
    const int word = kKeyRules[KEY_MOVIEFRAMERATE].word + mode;
    int32_t fps = pref_get_word(p, word);
    if ((fps == 0 || fps == 3) && pref_get_word(p, kWordOfResolution + mode) == 0) {
        pref_set_word(p, word, 1);
        return 1;
    }
    return 0;
}

int settings_fix_ranges(DvSystemParam *p, const char *origin)
{
    if (!p)
        return 0;
    int fixed = 0;
    for (int index = 0; index < SETTINGS_KEY_COUNT; ++index) {
        const KeyRule &r = kKeyRules[index];
        if (r.word < 0)
            continue;
        int count = r.per_mode || is_gain_key(index) ? 3 : 1;
        for (int i = 0; i < count; ++i) {
            int32_t v = pref_get_word(p, r.word + i);
            if (in_range(index, v))
                continue;
            printf("======%s: %s word %d is %d, out of range, set to %d\n", origin, keyTable[index], r.word + i, v,
                   r.fallback);
            pref_set_word(p, r.word + i, r.fallback);
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
    FILE *f = fopen(bd_path(txt_path()).c_str(), "w");
    if (!f) {
        puts("=======write_config_txt fopen failed");
        return -1;
    }
    usleep(20 * 1000);

    time_t now = bd_time(nullptr);
    struct tm tm;
    if (bd_localtime(&now, &tm))
        repeatTime(&tm, p->Dateformat);

    fprintf(f, "Date format=[%d];set date format,0:YYYY/MM/DD, 1:DD/MM/YYYY, 2:MM/DD/YYYY\r\n", p->Dateformat);
    fprintf(f, "/**Note: \"Date time\" must be in accordance with the date format specified otherwise unable to "
               "set the date**/\r\n");
    fprintf(f, "Date time=[%s];date time setting,yyyy/mm/dd-hh:mm:ss,dd/mm/yyyy-hh:mm:ss, mm/dd/yyyy-hh:mm:ss\r\n",
            p->Datetime);
    fprintf(f, "Modify datetime=[0];date time setting comfirm,0:not set 1: modify\r\n");
    fprintf(f, "\r\n");
    fprintf(f, "Default Mode=[%d];set power-on default mode,0:Video Mode 1, 1:Video Mode 2, 2:Photo Mode\r\n",
            p->DefaultMode);
    fprintf(f, "\r\n");

    for (int m = PREF_VIDEO_MODE1; m <= PREF_VIDEO_MODE2; ++m) {
        fprintf(f, "VIDEO MODE %d\r\n", m + 1);
        fprintf(f, "Movie Resolution=[%d];0:1080p,1:720p,2:wvga\r\n", p->MovieResolution[m]);
        fprintf(f,
                "Movie Frame Rate=[%d];0:120fps,1:60fps,2:30fps,3:100fps,4:50fps,5:25fps,Note:120fps and 100fps "
                "only for 720P and WVGA.\r\n",
                p->MovieFrameRate[m]);
        fprintf(f, "Movie Sound=[%d];set movie sound,0:Mute,1:Low,2:Medium,3:High\r\n", p->MovieSound[m]);
        fprintf(f, "Movie Cycle time=[%d];movie cycle time,0:3 minutes,1:5 minutes,2:10 minutes,3:20 minutes\r\n",
                p->MovieCycletime[m]);
        fprintf(f, "Movie Loop Recording=[%d];set loop recording on or off, 0:off, 1:on\r\n",
                p->MovieLoopRecording[m]);
        fprintf(f, "Movie Rotate=[%d];set movie rotate,0:No,1:Inverted,2:90 degrees Right,3:90 degrees Left\r\n",
                p->MovieRotate[m]);
        fprintf(f, "Movie Time stamp=[%d];set date/time stamp on or off,0:off,1:on\r\n", p->MovieTimestamp[m]);
        fprintf(f,
                "Movie Bitstream Algorithm=[%d];set video bitstream,constant-bit-rate(CBR) or "
                "variable-bit-rate(VBR),0:CBR,1:VBR \r\n",
                p->MovieBitstreamAlgorithm[m]);
        fprintf(f,
                "Movie quality=[%d];set movie quality,0:Highest,1:Higher,2:High,3:Standard,4:Low,5:Lower,"
                "6:Lowest\r\n",
                p->Moviequality[m]);
        fprintf(f, "Movie Codec=[%d];set video codec,0:H265 HEVC,1:H264 AVC\r\n", p->MovieCodec[m]);
        fprintf(f, "Movie WDR =[%d];set Wide Dynamic Range,0:Off,1:On\r\n", p->MovieWDR[m]);
        fprintf(f, "\r\n");
    }

    const int ph = PREF_PHOTO_MODE;
    fprintf(f, "PHOTO MODE\r\n");
    fprintf(f, "Photo Mode Capture Size=[%d];set photo size,0:1920x1080,1:1280x720,2:848x480\r\n",
            p->MovieResolution[ph]);
    fprintf(f, "Photo Rotate=[%d];set Photo rotate,0:No,1:Inverted,2:90 degrees Right,3:90 degrees Left\r\n",
            p->MovieRotate[ph]);
    fprintf(f, "Photo Time stamp=[%d];set date/time stamp on or off,0:off,1:on\r\n", p->MovieTimestamp[ph]);
    fprintf(f, "Set Time Lapse Shooting=[%d];0:off,1:0.25s,2:0.5s,3:1s,4:2s,5:5s,6:10s,7:30s,8:60s\r\n",
            p->SetTimeLapseShooting);
    fprintf(f, "\r\n");

    fprintf(f, "System Setting\r\n");
    fprintf(f,
            "Auto Power off=[%d];set system auto power off time when system pending,0:off,1:30 seconds,2:1 "
            "minutes,3:2 minutes\r\n",
            p->AutoPoweroff);
    fprintf(f, "Power off=[%d];set system  power off time,0:delay,1:fast\r\n", p->Poweroff);
    fprintf(f, "Power on=[%d];set system  power on time,0:delay,1:fast\r\n", p->Poweron);
    fprintf(f,
            "Auto Record with External Power=[%d];set connect with power to start video recording "
            "automatically,0:off,1:on\r\n",
            p->AutoRecordwithExternalPower);
    fprintf(f,
            "One Power Button to Auto Record=[%d];set press power key to start video recording "
            "automatically,0:off,1:on\r\n",
            p->OnePowerButtontoAutoRecord);
    fprintf(f, "LED=[%d];set LED flicker when recording,0:off,1:on\r\n", p->LED);
    fprintf(f, "Charge from USB Host=[%d];when connecting with USB host, charge camera or not,0:on,1:off\r\n",
            p->ChargefromUSBHost);
    fprintf(f, "Light frequency=[%d];set light source frequency,0:50 HZ,1:60 HZ\r\n", p->Lightfrequency);
    fprintf(f, "TV out=[%d];set Tv out,0:NTSC,1:PAL\r\n", p->TVout);
    fprintf(f, "\r\n");

    fprintf(f, "Motion Detect=[%d];set motion detect,0:off,1:on\r\n", p->MotionDetect);
    fprintf(f, "Motion Detect Timeout=[%d];set motion detect timeout,0:5s,1:15s,2:30s,3:60s\r\n",
            p->MotionDetectTimeout);
    fprintf(f, "Motion Detect Sensitivity=[%d];set motion detect Sensitivity,0:high,1:nomal,2:low\r\n",
            p->MotionDetectSensitivity);
    fprintf(f, "\r\n");

    fprintf(f, "Image Quality Setting\r\n");
    fprintf(f,
            "Enable Manual AE Lock or AWB Lock = [%d]; 0: Not enabled; 1: AE Lock and AWB Lock; 2: AE Lock only; "
            "3: AWB Lock only.\r\n",
            p->EnableManualAELockorAWBLock);
    fprintf(f, "(Long 3 sec. Mode button press required to turn AEL or AWBL on)\r\n");
    fprintf(f,
            "White Balance=[%d];Set White Balance,0:Auto,1:Sunny,2:Cloudy,3:Tungsten,4:Fluorescent,5:Snow,"
            "6:Diving,7:Custom WB1,8:Custom WB2,9:Custom WB3\r\n",
            p->WhiteBalance);
    fprintf(f, "Sunny(4800-5500K) used for sunny with clear sky(Rgain=484,Ggain=256,Bgain=416);\r\n");
    fprintf(f, "Cloudy(7000-9000K) used for shade or heavily overcast sky(Rgain=484,Ggain=256,Bgain=341);\r\n");
    fprintf(f, "Tungsten(2500-3200K) used for Tungsten bulb (or called Incandescent "
               "light)(Rgain=332,Ggain=256,Bgain=627);\r\n");
    fprintf(f, "Fluorescent(3800-4500K) used for fluorescent lamps(Rgain=370,Ggain=256,Bgain=577);\r\n");
    fprintf(f, "Snow used for snow day(Rgain=476,Ggain=256,Bgain=406)\r\n");
    fprintf(f, "Diving used for dive water(Rgain=495,Ggain=256,Bgain=368)\r\n");
    for (int set = 0; set < 3; ++set)
        fprintf(f, "Customized White Balance %d Red Gain=[%d],Green Gain=[%d],Blue Gain=[%d];\r\n", set + 1,
                p->CustomizedWhiteBalance[set][0], p->CustomizedWhiteBalance[set][1],
                p->CustomizedWhiteBalance[set][2]);
    fprintf(f, "Set red ,green,blue gain,256 is 1x gain,value from 100 to 999;\r\n");
    fprintf(f, "\r\n");

    fprintf(f,
            "Exposure Value=[%d];Exposure compensation,values from -128 to +128,In 1 increments,default value is "
            "0\r\n",
            p->ExposureValue);
    fprintf(f,
            "Exposure Strategy Mode=[%d];set exposure strategy mode,0:exposure high light prior,1:exposure low "
            "light prior\r\n",
            p->ExposureStrategyMode);
    fprintf(f,
            "Exposure Metering=[%d];set exposure Metering,0:center weighted,1:center spot,2:multi-spot,3:upper "
            "weighted,4:down weighted\r\n",
            p->ExposureMetering);
    fprintf(f, "\r\n");

    fprintf(f, "Color Effect=[%d];Set Color Effect,0:Standard,1:Mono,2:Cool,3:Cooler,4:Warm,5:Warmer,6:Vivid\r\n",
            p->ColorEffect);
    fprintf(f, "Contrast=[%d];Set Contrast,values from -128 to +128,In 1 increments,default value is 0\r\n",
            p->Contrast);
    fprintf(f,
            "Saturation=[%d];Set Image Saturation,values from -128 to +128,In 1 increments,default value is 0\r\n",
            p->Saturation);
    fprintf(f,
            "Sharpness=[%d];Set Image Sharpness,values from -128 to +128,In 1 increments,default value is 0\r\n",
            p->Sharpness);
    fprintf(f, "\r\n");

    char rootfs[11];
    pref_read_rootfs_version(rootfs, sizeof rootfs);
    fprintf(f, "kernel version:%s \r\n", "1.0.6");
    fprintf(f, "rootfs version:%s\r\n", rootfs);
    fprintf(f, "software version: %s \r\n", "2.03");

    bool written = !ferror(f);
    written = fclose(f) == 0 && written;
    sync();
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
    printf("Date format=[%d]\r\n", p->Dateformat);
    printf("Date time=[%s]\r\n", p->Datetime);
    printf("Default Mode=[%d]\r\n", p->DefaultMode);
    for (int m = PREF_VIDEO_MODE1; m <= PREF_VIDEO_MODE2; ++m) {
        printf("VIDEO MODE %d\r\n", m + 1);
        printf("Movie Resolution=[%d]\r\n", p->MovieResolution[m]);
        printf("Movie Frame Rate=[%d]\r\n", p->MovieFrameRate[m]);
        printf("Movie Sound=[%d]\r\n", p->MovieSound[m]);
        printf("Movie Cycle time=[%d]\r\n", p->MovieCycletime[m]);
        printf("Movie Loop Recording=[%d]\r\n", p->MovieLoopRecording[m]);
        printf("Movie Rotate=[%d]\r\n", p->MovieRotate[m]);
        printf("Movie Flip=[%d]\r\n", p->MovieFlip[m]);
        printf("Movie Time stamp=[%d]\r\n", p->MovieTimestamp[m]);
        printf("Movie Bitstream Algorithm=[%d]\r\n", p->MovieBitstreamAlgorithm[m]);
        printf("Movie quality=[%d]\r\n", p->Moviequality[m]);
        printf("Movie Codec=[%d]\r\n", p->MovieCodec[m]);
        printf("Movie WDR =[%d]\r\n", p->MovieWDR[m]);
    }
    const int ph = PREF_PHOTO_MODE;
    printf("PHOTO MODE\r\n");
    printf("Photo Mode Capture Size=[%d]\r\n", p->MovieResolution[ph]);
    printf("Photo Rotate=[%d]\r\n", p->MovieRotate[ph]);
    printf("Photo Flip[%d]\r\n", p->MovieFlip[ph]);
    printf("Photo Time stamp=[%d]\r\n", p->MovieTimestamp[ph]);
    printf("Set Time Lapse Shooting=[%d]\r\n", p->SetTimeLapseShooting);
    printf("System Setting\r\n");
    printf("Auto Power off=[%d]\r\n", p->AutoPoweroff);
    printf("Power off=[%d]\r\n", p->Poweroff);
    printf("Power on=[%d]\r\n", p->Poweron);
    printf("Auto Record with External Power=[%d]\r\n", p->AutoRecordwithExternalPower);
    printf("One Power Button to Auto Record=[%d]\r\n", p->OnePowerButtontoAutoRecord);
    printf("LED=[%d]\r\n", p->LED);
    printf("Charge from USB Host=[%d]\r\n", p->ChargefromUSBHost);
    printf("Light frequency=[%d]\r\n", p->Lightfrequency);
    printf("TV out=[%d]\r\n", p->TVout);
}
