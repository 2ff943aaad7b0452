// Registers that react to an access: the hooks drivers put on physical
// register addresses, and the firmware's register accesses (bd_reg_read,
// bd_reg_write) that reach them through its mappings of physical memory.
//
// Every firmware mapping of physical memory is recorded when made and
// dropped when unmapped. Those that cover a hooked register are published,
// with the hooks, in a small table that accesses read without a lock: a
// sequence count, odd while the table changes, tells a reader to look again.
// An access outside the span of all hooked words (nearly all of them) costs
// two loads and compares more than plain memory; within it, a look at the
// table.
#include "board/board.h"
#include "board/reg_plain.h"
#include "board/sim/sim.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace sim {

namespace {

constexpr size_t kMaxHooks = 64;
// Mappings over hooked registers at one time (the ISP firmware keeps one).
constexpr size_t kMaxHookedMaps = 32;
constexpr uintptr_t kPage = 4096;

// Mappings come and go in whole pages.
size_t round_pages(size_t length) { return (length + kPage - 1) & ~(kPage - 1); }

struct Hook {
    RegWrite on_write;
    RegRead on_read;
};

struct Mapping {
    size_t length;
    uint32_t phys;
};

// What the table is worked out from, changed under its lock.
struct Book {
    std::mutex lock;
    std::map<uint32_t, Hook> hooks;     // by register word
    std::map<uintptr_t, Mapping> maps; // by virtual start
};

Book &book()
{
    static Book b; // hooks register from static objects of other files
    return b;
}

// ---- the published table -----------------------------------------------------------------------

// A mapping over hooked registers: the virtual span from its first to past
// its last hooked word, and the mapping's start with the physical address
// there.
struct HookedMap {
    std::atomic<uintptr_t> lo, hi, virt;
    std::atomic<uint32_t> phys;
};

struct HookSlot {
    std::atomic<uint32_t> phys;
    std::atomic<RegWrite> on_write;
    std::atomic<RegRead> on_read;
};

std::atomic<unsigned> g_seq{0};
// The virtual span from the lowest to past the highest hooked word of all
// mappings, empty when there is none: the first test of every access, read
// without the sequence count. A torn read (one end old, one new) still
// holds every mapping that lives across the change, and only those can be
// accessed then: a new mapping is published before bd_mmap returns it, a
// gone one is no longer accessed.
std::atomic<uintptr_t> g_lo{UINTPTR_MAX}, g_hi{0};
std::atomic<unsigned> g_nmaps{0};
std::atomic<unsigned> g_nhooks{0};
HookedMap g_maps[kMaxHookedMaps];
HookSlot g_hooks[kMaxHooks];

struct Span {
    uintptr_t lo, hi, virt;
    uint32_t phys;
};

// The mappings of the book that cover a hooked word.
std::vector<Span> hooked_spans(const Book &b)
{
    std::vector<Span> spans;
    for (const auto &[virt, m] : b.maps) {
        uint64_t first = m.phys, end = first + m.length;
        auto lo = b.hooks.lower_bound(m.phys);
        auto past = end > UINT32_MAX ? b.hooks.end() : b.hooks.lower_bound((uint32_t)end);
        if (lo == past)
            continue;
        uint64_t hi = std::min<uint64_t>(end, (uint64_t)std::prev(past)->first + 4);
        spans.push_back({virt + (uintptr_t)(lo->first - first), virt + (uintptr_t)(hi - first), virt, m.phys});
    }
    return spans;
}

// Publishes the book; false when it does not fit the table (which then
// stays as it was).
bool publish(const Book &b)
{
    std::vector<Span> spans = hooked_spans(b);
    if (spans.size() > kMaxHookedMaps || b.hooks.size() > kMaxHooks)
        return false;
    unsigned seq = g_seq.load(std::memory_order_relaxed);
    g_seq.store(seq + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (size_t i = 0; i < spans.size(); i++) {
        g_maps[i].lo.store(spans[i].lo, std::memory_order_relaxed);
        g_maps[i].hi.store(spans[i].hi, std::memory_order_relaxed);
        g_maps[i].virt.store(spans[i].virt, std::memory_order_relaxed);
        g_maps[i].phys.store(spans[i].phys, std::memory_order_relaxed);
    }
    size_t n = 0;
    for (const auto &[phys, h] : b.hooks) {
        g_hooks[n].phys.store(phys, std::memory_order_relaxed);
        g_hooks[n].on_write.store(h.on_write, std::memory_order_relaxed);
        g_hooks[n].on_read.store(h.on_read, std::memory_order_relaxed);
        n++;
    }
    uintptr_t lo = UINTPTR_MAX, hi = 0;
    for (const Span &span : spans) {
        lo = std::min(lo, span.lo);
        hi = std::max(hi, span.hi);
    }
    g_lo.store(lo, std::memory_order_relaxed);
    g_hi.store(hi, std::memory_order_relaxed);
    g_nmaps.store((unsigned)spans.size(), std::memory_order_relaxed);
    g_nhooks.store((unsigned)n, std::memory_order_relaxed);
    g_seq.store(seq + 2, std::memory_order_release);
    return true;
}

struct Hit {
    uint32_t phys;
    RegWrite on_write;
    RegRead on_read;
};

// The hooks of the register that `addr` reaches, when it lies in a mapping
// over a hooked register.
bool find_hit(uintptr_t addr, Hit &hit)
{
    for (;;) {
        unsigned seq = g_seq.load(std::memory_order_acquire);
        if (seq & 1) {
            std::this_thread::yield(); // a writer is between its two counts
            continue;
        }
        bool found = false;
        unsigned nmaps = std::min<unsigned>(g_nmaps.load(std::memory_order_relaxed), kMaxHookedMaps);
        for (unsigned i = 0; i < nmaps; i++) {
            if (addr < g_maps[i].lo.load(std::memory_order_relaxed) || addr >= g_maps[i].hi.load(std::memory_order_relaxed))
                continue;
            uint32_t phys = g_maps[i].phys.load(std::memory_order_relaxed) +
                            (uint32_t)(addr - g_maps[i].virt.load(std::memory_order_relaxed));
            unsigned nhooks = std::min<unsigned>(g_nhooks.load(std::memory_order_relaxed), kMaxHooks);
            for (unsigned j = 0; j < nhooks && !found; j++) {
                if (g_hooks[j].phys.load(std::memory_order_relaxed) != (phys & ~3u))
                    continue;
                hit = {phys, g_hooks[j].on_write.load(std::memory_order_relaxed),
                       g_hooks[j].on_read.load(std::memory_order_relaxed)};
                found = true;
            }
            break; // live mappings never overlap
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if (g_seq.load(std::memory_order_relaxed) == seq)
            return found;
    }
}

bool hooked(const volatile void *addr, Hit &hit)
{
    uintptr_t a = (uintptr_t)addr;
    return a >= g_lo.load(std::memory_order_relaxed) && a < g_hi.load(std::memory_order_relaxed) && find_hit(a, hit);
}

// Takes [virt, virt + length) out of the book's mappings, keeping what is
// left of a mapping on either side.
void drop_range(Book &b, uintptr_t virt, size_t length)
{
    uintptr_t end = virt + length;
    auto it = b.maps.upper_bound(virt);
    if (it != b.maps.begin())
        --it;
    while (it != b.maps.end() && it->first < end) {
        uintptr_t start = it->first, stop = start + it->second.length;
        Mapping m = it->second;
        if (stop <= virt) {
            ++it;
            continue;
        }
        it = b.maps.erase(it);
        if (start < virt)
            b.maps[start] = {virt - start, m.phys};
        if (stop > end)
            b.maps[end] = {stop - end, m.phys + (uint32_t)(end - start)};
    }
}

} // namespace

void reg_hook(uint32_t phys, RegWrite on_write, RegRead on_read)
{
    if ((phys & 3) || (phys >= kDdrBase && phys - kDdrBase < kDdrSize)) {
        fprintf(stderr, "board: a register hook at 0x%08x: registers are words outside DDR\n", phys);
        abort();
    }
    Book &b = book();
    std::lock_guard<std::mutex> lock(b.lock);
    if (on_write || on_read)
        b.hooks[phys] = {on_write, on_read};
    else
        b.hooks.erase(phys);
    if (!publish(b)) {
        fprintf(stderr, "board: no room for the hook of register 0x%08x\n", phys);
        abort();
    }
}

// The kernel's records of the firmware's mappings of physical memory
// (board.cpp): false when a mapping over hooked registers finds no room.
bool reg_map_record(void *virt, size_t length, uint32_t phys)
{
    length = round_pages(length); // the firmware may use the whole of the last page
    Book &b = book();
    std::lock_guard<std::mutex> lock(b.lock);
    drop_range(b, (uintptr_t)virt, length); // a stale record the kernel has since reused
    b.maps[(uintptr_t)virt] = {length, phys};
    if (publish(b))
        return true;
    b.maps.erase((uintptr_t)virt);
    publish(b);
    return false;
}

void reg_map_drop(void *virt, size_t length)
{
    Book &b = book();
    std::lock_guard<std::mutex> lock(b.lock);
    drop_range(b, (uintptr_t)virt, round_pages(length));
    publish(b);
}

} // namespace sim

uint32_t bd_reg_read(const volatile void *addr, unsigned width)
{
    if (!board_regs::access_ok(addr, width))
        return 0;
    sim::Hit hit;
    if (sim::hooked(addr, hit) && hit.on_read)
        return hit.on_read(hit.phys, width);
    return board_regs::load(addr, width);
}

void bd_reg_write(volatile void *addr, unsigned width, uint32_t value)
{
    if (!board_regs::access_ok(addr, width))
        return;
    board_regs::store(addr, width, value);
    sim::Hit hit;
    if (sim::hooked(addr, hit) && hit.on_write)
        hit.on_write(hit.phys, width, width == 4 ? value : value & ((1u << 8 * width) - 1));
}
