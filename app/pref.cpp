// The preferences record: defaults, load from and save to flash, the copy on
// the card and the settings update from the card.
#include "app/pref.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "app/devices/date_time.h"
#include "app/devices/mcu.h"
#include "app/sd_card.h"
#include "app/settings_file.h"
#include "board/board.h"
#include "core/safe_file.h"

namespace {

const char *const kPrefFile = "/dv/config/DvConfigs.bin";
const char *const kRootfsVersionFile = "/dv/config/roots_ver.txt";
const char *const kCardCopy = "syscfg/DvConfigs.bin";
const char *const kCardDir = "/mnt/sdcard0";
const char *const kFwVersion = "2.03";
const char *const kSdkVersion = "1.0.6";
// roots_ver.txt contributes at most this many bytes.
constexpr size_t kRootfsVersionMax = 10;

std::string card_path(const char *name)
{
    char path[96];
    snprintf(path, sizeof path, "%s/%s", kCardDir, name);
    return path;
}

bool exists(const std::string &firmware_path) { return access(bd_path(firmware_path).c_str(), F_OK) == 0; }

bool regular_file(const std::string &firmware_path)
{
    struct stat st;
    return bd_stat(firmware_path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Texts of a record from outside end within their fields, whatever it held.
void terminate_texts(DvSystemParam *p)
{
    p->FwVersion[sizeof p->FwVersion - 1] = '\0';
    p->RootfsVersion[sizeof p->RootfsVersion - 1] = '\0';
    p->SdkVersion[sizeof p->SdkVersion - 1] = '\0';
    p->Datetime[sizeof p->Datetime - 1] = '\0';
}

enum class Load { ok, no_file, bad };

// 120 and 100 fps are not made at 1080p: the video modes record 60 and 50
// there, and the record says so.
void fix_1080p_rates(DvSystemParam *p, const char *origin)
{
    for (int m : {PREF_VIDEO_MODE1, PREF_VIDEO_MODE2}) {
        int32_t &fps = p->MovieFrameRate[m];
        if (p->MovieResolution[m] != PREF_RES_1080P || (fps != PREF_FPS_120 && fps != PREF_FPS_100))
            continue;
        const int32_t to = fps == PREF_FPS_120 ? PREF_FPS_60 : PREF_FPS_50;
        printf("======%s: MovieFrameRate word %d is %d, not made at 1080p, set to %d\n", origin,
               PREF_WORD(MovieFrameRate) + m, fps, to);
        fps = to;
    }
}

// Reads a record file into `out` only when it is exactly one record, so that
// `out` never holds half a record. `short_fmt` reports a short read; a
// missing file says `missing` when given.
Load read_record(const std::string &path, const char *origin, DvSystemParam *out, const char *short_fmt,
                 const char *missing)
{
    FILE *f = fopen(bd_path(path).c_str(), "rb");
    if (!f) {
        if (missing)
            puts(missing);
        return Load::no_file;
    }
    DvSystemParam rec;
    size_t n = fread(&rec, 1, sizeof rec, f);
    bool longer = n == sizeof rec && fgetc(f) != EOF;
    fclose(f);
    if (n != sizeof rec) {
        printf(short_fmt, (int)n, (int)DV_SYSTEM_PARAM_SIZE);
        return Load::bad;
    }
    if (longer) {
        printf("======%s is longer than %d bytes, not a preferences record\n", origin, (int)DV_SYSTEM_PARAM_SIZE);
        return Load::bad;
    }
    terminate_texts(&rec);
    // A word out of its range (a flash written half, or by something else)
    // takes its factory default, not the text file's fallback: a bad word
    // must not switch on loop recording, which deletes movies.
    DvSystemParam defaults;
    pref_fill_defaults(&defaults);
    settings_fix_ranges(&rec, origin, &defaults);
    fix_1080p_rates(&rec, origin);
    memcpy(out, &rec, sizeof rec);
    return Load::ok;
}

Load read_flash_record(DvSystemParam *out, const char *short_fmt)
{
    return read_record(kPrefFile, "DvConfigs.bin", out, short_fmt, "======fopen config file failed in read_config_mode");
}

// The copy the card keeps, for a flash record that can't be read.
bool read_card_copy(DvSystemParam *out)
{
    if (card_state != CARD_STATE_PRESENT)
        return false;
    return read_record(card_path(kCardCopy), kCardCopy, out, "======syscfg/DvConfigs.bin is %d bytes, not %d\n",
                       nullptr) == Load::ok;
}

// Writes the record to a file so that a cut leaves the old file or the new
// one whole; false when any byte didn't reach it.
bool write_record(const std::string &path, const DvSystemParam *p, bool *opened)
{
    return safe_file_write_all(path, p, DV_SYSTEM_PARAM_SIZE, opened);
}

// Fills the defaults and writes them to flash. Without `fill_anyway` a flash
// that can't be opened leaves the record as it was; with it the record gets
// the defaults all the same, for a record that can't be read must not stay in
// use because the flash can't be written either.
int write_defaults(bool fill_anyway)
{
    puts("======WriteDefaultCfgToFlash");
    SafeFile f;
    if (!safe_file_open(f, kPrefFile)) {
        puts("======fopen config file failed in WriteDefaultCfgToFlash");
        if (fill_anyway)
            KX_DV_SetUserSettingDefualt();
        return -1;
    }
    KX_DV_SetUserSettingDefualt();
    if (app_pref_user)
        safe_file_write(f, app_pref_user, DV_SYSTEM_PARAM_SIZE);
    else
        f.failed = true;
    if (!safe_file_commit(f, true)) {
        puts("===fwrite g_dv_mode_param error");
        return -1;
    }
    return 0;
}

void restore_defaults(void) { write_defaults(true); }

void refresh_versions(DvSystemParam *p)
{
    memset(p, 0, offsetof(DvSystemParam, UpdateSetDefault));
    strcpy(p->FwVersion, kFwVersion);
    strcpy(p->SdkVersion, kSdkVersion);
    pref_read_rootfs_version(p->RootfsVersion, sizeof p->RootfsVersion);
}

void print_star_line(void) { printf("%s\n", std::string(52, '*').c_str()); }

void print_versions(const DvSystemParam *p)
{
    printf("SDK  Version : %s\n", p->SdkVersion);
    printf("Rootfs  Version : %s\n", p->RootfsVersion);
    printf("FW  Version : %s\n", p->FwVersion);
}

// The card keeps a copy of the record for the computer to read, and for a
// flash record that can't be read.
void copy_to_card(const DvSystemParam *p)
{
    bool opened = false;
    bool written = write_record(card_path(kCardCopy), p, &opened);
    bd_sync();
    usleep(500 * 1000);
    if (written)
        return;
    puts(" fwrite syscfg/DvConfigs.bin erro");
    bd_system("cp -f /dv/config/DvConfigs.bin /mnt/sdcard0/syscfg/DvConfigs.bin");
    bd_sync();
}

} // namespace

void pref_read_rootfs_version(char *out, size_t size)
{
    if (!out || size == 0)
        return;
    char text[kRootfsVersionMax + 1] = {};
    FILE *f = fopen(bd_path(kRootfsVersionFile).c_str(), "rb");
    if (!f) {
        puts("=======rootfs is too old ........");
        snprintf(out, size, "%s", "No Ver");
        return;
    }
    size_t n = fread(text, 1, kRootfsVersionMax, f);
    fclose(f);
    text[n] = '\0';
    snprintf(out, size, "%s", text);
}

void pref_fill_defaults(DvSystemParam *p)
{
    memset(p, 0, sizeof *p);

    time_t now = bd_time(nullptr);
    struct tm tm;
    if (!bd_localtime(&now, &tm) || tm.tm_year + 1900 == 1970) {
        snprintf(p->Datetime, sizeof p->Datetime, "%s", "2016/01/01-00:00:01");
    } else {
        clock_text(tm, DATE_FMT_YMD, p->Datetime);
    }

    strcpy(p->FwVersion, kFwVersion);
    p->AutoPoweroff = PREF_AUTO_OFF_30S;
    p->LED = PREF_ON;
    p->TVout = PREF_TV_PAL;
    // Per mode: record mode 1, record mode 2, photo.
    const int32_t resolution[3] = {PREF_RES_1080P, PREF_RES_720P, PREF_RES_1080P},
                  frame_rate[3] = {PREF_FPS_60, PREF_FPS_120, PREF_FPS_120},
                  sound[3] = {PREF_SOUND_MEDIUM, PREF_SOUND_MEDIUM, PREF_SOUND_MUTE},
                  quality[3] = {PREF_QUALITY_STANDARD, PREF_QUALITY_STANDARD, PREF_QUALITY_HIGHEST},
                  codec[3] = {PREF_CODEC_H264, PREF_CODEC_H264, PREF_CODEC_H265};
    for (int m = 0; m < 3; ++m) {
        p->MovieResolution[m] = resolution[m];
        p->MovieFrameRate[m] = frame_rate[m];
        p->MovieSound[m] = sound[m];
        p->MovieTimestamp[m] = PREF_ON;
        p->Moviequality[m] = quality[m];
        p->MovieCodec[m] = codec[m];
    }
    p->Poweron = PREF_POWER_KEY_FAST;
    p->Poweroff = PREF_POWER_KEY_FAST;
    for (auto &set : p->CustomizedWhiteBalance)
        for (auto &gain : set)
            gain = PREF_GAIN_UNIT;
    p->ExposureMetering = PREF_METER_MULTI_SPOT;
}

void KX_DV_SetUserSettingDefualt(void)
{
    set_power_on_key_status(0);
    usleep(50 * 1000);
    set_power_off_key_status(0);
    usleep(50 * 1000);
    if (app_pref_user)
        pref_fill_defaults(app_pref_user);
}

int WriteDefaultCfgToFlash(void) { return write_defaults(false); }

int WriteCfgToFlash(void)
{
    bool opened = false;
    if (!app_pref_user)
        return -1;
    if (write_record(kPrefFile, app_pref_user, &opened))
        return 0;
    puts(opened ? "======fwrite g_dv_mode_param[2] error" : "======fopen config file failed in WriteCfgToFlash");
    return -1;
}

int app_pref_save_all(void)
{
    WriteCfgToFlash();
    return 0;
}

int ReadCfgFromFlash(void)
{
    if (!app_pref_user)
        return -1;
    switch (read_flash_record(app_pref_user, "fread g_dv_system_param failed:%d ,%d\n")) {
    case Load::ok:
        printf("%s\n", std::string(33, '-').c_str());
        print_versions(app_pref_user);
        printf("%s\n", std::string(33, '-').c_str());
        return 0;
    case Load::bad:
        restore_defaults();
        return -1;
    case Load::no_file:
        break;
    }
    return -1;
}

int app_pref_get_user(void)
{
    DvSystemParam *p = app_pref_user;
    if (!p)
        return -1;
    Load got = read_flash_record(p, "=fread g_dv_system_param failed:%d ,%d\n");
    const int rc = got == Load::no_file ? -1 : 0;
    if (got != Load::ok && read_card_copy(p)) {
        // The user's settings before the factory's: a cut save on the flash
        // must not reset them.
        puts("======settings taken from the card's copy syscfg/DvConfigs.bin");
        WriteCfgToFlash();
        got = Load::ok;
    }
    if (got != Load::ok) {
        restore_defaults();
    } else if (p->UpdateSetDefault == PREF_UPDATE_SET_DEFAULT) {
        puts("update set defualt setting ");
        restore_defaults();
    }
    refresh_versions(p);
    return rc;
}

void print_debug_pref_user(void)
{
    if (!app_pref_user)
        return;
    print_star_line();
    print_versions(app_pref_user);
    print_star_line();
}

int app_pref_init(void)
{
    // One record for the life of the process.
    if (!app_pref_user)
        app_pref_user = new DvSystemParam();
    memset(app_pref_user, 0, sizeof *app_pref_user);
    app_pref_get_user();
    if (card_state == CARD_STATE_PRESENT)
        copy_to_card(app_pref_user);
    print_debug_pref_user();
    return 0;
}

int CheckCfgFileSDCard(void)
{
    // Only a file of that name is the user's settings: a folder of that name
    // is the user's own, and stays with what it holds.
    std::string txt = card_path("syscfg2.txt");
    if (regular_file(txt)) {
        puts("------enter write 3");
        fileRead();
        if (WriteCfgToFlash() != 0)
            puts("======WriteCfgToFlash failed");
        puts("------leave write 3");
        bd_sync();
        usleep(200 * 1000);
        char cmd[96];
        snprintf(cmd, sizeof cmd, "rm -f %s/syscfg2.txt", kCardDir);
        printf("------%s\n", cmd);
        bd_system(cmd);
        bd_sync();
        usleep(200 * 1000);
    } else if (exists(kPrefFile)) {
        puts("------enter write 2");
        if (ReadCfgFromFlash() == 0) {
            print_debug_pref_user();
            if (WriteTxtCfgToSDCard() != 0)
                puts("======WriteTxtCfgToSDCard failed 2");
        } else {
            puts("======Read config data failed");
        }
        puts("------leave write 2");
    } else {
        puts("------enter write 1");
        if (WriteDefaultCfgToFlash() != 0)
            puts("======WriteDefaultCfgToFlash failed");
        if (WriteTxtCfgToSDCard() != 0)
            puts("======WriteTxtCfgToSDCard failed");
        puts("------leave write 1");
    }
    puts("CheckCfgFileSDCard complete");
    return 0;
}
