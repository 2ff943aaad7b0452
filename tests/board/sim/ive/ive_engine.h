// Test support for the simulated engine: requests sent straight to
// /dev/ive, and pictures and their values in the board's memory.
#pragma once

#include "tests/ive/ive_fixture.h"

#include <cerrno>
#include <fcntl.h>
#include <vector>

namespace ivetest {

constexpr u32 U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, S16C1 = IVE_IMAGE_TYPE_S16C1,
              U16C1 = IVE_IMAGE_TYPE_U16C1;

class IveEngine : public IveTest {
protected:
    void SetUp() override
    {
        IveTest::SetUp();
        fd_ = bd_open("/dev/ive", O_RDONLY);
        ASSERT_GE(fd_, 0);
    }
    void TearDown() override
    {
        bd_close(fd_);
        IveTest::TearDown();
    }

    template <class Block> int submit(unsigned long cmd, Block &b)
    {
        b.s32Handle = -7;
        return bd_ioctl(fd_, cmd, &b);
    }

    // A w x h image of `type` holding `values` row by row (elements of T).
    template <class T = u8> IVE_IMG_DESC_S picture(u32 type, u16 w, u16 h, const std::vector<T> &values)
    {
        IVE_IMG_DESC_S d = image(type, w, h, 0, 0xCD);
        for (u16 y = 0; y < h; y++)
            for (u16 x = 0; x < w; x++)
                set<T>(d, x, y, values[(size_t)y * w + x]);
        return d;
    }
    template <class T = u8> std::vector<T> values(const IVE_IMG_DESC_S &d)
    {
        std::vector<T> out;
        for (u16 y = 0; y < d.u16Height; y++)
            for (u16 x = 0; x < d.u16Width; x++)
                out.push_back(at<T>(d, x, y));
        return out;
    }
    // A vertical edge: columns from `from` on are `v`, the rest 0.
    IVE_IMG_DESC_S edge(u16 w, u16 h, u16 from, u8 v)
    {
        std::vector<u8> px((size_t)w * h);
        for (u16 y = 0; y < h; y++)
            for (u16 x = 0; x < w; x++)
                px[(size_t)y * w + x] = x >= from ? v : 0;
        return picture(U8C1, w, h, px);
    }

    int fd_ = -1;
};

} // namespace ivetest
