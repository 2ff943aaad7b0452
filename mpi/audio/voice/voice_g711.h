// G.711 A-law and µ-law: sample coding, the expansion and conversion tables,
// and the packing of codes into voice frames (plain and pair-swapped).
#pragma once

#include <array>

#include "mpi/audio/voice/voice_frame.h"

// G.711 keeps nothing between samples.
struct G711_STATE_S {
    s16 s16Type;
};

// Indexed by the code: the G.711 decoder output in 16-bit scale, and G.711's
// A-law/µ-law transcoding.
extern const std::array<s16, 256> g_as16AlawToLinear;
extern const std::array<s16, 256> g_as16UlawToLinear;
extern const std::array<s16, 256> g_as16AlawToUlaw;
extern const std::array<s16, 256> g_as16UlawToAlaw;

// One sample: A-law of its top 13 bits, µ-law of its top 14 bits.
u8 alaw_code(s16 s16Sample);
u8 ulaw_code(s16 s16Sample);

// One code per sample or value, each in a 16-bit slot.
void linear2alaw(const s16 *ps16In, u16 *pu16Code, s32 n);
void linear2ulaw(const s16 *ps16In, u16 *pu16Code, s32 n);
void alaw2linear(const u16 *pu16Code, s16 *ps16Out, s32 n);
void ulaw2linear(const u16 *pu16Code, s16 *ps16Out, s32 n);
void alaw2ulaw(const u16 *pu16In, u16 *pu16Out, s32 n);
void ulaw2alaw(const u16 *pu16In, u16 *pu16Out, s32 n);

// A code block: word 0 is 1 when the codes after it are valid.
void G711_A_ENC(u16 *pu16Block, const s16 *ps16In, s32 n);
void G711_U_ENC(u16 *pu16Block, const s16 *ps16In, s32 n);
// Expand the block's codes only when its first word is 1.
void G711_A_DEC(const u16 *pu16Block, s16 *ps16Out, s32 n);
void G711_U_DEC(const u16 *pu16Block, s16 *ps16Out, s32 n);

// Block to frame: plain order (code 2i in the low byte of payload word i) or
// pair-swapped; a block whose first word is not 1 gives an empty frame.
void encoder_pack(const u16 *pu16Block, u8 *pu8Frame, s32 n);
void encoder_org_pack(const u16 *pu16Block, u8 *pu8Frame, s32 n);
// Frame to block; the codes unpacked, 0 for a frame whose flag bits are not 1 or 2.
s32 decoder_unpack(const u8 *pu8Frame, u16 *pu16Block);
s32 decoder_org_unpack(const u8 *pu8Frame, u16 *pu16Block);

// The engine's entries for types 1, 2, 65 and 66: n samples into one frame;
// one frame into samples, their number returned.
void G711_encode(G711_STATE_S *pstState, const s16 *ps16In, u8 *pu8Frame, s16 s16Type, s32 n);
s32 G711_decode(G711_STATE_S *pstState, const u8 *pu8Frame, s16 *ps16Out, s16 s16Type);
