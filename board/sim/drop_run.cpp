#include "board/sim/drop_run.h"

#include "board/sim/sim.h"

namespace sim {

namespace {
constexpr std::chrono::seconds kLineEvery{1};
}

void DropRun::tell(const char *how)
{
    event(source_.c_str(), "%s: %llu %s, %llu so far", where_.c_str(), (unsigned long long)(total_ - told_), how,
          (unsigned long long)total_);
    told_ = total_;
    last_line_ = Clock::now();
}

void DropRun::drop(const char *source, const std::string &where, uint64_t n)
{
    if (n == 0)
        return;
    if (in_run_ && (where != where_ || source != source_))
        flush();
    total_ += n;
    last_drop_ = Clock::now();
    if (!in_run_) {
        in_run_ = true;
        source_ = source;
        where_ = where;
        tell(n == 1 ? "dropped" : "at once");
    } else if (last_drop_ - last_line_ >= kLineEvery) {
        tell("more");
    }
}

void DropRun::pass()
{
    if (in_run_ && Clock::now() - last_drop_ >= kLineEvery)
        flush();
}

void DropRun::flush()
{
    if (in_run_ && total_ > told_)
        tell("more");
    in_run_ = false;
}

} // namespace sim
