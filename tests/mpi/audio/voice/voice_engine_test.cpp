// The voice engine: frame format, the sample counts and types it takes, its
// refusals, the ADPCM frame checks, repacking and transcoding, and the second
// 16 kbit/s coder.
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "mpi/audio/voice/voice_engine.h"
#include "tests/mpi/audio/voice/voice_reference.h"

namespace {

using voicetest::tone_plus_noise;

std::vector<s16> tone(double hz, size_t n, double amp = 8000)
{
    std::vector<s16> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = (s16)lrint(amp * sin(2 * M_PI * hz * i / 8000 + 0.3));
    return v;
}

VOICE_STATE_U encoder(s16 type)
{
    VOICE_STATE_U st;
    EXPECT_EQ(0, DU_VOICE_EncReset(&st, type));
    return st;
}

VOICE_STATE_U decoder(s16 type)
{
    VOICE_STATE_U st;
    EXPECT_EQ(0, DU_VOICE_DecReset(&st, type));
    return st;
}

std::vector<u8> encode_frame(VOICE_STATE_U *st, const s16 *in, s32 n)
{
    std::vector<u8> frame(VOICE_MAX_FRAME_LEN);
    EXPECT_EQ(0, DU_VOICE_EncodeFrame(st, in, frame.data(), n));
    frame.resize((voice_frame_words(frame.data()) + 2) * 2);
    return frame;
}

std::vector<u8> frame_of(u16 flag, std::vector<u8> payload)
{
    std::vector<u8> f(4 + payload.size());
    voice_put_u16(f.data(), flag);
    voice_put_u16(f.data() + 2, (u16)(payload.size() / 2));
    std::copy(payload.begin(), payload.end(), f.begin() + 4);
    return f;
}

TEST(VoiceEngine, FrameSizesByType)
{
    struct Case {
        const char *name;
        s16 type;
        s32 samples;
        u32 words;
    };
    const Case cases[] = {
        {"G.711 A-law, 480", VOICE_TYPE_G711A, 480, 240},
        {"G.711 µ-law pair-swapped, 160", VOICE_TYPE_G711U_SWAP, 160, 80},
        {"G.711 A-law, 400 (the engine takes it)", VOICE_TYPE_G711A, 400, 200},
        {"DVI4, 320", VOICE_TYPE_ADPCM_DVI4, 320, 82},
        {"IMA, 321", VOICE_TYPE_ADPCM_IMA, 321, 82},
        {"IMA, one sample", VOICE_TYPE_ADPCM_IMA, 1, 2},
        {"bare DVI4, 80", VOICE_TYPE_ADPCM_DVI4_BARE, 80, 20},
        {"G.726 16k, 320", VOICE_TYPE_G726_16K, 320, 40},
        {"G.726 24k MSB first, 80", VOICE_TYPE_G726_24K_MSB, 80, 15},
        {"G.726 32k, 240", VOICE_TYPE_G726_32K, 240, 60},
        {"G.726 40k, 480", VOICE_TYPE_G726_40K, 480, 150},
        {"second 16k coder, 480", VOICE_TYPE_G726_16K_WORD, 480, 60},
    };
    const std::vector<s16> pcm = tone_plus_noise();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VOICE_STATE_U enc = encoder(c.type), dec = decoder(c.type);
        std::vector<u8> frame = encode_frame(&enc, pcm.data(), c.samples);
        EXPECT_EQ(0x00, frame[0]);
        EXPECT_EQ(0x01, frame[1]);
        EXPECT_EQ(c.words, voice_get_u16(&frame[2]));
        EXPECT_EQ((c.words + 2) * 2, frame.size());
        s16 out[VOICE_MAX_POINT_NUM];
        u16 count = 0;
        EXPECT_EQ(0, DU_VOICE_DecodeFrame(&dec, frame.data(), out, &count));
        EXPECT_EQ(c.samples, count);
    }
}

TEST(VoiceEngine, G711Packing)
{
    std::vector<s16> pcm = {0, -1, 32767, -32768};
    pcm.resize(80, 0);
    VOICE_STATE_U plain = encoder(VOICE_TYPE_G711A), swapped = encoder(VOICE_TYPE_G711A_SWAP);
    std::vector<u8> a = encode_frame(&plain, pcm.data(), 80), b = encode_frame(&swapped, pcm.data(), 80);
    EXPECT_EQ((std::vector<u8>{0xD5, 0x55, 0xAA, 0x2A}), std::vector<u8>(a.begin() + 4, a.begin() + 8));
    EXPECT_EQ((std::vector<u8>{0x55, 0xD5, 0x2A, 0xAA}), std::vector<u8>(b.begin() + 4, b.begin() + 8));

    VOICE_STATE_U mu = encoder(VOICE_TYPE_G711U);
    std::vector<u8> m = encode_frame(&mu, pcm.data(), 80);
    EXPECT_EQ((std::vector<u8>{0xFF, 0x7F, 0x80, 0x00}), std::vector<u8>(m.begin() + 4, m.begin() + 8));
    s16 out[VOICE_MAX_POINT_NUM];
    u16 count = 0;
    VOICE_STATE_U dec = decoder(VOICE_TYPE_G711A_SWAP);
    ASSERT_EQ(0, DU_VOICE_DecodeFrame(&dec, b.data(), out, &count));
    EXPECT_EQ(g_as16AlawToLinear[0xAA], out[2]);
}

TEST(VoiceEngine, SecondSixteenKilobitCoderPacksEightCodesAWordFromTheTop)
{
    u8 codes[80];
    for (int i = 0; i < 80; i++)
        codes[i] = (u8)(i % 4);
    u8 frame[VOICE_MAX_FRAME_LEN];
    G726_encoder_pack(codes, frame, 80);
    EXPECT_EQ(10u, voice_frame_words(frame));
    EXPECT_EQ(0x1B1B, voice_get_u16(frame + 4)); // 00 01 10 11 00 01 10 11
    u8 back[80];
    EXPECT_EQ(80, G726_decoder_unpack(frame, back));
    EXPECT_EQ(0, memcmp(codes, back, 80));
}

double snr_db(const std::vector<s16> &in, const std::vector<s16> &out, size_t from)
{
    double sig = 0, err = 0;
    for (size_t i = from; i < in.size(); i++) {
        sig += (double)in[i] * in[i];
        err += (double)(in[i] - out[i]) * (in[i] - out[i]);
    }
    return 10 * log10(sig / err);
}

// A tone in and out, frame by frame; the frames.
std::vector<std::vector<u8>> round_trip(s16 type, const std::vector<s16> &in, std::vector<s16> *out)
{
    VOICE_STATE_U enc = encoder(type), dec = decoder(type);
    std::vector<std::vector<u8>> frames;
    out->assign(in.size(), 0);
    for (size_t at = 0; at + 320 <= in.size(); at += 320) {
        frames.push_back(encode_frame(&enc, &in[at], 320));
        u16 count = 0;
        EXPECT_EQ(0, DU_VOICE_DecodeFrame(&dec, frames.back().data(), &(*out)[at], &count));
        EXPECT_EQ(320, count);
    }
    return frames;
}

TEST(VoiceEngine, SecondSixteenKilobitCoderKeepsATone)
{
    for (double amp : {1000.0, 8000.0, 20000.0}) {
        SCOPED_TRACE(amp);
        const std::vector<s16> in = tone(1000, 8000, amp);
        std::vector<s16> out, again;
        auto frames = round_trip(VOICE_TYPE_G726_16K_WORD, in, &out);
        EXPECT_GE(snr_db(in, out, 800), 15.0);
        EXPECT_EQ(frames, round_trip(VOICE_TYPE_G726_16K_WORD, in, &again)) << "deterministic";
        EXPECT_EQ(out, again);
    }
}

TEST(VoiceEngine, EveryCoderKeepsSpeechLikeSound)
{
    // Rough floors: the fewer bits a sample, the lower.
    const struct {
        s16 type;
        double min_db;
    } cases[] = {{VOICE_TYPE_G711A, 30},           {VOICE_TYPE_G711U, 30},        {VOICE_TYPE_ADPCM_DVI4, 30},
                 {VOICE_TYPE_ADPCM_DVI4_BARE, 30}, {VOICE_TYPE_G726_16K, 20},     {VOICE_TYPE_G726_24K_MSB, 25},
                 {VOICE_TYPE_G726_32K, 30},        {VOICE_TYPE_G726_40K_MSB, 35}, {VOICE_TYPE_G726_16K_WORD, 20}};
    const std::vector<int16_t> speech = voicetest::speech_like(2);
    const std::vector<s16> in(speech.begin(), speech.end());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type);
        std::vector<s16> out;
        round_trip(c.type, in, &out);
        EXPECT_GE(snr_db(in, out, 1600), c.min_db);
    }
}

TEST(VoiceEngine, Refusals)
{
    VOICE_STATE_U st = encoder(VOICE_TYPE_G711A);
    VOICE_STATE_U dec = decoder(VOICE_TYPE_G711A);
    VOICE_STATE_U ima = encoder(VOICE_TYPE_ADPCM_IMA);
    s16 pcm[VOICE_MAX_POINT_NUM + 80] = {};
    u8 frame[VOICE_MAX_FRAME_LEN];
    s16 out[VOICE_MAX_POINT_NUM];
    u16 count = 7;
    std::vector<u8> good = encode_frame(&st, pcm, 160);
    std::vector<u8> zero_flag = good, no_payload = frame_of(0x0100, {}), odd = frame_of(0x0100, {1, 2, 3, 4});
    zero_flag[0] = zero_flag[1] = 0;
    VOICE_STATE_U reserved;
    struct Case {
        const char *name;
        s32 got, want;
    };
    const Case cases[] = {
        {"encode: no state", DU_VOICE_EncodeFrame(nullptr, pcm, frame, 160), DU_ERR_VOICE_NULL_STATE},
        {"encode: no samples", DU_VOICE_EncodeFrame(&st, nullptr, frame, 160), DU_ERR_VOICE_NULL_INPUT},
        {"encode: no frame", DU_VOICE_EncodeFrame(&st, pcm, nullptr, 160), DU_ERR_VOICE_NULL_OUTPUT},
        {"encode: 0 samples", DU_VOICE_EncodeFrame(&st, pcm, frame, 0), DU_ERR_VOICE_ENC_FRMLEN},
        {"encode: 81 samples", DU_VOICE_EncodeFrame(&st, pcm, frame, 81), DU_ERR_VOICE_ENC_FRMLEN},
        {"encode: 560 samples", DU_VOICE_EncodeFrame(&st, pcm, frame, 560), DU_ERR_VOICE_ENC_FRMLEN},
        {"encode IMA: 80 samples", DU_VOICE_EncodeFrame(&ima, pcm, frame, 80), DU_ERR_VOICE_ENC_FRMLEN},
        {"encode IMA: 482 samples", DU_VOICE_EncodeFrame(&ima, pcm, frame, 482), DU_ERR_VOICE_ENC_FRMLEN},
        {"reset: no state", DU_VOICE_EncReset(nullptr, 1), DU_ERR_VOICE_NULL_STATE},
        {"encoder reset: type 0", DU_VOICE_EncReset(&reserved, 0), DU_ERR_VOICE_ENC_TYPE},
        {"encoder reset: type 34 (reserved)", DU_VOICE_EncReset(&reserved, 34), DU_ERR_VOICE_ENC_TYPE},
        {"encode: reserved type", DU_VOICE_EncodeFrame(&reserved, pcm, frame, 160), DU_ERR_VOICE_ENC_TYPE},
        {"decoder reset: type 69", DU_VOICE_DecReset(&reserved, 69), DU_ERR_VOICE_DEC_TYPE},
        {"decode: reserved type", DU_VOICE_DecodeFrame(&reserved, good.data(), out, &count), DU_ERR_VOICE_DEC_TYPE},
        {"decode: no state", DU_VOICE_DecodeFrame(nullptr, good.data(), out, &count), DU_ERR_VOICE_NULL_STATE},
        {"decode: no frame", DU_VOICE_DecodeFrame(&dec, nullptr, out, &count), DU_ERR_VOICE_NULL_INPUT},
        {"decode: no output", DU_VOICE_DecodeFrame(&dec, good.data(), nullptr, &count), DU_ERR_VOICE_NULL_OUTPUT},
        {"decode: no count", DU_VOICE_DecodeFrame(&dec, good.data(), out, nullptr), DU_ERR_VOICE_NULL_OUTPUT},
        {"decode: first word 0", DU_VOICE_DecodeFrame(&dec, zero_flag.data(), out, &count), DU_ERR_VOICE_DEC_FRMTYPE},
        {"decode: no payload", DU_VOICE_DecodeFrame(&dec, no_payload.data(), out, &count), DU_ERR_VOICE_DEC_FRMLEN},
        {"decode: 4 samples", DU_VOICE_DecodeFrame(&dec, odd.data(), out, &count), DU_ERR_VOICE_DEC_FRMLEN},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.want, c.got);
    }
    EXPECT_EQ(0, count) << "a refused decode counts nothing";
    EXPECT_EQ(69, reserved.s16Type) << "the type is stored even when refused";

    // A refused encode writes nothing.
    memset(frame, 0xEE, sizeof frame);
    EXPECT_EQ(DU_ERR_VOICE_ENC_FRMLEN, DU_VOICE_EncodeFrame(&st, pcm, frame, 90));
    EXPECT_EQ(0xEE, frame[0]);
}

// Frames a stream could carry but no encoder makes: refused before anything
// is written past the caller's 481 samples.
TEST(VoiceEngine, AdpcmFramesAreCheckedBeforeDecoding)
{
    struct Case {
        const char *name;
        s16 type;
        std::vector<u8> frame;
    };
    std::vector<u8> bytes_484(484, 0x11), bytes_488(488, 0x11);
    const Case cases[] = {
        {"DVI4 with one payload word", VOICE_TYPE_ADPCM_DVI4, frame_of(0x0100, {0, 0})},
        {"IMA with one payload word", VOICE_TYPE_ADPCM_IMA, frame_of(0x0100, {0, 0})},
        {"DVI4 step index 89", VOICE_TYPE_ADPCM_DVI4, frame_of(0x0100, {0, 0, 89, 0, 0x12, 0x34})},
        {"IMA step index 0x0100", VOICE_TYPE_ADPCM_IMA, frame_of(0x0100, {0, 0, 0, 1, 0x12, 0x34})},
        {"DVI4 of 484 samples", VOICE_TYPE_ADPCM_DVI4, frame_of(0x0100, std::vector<u8>(4 + 242, 0))},
        {"bare DVI4 of 484 samples", VOICE_TYPE_ADPCM_DVI4_BARE, frame_of(0x0100, bytes_484)},
        {"bare DVI4 of 1020 samples", VOICE_TYPE_ADPCM_DVI4_BARE, frame_of(0x0100, std::vector<u8>(510, 0x11))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VOICE_STATE_U st = decoder(c.type);
        VOICE_STATE_U before = st;
        std::vector<s16> out(VOICE_MAX_POINT_NUM);
        u16 count = 9;
        EXPECT_EQ(DU_ERR_VOICE_DEC_FRMLEN, DU_VOICE_DecodeFrame(&st, c.frame.data(), out.data(), &count));
        EXPECT_EQ(0, count);
        EXPECT_EQ(0, memcmp(&before, &st, sizeof st)) << "the state stays";
    }
    // The largest frames still decode: 481 IMA samples, 480 bare DVI4 samples.
    VOICE_STATE_U st = decoder(VOICE_TYPE_ADPCM_IMA);
    std::vector<s16> out(VOICE_MAX_POINT_NUM);
    u16 count = 0;
    EXPECT_EQ(0, DU_VOICE_DecodeFrame(&st, frame_of(0x0100, std::vector<u8>(4 + 240, 0)).data(), out.data(), &count));
    EXPECT_EQ(481, count);
    st = decoder(VOICE_TYPE_ADPCM_DVI4_BARE);
    EXPECT_EQ(0, DU_VOICE_DecodeFrame(&st, frame_of(0x0100, std::vector<u8>(240, 0)).data(), out.data(), &count));
    EXPECT_EQ(480, count);
}

TEST(VoiceEngine, SilenceCodesToZeroNibbles)
{
    std::vector<s16> silence(320, 0);
    VOICE_STATE_U st = encoder(VOICE_TYPE_ADPCM_DVI4_BARE);
    std::vector<u8> frame = encode_frame(&st, silence.data(), 320);
    for (size_t i = 4; i < frame.size(); i++)
        ASSERT_EQ(0, frame[i]) << i;
    EXPECT_EQ(0, st.stAdpcm.s16Index);
}

TEST(VoiceEngine, G726Repacking)
{
    // 3-bit codes c0..c7 = 1..7, 5: least significant bit first, then most.
    const u8 c[8] = {1, 2, 3, 4, 5, 6, 7, 5};
    u8 lsb[3] = {};
    u32 bit = 0;
    for (u8 code : c)
        for (int b = 0; b < 3; b++, bit++)
            lsb[bit / 8] |= (u8)(((code >> b) & 1) << (bit % 8));
    EXPECT_EQ((u8)(c[0] | c[1] << 3 | (c[2] << 6 & 0xFF)), lsb[0]);
    EXPECT_EQ((u8)(c[2] >> 2 | c[3] << 1 | c[4] << 4 | (c[5] << 7 & 0xFF)), lsb[1]);
    u8 msb[3];
    memcpy(msb, lsb, 3);
    ASSERT_EQ(0, G726Rtp2AsfFormat(msb, 3, 3));
    EXPECT_EQ((u8)(c[0] << 5 | c[1] << 2 | c[2] >> 1), msb[0]);
    EXPECT_EQ((u8)((c[2] & 1) << 7 | c[3] << 4 | c[4] << 1 | c[5] >> 2), msb[1]);
    ASSERT_EQ(0, G726Asf2RtpFormat(msb, 3, 3));
    EXPECT_EQ(0, memcmp(lsb, msb, 3));

    u8 four[4] = {1, 2, 3, 4};
    EXPECT_EQ(-1, G726Asf2RtpFormat(four, 3, 4)) << "32 bits are no whole number of 3-bit codes";
    EXPECT_EQ((std::vector<u8>{1, 2, 3, 4}), std::vector<u8>(four, four + 4));

    G726_STATE_S st;
    G726Reset(&st, 3);
    u8 five[5] = {};
    s16 out[16];
    EXPECT_EQ(13, G726Decode(&st, five, out, 5));
}

TEST(VoiceEngine, TranscodesBetweenSiblingFormats)
{
    const std::vector<s16> pcm = tone(1000, 320);
    VOICE_TRANSCODE_STATE_S tc;

    // A-law pair-swapped into plain: the plain encoder's frame.
    ASSERT_EQ(0, DU_VOICE_TransCodeReset(&tc, VOICE_TRANSCODE_G711A));
    VOICE_STATE_U swapped = encoder(VOICE_TYPE_G711A_SWAP), plain = encoder(VOICE_TYPE_G711A);
    std::vector<u8> frame = encode_frame(&swapped, pcm.data(), 320);
    frame.resize(VOICE_MAX_FRAME_LEN);
    ASSERT_EQ(0, DU_VOICE_TransCodeFrame(&tc, frame.data()));
    std::vector<u8> want = encode_frame(&plain, pcm.data(), 320);
    EXPECT_EQ(want, std::vector<u8>(frame.begin(), frame.begin() + want.size()));

    // Bare DVI4 into DVI4 with its block header; the second 16 kbit/s coder
    // into G.726 16 kbit/s: both decode back to the tone.
    const struct {
        s32 mode;
        s16 from, to;
        double min_db;
    } lossy[] = {{VOICE_TRANSCODE_ADPCM, VOICE_TYPE_ADPCM_DVI4_BARE, VOICE_TYPE_ADPCM_DVI4, 15},
                 {VOICE_TRANSCODE_G726_16K, VOICE_TYPE_G726_16K_WORD, VOICE_TYPE_G726_16K, 8}};
    for (const auto &l : lossy) {
        SCOPED_TRACE(l.mode);
        ASSERT_EQ(0, DU_VOICE_TransCodeReset(&tc, l.mode));
        VOICE_STATE_U enc = encoder(l.from), dec = decoder(l.to);
        std::vector<s16> in = tone(1000, 3200), out(3200);
        for (size_t at = 0; at < in.size(); at += 320) {
            std::vector<u8> f = encode_frame(&enc, &in[at], 320);
            f.resize(VOICE_MAX_FRAME_LEN);
            ASSERT_EQ(0, DU_VOICE_TransCodeFrame(&tc, f.data()));
            u16 count = 0;
            ASSERT_EQ(0, DU_VOICE_DecodeFrame(&dec, f.data(), &out[at], &count));
            ASSERT_EQ(320, count);
        }
        EXPECT_GE(snr_db(in, out, 640), l.min_db);
    }

    // A frame the decoder half refuses is not re-encoded.
    ASSERT_EQ(0, DU_VOICE_TransCodeReset(&tc, VOICE_TRANSCODE_ADPCM));
    std::vector<u8> bad = frame_of(0x0000, {1, 2});
    bad.resize(VOICE_MAX_FRAME_LEN);
    EXPECT_EQ(DU_ERR_VOICE_DEC_FRMTYPE, DU_VOICE_TransCodeFrame(&tc, bad.data()));
    EXPECT_EQ(0, bad[1]);

    EXPECT_EQ(DU_ERR_VOICE_TRANS_MODE, DU_VOICE_TransCodeReset(&tc, 96));
    EXPECT_EQ(DU_ERR_VOICE_TRANS_NULL_STATE, DU_VOICE_TransCodeReset(nullptr, 97));
    EXPECT_EQ(DU_ERR_VOICE_TRANS_NULL_STATE, DU_VOICE_TransCodeFrame(nullptr, bad.data()));
    EXPECT_EQ(DU_ERR_VOICE_NULL_INPUT, DU_VOICE_TransCodeFrame(&tc, nullptr));
    tc.stEnc.s16Type = VOICE_TYPE_G726_32K;
    EXPECT_EQ(DU_ERR_VOICE_TRANS_MODE, DU_VOICE_TransCodeFrame(&tc, bad.data()));
}

TEST(VoiceEngine, Version)
{
    char text[64];
    ASSERT_EQ(0, DU_VOICE_GetVersion(text));
    EXPECT_NE(nullptr, strstr(text, "V3.0.6.4"));
    EXPECT_LT(strlen(text), 64u);
    EXPECT_EQ(-1, DU_VOICE_GetVersion(nullptr));
}

} // namespace
