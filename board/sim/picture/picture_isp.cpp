// The ISP's stages that act on pixels, as their registers stand: noise
// reduction, DRC's tone curve (and the port its curve is loaded through),
// sharpen, and defect-pixel correction (with the static table's port and
// the detection). Their registers' reset state is theirs too.
#include "board/sim/picture/picture.h"

#include "isp/isp_hw_regs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <unordered_set>

namespace sim::picture {

namespace {

uint16_t get16(uint32_t addr)
{
    uint16_t v;
    memcpy(&v, phys(addr), 2);
    return v;
}
void put16(uint32_t addr, uint32_t v)
{
    uint16_t x = (uint16_t)v;
    memcpy(phys(addr), &x, 2);
}

// ---- noise reduction ----------------------------------------------------------------------------------

// Threshold x (profile + offset) / kProfileUnit is the filter's threshold in
// 12-bit levels at unity gain.
constexpr double kProfileUnit = 32;
constexpr uint32_t kNrProfileShift = 5; // 12-bit level >> 5: the profile's node
constexpr uint32_t kNrMaxMode = 8;      // the widest support the filter mode gives (13 x 13)
constexpr double kNrSlopeReach = 8;     // the smoothing is gone at 1 + kNrSlopeReach / slope thresholds

// What a sigma filter over `taps` pixels leaves of Gaussian noise, by the
// ratio of its threshold to the noise, in steps of 1/kRatioSteps up to
// kRatioMax: the spread of its output over the pixel's noise d, where each
// neighbour y (of the same noise) within the threshold of d joins the
// average. Worked out once by quadrature over d with the neighbours'
// truncated-normal mean and variance.
constexpr int kRatioSteps = 16, kRatioMax = 8, kRatioNodes = kRatioMax * kRatioSteps + 1;
using PassTable = std::array<double, kRatioNodes>;

double normal_pdf(double x) { return std::exp(-x * x / 2) / std::sqrt(2 * M_PI); }
double normal_cdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2)); }

PassTable pass_table(uint32_t taps)
{
    PassTable t;
    t[0] = 1;
    constexpr int kPoints = 96;
    constexpr double kSpan = 5; // d over +-5 sigma
    for (int i = 1; i < kRatioNodes; i++) {
        const double r = (double)i / kRatioSteps;
        double second = 0, weight = 0;
        for (int j = 0; j < kPoints; j++) {
            const double d = -kSpan + (j + 0.5) * 2 * kSpan / kPoints, w = normal_pdf(d);
            const double a = d - r, b = d + r, p = normal_cdf(b) - normal_cdf(a);
            double mean = 0, var = 0;
            if (p > 1e-12) {
                mean = (normal_pdf(a) - normal_pdf(b)) / p;
                var = 1 + (a * normal_pdf(a) - b * normal_pdf(b)) / p - mean * mean;
            }
            const double n = (taps - 1) * p; // the neighbours that join
            const double out_mean = (d + n * mean) / (1 + n), out_var = n * var / ((1 + n) * (1 + n));
            second += w * (out_var + out_mean * out_mean);
            weight += w;
        }
        t[i] = std::sqrt(second / weight);
    }
    return t;
}

// The tables of the filter modes 2..kNrMaxMode (supports 1, 3, 5 ... pixels square).
const PassTable &pass_of_mode(uint32_t mode)
{
    static const std::vector<PassTable> tables = [] {
        std::vector<PassTable> v;
        for (uint32_t m = 2; m <= kNrMaxMode; m++)
            v.push_back(pass_table((2 * m - 3) * (2 * m - 3)));
        return v;
    }();
    return tables[std::clamp<uint32_t>(mode, 2, kNrMaxMode) - 2];
}

// At reset: a flat profile and the linear modes' support, slope and limit.
constexpr uint8_t kNrResetProfile = 32;
constexpr uint32_t kNrResetFilter = 4, kNrResetSlope = 4, kNrResetLimit = 0xFFFF;

// ---- DRC ---------------------------------------------------------------------------------------------------

constexpr double kDrcSlopeMaxUnit = 16, kDrcSlopeMinUnit = 256, kDrcVarianceMax = 15;
constexpr uint32_t kDrcResetSlopeMax = 0xFF, kDrcResetWhite = 0xFFF;

// The asymmetry curve the hardware keeps, loaded through its port.
std::mutex g_curve_lock;
std::array<uint16_t, ToneCurve::kNodes> g_drc_curve;

// At reset the curve is a square root: full strength takes Y to sqrt(Y).
void reset_drc_curve()
{
    std::lock_guard<std::mutex> lock(g_curve_lock);
    for (int i = 0; i < ToneCurve::kNodes; i++)
        g_drc_curve[i] = (uint16_t)std::lround(65535 * std::sqrt(i / (ToneCurve::kNodes - 1.0)));
}

// A write of the data register stores its 16 bits at the index while the
// gamma block's access bit holds the port open; other indexes go nowhere.
void drc_curve_written(uint32_t, unsigned, uint32_t)
{
    if (!(*phys(ISP_GAMMA_CTRL_REG) & ISP_GAMMA_CTRL_ACCESS))
        return;
    const uint32_t index = *phys(ISP_DRC_ASY_INDEX_REG);
    if (index >= (uint32_t)ToneCurve::kNodes)
        return;
    std::lock_guard<std::mutex> lock(g_curve_lock);
    g_drc_curve[index] = get16(ISP_DRC_ASY_DATA_REG);
}

RegHookRegistration drc_curve_port(ISP_DRC_ASY_DATA_REG, drc_curve_written, nullptr);

// ---- sharpen -----------------------------------------------------------------------------------------------

// The edge classes' contrast: how far a pixel of each class stands from its
// neighbours, relatively, and what detail sharpening adds at full strength.
constexpr double kEdgeContrast[3] = {0, 0.12, 0.35};
constexpr double kEdgeAmount[3] = {0, 0.12, 0.35};
constexpr double kRgbSharpenUnit = 1024; // RGB strength x (entry - 128) / this: 8-bit levels
constexpr uint32_t kCurveMiddle = 128;

// ---- defect pixels -------------------------------------------------------------------------------------

constexpr double kDpSlopeUnit = 1024, kDpBlendUnit = 256;
constexpr uint32_t kDpEntryMask = 0xFFFFFF;

std::mutex g_dp_lock;
std::vector<uint32_t> g_dp_table(ISP_DP_TABLE_SIZE);

// The registers these stages read, as the hardware comes out of reset.
void reset_stages()
{
    for (uint32_t i = 0; i < NoiseFilter::kProfileNodes; i++) {
        *phys(ISP_NR_PROFILE_REG(i)) = kNrResetProfile;
        *phys(ISP_NR_PROFILE2_REG(i)) = kNrResetProfile;
    }
    put16(ISP_NR_LIMIT_REG, kNrResetLimit);
    *phys(ISP_NR_FILTER_REG) = kNrResetFilter;
    *phys(ISP_NR_SLOPE_REG) = kNrResetSlope;
    *phys(ISP_DRC_SLOPE_MAX_REG) = kDrcResetSlopeMax;
    put16(ISP_DRC_WHITE_REG, kDrcResetWhite);
    reset_drc_curve();
    std::lock_guard<std::mutex> lock(g_dp_lock);
    std::fill(g_dp_table.begin(), g_dp_table.end(), 0);
}

Hooks stage_hooks(reset_stages);

} // namespace

// ---- noise reduction ----------------------------------------------------------------------------------

NoiseFilter NoiseFilter::read()
{
    NoiseFilter f;
    f.on = (*phys(ISP_NR_CTRL_REG) & ISP_NR_CTRL_ENABLE) && !(*phys(ISP_MODULE_CTRL_REG) & ISP_MODULE_NR_BYPASS);
    f.mode = std::min<uint32_t>(*phys(ISP_NR_FILTER_REG), kNrMaxMode);
    f.on = f.on && f.mode >= 3; // a support of one pixel smooths nothing
    if (!f.on)
        return f;
    f.stitching = (*phys(ISP_FSWDR_PATH_REG) & ISP_FSWDR_PATH_ON) && !(*phys(ISP_FSWDR_BYPASS_REG) & ISP_FSWDR_BYPASS);
    f.thresh_s = *phys(ISP_NR_THRESH_S_REG);
    f.thresh_l = *phys(ISP_NR_THRESH_L_REG);
    f.offset = *phys(ISP_NR_OFFSET_REG);
    f.limit = get16(ISP_NR_LIMIT_REG) / 65535.0;
    const uint32_t slope = *phys(ISP_NR_SLOPE_REG);
    f.reach = 1 + (slope ? kNrSlopeReach / slope / 2 : 0); // a fading weight as far as half its reach
    for (int i = 0; i < kProfileNodes; i++) {
        f.profile[0][i] = *phys(ISP_NR_PROFILE_REG(i));
        f.profile[1][i] = *phys(ISP_NR_PROFILE2_REG(i));
    }
    return f;
}

SIM_PIXEL_LOOP double NoiseFilter::pass(double sigma, double lin, int site, double gain, double range) const
{
    if (!on || sigma <= 0 || range <= 0)
        return 1;
    const double level = std::clamp(lin, 0.0, 1.0);
    double thresh = thresh_s;
    if (stitching && level < limit)
        thresh = thresh_l;
    else if (!stitching && level >= limit)
        return 1; // beyond the profile's end
    const int node = std::min(kProfileNodes - 1, (int)(level * range) >> kNrProfileShift);
    const double t = thresh * (profile[site][node] + offset) / kProfileUnit * std::sqrt(std::max(gain, 0.0)) / range;
    const double pos = std::min(t * reach / sigma * kRatioSteps, (double)kRatioNodes - 1);
    const PassTable &table = pass_of_mode(mode);
    const int i = std::min(kRatioNodes - 2, (int)pos);
    const double f = pos - i;
    return (1 - f) * table[i] + f * table[i + 1];
}

bool NoiseFilter::operator==(const NoiseFilter &o) const
{
    if (on != o.on)
        return false;
    return !on || (stitching == o.stitching && thresh_s == o.thresh_s && thresh_l == o.thresh_l && offset == o.offset &&
                   limit == o.limit && reach == o.reach && mode == o.mode && profile[0] == o.profile[0] &&
                   profile[1] == o.profile[1]);
}

// ---- DRC ---------------------------------------------------------------------------------------------------

ToneCurve ToneCurve::read()
{
    ToneCurve c;
    c.strength = *phys(ISP_DRC_STRENGTH_REG) / 255.0;
    c.on = (*phys(ISP_DRC_CTRL_REG) & 1) && c.strength > 0;
    if (!c.on)
        return c;
    const double black = (get16(ISP_DRC_BLACK_REG) & 0xFFF) / 4095.0, white = (get16(ISP_DRC_WHITE_REG) & 0xFFF) / 4095.0;
    if (white > black)
        c.black = black, c.white = white;
    c.gain_max = 1 + *phys(ISP_DRC_SLOPE_MAX_REG) / kDrcSlopeMaxUnit;
    c.gain_min = *phys(ISP_DRC_SLOPE_MIN_REG) / kDrcSlopeMinUnit;
    const uint8_t variance = *phys(ISP_DRC_VARIANCE_REG);
    c.detail = 1 - (variance & 0xF) / kDrcVarianceMax * (1 - (variance >> 4) / kDrcVarianceMax);
    std::lock_guard<std::mutex> lock(g_curve_lock);
    c.curve = g_drc_curve;
    return c;
}

SIM_PIXEL_LOOP double ToneCurve::gain(double y) const
{
    if (!on || y <= 0 || y < black || y > white)
        return 1;
    const double pos = (y - black) / (white - black) * (kNodes - 1);
    const int i = std::min(kNodes - 2, (int)pos);
    const double f = pos - i, a = ((1 - f) * curve[i] + f * curve[i + 1]) / 65535.0;
    const double target = black + a * (white - black);
    return std::clamp((y + strength * (target - y)) / y, gain_min, gain_max);
}

bool ToneCurve::operator==(const ToneCurve &o) const
{
    if (on != o.on)
        return false;
    return !on || (strength == o.strength && black == o.black && white == o.white && gain_min == o.gain_min &&
                   gain_max == o.gain_max && detail == o.detail && curve == o.curve);
}

std::array<uint16_t, ToneCurve::kNodes> drc_curve()
{
    std::lock_guard<std::mutex> lock(g_curve_lock);
    return g_drc_curve;
}

// ---- sharpen -----------------------------------------------------------------------------------------------

Sharpener Sharpener::read()
{
    Sharpener s;
    s.over = *phys(ISP_SHARPEN_D_REG) / 255.0;
    s.under = *phys(ISP_SHARPEN_UD_REG) / 255.0;
    s.lum_thresh = (get16(ISP_SHARPEN_LUM_REG) & 0xFFF) / 4095.0;
    const uint8_t ctrl = *phys(ISP_SHARPEN_RGB_CTRL_REG);
    s.rgb_strength = *phys(ISP_SHARPEN_RGB_REG);
    s.rgb_on = (ctrl & ISP_SHARPEN_RGB_ON) && s.rgb_strength > 0;
    if (s.rgb_on) {
        const uint32_t bank = ((ctrl & ISP_SHARPEN_RGB_BANK) >> 2) & 1;
        for (int i = 0; i < kCurveEntries; i++)
            s.curve[i] = (int16_t)((phys_read32(ISP_SHARPEN_RGB_CURVE_REG(bank * kCurveEntries + i)) & 0xFF) -
                                   (int)kCurveMiddle);
    }
    return s;
}

SIM_PIXEL_LOOP Rgb Sharpener::apply(const Rgb &v, int edge) const
{
    if (!edge)
        return v;
    const int k = std::min(2, std::abs(edge));
    const double y = 0.299 * v.r + 0.587 * v.g + 0.114 * v.b;
    const double fade = lum_thresh > 0 ? std::min(1.0, y / lum_thresh) : 1;
    const double f = edge > 0 ? 1 + over * kEdgeAmount[k] * fade : 1 - under * kEdgeAmount[k] * fade;
    Rgb out = {v.r * f, v.g * f, v.b * f};
    if (rgb_on) {
        // The step to the neighbours in 8-bit luma, halved: one side of the
        // curve's middle for the light side of the edge, the other for the dark.
        const int step = std::min<int>(kCurveMiddle - 1, (int)(y * 255 * kEdgeContrast[k] / (1 + kEdgeContrast[k]) / 2));
        const int entry = edge > 0 ? (int)kCurveMiddle + step : (int)kCurveMiddle - 1 - step;
        const double add = curve[entry] * rgb_strength / kRgbSharpenUnit / 255;
        out = {out.r + add, out.g + add, out.b + add};
    }
    auto clip = [](double x) { return x < 0 ? 0 : x > 1 ? 1 : x; };
    return {clip(out.r), clip(out.g), clip(out.b)};
}

bool Sharpener::operator==(const Sharpener &o) const
{
    return over == o.over && under == o.under && lum_thresh == o.lum_thresh && rgb_on == o.rgb_on &&
           (!rgb_on || (rgb_strength == o.rgb_strength && curve == o.curve));
}

// ---- defect pixels -------------------------------------------------------------------------------------

DefectFilter DefectFilter::read()
{
    DefectFilter d;
    d.dynamic = *phys(ISP_DP_CTRL_REG) & ISP_DP_CTRL_DYNAMIC;
    d.stat = *phys(ISP_DP_STATIC_REG) & ISP_DP_STATIC_ENABLE;
    d.thresh = get16(ISP_DP_THRESH_REG) & 0xFFF;
    d.slope = get16(ISP_DP_SLOPE_REG) & 0xFFF;
    d.line = get16(ISP_DP_LINE_THRESH_REG) & 0xFFF;
    d.high_pass = get16(ISP_DP_HP_THRESH_REG) & 0xFFF;
    d.blend = *phys(ISP_DP_BLEND_REG);
    d.count = get16(ISP_DP_COUNT_REG) & 0xFFF;
    return d;
}

double DefectFilter::kept_dynamic(double excess, double local) const
{
    if (!dynamic)
        return 1;
    if (excess <= thresh + slope * local / kDpSlopeUnit || excess <= line)
        return 1; // not told from the picture
    return excess > high_pass ? 0 : blend / kDpBlendUnit;
}

bool DefectFilter::operator==(const DefectFilter &o) const
{
    return dynamic == o.dynamic && stat == o.stat && thresh == o.thresh && slope == o.slope && line == o.line &&
           high_pass == o.high_pass && blend == o.blend && count == o.count;
}

// A hot pixel stands above black by what it reads in the dark (8-bit).
std::vector<double> hot_pixels_kept(const Pipe &pipe, const std::vector<HotPixel> &hot, const std::vector<double> &local)
{
    std::vector<double> kept(hot.size(), 1);
    const double range = 4095 - pipe.black[1];
    for (size_t i = 0; i < hot.size(); i++)
        kept[i] = pipe.dp.kept_dynamic(hot[i].level * 16.0, (i < local.size() ? local[i] : 0) * range);
    if (pipe.dp.stat && pipe.dp.count) {
        std::unordered_set<uint32_t> table;
        {
            std::lock_guard<std::mutex> lock(g_dp_lock);
            table.insert(g_dp_table.begin(), g_dp_table.begin() + std::min<uint32_t>(pipe.dp.count, ISP_DP_TABLE_SIZE));
        }
        for (size_t i = 0; i < hot.size(); i++)
            if (table.count(ISP_DP_POS(hot[i].x, hot[i].y)))
                kept[i] = 0;
    }
    return kept;
}

// The table port (isp/isp_hw_regs.h): the index register holds 12 bits
// (a written index keeps its low 12), each data access takes or gives the
// entry at the index and moves the index on, from 4095 back to 0. Entries
// hold 24 bits. A write to the read-data register changes nothing.
namespace {

uint32_t dp_port_index() { return phys_read32(ISP_DP_TABLE_INDEX_REG) & (ISP_DP_TABLE_SIZE - 1); }
void dp_port_advance(uint32_t index) { phys_write32(ISP_DP_TABLE_INDEX_REG, (index + 1) & (ISP_DP_TABLE_SIZE - 1)); }

void dp_index_written(uint32_t, unsigned, uint32_t)
{
    std::lock_guard<std::mutex> lock(g_dp_lock);
    phys_write32(ISP_DP_TABLE_INDEX_REG, dp_port_index());
}

// The whole register as the write left it, so that narrow writes add up.
void dp_data_written(uint32_t, unsigned, uint32_t)
{
    std::lock_guard<std::mutex> lock(g_dp_lock);
    uint32_t index = dp_port_index();
    g_dp_table[index] = phys_read32(ISP_DP_TABLE_WDATA_REG) & kDpEntryMask;
    dp_port_advance(index);
}

uint32_t dp_data_read(uint32_t phys, unsigned width)
{
    std::lock_guard<std::mutex> lock(g_dp_lock);
    uint32_t index = dp_port_index();
    uint32_t entry = g_dp_table[index] >> (8 * (phys & 3));
    dp_port_advance(index);
    return width == 4 ? entry : entry & ((1u << 8 * width) - 1);
}

RegHookRegistration dp_port[] = {
    {ISP_DP_TABLE_INDEX_REG, dp_index_written, nullptr},
    {ISP_DP_TABLE_WDATA_REG, dp_data_written, nullptr},
    {ISP_DP_TABLE_RDATA_REG, nullptr, dp_data_read},
};

} // namespace

std::vector<uint32_t> dp_table()
{
    std::lock_guard<std::mutex> lock(g_dp_lock);
    return g_dp_table;
}

void dp_detect()
{
    const uint32_t threshold = get16(ISP_DP_THRESH_REG) & 0xFFF, start = get16(ISP_DP_START_REG) & 0xFFF;
    uint32_t found = 0;
    {
        std::lock_guard<std::mutex> lock(g_dp_lock);
        for (const HotPixel &h : sensor_hot_pixels())
            if (h.level > threshold && found < ISP_DP_TABLE_SIZE - 1)
                g_dp_table[(start + found++) & 0xFFF] = ISP_DP_POS(h.x, h.y);
    }
    put16(ISP_DP_FOUND_REG, found);
}

} // namespace sim::picture
