// What the white-balance library reports: its proc text, a frame-by-frame
// capture into a caller's physical buffer, and the white-balance entry of
// the DCF information. None of it changes what the run computes.
#include "isp/3a/awb/awb_ctx.h"
#include "isp/3a/common/alg_lib.h"

#include <cstring>

#include "isp/mpi_isp.h"
#include "mpi/video/sys/mpi_sys.h"

namespace {


u32 dbg_size(u32 depth) { return depth * AWB_DBG_RECORD_SIZE + AWB_DBG_HEADER_SIZE; }

void put16(u8 *p, u32 index, u32 v)
{
    u16 x = (u16)v;
    memcpy(p + 2 * index, &x, 2);
}

void put32(u8 *p, u32 off, u32 v) { memcpy(p + off, &v, 4); }

void write_header(s32 h, u8 *hdr)
{
    const AWB_CTX_S &c = g_astAwbCtx[h];
    const AWB_WB_STATE_S &w = c.stWb;
    memset(hdr, 0, AWB_DBG_HEADER_SIZE);
    put16(hdr, 0, IO_READ32(ISP_AWB_WHITE_REG) & 0x3FF);
    put16(hdr, 1, IO_READ32(ISP_AWB_BLACK_REG) & 0x3FF);
    const u32 regs[] = {ISP_AWB_CR_MAX_REG,       ISP_AWB_CR_MIN_REG,       ISP_AWB_CB_MAX_REG,       ISP_AWB_CB_MIN_REG,
                        ISP_AWB_LIMIT_CR_MAX_REG, ISP_AWB_LIMIT_CR_MIN_REG, ISP_AWB_LIMIT_CB_MAX_REG, ISP_AWB_LIMIT_CB_MIN_REG,
                        ISP_AWB_BAYER_WHITE_REG,  ISP_AWB_BAYER_BLACK_REG};
    for (u32 i = 0; i < 10; i++)
        put16(hdr, 2 + i, IO_READ32(regs[i]) & 0xFFF);
    for (u32 i = 0; i < 8; i++) // the Bayer ratio window and its limits, a half-word apart
        put16(hdr, 12 + i, IO_READ16(ISP_AWB_BAYER_CR_MAX_REG + 2 * i) & 0xFFF);
    put16(hdr, 20, c.u8WDRMode);
    put16(hdr, 21, w.bAutoEnable);
    put16(hdr, 22, c.u8ManualOp);
    put16(hdr, 23, w.u8ZoneMode);
    put16(hdr, 24, w.u32HighCT);
    put16(hdr, 25, w.u32LowCT);
    put16(hdr, 26, w.u16RefTemp);
    put16(hdr, 27, w.au16StaticGain[0]);
    put16(hdr, 28, w.au16StaticGain[1]);
    put16(hdr, 29, w.au16StaticGain[3]);
    for (u32 i = 0; i < 4; i++)
        put32(hdr, 60 + 4 * i, (u32)w.as32Para[i]);
    put32(hdr, 76, (u32)w.as32Para[5]);
    put16(hdr, 40, c.stCm.u32SatOpType);
    put16(hdr, 41, c.stCm.u8CurSat);
}

// The slot of this frame, or null while capture is off.
u8 *current_slot(s32 h)
{
    const AWB_DBG_STATE_S &d = g_astAwbCtx[h].stDbg;
    if (!d.bEn || !d.pMapped || d.u32Depth == 0)
        return nullptr;
    return d.pu8Records + (g_astAwbCtx[h].u32FrameCnt % d.u32Depth) * AWB_DBG_RECORD_SIZE;
}

} // namespace

s32 AwbDbgSet(s32 h, const AWB_DBG_ATTR_S *dbg)
{
    if (!dbg->bDebugEn) {
        IO_WRITE16(awb_reg(h, AWB_R_DBG_EN), 0);
        return 0;
    }
    if (dbg->u32PhyAddr == 0) {
        printf("Vudi awb lib(%d)'s debug phyaddr is 0!\n", h);
        return -1;
    }
    if (dbg->u32Depth == 0) {
        printf("Vudi awb lib(%d)'s debug depth is 0!\n", h);
        return -1;
    }
    if (dbg->u32Depth > (0xFFFFFFFFu - AWB_DBG_HEADER_SIZE) / AWB_DBG_RECORD_SIZE) {
        printf("Vudi awb lib(%d)'s debug depth is too large!\n", h);
        return -1;
    }
    IO_WRITE16(awb_reg(h, AWB_R_DBG_EN), dbg->bDebugEn);
    IO_WRITE32(awb_reg(h, AWB_R_DBG_ADDR), dbg->u32PhyAddr);
    IO_WRITE32(awb_reg(h, AWB_R_DBG_DEPTH), dbg->u32Depth);
    IO_WRITE32(awb_reg(h, AWB_R_DBG_SIZE), dbg_size(dbg->u32Depth));
    return 0;
}

s32 AwbDbgGet(s32 h, AWB_DBG_ATTR_S *dbg)
{
    dbg->bDebugEn = IO_READ16(awb_reg(h, AWB_R_DBG_EN));
    dbg->u32PhyAddr = IO_READ32(awb_reg(h, AWB_R_DBG_ADDR));
    dbg->u32Depth = IO_READ32(awb_reg(h, AWB_R_DBG_DEPTH));
    return 0;
}

void awb_dbg_release(s32 h)
{
    AWB_DBG_STATE_S &d = g_astAwbCtx[h].stDbg;
    if (d.pMapped)
        DU_DUZ_SYS_Munmap(d.pMapped, d.u32MappedSize);
    d.pMapped = nullptr;
    d.pu8Records = nullptr;
    d.u32MappedSize = 0;
}

s32 AwbDbgRunBgn(s32 h)
{
    AWB_DBG_STATE_S &d = g_astAwbCtx[h].stDbg;
    d.bEn = IO_READ16(awb_reg(h, AWB_R_DBG_EN));
    d.u32Addr = IO_READ32(awb_reg(h, AWB_R_DBG_ADDR));
    d.u32Depth = IO_READ32(awb_reg(h, AWB_R_DBG_DEPTH));
    d.u32Size = IO_READ32(awb_reg(h, AWB_R_DBG_SIZE));
    // Depth 0 or address 0 is off: there would be no slot to write.
    const bool on = d.bEn && d.u32Addr && d.u32Depth &&
                    d.u32Depth <= (0xFFFFFFFFu - AWB_DBG_HEADER_SIZE) / AWB_DBG_RECORD_SIZE;
    s32 ret = 0;
    if (!on) {
        awb_dbg_release(h);
    } else if (!(d.pMapped && d.bEn == d.bPrevEn && d.u32Addr == d.u32PrevAddr && d.u32Depth == d.u32PrevDepth)) {
        awb_dbg_release(h);
        u32 size = dbg_size(d.u32Depth);
        void *p = DU_DUZ_SYS_Mmap(d.u32Addr, size);
        if (!p) {
            printf("awb lib(%d) map debug buf failed!\n", h);
            ret = -1;
        } else {
            d.pMapped = p;
            d.u32MappedSize = size;
            d.pu8Records = static_cast<u8 *>(p) + AWB_DBG_HEADER_SIZE;
            write_header(h, static_cast<u8 *>(p));
        }
    }
    d.bPrevEn = d.bEn, d.u32PrevAddr = d.u32Addr, d.u32PrevDepth = d.u32Depth, d.u32PrevSize = d.u32Size;
    if (ret == 0)
        if (u8 *slot = current_slot(h))
            put32(slot, 0, g_astAwbCtx[h].u32FrameCnt);
    return ret;
}

void AwbDbgRunEnd(s32 h)
{
    u8 *slot = current_slot(h);
    if (!slot)
        return;
    const AWB_CTX_S &c = g_astAwbCtx[h];
    put16(slot, 12, c.stWb.u16ColorTemp);
    put16(slot, 13, c.stResult.au32WhiteBalanceGain[0] >> 8);
    put16(slot, 14, c.stResult.au32WhiteBalanceGain[1] >> 8);
    put16(slot, 15, c.stResult.au32WhiteBalanceGain[3] >> 8);
    for (u32 i = 0; i < 9; i++)
        put16(slot, 16 + i, (u16)c.stResult.as16ColorMatrix[i]);
    put32(slot, AWB_DBG_RECORD_SIZE - 4, c.u32FrameCnt);
}

s32 AwbProcWrite(s32 h, ISP_CTRL_PROC_WRITE_S *p)
{
    if (!p->pcProcBuff || p->u32BuffLen == 0)
        return -1;
    const AWB_CTX_S &c = g_astAwbCtx[h];
    const u32 *g = c.stResult.au32WhiteBalanceGain;
    const u16 *m = c.stCm.au16OutCcm;
    alg_proc_printf(p, "\n[AWB] Version: [%s], Build Time[%s, %s]\n", "Vi3516V_ISP_V1.0.6.0 B050 Release", "Mar 28 2016",
           "19:36:04");
    alg_proc_printf(p, "-----AWB INFO------------------------------------------------------------------\n");
    alg_proc_printf(p, "%8s%8s%8s%8s%8s\n", "Gain0", "Gain1", "Gain2", "Gain3", "CoTemp");
    alg_proc_printf(p, "   0x%3x   0x%3x   0x%3x   0x%3x%8d\n\n", g[0] >> 8, g[1] >> 8, g[2] >> 8, g[3] >> 8,
           c.stWb.u16ColorTemp);
    alg_proc_printf(p, "%8s%8s%8s%8s%8s%8s%8s%8s%8s\n", "Color00", "Color01", "Color02", "Color10", "Color11", "Color12",
           "Color20", "Color21", "Color22");
    alg_proc_printf(p, "  0x%4x  0x%4x  0x%4x  0x%4x  0x%4x  0x%4x  0x%4x  0x%4x  0x%4x\n\n", m[0], m[1], m[2], m[3], m[4],
           m[5], m[6], m[7], m[8]);
    alg_proc_printf(p, "%8s%8s%8s%8s\n", "ManuEn", "Sat", "Zones", "Speed");
    alg_proc_printf(p, "%8d%8d%8d%8d\n", c.u8ManualOp, c.stCm.u8CurSat, c.stWb.u8ZoneMode, c.stWb.u16Speed);
    alg_proc_end(p); // the terminating NUL counts, within the buffer
    return 0;
}

s32 AwbGetDcfInfo(s32 h, void *dcf)
{
    if (!dcf)
        return -1;
    static_cast<ISP_DCF_INFO_S *>(dcf)->u8WhiteBalance = IO_READ8(awb_reg(h, AWB_R_OP_TYPE)) & 1;
    return 0;
}
