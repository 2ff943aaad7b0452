// Where the fields of an attribute record live, checked against register
// addresses written out as literals, not against the code's own tables: a
// Set of one value lands in the field's bits, and a value put there comes
// back from the Get.
#pragma once

#include <gtest/gtest.h>
#include <type_traits>
#include <vector>

#include "isp/isp_vreg.h"

namespace vregcases {

template <class T> struct FieldCase {
    const char *name;
    u32 addr;
    u8 width;
    u32 mask;
    u32 set_value, get_value;
    void (*set)(T &, u32);
    u32 (*get)(const T &);
};

// VREG_CASE(Record, stAuto.u8Speed, 0x2000B, 1, 0xFF, 99, 42)
#define VREG_CASE(T, m, addr, width, mask, v1, v2)                                                          \
    vregcases::FieldCase<T>                                                                               \
    {                                                                                                     \
        #m, addr, width, mask, v1, v2, [](T &r, u32 v) { r.m = (std::remove_reference_t<decltype(r.m)>)v; }, \
            [](const T &r) { return (u32)(std::make_unsigned_t<std::decay_t<decltype(r.m)>>)r.m; }   \
    }

inline u32 shift_of(u32 mask)
{
    u32 s = 0;
    while (!(mask & (1u << s)))
        s++;
    return s;
}

inline u32 raw_read(u32 addr, u8 width)
{
    return width == 1 ? IO_READ8(addr) : width == 2 ? IO_READ16(addr) : IO_READ32(addr);
}

inline void raw_write(u32 addr, u8 width, u32 v)
{
    if (width == 1)
        IO_WRITE8(addr, v);
    else if (width == 2)
        IO_WRITE16(addr, v);
    else
        IO_WRITE32(addr, v);
}

inline u32 peek(u32 addr, u8 width, u32 mask) { return (raw_read(addr, width) & mask) >> shift_of(mask); }

inline void poke(u32 addr, u8 width, u32 mask, u32 v)
{
    raw_write(addr, width, (raw_read(addr, width) & ~mask) | ((v << shift_of(mask)) & mask));
}

// `set` may be null (a record only the Get reads).
template <class T>
void check_fields(const std::vector<FieldCase<T>> &cases, const T &base, s32 (*set)(s32, const T *),
                  s32 (*get)(s32, T *))
{
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (set) {
            poke(c.addr, c.width, c.mask, c.set_value ? 0 : 1); // something else there first
            T r = base;
            c.set(r, c.set_value);
            ASSERT_EQ(set(0, &r), 0);
            EXPECT_EQ(peek(c.addr, c.width, c.mask), c.set_value);
        }
        poke(c.addr, c.width, c.mask, c.get_value);
        T g = base;
        ASSERT_EQ(get(0, &g), 0);
        EXPECT_EQ(c.get(g), c.get_value);
    }
}

} // namespace vregcases
