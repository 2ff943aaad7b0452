// The capture driver's state, shared by its files: the device and its 16
// channels (ai.cpp takes the requests), the capture clock that makes and
// delivers frames (ai_capture.cpp), and what the microphone hears
// (ai_sound.cpp).
#pragma once

#include "board/sim/audio/ai_sound.h"
#include "board/sim/audio/audio.h"
#include "board/sim/drop_run.h"
#include "board/sim/sim.h"
#include "mpi/audio/ai/ai_requests.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace sim::capture {

using audio::Frame;
using audio::FramePtr;

constexpr unsigned kChns = 16;
constexpr u32 kNoPool = 0xFFFFFFFFu;
constexpr u32 kNoBlock = 0xFFFFFFFFu;

inline s32 code(u32 c) { return mpi_status(DU_ID_AI, c); }

// The frame pool, kept by /dev/vb so that user space can map it. It is destroyed
// when the device is disabled and the last frame of it is gone.
struct FramePool {
    u32 id = kNoPool;
    explicit FramePool(u32 pool) : id(pool) {}
    ~FramePool()
    {
        vb_destroy_pool(id);
    }
};

struct Chn {
    bool enabled = false;
    AI_CHN_PARAM_S param{};
    std::deque<FramePtr> queue;   // for GetFrame, at most the frame depth
    std::vector<FramePtr> held;   // handed out, not yet released
    AUDIO_SAVE_FILE_INFO_S save{};
    // The output channel whose played samples come with every frame: linked
    // for echo cancellation, or asked for as reference frames.
    AI_AEC_LINK_S aec{};
    bool aec_linked = false;
    bool ref_frames = false;
    bool linked() const { return aec_linked || ref_frames; }
    AI_RESMP_STATUS_S resmp{};
    uint8_t vqe[AI_VQE_STATUS_LEN] = {};
    s32 volume = 0;
};

struct Ai {
    std::mutex lock;
    std::condition_variable frame_cv; // a frame arrived, or a channel went away
    std::condition_variable stop_cv;
    std::condition_variable idle_cv; // a frame's delivery has ended
    bool delivering = false;
    AIO_ATTR_S attr{};
    bool attr_set = false;
    bool enabled = false;
    uint64_t generation = 0; // moves on every enable, disable and board restart

    std::shared_ptr<FramePool> pool; // while enabled; frames still out keep it too

    u32 track_mode = 0, clk_dir = 0, gain = 0;
    Chn chn[kChns];
    Sound sound;
    Echo echo;
    std::vector<int16_t> echo_buf; // output channel 0's samples for one frame

    std::thread capture;
    bool run = false;
    uint64_t frames = 0; // captured since enable
    uint64_t pts0 = 0;
    uint64_t overruns = 0;
    DropRun drops; // frames captured into no buffer, or never captured
};

Ai &ai();

// The device's frame pool for its attributes, kept by /dev/vb so that user
// space can map it; 0 or the code.
s32 pool_create(Ai &s);

// The capture clock's thread: a frame every u32PtNumPerFrm samples of the
// device rate to every enabled channel.
void capture_loop();
void stop_capture(std::unique_lock<std::mutex> &lock);
void disable_chn(Chn &ch);
// The clock stopped, every channel off and its frames dropped, the pool let go.
void disable_device(std::unique_lock<std::mutex> &lock);

} // namespace sim::capture
