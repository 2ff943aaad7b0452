// Board-side audio: captured frames and their blocks, routes along the bind
// table from the capture driver to the encoder and output drivers, and WAV
// files in and out.
#pragma once

#include "board/sim/sim.h"
#include "mpi/audio/ai/ai_requests.h"
#include "mpi/audio/comm/audio_requests.h"

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
// 16-bit PCM only; false (with `why`) for anything else.
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
