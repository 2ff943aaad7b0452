// CPU cost of G.726 at 16, 32 and 40 kbit/s, G.711 A-law and µ-law and IMA
// ADPCM: encoding and decoding 60 s of 8 kHz speech-like sound frame by
// frame, ours through the voice engine against spandsp on the same samples
// and frames. The ADPCM decoders also alone: spandsp's frames of the same
// 60 s, decoded by spandsp and, as our frames, by the engine.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "mpi/audio/voice/voice_engine.h"
#include "tests/mpi/audio/voice/voice_reference.h"

namespace {

constexpr int kSeconds = 60;

const std::vector<int16_t> &speech()
{
    static const std::vector<int16_t> pcm = voicetest::speech_like(kSeconds);
    return pcm;
}

// Every frame encoded, then decoded, through our engine.
void engine_round_trip(benchmark::State &state, s16 type, s32 frame)
{
    const std::vector<int16_t> &pcm = speech();
    std::vector<s16> out(pcm.size());
    size_t bytes = 0;
    for (auto _ : state) {
        VOICE_STATE_U enc, dec;
        DU_VOICE_EncReset(&enc, type);
        DU_VOICE_DecReset(&dec, type);
        for (size_t at = 0; at + frame <= pcm.size(); at += frame) {
            u8 buf[VOICE_MAX_FRAME_LEN];
            u16 count = 0;
            if (DU_VOICE_EncodeFrame(&enc, &pcm[at], buf, frame) != 0 ||
                DU_VOICE_DecodeFrame(&dec, buf, &out[at], &count) != 0) {
                state.SkipWithError("the engine refused a frame");
                return;
            }
            bytes += (voice_frame_words(buf) + 2) * 2;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes_per_run"] = benchmark::Counter((double)bytes / state.iterations());
}

template <class Init, class Enc, class Dec, class Free>
void spandsp_round_trip(benchmark::State &state, s32 frame, Init init, Enc encode, Dec decode, Free release)
{
    const std::vector<int16_t> &pcm = speech();
    std::vector<int16_t> out(pcm.size());
    size_t bytes = 0;
    for (auto _ : state) {
        auto *enc = init(), *dec = init();
        for (size_t at = 0; at + frame <= pcm.size(); at += frame) {
            uint8_t buf[VOICE_MAX_FRAME_LEN];
            int n = encode(enc, buf, &pcm[at], frame);
            decode(dec, &out[at], buf, n);
            bytes += n;
        }
        release(enc);
        release(dec);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes_per_run"] = benchmark::Counter((double)bytes / state.iterations());
}

g726_state_t *g726_at(int rate) { return g726_init(nullptr, rate, G726_ENCODING_LINEAR, G726_PACKING_RIGHT); }

void BM_G726_16k_Ours(benchmark::State &state) { engine_round_trip(state, VOICE_TYPE_G726_16K, 320); }
BENCHMARK(BM_G726_16k_Ours)->Unit(benchmark::kMillisecond);

void BM_G726_16k_Spandsp(benchmark::State &state)
{
    spandsp_round_trip(state, 320, [] { return g726_at(16000); }, g726_encode, g726_decode, g726_free);
}
BENCHMARK(BM_G726_16k_Spandsp)->Unit(benchmark::kMillisecond);

void BM_G726_32k_Ours(benchmark::State &state) { engine_round_trip(state, VOICE_TYPE_G726_32K, 320); }
BENCHMARK(BM_G726_32k_Ours)->Unit(benchmark::kMillisecond);

void BM_G726_32k_Spandsp(benchmark::State &state)
{
    spandsp_round_trip(state, 320, [] { return g726_at(32000); }, g726_encode, g726_decode, g726_free);
}
BENCHMARK(BM_G726_32k_Spandsp)->Unit(benchmark::kMillisecond);

void BM_G726_40k_Ours(benchmark::State &state) { engine_round_trip(state, VOICE_TYPE_G726_40K, 320); }
BENCHMARK(BM_G726_40k_Ours)->Unit(benchmark::kMillisecond);

void BM_G726_40k_Spandsp(benchmark::State &state)
{
    spandsp_round_trip(state, 320, [] { return g726_at(40000); }, g726_encode, g726_decode, g726_free);
}
BENCHMARK(BM_G726_40k_Spandsp)->Unit(benchmark::kMillisecond);

void BM_G711A_Ours(benchmark::State &state) { engine_round_trip(state, VOICE_TYPE_G711A, 320); }
BENCHMARK(BM_G711A_Ours)->Unit(benchmark::kMillisecond);

void BM_G711A_Spandsp(benchmark::State &state)
{
    spandsp_round_trip(
        state, 320, [] { return g711_init(nullptr, G711_ALAW); }, g711_encode, g711_decode, g711_free);
}
BENCHMARK(BM_G711A_Spandsp)->Unit(benchmark::kMillisecond);

void BM_G711U_Ours(benchmark::State &state) { engine_round_trip(state, VOICE_TYPE_G711U, 320); }
BENCHMARK(BM_G711U_Ours)->Unit(benchmark::kMillisecond);

void BM_G711U_Spandsp(benchmark::State &state)
{
    spandsp_round_trip(
        state, 320, [] { return g711_init(nullptr, G711_ULAW); }, g711_encode, g711_decode, g711_free);
}
BENCHMARK(BM_G711U_Spandsp)->Unit(benchmark::kMillisecond);

void BM_ImaAdpcm_Ours(benchmark::State &state) { engine_round_trip(state, VOICE_TYPE_ADPCM_IMA, 321); }
BENCHMARK(BM_ImaAdpcm_Ours)->Unit(benchmark::kMillisecond);

void BM_ImaAdpcm_Spandsp(benchmark::State &state)
{
    spandsp_round_trip(
        state, 321, [] { return ima_adpcm_init(nullptr, IMA_ADPCM_IMA4, 0); }, ima_adpcm_encode, ima_adpcm_decode,
        ima_adpcm_free);
}
BENCHMARK(BM_ImaAdpcm_Spandsp)->Unit(benchmark::kMillisecond);

// spandsp's ADPCM blocks of the 60 s, one per frame, and the same blocks as
// our frames (DVI4's predicted value is big-endian in spandsp's header, a
// little-endian word in ours).
struct AdpcmFrames {
    std::vector<std::vector<uint8_t>> spandsp, ours;
    size_t samples = 0;
};

AdpcmFrames adpcm_frames(int variant, s32 frame)
{
    const std::vector<int16_t> &pcm = speech();
    AdpcmFrames f;
    ima_adpcm_state_t *enc = ima_adpcm_init(nullptr, variant, 0);
    for (size_t at = 0; at + frame <= pcm.size(); at += frame) {
        std::vector<uint8_t> block(VOICE_MAX_FRAME_LEN);
        block.resize(ima_adpcm_encode(enc, block.data(), &pcm[at], frame));
        std::vector<uint8_t> ours(VOICE_FRAME_HEAD_LEN + block.size());
        voice_frame_put_head(ours.data(), (u32)block.size() / 2);
        std::copy(block.begin(), block.end(), voice_frame_payload(ours.data()));
        if (variant == IMA_ADPCM_DVI4)
            std::swap(ours[VOICE_FRAME_HEAD_LEN], ours[VOICE_FRAME_HEAD_LEN + 1]);
        f.spandsp.push_back(block);
        f.ours.push_back(ours);
        f.samples += frame;
    }
    ima_adpcm_free(enc);
    return f;
}

void engine_decode(benchmark::State &state, s16 type, const AdpcmFrames &f)
{
    std::vector<s16> out(f.samples);
    for (auto _ : state) {
        VOICE_STATE_U dec;
        DU_VOICE_DecReset(&dec, type);
        size_t at = 0;
        for (const std::vector<uint8_t> &frame : f.ours) {
            u16 count = 0;
            if (DU_VOICE_DecodeFrame(&dec, frame.data(), &out[at], &count) != 0) {
                state.SkipWithError("the engine refused a frame");
                return;
            }
            at += count;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)f.samples);
}

void spandsp_decode(benchmark::State &state, int variant, const AdpcmFrames &f)
{
    std::vector<int16_t> out(f.samples);
    for (auto _ : state) {
        ima_adpcm_state_t *dec = ima_adpcm_init(nullptr, variant, 0);
        size_t at = 0;
        for (const std::vector<uint8_t> &block : f.spandsp)
            at += ima_adpcm_decode(dec, &out[at], block.data(), (int)block.size());
        ima_adpcm_free(dec);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)f.samples);
}

const AdpcmFrames &ima_frames()
{
    static const AdpcmFrames f = adpcm_frames(IMA_ADPCM_IMA4, 321);
    return f;
}
const AdpcmFrames &dvi4_frames()
{
    static const AdpcmFrames f = adpcm_frames(IMA_ADPCM_DVI4, 320);
    return f;
}

void BM_ImaAdpcmDecode_Ours(benchmark::State &state) { engine_decode(state, VOICE_TYPE_ADPCM_IMA, ima_frames()); }
BENCHMARK(BM_ImaAdpcmDecode_Ours)->Unit(benchmark::kMillisecond);

void BM_ImaAdpcmDecode_Spandsp(benchmark::State &state) { spandsp_decode(state, IMA_ADPCM_IMA4, ima_frames()); }
BENCHMARK(BM_ImaAdpcmDecode_Spandsp)->Unit(benchmark::kMillisecond);

void BM_Dvi4AdpcmDecode_Ours(benchmark::State &state) { engine_decode(state, VOICE_TYPE_ADPCM_DVI4, dvi4_frames()); }
BENCHMARK(BM_Dvi4AdpcmDecode_Ours)->Unit(benchmark::kMillisecond);

void BM_Dvi4AdpcmDecode_Spandsp(benchmark::State &state) { spandsp_decode(state, IMA_ADPCM_DVI4, dvi4_frames()); }
BENCHMARK(BM_Dvi4AdpcmDecode_Spandsp)->Unit(benchmark::kMillisecond);

} // namespace
