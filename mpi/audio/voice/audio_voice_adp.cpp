// The voice codecs' registry entries: thin adapters between the encoder and
// decoder units' operations and the voice engine.
#include "mpi/audio/voice/audio_voice_adp.h"

#include <cstdlib>
#include <cstring>

namespace {

// What differs between the encoder and the decoder side of one codec.
struct Side {
    const char *name; // in messages
    s32 illegal, nomem;
    s32 (*reset)(VOICE_STATE_U *, s16);
};
const Side kEncoder = {"encoder", DU_ERR_AENC_ILLEGAL_PARAM, DU_ERR_AENC_NOMEM, DU_VOICE_EncReset};
const Side kDecoder = {"decoder", DU_ERR_ADEC_ILLEGAL_PARAM, DU_ERR_ADEC_NOMEM, DU_VOICE_DecReset};

// A zeroed context for the engine type, reset, in *pp; on failure nothing is
// left allocated and *pp is null.
s32 open_ctx(void **pp, s16 type, u32 adpcm_type, const Side &side, const char *codec, const char *func)
{
    *pp = nullptr;
    auto *ctx = static_cast<VOICE_ADP_CTX_S *>(calloc(1, sizeof(VOICE_ADP_CTX_S)));
    if (!ctx) {
        printf("%s, %d, malloc %s %s context failed!\n", func, __LINE__, codec, side.name);
        return side.nomem;
    }
    ctx->u32Type = (u32)type;
    ctx->u32AdpcmType = adpcm_type;
    s32 ret = side.reset(&ctx->stState, type);
    if (ret != 0) {
        free(ctx);
        return ret;
    }
    *pp = ctx;
    return 0;
}

s16 adpcm_engine_type(u32 kind)
{
    static const s16 kTypes[] = {VOICE_TYPE_ADPCM_DVI4, VOICE_TYPE_ADPCM_IMA, VOICE_TYPE_ADPCM_DVI4_BARE};
    return kTypes[kind];
}

s16 g726_engine_type(u32 rate)
{
    static const s16 kTypes[] = {VOICE_TYPE_G726_16K,     VOICE_TYPE_G726_24K,     VOICE_TYPE_G726_32K,
                                 VOICE_TYPE_G726_40K,     VOICE_TYPE_G726_16K_MSB, VOICE_TYPE_G726_24K_MSB,
                                 VOICE_TYPE_G726_32K_MSB, VOICE_TYPE_G726_40K_MSB};
    return kTypes[rate];
}

s32 open_adpcm(void *attr, void **pp, const Side &side, const char *func)
{
    *pp = nullptr;
    u32 kind = *static_cast<const u32 *>(attr);
    if (kind > ADPCM_TYPE_ORG_DVI4) {
        printf("%s, %d, type:%d of ADPCM %s is illegal!\n", func, __LINE__, kind, side.name);
        return side.illegal;
    }
    return open_ctx(pp, adpcm_engine_type(kind), kind, side, "ADPCM", func);
}

s32 open_g726(void *attr, void **pp, const Side &side, const char *func)
{
    *pp = nullptr;
    u32 rate = *static_cast<const u32 *>(attr);
    if (rate > MEDIA_G726_40K) {
        printf("%s, %d, bps:%d of G726 %s is illegal!\n", func, __LINE__, rate, side.name);
        return side.illegal;
    }
    return open_ctx(pp, g726_engine_type(rate), 0, side, "G726", func);
}

bool one_of(u32 v, const u32 (&set)[5])
{
    for (u32 x : set)
        if (v == x)
            return true;
    return false;
}

const u32 kFramePoints[5] = {80, 160, 240, 320, 480};
const u32 kImaFramePoints[5] = {81, 161, 241, 321, 481};

// The frame's samples, or 0 when the engine cannot take its track: the engine
// codes 16-bit samples only.
u32 frame_points(const AUDIO_FRAME_S *frame)
{
    if (frame->enBitwidth != 1 || !frame->pVirAddr[0])
        return 0;
    return frame->u32Len / (frame->enBitwidth + 1);
}

s32 encode(void *enc, const AUDIO_FRAME_S *frame, u8 *out, u32 *out_len)
{
    auto *ctx = static_cast<VOICE_ADP_CTX_S *>(enc);
    s32 ret = DU_VOICE_EncodeFrame(&ctx->stState, static_cast<const s16 *>(frame->pVirAddr[0]), out,
                                   (s32)(frame->u32Len / 2));
    if (ret == 0)
        *out_len = (voice_frame_words(out) + 2) * 2;
    return ret;
}

s32 encode_points_checked(void *enc, const AUDIO_FRAME_S *frame, u8 *out, u32 *out_len, const char *func)
{
    u32 points = frame_points(frame);
    if (!one_of(points, kFramePoints)) {
        printf("%s, %d, points:%d of each frame is illegal!\n", func, __LINE__, points);
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    return encode(enc, frame, out, out_len);
}

// One whole voice frame from the stream; less than one is the decoder
// unit's "need more" and consumes nothing.
s32 decode(void *dec, u8 **in, s32 *left, u16 *out, u32 *out_len, u32 *chns)
{
    *chns = 1;
    if (*left < (s32)VOICE_FRAME_HEAD_LEN)
        return DU_ERR_ADEC_BUF_LACK;
    s32 frame_len = (s32)(voice_frame_words(*in) + 2) * 2;
    if (frame_len > *left)
        return DU_ERR_ADEC_BUF_LACK;
    auto *ctx = static_cast<VOICE_ADP_CTX_S *>(dec);
    u16 count = 0;
    s32 ret = DU_VOICE_DecodeFrame(&ctx->stState, *in, reinterpret_cast<s16 *>(out), &count);
    // A refused frame is consumed all the same: the next call starts at the
    // frame after it.
    *left -= frame_len;
    *in += frame_len;
    *out_len = count * 2u;
    return ret;
}

s32 reset_decoder(void *dec)
{
    auto *ctx = static_cast<VOICE_ADP_CTX_S *>(dec);
    DU_VOICE_DecReset(&ctx->stState, (s16)ctx->u32Type);
    return 0;
}

s32 close_ctx(void *ctx)
{
    free(ctx);
    return 0;
}

#define CHECK_ENCODE_ARGS()                                                                                            \
    do {                                                                                                               \
        MPI_ASSERT(pEncoder != NULL);                                                                                  \
        MPI_ASSERT(pstData != NULL);                                                                                   \
        MPI_ASSERT(pu8Outbuf != NULL);                                                                                 \
        MPI_ASSERT(pu32OutLen != NULL);                                                                                \
    } while (0)

#define CHECK_DECODE_ARGS()                                                                                            \
    do {                                                                                                               \
        MPI_ASSERT(pDecoder != NULL);                                                                                  \
        MPI_ASSERT(ppu8Inbuf != NULL);                                                                                 \
        MPI_ASSERT(ps32LeftByte != NULL);                                                                              \
        MPI_ASSERT(pu16Outbuf != NULL);                                                                                \
        MPI_ASSERT(pu32OutLen != NULL);                                                                                \
        MPI_ASSERT(pu32Chns != NULL);                                                                                  \
    } while (0)

// One track of a decoder unit's frame: the most a decoder may write.
constexpr u32 kDecodeRoom = ADEC_FRAME_NODE_SIZE / 2;

} // namespace

// ---- LPCM: the samples as they are ---------------------------------------------------------------

s32 OpenLPCMEncoder(void *, void **) { return 0; }
s32 CloseLPCMEncoder(void *) { return 0; }

s32 EncodeLPCMFrm(void *, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen)
{
    MPI_ASSERT(pstData != NULL);
    MPI_ASSERT(pu8Outbuf != NULL);
    MPI_ASSERT(pu32OutLen != NULL);
    // The output is a stream-buffer slot sized for the largest LPCM frame.
    if (!pstData->pVirAddr[0] || pstData->u32Len > AENC_LPCM_MAX_FRAME_LEN) {
        printf("%s, %d, frame of %d bytes is illegal for LPCM!\n", __FUNCTION__, __LINE__, pstData->u32Len);
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    memcpy(pu8Outbuf, pstData->pVirAddr[0], pstData->u32Len);
    *pu32OutLen = pstData->u32Len;
    return 0;
}

s32 OpenLPCMDecoder(void *, void **) { return 0; }
s32 CloseLPCMDecoder(void *) { return 0; }

s32 DecodeLPCMFrm(void *, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns)
{
    MPI_ASSERT(ppu8Inbuf != NULL);
    MPI_ASSERT(ps32LeftByte != NULL);
    MPI_ASSERT(pu16Outbuf != NULL);
    MPI_ASSERT(pu32OutLen != NULL);
    MPI_ASSERT(pu32Chns != NULL);
    u32 len = *ps32LeftByte > 0 ? (u32)*ps32LeftByte : 0;
    if (len > kDecodeRoom)
        len = kDecodeRoom;
    memcpy(pu16Outbuf, *ppu8Inbuf, len);
    *ps32LeftByte -= (s32)len;
    *ppu8Inbuf += len;
    *pu32OutLen = len;
    *pu32Chns = 1;
    return 0;
}

// ---- G.711 A-law ------------------------------------------------------------------------------------

s32 OpenG711AEncoder(void *, void **ppEncoder)
{
    MPI_ASSERT(ppEncoder != NULL);
    return open_ctx(ppEncoder, VOICE_TYPE_G711A, 0, kEncoder, "G711A", __FUNCTION__);
}

s32 EncodeG711AFrm(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen)
{
    CHECK_ENCODE_ARGS();
    return encode_points_checked(pEncoder, pstData, pu8Outbuf, pu32OutLen, __FUNCTION__);
}

s32 CloseG711AEncoder(void *pEncoder)
{
    MPI_ASSERT(pEncoder != NULL);
    return close_ctx(pEncoder);
}

s32 OpenG711ADecoder(void *, void **ppDecoder)
{
    MPI_ASSERT(ppDecoder != NULL);
    return open_ctx(ppDecoder, VOICE_TYPE_G711A, 0, kDecoder, "G711A", __FUNCTION__);
}

s32 DecodeG711AFrm(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns)
{
    CHECK_DECODE_ARGS();
    return decode(pDecoder, ppu8Inbuf, ps32LeftByte, pu16Outbuf, pu32OutLen, pu32Chns);
}

s32 CloseG711ADecoder(void *pDecoder)
{
    MPI_ASSERT(pDecoder != NULL);
    return close_ctx(pDecoder);
}

s32 ResetG711ADecoder(void *pDecoder)
{
    MPI_ASSERT(pDecoder != NULL);
    return reset_decoder(pDecoder);
}

// ---- G.711 µ-law ----------------------------------------------------------------------------------------

s32 OpenG711UEncoder(void *pEncoderAttr, void **ppEncoder)
{
    MPI_ASSERT(pEncoderAttr != NULL);
    MPI_ASSERT(ppEncoder != NULL);
    return open_ctx(ppEncoder, VOICE_TYPE_G711U, 0, kEncoder, "G711U", __FUNCTION__);
}

s32 EncodeG711UFrm(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen)
{
    CHECK_ENCODE_ARGS();
    return encode_points_checked(pEncoder, pstData, pu8Outbuf, pu32OutLen, __FUNCTION__);
}

s32 CloseG711UEncoder(void *pEncoder)
{
    MPI_ASSERT(pEncoder != NULL);
    return close_ctx(pEncoder);
}

s32 OpenG711UDecoder(void *pDecoderAttr, void **ppDecoder)
{
    MPI_ASSERT(pDecoderAttr != NULL);
    MPI_ASSERT(ppDecoder != NULL);
    return open_ctx(ppDecoder, VOICE_TYPE_G711U, 0, kDecoder, "G711U", __FUNCTION__);
}

s32 DecodeG711UFrm(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns)
{
    CHECK_DECODE_ARGS();
    return decode(pDecoder, ppu8Inbuf, ps32LeftByte, pu16Outbuf, pu32OutLen, pu32Chns);
}

s32 CloseG711UDecoder(void *pDecoder)
{
    MPI_ASSERT(pDecoder != NULL);
    return close_ctx(pDecoder);
}

s32 ResetG711UDecoder(void *pDecoder)
{
    MPI_ASSERT(pDecoder != NULL);
    return reset_decoder(pDecoder);
}

// ---- ADPCM ------------------------------------------------------------------------------------------------

s32 OpenADPCMEncoder(void *pEncoderAttr, void **ppEncoder)
{
    MPI_ASSERT(pEncoderAttr != NULL);
    MPI_ASSERT(ppEncoder != NULL);
    return open_adpcm(pEncoderAttr, ppEncoder, kEncoder, __FUNCTION__);
}

s32 EncodeADPCMFrm(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen)
{
    CHECK_ENCODE_ARGS();
    auto *ctx = static_cast<VOICE_ADP_CTX_S *>(pEncoder);
    u32 points = frame_points(pstData);
    if (ctx->u32AdpcmType == ADPCM_TYPE_IMA) {
        if (!one_of(points, kImaFramePoints)) {
            MPI_TRACE("the u32PtNumPerFrm%d is illegal for ADPCM_TYPE_IMA\n", points);
            return DU_ERR_AENC_ILLEGAL_PARAM;
        }
    } else if (!one_of(points, kFramePoints)) {
        MPI_TRACE("the u32PtNumPerFrm%d is illegal for ADPCM_TYPE_DVI4\n", points);
        return DU_ERR_AENC_ILLEGAL_PARAM;
    }
    return encode(pEncoder, pstData, pu8Outbuf, pu32OutLen);
}

s32 CloseADPCMEncoder(void *pEncoder)
{
    MPI_ASSERT(pEncoder != NULL);
    return close_ctx(pEncoder);
}

s32 OpenADPCMDecoder(void *pDecoderAttr, void **ppDecoder)
{
    MPI_ASSERT(pDecoderAttr != NULL);
    MPI_ASSERT(ppDecoder != NULL);
    return open_adpcm(pDecoderAttr, ppDecoder, kDecoder, __FUNCTION__);
}

s32 DecodeADPCMFrm(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns)
{
    CHECK_DECODE_ARGS();
    return decode(pDecoder, ppu8Inbuf, ps32LeftByte, pu16Outbuf, pu32OutLen, pu32Chns);
}

s32 CloseADPCMDecoder(void *pDecoder)
{
    MPI_ASSERT(pDecoder != NULL);
    return close_ctx(pDecoder);
}

s32 ResetADPCMDecoder(void *pDecoder)
{
    MPI_ASSERT(pDecoder != NULL);
    return reset_decoder(pDecoder);
}

// ---- G.726 --------------------------------------------------------------------------------------------------

s32 OpenG726Encoder(void *pEncoderAttr, void **ppEncoder)
{
    MPI_ASSERT(pEncoderAttr != NULL);
    MPI_ASSERT(ppEncoder != NULL);
    return open_g726(pEncoderAttr, ppEncoder, kEncoder, __FUNCTION__);
}

s32 EncodeG726Frm(void *pEncoder, const AUDIO_FRAME_S *pstData, u8 *pu8Outbuf, u32 *pu32OutLen)
{
    CHECK_ENCODE_ARGS();
    return encode_points_checked(pEncoder, pstData, pu8Outbuf, pu32OutLen, __FUNCTION__);
}

s32 CloseG726Encoder(void *pEncoder)
{
    MPI_ASSERT(pEncoder != NULL);
    return close_ctx(pEncoder);
}

s32 OpenG726Decoder(void *pDecoderAttr, void **ppDecoder)
{
    MPI_ASSERT(pDecoderAttr != NULL);
    MPI_ASSERT(ppDecoder != NULL);
    return open_g726(pDecoderAttr, ppDecoder, kDecoder, __FUNCTION__);
}

s32 DecodeG726Frm(void *pDecoder, u8 **ppu8Inbuf, s32 *ps32LeftByte, u16 *pu16Outbuf, u32 *pu32OutLen, u32 *pu32Chns)
{
    CHECK_DECODE_ARGS();
    return decode(pDecoder, ppu8Inbuf, ps32LeftByte, pu16Outbuf, pu32OutLen, pu32Chns);
}

s32 CloseG726Decoder(void *pDecoder)
{
    MPI_ASSERT(pDecoder != NULL);
    return close_ctx(pDecoder);
}

s32 ResetG726Decoder(void *pDecoder)
{
    MPI_ASSERT(pDecoder != NULL);
    return reset_decoder(pDecoder);
}

s32 GetFrmInfo(void *, void *) { return 0; }

// ---- registration ------------------------------------------------------------------------------------------

namespace {

struct VoiceCodec {
    u32 type;
    const char *name;
    u32 max_len; // largest packet, bytes
    AENC_OPEN_FN enc_open;
    AENC_ENCODE_FN enc_encode;
    AENC_CLOSE_FN enc_close;
    ADEC_OPEN_FN dec_open;
    ADEC_DECODE_FN dec_decode;
    ADEC_CLOSE_FN dec_close;
    ADEC_RESET_FN dec_reset;
};

const VoiceCodec kVoiceCodecs[] = {
    {PT_LPCM, "Lpcm", AENC_LPCM_MAX_FRAME_LEN, OpenLPCMEncoder, EncodeLPCMFrm, CloseLPCMEncoder, OpenLPCMDecoder,
     DecodeLPCMFrm, CloseLPCMDecoder, nullptr},
    {PT_G711A, "G711a", 960, OpenG711AEncoder, EncodeG711AFrm, CloseG711AEncoder, OpenG711ADecoder, DecodeG711AFrm,
     CloseG711ADecoder, ResetG711ADecoder},
    {PT_G711U, "G711u", 960, OpenG711UEncoder, EncodeG711UFrm, CloseG711UEncoder, OpenG711UDecoder, DecodeG711UFrm,
     CloseG711UDecoder, ResetG711UDecoder},
    {PT_ADPCMA, "Adpcm", 480, OpenADPCMEncoder, EncodeADPCMFrm, CloseADPCMEncoder, OpenADPCMDecoder, DecodeADPCMFrm,
     CloseADPCMDecoder, ResetADPCMDecoder},
    {PT_G726, "G726", 960, OpenG726Encoder, EncodeG726Frm, CloseG726Encoder, OpenG726Decoder, DecodeG726Frm,
     CloseG726Decoder, ResetG726Decoder},
};

} // namespace

s32 DU_DUZ_AENC_VoiceInit(void)
{
    s32 ret = 0;
    for (const VoiceCodec &c : kVoiceCodecs) {
        AENC_CODEC_ENTRY_S entry{};
        entry.enType = c.type;
        entry.u32MaxFrmLen = c.max_len;
        snprintf(entry.aszName, sizeof entry.aszName, "%s", c.name);
        entry.pfnOpenEncoder = c.enc_open;
        entry.pfnEncodeFrm = c.enc_encode;
        entry.pfnCloseEncoder = c.enc_close;
        s32 handle;
        if ((ret = DU_DUZ_AENC_RegeisterEncoder(&handle, &entry)) != 0)
            return ret;
    }
    return ret;
}

s32 DU_DUZ_ADEC_VoiceInit(void)
{
    s32 ret = 0;
    for (const VoiceCodec &c : kVoiceCodecs) {
        ADEC_CODEC_ENTRY_S entry{};
        entry.enType = c.type;
        snprintf(entry.aszName, sizeof entry.aszName, "%s", c.name);
        entry.pfnOpenDecoder = c.dec_open;
        entry.pfnDecodeFrm = c.dec_decode;
        entry.pfnGetFrmInfo = GetFrmInfo;
        entry.pfnCloseDecoder = c.dec_close;
        entry.pfnResetDecoder = c.dec_reset;
        s32 handle;
        if ((ret = DU_DUZ_ADEC_RegeisterDecoder(&handle, &entry)) != 0)
            return ret;
    }
    return ret;
}
