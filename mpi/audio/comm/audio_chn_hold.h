// How a call on an input or output channel starts: the unit's entry checks,
// then the channel mutex for the rest of the call, then, for the calls that
// work on a running channel, an enabled channel.
#pragma once

#include <optional>

#include "mpi/audio/comm/mpi_audio_comm.h"

// What a call needs of the channel once it holds it.
enum class AudioChnNeeds { entry, enabled };

// What a unit lends the hold: how it says a channel is not enabled.
struct AudioChnUnit {
    const char *not_enabled; // "AI chn %d is not enable\n"
    s32 not_enabled_code;
};

// A channel held for a call's scope. `ret` is 0, or the status the call
// returns at once: the entry checks' (the mutex is then not taken), or the
// unit's own when the channel had to be enabled and is not.
template <class Chn> class AudioChnHold {
public:
    AudioChnHold(s32 entered, Chn *chns, s32 ChnId, AudioChnNeeds needs, const AudioChnUnit &unit, const char *func)
        : ret(entered)
    {
        if (ret != 0)
            return;
        chn_ = &chns[ChnId];
        lock_.emplace(&chn_->stMutex);
        if (needs == AudioChnNeeds::enabled && !chn_->bEnable) {
            MPI_TRACE_PREFIX(func, __LINE__);
            fprintf(stderr, unit.not_enabled, ChnId);
            ret = unit.not_enabled_code;
        }
    }
    AudioChnHold(const AudioChnHold &) = delete;
    AudioChnHold &operator=(const AudioChnHold &) = delete;

    Chn *operator->() const { return chn_; }
    operator Chn *() const { return chn_; }

    s32 ret;

private:
    Chn *chn_ = nullptr;
    std::optional<MpiMutexGuard> lock_;
};
