// The video pipeline set-up on the simulated board: stage order up and down,
// every mode of the configuration tables and its key pictures, the input
// windows, the encoder records, the teardown after partial starts, and the
// bit-rate table.
#include "recorder/dv_isp.h"
#include "recorder/dv_pipeline.h"
#include "tests/mpi/video/stream_syntax.h"
#include "tests/mpi/video/video_pipeline.h"
#include "tests/recorder/pipeline_support.h"
#include "tests/support/board_fixture.h"

#include "board/sim/devices/mipi.h"
#include "board/sim/sim.h"
#include "isp/mpi_isp.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vi/mpi_vi.h"
#include "mpi/video/vpss/mpi_vpss.h"

#include <cstring>

using pipelinetest::in_order;
using pipelinetest::line_of;

namespace {

class DvPipeline : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        u32RecModeFlag = DV_STATE_MPP;
        record_mode(PIC_HD1080, 60, PIC_HD1080, 60, PT_H265);
    }
    void TearDown() override
    {
        testsupport::capture_stdout([] { teardown(); });
        DU_DUZ_SYS_Exit();
        u32RecModeFlag = 0;
    }

    // The record modes' configuration: processing channels 1 (recording)
    // and 3 (motion detection), the recording encoder set.
    static void record_mode(u8 vi_code, u8 vi_fps, u8 venc_code, u8 fps, u32 type, u8 quality = 1, u8 rc = 0)
    {
        KX_DV_Set1080DefaultDvCfg();
        KX_DV_CONFIG_S &c = gsDvConfig;
        c.sVi.sParam[0].u8Resolution = vi_code;
        c.sVi.sParam[0].u8FrameRate = vi_fps;
        c.sVpss.sParam[0] = {0, 0, vi_code, 0, 0};
        c.sVpss.sParam[1] = {1, 1, vi_code, 0, 0};
        c.sVpss.sParam[2] = {2, 0, vi_code, 0, 0};
        c.sVpss.sParam[3] = {3, 1, PIC_QVGA, 0, 0};
        KX_DV_VENC_PARAM_S &m = c.sVenc.sParam[1];
        m.enType = type;
        m.bEnable = 1;
        m.u8Resolution = venc_code;
        m.u8FrameRate = fps;
        m.u8IPInterval = fps;
        m.u8ImageQuality = quality;
        m.u8RcMode = rc;
    }

    static s32 start()
    {
        s32 ret = KX_DV_Vi_Run();
        if (ret == 0)
            ret = KX_DV_Vpss_Run();
        if (ret == 0)
            ret = KX_DV_Venc_Run();
        return ret;
    }

    static void teardown()
    {
        for (u32 c = 0; c < 3; c++)
            KX_DV_Venc_Chn_Stop(c);
        KX_DV_Vpss_Grp_Stop(0);
        KX_DV_Vi_Chn_Stop(0);
        KX_DV_ISP_Stop();
    }
};

// The camera's recording modes: the input and the recording stream.
struct Mode {
    const char *name;
    u8 vi_code, vi_fps, venc_code, fps;
    u32 kbps_h264, kbps_h265; // quality 1
};

const Mode kModes[] = {
    {"1080p60", PIC_HD1080, 60, PIC_HD1080, 60, 38912, 32768},
    {"1080p30", PIC_HD1080, 30, PIC_HD1080, 30, 24576, 17408},
    {"1080p50", PIC_HD1080, 60, PIC_HD1080, 50, 38912 * 5 / 6, 32768 * 5 / 6},
    {"1080p25", PIC_HD1080, 30, PIC_HD1080, 25, 24576 * 5 / 6, 17408 * 5 / 6},
    {"720p120", PIC_HD720, 120, PIC_HD720, 120, 30720, 32768},
    {"720p60 of 120", PIC_HD720, 120, PIC_HD720, 60, 24576, 17408},
    {"720p30 of 120", PIC_HD720, 120, PIC_HD720, 30, 13312, 10240},
    {"720p100", PIC_HD720, 120, PIC_HD720, 100, 30720 * 5 / 6, 32768 * 5 / 6},
    {"720p50", PIC_HD720, 120, PIC_HD720, 50, 24576 * 5 / 6, 17408 * 5 / 6},
    {"720p25 of 30", PIC_HD720, 30, PIC_HD720, 25, 13312 * 5 / 6, 10240 * 5 / 6},
    {"848x480 at 120", PIC_HD720, 120, PIC_WVGA, 120, 24576, 17408},
};

} // namespace

TEST_F(DvPipeline, StagesComeUpInOrderAndGoDownInReverse)
{
    std::string out = testsupport::capture_stdout([] { ASSERT_EQ(0, start()); });
    EXPECT_EQ(DV_STATE_MPP | DV_STATE_ISP | DV_STATE_VI | DV_STATE_VPSS, u32RecModeFlag);
    long at = in_order({"mipi dev attr mode 1 1920x1080 wdr 0", "sensor i2c"}); // the ISP's init programs the sensor
    at = in_order(pipelinetest::record_pipeline_up(PT_H265), at);
    EXPECT_NE(std::string::npos, out.find("KX_DV_Vi_Run\n"));
    EXPECT_NE(std::string::npos, out.find("enable vi(0,0) ok\nend vi first config at: (0,0) ok\n"));
    EXPECT_NE(std::string::npos, out.find("stSize.u32Width = 320 ePicSize = 6\n"));
    EXPECT_NE(std::string::npos, out.find("KX_DV_Vpss_Run success\n"));
    EXPECT_NE(std::string::npos, out.find("dst = 60 ,src=60\n"));
    EXPECT_NE(std::string::npos, out.find("KX_DV_Venc_Run success\n"));
    EXPECT_TRUE(testsupport::events("venc chn 0 create").empty()); // the photo set is off
    EXPECT_TRUE(testsupport::events("vpss grp 0 chn 0 enable").empty());

    teardown();
    in_order(pipelinetest::record_pipeline_down(), at);
    EXPECT_EQ(DV_STATE_MPP, u32RecModeFlag);
    ISP_FRAME_FORMAT_S pub;
    EXPECT_NE(0, DU_DUZ_ISP_GetPubAttr(0, &pub)); // the ISP is exited

    // Everything is gone: the same pipeline comes up again.
    ASSERT_EQ(0, start());
    EXPECT_EQ(2u, testsupport::events("venc chn 1 create").size());
}

TEST_F(DvPipeline, EveryModeStartsWithTheTablesBitRateAndGroupOfPictures)
{
    struct Codec {
        u32 type;
        u8 rc;
        u32 mode, max_qp, min_qp;
    } codecs[] = {
        {PT_H264, 0, VENC_RC_MODE_H264CBR, 0, 0},
        {PT_H265, 0, VENC_RC_MODE_H265CBR, 0, 0},
        {PT_H264, 1, VENC_RC_MODE_H264VBR, 50, 20},
        {PT_H265, 1, VENC_RC_MODE_H265VBR, 40, 10},
    };
    for (const Mode &m : kModes)
        for (const Codec &c : codecs) {
            SCOPED_TRACE(std::string(m.name) + (c.type == PT_H264 ? " h264" : " h265") + (c.rc ? " vbr" : " cbr"));
            record_mode(m.vi_code, m.vi_fps, m.venc_code, m.fps, c.type, 1, c.rc);
            testsupport::capture_stdout([] { ASSERT_EQ(0, start()); });
            ASSERT_EQ(3, u8vencworkstatus[1]);
            VENC_CHN_ATTR_REC_S a;
            ASSERT_EQ(0, DU_DUZ_VENC_GetChnAttr(1, &a));
            SIZE_S size;
            ASSERT_EQ(0, KX_DV_SYS_GetPicSize(1, m.venc_code, &size, 0));
            EXPECT_EQ(c.type, a.enType);
            EXPECT_EQ(size.u32Width, a.stVideo.u32PicWidth);
            EXPECT_EQ(size.u32Height, a.stVideo.u32PicHeight);
            EXPECT_EQ(size.u32Width * size.u32Height * 2, a.stVideo.u32BufSize);
            EXPECT_EQ(c.type == PT_H264 ? 2u : 0u, a.stVideo.u32Profile);
            EXPECT_EQ(1u, a.stVideo.bByFrame);
            EXPECT_EQ(1u, a.stVideo.u32RefNum);
            EXPECT_EQ(c.mode, a.stRcAttr.enRcMode);
            EXPECT_EQ(m.fps, a.stRcAttr.u32Gop);
            EXPECT_EQ(m.vi_fps, a.stRcAttr.u32SrcFrmRate);
            EXPECT_EQ(m.fps, a.stRcAttr.u32DstFrmRate);
            EXPECT_EQ(c.type == PT_H264 ? m.kbps_h264 : m.kbps_h265, a.stRcAttr.u32BitRate);
            EXPECT_EQ(c.max_qp, a.stRcAttr.u32FluctuateLevelOrMaxQp);
            EXPECT_EQ(c.min_qp, a.stRcAttr.u32MinQp);

            VENC_RC_PARAM_REC_S rc;
            ASSERT_EQ(0, DU_DUZ_VENC_GetRcParam(1, &rc));
            bool fast = c.type == PT_H264 && m.vi_fps >= 100;
            EXPECT_EQ(fast ? 20u : 10u, rc.au32Word[28]);
            EXPECT_EQ(fast ? 2u : 1u, rc.au32Word[30]);
            EXPECT_EQ(51u, rc.au32Word[27]);
            VENC_FRAME_LOST_REC_S fl;
            ASSERT_EQ(0, DU_DUZ_VENC_GetFrameLostStrategy(1, &fl));
            EXPECT_EQ(1u, fl.bFrmLostOpen); // quality 1
            if (c.type == PT_H264) {
                VENC_H264_DBLK_REC_S d;
                ASSERT_EQ(0, DU_DUZ_VENC_GetH264Dblk(1, &d));
                EXPECT_EQ(5, d.slice_alpha_c0_offset_div2);
            } else {
                VENC_H265_DBLK_REC_S d;
                ASSERT_EQ(0, DU_DUZ_VENC_GetH265Dblk(1, &d));
                EXPECT_EQ(5, d.slice_tc_offset_div2);
            }
            teardown();
            ASSERT_EQ(DV_STATE_MPP, u32RecModeFlag);
        }
}

// Each mode's recording stream, live or replayed, has its IDR pictures
// every group of pictures from the first picture on, as FFmpeg's header
// trace reads the NAL unit types.
TEST_F(DvPipeline, EveryModeHasAnIdrPictureEveryGroup)
{
    for (const Mode &m : kModes)
        for (u32 type : {PT_H264, PT_H265}) {
            SCOPED_TRACE(std::string(m.name) + (type == PT_H264 ? " h264" : " h265"));
            record_mode(m.vi_code, m.vi_fps, m.venc_code, m.fps, type);
            testsupport::capture_stdout([] { ASSERT_EQ(0, start()); });
            ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
            // A group and the first picture of the next (the longer files of
            // the recording test show the groups repeat); a replayed mode's
            // first picture waits for its group to be prepared.
            std::vector<videotest::Pack> packs = videotest::collect(1, m.fps + 1, 15000);
            DU_DUZ_VENC_StopRecvPic(1);
            teardown();
            ASSERT_EQ(m.fps + 1u, packs.size());
            std::vector<std::vector<uint8_t>> aus;
            for (const videotest::Pack &p : packs)
                aus.push_back(p.bytes);
            const AVCodecID codec = type == PT_H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC;
            EXPECT_TRUE(syntaxtest::every(syntaxtest::idr_pictures(codec, syntaxtest::trace(codec, aus)), m.fps));
        }
}

TEST_F(DvPipeline, TheRecordingChannelDeliversStreams)
{
    for (u32 type : {PT_H264, PT_H265}) {
        SCOPED_TRACE(type);
        record_mode(PIC_HD720, 30, PIC_HD720, 30, type);
        testsupport::capture_stdout([] { ASSERT_EQ(0, start()); });
        ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
        VENC_PACK_REC_S pack;
        VENC_STREAM_REC_S stream{};
        stream.pstPack = &pack;
        stream.u32PackNum = 1;
        ASSERT_EQ(0, DU_DUZ_VENC_GetStream(1, &stream, 10000));
        EXPECT_GT(pack.u32Len, pack.u32DataOffset + 5);
        const u8 *nal = pack.pu8Data + pack.u32DataOffset;
        EXPECT_EQ(type == PT_H264 ? 0x67 : 0x40, nal[4]); // a key picture first
        EXPECT_EQ(0, DU_DUZ_VENC_ReleaseStream(1, &stream));
        DU_DUZ_VENC_StopRecvPic(1);
        teardown();
    }
}

TEST_F(DvPipeline, InputWindowsPerSizeAndRate)
{
    struct Case {
        const char *name;
        u8 code, fps;
        s32 dx, dy;
        u32 dw, dh;
        s32 cx, cy;
        u32 w, h;
    } cases[] = {
        {"1080p", PIC_HD1080, 60, 0, 0, 1920, 1096, 0, 0, 1920, 1080},
        {"720p at 30: whole field, centre cut", PIC_HD720, 30, 0, 0, 1920, 1096, 320, 180, 1280, 720},
        {"720p at 25", PIC_HD720, 25, 0, 0, 1920, 1096, 320, 180, 1280, 720},
        {"720p at 60: the device window", PIC_HD720, 60, 320, 0, 1280, 736, 0, 0, 1280, 720},
        {"vga", PIC_VGA, 30, 0, 20, 640, 480, 0, 0, 640, 480},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        record_mode(c.code, c.fps, c.code, c.fps, PT_H264);
        testsupport::capture_stdout([] { ASSERT_EQ(0, KX_DV_Vi_Run()); });
        VI_DEV_ATTR_REC_S dev;
        VI_CHN_ATTR_REC_S chn;
        ASSERT_EQ(0, DU_DUZ_VI_GetDevAttr(0, &dev));
        ASSERT_EQ(0, DU_DUZ_VI_GetChnAttr(0, &chn));
        EXPECT_EQ(6u, dev.enIntfMode);
        EXPECT_EQ(0xFFF00000u, dev.au32CompMask[0]);
        EXPECT_EQ(1280u, dev.au32SynCfg[7]);
        EXPECT_EQ(720u, dev.au32SynCfg[10]);
        EXPECT_EQ(c.dx, dev.s32X);
        EXPECT_EQ(c.dy, dev.s32Y);
        EXPECT_EQ(c.dw, dev.u32Width);
        EXPECT_EQ(c.dh, dev.u32Height);
        EXPECT_EQ(c.cx, chn.s32X);
        EXPECT_EQ(c.cy, chn.s32Y);
        EXPECT_EQ(c.w, chn.u32Width);
        EXPECT_EQ(c.h, chn.u32Height);
        EXPECT_EQ(c.w, chn.u32DestWidth);
        EXPECT_EQ(c.h, chn.u32DestHeight);
        EXPECT_EQ(PIXEL_FORMAT_YUV_SEMIPLANAR_420, chn.enPixFormat);
        EXPECT_EQ(-1, chn.s32SrcFrameRate);
        teardown();
    }
}

TEST_F(DvPipeline, RotationTurnsTheInputAndStopsMirroring)
{
    struct Case {
        const char *name;
        u32 rotate;
        u8 bRotate;
        u32 mirror, w, h;
    } cases[] = {
        {"none: mirrored and flipped", 0, 0, 1, 1920, 1080},
        {"90 degrees: portrait", 1, 1, 0, 1080, 1920},
        {"180 degrees", 2, 1, 0, 1920, 1080},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        record_mode(PIC_HD1080, 30, PIC_HD1080, 30, PT_H264);
        gsDvConfig.sVi.sParam[0].enRotate = c.rotate;
        for (KX_DV_VPSS_PARAM_S &p : gsDvConfig.sVpss.sParam)
            p.bRotate = c.bRotate;
        testsupport::capture_stdout([] { ASSERT_EQ(0, start()); });
        u32 rot = 9;
        ASSERT_EQ(0, DU_DUZ_VI_GetRotate(0, &rot));
        EXPECT_EQ(c.rotate, rot);
        VPSS_CHN_ATTR_REC_S attr;
        VPSS_CHN_MODE_REC_S mode;
        ASSERT_EQ(0, DU_DUZ_VPSS_GetChnAttr(0, 1, &attr));
        ASSERT_EQ(0, DU_DUZ_VPSS_GetChnMode(0, 1, &mode));
        EXPECT_EQ(c.mirror, attr.bMirror);
        EXPECT_EQ(c.mirror, attr.bFlip);
        EXPECT_EQ(c.w, mode.u32Width);
        EXPECT_EQ(c.h, mode.u32Height);
        EXPECT_EQ(1u, mode.enCompressMode);
        ASSERT_EQ(0, DU_DUZ_VPSS_GetChnMode(0, 3, &mode));
        EXPECT_EQ(0u, mode.enCompressMode);
        VENC_CHN_ATTR_REC_S a;
        ASSERT_EQ(0, DU_DUZ_VENC_GetChnAttr(1, &a));
        EXPECT_EQ(c.w, a.stVideo.u32PicWidth);
        teardown();
    }
}

TEST_F(DvPipeline, TheReceiverRecord)
{
    for (u8 wdr : {0, 1}) {
        SCOPED_TRACE(wdr);
        gsDvConfig.sVi.sParam[0].u8WdrMode = wdr;
        ASSERT_EQ(0, KX_DV_MipiAttr_Set());
        COMBO_DEV_ATTR_S a;
        ASSERT_TRUE(sim::mipi_dev_attr(&a));
        EXPECT_EQ(1u, a.input_mode);
        EXPECT_EQ(1920u, a.img_width);
        EXPECT_EQ(1080u, a.img_height);
        EXPECT_EQ(wdr, a.wdr_mode);
        EXPECT_EQ(2u, a.raw_data_type);
        const s16 lanes[8] = {0, 2, 1, 3, -1, -1, -1, -1};
        EXPECT_EQ(0, memcmp(lanes, a.lane_id, sizeof lanes));
        EXPECT_EQ((std::vector<u16>{0x002, 0x003, 0x000, 0x001}),
                  std::vector<u16>(a.sync_code[0][0], a.sync_code[0][0] + 4));
        EXPECT_EQ((std::vector<u16>{0x216, 0x217, 0x214, 0x215}),
                  std::vector<u16>(a.sync_code[3][1], a.sync_code[3][1] + 4));
        EXPECT_EQ((std::vector<u16>{0x31A, 0x31B, 0x318, 0x319}),
                  std::vector<u16>(a.sync_code[7][3], a.sync_code[7][3] + 4));
    }
}

TEST_F(DvPipeline, StagesRefuseToStartOutOfOrder)
{
    struct Case {
        const char *name;
        u32 state;
        s32 (*call)(void);
        const char *message;
    } cases[] = {
        {"input before the platform", 0, KX_DV_Vi_Run, "mpp is not init \n"},
        {"processing before the input", DV_STATE_MPP, KX_DV_Vpss_Run, "KX_DV_Vpss_Run\nvi is not run \n"},
        {"encoder channel before processing", DV_STATE_MPP | DV_STATE_VI,
         [] { return KX_DV_Venc_Chn_Start(1, VENC_CHN_ATTR_REC_S{}); }, "vpss is not run \n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        u32RecModeFlag = c.state;
        size_t events = testsupport::events().size();
        s32 ret = 0;
        std::string out = testsupport::capture_stdout([&] { ret = c.call(); });
        EXPECT_EQ(-1, ret);
        EXPECT_EQ(c.message, out);
        EXPECT_EQ(events, testsupport::events().size()); // no device touched
    }
}

TEST_F(DvPipeline, AFailingIspInitStopsTheInputStage)
{
    sim::sensor_set_present(false); // the sensor answers no write: the ISP's init fails
    std::string out = testsupport::capture_stdout([] { EXPECT_EQ(-1, KX_DV_Vi_Run()); });
    EXPECT_NE(std::string::npos, out.find("set dev wdr failed with error code 0xa01c8040!\n"));
    EXPECT_EQ(DV_STATE_MPP, u32RecModeFlag);
    EXPECT_TRUE(testsupport::events("vi dev").empty());
}

TEST_F(DvPipeline, StopDisablesEveryProcessingChannelTheStartEnabled)
{
    testsupport::capture_stdout([] {
        ASSERT_EQ(0, KX_DV_Vi_Run());
        ASSERT_EQ(0, KX_DV_Vpss_Run());
    });
    ASSERT_EQ(0, KX_DV_Vpss_Grp_Stop(0));
    EXPECT_EQ(1u, testsupport::events("vpss grp 0 chn 1 disable").size());
    EXPECT_EQ(1u, testsupport::events("vpss grp 0 chn 3 disable").size());
    EXPECT_TRUE(testsupport::events("vpss grp 0 chn 0 disable").empty()); // never enabled
    EXPECT_EQ(0, u8vpssworkstatus[0]);
    EXPECT_EQ(0u, u32RecModeFlag & DV_STATE_VPSS);
    // The other entries have nothing to do.
    for (u32 k = 1; k < 4; k++)
        EXPECT_EQ(0, KX_DV_Vpss_Grp_Stop(k));
    testsupport::capture_stdout([] { EXPECT_EQ(0, KX_DV_Vpss_Run()); });
    EXPECT_EQ(2u, testsupport::events("vpss grp 0 chn 3 enable").size());
}

TEST_F(DvPipeline, StopAfterAProcessingStartThatFailedBeforeTheBind)
{
    gsDvConfig.sVpss.sParam[3].u8Resolution = 3; // a refused size code: the channel's mode is refused
    testsupport::capture_stdout([] { ASSERT_EQ(0, KX_DV_Vi_Run()); });
    std::string out = testsupport::capture_stdout([] { EXPECT_EQ(-1, KX_DV_Vpss_Run()); });
    EXPECT_NE(std::string::npos, out.find("DU_DUZ_VPSS_SetChnMode failed with 0xa0078003\n"));
    EXPECT_EQ(1, u8vpssworkstatus[0]);
    ASSERT_EQ(0, KX_DV_Vpss_Grp_Stop(0));
    EXPECT_TRUE(testsupport::events("unbind 16/0/0").empty());
    EXPECT_EQ(1u, testsupport::events("vpss grp 0 chn 1 disable").size());
    EXPECT_EQ(1u, testsupport::events("vpss grp 0 destroy").size());
    // A second stop has nothing left to do.
    EXPECT_EQ(0, KX_DV_Vpss_Grp_Stop(0));
    EXPECT_EQ(1u, testsupport::events("vpss grp 0 destroy").size());
}

TEST_F(DvPipeline, AFailedEncoderStageStopsTheChannelsItMade)
{
    // The photo channel comes up; the recording set has no group of
    // pictures, so its channel is refused and its deblocking can't be read.
    gsDvConfig.sVenc.sParam[0].bEnable = 1;
    gsDvConfig.sVenc.sParam[1].u8IPInterval = 0;
    std::string out = testsupport::capture_stdout([] {
        ASSERT_EQ(0, KX_DV_Vi_Run());
        ASSERT_EQ(0, KX_DV_Vpss_Run());
        EXPECT_EQ(-1, KX_DV_Venc_Run());
    });
    EXPECT_NE(std::string::npos, out.find("DU_DUZ_VENC_CreateChn [1] faild with 0xa0088003!\n"));
    EXPECT_NE(std::string::npos, out.find("DU_DUZ_VENC_GetH265Dblk failed\n"));
    EXPECT_EQ(1u, testsupport::events("venc chn 0 create type 26 1920x1080").size());
    long bound = line_of("sys bind 7/0/0 -> 8/0/0");
    long unbound = line_of("sys unbind 7/0/0 -> 8/0/0", bound);
    line_of("venc chn 0 destroy", unbound);
    for (u8 s : u8vencworkstatus)
        EXPECT_EQ(0, s);
}

TEST_F(DvPipeline, ChannelStartAndStopFollowTheirStatus)
{
    testsupport::capture_stdout([] { ASSERT_EQ(0, start()); });
    VENC_CHN_ATTR_REC_S any{};
    // Bound already: nothing more to do.
    EXPECT_EQ(0, KX_DV_Venc_Chn_Start(1, any));
    EXPECT_EQ(1u, testsupport::events("venc chn 1 create").size());
    EXPECT_EQ(0, KX_DV_Venc_Chn_Stop(1));
    EXPECT_EQ(0, KX_DV_Venc_Chn_Stop(1));
    EXPECT_EQ(1u, testsupport::events("venc chn 1 destroy").size());
    EXPECT_EQ(0, KX_DV_Venc_Chn_Stop(2)); // never made
}

TEST(DvBitRate, Table)
{
    struct Case {
        const char *name;
        u8 quality;
        u32 type;
        u8 size, fps;
        u32 kbps;
    } cases[] = {
        {"h264 1080p60 q3", 3, PT_H264, 17, 60, 32768},
        {"h264 1080p50 q3: five sixths", 3, PT_H264, 17, 50, 27306},
        {"h264 1080p60 q9: last column", 9, PT_H264, 17, 60, 32768},
        {"h264 1080p60 q0 at the ceiling", 0, PT_H264, 17, 60, 40960},
        {"h265 wvga 30 q7", 7, PT_H265, 12, 30, 256},
        {"h265 wvga 25 q7", 7, PT_H265, 12, 25, 213},
        {"h265 vga counts as other", 0, PT_H265, 7, 60, 12288},
        {"h264 720p120 q4", 4, PT_H264, 16, 120, 24576},
        {"h265 720p100 q0", 0, PT_H265, 16, 100, 32426},
        {"h264 1080p at 120: not in the table", 1, PT_H264, 17, 120, 24576},
        {"h264 1080p at 100", 1, PT_H264, 17, 100, 20480},
        {"jpeg is not in the table", 1, PT_JPEG, 17, 30, 24576},
        {"another frame rate", 1, PT_H264, 17, 24, 24576},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.kbps, KX_DV_Get_BitRate(c.quality, c.type, c.size, c.fps));
    }
}
