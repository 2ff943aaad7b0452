// Registers that react to an access: a hook on a physical register answers
// the firmware's bd_reg_read/bd_reg_write through every mapping that covers
// it, for as long as the mapping lives, and nowhere else.
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <thread>
#include <vector>

#include "tests/support/board_fixture.h"

namespace {

// A register in a window nobody else uses, on the second of two pages.
constexpr uint32_t kPage0 = 0x10F00000, kPage1 = kPage0 + 4096;
constexpr uint32_t kReg = kPage1 + 0x40;
constexpr size_t kPage = 4096;

// What the hooks saw; only the test's own thread makes register accesses.
struct Seen {
    int writes = 0, reads = 0;
    uint32_t phys = 0, width = 0, value = 0;
};
Seen g_seen;

void on_write(uint32_t phys, unsigned width, uint32_t value)
{
    g_seen.phys = phys;
    g_seen.width = width;
    g_seen.value = value;
    g_seen.writes++;
}

// A read gives what no memory holds: a mark and the low bits of the address.
uint32_t read_mark(uint32_t phys) { return 0xC0DE0000u | (phys & 0xFFFF); }
uint32_t on_read(uint32_t phys, unsigned width)
{
    g_seen.phys = phys;
    g_seen.width = width;
    g_seen.reads++;
    return read_mark(phys);
}

class RegHookTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        g_seen.writes = g_seen.reads = 0;
        fd_ = bd_open("/dev/mem", O_RDWR);
        ASSERT_GE(fd_, 0);
    }
    void TearDown() override
    {
        sim::reg_hook(kReg, nullptr, nullptr);
        for (auto &m : maps_)
            bd_munmap(m.first, m.second);
        bd_close(fd_);
    }

    uint8_t *map(uint32_t phys, size_t length, void *at = nullptr)
    {
        void *p = bd_mmap(at, length, PROT_READ | PROT_WRITE, MAP_SHARED | (at ? MAP_FIXED : 0), fd_, phys);
        if (p == MAP_FAILED)
            return nullptr;
        if (!at)
            maps_.push_back({p, length});
        return static_cast<uint8_t *>(p);
    }
    void unmap(uint8_t *p, size_t length)
    {
        EXPECT_EQ(bd_munmap(p, length), 0);
        for (auto it = maps_.begin(); it != maps_.end(); ++it)
            if (it->first == p) {
                maps_.erase(it);
                break;
            }
    }
    // Whether a read of the register's word through `reg` reaches the hook.
    static bool hooked(const uint8_t *reg)
    {
        int before = g_seen.reads;
        uint32_t v = bd_reg_read(reg, 4);
        return g_seen.reads == before + 1 && v == read_mark(kReg);
    }

    int fd_ = -1;
    std::vector<std::pair<void *, size_t>> maps_;
};

TEST_F(RegHookTest, AccessesToAHookedRegisterReachItsHooks)
{
    sim::reg_hook(kReg, on_write, on_read);
    uint8_t *base = map(kPage0, 2 * kPage);
    ASSERT_NE(base, nullptr);
    struct Case {
        const char *name;
        uint32_t phys;
        unsigned width;
        uint32_t value;  // written
        bool hooked;
        uint32_t hooked_value; // what the write hook sees
    } cases[] = {
        {"the register's word", kReg, 4, 0x11223344, true, 0x11223344},
        {"its top byte", kReg + 3, 1, 0x1AB, true, 0xAB},
        {"its upper half", kReg + 2, 2, 0x5BEEF, true, 0xBEEF},
        {"the word after it", kReg + 4, 4, 0x55667788, false, 0},
        {"the word before it", kReg - 4, 2, 0x99AA, false, 0},
        {"the same offset a page lower", kReg - kPage, 4, 0x12345678, false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t *reg = base + (c.phys - kPage0);
        int writes = g_seen.writes, reads = g_seen.reads;
        uint32_t word = c.phys & ~3u;
        uint32_t before = sim::phys_read32(word);

        bd_reg_write(reg, c.width, c.value);
        // The write lands in memory whether hooked or not.
        uint32_t shift = 8 * (c.phys & 3), mask = c.width == 4 ? ~0u : ((1u << 8 * c.width) - 1) << shift;
        EXPECT_EQ(sim::phys_read32(word), (before & ~mask) | ((c.value << shift) & mask));
        EXPECT_EQ(g_seen.writes, writes + (c.hooked ? 1 : 0));

        uint32_t got = bd_reg_read(reg, c.width);
        EXPECT_EQ(g_seen.reads, reads + (c.hooked ? 1 : 0));
        if (c.hooked) {
            EXPECT_EQ(g_seen.value, c.hooked_value);
            EXPECT_EQ(g_seen.phys, c.phys);
            EXPECT_EQ(g_seen.width, c.width);
            EXPECT_EQ(got, read_mark(c.phys));
        } else {
            EXPECT_EQ(got, c.value & (c.width == 4 ? ~0u : (1u << 8 * c.width) - 1));
        }
    }
}

TEST_F(RegHookTest, AccessesNoBusCarriesDoNothing)
{
    sim::reg_hook(kReg, on_write, on_read);
    uint8_t *base = map(kPage1, kPage);
    ASSERT_NE(base, nullptr);
    uint8_t *reg = base + (kReg - kPage1);
    sim::phys_write32(kReg, 0x01020304);
    sim::phys_write32(kReg + 4, 0x05060708);
    struct Case {
        const char *name;
        uint8_t *addr;
        unsigned width;
    } cases[] = {
        {"three bytes", reg, 3}, {"eight bytes", reg, 8},      {"no bytes", reg, 0},
        {"an odd half", reg + 1, 2}, {"a word across two", reg + 2, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bd_reg_read(c.addr, c.width), 0u);
        bd_reg_write(c.addr, c.width, 0xFFFFFFFF);
        EXPECT_EQ(sim::phys_read32(kReg), 0x01020304u);
        EXPECT_EQ(sim::phys_read32(kReg + 4), 0x05060708u);
    }
    EXPECT_EQ(g_seen.reads, 0);
    EXPECT_EQ(g_seen.writes, 0);
    // Memory that no mapping of the board gave is plain memory.
    uint32_t plain = 7;
    bd_reg_write(&plain, 4, 9);
    EXPECT_EQ(bd_reg_read(&plain, 4), 9u);
}

TEST_F(RegHookTest, HooksFollowTheMappingsThatCoverTheRegister)
{
    // A mapping made before the hook finds it.
    uint8_t *early = map(kPage0, 2 * kPage);
    ASSERT_NE(early, nullptr);
    sim::phys_write32(kReg, 0x600D);
    EXPECT_EQ(bd_reg_read(early + (kReg - kPage0), 4), 0x600Du);
    sim::reg_hook(kReg, on_write, on_read);
    EXPECT_TRUE(hooked(early + (kReg - kPage0)));

    // Two mappings of one register both reach it.
    uint8_t *second = map(kPage1, kPage);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(hooked(second + (kReg - kPage1)));

    // Unmapping the first page of the early mapping keeps the second.
    unmap(early, kPage);
    maps_.push_back({early + kPage, kPage});
    EXPECT_TRUE(hooked(early + (kReg - kPage0)));

    // A page of other memory mapped over the register's: plain memory there.
    uint8_t *over = map(kPage0 + 16 * kPage, kPage, early + kPage);
    ASSERT_EQ(over, early + kPage);
    sim::phys_write32(kPage0 + 16 * kPage + 0x40, 0xD00D);
    EXPECT_EQ(bd_reg_read(over + 0x40, 4), 0xD00Du);
    EXPECT_TRUE(hooked(second + (kReg - kPage1)));

    // Unhooked: plain memory everywhere.
    sim::reg_hook(kReg, nullptr, nullptr);
    int reads = g_seen.reads;
    EXPECT_EQ(bd_reg_read(second + (kReg - kPage1), 4), 0x600Du);
    EXPECT_EQ(g_seen.reads, reads);
}

TEST_F(RegHookTest, MappingsOverHookedRegistersAreBoundedAndFreedByMunmap)
{
    sim::reg_hook(kReg, on_write, on_read);
    // The table holds 32 such mappings; the 33rd is refused, not left unhooked.
    std::vector<uint8_t *> held;
    for (int i = 0; i < 32; i++) {
        uint8_t *p = map(kPage1, kPage);
        ASSERT_NE(p, nullptr) << i;
        held.push_back(p);
    }
    errno = 0;
    EXPECT_EQ(bd_mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, kPage1), MAP_FAILED);
    EXPECT_EQ(errno, ENOMEM);
    // Memory without a hooked register maps as before.
    EXPECT_NE(map(kPage0, kPage), nullptr);
    for (uint8_t *p : held)
        EXPECT_TRUE(hooked(p + (kReg - kPage1)));

    unmap(held.back(), kPage);
    uint8_t *again = map(kPage1, kPage);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(hooked(again + (kReg - kPage1)));
}

// Readers take the table without a lock while mappings come and go: every
// read through a mapping that stays must reach the hook, every read of the
// word beside it must read memory.
TEST_F(RegHookTest, AccessesStayHookedWhileOtherMappingsComeAndGo)
{
    sim::reg_hook(kReg, on_write, on_read);
    uint8_t *stays = map(kPage1, kPage);
    ASSERT_NE(stays, nullptr);
    sim::phys_write32(kReg + 4, 0xBEE);
    std::atomic<bool> done{false};
    std::thread churn([&] {
        while (!done) {
            void *a = bd_mmap(nullptr, kPage, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, kPage1);
            void *b = bd_mmap(nullptr, 2 * kPage, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, kPage0);
            if (a != MAP_FAILED)
                bd_munmap(a, kPage);
            if (b != MAP_FAILED)
                bd_munmap(b, 2 * kPage);
        }
    });
    constexpr int kReads = 200000;
    int missed = 0, wrong = 0;
    for (int i = 0; i < kReads; i++) {
        missed += bd_reg_read(stays + (kReg - kPage1), 4) != read_mark(kReg);
        wrong += bd_reg_read(stays + (kReg + 4 - kPage1), 4) != 0xBEE;
    }
    done = true;
    churn.join();
    EXPECT_EQ(missed, 0);
    EXPECT_EQ(wrong, 0);
}

} // namespace
