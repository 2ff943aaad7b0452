// The card settings-file thread: while the camera is a USB disk, a computer
// sets the camera's preferences by creating files in /mnt/sdcard0/syscfg/
// whose names carry the settings as digits. The thread lists that directory
// once a second and applies each name it knows, with the settings text
// file's range rules.
#pragma once

#include <atomic>
#include <cstdint>

// Set by the thread's start (USB scan), cleared by its stop (USB scan) under
// the thread's wait lock, read by the thread; atomic.
extern std::atomic<uint32_t> th_usbReadFile_run;

// '0'..'9' give 0..9, any other character 255.
uint32_t Char2Int(char c);

// Applies one file name of the listing; 1 when it was a settings name that
// was applied, 0 when it was ignored (unknown, too short, or a clock file
// already applied while this thread runs).
int usb_config_apply_name(const char *name);

// Starts the thread unless it runs; the thread-creation result.
int DV_UsbReadConfigFile_ThreadRun(void);
// Removes /mnt/sdcard0/syscfg and stops the thread; 0.
int KX_Stop_UsbReadConfigFile_Thread(void);
