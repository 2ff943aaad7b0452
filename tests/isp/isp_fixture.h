// Test support for the ISP: recording stand-ins for the exposure, white-
// balance and focus libraries, and a board fixture that brings the ISP up
// and runs its loop on a thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "isp/isp_ctx.h"
#include "isp/sensor/mn34220/mn34220.h"
#include "isp/sensor/mn34220/mn34220_priv.h"
#include "tests/support/board_fixture.h"

namespace isptest {

// Everything the stand-in libraries saw, in order ("ae.run", "awb.ctrl 8003"...).
struct Recorder {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> calls;
    unsigned ae_runs = 0;
    std::vector<u32> awb_ctrl_values; // the u32 behind each 8003/8006/8007
    std::vector<f32> fps_seen;        // 8002

    void add(const std::string &what)
    {
        std::lock_guard<std::mutex> l(lock);
        calls.push_back(what);
        changed.notify_all();
    }
    std::vector<std::string> snapshot()
    {
        std::lock_guard<std::mutex> l(lock);
        return calls;
    }
    void clear()
    {
        std::lock_guard<std::mutex> l(lock);
        calls.clear();
        ae_runs = 0;
        awb_ctrl_values.clear();
        fps_seen.clear();
    }
    // Waits (bounded) until the exposure library ran `n` times in all.
    bool wait_ae_runs(unsigned n, int seconds = 5)
    {
        std::unique_lock<std::mutex> l(lock);
        return changed.wait_for(l, std::chrono::seconds(seconds), [&] { return ae_runs >= n; });
    }
};

inline Recorder g_rec;

// What the stand-in exposure library does each frame.
inline std::mutex g_ae_lock;
inline AE_FRAME_RESULT_S g_ae_result;
inline s32 g_ae_ret = 0;
inline u32 g_lines = 1000, g_again = 0, g_dgain = 0; // handed to the sensor each run
inline std::function<void(const AE_FRAME_INPUT_S *)> g_ae_hook; // runs first, under g_ae_lock
inline AWB_FRAME_RESULT_S g_awb_result;

// The sensor's side as the libraries keep it.
inline AE_SENSOR_CALLBACKS_S g_sns_ae;
inline AE_SENSOR_PROFILE_S g_ae_profile;

inline void reset_libs()
{
    g_rec.clear();
    std::lock_guard<std::mutex> l(g_ae_lock);
    // The stand-in exposure library drives the sensor through the MN34220's
    // own callbacks (the real library keeps the registered ones).
    cmos_init_ae_exp_function(&g_sns_ae);
    memset(&g_ae_profile, 0, sizeof g_ae_profile);
    cmos_get_ae_default(&g_ae_profile);
    memset(&g_ae_result, 0, sizeof g_ae_result);
    memset(&g_awb_result, 0, sizeof g_awb_result);
    g_ae_ret = 0;
    g_lines = 1000, g_again = 0, g_dgain = 0;
    g_ae_hook = nullptr;
}

inline s32 ae_init(s32 id, const AE_INIT_PARAM_S *p)
{
    g_rec.add("ae.init " + std::to_string(p->s32SensorId) + " " + std::to_string(p->u8WDRMode));
    return 0;
}
inline s32 ae_run(s32 id, const AE_FRAME_INPUT_S *in, AE_FRAME_RESULT_S *out, s32)
{
    s32 ret;
    {
        std::lock_guard<std::mutex> l(g_ae_lock);
        if (g_ae_hook)
            g_ae_hook(in);
        if (g_sns_ae.pfn_cmos_inttime_update)
            g_sns_ae.pfn_cmos_inttime_update(g_lines);
        if (g_sns_ae.pfn_cmos_gains_update)
            g_sns_ae.pfn_cmos_gains_update(g_again, g_dgain);
        *out = g_ae_result;
        ret = g_ae_ret;
    }
    std::lock_guard<std::mutex> l(g_rec.lock);
    g_rec.calls.push_back("ae.run");
    g_rec.ae_runs++;
    g_rec.changed.notify_all();
    return ret;
}
inline s32 ae_ctrl(s32 id, u32 cmd, void *value)
{
    if (cmd == ISP_AE_FPS_BASE_SET) {
        f32 fps;
        memcpy(&fps, value, sizeof fps);
        {
            std::lock_guard<std::mutex> l(g_rec.lock);
            g_rec.fps_seen.push_back(fps);
        }
        // As the exposure library does: the new frame rate goes to the sensor.
        if (g_sns_ae.pfn_cmos_fps_set)
            g_sns_ae.pfn_cmos_fps_set(fps, &g_ae_profile);
    }
    g_rec.add("ae.ctrl " + std::to_string(cmd));
    return 0;
}
inline s32 ae_exit(s32 id)
{
    g_rec.add("ae.exit");
    return 0;
}
inline s32 awb_init(s32 id, const AWB_INIT_PARAM_S *p)
{
    g_rec.add("awb.init");
    return 0;
}
inline s32 awb_run(s32 id, const AWB_FRAME_INPUT_S *in, AWB_FRAME_RESULT_S *out, s32)
{
    {
        std::lock_guard<std::mutex> l(g_ae_lock);
        *out = g_awb_result;
    }
    g_rec.add("awb.run");
    return 0;
}
inline s32 awb_ctrl(s32 id, u32 cmd, void *value)
{
    if (cmd == ISP_AWB_ISO_SET || cmd == ISP_AWB_INTTIME_SET || cmd == ISP_AWB_PIRIS_SET) {
        u32 v;
        memcpy(&v, value, sizeof v);
        std::lock_guard<std::mutex> l(g_rec.lock);
        g_rec.awb_ctrl_values.push_back(v);
    }
    g_rec.add("awb.ctrl " + std::to_string(cmd));
    return 0;
}
inline s32 awb_exit(s32 id)
{
    g_rec.add("awb.exit");
    return 0;
}
inline s32 af_init(s32 id, const AF_INIT_PARAM_S *p)
{
    g_rec.add("af.init");
    return 0;
}
inline s32 af_run(s32 id, const AF_FRAME_INPUT_S *in, AF_FRAME_RESULT_S *out, s32)
{
    g_rec.add("af.run");
    return 0;
}
inline s32 af_ctrl(s32 id, u32 cmd, void *value)
{
    g_rec.add("af.ctrl " + std::to_string(cmd));
    return 0;
}
inline s32 af_exit(s32 id)
{
    g_rec.add("af.exit");
    return 0;
}

inline const ALG_LIB_HANDLE_S kAeLib = {0, "vudi_ae_lib"};
inline const ALG_LIB_HANDLE_S kAwbLib = {0, "vudi_awb_lib"};
inline const ALG_LIB_HANDLE_S kAfLib = {0, "vudi_af_lib"};
inline const AE_LIB_CALLBACKS_S kAeCallbacks = {ae_init, ae_run, ae_ctrl, ae_exit};
inline const AWB_LIB_CALLBACKS_S kAwbCallbacks = {awb_init, awb_run, awb_ctrl, awb_exit};
inline const AF_LIB_CALLBACKS_S kAfCallbacks = {af_init, af_run, af_ctrl, af_exit};

inline s32 register_libs()
{
    s32 ret = DU_DUZ_ISP_AELibRegCallBack(0, &kAeLib, &kAeCallbacks);
    if (ret == 0)
        ret = DU_DUZ_ISP_AWBLibRegCallBack(0, &kAwbLib, &kAwbCallbacks);
    if (ret == 0)
        ret = DU_DUZ_ISP_AFLibRegCallBack(0, &kAfLib, &kAfCallbacks);
    return ret;
}

inline ISP_CTX_S &ctx() { return g_astIspCtx[0]; }

// The ISP register block and the ext page as they are now, one after the
// other.
inline std::vector<u8> isp_pages()
{
    constexpr size_t kPage = 0x10000;
    std::vector<u8> v(2 * kPage);
    memcpy(v.data(), VReg_GetVirtAddr(ISP_REG_BASE), kPage);
    memcpy(v.data() + kPage, VReg_GetVirtAddr(ISP_VREG_EXT_BASE), kPage);
    return v;
}

} // namespace isptest

// A fresh board, the sensor and the three libraries registered; the ISP can
// be brought up and its loop run on a thread. Whatever a test leaves
// running is stopped and taken down.
class IspTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        isptest::reset_libs();
    }

    void TearDown() override
    {
        testsupport::capture_stderr([&] {
            stop_run();
            DU_DUZ_ISP_Exit(0);
            DU_DUZ_ISP_AELibUnRegCallBack(0, &isptest::kAeLib);
            DU_DUZ_ISP_AWBLibUnRegCallBack(0, &isptest::kAwbLib);
            DU_DUZ_ISP_AFLibUnRegCallBack(0, &isptest::kAfLib);
            sensor_unregister_callback();
        });
    }

public:
    s32 register_all()
    {
        s32 ret = sensor_register_callback();
        return ret != 0 ? ret : isptest::register_libs();
    }

    static ISP_FRAME_FORMAT_S pub(u32 w, u32 h, f32 fps) { return {0, 0, w, h, fps, BAYER_GRBG}; }

    // The recording engine's order of bring-up; the first failure's code.
    s32 bring_up(u32 w = 1920, u32 h = 1080, f32 fps = 30, u32 wdr = WDR_MODE_NONE)
    {
        s32 ret = register_all();
        if (ret == 0)
            ret = DU_DUZ_ISP_MemInit(0);
        ISP_WDR_SEL_S sel = {wdr};
        if (ret == 0)
            ret = DU_DUZ_ISP_SetWDRMode(0, &sel);
        ISP_FRAME_FORMAT_S attr = pub(w, h, fps);
        if (ret == 0)
            ret = DU_DUZ_ISP_SetPubAttr(0, &attr);
        if (ret == 0)
            ret = DU_DUZ_ISP_Init(0);
        return ret;
    }

    void start_run()
    {
        run_result_ = -12345;
        runner_ = std::thread([this] { run_result_ = DU_DUZ_ISP_Run(0); });
    }

    void stop_run()
    {
        if (!runner_.joinable())
            return;
        DU_DUZ_ISP_Exit(0);
        runner_.join();
    }

    std::thread runner_;
    std::atomic<s32> run_result_{-12345};
};
