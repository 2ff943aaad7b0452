// Audio capture of the record modes on the simulated board: the codec's
// request sequence, the audio road up and down with its binds, the audio
// thread queueing AAC packets while a recording runs, and the audio ring.
#include "recorder/dv_audio.h"

#include "app/pref.h"
#include "board/tlv320aic31_requests.h"
#include "core/rec_state.h"
#include "mpi/audio/aac/audio_aac_dec_adp.h"
#include "mpi/audio/aenc/aenc_requests.h"
#include "mpi/audio/ai/mpi_ai.h"
#include "mpi/video/sys/sys_requests.h"
#include "mpi/video/vb/vb_requests.h"
#include "recorder/dv_config.h"
#include "recorder/dv_pipeline.h"
#include "tests/mpi/audio/audio_fixture.h"
#include "tests/recorder/pipeline_support.h"

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using pipelinetest::wait_for;
using testsupport::capture_stdout;

// One request the codec's driver took, from events.log.
struct CodecReq {
    unsigned req = 0, ctrl = 0, level = 0, a = 0, b = 0, master = 0, data = 0, rate = 0;
};

// The requests after the first `skip`.
std::vector<CodecReq> codec_requests(size_t skip = 0)
{
    std::vector<CodecReq> out;
    std::vector<std::string> lines = testsupport::events("tlv320 req");
    for (size_t i = skip; i < lines.size(); i++) {
        const std::string &line = lines[i];
        CodecReq r;
        const char *at = strstr(line.c_str(), "req ");
        if (at && sscanf(at, "req %x ctrl %x level %u a %u b %u master %u data %u rate %u", &r.req, &r.ctrl,
                         &r.level, &r.a, &r.b, &r.master, &r.data, &r.rate) == 8)
            out.push_back(r);
    }
    return out;
}

const CodecReq *find(const std::vector<CodecReq> &all, unsigned req)
{
    for (const CodecReq &r : all)
        if (r.req == req)
            return &r;
    return nullptr;
}

class DvAudio : public AudioTest {
protected:
    void SetUp() override
    {
        AudioTest::SetUp();
        saved_pref_ = app_pref_user;
        app_pref_user = &pref_;
        aud_cfg.u32Level = 2;
        u32RecModeFlag = DV_STATE_MPP;
        gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_STOPPED;
        KX_DV_Set1080DefaultDvCfg();
        ASSERT_EQ(0, KX_DV_RecordParamInit());
    }
    void TearDown() override
    {
        gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_STOPPED;
        capture_stdout([] {
            KX_DV_StopAudioThread();
            KX_DV_Audio_Stop();
        });
        KX_DV_ClearRecordParam();
        u32RecModeFlag = 0;
        app_pref_user = saved_pref_;
        AudioTest::TearDown();
    }

    static u32 audio_queued() { return KX_OrderQueue_GetRealDepth(q_audio_stream); }

    DvSystemParam pref_ = {};
    DvSystemParam *saved_pref_ = nullptr;
};

} // namespace

// The codec gets the whole request sequence with the control word set as
// each request needs: rate and master from the sample rate and work mode,
// the level of the sound setting, the input path's requests.
TEST_F(DvAudio, CodecSetUpSendsTheRequestSequence)
{
    struct Case {
        const char *name;
        u32 mode, rate, level;
        s32 path;
        unsigned master, rate_code, family, level_g;
        std::vector<unsigned> order;
    } cases[] = {
        {"I2S master at 48 kHz, sound 2, path 0", 0, 48000, 2, 0, 0, 0, 0, 48,
         {0x33, 0x24, 0x34, 0x22, 0x21, 0x25, 0x26, 0x27, 0x28, 0x23, 0x16, 0x19, 0x17, 0x20,
          0x30, 0x31, 0x00, 0x01, 0x102, 0x03, 0x38, 0x37, 0x39, 0x40, 0x41, 0x08, 0x11}},
        {"mode 2 at 44.1 kHz, sound 1, path 1", 2, 44100, 1, 1, 1, 0, 1, 16,
         {0x33, 0x24, 0x34, 0x22, 0x21, 0x25, 0x26, 0x27, 0x28, 0x35, 0x23, 0x16, 0x19, 0x17, 0x20,
          0x30, 0x31, 0x00, 0x01, 0x102, 0x03, 0x38, 0x37, 0x39, 0x40, 0x0F, 0x08, 0x11}},
        {"mode 5 at 8 kHz, sound 3", 5, 8000, 3, 0, 0, 10, 0, 85,
         {0x33, 0x24, 0x34, 0x22, 0x21, 0x25, 0x26, 0x27, 0x28, 0x35, 0x23, 0x16, 0x19, 0x17, 0x20,
          0x30, 0x31, 0x00, 0x01, 0x102, 0x03, 0x38, 0x37, 0x39, 0x40, 0x41, 0x08, 0x11}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        aud_cfg.u32Level = c.level;
        pref_.AudioInputPath = c.path;
        const size_t before = codec_requests().size();
        std::string out = capture_stdout([&] { EXPECT_EQ(0, KX_Tlv320_CfgAudio(c.mode, c.rate)); });
        std::vector<CodecReq> got = codec_requests(before);
        std::vector<unsigned> order;
        for (const CodecReq &r : got)
            order.push_back(r.req);
        EXPECT_EQ(c.order, order);
        const CodecReq *rate = find(got, 0x24);
        ASSERT_TRUE(rate);
        EXPECT_EQ(c.rate, rate->rate);
        EXPECT_EQ(c.master, rate->master);
        EXPECT_EQ(c.rate_code, aic31_get(rate->ctrl, AIC31_RATE_CODE));
        EXPECT_EQ(c.family, aic31_get(rate->ctrl, AIC31_FAMILY_44K1));
        EXPECT_EQ(c.level_g, find(got, 0x30)->level);
        EXPECT_EQ(c.path == 1 ? 15u : 5u, find(got, 0x102)->level);
        EXPECT_EQ(c.path == 1 ? 0u : 1u, find(got, 0x102)->b);
        EXPECT_EQ(4u, find(got, 0x03)->level);
        EXPECT_EQ(c.path == 1 ? 1u : 0u, find(got, 0x03)->b);
        EXPECT_EQ(0u, find(got, 0x38)->master); // cleared after the first of the pair
        EXPECT_EQ(c.mode == 0 || c.mode == 1 ? 1u : 0u, find(got, 0x28)->b);
        if (const CodecReq *d = find(got, 0x35)) {
            EXPECT_EQ(c.mode == 2 || c.mode == 4 ? 2u : 0u, d->data);
        }
        EXPECT_EQ(c.mode >= 2 ? 1u : 0u, aic31_get(find(got, 0x34)->ctrl, AIC31_TRANSFER));
        char ok[128];
        snprintf(ok, sizeof ok, "Set aic31 ok: bMaster = %u, enWorkmode = %u, enSamplerate = %u\n", c.master, c.mode,
                 c.rate);
        EXPECT_NE(std::string::npos, out.find(ok));
        EXPECT_NE(std::string::npos, out.find("app_pref_user->audio_in_path = " + std::to_string(c.path) + " \n"));
    }
    // A rate the codec has no code for opens nothing.
    const size_t before = codec_requests().size();
    std::string out = capture_stdout([] { EXPECT_EQ(-1, KX_Tlv320_CfgAudio(0, 96000)); });
    EXPECT_NE(std::string::npos, out.find("SAMPLE_Tlv320_CfgAudio(), not support enSample:96000\n"));
    EXPECT_EQ(before, codec_requests().size());
}

// A request the codec refuses: the reset says so and the set-up goes on; a
// refused interface request ends it there with its message.
TEST_F(DvAudio, CodecSetUpRefusedRequests)
{
    struct Case {
        const char *name;
        unsigned long refused;
        s32 ret;
        const char *says;
        size_t requests; // the codec took, the refused one included
    } cases[] = {
        {"reset", AIC31_SOFT_RESET, 0, "[Info]:tlv320aic31 reset failed\n", 27},
        {"transfer mode", AIC31_SET_TRANSFER_MODE, -1, "set tlv320aic31 trans_mode err\n", 3},
        {"the codec clock", AIC31_SET_PLL, -1, "ioctl err1\n", 4},
        {"the clock direction", AIC31_SET_CLOCK_DIR, -1, "ioctl err2\n", 5},
        {"a level", AIC31_DAC_L_VOLUME, 0, "Set aic31 ok", 27},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::write_conf(root_, "trace = 1\ntlv320_refuse = " + std::to_string(c.refused) + "\n");
        sim::start(root_);
        s32 ret = 0;
        std::string out = capture_stdout([&] { ret = KX_Tlv320_CfgAudio(0, 48000); });
        EXPECT_EQ(c.ret, ret);
        EXPECT_NE(std::string::npos, out.find(c.says)) << out;
        EXPECT_EQ(c.ret == 0, out.find("Set aic31 ok") != std::string::npos);
        EXPECT_EQ(c.requests, testsupport::events("trace ioctl /dev/tlv320aic31").size());
        // The device is closed again whatever happened.
        std::vector<std::string> opened = testsupport::events("trace open /dev/tlv320aic31 = ");
        ASSERT_EQ(1u, opened.size());
        std::string fd = opened[0].substr(opened[0].rfind(' ') + 1);
        EXPECT_EQ(1u, testsupport::events("trace close " + fd).size());
    }
}

// Up: codec, input, AAC channel bound to the input, output's two channels
// bound to it; the audio thread queues packets only while recording, one
// record per packet in the ring in order. Down again in reverse.
TEST_F(DvAudio, TheAudioRoadQueuesPacketsWhileRecording)
{
    for (s32 path : {0, 1}) {
        SCOPED_TRACE(path);
        pref_.AudioInputPath = path;
        long mark = (long)testsupport::events().size() - 1;
        std::string out = capture_stdout([] { EXPECT_EQ(0, KX_DV_Audio_Run()); });
        EXPECT_NE(std::string::npos, out.find("Set aic31 ok: bMaster = 0, enWorkmode = 0, enSamplerate = 48000"));
        EXPECT_TRUE(u32RecModeFlag & DV_STATE_AUDIO);
        // The AAC decoder is registered beside the encoder.
        for (u32 type : {PT_AAC, PT_AACLC}) {
            bool found = false;
            for (const ADEC_CODEC_ENTRY_S &e : s_stDecoderCtx.astDecoder)
                found = found || (e.enType == type && e.pfnDecodeFrm == DecodeAACFrm);
            EXPECT_TRUE(found) << type;
        }
        u32 track = 0;
        EXPECT_EQ(0, DU_DUZ_AI_GetTrackMode(0, &track));
        EXPECT_EQ(path == 1 ? 2u : 1u, track);
        pipelinetest::in_order({"ai enable 48000 Hz 16 bit", "ai enable chn 0", "aenc create chn 0 type 37",
                                "sys bind 21/0/0 -> 23/0/0", "ao enable 48000 Hz", "sys bind 21/0/0 -> 22/0/0",
                                "sys bind 21/0/0 -> 22/0/1"},
                               mark);

        capture_stdout([] { EXPECT_EQ(0, KX_DV_StartAudioThread()); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(0u, audio_queued()) << "nothing queued while not recording";
        gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_RUNNING;
        ASSERT_TRUE(wait_for([] { return audio_queued() >= 20; }));
        gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_STOPPED;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const u32 n = audio_queued();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(n, audio_queued()) << "nothing more once stopped";
        KX_REC_AUDIO_PKT_S prev{}, r{};
        for (u32 i = 0; i < n; i++) {
            ASSERT_EQ(0, KX_OrderQueue_Read(&r, q_audio_stream));
            EXPECT_EQ(dv_ring_tag(audio_buffer), r.u32BufBase);
            ASSERT_GT(r.u32Len, 7u);
            EXPECT_EQ(0xFF, audio_buffer[r.u32Offset]);
            EXPECT_EQ(0xF1, audio_buffer[r.u32Offset + 1]);
            if (i > 0) {
                EXPECT_EQ(prev.u64Seq + 1, r.u64Seq);
                EXPECT_EQ(prev.u32Offset + prev.u32Len, r.u32Offset);
                EXPECT_NEAR(21333.3, (double)(r.u64Pts - prev.u64Pts), 1.0);
            }
            prev = r;
        }
        mark = (long)testsupport::events().size() - 1;
        capture_stdout([] {
            EXPECT_EQ(0, KX_DV_StopAudioThread());
            EXPECT_EQ(0, KX_DV_Audio_Stop());
        });
        EXPECT_FALSE(u32RecModeFlag & DV_STATE_AUDIO);
        pipelinetest::in_order({"sys unbind 21/0/0 -> 22/0/0", "sys unbind 21/0/0 -> 22/0/1", "ao disable",
                                "sys unbind 21/0/0 -> 23/0/0", "aenc destroy chn 0", "ai disable chn 0", "ai disable"},
                               mark);
        EXPECT_EQ(-1, KX_DV_Audio_Stop()); // not up
    }
}

// A second without a packet is reported, and the audio thread goes on: the
// sound that comes later is queued without a new start.
TEST_F(DvAudio, ASecondWithoutSoundDoesNotEndTheAudioThread)
{
    capture_stdout([] { ASSERT_EQ(0, KX_DV_Audio_Run()); });
    std::string out = capture_stdout([] {
        EXPECT_EQ(0, KX_DV_StartAudioThread());
        EXPECT_EQ(0, KX_AUDIO_AencUnbindAi(0, 0, 0));
        std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    });
    EXPECT_NE(std::string::npos, out.find("KX_DV_AudioProc: get aenc stream select time out\n"));
    gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_RUNNING;
    EXPECT_EQ(0, KX_AUDIO_AencBindAi(0, 0, 0));
    EXPECT_TRUE(wait_for([] { return audio_queued() >= 5; }));
    capture_stdout([] { EXPECT_EQ(0, KX_DV_StopAudioThread()); });
}

// A failing step of the start takes down the ones before it, so that the
// next start finds the units as they were.
TEST_F(DvAudio, AFailedStartLeavesNothingUp)
{
    capture_stdout([] { DU_DUZ_AENC_AacInit(); });
    static AAC_ENC_CFG_S aac = {AAC_TYPE_AACLC, 128000, 48000, 1, 0};
    AENC_CHANNEL_CFG_S cfg = {PT_AAC, 1024, 30, &aac};
    ASSERT_EQ(0, DU_DUZ_AENC_CreateChn(0, &cfg)); // channel 0 taken
    std::string out = capture_stdout([] { EXPECT_EQ(-1, KX_DV_Audio_Run()); });
    EXPECT_NE(std::string::npos, out.find("======DU_DUZ_AENC_CreateChn failed"));
    EXPECT_NE(std::string::npos, out.find("======SAMPLE_COMM_AUDIO_StartAenc failed"));
    EXPECT_FALSE(u32RecModeFlag & DV_STATE_AUDIO);
    pipelinetest::in_order({"ai enable chn 0", "ai disable chn 0", "ai disable"});
    EXPECT_EQ(-1, KX_DV_Audio_Stop());

    ASSERT_EQ(0, DU_DUZ_AENC_DestroyChn(0));
    capture_stdout([] { EXPECT_EQ(0, KX_DV_Audio_Run()); });
    EXPECT_TRUE(u32RecModeFlag & DV_STATE_AUDIO);
}

// Each step of the start failing in turn: it says which, and what the steps
// before it put up comes down, the latest first; a bind someone else made
// stays.
TEST_F(DvAudio, EachFailingStepTakesDownWhatTheStepsBeforeItPutUp)
{
    const MPP_CHN_ADDR_S other = {DU_ID_AI, 0, 1}, aenc = {DU_ID_AENC, 0, 0}, ao0 = {DU_ID_AO, 0, 0},
                         ao1 = {DU_ID_AO, 0, 1};
    struct Case {
        const char *name;
        std::string conf;
        const MPP_CHN_ADDR_S *taken; // bound to the input's second channel beforehand
        s32 ret;
        const char *says;
        std::vector<std::string> down; // after the failure, in this order
    } cases[] = {
        {"the codec", "tlv320_refuse = " + std::to_string(AIC31_SET_TRANSFER_MODE) + "\n", nullptr, -1,
         "======SAMPLE_COMM_AUDIO_CfgAcodec failed\n", {}},
        {"the input's pool", "vb_refuse = " + std::to_string(VB_GET_POOL_INFO) + "\n", nullptr, -1,
         "======SAMPLE_COMM_AUDIO_StartAi failed\n", {"ai disable"}},
        {"the encoder's bind", "", &aenc, DU_ERR_SYS_NOT_PERM, "======SAMPLE_COMM_AUDIO_AencBindAi failed\n",
         {"aenc destroy chn 0", "ai disable chn 0", "ai disable"}},
        {"the output's first bind", "", &ao0, -1, "======SAMPLE_COMM_AUDIO_AoBindAi failed\n",
         {"ao disable", "sys unbind 21/0/0 -> 23/0/0", "aenc destroy chn 0", "ai disable chn 0", "ai disable"}},
        {"the output's second bind", "", &ao1, -1, "======SAMPLE_COMM_AUDIO_AoBindAi failed\n",
         {"sys unbind 21/0/0 -> 22/0/0", "ao disable", "sys unbind 21/0/0 -> 23/0/0", "aenc destroy chn 0",
          "ai disable chn 0", "ai disable"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        capture_stdout([] {
            DU_DUZ_SYS_Exit();
            MPI_VB_ExitCtx();
        });
        testsupport::write_conf(root_, "trace = 1\n" + c.conf);
        sim::start(root_);
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        ASSERT_EQ(0, MPI_VB_InitCtx());
        if (c.taken) {
            ASSERT_EQ(0, DU_DUZ_SYS_Bind(&other, c.taken));
        }
        const long mark = (long)testsupport::events().size() - 1;
        s32 ret = 0;
        std::string out = capture_stdout([&] { ret = KX_DV_Audio_Run(); });
        EXPECT_EQ(c.ret, ret);
        EXPECT_NE(std::string::npos, out.find(c.says)) << out;
        EXPECT_FALSE(u32RecModeFlag & DV_STATE_AUDIO);
        pipelinetest::in_order(c.down, mark);
        for (const auto &up_down : std::vector<std::pair<std::string, std::string>>{
                 {"ai enable chn", "ai disable chn"}, {"aenc create", "aenc destroy"}, {"ao enable", "ao disable"},
                 {"sys bind 21/0/0", "sys unbind 21/0/0"}}) {
            SCOPED_TRACE(up_down.first);
            EXPECT_EQ(testsupport::events(up_down.first).size(), testsupport::events(up_down.second).size());
        }
        if (c.taken) {
            MPP_CHN_ADDR_S src;
            EXPECT_EQ(0, DU_DUZ_SYS_GetBindbyDest(c.taken, &src));
            EXPECT_EQ(1, src.s32Chn) << "the other bind stays";
            EXPECT_EQ(0, DU_DUZ_SYS_UnBind(&other, c.taken));
        }
        EXPECT_EQ(-1, KX_DV_Audio_Stop()); // nothing up
    }
}

// A step of the stop that fails keeps none after it up: the encoder, the
// input and the state bit come down all the same, and the stop reports it.
TEST_F(DvAudio, AFailingStepOfTheStopTakesDownTheRest)
{
    struct Case {
        const char *name;
        std::string conf;
        const char *says;
    } cases[] = {
        {"the binds", "sys_refuse = " + std::to_string(SYS_UNBIND_CTRL) + "\n",
         "======SAMPLE_COMM_AUDIO_AencUnbindAi failed\n"},
        {"the encoder", "aenc_refuse = " + std::to_string(AENC_STRMBUF_DEINIT_CTRL) + "\n",
         "======SAMPLE_COMM_AUDIO_StopAenc failed\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        capture_stdout([] {
            DU_DUZ_SYS_Exit();
            MPI_VB_ExitCtx();
        });
        testsupport::write_conf(root_, c.conf);
        sim::start(root_);
        ASSERT_EQ(0, DU_DUZ_SYS_Init());
        ASSERT_EQ(0, MPI_VB_InitCtx());
        capture_stdout([] { ASSERT_EQ(0, KX_DV_Audio_Run()); });
        const long mark = (long)testsupport::events().size() - 1;
        s32 ret = 0;
        std::string out = capture_stdout([&] { ret = KX_DV_Audio_Stop(); });
        EXPECT_EQ(-1, ret);
        EXPECT_NE(std::string::npos, out.find(c.says)) << out;
        EXPECT_FALSE(u32RecModeFlag & DV_STATE_AUDIO);
        pipelinetest::in_order({"ao disable", "aenc destroy chn 0", "ai disable chn 0", "ai disable"}, mark);
        EXPECT_EQ(-1, KX_DV_Audio_Stop()); // down already
    }
}

// The ring: a packet that would reach its end starts it again; a full queue
// gives up its oldest record; without a ring nothing is queued.
TEST_F(DvAudio, PacketsInTheRingAndTheQueue)
{
    std::vector<u8> bytes(100, 0xAB);
    AENC_STREAM_OUT_S s{};
    s.pStream = bytes.data();
    s.u32Len = 100;
    struct Case {
        const char *name;
        u32 at, len, offset;
    } cases[] = {
        {"ends one byte before the end", 2097152 - 101, 100, 2097152 - 101},
        {"ends at the end", 2097152 - 100, 100, 0},
        {"would pass the end", 2097152 - 50, 100, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        audio_offset = c.at;
        s.u32Len = c.len;
        ASSERT_EQ(0, Send_Data2AudioQue(&s));
        KX_REC_AUDIO_PKT_S r;
        ASSERT_EQ(0, KX_OrderQueue_Read(&r, q_audio_stream));
        EXPECT_EQ(c.offset, r.u32Offset);
        EXPECT_EQ(c.offset + c.len, audio_offset);
        EXPECT_EQ(0xAB, audio_buffer[r.u32Offset + c.len - 1]);
    }

    s.u32Len = 100;
    const u64 first = u64AudioIdenxNo;
    for (int i = 0; i < 340; i++)
        ASSERT_EQ(0, Send_Data2AudioQue(&s));
    EXPECT_EQ(336u, audio_queued());
    KX_REC_AUDIO_PKT_S r;
    ASSERT_EQ(0, KX_OrderQueue_ReadNotDel(&r, q_audio_stream));
    EXPECT_EQ(first + 4, r.u64Seq) << "the four oldest gave way";

    KX_DV_ClearRecordParam();
    std::string out = capture_stdout([&] { EXPECT_EQ(-1, Send_Data2AudioQue(&s)); });
    ASSERT_EQ(0, KX_DV_RecordParamInit());
    KX_REC_AUDIO_PKT_S rec{};
    out = capture_stdout([&] {
        u8 *ring = audio_buffer;
        audio_buffer = nullptr;
        EXPECT_EQ(-1, Fill_AudioData2Buffer(&s, &rec));
        audio_buffer = ring;
    });
    EXPECT_EQ("audio_buffer  no init\n", out);
    EXPECT_EQ(0u, audio_queued());
}
