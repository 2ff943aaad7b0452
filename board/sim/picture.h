// The picture the board's sensor and ISP make of the scene.
//
// The scene is a fixed pattern of a few colours (linear radiance, in scene
// units where 1.0 is a mid grey), so every pixel is an index into a palette.
// The sensor turns a colour's radiance into its raw level (the light's
// colour and brightness, the exposure and gains of its registers, its black
// pedestal, the clip at white); the ISP then applies, from its registers,
// black-level subtraction, white-balance gains, the colour matrix, colour
// tone, sharpen, DRC and gamma, and converts to YUV. All of that is worked
// out per palette entry once a frame; per pixel the picture is a lookup.
//
// Effects that vary over the picture are baked into the cached pattern as
// variants of a colour (today the edge class that sharpen acts on; lens
// shading rings and a column pattern slot in the same way), and noise is a
// precomputed field of levels that each palette entry maps through the whole
// pipeline, so that gain, noise reduction, DRC and gamma shape it as they
// would on the hardware.
#pragma once

#include "board/sim/sim.h"

#include <array>
#include <cstdint>
#include <vector>

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

// ---- one frame's sensor and ISP settings ----------------------------------------------------

// Read once a frame from the sensor's and the ISP's registers.
struct Pipe {
    // The sensor.
    double exposure = 0;    // signal of radiance 1.0, full scale = 1.0
    double gain = 1;        // analogue x digital gain: the noise grows with it
    double noise = 0;       // sigma of the noise at signal 0 and unity gain, 0: none
    Rgb light = {1, 1, 1};  // the sensor's raw colour of a neutral grey under the light
    // The ISP.
    double black[3] = {};   // black level subtracted (R, G, B), 12-bit scale
    double wb[3] = {1, 1, 1};
    double ccm[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double tone[3] = {1, 1, 1};
    double drc = 0;          // 0..1: shadow lift, 0 when DRC is off
    bool gamma_on = false;
    std::array<uint16_t, 257> gamma = {};
    double nr = 1;           // what noise reduction leaves of the noise
    double over = 0, under = 0; // sharpen strengths, 0..1
    bool dp_dynamic = false, dp_static = false;
    uint32_t dp_count = 0;   // static table entries in use

    // The settings in force now. `exposure` is the sensor's exposure
    // relative to the nominal one (0: the sensor delivers nothing).
    static Pipe read(double exposure, const World &w);

    // The sensor's raw level of radiance `rad` (12-bit scale, pedestal
    // included, clipped at white), and the ISP's level after its black-level
    // subtraction (0..1 per channel): what the statistics see.
    Rgb raw(const Rgb &rad) const;
    Rgb linear(const Rgb &raw) const;
    // The noise at linear level `lin` after noise reduction (linear units).
    double noise_sigma(double lin) const;
    // The rest of the pipeline for a linear colour; `edge` the pixel's
    // sharpen class (-2..2). Y, Cb, Cr in 0..255.
    Rgb out(const Rgb &lin, int edge) const;

    bool operator==(const Pipe &o) const;
};

// ---- palettes --------------------------------------------------------------------------------

// A palette entry: a scene colour with the spatial effects baked in where
// the pattern is built (sharpen's edge class; lens shading and the column
// pattern are to come here).
struct Variant {
    uint8_t colour = 0;
    int8_t edge = 0;
    bool operator<(const Variant &o) const { return colour != o.colour ? colour < o.colour : edge < o.edge; }
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
// level), chroma per entry (V | U << 8, as NV21 lays the pair).
struct Palette {
    std::vector<uint8_t> luma;
    std::vector<uint16_t> chroma;
    std::vector<Rgb> linear; // each entry's level after black-level subtraction
};
// Y, Cb, Cr as bytes, and Cb, Cr as the chroma tables hold them.
uint8_t to_byte(double v);
uint16_t chroma_pair(const Rgb &yuv);
// The linear level a hot pixel adds to what the scene gives it.
double hot_level(const Pipe &pipe, const HotPixel &hot);
void build_palette(const Pipe &pipe, const std::vector<Variant> &entries, Palette &out);

// ---- the hot pixels' defect correction -----------------------------------------------------------

// Which of the sensor's hot pixels the ISP leaves in the picture: none with
// dynamic correction on, those missing from the static table's entries in
// use with static correction on, else all.
std::vector<uint8_t> hot_pixels_shown(const Pipe &pipe, const std::vector<HotPixel> &hot);
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
// The zones (row by row) at picture time `t_us`, the moving square included.
void zone_colours(const World &w, uint64_t t_us, std::vector<ZoneColours> &zones);

} // namespace sim::picture
