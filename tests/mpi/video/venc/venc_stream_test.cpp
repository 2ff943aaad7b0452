// Stream retrieval and release: translation of the driver's packs into the
// mapped ring, and what happens when the driver's answer or the release is
// not sound.
#include "mpi/video/venc/venc_requests.h"
#include "tests/mpi/video/video_pipeline.h"
#include "tests/support/board_fixture.h"

using namespace videotest;

namespace {

class VencStream : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        start_vi(1280, 720, 30);
        start_vpss(1, 640, 360);
        create_venc(1, video_attr(PT_H264, 640, 360, 30, 1024, 30, 30));
        ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    }
    void TearDown() override
    {
        DU_DUZ_VENC_StopRecvPic(1);
        DU_DUZ_VENC_DestroyChn(1);
        DU_DUZ_VPSS_DestroyGrp(0);
        DU_DUZ_VI_DisableChn(0);
        DU_DUZ_VI_DisableDev(0);
        DU_DUZ_SYS_Exit();
    }

    // Gets one stream (waiting for it) into `stream`, backed by `pack`.
    s32 get(VENC_STREAM_REC_S &stream, VENC_PACK_REC_S &pack)
    {
        stream = {};
        stream.pstPack = &pack;
        stream.u32PackNum = 1;
        return DU_DUZ_VENC_GetStream(1, &stream, 2000);
    }
};

} // namespace

TEST_F(VencStream, PacksAreTranslatedIntoTheMappedRing)
{
    // A small ring and frequent key pictures, so that streams go round its end.
    ASSERT_EQ(0, DU_DUZ_VENC_StopRecvPic(1));
    ASSERT_EQ(0, DU_DUZ_VENC_DestroyChn(1));
    VENC_CHN_ATTR_REC_S attr = video_attr(PT_H264, 320, 240, 5, 2048, 30, 30);
    attr.stVideo.u32BufSize = 320 * 240 / 2;
    start_vpss(1, 320, 240);
    ASSERT_EQ(0, DU_DUZ_VENC_CreateChn(1, &attr));
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    VENC_STREAM_BUF_INFO_REC_S info;
    ASSERT_EQ(0, DU_DUZ_VENC_GetStreamBufInfo(1, &info));
    const VENC_CHN_CTX_S &ctx = g_stMpiVencChn[1];
    EXPECT_EQ(2 * ((info.u32BufLen + 4095) & ~4095u), 2 * ctx.u32MapHalfLen);
    // Enough streams to go round the ring's end at least once.
    u64 bytes = 0;
    std::vector<Pack> packs;
    for (int i = 0; i < 400 && bytes < 2ull * info.u32BufLen; i++) {
        VENC_STREAM_REC_S s;
        VENC_PACK_REC_S p;
        ASSERT_EQ(0, get(s, p)) << i;
        const u8 *base = static_cast<const u8 *>(info.pUserBase);
        ASSERT_GE(p.pu8Data, base + VENC_STREAM_OFFSET);
        ASSERT_LT(p.pu8Data, base + info.u32BufLen + VENC_STREAM_OFFSET);
        EXPECT_EQ(p.u32PhyAddr, info.u32PhyBase + (u32)(p.pu8Data - base));
        // The driver's header sits just before the payload.
        u32 magic;
        memcpy(&magic, p.pu8Data - VENC_STREAM_OFFSET, 4);
        EXPECT_EQ(VENC_PACK_MAGIC, magic);
        EXPECT_EQ(0, p.pu8Data[0]);
        EXPECT_EQ(1, p.pu8Data[3]);
        bytes += p.u32Len;
        packs.push_back({std::vector<uint8_t>(p.pu8Data, p.pu8Data + p.u32Len), p.u64TimeStamp});
        ASSERT_EQ(0, DU_DUZ_VENC_ReleaseStream(1, &s));
    }
    EXPECT_GE(bytes, (u64)info.u32BufLen);
    // Packs that ran over the ring's end read whole through the second mapping.
    EXPECT_EQ((int)packs.size(), decode("h264", packs));
}

// A pack the driver reports outside the mapped ring is never translated: the
// stream goes back to the driver and the call fails.
TEST_F(VencStream, PackOutsideTheRingIsRefused)
{
    VENC_CHN_CTX_S &ctx = g_stMpiVencChn[1];
    u32 size = ctx.u32StrmBufSize;
    ctx.u32StrmBufSize = 0; // as if the driver placed the pack beyond the ring
    VENC_STREAM_REC_S s;
    VENC_PACK_REC_S p;
    std::string err = testsupport::capture_stderr([&] { EXPECT_EQ((s32)0xA0088011, get(s, p)); });
    ctx.u32StrmBufSize = size;
    EXPECT_NE(std::string::npos, err.find("outside the stream buffer"));
    // Untouched: still the driver's kernel address and full length.
    EXPECT_EQ(0u, p.u32PhyAddr);
    EXPECT_GE(p.u32Len, VENC_STREAM_OFFSET);
    // The driver has it back: the next stream reads and releases normally.
    ASSERT_EQ(0, get(s, p));
    EXPECT_EQ(0, DU_DUZ_VENC_ReleaseStream(1, &s));
    VENC_CHN_STATE_S st;
    ASSERT_EQ(0, DU_DUZ_VENC_Query(1, &st));
}

// Releasing out of order fails in the driver; the caller's record is left as
// it was, user addresses and payload lengths, and releases later in order.
TEST_F(VencStream, FailedReleaseRestoresTheRecord)
{
    VENC_STREAM_REC_S first, second;
    VENC_PACK_REC_S p1, p2;
    ASSERT_EQ(0, get(first, p1));
    ASSERT_EQ(0, get(second, p2));
    VENC_PACK_REC_S before = p2;
    EXPECT_NE(0, DU_DUZ_VENC_ReleaseStream(1, &second));
    EXPECT_EQ(before.pu8Data, p2.pu8Data);
    EXPECT_EQ(before.u32Len, p2.u32Len);
    EXPECT_EQ(before.u32PhyAddr, p2.u32PhyAddr);
    EXPECT_EQ(0, DU_DUZ_VENC_ReleaseStream(1, &first));
    EXPECT_EQ(0, DU_DUZ_VENC_ReleaseStream(1, &second));
}

TEST_F(VencStream, StreamBufferInformationFollowsTheChannel)
{
    VENC_STREAM_BUF_INFO_REC_S info{};
    ASSERT_EQ(0, DU_DUZ_VENC_GetStreamBufInfo(1, &info));
    EXPECT_NE(0u, info.u32PhyBase);
    EXPECT_GE(info.u32BufLen, 640u * 360 * 2);
    ASSERT_EQ(0, DU_DUZ_VENC_StopRecvPic(1));
    ASSERT_EQ(0, DU_DUZ_VENC_DestroyChn(1));
    VENC_STREAM_BUF_INFO_REC_S after = {1, &info, 1};
    EXPECT_EQ((s32)0xA0088005, DU_DUZ_VENC_GetStreamBufInfo(1, &after));
    EXPECT_EQ(1u, after.u32PhyBase); // untouched
}

TEST(VencTranslation, ArithmeticOfTheThreeTranslations)
{
    VENC_CHN_CTX_S saved = g_stMpiVencChn[5];
    static u8 buf[0x4000];
    g_stMpiVencChn[5].u32StrmBufPhyAddr = 0x80001123;
    g_stMpiVencChn[5].u32StrmBufKernAddr = 0xC0001123;
    g_stMpiVencChn[5].pStrmBufUserAddr = buf + 0x123;
    EXPECT_EQ(0x80001163u, VencVirt2Phy(5, 0xC0001123 + 0x40));
    EXPECT_EQ(buf + 0x163, VencVirt2User(5, 0xC0001123 + 0x40));
    EXPECT_EQ(0xC0001163u, VencUser2Virt(5, buf + 0x163));
    g_stMpiVencChn[5] = saved;
}
