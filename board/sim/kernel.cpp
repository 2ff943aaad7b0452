// Kernel services of the simulated board that belong to no single device: the
// wall clock, mounts and free space of the card, and the uevent netlink socket.
#include "board/board.h"
#include "board/sim/sim.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sys/socket.h>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;

namespace sim {

namespace {

// ---- clock ----------------------------------------------------------------------
// The board's wall clock is the host's moved by an offset; setting it never
// touches the host clock.
std::atomic<int64_t> g_clock_offset_us{0};

int64_t host_now_us()
{
    struct timeval tv;
    ::gettimeofday(&tv, nullptr);
    return (int64_t)tv.tv_sec * 1000000 + tv.tv_usec;
}

// ---- card -----------------------------------------------------------------------
constexpr uint32_t kCardDetectReg = 0x206F0000 + 0x50; // 1 = no card
const char *const kCardDevice = "/dev/mmcblk0p1";
const char *const kCardMount = "/mnt/sdcard0";

std::mutex g_mount_lock;
bool g_card_mounted = false;

std::string card_dir() { return root() + kCardMount; }

void write_partitions(bool card, long card_mb)
{
    std::ofstream out(root() + "/proc/partitions", std::ios::trunc);
    out << "major minor  #blocks  name\n\n";
    out << "  31        0       8192 mtdblock0\n";
    if (card) {
        long blocks = card_mb * 1024;
        out << " 179        0 " << blocks << " mmcblk0\n";
        out << " 179        1 " << blocks - 4096 << " mmcblk0p1\n";
    }
}

// Bytes the files and folders below `dir` take in blocks of `block`: the
// flash, small enough to be counted at each question.
uint64_t used_bytes(const std::string &dir, uint64_t block)
{
    uint64_t used = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code e2;
        if (it->is_regular_file(e2)) {
            uint64_t size = it->file_size(e2);
            used += (size + block - 1) / block * block;
        } else {
            used += block; // a directory takes a block
        }
    }
    return used;
}

// Descriptors of files on the card, with the insertion of the card they
// were opened on (under g_mount_lock).
std::map<int, uint64_t> g_card_fds;
uint64_t g_card_insertion = 1;

bool on_card(const std::string &host)
{
    std::string card = card_dir();
    return host == card || host.compare(0, card.size() + 1, card + "/") == 0;
}

// ---- flash ---------------------------------------------------------------------------
// The root file system's data partition, where updates land: a flash of
// board.conf's flash_mb megabytes.
const char *const kFlashMount = "/mnt/data_flash";
constexpr uint64_t kFlashBlock = 4096;
constexpr long kFlashMbDefault = 16;

// ---- uevent sockets ------------------------------------------------------------------
std::mutex g_uevent_lock;
std::set<int> g_uevent_peers;           // board ends of bound sockets
std::map<int, int> g_uevent_pairs;      // firmware end -> board end

Hooks kernel_hooks(
    [] {
        g_clock_offset_us = 0;
        {
            std::lock_guard<std::mutex> lock(g_mount_lock);
            g_card_mounted = false;
            g_card_fds.clear();
        }
        card_changed();
    },
    nullptr);

} // namespace

void card_changed()
{
    World w = world();
    phys_write32(kCardDetectReg, w.card ? 0 : 1);
    write_partitions(w.card, w.card_mb);
    if (w.card) {
        std::error_code ec;
        fs::create_directories(card_dir(), ec);
    } else {
        {
            std::lock_guard<std::mutex> lock(g_mount_lock);
            g_card_mounted = false;
            ++g_card_insertion; // what was open on the card is gone with it
        }
        medium_card_pulled(); // with what it had not synced
    }
}

int card_file_open(const std::string &host, int flags, mode_t mode)
{
    bool card_path = on_card(host);
    if (card_path && !world().card)
        return fail(ENOENT);
    int fd = ::open(host.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0)
        return fd;
    std::lock_guard<std::mutex> lock(g_mount_lock);
    if (card_path && g_card_mounted)
        g_card_fds[fd] = g_card_insertion;
    else
        g_card_fds.erase(fd); // a number that served a card file before
    return fd;
}

bool card_file_gone(int fd)
{
    std::lock_guard<std::mutex> lock(g_mount_lock);
    auto it = g_card_fds.find(fd);
    return it != g_card_fds.end() && it->second != g_card_insertion;
}

void card_file_closed(int fd)
{
    std::lock_guard<std::mutex> lock(g_mount_lock);
    g_card_fds.erase(fd);
}

bool card_mounted()
{
    std::lock_guard<std::mutex> lock(g_mount_lock);
    return g_card_mounted;
}

size_t uevent(const std::string &text)
{
    // A uevent is "action@devpath" followed by NUL-separated key=value lines.
    std::string msg = text;
    for (char &c : msg)
        if (c == '\n')
            c = '\0';
    size_t sent = 0;
    {
        std::lock_guard<std::mutex> lock(g_uevent_lock);
        for (int fd : g_uevent_peers)
            if (::send(fd, msg.data(), msg.size(), MSG_DONTWAIT) == (ssize_t)msg.size())
                ++sent;
    }
    if (sent)
        event("usb", "uevent %s", text.substr(0, text.find('\n')).c_str());
    return sent;
}

} // namespace sim

using namespace sim;

int bd_gettimeofday(struct timeval *tv)
{
    if (!tv)
        return fail(EFAULT);
    ensure_started();
    int64_t t = host_now_us() + g_clock_offset_us.load();
    tv->tv_sec = t / 1000000;
    tv->tv_usec = t % 1000000;
    return 0;
}

int bd_settimeofday(const struct timeval *tv)
{
    if (!tv || tv->tv_usec < 0 || tv->tv_usec >= 1000000)
        return fail(EINVAL);
    ensure_started();
    int64_t want = (int64_t)tv->tv_sec * 1000000 + tv->tv_usec;
    g_clock_offset_us = want - host_now_us();
    event("clock", "set %lld", (long long)tv->tv_sec);
    return 0;
}

time_t bd_time(time_t *t)
{
    struct timeval tv;
    bd_gettimeofday(&tv);
    if (t)
        *t = tv.tv_sec;
    return tv.tv_sec;
}

struct tm *bd_localtime(const time_t *t, struct tm *result)
{
    return ::localtime_r(t, result);
}

int bd_mount(const char *source, const char *target, const char *fstype, unsigned long flags,
             const void *data)
{
    if (!source || !target || !fstype)
        return fail(EFAULT);
    ensure_started();
    event("kernel", "mount %s %s %s", source, target, fstype);
    if (strcmp(source, kCardDevice) != 0 || strcmp(fstype, "vfat") != 0)
        return fail(ENODEV);
    if (!world().card)
        return fail(ENXIO);
    if (strcmp(target, kCardMount) != 0)
        return fail(ENOENT);
    std::lock_guard<std::mutex> lock(g_mount_lock);
    if (g_card_mounted)
        return fail(EBUSY);
    std::error_code ec;
    fs::create_directories(card_dir(), ec);
    // The mount point takes the mode of the card's root directory, whatever
    // mode the point was made with.
    fs::permissions(card_dir(), fs::perms(0755), ec);
    g_card_mounted = true;
    medium_card_mounted(flags, static_cast<const char *>(data));
    card_recount(); // a card's file system counts its free clusters at the mount
    return 0;
}

int bd_umount(const char *target)
{
    if (!target)
        return fail(EFAULT);
    ensure_started();
    event("kernel", "umount %s", target);
    std::lock_guard<std::mutex> lock(g_mount_lock);
    if (strcmp(target, kCardMount) != 0 || !g_card_mounted)
        return fail(EINVAL);
    g_card_mounted = false;
    return 0;
}

namespace {

// A file system of `total` bytes of which `used` are taken, in blocks of `block`.
void fill_statvfs(struct statvfs *buf, uint64_t total, uint64_t used, uint64_t block)
{
    uint64_t free_bytes = used >= total ? 0 : total - used;
    buf->f_bsize = buf->f_frsize = block;
    buf->f_blocks = total / block;
    buf->f_bfree = buf->f_bavail = free_bytes / block;
}

} // namespace

int bd_statvfs(const char *path, struct statvfs *buf)
{
    if (!path || !buf)
        return fail(EFAULT);
    std::string mapped = bd_path(path);
    std::string flash = root() + kFlashMount;
    bool on_flash = mapped == flash || mapped.compare(0, flash.size() + 1, flash + "/") == 0;
    if (::statvfs(mapped.c_str(), buf) != 0)
        return -1;
    if (on_flash) {
        long mb = conf_int("flash_mb", kFlashMbDefault);
        uint64_t total = (uint64_t)(mb > 0 ? mb : kFlashMbDefault) * 1024 * 1024;
        fill_statvfs(buf, total, used_bytes(flash, kFlashBlock), kFlashBlock);
    } else if (on_card(mapped) && card_mounted()) {
        fill_statvfs(buf, (uint64_t)world().card_mb * 1024 * 1024, card_used_bytes(), kCardCluster);
    }
    return 0;
}

namespace sim {
namespace {

// The status line carries the card's free space as statvfs reports it.
StatusRegistration card_free_status([] {
    struct statvfs st;
    if (!world().card || !card_mounted() || bd_statvfs(kCardMount, &st) != 0)
        return std::string("card_free_kb=0");
    return "card_free_kb=" + std::to_string((unsigned long long)st.f_bavail * st.f_frsize / 1024);
});

} // namespace
} // namespace sim

int bd_socket(int domain, int type, int protocol)
{
    ensure_started();
    if (domain != AF_NETLINK)
        return ::socket(domain, type, protocol);
    if (protocol != 15) // kernel object uevents only
        return fail(EPROTONOSUPPORT);
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, sv) != 0)
        return -1;
    std::lock_guard<std::mutex> lock(g_uevent_lock);
    g_uevent_pairs[sv[0]] = sv[1];
    return sv[0];
}

int bd_bind(int fd, const struct sockaddr *addr, socklen_t len)
{
    std::unique_lock<std::mutex> lock(g_uevent_lock);
    auto it = g_uevent_pairs.find(fd);
    if (it == g_uevent_pairs.end()) {
        lock.unlock();
        return ::bind(fd, addr, len);
    }
    if (!addr)
        return fail(EFAULT);
    g_uevent_peers.insert(it->second);
    lock.unlock();
    // A gadget that came online while nobody listened announces itself to
    // the first listener, as a host's enumeration would come after the load.
    usb_update();
    return 0;
}

ssize_t bd_recv(int fd, void *buf, size_t len, int flags) { return ::recv(fd, buf, len, flags); }

// Closing a uevent socket drops its board end too.
void sim::socket_closed(int fd)
{
    std::lock_guard<std::mutex> lock(g_uevent_lock);
    auto it = g_uevent_pairs.find(fd);
    if (it == g_uevent_pairs.end())
        return;
    g_uevent_peers.erase(it->second);
    ::close(it->second);
    g_uevent_pairs.erase(it);
}
