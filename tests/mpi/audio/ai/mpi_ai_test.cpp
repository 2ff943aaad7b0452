// The audio input unit's plain path: argument checks, device and channel
// states, frames pulled from the capture clock and what the board plays.
#include <cmath>
#include <vector>

#include "board/sim/audio/audio.h"
#include "tests/mpi/audio/audio_check.h"
#include "tests/mpi/audio/audio_fixture.h"
#include "tests/support/arg_rules.h"

namespace {

constexpr s32 kIllegal = (s32)0xA0158003;

class AiTest : public AudioTest {
protected:
    void start(u32 depth = 5)
    {
        AIO_ATTR_S attr = audiotest::camera_attr();
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

    // `n` frames' samples of channel 0, pulled and released.
    std::vector<float> pull(int n, std::vector<u64> *stamps = nullptr, u32 *first_seq = nullptr)
    {
        std::vector<float> x;
        for (int i = 0; i < n; i++) {
            AUDIO_FRAME_S f;
            AEC_REF_FRAME_S ref;
            EXPECT_EQ(0, DU_DUZ_AI_GetFrame(0, 0, &f, &ref, 2000));
            EXPECT_EQ(0u, ref.bValid);
            EXPECT_EQ(2048u, f.u32Len);
            EXPECT_EQ(0u, f.enSoundmode);
            if (!f.pVirAddr[0])
                return x;
            const s16 *s = static_cast<const s16 *>(f.pVirAddr[0]);
            x.insert(x.end(), s, s + f.u32Len / 2);
            if (stamps)
                stamps->push_back(f.u64TimeStamp);
            if (first_seq && i == 0)
                *first_seq = f.u32Seq;
            EXPECT_EQ(0, DU_DUZ_AI_ReleaseFrame(0, 0, &f, &ref));
        }
        return x;
    }
};

class AiTraceTest : public AiTest {
protected:
    AiTraceTest() { conf_ = "trace = 1\n"; }
};

TEST_F(AiTraceTest, RefusedArgumentsReachNoDevice)
{
    ASSERT_GT(DU_DUZ_AI_GetFd(0, 0), 0); // channel 0's node is open: what follows is all checks
    AUDIO_FRAME_S f = {};
    AIO_ATTR_S attr = audiotest::camera_attr();
    AI_VQE_ATTR_S vqe = {};
    AI_HIFIVQE_ATTR_S hifi = {};
    std::vector<argrules::Case> cases = {
        {"device 1", [&] { return DU_DUZ_AI_SetPubAttr(1, &attr); }, (s32)0xA0158001, "ai dev 1 is invalid\n"},
        {"channel 16", [&] { return DU_DUZ_AI_GetFrame(0, 16, &f, nullptr, 0); }, (s32)0xA0158002,
         "ai chnid 16 is invalid\n"},
        {"channel -1", [&] { return DU_DUZ_AI_EnableChn(0, -1); }, (s32)0xA0158002, "ai chnid -1 is invalid\n"},
        {"no frame", [&] { return DU_DUZ_AI_GetFrame(0, 0, nullptr, nullptr, 0); }, (s32)0xA0158006, ""},
        {"wait -2", [&] { return DU_DUZ_AI_GetFrame(0, 1, &f, nullptr, -2); }, kIllegal,
         "s32MilliSec(-2) can not be lower than -1.\n"},
        {"no attributes", [&] { return DU_DUZ_AI_SetPubAttr(0, nullptr); }, (s32)0xA0158006, ""},
        {"release: no frame", [&] { return DU_DUZ_AI_ReleaseFrame(0, 0, nullptr, nullptr); }, (s32)0xA0158006, ""},
        {"channel parameter: null", [&] { return DU_DUZ_AI_GetChnParam(0, 0, nullptr); }, (s32)0xA0158006, ""},
        {"track mode 8", [&] { return DU_DUZ_AI_SetTrackMode(0, 8); }, kIllegal, "illegal param: enTrackMode(8)!\n"},
        {"clock direction 2", [&] { return DU_DUZ_AI_SetClkDir(0, 2); }, kIllegal, "illegal param: enClkDir(2)!\n"},
        {"codec gain: null", [&] { return DU_DUZ_AI_GetAcodecGain(nullptr); }, (s32)0xA0158006, ""},
        {"save file: null", [&] { return DU_DUZ_AI_SaveFile(0, 0, nullptr); }, (s32)0xA0158006, ""},
        {"resampling of a disabled channel", [&] { return DU_DUZ_AI_EnableReSmp(0, 0, 8000); }, (s32)0xA0158005,
         "AI chn 0 is not enable\n"},
        {"enhancement of a disabled channel", [&] { return DU_DUZ_AI_EnableVqe(0, 0); }, (s32)0xA0158005,
         "AI chn 0 is not enable\n"},
        // A missing record is refused before the channel's state is looked at;
        // only the switches that start something need an enabled channel.
        {"resampling off on a disabled channel", [&] { return DU_DUZ_AI_DisableReSmp(0, 0); }, (s32)0xA0158005,
         "AI chn 0 is not enable\n"},
        {"attributes of a disabled channel", [&] { return DU_DUZ_AI_SetVqeAttr(0, 0, 0, 0, &vqe); }, (s32)0xA0158005,
         "AI chn 0 is not enable\n"},
        {"HiFi attributes of a disabled channel", [&] { return DU_DUZ_AI_SetHiFiVqeAttr(0, 0, &hifi); },
         (s32)0xA0158005, "AI chn 0 is not enable\n"},
        {"attributes: null", [&] { return DU_DUZ_AI_SetVqeAttr(0, 0, 0, 0, nullptr); }, (s32)0xA0158006, ""},
        {"HiFi attributes: null", [&] { return DU_DUZ_AI_SetHiFiVqeAttr(0, 0, nullptr); }, (s32)0xA0158006, ""},
        {"attribute read-back: null", [&] { return DU_DUZ_AI_GetVqeAttr(0, 0, nullptr); }, (s32)0xA0158006, ""},
        {"HiFi read-back: null", [&] { return DU_DUZ_AI_GetHiFiVqeAttr(0, 0, nullptr); }, (s32)0xA0158006, ""},
        {"volume read-back: null", [&] { return DU_DUZ_AI_GetVqeVolume(0, 0, nullptr); }, (s32)0xA0158006, ""},
        {"enhancement off on a disabled channel", [&] { return DU_DUZ_AI_DisableVqe(0, 0); }, 0, ""},
        {"reference frames off on a disabled channel", [&] { return DU_DUZ_AI_DisableAecRefFrame(0, 0); }, 0, ""},
        {"disable a disabled channel", [&] { return DU_DUZ_AI_DisableChn(0, 0); }, 0, ""},
    };
    argrules::run(cases, argrules::device("/dev/ai"));
}

TEST_F(AiTraceTest, EnablingAChannelTwiceAsksTheDriverOnce)
{
    start();
    ASSERT_EQ(0, DU_DUZ_AI_EnableChn(0, 0));
    EXPECT_EQ(1u, testsupport::events("ioctl /dev/ai 0x00005a0c").size());
    stop();
    EXPECT_EQ(0, DU_DUZ_AI_DisableChn(0, 0));
    EXPECT_EQ(1u, testsupport::events("ioctl /dev/ai 0x00005a0d").size());
}

TEST_F(AiTest, PulledFramesCarryTheToneOnePerFrameTime)
{
    start();
    std::vector<u64> stamps;
    std::vector<float> x = pull(20, &stamps);
    ASSERT_EQ(20u * 1024, x.size());
    for (float &v : x)
        v /= 32768;
    EXPECT_NEAR(audiocheck::dominant_hz(x, 0, x.size(), 48000), 1000, 10);
    EXPECT_NEAR(audiocheck::rms(x, 0, x.size()), 0.5 / sqrt(2), 0.01);
    for (size_t i = 1; i < stamps.size(); i++)
        EXPECT_NEAR((double)(stamps[i] - stamps[i - 1]), 21333.3, 1.0);
    stop();
}

TEST_F(AiTest, TrackModeAndDeviceControlsReachTheDriver)
{
    start();
    u32 mode = 0, dir = 9, gain = 0;
    EXPECT_EQ(0, DU_DUZ_AI_SetTrackMode(0, 2));
    EXPECT_EQ(0, DU_DUZ_AI_GetTrackMode(0, &mode));
    EXPECT_EQ(2u, mode);
    EXPECT_EQ(0, DU_DUZ_AI_SetClkDir(0, 1));
    EXPECT_EQ(0, DU_DUZ_AI_GetClkDir(0, &dir));
    EXPECT_EQ(1u, dir);
    EXPECT_EQ(0, DU_DUZ_AI_SetAcodecGain(12));
    EXPECT_EQ(kIllegal, DU_DUZ_AI_SetAcodecGain(121)); // beyond the codec's range
    EXPECT_EQ(0, DU_DUZ_AI_GetAcodecGain(&gain));
    EXPECT_EQ(12u, gain);
    AIO_ATTR_S back = {};
    EXPECT_EQ(0, DU_DUZ_AI_GetPubAttr(0, &back));
    EXPECT_EQ(1024u, back.u32PtNumPerFrm);
    // Switching off what was never on is fine.
    EXPECT_EQ(0, DU_DUZ_AI_DisableReSmp(0, 0));
    EXPECT_EQ(0, DU_DUZ_AI_DisableVqe(0, 0));
    stop();
}

// The codec's left input is the microphone (the board's 1 kHz tone at
// -6 dBFS), its right input the line input with nothing plugged in: the track
// mode says what each track of the capture takes. The camera's input path
// preference picks mode 1 (the microphone) or 2 (the line input).
TEST_F(AiTest, TrackModeSaysWhatTheCaptureTakes)
{
    const double tone = 0.5 / sqrt(2), half = tone / 2;
    struct Case {
        u32 mode;
        bool stereo;
        double left, right; // RMS of the tracks, full scale 1
    } cases[] = {
        {0, false, tone, 0}, {1, false, tone, 0}, {2, false, 0, 0},      {0, true, tone, 0},   {1, true, tone, tone},
        {2, true, 0, 0},     {3, true, 0, tone},  {4, true, half, half}, {5, true, 0, 0},      {6, true, tone, 0},
        {7, true, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + (c.stereo ? " stereo" : " mono"));
        AIO_ATTR_S attr = audiotest::camera_attr();
        attr.enSoundmode = c.stereo ? 1 : 0;
        ASSERT_EQ(0, DU_DUZ_AI_SetPubAttr(0, &attr));
        ASSERT_EQ(0, DU_DUZ_AI_SetTrackMode(0, c.mode));
        ASSERT_EQ(0, DU_DUZ_AI_Enable(0));
        ASSERT_EQ(0, DU_DUZ_AI_EnableChn(0, 0));
        AI_CHN_PARAM_S param = {5};
        ASSERT_EQ(0, DU_DUZ_AI_SetChnParam(0, 0, &param));
        std::vector<float> track[2];
        for (int i = 0; i < 4; i++) {
            AUDIO_FRAME_S f;
            ASSERT_EQ(0, DU_DUZ_AI_GetFrame(0, 0, &f, nullptr, 2000));
            ASSERT_EQ(attr.enSoundmode, f.enSoundmode);
            for (u32 t = 0; t <= f.enSoundmode; t++) {
                const s16 *x = static_cast<const s16 *>(f.pVirAddr[t]);
                for (u32 k = 0; k < f.u32Len / 2; k++)
                    track[t].push_back(x[k] / 32768.0f);
            }
            ASSERT_EQ(0, DU_DUZ_AI_ReleaseFrame(0, 0, &f, nullptr));
        }
        EXPECT_NEAR(c.left, audiocheck::rms(track[0], 0, track[0].size()), 0.005);
        if (c.stereo) {
            EXPECT_NEAR(c.right, audiocheck::rms(track[1], 0, track[1].size()), 0.005);
        }
        stop();
    }
    EXPECT_EQ(kIllegal, DU_DUZ_AI_SetTrackMode(0, 8));
}

TEST_F(AiTest, DeviceStaysEnabledWhileAFrameIsHeld)
{
    start();
    AUDIO_FRAME_S f;
    ASSERT_EQ(0, DU_DUZ_AI_GetFrame(0, 0, &f, nullptr, 2000));
    ASSERT_EQ(0, DU_DUZ_AI_DisableChn(0, 0));
    std::string err = testsupport::capture_stderr([&] { EXPECT_EQ((s32)0xA0018012, DU_DUZ_AI_Disable(0)); });
    EXPECT_NE(std::string::npos, err.find("is used by some modules!")) << err;
    // Still enabled: its pool is still mapped and the channel comes back.
    ASSERT_EQ(0, DU_DUZ_AI_ReleaseFrame(0, 0, &f, nullptr));
    EXPECT_EQ(kIllegal, DU_DUZ_AI_ReleaseFrame(0, 0, &f, nullptr)); // released once only
    ASSERT_EQ(0, DU_DUZ_AI_EnableChn(0, 0));
    EXPECT_EQ(20u * 1024, pull(20).size());
    stop();
}

TEST_F(AiTest, WithoutAFrameDepthNothingIsKeptForPulling)
{
    start(0);
    AUDIO_FRAME_S f;
    std::string err = testsupport::capture_stderr([&] {
        EXPECT_EQ((s32)0xA0158009, DU_DUZ_AI_GetFrame(0, 0, &f, nullptr, 100));
        stop();
        // A disabled device hands out nothing either.
        EXPECT_EQ((s32)0xA0158005, DU_DUZ_AI_GetFrame(0, 0, &f, nullptr, 0));
    });
    EXPECT_NE(std::string::npos, err.find("get ai frame error!\n"));
}

TEST_F(AiTest, AttributesMustBeSetBeforeEnabling)
{
    std::string err = testsupport::capture_stderr([] { EXPECT_EQ((s32)0xA0158007, DU_DUZ_AI_Enable(0)); });
    AIO_ATTR_S bad = audiotest::camera_attr();
    bad.enSamplerate = 47000;
    EXPECT_EQ(kIllegal, DU_DUZ_AI_SetPubAttr(0, &bad));
    AIO_ATTR_S back;
    EXPECT_EQ((s32)0xA0158007, DU_DUZ_AI_GetPubAttr(0, &back));
}

class AiSilenceTest : public AiTest {
protected:
    AiSilenceTest() { conf_ = "audio = silence\n"; }
};

TEST_F(AiSilenceTest, SilenceIsAllZero)
{
    start();
    std::vector<float> x = pull(5);
    ASSERT_EQ(5u * 1024, x.size());
    EXPECT_EQ(0.0, audiocheck::rms(x, 0, x.size()));
    stop();
}

class AiFileTest : public AiTest {
protected:
    void SetUp() override
    {
        // A 440 Hz WAV in the board's root, named relative to it.
        std::string dir = testsupport::fresh_root("wav");
        sim::audio::WavWriter w;
        ASSERT_TRUE(w.open(dir + "/sound.wav", 48000, 1, 16));
        std::vector<s16> pcm(48000);
        for (size_t i = 0; i < pcm.size(); i++)
            pcm[i] = (s16)lrint(10000 * sin(2 * M_PI * 440 * i / 48000.0));
        w.write(pcm.data(), pcm.size() * 2);
        w.close();
        conf_ = "audio = file " + dir + "/sound.wav\n";
        AiTest::SetUp();
    }
};

TEST_F(AiFileTest, AWavFileIsCapturedAsItIs)
{
    start();
    u32 seq = 0;
    std::vector<float> x = pull(10, nullptr, &seq);
    ASSERT_EQ(10u * 1024, x.size());
    // Sample n of the capture is sample n of the file, looping.
    for (size_t i = 0; i < x.size(); i += 97) {
        size_t n = (seq * 1024 + i) % 48000;
        ASSERT_EQ((s16)lrint(10000 * sin(2 * M_PI * 440 * n / 48000.0)), (s16)x[i]) << i;
    }
    stop();
}

} // namespace
