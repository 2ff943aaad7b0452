// The video input's picture of the scene: the pattern of palette entries
// cached per size, window and lens-shading correction, the palette worked
// out through the sensor and the ISP each frame (board/sim/picture/picture.h), then
// a lookup per pixel with the frame's noise and column pattern, the moving
// square and the hot pixels the ISP leaves.
#include "board/sim/picture/picture.h"
#include "board/sim/video/video.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace sim::video {

using namespace sim::picture;

namespace {

// Sharpen's edge class of a pixel: how far its luminance stands from its
// four neighbours', in two steps either way.
int8_t edge_class(double self, double around)
{
    if (around <= 0)
        return 0;
    double d = (self - around) / around;
    return d >= 0.25 ? 2 : d >= 0.05 ? 1 : d <= -0.25 ? -2 : d <= -0.05 ? -1 : 0;
}

double luminance(int colour)
{
    Rgb c = scene_colour(colour);
    return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
}

// Output rows or columns [first, last) covering field fractions [a, b) of
// a window starting at `at` `span` wide, `n` pixels.
void span_of(double a, double b, double at, double span, uint32_t n, int *first, int *last)
{
    *first = std::max(0, (int)((a - at) / span * n)) & ~1;
    *last = std::min((int)n, (int)((b - at) / span * n)) & ~1;
}

} // namespace

SIM_PIXEL_LOOP void SceneRenderer::build_pattern(uint32_t W, uint32_t H, const Window &win, bool grey,
                                                 const ShadingTables &shading)
{
    // The sensor's field pixel of a picture column or row (at its centre).
    auto field_x = [&](double c) { return (win.x + (c + 0.5) / W * win.w) * kSensorFieldWidth; };
    auto field_y = [&](double r) { return (win.y + (r + 0.5) / H * win.h) * kSensorFieldHeight; };

    // The scene's colours at the pixels' centres, then each pixel's edge
    // class against its neighbours.
    std::vector<uint8_t> colours((size_t)W * H);
    for (uint32_t r = 0; r < H; r++)
        for (uint32_t c = 0; c < W; c++)
            colours[(size_t)r * W + c] =
                (uint8_t)sensor_colour_at(win.x + (c + 0.5) / W * win.w, win.y + (r + 0.5) / H * win.h, grey);
    double lum[kSceneColours];
    for (int i = 0; i < kSceneColours; i++)
        lum[i] = luminance(i);

    // The shade of each 2 x 2 pair (the chroma's block), numbered.
    const uint32_t PW = std::max(1u, W / 2), PH = std::max(1u, H / 2);
    std::map<Shade, uint16_t> shade_ids;
    std::vector<Shade> shades;
    pair_shade_.resize((size_t)PW * PH);
    for (uint32_t pr = 0; pr < PH; pr++)
        for (uint32_t pc = 0; pc < PW; pc++) {
            Shade sh = Shade::at(shading, field_x(2 * pc + 0.5), field_y(2 * pr + 0.5));
            auto it = shade_ids.emplace(sh, (uint16_t)shades.size()).first;
            if (it->second == shades.size())
                shades.push_back(sh);
            pair_shade_[(size_t)pr * PW + pc] = it->second;
        }

    // Palette entries by (shade, colour, edge class), made on first use.
    constexpr int kEdges = 5;
    std::vector<int32_t> index(shades.size() * kSceneColours * kEdges, -1);
    entries_.clear();
    auto entry = [&](uint8_t colour, int8_t edge, uint16_t shade) {
        int32_t &slot = index[((size_t)shade * kSceneColours + colour) * kEdges + (edge + 2)];
        if (slot < 0) {
            slot = (int32_t)entries_.size();
            entries_.push_back({colour, edge, shades[shade]});
        }
        return (uint32_t)slot;
    };
    square_.resize(shades.size());
    for (size_t k = 0; k < shades.size(); k++)
        square_[k] = entry(kSquare, 0, (uint16_t)k);

    auto pair_of = [&](uint32_t r, uint32_t c) {
        return (size_t)std::min(r / 2, PH - 1) * PW + std::min(c / 2, PW - 1);
    };
    pattern_.resize((size_t)W * H);
    for (uint32_t r = 0; r < H; r++) {
        const uint8_t *row = &colours[(size_t)r * W];
        const uint8_t *up = r ? row - W : row, *down = r + 1 < H ? row + W : row;
        for (uint32_t c = 0; c < W; c++) {
            double around = (lum[up[c]] + lum[down[c]] + lum[row[c ? c - 1 : c]] + lum[row[c + 1 < W ? c + 1 : c]]) / 4;
            uint32_t e = entry(row[c], edge_class(lum[row[c]], around), pair_shade_[pair_of(r, c)]);
            pattern_[(size_t)r * W + c] = e << kNoiseShift;
        }
    }
    chroma_.resize((size_t)(W / 2) * (H / 2));
    for (uint32_t r = 0; r < H / 2; r++)
        for (uint32_t c = 0; c < W / 2; c++)
            chroma_[(size_t)r * (W / 2) + c] = (uint16_t)(pattern_[(size_t)(2 * r) * W + 2 * c] >> kNoiseShift);
    column_class_.resize(W);
    for (uint32_t c = 0; c < W; c++)
        column_class_[c] =
            (uint8_t)column_class((uint32_t)std::clamp(field_x(c), 0.0, (double)kSensorFieldWidth - 1));
    bw_ = W, bh_ = H, bwin_ = win, bgrey_ = grey;
    bshading_ = shading;
    have_palette_ = false;
}

void SceneRenderer::render(Picture &out, const Window &win, uint64_t t_us, const World &w, double exposure)
{
    const uint32_t W = out.width, H = out.height;
    const ShadingTables shading = ShadingTables::read();
    if (W != bw_ || H != bh_ || win.x != bwin_.x || win.y != bwin_.y || win.w != bwin_.w || win.h != bwin_.h ||
        w.scene_grey != bgrey_ || !(shading == bshading_))
        build_pattern(W, H, win, w.scene_grey, shading);

    Pipe pipe = Pipe::read(exposure, w);
    if (!have_palette_ || !(pipe == pipe_)) {
        build_palette(pipe, entries_, palette_);
        pipe_ = pipe;
        have_palette_ = true;
    }
    if (palette_.columns)
        draw<true>(out, t_us, w, win);
    else
        draw<false>(out, t_us, w, win);
    draw_hot_pixels(out, win, pipe);
}

namespace {
// A pixel's luma: the entry's at its noise level, with its column class's
// step when the column pattern shows.
template <bool kColumns> struct Luma {
    const uint8_t *lut, *cls;
    SIM_PIXEL_LOOP uint8_t operator()(uint32_t s, uint8_t n, uint32_t c) const
    {
        if constexpr (kColumns)
            return lut[(s | n) << kColumnShift | cls[c]];
        else
            return lut[s | n];
    }
};
} // namespace

// Per pixel the entry's luma at the pixel's noise level, and while the
// column pattern shows, its class's step for the entry.
template <bool kColumns>
SIM_PIXEL_LOOP void SceneRenderer::draw(Picture &out, uint64_t t_us, const World &w, const Window &win)
{
    const uint32_t W = out.width, H = out.height, S = out.stride;
    const uint8_t *lut = kColumns ? palette_.luma_column.data() : palette_.luma.data();
    const uint16_t *chroma = palette_.chroma.data();
    const uint8_t *cls = column_class_.data();
    const uint8_t *noise = noise_field();
    // Not a lambda: the pixel loops' helper must be outside the sanitizers
    // too, or it is neither inlined nor cheap.
    const Luma<kColumns> luma{lut, cls};

    uint8_t *y = out.y(), *vu = out.vu();
    for (uint32_t r = 0; r < H; r++) {
        const uint32_t *src = &pattern_[(size_t)r * W];
        const uint8_t *nz = noise + noise_row(t_us, r, W);
        uint8_t *dst = y + (size_t)r * S;
        for (uint32_t c = 0; c < W; c++)
            dst[c] = luma(src[c], nz[c], c);
    }
    for (uint32_t r = 0; r < H / 2; r++) {
        const uint16_t *src = &chroma_[(size_t)r * (W / 2)];
        uint16_t *dst = reinterpret_cast<uint16_t *>(vu + (size_t)r * S);
        for (uint32_t c = 0; c < W / 2; c++)
            dst[c] = chroma[src[c]];
    }

    if (!w.scene_motion)
        return;
    // The square, in the shade of the pixels it covers.
    Rect sq = sensor_square(t_us);
    int c0, c1, r0, r1;
    span_of(sq.x0, sq.x1, win.x, win.w, W, &c0, &c1);
    span_of(sq.y0, sq.y1, win.y, win.h, H, &r0, &r1);
    const uint32_t PW = std::max(1u, W / 2);
    for (int r = r0; r < r1; r++) {
        const uint8_t *nz = noise + noise_row(t_us, (uint32_t)r, W);
        const uint16_t *shade = &pair_shade_[(size_t)(r / 2) * PW];
        uint8_t *dst = y + (size_t)r * S;
        for (int c = c0; c < c1; c++)
            dst[c] = luma(square_[shade[c / 2]] << kNoiseShift, nz[c], (uint32_t)c);
    }
    for (int r = r0 / 2; r < r1 / 2; r++) {
        const uint16_t *shade = &pair_shade_[(size_t)r * PW];
        uint16_t *dst = reinterpret_cast<uint16_t *>(vu + (size_t)r * S);
        for (int c = c0 / 2; c < c1 / 2; c++)
            dst[c] = chroma[square_[shade[c]]];
    }
}

// A hot pixel shows on pictures near the sensor's own scale (scaled down,
// the video input averages it away), over the 2 x 2 block demosaic spreads
// it to, on top of the scene's light there, as much of it as the defect
// correction leaves.
SIM_PIXEL_LOOP void SceneRenderer::draw_hot_pixels(Picture &out, const Window &win, const Pipe &pipe)
{
    const double scale = out.width / (win.w * kSensorFieldWidth);
    if (scale < 0.75)
        return;
    const std::vector<HotPixel> hot = sensor_hot_pixels();
    // Where each lands on the picture, and the scene's level around it.
    std::vector<int> at(hot.size(), -1);
    std::vector<double> local(hot.size(), 0);
    for (size_t i = 0; i < hot.size(); i++) {
        double u = (hot[i].x + 0.5) / kSensorFieldWidth, v = (hot[i].y + 0.5) / kSensorFieldHeight;
        int c = (int)std::floor((u - win.x) / win.w * out.width) & ~1;
        int r = (int)std::floor((v - win.y) / win.h * out.height) & ~1;
        if (c < 0 || r < 0 || c + 2 > (int)out.width || r + 2 > (int)out.height)
            continue;
        at[i] = r * (int)out.width + c;
        local[i] = palette_.linear[pattern_[(size_t)at[i]] >> kNoiseShift].g;
    }
    const std::vector<double> kept = hot_pixels_kept(pipe, hot, local);
    for (size_t i = 0; i < hot.size(); i++) {
        if (at[i] < 0 || kept[i] <= 0)
            continue;
        const int r = at[i] / (int)out.width, c = at[i] % (int)out.width;
        const uint32_t entry = pattern_[(size_t)at[i]] >> kNoiseShift;
        const Rgb &scene = palette_.linear[entry];
        const double add = hot_level(pipe, hot[i]) * kept[i];
        const Pipe::Neighbourhood around = pipe.around(scene);
        Rgb yuv = pipe.out({std::min(1.0, scene.r + add), std::min(1.0, scene.g + add), std::min(1.0, scene.b + add)},
                           entries_[entry].edge, &around);
        for (int k = 0; k < 2; k++)
            memset(out.y() + (size_t)(r + k) * out.stride + c, to_byte(yuv.r), 2);
        const uint16_t pair = chroma_pair(yuv);
        memcpy(out.vu() + (size_t)(r / 2) * out.stride + c, &pair, 2);
    }
}

} // namespace sim::video
