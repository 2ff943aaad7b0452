// The application manager: the registry of the camera's applications (modes),
// the current one, and switching between them. Only the main handler
// switches; other threads ask which application is current.
#pragma once

#include <atomic>
#include <cstdint>

// Flags of an application entry.
constexpr uint32_t APP_FLAG_RUNNING = 0x3; // bits 0 and 1
constexpr uint32_t APP_FLAG_IDLE = 0x4;
constexpr uint32_t APP_FLAG_REPLACE_PARENT = 0x8;
constexpr uint32_t APP_FLAG_BUSY = 0x10;
constexpr uint32_t APP_FLAG_IO = 0x20;

struct AppEntry {
    uint32_t id;       // set by appmgt_register
    int32_t level;     // 0 for every application here
    uint32_t parent;   // application below this one (0 = main)
    uint32_t previous; // current before a same-level switch to this one
    uint32_t child;    // stacked on this one, 0 for none
    uint32_t flags;
    uint32_t reserved;
    int (*start)(void);
    int (*stop)(void);
    int (*on_message)(uint32_t msg, uint32_t arg1, uint32_t arg2);
};

// The registry: the handler thread alone writes and reads it (appmgt_init
// and the registrations at its start-up, every switch later).
extern AppEntry **apps;
extern int app_max;
extern int app_num;
// The current application's id. The handler writes it at each switch; the
// recording blink thread, the date-stamp thread and the scene auto-tuning
// threads read it (appmgt_get_curapp, the engine hooks) while it may change:
// atomic, no lock; a reader asks again at its next use.
extern std::atomic<int> app_cur;

// Ids of the applications, -1 until registered. Written once, by the
// handler's start-up before it starts any application, and read-only after:
// the threads that compare them (blinks, date stamp, scene auto-tuning) are
// started later.
extern int APP_MAIN;
extern int APP_FW_UPDATE;
extern int APP_SETTING_UPDATE;
extern int APP_USB_MSC;
extern int APP_RECMODE1;
extern int APP_RECMODE2;
extern int APP_PHOMODE;
extern int APP_POWER_ON;
extern int APP_FORMAT_CARD;

int appmgt_init(AppEntry **table, int max);
// The new id, or -1 when the table is full.
int appmgt_register(AppEntry *entry);
int appmgt_get_app(int id, AppEntry **entry);
// The current application's id; its entry through `entry` when not null.
int appmgt_get_curapp(AppEntry **entry);
int appmgt_switch_to_app(int id);

int is_busy(void);
int is_io(void);
int is_idle(void);
