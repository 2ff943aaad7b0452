// The video output unit: argument checks of every kind of call from one
// table, the descriptors it opens and closes, and the driver's order of
// bringing the output up.
#include "mpi/video/vo/mpi_vo.h"
#include "tests/support/arg_rules.h"

#include <cstring>

using argrules::Case;

namespace {

constexpr s32 kBadDev = (s32)0xA00F8001, kBadLayer = (s32)0xA00F806D, kBadChn = (s32)0xA00F8002,
              kBadGfx = (s32)0xA00F8068, kNull = (s32)0xA00F8006;
const char *kBind = "ioctl /dev/vo 0x40044f00";

class Vo : public BoardTest {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n";
        BoardTest::SetUp();
        DU_DUZ_VO_CloseFd();
    }
    void TearDown() override { DU_DUZ_VO_CloseFd(); }

    static VO_PUB_ATTR_REC_S pal()
    {
        VO_PUB_ATTR_REC_S p{};
        p.u32BgColor = 0x0000FF;
        p.enIntfType = VO_INTF_CVBS;
        p.enIntfSync = VO_OUTPUT_PAL;
        return p;
    }
    static VO_LAYER_ATTR_REC_S layer()
    {
        return {{0, 0, 720, 576}, 720, 576, 25, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0, 0};
    }
};

std::string msg(const char *what, s32 n) { return std::string(what) + "(" + std::to_string(n) + ") is invalid\r\n"; }

} // namespace

// Numbers are checked before anything is opened; nothing reaches the board.
TEST_F(Vo, NumbersAreRefusedBeforeAnyOpen)
{
    static VO_PUB_ATTR_REC_S pub;
    static VO_LAYER_ATTR_REC_S lay;
    static VO_CHN_ATTR_REC_S chn;
    static VO_CSC_REC_S csc;
    static VIDEO_FRAME_REC_S frame;
    static VIDEO_REGION_INFO_S region;
    static u32 word;
    std::vector<Case> cases = {
        {"enable device 1", [] { return DU_DUZ_VO_Enable(1); }, kBadDev, msg("VoDev", 1)},
        {"disable device -1", [] { return DU_DUZ_VO_Disable(-1); }, kBadDev, msg("VoDev", -1)},
        {"attributes of device 1", [] { return DU_DUZ_VO_SetPubAttr(1, &pub); }, kBadDev, msg("VoDev", 1)},
        {"device before null", [] { return DU_DUZ_VO_GetDevFrameRate(2, nullptr); }, kBadDev, msg("VoDev", 2)},
        {"enable layer 1", [] { return DU_DUZ_VO_EnableVideoLayer(1); }, kBadLayer, msg("VoLayer", 1)},
        {"layer before null", [] { return DU_DUZ_VO_SetVideoLayerAttr(-1, nullptr); }, kBadLayer,
         msg("VoLayer", -1)},
        {"buffer length of layer 1", [] { return DU_DUZ_VO_SetDispBufLen(1, 3); }, kBadLayer, msg("VoLayer", 1)},
        {"screen frame of layer 2", [] { return DU_DUZ_VO_GetScreenFrame(2, &frame, 0); }, kBadLayer,
         msg("VoLayer", 2)},
        {"channel 32", [] { return DU_DUZ_VO_EnableChn(0, 32); }, kBadChn, msg("VoChn", 32)},
        {"layer before channel", [] { return DU_DUZ_VO_EnableChn(1, 0); }, kBadLayer, msg("VoLayer", 1)},
        {"channel -1 is above 31 unsigned", [] { return DU_DUZ_VO_SetChnAttr(0, -1, &chn); }, kBadChn,
         msg("VoChn", -1)},
        {"send to channel 32", [] { return DU_DUZ_VO_SendFrame(0, 32, &frame, 0); }, kBadChn, msg("VoChn", 32)},
        {"channel before null", [] { return DU_DUZ_VO_GetChnPts(0, 40, nullptr); }, kBadChn, msg("VoChn", 40)},
        {"region luma of layer 1", [] { return DU_DUZ_VO_GetChnRegionLuma(1, 0, &region, &word, 0); }, kBadLayer,
         msg("VoLayer", 1)},
        {"graphic layer 1", [] { return DU_DUZ_VO_SetGraphicLayerCSC(1, &csc); }, kBadGfx, msg("u32Layer", 1)},
        {"graphic layer 0xFFFFFFFF", [] { return DU_DUZ_VO_GetGraphicLayerCSC(0xFFFFFFFFu, &csc); }, kBadGfx,
         msg("u32Layer", -1)},
        {"layer attributes of layer 3", [] { return DU_DUZ_VO_GetVideoLayerAttr(3, &lay); }, kBadLayer,
         msg("VoLayer", 3)},
    };
    argrules::run(cases, argrules::device("/dev/vo"));
    for (s32 fd : g_as32VoFd)
        EXPECT_EQ(-1, fd);
    EXPECT_EQ(-1, g_as32GfxFd);
    std::string err = testsupport::capture_stderr([] { DU_DUZ_VO_Enable(1); });
    EXPECT_EQ(0u, err.find("[Func]:DU_DUZ_VO_Enable [Line]:")) << err;
}

// A null record is found after the descriptor is opened and bound: the bind
// is the only request that reaches the board.
TEST_F(Vo, NullRecordsAreRefusedAfterTheOpen)
{
    static VIDEO_REGION_INFO_S region;
    static u32 word;
    std::vector<Case> cases = {
        {"device attributes", [] { return DU_DUZ_VO_SetPubAttr(0, nullptr); }, kNull, "NULL addr!\r\n"},
        {"device frame rate", [] { return DU_DUZ_VO_GetDevFrameRate(0, nullptr); }, kNull, "NULL addr!\r\n"},
        {"layer attributes", [] { return DU_DUZ_VO_GetVideoLayerAttr(0, nullptr); }, kNull, "NULL addr!\r\n"},
        {"buffer length", [] { return DU_DUZ_VO_GetDispBufLen(0, nullptr); }, kNull, "NULL addr!\r\n"},
        {"screen frame", [] { return DU_DUZ_VO_GetScreenFrame(0, nullptr, 0); }, kNull, "NULL addr!\r\n"},
        {"channel attributes of 5", [] { return DU_DUZ_VO_GetChnAttr(0, 5, nullptr); }, kNull, "NULL addr!\r\n"},
        {"frame to send", [] { return DU_DUZ_VO_SendFrame(0, 0, nullptr, 0); }, kNull, "NULL addr!\r\n"},
        {"frame to release", [] { return DU_DUZ_VO_ReleaseChnFrame(0, 31, nullptr); }, kNull, "NULL addr!\r\n"},
        {"region description", [] { return DU_DUZ_VO_GetChnRegionLuma(0, 0, nullptr, &word, 0); }, kNull,
         "NULL addr!\r\n"},
        {"luma result array", [] { return DU_DUZ_VO_GetChnRegionLuma(0, 0, &region, nullptr, 0); }, kNull,
         "NULL addr!\r\n"},
        {"graphic colour space", [] { return DU_DUZ_VO_SetGraphicLayerCSC(0, nullptr); }, kNull, "NULL addr!\r\n"},
    };
    argrules::run(cases, argrules::device("/dev/vo", true, kBind));
    EXPECT_GT(g_as32VoFd[0], 0);
    EXPECT_GT(g_as32VoFd[5], 0);
    EXPECT_GT(g_as32VoFd[31], 0);
    EXPECT_GT(g_as32GfxFd, 0);
    // Four descriptors, each opened and bound once.
    EXPECT_EQ(4u, testsupport::events(kBind).size());

    // The layer priority is handed to the driver without a check; the driver
    // refuses the address.
    size_t requests = argrules::device_events("/dev/vo", "ioctl");
    EXPECT_EQ(-1, DU_DUZ_VO_GetVideoLayerPriority(0, nullptr));
    EXPECT_EQ(requests + 1, argrules::device_events("/dev/vo", "ioctl"));
}

// Device and layer calls share channel 0's descriptor; every other channel
// opens one of its own, bound to its number.
TEST_F(Vo, DescriptorsPerChannelAndClose)
{
    VO_PUB_ATTR_REC_S pub = pal();
    ASSERT_EQ(0, DU_DUZ_VO_SetPubAttr(0, &pub));
    s32 fd0 = g_as32VoFd[0];
    ASSERT_GT(fd0, 0);
    VO_LAYER_ATTR_REC_S lay = layer();
    ASSERT_EQ(0, DU_DUZ_VO_SetVideoLayerAttr(0, &lay));
    VO_CHN_ATTR_REC_S a0 = {0, {0, 0, 720, 576}, 0}, a5 = {1, {360, 288, 360, 288}, 0};
    ASSERT_EQ(0, DU_DUZ_VO_SetChnAttr(0, 0, &a0));
    EXPECT_EQ(fd0, g_as32VoFd[0]);
    ASSERT_EQ(0, DU_DUZ_VO_SetChnAttr(0, 5, &a5));
    EXPECT_GT(g_as32VoFd[5], 0);
    EXPECT_NE(fd0, g_as32VoFd[5]);
    EXPECT_EQ(2u, testsupport::events(kBind).size());

    VO_CHN_ATTR_REC_S got;
    ASSERT_EQ(0, DU_DUZ_VO_GetChnAttr(0, 5, &got));
    EXPECT_EQ(0, memcmp(&a5, &got, sizeof got));
    ASSERT_EQ(0, DU_DUZ_VO_GetChnAttr(0, 0, &got));
    EXPECT_EQ(0, memcmp(&a0, &got, sizeof got));

    EXPECT_EQ(0, DU_DUZ_VO_CloseFd());
    for (s32 fd : g_as32VoFd)
        EXPECT_EQ(-1, fd);
    EXPECT_EQ(0, DU_DUZ_VO_CloseFd()); // nothing open
    // The next call opens again.
    ASSERT_EQ(0, DU_DUZ_VO_GetPubAttr(0, &pub));
    EXPECT_GT(g_as32VoFd[0], 0);
    EXPECT_EQ(3u, testsupport::events(kBind).size());
}

TEST_F(Vo, CloseFdReportsTheLastFailedClose)
{
    ASSERT_EQ(0, DU_DUZ_VO_SetGraphicLayerCSC(0, []() { static VO_CSC_REC_S c{}; return &c; }()));
    s32 real = g_as32GfxFd;
    g_as32GfxFd = 999999; // a descriptor whose close fails
    s32 ret = 0;
    std::string err = testsupport::capture_stderr([&] { ret = DU_DUZ_VO_CloseFd(); });
    EXPECT_EQ((s32)0xA00F8012, ret);
    EXPECT_NE(std::string::npos, err.find("Close Gfx Fail"));
    EXPECT_EQ(-1, g_as32GfxFd);
    bd_close(real);
}

// A failed get leaves the caller's record as it was.
TEST_F(Vo, FailedFrameGetsLeaveTheRecord)
{
    VIDEO_FRAME_REC_S f, before;
    memset(&f, 0x5A, sizeof f);
    before = f;
    EXPECT_NE(0, DU_DUZ_VO_GetChnFrame(0, 0, &f, 0));
    EXPECT_EQ(0, memcmp(&before, &f, sizeof f));
    EXPECT_NE(0, DU_DUZ_VO_GetScreenFrame(0, &f, 0));
    EXPECT_EQ(0, memcmp(&before, &f, sizeof f));
}

// Up device, layer, channel; down the other way round. The driver refuses
// steps out of that order.
TEST_F(Vo, DriverKeepsTheOrderOfTheOutput)
{
    VO_PUB_ATTR_REC_S pub = pal();
    VO_LAYER_ATTR_REC_S lay = layer();
    VO_CHN_ATTR_REC_S chn = {0, {0, 0, 720, 576}, 0};
    EXPECT_EQ(ERR_VO_NOT_CONFIG, DU_DUZ_VO_Enable(0));
    ASSERT_EQ(0, DU_DUZ_VO_SetPubAttr(0, &pub));
    ASSERT_EQ(0, DU_DUZ_VO_SetVideoLayerAttr(0, &lay));
    EXPECT_EQ(ERR_VO_NOT_PERM, DU_DUZ_VO_EnableVideoLayer(0)); // device off
    ASSERT_EQ(0, DU_DUZ_VO_Enable(0));
    ASSERT_EQ(0, DU_DUZ_VO_SetChnAttr(0, 0, &chn));
    EXPECT_EQ(ERR_VO_NOT_PERM, DU_DUZ_VO_EnableChn(0, 0)); // layer off
    ASSERT_EQ(0, DU_DUZ_VO_EnableVideoLayer(0));
    ASSERT_EQ(0, DU_DUZ_VO_EnableChn(0, 0));

    // Settings that shape what is shown wait until it is off.
    EXPECT_EQ(ERR_VO_NOT_PERM, DU_DUZ_VO_SetPubAttr(0, &pub));
    EXPECT_EQ(ERR_VO_NOT_PERM, DU_DUZ_VO_SetVideoLayerAttr(0, &lay));
    EXPECT_EQ(ERR_VO_NOT_PERM, DU_DUZ_VO_SetDispBufLen(0, 3));
    VO_CHN_ATTR_REC_S too_big = {0, {0, 0, 721, 576}, 0};
    EXPECT_EQ(ERR_VO_ILLEGAL_PARAM, DU_DUZ_VO_SetChnAttr(0, 0, &too_big));

    EXPECT_EQ(ERR_VO_NOT_PERM, DU_DUZ_VO_Disable(0));
    EXPECT_EQ(ERR_VO_NOT_PERM, DU_DUZ_VO_DisableVideoLayer(0));
    EXPECT_EQ(0, DU_DUZ_VO_DisableChn(0, 0));
    EXPECT_EQ(ERR_VO_NOT_PERM, DU_DUZ_VO_Disable(0));
    EXPECT_EQ(0, DU_DUZ_VO_DisableVideoLayer(0));
    EXPECT_EQ(0, DU_DUZ_VO_Disable(0));
    // Disabling what is off again is harmless, as an off call on an
    // output that is not on expects.
    EXPECT_EQ(0, DU_DUZ_VO_DisableChn(0, 0));
    EXPECT_EQ(0, DU_DUZ_VO_DisableVideoLayer(0));
    EXPECT_EQ(0, DU_DUZ_VO_Disable(0));
}

TEST_F(Vo, RefusedDeviceAndLayerSettings)
{
    struct Cs {
        const char *name;
        VO_PUB_ATTR_REC_S pub;
        VO_LAYER_ATTR_REC_S lay;
        s32 pub_ret, lay_ret;
    };
    VO_PUB_ATTR_REC_S good = pal(), hdmi = pal(), sync = pal(), colour = pal();
    hdmi.enIntfType = 4;
    sync.enIntfSync = 7;
    colour.u32BgColor = 0x1000000;
    VO_LAYER_ATTR_REC_S lgood = layer(), rate0 = layer(), tiny = layer(), format = layer();
    rate0.u32DispFrmRt = 0;
    tiny.u32ImageWidth = 8;
    format.enPixFormat = 1;
    Cs cases[] = {
        {"good", good, lgood, 0, 0},
        {"not composite", hdmi, rate0, ERR_VO_NOT_SUPPORT, ERR_VO_ILLEGAL_PARAM},
        {"unknown sync", sync, tiny, ERR_VO_ILLEGAL_PARAM, ERR_VO_ILLEGAL_PARAM},
        {"colour beyond RGB", colour, format, ERR_VO_ILLEGAL_PARAM, ERR_VO_ILLEGAL_PARAM},
    };
    for (const Cs &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.pub_ret, DU_DUZ_VO_SetPubAttr(0, &c.pub));
        EXPECT_EQ(c.lay_ret, DU_DUZ_VO_SetVideoLayerAttr(0, &c.lay));
    }
    // The refused ones left the good ones in place.
    VO_PUB_ATTR_REC_S pub;
    ASSERT_EQ(0, DU_DUZ_VO_GetPubAttr(0, &pub));
    EXPECT_EQ(0, memcmp(&good, &pub, sizeof pub));
    VO_LAYER_ATTR_REC_S lay;
    ASSERT_EQ(0, DU_DUZ_VO_GetVideoLayerAttr(0, &lay));
    EXPECT_EQ(576u, lay.u32ImageHeight);
}
