// /dev/ai: the audio capture driver. One device, 16 channels. While the device
// is enabled a capture clock delivers one frame every u32PtNumPerFrm samples
// of the device rate from the board's sound to every enabled channel: into
// the channel's own queue for GetFrame when it has a frame depth, and along
// the kernel bind table to the bound encoder and output channels.
//
// The microphone hears the board's sound and the room's echo of output
// channel 0 (ai_sound.cpp); it is the codec's left input, its right input the
// line input, where nothing is plugged in. The codec's gain word is the
// microphone gain in dB (1 dB a step, 0 dB at word 0) and scales both; the
// track mode then says what the tracks take (ai_capture.cpp). A channel linked to an
// output channel (for echo cancellation, or asking for reference frames) gets
// with every frame that output channel's played samples of the same span as
// its echo reference (ai_capture.cpp). This file takes the requests.
#include "board/sim/audio/ai.h"

#include <cerrno>

namespace sim::capture {
namespace {

constexpr u32 kMaxPtNum = 2048;
constexpr u32 kMaxGainDb = 120; // the codec's largest gain word

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
    req.stRec = audio::frame_record(*f);
    if (!put_user(arg, req))
        return fail(EFAULT); // the frame stays queued
    ch.queue.pop_front();
    ch.held.push_back(f);
    return 0;
}

// A frame handed out, or a block of a resampling pool that the unit put in
// place of a frame's first track (the driver's frame went back already).
int ai_release_frame(AiCall &k, void *arg)
{
    AI_FRAME_REC_S rec;
    if (!get_user(rec, arg))
        return fail(EFAULT);
    if (audio::release_held(k.ch().held, rec, DU_ID_AI) == 0)
        return 0;
    u32 pool = rec.stFrm.u32PoolId[0];
    if (!k.s.pool || pool != k.s.pool->id) {
        u32 block = vb_block_at(pool, rec.stFrm.u32PhyAddr[0]);
        if (block != kNoBlock && vb_release_block(block))
            return 0;
    }
    return code(ERR_ILLEGAL_PARAM);
}

// The output channel whose played samples come with every frame.
int ai_link(AiCall &k, void *arg, bool aec)
{
    AI_AEC_LINK_S link;
    if (!get_user(link, arg))
        return fail(EFAULT);
    if (link.u32AoDev != 0 || link.u32AoChn >= kChns)
        return mpi_status(DU_ID_AO, link.u32AoDev != 0 ? ERR_INVALID_DEVID : ERR_INVALID_CHNID);
    Chn &ch = k.ch();
    ch.aec = link;
    (aec ? ch.aec_linked : ch.ref_frames) = true;
    return 0;
}

int ai_set_gain(AiCall &k, void *arg)
{
    u32 gain;
    if (!get_user(gain, arg))
        return fail(EFAULT);
    if (gain > kMaxGainDb)
        return code(ERR_ILLEGAL_PARAM);
    k.s.gain = gain;
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
    {AI_RELEASE_FRAME_CTRL, ai_release_frame},
    {AI_LINK_AEC_CTRL, [](AiCall &k, void *arg) { return ai_link(k, arg, true); }},
    {AI_UNLINK_AEC_CTRL,
     [](AiCall &k, void *) {
         k.ch().aec_linked = false;
         return 0;
     }},
    {AI_ENABLE_AECREF_CTRL, [](AiCall &k, void *arg) { return ai_link(k, arg, false); }},
    {AI_DISABLE_AECREF_CTRL,
     [](AiCall &k, void *) {
         k.ch().ref_frames = false;
         return 0;
     }},
    {AI_RESMP_STATUS_CTRL, [](AiCall &k, void *arg) { return store(arg, k.ch().resmp); }},
    {AI_VQE_STATUS_CTRL,
     [](AiCall &k, void *arg) { return copy_from_user(k.ch().vqe, arg, sizeof k.ch().vqe) ? 0 : fail(EFAULT); }},
    {AI_SET_VQE_VOLUME_CTRL, [](AiCall &k, void *arg) { return store(arg, k.ch().volume); }},
    {AI_SET_TRACKMODE_CTRL, [](AiCall &k, void *arg) { return audio::set_track_mode(arg, &k.s.track_mode, DU_ID_AI); }},
    {AI_GET_TRACKMODE_CTRL, [](AiCall &k, void *arg) { return load(arg, k.s.track_mode); }},
    {AI_SET_CLKDIR_CTRL, [](AiCall &k, void *arg) { return store(arg, k.s.clk_dir); }},
    {AI_GET_CLKDIR_CTRL, [](AiCall &k, void *arg) { return load(arg, k.s.clk_dir); }},
    {AI_SET_CODEC_GAIN_CTRL, ai_set_gain},
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
} // namespace sim::capture
