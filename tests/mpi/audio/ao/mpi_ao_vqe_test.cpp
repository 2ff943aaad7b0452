// The audio output unit's resampling, enhancement, compressor, buffer clear
// and save files, judged by what the board plays into its WAV file.
#include <chrono>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "board/sim/audio/audio.h"
#include "tests/mpi/audio/audio_fixture.h"
#include "tests/mpi/audio/vqe/vqe_signal.h"

namespace {

using vqetest::Samples;

AIO_ATTR_S attr_of(u32 rate, u32 points, u32 frames = 30) { return {rate, 1, 0, 0, 1, frames, points, 1, 1}; }

class AoVqeTest : public AudioTest {
protected:
    void TearDown() override
    {
        DU_DUZ_AO_Disable(0); // the play clock stops with the device
        AudioTest::TearDown();
    }

    void start(AIO_ATTR_S attr)
    {
        ASSERT_EQ(0, DU_DUZ_AO_SetPubAttr(0, &attr));
        ASSERT_EQ(0, DU_DUZ_AO_Enable(0));
        ASSERT_EQ(0, DU_DUZ_AO_EnableChn(0, 0));
    }

    // Sends `x` in frames of `frame` samples, each waiting for room.
    void send(const Samples &x, u32 frame)
    {
        for (size_t at = 0; at + frame <= x.size(); at += frame) {
            AUDIO_FRAME_S f = {};
            f.enBitwidth = 1;
            f.pVirAddr[0] = const_cast<s16 *>(x.data() + at);
            f.u32Len = frame * 2;
            ASSERT_EQ(0, DU_DUZ_AO_SendFrame(0, 0, &f, -1));
        }
    }

    // What channel 0 played once its queue ran empty (the channel is then
    // disabled, which closes the WAV file).
    Samples played()
    {
        for (int i = 0; i < 300; i++) {
            AO_CHN_STATE_S st;
            if (DU_DUZ_AO_QueryChnStat(0, 0, &st) != 0 || st.u32ChnBusyNum == 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        testsupport::capture_stderr([] { EXPECT_EQ(0, DU_DUZ_AO_DisableChn(0, 0)); });
        sim::audio::WavData wav;
        std::string why;
        EXPECT_TRUE(sim::audio::wav_read(root_ + "/ao_dev0_chn0.wav", wav, why)) << why;
        return wav.samples;
    }
};

TEST_F(AoVqeTest, ResampledFramesPlayAtTheDeviceRate)
{
    start(attr_of(48000, 1024));
    testsupport::capture_stderr([] { ASSERT_EQ(0, DU_DUZ_AO_EnableReSmp(0, 0, 8000)); });
    Samples in = vqetest::tone(8000, 1000, -6, 160 * 100);
    send(in, 160);
    Samples out = played();
    EXPECT_NEAR((double)out.size(), 6.0 * in.size(), 1024);
    EXPECT_NEAR(vqetest::frequency(out, 4800, out.size() - 9600, 48000), 1000, 2);
    EXPECT_NEAR(vqetest::tone_db(out, 4800, 48000, 1000, 48000), -6, 0.5);
}

TEST_F(AoVqeTest, RefusedSwitchesKeepTheChannelPlain)
{
    start(attr_of(48000, 1024));
    AO_VQE_ATTR_S eq_only = {0, 0, 0, 1, 16000, 160, 0, {}, {}, {}, {}};
    AO_VQE_ATTR_S none = {0, 0, 0, 0, 16000, 160, 0, {}, {}, {}, {}};
    AO_MBC_ATTR_S mbc = {1, 16000, 80, 0, {}};
    mbc.stMbcCfg.u32BandNum = 1;
    struct Case {
        const char *name;
        std::function<s32()> call;
        s32 code;
        const char *message;
    } cases[] = {
        {"resample from the device rate", [] { return DU_DUZ_AO_EnableReSmp(0, 0, 48000); }, (s32)0xA0168009,
         "resample out rate is the same"},
        {"resample from 7000", [] { return DU_DUZ_AO_EnableReSmp(0, 0, 7000); }, (s32)0xA0168003, "is illegal!"},
        {"eq without agc", [&] { return DU_DUZ_AO_SetVqeAttr(0, 0, &eq_only); }, (s32)0xA0168009,
         " eq cannot be open when agc close, , ao chn:0"},
        {"nothing on", [&] { return DU_DUZ_AO_SetVqeAttr(0, 0, &none); }, (s32)0xA0168009, "is false, ao chn:0"},
        {"mbc frame 80", [&] { return DU_DUZ_AO_EnableMBC(0, 0, &mbc); }, (s32)0xA0168003, "frame length: 80"},
        {"vqe not configured", [] { return DU_DUZ_AO_EnableVqe(0, 0); }, (s32)0xA0168007, "is not config vqe attr"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string err = testsupport::capture_stderr([&] { EXPECT_EQ((u32)c.code, (u32)c.call()); });
        EXPECT_NE(std::string::npos, err.find(c.message)) << err;
    }
    EXPECT_EQ(nullptr, s_astAoChn[0].pDnVqeHandle);
    EXPECT_FALSE(s_astAoChn[0].bResmpEnable || s_astAoChn[0].bVqeCfg || s_astAoChn[0].bMbcEnable);
}

// The instance works on track 0 in 16 bit: on a stereo device the compressor
// would leave the right track as it was, on an 8-bit one it would read the
// bytes as 16-bit samples. Both are refused, and the channel stays plain.
TEST_F(AoVqeTest, TheCompressorRefusesDevicesItWouldGarble)
{
    struct Case {
        const char *name;
        u32 sound_mode, bit_width;
        s32 code;
        const char *message;
    } cases[] = {
        {"stereo", 1, 1, (s32)0xA0168003, "MBC don't support stereo!"},
        {"8 bit", 0, 0, (s32)0xA0168008, "MBC don't support 8 bit!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AIO_ATTR_S attr = attr_of(16000, 160);
        attr.enSoundmode = c.sound_mode;
        attr.enBitwidth = c.bit_width;
        start(attr);
        AO_MBC_ATTR_S mbc = {1, 16000, 160, 0, {}};
        mbc.stMbcCfg.u32BandNum = 1;
        std::string err = testsupport::capture_stderr([&] { EXPECT_EQ(c.code, DU_DUZ_AO_EnableMBC(0, 0, &mbc)); });
        EXPECT_NE(std::string::npos, err.find(c.message)) << err;
        EXPECT_EQ(nullptr, s_astAoChn[0].pDnVqeHandle);
        EXPECT_FALSE(s_astAoChn[0].bMbcEnable);
        ASSERT_EQ(0, DU_DUZ_AO_DisableChn(0, 0));
        ASSERT_EQ(0, DU_DUZ_AO_Disable(0));
    }
}

TEST_F(AoVqeTest, EnhancementHighPassTakesTheHumOut)
{
    start(attr_of(16000, 160));
    AO_VQE_ATTR_S a = {1, 0, 0, 0, 16000, 160, 0, {1, 150}, {}, {}, {}};
    testsupport::capture_stderr([&] {
        ASSERT_EQ(0, DU_DUZ_AO_SetVqeAttr(0, 0, &a));
        ASSERT_EQ(0, DU_DUZ_AO_SetVqeAttr(0, 0, &a)); // unchanged: no rebuild
        ASSERT_EQ(0, DU_DUZ_AO_EnableVqe(0, 0));
    });
    AO_VQE_ATTR_S back = {};
    ASSERT_EQ(0, DU_DUZ_AO_GetVqeAttr(0, 0, &back));
    EXPECT_EQ(1u, back.bHpfOpen);
    EXPECT_EQ(150u, back.stHpfCfg.u32HpfFreq);
    Samples in = vqetest::mix(vqetest::tone(16000, 50, -12, 32000), vqetest::tone(16000, 1000, -12, 32000));
    send(in, 160);
    Samples out = played();
    ASSERT_GE(out.size(), 30000u);
    EXPECT_LE(vqetest::tone_db(out, 8000, 16000, 50, 16000), -12 - 17);
    EXPECT_NEAR(vqetest::tone_db(out, 8000, 16000, 1000, 16000), -12, 1);
}

TEST_F(AoVqeTest, CompressorTurnsALoudToneDown)
{
    start(attr_of(16000, 160));
    AO_MBC_ATTR_S mbc = {1, 16000, 160, 0, {}};
    mbc.stMbcCfg.bUsrMode = 1;
    mbc.stMbcCfg.astBand[0] = {-30, 40, 5, 100, 0}; // above -30 dBFS: 4 dB in, 1 dB out
    mbc.stMbcCfg.u32BandNum = 1;
    testsupport::capture_stderr([&] { ASSERT_EQ(0, DU_DUZ_AO_EnableMBC(0, 0, &mbc)); });
    send(vqetest::tone(16000, 1000, -6, 32000), 160);
    Samples out = played();
    ASSERT_GE(out.size(), 30000u);
    // 24 dB over the threshold come out as 6.
    EXPECT_NEAR(vqetest::tone_db(out, 8000, 16000, 1000, 16000), -24, 2);
}

TEST_F(AoVqeTest, ClearingEmptiesTheQueue)
{
    start(attr_of(16000, 160, 20));
    testsupport::capture_stderr([] { ASSERT_EQ(0, DU_DUZ_AO_EnableReSmp(0, 0, 8000)); });
    Samples in = vqetest::tone(8000, 1000, -6, 80 * 60);
    for (size_t at = 0; at + 80 <= in.size(); at += 80) {
        AUDIO_FRAME_S f = {};
        f.enBitwidth = 1;
        f.pVirAddr[0] = in.data() + at;
        f.u32Len = 160;
        DU_DUZ_AO_SendFrame(0, 0, &f, 0);
    }
    AO_CHN_STATE_S st;
    ASSERT_EQ(0, DU_DUZ_AO_QueryChnStat(0, 0, &st));
    EXPECT_GT(st.u32ChnBusyNum, 5u);
    testsupport::capture_stderr([] { ASSERT_EQ(0, DU_DUZ_AO_ClearChnBuf(0, 0)); });
    ASSERT_EQ(0, DU_DUZ_AO_QueryChnStat(0, 0, &st));
    EXPECT_EQ(0u, st.u32ChnBusyNum);
    EXPECT_EQ(s_astAoChn[0].stCirBuf[0].u32Read, s_astAoChn[0].stCirBuf[0].u32Write);
    EXPECT_FALSE(s_astAoChn[0].stCirBuf[0].bWriteJump);
    EXPECT_NE(nullptr, s_astAoChn[0].pDnVqeHandle); // made anew, still resampling
}

// Whether this process holds `path` open.
bool held_open(const std::string &path)
{
    DIR *d = opendir("/proc/self/fd");
    bool found = false;
    while (dirent *e = d ? readdir(d) : nullptr) {
        char link[4096];
        ssize_t n = readlinkat(dirfd(d), e->d_name, link, sizeof link - 1);
        if (n > 0 && std::string(link, n) == path)
            found = true;
    }
    if (d)
        closedir(d);
    return found;
}

TEST_F(AoVqeTest, SaveFilesHoldTheEnhancementsInputAndOutput)
{
    start(attr_of(16000, 160));
    AO_VQE_ATTR_S a = {1, 0, 0, 0, 16000, 160, 0, {1, 120}, {}, {}, {}};
    testsupport::capture_stderr([&] {
        ASSERT_EQ(0, DU_DUZ_AO_EnableReSmp(0, 0, 8000));
        ASSERT_EQ(0, DU_DUZ_AO_SetVqeAttr(0, 0, &a));
    });
    AUDIO_SAVE_FILE_INFO_S rec = {1, "/dump", "t", 4};
    ASSERT_EQ(0, bd_system("mkdir /dump"));
    ASSERT_EQ(0, DU_DUZ_AO_SaveFile(0, 0, &rec));
    Samples in = vqetest::tone(8000, 500, -6, 8000);
    send(Samples(in.begin(), in.begin() + 1600), 80); // enhancement off: nothing saved
    const std::string sin = root_ + "/dump/Sin_AoDev0_Chn0_8K_t.pcm", sou = root_ + "/dump/Sou_AoDev0_Chn0_16K_t.pcm";
    EXPECT_EQ("", testsupport::read_file(sin));
    testsupport::capture_stderr([] { ASSERT_EQ(0, DU_DUZ_AO_EnableVqe(0, 0)); });
    send(in, 80);
    // The output (twice the input's rate) reaches the 4 KB first, within a
    // frame; both files end there and the record goes off.
    EXPECT_GE(testsupport::read_file(sou).size(), 4096u);
    EXPECT_LE(testsupport::read_file(sou).size(), 4096u + 2 * 320);
    EXPECT_NEAR((double)testsupport::read_file(sin).size(), testsupport::read_file(sou).size() / 2.0, 320);
    EXPECT_FALSE(held_open(sin));
    EXPECT_FALSE(s_astAoChn[0].stSaveFileInfo.bCfg);
    EXPECT_EQ(1u, s_astAoChn[0].stSaveFileInfo.u32FileSize);

    // A large record stays open until the channel goes off.
    rec.u32FileSize = 1024;
    ASSERT_EQ(0, DU_DUZ_AO_SaveFile(0, 0, &rec));
    send(Samples(in.begin(), in.begin() + 800), 80);
    EXPECT_TRUE(held_open(sou));
    testsupport::capture_stderr([] { EXPECT_EQ(0, DU_DUZ_AO_DisableChn(0, 0)); });
    EXPECT_FALSE(held_open(sou));
    EXPECT_FALSE(held_open(sin));
}

} // namespace
