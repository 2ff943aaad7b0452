// What the recording engine must ask the application, answered by functions
// that the application's start-up registers before the engine runs. Until
// then, and for a member left null, the engine hears what a camera without
// an application would say: not switching off, nothing to lock, room on the
// card, no computer on the USB cable, no TV output, no record mode.
//
// The engine's reports go the other way through the message hub.
#pragma once

#include <cstdint>

struct DvAppHooks {
    // True once the camera is switching itself off: the MP4 thread opens no
    // new file and motion detection starts no recording.
    bool (*powering_off)(void);
    // Told the recording's file while it is open, null once it is closed:
    // the file a lock request moves.
    void (*running_file)(const char *path);
    // Free space of the card in KiB, 0 when it can't be asked; the MP4
    // thread reports the card full below its reserve.
    uint64_t (*card_free_kib)(void);
    // True while a computer's USB cable may take the camera as its disk:
    // motion results count for nothing meanwhile.
    bool (*usb_host_may_claim)(void);
    // True while the TV output runs: the engine's stop takes it down.
    bool (*tv_out_on)(void);
    // True while a record mode is the current application: the date stamp
    // goes on the recording's encoder channel, else on the photo's.
    bool (*record_mode)(void);
};

// Replaces every hook; the engine's threads are not running yet.
void dv_register_app_hooks(const DvAppHooks &hooks);
// The hooks in force, every member set.
const DvAppHooks &dv_app_hooks(void);
