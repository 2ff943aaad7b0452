// What the capture driver's microphone hears, and the `audio` command that
// changes it.
#include "board/sim/audio/ai.h"

#include <algorithm>
#include <cmath>

namespace sim::capture {
namespace {

constexpr double kToneAmplitude = 16384; // half of full scale
constexpr double kHumLevelDb = -12.0;     // the hum and the tone over it
constexpr double kHumToneHz = 1000;
constexpr double kMaxEchoDelayMs = 1000;

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

double sine(double hz, uint64_t n, uint32_t rate)
{
    // The phase is kept modulo one period so that it stays exact however long the board runs.
    return sin(2 * M_PI * fmod(hz * (double)n, rate) / rate);
}

} // namespace

std::string Sound::parse(const std::vector<std::string> &w)
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

void Sound::from_conf()
{
    *this = Sound();
    std::string text = conf("audio", "tone 1000");
    std::vector<std::string> words = split_words(text);
    if (words.empty())
        return;
    // Checked as board.conf was read; the file may have gone since.
    std::string why = parse(words);
    if (!why.empty())
        event("ai", "audio '%s' not understood (%s), capturing a 1000 Hz tone", text.c_str(), why.c_str());
}

double Sound::sample(uint64_t n, unsigned t, uint32_t rate) const
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

std::string Echo::parse(const std::vector<std::string> &w)
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

void Echo::from_conf()
{
    // board.conf's words were checked as they were read.
    *this = Echo();
    parse(split_words(conf("audio.echo", "off")));
}

namespace {

// `audio SOUND...` changes what the microphone hears, `audio echo ...` the
// room's echo; both take effect with the next captured frame.
std::string cmd_audio(const std::vector<std::string> &a)
{
    if (a.empty())
        return "error: usage: audio tone HZ | silence | file PATH | noise DBFS | tone+noise HZ DBFS | hum HZ | "
               "echo GAIN DELAY_MS | echo off";
    // A file is read before the microphone's lock is taken, so that the
    // capture clock never waits for it; the old sound is freed after.
    Sound sound;
    Echo echo;
    const bool is_echo = a[0] == "echo";
    std::string why = is_echo ? echo.parse(std::vector<std::string>(a.begin() + 1, a.end())) : sound.parse(a);
    if (!why.empty())
        return "error: " + why;
    Ai &s = ai();
    std::lock_guard<std::mutex> lock(s.lock);
    if (is_echo)
        s.echo = echo;
    else
        std::swap(s.sound, sound);
    return "ok";
}

CommandRegistration reg_audio("audio", cmd_audio);

} // namespace
} // namespace sim::capture
