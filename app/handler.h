// The main handler: the application start-up of the camera and the loop that
// takes every message id and either treats it (power, USB, TV, card, battery,
// auto power-off, LED end) or hands it to the current application.
#pragma once

#include <atomic>
#include <cstdint>

// 1 once the power-off sequence has begun; never cleared. The handler sets
// it; the MP4 and motion threads read it through the engine's powering-off
// hook, the record applications through Kx_GetPowerOffState. Atomic.
extern std::atomic<uint8_t> u8IsEnterPowerFlow;
// 1 once the power-off sequence has begun, else 0.
uint8_t Kx_GetPowerOffState(void);
// 1 while the firmware or settings update runs: the power key is held back.
// Set and cleared by the update applications on the handler thread, read by
// the handler; atomic, though one thread is all that touches it.
extern std::atomic<uint8_t> fw_doing_update;
// An update that ends without switching the camera off: clears the flag and
// posts the power request (key or low battery) held back meanwhile, which
// the microcontroller reports only once.
void handler_update_ended(void);

// The longest the power-off waits for a recording's first second.
constexpr int POWER_OFF_FILE_WAIT_MS = 2000;

// The handler thread's body; never returns.
void handler(void);
// The three start-up steps, in the order pre, post, init.
int app_pre_init(void);
int app_post_init(void);
int app_init(void);
// The application to start first, by DefaultMode, the settings-update key
// combination and the update files on the card (the firmware image wins).
int handler_first_app(void);
// Treats one message id as the loop does.
void handler_dispatch(uint32_t id);
// Closes what the current record or photo application has open before the
// power goes: the application told of the power-off, a recording given up
// to two seconds to hold its first second, then the pipeline stopped (the
// recording's file completed) or the photo application's own stop.
void handler_stop_for_power_off(void);
