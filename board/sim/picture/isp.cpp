// /dev/isp_dev: the ISP's kernel driver and the ISP hardware's reactions.
//
// The driver hands out the kernel pages of the virtual registers, a ring of
// two statistics buffers, the proc and DCF buffers, and waits on the
// sensor's frames. At each frame the ISP thread takes, the "hardware"
// applies the gamma table handed over last frame and the DRC strength of the
// last sync record, runs the defect detection while it is on, and gathers
// the frame's statistics (board/sim/picture/isp_stats.cpp) into the next buffer of
// the ring and into the statistics registers.
#include "board/sim/picture/mn34220.h"
#include "board/sim/picture/isp_stats.h"
#include "board/sim/mpp_log.h"
#include "board/sim/picture/picture.h"
#include "board/sim/sim.h"
#include "isp/3a/iris/iris_requests.h"
#include "isp/isp_hw_regs.h"
#include "isp/isp_requests.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

namespace sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kProcSize = 16384;
// Sync records in a row that hand the sensor no new value before the
// exposure counts as settled.
constexpr unsigned kSteadyFrames = 30;

struct Page {
    uint32_t phys;
    uint32_t size;
};

struct IspState {
    uint32_t mem_init = 0;
    ISP_VERSION_S version = {};
    std::map<uint32_t, Page> pages; // by virtual-register base
    uint32_t stat_phys = 0;
    int newest = -1; // ring buffer with the latest statistics
    int held = -1;   // ring buffer the firmware holds
    uint32_t stat_key = 0xFFFFFFFD;
    uint64_t isp_frame = 0;
    uint32_t dcf_phys = 0;
    ISP_DCF_INFO_S dcf = {};
    uint32_t proc_phys = 0;
    uint32_t mod_param = 0;
    uint8_t wdr_mode = 0;
    ISP_RES_SWITCH_S res = {};
    bool gamma_pending = false;
    uint16_t gamma[GAMMA_NODE_NUMBER] = {};
    bool drc_pending = false;
    uint8_t drc = 0;
    ISP_ACM_CFG_S acm = {};
    ISP_ACM_COEF_S acm_coef = {};
    // The sensor registers the sync records have set, and how many records
    // in a row since one of them last changed (the exposure's settling).
    std::map<uint16_t, uint8_t> sensor_regs;
    unsigned unchanged_records = 0;
    bool steady_told = false;
};

std::mutex g_lock;
IspState g_state;
std::atomic<bool> g_irq{false};

Hooks isp_hooks([] {
    std::lock_guard<std::mutex> lock(g_lock);
    g_state = IspState(); // the allocator forgets the pages with the restart
    g_irq = false;
});

// What the hardware does when a frame starts: the gamma table and DRC
// strength handed over last frame take effect, the defect detection looks
// at the frame while it is on, and the statistics of the frame land in the
// ring buffer the firmware does not hold.
void on_frame(IspState &s)
{
    if (s.gamma_pending) {
        for (int i = 0; i < GAMMA_NODE_NUMBER; i++)
            phys_write32(ISP_GAMMA_TABLE_REG(i), s.gamma[i]);
        s.gamma_pending = false;
    }
    if (s.drc_pending) {
        *phys(ISP_DRC_STRENGTH_REG) = s.drc;
        s.drc_pending = false;
    }
    if (*phys(ISP_DP_STATIC_REG) & ISP_DP_STATIC_DETECT)
        picture::dp_detect();
    if (!s.stat_phys)
        return;
    int next = s.newest < 0 ? 0 : 1 - s.newest;
    if (next == s.held)
        next = 1 - next;
    ISP_STAT_S st;
    isp_gather_statistics(st);
    memcpy(phys(s.stat_phys + next * ISP_STAT_BUF_SIZE), &st, sizeof st);
    s.newest = next;
}

void write_proc_text(uint32_t phys_addr)
{
    std::string text(reinterpret_cast<const char *>(phys(phys_addr)), strnlen((const char *)phys(phys_addr), kProcSize));
    std::error_code ec;
    std::filesystem::create_directories(root() + "/proc/umap", ec);
    std::ofstream(root() + "/proc/umap/isp", std::ios::trunc) << text;
}

// What an ISP request works on: whether the descriptor is bound, and the
// driver's state (under its lock for the requests of kIspLockedOps).
struct IspCall {
    bool &bound;
    IspState &s;
};

int put_u32(void *arg, uint32_t v) { return put_user(arg, v) ? 0 : fail(EFAULT); }

template <class Fn> int with_u32_in(void *arg, Fn fn)
{
    uint32_t v;
    if (!get_user(v, arg))
        return fail(EFAULT);
    return fn(v);
}

// ---- the virtual registers' kernel pages, asked for without binding ---------------------------

int vreg_init(VREG_ARGS_S &a)
{
    auto &pages = g_state.pages;
    auto it = pages.find(a.u32BaseAddr);
    if (it != pages.end())
        return it->second.size >= a.u32Size ? 0 : fail(EEXIST);
    uint32_t p = a.u32Size ? phys_alloc(a.u32Size) : 0;
    if (!p)
        return fail(ENOMEM);
    pages[a.u32BaseAddr] = {p, a.u32Size};
    return 0;
}

int vreg_exit(VREG_ARGS_S &a)
{
    auto &pages = g_state.pages;
    auto it = pages.find(a.u32BaseAddr);
    if (it == pages.end())
        return fail(EINVAL);
    phys_free(it->second.phys);
    pages.erase(it);
    return 0;
}

int vreg_release_all(VREG_ARGS_S &)
{
    for (auto &pg : g_state.pages)
        phys_free(pg.second.phys);
    g_state.pages.clear();
    return 0;
}

int vreg_getaddr(VREG_ARGS_S &a)
{
    auto it = g_state.pages.find(a.u32BaseAddr);
    if (it == g_state.pages.end())
        return fail(EINVAL);
    a.u32PhyAddr = it->second.phys;
    return 0;
}

int isp_dev_set_fd(IspCall &k, void *arg)
{
    uint32_t dev;
    if (!get_user(dev, arg))
        return fail(EFAULT);
    if (dev != 0)
        return fail(EINVAL);
    k.bound = true;
    return 0;
}

// Requests any descriptor takes.
const IoctlOp<IspCall> kIspUnboundOps[] = {
    {VREG_DRV_INIT, [](IspCall &, void *arg) { return with_record<VREG_ARGS_S>(g_lock, arg, false, vreg_init); }},
    {VREG_DRV_EXIT, [](IspCall &, void *arg) { return with_record<VREG_ARGS_S>(g_lock, arg, false, vreg_exit); }},
    {VREG_DRV_RELEASE_ALL,
     [](IspCall &, void *arg) { return with_record<VREG_ARGS_S>(g_lock, arg, false, vreg_release_all); }},
    {VREG_DRV_GETADDR,
     [](IspCall &, void *arg) { return with_record<VREG_ARGS_S>(g_lock, arg, true, vreg_getaddr); }},
    {ISP_DEV_SET_FD, isp_dev_set_fd},
    // The iris's PWM output (board.conf iris.pwm).
    {ISP_PWM_NUM_GET, [](IspCall &, void *arg) { return put_u32(arg, (uint32_t)conf_int("iris.pwm", 0)); }},
};

// ---- the frame interrupt -------------------------------------------------------------------------

// Returns at the next frame, after about two frame periods without one, or at
// once while the interrupt is off.
int isp_get_frame_edge(IspCall &, void *arg)
{
    uint32_t status = 0;
    if (g_irq) {
        uint64_t after;
        {
            std::lock_guard<std::mutex> lock(g_lock);
            after = g_state.isp_frame;
        }
        auto deadline = Clock::now() + 2 * sensor_frame_period();
        if (sensor_wait_frame(after, deadline, [] { return !g_irq; })) {
            uint64_t frame = sensor_frame();
            std::lock_guard<std::mutex> lock(g_lock);
            g_state.isp_frame = frame;
            on_frame(g_state);
            status = 1;
        }
    }
    return put_u32(arg, status);
}

int isp_get_vd_timeout(IspCall &, void *arg)
{
    ISP_VD_TIMEOUT_S rec;
    if (!get_user(rec, arg))
        return fail(EFAULT);
    uint64_t now_frame = sensor_frame();
    auto deadline = Clock::now() + std::chrono::milliseconds(rec.u32MilliSec);
    bool got = sensor_wait_frame(now_frame, deadline, [] { return false; });
    rec.u32VdInfo = (uint32_t)sensor_frame();
    rec.u32IntStatus = got ? 1 : 0;
    return put_user(arg, rec) ? 0 : fail(EFAULT);
}

int isp_set_int_enable(IspCall &, void *arg)
{
    return with_u32_in(arg, [](uint32_t v) {
        g_irq = v != 0;
        sensor_wake();
        return 0;
    });
}

// Requests of a bound descriptor that wait or touch no state: not under the lock.
const IoctlOp<IspCall> kIspWaitOps[] = {
    {ISP_GET_FRAME_EDGE, isp_get_frame_edge},
    {ISP_GET_VD_TIMEOUT, isp_get_vd_timeout},
    {ISP_SET_INT_ENABLE, isp_set_int_enable},
};

// ---- requests under the lock -----------------------------------------------------------------------

int isp_lib_info_set(IspCall &k, void *arg)
{
    ISP_VERSION_S v;
    if (!get_user(v, arg))
        return fail(EFAULT);
    if (v.u32Size != sizeof v)
        return fail(EINVAL);
    k.s.version = v;
    return put_user(arg, v) ? 0 : fail(EFAULT);
}

int isp_stat_buf_init(IspCall &k, void *arg)
{
    IspState &s = k.s;
    if (!s.stat_phys && !(s.stat_phys = phys_alloc(ISP_STAT_AREA_SIZE)))
        return fail(ENOMEM);
    s.newest = s.held = -1;
    // A new run of the firmware's ISP settles its exposure afresh.
    s.sensor_regs.clear();
    s.unchanged_records = 0;
    s.steady_told = false;
    return put_u32(arg, s.stat_phys);
}

int isp_stat_buf_exit(IspCall &k, void *)
{
    IspState &s = k.s;
    if (!s.stat_phys)
        return fail(EINVAL);
    phys_free(s.stat_phys);
    s.stat_phys = 0;
    s.newest = s.held = -1;
    return 0;
}

int isp_stat_buf_get(IspCall &k, void *arg)
{
    IspState &s = k.s;
    if (!s.stat_phys)
        return fail(EINVAL);
    int idx = s.newest < 0 ? 0 : s.newest;
    ISP_STAT_INFO_S info = {s.stat_key, s.stat_phys + idx * ISP_STAT_BUF_SIZE, nullptr};
    if (conf_int("isp.stat_fault", 0))
        info.u32PhyAddr = s.stat_phys + ISP_STAT_AREA_SIZE; // a driver gone wrong
    if (!put_user(arg, info))
        return fail(EFAULT);
    s.held = idx;
    return 0;
}

int isp_stat_buf_put(IspCall &k, void *arg)
{
    IspState &s = k.s;
    ISP_STAT_INFO_S info;
    if (!get_user(info, arg))
        return fail(EFAULT);
    bool ours = info.u32PhyAddr == s.stat_phys || info.u32PhyAddr == s.stat_phys + ISP_STAT_BUF_SIZE ||
                conf_int("isp.stat_fault", 0);
    if (!s.stat_phys || !ours)
        return fail(EINVAL);
    s.stat_key = info.u32Key;
    s.held = -1;
    return 0;
}

int isp_reg_cfg_set(IspCall &k, void *arg)
{
    ISP_KERNEL_REG_CFG_S r;
    if (!get_user(r, arg))
        return fail(EFAULT);
    if (r.u32Flags & 1) {
        memcpy(k.s.gamma, r.au16Gamma, sizeof k.s.gamma);
        k.s.gamma_pending = true;
    }
    return 0;
}

// The firmware hands over the sensor's exposure registers with every frame
// it runs: once kSteadyFrames records in a row have changed none of them,
// the exposure has settled, which events.log says once per settling.
void note_exposure(IspState &s, bool changed)
{
    if (changed) {
        s.unchanged_records = 0;
        s.steady_told = false;
        return;
    }
    if (s.steady_told || ++s.unchanged_records < kSteadyFrames)
        return;
    s.steady_told = true;
    event("isp", "exposure steady for %u frames", kSteadyFrames);
}

// The sensor's registers go out at their frames; the DRC strength lands in
// the hardware at the next one.
int isp_sync_cfg_set(IspCall &k, void *arg)
{
    ISP_SYNC_CFG_S rec;
    if (!get_user(rec, arg))
        return fail(EFAULT);
    if (!rec.bValid || rec.stSnsRegsInfo.enSnsType != ISP_SNS_I2C_TYPE)
        return fail(EINVAL);
    uint32_t n = std::min<uint32_t>(rec.stSnsRegsInfo.u32RegNum, ISP_MAX_SNS_REGS);
    bool changed = false;
    for (uint32_t i = 0; i < n; i++) {
        const ISP_I2C_DATA_S &e = rec.stSnsRegsInfo.astI2cData[i];
        if (!e.bUpdate || e.u32AddrByteNum != 2 || e.u32DataByteNum != 1 || e.u8DevAddr != kSensorI2cAddr)
            continue;
        const uint16_t reg = (uint16_t)e.u32RegAddr;
        const uint8_t value = (uint8_t)e.u32Data;
        auto seen = k.s.sensor_regs.find(reg);
        if (seen == k.s.sensor_regs.end() || seen->second != value) {
            k.s.sensor_regs[reg] = value;
            changed = true;
        }
        sensor_sync_write(reg, value, e.u8DelayFrmNum);
    }
    note_exposure(k.s, changed);
    k.s.drc = (uint8_t)rec.u32DrcStrength;
    k.s.drc_pending = true;
    return 0;
}

int isp_wdr_cfg_set(IspCall &k, void *arg)
{
    uint8_t mode;
    if (!get_user(mode, arg))
        return fail(EFAULT);
    k.s.wdr_mode = mode;
    return 0;
}

int isp_res_switch_set(IspCall &k, void *arg)
{
    IspState &s = k.s;
    if (!get_user(s.res, arg))
        return fail(EFAULT);
    event("isp", "res %ux%u %.2f", s.res.u16Width, s.res.u16Height, s.res.f32Fps);
    return 0;
}

int isp_dcf_buf_init(IspCall &k, void *arg)
{
    IspState &s = k.s;
    if (conf_int("isp.dcf", 1) == 0)
        return DU_ERR_ISP_NOT_SUPPORT; // no DCF buffer in this kernel
    if (!s.dcf_phys && !(s.dcf_phys = phys_alloc(ISP_DCF_SHARED_SIZE)))
        return fail(ENOMEM);
    return put_u32(arg, s.dcf_phys);
}

int isp_dcf_buf_exit(IspCall &k, void *)
{
    IspState &s = k.s;
    if (!s.dcf_phys)
        return fail(EINVAL);
    phys_free(s.dcf_phys);
    s.dcf_phys = 0;
    return 0;
}

int isp_proc_init(IspCall &k, void *arg)
{
    IspState &s = k.s;
    if (!s.proc_phys && !(s.proc_phys = phys_alloc(kProcSize)))
        return fail(ENOMEM);
    ISP_PROC_MEM_S mem = {kProcSize, s.proc_phys, nullptr};
    return put_user(arg, mem) ? 0 : fail(EFAULT);
}

int isp_proc_write_ok(IspCall &k, void *)
{
    if (!k.s.proc_phys)
        return fail(EINVAL);
    write_proc_text(k.s.proc_phys);
    return 0;
}

int isp_proc_exit(IspCall &k, void *)
{
    IspState &s = k.s;
    if (!s.proc_phys)
        return fail(EINVAL);
    phys_free(s.proc_phys);
    s.proc_phys = 0;
    return 0;
}

// The ACM block takes the attribute into its registers, which show it as the
// hardware holds it (the CbCr threshold in 8 bits, the gains in 10).
int isp_acm_attr_set(IspCall &k, void *arg)
{
    ISP_ACM_CFG_S &a = k.s.acm;
    if (!get_user(a, arg))
        return fail(EFAULT);
    auto bit = [](uint32_t v, int at) { return (v & 1u) << at; };
    phys_write32(VI_ACM_CTRL_REG, bit(a.bEnable, 31) | bit(a.bDemoEnable, 30) | bit(a.u32Stretch, 29) |
                                      bit(a.u32ClipRange, 28) | bit(a.u32AcmClipOrWrap, 27) | (a.u32CbcrThr & 0xFF));
    phys_write32(VI_ACM_GAIN_REG,
                 (a.u32GainLuma & 0x3FF) << 20 | (a.u32GainHue & 0x3FF) << 10 | (a.u32GainSat & 0x3FF));
    return 0;
}

int isp_acm_coef_get(IspCall &k, void *arg)
{
    ISP_ACM_COEF_S rec;
    if (!get_user(rec, arg))
        return fail(EFAULT);
    if (rec.u32Mode > 4)
        return fail(EINVAL);
    rec.stLut = k.s.acm_coef.stLut;
    return put_user(arg, rec) ? 0 : fail(EFAULT);
}

int isp_acm_coef_set(IspCall &k, void *arg)
{
    if (!get_user(k.s.acm_coef, arg))
        return fail(EFAULT);
    event("isp", "acm coef mode %u", k.s.acm_coef.u32Mode);
    return 0;
}

// Requests of a bound descriptor, run under the lock.
const IoctlOp<IspCall> kIspLockedOps[] = {
    {ISP_LIB_INFO_SET, isp_lib_info_set},
    {ISP_MEM_INFO_SET,
     [](IspCall &k, void *arg) {
         return with_u32_in(arg, [&](uint32_t v) {
             k.s.mem_init = v;
             return 0;
         });
     }},
    {ISP_MEM_INFO_GET, [](IspCall &k, void *arg) { return put_u32(arg, k.s.mem_init); }},
    {ISP_STAT_BUF_INIT, isp_stat_buf_init},
    {ISP_STAT_BUF_EXIT, isp_stat_buf_exit},
    {ISP_STAT_BUF_GET, isp_stat_buf_get},
    {ISP_STAT_BUF_PUT, isp_stat_buf_put},
    {ISP_REG_CFG_SET, isp_reg_cfg_set},
    {ISP_SYNC_CFG_SET, isp_sync_cfg_set},
    {ISP_WDR_CFG_SET, isp_wdr_cfg_set},
    {ISP_RES_SWITCH_SET, isp_res_switch_set},
    {ISP_DCF_BUF_INIT, isp_dcf_buf_init},
    {ISP_DCF_BUF_EXIT, isp_dcf_buf_exit},
    {ISP_DCF_INFO_SET, [](IspCall &k, void *arg) { return get_user(k.s.dcf, arg) ? 0 : fail(EFAULT); }},
    {ISP_DCF_INFO_GET, [](IspCall &k, void *arg) { return put_user(arg, k.s.dcf) ? 0 : fail(EFAULT); }},
    {ISP_PROC_PARAM_GET, [](IspCall &, void *arg) { return put_u32(arg, (uint32_t)conf_int("isp.proc", 0)); }},
    {ISP_PROC_INIT, isp_proc_init},
    {ISP_PROC_WRITE_ING, [](IspCall &k, void *) { return k.s.proc_phys ? 0 : fail(EINVAL); }},
    {ISP_PROC_WRITE_OK, isp_proc_write_ok},
    {ISP_PROC_EXIT, isp_proc_exit},
    {ISP_MOD_PARAM_SET,
     [](IspCall &k, void *arg) {
         return with_u32_in(arg, [&](uint32_t v) {
             k.s.mod_param = v;
             return 0;
         });
     }},
    {ISP_MOD_PARAM_GET, [](IspCall &k, void *arg) { return put_u32(arg, k.s.mod_param); }},
    {ISP_ACM_ATTR_GET, [](IspCall &k, void *arg) { return put_user(arg, k.s.acm) ? 0 : fail(EFAULT); }},
    {ISP_ACM_ATTR_SET, isp_acm_attr_set},
    {ISP_ACM_COEF_GET, isp_acm_coef_get},
    {ISP_ACM_COEF_SET, isp_acm_coef_set},
};

class IspDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        IspCall call{bound_, g_state};
        if (const IoctlOp<IspCall> *op = find_ioctl(kIspUnboundOps, request))
            return op->handler(call, arg);
        if (!bound_)
            return fail(EINVAL);
        if (const IoctlOp<IspCall> *op = find_ioctl(kIspWaitOps, request))
            return op->handler(call, arg);
        std::lock_guard<std::mutex> lock(g_lock);
        return dispatch(kIspLockedOps, request, call, arg);
    }

private:
    bool bound_ = false;
};

DeviceRegistration isp_device("/dev/isp_dev", [](int) { return std::make_shared<IspDevice>(); });

} // namespace

} // namespace sim
