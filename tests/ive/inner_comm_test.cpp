// The common image tests of the engine's checks: sizes, evenness, strides,
// plane addresses, and the second family's alignment and code.
#include "ive/inner_comm.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <functional>

namespace {

IVE_IMG_DESC_S img(u32 type, u16 w, u16 h, u16 stride, u32 phys = 0x1000)
{
    IVE_IMG_DESC_S d;
    memset(&d, 0, sizeof d);
    d.enType = type;
    d.u16Width = w;
    d.u16Height = h;
    for (int p = 0; p < 3; p++) {
        d.u32PhyAddr[p] = phys + 0x10000 * p;
        d.u16Stride[p] = stride;
    }
    return d;
}

TEST(IveImageChecks, SizesStridesAndPlanes)
{
    IVE_IMG_DESC_S yuv_no_chroma = img(IVE_IMAGE_TYPE_YUV420SP, 64, 64, 64);
    yuv_no_chroma.u32PhyAddr[1] = 0;
    IVE_IMG_DESC_S planar_bad_stride = img(IVE_IMAGE_TYPE_U8C3_PLANAR, 64, 64, 64);
    planar_bad_stride.u16Stride[2] = 40;
    struct Case {
        const char *name;
        std::function<s32()> call;
        s32 code;
        const char *message; // the whole of what goes to standard error after the prefixes
    };
    auto ive = [](IVE_IMG_DESC_S d, u8 planes = 1) {
        return [=] { return IveCheckImage(&d, 64, 64, 1920, 1080, planes, 16); };
    };
    auto fd = [](IVE_IMG_DESC_S d) { return [=] { return FdCheckImage(&d, 64, 64, 1920, 1080, 1, 16); }; };
    const Case cases[] = {
        {"64 x 64, stride 64", ive(img(0, 64, 64, 64)), 0, ""},
        {"no address", ive(img(0, 64, 64, 64, 0)), (s32)0xA01D8003, "pstImage->u32PhyAddr[0] can't be 0!\n"},
        {"width 63", ive(img(0, 63, 64, 64)), (s32)0xA01D8003, "pstImage->u16Width(63) must be in [64, 1920]!\n"},
        {"height 1082", ive(img(0, 64, 1082, 64)), (s32)0xA01D8003,
         "pstImage->u16Height(1082) must be in [64 ,1080]!\n"},
        {"odd width", ive(img(0, 65, 64, 80)), (s32)0xA01D8003,
         "image width(65) must be a multiply of 2!\ncheck image width and height failed!\n"},
        {"stride 72", ive(img(0, 64, 64, 72)), (s32)0xA01D8003,
         "stride(72) must be 16 align!\ncheck pstImage->u16Stride[0] failed!\n"},
        {"stride 48", ive(img(0, 64, 64, 48)), (s32)0xA01D8003,
         "stride(48) must be greater than or equal to width(64)!\ncheck pstImage->u16Stride[0] failed!\n"},
        {"no chroma plane", ive(yuv_no_chroma, 2), (s32)0xA01D8003, "pstImage->pu8PhyAddr[1] can't be 0!\n"},
        {"third plane's stride", ive(planar_bad_stride, 3), (s32)0xA01D8003,
         "stride(40) must be greater than or equal to width(64)!\ncheck pstImage->u16Stride[2] failed!\n"},
        {"unaligned address, first family", ive(img(0, 64, 64, 64, 0x1008)), 0, ""},
        {"unaligned address, second family", fd(img(0, 64, 64, 64, 0x1008)), (s32)0xA02F8003,
         "pstImage->u32PhyAddr[0](0x1008) must be 16 byte align!\n"},
        {"second family's stride code", [] { return FdCheckStride(48, 64, 16); }, (s32)0xA02F8003,
         "stride(48) must be greater than or equal to width(64)!\n"},
        {"relation", [] { return IveCheckResRelation(64, 64, 64, 62); }, (s32)0xA01D8003, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        s32 ret = 1;
        std::string err = testsupport::capture_stderr([&] { ret = c.call(); });
        EXPECT_EQ((u32)c.code, (u32)ret);
        // Drop the prefixes: each report starts with one.
        std::string text;
        for (size_t at = 0; (at = err.find("[Info]:", at)) != std::string::npos;) {
            at += 7;
            size_t next = err.find("[Func]:", at);
            text += err.substr(at, next == std::string::npos ? std::string::npos : next - at);
        }
        EXPECT_EQ(c.message, text);
    }
}

TEST(IveImageChecks, ReportsNameTheTestingFunction)
{
    IVE_IMG_DESC_S d = img(0, 64, 64, 72);
    std::string err = testsupport::capture_stderr([&] { IveCheckImage(&d, 64, 64, 1920, 1080, 1, 16); });
    EXPECT_EQ(0u, err.find("[Func]:IveCheckStride [Line]:")) << err;
    EXPECT_NE(std::string::npos, err.find("[Func]:IveCheckImage [Line]:")) << err;
}

} // namespace
