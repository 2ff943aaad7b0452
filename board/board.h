// The seam between the firmware and the operating system.
//
// The firmware reaches the kernel, its devices, the file system and the wall
// clock only through these calls. On the camera they are the plain libc calls
// (board/linux); on a development machine they run the simulated board
// (board/sim). Sleeps, timed waits and monotonic time use the ordinary calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <sys/types.h>

// Device and ordinary files. Descriptors are real file descriptors, so
// select() and poll() work on them.
int bd_open(const char *path, int flags, mode_t mode = 0);
int bd_close(int fd);
ssize_t bd_read(int fd, void *buf, size_t count);
ssize_t bd_write(int fd, const void *buf, size_t count);
off_t bd_lseek(int fd, off_t offset, int whence);
// Sets an ordinary file's size (ftruncate); like a write, the medium holds
// the new size once the file is synced.
int bd_ftruncate(int fd, off_t length);
// Hands what was written to an ordinary file on to its medium (fsync);
// until then a power cut can lose it.
int bd_fsync(int fd);
// Every file's writes on to their media (sync).
int bd_sync(void);
// Renames a file (firmware paths); with BD_RENAME_NOREPLACE an existing
// `to` is left alone and the call fails with EEXIST (renameat2).
constexpr unsigned BD_RENAME_NOREPLACE = 1;
int bd_rename(const char *from, const char *to, unsigned flags = 0);
// Removes a file or an empty folder (firmware path), as remove() does.
int bd_remove(const char *path);
// A stdio stream on a file (firmware path, fopen's modes) whose reads,
// writes and seeks are the board's file calls on its descriptor, for code
// that formats what it writes or hands out a FILE; fclose closes it. It
// need not have a fileno().
FILE *bd_fopen(const char *path, const char *mode);
int bd_ioctl(int fd, unsigned long request, void *arg = nullptr);
void *bd_mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset);
int bd_munmap(void *addr, size_t length);

// Device registers, through a mapping of a register window that bd_mmap
// gave: the firmware's readl/writel. `width` is 1, 2 or 4 bytes and the
// address must be aligned to it; any other access reads 0 and writes nothing.
// On the camera these are single volatile loads and stores; on the simulated
// board a register whose hardware reacts to the access (a table port, a
// strobe) answers through its driver.
uint32_t bd_reg_read(const volatile void *addr, unsigned width);
void bd_reg_write(volatile void *addr, unsigned width, uint32_t value);

// Maps an absolute firmware path ("/mnt/sdcard0/MOVIE") to the name the host
// file calls (fopen, stat, mkdir, rename, FFmpeg) must use.
std::string bd_path(const char *path);
inline std::string bd_path(const std::string &path) { return bd_path(path.c_str()); }

// Shell commands, as system() runs them; returns the wait status.
int bd_system(const char *command);

int bd_mount(const char *source, const char *target, const char *fstype, unsigned long flags,
             const void *data);
int bd_umount(const char *target);
int bd_statvfs(const char *path, struct statvfs *buf);
// File status; device files report themselves as character devices.
int bd_stat(const char *path, struct stat *buf);

// Sockets: the kernel uevent netlink socket.
int bd_socket(int domain, int type, int protocol);
int bd_bind(int fd, const struct sockaddr *addr, socklen_t len);
ssize_t bd_recv(int fd, void *buf, size_t len, int flags);

// Wall-clock time. Setting it moves the board's clock only.
int bd_gettimeofday(struct timeval *tv);
int bd_settimeofday(const struct timeval *tv);
time_t bd_time(time_t *t);
struct tm *bd_localtime(const time_t *t, struct tm *result);
