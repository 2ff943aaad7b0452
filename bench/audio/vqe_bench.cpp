// CPU cost per second of audio of the voice-enhancement chains: the whole
// input chain at 16 kHz with HPF, ANR, AGC and EQ on, and each stage built on
// speexdsp through the firmware (chain, slot, module library) against
// speexdsp called directly on the same samples with the same settings.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <speex/speex_echo.h>
#include <speex/speex_preprocess.h>
#include <speex/speex_resampler.h>
#include <unistd.h>
#include <vector>

#include "bench/audio/quietly.h"
#include "mpi/audio/vqe/upvqe.h"

namespace {

constexpr int kRate = 16000;

// One second of a tone in noise at `rate`.
std::vector<s16> second_of_sound(int rate)
{
    std::mt19937 rng(1);
    std::normal_distribution<double> nd(0, 300);
    std::vector<s16> v(rate);
    for (size_t i = 0; i < v.size(); i++)
        v[i] = (s16)lrint(3000 * sin(2 * M_PI * 440 * i / rate) + nd(rng));
    return v;
}

UPVQE_INSTANCE_S *make_up(const UPVQE_CFG_S &cfg)
{
    UPVQE_INSTANCE_S *v = nullptr;
    return quietly([&] { return DU_UPVQE_Create(&v, &cfg); }) == 0 ? v : nullptr;
}

UPVQE_CFG_S cfg_at(int rate)
{
    UPVQE_CFG_S cfg = {};
    cfg.s32InSampleRate = cfg.s32WorkSampleRate = cfg.s32OutSampleRate = rate;
    cfg.s32FrameSample = 160;
    return cfg;
}

// Every iteration is one second of audio: its time is the CPU per second.
void report(benchmark::State &state, int rate) { state.SetItemsProcessed(state.iterations() * rate); }

// The whole input chain, written and read in 1024-sample frames as a unit does.
void BM_UpChain16k(benchmark::State &state)
{
    UPVQE_CFG_S cfg = cfg_at(kRate);
    cfg.bHpfOn = cfg.bAnrOn = cfg.bAgcOn = cfg.bEqOn = 1;
    cfg.stEqCfg.s8GaindB[5] = 3;
    UPVQE_INSTANCE_S *v = make_up(cfg);
    if (!v) {
        state.SkipWithError("chain would not build");
        return;
    }
    std::vector<s16> in = second_of_sound(kRate), out(1024);
    for (auto _ : state) {
        for (size_t at = 0; at + 1024 <= in.size(); at += 1024) {
            DU_UPVQE_WriteFrame(v, in.data() + at, nullptr, 1024);
            DU_UPVQE_ReadFrame(v, out.data(), 1024, 1);
        }
        benchmark::DoNotOptimize(out.data());
    }
    report(state, kRate);
    DU_UPVQE_Destroy(v);
}
BENCHMARK(BM_UpChain16k)->Unit(benchmark::kMillisecond);

// One module through DU_UPVQE_ProcessFrame, a second at a time.
void run_stage(benchmark::State &state, UPVQE_CFG_S cfg, bool with_ref)
{
    UPVQE_INSTANCE_S *v = make_up(cfg);
    if (!v) {
        state.SkipWithError("chain would not build");
        return;
    }
    std::vector<s16> in = second_of_sound(cfg.s32WorkSampleRate), out(in.size());
    s32 span = (s32)in.size() / v->s32VqeFrame * v->s32VqeFrame;
    for (auto _ : state) {
        DU_UPVQE_ProcessFrame(v, in.data(), with_ref ? in.data() : nullptr, out.data(), span);
        benchmark::DoNotOptimize(out.data());
    }
    report(state, cfg.s32WorkSampleRate);
    DU_UPVQE_Destroy(v);
}

// speexdsp's denoiser as ANR and RNR set it up.
void run_denoise_direct(benchmark::State &state, int frame, int suppress_db)
{
    SpeexPreprocessState *st = speex_preprocess_state_init(frame, kRate);
    int on = 1, off = 0, supp = -suppress_db;
    speex_preprocess_ctl(st, SPEEX_PREPROCESS_SET_DENOISE, &on);
    speex_preprocess_ctl(st, SPEEX_PREPROCESS_SET_AGC, &off);
    speex_preprocess_ctl(st, SPEEX_PREPROCESS_SET_DEREVERB, &off);
    speex_preprocess_ctl(st, SPEEX_PREPROCESS_SET_NOISE_SUPPRESS, &supp);
    std::vector<s16> in = second_of_sound(kRate), out(in.size());
    for (auto _ : state) {
        for (size_t at = 0; at + frame <= in.size(); at += frame) {
            std::copy(in.begin() + at, in.begin() + at + frame, out.begin() + at);
            speex_preprocess_run(st, out.data() + at);
        }
        benchmark::DoNotOptimize(out.data());
    }
    report(state, kRate);
    speex_preprocess_state_destroy(st);
}

void BM_AnrModule(benchmark::State &state)
{
    UPVQE_CFG_S cfg = cfg_at(kRate);
    cfg.bAnrOn = 1;
    run_stage(state, cfg, false);
}
void BM_AnrSpeexDirect(benchmark::State &state) { run_denoise_direct(state, 160, 15); }
BENCHMARK(BM_AnrModule)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnrSpeexDirect)->Unit(benchmark::kMicrosecond);

void BM_RnrModule(benchmark::State &state)
{
    UPVQE_CFG_S cfg = cfg_at(kRate);
    cfg.bRnrOn = 1; // mode 0: 960-sample frames
    run_stage(state, cfg, false);
}
void BM_RnrSpeexDirect(benchmark::State &state) { run_denoise_direct(state, 960, 10); }
BENCHMARK(BM_RnrModule)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RnrSpeexDirect)->Unit(benchmark::kMicrosecond);

void BM_AecModule(benchmark::State &state)
{
    UPVQE_CFG_S cfg = cfg_at(kRate);
    cfg.bAecOn = 1;
    run_stage(state, cfg, true);
}
// The canceller over 128 ms and the residual suppressor, as AEC sets them up.
void BM_AecSpeexDirect(benchmark::State &state)
{
    const int frame = 160;
    SpeexEchoState *echo = speex_echo_state_init(frame, kRate * 128 / 1000);
    SpeexPreprocessState *res = speex_preprocess_state_init(frame, kRate);
    int rate = kRate, off = 0;
    speex_echo_ctl(echo, SPEEX_ECHO_SET_SAMPLING_RATE, &rate);
    speex_preprocess_ctl(res, SPEEX_PREPROCESS_SET_DENOISE, &off);
    speex_preprocess_ctl(res, SPEEX_PREPROCESS_SET_AGC, &off);
    speex_preprocess_ctl(res, SPEEX_PREPROCESS_SET_ECHO_STATE, echo);
    std::vector<s16> in = second_of_sound(kRate), out(in.size());
    for (auto _ : state) {
        for (size_t at = 0; at + frame <= in.size(); at += frame) {
            speex_echo_cancellation(echo, in.data() + at, in.data() + at, out.data() + at);
            speex_preprocess_run(res, out.data() + at);
        }
        benchmark::DoNotOptimize(out.data());
    }
    report(state, kRate);
    speex_preprocess_state_destroy(res);
    speex_echo_state_destroy(echo);
}
BENCHMARK(BM_AecModule)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AecSpeexDirect)->Unit(benchmark::kMicrosecond);

// RES: one second at 48 kHz down to 16 kHz in 1024-sample calls.
void BM_ResModule(benchmark::State &state)
{
    RES_RESAMPLER_S *res = nullptr;
    if (quietly([&] { return RES_ReSampler_Create(&res, 48000, kRate, RES_MODE_STREAM); }) != 0 || !res) {
        state.SkipWithError("resampler would not build");
        return;
    }
    std::vector<s16> in = second_of_sound(48000), out(1024);
    for (auto _ : state) {
        for (size_t at = 0; at + 1024 <= in.size(); at += 1024) {
            s32 produced = 0;
            RES_ReSampler_ProcessFrame(res, in.data() + at, out.data(), 1024, &produced, RES_MODE_STREAM);
        }
        benchmark::DoNotOptimize(out.data());
    }
    report(state, 48000);
    RES_ReSampler_Destory(res);
}
void BM_ResSpeexDirect(benchmark::State &state)
{
    int err = 0;
    SpeexResamplerState *st = speex_resampler_init(1, 48000, kRate, SPEEX_RESAMPLER_QUALITY_DEFAULT, &err);
    std::vector<s16> in = second_of_sound(48000), out(1024);
    for (auto _ : state) {
        for (size_t at = 0; at + 1024 <= in.size(); at += 1024) {
            spx_uint32_t in_len = 1024, out_len = (spx_uint32_t)out.size();
            speex_resampler_process_int(st, 0, in.data() + at, &in_len, out.data(), &out_len);
        }
        benchmark::DoNotOptimize(out.data());
    }
    report(state, 48000);
    speex_resampler_destroy(st);
}
BENCHMARK(BM_ResModule)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ResSpeexDirect)->Unit(benchmark::kMicrosecond);

} // namespace
