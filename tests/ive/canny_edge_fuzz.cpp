// Fuzz harness: any edge map and point stack through the software Canny
// stage, in heap buffers of their exact size. Bytes: width and height (64 to
// 128, even), stride padding, the map, the stack's count (up to W x H + 1),
// then its points. A refused stack leaves map and stack as they were; an
// accepted one ends with count 0, every pixel mapped, the padding untouched.
#include "tests/ive/ive_fuzz.h"

#include <memory>
#include <vector>

using namespace ivefuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Bytes in{data, size};
    const u16 w = (u16)(64 + 2 * (in.take<u8>() % 33)), h = (u16)(64 + 2 * (in.take<u8>() % 33));
    const u16 stride = (u16)((w + 15) / 16 * 16 + 16 * (in.take<u8>() % 3));
    const u32 pixels = (u32)w * h, map_size = (u32)stride * h, stack_size = (pixels + 4) * 4;
    std::unique_ptr<u8[]> map(new u8[map_size]), stack(new u8[stack_size]());
    for (u32 i = 0; i < map_size; i++)
        map[i] = in.take<u8>();
    const u32 count = in.take<u32>() % (pixels + 2);
    memcpy(&stack[4 * pixels], &count, 4);
    for (u32 i = 0; i < count && in.n; i++) {
        const u32 point = in.take<u32>();
        memcpy(&stack[4 * i], &point, 4);
    }
    const std::vector<u8> map_before(map.get(), map.get() + map_size),
        stack_before(stack.get(), stack.get() + stack_size);

    IVE_IMG_DESC_S edge = user_image(map.get(), w, h, stride);
    IVE_MEM_BLOCK_S st = {0x2000, stack.get(), stack_size};
    const s32 ret = DU_DUZ_IVE_CannyEdge(&edge, &st);
    if (ret != 0) {
        expect(count > pixels, "only a count above the pixels is refused");
        expect(memcmp(map.get(), map_before.data(), map_size) == 0 &&
                   memcmp(stack.get(), stack_before.data(), stack_size) == 0,
               "a refusal changes nothing");
        return 0;
    }
    u32 left;
    memcpy(&left, &stack[4 * pixels], 4);
    expect(left == 0, "the stack ends empty");
    for (u32 y = 0; y < h; y++)
        for (u32 x = 0; x < stride; x++) {
            const u8 was = map_before[(size_t)y * stride + x], now = map[(size_t)y * stride + x];
            if (x >= w)
                expect(now == was, "the padding is untouched");
            else if (was == 0)
                expect(now == 0 || now == 255, "a candidate ends as 0 or 255");
            else
                expect(now == (u8)(256 - was / 2), "every other pixel is mapped");
        }
    return 0;
}
