// The AAC decoder adapter over FDK AAC: whole ADTS frames only, stream bytes
// cut anywhere, separate tracks, bad frames and its registry entries.
#include "mpi/audio/aac/audio_aac_dec_adp.h"
#include "mpi/audio/aac/aac_dec.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/mpi/audio/aac_packets.h"
#include "tests/mpi/audio/audio_check.h"
#include "tests/mpi/audio/audio_fixture.h"
#include "tests/mpi/audio/vqe/vqe_signal.h"

namespace {

using testsupport::capture_stdout;
using aactest::camera_packets;
using aactest::concat;
using aactest::kFrame;
using aactest::Packets;

// A decoder instance and the unit's output frame: two tracks of 16 KiB.
struct Decoder {
    void *inst = nullptr;
    ADEC_ATTR_AAC_S attr = {};
    std::vector<u16> out = std::vector<u16>(ADEC_FRAME_NODE_SIZE / 2);
    u32 len = 0, chns = 0;

    Decoder() { EXPECT_EQ(0, OpenAACDecoder(&attr, &inst)); }
    ~Decoder()
    {
        if (inst)
            CloseAACDecoder(inst);
    }
    s32 decode(u8 **in, s32 *left)
    {
        s32 ret;
        capture_stdout([&] { ret = DecodeAACFrm(inst, in, left, out.data(), &len, &chns); });
        return ret;
    }
    std::vector<float> track(u32 t) const
    {
        const s16 *p = reinterpret_cast<const s16 *>(out.data()) + t * len / 2;
        std::vector<float> v(len / 2);
        for (size_t i = 0; i < v.size(); i++)
            v[i] = p[i] / 32768.0f;
        return v;
    }
};

TEST(AacDecoder, MonoPacketsGiveOneTrackOfTheTone)
{
    Packets packets = camera_packets(20);
    Decoder dec;
    std::vector<float> pcm;
    for (auto &p : packets) {
        u8 *in = p.data();
        s32 left = (s32)p.size();
        ASSERT_EQ(0, dec.decode(&in, &left));
        EXPECT_EQ(0, left);
        EXPECT_EQ(p.data() + p.size(), in);
        EXPECT_EQ(1u, dec.chns);
        EXPECT_EQ(2048u, dec.len);
        std::vector<float> t = dec.track(0);
        pcm.insert(pcm.end(), t.begin(), t.end());
    }
    EXPECT_NEAR(1000, audiocheck::dominant_hz(pcm, 4096, 8192, 48000), 10);
    AAC_DEC_FRM_INFO_S info = {};
    EXPECT_EQ(0, GetAACFrmInfo(dec.inst, &info));
    EXPECT_EQ(48000, info.s32Samplerate);
    EXPECT_GT(info.s32BitRate, 0);
}

// The camera's packets of speech-like sound decoded here and by FFmpeg's own
// AAC decoder: every packet gives its frame at once, the last one too (no
// samples held back), and the two agree sample by sample at no offset.
TEST(AacDecoder, OutputLinesUpWithFfmpegsDecoderToTheLastFrame)
{
    struct Case {
        u32 rate, bit_rate;
        bool stereo;
    } cases[] = {{48000, 128000, false}, {44100, 128000, false}, {8000, 24000, false}, {48000, 128000, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + (c.stereo ? " stereo" : " mono"));
        const size_t frames = c.rate * 4 / kFrame;
        // A quiet tone under the speech: every frame holds sound.
        const size_t n = frames * kFrame;
        std::vector<s16> left = vqetest::mix(vqetest::speech((int)c.rate, n, -20, 51, 130).x,
                                             vqetest::tone((int)c.rate, 440, -40, n));
        std::vector<s16> right = vqetest::mix(vqetest::speech((int)c.rate, n, -20, 52, 200).x,
                                              vqetest::tone((int)c.rate, 660, -40, n));
        Packets packets = aactest::encode(c.rate, c.bit_rate, left, c.stereo ? &right : nullptr);
        ASSERT_EQ(frames, packets.size());

        Decoder dec;
        std::vector<s16> ours;
        for (auto &p : packets) {
            u8 *in = p.data();
            s32 n = (s32)p.size();
            ASSERT_EQ(0, dec.decode(&in, &n));
            ASSERT_EQ(2u * kFrame, dec.len);
            const s16 *t = reinterpret_cast<const s16 *>(dec.out.data());
            ours.insert(ours.end(), t, t + kFrame);
        }
        int rate = 0;
        std::vector<float> ref = audiocheck::decode_aac(packets, &rate);
        ASSERT_EQ((int)c.rate, rate);
        ASSERT_EQ(ours.size(), ref.size()) << "a frame for every packet";
        vqetest::Samples theirs(ref.size());
        for (size_t i = 0; i < ref.size(); i++)
            theirs[i] = vqetest::clip(ref[i] * 32768.0);
        // Offsets of up to two frames either way: the output's against FFmpeg's.
        const size_t span = ours.size() - 4 * kFrame;
        size_t late = vqetest::delay_of(ours, theirs, 2 * kFrame, 2 * kFrame + span, 2 * kFrame);
        size_t early = vqetest::delay_of(theirs, ours, 2 * kFrame, 2 * kFrame + span, 2 * kFrame);
        EXPECT_EQ(0u, late);
        EXPECT_EQ(0u, early);
        int worst = 0;
        for (size_t i = 0; i < ours.size(); i++)
            worst = std::max(worst, std::abs(ours[i] - theirs[i]));
        printf("%u Hz%s: offset %zu, at most %d LSB from FFmpeg's decoder\n", c.rate, c.stereo ? " stereo" : "",
               late ? late : early, worst);
        EXPECT_LE(worst, 8) << "LSB, the last frame included";
        EXPECT_GT(vqetest::level_db(ours, ours.size() - kFrame, kFrame), -60) << "the last frame holds sound";
    }
}

TEST(AacDecoder, StereoComesOutAsTwoTracksOneAfterTheOther)
{
    Packets packets = camera_packets(20, true);
    Decoder dec;
    std::vector<float> left, right;
    for (auto &p : packets) {
        u8 *in = p.data();
        s32 n = (s32)p.size();
        ASSERT_EQ(0, dec.decode(&in, &n));
        ASSERT_EQ(2u, dec.chns);
        ASSERT_EQ(2048u, dec.len);
        std::vector<float> l = dec.track(0), r = dec.track(1);
        left.insert(left.end(), l.begin(), l.end());
        right.insert(right.end(), r.begin(), r.end());
    }
    EXPECT_NEAR(1000, audiocheck::dominant_hz(left, 4096, 8192, 48000), 10);
    EXPECT_NEAR(2000, audiocheck::dominant_hz(right, 4096, 8192, 48000), 10);
}

// As the decoder unit's stream mode holds bytes: appended as they come, one
// decode after another until the adapter asks for more.
TEST(AacDecoder, BytesCutAnywhereDecodeEveryFrameAndLoseNothingAtTheEnd)
{
    Packets packets = camera_packets(40);
    const std::vector<u8> stream = concat(packets);
    const size_t cuts[] = {1, 7, 100, 333, 2, 1500, 64};
    Decoder dec;
    std::vector<u8> held;
    size_t at = 0, k = 0, frames = 0;
    std::vector<float> pcm;
    while (at < stream.size()) {
        size_t n = std::min(cuts[k++ % 7], stream.size() - at);
        held.insert(held.end(), stream.begin() + at, stream.begin() + at + n);
        at += n;
        u8 *in = held.data();
        s32 left = (s32)held.size();
        s32 ret;
        while ((ret = dec.decode(&in, &left)) == 0) {
            frames++;
            std::vector<float> t = dec.track(0);
            pcm.insert(pcm.end(), t.begin(), t.end());
        }
        ASSERT_EQ(DU_ERR_ADEC_BUF_LACK, ret);
        held.erase(held.begin(), held.begin() + (in - held.data()));
    }
    EXPECT_EQ(packets.size(), frames) << "one frame per packet, the last one too";
    EXPECT_TRUE(held.empty());
    EXPECT_NEAR(1000, audiocheck::dominant_hz(pcm, pcm.size() - 8192, 8192, 48000), 10);
}

TEST(AacDecoder, OneAndAHalfFramesDecodeTheFirstAndKeepTheRest)
{
    Packets packets = camera_packets(2);
    std::vector<u8> bytes = packets[0];
    bytes.insert(bytes.end(), packets[1].begin(), packets[1].begin() + packets[1].size() / 2);
    Decoder dec;
    u8 *in = bytes.data();
    s32 left = (s32)bytes.size();
    ASSERT_EQ(0, dec.decode(&in, &left));
    EXPECT_EQ(bytes.data() + packets[0].size(), in);
    EXPECT_EQ((s32)(packets[1].size() / 2), left);
    u8 *was = in;
    EXPECT_EQ(DU_ERR_ADEC_BUF_LACK, dec.decode(&in, &left));
    EXPECT_EQ(was, in);
    EXPECT_EQ((s32)(packets[1].size() / 2), left);
}

TEST(AacDecoder, BytesBeforeAHeaderAreSkipped)
{
    Packets packets = camera_packets(2);
    std::vector<u8> bytes = {0x12, 0xFF, 0x00, 0x55};
    bytes.insert(bytes.end(), packets[1].begin(), packets[1].end());
    Decoder dec;
    u8 *in = bytes.data();
    s32 left = (s32)bytes.size();
    EXPECT_EQ(0, dec.decode(&in, &left));
    EXPECT_EQ(0, left);

    // Less than a header: what cannot start one goes, a possible start stays.
    std::vector<u8> tail = {0x00, 0x11, 0xFF, 0xF1};
    in = tail.data();
    left = (s32)tail.size();
    EXPECT_EQ(DU_ERR_ADEC_BUF_LACK, dec.decode(&in, &left));
    EXPECT_EQ(2, left);
    EXPECT_EQ(0xFF, *in);
}

TEST(AacDecoder, ABadFrameIsSilentConsumedAndTheNextOneDecodes)
{
    Packets packets = camera_packets(4);
    std::vector<u8> bad = packets[2];
    for (size_t i = 7; i < bad.size(); i++)
        bad[i] = (u8)(0xA5 ^ i);
    std::vector<u8> bytes = packets[0];
    bytes.insert(bytes.end(), packets[1].begin(), packets[1].end());
    bytes.insert(bytes.end(), bad.begin(), bad.end());
    bytes.insert(bytes.end(), packets[3].begin(), packets[3].end());

    Decoder dec;
    u8 *in = bytes.data();
    s32 left = (s32)bytes.size();
    ASSERT_EQ(0, dec.decode(&in, &left));
    ASSERT_EQ(0, dec.decode(&in, &left));
    std::fill(dec.out.begin(), dec.out.end(), 0x7777);
    s32 ret = dec.decode(&in, &left);
    EXPECT_NE(0, ret);
    EXPECT_NE(DU_ERR_ADEC_BUF_LACK, ret);
    EXPECT_EQ((s32)packets[3].size(), left) << "the bad frame is consumed";
    for (u32 i = 0; i < kFrame; i++)
        ASSERT_EQ(0, dec.out[i]) << "sample " << i;
    EXPECT_EQ(0x7777, dec.out[kFrame]) << "nothing beyond one mono frame is touched";
    EXPECT_EQ(0, dec.decode(&in, &left));
    EXPECT_EQ(0, left);
}

// The decoder reads ADTS framing only: asking it for raw frames is refused,
// not answered with a success that would leave a raw stream undecodable.
TEST(AacDecoder, RawModeIsRefused)
{
    HANDLE_AACDECODER h = AACInitDecoder();
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(-1, AACSetRawMode(h, 1, 48000));
    Packets packets = camera_packets(1);
    std::vector<s16> pcm(AAC_MAX_OUT_SAMPLES);
    u8 *in = packets[0].data();
    s32 left = (s32)packets[0].size();
    EXPECT_EQ(0, AACDecodeFrame(h, &in, &left, pcm.data())) << "ADTS still decodes";
    AACFreeDecoder(h);
}

class AacDecoderRegistry : public AudioTest {};

TEST_F(AacDecoderRegistry, RegistersTwoPayloadTypesOnce)
{
    ASSERT_EQ(0, DU_DUZ_ADEC_AacInit());
    u32 found = 0;
    for (const ADEC_CODEC_ENTRY_S &e : s_stDecoderCtx.astDecoder) {
        if (e.enType == PT_AAC || e.enType == PT_AACLC) {
            found++;
            EXPECT_STREQ(e.enType == PT_AAC ? "Aac" : "Aaclc", e.aszName);
            EXPECT_EQ(&DecodeAACFrm, e.pfnDecodeFrm);
            EXPECT_EQ(nullptr, e.pfnResetDecoder);
        }
    }
    EXPECT_EQ(2u, found);
    s32 ret = 0;
    std::string out = capture_stdout([&] { ret = DU_DUZ_ADEC_AacInit(); });
    EXPECT_EQ((s32)0xA018800F, ret);
    EXPECT_NE(std::string::npos, out.find("DU_DUZ_ADEC_AacInit-")) << out;
    EXPECT_NE(std::string::npos, out.find(" : s32Ret = -1609007089\n")) << out;
}

} // namespace
