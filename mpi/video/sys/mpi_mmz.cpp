// Memory zones (/dev/mmz_userdev), physical mapping (/dev/mem, cached through
// /dev/sys), register access and the zone choice per channel.
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>

#include "board/board.h"
#include "mpi/common/mpi_dev.h"
#include "mpi/video/sys/mmz_requests.h"
#include "mpi/video/sys/mpi_sys.h"
#include "mpi/video/sys/sys_ctx.h"
#include "mpi/video/sys/sys_mem.h"
#include "mpi/video/sys/sys_requests.h"

s32 g_s32MemFd = -1;

namespace {

s32 s_s32MmzFd = -1;
// Every /dev/mmz_userdev request of this unit runs under it.
std::mutex g_Du_Duz_Sys_MemMutex;

bool mmz_open()
{
    static const mpi_dev_node node = {"/dev/mmz_userdev", O_RDWR, 0, 0};
    if (mpi_dev_open(&s_s32MmzFd, node).ok())
        return true;
    perror("open mmz_userdev");
    return false;
}

s32 null_point()
{
    fprintf(stderr, "Null point \n");
    return DU_ERR_SYS_NULL_PTR;
}

void copy_name(char *dst, const char *src, size_t size)
{
    if (src)
        strncpy(dst, src, size - 1); // the record was zeroed: the name stays terminated
}

s32 mmz_alloc(u32 *phys, void **user, const char *buf_name, const char *zone_name, u32 len, bool cached)
{
    if (!phys || !user)
        return null_point();
    if (!mmz_open())
        return DU_ERR_SYS_NOTREADY;
    std::lock_guard<std::mutex> lock(g_Du_Duz_Sys_MemMutex);
    MMZ_STEP_E failed;
    s32 ret = mmz_buf_alloc(s_s32MmzFd, buf_name, zone_name, len, cached, phys, user, &failed);
    if (failed == MMZ_STEP_ALLOC)
        fprintf(stderr, "System alloc mmz memory failed!\n");
    else if (failed == MMZ_STEP_MAP)
        fprintf(stderr, "System remap mmz memory failed!\n");
    return ret;
}

} // namespace

// ---- shared steps -----------------------------------------------------------------------------------

s32 mmz_buf_alloc(s32 fd, const char *buf_name, const char *zone_name, u32 size, bool cached, u32 *phys,
                  void **user, MMZ_STEP_E *failed)
{
    MMZ_BUF_REQ_S req = {};
    req.u32Size = size;
    req.u32Access = MMZ_ACCESS_RW;
    copy_name(req.acBufName, buf_name, sizeof req.acBufName);
    copy_name(req.acZoneName, zone_name, sizeof req.acZoneName);
    *failed = MMZ_STEP_ALLOC;
    s32 ret = bd_ioctl(fd, MMZ_ALLOC_CTRL, &req);
    if (ret != 0)
        return ret;
    *failed = MMZ_STEP_MAP;
    ret = bd_ioctl(fd, cached ? MMZ_REMAP_CACHED_CTRL : MMZ_REMAP_CTRL, &req);
    if (ret != 0) {
        // A buffer nobody can reach is given back at once.
        bd_ioctl(fd, MMZ_FREE_CTRL, &req);
        return ret;
    }
    *failed = MMZ_STEP_NONE;
    *phys = req.u32PhyAddr;
    *user = req.pVirAddr;
    return 0;
}

s32 mmz_buf_free(s32 fd, u32 phys, MMZ_STEP_E *failed)
{
    MMZ_BUF_REQ_S req = {};
    req.u32PhyAddr = phys;
    *failed = MMZ_STEP_UNMAP;
    s32 ret = bd_ioctl(fd, MMZ_UNMAP_CTRL, &req);
    if (ret != 0)
        return ret;
    *failed = MMZ_STEP_FREE;
    ret = bd_ioctl(fd, MMZ_FREE_CTRL, &req);
    if (ret == 0)
        *failed = MMZ_STEP_NONE;
    return ret;
}

void *phys_map(s32 fd, u32 phys, u32 size)
{
    MPI_SPAN_S span = mpi_span(phys, size, MPI_PAGE_SIZE);
    void *base = bd_mmap(nullptr, span.u32Len, PROT_READ | PROT_WRITE, MAP_SHARED, fd, span.u32Base);
    if (base == MAP_FAILED)
        return nullptr;
    return static_cast<u8 *>(base) + span.u32Offset;
}

s32 phys_unmap(void *user, u32 size)
{
    u32 offset = (u32)((uintptr_t)user & (MPI_PAGE_SIZE - 1));
    MPI_SPAN_S span = mpi_span(offset, size, MPI_PAGE_SIZE);
    return bd_munmap(static_cast<u8 *>(user) - offset, span.u32Len);
}

// ---- zone memory ----------------------------------------------------------------------------------

s32 DU_DUZ_SYS_MmzAlloc(u32 *pu32PhyAddr, void **ppVirtAddr, const char *strMmb, const char *strZone, u32 u32Len)
{
    return mmz_alloc(pu32PhyAddr, ppVirtAddr, strMmb, strZone, u32Len, false);
}

s32 DU_DUZ_SYS_MmzAlloc_Cached(u32 *pu32PhyAddr, void **ppVirtAddr, const char *strMmb, const char *strZone,
                               u32 u32Len)
{
    return mmz_alloc(pu32PhyAddr, ppVirtAddr, strMmb, strZone, u32Len, true);
}

s32 DU_DUZ_SYS_MmzFree(u32 u32PhyAddr, void *pVirtAddr)
{
    if (!mmz_open())
        return DU_ERR_SYS_NOTREADY;
    std::lock_guard<std::mutex> lock(g_Du_Duz_Sys_MemMutex);
    MMZ_STEP_E failed;
    s32 ret = mmz_buf_free(s_s32MmzFd, u32PhyAddr, &failed);
    if (failed == MMZ_STEP_UNMAP)
        fprintf(stderr, "System unmap mmz memory failed!\n");
    else if (failed == MMZ_STEP_FREE)
        fprintf(stderr, "System free mmz memory failed!\n");
    return ret;
}

s32 DU_DUZ_SYS_MmzFlushCache(u32 u32PhyAddr, void *pVirtAddr, u32 u32Size)
{
    if (!mmz_open())
        return DU_ERR_SYS_NOTREADY;
    std::lock_guard<std::mutex> lock(g_Du_Duz_Sys_MemMutex);
    if (u32PhyAddr == 0)
        return bd_ioctl(s_s32MmzFd, MMZ_FLUSH_DCACHE_ALL, nullptr);
    MMZ_FLUSH_REC_S rec = {u32PhyAddr, pVirtAddr, u32Size};
    return bd_ioctl(s_s32MmzFd, MMZ_FLUSH_DCACHE_DIRTY, &rec);
}

s32 DU_DUZ_SYS_GetVirMemInfo(const void *pVirAddr, SYS_VIRMEM_INFO_REC_S *pstMemInfo)
{
    MMZ_BUF_REQ_S req = {};
    if (!mmz_open())
        return DU_ERR_SYS_NOTREADY;
    if (!pVirAddr || !pstMemInfo)
        return null_point();
    std::lock_guard<std::mutex> lock(g_Du_Duz_Sys_MemMutex);
    req.pVirAddr = const_cast<void *>(pVirAddr);
    s32 ret = bd_ioctl(s_s32MmzFd, MMZ_GET_PHYADDR_CTRL, &req);
    if (ret == 0) {
        pstMemInfo->u32PhyAddr = req.u32PhyAddr & ~1u;
        pstMemInfo->bCached = req.u32PhyAddr & 1u;
    }
    return ret;
}

// ---- physical mapping and registers -------------------------------------------------------------------

namespace {

// The mapping steps after the descriptor: the size check, then whole pages.
void *map_through(s32 fd, u32 phys, u32 size, const char *func)
{
    if (size == 0) {
        printf("Func: %s u32Size can't be 0.\n", func);
        return nullptr;
    }
    void *user = phys_map(fd, phys, size);
    if (!user)
        perror("mmap error");
    return user;
}

} // namespace

void *DU_DUZ_SYS_Mmap(u32 u32PhyAddr, u32 u32Size)
{
    // Only a descriptor above 0 counts as open.
    static const mpi_dev_node node = {"/dev/mem", O_RDWR | O_CREAT | O_SYNC, 0, 1};
    if (!mpi_dev_open(&g_s32MemFd, node).ok()) {
        perror("Open dev/mem error");
        return nullptr;
    }
    return map_through(g_s32MemFd, u32PhyAddr, u32Size, __FUNCTION__);
}

// A cached mapping: the same pages through /dev/sys.
void *DU_DUZ_SYS_MmapCache(u32 u32PhyAddr, u32 u32Size)
{
    if (!sys_open_dev())
        return nullptr;
    return map_through(g_s32SysFd, u32PhyAddr, u32Size, __FUNCTION__);
}

s32 DU_DUZ_SYS_Munmap(void *pVirAddr, u32 u32Size) { return phys_unmap(pVirAddr, u32Size); }

s32 DU_DUZ_SYS_MflushCache(u32 u32PhyAddr, void *pVirAddr, u32 u32Size)
{
    if (!pVirAddr)
        return null_point();
    if (!sys_open_dev())
        return DU_ERR_SYS_NOTREADY;
    if (u32Size == 0) {
        printf("Func: %s u32Size can't be 0.\n", __FUNCTION__);
        return DU_ERR_SYS_ILLEGAL_PARAM;
    }
    // Whole cache lines.
    MPI_SPAN_S span = mpi_span(u32PhyAddr, u32Size, 64);
    SYS_MFLUSH_REC_S rec = {span.u32Base, static_cast<u8 *>(pVirAddr) - span.u32Offset, span.u32Len};
    return bd_ioctl(g_s32SysFd, SYS_MFLUSH_CACHE, &rec);
}

namespace {

// A register is a word: the bus takes no access across two.
bool reg_aligned(u32 u32Addr, const char *func)
{
    if ((u32Addr & 3) == 0)
        return true;
    printf("Func: %s u32Addr 0x%x is not word aligned.\n", func, u32Addr);
    return false;
}

} // namespace

s32 DU_DUZ_SYS_SetReg(u32 u32Addr, u32 u32Value)
{
    if (!reg_aligned(u32Addr, __FUNCTION__))
        return -1;
    void *reg = DU_DUZ_SYS_Mmap(u32Addr, 4);
    if (!reg)
        return -1;
    bd_reg_write(reg, 4, u32Value);
    return DU_DUZ_SYS_Munmap(reg, 4);
}

s32 DU_DUZ_SYS_GetReg(u32 u32Addr, u32 *pu32Value)
{
    if (!pu32Value)
        return DU_ERR_SYS_NULL_PTR;
    if (!reg_aligned(u32Addr, __FUNCTION__))
        return -1;
    void *reg = DU_DUZ_SYS_Mmap(u32Addr, 4);
    if (!reg)
        return -1;
    *pu32Value = bd_reg_read(reg, 4);
    return DU_DUZ_SYS_Munmap(reg, 4);
}

// ---- zone per channel ------------------------------------------------------------------------------

s32 DU_DUZ_SYS_SetMemConf(const MPP_CHN_ADDR_S *pstMppChn, const char *pcMmzName)
{
    if (!pstMppChn)
        return null_point();
    if (pcMmzName && strlen(pcMmzName) > SYS_MMZ_NAME_LEN - 1) {
        printf("mmz name len:%d,it's too long\n", (int)strlen(pcMmzName));
        return DU_ERR_SYS_ILLEGAL_PARAM;
    }
    SYS_MEM_CONF_REC_S rec = {};
    rec.stMppChn = *pstMppChn;
    copy_name(rec.acMmzName, pcMmzName, sizeof rec.acMmzName);
    return sys_call(SYS_SET_MEMCONF, &rec);
}

s32 DU_DUZ_SYS_GetMemConf(const MPP_CHN_ADDR_S *pstMppChn, char *pcMmzName)
{
    if (!pstMppChn)
        return null_point();
    SYS_MEM_CONF_REC_S rec = {};
    rec.stMppChn = *pstMppChn;
    if (!sys_open_dev())
        return DU_ERR_SYS_NOTREADY;
    s32 ret = bd_ioctl(g_s32SysFd, SYS_GET_MEMCONF, &rec);
    if (ret == 0 && pcMmzName) {
        // Terminated whatever the driver wrote.
        memcpy(pcMmzName, rec.acMmzName, SYS_MMZ_NAME_LEN - 1);
        pcMmzName[SYS_MMZ_NAME_LEN - 1] = '\0';
    }
    return ret;
}
