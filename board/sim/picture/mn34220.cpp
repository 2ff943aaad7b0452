// The MN34220 image sensor: a register file written over I2C and by the
// kernel's frame-synced writes, a frame clock (frames per second = the
// mode's line clock / the frame length in 0x0340/0x0341), and the exposure
// (lines x analogue gain x digital gain) that scales what it delivers.
#include "board/sim/picture/mn34220.h"
#include "board/sim/sim.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kLogMax = 65536;

struct Pending {
    uint64_t frame; // lands when this frame begins
    uint16_t reg;
    uint8_t value;
};

struct Sensor {
    uint8_t regs[65536] = {};
    bool present = true;
    bool streaming = false;
    uint64_t frame = 0;
    Clock::time_point next;
    std::deque<Pending> pending;
    std::deque<SensorWrite> log;
    std::vector<HotPixel> hot;
};

std::mutex g_lock;
std::condition_variable g_cv;
Sensor g_sensor;

// Hot pixels at places and levels a fixed generator picks: spread over the
// field away from its border, levels from 40 to 255 so that a calibration
// starting at a low threshold finds them all.
std::vector<HotPixel> make_hot_pixels(long count)
{
    std::vector<HotPixel> hot;
    uint32_t x = 12345;
    auto next = [&x] { return x = x * 1103515245u + 12345u; };
    for (long i = 0; i < std::clamp(count, 0L, 4095L); i++) {
        HotPixel h;
        h.x = (uint16_t)(8 + (next() >> 8) % (kSensorFieldWidth - 16));
        h.y = (uint16_t)(8 + (next() >> 8) % (kSensorFieldHeight - 16));
        h.level = (uint8_t)(40 + (next() >> 8) % 216);
        hot.push_back(h);
    }
    std::sort(hot.begin(), hot.end(), [](const HotPixel &a, const HotPixel &b) {
        return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    hot.erase(std::unique(hot.begin(), hot.end(),
                          [](const HotPixel &a, const HotPixel &b) { return a.x == b.x && a.y == b.y; }),
              hot.end());
    return hot;
}

Hooks sensor_hooks([] {
    std::lock_guard<std::mutex> lock(g_lock);
    g_sensor = Sensor();
    g_sensor.present = conf("sensor", "mn34220") == "mn34220";
    g_sensor.hot = make_hot_pixels(conf_int("sensor.hot_pixels", 128));
    g_cv.notify_all();
});

uint16_t reg16(const Sensor &s, uint16_t hi) { return (uint16_t)(s.regs[hi] << 8 | s.regs[hi + 1]); }

// Lines per second of the mode the init sequence set up, from its clock and
// readout registers.
double line_clock(const Sensor &s)
{
    if (s.regs[0x0307] == 0x24)
        return s.regs[0x3007] == 0x10 ? 67500 : 33750;
    if (s.regs[0x0307] == 0x30) {
        if (s.regs[0x301F] == 0x1F)
            return 37500;
        return s.regs[0x3004] == 0x04 ? 134880 : 90000;
    }
    return 33750;
}

Clock::duration period(const Sensor &s)
{
    uint16_t vmax = reg16(s, 0x0340);
    double seconds = vmax ? vmax / line_clock(s) : 1.0 / 30;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// One gain step is 0.375 dB; the code is (step + 64) x 4.
double gain_of(uint16_t code)
{
    int step = (int)code / 4 - 64;
    step = step < 0 ? 0 : step > 80 ? 80 : step;
    return std::pow(10.0, 0.375 * step / 20.0);
}

void record(Sensor &s, uint16_t reg, uint8_t value, bool sync)
{
    if (s.log.size() >= kLogMax)
        s.log.pop_front();
    s.log.push_back({s.frame, reg, value, sync});
}

void write_reg(Sensor &s, uint16_t reg, uint8_t value, bool sync)
{
    s.regs[reg] = value;
    record(s, reg, value, sync);
    if (reg == 0x0100) {
        bool on = value & 1;
        if (on && !s.streaming)
            s.next = Clock::now() + period(s);
        s.streaming = on;
    }
}

// Brings the frame count up to now: each frame boundary lands the writes due
// in it, and the next period follows from the frame length then in force.
void advance(Sensor &s, Clock::time_point now)
{
    bool moved = false;
    while (s.streaming && now >= s.next) {
        s.frame++;
        moved = true;
        while (!s.pending.empty() && s.pending.front().frame <= s.frame) {
            Pending p = s.pending.front();
            s.pending.pop_front();
            write_reg(s, p.reg, p.value, true);
            if (tracing())
                event("sensor", "sync 0x%04x=0x%02x frame %llu", p.reg, p.value, (unsigned long long)s.frame);
        }
        s.next += period(s);
    }
    if (moved)
        g_cv.notify_all();
}

} // namespace

bool sensor_i2c_write(uint8_t dev_addr, uint16_t reg, uint8_t value)
{
    std::lock_guard<std::mutex> lock(g_lock);
    Sensor &s = g_sensor;
    if (!s.present || dev_addr != kSensorI2cAddr)
        return false;
    advance(s, Clock::now());
    write_reg(s, reg, value, false);
    event("sensor", "i2c 0x%04x=0x%02x frame %llu", reg, value, (unsigned long long)s.frame);
    return true;
}

void sensor_sync_write(uint16_t reg, uint8_t value, unsigned delay)
{
    std::lock_guard<std::mutex> lock(g_lock);
    Sensor &s = g_sensor;
    advance(s, Clock::now());
    Pending p = {s.frame + 1 + delay, reg, value};
    // Kept in landing order; equal frames keep the order they came in.
    auto it = s.pending.end();
    while (it != s.pending.begin() && (it - 1)->frame > p.frame)
        --it;
    s.pending.insert(it, p);
}

bool sensor_wait_frame(uint64_t after, Clock::time_point deadline, const std::function<bool()> &stop)
{
    std::unique_lock<std::mutex> lock(g_lock);
    Sensor &s = g_sensor;
    for (;;) {
        Clock::time_point now = Clock::now();
        advance(s, now);
        if (s.frame > after)
            return true;
        if (stop() || now >= deadline)
            return false;
        Clock::time_point until = s.streaming && s.next < deadline ? s.next : deadline;
        g_cv.wait_until(lock, until);
    }
}

void sensor_set_present(bool present)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_sensor.present = present;
    event("sensor", present ? "connected" : "disconnected");
}

void sensor_wake()
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_cv.notify_all();
}

std::chrono::nanoseconds sensor_frame_period()
{
    std::lock_guard<std::mutex> lock(g_lock);
    const Sensor &s = g_sensor;
    if (!s.streaming)
        return std::chrono::nanoseconds(1000000000 / 30);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(period(s));
}

double sensor_exposure_gain()
{
    std::lock_guard<std::mutex> lock(g_lock);
    Sensor &s = g_sensor;
    advance(s, Clock::now());
    double seconds = reg16(s, 0x0202) / line_clock(s);
    return seconds * gain_of(reg16(s, 0x0204)) * gain_of(reg16(s, 0x3108)) / 0.010;
}

double sensor_gain()
{
    std::lock_guard<std::mutex> lock(g_lock);
    Sensor &s = g_sensor;
    advance(s, Clock::now());
    return gain_of(reg16(s, 0x0204)) * gain_of(reg16(s, 0x3108));
}

std::vector<HotPixel> sensor_hot_pixels()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_sensor.hot;
}

double sensor_fps()
{
    std::lock_guard<std::mutex> lock(g_lock);
    const Sensor &s = g_sensor;
    uint16_t vmax = reg16(s, 0x0340);
    return s.streaming && vmax ? line_clock(s) / vmax : 0;
}

uint64_t sensor_frame()
{
    std::lock_guard<std::mutex> lock(g_lock);
    advance(g_sensor, Clock::now());
    return g_sensor.frame;
}

uint8_t sensor_reg(uint16_t reg)
{
    std::lock_guard<std::mutex> lock(g_lock);
    advance(g_sensor, Clock::now());
    return g_sensor.regs[reg];
}

std::vector<SensorWrite> sensor_writes()
{
    std::lock_guard<std::mutex> lock(g_lock);
    advance(g_sensor, Clock::now());
    return std::vector<SensorWrite>(g_sensor.log.begin(), g_sensor.log.end());
}

} // namespace sim
