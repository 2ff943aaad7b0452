// Fuzz harness: any candidate picture and control through corner
// selection, in heap buffers of their exact size. Bytes: width and height
// (64 to 128, even), stride padding, the largest count (0 to 201), the
// distance (0 to 256), then the picture. The corners chosen are inside the
// border, strongest first, at least the distance apart, no more than asked;
// when fewer, every other candidate is too close to a stronger corner.
// Nothing is written past the corners, nor anything at all on a refusal.
#include "tests/ive/ive_fuzz.h"

#include <memory>
#include <vector>

using namespace ivefuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Bytes in{data, size};
    const u16 w = (u16)(64 + 2 * (in.take<u8>() % 33)), h = (u16)(64 + 2 * (in.take<u8>() % 33));
    const u16 stride = (u16)((w + 15) / 16 * 16 + 16 * (in.take<u8>() % 3));
    const u16 max = (u16)(in.take<u8>() % 202), dist = (u16)(in.take<u16>() % 257);
    std::unique_ptr<u8[]> img(new u8[(size_t)stride * h]), list(new u8[802]);
    for (u32 i = 0; i < (u32)stride * h; i++)
        img[i] = in.take<u8>();
    memset(list.get(), 0xEE, 802);

    IVE_IMG_DESC_S cand = user_image(img.get(), w, h, stride);
    IVE_MEM_BLOCK_S corners = {0x2000, list.get(), 802};
    IVE_ST_CORNER_CTRL_S ctrl = {max, dist};
    const s32 ret = DU_DUZ_IVE_STCorner(&cand, &corners, &ctrl);
    if (ret != 0) {
        expect(max < 1 || max > 200 || dist < 1 || dist > 255, "only the control's ranges are refused");
        for (u32 i = 0; i < 802; i++)
            expect(list[i] == 0xEE, "a refusal writes nothing");
        return 0;
    }
    u16 n;
    memcpy(&n, list.get(), 2);
    expect(n <= max, "no more corners than asked");
    for (u32 i = 2 + 4u * n; i < 802; i++)
        expect(list[i] == 0xEE, "nothing written past the corners");
    auto value = [&](u32 x, u32 y) { return img[(size_t)y * stride + x]; };
    auto close = [&](int ax, int ay, int bx, int by) {
        return (ax - bx) * (ax - bx) + (ay - by) * (ay - by) < dist * dist;
    };
    std::vector<std::pair<u16, u16>> chosen(n);
    std::vector<bool> taken((size_t)w * h, false);
    for (u32 i = 0; i < n; i++) {
        u16 p[2];
        memcpy(p, &list[2 + 4 * i], 4);
        chosen[i] = {p[0], p[1]};
        const u16 x = chosen[i].first, y = chosen[i].second;
        expect(x >= 1 && y >= 1 && x + 1 < w && y + 1 < h, "corners lie inside the border");
        expect(value(x, y) != 0, "corners are candidates");
        expect(i == 0 || value(x, y) <= value(chosen[i - 1].first, chosen[i - 1].second), "strongest first");
        for (u32 j = 0; j < i; j++)
            expect(!close(x, y, chosen[j].first, chosen[j].second), "corners keep their distance");
        taken[(size_t)y * w + x] = true;
    }
    if (n < max)
        for (u32 y = 1; y + 1 < h; y++)
            for (u32 x = 1; x + 1 < w; x++) {
                if (!value(x, y) || taken[(size_t)y * w + x])
                    continue;
                bool shadowed = false;
                for (u32 i = 0; i < n && !shadowed; i++)
                    shadowed = close(x, y, chosen[i].first, chosen[i].second) &&
                               value(chosen[i].first, chosen[i].second) >= value(x, y);
                expect(shadowed, "a candidate left out is too close to a stronger corner");
            }
    return 0;
}
