// The card's use, kept as its file system keeps its free-cluster count:
// counted when the card is mounted, then moved by each change. The changes
// come from the host's file-change notices on every folder of the card, so
// that none is missed whoever makes it: the firmware, the board's shell, a
// computer on the USB disk, a test. Asking drains the notices that wait,
// which costs nothing while nothing changed, whatever the number of files.
#include "board/board.h"
#include "board/sim/sim.h"

#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace fs = std::filesystem;

namespace sim {

namespace {

constexpr uint32_t kWatch = IN_CREATE | IN_DELETE | IN_MODIFY | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR |
                            IN_DONT_FOLLOW;

struct Use {
    std::mutex lock;
    int notices = -1;
    bool counted = false; // false: no notices to follow, the folder is walked
    std::string base;     // the card's folder
    std::unordered_map<int, std::string> dirs; // watch -> folder
    std::map<std::string, uint64_t> taken;     // below base -> bytes
    uint64_t total = 0;
};

Use g_use;

uint64_t bytes_of(const struct stat &st)
{
    if (!S_ISREG(st.st_mode))
        return kCardCluster; // a folder (or anything else) takes a cluster
    return ((uint64_t)st.st_size + kCardCluster - 1) / kCardCluster * kCardCluster;
}

void set(Use &u, const std::string &path, uint64_t bytes)
{
    uint64_t &slot = u.taken[path];
    u.total += bytes - slot;
    slot = bytes;
}

// `path` and everything below it leave the count.
void forget_tree(Use &u, const std::string &path)
{
    auto it = u.taken.find(path);
    if (it != u.taken.end()) {
        u.total -= it->second;
        u.taken.erase(it);
    }
    const std::string prefix = path + "/";
    for (it = u.taken.lower_bound(prefix); it != u.taken.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
        u.total -= it->second;
        it = u.taken.erase(it);
    }
    for (auto d = u.dirs.begin(); d != u.dirs.end();) {
        if (d->second == path || d->second.compare(0, prefix.size(), prefix) == 0) {
            inotify_rm_watch(u.notices, d->first);
            d = u.dirs.erase(d);
        } else {
            ++d;
        }
    }
}

// `path` and everything below it enter the count; folders are watched
// before they are read, so that nothing made meanwhile is missed.
void add_tree(Use &u, const std::string &path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (path != u.base)
        set(u, path, bytes_of(st));
    if (!S_ISDIR(st.st_mode))
        return;
    int wd = inotify_add_watch(u.notices, path.c_str(), kWatch);
    if (wd < 0) {
        u.counted = false;
        return;
    }
    u.dirs[wd] = path;
    DIR *d = opendir(path.c_str());
    if (!d)
        return;
    while (struct dirent *e = readdir(d)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            add_tree(u, path + "/" + e->d_name);
    }
    closedir(d);
}

void recount(Use &u)
{
    if (u.notices >= 0)
        ::close(u.notices);
    u.dirs.clear();
    u.taken.clear();
    u.total = 0;
    u.base = root() + "/mnt/sdcard0";
    u.notices = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    u.counted = u.notices >= 0;
    if (u.counted)
        add_tree(u, u.base);
    u.counted = u.counted && !u.dirs.empty(); // no folder yet: walked when asked
}

// One notice: the name it is about is looked at again.
void apply(Use &u, const struct inotify_event &e)
{
    auto dir = u.dirs.find(e.wd);
    if (dir == u.dirs.end() || e.len == 0 || !e.name[0])
        return;
    const std::string path = dir->second + "/" + e.name;
    if (e.mask & (IN_DELETE | IN_MOVED_FROM)) {
        forget_tree(u, path);
    } else if (e.mask & IN_ISDIR) {
        add_tree(u, path);
    } else {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0)
            forget_tree(u, path);
        else if (!S_ISDIR(st.st_mode))
            set(u, path, bytes_of(st));
        // a folder made under a file's name comes with its own notice
    }
}

void drain(Use &u)
{
    alignas(struct inotify_event) char buf[16384];
    while (u.counted) {
        ssize_t n = ::read(u.notices, buf, sizeof buf);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto *e = reinterpret_cast<const struct inotify_event *>(buf + at);
            at += (ssize_t)(sizeof *e + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                recount(u); // notices were lost: count again
                break;
            }
            if (e->mask & IN_IGNORED)
                u.dirs.erase(e->wd);
            else
                apply(u, *e);
        }
    }
}

// Without notices the folder is walked at every question, as the count
// would be made at a mount.
uint64_t walk(const std::string &dir)
{
    uint64_t used = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        struct stat st;
        if (lstat(it->path().c_str(), &st) == 0)
            used += bytes_of(st);
    }
    return used;
}

Hooks card_use_hooks([] {
    std::lock_guard<std::mutex> lock(g_use.lock);
    if (g_use.notices >= 0)
        ::close(g_use.notices);
    g_use.notices = -1;
    g_use.counted = false;
    g_use.dirs.clear();
    g_use.taken.clear();
    g_use.total = 0;
    g_use.base.clear();
});

} // namespace

void card_recount()
{
    std::lock_guard<std::mutex> lock(g_use.lock);
    recount(g_use);
}

uint64_t card_used_bytes()
{
    std::lock_guard<std::mutex> lock(g_use.lock);
    drain(g_use);
    return g_use.counted ? g_use.total : walk(root() + "/mnt/sdcard0");
}

} // namespace sim
