// The video input's mirror and flip move every luma pixel and every chroma
// pair to its mirrored place, whatever the picture's width and height (rows
// of whole eight-byte words go word by word, others element by element).
#include "board/sim/video/video.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <memory>
#include <string>

namespace {

class MirrorFlip : public BoardTest {};

TEST_F(MirrorFlip, EveryPixelLandsWhereTheTurnPutsIt)
{
    struct Size {
        uint32_t w, h;
    };
    // Widths with whole words in both planes, in the luma plane only, and in
    // neither; odd and even numbers of words and rows.
    const Size sizes[] = {{2, 2}, {8, 3}, {16, 2}, {24, 5}, {32, 4}, {40, 7}, {6, 4}, {18, 3}, {1920, 6}};
    for (const Size &s : sizes)
        for (int mode = 1; mode < 4; mode++) {
            const bool mirror = mode & 1, flip = mode & 2;
            SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h) + (mirror ? " mirror" : "") +
                         (flip ? " flip" : ""));
            sim::video::PicturePool pool(s.w, s.h, 1);
            sim::video::PicturePtr pic = pool.take();
            ASSERT_TRUE(pic);
            auto luma = [](uint32_t r, uint32_t c) { return (uint8_t)(r * 31 + c * 7 + 1); };
            auto chroma = [](uint32_t r, uint32_t c) { return (uint16_t)(r * 1031 + c * 17 + 3); };
            for (uint32_t r = 0; r < s.h; r++)
                for (uint32_t c = 0; c < s.w; c++)
                    pic->y()[r * pic->stride + c] = luma(r, c);
            for (uint32_t r = 0; r < s.h / 2; r++)
                for (uint32_t c = 0; c < s.w / 2; c++)
                {
                    const uint16_t v = chroma(r, c);
                    memcpy(pic->vu() + r * pic->stride + 2 * c, &v, 2);
                }

            sim::video::mirror_flip(*pic, mirror, flip);

            int wrong = 0;
            for (uint32_t r = 0; r < s.h; r++)
                for (uint32_t c = 0; c < s.w; c++)
                    wrong += pic->y()[r * pic->stride + c] !=
                             luma(flip ? s.h - 1 - r : r, mirror ? s.w - 1 - c : c);
            for (uint32_t r = 0; r < s.h / 2; r++)
                for (uint32_t c = 0; c < s.w / 2; c++) {
                    uint16_t v;
                    memcpy(&v, pic->vu() + r * pic->stride + 2 * c, 2);
                    wrong += v != chroma(flip ? s.h / 2 - 1 - r : r, mirror ? s.w / 2 - 1 - c : c);
                }
            EXPECT_EQ(0, wrong);
        }
}

} // namespace
