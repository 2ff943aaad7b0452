// Test support for the image-analysis engine: a board with tracing on,
// images and blocks in the board's media memory, and the unit's descriptor
// forgotten so that each test starts as a fresh process would.
#pragma once

#include "ive/ive_requests.h"
#include "ive/mpi_ive.h"
#include "tests/support/arg_rules.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace ivetest {

// Element size and plane count of the image types.
inline u32 elem_size(u32 type) { return ive_elem_size(type); }
inline int plane_count(u32 type) { return ive_plane_count(type); }

// An address as the checks print it ("%#x").
inline std::string hex(u32 v)
{
    char s[16];
    snprintf(s, sizeof s, "%#x", v);
    return s;
}

class IveTest : public BoardTest {
protected:
    void SetUp() override
    {
        conf_ = "trace = 1\n" + extra_conf_;
        BoardTest::SetUp();
        forget_descriptor();
    }
    void TearDown() override { forget_descriptor(); }

    static void forget_descriptor()
    {
        if (g_s32IveFd >= 0)
            bd_close(g_s32IveFd);
        g_s32IveFd = -1;
    }

    u32 alloc(u32 size)
    {
        u32 phys = sim::phys_alloc(size);
        EXPECT_NE(0u, phys);
        return phys;
    }

    // An image with every plane in its own allocation, filled with `fill`.
    IVE_IMG_DESC_S image(u32 type, u16 w, u16 h, u16 stride = 0, u8 fill = 0)
    {
        IVE_IMG_DESC_S d;
        memset(&d, 0, sizeof d);
        d.enType = type;
        d.u16Width = w;
        d.u16Height = h;
        stride = stride ? stride : (u16)((w + 15) / 16 * 16);
        for (int p = 0; p < plane_count(type); p++) {
            u32 size = (u32)stride * h * elem_size(type);
            d.u32PhyAddr[p] = alloc(size);
            d.pu8VirAddr[p] = sim::phys(d.u32PhyAddr[p]);
            d.u16Stride[p] = stride;
            memset(d.pu8VirAddr[p], fill, size);
        }
        return d;
    }

    IVE_MEM_BLOCK_S block(u32 size, u8 fill = 0)
    {
        IVE_MEM_BLOCK_S m;
        m.u32PhyAddr = alloc(size);
        m.pu8VirAddr = sim::phys(m.u32PhyAddr);
        m.u32Size = size;
        memset(m.pu8VirAddr, fill, size);
        return m;
    }

    static u8 *px(const IVE_IMG_DESC_S &d, u32 x, u32 y, int plane = 0)
    {
        return sim::phys(d.u32PhyAddr[plane]) + ((size_t)y * d.u16Stride[plane] + x) * elem_size(d.enType);
    }
    template <class T> static T at(const IVE_IMG_DESC_S &d, u32 x, u32 y)
    {
        T v;
        memcpy(&v, px(d, x, y), sizeof v);
        return v;
    }
    template <class T> static void set(const IVE_IMG_DESC_S &d, u32 x, u32 y, T v)
    {
        memcpy(px(d, x, y), &v, sizeof v);
    }

    // One operator call of a check table: the code it returns and, when it
    // fails, the message that must close what it prints (a check's message,
    // then the operator's own line naming the check). A call that passes
    // reaches the engine, which accepts it; one that fails does not.
    using CheckCase = argrules::Case;
    static size_t engine_requests() { return testsupport::events("trace ioctl /dev/ive").size(); }
    // The watch of an operator table: one request to the engine for a call
    // that passes.
    static argrules::Watch engine_watch()
    {
        argrules::Watch w;
        w.seen = engine_requests;
        w.passes = 1;
        return w;
    }
    void run_checks(std::vector<CheckCase> cases)
    {
        for (CheckCase &c : cases)
            if (c.code != 0)
                c.message = "[Info]:" + c.message + "[Func]:";
        argrules::run(cases, engine_watch());
    }

    std::string extra_conf_; // more board.conf lines, set before SetUp
};

} // namespace ivetest
