// A record that lives in virtual registers, described once. One row per
// field says where it is (register, width, the bits it holds), what a Set
// refuses (bound, message, code) and which record member it is. The
// attribute interface's Set checks the whole record and only then writes
// it, its Get reads it back, and the library that consumes the settings
// takes them with the same table: a register's place and meaning are
// written down in one row.
//
// A table for a record, in the order its fields are checked:
//
//   const vreg_field kFields[] = {
//       vreg_flag(0x01, 1, VREG_MEMBER(R, bEnable), "Invalid bEnable!\n"),
//       vreg_reg(0x04, 2, VREG_MEMBER(R, u16Max)).bits(0xFFF).check(refuse_above(0xFFF, "Invalid u16Max!\n")),
//       vreg_reg(0x06, 2, VREG_MEMBER(R, u16Min)).check(refuse_above_member(VREG_MEMBER(R, u16Max), "...")),
//       vreg_reg(0x100, 2, VREG_MEMBER(R, au16Table)),           // every element, registers 2 bytes apart
//   };
//   const vreg_table<R> kRecord = vreg_table_of<R>(kFields, 0xA01C8003);
//
//   Set: return vreg_set(kRecord, base, *rec, __FUNCTION__);
//   Get: vreg_get(kRecord, base, *rec);
//   the library: vreg_take(kRecord, base, rec);
//
// Checks run in table order; the first refusal prints its message and
// returns its code, and nothing is written. Where fields are checked in
// another order than they are written, the check goes on a row of its own
// (vreg_rule) at its place in the check order.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "isp/isp_vreg.h"

// ---- members -------------------------------------------------------------------------------

// A member of a record: where it is, the size of one element and how many.
struct vreg_member {
    u32 offset;
    u8 size; // 1, 2 or 4 bytes; 0: no member
    bool is_signed;
    bool is_float;
    u16 count; // elements of an array member (every dimension), 1 for a scalar
};

template <class M> constexpr vreg_member vreg_member_of(size_t offset)
{
    using E = std::remove_all_extents_t<M>;
    static_assert(sizeof(E) == 1 || sizeof(E) == 2 || sizeof(E) == 4, "a register holds 8, 16 or 32 bits");
    return {(u32)offset, (u8)sizeof(E), std::is_signed<E>::value, std::is_floating_point<E>::value,
            (u16)(sizeof(M) / sizeof(E))};
}

// VREG_MEMBER(T, stAuto.u16Speed), VREG_MEMBER(T, au16Table), VREG_MEMBER(T, au16Table[3]).
#define VREG_MEMBER(T, m) vreg_member_of<decltype(std::declval<T &>().m)>(offsetof(T, m))

// ---- checks --------------------------------------------------------------------------------

// What a refusal's message is given, in printf order.
enum vreg_args : u8 {
    VREG_ARGS_NONE,
    VREG_ARGS_VALUE,          // the value (as a double for a float member)
    VREG_ARGS_INDEX,          // the element's index in its array
    VREG_ARGS_INDEX_INDEX,    // the index twice
    VREG_ARGS_INDEX_VALUE,    // the index, the value
    VREG_ARGS_PREVIOUS_INDEX, // index - 1, index
    VREG_ARGS_INDEX_PREVIOUS, // index, index - 1
    VREG_ARGS_ROW_COLUMN,     // the index of a two-dimensional array as row, column
    VREG_ARGS_VALUE_OTHER,    // the value, the other member's value
};

// Where a refusal is printed.
enum vreg_to : u8 {
    VREG_TO_RECORD, // as the record says
    VREG_TO_STDOUT, // the message alone on standard output
    VREG_TO_TRACE,  // standard error after "[Func]:%s [Line]:%d [Info]:"
};

// A value is refused unless `value <keep> reference` holds (compared as
// doubles, so a NaN fails every test).
enum vreg_keep : u8 { VREG_KEEP_ANY, VREG_KEEP_LE, VREG_KEEP_GE, VREG_KEEP_LT, VREG_KEEP_GT, VREG_KEEP_EQ, VREG_KEEP_NE, VREG_KEEP_IN };

// The reference: a constant (or the range a..b), another member of the
// record plus a, or the element before this one in its array.
enum vreg_ref : u8 { VREG_REF_CONST, VREG_REF_MEMBER, VREG_REF_PREVIOUS };

struct vreg_check {
    u8 keep = VREG_KEEP_ANY;
    u8 ref = VREG_REF_CONST;
    u8 args = VREG_ARGS_NONE;
    u8 to = VREG_TO_RECORD;
    u16 columns = 0; // VREG_ARGS_ROW_COLUMN
    double a = 0, b = 0;
    vreg_member other = {};
    const char *message = nullptr;
    s32 code = 0; // 0: the record's
    // A rule no bound says: prints its own message and returns its code, or 0.
    s32 (*custom)(const void *record) = nullptr;

    constexpr vreg_check with(vreg_args v, u16 cols = 0) const
    {
        vreg_check c = *this;
        c.args = v;
        c.columns = cols;
        return c;
    }
    constexpr vreg_check answering(s32 v) const
    {
        vreg_check c = *this;
        c.code = v;
        return c;
    }
    constexpr vreg_check printed(vreg_to v) const
    {
        vreg_check c = *this;
        c.to = v;
        return c;
    }
};

constexpr vreg_check vreg_bound(u8 keep, u8 ref, double a, double b, vreg_member other, const char *message)
{
    vreg_check c;
    c.keep = keep;
    c.ref = ref;
    c.a = a;
    c.b = b;
    c.other = other;
    c.message = message;
    return c;
}

constexpr vreg_check refuse_above(double hi, const char *m) { return vreg_bound(VREG_KEEP_LE, VREG_REF_CONST, hi, 0, {}, m); }
constexpr vreg_check refuse_below(double lo, const char *m) { return vreg_bound(VREG_KEEP_GE, VREG_REF_CONST, lo, 0, {}, m); }
constexpr vreg_check refuse_not_above(double lo, const char *m) { return vreg_bound(VREG_KEEP_GT, VREG_REF_CONST, lo, 0, {}, m); }
constexpr vreg_check refuse_outside(double lo, double hi, const char *m)
{
    return vreg_bound(VREG_KEEP_IN, VREG_REF_CONST, lo, hi, {}, m);
}
constexpr vreg_check refuse_equal(double v, const char *m) { return vreg_bound(VREG_KEEP_NE, VREG_REF_CONST, v, 0, {}, m); }
constexpr vreg_check refuse_unless(double v, const char *m) { return vreg_bound(VREG_KEEP_EQ, VREG_REF_CONST, v, 0, {}, m); }
// Against another member of the record (plus `plus`).
constexpr vreg_check refuse_below_member(vreg_member o, const char *m, double plus = 0)
{
    return vreg_bound(VREG_KEEP_GE, VREG_REF_MEMBER, plus, 0, o, m);
}
constexpr vreg_check refuse_above_member(vreg_member o, const char *m, double plus = 0)
{
    return vreg_bound(VREG_KEEP_LE, VREG_REF_MEMBER, plus, 0, o, m);
}
constexpr vreg_check refuse_not_above_member(vreg_member o, const char *m, double plus = 0)
{
    return vreg_bound(VREG_KEEP_GT, VREG_REF_MEMBER, plus, 0, o, m);
}
constexpr vreg_check refuse_not_below_member(vreg_member o, const char *m, double plus = 0)
{
    return vreg_bound(VREG_KEEP_LT, VREG_REF_MEMBER, plus, 0, o, m);
}
// Against the element before (an array's first element and the elements
// past those in use are not compared).
constexpr vreg_check refuse_falling(const char *m) { return vreg_bound(VREG_KEEP_GE, VREG_REF_PREVIOUS, 0, 0, {}, m); }
constexpr vreg_check refuse_not_rising(const char *m) { return vreg_bound(VREG_KEEP_GT, VREG_REF_PREVIOUS, 0, 0, {}, m); }
constexpr vreg_check refuse_rising(const char *m) { return vreg_bound(VREG_KEEP_LE, VREG_REF_PREVIOUS, 0, 0, {}, m); }
constexpr vreg_check refuse_by(s32 (*rule)(const void *record))
{
    vreg_check c;
    c.custom = rule;
    return c;
}

// ---- fields --------------------------------------------------------------------------------

enum : u16 {
    VREG_ADDRESS = 1u << 0,        // reg is an address of its own, not an offset from the walk's base
    VREG_VI = 1u << 1,             // an address in the video-input block (32-bit registers)
    VREG_WHOLE = 1u << 2,          // a write replaces the whole register, not only the field's bits
    VREG_SET_ONLY = 1u << 3,       // written, never read back (a copy of a field another row reads)
    VREG_GET_KEEPS = 1u << 4,      // the Get leaves the caller's value
    VREG_NOT_TAKEN = 1u << 5,      // the library does not take it
    VREG_CONST = 1u << 6,          // a constant written with the record, no member
    VREG_SIGN_MAGNITUDE = 1u << 7, // the record holds sign-magnitude, the register two's complement
    VREG_ZERO_UNUSED = 1u << 8,    // elements past those in use read as 0
    VREG_ELSE_ZERO = 1u << 9,      // when the write condition fails, 0 is written instead
    VREG_READ_ONLY = 1u << 10,     // another writes it (the hardware, the statistics): walks only read it
};

// One row. Build rows with the functions below, not by hand.
struct vreg_field {
    u32 reg = 0;   // offset from the walk's base, or an address (VREG_ADDRESS)
    u8 width = 0;  // register bytes: 1, 2 or 4; 0 for a check without a register
    u16 flags = 0;
    u32 mask = 0; // the register's bits that hold the field (0: all of them)
    vreg_member member = {};
    u16 first = 0, count = 0; // elements [first, first + count) of an array member (count 0: to the end)
    u16 reg_stride = 0;       // bytes between two elements' registers
    vreg_check rule = {};
    u32 read_max = 0;          // reads answer at most this (0: as read)
    vreg_member in_use_of = {}; // counts the elements in use (writes and reads stop there)
    vreg_member when = {};      // written only while this member equals when_value
    u32 when_value = 0;
    vreg_member taken_if = {};     // the library takes the field only while this member is set
    u32 get_reg = 0, get_mask = 0; // where the Get reads it back, when not where it was written
    u32 value = 0;                 // VREG_CONST
    // The register holds a code per record value: value v is written as
    // codes[v]; a code read back answers its index, any other n_codes.
    const u32 *codes = nullptr;
    u8 n_codes = 0;
    // A group: rows repeated for `count` elements of an array of records
    // (or of several arrays side by side); the rows' offsets are from the
    // element, their registers from the group's register.
    const vreg_field *rows = nullptr;
    u16 n_rows = 0;
    u16 member_stride = 0;

    // A copy with `change` made (defined before its users: clang evaluates
    // constant expressions only through functions already defined).
    template <class F> constexpr vreg_field with(F change) const
    {
        vreg_field f = *this;
        change(f);
        return f;
    }

    constexpr vreg_field bits(u32 m) const
    {
        return with([&](vreg_field &f) { f.mask = m, f.flags &= (u16)~VREG_WHOLE; });
    }
    // The field's bits, but a write replaces the whole register.
    constexpr vreg_field masked(u32 m) const { return with([&](vreg_field &f) { f.mask = m, f.flags |= VREG_WHOLE; }); }
    constexpr vreg_field check(vreg_check c) const { return with([&](vreg_field &f) { f.rule = c; }); }
    constexpr vreg_field elements(u16 from, u16 n) const { return with([&](vreg_field &f) { f.first = from, f.count = n; }); }
    constexpr vreg_field reads_at_most(u32 v) const { return with([&](vreg_field &f) { f.read_max = v; }); }
    constexpr vreg_field in_use(vreg_member m) const { return with([&](vreg_field &f) { f.in_use_of = m; }); }
    constexpr vreg_field only_when(vreg_member m, u32 v) const
    {
        return with([&](vreg_field &f) { f.when = m, f.when_value = v; });
    }
    constexpr vreg_field zero_unless(vreg_member m, u32 v) const
    {
        return with([&](vreg_field &f) { f.when = m, f.when_value = v, f.flags |= VREG_ELSE_ZERO; });
    }
    constexpr vreg_field taken_while(vreg_member m) const { return with([&](vreg_field &f) { f.taken_if = m; }); }
    // Fields the run takes and then reports elsewhere: the Get shows the report.
    constexpr vreg_field get_from(u32 reg, u32 m) const { return with([&](vreg_field &f) { f.get_reg = reg, f.get_mask = m; }); }
    template <size_t N> constexpr vreg_field coded(const u32 (&c)[N]) const
    {
        return with([&](vreg_field &f) { f.codes = c, f.n_codes = (u8)N; });
    }
    constexpr vreg_field flag(u16 v) const { return with([&](vreg_field &f) { f.flags |= v; }); }
    constexpr vreg_field at_address() const { return flag(VREG_ADDRESS); }
    constexpr vreg_field set_only() const { return flag(VREG_SET_ONLY); }
    constexpr vreg_field get_keeps() const { return flag(VREG_GET_KEEPS); }
    constexpr vreg_field not_taken() const { return flag(VREG_NOT_TAKEN); }
    constexpr vreg_field sign_magnitude() const { return flag(VREG_SIGN_MAGNITUDE); }
    constexpr vreg_field zero_unused() const { return flag(VREG_ZERO_UNUSED); }
    constexpr vreg_field read_only() const { return flag(VREG_READ_ONLY); }

};

// A register holding a member; for an array member, every element in
// registers `stride` bytes apart (the register's width when 0).
constexpr vreg_field vreg_reg(u32 reg, u8 width, vreg_member m, u16 stride = 0)
{
    vreg_field f;
    f.reg = reg;
    f.width = width;
    f.member = m;
    f.reg_stride = stride ? stride : width;
    return f;
}

// A boolean: refused above 1 with `message`, bit 0 of its register.
constexpr vreg_field vreg_flag(u32 reg, u8 width, vreg_member m, const char *message)
{
    return vreg_reg(reg, width, m).masked(1).check(refuse_above(1, message));
}

// A check with no register of its own.
constexpr vreg_field vreg_rule(vreg_member m, vreg_check c)
{
    vreg_field f;
    f.member = m;
    f.rule = c;
    return f;
}

// A constant the Set writes with the record (into its bits with .bits()).
constexpr vreg_field vreg_const(u32 reg, u8 width, u32 value)
{
    vreg_field f;
    f.reg = reg;
    f.width = width;
    f.flags = VREG_CONST;
    f.value = value;
    return f;
}

// Rows repeated for `count` elements: element k's members are
// `member_stride` x k bytes further, its registers `reg_stride` x k.
template <size_t N>
constexpr vreg_field vreg_group(u32 reg, u32 offset, u16 count, u16 member_stride, u16 reg_stride,
                                const vreg_field (&rows)[N])
{
    vreg_field f;
    f.reg = reg;
    f.member = {offset, 0, false, false, count};
    f.reg_stride = reg_stride;
    f.rows = rows;
    f.n_rows = (u16)N;
    f.member_stride = member_stride;
    return f;
}

// ---- records -------------------------------------------------------------------------------

struct vreg_record {
    const vreg_field *rows;
    u16 n_rows;
    s32 code; // a refusal's code, unless its check says another
    u8 to;    // where refusals are printed, unless the check says
    // An update flag (a vreg_const row; width 0: none): the Set raises it
    // after every field was written, so a reader that sees it sees the
    // fields; the library puts it down once it took them.
    vreg_field update;
};

template <class T> struct vreg_table {
    vreg_record r;

    constexpr vreg_table updating(vreg_field flag) const
    {
        vreg_table t = *this;
        t.r.update = flag;
        return t;
    }
};

template <class T, size_t N> constexpr vreg_table<T> vreg_table_of(const vreg_field (&rows)[N], s32 code, u8 to = VREG_TO_STDOUT)
{
    return {{rows, (u16)N, code, to, {}}};
}

// The same rows for a record of another type with the same layout (a
// library's own copy of a public record); the caller asserts the layout.
template <class U, class T> constexpr vreg_table<U> vreg_table_as(const vreg_table<T> &t)
{
    static_assert(sizeof(U) == sizeof(T), "records of one layout");
    return {t.r};
}

enum vreg_view : u8 {
    VREG_VIEW_GET,  // what the Get answers
    VREG_VIEW_TAKE, // what the library takes: the settings as written
};

// The walks. `base` is added to every register that is not an address.
s32 vreg_check_record(const vreg_record &r, const void *rec, const char *func);
void vreg_write_record(const vreg_record &r, u32 base, const void *rec);
void vreg_read_record(const vreg_record &r, u32 base, void *rec, vreg_view view);
void vreg_update_raise(const vreg_record &r, u32 base);
bool vreg_update_pending(const vreg_record &r, u32 base);
void vreg_update_done(const vreg_record &r, u32 base);

// Checks the whole record, then writes it: 0, or the first refusal's code
// with nothing written. `func` names the caller in a traced message.
template <class T> s32 vreg_set(const vreg_table<T> &t, u32 base, const T &rec, const char *func)
{
    s32 ret = vreg_check_record(t.r, &rec, func);
    if (ret == 0) {
        vreg_write_record(t.r, base, &rec);
        vreg_update_raise(t.r, base);
    }
    return ret;
}

template <class T> void vreg_get(const vreg_table<T> &t, u32 base, T &rec) { vreg_read_record(t.r, base, &rec, VREG_VIEW_GET); }
template <class T> void vreg_take(const vreg_table<T> &t, u32 base, T &rec) { vreg_read_record(t.r, base, &rec, VREG_VIEW_TAKE); }
// Writes without checking and without raising the update flag: what the
// library itself publishes.
template <class T> void vreg_publish(const vreg_table<T> &t, u32 base, const T &rec) { vreg_write_record(t.r, base, &rec); }
// The record's update flag: raised by a Set since the library last took it.
template <class T> bool vreg_pending(const vreg_table<T> &t, u32 base) { return vreg_update_pending(t.r, base); }
template <class T> void vreg_done(const vreg_table<T> &t, u32 base) { vreg_update_done(t.r, base); }
