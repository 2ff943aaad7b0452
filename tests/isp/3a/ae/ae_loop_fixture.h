// The exposure library in the ISP's run loop on the simulated board: the
// sensor, the real exposure and focus libraries and a stand-in white-balance
// library registered as the recording engine does, the ISP running on its
// thread, and the picture's exposure read back frame by frame.
#pragma once

#include <cmath>

#include "board/sim/sim.h"
#include "isp/3a/ae/mpi_ae.h"
#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/3a/af/mpi_af.h"
#include "tests/isp/isp_fixture.h"

class AeLoopTest : public IspTest {
protected:
    // The exposures the tests expect are a flat field's: a lens without
    // fall-off, a sensor without a column pattern.
    AeLoopTest() { conf_ = "sensor.shading = 1\nsensor.column_pattern = 0\n"; }

    // Brings the ISP up at 1080p and `fps` with the scene a uniform grey of
    // `brightness`, the iris off, and starts the run loop.
    void start(f32 fps, double brightness)
    {
        sim::with_world([&](sim::World &w) {
            w.scene_grey = true;
            w.scene_brightness = brightness;
        });
        s32 ret = -1;
        testsupport::capture_stdout([&] {
            ret = sensor_register_callback();
            if (ret == 0)
                ret = DU_DUZ_AE_Register(0, &isptest::kAeLib);
            if (ret == 0)
                ret = DU_DUZ_ISP_AWBLibRegCallBack(0, &isptest::kAwbLib, &isptest::kAwbCallbacks);
            if (ret == 0)
                ret = DU_DUZ_AF_Register(0, &isptest::kAfLib);
            if (ret == 0)
                ret = DU_DUZ_ISP_MemInit(0);
            ISP_WDR_SEL_S sel = {WDR_MODE_NONE};
            if (ret == 0)
                ret = DU_DUZ_ISP_SetWDRMode(0, &sel);
            ISP_FRAME_FORMAT_S attr = pub(1920, 1080, fps);
            if (ret == 0)
                ret = DU_DUZ_ISP_SetPubAttr(0, &attr);
            if (ret == 0)
                ret = DU_DUZ_ISP_Init(0);
        });
        ASSERT_EQ(ret, 0);
        AE_IRIS_SETTINGS_S iris;
        ASSERT_EQ(DU_DUZ_ISP_GetIrisAttr(0, &iris), 0);
        iris.bEnable = 0;
        ASSERT_EQ(DU_DUZ_ISP_SetIrisAttr(0, &iris), 0);
        fps_ = fps;
        start_run();
    }

    // Stops the loop and takes the ISP and the libraries down, so that a
    // test can start again.
    void take_down()
    {
        testsupport::capture_stdout([&] {
            testsupport::capture_stderr([&] {
                stop_run();
                DU_DUZ_ISP_Exit(0);
                DU_DUZ_AE_UnRegister(0, &isptest::kAeLib);
                DU_DUZ_ISP_AWBLibUnRegCallBack(0, &isptest::kAwbLib);
                DU_DUZ_AF_UnRegister(0, &isptest::kAfLib);
                sensor_unregister_callback();
            });
        });
    }

    void brightness(double b)
    {
        sim::with_world([&](sim::World &w) { w.scene_brightness = b; });
    }

    u32 frame() const { return __atomic_load_n(&isptest::ctx().u32FrameCnt, __ATOMIC_RELAXED); }

    // The status after the run loop's next frame; false when none came
    // (the wait is bounded so a stuck loop fails instead of hanging).
    bool next(AE_EXPOSURE_STATUS_S *s)
    {
        const u32 from = frame();
        for (int i = 0; i < 5000 && frame() == from; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return frame() != from && DU_DUZ_ISP_QueryExposureInfo(0, s) == 0;
    }

    // Runs frames until `n` have passed; the last status.
    AE_EXPOSURE_STATUS_S skip(u32 n)
    {
        AE_EXPOSURE_STATUS_S s = {};
        const u32 until = frame() + n;
        while (frame() < until && next(&s)) {
        }
        return s;
    }

    AE_EXPOSURE_SETTINGS_S attr()
    {
        AE_EXPOSURE_SETTINGS_S a;
        EXPECT_EQ(DU_DUZ_ISP_GetExposureAttr(0, &a), 0);
        return a;
    }

    void set(const AE_EXPOSURE_SETTINGS_S &a) { ASSERT_EQ(DU_DUZ_ISP_SetExposureAttr(0, &a), 0); }

    f32 fps_ = 0;
};
