// The camera's four LEDs and the three kinds of blink thread that drive them:
// the general blink (counted or endless, its end reported as
// AMSG_LED_FLASH_END), the recording blink and the photo blink.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>

enum { LED0 = 0, LED1 = 1, LED2 = 2, LED3 = 3, LED_COUNT = 4 };

// Bits of led_flag: the LEDs the general blink toggles.
constexpr uint32_t LED_FLAG_LED0 = 0x1;
constexpr uint32_t LED_FLAG_LED2 = 0x2;
constexpr uint32_t LED_FLAG_LED1 = 0x4;
constexpr uint32_t LED_FLAG_LED3 = 0x8;
constexpr uint32_t LED_FLAG_ALL = 0xF;
// Set by the handler thread (start-up, power-off, updates, the record and
// photo applications) before it starts a blink; read by the general blink
// thread on each toggle. Atomic, no lock.
extern std::atomic<uint32_t> led_flag;

// Blink types in use.
enum {
    LED_TYPE_NONE = -1,
    LED_TYPE_POWER_OFF_CARD = 3, // card changed, card full or no card; power-off follows
    LED_TYPE_POWER_OFF = 6,
    LED_TYPE_BATTERY = 7, // battery level at start
    LED_TYPE_FW_UPDATE = 8, // endless
    LED_TYPE_CARD_ERROR = 9, // a recording's file could not be made or written; no power-off
};

// General blink. Its count and cycle are written by create_led_flash_thread
// (handler thread) under the kind's own lock before the thread is created,
// and read by the blink thread once at its start: no lock needed there. The
// run flag is set by the start, cleared by a stop (handler, or the signal's
// stop thread) or by the thread when its count runs out; the type is set by
// the handler and read by the handler and, at its start, by the thread.
// Both atomic.
extern std::atomic<uint32_t> led_run_flag;
extern uint32_t led_flash_timce; // count; 0 blinks until stopped
extern uint32_t led_flash_cycle; // ms
extern std::atomic<int32_t> led_flash_type;

// Recording blink: the same pattern, its count written before the thread
// starts (record applications, handler thread) and read once by it.
extern std::atomic<uint32_t> rec_led_run_flag;
extern uint32_t rec_led_timce;

// Photo blink. Count and cycle are written by pho_create_led_flash_thread
// (handler thread) under lock_photo_led_flash before the thread starts and
// read by it after each wait on that lock. The lock and the condition guard
// the thread's wait for a shot's signal (KX_SendCondtoPhoto_Led_Flash, from
// the photo application) and the stop's clearing of the run flag.
extern std::atomic<uint32_t> pho_led_run_flag;
extern uint32_t pho_led_timce;
extern uint32_t pho_led_cycle;
extern pthread_cond_t cond_photo_led_flash;
extern pthread_mutex_t lock_photo_led_flash;

// LED 0..3 on (non-zero low byte of `on`) or off; other numbers are ignored.
void app_led_ctrl(int led, int on);
// The LED's level, 0 for other numbers.
int app_get_led_state(int led);

// 0, or -1 when refused (the current type is `type` or 6) or when the thread
// can't be created. A running blink is stopped first.
int create_led_flash_thread(uint32_t cycle_ms, uint32_t count, int type);
// Stops a running blink without reporting its end; 0.
int stop_led_flash(void);
int get_led_flash_type(void);
void set_led_flash_type(int type);

// Blinks the current mode's LED with LED2, `count` times (0 until stopped).
int rec_create_led_flash_thread(uint32_t count);
int rec_stop_led_flash(void);

// One blink run of LED0 with LED2 per KX_SendCondtoPhoto_Led_Flash.
int pho_create_led_flash_thread(uint32_t cycle_ms, uint32_t count);
int pho_stop_led_flash(void);
// Waits for the next shot's signal (or the stop); returns 0.
int KX_WaitCmdToPhoto_Led_Flash(void);
int KX_SendCondtoPhoto_Led_Flash(void);
