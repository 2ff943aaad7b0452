// Test support for the scene auto adapter: a board with the ISP brought up
// as the recording engine does (sensor, the three 3A libraries, 1080p), its
// per-frame loop not running unless a test starts it, and a preferences
// record of the test's own; or a board with a processing group, for the
// noise-reduction records.
#pragma once

#include "tests/sceneauto/own_prefs.h"
#include "isp/isp_ctx.h"
#include "isp/mpi_isp.h"
#include "isp/sensor/mn34220/mn34220.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vpss/mpi_vpss.h"
#include "recorder/dv_config.h"
#include "recorder/dv_isp.h"
#include "recorder/dv_pipeline.h"
#include "sceneauto/du_sceneauto_adpt.h"
#include "sceneauto/sceneauto_hooks.h"
#include "tests/support/board_fixture.h"

#include <chrono>
#include <cstring>
#include <thread>

class AdapterTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        KX_DV_Set1080DefaultDvCfg();
        testsupport::capture_stdout([] { ASSERT_EQ(0, KX_DV_ISP_Init()); });
    }

    void TearDown() override
    {
        testsupport::capture_stderr([] {
            if (u32RecModeFlag & DV_STATE_ISP) {
                KX_DV_ISP_Stop();
            } else {
                DU_DUZ_ISP_Exit(0);
            }
            sensor_unregister_callback();
        });
        u32RecModeFlag = 0;
        sceneauto_register_app_hooks({nullptr});
        sim::with_world([](sim::World &w) { w = sim::World(); });
    }

    // The ISP's per-frame loop on its thread, as the recording engine runs it.
    void run_isp()
    {
        ASSERT_EQ(0, KX_DV_ISP_Run());
        u32RecModeFlag |= DV_STATE_ISP;
    }
    static u32 frames() { return __atomic_load_n(&g_astIspCtx[0].u32FrameCnt, __ATOMIC_RELAXED); }
    static bool run_frames(u32 n)
    {
        const u32 until = frames() + n;
        return testsupport::wait_until([&] { return frames() >= until; }, 30);
    }

    OwnPrefs own_;
    DvSystemParam &pref_ = own_.pref;
};

// Processing group 0 at 1080p.
class AdapterVpssTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        VPSS_GRP_ATTR_REC_S grp = {1920, 1080, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0, 0, 0, 0, 1};
        ASSERT_EQ(0, DU_DUZ_VPSS_CreateGrp(0, &grp));
    }
    void TearDown() override
    {
        DU_DUZ_VPSS_DestroyGrp(0);
        DU_DUZ_SYS_Exit();
    }
};
