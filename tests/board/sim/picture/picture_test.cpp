// The board's picture answers to the ISP's registers as the hardware would:
// black level, white balance, colour matrix, colour tone, gamma, DRC,
// sharpen, noise reduction and defect-pixel correction, each set directly
// in the registers; the sensor's noise and hot pixels; the grey pattern; and
// statistics taken before gamma.
#include "tests/board/sim/picture/picture_fixture.h"

#include <map>

#include "isp/isp_vreg.h"

using namespace picturetest;
using namespace sim::picture;

namespace {

TEST_F(PictureTest, TheRegistersComeOutOfResetWithTheIspsDaylightDefaults)
{
    EXPECT_EQ(get16(ISP_BLC_COMMON_REG), 256u << 4);
    for (uint32_t c = 0; c < 4; c++)
        EXPECT_EQ(get16(ISP_WB_GAIN_REG(c)), ISP_WB_RESET_GAIN[c]);
    for (uint32_t i = 0; i < 9; i++)
        EXPECT_EQ(get16(ISP_CCM_REG(i)), ISP_CCM_RESET[i]) << i;
    for (uint32_t c = 0; c < 3; c++)
        EXPECT_EQ(get16(ISP_TONE_GAIN_REG(c)), 0x100u);
    EXPECT_EQ(*sim::phys(ISP_GAMMA_CTRL_REG), ISP_GAMMA_CTRL_ENABLE);
    EXPECT_EQ(sim::phys_read32(ISP_GAMMA_TABLE_REG(64)), 1782u); // 4095 x 0.25^0.6
    EXPECT_EQ(sim::phys_read32(ISP_GAMMA_TABLE_REG(256)), 4095u);
    for (uint32_t reg : {ISP_DRC_CTRL_REG, ISP_NR_CTRL_REG, ISP_SHARPEN_D_REG, ISP_SHARPEN_UD_REG, ISP_DP_CTRL_REG,
                         ISP_DP_STATIC_REG})
        EXPECT_EQ(*sim::phys(reg), 0) << std::hex << reg;

    // So the picture is a daylight one: the patches in order, near grey.
    sim::with_world([](sim::World &w) { w.scene_kelvin = 5000; });
    Look l = look();
    for (int k = 0; k < kPatches; k++) {
        SCOPED_TRACE(k);
        if (k) {
            EXPECT_LT(l.patch[k].y, l.patch[k - 1].y - 10);
        }
        EXPECT_NEAR(l.patch[k].cb, 128, 6);
        EXPECT_NEAR(l.patch[k].cr, 128, 6);
        EXPECT_EQ(l.patch[k].sd, 0.0); // a sensor nobody programmed shows no noise
    }
}

// One register set at a time, against the picture at reset values with
// the greys made neutral.
TEST_F(PictureTest, ThePictureAnswersToEachStageOfTheIsp)
{
    struct Case {
        const char *name;
        std::function<void()> set;
        std::function<void(const Look &base, const Look &now)> check;
    } cases[] = {
        {"black level above the pedestal crushes the shadows", [] { put16(ISP_BLC_COMMON_REG, (256 + 200) << 4); },
         [](const Look &b, const Look &n) {
             EXPECT_EQ(n.patch[5].y, 16.0);
             EXPECT_LT(n.patch[2].y, b.patch[2].y - 4);
         }},
        {"black level below the pedestal lifts black", [] { put16(ISP_BLC_COMMON_REG, 0); },
         // (at least the pedestal: the red and blue gains amplify it)
         [](const Look &b, const Look &n) { EXPECT_GT(n.patch[5].y - b.patch[5].y, 219 * 256 / 4095.0 - 1); }},
        {"a red channel offset takes red out of the greys", [] { put16(ISP_BLC_OFFSET_REG(0), 200 * 4); },
         [](const Look &b, const Look &n) { EXPECT_LT(n.patch[3].cr, b.patch[3].cr - 3); }},
        {"white-balance red gain twice", [] { put16(ISP_WB_GAIN_REG(0), 2 * get16(ISP_WB_GAIN_REG(0))); },
         [](const Look &b, const Look &n) { EXPECT_GT(n.patch[3].cr, b.patch[3].cr + 8); }},
        {"white-balance gains hold 12 bits", [] { put16(ISP_WB_GAIN_REG(0), 0xF000 | get16(ISP_WB_GAIN_REG(0))); },
         [](const Look &b, const Look &n) { EXPECT_NEAR(n.patch[3].cr, b.patch[3].cr, 0.5); }},
        {"colour matrix swapping red and blue",
         [] {
             for (uint32_t i = 0; i < 9; i++)
                 put16(ISP_CCM_REG(i), (i == 2 || i == 4 || i == 6) ? 0x100 : 0);
         },
         [](const Look &b, const Look &n) {
             EXPECT_GT(b.red_bar.cr, b.red_bar.cb + 20);
             EXPECT_GT(n.red_bar.cb, n.red_bar.cr + 20);
         }},
        {"colour matrix sign bit", [] { put16(ISP_CCM_REG(1), 0x8100); }, // R takes one G off, not a little
         [](const Look &b, const Look &n) { EXPECT_LT(n.patch[2].cr, b.patch[2].cr - 10); }},
        {"colour tone blue cast", [] { put16(ISP_TONE_GAIN_REG(2), 0x180); },
         [](const Look &b, const Look &n) { EXPECT_GT(n.patch[3].cb, b.patch[3].cb + 4); }},
        {"gamma enabled over an empty table is black",
         [] {
             for (uint32_t i = 0; i < 257; i++)
                 sim::phys_write32(ISP_GAMMA_TABLE_REG(i), 0);
         },
         [](const Look &, const Look &n) { EXPECT_EQ(n.patch[0].y, 16.0); }},
        {"gamma off is linear", [] { put8(ISP_GAMMA_CTRL_REG, 0); },
         [](const Look &b, const Look &n) {
             EXPECT_LT(n.patch[3].y, b.patch[3].y - 20);
             EXPECT_NEAR((n.patch[3].y - 16) / (n.patch[0].y - 16), patch_level(3) / patch_level(0), 0.02);
         }},
        {"DRC at full strength lifts the dark tiles",
         [] {
             put8(ISP_DRC_CTRL_REG, 1);
             put8(ISP_DRC_STRENGTH_REG, 255);
         },
         [](const Look &b, const Look &n) {
             EXPECT_GT(n.dark_tile.y, b.dark_tile.y + 10);
             EXPECT_GT(n.dark_tile.y - b.dark_tile.y, n.patch[0].y - b.patch[0].y); // more in the shadows
         }},
        {"DRC strength with DRC off does nothing", [] { put8(ISP_DRC_STRENGTH_REG, 255); },
         [](const Look &b, const Look &n) { EXPECT_EQ(n.dark_tile.y, b.dark_tile.y); }},
        {"sharpen detail brightens the light side of an edge", [] { put8(ISP_SHARPEN_D_REG, 255); },
         [](const Look &b, const Look &n) {
             EXPECT_GT(n.edge_light, b.edge_light + 3);
             EXPECT_EQ(n.edge_dark, b.edge_dark);
             EXPECT_EQ(n.patch[0].y, b.patch[0].y); // flat areas stay
         }},
        {"sharpen undershoot darkens the dark side", [] { put8(ISP_SHARPEN_UD_REG, 255); },
         [](const Look &b, const Look &n) {
             EXPECT_LT(n.edge_dark, b.edge_dark - 3);
             EXPECT_EQ(n.edge_light, b.edge_light);
         }},
    };
    // Greys made neutral, as the white balance would.
    const auto gains = white_gains();
    restart();
    set_gains(gains);
    const Look base = look();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        set_gains(gains);
        c.set();
        c.check(base, look());
    }
}

TEST_F(PictureTest, ThePatchesFollowTheGammaTable)
{
    struct Case {
        const char *name;
        double power;
    } cases[] = {{"a linear table", 1.0}, {"the usual 0.45", 0.45}, {"a steeper one", 0.3}};
    set_gains(white_gains());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        gamma(c.power);
        Look l = look();
        for (int k = 0; k < kPatches; k++) {
            SCOPED_TRACE(k);
            double lin = 0.28 * patch_level(k);
            EXPECT_NEAR(l.patch[k].y, 16 + 219 * std::pow(lin, c.power), 1.5);
            if (k) {
                EXPECT_LT(l.patch[k].y, l.patch[k - 1].y);
            }
        }
    }
}

// The statistics' white balance made the greys neutral whatever the light;
// without it, warm light leaves a warm cast.
TEST_F(PictureTest, GreysComeOutNeutralWithTheGainsTheStatisticsAskFor)
{
    gamma(0.45);
    // The sensor's own colour matrix for daylight: greys stay grey through it.
    const uint16_t ccm[9] = {396, 0x8000 | 142, 2, 0x8000 | 89, 443, 0x8000 | 98, 22, 0x8000 | 313, 547};
    for (uint32_t i = 0; i < 9; i++)
        put16(ISP_CCM_REG(i), ccm[i]);
    for (int kelvin : {2800, 5500, 6500}) {
        SCOPED_TRACE(kelvin);
        sim::with_world([&](sim::World &w) { w.scene_kelvin = kelvin; });
        set_gains(white_gains());
        Look l = look();
        for (int k = 0; k < kPatches; k++) {
            SCOPED_TRACE(k);
            EXPECT_NEAR(l.patch[k].cb, 128, 2);
            EXPECT_NEAR(l.patch[k].cr, 128, 2);
        }
    }
    set_gains({0x100, 0x100});
    sim::with_world([](sim::World &w) { w.scene_kelvin = 2800; });
    Look warm = look();
    EXPECT_GT(warm.patch[2].cr - warm.patch[2].cb, 15);
}

TEST_F(PictureTest, TheGreyPatternIsOneGreyAllOver)
{
    sim::with_world([](sim::World &w) { w.scene_grey = true; });
    sim::video::PicturePtr p = render();
    std::map<uint32_t, size_t> seen; // Y, Cb, Cr
    for (uint32_t r = 0; r < kH; r++)
        for (uint32_t c = 0; c < kW; c++) {
            const uint8_t *vu = p->vu() + (size_t)(r / 2) * p->stride + (c & ~1);
            seen[p->y()[(size_t)r * p->stride + c] | vu[0] << 8 | vu[1] << 16]++;
        }
    size_t most = 0;
    for (auto &s : seen)
        most = std::max(most, s.second);
    // All but the hot pixels' blocks.
    EXPECT_GE(most, (size_t)kW * kH - 4 * sim::sensor_hot_pixels().size());
}

TEST_F(PictureTest, NoiseGrowsWithTheGainAndNoiseReductionTakesItDown)
{
    enum Against { first, more, less };
    struct Case {
        const char *name;
        uint16_t again_code;
        uint8_t nr_thresh; // 0: noise reduction off
        Against against;   // the case before
    } cases[] = {
        {"unity gain", 0x100, 0, first},
        {"four times the gain", (32 + 64) * 4, 0, more},
        {"four times, noise reduction at 24", (32 + 64) * 4, 24, less},
        {"four times, noise reduction at 80", (32 + 64) * 4, 80, less},
    };
    double prev = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        stream(c.again_code);
        if (c.nr_thresh) {
            put8(ISP_NR_CTRL_REG, ISP_NR_CTRL_ENABLE);
            put8(ISP_NR_THRESH_S_REG, c.nr_thresh);
        }
        double sd = look().patch[3].sd;
        if (c.against == first) {
            EXPECT_GT(sd, 1.0);
        }
        if (c.against == more) {
            EXPECT_GT(sd, prev * 1.5);
        }
        if (c.against == less) {
            EXPECT_LT(sd, prev * 0.8);
        }
        prev = sd;
    }
    // The noise moves from picture to picture; the level stays.
    sim::video::PicturePtr a = render(0), b = render(16667);
    Area pa = patch(*a, 3), pb = patch(*b, 3);
    EXPECT_NEAR(pa.y, pb.y, 0.5);
    size_t differ = 0;
    for (uint32_t c = 0; c < kW; c++)
        differ += a->y()[(size_t)row_of(0.65) * a->stride + c] != b->y()[(size_t)row_of(0.65) * b->stride + c];
    EXPECT_GT(differ, kW / 4);
}

class HotPixelTest : public PictureTest {
protected:
    // The hot pixels' blocks that stand out against the same picture with
    // correction on.
    size_t shown(const sim::video::Picture &with, const sim::video::Picture &without)
    {
        size_t n = 0;
        for (const sim::HotPixel &h : sim::sensor_hot_pixels()) {
            int r = (int)(((h.y + 0.5) / sim::kSensorFieldHeight - kWin.y) / kWin.h * kH) & ~1, c = (int)h.x & ~1;
            if (r < 0 || r + 2 > (int)kH)
                continue;
            n += with.y()[(size_t)r * with.stride + c] > without.y()[(size_t)r * without.stride + c];
        }
        return n;
    }
};

TEST_F(HotPixelTest, HotPixelsShowUntilDefectCorrectionHidesThem)
{
    const size_t total = sim::sensor_hot_pixels().size();
    ASSERT_EQ(total, 128u);
    put8(ISP_DP_CTRL_REG, ISP_DP_CTRL_DYNAMIC);
    sim::video::PicturePtr clean = render();
    put8(ISP_DP_CTRL_REG, 0);
    sim::video::PicturePtr raw = render();
    EXPECT_GE(shown(*raw, *clean), total - 4); // a few fall outside the 1080 rows

    // Static correction hides what its table holds: the detection's finds
    // above a threshold of 150, then all of them.
    size_t above = 0;
    for (const sim::HotPixel &h : sim::sensor_hot_pixels())
        above += h.level > 150;
    struct Case {
        const char *name;
        uint32_t threshold;
        size_t found;
    } cases[] = {{"the brighter ones", 150, above}, {"all", 0, total}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        put16(ISP_DP_THRESH_REG, c.threshold);
        dp_detect();
        EXPECT_EQ(sim::phys_read32(ISP_DP_FOUND_REG & ~3u) & 0xFFF, c.found);
        put16(ISP_DP_COUNT_REG, (uint32_t)c.found);
        put8(ISP_DP_STATIC_REG, ISP_DP_STATIC_ENABLE);
        sim::video::PicturePtr p = render();
        size_t still = shown(*p, *clean);
        EXPECT_LE(still, total - c.found);
        EXPECT_GE(still + 4, total - c.found);
    }
}

// The statistics see the scene before the gains and gamma; their RGB means
// carry the black level the firmware set for them.
TEST_F(PictureTest, StatisticsAreTakenBeforeGamma)
{
    stream();
    auto *a = new ISP_STAT_S, *b = new ISP_STAT_S;
    sim::isp_gather_statistics(*a);
    const uint32_t mean_r = sim::phys_read32(ISP_REG_BASE + 0x740) & 0xFFFF;
    gamma(0.45);
    put8(ISP_DRC_CTRL_REG, 1);
    put8(ISP_DRC_STRENGTH_REG, 255);
    put16(ISP_TONE_GAIN_REG(0), 0x200);
    put16(ISP_STAT_BLACK_REG(0), 100);
    sim::isp_gather_statistics(*b);
    EXPECT_EQ(memcmp(a->stAeStat3.au32Hist256Value, b->stAeStat3.au32Hist256Value, sizeof a->stAeStat3.au32Hist256Value),
              0);
    EXPECT_EQ(memcmp(&a->stAwbStat1, &b->stAwbStat1, sizeof a->stAwbStat1), 0);
    EXPECT_EQ(sim::phys_read32(ISP_REG_BASE + 0x740) & 0xFFFF, mean_r + 1600);
    // The black level the ISP subtracts does reach them.
    put16(ISP_BLC_COMMON_REG, 0);
    sim::isp_gather_statistics(*b);
    EXPECT_GT(b->stAwbStat3.u16MeteringAwbAvgG, a->stAwbStat3.u16MeteringAwbAvgG + 2000);
    delete a;
    delete b;
}

// The defect-pixel table's port as the ISP firmware reaches it, through its
// register accessors: what it loads is the table static correction uses,
// what it reads back is what detection found, and the index walks, wraps
// and keeps 12 bits.
class DpTablePortTest : public BoardTest {
protected:
    void TearDown() override { VReg_Munmap(); }

    // The firmware's load: the index, then the entry, for each entry.
    static void load(const std::vector<uint32_t> &entries, uint32_t from)
    {
        for (size_t i = 0; i < entries.size(); i++) {
            IO_WRITE32(ISP_DP_TABLE_INDEX_REG, (from + (uint32_t)i) & 0xFFF);
            IO_WRITE32(ISP_DP_TABLE_WDATA_REG, entries[i]);
        }
    }
    // The firmware's read of one entry, with its fetch writes to the
    // read-data register.
    static uint32_t read_entry(uint32_t index)
    {
        IO_WRITE32(ISP_DP_TABLE_INDEX_REG, index);
        IO_READ32(ISP_DP_TABLE_INDEX_REG);
        IO_WRITE32(ISP_DP_TABLE_RDATA_REG, 0);
        IO_READ32(ISP_DP_TABLE_INDEX_REG);
        IO_WRITE32(ISP_DP_TABLE_RDATA_REG, 0);
        return IO_READ32(ISP_DP_TABLE_RDATA_REG);
    }
    static std::vector<uint32_t> hot_positions()
    {
        std::vector<uint32_t> out;
        for (const sim::HotPixel &h : sim::sensor_hot_pixels())
            out.push_back(ISP_DP_POS(h.x, h.y));
        return out;
    }
};

TEST_F(DpTablePortTest, ALoadedTableIsWhatStaticCorrectionUses)
{
    const std::vector<uint32_t> hot = hot_positions();
    ASSERT_EQ(hot.size(), 128u);
    load(hot, 0);
    std::vector<uint32_t> table = dp_table();
    EXPECT_EQ(std::vector<uint32_t>(table.begin(), table.begin() + hot.size()), hot);
    EXPECT_TRUE(std::all_of(table.begin() + hot.size(), table.end(), [](uint32_t e) { return e == 0; }));
    for (size_t i = 0; i < hot.size(); i++)
        ASSERT_EQ(read_entry((uint32_t)i), hot[i]) << i;

    IO_WRITE16(ISP_DP_COUNT_REG, (u32)hot.size());
    IO_WRITE8(ISP_DP_STATIC_REG, ISP_DP_STATIC_ENABLE);
    Pipe pipe = Pipe::read(1.0, sim::world());
    std::vector<double> kept = hot_pixels_kept(pipe, sim::sensor_hot_pixels(), {});
    EXPECT_EQ(std::count(kept.begin(), kept.end(), 1.0), 0);
    // Half the table: the other half shows.
    IO_WRITE16(ISP_DP_COUNT_REG, 64);
    kept = hot_pixels_kept(Pipe::read(1.0, sim::world()), sim::sensor_hot_pixels(), {});
    EXPECT_EQ(std::count(kept.begin(), kept.end(), 1.0), 64);
}

TEST_F(DpTablePortTest, WhatDetectionFoundReadsBackFromItsStartIndex)
{
    const std::vector<uint32_t> hot = hot_positions();
    const uint32_t start = 4090; // the finds run over the end of the table
    put16(ISP_DP_START_REG, start);
    put16(ISP_DP_THRESH_REG, 0);
    dp_detect();
    const uint32_t found = IO_READ16(ISP_DP_FOUND_REG) & 0xFFF;
    ASSERT_EQ(found, hot.size());
    for (uint32_t i = 0; i < found; i++)
        ASSERT_EQ(read_entry((i + start) & 0xFFF), hot[i]) << i;
}

TEST_F(DpTablePortTest, DataAccessesWalkTheIndex)
{
    struct Case {
        const char *name;
        uint32_t index;                 // written to the index register
        std::vector<uint32_t> written;  // then to write data, one after the other
        uint32_t first;                 // where the first entry lands
        std::vector<uint32_t> stored;   // what the table then holds from there on
    } cases[] = {
        {"a run from one index", 10, {1, 2, 3}, 10, {1, 2, 3}},
        {"over the end of the table", 4094, {7, 8, 9}, 4094, {7, 8, 9}},
        {"an index beyond the table wraps", 4096 + 20, {5}, 20, {5}},
        {"an entry keeps 24 bits", 30, {0xAB123456}, 30, {0x123456}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        IO_WRITE32(ISP_DP_TABLE_INDEX_REG, c.index);
        EXPECT_EQ(IO_READ32(ISP_DP_TABLE_INDEX_REG), c.first);
        for (uint32_t v : c.written)
            IO_WRITE32(ISP_DP_TABLE_WDATA_REG, v);
        const uint32_t next = (c.first + (uint32_t)c.written.size()) & 0xFFF;
        EXPECT_EQ(IO_READ32(ISP_DP_TABLE_INDEX_REG), next);
        std::vector<uint32_t> table = dp_table();
        for (size_t i = 0; i < c.stored.size(); i++)
            EXPECT_EQ(table[(c.first + i) & 0xFFF], c.stored[i]) << i;

        // Reads walk the same way; writes to read data move nothing.
        IO_WRITE32(ISP_DP_TABLE_INDEX_REG, c.index);
        IO_WRITE32(ISP_DP_TABLE_RDATA_REG, 0xFFFFFF);
        EXPECT_EQ(IO_READ32(ISP_DP_TABLE_INDEX_REG), c.first);
        for (size_t i = 0; i < c.written.size(); i++)
            EXPECT_EQ(IO_READ32(ISP_DP_TABLE_RDATA_REG), table[(c.first + i) & 0xFFF]) << i;
        EXPECT_EQ(IO_READ32(ISP_DP_TABLE_INDEX_REG), next);
        EXPECT_EQ(dp_table(), table);
    }
    // A narrow read gives its bytes of the entry and moves on as well.
    IO_WRITE32(ISP_DP_TABLE_INDEX_REG, 30);
    EXPECT_EQ(IO_READ16(ISP_DP_TABLE_RDATA_REG + 2), 0x12u);
    EXPECT_EQ(IO_READ32(ISP_DP_TABLE_INDEX_REG), 31u);
}

} // namespace

// ---- the lens, the column pattern and the haze --------------------------------------------------

namespace {

using sim::video::Picture;

// Mean luma of a square of `side` pixels centred on (x, y).
double luma_at(const Picture &p, int x, int y, int side = 64)
{
    double sum = 0;
    for (int r = y - side / 2; r < y + side / 2; r++)
        for (int c = x - side / 2; c < x + side / 2; c++)
            sum += p.y()[(size_t)r * p.stride + c];
    return sum / (side * side);
}

// The four corners' mean luma (64 pixels in from each edge) over the centre's.
double corners_over_centre(const Picture &p)
{
    const int w = (int)p.width, h = (int)p.height;
    const double corners =
        (luma_at(p, 64, 64) + luma_at(p, w - 64, 64) + luma_at(p, 64, h - 64) + luma_at(p, w - 64, h - 64)) / 4;
    return corners / luma_at(p, w / 2, h / 2);
}

// How far the column means of rows [r0, r1) stand from their neighbours'
// (15 columns): the column pattern, without the shading's slow change.
double column_spread(const Picture &p, uint32_t r0, uint32_t r1)
{
    std::vector<double> mean(p.width, 0);
    for (uint32_t r = r0; r < r1; r++)
        for (uint32_t c = 0; c < p.width; c++)
            mean[c] += p.y()[(size_t)r * p.stride + c] / (double)(r1 - r0);
    double sq = 0;
    int n = 0;
    for (uint32_t c = 7; c + 7 < p.width; c++) {
        double local = 0;
        for (uint32_t k = c - 7; k <= c + 7; k++)
            local += mean[k] / 15;
        sq += (mean[c] - local) * (mean[c] - local);
        n++;
    }
    return std::sqrt(sq / n);
}

// Shading tables that undo the board's lens (its corners at `corner` of the
// centre's light) about the field's centre, for an ISP image that is the
// field; red gets `red_more` more at the last node, rising from none at the
// centre.
void correct_lens(double corner, double red_more = 0)
{
    const double half_diagonal2 = 960.0 * 960 + 548.0 * 548, k = 1 / std::sqrt(corner) - 1;
    const uint32_t scale = (uint32_t)std::lround(128 * double(1u << ISP_SHADING_SCALE_SHIFT) / half_diagonal2);
    for (uint32_t c = 0; c < 3; c++) {
        sim::phys_write32(ISP_SHADING_CENTER_X_REG(c), 960);
        sim::phys_write32(ISP_SHADING_CENTER_Y_REG(c), 548);
        sim::phys_write32(ISP_SHADING_SCALE_REG(c), scale);
        for (uint32_t n = 0; n < ISP_SHADING_NODES; n++) {
            const double q = 1 + k * n / 128.0;
            double gain = q * q * ISP_SHADING_UNITY;
            if (c == 0)
                gain *= 1 + red_more * n / 128.0;
            put16(ISP_SHADING_TABLE_REG(c, n), (uint32_t)std::lround(gain));
        }
    }
    put8(ISP_SHADING_CTRL_REG, ISP_SHADING_CTRL_ENABLE);
}

class LensTest : public PictureTest {
protected:
    LensTest() : PictureTest("sensor.column_pattern = 0\n") {}
};

class ColumnTest : public PictureTest {
protected:
    ColumnTest() : PictureTest("sensor.shading = 1\n") {}
};

} // namespace

// The lens darkens the corners; the ISP's shading tables, when on, lift them
// back, channel by channel.
TEST_F(LensTest, TheCornersFallOffUntilTheShadingTablesLiftThem)
{
    sim::with_world([](sim::World &w) { w.scene_grey = true; });
    const double off = corners_over_centre(*render());
    EXPECT_LT(off, 0.8);
    EXPECT_GT(off, 0.5);

    correct_lens(0.4);
    sim::video::PicturePtr on = render();
    EXPECT_NEAR(corners_over_centre(*on), 1.0, 0.02);
    const Area centre = area(*on, 0.45, 0.45, 0.55, 0.55), corner = area(*on, 0, 0, 0.06, 0.1);
    EXPECT_NEAR(corner.cr, centre.cr, 1.5);

    // A red table above the others tints the corners, not the centre.
    correct_lens(0.4, 0.5);
    sim::video::PicturePtr red = render();
    EXPECT_GT(area(*red, 0, 0, 0.06, 0.1).cr, corner.cr + 3);
    EXPECT_NEAR(area(*red, 0.45, 0.45, 0.55, 0.55).cr, centre.cr, 1);

    // Tables written while off change nothing.
    put8(ISP_SHADING_CTRL_REG, 0);
    EXPECT_NEAR(corners_over_centre(*render()), off, 0.005);
}

TEST_F(LensTest, TheStatisticsSeeTheLensAndTheCorrection)
{
    sim::with_world([](sim::World &w) { w.scene_grey = true; });
    stream();
    auto *st = new ISP_STAT_S;
    auto corner_over_centre = [&] {
        sim::isp_gather_statistics(*st);
        return (double)st->stAeStat5.au16ZoneAvg[0][0][1] / st->stAeStat5.au16ZoneAvg[7][8][1];
    };
    EXPECT_LT(corner_over_centre(), 0.6);
    correct_lens(0.4);
    EXPECT_NEAR(corner_over_centre(), 1.0, 0.03);
    delete st;
}

// A programmed sensor's columns read apart in the dark level; the video
// input's correction takes the loaded dark row, less its offset, off each
// column by its strength.
TEST_F(ColumnTest, TheColumnPatternShowsUntilTheCorrectionTakesItOff)
{
    sim::with_world([](sim::World &w) { w.scene_grey = true; });
    EXPECT_LT(column_spread(*render(), 100, 900), 0.3); // a sensor nobody programmed: clean
    stream((32 + 64) * 4); // more gain: noise and a stronger pattern
    const double raw = column_spread(*render(), 100, 900);
    EXPECT_GT(raw, 1.5);

    fpn_load(dark_row(sim::sensor_gain()));
    const uint32_t offset = 256;
    struct Case {
        const char *name;
        uint32_t on, strength, offset;
        double at_most, at_least; // of the spread left, over the uncorrected one
    } cases[] = {
        {"correction off", 0, 256, offset, 1.1, 0.9},
        {"full strength", 1, 256, offset, 0.15, 0},
        {"half strength", 1, 128, offset, 0.65, 0.35},
        {"on while calibrating: off", 1 | VI_FPN_CTRL_CALIBRATING, 256, offset, 1.1, 0.9},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sim::phys_write32(VI_FPN_CTRL_REG, c.on);
        sim::phys_write32(VI_FPN_CFG_REG(0), c.strength << 16 | c.offset);
        const double left = column_spread(*render(), 100, 900) / raw;
        EXPECT_LE(left, c.at_most);
        EXPECT_GE(left, c.at_least);
    }
    // An offset of 0 takes the pedestal off with the pattern: a darker picture.
    sim::phys_write32(VI_FPN_CTRL_REG, 1);
    sim::phys_write32(VI_FPN_CFG_REG(0), 256u << 16 | offset);
    const double level = patch(*render(), 3).y;
    sim::phys_write32(VI_FPN_CFG_REG(0), 256u << 16);
    EXPECT_LT(patch(*render(), 3).y, level - 3);
}

// Haze takes the colour bars towards the air light and lifts the dark
// channel the statistics measure; the dehaze block's strength, with the air
// light and block values the firmware hands back, takes it out again.
TEST_F(PictureTest, HazeWashesTheBarsOutAndDehazeBringsThemBack)
{
    // How far the bars' colours stand from their mean colour.
    auto bar_spread = [&](const Picture &p) {
        Area bars[kBars];
        double y = 0, cb = 0, cr = 0;
        for (int b = 0; b < kBars; b++) {
            bars[b] = area(p, (double)b / kBars, kBarTop, (double)(b + 1) / kBars, kBarBottom);
            y += bars[b].y / kBars, cb += bars[b].cb / kBars, cr += bars[b].cr / kBars;
        }
        double d = 0;
        for (const Area &a : bars)
            d += std::sqrt((a.y - y) * (a.y - y) + (a.cb - cb) * (a.cb - cb) + (a.cr - cr) * (a.cr - cr)) / kBars;
        return d;
    };
    auto dark_channel = [] {
        auto *st = new ISP_STAT_S;
        sim::isp_gather_statistics(*st);
        uint32_t sum = 0;
        for (int i = 0; i < 240; i++)
            sum += st->stDehazeStat.au32DehazeMinDout[i / 4] >> (24 - 8 * (i % 4)) & 0xFF;
        delete st;
        return sum / 240.0;
    };
    stream(); // the statistics need a programmed sensor
    const double clear = bar_spread(*render()), clear_dark = dark_channel();
    sim::with_world([](sim::World &w) { w.scene_haze = 0.5; });
    const double hazy = bar_spread(*render()), hazy_dark = dark_channel();
    EXPECT_LT(hazy, clear * 0.7);
    EXPECT_GT(hazy_dark, clear_dark + 20);

    // The block values and air light as the firmware would hand them back.
    auto *st = new ISP_STAT_S;
    sim::isp_gather_statistics(*st);
    for (uint32_t i = 0; i < 60; i++)
        sim::phys_write32(VI_DEHAZE_DARK_REG(i), st->stDehazeStat.au32DehazeMinDout[i]);
    sim::phys_write32(VI_DEHAZE_AIR_REG, sim::phys_read32(VI_DEHAZE_MAX_REG(0)));
    delete st;
    sim::phys_write32(VI_DEHAZE_STRENGTH_REG, 200);
    EXPECT_NEAR(bar_spread(*render()), hazy, 0.01); // the block off
    sim::phys_write32(VI_DEHAZE_CTRL_REG, 1);
    const double dehazed = bar_spread(*render());
    EXPECT_GT(dehazed, hazy * 1.3);
    sim::phys_write32(VI_DEHAZE_STRENGTH_REG, 0);
    EXPECT_NEAR(bar_spread(*render()), hazy, 0.01);
}
