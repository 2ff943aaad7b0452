// Test support for recordings: the card mounted and scanned as at boot, the
// messages the engine posts, a recording started and stopped as the record
// applications do it, and the movies on the card.
#pragma once

#include "app/apps.h"
#include "app/engine_hooks.h"
#include "app/pref.h"
#include "core/msg_hub.h"
#include "core/rec_state.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/vb/mpi_vb.h"
#include "recorder/dv_audio.h"
#include "recorder/dv_config.h"
#include "recorder/dv_engine.h"
#include "recorder/dv_mp4.h"
#include "recorder/dv_pipeline.h"
#include "recorder/dv_stream.h"
#include "recorder/rec_files.h"
#include "tests/recorder/pipeline_support.h"
#include "tests/support/board_fixture.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace rectest {

namespace fs = std::filesystem;

// The card's folders made and scanned as at boot, from the name state a
// fresh process has.
inline void card_scan()
{
    strcpy(test_hname, "9999999");
    strcpy(test_tname, "0000000");
    strcpy(test_pho_dir_tname, "KR100");
    strcpy(test_pho_tname, "000");
    u8FileHeadNameIsChange = 0;
    testsupport::capture_stdout([] {
        KX_RecordCtr_InitAllfileName();
        Get_File_Thread_Test(nullptr);
    });
}

// The card mounted and scanned.
inline void card_boot()
{
    ASSERT_EQ(bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, ""), 0);
    card_scan();
}

// Host paths of the movies on the card, in name order.
inline std::vector<std::string> movies()
{
    std::vector<std::string> out;
    std::error_code ec;
    for (auto &e : fs::directory_iterator(bd_path("/mnt/sdcard0/MOVIE"), ec))
        if (e.path().extension() == ".mp4")
            out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

inline std::string base(const std::string &path) { return fs::path(path).filename().string(); }

// The ids posted to the main message queue, in order.
class Messages {
public:
    Messages() { hcmgr_create_queue(); }
    ~Messages() { hcmgr_destroy_queue(); }

    // Takes what was posted since the last call.
    const std::vector<u32> &all()
    {
        pthread_mutex_lock(&lock_main_msg);
        uint8_t rec[HCMGR_MSG_SIZE];
        while (q_button_msg && KX_OrderQueue_Read(rec, q_button_msg) == 0)
            ids_.push_back((u32)rec[0] << 24 | (u32)rec[1] << 16 | (u32)rec[2] << 8 | rec[3]);
        pthread_mutex_unlock(&lock_main_msg);
        return ids_;
    }
    size_t count(u32 id)
    {
        const std::vector<u32> &ids = all();
        return (size_t)std::count(ids.begin(), ids.end(), id);
    }
    bool wait(u32 id, size_t n = 1, int seconds = 20)
    {
        return pipelinetest::wait_for([&] { return count(id) >= n; }, seconds);
    }

private:
    std::vector<u32> ids_;
};

constexpr u32 kRecRelease = HMSG_KEY_RELEASE + KEY_ID_REC;

// The record entry as a record application fills it.
inline void record_entry(uint16_t minutes, bool loop, uint8_t sound = 2)
{
    KX_REC_CMD_S &e = gRecCmd[KX_REC_ENTRY_RECORD];
    e.RecState = KX_REC_STATE_STOPPED;
    e.PackSize = minutes;
    e.bCycleMode = loop ? 1 : 0;
    e.u8AudioLevel = sound;
}

// A REC release while stopped, as the record application answers it.
inline void start_recording(bool stream_thread = true)
{
    gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_RUNNING;
    if (stream_thread)
        KX_DV_StartGetStream();
    KX_SendCondtoRecord();
}

// A REC release while recording.
inline void stop_recording()
{
    gRecCmd[KX_REC_ENTRY_RECORD].RecState = KX_REC_STATE_STOPPED;
    KX_DV_StopGetStream();
}

template <class Fn> std::string quiet(Fn &&fn)
{
    std::string out;
    testsupport::capture_stderr([&] { out = testsupport::capture_stdout(fn); });
    return out;
}

// gsDvConfig and the record entry as record mode 1 builds them from the
// preferences: MovieResolution, MovieFrameRate and MovieCodec as given, the
// file length from MovieCycletime, sound and loop recording on, no rotation
// and no date stamp.
inline void record_mode(int32_t resolution, int32_t frame_rate, int32_t codec, int32_t cycletime = 0)
{
    KX_DV_Set1080DefaultDvCfg();
    DvSystemParam &p = *app_pref_user;
    p.MovieResolution[0] = resolution;
    p.MovieFrameRate[0] = frame_rate;
    p.MovieCodec[0] = codec;
    p.MovieCycletime[0] = cycletime;
    p.MovieRotate[0] = 0;
    p.MovieTimestamp[0] = 0;
    p.MovieSound[0] = 2;
    p.MovieLoopRecording[0] = 1;
    quiet(init_record_status);
}

// A record mode running on the simulated board: the pipeline with its MP4
// thread, audio, the card mounted and scanned, the message queue.
class LiveRecording : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        app_register_engine_hooks();
        saved_pref_ = app_pref_user;
        app_pref_user = &pref_;
        KX_DV_SetUserSettingDefualt();
        u32RecModeFlag = 0;
        card_boot();
        MP4_InitWriter(0);
    }
    void TearDown() override
    {
        stop_mode();
        quiet([] {
            DU_DUZ_SYS_Exit();
            DU_DUZ_VB_Exit();
        });
        u32RecModeFlag = 0;
        app_pref_user = saved_pref_;
    }

    // As a record application's start: pipeline, audio and its thread.
    void start_mode()
    {
        running_ = true;
        quiet([] {
            ASSERT_EQ(0, KX_DV_FirstRun());
            ASSERT_EQ(0, KX_DV_Audio_Run());
            ASSERT_EQ(0, KX_DV_StartAudioThread());
        });
    }
    // As its stop.
    void stop_mode()
    {
        if (!running_)
            return;
        running_ = false;
        quiet([] {
            KX_DV_Stop();
            KX_DV_StopAudioThread();
            KX_DV_Audio_Stop();
            KX_Video_Mode_Func(1, 0, 0);
        });
    }

    Messages msgs_;
    DvSystemParam pref_ = {};
    DvSystemParam *saved_pref_ = nullptr;
    bool running_ = false;
};

} // namespace rectest
