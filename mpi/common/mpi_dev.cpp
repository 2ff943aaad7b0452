#include "mpi/common/mpi_dev.h"

#include "board/board.h"

#include <cerrno>
#include <sys/stat.h>

mpi_dev_result mpi_dev_open(s32 *slot, const mpi_dev_node &node, u32 bind)
{
    if (*slot >= node.first_fd)
        return {MPI_DEV_READY, *slot, 0};
    if (node.check_node) {
        struct stat st;
        if (bd_stat(node.path, &st) != 0) {
            *slot = -1;
            return {MPI_DEV_NO_NODE, -1, errno};
        }
        if (!S_ISCHR(st.st_mode)) {
            *slot = -1;
            return {MPI_DEV_NOT_DEVICE, -1, 0};
        }
    }
    int fd = bd_open(node.path, node.flags);
    if (fd < node.first_fd) {
        int err = errno;
        if (fd >= 0) // a descriptor the unit won't count as open: don't leak it
            bd_close(fd);
        *slot = -1;
        errno = err;
        return {MPI_DEV_OPEN_FAILED, fd, err};
    }
    if (node.bind_req && bd_ioctl(fd, node.bind_req, &bind) != 0) {
        bd_close(fd);
        *slot = -1;
        return {MPI_DEV_BIND_FAILED, fd, 0};
    }
    *slot = fd;
    return {MPI_DEV_READY, fd, 0};
}

mpi_dev_result mpi_dev_open_locked(std::mutex &lock, s32 *slot, const mpi_dev_node &node, u32 bind)
{
    std::lock_guard<std::mutex> guard(lock);
    return mpi_dev_open(slot, node, bind);
}

mpi_dev_result mpi_dev_open_locked(pthread_mutex_t *lock, s32 *slot, const mpi_dev_node &node, u32 bind)
{
    MpiMutexGuard guard(lock);
    return mpi_dev_open(slot, node, bind);
}
