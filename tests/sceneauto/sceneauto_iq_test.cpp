// The tuning image: the camera's given values at their byte offsets, and
// the shapes the tables of our own must keep (curves that rise, two noise
// profiles apart, noise reduction that grows with ISO in every table).
#include "sceneauto/sceneauto_engine.h"
#include "tests/sceneauto/image_values.h"
#include "tests/support/board_fixture.h"

#include <cstring>

namespace {

// Loaded on a board whose ISP does not run: the WDR mode can't be read,
// and the linear image is the one every mode can work with.
class TuningImage : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        memset(&g_stINIPara, 0xA5, sizeof g_stINIPara);
        out_ = testsupport::capture_stdout([] { EXPECT_EQ(0, Sceneauto_LoadIQPara()); });
    }
    std::string out_;
};

template <size_t N> bool rising(const u16 (&v)[N])
{
    for (size_t i = 1; i < N; i++)
        if (v[i] < v[i - 1])
            return false;
    return true;
}

} // namespace

TEST_F(TuningImage, TheLinearImageAtItsOffsets)
{
    EXPECT_NE(std::string::npos, out_.find("Sceneauto_LoadIQPara linear start\n")) << out_;
    // The saturation block's bytes 1 and 2, loaded and compiled in.
    EXPECT_NE(std::string::npos, out_.find("Sceneauto_LoadIQPara = 90,88\nSceneauto_LoadIQPara = 90,88\n")) << out_;
    const void *p = &g_stINIPara;
    satest::expect_image_values(p, {
        {"ratio bias", 112, 2, 1024},
        {"VPSS channel", 116 + 16, 4, 1},
        {"VENC channel", 116 + 24, 4, 1},
        {"HLC on histogram", 144 + 8, 4, 150000},
        {"DRC floor", 144 + 40, 4, 40},
        {"profile B low bound", 188 + 512, 4, 5000},
        {"profile B high bound", 188 + 516, 4, 16000},
        {"AE speed", 708 + 24, 1, 48},
        {"AE system gain maximum", 708 + 32, 4, 32382},
        {"AE level count", 708 + 96, 4, 5},
        {"AE up 4", 708 + 120 + 16, 4, 10000000},
        {"AE level 0 slope", 708 + 140 + 4, 2, 160},
        {"demosaic record 0", 928 + 48, 4, 154 | 162 << 8 | 135 << 16 | 128u << 24},
        {"demosaic exposure 7", 928 + 16 + 28, 4, 64000},
        {"DP value 6", 1456 + 52 + 12, 2, 256},
        {"gamma ramp steps", 1532 + 8, 4, 10},
        {"gamma curve type", 1532 + 44, 1, 2},
        {"gamma point 1", 1532 + 46 + 2, 2, 280},
        {"gamma point 2", 1532 + 46 + 4, 2, 400},
        {"gamma point 128", 1532 + 46 + 256, 2, 3240},
        {"gamma point 256", 1532 + 46 + 512, 2, 4095},
        {"H.264 threshold 3", 3640 + 16, 4, 8145},
        {"H.264 level 1 transform", 3640 + 20 + 120 + 104, 4, (u32)-6},
        {"H.265 face exposure 1", 4140 + 220 + 20, 4, 300000},
        {"3DNR ISO 12", 5088 + 4 + 48, 4, 204800},
        {"HLC DRC strength", 6004 + 52, 4, 100},
        {"HLC 3DNR ISO 3", 6004 + 608 + 12, 4, 900},
        {"IR DP slope", 7032 + 68, 2, 768},
        {"IR 3DNR ISO 5", 7032 + 908 + 20, 4, 36000},
        {"FSWDR 3DNR ISO 12", 8360 + 56 + 48, 4, 379600},
        {"BLC slope", 9328 + 2, 2, 64},
        {"fast route node 6 gain", 9332 + 4 + 48 + 4, 4, 16777216},
        {"normal route node 2 gain", 9392 + 4 + 16 + 4, 4, 1500},
        {"DRC white level", 9452 + 28, 4, 1791},
        {"saturation 9", 9612 + 2 + 9, 1, 56},
    });
    // Linear 3DNR set 0 (ISO 100).
    const u8 set0[16] = {16, 8, 2, 16, 16, 16, 16, 8, 2, 16, 16, 16, 0, 64, 64, 64};
    EXPECT_EQ(0, memcmp(set0, static_cast<const u8 *>(p) + 5088 + 56, sizeof set0));
    // Nothing left of what was there before.
    satest::expect_image_values(p, {{"the byte after the DCI table", 111, 1, 0}});
}

TEST_F(TuningImage, CurvesRiseAndTheNoiseProfilesDiffer)
{
    const SCENEAUTO_INIPARA_S &p = g_stINIPara;
    for (const SCENEAUTO_GAMMA_S &c : p.stIniGamma.astCurve) {
        EXPECT_TRUE(rising(c.au16Table));
        EXPECT_EQ(4095, c.au16Table[256]);
    }
    EXPECT_TRUE(rising(p.stHLC.au16Gamma));
    EXPECT_TRUE(rising(p.stIR.au16Gamma));
    // The WDR image's one curve: a straight toe and mid grey at 2426.
    const SCENEAUTO_GAMMA_S &wdr = iq_para_WDR_stIniGamma.astCurve[0];
    EXPECT_EQ(0, wdr.au16Table[0]);
    EXPECT_EQ(11, wdr.au16Table[1]);
    EXPECT_EQ(22, wdr.au16Table[2]);
    EXPECT_EQ(2426, wdr.au16Table[128]);
    EXPECT_EQ(4095, wdr.au16Table[256]);
    EXPECT_EQ(0, iq_para_WDR_stIniGamma.astCurve[1].au16Table[128]);

    // Profile B weighs noise clearly less than A at every level but black.
    for (const SCENEAUTO_NRPROFILE_S *np : {&iq_para_stIniNRProfile, &iq_para_WDR_stIniNRProfile})
        for (int image = 0; image < 2; image++)
            for (int i = 1; i < 128; i++) {
                SCOPED_TRACE(i);
                EXPECT_LE(np->au8ProfileA[image][i - 1], np->au8ProfileA[image][i]);
                EXPECT_LE(np->au8ProfileB[image][i] * 5, np->au8ProfileA[image][i] * 4);
            }
}

TEST(TuningTables, NoiseReductionGrowsWithIsoInEveryTable)
{
    struct Case {
        const char *name;
        u32 count;
        const u32 *iso;
        const SCENEAUTO_3DNR_PARAM_S *set;
    } cases[] = {
        {"linear", iq_para_stIni3dnr.u32Count, iq_para_stIni3dnr.au32Iso, iq_para_stIni3dnr.astSet},
        {"WDR", iq_para_WDR_stIni3dnr.u32Count, iq_para_WDR_stIni3dnr.au32Iso, iq_para_WDR_stIni3dnr.astSet},
        {"HLC", iq_para_stHLC.u32NrCount, iq_para_stHLC.au32NrIso, iq_para_stHLC.astNr},
        {"IR", iq_para_stIR.u32NrCount, iq_para_stIR.au32NrIso, iq_para_stIR.astNr},
        {"FSWDR", stAutoFSWDR.u32NrCount, stAutoFSWDR.au32NrIso, stAutoFSWDR.astNr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (u32 i = 1; i < c.count; i++) {
            SCOPED_TRACE(c.iso[i]);
            const SCENEAUTO_3DNR_PARAM_S &a = c.set[i - 1], &b = c.set[i];
            EXPECT_LT(c.iso[i - 1], c.iso[i]);
            for (int g = 0; g < 3; g++)
                EXPECT_LE(a.au8Strength[0][g], b.au8Strength[0][g]);
            EXPECT_GE(a.au8GroupSel[2], b.au8GroupSel[2]); // the temporal group keeps less of each new picture
            EXPECT_LE(b.au8GroupSel[2], 64);
            EXPECT_EQ(a.u16BlendKey, b.u16BlendKey); // neighbours always blend
        }
        EXPECT_GT(c.set[c.count - 1].au8Strength[0][0], c.set[0].au8Strength[0][0]);
    }
    // At ISO 100 the temporal group passes the picture through.
    EXPECT_EQ(64, iq_para_stIni3dnr.astSet[0].au8GroupSel[2]);
}
