// The encoder's streams end to end on the simulated board: VI -> VPSS ->
// VENC, read the way the recorder reads them.
#include "tests/mpi/video/video_pipeline.h"
#include "tests/support/board_fixture.h"

#include <algorithm>
#include <thread>

using namespace videotest;

class VencPipeline : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
    }
    void TearDown() override
    {
        for (int c = 0; c < 2; c++) {
            DU_DUZ_VENC_StopRecvPic(c);
            DU_DUZ_VENC_DestroyChn(c);
        }
        DU_DUZ_VPSS_StopGrp(0);
        DU_DUZ_VPSS_DestroyGrp(0);
        DU_DUZ_VI_DisableChn(0);
        DU_DUZ_VI_DisableDev(0);
        DU_DUZ_SYS_Exit();
    }

    // Median step between the packs' time stamps.
    // The shortest time between two streams: pictures a loaded host loses
    // upstream only ever lengthen a step, so this is the encoder's own.
    static int64_t shortest_step(const std::vector<Pack> &packs)
    {
        int64_t best = 0;
        for (size_t i = 1; i < packs.size(); i++) {
            int64_t d = (int64_t)(packs[i].pts - packs[i - 1].pts);
            if (i == 1 || d < best)
                best = d;
        }
        return best;
    }
};

TEST_F(VencPipeline, VideoStreamsDecodeWithKeyPicturesAtEveryGroup)
{
    struct Case {
        const char *name;
        uint32_t type;
        const char *decoder;
        std::string key, other;
    } cases[] = {
        {"h264", PT_H264, "h264", "67", "61"},
        {"h265", PT_H265, "hevc", "4001", "0201"},
    };
    start_vi(1920, 1080, 30);
    start_vpss(1, 1280, 720);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        create_venc(1, video_attr(c.type, 1280, 720, 30, 4096, 30, 30));
        ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
        std::vector<Pack> packs = collect(1, 90);
        ASSERT_EQ(90u, packs.size());
        bool hevc = c.type == PT_H265;
        for (size_t i = 0; i < packs.size(); i++)
            EXPECT_EQ(i % 30 == 0 ? c.key : c.other, nal_head(packs[i], hevc)) << "picture " << i;
        int w = 0, h = 0;
        EXPECT_EQ(90, decode(c.decoder, packs, &w, &h));
        EXPECT_EQ(1280, w);
        EXPECT_EQ(720, h);
        EXPECT_NEAR(33333, shortest_step(packs), 5000);
        for (size_t i = 1; i < packs.size(); i++)
            EXPECT_GT(packs[i].pts, packs[i - 1].pts);

        ASSERT_EQ(0, DU_DUZ_VENC_StopRecvPic(1));
        MPP_CHN_ADDR_S src = {DU_ID_VPSS, 0, 1}, dst = {DU_ID_VENC, 0, 1};
        ASSERT_EQ(0, DU_DUZ_SYS_UnBind(&src, &dst));
        ASSERT_EQ(0, DU_DUZ_VENC_DestroyChn(1));
    }
}

// A restart begins with a key picture, also from a codec that holds
// pictures back (libx265): what it held from before the stop never comes out.
TEST_F(VencPipeline, IdrOnRequestAndOnRestart)
{
    struct Case {
        const char *name;
        uint32_t type;
        std::string key;
    } cases[] = {{"h264", PT_H264, "67"}, {"h265", PT_H265, "4001"}};
    start_vi(1280, 720, 30);
    start_vpss(1, 640, 360);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const bool hevc = c.type == PT_H265;
        create_venc(1, video_attr(c.type, 640, 360, 100, 1024, 30, 30));
        ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
        std::vector<Pack> first = collect(1, 5);
        ASSERT_EQ(0, DU_DUZ_VENC_RequestIDR(1, 1));
        std::vector<Pack> after = collect(1, 8);
        ASSERT_EQ(5u, first.size());
        EXPECT_EQ(c.key, nal_head(first[0], hevc));
        // Pictures already encoded when the request came stay P pictures; a key
        // picture follows within the few in flight.
        EXPECT_TRUE(std::any_of(after.begin(), after.end(), [&](const Pack &p) { return nal_head(p, hevc) == c.key; }));

        ASSERT_EQ(0, DU_DUZ_VENC_StopRecvPic(1));
        VENC_CHN_STATE_S st;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_EQ(0, DU_DUZ_VENC_Query(1, &st));
        std::vector<Pack> rest = collect(1, st.u32LeftStreamFrames);
        ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
        std::vector<Pack> again = collect(1, 1);
        ASSERT_EQ(1u, again.size());
        EXPECT_EQ(c.key, nal_head(again[0], hevc));

        ASSERT_EQ(0, DU_DUZ_VENC_StopRecvPic(1));
        MPP_CHN_ADDR_S src = {DU_ID_VPSS, 0, 1}, dst = {DU_ID_VENC, 0, 1};
        ASSERT_EQ(0, DU_DUZ_SYS_UnBind(&src, &dst));
        ASSERT_EQ(0, DU_DUZ_VENC_DestroyChn(1));
    }
}

TEST_F(VencPipeline, FrameRateConversionKeepsOnePictureInFour)
{
    start_vi(1280, 720, 120);
    start_vpss(1, 1280, 720);
    create_venc(1, video_attr(PT_H264, 1280, 720, 30, 4096, 120, 30));
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    std::vector<Pack> packs = collect(1, 61);
    ASSERT_EQ(61u, packs.size());
    // One picture kept in four: the step is four capture periods.
    EXPECT_NEAR(33333, shortest_step(packs), 5000);
    EXPECT_EQ(61, decode("h264", packs));
}

TEST_F(VencPipeline, JpegGivesOnePicturePerRequest)
{
    start_vi(1920, 1080, 30);
    start_vpss(0, 1920, 1080);
    create_venc(0, jpeg_attr(1920, 1080));
    for (int shot = 0; shot < 2; shot++) {
        SCOPED_TRACE(shot);
        VENC_RECV_PIC_PARAM_REC_S one = {1};
        ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPicEx(0, &one));
        std::vector<Pack> packs = collect(0, 1);
        ASSERT_EQ(1u, packs.size());
        ASSERT_GE(packs[0].bytes.size(), 4u);
        EXPECT_EQ(0xFF, packs[0].bytes[0]);
        EXPECT_EQ(0xD8, packs[0].bytes[1]);
        EXPECT_EQ(0xD9, packs[0].bytes.back());
        int w = 0, h = 0;
        EXPECT_EQ(1, decode("mjpeg", packs, &w, &h));
        EXPECT_EQ(1920, w);
        EXPECT_EQ(1080, h);
        // Nothing more comes until the next request.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        VENC_CHN_STATE_S st;
        ASSERT_EQ(0, DU_DUZ_VENC_Query(0, &st));
        EXPECT_EQ(0u, st.u32LeftStreamFrames);
        EXPECT_EQ(0u, st.u32LeftRecvPics);
        ASSERT_EQ(0, DU_DUZ_VENC_StopRecvPic(0));
    }
}

// Nobody reads the streams: the encoder drops pictures at its limit while
// VPSS goes on delivering.
TEST_F(VencPipeline, FullEncoderDropsAndNeverStallsProcessing)
{
    start_vi(1280, 720, 30);
    start_vpss(1, 640, 360, 2);
    create_venc(1, video_attr(PT_H264, 640, 360, 30, 1024, 30, 30));
    ASSERT_EQ(0, DU_DUZ_VENC_SetMaxStreamCnt(1, 3));
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (int i = 0; i < 10; i++) {
        VIDEO_FRAME_REC_S f;
        ASSERT_EQ(0, DU_DUZ_VPSS_GetChnFrame(0, 1, &f, 1000)) << i;
        EXPECT_EQ(640u, f.u32Width);
        EXPECT_NE(nullptr, f.pVirAddr[0]);
        EXPECT_EQ(0, DU_DUZ_VPSS_ReleaseChnFrame(0, 1, &f));
    }
    VENC_CHN_STATE_S st;
    ASSERT_EQ(0, DU_DUZ_VENC_Query(1, &st));
    EXPECT_EQ(3u, st.u32LeftStreamFrames);
    EXPECT_FALSE(testsupport::events("drops a picture").empty());
    // What was kept still reads and decodes from its key picture on.
    std::vector<Pack> packs = collect(1, 3);
    ASSERT_EQ(3u, packs.size());
    EXPECT_EQ("67", nal_head(packs[0], false));
}

TEST_F(VencPipeline, UserDataGoesOutWithTheNextKeyPicture)
{
    start_vi(1280, 720, 30);
    start_vpss(1, 640, 360);
    create_venc(1, video_attr(PT_H264, 640, 360, 10, 1024, 30, 30));
    u8 text[] = "camera-user-data";
    ASSERT_EQ(0, DU_DUZ_VENC_InsertUserData(1, text, sizeof text));
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    std::vector<Pack> packs = collect(1, 12);
    ASSERT_EQ(12u, packs.size());
    auto has_text = [&](const Pack &p) {
        return std::search(p.bytes.begin(), p.bytes.end(), text, text + sizeof text - 1) != p.bytes.end();
    };
    EXPECT_EQ("67", nal_head(packs[0], false));
    EXPECT_TRUE(has_text(packs[0]));
    EXPECT_FALSE(has_text(packs[10]));
    EXPECT_EQ(12, decode("h264", packs));
}
