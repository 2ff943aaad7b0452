#include "mpi/common/mpi_thread.h"

#include <cstdio>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

MpiThreadRank mpi_raise_audio_thread(const char *name)
{
    sched_param param{};
    param.sched_priority = MPI_AUDIO_RT_PRIORITY;
    MpiThreadRank rank = MpiThreadRank::normal;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0)
        rank = MpiThreadRank::realtime;
    else if (setpriority(PRIO_PROCESS, (id_t)syscall(SYS_gettid), MPI_AUDIO_NICE) == 0)
        rank = MpiThreadRank::nice; // a thread's nice is its own on Linux
    static const char *const said[] = {"real-time priority", "a raised priority",
                                       "the normal priority: the buffers carry its stalls"};
    printf("%s runs at %s\n", name, said[(int)rank]);
    return rank;
}
