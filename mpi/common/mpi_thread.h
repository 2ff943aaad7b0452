// The scheduling of the threads that carry sound. Sound costs a few percent
// of a core, but it must never wait behind the video encoder's workers,
// which may hold every core for a while: the calling thread is put ahead of
// them as far as the process may (real-time first, then a lower nice), and
// where it may not, the buffers behind it carry the stall.
#pragma once

enum class MpiThreadRank {
    realtime, // SCHED_FIFO at MPI_AUDIO_RT_PRIORITY
    nice,     // SCHED_OTHER at nice MPI_AUDIO_NICE
    normal,   // as it was: the process may not raise it
};

constexpr int MPI_AUDIO_RT_PRIORITY = 10;
constexpr int MPI_AUDIO_NICE = -10;

// Raises the calling thread and says how far it got, with the thread's name.
MpiThreadRank mpi_raise_audio_thread(const char *name);
