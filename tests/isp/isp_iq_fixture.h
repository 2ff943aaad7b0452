// The image-quality modules on the simulated board: a fixture that brings
// the ISP up in a WDR mode and runs frames of the loop, or of the modules
// alone, on the test's own thread.
#pragma once

#include "tests/isp/isp_fixture.h"

#include <functional>

#include "board/sim/picture/picture.h"
#include "board/sim/sim.h"
#include "isp/isp_requests.h"
#include "tests/support/isp_reg_base.h"

namespace isptest {

constexpr s32 kIllegal = (s32)0xA01C8003, kNullPtr = (s32)0xA01C8006;
using testsupport::H;

class IspIqTest : public IspTest {
protected:
    void SetUp() override
    {
        IspTest::SetUp();
        up(WDR_MODE_NONE);
    }
    void TearDown() override
    {
        delete stat_;
        IspTest::TearDown();
    }

    void up(u32 wdr)
    {
        s32 ret = -1;
        testsupport::capture_stdout([&] { ret = bring_up(1920, 1080, 30, wdr); });
        ASSERT_EQ(ret, 0);
        u32 on = 1;
        ASSERT_EQ(isp_ioctl(ISP_SET_INT_ENABLE, &on), 0);
    }

public:
    // One round of the run loop on the test's thread: the next frame of the
    // board's ISP, then the firmware's frame.
    void frame()
    {
        // A wait that ends without a frame (the sensor changed its rate) is
        // waited again, as the loop does.
        u32 status = 0;
        for (int tries = 0; tries < 10 && !(status & 1); tries++)
            ASSERT_EQ(isp_ioctl(ISP_GET_FRAME_EDGE, &status), 0);
        ASSERT_EQ(status & 1, 1u) << "no frame from the board";
        ASSERT_EQ(ISP_Run(0), 0);
    }

    // One frame of every module on the test's own statistics and register
    // configuration, as ISP_Run hands them out.
    void modules_frame()
    {
        ctx().u32FrameCnt++;
        cfg_.u32Key = 0;
        for (auto &alg : ctx().astAlgs)
            if (alg.bUsed && alg.stAlgFunc.pfn_alg_run)
                alg.stAlgFunc.pfn_alg_run(0, stat_, &cfg_, 0);
    }

    ISP_ALG_NODE_S &slot(ISP_ALG_ID_E id)
    {
        for (auto &alg : ctx().astAlgs)
            if (alg.bUsed && alg.enAlgType == id)
                return alg;
        ADD_FAILURE() << "module " << id << " not registered";
        return ctx().astAlgs[ISP_MAX_ALGS_NUM - 1];
    }

    // The ISP register block and the ext page as they are now.
    static std::vector<u8> pages() { return isp_pages(); }

protected:
    ISP_STAT_S *stat_ = new ISP_STAT_S();
    ISP_REG_CFG_S cfg_ = {};
};

// n bytes from `from`, `step` apart.
inline void fill(u8 *t, u32 n, u32 from, u32 step)
{
    for (u32 i = 0; i < n; i++)
        t[i] = (u8)(from + step * i);
}

} // namespace isptest
