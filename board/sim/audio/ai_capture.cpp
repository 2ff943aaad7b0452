// The capture driver's clock: a frame of the microphone's sound (and the
// room's echo) through the codec's gain every u32PtNumPerFrm samples, into
// each enabled channel's queue and along the bind table, with the echo
// reference attached for channels linked to an output channel.
#include "board/sim/audio/ai.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace sim::capture {
namespace {

// Frames the bound encoder and output channels may hold on top of the
// device's own frame buffers.
constexpr u32 kExtraFrames = 16;

} // namespace

Ai &ai()
{
    static Ai a;
    return a;
}

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

namespace {

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

// The next captured frame: the codec's left input is the microphone (the
// sound and the room's echo), its right input the line input, where nothing
// is plugged in; both through the codec's gain, then the track mode. A mono
// device takes the left track.
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
    const uint64_t n0 = s.frames * a.u32PtNumPerFrm;
    uint8_t *p[audio::kMaxTracks] = {phys(f->rec.u32PhyAddr[0]), tracks > 1 ? phys(f->rec.u32PhyAddr[1]) : nullptr};
    for (u32 i = 0; i < a.u32PtNumPerFrm; i++) {
        double mic = s.sound.sample(n0 + i, 0, a.enSamplerate) + (echo ? s.echo.gain * s.echo_buf[i] : 0);
        double left = gain * mic, right = 0; // the line input
        audio::apply_track_mode(s.track_mode, left, right);
        put_sample(a, p[0], i, left);
        if (p[1])
            put_sample(a, p[1], i, right);
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

} // namespace

namespace {

// One tick of the capture clock: a frame to every enabled channel. The
// `skipped` ticks before it were never captured: the sound of that time is
// lost, and the stamps and the sound move on past it.
void capture_tick(Ai &s, std::unique_lock<std::mutex> &lock, uint64_t skipped)
{
    std::vector<s32> to;
    for (unsigned c = 0; c < kChns; c++)
        if (s.chn[c].enabled)
            to.push_back((s32)c);
    s.frames += skipped;
    if (to.empty()) {
        s.frames++; // the clock runs on, unheard
        return;
    }
    if (skipped)
        s.drops.drop("ai", "loses frames (capture fell behind)", skipped);
    FramePtr captured = make_frame(s);
    s.frames++;
    if (!captured) {
        s.overruns++;
        s.drops.drop("ai", "overrun: drops a frame (every frame buffer held)");
        return;
    }
    s.drops.pass();
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

} // namespace

void capture_loop()
{
    Ai &s = ai();
    // The device's frame buffers hold what was captured while the clock
    // was away: it catches up over as many frames.
    const uint32_t catch_up = std::max(audio::FrameClock::kCatchUp, s.attr.u32FrmNum);
    audio::run_frame_clock(
        s, [&](std::unique_lock<std::mutex> &lock, uint64_t skipped) { capture_tick(s, lock, skipped); }, catch_up);
    std::lock_guard<std::mutex> lock(s.lock);
    s.drops.flush();
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

namespace {

Hooks ai_hooks(
    [] {
        Sound sound; // a file is read outside the lock
        sound.from_conf();
        Echo echo;
        echo.from_conf();
        Ai &s = ai();
        std::lock_guard<std::mutex> lock(s.lock);
        std::swap(s.sound, sound);
        s.echo = echo;
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

} // namespace
} // namespace sim::capture
