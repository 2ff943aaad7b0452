// A thin layer over the FDK AAC decoder for ADTS streams: one whole ADTS
// frame at a time goes into the library, so nothing waits inside it.
#pragma once

#include "mpi/common/mpi_common.h"

struct AAC_DECODER_INSTANCE;
typedef struct AAC_DECODER_INSTANCE *HANDLE_AACDECODER;

constexpr u32 ADTS_HEADER_LEN = 7;          // 9 with the CRC
constexpr u32 AAC_MAX_OUT_CHANNELS = 2;     // more are mixed down
constexpr u32 AAC_MAX_FRAME_SAMPLES = 2048; // per channel, HE-AAC
constexpr u32 AAC_MAX_OUT_SAMPLES = AAC_MAX_OUT_CHANNELS * AAC_MAX_FRAME_SAMPLES;

// The last frame as the library described it.
struct AAC_FRAME_INFO_S {
    s32 bitRate;
    s32 nChans;
    s32 sampRateCore;
    s32 sampRateOut;
    s32 bitsPerSample; // always 16
    s32 outputSamps;   // frame size x channels
    s32 profile;
    s32 tnsUsed; // always 0
    s32 pnsUsed; // always 0
};

// A decoder for ADTS with at most two output channels; null on failure.
HANDLE_AACDECODER AACInitDecoder(void);
void AACFreeDecoder(HANDLE_AACDECODER hAACDecoder);

// The length of the ADTS frame whose header starts at p (at least
// ADTS_HEADER_LEN bytes there), or 0 when those bytes are not a header.
u32 adts_frame_len(const u8 *p);

// Skips the bytes before the next ADTS header; 0 when a whole header is at
// *ppu8Inbuf, -1 when the input ends first (a partial header is kept).
s32 AACDecodeFindSyncHeader(u8 **ppu8Inbuf, s32 *ps32BytesLeft);

// Samples of the last frame, all channels, within AAC_MAX_OUT_SAMPLES.
u32 aac_frame_samples(HANDLE_AACDECODER hAACDecoder);

// Decodes the whole ADTS frame at *ppu8Inbuf (its header checked, all of it
// there) into at most AAC_MAX_OUT_SAMPLES interleaved samples and consumes
// it. On a library error the output is zeroed (within that room), the
// library's input emptied, and the library's code returned.
s32 AACDecodeFrame(HANDLE_AACDECODER hAACDecoder, u8 **ppu8Inbuf, s32 *ps32BytesLeft, s16 *ps16Outbuf);

// The last frame's description; all zero before the first frame.
s32 AACGetLastFrameInfo(HANDLE_AACDECODER hAACDecoder, AAC_FRAME_INFO_S *pstInfo);
// Empties the library's input.
s32 AACFlushCodec(HANDLE_AACDECODER hAACDecoder);
// Raw (headerless) AAC is not decoded here: -1.
s32 AACSetRawMode(HANDLE_AACDECODER hAACDecoder, s32 s32NChans, s32 s32SampRate);

// The library's version text, NUL-terminated, under 64 bytes.
s32 DU_AACDEC_GetVersion(char *pszVersion);
