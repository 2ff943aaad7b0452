// The image-analysis engine on the board and the firmware's cost per task.
//
// Integ1080p, Hist1080p: one operator on a 1920 x 1080 picture, submission
// and the board's computation together (what the camera's analysis waits for).
// Submit/<op>: the firmware's own work per operator (parameter check, block,
// request) up to the engine, which refuses the task at once (ive_refuse).
// Query: one query of a finished task, the request's round trip alone.
// CannyEdge640x480, STCorner720x576: the software stages after the engine,
// on the processor: edge tracking over a map with a stacked edge on every
// tenth line and candidates between them; corner selection with a
// candidate on every other pixel and a minimum distance of 10.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <vector>

#include "board/board.h"
#include "board/sim/sim.h"
#include "ive/ive_requests.h"

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

IVE_IMG_DESC_S picture(u32 type, u16 w, u16 h, u32 elem)
{
    IVE_IMG_DESC_S d;
    memset(&d, 0, sizeof d);
    d.enType = type;
    d.u16Width = w;
    d.u16Height = h;
    d.u16Stride[0] = (u16)((w + 15) / 16 * 16);
    d.u32PhyAddr[0] = sim::phys_alloc((u32)d.u16Stride[0] * h * elem);
    d.pu8VirAddr[0] = sim::phys(d.u32PhyAddr[0]);
    for (u32 i = 0; i < (u32)d.u16Stride[0] * h * elem; i++) // a textured picture
        d.pu8VirAddr[0][i] = (u8)(i * 7 + i / 1920);
    return d;
}

IVE_MEM_BLOCK_S mem(u32 size)
{
    IVE_MEM_BLOCK_S m;
    m.u32PhyAddr = sim::phys_alloc(size);
    m.pu8VirAddr = sim::phys(m.u32PhyAddr);
    m.u32Size = size;
    return m;
}

void Integ1080p(benchmark::State &state)
{
    start_board("");
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 1920, 1080, 1);
    IVE_IMG_DESC_S dst = picture(IVE_IMAGE_TYPE_U64C1, 1920, 1080, 8);
    IVE_INTEG_OPT_S ctrl = {0};
    IVE_TASK_HANDLE handle;
    for (auto _ : state)
        if (DU_DUZ_IVE_Integ(&handle, &src, &dst, &ctrl, 0) != 0)
            state.SkipWithError("integral refused");
    state.SetItemsProcessed(state.iterations() * 1920 * 1080);
}
BENCHMARK(Integ1080p)->Unit(benchmark::kMillisecond);

void Hist1080p(benchmark::State &state)
{
    start_board("");
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 1920, 1080, 1);
    IVE_MEM_BLOCK_S bins = mem(1024);
    IVE_TASK_HANDLE handle;
    for (auto _ : state)
        if (DU_DUZ_IVE_Hist(&handle, &src, &bins, 0) != 0)
            state.SkipWithError("histogram refused");
    state.SetItemsProcessed(state.iterations() * 1920 * 1080);
}
BENCHMARK(Hist1080p)->Unit(benchmark::kMillisecond);

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
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1), dst = picture(IVE_IMAGE_TYPE_U64C1, 640, 480, 8);
    return [=](IVE_TASK_HANDLE *h) {
        IVE_INTEG_OPT_S c = {0};
        return DU_DUZ_IVE_Integ(h, &src, &dst, &c, 0);
    };
}
std::function<s32(IVE_TASK_HANDLE *)> make_hist()
{
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1);
    IVE_MEM_BLOCK_S bins = mem(1024);
    return [=](IVE_TASK_HANDLE *h) { return DU_DUZ_IVE_Hist(h, &src, &bins, 0); };
}
std::function<s32(IVE_TASK_HANDLE *)> make_add()
{
    IVE_IMG_DESC_S a = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1), b = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1),
                   d = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1);
    return [=](IVE_TASK_HANDLE *h) {
        IVE_ADD_CTRL_S c = {32768, 32768};
        return DU_DUZ_IVE_Add(h, &a, &b, &d, &c, 0);
    };
}
std::function<s32(IVE_TASK_HANDLE *)> make_sad()
{
    IVE_IMG_DESC_S a = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1), b = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1),
                   sad = picture(IVE_IMAGE_TYPE_U16C1, 160, 120, 2), thr = picture(IVE_IMAGE_TYPE_U8C1, 160, 120, 1);
    return [=](IVE_TASK_HANDLE *h) {
        IVE_SAD_CTRL_S c = {0, 0, 100, 0, 255};
        return DU_DUZ_IVE_SAD(h, &a, &b, &sad, &thr, &c, 0);
    };
}
std::function<s32(IVE_TASK_HANDLE *)> make_canny()
{
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1), edge = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1);
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
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1), fg = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1),
                   bg = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1);
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
    IVE_IMG_DESC_S edge = picture(IVE_IMAGE_TYPE_U8C1, 640, 480, 1);
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
    IVE_IMG_DESC_S cand = picture(IVE_IMAGE_TYPE_U8C1, 720, 576, 1);
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
    IVE_IMG_DESC_S src = picture(IVE_IMAGE_TYPE_U8C1, 64, 64, 1);
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
