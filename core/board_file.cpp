// Whole reads and writes through the board's file calls.
#include "core/board_file.h"

#include "board/board.h"

#include <cerrno>
#include <fcntl.h>

bool board_write_all(int fd, const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size) {
        ssize_t n = bd_write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        size -= (size_t)n;
    }
    return true;
}

bool board_read_at(int fd, int64_t at, void *data, size_t size)
{
    if (at < 0 || bd_lseek(fd, (off_t)at, SEEK_SET) != (off_t)at)
        return false;
    char *p = static_cast<char *>(data);
    while (size) {
        ssize_t n = bd_read(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= (size_t)n;
    }
    return true;
}

bool board_write_at(int fd, int64_t at, const void *data, size_t size)
{
    return at >= 0 && bd_lseek(fd, (off_t)at, SEEK_SET) == (off_t)at && board_write_all(fd, data, size);
}

int64_t board_file_size(int fd)
{
    off_t end = bd_lseek(fd, 0, SEEK_END);
    return end < 0 ? -1 : (int64_t)end;
}

bool board_file_put(const std::string &path, const void *data, size_t size, bool *opened)
{
    int fd = bd_open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (opened)
        *opened = fd >= 0;
    if (fd < 0)
        return false;
    bool ok = board_write_all(fd, data, size);
    return bd_close(fd) == 0 && ok;
}
