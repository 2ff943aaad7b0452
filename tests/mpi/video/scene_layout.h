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

// The hue of the bars in the scene's order, as the angle of their chroma
// (U, V) about grey, which dim light and exposure leave as they are.
inline double bar_hue(int bar)
{
    static const int uv[6][2] = {{90, 240}, {54, 34}, {240, 110}, {166, 16}, {202, 222}, {16, 146}};
    return std::atan2(uv[bar][1] - 128.0, uv[bar][0] - 128.0);
}

// a - b, within half a turn.
inline double hue_gap(double a, double b) { return std::remainder(a - b, 2 * M_PI); }

// The hues of the bars seen along row `y`, from left to right: runs of one
// saturated hue at least a fiftieth of the width long (the edges between
// bars, grey ground and patches left out).
inline std::vector<double> hues_along(int w, int y, const Sampler &at)
{
    constexpr double kSameHue = 0.35; // about 20 degrees; neighbouring bars lie about 60 apart
    std::vector<double> hues;
    double run_hue = 0, run_sum = 0;
    int run_len = 0;
    auto close_run = [&] {
        if (run_len * 50 >= w) {
            double hue = run_hue + run_sum / run_len;
            if (hues.empty() || std::abs(hue_gap(hue, hues.back())) > kSameHue)
                hues.push_back(hue);
        }
        run_len = 0;
    };
    for (int x = 0; x < w; x++) {
        Yuv p = at(x, y);
        if (std::abs(p.u - 128) + std::abs(p.v - 128) < 12) {
            close_run();
            continue;
        }
        double hue = std::atan2(p.v - 128.0, p.u - 128.0);
        if (run_len > 0 && std::abs(hue_gap(hue, run_hue)) > kSameHue)
            close_run();
        if (run_len == 0) {
            run_hue = hue;
            run_sum = 0;
        }
        run_sum += hue_gap(hue, run_hue);
        run_len++;
    }
    close_run();
    return hues;
}

// Which bars a row of hues shows: the neighbouring bars of the scene, read
// forwards or backwards, whose hues fit best once a colour cast common to
// them all (a white balance not yet settled) is taken out.
inline std::vector<int> bars_of(const std::vector<double> &hues)
{
    std::vector<int> best;
    double best_err = 1e9;
    const int n = (int)hues.size();
    if (n < 2 || n > 6)
        return best;
    for (int step : {1, -1})
        for (int first = 0; first < 6; first++) {
            int last = first + step * (n - 1);
            if (last < 0 || last > 5)
                continue;
            double cast = 0;
            for (int i = 0; i < n; i++)
                cast += hue_gap(hues[i], bar_hue(first + step * i));
            cast /= n;
            double err = 0;
            for (int i = 0; i < n; i++)
                err += std::abs(hue_gap(hues[i] - cast, bar_hue(first + step * i)));
            if (err < best_err) {
                best_err = err;
                best.clear();
                for (int i = 0; i < n; i++)
                    best.push_back(first + step * i);
            }
        }
    return best;
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
        if (hues_along(w, y, at).size() >= 3) {
            rows++;
            sum_rows += y;
        }
    if (rows == 0)
        return out;
    int mid = (int)(sum_rows / rows);
    out.band = (mid + 0.5) / h;
    out.bars = bars_of(hues_along(w, mid, at));
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
