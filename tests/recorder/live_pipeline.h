// Test support: the engine's video input and processing stages running on the
// simulated board (the sensor, the ISP, input channel 0 and processing group
// 0), with only the processing channels a test names, so that the TV output
// and motion detection can hang off a live pipeline.
#pragma once

#include "recorder/dv_config.h"
#include "recorder/dv_isp.h"
#include "recorder/dv_pipeline.h"
#include "tests/support/board_fixture.h"

#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/venc/mpi_venc.h"

#include <initializer_list>

namespace livetest {

// The 720p input at `fps`, processing channels `chns` enabled (3 at 320x240,
// the others at the input's size), no encoder.
inline void configure(u8 fps, std::initializer_list<u8> chns)
{
    KX_DV_Set1080DefaultDvCfg();
    KX_DV_CONFIG_S &c = gsDvConfig;
    c.sVi.sParam[0].u8Resolution = PIC_HD720;
    c.sVi.sParam[0].u8FrameRate = fps;
    c.sVi.sParam[0].enRotate = 0;
    for (u8 n = 0; n < 4; n++)
        c.sVpss.sParam[n] = {n, 0, n == 3 ? PIC_QVGA : PIC_HD720, 0, 0};
    for (u8 n : chns)
        c.sVpss.sParam[n].bEnable = 1;
    for (KX_DV_VENC_PARAM_S &e : c.sVenc.sParam)
        e.bEnable = 0;
}

// The platform, the input and the processing group, printing to a capture.
inline void start()
{
    ASSERT_EQ(0, DU_DUZ_SYS_Init());
    u32RecModeFlag = DV_STATE_MPP;
    s32 ret = -1;
    testsupport::capture_stdout([&] {
        ret = KX_DV_Vi_Run();
        if (ret == 0)
            ret = KX_DV_Vpss_Run();
    });
    ASSERT_EQ(0, ret);
}

inline void stop()
{
    testsupport::capture_stdout([] {
        KX_DV_Vpss_Grp_Stop(0);
        KX_DV_Vi_Chn_Stop(0);
        KX_DV_ISP_Stop();
    });
    DU_DUZ_SYS_Exit();
    u32RecModeFlag = 0;
}

// The configured encoder channels on the running pipeline, and channel 1
// taking pictures.
inline void start_encoding()
{
    s32 ret = -1;
    testsupport::capture_stdout([&] { ret = KX_DV_Venc_Run(); });
    ASSERT_EQ(0, ret);
    ASSERT_EQ(0, DU_DUZ_VENC_StartRecvPic(1));
}

inline void stop_encoding()
{
    DU_DUZ_VENC_StopRecvPic(1);
    testsupport::capture_stdout([] { KX_DV_Venc_Chn_Stop(1); });
}

} // namespace livetest
