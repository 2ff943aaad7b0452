// The input enhancement chain: its caches and rules, and each module measured
// on synthetic signals through DU_UPVQE_* as the audio units call it.
#include "tests/mpi/audio/vqe/vqe_signal.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <memory>

using testsupport::capture_stderr;
using namespace vqetest;

namespace {

struct UpDeleter {
    void operator()(UPVQE_INSTANCE_S *v) const { DU_UPVQE_Destroy(v); }
};
using UpVqe = std::unique_ptr<UPVQE_INSTANCE_S, UpDeleter>;

// Creates the chain (the loader's lines go to a capture); null on failure.
UpVqe make_up(const UPVQE_CFG_S &cfg, s32 *ret = nullptr, std::string *err = nullptr)
{
    UPVQE_INSTANCE_S *v = nullptr;
    s32 r = 0;
    std::string text = capture_stderr([&] { r = DU_UPVQE_Create(&v, &cfg); });
    if (ret)
        *ret = r;
    if (err)
        *err = text;
    return UpVqe(r == 0 ? v : nullptr);
}

// ---- structure ---------------------------------------------------------------------------------

TEST(UpVqe, WorkFrameAndNodesFollowTheModules)
{
    struct Case {
        const char *name;
        s32 in, work, out, frame;
        void (*setup)(UPVQE_CFG_S *);
        s32 vqe_frame, nodes;
    } cases[] = {
        {"all off, 48k -> 16k", 48000, 16000, 16000, 1024, [](UPVQE_CFG_S *) {}, 1024, 13},
        {"HPF at 8k", 8000, 8000, 8000, 1024, [](UPVQE_CFG_S *c) { c->bHpfOn = 1; }, 80, 168},
        {"HPF at 16k", 16000, 16000, 16000, 1024, [](UPVQE_CFG_S *c) { c->bHpfOn = 1; }, 160, 84},
        {"HDR at 16k", 16000, 16000, 16000, 1024,
         [](UPVQE_CFG_S *c) {
             c->bHdrOn = 1;
             c->stHdrCfg = {0, 0, 72, 30, 2, [](u32) { return 0; }};
         },
         320, 42},
        {"RNR mode 0 at 16k", 16000, 16000, 16000, 1024, [](UPVQE_CFG_S *c) { c->bRnrOn = 1; }, 960, 14},
        {"RNR mode 1 at 16k", 16000, 16000, 16000, 1024,
         [](UPVQE_CFG_S *c) {
             c->bRnrOn = 1;
             c->stRnrCfg = {1, 1, 10, -60};
         },
         160, 84},
        {"HPF at 48k", 48000, 48000, 48000, 1024, [](UPVQE_CFG_S *c) { c->bHpfOn = 1; }, 960, 14},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        UPVQE_CFG_S cfg = up_cfg(c.in, c.work, c.out, c.frame);
        c.setup(&cfg);
        UpVqe v = make_up(cfg);
        ASSERT_TRUE(v);
        EXPECT_EQ(c.vqe_frame, v->s32VqeFrame);
        EXPECT_EQ(c.nodes, v->s32NodeNum);
        UPVQE_CFG_S back;
        ASSERT_EQ(0, DU_UPVQE_GetConfig(v.get(), &back));
        EXPECT_EQ(0, memcmp(&cfg, &back, sizeof cfg));
    }
}

TEST(UpVqe, CreationRefusals)
{
    struct Case {
        const char *name;
        void (*setup)(UPVQE_CFG_S *);
        s32 ret;
        const char *message;
    } cases[] = {
        {"frame 79", [](UPVQE_CFG_S *c) { c->s32FrameSample = 79; }, (s32)0xA1350002, "UPVQE invalid s32FrameSample(79)"},
        {"frame 4097", [](UPVQE_CFG_S *c) { c->s32FrameSample = 4097; }, (s32)0xA1350002,
         "UPVQE invalid s32FrameSample(4097)"},
        {"work rate 32000 with HPF",
         [](UPVQE_CFG_S *c) {
             c->s32InSampleRate = c->s32WorkSampleRate = c->s32OutSampleRate = 32000;
             c->bHpfOn = 1;
         },
         (s32)0xA1350002, "UPVQE invalid s32WorkSampleRate(32000)"},
        {"AVC at 16k", [](UPVQE_CFG_S *c) { c->bAvcOn = 1; }, (s32)0xA1350002, "AVC/PEQ only work with 48kHz RNR!"},
        {"AVC with AGC",
         [](UPVQE_CFG_S *c) {
             c->s32InSampleRate = c->s32WorkSampleRate = c->s32OutSampleRate = 48000;
             c->bAvcOn = c->bAgcOn = 1;
         },
         (s32)0xA1350002, "AVC/PEQ only work with 48kHz RNR!"},
        {"a module refusing its sub-record",
         [](UPVQE_CFG_S *c) {
             c->bHpfOn = 1;
             c->stHpfCfg = {1, 10};
         },
         -1, "HPF_Init Fail!"},
        {"a rate the resampler cannot reach", [](UPVQE_CFG_S *c) { c->s32InSampleRate = 96000; }, (s32)0xA1350002,
         "UPVQE invalid sample rates"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        UPVQE_CFG_S cfg = up_cfg(16000, 16000, 16000);
        c.setup(&cfg);
        UPVQE_INSTANCE_S *v = reinterpret_cast<UPVQE_INSTANCE_S *>(0x1);
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = DU_UPVQE_Create(&v, &cfg); });
        EXPECT_EQ(c.ret, ret);
        EXPECT_EQ(reinterpret_cast<UPVQE_INSTANCE_S *>(0x1), v) << "no handle on failure";
        EXPECT_NE(std::string::npos, err.find(c.message)) << err;
    }
    EXPECT_EQ((s32)0xA1350002, DU_UPVQE_Create(nullptr, nullptr));
}

TEST(UpVqe, ReadsAreLenientOrStrict)
{
    UpVqe v = make_up(up_cfg(48000, 16000, 16000, 1024));
    ASSERT_TRUE(v);
    Samples in = tone(48000, 1000, -10, 3072);
    ASSERT_EQ(0, DU_UPVQE_WriteFrame(v.get(), in.data(), nullptr, 3072));
    Samples out(1024);
    ASSERT_EQ(0, DU_UPVQE_ReadFrame(v.get(), out.data(), 324, 0)) << "one whole node is ready";
    EXPECT_EQ((s32)0xA1350007, DU_UPVQE_ReadFrame(v.get(), out.data(), 1024, 0)) << "700 ready, strict";
    EXPECT_EQ(700, DU_UPVQE_ReadFrame(v.get(), out.data(), 1024, 1)) << "700 ready, lenient";
    EXPECT_EQ(0, DU_UPVQE_ReadFrame(v.get(), out.data(), 1024, 1)) << "nothing left";
    EXPECT_EQ((s32)0xA1350002, DU_UPVQE_ReadFrame(nullptr, out.data(), 1, 0));
    EXPECT_EQ((s32)0xA1350002, DU_UPVQE_ReadFrame(v.get(), nullptr, 1, 0));
}

TEST(UpVqe, AFullCacheRefusesAWriteAndKeepsNothingOfIt)
{
    UpVqe v = make_up(up_cfg(16000, 16000, 16000, 1024));
    ASSERT_TRUE(v);
    // 13 nodes of output, 13 of input: 26 frames fit before writes are refused.
    Samples in(1024);
    for (size_t i = 0; i < in.size(); i++)
        in[i] = (s16)i;
    s32 accepted = 0, ret = 0;
    std::string err = capture_stderr([&] {
        while ((ret = DU_UPVQE_WriteFrame(v.get(), in.data(), nullptr, 1024)) == 0)
            accepted++;
    });
    EXPECT_EQ((s32)0xA1350006, ret);
    EXPECT_NE(std::string::npos, err.find("DU_ERR_UPVQE_WRITECACHE_FULL"));
    EXPECT_EQ(26, accepted);
    Samples out(1024);
    s32 frames = 0;
    while (DU_UPVQE_ReadFrame(v.get(), out.data(), 1024, 0) == 0) {
        EXPECT_EQ(in, out) << "frame " << frames;
        frames++;
        ASSERT_EQ(0, DU_UPVQE_WriteFrame(v.get(), in.data(), nullptr, 0)) << "a write moves pending frames on";
    }
    EXPECT_EQ(accepted, frames) << "every accepted frame comes out, the refused one never";
}

TEST(UpVqe, ProcessFrameTakesWholeWorkFrames)
{
    UPVQE_CFG_S cfg = up_cfg(16000, 16000, 16000);
    cfg.bHpfOn = 1;
    UpVqe v = make_up(cfg);
    ASSERT_TRUE(v);
    Samples in = tone(16000, 1000, -10, 320), out(320);
    std::string err =
        capture_stderr([&] { EXPECT_EQ((s32)0xA1350002, DU_UPVQE_ProcessFrame(v.get(), in.data(), nullptr, out.data(), 100)); });
    EXPECT_NE(std::string::npos, err.find("UPVQE invalid inputSample(100), VqeFrame(160)"));
    EXPECT_EQ(0, DU_UPVQE_ProcessFrame(v.get(), in.data(), nullptr, out.data(), 320));
    EXPECT_GT(level_db(out, 160, 160), -11);
}

TEST(UpVqe, AecNeedsItsReferenceAndWaitsForIt)
{
    UPVQE_CFG_S cfg = up_cfg(16000, 16000, 16000);
    cfg.bAecOn = 1;
    UpVqe v = make_up(cfg);
    ASSERT_TRUE(v);
    Samples in = noise(-20, 480);
    std::string err =
        capture_stderr([&] { EXPECT_EQ((s32)0xA1350002, DU_UPVQE_WriteFrame(v.get(), in.data(), nullptr, 480)); });
    EXPECT_NE(std::string::npos, err.find("UPVQE invalid ps16RinBuf"));
    Samples out(480);
    EXPECT_EQ(0, DU_UPVQE_ReadFrame(v.get(), out.data(), 480, 1)) << "the refused write stored nothing";
    ASSERT_EQ(0, DU_UPVQE_WriteFrame(v.get(), in.data(), in.data(), 480));
    EXPECT_EQ(480, DU_UPVQE_ReadFrame(v.get(), out.data(), 480, 1));
}

TEST(UpVqe, TheFirstVolumeAddsTheGainStage)
{
    UpVqe v = make_up(up_cfg(16000, 16000, 16000, 160));
    ASSERT_TRUE(v);
    EXPECT_EQ(0, v->pstChain->stStages.s32SlotNum);
    s32 vol = 99;
    ASSERT_EQ(0, DU_UPVQE_GetVolume(v.get(), &vol));
    EXPECT_EQ(0, vol);
    capture_stderr([&] { ASSERT_EQ(0, DU_UPVQE_SetVolume(v.get(), -6)); });
    EXPECT_EQ(1, v->pstChain->stStages.s32SlotNum);
    ASSERT_EQ(0, DU_UPVQE_SetVolume(v.get(), -3));
    EXPECT_EQ(1, v->pstChain->stStages.s32SlotNum) << "later calls only change the word";
    ASSERT_EQ(0, DU_UPVQE_GetVolume(v.get(), &vol));
    EXPECT_EQ(-3, vol);
    EXPECT_EQ((s32)0xA1350002, DU_UPVQE_SetVolume(nullptr, 1));
    EXPECT_EQ((s32)0xA1350002, DU_UPVQE_GetVolume(v.get(), nullptr));
}

TEST(UpVqe, VersionText)
{
    char text[VQE_VERSION_LEN];
    ASSERT_EQ(0, DU_UPVQE_GetVersion(text));
    EXPECT_NE(nullptr, strstr(text, "V3.0.6.4"));
    EXPECT_EQ((s32)0xA1350002, DU_UPVQE_GetVersion(nullptr));
}

// ---- the modules, measured ---------------------------------------------------------------------

TEST(UpVqeSound, ResamplingKeepsATone)
{
    struct Case {
        s32 in, work, out, chunk;
    } cases[] = {{48000, 8000, 8000, 1024}, {8000, 8000, 48000, 160}, {48000, 16000, 48000, 1024}};
    for (auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.work) + " -> " + std::to_string(c.out));
        UpVqe v = make_up(up_cfg(c.in, c.work, c.out, 160));
        ASSERT_TRUE(v);
        Samples in = tone(c.in, 1000, -10, c.in * 2);
        Samples out = through_up(v.get(), in, c.chunk, nullptr, (double)c.out / c.in);
        ASSERT_GT(out.size(), (size_t)c.out);
        EXPECT_NEAR(1000.0, frequency(out, c.out / 2, c.out, c.out), 2.0);
        EXPECT_NEAR(-10, tone_db(out, c.out / 2, c.out, 1000, c.out), 0.5);
        EXPECT_NEAR((double)in.size() * c.out / c.in, out.size(), c.chunk * (double)c.out / c.in + 160.0 * c.out / c.work)
            << "everything written comes out but the last frame";
    }
}

TEST(UpVqeSound, HighPassCutsHumAndKeepsSpeech)
{
    struct Case {
        u32 cutoff;
        double drop_50hz;
    } cases[] = {{80, 8.8}, {120, 15.3}, {150, 19.1}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.cutoff);
        UPVQE_CFG_S cfg = up_cfg(16000, 16000, 16000);
        cfg.bHpfOn = 1;
        cfg.stHpfCfg = {1, c.cutoff};
        for (double hz : {50.0, 1000.0}) {
            UpVqe v = make_up(cfg);
            ASSERT_TRUE(v);
            Samples out = through_up(v.get(), tone(16000, hz, -10, 32000), 1024);
            ASSERT_GE(out.size(), 16000u + 14720u);
            // 46 periods of 50 Hz, 920 of 1 kHz.
            double change = tone_db(out, 16000, 14720, hz, 16000) - tone_db(tone(16000, hz, -10, 32000), 16000, 14720, hz, 16000);
            if (hz == 50.0)
                EXPECT_NEAR(-c.drop_50hz, change, 1.0);
            else
                EXPECT_NEAR(0.0, change, 0.2);
        }
    }
}

TEST(UpVqeSound, NoiseReductionLowersSteadyNoiseAndKeepsATone)
{
    UPVQE_CFG_S cfg = up_cfg(16000, 16000, 16000);
    cfg.bAnrOn = 1;
    UpVqe v = make_up(cfg);
    ASSERT_TRUE(v);
    const int rate = 16000;
    Samples hiss = noise(-30, rate * 4);
    Samples out = through_up(v.get(), hiss, 1024);
    ASSERT_GE(out.size(), (size_t)rate * 3);
    EXPECT_LE(level_db(out, rate * 2, rate), level_db(hiss, rate * 2, rate) - 10) << "after 2 s";

    // A tone that comes and goes as speech does (200 ms on, 200 ms off).
    Samples speech = tone(rate, 1000, -20, rate * 4);
    for (size_t i = 0; i < speech.size(); i++)
        if ((i * 1000 / rate / 200) % 2)
            speech[i] = 0;
    Samples in = mix(noise(-30, rate * 4, 7), speech);
    v = make_up(cfg);
    out = through_up(v.get(), in, 1024);
    ASSERT_GE(out.size(), (size_t)rate * 3);
    EXPECT_NEAR(tone_db(in, rate * 2, rate, 1000, rate), tone_db(out, rate * 2, rate, 1000, rate), 1.0);
}

TEST(UpVqeSound, EchoCancellerRemovesThePlayedSound)
{
    const int rate = 16000;
    UPVQE_CFG_S cfg = up_cfg(rate, rate, rate);
    cfg.bAecOn = 1;
    UpVqe v = make_up(cfg);
    ASSERT_TRUE(v);
    Samples played = noise(-10, rate * 3, 3);
    Samples mic(played.size());
    const size_t delay = rate * 20 / 1000;
    for (size_t i = delay; i < mic.size(); i++)
        mic[i] = (s16)(played[i - delay] / 2);
    Samples out = through_up(v.get(), mic, 640, &played);
    ASSERT_GE(out.size(), (size_t)rate * 2 + rate / 2);
    EXPECT_LE(level_db(out, rate * 2, rate / 2), level_db(mic, rate * 2, rate / 2) - 15) << "after 2 s";
}

// The echo case: a room that returns the far end's sound 30 ms late at half
// its level with a 40 ms tail after it, -60 dBFS of noise at the microphone.
// The far end talks for 6 s; then the near end talks alone for 2 s, then
// both for 2 s.
struct EchoCase {
    int rate;
    Samples far, near, mic;
    std::vector<uint8_t> near_active;
};

EchoCase echo_case(int rate)
{
    const size_t n = (size_t)rate * 10;
    EchoCase c;
    c.rate = rate;
    Speech far = speech(rate, n, -20, 11, 120), near = speech(rate, n, -26, 23, 210);
    c.far = far.x;
    for (size_t i = (size_t)rate * 6; i < (size_t)rate * 8; i++)
        c.far[i] = 0;
    c.near.assign(n, 0);
    c.near_active.assign(n, 0);
    for (size_t i = (size_t)rate * 6; i < n; i++) {
        c.near[i] = near.x[i];
        c.near_active[i] = near.active[i];
    }
    // The echo path: the direct echo, then a decaying tail of reflections.
    std::vector<double> h((size_t)rate * 70 / 1000 + 1, 0.0);
    const size_t direct = (size_t)rate * 30 / 1000;
    h[direct] = 0.5;
    std::mt19937 rng(5);
    std::normal_distribution<double> tap(0.0, 1.0);
    for (size_t k = direct + 1; k < h.size(); k++)
        h[k] = 0.08 * tap(rng) * std::exp(-(double)(k - direct) / (rate * 0.01));
    Samples hiss = noise(-60, n, 9);
    c.mic.resize(n);
    for (size_t i = 0; i < n; i++) {
        double e = 0;
        for (size_t k = direct; k < h.size() && k <= i; k++)
            e += h[k] * c.far[i - k];
        c.mic[i] = clip(e + c.near[i] + hiss[i]);
    }
    return c;
}

// What one echo canceller setting makes of the echo case: the echo
// reduction from 2 s on while only the far end talks, and the level of the
// near end's speech that comes through while it talks alone, as a share of
// its level. The output is taken at the chain's delay.
struct EchoResult {
    double reduction_db, near_kept;
};

EchoResult cancel_echo(const EchoCase &c, const VQE_AEC_CFG_S &aec)
{
    UPVQE_CFG_S cfg = up_cfg(c.rate, c.rate, c.rate);
    cfg.bAecOn = 1;
    cfg.stAecCfg = aec;
    UpVqe v = make_up(cfg);
    EXPECT_TRUE(v);
    if (!v)
        return {};
    Samples out = through_up(v.get(), c.mic, 160, &c.far);
    const size_t second = (size_t)c.rate, lag = delay_of(out, c.near, second * 6, second * 8, 480);
    EXPECT_GE(out.size(), c.mic.size() - 480);
    auto energy = [](const Samples &x, size_t from, size_t to) {
        double sum = 0;
        for (size_t i = from; i < to && i < x.size(); i++)
            sum += (double)x[i] * x[i];
        return sum;
    };
    return {10 * std::log10(energy(c.mic, second * 2, second * 6) / energy(out, second * 2 + lag, second * 6 + lag)),
            std::sqrt(energy(out, second * 6 + lag, second * 8 + lag) / energy(c.near, second * 6, second * 8))};
}

TEST(UpVqeSound, EchoCancellerSuppressesTheResidualEchoAndKeepsTheNearEnd)
{
    const VQE_AEC_CFG_S defaults = {};
    // Residual suppression of 20 dB (far end alone) and 5 dB (both talking),
    // where the defaults take 40 dB and 15 dB.
    const VQE_AEC_CFG_S mild = {1, 0, 2, 0, 0, 1, 2, 1, 2, {1, 1, 1, 1, 1, 1}, {}, 1, 2, 0};
    struct Case {
        int rate;
        double min_reduction_db;
    } cases[] = {{8000, 25}, {16000, 20}};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.rate);
        EchoCase c = echo_case(k.rate);
        EchoResult d = cancel_echo(c, defaults), m = cancel_echo(c, mild);
        printf("%d Hz: defaults %.1f dB, near end kept %.2f; mild %.1f dB, near end kept %.2f\n", k.rate,
               d.reduction_db, d.near_kept, m.reduction_db, m.near_kept);
        EXPECT_GE(d.reduction_db, k.min_reduction_db);
        EXPECT_GE(d.near_kept, 0.8);
        EXPECT_GE(m.near_kept, 0.8);
        // Without the residual suppression every setting gave the same
        // output to the bit.
        EXPECT_GT(d.reduction_db - m.reduction_db, 0.3) << "the setting counts";
    }
}

// Speech whose pauses fall below the denoiser's quiet threshold: wherever
// the output follows the input closely (20 ms windows of speech, and of the
// quiet the denoiser leaves untouched) it does so at one delay (speexdsp's
// output is a frame late; the untouched path it eases to in the quiet must
// be that same frame). Steady noise is still lowered.
TEST(UpVqeSound, NoiseReductionKeepsOneTimeBaseAcrossItsQuietThreshold)
{
    struct Case {
        const char *name;
        int rate;
        void (*setup)(UPVQE_CFG_S *);
        double speech_db, noise_db; // the pauses' noise under the quiet threshold
        double min_drop_db;         // of steady noise, at these settings
    } cases[] = {
        {"ANR at its defaults", 16000, [](UPVQE_CFG_S *c) { c->bAnrOn = 1; }, -40, -75, 12},
        {"ANR, speech protection", 8000,
         [](UPVQE_CFG_S *c) {
             c->bAnrOn = 1;
             c->stAnrCfg = {1, 20, 50, 1, {}};
         },
         -35, -65, 9},
        {"RNR at its defaults", 48000,
         [](UPVQE_CFG_S *c) {
             c->bRnrOn = 1;
             c->s32WorkSampleRate = 48000;
         },
         -45, -85, 9},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        UPVQE_CFG_S cfg = up_cfg(c.rate, c.rate, c.rate);
        c.setup(&cfg);
        const size_t second = (size_t)c.rate, win = second / 50;
        Samples in = mix(speech(c.rate, second * 8, c.speech_db, 31).x, noise(c.noise_db, second * 8, 4));
        UpVqe v = make_up(cfg);
        ASSERT_TRUE(v);
        Samples out = through_up(v.get(), in, 960);
        ASSERT_GE(out.size(), second * 7);
        const size_t delay = delay_of(out, in, second, second * 7, 2000);
        EXPECT_GT(delay, 0u) << "speexdsp's frame";
        size_t windows = 0, close = 0, off = 0;
        for (size_t at = second; at + win <= second * 7; at += win) {
            windows++;
            double best = 0, at_delay = 0;
            size_t d = delay_of(out, in, at, at + win, 2000, &best);
            if (best < 0.9)
                continue; // the denoiser changed this stretch: no delay to read
            close++;
            // A vowel repeats itself, so a window may match as well a few
            // pitch periods off; the chain's delay must match too.
            delay_of(out, in, at, at + win, 0, &at_delay, delay);
            if (at_delay < best - 0.05) {
                if (off++ < 3)
                    ADD_FAILURE() << "at " << at << " the output follows " << d << " samples late, not " << delay;
            }
        }
        EXPECT_EQ(0u, off) << "of " << close << " windows";
        EXPECT_GT(close, windows / 2);

        v = make_up(cfg);
        Samples hiss = noise(-30, second * 4, 7);
        out = through_up(v.get(), hiss, 960);
        ASSERT_GE(out.size(), second * 3);
        const double drop = level_db(hiss, second * 2, second) - level_db(out, second * 2, second);
        printf("%s: steady noise lowered by %.1f dB\n", c.name, drop);
        EXPECT_GE(drop, c.min_drop_db);
    }
}

// Speech is mostly pauses: under the noise floor the gain holds, so the
// syllables get what the rule gives their level (target minus level, at
// most the maximum gain), however many pauses there are.
TEST(UpVqeSound, GainControlLiftsQuietSpeechAsTheRuleSays)
{
    struct Case {
        double speech_db;
        VQE_AGC_CFG_S agc;
        double rule_db;
    } cases[] = {
        {-51, {}, 20}, // defaults: target -10, at most 20 dB, floor -55
        {-45, {}, 20},
        {-43, {}, 20},
        {-30, {}, 20},
        {-35, {1, -20, -55, 30, 5, 0, 0, 0, 0, {}}, 15},
        {-48, {1, -15, -60, 30, 8, 0, 0, 0, 0, {}}, 30},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.speech_db);
        const int rate = 16000;
        UPVQE_CFG_S cfg = up_cfg(rate, rate, rate);
        cfg.bAgcOn = 1;
        cfg.stAgcCfg = c.agc;
        UpVqe v = make_up(cfg);
        ASSERT_TRUE(v);
        Speech sp = speech(rate, rate * 12, c.speech_db, 41, 150);
        Samples in = mix(sp.x, noise(-75, sp.x.size(), 2));
        Samples out = through_up(v.get(), in, 1024);
        ASSERT_GE(out.size(), (size_t)rate * 11);
        const size_t delay = delay_of(out, in, rate * 4, rate * 11, 480);
        std::vector<uint8_t> shifted(out.size(), 0);
        for (size_t i = 0; i + delay < out.size() && i < sp.active.size(); i++)
            shifted[i + delay] = sp.active[i];
        double gain = active_level_db(out, shifted, rate * 4 + delay, rate * 7) -
                      active_level_db(in, sp.active, rate * 4, rate * 7);
        printf("speech at %.0f dBFS: gain %.1f dB (rule %.0f)\n", c.speech_db, gain, c.rule_db);
        EXPECT_NEAR(c.rule_db, gain, 3.0);
    }
}

TEST(UpVqeSound, GainControlBringsAQuietToneUp)
{
    struct Case {
        const char *name;
        VQE_AGC_CFG_S agc;
        double expect_db;
    } cases[] = {
        {"target reachable", {1, -20, -55, 30, 5, 0, 0, 0, 0, {}}, -20},
        {"gain-limited", {1, -10, -55, 12, 5, 0, 0, 0, 0, {}}, -28},
        {"fast, loud target", {1, -3, -55, 30, 10, 0, 0, 0, 0, {}}, -10},
        {"defaults", {0, 0, 0, 0, 0, 0, 0, 0, 0, {}}, -20},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        UPVQE_CFG_S cfg = up_cfg(16000, 16000, 16000);
        cfg.bAgcOn = 1;
        cfg.stAgcCfg = c.agc;
        UpVqe v = make_up(cfg);
        ASSERT_TRUE(v);
        Samples out = through_up(v.get(), tone(16000, 1000, -40, 16000 * 3), 1024);
        ASSERT_GE(out.size(), 16000u * 2 + 8000u);
        EXPECT_NEAR(c.expect_db, level_db(out, 16000 * 2, 8000), 1.0) << "within 2 s";
    }
}

TEST(UpVqeSound, VolumeScalesBySixDecibels)
{
    UpVqe v = make_up(up_cfg(16000, 16000, 16000, 160));
    ASSERT_TRUE(v);
    capture_stderr([&] { ASSERT_EQ(0, DU_UPVQE_SetVolume(v.get(), -6)); });
    Samples in = tone(16000, 1000, -6, 16000);
    Samples out = through_up(v.get(), in, 160);
    ASSERT_EQ(in.size(), out.size());
    double ratio = std::pow(10.0, (level_db(out, 160, 15000) - level_db(in, 160, 15000)) / 20);
    EXPECT_NEAR(0.501, ratio, 0.005);
}

TEST(UpVqeSound, EqualiserRaisesOneBand)
{
    struct Case {
        s32 rate;
        int band;
        double centre;
    } cases[] = {{16000, 5, 1000}, {16000, 3, 400}, {8000, 5, 500}};
    for (auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, band " + std::to_string(c.band));
        UPVQE_CFG_S cfg = up_cfg(c.rate, c.rate, c.rate);
        cfg.bEqOn = 1;
        cfg.stEqCfg.s8GaindB[c.band] = 6;
        for (double hz : {c.centre, c.centre / 4, c.centre * 4}) {
            if (hz >= 0.45 * c.rate)
                continue;
            UpVqe v = make_up(cfg);
            ASSERT_TRUE(v);
            Samples in = tone(c.rate, hz, -20, c.rate * 2);
            Samples out = through_up(v.get(), in, 1024);
            ASSERT_GE(out.size(), (size_t)c.rate);
            double change = tone_db(out, c.rate / 2, c.rate, hz, c.rate) - tone_db(in, c.rate / 2, c.rate, hz, c.rate);
            EXPECT_NEAR(hz == c.centre ? 6.0 : 0.0, change, 0.5) << hz << " Hz";
        }
    }
}

TEST(UpVqeSound, VolumeControlSettlesAtItsTarget)
{
    const int rate = 48000;
    UPVQE_CFG_S cfg = up_cfg(rate, rate, rate, 1024);
    cfg.bAvcOn = 1;
    cfg.stAvcCfg = {1, 100, 500, -40, -30, 6, -12};
    UpVqe v = make_up(cfg);
    ASSERT_TRUE(v);
    Samples in = concat(tone(rate, 1000, -40, rate), tone(rate, 1000, -10, rate * 2, rate));
    Samples out = through_up(v.get(), in, 1024);
    ASSERT_GE(out.size(), (size_t)rate * 2 + rate / 2);
    EXPECT_NEAR(-40, level_db(out, rate / 2, rate / 4), 1.5) << "below the start level nothing changes";
    EXPECT_NEAR(-12, level_db(out, rate * 2, rate / 2), 1.5) << "the step settles at the target";
}

TEST(UpVqeSound, ParametricEqualiserBands)
{
    const int rate = 48000;
    struct Case {
        const char *name;
        u8 type;
        u16 hz, q;
        s8 gain;
        double probe_hz, expect_db, tolerance;
    } cases[] = {
        {"peaking +10 dB", 2, 2000, 10, 10, 2000, 10, 0.3},
        {"peaking leaves far tones", 2, 2000, 20, 10, 200, 0, 0.3},
        {"high-pass: two octaves below", 0, 400, 7, 0, 100, -24.1, 1.0},
        {"high-pass: at the cut-off", 0, 400, 7, 0, 400, -3.0, 0.3},
        {"low-pass: at the cut-off", 4, 4000, 7, 0, 4000, -3.0, 0.3},
        {"low-pass: half an octave above", 4, 4000, 7, 0, 6000, -7.8, 0.8},
        {"low shelf", 1, 300, 7, 6, 50, 6, 0.5},
        {"high shelf", 3, 6000, 7, -6, 20000, -6, 0.5},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        UPVQE_CFG_S cfg = up_cfg(rate, rate, rate, 960);
        cfg.bPeqOn = 1;
        cfg.stPeqCfg.bUsrMode = 1;
        cfg.stPeqCfg.u32BandNum = 1;
        cfg.stPeqCfg.u8FilterType[0] = c.type;
        cfg.stPeqCfg.u16Frequency[0] = c.hz;
        cfg.stPeqCfg.u16Q[0] = c.q;
        cfg.stPeqCfg.s8GaindB[0] = c.gain;
        UpVqe v = make_up(cfg);
        ASSERT_TRUE(v);
        Samples in = tone(rate, c.probe_hz, -20, rate);
        Samples out = through_up(v.get(), in, 960);
        ASSERT_GE(out.size(), (size_t)rate / 2 + rate / 4);
        double change = tone_db(out, rate / 2, rate / 4, c.probe_hz, rate) - tone_db(in, rate / 2, rate / 4, c.probe_hz, rate);
        EXPECT_NEAR(c.expect_db, change, c.tolerance);
    }
}

TEST(UpVqeSound, HdrStepsTheCodecGainWithinItsBounds)
{
    static std::vector<u32> calls;
    calls.clear();
    UPVQE_CFG_S cfg = up_cfg(16000, 16000, 16000);
    cfg.bHdrOn = 1;
    cfg.stHdrCfg = {1, 20, 40, 30, 3, [](u32 gain) {
                        calls.push_back(gain);
                        return 0;
                    }};
    UpVqe v = make_up(cfg);
    ASSERT_TRUE(v);
    // Two seconds of clipping loudness, then three and a half of a whisper.
    Samples in = concat(tone(16000, 1000, -1, 32000), tone(16000, 1000, -40, 56000));
    Samples out = through_up(v.get(), in, 1024);
    ASSERT_GE(out.size(), 16000u);
    std::vector<u32> expect = {27, 24, 21, 20, 23, 26, 29};
    EXPECT_EQ(expect, calls) << "down a step at a time to the minimum, then up one step a second";
    EXPECT_EQ(Samples(in.begin(), in.begin() + 16000), Samples(out.begin(), out.begin() + 16000))
        << "the samples pass unchanged";
}

} // namespace
