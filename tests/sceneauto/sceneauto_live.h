// Test support for the scene auto-tuning engine on a running pipeline: the
// sensor and ISP with the real 3A libraries, input channel 0, processing
// group 0 with channel 1 and a movie channel 1 at 720p30 (H.264 unless the
// test asks for H.265 or, as the photo modes have it, no movie channel), as
// the engine finds them in the camera. Each test leaves the engine
// de-initialised.
#pragma once

#include "recorder/dv_config.h"
#include "recorder/dv_pipeline.h"
#include "sceneauto/sceneauto_engine.h"
#include "tests/recorder/live_pipeline.h"
#include "tests/support/board_fixture.h"

#include "tests/sceneauto/own_prefs.h"
#include "mpi/video/venc/mpi_venc.h"
#include "mpi/video/vpss/mpi_vpss.h"

#include <string>

namespace satest {

template <class Fn> std::string quiet(Fn &&fn)
{
    std::string out;
    testsupport::capture_stderr([&] { out = testsupport::capture_stdout(fn); });
    return out;
}

// What `fn` returns, its output captured.
template <class Fn> auto quiet_result(Fn &&fn)
{
    decltype(fn()) r{};
    quiet([&] { r = fn(); });
    return r;
}

inline bool has(const std::string &out, const std::string &what) { return out.find(what) != std::string::npos; }

// The VPSS group's 3D noise-reduction block as the adapter left it.
inline VPSS_NR_V3_PARAM_REC_S nr_block()
{
    VPSS_NR_V3_PARAM_REC_S b = {};
    EXPECT_EQ(0, DU_DUZ_VPSS_GetNRV3Param(0, &b));
    return b;
}
inline u8 nr_byte(const VPSS_NR_V3_PARAM_REC_S &b, u32 at) { return reinterpret_cast<const u8 *>(&b)[at]; }

// The engine's threads as the kernel names them.
inline std::vector<std::string> engine_threads() { return testsupport::thread_names("Sceneauto"); }

class SceneautoLive : public BoardTest {
protected:
    void TearDown() override
    {
        quiet([] { DU_VUZI_SCENEAUTO_DeInit(); });
        if (running_) {
            if (movie_)
                livetest::stop_encoding();
            else
                quiet([] { KX_DV_Venc_Chn_Stop(0); });
            livetest::stop();
        }
    }

    enum Movie { kH264, kH265, kNoMovie };
    // `wdr` is the sensor's WDR mode, 0 linear.
    void start_pipeline(Movie movie = kH264, u8 wdr = 0)
    {
        if (movie == kNoMovie) {
            livetest::configure(30, {0, 1});
            gsDvConfig.sVenc.sParam[0] = {PT_JPEG, 0, 1, 0, 10, 3, PIC_HD720, 0, {0, 0, 0}, 10, 0};
        } else {
            livetest::configure(30, {1});
            gsDvConfig.sVenc.sParam[1] = {movie == kH265 ? PT_H265 : PT_H264, 1, 1, 0, 30, 3, PIC_HD720, 0, {0, 0, 0},
                                          30, 0};
        }
        gsDvConfig.sVi.sParam[0].u8WdrMode = wdr;
        for (auto &o : gsDvConfig.sOsd.sParam)
            o.bEnable = 0;
        running_ = true;
        movie_ = movie != kNoMovie;
        livetest::start();
        if (movie_) {
            livetest::start_encoding();
        } else {
            s32 ret = -1;
            quiet([&] { ret = KX_DV_Venc_Run(); });
            ASSERT_EQ(0, ret);
        }
    }

    // The engine initialised and started on the running pipeline.
    void start_engine()
    {
        std::string out = quiet([] {
            ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Init("/dv/iq_config/sceneauto_34220.ini"));
            ASSERT_EQ(0, DU_VUZI_SCENEAUTO_Start());
        });
        ASSERT_TRUE(has(out, "started successfully")) << out;
    }

    OwnPrefs own_;
    DvSystemParam &pref_ = own_.pref;
    bool running_ = false, movie_ = true;
};

} // namespace satest
