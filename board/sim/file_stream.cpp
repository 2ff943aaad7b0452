// bd_fopen: a stdio stream over a board descriptor, so that what code
// formats into a FILE reaches the card and the flash through bd_write, as
// every other write does, and a power cut treats it alike.
#include "board/board.h"
#include "board/sim/sim.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>

namespace {

int fd_of(void *cookie) { return (int)(intptr_t)cookie; }

ssize_t stream_read(void *cookie, char *buf, size_t size) { return bd_read(fd_of(cookie), buf, size); }

// stdio takes a short count as an error: every byte goes, or the error.
ssize_t stream_write(void *cookie, const char *buf, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = bd_write(fd_of(cookie), buf + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += (size_t)n;
    }
    return (ssize_t)done;
}

int stream_seek(void *cookie, off64_t *offset, int whence)
{
    off_t at = bd_lseek(fd_of(cookie), (off_t)*offset, whence);
    if (at < 0)
        return -1;
    *offset = at;
    return 0;
}

int stream_close(void *cookie) { return bd_close(fd_of(cookie)); }

// fopen's mode as open flags: r, w or a, then any of +, b, t, x, e.
bool mode_flags(const char *mode, int &flags)
{
    switch (mode[0]) {
    case 'r':
        flags = 0;
        break;
    case 'w':
        flags = O_CREAT | O_TRUNC;
        break;
    case 'a':
        flags = O_CREAT | O_APPEND;
        break;
    default:
        return false;
    }
    bool update = false;
    for (const char *m = mode + 1; *m; m++) {
        if (*m == '+')
            update = true;
        else if (*m == 'x')
            flags |= O_EXCL;
        else if (*m == 'e')
            flags |= O_CLOEXEC;
        else if (*m != 'b' && *m != 't')
            return false;
    }
    flags |= update ? O_RDWR : mode[0] == 'r' ? O_RDONLY : O_WRONLY;
    return true;
}

} // namespace

FILE *bd_fopen(const char *path, const char *mode)
{
    int flags = 0;
    if (!path || !mode) {
        errno = EFAULT;
        return nullptr;
    }
    if (!mode_flags(mode, flags)) {
        errno = EINVAL;
        return nullptr;
    }
    int fd = bd_open(path, flags, 0666);
    if (fd < 0)
        return nullptr;
    cookie_io_functions_t io = {stream_read, stream_write, stream_seek, stream_close};
    FILE *f = fopencookie((void *)(intptr_t)fd, mode, io);
    if (!f) {
        const int err = errno;
        bd_close(fd);
        errno = err;
    }
    return f;
}
