// CPU cost of encoding one second of 48 kHz mono sound to AAC-LC at
// 128 kbit/s: through the audio encoder unit (send, get, release per frame)
// against FDK AAC called directly on the same samples.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fdk-aac/aacenc_lib.h>
#include <string>
#include <vector>

#include "board/sim/sim.h"
#include "mpi/audio/aac/audio_aac_adp.h"
#include "mpi/audio/aenc/mpi_aenc.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"

namespace {

constexpr int kRate = 48000;
constexpr int kFrame = 1024;
constexpr int kFramesPerSecond = (kRate + kFrame - 1) / kFrame; // 47 frames cover a second

// One second of a 1 kHz tone, frame after frame.
const std::vector<INT_PCM> &second_of_tone()
{
    static std::vector<INT_PCM> pcm = [] {
        std::vector<INT_PCM> v(kFramesPerSecond * kFrame);
        for (size_t i = 0; i < v.size(); i++)
            v[i] = (INT_PCM)lrint(12000 * sin(2 * M_PI * 1000 * i / kRate));
        return v;
    }();
    return pcm;
}

void BM_FdkAacDirect(benchmark::State &state)
{
    HANDLE_AACENCODER h = nullptr;
    if (aacEncOpen(&h, 0, 1) != AACENC_OK || aacEncoder_SetParam(h, AACENC_AOT, AOT_AAC_LC) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_BITRATE, 128000) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_SAMPLERATE, kRate) != AACENC_OK ||
        aacEncoder_SetParam(h, AACENC_CHANNELMODE, MODE_1) != AACENC_OK ||
        aacEncEncode(h, nullptr, nullptr, nullptr, nullptr) != AACENC_OK) {
        state.SkipWithError("fdk-aac would not open");
        return;
    }
    const std::vector<INT_PCM> &pcm = second_of_tone();
    UCHAR out[1536];
    size_t bytes = 0;
    for (auto _ : state) {
        for (int f = 0; f < kFramesPerSecond; f++) {
            void *in_buf = const_cast<INT_PCM *>(&pcm[f * kFrame]);
            INT in_id = IN_AUDIO_DATA, in_size = kFrame * sizeof(INT_PCM), in_el = sizeof(INT_PCM);
            void *out_buf = out;
            INT out_id = OUT_BITSTREAM_DATA, out_size = sizeof out, out_el = 1;
            AACENC_BufDesc in = {1, &in_buf, &in_id, &in_size, &in_el};
            AACENC_BufDesc outd = {1, &out_buf, &out_id, &out_size, &out_el};
            AACENC_InArgs in_args = {kFrame, 0};
            AACENC_OutArgs out_args = {};
            if (aacEncEncode(h, &in, &outd, &in_args, &out_args) != AACENC_OK) {
                state.SkipWithError("encode failed");
                break;
            }
            bytes += out_args.numOutBytes;
        }
    }
    aacEncClose(&h);
    state.counters["packet_bytes_per_s"] = benchmark::Counter((double)bytes / state.iterations());
}
BENCHMARK(BM_FdkAacDirect)->Unit(benchmark::kMillisecond);

void BM_AencUnit(benchmark::State &state)
{
    char root[] = "/tmp/aenc-bench-XXXXXX";
    if (!mkdtemp(root)) {
        state.SkipWithError("no board root");
        return;
    }
    sim::start(root);
    AAC_ENC_CFG_S aac = {AAC_TYPE_AACLC, 128000, kRate, 1, 0};
    AENC_CHANNEL_CFG_S cfg = {PT_AAC, kFrame, 30, &aac};
    if (DU_DUZ_SYS_Init() != 0 || MPI_VB_InitCtx() != 0 || DU_DUZ_AENC_AacInit() != 0 ||
        DU_DUZ_AENC_CreateChn(0, &cfg) != 0) {
        state.SkipWithError("encoder channel would not come up");
        return;
    }
    const std::vector<INT_PCM> &pcm = second_of_tone();
    size_t bytes = 0;
    for (auto _ : state) {
        for (int f = 0; f < kFramesPerSecond; f++) {
            AUDIO_FRAME_S frame = {};
            frame.enBitwidth = 1;
            frame.pVirAddr[0] = const_cast<INT_PCM *>(&pcm[f * kFrame]);
            frame.u32Len = kFrame * 2;
            AENC_STREAM_OUT_S s;
            if (DU_DUZ_AENC_SendFrame(0, &frame, nullptr) != 0 || DU_DUZ_AENC_GetStream(0, &s, 0) != 0 ||
                DU_DUZ_AENC_ReleaseStream(0, &s) != 0) {
                state.SkipWithError("the unit lost a frame");
                break;
            }
            bytes += s.u32Len;
        }
    }
    DU_DUZ_AENC_DestroyChn(0);
    DU_DUZ_SYS_Exit();
    MPI_VB_ExitCtx();
    state.counters["packet_bytes_per_s"] = benchmark::Counter((double)bytes / state.iterations());
}
BENCHMARK(BM_AencUnit)->Unit(benchmark::kMillisecond);

} // namespace
