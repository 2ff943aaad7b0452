// /dev/vb: the buffer-pool driver. Common pools come from the configuration
// at init, module pools from each module's configuration, private pools from
// their creators; every block has a use count, and handles name a pool and a
// block (pool << 16 | block).
#include "board/sim/mpp_log.h"
#include "board/sim/sim.h"
#include "mpi/video/vb/vb_requests.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

namespace {

constexpr s32 kIllegal = DU_ERR_VB_ILLEGAL_PARAM;
constexpr s32 kUnexist = mpi_status(DU_ID_VB, ERR_UNEXIST);
constexpr s32 kNotConfig = mpi_status(DU_ID_VB, ERR_NOT_CONFIG);
constexpr s32 kNotPerm = mpi_status(DU_ID_VB, ERR_NOT_PERM);
constexpr s32 kNoBuf = mpi_status(DU_ID_VB, ERR_NOBUF);
constexpr s32 kNoMem = DU_ERR_VB_NOMEM;
constexpr s32 kBusy = DU_ERR_VB_BUSY;

constexpr u32 kNone = 0xFFFFFFFFu;
constexpr u32 kMaxBlocks = 0xFFFF;
constexpr u32 kBlockAlign = 64;
constexpr u32 kSupplementSize = 256; // per kind per block
constexpr int kPrivate = -1;         // owner of a private pool
constexpr int kCommon = -2;          // owner of a common pool

struct Pool {
    bool used = false;
    int owner = kPrivate; // kCommon, kPrivate or a module user id
    u32 phys = 0;
    u32 blk_size = 0, stride = 0, cnt = 0;
    std::string zone;
    std::vector<u32> refs; // use count per block
    u32 supplement = 0;    // supplement areas: two per block, 0 when none

    u32 size() const { return stride * cnt; }
    bool in_use() const
    {
        for (u32 r : refs)
            if (r)
                return true;
        return false;
    }
};

struct VbState {
    VB_CONF_REC_S conf = {};
    bool conf_set = false;
    bool inited = false;
    VB_CONF_REC_S mod_conf[VB_MAX_USER] = {};
    bool mod_inited[VB_MAX_USER] = {};
    u32 supplement_mask = 0;
    Pool pools[VB_MAX_POOLS];
};

std::mutex g_lock;
VbState g_vb;

void free_pool(Pool &p)
{
    phys_free(p.phys);
    if (p.supplement)
        phys_free(p.supplement);
    p = Pool();
}

Hooks vb_hooks([] {
    std::lock_guard<std::mutex> lock(g_lock);
    g_vb = VbState(); // the DDR allocator is reset with the board
});

// ---- pools and blocks (under g_lock) -----------------------------------------------------------

u32 pools_used()
{
    u32 n = 0;
    for (const Pool &p : g_vb.pools)
        n += p.used;
    return n;
}

// A new pool's id, or an error status.
s32 create_pool(u32 blk_size, u32 cnt, const char *zone, int owner, u32 *id)
{
    if (blk_size == 0 || cnt == 0 || cnt > kMaxBlocks)
        return kIllegal;
    u64 stride = ((u64)blk_size + kBlockAlign - 1) & ~(u64)(kBlockAlign - 1);
    if (stride * cnt > kDdrSize)
        return kNoMem;
    u32 limit = g_vb.conf.u32PoolCnt ? std::min<u32>(g_vb.conf.u32PoolCnt, VB_MAX_POOLS) : VB_MAX_POOLS;
    u32 slot = 0;
    while (slot < VB_MAX_POOLS && g_vb.pools[slot].used)
        slot++;
    if (slot == VB_MAX_POOLS || pools_used() >= limit)
        return kNoBuf;
    Pool p;
    p.phys = phys_alloc((u32)(stride * cnt));
    if (!p.phys) {
        mpp_log(DU_ID_VB, 3, "no memory for a pool of %u x %u bytes", cnt, blk_size);
        return kNoMem;
    }
    if (g_vb.supplement_mask && !(p.supplement = phys_alloc(cnt * 2 * kSupplementSize))) {
        phys_free(p.phys);
        return kNoMem;
    }
    p.used = true;
    p.owner = owner;
    p.blk_size = blk_size;
    p.stride = (u32)stride;
    p.cnt = cnt;
    p.zone = zone ? zone : "";
    p.refs.assign(cnt, 0);
    g_vb.pools[slot] = std::move(p);
    *id = slot;
    return 0;
}

// Creates the pools of a configuration for `owner`; all or none.
s32 create_conf_pools(const VB_CONF_REC_S &conf, int owner)
{
    for (const VB_POOL_CONF_S &pc : conf.astCommPool) {
        if (!pc.u32BlockSize || !pc.u32BlockCnt)
            continue;
        u32 id;
        if (s32 ret = create_pool(pc.u32BlockSize, pc.u32BlockCnt, pc.szMmzName, owner, &id)) {
            for (Pool &p : g_vb.pools)
                if (p.used && p.owner == owner)
                    free_pool(p);
            return ret;
        }
    }
    return 0;
}

// Destroys the pools of `owner` unless one of them is in use.
s32 destroy_owned(int owner)
{
    for (const Pool &p : g_vb.pools)
        if (p.used && p.owner == owner && p.in_use())
            return kBusy;
    for (Pool &p : g_vb.pools)
        if (p.used && p.owner == owner)
            free_pool(p);
    return 0;
}

bool conf_ok(const VB_CONF_REC_S &conf)
{
    if (conf.u32PoolCnt > VB_MAX_POOLS)
        return false;
    for (const VB_POOL_CONF_S &pc : conf.astCommPool)
        if (pc.u32BlockSize && pc.u32BlockCnt &&
            (pc.u32BlockCnt > kMaxBlocks || !memchr(pc.szMmzName, 0, sizeof pc.szMmzName)))
            return false;
    return true;
}

u32 take_block(Pool &p, u32 id)
{
    for (u32 i = 0; i < p.cnt; i++) {
        if (p.refs[i] == 0) {
            p.refs[i] = 1;
            return id << 16 | i;
        }
    }
    return kNone;
}

// A free block: of the given pool, or of the smallest fitting common pool.
u32 get_block(u32 pool, u32 size, const char *zone)
{
    if (pool != kNone) {
        if (pool >= VB_MAX_POOLS || !g_vb.pools[pool].used)
            return kNone;
        return take_block(g_vb.pools[pool], pool);
    }
    if (!g_vb.inited || size == 0)
        return kNone;
    std::string want = zone ? zone : "";
    std::vector<u32> fitting;
    for (u32 id = 0; id < VB_MAX_POOLS; id++) {
        const Pool &p = g_vb.pools[id];
        if (p.used && p.owner == kCommon && p.blk_size >= size && p.zone == want)
            fitting.push_back(id);
    }
    std::sort(fitting.begin(), fitting.end(),
              [](u32 a, u32 b) { return g_vb.pools[a].blk_size < g_vb.pools[b].blk_size; });
    for (u32 id : fitting) {
        u32 h = take_block(g_vb.pools[id], id);
        if (h != kNone)
            return h;
    }
    return kNone;
}

// The pool and block of a handle whose block is in use.
Pool *block_of(u32 handle, u32 *idx)
{
    u32 id = handle >> 16, i = handle & 0xFFFF;
    if (id >= VB_MAX_POOLS)
        return nullptr;
    Pool &p = g_vb.pools[id];
    if (!p.used || i >= p.cnt || p.refs[i] == 0)
        return nullptr;
    *idx = i;
    return &p;
}

// ---- requests --------------------------------------------------------------------------------------

int do_create(VB_POOL_REQ_S &req)
{
    if (!memchr(req.acMmzName, 0, sizeof req.acMmzName))
        return kIllegal;
    return create_pool(req.u32BlkSize, req.u32BlkCnt, req.acMmzName, kPrivate, &req.u32PoolId);
}

int do_destroy(u32 &id)
{
    if (id >= VB_MAX_POOLS)
        return kIllegal;
    Pool &p = g_vb.pools[id];
    if (!p.used)
        return kUnexist;
    if (p.owner != kPrivate)
        return kNotPerm;
    if (p.in_use())
        return kBusy;
    free_pool(p);
    return 0;
}

int do_get_block(VB_POOL_REQ_S &req)
{
    if (!memchr(req.acMmzName, 0, sizeof req.acMmzName))
        return kIllegal;
    u32 h = req.bCommPool ? get_block(kNone, req.u32BlkSize, req.acMmzName) : get_block(req.u32PoolId, 0, nullptr);
    if (h == kNone)
        return kNoBuf;
    req.u32Handle = h;
    return 0;
}

int do_release(u32 &handle)
{
    u32 i;
    Pool *p = block_of(handle, &i);
    if (!p)
        return kIllegal;
    p->refs[i]--;
    return 0;
}

int do_init(void)
{
    if (g_vb.inited)
        return 0;
    if (!g_vb.conf_set)
        return kNotConfig;
    if (s32 ret = create_conf_pools(g_vb.conf, kCommon))
        return ret;
    g_vb.inited = true;
    event("vb", "init");
    return 0;
}

int do_exit(void)
{
    if (!g_vb.inited)
        return 0;
    if (s32 ret = destroy_owned(kCommon)) {
        mpp_log(DU_ID_VB, 3, "exit refused: common blocks in use");
        return ret;
    }
    g_vb.inited = false;
    event("vb", "exit");
    return 0;
}

int do_mod_pool(u32 uid, bool init)
{
    if (uid >= VB_MAX_USER)
        return kIllegal;
    if (init) {
        if (g_vb.mod_inited[uid])
            return 0;
        if (s32 ret = create_conf_pools(g_vb.mod_conf[uid], (int)uid))
            return ret;
        g_vb.mod_inited[uid] = true;
        return 0;
    }
    if (!g_vb.mod_inited[uid])
        return 0;
    if (s32 ret = destroy_owned((int)uid))
        return ret;
    g_vb.mod_inited[uid] = false;
    return 0;
}

// A block handle's physical address, or its pool's id.
int do_handle_word(u32 &word, bool phys)
{
    u32 i;
    Pool *p = block_of(word, &i);
    if (!p)
        return kIllegal;
    word = phys ? p->phys + i * p->stride : word >> 16;
    return 0;
}

int do_set_conf(VB_CONF_REC_S &conf)
{
    if (g_vb.inited)
        return kNotPerm;
    if (!conf_ok(conf))
        return kIllegal;
    g_vb.conf = conf;
    g_vb.conf_set = true;
    return 0;
}

int do_get_pool_info(VB_POOL_INFO_REQ_S &info)
{
    if (info.u32PoolId >= VB_MAX_POOLS || !g_vb.pools[info.u32PoolId].used)
        return kUnexist;
    const Pool &p = g_vb.pools[info.u32PoolId];
    info.u32PoolSize = p.size();
    info.u32PhysAddr = p.phys;
    return 0;
}

// A pool that is gone is used by nobody.
int do_query_pool_used(u32 &word)
{
    if (word >= VB_MAX_POOLS)
        return kIllegal;
    word = g_vb.pools[word].used && g_vb.pools[word].in_use() ? 1 : 0;
    return 0;
}

int do_get_mod_conf(VB_MOD_CONF_REQ_S &req)
{
    if (req.enVbUid >= VB_MAX_USER)
        return kIllegal;
    req.stVbConf = g_vb.mod_conf[req.enVbUid];
    return 0;
}

int do_set_mod_conf(VB_MOD_CONF_REQ_S &req)
{
    if (req.enVbUid >= VB_MAX_USER || !conf_ok(req.stVbConf))
        return kIllegal;
    if (g_vb.mod_inited[req.enVbUid])
        return kNotPerm;
    g_vb.mod_conf[req.enVbUid] = req.stVbConf;
    return 0;
}

int do_set_supplement(u32 &mask)
{
    if (mask & ~(VB_SUPPLEMENT_JPEG_MASK | VB_SUPPLEMENT_ISPINFO_MASK))
        return kIllegal;
    if (g_vb.inited)
        return kNotPerm; // the common pools are laid out already
    g_vb.supplement_mask = mask;
    return 0;
}

int vb_get_supplement_addr(void *arg)
{
    VB_SUPPLEMENT_REQ_S req;
    if (!get_user(req, arg))
        return fail(EFAULT);
    VB_SUPPLEMENT_ADDR_S addr = {};
    {
        std::lock_guard<std::mutex> lock(g_lock);
        u32 i;
        Pool *p = block_of(req.u32Handle, &i);
        if (!p)
            return kIllegal;
        u32 base = p->supplement ? p->supplement + i * 2 * kSupplementSize : 0;
        if (base && (g_vb.supplement_mask & VB_SUPPLEMENT_JPEG_MASK))
            addr.u32JpegDcfPhyAddr = base;
        if (base && (g_vb.supplement_mask & VB_SUPPLEMENT_ISPINFO_MASK))
            addr.u32IspInfoPhyAddr = base + kSupplementSize;
    }
    return put_user(req.pstSupplement, addr) ? 0 : fail(EFAULT);
}

// The driver's words as they stand.
int vb_get_conf(void *arg)
{
    std::lock_guard<std::mutex> lock(g_lock);
    return put_user(arg, g_vb.conf) ? 0 : fail(EFAULT);
}

int vb_get_supplement_conf(void *arg)
{
    std::lock_guard<std::mutex> lock(g_lock);
    return put_user(arg, g_vb.supplement_mask) ? 0 : fail(EFAULT);
}

const IoctlOp<void> kVbOps[] = {
    {VB_CREATE_POOL, [](void *arg) { return with_record<VB_POOL_REQ_S>(g_lock, arg, true, do_create); }},
    {VB_DESTROY_POOL, [](void *arg) { return with_record<u32>(g_lock, arg, false, do_destroy); }},
    {VB_GET_BLOCK, [](void *arg) { return with_record<VB_POOL_REQ_S>(g_lock, arg, true, do_get_block); }},
    {VB_RELEASE_BLOCK, [](void *arg) { return with_record<u32>(g_lock, arg, false, do_release); }},
    {VB_HANDLE2PHYS,
     [](void *arg) { return with_record<u32>(g_lock, arg, true, [](u32 &w) { return do_handle_word(w, true); }); }},
    {VB_HANDLE2POOLID,
     [](void *arg) { return with_record<u32>(g_lock, arg, true, [](u32 &w) { return do_handle_word(w, false); }); }},
    {VB_INIT,
     [](void *) {
         std::lock_guard<std::mutex> lock(g_lock);
         return do_init();
     }},
    {VB_EXIT,
     [](void *) {
         std::lock_guard<std::mutex> lock(g_lock);
         return do_exit();
     }},
    {VB_GET_CONF, vb_get_conf},
    {VB_SET_CONF, [](void *arg) { return with_record<VB_CONF_REC_S>(g_lock, arg, false, do_set_conf); }},
    {VB_GET_POOL_INFO,
     [](void *arg) { return with_record<VB_POOL_INFO_REQ_S>(g_lock, arg, true, do_get_pool_info); }},
    {VB_QUERY_POOL_USED, [](void *arg) { return with_record<u32>(g_lock, arg, true, do_query_pool_used); }},
    {VB_INIT_MOD_POOL,
     [](void *arg) { return with_record<u32>(g_lock, arg, false, [](u32 &uid) { return do_mod_pool(uid, true); }); }},
    {VB_EXIT_MOD_POOL,
     [](void *arg) { return with_record<u32>(g_lock, arg, false, [](u32 &uid) { return do_mod_pool(uid, false); }); }},
    {VB_GET_MOD_POOL_CONF,
     [](void *arg) { return with_record<VB_MOD_CONF_REQ_S>(g_lock, arg, true, do_get_mod_conf); }},
    {VB_SET_MOD_POOL_CONF,
     [](void *arg) { return with_record<VB_MOD_CONF_REQ_S>(g_lock, arg, false, do_set_mod_conf); }},
    {VB_SET_SUPPLEMENT_CONF, [](void *arg) { return with_record<u32>(g_lock, arg, false, do_set_supplement); }},
    {VB_GET_SUPPLEMENT_CONF, vb_get_supplement_conf},
    {VB_GET_SUPPLEMENT_ADDR, vb_get_supplement_addr},
};

class VbDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        if (mpp_refused("vb", request))
            return fail(EIO);
        return dispatch(kVbOps, request, arg);
    }
};

DeviceRegistration vb_device("/dev/vb", [](int) { return std::make_shared<VbDevice>(); });

} // namespace

// ---- the other drivers' side ------------------------------------------------------------------------

uint32_t vb_create_pool(uint32_t blk_size, uint32_t blk_cnt, const char *zone)
{
    std::lock_guard<std::mutex> lock(g_lock);
    u32 id;
    return create_pool(blk_size, blk_cnt, zone, kPrivate, &id) == 0 ? id : kNone;
}

bool vb_destroy_pool(uint32_t pool)
{
    std::lock_guard<std::mutex> lock(g_lock);
    return do_destroy(pool) == 0;
}

uint32_t vb_get_block(uint32_t pool, uint32_t size, const char *zone)
{
    std::lock_guard<std::mutex> lock(g_lock);
    return get_block(pool, size, zone);
}

bool vb_ref_block(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(g_lock);
    u32 i;
    Pool *p = block_of(handle, &i);
    if (!p)
        return false;
    p->refs[i]++;
    return true;
}

bool vb_release_block(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(g_lock);
    return do_release(handle) == 0;
}

uint32_t vb_block_phys(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(g_lock);
    u32 i;
    Pool *p = block_of(handle, &i);
    return p ? p->phys + i * p->stride : 0;
}

bool vb_pool_exists(uint32_t pool)
{
    std::lock_guard<std::mutex> lock(g_lock);
    return pool < VB_MAX_POOLS && g_vb.pools[pool].used;
}

uint32_t vb_block_pool(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(g_lock);
    u32 i;
    return block_of(handle, &i) ? handle >> 16 : kNone;
}

uint32_t vb_block_at(uint32_t pool, uint32_t phys)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (pool >= VB_MAX_POOLS || !g_vb.pools[pool].used)
        return kNone;
    const Pool &p = g_vb.pools[pool];
    if (phys < p.phys || (phys - p.phys) % p.stride)
        return kNone;
    u32 i = (phys - p.phys) / p.stride;
    return i < p.cnt && p.refs[i] ? pool << 16 | i : kNone;
}

} // namespace sim
