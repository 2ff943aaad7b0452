// The ISP registers the board's picture and statistics answer to beyond the
// colour pipeline: one table of register, setting and what changes in the
// picture the video input delivers or in the statistics registers, each
// against the same picture or statistics just before the setting.
#include "tests/board/sim/picture/picture_fixture.h"

#include "isp/isp_vreg.h"

#include <random>

using namespace picturetest;
using namespace sim::picture;

namespace {

// ---- starting points -----------------------------------------------------------------------------------

void nr_on(uint8_t thresh)
{
    put8(ISP_NR_CTRL_REG, ISP_NR_CTRL_ENABLE);
    put8(ISP_NR_THRESH_S_REG, thresh);
    put8(ISP_NR_THRESH_L_REG, thresh);
}
void stitching()
{
    put8(ISP_FSWDR_PATH_REG, ISP_FSWDR_PATH_ON);
    put8(ISP_FSWDR_BYPASS_REG, 0);
}
void drc_full()
{
    put8(ISP_DRC_CTRL_REG, 1);
    put8(ISP_DRC_STRENGTH_REG, 255);
}
// Writes the DRC's asymmetry curve through its port: x^power.
void drc_curve(double power)
{
    put8(ISP_GAMMA_CTRL_REG, *sim::phys(ISP_GAMMA_CTRL_REG) | ISP_GAMMA_CTRL_ACCESS);
    for (uint32_t i = 0; i < 33; i++) {
        IO_WRITE8(ISP_DRC_ASY_INDEX_REG, i);
        IO_WRITE16(ISP_DRC_ASY_DATA_REG, (uint32_t)std::lround(65535 * std::pow(i / 32.0, power)));
    }
    put8(ISP_GAMMA_CTRL_REG, *sim::phys(ISP_GAMMA_CTRL_REG) & ~ISP_GAMMA_CTRL_ACCESS);
}
// An RGB sharpening curve peaking at steps of about ten levels (as the
// sensor's defaults build it) in bank 1, a flat one (128) in bank 0.
void rgb_curves()
{
    for (uint32_t j = 0; j < 128; j++) {
        const double v = std::min(127.0, 120 * (j / 10.0) * std::exp(1 - j / 10.0));
        sim::phys_write32(ISP_SHARPEN_RGB_CURVE_REG(256 + 128 + j), (uint32_t)std::lround(128 + v));
        sim::phys_write32(ISP_SHARPEN_RGB_CURVE_REG(256 + 127 - j), (uint32_t)std::lround(128 - v));
        sim::phys_write32(ISP_SHARPEN_RGB_CURVE_REG(128 + j), 128);
        sim::phys_write32(ISP_SHARPEN_RGB_CURVE_REG(127 - j), 128);
    }
}
void rgb_sharpen(uint32_t bank, uint8_t strength)
{
    rgb_curves();
    put8(ISP_SHARPEN_RGB_CTRL_REG, ISP_SHARPEN_RGB_ON | bank << 2);
    put8(ISP_SHARPEN_RGB_REG, strength);
}
// The focus block on over the whole grid: IIR 0 a difference with its
// first stage through (gain 1), FIR 0 a step response of 16/32.
void af_on()
{
    sim::phys_write32(VI_AF_CTRL_REG, 1 | 1u << 1);
    sim::phys_write32(VI_AF_GRID_REG, 17 | 15u << 8);
    sim::phys_write32(VI_AF_IIR_GAIN_REG(0), 64);
    sim::phys_write32(VI_AF_FIR_REG(0), 16);
    sim::phys_write32(VI_AF_ACC_SHIFT_REG, 8 | 8u << 8 | 12u << 16);
    sim::phys_write32(VI_AF_SIZE_REG, (kW - 1) | (kH - 1) << 16);
}
void af_field(uint32_t reg, uint32_t shift, uint32_t width, uint32_t value)
{
    const uint32_t mask = ((1u << width) - 1) << shift;
    sim::phys_write32(reg, (sim::phys_read32(reg) & ~mask) | (value << shift & mask));
}

// The metering thresholds that split the luma into the 5-bin histograms.
void ae_thresholds()
{
    const uint8_t t[4] = {40, 80, 120, 200};
    for (uint32_t i = 0; i < 4; i++)
        put8(ISP_AE_THRESH_REG(i), t[i]);
}

// ---- what the cases measure ------------------------------------------------------------------------------

ISP_STAT_S &gather()
{
    static ISP_STAT_S st;
    sim::isp_gather_statistics(st);
    return st;
}

// The 256-bin histogram's mean bin, from its registers.
double hist256_mean()
{
    gather();
    double n = 0, sum = 0;
    for (uint32_t i = 0; i < 256; i++) {
        const uint32_t reg = sim::phys_read32(ISP_AE_HIST256_REG(i)), e = reg >> 12, m = reg & 0xFFF;
        const double count = e == 0 ? m : (double)((m + 4096) << (e - 1));
        n += count;
        sum += count * i;
    }
    return n ? sum / n : 0;
}
// The global 5-bin histogram's bins 3 and 4 (the brightest), from its registers.
double hist5_bright()
{
    gather();
    return get16(ISP_AE_HIST5_REG(2)) + get16(ISP_AE_HIST5_REG(3));
}
// The global 5-bin histogram's mean bin, from its registers.
double hist5_mean()
{
    gather();
    const double b0 = get16(ISP_AE_HIST5_REG(0)), b1 = get16(ISP_AE_HIST5_REG(1)), b3 = get16(ISP_AE_HIST5_REG(2)),
                 b4 = get16(ISP_AE_HIST5_REG(3));
    const double b2 = 65535 - std::min(65535.0, b0 + b1 + b3 + b4);
    return (b1 + 2 * b2 + 3 * b3 + 4 * b4) / 65535;
}
double awb_count()
{
    gather();
    return get16(ISP_AWB_GLOBAL_COUNT_LO_REG) | get16(ISP_AWB_GLOBAL_COUNT_HI_REG) << 16;
}
// The RGB statistics' global minimum and maximum, and how far apart they are.
double rgb_min() { return (gather(), get16(ISP_RGB_GLOBAL_REG(4))); }
double rgb_max() { return (gather(), get16(ISP_RGB_GLOBAL_REG(5))); }
double rgb_spread() { return rgb_max() - rgb_min(); }
// The sensor's integration time (the fixture streams at 337 lines).
void exposure(uint32_t lines)
{
    sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x0202, lines >> 8);
    sim::sensor_i2c_write(sim::kSensorI2cAddr, 0x0203, lines & 0xFF);
}
// The Bayer statistics' global sum and the pixels the buffer says it counted.
double bayer_sum() { return (gather(), sim::phys_read32(ISP_BAYER_GLOBAL_SUM_REG)); }
double bayer_counted()
{
    const ISP_STAT_S &st = gather();
    double n = 0;
    for (uint32_t k = 0; k < AWB_ZONE_NUM; k++)
        n += st.stAwbStat4.au16MeteringMemArrayCountAll[k];
    return n;
}
// The focus statistics over the whole grid, from the registers.
double af_total(int word, int half)
{
    gather();
    const uint32_t grid = sim::phys_read32(VI_AF_GRID_REG), zones = (grid & 0x1F) * (grid >> 8 & 0x1F);
    double sum = 0;
    for (uint32_t k = 0; k < zones; k++)
        sum += sim::phys_read32(VI_AF_ZONE_REG(k) + 4 * word) >> (16 * half) & 0xFFFF;
    return sum;
}
double af_h1() { return af_total(0, 0); }
double af_v1() { return af_total(0, 1); }
double af_y() { return af_total(2, 0); }

// What a case expects of the measure after the setting against before it.
using Expect = std::function<void(double before, double after)>;
Expect times_below(double ratio)
{
    return [ratio](double b, double a) { EXPECT_LT(a, b * ratio) << b << " -> " << a; };
}
Expect times_above(double ratio)
{
    return [ratio](double b, double a) { EXPECT_GT(a, b * ratio) << b << " -> " << a; };
}
Expect less_by(double d)
{
    return [d](double b, double a) { EXPECT_LT(a, b - d) << b << " -> " << a; };
}
Expect more_by(double d)
{
    return [d](double b, double a) { EXPECT_GT(a, b + d) << b << " -> " << a; };
}
Expect gone()
{
    return [](double b, double a) {
        EXPECT_GT(b, 0);
        EXPECT_EQ(a, 0) << b;
    };
}
class IspRegistersTest : public PictureTest {
protected:
    // How many of the sensor's hot pixels stand more than 12 levels above
    // the picture four pixels beside them, over the frame (the sensor not
    // programmed: no noise).
    double hot_shown()
    {
        sim::video::PicturePtr p = render();
        double n = 0;
        for (const sim::HotPixel &h : sim::sensor_hot_pixels()) {
            const int r = (int)(((h.y + 0.5) / sim::kSensorFieldHeight - kWin.y) / kWin.h * kH) & ~1, c = (int)h.x & ~1;
            if (r < 0 || r + 2 > (int)kH || c + 6 > (int)kW)
                continue;
            n += p->y()[(size_t)r * p->stride + c] > p->y()[(size_t)r * p->stride + c + 4] + 12;
        }
        return n;
    }
};

} // namespace

TEST_F(IspRegistersTest, EachRegisterChangesWhatTheHardwareWould)
{
    auto noise = [this] { return look().patch[3].sd; };       // a flat grey patch's spread
    auto shadows = [this] { return look().dark_tile.y; };     // a dark ground tile
    auto mids = [this] { return look().patch[2].y; };         // a lighter grey
    auto edge = [this] { return (double)look().edge_light; }; // the light side of an edge
    auto dark_edge = [this] { return (double)look().edge_dark; };
    auto hot = [this] { return hot_shown(); };
    auto weights = [](uint32_t first_row, uint32_t value) {
        for (uint32_t k = first_row * 17; k < 15 * 17; k++)
            put8(ISP_AE_WEIGHT_REG(k), value);
    };
    auto dp_on = [] { put8(ISP_DP_CTRL_REG, ISP_DP_CTRL_DYNAMIC); };
    struct Case {
        const char *reg, *setting;
        std::function<void()> from, set;
        std::function<double()> measure;
        Expect expect;
    } cases[] = {
        // Noise reduction, at four times the gain.
        {"NR long threshold 0x228", "200 where the frame stitches", [] { nr_on(20), stitching(); },
         [] { put8(ISP_NR_THRESH_L_REG, 200); }, noise, times_below(0.8)},
        {"NR long threshold 0x228", "200 in a linear frame: unused", [] { nr_on(20); },
         [] { put8(ISP_NR_THRESH_L_REG, 200); }, noise, times_below(1.0001)},
        {"NR short threshold 0x224", "200", [] { nr_on(20); }, [] { put8(ISP_NR_THRESH_S_REG, 200); }, noise,
         times_below(0.8)},
        {"NR limit 0x270", "below the grey, linear: it passes unfiltered", [] { nr_on(80); },
         [] { put16(ISP_NR_LIMIT_REG, 0x400); }, noise, times_above(1.5)},
        {"NR limit 0x270", "below the grey, stitching: the short threshold", [] { nr_on(80), stitching(); },
         [] { put8(ISP_NR_THRESH_S_REG, 0), put16(ISP_NR_LIMIT_REG, 0x400); }, noise, times_above(1.5)},
        {"NR filter 0x274", "3 (3 x 3) for 4 (5 x 5)", [] { nr_on(80); }, [] { put8(ISP_NR_FILTER_REG, 3); }, noise,
         times_above(1.2)},
        {"NR filter 0x274", "1: none", [] { nr_on(80); }, [] { put8(ISP_NR_FILTER_REG, 1); }, noise, times_above(2)},
        {"NR slope 0x278", "0 for 4: a hard cut", [] { nr_on(20); }, [] { put8(ISP_NR_SLOPE_REG, 0); }, noise,
         times_above(1.05)},
        {"NR offset 0x448", "64", [] { nr_on(20); }, [] { put8(ISP_NR_OFFSET_REG, 64); }, noise, times_below(0.8)},
        {"NR profile 0x900", "0: green unfiltered", [] { nr_on(80); },
         [] {
             for (uint32_t i = 0; i < 128; i++)
                 put8(ISP_NR_PROFILE_REG(i), 0);
         },
         noise, times_above(1.5)},
        {"NR profile 0xC00", "0: red and blue unfiltered", [] { nr_on(80); },
         [] {
             for (uint32_t i = 0; i < 128; i++)
                 put8(ISP_NR_PROFILE2_REG(i), 0);
         },
         noise, times_above(1.1)},
        {"module control 0x40", "noise-reduction bypass", [] { nr_on(80); },
         [] { put8(ISP_MODULE_CTRL_REG, ISP_MODULE_NR_BYPASS); }, noise, times_above(2)},
        {"module control 0x40", "black-level bypass lifts black", [] {},
         [] { put8(ISP_MODULE_CTRL_REG, ISP_MODULE_BLC_BYPASS); }, shadows, more_by(5)},
        // Sharpen.
        {"sharpen luminance threshold 0x444", "4095: the undershoot fades out", [] { put8(ISP_SHARPEN_UD_REG, 255); },
         [] { put16(ISP_SHARPEN_LUM_REG, 4095); }, dark_edge, more_by(3)},
        {"sharpen RGB strength 0x4D4", "255, the curve of bank 1 in use", [] { rgb_sharpen(1, 0); },
         [] { put8(ISP_SHARPEN_RGB_REG, 255); }, edge, more_by(3)},
        {"sharpen RGB control 0x4D0", "bank 1 (the curve) for bank 0 (flat)", [] { rgb_sharpen(0, 255); },
         [] { put8(ISP_SHARPEN_RGB_CTRL_REG, ISP_SHARPEN_RGB_ON | 1u << 2); }, edge, more_by(3)},
        {"sharpen RGB control 0x4D0", "off", [] { rgb_sharpen(1, 255); }, [] { put8(ISP_SHARPEN_RGB_CTRL_REG, 1u << 2); },
         edge, less_by(3)},
        {"sharpen RGB curve 0x3000", "bank 1 flattened", [] { rgb_sharpen(1, 255); },
         [] {
             for (uint32_t i = 256; i < 512; i++)
                 sim::phys_write32(ISP_SHARPEN_RGB_CURVE_REG(i), 128);
         },
         edge, less_by(3)},
        // DRC at full strength, its curve a square root at reset.
        {"DRC slope max 0x389", "0: no lift", drc_full, [] { put8(ISP_DRC_SLOPE_MAX_REG, 0); }, shadows, less_by(5)},
        {"DRC slope min 0x38A", "255 under a darkening curve", [] { drc_full(), drc_curve(2); },
         [] { put8(ISP_DRC_SLOPE_MIN_REG, 255); }, mids, more_by(5)},
        {"DRC white 0x394", "below the dark tile", drc_full, [] { put16(ISP_DRC_WHITE_REG, 40); }, shadows, less_by(5)},
        {"DRC black 0x390", "above the dark tile", drc_full, [] { put16(ISP_DRC_BLACK_REG, 3000); }, shadows, less_by(5)},
        {"DRC asymmetry curve 0x800/0x804", "a straight line", drc_full, [] { drc_curve(1); }, shadows, less_by(5)},
        {"DRC variance 0x388", "space 15, intensity 0: the detail keeps its size", drc_full,
         [] { put8(ISP_DRC_VARIANCE_REG, 0x0F); }, noise, times_below(0.9)},
        // Dynamic defect correction, on at reset's thresholds: every hot pixel hidden.
        {"DP threshold 0x1CA", "4095", dp_on, [] { put16(ISP_DP_THRESH_REG, 4095); }, hot, more_by(60)},
        {"DP slope 0x1D0", "4095: brighter surroundings let a defect through", dp_on,
         [] { put16(ISP_DP_SLOPE_REG, 4095); }, hot, more_by(20)},
        {"DP line threshold 0x1B0", "4095", dp_on, [] { put16(ISP_DP_LINE_THRESH_REG, 4095); }, hot, more_by(60)},
        {"DP high-pass threshold 0x1DC", "4095 with blend 255: blended, not replaced",
         [&] { dp_on(), put8(ISP_DP_BLEND_REG, 255); }, [] { put16(ISP_DP_HP_THRESH_REG, 4095); }, hot, more_by(60)},
        {"DP blend 0x1B4", "0 under a high-pass threshold of 4095",
         [&] { dp_on(), put8(ISP_DP_BLEND_REG, 255), put16(ISP_DP_HP_THRESH_REG, 4095); },
         [] { put8(ISP_DP_BLEND_REG, 0); }, hot, less_by(60)},
        // Exposure statistics.
        {"AE zone weights 0xA00", "0 on the sky's rows: its brightness leaves the histograms", ae_thresholds,
         [&] { weights(11, 0); }, hist5_bright, less_by(2000)},
        {"AE zone weights 0xA00", "15 on the sky's rows", [] {}, [&] { weights(11, 15); }, hist256_mean, more_by(5)},
        {"AE switch 0x44", "1: after the gains, red four times", ae_thresholds,
         [] { put8(ISP_AE_SWITCH_REG, 1), put16(ISP_WB_GAIN_REG(0), 0x400); }, hist5_mean, more_by(0.3)},
        {"AE histogram switch 0x54", "3: the raw levels", [] {}, [] { put8(ISP_AE_HIST_SWITCH_REG, 3); }, hist256_mean,
         more_by(5)},
        {"AE sum switch 0x50", "1: after the gains, red doubled",
         [] { put16(ISP_WB_GAIN_REG(0), 0x100), put16(ISP_WB_GAIN_REG(3), 0x100); },
         [] { put8(ISP_AE_SUM_SWITCH_REG, 1), put16(ISP_WB_GAIN_REG(0), 0x200); },
         [] { return (double)gather().stAeStat4.au16GlobalAvg[0]; }, times_above(1.7)},
        // White-balance statistics.
        {"AWB limit 0x670", "R/G at most 0.5 after the gains", [] {}, [] { put16(ISP_AWB_LIMIT_CR_MAX_REG, 128); },
         awb_count, times_below(0.5)},
        {"AWB limit 0x678", "B/G at most 0.5 after the gains", [] {}, [] { put16(ISP_AWB_LIMIT_CB_MAX_REG, 128); },
         awb_count, times_below(0.5)},
        {"AWB limit 0x674", "R/G at least 2 after the gains", [] {}, [] { put16(ISP_AWB_LIMIT_CR_MIN_REG, 512); },
         awb_count, times_below(0.5)},
        {"AWB limit 0x67C", "B/G at least 2 after the gains", [] {}, [] { put16(ISP_AWB_LIMIT_CB_MIN_REG, 512); },
         awb_count, times_below(0.5)},
        {"AWB Bayer white 0x768", "below the mid greys", [] {}, [] { put16(ISP_AWB_BAYER_WHITE_REG, 600); },
         bayer_counted, times_below(0.8)},
        {"AWB Bayer black 0x764", "above all but the brightest", [] {}, [] { put16(ISP_AWB_BAYER_BLACK_REG, 3500); },
         bayer_counted, times_below(0.8)},
        {"AWB Bayer R/G max 0x770", "0.25", [] {}, [] { put16(ISP_AWB_BAYER_CR_MAX_REG, 64); }, bayer_counted,
         times_below(0.5)},
        {"AWB Bayer R/G min 0x772", "1", [] {}, [] { put16(ISP_AWB_BAYER_CR_MIN_REG, 256); }, bayer_counted,
         times_below(0.5)},
        {"AWB Bayer B/G max 0x774", "0.25", [] {}, [] { put16(ISP_AWB_BAYER_CB_MAX_REG, 64); }, bayer_counted,
         times_below(0.5)},
        {"AWB Bayer B/G min 0x776", "1", [] {}, [] { put16(ISP_AWB_BAYER_CB_MIN_REG, 256); }, bayer_counted,
         times_below(0.5)},
        {"AWB Bayer limit 0x778", "R/G at most 0.25", [] {}, [] { put16(ISP_AWB_BAYER_LIMIT_CR_MAX_REG, 64); },
         bayer_counted, times_below(0.5)},
        {"AWB Bayer limit 0x77A", "R/G at least 1", [] {}, [] { put16(ISP_AWB_BAYER_LIMIT_CR_MIN_REG, 256); },
         bayer_counted, times_below(0.5)},
        {"AWB Bayer limit 0x77C", "B/G at most 0.25", [] {}, [] { put16(ISP_AWB_BAYER_LIMIT_CB_MAX_REG, 64); },
         bayer_counted, times_below(0.5)},
        {"AWB Bayer limit 0x77E", "B/G at least 1", [] {}, [] { put16(ISP_AWB_BAYER_LIMIT_CB_MIN_REG, 256); },
         bayer_counted, times_below(0.5)},
        {"AWB Bayer window, sum 0x660", "the window closed: nothing summed", [] {},
         [] { put16(ISP_AWB_BAYER_WHITE_REG, 0); }, bayer_sum, gone()},
        // The RGB statistics' extremes, which follow the light.
        {"RGB global min 0x750", "the exposure halved", [] {}, [] { exposure(168); }, rgb_min, times_below(0.6)},
        {"RGB global max 0x754", "the exposure halved, the sky below white", [] { exposure(40); },
         [] { exposure(20); }, rgb_max, times_below(0.6)},
        {"RGB global min and max", "the scene one grey: they close in", [] {},
         [] { sim::with_world([](sim::World &w) { w.scene_grey = true; }); }, rgb_spread, times_below(0.5)},
        // Focus statistics.
        {"focus switch 0x20582000", "off", af_on, [] { af_field(VI_AF_CTRL_REG, 0, 1, 0); }, af_h1, gone()},
        {"focus IIR gain 0x20582020", "128 for 64", af_on, [] { af_field(VI_AF_IIR_GAIN_REG(0), 0, 8, 128); }, af_h1,
         times_above(1.9)},
        {"focus IIR stages 0x20582000", "none of IIR 0's", af_on, [] { af_field(VI_AF_CTRL_REG, 1, 3, 0); }, af_h1,
         gone()},
        {"focus IIR threshold 0x20582070", "2047: the smaller steps left out", af_on,
         [] { af_field(VI_AF_IIR_THRESH_REG, 0, 11, 2047); }, af_h1, times_below(0.3)},
        {"focus accumulation shift 0x20582078", "one more for H", af_on, [] { af_field(VI_AF_ACC_SHIFT_REG, 0, 4, 9); },
         af_h1, times_below(0.6)},
        {"focus FIR taps 0x20582050", "32 for 16", af_on, [] { af_field(VI_AF_FIR_REG(0), 0, 6, 31); }, af_v1,
         times_above(1.8)},
        {"focus luma shift 0x20582078", "two more", af_on, [] { af_field(VI_AF_ACC_SHIFT_REG, 16, 4, 14); }, af_y,
         times_below(0.3)},
        {"focus window 0x205820E0", "the image's left half", af_on, [] { af_field(VI_AF_SIZE_REG, 0, 12, kW / 2 - 1); },
         af_y, times_below(0.7)},
        {"focus window 0x205820E0", "the image's top third", af_on,
         [] { af_field(VI_AF_SIZE_REG, 16, 12, kH / 3 - 1); }, af_h1, times_below(0.6)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.reg) + ", " + c.setting);
        restart();
        stream((32 + 64) * 4);
        c.from();
        const double before = c.measure();
        c.set();
        c.expect(before, c.measure());
    }
}

// The noise reduction's sigma filter against one simulated here: each
// pixel averaged with those of its neighbours within the threshold of it,
// over Gaussian noise, for each support and ratio of threshold to noise.
TEST(NoiseFilter, LeavesWhatASigmaFilterOverItsSupportLeaves)
{
    struct Case {
        uint32_t mode, side; // the filter mode, the support's side
        double ratio;        // threshold over noise
    } cases[] = {{4, 5, 0.25}, {4, 5, 0.75}, {4, 5, 1.5}, {4, 5, 4}, {3, 3, 1}, {5, 7, 2}};
    std::mt19937 rng(7);
    std::normal_distribution<double> gauss;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " at " + std::to_string(c.ratio));
        // The board's filter with a flat profile, at unity gain and a 12-bit range.
        NoiseFilter f;
        f.on = true;
        f.mode = c.mode;
        f.thresh_s = 32;
        f.profile[0].fill(64);
        const double range = 4096, threshold = 32 * 64 / 32.0 / range; // what the profile makes of it
        const double board = f.pass(threshold / c.ratio, 0.5, 0, 1, range);

        double sq = 0;
        const int trials = 40000, n = (int)(c.side * c.side);
        for (int t = 0; t < trials; t++) {
            const double d = gauss(rng);
            double sum = d, taken = 1;
            for (int k = 1; k < n; k++) {
                const double y = gauss(rng);
                if (std::fabs(y - d) < c.ratio)
                    sum += y, taken++;
            }
            sq += (sum / taken) * (sum / taken);
        }
        EXPECT_NEAR(board, std::sqrt(sq / trials), 0.03);
    }
}
