#include "mpi/audio/aac/audio_aac_adp.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr s32 kIllegalParam = DU_ERR_AENC_ILLEGAL_PARAM;

#define AAC_INFO(text) printf("[Func]:%s [Line]:%d [Info]:%s\n", __FUNCTION__, __LINE__, text)
#define AAC_FAILED_LINE() printf("[Func]:%s [Line]:%d #########\n", __FUNCTION__, __LINE__)

struct RateRange {
    u32 rate, min, max;
    const char *msg;
};

// Accepted bit rates per sample rate, inclusive.
const RateRange kAacLcRates[] = {
    {8000, 8000, 96000, "AACLC 8000 Hz bitRate(%d) should be 8000 ~ 96000\n"},
    {16000, 16000, 96000, "AACLC 16000 Hz bitRate(%d) should be 16000 ~ 96000\n"},
    {22050, 16000, 128000, "AACLC 22025 Hz bitRate(%d) should be 16000 ~ 128000\n"},
    {24000, 20000, 128000, "AACLC 24000 Hz bitRate(%d) should be 20000 ~ 128000\n"},
    {32000, 24000, 256000, "AACLC 32000 Hz bitRate(%d) should be 24000 ~ 256000\n"},
    {44100, 32000, 320000, "AACLC 44100 Hz bitRate(%d) should be 32000 ~ 320000\n"},
    // The floor is the one the message names.
    {48000, 48000, 320000, "AACLC 48000 Hz bitRate(%d) should be 48000 ~ 320000\n"},
};
const RateRange kEaacRates[] = {
    {32000, 18000, 23000, "EAAC 32000 Hz bitRate(%d) should be 18000 ~ 23000\n"},
    {44100, 24000, 51000, "EAAC 44100 Hz bitRate(%d) should be 24000 ~ 51000\n"},
    {48000, 24000, 51000, "EAAC 48000 Hz bitRate(%d) should be 24000 ~ 51000\n"},
};
const RateRange kEaacPlusRates[] = {
    {32000, 10000, 17000, "EAACPLUS 32000 Hz bitRate(%d) should  be 10000 ~ 17000\n"},
    {44100, 12000, 35000, "EAACPLUS 44100 Hz bitRate(%d) should  be 12000 ~ 35000\n"},
    {48000, 12000, 35000, "EAACPLUS 48000 Hz bitRate(%d) should  be 12000 ~ 35000\n"},
};

template <size_t N> s32 check_rates(const RateRange (&table)[N], const AACENC_CONFIG_S &cfg, const char *bad_rate)
{
    for (const RateRange &r : table) {
        if (r.rate != cfg.sampleRate)
            continue;
        if (cfg.bitRate < r.min || cfg.bitRate > r.max) {
            printf(r.msg, (s32)cfg.bitRate);
            return kIllegalParam;
        }
        return 0;
    }
    printf(bad_rate, (s32)cfg.sampleRate);
    return kIllegalParam;
}

u32 water_line(u32 aac_type)
{
    switch (aac_type) {
    case AAC_TYPE_AACLC:
        return AACLC_SAMPLES_PER_FRAME;
    case AAC_TYPE_EAAC:
    case AAC_TYPE_EAACPLUS:
        return AACPLUS_SAMPLES_PER_FRAME;
    default:
        return 0;
    }
}

// Takes `n` bytes off the front of a gathering buffer.
void consume(u8 *buf, u32 *held, u32 n)
{
    memmove(buf, buf + n, *held - n);
    *held -= n;
}

// One AAC frame of interleaved samples through the library.
s32 encode_frame(AAC_ENCODER_S *enc, s16 *pcm, u8 *out, u32 *out_len)
{
    s32 len = 0;
    s32 ret = AACEncoderFrame(enc->hAacEnc, pcm, out, &len);
    if (ret != 0) {
        AAC_INFO("AAC encode failed");
        return ret;
    }
    *out_len = (u32)len;
    return 0;
}

} // namespace

s32 AencCheckAACAttr(const AAC_ENC_CFG_S *pstAACAttr)
{
    if (pstAACAttr->enBitWidth != 1) {
        AAC_INFO("invalid bitwidth for AAC encoder");
        return kIllegalParam;
    }
    if (pstAACAttr->enSoundMode >= 2 || (pstAACAttr->enAACType == AAC_TYPE_EAACPLUS && pstAACAttr->enSoundMode != 1)) {
        AAC_INFO("invalid sound mode for AAC encoder");
        return kIllegalParam;
    }
    return 0;
}

s32 AencAACCheckConfig(const AACENC_CONFIG_S *pstConfig)
{
    if (!pstConfig)
        return DU_ERR_AENC_NULL_PTR;
    const AACENC_CONFIG_S &cfg = *pstConfig;
    if (cfg.coderFormat > AAC_TYPE_EAACPLUS)
        printf("aacenc coderFormat(%d) invalid\n", (s32)cfg.coderFormat);
    if (cfg.quality > 3)
        printf("aacenc quality(%d) invalid\n", (s32)cfg.quality);
    if (cfg.bitsPerSample != 16)
        printf("aacenc bitsPerSample(%d) should be 16\n", cfg.bitsPerSample);

    switch (cfg.coderFormat) {
    case AAC_TYPE_AACLC:
        if (cfg.nChannelsOut != cfg.nChannelsIn) {
            printf("AACLC nChannelsOut(%d) in not equal to nChannelsIn(%d)\n", cfg.nChannelsOut, cfg.nChannelsIn);
            return kIllegalParam;
        }
        return check_rates(kAacLcRates, cfg, "AACLC invalid samplerate(%d) should be 8000~48000\n");
    case AAC_TYPE_EAAC:
        if (cfg.nChannelsOut != cfg.nChannelsIn) {
            printf("EAAC nChannelsOut(%d) is not equal to nChannelsIn(%d)\n", cfg.nChannelsOut, cfg.nChannelsIn);
            return kIllegalParam;
        }
        return check_rates(kEaacRates, cfg, "EAAC invalid samplerate(%d) should be 32000/44100/48000\n");
    case AAC_TYPE_EAACPLUS:
        if (cfg.nChannelsOut != 2 || cfg.nChannelsIn != 2) {
            printf("EAACPLUS nChannelsOut(%d) and nChannelsIn(%d) should be 2\n", cfg.nChannelsOut, cfg.nChannelsIn);
            return kIllegalParam;
        }
        return check_rates(kEaacPlusRates, cfg, "EAACPLUS invalid samplerate(%d) should be 32000/44100/48000\n");
    default:
        return 0; // the library wrapper refuses it
    }
}

s32 OpenAACEncoder(void *pEncoderAttr, void **ppEncoder)
{
    MPI_ASSERT(pEncoderAttr != NULL);
    MPI_ASSERT(ppEncoder != NULL);
    const AAC_ENC_CFG_S *attr = static_cast<const AAC_ENC_CFG_S *>(pEncoderAttr);
    *ppEncoder = nullptr;

    if (AencCheckAACAttr(attr) != 0) {
        AAC_FAILED_LINE();
        return kIllegalParam;
    }
    // Zeroed: the gathering buffers start empty.
    auto *enc = static_cast<AAC_ENCODER_S *>(calloc(1, sizeof(AAC_ENCODER_S)));
    if (!enc) {
        AAC_INFO("no memory");
        return DU_ERR_AENC_NOMEM;
    }

    AACENC_CONFIG_S cfg;
    AACInitDefaultConfig(&cfg);
    cfg.quality = 1;
    cfg.coderFormat = attr->enAACType;
    cfg.bitsPerSample = (s16)(8 << attr->enBitWidth);
    cfg.sampleRate = attr->enSmpRate;
    cfg.bitRate = attr->u32BitRate;
    bool mono = attr->enSoundMode == 0 && attr->enAACType != AAC_TYPE_EAACPLUS;
    cfg.nChannelsIn = cfg.nChannelsOut = mono ? 1 : 2;
    cfg.bandWidth = attr->enSmpRate / 2;

    if (AencAACCheckConfig(&cfg) != 0) {
        AAC_FAILED_LINE();
        free(enc);
        return kIllegalParam;
    }
    s32 ret = AACEncoderOpen(&enc->hAacEnc, &cfg);
    if (ret != 0) {
        AAC_FAILED_LINE();
        free(enc); // the wrapper left no library encoder open
        return ret;
    }
    enc->stAACAttr = *attr;
    enc->u32WaterLine = water_line(attr->enAACType);
    *ppEncoder = enc;
    return 0;
}

s32 EncodeAACFrm(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen)
{
    MPI_ASSERT(pEncoder != NULL);
    MPI_ASSERT(pstData != NULL);
    MPI_ASSERT(pu8Outbuf != NULL);
    MPI_ASSERT(pu32OutLen != NULL);
    auto *enc = static_cast<AAC_ENCODER_S *>(pEncoder);
    bool stereo = enc->stAACAttr.enSoundMode == 1;

    if (stereo && pstData->enSoundmode != 1) {
        AAC_INFO("AAC encode receive a frame which not match its Soundmode");
        return kIllegalParam;
    }
    u32 water = water_line(enc->stAACAttr.enAACType);
    if (water == 0) {
        AAC_INFO("invalid AAC coder type");
        return kIllegalParam;
    }
    enc->u32WaterLine = water;
    // The instance takes 16-bit samples only; the tracks it reads must be there
    // and hold whole samples.
    if (pstData->enBitwidth != 1 || (pstData->u32Len & 1) || !pstData->pVirAddr[0] ||
        (stereo && !pstData->pVirAddr[1])) {
        AAC_INFO("invalid frame for AAC encoder");
        return kIllegalParam;
    }
    u32 samples = pstData->u32Len / (pstData->enBitwidth + 1);
    if (samples > water) {
        printf("[Func]:%s [Line]:%d [Info]:invalid u32PtNums%d for AAC_TYPE_AACLC\n", __FUNCTION__, __LINE__,
               samples);
        return kIllegalParam;
    }
    const u32 frame_bytes = water * 2;
    // A whole mono frame with nothing gathered before it is encoded where it lies.
    if (!stereo && enc->u32WriteIdx0 == 0 && pstData->u32Len == frame_bytes)
        return encode_frame(enc, static_cast<s16 *>(pstData->pVirAddr[0]), pu8Outbuf, pu32OutLen);
    // Less than one AAC frame is ever held, so a frame no longer than one
    // always fits; checked all the same before the copy.
    if (enc->u32WriteIdx0 + pstData->u32Len > AAC_FRAME_BUF_SIZE ||
        (stereo && enc->u32WriteIdx1 + pstData->u32Len > AAC_FRAME_BUF_SIZE)) {
        AAC_INFO("AAC gathering buffer overflow");
        return kIllegalParam;
    }
    memcpy(enc->aAACFrmBuf0 + enc->u32WriteIdx0, pstData->pVirAddr[0], pstData->u32Len);
    enc->u32WriteIdx0 += pstData->u32Len;
    if (stereo) {
        memcpy(enc->aAACFrmBuf1 + enc->u32WriteIdx1, pstData->pVirAddr[1], pstData->u32Len);
        enc->u32WriteIdx1 += pstData->u32Len;
    }
    if (enc->u32WriteIdx0 < frame_bytes)
        return AENC_NO_PACKET;

    s16 pcm[AACPLUS_SAMPLES_PER_FRAME * 2];
    const s16 *left = reinterpret_cast<const s16 *>(enc->aAACFrmBuf0);
    if (stereo) {
        const s16 *right = reinterpret_cast<const s16 *>(enc->aAACFrmBuf1);
        for (u32 i = 0; i < water; i++) {
            pcm[2 * i] = left[i];
            pcm[2 * i + 1] = right[i];
        }
        consume(enc->aAACFrmBuf1, &enc->u32WriteIdx1, frame_bytes);
    } else {
        memcpy(pcm, left, frame_bytes);
    }
    consume(enc->aAACFrmBuf0, &enc->u32WriteIdx0, frame_bytes);

    return encode_frame(enc, pcm, pu8Outbuf, pu32OutLen);
}

s32 CloseAACEncoder(void *pEncoder)
{
    MPI_ASSERT(pEncoder != NULL);
    auto *enc = static_cast<AAC_ENCODER_S *>(pEncoder);
    AACEncoderClose(enc->hAacEnc);
    free(enc);
    return 0;
}

s32 DU_DUZ_AENC_AacInit(void)
{
    for (const AAC_PAYLOAD_S &e : AAC_PAYLOADS) {
        AENC_CODEC_ENTRY_S entry{};
        entry.enType = e.enType;
        entry.u32MaxFrmLen = MAX_AAC_MAINBUF_SIZE;
        snprintf(entry.aszName, sizeof entry.aszName, "%s", e.pszName);
        entry.pfnOpenEncoder = OpenAACEncoder;
        entry.pfnEncodeFrm = EncodeAACFrm;
        entry.pfnCloseEncoder = CloseAACEncoder;
        s32 handle;
        if (s32 ret = DU_DUZ_AENC_RegeisterEncoder(&handle, &entry))
            return ret;
    }
    return 0;
}
