// Test support for recordings: the card mounted and scanned as at boot, the
// messages the engine posts, a recording started and stopped as the record
// applications do it, and the movies on the card.
#pragma once

#include "app/msg_hub.h"
#include "app/rec_state.h"
#include "recorder/dv_config.h"
#include "recorder/dv_mp4.h"
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

} // namespace rectest
