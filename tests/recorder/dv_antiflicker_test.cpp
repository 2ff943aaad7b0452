// Anti-flicker through the exposure library's attributes, with the sensor
// and the real 3A libraries registered and the ISP initialised.
#include "recorder/dv_config.h"
#include "tests/isp/isp_fixture.h"

#include "isp/3a/ae/mpi_ae.h"
#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/3a/af/mpi_af.h"
#include "isp/3a/awb/mpi_awb.h"

namespace {

class AntiFlicker : public IspTest {
protected:
    void SetUp() override
    {
        IspTest::SetUp();
        s32 ret = -1;
        testsupport::capture_stdout([&] {
            ret = sensor_register_callback();
            if (ret == 0)
                ret = DU_DUZ_AE_Register(0, &isptest::kAeLib);
            if (ret == 0)
                ret = DU_DUZ_AWB_Register(0, &isptest::kAwbLib);
            if (ret == 0)
                ret = DU_DUZ_AF_Register(0, &isptest::kAfLib);
            if (ret == 0)
                ret = DU_DUZ_ISP_MemInit(0);
            ISP_WDR_SEL_S sel = {WDR_MODE_NONE};
            if (ret == 0)
                ret = DU_DUZ_ISP_SetWDRMode(0, &sel);
            ISP_FRAME_FORMAT_S attr = pub(1920, 1080, 30);
            if (ret == 0)
                ret = DU_DUZ_ISP_SetPubAttr(0, &attr);
            if (ret == 0)
                ret = DU_DUZ_ISP_Init(0);
        });
        ASSERT_EQ(0, ret);
    }
};

} // namespace

TEST_F(AntiFlicker, MainsFrequencyIntoTheExposureAttributes)
{
    AE_EXPOSURE_SETTINGS_S before;
    ASSERT_EQ(0, DU_DUZ_ISP_GetExposureAttr(0, &before));
    for (s32 hz : {50, 60}) {
        SCOPED_TRACE(hz);
        EXPECT_EQ(0, set_frequency(hz));
        AE_EXPOSURE_SETTINGS_S after;
        ASSERT_EQ(0, DU_DUZ_ISP_GetExposureAttr(0, &after));
        EXPECT_EQ(1u, after.stAuto.stAntiflicker.bEnable);
        EXPECT_EQ(hz, after.stAuto.stAntiflicker.u8Frequency);
        EXPECT_EQ(1u, after.stAuto.stAntiflicker.enMode);
        // The rest of the record is as it was.
        EXPECT_EQ(before.stAuto.u32ExpTimeMax, after.stAuto.u32ExpTimeMax);
        EXPECT_EQ(before.stAuto.u8Compensation, after.stAuto.u8Compensation);
        EXPECT_EQ(before.enOpType, after.enOpType);
    }
}
