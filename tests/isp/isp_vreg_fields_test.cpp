// The field-table walks on a record made up for the test, in the ext page:
// where each kind of row lands (read against literal addresses and bits),
// what a refusal prints and that it writes nothing, the elements in use,
// the conditional writes, the library's view beside the Get's, and the
// update flag.
#include "isp/isp_vreg_fields.h"

#include <cmath>
#include <functional>
#include <vector>

#include "tests/support/board_fixture.h"

using testsupport::capture_stderr;
using testsupport::capture_stdout;

namespace {

struct Pair {
    u16 u16A;
    u8 u8B;
};

struct Rec {
    u32 bOn;
    u16 u16Level;
    u16 u16Low;
    u32 enMode;
    u32 u32Count;
    u16 au16Table[6];
    u16 au16Sm[2];
    u8 u8Freq;
    u32 bUser;
    float f32Rate;
    Pair astPair[3];
    u8 au8Grid[2][3];
};

constexpr u32 B = 0x1F000; // the record's registers: the top of the ext page
constexpr s32 kCode = 0x1234;

#define M(m) VREG_MEMBER(Rec, m)
constexpr vreg_field kPair[] = {
    vreg_reg(0, 2, VREG_MEMBER(Pair, u16A)).check(refuse_above(100, "pair[%d].u16A %d above 100!\n").with(VREG_ARGS_INDEX_VALUE)),
    vreg_reg(2, 1, VREG_MEMBER(Pair, u8B)),
};

constexpr vreg_field kRows[] = {
    vreg_flag(0x00, 1, M(bOn), "Invalid bOn!\n"),
    vreg_reg(0x02, 2, M(u16Level)).bits(0xFFF).check(refuse_above(0xFFF, "Level %d too high!\n").with(VREG_ARGS_VALUE)),
    vreg_reg(0x04, 2, M(u16Low)),
    vreg_rule(M(u16Low), refuse_not_below_member(M(u16Level), "Low %d not below %d!\n").with(VREG_ARGS_VALUE_OTHER)),
    vreg_reg(0x06, 1, M(enMode)).bits(0x30).check(refuse_above(1, "Invalid mode!\n").answering(0x99)).reads_at_most(2),
    vreg_reg(0x08, 1, M(u32Count)).check(refuse_outside(1, 6, "Invalid count!\n")),
    vreg_reg(0x10, 2, M(au16Table), 4)
        .in_use(M(u32Count))
        .zero_unused()
        .check(refuse_falling("Table[%d] below table[%d]!\n").with(VREG_ARGS_INDEX_PREVIOUS)),
    vreg_reg(0x40, 2, M(au16Sm)).sign_magnitude(),
    vreg_reg(0x44, 1, M(u8Freq)).zero_unless(M(bOn), 1),
    vreg_flag(0x46, 1, M(bUser), "Invalid bUser!\n").bits(0x1).only_when(M(enMode), 1).get_from(0x46, 0x2),
    vreg_rule(M(f32Rate), refuse_not_above(0, "Invalid rate %f!\n").with(VREG_ARGS_VALUE).printed(VREG_TO_TRACE)),
    vreg_reg(0x48, 4, M(f32Rate)),
    vreg_group(0x50, offsetof(Rec, astPair), 3, sizeof(Pair), 4, kPair).taken_while(M(bOn)),
    vreg_reg(0x60, 1, M(au8Grid)).check(refuse_above(9, "Grid[%d][%d] above 9!\n").with(VREG_ARGS_ROW_COLUMN, 3)),
    vreg_const(0x68, 1, 1).bits(0x4),
};
#undef M
constexpr vreg_table<Rec> kRec = vreg_table_of<Rec>(kRows, kCode).updating(vreg_const(0x6C, 2, 1).masked(1));

Rec valid()
{
    Rec r = {};
    r.bOn = 1;
    r.u16Level = 0x800;
    r.u16Low = 0x100;
    r.enMode = 1;
    r.u32Count = 3;
    const u16 t[6] = {10, 20, 20, 5, 1, 1}; // past the count: out of order is no matter
    memcpy(r.au16Table, t, sizeof t);
    r.au16Sm[0] = 0x8050; // -0x50
    r.au16Sm[1] = 0x0123;
    r.u8Freq = 50;
    r.bUser = 1;
    r.f32Rate = 29.97f;
    r.astPair[0] = {1, 2};
    r.astPair[1] = {3, 4};
    r.astPair[2] = {100, 6};
    for (u32 i = 0; i < 6; i++)
        r.au8Grid[i / 3][i % 3] = (u8)i;
    return r;
}

class VregFieldsTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        ASSERT_EQ(VReg_Init(ISP_VREG_EXT_BASE, ISP_VREG_EXT_SIZE), 0);
        for (u32 off = 0; off < 0x80; off += 4)
            IO_WRITE32(B + off, 0);
    }
    void TearDown() override
    {
        VReg_Munmap();
        VReg_ReleaseAll();
    }

    static std::vector<u32> registers()
    {
        std::vector<u32> v;
        for (u32 off = 0; off < 0x80; off += 4)
            v.push_back(IO_READ32(B + off));
        return v;
    }
};

TEST_F(VregFieldsTest, EachKindOfRowLandsWhereItSays)
{
    IO_WRITE16(B + 0x02, 0xF000); // bits beside a field's are kept...
    IO_WRITE8(B + 0x00, 0xF0);    // ...unless the field owns the register
    IO_WRITE8(B + 0x06, 0x0F);
    IO_WRITE8(B + 0x68, 0x81);
    const Rec r = valid();
    ASSERT_EQ(vreg_set(kRec, B, r, "test"), 0);
    struct Case {
        const char *name;
        u32 addr, width, want;
    } cases[] = {
        {"flag", 0x00, 1, 0x01},
        {"12 bits of 16", 0x02, 2, 0xF800},
        {"low", 0x04, 2, 0x100},
        {"mode in bits 4-5", 0x06, 1, 0x1F},
        {"count", 0x08, 1, 3},
        {"table[0]", 0x10, 2, 10},
        {"table[2], 4 bytes on", 0x18, 2, 20},
        {"table[3] past the count", 0x1C, 2, 0},
        {"sign-magnitude -0x50 as two's complement", 0x40, 2, 0xFFB0},
        {"positive coefficient", 0x42, 2, 0x123},
        {"frequency while on", 0x44, 1, 50},
        {"user status bit 0", 0x46, 1, 1},
        {"float bits", 0x48, 4, 0x41EFC28F},
        {"pair[1].A", 0x54, 2, 3},
        {"pair[2].B", 0x5A, 1, 6},
        {"grid[1][2]", 0x65, 1, 5},
        {"constant bit 2, others kept", 0x68, 1, 0x85},
        {"update flag last", 0x6C, 2, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        u32 got = c.width == 1 ? IO_READ8(B + c.addr) : c.width == 2 ? IO_READ16(B + c.addr) : IO_READ32(B + c.addr);
        EXPECT_EQ(got, c.want);
    }

    Rec back;
    memset(&back, 0xEE, sizeof back);
    vreg_get(kRec, B, back);
    EXPECT_EQ(back.u16Level, 0x800);
    EXPECT_EQ(back.au16Sm[0], 0x8050);
    EXPECT_EQ(back.au16Table[2], 20);
    EXPECT_EQ(back.au16Table[3], 0); // past the count: zero
    EXPECT_EQ(back.bUser, 0u);       // the Get shows bit 1, which no run set
    EXPECT_EQ(back.f32Rate, 29.97f);
    EXPECT_EQ(back.astPair[2].u16A, 100);
    EXPECT_EQ(back.au8Grid[1][2], 5);
}

TEST_F(VregFieldsTest, ConditionsDecideWhatIsWritten)
{
    Rec r = valid();
    r.bOn = 0;
    r.enMode = 0;
    IO_WRITE8(B + 0x46, 0x01);
    ASSERT_EQ(vreg_set(kRec, B, r, "test"), 0);
    EXPECT_EQ(IO_READ8(B + 0x44), 0u); // off: frequency 0
    EXPECT_EQ(IO_READ8(B + 0x46), 1u); // not manual: the user's status stays as it was

    IO_WRITE8(B + 0x06, 0x30);          // a mode of 3 reads as 2
    IO_WRITE8(B + 0x46, 0x02);          // the run found status 1
    Rec g = {};
    vreg_get(kRec, B, g);
    EXPECT_EQ(g.enMode, 2u);
    EXPECT_EQ(g.bUser, 1u);
    EXPECT_EQ(g.astPair[1].u16A, 3); // the Get reads every field

    // The library's view: the status as written, and the pairs only while on.
    Rec t = {};
    vreg_take(kRec, B, t);
    EXPECT_EQ(t.bUser, 0u);
    EXPECT_EQ(t.astPair[1].u16A, 0);
    IO_WRITE8(B + 0x00, 1);
    vreg_take(kRec, B, t);
    EXPECT_EQ(t.astPair[1].u16A, 3);
}

TEST_F(VregFieldsTest, ARefusalPrintsItsMessageAndWritesNothing)
{
    struct Case {
        const char *name;
        std::function<void(Rec &)> change;
        s32 code;
        const char *out, *err;
    } cases[] = {
        {"flag 2", [](Rec &r) { r.bOn = 2; }, kCode, "Invalid bOn!\n", ""},
        {"value", [](Rec &r) { r.u16Level = 0x1000; }, kCode, "Level 4096 too high!\n", ""},
        {"against another member", [](Rec &r) { r.u16Low = 0x800; }, kCode, "Low 2048 not below 2048!\n", ""},
        {"falling among those in use", [](Rec &r) { r.au16Table[2] = 19; }, kCode, "Table[2] below table[1]!\n", ""},
        {"a group's element", [](Rec &r) { r.astPair[1].u16A = 101; }, kCode, "pair[1].u16A 101 above 100!\n", ""},
        {"row and column", [](Rec &r) { r.au8Grid[1][0] = 10; }, kCode, "Grid[1][0] above 9!\n", ""},
        {"NaN", [](Rec &r) { r.f32Rate = std::nanf(""); }, kCode, "", "Invalid rate nan!\n"},
        {"a code of its own, the first refusal only", [](Rec &r) { r.enMode = 2, r.u32Count = 0; }, 0x99,
         "Invalid mode!\n", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Rec r = valid();
        c.change(r);
        const std::vector<u32> before = registers();
        s32 ret = 0;
        std::string err, out = capture_stdout([&] { err = capture_stderr([&] { ret = vreg_set(kRec, B, r, "Caller"); }); });
        EXPECT_EQ(ret, c.code);
        EXPECT_EQ(out, c.out);
        if (*c.err) {
            EXPECT_NE(err.find("[Func]:Caller [Line]:"), std::string::npos) << err;
            EXPECT_NE(err.find(c.err), std::string::npos) << err;
        } else {
            EXPECT_EQ(err, "");
        }
        EXPECT_EQ(registers(), before);
    }
}

TEST_F(VregFieldsTest, TheUpdateFlagIsTheLibrarys)
{
    EXPECT_FALSE(vreg_pending(kRec, B));
    ASSERT_EQ(vreg_set(kRec, B, valid(), "test"), 0);
    EXPECT_TRUE(vreg_pending(kRec, B));
    vreg_done(kRec, B);
    EXPECT_FALSE(vreg_pending(kRec, B));
    EXPECT_EQ(IO_READ16(B + 0x6C), 0u);
    // The library's own publishing: no checks, no flag.
    Rec r = valid();
    r.u16Level = 0xFFFF;
    vreg_publish(kRec, B, r);
    EXPECT_EQ(IO_READ16(B + 0x02) & 0xFFF, 0xFFFu);
    EXPECT_FALSE(vreg_pending(kRec, B));
}

} // namespace
