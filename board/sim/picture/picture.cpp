// The scene's colours and layout, the sensor's response, and the ISP's
// pipeline worked out per palette entry from the registers of the frame.
#include "board/sim/picture/picture.h"

#include "board/sim/picture/lens.h"
#include "isp/isp_hw_regs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <tuple>

namespace sim::picture {

namespace {

// ---- the scene's colours ------------------------------------------------------------------------

// Sky from its top to the horizon (brighter): an azure far enough from
// any light's colour that the white balance leaves it out, as it would a
// real blue sky.
constexpr Rgb kSkyTop = {0.06, 1.45, 2.15}, kSkyHorizon = {0.12, 1.80, 2.60};
constexpr Rgb kTiles[2] = {{0.80, 0.80, 0.78}, {0.42, 0.42, 0.41}};
constexpr Rgb kBarColours[kBars] = {{2.00, 0.20, 0.15}, {0.30, 1.80, 0.20}, {0.20, 0.30, 2.00},
                                    {0.20, 1.70, 1.90}, {1.90, 0.25, 1.80}, {2.00, 1.90, 0.20}};
// A colour chart's neutral row (reflectances 0.90 .. 0.03) against a mid
// grey of 0.27.
constexpr double kPatchLevels[kPatches] = {3.0, 2.0, 1.2, 0.65, 0.3, 0.1};
constexpr Rgb kSquareColour = {2.5, 2.5, 2.5};

// A grey of 1.0 at the nominal exposure reads 28% of full scale in green,
// which puts the mean luma near the exposure library's target.
constexpr double kMidGrey = 0.28;

// The sensor's black pedestal (as its driver reports it) and its white, 12-bit.
constexpr double kPedestal = 256, kWhite = 4095;

// The haze's air light: a bright, slightly blue white.
constexpr Rgb kAirLight = {2.2, 2.3, 2.5};

// The lens: its optical axis meets the field's centre.
constexpr double kFieldCx = kSensorFieldWidth / 2.0, kFieldCy = kSensorFieldHeight / 2.0;
constexpr double kDefaultCornerLight = 0.4;

// The column pattern's classes, in units of board.conf sensor.column_pattern.
constexpr double kColumnLevel[kColumnClasses] = {-1.5, -0.5, 0.5, 1.5};
constexpr double kDefaultColumnPattern = 12;
constexpr double kColumnShown = 0.05; // a class offset (12-bit) below this shows nothing

// The dehaze block never divides by less than this transmission.
constexpr double kMinTransmission = 0.25;

// Noise of the sensor at unity gain, in full-scale units: photon noise
// (variance kShot x signal) and read noise. Scaled by the gain.
constexpr double kShot = 1.0 / 3000, kRead = 0.0012;

// The noise levels: the middle of 16 equal slices of a normal distribution.
constexpr double kNoiseQuantile[kNoiseLevels] = {-1.8627, -1.318,  -1.01,  -0.7764, -0.5791, -0.4023,
                                                 -0.2372, -0.0784, 0.0784, 0.2372,  0.4023,  0.5791,
                                                 0.7764,  1.01,    1.318,  1.8627};

double clip1(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

uint16_t get16(uint32_t addr)
{
    uint16_t v;
    memcpy(&v, phys(addr), 2);
    return v;
}

// The sensor's colour response: what it makes of a colour of the scene.
// Less saturated than the scene, by the inverse of the colour matrix it was
// calibrated with in daylight; neutral stays neutral (rows add up to one).
struct Matrix {
    double m[9];
};

Matrix sensor_response()
{
    const double c[9] = {396 / 256.0, -142 / 256.0, 2 / 256.0,   -89 / 256.0, 443 / 256.0,
                         -98 / 256.0, 22 / 256.0,   -313 / 256.0, 547 / 256.0};
    double det = c[0] * (c[4] * c[8] - c[5] * c[7]) - c[1] * (c[3] * c[8] - c[5] * c[6]) +
                 c[2] * (c[3] * c[7] - c[4] * c[6]);
    Matrix inv = {{(c[4] * c[8] - c[5] * c[7]) / det, (c[2] * c[7] - c[1] * c[8]) / det,
                   (c[1] * c[5] - c[2] * c[4]) / det, (c[5] * c[6] - c[3] * c[8]) / det,
                   (c[0] * c[8] - c[2] * c[6]) / det, (c[2] * c[3] - c[0] * c[5]) / det,
                   (c[3] * c[7] - c[4] * c[6]) / det, (c[1] * c[6] - c[0] * c[7]) / det,
                   (c[0] * c[4] - c[1] * c[3]) / det}};
    return inv;
}

Rgb apply(const double *m, const Rgb &v)
{
    return {m[0] * v.r + m[1] * v.g + m[2] * v.b, m[3] * v.r + m[4] * v.g + m[5] * v.b,
            m[6] * v.r + m[7] * v.g + m[8] * v.b};
}

// A neutral grey's raw colour under light of `kelvin`: the sensor's
// calibrated white-balance curve put back through its static gains
// (R 496, B 416 in 8.8), with green as 1.
Rgb illuminant(int kelvin)
{
    const double a = 41, b = 127, c = -87, d = 174535, e = -123490;
    double m = 256e6 / std::max(kelvin, 1000);
    double t = (d / 2 + (m - e) * 256) / d;
    double X = t * t;
    double Y = (b * 65536 + a * X) / (c + X / 256);
    return {X / 65536 * 256 / 496, 1.0, Y / 65536 * 256 / 416};
}

// Colour matrix registers: bit 15 the sign, the magnitude in 8.8.
double ccm_value(uint16_t v) { return (v & 0x8000 ? -1.0 : 1.0) * (v & 0x7FFF) / 256.0; }

double gamma_of(const std::array<uint16_t, 257> &t, double x)
{
    double pos = clip1(x) * 256;
    int i = std::min(255, (int)pos);
    double f = pos - i;
    return ((1 - f) * t[i] + f * t[i + 1]) / 4095.0;
}

// ---- the lens, the column pattern and the fixed-pattern correction ------------------------------

// From board.conf at start: the fall-off's k and the column pattern's unit.
double g_lens_k = 0;
double g_column_unit = 0;
double g_noise_scale = 1; // sensor.noise: 0 a sensor without noise

// The dark level of each column class the correction in force loaded.
std::mutex g_fpn_lock;
bool g_fpn_loaded = false;
double g_fpn_dark[kColumnClasses] = {};

void read_conf()
{
    double corner = kDefaultCornerLight, unit = kDefaultColumnPattern, noise = 1;
    parse_double(conf("sensor.shading", "0.4"), corner);
    parse_double(conf("sensor.column_pattern", "12"), unit);
    parse_double(conf("sensor.noise", "1"), noise);
    g_noise_scale = std::clamp(noise, 0.0, 16.0);
    corner = std::clamp(corner, 0.05, 1.0);
    g_lens_k = 1 / std::sqrt(corner) - 1;
    g_column_unit = std::clamp(unit, 0.0, 256.0);
    std::lock_guard<std::mutex> lock(g_fpn_lock);
    g_fpn_loaded = false;
}

// The hardware's state at reset: what the picture shows before any module
// wrote its registers (see isp/isp_hw_regs.h).
void reset_registers()
{
    auto put16 = [](uint32_t addr, uint32_t v) {
        uint16_t x = (uint16_t)v;
        memcpy(phys(addr), &x, 2);
    };
    put16(ISP_BLC_COMMON_REG, ISP_BLC_RESET_LEVEL << 4);
    for (uint32_t c = 0; c < 4; c++)
        put16(ISP_WB_GAIN_REG(c), ISP_WB_RESET_GAIN[c]);
    for (uint32_t i = 0; i < 9; i++)
        put16(ISP_CCM_REG(i), ISP_CCM_RESET[i]);
    for (uint32_t c = 0; c < 3; c++)
        put16(ISP_TONE_GAIN_REG(c), ISP_GAIN_ONE);
    for (uint32_t i = 0; i < 257; i++)
        phys_write32(ISP_GAMMA_TABLE_REG(i), (uint32_t)std::lround(4095 * std::pow(i / 256.0, ISP_GAMMA_RESET_POWER)));
    *phys(ISP_GAMMA_CTRL_REG) = ISP_GAMMA_CTRL_ENABLE;
    // The statistics' windows open, every zone weighed alike.
    put16(ISP_AWB_WHITE_REG, 0x3FF);
    for (uint32_t reg : {ISP_AWB_CR_MAX_REG, ISP_AWB_CB_MAX_REG, ISP_AWB_LIMIT_CR_MAX_REG, ISP_AWB_LIMIT_CB_MAX_REG,
                         ISP_AWB_BAYER_WHITE_REG, ISP_AWB_BAYER_CR_MAX_REG, ISP_AWB_BAYER_CB_MAX_REG,
                         ISP_AWB_BAYER_LIMIT_CR_MAX_REG, ISP_AWB_BAYER_LIMIT_CB_MAX_REG})
        put16(reg, 0xFFF);
    for (uint32_t k = 0; k < kZoneRows * kZoneCols; k++)
        *phys(ISP_AE_WEIGHT_REG(k)) = 1;
    read_conf();
}

Hooks picture_hooks(reset_registers);

} // namespace

// ---- the scene --------------------------------------------------------------------------------

Rgb scene_colour(int colour)
{
    if (colour >= kSky0 && colour < kSky0 + kSkySteps) {
        double f = (colour - kSky0) / (double)(kSkySteps - 1);
        return {kSkyTop.r + f * (kSkyHorizon.r - kSkyTop.r), kSkyTop.g + f * (kSkyHorizon.g - kSkyTop.g),
                kSkyTop.b + f * (kSkyHorizon.b - kSkyTop.b)};
    }
    if (colour == kTileLight || colour == kTileDark)
        return kTiles[colour - kTileLight];
    if (colour >= kBar0 && colour < kBar0 + kBars)
        return kBarColours[colour - kBar0];
    if (colour >= kPatch0 && colour < kPatch0 + kPatches) {
        double l = kPatchLevels[colour - kPatch0];
        return {l, l, l};
    }
    if (colour == kSquare)
        return kSquareColour;
    return {1, 1, 1}; // the grey
}

double patch_level(int patch) { return kPatchLevels[std::clamp(patch, 0, kPatches - 1)]; }

int scene_colour_at(double u, double v, bool grey)
{
    if (grey)
        return kGrey;
    if (v < kSkyBottom)
        return kSky0 + std::min(kSkySteps - 1, (int)(v / kSkyBottom * kSkySteps));
    if (v >= kBarTop && v < kBarBottom)
        return kBar0 + std::clamp((int)(u * kBars), 0, kBars - 1);
    if (v >= kPatchTop && v < kPatchBottom && u >= kPatchLeft && u < kPatchLeft + kPatches * kPatchWidth)
        return kPatch0 + std::min(kPatches - 1, (int)((u - kPatchLeft) / kPatchWidth));
    int tile = ((int)(u * 12) + (int)(v * 16)) & 1;
    return tile ? kTileLight : kTileDark;
}

Rgb hazed(const Rgb &rad, double haze)
{
    if (haze <= 0)
        return rad;
    const double h = std::min(haze, 1.0);
    return {rad.r + h * (kAirLight.r - rad.r), rad.g + h * (kAirLight.g - rad.g), rad.b + h * (kAirLight.b - rad.b)};
}

Rect moving_square(uint64_t t_us)
{
    const double side = 0.2, cx = std::fmod(t_us / 4e6, 1.0), cy = 0.5;
    return {cx - side / 2, cy - side / 2, cx + side / 2, cy + side / 2};
}

// ---- the lens, the column pattern and the ISP's corrections of them ---------------------------

double lens_falloff(double x, double y)
{
    static const double half_diagonal2 = kFieldCx * kFieldCx + kFieldCy * kFieldCy;
    const double dx = x - kFieldCx, dy = y - kFieldCy;
    const double q = 1 + g_lens_k * (dx * dx + dy * dy) / half_diagonal2;
    return 1 / (q * q);
}

ShadingTables ShadingTables::read()
{
    ShadingTables t;
    t.on = *phys(ISP_SHADING_CTRL_REG) & ISP_SHADING_CTRL_ENABLE;
    if (!t.on)
        return t;
    for (uint32_t c = 0; c < 3; c++) {
        t.center_x[c] = phys_read32(ISP_SHADING_CENTER_X_REG(c));
        t.center_y[c] = phys_read32(ISP_SHADING_CENTER_Y_REG(c));
        t.scale[c] = phys_read32(ISP_SHADING_SCALE_REG(c));
        for (uint32_t k = 0; k < ISP_SHADING_NODES; k++)
            t.table[c][k] = get16(ISP_SHADING_TABLE_REG(c, k));
    }
    t.crop_x = get16(ISP_CROP_X_REG);
    t.crop_y = get16(ISP_CROP_Y_REG);
    return t;
}

Rgb ShadingTables::gains(double x, double y) const
{
    if (!on)
        return {1, 1, 1};
    double g[3];
    for (int c = 0; c < 3; c++) {
        const double dx = x - crop_x - center_x[c], dy = y - crop_y - center_y[c];
        const double node = (dx * dx + dy * dy) * scale[c] / (double)(1u << ISP_SHADING_SCALE_SHIFT);
        const uint32_t last = ISP_SHADING_NODES - 1;
        double v;
        if (node >= last) {
            v = table[c][last];
        } else {
            const uint32_t k = (uint32_t)node;
            const double f = node - k;
            v = (1 - f) * table[c][k] + f * table[c][k + 1];
        }
        g[c] = v / ISP_SHADING_UNITY;
    }
    return {g[0], g[1], g[2]};
}

bool ShadingTables::operator==(const ShadingTables &o) const
{
    if (on != o.on)
        return false;
    if (!on)
        return true; // tables written while off change nothing
    for (int c = 0; c < 3; c++)
        if (center_x[c] != o.center_x[c] || center_y[c] != o.center_y[c] || scale[c] != o.scale[c] ||
            table[c] != o.table[c])
            return false;
    return crop_x == o.crop_x && crop_y == o.crop_y;
}

Shade Shade::at(const ShadingTables &t, double x, double y)
{
    auto step = [](double v, double hi) { return std::clamp(std::lround(v * kShadeOne), 0l, (long)hi); };
    Shade s;
    s.falloff = (uint8_t)step(lens_falloff(x, y), 255);
    const Rgb g = t.gains(x, y);
    s.gain[0] = (uint16_t)step(g.r, 65535);
    s.gain[1] = (uint16_t)step(g.g, 65535);
    s.gain[2] = (uint16_t)step(g.b, 65535);
    return s;
}

bool Shade::operator<(const Shade &o) const
{
    return std::tie(falloff, gain[0], gain[1], gain[2]) < std::tie(o.falloff, o.gain[0], o.gain[1], o.gain[2]);
}

bool Variant::operator<(const Variant &o) const
{
    if (colour != o.colour)
        return colour < o.colour;
    if (edge != o.edge)
        return edge < o.edge;
    return shade < o.shade;
}

int column_class(uint32_t column)
{
    uint32_t h = (column + 1) * 2654435761u;
    h ^= h >> 15;
    return (int)(h * 2246822519u >> 30);
}

double column_offset(int cls, double gain) { return kColumnLevel[cls & 3] * g_column_unit * gain; }

std::vector<uint16_t> dark_row(double gain)
{
    std::vector<uint16_t> row(kSensorFieldWidth);
    for (uint32_t c = 0; c < kSensorFieldWidth; c++)
        row[c] = (uint16_t)std::clamp(std::lround(kPedestal + column_offset(column_class(c), gain)), 0l, 4095l);
    return row;
}

void fpn_load(const std::vector<uint16_t> &dark)
{
    double sum[kColumnClasses] = {}, n[kColumnClasses] = {};
    for (uint32_t c = 0; c < dark.size(); c++) {
        sum[column_class(c)] += dark[c];
        n[column_class(c)]++;
    }
    std::lock_guard<std::mutex> lock(g_fpn_lock);
    for (int k = 0; k < kColumnClasses; k++)
        g_fpn_dark[k] = n[k] ? sum[k] / n[k] : kPedestal;
    g_fpn_loaded = true;
}

// ---- one frame's settings ----------------------------------------------------------------------

Pipe Pipe::read(double exposure, const World &w)
{
    Pipe p;
    // The lens's aperture passes its share of the scene's light.
    p.exposure = std::max(0.0, exposure) * kMidGrey * std::max(0.0, w.scene_brightness) * lens_light();
    p.light = illuminant(w.scene_kelvin);
    p.gain = sensor_gain();
    // A sensor nobody programmed shows the scene clean.
    p.programmed = sensor_exposure_gain() > 0;
    p.noise = p.programmed ? g_noise_scale : 0;

    if (!(*phys(ISP_MODULE_CTRL_REG) & ISP_MODULE_BLC_BYPASS)) {
        const double common = (get16(ISP_BLC_COMMON_REG) & 0xFFF0) >> 4;
        double offset[4];
        for (uint32_t c = 0; c < 4; c++)
            offset[c] = (get16(ISP_BLC_OFFSET_REG(c)) & 0x3FFC) >> 2;
        p.black[0] = common + offset[0];
        p.black[1] = common + (offset[1] + offset[2]) / 2;
        p.black[2] = common + offset[3];
    }

    const double gain[4] = {(get16(ISP_WB_GAIN_REG(0)) & 0xFFF) / 256.0, (get16(ISP_WB_GAIN_REG(1)) & 0xFFF) / 256.0,
                            (get16(ISP_WB_GAIN_REG(2)) & 0xFFF) / 256.0, (get16(ISP_WB_GAIN_REG(3)) & 0xFFF) / 256.0};
    p.wb[0] = gain[0];
    p.wb[1] = (gain[1] + gain[2]) / 2;
    p.wb[2] = gain[3];
    for (uint32_t i = 0; i < 9; i++)
        p.ccm[i] = ccm_value(get16(ISP_CCM_REG(i)));
    for (uint32_t c = 0; c < 3; c++)
        p.tone[c] = get16(ISP_TONE_GAIN_REG(c)) / 256.0;

    p.drc = ToneCurve::read();
    p.gamma_on = *phys(ISP_GAMMA_CTRL_REG) & ISP_GAMMA_CTRL_ENABLE;
    if (p.gamma_on)
        for (uint32_t i = 0; i < 257; i++)
            p.gamma[i] = (uint16_t)(phys_read32(ISP_GAMMA_TABLE_REG(i)) & 0xFFF);
    p.nr = NoiseFilter::read();
    p.sharpen = Sharpener::read();
    p.dp = DefectFilter::read();
    p.haze = std::clamp(w.scene_haze, 0.0, 1.0);
    p.read_columns();
    p.read_dehaze();
    return p;
}

// The sensor's column pattern (a programmed sensor's dark signal) less what
// the video input's correction takes off each column: (dark - offset) x
// strength / 256.
void Pipe::read_columns()
{
    for (int k = 0; k < kColumnClasses; k++)
        column[k] = programmed ? column_offset(k, gain) : 0;
    if ((phys_read32(VI_FPN_CTRL_REG) & (VI_FPN_CTRL_ON | VI_FPN_CTRL_CALIBRATING)) == VI_FPN_CTRL_ON) {
        const uint32_t cfg = phys_read32(VI_FPN_CFG_REG(0));
        const double strength = (cfg >> 16) / (double)VI_FPN_STRENGTH_ONE, offset = cfg & 0xFFF;
        std::lock_guard<std::mutex> lock(g_fpn_lock);
        if (g_fpn_loaded)
            for (int k = 0; k < kColumnClasses; k++)
                column[k] -= (g_fpn_dark[k] - offset) * strength;
    }
    columns = false;
    for (double c : column)
        columns = columns || std::fabs(c) >= kColumnShown;
}

// The dehaze block: the air light the firmware handed back, and one
// transmission for the picture from the strength and the mean of the
// blocks' filtered dark values, 1 - strength x dark / air.
void Pipe::read_dehaze()
{
    if (!(phys_read32(VI_DEHAZE_CTRL_REG) & 0xFF))
        return;
    const uint32_t a = phys_read32(VI_DEHAZE_AIR_REG);
    air = {(a >> 16 & 0xFF) / 255.0, (a >> 8 & 0xFF) / 255.0, (a & 0xFF) / 255.0};
    const double strength = (phys_read32(VI_DEHAZE_STRENGTH_REG) & 0xFF) / 255.0;
    const uint32_t grid = phys_read32(VI_DEHAZE_GRID_REG);
    const uint32_t blocks = std::min((grid & 0xFFFF) + 1, 15u) * std::min((grid >> 16) + 1, 16u);
    double sum = 0;
    for (uint32_t i = 0; i < blocks; i++)
        sum += phys_read32(VI_DEHAZE_DARK_REG(i / 4)) >> (24 - 8 * (i % 4)) & 0xFF;
    const double dark = sum / blocks / 255.0, brightest = std::max({air.r, air.g, air.b});
    if (brightest > 0)
        transmission = std::clamp(1 - strength * dark / brightest, kMinTransmission, 1.0);
}

SIM_PIXEL_LOOP Rgb Pipe::raw(const Rgb &rad, double falloff, double offset) const
{
    static const Matrix response = sensor_response();
    Rgb s = apply(response.m, hazed(rad, haze));
    auto level = [&](double v, double light) {
        const double signal = std::max(0.0, v * light * exposure * falloff) * (kWhite - kPedestal);
        return std::clamp(kPedestal + offset + signal, 0.0, kWhite);
    };
    return {level(s.r, light.r), level(s.g, light.g), level(s.b, light.b)};
}

SIM_PIXEL_LOOP Rgb Pipe::linear(const Rgb &raw, const Rgb &gain) const
{
    auto sub = [](double v, double black, double g) {
        return black >= kWhite ? 0 : clip1((v - black) / (kWhite - black) * g);
    };
    return {sub(raw.r, black[0], gain.r), sub(raw.g, black[1], gain.g), sub(raw.b, black[2], gain.b)};
}

SIM_PIXEL_LOOP Rgb Pipe::dehazed(const Rgb &lin) const
{
    if (transmission >= 1)
        return lin;
    auto lift = [&](double v, double a) { return clip1((v - a) / transmission + a); };
    return {lift(lin.r, air.r), lift(lin.g, air.g), lift(lin.b, air.b)};
}

SIM_PIXEL_LOOP double Pipe::noise_sigma(double lin) const
{
    if (noise <= 0)
        return 0;
    return noise * std::sqrt(kShot * std::max(0.0, lin) * gain + kRead * kRead * gain * gain);
}

SIM_PIXEL_LOOP Rgb Pipe::noise_passed(const Rgb &lin, double sigma) const
{
    return {sigma * nr.pass(sigma, lin.r, 1, gain, kWhite - black[0]),
            sigma * nr.pass(sigma, lin.g, 0, gain, kWhite - black[1]),
            sigma * nr.pass(sigma, lin.b, 1, gain, kWhite - black[2])};
}

SIM_PIXEL_LOOP Rgb Pipe::toned(const Rgb &lin) const
{
    Rgb v = {clip1(lin.r * wb[0]), clip1(lin.g * wb[1]), clip1(lin.b * wb[2])};
    v = apply(ccm, v);
    return {clip1(v.r * tone[0]), clip1(v.g * tone[1]), clip1(v.b * tone[2])};
}

SIM_PIXEL_LOOP Pipe::Neighbourhood Pipe::around(const Rgb &lin) const
{
    Neighbourhood n;
    n.toned = toned(lin);
    if (drc.on) {
        n.gain = drc.gain(0.299 * n.toned.r + 0.587 * n.toned.g + 0.114 * n.toned.b);
        n.detail_gain = 1 + (n.gain - 1) * drc.detail;
    }
    return n;
}

SIM_PIXEL_LOOP Rgb Pipe::out(const Rgb &lin, int edge, const Neighbourhood *base) const
{
    Rgb v = toned(lin);
    if (drc.on) {
        // The curve's gain from the neighbourhood; the detail on top of it
        // follows by the variance's share.
        const Neighbourhood own = base ? Neighbourhood{} : around(lin);
        const Neighbourhood &n = base ? *base : own;
        const Rgb &b = base ? n.toned : v;
        const double g = n.gain, gd = base ? n.detail_gain : g;
        v = {clip1(b.r * g + (v.r - b.r) * gd), clip1(b.g * g + (v.g - b.g) * gd), clip1(b.b * g + (v.b - b.b) * gd)};
    }
    if (gamma_on)
        v = {gamma_of(gamma, v.r), gamma_of(gamma, v.g), gamma_of(gamma, v.b)};
    v = sharpen.apply(v, edge);
    // BT.601, video range.
    double y = 0.299 * v.r + 0.587 * v.g + 0.114 * v.b;
    return {16 + 219 * y, 128 + 224 * (v.b - y) / 1.772, 128 + 224 * (v.r - y) / 1.402};
}

bool Pipe::operator==(const Pipe &o) const
{
    auto same = [](const double *a, const double *b, int n) { return std::equal(a, a + n, b); };
    return exposure == o.exposure && gain == o.gain && noise == o.noise && light.r == o.light.r &&
           light.g == o.light.g && light.b == o.light.b && haze == o.haze &&
           same(column, o.column, kColumnClasses) && same(black, o.black, 3) && same(wb, o.wb, 3) &&
           same(ccm, o.ccm, 9) && same(tone, o.tone, 3) && drc == o.drc && gamma_on == o.gamma_on &&
           gamma == o.gamma && nr == o.nr && sharpen == o.sharpen && dp == o.dp && air.r == o.air.r &&
           air.g == o.air.g && air.b == o.air.b && transmission == o.transmission;
}

// ---- palettes --------------------------------------------------------------------------------

const uint8_t *noise_field()
{
    static const std::vector<uint8_t> field = [] {
        std::vector<uint8_t> f(kNoiseFieldSize);
        uint64_t x = 0x9E3779B97F4A7C15ull;
        for (uint8_t &v : f) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            v = (uint8_t)(x >> 60);
        }
        return f;
    }();
    return field.data();
}

uint32_t noise_row(uint64_t t_us, uint32_t row, uint32_t width)
{
    uint64_t h = (t_us / 1000 + 1) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    uint32_t span = kNoiseFieldSize - std::min(width, kNoiseFieldSize / 2);
    return (uint32_t)((h + (uint64_t)row * 104729) % span);
}

uint8_t to_byte(double v) { return (uint8_t)std::lround(std::clamp(v, 0.0, 255.0)); }
uint16_t chroma_pair(const Rgb &yuv) { return (uint16_t)(to_byte(yuv.b) | to_byte(yuv.g) << 8); }

// A hot pixel's dark current comes on top of the light, its level (8-bit,
// over black) being what it reads in the dark.
double hot_level(const Pipe &pipe, const HotPixel &hot)
{
    return hot.level * 16.0 / (kWhite - pipe.black[1]);
}

// Worked out per palette entry, often every frame while the settings move:
// board work, outside the sanitizers as the per-pixel loops are.
SIM_PIXEL_LOOP void build_palette(const Pipe &pipe, const std::vector<Variant> &entries, Palette &out)
{
    out.luma.resize(entries.size() << kNoiseShift);
    out.chroma.resize(entries.size());
    out.linear.resize(entries.size());
    out.columns = pipe.columns;
    out.luma_column.assign(pipe.columns ? entries.size() << (kNoiseShift + kColumnShift) : 0, 0);
    for (size_t i = 0; i < entries.size(); i++) {
        const Variant &e = entries[i];
        const Rgb rad = scene_colour(e.colour), gains = e.shade.gains();
        const double light = e.shade.light();
        const Rgb raw = pipe.raw(rad, light);
        Rgb lin = pipe.dehazed(pipe.linear(raw, gains));
        out.linear[i] = lin;
        const Pipe::Neighbourhood around = pipe.around(lin);
        Rgb yuv = pipe.out(lin, e.edge, &around);
        out.chroma[i] = chroma_pair(yuv);
        uint8_t *row = &out.luma[i << kNoiseShift];
        double sigma = pipe.noise_sigma(0.299 * lin.r + 0.587 * lin.g + 0.114 * lin.b);
        if (sigma <= 0) {
            std::fill(row, row + kNoiseLevels, to_byte(yuv.r));
        } else {
            Rgb n = pipe.noise_passed(lin, sigma);
            // A channel at the sensor's white reads white in every pixel.
            n = {raw.r >= kWhite ? 0 : n.r, raw.g >= kWhite ? 0 : n.g, raw.b >= kWhite ? 0 : n.b};
            for (int k = 0; k < kNoiseLevels; k++) {
                const double q = kNoiseQuantile[k];
                row[k] = to_byte(
                    pipe.out({clip1(lin.r + q * n.r), clip1(lin.g + q * n.g), clip1(lin.b + q * n.b)}, e.edge, &around).r);
            }
        }
        if (!pipe.columns)
            continue;
        long step[kColumnClasses];
        for (int k = 0; k < kColumnClasses; k++) {
            const Rgb shifted = pipe.dehazed(pipe.linear(pipe.raw(rad, light, pipe.column[k]), gains));
            step[k] = std::lround(pipe.out(shifted, e.edge, &around).r - yuv.r);
        }
        uint8_t *cols = &out.luma_column[i << (kNoiseShift + kColumnShift)];
        for (int n = 0; n < kNoiseLevels; n++)
            for (int k = 0; k < kColumnClasses; k++)
                cols[n << kColumnShift | k] = (uint8_t)std::clamp(row[n] + step[k], 0l, 255l);
    }
}

// ---- the statistics' view --------------------------------------------------------------------------

void ZoneEdges::add(uint8_t a, uint8_t b, bool across)
{
    if (a > b)
        std::swap(a, b);
    int i = 0;
    while (i < n && (pair[i].a != a || pair[i].b != b))
        i++;
    if (i == n) {
        if (n == kMaxPairs)
            i = n - 1;
        else
            pair[n++] = {a, b, 0, 0};
    }
    (across ? pair[i].across : pair[i].down)++;
}

void zone_colours(const World &w, uint64_t t_us, std::vector<ZoneColours> &zones, std::vector<ZoneEdges> *edges)
{
    constexpr int kRows = kZoneRows * kZoneSamples, kCols = kZoneCols * kZoneSamples;
    auto grid = [](bool grey) {
        std::vector<uint8_t> g((size_t)kRows * kCols);
        for (int r = 0; r < kRows; r++)
            for (int c = 0; c < kCols; c++)
                g[(size_t)r * kCols + c] = (uint8_t)sensor_colour_at((c + 0.5) / kCols, (r + 0.5) / kRows, grey);
        return g;
    };
    static const std::vector<uint8_t> grids[2] = {grid(false), grid(true)};
    const std::vector<uint8_t> &g = grids[w.scene_grey];
    Rect sq = w.scene_motion ? sensor_square(t_us) : Rect{-1, -1, -1, -1};
    zones.assign((size_t)kZoneRows * kZoneCols, ZoneColours{});
    if (edges)
        edges->assign(zones.size(), ZoneEdges{});
    std::vector<uint8_t> above(kCols), row(kCols);
    for (int r = 0; r < kRows; r++) {
        double v = (r + 0.5) / kRows;
        bool in_rows = v >= sq.y0 && v < sq.y1;
        for (int c = 0; c < kCols; c++) {
            double u = (c + 0.5) / kCols;
            uint8_t colour = in_rows && u >= sq.x0 && u < sq.x1 ? (uint8_t)kSquare : g[(size_t)r * kCols + c];
            const size_t zone = (size_t)(r / kZoneSamples) * kZoneCols + c / kZoneSamples;
            zones[zone][colour]++;
            row[c] = colour;
            if (!edges)
                continue;
            if (c % kZoneSamples && row[c - 1] != colour)
                (*edges)[zone].add(row[c - 1], colour, true);
            if (r % kZoneSamples && above[c] != colour)
                (*edges)[zone].add(above[c], colour, false);
        }
        std::swap(above, row);
    }
}

} // namespace sim::picture
