// The voice codecs as registry entries: what each takes, how decoders walk a
// stream of frames, and the refusals.
#include "mpi/audio/voice/audio_voice_adp.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/mpi/audio/audio_fixture.h"
#include "tests/mpi/audio/voice/voice_reference.h"

namespace {

using testsupport::capture_stderr;
using testsupport::capture_stdout;

// One voice codec, both sides, as a registry would call it.
struct Codec {
    const char *name;
    u32 attr;
    AENC_OPEN_FN enc_open;
    AENC_ENCODE_FN encode;
    AENC_CLOSE_FN enc_close;
    ADEC_OPEN_FN dec_open;
    ADEC_DECODE_FN decode;
    ADEC_CLOSE_FN dec_close;
    ADEC_RESET_FN reset;
    u32 points; // a frame size it takes
};

const Codec kCodecs[] = {
    {"G.711 A-law", 0, OpenG711AEncoder, EncodeG711AFrm, CloseG711AEncoder, OpenG711ADecoder, DecodeG711AFrm,
     CloseG711ADecoder, ResetG711ADecoder, 320},
    {"G.711 µ-law", 0, OpenG711UEncoder, EncodeG711UFrm, CloseG711UEncoder, OpenG711UDecoder, DecodeG711UFrm,
     CloseG711UDecoder, ResetG711UDecoder, 320},
    {"ADPCM DVI4", ADPCM_TYPE_DVI4, OpenADPCMEncoder, EncodeADPCMFrm, CloseADPCMEncoder, OpenADPCMDecoder,
     DecodeADPCMFrm, CloseADPCMDecoder, ResetADPCMDecoder, 320},
    {"ADPCM IMA", ADPCM_TYPE_IMA, OpenADPCMEncoder, EncodeADPCMFrm, CloseADPCMEncoder, OpenADPCMDecoder, DecodeADPCMFrm,
     CloseADPCMDecoder, ResetADPCMDecoder, 321},
    {"ADPCM bare DVI4", ADPCM_TYPE_ORG_DVI4, OpenADPCMEncoder, EncodeADPCMFrm, CloseADPCMEncoder, OpenADPCMDecoder,
     DecodeADPCMFrm, CloseADPCMDecoder, ResetADPCMDecoder, 320},
    {"G.726 24k", G726_24K, OpenG726Encoder, EncodeG726Frm, CloseG726Encoder, OpenG726Decoder, DecodeG726Frm,
     CloseG726Decoder, ResetG726Decoder, 320},
    {"G.726 40k MSB first", MEDIA_G726_40K, OpenG726Encoder, EncodeG726Frm, CloseG726Encoder, OpenG726Decoder,
     DecodeG726Frm, CloseG726Decoder, ResetG726Decoder, 320},
};

// Open encoder and decoder instances of one codec.
struct Pair {
    const Codec &c;
    u32 attr;
    void *enc = nullptr, *dec = nullptr;
    explicit Pair(const Codec &codec) : c(codec), attr(codec.attr)
    {
        EXPECT_EQ(0, c.enc_open(&attr, &enc));
        EXPECT_EQ(0, c.dec_open(&attr, &dec));
    }
    ~Pair()
    {
        if (enc)
            c.enc_close(enc);
        if (dec)
            c.dec_close(dec);
    }
};

AUDIO_FRAME_S frame_of(const s16 *pcm, u32 points)
{
    AUDIO_FRAME_S f = {};
    f.enBitwidth = 1;
    f.pVirAddr[0] = const_cast<s16 *>(pcm);
    f.u32Len = points * 2;
    return f;
}

// `frames` frames of the codec's size, encoded one after the other into one stream.
std::vector<u8> encode_stream(Pair &p, const std::vector<int16_t> &pcm, u32 frames)
{
    std::vector<u8> stream;
    for (u32 f = 0; f < frames; f++) {
        AUDIO_FRAME_S frame = frame_of(&pcm[f * p.c.points], p.c.points);
        u8 out[1024];
        u32 len = 0;
        EXPECT_EQ(0, p.c.encode(p.enc, &frame, out, &len));
        EXPECT_EQ((voice_frame_words(out) + 2) * 2, len);
        stream.insert(stream.end(), out, out + len);
    }
    return stream;
}

// Decodes a whole stream, frame after frame, as the decoder unit does.
std::vector<s16> decode_stream(Pair &p, std::vector<u8> stream, u32 *frames)
{
    std::vector<s16> pcm;
    std::vector<u16> out(ADEC_FRAME_NODE_SIZE / 2);
    u8 *in = stream.data();
    s32 left = (s32)stream.size();
    *frames = 0;
    u32 len = 0, chns = 0;
    while (p.c.decode(p.dec, &in, &left, out.data(), &len, &chns) == 0) {
        EXPECT_EQ(1u, chns);
        const s16 *s = reinterpret_cast<const s16 *>(out.data());
        pcm.insert(pcm.end(), s, s + len / 2);
        (*frames)++;
    }
    EXPECT_EQ(0, left);
    return pcm;
}

TEST(VoiceAdapters, StreamsOfFramesDecodeFrameByFrame)
{
    const std::vector<int16_t> pcm = voicetest::tone_plus_noise(1.5);
    for (const Codec &c : kCodecs) {
        SCOPED_TRACE(c.name);
        Pair p(c);
        std::vector<u8> stream = encode_stream(p, pcm, 10);
        u32 frames = 0;
        std::vector<s16> out = decode_stream(p, stream, &frames);
        EXPECT_EQ(10u, frames);
        ASSERT_EQ(10u * c.points, out.size());
        // What went in comes out, give or take the coder's noise.
        double sig = 0, err = 0;
        for (size_t i = c.points; i < out.size(); i++) {
            sig += (double)pcm[i] * pcm[i];
            err += (double)(pcm[i] - out[i]) * (pcm[i] - out[i]);
        }
        EXPECT_GT(10 * log10(sig / err), 12);

        // Reset: the same stream decodes the same again, the caller's bytes
        // unchanged (the most-significant-bit-first G.726 repacks a copy).
        const std::vector<u8> sent = stream;
        ASSERT_EQ(0, c.reset(p.dec));
        EXPECT_EQ(out, decode_stream(p, stream, &frames));
        EXPECT_EQ(sent, stream);
    }
}

TEST(VoiceAdapters, FramePointsEachCodecTakes)
{
    std::vector<s16> pcm(481, 100);
    for (const Codec &c : kCodecs) {
        SCOPED_TRACE(c.name);
        Pair p(c);
        for (u32 points : {320u, 321u, 400u, 80u, 481u}) {
            AUDIO_FRAME_S f = frame_of(pcm.data(), points);
            u8 out[1024];
            u32 len = 0;
            bool ima = c.points == 321;
            bool ok = ima ? points == 321 || points == 481 : points == 320 || points == 80;
            s32 ret = 0;
            std::string msg = capture_stdout([&] { capture_stderr([&] { ret = c.encode(p.enc, &f, out, &len); }); });
            EXPECT_EQ(ok ? 0 : DU_ERR_AENC_ILLEGAL_PARAM, ret) << points;
        }
        AUDIO_FRAME_S eight = frame_of(pcm.data(), c.points);
        eight.enBitwidth = 0;
        u8 out[1024];
        u32 len = 0;
        capture_stdout(
            [&] { capture_stderr([&] { EXPECT_EQ(DU_ERR_AENC_ILLEGAL_PARAM, c.encode(p.enc, &eight, out, &len)); }); });
    }
}

TEST(VoiceAdapters, RefusalMessages)
{
    std::vector<s16> pcm(481, 0);
    u32 dvi4 = ADPCM_TYPE_DVI4, ima = ADPCM_TYPE_IMA, rate = G726_32K;
    void *g711 = nullptr, *adpcm = nullptr, *adpcm_ima = nullptr, *g726 = nullptr;
    ASSERT_EQ(0, OpenG711AEncoder(&dvi4, &g711));
    ASSERT_EQ(0, OpenADPCMEncoder(&dvi4, &adpcm));
    ASSERT_EQ(0, OpenADPCMEncoder(&ima, &adpcm_ima));
    ASSERT_EQ(0, OpenG726Encoder(&rate, &g726));
    AUDIO_FRAME_S f321 = frame_of(pcm.data(), 321), f320 = frame_of(pcm.data(), 320);
    u8 out[1024];
    u32 len;
    std::string o = capture_stdout([&] { EncodeG711AFrm(g711, &f321, out, &len); });
    EXPECT_NE(std::string::npos, o.find(", points:321 of each frame is illegal!\n")) << o;
    std::string e = capture_stderr([&] { EncodeADPCMFrm(adpcm, &f321, out, &len); });
    EXPECT_NE(std::string::npos, e.find("[Info]:the u32PtNumPerFrm321 is illegal for ADPCM_TYPE_DVI4\n")) << e;
    e = capture_stderr([&] { EncodeADPCMFrm(adpcm_ima, &f320, out, &len); });
    EXPECT_NE(std::string::npos, e.find("[Info]:the u32PtNumPerFrm320 is illegal for ADPCM_TYPE_IMA\n")) << e;
    for (void *inst : {g711, adpcm, adpcm_ima})
        CloseADPCMEncoder(inst);
    CloseG726Encoder(g726);

    // Settings out of range open nothing.
    struct Case {
        const char *name;
        std::function<s32(void *, void **)> open;
        u32 attr;
        s32 code;
        const char *message;
    };
    const Case cases[] = {
        {"ADPCM encoder kind 3", OpenADPCMEncoder, 3, DU_ERR_AENC_ILLEGAL_PARAM,
         "type:3 of ADPCM encoder is illegal!\n"},
        {"ADPCM decoder kind 3", OpenADPCMDecoder, 3, DU_ERR_ADEC_ILLEGAL_PARAM,
         "type:3 of ADPCM decoder is illegal!\n"},
        {"G.726 encoder rate 8", OpenG726Encoder, 8, DU_ERR_AENC_ILLEGAL_PARAM, "bps:8 of G726 encoder is illegal!\n"},
        {"G.726 decoder rate 8", OpenG726Decoder, 8, DU_ERR_ADEC_ILLEGAL_PARAM, "bps:8 of G726 decoder is illegal!\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        u32 attr = c.attr;
        void *inst = reinterpret_cast<void *>(1);
        s32 ret = 0;
        std::string msg = capture_stdout([&] { ret = c.open(&attr, &inst); });
        EXPECT_EQ(c.code, ret);
        EXPECT_NE(std::string::npos, msg.find(c.message)) << msg;
        EXPECT_EQ(nullptr, inst);
    }
}

TEST(VoiceAdapters, DecodersTakeWholeFramesOnly)
{
    const std::vector<int16_t> pcm = voicetest::tone_plus_noise(1);
    Pair p(kCodecs[5]); // G.726 24k
    std::vector<u8> stream = encode_stream(p, pcm, 2);
    const s32 frame_len = (s32)stream.size() / 2;
    std::vector<u16> out(ADEC_FRAME_NODE_SIZE / 2);
    u32 len = 0, chns = 0;
    // Fewer bytes than a header, and than the frame the header announces.
    for (s32 have : {0, 2, 3, 4, frame_len - 1}) {
        SCOPED_TRACE(have);
        u8 *in = stream.data();
        s32 left = have;
        EXPECT_EQ(DU_ERR_ADEC_BUF_LACK, DecodeG726Frm(p.dec, &in, &left, out.data(), &len, &chns));
        EXPECT_EQ(stream.data(), in);
        EXPECT_EQ(have, left);
    }
    // A frame whose header is not a voice frame's is consumed with the
    // engine's refusal; the next frame decodes.
    std::vector<u8> bad = stream;
    bad[1] = 0x00;
    u8 *in = bad.data();
    s32 left = (s32)bad.size();
    EXPECT_EQ(DU_ERR_VOICE_DEC_FRMTYPE, DecodeG726Frm(p.dec, &in, &left, out.data(), &len, &chns));
    EXPECT_EQ(frame_len, left);
    EXPECT_EQ(0u, len);
    EXPECT_EQ(0, DecodeG726Frm(p.dec, &in, &left, out.data(), &len, &chns));
    EXPECT_EQ(0, left);
    EXPECT_EQ(640u, len);
}

TEST(VoiceAdapters, Lpcm)
{
    std::vector<s16> pcm(4100);
    for (size_t i = 0; i < pcm.size(); i++)
        pcm[i] = (s16)(i * 7);
    AUDIO_FRAME_S f = frame_of(pcm.data(), 4096);
    std::vector<u8> out(AENC_LPCM_MAX_FRAME_LEN);
    u32 len = 0;
    ASSERT_EQ(0, EncodeLPCMFrm(nullptr, &f, out.data(), &len));
    EXPECT_EQ(8192u, len);
    EXPECT_EQ(0, memcmp(out.data(), pcm.data(), len));
    f.u32Len = 8194; // past the stream buffer's slot
    capture_stdout([&] { EXPECT_EQ(DU_ERR_AENC_ILLEGAL_PARAM, EncodeLPCMFrm(nullptr, &f, out.data(), &len)); });

    // Decoding copies what there is, at most one track of a decoder frame.
    std::vector<u8> bytes(20000, 0x5A);
    std::vector<u16> track(ADEC_FRAME_NODE_SIZE / 2, 0);
    u8 *in = bytes.data();
    s32 left = 300;
    u32 chns = 0;
    ASSERT_EQ(0, DecodeLPCMFrm(nullptr, &in, &left, track.data(), &len, &chns));
    EXPECT_EQ(300u, len);
    EXPECT_EQ(0, left);
    EXPECT_EQ(1u, chns);
    in = bytes.data();
    left = 20000;
    ASSERT_EQ(0, DecodeLPCMFrm(nullptr, &in, &left, track.data(), &len, &chns));
    EXPECT_EQ(ADEC_FRAME_NODE_SIZE / 2, len);
    EXPECT_EQ(20000 - (s32)len, left);
    EXPECT_EQ(0, track[ADEC_FRAME_NODE_SIZE / 4]) << "nothing past one track";
}

class VoiceRegistry : public AudioTest {};

TEST_F(VoiceRegistry, UnitsStartWithTheFiveVoiceCodecs)
{
    const struct {
        u32 type;
        const char *name;
        u32 max_len;
        bool reset;
    } want[] = {{PT_LPCM, "Lpcm", 8192, false},
                {PT_G711A, "G711a", 960, true},
                {PT_G711U, "G711u", 960, true},
                {PT_ADPCMA, "Adpcm", 480, true},
                {PT_G726, "G726", 960, true}};
    EXPECT_EQ(5u, s_stEncoderCtx.u32EncoderNum);
    EXPECT_EQ(5u, s_stDecoderCtx.u32DecoderNum);
    for (u32 i = 0; i < 5; i++) {
        SCOPED_TRACE(want[i].name);
        const AENC_CODEC_ENTRY_S &e = s_stEncoderCtx.astEncoder[i];
        EXPECT_EQ(want[i].type, e.enType);
        EXPECT_STREQ(want[i].name, e.aszName);
        EXPECT_EQ(want[i].max_len, e.u32MaxFrmLen);
        const ADEC_CODEC_ENTRY_S &d = s_stDecoderCtx.astDecoder[i];
        EXPECT_EQ(want[i].type, d.enType);
        EXPECT_STREQ(want[i].name, d.aszName);
        EXPECT_EQ(&GetFrmInfo, d.pfnGetFrmInfo);
        EXPECT_EQ(want[i].reset, d.pfnResetDecoder != nullptr);
    }
    // A second registration stops at the first payload type taken.
    EXPECT_EQ(DU_ERR_AENC_BUF_FULL, DU_DUZ_AENC_VoiceInit());
    EXPECT_EQ(DU_ERR_ADEC_BUF_FULL, DU_DUZ_ADEC_VoiceInit());
}

// 320-sample frames on a G.711 A-law channel of the encoder unit come out as
// 324-byte packets that start 00 01 A0 00; a pack-mode channel of the decoder
// unit turns each back into the samples A-law keeps of them.
TEST_F(VoiceRegistry, EncoderChannelGivesVoiceFrames)
{
    u32 attr = 0;
    AENC_CHANNEL_CFG_S cfg = {PT_G711A, 320, 4, &attr};
    ASSERT_EQ(0, DU_DUZ_AENC_CreateChn(0, &cfg));
    ADEC_CHN_ATTR_S dec = {PT_G711A, 4, ADEC_MODE_PACK, &attr};
    ASSERT_EQ(0, DU_DUZ_ADEC_CreateChn(0, &dec));
    const std::vector<int16_t> pcm = voicetest::tone_plus_noise(1);
    for (u32 n = 0; n < 3; n++) {
        SCOPED_TRACE(n);
        const int16_t *in = &pcm[n * 320];
        AUDIO_FRAME_S f = frame_of(in, 320);
        f.u64TimeStamp = 1000 * n;
        ASSERT_EQ(0, DU_DUZ_AENC_SendFrame(0, &f, nullptr));
        AENC_STREAM_OUT_S s;
        ASSERT_EQ(0, DU_DUZ_AENC_GetStream(0, &s, 0));
        ASSERT_EQ(324u, s.u32Len);
        EXPECT_EQ((std::vector<u8>{0x00, 0x01, 0xA0, 0x00}), std::vector<u8>(s.pStream, s.pStream + 4));
        for (u32 i = 0; i < 320; i++)
            ASSERT_EQ(alaw_code(in[i]), s.pStream[4 + i]) << i;

        ASSERT_EQ(0, DU_DUZ_ADEC_SendStream(0, &s, 0));
        EXPECT_EQ(0, DU_DUZ_AENC_ReleaseStream(0, &s));
        AUDIO_FRAME_INFO_S info = {};
        ASSERT_EQ(0, DU_DUZ_ADEC_GetFrame(0, &info, 0));
        ASSERT_EQ(640u, info.pstFrame->u32Len);
        EXPECT_EQ(0u, info.pstFrame->enSoundmode);
        EXPECT_EQ(n, info.pstFrame->u32Seq);
        const s16 *out = static_cast<const s16 *>(info.pstFrame->pVirAddr[0]);
        for (u32 i = 0; i < 320; i++)
            ASSERT_EQ(alaw_to_linear(linear_to_alaw(in[i])), out[i]) << i;
        EXPECT_EQ(0, DU_DUZ_ADEC_ReleaseFrame(0, &info));
    }
    EXPECT_EQ(0, DU_DUZ_ADEC_DestroyChn(0));
    EXPECT_EQ(0, DU_DUZ_AENC_DestroyChn(0));
}

} // namespace
