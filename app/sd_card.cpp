// The SD card.
#include "app/sd_card.h"

uint32_t card_state = CARD_STATE_ABSENT;
