// /dev/isp_dev: the ISP's kernel driver and the ISP hardware's reactions.
//
// The driver hands out the kernel pages of the virtual registers, a ring of
// two statistics buffers, the proc and DCF buffers, and waits on the
// sensor's frames. At each frame the ISP thread takes, the "hardware"
// applies the gamma table handed over last frame and the DRC strength of the
// last sync record, runs the defect detection while it is on, and gathers
// the frame's statistics (board/sim/isp_stats.cpp) into the next buffer of
// the ring and into the statistics registers.
#include "board/sim/mn34220.h"
#include "board/sim/isp_stats.h"
#include "board/sim/picture.h"
#include "board/sim/sim.h"
#include "isp/3a/iris/iris_requests.h"
#include "isp/isp_hw_regs.h"
#include "isp/isp_regcfg.h"
#include "isp/isp_requests.h"
#include "isp/mpi_isp.h"

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

class IspDevice : public Device {
public:
    int ioctl(unsigned long request, void *arg) override
    {
        switch (request) {
        case VREG_DRV_INIT:
        case VREG_DRV_EXIT:
        case VREG_DRV_RELEASE_ALL:
        case VREG_DRV_GETADDR:
            return vreg(request, arg);
        case ISP_DEV_SET_FD: {
            uint32_t dev;
            if (!get_user(dev, arg))
                return fail(EFAULT);
            if (dev != 0)
                return fail(EINVAL);
            bound_ = true;
            return 0;
        }
        case ISP_PWM_NUM_GET: // the iris's PWM output (board.conf iris.pwm); asked without binding
            return put_u32(arg, (uint32_t)conf_int("iris.pwm", 0));
        default:
            break;
        }
        if (!bound_)
            return fail(EINVAL);
        switch (request) {
        case ISP_GET_FRAME_EDGE:
            return wait_frame(arg);
        case ISP_GET_VD_TIMEOUT:
            return wait_vd(arg);
        case ISP_SET_INT_ENABLE:
            return with_u32_in(arg, [](uint32_t v) {
                g_irq = v != 0;
                sensor_wake();
                return 0;
            });
        default:
            break;
        }
        std::lock_guard<std::mutex> lock(g_lock);
        return locked_request(g_state, request, arg);
    }

private:
    bool bound_ = false;

    template <class Fn> int with_u32_in(void *arg, Fn fn)
    {
        uint32_t v;
        if (!get_user(v, arg))
            return fail(EFAULT);
        return fn(v);
    }

    int put_u32(void *arg, uint32_t v) { return put_user(arg, v) ? 0 : fail(EFAULT); }

    // The frame interrupt: returns at the next frame, after about two frame
    // periods without one, or at once while the interrupt is off.
    int wait_frame(void *arg)
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

    int wait_vd(void *arg)
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

    int vreg(unsigned long request, void *arg)
    {
        VREG_ARGS_S a;
        if (!get_user(a, arg))
            return fail(EFAULT);
        std::lock_guard<std::mutex> lock(g_lock);
        auto &pages = g_state.pages;
        switch (request) {
        case VREG_DRV_INIT: {
            auto it = pages.find(a.u32BaseAddr);
            if (it != pages.end())
                return it->second.size >= a.u32Size ? 0 : fail(EEXIST);
            uint32_t p = a.u32Size ? phys_alloc(a.u32Size) : 0;
            if (!p)
                return fail(ENOMEM);
            pages[a.u32BaseAddr] = {p, a.u32Size};
            return 0;
        }
        case VREG_DRV_EXIT: {
            auto it = pages.find(a.u32BaseAddr);
            if (it == pages.end())
                return fail(EINVAL);
            phys_free(it->second.phys);
            pages.erase(it);
            return 0;
        }
        case VREG_DRV_RELEASE_ALL:
            for (auto &pg : pages)
                phys_free(pg.second.phys);
            pages.clear();
            return 0;
        default: { // VREG_DRV_GETADDR
            auto it = pages.find(a.u32BaseAddr);
            if (it == pages.end())
                return fail(EINVAL);
            a.u32PhyAddr = it->second.phys;
            return put_user(arg, a) ? 0 : fail(EFAULT);
        }
        }
    }

    int locked_request(IspState &s, unsigned long request, void *arg)
    {
        switch (request) {
        case ISP_LIB_INFO_SET: {
            ISP_VERSION_S v;
            if (!get_user(v, arg))
                return fail(EFAULT);
            if (v.u32Size != sizeof v)
                return fail(EINVAL);
            s.version = v;
            return put_user(arg, v) ? 0 : fail(EFAULT);
        }
        case ISP_MEM_INFO_SET:
            return with_u32_in(arg, [&](uint32_t v) {
                s.mem_init = v;
                return 0;
            });
        case ISP_MEM_INFO_GET:
            return put_u32(arg, s.mem_init);
        case ISP_STAT_BUF_INIT:
            if (!s.stat_phys && !(s.stat_phys = phys_alloc(ISP_STAT_AREA_SIZE)))
                return fail(ENOMEM);
            s.newest = s.held = -1;
            return put_u32(arg, s.stat_phys);
        case ISP_STAT_BUF_EXIT:
            if (!s.stat_phys)
                return fail(EINVAL);
            phys_free(s.stat_phys);
            s.stat_phys = 0;
            s.newest = s.held = -1;
            return 0;
        case ISP_STAT_BUF_GET: {
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
        case ISP_STAT_BUF_PUT: {
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
        case ISP_REG_CFG_SET: {
            ISP_KERNEL_REG_CFG_S k;
            if (!get_user(k, arg))
                return fail(EFAULT);
            if (k.u32Flags & 1) {
                memcpy(s.gamma, k.au16Gamma, sizeof s.gamma);
                s.gamma_pending = true;
            }
            return 0;
        }
        case ISP_SYNC_CFG_SET:
            return sync(s, arg);
        case ISP_WDR_CFG_SET: {
            uint8_t mode;
            if (!get_user(mode, arg))
                return fail(EFAULT);
            s.wdr_mode = mode;
            return 0;
        }
        case ISP_RES_SWITCH_SET:
            if (!get_user(s.res, arg))
                return fail(EFAULT);
            event("isp", "res %ux%u %.2f", s.res.u16Width, s.res.u16Height, s.res.f32Fps);
            return 0;
        case ISP_DCF_BUF_INIT:
            if (conf_int("isp.dcf", 1) == 0)
                return DU_ERR_ISP_NOT_SUPPORT; // no DCF buffer in this kernel
            if (!s.dcf_phys && !(s.dcf_phys = phys_alloc(ISP_DCF_SHARED_SIZE)))
                return fail(ENOMEM);
            return put_u32(arg, s.dcf_phys);
        case ISP_DCF_BUF_EXIT:
            if (!s.dcf_phys)
                return fail(EINVAL);
            phys_free(s.dcf_phys);
            s.dcf_phys = 0;
            return 0;
        case ISP_DCF_INFO_SET:
            return get_user(s.dcf, arg) ? 0 : fail(EFAULT);
        case ISP_DCF_INFO_GET:
            return put_user(arg, s.dcf) ? 0 : fail(EFAULT);
        case ISP_PROC_PARAM_GET:
            return put_u32(arg, (uint32_t)conf_int("isp.proc", 0));
        case ISP_PROC_INIT: {
            if (!s.proc_phys && !(s.proc_phys = phys_alloc(kProcSize)))
                return fail(ENOMEM);
            ISP_PROC_MEM_S mem = {kProcSize, s.proc_phys, nullptr};
            return put_user(arg, mem) ? 0 : fail(EFAULT);
        }
        case ISP_PROC_WRITE_ING:
            return s.proc_phys ? 0 : fail(EINVAL);
        case ISP_PROC_WRITE_OK:
            if (!s.proc_phys)
                return fail(EINVAL);
            write_proc_text(s.proc_phys);
            return 0;
        case ISP_PROC_EXIT:
            if (!s.proc_phys)
                return fail(EINVAL);
            phys_free(s.proc_phys);
            s.proc_phys = 0;
            return 0;
        case ISP_MOD_PARAM_SET:
            return with_u32_in(arg, [&](uint32_t v) {
                s.mod_param = v;
                return 0;
            });
        case ISP_MOD_PARAM_GET:
            return put_u32(arg, s.mod_param);
        case ISP_ACM_ATTR_GET:
            return put_user(arg, s.acm) ? 0 : fail(EFAULT);
        case ISP_ACM_ATTR_SET:
            return get_user(s.acm, arg) ? 0 : fail(EFAULT);
        case ISP_ACM_COEF_GET: {
            ISP_ACM_COEF_S rec;
            if (!get_user(rec, arg))
                return fail(EFAULT);
            if (rec.u32Mode > 4)
                return fail(EINVAL);
            rec.stLut = s.acm_coef.stLut;
            return put_user(arg, rec) ? 0 : fail(EFAULT);
        }
        case ISP_ACM_COEF_SET:
            if (!get_user(s.acm_coef, arg))
                return fail(EFAULT);
            event("isp", "acm coef mode %u", s.acm_coef.u32Mode);
            return 0;
        default:
            return fail(EINVAL);
        }
    }

    // The sensor's registers go out at their frames; the DRC strength lands
    // in the hardware at the next one.
    int sync(IspState &s, void *arg)
    {
        ISP_SYNC_CFG_S rec;
        if (!get_user(rec, arg))
            return fail(EFAULT);
        if (!rec.bValid || rec.stSnsRegsInfo.enSnsType != ISP_SNS_I2C_TYPE)
            return fail(EINVAL);
        uint32_t n = std::min<uint32_t>(rec.stSnsRegsInfo.u32RegNum, ISP_MAX_SNS_REGS);
        for (uint32_t i = 0; i < n; i++) {
            const ISP_I2C_DATA_S &e = rec.stSnsRegsInfo.astI2cData[i];
            if (!e.bUpdate || e.u32AddrByteNum != 2 || e.u32DataByteNum != 1)
                continue;
            if (e.u8DevAddr == kSensorI2cAddr)
                sensor_sync_write((uint16_t)e.u32RegAddr, (uint8_t)e.u32Data, e.u8DelayFrmNum);
        }
        s.drc = (uint8_t)rec.u32DrcStrength;
        s.drc_pending = true;
        return 0;
    }
};

DeviceRegistration isp_device("/dev/isp_dev", [](int) { return std::make_shared<IspDevice>(); });

} // namespace

} // namespace sim
