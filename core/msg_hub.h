// The message hub: every event of the camera is one 32-bit id posted into the
// main message queue by any thread and taken by the main handler alone.
//
// An id's byte 3 is the class (1 hardware event, 2 application event), byte 2
// the source and the low 16 bits the code. Ids travel as four bytes, most
// significant first, whatever the processor's byte order.
#pragma once

#include <pthread.h>
#include <cstdint>

#include "core/order_queue.h"

// ---- key numbers, added to the press, hold and release ids -----------------------
constexpr uint32_t KEY_ID_REC = 1;
constexpr uint32_t KEY_ID_MODE = 2;
constexpr uint32_t KEY_ID_POWER = 3;

// ---- hardware events -------------------------------------------------------------
constexpr uint32_t HMSG_KEY_PRESS = 0x01010000;
constexpr uint32_t HMSG_KEY_HOLD = 0x01010400;
constexpr uint32_t HMSG_KEY_RELEASE = 0x01010800;
constexpr uint32_t HMSG_POWER_KEY = HMSG_KEY_PRESS + KEY_ID_POWER; // 0x01010003
constexpr uint32_t HMSG_USB_DC_OUT = 0x01020200;
constexpr uint32_t HMSG_USB_DC_IN = 0x01020201;
constexpr uint32_t HMSG_USB_PC_OUT = 0x01020203;
constexpr uint32_t HMSG_USB_PC_IN = 0x01020204;
constexpr uint32_t HMSG_TV_OUT = 0x01030400;
constexpr uint32_t HMSG_TV_IN = 0x01030401;
constexpr uint32_t HMSG_CARD_IN = 0x01040101;
constexpr uint32_t HMSG_CARD_OUT = 0x01040102;

// ---- application events ----------------------------------------------------------
constexpr uint32_t AMSG_CARD_STATE_FULL = 0x02010001;
constexpr uint32_t AMSG_FILE_AUTO_SPLIT = 0x02020001;
constexpr uint32_t AMSG_FW_UPDATE_DONE = 0x02030002;
constexpr uint32_t AMSG_SETTING_UPDATE_DONE = 0x02030003;
constexpr uint32_t AMSG_LOW_BATTERY = 0x02040002;
constexpr uint32_t AMSG_AUTO_POWER_OFF = 0x02040003;
constexpr uint32_t AMSG_SNAP_START = 0x02050001;
constexpr uint32_t AMSG_SNAP_COMPLETE = 0x02050002;
constexpr uint32_t AMSG_LED_FLASH_END = 0x02060001;
constexpr uint32_t AMSG_RECORD_COMPLETE = 0x02060002;
// After AMSG_RECORD_COMPLETE: the recording ended because its file could not
// be made or written (the card's error blink follows).
constexpr uint32_t AMSG_RECORD_FAILED = 0x02060003;

// Ids from an odd source (keys, TV, card full, update done, snapshots) are user
// activity for the auto power-off timer.
constexpr uint32_t HMSG_USER_ACTIVITY_BIT = 0x00010000;

// ---- the main message queue ------------------------------------------------------
constexpr uint32_t HCMGR_MSG_SIZE = 4;
constexpr uint32_t HCMGR_MSG_DEPTH = 128;

// Null until hcmgr_create_queue; created and destroyed under lock_main_msg.
// Any thread posts (hcmgr_snd_msg) and the handler alone takes
// (hcmgr_rcv_msg), both under lock_main_msg, which with cond_main_msg wakes
// the handler; lock_button_msg_wq is the queue's own mutex, taken inside
// each queue call, after lock_main_msg.
extern KX_OrderQueue *q_button_msg;
extern pthread_mutex_t lock_button_msg_wq;
extern pthread_cond_t cond_main_msg;
extern pthread_mutex_t lock_main_msg;

// Creates q_button_msg (4-byte records, 128 slots) unless it exists; 0 or -1.
int hcmgr_create_queue(void);
// Destroys q_button_msg; later posts are dropped until it is created again.
int hcmgr_destroy_queue(void);

// Posts one id. A full queue drops it (the queue says so) and this still
// returns 0; -1 when there is no queue yet.
int hcmgr_snd_msg(uint32_t id);
// Takes the next id, waiting when there is none; returns it and stores it
// through `id`, or returns -1 and leaves `id` alone when woken with nothing.
int hcmgr_rcv_msg(uint32_t *id);

int KX_WaitCmdToMsg_API(void);
int KX_SendCondtoMsg(void);
int hcm_init(void);
