// Test helper: which way up a picture shows the board's scene. The scene has
// sky at the top, ground below and, low in the picture, a band of six colour
// bars (red, green, blue, cyan, magenta, yellow from left to right); a
// picture shows it upright when the band lies in its lower half with the bars
// in that order. Works on any picture through a sampler of its pixels, so a
// test can look at a rotated picture turned back.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace scenetest {

struct Yuv {
    int y, u, v;
};
using Sampler = std::function<Yuv(int x, int y)>;

struct Layout {
    double band = -1;       // the colour bars' middle row, as a fraction of the height from the top
    std::vector<int> bars;  // the bars seen from left to right (0 red ... 5 yellow)

    bool in_order(int step) const
    {
        if (bars.size() < 2)
            return false;
        for (size_t i = 1; i < bars.size(); i++)
            if (bars[i] != bars[i - 1] + step)
                return false;
        return true;
    }
    // Sky on top and the bars in the scene's order.
    bool upright() const { return band > 0.5 && in_order(1); }
    // Turned round (upside down and mirrored), as the lens projects it.
    bool inverted() const { return band >= 0 && band < 0.5 && in_order(-1); }
    std::string describe() const
    {
        std::string s = "band at " + std::to_string(band) + ", bars";
        for (int b : bars)
            s += " " + std::to_string(b);
        return s;
    }
};

// The bar whose hue is nearest: by the direction of the chroma (U, V) about
// grey, which dim light and exposure leave as it is.
inline int nearest_bar(int u, int v)
{
    static const int bars[6][2] = {{90, 240}, {54, 34}, {240, 110}, {166, 16}, {202, 222}, {16, 146}};
    double du = u - 128, dv = v - 128;
    int best = 0;
    double best_cos = -2;
    for (int i = 0; i < 6; i++) {
        double bu = bars[i][0] - 128, bv = bars[i][1] - 128;
        double c = (du * bu + dv * bv) / (std::hypot(du, dv) * std::hypot(bu, bv) + 1e-9);
        if (c > best_cos)
            best = i, best_cos = c;
    }
    return best;
}

// The bars seen along row `y`, from left to right: runs of one saturated hue
// at least a fiftieth of the width long (the edges between bars left out).
inline std::vector<int> bars_along(int w, int y, const Sampler &at)
{
    std::vector<int> bars;
    int run_bar = -1, run_len = 0;
    auto close_run = [&] {
        if (run_bar >= 0 && run_len * 50 >= w && (bars.empty() || bars.back() != run_bar))
            bars.push_back(run_bar);
    };
    for (int x = 0; x < w; x++) {
        Yuv p = at(x, y);
        // Grey and near-grey pixels (ground, patches, a dim sky) belong to no bar.
        int b = std::abs(p.u - 128) + std::abs(p.v - 128) < 12 ? -1 : nearest_bar(p.u, p.v);
        if (b != run_bar) {
            close_run();
            run_bar = b;
            run_len = 0;
        }
        run_len++;
    }
    close_run();
    return bars;
}

inline Layout layout(int w, int h, const Sampler &at)
{
    Layout out;
    if (w < 16 || h < 16)
        return out;
    // The band is the rows that show three or more hues side by side (a
    // cropped picture may show only some of the six): the sky and the ground
    // may be tinted, but show one or two.
    double rows = 0, sum_rows = 0;
    for (int y = 0; y < h; y++)
        if (bars_along(w, y, at).size() >= 3) {
            rows++;
            sum_rows += y;
        }
    if (rows == 0)
        return out;
    int mid = (int)(sum_rows / rows);
    out.band = (mid + 0.5) / h;
    out.bars = bars_along(w, mid, at);
    return out;
}

// A picture of `w` x `h` turned `quarters` quarter turns clockwise: the
// turned picture's sides and a sampler of it.
struct View {
    int w, h;
    Sampler at;
};
inline View turned(int w, int h, const Sampler &at, int quarters)
{
    switch (quarters & 3) {
    case 1: // the left column becomes the top row
        return {h, w, [=](int x, int y) { return at(y, h - 1 - x); }};
    case 2:
        return {w, h, [=](int x, int y) { return at(w - 1 - x, h - 1 - y); }};
    case 3:
        return {h, w, [=](int x, int y) { return at(w - 1 - y, x); }};
    default:
        return {w, h, at};
    }
}
inline Layout layout(const View &v) { return layout(v.w, v.h, v.at); }

// A sampler over planar 4:2:0 pictures (what the decoders give).
inline Sampler frame_sampler(const AVFrame *f)
{
    return [f](int x, int y) {
        return Yuv{f->data[0][y * f->linesize[0] + x], f->data[1][(y / 2) * f->linesize[1] + x / 2],
                   f->data[2][(y / 2) * f->linesize[2] + x / 2]};
    };
}

// A sampler over an NV21 picture (luma, then interleaved V and U).
inline Sampler nv21_sampler(const uint8_t *y_plane, const uint8_t *vu, int stride)
{
    return [=](int x, int y) {
        const uint8_t *c = vu + (y / 2) * stride + (x & ~1);
        return Yuv{y_plane[y * stride + x], c[1], c[0]};
    };
}

// A sampler over RGB rows (BT.601 studio range, as the pictures were made).
inline Sampler rgb_sampler(const uint8_t *rgb, int w)
{
    return [=](int x, int y) {
        const uint8_t *p = rgb + ((size_t)y * w + x) * 3;
        int r = p[0], g = p[1], b = p[2];
        return Yuv{(66 * r + 129 * g + 25 * b + 128) / 256 + 16, (-38 * r - 74 * g + 112 * b + 128) / 256 + 128,
                   (112 * r - 94 * g - 18 * b + 128) / 256 + 128};
    };
}

} // namespace scenetest
