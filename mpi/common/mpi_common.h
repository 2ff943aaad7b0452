// What every unit of the media platform shares: the records of
// common_requests.h, and the conditions, messages, assertions, page
// arithmetic and locks of the firmware side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <pthread.h>
#include <unistd.h>

#include "mpi/common/common_requests.h"

// Values the platform's conditions and assertions are written in.
constexpr s32 DU_SUCCESS = 0;
constexpr s32 DU_FAILURE = -1;
constexpr u32 DU_TRUE = 1;
constexpr u32 DU_FALSE = 0;
constexpr s32 DU_INVALID_HANDLE = -1;
#define DU_NULL nullptr

// ---- messages and invariants ------------------------------------------------------------
// The VI, VO and VPSS units print this piece before an argument error.
#define MPI_TRACE_PREFIX(func, line) fprintf(stderr, "[Func]:%s [Line]:%d [Info]:", func, line)

// The prefix and the message in one go, for the units that print both.
#define MPI_TRACE(fmt, ...)                                                                                \
    do {                                                                                                   \
        MPI_TRACE_PREFIX(__FUNCTION__, __LINE__);                                                          \
        fprintf(stderr, fmt, ##__VA_ARGS__);                                                               \
    } while (0)

[[noreturn]] void mpi_assert_failed(const char *file, const char *func, int line, const char *cond);

// A broken internal invariant ends the process at once, without clean-up.
#define MPI_ASSERT(cond)                                                                                   \
    do {                                                                                                   \
        if (!(cond))                                                                                       \
            mpi_assert_failed(__FILE__, __FUNCTION__, __LINE__, #cond);                                    \
    } while (0)

// ---- page arithmetic ---------------------------------------------------------------------
// The whole units (pages, cache lines) that cover [addr, addr + size): where
// they start, how far in `addr` lies, and their total length. size is not 0.
struct MPI_SPAN_S {
    u32 u32Base;
    u32 u32Offset;
    u32 u32Len;
};

constexpr MPI_SPAN_S mpi_span(u32 addr, u32 size, u32 unit)
{
    return {addr & ~(unit - 1), addr & (unit - 1), ((size - 1 + (addr & (unit - 1))) & ~(unit - 1)) + unit};
}

constexpr u32 MPI_PAGE_SIZE = 4096;

// ---- locks -------------------------------------------------------------------------------------
// Holds one of the units' record mutexes for a scope.
class MpiMutexGuard {
public:
    explicit MpiMutexGuard(pthread_mutex_t *mutex) : mutex_(mutex) { pthread_mutex_lock(mutex_); }
    ~MpiMutexGuard() { pthread_mutex_unlock(mutex_); }
    MpiMutexGuard(const MpiMutexGuard &) = delete;
    MpiMutexGuard &operator=(const MpiMutexGuard &) = delete;

private:
    pthread_mutex_t *mutex_;
};
