// spandsp, the voice codecs' reference, and the signals the voice tests and
// benchmarks code. spandsp's codec headers come one by one: its umbrella
// header pulls in libtiff.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// The declarations' macros first, then the codecs.
#include <spandsp/telephony.h>

#include <spandsp/bit_operations.h>
#include <spandsp/g711.h>
#include <spandsp/g726.h>
#include <spandsp/ima_adpcm.h>

namespace voicetest {

constexpr int kRate = 8000;

// A 1 kHz-ish tone under a little noise, deterministic: `seconds` at 8 kHz.
inline std::vector<int16_t> tone_plus_noise(double seconds = 1, double hz = 1020, double amp = 6000)
{
    std::vector<int16_t> v((size_t)(seconds * kRate));
    uint32_t seed = 12345;
    for (size_t i = 0; i < v.size(); i++) {
        seed = seed * 1103515245u + 12345u;
        double noise = (double)((seed >> 16) & 0x7FFF) / 0x7FFF - 0.5;
        v[i] = (int16_t)lrint(amp * sin(2 * M_PI * hz * i / kRate) + 1500 * noise);
    }
    return v;
}

// Speech-like sound: glottal pulses (a pulse train through two low-pass
// poles) with a wandering pitch, through three formant resonators, in
// syllables with pauses between them.
inline std::vector<int16_t> speech_like(double seconds)
{
    std::vector<int16_t> v((size_t)(seconds * kRate));
    const double formants[3][2] = {{700, 130}, {1220, 70}, {2600, 160}}; // centre, bandwidth (Hz)
    const double kGlottalPole = 0.95;
    double state[3][2] = {};
    double glottis[2] = {};
    double phase = 0;
    uint32_t seed = 4242;
    for (size_t i = 0; i < v.size(); i++) {
        double t = (double)i / kRate;
        double syllable = fmod(t, 0.25) / 0.25;                            // four syllables a second
        double envelope = syllable < 0.7 ? sin(M_PI * syllable / 0.7) : 0; // then a pause
        double pitch = 120 + 30 * sin(2 * M_PI * 0.7 * t);
        phase += pitch / kRate;
        double pulse = 0;
        if (phase >= 1) {
            phase -= 1;
            pulse = 1;
        }
        glottis[0] = pulse + kGlottalPole * glottis[0];
        glottis[1] = glottis[0] + kGlottalPole * glottis[1];
        seed = seed * 1664525u + 1013904223u;
        double source = glottis[1] / 400 + 0.002 * ((double)(seed >> 8 & 0xFFFF) / 0xFFFF - 0.5); // and breath
        double out = 0;
        for (int f = 0; f < 3; f++) {
            double r = exp(-M_PI * formants[f][1] / kRate);
            double c = 2 * r * cos(2 * M_PI * formants[f][0] / kRate);
            double y = source + c * state[f][0] - r * r * state[f][1];
            state[f][1] = state[f][0];
            state[f][0] = y;
            out += y / (f + 1);
        }
        v[i] = (int16_t)lrint(std::max(-32000.0, std::min(32000.0, 60000 * envelope * out)));
    }
    return v;
}

} // namespace voicetest
