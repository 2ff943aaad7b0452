#include "mpi/audio/voice/voice_g726.h"

namespace {

// The Recommendation's tables for one code size, by magnitude (the code with
// its sign folded away): quantizer decision levels (ending with a stop value),
// reconstruction levels, scale-factor multipliers W (in 16ths) and
// transition values F.
struct Tables {
    const s16 *decision;
    const s16 *recon;
    const s16 *w;
    const s16 *f;
};

constexpr s16 kStop = 32767;

const s16 kDecision16[] = {261, kStop}; // magnitude 1 above 260
const s16 kRecon16[] = {116, 365};
const s16 kW16[] = {-22, 439};
const s16 kF16[] = {0, 7};

const s16 kDecision24[] = {8, 218, 331, kStop};
const s16 kRecon24[] = {-2048, 135, 273, 373};
const s16 kW24[] = {-4, 30, 137, 582};
const s16 kF24[] = {0, 1, 2, 7};

const s16 kDecision32[] = {-124, 80, 178, 246, 300, 349, 400, kStop};
const s16 kRecon32[] = {-2048, 4, 135, 213, 273, 323, 373, 425};
const s16 kW32[] = {-12, 18, 41, 64, 112, 198, 355, 1122};
const s16 kF32[] = {0, 0, 0, 1, 1, 1, 3, 7};

const s16 kDecision40[] = {-122, -16, 68, 139, 198, 250, 298, 339, 378, 413, 445, 475, 502, 528, 553, kStop};
const s16 kRecon40[] = {-2048, -66, 28, 104, 169, 224, 274, 318, 358, 395, 429, 459, 488, 514, 539, 566};
const s16 kW40[] = {14, 14, 24, 39, 40, 41, 58, 100, 141, 179, 219, 280, 358, 440, 529, 696};
const s16 kF40[] = {0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 3, 4, 5, 6, 6};

const Tables kTables[4] = {
    {kDecision16, kRecon16, kW16, kF16},
    {kDecision24, kRecon24, kW24, kF24},
    {kDecision32, kRecon32, kW32, kF32},
    {kDecision40, kRecon40, kW40, kF40},
};

constexpr u16 kMinBits = 2;
constexpr u16 kMaxBits = 5;

const Tables &tables(u16 bits) { return kTables[bits - kMinBits]; }

// Codes at or above half the code space are negative; the magnitude index
// counts down from the all-ones code.
s32 half(u16 bits) { return 1 << (bits - 1); }
s32 all_ones(u16 bits) { return (1 << bits) - 1; }
s32 magnitude(s32 code, u16 bits) { return code < half(bits) ? code : all_ones(bits) - code; }
bool negative(s32 code, u16 bits) { return code >= half(bits); }

// Number of significant bits of a non-negative value.
[[gnu::always_inline]] inline s32 bit_count(s32 v) { return v > 0 ? 32 - __builtin_clz((u32)v) : 0; }

// FMULT: a coefficient times a value in floating form. Eight of them a
// sample: kept inline.
[[gnu::always_inline]] inline s32 fmult(s32 an, s32 srn)
{
    const s32 anmag = an > 0 ? an : (-an) & 0x1FFF;
    const s32 anbits = bit_count(anmag); // the exponent + 6
    // Six mantissa bits (32 for zero); shifting up first keeps it exact both ways.
    const s32 anmant = anmag == 0 ? 32 : (anmag << 6) >> anbits;
    const s32 wanexp = anbits - 6 + ((srn >> 6) & 0xF) - 13; // -19..9
    const u32 wanmant = (u32)((anmant * (srn & 0x3F) + 0x30) >> 4);
    // Both shifts made, one taken: no branch.
    const u32 up = (wanmant << (wanexp & 15)) & 0x7FFF, down = wanmant >> ((-wanexp) & 31);
    const s32 ret = (s32)(wanexp >= 0 ? up : down);
    return ((an ^ srn) < 0) ? -ret : ret;
}

// FLOAT_A / FLOAT_B: a magnitude and sign into the floating form.
s32 to_float(s32 mag, bool neg)
{
    if (mag == 0)
        return neg ? 0x20 - 0x400 : 0x20;
    s32 exp = bit_count(mag);
    s32 f = (exp << 6) + ((mag << 6) >> exp);
    return neg ? f - 0x400 : f;
}

// Codes least significant bit first into a continuous stream of bytes.
struct BitWriter {
    u8 *out;
    u32 acc = 0, held = 0;
    void put(u32 code, u16 bits)
    {
        acc |= code << held;
        held += bits;
        while (held >= 8) {
            *out++ = (u8)acc;
            acc >>= 8;
            held -= 8;
        }
    }
    void flush()
    {
        if (held)
            *out = (u8)acc;
    }
};

u32 get_bits(const u8 *payload, u32 bit_pos, u16 bits)
{
    u32 code = 0;
    for (u16 b = 0; b < bits; b++, bit_pos++)
        code |= (u32)((payload[bit_pos / 8] >> (bit_pos & 7)) & 1) << b;
    return code;
}

// Stream bit i: bit i % 8 of byte i / 8 least significant bit first, bit
// 7 - i % 8 most significant bit first.
u32 get_code(const u8 *payload, u32 k, u16 bits, bool msb_first)
{
    if (!msb_first)
        return get_bits(payload, k * bits, bits);
    u32 code = 0;
    for (u32 bit = k * bits; bit < (k + 1) * bits; bit++)
        code = code << 1 | ((payload[bit / 8] >> (7 - (bit & 7))) & 1);
    return code;
}

void put_code(u8 *payload, u32 k, u32 code, u16 bits, bool msb_first)
{
    for (u16 b = 0; b < bits; b++) {
        u32 bit = k * bits + b;
        u32 value = msb_first ? code >> (bits - 1 - b) & 1 : code >> b & 1;
        u32 shift = msb_first ? 7 - (bit & 7) : bit & 7;
        payload[bit / 8] = (u8)((payload[bit / 8] & ~(1u << shift)) | value << shift);
    }
}

constexpr s32 kMaxPayloadBytes = 2 * 255;

// Reads every code in one order, then writes them in the other.
s32 repack(u8 *payload, u16 bits, s32 bytes, bool to_msb_first)
{
    if (bytes < 1 || bytes > kMaxPayloadBytes || bits < kMinBits || bits > kMaxBits || (bytes * 8) % bits)
        return -1;
    u8 codes[kMaxPayloadBytes * 8 / kMinBits];
    const u32 count = (u32)bytes * 8 / bits;
    for (u32 k = 0; k < count; k++)
        codes[k] = (u8)get_code(payload, k, bits, !to_msb_first);
    for (u32 k = 0; k < count; k++)
        put_code(payload, k, codes[k], bits, to_msb_first);
    return 0;
}

} // namespace

void G726Reset(G726_STATE_S *pstState, u16 u16Bits)
{
    s16 type = pstState->s16Type;
    *pstState = G726_STATE_S{};
    pstState->s16Type = type;
    pstState->u16Bits = u16Bits < kMinBits ? kMinBits : u16Bits > kMaxBits ? kMaxBits : u16Bits;
    for (s32 &v : pstState->dq)
        v = 32;
    pstState->sr1 = pstState->sr2 = 32;
    pstState->yl = 34816;
    pstState->yu = 544;
    pstState->u16Law = G726_LAW_UNIFORM;
}

// TRANS: a large difference after a tone is a transition.
bool g726_transition(s32 yl, s32 s32DqMag)
{
    s32 ylint = yl >> 15;
    s32 ylfrac = (yl >> 10) & 0x1F;
    s32 thr = ylint > 9 ? 31 << 10 : (32 + ylfrac) << ylint;
    s32 dqthr = (thr + (thr >> 1)) >> 1;
    return s32DqMag > dqthr;
}

namespace {

// The blocks as the step below runs them; each is also public under the
// Recommendation's name.
// The Recommendation's accumulators are 16 bits wide: the zeros' sum, the
// poles' sum and their total each wrap there, before the halving.
G726_ESTIMATE_S estimate(const G726_STATE_S *pstState)
{
    s32 zeros = 0;
    for (s32 i = 0; i < 6; i++)
        zeros += fmult(pstState->b[i] >> 2, pstState->dq[i]);
    const s16 sezi = (s16)zeros;
    const s16 poles = (s16)(fmult(pstState->a2 >> 2, pstState->sr2) + fmult(pstState->a1 >> 2, pstState->sr1));
    const s16 sei = (s16)(sezi + poles);
    return {(s16)(sei >> 1), (s16)(sezi >> 1)};
}

s32 difference(s32 sl, s32 se) { return (s16)(sl - se); }

// MIX: the scale factor between the fast and the slow one, by the speed control.
s32 mix_scale(const G726_STATE_S *pstState)
{
    if (pstState->ap >= 256)
        return pstState->yu;
    s32 y = pstState->yl >> 6;
    s32 dif = pstState->yu - y;
    s32 al = pstState->ap >> 2;
    // The product is taken in sign and magnitude: it rounds toward zero.
    if (dif > 0)
        y += (dif * al) >> 6;
    else if (dif < 0)
        y += (dif * al + 0x3F) >> 6;
    return y;
}

// LOG, SUBTB and QUAN.
s32 quantize(s32 d, s32 y, u16 u16Bits)
{
    s32 dqm = d < 0 ? -d : d;
    s32 exp = bit_count(dqm >> 1);
    s32 mant = ((dqm << 7) >> exp) & 0x7F;
    s32 dln = (s16)((exp << 7) + mant - (y >> 2));
    if (u16Bits == kMinBits) {
        s32 large = dln > 260;
        return d < 0 ? 3 - large : large;
    }
    const s16 *levels = tables(u16Bits).decision;
    s32 i = 0;
    while (dln >= levels[i])
        i++;
    if (d < 0)
        return all_ones(u16Bits) - i;
    return i == 0 ? all_ones(u16Bits) : i;
}

// RECONST, ADDA and ANTILOG: the quantized difference in sign and magnitude
// (a negative one as magnitude - 0x8000).
s32 reconstruct(s32 s32Code, s32 y, u16 u16Bits)
{
    bool neg = negative(s32Code, u16Bits);
    s32 dql = tables(u16Bits).recon[magnitude(s32Code, u16Bits)] + (y >> 2);
    if (dql < 0)
        return neg ? -0x8000 : 0;
    s32 dex = (dql >> 7) & 15;
    s32 dqt = 128 + (dql & 127);
    s32 dq = (dqt << 7) >> (14 - dex);
    return (s16)(neg ? dq - 0x8000 : dq);
}

// TRANS: a large difference after a tone is a transition.
bool is_transition(const G726_STATE_S *pstState, s32 dq)
{
    return pstState->td && g726_transition(pstState->yl, dq & 0x7FFF);
}

// FUNCTW, FILTD, LIMB and FILTE.
void adapt_scale(G726_STATE_S *pstState, s32 y, s32 wi)
{
    s32 yu = y + ((wi - y) >> 5);
    pstState->yu = yu < 544 ? 544 : yu > 5120 ? 5120 : yu;
    pstState->yl += pstState->yu + ((-pstState->yl) >> 6);
}

// UPA2, LIMC, UPA1, LIMD, UPB, FLOAT_A, FLOAT_B and the delays; the new a2.
s32 adapt_predictor(G726_STATE_S *pstState, bool tr, s32 dq, s32 sr, s32 dqsez)
{
    G726_STATE_S &s = *pstState;
    s32 pk0 = dqsez < 0 ? 1 : 0;
    s32 mag = dq & 0x7FFF;
    s32 a2p = 0;
    if (tr) {
        s.a1 = s.a2 = 0;
        for (s32 &b : s.b)
            b = 0;
    } else {
        s32 pks1 = pk0 ^ s.pk1;
        a2p = s.a2 - (s.a2 >> 7);
        if (dqsez != 0) {
            s32 fa1 = pks1 ? s.a1 : -s.a1;
            if (fa1 < -8191)
                a2p -= 0x100;
            else if (fa1 > 8191)
                a2p += 0xFF;
            else
                a2p += fa1 >> 5;
            if (pk0 ^ s.pk2)
                a2p = a2p <= -12160 ? -12288 : a2p >= 12416 ? 12288 : a2p - 0x80;
            else
                a2p = a2p <= -12416 ? -12288 : a2p >= 12160 ? 12288 : a2p + 0x80;
        }
        s.a2 = (s16)a2p;

        s32 a1 = s.a1 - (s.a1 >> 8);
        if (dqsez != 0)
            a1 += pks1 ? -192 : 192;
        s32 a1ul = 15360 - a2p;
        s.a1 = (s16)(a1 < -a1ul ? -a1ul : a1 > a1ul ? a1ul : a1);

        // The 40 kbit/s coder leaks its zeros at half the rate.
        s32 leak = s.u16Bits == kMaxBits ? 9 : 8;
        for (s32 i = 0; i < 6; i++) {
            s32 b = s.b[i] - (s.b[i] >> leak);
            if (mag != 0)
                b += ((dq ^ s.dq[i]) >= 0) ? 128 : -128;
            s.b[i] = (s16)b;
        }
    }
    for (s32 i = 5; i > 0; i--)
        s.dq[i] = s.dq[i - 1];
    s.dq[0] = to_float(mag, dq < 0);

    s.sr2 = s.sr1;
    if (sr == -32768)
        s.sr1 = 0x20 - 0x400;
    else
        s.sr1 = to_float(sr < 0 ? -sr : sr, sr < 0);

    s.pk2 = s.pk1;
    s.pk1 = pk0;
    return a2p;
}

// TONE: strong negative correlation marks a tone.
void detect_tone(G726_STATE_S *pstState, bool tr, s32 a2p) { pstState->td = !tr && a2p < -11776; }

// FUNCTF, FILTA, FILTB, SUBTC, FILTC and TRIGA.
void adapt_speed(G726_STATE_S *pstState, bool tr, s32 y, s32 fi)
{
    G726_STATE_S &s = *pstState;
    s.dms = (s16)(s.dms + ((fi - s.dms) >> 5));
    s.dml = (s16)(s.dml + ((fi * 4 - s.dml) >> 7));
    s32 diff = s.dms * 4 - s.dml;
    if (diff < 0)
        diff = -diff;
    if (tr)
        s.ap = 256;
    else if (y < 1536 || s.td || diff >= (s.dml >> 3))
        s.ap = (s16)(s.ap + ((0x200 - s.ap) >> 4));
    else
        s.ap = (s16)(s.ap + ((-s.ap) >> 4));
}

// LIMO: the 14-bit range of uniform PCM.
s32 limit_output(s32 sr) { return sr < -8192 ? -8192 : sr > 8191 ? 8191 : sr; }

} // namespace

G726_ESTIMATE_S AdaptativePredictorAndReconstructedSignalCalculator1(const G726_STATE_S *pstState)
{
    return estimate(pstState);
}
s32 DifferenceSignalComputation(s32 sl, s32 se) { return difference(sl, se); }
s32 QuantizerScaleFactorAdaptation1(const G726_STATE_S *pstState) { return mix_scale(pstState); }
s32 AdaptiveQuantizer(s32 d, s32 y, u16 u16Bits) { return quantize(d, y, u16Bits); }
s32 InverseAdaptiveQuantizer(s32 s32Code, s32 y, u16 u16Bits) { return reconstruct(s32Code, y, u16Bits); }
bool ToneAndTransitionDetector1(const G726_STATE_S *pstState, s32 dq) { return is_transition(pstState, dq); }
void QuantizerScaleFactorAdaptation2(G726_STATE_S *pstState, s32 y, s32 wi) { adapt_scale(pstState, y, wi); }
s32 AdaptativePredictorAndReconstructedSignalCalculator2(G726_STATE_S *pstState, bool tr, s32 dq, s32 sr, s32 dqsez)
{
    return adapt_predictor(pstState, tr, dq, sr, dqsez);
}
void ToneAndTransitionDetector2(G726_STATE_S *pstState, bool tr, s32 a2p) { detect_tone(pstState, tr, a2p); }
void AdaptationSpeedControl2(G726_STATE_S *pstState, bool tr, s32 y, s32 fi) { adapt_speed(pstState, tr, y, fi); }
s32 OutputLimiting(s32 sr) { return limit_output(sr); }

namespace {

// One sample through the blocks, encoding or decoding.
s32 step(G726_STATE_S *pstState, s32 s32Value, bool bEncode)
{
    G726_STATE_S &s = *pstState;
    const u16 bits = s.u16Bits;
    G726_ESTIMATE_S est = estimate(pstState);
    s32 y = mix_scale(pstState);
    s32 code;
    if (bEncode) {
        s32 sl = (s16)s32Value >> 2; // 14-bit uniform PCM
        code = quantize(difference(sl, est.se), y, bits);
    } else {
        code = s32Value & all_ones(bits);
    }
    s32 dq = reconstruct(code, y, bits);
    // The magnitude keeps its 15 bits: 40 kbit/s differences reach 16384.
    s32 sr = (s16)(dq < 0 ? est.se - (dq & 0x7FFF) : est.se + dq);
    s32 dqsez = (s16)(sr + est.sez - est.se);

    const Tables &t = tables(bits);
    s32 m = magnitude(code, bits);
    bool tr = is_transition(pstState, dq);
    adapt_scale(pstState, y, t.w[m] * 32);
    s32 a2p = adapt_predictor(pstState, tr, dq, sr, dqsez);
    detect_tone(pstState, tr, a2p);
    adapt_speed(pstState, tr, y, t.f[m] * 512);
    return bEncode ? code : limit_output(sr) * 4;
}

} // namespace

s32 EncodeDecode(G726_STATE_S *pstState, s32 s32Value, bool bEncode) { return step(pstState, s32Value, bEncode); }

s32 EncodeOne(G726_STATE_S *pstState, s16 s16Sample) { return step(pstState, s16Sample, true); }

s16 DecodeOne(G726_STATE_S *pstState, s32 s32Code)
{
    return (s16)step(pstState, s32Code & all_ones(pstState->u16Bits), false);
}

s32 Encode726(G726_STATE_S *pstState, s16 s16Sample) { return step(pstState, s16Sample, true); }

void G726Encode(G726_STATE_S *pstState, const s16 *ps16In, u8 *pu8Payload, s32 n)
{
    BitWriter w{pu8Payload};
    for (s32 i = 0; i + 1 < n; i += 2) {
        w.put((u32)step(pstState, ps16In[i], true), pstState->u16Bits);
        w.put((u32)step(pstState, ps16In[i + 1], true), pstState->u16Bits);
    }
    w.flush();
}

void Encode72616k(G726_STATE_S *pstState, const s16 *ps16In, u8 *pu8Payload, s32 n)
{
    if (n < 1)
        return;
    pu8Payload[0] = 0;
    for (s32 i = 0; i < n; i++) {
        if ((i & 3) == 0)
            pu8Payload[i / 4] = 0;
        pu8Payload[i / 4] |= (u8)(step(pstState, ps16In[i], true) << (2 * (i & 3)));
    }
}

s32 G726Decode(G726_STATE_S *pstState, const u8 *pu8Payload, s16 *ps16Out, s32 s32Bytes)
{
    const u16 bits = pstState->u16Bits;
    const u32 mask = (1u << bits) - 1;
    s32 n = s32Bytes > 0 ? s32Bytes * 8 / bits : 0;
    u32 acc = 0, held = 0;
    for (s32 i = 0; i < n; i++) {
        while (held < bits) {
            acc |= (u32)*pu8Payload++ << held;
            held += 8;
        }
        ps16Out[i] = (s16)step(pstState, (s32)(acc & mask), false);
        acc >>= bits;
        held -= bits;
    }
    return n;
}

s32 G726Rtp2AsfFormat(u8 *pu8Payload, u16 u16Bits, s32 s32Bytes) { return repack(pu8Payload, u16Bits, s32Bytes, true); }

s32 G726Asf2RtpFormat(u8 *pu8Payload, u16 u16Bits, s32 s32Bytes)
{
    return repack(pu8Payload, u16Bits, s32Bytes, false);
}
