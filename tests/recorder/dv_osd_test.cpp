// The date stamp: its text, font and place, the region it draws into, its
// thread's life, and the stamp read back from the decoded recording.
#include "recorder/dv_osd.h"
#include "tests/mpi/video/video_pipeline.h"
#include "recorder/dv_isp.h"
#include "recorder/dv_pipeline.h"
#include "tests/recorder/pipeline_support.h"
#include "tests/recorder/osd_read.h"
#include "tests/support/board_fixture.h"

#include "board/sim/video/video.h"
#include "core/pref_record.h"
#include "mpi/video/rgn/mpi_rgn.h"
#include "recorder/dv_config.h"

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <thread>

using pipelinetest::wait_for;

namespace {

// 2016-03-04 05:06:07 on the board's (local) clock.
time_t stamp_time(int hour = 5)
{
    struct tm tm = {};
    tm.tm_year = 2016 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 4;
    tm.tm_hour = hour;
    tm.tm_min = 6;
    tm.tm_sec = 7;
    tm.tm_isdst = -1;
    return mktime(&tm);
}

void set_clock(time_t t)
{
    struct timeval tv = {t, 0};
    ASSERT_EQ(0, bd_settimeofday(&tv));
}

// The encoder stamp as the channel's next picture would carry it, read back.
osdtest::Reading shown_stamp(sim::ChnAddr chn, u32 x, u32 y, u32 w = 1920, u32 h = 1080)
{
    sim::video::PicturePool pool(w, h, 1);
    sim::video::PicturePtr pic = pool.take();
    memset(pic->y(), 60, (size_t)pic->stride * h);
    memset(pic->vu(), 128, (size_t)pic->stride * h / 2);
    sim::video::blend_overlays(chn, *pic);
    return osdtest::read_stamp(pic->y(), (int)pic->stride, (int)x, (int)y);
}

class DvOsd : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        memset(&pref_, 0, sizeof pref_);
        saved_pref_ = app_pref_user;
        app_pref_user = &pref_;
        KX_DV_Set1080DefaultDvCfg();
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
    }
    void TearDown() override
    {
        KX_DV_StopMainVencOsdThread();
        KX_DV_StopVoOsdThread();
        DU_DUZ_RGN_Destroy(OSD_VENC_HANDLE);
        DU_DUZ_RGN_Destroy(OSD_VO_HANDLE);
        DU_DUZ_VPSS_DestroyGrp(0);
        DU_DUZ_SYS_Exit();
        app_pref_user = saved_pref_;
    }

    // The group whose channel covers the stamps switch on.
    static void make_group()
    {
        VPSS_GRP_ATTR_REC_S grp = {1920, 1080, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0, 0, 0, 0, 1};
        ASSERT_EQ(0, DU_DUZ_VPSS_CreateGrp(0, &grp));
    }

    DvSystemParam pref_;
    DvSystemParam *saved_pref_ = nullptr;
    pipelinetest::AppStandIn apps_;
};

} // namespace

TEST(DvOsdText, DateFormats)
{
    struct Case {
        const char *name;
        s32 format;
        const char *text;
    } cases[] = {
        {"year first", 0, "2016-03-04=05:06:07"},
        {"day first", 1, "04-03-2016=05:06:07"},
        {"month first", 2, "03-04-2016=05:06:07"},
        {"any other: month first", 7, "03-04-2016=05:06:07"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        char text[OSD_TEXT_LEN + 1];
        memset(text, 'X', sizeof text);
        osd_format_time(stamp_time(), c.format, text);
        EXPECT_STREQ(c.text, text);
    }
    // A five-digit year is cut to the stamp's length, and the text still ends.
    struct tm far = {};
    far.tm_year = 12000 - 1900;
    far.tm_mday = 1;
    far.tm_isdst = -1;
    char text[OSD_TEXT_LEN + 2];
    memset(text, 'X', sizeof text);
    osd_format_time(mktime(&far), 0, text);
    EXPECT_EQ(OSD_TEXT_LEN, strlen(text));
    EXPECT_EQ('X', text[OSD_TEXT_LEN + 1]);
}

TEST(DvOsdText, FontAndCharacters)
{
    // "8", row 1: ink from the second pixel to the ninth.
    for (u32 c = 0; c < OSD_GLYPH_W; c++)
        EXPECT_EQ(c >= 1 && c <= 8 ? 0xFF7F : 0x0010, FONT_LIBRARY_W10H16_T[8][1][c]) << c;
    // ":" dots in rows 3-4 and 11-12, columns 4-5.
    EXPECT_EQ(0xFF7F, FONT_LIBRARY_W10H16_T[10][3][4]);
    EXPECT_EQ(0xFF7F, FONT_LIBRARY_W10H16_T[10][12][5]);
    EXPECT_EQ(0x0010, FONT_LIBRARY_W10H16_T[10][7][4]);
    for (u32 r = 0; r < OSD_GLYPH_H; r++)
        for (u32 c = 0; c < OSD_GLYPH_W; c++)
            EXPECT_EQ(0x0010, FONT_LIBRARY_W10H16_T[12][r][c]);

    struct Case {
        char c;
        u32 index;
    } cases[] = {{'0', 0}, {'7', 7}, {'9', 9}, {':', 10}, {'-', 11}, {'=', 12}, {' ', 12}, {'a', 12}};
    for (const Case &c : cases)
        EXPECT_EQ(c.index, AnalyPointIndex(c.c)) << c.c;

    u8 bits[8];
    point_to_array(0xA5, bits, 8);
    EXPECT_EQ((std::vector<u8>{1, 0, 1, 0, 0, 1, 0, 1}), std::vector<u8>(bits, bits + 8));
}

bool ink24(u32 glyph, u32 row, u32 col)
{
    return (FONT_LIBRARY_W24H36_T[glyph][row * OSD_GLYPH24_ROW_BYTES + col / 8] >> (col % 8)) & 1;
}

// The large font: the stamp's characters, each legible and none like another.
TEST(DvOsdText, LargeFont)
{
    // "-", row 17: ink from pixel 5 to 18, the leftmost pixel of a byte in bit 0.
    const u8 *dash = FONT_LIBRARY_W24H36_T[11] + 17 * OSD_GLYPH24_ROW_BYTES;
    EXPECT_EQ((std::vector<u8>{0xE0, 0xFF, 0x07}), std::vector<u8>(dash, dash + 3));

    struct Feature {
        const char *name;
        u32 glyph, row, col;
        bool ink;
    } features[] = {
        {"0 is open in the middle", 0, 18, 11, false},  {"0 left side", 0, 18, 3, true},
        {"0 right side", 0, 18, 20, true},             {"1 stem", 1, 18, 12, true},
        {"1 nothing left of it", 1, 18, 4, false},      {"1 foot", 1, 31, 8, true},
        {"2 bottom bar", 2, 32, 4, true},              {"2 open at the left", 2, 18, 3, false},
        {"3 open at the left", 3, 18, 3, false},        {"3 middle bar", 3, 17, 12, true},
        {"4 crossbar", 4, 22, 4, true},                {"4 stem below it", 4, 30, 15, true},
        {"5 top bar", 5, 3, 18, true},                 {"5 open at the lower left", 5, 20, 3, false},
        {"6 open at the upper right", 6, 12, 20, false}, {"6 closed at the lower right", 6, 24, 20, true},
        {"7 top bar", 7, 3, 4, true},                  {"7 open at the left", 7, 24, 3, false},
        {"8 waist", 8, 17, 12, true},                  {"8 upper hole", 8, 10, 12, false},
        {"9 closed at the upper left", 9, 12, 3, true}, {"9 open at the lower left", 9, 22, 3, false},
        {"colon upper dot", 10, 11, 12, true},         {"colon lower dot", 10, 24, 12, true},
        {"colon between", 10, 18, 12, false},          {"dash", 11, 18, 12, true},
        {"dash only in the middle", 11, 10, 12, false},
    };
    for (const Feature &f : features)
        EXPECT_EQ(f.ink, ink24(f.glyph, f.row, f.col)) << f.name;

    // Pixels in which two glyphs differ; against the blank, a glyph's ink.
    auto differ = [](u32 a, u32 b) {
        u32 n = 0;
        for (u32 r = 0; r < OSD_GLYPH24_H; r++)
            for (u32 c = 0; c < OSD_GLYPH24_W; c++)
                n += ink24(a, r, c) != ink24(b, r, c);
        return n;
    };
    const u8 *blank = FONT_LIBRARY_W24H36_T[AnalyPointIndex(' ')];
    EXPECT_EQ(std::vector<u8>(OSD_GLYPH24_BYTES, 0), std::vector<u8>(blank, blank + OSD_GLYPH24_BYTES));
    for (u32 a = 0; a < OSD_GLYPH_NUM; a++)
        for (u32 b = a + 1; b < OSD_GLYPH_NUM; b++)
            EXPECT_GE(differ(a, b), 32u) << a << " and " << b << " look alike"; // a colon's two dots: 32
}

TEST(DvOsdText, SpareRenderer)
{
    constexpr u32 kStride = 96;
    std::vector<u8> canvas(kStride * 36, 0xAB);
    struct Refusal {
        const char *name;
        u32 x_bytes, stride, glyph;
        const char *message;
    } refusals[] = {
        {"narrow canvas", 0, 40, 1,
         "======Bitmap's stride(48) is bigger than canvas's stide(40). Load bitmap error!\n"},
        {"offset past the row", 50, kStride, 1,
         "======Bitmap's stride(98) is bigger than canvas's stide(96). Load bitmap error!\n"},
        {"no such glyph", 0, kStride, OSD_GLYPH_NUM, ""},
    };
    for (const Refusal &r : refusals) {
        SCOPED_TRACE(r.name);
        std::string out = testsupport::capture_stdout(
            [&] { EXPECT_EQ(-1, LoadBMPCanvas_2_Test(r.x_bytes, canvas.data(), r.stride, r.glyph)); });
        EXPECT_EQ(r.message, out);
        EXPECT_EQ(std::vector<u8>(kStride * 36, 0xAB), canvas);
    }

    // "-" at pixel 8 of the row: ink only in its bar, paper around it in
    // the glyph's 24 pixels, and the canvas left and right of it untouched.
    ASSERT_EQ(0, LoadBMPCanvas_2_Test(16, canvas.data(), kStride, AnalyPointIndex('-')));
    auto at = [&](u32 row, u32 byte) {
        return (u16)(canvas[row * kStride + byte] | canvas[row * kStride + byte + 1] << 8);
    };
    for (u32 row : {0u, 17u, 20u, 21u, 35u})
        for (u32 byte = 0; byte < kStride; byte += 2) {
            SCOPED_TRACE(testing::Message() << "row " << row << " byte " << byte);
            const bool inside = byte >= 16 && byte < 16 + 48;
            const u32 col = (byte - 16) / 2;
            const bool bar = row >= 17 && row <= 20 && col >= 5 && col <= 18;
            EXPECT_EQ(!inside ? 0xABAB : bar ? 0xFF7F : 0x0010, at(row, byte));
        }
}

TEST(DvOsdPlace, EncoderStampPosition)
{
    struct Case {
        const char *name;
        u8 vpss1, venc1;
        u32 rotate, y;
    } cases[] = {
        {"1080p", 17, 17, 0, 1020},
        {"1080p rotated 90", 17, 17, 1, 1860},
        {"1080p rotated 270", 17, 17, 3, 1860},
        {"1080p rotated 180 stays landscape", 17, 17, 2, 1020},
        {"720p", 16, 16, 0, 660},
        {"720p portrait", 16, 16, 1, 1220},
        {"720p into 848x480", 16, 12, 0, 420},
        {"720p into 848x480 portrait", 16, 12, 3, 788},
        {"848x480", 12, 12, 1, 420},
        {"another size", 7, 7, 0, 1020},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        gsDvConfig.sVpss.sParam[1].u8Resolution = c.vpss1;
        gsDvConfig.sVenc.sParam[1].u8Resolution = c.venc1;
        gsDvConfig.sVi.sParam[0].enRotate = c.rotate;
        u32 x = 0, y = 0;
        osd_venc_position(&x, &y);
        EXPECT_EQ(80u, x);
        EXPECT_EQ(c.y, y);
    }
    gsDvConfig.sVi.sParam[0].enRotate = 0;
}

TEST_F(DvOsd, RegionsGoOnTheChannelOfTheMode)
{
    make_group();
    struct Case {
        const char *name;
        const char *target;
        bool record_mode;
        u32 handle;
        const char *attach;
        s32 covered;
    } cases[] = {
        {"encoder outside the record modes", "venc", false, 3, "rgn 3 attach 8 0 0 at 80,1020", 0},
        {"encoder in record mode 1", "venc", true, 3, "rgn 3 attach 8 0 1 at 80,1020", 1},
        {"tv", "vo", true, 4, "rgn 4 attach 7 0 2 at 80,1020", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.record_mode)
            apps_.enter();
        std::string out = testsupport::capture_stdout(
            [&] { EXPECT_EQ(0, CreateOSDRegion(c.target, c.handle, 80, 1020, 10, 16, 19)); });
        EXPECT_NE(std::string::npos, out.find("------OSD Handle ID: " + std::to_string(c.handle)));
        EXPECT_EQ(1u, testsupport::events(c.attach).size());
        RGN_ATTR_REC_S attr;
        ASSERT_EQ(0, DU_DUZ_RGN_GetAttr(c.handle, &attr));
        EXPECT_EQ(190u, attr.stSize.u32Width);
        EXPECT_EQ(16u, attr.stSize.u32Height);
        EXPECT_EQ(PIXEL_FORMAT_RGB_1555, attr.enPixelFmt);
        u32 cover = 0;
        ASSERT_EQ(0, DU_DUZ_VPSS_GetChnCover(0, c.covered, &cover));
        EXPECT_EQ(255u, cover);
        EXPECT_EQ(0, DestroyOSDRegion(c.handle));
    }
    std::string out = testsupport::capture_stdout([] { EXPECT_NE(0, DestroyOSDRegion(3)); });
    EXPECT_NE(std::string::npos, out.find("======DU_DUZ_RGN_Destroy failed! s32Ret: 0xa0038005, Handle: 3\n"));
}

TEST_F(DvOsd, AFailedCoverLeavesNoRegion)
{
    // No processing group: the cover is refused and the region goes again.
    std::string out =
        testsupport::capture_stdout([] { EXPECT_NE(0, CreateOSDRegion("venc", 3, 80, 1020, 10, 16, 19)); });
    EXPECT_NE(std::string::npos, out.find("======DU_DUZ_VPSS_SetChnCover fail! Grp: 0, Chn: 0 s32Ret: 0x"));
    EXPECT_EQ(1u, testsupport::events("rgn 3 destroy").size());
}

TEST_F(DvOsd, TheTextIsDrawnWithTheFont)
{
    make_group();
    apps_.enter();
    testsupport::capture_stdout([] { ASSERT_EQ(0, CreateOSDRegion("venc", 3, 80, 1020, 10, 16, 19)); });
    ASSERT_EQ(0, LoadDataToRegion_Osd(3, "2016-03-04=05:06:07", 19, 10));
    osdtest::Reading r = shown_stamp({DU_ID_VENC, 0, 1}, 80, 1020);
    EXPECT_EQ("2016-03-04 05:06:07", r.text);
    EXPECT_EQ(0, r.mismatched);
    EXPECT_NEAR(219, r.ink, 2);
    EXPECT_NEAR(60, r.paper, 1);
    // A shorter text draws just its characters.
    ASSERT_EQ(0, LoadDataToRegion_Osd(3, "1234", 4, 10));
    EXPECT_EQ("1234", shown_stamp({DU_ID_VENC, 0, 1}, 80, 1020).text.substr(0, 4));
}

TEST_F(DvOsd, StoppingAThreadThatIsNotRunning)
{
    EXPECT_EQ(0, KX_DV_StopMainVencOsdThread());
    EXPECT_EQ(0, KX_DV_StopVoOsdThread());
}

TEST_F(DvOsd, AThreadWhoseRegionCannotBeMadeEndsByItself)
{
    // Without a processing group the region can't be made.
    std::string out = testsupport::capture_stdout([] {
        ASSERT_EQ(0, KX_MainVencOsdThreadRun());
        ASSERT_TRUE(wait_for([] { return g_main_venc_osd_run == 0; }));
        EXPECT_EQ(0, KX_DV_StopMainVencOsdThread());
    });
    EXPECT_NE(std::string::npos, out.find("======CreateOSDRegion failed\n"));
    EXPECT_NE(std::string::npos, out.find("======vpss_osd_proc exit\n"));
    // It runs again once the group is there.
    make_group();
    testsupport::capture_stdout([] { ASSERT_EQ(0, KX_MainVencOsdThreadRun()); });
    EXPECT_TRUE(wait_for([] { return sim::video::overlay_on({DU_ID_VENC, 0, 0}); }));
    testsupport::capture_stdout([] { EXPECT_EQ(0, KX_DV_StopMainVencOsdThread()); });
    EXPECT_EQ(2u, testsupport::events("rgn 3 destroy").size());
}

TEST_F(DvOsd, AClockSetBackwardsIsFollowed)
{
    make_group();
    apps_.enter();
    pref_.Dateformat = 0;
    set_clock(stamp_time(5));
    sim::ChnAddr chn{DU_ID_VENC, 0, 1};
    testsupport::capture_stdout([] { ASSERT_EQ(0, KX_MainVencOsdThreadRun()); });
    EXPECT_TRUE(wait_for([&] { return shown_stamp(chn, 80, 1020).text.substr(0, 14) == "2016-03-04 05:"; }));
    set_clock(stamp_time(3));
    EXPECT_TRUE(wait_for([&] { return shown_stamp(chn, 80, 1020).text.substr(0, 14) == "2016-03-04 03:"; }))
        << shown_stamp(chn, 80, 1020).text;
    testsupport::capture_stdout([] { EXPECT_EQ(0, KX_DV_StopMainVencOsdThread()); });
    EXPECT_EQ(0u, g_main_venc_osd_run.load());
}

TEST_F(DvOsd, TheTvStampSitsByTheTvStandard)
{
    make_group();
    for (u32 sync : {0u, 1u}) {
        SCOPED_TRACE(sync);
        gsDvConfig.sVo.sParam.eSync = sync;
        std::string out = testsupport::capture_stdout([] {
            ASSERT_EQ(0, KX_VoOsdThreadRun());
            ASSERT_TRUE(wait_for([] { return sim::video::overlay_on({DU_ID_VPSS, 0, 2}); }));
            EXPECT_EQ(0, KX_DV_StopVoOsdThread());
        });
        EXPECT_NE(std::string::npos, out.find("gsDvConfig.sVo.sParam.eSync = " + std::to_string(sync) + "\n"));
        const char *attach = sync ? "rgn 4 attach 7 0 2 at 60,526" : "rgn 4 attach 7 0 2 at 60,440";
        EXPECT_EQ(1u, testsupport::events(attach).size());
    }
}

// The recording as a player sees it: the stamp is in the pictures of encoder
// channel 1 at its place, stands out, and counts the seconds.
TEST_F(DvOsd, TheStampIsInTheDecodedRecordingAndCountsTheSeconds)
{
    apps_.enter();
    set_clock(stamp_time());
    KX_DV_CONFIG_S &c = gsDvConfig;
    c.sVi.sParam[0].u8Resolution = PIC_HD720;
    c.sVi.sParam[0].u8FrameRate = 30;
    c.sVpss.sParam[0] = {0, 0, PIC_HD720, 0, 0};
    c.sVpss.sParam[1] = {1, 1, PIC_HD720, 0, 0};
    c.sVenc.sParam[1] = {PT_H264, 1, 1, 0, 30, 1, PIC_HD720, 0, {0, 0, 0}, 30, 0};
    c.sOsd.sParam[1].bEnable = 1;
    u32RecModeFlag = DV_STATE_MPP;
    testsupport::capture_stdout([] {
        ASSERT_EQ(0, KX_DV_Vi_Run());
        ASSERT_EQ(0, KX_DV_Vpss_Run());
        ASSERT_EQ(0, KX_DV_Venc_Run());
        ASSERT_EQ(0, KX_MainVencOsdThreadRun());
    });
    ASSERT_TRUE(wait_for([] { return sim::video::overlay_on({DU_ID_VENC, 0, 1}); }));
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
    std::vector<videotest::Pack> packs = videotest::collect(1, 120, 5000);
    DU_DUZ_VENC_StopRecvPic(1);
    testsupport::capture_stdout([] {
        KX_DV_StopMainVencOsdThread();
        for (u32 ch = 0; ch < 3; ch++)
            KX_DV_Venc_Chn_Stop(ch);
        KX_DV_Vpss_Grp_Stop(0);
        KX_DV_Vi_Chn_Stop(0);
        KX_DV_ISP_Stop();
    });
    u32RecModeFlag = 0;

    std::vector<osdtest::Reading> frames;
    int w = 0, h = 0;
    videotest::decode("h264", packs, &w, &h, [&](const AVFrame *f) {
        frames.push_back(osdtest::read_stamp(f->data[0], f->linesize[0], 80, 660));
    });
    ASSERT_EQ(1280, w);
    ASSERT_EQ(720, h);
    ASSERT_GE(frames.size(), 90u);
    // The first pictures come before the exposure's first correction: the
    // sensor starts at its own exposure, which may wash the picture out.
    frames.erase(frames.begin(), frames.begin() + 10);

    // Every picture shows the date and a time of this minute, clearly.
    std::vector<std::string> seconds; // one entry per run of equal readings
    std::map<std::string, int> run_length;
    for (const osdtest::Reading &r : frames) {
        SCOPED_TRACE(r.text);
        ASSERT_EQ("2016-03-04 05:06:", r.text.substr(0, 17));
        EXPECT_GT(r.ink - r.paper, 60);
        EXPECT_LT(r.mismatched, 40);
        std::string s = r.text.substr(17);
        if (seconds.empty() || seconds.back() != s)
            seconds.push_back(s);
        run_length[s]++;
    }
    // The seconds go up by one at a time, each shown for many pictures.
    ASSERT_GE(seconds.size(), 3u);
    for (size_t i = 1; i < seconds.size(); i++)
        EXPECT_EQ(std::stoi(seconds[i - 1]) + 1, std::stoi(seconds[i]));
    for (size_t i = 1; i + 1 < seconds.size(); i++)
        EXPECT_GT(run_length[seconds[i]], 5) << seconds[i];
    EXPECT_EQ(seconds.size(), run_length.size()); // no second shown twice apart
}
