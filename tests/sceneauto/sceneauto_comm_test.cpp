// The contrast operation: the user's preference into the video input's
// colour conversion, every other word kept.
#include "sceneauto/sceneauto_comm.h"
#include "tests/support/board_fixture.h"

#include "app/pref.h"
#include "mpi/video/vi/mpi_vi.h"

#include <cstring>

namespace {

class ViContrast : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        memset(&pref_, 0, sizeof pref_);
        saved_ = app_pref_user;
        app_pref_user = &pref_;
    }
    void TearDown() override { app_pref_user = saved_; }

    DvSystemParam pref_;
    DvSystemParam *saved_ = nullptr;
};

} // namespace

TEST_F(ViContrast, ContrastWordFromThePreference)
{
    struct Case {
        const char *name;
        s32 contrast;
        u32 word;
    } cases[] = {
        {"0 is neutral", 0, 45},     {"1", 1, 45},         {"-1", -1, 45},
        {"-128", -128, 0},           {"128", 128, 90},     {"64", 64, 67},
        {"-100 truncates", -100, 10}, {"129 keeps", 129, 77}, {"-129 keeps", -129, 77},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VI_CSC_ATTR_REC_S csc = {1, 52, 77, 48, 55, 0};
        ASSERT_EQ(0, DU_DUZ_VI_SetCSCAttr(0, &csc));
        pref_.Contrast = c.contrast;
        EXPECT_EQ(0, CommSceneManualSetVICSC(0));
        VI_CSC_ATTR_REC_S got;
        ASSERT_EQ(0, DU_DUZ_VI_GetCSCAttr(0, &got));
        EXPECT_EQ(c.word, got.u32ContrVal);
        EXPECT_EQ(1u, got.enViCscType);
        EXPECT_EQ(52u, got.u32LumaVal);
        EXPECT_EQ(48u, got.u32HueVal);
        EXPECT_EQ(55u, got.u32SatuVal);
    }
}

TEST_F(ViContrast, AFailedReadWritesNothing)
{
    VI_CSC_ATTR_REC_S csc = {0, 50, 45, 50, 50, 0};
    ASSERT_EQ(0, DU_DUZ_VI_SetCSCAttr(0, &csc));
    pref_.Contrast = 128;
    std::string out = testsupport::capture_stdout([] { EXPECT_EQ(-1, CommSceneManualSetVICSC(1)); });
    EXPECT_EQ("DU_DUZ_VI_GetCSCAttr failed!s32Ret =0x a0108001\n", out);
    VI_CSC_ATTR_REC_S got;
    ASSERT_EQ(0, DU_DUZ_VI_GetCSCAttr(0, &got));
    EXPECT_EQ(45u, got.u32ContrVal);
}
