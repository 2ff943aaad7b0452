// /dev/ao: the audio output driver. One device, 16 channels. Each enabled
// channel has a queue of device frames that a real-time play clock empties,
// one frame every u32PtNumPerFrm samples of the device rate; what it plays goes
// to "ao_dev0_chn<N>.wav" in the board's root. Frames come from user space
// (waiting for room as the caller's time-out allows) or from a capture channel
// bound to the output channel. Each channel also keeps the last two seconds of
// what it played (track 0), time-stamped from the platform's clock: the
// capture driver mixes channel 0's into the microphone as the room's echo and
// hands it to linked capture channels as their echo reference. The device's
// track mode, volume and mute act on every frame as it plays, so the files,
// the echo and the reference hold what the speaker gives out.
#include "board/sim/audio/audio.h"
#include "board/sim/sim.h"
#include "mpi/audio/ao/ao_requests.h"

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

constexpr unsigned kChns = 16;
constexpr u32 kMaxPtNum = 4096;
constexpr u32 kHistorySeconds = 2;
// The volume the output stage has, in dB (below the least: silence).
constexpr s32 kMinVolumeDb = -121, kMaxVolumeDb = 6;
// A fade's rate code r takes 2^r ms; codes above take the longest.
constexpr u32 kMaxFadeRate = 10;

s32 code(u32 c) { return mpi_status(DU_ID_AO, c); }

struct Chn {
    u32 state = AO_CHN_STATE_DISABLED;
    std::deque<std::vector<uint8_t>> queue; // device frames, tracks interleaved sample by sample
    audio::WavWriter wav;
    uint64_t played = 0;
    uint64_t dropped = 0;
    AUDIO_SAVE_FILE_INFO_S save{};
    AO_RESMP_STATUS_S resmp{};
    std::vector<uint8_t> vqe = std::vector<uint8_t>(AO_VQE_STATUS_LEN);
    // What it played, track 0: samples [hist_begin, hist_end) of the device's
    // sample clock (counted from enable) in a ring of kHistorySeconds.
    std::vector<int16_t> hist;
    uint64_t hist_begin = 0, hist_end = 0;
    bool hist_on = false;
};

struct Ao {
    std::mutex lock;
    std::condition_variable room_cv; // a frame was played or a queue went away
    std::condition_variable stop_cv;
    AIO_ATTR_S attr{};
    bool attr_set = false;
    bool enabled = false;
    uint64_t generation = 0;
    u32 track_mode = 0, clk_dir = 0;
    s32 volume = 0;
    AO_MUTE_REQ_S mute{};
    double mute_gain = 1; // where a fade has got to: 1 sounding, 0 muted
    Chn chn[kChns];
    std::thread player;
    bool run = false;
    uint64_t pts0 = 0;  // time stamp of sample 0 of the play clock
    uint64_t ticks = 0; // device frames the clock has played since
};

Ao &ao()
{
    static Ao a;
    return a;
}

unsigned tracks(const AIO_ATTR_S &a) { return a.enSoundmode == audio::kStereo ? 2 : 1; }
u32 frame_bytes(const AIO_ATTR_S &a) { return a.u32PtNumPerFrm << a.enBitwidth; }
size_t capacity(const AIO_ATTR_S &a) { return a.u32FrmNum; }


// One device frame from its tracks, interleaved as the WAV file wants it.
std::vector<uint8_t> interleave(const AIO_ATTR_S &a, const uint8_t *const track[])
{
    unsigned n = tracks(a), w = 1u << a.enBitwidth;
    std::vector<uint8_t> out(frame_bytes(a) * n);
    for (u32 i = 0; i < a.u32PtNumPerFrm; i++)
        for (unsigned t = 0; t < n; t++)
            memcpy(&out[(i * n + t) * w], track[t] + i * w, w);
    return out;
}

// The volume as a gain (1 at 0 dB).
double volume_gain(s32 db) { return db <= kMinVolumeDb ? 0.0 : std::pow(10.0, db / 20.0); }

double fade_step(const Ao &s, bool muting)
{
    if (!s.mute.stFade.bFade)
        return 1.0;
    u32 rate = std::min(muting ? s.mute.stFade.enFadeOutRate : s.mute.stFade.enFadeInRate, kMaxFadeRate);
    return 1000.0 / ((double)(1u << rate) * s.attr.enSamplerate);
}

// The gain of each sample of the next device frame: the volume, times the
// mute's fade where it has got to (moved on by the frame).
std::vector<double> next_gains(Ao &s)
{
    std::vector<double> g(s.attr.u32PtNumPerFrm);
    const double target = s.mute.bEnable ? 0.0 : 1.0, step = fade_step(s, s.mute.bEnable != 0);
    const double volume = volume_gain(s.volume);
    for (double &v : g) {
        s.mute_gain =
            target < s.mute_gain ? std::max(target, s.mute_gain - step) : std::min(target, s.mute_gain + step);
        v = volume * s.mute_gain;
    }
    return g;
}

int16_t clamp16(double v) { return (int16_t)lrint(std::max(-32768.0, std::min(32767.0, v))); }

// Sample `i` of track `t` of an interleaved device frame, as 16 bit.
int16_t sample_at(const AIO_ATTR_S &a, const std::vector<uint8_t> &frame, u32 i, unsigned t)
{
    size_t at = ((size_t)i * tracks(a) + t) << a.enBitwidth;
    if (a.enBitwidth == audio::kWidth16)
        return (int16_t)(frame[at] | frame[at + 1] << 8);
    return (int16_t)((int8_t)frame[at] * 256);
}

void put_at(const AIO_ATTR_S &a, std::vector<uint8_t> &frame, u32 i, unsigned t, int16_t v)
{
    size_t at = ((size_t)i * tracks(a) + t) << a.enBitwidth;
    if (a.enBitwidth == audio::kWidth16) {
        frame[at] = (uint8_t)v;
        frame[at + 1] = (uint8_t)(v >> 8);
    } else {
        frame[at] = (uint8_t)(v >> 8);
    }
}

// Sample `i` of a queued frame as the speaker gives it out at `gain`, its
// left track (a mono device's one track is its left and its right).
double output_left(const Ao &s, const std::vector<uint8_t> &frame, u32 i, double gain)
{
    double left = sample_at(s.attr, frame, i, 0), right = tracks(s.attr) > 1 ? sample_at(s.attr, frame, i, 1) : left;
    audio::apply_track_mode(s.track_mode, left, right);
    return left * gain;
}

// A queued frame as the speaker gives it out: the track mode, then the gains.
std::vector<uint8_t> output_frame(const Ao &s, const std::vector<uint8_t> &frame, const std::vector<double> &gains)
{
    std::vector<uint8_t> out = frame;
    const bool stereo = tracks(s.attr) > 1;
    for (u32 i = 0; i < s.attr.u32PtNumPerFrm; i++) {
        double left = sample_at(s.attr, frame, i, 0), right = stereo ? sample_at(s.attr, frame, i, 1) : left;
        audio::apply_track_mode(s.track_mode, left, right);
        put_at(s.attr, out, i, 0, clamp16(left * gains[i]));
        if (stereo)
            put_at(s.attr, out, i, 1, clamp16(right * gains[i]));
    }
    return out;
}

// Adds one device frame of what the channel played (null: silence) from
// sample `start` of the play clock on.
void remember(const AIO_ATTR_S &a, Chn &ch, uint64_t start, const std::vector<uint8_t> *frame)
{
    size_t cap = (size_t)a.enSamplerate * kHistorySeconds;
    if (ch.hist.size() != cap)
        ch.hist.assign(cap, 0);
    if (!ch.hist_on || start != ch.hist_end) { // a gap: what went before is no longer next to it
        ch.hist_begin = ch.hist_end = start;
        ch.hist_on = true;
    }
    for (u32 i = 0; i < a.u32PtNumPerFrm; i++)
        ch.hist[(ch.hist_end + i) % cap] = frame ? sample_at(a, *frame, i, 0) : 0;
    ch.hist_end += a.u32PtNumPerFrm;
    if (ch.hist_end - ch.hist_begin > cap)
        ch.hist_begin = ch.hist_end - cap;
}

void forget(Chn &ch)
{
    ch.hist.clear();
    ch.hist_on = false;
    ch.hist_begin = ch.hist_end = 0;
}

// One tick of the play clock: every running channel plays a device frame.
void play_tick(Ao &s, bool restarted)
{
    if (restarted) {
        // What was played no longer lines up with the time stamps.
        s.pts0 = platform_pts_us();
        s.ticks = 0;
        for (Chn &ch : s.chn)
            forget(ch);
    }
    const uint64_t start = s.ticks++ * s.attr.u32PtNumPerFrm;
    const std::vector<double> gains = next_gains(s);
    bool played = false;
    for (Chn &ch : s.chn) {
        if (ch.state == AO_CHN_STATE_DISABLED)
            continue;
        if (ch.state != AO_CHN_STATE_RUNNING || ch.queue.empty()) {
            remember(s.attr, ch, start, nullptr); // a paused or starved channel is silent
            continue;
        }
        const std::vector<uint8_t> out = output_frame(s, ch.queue.front(), gains);
        remember(s.attr, ch, start, &out);
        ch.wav.write(out.data(), out.size());
        ch.queue.pop_front();
        ch.played++;
        played = true;
    }
    if (played)
        s.room_cv.notify_all();
}

void play_loop()
{
    Ao &s = ao();
    audio::run_frame_clock(s, [&](std::unique_lock<std::mutex> &, uint64_t skipped) { play_tick(s, skipped > 0); });
}

// Track 0 at sample `j` of the play clock: played, about to be played (the
// head of the queue plays at the next tick), or silence.
int16_t played_at(const Ao &s, const Chn &ch, int64_t j)
{
    if (j < (int64_t)ch.hist_begin)
        return 0;
    if (j < (int64_t)ch.hist_end)
        return ch.hist[(size_t)j % ch.hist.size()];
    uint64_t ahead = (uint64_t)j - ch.hist_end;
    if (ahead < s.attr.u32PtNumPerFrm && ch.state == AO_CHN_STATE_RUNNING && !ch.queue.empty())
        return clamp16(output_left(s, ch.queue.front(), (u32)ahead, volume_gain(s.volume) * s.mute_gain));
    return 0;
}

void disable_chn(Ao &s, unsigned c)
{
    Chn &ch = s.chn[c];
    if (ch.state != AO_CHN_STATE_DISABLED)
        event("ao", "disable chn %u after %llu frames", c, (unsigned long long)ch.played);
    ch.state = AO_CHN_STATE_DISABLED;
    ch.queue.clear();
    ch.wav.close();
    forget(ch);
    s.room_cv.notify_all();
}

void disable_device(std::unique_lock<std::mutex> &lock)
{
    Ao &s = ao();
    if (s.player.joinable()) {
        s.run = false;
        s.stop_cv.notify_all();
        std::thread t = std::move(s.player);
        lock.unlock();
        t.join();
        lock.lock();
    }
    for (unsigned c = 0; c < kChns; c++)
        disable_chn(s, c);
    s.enabled = false;
    s.generation++;
    s.room_cv.notify_all();
}

// A bound capture channel's frame: played when it has the device's format,
// dropped when the queue is full (the capture cannot wait).
audio::SinkRegistration ao_sink(DU_ID_AO, [](const ChnAddr &dst, const audio::FramePtr &frame) {
    Ao &s = ao();
    if (dst.dev != 0 || dst.chn < 0 || (unsigned)dst.chn >= kChns)
        return;
    std::lock_guard<std::mutex> lock(s.lock);
    Chn &ch = s.chn[dst.chn];
    if (!s.enabled || ch.state != AO_CHN_STATE_RUNNING)
        return;
    const AUDIO_FRAME_S &f = frame->rec;
    if (f.enBitwidth != s.attr.enBitwidth || f.enSoundmode != s.attr.enSoundmode ||
        f.u32Len != frame_bytes(s.attr) || ch.queue.size() >= capacity(s.attr)) {
        if (ch.dropped++ % 100 == 0)
            event("ao", "chn %d drops a bound frame (%s)", dst.chn,
                  ch.queue.size() >= capacity(s.attr) ? "queue full" : "format differs from the device");
        return;
    }
    const uint8_t *track[audio::kMaxTracks] = {frame->track(0), frame->tracks() > 1 ? frame->track(1) : nullptr};
    ch.queue.push_back(interleave(s.attr, track));
});

Hooks ao_hooks(nullptr, [] {
    Ao &s = ao();
    std::unique_lock<std::mutex> lock(s.lock);
    disable_device(lock);
    s.attr = AIO_ATTR_S{};
    s.attr_set = false;
    s.track_mode = s.clk_dir = 0;
    s.volume = 0;
    s.mute = AO_MUTE_REQ_S{};
    s.mute_gain = 1;
    for (Chn &ch : s.chn)
        ch = Chn();
});

using audio::load;
using audio::store;

// What an AO request works on: the device under its lock and the channel the
// descriptor serves (set by the bind request).
struct AoCall {
    Ao &s;
    std::unique_lock<std::mutex> &lock;
    u32 &chn;
    Chn &ch() { return s.chn[chn]; }
};

int ao_enable(AoCall &k, void *)
{
    Ao &s = k.s;
    if (s.enabled)
        return 0;
    if (!s.attr_set)
        return code(ERR_NOT_CONFIG);
    s.enabled = true;
    s.generation++;
    s.pts0 = platform_pts_us();
    s.ticks = 0;
    s.run = true;
    s.player = std::thread(play_loop);
    event("ao", "enable %u Hz %u bit %s, %u samples a frame", s.attr.enSamplerate, 8u << s.attr.enBitwidth,
          s.attr.enSoundmode ? "stereo" : "mono", s.attr.u32PtNumPerFrm);
    return 0;
}

int ao_disable(AoCall &k, void *)
{
    if (k.s.enabled)
        event("ao", "disable");
    disable_device(k.lock);
    return 0;
}

int ao_enable_chn(AoCall &k, void *)
{
    Ao &s = k.s;
    Chn &ch = k.ch();
    if (!s.enabled)
        return code(ERR_UNEXIST);
    if (k.chn >= s.attr.u32ChnCnt)
        return code(ERR_INVALID_CHNID);
    if (ch.state != AO_CHN_STATE_DISABLED)
        return 0;
    char name[32];
    snprintf(name, sizeof name, "/ao_dev0_chn%u.wav", k.chn);
    if (!ch.wav.open(root() + name, s.attr.enSamplerate, tracks(s.attr), 8u << s.attr.enBitwidth))
        event("ao", "cannot write %s", name + 1);
    ch.state = AO_CHN_STATE_RUNNING;
    ch.played = ch.dropped = 0;
    event("ao", "enable chn %u", k.chn);
    return 0;
}

// Pausing and resuming: a channel that is off stays off.
int ao_set_state(AoCall &k, u32 state)
{
    if (k.ch().state == AO_CHN_STATE_DISABLED)
        return code(ERR_UNEXIST);
    k.ch().state = state;
    return 0;
}

int ao_query_chnstat(AoCall &k, void *arg)
{
    Chn &ch = k.ch();
    if (ch.state == AO_CHN_STATE_DISABLED)
        return code(ERR_UNEXIST);
    AO_CHN_STATE_S st;
    st.u32ChnTotalNum = (u32)capacity(k.s.attr);
    st.u32ChnBusyNum = (u32)ch.queue.size();
    st.u32ChnFreeNum = st.u32ChnTotalNum - st.u32ChnBusyNum;
    return load(arg, st);
}

// Queues one device frame, waiting for room as long as the caller allows.
int ao_send_frame(AoCall &k, void *arg)
{
    Ao &s = k.s;
    AO_SEND_FRAME_REQ_S req;
    if (!get_user(req, arg))
        return fail(EFAULT);
    Chn &ch = k.ch();
    if (!s.enabled || ch.state == AO_CHN_STATE_DISABLED)
        return code(ERR_UNEXIST);
    const AUDIO_FRAME_S &f = req.stFrm;
    if (f.enBitwidth != s.attr.enBitwidth || f.enSoundmode != s.attr.enSoundmode || f.u32Len != frame_bytes(s.attr))
        return code(ERR_ILLEGAL_PARAM);
    std::vector<uint8_t> data[audio::kMaxTracks];
    const uint8_t *track[audio::kMaxTracks] = {};
    for (unsigned t = 0; t < tracks(s.attr); t++) {
        data[t].resize(f.u32Len);
        if (!copy_from_user(data[t].data(), f.pVirAddr[t], f.u32Len))
            return fail(EFAULT);
        track[t] = data[t].data();
    }
    uint64_t gen = s.generation;
    wait_ms(s.room_cv, k.lock, req.s32MilliSec, [&] {
        return ch.queue.size() < capacity(s.attr) || ch.state == AO_CHN_STATE_DISABLED || s.generation != gen;
    });
    if (ch.state == AO_CHN_STATE_DISABLED || s.generation != gen)
        return code(ERR_UNEXIST);
    if (ch.queue.size() >= capacity(s.attr))
        return code(ERR_BUF_FULL);
    ch.queue.push_back(interleave(s.attr, track));
    return 0;
}

// The track mode, volume and mute act from the next frame played.
int ao_set_volume(AoCall &k, void *arg)
{
    s32 db;
    if (!get_user(db, arg))
        return fail(EFAULT);
    if (db < kMinVolumeDb || db > kMaxVolumeDb)
        return code(ERR_ILLEGAL_PARAM);
    k.s.volume = db;
    return 0;
}

const IoctlOp<AoCall> kAoOps[] = {
    {AO_BIND_CHN_CTRL, [](AoCall &k, void *arg) { return audio::bind_channel(arg, kChns, DU_ID_AO, &k.chn); }},
    {AO_SET_PUBATTR_CTRL,
     [](AoCall &k, void *arg) { return audio::set_pubattr(k.s, arg, DU_ID_AO, kMaxPtNum, kChns, nullptr); }},
    {AO_GET_PUBATTR_CTRL, [](AoCall &k, void *arg) { return audio::get_pubattr(k.s, arg, DU_ID_AO); }},
    {AO_CLR_PUBATTR_CTRL, [](AoCall &k, void *) { return audio::clr_pubattr(k.s, DU_ID_AO); }},
    {AO_ENABLE_CTRL, ao_enable},
    {AO_DISABLE_CTRL, ao_disable},
    {AO_ENABLE_CHN_CTRL, ao_enable_chn},
    {AO_DISABLE_CHN_CTRL,
     [](AoCall &k, void *) {
         disable_chn(k.s, k.chn);
         return 0;
     }},
    {AO_SEND_FRAME_CTRL, ao_send_frame},
    {AO_PAUSE_CHN_CTRL, [](AoCall &k, void *) { return ao_set_state(k, AO_CHN_STATE_PAUSED); }},
    {AO_RESUME_CHN_CTRL, [](AoCall &k, void *) { return ao_set_state(k, AO_CHN_STATE_RUNNING); }},
    {AO_CLEAR_CHNBUF_CTRL,
     [](AoCall &k, void *) {
         k.ch().queue.clear();
         k.s.room_cv.notify_all();
         return 0;
     }},
    {AO_QUERY_CHNSTAT_CTRL, ao_query_chnstat},
    {AO_GET_CHNSTATE_CTRL, [](AoCall &k, void *arg) { return load(arg, k.ch().state); }},
    {AO_RESMP_STATUS_CTRL, [](AoCall &k, void *arg) { return store(arg, k.ch().resmp); }},
    {AO_VQE_STATUS_CTRL,
     [](AoCall &k, void *arg) {
         return copy_from_user(k.ch().vqe.data(), arg, k.ch().vqe.size()) ? 0 : fail(EFAULT);
     }},
    {AO_SET_TRACKMODE_CTRL, [](AoCall &k, void *arg) { return audio::set_track_mode(arg, &k.s.track_mode, DU_ID_AO); }},
    {AO_GET_TRACKMODE_CTRL, [](AoCall &k, void *arg) { return load(arg, k.s.track_mode); }},
    {AO_SET_CLKDIR_CTRL, [](AoCall &k, void *arg) { return store(arg, k.s.clk_dir); }},
    {AO_GET_CLKDIR_CTRL, [](AoCall &k, void *arg) { return load(arg, k.s.clk_dir); }},
    {AO_SET_VOLUME_CTRL, ao_set_volume},
    {AO_GET_VOLUME_CTRL, [](AoCall &k, void *arg) { return load(arg, k.s.volume); }},
    {AO_SET_MUTE_CTRL, [](AoCall &k, void *arg) { return store(arg, k.s.mute); }},
    {AO_GET_MUTE_CTRL, [](AoCall &k, void *arg) { return load(arg, k.s.mute); }},
    {AO_SET_SAVEFILE_CTRL, [](AoCall &k, void *arg) { return store(arg, k.ch().save); }},
    {AO_GET_SAVEFILE_CTRL, [](AoCall &k, void *arg) { return load(arg, k.ch().save); }},
};

class AoFile : public Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        Ao &s = ao();
        std::unique_lock<std::mutex> lock(s.lock);
        AoCall call{s, lock, chn_};
        return dispatch(kAoOps, request, call, arg);
    }

private:
    u32 chn_ = 0;
};

DeviceRegistration ao_device("/dev/ao", [](int) { return std::make_shared<AoFile>(); });

} // namespace

namespace audio {

bool ao_played(int chn, uint64_t from_us, uint32_t rate, size_t n, int16_t *out)
{
    Ao &s = ao();
    std::lock_guard<std::mutex> lock(s.lock);
    if (!s.enabled || chn < 0 || (unsigned)chn >= kChns || rate == 0)
        return false;
    const Chn &ch = s.chn[chn];
    if (ch.state == AO_CHN_STATE_DISABLED || !ch.hist_on)
        return false;
    // The nearest sample of the play clock: a room passes the output's whole
    // band (an interpolation would dull it).
    const double ao_per_us = s.attr.enSamplerate / 1e6;
    const double start = ((double)from_us - (double)s.pts0) * ao_per_us, step = (double)s.attr.enSamplerate / rate;
    for (size_t i = 0; i < n; i++)
        out[i] = played_at(s, ch, (int64_t)std::floor(start + i * step + 0.5));
    return true;
}

} // namespace audio
} // namespace sim
