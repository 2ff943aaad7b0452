// The main, USB mass-storage, firmware-update and settings-update
// applications, and the update files on the card.
#include "app/apps.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "app/handler.h"
#include "app/leds.h"
#include "app/pref.h"
#include "board/board.h"
#include "core/msg_hub.h"

AppEntry app_main = {0, 0, 0, 0, 0, APP_FLAGS_STARTED, 0, app_main_start, app_main_stop, app_main_on_message};
AppEntry app_fw_update = {0, 0, 0, 0, 0, 0, 0, app_fw_update_start, app_fw_update_stop, app_fw_update_on_message};
AppEntry app_setting_update = {0, 0, 0, 0, 0, 0, 0, app_setting_update_start, app_setting_update_stop,
                               app_setting_update_on_message};
AppEntry app_usb_msc = {0, 0, 0, 0, 0, 0, 0, app_usb_msc_start, app_usb_msc_stop, app_usb_msc_on_message};

namespace {

const char *const kCardDir = "/mnt/sdcard0";
const char *const kPrefFile = "/dv/config/DvConfigs.bin";
constexpr useconds_t kMs = 1000;

bool card_file_exists(const std::string &path) { return access(bd_path(path).c_str(), F_OK) == 0; }

// Size of a file of the firmware's paths, -1 when it can't be seen.
long long file_size(const std::string &path)
{
    struct stat st;
    if (stat(bd_path(path).c_str(), &st) != 0)
        return -1;
    return (long long)st.st_size;
}

std::string update_path(int index)
{
    char path[96];
    switch (index) {
    case UPDATE_UBOOT:
        snprintf(path, sizeof path, "%s/u-boot", kCardDir);
        break;
    case UPDATE_KERNEL:
        snprintf(path, sizeof path, "%s/kernel", kCardDir);
        break;
    case UPDATE_ROOTFS:
        snprintf(path, sizeof path, "%s/rootfs", kCardDir);
        break;
    case UPDATE_IMAGE:
        snprintf(path, sizeof path, "%s/%s", kCardDir, UPDATE_IMAGE_NAME);
        break;
    default:
        snprintf(path, sizeof path, "%s/sceneauto_34220.ini", kCardDir);
        break;
    }
    return path;
}

void start_flags(AppEntry &e) { e.flags |= APP_FLAGS_STARTED; }

} // namespace

// ---- main -------------------------------------------------------------------------------------

int app_main_start(void)
{
    start_flags(app_main);
    puts(" app_main_start \r\n ");
    return 0;
}

int app_main_stop(void)
{
    puts("app_main_stop \r\n ");
    return 0;
}

int app_main_on_message(uint32_t id, uint32_t, uint32_t)
{
    if (id == (HMSG_KEY_PRESS | KEY_ID_MODE))
        appmgt_switch_to_app(APP_RECMODE1);
    return -1;
}

// ---- USB mass storage ------------------------------------------------------------------------

int app_usb_msc_start(void)
{
    start_flags(app_usb_msc);
    // A computer found during the boot's battery blink: the blink ends now,
    // or its end would put back the LEDs it found over the disk's.
    if (get_led_flash_type() == LED_TYPE_BATTERY)
        stop_led_flash();
    app_led_ctrl(LED1, 1);
    app_led_ctrl(LED2, 1);
    puts(" app_usb_msc en \r\n ");
    return 0;
}

int app_usb_msc_stop(void)
{
    puts("app_usb_msc_stop \r\n ");
    return 0;
}

int app_usb_msc_on_message(uint32_t, uint32_t, uint32_t) { return -1; }

// ---- update files --------------------------------------------------------------------------------

int CheckUpdateExists(int index)
{
    if (index < UPDATE_UBOOT || index > UPDATE_SCENEAUTO) {
        puts("======image index do not in 0 and 3");
        return -1;
    }
    std::string path = update_path(index);
    FILE *f = fopen(bd_path(path).c_str(), "rb");
    if (!f) {
        printf("======the file %s do not in the SD Card\n", path.c_str());
        return -2;
    }
    fclose(f);
    printf("------the file %s exists in the SD Card\n", path.c_str());
    return 0;
}

int DeleteUpdateFile(int index)
{
    char cmd[128];
    if (card_file_exists(std::string(kCardDir) + "/NODELETE.bin"))
        return 0;
    const char *done;
    switch (index) {
    case UPDATE_UBOOT:
        snprintf(cmd, sizeof cmd, "rm -f %s/u-boot", kCardDir);
        done = "======delete u-boot update file OK\n";
        break;
    case UPDATE_KERNEL:
        snprintf(cmd, sizeof cmd, "rm -f %s/kernel", kCardDir);
        done = "======delete kernel update file OK\n";
        break;
    case UPDATE_ROOTFS:
        snprintf(cmd, sizeof cmd, "rm -f %s/rootfs", kCardDir);
        done = "======delete rootfs update file OK\n";
        break;
    case UPDATE_IMAGE:
        snprintf(cmd, sizeof cmd, "rm -f %s/%s", kCardDir, UPDATE_IMAGE_NAME);
        done = nullptr;
        break;
    case UPDATE_SCENEAUTO:
        snprintf(cmd, sizeof cmd, "rm -f %s", kPrefFile);
        done = "======delete configs file OK\n";
        break;
    default:
        return 0;
    }
    bd_system(cmd);
    usleep(5 * kMs);
    if (done)
        fputs(done, stdout);
    else
        printf("======delete %s update file OK\n", UPDATE_IMAGE_NAME);
    return 0;
}

bool update_image_acceptable(void)
{
    const std::string src = update_path(UPDATE_IMAGE);
    const std::string dst = std::string(UPDATE_FLASH_DIR) + "/" + UPDATE_IMAGE_NAME;
    struct stat st;
    if (stat(bd_path(src).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        printf("======update image %s is not a file: skipped\n", src.c_str());
        return false;
    }
    if (st.st_size == 0) {
        printf("======update image %s is empty: not installed\n", src.c_str());
        return false;
    }
    // What flash can take: its free space and the image it holds now, which
    // the copy replaces. Flash that can't be asked is left to the copy.
    struct statvfs fs;
    if (bd_statvfs(UPDATE_FLASH_DIR, &fs) == 0) {
        long long room = (long long)fs.f_bavail * (long long)fs.f_frsize + std::max(0LL, file_size(dst));
        if ((long long)st.st_size > room) {
            printf("======update image %s is %lld bytes, the flash takes %lld: not installed\n", src.c_str(),
                   (long long)st.st_size, room);
            return false;
        }
    }
    return true;
}

int ProcessUpdate(void)
{
    if (CheckUpdateExists(UPDATE_IMAGE) != 0)
        return 0;
    if (!update_image_acceptable())
        return -1;
    const std::string src = update_path(UPDATE_IMAGE);
    const std::string dst = std::string(UPDATE_FLASH_DIR) + "/" + UPDATE_IMAGE_NAME;
    char cmd[160];
    snprintf(cmd, sizeof cmd, "cp -f %s/%s %s/%s", kCardDir, UPDATE_IMAGE_NAME, UPDATE_FLASH_DIR, UPDATE_IMAGE_NAME);
    const int copied = bd_system(cmd);
    usleep(5 * kMs);
    // The image on the card and the preferences are the way back: they go
    // only when flash holds the whole image.
    const long long want = file_size(src), got = file_size(dst);
    if (copied != 0 || want < 0 || got != want) {
        printf("======update copy failed (cp %d, %lld of %lld bytes): nothing deleted\n", copied, got, want);
        return -1;
    }
    snprintf(cmd, sizeof cmd, "chmod 777 %s", dst.c_str());
    bd_system(cmd);
    sleep(1);
    DeleteUpdateFile(UPDATE_IMAGE);
    bd_sync();
    sleep(1);
    DeleteUpdateFile(UPDATE_SCENEAUTO);
    bd_sync();
    sleep(1);
    puts("udate complete!!!");
    hcmgr_snd_msg(AMSG_FW_UPDATE_DONE);
    return 1;
}

int Get_App_Update_File(char *name)
{
    DIR *dir = opendir(bd_path(kCardDir).c_str());
    if (!dir) {
        puts("no find fw update file");
        return -1;
    }
    // Only a name that carries the card's path would count, and directory
    // entries never do.
    const size_t prefix = strlen(kCardDir);
    int found = -1;
    while (struct dirent *e = readdir(dir)) {
        if (strncmp(e->d_name, kCardDir, prefix) == 0 && name) {
            strcpy(name, e->d_name);
            found = 0;
            break;
        }
    }
    closedir(dir);
    return found;
}

// ---- firmware update -------------------------------------------------------------------------------

int app_fw_update_start(void)
{
    start_flags(app_fw_update);
    puts(" app_fw_update_start \r\n ");
    fw_doing_update = 1;
    sleep(1);
    led_flag |= LED_FLAG_LED0 | LED_FLAG_LED2;
    create_led_flash_thread(250, 0, LED_TYPE_FW_UPDATE);
    const int result = ProcessUpdate();
    if (result == 1) {
        KX_DV_SetUserSettingDefualt();
        if (app_pref_user)
            app_pref_user->UpdateSetDefault = PREF_UPDATE_SET_DEFAULT;
        usleep(100 * kMs);
    } else if (result < 0) {
        // The endless blink shows the failure; the power key switches off.
        puts("======firmware update failed");
        handler_update_ended();
    }
    return 0;
}

int app_fw_update_stop(void)
{
    puts("app_fw_update_stop \r\n ");
    return 0;
}

int app_fw_update_on_message(uint32_t id, uint32_t, uint32_t)
{
    if (id != AMSG_FW_UPDATE_DONE)
        return -1;
    stop_led_flash();
    sleep(1);
    fw_doing_update = 0;
    led_flag |= LED_FLAG_LED0 | LED_FLAG_LED2;
    create_led_flash_thread(150, 5, LED_TYPE_POWER_OFF);
    return -1;
}

// ---- settings update ---------------------------------------------------------------------------------

int app_setting_update_start(void)
{
    start_flags(app_setting_update);
    puts(" app_setting_update_start \r\n ");
    fw_doing_update = 1;
    CheckCfgFileSDCard();
    sleep(1);
    hcmgr_snd_msg(AMSG_SETTING_UPDATE_DONE);
    return 0;
}

int app_setting_update_stop(void)
{
    puts("app_setting_update_stop \r\n ");
    return 0;
}

int app_setting_update_on_message(uint32_t id, uint32_t, uint32_t)
{
    if (id != AMSG_SETTING_UPDATE_DONE)
        return -1;
    led_flag |= LED_FLAG_LED0 | LED_FLAG_LED2;
    create_led_flash_thread(250, 5, LED_TYPE_POWER_OFF);
    fw_doing_update = 0;
    return -1;
}
