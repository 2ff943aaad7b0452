// Register defaults applied at init, the proc text report and the debug ring.
#include "isp/isp_ctx.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "isp/isp_requests.h"
#include "mpi/video/sys/mpi_sys.h"

namespace {

struct ISP_PROC_CTX_S {
    u32 u32ProcCnt;
    u32 u32IntCnt; // proc interval in frames, 0 = off
    u32 u32ProcSize;
    u32 u32ProcPhyAddr;
    char *pcProcVirtAddr;
};
ISP_PROC_CTX_S g_astProcCtx[ISP_MAX_DEV_NUM];

// How many entries the mapped ring holds: its depth, as far as its size goes.
u32 dbg_entries(const ISP_DBG_CTRL_S &d)
{
    if (d.u32MappedSize < 4)
        return 0;
    return std::min<u32>(d.u32Depth, (d.u32MappedSize - 4) / 12);
}

} // namespace

// ---- defaults ------------------------------------------------------------------------------------------

void ISP_RegsDefault(void)
{
    IO_WRITE8(ISP_AE_SWITCH_REG, 0);
    io_update8(ISP_MODULE_CTRL_REG, 1u << 4, 0);
    io_update8(ISP_FSWDR_BYPASS_REG, 1u << 5, 0);
    io_update8(ISP_FSWDR_PATH_REG, 0, 1u << 2);
    IO_WRITE32(ISP_REG(0x58), 0);
    IO_WRITE8(ISP_WDR_CFG_REG(0), 10);
    IO_WRITE8(ISP_WDR_CFG_REG(1), 0);
    IO_WRITE8(ISP_REG(0x30), 3);
}

void ISP_RegsInitialize(ISP_DEV IspDev) {}

void ISP_ExtRegsDefault(void)
{
    io_update8(ISP_EXT_MODE_BITS, (1u << 4) | (1u << 5), 0);
    io_update8(ISP_EXT_FREEZE, 1, 0);
    IO_WRITE16(ISP_EXT_WDR_MODE, IO_READ16(ISP_EXT_WDR_MODE) & ~1u);
    IO_WRITE16(ISP_EXT_DBG_EN, IO_READ16(ISP_EXT_DBG_EN) & ~1u);
    for (u32 addr : {ISP_EXT_DBG_ADDR_L, ISP_EXT_DBG_ADDR_H, ISP_EXT_DBG_SIZE_L, ISP_EXT_DBG_SIZE_H, ISP_EXT_DBG_DEPTH})
        IO_WRITE16(addr, 0);
    IO_WRITE32(ISP_EXT_STAT_KEY, 0xFFFFFFFD);
}

void ISP_ExtRegsInitialize(ISP_DEV IspDev)
{
    const u32 *max = ISP_SensorGetMaxResolution(IspDev);
    IO_WRITE16(ISP_EXT_MAX_WIDTH, max[0]);
    IO_WRITE16(ISP_EXT_MAX_HEIGHT, max[1]);
}

// ---- proc text -----------------------------------------------------------------------------------------

s32 ISP_UpdateProcParam(ISP_DEV IspDev)
{
    s32 ret = isp_ioctl(ISP_PROC_PARAM_GET, &g_astProcCtx[0].u32IntCnt);
    if (ret != 0)
        ISP_TRACE("get proc param %x!\n", ret);
    return ret;
}

s32 ISP_ProcInit(ISP_DEV IspDev)
{
    ISP_PROC_CTX_S &p = g_astProcCtx[0];
    memset(&p, 0, sizeof p);
    s32 ret = ISP_UpdateProcParam(IspDev);
    if (ret != 0)
        return ret;
    if (p.u32IntCnt == 0)
        return 0;
    ISP_PROC_MEM_S mem = {};
    ret = isp_ioctl(ISP_PROC_INIT, &mem);
    if (ret != 0) {
        ISP_TRACE("init proc ec %x!\n", ret);
        return ret;
    }
    p.u32ProcSize = mem.u32ProcSize;
    p.u32ProcPhyAddr = mem.u32ProcPhyAddr;
    p.pcProcVirtAddr = static_cast<char *>(
        isp_map_kernel_buf(p.u32ProcPhyAddr, p.u32ProcSize, ISP_PROC_EXIT, __FUNCTION__, "mmap proc mem failed!"));
    if (!p.pcProcVirtAddr)
        return DU_ERR_ISP_NOMEM;
    p.u32ProcCnt = 0;
    return 0;
}

s32 ISP_ProcExit(ISP_DEV IspDev)
{
    ISP_PROC_CTX_S &p = g_astProcCtx[0];
    if (!p.pcProcVirtAddr)
        return 0;
    DU_DUZ_SYS_Munmap(p.pcProcVirtAddr, p.u32ProcSize);
    p.pcProcVirtAddr = nullptr;
    s32 ret = isp_ioctl(ISP_PROC_EXIT, nullptr);
    if (ret != 0) {
        ISP_TRACE("exit proc ec %x!\n", ret);
        return ret;
    }
    return 0;
}

s32 ISP_ProcWrite(const ISP_ALG_NODE_S *astAlgs, ISP_DEV IspDev)
{
    ISP_PROC_CTX_S &p = g_astProcCtx[0];
    ISP_UpdateProcParam(IspDev);
    if (p.u32IntCnt == 0)
        return 0;
    if (!p.pcProcVirtAddr || p.u32ProcSize == 0) {
        printf("the proc hasn't init!\n");
        return -1;
    }
    if (++p.u32ProcCnt < p.u32IntCnt)
        return 0;
    p.u32ProcCnt = 0;
    u32 frame = g_astIspCtx[0].u32FrameCnt;
    s32 ret = isp_ioctl(ISP_PROC_WRITE_ING, &frame);
    if (ret != 0) {
        ISP_TRACE("write proc failed, ec %x!\n", ret);
        return ret;
    }

    ISP_CTRL_PROC_WRITE_S proc = {p.pcProcVirtAddr, p.u32ProcSize - 1, 0};
    for (u32 i = 0; i < ISP_MAX_ALGS_NUM && proc.u32BuffLen > 0; i++) {
        const ISP_ALG_NODE_S &alg = astAlgs[i];
        if (!alg.bUsed || !alg.stAlgFunc.pfn_alg_ctrl)
            continue;
        proc.u32WriteLen = 0;
        alg.stAlgFunc.pfn_alg_ctrl(IspDev, ISP_PROC_WRITE, &proc);
        bool overflow = proc.u32WriteLen > proc.u32BuffLen;
        if (overflow) {
            printf("Warning!! Proc buff overflow!\n");
            proc.u32WriteLen = proc.u32BuffLen;
        } else if (proc.u32WriteLen > 0) {
            // A module's text ends with its zero; it becomes the line's end.
            char &last = proc.pcProcBuff[proc.u32WriteLen - 1];
            if (last != '\0')
                printf("Warning!! alg %d's proc doesn't finished with endl!\n", alg.enAlgType);
            last = '\n';
        }
        proc.pcProcBuff += proc.u32WriteLen;
        proc.u32BuffLen -= proc.u32WriteLen;
        if (overflow)
            break;
    }
    *proc.pcProcBuff = '\0';
    return isp_ioctl(ISP_PROC_WRITE_OK, nullptr);
}

void isp_proc_printf(ISP_CTRL_PROC_WRITE_S *pstProc, const char *fmt, ...)
{
    if (!pstProc || !pstProc->pcProcBuff || pstProc->u32BuffLen == 0)
        return;
    // The next text goes over the zero that ends the text so far.
    u32 at = std::min(pstProc->u32WriteLen ? pstProc->u32WriteLen - 1 : 0, pstProc->u32BuffLen - 1);
    u32 room = pstProc->u32BuffLen - at;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(pstProc->pcProcBuff + at, room, fmt, ap);
    va_end(ap);
    u32 written = n < 0 ? 0 : std::min<u32>((u32)n, room - 1);
    pstProc->u32WriteLen = at + written + 1;
}

// ---- debug ring ----------------------------------------------------------------------------------------

s32 ISP_DbgSet(const ISP_DEBUG_INFO_S *pstDbgInfo)
{
    bool on = IO_READ16(ISP_EXT_DBG_EN) & 1;
    if (!pstDbgInfo->bDebugEn) {
        IO_WRITE16(ISP_EXT_DBG_EN, IO_READ16(ISP_EXT_DBG_EN) & ~1u);
        return 0;
    }
    if (on) {
        ISP_TRACE("Vudi isp has enabled debug info!\n");
        return -1;
    }
    if (pstDbgInfo->u32PhyAddr == 0) {
        ISP_TRACE("Vudi isp lib's debug phyaddr is 0!\n");
        return -1;
    }
    if (pstDbgInfo->u32Depth == 0) {
        ISP_TRACE("Vudi ae lib's debug depth is 0!\n");
        return -1;
    }
    u32 size = 4 + 12 * pstDbgInfo->u32Depth;
    IO_WRITE16(ISP_EXT_DBG_ADDR_L, pstDbgInfo->u32PhyAddr & 0xFFFF);
    IO_WRITE16(ISP_EXT_DBG_ADDR_H, pstDbgInfo->u32PhyAddr >> 16);
    IO_WRITE16(ISP_EXT_DBG_DEPTH, pstDbgInfo->u32Depth);
    IO_WRITE16(ISP_EXT_DBG_SIZE_L, size & 0xFFFF);
    IO_WRITE16(ISP_EXT_DBG_SIZE_H, size >> 16);
    IO_WRITE16(ISP_EXT_DBG_EN, IO_READ16(ISP_EXT_DBG_EN) | 1);
    return 0;
}

s32 ISP_DbgGet(ISP_DEBUG_INFO_S *pstDbgInfo)
{
    pstDbgInfo->bDebugEn = IO_READ16(ISP_EXT_DBG_EN) & 1;
    pstDbgInfo->u32PhyAddr = IO_READ16(ISP_EXT_DBG_ADDR_L) | IO_READ16(ISP_EXT_DBG_ADDR_H) << 16;
    pstDbgInfo->u32Depth = IO_READ16(ISP_EXT_DBG_DEPTH);
    return 0;
}

void isp_dbg_unmap(ISP_DBG_CTRL_S *pstDbg)
{
    if (pstDbg->pDbgVirtAddr)
        DU_DUZ_SYS_Munmap(pstDbg->pDbgVirtAddr, pstDbg->u32MappedSize);
    pstDbg->pDbgVirtAddr = nullptr;
    pstDbg->pu32DbgEntries = nullptr;
    pstDbg->u32MappedPhyAddr = 0;
    pstDbg->u32MappedSize = 0;
}

s32 ISP_DbgRunBgn(ISP_DBG_CTRL_S *pstDbg, u32 u32FrameCnt)
{
    if (!pstDbg->bDebugEn || pstDbg->u32Depth == 0 || pstDbg->u32PhyAddr == 0) {
        isp_dbg_unmap(pstDbg);
        return 0;
    }
    // New settings since the last frame: the old mapping no longer fits.
    if (pstDbg->pDbgVirtAddr &&
        (pstDbg->u32MappedPhyAddr != pstDbg->u32PhyAddr || pstDbg->u32MappedSize != pstDbg->u32Size))
        isp_dbg_unmap(pstDbg);
    if (!pstDbg->pDbgVirtAddr) {
        pstDbg->pDbgVirtAddr = DU_DUZ_SYS_Mmap(pstDbg->u32PhyAddr, pstDbg->u32Size);
        if (!pstDbg->pDbgVirtAddr) {
            ISP_TRACE("isp map debug buf failed!\n");
            return -1;
        }
        pstDbg->u32MappedPhyAddr = pstDbg->u32PhyAddr;
        pstDbg->u32MappedSize = pstDbg->u32Size;
        pstDbg->pu32DbgEntries = static_cast<u32 *>(pstDbg->pDbgVirtAddr) + 1;
    }
    u32 entries = dbg_entries(*pstDbg);
    if (entries)
        pstDbg->pu32DbgEntries[3 * (u32FrameCnt % entries)] = u32FrameCnt;
    return 0;
}

s32 ISP_DbgRunEnd(ISP_DBG_CTRL_S *pstDbg, u32 u32FrameCnt)
{
    u32 entries = dbg_entries(*pstDbg);
    if (pstDbg->bDebugEn && pstDbg->pu32DbgEntries && entries)
        pstDbg->pu32DbgEntries[3 * (u32FrameCnt % entries) + 2] = u32FrameCnt;
    return 0;
}
