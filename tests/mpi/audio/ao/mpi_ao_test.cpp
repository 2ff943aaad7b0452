// The audio output unit: argument checks, the circle buffers, frames played
// from a caller and from a bound capture channel into the board's WAV file.
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "board/sim/audio/audio.h"
#include "mpi/audio/ao/ao_requests.h"
#include "mpi/audio/comm/audio_cirbuf.h"
#include "tests/mpi/audio/audio_check.h"
#include "tests/mpi/audio/audio_fixture.h"
#include "tests/support/arg_rules.h"

namespace {

constexpr s32 kIllegal = (s32)0xA0168003;

std::vector<s16> tone(double hz, u32 at, u32 n)
{
    std::vector<s16> v(n);
    for (u32 i = 0; i < n; i++)
        v[i] = (s16)lrint(9000 * sin(2 * M_PI * hz * (at + i) / 48000.0));
    return v;
}

AUDIO_FRAME_S frame_of(std::vector<s16> &left, std::vector<s16> *right = nullptr)
{
    AUDIO_FRAME_S f = {};
    f.enBitwidth = 1;
    f.enSoundmode = right ? 1 : 0;
    f.pVirAddr[0] = left.data();
    f.pVirAddr[1] = right ? right->data() : nullptr;
    f.u32Len = (u32)left.size() * 2;
    return f;
}

// Samples of a WAV file the board wrote, interleaved.
std::vector<s16> wav_samples(const std::string &path, unsigned *channels = nullptr)
{
    sim::audio::WavData wav;
    std::string why;
    if (!sim::audio::wav_read(path, wav, why))
        return {};
    if (channels)
        *channels = wav.channels;
    return wav.samples;
}

class AoTest : public AudioTest {
protected:
    void start(AIO_ATTR_S attr, u32 chns = 1)
    {
        ASSERT_EQ(0, DU_DUZ_AO_SetPubAttr(0, &attr));
        ASSERT_EQ(0, DU_DUZ_AO_Enable(0));
        for (u32 c = 0; c < chns; c++)
            ASSERT_EQ(0, DU_DUZ_AO_EnableChn(0, c));
    }

    // Waits (bounded) until the driver has played what it holds.
    void wait_played(s32 chn)
    {
        for (int i = 0; i < 300; i++) {
            AO_CHN_STATE_S st;
            ASSERT_EQ(0, DU_DUZ_AO_QueryChnStat(0, chn, &st));
            if (st.u32ChnBusyNum == 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        FAIL() << "the output never played its queue";
    }

    std::string wav(s32 chn) { return root_ + "/ao_dev0_chn" + std::to_string(chn) + ".wav"; }
};

class AoTraceTest : public AoTest {
protected:
    AoTraceTest() { conf_ = "trace = 1\n"; }
};

TEST_F(AoTraceTest, RefusedArgumentsReachNoDevice)
{
    ASSERT_GT(DU_DUZ_AO_GetFd(0, 0), 0); // opens channel 0's node: what follows is all checks
    std::vector<s16> pcm = tone(1000, 0, 1024);
    AUDIO_FRAME_S f = frame_of(pcm);
    AO_VQE_ATTR_S vqe = {};
    AO_MBC_ATTR_S mbc = {};
    std::vector<argrules::Case> cases = {
        {"device 1", [&] { return DU_DUZ_AO_Enable(1); }, (s32)0xA0168001, "ao dev 1 is invalid\n"},
        {"channel 16", [&] { return DU_DUZ_AO_EnableChn(0, 16); }, (s32)0xA0168002, "ao chnid 16 is invalid\n"},
        {"channel -1", [&] { return DU_DUZ_AO_SendFrame(0, -1, &f, 0); }, (s32)0xA0168002, "ao chnid -1 is invalid\n"},
        {"attributes null", [&] { return DU_DUZ_AO_SetPubAttr(0, nullptr); }, (s32)0xA0168006,
         "the AIO_ATTR_S pointer for AoDev0 is NULL!\n"},
        {"send: wait -2", [&] { return DU_DUZ_AO_SendFrame(0, 0, &f, -2); }, kIllegal,
         "s32MilliSec(-2) can not be lower than -1.\n"},
        {"send: no frame", [&] { return DU_DUZ_AO_SendFrame(0, 0, nullptr, 0); }, (s32)0xA0168006,
         "the AUDIO_FRAME_S pointer for is Ao(0, 0) NULL!\n"},
        {"send: channel not enabled", [&] { return DU_DUZ_AO_SendFrame(0, 0, &f, 0); }, (s32)0xA0168005,
         "AO chn 0 is not enable\n"},
        {"state: null", [&] { return DU_DUZ_AO_QueryChnStat(0, 0, nullptr); }, (s32)0xA0168006,
         "the AO_CHN_STATE_S pointer for AoDev0 is NULL!\n"},
        {"volume: null", [&] { return DU_DUZ_AO_GetVolume(0, nullptr); }, (s32)0xA0168006,
         "the ps32VolumeDb pointer for Ao0 is NULL!\n"},
        {"mute: both null", [&] { return DU_DUZ_AO_GetMute(0, nullptr, nullptr); }, (s32)0xA0168006,
         "Both pbEnable and pstFade pointer for  AoDev0 are NULL!\n"},
        {"track mode: null", [&] { return DU_DUZ_AO_GetTrackMode(0, nullptr); }, (s32)0xA0168006,
         "the penTrackMode pointer for AoDev0 is NULL!\n"},
        {"clock direction 2", [&] { return DU_DUZ_AO_SetClkDir(0, 2); }, kIllegal, "illegal param: enClkDir(2)!\n"},
        {"resampling of a disabled channel", [&] { return DU_DUZ_AO_EnableReSmp(0, 0, 8000); }, (s32)0xA0168005,
         "AO chn 0 is not enable\n"},
        // A missing record is refused before the channel's state is looked at;
        // only the switches that start something need an enabled channel.
        {"enhancement of a disabled channel", [&] { return DU_DUZ_AO_EnableVqe(0, 0); }, (s32)0xA0168005,
         "AO chn 0 is not enable\n"},
        {"attributes of a disabled channel", [&] { return DU_DUZ_AO_SetVqeAttr(0, 0, &vqe); }, (s32)0xA0168005,
         "AO chn 0 is not enable\n"},
        {"compressor of a disabled channel", [&] { return DU_DUZ_AO_EnableMBC(0, 0, &mbc); }, (s32)0xA0168005,
         "AO chn 0 is not enable\n"},
        {"attributes: null", [&] { return DU_DUZ_AO_SetVqeAttr(0, 0, nullptr); }, (s32)0xA0168006, ""},
        {"compressor: null", [&] { return DU_DUZ_AO_EnableMBC(0, 0, nullptr); }, (s32)0xA0168006, ""},
        {"attribute read-back: null", [&] { return DU_DUZ_AO_GetVqeAttr(0, 0, nullptr); }, (s32)0xA0168006, ""},
        {"save file: null", [&] { return DU_DUZ_AO_SaveFile(0, 0, nullptr); }, (s32)0xA0168006, ""},
        {"enhancement off on a disabled channel", [&] { return DU_DUZ_AO_DisableVqe(0, 0); }, 0, ""},
        {"compressor off on a disabled channel", [&] { return DU_DUZ_AO_DisableMBC(0, 0); }, 0, ""},
        {"disable a disabled channel", [&] { return DU_DUZ_AO_DisableChn(0, 0); }, 0, ""},
    };
    argrules::run(cases, argrules::device("/dev/ao"));
}

TEST_F(AoTraceTest, FramesTheDeviceCannotPlayAreRefusedBeforeBuffering)
{
    AIO_ATTR_S stereo = audiotest::camera_attr();
    stereo.enSoundmode = 1;
    start(stereo);
    std::vector<s16> none, big = tone(1000, 0, 4097), ok = tone(1000, 0, 1024);
    AUDIO_FRAME_S empty = frame_of(none), too_big = frame_of(big, &big), mono = frame_of(ok),
                  eight = frame_of(ok, &ok), no_right = frame_of(ok, &ok);
    eight.enBitwidth = 0;
    no_right.pVirAddr[1] = nullptr;
    struct Case {
        const char *name;
        AUDIO_FRAME_S *frame;
        const char *message;
    };
    const Case cases[] = {
        {"no samples", &empty, "PointNum of input frame is:0, it's big than MAX_AO_POINT_NUM:4096, or small than 0\n"},
        {"4097 samples", &too_big, "PointNum of input frame is:4097"},
        {"mono frame on a stereo device", &mono, "don't match AoDev0's sound mode 1"},
        {"8-bit frame on a 16-bit device", &eight, "don't match AoDev0's sound mode 1"},
        {"stereo frame without its right track", &no_right, "don't match AoDev0's sound mode 1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string err = testsupport::capture_stderr([&] { EXPECT_EQ(kIllegal, DU_DUZ_AO_SendFrame(0, 0, c.frame, 0)); });
        EXPECT_NE(std::string::npos, err.find(c.message)) << err;
    }
    EXPECT_EQ(0u, testsupport::events("ioctl /dev/ao 0xc0785805").size()); // nothing handed over
    EXPECT_EQ(0u, s_astAoChn[0].stCirBuf[0].u32Write);                    // nor buffered
    EXPECT_EQ(0u, s_astAoChn[0].stCirBuf[1].u32Write);
}

TEST_F(AoTraceTest, HalfFramesWaitForAWholeDeviceFrame)
{
    start(audiotest::camera_attr());
    const std::string handover = "ioctl /dev/ao 0xc0785805";
    std::vector<s16> half = tone(1000, 0, 512);
    AUDIO_FRAME_S f = frame_of(half);
    ASSERT_EQ(0, DU_DUZ_AO_SendFrame(0, 0, &f, -1));
    EXPECT_EQ(0u, testsupport::events(handover).size());
    // The half that completes a device frame sends it in the same call:
    // waiting for a later call would leave a stream's last frame unplayed.
    ASSERT_EQ(0, DU_DUZ_AO_SendFrame(0, 0, &f, -1));
    EXPECT_EQ(1u, testsupport::events(handover).size());
    // Enabling again changes nothing and asks the kernel nothing.
    ASSERT_EQ(0, DU_DUZ_AO_EnableChn(0, 0));
    EXPECT_EQ(1u, testsupport::events("ioctl /dev/ao 0x00005806").size());
}

TEST(AoCircleBuffer, SixteenDeviceFramesFillATrack)
{
    std::vector<u8> mem(AO_CIRBUF_SIZE);
    AO_CIR_BUF_S b = {0, mem.data(), AO_CIRBUF_SIZE, 0, 0, DU_FALSE};
    std::vector<u8> frame(2048);
    for (int i = 0; i < 16; i++) {
        memset(frame.data(), i, frame.size());
        ASSERT_TRUE(cirbuf_put(b, frame.data(), 2048)) << i;
    }
    // Full: read equals write with the jump flag set, and a 17th frame has no room.
    EXPECT_EQ(b.u32Read, b.u32Write);
    EXPECT_EQ(DU_TRUE, b.bWriteJump);
    EXPECT_FALSE(cirbuf_has_room(b, 2048));
    testsupport::capture_stderr([&] { EXPECT_FALSE(cirbuf_put(b, frame.data(), 2048)); });
    for (int i = 0; i < 16; i++) {
        ASSERT_TRUE(cirbuf_has_data(b, 2048));
        std::vector<u8> out(2048);
        cirbuf_peek(b, out.data(), 2048);
        EXPECT_EQ(i, out[0]);
        EXPECT_EQ(i, out[2047]);
        cirbuf_take(b, 2048);
    }
    // Empty: equal again with the flag clear.
    EXPECT_EQ(b.u32Read, b.u32Write);
    EXPECT_EQ(DU_FALSE, b.bWriteJump);
    EXPECT_FALSE(cirbuf_has_data(b, 1));
}

TEST(AoCircleBuffer, DataWrapsAroundTheEnd)
{
    std::vector<u8> mem(10);
    AO_CIR_BUF_S b = {0, mem.data(), 10, 0, 0, DU_FALSE};
    const u8 a[6] = {1, 2, 3, 4, 5, 6}, c[7] = {7, 8, 9, 10, 11, 12, 13};
    ASSERT_TRUE(cirbuf_put(b, a, 6));
    cirbuf_take(b, 4); // 5, 6 left at 4..5
    ASSERT_TRUE(cirbuf_has_room(b, 8));
    EXPECT_FALSE(cirbuf_has_room(b, 9));
    ASSERT_TRUE(cirbuf_put(b, c, 7)); // 6..9, then 0..2
    EXPECT_EQ(3u, b.u32Write);
    EXPECT_EQ(DU_TRUE, b.bWriteJump);
    u8 out[9];
    ASSERT_TRUE(cirbuf_has_data(b, 9));
    EXPECT_FALSE(cirbuf_has_data(b, 10));
    cirbuf_peek(b, out, 9);
    const u8 want[9] = {5, 6, 7, 8, 9, 10, 11, 12, 13};
    EXPECT_EQ(0, memcmp(out, want, 9));
    cirbuf_take(b, 9);
    EXPECT_EQ(3u, b.u32Read);
    EXPECT_EQ(DU_FALSE, b.bWriteJump);
}

TEST_F(AoTest, SentFramesArePlayedIntoTheWavFileAsTheyWere)
{
    start(audiotest::camera_attr());
    std::vector<s16> sent;
    for (u32 i = 0; i < 47; i++) { // a second of sound, more than the driver's queue holds
        std::vector<s16> pcm = tone(1000, i * 1024, 1024);
        sent.insert(sent.end(), pcm.begin(), pcm.end());
        AUDIO_FRAME_S f = frame_of(pcm);
        ASSERT_EQ(0, DU_DUZ_AO_SendFrame(0, 0, &f, -1)) << i;
    }
    wait_played(0);
    ASSERT_EQ(0, DU_DUZ_AO_DisableChn(0, 0));
    ASSERT_EQ(0, DU_DUZ_AO_Disable(0));
    unsigned channels = 0;
    std::vector<s16> played = wav_samples(wav(0), &channels);
    EXPECT_EQ(1u, channels);
    EXPECT_TRUE(played == sent) << played.size() << " samples played of " << sent.size();
}

TEST_F(AoTest, StereoFramesKeepTheirTracks)
{
    AIO_ATTR_S stereo = audiotest::camera_attr();
    stereo.enSoundmode = 1;
    start(stereo);
    std::vector<s16> left = tone(1000, 0, 1024), right = tone(3000, 0, 1024);
    for (int i = 0; i < 3; i++) {
        AUDIO_FRAME_S f = frame_of(left, &right);
        ASSERT_EQ(0, DU_DUZ_AO_SendFrame(0, 0, &f, -1));
    }
    wait_played(0);
    ASSERT_EQ(0, DU_DUZ_AO_DisableChn(0, 0));
    unsigned channels = 0;
    std::vector<s16> played = wav_samples(wav(0), &channels);
    ASSERT_EQ(2u, channels);
    ASSERT_EQ(3u * 2048, played.size());
    for (u32 i = 0; i < 1024; i++) {
        ASSERT_EQ(left[i], played[2 * i]) << i;
        ASSERT_EQ(right[i], played[2 * i + 1]) << i;
    }
}

// The device's track mode, volume and mute act on what is played: a stereo
// frame of 1 kHz on the left and 3 kHz on the right comes out of the speaker
// (the WAV file) as each setting says, to the sample.
TEST_F(AoTest, TrackModeVolumeAndMuteShapeWhatIsPlayed)
{
    AIO_ATTR_S stereo = audiotest::camera_attr();
    stereo.enSoundmode = 1;
    start(stereo);
    std::vector<s16> left = tone(1000, 0, 1024), right = tone(3000, 0, 1024);
    struct Case {
        const char *name;
        u32 mode;
        s32 volume_db;
        u32 mute;
        double (*l)(double l, double r);
        double (*r)(double l, double r);
    } cases[] = {
        {"as sent", 0, 0, 0, [](double l, double) { return l; }, [](double, double r) { return r; }},
        {"-20 dB", 0, -20, 0, [](double l, double) { return l / 10; }, [](double, double r) { return r / 10; }},
        {"+6 dB", 0, 6, 0, [](double l, double) { return l * 1.99526231; }, [](double, double r) { return r * 1.99526231; }},
        {"muted", 0, 0, 1, [](double, double) { return 0.0; }, [](double, double) { return 0.0; }},
        {"muted at -20 dB", 0, -20, 1, [](double, double) { return 0.0; }, [](double, double) { return 0.0; }},
        {"both left", 1, 0, 0, [](double l, double) { return l; }, [](double l, double) { return l; }},
        {"both right", 2, 0, 0, [](double, double r) { return r; }, [](double, double r) { return r; }},
        {"exchanged", 3, 0, 0, [](double, double r) { return r; }, [](double l, double) { return l; }},
        {"mixed, -20 dB", 4, -20, 0, [](double l, double r) { return (l + r) / 20; },
         [](double l, double r) { return (l + r) / 20; }},
        {"left muted", 5, 0, 0, [](double, double) { return 0.0; }, [](double, double r) { return r; }},
        {"right muted", 6, 0, 0, [](double l, double) { return l; }, [](double, double) { return 0.0; }},
        {"both muted", 7, 0, 0, [](double, double) { return 0.0; }, [](double, double) { return 0.0; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0, DU_DUZ_AO_SetTrackMode(0, c.mode));
        ASSERT_EQ(0, DU_DUZ_AO_SetVolume(0, c.volume_db));
        ASSERT_EQ(0, DU_DUZ_AO_SetMute(0, c.mute, nullptr));
        ASSERT_EQ(0, DU_DUZ_AO_EnableChn(0, 0)); // a fresh file
        for (int i = 0; i < 3; i++) {
            AUDIO_FRAME_S f = frame_of(left, &right);
            ASSERT_EQ(0, DU_DUZ_AO_SendFrame(0, 0, &f, -1));
        }
        wait_played(0);
        ASSERT_EQ(0, DU_DUZ_AO_DisableChn(0, 0));
        std::vector<s16> played = wav_samples(wav(0));
        ASSERT_EQ(3u * 2048, played.size());
        for (u32 i = 0; i < 1024; i++) {
            ASSERT_NEAR(c.l(left[i], right[i]), played[2 * i], 0.5) << i;
            ASSERT_NEAR(c.r(left[i], right[i]), played[2 * i + 1], 0.5) << i;
        }
    }
    // What the output stage has not.
    EXPECT_EQ(kIllegal, DU_DUZ_AO_SetVolume(0, 7));
    EXPECT_EQ(kIllegal, DU_DUZ_AO_SetVolume(0, -122));
    EXPECT_EQ(kIllegal, DU_DUZ_AO_SetTrackMode(0, 8));
    s32 volume = 0;
    u32 mode = 9;
    EXPECT_EQ(0, DU_DUZ_AO_GetVolume(0, &volume));
    EXPECT_EQ(0, DU_DUZ_AO_GetTrackMode(0, &mode));
    EXPECT_EQ(0, volume);
    EXPECT_EQ(7u, mode);
}

// Muting with a fade takes the sound down over the fade-out time (rate 7:
// 2^7 ms) from where the mute came, not at once.
TEST_F(AoTest, AFadedMuteGlidesToSilence)
{
    start(audiotest::camera_attr());
    for (u32 i = 0; i < 16; i++) {
        std::vector<s16> pcm(1024, 8000);
        AUDIO_FRAME_S f = frame_of(pcm);
        ASSERT_EQ(0, DU_DUZ_AO_SendFrame(0, 0, &f, -1));
    }
    const AUDIO_FADE_S fade = {1, 7, 7};
    ASSERT_EQ(0, DU_DUZ_AO_SetMute(0, 1, &fade));
    wait_played(0);
    ASSERT_EQ(0, DU_DUZ_AO_DisableChn(0, 0));
    std::vector<s16> played = wav_samples(wav(0));
    ASSERT_EQ(16u * 1024, played.size());
    size_t from = 0;
    while (from < played.size() && played[from] == 8000)
        from++;
    const size_t fade_samples = 48000 * 128 / 1000;
    ASSERT_LT(from + fade_samples, played.size()) << "the fade began with the frames queued";
    for (size_t i = from + 1; i < played.size(); i++)
        ASSERT_LE(played[i], played[i - 1]) << i;
    EXPECT_NEAR(4000, played[from + fade_samples / 2], 10) << "half way down";
    EXPECT_EQ(0, played[from + fade_samples]) << "silent once the fade is over";
    u32 muted = 0;
    AUDIO_FADE_S back = {};
    EXPECT_EQ(0, DU_DUZ_AO_GetMute(0, &muted, &back));
    EXPECT_EQ(1u, muted);
    EXPECT_EQ(7u, back.enFadeOutRate);
}

TEST_F(AoTest, WithoutWaitingAFullBufferRefusesAndKeepsWhatItHolds)
{
    AIO_ATTR_S attr = audiotest::camera_attr();
    attr.u32FrmNum = 2; // a short queue in the driver
    start(attr);
    std::vector<s16> pcm = tone(1000, 0, 1024);
    AUDIO_FRAME_S f = frame_of(pcm);
    int accepted = 0;
    s32 ret = 0;
    for (int i = 0; i < 60 && ret == 0; i++) {
        ret = DU_DUZ_AO_SendFrame(0, 0, &f, 0);
        accepted += ret == 0;
    }
    // The driver holds two frames and the circle buffer sixteen; the rest is
    // what the play clock took meanwhile.
    EXPECT_EQ((s32)0xA016800F, ret);
    EXPECT_GE(accepted, 18);
    EXPECT_EQ(s_astAoChn[0].stCirBuf[0].u32Read, s_astAoChn[0].stCirBuf[0].u32Write);
    EXPECT_EQ(DU_TRUE, s_astAoChn[0].stCirBuf[0].bWriteJump);
}

// The camera's road: capture bound to both output channels.
TEST_F(AoTest, BoundCaptureIsPlayedOnEveryBoundChannel)
{
    AIO_ATTR_S in = audiotest::camera_attr(), out = audiotest::camera_attr(2);
    ASSERT_EQ(0, DU_DUZ_AI_SetPubAttr(0, &in));
    ASSERT_EQ(0, DU_DUZ_AI_Enable(0));
    ASSERT_EQ(0, DU_DUZ_AI_EnableChn(0, 0));
    start(out, 2);
    MPP_CHN_ADDR_S ai = {DU_ID_AI, 0, 0}, ao0 = {DU_ID_AO, 0, 0}, ao1 = {DU_ID_AO, 0, 1};
    ASSERT_EQ(0, DU_DUZ_SYS_Bind(&ai, &ao0));
    ASSERT_EQ(0, DU_DUZ_SYS_Bind(&ai, &ao1));
    for (int i = 0; i < 300 && (wav_samples(wav(0)).size() < 24000 || wav_samples(wav(1)).size() < 24000); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(0, DU_DUZ_SYS_UnBind(&ai, &ao0));
    EXPECT_EQ(0, DU_DUZ_SYS_UnBind(&ai, &ao1));
    for (s32 c = 0; c < 2; c++) {
        SCOPED_TRACE(c);
        EXPECT_EQ(0, DU_DUZ_AO_DisableChn(0, c));
        std::vector<s16> played = wav_samples(wav(c));
        ASSERT_GE(played.size(), 24000u);
        std::vector<float> x(played.begin(), played.end());
        EXPECT_NEAR(audiocheck::dominant_hz(x, 0, 16384, 48000), 1000, 10);
    }
    EXPECT_EQ(0, DU_DUZ_AO_Disable(0));
    EXPECT_EQ(0, DU_DUZ_AI_DisableChn(0, 0));
    EXPECT_EQ(0, DU_DUZ_AI_Disable(0));
}

} // namespace
