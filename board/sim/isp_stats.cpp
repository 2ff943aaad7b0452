// The ISP's statistics block on the board: exposure, white-balance, focus
// and dehaze statistics of each frame, from the scene's colours as the
// sensor delivers them and the ISP's black-level subtraction leaves them
// (before the gains and gamma, as the hardware gathers them), into the
// buffer the firmware reads and into the statistics registers.
//
// A frame is gathered in two stages: the zones are summed (what each zone
// measures of its colours), then the sums are published, into the buffer
// and into the registers, each in its own format.
#include "board/sim/isp_stats.h"

#include "board/sim/picture.h"
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
// others leave.
void hist5_shares(const double bins[5], double total, uint16_t out[5])
{
    uint32_t left = 65535;
    for (int b = 0; b < 5; b++) {
        uint32_t part = b == 4 ? left : std::min(left, (uint32_t)std::lround(bins[b] / total * 65535));
        out[b] = (uint16_t)part;
        left -= part;
    }
}

// ---- summing the zones ------------------------------------------------------------------------------

// The white-balance statistics' window: luma (10 bits) and the ratios
// after the gains (8.8).
struct WbWindow {
    double y_min, y_max, cr_min, cr_max, cb_min, cb_max;

    static WbWindow read()
    {
        return {(get16(ISP_AWB_BLACK_REG) & 0x3FF) / 1023.0,  (get16(ISP_AWB_WHITE_REG) & 0x3FF) / 1023.0,
                (get16(ISP_AWB_CR_MIN_REG) & 0xFFF) / 256.0, (get16(ISP_AWB_CR_MAX_REG) & 0xFFF) / 256.0,
                (get16(ISP_AWB_CB_MIN_REG) & 0xFFF) / 256.0, (get16(ISP_AWB_CB_MAX_REG) & 0xFFF) / 256.0};
    }
    bool inside(const Rgb &g) const
    {
        const double y = 0.25 * g.r + 0.5 * g.g + 0.25 * g.b;
        return y >= y_min && y <= y_max && g.g > 0 && g.r >= cr_min * g.g && g.r <= cr_max * g.g &&
               g.b >= cb_min * g.g && g.b <= cb_max * g.g;
    }
};

// What the statistics see of one scene colour in one zone: its level after
// black level and shading, and after the white-balance gains.
struct Seen {
    Rgb lin, gained;
    double luma;
    bool white_point;
};

// One zone's measurements, as shares of its pixels.
struct Zone {
    Rgb raw;         // the mean level before the gains
    Rgb white;       // the white-balance window's pixels after the gains
    double inside;   // their share
    double bins5[5]; // the 5-bin histogram
    double luma;
};

// One frame's measurements.
struct Frame {
    Zone zone[kRows][kCols];
    uint32_t hist256[256]; // pixel counts
    uint32_t zone_pixels;  // pixels a zone holds
    uint8_t thresh[4];     // the metering thresholds in force
};

// The frame's settings the statistics see through.
struct Sight {
    const picture::Pipe &pipe;
    WbWindow window;
    double column_mean; // the column pattern's mean over a zone's columns

    Seen see(int colour, const picture::Shade &sh) const
    {
        Seen v;
        v.lin = pipe.linear(pipe.raw(picture::scene_colour(colour), sh.light(), column_mean), sh.gains());
        v.luma = 0.25 * v.lin.r + 0.5 * v.lin.g + 0.25 * v.lin.b;
        v.gained = {clip1(v.lin.r * pipe.wb[0]), clip1(v.lin.g * pipe.wb[1]), clip1(v.lin.b * pipe.wb[2])};
        v.white_point = window.inside(v.gained);
        return v;
    }
};

// A zone from the colours it shows, each seen in the lens's light and the
// ISP's shading at the zone's centre; its pixels' luma spreads a little
// around each colour's level in the 256-bin histogram.
void sum_zone(const Sight &sight, const picture::ZoneColours &zc, const picture::Shade &shade, Frame &f, Zone &z)
{
    constexpr double kSamples = picture::kZoneSamples * picture::kZoneSamples;
    static const double spread[3] = {0.85, 1.0, 1.15}, part[3] = {0.25, 0.5, 0.25};
    Rgb v, g;
    double inside = 0;
    std::fill(z.bins5, z.bins5 + 5, 0.0);
    for (int colour = 0; colour < picture::kSceneColours; colour++) {
        if (!zc[colour])
            continue;
        const double share = zc[colour] / kSamples;
        const Seen here = sight.see(colour, shade);
        v = {v.r + share * here.lin.r, v.g + share * here.lin.g, v.b + share * here.lin.b};
        if (here.white_point) {
            g = {g.r + share * here.gained.r, g.g + share * here.gained.g, g.b + share * here.gained.b};
            inside += share;
        }
        for (int s = 0; s < 3; s++) {
            uint32_t bin = std::min<uint32_t>(255, (uint32_t)(here.luma * spread[s] * 255));
            f.hist256[bin] += (uint32_t)(f.zone_pixels * share * part[s]);
            int b5 = 0;
            while (b5 < 4 && bin >= f.thresh[b5])
                b5++;
            z.bins5[b5] += share * part[s];
        }
    }
    z.raw = v;
    z.white = g;
    z.inside = inside;
    z.luma = 0.25 * v.r + 0.5 * v.g + 0.25 * v.b;
}

void sum_zones(const picture::Pipe &pipe, const World &w, Frame &f)
{
    uint32_t width = get16(ISP_IMAGE_WIDTH_REG), height = get16(ISP_IMAGE_HEIGHT_REG);
    if (!width || !height)
        width = 1920, height = 1080;
    f.zone_pixels = (width / kCols) * (height / kRows);
    for (int i = 0; i < 4; i++)
        f.thresh[i] = *phys(ISP_AE_THRESH_REG(i));
    std::fill(f.hist256, f.hist256 + 256, 0u);

    Sight sight{pipe, WbWindow::read(), 0};
    for (double c : pipe.column)
        sight.column_mean += c / picture::kColumnClasses;
    const picture::ShadingTables shading = picture::ShadingTables::read();
    std::vector<picture::ZoneColours> zone_colours;
    picture::zone_colours(w, platform_pts_us(), zone_colours);
    for (int r = 0; r < kRows; r++) {
        for (int c = 0; c < kCols; c++) {
            const picture::Shade shade =
                picture::Shade::at(shading, (c + 0.5) / kCols * kSensorFieldWidth, (r + 0.5) / kRows * kSensorFieldHeight);
            sum_zone(sight, zone_colours[r * kCols + c], shade, f, f.zone[r][c]);
        }
    }
}

// ---- the buffer the firmware reads ---------------------------------------------------------------------

void fill_ae(const Frame &f, ISP_STAT_S &st)
{
    memcpy(st.stAeStat1.au8MeteringThresh, f.thresh, 4);
    memcpy(st.stAeStat3.au32Hist256Value, f.hist256, sizeof f.hist256);
    double hist5_sum[5] = {}, avg_sum[4] = {};
    for (int r = 0; r < kRows; r++) {
        for (int c = 0; c < kCols; c++) {
            const Zone &z = f.zone[r][c];
            hist5_shares(z.bins5, 1.0, st.stAeStat2.au16ZoneHist5Value[r][c]);
            for (int b = 0; b < 5; b++)
                hist5_sum[b] += z.bins5[b];
            const double ch[4] = {z.raw.r, z.raw.g, z.raw.g, z.raw.b};
            for (int i = 0; i < 4; i++) {
                st.stAeStat5.au16ZoneAvg[r][c][i] = (uint16_t)to16(ch[i]);
                avg_sum[i] += ch[i];
            }
        }
    }
    uint16_t global[5];
    hist5_shares(hist5_sum, kZones, global);
    const int kept[4] = {0, 1, 3, 4}; // bin 2 is what the others leave
    for (int i = 0; i < 4; i++)
        st.stAeStat1.au16Hist5Value[i] = global[kept[i]];
    for (int i = 0; i < 4; i++)
        st.stAeStat4.au16GlobalAvg[i] = (uint16_t)to16(avg_sum[i] / kZones);
}

// White-balance ratios after the gains in force of each zone's pixels
// within the window, and the Bayer means before the gains at 16-bit
// precision (the white balance's luma and its WDR squaring work on that
// scale).
void fill_awb(const Frame &f, ISP_STAT_S &st)
{
    double awb_r = 0, awb_g = 0, awb_b = 0, bayer_sum[3] = {};
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
        const Rgb &v = z.raw;
        st.stAwbStat4.au16MeteringMemArrayAvgR[k] = (uint16_t)to16(v.r);
        st.stAwbStat4.au16MeteringMemArrayAvgG[k] = (uint16_t)to16(v.g);
        st.stAwbStat4.au16MeteringMemArrayAvgB[k] = (uint16_t)to16(v.b);
        st.stAwbStat4.au16MeteringMemArrayCountAll[k] = (uint16_t)std::min<uint32_t>(f.zone_pixels, 65535);
        st.stAwbStat4.au16MeteringMemArrayMin[k] = (uint16_t)to16(std::min({v.r, v.g, v.b}));
        st.stAwbStat4.au16MeteringMemArrayMax[k] = (uint16_t)to16(std::max({v.r, v.g, v.b}));
        bayer_sum[0] += v.r;
        bayer_sum[1] += v.g;
        bayer_sum[2] += v.b;
    }
    st.stAwbStat1.u16MeteringAwbAvgGR = (uint16_t)(awb_r > 0 ? std::min(65535.0, awb_g / awb_r * 256) : 0);
    st.stAwbStat1.u16MeteringAwbAvgGB = (uint16_t)(awb_b > 0 ? std::min(65535.0, awb_g / awb_b * 256) : 0);
    st.stAwbStat1.u32MeteringAwbCount = awb_count;
    st.stAwbStat3.u16MeteringAwbAvgR = (uint16_t)to16(bayer_sum[0] / kZones);
    st.stAwbStat3.u16MeteringAwbAvgG = (uint16_t)to16(bayer_sum[1] / kZones);
    st.stAwbStat3.u16MeteringAwbAvgB = (uint16_t)to16(bayer_sum[2] / kZones);
    st.stAwbStat3.u16MeteringAwbCountAll = (uint16_t)std::min<uint64_t>((uint64_t)f.zone_pixels * kZones, 65535);
}

// Focus: contrast against the neighbouring zones.
void fill_af(const Frame &f, ISP_STAT_S &st)
{
    for (int r = 0; r < kRows; r++) {
        for (int c = 0; c < kCols; c++) {
            const double y = f.zone[r][c].luma;
            const double h = std::fabs(f.zone[r][std::min(c + 1, kCols - 1)].luma - y);
            const double v = std::fabs(f.zone[std::min(r + 1, kRows - 1)][c].luma - y);
            st.stAfStat.stZoneMetrics[r][c] = {(uint16_t)to16(v), (uint16_t)to16(h), (uint16_t)to16(v / 2),
                                               (uint16_t)to16(h / 2), (uint16_t)to12(y)};
        }
    }
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

// The RGB means carry the black level the firmware set for them (16 x the
// register), which it takes off when it reads them.
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
    double bayer_sum[3] = {};
    for (int k = 0; k < kZones; k++) {
        phys_write32(ISP_AWB_ZONE_REG(k), st.stAwbStat2.au16MeteringMemArrayAvgGR[k] |
                                              (uint32_t)st.stAwbStat2.au16MeteringMemArrayAvgGB[k] << 16);
        phys_write32(ISP_AWB_ZONE_REG(k) + 4, st.stAwbStat2.au16MeteringMemArrayCount[k]);
        const Rgb &v = f.zone[k / kCols][k % kCols].raw;
        uint32_t count = std::min<uint32_t>(f.zone_pixels, 65535);
        const uint32_t z = ISP_RGB_ZONE_REG(k);
        phys_write32(z, stat16(v.r, black[0]) | stat16(v.g, black[1]) << 16);
        phys_write32(z + 4, stat16(v.b, black[2]) | count << 16);
        phys_write32(z + 8, to16(std::max({v.r, v.g, v.b})) | to16(std::min({v.r, v.g, v.b})) << 16);
        uint32_t rg = v.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(v.r / v.g * 256)) : 0;
        uint32_t bg = v.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(v.b / v.g * 256)) : 0;
        phys_write32(ISP_BAYER_ZONE_REG(k), rg | bg << 16);
        phys_write32(ISP_BAYER_ZONE_REG(k) + 4, f.zone_pixels);
        bayer_sum[0] += v.r;
        bayer_sum[1] += v.g;
        bayer_sum[2] += v.b;
    }
    Rgb mean = {bayer_sum[0] / kZones, bayer_sum[1] / kZones, bayer_sum[2] / kZones};
    put16(ISP_RGB_GLOBAL_REG(0), stat16(mean.r, black[0]));
    put16(ISP_RGB_GLOBAL_REG(1), stat16(mean.g, black[1]));
    put16(ISP_RGB_GLOBAL_REG(2), stat16(mean.b, black[2]));
    put16(ISP_RGB_GLOBAL_REG(3), std::min<uint32_t>(f.zone_pixels * kZones, 65535));
    put16(ISP_BAYER_GLOBAL_RG_REG, mean.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(mean.r / mean.g * 256)) : 0);
    put16(ISP_BAYER_GLOBAL_BG_REG, mean.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(mean.b / mean.g * 256)) : 0);
    phys_write32(ISP_BAYER_GLOBAL_SUM_REG, f.zone_pixels * kZones);
}

// The focus zones of the grid the firmware set.
void publish_af(const ISP_STAT_S &st)
{
    uint32_t af_grid = phys_read32(VI_AF_GRID_REG);
    uint32_t af_rows = std::min<uint32_t>((af_grid >> 8) & 0x1F, kRows), af_cols = std::min<uint32_t>(af_grid & 0x1F, kCols);
    for (uint32_t r = 0; r < af_rows; r++) {
        for (uint32_t c = 0; c < af_cols; c++) {
            const ISP_FOCUS_ZONE_S &z = st.stAfStat.stZoneMetrics[r][c];
            uint32_t a = VI_AF_ZONE_REG(r * af_cols + c);
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
    fill_af(f, st);
    fill_dehaze(f, st);

    publish_ae(st);
    publish_awb(f, st);
    publish_af(st);
}

} // namespace sim
