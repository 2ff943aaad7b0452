// The simulated encoder's engine: libavcodec's libx264, libx265 and mjpeg
// behind one small interface, with the stream shaped as the camera's encoder
// delivers it (Annex-B, parameter sets before every IDR, H.264 reference
// slices with nal_ref_idc 3). Where live H.265 cannot keep real time on the
// board's two cores, a group of pictures encoded once is replayed.
#pragma once

#include "board/sim/video/video.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace sim::video {

enum class Codec { h264, h265, jpeg };

// Timing and colour statements of the sequence parameters; a field below 0
// is left as the codec writes it.
struct Vui {
    int64_t num_units_in_tick = -1, time_scale = -1; // together
    int num_ticks_poc_diff_one = -1;                 // H.265
    int full_range = -1, colour_primaries = -1, transfer = -1, matrix = -1;
};

// How the rate is held: at a constant bit rate, under a ceiling (at a
// constant quality within the QP bounds), or at fixed QPs.
enum class RateControl { cbr, vbr, fixed_qp };

// The channel's profile: H.264 Baseline, Main, High; H.265 Main.
enum class Profile { baseline, main, high };

struct EncoderConfig {
    Codec codec = Codec::h264;
    uint32_t width = 0, height = 0;
    uint32_t gop = 30;
    RateControl rc = RateControl::cbr;
    uint32_t kbps = 4096; // constant rate, or the ceiling of a variable one
    uint32_t min_qp = 0, max_qp = 0; // variable rate; 0: the codec's own
    uint32_t i_qp = 26, p_qp = 26;   // fixed QP
    uint32_t fps = 30;    // pictures per second out of the encoder
    Profile profile = Profile::high; // H.265 codes Main whatever this says
    // Coding tools of H.264 and H.265.
    bool cabac = false;   // H.264; H.265 always codes CABAC
    bool deblock = true;
    int deblock_a = 0, deblock_b = 0; // offsets (div2): H.264 alpha and beta, H.265 tc and beta
    uint32_t slice_rows = 0;  // rows of macroblocks (CTUs) per slice; 0 one slice
    uint32_t slice_bytes = 0; // H.264: bytes per slice at most; 0 no limit
    // H.264: a wave of intra macroblocks refreshes the picture once every
    // group of pictures in place of the IDR, its start marked by a recovery
    // point; the first picture stays an IDR.
    bool intra_refresh = false;
    Vui vui;
};

// Coding tree units of H.265 (the size this encoder codes with).
constexpr uint32_t kHevcCtu = 32;

struct AccessUnit {
    std::vector<uint8_t> bytes;
    bool key = false;
};

class Encoder {
public:
    virtual ~Encoder();
    // Encodes one picture into `out` (cleared first). False when the codec
    // failed; true with no bytes when it held the picture back.
    virtual bool encode(const Picture &pic, bool force_key, AccessUnit &out) = 0;
    virtual bool replaying() const { return false; }
    // Readies the encoder on a picture before the channel starts, as the
    // hardware is ready the moment it does; false when the codec failed.
    virtual bool warm_up(const Picture &) { return true; }
    // The channel starts again: pictures the codec still holds from before
    // come out of it no more (their output is thrown away).
    virtual void restart() {}

    // A live encoder, or a replaying one where live cannot keep up; null
    // when the codec cannot be opened.
    static std::unique_ptr<Encoder> create(const EncoderConfig &cfg);
    static std::unique_ptr<Encoder> create_live(const EncoderConfig &cfg);
};

// Whether live encoding of this mode keeps real time on two cores.
bool live_keeps_up(const EncoderConfig &cfg);

// H.264: every reference slice gets nal_ref_idc 3 (x264 writes 2).
void fix_nal_headers(Codec codec, std::vector<uint8_t> &au);

// Puts `data` into the access unit as a user-data SEI, after the parameter
// sets and before the first slice. False for a codec without SEI.
bool insert_user_data(Codec codec, std::vector<uint8_t> &au, const uint8_t *data, size_t len);

} // namespace sim::video
