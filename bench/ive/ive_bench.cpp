// The image-analysis engine on the board and the firmware's cost per task.
//
// Op/<operator>: one operator at 1920 x 1080 (or the largest size its check
// allows), submission and the board's computation together, against a
// memcpy that reads and writes as many bytes as the operator does (of half
// their sum), timed in the same loop. copy_x is the best operator time over
// the best copy time: what the operator costs beyond moving its pictures.
// Run it on one core (taskset -c 0): the engine is one core's work.
// Submit/<op>: the firmware's own work per operator (parameter check, block,
// request) up to the engine, which refuses the task at once (ive_refuse).
// Query: one query of a finished task, the request's round trip alone.
// VsOpenCV/<op>: one operator at 1920 x 1080 against the same computation
// by OpenCV (one thread, as the engine is one core's work) on the same
// pictures, timed in the same loop: opencv_x is our best time over OpenCV's.
// Our result is checked against OpenCV's before the timing.
// CannyEdge640x480, STCorner720x576: the software stages after the engine,
// on the processor: edge tracking over a map with a stacked edge on every
// tenth line and candidates between them; corner selection with a
// candidate on every other pixel and a minimum distance of 10.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "board/board.h"
#include "board/sim/sim.h"
#include "ive/ive_requests.h"
#include "ive/mpi_ive.h"

namespace {

// Starts a fresh board with `conf` as its board.conf.
void start_board(const std::string &conf)
{
    char root[] = "/tmp/ive-bench-XXXXXX";
    std::string dir = mkdtemp(root);
    std::ofstream(dir + "/board.conf") << conf;
    sim::start(dir);
    if (g_s32IveFd >= 0) // a new board: the unit opens its engine again
        bd_close(g_s32IveFd);
    g_s32IveFd = -1;
}

u32 plane_rows(u32 type, int plane, u16 h) { return plane == 1 && type == IVE_IMAGE_TYPE_YUV420SP ? h / 2 : h; }

// How a picture is filled: a fine texture, or a scene of 64-pixel squares
// on a ramp (edges, corners and motion where a camera would see them).
enum class Fill { Texture, Scene };

IVE_IMG_DESC_S picture(u32 type, u16 w, u16 h, Fill fill = Fill::Texture)
{
    IVE_IMG_DESC_S d;
    memset(&d, 0, sizeof d);
    d.enType = type;
    d.u16Width = w;
    d.u16Height = h;
    const u32 elem = ive_elem_size(type);
    for (int p = 0; p < ive_plane_count(type); p++) {
        const u32 stride = (w + 15) / 16 * 16, rows = plane_rows(type, p, h), bytes = stride * rows * elem;
        d.u16Stride[p] = (u16)stride;
        d.u32PhyAddr[p] = sim::phys_alloc(bytes);
        d.pu8VirAddr[p] = sim::phys(d.u32PhyAddr[p]);
        for (u32 i = 0; i < bytes; i++) {
            const u32 x = i % (stride * elem) / elem, y = i / (stride * elem);
            d.pu8VirAddr[p][i] =
                fill == Fill::Texture ? (u8)(i * 7 + i / 1920) : (u8)((x + 2 * y) / 16 + ((x / 64 + y / 64) % 2) * 90);
        }
    }
    return d;
}

// Bytes of the w x h area of every plane.
u64 bytes_of(const IVE_IMG_DESC_S &d)
{
    u64 n = 0;
    for (int p = 0; p < ive_plane_count(d.enType); p++)
        n += (u64)d.u16Width * plane_rows(d.enType, p, d.u16Height) * ive_elem_size(d.enType);
    return n;
}

IVE_MEM_BLOCK_S mem(u32 size)
{
    IVE_MEM_BLOCK_S m;
    m.u32PhyAddr = sim::phys_alloc(size);
    m.pu8VirAddr = sim::phys(m.u32PhyAddr);
    m.u32Size = size;
    return m;
}

// ---- one operator at full size against a copy of its bytes --------------------------------

// A task ready to submit, and the bytes it reads and writes.
struct Task {
    std::function<s32(IVE_TASK_HANDLE *)> call;
    u64 in = 0, out = 0;
};

constexpr u32 U8C1 = IVE_IMAGE_TYPE_U8C1, S8C1 = IVE_IMAGE_TYPE_S8C1, S16C1 = IVE_IMAGE_TYPE_S16C1,
              U16C1 = IVE_IMAGE_TYPE_U16C1;
constexpr u16 W = 1920, H = 1080, HF = 1024; // HF: the filters' largest height

// Masks of the filters and gradients, row-major 5 x 5.
const s8 kGauss3[25] = {0, 0, 0, 0, 0, 0, 1, 2, 1, 0, 0, 2, 4, 2, 0, 0, 1, 2, 1, 0, 0, 0, 0, 0, 0};
const s8 kGauss5[25] = {1, 4, 6, 4, 1, 4, 16, 24, 16, 4, 6, 24, 36, 24, 6, 4, 16, 24, 16, 4, 1, 4, 6, 4, 1};
const s8 kUneven5[25] = {1, -2, 3, 0, 1, 2, 5, -1, 4, 0, -3, 2, 9, 2, 1, 0, 4, -1, 5, 2, 1, 0, 3, -2, 1};
const s8 kSobel3[25] = {0, 0, 0, 0, 0, 0, -1, 0, 1, 0, 0, -2, 0, 2, 0, 0, -1, 0, 1, 0, 0, 0, 0, 0, 0};
const s8 kSobel5[25] = {-1, -2, 0, 2, 1, -4, -8, 0, 8, 4, -6, -12, 0, 12, 6, -4, -8, 0, 8, 4, -1, -2, 0, 2, 1};
const u8 kSquare3[25] = {0, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 255, 255, 255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0};
const u8 kCross5[25] = {0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255, 255, 255, 255, 255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0};

template <class Ctrl>
Task filter_like(s32 (*fn)(IVE_TASK_HANDLE *, const IVE_IMG_DESC_S *, const IVE_IMG_DESC_S *, const Ctrl *, u32),
                 u32 st, u32 dt, u16 h, Ctrl c)
{
    IVE_IMG_DESC_S s = picture(st, W, h), d = picture(dt, W, h);
    return {[=](IVE_TASK_HANDLE *hd) { return fn(hd, &s, &d, &c, 0); }, bytes_of(s), bytes_of(d)};
}

Task filter(const s8 *mask, u8 norm)
{
    IVE_FILTER_CTRL_S c;
    memcpy(c.as8Mask, mask, 25);
    c.u8Norm = norm;
    return filter_like(DU_DUZ_IVE_Filter, U8C1, U8C1, HF, c);
}

template <class Ctrl>
Task morphology(s32 (*fn)(IVE_TASK_HANDLE *, const IVE_IMG_DESC_S *, const IVE_IMG_DESC_S *, const Ctrl *, u32),
                const u8 *mask)
{
    Ctrl c;
    memcpy(c.au8Mask, mask, 25);
    return filter_like(fn, U8C1, U8C1, HF, c);
}

Task two_sources(s32 (*fn)(IVE_TASK_HANDLE *, const IVE_IMG_DESC_S *, const IVE_IMG_DESC_S *, const IVE_IMG_DESC_S *,
                           u32))
{
    IVE_IMG_DESC_S a = picture(U8C1, W, H), b = picture(U8C1, W, H), d = picture(U8C1, W, H);
    return {[=](IVE_TASK_HANDLE *h) { return fn(h, &a, &b, &d, 0); }, 2 * bytes_of(a), bytes_of(d)};
}

Task sobel(const s8 *mask)
{
    IVE_IMG_DESC_S s = picture(U8C1, W, HF), dh = picture(S16C1, W, HF), dv = picture(S16C1, W, HF);
    IVE_SOBEL_CTRL_S c;
    memset(&c, 0, sizeof c);
    memcpy(c.as8Mask, mask, 25);
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_Sobel(h, &s, &dh, &dv, &c, 0); }, bytes_of(s),
            2 * bytes_of(dh)};
}

Task mag_and_ang(u32 out)
{
    IVE_IMG_DESC_S s = picture(U8C1, W, HF), mag = picture(U16C1, W, HF), ang = picture(U8C1, W, HF);
    IVE_MAG_AND_ANG_CTRL_S c;
    memset(&c, 0, sizeof c);
    c.enOutCtrl = out;
    memcpy(c.as8Mask, kSobel3, 25);
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_MagAndAng(h, &s, &mag, &ang, &c, 0); }, bytes_of(s),
            bytes_of(mag) + (out ? bytes_of(ang) : 0)};
}

Task norm_grad(u32 out)
{
    IVE_IMG_DESC_S s = picture(U8C1, W, HF), dh = picture(S8C1, W, HF), dv = picture(S8C1, W, HF),
                   hv = picture(IVE_IMAGE_TYPE_S8C2_PACKAGE, W, HF);
    IVE_NORM_GRAD_CTRL_S c;
    memset(&c, 0, sizeof c);
    c.enOutCtrl = out;
    memcpy(c.as8Mask, kSobel3, 25);
    c.u8Norm = 2;
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_NormGrad(h, &s, &dh, &dv, &hv, &c, 0); }, bytes_of(s),
            out == 3 ? bytes_of(hv) : 2 * bytes_of(dh)};
}

Task ord_stat(u32 mode)
{
    IVE_ORD_STAT_FILTER_CTRL_S c = {mode};
    return filter_like(DU_DUZ_IVE_OrdStatFilter, U8C1, U8C1, HF, c);
}

Task csc(u32 mode, u32 st, u32 dt)
{
    IVE_CSC_CTRL_S c = {mode};
    return filter_like(DU_DUZ_IVE_CSC, st, dt, H, c);
}

Task thresh_s16()
{
    IVE_THRESH_S16_CTRL_S c;
    memset(&c, 0, sizeof c);
    c.enMode = 1;
    c.s16LowThr = -100;
    c.s16HighThr = 100;
    c.un8MinVal.s8Val = -128;
    c.un8MaxVal.s8Val = 127;
    return filter_like(DU_DUZ_IVE_Thresh_S16, S16C1, S8C1, H, c);
}

Task map()
{
    IVE_IMG_DESC_S s = picture(U8C1, W, H), d = picture(U8C1, W, H);
    IVE_MEM_BLOCK_S table = mem(256);
    for (int i = 0; i < 256; i++)
        table.pu8VirAddr[i] = (u8)(255 - i);
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_Map(h, &s, &table, &d, 0); }, bytes_of(s), bytes_of(d)};
}

Task integ()
{
    IVE_INTEG_OPT_S c = {0};
    return filter_like(DU_DUZ_IVE_Integ, U8C1, IVE_IMAGE_TYPE_U64C1, H, c);
}

Task hist()
{
    IVE_IMG_DESC_S s = picture(U8C1, W, H);
    IVE_MEM_BLOCK_S bins = mem(1024);
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_Hist(h, &s, &bins, 0); }, bytes_of(s), 1024};
}

Task equalize()
{
    IVE_EQUALIZE_HIST_CTRL_S c = {mem(1280)};
    return filter_like(DU_DUZ_IVE_EqualizeHist, U8C1, U8C1, H, c);
}

Task ncc()
{
    IVE_IMG_DESC_S a = picture(U8C1, W, H), b = picture(U8C1, W, H);
    IVE_MEM_BLOCK_S out = mem(32);
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_NCC(h, &a, &b, &out, 0); }, 2 * bytes_of(a), 32};
}

Task sad()
{
    IVE_IMG_DESC_S a = picture(U8C1, W, H), b = picture(U8C1, W, H), s = picture(U16C1, W / 4, H / 4),
                   t = picture(U8C1, W / 4, H / 4);
    IVE_SAD_CTRL_S c = {0, 0, 100, 0, 255};
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_SAD(h, &a, &b, &s, &t, &c, 0); }, 2 * bytes_of(a),
            bytes_of(s) + bytes_of(t)};
}

Task dma()
{
    IVE_DATA_DESC_S s = {sim::phys_alloc(W * H), nullptr, W, W, H, 0},
                    d = {sim::phys_alloc(W * H), nullptr, W, W, H, 0};
    s.pu8VirAddr = sim::phys(s.u32PhyAddr);
    d.pu8VirAddr = sim::phys(d.u32PhyAddr);
    IVE_DMA_CTRL_S c;
    memset(&c, 0, sizeof c);
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_DMA(h, &s, &d, &c, 0); }, (u64)W * H, (u64)W * H};
}

Task ccl()
{
    IVE_IMG_DESC_S img = picture(U8C1, 720, 640, Fill::Scene);
    std::vector<u8> scene(img.pu8VirAddr[0], img.pu8VirAddr[0] + (size_t)img.u16Stride[0] * 640);
    for (u8 &v : scene)
        v = v > 100 ? 255 : 0;
    IVE_MEM_BLOCK_S blob = mem(sizeof(IVE_CCBLOB_S));
    IVE_CCL_CTRL_S c = {16, 16};
    return {[=](IVE_TASK_HANDLE *h) {
                memcpy(img.pu8VirAddr[0], scene.data(), scene.size()); // labelled in place: a fresh picture
                return DU_DUZ_IVE_CCL(h, &img, &blob, &c, 0);
            },
            bytes_of(img), bytes_of(img) + sizeof(IVE_CCBLOB_S)};
}

Task canny()
{
    IVE_IMG_DESC_S s = picture(U8C1, W, HF, Fill::Scene), e = picture(U8C1, W, HF);
    IVE_MEM_BLOCK_S stack = mem((W * HF + 4) * 4), work = mem(3 * W * HF);
    IVE_CANNY_HYS_EDGE_CTRL_S c;
    memset(&c, 0, sizeof c);
    c.stMem = work;
    c.u16LowThr = 40;
    c.u16HighThr = 120;
    memcpy(c.as8Mask, kSobel3, 25);
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_CannyHysEdge(h, &s, &e, &stack, &c, 0); }, bytes_of(s),
            bytes_of(e)};
}

Task lbp()
{
    IVE_LBP_CTRL_S c;
    memset(&c, 0, sizeof c);
    c.un8BitThr.s8Val = 4;
    return filter_like(DU_DUZ_IVE_LBP, U8C1, U8C1, HF, c);
}

Task st_candi_corner()
{
    IVE_IMG_DESC_S s = picture(U8C1, 720, 576, Fill::Scene), d = picture(U8C1, 720, 576);
    IVE_ST_CANDI_CORNER_CTRL_S c;
    memset(&c, 0, sizeof c);
    c.stMem = mem((576 * 720 + 4) * 4);
    c.u0q8QualityLevel = 25;
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_STCandiCorner(h, &s, &d, &c, 0); }, bytes_of(s), bytes_of(d)};
}

Task lk_optical_flow()
{
    IVE_IMG_DESC_S pre = picture(U8C1, 720, 576, Fill::Scene), cur = picture(U8C1, 720, 576, Fill::Scene);
    for (u32 y = 0; y < 576; y++) // the scene moved 3 pixels to the right
        memmove(cur.pu8VirAddr[0] + y * cur.u16Stride[0] + 3, pre.pu8VirAddr[0] + y * pre.u16Stride[0], 717);
    IVE_MEM_BLOCK_S points = mem(200 * 8), mv = mem(200 * 8);
    for (u32 i = 0; i < 200; i++) { // the squares' corners
        const s32 p[2] = {(s32)((64 + 64 * (i % 10)) << 7), (s32)((64 + 64 * (i / 10 % 8)) << 7)};
        memcpy(points.pu8VirAddr + 8 * i, p, 8);
    }
    IVE_LK_OPTICAL_FLOW_CTRL_S c = {200, 1, 10, 2, 0};
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_LKOpticalFlow(h, &pre, &cur, &points, &mv, &c, 0); },
            2 * bytes_of(pre), 200 * 8};
}

Task gmm()
{
    IVE_IMG_DESC_S s = picture(U8C1, 720, 576, Fill::Scene), fg = picture(U8C1, 720, 576),
                   bg = picture(U8C1, 720, 576);
    const u32 model_bytes = 3 * 7 * 720 * 576;
    IVE_MEM_BLOCK_S model = mem(model_bytes);
    IVE_GMM_CTRL_S c = {25 << 10, 400 << 10, 4 << 10, 6554, 45875, 16 << 8, 6554, 3, {}};
    return {[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_GMM(h, &s, &fg, &bg, &model, &c, 0); },
            bytes_of(s) + model_bytes, bytes_of(fg) + bytes_of(bg) + model_bytes};
}

struct OpRow {
    const char *name;
    Task (*make)();
};

const OpRow kOps[] = {
    {"DMA", dma},
    {"Thresh",
     [] {
         IVE_THRESH_CTRL_S c = {4, 60, 180, 0, 128, 255, {}};
         return filter_like(DU_DUZ_IVE_Thresh, U8C1, U8C1, H, c);
     }},
    {"Thresh_S16", thresh_s16},
    {"Thresh_U16",
     [] {
         IVE_THRESH_U16_CTRL_S c = {0, 1000, 40000, 0, 128, 255, 0};
         return filter_like(DU_DUZ_IVE_Thresh_U16, U16C1, U8C1, H, c);
     }},
    {"And", [] { return two_sources(DU_DUZ_IVE_And); }},
    {"Or", [] { return two_sources(DU_DUZ_IVE_Or); }},
    {"Xor", [] { return two_sources(DU_DUZ_IVE_Xor); }},
    {"Sub",
     [] {
         IVE_IMG_DESC_S a = picture(U8C1, W, H), b = picture(U8C1, W, H), d = picture(U8C1, W, H);
         IVE_SUB_CTRL_S c = {0};
         return Task{[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_Sub(h, &a, &b, &d, &c, 0); }, 2 * bytes_of(a),
                     bytes_of(d)};
     }},
    {"Add",
     [] {
         IVE_IMG_DESC_S a = picture(U8C1, W, H), b = picture(U8C1, W, H), d = picture(U8C1, W, H);
         IVE_ADD_CTRL_S c = {20000, 45536};
         return Task{[=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_Add(h, &a, &b, &d, &c, 0); }, 2 * bytes_of(a),
                     bytes_of(d)};
     }},
    {"Map", map},
    {"16BitTo8Bit",
     [] {
         IVE_16BIT_TO_8BIT_CTRL_S c = {1, 7, 3, 0};
         return filter_like(DU_DUZ_IVE_16BitTo8Bit, S16C1, U8C1, H, c);
     }},
    {"CSC/YUV420ToRGB", [] { return csc(0, IVE_IMAGE_TYPE_YUV420SP, IVE_IMAGE_TYPE_U8C3_PACKAGE); }},
    {"CSC/RGBToYUV420", [] { return csc(8, IVE_IMAGE_TYPE_U8C3_PACKAGE, IVE_IMAGE_TYPE_YUV420SP); }},
    {"Filter/Gauss3x3", [] { return filter(kGauss3, 4); }},
    {"Filter/Gauss5x5", [] { return filter(kGauss5, 8); }},
    {"Filter/Uneven5x5", [] { return filter(kUneven5, 5); }},
    {"FilterAndCSC/Gauss3x3",
     [] {
         IVE_FILTER_AND_CSC_CTRL_S c;
         memset(&c, 0, sizeof c);
         memcpy(c.as8Mask, kGauss3, 25);
         c.u8Norm = 4;
         return filter_like(DU_DUZ_IVE_FilterAndCSC, IVE_IMAGE_TYPE_YUV420SP, IVE_IMAGE_TYPE_U8C3_PACKAGE, HF, c);
     }},
    {"Sobel/3x3", [] { return sobel(kSobel3); }},
    {"Sobel/5x5", [] { return sobel(kSobel5); }},
    {"MagAndAng/Magnitude", [] { return mag_and_ang(0); }},
    {"MagAndAng/Angle", [] { return mag_and_ang(1); }},
    {"Dilate/3x3", [] { return morphology(DU_DUZ_IVE_Dilate, kSquare3); }},
    {"Dilate/5x5",
     [] {
         u8 all[25];
         memset(all, 255, 25);
         return morphology(DU_DUZ_IVE_Dilate, all);
     }},
    {"Erode/3x3", [] { return morphology(DU_DUZ_IVE_Erode, kSquare3); }},
    {"Erode/Cross5x5", [] { return morphology(DU_DUZ_IVE_Erode, kCross5); }},
    {"OrdStatFilter/Median", [] { return ord_stat(0); }},
    {"OrdStatFilter/Max", [] { return ord_stat(1); }},
    {"NormGrad/HAndV", [] { return norm_grad(0); }},
    {"NormGrad/Interleaved", [] { return norm_grad(3); }},
    {"LBP", lbp},
    {"Integ", integ},
    {"Hist", hist},
    {"EqualizeHist", equalize},
    {"NCC", ncc},
    {"SAD/4x4", sad},
    {"CCL/720x640", ccl},
    {"CannyHysEdge", canny},
    {"STCandiCorner/720x576", st_candi_corner},
    {"LKOpticalFlow/200points", lk_optical_flow},
    {"GMM/720x576", gmm},
};

using Clock = std::chrono::steady_clock;

// Times the operator and a reference one after the other in each
// iteration, the operator's time as the iteration's: the counters get the
// best of each (best_ms, <reference>_ms) and their ratio (<reference>_x).
void time_against(benchmark::State &state, const std::function<s32()> &op, const std::function<void()> &reference,
                  const std::string &name)
{
    double best_op = 1e9, best_ref = 1e9;
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        const s32 ret = op();
        const Clock::time_point t1 = Clock::now();
        reference();
        const Clock::time_point t2 = Clock::now();
        if (ret != 0)
            state.SkipWithError("the engine refused the task");
        const double took = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(took);
        best_op = std::min(best_op, took);
        best_ref = std::min(best_ref, std::chrono::duration<double>(t2 - t1).count());
    }
    state.counters[name + "_x"] = best_op / best_ref;
    state.counters["best_ms"] = best_op * 1e3;
    state.counters[name + "_ms"] = best_ref * 1e3;
}

void Op(benchmark::State &state, const OpRow *row)
{
    start_board("");
    const Task task = row->make();
    // The copy: as many bytes read and written as the operator's.
    const u32 n = (u32)((task.in + task.out) / 2);
    u8 *from = sim::phys(sim::phys_alloc(n)), *to = sim::phys(sim::phys_alloc(n));
    memset(from, 1, n);
    IVE_TASK_HANDLE handle;
    time_against(
        state, [&] { return task.call(&handle); },
        [&] {
            memcpy(to, from, n);
            benchmark::ClobberMemory();
        },
        "copy");
}

// One benchmark per row of a table, each timed by time_against.
template <class Row, size_t N>
int register_rows(const char *prefix, const Row (&rows)[N], void (*run)(benchmark::State &, const Row *))
{
    for (const Row &row : rows)
        benchmark::RegisterBenchmark((prefix + std::string(row.name)).c_str(), run, &row)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    return 0;
}

const int kOpsRegistered = register_rows("Op/", kOps, Op);

// ---- one operator against OpenCV --------------------------------------------------------

// A plane of the board's memory as an OpenCV matrix, no copy.
cv::Mat as_mat(const IVE_IMG_DESC_S &d, int cv_type)
{
    return cv::Mat(d.u16Height, d.u16Width, cv_type, d.pu8VirAddr[0],
                   (size_t)d.u16Stride[0] * ive_elem_size(d.enType));
}

struct Versus {
    std::function<s32(IVE_TASK_HANDLE *)> ours;
    std::function<void()> opencv;
    std::function<bool()> same; // after both ran: our result is OpenCV's
};

// Integ's sums (enOutCtrl 1, 32 bits) against cv::integral to CV_32S, whose
// (w + 1) x (h + 1) table is ours behind a row and a column of zeros.
Versus integ_sums()
{
    IVE_IMG_DESC_S src = picture(U8C1, W, H, Fill::Scene), dst = picture(IVE_IMAGE_TYPE_U32C1, W, H);
    auto table = std::make_shared<cv::Mat>();
    return {[=](IVE_TASK_HANDLE *h) {
                IVE_INTEG_OPT_S c = {1};
                return DU_DUZ_IVE_Integ(h, &src, &dst, &c, 0);
            },
            [=] { cv::integral(as_mat(src, CV_8U), *table, CV_32S); },
            [=] {
                const cv::Mat ours = as_mat(dst, CV_32S);
                return cv::countNonZero(ours != (*table)(cv::Rect(1, 1, W, H))) == 0;
            }};
}

// SAD's 16-bit sums of 4 x 4 blocks (enOutCtrl 2) against cv::absdiff, then
// cv::resize with INTER_AREA to the block grid: the blocks' means of the
// 8-bit differences, OpenCV's way to block sums. The check takes the means
// of the differences as floats, which are the sums / 16 exactly.
Versus sad_sums()
{
    IVE_IMG_DESC_S a = picture(U8C1, W, H), b = picture(U8C1, W, H, Fill::Scene), sad = picture(U16C1, W / 4, H / 4),
                   thr = picture(U8C1, W / 4, H / 4);
    auto diff = std::make_shared<cv::Mat>(), means = std::make_shared<cv::Mat>();
    return {[=](IVE_TASK_HANDLE *h) {
                IVE_SAD_CTRL_S c = {0, 2, 0, 0, 0};
                return DU_DUZ_IVE_SAD(h, &a, &b, &sad, &thr, &c, 0);
            },
            [=] {
                cv::absdiff(as_mat(a, CV_8U), as_mat(b, CV_8U), *diff);
                cv::resize(*diff, *means, cv::Size(W / 4, H / 4), 0, 0, cv::INTER_AREA);
            },
            [=] {
                cv::Mat d, exact, ours;
                cv::absdiff(as_mat(a, CV_8U), as_mat(b, CV_8U), d);
                d.convertTo(d, CV_32F);
                cv::resize(d, exact, cv::Size(W / 4, H / 4), 0, 0, cv::INTER_AREA);
                as_mat(sad, CV_16U).convertTo(ours, CV_32F);
                const cv::Mat sums = exact * 16;
                return cv::countNonZero(ours != sums) == 0;
            }};
}

struct VersusRow {
    const char *name;
    Versus (*make)();
};

const VersusRow kVersus[] = {
    {"Integ/Sum", integ_sums},
    {"SAD/4x4", sad_sums},
};

void VsOpenCV(benchmark::State &state, const VersusRow *row)
{
    start_board("");
    cv::setNumThreads(1);
    const Versus v = row->make();
    IVE_TASK_HANDLE handle;
    if (v.ours(&handle) != 0) {
        state.SkipWithError("the engine refused the task");
        return;
    }
    v.opencv();
    if (!v.same()) {
        state.SkipWithError("our result is not OpenCV's");
        return;
    }
    time_against(state, [&] { return v.ours(&handle); }, v.opencv, "opencv");
}

const int kVersusRegistered = register_rows("VsOpenCV/", kVersus, VsOpenCV);

// One operator's submission on 640 x 480 pictures, refused by the engine.
void Submit(benchmark::State &state, unsigned long cmd, std::function<s32(IVE_TASK_HANDLE *)> (*make)())
{
    char conf[64];
    snprintf(conf, sizeof conf, "ive_refuse = %#lx\n", cmd);
    start_board(conf);
    std::function<s32(IVE_TASK_HANDLE *)> call = make();
    IVE_TASK_HANDLE handle;
    for (auto _ : state)
        if (call(&handle) != -1)
            state.SkipWithError("the submission did not reach the engine");
}

std::function<s32(IVE_TASK_HANDLE *)> make_integ()
{
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 640, 480), dst = picture(IVE_IMAGE_TYPE_U64C1, 640, 480);
    return [=](IVE_TASK_HANDLE *h) {
        IVE_INTEG_OPT_S c = {0};
        return DU_DUZ_IVE_Integ(h, &src, &dst, &c, 0);
    };
}
std::function<s32(IVE_TASK_HANDLE *)> make_hist()
{
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 640, 480);
    IVE_MEM_BLOCK_S bins = mem(1024);
    return [=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_Hist(h, &src, &bins, 0); };
}
std::function<s32(IVE_TASK_HANDLE *)> make_add()
{
    IVE_IMG_DESC_S a = picture(IVE_IMAGE_TYPE_U8C1, 640, 480), b = picture(IVE_IMAGE_TYPE_U8C1, 640, 480),
                   d = picture(IVE_IMAGE_TYPE_U8C1, 640, 480);
    return [=](IVE_TASK_HANDLE *h) {
        IVE_ADD_CTRL_S c = {32768, 32768};
        return DU_DUZ_IVE_Add(h, &a, &b, &d, &c, 0);
    };
}
std::function<s32(IVE_TASK_HANDLE *)> make_sad()
{
    IVE_IMG_DESC_S a = picture(IVE_IMAGE_TYPE_U8C1, 640, 480), b = picture(IVE_IMAGE_TYPE_U8C1, 640, 480),
                   sad = picture(IVE_IMAGE_TYPE_U16C1, 160, 120), thr = picture(IVE_IMAGE_TYPE_U8C1, 160, 120);
    return [=](IVE_TASK_HANDLE *h) {
        IVE_SAD_CTRL_S c = {0, 0, 100, 0, 255};
        return DU_DUZ_IVE_SAD(h, &a, &b, &sad, &thr, &c, 0);
    };
}
std::function<s32(IVE_TASK_HANDLE *)> make_canny()
{
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 640, 480), edge = picture(IVE_IMAGE_TYPE_U8C1, 640, 480);
    IVE_MEM_BLOCK_S stack = mem((640 * 480 + 4) * 4), work = mem(3 * 640 * 480);
    return [=](IVE_TASK_HANDLE *h) {
        IVE_CANNY_HYS_EDGE_CTRL_S c;
        memset(&c, 0, sizeof c);
        c.stMem = work;
        c.u16LowThr = 40;
        c.u16HighThr = 80;
        return DU_DUZ_IVE_CannyHysEdge(h, &src, &edge, &stack, &c, 0);
    };
}

std::function<s32(IVE_TASK_HANDLE *)> make_gmm()
{
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 640, 480), fg = picture(IVE_IMAGE_TYPE_U8C1, 640, 480),
                   bg = picture(IVE_IMAGE_TYPE_U8C1, 640, 480);
    IVE_MEM_BLOCK_S model = mem(3 * 7 * 640 * 480);
    return [=](IVE_TASK_HANDLE *h) {
        IVE_GMM_CTRL_S c = {25 << 10, 400 << 10, 4 << 10, 6554, 45875, 16 << 8, 6554, 3, {}};
        return DU_DUZ_IVE_GMM(h, &src, &fg, &bg, &model, &c, 0);
    };
}
std::function<s32(IVE_TASK_HANDLE *)> make_svm()
{
    // 80 classes of 256 features, 3000 vectors, empty decision functions.
    IVE_MEM_BLOCK_S src = mem(4 * 256), votes = mem(2 * 80);
    IVE_LUT_DESC_S tab = {mem(2 * 2048), 2048, 0, 0, -1024, 1024};
    IVE_SVM_CLASSIFIER_S m;
    memset(&m, 0, sizeof m);
    m.enKernelType = 2;
    m.stSv = mem(3 * 256 * 3000);
    m.u32TotalDfSize = 8 * 80 * 79 / 2;
    m.stDf = mem(m.u32TotalDfSize);
    m.u16FeatureDim = 256;
    m.u16SvTotal = 3000;
    m.u8ClassCount = 80;
    return [=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_SVM_Predict(h, &src, &tab, &m, &votes, 0); };
}

BENCHMARK_CAPTURE(Submit, Integ, IVE_INTEG, make_integ);
BENCHMARK_CAPTURE(Submit, Hist, IVE_HIST, make_hist);
BENCHMARK_CAPTURE(Submit, Add, IVE_ADD, make_add);
BENCHMARK_CAPTURE(Submit, SAD, IVE_SAD, make_sad);
BENCHMARK_CAPTURE(Submit, CannyHysEdge, IVE_CANNY_HYS_EDGE, make_canny);
BENCHMARK_CAPTURE(Submit, GMM, IVE_GMM, make_gmm);
BENCHMARK_CAPTURE(Submit, SVM_Predict, IVE_SVM_PREDICT, make_svm);

void CannyEdge640x480(benchmark::State &state)
{
    start_board("");
    IVE_IMG_DESC_S edge = picture(IVE_IMAGE_TYPE_U8C1, 640, 480);
    IVE_MEM_BLOCK_S stack = mem((640 * 480 + 4) * 4);
    std::vector<u8> map(640 * 480);
    for (u32 y = 0; y < 480; y++)
        for (u32 x = 0; x < 640; x++)
            map[y * 640 + x] = y % 10 == 0 ? 2 : (x + y) % 3 == 0 ? 1 : 0;
    for (auto _ : state) {
        state.PauseTiming();
        memcpy(edge.pu8VirAddr[0], map.data(), map.size());
        u32 count = 0;
        for (u32 y = 0; y < 480; y += 10)
            for (u32 x = 0; x < 640; x++, count++) {
                const u16 p[2] = {(u16)x, (u16)y};
                memcpy(stack.pu8VirAddr + 4 * count, p, 4);
            }
        memcpy(stack.pu8VirAddr + 4 * 640 * 480, &count, 4);
        state.ResumeTiming();
        if (DU_DUZ_IVE_CannyEdge(&edge, &stack) != 0)
            state.SkipWithError("Canny refused");
    }
    state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(CannyEdge640x480)->Unit(benchmark::kMillisecond);

void STCorner720x576(benchmark::State &state)
{
    start_board("");
    IVE_IMG_DESC_S cand = picture(IVE_IMAGE_TYPE_U8C1, 720, 576);
    for (u32 i = 0; i < 720 * 576; i++)
        cand.pu8VirAddr[0][i] = i % 2 ? 0 : (u8)(1 + i % 251);
    IVE_MEM_BLOCK_S list = mem(802);
    IVE_ST_CORNER_CTRL_S ctrl = {200, 10};
    for (auto _ : state)
        if (DU_DUZ_IVE_STCorner(&cand, &list, &ctrl) != 0)
            state.SkipWithError("corner selection refused");
    state.SetItemsProcessed(state.iterations() * 720 * 576);
}
BENCHMARK(STCorner720x576)->Unit(benchmark::kMillisecond);

void Query(benchmark::State &state)
{
    start_board("");
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 64, 64);
    IVE_MEM_BLOCK_S bins = mem(1024);
    IVE_TASK_HANDLE handle;
    if (DU_DUZ_IVE_Hist(&handle, &src, &bins, 0) != 0)
        state.SkipWithError("histogram refused");
    u32 finish;
    for (auto _ : state)
        if (DU_DUZ_IVE_Query(handle, &finish, 1) != 0)
            state.SkipWithError("query refused");
}
BENCHMARK(Query);

} // namespace
