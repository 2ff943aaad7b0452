// /dev/isp_dev: the ISP's kernel driver and the ISP hardware's reactions.
//
// The driver hands out the kernel pages of the virtual registers, a ring of
// two statistics buffers, the proc and DCF buffers, and waits on the
// sensor's frames. At each frame the ISP thread takes, the "hardware"
// applies the gamma table handed over last frame and the DRC strength of the
// last sync record, and gathers the frame's statistics from the scene as the
// sensor exposes it: into the next buffer of the ring and into the
// statistics registers.
#include "board/sim/mn34220.h"
#include "board/sim/mpp_log.h"
#include "board/sim/sim.h"
#include "isp/3a/iris/iris_requests.h"
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

constexpr uint32_t H = 0x205A0000;
constexpr uint32_t VI = 0x20580000;
constexpr uint32_t kProcSize = 16384;
constexpr int kRows = AE_ZONE_ROW, kCols = AE_ZONE_COLUMN, kZones = kRows * kCols;

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

// ---- physical memory helpers ------------------------------------------------------------------
void put16(uint32_t addr, uint32_t v) { memcpy(phys(addr), &v, 2); }
uint16_t get16(uint32_t addr)
{
    uint16_t v;
    memcpy(&v, phys(addr), 2);
    return v;
}

// ---- the scene in front of the sensor ------------------------------------------------------------
struct Rgb {
    double r, g, b;
};

// A neutral grey's raw colour under light of `kelvin`: the sensor's
// calibrated white-balance curve put back through its static gains
// (R 496, B 416 in 8.8), with green as 1.
Rgb illuminant(int kelvin)
{
    const double a = 41, b = 127, c = -87, d = 174535, e = -123490;
    double m = 256e6 / std::max(kelvin, 1000);
    double t = (d / 2 + (m - e) * 256) / d;
    double X = t * t;
    double Y = (b * 65536 + a * X) / (c + X / 256);
    return {X / 65536 * 256 / 496, 1.0, Y / 65536 * 256 / 416};
}

// Reflectance of a zone: bright sky, a middle band, dark ground, a little
// texture, a red and a blue patch (or a uniform grey), and an object
// crossing when motion is on.
Rgb scene_zone(int row, int col, uint64_t frame, bool motion, bool grey)
{
    double band = row < 5 ? 1.5 : row < 10 ? 1.0 : 0.5;
    double lum = grey ? 1.0 : band * (1.0 + 0.25 * std::sin(col * 1.3 + row * 0.7));
    Rgb tint = {1, 1, 1};
    if (!grey && row >= 6 && row <= 8 && col >= 2 && col <= 4)
        tint = {1.6, 0.8, 0.6};
    if (!grey && row >= 6 && row <= 8 && col >= 12 && col <= 14)
        tint = {0.6, 0.9, 1.6};
    if (motion && row >= 6 && row <= 8 && col == (int)((frame / 3) % kCols)) {
        lum = 2.5;
        tint = {1, 1, 1};
    }
    return {lum * tint.r, lum * tint.g, lum * tint.b};
}

// A grey of brightness 1.0 at normal exposure reads 28% of full scale in
// green, which puts the mean luma near the exposure library's target.
constexpr double kMidGrey = 0.28;

double clip1(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
uint32_t to16(double v) { return (uint32_t)std::lround(clip1(v) * 65535); }
uint32_t to12(double v) { return (uint32_t)std::lround(clip1(v) * 4095); }
uint32_t to8(double v) { return (uint32_t)std::lround(clip1(v) * 255); }

// A 256-bin count as the hardware keeps it: 12-bit mantissa, 4-bit exponent.
uint32_t float16_count(uint32_t v)
{
    if (v < 4096)
        return v;
    uint32_t e = 1;
    while ((v >> (e - 1)) > 8191 && e < 15)
        e++;
    uint32_t m = std::min<uint32_t>((v >> (e - 1)) - 4096, 4095);
    return e << 12 | m;
}

double wb_gain(uint32_t reg)
{
    uint32_t v = get16(reg) & 0xFFF;
    return v ? v / 256.0 : 1.0; // a gain never set passes the colour
}

// One frame's statistics: the buffer the firmware reads and the registers.
void gather_statistics(ISP_STAT_S &st, uint64_t frame)
{
    World w = world();
    const double exposure = sensor_exposure_gain() * w.scene_brightness * kMidGrey;
    const Rgb light = illuminant(w.scene_kelvin);
    const double gR = wb_gain(H + 0x2C0), gG = (wb_gain(H + 0x2C4) + wb_gain(H + 0x2C8)) / 2,
                 gB = wb_gain(H + 0x2CC);

    uint32_t width = get16(H + 0x10), height = get16(H + 0x14);
    if (!width || !height)
        width = 1920, height = 1080;
    const uint32_t zone_pixels = (width / kCols) * (height / kRows);

    uint8_t thresh[4];
    for (int i = 0; i < 4; i++)
        thresh[i] = *phys(H + 0x600 + 4 * i);

    memset(&st, 0, sizeof st);
    memcpy(st.stAeStat1.au8MeteringThresh, thresh, 4);

    static Rgb raw[kRows][kCols];
    static double luma[kRows][kCols];
    double hist5_sum[5] = {};
    double avg_sum[4] = {};
    double awb_r = 0, awb_g = 0, awb_b = 0;
    uint32_t awb_count = 0;
    double bayer_sum[3] = {};

    for (int r = 0; r < kRows; r++) {
        for (int c = 0; c < kCols; c++) {
            const int k = r * kCols + c;
            Rgb refl = scene_zone(r, c, frame, w.scene_motion, w.scene_grey);
            Rgb v = {clip1(refl.r * light.r * exposure), clip1(refl.g * light.g * exposure),
                     clip1(refl.b * light.b * exposure)};
            raw[r][c] = v;
            double y = 0.25 * v.r + 0.5 * v.g + 0.25 * v.b;
            luma[r][c] = y;

            // The zone's pixels spread a little around its level.
            static const double spread[3] = {0.85, 1.0, 1.15}, share[3] = {0.25, 0.5, 0.25};
            double bins5[5] = {};
            for (int s = 0; s < 3; s++) {
                uint32_t bin = std::min<uint32_t>(255, (uint32_t)(y * spread[s] * 255));
                st.stAeStat3.au32Hist256Value[bin] += (uint32_t)(zone_pixels * share[s]);
                int b5 = 0;
                while (b5 < 4 && bin >= thresh[b5])
                    b5++;
                bins5[b5] += share[s];
            }
            uint32_t left = 65535;
            for (int b = 0; b < 5; b++) {
                uint32_t part = b == 4 ? left : std::min(left, (uint32_t)std::lround(bins5[b] * 65535));
                st.stAeStat2.au16ZoneHist5Value[r][c][b] = (uint16_t)part;
                left -= part;
                hist5_sum[b] += bins5[b];
            }

            const double ch[4] = {v.r, v.g, v.g, v.b};
            for (int i = 0; i < 4; i++) {
                st.stAeStat5.au16ZoneAvg[r][c][i] = (uint16_t)to16(ch[i]);
                avg_sum[i] += ch[i];
            }

            // White-balance ratios after the gains in force, of zones that
            // are neither black nor clipped.
            double R = clip1(v.r * gR), G = clip1(v.g * gG), B = clip1(v.b * gB);
            bool usable = y > 0.01 && y < 0.95 && R > 0 && B > 0;
            st.stAwbStat2.au16MeteringMemArrayAvgGR[k] = (uint16_t)std::min(65535.0, R > 0 ? G / R * 256 : 65535);
            st.stAwbStat2.au16MeteringMemArrayAvgGB[k] = (uint16_t)std::min(65535.0, B > 0 ? G / B * 256 : 65535);
            st.stAwbStat2.au16MeteringMemArrayCount[k] = (uint16_t)(usable ? std::min<uint32_t>(zone_pixels, 65535) : 0);
            if (usable) {
                awb_r += R * zone_pixels;
                awb_g += G * zone_pixels;
                awb_b += B * zone_pixels;
                awb_count += zone_pixels;
            }

            // Bayer means before the gains, at 16-bit precision: the white
            // balance's luma and its WDR squaring work on that scale.
            st.stAwbStat4.au16MeteringMemArrayAvgR[k] = (uint16_t)to16(v.r);
            st.stAwbStat4.au16MeteringMemArrayAvgG[k] = (uint16_t)to16(v.g);
            st.stAwbStat4.au16MeteringMemArrayAvgB[k] = (uint16_t)to16(v.b);
            st.stAwbStat4.au16MeteringMemArrayCountAll[k] = (uint16_t)std::min<uint32_t>(zone_pixels, 65535);
            st.stAwbStat4.au16MeteringMemArrayMin[k] = (uint16_t)to16(std::min({v.r, v.g, v.b}));
            st.stAwbStat4.au16MeteringMemArrayMax[k] = (uint16_t)to16(std::max({v.r, v.g, v.b}));
            bayer_sum[0] += v.r;
            bayer_sum[1] += v.g;
            bayer_sum[2] += v.b;
        }
    }

    uint32_t left = 65535;
    for (int b = 0; b < 5; b++) {
        uint32_t part = b == 4 ? left : std::min(left, (uint32_t)std::lround(hist5_sum[b] / kZones * 65535));
        if (b != 2)
            st.stAeStat1.au16Hist5Value[b < 2 ? b : b - 1] = (uint16_t)part;
        left -= part;
    }
    for (int i = 0; i < 4; i++)
        st.stAeStat4.au16GlobalAvg[i] = (uint16_t)to16(avg_sum[i] / kZones);
    st.stAwbStat1.u16MeteringAwbAvgGR = (uint16_t)(awb_r > 0 ? std::min(65535.0, awb_g / awb_r * 256) : 0);
    st.stAwbStat1.u16MeteringAwbAvgGB = (uint16_t)(awb_b > 0 ? std::min(65535.0, awb_g / awb_b * 256) : 0);
    st.stAwbStat1.u32MeteringAwbCount = awb_count;
    st.stAwbStat3.u16MeteringAwbAvgR = (uint16_t)to16(bayer_sum[0] / kZones);
    st.stAwbStat3.u16MeteringAwbAvgG = (uint16_t)to16(bayer_sum[1] / kZones);
    st.stAwbStat3.u16MeteringAwbAvgB = (uint16_t)to16(bayer_sum[2] / kZones);
    st.stAwbStat3.u16MeteringAwbCountAll = (uint16_t)std::min<uint64_t>((uint64_t)zone_pixels * kZones, 65535);

    // Focus: contrast against the neighbouring zones.
    for (int r = 0; r < kRows; r++) {
        for (int c = 0; c < kCols; c++) {
            double h = std::fabs(luma[r][std::min(c + 1, kCols - 1)] - luma[r][c]);
            double v = std::fabs(luma[std::min(r + 1, kRows - 1)][c] - luma[r][c]);
            st.stAfStat.stZoneMetrics[r][c] = {(uint16_t)to16(v), (uint16_t)to16(h), (uint16_t)to16(v / 2),
                                               (uint16_t)to16(h / 2), (uint16_t)to12(luma[r][c])};
        }
    }

    // Dehaze: the dark channel and the colour maxima of each block.
    uint32_t grid = phys_read32(VI + 0x19018);
    uint32_t V = grid ? std::min<uint32_t>((grid & 0xFFFF) + 1, 15) : 15;
    uint32_t Hb = grid ? std::min<uint32_t>((grid >> 16) + 1, 16) : 16;
    for (uint32_t i = 0; i < Hb * V; i++) {
        const Rgb &v = raw[(i / Hb) * kRows / V][(i % Hb) * kCols / Hb];
        uint32_t dark = to8(std::min({v.r, v.g, v.b}));
        st.stDehazeStat.au32DehazeMinDout[i / 4] |= dark << (24 - 8 * (i % 4));
        phys_write32(VI + 0x19400 + 4 * i, to8(v.r) << 16 | to8(v.g) << 8 | to8(v.b));
    }

    // The same measurements in the statistics registers.
    put16(H + 0x720, st.stAeStat1.au16Hist5Value[0]);
    put16(H + 0x724, st.stAeStat1.au16Hist5Value[1]);
    put16(H + 0x728, st.stAeStat1.au16Hist5Value[2]);
    put16(H + 0x72C, st.stAeStat1.au16Hist5Value[3]);
    for (int k = 0; k < kZones; k++) {
        const uint16_t *b = st.stAeStat2.au16ZoneHist5Value[k / kCols][k % kCols];
        phys_write32(H + 0x8000 + 8 * k, b[0] | (uint32_t)b[1] << 16);
        phys_write32(H + 0x8004 + 8 * k, b[3] | (uint32_t)b[4] << 16);
    }
    for (int i = 0; i < 256; i++)
        phys_write32(H + 0x3C00 + 4 * i, float16_count(st.stAeStat3.au32Hist256Value[i]));
    put16(H + 0x700, st.stAwbStat1.u16MeteringAwbAvgGR);
    put16(H + 0x704, st.stAwbStat1.u16MeteringAwbAvgGB);
    put16(H + 0x708, awb_count & 0xFFFF);
    put16(H + 0x70C, awb_count >> 16);
    for (int k = 0; k < kZones; k++) {
        phys_write32(H + 0x9800 + 8 * k, st.stAwbStat2.au16MeteringMemArrayAvgGR[k] |
                                             (uint32_t)st.stAwbStat2.au16MeteringMemArrayAvgGB[k] << 16);
        phys_write32(H + 0x9804 + 8 * k, st.stAwbStat2.au16MeteringMemArrayCount[k]);
        const Rgb &v = raw[k / kCols][k % kCols];
        uint32_t count = std::min<uint32_t>(zone_pixels, 65535);
        phys_write32(H + 0xA800 + 12 * k, to16(v.r) | to16(v.g) << 16);
        phys_write32(H + 0xA804 + 12 * k, to16(v.b) | count << 16);
        phys_write32(H + 0xA808 + 12 * k, to16(std::max({v.r, v.g, v.b})) | to16(std::min({v.r, v.g, v.b})) << 16);
        uint32_t rg = v.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(v.r / v.g * 256)) : 0;
        uint32_t bg = v.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(v.b / v.g * 256)) : 0;
        phys_write32(H + 0x8800 + 8 * k, rg | bg << 16);
        phys_write32(H + 0x8804 + 8 * k, zone_pixels);
    }
    Rgb mean = {bayer_sum[0] / kZones, bayer_sum[1] / kZones, bayer_sum[2] / kZones};
    put16(H + 0x740, to16(mean.r));
    put16(H + 0x744, to16(mean.g));
    put16(H + 0x748, to16(mean.b));
    put16(H + 0x74C, std::min<uint32_t>(zone_pixels * kZones, 65535));
    put16(H + 0x658, mean.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(mean.r / mean.g * 256)) : 0);
    put16(H + 0x65C, mean.g > 0 ? std::min<uint32_t>(4095, (uint32_t)(mean.b / mean.g * 256)) : 0);
    phys_write32(H + 0x660, zone_pixels * kZones);

    uint32_t af_grid = phys_read32(VI + 0x2010);
    uint32_t af_rows = std::min<uint32_t>((af_grid >> 8) & 0x1F, kRows), af_cols = std::min<uint32_t>(af_grid & 0x1F, kCols);
    for (uint32_t r = 0; r < af_rows; r++) {
        for (uint32_t c = 0; c < af_cols; c++) {
            const ISP_FOCUS_ZONE_S &z = st.stAfStat.stZoneMetrics[r][c];
            uint32_t a = VI + 0x2100 + 12 * (r * af_cols + c);
            phys_write32(a, z.u16h1 | (uint32_t)z.u16v1 << 16);
            phys_write32(a + 4, z.u16h2 | (uint32_t)z.u16v2 << 16);
            phys_write32(a + 8, z.u16y);
        }
    }
}

// What the hardware does when a frame starts: the gamma table and DRC
// strength handed over last frame take effect, and the statistics of the
// frame land in the ring buffer the firmware does not hold.
void on_frame(IspState &s, uint64_t frame)
{
    if (s.gamma_pending) {
        for (int i = 0; i < GAMMA_NODE_NUMBER; i++)
            phys_write32(H + 0x2800 + 4 * i, s.gamma[i]);
        s.gamma_pending = false;
    }
    if (s.drc_pending) {
        *phys(H + 0x384) = s.drc;
        s.drc_pending = false;
    }
    if (!s.stat_phys)
        return;
    int next = s.newest < 0 ? 0 : 1 - s.newest;
    if (next == s.held)
        next = 1 - next;
    ISP_STAT_S st;
    gather_statistics(st, frame);
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
            on_frame(g_state, frame);
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
    for (uint32_t i = 0; i < n; i++) {
        const ISP_I2C_DATA_S &e = rec.stSnsRegsInfo.astI2cData[i];
        if (!e.bUpdate || e.u32AddrByteNum != 2 || e.u32DataByteNum != 1)
            continue;
        if (e.u8DevAddr == kSensorI2cAddr)
            sensor_sync_write((uint16_t)e.u32RegAddr, (uint8_t)e.u32Data, e.u8DelayFrmNum);
    }
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
    {ISP_ACM_ATTR_SET, [](IspCall &k, void *arg) { return get_user(k.s.acm, arg) ? 0 : fail(EFAULT); }},
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
