// The engine's feature operators: correlation, connected components, Canny
// edges, local binary patterns, normalised gradients, block SAD and corner
// candidates. The rules they follow are in board/sim/ive/ive.h.
#include "board/sim/ive/ive.h"
#include "board/sim/ive/ive_rows.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <functional>

namespace sim {
namespace ive {

namespace {

constexpr uint32_t U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, S8C2 = IVE_IMAGE_TYPE_S8C2_PACKAGE,
                   U16C1 = IVE_IMAGE_TYPE_U16C1;

// Canny's magnitude |H| + |V| and direction (0: 0 degrees, 1: 45, 2: 90,
// 3: 135) of a row.
template <class In>
IVE_ROW_LOOP void canny_gradients(const In *__restrict gh, const In *__restrict gv, int32_t *__restrict mag,
                                  uint8_t *__restrict dir, int n)
{
    for (int x = 0; x < n; x++) {
        const int64_t ah = gh[x] < 0 ? -(int64_t)gh[x] : gh[x], av = gv[x] < 0 ? -(int64_t)gv[x] : gv[x];
        mag[x] = (int32_t)(ah + av);
        dir[x] = 10000 * av <= 4142 * ah ? 0 : 10000 * av >= 24142 * ah ? 2 : ((gh[x] > 0) == (gv[x] > 0) ? 1 : 3);
    }
}

// Whether the pixel is a local maximum across its edge: above the
// neighbour before it along its direction (in raster order) and not below
// the one after it; neighbours outside the picture are not compared.
bool canny_maximum(const int32_t *mag, uint8_t dir, int x, int y, int w, int h)
{
    static const int kBefore[4][2] = {{-1, 0}, {-1, -1}, {0, -1}, {1, -1}}; // left, up-left, up, up-right
    const int m = mag[(size_t)y * w + x];
    const int bx = x + kBefore[dir][0], by = y + kBefore[dir][1], ax = x - kBefore[dir][0], ay = y - kBefore[dir][1];
    const bool inside_before = bx >= 0 && bx < w && by >= 0, inside_after = ax >= 0 && ax < w && ay < h;
    return (!inside_before || m > mag[(size_t)by * w + bx]) && (!inside_after || m >= mag[(size_t)ay * w + ax]);
}

// NormGrad's outputs: the sum shifted by the norm (rounding down), clipped
// to S8; alone, or H and V pairs.
SIM_PIXEL_LOOP inline uint8_t norm_s8(int v, int norm)
{
    v >>= norm;
    return (uint8_t)(int8_t)(v < -128 ? -128 : v > 127 ? 127 : v);
}

template <class In> IVE_ROW_LOOP void norm_row(const In *__restrict in, uint8_t *__restrict out, int n, int norm)
{
    for (int x = 0; x < n; x++)
        out[x] = norm_s8(in[x], norm);
}

template <class In>
IVE_ROW_LOOP void norm_pairs(const In *__restrict h, const In *__restrict v, uint8_t *__restrict out, int n, int norm)
{
    for (int x = 0; x < n; x++) {
        out[2 * x] = norm_s8(h[x], norm);
        out[2 * x + 1] = norm_s8(v[x], norm);
    }
}

// ---- block SAD -----------------------------------------------------------------------------

// |a - b| of a row into (kFirst) or onto the column sums of its block row:
// a 16 x 16 block sums at most 65280, so 16 bits hold every sum.
template <bool kFirst>
IVE_ROW_LOOP void absdiff_columns(const uint8_t *__restrict a, const uint8_t *__restrict b, uint16_t *__restrict col,
                                  int n)
{
    for (int x = 0; x < n; x++) {
        const uint16_t d = (uint16_t)(a[x] > b[x] ? a[x] - b[x] : b[x] - a[x]);
        col[x] = kFirst ? d : (uint16_t)(col[x] + d);
    }
}

// Each pair of neighbours summed: the block width doubles.
IVE_ROW_LOOP void pair_sums(const uint16_t *__restrict in, uint16_t *__restrict out, int pairs)
{
    for (int i = 0; i < pairs; i++)
        out[i] = (uint16_t)(in[2 * i] + in[2 * i + 1]);
}

IVE_ROW_LOOP void copy_u16(const uint16_t *__restrict in, u16u *__restrict out, int n)
{
    for (int x = 0; x < n; x++)
        out[x] = in[x];
}

IVE_ROW_LOOP void narrow_u8(const uint16_t *__restrict in, uint8_t *__restrict out, int n)
{
    for (int x = 0; x < n; x++)
        out[x] = (uint8_t)(in[x] > 255 ? 255 : in[x]);
}

// The threshold of each sum as written: `limit` 255 for an 8-bit SAD image.
IVE_ROW_LOOP void threshold_u16(const uint16_t *__restrict in, uint8_t *__restrict out, int n, uint16_t limit,
                                uint16_t thr, uint8_t lo, uint8_t hi)
{
    for (int x = 0; x < n; x++)
        out[x] = (in[x] < limit ? in[x] : limit) >= thr ? hi : lo;
}

// The SADs of the n x n blocks, a block row at a time: the rows' differences
// summed down the columns, then neighbours summed in pairs until each sum
// covers a block.
class BlockSums {
public:
    BlockSums(uint32_t w, uint32_t n) : w_(w), n_(n), work_{std::vector<uint16_t>(w), std::vector<uint16_t>(w)} {}
    // The sums of block row y, w / n of them.
    const uint16_t *row(const Plane &a, const Plane &b, uint32_t y)
    {
        uint16_t *col = work_[0].data();
        absdiff_columns<true>(a.row(y * n_), b.row(y * n_), col, (int)w_);
        for (uint32_t i = 1; i < n_; i++)
            absdiff_columns<false>(a.row(y * n_ + i), b.row(y * n_ + i), col, (int)w_);
        int k = 0;
        for (uint32_t width = w_; width > w_ / n_; width /= 2, k ^= 1)
            pair_sums(work_[k].data(), work_[k ^ 1].data(), (int)width / 2);
        return work_[k].data();
    }

private:
    uint32_t w_, n_;
    std::vector<uint16_t> work_[2];
};

struct Component {
    uint32_t area = 0;
    uint16_t left, right, top, bottom;
};

} // namespace

int op_ncc(const IVE_NCC_REQ_S &b)
{
    Image a, c;
    uint8_t *out;
    if (int err = image(b.stSrc1, &a, {U8C1}))
        return err;
    if (int err = sized(b.stSrc2, {U8C1}, a, &c))
        return err;
    if (int err = memory(b.stDst, 32, &out))
        return err;
    uint64_t ab = 0, aa = 0, cc = 0;
    for (uint32_t y = 0; y < a.h; y++) {
        const uint8_t *pa = a.p[0].row(y), *pc = c.p[0].row(y);
        for (uint32_t x = 0; x < a.w; x++) {
            ab += (uint32_t)pa[x] * pc[x];
            aa += (uint32_t)pa[x] * pa[x];
            cc += (uint32_t)pc[x] * pc[x];
        }
    }
    const uint64_t sums[4] = {ab, aa, cc, 0};
    memcpy(out, sums, sizeof sums);
    return 0;
}

int op_ccl(const IVE_CCL_REQ_S &b)
{
    Image img;
    uint8_t *blob_mem;
    if (int err = image(b.stSrcDst, &img, {U8C1}))
        return err;
    if (int err = memory(b.stBlob, sizeof(IVE_CCBLOB_S), &blob_mem))
        return err;
    if (b.stCclCtrl.u16Step == 0)
        return EINVAL;
    const int w = (int)img.w, h = (int)img.h;
    std::vector<uint8_t> px = copy_u8(img);
    std::vector<int32_t> label(px.size(), -1);
    std::vector<Component> comps;
    std::vector<int> todo;
    for (int start = 0; start < w * h; start++) {
        if (!px[start] || label[start] >= 0)
            continue;
        const int id = (int)comps.size();
        Component c;
        c.left = c.right = (uint16_t)(start % w);
        c.top = c.bottom = (uint16_t)(start / w);
        label[start] = id;
        todo.assign(1, start);
        while (!todo.empty()) {
            const int i = todo.back(), x = i % w, y = i / w;
            todo.pop_back();
            c.area++;
            c.left = std::min<uint16_t>(c.left, (uint16_t)x), c.right = std::max<uint16_t>(c.right, (uint16_t)x);
            c.top = std::min<uint16_t>(c.top, (uint16_t)y), c.bottom = std::max<uint16_t>(c.bottom, (uint16_t)y);
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++) {
                    const int nx = x + dx, ny = y + dy, j = ny * w + nx;
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h || !px[j] || label[j] >= 0)
                        continue;
                    label[j] = id;
                    todo.push_back(j);
                }
        }
        comps.push_back(c);
    }
    // Raise the area threshold by steps until the kept components fit the
    // list: past the area of the first component that would not fit.
    uint32_t thr = b.stCclCtrl.u16InitAreaThr;
    if (comps.size() > IVE_MAX_REGION_NUM) {
        std::vector<uint32_t> areas;
        for (const Component &c : comps)
            areas.push_back(c.area);
        std::nth_element(areas.begin(), areas.begin() + IVE_MAX_REGION_NUM, areas.end(), std::greater<uint32_t>());
        const uint32_t too_many = areas[IVE_MAX_REGION_NUM], step = b.stCclCtrl.u16Step;
        if (thr <= too_many)
            thr += ((too_many - thr) / step + 1) * step;
    }
    IVE_CCBLOB_S blob;
    memset(&blob, 0, sizeof blob);
    std::vector<uint8_t> number(comps.size(), 0);
    if (thr > 65535) {
        blob.u16CurAreaThr = 65535;
        blob.s8LabelStatus = -1;
    } else {
        blob.u16CurAreaThr = (uint16_t)thr;
        for (size_t i = 0; i < comps.size(); i++) {
            if (comps[i].area < thr)
                continue;
            const Component &c = comps[i];
            blob.astRegion[blob.u8RegionNum] = {c.area, c.left, c.right, c.top, c.bottom};
            number[i] = ++blob.u8RegionNum;
        }
    }
    for (int y = 0; y < h; y++) {
        uint8_t *row = img.p[0].row((uint32_t)y);
        for (int x = 0; x < w; x++) {
            const int32_t l = label[(size_t)y * w + x];
            row[x] = l < 0 ? 0 : number[l];
        }
    }
    memcpy(blob_mem, &blob, sizeof blob);
    return 0;
}

int op_canny_hys_edge(const IVE_CANNY_HYS_EDGE_REQ_S &b)
{
    const IVE_CANNY_HYS_EDGE_CTRL_S &c = b.stCannyHysEdgeCtrl;
    Image src, edge;
    uint8_t *stack;
    if (int err = image(b.stSrc, &src, {U8C1}))
        return err;
    if (int err = sized(b.stEdge, {U8C1}, src, &edge))
        return err;
    const uint32_t w = src.w, h = src.h;
    const uint64_t count_at = 4ull * w * h;
    if (int err = memory(b.stStack, count_at + 4, &stack))
        return err;
    // The whole source is read before the map and the stack are written.
    std::vector<int32_t> mag((size_t)w * h);
    std::vector<uint8_t> dir((size_t)w * h);
    gradient_rows(src.p[0], w, h, c.as8Mask, true, true, [&](uint32_t y, const SumRow *gh, const SumRow *gv) {
        with_sums(*gh, [&](auto *hs) {
            canny_gradients(hs, static_cast<decltype(hs)>(gv->data), &mag[(size_t)y * w], &dir[(size_t)y * w], (int)w);
        });
    });
    const int lowest = std::min(c.u16LowThr, c.u16HighThr); // no class below both
    uint32_t count = 0;
    for (uint32_t y = 0; y < h; y++) {
        uint8_t *row = edge.p[0].row(y);
        for (uint32_t x = 0; x < w; x++) {
            const int m = mag[(size_t)y * w + x];
            uint8_t cls = 1;
            if (m > lowest && canny_maximum(mag.data(), dir[(size_t)y * w + x], (int)x, (int)y, (int)w, (int)h)) {
                if (m > c.u16HighThr) {
                    cls = 2;
                    st<uint16_t>(stack + (size_t)count * 4, (uint16_t)x);
                    st<uint16_t>(stack + (size_t)count * 4 + 2, (uint16_t)y);
                    count++;
                } else if (m > c.u16LowThr) {
                    cls = 0;
                }
            }
            row[x] = cls;
        }
    }
    st<uint32_t>(stack + count_at, count);
    return 0;
}

int op_lbp(const IVE_LBP_REQ_S &b)
{
    const IVE_LBP_CTRL_S &c = b.stCtrl;
    if (c.enMode > 1)
        return EINVAL;
    Image src, dst;
    if (int err = image(b.stSrc, &src, {U8C1}))
        return err;
    if (int err = sized(b.stDst, {U8C1}, src, &dst))
        return err;
    Sources sources({dst.p[0]});
    src = sources.read(src);
    RowWindow win(src.p[0], src.w, src.h, 1);
    const int threshold = c.enMode == 0 ? c.un8BitThr.s8Val : c.un8BitThr.u8Val;
    for (uint32_t y = 0; y < src.h; y++) {
        lbp_row(win, (int)src.w, c.enMode, threshold, dst.p[0].row(y));
        if (y + 1 < src.h)
            win.next();
    }
    return 0;
}

int op_norm_grad(const IVE_NORM_GRAD_REQ_S &b)
{
    const IVE_NORM_GRAD_CTRL_S &c = b.stNormGradCtrl;
    const uint32_t out = c.enOutCtrl;
    if (out > 3 || c.u8Norm > 13)
        return EINVAL;
    Image src, dh, dv, dhv;
    if (int err = image(b.stSrc, &src, {U8C1}))
        return err;
    if (out == 0 || out == 1)
        if (int err = sized(b.stDstH, {S8C1}, src, &dh))
            return err;
    if (out == 0 || out == 2)
        if (int err = sized(b.stDstV, {S8C1}, src, &dv))
            return err;
    if (out == 3)
        if (int err = sized(b.stDstHV, {S8C2}, src, &dhv))
            return err;
    Sources sources({dh.p[0], dv.p[0], dhv.p[0]});
    src = sources.read(src);
    const bool want_h = out != 2, want_v = out != 1;
    gradient_rows(src.p[0], src.w, src.h, c.as8Mask, want_h, want_v,
                  [&](uint32_t y, const SumRow *gh, const SumRow *gv) {
                      if (out == 3) {
                          with_sums(*gh, [&](auto *hs) {
                              norm_pairs(hs, static_cast<decltype(hs)>(gv->data), dhv.p[0].row(y), (int)src.w,
                                         c.u8Norm);
                          });
                          return;
                      }
                      if (gh)
                          with_sums(*gh, [&](auto *s) { norm_row(s, dh.p[0].row(y), (int)src.w, c.u8Norm); });
                      if (gv)
                          with_sums(*gv, [&](auto *s) { norm_row(s, dv.p[0].row(y), (int)src.w, c.u8Norm); });
                  });
    return 0;
}

int op_sad(const IVE_SAD_REQ_S &b)
{
    const IVE_SAD_CTRL_S &c = b.stSadCtrl;
    if (c.enMode > 2 || c.enOutCtrl > 4)
        return EINVAL;
    const uint32_t n = 4u << c.enMode;
    const bool has_sad = c.enOutCtrl <= 3, has_thr = c.enOutCtrl <= 1 || c.enOutCtrl == 4;
    const bool sad16 = c.enOutCtrl == 0 || c.enOutCtrl == 2;
    Image a, s2, sad, thr;
    if (int err = image(b.stSrc1, &a, {U8C1}))
        return err;
    if (int err = sized(b.stSrc2, {U8C1}, a, &s2))
        return err;
    if (a.w % n || a.h % n)
        return EINVAL;
    Image grid;
    grid.w = a.w / n;
    grid.h = a.h / n;
    if (has_sad)
        if (int err = sized(b.stSad, {sad16 ? U16C1 : U8C1}, grid, &sad))
            return err;
    if (has_thr)
        if (int err = sized(b.stThr, {U8C1}, grid, &thr))
            return err;
    Sources sources({sad.p[0], thr.p[0]});
    a = sources.read(a);
    s2 = sources.read(s2);
    BlockSums sums(a.w, n);
    for (uint32_t y = 0; y < grid.h; y++) {
        const uint16_t *row = sums.row(a.p[0], s2.p[0], y);
        if (has_sad && sad16)
            copy_u16(row, reinterpret_cast<u16u *>(sad.p[0].row(y)), (int)grid.w);
        if (has_sad && !sad16)
            narrow_u8(row, sad.p[0].row(y), (int)grid.w);
        if (has_thr)
            threshold_u16(row, thr.p[0].row(y), (int)grid.w, has_sad && !sad16 ? 255 : 65535, c.u16Thr, c.u8MinVal,
                          c.u8MaxVal);
    }
    return 0;
}

int op_st_candi_corner(const IVE_ST_CANDI_CORNER_REQ_S &b)
{
    Image src, dst;
    if (int err = image(b.stSrc, &src, {U8C1}))
        return err;
    if (int err = sized(b.stDst, {U8C1}, src, &dst))
        return err;
    const int w = (int)src.w, h = (int)src.h;
    Padded p(src, 1);
    std::vector<int> gx((size_t)w * h), gy((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            auto q = [&](int dx, int dy) { return (int)*p.at(x + dx, y + dy); };
            gx[(size_t)y * w + x] = q(1, -1) + 2 * q(1, 0) + q(1, 1) - q(-1, -1) - 2 * q(-1, 0) - q(-1, 1);
            gy[(size_t)y * w + x] = q(-1, 1) + 2 * q(0, 1) + q(1, 1) - q(-1, -1) - 2 * q(0, -1) - q(1, -1);
        }
    std::vector<double> r((size_t)w * h);
    double best = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int64_t sa = 0, sb = 0, sc = 0;
            for (int dy = -1; dy <= 1; dy++)
                for (int dx = -1; dx <= 1; dx++) {
                    const size_t i = (size_t)std::clamp(y + dy, 0, h - 1) * w + std::clamp(x + dx, 0, w - 1);
                    sa += (int64_t)gx[i] * gx[i];
                    sb += (int64_t)gx[i] * gy[i];
                    sc += (int64_t)gy[i] * gy[i];
                }
            const double d = (double)(sa - sc);
            const double v = ((double)(sa + sc) - std::sqrt(d * d + 4.0 * (double)sb * (double)sb)) / 2;
            r[(size_t)y * w + x] = v;
            best = std::max(best, v);
        }
    const double floor_r = best * b.stCtrl.u0q8QualityLevel / 256;
    for (int y = 0; y < h; y++) {
        uint8_t *row = dst.p[0].row((uint32_t)y);
        for (int x = 0; x < w; x++) {
            const double v = r[(size_t)y * w + x];
            bool candidate = v > 0 && v >= floor_r;
            for (int k = 0; candidate && k < 9; k++) {
                const int nx = std::clamp(x + k % 3 - 1, 0, w - 1), ny = std::clamp(y + k / 3 - 1, 0, h - 1);
                candidate = r[(size_t)ny * w + nx] <= v;
            }
            row[x] = candidate ? (uint8_t)std::max(1l, std::lround(255 * v / best)) : 0;
        }
    }
    return 0;
}

} // namespace ive
} // namespace sim
