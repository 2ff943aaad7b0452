// The picture the board's sensor and ISP make of the scene.
//
// The scene is a fixed pattern of a few colours (linear radiance, in scene
// units where 1.0 is a mid grey), so every pixel is an index into a palette.
// The sensor turns a colour's radiance into its raw level (the light's
// colour and brightness, the exposure and gains of its registers, its black
// pedestal, the clip at white); the ISP then applies, from its registers,
// black-level subtraction, noise reduction, white-balance gains, the colour
// matrix, colour tone, DRC, gamma and sharpen, and converts to YUV. All of
// that is worked out per palette entry once a frame; per pixel the picture
// is a lookup.
//
// Effects that vary over the picture are baked into the cached pattern as
// variants of a colour (the edge class that sharpen acts on, the lens's
// fall-off and the ISP's shading gains at the pixel), rebuilt when the
// shading registers change; noise is a precomputed field of levels that each
// palette entry maps through the whole pipeline, so that gain, noise
// reduction, DRC and gamma shape it as they would on the hardware; and the
// sensor's column pattern, what the video input's correction leaves of it,
// is a second small lookup per pixel (its class's luma step for the entry).
#pragma once

#include "board/sim/sim.h"

#include <array>
#include <cstdint>
#include <vector>

// The board's per-pixel loops (the simulated hardware's work) run without the
// sanitizers' checks: instrumented they take most of a test's CPU, and the
// sanitizers are there for the firmware.
#define SIM_PIXEL_LOOP __attribute__((no_sanitize("address", "undefined")))

namespace sim::picture {

struct Rgb {
    double r = 0, g = 0, b = 0;
};

// ---- the scene --------------------------------------------------------------------------------

// The scene's colours.
enum : uint8_t {
    kSky0 = 0,        // kSkySteps steps from the top of the sky down to the horizon
    kSkySteps = 16,
    kTileLight = kSky0 + kSkySteps,
    kTileDark,
    kBar0,            // six colour bars: red, green, blue, cyan, magenta, yellow
    kPatch0 = kBar0 + 6, // six neutral patches, lightest first
    kSquare = kPatch0 + 6,
    kGrey,            // the uniform grey of scene.pattern = grey
    kSceneColours,
};
constexpr int kBars = 6, kPatches = 6;

// Where things are, in fractions of the sensor's field (u across, v down).
constexpr double kSkyBottom = 0.30;                      // sky above, ground below
constexpr double kPatchTop = 0.60, kPatchBottom = 0.70;  // the grey strip
constexpr double kPatchLeft = 0.20, kPatchWidth = 0.10;  // six patches side by side
constexpr double kBarTop = 0.72, kBarBottom = 0.82;      // the colour bars, full width

// The radiance of a colour under a neutral light of brightness 1.0.
Rgb scene_colour(int colour);
// A neutral patch's reflectance relative to the mid grey (1.0).
double patch_level(int patch);
// The colour at a point of the scene (u across, v down, in fractions).
int scene_colour_at(double u, double v, bool grey);
// What the sensor sees at a point of its field: every lens projects the
// scene turned half round (upside down and mirrored), and the processing
// channels' default mirror and flip turn it upright again.
inline int sensor_colour_at(double u, double v, bool grey) { return scene_colour_at(1 - u, 1 - v, grey); }

// The moving square at picture time `t_us` (crossing once every four
// seconds, at mid height), in field fractions.
struct Rect {
    double x0, y0, x1, y1;
};
Rect moving_square(uint64_t t_us);
// The moving square as it lies on the sensor.
inline Rect sensor_square(uint64_t t_us)
{
    Rect r = moving_square(t_us);
    return {1 - r.x1, 1 - r.y1, 1 - r.x0, 1 - r.y0};
}

// The scene's haze: each colour's radiance goes towards the air light's by
// the haze (0 clear, 1 nothing but the air light).
Rgb hazed(const Rgb &rad, double haze);

// ---- the lens, the column pattern and the ISP's corrections of them --------------------------


// The lens's light at a point of the sensor's field (pixels) relative to the
// centre's: 1 / (1 + k r^2)^2, r the distance from the field's centre over
// its half diagonal, k such that the corners get board.conf `sensor.shading`
// (default 0.4; 1 for a lens without fall-off).
double lens_falloff(double x, double y);

// The ISP's lens-shading correction as its registers stand
// (isp/isp_hw_regs.h), and the gains it gives at a point of the field.
struct ShadingTables {
    bool on = false;
    uint32_t center_x[3] = {}, center_y[3] = {}, scale[3] = {};
    std::array<uint16_t, 129> table[3] = {};
    uint32_t crop_x = 0, crop_y = 0; // the ISP's image on the field

    static ShadingTables read();
    Rgb gains(double x, double y) const; // at a point of the sensor's field
    bool operator==(const ShadingTables &o) const;
};

// The sensor's column pattern: every column of the field belongs to one of
// four classes, whose dark level stands kColumnLevel[class] x board.conf
// `sensor.column_pattern` (12-bit levels at unity gain, default 12; 0: none)
// from the pedestal, growing with the gain as dark signal does.
constexpr int kColumnClasses = 4;
int column_class(uint32_t column); // a column of the sensor's field
double column_offset(int cls, double gain);
// What the sensor's columns read in the dark (12-bit, pedestal included) at
// `gain`: what a calibration with the lens capped captures, one row.
std::vector<uint16_t> dark_row(double gain);

// The video input's fixed-pattern correction: the dark row its driver
// loaded for the correction in force (board/sim/video/vi.cpp).
void fpn_load(const std::vector<uint16_t> &dark);

// ---- the ISP's stages that act on pixels -----------------------------------------------------
// Each read once a frame from its registers (isp/isp_hw_regs.h); all levels
// linear, 0..1 of the range above the black level unless said.

// Noise reduction: a Bayer sigma filter that averages a pixel with those of
// its neighbours that differ from it by less than its threshold (fully up
// to the threshold, less and less up to 1 + 8/slope thresholds, none
// beyond: slope 0 cuts at the threshold). The threshold at a pixel is the
// frame's threshold (8 bits) times the noise profile at the pixel's level
// plus the offset, over 32, in 12-bit levels, grown with the square root of
// the frame's gain as the sensor's noise grows, so that one threshold
// smooths alike at every gain. Green sites follow the first profile
// (0x900...), red and blue the second (0xC00...), each indexed by the
// level's 12 bits >> 5. Where the frame stitches two exposures the pixels
// below the profile limit (16 bits) come from the long one and take the
// long threshold, the rest the short one; otherwise every pixel takes the
// short threshold and those at or above the limit pass unfiltered. The
// filter mode is the support: 2m - 3 pixels square (4: 5 x 5, 3: 3 x 3;
// below 2 none). What it leaves of the noise is the spread of the filter's
// output over the sensor's noise, worked out once for each support and
// ratio of threshold to noise. Off when its enable is clear or the module
// control word bypasses it.
struct NoiseFilter {
    static constexpr int kProfileNodes = 128;
    bool on = false, stitching = false;
    double thresh_s = 0, thresh_l = 0, offset = 0;
    double limit = 1, reach = 1;
    uint32_t mode = 0;
    std::array<uint8_t, kProfileNodes> profile[2] = {};

    static NoiseFilter read();
    // What the filter leaves of noise `sigma` on a pixel at level `lin`, on
    // a green (site 0) or red or blue site (1), at `gain`, with `range` the
    // 12-bit levels above black.
    double pass(double sigma, double lin, int site, double gain, double range) const;
    bool operator==(const NoiseFilter &o) const;
};

// DRC: a tone curve on the luma Y (linear, after the colour matrix and
// tone) between its black and white levels (12 bits; a white not above the
// black is the whole range): x = (Y - black) / (white - black) goes to the
// asymmetry curve's value A(x) (33 points, 16 bits, through the port that
// the gamma block's access bit opens), and Y moves towards it by the
// strength. The gain that makes is held between slope min / 256 and 1 +
// slope max / 16. It is worked out on a pixel's neighbourhood (the colour
// it stands in); the detail on top (edges, noise) follows the gain by
// 1 - space / 15 x (1 - intensity / 15) of the variance's two halves.
struct ToneCurve {
    static constexpr int kNodes = 33;
    bool on = false;
    double strength = 0, black = 0, white = 1, gain_min = 0, gain_max = 1, detail = 1;
    std::array<uint16_t, kNodes> curve = {};

    static ToneCurve read();
    double gain(double y) const; // for a neighbourhood of luma y
    bool operator==(const ToneCurve &o) const;
};
// The asymmetry curve as the hardware holds it (what its port loaded).
std::array<uint16_t, ToneCurve::kNodes> drc_curve();

// Sharpen, after gamma, on the pixels of an edge (the pattern's edge class,
// -2..2: how far a pixel's luminance stands from its neighbours'): the
// detail strength brightens the light side by up to 12% or 35%, the
// undershoot darkens the dark side alike, both fading out below the
// luminance threshold (12 bits of the pixel's luma). The RGB sharpener adds
// to each channel the curve's entry for the edge's step (its 8-bit luma
// difference halved, one side of the curve's middle per side of the edge)
// less 128, times the RGB strength / 1024, in 8-bit levels; the bank in use
// is bits 2-3 of its control, which bit 0 switches on.
struct Sharpener {
    static constexpr int kCurveEntries = 256;
    double over = 0, under = 0, lum_thresh = 0, rgb_strength = 0;
    bool rgb_on = false;
    std::array<int16_t, kCurveEntries> curve = {}; // the bank in use, less 128

    static Sharpener read();
    Rgb apply(const Rgb &v, int edge) const;
    bool operator==(const Sharpener &o) const;
};

// Defect-pixel correction of a pixel that stands `excess` (12-bit) above
// what its neighbours show at `local` (12-bit). Dynamic correction takes a
// pixel for a defect when the excess passes both the threshold plus the
// slope x local / 1024 and the line threshold; beyond the high-pass
// threshold it is replaced by its neighbours, short of it only blended:
// blend / 256 of the excess stays. Static correction replaces the pixels
// its table's entries in use name.
struct DefectFilter {
    bool dynamic = false, stat = false;
    double thresh = 0, slope = 0, line = 0, high_pass = 0, blend = 0;
    uint32_t count = 0; // static table entries in use

    static DefectFilter read();
    double kept_dynamic(double excess, double local) const; // the share of the excess left
    bool operator==(const DefectFilter &o) const;
};

// ---- one frame's sensor and ISP settings ----------------------------------------------------

// Read once a frame from the sensor's and the ISP's registers.
struct Pipe {
    // The sensor.
    double exposure = 0;    // signal of radiance 1.0, full scale = 1.0
    double gain = 1;        // analogue x digital gain: the noise grows with it
    bool programmed = false; // a sensor nobody programmed shows the scene clean
    double noise = 0;        // the sensor's noise, 1 its own level (sensor.noise scales it), 0 none
    Rgb light = {1, 1, 1};  // the sensor's raw colour of a neutral grey under the light
    double haze = 0;        // the scene's
    // What the column pattern adds to each class's raw level after the
    // video input's correction (12-bit), and whether any class has some.
    double column[kColumnClasses] = {};
    bool columns = false;
    // The ISP.
    double black[3] = {};   // black level subtracted (R, G, B), 12-bit scale
    double wb[3] = {1, 1, 1};
    double ccm[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double tone[3] = {1, 1, 1};
    ToneCurve drc;
    bool gamma_on = false;
    std::array<uint16_t, 257> gamma = {};
    NoiseFilter nr;
    Sharpener sharpen;
    DefectFilter dp;
    // Dehaze: the air light (linear, before the gains) and the transmission
    // the strength and the blocks' dark values give; off: 1.
    Rgb air = {1, 1, 1};
    double transmission = 1;

    // The settings in force now. `exposure` is the sensor's exposure
    // relative to the nominal one (0: the sensor delivers nothing).
    static Pipe read(double exposure, const World &w);

    // The sensor's raw level of radiance `rad` where the lens gives
    // `falloff` of its light and the column pattern adds `offset` (12-bit
    // scale, pedestal included, clipped at white), and the ISP's level after
    // its black-level subtraction and shading `gain` (0..1 per channel): what
    // the statistics see.
    Rgb raw(const Rgb &rad, double falloff = 1, double offset = 0) const;
    Rgb linear(const Rgb &raw, const Rgb &gain = {1, 1, 1}) const;
    // The dehaze block: the linear level with the air light taken out by
    // the transmission.
    Rgb dehazed(const Rgb &lin) const;
    // The sensor's noise at linear level `lin` (linear units), and what
    // noise reduction leaves of noise `sigma` on each channel of `lin`.
    double noise_sigma(double lin) const;
    Rgb noise_passed(const Rgb &lin, double sigma) const;
    // The white-balance gains, the colour matrix and the colour tone: what
    // the DRC and the statistics taken after the gains see.
    Rgb toned(const Rgb &lin) const;
    // A pixel's neighbourhood (its linear colour without the detail on
    // top): through the colour stages, and the DRC gain it gets, once for
    // the detail worked out against it.
    struct Neighbourhood {
        Rgb toned;
        double gain = 1, detail_gain = 1;
    };
    Neighbourhood around(const Rgb &lin) const;
    // The rest of the pipeline for a linear colour; `edge` the pixel's
    // sharpen class (-2..2). With `base` its neighbourhood, what `lin` has
    // on top of it is its detail. Y, Cb, Cr in 0..255.
    Rgb out(const Rgb &lin, int edge, const Neighbourhood *base = nullptr) const;

    bool operator==(const Pipe &o) const;

private:
    void read_columns();
    void read_dehaze();
};

// ---- palettes --------------------------------------------------------------------------------

// Where a pixel sits in the lens's fall-off and the ISP's shading, in
// steps of 1/kShadeOne (what the pattern keeps of them).
constexpr int kShadeOne = 64;
struct Shade {
    uint8_t falloff = kShadeOne;
    uint16_t gain[3] = {kShadeOne, kShadeOne, kShadeOne};
    static Shade at(const ShadingTables &t, double x, double y); // a point of the sensor's field
    double light() const { return falloff / (double)kShadeOne; }
    Rgb gains() const { return {gain[0] / (double)kShadeOne, gain[1] / (double)kShadeOne, gain[2] / (double)kShadeOne}; }
    bool operator<(const Shade &o) const;
};

// A palette entry: a scene colour with the spatial effects baked in where
// the pattern is built: sharpen's edge class and the pixel's shade.
struct Variant {
    uint8_t colour = 0;
    int8_t edge = 0;
    Shade shade;
    bool operator<(const Variant &o) const;
};

// Noise levels per pixel: a fixed field of level indices (0..kNoiseLevels-1)
// that every entry of the luma table covers.
constexpr int kNoiseShift = 4, kNoiseLevels = 1 << kNoiseShift;
const uint8_t *noise_field();
constexpr uint32_t kNoiseFieldSize = 1u << 20;
// Start of row `row`'s stretch of `width` levels in the noise field for the
// picture at `t_us`: each picture reads the field at another offset.
uint32_t noise_row(uint64_t t_us, uint32_t row, uint32_t width);

// What the per-pixel loops look up: luma per (entry << kNoiseShift | noise
// level), chroma per entry (V | U << 8, as NV21 lays the pair), and while
// the column pattern shows, the luma with each column class's step on it per
// ((entry << kNoiseShift | noise level) << kColumnShift | class): one look-up
// a pixel either way.
constexpr int kColumnShift = 2;
static_assert(1 << kColumnShift == kColumnClasses, "a class in the low bits");
struct Palette {
    std::vector<uint8_t> luma;
    std::vector<uint16_t> chroma;
    std::vector<Rgb> linear; // each entry's level after black-level subtraction and shading
    std::vector<uint8_t> luma_column;
    bool columns = false;
};
// Y, Cb, Cr as bytes, and Cb, Cr as the chroma tables hold them.
uint8_t to_byte(double v);
uint16_t chroma_pair(const Rgb &yuv);
// The linear level a hot pixel adds to what the scene gives it.
double hot_level(const Pipe &pipe, const HotPixel &hot);
void build_palette(const Pipe &pipe, const std::vector<Variant> &entries, Palette &out);

// ---- the hot pixels' defect correction -----------------------------------------------------------

// The share of each of the sensor's hot pixels the ISP leaves in the
// picture where the scene gives it `local` (its linear level): what dynamic
// correction leaves (DefectFilter), none of those the static table's
// entries in use name with static correction on.
std::vector<double> hot_pixels_kept(const Pipe &pipe, const std::vector<HotPixel> &hot,
                                    const std::vector<double> &local);
// The static table as the hardware holds it (the detection's results at the
// start index, the rest as loaded through the table port). The firmware
// reaches it through the port's registers (isp/isp_hw_regs.h), which
// picture.cpp hooks: the index (12 bits, a larger index wraps), write data
// (stores the entry's 24 bits at the index) and read data (gives the entry
// at the index); each data access moves the index on, from 4095 to 0.
std::vector<uint32_t> dp_table();
// One frame of the defect detection while the ISP is in detection mode:
// the sensor's hot pixels above the threshold, counted and listed.
void dp_detect();

// ---- the statistics' view --------------------------------------------------------------------------

// The statistics zones, each seen as 8 x 8 samples of the scene.
constexpr int kZoneRows = 15, kZoneCols = 17, kZoneSamples = 8;
// How many of a zone's samples show each colour.
using ZoneColours = std::array<uint8_t, kSceneColours>;
// Where a zone's neighbouring samples show two colours: how many such
// pairs lie side by side and one above the other (what focus measures).
struct ZoneEdges {
    static constexpr int kMaxPairs = 16; // more distinct pairs add to the last
    struct Pair {
        uint8_t a, b, across, down;
    };
    uint8_t n = 0;
    Pair pair[kMaxPairs];
    void add(uint8_t a, uint8_t b, bool across);
};
// The zones (row by row) at picture time `t_us`, the moving square
// included, and with `edges` their edges.
void zone_colours(const World &w, uint64_t t_us, std::vector<ZoneColours> &zones,
                  std::vector<ZoneEdges> *edges = nullptr);

} // namespace sim::picture
