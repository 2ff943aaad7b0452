// The virtual register layer: one address space over the ISP register block,
// the kernel-allocated ext and 3A pages and the video-input block, each
// mapped on first use.
#include "isp/isp_vreg.h"

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <mutex>

#include "board/board.h"
#include "isp/isp_requests.h"
#include "mpi/common/mpi_dev.h"
#include "mpi/video/sys/mpi_sys.h"

namespace {

constexpr u32 VREG_MAX_NUM = 51;
constexpr u32 VREG_ENTRY_ISP = 0;
constexpr u32 VREG_ENTRY_EXT = 1;
constexpr u32 VREG_ENTRY_AE = 2;
constexpr u32 VREG_ENTRY_AWB = 18;
constexpr u32 VREG_ENTRY_AF = 34;
constexpr u32 VREG_ENTRY_VI = 50;
constexpr u32 PAGE = 4096;

// One space: where it lives physically and where it is mapped here. The
// address is published last, so a reader that sees it sees the rest.
struct VREG_ENTRY_S {
    u32 u32PhyAddr;
    std::atomic<u8 *> pVirtAddr;
};

VREG_ENTRY_S g_stHiVreg[VREG_MAX_NUM];
std::mutex g_map_lock; // two threads touching a space first map it once
s32 g_s32VregFd = -1;
std::mutex g_fd_lock;

u32 round_page(u32 size) { return (size + PAGE - 1) & ~(PAGE - 1); }

// Which table entry an address belongs to, its base and the space's size;
// false for addresses the generic accessors don't serve.
struct Space {
    u32 entry;
    u32 base;   // first address of the space (virtual-register numbering)
    u32 size;   // bytes mapped
    u32 offset; // the address's offset in the space
    bool kernel_page;
};

bool space_of(u32 addr, Space &s)
{
    u32 upper = addr >> 16;
    if (upper == 0 || upper == (ISP_REG_BASE >> 16)) {
        s = {VREG_ENTRY_ISP, ISP_REG_BASE, ISP_REG_SIZE, addr & 0xFFFF, false};
        return true;
    }
    if (upper == (ISP_VREG_EXT_BASE >> 16)) {
        s = {VREG_ENTRY_EXT, ISP_VREG_EXT_BASE, ISP_VREG_EXT_SIZE, addr & 0xFFFF, true};
        return true;
    }
    if (upper >= 2 && upper <= 4) {
        u32 first = upper == 2 ? VREG_ENTRY_AE : upper == 3 ? VREG_ENTRY_AWB : VREG_ENTRY_AF;
        s = {first + ((addr >> 12) & 0xF), addr & ~0xFFFu, ALG_LIB_VREG_SIZE, addr & 0xFFF, true};
        return true;
    }
    return false;
}

bool vi_space_of(u32 addr, Space &s)
{
    if (addr < VI_REG_BASE || addr - VI_REG_BASE >= VI_REG_SIZE)
        return false;
    s = {VREG_ENTRY_VI, VI_REG_BASE, VI_REG_SIZE, addr & 0x1FFFF, false};
    return true;
}

bool vreg_fd_open()
{
    static const mpi_dev_node node = {"/dev/isp_dev", O_RDONLY, 0, 0};
    if (mpi_dev_open_locked(g_fd_lock, &g_s32VregFd, node).ok())
        return true;
    perror("open isp device error!\n");
    return false;
}

s32 vreg_request(unsigned long request, VREG_ARGS_S *args)
{
    if (!vreg_fd_open())
        return -1;
    return bd_ioctl(g_s32VregFd, request, args);
}

// The start of a space's mapping, mapping it first when needed.
u8 *map_space(const Space &s)
{
    u8 *virt = g_stHiVreg[s.entry].pVirtAddr.load(std::memory_order_acquire);
    if (virt)
        return virt;
    if (!vreg_fd_open())
        return nullptr;
    std::lock_guard<std::mutex> lock(g_map_lock);
    virt = g_stHiVreg[s.entry].pVirtAddr.load(std::memory_order_relaxed);
    if (virt)
        return virt;
    u32 phys = s.base;
    if (s.kernel_page) {
        VREG_ARGS_S args = {0, s.base, 0};
        if (bd_ioctl(g_s32VregFd, VREG_DRV_GETADDR, &args) != 0)
            return nullptr;
        phys = args.u32PhyAddr;
    }
    virt = static_cast<u8 *>(DU_DUZ_SYS_Mmap(phys, s.size));
    if (!virt)
        return nullptr;
    g_stHiVreg[s.entry].u32PhyAddr = phys;
    g_stHiVreg[s.entry].pVirtAddr.store(virt, std::memory_order_release);
    return virt;
}

void unmap_entry(u32 entry, u32 size)
{
    u8 *virt = g_stHiVreg[entry].pVirtAddr.exchange(nullptr, std::memory_order_acq_rel);
    if (virt)
        DU_DUZ_SYS_Munmap(virt, size);
    g_stHiVreg[entry].u32PhyAddr = 0;
}

u32 entry_size(u32 entry)
{
    if (entry == VREG_ENTRY_ISP)
        return ISP_REG_SIZE;
    if (entry == VREG_ENTRY_EXT)
        return ISP_VREG_EXT_SIZE;
    if (entry == VREG_ENTRY_VI)
        return VI_REG_SIZE;
    return ALG_LIB_VREG_SIZE;
}

// Only the start of a space may be allocated or freed: the ext page at
// 0x10000, a 3A page at its own 4 KB.
bool valid_page_base(u32 base, Space &s)
{
    if (!space_of(base, s) || !s.kernel_page)
        return false;
    u32 aligned = (base >> 16) == (ISP_VREG_EXT_BASE >> 16) ? base & ~0xFFFFu : base & ~0xFFFu;
    return aligned == base;
}

// Every access is made of register accesses of 1, 2 or 4 bytes at
// addresses aligned to their width (what the bus carries), so an unaligned
// address is served piece by piece and a narrow write touches only its own
// bytes. Pieces outside the space read 0 and drop writes.
//
// Calls fn(reg, n, done) for each piece of an access of `width` bytes at the
// space's offset: where it is mapped (null outside the space), its width
// and how many bytes came before.
template <class Fn> void each_piece(u8 *base, const Space &s, u32 width, Fn fn)
{
    for (u32 done = 0; done < width;) {
        u32 at = s.offset + done, left = width - done;
        u32 n = (at & 1) || left == 1 ? 1 : (at & 2) || left < 4 ? 2 : 4;
        fn(at + n <= round_page(s.size) ? base + at : nullptr, n, done);
        done += n;
    }
}

// An aligned access inside the space, nearly every one: a single register access.
bool one_access(const Space &s, u32 width) { return (s.offset & (width - 1)) == 0 && s.offset + width <= round_page(s.size); }

u32 access_read(u8 *base, const Space &s, u32 width)
{
    if (one_access(s, width))
        return bd_reg_read(base + s.offset, width);
    u32 value = 0;
    each_piece(base, s, width, [&](u8 *reg, u32 n, u32 done) {
        if (reg)
            value |= bd_reg_read(reg, n) << (8 * done);
    });
    return value;
}

void access_write(u8 *base, const Space &s, u32 width, u32 value)
{
    if (one_access(s, width))
        return bd_reg_write(base + s.offset, width, value);
    each_piece(base, s, width, [&](u8 *reg, u32 n, u32 done) {
        if (reg)
            bd_reg_write(reg, n, value >> (8 * done));
    });
}

// The generic accessors serve the ISP, ext and 3A spaces, the _VI ones the
// video-input block only.
u32 io_read(u32 addr, u32 width, bool vi = false)
{
    Space s;
    if (!(vi ? vi_space_of(addr, s) : space_of(addr, s)))
        return 0;
    u8 *base = map_space(s);
    return base ? access_read(base, s, width) : 0;
}

s32 io_write(u32 addr, u32 width, u32 value, bool vi = false)
{
    Space s;
    if (vi ? vi_space_of(addr, s) : space_of(addr, s))
        if (u8 *base = map_space(s))
            access_write(base, s, width, value);
    return 0;
}

} // namespace

s32 VReg_Init(u32 u32BaseAddr, u32 u32Size)
{
    Space s;
    if (!valid_page_base(u32BaseAddr, s))
        return -1;
    VREG_ARGS_S args = {round_page(u32Size), u32BaseAddr, 0};
    return vreg_request(VREG_DRV_INIT, &args) == 0 ? 0 : -1;
}

s32 VReg_Exit(u32 u32BaseAddr, u32 u32Size)
{
    Space s;
    if (!valid_page_base(u32BaseAddr, s))
        return -1;
    {
        std::lock_guard<std::mutex> lock(g_map_lock);
        unmap_entry(s.entry, s.size); // as it was mapped, whatever the caller says
    }
    VREG_ARGS_S args = {round_page(u32Size), u32BaseAddr, 0};
    return vreg_request(VREG_DRV_EXIT, &args) == 0 ? 0 : -1;
}

s32 VReg_ReleaseAll(void)
{
    VREG_ARGS_S args = {0, 0, 0};
    return vreg_request(VREG_DRV_RELEASE_ALL, &args) == 0 ? 0 : -1;
}

void *VReg_GetVirtAddr(u32 u32Addr)
{
    Space s;
    if (!vreg_fd_open() || !space_of(u32Addr, s))
        return nullptr;
    return map_space(s);
}

void *VReg_GetVirtAddr_Vi(u32 u32Addr)
{
    Space s;
    if (!vi_space_of(u32Addr, s))
        return nullptr;
    return map_space(s);
}

void VReg_Munmap(void)
{
    std::lock_guard<std::mutex> lock(g_map_lock);
    for (u32 i = 0; i < VREG_MAX_NUM; i++)
        unmap_entry(i, entry_size(i));
}

u32 IO_READ32(u32 u32Addr) { return io_read(u32Addr, 4); }
s32 IO_WRITE32(u32 u32Addr, u32 u32Value) { return io_write(u32Addr, 4, u32Value); }
u32 IO_READ16(u32 u32Addr) { return io_read(u32Addr, 2); }
s32 IO_WRITE16(u32 u32Addr, u32 u32Value) { return io_write(u32Addr, 2, u32Value); }
u32 IO_READ8(u32 u32Addr) { return io_read(u32Addr, 1); }
s32 IO_WRITE8(u32 u32Addr, u32 u32Value) { return io_write(u32Addr, 1, u32Value); }

u32 IO_READ32_VI(u32 u32Addr) { return io_read(u32Addr, 4, true); }
s32 IO_WRITE32_VI(u32 u32Addr, u32 u32Value) { return io_write(u32Addr, 4, u32Value, true); }

void io_update8(u32 u32Addr, u32 u32Clear, u32 u32Set) { IO_WRITE8(u32Addr, (IO_READ8(u32Addr) & ~u32Clear) | u32Set); }

void io_update16(u32 u32Addr, u32 u32Clear, u32 u32Set)
{
    IO_WRITE16(u32Addr, (IO_READ16(u32Addr) & ~u32Clear) | u32Set);
}
