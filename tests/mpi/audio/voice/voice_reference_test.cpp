// The voice codecs against spandsp: G.711 code for code, IMA/DVI ADPCM and
// G.726 frame by frame in both directions.
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "mpi/audio/voice/voice_engine.h"
#include "tests/mpi/audio/voice/voice_reference.h"

namespace {

using voicetest::tone_plus_noise;

TEST(G711Reference, DecodesEveryCodeAsTheReference)
{
    for (int code = 0; code < 256; code++) {
        SCOPED_TRACE(code);
        EXPECT_EQ(alaw_to_linear((uint8_t)code), g_as16AlawToLinear[code]);
        EXPECT_EQ(ulaw_to_linear((uint8_t)code), g_as16UlawToLinear[code]);
    }
}

TEST(G711Reference, ConversionTablesAreTheReference)
{
    for (int code = 0; code < 256; code++) {
        SCOPED_TRACE(code);
        EXPECT_EQ(alaw_to_ulaw((uint8_t)code), g_as16AlawToUlaw[code]);
        EXPECT_EQ(ulaw_to_alaw((uint8_t)code), g_as16UlawToAlaw[code]);
    }
}

TEST(G711Reference, EncodesAsTheReference)
{
    // Every 16-bit input.
    int alaw_diffs = 0, ulaw_diffs = 0;
    for (int x = -32768; x <= 32767; x++) {
        alaw_diffs += alaw_code((s16)x) != linear_to_alaw(x);
        ulaw_diffs += ulaw_code((s16)x) != linear_to_ulaw(x);
    }
    EXPECT_EQ(0, alaw_diffs);
    EXPECT_EQ(0, ulaw_diffs);
    for (int code = 0; code < 256; code++) {
        if (code == 0x7F) // negative zero decodes to 0, which codes as positive zero
            continue;
        EXPECT_EQ(code, ulaw_code(g_as16UlawToLinear[code])) << code;
        EXPECT_EQ(code, alaw_code(g_as16AlawToLinear[code])) << code;
    }
}

TEST(G711Reference, EdgeCodes)
{
    struct Case {
        s16 x;
        u8 alaw, ulaw;
    };
    const Case cases[] = {{0, 0xD5, 0xFF},     {-1, 0x55, 0x7F},        {-3, 0x55, 0x7F},
                          {-4, 0x55, 0x7E},    {32767, 0xAA, 0x80},     {-32768, 0x2A, 0x00}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(c.alaw, alaw_code(c.x));
        EXPECT_EQ(c.ulaw, ulaw_code(c.x));
    }
}

// A spandsp coder, owned.
using Ref = std::unique_ptr<void, std::function<void(void *)>>;

Ref g726_ref(int rate, bool msb_first)
{
    return Ref(g726_init(nullptr, rate, G726_ENCODING_LINEAR, msb_first ? G726_PACKING_LEFT : G726_PACKING_RIGHT),
               [](void *p) { g726_free(static_cast<g726_state_t *>(p)); });
}

Ref ima_ref(int variant, int chunk)
{
    return Ref(ima_adpcm_init(nullptr, variant, chunk),
               [](void *p) { ima_adpcm_free(static_cast<ima_adpcm_state_t *>(p)); });
}

// How one engine type's frames relate to spandsp's output for the same
// samples: spandsp's bytes for one frame, and the frame's payload that
// should equal them.
struct Case {
    const char *name;
    s16 type;
    s32 frame_samples;
    std::function<Ref()> make_ref;
    std::function<int(void *, uint8_t *, const int16_t *, int)> ref_encode;
    std::function<int(void *, int16_t *, const uint8_t *, int)> ref_decode;
    // spandsp's bytes of one frame as our payload (DVI4 puts its header's
    // predicted value big-endian, ours is a little-endian word).
    std::function<std::vector<u8>(const std::vector<u8> &)> to_payload;
};

std::vector<u8> as_is(const std::vector<u8> &b) { return b; }

std::vector<u8> dvi4_header_to_words(const std::vector<u8> &b)
{
    std::vector<u8> p = b;
    std::swap(p[0], p[1]);
    return p;
}

int g726_enc(void *s, uint8_t *out, const int16_t *in, int n)
{
    return g726_encode(static_cast<g726_state_t *>(s), out, in, n);
}
int g726_dec(void *s, int16_t *out, const uint8_t *in, int n)
{
    return g726_decode(static_cast<g726_state_t *>(s), out, in, n);
}
int ima_enc(void *s, uint8_t *out, const int16_t *in, int n)
{
    return ima_adpcm_encode(static_cast<ima_adpcm_state_t *>(s), out, in, n);
}
int ima_dec(void *s, int16_t *out, const uint8_t *in, int n)
{
    return ima_adpcm_decode(static_cast<ima_adpcm_state_t *>(s), out, in, n);
}

std::vector<Case> cases()
{
    std::vector<Case> v;
    const struct {
        s16 lsb, msb;
        int rate;
    } g726[] = {{VOICE_TYPE_G726_16K, VOICE_TYPE_G726_16K_MSB, 16000},
                {VOICE_TYPE_G726_24K, VOICE_TYPE_G726_24K_MSB, 24000},
                {VOICE_TYPE_G726_32K, VOICE_TYPE_G726_32K_MSB, 32000},
                {VOICE_TYPE_G726_40K, VOICE_TYPE_G726_40K_MSB, 40000}};
    static const char *names[] = {"G.726 16k LSB first", "G.726 16k MSB first", "G.726 24k LSB first",
                                  "G.726 24k MSB first", "G.726 32k LSB first", "G.726 32k MSB first",
                                  "G.726 40k LSB first", "G.726 40k MSB first"};
    int k = 0;
    for (const auto &g : g726) {
        for (bool msb : {false, true}) {
            int rate = g.rate;
            v.push_back({names[k++], msb ? g.msb : g.lsb, 320, [rate, msb] { return g726_ref(rate, msb); }, g726_enc,
                         g726_dec, as_is});
        }
    }
    // A chunk size of 0: every call is a block with its header.
    v.push_back({"DVI4 with block header", VOICE_TYPE_ADPCM_DVI4, 320, [] { return ima_ref(IMA_ADPCM_DVI4, 0); },
                 ima_enc, ima_dec, dvi4_header_to_words});
    v.push_back(
        {"IMA4", VOICE_TYPE_ADPCM_IMA, 321, [] { return ima_ref(IMA_ADPCM_IMA4, 0); }, ima_enc, ima_dec, as_is});
    return v;
}

// The signals the coders are held to the reference on: a tone under noise
// at speech level and loud enough to overload them, a full-scale square wave,
// and speech 12 dB too loud, clipped.
struct Level {
    const char *name;
    std::vector<int16_t> (*make)();
    bool overload;      // G.726 may reach the limit of its output
    bool reaches_limit; // and does
};
std::vector<int16_t> square_500hz()
{
    std::vector<int16_t> v(voicetest::kRate * 3 / 2);
    for (size_t i = 0; i < v.size(); i++)
        v[i] = (i / 8) % 2 ? -32768 : 32767;
    return v;
}
std::vector<int16_t> loud_speech()
{
    std::vector<int16_t> v = voicetest::speech_like(1.5);
    for (int16_t &x : v)
        x = (int16_t)std::max(-32768, std::min(32767, 4 * (int)x));
    return v;
}
const Level kLevels[] = {
    {"speech level", [] { return tone_plus_noise(1.5, 1020, 6000); }, false, false},
    {"overload", [] { return tone_plus_noise(1.5, 1020, 30000); }, true, true},
    {"full-scale 500 Hz square", square_500hz, true, false},
    {"speech 12 dB too loud", loud_speech, true, false},
};
constexpr int kFrames = 25;

TEST(VoiceReference, EncodesFrameByFrameAsTheReference)
{
    for (const Level &level : kLevels) {
        const std::vector<int16_t> pcm = level.make();
        for (const Case &c : cases()) {
            SCOPED_TRACE(std::string(c.name) + ", " + level.name);
            VOICE_STATE_U st;
            ASSERT_EQ(0, DU_VOICE_EncReset(&st, c.type));
            Ref ref = c.make_ref();
            for (int f = 0; f < kFrames; f++) {
                const int16_t *in = &pcm[(size_t)f * c.frame_samples];
                u8 frame[VOICE_MAX_FRAME_LEN];
                ASSERT_EQ(0, DU_VOICE_EncodeFrame(&st, in, frame, c.frame_samples));
                std::vector<u8> ref_bytes(1024);
                ref_bytes.resize(c.ref_encode(ref.get(), ref_bytes.data(), in, c.frame_samples));
                std::vector<u8> payload(frame + 4, frame + 4 + 2 * voice_frame_words(frame));
                ASSERT_EQ(c.to_payload(ref_bytes), payload) << "frame " << f;
            }
        }
    }
}

// spandsp lets an overloaded G.726 output wrap around; ours holds at the
// limit of 14-bit PCM, as the Recommendation's output limiter does.
bool at_limit(s16 v) { return v == -32768 || v == 32764; }

TEST(VoiceReference, DecodesTheReferenceStreamAsTheReference)
{
    for (const Level &level : kLevels) {
        const std::vector<int16_t> pcm = level.make();
        int limited_total = 0;
        for (const Case &c : cases()) {
            SCOPED_TRACE(std::string(c.name) + ", " + level.name);
            Ref enc = c.make_ref(), dec = c.make_ref();
            VOICE_STATE_U st;
            ASSERT_EQ(0, DU_VOICE_DecReset(&st, c.type));
            const bool g726 = c.type != VOICE_TYPE_ADPCM_DVI4 && c.type != VOICE_TYPE_ADPCM_IMA;
            int limited = 0; // samples where spandsp wrapped
            for (int f = 0; f < kFrames; f++) {
                std::vector<u8> bytes(1024);
                bytes.resize(c.ref_encode(enc.get(), bytes.data(), &pcm[(size_t)f * c.frame_samples], c.frame_samples));
                std::vector<int16_t> want(1024);
                want.resize(c.ref_decode(dec.get(), want.data(), bytes.data(), (int)bytes.size()));

                std::vector<u8> payload = c.to_payload(bytes);
                std::vector<u8> frame(4 + payload.size());
                voice_frame_put_head(frame.data(), (u32)payload.size() / 2);
                std::copy(payload.begin(), payload.end(), frame.begin() + 4);
                const std::vector<u8> sent = frame;
                s16 got[VOICE_MAX_POINT_NUM];
                u16 count = 0;
                ASSERT_EQ(0, DU_VOICE_DecodeFrame(&st, frame.data(), got, &count)) << "frame " << f;
                ASSERT_EQ(want.size(), count) << "frame " << f;
                for (u16 i = 0; i < count; i++) {
                    if (got[i] == want[i])
                        continue;
                    if (!(level.overload && g726 && at_limit(got[i])))
                        FAIL() << "frame " << f << " sample " << i << ": " << got[i] << ", reference " << want[i];
                    limited++;
                }
                EXPECT_EQ(sent, frame) << "the frame is read, not changed";
            }
            limited_total += limited;
        }
        if (level.reaches_limit) {
            EXPECT_LT(0, limited_total) << "the output limiter was not reached";
        }
    }
}

// Each code from each step index, with the predicted value near its limits
// and between them: an IMA block whose header sets the value and the index,
// its first code the one under test and three more after it.
TEST(VoiceReference, DecodesEveryCodeFromEveryStepIndexAsTheReference)
{
    const s16 starts[] = {-32768, -30000, -7, 0, 5, 30000, 32767};
    for (s16 start : starts)
        for (int index = 0; index <= ADPCM_MAX_STEP_INDEX; index++)
            for (int code = 0; code < 16; code++) {
                SCOPED_TRACE("start " + std::to_string(start) + ", index " + std::to_string(index) + ", code " +
                             std::to_string(code));
                const std::vector<u8> block = {(u8)start, (u8)((u16)start >> 8), (u8)index, 0,
                                               (u8)((code ^ 8) << 4 | code), (u8)((15 - code) << 4 | 7)};
                Ref ref = ima_ref(IMA_ADPCM_IMA4, 0);
                std::vector<int16_t> want(16);
                want.resize(ima_dec(ref.get(), want.data(), block.data(), (int)block.size()));
                std::vector<u8> frame(4 + block.size());
                voice_frame_put_head(frame.data(), (u32)block.size() / 2);
                std::copy(block.begin(), block.end(), frame.begin() + 4);
                VOICE_STATE_U st;
                ASSERT_EQ(0, DU_VOICE_DecReset(&st, VOICE_TYPE_ADPCM_IMA));
                s16 got[VOICE_MAX_POINT_NUM];
                u16 count = 0;
                ASSERT_EQ(0, DU_VOICE_DecodeFrame(&st, frame.data(), got, &count));
                ASSERT_EQ(std::vector<int16_t>(want), std::vector<int16_t>(got, got + count));
            }
}

} // namespace
