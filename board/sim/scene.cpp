// The synthetic scene in front of the lens: a fixed, deterministic pattern
// (sky, tiled ground, a band of colour bars) lit by the world's brightness and
// the sensor's exposure, tinted by the colour temperature, and a square that
// crosses the picture when motion is on.
#include "board/sim/video.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sim::video {

namespace {

struct Yuv {
    uint8_t y, u, v;
};

// The scene at a point of the sensor's field (fractions of width and height).
Yuv scene_at(double u, double v)
{
    static const Yuv bars[6] = {{82, 90, 240}, {145, 54, 34}, {41, 240, 110},
                                {210, 16, 146}, {170, 166, 16}, {107, 202, 222}};
    if (v >= 0.72 && v < 0.82)
        return bars[std::min(5, (int)(u * 6))];
    if (v < 0.45) { // sky, lighter towards the horizon
        return {(uint8_t)(120 + 60 * v), 150, 112};
    }
    int tile = ((int)(u * 12) + (int)(v * 16)) & 1;
    return {(uint8_t)(tile ? 128 : 100), 112, 138};
}

} // namespace

SIM_PIXEL_LOOP void SceneRenderer::render(Picture &out, const Window &win, uint64_t t_us, const World &w, double exposure)
{
    uint32_t W = out.width, H = out.height, S = out.stride;
    if (W != bw_ || H != bh_ || S != bstride_ || win.x != bwin_.x || win.y != bwin_.y || win.w != bwin_.w ||
        win.h != bwin_.h) {
        // The lit-independent pattern is drawn once per size and window.
        base_y_.assign((size_t)S * H, 0);
        base_vu_.assign((size_t)S * H / 2, 128);
        for (uint32_t r = 0; r < H; r++)
            for (uint32_t c = 0; c < W; c++) {
                Yuv p = scene_at(win.x + (c + 0.5) / W * win.w, win.y + (r + 0.5) / H * win.h);
                base_y_[(size_t)r * S + c] = p.y;
                if (!(r & 1) && !(c & 1)) {
                    base_vu_[(size_t)(r / 2) * S + c] = p.v;
                    base_vu_[(size_t)(r / 2) * S + c + 1] = p.u;
                }
            }
        bw_ = W, bh_ = H, bstride_ = S, bwin_ = win;
    }

    // Light: luma scales with scene brightness and exposure; colour fades
    // towards grey in the dark. Tint: warm light adds red and takes blue.
    double gain = std::max(0.0, w.scene_brightness * exposure);
    double chroma = std::min(1.0, gain);
    double warm = std::clamp((5500.0 - w.scene_kelvin) / 3000.0, -1.0, 1.0);
    uint8_t ly[256], lu[256], lv[256];
    for (int i = 0; i < 256; i++) {
        ly[i] = (uint8_t)std::clamp(std::lround(i * gain), 0L, 255L);
        lu[i] = (uint8_t)std::clamp(std::lround(128 + (i - 128) * chroma - 24 * warm), 0L, 255L);
        lv[i] = (uint8_t)std::clamp(std::lround(128 + (i - 128) * chroma + 24 * warm), 0L, 255L);
    }
    uint8_t *y = out.y(), *vu = out.vu();
    for (uint32_t r = 0; r < H; r++) {
        const uint8_t *src = &base_y_[(size_t)r * S];
        uint8_t *dst = y + (size_t)r * S;
        for (uint32_t c = 0; c < W; c++)
            dst[c] = ly[src[c]];
    }
    for (uint32_t r = 0; r < H / 2; r++) {
        const uint8_t *src = &base_vu_[(size_t)r * S];
        uint8_t *dst = vu + (size_t)r * S;
        for (uint32_t c = 0; c < W; c += 2) {
            dst[c] = lv[src[c]];
            dst[c + 1] = lu[src[c + 1]];
        }
    }

    if (!w.scene_motion)
        return;
    // The square crosses the field once every four seconds, at mid height.
    double side = 0.2, cx = std::fmod(t_us / 4e6, 1.0), cy = 0.5;
    double x0 = (cx - side / 2 - win.x) / win.w, x1 = (cx + side / 2 - win.x) / win.w;
    double y0 = (cy - side / 2 - win.y) / win.h, y1 = (cy + side / 2 - win.y) / win.h;
    int c0 = std::max(0, (int)(x0 * W)) & ~1, c1 = std::min((int)W, (int)(x1 * W)) & ~1;
    int r0 = std::max(0, (int)(y0 * H)) & ~1, r1 = std::min((int)H, (int)(y1 * H)) & ~1;
    uint8_t bright = ly[235];
    for (int r = r0; r < r1; r++)
        if (c1 > c0)
            memset(y + (size_t)r * S + c0, bright, c1 - c0);
    for (int r = r0 / 2; r < r1 / 2; r++)
        for (int c = c0; c < c1; c += 2) {
            vu[(size_t)r * S + c] = lv[128];
            vu[(size_t)r * S + c + 1] = lu[128];
        }
}

} // namespace sim::video
