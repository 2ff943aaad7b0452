// The adapter's noise-reduction and encoder operations on the board's
// processing unit and encoder: the 3D noise-reduction point packed bit for
// bit into the group's records, rate control by the channel's mode, and
// the face configuration by its byte map.
#include "tests/mpi/video/video_pipeline.h"
#include "tests/sceneauto/adpt_fixture.h"

#include <cstring>
#include <functional>
#include <string>

using namespace videotest;

namespace {

class AdapterVenc : public AdapterVpssTest {
protected:
    void TearDown() override
    {
        for (int chn : chns_)
            DU_DUZ_VENC_DestroyChn(chn);
        AdapterVpssTest::TearDown();
    }

    void channel(int chn, VENC_CHN_ATTR_REC_S attr)
    {
        ASSERT_EQ(0, DU_DUZ_VENC_CreateChn(chn, &attr));
        chns_.push_back(chn);
    }
    static VENC_CHN_ATTR_REC_S video(u32 type, u32 mode, u32 kbps)
    {
        VENC_CHN_ATTR_REC_S a = video_attr(type, 640, 360, 30, kbps, 30, 30);
        a.stRcAttr.enRcMode = mode;
        return a;
    }

    std::vector<int> chns_;
};

// A point whose every field differs, with the named edge values: 300 in
// h[40] keeps only its low byte, 0x7FF in h[44] only its ten bits.
SCENEAUTO_3DNR_PARAM_S sample_point()
{
    SCENEAUTO_3DNR_PARAM_S p = {};
    u8 v = 1;
    for (auto &row : p.au8Strength)
        for (u8 &b : row)
            b = v++;
    p.u8Global0 = 13;
    p.au8GroupSel[0] = 14, p.au8GroupSel[1] = 15, p.au8GroupSel[2] = 16;
    p.u8Global1 = 17;
    p.u16Global = 0x1F6;
    p.u16BlendKey = 3;
    const u16 thresh[4][3] = {{0x21, 0x32, 0x43}, {0x3E, 0x25, 0x4A}, {5, 6, 7}, {300, 0x1FF, 0x7FF}};
    memcpy(p.au16Thresh, thresh, sizeof thresh);
    for (int i = 0; i < 7; i++)
        p.au8Tail[i] = (u8)(0xC0 + i);
    p.au8GrpByte[0] = 0xA1, p.au8GrpByte[1] = 0xA2;
    p.au16GrpWord[0] = 0x1234, p.au16GrpWord[1] = 0x5678, p.au16GrpWord[2] = 0x9ABC;
    p.au8GrpTail[0] = 1, p.au8GrpTail[1] = 2, p.au8GrpTail[2] = 3, p.au8GrpTail[3] = 4;
    return p;
}

template <class Rec> std::vector<u8> bytes(const Rec &r)
{
    const u8 *b = reinterpret_cast<const u8 *>(&r);
    return std::vector<u8>(b, b + sizeof r);
}

template <class Rec> Rec filled(u8 value)
{
    Rec r;
    memset(&r, value, sizeof r);
    return r;
}

} // namespace

TEST_F(AdapterVenc, TheNoiseReductionPointIsPackedBitForBit)
{
    auto nr = filled<VPSS_NR_V3_PARAM_REC_S>(0xEE);
    ASSERT_EQ(0, DU_DUZ_VPSS_SetNRV3Param(0, &nr));
    auto v2 = filled<VPSS_GRP_PARAM_V2_REC_S>(0xEE);
    ASSERT_EQ(0, DU_DUZ_VPSS_SetGrpParamV2(0, &v2));

    const SCENEAUTO_3DNR_PARAM_S p = sample_point();
    ASSERT_EQ(0, CommSceneautoSet3DNR(0, &p));

    ASSERT_EQ(0, DU_DUZ_VPSS_GetNRV3Param(0, &nr));
    const std::vector<u8> want = {
        0xEE,                    // 0: kept
        13, 17, 14,              // 1-3: b12, b16, b13
        1, 4, 7, 10, 44,         // 4-8: group 0's strengths, low byte of h40 (300)
        15, 2, 5, 8, 11, 0xFF,   // 9-14: b14, group 1's strengths, low byte of h42
        16, 3, 6, 9, 12,         // 15-19: b15, group 2's strengths
        0xF9, 0xFF,              // 20-21: h34, h36, h38 (2 bits each), h44 (10 bits)
        0x21, 0x63,              // 22-23: h22, h24 / h26, h18 (4 bits each)
        0xBE, 0xA8,              // 24-25: h28, h30, h32 (5 bits each), h20 bit 0
        3, 0xB1, 16, 255,        // 26-29: fixed
    };
    EXPECT_EQ(want, bytes(nr));

    VPSS_GRP_PARAM_REC_S gp = {};
    ASSERT_EQ(0, DU_DUZ_VPSS_GetGrpParam(0, &gp));
    const VPSS_GRP_PARAM_REC_S want_gp = {{32, 128, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF,
                                          0xFFFFFFFF}};
    EXPECT_EQ(bytes(want_gp), bytes(gp));

    ASSERT_EQ(0, DU_DUZ_VPSS_GetGrpParamV2(0, &v2));
    const std::vector<u8> want_v2 = {0xA1, 0xA2, 0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 1, 2, 3, 4};
    EXPECT_EQ(want_v2, bytes(v2));
}

// A group whose records cannot be read gets nothing written and the
// operation says so, after trying every step.
TEST_F(AdapterVenc, ANoiseReductionRecordThatCannotBeReadIsNotSet)
{
    const SCENEAUTO_3DNR_PARAM_S p = sample_point();
    s32 ret = 0;
    std::string out;
    testsupport::capture_stderr([&] { out = testsupport::capture_stdout([&] { ret = CommSceneautoSet3DNR(1, &p); }); });
    EXPECT_EQ(-1, ret);
    EXPECT_EQ("DU_DUZ_VPSS_GetNRV3Param failed\nDU_DUZ_VPSS_GetGrpParam failed\nDU_DUZ_VPSS_GetGrpParamV2 failed\n",
              out);
}

TEST_F(AdapterVenc, RateControlFollowsTheChannelsMode)
{
    struct Case {
        const char *name;
        u32 type, mode;
        bool h265_op;
        int mode_word; // -1: the channel is left alone
        const char *line;
    } cases[] = {
        {"H.264 constant rate", PT_H264, VENC_RC_MODE_H264CBR, false, 29, "CommSceneautoSetH264RcParam"},
        {"H.264 variable rate", PT_H264, VENC_RC_MODE_H264VBR, false, 25, "CommSceneautoSetH264RcParam"},
        {"H.265 constant rate", PT_H265, VENC_RC_MODE_H265CBR, true, 29, "CommSceneautoSetH265RcParam"},
        {"H.265 variable rate", PT_H265, VENC_RC_MODE_H265VBR, true, 25, "CommSceneautoSetH265RcParam"},
        {"H.264 call on an H.265 channel", PT_H265, VENC_RC_MODE_H265CBR, false, -1, ""},
        {"H.265 call on an H.264 channel", PT_H264, VENC_RC_MODE_H264CBR, true, -1, ""},
    };
    int chn = 1;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        channel(chn, video(c.type, c.mode, 2048));
        VENC_RC_PARAM_REC_S rc;
        for (u32 i = 0; i < 41; i++)
            rc.au32Word[i] = 1000 + i;
        ASSERT_EQ(0, DU_DUZ_VENC_SetRcParam(chn, &rc));

        SCENEAUTO_RC_PARAM_S s = {};
        for (u32 i = 0; i < 12; i++)
            s.au32ThreshI[i] = 7 + i, s.au32ThreshP[i] = 30 + i;
        s.u32Common = 1;
        s.u32ModeWord = 4;
        s32 ret = -2;
        std::string out = testsupport::capture_stdout(
            [&] { ret = c.h265_op ? CommSceneautoSetH265RcParam(chn, &s) : CommSceneautoSetH264RcParam(chn, &s); });
        EXPECT_EQ(0, ret);
        ASSERT_EQ(0, DU_DUZ_VENC_GetRcParam(chn, &rc));
        if (c.mode_word < 0) {
            EXPECT_EQ("", out);
            for (u32 i = 0; i < 41; i++)
                EXPECT_EQ(1000 + i, rc.au32Word[i]) << i;
        } else {
            EXPECT_EQ(std::string(c.line) + ",DU_DUZ_VENC_SetRcParam\n", out);
            for (u32 i = 0; i < 41; i++) {
                u32 want = 1000 + i;
                if (i < 12)
                    want = 7 + i;
                else if (i < 24)
                    want = 30 + i - 12;
                else if (i == 24)
                    want = 1;
                else if ((int)i == c.mode_word)
                    want = 4;
                EXPECT_EQ(want, rc.au32Word[i]) << i;
            }
            // The get twin reads the same words back.
            SCENEAUTO_RC_PARAM_S back = {};
            ASSERT_EQ(0, c.h265_op ? CommSceneautoGetH265RcParam(chn, &back) : CommSceneautoGetH264RcParam(chn, &back));
            EXPECT_EQ(0, memcmp(&s, &back, sizeof s));
        }
        chn++;
    }

    SCENEAUTO_RC_PARAM_S s = {};
    std::string out;
    testsupport::capture_stderr([&] { out = testsupport::capture_stdout([&] { EXPECT_EQ(-1, CommSceneautoSetH264RcParam(7, &s)); }); });
    EXPECT_EQ("DU_DUZ_VENC_GetChnAttr failed\n", out);
}

TEST_F(AdapterVenc, CodecAndBitRateOfAChannel)
{
    channel(1, video(PT_H264, VENC_RC_MODE_H264VBR, 8192));
    channel(2, video(PT_H265, VENC_RC_MODE_H265CBR, 4096));
    channel(3, jpeg_attr(640, 360));
    struct Case {
        const char *name;
        int chn;
        SCENEAUTO_VENC_ATTR_S want;
    } cases[] = {{"H.264", 1, {0, 8192}}, {"H.265", 2, {1, 4096}}, {"JPEG leaves the record", 3, {55, 66}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SCENEAUTO_VENC_ATTR_S a = {55, 66};
        ASSERT_EQ(0, CommSceneautoGetVencAttr(c.chn, &a));
        EXPECT_EQ(c.want.u32Codec, a.u32Codec);
        EXPECT_EQ(c.want.u32BitRate, a.u32BitRate);
    }
    u32 kbps = 0;
    ASSERT_EQ(0, CommSceneautoGetBitrate(2, &kbps));
    EXPECT_EQ(4096u, kbps);
}

TEST_F(AdapterVenc, TransformWordAndDeblocking)
{
    channel(1, video(PT_H264, VENC_RC_MODE_H264CBR, 2048));
    VENC_H264_TRANS_REC_S t;
    for (u32 i = 0; i < 36; i++)
        t.au32Word[i] = i;
    ASSERT_EQ(0, DU_DUZ_VENC_SetH264Trans(1, &t));
    ASSERT_EQ(0, CommSceneautoSetH264Trans(1, (u32)-6));
    ASSERT_EQ(0, DU_DUZ_VENC_GetH264Trans(1, &t));
    for (u32 i = 0; i < 35; i++)
        EXPECT_EQ(i, t.au32Word[i]);
    EXPECT_EQ((u32)-6, t.au32Word[35]);
    u32 word = 0;
    ASSERT_EQ(0, CommSceneautoGetH264Trans(1, &word));
    EXPECT_EQ((u32)-6, word);

    const VENC_H264_DBLK_REC_S d = {0, 3, -2};
    ASSERT_EQ(0, DU_DUZ_VENC_SetH264Dblk(1, &d));
    SCENEAUTO_H264_DBLK_S s = {};
    ASSERT_EQ(0, CommSceneautoGetH24Deblock(1, &s));
    EXPECT_EQ(0u, s.au32Word[0]);
    EXPECT_EQ(3u, s.au32Word[1]);
    EXPECT_EQ((u32)-2, s.au32Word[2]);
    s = {{2, 5, 5}};
    EXPECT_EQ(0, CommSceneautoSetH24Deblock(1, &s));
    VENC_H264_DBLK_REC_S now = {};
    ASSERT_EQ(0, DU_DUZ_VENC_GetH264Dblk(1, &now));
    EXPECT_EQ(bytes(d), bytes(now));
}

// The record's fields land where the map puts them, every other byte of
// the configuration stays, and the get reads them back.
TEST_F(AdapterVenc, TheFaceConfigurationIsSetByItsMap)
{
    channel(1, video(PT_H265, VENC_RC_MODE_H265CBR, 2048));
    VENC_FACE_CFG_REC_S cfg = {};
    ASSERT_EQ(0, DU_DUZ_VENC_SetFaceCfg(1, &cfg));

    SCENEAUTO_H265_FACE_S f;
    u8 *fb = reinterpret_cast<u8 *>(&f);
    for (size_t i = 0; i < sizeof f; i++)
        fb[i] = (u8)(0x80 | (i & 0x7F));
    ASSERT_EQ(0, CommSceneautoSetH265FaceCfg(1, &f));
    ASSERT_EQ(0, DU_DUZ_VENC_GetFaceCfg(1, &cfg));
    const u8 *cb = reinterpret_cast<const u8 *>(&cfg);
    auto word_at = [&](size_t off) {
        u32 w;
        memcpy(&w, cb + off, 4);
        return w;
    };
    auto rec_word = [&](size_t off) {
        u32 w;
        memcpy(&w, fb + off, 4);
        return w;
    };
    struct Byte {
        size_t rec, cfg;
    } bytes_[] = {{0, 1262},  {3, 1256},  {4, 1286},  {11, 1304}, {12, 1263}, {23, 1305}, {24, 1279},
                  {31, 1297}, {35, 1321}, {36, 1271}, {47, 1313}, {56, 1360}, {59, 1366}, {72, 1361},
                  {75, 1367}, {80, 1378}, {81, 1376}, {92, 1379}, {93, 1377}};
    for (const Byte &b : bytes_)
        EXPECT_EQ(fb[b.rec], cb[b.cfg]) << "record byte " << b.rec;
    struct Word {
        size_t rec, cfg;
    } words[] = {{48, 1344}, {52, 1352}, {60, 1368}, {64, 1348}, {68, 1356},  {76, 1372},
                 {84, 1328}, {88, 1336}, {96, 1332}, {100, 1340}, {104, 1120}, {108, 1124},
                 {112, 1132}, {116, 1148}, {120, 1140}, {136, 1172}, {168, 1236}, {172, 1252}};
    for (const Word &w : words)
        EXPECT_EQ(rec_word(w.rec), word_at(w.cfg)) << "record word " << w.rec;
    // 60 bytes and 28 words are mapped; nothing else changes.
    int changed = 0;
    for (size_t i = 0; i < sizeof cfg; i++)
        changed += cb[i] != 0;
    EXPECT_EQ(60 + 28 * 4, changed);
    for (size_t i = 0; i < 1120; i++)
        ASSERT_EQ(0, cb[i]) << i;

    SCENEAUTO_H265_FACE_S back;
    memset(&back, 0, sizeof back);
    ASSERT_EQ(0, CommSceneautoGetH265FaceCfg(1, &back));
    SCENEAUTO_H265_FACE_S want = f;
    memset(want.au8Pad82, 0, 2); // not mapped
    memset(want.au8Pad94, 0, 2);
    EXPECT_EQ(bytes(want), bytes(back));
}
