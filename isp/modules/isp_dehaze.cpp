// The dehaze module: on every even frame it takes the settings the defog
// calls left in ext registers and the blocks' dark-channel minima from the
// statistics, runs the stages of isp_dehaze_alg.cpp, and hands the block
// values, the curve and the air light back to the video input's dehaze block
// and the strength to the register configuration. With ext 0x1230C at 1 it
// writes each frame's working into "dehaze_data_%d.txt".
#include "isp/modules/isp_dehaze.h"

#include <algorithm>
#include <cstring>

#include "board/board.h"
#include "isp/isp_hw_regs.h"
#include "isp/modules/isp_iq.h"

namespace {

// Ext defaults besides the context's: the three bytes nothing reads.
constexpr u8 kUnusedDefaults[3] = {128, 5, 255};
// Dehaze registers set once at init.
constexpr u32 kInitZero[] = {0x28, 0x2C, 0x38};
constexpr u32 kInitReg34 = 26, kInitReg3C = 32;

struct DehazeModule {
    DEHAZE_CTX_S ctx;
    DEHAZE_DUMP_S dump;
    bool dump_stopped; // the dump ended (full, or no file) while the register stays 1
    // The geometry last written to the hardware: H, V, width, height.
    u32 written[4];
    bool geometry_known;
};
DehazeModule g_dehaze;

ISP_CTX_S &isp() { return g_astIspCtx[0]; }

void DehazeExtRegsDefault(const DEHAZE_CTX_S &c)
{
    IO_WRITE8(DEHAZE_EXT_OP_TYPE, c.u8OpType);
    IO_WRITE8(DEHAZE_EXT_H_BLOCKS, c.u8H);
    IO_WRITE8(DEHAZE_EXT_V_BLOCKS, c.u8V);
    IO_WRITE8(DEHAZE_EXT_CURVE_GAIN, c.u8CurveGain);
    for (u32 i = 0; i < 3; i++)
        IO_WRITE8(DEHAZE_EXT_UNUSED0 + i, kUnusedDefaults[i]);
    IO_WRITE16(DEHAZE_EXT_RATE_UP, c.u16RateUp);
    IO_WRITE16(DEHAZE_EXT_RATE_DOWN, c.u16RateDown);
    IO_WRITE8(DEHAZE_EXT_DEBUG, 0);
    IO_WRITE8(DEHAZE_EXT_MANUAL_STRENGTH, c.u8ManualStrength);
    IO_WRITE8(DEHAZE_EXT_AUTO_FACTOR, c.u8AutoFactor);
}

void write_curve(u32 idx)
{
    const u8 *curve = dehaze_curve(idx);
    for (u32 i = 0; i < DEHAZE_CURVE_LEN; i++)
        IO_WRITE32_VI(VI_DEHAZE_CURVE_REG(i), curve[i]);
}

// The block geometry, written when the grid or the image size changed.
void DehazeRegsUpdate(const DEHAZE_CTX_S &c)
{
    const u32 H = c.u8H, V = c.u8V, w = c.u32Width, h = c.u32Height;
    const u32 now[4] = {H, V, w, h};
    DehazeModule &m = g_dehaze;
    if (m.geometry_known && std::equal(now, now + 4, m.written))
        return;
    auto low16 = [](u32 v) { return v & 0xFFFF; };
    IO_WRITE32_VI(VI_DEHAZE_BLOCK_SIZE_REG, low16(h / V - 1) | low16(w / H - 1) << 16);
    IO_WRITE32_VI(VI_DEHAZE_GRID_REG, (V - 1) | (H - 1) << 16);
    IO_WRITE32_VI(VI_DEHAZE_H_STEP_REG, w ? (H << 22) / w : 0);
    IO_WRITE32_VI(VI_DEHAZE_V_STEP_REG, h ? (V << 22) / h : 0);
    IO_WRITE32_VI(VI_DEHAZE_GRID_PACKED_REG, (V - 1) | (H - 1) << 5);
    IO_WRITE32_VI(VI_DEHAZE_SIZE_REG, low16(w - 1) | low16(h - 1) << 16);
    std::copy(now, now + 4, m.written);
    m.geometry_known = true;
}

void DehazeRegsDefault(const DEHAZE_CTX_S &c)
{
    for (u32 off : kInitZero)
        IO_WRITE32_VI(VI_DEHAZE_REG(off), 0);
    IO_WRITE32_VI(VI_DEHAZE_REG(0x34), kInitReg34);
    IO_WRITE32_VI(VI_DEHAZE_REG(0x3C), kInitReg3C);
    IO_WRITE32_VI(VI_DEHAZE_CTRL_REG, 0);
    write_curve(0);
    g_dehaze.geometry_known = false;
    DehazeRegsUpdate(c);
}

// What the defog calls and the picture left for this frame. The grid is held
// to 1..16 x 1..15 whatever the registers hold, so that the stages never
// look past their blocks.
void read_settings(DEHAZE_CTX_S &c)
{
    c.u8OpType = (u8)IO_READ8(DEHAZE_EXT_OP_TYPE);
    c.u8H = (u8)std::clamp<u32>(IO_READ8(DEHAZE_EXT_H_BLOCKS), 1, DEHAZE_H_MAX);
    c.u8V = (u8)std::clamp<u32>(IO_READ8(DEHAZE_EXT_V_BLOCKS), 1, DEHAZE_V_MAX);
    c.u8CurveGain = (u8)IO_READ8(DEHAZE_EXT_CURVE_GAIN);
    for (u32 i = 0; i < 3; i++)
        c.au8Unused[i] = (u8)IO_READ8(DEHAZE_EXT_UNUSED0 + i);
    c.u16RateUp = (u16)IO_READ16(DEHAZE_EXT_RATE_UP);
    c.u16RateDown = (u16)IO_READ16(DEHAZE_EXT_RATE_DOWN);
    c.u8ManualStrength = (u8)IO_READ8(DEHAZE_EXT_MANUAL_STRENGTH);
    c.u8AutoFactor = (u8)IO_READ8(DEHAZE_EXT_AUTO_FACTOR);
    c.u8Enable = (u8)(IO_READ32_VI(VI_DEHAZE_CTRL_REG) & 0xFF);
    c.u32Width = IO_READ16(ISP_IMAGE_WIDTH_REG);
    c.u32Height = IO_READ16(ISP_IMAGE_HEIGHT_REG);
}

// ---- the debug dump ------------------------------------------------------------------------------

void dump_close()
{
    DEHAZE_DUMP_S &d = g_dehaze.dump;
    if (!d.pFile)
        return;
    fclose(d.pFile);
    d.pFile = nullptr;
    d.u32Bytes = 0;
    printf("file close!!!");
}

// Opens the next file when the register turns 1, closes it when it turns 0,
// and ends a file that reached its limit (the next one waits for 0 then 1).
void dump_update(u8 request)
{
    DehazeModule &m = g_dehaze;
    DEHAZE_DUMP_S &d = m.dump;
    if (request != 1) {
        dump_close();
        m.dump_stopped = false;
        return;
    }
    if (d.pFile && d.u32Bytes >= DEHAZE_DUMP_S::kLimit) {
        dump_close();
        m.dump_stopped = true;
    }
    if (d.pFile || m.dump_stopped)
        return;
    char name[20];
    d.u8FileNum++;
    snprintf(name, sizeof name, "dehaze_data_%d.txt", d.u8FileNum);
    printf("cFileName %s\n", name);
    d.pFile = bd_fopen(name, "wt");
    d.u32Bytes = 0;
    if (!d.pFile) {
        perror(name);
        m.dump_stopped = true;
    }
}

// ---- the module -----------------------------------------------------------------------------------

s32 ISP_DehazeInit(ISP_DEV)
{
    dump_close();
    DEHAZE_CTX_S &c = g_dehaze.ctx;
    dehaze_ctx_init(&c);
    c.u32Width = IO_READ16(ISP_IMAGE_WIDTH_REG);
    c.u32Height = IO_READ16(ISP_IMAGE_HEIGHT_REG);
    DehazeExtRegsDefault(c);
    DehazeRegsDefault(c);
    g_dehaze.dump_stopped = false;
    return 0;
}

s32 ISP_DehazeRun(ISP_DEV, const void *pStatInfo, void *pRegCfg, s32)
{
    const ISP_CTX_S &isp_ctx = isp();
    if (isp_ctx.u32FrameCnt & 1)
        return 0;
    DEHAZE_CTX_S &c = g_dehaze.ctx;
    auto *cfg = static_cast<ISP_REG_CFG_S *>(pRegCfg);
    read_settings(c);
    DehazeRegsUpdate(c);
    if (!c.u8Enable || !pStatInfo || !cfg) {
        if (cfg)
            cfg->u32Key &= ~ISP_REGCFG_DEHAZE;
        memset(c.au16AirHistory, 0, sizeof c.au16AirHistory);
        c.u32AirCount = 0;
        dump_close();
        return 0;
    }
    dump_update((u8)IO_READ8(DEHAZE_EXT_DEBUG));

    const u32 n = (u32)c.u8H * c.u8V;
    u32 maxima[DEHAZE_BLOCK_MAX];
    for (u32 i = 0; i < n; i++)
        maxima[i] = IO_READ32_VI(VI_DEHAZE_MAX_REG(i));
    DEHAZE_FRAME_S frame;
    const auto *stat = static_cast<const ISP_STAT_S *>(pStatInfo);
    dehaze_frame(&c, stat->stDehazeStat.au32DehazeMinDout, maxima, isp_ctx.u32FrameCnt, &frame, &g_dehaze.dump);

    // The hardware follows the curve now in force.
    if (frame.bCurveChanged)
        write_curve(c.u8CurveIdx);
    u32 words[DEHAZE_BLOCK_MAX / 4];
    dehaze_pack(frame.au8Dark, n, words);
    for (u32 i = 0; i < dehaze_words(n); i++)
        IO_WRITE32_VI(VI_DEHAZE_DARK_REG(i), words[i]);

    cfg->u32DehazeStrength = 1;
    cfg->u8DehazeAirUpdate = c.u8Enable;
    cfg->u32DehazeAir = (u32)c.au8Air[0] << 16 | (u32)c.au8Air[1] << 8 | c.au8Air[2];
    cfg->u8DehazeSwitch = frame.u8Strength;
    cfg->u32Key |= ISP_REGCFG_DEHAZE;
    return 0;
}

s32 ISP_DehazeCtrl(ISP_DEV, u32, void *) { return 0; }

// A dump still open when the ISP goes is closed with it.
s32 ISP_DehazeExit(ISP_DEV)
{
    dump_close();
    return 0;
}

} // namespace

s32 ISP_AlgRegisterDehaze(ISP_DEV IspDev)
{
    return isp_alg_register(__FUNCTION__, ISP_ALG_DEHAZE, {ISP_DehazeInit, ISP_DehazeRun, ISP_DehazeCtrl, ISP_DehazeExit});
}
