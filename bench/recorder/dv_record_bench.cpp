// A minute of 1080p recording on the simulated board, commanded as the
// record application does: the stream thread, the MP4 thread and audio at
// work while the board captures and encodes. Run it on two cores
// (taskset -c 0,1). Each case (codec, pictures a second) records until the
// stream thread has queued a minute of frames (3600 at 60) and reports:
//   frames_in_file   video samples in the MP4 (the minute, and the frames
//                    the encoder coded before the stop, when nothing was lost)
//   frames_lost_up   frames the capture stamps say are missing before the
//                    stream thread (the board fell behind)
//   frames_dropped   frames the stream thread dropped for want of room
//   frames_left_out  frames the MP4 thread took and did not write
//   sound_in_file    AAC packets in the MP4 (1024 samples each)
//   sound_lost       frames of sound lost on their way to the file, wherever
//                    (dv_audio_stats: before the audio thread, at its queue,
//                    left out by the MP4 thread)
//   queue_max/depth  most records the video queue held, and its depth
//   wall_s, cpu_s    how long the minute took, and the process's CPU time
//                    in it (every thread: board and firmware)
#include "app/apps.h"
#include "bench/recorder/record_setup.h"
#include "app/engine_hooks.h"
#include "app/pref.h"
#include "board/board.h"
#include "board/sim/sim.h"
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
#include "recorder/mp4/mp4_writer.h"
#include "recorder/rec_files.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <thread>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

constexpr u64 kSeconds = 60;

// Samples of the one movie on the card, by kind; -1 when there is none.
struct Samples {
    long video = -1, audio = -1;
};

Samples movie_samples()
{
    std::string dir = bd_path("/mnt/sdcard0/MOVIE");
    for (auto &e : std::filesystem::directory_iterator(dir)) {
        AVFormatContext *ic = nullptr;
        if (avformat_open_input(&ic, e.path().c_str(), nullptr, nullptr) < 0)
            continue;
        Samples n;
        if (avformat_find_stream_info(ic, nullptr) >= 0) {
            int v = av_find_best_stream(ic, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
            int a = av_find_best_stream(ic, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
            AVPacket *pkt = av_packet_alloc();
            n = Samples{0, 0};
            while (av_read_frame(ic, pkt) >= 0) {
                n.video += pkt->stream_index == v;
                n.audio += pkt->stream_index == a;
                av_packet_unref(pkt);
            }
            av_packet_free(&pkt);
        }
        avformat_close_input(&ic);
        return n;
    }
    return Samples{};
}

double process_cpu_s()
{
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
}

void RecordAMinuteAt1080p(benchmark::State &state)
{
    const int32_t codec = (int32_t)state.range(0);
    const u64 fps = (u64)state.range(1), frames = kSeconds * fps;
    DvSystemParam pref;
    const std::string root = benchrec::start_board("record-bench", pref);
    benchrec::mode_1080p(pref, codec, fps == 30 ? 2 : 1);
    KX_REC_CMD_S &e = gRecCmd[KX_REC_ENTRY_RECORD];

    if (KX_DV_FirstRun() != 0 || KX_DV_Audio_Run() != 0 || KX_DV_StartAudioThread() != 0) {
        state.SkipWithError("the record mode did not start");
        return;
    }
    // The live picture runs a while before anyone taps REC; the board's
    // replaying encoders prepare their group of pictures in that time.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    double wall = 0, cpu = 0;
    for (auto _ : state) {
        dv_stream_stats_reset();
        dv_audio_stats_reset();
        const double cpu0 = process_cpu_s();
        auto t0 = std::chrono::steady_clock::now();
        e.RecState = KX_REC_STATE_RUNNING;
        KX_DV_StartGetStream();
        KX_SendCondtoRecord();
        while (dv_stream_stats().u64Queued < frames)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        e.RecState = KX_REC_STATE_STOPPED;
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu = process_cpu_s() - cpu0;
        KX_DV_StopGetStream();
        while (!benchrec::posted(AMSG_RECORD_COMPLETE))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const DvStreamStats st = dv_stream_stats();
    const DvAudioStats sound = dv_audio_stats();
    const u32 depth = KX_OrderQueue_GetAllDepth(q_main_stream);
    KX_DV_Stop();
    KX_DV_StopAudioThread();
    KX_DV_Audio_Stop();
    KX_Video_Mode_Func(1, 0, 0);
    DU_DUZ_SYS_Exit();
    DU_DUZ_VB_Exit();

    const Samples in_file = movie_samples();
    state.counters["frames_in_file"] = (double)in_file.video;
    state.counters["frames_queued"] = (double)st.u64Queued;
    state.counters["frames_lost_up"] = (double)st.u64LostUp;
    state.counters["frames_dropped"] = (double)st.u64Dropped;
    state.counters["frames_left_out"] = (double)st.u64LeftOut;
    state.counters["sound_in_file"] = (double)in_file.audio;
    state.counters["sound_lost"] = (double)dv_audio_lost(sound);
    state.counters["queue_max"] = st.u32MaxDepth;
    state.counters["queue_depth"] = depth;
    state.counters["wall_s"] = wall;
    state.counters["cpu_s"] = cpu;
    if (in_file.video != (long)st.u64Queued || dv_stream_lost(st) != 0 || dv_audio_lost(sound) != 0 ||
        2 * st.u32MaxDepth >= depth)
        state.SkipWithError("frames or sound lost, or the queue half full");
    hcmgr_destroy_queue();
    std::filesystem::remove_all(root);
}

} // namespace

BENCHMARK(RecordAMinuteAt1080p)
    ->ArgNames({"h264", "fps"})
    ->Args({0, 60}) // replayed
    ->Args({1, 60})
    ->Args({0, 30})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
