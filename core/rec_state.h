// The record-state table: how the applications command the recording engine.
// The applications (handler thread) write the state and the settings of an
// entry, the engine's threads read them; plain bytes, shared without locks.
// The settings are written before the recording or shot is commanded (the
// command's broadcast or thread start orders them). RecState has a second
// writer on the record entry: the MP4 thread (and its stop) set it to 2 when
// a file cannot be made, the card is full or the thread ends; both writers
// may only stop a recording there, and only the application starts one.
// Readers that poll it (the stream, audio, MP4, motion and blink threads,
// the USB scan, the auto power-off) read it again on each pass.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct KX_REC_CMD_S {
    uint8_t RecState;          // 1 running (recording, or shooting for the photo entry), 2 stopped
    uint8_t u8Param1;          // 0 at start
    uint8_t u8PhotoMode;       // photo entry: 0 single shot, 2 timed shots
    uint8_t u8Param3;          // the engine's
    uint8_t bCycleMode;        // record entry: loop recording on (1) or off (0)
    uint8_t u8Param5;          // the engine's
    uint8_t u8AudioLevel;      // record entry: MovieSound 0..3, 0 records no sound
    uint8_t u8Param7;          // photo entry: 10
    uint16_t u16PhotoInterval; // photo entry: milliseconds between timed shots
    uint16_t au16Param[3];     // the engine's
    uint16_t PackSize;         // record entry: file length in minutes
};
static_assert(sizeof(KX_REC_CMD_S) == 18, "18-byte entries");
static_assert(offsetof(KX_REC_CMD_S, bCycleMode) == 4 && offsetof(KX_REC_CMD_S, u8AudioLevel) == 6 &&
                  offsetof(KX_REC_CMD_S, u16PhotoInterval) == 8 && offsetof(KX_REC_CMD_S, PackSize) == 16,
              "fields at their bytes");

enum : uint8_t { KX_REC_STATE_RUNNING = 1, KX_REC_STATE_STOPPED = 2 };

// Entry 0 photos, entry 1 recording, entry 2 unused by the applications.
enum { KX_REC_ENTRY_PHOTO = 0, KX_REC_ENTRY_RECORD = 1, KX_REC_ENTRY_SPARE = 2, KX_REC_ENTRY_NUM = 3 };

// Starts out as setDefualtCmd leaves it.
extern KX_REC_CMD_S gRecCmd[KX_REC_ENTRY_NUM];

// The initial table: both entries stopped, loop recording on with 3-minute
// files; the spare entry untouched. Returns 0.
int setDefualtCmd();

// The applications' view of the recording: 1 from the start of a recording
// until its file is complete, else 2. The record applications write it, the
// engine's threads read it.
extern std::atomic<int32_t> g_s32RecRealSta;
int32_t KX_Get_Record_State(void);
void KX_Set_Record_State(int32_t state);
