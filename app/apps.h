// The camera's applications (modes) and their registration: main, firmware
// update, settings update, USB mass storage, record modes 1 and 2, photo.
// The handler registers them in that order, which fixes their ids.
#pragma once

#include <atomic>
#include <cstdint>

#include "app/app_manager.h"

// The registry's table. The handler thread alone fills and reads it.
constexpr int DEMOAPPS_MAX = 32;
extern AppEntry *demoapps[DEMOAPPS_MAX];

// The entries: registration, the manager's links and flags and each
// application's own start are all on the handler thread; no other thread
// reads them.
extern AppEntry app_main;
extern AppEntry app_fw_update;
extern AppEntry app_setting_update;
extern AppEntry app_usb_msc;
extern AppEntry app_rec_mode1;
extern AppEntry app_rec_mode2;
extern AppEntry app_pho_mode;

// Registers main; then firmware update, settings update and USB mass
// storage; then record mode 1, record mode 2 and photo. All return 0.
int app_register_apps_main(void);
int app_register_apps_common(void);
int app_register_apps_encode(void);
int app_register_apps_decode(void);

// The running flags and the idle flag that every start sets.
constexpr uint32_t APP_FLAGS_STARTED = 0x1 | 0x2 | 0x4;

// ---- main, USB mass storage, updates ---------------------------------------------

int app_main_start(void);
int app_main_stop(void);
int app_main_on_message(uint32_t id, uint32_t a, uint32_t b);
int app_usb_msc_start(void);
int app_usb_msc_stop(void);
int app_usb_msc_on_message(uint32_t id, uint32_t a, uint32_t b);
int app_fw_update_start(void);
int app_fw_update_stop(void);
int app_fw_update_on_message(uint32_t id, uint32_t a, uint32_t b);
int app_setting_update_start(void);
int app_setting_update_stop(void);
int app_setting_update_on_message(uint32_t id, uint32_t a, uint32_t b);

// Update files by index: 0 u-boot, 1 kernel, 2 rootfs, 3 the firmware image,
// 4 the scene auto-tuning file (for deletion: the preferences file).
enum { UPDATE_UBOOT = 0, UPDATE_KERNEL = 1, UPDATE_ROOTFS = 2, UPDATE_IMAGE = 3, UPDATE_SCENEAUTO = 4 };
constexpr const char *UPDATE_IMAGE_NAME = "RZT.V001.KR00100000";
constexpr const char *UPDATE_FLASH_DIR = "/mnt/data_flash";

// 0 present, -2 missing, -1 for an index outside 0..4.
int CheckUpdateExists(int index);
// Deletes one update file unless NODELETE.bin is on the card; 0.
int DeleteUpdateFile(int index);
// Whether the image on the card may be installed: a file, not empty, and no
// larger than the flash can take. Says why not; the card keeps it.
bool update_image_acceptable(void);
// 0 without an image; 1 after it was copied to flash and removed from the
// card; -1 when the image is refused or the copy failed or came out short
// (nothing is deleted).
int ProcessUpdate(void);
// Scans the card root for a newer application file; -1 (it never finds one).
int Get_App_Update_File(char *name);

// ---- record modes ---------------------------------------------------------------------

int app_rec_mode1_start(void);
int app_rec_mode1_stop(void);
int app_rec_mode1_on_message(uint32_t id, uint32_t a, uint32_t b);
int app_rec_mode2_start(void);
int app_rec_mode2_stop(void);
int app_rec_mode2_on_message(uint32_t id, uint32_t a, uint32_t b);

// Preferences of mode 0 or 1 into gsDvConfig and the record entry.
int init_record_status(void);
int init_record2_status(void);
int record1_flash_led(int on);
int record2_flash_led(int on);

// Set by record mode 1 when MODE is released while recording; the file-lock
// thread's request flag (u8NeedLockFileTH under another name: the handler
// sets it, the file-lock thread clears it; atomic).
extern std::atomic<uint8_t> &u8NeedLockFile;

// File length in minutes of a MovieCycletime value, before the 4 GiB cap.
uint16_t record_pack_minutes(int32_t cycletime);
// The length capped so that a file stays below 4 GiB at `kbps`.
uint16_t record_pack_capped(uint16_t minutes, uint32_t kbps);

// ---- photo mode ----------------------------------------------------------------------------

int app_pho_mode_start(void);
int app_pho_mode_stop(void);
int app_pho_mode_on_message(uint32_t id, uint32_t a, uint32_t b);
int init_photo_status(void);
int photo_flash_led(int on);

// Timed-photo interval and photo LED cycle (ms) of a SetTimeLapseShooting value.
uint16_t photo_interval_ms(int32_t time_lapse);
uint32_t photo_led_cycle_ms(int32_t time_lapse);

// ---- shared by the record and photo modes ---------------------------------------------------

// The exposure and white-balance lock of a MODE hold, by
// EnableManualAELockorAWBLock: 1 both, 2 exposure, 3 white balance.
void app_lock_3a(int32_t which);
// The sensor input as both modes set it: device 0, linear, norm 1, the
// rotation word of a MovieRotate value (2 gives 3, 3 gives 1, else 0).
void app_set_vi_input(int32_t movie_rotate);
