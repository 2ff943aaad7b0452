#include "mpi/audio/aac/audio_aac_dec_adp.h"

#include <cstdlib>
#include <cstring>

namespace {

#define AAC_INFO(text) printf("[Func]:%s [Line]:%d [Info]:%s\n", __FUNCTION__, __LINE__, text)

// The library's interleaved samples as separate tracks, track 1 right after
// track 0.
void deinterleave(const s16 *pcm, u32 samples, u32 chns, s16 *out)
{
    if (chns == 1) {
        memcpy(out, pcm, samples * sizeof(s16));
        return;
    }
    for (u32 i = 0; i < samples; i++) {
        out[i] = pcm[2 * i];
        out[samples + i] = pcm[2 * i + 1];
    }
}

} // namespace

s32 OpenAACDecoder(void *pDecoderAttr, void **ppDecoder)
{
    MPI_ASSERT(pDecoderAttr != NULL);
    MPI_ASSERT(ppDecoder != NULL);
    *ppDecoder = nullptr;
    auto *dec = static_cast<AAC_DECODER_S *>(calloc(1, sizeof(AAC_DECODER_S)));
    if (!dec) {
        AAC_INFO("no memory");
        return DU_ERR_ADEC_NOMEM;
    }
    dec->hAacDec = AACInitDecoder();
    if (!dec->hAacDec) {
        AAC_INFO("AACInitDecoder failed");
        free(dec);
        return DU_ERR_ADEC_CODEC_ERR;
    }
    memcpy(&dec->stAACAttr, pDecoderAttr, sizeof dec->stAACAttr);
    *ppDecoder = dec;
    return 0;
}

s32 DecodeAACFrm(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns)
{
    MPI_ASSERT(pDecoder != NULL);
    MPI_ASSERT(ppu8Inbuf != NULL);
    MPI_ASSERT(ps32LeftByte != NULL);
    MPI_ASSERT(pu16Outbuf != NULL);
    MPI_ASSERT(pu32OutLen != NULL);
    MPI_ASSERT(pu32Chns != NULL);
    auto *dec = static_cast<AAC_DECODER_S *>(pDecoder);
    *pu32Chns = 1;

    // Only whole frames go to the library: a frame split over two sends
    // waits here for its second part.
    if (AACDecodeFindSyncHeader(ppu8Inbuf, ps32LeftByte) != 0 || (s32)adts_frame_len(*ppu8Inbuf) > *ps32LeftByte)
        return DU_ERR_ADEC_BUF_LACK;

    s16 *out = reinterpret_cast<s16 *>(pu16Outbuf);
    s32 ret = AACDecodeFrame(dec->hAacDec, ppu8Inbuf, ps32LeftByte, dec->as16Pcm);
    if (ret != 0) {
        AAC_INFO("AAC decode failed");
        // A silent frame, as far as the output's room goes.
        memset(out, 0, aac_frame_samples(dec->hAacDec) * sizeof(s16));
        return ret;
    }
    AAC_FRAME_INFO_S info;
    AACGetLastFrameInfo(dec->hAacDec, &info);
    const s32 samples = info.nChans > 0 ? info.outputSamps / info.nChans : 0;
    if ((samples != (s32)AACLC_SAMPLES_PER_FRAME && samples != (s32)AACPLUS_SAMPLES_PER_FRAME) || info.nChans < 1 ||
        info.nChans > (s32)AAC_MAX_OUT_CHANNELS) {
        printf("[Func]:%s [Line]:%d [Info]:frame of %d samples, %d channels not supported\n", __FUNCTION__, __LINE__,
               samples, info.nChans);
        return DU_ERR_ADEC_CODEC_ERR;
    }
    deinterleave(dec->as16Pcm, (u32)samples, (u32)info.nChans, out);
    *pu32Chns = (u32)info.nChans;
    *pu32OutLen = (u32)samples * sizeof(s16);
    return 0;
}

s32 GetAACFrmInfo(void *pDecoder, void *pInfo)
{
    MPI_ASSERT(pDecoder != NULL);
    MPI_ASSERT(pInfo != NULL);
    AAC_FRAME_INFO_S info;
    AACGetLastFrameInfo(static_cast<AAC_DECODER_S *>(pDecoder)->hAacDec, &info);
    AAC_DEC_FRM_INFO_S out = {info.sampRateOut, info.bitRate, info.profile, 0, 0};
    memcpy(pInfo, &out, sizeof out);
    return 0;
}

s32 CloseAACDecoder(void *pDecoder)
{
    MPI_ASSERT(pDecoder != NULL);
    auto *dec = static_cast<AAC_DECODER_S *>(pDecoder);
    AACFreeDecoder(dec->hAacDec);
    free(dec);
    return 0;
}

s32 DU_DUZ_ADEC_AacInit(void)
{
    for (const AAC_PAYLOAD_S &e : AAC_PAYLOADS) {
        ADEC_CODEC_ENTRY_S entry{};
        entry.enType = e.enType;
        snprintf(entry.aszName, sizeof entry.aszName, "%s", e.pszName);
        entry.pfnOpenDecoder = OpenAACDecoder;
        entry.pfnDecodeFrm = DecodeAACFrm;
        entry.pfnGetFrmInfo = GetAACFrmInfo;
        entry.pfnCloseDecoder = CloseAACDecoder;
        s32 handle;
        s32 ret = DU_DUZ_ADEC_RegeisterDecoder(&handle, &entry);
        if (ret != 0) {
            printf("%s-%d : s32Ret = %d\n", __FUNCTION__, __LINE__, ret);
            return ret;
        }
    }
    return 0;
}
