// The AAC decoder as an entry of the audio decoder's registry: ADTS streams
// over the FDK AAC library, one whole frame per decode.
#pragma once

#include "mpi/audio/aac/aac_dec.h"
#include "mpi/audio/aac/audio_aac_adp.h"
#include "mpi/audio/adec/mpi_adec.h"

// The caller's decoder attribute: kept, not read (the transport is ADTS).
struct ADEC_ATTR_AAC_S {
    u32 enTransType;
};

// One decoder instance, with room for one frame of the library's
// interleaved output.
struct AAC_DECODER_S {
    HANDLE_AACDECODER hAacDec;
    ADEC_ATTR_AAC_S stAACAttr;
    s16 as16Pcm[AAC_MAX_OUT_SAMPLES];
};

// What the frame-info operation writes.
struct AAC_DEC_FRM_INFO_S {
    s32 s32Samplerate; // output sample rate
    s32 s32BitRate;
    s32 s32Profile;
    s32 s32TnsUsed; // 0
    s32 s32PnsUsed; // 0
};

// Registers "Aac" (37) and "Aaclc" (42); the first failing registration's status.
s32 DU_DUZ_ADEC_AacInit(void);

// The registry operations. A decode takes one whole ADTS frame (bytes before
// the next header are skipped); with less than a frame it returns
// DU_ERR_ADEC_BUF_LACK and leaves the library alone. It writes track 0 and
// then track 1 right after it (*pu32OutLen bytes each), at most 2 x 2048
// samples.
s32 OpenAACDecoder(void *pDecoderAttr, void **ppDecoder);
s32 DecodeAACFrm(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns);
s32 GetAACFrmInfo(void *pDecoder, void *pInfo);
s32 CloseAACDecoder(void *pDecoder);
