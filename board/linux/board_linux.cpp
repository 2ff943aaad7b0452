// The camera's own kernel: every call is the plain libc call, paths unchanged.
#include "board/board.h"
#include "board/reg_plain.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <unistd.h>

int bd_open(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int bd_close(int fd) { return ::close(fd); }
ssize_t bd_read(int fd, void *buf, size_t count) { return ::read(fd, buf, count); }
ssize_t bd_write(int fd, const void *buf, size_t count) { return ::write(fd, buf, count); }
off_t bd_lseek(int fd, off_t offset, int whence) { return ::lseek(fd, offset, whence); }
int bd_ftruncate(int fd, off_t length) { return ::ftruncate(fd, length); }
int bd_fsync(int fd) { return ::fsync(fd); }

int bd_sync(void)
{
    ::sync();
    return 0;
}

int bd_rename(const char *from, const char *to, unsigned flags)
{
    return flags ? ::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags) : ::rename(from, to);
}
int bd_remove(const char *path) { return ::remove(path); }
FILE *bd_fopen(const char *path, const char *mode) { return ::fopen(path, mode); }
int bd_ioctl(int fd, unsigned long request, void *arg) { return ::ioctl(fd, request, arg); }

void *bd_mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    return ::mmap(addr, length, prot, flags, fd, offset);
}

int bd_munmap(void *addr, size_t length) { return ::munmap(addr, length); }

uint32_t bd_reg_read(const volatile void *addr, unsigned width) { return board_regs::plain_read(addr, width); }
void bd_reg_write(volatile void *addr, unsigned width, uint32_t value) { board_regs::plain_write(addr, width, value); }

std::string bd_path(const char *path) { return path ? path : ""; }

int bd_system(const char *command) { return ::system(command); }

int bd_mount(const char *source, const char *target, const char *fstype, unsigned long flags,
             const void *data)
{
    return ::mount(source, target, fstype, flags, data);
}

int bd_umount(const char *target) { return ::umount(target); }
int bd_statvfs(const char *path, struct statvfs *buf) { return ::statvfs(path, buf); }
int bd_stat(const char *path, struct stat *buf) { return ::stat(path, buf); }
int bd_socket(int domain, int type, int protocol) { return ::socket(domain, type, protocol); }
int bd_bind(int fd, const struct sockaddr *addr, socklen_t len) { return ::bind(fd, addr, len); }
ssize_t bd_recv(int fd, void *buf, size_t len, int flags) { return ::recv(fd, buf, len, flags); }
int bd_gettimeofday(struct timeval *tv) { return ::gettimeofday(tv, nullptr); }
int bd_settimeofday(const struct timeval *tv) { return ::settimeofday(tv, nullptr); }
time_t bd_time(time_t *t) { return ::time(t); }
struct tm *bd_localtime(const time_t *t, struct tm *result) { return ::localtime_r(t, result); }
