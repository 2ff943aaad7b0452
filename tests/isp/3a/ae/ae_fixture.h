// The exposure library on a fresh board without the ISP's run loop: the
// MN34220's exposure callbacks and the library registered as the sensor
// driver and the recording engine do, the ISP's view of the library (its
// four callbacks) at hand, and a statistics buffer of a grey scene to run
// it on.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "isp/3a/ae/ae_ctx.h"
#include "isp/3a/ae/mpi_isp_ae.h"
#include "isp/isp_ctx.h"
#include "isp/sensor/mn34220/mn34220_priv.h"
#include "tests/support/board_fixture.h"

namespace aetest {

inline const ALG_LIB_HANDLE_S kLib = {0, "vudi_ae_lib"};
constexpr s32 kSensorId = 34220;

inline AE_SENSOR_CALLBACKS_S sensor_callbacks()
{
    AE_SENSOR_CALLBACKS_S cb;
    cmos_init_ae_exp_function(&cb);
    return cb;
}

// The callbacks the library handed to the ISP (first used slot).
inline AE_LIB_CALLBACKS_S isp_view()
{
    for (const auto &n : g_astIspCtx[0].stAeLibInfo.astLibs)
        if (n.bUsed)
            return n.stAeRegister;
    return {};
}

inline u32 page(u32 off) { return AE_LIB_VREG_BASE(0) + off; }

// The whole page and the ISP's zone weights, to see that nothing changed.
inline std::vector<u32> snapshot()
{
    std::vector<u32> v;
    for (u32 off = 0; off < ALG_LIB_VREG_SIZE; off += 4)
        v.push_back(IO_READ32(page(off)));
    for (u32 i = 0; i < AE_ZONE_ROW * AE_ZONE_COLUMN; i++)
        v.push_back(IO_READ8(ISP_REG_BASE + 0xA00 + i));
    return v;
}

// One frame's statistics of a uniform grey whose pixels sit at `level`
// (0..255) of the 256-bin histogram.
struct GreyStats {
    ISP_STAT_S stat = {};
    AE_FRAME_INPUT_S in = {};

    explicit GreyStats(u32 frame, u32 level = 56, u32 pixels = 100000)
    {
        stat.stAeStat3.au32Hist256Value[level] = pixels;
        for (auto &row : stat.stAeStat5.au16ZoneAvg)
            for (auto &zone : row)
                for (auto &ch : zone)
                    ch = (u16)(level << 8);
        for (auto &m : stat.stAeStat4.au16GlobalAvg)
            m = (u16)(level << 8);
        in = {frame, &stat.stAeStat1, &stat.stAeStat2, &stat.stAeStat3, &stat.stAeStat4, &stat.stAeStat5};
    }
};

} // namespace aetest

class AeTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        sensor_global_init();
        memset(g_astAeCtx, 0, sizeof g_astAeCtx);
        const AE_SENSOR_CALLBACKS_S cb = aetest::sensor_callbacks();
        ASSERT_EQ(DU_DUZ_AE_SensorRegCallBack(0, &aetest::kLib, aetest::kSensorId, &cb), 0);
        ASSERT_EQ(DU_DUZ_AE_Register(0, &aetest::kLib), 0);
        cb_ = aetest::isp_view();
        ASSERT_TRUE(cb_.pfn_ae_init && cb_.pfn_ae_run && cb_.pfn_ae_ctrl && cb_.pfn_ae_exit);
    }

    void TearDown() override
    {
        testsupport::capture_stdout([&] {
            testsupport::capture_stderr([&] {
                cb_.pfn_ae_exit(0);
                DU_DUZ_AE_UnRegister(0, &aetest::kLib);
                DU_DUZ_AE_SensorUnRegCallBack(0, &aetest::kLib, aetest::kSensorId);
            });
        });
    }

    s32 init(f32 fps = 30, u8 wdr = 0)
    {
        AE_INIT_PARAM_S p = {aetest::kSensorId, wdr, fps, 0};
        s32 ret = -1;
        testsupport::capture_stdout([&] { ret = cb_.pfn_ae_init(0, &p); });
        return ret;
    }

    // Runs frames first..last on a grey at `level`; the last result.
    AE_FRAME_RESULT_S run(u32 first, u32 last, u32 level = 56, s32 *ret = nullptr)
    {
        AE_FRAME_RESULT_S out = {};
        for (u32 f = first; f <= last; f++) {
            aetest::GreyStats g(f, level);
            s32 r = cb_.pfn_ae_run(0, &g.in, &out, 0);
            if (ret)
                *ret = r;
        }
        return out;
    }

    AE_CTX_S &ctx() { return g_astAeCtx[0]; }

    AE_LIB_CALLBACKS_S cb_ = {};
};
