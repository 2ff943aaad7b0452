// /dev/ai: the audio capture driver. One device, 16 channels. While the device
// is enabled a capture clock delivers one frame every u32PtNumPerFrm samples
// of the device rate from the board's sound (board.conf `audio = tone HZ |
// silence | file PATH`, default a 1000 Hz tone) to every enabled channel: into
// the channel's own queue for GetFrame when it has a frame depth, and along
// the kernel bind table to the bound encoder and output channels.
#include "board/sim/audio.h"
#include "board/sim/sim.h"
#include "mpi/audio/ai/ai_requests.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace sim {
namespace {

using audio::Frame;
using audio::FramePtr;

constexpr unsigned kChns = 16;
constexpr u32 kNoPool = 0xFFFFFFFFu;
constexpr u32 kNoBlock = 0xFFFFFFFFu;
constexpr u32 kMaxPtNum = 2048;
constexpr u32 kToneAmplitude = 16384; // half of full scale
// Frames the bound encoder and output channels may hold on top of the
// device's own frame buffers.
constexpr u32 kExtraFrames = 16;

s32 code(u32 c) { return mpi_status(DU_ID_AI, c); }

// The sound in front of the microphone.
struct Sound {
    enum Kind { tone, silence, file } kind = tone;
    double hz = 1000;
    audio::WavData wav;

    void from_conf()
    {
        *this = Sound();
        std::vector<std::string> words = split_words(conf("audio", "tone 1000"));
        if (words.empty())
            return;
        if (words[0] == "silence") {
            kind = silence;
        } else if (words[0] == "tone") {
            if (words.size() > 1)
                hz = strtod(words[1].c_str(), nullptr);
        } else if (words[0] == "file" && words.size() > 1) {
            // A relative name lies in the board's root.
            std::string path = words[1][0] == '/' ? words[1] : root() + "/" + words[1];
            std::string why;
            if (audio::wav_read(path, wav, why)) {
                kind = file;
            } else {
                kind = silence;
                event("ai", "audio file %s: %s, capturing silence", words[1].c_str(), why.c_str());
            }
        } else {
            event("ai", "audio '%s' not understood, capturing a 1000 Hz tone", conf("audio", "").c_str());
        }
    }

    // Sample `n` (counted from device enable) of track `t` at `rate`.
    int16_t sample(uint64_t n, unsigned t, uint32_t rate) const
    {
        switch (kind) {
        case tone:
            // The phase is kept modulo one period so that it stays exact however long the board runs.
            return (int16_t)lrint(kToneAmplitude * sin(2 * M_PI * fmod(hz * (double)n, rate) / rate));
        case file: {
            uint64_t frames = wav.samples.size() / wav.channels;
            uint64_t at = n * wav.rate / rate % frames; // nearest sample: the file plays at its own speed
            return wav.samples[at * wav.channels + std::min(t, wav.channels - 1)];
        }
        case silence:
            break;
        }
        return 0;
    }
};

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
    AI_AEC_LINK_S aec{};
    bool aec_linked = false;
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

    std::thread capture;
    bool run = false;
    uint64_t frames = 0; // captured since enable
    uint64_t pts0 = 0;
    uint64_t overruns = 0;
};

Ai &ai()
{
    static Ai a;
    return a;
}


// ---- the frame pool, kept by /dev/vb so that user space can map it -------------------

s32 pool_create(Ai &s)
{
    const AIO_ATTR_S &a = s.attr;
    unsigned tracks = a.enSoundmode == audio::kStereo ? 2 : 1;
    u32 block = ((a.u32PtNumPerFrm << a.enBitwidth) + 63) & ~63u;
    u32 count = (a.u32FrmNum + kExtraFrames) * tracks;
    u32 id = vb_create_pool(block, count, "");
    if (id == kNoPool) {
        event("ai", "frame pool of %u x %u bytes refused", count, block);
        return code(ERR_NOMEM);
    }
    s.pool = std::make_shared<FramePool>(id);
    return 0;
}

// ---- capture -------------------------------------------------------------------------------

// One frame from the blocks; null when every block is held (an overrun).
FramePtr make_frame(Ai &s)
{
    const AIO_ATTR_S &a = s.attr;
    unsigned tracks = a.enSoundmode == audio::kStereo ? 2 : 1;
    std::shared_ptr<FramePool> pool = s.pool;
    // Released with the frame; the pool goes after its last block.
    auto release = [pool](const Frame *fr) {
        for (u32 h : fr->handle)
            if (h != kNoBlock)
                vb_release_block(h);
        delete fr;
    };
    std::unique_ptr<Frame, decltype(release)> f(new Frame, release);
    for (unsigned t = 0; t < tracks; t++) {
        f->handle[t] = vb_get_block(pool->id, 0, nullptr);
        if (f->handle[t] == kNoBlock)
            return nullptr;
    }
    f->rec.enBitwidth = a.enBitwidth;
    f->rec.enSoundmode = a.enSoundmode;
    f->rec.u32Len = a.u32PtNumPerFrm << a.enBitwidth;
    f->rec.u32Seq = (u32)s.frames;
    // The capture clock counts samples, so the stamps step by exactly one frame.
    f->rec.u64TimeStamp = s.pts0 + s.frames * a.u32PtNumPerFrm * 1000000ull / a.enSamplerate;
    uint64_t n0 = s.frames * a.u32PtNumPerFrm;
    for (unsigned t = 0; t < tracks; t++) {
        f->rec.u32PhyAddr[t] = vb_block_phys(f->handle[t]);
        f->rec.u32PoolId[t] = pool->id;
        uint8_t *p = phys(f->rec.u32PhyAddr[t]);
        for (u32 i = 0; i < a.u32PtNumPerFrm; i++) {
            int16_t v = s.sound.sample(n0 + i, t, a.enSamplerate);
            if (a.enBitwidth == audio::kWidth16)
                memcpy(p + 2 * i, &v, 2);
            else
                p[i] = (uint8_t)(v >> 8);
        }
    }
    return FramePtr(f.release(), release);
}

void capture_loop()
{
    Ai &s = ai();
    std::unique_lock<std::mutex> lock(s.lock);
    auto period = std::chrono::nanoseconds(s.attr.u32PtNumPerFrm * 1000000000ull / s.attr.enSamplerate);
    auto next = std::chrono::steady_clock::now() + period;
    while (s.run) {
        if (s.stop_cv.wait_until(lock, next, [&] { return !s.run; }))
            break;
        next += period;
        // A board that fell far behind (a stopped debugger) starts afresh
        // rather than delivering a burst of stale frames.
        if (std::chrono::steady_clock::now() - next > 20 * period)
            next = std::chrono::steady_clock::now() + period;

        std::vector<s32> to;
        for (unsigned c = 0; c < kChns; c++)
            if (s.chn[c].enabled)
                to.push_back((s32)c);
        if (to.empty()) {
            s.frames++; // the clock runs on, unheard
            continue;
        }
        FramePtr f = make_frame(s);
        s.frames++;
        if (!f) {
            if (s.overruns++ % 100 == 0)
                event("ai", "overrun: every frame buffer is held");
            continue;
        }
        for (s32 c : to) {
            Chn &ch = s.chn[c];
            if (ch.param.u32FrmDepth == 0)
                continue;
            while (ch.queue.size() >= ch.param.u32FrmDepth)
                ch.queue.pop_front(); // the oldest frame is overwritten
            ch.queue.push_back(f);
        }
        s.frame_cv.notify_all();
        // Bound channels take the frame without waiting; the lock is not held
        // so that their drivers never wait on this one.
        s.delivering = true;
        lock.unlock();
        for (s32 c : to)
            audio::route({DU_ID_AI, 0, c}, f);
        f.reset();
        lock.lock();
        s.delivering = false;
        s.idle_cv.notify_all();
    }
}

void stop_capture(std::unique_lock<std::mutex> &lock)
{
    Ai &s = ai();
    if (!s.capture.joinable())
        return;
    s.run = false;
    s.stop_cv.notify_all();
    std::thread t = std::move(s.capture);
    lock.unlock();
    t.join();
    lock.lock();
}

void disable_chn(Chn &ch)
{
    ch.enabled = false;
    ch.queue.clear();
}

void disable_device(std::unique_lock<std::mutex> &lock)
{
    Ai &s = ai();
    stop_capture(lock);
    for (Chn &ch : s.chn) {
        disable_chn(ch);
        ch.held.clear();
    }
    s.pool.reset();
    s.enabled = false;
    s.generation++;
    s.frame_cv.notify_all();
}

Hooks ai_hooks(
    [] {
        Ai &s = ai();
        std::lock_guard<std::mutex> lock(s.lock);
        s.sound.from_conf();
    },
    [] {
        Ai &s = ai();
        std::unique_lock<std::mutex> lock(s.lock);
        disable_device(lock);
        s.attr = AIO_ATTR_S{};
        s.attr_set = false;
        s.track_mode = s.clk_dir = s.gain = 0;
        for (Chn &ch : s.chn)
            ch = Chn();
    });

// ---- one open of /dev/ai --------------------------------------------------------------

using audio::load;
using audio::store;

// What an AI request works on: the device under its lock and the channel the
// descriptor serves (set by the bind request).
struct AiCall {
    Ai &s;
    std::unique_lock<std::mutex> &lock;
    u32 &chn;
    Chn &ch() { return s.chn[chn]; }
};

int ai_enable(AiCall &k, void *)
{
    Ai &s = k.s;
    if (s.enabled)
        return 0;
    if (!s.attr_set)
        return code(ERR_NOT_CONFIG);
    if (s32 r = pool_create(s))
        return r;
    s.enabled = true;
    s.generation++;
    s.frames = 0;
    s.pts0 = platform_pts_us();
    s.run = true;
    s.capture = std::thread(capture_loop);
    event("ai", "enable %u Hz %u bit %s, %u samples a frame", s.attr.enSamplerate, 8u << s.attr.enBitwidth,
          s.attr.enSoundmode ? "stereo" : "mono", s.attr.u32PtNumPerFrm);
    return 0;
}

int ai_disable(AiCall &k, void *)
{
    if (k.s.enabled)
        event("ai", "disable");
    disable_device(k.lock);
    return 0;
}

int ai_get_poolid(AiCall &k, void *arg)
{
    if (!k.s.enabled)
        return code(ERR_UNEXIST);
    return load(arg, k.s.pool->id);
}

int ai_set_chnparam(AiCall &k, void *arg)
{
    Chn &ch = k.ch();
    AI_CHN_PARAM_S p;
    if (!get_user(p, arg))
        return fail(EFAULT);
    if (p.u32FrmDepth > 30)
        return code(ERR_ILLEGAL_PARAM);
    ch.param = p;
    while (ch.queue.size() > p.u32FrmDepth)
        ch.queue.pop_front();
    return 0;
}

int ai_enable_chn(AiCall &k, void *)
{
    Chn &ch = k.ch();
    if (!k.s.enabled)
        return code(ERR_UNEXIST);
    if (k.chn >= k.s.attr.u32ChnCnt)
        return code(ERR_INVALID_CHNID);
    if (!ch.enabled)
        event("ai", "enable chn %u", k.chn);
    ch.enabled = true;
    return 0;
}

int ai_disable_chn(AiCall &k, void *)
{
    Ai &s = k.s;
    Chn &ch = k.ch();
    if (ch.enabled)
        event("ai", "disable chn %u", k.chn);
    disable_chn(ch);
    s.frame_cv.notify_all();
    // A frame on its way out holds blocks of the pool; once it is
    // delivered a channel that is off holds none.
    s.idle_cv.wait(k.lock, [&] { return !s.delivering; });
    return 0;
}

int ai_link_aec(AiCall &k, void *arg)
{
    if (int r = store(arg, k.ch().aec))
        return r;
    k.ch().aec_linked = true;
    return 0;
}

int ai_get_frame(AiCall &k, void *arg)
{
    Ai &s = k.s;
    AI_GET_FRAME_REQ_S req;
    if (!get_user(req, arg))
        return fail(EFAULT);
    Chn &ch = k.ch();
    if (!s.enabled || !ch.enabled)
        return code(ERR_UNEXIST);
    if (ch.param.u32FrmDepth == 0)
        return code(ERR_NOT_PERM); // a channel without a frame depth keeps no frames for pulling
    uint64_t gen = s.generation;
    wait_ms(s.frame_cv, k.lock, req.s32MilliSec,
            [&] { return !ch.queue.empty() || !ch.enabled || s.generation != gen; });
    if (!ch.enabled || s.generation != gen)
        return code(ERR_UNEXIST);
    if (ch.queue.empty())
        return code(ERR_BUF_EMPTY);
    FramePtr f = ch.queue.front();
    AI_FRAME_REC_S out{};
    out.stFrm = f->rec;
    out.stRefFrm.bValid = 0;
    req.stRec = out;
    if (!put_user(arg, req))
        return fail(EFAULT); // the frame stays queued
    ch.queue.pop_front();
    ch.held.push_back(f);
    return 0;
}

const IoctlOp<AiCall> kAiOps[] = {
    {AI_BIND_CHN_CTRL, [](AiCall &k, void *arg) { return audio::bind_channel(arg, kChns, DU_ID_AI, &k.chn); }},
    {AI_SET_PUBATTR_CTRL,
     [](AiCall &k, void *arg) { return audio::set_pubattr(k.s, arg, DU_ID_AI, kMaxPtNum, kChns, "ai"); }},
    {AI_GET_PUBATTR_CTRL, [](AiCall &k, void *arg) { return audio::get_pubattr(k.s, arg, DU_ID_AI); }},
    {AI_CLR_PUBATTR_CTRL, [](AiCall &k, void *) { return audio::clr_pubattr(k.s, DU_ID_AI); }},
    {AI_ENABLE_CTRL, ai_enable},
    {AI_DISABLE_CTRL, ai_disable},
    {AI_GET_POOLID_CTRL, ai_get_poolid},
    {AI_GET_CHNPARAM_CTRL, [](AiCall &k, void *arg) { return load(arg, k.ch().param); }},
    {AI_SET_CHNPARAM_CTRL, ai_set_chnparam},
    {AI_ENABLE_CHN_CTRL, ai_enable_chn},
    {AI_DISABLE_CHN_CTRL, ai_disable_chn},
    {AI_GET_FRAME_CTRL, ai_get_frame},
    {AI_RELEASE_FRAME_CTRL, [](AiCall &k, void *arg) { return audio::release_held(k.ch().held, arg, DU_ID_AI); }},
    {AI_LINK_AEC_CTRL, ai_link_aec},
    {AI_UNLINK_AEC_CTRL,
     [](AiCall &k, void *) {
         k.ch().aec_linked = false;
         return 0;
     }},
    // This board's capture has no echo path to hand over.
    {AI_ENABLE_AECREF_CTRL, [](AiCall &, void *) { return code(ERR_NOT_SUPPORT); }},
    {AI_DISABLE_AECREF_CTRL, [](AiCall &, void *) { return 0; }},
    {AI_RESMP_STATUS_CTRL, [](AiCall &k, void *arg) { return store(arg, k.ch().resmp); }},
    {AI_VQE_STATUS_CTRL,
     [](AiCall &k, void *arg) { return copy_from_user(k.ch().vqe, arg, sizeof k.ch().vqe) ? 0 : fail(EFAULT); }},
    {AI_SET_VQE_VOLUME_CTRL, [](AiCall &k, void *arg) { return store(arg, k.ch().volume); }},
    {AI_SET_TRACKMODE_CTRL, [](AiCall &k, void *arg) { return store(arg, k.s.track_mode); }},
    {AI_GET_TRACKMODE_CTRL, [](AiCall &k, void *arg) { return load(arg, k.s.track_mode); }},
    {AI_SET_CLKDIR_CTRL, [](AiCall &k, void *arg) { return store(arg, k.s.clk_dir); }},
    {AI_GET_CLKDIR_CTRL, [](AiCall &k, void *arg) { return load(arg, k.s.clk_dir); }},
    {AI_SET_CODEC_GAIN_CTRL, [](AiCall &k, void *arg) { return store(arg, k.s.gain); }},
    {AI_GET_CODEC_GAIN_CTRL, [](AiCall &k, void *arg) { return load(arg, k.s.gain); }},
    {AI_SET_SAVEFILE_CTRL, [](AiCall &k, void *arg) { return store(arg, k.ch().save); }},
    {AI_GET_SAVEFILE_CTRL, [](AiCall &k, void *arg) { return load(arg, k.ch().save); }},
};

class AiFile : public Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        Ai &s = ai();
        std::unique_lock<std::mutex> lock(s.lock);
        AiCall call{s, lock, chn_};
        return dispatch(kAiOps, request, call, arg);
    }

private:
    u32 chn_ = 0; // the channel this descriptor serves
};

DeviceRegistration ai_device("/dev/ai", [](int) { return std::make_shared<AiFile>(); });

} // namespace
} // namespace sim
