// The ISP's statistics block on the board: exposure, white-balance, focus
// and dehaze statistics of each frame, from the scene's colours as the
// sensor delivers them and the ISP's black-level subtraction leaves them
// (before the gains and gamma, as the hardware gathers them), into the
// buffer the firmware reads and into the statistics registers.
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

// One frame's statistics: the buffer the firmware reads and the registers.
// They come from the scene's colours as the sensor delivers them and the
// ISP's black-level subtraction leaves them, before the gains and gamma;
// the white-balance ratios after the gains in force.
} // namespace

void isp_gather_statistics(ISP_STAT_S &st)
{
    World w = world();
    const picture::Pipe pipe = picture::Pipe::read(sensor_exposure_gain(), w);
    // The white-balance statistics' window.
    const double y_max = (get16(ISP_AWB_WHITE_REG) & 0x3FF) / 1023.0, y_min = (get16(ISP_AWB_BLACK_REG) & 0x3FF) / 1023.0;
    const double cr_max = (get16(ISP_AWB_CR_MAX_REG) & 0xFFF) / 256.0, cr_min = (get16(ISP_AWB_CR_MIN_REG) & 0xFFF) / 256.0;
    const double cb_max = (get16(ISP_AWB_CB_MAX_REG) & 0xFFF) / 256.0, cb_min = (get16(ISP_AWB_CB_MIN_REG) & 0xFFF) / 256.0;
    // A zone sees its colours in the lens's light and the ISP's shading at
    // its centre, with the column pattern's mean over the zone's columns.
    const picture::ShadingTables shading = picture::ShadingTables::read();
    double column_mean = 0;
    for (double c : pipe.column)
        column_mean += c / picture::kColumnClasses;
    struct Seen {
        Rgb lin, gained;
        double luma;
        bool white_point;
    };
    auto seen = [&](int colour, const picture::Shade &sh) {
        Seen v;
        v.lin = pipe.linear(pipe.raw(picture::scene_colour(colour), sh.light(), column_mean), sh.gains());
        v.luma = 0.25 * v.lin.r + 0.5 * v.lin.g + 0.25 * v.lin.b;
        const Rgb &g = v.gained = {clip1(v.lin.r * pipe.wb[0]), clip1(v.lin.g * pipe.wb[1]), clip1(v.lin.b * pipe.wb[2])};
        double y = 0.25 * g.r + 0.5 * g.g + 0.25 * g.b;
        v.white_point = y >= y_min && y <= y_max && g.g > 0 && g.r >= cr_min * g.g && g.r <= cr_max * g.g &&
                        g.b >= cb_min * g.g && g.b <= cb_max * g.g;
        return v;
    };
    std::vector<picture::ZoneColours> zone_colours;
    picture::zone_colours(w, platform_pts_us(), zone_colours);
    constexpr double kSamples = picture::kZoneSamples * picture::kZoneSamples;

    uint32_t width = get16(ISP_IMAGE_WIDTH_REG), height = get16(ISP_IMAGE_HEIGHT_REG);
    if (!width || !height)
        width = 1920, height = 1080;
    const uint32_t zone_pixels = (width / kCols) * (height / kRows);

    uint8_t thresh[4];
    for (int i = 0; i < 4; i++)
        thresh[i] = *phys(ISP_AE_THRESH_REG(i));

    memset(&st, 0, sizeof st);
    memcpy(st.stAeStat1.au8MeteringThresh, thresh, 4);

    static Rgb raw[kRows][kCols];
    static double luma[kRows][kCols];
    double hist5_sum[5] = {};
    double avg_sum[4] = {};
    double awb_r = 0, awb_g = 0, awb_b = 0;
    uint32_t awb_count = 0;
    double bayer_sum[3] = {};

    for (int r = 0; r < kRows; r++) {
        for (int c = 0; c < kCols; c++) {
            const int k = r * kCols + c;
            const picture::ZoneColours &zc = zone_colours[k];
            const picture::Shade shade =
                picture::Shade::at(shading, (c + 0.5) / kCols * kSensorFieldWidth, (r + 0.5) / kRows * kSensorFieldHeight);
            Rgb v, g;
            double bins5[5] = {}, inside = 0;
            for (int colour = 0; colour < picture::kSceneColours; colour++) {
                if (!zc[colour])
                    continue;
                const double share = zc[colour] / kSamples;
                const Seen here = seen(colour, shade);
                v = {v.r + share * here.lin.r, v.g + share * here.lin.g, v.b + share * here.lin.b};
                if (here.white_point) {
                    g = {g.r + share * here.gained.r, g.g + share * here.gained.g, g.b + share * here.gained.b};
                    inside += share;
                }
                // The pixels of a colour spread a little around its level.
                static const double spread[3] = {0.85, 1.0, 1.15}, part[3] = {0.25, 0.5, 0.25};
                for (int s = 0; s < 3; s++) {
                    uint32_t bin = std::min<uint32_t>(255, (uint32_t)(here.luma * spread[s] * 255));
                    st.stAeStat3.au32Hist256Value[bin] += (uint32_t)(zone_pixels * share * part[s]);
                    int b5 = 0;
                    while (b5 < 4 && bin >= thresh[b5])
                        b5++;
                    bins5[b5] += share * part[s];
                }
            }
            raw[r][c] = v;
            double y = 0.25 * v.r + 0.5 * v.g + 0.25 * v.b;
            luma[r][c] = y;

            uint32_t left = 65535;
            for (int b = 0; b < 5; b++) {
                uint32_t part = b == 4 ? left : std::min(left, (uint32_t)std::lround(bins5[b] * 65535));
                st.stAeStat2.au16ZoneHist5Value[r][c][b] = (uint16_t)part;
                left -= part;
                hist5_sum[b] += bins5[b];
            }

            const double ch[4] = {v.r, v.g, v.g, v.b};
            for (int i = 0; i < 4; i++) {
                st.stAeStat5.au16ZoneAvg[r][c][i] = (uint16_t)to16(ch[i]);
                avg_sum[i] += ch[i];
            }

            // White-balance ratios after the gains in force, of the zone's
            // pixels within the window.
            const double R = g.r, G = g.g, B = g.b;
            const uint32_t counted = (uint32_t)std::lround(zone_pixels * inside);
            bool usable = counted > 0 && R > 0 && B > 0;
            st.stAwbStat2.au16MeteringMemArrayAvgGR[k] = (uint16_t)std::min(65535.0, R > 0 ? G / R * 256 : 65535);
            st.stAwbStat2.au16MeteringMemArrayAvgGB[k] = (uint16_t)std::min(65535.0, B > 0 ? G / B * 256 : 65535);
            st.stAwbStat2.au16MeteringMemArrayCount[k] = (uint16_t)(usable ? std::min<uint32_t>(counted, 65535) : 0);
            if (usable) {
                awb_r += R * zone_pixels;
                awb_g += G * zone_pixels;
                awb_b += B * zone_pixels;
                awb_count += counted;
            }

            // Bayer means before the gains, at 16-bit precision: the white
            // balance's luma and its WDR squaring work on that scale.
            st.stAwbStat4.au16MeteringMemArrayAvgR[k] = (uint16_t)to16(v.r);
            st.stAwbStat4.au16MeteringMemArrayAvgG[k] = (uint16_t)to16(v.g);
            st.stAwbStat4.au16MeteringMemArrayAvgB[k] = (uint16_t)to16(v.b);
            st.stAwbStat4.au16MeteringMemArrayCountAll[k] = (uint16_t)std::min<uint32_t>(zone_pixels, 65535);
            st.stAwbStat4.au16MeteringMemArrayMin[k] = (uint16_t)to16(std::min({v.r, v.g, v.b}));
            st.stAwbStat4.au16MeteringMemArrayMax[k] = (uint16_t)to16(std::max({v.r, v.g, v.b}));
            bayer_sum[0] += v.r;
            bayer_sum[1] += v.g;
            bayer_sum[2] += v.b;
        }
    }

    uint32_t left = 65535;
    for (int b = 0; b < 5; b++) {
        uint32_t part = b == 4 ? left : std::min(left, (uint32_t)std::lround(hist5_sum[b] / kZones * 65535));
        if (b != 2)
            st.stAeStat1.au16Hist5Value[b < 2 ? b : b - 1] = (uint16_t)part;
        left -= part;
    }
    for (int i = 0; i < 4; i++)
        st.stAeStat4.au16GlobalAvg[i] = (uint16_t)to16(avg_sum[i] / kZones);
    st.stAwbStat1.u16MeteringAwbAvgGR = (uint16_t)(awb_r > 0 ? std::min(65535.0, awb_g / awb_r * 256) : 0);
    st.stAwbStat1.u16MeteringAwbAvgGB = (uint16_t)(awb_b > 0 ? std::min(65535.0, awb_g / awb_b * 256) : 0);
    st.stAwbStat1.u32MeteringAwbCount = awb_count;
    st.stAwbStat3.u16MeteringAwbAvgR = (uint16_t)to16(bayer_sum[0] / kZones);
    st.stAwbStat3.u16MeteringAwbAvgG = (uint16_t)to16(bayer_sum[1] / kZones);
    st.stAwbStat3.u16MeteringAwbAvgB = (uint16_t)to16(bayer_sum[2] / kZones);
    st.stAwbStat3.u16MeteringAwbCountAll = (uint16_t)std::min<uint64_t>((uint64_t)zone_pixels * kZones, 65535);

    // Focus: contrast against the neighbouring zones.
    for (int r = 0; r < kRows; r++) {
        for (int c = 0; c < kCols; c++) {
            double h = std::fabs(luma[r][std::min(c + 1, kCols - 1)] - luma[r][c]);
            double v = std::fabs(luma[std::min(r + 1, kRows - 1)][c] - luma[r][c]);
            st.stAfStat.stZoneMetrics[r][c] = {(uint16_t)to16(v), (uint16_t)to16(h), (uint16_t)to16(v / 2),
                                               (uint16_t)to16(h / 2), (uint16_t)to12(luma[r][c])};
        }
    }

    // Dehaze: the dark channel and the colour maxima of each block.
    uint32_t grid = phys_read32(VI_DEHAZE_GRID_REG);
    uint32_t V = grid ? std::min<uint32_t>((grid & 0xFFFF) + 1, 15) : 15;
    uint32_t Hb = grid ? std::min<uint32_t>((grid >> 16) + 1, 16) : 16;
    for (uint32_t i = 0; i < Hb * V; i++) {
        const Rgb &v = raw[(i / Hb) * kRows / V][(i % Hb) * kCols / Hb];
        uint32_t dark = to8(std::min({v.r, v.g, v.b}));
        st.stDehazeStat.au32DehazeMinDout[i / 4] |= dark << (24 - 8 * (i % 4));
        phys_write32(VI_DEHAZE_MAX_REG(i), to8(v.r) << 16 | to8(v.g) << 8 | to8(v.b));
    }

    // The same measurements in the statistics registers.
    for (uint32_t i = 0; i < 4; i++)
        put16(ISP_AE_HIST5_REG(i), st.stAeStat1.au16Hist5Value[i]);
    for (int k = 0; k < kZones; k++) {
        const uint16_t *b = st.stAeStat2.au16ZoneHist5Value[k / kCols][k % kCols];
        phys_write32(ISP_AE_ZONE_HIST5_REG(k), b[0] | (uint32_t)b[1] << 16);
        phys_write32(ISP_AE_ZONE_HIST5_REG(k) + 4, b[3] | (uint32_t)b[4] << 16);
    }
    for (int i = 0; i < 256; i++)
        phys_write32(ISP_AE_HIST256_REG(i), float16_count(st.stAeStat3.au32Hist256Value[i]));
    put16(ISP_AWB_GLOBAL_GR_REG, st.stAwbStat1.u16MeteringAwbAvgGR);
    put16(ISP_AWB_GLOBAL_GB_REG, st.stAwbStat1.u16MeteringAwbAvgGB);
    put16(ISP_AWB_GLOBAL_COUNT_LO_REG, awb_count & 0xFFFF);
    put16(ISP_AWB_GLOBAL_COUNT_HI_REG, awb_count >> 16);
    // The RGB means carry the black level the firmware set for them (16 x
    // the register), which it takes off when it reads them.
    const uint32_t black[3] = {16u * (get16(ISP_STAT_BLACK_REG(0)) & 0xFFF), 16u * (get16(ISP_STAT_BLACK_REG(1)) & 0xFFF),
                               16u * (get16(ISP_STAT_BLACK_REG(3)) & 0xFFF)};
    auto stat16 = [](double v, uint32_t black) { return std::min<uint32_t>(65535, to16(v) + black); };
    for (int k = 0; k < kZones; k++) {
        phys_write32(ISP_AWB_ZONE_REG(k), st.stAwbStat2.au16MeteringMemArrayAvgGR[k] |
                                              (uint32_t)st.stAwbStat2.au16MeteringMemArrayAvgGB[k] << 16);
        phys_write32(ISP_AWB_ZONE_REG(k) + 4, st.stAwbStat2.au16MeteringMemArrayCount[k]);
        const Rgb &v = raw[k / kCols][k % kCols];
        uint32_t count = std::min<uint32_t>(zone_pixels, 65535);
        const uint32_t z = ISP_RGB_ZONE_REG(k);
        phys_write32(z, stat16(v.r, black[0]) | stat16(v.g, black[1]) << 16);
        phys_write32(z + 4, stat16(v.b, black[2]) | count << 16);
        phys_write32(z + 8, to16(std::max({v.r, v.g, v.b})) | to16(std::min({v.r, v.g, v.b})) << 16);
        uint32_t rg = v.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(v.r / v.g * 256)) : 0;
        uint32_t bg = v.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(v.b / v.g * 256)) : 0;
        phys_write32(ISP_BAYER_ZONE_REG(k), rg | bg << 16);
        phys_write32(ISP_BAYER_ZONE_REG(k) + 4, zone_pixels);
    }
    Rgb mean = {bayer_sum[0] / kZones, bayer_sum[1] / kZones, bayer_sum[2] / kZones};
    put16(ISP_RGB_GLOBAL_REG(0), stat16(mean.r, black[0]));
    put16(ISP_RGB_GLOBAL_REG(1), stat16(mean.g, black[1]));
    put16(ISP_RGB_GLOBAL_REG(2), stat16(mean.b, black[2]));
    put16(ISP_RGB_GLOBAL_REG(3), std::min<uint32_t>(zone_pixels * kZones, 65535));
    put16(ISP_BAYER_GLOBAL_RG_REG, mean.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(mean.r / mean.g * 256)) : 0);
    put16(ISP_BAYER_GLOBAL_BG_REG, mean.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(mean.b / mean.g * 256)) : 0);
    phys_write32(ISP_BAYER_GLOBAL_SUM_REG, zone_pixels * kZones);

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


} // namespace sim
