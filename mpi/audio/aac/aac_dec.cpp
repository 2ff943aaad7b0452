#include "mpi/audio/aac/aac_dec.h"

#include <cstring>
#include <fdk-aac/aacdecoder_lib.h>

namespace {

constexpr u32 kAdtsCrcLen = 2;

bool adts_sync(const u8 *p) { return p[0] == 0xFF && (p[1] & 0xF6) == 0xF0; }

bool could_begin_header(const u8 *p, s32 n) { return p[0] == 0xFF && (n < 2 || (p[1] & 0xF6) == 0xF0); }

} // namespace

HANDLE_AACDECODER AACInitDecoder(void)
{
    HANDLE_AACDECODER h = aacDecoder_Open(TT_MP4_ADTS, 1);
    if (!h)
        return nullptr;
    // The decoder unit's frames hold two tracks. Each frame comes out with
    // its own packet, as other decoders give it: the library's limiter looks
    // 15 ms ahead and its default concealment (energy interpolation) holds a
    // frame back, delaying everything by both and keeping the stream's last
    // frames inside. Without the limiter the samples are as coded (they are
    // clipped to 16 bits all the same); concealment by noise substitution
    // holds nothing back.
    if (aacDecoder_SetParam(h, AAC_PCM_MAX_OUTPUT_CHANNELS, AAC_MAX_OUT_CHANNELS) != AAC_DEC_OK ||
        aacDecoder_SetParam(h, AAC_PCM_LIMITER_ENABLE, 0) != AAC_DEC_OK ||
        aacDecoder_SetParam(h, AAC_CONCEAL_METHOD, 1) != AAC_DEC_OK) {
        aacDecoder_Close(h);
        return nullptr;
    }
    return h;
}

void AACFreeDecoder(HANDLE_AACDECODER hAACDecoder)
{
    if (hAACDecoder)
        aacDecoder_Close(hAACDecoder);
}

u32 adts_frame_len(const u8 *p)
{
    if (!adts_sync(p))
        return 0;
    u32 len = (u32)(p[3] & 3) << 11 | (u32)p[4] << 3 | p[5] >> 5;
    u32 header = ADTS_HEADER_LEN + ((p[1] & 1) ? 0 : kAdtsCrcLen);
    return len > header ? len : 0;
}

s32 AACDecodeFindSyncHeader(u8 **ppu8Inbuf, s32 *ps32BytesLeft)
{
    while (*ps32BytesLeft >= (s32)ADTS_HEADER_LEN) {
        if (adts_frame_len(*ppu8Inbuf))
            return 0;
        (*ppu8Inbuf)++;
        (*ps32BytesLeft)--;
    }
    // Fewer bytes than a header: drop those that cannot begin one.
    while (*ps32BytesLeft > 0 && !could_begin_header(*ppu8Inbuf, *ps32BytesLeft)) {
        (*ppu8Inbuf)++;
        (*ps32BytesLeft)--;
    }
    return -1;
}

u32 aac_frame_samples(HANDLE_AACDECODER hAACDecoder)
{
    const CStreamInfo *si = aacDecoder_GetStreamInfo(hAACDecoder);
    if (!si || si->frameSize <= 0 || si->numChannels <= 0)
        return 0;
    u32 samples = (u32)si->frameSize * (u32)si->numChannels;
    return samples < AAC_MAX_OUT_SAMPLES ? samples : AAC_MAX_OUT_SAMPLES;
}

s32 AACDecodeFrame(HANDLE_AACDECODER hAACDecoder, u8 **ppu8Inbuf, s32 *ps32BytesLeft, s16 *ps16Outbuf)
{
    const u32 len = adts_frame_len(*ppu8Inbuf);
    if (len == 0 || (s32)len > *ps32BytesLeft)
        return AAC_DEC_NOT_ENOUGH_BITS;
    UCHAR *in = *ppu8Inbuf;
    UINT size = len, valid = len;
    AAC_DECODER_ERROR err = aacDecoder_Fill(hAACDecoder, &in, &size, &valid);
    if (err == AAC_DEC_OK && valid != 0)
        err = AAC_DEC_UNKNOWN; // the library held bytes of its own: never with whole frames
    if (err == AAC_DEC_OK)
        err = aacDecoder_DecodeFrame(hAACDecoder, ps16Outbuf, AAC_MAX_OUT_SAMPLES, 0);
    if (err != AAC_DEC_OK) {
        memset(ps16Outbuf, 0, aac_frame_samples(hAACDecoder) * sizeof(s16));
        aacDecoder_SetParam(hAACDecoder, AAC_TPDEC_CLEAR_BUFFER, 1);
    }
    // The frame is consumed either way: a bad one is not offered again.
    *ppu8Inbuf += len;
    *ps32BytesLeft -= (s32)len;
    return err;
}

s32 AACGetLastFrameInfo(HANDLE_AACDECODER hAACDecoder, AAC_FRAME_INFO_S *pstInfo)
{
    memset(pstInfo, 0, sizeof *pstInfo);
    const CStreamInfo *si = aacDecoder_GetStreamInfo(hAACDecoder);
    if (!si)
        return 0;
    pstInfo->bitRate = si->bitRate;
    pstInfo->nChans = si->numChannels;
    pstInfo->sampRateCore = si->aacSampleRate;
    pstInfo->sampRateOut = si->sampleRate;
    pstInfo->bitsPerSample = 16;
    pstInfo->outputSamps = si->frameSize * si->numChannels;
    pstInfo->profile = si->profile;
    return 0;
}

s32 AACFlushCodec(HANDLE_AACDECODER hAACDecoder)
{
    return aacDecoder_SetParam(hAACDecoder, AAC_TPDEC_CLEAR_BUFFER, 1) == AAC_DEC_OK ? 0 : -1;
}

s32 AACSetRawMode(HANDLE_AACDECODER, s32, s32) { return -1; }

s32 DU_AACDEC_GetVersion(char *pszVersion)
{
    if (!pszVersion)
        return -1;
    snprintf(pszVersion, 64, "DU_AACDEC_V3.0.0.0 Build Time:[%s, %s]", __DATE__, __TIME__);
    return 0;
}
