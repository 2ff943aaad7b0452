// The scene's light from a dark room to full sunlight at one exposure: the
// sensor clips at its white, so more light never makes a pixel darker (no
// level wraps), a pixel whose every reading clips shows the white without
// noise, and the statistics saturate with the picture.
#include "tests/board/sim/picture/picture_fixture.h"

#include <vector>

using namespace picturetest;

namespace {

constexpr double kWhiteLuma = 235; // video range: gamma's top

void light(double brightness)
{
    sim::with_world([&](sim::World &w) { w.scene_brightness = brightness; });
}

std::vector<uint8_t> luma_of(const sim::video::Picture &p)
{
    std::vector<uint8_t> y((size_t)kW * kH);
    for (uint32_t r = 0; r < kH; r++)
        memcpy(&y[(size_t)r * kW], p.y() + (size_t)r * p.stride, kW);
    return y;
}

class QuietSensorTest : public PictureTest {
protected:
    QuietSensorTest() : PictureTest("sensor.shading = 1\nsensor.column_pattern = 0\nsensor.noise = 0\n") {}
};

} // namespace

TEST_F(QuietSensorTest, MoreLightNeverDarkensAPixelAndSunlightClipsToWhite)
{
    stream();
    sim::with_world([](sim::World &w) { w.scene_motion = true; });
    std::vector<uint8_t> before;
    for (double b : {0.01, 0.1, 1.0, 3.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0}) {
        SCOPED_TRACE(b);
        light(b);
        const std::vector<uint8_t> y = luma_of(*render(1500000));
        if (!before.empty()) {
            size_t darker = 0;
            for (size_t i = 0; i < y.size(); i++)
                darker += y[i] < before[i];
            EXPECT_EQ(darker, 0u);
        }
        before = y;
    }
    const auto range = std::minmax_element(before.begin(), before.end());
    EXPECT_EQ(*range.first, kWhiteLuma);
    EXPECT_EQ(*range.second, kWhiteLuma);
}

// With the sensor's noise: in a room every patch shows some, in sunlight
// every reading clips and the white is flat; the statistics' means and
// histogram sit at their tops.
TEST_F(PictureTest, InSunlightEveryReadingClipsTheWhiteIsFlatAndTheStatisticsSaturate)
{
    stream();
    struct Case {
        double brightness;
        bool clipped;
    } cases[] = {{1, false}, {100000, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.brightness);
        light(c.brightness);
        const Look l = look();
        for (int k = 0; k < kPatches; k++) {
            SCOPED_TRACE(k);
            if (c.clipped) {
                EXPECT_EQ(l.patch[k].y, kWhiteLuma);
                EXPECT_EQ(l.patch[k].sd, 0.0);
                EXPECT_NEAR(l.patch[k].cb, 128, 0.5);
                EXPECT_NEAR(l.patch[k].cr, 128, 0.5);
            } else {
                EXPECT_LT(l.patch[k].y, kWhiteLuma);
                EXPECT_GT(l.patch[k].sd, 0.0);
            }
        }
        auto st = std::make_unique<ISP_STAT_S>();
        sim::isp_gather_statistics(*st);
        uint64_t all = 0;
        for (uint32_t v : st->stAeStat3.au32Hist256Value)
            all += v;
        ASSERT_GT(all, 0u);
        EXPECT_EQ(st->stAeStat3.au32Hist256Value[255] == all, c.clipped);
        for (int ch = 0; ch < 4; ch++)
            EXPECT_EQ(st->stAeStat4.au16GlobalAvg[ch] == 65535, c.clipped) << ch << " " << st->stAeStat4.au16GlobalAvg[ch];
    }
}
