// Physical memory through /dev/mem, one mapping per range, shared.
#include "app/devices/phys_mem.h"

#include <fcntl.h>
#include <mutex>
#include <new>
#include <sys/mman.h>

#include "board/board.h"

namespace {

struct PhysMapNode {
    uint32_t page;   // physical address of the first mapped page
    uint8_t *map;
    uint32_t length;
    uint32_t refs;
    PhysMapNode *next;
};

constexpr uint32_t kPage = 4096;

std::mutex g_map_lock;
PhysMapNode *g_maps = nullptr;
int g_mem_fd = -1;

} // namespace

void *memmap(uint32_t phys, uint32_t len)
{
    if (len == 0)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_map_lock);
    uint64_t end = (uint64_t)phys + len;
    for (PhysMapNode *n = g_maps; n; n = n->next) {
        if (n->page <= phys && end <= (uint64_t)n->page + n->length) {
            n->refs++;
            return n->map + (phys - n->page);
        }
    }
    if (g_mem_fd < 0) {
        g_mem_fd = bd_open("/dev/mem", O_RDWR | O_SYNC);
        if (g_mem_fd < 0)
            return nullptr;
    }
    uint32_t offset = phys % kPage;
    uint64_t length = (((uint64_t)len + offset - 1) & ~(uint64_t)(kPage - 1)) + kPage;
    if (length > 0xFFFFFFFFull)
        return nullptr;
    void *p = bd_mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, g_mem_fd, phys - offset);
    if (p == MAP_FAILED)
        return nullptr;
    auto *node = new (std::nothrow) PhysMapNode{phys - offset, static_cast<uint8_t *>(p), (uint32_t)length, 1, nullptr};
    if (!node) {
        bd_munmap(p, length);
        return nullptr;
    }
    PhysMapNode **tail = &g_maps;
    while (*tail)
        tail = &(*tail)->next;
    *tail = node;
    return node->map + offset;
}

int memunmap(void *virt)
{
    auto *v = static_cast<uint8_t *>(virt);
    std::lock_guard<std::mutex> lock(g_map_lock);
    for (PhysMapNode **pp = &g_maps; *pp; pp = &(*pp)->next) {
        PhysMapNode *n = *pp;
        if (v >= n->map && v < n->map + n->length) {
            if (--n->refs == 0) {
                *pp = n->next;
                bd_munmap(n->map, n->length);
                delete n;
            }
            return 0;
        }
    }
    return -1;
}
