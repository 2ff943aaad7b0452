// G.726 ADPCM at 16, 24, 32 and 40 kbit/s for uniform PCM, block by block as
// the Recommendation draws it, with the packing of its codes into a continuous
// bit stream (least significant bit first) and the repacking between that and
// the most-significant-bit-first order.
#pragma once

#include "mpi/audio/voice/voice_frame.h"

// The Recommendation's variables. The coefficients and averages keep the
// Recommendation's 16-bit word lengths; dq and sr are held in its floating
// form (sign, 4-bit exponent, 6-bit mantissa; a negative value is its
// positive form minus 0x400).
struct G726_STATE_S {
    s16 s16Type;
    u16 u16Bits; // code size, 2..5
    s32 a1, a2;  // second-order predictor
    s32 ap;      // adaptation speed control
    s32 b[6];    // sixth-order predictor
    s32 dml, dms;
    s32 dq[6];    // last six quantized differences, floating form
    s32 pk1, pk2; // signs of the last two partial reconstructed signals
    s32 sr1, sr2; // last two reconstructed signals, floating form
    s32 td;       // tone detected
    s32 yl;       // slow scale factor
    s32 yu;       // fast scale factor
    u16 u16Law;   // 2: uniform PCM
};

constexpr u16 G726_LAW_UNIFORM = 2;

// Reset values of the Recommendation for a code size of 2 to 5 bits.
void G726Reset(G726_STATE_S *pstState, u16 u16Bits);

// One encoder step (a 16-bit sample in, its code out) or decoder step (a code
// in, the 16-bit sample out).
s32 EncodeDecode(G726_STATE_S *pstState, s32 s32Value, bool bEncode);
s32 EncodeOne(G726_STATE_S *pstState, s16 s16Sample);
s16 DecodeOne(G726_STATE_S *pstState, s32 s32Code);
s32 Encode726(G726_STATE_S *pstState, s16 s16Sample);

// n samples (rounded down to even) into codes packed least significant bit
// first; the 16 kbit/s routine packs a whole frame of 2-bit codes.
void G726Encode(G726_STATE_S *pstState, const s16 *ps16In, u8 *pu8Payload, s32 n);
void Encode72616k(G726_STATE_S *pstState, const s16 *ps16In, u8 *pu8Payload, s32 n);
// Every whole code in `s32Bytes` bytes decoded; their number.
s32 G726Decode(G726_STATE_S *pstState, const u8 *pu8Payload, s16 *ps16Out, s32 s32Bytes);

// In place between least- and most-significant-bit-first order, for payloads
// of up to 255 words; -1 and nothing changed when the bytes do not hold whole
// codes or are more than that.
s32 G726Rtp2AsfFormat(u8 *pu8Payload, u16 u16Bits, s32 s32Bytes);
s32 G726Asf2RtpFormat(u8 *pu8Payload, u16 u16Bits, s32 s32Bytes);

// TRANS: after a tone, a quantized difference of this magnitude (in 14-bit
// scale) is a transition; shared with the second 16 kbit/s coder.
bool g726_transition(s32 yl, s32 s32DqMag);

// The Recommendation's blocks.
struct G726_ESTIMATE_S {
    s32 se;  // signal estimate
    s32 sez; // its zero (sixth-order) part
};
G726_ESTIMATE_S AdaptativePredictorAndReconstructedSignalCalculator1(const G726_STATE_S *pstState);
s32 DifferenceSignalComputation(s32 sl, s32 se);
s32 QuantizerScaleFactorAdaptation1(const G726_STATE_S *pstState);
s32 AdaptiveQuantizer(s32 d, s32 y, u16 u16Bits);
s32 InverseAdaptiveQuantizer(s32 s32Code, s32 y, u16 u16Bits);
bool ToneAndTransitionDetector1(const G726_STATE_S *pstState, s32 dq);
void QuantizerScaleFactorAdaptation2(G726_STATE_S *pstState, s32 y, s32 wi);
s32 AdaptativePredictorAndReconstructedSignalCalculator2(G726_STATE_S *pstState, bool tr, s32 dq, s32 sr, s32 dqsez);
void ToneAndTransitionDetector2(G726_STATE_S *pstState, bool tr, s32 a2p);
void AdaptationSpeedControl2(G726_STATE_S *pstState, bool tr, s32 y, s32 fi);
s32 OutputLimiting(s32 sr);
