// The preferences record: defaults, load from and save to flash, the copy on
// the card and the settings update from the card.
#include "app/pref.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

#include "app/devices/date_time.h"
#include "app/devices/mcu.h"
#include "app/sd_card.h"
#include "app/settings_file.h"
#include "board/board.h"

namespace {

const char *const kPrefFile = "/dv/config/DvConfigs.bin";
const char *const kRootfsVersionFile = "/dv/config/roots_ver.txt";
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

// Texts of a record from outside end within their fields, whatever it held.
void terminate_texts(DvSystemParam *p)
{
    p->FwVersion[sizeof p->FwVersion - 1] = '\0';
    p->RootfsVersion[sizeof p->RootfsVersion - 1] = '\0';
    p->SdkVersion[sizeof p->SdkVersion - 1] = '\0';
    p->Datetime[sizeof p->Datetime - 1] = '\0';
}

enum class Load { ok, no_file, bad };

// Reads the flash record into `out` only when the file is exactly one record,
// so that `out` never holds half a record. `short_fmt` reports a short read.
Load read_flash_record(DvSystemParam *out, const char *short_fmt)
{
    FILE *f = fopen(bd_path(kPrefFile).c_str(), "rb");
    if (!f) {
        puts("======fopen config file failed in read_config_mode");
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
        printf("======DvConfigs.bin is longer than %d bytes, not a preferences record\n", (int)DV_SYSTEM_PARAM_SIZE);
        return Load::bad;
    }
    terminate_texts(&rec);
    // A word out of its range (a flash written half, or by something else)
    // takes its factory default, not the text file's fallback: a bad word
    // must not switch on loop recording, which deletes movies.
    DvSystemParam defaults;
    pref_fill_defaults(&defaults);
    settings_fix_ranges(&rec, "DvConfigs.bin", &defaults);
    memcpy(out, &rec, sizeof rec);
    return Load::ok;
}

// Writes the record to a file; false when any byte didn't reach it.
bool write_record(const char *firmware_path, const char *mode, const DvSystemParam *p, bool *opened)
{
    FILE *f = fopen(bd_path(firmware_path).c_str(), mode);
    *opened = f != nullptr;
    if (!f)
        return false;
    size_t n = fwrite(p, 1, DV_SYSTEM_PARAM_SIZE, f);
    int closed = fclose(f);
    return n == DV_SYSTEM_PARAM_SIZE && closed == 0;
}

// Fills the defaults and writes them to flash. Without `fill_anyway` a flash
// that can't be opened leaves the record as it was; with it the record gets
// the defaults all the same, for a record that can't be read must not stay in
// use because the flash can't be written either.
int write_defaults(bool fill_anyway)
{
    puts("======WriteDefaultCfgToFlash");
    FILE *f = fopen(bd_path(kPrefFile).c_str(), "wb+");
    if (!f) {
        puts("======fopen config file failed in WriteDefaultCfgToFlash");
        if (fill_anyway)
            KX_DV_SetUserSettingDefualt();
        return -1;
    }
    KX_DV_SetUserSettingDefualt();
    size_t n = app_pref_user ? fwrite(app_pref_user, 1, DV_SYSTEM_PARAM_SIZE, f) : 0;
    int closed = fclose(f);
    if (n != DV_SYSTEM_PARAM_SIZE || closed != 0) {
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

// The card keeps a copy of the record for the computer to read.
void copy_to_card(const DvSystemParam *p)
{
    bool opened = false;
    std::string path = card_path("syscfg/DvConfigs.bin");
    bool written = write_record(path.c_str(), "wb", p, &opened);
    sync();
    usleep(500 * 1000);
    if (written)
        return;
    puts(" fwrite syscfg/DvConfigs.bin erro");
    bd_system("cp -f /dv/config/DvConfigs.bin /mnt/sdcard0/syscfg/DvConfigs.bin");
    sync();
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
        snprintf(p->Datetime, sizeof p->Datetime, "%04d/%02d/%02d-%02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                 tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    }

    strcpy(p->FwVersion, kFwVersion);
    p->AutoPoweroff = 1;
    p->LED = 1;
    p->TVout = 1;
    const int32_t resolution[3] = {0, 1, 0}, frame_rate[3] = {1, 0, 0}, sound[3] = {2, 2, 0},
                  quality[3] = {3, 3, 0}, codec[3] = {1, 1, 0};
    for (int m = 0; m < 3; ++m) {
        p->MovieResolution[m] = resolution[m];
        p->MovieFrameRate[m] = frame_rate[m];
        p->MovieSound[m] = sound[m];
        p->MovieTimestamp[m] = 1;
        p->Moviequality[m] = quality[m];
        p->MovieCodec[m] = codec[m];
    }
    p->Poweron = 1;
    p->Poweroff = 1;
    for (auto &set : p->CustomizedWhiteBalance)
        for (auto &gain : set)
            gain = 256;
    p->ExposureMetering = 2;
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
    if (write_record(kPrefFile, "wb+", app_pref_user, &opened))
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
    int rc = 0;
    switch (read_flash_record(p, "=fread g_dv_system_param failed:%d ,%d\n")) {
    case Load::no_file:
        restore_defaults();
        rc = -1;
        break;
    case Load::bad:
        restore_defaults();
        break;
    case Load::ok:
        if (p->UpdateSetDefault == 1) {
            puts("update set defualt setting ");
            restore_defaults();
        }
        break;
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
    std::string txt = card_path("syscfg2.txt");
    if (exists(txt)) {
        puts("------enter write 3");
        fileRead();
        if (WriteCfgToFlash() != 0)
            puts("======WriteCfgToFlash failed");
        puts("------leave write 3");
        sync();
        usleep(200 * 1000);
        char cmd[96];
        snprintf(cmd, sizeof cmd, "rm -rf %s/syscfg2.txt", kCardDir);
        printf("------%s\n", cmd);
        bd_system(cmd);
        sync();
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
