// The card and the flash as media: what a file was given since its last sync
// lives only in the kernel's cache, and a power cut (or a pulled card) loses
// it. The host keeps every byte, so the board notes, per file, what it must
// undo: the size the medium holds and the old bytes of every overwrite since
// the sync. Appends, the recording's writes, cost a note of their end only.
#include "board/board.h"
#include "board/sim/sim.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace sim {

namespace {

constexpr uint64_t kSector = 512;

enum class Medium { none, card, flash };
// When a file's writes reach its medium besides a sync.
enum class Writeback { on_sync, on_close, at_once };

struct Undo {
    uint64_t at;
    std::string old;
};

struct File {
    std::string host;      // its name when first written, for the log
    Medium medium = Medium::none;
    int own = -1;          // the board's descriptor on it (read-write), for undoing
    int opens = 0;         // firmware descriptors on it
    bool dirty = false;
    uint64_t synced = 0;   // the size the medium holds
    std::vector<Undo> undo; // old bytes under each overwrite since the sync
    // The file's last change since the sync, for a torn cut: a write, or a
    // size change (`last_whole`: one the medium makes whole or not at all).
    uint64_t seq = 0, last_at = 0, last_len = 0, size_before = 0;
    bool last_undone = false; // its overwritten bytes are undo.back()
    bool last_whole = false;
};

struct Open {
    std::shared_ptr<File> file;
    bool append = false;
    bool written = false;
};

std::mutex g_lock;
std::map<std::pair<dev_t, ino_t>, std::shared_ptr<File>> g_files;
std::unordered_map<int, Open> g_opens;
uint64_t g_seq = 0;
Writeback g_card_writeback = Writeback::on_sync;
unsigned g_cut_after = 0;

bool below(const std::string &host, const std::string &dir)
{
    return host.size() > dir.size() && host.compare(0, dir.size(), dir) == 0 && host[dir.size()] == '/';
}

Medium medium_of(const std::string &host)
{
    const std::string &r = root();
    if (below(host, r + "/mnt/sdcard0"))
        return Medium::card;
    if (below(host, r + "/dv") || below(host, r + "/mnt/data_flash"))
        return Medium::flash;
    return Medium::none;
}

Writeback writeback(Medium m) { return m == Medium::card ? g_card_writeback : Writeback::on_close; }

std::string firmware_name(const std::string &host)
{
    const std::string &r = root();
    return host.compare(0, r.size(), r) == 0 ? host.substr(r.size()) : host;
}

uint64_t size_of(int fd)
{
    struct stat st;
    return fd >= 0 && fstat(fd, &st) == 0 ? (uint64_t)st.st_size : 0;
}

void forget_if_idle(const std::shared_ptr<File> &f)
{
    if (f->dirty || f->opens > 0)
        return;
    for (auto it = g_files.begin(); it != g_files.end(); ++it)
        if (it->second == f) {
            g_files.erase(it);
            break;
        }
    ::close(f->own);
    f->own = -1;
}

void mark_synced(File &f)
{
    f.synced = size_of(f.own);
    f.undo.clear();
    f.dirty = false;
    f.seq = 0;
}

bool pwrite_all(int fd, const char *p, size_t n, uint64_t at)
{
    while (n) {
        ssize_t w = ::pwrite(fd, p, n, (off_t)at);
        if (w <= 0)
            return false;
        p += w, n -= (size_t)w, at += (uint64_t)w;
    }
    return true;
}

// The file as its medium holds it: every write since the sync undone.
void drop(File &f)
{
    uint64_t size = size_of(f.own);
    for (auto u = f.undo.rbegin(); u != f.undo.rend(); ++u)
        pwrite_all(f.own, u->old.data(), u->old.size(), u->at);
    if (ftruncate(f.own, (off_t)f.synced) != 0)
        event("medium", "drop %s: cannot truncate", firmware_name(f.host).c_str());
    event("medium", "drop %s: %llu of %llu bytes kept", firmware_name(f.host).c_str(), (unsigned long long)f.synced,
          (unsigned long long)size);
}

// The power went while the medium wrote the file's last write: the writes
// before it are there, of the last only its sectors up to about its middle
// (of a size change, nothing).
void tear(File &f)
{
    const uint64_t at = f.last_at, end = at + f.last_len;
    const uint64_t cut = f.last_whole ? at : std::max(at, (at + f.last_len / 2) / kSector * kSector);
    if (f.last_undone && !f.undo.empty()) {
        const Undo &u = f.undo.back();
        const uint64_t old_end = u.at + u.old.size();
        if (cut < old_end)
            pwrite_all(f.own, u.old.data() + (cut - u.at), (size_t)(old_end - cut), cut);
    }
    if (end > f.size_before && ftruncate(f.own, (off_t)std::max(cut, f.size_before)) != 0)
        event("medium", "tear %s: cannot truncate", firmware_name(f.host).c_str());
    if (f.last_whole)
        event("medium", "tear %s: its size change from %llu bytes lost", firmware_name(f.host).c_str(),
              (unsigned long long)f.size_before);
    else
        event("medium", "tear %s: bytes %llu to %llu of a write at %llu lost", firmware_name(f.host).c_str(),
              (unsigned long long)cut, (unsigned long long)end, (unsigned long long)at);
}

// What the files of `which` (or of every medium) had not synced is gone.
void lose_unsynced(Medium which)
{
    const std::string how = conf("power_cut", "drop");
    if (how == "keep")
        return;
    File *torn = nullptr;
    for (auto &kv : g_files) {
        File &f = *kv.second;
        if (f.dirty && (which == Medium::none || f.medium == which) && (!torn || f.seq > torn->seq))
            torn = &f;
    }
    for (auto &kv : g_files) {
        File &f = *kv.second;
        if (!f.dirty || (which != Medium::none && f.medium != which))
            continue;
        if (how == "tear" && &f == torn)
            tear(f);
        else
            drop(f);
        mark_synced(f);
    }
}

[[noreturn]] void cut_now()
{
    event("power", "cut");
    lose_unsynced(Medium::none);
    kill(getpid(), SIGKILL);
    _exit(137);
}

// One operation of a medium done; the armed cut comes right after it.
void operation_done()
{
    if (g_cut_after && --g_cut_after == 0)
        cut_now();
}

Open *open_of(int fd)
{
    auto it = g_opens.find(fd);
    return it == g_opens.end() ? nullptr : &it->second;
}

// The bytes at [at, at + n) of the file.
std::string read_old(const File &f, uint64_t at, size_t n)
{
    std::string old(n, '\0');
    ssize_t got = ::pread(f.own, &old[0], n, (off_t)at);
    old.resize(got > 0 ? (size_t)got : 0);
    return old;
}

// A write or a size change of [at, at + len) made to the file open as `o`,
// `old` holding the bytes it replaced: noted for a cut, and an operation.
void changed(Open &o, Undo &&old, uint64_t at, uint64_t len, uint64_t size_before, bool whole)
{
    File &f = *o.file;
    o.written = true;
    f.last_undone = !old.old.empty();
    if (f.last_undone)
        f.undo.push_back(std::move(old));
    f.last_at = at;
    f.last_len = len;
    f.size_before = size_before;
    f.last_whole = whole;
    f.seq = ++g_seq;
    f.dirty = true;
    if (writeback(f.medium) == Writeback::at_once)
        mark_synced(f);
    operation_done();
}

Hooks medium_hooks([] {
    std::lock_guard<std::mutex> lock(g_lock);
    for (auto &kv : g_files)
        ::close(kv.second->own);
    g_files.clear();
    g_opens.clear();
    g_card_writeback = Writeback::on_sync;
    g_cut_after = 0;
});

} // namespace

void medium_opened(int fd, const std::string &host, int flags)
{
    if ((flags & O_ACCMODE) == O_RDONLY)
        return;
    Medium m = medium_of(host);
    struct stat st;
    if (m == Medium::none || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return;
    std::lock_guard<std::mutex> lock(g_lock);
    std::shared_ptr<File> &f = g_files[{st.st_dev, st.st_ino}];
    if (!f) {
        // A descriptor of the board's own, read-write whatever the firmware
        // asked, that outlives the firmware's.
        int own = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDWR | O_CLOEXEC);
        if (own < 0) {
            g_files.erase({st.st_dev, st.st_ino});
            event("medium", "%s: not followed (%s)", firmware_name(host).c_str(), strerror(errno));
            return;
        }
        f = std::make_shared<File>();
        f->host = host;
        f->medium = m;
        f->own = own;
        f->synced = (uint64_t)st.st_size;
    } else if (flags & O_TRUNC) {
        // The truncation is on the medium at once, whatever it held.
        f->synced = 0;
        f->undo.clear();
        f->dirty = false;
    }
    f->opens++;
    g_opens[fd] = Open{f, (flags & O_APPEND) != 0, false};
    if (flags & (O_CREAT | O_TRUNC))
        operation_done();
}

ssize_t medium_write(int fd, const void *buf, size_t count)
{
    std::unique_lock<std::mutex> lock(g_lock);
    Open *o = open_of(fd);
    if (!o) {
        lock.unlock();
        return ::write(fd, buf, count);
    }
    File &f = *o->file;
    const uint64_t size = size_of(fd);
    const off_t pos = o->append ? (off_t)size : ::lseek(fd, 0, SEEK_CUR);
    Undo undo{(uint64_t)std::max<off_t>(pos, 0), ""};
    if (pos >= 0 && undo.at < size)
        undo.old = read_old(f, undo.at, (size_t)std::min<uint64_t>(count, size - undo.at));
    ssize_t n = ::write(fd, buf, count);
    if (n <= 0 || pos < 0)
        return n;
    if (undo.old.size() > (size_t)n)
        undo.old.resize((size_t)n);
    changed(*o, std::move(undo), (uint64_t)pos, (uint64_t)n, size, false);
    return n;
}

int medium_truncate(int fd, off_t length)
{
    std::unique_lock<std::mutex> lock(g_lock);
    Open *o = open_of(fd);
    if (!o || length < 0) {
        lock.unlock();
        return ::ftruncate(fd, length);
    }
    // What a shrink cuts off is kept to be put back; the undo of a write
    // before it lies within the new size or is put back first.
    const uint64_t size = size_of(fd), to = (uint64_t)length;
    Undo undo{to, to < size ? read_old(*o->file, to, (size_t)(size - to)) : ""};
    if (::ftruncate(fd, length) != 0)
        return -1;
    changed(*o, std::move(undo), std::min(size, to), size > to ? size - to : to - size, size, true);
    return 0;
}

int medium_fsync(int fd)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (Open *o = open_of(fd)) {
        mark_synced(*o->file);
        operation_done();
    }
    return 0;
}

void medium_closed(int fd)
{
    std::lock_guard<std::mutex> lock(g_lock);
    Open *o = open_of(fd);
    if (!o)
        return;
    std::shared_ptr<File> f = o->file;
    const bool written = o->written;
    g_opens.erase(fd);
    f->opens--;
    if (written && writeback(f->medium) != Writeback::on_sync)
        mark_synced(*f);
    forget_if_idle(f);
    if (written)
        operation_done();
}

void medium_sync()
{
    std::lock_guard<std::mutex> lock(g_lock);
    std::vector<std::shared_ptr<File>> all;
    for (auto &kv : g_files)
        all.push_back(kv.second);
    for (auto &f : all) {
        mark_synced(*f);
        forget_if_idle(f);
    }
    operation_done();
}

int medium_rename(const std::string &from, const std::string &to, unsigned flags)
{
    std::lock_guard<std::mutex> lock(g_lock);
    int rc = flags ? ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags)
                   : ::rename(from.c_str(), to.c_str());
    if (rc == 0 && (medium_of(from) != Medium::none || medium_of(to) != Medium::none))
        operation_done();
    return rc;
}

int medium_remove(const std::string &host)
{
    std::lock_guard<std::mutex> lock(g_lock);
    int rc = ::remove(host.c_str());
    if (rc == 0 && medium_of(host) != Medium::none)
        operation_done();
    return rc;
}

void medium_card_mounted(unsigned long flags, const char *options)
{
    std::string opts = options ? options : "";
    auto has = [&](const char *word) {
        std::string padded = "," + opts + ",";
        return padded.find(std::string(",") + word + ",") != std::string::npos;
    };
    std::lock_guard<std::mutex> lock(g_lock);
    constexpr unsigned long kSynchronous = 16; // MS_SYNCHRONOUS
    g_card_writeback = (flags & kSynchronous) || has("sync") ? Writeback::at_once
                       : has("flush")                       ? Writeback::on_close
                                                            : Writeback::on_sync;
}

void medium_card_pulled()
{
    std::lock_guard<std::mutex> lock(g_lock);
    lose_unsynced(Medium::card);
}

void medium_power_lost()
{
    // Held to the end: no write of another thread lands after the loss.
    g_lock.lock();
    lose_unsynced(Medium::none);
}

void cut_power_after_operation(unsigned n)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_cut_after = n;
}

} // namespace sim
