// The white-balance library on a fresh board without the ISP's run loop: the
// sensor's callbacks and the library registered as the recording engine
// does, the ISP's view of the library (its four callbacks) at hand, and a
// statistics buffer of a grey scene to run it on.
#pragma once

#include <cstring>
#include <string>

#include "isp/3a/awb/awb_ctx.h"
#include "isp/3a/awb/mpi_isp_awb.h"
#include "isp/isp_ctx.h"
#include "isp/sensor/mn34220/mn34220_priv.h"
#include "tests/support/board_fixture.h"

namespace awbtest {

inline const ALG_LIB_HANDLE_S kLib = {0, "vudi_awb_lib"};
inline const AWB_SENSOR_CALLBACKS_S kSensor = {cmos_get_awb_default};
constexpr s32 kSensorId = 34220;

// The callbacks the library handed to the ISP (first used slot).
inline AWB_LIB_CALLBACKS_S isp_view()
{
    for (const auto &n : g_astIspCtx[0].stAwbLibInfo.astLibs)
        if (n.bUsed)
            return n.stAwbRegister;
    return {};
}

inline u32 page(u32 off) { return AWB_LIB_VREG_BASE(0) + off; }

// A frame's statistics of a uniform grey under the light at `mired256`
// (1/256 mired) on the sensor's curve, with the Bayer means at `level`
// (16 bit) in green, and the ratios as measured after unity gains.
struct GreyStats {
    ISP_STAT_S stat = {};
    AWB_FRAME_INPUT_S in = {};

    GreyStats(u32 frame, double rg_static, double bg_static, u32 level = 24000, u32 count = 8064)
    {
        // Raw ratios: the light's ratios under the static gains undone.
        double r = level * rg_static * 256 / 496, b = level * bg_static * 256 / 416;
        ISP_AWB_STAT_4_S &z = stat.stAwbStat4;
        ISP_AWB_STAT_2_S &q = stat.stAwbStat2;
        for (u32 k = 0; k < AWB_ZONE_NUM; k++) {
            z.au16MeteringMemArrayAvgR[k] = (u16)r;
            z.au16MeteringMemArrayAvgG[k] = (u16)level;
            z.au16MeteringMemArrayAvgB[k] = (u16)b;
            z.au16MeteringMemArrayCountAll[k] = (u16)count;
            q.au16MeteringMemArrayAvgGR[k] = (u16)(256.0 * level / r);
            q.au16MeteringMemArrayAvgGB[k] = (u16)(256.0 * level / b);
            q.au16MeteringMemArrayCount[k] = (u16)count;
        }
        stat.stAwbStat3 = {(u16)r, (u16)level, (u16)b, 65535, {}};
        stat.stAwbStat1 = {(u16)(256.0 * level / r), (u16)(256.0 * level / b), count * AWB_ZONE_NUM};
        in.u32FrameCnt = frame;
        in.pstAwbStat1 = &stat.stAwbStat1;
        in.pstAwbStat2 = &stat.stAwbStat2;
        in.pstAwbStat3 = &stat.stAwbStat3;
        in.pstAwbStat4 = &stat.stAwbStat4;
    }
};

// The light's R/G and B/G under the static gains at a colour temperature:
// the points of the sensor's white-balance curve (8.8), worked out from the
// curve's formula and the profile's parameters.
inline void light_at(int kelvin, double *rg, double *bg)
{
    static const struct {
        int kelvin;
        u16 rg, bg;
    } kLights[] = {{2800, 388, 161}, {3000, 366, 171}, {4000, 295, 215},
                   {5000, 256, 254}, {6000, 233, 290}, {6500, 223, 306}};
    for (const auto &l : kLights) {
        if (l.kelvin == kelvin) {
            *rg = l.rg / 256.0;
            *bg = l.bg / 256.0;
            return;
        }
    }
    ADD_FAILURE() << "no light of " << kelvin << " K";
    *rg = *bg = 1;
}

} // namespace awbtest

class AwbTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        memset(g_astAwbCtx, 0, sizeof g_astAwbCtx);
        ASSERT_EQ(DU_DUZ_AWB_SensorRegCallBack(0, &awbtest::kLib, awbtest::kSensorId, &awbtest::kSensor), 0);
        ASSERT_EQ(DU_DUZ_AWB_Register(0, &awbtest::kLib), 0);
        cb_ = awbtest::isp_view();
        ASSERT_TRUE(cb_.pfn_awb_init && cb_.pfn_awb_run && cb_.pfn_awb_ctrl && cb_.pfn_awb_exit);
    }

    void TearDown() override
    {
        testsupport::capture_stdout([&] {
            testsupport::capture_stderr([&] {
                cb_.pfn_awb_exit(0);
                DU_DUZ_AWB_UnRegister(0, &awbtest::kLib);
                DU_DUZ_AWB_SensorUnRegCallBack(0, &awbtest::kLib, awbtest::kSensorId);
            });
        });
    }

    s32 init(u8 wdr = 0)
    {
        AWB_INIT_PARAM_S p = {awbtest::kSensorId, wdr};
        return cb_.pfn_awb_init(0, &p);
    }

    // Runs frames first..last on a grey of `kelvin`; the last result.
    AWB_FRAME_RESULT_S run(u32 first, u32 last, int kelvin, s32 *ret = nullptr)
    {
        double rg, bg;
        awbtest::light_at(kelvin, &rg, &bg);
        AWB_FRAME_RESULT_S out = {};
        for (u32 f = first; f <= last; f++) {
            awbtest::GreyStats g(f, rg, bg);
            s32 r = cb_.pfn_awb_run(0, &g.in, &out, 0);
            if (ret)
                *ret = r;
        }
        return out;
    }

    AWB_LIB_CALLBACKS_S cb_ = {};
};
