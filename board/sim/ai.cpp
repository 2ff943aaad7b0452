// /dev/ai: the audio capture driver. One device, 16 channels. While the device
// is enabled a capture clock delivers one frame every u32PtNumPerFrm samples
// of the device rate from the board's sound to every enabled channel: into
// the channel's own queue for GetFrame when it has a frame depth, and along
// the kernel bind table to the bound encoder and output channels.
//
// The microphone hears the board's sound (board.conf `audio`, the `audio`
// command: a tone, silence, a WAV file, noise, a tone in noise or a tone with
// mains hum) and, with `audio.echo = GAIN DELAY_MS`, what output channel 0
// plays, attenuated by GAIN and late by DELAY_MS, as a room would echo it.
// The codec's gain word is the microphone gain in dB (1 dB a step, 0 dB at
// word 0) and scales both. A channel linked to an output channel (for echo
// cancellation, or asking for reference frames) gets with every frame that
// output channel's played samples of the same span as its echo reference.
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
#include <map>
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
constexpr double kToneAmplitude = 16384; // half of full scale
constexpr double kHumLevelDb = -12.0;     // the hum and the tone over it
constexpr double kHumToneHz = 1000;
constexpr u32 kMaxGainDb = 120;           // the codec's largest gain word
constexpr double kMaxEchoDelayMs = 1000;
// Frames the bound encoder and output channels may hold on top of the
// device's own frame buffers.
constexpr u32 kExtraFrames = 16;

s32 code(u32 c) { return mpi_status(DU_ID_AI, c); }

double amplitude(double dbfs) { return 32767.0 * pow(10.0, dbfs / 20.0); }

// A Gaussian value for sample `n` of track `t`: the same whatever the frames
// are cut into (splitmix64, then Box-Muller).
double gaussian(uint64_t n, unsigned t)
{
    auto mix = [](uint64_t z) {
        z += 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    uint64_t a = mix(n * 2 + t * 0x10000000000ull), b = mix(a);
    double u1 = ((a >> 11) + 1.0) / 9007199254740993.0, u2 = (b >> 11) / 9007199254740992.0;
    return sqrt(-2 * log(u1)) * cos(2 * M_PI * u2);
}

// The sound in front of the microphone.
struct Sound {
    enum Kind { tone, silence, file, noise, tone_noise, hum } kind = tone;
    double hz = 1000;
    double noise_rms = 0; // the noise's level: that of a sine of the given dBFS
    audio::WavData wav;

    // From the words of board.conf's `audio` or the `audio` command; "" or
    // why they are refused (then nothing changes).
    std::string parse(const std::vector<std::string> &w)
    {
        Sound next;
        double hz_in = 0, db = 0;
        auto number = [&](size_t i, double lo, double hi, double &v) {
            return w.size() > i && parse_double(w[i], v) && v >= lo && v <= hi;
        };
        if (w.size() == 1 && w[0] == "silence") {
            next.kind = silence;
        } else if (w[0] == "tone" && w.size() == 2 && number(1, 1, 24000, hz_in)) {
            next.hz = hz_in;
        } else if (w[0] == "noise" && w.size() == 2 && number(1, -100, 0, db)) {
            next.kind = noise;
            next.noise_rms = amplitude(db) / sqrt(2.0);
        } else if (w[0] == "tone+noise" && w.size() == 3 && number(1, 1, 24000, hz_in) && number(2, -100, 0, db)) {
            next.kind = tone_noise;
            next.hz = hz_in;
            next.noise_rms = amplitude(db) / sqrt(2.0);
        } else if (w[0] == "hum" && w.size() == 2 && number(1, 1, 24000, hz_in)) {
            next.kind = hum;
            next.hz = hz_in;
        } else if (w[0] == "file" && w.size() == 2) {
            // A relative name lies in the board's root.
            std::string path = w[1][0] == '/' ? w[1] : root() + "/" + w[1];
            std::string why;
            if (!audio::wav_read(path, next.wav, why))
                return "audio file " + w[1] + ": " + why;
            next.kind = file;
        } else {
            return "usage: audio tone HZ | silence | file PATH | noise DBFS | tone+noise HZ DBFS | hum HZ";
        }
        *this = std::move(next);
        return "";
    }

    void from_conf()
    {
        *this = Sound();
        std::string text = conf("audio", "tone 1000");
        std::vector<std::string> words = split_words(text);
        if (words.empty())
            return;
        std::string why = parse(words);
        if (!why.empty())
            event("ai", "audio '%s' not understood (%s), capturing a 1000 Hz tone", text.c_str(), why.c_str());
    }

    static double sine(double hz, uint64_t n, uint32_t rate)
    {
        // The phase is kept modulo one period so that it stays exact however long the board runs.
        return sin(2 * M_PI * fmod(hz * (double)n, rate) / rate);
    }

    // Sample `n` (counted from device enable) of track `t` at `rate`.
    double sample(uint64_t n, unsigned t, uint32_t rate) const
    {
        switch (kind) {
        case tone:
            return kToneAmplitude * sine(hz, n, rate);
        case noise:
            return noise_rms * gaussian(n, t);
        case tone_noise:
            return kToneAmplitude * sine(hz, n, rate) + noise_rms * gaussian(n, t);
        case hum:
            return amplitude(kHumLevelDb) * (sine(kHumToneHz, n, rate) + sine(hz, n, rate));
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

// The room's echo of output channel 0 into the microphone.
struct Echo {
    double gain = 0; // 0: none
    double delay_ms = 0;

    std::string parse(const std::vector<std::string> &w)
    {
        double g, d;
        if (w.size() == 1 && w[0] == "off") {
            *this = Echo();
            return "";
        }
        if (w.size() != 2 || !parse_double(w[0], g) || g < 0 || g > 1 || !parse_double(w[1], d) || d < 0 ||
            d > kMaxEchoDelayMs)
            return "usage: audio echo GAIN DELAY_MS (gain 0..1, delay 0..1000 ms) | audio echo off";
        gain = g;
        delay_ms = d;
        return "";
    }

    void from_conf()
    {
        *this = Echo();
        std::string text = conf("audio.echo", "off");
        std::string why = parse(split_words(text));
        if (!why.empty())
            event("ai", "audio.echo '%s' not understood, no echo", text.c_str());
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
    // Each frame may come with an echo reference of its own.
    u32 count = (a.u32FrmNum + kExtraFrames) * tracks * 2;
    u32 id = vb_create_pool(block, count, "");
    if (id == kNoPool) {
        event("ai", "frame pool of %u x %u bytes refused", count, block);
        return code(ERR_NOMEM);
    }
    s.pool = std::make_shared<FramePool>(id);
    return 0;
}

// ---- capture -------------------------------------------------------------------------------

// A frame of blocks from the pool, released with the last holder; null when
// every block is held (an overrun).
std::shared_ptr<Frame> new_frame(Ai &s, unsigned tracks)
{
    std::shared_ptr<FramePool> pool = s.pool;
    auto release = [pool](Frame *fr) {
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
        f->rec.u32PhyAddr[t] = vb_block_phys(f->handle[t]);
        f->rec.u32PoolId[t] = pool->id;
    }
    return std::shared_ptr<Frame>(f.release(), release);
}

void put_sample(const AIO_ATTR_S &a, uint8_t *p, u32 i, double v)
{
    int16_t x = (int16_t)lrint(std::max(-32768.0, std::min(32767.0, v)));
    if (a.enBitwidth == audio::kWidth16)
        memcpy(p + 2 * i, &x, 2);
    else
        p[i] = (uint8_t)(x >> 8);
}

// The next captured frame: the sound and the room's echo, through the
// microphone's gain.
FramePtr make_frame(Ai &s)
{
    const AIO_ATTR_S &a = s.attr;
    unsigned tracks = a.enSoundmode == audio::kStereo ? 2 : 1;
    std::shared_ptr<Frame> f = new_frame(s, tracks);
    if (!f)
        return nullptr;
    f->rec.enBitwidth = a.enBitwidth;
    f->rec.enSoundmode = a.enSoundmode;
    f->rec.u32Len = a.u32PtNumPerFrm << a.enBitwidth;
    f->rec.u32Seq = (u32)s.frames;
    // The capture clock counts samples, so the stamps step by exactly one frame.
    f->rec.u64TimeStamp = s.pts0 + s.frames * a.u32PtNumPerFrm * 1000000ull / a.enSamplerate;

    s.echo_buf.assign(a.u32PtNumPerFrm, 0);
    uint64_t delay_us = (uint64_t)(s.echo.delay_ms * 1000);
    bool echo = s.echo.gain > 0 && f->rec.u64TimeStamp >= delay_us &&
                audio::ao_played(0, f->rec.u64TimeStamp - delay_us, a.enSamplerate, a.u32PtNumPerFrm,
                                 s.echo_buf.data());
    const double gain = pow(10.0, s.gain / 20.0);
    uint64_t n0 = s.frames * a.u32PtNumPerFrm;
    for (unsigned t = 0; t < tracks; t++) {
        uint8_t *p = phys(f->rec.u32PhyAddr[t]);
        for (u32 i = 0; i < a.u32PtNumPerFrm; i++) {
            double v = s.sound.sample(n0 + i, t, a.enSamplerate);
            if (echo)
                v += s.echo.gain * s.echo_buf[i];
            put_sample(a, p, i, gain * v);
        }
    }
    return f;
}

// The echo reference of a mono frame: what output channel `ao_chn` played over
// the frame's span, in the frame's format; null when that channel plays nothing.
FramePtr make_ref(Ai &s, const Frame &captured, u32 ao_chn)
{
    const AIO_ATTR_S &a = s.attr;
    std::vector<int16_t> played(a.u32PtNumPerFrm);
    if (!audio::ao_played((int)ao_chn, captured.rec.u64TimeStamp, a.enSamplerate, played.size(), played.data()))
        return nullptr;
    std::shared_ptr<Frame> ref = new_frame(s, 1);
    if (!ref)
        return nullptr;
    ref->rec.enBitwidth = a.enBitwidth;
    ref->rec.enSoundmode = 0;
    ref->rec.u32Len = captured.rec.u32Len;
    ref->rec.u32Seq = captured.rec.u32Seq;
    ref->rec.u64TimeStamp = captured.rec.u64TimeStamp;
    uint8_t *p = phys(ref->rec.u32PhyAddr[0]);
    for (u32 i = 0; i < a.u32PtNumPerFrm; i++)
        put_sample(a, p, i, played[i]);
    return ref;
}

// The frame channel `c` gets: the captured one, or with a reference attached.
FramePtr frame_for(Ai &s, const FramePtr &captured, const Chn &ch, std::map<u32, FramePtr> &refs)
{
    if (!ch.linked() || s.attr.enSoundmode == audio::kStereo)
        return captured;
    auto it = refs.find(ch.aec.u32AoChn);
    if (it == refs.end())
        it = refs.emplace(ch.aec.u32AoChn, make_ref(s, *captured, ch.aec.u32AoChn)).first;
    if (!it->second)
        return captured;
    auto f = std::make_shared<Frame>();
    f->rec = captured->rec;
    f->owner = captured;
    f->ref = it->second;
    return f;
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
        FramePtr captured = make_frame(s);
        s.frames++;
        if (!captured) {
            if (s.overruns++ % 100 == 0)
                event("ai", "overrun: every frame buffer is held");
            continue;
        }
        std::map<u32, FramePtr> refs; // one reference per output channel
        std::vector<FramePtr> out;
        for (s32 c : to) {
            Chn &ch = s.chn[c];
            out.push_back(frame_for(s, captured, ch, refs));
            if (ch.param.u32FrmDepth == 0)
                continue;
            while (ch.queue.size() >= ch.param.u32FrmDepth)
                ch.queue.pop_front(); // the oldest frame is overwritten
            ch.queue.push_back(out.back());
        }
        captured.reset();
        refs.clear();
        s.frame_cv.notify_all();
        // Bound channels take the frame without waiting; the lock is not held
        // so that their drivers never wait on this one.
        s.delivering = true;
        lock.unlock();
        for (size_t i = 0; i < to.size(); i++)
            audio::route({DU_ID_AI, 0, to[i]}, out[i]);
        out.clear();
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
        s.echo.from_conf();
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
    {AI_SET_TRACKMODE_CTRL, [](AiCall &k, void *arg) { return store(arg, k.s.track_mode); }},
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

// `audio SOUND...` changes what the microphone hears, `audio echo ...` the
// room's echo; both take effect with the next captured frame.
std::string cmd_audio(const std::vector<std::string> &a)
{
    if (a.empty())
        return "error: usage: audio tone HZ | silence | file PATH | noise DBFS | tone+noise HZ DBFS | hum HZ | "
               "echo GAIN DELAY_MS | echo off";
    Ai &s = ai();
    std::lock_guard<std::mutex> lock(s.lock);
    std::string why = a[0] == "echo" ? s.echo.parse(std::vector<std::string>(a.begin() + 1, a.end()))
                                     : s.sound.parse(a);
    return why.empty() ? "ok" : "error: " + why;
}

CommandRegistration reg_audio("audio", cmd_audio);

} // namespace
} // namespace sim
