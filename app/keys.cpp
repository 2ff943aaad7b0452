// Keys, power key, TV cable and battery: the device-scan thread's inputs.
#include "app/keys.h"

#include <cstdio>
#include <fcntl.h>

#include "app/devices/gpio.h"
#include "app/devices/mcu.h"
#include "board/board.h"
#include "board/mcu_requests.h"
#include "core/msg_hub.h"

namespace {


constexpr uint32_t kTvGpio = gpio_no(5, 2); // 0 while the cable is in
constexpr uint32_t kMcuPowerKeyPress = 3;
constexpr uint32_t kMcuBatteryHigh = 12;
constexpr uint32_t kMcuBatteryLow = 13;

bool power_key_reported = false;

int battery_passes = 0;
int battery_low_count = 0;
bool battery_reported = false;

bool key_is_pressed(const KeyEntry &k, int level)
{
    return level >= k.level_min && level <= k.level_max;
}

} // namespace

KeyEntry G_btoc[KEY_COUNT] = {
    {KEY_ID_REC, gpio_no(13, 7), 0, 0, 1, 0, {0, 0}, 100, 0, 1, 0, {0, 0}, 0, 2000, "REC"},
    {KEY_ID_MODE, gpio_no(13, 6), 0, 0, 1, 0, {0, 0}, 100, 0, 1, 0, {0, 0}, 0, 2000, "MODE"},
};

std::atomic<uint8_t> bTvEnableDet{0};
std::atomic<uint8_t> bTvEnable{0};
int adc_dev_fd = -1;

void key_snd_msg(int index, int pressed)
{
    KeyEntry &k = G_btoc[index];
    if (!k.enabled)
        return;
    if (pressed) {
        hcmgr_snd_msg(HMSG_KEY_PRESS | k.id);
        printf("Press: %s bid = %d\n", k.name, (int)k.id);
        k.debounce_count = k.debounce_reload;
    } else {
        hcmgr_snd_msg(HMSG_KEY_RELEASE | k.id);
        printf("Release: %s bid = %d\n", k.name, (int)k.id);
    }
    k.pressed = pressed ? 1 : 0;
}

int key_scan(void)
{
    for (int i = 0; i < KEY_COUNT; ++i) {
        KeyEntry &k = G_btoc[i];
        int level = get_gpio_value(k.gpio);
        if (level < 0)
            continue; // no reading: the key keeps its state
        if (!key_is_pressed(k, level)) {
            k.debounce_count = k.debounce_reload;
            if (k.pressed) {
                if (!k.hold_sent)
                    key_snd_msg(i, 0);
                // Also when the keys are disabled: a release they swallowed
                // must not come out once they are enabled again.
                k.pressed = 0;
            }
            continue;
        }
        if (!k.pressed) {
            // Held while disabled, the count stays spent, so the press goes
            // out on the first pass after the keys are enabled.
            if (k.debounce_count > 0)
                k.debounce_count -= KEY_SCAN_PERIOD_MS;
            if (k.debounce_count < 1) {
                key_snd_msg(i, 1);
                if (k.pressed && k.hold_enabled) {
                    k.hold_count = k.hold_reload;
                    k.hold_sent = 0;
                }
            }
            continue;
        }
        if (k.hold_enabled && !k.hold_sent) {
            k.hold_count -= KEY_SCAN_PERIOD_MS;
            if (k.hold_count < 1) {
                if (k.enabled)
                    hcmgr_snd_msg(HMSG_KEY_HOLD | k.id);
                k.hold_sent = 1;
                printf("hold key: %s bid = %d\n", k.name, (int)k.id);
            }
        }
    }
    return 0;
}

void button_enable(void)
{
    puts("button enable");
    for (auto &k : G_btoc)
        k.enabled = 1;
}

void button_disable(void)
{
    puts("button disable");
    for (auto &k : G_btoc)
        k.enabled = 0;
}

int power_button_det(void)
{
    if (power_key_reported || get_power_off_key_press() != 1)
        return 0;
    puts("power_button_det");
    hcmgr_snd_msg(HMSG_POWER_KEY);
    power_key_reported = true;
    return 0;
}

int tv_detect(void)
{
    if (!bTvEnableDet)
        return 0;
    int level = get_gpio_value(kTvGpio);
    if (level == 0 && bTvEnable == 0) {
        bTvEnable = 1;
        printf("%s in \n", "tv_detect");
        hcmgr_snd_msg(HMSG_TV_IN);
    } else if (level == 1 && bTvEnable == 1) {
        bTvEnable = 0;
        printf("%s out\n", "tv_detect");
        hcmgr_snd_msg(HMSG_TV_OUT);
    }
    return 0;
}

void tv_detect_Enable(int on) { bTvEnableDet = on ? 1 : 0; }
int get_Tv_State(void) { return bTvEnable; }
void set_Tv_State(int state) { bTvEnable = (uint8_t)state; }

int Get_Adc_val(void)
{
    int high = mcu_i2c_read(kMcuBatteryHigh);
    int low = mcu_i2c_read(kMcuBatteryLow);
    if (high < 0 || low < 0)
        return -1;
    return (high << 8) + low;
}

int adc_detect(void)
{
    if (++battery_passes < BATTERY_SCAN_PASSES)
        return 0;
    battery_passes = 0;
    int value = Get_Adc_val();
    // A failed read is no reading: it must not count towards a power-off.
    if (value < 0)
        return 0;
    if (value >= BATTERY_LOW_LEVEL) {
        battery_low_count = 0;
        return 0;
    }
    if (battery_low_count < BATTERY_LOW_READINGS)
        ++battery_low_count;
    if (battery_low_count >= BATTERY_LOW_READINGS && !battery_reported) {
        printf("Low power,run power off,adc value is:%d\n", value);
        hcmgr_snd_msg(AMSG_LOW_BATTERY);
        battery_reported = true;
    }
    return 0;
}

int open_adc_dev(void)
{
    adc_dev_fd = bd_open("/dev/kxadcdev", O_RDWR);
    return adc_dev_fd;
}

void close_adc_dev(void)
{
    if (adc_dev_fd >= 0)
        bd_close(adc_dev_fd);
    adc_dev_fd = -1;
}

uint32_t get_adc_value(uint32_t channel)
{
    if (adc_dev_fd < 0) {
        puts("Open /dev/kxadcdev error!");
        return 0;
    }
    if (channel > 1) {
        puts("no this channel !");
        return 0;
    }
    adc_transfer t = {channel, 0};
    if (bd_read(adc_dev_fd, &t, MCU_TRANSFER_COUNT) != (ssize_t)MCU_TRANSFER_COUNT)
        return 0;
    return t.value & 0xFF;
}
