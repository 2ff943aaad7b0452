// LED patterns: the general, recording and photo blink threads.
#include "app/leds.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <unistd.h>

#include "app/app_manager.h"
#include "app/devices/gpio.h"
#include "app/pref.h"
#include "core/kx_thread.h"
#include "core/msg_hub.h"
#include "core/rec_state.h"
#include "core/run_thread.h"

std::atomic<uint32_t> led_flag{0};

std::atomic<uint32_t> led_run_flag{0};
uint32_t led_flash_timce = 0;
uint32_t led_flash_cycle = 0;
std::atomic<int32_t> led_flash_type{LED_TYPE_NONE};

std::atomic<uint32_t> rec_led_run_flag{0};
uint32_t rec_led_timce = 0;

std::atomic<uint32_t> pho_led_run_flag{0};
uint32_t pho_led_timce = 0;
uint32_t pho_led_cycle = 0;
pthread_cond_t cond_photo_led_flash = PTHREAD_COND_INITIALIZER;
pthread_mutex_t lock_photo_led_flash = PTHREAD_MUTEX_INITIALIZER;

namespace {


// Indexed by LED number.
constexpr uint32_t kLedGpio[LED_COUNT] = {gpio_no(10, 0), gpio_no(10, 5), gpio_no(3, 6), gpio_no(0, 6)};
// led_flag bit of each LED number.
constexpr uint32_t kLedBit[LED_COUNT] = {LED_FLAG_LED0, LED_FLAG_LED1, LED_FLAG_LED2, LED_FLAG_LED3};

constexpr useconds_t kGeneralPassUs = 50 * 1000;
constexpr useconds_t kRecPassUs = 100 * 1000;
constexpr useconds_t kPhotoPassUs = 100 * 1000;
constexpr int kRecPassesPerToggle = 11;

RunThread general_thread, rec_thread, pho_thread;
// Creation and stopping of each kind come from the handler and the
// applications; one at a time per kind.
std::mutex general_lock, rec_lock, pho_lock;

// Set by a shot's signal, taken by the photo thread's wait, so that a signal
// given just before the thread waits is not lost.
bool pho_led_pending = false;

// The kind's previous blink has been stopped and joined by the caller.
int start_blink(RunThread &t, std::atomic<uint32_t> &run, void *(*body)(void *))
{
    int rc = run_thread_start(t, run, body);
    if (rc != 0) {
        printf("------create_led_flash_thread create failed, result: %d\n", rc);
        return -1;
    }
    return 0;
}

void toggle_led(int led) { app_led_ctrl(led, app_get_led_state(led) ? 0 : 1); }

// The LED of the current mode, -1 outside the record and photo modes.
int mode_led()
{
    int cur = appmgt_get_curapp(nullptr);
    if (cur == APP_RECMODE1)
        return LED1;
    if (cur == APP_RECMODE2)
        return LED3;
    if (cur == APP_PHOMODE)
        return LED0;
    return -1;
}

void *led_flash_thread(void *)
{
    const uint32_t count = led_flash_timce;
    const int type = led_flash_type;
    const uint32_t step = std::max<uint32_t>(1, led_flash_cycle / 50);
    uint32_t toggles_left = 2 * count;
    int saved[LED_COUNT];
    for (int led = 0; led < LED_COUNT; ++led)
        saved[led] = app_get_led_state(led);

    bool ran_out = false;
    uint32_t counted = 0;
    while (led_run_flag) {
        usleep(kGeneralPassUs);
        if (!led_run_flag)
            break;
        if (count && toggles_left == 0) {
            ran_out = true;
            led_run_flag = 0;
            break;
        }
        if (counted < step) {
            ++counted;
            continue;
        }
        counted = 0;
        uint32_t flags = led_flag;
        for (int led = 0; led < LED_COUNT; ++led)
            if (flags & kLedBit[led])
                toggle_led(led);
        if (toggles_left)
            --toggles_left;
    }

    for (int led = 0; led < LED_COUNT; ++led)
        if (type != LED_TYPE_BATTERY || led == LED0 || led == LED2)
            app_led_ctrl(led, saved[led]);
    // Only a blink that ran its course reports its end: the handler powers
    // off after some of them, never after one that was replaced or stopped.
    if (ran_out)
        hcmgr_snd_msg(AMSG_LED_FLASH_END);
    return nullptr;
}

void *rec_led_flash_thread(void *)
{
    const uint32_t count = rec_led_timce;
    uint32_t toggles_left = 2 * count;
    const int mode = mode_led();
    app_led_ctrl(LED2, 0);
    if (mode >= 0)
        app_led_ctrl(mode, 0);

    int passes = 0;
    while (rec_led_run_flag) {
        usleep(kRecPassUs);
        if (!rec_led_run_flag)
            break;
        if (++passes >= kRecPassesPerToggle) {
            passes = 0;
            int level = app_get_led_state(mode >= 0 ? mode : LED2) ? 0 : 1;
            if (mode >= 0)
                app_led_ctrl(mode, level);
            app_led_ctrl(LED2, level);
            if (toggles_left)
                --toggles_left;
        }
        if (count && toggles_left == 0)
            break;
    }

    bool off = app_pref_user && app_pref_user->LED == PREF_OFF &&
               gRecCmd[KX_REC_ENTRY_RECORD].RecState == KX_REC_STATE_RUNNING;
    app_led_ctrl(LED2, off ? 0 : 1);
    if (mode >= 0)
        app_led_ctrl(mode, off ? 0 : 1);
    return nullptr;
}

void *pho_led_flash_thread(void *)
{
    for (;;) {
        KX_WaitCmdToPhoto_Led_Flash();
        if (!pho_led_run_flag)
            break;
        const uint32_t count = pho_led_timce;
        const uint32_t step = pho_led_cycle / 100;
        uint32_t toggles_left = 2 * count;
        app_led_ctrl(LED2, 0);
        app_led_ctrl(LED0, 0);
        uint32_t counted = 0;
        for (;;) {
            usleep(kPhotoPassUs);
            if (!pho_led_run_flag) {
                puts("photo led flash end ");
                return nullptr;
            }
            if (counted < step) {
                ++counted;
            } else {
                counted = 0;
                toggle_led(LED0);
                app_led_ctrl(LED2, app_get_led_state(LED0));
                if (toggles_left)
                    --toggles_left;
            }
            if ((count && toggles_left == 0) || gRecCmd[KX_REC_ENTRY_PHOTO].RecState == KX_REC_STATE_STOPPED) {
                app_led_ctrl(LED2, 1);
                app_led_ctrl(LED0, 1);
                break;
            }
        }
        // A signal that came during the run belonged to it.
        KX_THMutexLock_API(&lock_photo_led_flash);
        pho_led_pending = false;
        KX_THMutexUnlock_API(&lock_photo_led_flash);
    }
    puts("photo led flash end ");
    return nullptr;
}

// With pho_lock held. The flag is cleared under the condition's mutex, so the
// thread can't miss the wake-up between its test of the flag and its wait.
void stop_photo_blink()
{
    if (!pho_thread.joinable)
        return;
    KX_THMutexLock_API(&lock_photo_led_flash);
    pho_led_run_flag = 0;
    KX_THCondBroadcast_API(&cond_photo_led_flash);
    KX_THMutexUnlock_API(&lock_photo_led_flash);
    run_thread_stop(pho_thread, pho_led_run_flag);
}

} // namespace

void app_led_ctrl(int led, int on)
{
    if (led < 0 || led >= LED_COUNT)
        return;
    set_gpio_value(kLedGpio[led], (on & 0xFF) ? 1 : 0);
}

int app_get_led_state(int led)
{
    if (led < 0 || led >= LED_COUNT)
        return 0;
    return get_gpio_value(kLedGpio[led]);
}

int create_led_flash_thread(uint32_t cycle_ms, uint32_t count, int type)
{
    std::lock_guard<std::mutex> lock(general_lock);
    int cur = led_flash_type;
    if (cur == type || cur == LED_TYPE_POWER_OFF)
        return -1;
    run_thread_stop(general_thread, led_run_flag);
    led_flash_timce = count;
    led_flash_cycle = cycle_ms;
    led_flash_type = type;
    return start_blink(general_thread, led_run_flag, led_flash_thread);
}

int stop_led_flash(void)
{
    std::lock_guard<std::mutex> lock(general_lock);
    return run_thread_stop(general_thread, led_run_flag);
}

int get_led_flash_type(void) { return led_flash_type; }
void set_led_flash_type(int type) { led_flash_type = type; }

int rec_create_led_flash_thread(uint32_t count)
{
    std::lock_guard<std::mutex> lock(rec_lock);
    run_thread_stop(rec_thread, rec_led_run_flag);
    rec_led_timce = count;
    return start_blink(rec_thread, rec_led_run_flag, rec_led_flash_thread);
}

int rec_stop_led_flash(void)
{
    std::lock_guard<std::mutex> lock(rec_lock);
    return run_thread_stop(rec_thread, rec_led_run_flag);
}

int pho_create_led_flash_thread(uint32_t cycle_ms, uint32_t count)
{
    std::lock_guard<std::mutex> lock(pho_lock);
    // One photo blink at a time: a second one would be left unjoined.
    stop_photo_blink();
    KX_THMutexLock_API(&lock_photo_led_flash);
    pho_led_timce = count;
    pho_led_cycle = cycle_ms;
    pho_led_pending = false;
    KX_THMutexUnlock_API(&lock_photo_led_flash);
    return start_blink(pho_thread, pho_led_run_flag, pho_led_flash_thread);
}

int pho_stop_led_flash(void)
{
    std::lock_guard<std::mutex> lock(pho_lock);
    stop_photo_blink();
    return 0;
}

int KX_WaitCmdToPhoto_Led_Flash(void)
{
    KX_THMutexLock_API(&lock_photo_led_flash);
    while (!pho_led_pending && pho_led_run_flag)
        KX_THCondWait_API(&cond_photo_led_flash, &lock_photo_led_flash);
    pho_led_pending = false;
    KX_THMutexUnlock_API(&lock_photo_led_flash);
    return 0;
}

int KX_SendCondtoPhoto_Led_Flash(void)
{
    KX_THMutexLock_API(&lock_photo_led_flash);
    pho_led_pending = true;
    int ret = KX_THCondBroadcast_API(&cond_photo_led_flash);
    KX_THMutexUnlock_API(&lock_photo_led_flash);
    return ret;
}
