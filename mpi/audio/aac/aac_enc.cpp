#include "mpi/audio/aac/aac_enc.h"

#include <cstring>
#include <fdk-aac/aacenc_lib.h>

static_assert(AACENC_ERR_INVALID_HANDLE == AACENC_INVALID_HANDLE && AACENC_ERR_INVALID_CONFIG == AACENC_INVALID_CONFIG &&
                  AACENC_ERR_ENCODE == AACENC_ENCODE_ERROR,
              "the wrapper passes the library's codes on");

namespace {

constexpr s32 kAncBufBytes = 50;

} // namespace

s32 AACInitDefaultConfig(AACENC_CONFIG_S *pstConfig)
{
    if (!pstConfig)
        return -1;
    pstConfig->quality = 1;
    pstConfig->coderFormat = 0;
    pstConfig->bitsPerSample = 16;
    pstConfig->sampleRate = 48000;
    pstConfig->bitRate = 128000;
    pstConfig->nChannelsIn = 2;
    pstConfig->nChannelsOut = 2;
    pstConfig->bandWidth = 18000;
    return 0;
}

s32 AACInitGetDefaultConfig(AACENC_CONFIG_S *) { return 0; }
s32 AACCheckConfig(AACENC_CONFIG_S *) { return 0; }

s32 AACEncoderOpen(HANDLE_AACENCODER *phAacPlusEnc, const AACENC_CONFIG_S *pstConfig)
{
    if (!phAacPlusEnc || !pstConfig)
        return AACENC_INVALID_HANDLE;
    const AACENC_CONFIG_S &cfg = *pstConfig;
    if (cfg.nChannelsIn != 1 && cfg.nChannelsIn != 2) {
        printf("invalid nChannelsIn(%d)\n", cfg.nChannelsIn);
        return AACENC_INVALID_CONFIG;
    }
    if (cfg.sampleRate < 8000 || cfg.sampleRate > 96000) {
        printf("invalid sampleRate(%d)\n", (s32)cfg.sampleRate);
        return AACENC_INVALID_CONFIG;
    }
    UINT aot;
    switch (cfg.coderFormat) {
    case 0:
        aot = AOT_AAC_LC;
        break;
    case 1:
        aot = AOT_SBR;
        break;
    case 2:
        if (cfg.nChannelsIn != 2) {
            printf("EAACPLUS invalid nChannelsIn(%d)\n", cfg.nChannelsIn);
            return AACENC_INVALID_CONFIG;
        }
        aot = AOT_PS;
        break;
    default:
        printf("invalid coderFormat(%d)\n", (s32)cfg.coderFormat);
        return AACENC_INVALID_CONFIG;
    }
    UINT mode = cfg.nChannelsIn == 1 ? MODE_1 : MODE_2;

    HANDLE_AACENCODER h = nullptr;
    AACENC_ERROR err = aacEncOpen(&h, 0, (UINT)cfg.nChannelsIn);
    if (err != AACENC_OK) {
        // Without an encoder the parameters below fail and so does the open.
        printf("open encoder(0x%x) fail\n", err);
    }
    aacEncoder_SetParam(h, AACENC_AOT, aot);
    aacEncoder_SetParam(h, AACENC_BITRATE, cfg.bitRate);
    aacEncoder_SetParam(h, AACENC_SAMPLERATE, cfg.sampleRate);
    aacEncoder_SetParam(h, AACENC_CHANNELMODE, mode);

    err = aacEncEncode(h, nullptr, nullptr, nullptr, nullptr);
    if (err != AACENC_OK) {
        printf("open encoder(0x%x) fail,invalid parameter\n", err);
        aacEncClose(&h);
        return AACENC_INVALID_CONFIG;
    }
    AACENC_InfoStruct info;
    err = aacEncInfo(h, &info);
    if (err != AACENC_OK) {
        printf("open encoder fail,aacEncInfo (0x%x) fail\n", err);
        aacEncClose(&h);
        return AACENC_INVALID_CONFIG;
    }
    *phAacPlusEnc = h;
    return 0;
}

s32 AACEncoderFrame(HANDLE_AACENCODER hAacPlusEnc, s16 *ps16PcmBuf, u8 *pu8Outbuf, s32 *ps32NumOutBytes)
{
    if (!hAacPlusEnc || !ps16PcmBuf || !pu8Outbuf || !ps32NumOutBytes)
        return AACENC_INVALID_HANDLE;
    *ps32NumOutBytes = AACENC_MAX_OUTBUF;

    AACENC_InfoStruct info;
    AACENC_ERROR err = aacEncInfo(hAacPlusEnc, &info);
    if (err != AACENC_OK) {
        printf("encoder get aacEncInfo (0x%x) fail\n", err);
        return AACENC_INVALID_CONFIG;
    }
    INT samples = (INT)(info.inputChannels * info.frameLength);

    // Audio and an empty ancillary area; the metadata set-up area is left out
    // because the library reads a whole set-up record from it.
    UCHAR anc[kAncBufBytes] = {};
    void *inBufs[] = {ps16PcmBuf, anc};
    INT inIds[] = {IN_AUDIO_DATA, IN_ANCILLRY_DATA};
    INT inSizes[] = {samples * (INT)sizeof(INT_PCM), kAncBufBytes};
    INT inElSizes[] = {(INT)sizeof(INT_PCM), 1};
    AACENC_BufDesc in = {2, inBufs, inIds, inSizes, inElSizes};

    void *outBufs[] = {pu8Outbuf};
    INT outIds[] = {OUT_BITSTREAM_DATA};
    INT outSizes[] = {(INT)AACENC_MAX_OUTBUF};
    INT outElSizes[] = {1};
    AACENC_BufDesc out = {1, outBufs, outIds, outSizes, outElSizes};

    AACENC_InArgs inArgs = {samples, 0};
    AACENC_OutArgs outArgs;
    memset(&outArgs, 0, sizeof outArgs);
    err = aacEncEncode(hAacPlusEnc, &in, &out, &inArgs, &outArgs);
    if (err != AACENC_OK) {
        printf("aacEncEncode (0x%x) fail\n", err);
        return err;
    }
    if (outArgs.numInSamples != samples) {
        // A partial take would leave samples behind in the library and the
        // packet would not match the frame it stands for.
        printf("aacEncEncode outargs.numInSamples(0x%x) should be 0x(%x), aacEncInfo inputChannels/frameLength(0x%x/0x%x)\n",
               outArgs.numInSamples, samples, info.inputChannels, info.frameLength);
        return AACENC_ENCODE_ERROR;
    }
    *ps32NumOutBytes = outArgs.numOutBytes;
    return 0;
}

s32 AACEncoderClose(HANDLE_AACENCODER hAacPlusEnc)
{
    if (!hAacPlusEnc)
        return 0;
    return aacEncClose(&hAacPlusEnc);
}

s32 DU_AACENC_GetVersion(char *pszVersion)
{
    if (!pszVersion)
        return -1;
    snprintf(pszVersion, 64, "DU_AACENC_V3.0.0.0 Build Time:[%s, %s]", __DATE__, __TIME__);
    return 0;
}
