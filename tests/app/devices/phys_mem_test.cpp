// Physical memory mappings on the simulated board.
#include "app/devices/phys_mem.h"

#include <gmock/gmock.h>

#include "tests/support/board_fixture.h"

namespace {

class PhysMemTest : public BoardTest {};

TEST_F(PhysMemTest, MemmapSharesOneMappingPerRange)
{
    auto *a = static_cast<volatile uint32_t *>(memmap(0x10080808, 4));
    auto *b = static_cast<volatile uint32_t *>(memmap(0x10080808, 4));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    *a = 0x12345678;
    EXPECT_EQ(sim::phys_read32(0x10080808), 0x12345678u);

    // A range inside the mapped page reuses it.
    auto *c = static_cast<volatile uint32_t *>(memmap(0x10080800, 8));
    EXPECT_EQ((volatile uint8_t *)c + 8, (volatile uint8_t *)a);

    EXPECT_EQ(memunmap((void *)c), 0);
    EXPECT_EQ(memunmap((void *)a), 0);
    sim::phys_write32(0x10080808, 7);
    EXPECT_EQ(*b, 7u); // still mapped: one reference left
    EXPECT_EQ(memunmap((void *)b), 0);
    EXPECT_EQ(memunmap((void *)b), -1);

    EXPECT_EQ(memmap(0x10080808, 0), nullptr);

    // A range across a page boundary maps both pages.
    auto *d = static_cast<volatile uint8_t *>(memmap(0x20000FFE, 4));
    ASSERT_NE(d, nullptr);
    d[3] = 0x5A;
    EXPECT_EQ(*sim::phys(0x20001001), 0x5A);
    EXPECT_EQ(memunmap((void *)d), 0);
}

} // namespace
