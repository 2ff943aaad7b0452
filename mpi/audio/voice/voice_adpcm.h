// IMA/DVI ADPCM: the standard 4-bit coder, and its three frame layouts (DVI4
// with a block header, IMA with the first sample in the header, bare DVI4).
#pragma once

#include "mpi/audio/voice/voice_frame.h"

struct ADPCM_STATE_S {
    s16 s16Type;
    s16 s16ValPrev; // predicted value
    s16 s16Index;   // step index, 0..88
};

constexpr s16 ADPCM_MAX_STEP_INDEX = 88;

void ADPCM_state_reset(ADPCM_STATE_S *pstState);

// n samples to n codes, two a byte, the earlier code in the high nibble; and back.
void adpcm_coder(const s16 *ps16In, u8 *pu8Code, s32 n, ADPCM_STATE_S *pstState);
void adpcm_decoder(const u8 *pu8Code, s16 *ps16Out, s32 n, ADPCM_STATE_S *pstState);

// Swap the two nibbles of each byte (the same both ways).
void adpcm_frame_rtp_asf(u8 *pu8Data, s32 s32Len);
void adpcm_frame_asf_rtp(u8 *pu8Data, s32 s32Len);

// The engine's frame builders for types 3, 35 and 67. Encoding takes the
// sample counts the engine allows; decoding refuses a frame without its block
// header, a step index above 88 or more than VOICE_MAX_POINT_NUM samples
// (DU_ERR_VOICE_DEC_FRMLEN), else writes the samples and their count.
void ADPCM_encode(ADPCM_STATE_S *pstState, const s16 *ps16In, u8 *pu8Frame, s16 s16Type, s32 n);
s32 ADPCM_decode(ADPCM_STATE_S *pstState, const u8 *pu8Frame, s16 *ps16Out, s16 s16Type, u16 *pu16Count);
