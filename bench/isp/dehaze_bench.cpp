// The dehaze module's stages alone, one even frame on a 16 x 15 grid: the
// minima unpacked, adapted, mapped and filtered in time, blurred 5 x 5, the
// air light with its history, the curve and the strength. The minima move a
// little every frame, as a scene's do.
#include <benchmark/benchmark.h>

#include <vector>

#include "isp/modules/isp_dehaze.h"

namespace {

void DehazeFrame(benchmark::State &state)
{
    const u32 H = (u32)state.range(0), V = (u32)state.range(1), n = H * V;
    DEHAZE_CTX_S ctx;
    dehaze_ctx_init(&ctx);
    ctx.u8H = (u8)H;
    ctx.u8V = (u8)V;
    ctx.u8Enable = 1;
    std::vector<u8> minima(n);
    std::vector<u32> words(dehaze_words(n)), maxima(n);
    DEHAZE_FRAME_S out;
    u32 frame = 0;
    for (auto _ : state) {
        for (u32 i = 0; i < n; i++) {
            minima[i] = (u8)(80 + (i * 37 + frame) % 120);
            maxima[i] = (u32)(minima[i] + 30) << 16 | (u32)(minima[i] + 40) << 8 | (minima[i] + 50);
        }
        dehaze_pack(minima.data(), n, words.data());
        dehaze_frame(&ctx, words.data(), maxima.data(), frame, &out, nullptr);
        benchmark::DoNotOptimize(out.u8Strength);
        frame += 2;
    }
}
BENCHMARK(DehazeFrame)->ArgNames({"H", "V"})->Args({16, 15})->Unit(benchmark::kMicrosecond);

} // namespace
