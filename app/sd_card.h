// The SD card: detection through the host controller's card-detect register,
// mounting its first partition at /mnt/sdcard0, free space, and the card
// operations that nothing of the camera calls.
#pragma once

#include <atomic>
#include <cstdint>

enum : uint32_t { CARD_STATE_PRESENT = 1, CARD_STATE_ABSENT = 2 };

// 1 while a card is in the slot, 2 without one; no card until init_sd_card
// has read the detect byte. Written by the main thread at start-up and then
// by the device scan (card_detect); read by the handler, its applications,
// the preferences and the USB scan. Atomic, no lock.
extern std::atomic<uint32_t> card_state;

// The SD host controller and its card-detect byte (1 = no card).
constexpr uint32_t SD_CTRL_PHYS = 0x206F0000;
constexpr uint32_t SD_CTRL_MAP_LEN = 255;
constexpr uint32_t SD_DETECT_OFFSET = 0x50;
// The controller's mapping: made by init_sd_card on the main thread before
// the device scan, which reads the detect byte through it, starts; never
// changed after (close_sd_dev has no caller in the camera). No lock.
extern int dev_fd;
extern volatile uint8_t *card_io_base;

// Maps the controller and sets card_state from the detect byte, so that the
// start-up sees a card that is in at power-on and the first scan posts no
// change; 1, or -1 when it can't be mapped.
int init_sd_card(void);
void close_sd_dev(void);
// The detect byte, or 0xFFFFFFFF when the controller is not mapped.
uint32_t kx_Read_SD_State(void);
// One scan of the device-scan thread: posts HMSG_CARD_IN or HMSG_CARD_OUT on a
// change; 0.
int card_detect(void);

// Mounts the card's first partition as /proc/partitions lists it; 0, or -1
// when the list can't be read.
int FS_Disk_PhyDisk_Detect(void);
int FS_Disk_Add_PhyDisk(const char *name, int major, int minor, int blocks);
// Mounts `device` (vfat, no program execution) at /mnt/`name`; 0 or -1.
int FS_Disk_Make_MountPoint(const char *device, const char *name);
// Free space of /mnt/sdcard0 in KiB, 0 when it can't be asked.
uint64_t Get_SD_Card_Space_2(void);

// Without callers in the camera.
int mount_sd_card(void);
int FS_Disk_Umount_SD(void);
int FS_DISK_FormatDisk(void);
int mkdir_sd_media_path(void);
int FS_Disk_Make_IndexNode(const char *path, int minor);

// File-lock thread: moves u8LockFileName from MOVIE to ALARM when asked.
// The request flag is set by record mode 1 (handler thread) and cleared by
// the file-lock thread once it has tried; atomic. The name is written by the
// MP4 thread (set_lock_file_name, through the engine's running-file hook)
// and read by the file-lock thread, both under a lock of sd_card.cpp.
extern std::atomic<uint8_t> u8NeedLockFileTH;
extern char u8LockFileName[60]; // NUL-terminated unless all 60 bytes are used
// Names the file a lock request moves: the recording's running file (its
// folder is dropped), or none with "" or null.
void set_lock_file_name(const char *path);
int DV_DC_MoveFile_ThreadRun(void);
int DV_DC_MoveFile_ThreadStop(void);
