// The simulated board's core: its root, configuration, event log, device table
// and the board calls that don't belong to one device.
#include "board/board.h"
#include "board/sim/sim.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <shared_mutex>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace sim {

void phys_clear();
bool reg_map_record(void *virt, size_t length, uint32_t phys);
void reg_map_drop(void *virt, size_t length);

namespace {

struct HookPair {
    std::function<void()> on_start, on_stop;
};

std::vector<HookPair> &hooks()
{
    static std::vector<HookPair> list;
    return list;
}

std::map<std::string, DeviceFactory> &factories()
{
    static std::map<std::string, DeviceFactory> table;
    return table;
}

std::mutex g_start_lock;
std::atomic<bool> g_started{false};
thread_local bool t_starting = false; // the starting thread may use the board it builds
std::string g_root;
bool g_trace = false;
std::chrono::steady_clock::time_point g_t0;

std::mutex g_event_lock;
FILE *g_events = nullptr;

std::shared_mutex g_dev_lock;
std::vector<std::shared_ptr<Device>> g_devs; // indexed by descriptor

std::mutex g_world_lock;
World g_world;

std::mutex g_node_lock;
std::map<std::string, Node> g_nodes; // device paths whose node is not the driver's

Node node_of(const char *path)
{
    std::lock_guard<std::mutex> lock(g_node_lock);
    auto it = g_nodes.find(path);
    return it == g_nodes.end() ? Node::device : it->second;
}

Hooks node_hooks([] {
    std::lock_guard<std::mutex> lock(g_node_lock);
    g_nodes.clear();
});

// The surroundings at power-on: each setting board.conf gave, its value
// checked as it was read.
void world_from_conf()
{
    World w;
    for (const std::string &key : world_setting_keys()) {
        const std::string value = conf(key, "");
        if (!value.empty())
            world_setting(w, key, value);
    }
    std::lock_guard<std::mutex> lock(g_world_lock);
    g_world = w;
}

void do_start(const std::string &root)
{
    t_starting = true;
    std::error_code ec;
    fs::create_directories(root, ec);
    g_root = fs::absolute(root, ec).lexically_normal().string();
    while (g_root.size() > 1 && g_root.back() == '/')
        g_root.pop_back();
    fs::create_directories(g_root + "/dv/config", ec);
    fs::create_directories(g_root + "/mnt", ec);
    fs::create_directories(g_root + "/proc", ec);
    fs::create_directories(g_root + "/home", ec); // the pipeline configuration file
    // The root file system's flash partition and tuning folder (updates land there).
    fs::create_directories(g_root + "/mnt/data_flash", ec);
    fs::create_directories(g_root + "/dv/iq_config", ec);

    const std::vector<std::string> conf_said = read_conf(g_root + "/board.conf");
    g_trace = conf_int("trace", 0) != 0;
    g_t0 = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> lock(g_event_lock);
        if (g_events)
            fclose(g_events);
        g_events = fopen((g_root + "/events.log").c_str(), "w");
    }
    for (const std::string &said : conf_said)
        conf_told(said);
    world_from_conf();
    phys_clear();
    for (auto &h : hooks())
        if (h.on_stop)
            h.on_stop();
    for (auto &h : hooks())
        if (h.on_start)
            h.on_start();
    event("board", "start %s", g_root.c_str());
    t_starting = false;
}

} // namespace

void start(const std::string &root)
{
    std::lock_guard<std::mutex> lock(g_start_lock);
    do_start(root);
    g_started.store(true, std::memory_order_release);
}

void ensure_started()
{
    if (g_started.load(std::memory_order_acquire) || t_starting)
        return;
    std::lock_guard<std::mutex> lock(g_start_lock);
    if (g_started.load(std::memory_order_relaxed))
        return;
    const char *env = getenv("BOARD_ROOT");
    do_start(env && *env ? env : "./board-root");
    g_started.store(true, std::memory_order_release);
}

const std::string &root()
{
    ensure_started();
    return g_root;
}

Hooks::Hooks(std::function<void()> on_start, std::function<void()> on_stop)
{
    hooks().push_back({std::move(on_start), std::move(on_stop)});
}

void power_off()
{
    event("power", "off");
    medium_power_lost();
    control_socket_unlink();
    fflush(stdout);
    fflush(stderr);
    {
        std::lock_guard<std::mutex> lock(g_event_lock);
        if (g_events)
            fflush(g_events);
    }
    _exit(0);
}

void power_cut()
{
    // events.log is written through line by line; everything else the
    // process holds goes with it, and the media lose what they had not synced.
    venc_power_lost();
    medium_power_lost();
    kill(getpid(), SIGKILL);
    _exit(137);
}

uint64_t board_ms()
{
    return (uint64_t)std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - g_t0)
        .count();
}

bool tracing() { return g_trace; }

void event(const char *source, const char *fmt, ...)
{
    char what[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(what, sizeof what, fmt, ap);
    va_end(ap);
    ensure_started();
    std::lock_guard<std::mutex> lock(g_event_lock);
    if (!g_events)
        return;
    fprintf(g_events, "%llu %s %s\n", (unsigned long long)board_ms(), source, what);
    fflush(g_events);
}

void with_world(const std::function<void(World &)> &fn)
{
    ensure_started();
    std::lock_guard<std::mutex> lock(g_world_lock);
    fn(g_world);
}

World world()
{
    ensure_started();
    std::lock_guard<std::mutex> lock(g_world_lock);
    return g_world;
}

// ---- devices ------------------------------------------------------------------

Device::~Device() = default;
int Device::ioctl(unsigned long, void *) { return fail(EINVAL); }
ssize_t Device::read(void *, size_t) { return fail(EINVAL); }
ssize_t Device::write(const void *, size_t) { return fail(EINVAL); }

void *Device::mmap(void *addr, size_t length, int prot, int flags, off_t offset)
{
    if (offset < 0 || (uint64_t)offset + length > (1ull << 32)) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    void *virt = ::mmap(addr, length, prot, flags, phys_fd(), offset);
    // Register accesses through the mapping must find the hooked registers it covers.
    if (virt != MAP_FAILED && !reg_map_record(virt, length, (uint32_t)offset)) {
        ::munmap(virt, length);
        errno = ENOMEM;
        return MAP_FAILED;
    }
    return virt;
}

void Device::set_readable(bool on)
{
    if (fd_ < 0)
        return;
    // An eventfd is readable while its counter is non-zero; reading clears it.
    uint64_t v = 1;
    if (on)
        (void)::write(fd_, &v, sizeof v);
    else
        (void)::read(fd_, &v, sizeof v);
}

DeviceRegistration::DeviceRegistration(const char *path, DeviceFactory factory)
{
    factories()[path] = std::move(factory);
}

void set_node(const std::string &path, Node node)
{
    ensure_started();
    std::string mapped = bd_path(path.c_str());
    std::error_code ec;
    if (node == Node::file) {
        std::filesystem::create_directories(std::filesystem::path(mapped).parent_path(), ec);
        FILE *f = fopen(mapped.c_str(), "w");
        if (f)
            fclose(f);
    } else {
        std::filesystem::remove(mapped, ec);
    }
    std::lock_guard<std::mutex> lock(g_node_lock);
    if (node == Node::device)
        g_nodes.erase(path);
    else
        g_nodes[path] = node;
}

int fail(int err)
{
    errno = err;
    return -1;
}

// This process, for the kernel's checked copies: asked once (getpid is a
// system call, and every request record goes through here), and again in a
// forked child.
static pid_t self_pid()
{
    static pid_t pid = [] {
        pthread_atfork(nullptr, nullptr, [] { pid = getpid(); });
        return getpid();
    }();
    return pid;
}

// The program's image and its writable part (data and bss), from the linker.
extern "C" char __executable_start, __data_start, _end;

// True when [p, p + n) lies in the calling thread's stack between the caller
// and the stack's top, or in the program's own image (its statics; only the
// writable part when `write`): memory that is mapped for sure, where most
// request records live, so it needs no check by the kernel.
static bool surely_mapped(const void *p, size_t n, bool write)
{
    uintptr_t a = (uintptr_t)p;
    uintptr_t image_lo = (uintptr_t)(write ? &__data_start : &__executable_start), image_hi = (uintptr_t)&_end;
    if (a >= image_lo && a < image_hi && n <= image_hi - a)
        return true;
    thread_local uintptr_t top = [] {
        pthread_attr_t attr;
        void *lo = nullptr;
        size_t size = 0;
        if (pthread_getattr_np(pthread_self(), &attr) != 0)
            return (uintptr_t)0;
        pthread_attr_getstack(&attr, &lo, &size);
        pthread_attr_destroy(&attr);
        return (uintptr_t)lo + size;
    }();
    uintptr_t here = (uintptr_t)__builtin_frame_address(0);
    return a >= here && a < top && n <= top - a;
}

bool copy_from_user(void *dst, const void *src, size_t n)
{
    if (!src || !dst)
        return false;
    if (n == 0)
        return true;
    if (surely_mapped(src, n, false)) {
        memcpy(dst, src, n);
        return true;
    }
    // Ask the kernel to read it first: a bad address fails instead of faulting.
    struct iovec local = {dst, n}, remote = {const_cast<void *>(src), n};
    if (process_vm_readv(self_pid(), &local, 1, &remote, 1, 0) != (ssize_t)n)
        return false;
    memcpy(dst, src, n); // the plain copy lets the sanitizers check the record's size
    return true;
}

bool copy_to_user(void *dst, const void *src, size_t n)
{
    if (!src || !dst)
        return false;
    if (n == 0)
        return true;
    if (surely_mapped(dst, n, true)) {
        memcpy(dst, src, n);
        return true;
    }
    struct iovec local = {const_cast<void *>(src), n}, remote = {dst, n};
    if (process_vm_writev(self_pid(), &local, 1, &remote, 1, 0) != (ssize_t)n)
        return false;
    memcpy(dst, src, n);
    return true;
}

int attach_device(const std::string &path, std::shared_ptr<Device> dev)
{
    int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0)
        return -1;
    dev->fd_ = fd;
    dev->path_ = path;
    std::unique_lock<std::shared_mutex> lock(g_dev_lock);
    if ((size_t)fd >= g_devs.size())
        g_devs.resize(fd + 64);
    g_devs[fd] = std::move(dev);
    return fd;
}

void detach_device(int fd)
{
    std::shared_ptr<Device> dev;
    {
        std::unique_lock<std::shared_mutex> lock(g_dev_lock);
        if (fd >= 0 && (size_t)fd < g_devs.size())
            dev.swap(g_devs[fd]);
    }
    if (dev)
        dev->fd_ = -1;
}

std::shared_ptr<Device> find_device(int fd)
{
    std::shared_lock<std::shared_mutex> lock(g_dev_lock);
    if (fd < 0 || (size_t)fd >= g_devs.size())
        return nullptr;
    return g_devs[fd];
}

std::vector<std::string> split_words(const std::string &line)
{
    std::vector<std::string> out;
    std::string cur;
    bool in_word = false;
    char quote = 0;
    for (char c : line) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                cur += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            in_word = true;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (in_word)
                out.push_back(cur);
            cur.clear();
            in_word = false;
        } else {
            cur += c;
            in_word = true;
        }
    }
    if (in_word)
        out.push_back(cur);
    return out;
}

} // namespace sim

using namespace sim;

// ---- board calls -------------------------------------------------------------------

int bd_open(const char *path, int flags, mode_t mode)
{
    ensure_started();
    if (!path)
        return fail(EFAULT);
    auto it = factories().find(path);
    Node node = node_of(path);
    if (it == factories().end() || node != Node::device) {
        if (strncmp(path, "/dev/", 5) == 0 && node != Node::file) {
            event("trace", "open %s: no such device", path);
            return fail(ENOENT);
        }
        std::string host = bd_path(path);
        int fd = card_file_open(host, flags, mode);
        if (fd >= 0)
            medium_opened(fd, host, flags);
        return fd;
    }
    std::shared_ptr<Device> dev = it->second(flags);
    if (!dev)
        return -1; // the factory set errno
    int fd = attach_device(path, std::move(dev));
    if (tracing())
        event("trace", "open %s = %d", path, fd);
    return fd;
}

int bd_stat(const char *path, struct stat *buf)
{
    ensure_started();
    if (!path || !buf)
        return fail(EFAULT);
    Node node = node_of(path);
    if (factories().count(path) && node == Node::device) {
        memset(buf, 0, sizeof *buf);
        buf->st_mode = S_IFCHR | 0666;
        return 0;
    }
    if (strncmp(path, "/dev/", 5) == 0 && node != Node::file)
        return fail(ENOENT);
    return ::stat(bd_path(path).c_str(), buf);
}

int bd_close(int fd)
{
    socket_closed(fd);
    medium_closed(fd);
    card_file_closed(fd);
    if (find_device(fd)) {
        if (tracing())
            event("trace", "close %d", fd);
        detach_device(fd);
    }
    return ::close(fd);
}

ssize_t bd_read(int fd, void *buf, size_t count)
{
    if (auto dev = find_device(fd))
        return dev->read(buf, count);
    if (card_file_gone(fd))
        return fail(EIO);
    return ::read(fd, buf, count);
}

ssize_t bd_write(int fd, const void *buf, size_t count)
{
    if (auto dev = find_device(fd))
        return dev->write(buf, count);
    if (card_file_gone(fd))
        return fail(EIO);
    return medium_write(fd, buf, count);
}

off_t bd_lseek(int fd, off_t offset, int whence)
{
    if (find_device(fd))
        return fail(ESPIPE);
    if (card_file_gone(fd))
        return fail(EIO);
    return ::lseek(fd, offset, whence);
}

int bd_ftruncate(int fd, off_t length)
{
    if (find_device(fd))
        return fail(EINVAL);
    if (card_file_gone(fd))
        return fail(EIO);
    return medium_truncate(fd, length);
}

// The host keeps every byte at once; the medium notes what a power cut
// could no longer take.
int bd_fsync(int fd)
{
    if (find_device(fd))
        return fail(EINVAL);
    if (card_file_gone(fd))
        return fail(EIO);
    if (fcntl(fd, F_GETFD) < 0)
        return -1;
    return medium_fsync(fd);
}

int bd_sync(void)
{
    ensure_started();
    medium_sync();
    return 0;
}

int bd_rename(const char *from, const char *to, unsigned flags)
{
    if (!from || !to)
        return fail(EFAULT);
    if (flags & ~BD_RENAME_NOREPLACE)
        return fail(EINVAL);
    return medium_rename(bd_path(from), bd_path(to), flags);
}

int bd_remove(const char *path)
{
    if (!path)
        return fail(EFAULT);
    return medium_remove(bd_path(path));
}

int bd_ioctl(int fd, unsigned long request, void *arg)
{
    auto dev = find_device(fd);
    if (!dev)
        return fail(fd < 0 ? EBADF : ENOTTY);
    if (tracing())
        event("trace", "ioctl %s 0x%08lx", dev->path().c_str(), request);
    return dev->ioctl(request, arg);
}

void *bd_mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    if (auto dev = find_device(fd)) {
        if (tracing())
            event("trace", "mmap %s 0x%llx+%zu", dev->path().c_str(), (unsigned long long)offset,
                  length);
        return dev->mmap(addr, length, prot, flags, offset);
    }
    return ::mmap(addr, length, prot, flags, fd, offset);
}

int bd_munmap(void *addr, size_t length)
{
    // Forgotten before the pages go, so that a mapping made meanwhile at the
    // same address keeps its record.
    if (addr != MAP_FAILED && ((uintptr_t)addr & 4095) == 0 && length)
        reg_map_drop(addr, length);
    return ::munmap(addr, length);
}

std::string bd_path(const char *path)
{
    const std::string &base = root();
    if (!path || !*path)
        return base;
    // Lexically resolved so that ".." can never leave the board's root.
    fs::path p = fs::path("/") / path;
    p = p.lexically_normal();
    std::string s = p.string();
    if (s.size() > 1 && s.back() == '/' && path[strlen(path) - 1] != '/')
        s.pop_back();
    return base + (s == "/" ? std::string("/") : s);
}
