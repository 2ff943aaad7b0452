// What the capture driver's microphone hears: the board's sound (board.conf
// `audio`, the `audio` command: a tone, silence, a WAV file, noise, a tone
// in noise or a tone with mains hum) and the room's echo of what output
// channel 0 plays (`audio.echo = GAIN DELAY_MS`). Deterministic: the same
// sample whatever the frames are cut into.
#pragma once

#include "board/sim/audio/audio.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sim::capture {

struct Sound {
    enum Kind { tone, silence, file, noise, tone_noise, hum } kind = tone;
    double hz = 1000;
    double noise_rms = 0; // the noise's level: that of a sine of the given dBFS
    audio::WavData wav;

    // From the words of board.conf's `audio` or the `audio` command; "" or
    // why they are refused (then nothing changes).
    std::string parse(const std::vector<std::string> &w);
    void from_conf();
    // Sample `n` (counted from device enable) of track `t` at `rate`.
    double sample(uint64_t n, unsigned t, uint32_t rate) const;
};

// The room's echo of output channel 0 into the microphone.
struct Echo {
    double gain = 0; // 0: none
    double delay_ms = 0;

    std::string parse(const std::vector<std::string> &w);
    void from_conf();
};

} // namespace sim::capture
