// The board's MN34220 image sensor as the other board parts reach it: the
// I2C adapter writes its registers, the ISP driver queues the frame-synced
// writes and waits on its frames.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace sim {

constexpr uint8_t kSensorI2cAddr = 0x6C;

// One register written through the I2C bus; false when no sensor answers.
bool sensor_i2c_write(uint8_t dev_addr, uint16_t reg, uint8_t value);

// A write the kernel makes in step with the frames: `delay` 0 lands at the
// next frame, 1 a frame later.
void sensor_sync_write(uint16_t reg, uint8_t value, unsigned delay);

// Waits until a frame later than `after` has begun, until `deadline`, or
// until `stop` turns true (checked whenever the sensor is woken). True when
// a frame came.
bool sensor_wait_frame(uint64_t after, std::chrono::steady_clock::time_point deadline,
                       const std::function<bool()> &stop);
// Wakes every waiter so it checks its stop condition.
void sensor_wake();

// One frame period at the current frame length (1/30 s while not streaming).
std::chrono::nanoseconds sensor_frame_period();

} // namespace sim
