// Board-side video: pictures in physical memory, the routes between the video
// drivers along the kernel's bind table, the synthetic scene and the helpers
// VI, VPSS and VENC share. Pictures are NV21: a luma plane, then interleaved
// V/U at half resolution, both with the same stride.
#pragma once

#include "board/sim/picture/picture.h"
#include "board/sim/sim.h"
#include "mpi/common/video_frame_requests.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct SwsContext;

namespace sim::video {

struct Picture {
    uint32_t phys = 0; // luma plane; the VU plane follows at stride * height
    uint32_t width = 0, height = 0, stride = 0;
    uint64_t pts = 0;  // microseconds, the platform clock
    uint32_t seq = 0;  // frame count of the producer

    uint32_t vu_phys() const { return phys + stride * height; }
    uint8_t *y() const { return sim::phys(phys); }
    uint8_t *vu() const { return sim::phys(vu_phys()); }
    static uint32_t bytes(uint32_t w, uint32_t h) { return align_stride(w) * h * 3 / 2; }
    static uint32_t align_stride(uint32_t w) { return (w + 63) & ~63u; }
};
// A picture goes back to its pool when the last holder lets it go.
using PicturePtr = std::shared_ptr<Picture>;

// A fixed set of buffers of one size in DDR. take() gives nullptr when all
// are held: producers then drop the frame instead of waiting.
class PicturePool {
public:
    PicturePool(uint32_t width, uint32_t height, unsigned count);
    ~PicturePool();
    PicturePtr take();
    bool ok() const;
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }

private:
    struct Store;
    std::shared_ptr<Store> store_;
    uint32_t width_, height_;
};

// ---- routes along the bind table -------------------------------------------------------
using FrameSink = Routes<PicturePtr>::Sink;
using SinkRegistration = Routes<PicturePtr>::Registration;
inline int route(const ChnAddr &src, const PicturePtr &pic) { return Routes<PicturePtr>::route(src, pic); }

// ---- picture operations ------------------------------------------------------------------
// In place: mirror (left-right) and flip (top-bottom).
void mirror_flip(Picture &pic, bool mirror, bool flip);
// Copies or scales `src` into `dst` (sizes from the pictures).
class Scaler {
public:
    ~Scaler();
    bool run(const Picture &src, Picture &dst);

private:
    SwsContext *ctx_ = nullptr;
};
// Temporal noise filtering into `out` (same size as `cur`): each luma pixel
// moves from the previous filtered picture `prev` towards the new one by
// `share`/64 of the difference, unless the difference exceeds `motion`
// (something moved: the new pixel stands). Chroma is copied. Without a
// previous picture of the same size `out` is `cur`.
void temporal_nr(const Picture &cur, const Picture *prev, Picture &out, uint8_t share, uint8_t motion);
// NV21 to planar 4:2:0 (Y, U, V) for encoders that take no interleaved chroma.
void nv21_to_i420(const Picture &src, uint8_t *y, uint8_t *u, uint8_t *v);

// ---- what the video drivers share ------------------------------------------------------
// The frame record a driver hands out for one of its pictures.
void fill_frame(VIDEO_FRAME_REC_S &f, const Picture &p);
// Whether [addr, addr + len) lies in DDR.
bool in_ddr(uint32_t addr, uint64_t len);
// A copy of a caller's NV21 frame (its planes checked to lie in DDR) in a
// picture of `pool`, which is made anew at the frame's size; null when the
// frame is unsound or no buffer is free (`why` says which: 0 or -1).
PicturePtr picture_from_frame(std::unique_ptr<PicturePool> &pool, unsigned count, const VIDEO_FRAME_REC_S &f,
                              int *why);
// Joins a worker thread without holding the drivers' lock meanwhile.
void join_unlocked(std::unique_lock<std::mutex> &lock, std::thread &t);

// Records a driver keeps as given: a set request stores its bytes, the get
// request hands them back (zeros before any set, or `missing` when not 0).
// Returns 1 when `req` is neither.
using RecordStore = std::map<unsigned long, std::vector<uint8_t>>;
int store_request(RecordStore &store, unsigned long set, unsigned long get, unsigned long req, void *arg,
                  int missing = 0);

// The same over a driver's table of stored pairs (rows with `set` and `get`):
// `store_of(row)` is the store a row's record lives in. A request no row has
// is refused with -1/EINVAL.
template <class Row, size_t N, class StoreOf>
int stored_request(const Row (&rows)[N], StoreOf store_of, unsigned long req, void *arg, int missing = 0)
{
    for (const Row &e : rows) {
        int ret = store_request(store_of(e), e.set, e.get, req, arg, missing);
        if (ret != 1)
            return ret;
    }
    return fail(EINVAL);
}

// A channel's new depth of pictures kept for the caller, at most `max` (else
// `illegal`); the oldest kept ones beyond it go. 0 or -1/EFAULT.
int set_depth(uint32_t &depth, std::deque<PicturePtr> &ready, void *arg, uint32_t max, int illegal);

// Gives back a picture the caller held (the frame record's luma address
// names it): 0, -1/EFAULT, or `unknown` when `held` has no such picture.
int release_picture(std::map<uint32_t, PicturePtr> &held, void *arg, int unknown);

// ---- region luma ---------------------------------------------------------------------------
// The rectangles of a caller's region-luma request: 0, 1 when their count
// is not 1 to 64, or -1 with EFAULT when they cannot be read.
int read_regions(const VIDEO_REGION_INFO_S &info, std::vector<VPSS_RECT_S> &rects);
// The mean luma of each rectangle of `pic` (clipped to it; 0 when nothing
// is left), written to the caller's `out`: 0 or -1 with EFAULT.
int put_region_means(const Picture &pic, const std::vector<VPSS_RECT_S> &rects, uint32_t *out);

// ---- overlay regions (board/sim/video/rgn.cpp) -------------------------------------------------
// The producers of pictures call these on every picture of a channel before
// it goes further: the processing channels on their output, the encoder on
// its input. Whether a shown region sits on `chn`, and blending the shown
// canvas of each such region into `pic`, lowest layer first.
bool overlay_on(const ChnAddr &chn);
void blend_overlays(const ChnAddr &chn, Picture &pic);

// ---- the scene in front of the lens ----------------------------------------------------
// A window of the sensor's field, in fractions of its width and height.
struct Window {
    double x = 0, y = 0, w = 1, h = 1;
};

// Draws the deterministic synthetic scene as the sensor and the ISP make it
// (board/sim/picture/picture.h): a fixed pattern, lit by world().scene_brightness
// and the colour temperature, exposed by `exposure` (the sensor's, relative
// to the nominal one), processed by the ISP's registers of the moment, with
// the sensor's noise and hot pixels, and a square crossing the picture when
// motion is on (its place and the noise depend only on `t_us`, the
// picture's time).
class SceneRenderer {
public:
    void render(Picture &out, const Window &win, uint64_t t_us, const World &w, double exposure);

    // The palette entries of the pattern in force (for the tests' eyes).
    size_t entries() const { return entries_.size(); }

private:
    // Outside the sanitizers as declared: on a template's definition alone
    // the attribute is dropped.
    SIM_PIXEL_LOOP void build_pattern(uint32_t W, uint32_t H, const Window &win, bool grey,
                                      const picture::ShadingTables &shading);
    SIM_PIXEL_LOOP void draw_hot_pixels(Picture &out, const Window &win, const picture::Pipe &pipe);
    template <bool kColumns> SIM_PIXEL_LOOP void draw(Picture &out, uint64_t t_us, const World &w, const Window &win);

    // The cached pattern: per pixel its palette entry << kNoiseShift (the
    // noise level fills the low bits), per chroma pair (2 x 2 pixels, one
    // shade) its entry and its shade's number; per picture column its class
    // in the sensor's column pattern.
    std::vector<uint32_t> pattern_;
    std::vector<uint16_t> chroma_, pair_shade_;
    std::vector<uint8_t> column_class_;
    std::vector<picture::Variant> entries_;
    std::vector<uint32_t> square_; // the moving square's entry per shade
    uint32_t bw_ = 0, bh_ = 0;
    Window bwin_;
    bool bgrey_ = false;
    picture::ShadingTables bshading_;
    // The palette of the settings it was worked out for.
    picture::Pipe pipe_;
    picture::Palette palette_;
    bool have_palette_ = false;
};

// The sensor's picture, as the ISP leaves it: its exposure relative to the
// nominal one (1.0 until the simulated sensor reports its own) and its frame
// rate (0 while the sensor does not say).
double sensor_exposure_factor();
double sensor_frame_rate();

} // namespace sim::video
