// Benchmark support: a simulated board with a card, set up as the record
// application finds it at start-up, and the messages the recording posts.
#pragma once

#include "app/apps.h"
#include "app/engine_hooks.h"
#include "app/pref.h"
#include "board/board.h"
#include "board/sim/sim.h"
#include "core/msg_hub.h"
#include "recorder/dv_config.h"
#include "recorder/dv_mp4.h"
#include "recorder/mp4/mp4_writer.h"
#include "recorder/rec_files.h"

#include <cstdlib>
#include <pthread.h>
#include <string>

namespace benchrec {

// A board on a fresh root below /tmp named after `tag`, the card mounted, the
// preferences at their defaults in `pref`, and the file and MP4 machinery
// ready; the root.
inline std::string start_board(const std::string &tag, DvSystemParam &pref)
{
    std::string root = "/tmp/" + tag + "-XXXXXX";
    sim::start(mkdtemp(root.data()));
    app_register_engine_hooks(); // card space and power-off state, as at start-up
    pref = {};
    app_pref_user = &pref;
    KX_DV_SetUserSettingDefualt();
    hcmgr_create_queue();
    bd_mount("/dev/mmcblk0p1", "/mnt/sdcard0", "vfat", 8, "");
    KX_RecordCtr_InitAllfileName();
    Get_File_Thread_Test(nullptr);
    MP4_InitWriter(0);
    return root;
}

// Record mode 1 at 1080p (MovieResolution 0) at the rate `frame_rate`
// (MovieFrameRate: 1 60 pictures a second, 2 30) in the codec `codec`
// (MovieCodec: 0 H.265, 1 H.264), 3-minute files, sound on.
inline void mode_1080p(DvSystemParam &p, int32_t codec, int32_t frame_rate = 1)
{
    KX_DV_Set1080DefaultDvCfg();
    p.MovieResolution[0] = 0;
    p.MovieFrameRate[0] = frame_rate;
    p.MovieCodec[0] = codec;
    p.MovieCycletime[0] = 0;
    p.MovieRotate[0] = 0;
    p.MovieTimestamp[0] = 0;
    p.MovieSound[0] = 2;
    p.MovieLoopRecording[0] = 1;
    init_record_status();
}

// Whether message `id` was posted to the application since the last look.
inline bool posted(u32 id)
{
    bool seen = false;
    pthread_mutex_lock(&lock_main_msg);
    uint8_t rec[HCMGR_MSG_SIZE];
    while (q_button_msg && KX_OrderQueue_Read(rec, q_button_msg) == 0)
        seen = seen || ((u32)rec[0] << 24 | (u32)rec[1] << 16 | (u32)rec[2] << 8 | rec[3]) == id;
    pthread_mutex_unlock(&lock_main_msg);
    return seen;
}

} // namespace benchrec
