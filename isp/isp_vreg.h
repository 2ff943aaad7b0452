// The ISP's register space: the ISP register block (0x205A0000, or just the
// offset below 0x10000), the ext page (0x10000), the 3A pages (0x20000 AE,
// 0x30000 AWB, 0x40000 AF, 0x1000 per library handle) and the video-input
// block (0x20580000, through the _VI accessors). Spaces are mapped on first use.
// The IO accessors make their accesses with bd_reg_read and bd_reg_write
// (board/board.h), so registers that react to an access (the defect-pixel
// table port) answer them; a plain pointer from VReg_GetVirtAddr reaches
// only the registers' memory.
#pragma once

#include "isp/isp_hw_regs.h"

#define ISP_REG_SIZE 65535u
#define ISP_VREG_EXT_BASE 0x10000u
#define ISP_VREG_EXT_SIZE 0x10000u
#define AE_LIB_VREG_BASE(id) (0x20000u + 0x1000u * (id))
#define AWB_LIB_VREG_BASE(id) (0x30000u + 0x1000u * (id))
#define AF_LIB_VREG_BASE(id) (0x40000u + 0x1000u * (id))
#define ALG_LIB_VREG_SIZE 0x1000u
#define VI_REG_SIZE 0x20000u

s32 VReg_Init(u32 u32BaseAddr, u32 u32Size);
s32 VReg_Exit(u32 u32BaseAddr, u32 u32Size);
s32 VReg_ReleaseAll(void);
void *VReg_GetVirtAddr(u32 u32Addr);
void *VReg_GetVirtAddr_Vi(u32 u32Addr);
void VReg_Munmap(void);

u32 IO_READ32(u32 u32Addr);
s32 IO_WRITE32(u32 u32Addr, u32 u32Value);
u32 IO_READ16(u32 u32Addr);
s32 IO_WRITE16(u32 u32Addr, u32 u32Value);
u32 IO_READ8(u32 u32Addr);
s32 IO_WRITE8(u32 u32Addr, u32 u32Value);
// A byte or half-word register's `clear` bits cleared and `set` bits set,
// the others kept.
void io_update8(u32 u32Addr, u32 u32Clear, u32 u32Set);
void io_update16(u32 u32Addr, u32 u32Clear, u32 u32Set);

u32 IO_READ32_VI(u32 u32Addr);
s32 IO_WRITE32_VI(u32 u32Addr, u32 u32Value);
