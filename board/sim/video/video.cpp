// Board-side video helpers: picture pools in DDR, routes along the bind
// table, mirror/flip and scaling of NV21 pictures.
#include "board/sim/video/video.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

extern "C" {
#include <libswscale/swscale.h>
}

namespace sim::video {

// ---- pools ------------------------------------------------------------------------------

struct PicturePool::Store {
    std::mutex lock;
    std::vector<uint32_t> all, free;
    ~Store()
    {
        for (uint32_t a : all)
            phys_free(a);
    }
};

PicturePool::PicturePool(uint32_t width, uint32_t height, unsigned count)
    : store_(std::make_shared<Store>()), width_(width), height_(height)
{
    uint32_t bytes = Picture::bytes(width, height);
    for (unsigned i = 0; i < count; i++) {
        uint32_t a = phys_alloc(bytes);
        if (!a)
            break;
        store_->all.push_back(a);
        store_->free.push_back(a);
    }
}

PicturePool::~PicturePool() = default;

bool PicturePool::ok() const { return !store_->all.empty(); }

PicturePtr PicturePool::take()
{
    uint32_t addr;
    {
        std::lock_guard<std::mutex> lock(store_->lock);
        if (store_->free.empty())
            return nullptr;
        addr = store_->free.back();
        store_->free.pop_back();
    }
    std::shared_ptr<Store> store = store_;
    auto *pic = new Picture;
    pic->phys = addr;
    pic->width = width_;
    pic->height = height_;
    pic->stride = Picture::align_stride(width_);
    // The buffer returns to the store even when the pool itself is gone.
    return PicturePtr(pic, [store](Picture *p) {
        {
            std::lock_guard<std::mutex> lock(store->lock);
            store->free.push_back(p->phys);
        }
        delete p;
    });
}

// ---- picture operations -------------------------------------------------------------------

namespace {
// A row's elements reversed eight bytes at a time: a word's elements turned
// round inside it, the words taken from the row's other end. Rows of whole
// words only; others go element by element.
template <class T> SIM_PIXEL_LOOP uint64_t reverse_word(uint64_t x)
{
    if constexpr (sizeof(T) == 1)
        return __builtin_bswap64(x);
    x = x >> 32 | x << 32;
    return (x & 0xFFFF0000FFFF0000ull) >> 16 | (x & 0x0000FFFF0000FFFFull) << 16;
}
SIM_PIXEL_LOOP uint64_t load_word(const uint8_t *p)
{
    uint64_t v;
    memcpy(&v, p, 8);
    return v;
}
SIM_PIXEL_LOOP void store_word(uint8_t *p, uint64_t v) { memcpy(p, &v, 8); }

// Reverses a row of `n` elements of T.
template <class T> SIM_PIXEL_LOOP void reverse_row(uint8_t *row, uint32_t n)
{
    const size_t bytes = (size_t)n * sizeof(T);
    if (bytes % 8 == 0) {
        for (size_t i = 0, j = bytes - 8; i < j; i += 8, j -= 8) {
            const uint64_t a = load_word(row + i), b = load_word(row + j);
            store_word(row + i, reverse_word<T>(b));
            store_word(row + j, reverse_word<T>(a));
        }
        if ((bytes / 8) & 1) // the middle word
            store_word(row + bytes / 2 - 4, reverse_word<T>(load_word(row + bytes / 2 - 4)));
        return;
    }
    T *p = reinterpret_cast<T *>(row);
    for (uint32_t i = 0, j = n; i + 1 < j; i++, j--) {
        T t = p[i];
        p[i] = p[j - 1];
        p[j - 1] = t;
    }
}

// Swaps rows `a` and `b`, each reversed on the way when mirroring.
template <class T> SIM_PIXEL_LOOP void swap_rows(uint8_t *a, uint8_t *b, uint32_t n, bool mirror)
{
    const size_t bytes = (size_t)n * sizeof(T);
    if (!mirror) {
        uint8_t t[512];
        for (size_t at = 0; at < bytes; at += sizeof t) {
            const size_t len = std::min(sizeof t, bytes - at);
            memcpy(t, a + at, len);
            memcpy(a + at, b + at, len);
            memcpy(b + at, t, len);
        }
        return;
    }
    if (bytes % 8 == 0) {
        for (size_t i = 0; i < bytes; i += 8) {
            const uint64_t x = load_word(a + i), y = load_word(b + bytes - 8 - i);
            store_word(a + i, reverse_word<T>(y));
            store_word(b + bytes - 8 - i, reverse_word<T>(x));
        }
        return;
    }
    T *p = reinterpret_cast<T *>(a), *q = reinterpret_cast<T *>(b);
    for (uint32_t i = 0; i < n; i++) {
        T t = p[i];
        p[i] = q[n - 1 - i];
        q[n - 1 - i] = t;
    }
}

template <class T>
SIM_PIXEL_LOOP void mirror_flip_plane(uint8_t *plane, uint32_t stride, uint32_t rows, uint32_t n, bool mirror,
                                      bool flip)
{
    if (flip) {
        for (uint32_t r = 0; r < rows / 2; r++)
            swap_rows<T>(plane + r * stride, plane + (rows - 1 - r) * stride, n, mirror);
        if ((rows & 1) && mirror)
            reverse_row<T>(plane + rows / 2 * stride, n);
    } else if (mirror) {
        for (uint32_t r = 0; r < rows; r++)
            reverse_row<T>(plane + r * stride, n);
    }
}
} // namespace

void mirror_flip(Picture &pic, bool mirror, bool flip)
{
    if (!mirror && !flip)
        return;
    mirror_flip_plane<uint8_t>(pic.y(), pic.stride, pic.height, pic.width, mirror, flip);
    // V and U stay together: the chroma row moves in pairs of bytes.
    mirror_flip_plane<uint16_t>(pic.vu(), pic.stride, pic.height / 2, pic.width / 2, mirror, flip);
}

Scaler::~Scaler() { sws_freeContext(ctx_); }

bool Scaler::run(const Picture &src, Picture &dst)
{
    if (src.width == dst.width && src.height == dst.height) {
        for (uint32_t r = 0; r < src.height; r++)
            memcpy(dst.y() + r * dst.stride, src.y() + r * src.stride, src.width);
        for (uint32_t r = 0; r < src.height / 2; r++)
            memcpy(dst.vu() + r * dst.stride, src.vu() + r * src.stride, src.width);
        return true;
    }
    ctx_ = sws_getCachedContext(ctx_, (int)src.width, (int)src.height, AV_PIX_FMT_NV21, (int)dst.width,
                                (int)dst.height, AV_PIX_FMT_NV21, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (!ctx_)
        return false;
    const uint8_t *in[4] = {src.y(), src.vu(), nullptr, nullptr};
    int in_stride[4] = {(int)src.stride, (int)src.stride, 0, 0};
    uint8_t *out[4] = {dst.y(), dst.vu(), nullptr, nullptr};
    int out_stride[4] = {(int)dst.stride, (int)dst.stride, 0, 0};
    return sws_scale(ctx_, in, in_stride, 0, (int)src.height, out, out_stride) > 0;
}

namespace {
SIM_PIXEL_LOOP void temporal_row(const uint8_t *cur, const uint8_t *prev, uint8_t *out, uint32_t n, int share,
                                 int motion)
{
    for (uint32_t i = 0; i < n; i++) {
        const int d = cur[i] - prev[i];
        out[i] = d > motion || d < -motion ? cur[i] : (uint8_t)(prev[i] + (d * share + (d >= 0 ? 32 : -32)) / 64);
    }
}
} // namespace

void temporal_nr(const Picture &cur, const Picture *prev, Picture &out, uint8_t share, uint8_t motion)
{
    const bool have_prev = prev && prev->width == cur.width && prev->height == cur.height;
    for (uint32_t r = 0; r < cur.height; r++) {
        const uint8_t *c = cur.y() + (size_t)r * cur.stride;
        uint8_t *o = out.y() + (size_t)r * out.stride;
        if (have_prev)
            temporal_row(c, prev->y() + (size_t)r * prev->stride, o, cur.width, share, motion);
        else
            memcpy(o, c, cur.width);
    }
    for (uint32_t r = 0; r < cur.height / 2; r++)
        memcpy(out.vu() + (size_t)r * out.stride, cur.vu() + (size_t)r * cur.stride, cur.width);
    out.pts = cur.pts;
    out.seq = cur.seq;
}

void nv21_to_i420(const Picture &src, uint8_t *y, uint8_t *u, uint8_t *v)
{
    for (uint32_t r = 0; r < src.height; r++)
        memcpy(y + r * src.width, src.y() + r * src.stride, src.width);
    uint32_t cw = src.width / 2;
    for (uint32_t r = 0; r < src.height / 2; r++) {
        const uint8_t *vu = src.vu() + r * src.stride;
        uint8_t *ur = u + r * cw, *vr = v + r * cw;
        for (uint32_t c = 0; c < cw; c++) {
            vr[c] = vu[2 * c];
            ur[c] = vu[2 * c + 1];
        }
    }
}

// ---- what the video drivers share ----------------------------------------------------------

void fill_frame(VIDEO_FRAME_REC_S &f, const Picture &p)
{
    memset(&f, 0, sizeof f);
    f.u32Width = p.width;
    f.u32Height = p.height;
    f.enPixelFormat = PIXEL_FORMAT_YUV_SEMIPLANAR_420;
    f.u32PhyAddr[0] = p.phys;
    f.u32PhyAddr[1] = f.u32PhyAddr[2] = p.vu_phys();
    f.pVirAddr[0] = p.y();
    f.pVirAddr[1] = f.pVirAddr[2] = p.vu();
    f.u32Stride[0] = f.u32Stride[1] = f.u32Stride[2] = p.stride;
    f.u32TimeRef = p.seq * 2;
    f.u64pts = p.pts;
}

bool in_ddr(uint32_t addr, uint64_t len)
{
    return addr >= kDdrBase && (uint64_t)addr + len <= (uint64_t)kDdrBase + kDdrSize;
}

PicturePtr picture_from_frame(std::unique_ptr<PicturePool> &pool, unsigned count, const VIDEO_FRAME_REC_S &f,
                              int *why)
{
    uint32_t w = f.u32Width & ~1u, h = f.u32Height & ~1u, s0 = f.u32Stride[0], s1 = f.u32Stride[1];
    *why = -1;
    if (w < 16 || h < 16 || w > 4096 || h > 4096 || s0 < w || s1 < w || !in_ddr(f.u32PhyAddr[0], (uint64_t)s0 * h) ||
        !in_ddr(f.u32PhyAddr[1], (uint64_t)s1 * h / 2))
        return nullptr;
    *why = 0;
    if (!pool || pool->width() != w || pool->height() != h)
        pool = std::make_unique<PicturePool>(w, h, count);
    PicturePtr pic = pool->take();
    if (!pic)
        return nullptr;
    for (uint32_t r = 0; r < h; r++)
        memcpy(pic->y() + (size_t)r * pic->stride, phys(f.u32PhyAddr[0] + r * s0), w);
    for (uint32_t r = 0; r < h / 2; r++)
        memcpy(pic->vu() + (size_t)r * pic->stride, phys(f.u32PhyAddr[1] + r * s1), w);
    pic->pts = f.u64pts;
    pic->seq = f.u32TimeRef / 2;
    return pic;
}

void join_unlocked(std::unique_lock<std::mutex> &lock, std::thread &t)
{
    if (!t.joinable())
        return;
    std::thread worker = std::move(t);
    lock.unlock();
    worker.join();
    lock.lock();
}

int set_depth(uint32_t &depth, std::deque<PicturePtr> &ready, void *arg, uint32_t max, int illegal)
{
    uint32_t d;
    if (!get_user(d, arg))
        return fail(EFAULT);
    if (d > max)
        return illegal;
    depth = d;
    while (ready.size() > d)
        ready.pop_front();
    return 0;
}

int release_picture(std::map<uint32_t, PicturePtr> &held, void *arg, int unknown)
{
    VIDEO_FRAME_REC_S f;
    if (!get_user(f, arg))
        return fail(EFAULT);
    return held.erase(f.u32PhyAddr[0]) ? 0 : unknown;
}

int store_request(RecordStore &store, unsigned long set, unsigned long get, unsigned long req, void *arg, int missing)
{
    uint32_t size = (uint32_t)((req >> 16) & 0x3fff);
    if (req == set) {
        std::vector<uint8_t> bytes(size);
        if (!copy_from_user(bytes.data(), arg, bytes.size()))
            return fail(EFAULT);
        store[set] = std::move(bytes);
        return 0;
    }
    if (!get || req != get)
        return 1;
    auto it = store.find(set);
    if (it == store.end() && missing)
        return missing;
    std::vector<uint8_t> zero(size);
    const std::vector<uint8_t> &bytes = it == store.end() ? zero : it->second;
    return copy_to_user(arg, bytes.data(), std::min<size_t>(size, bytes.size())) ? 0 : fail(EFAULT);
}

// ---- region luma ------------------------------------------------------------------------------

int read_regions(const VIDEO_REGION_INFO_S &info, std::vector<VPSS_RECT_S> &rects)
{
    constexpr uint32_t kMaxRegions = 64;
    uint32_t n = info.u32RegionNum;
    if (n == 0 || n > kMaxRegions)
        return 1;
    rects.resize(n);
    return copy_from_user(rects.data(), info.pstRegion, n * sizeof(VPSS_RECT_S)) ? 0 : fail(EFAULT);
}

int put_region_means(const Picture &pic, const std::vector<VPSS_RECT_S> &rects, uint32_t *out)
{
    std::vector<uint32_t> means(rects.size());
    for (size_t i = 0; i < rects.size(); i++) {
        const VPSS_RECT_S &r = rects[i];
        int64_t x0 = std::clamp<int64_t>(r.s32X, 0, pic.width), y0 = std::clamp<int64_t>(r.s32Y, 0, pic.height);
        int64_t x1 = std::clamp<int64_t>((int64_t)r.s32X + r.u32Width, 0, pic.width);
        int64_t y1 = std::clamp<int64_t>((int64_t)r.s32Y + r.u32Height, 0, pic.height);
        uint64_t sum = 0, cnt = (uint64_t)(x1 - x0) * (y1 - y0);
        for (int64_t y = y0; y < y1; y++)
            for (int64_t x = x0; x < x1; x++)
                sum += pic.y()[y * pic.stride + x];
        means[i] = cnt ? (uint32_t)(sum / cnt) : 0;
    }
    return copy_to_user(out, means.data(), means.size() * sizeof(uint32_t)) ? 0 : fail(EFAULT);
}

// ---- the sensor ------------------------------------------------------------------------------
// The one place where the picture learns the simulated sensor's state. A
// sensor nobody programmed leaves the scene at its nominal exposure.
double sensor_exposure_factor()
{
    double gain = sensor_exposure_gain();
    return gain > 0 ? gain : 1.0;
}
double sensor_frame_rate() { return sensor_fps(); }

} // namespace sim::video
