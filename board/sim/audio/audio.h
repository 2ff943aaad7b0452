// Board-side audio: captured frames and their blocks, routes along the bind
// table from the capture driver to the encoder and output drivers, and WAV
// files in and out.
#pragma once

#include "board/sim/sim.h"
#include "mpi/audio/ai/ai_requests.h"
#include "mpi/audio/comm/audio_requests.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim::audio {

// Field values of the frame and attribute records.
constexpr uint32_t kWidth16 = 1; // enBitwidth
constexpr uint32_t kStereo = 1;  // enSoundmode
constexpr unsigned kMaxTracks = 2;

// A captured frame as the capture driver hands it out: physical addresses and
// pool ids, no user addresses. Its buffer-pool blocks are released when the
// last holder lets the frame go. A channel linked to an output channel gets
// the frame with the echo reference attached: a frame of its own that borrows
// the captured frame's blocks.
struct Frame {
    AUDIO_FRAME_S rec{};
    uint32_t handle[kMaxTracks] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    std::shared_ptr<const Frame> owner; // whose blocks these are, when borrowed
    std::shared_ptr<const Frame> ref;   // the output's played samples of the same span, or null
    unsigned tracks() const { return rec.enSoundmode == kStereo ? 2 : 1; }
    const uint8_t *track(unsigned i) const { return sim::phys(rec.u32PhyAddr[i]); }
};
using FramePtr = std::shared_ptr<const Frame>;

// The get-frame record of a frame with its reference (bValid and u32RefFlag
// set when there is one), as /dev/ai and /dev/aenc hand frames out.
AI_FRAME_REC_S frame_record(const Frame &f);

// What output channel `chn` of the output device played (track 0, 16 bit)
// over `n` samples at `rate` from time stamp `from_us` on, resampled to that
// rate; silence where nothing played. False when the channel is not on.
bool ao_played(int chn, uint64_t from_us, uint32_t rate, size_t n, int16_t *out);


// ---- request helpers of the audio drivers ------------------------------------------------
// A record the firmware hands in, or one it asks for: 0, or -1/EFAULT.
template <class T> int store(void *arg, T &dst) { return get_user(dst, arg) ? 0 : fail(EFAULT); }
template <class T> int load(void *arg, const T &src) { return put_user(arg, src) ? 0 : fail(EFAULT); }

// The bind request every audio node takes first: the channel the descriptor
// serves, below `count`; else the module's bad-channel code.
int bind_channel(void *arg, uint32_t count, uint32_t mod, uint32_t *chn);

// Device attributes a capture or output driver can run with.
bool attr_valid(const AIO_ATTR_S &a, uint32_t max_samples, uint32_t max_chns);

// The public attributes of a capture or output device `Dev` (its members
// attr, attr_set, enabled), as both drivers keep them. Codes are module `mod`'s.
// Taken while the device is off and when valid; a refusal is logged under
// `log` unless it is null.
template <class Dev>
int set_pubattr(Dev &s, void *arg, uint32_t mod, uint32_t max_samples, uint32_t max_chns, const char *log)
{
    AIO_ATTR_S a;
    if (!get_user(a, arg))
        return fail(EFAULT);
    if (s.enabled)
        return mpi_status(mod, ERR_NOT_PERM);
    if (!attr_valid(a, max_samples, max_chns)) {
        if (log)
            event(log, "attributes refused: %u Hz, width %u, mode %u, %u samples, %u frames, %u channels",
                  a.enSamplerate, a.enBitwidth, a.enSoundmode, a.u32PtNumPerFrm, a.u32FrmNum, a.u32ChnCnt);
        return mpi_status(mod, ERR_ILLEGAL_PARAM);
    }
    s.attr = a;
    s.attr_set = true;
    return 0;
}

template <class Dev> int get_pubattr(const Dev &s, void *arg, uint32_t mod)
{
    if (!s.attr_set)
        return mpi_status(mod, ERR_NOT_CONFIG);
    return load(arg, s.attr);
}

template <class Dev> int clr_pubattr(Dev &s, uint32_t mod)
{
    if (s.enabled)
        return mpi_status(mod, ERR_NOT_PERM);
    s.attr = AIO_ATTR_S{};
    s.attr_set = false;
    return 0;
}

// Gives back a frame handed out from `held`, found by its first track's
// address: 0, or module `mod`'s illegal-parameter code.
int release_held(std::vector<FramePtr> &held, const AI_FRAME_REC_S &rec, uint32_t mod);

// ---- track modes -------------------------------------------------------------------------
// What the left and right tracks of a capture or output device become under
// its track mode (0..7, as the units pass it): as they are, both the left,
// both the right, exchanged, both their mix, the left muted, the right
// muted, both muted.
constexpr u32 kTrackModes = 8;
inline void apply_track_mode(u32 mode, double &left, double &right)
{
    const double l = left, r = right;
    switch (mode) {
    case 1:
        right = l;
        break;
    case 2:
        left = r;
        break;
    case 3:
        left = r;
        right = l;
        break;
    case 4:
        left = right = (l + r) / 2;
        break;
    case 5:
        left = 0;
        break;
    case 6:
        right = 0;
        break;
    case 7:
        left = right = 0;
        break;
    default:
        break;
    }
}

// The set-track-mode request of either device: 0, or module `mod`'s
// illegal-parameter code for a mode past 7. It acts from the next frame.
inline int set_track_mode(void *arg, uint32_t *mode, uint32_t mod)
{
    uint32_t m;
    if (!get_user(m, arg))
        return fail(EFAULT);
    if (m >= kTrackModes)
        return mpi_status(mod, ERR_ILLEGAL_PARAM);
    *mode = m;
    return 0;
}

// ---- the devices' sample clock ----------------------------------------------------------
// One tick every frame of a capture or output device's attributes, in real time.
class FrameClock {
public:
    // A clock that falls more than `catch_up` ticks behind starts afresh.
    explicit FrameClock(const AIO_ATTR_S &a, uint32_t catch_up = kCatchUp)
        : period_(std::chrono::nanoseconds(a.u32PtNumPerFrm * 1000000000ull / a.enSamplerate)),
          next_(std::chrono::steady_clock::now() + period_), catch_up_(catch_up)
    {
    }
    // Waits under `lock` for the next tick; false when `stopped` came first.
    // A board that fell far behind (a stopped debugger) starts afresh rather
    // than ticking through a burst of stale frames: `*skipped` says how many
    // ticks it left out (0 when it kept time).
    template <class Stopped>
    bool wait(std::condition_variable &cv, std::unique_lock<std::mutex> &lock, Stopped stopped, uint64_t *skipped)
    {
        if (cv.wait_until(lock, next_, stopped))
            return false;
        next_ += period_;
        const auto behind = std::chrono::steady_clock::now() - next_;
        *skipped = behind > catch_up_ * period_ ? (uint64_t)(behind / period_) : 0;
        if (*skipped)
            next_ = std::chrono::steady_clock::now() + period_;
        return true;
    }

    static constexpr uint32_t kCatchUp = 20;

private:
    std::chrono::nanoseconds period_;
    std::chrono::steady_clock::time_point next_;
    uint32_t catch_up_;
};

// A device's clock thread: `tick(lock, skipped)` on every tick, under the
// device's lock, until its run flag is cleared (`Dev` has lock, attr, run
// and stop_cv); `skipped` counts the ticks left out before this one.
template <class Dev, class Tick>
void run_frame_clock(Dev &s, Tick tick, uint32_t catch_up = FrameClock::kCatchUp)
{
    std::unique_lock<std::mutex> lock(s.lock);
    FrameClock clock(s.attr, catch_up);
    uint64_t skipped = 0;
    while (s.run && clock.wait(s.stop_cv, lock, [&] { return !s.run; }, &skipped))
        tick(lock, skipped);
}

// ---- routes along the bind table -------------------------------------------------------
using FrameSink = Routes<FramePtr>::Sink;
using SinkRegistration = Routes<FramePtr>::Registration;
inline int route(const ChnAddr &src, const FramePtr &frame) { return Routes<FramePtr>::route(src, frame); }

// ---- WAV files -----------------------------------------------------------------------------
struct WavData {
    uint32_t rate = 0;
    unsigned channels = 0;
    std::vector<int16_t> samples; // interleaved
};
// The largest WAV file taken (about 90 s of 48 kHz stereo, 9 minutes of
// 16 kHz mono: read whole while other commands wait), and how
// many chunks may come before its samples.
constexpr uint64_t kWavMaxBytes = 16ull << 20;
constexpr unsigned kWavMaxChunks = 64;
// A regular file of 16-bit PCM, up to kWavMaxBytes; false (with `why`) for
// anything else: a folder, a FIFO or a device is refused without being read.
bool wav_read(const std::string &host_path, WavData &out, std::string &why);

// A WAV file whose header is kept true after every write, so that it can be
// read while it grows and survives an abrupt end.
class WavWriter {
public:
    ~WavWriter();
    bool open(const std::string &host_path, uint32_t rate, unsigned channels, unsigned bits);
    void write(const void *data, size_t bytes);
    void close();
    bool is_open() const { return f_ != nullptr; }

private:
    FILE *f_ = nullptr;
    uint32_t data_bytes_ = 0;
};

} // namespace sim::audio
