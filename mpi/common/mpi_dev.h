// A unit's device descriptors, opened on first use: the "open the device,
// bind the descriptor to its channel" step most platform calls start with.
// The helper does the steps and undoes them on failure; the unit keeps its
// own checks around it, its messages and its status codes.
#pragma once

#include "mpi/common/mpi_common.h"

#include <mutex>

// How a unit reaches its device.
struct mpi_dev_node {
    const char *path;       // "/dev/vpss"
    int flags;              // open flags
    unsigned long bind_req; // binds a fresh descriptor to the unit's bind word; 0: never bound
    // A slot holding less than this holds no descriptor: 0, or 1 for the units
    // that never take descriptor 0 as theirs (an open answering 0 fails there).
    s32 first_fd;
    bool check_node = false; // the path must name a character device before it is opened
};

// Where getting the descriptor stopped.
enum mpi_dev_step {
    MPI_DEV_READY = 0,   // the slot holds a descriptor
    MPI_DEV_NO_NODE,     // the path could not be looked at (errno in err)
    MPI_DEV_NOT_DEVICE,  // the path is no character device
    MPI_DEV_OPEN_FAILED, // the open failed (its answer in fd, errno in err)
    MPI_DEV_BIND_FAILED, // the driver refused the bind; the descriptor was closed again
};

struct mpi_dev_result {
    mpi_dev_step step;
    int fd;  // what the failed open answered
    int err; // errno of the failed look-up or open (errno is left at it too)
    bool ok() const { return step == MPI_DEV_READY; }
};

// Opens `node` into `*slot` and binds it to `bind` when the slot holds no
// descriptor yet; a slot that does is left as it is. On failure the slot is
// -1 and nothing stays open. Not locked: the units that call it unlocked
// accept two first calls racing, as they always did.
mpi_dev_result mpi_dev_open(s32 *slot, const mpi_dev_node &node, u32 bind = 0);

// The same under `lock`, for slots that threads may open at the same time:
// the test of the slot and the open are one step.
mpi_dev_result mpi_dev_open_locked(std::mutex &lock, s32 *slot, const mpi_dev_node &node, u32 bind = 0);
mpi_dev_result mpi_dev_open_locked(pthread_mutex_t *lock, s32 *slot, const mpi_dev_node &node, u32 bind = 0);
