// GAIN: the input chain's volume.
//
// Every frame is scaled by 10^(v/20), v being the chain's volume word in dB
// (the audio input unit allows -20 to 10), and saturated to 16 bits. When the
// word changes the gain glides from the old to the new value over that one
// frame, so a volume step does not click. No parameter block fields are read;
// without a volume word the gain is 0 dB.
#include <new>

#include "mpi/audio/modules/zuza_dsp.h"

namespace {

struct Gain {
    s32 volume_db = 0;
    double gain = 1.0;

    static Gain *make(s32, const void *) { return new (std::nothrow) Gain; }

    bool process(const zuza::Frame &f)
    {
        s32 want = f.volume ? *f.volume : 0;
        double from = gain;
        if (want != volume_db) {
            volume_db = want;
            gain = zuza::db_to_gain(want);
        }
        zuza::apply_gain_glide(f, f.in, from, gain);
        return true;
    }
};

} // namespace

ZUZA_MODULE_CLASS(GAIN, Gain);
