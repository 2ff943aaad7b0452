// The built-in voice codecs (LPCM, G.711 A-law and µ-law, ADPCM, G.726) as
// entries of the audio encoder's and decoder's registries, over the voice
// engine.
#pragma once

#include "mpi/audio/adec/mpi_adec.h"
#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/audio/voice/voice_engine.h"

constexpr u32 PT_G711A = 19;
constexpr u32 PT_G711U = 20;

// The attribute word of an ADPCM channel.
enum ADPCM_TYPE_E : u32 { ADPCM_TYPE_DVI4 = 0, ADPCM_TYPE_IMA = 1, ADPCM_TYPE_ORG_DVI4 = 2 };
// The attribute word of a G.726 channel: 16, 24, 32, 40 kbit/s, least
// significant bit first, then the same most significant bit first.
enum G726_BPS_E : u32 {
    G726_16K = 0,
    G726_24K,
    G726_32K,
    G726_40K,
    MEDIA_G726_16K,
    MEDIA_G726_24K,
    MEDIA_G726_32K,
    MEDIA_G726_40K,
};

// One open codec: the engine type, the ADPCM kind, the engine state.
struct VOICE_ADP_CTX_S {
    u32 u32Type;
    u32 u32AdpcmType;
    VOICE_STATE_U stState;
};

// Register the five encoders / decoders in the order LPCM, G.711 A-law,
// G.711 µ-law, ADPCM, G.726; the first failing registration's status, else 0.
s32 DU_DUZ_AENC_VoiceInit(void);
s32 DU_DUZ_ADEC_VoiceInit(void);

// The registry operations.
s32 OpenLPCMEncoder(void *pEncoderAttr, void **ppEncoder);
s32 EncodeLPCMFrm(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen);
s32 CloseLPCMEncoder(void *pEncoder);
s32 OpenG711AEncoder(void *pEncoderAttr, void **ppEncoder);
s32 EncodeG711AFrm(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen);
s32 CloseG711AEncoder(void *pEncoder);
s32 OpenG711UEncoder(void *pEncoderAttr, void **ppEncoder);
s32 EncodeG711UFrm(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen);
s32 CloseG711UEncoder(void *pEncoder);
s32 OpenADPCMEncoder(void *pEncoderAttr, void **ppEncoder);
s32 EncodeADPCMFrm(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen);
s32 CloseADPCMEncoder(void *pEncoder);
s32 OpenG726Encoder(void *pEncoderAttr, void **ppEncoder);
s32 EncodeG726Frm(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen);
s32 CloseG726Encoder(void *pEncoder);

s32 OpenLPCMDecoder(void *pDecoderAttr, void **ppDecoder);
s32 DecodeLPCMFrm(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns);
s32 CloseLPCMDecoder(void *pDecoder);
s32 OpenG711ADecoder(void *pDecoderAttr, void **ppDecoder);
s32 DecodeG711AFrm(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns);
s32 CloseG711ADecoder(void *pDecoder);
s32 ResetG711ADecoder(void *pDecoder);
s32 OpenG711UDecoder(void *pDecoderAttr, void **ppDecoder);
s32 DecodeG711UFrm(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns);
s32 CloseG711UDecoder(void *pDecoder);
s32 ResetG711UDecoder(void *pDecoder);
s32 OpenADPCMDecoder(void *pDecoderAttr, void **ppDecoder);
s32 DecodeADPCMFrm(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns);
s32 CloseADPCMDecoder(void *pDecoder);
s32 ResetADPCMDecoder(void *pDecoder);
s32 OpenG726Decoder(void *pDecoderAttr, void **ppDecoder);
s32 DecodeG726Frm(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns);
s32 CloseG726Decoder(void *pDecoder);
s32 ResetG726Decoder(void *pDecoder);
// Shared by the five decoders: they report nothing beyond their frames.
s32 GetFrmInfo(void *pDecoder, void *pInfo);
