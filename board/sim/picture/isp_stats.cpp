// The ISP's statistics block on the board: exposure, white-balance, focus
// and dehaze statistics of each frame, from the scene's colours as the
// sensor delivers them and the ISP's black-level subtraction leaves them
// (before the gains and gamma unless a switch says otherwise), into the
// buffer the firmware reads and into the statistics registers.
//
// A frame is gathered in two stages: the zones are summed (what each zone
// measures of its colours), then the sums are published, into the buffer
// and into the registers, each in its own format. What each register does
// to them is written beside its name in isp/isp_hw_regs.h.
#include "board/sim/picture/isp_stats.h"

#include "board/sim/picture/picture.h"
#include "board/sim/sim.h"
#include "isp/isp_hw_regs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sim {

namespace {

using picture::Rgb;

constexpr int kRows = AE_ZONE_ROW, kCols = AE_ZONE_COLUMN, kZones = kRows * kCols;
static_assert(kRows == picture::kZoneRows && kCols == picture::kZoneCols, "the scene's zones are the ISP's");
constexpr double kSamples = picture::kZoneSamples * picture::kZoneSamples;

void put16(uint32_t addr, uint32_t v) { memcpy(phys(addr), &v, 2); }
uint16_t get16(uint32_t addr)
{
    uint16_t v;
    memcpy(&v, phys(addr), 2);
    return v;
}

double clip1(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
uint32_t to16(double v) { return (uint32_t)std::lround(clip1(v) * 65535); }
uint32_t to12(double v) { return (uint32_t)std::lround(clip1(v) * 4095); }
uint32_t to8(double v) { return (uint32_t)std::lround(clip1(v) * 255); }
double luma_of(const Rgb &v) { return 0.25 * v.r + 0.5 * v.g + 0.25 * v.b; }
Rgb add(const Rgb &a, const Rgb &b, double share) { return {a.r + share * b.r, a.g + share * b.g, a.b + share * b.b}; }

// A 256-bin count as the hardware keeps it: 12-bit mantissa, 4-bit exponent.
uint32_t float16_count(uint32_t v)
{
    if (v < 4096)
        return v;
    uint32_t e = 1;
    while ((v >> (e - 1)) > 8191 && e < 15)
        e++;
    uint32_t m = std::min<uint32_t>((v >> (e - 1)) - 4096, 4095);
    return e << 12 | m;
}

// Shares of 65535 for a histogram's five bins, the last taking what the
// others leave; nothing counted leaves them all 0.
void hist5_shares(const double bins[5], double total, uint16_t out[5])
{
    if (total <= 0) {
        std::fill(out, out + 5, 0);
        return;
    }
    uint32_t left = 65535;
    for (int b = 0; b < 5; b++) {
        uint32_t part = b == 4 ? left : std::min(left, (uint32_t)std::lround(bins[b] / total * 65535));
        out[b] = (uint16_t)part;
        left -= part;
    }
}

// ---- what the statistics look through ----------------------------------------------------------------------

// A ratio window: R/G and B/G (8.8) within [min, max], and within the four
// further limits.
struct Ratios {
    double cr_min, cr_max, cb_min, cb_max, lcr_min, lcr_max, lcb_min, lcb_max;

    static Ratios read(uint32_t cr_max, uint32_t cr_min, uint32_t cb_max, uint32_t cb_min, uint32_t lcr_max,
                       uint32_t lcr_min, uint32_t lcb_max, uint32_t lcb_min)
    {
        auto r = [](uint32_t reg) { return (get16(reg) & 0xFFF) / 256.0; };
        return {r(cr_min), r(cr_max), r(cb_min), r(cb_max), r(lcr_min), r(lcr_max), r(lcb_min), r(lcb_max)};
    }
    bool inside(const Rgb &v) const
    {
        const double cr = v.r / v.g, cb = v.b / v.g;
        return v.g > 0 && cr >= cr_min && cr <= cr_max && cb >= cb_min && cb <= cb_max && cr >= lcr_min &&
               cr <= lcr_max && cb >= lcb_min && cb <= lcb_max;
    }
};

// The white-balance statistics' windows. After the gains: luma (10 bits)
// within [black, white] and the ratios. Bayer, before the gains: green's raw
// level (12 bits, pedestal included) within [black, white] and the ratios
// of the levels above black.
struct WbWindows {
    double y_min, y_max, raw_min, raw_max;
    Ratios gained, bayer;

    static WbWindows read()
    {
        WbWindows w;
        w.y_min = (get16(ISP_AWB_BLACK_REG) & 0x3FF) / 1023.0;
        w.y_max = (get16(ISP_AWB_WHITE_REG) & 0x3FF) / 1023.0;
        w.raw_min = get16(ISP_AWB_BAYER_BLACK_REG) & 0xFFF;
        w.raw_max = get16(ISP_AWB_BAYER_WHITE_REG) & 0xFFF;
        w.gained = Ratios::read(ISP_AWB_CR_MAX_REG, ISP_AWB_CR_MIN_REG, ISP_AWB_CB_MAX_REG, ISP_AWB_CB_MIN_REG,
                                ISP_AWB_LIMIT_CR_MAX_REG, ISP_AWB_LIMIT_CR_MIN_REG, ISP_AWB_LIMIT_CB_MAX_REG,
                                ISP_AWB_LIMIT_CB_MIN_REG);
        w.bayer = Ratios::read(ISP_AWB_BAYER_CR_MAX_REG, ISP_AWB_BAYER_CR_MIN_REG, ISP_AWB_BAYER_CB_MAX_REG,
                               ISP_AWB_BAYER_CB_MIN_REG, ISP_AWB_BAYER_LIMIT_CR_MAX_REG, ISP_AWB_BAYER_LIMIT_CR_MIN_REG,
                               ISP_AWB_BAYER_LIMIT_CB_MAX_REG, ISP_AWB_BAYER_LIMIT_CB_MIN_REG);
        return w;
    }
};

// Where in the pipeline an exposure statistic is taken, by its switch (3
// bits): 0 after black level and shading, 1 after the white-balance gains,
// 2 after the colour matrix and tone, 3 and above the raw levels.
enum Tap { kTapLinear, kTapGained, kTapToned, kTapRaw, kTaps };
Tap tap_of(uint32_t reg) { return (Tap)std::min<uint32_t>(*phys(reg) & 7, kTapRaw); }

// What the statistics see of one scene colour in one zone.
struct Seen {
    Rgb at[kTaps]; // at each tap
    Rgb raw12;     // the raw levels, 12-bit
    bool white_point, bayer_point;
};

// The frame's settings the statistics see through.
struct Sight {
    const picture::Pipe &pipe;
    WbWindows windows;
    double column_mean; // the column pattern's mean over a zone's columns

    Seen see(int colour, const picture::Shade &sh) const
    {
        Seen v;
        v.raw12 = pipe.raw(picture::scene_colour(colour), sh.light(), column_mean);
        const Rgb lin = v.at[kTapLinear] = pipe.linear(v.raw12, sh.gains());
        const Rgb g = v.at[kTapGained] = {clip1(lin.r * pipe.wb[0]), clip1(lin.g * pipe.wb[1]), clip1(lin.b * pipe.wb[2])};
        v.at[kTapToned] = pipe.toned(lin);
        v.at[kTapRaw] = {v.raw12.r / 4095, v.raw12.g / 4095, v.raw12.b / 4095};
        const double y = luma_of(g);
        v.white_point = y >= windows.y_min && y <= windows.y_max && windows.gained.inside(g);
        v.bayer_point = v.raw12.g >= windows.raw_min && v.raw12.g <= windows.raw_max && windows.bayer.inside(lin);
        return v;
    }
};

// ---- summing the zones ------------------------------------------------------------------------------

// One zone's measurements, as shares of its pixels.
struct Zone {
    Rgb raw;          // the mean level before the gains
    Rgb sum;          // the mean at the sum switch's tap
    Rgb white;        // the white-balance window's pixels after the gains
    double inside;    // their share
    Rgb bayer;        // the Bayer window's pixels before the gains
    double bayer_in;  // their share
    double bins5[5];  // the 5-bin histogram at the AE switch's tap
    double luma;
    double weight;    // the zone's weight in the global exposure statistics
    double colour_luma[picture::kSceneColours]; // each colour's, for focus
};

// One frame's measurements.
struct Frame {
    Zone zone[kRows][kCols];
    picture::ZoneEdges edges[kRows][kCols];
    uint32_t hist256[256]; // pixel counts, each zone's times its weight
    uint32_t zone_pixels;  // pixels a zone holds
    uint32_t zone_w, zone_h; // a zone's size in image pixels
    uint8_t thresh[4];     // the metering thresholds in force
    Tap ae_tap, hist_tap, sum_tap;
};

// A zone from the colours it shows, each seen in the lens's light and the
// ISP's shading at the zone's centre; its pixels' luma spreads a little
// around each colour's level in the histograms, the 256-bin one counting
// them `weight` times.
void sum_zone(const Sight &sight, const picture::ZoneColours &zc, const picture::Shade &shade, double weight, Frame &f,
              Zone &z)
{
    static const double spread[3] = {0.85, 1.0, 1.15}, part[3] = {0.25, 0.5, 0.25};
    z = Zone{};
    z.weight = weight;
    for (int colour = 0; colour < picture::kSceneColours; colour++) {
        if (!zc[colour])
            continue;
        const double share = zc[colour] / kSamples;
        const Seen here = sight.see(colour, shade);
        z.raw = add(z.raw, here.at[kTapLinear], share);
        z.sum = add(z.sum, here.at[f.sum_tap], share);
        z.colour_luma[colour] = luma_of(here.at[kTapLinear]);
        if (here.white_point) {
            z.white = add(z.white, here.at[kTapGained], share);
            z.inside += share;
        }
        if (here.bayer_point) {
            z.bayer = add(z.bayer, here.at[kTapLinear], share);
            z.bayer_in += share;
        }
        const double y5 = luma_of(here.at[f.ae_tap]), y256 = luma_of(here.at[f.hist_tap]);
        // A colour the sensor clips in every channel reads white in every pixel.
        const bool clipped = std::min({here.raw12.r, here.raw12.g, here.raw12.b}) >= 4095;
        for (int s = 0; s < 3; s++) {
            const double spread_s = clipped ? 1.0 : spread[s];
            uint32_t bin = std::min<uint32_t>(255, (uint32_t)(y256 * spread_s * 255));
            f.hist256[bin] += (uint32_t)(f.zone_pixels * share * part[s]) * (uint32_t)weight;
            bin = std::min<uint32_t>(255, (uint32_t)(y5 * spread_s * 255));
            int b5 = 0;
            while (b5 < 4 && bin >= f.thresh[b5])
                b5++;
            z.bins5[b5] += share * part[s];
        }
    }
    z.luma = luma_of(z.raw);
}

void sum_zones(const picture::Pipe &pipe, const World &w, Frame &f)
{
    uint32_t width = get16(ISP_IMAGE_WIDTH_REG), height = get16(ISP_IMAGE_HEIGHT_REG);
    if (!width || !height)
        width = 1920, height = 1080;
    f.zone_w = width / kCols;
    f.zone_h = height / kRows;
    f.zone_pixels = f.zone_w * f.zone_h;
    for (int i = 0; i < 4; i++)
        f.thresh[i] = *phys(ISP_AE_THRESH_REG(i));
    f.ae_tap = tap_of(ISP_AE_SWITCH_REG);
    f.hist_tap = tap_of(ISP_AE_HIST_SWITCH_REG);
    f.sum_tap = tap_of(ISP_AE_SUM_SWITCH_REG);
    std::fill(f.hist256, f.hist256 + 256, 0u);

    Sight sight{pipe, WbWindows::read(), 0};
    for (double c : pipe.column)
        sight.column_mean += c / picture::kColumnClasses;
    const picture::ShadingTables shading = picture::ShadingTables::read();
    std::vector<picture::ZoneColours> zone_colours;
    std::vector<picture::ZoneEdges> edges;
    picture::zone_colours(w, platform_pts_us(), zone_colours, &edges);
    for (int r = 0; r < kRows; r++) {
        for (int c = 0; c < kCols; c++) {
            const int k = r * kCols + c;
            const picture::Shade shade =
                picture::Shade::at(shading, (c + 0.5) / kCols * kSensorFieldWidth, (r + 0.5) / kRows * kSensorFieldHeight);
            sum_zone(sight, zone_colours[k], shade, *phys(ISP_AE_WEIGHT_REG(k)) & 0xF, f, f.zone[r][c]);
            f.edges[r][c] = edges[k];
        }
    }
}

// ---- the buffer the firmware reads ---------------------------------------------------------------------

// The zones as they are; the global histogram and means weighed by the
// zones' weights (a zone of weight 0 is left out).
void fill_ae(const Frame &f, ISP_STAT_S &st)
{
    memcpy(st.stAeStat1.au8MeteringThresh, f.thresh, 4);
    memcpy(st.stAeStat3.au32Hist256Value, f.hist256, sizeof f.hist256);
    double hist5_sum[5] = {}, avg_sum[4] = {}, weights = 0;
    for (int r = 0; r < kRows; r++) {
        for (int c = 0; c < kCols; c++) {
            const Zone &z = f.zone[r][c];
            hist5_shares(z.bins5, 1.0, st.stAeStat2.au16ZoneHist5Value[r][c]);
            const double ch[4] = {z.sum.r, z.sum.g, z.sum.g, z.sum.b};
            for (int i = 0; i < 4; i++) {
                st.stAeStat5.au16ZoneAvg[r][c][i] = (uint16_t)to16(ch[i]);
                avg_sum[i] += z.weight * ch[i];
            }
            for (int b = 0; b < 5; b++)
                hist5_sum[b] += z.weight * z.bins5[b];
            weights += z.weight;
        }
    }
    uint16_t global[5];
    hist5_shares(hist5_sum, weights, global);
    const int kept[4] = {0, 1, 3, 4}; // bin 2 is what the others leave
    for (int i = 0; i < 4; i++)
        st.stAeStat1.au16Hist5Value[i] = global[kept[i]];
    for (int i = 0; i < 4; i++)
        st.stAeStat4.au16GlobalAvg[i] = (uint16_t)(weights > 0 ? to16(avg_sum[i] / weights) : 0);
}

// White-balance ratios after the gains in force of each zone's pixels
// within the window, and the Bayer means before the gains of its pixels
// within the Bayer window, at 16-bit precision (the white balance's luma
// and its WDR squaring work on that scale).
void fill_awb(const Frame &f, ISP_STAT_S &st)
{
    double awb_r = 0, awb_g = 0, awb_b = 0, bayer_in = 0;
    Rgb bayer_sum;
    uint32_t awb_count = 0;
    for (int k = 0; k < kZones; k++) {
        const Zone &z = f.zone[k / kCols][k % kCols];
        const double R = z.white.r, G = z.white.g, B = z.white.b;
        const uint32_t counted = (uint32_t)std::lround(f.zone_pixels * z.inside);
        const bool usable = counted > 0 && R > 0 && B > 0;
        st.stAwbStat2.au16MeteringMemArrayAvgGR[k] = (uint16_t)std::min(65535.0, R > 0 ? G / R * 256 : 65535);
        st.stAwbStat2.au16MeteringMemArrayAvgGB[k] = (uint16_t)std::min(65535.0, B > 0 ? G / B * 256 : 65535);
        st.stAwbStat2.au16MeteringMemArrayCount[k] = (uint16_t)(usable ? std::min<uint32_t>(counted, 65535) : 0);
        if (usable) {
            awb_r += R * f.zone_pixels;
            awb_g += G * f.zone_pixels;
            awb_b += B * f.zone_pixels;
            awb_count += counted;
        }
        const Rgb v = z.bayer_in > 0 ? Rgb{z.bayer.r / z.bayer_in, z.bayer.g / z.bayer_in, z.bayer.b / z.bayer_in} : Rgb{};
        st.stAwbStat4.au16MeteringMemArrayAvgR[k] = (uint16_t)to16(v.r);
        st.stAwbStat4.au16MeteringMemArrayAvgG[k] = (uint16_t)to16(v.g);
        st.stAwbStat4.au16MeteringMemArrayAvgB[k] = (uint16_t)to16(v.b);
        st.stAwbStat4.au16MeteringMemArrayCountAll[k] =
            (uint16_t)std::min<uint32_t>((uint32_t)std::lround(f.zone_pixels * z.bayer_in), 65535);
        st.stAwbStat4.au16MeteringMemArrayMin[k] = (uint16_t)to16(std::min({v.r, v.g, v.b}));
        st.stAwbStat4.au16MeteringMemArrayMax[k] = (uint16_t)to16(std::max({v.r, v.g, v.b}));
        bayer_sum = add(bayer_sum, z.bayer, 1);
        bayer_in += z.bayer_in;
    }
    st.stAwbStat1.u16MeteringAwbAvgGR = (uint16_t)(awb_r > 0 ? std::min(65535.0, awb_g / awb_r * 256) : 0);
    st.stAwbStat1.u16MeteringAwbAvgGB = (uint16_t)(awb_b > 0 ? std::min(65535.0, awb_g / awb_b * 256) : 0);
    st.stAwbStat1.u32MeteringAwbCount = awb_count;
    const double n = bayer_in > 0 ? bayer_in : 1;
    st.stAwbStat3.u16MeteringAwbAvgR = (uint16_t)to16(bayer_sum.r / n);
    st.stAwbStat3.u16MeteringAwbAvgG = (uint16_t)to16(bayer_sum.g / n);
    st.stAwbStat3.u16MeteringAwbAvgB = (uint16_t)to16(bayer_sum.b / n);
    st.stAwbStat3.u16MeteringAwbCountAll = (uint16_t)std::min<double>(std::round(f.zone_pixels * bayer_in), 65535);
}

// Dehaze: the dark channel and the colour maxima of each block of the grid
// the firmware set.
void fill_dehaze(const Frame &f, ISP_STAT_S &st)
{
    uint32_t grid = phys_read32(VI_DEHAZE_GRID_REG);
    uint32_t V = grid ? std::min<uint32_t>((grid & 0xFFFF) + 1, 15) : 15;
    uint32_t Hb = grid ? std::min<uint32_t>((grid >> 16) + 1, 16) : 16;
    for (uint32_t i = 0; i < Hb * V; i++) {
        const Rgb &v = f.zone[(i / Hb) * kRows / V][(i % Hb) * kCols / Hb].raw;
        uint32_t dark = to8(std::min({v.r, v.g, v.b}));
        st.stDehazeStat.au32DehazeMinDout[i / 4] |= dark << (24 - 8 * (i % 4));
        phys_write32(VI_DEHAZE_MAX_REG(i), to8(v.r) << 16 | to8(v.g) << 8 | to8(v.b));
    }
}

// ---- the statistics registers ------------------------------------------------------------------------

void publish_ae(const ISP_STAT_S &st)
{
    for (uint32_t i = 0; i < 4; i++)
        put16(ISP_AE_HIST5_REG(i), st.stAeStat1.au16Hist5Value[i]);
    for (int k = 0; k < kZones; k++) {
        const uint16_t *b = st.stAeStat2.au16ZoneHist5Value[k / kCols][k % kCols];
        phys_write32(ISP_AE_ZONE_HIST5_REG(k), b[0] | (uint32_t)b[1] << 16);
        phys_write32(ISP_AE_ZONE_HIST5_REG(k) + 4, b[3] | (uint32_t)b[4] << 16);
    }
    for (int i = 0; i < 256; i++)
        phys_write32(ISP_AE_HIST256_REG(i), float16_count(st.stAeStat3.au32Hist256Value[i]));
}

// The ratios (8.8, 12 bits) of a mean and its green's sum over `pixels`
// (8-bit levels).
uint32_t ratio12(double a, double g) { return g > 0 ? std::min<uint32_t>(4095, (uint32_t)(a / g * 256)) : 0; }
uint32_t green_sum(double g, double pixels) { return (uint32_t)std::min(4294967295.0, std::round(g * 255 * pixels)); }

// The RGB means carry the black level the firmware set for them (16 x the
// register), which it takes off when it reads them; the Bayer ratios and
// sums are those of the Bayer window's pixels.
void publish_awb(const Frame &f, const ISP_STAT_S &st)
{
    const uint32_t awb_count = st.stAwbStat1.u32MeteringAwbCount;
    put16(ISP_AWB_GLOBAL_GR_REG, st.stAwbStat1.u16MeteringAwbAvgGR);
    put16(ISP_AWB_GLOBAL_GB_REG, st.stAwbStat1.u16MeteringAwbAvgGB);
    put16(ISP_AWB_GLOBAL_COUNT_LO_REG, awb_count & 0xFFFF);
    put16(ISP_AWB_GLOBAL_COUNT_HI_REG, awb_count >> 16);
    const uint32_t black[3] = {16u * (get16(ISP_STAT_BLACK_REG(0)) & 0xFFF), 16u * (get16(ISP_STAT_BLACK_REG(1)) & 0xFFF),
                               16u * (get16(ISP_STAT_BLACK_REG(3)) & 0xFFF)};
    auto stat16 = [](double v, uint32_t black) { return std::min<uint32_t>(65535, to16(v) + black); };
    Rgb raw_sum, bayer_sum;
    double lowest = 1, highest = 0;
    for (int k = 0; k < kZones; k++) {
        phys_write32(ISP_AWB_ZONE_REG(k), st.stAwbStat2.au16MeteringMemArrayAvgGR[k] |
                                              (uint32_t)st.stAwbStat2.au16MeteringMemArrayAvgGB[k] << 16);
        phys_write32(ISP_AWB_ZONE_REG(k) + 4, st.stAwbStat2.au16MeteringMemArrayCount[k]);
        const Zone &z = f.zone[k / kCols][k % kCols];
        const Rgb &v = z.raw;
        const double lo = std::min({v.r, v.g, v.b}), hi = std::max({v.r, v.g, v.b});
        uint32_t count = std::min<uint32_t>(f.zone_pixels, 65535);
        const uint32_t rgb = ISP_RGB_ZONE_REG(k);
        phys_write32(rgb, stat16(v.r, black[0]) | stat16(v.g, black[1]) << 16);
        phys_write32(rgb + 4, stat16(v.b, black[2]) | count << 16);
        phys_write32(rgb + 8, to16(hi) | to16(lo) << 16);
        phys_write32(ISP_BAYER_ZONE_REG(k), ratio12(z.bayer.r, z.bayer.g) | ratio12(z.bayer.b, z.bayer.g) << 16);
        phys_write32(ISP_BAYER_ZONE_REG(k) + 4, green_sum(z.bayer.g, f.zone_pixels));
        raw_sum = add(raw_sum, v, 1.0 / kZones);
        bayer_sum = add(bayer_sum, z.bayer, 1);
        lowest = std::min(lowest, lo);
        highest = std::max(highest, hi);
    }
    put16(ISP_RGB_GLOBAL_REG(0), stat16(raw_sum.r, black[0]));
    put16(ISP_RGB_GLOBAL_REG(1), stat16(raw_sum.g, black[1]));
    put16(ISP_RGB_GLOBAL_REG(2), stat16(raw_sum.b, black[2]));
    put16(ISP_RGB_GLOBAL_REG(3), std::min<uint32_t>(f.zone_pixels * kZones, 65535));
    put16(ISP_RGB_GLOBAL_REG(4), to16(lowest));
    put16(ISP_RGB_GLOBAL_REG(5), to16(highest));
    put16(ISP_BAYER_GLOBAL_RG_REG, ratio12(bayer_sum.r, bayer_sum.g));
    put16(ISP_BAYER_GLOBAL_BG_REG, ratio12(bayer_sum.b, bayer_sum.g));
    phys_write32(ISP_BAYER_GLOBAL_SUM_REG, green_sum(bayer_sum.g, f.zone_pixels));
}

// ---- focus --------------------------------------------------------------------------------------------------

// The focus block as its registers stand (isp/isp_hw_regs.h): two
// horizontal IIR filters and two vertical FIR filters run over the luma
// in its window; each zone of its grid accumulates, per filter, its response to the
// zone's luma steps (those below the filter's threshold count nothing),
// shifted down by the filter's accumulation shift, and the luma over its
// pixels shifted by the luma's. An IIR filter is a difference times gain 0
// / 64 shifted by its first shift, then up to three resonators (y = x +
// (g[2k+1] y[-1] + g[2k+2] y[-2]) / 512, the stages its enable bits switch
// on), each shifted by its own shift; with no stage on it gives nothing. An FIR
// filter's response to a step is its taps' largest running sum / 32. Peak
// mode keeps a zone's largest response instead of the sum, square mode
// squares each (/ 4096). Off, the block gives nothing.
struct FocusFilters {
    bool on = false, peak = false, square = false;
    double iir[2] = {}, fir[2] = {}, iir_thresh[2] = {}, fir_thresh[2] = {};
    int shift_h[2] = {}, shift_v[2] = {}, shift_y = 0;
    uint32_t rows = 0, cols = 0;
    uint32_t width = 0, height = 0; // the window: the image's first columns and rows

    static uint32_t field(uint32_t reg, uint32_t shift, uint32_t width)
    {
        return phys_read32(reg) >> shift & ((1u << width) - 1);
    }
    static int32_t signed_field(uint32_t reg, uint32_t shift, uint32_t width)
    {
        return (int32_t)(field(reg, shift, width) << (32 - width)) >> (32 - width);
    }

    // The peak of an IIR filter's response to a unit step: the step's
    // difference (an impulse) times gain 0 through the resonators on.
    static double iir_step(uint32_t n)
    {
        constexpr int kSamples = 64;
        constexpr double kUnstable = 64; // a response past this is a filter that rings away
        auto down = [n](uint32_t stage) { return 1.0 / (1 << field(VI_AF_IIR_SHIFT_REG, 16 * n + 4 * stage, 4)); };
        double y[kSamples] = {};
        y[0] = field(VI_AF_IIR_GAIN_REG(0), 16 * n, 8) / 64.0 * down(0);
        bool any = false;
        for (uint32_t k = 0; k < 3; k++) {
            if (!field(VI_AF_CTRL_REG, 1 + 3 * n + k, 1))
                continue;
            any = true;
            const double a1 = signed_field(VI_AF_IIR_GAIN_REG(2 * k + 1), 16 * n, 10) / 512.0;
            const double a2 = signed_field(VI_AF_IIR_GAIN_REG(2 * k + 2), 16 * n, 10) / 512.0;
            const double d = down(k + 1);
            double s1 = 0, s2 = 0;
            for (int t = 0; t < kSamples; t++) {
                const double s = std::clamp(y[t] + a1 * s1 + a2 * s2, -1e6, 1e6);
                s2 = s1;
                s1 = s;
                y[t] = s * d;
            }
        }
        double peak = 0;
        for (double v : y)
            peak = std::max(peak, std::fabs(v));
        return any ? std::min(peak, kUnstable) : 0;
    }

    static double fir_step(uint32_t n)
    {
        double sum = 0, peak = 0;
        for (uint32_t k = 0; k < 5; k++) {
            sum += signed_field(VI_AF_FIR_REG(k), 16 * n, 6);
            peak = std::max(peak, std::fabs(sum));
        }
        return peak / 32;
    }

    static FocusFilters read()
    {
        FocusFilters f;
        f.on = field(VI_AF_CTRL_REG, 0, 1);
        f.rows = std::min<uint32_t>(field(VI_AF_GRID_REG, 8, 5), kRows);
        f.cols = std::min<uint32_t>(field(VI_AF_GRID_REG, 0, 5), kCols);
        f.width = field(VI_AF_SIZE_REG, 0, 12) + 1;
        f.height = field(VI_AF_SIZE_REG, 16, 12) + 1;
        if (!f.on)
            return f;
        f.peak = field(VI_AF_CTRL_REG, 7, 1);
        f.square = field(VI_AF_CTRL_REG, 8, 1);
        for (uint32_t n = 0; n < 2; n++) {
            f.iir[n] = iir_step(n);
            f.fir[n] = fir_step(n);
            f.iir_thresh[n] = field(VI_AF_IIR_THRESH_REG, 16 * n, 11);
            f.fir_thresh[n] = field(VI_AF_FIR_THRESH_REG, 16 * n, 11);
            f.shift_h[n] = (int)field(VI_AF_ACC_SHIFT_REG, 4 * n, 4);
            f.shift_v[n] = (int)field(VI_AF_ACC_SHIFT_REG, 8 + 4 * n, 4);
        }
        f.shift_y = (int)field(VI_AF_ACC_SHIFT_REG, 16, 4);
        return f;
    }

    // A filter's measure of a zone's steps, across or down, before the shift.
    double measure(const Zone &z, const picture::ZoneEdges &e, double response, double thresh, bool across,
                   double pixels) const
    {
        double total = 0;
        for (int i = 0; i < e.n; i++) {
            const picture::ZoneEdges::Pair &p = e.pair[i];
            const int count = across ? p.across : p.down;
            double r = response * std::fabs(z.colour_luma[p.a] - z.colour_luma[p.b]) * 4095;
            if (!count || r < thresh)
                continue;
            if (square)
                r = r * r / 4096;
            total = peak ? std::max(total, r) : total + r * count * pixels / kSamples;
        }
        return total;
    }
};

uint16_t shifted(double v, int shift) { return (uint16_t)std::min(65535.0, std::floor(v / (1 << shift))); }

// The focus grid divides the window; each statistics zone counts in the
// focus zone its centre falls in, with the share of its pixels inside the
// window.
void focus_statistics(const Frame &f, ISP_AF_STAT_S &af)
{
    const FocusFilters ff = FocusFilters::read();
    memset(&af, 0, sizeof af);
    if (!ff.on || !ff.rows || !ff.cols)
        return;
    auto inside = [](uint32_t start, uint32_t size, uint32_t window) {
        return std::clamp(((double)window - start) / size, 0.0, 1.0);
    };
    double h[2][kRows][kCols] = {}, v[2][kRows][kCols] = {}, y[kRows][kCols] = {};
    for (uint32_t r = 0; r < kRows; r++) {
        for (uint32_t c = 0; c < kCols; c++) {
            const uint32_t x0 = c * f.zone_w, y0 = r * f.zone_h;
            const double share = inside(x0, f.zone_w, ff.width) * inside(y0, f.zone_h, ff.height);
            if (share <= 0)
                continue;
            const uint32_t fc = std::min(ff.cols - 1, (2 * x0 + f.zone_w) * ff.cols / (2 * ff.width));
            const uint32_t fr = std::min(ff.rows - 1, (2 * y0 + f.zone_h) * ff.rows / (2 * ff.height));
            const double pixels = f.zone_pixels * share;
            const Zone &z = f.zone[r][c];
            const picture::ZoneEdges &e = f.edges[r][c];
            for (int n = 0; n < 2; n++) {
                const double hn = ff.measure(z, e, ff.iir[n], ff.iir_thresh[n], true, pixels);
                const double vn = ff.measure(z, e, ff.fir[n], ff.fir_thresh[n], false, pixels);
                h[n][fr][fc] = ff.peak ? std::max(h[n][fr][fc], hn) : h[n][fr][fc] + hn;
                v[n][fr][fc] = ff.peak ? std::max(v[n][fr][fc], vn) : v[n][fr][fc] + vn;
            }
            y[fr][fc] += to12(z.luma) * pixels;
        }
    }
    for (uint32_t r = 0; r < ff.rows; r++)
        for (uint32_t c = 0; c < ff.cols; c++)
            af.stZoneMetrics[r][c] = {shifted(v[0][r][c], ff.shift_v[0]), shifted(h[0][r][c], ff.shift_h[0]),
                                      shifted(v[1][r][c], ff.shift_v[1]), shifted(h[1][r][c], ff.shift_h[1]),
                                      shifted(y[r][c], ff.shift_y)};
}

// The focus zones of the grid the firmware set.
void publish_focus(const ISP_AF_STAT_S &af)
{
    uint32_t grid = phys_read32(VI_AF_GRID_REG);
    uint32_t rows = std::min<uint32_t>((grid >> 8) & 0x1F, kRows), cols = std::min<uint32_t>(grid & 0x1F, kCols);
    for (uint32_t r = 0; r < rows; r++) {
        for (uint32_t c = 0; c < cols; c++) {
            const ISP_FOCUS_ZONE_S &z = af.stZoneMetrics[r][c];
            uint32_t a = VI_AF_ZONE_REG(r * cols + c);
            phys_write32(a, z.u16h1 | (uint32_t)z.u16v1 << 16);
            phys_write32(a + 4, z.u16h2 | (uint32_t)z.u16v2 << 16);
            phys_write32(a + 8, z.u16y);
        }
    }
}

} // namespace

void isp_gather_statistics(ISP_STAT_S &st)
{
    const World w = world();
    const picture::Pipe pipe = picture::Pipe::read(sensor_exposure_gain(), w);
    static Frame f; // the ISP thread's; too big for its stack
    sum_zones(pipe, w, f);

    memset(&st, 0, sizeof st);
    fill_ae(f, st);
    fill_awb(f, st);
    fill_dehaze(f, st);
    focus_statistics(f, st.stAfStat);

    publish_ae(st);
    publish_awb(f, st);
    publish_focus(st.stAfStat);
}

} // namespace sim
