// /dev/ive: the image-analysis engine. Each operator's request carries its
// block; the engine checks every plane against the media memory, computes
// the task inside the submission (board/sim/ive/ive.h has the arithmetic) and
// puts the task's handle in the block's first word. Knobs: "ive = none"
// takes the device away, "ive_refuse = REQUEST" refuses one command word.
#include "board/sim/ive/ive.h"
#include "board/sim/mpp_log.h"
#include "board/sim/sim.h"

#include <algorithm>
#include <cerrno>
#include <mutex>

namespace sim {
namespace ive {

namespace {

constexpr uint32_t kHandles = 0x10000000; // handles run modulo this

// One engine: tasks run one at a time, in submission order.
std::mutex g_engine;
uint64_t g_issued = 0; // tasks issued since the board started

Hooks ive_hooks([] {
    std::lock_guard<std::mutex> lock(g_engine);
    g_issued = 0;
});

// The planes of each type: element size and lines per plane (in halves of h).
struct PlaneShape {
    uint32_t elem, rows_half; // rows = h x rows_half / 2, rounded up
};
struct TypeShape {
    uint32_t type;
    int planes;
    PlaneShape p[3];
};
const TypeShape kShapes[] = {
    {IVE_IMAGE_TYPE_U8C1, 1, {{1, 2}}},
    {IVE_IMAGE_TYPE_S8C1, 1, {{1, 2}}},
    {IVE_IMAGE_TYPE_YUV420SP, 2, {{1, 2}, {1, 1}}},
    {IVE_IMAGE_TYPE_YUV422SP, 2, {{1, 2}, {1, 2}}},
    {IVE_IMAGE_TYPE_S8C2_PACKAGE, 1, {{2, 2}}},
    {IVE_IMAGE_TYPE_S16C1, 1, {{2, 2}}},
    {IVE_IMAGE_TYPE_U16C1, 1, {{2, 2}}},
    {IVE_IMAGE_TYPE_U8C3_PACKAGE, 1, {{3, 2}}},
    {IVE_IMAGE_TYPE_U8C3_PLANAR, 3, {{1, 2}, {1, 2}, {1, 2}}},
    {IVE_IMAGE_TYPE_U32C1, 1, {{4, 2}}},
    {IVE_IMAGE_TYPE_U64C1, 1, {{8, 2}}},
};

// Bytes from a plane's address to the end of its last element.
uint64_t extent(uint32_t rows, uint32_t stride, uint32_t w, uint32_t elem)
{
    return ((uint64_t)(rows - 1) * stride + w) * elem;
}

// ---- the request table ------------------------------------------------------------------

template <class Block, int (*Fn)(const Block &)> int run(const void *arg)
{
    Block b;
    if (!get_user(b, arg))
        return EFAULT;
    return Fn(b);
}

struct Op {
    unsigned long cmd;
    const char *name;
    int (*run)(const void *arg);
};

const Op kOps[] = {
    {IVE_DMA, "DMA", run<IVE_DMA_REQ_S, op_dma>},
    {IVE_FILTER, "Filter", run<IVE_FILTER_REQ_S, op_filter>},
    {IVE_CSC, "CSC", run<IVE_CSC_REQ_S, op_csc>},
    {IVE_FILTER_AND_CSC, "FilterAndCSC", run<IVE_FILTER_AND_CSC_REQ_S, op_filter_and_csc>},
    {IVE_SOBEL, "Sobel", run<IVE_SOBEL_REQ_S, op_sobel>},
    {IVE_MAG_AND_ANG, "MagAndAng", run<IVE_MAG_AND_ANG_REQ_S, op_mag_and_ang>},
    {IVE_DILATE, "Dilate", run<IVE_DILATE_REQ_S, op_dilate>},
    {IVE_ERODE, "Erode", run<IVE_ERODE_REQ_S, op_erode>},
    {IVE_THRESH, "Thresh", run<IVE_THRESH_REQ_S, op_thresh>},
    {IVE_AND, "And", run<IVE_BINARY_REQ_S, op_and>},
    {IVE_SUB, "Sub", run<IVE_SUB_REQ_S, op_sub>},
    {IVE_OR, "Or", run<IVE_BINARY_REQ_S, op_or>},
    {IVE_INTEG, "Integ", run<IVE_INTEG_REQ_S, op_integ>},
    {IVE_HIST, "Hist", run<IVE_HIST_REQ_S, op_hist>},
    {IVE_THRESH_S16, "Thresh_S16", run<IVE_THRESH_S16_REQ_S, op_thresh_s16>},
    {IVE_THRESH_U16, "Thresh_U16", run<IVE_THRESH_U16_REQ_S, op_thresh_u16>},
    {IVE_16BIT_TO_8BIT, "16BitTo8Bit", run<IVE_16BIT_TO_8BIT_REQ_S, op_16bit_to_8bit>},
    {IVE_ORD_STAT_FILTER, "OrdStatFilter", run<IVE_ORD_STAT_FILTER_REQ_S, op_ord_stat_filter>},
    {IVE_MAP, "Map", run<IVE_MAP_REQ_S, op_map>},
    {IVE_ADD, "Add", run<IVE_ADD_REQ_S, op_add>},
    {IVE_XOR, "Xor", run<IVE_BINARY_REQ_S, op_xor>},
    {IVE_NCC, "NCC", run<IVE_NCC_REQ_S, op_ncc>},
    {IVE_CCL, "CCL", run<IVE_CCL_REQ_S, op_ccl>},
    {IVE_CANNY_HYS_EDGE, "CannyHysEdge", run<IVE_CANNY_HYS_EDGE_REQ_S, op_canny_hys_edge>},
    {IVE_LBP, "LBP", run<IVE_LBP_REQ_S, op_lbp>},
    {IVE_NORM_GRAD, "NormGrad", run<IVE_NORM_GRAD_REQ_S, op_norm_grad>},
    {IVE_SAD, "SAD", run<IVE_SAD_REQ_S, op_sad>},
    {IVE_EQUALIZE_HIST, "EqualizeHist", run<IVE_EQUALIZE_HIST_REQ_S, op_equalize_hist>},
    {IVE_ST_CANDI_CORNER, "STCandiCorner", run<IVE_ST_CANDI_CORNER_REQ_S, op_st_candi_corner>},
    {IVE_GMM, "GMM", run<IVE_GMM_REQ_S, op_gmm>},
    {IVE_LK_OPTICAL_FLOW, "LKOpticalFlow", run<IVE_LK_OPTICAL_FLOW_REQ_S, op_lk_optical_flow>},
    {IVE_GRAD_FG, "GradFg", run<IVE_GRAD_FG_REQ_S, op_grad_fg>},
    {IVE_MATCH_BG_MODEL, "MatchBgModel", run<IVE_MATCH_BG_MODEL_REQ_S, op_match_bg_model>},
    {IVE_UPDATE_BG_MODEL, "UpdateBgModel", run<IVE_UPDATE_BG_MODEL_REQ_S, op_update_bg_model>},
    {IVE_ANN_MLP_PREDICT, "ANN_MLP_Predict", run<IVE_ANN_MLP_PREDICT_REQ_S, op_ann_mlp_predict>},
    {IVE_SVM_PREDICT, "SVM_Predict", run<IVE_SVM_PREDICT_REQ_S, op_svm_predict>},
};

// A query of an issued handle: finished, since every task ends in its submission.
int query(void *arg)
{
    IVE_QUERY_REQ_S q;
    if (!get_user(q, arg))
        return fail(EFAULT);
    if (q.bBlock > 1)
        return fail(EINVAL);
    {
        std::lock_guard<std::mutex> lock(g_engine);
        bool issued = q.s32Handle >= 0 && (uint64_t)q.s32Handle < std::min<uint64_t>(g_issued, kHandles);
        if (!issued)
            return fail(EINVAL);
    }
    q.bFinish = 1;
    if (tracing())
        event("ive", "query %d", q.s32Handle);
    return put_user(arg, q) ? 0 : fail(EFAULT);
}

int submit(const Op &op, void *arg)
{
    if (mpp_refused("ive", op.cmd)) {
        if (tracing())
            event("ive", "%s refused", op.name);
        return fail(EIO);
    }
    std::lock_guard<std::mutex> lock(g_engine);
    if (int err = op.run(arg)) {
        if (tracing())
            event("ive", "%s failed: %s", op.name, strerror(err));
        return fail(err);
    }
    IVE_TASK_HANDLE handle = (IVE_TASK_HANDLE)(g_issued++ % kHandles);
    if (tracing())
        event("ive", "task %d %s", handle, op.name);
    return put_user(arg, handle) ? 0 : fail(EFAULT);
}

class IveFile : public Device {
public:
    int ioctl(unsigned long req, void *arg) override
    {
        if (req == IVE_QUERY)
            return query(arg);
        for (const Op &op : kOps)
            if (op.cmd == req)
                return submit(op, arg);
        return fail(EINVAL);
    }
};

DeviceRegistration ive_device("/dev/ive", [](int) -> std::shared_ptr<Device> {
    if (conf("ive", "") == "none") {
        fail(ENOENT);
        return nullptr;
    }
    return std::make_shared<IveFile>();
});

} // namespace

// ---- planes and blocks ---------------------------------------------------------------------

int image(const IVE_IMG_DESC_S &d, Image *out, std::initializer_list<uint32_t> types)
{
    if (types.size() && std::find(types.begin(), types.end(), d.enType) == types.end())
        return EINVAL;
    const TypeShape *shape = nullptr;
    for (const TypeShape &s : kShapes)
        if (s.type == d.enType)
            shape = &s;
    if (!shape || d.u16Width == 0 || d.u16Height == 0)
        return EINVAL;
    // A chroma sample covers a pair of pixels: no half pairs.
    if ((d.enType == IVE_IMAGE_TYPE_YUV420SP || d.enType == IVE_IMAGE_TYPE_YUV422SP) && d.u16Width % 2)
        return EINVAL;
    Image img;
    img.type = d.enType;
    img.w = d.u16Width;
    img.h = d.u16Height;
    img.elem = shape->p[0].elem;
    for (int i = 0; i < shape->planes; i++) {
        const PlaneShape &ps = shape->p[i];
        uint32_t rows = (img.h * ps.rows_half + 1) / 2;
        if (d.u16Stride[i] < img.w)
            return EINVAL;
        if (!phys_in_alloc(d.u32PhyAddr[i], extent(rows, d.u16Stride[i], img.w, ps.elem)))
            return EFAULT;
        img.p[i].data = phys(d.u32PhyAddr[i]);
        img.p[i].pitch = (size_t)d.u16Stride[i] * ps.elem;
        img.p[i].rows = rows;
        img.p[i].bytes = extent(rows, d.u16Stride[i], img.w, ps.elem);
    }
    *out = img;
    return 0;
}

int sized(const IVE_IMG_DESC_S &d, std::initializer_list<uint32_t> types, const Image &ref, Image *out)
{
    if (int err = image(d, out, types))
        return err;
    return same_size(*out, ref) ? 0 : EINVAL;
}

int memory(const IVE_MEM_BLOCK_S &m, uint64_t need, uint8_t **out)
{
    if (m.u32Size < need)
        return EINVAL;
    if (!phys_in_alloc(m.u32PhyAddr, need))
        return EFAULT;
    *out = phys(m.u32PhyAddr);
    return 0;
}

int area(const IVE_DATA_DESC_S &d, Plane *out)
{
    if (d.u16Width == 0 || d.u16Height == 0 || d.u16Stride < d.u16Width)
        return EINVAL;
    if (!phys_in_alloc(d.u32PhyAddr, extent(d.u16Height, d.u16Stride, d.u16Width, 1)))
        return EFAULT;
    out->data = phys(d.u32PhyAddr);
    out->pitch = d.u16Stride;
    out->rows = d.u16Height;
    out->bytes = extent(d.u16Height, d.u16Stride, d.u16Width, 1);
    return 0;
}

// ---- sources read before outputs are written ---------------------------------------------

namespace {

bool overlap(const Plane &a, const Plane &b)
{
    return a.data && b.data && a.data < b.data + b.bytes && b.data < a.data + a.bytes;
}

} // namespace

Plane Sources::read(const Plane &p, size_t row_bytes)
{
    if (!std::any_of(outputs_.begin(), outputs_.end(), [&](const Plane &o) { return overlap(p, o); }))
        return p;
    copies_.emplace_back((size_t)p.rows * row_bytes);
    Plane copy = {copies_.back().data(), row_bytes, p.rows, (size_t)p.rows * row_bytes};
    for (uint32_t y = 0; y < p.rows; y++)
        memcpy(copy.row(y), p.row(y), row_bytes);
    return copy;
}

Image Sources::read(const Image &img)
{
    Image out = img;
    for (Plane &p : out.p)
        if (p.data)
            p = read(p, p.rows ? (p.bytes - (p.rows - 1) * p.pitch) : 0);
    return out;
}

std::vector<uint8_t> copy_u8(const Image &img, int plane)
{
    std::vector<uint8_t> px((size_t)img.w * img.p[plane].rows);
    for (uint32_t y = 0; y < img.p[plane].rows; y++)
        memcpy(&px[(size_t)y * img.w], img.p[plane].row(y), img.w);
    return px;
}

Padded::Padded(const Image &img, int radius) : w((int)img.w), h((int)img.h), r(radius), pw(w + 2 * radius)
{
    px.resize((size_t)pw * (h + 2 * r));
    for (int y = -r; y < h + r; y++) {
        const uint8_t *src = img.p[0].row((uint32_t)std::clamp(y, 0, h - 1));
        uint8_t *dst = &px[(size_t)(y + r) * pw];
        for (int x = -r; x < w + r; x++)
            dst[x + r] = src[std::clamp(x, 0, w - 1)];
    }
}

} // namespace ive
} // namespace sim
