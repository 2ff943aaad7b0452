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

// The access itself, for an access that is ok.
inline uint32_t load(const volatile void *addr, unsigned width)
{
    if (width == 1)
        return *static_cast<const volatile uint8_t *>(addr);
    if (width == 2)
        return *static_cast<const volatile uint16_t *>(addr);
    return *static_cast<const volatile uint32_t *>(addr);
}

inline void store(volatile void *addr, unsigned width, uint32_t value)
{
    if (width == 1)
        *static_cast<volatile uint8_t *>(addr) = (uint8_t)value;
    else if (width == 2)
        *static_cast<volatile uint16_t *>(addr) = (uint16_t)value;
    else
        *static_cast<volatile uint32_t *>(addr) = value;
}

// Any other access reads 0 and writes nothing.
inline uint32_t plain_read(const volatile void *addr, unsigned width)
{
    return access_ok(addr, width) ? load(addr, width) : 0;
}

inline void plain_write(volatile void *addr, unsigned width, uint32_t value)
{
    if (access_ok(addr, width))
        store(addr, width, value);
}

} // namespace board_regs
