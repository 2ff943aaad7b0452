// The SD card: its presence as the start-up code and the card scan see it.
#pragma once

#include <cstdint>

enum : uint32_t { CARD_STATE_PRESENT = 1, CARD_STATE_ABSENT = 2 };

// 1 while a card is in the slot, 2 without one; no card until the first scan.
extern uint32_t card_state;
