// The main handler's state that other threads read.
#pragma once

#include <atomic>
#include <cstdint>

// 1 once the power-off sequence has begun; never cleared.
extern std::atomic<uint8_t> u8IsEnterPowerFlow;
// 1 once the power-off sequence has begun, else 0.
uint8_t Kx_GetPowerOffState(void);
