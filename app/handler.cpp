// The main handler's state that other threads read.
#include "app/handler.h"

std::atomic<uint8_t> u8IsEnterPowerFlow{0};

uint8_t Kx_GetPowerOffState(void) { return u8IsEnterPowerFlow ? 1 : 0; }
