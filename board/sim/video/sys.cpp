// /dev/sys: the media platform's kernel side. It keeps the system state and
// configuration, the kernel bind table that the other drivers route frames
// along, the zone choice per channel, the scaler coefficient levels and the
// platform's one microsecond time-stamp clock.
#include "board/sim/mpp_log.h"
#include "board/sim/sim.h"
#include "mpi/video/sys/sys_requests.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace sim {

namespace {

constexpr s32 kIllegal = DU_ERR_SYS_ILLEGAL_PARAM;
constexpr s32 kNotPerm = DU_ERR_SYS_NOT_PERM;

struct Bind {
    ChnAddr src, dst;
};

struct SysState {
    bool up = false;
    SYS_CONF_REC_S conf = {16};
    u32 profile = 0;
    std::map<std::tuple<u32, s32, s32>, std::string> mem_conf;
    SCALE_COEFF_LEVEL_S coef[SCALE_RANGE_BUTT][SCALE_RANGE_BUTT] = {};
    std::vector<Bind> binds; // in binding order
};

std::mutex g_lock;
SysState g_sys;

// The time-stamp clock: steady time moved by InitPtsBase / SyncPts.
std::atomic<int64_t> g_pts_offset_us{0};

int64_t steady_us()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void set_pts(uint64_t pts) { g_pts_offset_us = (int64_t)pts - steady_us(); }

Hooks sys_hooks([] {
    std::lock_guard<std::mutex> lock(g_lock);
    g_sys = SysState();
    set_pts(0);
});

// The same address rules the firmware applies before it asks.
ChnAddr norm_src(ChnAddr c)
{
    if (c.mod == DU_ID_VIU || c.mod == DU_ID_VDEC)
        c.dev = 0;
    if (c.mod == DU_ID_VOU)
        c.chn = 0;
    return c;
}

ChnAddr norm_dst(ChnAddr c)
{
    if (c.mod == DU_ID_GROUP || c.mod == DU_ID_VPSS)
        c.chn = 0;
    return c;
}

ChnAddr from_mpp(const MPP_CHN_ADDR_S &c) { return {c.enModId, c.s32Dev, c.s32Chn}; }
MPP_CHN_ADDR_S to_mpp(const ChnAddr &c) { return {c.mod, c.dev, c.chn}; }

bool addr_ok(const MPP_CHN_ADDR_S &c) { return c.enModId < DU_ID_BUTT && c.s32Dev >= 0 && c.s32Chn >= 0; }

std::vector<Bind>::iterator find_dst(const ChnAddr &dst)
{
    return std::find_if(g_sys.binds.begin(), g_sys.binds.end(), [&](const Bind &b) { return b.dst == dst; });
}

// ---- requests (under g_lock) --------------------------------------------------------------------

int do_bind(SYS_BIND_REQ_S &req)
{
    if (!addr_ok(req.stSrcChn) || !addr_ok(req.stDestChn))
        return kIllegal;
    ChnAddr src = norm_src(from_mpp(req.stSrcChn)), dst = norm_dst(from_mpp(req.stDestChn));
    auto it = find_dst(dst);
    if (it != g_sys.binds.end()) {
        mpp_log(DU_ID_SYS, 3, "dest %u/%d/%d already bound to %u/%d/%d", dst.mod, dst.dev, dst.chn, it->src.mod,
                it->src.dev, it->src.chn);
        return kNotPerm;
    }
    g_sys.binds.push_back({src, dst});
    event("sys", "bind %u/%d/%d -> %u/%d/%d", src.mod, src.dev, src.chn, dst.mod, dst.dev, dst.chn);
    return 0;
}

int do_unbind(SYS_BIND_REQ_S &req)
{
    if (!addr_ok(req.stDestChn))
        return kIllegal;
    ChnAddr dst = norm_dst(from_mpp(req.stDestChn));
    auto it = find_dst(dst);
    if (it == g_sys.binds.end())
        return 0; // nothing bound: nothing to undo
    // A zeroed source means "whatever is bound"; a given one must be it.
    static const MPP_CHN_ADDR_S none = {};
    if (memcmp(&req.stSrcChn, &none, sizeof none) != 0 && !(norm_src(from_mpp(req.stSrcChn)) == it->src))
        return kNotPerm;
    event("sys", "unbind %u/%d/%d -> %u/%d/%d", it->src.mod, it->src.dev, it->src.chn, dst.mod, dst.dev, dst.chn);
    g_sys.binds.erase(it);
    return 0;
}

int do_get_bind_by_dest(SYS_BIND_REQ_S &req)
{
    if (!addr_ok(req.stDestChn))
        return kIllegal;
    auto it = find_dst(norm_dst(from_mpp(req.stDestChn)));
    if (it == g_sys.binds.end())
        return kIllegal;
    req.stSrcChn = to_mpp(it->src);
    return 0;
}

int do_set_conf(const SYS_CONF_REC_S &conf)
{
    if (g_sys.up)
        return kNotPerm; // the alignment holds while the platform is up
    u32 a = conf.u32LineAlign;
    if (a == 0 || (a & (a - 1)) != 0 || a > 4096)
        return kIllegal;
    g_sys.conf = conf;
    return 0;
}

int do_set_mem_conf(const SYS_MEM_CONF_REC_S &rec)
{
    if (!addr_ok(rec.stMppChn) || memchr(rec.acMmzName, 0, sizeof rec.acMmzName) == nullptr)
        return kIllegal;
    auto key = std::make_tuple(rec.stMppChn.enModId, rec.stMppChn.s32Dev, rec.stMppChn.s32Chn);
    if (rec.acMmzName[0])
        g_sys.mem_conf[key] = rec.acMmzName;
    else
        g_sys.mem_conf.erase(key);
    return 0;
}

int do_get_mem_conf(SYS_MEM_CONF_REC_S &rec)
{
    if (!addr_ok(rec.stMppChn))
        return kIllegal;
    memset(rec.acMmzName, 0, sizeof rec.acMmzName);
    auto it = g_sys.mem_conf.find(std::make_tuple(rec.stMppChn.enModId, rec.stMppChn.s32Dev, rec.stMppChn.s32Chn));
    if (it != g_sys.mem_conf.end())
        strncpy(rec.acMmzName, it->second.c_str(), sizeof rec.acMmzName - 1);
    return 0;
}

struct ScaleReq {
    SCALE_RANGE_S range;
    SCALE_COEFF_LEVEL_S level;
};

bool range_ok(const SCALE_RANGE_S &r) { return r.enHorizontal < SCALE_RANGE_BUTT && r.enVertical < SCALE_RANGE_BUTT; }

int do_set_scale(const ScaleReq &req)
{
    const SCALE_COEFF_LEVEL_S &l = req.level;
    if (!range_ok(req.range) || l.enHorLum >= COEFF_LEVEL_BUTT || l.enHorChr >= COEFF_LEVEL_BUTT ||
        l.enVerLum >= COEFF_LEVEL_BUTT || l.enVerChr >= COEFF_LEVEL_BUTT)
        return kIllegal;
    g_sys.coef[req.range.enHorizontal][req.range.enVertical] = l;
    return 0;
}

template <class Rec> int answer(void *arg, const Rec &rec) { return put_user(arg, rec) ? 0 : fail(EFAULT); }

int sys_init(void *)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_sys.up)
        event("sys", "up");
    g_sys.up = true;
    return 0;
}

int sys_exit(void *)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (g_sys.up)
        event("sys", "down");
    g_sys.up = false;
    g_sys.binds.clear();
    return 0;
}

int sys_get_config(void *arg)
{
    std::lock_guard<std::mutex> lock(g_lock);
    return answer(arg, g_sys.conf);
}

int sys_set_pts(void *arg)
{
    uint64_t pts;
    if (!get_user(pts, arg))
        return fail(EFAULT);
    set_pts(pts);
    return 0;
}

int do_set_profile(u32 &profile)
{
    if (profile > 2)
        return kIllegal;
    g_sys.profile = profile;
    return 0;
}

// The board's memory is coherent: a flush only checks its range.
int do_mflush(SYS_MFLUSH_REC_S &rec)
{
    bool ok = rec.u32Size && !(rec.u32PhyAddr & 63) && !(rec.u32Size & 63) && rec.pVirAddr &&
              (uint64_t)rec.u32PhyAddr + rec.u32Size <= (1ull << 32);
    return ok ? 0 : kIllegal;
}

int do_get_scale(ScaleReq &req)
{
    if (!range_ok(req.range))
        return kIllegal;
    req.level = g_sys.coef[req.range.enHorizontal][req.range.enVertical];
    return 0;
}

const IoctlOp<void> kSysOps[] = {
    {SYS_INIT_CTRL, sys_init},
    {SYS_EXIT_CTRL, sys_exit},
    {SYS_SET_CONFIG_CTRL, [](void *arg) { return with_record<SYS_CONF_REC_S>(g_lock, arg, false, do_set_conf); }},
    {SYS_GET_CONFIG_CTRL, sys_get_config},
    {SYS_INIT_PTSBASE, sys_set_pts},
    {SYS_SYNC_PTS, sys_set_pts},
    {SYS_GET_CURPTS, [](void *arg) { return answer(arg, platform_pts_us()); }},
    {SYS_BIND_CTRL, [](void *arg) { return with_record<SYS_BIND_REQ_S>(g_lock, arg, false, do_bind); }},
    {SYS_UNBIND_CTRL, [](void *arg) { return with_record<SYS_BIND_REQ_S>(g_lock, arg, false, do_unbind); }},
    {SYS_GETBINDBYDEST,
     [](void *arg) { return with_record<SYS_BIND_REQ_S>(g_lock, arg, true, do_get_bind_by_dest); }},
    {SYS_SET_MEMCONF,
     [](void *arg) { return with_record<SYS_MEM_CONF_REC_S>(g_lock, arg, false, do_set_mem_conf); }},
    {SYS_GET_MEMCONF,
     [](void *arg) { return with_record<SYS_MEM_CONF_REC_S>(g_lock, arg, true, do_get_mem_conf); }},
    {SYS_GET_KERNELCONFIG,
     [](void *arg) { return answer(arg, SYS_KERNEL_CONFIG_S{(s32)conf_int("hrtimer", 1), 0}); }},
    {SYS_GET_VIVPSSMODE, [](void *arg) { return answer(arg, (u32)conf_int("vi_vpss_mode", 0)); }},
    {SYS_SET_PROFILE, [](void *arg) { return with_record<u32>(g_lock, arg, false, do_set_profile); }},
    {SYS_MFLUSH_CACHE, [](void *arg) { return with_record<SYS_MFLUSH_REC_S>(g_lock, arg, false, do_mflush); }},
    {SYS_SET_SCALE_COEF, [](void *arg) { return with_record<ScaleReq>(g_lock, arg, false, do_set_scale); }},
    {SYS_GET_SCALE_COEF, [](void *arg) { return with_record<ScaleReq>(g_lock, arg, true, do_get_scale); }},
};

class SysDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        if (mpp_refused("sys", request))
            return fail(EIO);
        return dispatch(kSysOps, request, arg);
    }
};

DeviceRegistration sys_device("/dev/sys", [](int) { return std::make_shared<SysDevice>(); });

} // namespace

std::vector<ChnAddr> bind_destinations(const ChnAddr &src)
{
    ChnAddr s = norm_src(src);
    std::lock_guard<std::mutex> lock(g_lock);
    std::vector<ChnAddr> out;
    for (const Bind &b : g_sys.binds)
        if (b.src == s)
            out.push_back(b.dst);
    return out;
}

bool bind_source_of(const ChnAddr &dst, ChnAddr *src)
{
    ChnAddr d = norm_dst(dst);
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = find_dst(d);
    if (it == g_sys.binds.end())
        return false;
    if (src)
        *src = it->src;
    return true;
}

uint64_t platform_pts_us() { return (uint64_t)(steady_us() + g_pts_offset_us.load()); }

} // namespace sim
