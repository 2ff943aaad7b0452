// Frames a device drops come in runs (a consumer that does not keep up, every
// buffer held): the first of a run goes into events.log at once, saying
// where and why, and then at most a line a second with the count since, so
// that the log accounts for every frame dropped without a line for each. A
// run ends after a second without a drop, or when the flow stops. Kept under
// the device's lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace sim {

class DropRun {
public:
    // `n` more frames dropped; `where` is the line after the source, naming
    // the part and the reason ("chn 1 drops a picture (encoder busy)"). A
    // drop elsewhere or for another reason ends the run before it.
    void drop(const char *source, const std::string &where, uint64_t n = 1);
    // A frame went through: a run that has been quiet for a second ends.
    void pass();
    // The flow stopped: the run's last count goes into the log.
    void flush();
    uint64_t total() const { return total_; }

private:
    using Clock = std::chrono::steady_clock;
    void tell(const char *how);

    std::string source_, where_;
    bool in_run_ = false;
    uint64_t total_ = 0, told_ = 0; // dropped, and how many of them the log has counted
    Clock::time_point last_drop_, last_line_;
};

} // namespace sim
