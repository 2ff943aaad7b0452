// Frames lost in runs (a consumer that does not keep up, a buffer that stays
// full): the caller tells the first of a run, with where and why, and the
// run's length when it ends, so that every frame lost is accounted for
// without a message for each.
#pragma once

#include <cstdint>

class LossRun {
public:
    // `n` more frames lost for `reason`; true when they start a run. A run
    // has one reason: the caller ends the run of another first.
    bool lose(int32_t reason, uint32_t n = 1)
    {
        reason_ = reason;
        bool first = frames_ == 0;
        frames_ += n;
        return first;
    }
    // A frame went through, or the flow stopped: the length of the run that
    // ends (0 when none).
    uint32_t end()
    {
        uint32_t n = frames_;
        frames_ = 0;
        return n;
    }
    bool active() const { return frames_ != 0; }
    int32_t reason() const { return reason_; }

private:
    int32_t reason_ = 0;
    uint32_t frames_ = 0;
};

// Frames a stream's stamps skip between two stamps in a row, `period_us`
// apart at its rate: 0 for the first (`before` 0), one out of order, or the
// next in turn.
inline uint64_t frames_skipped(uint64_t before, uint64_t pts, double period_us)
{
    if (before == 0 || pts <= before || period_us <= 0)
        return 0;
    const uint64_t periods = (uint64_t)((double)(pts - before) / period_us + 0.5);
    return periods > 1 ? periods - 1 : 0;
}
