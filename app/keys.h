// The device-scan thread's inputs: REC and MODE keys, the power key, the TV
// cable and the battery, each turned into message ids when it changes. Every
// scan runs once per 50 ms pass of that thread.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int KEY_SCAN_PERIOD_MS = 50;

struct KeyEntry {
    uint32_t id;       // 1 REC, 2 MODE: added to the press, hold and release ids
    uint32_t gpio;     // bank * 256 + pin
    int32_t level_min; // the key is pressed while its level lies in [min, max]
    int32_t level_max;
    uint8_t enabled;
    uint8_t pressed;
    uint8_t spare0[2];
    int32_t debounce_reload; // ms
    int32_t debounce_count;  // ms
    uint8_t hold_enabled;
    uint8_t hold_sent;
    uint8_t spare1[2];
    int32_t hold_count;  // ms
    int32_t hold_reload; // ms
    char name[12];
};

enum { KEY_INDEX_REC = 0, KEY_INDEX_MODE = 1, KEY_COUNT = 2 };

// The scan state of each key (pressed, the counts, hold sent) is the
// device-scan thread's alone. `enabled` is written by button_enable and
// button_disable: by the main thread before the scan starts, then by the
// handler (its applications and the power-off); the scan reads it on each
// pass. No lock: one writer at a time, a byte, and the scan reads it again
// on its next pass (50 ms later).
extern KeyEntry G_btoc[KEY_COUNT];

// One pass over both keys; 0.
int key_scan(void);
// Posts the press or release of key `index` when it is enabled and records
// its new state.
void key_snd_msg(int index, int pressed);
void button_enable(void);
void button_disable(void);

// Posts HMSG_POWER_KEY the first time the microcontroller reports the key,
// once for the life of the process; 0.
int power_button_det(void);

// TV cable on GPIO 5_2 (0 while the cable is in), looked at only while
// detection is enabled; 0.
// bTvEnableDet: written by the record and photo applications (handler
// thread), read by the device scan. bTvEnable: written by the device scan
// as the cable comes and goes and by those applications' stop
// (set_Tv_State, with detection already off), read by the handler, the auto
// power-off thread and the engine's TV hook. Both atomic, no lock.
extern std::atomic<uint8_t> bTvEnableDet;
extern std::atomic<uint8_t> bTvEnable;
int tv_detect(void);
void tv_detect_Enable(int on);
int get_Tv_State(void);
void set_Tv_State(int state);

// Battery value from the power microcontroller: register 12 * 256 + register
// 13, or -1 when either read fails.
int Get_Adc_val(void);
constexpr int BATTERY_LOW_LEVEL = 580;
constexpr int BATTERY_LOW_READINGS = 6;
constexpr int BATTERY_SCAN_PASSES = 20; // once a second
// Reads the battery every 20th pass and posts AMSG_LOW_BATTERY once after six
// low readings in a row; 0.
int adc_detect(void);

// The battery ADC device; nothing of the camera reads it. Written by
// open_adc_dev and close_adc_dev on their caller's thread (none in the
// camera); not shared.
extern int adc_dev_fd;
int open_adc_dev(void);
void close_adc_dev(void);
uint32_t get_adc_value(uint32_t channel);
