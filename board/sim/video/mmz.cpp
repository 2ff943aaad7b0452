// /dev/mmz_userdev: the media memory zone allocator. Buffers are carved from
// the board's DDR; mapping one maps those same physical pages into the
// process, so what the firmware writes there the other drivers read.
#include "board/sim/mpp_log.h"
#include "board/sim/sim.h"
#include "mpi/video/sys/mmz_requests.h"
#include "mpi/video/sys/sys_requests.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <sys/mman.h>

namespace sim {

namespace {

struct Buffer {
    u32 size;
    std::string name, zone;
    uint8_t *user = nullptr; // mapping, page aligned
    size_t map_len = 0;
    bool cached = false;
};

std::mutex g_lock;
std::map<u32, Buffer> g_bufs; // by physical address

size_t pages(u32 size) { return ((size_t)size + 4095) & ~(size_t)4095; }

void unmap(Buffer &b)
{
    if (b.user)
        ::munmap(b.user, b.map_len);
    b.user = nullptr;
    b.map_len = 0;
}

Hooks mmz_hooks([] {
    std::lock_guard<std::mutex> lock(g_lock);
    for (auto &kv : g_bufs)
        unmap(kv.second);
    g_bufs.clear();
});

bool terminated(const char *s, size_t n) { return memchr(s, 0, n) != nullptr; }

int do_alloc(MMZ_BUF_REQ_S &req)
{
    if (req.u32Size == 0 || !terminated(req.acBufName, sizeof req.acBufName) ||
        !terminated(req.acZoneName, sizeof req.acZoneName))
        return DU_ERR_SYS_ILLEGAL_PARAM;
    u32 phys = phys_alloc(req.u32Size);
    if (!phys) {
        mpp_log(DU_ID_SYS, 3, "mmz: no %u bytes left in zone \"%s\"", req.u32Size, req.acZoneName);
        return DU_ERR_SYS_NOMEM;
    }
    Buffer &b = g_bufs[phys];
    b.size = req.u32Size;
    b.name = req.acBufName;
    b.zone = req.acZoneName;
    req.u32PhyAddr = phys;
    return 0;
}

int do_remap(MMZ_BUF_REQ_S &req, bool cached)
{
    auto it = g_bufs.find(req.u32PhyAddr);
    if (it == g_bufs.end())
        return DU_ERR_SYS_ILLEGAL_PARAM;
    Buffer &b = it->second;
    if (!b.user) {
        void *p = ::mmap(nullptr, pages(b.size), PROT_READ | PROT_WRITE, MAP_SHARED, phys_fd(), it->first);
        if (p == MAP_FAILED)
            return DU_ERR_SYS_NOMEM;
        b.user = static_cast<uint8_t *>(p);
        b.map_len = pages(b.size);
        b.cached = cached;
    }
    req.pVirAddr = b.user;
    return 0;
}

int do_unmap(MMZ_BUF_REQ_S &req)
{
    auto it = g_bufs.find(req.u32PhyAddr);
    if (it == g_bufs.end())
        return DU_ERR_SYS_ILLEGAL_PARAM;
    unmap(it->second);
    return 0;
}

int do_free(MMZ_BUF_REQ_S &req)
{
    auto it = g_bufs.find(req.u32PhyAddr);
    if (it == g_bufs.end())
        return DU_ERR_SYS_ILLEGAL_PARAM;
    unmap(it->second);
    phys_free(it->first);
    g_bufs.erase(it);
    return 0;
}

// The buffer whose mapping holds a user address: its physical address, bit 0
// set when the mapping is cached.
int do_lookup(MMZ_BUF_REQ_S &req)
{
    auto *p = static_cast<uint8_t *>(req.pVirAddr);
    for (auto &kv : g_bufs) {
        const Buffer &b = kv.second;
        if (b.user && p >= b.user && p < b.user + b.size) {
            req.u32PhyAddr = (kv.first + (u32)(p - b.user)) & ~1u;
            req.u32PhyAddr |= b.cached ? 1u : 0u;
            return 0;
        }
    }
    return DU_ERR_SYS_ILLEGAL_PARAM;
}

// The board's memory is coherent, so a flush changes nothing; but a range
// that is not inside one buffer (both addresses) would flush someone else's
// lines on the hardware, and is refused.
int mmz_flush_dirty(void *arg)
{
    MMZ_FLUSH_REC_S rec;
    if (!get_user(rec, arg))
        return fail(EFAULT);
    if (tracing())
        event("mmz", "flush 0x%x+%u", rec.u32PhyAddr, rec.u32Size);
    if (rec.u32Size == 0)
        return DU_ERR_SYS_ILLEGAL_PARAM;
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_bufs.upper_bound(rec.u32PhyAddr);
    if (it == g_bufs.begin())
        return DU_ERR_SYS_ILLEGAL_PARAM;
    --it;
    const u32 start = it->first;
    const Buffer &b = it->second;
    const uint64_t offset = rec.u32PhyAddr - start;
    if (offset + rec.u32Size > b.size)
        return DU_ERR_SYS_ILLEGAL_PARAM;
    if (b.user && rec.pVirAddr != b.user + offset)
        return DU_ERR_SYS_ILLEGAL_PARAM;
    return 0;
}

const IoctlOp<void> kMmzOps[] = {
    {MMZ_ALLOC_CTRL, [](void *arg) { return with_record<MMZ_BUF_REQ_S>(g_lock, arg, true, do_alloc); }},
    {MMZ_REMAP_CTRL,
     [](void *arg) {
         return with_record<MMZ_BUF_REQ_S>(g_lock, arg, true, [](MMZ_BUF_REQ_S &r) { return do_remap(r, false); });
     }},
    {MMZ_REMAP_CACHED_CTRL,
     [](void *arg) {
         return with_record<MMZ_BUF_REQ_S>(g_lock, arg, true, [](MMZ_BUF_REQ_S &r) { return do_remap(r, true); });
     }},
    {MMZ_UNMAP_CTRL, [](void *arg) { return with_record<MMZ_BUF_REQ_S>(g_lock, arg, true, do_unmap); }},
    {MMZ_FREE_CTRL, [](void *arg) { return with_record<MMZ_BUF_REQ_S>(g_lock, arg, false, do_free); }},
    {MMZ_GET_PHYADDR_CTRL, [](void *arg) { return with_record<MMZ_BUF_REQ_S>(g_lock, arg, true, do_lookup); }},
    {MMZ_FLUSH_DCACHE_ALL, [](void *) { return 0; }}, // the board's memory is coherent
    {MMZ_FLUSH_DCACHE_DIRTY, mmz_flush_dirty},
};

class MmzDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        if (mpp_refused("mmz", request))
            return fail(EIO);
        return dispatch(kMmzOps, request, arg);
    }
};

DeviceRegistration mmz_device("/dev/mmz_userdev", [](int) { return std::make_shared<MmzDevice>(); });

} // namespace

} // namespace sim
