// Start-up and shutdown of the camera process, and the threads that live as
// long as it does: device scan, USB scan, auto power-off, format LED and the
// DC power-off thread that nothing starts.
#include "app/startup.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "app/devices/date_time.h"
#include "app/devices/gpio.h"
#include "app/devices/mcu.h"
#include "app/engine_hooks.h"
#include "app/handler.h"
#include "app/keys.h"
#include "app/leds.h"
#include "app/pref.h"
#include "app/sd_card.h"
#include "app/usb.h"
#include "board/board.h"
#include "core/msg_hub.h"
#include "core/rec_state.h"
#include "core/run_thread.h"
#include "recorder/dv_engine.h"
#include "recorder/dv_motion.h"
#include "recorder/dv_snap.h"
#include "recorder/rec_files.h"

uint8_t cancel_format = 0;
uint32_t update_config = 0;
std::atomic<uint8_t> idle_state{0};
std::atomic<uint8_t> powerDetOn{1};

std::atomic<uint32_t> btn_run{0};
std::atomic<uint32_t> th_usb_run{0};
std::atomic<uint32_t> th_power_flow_run{0};
std::atomic<uint32_t> th_dc_run{0};
std::atomic<uint32_t> FormatLed_run{0};

namespace {

constexpr uint32_t kRecKeyGpio = gpio_no(13, 7);
constexpr uint32_t kModeKeyGpio = gpio_no(13, 6);
constexpr uint32_t kPowerHoldGpio = gpio_no(5, 3);

constexpr useconds_t kMs = 1000;
constexpr useconds_t kDeviceScanUs = 50 * kMs;
constexpr useconds_t kUsbScanUs = 200 * kMs;
// The auto power-off thread looks once a second; its sleep is cut in slices
// so that its stop is not held up.
constexpr int kPowerFlowSlices = 10;
constexpr useconds_t kPowerFlowSliceUs = 100 * kMs;

RunThread main_thread, device_thread, usb_thread, power_flow_thread, dc_thread, format_led_thread;

// The auto power-off timer's view, shared with power_off_flow.
std::mutex power_flow_lock;
int64_t power_flow_last = -1;

int64_t monotonic_seconds()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec;
}

bool key_pressed(uint32_t gpio) { return get_gpio_value(gpio) == 0; }

void *handler_thread(void *)
{
    handler();
    return nullptr;
}

void *device_scan_thread(void *)
{
    while (btn_run) {
        key_scan();
        power_button_det();
        tv_detect();
        adc_detect();
        card_detect();
        usleep(kDeviceScanUs);
    }
    return nullptr;
}

void *usb_scan_thread(void *)
{
    while (th_usb_run) {
        usb_detect();
        usleep(kUsbScanUs);
    }
    puts("Test_DV_USB_Thread end");
    return nullptr;
}

void *power_flow_body(void *)
{
    const int timeout = app_pref_user ? auto_power_off_timeout(app_pref_user->AutoPoweroff, app_pref_user->MotionDetect)
                                      : 0;
    if (timeout == 0)
        return nullptr;
    {
        std::lock_guard<std::mutex> lock(power_flow_lock);
        power_flow_last = monotonic_seconds();
    }
    while (th_power_flow_run && powerDetOn) {
        for (int i = 0; i < kPowerFlowSlices && th_power_flow_run; i++)
            usleep(kPowerFlowSliceUs);
        if (!th_power_flow_run)
            break;
        std::lock_guard<std::mutex> lock(power_flow_lock);
        if (power_flow_check(monotonic_seconds(), &power_flow_last, timeout))
            break;
    }
    return nullptr;
}

void *dc_power_off_body(void *)
{
    for (int i = 0; i < 11; i++) {
        usleep(200 * kMs);
        if (!th_dc_run)
            return nullptr;
    }
    hcmgr_snd_msg(HMSG_POWER_KEY);
    return nullptr;
}

void *format_led_body(void *)
{
    while (FormatLed_run) {
        int level = app_get_led_state(LED2) ? 0 : 1;
        app_led_ctrl(LED2, level);
        app_led_ctrl(LED0, level);
        usleep(300 * kMs);
    }
    return nullptr;
}

int start_named(const char *name, RunThread &t, std::atomic<uint32_t> &run, void *(*body)(void *))
{
    puts(name);
    return run_thread_start(t, run, body);
}

// The end of a signal, on the engine's stop thread after the pipeline's
// steps 10 and 1.
void signal_exit(void)
{
    system_exit();
    puts("======program termination abnormally ");
    exit(-1);
}

} // namespace

// ---- start and end ------------------------------------------------------------------

int system_init(void)
{
    hcmgr_create_queue();
    if (open_gpio_dev() < 0) {
        puts("open_gpio_dev ==no pass");
        set_return_power_off_cmd(MCU_CUT_POWER);
        return -1;
    }
    set_power_on_key_type(MCU_KEY_TYPE_START);
    set_return_alarm_en(0);
    return 0;
}

int system_exit(void)
{
    // Everything that may post goes first: the queue outlives its producers.
    KX_DV_StopDevice();
    KX_DV_StopUsbThread();
    KX_DV_StopPowerFlowThread();
    KX_DV_Stop_DC_PowerOff_Thread();
    if (mdThreadRun)
        KX_MdStop(0, 3);
    KX_DV_StopSnap();
    DV_DC_MoveFile_ThreadStop();
    stop_led_flash();
    rec_stop_led_flash();
    pho_stop_led_flash();
    hcmgr_destroy_queue();
    close_gpio_dev();
    dv_send_shut_command();
    return 0;
}

void Dv_Control_HandleSig(int)
{
    // A signal handler may not take locks or join threads: an ordinary
    // thread stops the pipeline and ends the process.
    sig_stop_request();
}

int dv_send_shut_command(void)
{
    setDefaultTime("end");
    set_power_on_key_type(MCU_KEY_TYPE_SHUTDOWN);
    const bool poweron = app_pref_user && app_pref_user->Poweron != PREF_POWER_KEY_DELAY;
    const bool poweroff = app_pref_user && app_pref_user->Poweroff != PREF_POWER_KEY_DELAY;
    set_power_on_key_status(poweron ? 0 : 1);
    usleep(50 * kMs);
    set_power_off_key_status(poweroff ? 0 : 1);
    usleep(50 * kMs);
    int (*const alarm[])(uint32_t) = {set_return_alarm_en, set_return_power_alarm_day, set_return_power_alarm_hour,
                                       set_return_power_alarm_min, set_return_power_alarm_sec};
    for (auto set : alarm) {
        set(0);
        usleep(50 * kMs);
    }
    puts("------the MCU will shut down linux system");
    fflush(stdout);
    usleep(100 * kMs);
    set_return_power_off_cmd(MCU_CUT_POWER);
    return 0;
}

// ---- threads ---------------------------------------------------------------------------

int DV_Main_ThreadRun(void)
{
    static std::atomic<uint32_t> main_run{0};
    return start_named("DV_Main_ThreadRun", main_thread, main_run, handler_thread);
}

int dv_main_thread_join(void)
{
    if (main_thread.joinable.exchange(false))
        pthread_join(main_thread.id, nullptr);
    return 0;
}

int DV_Device_ThreadRun(void) { return start_named("DV_Device_ThreadRun", device_thread, btn_run, device_scan_thread); }
int DV_USB_ThreadRun(void) { return start_named("DV_USB_ThreadRun", usb_thread, th_usb_run, usb_scan_thread); }
int DV_PowerFlow_ThreadRun(void)
{
    return start_named("DV_PowerFlow_ThreadRun", power_flow_thread, th_power_flow_run, power_flow_body);
}
int DV_DC_PowerOff_ThreadRun(void)
{
    return start_named("DV_DC_PowerOff_ThreadRun", dc_thread, th_dc_run, dc_power_off_body);
}
int DV_format_led_ThreadRun(void)
{
    return start_named("DV_format_led_ThreadRun", format_led_thread, FormatLed_run, format_led_body);
}

namespace {

int stop_thread(RunThread &t, std::atomic<uint32_t> &run)
{
    if (!run && !t.joinable)
        return 0;
    return run_thread_stop(t, run);
}

} // namespace

int KX_DV_StopDevice(void) { return stop_thread(device_thread, btn_run); }
int KX_DV_StopUsbThread(void)
{
    if (!th_usb_run && !usb_thread.joinable)
        return 0;
    puts("KX_DV_StopUsbThread");
    return run_thread_stop(usb_thread, th_usb_run);
}
int KX_DV_StopPowerFlowThread(void) { return stop_thread(power_flow_thread, th_power_flow_run); }
int KX_DV_Stop_DC_PowerOff_Thread(void) { return stop_thread(dc_thread, th_dc_run); }
int stop_format_led_thread(void) { return stop_thread(format_led_thread, FormatLed_run); }

// ---- state -------------------------------------------------------------------------------

uint8_t Get_Idle_State(void) { return idle_state; }
void Set_Idle_State(uint8_t v) { idle_state = v; }

int Get_Record_State(void)
{
    return gRecCmd[KX_REC_ENTRY_RECORD].RecState == KX_REC_STATE_RUNNING ||
                   gRecCmd[KX_REC_ENTRY_PHOTO].RecState == KX_REC_STATE_RUNNING
               ? 1
               : 0;
}

void print_debug_Config(...) {}

int auto_power_off_timeout(int32_t auto_poweroff, int32_t motion_detect)
{
    if (auto_poweroff == PREF_AUTO_OFF_NEVER || motion_detect == PREF_ON)
        return 0;
    if (auto_poweroff == PREF_AUTO_OFF_30S)
        return 30;
    if (auto_poweroff == PREF_AUTO_OFF_1MIN)
        return 60;
    return 120;
}

int power_flow_check(int64_t now_s, int64_t *last_activity_s, int timeout_s)
{
    // Activity first: a recording or key press in the last second before the
    // time-out must keep the camera on.
    if (Get_Record_State() || get_usb_state() == USB_STATE_HOST || get_Tv_State())
        *last_activity_s = now_s;
    if (idle_state == 1) {
        *last_activity_s = now_s;
        idle_state = 0;
    }
    int64_t idle = now_s - *last_activity_s;
    if (idle < 0)
        idle = -idle;
    if (idle >= timeout_s) {
        powerDetOn = 0;
        hcmgr_snd_msg(AMSG_AUTO_POWER_OFF);
        return 1;
    }
    return 0;
}

int power_off_flow(void)
{
    if (!app_pref_user || !powerDetOn)
        return 0;
    const int timeout = auto_power_off_timeout(app_pref_user->AutoPoweroff, app_pref_user->MotionDetect);
    if (timeout == 0)
        return 0;
    std::lock_guard<std::mutex> lock(power_flow_lock);
    if (power_flow_last < 0)
        power_flow_last = monotonic_seconds();
    return power_flow_check(monotonic_seconds(), &power_flow_last, timeout);
}

// ---- power-on --------------------------------------------------------------------------

int format_dialogue(void)
{
    puts("format ........");
    int rec_prev = get_gpio_value(kRecKeyGpio);
    int mode_prev = get_gpio_value(kModeKeyGpio);
    for (unsigned pass = 1;; pass++) {
        int rec = get_gpio_value(kRecKeyGpio);
        int mode = get_gpio_value(kModeKeyGpio);
        if (rec_prev == 1 && rec == 0) {
            app_led_ctrl(LED3, 0);
            DV_format_led_ThreadRun();
            bd_system("mkfs.vfat /dev/mmcblk0p1");
            bd_sync();
            sleep(10);
            set_return_power_off_cmd(MCU_CUT_POWER);
            // The microcontroller cuts the power; nothing follows.
            for (;;)
                pause();
        }
        if (mode_prev == 1 && mode == 0)
            break;
        rec_prev = rec;
        mode_prev = mode;
        if (pass % 10 == 0) {
            int level = app_get_led_state(LED2) ? 0 : 1;
            app_led_ctrl(LED2, level);
            app_led_ctrl(LED0, level);
            app_led_ctrl(LED3, level);
        }
        usleep(kDeviceScanUs);
    }
    app_led_ctrl(LED3, 0);
    app_led_ctrl(LED0, 1);
    cancel_format = 1;
    return 0;
}

int dv_main(void)
{
    printf("%s %s\n", __DATE__, __TIME__);
    app_register_engine_hooks();
    system_init();
    sig_stop_thread_run(signal_exit);
    signal(SIGINT, Dv_Control_HandleSig);
    signal(SIGTERM, Dv_Control_HandleSig);
    signal(SIGPIPE, SIG_IGN);
    set_gpio_value(kPowerHoldGpio, 1);

    if (init_sd_card() < 0) {
        puts("=init_sd_card==no pass");
        set_return_power_off_cmd(MCU_CUT_POWER);
        return -1;
    }
    if (card_state == CARD_STATE_PRESENT) {
        if (key_pressed(kModeKeyGpio) && key_pressed(kRecKeyGpio))
            format_dialogue();
    }
    if (card_state == CARD_STATE_PRESENT && FS_Disk_PhyDisk_Detect() != 0)
        card_state = CARD_STATE_ABSENT; // a card that can't be mounted can't be recorded on
    if (card_state == CARD_STATE_PRESENT) {
        // Recordings a power cut or a pulled card left unfinished play again,
        // before the scan numbers the next file.
        rec_files_repair_unfinished();
        snap_settle_unfinished();
        KX_RecordCtr_InitAllfileName();
        puts("copy system config to SD");
        mkdir(bd_path("/mnt/sdcard0/syscfg/").c_str(), 0775);
        File_Get_Name_Thread();
        DV_DC_MoveFile_ThreadRun(); // MODE during a record-mode-1 recording locks its file
    } else {
        card_state = CARD_STATE_ABSENT;
    }
    if (key_pressed(kModeKeyGpio) && card_state == CARD_STATE_PRESENT && !cancel_format) {
        update_config = 1;
        button_disable();
    }
    DV_Device_ThreadRun();
    if (DV_Main_ThreadRun() != 0) {
        // Without the handler nothing would ever switch the camera off.
        puts("the main handler could not start");
        set_return_power_off_cmd(MCU_CUT_POWER);
        return -1;
    }
    dv_main_thread_join();
    return 0;
}
