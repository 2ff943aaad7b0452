// The board's physical memory: one sparse memfd covering the 32-bit address
// space. DDR, register windows and buffers are all plain memory here; /dev/mem
// and the units' devices map the same pages the board's drivers see.
#include "board/sim/sim.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <map>
#include <mutex>
#include <unistd.h>

namespace sim {

namespace {

constexpr uint64_t kSpace = 1ull << 32;

struct PhysSpace {
    int fd = -1;
    uint8_t *base = nullptr;

    PhysSpace()
    {
        fd = memfd_create("board-phys", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, (off_t)kSpace) != 0) {
            perror("board: physical memory");
            abort();
        }
        void *p = ::mmap(nullptr, kSpace, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_NORESERVE, fd, 0);
        if (p == MAP_FAILED) {
            perror("board: physical memory map");
            abort();
        }
        base = static_cast<uint8_t *>(p);
    }
};

PhysSpace &space()
{
    static PhysSpace s;
    return s;
}

std::mutex g_alloc_lock;
std::map<uint32_t, uint32_t> g_allocs; // start -> size

DeviceRegistration mem_device("/dev/mem", [](int) { return std::make_shared<Device>(); });

} // namespace

// Power-on state: every page reads zero again.
void phys_clear()
{
    PhysSpace &s = space();
    if (fallocate(s.fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, 0, (off_t)kSpace) != 0)
        perror("board: clearing physical memory");
    std::lock_guard<std::mutex> lock(g_alloc_lock);
    g_allocs.clear();
}

uint32_t phys_alloc(uint32_t size)
{
    if (size == 0 || size > kDdrSize)
        return 0;
    uint64_t need = ((uint64_t)size + 4095) & ~4095ull;
    std::lock_guard<std::mutex> lock(g_alloc_lock);
    uint64_t at = kDdrBase;
    for (auto &a : g_allocs) { // first fit between allocations, in address order
        if (a.first - at >= need)
            break;
        at = a.first + (((uint64_t)a.second + 4095) & ~4095ull);
    }
    if (at + need > (uint64_t)kDdrBase + kDdrSize)
        return 0;
    g_allocs[(uint32_t)at] = size;
    // Fresh memory reads zero, as the allocator's clients expect.
    fallocate(space().fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, (off_t)at, (off_t)need);
    return (uint32_t)at;
}

void phys_free(uint32_t addr)
{
    std::lock_guard<std::mutex> lock(g_alloc_lock);
    g_allocs.erase(addr);
}

uint32_t phys_alloc_size(uint32_t addr)
{
    std::lock_guard<std::mutex> lock(g_alloc_lock);
    auto it = g_allocs.find(addr);
    return it == g_allocs.end() ? 0 : it->second;
}

bool phys_in_alloc(uint32_t addr, uint64_t len)
{
    std::lock_guard<std::mutex> lock(g_alloc_lock);
    auto it = g_allocs.upper_bound(addr);
    if (len == 0 || it == g_allocs.begin())
        return false;
    --it;
    return (uint64_t)addr + len <= (uint64_t)it->first + it->second;
}

uint8_t *phys(uint32_t addr) { return space().base + addr; }
int phys_fd() { return space().fd; }

uint32_t phys_read32(uint32_t addr)
{
    uint32_t v;
    memcpy(&v, phys(addr), 4);
    return v;
}

void phys_write32(uint32_t addr, uint32_t value) { memcpy(phys(addr), &value, 4); }

} // namespace sim
