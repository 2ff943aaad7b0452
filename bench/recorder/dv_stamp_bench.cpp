// What the date stamp costs the encoder per picture on the simulated board:
// the picture of its own it takes (the source's may go to other units too)
// and the blend of the shown 190x16 canvas, at the recording sizes.
#include "board/sim/sim.h"
#include "board/sim/video/video.h"
#include "mpi/video/rgn/mpi_rgn.h"
#include "mpi/video/vpss/mpi_vpss.h"
#include "mpi/video/sys/mpi_sys.h"
#include "recorder/dv_osd.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void EncoderStamp(benchmark::State &state)
{
    const uint32_t w = (uint32_t)state.range(0), h = (uint32_t)state.range(1);
    char root[] = "/tmp/stamp-bench-XXXXXX";
    sim::start(mkdtemp(root));
    DU_DUZ_SYS_Init();
    VPSS_GRP_ATTR_REC_S grp = {1920, 1080, PIXEL_FORMAT_YUV_SEMIPLANAR_420, 0, 0, 0, 0, 1};
    DU_DUZ_VPSS_CreateGrp(0, &grp);
    if (CreateOSDRegion("venc", OSD_VENC_HANDLE, 80, h - 60, OSD_GLYPH_W, OSD_GLYPH_H, OSD_TEXT_LEN) != 0 ||
        LoadDataToRegion_Osd(OSD_VENC_HANDLE, "2016-03-04=05:06:07", OSD_TEXT_LEN, OSD_GLYPH_W) != 0) {
        state.SkipWithError("no stamp region");
        return;
    }
    sim::ChnAddr chn{DU_ID_VENC, 0, 0};
    sim::video::PicturePool source(w, h, 1), own(w, h, 1);
    sim::video::PicturePtr in = source.take(), out = own.take();
    memset(in->y(), 100, (size_t)in->stride * h * 3 / 2);
    sim::video::Scaler copy;
    for (auto _ : state) {
        copy.run(*in, *out);
        sim::video::blend_overlays(chn, *out);
        benchmark::DoNotOptimize(out->y()[0]);
    }
    DU_DUZ_RGN_Destroy(OSD_VENC_HANDLE);
    DU_DUZ_VPSS_DestroyGrp(0);
    DU_DUZ_SYS_Exit();
}

} // namespace

BENCHMARK(EncoderStamp)->Args({1920, 1080})->Args({1280, 720})->Args({848, 480})->Unit(benchmark::kMicrosecond);
