// A thin layer over the FDK AAC encoder: one configuration record in, whole
// AAC frames of interleaved 16-bit samples through.
#pragma once

#include "mpi/common/mpi_common.h"

struct AACENCODER;
typedef struct AACENCODER *HANDLE_AACENCODER;

// Codes are the library's own.
constexpr s32 AACENC_ERR_INVALID_HANDLE = 0x20;
constexpr s32 AACENC_ERR_INVALID_CONFIG = 0x23;
constexpr s32 AACENC_ERR_ENCODE = 0x60;

// Largest packet the library writes for one frame, and its output room.
constexpr u32 AACENC_MAX_OUTBUF = 1536;

struct AACENC_CONFIG_S {
    u32 quality;
    u32 coderFormat; // AAC type: 0 AAC-LC, 1 EAAC, 2 EAAC+
    s16 bitsPerSample;
    u32 sampleRate;
    u32 bitRate;
    s16 nChannelsIn;
    s16 nChannelsOut;
    u32 bandWidth;
};
static_assert(sizeof(AACENC_CONFIG_S) == 28, "encoder configuration");

s32 AACInitDefaultConfig(AACENC_CONFIG_S *pstConfig);
s32 AACInitGetDefaultConfig(AACENC_CONFIG_S *pstConfig);
s32 AACCheckConfig(AACENC_CONFIG_S *pstConfig);

// Opens and configures a library encoder; on failure nothing stays open.
s32 AACEncoderOpen(HANDLE_AACENCODER *phAacPlusEnc, const AACENC_CONFIG_S *pstConfig);
// Encodes one frame (inputChannels x frameLength samples) into at most
// AACENC_MAX_OUTBUF bytes.
s32 AACEncoderFrame(HANDLE_AACENCODER hAacPlusEnc, s16 *ps16PcmBuf, u8 *pu8Outbuf, s32 *ps32NumOutBytes);
s32 AACEncoderClose(HANDLE_AACENCODER hAacPlusEnc);

// The library's version text, NUL-terminated, under 64 bytes.
s32 DU_AACENC_GetVersion(char *pszVersion);
