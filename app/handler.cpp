// The main handler: the application start-up and the message loop. It is the
// only thread that switches applications and the one that starts the
// power-off sequence.
#include "app/handler.h"

#include <cstdio>
#include <initializer_list>
#include <unistd.h>

#include "app/apps.h"
#include "app/devices/date_time.h"
#include "app/devices/gpio.h"
#include "app/devices/mcu.h"
#include "app/keys.h"
#include "app/leds.h"
#include "app/pref.h"
#include "app/sd_card.h"
#include "app/startup.h"
#include "app/usb.h"
#include "board/board.h"
#include "core/msg_hub.h"
#include "core/rec_state.h"
#include "recorder/dv_audio.h"
#include "recorder/dv_config.h"
#include "recorder/dv_engine.h"
#include "recorder/dv_motion.h"
#include "recorder/dv_mp4.h"
#include "recorder/dv_stream.h"
#include "recorder/dv_tv.h"

std::atomic<uint8_t> u8IsEnterPowerFlow{0};
std::atomic<uint8_t> fw_doing_update{0};
static std::atomic<uint8_t> power_request_held{0};

void handler_update_ended(void)
{
    fw_doing_update = 0;
    if (power_request_held.exchange(0))
        hcmgr_snd_msg(HMSG_POWER_KEY);
}

uint8_t Kx_GetPowerOffState(void) { return u8IsEnterPowerFlow ? 1 : 0; }

namespace {

constexpr uint32_t kAudioPathGpio = gpio_no(9, 5);
constexpr uint32_t kUsbPowerGpio = gpio_no(5, 4);
constexpr uint32_t kChargeGpio = gpio_no(5, 3);
constexpr useconds_t kMs = 1000;
constexpr int kBatteryHigh = 700, kBatteryLow = 650;

bool card_present() { return card_state == CARD_STATE_PRESENT; }

bool in_record_mode(int app) { return app == APP_RECMODE1 || app == APP_RECMODE2; }
bool in_capture_mode(int app) { return in_record_mode(app) || app == APP_PHOMODE; }

void pass_to_app(uint32_t id)
{
    AppEntry *cur = nullptr;
    appmgt_get_curapp(&cur);
    if (cur && cur->on_message)
        cur->on_message(id, 0, 0);
}

// The blink that ends in a power-off (types 3 and 6), over LED0 and LED2.
void power_off_blink(int type)
{
    led_flag |= LED_FLAG_LED0 | LED_FLAG_LED2;
    create_led_flash_thread(150, 3, type);
}

void post_rec_release() { hcmgr_snd_msg(HMSG_KEY_RELEASE | KEY_ID_REC); }

void on_power_key()
{
    if (fw_doing_update) {
        power_request_held = 1;
        return;
    }
    if (u8IsEnterPowerFlow)
        return;
    u8IsEnterPowerFlow = 1;
    if (card_present()) {
        bd_system("rm -rf /mnt/sdcard0/syscfg");
        usleep(5 * kMs);
    }
    button_disable();
    handler_stop_for_power_off();
    KX_DV_StopUsbThread();
    KX_DV_StopPowerFlowThread();
    KX_DV_StopDevice();
    power_off_blink(LED_TYPE_POWER_OFF);
}

// Card full and auto power-off: the recording is closed before the blink
// that ends in the power-off, as on the power key.
void power_off_closing(int blink_type)
{
    if (!u8IsEnterPowerFlow) {
        u8IsEnterPowerFlow = 1;
        button_disable();
        handler_stop_for_power_off();
    }
    power_off_blink(blink_type);
}

void on_usb_dc_in()
{
    int cur = appmgt_get_curapp(nullptr);
    if (!in_record_mode(cur) || !app_pref_user)
        return;
    const bool recording = gRecCmd[KX_REC_ENTRY_RECORD].RecState == KX_REC_STATE_RUNNING;
    const int source = get_return_power_on_source();
    if (app_pref_user->OnePowerButtontoAutoRecord != PREF_OFF && source == 0 && system_first_run_no_usb != 0) {
        if (!recording)
            post_rec_release();
    } else if (app_pref_user->AutoRecordwithExternalPower != PREF_OFF &&
               (source == 1 || system_first_run_no_usb == 0)) {
        if (!recording)
            post_rec_release();
    }
}

void on_usb_pc_in()
{
    if (app_pref_user && app_pref_user->ChargefromUSBHost != PREF_HOST_CHARGE)
        set_gpio_value(kChargeGpio, 0);
    appmgt_switch_to_app(APP_USB_MSC);
}

void on_led_flash_end()
{
    int type = get_led_flash_type();
    if (type == LED_TYPE_POWER_OFF || type == LED_TYPE_POWER_OFF_CARD)
        dv_send_shut_command();
    else if (type == LED_TYPE_BATTERY && appmgt_get_curapp(nullptr) == APP_PHOMODE)
        app_led_ctrl(LED0, 1);
}

} // namespace

void handler_stop_for_power_off(void)
{
    pass_to_app(HMSG_POWER_KEY);
    int cur = appmgt_get_curapp(nullptr);
    if (!in_capture_mode(cur))
        return;
    if (cur == APP_PHOMODE) {
        app_pho_mode_stop();
        return;
    }
    if (app_pref_user && app_pref_user->MotionDetect == PREF_ON)
        KX_MdStop(0, 3);
    // The file should hold its first second; a file that never gets there
    // (no frames) must not keep the camera on.
    for (int waited = 0; !KX_GetRecordFileOver1Sec() && waited < POWER_OFF_FILE_WAIT_MS; waited += 100)
        usleep(100 * kMs);
    KX_DV_Stop();
    KX_DV_StopAudioThread();
    KX_DV_Audio_Stop();
    KX_Video_Mode_Func(1, 0, 0);
}

// ---- start-up ---------------------------------------------------------------------------

int app_pre_init(void)
{
    app_pref_init();
    KX_DV_Set1080DefaultDvCfg();
    gsDvConfig.sVo.sParam.eSync = (u32)app_pref_user->TVout;
    gsDvConfig.sVo.sParam.u8VoSrc = 0;
    if (app_pref_user->AudioInputPath != PREF_AUDIO_PATH_DEFAULT) {
        muxtrl_gpio(kAudioPathGpio, 0);
        config_gpio(kAudioPathGpio, 1);
        set_gpio_value(kAudioPathGpio, 1);
    }
    return 0;
}

int app_post_init(void)
{
    const int battery = Get_Adc_val();
    if (app_pref_user->DefaultMode != PREF_PHOTO_MODE)
        app_led_ctrl(LED0, 0);
    led_flag = 0;
    led_flag |= LED_FLAG_LED0 | LED_FLAG_LED2;
    if (card_present()) {
        const uint32_t blinks = battery >= kBatteryHigh ? 3 : battery < kBatteryLow ? 1 : 2;
        create_led_flash_thread(150, blinks, LED_TYPE_BATTERY);
    } else {
        create_led_flash_thread(1000, 5, LED_TYPE_POWER_OFF_CARD);
    }
    DV_USB_ThreadRun();
    return 0;
}

int handler_first_app(void)
{
    int first;
    switch (app_pref_user ? app_pref_user->DefaultMode : PREF_VIDEO_MODE1) {
    case PREF_VIDEO_MODE2:
        first = APP_RECMODE2;
        break;
    case PREF_PHOTO_MODE:
        first = APP_PHOMODE;
        break;
    default:
        // Out of range too: the firmware update is only for an image on the card.
        first = APP_RECMODE1;
        break;
    }
    if (update_config)
        first = APP_SETTING_UPDATE;
    if (card_present() && CheckUpdateExists(UPDATE_SCENEAUTO) == 0) {
        bd_system("cp -f /mnt/sdcard0/sceneauto_34220.ini /dv/iq_config/sceneauto_34220.ini");
        usleep(5 * kMs);
        puts("update IQ file OK ");
    }
    // An image that can't be installed stays on the card, and the camera
    // starts as without it.
    if (card_present() && CheckUpdateExists(UPDATE_IMAGE) == 0 && update_image_acceptable())
        first = APP_FW_UPDATE;
    return first;
}

int app_init(void)
{
    const uint32_t g00 = gpio_no(0, 0), g02 = gpio_no(0, 2), g03 = gpio_no(0, 3), g04 = gpio_no(0, 4);
    for (uint32_t g : {g02, g03, g04, g00})
        set_gpio_value(g, 0);
    usleep(10 * kMs);
    set_gpio_value(g02, 1);
    usleep(100 * kMs);
    set_gpio_value(g03, 1);
    usleep(100 * kMs);
    set_gpio_value(g04, 1);
    set_gpio_value(g00, 1);

    setDefaultTime("start");
    if (card_present()) {
        for (int index : {UPDATE_UBOOT, UPDATE_KERNEL, UPDATE_ROOTFS}) {
            if (CheckUpdateExists(index) == 0) {
                DeleteUpdateFile(index);
                sync();
                usleep(500 * kMs);
            }
        }
    }

    button_disable();
    appmgt_init(demoapps, DEMOAPPS_MAX);
    app_register_apps_main();
    app_register_apps_common();
    app_register_apps_encode();
    app_register_apps_decode();
    appmgt_switch_to_app(handler_first_app());
    return 0;
}

// ---- the loop ------------------------------------------------------------------------------

void handler_dispatch(uint32_t id)
{
    if (id & HMSG_USER_ACTIVITY_BIT)
        idle_state = 1;
    // Once the power is going, a cable or the TV changes nothing: the
    // pipeline they would drive is being taken down.
    if (u8IsEnterPowerFlow &&
        (id == HMSG_USB_PC_IN || id == HMSG_USB_DC_IN || id == HMSG_TV_IN || id == HMSG_TV_OUT))
        return;
    switch (id) {
    case HMSG_POWER_KEY:
        on_power_key();
        break;
    case HMSG_USB_DC_OUT:
        hcmgr_snd_msg(HMSG_POWER_KEY);
        break;
    case HMSG_USB_DC_IN:
        on_usb_dc_in();
        break;
    case HMSG_USB_PC_OUT:
        pass_to_app(id);
        hcmgr_snd_msg(HMSG_POWER_KEY);
        break;
    case HMSG_USB_PC_IN:
        on_usb_pc_in();
        break;
    case HMSG_TV_OUT:
        video_out_proc(0);
        break;
    case HMSG_TV_IN:
        video_out_proc(1);
        break;
    case HMSG_CARD_IN:
    case HMSG_CARD_OUT:
        // The card is gone or new: nothing on it can be closed safely.
        power_off_blink(LED_TYPE_POWER_OFF_CARD);
        break;
    case AMSG_CARD_STATE_FULL:
        puts("AMSG_CARD_STATE_FULL");
        power_off_closing(LED_TYPE_POWER_OFF_CARD);
        break;
    case AMSG_LOW_BATTERY:
        pass_to_app(id);
        hcmgr_snd_msg(HMSG_POWER_KEY);
        break;
    case AMSG_AUTO_POWER_OFF:
        power_off_closing(LED_TYPE_POWER_OFF);
        break;
    case AMSG_LED_FLASH_END:
        on_led_flash_end();
        break;
    default:
        pass_to_app(id);
        break;
    }
}

void handler(void)
{
    printf("%s %s   %s................\r\n", __DATE__, __TIME__, "handler");
    setDefualtCmd();
    app_pre_init();
    app_post_init();
    app_init();
    DV_PowerFlow_ThreadRun();
    if (app_pref_user->OnePowerButtontoAutoRecord != PREF_OFF && get_gpio_value(kUsbPowerGpio) == 0 &&
        (app_pref_user->DefaultMode == PREF_VIDEO_MODE1 || app_pref_user->DefaultMode == PREF_VIDEO_MODE2))
        post_rec_release();
    system_run_complete = 1;
    for (;;) {
        uint32_t id = 0;
        if (hcmgr_rcv_msg(&id) == -1)
            continue;
        handler_dispatch(id);
    }
}
