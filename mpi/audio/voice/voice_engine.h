// The voice engine: resets a codec state, encodes 16-bit mono samples into one
// voice frame, decodes one voice frame, and transcodes frames between sibling
// formats. It allocates nothing, keeps no globals and touches no device.
#pragma once

#include <cstddef>

#include "mpi/audio/voice/voice_adpcm.h"
#include "mpi/audio/voice/voice_frame.h"
#include "mpi/audio/voice/voice_g711.h"
#include "mpi/audio/voice/voice_g726.h"
#include "mpi/audio/voice/voice_g726_16k.h"

// A caller-owned codec state: the type, then the selected core's variables.
// Every member starts with the s16 type.
union VOICE_STATE_U {
    s16 s16Type;
    G711_STATE_S stG711;
    ADPCM_STATE_S stAdpcm;
    G726_STATE_S stG726;
    G726_16K_STATE_S stG72616k;
};

// The room the adapters give each core.
static_assert(sizeof(G711_STATE_S) <= 8 && sizeof(ADPCM_STATE_S) <= 16 && sizeof(G726_STATE_S) <= 128 &&
                  sizeof(G726_16K_STATE_S) <= 128,
              "voice codec states");

// An encoder state, and a decoder state 2048 bytes further on.
constexpr u32 VOICE_TRANSCODE_DEC_OFFSET = 2048;
struct VOICE_TRANSCODE_STATE_S {
    VOICE_STATE_U stEnc;
    u8 au8Rsv[VOICE_TRANSCODE_DEC_OFFSET - sizeof(VOICE_STATE_U)];
    VOICE_STATE_U stDec;
};
static_assert(offsetof(VOICE_TRANSCODE_STATE_S, stDec) == VOICE_TRANSCODE_DEC_OFFSET, "transcoding state");

// Transcoding modes: the decoder half's and the encoder half's types.
enum VOICE_TRANSCODE_MODE_E : s32 {
    VOICE_TRANSCODE_G711A = 97,     // A-law pair-swapped <-> plain
    VOICE_TRANSCODE_G711U = 98,     // µ-law pair-swapped <-> plain
    VOICE_TRANSCODE_ADPCM = 99,     // bare DVI4 -> DVI4 with block header
    VOICE_TRANSCODE_G726_16K = 100, // second 16 kbit/s coder -> 16 kbit/s G.726
};

// Version text with its NUL (under 64 bytes); -1 for a null buffer.
s32 DU_VOICE_GetVersion(char *pszVersion);

// Store the type and reset the core; the type is stored even when refused.
s32 DU_VOICE_EncReset(VOICE_STATE_U *pState, s16 s16Type);
s32 DU_VOICE_DecReset(VOICE_STATE_U *pState, s16 s16Type);

// n samples (a multiple of 80 up to 480; IMA: one more) into one frame of at
// most VOICE_MAX_FRAME_LEN bytes. A refused encode writes nothing.
s32 DU_VOICE_EncodeFrame(VOICE_STATE_U *pState, const s16 *ps16In, u8 *pu8Frame, s32 n);
// One frame (all (payload length + 2) x 2 of its bytes readable) into at most
// VOICE_MAX_POINT_NUM samples, their number in *pu16Count (0 when refused).
// The frame is not changed.
s32 DU_VOICE_DecodeFrame(VOICE_STATE_U *pState, const u8 *pu8Frame, s16 *ps16Out, u16 *pu16Count);

s32 DU_VOICE_TransCodeReset(VOICE_TRANSCODE_STATE_S *pState, s32 s32Mode);
// Converts the frame in place. A DVI4 frame comes out two words longer than
// the bare one that went in: the buffer must hold VOICE_MAX_FRAME_LEN bytes.
s32 DU_VOICE_TransCodeFrame(VOICE_TRANSCODE_STATE_S *pState, u8 *pu8Frame);
