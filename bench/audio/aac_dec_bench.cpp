// Decoding 60 s of 48 kHz mono AAC-LC (the camera's own ADTS packets):
// through the decoder unit (a stream-mode channel fed packet by packet, its
// frames taken by a second thread), through the decoder adapter alone, and
// with FDK AAC called directly on the same bytes. Times are wall-clock and the
// CPU column the whole process's, since the unit decodes on threads of its own.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fdk-aac/aacdecoder_lib.h>
#include <thread>
#include <vector>

#include "board/sim/sim.h"
#include "mpi/audio/aac/audio_aac_dec_adp.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"

namespace {

constexpr int kRate = 48000;
constexpr int kSeconds = 60;
constexpr int kFrames = kRate * kSeconds / 1024;

// 60 s of a 1 kHz tone, packet after packet.
const std::vector<u8> &stream()
{
    static const std::vector<u8> bytes = [] {
        std::vector<u8> all;
        AAC_ENC_CFG_S cfg = {AAC_TYPE_AACLC, 128000, kRate, 1, 0};
        void *enc = nullptr;
        if (OpenAACEncoder(&cfg, &enc) != 0)
            return all;
        std::vector<s16> pcm(1024);
        for (int f = 0; f < kFrames; f++) {
            for (int i = 0; i < 1024; i++)
                pcm[i] = (s16)lrint(10000 * sin(2 * M_PI * 1000 * (f * 1024 + i) / kRate));
            AUDIO_FRAME_S frame = {};
            frame.enBitwidth = 1;
            frame.pVirAddr[0] = pcm.data();
            frame.u32Len = 2048;
            u8 out[MAX_AAC_MAINBUF_SIZE];
            u32 len = 0;
            if (EncodeAACFrm(enc, &frame, out, &len) == 0)
                all.insert(all.end(), out, out + len);
        }
        CloseAACEncoder(enc);
        return all;
    }();
    return bytes;
}

void BM_AacDecodeFdkDirect(benchmark::State &state)
{
    std::vector<u8> bytes = stream();
    std::vector<INT_PCM> pcm(AAC_MAX_OUT_SAMPLES);
    int frames = 0;
    for (auto _ : state) {
        HANDLE_AACDECODER h = aacDecoder_Open(TT_MP4_ADTS, 1);
        size_t pos = 0;
        for (;;) {
            if (pos < bytes.size()) {
                UCHAR *at = bytes.data() + pos;
                UINT size = (UINT)(bytes.size() - pos), valid = size;
                aacDecoder_Fill(h, &at, &size, &valid);
                pos += size - valid;
            }
            AAC_DECODER_ERROR err = aacDecoder_DecodeFrame(h, pcm.data(), (INT)pcm.size(), 0);
            if (err == AAC_DEC_NOT_ENOUGH_BITS && pos < bytes.size())
                continue;
            if (err != AAC_DEC_OK)
                break;
            frames++;
        }
        aacDecoder_Close(h);
        benchmark::DoNotOptimize(pcm.data());
    }
    state.counters["frames_per_run"] = benchmark::Counter((double)frames / state.iterations());
}
BENCHMARK(BM_AacDecodeFdkDirect)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

void BM_AacDecodeAdapter(benchmark::State &state)
{
    std::vector<u8> bytes = stream();
    std::vector<u16> out(ADEC_FRAME_NODE_SIZE / 2);
    int frames = 0;
    for (auto _ : state) {
        ADEC_ATTR_AAC_S attr = {};
        void *dec = nullptr;
        if (OpenAACDecoder(&attr, &dec) != 0) {
            state.SkipWithError("no decoder");
            return;
        }
        u8 *in = bytes.data();
        s32 left = (s32)bytes.size();
        u32 len = 0, chns = 0;
        while (DecodeAACFrm(dec, &in, &left, out.data(), &len, &chns) == 0)
            frames++;
        CloseAACDecoder(dec);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["frames_per_run"] = benchmark::Counter((double)frames / state.iterations());
}
BENCHMARK(BM_AacDecodeAdapter)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

// Takes `frames` frames off the channel as they come and gives them back;
// how many it got.
int take_frames(s32 chn, int frames)
{
    int got = 0;
    AUDIO_FRAME_INFO_S info;
    while (got < frames && DU_DUZ_ADEC_GetFrame(chn, &info, 1) == 0) {
        benchmark::DoNotOptimize(info.pstFrame->pVirAddr[0]);
        DU_DUZ_ADEC_ReleaseFrame(chn, &info);
        got++;
    }
    return got;
}

void BM_AacDecodeUnit(benchmark::State &state)
{
    char root[] = "/tmp/adec-bench-XXXXXX";
    if (!mkdtemp(root)) {
        state.SkipWithError("no board root");
        return;
    }
    sim::start(root);
    if (DU_DUZ_SYS_Init() != 0 || MPI_VB_InitCtx() != 0) {
        state.SkipWithError("no platform");
        return;
    }
    DU_DUZ_ADEC_AacInit();
    std::vector<u8> bytes = stream();
    int frames = 0;
    for (auto _ : state) {
        ADEC_ATTR_AAC_S aac = {};
        ADEC_CHN_ATTR_S attr = {PT_AAC, ADEC_MAX_FRAME_NODE, ADEC_MODE_STREAM, &aac};
        if (DU_DUZ_ADEC_CreateChn(0, &attr) != 0) {
            state.SkipWithError("no decoder channel");
            break;
        }
        int got = 0;
        std::thread consumer([&] { got = take_frames(0, kFrames); });
        // Packet by packet, as the encoder wrote them.
        size_t at = 0;
        while (at + ADTS_HEADER_LEN <= bytes.size()) {
            AENC_STREAM_OUT_S pkt = {};
            pkt.pStream = bytes.data() + at;
            pkt.u32Len = adts_frame_len(pkt.pStream);
            if (pkt.u32Len == 0 || DU_DUZ_ADEC_SendStream(0, &pkt, 1) != 0)
                break;
            at += pkt.u32Len;
        }
        DU_DUZ_ADEC_SendEndOfStream(0, 0);
        if (at != bytes.size())
            DU_DUZ_ADEC_DestroyChn(0); // lets the consumer go
        consumer.join();
        DU_DUZ_ADEC_DestroyChn(0);
        if (got != kFrames) {
            state.SkipWithError("the unit lost frames");
            break;
        }
        frames += got;
    }
    DU_DUZ_SYS_Exit();
    MPI_VB_ExitCtx();
    state.counters["frames_per_run"] = benchmark::Counter((double)frames / state.iterations());
}
BENCHMARK(BM_AacDecodeUnit)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

} // namespace
