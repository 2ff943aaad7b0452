// The audio units' start and end routines and their codec registries.
#include "mpi/audio/adec/mpi_adec.h"
#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/audio/ao/mpi_ao.h"
#include "mpi/video/bind/mpi_bind.h"
#include "mpi/video/vb/mpi_vb.h"
#include "tests/support/board_fixture.h"

#include <cstdlib>
#include <functional>

using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

s32 enc_open(void *, void **) { return 0; }
s32 enc_encode(void *, const AUDIO_FRAME_S *, u8 *, u32 *) { return 0; }
s32 enc_close(void *) { return 0; }
s32 dec_open(void *, void **) { return 0; }
s32 dec_decode(void *, u8 **, s32 *, u16 *, u32 *, u32 *) { return 0; }
s32 dec_info(void *, void *) { return 0; }
s32 dec_close(void *) { return 0; }

AENC_CODEC_ENTRY_S encoder(u32 type) { return {type, 1536, "test", enc_open, enc_encode, enc_close}; }
ADEC_CODEC_ENTRY_S decoder(u32 type) { return {type, "test", dec_open, dec_decode, dec_info, dec_close, nullptr}; }

class AudioUnitsTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_EQ(0, SYS_BIND_Init());
        ASSERT_EQ(0, MPI_AI_Init());
        ASSERT_EQ(0, MPI_AO_Init());
        ASSERT_EQ(0, MPI_AENC_Init());
        ASSERT_EQ(0, MPI_ADEC_Init());
    }
    void TearDown() override
    {
        capture_stdout([] {
            MPI_AI_Exit();
            MPI_AENC_Exit();
            MPI_ADEC_Exit();
            MPI_AO_Exit();
        });
        SYS_BIND_Exit();
    }
};

// Both registries follow one rule set; each case runs on both.
struct Registry {
    const char *name;
    std::function<s32(u32 type, s32 *handle)> add;
    std::function<s32(s32 handle)> remove;
    s32 null_code, full_code, bad_handle_code, empty_code;
    std::function<s32()> add_null;
};

std::vector<Registry> registries()
{
    return {
        {"encoders",
         [](u32 type, s32 *h) {
             AENC_CODEC_ENTRY_S e = encoder(type);
             return DU_DUZ_AENC_RegeisterEncoder(h, &e);
         },
         DU_DUZ_AENC_UnRegisterEncoder, (s32)0xA0178006, (s32)0xA017800F, (s32)0xA0178003, (s32)0xA017800E,
         [] {
             AENC_CODEC_ENTRY_S e = encoder(1);
             e.pfnCloseEncoder = nullptr;
             s32 h;
             return DU_DUZ_AENC_RegeisterEncoder(&h, &e);
         }},
        {"decoders",
         [](u32 type, s32 *h) {
             ADEC_CODEC_ENTRY_S d = decoder(type);
             return DU_DUZ_ADEC_RegeisterDecoder(h, &d);
         },
         DU_DUZ_ADEC_UnRegisterDecoder, (s32)0xA0188006, (s32)0xA018800F, (s32)0xA0188003, (s32)0xA0188003,
         [] {
             ADEC_CODEC_ENTRY_S d = decoder(1);
             d.pfnGetFrmInfo = nullptr;
             s32 h;
             return DU_DUZ_ADEC_RegeisterDecoder(&h, &d);
         }},
    };
}

TEST_F(AudioUnitsTest, CodecRegistries)
{
    for (auto &r : registries()) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(r.null_code, r.add_null());
        s32 h0 = -1, h1 = -1, dup = -1;
        ASSERT_EQ(0, r.add(37, &h0));
        ASSERT_EQ(0, r.add(42, &h1));
        EXPECT_EQ(h0 + 1, h1);
        EXPECT_EQ(r.full_code, r.add(37, &dup)) << "payload type taken";
        EXPECT_EQ(r.bad_handle_code, r.remove(20));
        EXPECT_EQ(r.bad_handle_code, r.remove(-1));
        ASSERT_EQ(0, r.remove(h0));
        EXPECT_EQ(r.empty_code, r.remove(h0)) << "slot free";
        s32 again = -1;
        ASSERT_EQ(0, r.add(43, &again));
        EXPECT_EQ(h0, again) << "the lowest free slot";
        // Up to twenty.
        s32 h;
        u32 type = 100;
        while (r.add(type, &h) == 0)
            type++;
        EXPECT_EQ(100u + 20 - 5 - 2, type) << "the five voice codecs and two registered before";
        EXPECT_EQ(r.full_code, r.add(999, &h));
    }
}

TEST_F(AudioUnitsTest, StartsOnceAndEndsCleanly)
{
    // A second start changes nothing that the first made: an enabled
    // channel keeps its work buffer.
    ASSERT_EQ(0, MPI_VB_InitCtx());
    AIO_ATTR_S attr = {48000, 1, 0, 0, 1, 30, 1024, 4, 1};
    ASSERT_EQ(0, DU_DUZ_AI_SetPubAttr(0, &attr));
    ASSERT_EQ(0, DU_DUZ_AI_Enable(0));
    ASSERT_EQ(0, DU_DUZ_AI_EnableChn(0, 3));
    ASSERT_NE(nullptr, ai_chn_record(3).pWorkBuf);
    EXPECT_EQ(0, MPI_AI_Init());
    EXPECT_NE(nullptr, ai_chn_record(3).pWorkBuf);
    EXPECT_EQ(0xFFFFFFFFu, ai_chn_record(0).u32ResmpPoolId);
    EXPECT_EQ(-1, ai_chn_record(15).s32AoDev);
    EXPECT_EQ(0, MPI_AO_Init());
    EXPECT_EQ(0, MPI_ADEC_Init());
    EXPECT_EQ(8u, g_stAenc[31].stDbgInfo.u32G726Rate);
    EXPECT_EQ(3u, g_stAenc[31].stDbgInfo.u32AdpcmType);
    EXPECT_EQ(DU_INVALID_HANDLE, g_stAenc[0].s32Handle);
    // The end gives back what a channel still held (the leak checker sees it).
    EXPECT_EQ(0, MPI_AI_Exit());
    EXPECT_EQ(nullptr, ai_chn_record(3).pWorkBuf);
    EXPECT_EQ(0, MPI_AI_Exit());
    EXPECT_EQ(0, MPI_AI_Init());
    EXPECT_EQ(0, DU_DUZ_AI_Disable(0));
    EXPECT_EQ(0, MPI_VB_ExitCtx());
}

TEST_F(AudioUnitsTest, OutputAndDecoderMeetInTheRegistry)
{
    MPP_CHN_ADDR_S src = {DU_ID_ADEC, 0, 31}, dst = {DU_ID_AO, 0, 15};
    ASSERT_EQ(0, SYS_Bind(&src, &dst));
    // A frame for an output channel that is not enabled is refused by it, and
    // the send reports that.
    AUDIO_FRAME_S frame = {};
    s32 ret = 0;
    std::string err = capture_stderr([&] { ret = SYS_BIND_SendData(DU_ID_ADEC, 0, 31, 0, MPP_DATA_AUDIO_FRAME, &frame); });
    EXPECT_NE(0, ret);
    EXPECT_NE(std::string::npos, err.find("[Func]:DU_DUZ_AO_SendFrame"));
    SYS_UnBind(&src, &dst);
}

TEST_F(AudioUnitsTest, OutputReceiveChecksItsChannel)
{
    AUDIO_FRAME_S frame = {};
    struct Case {
        const char *name;
        s32 dev, chn, code;
        const char *err;
    } cases[] = {{"device 1", 1, 0, (s32)0xA0168001, "ao dev 1 is invalid\n"},
                 {"channel 16", 0, 16, (s32)0xA0168002, "ao chnid 16 is invalid\n"},
                 {"channel -1", 0, -1, (s32)0xA0168002, "ao chnid -1 is invalid\n"}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 0;
        std::string err =
            capture_stderr([&] { ret = MPI_AO_ReceiveFrm(c.dev, c.chn, 0, MPP_DATA_AUDIO_FRAME, &frame); });
        EXPECT_EQ(c.code, ret);
        EXPECT_NE(std::string::npos, err.find(c.err));
    }
}

TEST_F(AudioUnitsTest, EncoderChannelRangeAndAbsentChannels)
{
    EXPECT_EQ((s32)0xA0178002, DU_DUZ_AENC_DestroyChn(32));
    EXPECT_EQ((s32)0xA0178002, DU_DUZ_AENC_DestroyChn(-1));
    EXPECT_EQ((s32)0xA0188002, MPI_ADEC_DestroyChn(32));
    EXPECT_EQ(0, MPI_ADEC_DestroyChn(0)) << "nothing to destroy";
}

TEST(AudioUnitsDeathTest, OutputTakesOnlyAudioFrames)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    AUDIO_FRAME_S frame = {};
    EXPECT_EXIT(MPI_AO_ReceiveFrm(0, 0, 0, MPP_DATA_VIDEO_FRAME, &frame), ::testing::ExitedWithCode(255), "");
    EXPECT_EXIT(MPI_AO_ReceiveFrm(0, 0, 0, MPP_DATA_AUDIO_FRAME, nullptr), ::testing::ExitedWithCode(255), "");
}

TEST(AudioUnitsDeathTest, RefusedOutputRegistrationEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto start_with_output_taken = [] {
        SYS_BIND_Init();
        SYS_BIND_RECEIVER_S taken = {DU_ID_AO, 1, 1, MPI_AO_ReceiveFrm, nullptr};
        SYS_BIND_RegisterReceiver(&taken);
        MPI_AO_Init();
    };
    EXPECT_EXIT(start_with_output_taken(), ::testing::ExitedWithCode(255), "");
}

} // namespace
