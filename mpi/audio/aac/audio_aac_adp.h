// The AAC encoder as an entry of the audio encoder's registry: AAC-LC, EAAC
// and EAAC+ over the FDK AAC library, ADTS framed.
#pragma once

#include "mpi/audio/aac/aac_enc.h"
#include "mpi/audio/aenc/mpi_aenc.h"

enum AAC_TYPE_E : u32 { AAC_TYPE_AACLC = 0, AAC_TYPE_EAAC = 1, AAC_TYPE_EAACPLUS = 2 };

constexpr u32 PT_AAC = 37;
constexpr u32 PT_AACLC = 42;
constexpr u32 AACLC_SAMPLES_PER_FRAME = 1024;
constexpr u32 AACPLUS_SAMPLES_PER_FRAME = 2048;
constexpr u32 MAX_AAC_MAINBUF_SIZE = AACENC_MAX_OUTBUF;
constexpr u32 AAC_FRAME_BUF_SIZE = 16384; // gathering room per track

// The payload types the AAC encoder and decoder register under, in order.
struct AAC_PAYLOAD_S {
    u32 enType;
    const char *pszName;
};
constexpr AAC_PAYLOAD_S AAC_PAYLOADS[] = {{PT_AAC, "Aac"}, {PT_AACLC, "Aaclc"}};

// The caller's attributes, pointed to from AENC_CHANNEL_CFG_S.
struct AAC_ENC_CFG_S {
    u32 enAACType;   // AAC_TYPE_E
    u32 u32BitRate;  // bit/s
    u32 enSmpRate;   // Hz
    u32 enBitWidth;  // must be 1, 16 bit
    u32 enSoundMode; // 0 mono, 1 stereo
};
static_assert(sizeof(AAC_ENC_CFG_S) == 20, "AAC attributes");

// One encoder instance. Each gathers its own samples until an AAC frame is
// complete, so channels never mix and a new channel starts empty.
struct AAC_ENCODER_S {
    HANDLE_AACENCODER hAacEnc;
    AAC_ENC_CFG_S stAACAttr;
    u8 aAACFrmBuf0[AAC_FRAME_BUF_SIZE]; // track 0 (left or mono)
    u8 aAACFrmBuf1[AAC_FRAME_BUF_SIZE]; // track 1
    u32 u32WriteIdx0; // bytes held in each
    u32 u32WriteIdx1;
    u32 u32WaterLine; // samples of one AAC frame
};

// Registers "Aac" (37) and "Aaclc" (42); the first failing registration's status.
s32 DU_DUZ_AENC_AacInit(void);

// The registry operations.
s32 OpenAACEncoder(void *pEncoderAttr, void **ppEncoder);
s32 EncodeAACFrm(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen);
s32 CloseAACEncoder(void *pEncoder);

// The attribute checks open runs, exposed for their callers' tests.
s32 AencCheckAACAttr(const AAC_ENC_CFG_S *pstAACAttr);
s32 AencAACCheckConfig(const AACENC_CONFIG_S *pstConfig);
