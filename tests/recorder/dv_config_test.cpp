// The pipeline configuration: picture-size codes, buffer-block sizes, the two
// default sets, the configuration file and the flag helpers.
#include "recorder/dv_config.h"
#include "tests/support/board_fixture.h"

#include "mpi/common/video_frame_requests.h"
#include "mpi/video/venc/mpi_venc.h"

#include <cstring>
#include <sys/stat.h>

namespace {

class DvConfig : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        memset(&gsDvConfig, 0, sizeof gsDvConfig);
    }
    std::string file() const { return root_ + "/home/dv_config.dv"; }
};

} // namespace

TEST(DvPicSize, CodesNormsAndRotations)
{
    struct Case {
        const char *name;
        u32 norm, code, rotate;
        s32 ret;
        u32 w, h;
    } cases[] = {
        {"qcif norm 0", 0, 0, 0, 0, 176, 144},
        {"qcif norm 1", 1, 0, 0, 0, 176, 120},
        {"d1 norm 0", 0, 4, 0, 0, 720, 576},
        {"d1 norm 1", 1, 4, 0, 0, 720, 480},
        {"code 3 refused", 1, 3, 0, -1, 0, 0},
        {"code 21 refused", 1, 21, 0, -1, 0, 0},
        {"code 20", 1, 20, 0, 0, 2592, 1944},
        {"wvga", 1, 12, 0, 0, 848, 480},
        {"1080p rotated 90", 1, 17, 1, 0, 1080, 1920},
        {"1080p rotated 180 stays", 1, 17, 2, 0, 1920, 1080},
        {"720p rotated 270", 1, 16, 3, 0, 720, 1280},
        {"wvga rotated 90", 1, 12, 1, 0, 480, 848},
        {"vga never turns", 1, 7, 1, 0, 640, 480},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SIZE_S s = {0, 0};
        EXPECT_EQ(c.ret, KX_DV_SYS_GetPicSize(c.norm, c.code, &s, c.rotate));
        if (c.ret == 0) {
            EXPECT_EQ(c.w, s.u32Width);
            EXPECT_EQ(c.h, s.u32Height);
        }
    }
    EXPECT_EQ(-1, KX_DV_SYS_GetPicSize(1, 17, nullptr, 0));
}

TEST(DvPicSize, BufferBlocks)
{
    struct Case {
        const char *name;
        u32 code, fmt, align, rotate;
        s32 bytes;
        const char *message;
    } cases[] = {
        {"1080p 4:2:0 align 64", 17, 23, 64, 0, 1088 * 1920 * 3 / 2 + 24 * 1080, ""},
        {"1080p as stated", 17, 23, 64, 0, 3159360, ""},
        {"1080p 4:2:2 align 16", 17, 22, 16, 0, 1088 * 1920 * 2 + 32 * 1080, ""},
        {"720p portrait 4:2:0 align 64", 16, 23, 64, 1, 1280 * 768 * 3 / 2 + 24 * 1280, ""},
        {"refused code", 3, 23, 64, 0, -1, "get picture size[3] failed!\n"},
        {"other format", 17, 21, 64, 0, -1, "pixel format[21] input failed!\n"},
        {"other alignment", 17, 23, 8, 0, -1, "system align width[8] input failed!\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 bytes = 0;
        std::string out = testsupport::capture_stdout(
            [&] { bytes = KX_DV_SYS_CalcPicVbBlkSize(1, c.code, c.fmt, c.align, c.rotate); });
        EXPECT_EQ(c.bytes, bytes);
        EXPECT_EQ(c.message, out);
    }
}

TEST_F(DvConfig, DefaultSets)
{
    struct Vpss {
        u8 enable, code;
    };
    struct Case {
        const char *name;
        KX_DV_CONFIG_S *(*fill)(void);
        u8 vi_code, vi_fps;
        Vpss vpss[4];
        u8 jpeg_on, main_fps, sub_on, jpeg_code;
        u16 osd_y;
    } cases[] = {
        {"1080p", KX_DV_Set1080DefaultDvCfg, 17, 60, {{0, 17}, {1, 17}, {0, 16}, {0, 1}}, 0, 60, 0, 17, 1050},
        {"720p", KX_DV_Set720DefaultDvCfg, 16, 120, {{1, 16}, {1, 16}, {0, 16}, {1, 1}}, 1, 120, 1, 16, 690},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        memset(&gsDvConfig, 0xEE, sizeof gsDvConfig);
        gsDvConfig.sVo.sParam.eSync = 1;
        ASSERT_EQ(&gsDvConfig, c.fill());
        const KX_DV_CONFIG_S &g = gsDvConfig;
        const KX_DV_VI_PARAM_S &vi = g.sVi.sParam[0];
        EXPECT_EQ(0, vi.u8ViDev);
        EXPECT_EQ(1, vi.u8Spare);
        EXPECT_EQ(0, vi.u8WdrMode);
        EXPECT_EQ(1, vi.u8Norm);
        EXPECT_EQ(c.vi_code, vi.u8Resolution);
        EXPECT_EQ(c.vi_fps, vi.u8FrameRate);
        EXPECT_EQ(0u, vi.enRotate);
        for (int n = 0; n < 4; n++) {
            EXPECT_EQ(n, g.sVpss.sParam[n].u8Chn);
            EXPECT_EQ(c.vpss[n].enable, g.sVpss.sParam[n].bEnable) << n;
            EXPECT_EQ(c.vpss[n].code, g.sVpss.sParam[n].u8Resolution) << n;
        }
        const KX_DV_VENC_PARAM_S &jpeg = g.sVenc.sParam[0], &main = g.sVenc.sParam[1], &sub = g.sVenc.sParam[3];
        EXPECT_EQ(PT_JPEG, jpeg.enType);
        EXPECT_EQ(c.jpeg_on, jpeg.bEnable);
        EXPECT_EQ(2, jpeg.u8StreamType);
        EXPECT_EQ(c.jpeg_code, jpeg.u8Resolution);
        EXPECT_EQ(PT_H265, main.enType);
        EXPECT_EQ(1, main.u8Chn);
        EXPECT_EQ(1, main.bEnable);
        EXPECT_EQ(c.main_fps, main.u8FrameRate);
        EXPECT_EQ(c.vi_code, main.u8Resolution);
        EXPECT_EQ(PT_H264, sub.enType);
        EXPECT_EQ(3, sub.u8Chn);
        EXPECT_EQ(c.sub_on, sub.bEnable);
        EXPECT_EQ(1, sub.u8Resolution);
        for (int n : {0, 1, 3}) {
            EXPECT_EQ(1, g.sVenc.sParam[n].u8ImageQuality) << n;
            EXPECT_EQ(g.sVenc.sParam[n].u8FrameRate, g.sVenc.sParam[n].u8IPInterval) << n;
        }
        EXPECT_EQ(0xEEu, g.sVenc.sParam[2].u8Chn); // left as it was
        EXPECT_EQ(0xEE, main.u8RcMode);
        EXPECT_EQ(1u, g.sVo.sParam.eSync);
        EXPECT_EQ(0xEE, g.u8SceneAutoMode);
        EXPECT_EQ(0xEE, g.sOsd.sParam[1].bEnable);
        for (u8 iq : g.au8IqParam)
            EXPECT_EQ(64, iq);
        const KX_DV_OSD_PARAM_S &osd = g.sOsd.sParam[0];
        EXPECT_EQ(1, osd.u8Spare);
        EXPECT_EQ(1, osd.bEnable);
        EXPECT_EQ(30, osd.u16X);
        EXPECT_EQ(c.osd_y, osd.u16Y);
        EXPECT_EQ(456, osd.u16Width);
        EXPECT_EQ(36, osd.u16Height);
    }
}

TEST_F(DvConfig, TvStandardAndEncoderSetsAreApart)
{
    KX_DV_Set1080DefaultDvCfg();
    KX_DV_VENC_S before = gsDvConfig.sVenc;
    gsDvConfig.sVo.sParam.eSync = 1;
    EXPECT_EQ(0, memcmp(&before, &gsDvConfig.sVenc, sizeof before));
    memset(&gsDvConfig.sVenc.sParam[3], 0xFF, sizeof gsDvConfig.sVenc.sParam[3]);
    EXPECT_EQ(1u, gsDvConfig.sVo.sParam.eSync);
}

TEST_F(DvConfig, FileKeepsTheRawRecord)
{
    KX_DV_Set720DefaultDvCfg();
    gsDvConfig.u8SceneAutoMode = 3;
    KX_DV_CONFIG_S saved = gsDvConfig;
    ASSERT_EQ(0, KX_DV_SaveDvcfg2File(&saved));
    EXPECT_EQ(sizeof saved, testsupport::read_file(file()).size());
    KX_DV_CONFIG_S back;
    memset(&back, 0, sizeof back);
    ASSERT_EQ(0, KX_DV_GetDvcfgFromFile(&back));
    EXPECT_EQ(0, memcmp(&saved, &back, sizeof back));
}

TEST_F(DvConfig, MissingOrShortFileGivesTheDefaultsAndWritesThem)
{
    struct Case {
        const char *name;
        std::string content; // "" for no file
        const char *message;
    } cases[] = {
        {"missing", "", "======fopen config file failed in KX_DV_GetDvcfgFromFile\n"},
        {"short", "abc", "======fread KX_DV_GetDvcfgFromFile failed\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        remove(file().c_str());
        if (!c.content.empty())
            testsupport::write_file(file(), c.content);
        memset(&gsDvConfig, 0, sizeof gsDvConfig);
        KX_DV_CONFIG_S dst;
        memset(&dst, 0x5A, sizeof dst);
        s32 ret = 0;
        std::string out = testsupport::capture_stdout([&] { ret = KX_DV_GetDvcfgFromFile(&dst); });
        EXPECT_EQ(-1, ret);
        EXPECT_EQ(c.message, out);
        EXPECT_EQ(0x5A, dst.sVi.sParam[0].u8Resolution); // not copied
        EXPECT_EQ(17, gsDvConfig.sVi.sParam[0].u8Resolution);
        std::string bytes = testsupport::read_file(file());
        ASSERT_EQ(sizeof gsDvConfig, bytes.size());
        EXPECT_EQ(0, memcmp(bytes.data(), &gsDvConfig, bytes.size()));
    }
}

TEST_F(DvConfig, SaveIntoAMissingFolderSaysSo)
{
    // A folder where the file should be: it cannot be written.
    ASSERT_EQ(0, mkdir(file().c_str(), 0755));
    std::string out = testsupport::capture_stdout([] { EXPECT_EQ(-1, KX_DV_SaveDvcfg2File(&gsDvConfig)); });
    EXPECT_EQ("======fopen config file failed in KX_DV_SaveDvcfg2File\n", out);
}

TEST(DvConfigFlags, SetAndClearBits)
{
    struct Case {
        const char *name;
        u32 start, bit;
        bool set;
        u32 result;
    } cases[] = {
        {"set 0", 0, 0, true, 0x1},
        {"set 31", 0, 31, true, 0x80000000u},
        {"set 40 changes nothing", 0x10, 40, true, 0x10},
        {"set 256 is bit 0", 0, 256, true, 0x1},
        {"clear 4", 0x13, 4, false, 0x03},
        {"clear 33 changes nothing", 0xFFFFFFFFu, 33, false, 0xFFFFFFFFu},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        u32 word = c.start;
        EXPECT_EQ(0, c.set ? KX_DV_SetConfigFlag_API(&word, c.bit) : KX_DV_ClrConfigFlag_API(&word, c.bit));
        EXPECT_EQ(c.result, word);
    }
}

TEST_F(DvConfig, DebugPrint)
{
    KX_DV_Set1080DefaultDvCfg();
    std::string out = testsupport::capture_stdout([] { EXPECT_EQ(0, DebugPrintDVCfgMsg()); });
    EXPECT_NE(std::string::npos, out.find("gsDvConfig.sVi.sParam[0].u8FrameRate = 60 \n"));
    EXPECT_NE(std::string::npos, out.find("gsDvConfig.sVpss.sParam[3].u8Resolution  = 1 \n"));
    EXPECT_NE(std::string::npos, out.find("gsDvConfig.sVenc.sParam[1].enType = 265 \n"));
    EXPECT_NE(std::string::npos, out.find("gsDvConfig.sVenc.sParam[1].u8Resolution   =17 \n"));
    EXPECT_NE(std::string::npos, out.find("gsDvConfig.sVenc.sParam[2].u8IPInterval ="));
    EXPECT_EQ(std::string::npos, out.find("sParam[3].bEnable = 0 \ngsDvConfig.sVenc"));
}
