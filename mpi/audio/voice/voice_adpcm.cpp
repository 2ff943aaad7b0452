#include "mpi/audio/voice/voice_adpcm.h"

namespace {

// The IMA ADPCM standard's tables.
constexpr s16 kStepSize[ADPCM_MAX_STEP_INDEX + 1] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr s8 kIndexAdjust[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

constexpr u8 kSignBit = 8;
constexpr u32 kHeaderWords = 2; // predicted value (or first sample), step index

s16 clamp16(s32 v) { return (s16)(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }

// What a code does from each step index, worked out once from the standard's
// tables: the signed change to the predicted value (step / 8, plus step,
// step / 2 and step / 4 for the code's bits, each shifted down from the
// step) and the step index after it. Laid out code by code, so that
// decoding chains the step index through one load a code.
struct CodeTables {
    s32 change[16][ADPCM_MAX_STEP_INDEX + 1];
    u8 next[16][ADPCM_MAX_STEP_INDEX + 1];
};

constexpr CodeTables make_code_tables()
{
    CodeTables t{};
    for (int code = 0; code < 16; code++)
        for (int index = 0; index <= ADPCM_MAX_STEP_INDEX; index++) {
            const s32 step = kStepSize[index];
            s32 diff = step >> 3;
            if (code & 4)
                diff += step;
            if (code & 2)
                diff += step >> 1;
            if (code & 1)
                diff += step >> 2;
            t.change[code][index] = (code & kSignBit) ? -diff : diff;
            const int next = index + kIndexAdjust[code];
            t.next[code][index] = (u8)(next < 0 ? 0 : next > ADPCM_MAX_STEP_INDEX ? ADPCM_MAX_STEP_INDEX : next);
        }
    return t;
}
constexpr CodeTables kCodes = make_code_tables();

// The predictor as the coders run it, in locals: the samples they write
// cannot alias it.
struct Predictor {
    s32 value, index;

    explicit Predictor(const ADPCM_STATE_S *st) : value(st->s16ValPrev), index(st->s16Index) {}
    void store(ADPCM_STATE_S *st) const
    {
        st->s16ValPrev = (s16)value;
        st->s16Index = (s16)index;
    }
    s16 decode(u8 code)
    {
        value = clamp16(value + kCodes.change[code][index]);
        index = kCodes.next[code][index];
        return (s16)value;
    }
    // The code is found by quantizing the difference against the step and
    // its halves; decoding it then makes the same change as the decoder.
    u8 encode(s16 sample)
    {
        s32 diff = sample - value;
        u8 code = 0;
        if (diff < 0) {
            code = kSignBit;
            diff = -diff;
        }
        s32 step = kStepSize[index];
        if (diff >= step) {
            code |= 4;
            diff -= step;
        }
        step >>= 1;
        if (diff >= step) {
            code |= 2;
            diff -= step;
        }
        step >>= 1;
        if (diff >= step)
            code |= 1;
        decode(code);
        return code;
    }
};

// Two codes a byte, the earlier in the high nibble (DVI4) or the low one (IMA).
template <bool kLowFirst> void code_run(const s16 *in, u8 *out, s32 n, ADPCM_STATE_S *st)
{
    Predictor p(st);
    for (s32 i = 0; i + 1 < n; i += 2) {
        u8 first = p.encode(in[i]), second = p.encode(in[i + 1]);
        out[i / 2] = kLowFirst ? (u8)(second << 4 | first) : (u8)(first << 4 | second);
    }
    if (n > 0 && (n & 1)) {
        u8 last = p.encode(in[n - 1]);
        out[n / 2] = kLowFirst ? last : (u8)(last << 4);
    }
    p.store(st);
}

template <bool kLowFirst> void decode_run(const u8 *in, s16 *out, s32 n, ADPCM_STATE_S *st)
{
    Predictor p(st);
    s32 i = 0;
    for (; i + 1 < n; i += 2) {
        const u8 byte = in[i / 2];
        out[i] = p.decode(kLowFirst ? byte & 15 : byte >> 4);
        out[i + 1] = p.decode(kLowFirst ? byte >> 4 : byte & 15);
    }
    if (i < n)
        out[i] = p.decode(kLowFirst ? in[i / 2] & 15 : in[i / 2] >> 4);
    p.store(st);
}

void put_header(u8 *frame, u32 words, s16 first, s16 index)
{
    voice_frame_put_head(frame, words);
    voice_put_u16(voice_frame_payload(frame), (u16)first);
    voice_put_u16(voice_frame_payload(frame) + 2, (u16)index);
}

} // namespace

void ADPCM_state_reset(ADPCM_STATE_S *pstState)
{
    pstState->s16ValPrev = 0;
    pstState->s16Index = 0;
}

void adpcm_coder(const s16 *ps16In, u8 *pu8Code, s32 n, ADPCM_STATE_S *pstState)
{
    code_run<false>(ps16In, pu8Code, n, pstState);
}

void adpcm_decoder(const u8 *pu8Code, s16 *ps16Out, s32 n, ADPCM_STATE_S *pstState)
{
    decode_run<false>(pu8Code, ps16Out, n, pstState);
}

void adpcm_frame_rtp_asf(u8 *pu8Data, s32 s32Len)
{
    for (s32 i = 0; i < s32Len; i++)
        pu8Data[i] = (u8)(pu8Data[i] << 4 | pu8Data[i] >> 4);
}

void adpcm_frame_asf_rtp(u8 *pu8Data, s32 s32Len) { adpcm_frame_rtp_asf(pu8Data, s32Len); }

void ADPCM_encode(ADPCM_STATE_S *pstState, const s16 *ps16In, u8 *pu8Frame, s16 s16Type, s32 n)
{
    u8 *payload = voice_frame_payload(pu8Frame);
    switch (s16Type) {
    case VOICE_TYPE_ADPCM_DVI4:
        put_header(pu8Frame, (u32)n / 4 + kHeaderWords, pstState->s16ValPrev, pstState->s16Index);
        adpcm_coder(ps16In, payload + 2 * kHeaderWords, n, pstState);
        break;
    case VOICE_TYPE_ADPCM_IMA:
        // The first sample travels as it is and predicts the next; the
        // codes go earlier one in the low nibble.
        put_header(pu8Frame, (u32)(n - 1) / 4 + kHeaderWords, ps16In[0], pstState->s16Index);
        pstState->s16ValPrev = ps16In[0];
        code_run<true>(ps16In + 1, payload + 2 * kHeaderWords, n - 1, pstState);
        break;
    default: // VOICE_TYPE_ADPCM_DVI4_BARE
        voice_frame_put_head(pu8Frame, (u32)n / 4);
        adpcm_coder(ps16In, payload, n, pstState);
        break;
    }
}

s32 ADPCM_decode(ADPCM_STATE_S *pstState, const u8 *pu8Frame, s16 *ps16Out, s16 s16Type, u16 *pu16Count)
{
    const u32 words = voice_frame_words(pu8Frame);
    const u8 *payload = voice_frame_payload(pu8Frame);
    if (s16Type == VOICE_TYPE_ADPCM_DVI4_BARE) {
        s32 n = 4 * (s32)words;
        if (n > VOICE_MAX_POINT_NUM)
            return DU_ERR_VOICE_DEC_FRMLEN;
        adpcm_decoder(payload, ps16Out, n, pstState);
        *pu16Count = (u16)n;
        return 0;
    }
    // DVI4 and IMA: the block header sets the state.
    const bool ima = s16Type == VOICE_TYPE_ADPCM_IMA;
    if (words < kHeaderWords)
        return DU_ERR_VOICE_DEC_FRMLEN;
    s32 n = 4 * (s32)(words - kHeaderWords);
    u16 index = voice_get_u16(payload + 2);
    if (index > (u16)ADPCM_MAX_STEP_INDEX || n + (ima ? 1 : 0) > VOICE_MAX_POINT_NUM)
        return DU_ERR_VOICE_DEC_FRMLEN;
    pstState->s16ValPrev = (s16)voice_get_u16(payload);
    pstState->s16Index = (s16)index;
    const u8 *codes = payload + 2 * kHeaderWords;
    s16 *out = ps16Out;
    if (ima) {
        *out++ = pstState->s16ValPrev;
        decode_run<true>(codes, out, n, pstState);
    } else {
        decode_run<false>(codes, out, n, pstState);
    }
    *pu16Count = (u16)(n + (ima ? 1 : 0));
    return 0;
}
