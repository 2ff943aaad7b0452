// The audio input unit's resampling and voice enhancement: frames resampled
// down and up, the refusals of the switches and the attribute setters, and
// what each enhancement stage does to what the board's microphone hears,
// pulled through the unit and through the encoder's AAC packets.
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "mpi/audio/aenc/aenc_requests.h"
#include "mpi/audio/ai/ai_requests.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"
#include "tests/mpi/audio/audio_check.h"
#include "tests/mpi/audio/audio_fixture.h"
#include "tests/mpi/audio/vqe/vqe_signal.h"
#include "tests/support/arg_rules.h"

namespace {

using vqetest::Samples;

constexpr s32 kIllegal = (s32)0xA0158003;
constexpr s32 kNotPerm = (s32)0xA0158009;

AIO_ATTR_S attr_of(u32 rate, u32 points) { return {rate, 1, 0, 0, 1, 30, points, 1, 1}; }

// A normal record with the given stages on and every sub-record in user mode
// with values inside their bounds.
AI_VQE_ATTR_S vqe_attr(s32 rate, s32 frame)
{
    AI_VQE_ATTR_S a = {};
    a.s32WorkSampleRate = rate;
    a.s32FrameSample = frame;
    a.stHpfCfg = {1, 150};
    a.stAecCfg.bUsrMode = 0;
    a.stAnrCfg = {1, 25, 60, 0, {}};
    a.stRnrCfg = {1, 0, 10, -40};
    a.stAgcCfg = {1, -10, -50, 10, 5, 0, 0, 0, 0, {}};
    a.stHdrCfg = {1, 0, 72, 0, 2, DU_DUZ_AI_SetAcodecGain};
    return a;
}

AI_HIFIVQE_ATTR_S hifi_attr(u32 mask)
{
    AI_HIFIVQE_ATTR_S a = {};
    a.u32OpenMask = mask;
    a.s32WorkSampleRate = 48000;
    a.s32FrameSample = 1024;
    a.stHpfCfg = {1, 120};
    a.stRnrCfg = {1, 0, 10, -40};
    a.stHdrCfg = {1, 0, 72, 0, 2, DU_DUZ_AI_SetAcodecGain};
    a.stAvcCfg = {1, 100, 200, -30, -25, 4, -10};
    a.stPeqCfg.bUsrMode = 1;
    a.stPeqCfg.u32BandNum = 1;
    a.stPeqCfg.u8FilterType[0] = 2;
    a.stPeqCfg.s8GaindB[0] = 3;
    a.stPeqCfg.u16Frequency[0] = 1000;
    a.stPeqCfg.u16Q[0] = 10;
    return a;
}

class AiVqeTest : public AudioTest {
protected:
    void start(AIO_ATTR_S attr, u32 depth)
    {
        ASSERT_EQ(0, DU_DUZ_AI_SetPubAttr(0, &attr));
        ASSERT_EQ(0, DU_DUZ_AI_Enable(0));
        ASSERT_EQ(0, DU_DUZ_AI_EnableChn(0, 0));
        AI_CHN_PARAM_S param = {depth};
        ASSERT_EQ(0, DU_DUZ_AI_SetChnParam(0, 0, &param));
    }

    void stop()
    {
        EXPECT_EQ(0, DU_DUZ_AI_DisableChn(0, 0));
        EXPECT_EQ(0, DU_DUZ_AI_Disable(0));
    }

    // Configures the enhancement quietly (its modules print as they load)
    // and switches it on.
    void enable_vqe(AI_VQE_ATTR_S attr, s32 ao_chn = 0)
    {
        testsupport::capture_stderr([&] {
            ASSERT_EQ(0, DU_DUZ_AI_SetVqeAttr(0, 0, 0, ao_chn, &attr));
            ASSERT_EQ(0, DU_DUZ_AI_EnableVqe(0, 0));
        });
    }

    // `seconds` of what channel 0 delivers, pulled and released.
    Samples pull(double seconds, u32 rate, std::vector<u32> *sizes = nullptr)
    {
        Samples out;
        while (out.size() < seconds * rate) {
            AUDIO_FRAME_S f;
            AEC_REF_FRAME_S ref;
            s32 ret = DU_DUZ_AI_GetFrame(0, 0, &f, &ref, 2000);
            EXPECT_EQ(0, ret);
            if (ret != 0)
                return out;
            const s16 *s = static_cast<const s16 *>(f.pVirAddr[0]);
            out.insert(out.end(), s, s + f.u32Len / 2);
            if (sizes)
                sizes->push_back(f.u32Len / 2);
            EXPECT_EQ(0, DU_DUZ_AI_ReleaseFrame(0, 0, &f, &ref));
        }
        return out;
    }

    // Loads of an enhancement module library since the test began.
    size_t loads(const std::string &err) const
    {
        size_t n = 0;
        for (size_t at = 0; (at = err.find("To OPEN Audio Module", at)) != std::string::npos; at++)
            n++;
        return n;
    }
};

TEST_F(AiVqeTest, DownSampledFramesComeInTheDriversOwnBlocks)
{
    start(attr_of(48000, 1024), 4);
    testsupport::capture_stderr([] { ASSERT_EQ(0, DU_DUZ_AI_EnableReSmp(0, 0, 8000)); });
    EXPECT_EQ(0xFFFFFFFFu, ai_chn_record(0).u32ResmpPoolId); // down-sampling needs no pool of its own
    std::vector<u32> sizes;
    Samples x;
    for (int i = 0; i < 100; i++) {
        AUDIO_FRAME_S f;
        ASSERT_EQ(0, DU_DUZ_AI_GetFrame(0, 0, &f, nullptr, 2000));
        EXPECT_EQ(ai_dev_record().u32PoolId, f.u32PoolId[0]);
        const s16 *s = static_cast<const s16 *>(f.pVirAddr[0]);
        x.insert(x.end(), s, s + f.u32Len / 2);
        sizes.push_back(f.u32Len / 2);
        ASSERT_EQ(0, DU_DUZ_AI_ReleaseFrame(0, 0, &f, nullptr));
    }
    for (u32 n : sizes)
        EXPECT_LE(n, 171u);
    EXPECT_NEAR((double)x.size(), 17067, 170.67);
    EXPECT_NEAR(vqetest::frequency(x, 800, x.size() - 800, 8000), 1000, 5);
    // The same rate again changes nothing; another is refused.
    EXPECT_EQ(0, DU_DUZ_AI_EnableReSmp(0, 0, 8000));
    std::string err = testsupport::capture_stderr([] { EXPECT_EQ(kNotPerm, DU_DUZ_AI_EnableReSmp(0, 0, 16000)); });
    EXPECT_NE(std::string::npos, err.find("not the same as before:8000")) << err;
    testsupport::capture_stderr([&] { stop(); });
}

TEST_F(AiVqeTest, UpSampledFramesComeInBlocksOfTheChannelsPool)
{
    start(attr_of(8000, 320), 4);
    testsupport::capture_stderr([] { ASSERT_EQ(0, DU_DUZ_AI_EnableReSmp(0, 0, 16000)); });
    u32 pool = ai_chn_record(0).u32ResmpPoolId;
    ASSERT_NE(0xFFFFFFFFu, pool);
    EXPECT_EQ(pool, ai_bound_vqe(0).u32ResmpPoolId);
    Samples x;
    for (int i = 0; i < 30; i++) {
        AUDIO_FRAME_S f;
        ASSERT_EQ(0, DU_DUZ_AI_GetFrame(0, 0, &f, nullptr, 2000));
        EXPECT_EQ(pool, f.u32PoolId[0]);
        EXPECT_LE(f.u32Len / 2, 640u);
        const s16 *s = static_cast<const s16 *>(f.pVirAddr[0]);
        x.insert(x.end(), s, s + f.u32Len / 2);
        ASSERT_EQ(0, DU_DUZ_AI_ReleaseFrame(0, 0, &f, nullptr));
    }
    EXPECT_NEAR((double)x.size(), 30 * 640, 640);
    EXPECT_NEAR(vqetest::frequency(x, 1600, x.size() - 1600, 16000), 1000, 5);
    // Every block went back: the pool can go.
    testsupport::capture_stderr([&] { EXPECT_EQ(0, DU_DUZ_AI_DisableReSmp(0, 0)); });
    EXPECT_EQ(0xFFFFFFFFu, ai_chn_record(0).u32ResmpPoolId);
    stop();
}

class AiVqeTraceTest : public AiVqeTest {
protected:
    AiVqeTraceTest() { conf_ = "trace = 1\n"; }
};

TEST_F(AiVqeTraceTest, RefusedSwitchesAndAttributesChangeNothing)
{
    start(attr_of(16000, 160), 4);
    testsupport::capture_stderr([] { ASSERT_EQ(0, DU_DUZ_AI_EnableReSmp(0, 0, 8000)); });
    UPVQE_INSTANCE_S *inst = ai_chn_record(0).pVqeHandle;
    ASSERT_NE(nullptr, inst);

    auto normal = [](void (*edit)(AI_VQE_ATTR_S &)) {
        return [edit] {
            AI_VQE_ATTR_S a = vqe_attr(16000, 160);
            a.bHpfOn = 1;
            edit(a);
            return DU_DUZ_AI_SetVqeAttr(0, 0, 0, 0, &a);
        };
    };
    auto hifi = [](u32 mask, void (*edit)(AI_HIFIVQE_ATTR_S &)) {
        return [mask, edit] {
            AI_HIFIVQE_ATTR_S a = hifi_attr(mask);
            edit(a);
            return DU_DUZ_AI_SetHiFiVqeAttr(0, 0, &a);
        };
    };
    std::vector<argrules::Case> cases = {
        {"frame 79", normal([](AI_VQE_ATTR_S &a) { a.s32FrameSample = 79; }), kIllegal, "frame length: 79"},
        {"frame 4097", normal([](AI_VQE_ATTR_S &a) { a.s32FrameSample = 4097; }), kIllegal, "frame length: 4097"},
        {"work mode 3", normal([](AI_VQE_ATTR_S &a) { a.u32WorkMode = 3; }), kIllegal, "work mode: 3"},
        {"rate 32000", normal([](AI_VQE_ATTR_S &a) { a.s32WorkSampleRate = 32000; }), kIllegal,
         "work sample rate: 32000 is invalid"},
        {"agc at 48000", normal([](AI_VQE_ATTR_S &a) { a.s32WorkSampleRate = 48000, a.bAgcOn = 1; }), kIllegal,
         "valid only for rnr hpf"},
        {"switch 2", normal([](AI_VQE_ATTR_S &a) { a.bHdrOn = 2; }), kIllegal, "hdr: 2 is invalid"},
        {"rnr with anr", normal([](AI_VQE_ATTR_S &a) { a.bRnrOn = a.bAnrOn = 1; }), kNotPerm,
         "cannot both be true at the same time"},
        {"all off", normal([](AI_VQE_ATTR_S &a) { a.bHpfOn = 0; }), kNotPerm, "is false, ai chn:0"},
        {"eq without agc", normal([](AI_VQE_ATTR_S &a) { a.bEqOn = 1; }), kNotPerm, " eq cannot be open when agc close"},
        {"agc target 0", normal([](AI_VQE_ATTR_S &a) { a.bAgcOn = 1, a.stAgcCfg.s8TargetLevel = 0; }), kIllegal,
         "s8TargetLevel: 0 [-40,-1]"},
        {"agc noise floor -66", normal([](AI_VQE_ATTR_S &a) { a.bAgcOn = 1, a.stAgcCfg.s8NoiseFloor = -66; }),
         kIllegal, "check vqe agc parameter failed"},
        {"agc max gain 31", normal([](AI_VQE_ATTR_S &a) { a.bAgcOn = 1, a.stAgcCfg.s8MaxGain = 31; }), kIllegal,
         "s8MaxGain: 31[0,30]"},
        {"agc high-pass 6", normal([](AI_VQE_ATTR_S &a) { a.bAgcOn = 1, a.stAgcCfg.s8UseHighPassFilt = 6; }),
         kIllegal, "s8UseHighPassFilt: 6 [0,5]"},
        {"hpf 100 Hz", normal([](AI_VQE_ATTR_S &a) { a.stHpfCfg.u32HpfFreq = 100; }), kIllegal,
         "hpf freq: 100 is invalid"},
        {"hpf user mode 2", normal([](AI_VQE_ATTR_S &a) { a.stHpfCfg.bUsrMode = 2; }), kIllegal, "bUsrMode: 2 error!"},
        {"anr intensity 26", normal([](AI_VQE_ATTR_S &a) { a.bAnrOn = 1, a.stAnrCfg.s16NrIntensity = 26; }),
         kIllegal, "Anr NrIntensity: 26 is invalid"},
        {"anr threshold 29", normal([](AI_VQE_ATTR_S &a) { a.bAnrOn = 1, a.stAnrCfg.s16NoiseDbThr = 29; }), kIllegal,
         "Anr NoiseDbThr: 29 is invalid"},
        {"rnr level 21", normal([](AI_VQE_ATTR_S &a) { a.bRnrOn = 1, a.stRnrCfg.s32MaxNrLevel = 21; }), kIllegal,
         "rnr MaxNrLevel: 21"},
        {"rnr threshold -81", normal([](AI_VQE_ATTR_S &a) { a.bRnrOn = 1, a.stRnrCfg.s32NoiseThresh = -81; }),
         kIllegal, "rnr NoiseThresh: -81"},
        {"rnr mode 1 at 48000",
         normal([](AI_VQE_ATTR_S &a) { a.s32WorkSampleRate = 48000, a.bRnrOn = 1, a.stRnrCfg.s32NrMode = 1; }),
         kIllegal, "NOT support WorkSampleRate(48000)"},
        {"hdr step 4", normal([](AI_VQE_ATTR_S &a) { a.bHdrOn = 1, a.stHdrCfg.s32MicGainStepdB = 4; }), kIllegal,
         "s32MicGainStepdB: 4 [1,3]"},
        {"hdr gain above max", normal([](AI_VQE_ATTR_S &a) { a.bHdrOn = 1, a.stHdrCfg.s32MicGaindB = 80; }),
         kIllegal, "s32MicGaindB: 80 [0,72]"},
        {"hdr no callback", normal([](AI_VQE_ATTR_S &a) { a.bHdrOn = 1, a.stHdrCfg.pcallback = nullptr; }),
         kIllegal, "check vqe Hdr parameter failed"},
        {"eq gain 21", normal([](AI_VQE_ATTR_S &a) { a.bAgcOn = a.bEqOn = 1, a.stEqCfg.s8GaindB[4] = 21; }),
         kIllegal, "eq s8GaindB[4]: 21[-100,20]"},
        {"aec cng 2", normal([](AI_VQE_ATTR_S &a) { a.bAecOn = 1, a.stAecCfg = {1, 2, 0, 0, 0, 1, 2, 1, 2, {1, 1, 1, 1, 1, 1}, {}, 1, 2, 0}; }),
         kIllegal, "s8CngMode: 2 [0,1]"},
        {"aec erl 19", normal([](AI_VQE_ATTR_S &a) { a.bAecOn = 1, a.stAecCfg = {1, 0, 0, 0, 0, 1, 2, 1, 2, {1, 1, 1, 1, 1, 1}, {0, 19}, 1, 2, 0}; }),
         kIllegal, "s16ERL[1]: 19 [0,18]"},
        {"aec band 128", normal([](AI_VQE_ATTR_S &a) { a.bAecOn = 1, a.stAecCfg = {1, 0, 0, 0, 0, 1, 128, 1, 2, {1, 1, 1, 1, 1, 1}, {}, 1, 2, 0}; }),
         kIllegal, "s16EchoBandHigh: 128 [1,127]"},
        {"aec bands falling", normal([](AI_VQE_ATTR_S &a) { a.bAecOn = 1, a.stAecCfg = {1, 0, 0, 0, 0, 1, 2, 1, 2, {1, 5, 4, 9, 20, 30}, {}, 1, 2, 0}; }),
         kIllegal, "s16ERLBand[2]: 4 < s16ERLBand[1]: 5"},
        {"aec low above high", normal([](AI_VQE_ATTR_S &a) { a.bAecOn = 1, a.stAecCfg = {1, 0, 0, 0, 0, 3, 2, 1, 2, {1, 1, 1, 1, 1, 1}, {}, 1, 2, 0}; }),
         kIllegal, "s16EchoBandHigh: 2 <= s16EchoBandLow: 3"},
        {"aec output device 1", [] {
             AI_VQE_ATTR_S a = vqe_attr(16000, 160);
             a.bAecOn = 1;
             return DU_DUZ_AI_SetVqeAttr(0, 0, 1, 0, &a);
         }, (s32)0xA0168001, "ao dev 1 is invalid"},
        {"hifi mask 0x20", hifi(0x20, [](AI_HIFIVQE_ATTR_S &) {}), kIllegal, "open effect exclude"},
        {"hifi mask 0", hifi(0, [](AI_HIFIVQE_ATTR_S &) {}), kIllegal, "all not open"},
        {"hifi at 16000", hifi(0x1F, [](AI_HIFIVQE_ATTR_S &a) { a.s32WorkSampleRate = 16000; }), kIllegal,
         "work sample rate: 16000 is invalid"},
        {"avc attack 19", hifi(AI_HIFIVQE_MASK_AVC, [](AI_HIFIVQE_ATTR_S &a) { a.stAvcCfg.s16AttackTime = 19; }),
         kIllegal, "s16AttackTime: 19 [20,2000]"},
        {"avc corner below start", hifi(AI_HIFIVQE_MASK_AVC, [](AI_HIFIVQE_ATTR_S &a) { a.stAvcCfg.s16StartLevel = -24; }),
         kIllegal, "should be greater than s16StartLevel(-24)"},
        {"avc target too low", hifi(AI_HIFIVQE_MASK_AVC, [](AI_HIFIVQE_ATTR_S &a) {
             a.stAvcCfg.s16CornerLevel = -20, a.stAvcCfg.s16TargetLevel = -16;
         }),
         kIllegal, "should be smaller than s16TargetLevel(-16)"},
        {"peq 11 bands", hifi(AI_HIFIVQE_MASK_PEQ, [](AI_HIFIVQE_ATTR_S &a) { a.stPeqCfg.u32BandNum = 11; }), kIllegal,
         "u32BandNum: 11 [1,10]"},
        {"peq type 5", hifi(AI_HIFIVQE_MASK_PEQ, [](AI_HIFIVQE_ATTR_S &a) { a.stPeqCfg.u8FilterType[0] = 5; }),
         kIllegal, "u8FilterType[0]: 5 [0,4]"},
        {"peq low-pass with gain", hifi(AI_HIFIVQE_MASK_PEQ, [](AI_HIFIVQE_ATTR_S &a) {
             a.stPeqCfg.u8FilterType[0] = 4, a.stPeqCfg.u16Frequency[0] = 8000, a.stPeqCfg.u16Q[0] = 7,
             a.stPeqCfg.s8GaindB[0] = 1;
         }), kIllegal, "s8GaindB[0]: 1 is not equal to 0, when u8FilterType[0]: 4"},
        {"peq peaking q 4", hifi(AI_HIFIVQE_MASK_PEQ, [](AI_HIFIVQE_ATTR_S &a) { a.stPeqCfg.u16Q[0] = 4; }), kIllegal,
         "u16Q[0]: 4 [5,100], when u8FilterType[0]: 2"},
        {"volume -21", [] { return DU_DUZ_AI_SetVqeVolume(0, 0, -21); }, kIllegal, "s32VolumeDb -21 is illegal!"},
        {"volume 11", [] { return DU_DUZ_AI_SetVqeVolume(0, 0, 11); }, kIllegal, "s32VolumeDb 11 is illegal!"},
        {"volume while off", [] { return DU_DUZ_AI_SetVqeVolume(0, 0, 0); }, kNotPerm, "is not config vqe!"},
    };
    // Every refusal leaves the channel's instance as it was; only the
    // device attributes are asked for.
    argrules::run(cases, argrules::device("/dev/ai", true, "ioctl /dev/ai 0x80245a02"));
    EXPECT_EQ(inst, ai_chn_record(0).pVqeHandle);
    EXPECT_FALSE(ai_chn_record(0).bVqeCfg);

    std::vector<argrules::Case> rates = {
        {"resample to 7000", [] { return DU_DUZ_AI_EnableReSmp(0, 0, 7000); }, (s32)0xA0158009, "not the same"},
        {"resample to the device rate", [] {
             DU_DUZ_AI_DisableReSmp(0, 0);
             return DU_DUZ_AI_EnableReSmp(0, 0, 16000);
         }, (s32)0xA0158009, "enInSampleRate is same as enOutSampleRate"},
        {"resample to 7000 with resampling off", [] { return DU_DUZ_AI_EnableReSmp(0, 0, 7000); }, kIllegal,
         "enOutSampleRate:7000 is invalid"},
    };
    // Judged by what they return and say: the second case turns the
    // resampling off first, which asks the device.
    argrules::Watch said;
    said.seen = [] { return size_t{0}; };
    argrules::run(rates, said);
    EXPECT_FALSE(ai_chn_record(0).bResmpEnable);
    stop();
}

TEST_F(AiVqeTest, TheSameAttributesTwiceCreateTheInstanceOnce)
{
    start(attr_of(16000, 160), 4);
    AI_VQE_ATTR_S a = vqe_attr(16000, 160);
    a.bHpfOn = a.bAgcOn = a.bEqOn = 1;
    a.stEqCfg.s8GaindB[3] = -6;
    a.bHdrOn = 1;
    a.stHdrCfg.bUsrMode = 0; // the setter fills in the defaults
    std::string first = testsupport::capture_stderr([&] { ASSERT_EQ(0, DU_DUZ_AI_SetVqeAttr(0, 0, 0, 0, &a)); });
    EXPECT_EQ(72, a.stHdrCfg.s32MaxGaindB);
    EXPECT_EQ(2, a.stHdrCfg.s32MicGainStepdB);
    EXPECT_EQ((VQE_HDR_CALLBACK_FN)DU_DUZ_AI_SetAcodecGain, a.stHdrCfg.pcallback);
    EXPECT_EQ(0u, loads(first)); // configured, every stage off
    UPVQE_INSTANCE_S *inst = ai_chn_record(0).pVqeHandle;
    std::string second = testsupport::capture_stderr([&] { ASSERT_EQ(0, DU_DUZ_AI_SetVqeAttr(0, 0, 0, 0, &a)); });
    EXPECT_EQ(inst, ai_chn_record(0).pVqeHandle);
    EXPECT_EQ("", second);

    // Read back as set; the HiFi read-back and a second setter refuse.
    AI_VQE_ATTR_S back = {};
    ASSERT_EQ(0, DU_DUZ_AI_GetVqeAttr(0, 0, &back));
    EXPECT_EQ(1u, back.bEqOn);
    EXPECT_EQ(-6, back.stEqCfg.s8GaindB[3]);
    EXPECT_EQ(150u, back.stHpfCfg.u32HpfFreq);
    AI_HIFIVQE_ATTR_S hifi;
    testsupport::capture_stderr([&] { EXPECT_EQ(kNotPerm, DU_DUZ_AI_GetHiFiVqeAttr(0, 0, &hifi)); });

    // Enabled, then off and on again without new attributes.
    std::string on = testsupport::capture_stderr([] { ASSERT_EQ(0, DU_DUZ_AI_EnableVqe(0, 0)); });
    EXPECT_EQ(4u, loads(on)); // HDR, HPF, AGC, EQ
    EXPECT_EQ(ai_bound_vqe(0).pVqeHandle, ai_chn_record(0).pVqeHandle);
    EXPECT_EQ(1u, ai_bound_vqe(0).bVqeEnable);
    testsupport::capture_stderr([&] {
        EXPECT_EQ(kNotPerm, DU_DUZ_AI_SetVqeAttr(0, 0, 0, 0, &a));
        EXPECT_EQ(0, DU_DUZ_AI_DisableVqe(0, 0));
        EXPECT_EQ(0, DU_DUZ_AI_EnableVqe(0, 0));
    });
    stop();
    EXPECT_EQ(nullptr, ai_bound_vqe(0).pVqeHandle);
    EXPECT_FALSE(ai_chn_record(0).bVqeCfg);
}

// ---- what the stages do to the microphone ---------------------------------------------------

// Processed capture, either pulled from the input unit or encoded to AAC by an
// encoder channel bound to it and decoded again.
enum class Path { pull, aac };

class AiStageTest : public AiVqeTest, public ::testing::WithParamInterface<Path> {
protected:
    Samples capture(double seconds)
    {
        if (GetParam() == Path::pull)
            return pull(seconds, 16000);
        EXPECT_EQ(0, DU_DUZ_AENC_AacInit());
        static AAC_ENC_CFG_S aac = {AAC_TYPE_AACLC, 64000, 16000, 1, 0};
        AENC_CHANNEL_CFG_S cfg = {PT_AAC, 1024, 30, &aac};
        EXPECT_EQ(0, DU_DUZ_AENC_CreateChn(0, &cfg));
        MPP_CHN_ADDR_S ai = {DU_ID_AI, 0, 0}, aenc = {DU_ID_AENC, 0, 0};
        EXPECT_EQ(0, DU_DUZ_SYS_Bind(&ai, &aenc));
        std::vector<std::vector<uint8_t>> packets;
        while (packets.size() < seconds * 16000 / 1024) {
            AENC_STREAM_OUT_S s;
            if (DU_DUZ_AENC_GetStream(0, &s, 3000) != 0) {
                ADD_FAILURE() << "no packet after " << packets.size();
                break;
            }
            packets.emplace_back(s.pStream, s.pStream + s.u32Len);
            EXPECT_EQ(0, DU_DUZ_AENC_ReleaseStream(0, &s));
        }
        EXPECT_EQ(0, DU_DUZ_SYS_UnBind(&ai, &aenc));
        EXPECT_EQ(0, DU_DUZ_AENC_DestroyChn(0));
        int rate = 0;
        Samples out;
        for (float v : audiocheck::decode_aac(packets, &rate))
            out.push_back(vqetest::clip(v * 32768.0));
        EXPECT_EQ(16000, rate);
        return out;
    }
};

class AiHumTest : public AiStageTest {
protected:
    AiHumTest() { conf_ = "audio = hum 50\n"; }
};

TEST_P(AiHumTest, HighPassRemovesMainsHumAndKeepsTheTone)
{
    start(attr_of(16000, 1024), 4);
    AI_VQE_ATTR_S a = vqe_attr(16000, 1024);
    a.bHpfOn = 1;
    enable_vqe(a);
    Samples x = capture(3);
    ASSERT_GE(x.size(), 40000u);
    // The board's hum and tone are both at -12 dBFS.
    size_t from = 16000, n = 16000;
    EXPECT_LE(vqetest::tone_db(x, from, n, 50, 16000), -12 - 17);
    EXPECT_NEAR(vqetest::tone_db(x, from, n, 1000, 16000), -12, 1);
    stop();
}

INSTANTIATE_TEST_SUITE_P(Paths, AiHumTest, ::testing::Values(Path::pull, Path::aac));

class AiNoiseTest : public AiStageTest {
protected:
    AiNoiseTest() { conf_ = "audio = noise -30\n"; }
};

TEST_P(AiNoiseTest, NoiseReductionLowersSteadyNoise)
{
    start(attr_of(16000, 1024), 4);
    AI_VQE_ATTR_S a = vqe_attr(16000, 1024);
    a.bAnrOn = 1;
    enable_vqe(a);
    Samples x = capture(3.5);
    ASSERT_GE(x.size(), 48000u);
    EXPECT_LE(vqetest::level_db(x, 32000, 16000), -30 - 10);
    stop();
}

INSTANTIATE_TEST_SUITE_P(Paths, AiNoiseTest, ::testing::Values(Path::pull, Path::aac));

class AiEchoTest : public AiVqeTest {
protected:
    AiEchoTest() { conf_ = "audio = silence\naudio.echo = 0.5 20\n"; }

    // Output channel 0 at the capture's rate, fed noise until stopped.
    void play_noise()
    {
        AIO_ATTR_S attr = attr_of(16000, 160);
        attr.u32FrmNum = 10;
        ASSERT_EQ(0, DU_DUZ_AO_SetPubAttr(0, &attr));
        ASSERT_EQ(0, DU_DUZ_AO_Enable(0));
        ASSERT_EQ(0, DU_DUZ_AO_EnableChn(0, 0));
        feeder_ = std::thread([this] {
            Samples noise = vqetest::noise(-20, 16000 * 30);
            for (size_t at = 0; run_ && at + 160 <= noise.size(); at += 160) {
                AUDIO_FRAME_S f = {};
                f.enBitwidth = 1;
                f.pVirAddr[0] = noise.data() + at;
                f.u32Len = 320;
                DU_DUZ_AO_SendFrame(0, 0, &f, 200);
            }
        });
    }

    void TearDown() override
    {
        run_ = false;
        if (feeder_.joinable())
            feeder_.join();
        DU_DUZ_AO_Disable(0); // the play clock stops with the device
        AiVqeTest::TearDown();
    }

    std::atomic<bool> run_{true};
    std::thread feeder_;
};

TEST_F(AiEchoTest, EchoCancellationRemovesWhatTheOutputPlays)
{
    start(attr_of(16000, 160), 8);
    play_noise();
    // The microphone hears the output 6 dB down, and reference frames carry
    // what was played over the same span.
    ASSERT_EQ(0, DU_DUZ_AI_EnableAecRefFrame(0, 0, 0, 0));
    Samples raw;
    for (int i = 0; i < 100; i++) {
        AUDIO_FRAME_S f;
        AEC_REF_FRAME_S ref;
        ASSERT_EQ(0, DU_DUZ_AI_GetFrame(0, 0, &f, &ref, 2000));
        if (i >= 50) {
            EXPECT_EQ(1u, ref.bValid);
            EXPECT_EQ(1u, ref.u32RefFlag);
            EXPECT_GE(ref.stRefFrame.u64TimeStamp, f.u64TimeStamp);
            EXPECT_LE(ref.stRefFrame.u64TimeStamp, f.u64TimeStamp + 119999);
            EXPECT_EQ(f.u32Len, ref.stRefFrame.u32Len);
            const s16 *s = static_cast<const s16 *>(f.pVirAddr[0]);
            raw.insert(raw.end(), s, s + f.u32Len / 2);
        }
        ASSERT_EQ(0, DU_DUZ_AI_ReleaseFrame(0, 0, &f, &ref));
    }
    EXPECT_NEAR(vqetest::level_db(raw, 0, raw.size()), -26, 1.5);
    ASSERT_EQ(0, DU_DUZ_AI_DisableAecRefFrame(0, 0));

    AI_VQE_ATTR_S a = vqe_attr(16000, 160);
    a.bAecOn = 1;
    enable_vqe(a, 0);
    Samples x = pull(4, 16000);
    ASSERT_GE(x.size(), 64000u);
    EXPECT_LE(vqetest::level_db(x, 32000, 32000), -26 - 15);
    stop();
}

TEST_F(AiEchoTest, EncoderFramesCarryTheReferenceToo)
{
    start(attr_of(16000, 160), 0);
    play_noise();
    ASSERT_EQ(0, DU_DUZ_AI_EnableAecRefFrame(0, 0, 0, 0));
    // The encoder driver's channel, fed by the capture without the unit's thread.
    int fd = bd_open("/dev/aenc", O_RDWR);
    ASSERT_GE(fd, 0);
    u32 chn = 5, word = 0;
    ASSERT_EQ(0, bd_ioctl(fd, AENC_BIND_CHN_CTRL, &chn));
    AENC_CHANNEL_CFG_S cfg = {PT_LPCM, 160, 10, &word};
    ASSERT_EQ(0, bd_ioctl(fd, AENC_CREATE_CHN_CTRL, &cfg));
    MPP_CHN_ADDR_S ai = {DU_ID_AI, 0, 0}, aenc = {DU_ID_AENC, 0, 5};
    ASSERT_EQ(0, DU_DUZ_SYS_Bind(&ai, &aenc));
    int with_ref = 0;
    for (int i = 0; i < 300 && with_ref < 20; i++) {
        AI_FRAME_REC_S rec;
        if (bd_ioctl(fd, AENC_GET_FRAME_CTRL, &rec) != 0) {
            usleep(5000);
            continue;
        }
        if (rec.stRefFrm.bValid == 1) {
            with_ref++;
            EXPECT_EQ(1u, rec.stRefFrm.u32RefFlag);
            EXPECT_GE(rec.stRefFrm.stRefFrame.u64TimeStamp, rec.stFrm.u64TimeStamp);
            EXPECT_LE(rec.stRefFrm.stRefFrame.u64TimeStamp, rec.stFrm.u64TimeStamp + 119999);
            EXPECT_EQ(rec.stFrm.u32Len, rec.stRefFrm.stRefFrame.u32Len);
        }
        EXPECT_EQ(0, bd_ioctl(fd, AENC_RELEASE_FRAME_CTRL, &rec));
    }
    EXPECT_EQ(20, with_ref);
    EXPECT_EQ(0, DU_DUZ_SYS_UnBind(&ai, &aenc));
    bd_ioctl(fd, AENC_DESTROY_CHN_CTRL, nullptr);
    bd_close(fd);
    stop();
}

class AiQuietTest : public AiVqeTest {
protected:
    AiQuietTest() { conf_ = "audio = noise -40\n"; }
};

TEST_F(AiQuietTest, CodecGainScalesTheMicrophoneAndHdrRaisesItForQuietSound)
{
    start(attr_of(16000, 320), 8); // HDR works on 320 samples at 16 kHz
    double at_0db = vqetest::level_db(pull(0.3, 16000), 0, 4800);
    ASSERT_EQ(0, DU_DUZ_AI_SetAcodecGain(10));
    pull(0.05, 16000); // frames captured before the change
    EXPECT_NEAR(vqetest::level_db(pull(0.3, 16000), 0, 4800) - at_0db, 10, 0.5);
    ASSERT_EQ(0, DU_DUZ_AI_SetAcodecGain(0));

    // HDR keeps stepping the gain up while the peaks stay quiet.
    AI_VQE_ATTR_S a = vqe_attr(16000, 320);
    a.bHdrOn = 1;
    a.stHdrCfg.bUsrMode = 0;
    enable_vqe(a);
    pull(3.5, 16000);
    u32 gain = 0;
    ASSERT_EQ(0, DU_DUZ_AI_GetAcodecGain(&gain));
    EXPECT_GE(gain, 4u);
    EXPECT_GT(vqetest::level_db(pull(0.3, 16000), 0, 4800), at_0db + 3);
    stop();
}

class AiNoRefTest : public AiVqeTest {
protected:
    AiNoRefTest() { conf_ = "audio = silence\n"; }
};

TEST_F(AiNoRefTest, WithoutReferencesFramesComeBackUnprocessedUpToTheFrameDepth)
{
    start(attr_of(16000, 160), 2);
    AI_VQE_ATTR_S a = vqe_attr(16000, 160);
    a.bAecOn = 1;
    enable_vqe(a, 3); // output channel 3 plays nothing
    for (int round = 0; round < 2; round++) {
        AUDIO_FRAME_S f[2];
        AEC_REF_FRAME_S ref[2];
        for (int i = 0; i < 2; i++) {
            ASSERT_EQ(0, DU_DUZ_AI_GetFrame(0, 0, &f[i], &ref[i], 2000));
            EXPECT_EQ(0u, ref[i].bValid);
            EXPECT_EQ(320u, f[i].u32Len);
        }
        AUDIO_FRAME_S third;
        AEC_REF_FRAME_S r;
        EXPECT_EQ(kNotPerm, DU_DUZ_AI_GetFrame(0, 0, &third, &r, 2000));
        for (int i = 0; i < 2; i++)
            EXPECT_EQ(0, DU_DUZ_AI_ReleaseFrame(0, 0, &f[i], &ref[i]));
    }
    // Echo cancellation needs somewhere to put the reference.
    AUDIO_FRAME_S f;
    EXPECT_EQ((s32)0xA0158006, DU_DUZ_AI_GetFrame(0, 0, &f, nullptr, 2000));
    stop();
}

// ---- the encoder's enhancement step on a bound input channel ------------------------------------

// An LPCM encoder channel bound to input channel 0, fed by the test alone:
// the capture keeps the channel's enhancement but delivers it nothing (the
// board's channel is switched off behind the unit's back), so every packet
// is one the test sent.
class AiEncoderStepTest : public AiVqeTest {
protected:
    AiEncoderStepTest() { conf_ = "audio = silence\n"; }

    void bind_encoder(u32 points)
    {
        u32 word = 0;
        AENC_CHANNEL_CFG_S cfg = {PT_LPCM, points, 8, &word};
        ASSERT_EQ(0, DU_DUZ_AENC_CreateChn(0, &cfg));
        MPP_CHN_ADDR_S ai = {DU_ID_AI, 0, 0}, aenc = {DU_ID_AENC, 0, 0};
        ASSERT_EQ(0, DU_DUZ_SYS_Bind(&ai, &aenc));
        int fd = bd_open("/dev/ai", O_RDWR);
        ASSERT_GE(fd, 0);
        u32 chn = 0;
        ASSERT_EQ(0, bd_ioctl(fd, AI_BIND_CHN_CTRL, &chn));
        ASSERT_EQ(0, bd_ioctl(fd, AI_DISABLE_CHN_CTRL, nullptr));
        bd_close(fd);
    }

    void unbind_encoder()
    {
        MPP_CHN_ADDR_S ai = {DU_ID_AI, 0, 0}, aenc = {DU_ID_AENC, 0, 0};
        EXPECT_EQ(0, DU_DUZ_SYS_UnBind(&ai, &aenc));
        EXPECT_EQ(0, DU_DUZ_AENC_DestroyChn(0));
    }

    // A frame of a 1 kHz tone at `rate`, stamped `pts`.
    AUDIO_FRAME_S frame(u32 rate, u32 points, u64 pts)
    {
        pcm_ = vqetest::tone((int)rate, 1000, -10, points);
        AUDIO_FRAME_S f = {};
        f.enBitwidth = 1;
        f.pVirAddr[0] = pcm_.data();
        f.u32Len = points * 2;
        f.u64TimeStamp = pts;
        return f;
    }

    // The next packet's samples; empty when there is none.
    Samples packet()
    {
        AENC_STREAM_OUT_S s;
        if (DU_DUZ_AENC_GetStream(0, &s, 0) != 0)
            return {};
        const s16 *p = reinterpret_cast<const s16 *>(s.pStream);
        Samples x(p, p + s.u32Len / 2);
        EXPECT_EQ(0, DU_DUZ_AENC_ReleaseStream(0, &s));
        return x;
    }

    Samples pcm_;
};

// Resampling up makes more samples than the encoder channel's frame: refused.
// Without a block of the input's resampling pool the frame cannot go on either.
TEST_F(AiEncoderStepTest, ResampledFramesNeedRoomAndABlock)
{
    start(attr_of(8000, 160), 4);
    testsupport::capture_stderr([] { ASSERT_EQ(0, DU_DUZ_AI_EnableReSmp(0, 0, 16000)); });
    bind_encoder(160);
    AUDIO_FRAME_S f = frame(8000, 160, 42);
    std::string err =
        testsupport::capture_stderr([&] { EXPECT_EQ((s32)0xA0178040, DU_DUZ_AENC_SendFrame(0, &f, nullptr)); });
    EXPECT_NE(std::string::npos, err.find("SamplePoint(320) is larger than aenc u32PtNumPerFrm(160)!\n")) << err;
    EXPECT_TRUE(packet().empty());
    unbind_encoder();

    bind_encoder(320);
    const u32 pool = ai_bound_vqe(0).u32ResmpPoolId;
    ASSERT_NE(VB_INVALID_POOLID, pool);
    std::vector<u32> held;
    for (u32 b; (b = DU_DUZ_VB_GetBlock(pool, AI_RESMP_POOL_BLK_SIZE, nullptr)) != VB_INVALID_HANDLE;)
        held.push_back(b);
    EXPECT_EQ(AI_RESMP_POOL_BLK_CNT, held.size());
    err = testsupport::capture_stderr([&] { EXPECT_EQ((s32)0xA017800C, DU_DUZ_AENC_SendFrame(0, &f, nullptr)); });
    EXPECT_NE(std::string::npos, err.find("get a resmp vb failed!\n")) << err;
    EXPECT_NE(std::string::npos, err.find("aenc0 get vb error\n")) << err;
    EXPECT_TRUE(packet().empty());
    for (u32 b : held)
        EXPECT_EQ(0, DU_DUZ_VB_ReleaseBlock(b));
    EXPECT_EQ(0, DU_DUZ_AENC_SendFrame(0, &f, nullptr));
    EXPECT_EQ(320u, packet().size()) << "16 kHz now";
    unbind_encoder();
    stop();
}

// A frame's size is judged by the resampling of the input bound now: once
// the binding is gone, a frame larger than the channel's is refused, not
// let through on the resampling of the input bound before.
TEST_F(AiEncoderStepTest, AFrameIsJudgedByTheInputBoundNow)
{
    start(attr_of(8000, 160), 4);
    testsupport::capture_stderr([] { ASSERT_EQ(0, DU_DUZ_AI_EnableReSmp(0, 0, 16000)); });
    bind_encoder(320);
    AUDIO_FRAME_S f = frame(8000, 160, 42);
    EXPECT_EQ(0, DU_DUZ_AENC_SendFrame(0, &f, nullptr));
    EXPECT_EQ(320u, packet().size());
    MPP_CHN_ADDR_S ai = {DU_ID_AI, 0, 0}, aenc = {DU_ID_AENC, 0, 0};
    ASSERT_EQ(0, DU_DUZ_SYS_UnBind(&ai, &aenc));
    AUDIO_FRAME_S big = frame(8000, 400, 43);
    testsupport::capture_stderr([&] { EXPECT_EQ(DU_ERR_AENC_NOT_PERM, DU_DUZ_AENC_SendFrame(0, &big, nullptr)); });
    EXPECT_TRUE(packet().empty());
    EXPECT_EQ(0, DU_DUZ_AENC_DestroyChn(0));
    stop();
}

// With echo cancellation on, a reference belongs to its frame when it starts
// with it or at most 119999 us later; any other goes to the encoder as it
// came, unprocessed.
TEST_F(AiEncoderStepTest, AReferenceOfAnotherSpanLeavesTheFrameUnprocessed)
{
    start(attr_of(16000, 160), 4);
    AI_VQE_ATTR_S a = vqe_attr(16000, 160);
    a.bAecOn = 1;
    enable_vqe(a);
    bind_encoder(160);
    Samples played = vqetest::noise(-20, 160, 3);
    struct Case {
        const char *name;
        s64 ref_after_us;
        bool processed;
    } cases[] = {
        {"a microsecond early", -1, false}, {"the same span", 0, true},
        {"119999 us late", 119999, true},   {"120000 us late", 120000, false},
    };
    const u64 pts = 10000000;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AUDIO_FRAME_S f = frame(16000, 160, pts);
        AEC_REF_FRAME_S ref = {};
        ref.bValid = 1;
        ref.u32RefFlag = 1;
        ref.stRefFrame.enBitwidth = 1;
        ref.stRefFrame.pVirAddr[0] = played.data();
        ref.stRefFrame.u32Len = 320;
        ref.stRefFrame.u64TimeStamp = (u64)((s64)pts + c.ref_after_us);
        const Samples sent = pcm_;
        ASSERT_EQ(0, DU_DUZ_AENC_SendFrame(0, &f, &ref));
        Samples got = packet();
        ASSERT_EQ(160u, got.size());
        EXPECT_EQ(!c.processed, got == sent);
    }
    unbind_encoder();
    stop();
}

// The encoder's dumps of the step: the input as it came, what the chain made
// of it and the reference beside it, widened when it came in 8 bits.
TEST_F(AiEncoderStepTest, DumpsHoldTheInputTheOutputAndTheReference)
{
    start(attr_of(16000, 160), 4);
    AI_VQE_ATTR_S a = vqe_attr(16000, 160);
    a.bAecOn = 1;
    enable_vqe(a);
    const Samples played = vqetest::noise(-20, 160, 3);
    std::vector<u8> narrow(160);
    Samples widened(160);
    for (size_t i = 0; i < 160; i++) {
        narrow[i] = (u8)(played[i] >> 8);
        widened[i] = (s16)(narrow[i] << 8);
    }
    struct Case {
        const char *name;
        u32 bit_width;
        const void *ref;
        u32 len;
        const Samples &dumped;
    } cases[] = {
        {"16-bit reference", 1, played.data(), 320, played},
        {"8-bit reference", 0, narrow.data(), 160, widened},
    };
    auto dump = [](const char *kind) {
        std::string b = testsupport::read_file(bd_path(std::string("/") + kind + "_Dev0_Chn0_step.pcm"));
        const s16 *p = reinterpret_cast<const s16 *>(b.data());
        return Samples(p, p + b.size() / 2);
    };
    const u64 pts = 10000000;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        bind_encoder(160);
        AUDIO_SAVE_FILE_INFO_S info = {};
        info.bCfg = 1;
        strcpy(info.aFileName, "step");
        info.u32FileSize = 1024;
        ASSERT_EQ(0, DU_DUZ_AENC_SaveFile(0, &info));
        AUDIO_FRAME_S f = frame(16000, 160, pts);
        AEC_REF_FRAME_S ref = {};
        ref.bValid = 1;
        ref.u32RefFlag = 1;
        ref.stRefFrame.enBitwidth = c.bit_width;
        ref.stRefFrame.pVirAddr[0] = const_cast<void *>(c.ref);
        ref.stRefFrame.u32Len = c.len;
        ref.stRefFrame.u64TimeStamp = pts;
        const Samples sent = pcm_;
        ASSERT_EQ(0, DU_DUZ_AENC_SendFrame(0, &f, &ref));
        Samples got = packet();
        ASSERT_EQ(160u, got.size());
        EXPECT_NE(sent, got);
        unbind_encoder(); // the channel's end closes its dumps
        EXPECT_EQ(sent, dump("Sin"));
        EXPECT_EQ(got, dump("Sou"));
        EXPECT_EQ(c.dumped, dump("Rin"));
    }
    stop();
}

// What the input's enhancement cannot run on, and echo cancellation and
// reference frames, which both want the output's played samples.
TEST_F(AiVqeTest, SwitchesTheInputCannotServeAreRefused)
{
    struct Case {
        const char *name;
        u32 bit_width;
        void (*setup)();
        s32 (*call)();
        s32 code;
        const char *message;
    } cases[] = {
        {"enhancement on 8 bit", 0,
         [] {
             AI_VQE_ATTR_S a = vqe_attr(16000, 160);
             a.bHpfOn = 1;
             testsupport::capture_stderr([&] { ASSERT_EQ(0, DU_DUZ_AI_SetVqeAttr(0, 0, 0, 0, &a)); });
         },
         [] { return DU_DUZ_AI_EnableVqe(0, 0); }, (s32)0xA0158008, "vqe don't support 8 bit!"},
        {"resampling on 8 bit", 0, [] {}, [] { return DU_DUZ_AI_EnableReSmp(0, 0, 8000); }, (s32)0xA0158008,
         "resample don't support 8 bit!"},
        {"echo cancellation beside reference frames", 1,
         [] {
             AI_VQE_ATTR_S a = vqe_attr(16000, 160);
             a.bAecOn = 1;
             testsupport::capture_stderr([&] { ASSERT_EQ(0, DU_DUZ_AI_SetVqeAttr(0, 0, 0, 0, &a)); });
             ASSERT_EQ(0, DU_DUZ_AI_EnableAecRefFrame(0, 0, 0, 1));
         },
         [] { return DU_DUZ_AI_EnableVqe(0, 0); }, (s32)0xA0158008,
         "Aec do not support open when aec reference frame is enable, ai chn:0"},
        {"reference frames beside echo cancellation", 1,
         [] {
             AI_VQE_ATTR_S a = vqe_attr(16000, 160);
             a.bAecOn = 1;
             testsupport::capture_stderr([&] {
                 ASSERT_EQ(0, DU_DUZ_AI_SetVqeAttr(0, 0, 0, 0, &a));
                 ASSERT_EQ(0, DU_DUZ_AI_EnableVqe(0, 0));
             });
         },
         [] { return DU_DUZ_AI_EnableAecRefFrame(0, 0, 0, 1); }, (s32)0xA0158008,
         "This mpi do not support when aec open. chn:0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AIO_ATTR_S attr = attr_of(16000, 160);
        attr.enBitwidth = c.bit_width;
        start(attr, 4);
        c.setup();
        s32 ret = 0;
        std::string err = testsupport::capture_stderr([&] { ret = c.call(); });
        EXPECT_EQ(c.code, ret);
        EXPECT_NE(std::string::npos, err.find(c.message)) << err;
        EXPECT_FALSE(ai_chn_record(0).bResmpEnable);
        DU_DUZ_AI_DisableAecRefFrame(0, 0);
        testsupport::capture_stderr([] { DU_DUZ_AI_DisableVqe(0, 0); });
        stop();
    }
}

TEST_F(AiVqeTest, VolumeScalesTheEnhancedOutput)
{
    start(attr_of(16000, 160), 8);
    AI_VQE_ATTR_S a = vqe_attr(16000, 160);
    a.bHpfOn = 1;
    a.stHpfCfg.u32HpfFreq = 80;
    enable_vqe(a);
    Samples before = pull(0.5, 16000);
    testsupport::capture_stderr([] { ASSERT_EQ(0, DU_DUZ_AI_SetVqeVolume(0, 0, -6)); });
    s32 vol = 0;
    EXPECT_EQ(0, DU_DUZ_AI_GetVqeVolume(0, 0, &vol));
    EXPECT_EQ(-6, vol);
    pull(0.1, 16000); // the step glides over one frame
    Samples after = pull(0.5, 16000);
    double ratio = pow(10, (vqetest::tone_db(after, 0, 8000, 1000, 16000) -
                            vqetest::tone_db(before, 4000, 4000, 1000, 16000)) / 20);
    EXPECT_NEAR(ratio, 0.501, 0.005);
    stop();
}

} // namespace
