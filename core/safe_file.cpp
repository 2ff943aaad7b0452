// Files written whole or not at all, through the board's file calls.
#include "core/safe_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

#include "board/board.h"
#include "core/board_file.h"

namespace {

// The folder's entry for the new name goes to the card with it.
void sync_folder(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
    int fd = bd_open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    bd_fsync(fd);
    bd_close(fd);
}

} // namespace

bool safe_file_open(SafeFile &f, const std::string &path)
{
    f = SafeFile{};
    f.path = path;
    f.temp = path + SAFE_FILE_TEMP_SUFFIX;
    f.fd = bd_open(f.temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return f.fd >= 0;
}

bool safe_file_write(SafeFile &f, const void *data, size_t size)
{
    if (!f.failed && !board_write_all(f.fd, data, size))
        f.failed = true;
    return !f.failed;
}

bool safe_file_commit(SafeFile &f, bool replace)
{
    if (f.fd < 0)
        return false;
    bool ok = !f.failed && bd_fsync(f.fd) == 0;
    ok = bd_close(f.fd) == 0 && ok;
    f.fd = -1;
    if (ok && bd_rename(f.temp.c_str(), f.path.c_str(), replace ? 0 : BD_RENAME_NOREPLACE) == 0) {
        sync_folder(f.path);
        return true;
    }
    const int err = errno;
    bd_remove(f.temp.c_str());
    errno = err;
    return false;
}

void safe_file_abort(SafeFile &f)
{
    if (f.fd >= 0)
        bd_close(f.fd);
    f.fd = -1;
    bd_remove(f.temp.c_str());
}

bool safe_file_adopt(const std::string &temp, const std::string &path)
{
    if (bd_rename(temp.c_str(), path.c_str(), BD_RENAME_NOREPLACE) != 0)
        return false;
    sync_folder(path);
    return true;
}

bool safe_file_write_all(const std::string &path, const void *data, size_t size, bool *opened)
{
    SafeFile f;
    const bool made = safe_file_open(f, path);
    if (opened)
        *opened = made;
    if (!made)
        return false;
    safe_file_write(f, data, size);
    return safe_file_commit(f, true);
}
