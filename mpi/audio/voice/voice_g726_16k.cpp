#include "mpi/audio/voice/voice_g726_16k.h"

#include "mpi/audio/voice/voice_g726.h"

namespace {

// G.726's 16 kbit/s values, by code: reconstruction levels, F and W.
const s16 kRecon[4] = {116, 365, 365, 116};
const s16 kF[2] = {0, 7}; // small, large
const s16 kW[2] = {-22, 439};

constexpr s32 kLargeAbove = 260;
constexpr s32 kMaxLogExp = 14;

bool large(s32 code) { return code == 1 || code == 2; }
s32 sign_of(s32 v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }
s16 clamp16(s32 v) { return (s16)(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }
s32 bound(s32 v, s32 lim) { return v < -lim ? -lim : v > lim ? lim : v; }

struct Estimate {
    s32 se, sez;
};

// Coefficients in 2^-13 of a sample (the poles are in 2^-14 but meet values
// kept at half scale).
Estimate estimate(const G726_16K_STATE_S &s)
{
    s32 zeros = 0;
    for (s32 i = 0; i < 6; i++)
        zeros += s.b[i] * s.dq[i];
    s32 poles = s.a1 * s.sr1 + s.a2 * s.sr2;
    return {(zeros + poles) >> 13, zeros >> 13};
}

s32 scale_factor(const G726_16K_STATE_S &s)
{
    s32 ylp = s.yl >> 6;
    if (s.ap >= 256)
        return s.yu;
    return ylp + (((s.yu - ylp) * (s.ap >> 2)) >> 6);
}

s32 quantized_difference(s32 code, s32 y)
{
    s32 dq = adpcm_antilog(kRecon[code] + (y >> 2));
    return code >= 2 ? -dq : dq;
}

// One sample's adaptation and history, common to the encoder and decoder;
// the reconstructed signal.
s16 adapt(G726_16K_STATE_S &s, s32 code, const Estimate &est, s32 y)
{
    const s32 dq = quantized_difference(code, y);
    // A large difference right after a tone is a transition (G.726's rule:
    // checked against the slow scale factor before it adapts).
    const bool transition = s.td != 0 && g726_transition(s.yl, dq < 0 ? -dq : dq);
    const s32 fi = adpcm_findfi(code), wi = adpcm_findwi(code);
    s.dms = (s16)(s.dms + ((fi * 512 - s.dms) >> 5));
    s.dml = (s16)(s.dml + ((fi * 2048 - s.dml) >> 7));
    s.yu = (s16)bound(y + ((wi * 32 - y) >> 5), 5120);
    if (s.yu < 544)
        s.yu = 544;
    s.yl = s.yl - (s.yl >> 6) + s.yu;

    const s32 p = clamp16(dq + est.sez);
    s.a2 = (s16)adpcm_upda2(s.a1, s.a2, p, s.p1, s.p2);
    s32 a1 = s.a1 - (s.a1 >> 8);
    if (p != 0)
        a1 += 192 * sign_of(p) * (s.p1 >= 0 ? 1 : -1);
    s.a1 = (s16)bound(a1, 15360 - s.a2);
    for (s32 i = 0; i < 6; i++) {
        s32 b = s.b[i] - (s.b[i] >> 8);
        if (dq != 0)
            b += ((dq ^ s.dq[i]) >= 0) ? 64 : -64;
        s.b[i] = (s16)b;
    }

    s.td = s.a2 < -11776;
    s32 diff = 4 * s.dms - s.dml;
    if (diff < 0)
        diff = -diff;
    if (diff < s.dml / 8 && y >= 1536 && !s.td)
        s.ap = (s16)(s.ap - (s.ap >> 4));
    else
        s.ap = (s16)(s.ap + 32 - (s.ap >> 4));
    if (transition) {
        s.a1 = s.a2 = 0;
        for (s16 &b : s.b)
            b = 0;
        s.td = 0;
        s.ap = 256;
    }

    const s16 sr = clamp16(dq + est.se);
    for (s32 i = 5; i > 0; i--)
        s.dq[i] = s.dq[i - 1];
    s.dq[0] = (s16)dq;
    s.sr2 = s.sr1;
    s.sr1 = (s16)(sr >> 1);
    s.p2 = s.p1;
    s.p1 = (s16)p;
    return sr;
}

} // namespace

void G726_state_reset(G726_16K_STATE_S *pstState)
{
    s16 type = pstState->s16Type;
    *pstState = G726_16K_STATE_S{};
    pstState->s16Type = type;
    pstState->sr1 = pstState->sr2 = 16;
    for (s16 &v : pstState->dq)
        v = 32;
    pstState->yu = 544;
    pstState->yl = 34816;
}

s32 adpcm_log(s32 s32Mag)
{
    if (s32Mag <= 0)
        return -128;
    s32 k = 0;
    while (k < kMaxLogExp && (s32Mag >> (k + 1)) > 0)
        k++;
    s32 mant = (s32Mag << 7) >> k; // 128..255 within the octave
    if (mant > 255)
        mant = 255; // beyond 2^15, the top of the last octave
    return 128 * k + mant - 128;
}

s32 adpcm_quant(s32 d, s32 y)
{
    bool big = adpcm_log(d < 0 ? -d : d) - (y >> 2) > kLargeAbove;
    if (d >= 0)
        return big ? 1 : 0;
    return big ? 2 : 3;
}

s32 adpcm_antilog(s32 s32Value)
{
    s32 shift = 14 - (s32Value >> 7);
    if (shift < 0 || shift > 31)
        return 0;
    return ((128 + (s32Value & 127)) << 7) >> shift;
}

s32 adpcm_findfi(s32 s32Code) { return kF[large(s32Code)]; }
s32 adpcm_findwi(s32 s32Code) { return kW[large(s32Code)]; }

s32 adpcm_upda2(s32 a1, s32 a2, s32 p, s32 p1, s32 p2)
{
    const s32 s = p2 >= 0 ? 4096 : -4096;
    const s32 c = bound(a1, 8192);
    const s32 t = p1 >= 0 ? s - c : s + c;
    return bound(a2 - (a2 >> 7) + ((sign_of(p) * t) >> 5), 12288);
}

void G726_encode_core(G726_16K_STATE_S *pstState, const s16 *ps16In, u8 *pu8Code, s32 n)
{
    for (s32 i = 0; i < n; i++) {
        Estimate est = estimate(*pstState);
        s32 y = scale_factor(*pstState);
        s32 code = adpcm_quant(ps16In[i] - est.se, y);
        adapt(*pstState, code, est, y);
        pu8Code[i] = (u8)code;
    }
}

void G726_decode_core(G726_16K_STATE_S *pstState, const u8 *pu8Code, s16 *ps16Out, s32 n)
{
    for (s32 i = 0; i < n; i++) {
        Estimate est = estimate(*pstState);
        s32 y = scale_factor(*pstState);
        ps16Out[i] = adapt(*pstState, pu8Code[i] & 3, est, y);
    }
}

void G726_encoder_pack(const u8 *pu8Code, u8 *pu8Frame, s32 n)
{
    const u32 words = (u32)n / 8;
    voice_frame_put_head(pu8Frame, words);
    u8 *payload = voice_frame_payload(pu8Frame);
    for (u32 k = 0; k < words; k++) {
        u16 word = 0;
        for (u32 j = 0; j < 8; j++)
            word |= (u16)((pu8Code[8 * k + j] & 3) << (14 - 2 * j));
        voice_put_u16(payload + 2 * k, word);
    }
}

s32 G726_decoder_unpack(const u8 *pu8Frame, u8 *pu8Code)
{
    const u32 words = voice_frame_words(pu8Frame);
    const u8 *payload = voice_frame_payload(pu8Frame);
    for (u32 k = 0; k < words; k++) {
        u16 word = voice_get_u16(payload + 2 * k);
        for (u32 j = 0; j < 8; j++)
            pu8Code[8 * k + j] = (u8)((word >> (14 - 2 * j)) & 3);
    }
    return (s32)(8 * words);
}

void G726_encode(G726_16K_STATE_S *pstState, const s16 *ps16In, u8 *pu8Frame, s32 n)
{
    u8 codes[VOICE_MAX_POINT_NUM];
    G726_encode_core(pstState, ps16In, codes, n);
    G726_encoder_pack(codes, pu8Frame, n);
}

s32 G726_decode(G726_16K_STATE_S *pstState, const u8 *pu8Frame, s16 *ps16Out)
{
    u8 codes[8 * 255];
    s32 n = G726_decoder_unpack(pu8Frame, codes);
    G726_decode_core(pstState, codes, ps16Out, n);
    return n;
}
