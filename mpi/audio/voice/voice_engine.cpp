#include "mpi/audio/voice/voice_engine.h"

#include <cstring>

namespace {

enum Family { kG711, kAdpcm, kG726, kG72616k };

// One row per codec type: its core, G.726 code size and bit order, and the
// payload length for n samples and the samples of w payload words.
struct Codec {
    s16 type;
    Family family;
    u16 bits;
    bool msb_first;
    u32 (*words)(s32 n);
    s32 (*samples)(u32 w);
};

u32 words_g711(s32 n) { return (u32)n / 2; }
s32 samples_g711(u32 w) { return 2 * (s32)w; }
u32 words_dvi4(s32 n) { return (u32)n / 4 + 2; }
s32 samples_dvi4(u32 w) { return 4 * ((s32)w - 2); }
u32 words_ima(s32 n) { return (u32)(n - 1) / 4 + 2; }
s32 samples_ima(u32 w) { return 4 * ((s32)w - 2) + 1; }
u32 words_quarter(s32 n) { return (u32)n / 4; } // bare DVI4, 32 kbit/s G.726
s32 samples_quarter(u32 w) { return 4 * (s32)w; }
u32 words_eighth(s32 n) { return (u32)n / 8; } // both 16 kbit/s coders
s32 samples_eighth(u32 w) { return 8 * (s32)w; }
u32 words_24k(s32 n) { return 3 * (u32)n / 16; }
s32 samples_24k(u32 w) { return 16 * (s32)w / 3; }
u32 words_40k(s32 n) { return 5 * (u32)n / 16; }
s32 samples_40k(u32 w) { return 16 * (s32)w / 5; }

const Codec kCodecs[] = {
    {VOICE_TYPE_G711A, kG711, 0, false, words_g711, samples_g711},
    {VOICE_TYPE_G711U, kG711, 0, false, words_g711, samples_g711},
    {VOICE_TYPE_G711A_SWAP, kG711, 0, false, words_g711, samples_g711},
    {VOICE_TYPE_G711U_SWAP, kG711, 0, false, words_g711, samples_g711},
    {VOICE_TYPE_ADPCM_DVI4, kAdpcm, 0, false, words_dvi4, samples_dvi4},
    {VOICE_TYPE_ADPCM_IMA, kAdpcm, 0, false, words_ima, samples_ima},
    {VOICE_TYPE_ADPCM_DVI4_BARE, kAdpcm, 0, false, words_quarter, samples_quarter},
    {VOICE_TYPE_G726_16K, kG726, 2, false, words_eighth, samples_eighth},
    {VOICE_TYPE_G726_24K, kG726, 3, false, words_24k, samples_24k},
    {VOICE_TYPE_G726_32K, kG726, 4, false, words_quarter, samples_quarter},
    {VOICE_TYPE_G726_40K, kG726, 5, false, words_40k, samples_40k},
    {VOICE_TYPE_G726_16K_MSB, kG726, 2, true, words_eighth, samples_eighth},
    {VOICE_TYPE_G726_24K_MSB, kG726, 3, true, words_24k, samples_24k},
    {VOICE_TYPE_G726_32K_MSB, kG726, 4, true, words_quarter, samples_quarter},
    {VOICE_TYPE_G726_40K_MSB, kG726, 5, true, words_40k, samples_40k},
    {VOICE_TYPE_G726_16K_WORD, kG72616k, 0, false, words_eighth, samples_eighth},
};

const Codec *codec_of(s16 type)
{
    for (const Codec &c : kCodecs)
        if (c.type == type)
            return &c;
    return nullptr;
}

constexpr s32 kFrameStep = 80;

bool count_ok(s32 n) { return n >= kFrameStep && n <= VOICE_MAX_POINT_NUM && n % kFrameStep == 0; }

// IMA frames carry one sample uncoded in front of the coded ones.
bool enc_count_ok(s16 type, s32 n)
{
    if (type == VOICE_TYPE_ADPCM_IMA)
        return n >= 1 && n <= VOICE_MAX_POINT_NUM && (n - 1) % kFrameStep == 0;
    return count_ok(n);
}

s32 reset(VOICE_STATE_U *st, s16 type, s32 refused)
{
    if (!st)
        return DU_ERR_VOICE_NULL_STATE;
    st->s16Type = type;
    const Codec *c = codec_of(type);
    if (!c)
        return refused;
    switch (c->family) {
    case kG711:
        break;
    case kAdpcm:
        ADPCM_state_reset(&st->stAdpcm);
        break;
    case kG726:
        G726Reset(&st->stG726, c->bits);
        break;
    case kG72616k:
        G726_state_reset(&st->stG72616k);
        break;
    }
    return 0;
}

void encode(VOICE_STATE_U *st, const Codec &c, const s16 *in, u8 *frame, s32 n)
{
    switch (c.family) {
    case kG711:
        G711_encode(&st->stG711, in, frame, c.type, n);
        return;
    case kAdpcm:
        ADPCM_encode(&st->stAdpcm, in, frame, c.type, n);
        return;
    case kG726: {
        const u32 words = c.words(n);
        voice_frame_put_head(frame, words);
        u8 *payload = voice_frame_payload(frame);
        if (c.bits == 2)
            Encode72616k(&st->stG726, in, payload, n);
        else
            G726Encode(&st->stG726, in, payload, n);
        if (c.msb_first)
            G726Rtp2AsfFormat(payload, c.bits, (s32)(2 * words));
        return;
    }
    case kG72616k:
        G726_encode(&st->stG72616k, in, frame, n);
        return;
    }
}

s32 decode_g726(G726_STATE_S *st, const Codec &c, const u8 *frame, s16 *out, u16 *count)
{
    const s32 bytes = 2 * (s32)voice_frame_words(frame);
    const u8 *payload = voice_frame_payload(frame);
    u8 lsb_first[2 * 255];
    if (c.msb_first) {
        // Repacked on a copy: the caller may send the same packet again.
        memcpy(lsb_first, payload, (size_t)bytes);
        if (G726Asf2RtpFormat(lsb_first, c.bits, bytes) != 0)
            return DU_ERR_VOICE_DEC_FRMLEN;
        payload = lsb_first;
    }
    *count = (u16)G726Decode(st, payload, out, bytes);
    return 0;
}

} // namespace

s32 DU_VOICE_GetVersion(char *pszVersion)
{
    if (!pszVersion)
        return -1;
    snprintf(pszVersion, 64, "DU_VOICE_V3.0.6.4 Build Time:[%s, %s]", __DATE__, __TIME__);
    return 0;
}

s32 DU_VOICE_EncReset(VOICE_STATE_U *pState, s16 s16Type) { return reset(pState, s16Type, DU_ERR_VOICE_ENC_TYPE); }
s32 DU_VOICE_DecReset(VOICE_STATE_U *pState, s16 s16Type) { return reset(pState, s16Type, DU_ERR_VOICE_DEC_TYPE); }

s32 DU_VOICE_EncodeFrame(VOICE_STATE_U *pState, const s16 *ps16In, u8 *pu8Frame, s32 n)
{
    if (!pState)
        return DU_ERR_VOICE_NULL_STATE;
    if (!ps16In)
        return DU_ERR_VOICE_NULL_INPUT;
    if (!pu8Frame)
        return DU_ERR_VOICE_NULL_OUTPUT;
    if (!enc_count_ok(pState->s16Type, n))
        return DU_ERR_VOICE_ENC_FRMLEN;
    const Codec *c = codec_of(pState->s16Type);
    if (!c)
        return DU_ERR_VOICE_ENC_TYPE;
    // Built aside so that the caller's frame gets exactly the frame's bytes.
    u8 work[VOICE_MAX_FRAME_LEN];
    encode(pState, *c, ps16In, work, n);
    memcpy(pu8Frame, work, (voice_frame_words(work) + 2) * 2);
    return 0;
}

s32 DU_VOICE_DecodeFrame(VOICE_STATE_U *pState, const u8 *pu8Frame, s16 *ps16Out, u16 *pu16Count)
{
    if (!pState)
        return DU_ERR_VOICE_NULL_STATE;
    if (!pu8Frame)
        return DU_ERR_VOICE_NULL_INPUT;
    if (!ps16Out || !pu16Count)
        return DU_ERR_VOICE_NULL_OUTPUT;
    *pu16Count = 0;
    if (voice_frame_flag_bits(pu8Frame) != 1)
        return DU_ERR_VOICE_DEC_FRMTYPE;
    const u32 words = voice_frame_words(pu8Frame);
    if (words == 0)
        return DU_ERR_VOICE_DEC_FRMLEN;
    const Codec *c = codec_of(pState->s16Type);
    if (!c)
        return DU_ERR_VOICE_DEC_TYPE;
    if (c->family != kAdpcm && !count_ok(c->samples(words)))
        return DU_ERR_VOICE_DEC_FRMLEN;
    switch (c->family) {
    case kG711:
        *pu16Count = (u16)G711_decode(&pState->stG711, pu8Frame, ps16Out, c->type);
        return 0;
    case kAdpcm:
        // Checks its own block header and length.
        return ADPCM_decode(&pState->stAdpcm, pu8Frame, ps16Out, c->type, pu16Count);
    case kG726:
        return decode_g726(&pState->stG726, *c, pu8Frame, ps16Out, pu16Count);
    case kG72616k:
        *pu16Count = (u16)G726_decode(&pState->stG72616k, pu8Frame, ps16Out);
        return 0;
    }
    return DU_ERR_VOICE_DEC_TYPE;
}

s32 DU_VOICE_TransCodeReset(VOICE_TRANSCODE_STATE_S *pState, s32 s32Mode)
{
    static const struct {
        s32 mode;
        s16 dec, enc;
    } kModes[] = {
        {VOICE_TRANSCODE_G711A, VOICE_TYPE_G711A_SWAP, VOICE_TYPE_G711A},
        {VOICE_TRANSCODE_G711U, VOICE_TYPE_G711U_SWAP, VOICE_TYPE_G711U},
        {VOICE_TRANSCODE_ADPCM, VOICE_TYPE_ADPCM_DVI4_BARE, VOICE_TYPE_ADPCM_DVI4},
        {VOICE_TRANSCODE_G726_16K, VOICE_TYPE_G726_16K_WORD, VOICE_TYPE_G726_16K},
    };
    if (!pState)
        return DU_ERR_VOICE_TRANS_NULL_STATE;
    for (const auto &m : kModes) {
        if (m.mode != s32Mode)
            continue;
        DU_VOICE_DecReset(&pState->stDec, m.dec);
        DU_VOICE_EncReset(&pState->stEnc, m.enc);
        return 0;
    }
    return DU_ERR_VOICE_TRANS_MODE;
}

s32 DU_VOICE_TransCodeFrame(VOICE_TRANSCODE_STATE_S *pState, u8 *pu8Frame)
{
    if (!pState)
        return DU_ERR_VOICE_TRANS_NULL_STATE;
    if (!pu8Frame)
        return DU_ERR_VOICE_NULL_INPUT;
    switch (pState->stEnc.s16Type) {
    case VOICE_TYPE_G711A:
    case VOICE_TYPE_G711U: {
        u8 *payload = voice_frame_payload(pu8Frame);
        for (u32 i = 0; i < voice_frame_words(pu8Frame); i++) {
            u8 low = payload[2 * i];
            payload[2 * i] = payload[2 * i + 1];
            payload[2 * i + 1] = low;
        }
        return 0;
    }
    case VOICE_TYPE_ADPCM_DVI4:
    case VOICE_TYPE_G726_16K: {
        s16 samples[VOICE_MAX_POINT_NUM];
        u16 count = 0;
        if (s32 ret = DU_VOICE_DecodeFrame(&pState->stDec, pu8Frame, samples, &count))
            return ret;
        return DU_VOICE_EncodeFrame(&pState->stEnc, samples, pu8Frame, count);
    }
    default:
        return DU_ERR_VOICE_TRANS_MODE;
    }
}
