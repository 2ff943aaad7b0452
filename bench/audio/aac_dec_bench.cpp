// CPU cost of decoding 60 s of 48 kHz mono AAC-LC (the camera's own ADTS
// packets): through the decoder adapter, fed as the decoder unit's stream
// mode feeds it, against FDK AAC called directly on the same packets.
#include <benchmark/benchmark.h>

#include <cmath>
#include <fdk-aac/aacdecoder_lib.h>
#include <vector>

#include "mpi/audio/aac/audio_aac_dec_adp.h"

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
BENCHMARK(BM_AacDecodeFdkDirect)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_AacDecodeAdapter)->Unit(benchmark::kMillisecond);

} // namespace
