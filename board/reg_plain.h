// A register access as the bus makes it, shared by both sides of the board
// (board.h's bd_reg_read and bd_reg_write): one volatile load or store of the
// access's width.
#pragma once

#include <cstdint>

namespace board_regs {

// Widths of 1, 2 or 4 bytes, at an address aligned to the width: what one
// bus access can carry.
inline bool access_ok(const volatile void *addr, unsigned width)
{
    return (width == 1 || width == 2 || width == 4) && ((uintptr_t)addr & (width - 1)) == 0;
}

inline uint32_t plain_read(const volatile void *addr, unsigned width)
{
    switch (access_ok(addr, width) ? width : 0) {
    case 1:
        return *static_cast<const volatile uint8_t *>(addr);
    case 2:
        return *static_cast<const volatile uint16_t *>(addr);
    case 4:
        return *static_cast<const volatile uint32_t *>(addr);
    default:
        return 0;
    }
}

inline void plain_write(volatile void *addr, unsigned width, uint32_t value)
{
    switch (access_ok(addr, width) ? width : 0) {
    case 1:
        *static_cast<volatile uint8_t *>(addr) = (uint8_t)value;
        break;
    case 2:
        *static_cast<volatile uint16_t *>(addr) = (uint16_t)value;
        break;
    case 4:
        *static_cast<volatile uint32_t *>(addr) = value;
        break;
    default:
        break;
    }
}

} // namespace board_regs
