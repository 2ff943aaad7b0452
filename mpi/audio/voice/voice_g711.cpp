#include "mpi/audio/voice/voice_g711.h"

#include <algorithm>
#include <array>

namespace {

constexpr u8 kAlawEven = 0x55; // A-law inverts every other bit
constexpr u8 kAlawPositive = 0xD5;
constexpr u8 kUlawPositive = 0xFF;
constexpr u8 kUlawNegative = 0x7F;
constexpr s32 kUlawBias = 33;   // in 14-bit scale
constexpr s32 kUlawClip = 8159; // largest magnitude before the bias

constexpr s16 alaw_expand(u8 code)
{
    u8 v = code ^ kAlawEven;
    s32 mant = (v & 15) << 4;
    s32 seg = (v >> 4) & 7;
    s32 mag = seg ? (mant + 0x108) << (seg - 1) : mant + 8;
    return (s16)((v & 0x80) ? mag : -mag);
}

constexpr s16 ulaw_expand(u8 code)
{
    u8 v = (u8)~code;
    s32 t = (((v & 15) << 3) + kUlawBias * 4) << ((v >> 4) & 7);
    return (s16)((v & 0x80) ? kUlawBias * 4 - t : t - kUlawBias * 4);
}

// G.711's transcoding tables, by magnitude code (sign and inversion
// removed): the A-law magnitude + 1 for each µ-law magnitude, and the µ-law
// magnitude for each A-law magnitude.
constexpr u8 kUlawToAlawMag[128] = {
    1,   1,   2,   2,   3,   3,   4,   4,   5,   5,   6,   6,   7,   7,   8,   8,   9,   10,  11,  12,  13,  14,
    15,  16,  17,  18,  19,  20,  21,  22,  23,  24,  25,  27,  29,  31,  33,  34,  35,  36,  37,  38,  39,  40,
    41,  42,  43,  44,  46,  48,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,  64,  65,
    66,  67,  68,  69,  70,  71,  72,  73,  74,  75,  76,  77,  78,  79,  80,  82,  83,  84,  85,  86,  87,  88,
    89,  90,  91,  92,  93,  94,  95,  96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110,
    111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 128};
constexpr u8 kAlawToUlawMag[128] = {
    1,   3,   5,   7,   9,   11,  13,  15,  16,  17,  18,  19,  20,  21,  22,  23,  24,  25,  26,  27,  28,  29,
    30,  31,  32,  32,  33,  33,  34,  34,  35,  35,  36,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,
    48,  48,  49,  49,  50,  51,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61,  62,  63,  64,  64,  65,  66,
    67,  68,  69,  70,  71,  72,  73,  74,  75,  76,  77,  78,  79,  80,  80,  81,  82,  83,  84,  85,  86,  87,
    88,  89,  90,  91,  92,  93,  94,  95,  96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109,
    110, 111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127};

constexpr s16 ulaw_to_alaw_code(u8 u)
{
    return (u & 0x80) ? (u8)(kAlawPositive ^ (kUlawToAlawMag[kUlawPositive ^ u] - 1))
                      : (u8)(kAlawEven ^ (kUlawToAlawMag[kUlawNegative ^ u] - 1));
}

constexpr s16 alaw_to_ulaw_code(u8 a)
{
    return (a & 0x80) ? (u8)(kUlawPositive ^ kAlawToUlawMag[a ^ kAlawPositive])
                      : (u8)(kUlawNegative ^ kAlawToUlawMag[a ^ kAlawEven]);
}

template <class Fn> constexpr std::array<s16, 256> by_code(Fn fn)
{
    std::array<s16, 256> t{};
    for (u32 i = 0; i < 256; i++)
        t[i] = fn((u8)i);
    return t;
}

// Number of significant bits of a non-negative value.
inline s32 bit_count(s32 v) { return v > 0 ? 32 - __builtin_clz((u32)v) : 0; }

using CodeFn = u8 (*)(s16);

void code_block(u16 *block, const s16 *in, s32 n, CodeFn code)
{
    block[0] = 1;
    for (s32 i = 0; i < n; i++)
        block[1 + i] = code(in[i]);
}

void expand_block(const u16 *block, s16 *out, s32 n, const s16 *table)
{
    if (block[0] != 1)
        return;
    for (s32 i = 0; i < n; i++)
        out[i] = table[block[1 + i] & 0xFF];
}

// `swap` puts code 2i into the high byte of payload word i.
void pack(const u16 *block, u8 *frame, s32 n, bool swap)
{
    if (block[0] != 1) {
        voice_frame_put_head(frame, 0);
        return;
    }
    voice_frame_put_head(frame, (u32)n / 2);
    u8 *payload = voice_frame_payload(frame);
    for (s32 i = 0; i < n; i++)
        payload[swap ? i ^ 1 : i] = (u8)block[1 + i];
}

s32 unpack(const u8 *frame, u16 *block, bool swap)
{
    u32 flag = voice_frame_flag_bits(frame);
    if (flag != 1 && flag != 2)
        return 0;
    s32 n = (s32)voice_frame_words(frame) * 2;
    const u8 *payload = voice_frame_payload(frame);
    block[0] = 1;
    for (s32 i = 0; i < n; i++)
        block[1 + i] = payload[swap ? i ^ 1 : i];
    return n;
}

bool is_alaw(s16 type) { return type == VOICE_TYPE_G711A || type == VOICE_TYPE_G711A_SWAP; }
bool is_swapped(s16 type) { return type != VOICE_TYPE_G711A && type != VOICE_TYPE_G711U; }

} // namespace

// Built while compiling from the rules above: one look-up per code at run time.
extern const std::array<s16, 256> g_as16AlawToLinear = by_code(alaw_expand);
extern const std::array<s16, 256> g_as16UlawToLinear = by_code(ulaw_expand);
extern const std::array<s16, 256> g_as16AlawToUlaw = by_code(alaw_to_ulaw_code);
extern const std::array<s16, 256> g_as16UlawToAlaw = by_code(ulaw_to_alaw_code);

u8 alaw_code(s16 s16Sample)
{
    s32 x = s16Sample >> 3;
    u8 mask = kAlawPositive;
    if (x < 0) {
        mask = kAlawEven;
        x = -x - 1;
    }
    // The segment ends are 0x1F, 0x3F, 0x7F .. 0xFFF: a segment per
    // significant bit above the fifth.
    s32 seg = std::max(0, bit_count(x) - 5);
    if (seg == 8)
        return 0x7F ^ mask;
    s32 mant = (x >> (seg < 2 ? 1 : seg)) & 15;
    return (u8)((seg << 4 | mant) ^ mask);
}

u8 ulaw_code(s16 s16Sample)
{
    // The magnitude's top 14 bits, as G.711 decoders elsewhere expect them:
    // -1, -2 and -3 are magnitude 0 (code 0x7F), not the 1 that the top 14
    // bits of the two's complement would give.
    u8 mask = kUlawPositive;
    s32 x = s16Sample >> 2;
    if (s16Sample < 0) {
        mask = kUlawNegative;
        x = -(s32)s16Sample >> 2;
    }
    if (x > kUlawClip)
        x = kUlawClip;
    x += kUlawBias;
    // The segment ends are 0x3F, 0x7F .. 0x1FFF: a segment per significant
    // bit above the sixth (the bias makes six at least).
    s32 seg = bit_count(x) - 6;
    // Clipped full scale lands one past the last segment: it is that
    // segment's top code.
    if (seg == 8)
        return 0x7F ^ mask;
    return (u8)((seg << 4 | ((x >> (seg + 1)) & 15)) ^ mask);
}

void linear2alaw(const s16 *ps16In, u16 *pu16Code, s32 n)
{
    for (s32 i = 0; i < n; i++)
        pu16Code[i] = alaw_code(ps16In[i]);
}

void linear2ulaw(const s16 *ps16In, u16 *pu16Code, s32 n)
{
    for (s32 i = 0; i < n; i++)
        pu16Code[i] = ulaw_code(ps16In[i]);
}

void alaw2linear(const u16 *pu16Code, s16 *ps16Out, s32 n)
{
    for (s32 i = 0; i < n; i++)
        ps16Out[i] = g_as16AlawToLinear[pu16Code[i] & 0xFF];
}

void ulaw2linear(const u16 *pu16Code, s16 *ps16Out, s32 n)
{
    for (s32 i = 0; i < n; i++)
        ps16Out[i] = g_as16UlawToLinear[pu16Code[i] & 0xFF];
}

void alaw2ulaw(const u16 *pu16In, u16 *pu16Out, s32 n)
{
    for (s32 i = 0; i < n; i++)
        pu16Out[i] = (u16)g_as16AlawToUlaw[pu16In[i] & 0xFF];
}

void ulaw2alaw(const u16 *pu16In, u16 *pu16Out, s32 n)
{
    for (s32 i = 0; i < n; i++)
        pu16Out[i] = (u16)g_as16UlawToAlaw[pu16In[i] & 0xFF];
}

void G711_A_ENC(u16 *pu16Block, const s16 *ps16In, s32 n) { code_block(pu16Block, ps16In, n, alaw_code); }
void G711_U_ENC(u16 *pu16Block, const s16 *ps16In, s32 n) { code_block(pu16Block, ps16In, n, ulaw_code); }
void G711_A_DEC(const u16 *pu16Block, s16 *ps16Out, s32 n)
{
    expand_block(pu16Block, ps16Out, n, g_as16AlawToLinear.data());
}
void G711_U_DEC(const u16 *pu16Block, s16 *ps16Out, s32 n)
{
    expand_block(pu16Block, ps16Out, n, g_as16UlawToLinear.data());
}

void encoder_pack(const u16 *pu16Block, u8 *pu8Frame, s32 n) { pack(pu16Block, pu8Frame, n, false); }
void encoder_org_pack(const u16 *pu16Block, u8 *pu8Frame, s32 n) { pack(pu16Block, pu8Frame, n, true); }
s32 decoder_unpack(const u8 *pu8Frame, u16 *pu16Block) { return unpack(pu8Frame, pu16Block, false); }
s32 decoder_org_unpack(const u8 *pu8Frame, u16 *pu16Block) { return unpack(pu8Frame, pu16Block, true); }

// The engine's frames are coded straight into and out of the payload, one
// pass a frame, as the block routines and the packing above would.
namespace {

template <u8 (*Code)(s16)> void code_payload(const s16 *in, u8 *payload, s32 n, s32 swap)
{
    for (s32 i = 0; i < n; i++)
        payload[i ^ swap] = Code(in[i]);
}

} // namespace

void G711_encode(G711_STATE_S *, const s16 *ps16In, u8 *pu8Frame, s16 s16Type, s32 n)
{
    const s32 swap = is_swapped(s16Type) ? 1 : 0;
    voice_frame_put_head(pu8Frame, (u32)n / 2);
    if (is_alaw(s16Type))
        code_payload<alaw_code>(ps16In, voice_frame_payload(pu8Frame), n, swap);
    else
        code_payload<ulaw_code>(ps16In, voice_frame_payload(pu8Frame), n, swap);
}

s32 G711_decode(G711_STATE_S *, const u8 *pu8Frame, s16 *ps16Out, s16 s16Type)
{
    u32 flag = voice_frame_flag_bits(pu8Frame);
    if (flag != 1 && flag != 2)
        return 0;
    const s16 *table = is_alaw(s16Type) ? g_as16AlawToLinear.data() : g_as16UlawToLinear.data();
    const s32 swap = is_swapped(s16Type) ? 1 : 0;
    const s32 n = (s32)voice_frame_words(pu8Frame) * 2;
    const u8 *payload = voice_frame_payload(pu8Frame);
    for (s32 i = 0; i < n; i++)
        ps16Out[i] = table[payload[i ^ swap]];
    return n;
}
