// The output enhancement chain: its rules, and the modules it runs measured
// through DU_DNVQE_* as the audio output unit calls it.
#include "tests/mpi/audio/vqe/vqe_signal.h"
#include "tests/support/board_fixture.h"

#include <cstring>
#include <memory>

using testsupport::capture_stderr;
using namespace vqetest;

namespace {

struct DnDeleter {
    void operator()(DNVQE_INSTANCE_S *v) const { DU_DNVQE_Destroy(v); }
};
using DnVqe = std::unique_ptr<DNVQE_INSTANCE_S, DnDeleter>;

DnVqe make_dn(const DNVQE_CFG_S &cfg, s32 *ret = nullptr, std::string *err = nullptr)
{
    DNVQE_INSTANCE_S *v = nullptr;
    s32 r = 0;
    std::string text = capture_stderr([&] { r = DU_DNVQE_Create(&v, &cfg); });
    if (ret)
        *ret = r;
    if (err)
        *err = text;
    return DnVqe(r == 0 ? v : nullptr);
}

// A compressor of `bands` bands with the same settings in each.
VQE_MBC_CFG_S mbc(u32 bands, std::initializer_list<s32> cross, s32 threshold, s32 ratio)
{
    VQE_MBC_CFG_S m = {};
    m.bUsrMode = 1;
    size_t i = 0;
    for (s32 f : cross)
        m.as32CrossFreq[i++] = f;
    for (auto &b : m.astBand)
        b = {threshold, ratio, 10, 100, 0};
    m.u32Channel = 0;
    m.u32BandNum = bands;
    return m;
}

TEST(DnVqe, WorkFrameAndNodes)
{
    struct Case {
        const char *name;
        s32 in, work, out, frame;
        void (*setup)(DNVQE_CFG_S *);
        s32 vqe_frame, nodes;
    } cases[] = {
        {"MBC alone at 48k", 48000, 48000, 48000, 1024,
         [](DNVQE_CFG_S *c) {
             c->bMbcOn = 1;
             c->stMbcCfg.u32BandNum = 3;
         },
         1024, 12},
        {"ANR at 8k", 16000, 8000, 8000, 1024, [](DNVQE_CFG_S *c) { c->bAnrOn = 1; }, 80, 153},
        {"HPF at 16k", 16000, 16000, 16000, 1024, [](DNVQE_CFG_S *c) { c->bHpfOn = 1; }, 160, 76},
        {"nothing on", 8000, 8000, 48000, 333, [](DNVQE_CFG_S *) {}, 333, 36},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        DNVQE_CFG_S cfg = dn_cfg(c.in, c.work, c.out, c.frame);
        c.setup(&cfg);
        DnVqe v = make_dn(cfg);
        ASSERT_TRUE(v);
        EXPECT_EQ(c.vqe_frame, v->s32VqeFrame);
        EXPECT_EQ(c.nodes, v->s32NodeNum);
        DNVQE_CFG_S back;
        ASSERT_EQ(0, DU_DNVQE_GetConfig(v.get(), &back));
        EXPECT_EQ(0, memcmp(&cfg, &back, sizeof cfg));
    }
}

TEST(DnVqe, CreationRefusals)
{
    struct Case {
        const char *name;
        void (*setup)(DNVQE_CFG_S *);
        s32 ret;
        const char *message;
    } cases[] = {
        {"HPF at 48k",
         [](DNVQE_CFG_S *c) {
             c->s32InSampleRate = c->s32WorkSampleRate = c->s32OutSampleRate = 48000;
             c->bHpfOn = 1;
         },
         -1, "DNVQE invalid s32WorkSampleRate(48000)"},
        {"frame 79", [](DNVQE_CFG_S *c) { c->s32FrameSample = 79; }, -1, "DNVQE invalid s32FrameSample(79)"},
        {"a compressor without bands", [](DNVQE_CFG_S *c) { c->bMbcOn = 1; }, -1, "MBC_Init Fail!"},
        {"crossovers falling",
         [](DNVQE_CFG_S *c) {
             c->bMbcOn = 1;
             c->stMbcCfg = mbc(3, {2000, 500}, -20, 40);
         },
         -1, "MBC_Init Fail!"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        DNVQE_CFG_S cfg = dn_cfg(16000, 16000, 16000);
        c.setup(&cfg);
        DNVQE_INSTANCE_S *v = reinterpret_cast<DNVQE_INSTANCE_S *>(0x1);
        s32 ret = 0;
        std::string err = capture_stderr([&] { ret = DU_DNVQE_Create(&v, &cfg); });
        EXPECT_EQ(c.ret, ret);
        EXPECT_EQ(reinterpret_cast<DNVQE_INSTANCE_S *>(0x1), v);
        EXPECT_NE(std::string::npos, err.find(c.message)) << err;
    }
    EXPECT_EQ((s32)0xA1360002, DU_DNVQE_Create(nullptr, nullptr));
}

TEST(DnVqe, ConvertsRatesAndCarriesOddSamples)
{
    DNVQE_CFG_S cfg = dn_cfg(16000, 8000, 8000);
    cfg.bAnrOn = 1;
    DnVqe v = make_dn(cfg);
    ASSERT_TRUE(v);
    ASSERT_NE(nullptr, v->pInRes);
    EXPECT_EQ(2, v->pInRes->s32Ratio);
    Samples in = tone(16000, 1000, -10, 16000);
    ASSERT_EQ(0, DU_DNVQE_WriteFrame(v.get(), in.data(), 161));
    EXPECT_EQ(1, v->pInRes->s32Cached) << "an odd write carries one sample";
    ASSERT_EQ(0, DU_DNVQE_WriteFrame(v.get(), in.data() + 161, 161));
    EXPECT_EQ(0, v->pInRes->s32Cached);
    Samples out(1000);
    EXPECT_EQ(160, DU_DNVQE_ReadFrame(v.get(), out.data(), 1000, 1)) << "two frames of 80 at 8 kHz";
}

TEST(DnVqe, ReadsAreLenientOrStrict)
{
    DnVqe v = make_dn(dn_cfg(16000, 16000, 16000));
    ASSERT_TRUE(v);
    Samples out(160);
    EXPECT_EQ(0, DU_DNVQE_ReadFrame(v.get(), out.data(), 160, 1));
    EXPECT_EQ((s32)0xA1360007, DU_DNVQE_ReadFrame(v.get(), out.data(), 160, 0));
    std::string err = capture_stderr([&] { EXPECT_EQ((s32)0xA1360002, DU_DNVQE_ReadFrame(nullptr, out.data(), 1, 0)); });
    EXPECT_NE(std::string::npos, err.find("DNVQE invalid hDnVqe"));
    err = capture_stderr([&] { EXPECT_EQ((s32)0xA1360002, DU_DNVQE_WriteFrame(v.get(), nullptr, 1)); });
    EXPECT_NE(std::string::npos, err.find("DNVQE invalid ps16SinBuf"));
    char text[VQE_VERSION_LEN];
    ASSERT_EQ(0, DU_DNVQE_GetVersion(text));
    EXPECT_NE(nullptr, strstr(text, "V3.0.6.4"));
}

TEST(DnVqe, AFullCacheRefusesAWrite)
{
    DnVqe v = make_dn(dn_cfg(16000, 16000, 16000, 1024));
    ASSERT_TRUE(v);
    Samples in = tone(16000, 1000, -10, 1024);
    s32 accepted = 0, ret = 0;
    std::string err = capture_stderr([&] {
        while ((ret = DU_DNVQE_WriteFrame(v.get(), in.data(), 1024)) == 0)
            accepted++;
    });
    EXPECT_EQ((s32)0xA1360006, ret);
    EXPECT_NE(std::string::npos, err.find("DU_ERR_DNVQE_WRITECACHE_FULL"));
    EXPECT_EQ(24, accepted) << "12 nodes each side";
}

TEST(DnVqeSound, CompressorSquashesALoudBandAndLeavesAQuietOne)
{
    const int rate = 16000;
    DNVQE_CFG_S cfg = dn_cfg(rate, rate, rate, 1024);
    cfg.bMbcOn = 1;
    cfg.stMbcCfg = mbc(3, {500, 2000}, -30, 40);
    struct Case {
        const char *name;
        double low_db, high_db; // a 100 Hz tone and a 5 kHz tone, well inside their bands
        double low_change, high_change;
    } cases[] = {
        {"loud low band, quiet high band", -6, -40, -18, 0},
        {"both quiet", -40, -40, 0, 0},
        {"quiet low band, loud high band", -40, -10, 0, -15},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        DnVqe v = make_dn(cfg);
        ASSERT_TRUE(v);
        Samples in = mix(tone(rate, 100, c.low_db, rate * 2), tone(rate, 5000, c.high_db, rate * 2));
        Samples out = through_dn(v.get(), in, 1024);
        ASSERT_GE(out.size(), (size_t)rate + rate / 2);
        EXPECT_NEAR(c.low_change, tone_db(out, rate, rate / 2, 100, rate) - tone_db(in, rate, rate / 2, 100, rate), 1.0);
        EXPECT_NEAR(c.high_change, tone_db(out, rate, rate / 2, 5000, rate) - tone_db(in, rate, rate / 2, 5000, rate), 1.0);
    }
}

TEST(DnVqeSound, SpeechStagesRunAtTheOutputToo)
{
    const int rate = 8000;
    DNVQE_CFG_S cfg = dn_cfg(48000, rate, 48000);
    cfg.bHpfOn = 1;
    cfg.stHpfCfg = {1, 150};
    cfg.bAgcOn = 1;
    cfg.stAgcCfg = {1, -20, -55, 30, 5, 0, 0, 0, 0, {}};
    DnVqe v = make_dn(cfg);
    ASSERT_TRUE(v);
    Samples in = mix(tone(48000, 1000, -40, 48000 * 3), tone(48000, 50, -40, 48000 * 3));
    Samples out = through_dn(v.get(), in, 960, 1.0);
    ASSERT_GE(out.size(), 48000u * 2 + 24000u);
    EXPECT_NEAR(-20, tone_db(out, 48000 * 2, 24000, 1000, 48000), 1.0) << "AGC brought the tone up";
    EXPECT_LT(tone_db(out, 48000 * 2, 24000, 50, 48000), -20 - 15) << "the hum stays cut";
}

} // namespace
