// The second 16 kbit/s coder: a G.726-like 2-bit ADPCM of its own that works
// on full 16-bit samples, with eight codes per payload word from the top bits
// down.
#pragma once

#include "mpi/audio/voice/voice_frame.h"

struct G726_16K_STATE_S {
    s16 s16Type;
    s16 sr1, sr2;     // last two reconstructed signals, at half scale
    s16 a1, a2;       // pole coefficients, in 2^-14
    s16 b[6];         // zero coefficients, in 2^-13
    s16 dq[6];        // last six quantized differences
    s16 dms, dml, ap; // adaptation speed control
    s16 yu;           // fast scale factor
    s16 td;           // tone flag
    s16 p1, p2;       // last two partial reconstructed signals
    s32 yl;           // slow scale factor
};

void G726_state_reset(G726_16K_STATE_S *pstState);

// n samples into one frame (n / 8 payload words); one frame into samples,
// their number (8 per payload word) returned.
void G726_encode(G726_16K_STATE_S *pstState, const s16 *ps16In, u8 *pu8Frame, s32 n);
s32 G726_decode(G726_16K_STATE_S *pstState, const u8 *pu8Frame, s16 *ps16Out);

// The stages: one 2-bit code per sample, and the packing.
void G726_encode_core(G726_16K_STATE_S *pstState, const s16 *ps16In, u8 *pu8Code, s32 n);
void G726_decode_core(G726_16K_STATE_S *pstState, const u8 *pu8Code, s16 *ps16Out, s32 n);
void G726_encoder_pack(const u8 *pu8Code, u8 *pu8Frame, s32 n);
s32 G726_decoder_unpack(const u8 *pu8Frame, u8 *pu8Code);

// Building blocks.
s32 adpcm_log(s32 s32Mag);                              // 128 x log2, -128 for 0
s32 adpcm_quant(s32 d, s32 y);                          // the code of a difference
s32 adpcm_antilog(s32 s32Value);                        // back to linear
s32 adpcm_findfi(s32 s32Code);                          // F of the code
s32 adpcm_findwi(s32 s32Code);                          // W of the code
s32 adpcm_upda2(s32 a1, s32 a2, s32 p, s32 p1, s32 p2); // the new a2
