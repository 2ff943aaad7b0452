// Start-up and shutdown of the camera process: the message queue, device
// access, signals and the card at power-on (with the format dialogue and the
// settings-update key combination), the threads that live as long as the
// process, and the one orderly way to switch the camera off.
#pragma once

#include <atomic>
#include <cstdint>

// 1 when the power-on format dialogue was left with MODE. Written and read by
// the main thread during the power-on, before the handler starts.
extern uint8_t cancel_format;
// 1 when MODE was held at power-on with a card and no cancelled format
// dialogue: the settings-update application starts. Written by the main
// thread before it creates the handler thread, which reads it; no lock.
extern uint32_t update_config;
// 1 = user activity since the auto power-off timer last looked. Set by the
// handler on every user event, taken back to 0 by the auto power-off
// thread; atomic.
extern std::atomic<uint8_t> idle_state;
// 1 while the auto power-off timer is armed; 0 after it fired. Cleared by
// the auto power-off thread, read by it; atomic.
extern std::atomic<uint8_t> powerDetOn;

// Run flags of the process-long threads: each set by its start and cleared
// by its stop (the handler's power-off, or the signal's stop thread), read
// by the thread on each pass. Atomic.
extern std::atomic<uint32_t> btn_run;
extern std::atomic<uint32_t> th_usb_run;
extern std::atomic<uint32_t> th_power_flow_run;
extern std::atomic<uint32_t> th_dc_run;
extern std::atomic<uint32_t> FormatLed_run;

// Power-microcontroller values of the start and the shutdown.
constexpr uint32_t MCU_KEY_TYPE_START = 0xAD;
constexpr uint32_t MCU_KEY_TYPE_SHUTDOWN = 0xAC;
constexpr uint32_t MCU_CUT_POWER = 0xAA;

// The message queue, the GPIO device and the microcontroller's start values;
// 0, or -1 when the GPIO device can't be opened (the power-off command has
// then been sent).
int system_init(void);
// The end of a signal: the producers stopped, the queue destroyed, the GPIO
// device closed and the orderly power-off. 0.
int system_exit(void);
// SIGINT and SIGTERM: only asks the engine's stop thread to end the process.
void Dv_Control_HandleSig(int sig);
// Saves the preferences with the time and asks the microcontroller to cut
// the power; 0.
int dv_send_shut_command(void);

// Thread starters: the run flag set and the thread created; the creation's
// result.
int DV_Main_ThreadRun(void);
int DV_Device_ThreadRun(void);
int DV_format_led_ThreadRun(void);
int DV_USB_ThreadRun(void);
int DV_PowerFlow_ThreadRun(void);
int DV_DC_PowerOff_ThreadRun(void);
// Waits for the handler thread (which never ends).
int dv_main_thread_join(void);

// Thread stoppers: nothing when not running, else the flag cleared and the
// thread joined; 0.
int KX_DV_StopDevice(void);
int KX_DV_StopUsbThread(void);
int KX_DV_StopPowerFlowThread(void);
int KX_DV_Stop_DC_PowerOff_Thread(void);
int stop_format_led_thread(void);

uint8_t Get_Idle_State(void);
void Set_Idle_State(uint8_t v);
// 1 while the record or the photo entry of gRecCmd runs, else 0.
int Get_Record_State(void);
void print_debug_Config(...);

// Seconds of idleness after which the camera switches itself off, by the
// AutoPoweroff preference; 0 when it never does (off, or motion detection on).
int auto_power_off_timeout(int32_t auto_poweroff, int32_t motion_detect);

// One look of the auto power-off timer at `now_s` (seconds of a monotonic
// clock): the last activity moves to now while something keeps the camera
// busy or the user was active. 1 when the time-out is reached (the timer is
// then disarmed and AMSG_AUTO_POWER_OFF posted), else 0.
int power_flow_check(int64_t now_s, int64_t *last_activity_s, int timeout_s);
// One pass of the same check outside any thread, from the last look made
// by it; nothing calls it.
int power_off_flow(void);

// The power-on format dialogue (REC and MODE held at power-on). Returns when
// it was left with MODE; formatting ends in a power-off.
int format_dialogue(void);

// The process: start-up up to the handler thread, then waits for it.
int dv_main(void);
