// The AAC encoder adapter over FDK AAC: attribute checks, gathering, ADTS
// packets that decode back to the tone that went in.
#include "mpi/audio/aac/audio_aac_adp.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "tests/mpi/audio/audio_check.h"
#include "tests/support/board_fixture.h"

namespace {

using testsupport::capture_stdout;

AAC_ENC_CFG_S lc_mono(u32 rate = 48000, u32 bits = 128000)
{
    return {AAC_TYPE_AACLC, bits, rate, 1, 0};
}

// Owns an encoder instance for a test.
struct Encoder {
    void *inst = nullptr;
    s32 ret = -1;
    explicit Encoder(AAC_ENC_CFG_S cfg) { ret = OpenAACEncoder(&cfg, &inst); }
    ~Encoder()
    {
        if (inst)
            CloseAACEncoder(inst);
    }
};

// A 16-bit tone, `n` samples from sample `at`.
std::vector<s16> tone(double hz, u32 at, u32 n, u32 rate = 48000)
{
    std::vector<s16> v(n);
    for (u32 i = 0; i < n; i++)
        v[i] = (s16)lrint(12000 * sin(2 * M_PI * hz * (at + i) / rate));
    return v;
}

AUDIO_FRAME_S frame_of(std::vector<s16> &left, std::vector<s16> *right = nullptr)
{
    AUDIO_FRAME_S f{};
    f.enBitwidth = 1;
    f.enSoundmode = right ? 1 : 0;
    f.pVirAddr[0] = left.data();
    f.pVirAddr[1] = right ? right->data() : nullptr;
    f.u32Len = (u32)left.size() * 2;
    return f;
}

TEST(AacAdapter, OpenChecksAttributesAndRates)
{
    struct Case {
        const char *name;
        AAC_ENC_CFG_S cfg;
        s32 code;
        const char *message; // on standard output, empty when none
    };
    const Case cases[] = {
        {"AAC-LC 48 kHz 128 kbit/s", lc_mono(), 0, ""},
        {"AAC-LC 48 kHz at the ceiling", lc_mono(48000, 320000), 0, ""},
        {"AAC-LC 48 kHz above the ceiling", lc_mono(48000, 320001), (s32)0xA0178003,
         "AACLC 48000 Hz bitRate(320001) should be 48000 ~ 320000\n"},
        {"AAC-LC 48 kHz below the floor", lc_mono(48000, 47999), (s32)0xA0178003,
         "AACLC 48000 Hz bitRate(47999) should be 48000 ~ 320000\n"},
        {"AAC-LC 22.05 kHz names 22025 Hz", lc_mono(22050, 15999), (s32)0xA0178003,
         "AACLC 22025 Hz bitRate(15999) should be 16000 ~ 128000\n"},
        {"AAC-LC 11.025 kHz", lc_mono(11025, 32000), (s32)0xA0178003,
         "AACLC invalid samplerate(11025) should be 8000~48000\n"},
        {"AAC-LC 8 bit", {AAC_TYPE_AACLC, 128000, 48000, 0, 0}, (s32)0xA0178003,
         "[Info]:invalid bitwidth for AAC encoder\n"},
        {"sound mode 2", {AAC_TYPE_AACLC, 128000, 48000, 1, 2}, (s32)0xA0178003,
         "[Info]:invalid sound mode for AAC encoder\n"},
        {"EAAC+ mono", {AAC_TYPE_EAACPLUS, 24000, 48000, 1, 0}, (s32)0xA0178003,
         "[Info]:invalid sound mode for AAC encoder\n"},
        {"EAAC 32 kHz too low", {AAC_TYPE_EAAC, 17999, 32000, 1, 0}, (s32)0xA0178003,
         "EAAC 32000 Hz bitRate(17999) should be 18000 ~ 23000\n"},
        {"EAAC 16 kHz", {AAC_TYPE_EAAC, 24000, 16000, 1, 0}, (s32)0xA0178003,
         "EAAC invalid samplerate(16000) should be 32000/44100/48000\n"},
        {"EAAC+ 48 kHz too high", {AAC_TYPE_EAACPLUS, 35001, 48000, 1, 1}, (s32)0xA0178003,
         "EAACPLUS 48000 Hz bitRate(35001) should  be 12000 ~ 35000\n"},
        {"EAAC 48 kHz mono", {AAC_TYPE_EAAC, 48000, 48000, 1, 0}, 0, ""},
        {"EAAC+ 48 kHz stereo", {AAC_TYPE_EAACPLUS, 32000, 48000, 1, 1}, 0, ""},
        {"unknown AAC type", {7, 128000, 48000, 1, 0}, 0x23, "invalid coderFormat(7)\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<Encoder> enc;
        std::string out = capture_stdout([&] { enc = std::make_unique<Encoder>(c.cfg); });
        EXPECT_EQ(enc->ret, c.code);
        if (*c.message) {
            EXPECT_NE(out.find(c.message), std::string::npos) << out;
        }
        // A refused open leaves nothing behind for the caller.
        EXPECT_EQ(enc->inst != nullptr, c.code == 0);
        if (c.code != 0 && c.code != 0x23) {
            EXPECT_NE(out.find("#########"), std::string::npos) << out;
        }
    }
}

TEST(AacAdapter, WholeFramesGiveAdtsPacketsThatDecodeToTheTone)
{
    Encoder enc(lc_mono());
    ASSERT_EQ(enc.ret, 0);
    std::vector<std::vector<uint8_t>> packets;
    for (u32 i = 0; i < 60; i++) {
        std::vector<s16> pcm = tone(1000, i * 1024, 1024);
        AUDIO_FRAME_S f = frame_of(pcm);
        std::vector<uint8_t> out(MAX_AAC_MAINBUF_SIZE);
        u32 len = 0;
        ASSERT_EQ(EncodeAACFrm(enc.inst, &f, out.data(), &len), 0) << "frame " << i;
        ASSERT_GT(len, 7u);
        ASSERT_LE(len, MAX_AAC_MAINBUF_SIZE);
        ASSERT_TRUE(audiocheck::is_adts(out.data(), len));
        EXPECT_EQ(audiocheck::adts_len(out.data()), len);
        out.resize(len);
        packets.push_back(out);
    }
    int rate = 0;
    std::vector<float> pcm = audiocheck::decode_aac(packets, &rate);
    EXPECT_EQ(rate, 48000);
    ASSERT_GE(pcm.size(), 40u * 1024);
    EXPECT_NEAR(audiocheck::dominant_hz(pcm, 8192, 16384, rate), 1000, 10);
    EXPECT_GT(audiocheck::rms(pcm, 8192, 16384), 0.1);
}

TEST(AacAdapter, HalfFramesAlternateBetweenNoPacketAndPacket)
{
    Encoder enc(lc_mono());
    ASSERT_EQ(enc.ret, 0);
    for (u32 i = 0; i < 6; i++) {
        std::vector<s16> pcm = tone(1000, i * 512, 512);
        AUDIO_FRAME_S f = frame_of(pcm);
        uint8_t out[MAX_AAC_MAINBUF_SIZE];
        u32 len = 0;
        s32 r = EncodeAACFrm(enc.inst, &f, out, &len);
        if (i % 2 == 0) {
            EXPECT_EQ(r, AENC_NO_PACKET) << i;
        } else {
            EXPECT_EQ(r, 0) << i;
            EXPECT_EQ(audiocheck::adts_len(out), len);
        }
    }
}

TEST(AacAdapter, EachInstanceGathersItsOwnSamples)
{
    std::vector<s16> half = tone(1000, 0, 512);
    AUDIO_FRAME_S f = frame_of(half);
    uint8_t out[MAX_AAC_MAINBUF_SIZE];
    u32 len = 0;
    {
        Encoder first(lc_mono());
        ASSERT_EQ(EncodeAACFrm(first.inst, &f, out, &len), AENC_NO_PACKET);
    }
    // Half a frame left in a closed instance must not complete a frame of the next one.
    Encoder a(lc_mono()), b(lc_mono());
    EXPECT_EQ(EncodeAACFrm(a.inst, &f, out, &len), AENC_NO_PACKET);
    EXPECT_EQ(EncodeAACFrm(b.inst, &f, out, &len), AENC_NO_PACKET);
    EXPECT_EQ(EncodeAACFrm(a.inst, &f, out, &len), 0);
    EXPECT_EQ(EncodeAACFrm(b.inst, &f, out, &len), 0);
}

TEST(AacAdapter, RefusesFramesItCannotTake)
{
    Encoder mono(lc_mono());
    AAC_ENC_CFG_S st = lc_mono();
    st.enSoundMode = 1;
    Encoder stereo(st);
    ASSERT_EQ(mono.ret, 0);
    ASSERT_EQ(stereo.ret, 0);

    std::vector<s16> big = tone(1000, 0, 2048), ok = tone(1000, 0, 1024), odd(513);
    struct Case {
        const char *name;
        void *inst;
        AUDIO_FRAME_S frame;
        const char *message;
    };
    AUDIO_FRAME_S eight = frame_of(ok);
    eight.enBitwidth = 0;
    AUDIO_FRAME_S no_data = frame_of(ok);
    no_data.pVirAddr[0] = nullptr;
    AUDIO_FRAME_S odd_len = frame_of(odd);
    odd_len.u32Len = 1025;
    AUDIO_FRAME_S stereo_no_right = frame_of(ok, &ok);
    stereo_no_right.pVirAddr[1] = nullptr;
    const Case cases[] = {
        {"2048 samples into AAC-LC", mono.inst, frame_of(big), "invalid u32PtNums2048 for AAC_TYPE_AACLC\n"},
        {"mono frame into a stereo instance", stereo.inst, frame_of(ok),
         "AAC encode receive a frame which not match its Soundmode"},
        {"8-bit frame", mono.inst, eight, "invalid frame for AAC encoder"},
        {"no samples", mono.inst, no_data, "invalid frame for AAC encoder"},
        {"half a sample", mono.inst, odd_len, "invalid frame for AAC encoder"},
        {"stereo frame without its right track", stereo.inst, stereo_no_right, "invalid frame for AAC encoder"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t out[MAX_AAC_MAINBUF_SIZE];
        u32 len = 0;
        s32 r = 0;
        std::string msg = capture_stdout([&] { r = EncodeAACFrm(c.inst, &c.frame, out, &len); });
        EXPECT_EQ(r, (s32)0xA0178003);
        EXPECT_NE(msg.find(c.message), std::string::npos) << msg;
    }
    // Refusals took nothing: one whole frame still makes one packet.
    AUDIO_FRAME_S f = frame_of(ok);
    uint8_t out[MAX_AAC_MAINBUF_SIZE];
    u32 len = 0;
    EXPECT_EQ(EncodeAACFrm(mono.inst, &f, out, &len), 0);
}

TEST(AacAdapter, StereoInterleavesBothTracks)
{
    AAC_ENC_CFG_S cfg = lc_mono();
    cfg.enSoundMode = 1;
    Encoder enc(cfg);
    ASSERT_EQ(enc.ret, 0);
    std::vector<std::vector<uint8_t>> packets;
    for (u32 i = 0; i < 40; i++) {
        std::vector<s16> left = tone(1000, i * 1024, 1024), right(1024, 0);
        AUDIO_FRAME_S f = frame_of(left, &right);
        std::vector<uint8_t> out(MAX_AAC_MAINBUF_SIZE);
        u32 len = 0;
        ASSERT_EQ(EncodeAACFrm(enc.inst, &f, out.data(), &len), 0);
        out.resize(len);
        packets.push_back(out);
    }
    int rate = 0;
    std::vector<float> pcm = audiocheck::decode_aac(packets, &rate);
    ASSERT_GE(pcm.size(), 30u * 1024);
    EXPECT_NEAR(audiocheck::dominant_hz(pcm, 8192, 16384, rate), 1000, 10); // the left channel
}

TEST(AacAdapter, WrapperRefusesBadConfigurations)
{
    struct Case {
        const char *name;
        s16 channels;
        u32 rate;
        u32 format;
        s32 code;
    };
    const Case cases[] = {
        {"three channels", 3, 48000, 0, 0x23},
        {"7999 Hz", 1, 7999, 0, 0x23},
        {"96001 Hz", 1, 96001, 0, 0x23},
        {"EAAC+ mono", 1, 48000, 2, 0x23},
        {"coder format 3", 1, 48000, 3, 0x23},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AACENC_CONFIG_S cfg;
        ASSERT_EQ(AACInitDefaultConfig(&cfg), 0);
        cfg.nChannelsIn = cfg.nChannelsOut = c.channels;
        cfg.sampleRate = c.rate;
        cfg.coderFormat = c.format;
        HANDLE_AACENCODER h = nullptr;
        capture_stdout([&] { EXPECT_EQ(AACEncoderOpen(&h, &cfg), c.code); });
        EXPECT_EQ(h, nullptr);
    }
    EXPECT_EQ(AACEncoderOpen(nullptr, nullptr), 0x20);
    EXPECT_EQ(AACEncoderClose(nullptr), 0);
    EXPECT_EQ(AACInitDefaultConfig(nullptr), -1);
    char version[64];
    EXPECT_EQ(DU_AACENC_GetVersion(nullptr), -1);
    ASSERT_EQ(DU_AACENC_GetVersion(version), 0);
    EXPECT_NE(std::string(version).find("V3.0.0.0"), std::string::npos);
    EXPECT_LT(strlen(version), 64u);
}

} // namespace
