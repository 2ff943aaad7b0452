// The walks over a record's field table: check, write, read.
#include "isp/isp_vreg_fields.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Where a walk stands: the record, the offset of the current element of a
// group (added to every member of its rows), the offset of its registers,
// and which element of which array it is.
struct Frame {
    const u8 *rec;
    u32 moff;
    u32 roff;
    s32 index;  // the element's index in its array; -1 outside arrays
    u32 back;   // bytes from the element to the one before it
    bool used;  // within the elements in use
    bool taken; // the library takes it (every field it is conditioned on is set)
    bool only_taken; // the walk visits only what the library takes
};

u32 full_mask(u8 width) { return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1; }

u32 low_bit(u32 mask)
{
    u32 s = 0;
    while (s < 31 && !(mask & (1u << s)))
        s++;
    return s;
}

u32 member_bits(const u8 *p, u8 size)
{
    u32 v = 0;
    memcpy(&v, p, size); // little endian: the low bytes
    return v;
}

double member_value(const u8 *p, const vreg_member &m)
{
    u32 bits = member_bits(p, m.size);
    if (m.is_float) {
        float f;
        memcpy(&f, &bits, sizeof f);
        return f;
    }
    if (!m.is_signed)
        return bits;
    return m.size == 1 ? (double)(s8)bits : m.size == 2 ? (double)(s16)bits : (double)(s32)bits;
}

// The member a row names beside its field, in the same element.
double other_value(const Frame &f, const vreg_member &m) { return member_value(f.rec + f.moff + m.offset, m); }
bool named(const vreg_member &m) { return m.size != 0; }

u32 io_read(u32 addr, u8 width, bool vi)
{
    if (vi)
        return IO_READ32_VI(addr);
    return width == 1 ? IO_READ8(addr) : width == 2 ? IO_READ16(addr) : IO_READ32(addr);
}

void io_write(u32 addr, u8 width, bool vi, u32 v)
{
    if (vi)
        IO_WRITE32_VI(addr, v);
    else if (width == 1)
        IO_WRITE8(addr, v);
    else if (width == 2)
        IO_WRITE16(addr, v);
    else
        IO_WRITE32(addr, v);
}

// A value into the field's bits; the register's other bits are kept unless
// the field owns the whole register.
void field_write(u32 addr, u8 width, u32 mask, bool whole, bool vi, u32 v)
{
    const u32 full = full_mask(width);
    mask = mask ? mask & full : full;
    const u32 bits = (v << low_bit(mask)) & mask;
    if (whole || mask == full)
        io_write(addr, width, vi, bits);
    else
        io_write(addr, width, vi, (io_read(addr, width, vi) & ~mask) | bits);
}

u32 field_read(u32 addr, u8 width, u32 mask, bool vi)
{
    mask = mask ? mask : full_mask(width);
    return (io_read(addr, width, vi) & mask) >> low_bit(mask);
}

// Sign-magnitude (bit 15 the sign) and two's complement, 16 bits.
u32 sm_to_twos(u32 v) { return (u16)((v & 0x8000) ? -(s32)(v & 0x7FFF) : (s32)(v & 0x7FFF)); }
u32 twos_to_sm(u32 v)
{
    const s16 s = (s16)v;
    return s < 0 ? (u16)(0x8000 | (u16)(-(s32)s)) : (u16)s;
}

u32 code_index(const vreg_field &row, u32 code)
{
    u32 k = 0;
    while (k < row.n_codes && row.codes[k] != code)
        k++;
    return k;
}

u32 row_elements(const vreg_field &row)
{
    if (row.count)
        return row.count;
    return row.member.count > row.first ? row.member.count - row.first : 0;
}

// Elements in use: all of them unless a member counts them.
u32 in_use(const Frame &f, const vreg_field &row)
{
    if (!named(row.in_use_of))
        return 0xFFFFFFFFu;
    const double n = other_value(f, row.in_use_of);
    return n > 0 ? (u32)n : 0;
}

// Calls fn(frame, row, the element in the record, its register's offset)
// for every element of a row, and walks a group's rows for each of its
// elements.
template <class Fn> void each_element(const Frame &f, const vreg_field &row, Fn fn);

template <class Fn> void each_row(const Frame &f, const vreg_field *rows, u16 n, Fn fn)
{
    for (u16 i = 0; i < n; i++)
        each_element(f, rows[i], fn);
}

template <class Fn> void each_element(const Frame &f, const vreg_field &row, Fn fn)
{
    Frame g = f;
    g.taken = f.taken && (!named(row.taken_if) || other_value(f, row.taken_if) != 0);
    if (f.only_taken && !g.taken)
        return;
    const bool array = row.rows || row.member.count > 1;
    if (!array) {
        fn(g, row, f.rec + f.moff + row.member.offset, f.roff + row.reg);
        return;
    }
    const u32 used = in_use(f, row);
    const u32 n = row_elements(row);
    const u32 size = row.rows ? row.member_stride : row.member.size;
    for (u32 j = 0; j < n; j++) {
        const u32 k = row.first + j;
        Frame e = g;
        e.index = (s32)k;
        e.back = size;
        e.used = f.used && k < used;
        if (row.rows) {
            e.moff = f.moff + row.member.offset + k * size;
            e.roff = f.roff + row.reg + j * row.reg_stride;
            each_row(e, row.rows, row.n_rows, fn);
        } else {
            fn(e, row, f.rec + f.moff + row.member.offset + k * size, f.roff + row.reg + j * row.reg_stride);
        }
    }
}

u32 address(u32 base, const vreg_field &row, u32 reg) { return (row.flags & (VREG_ADDRESS | VREG_VI)) ? reg : base + reg; }

// The refusal of one element, or 0.
s32 check_element(const vreg_record &r, const Frame &f, const vreg_field &row, const u8 *at, const char *func)
{
    const vreg_check &c = row.rule;
    if (c.custom)
        return c.custom(f.rec);
    if (c.keep == VREG_KEEP_ANY)
        return 0;
    const double v = member_value(at, row.member);
    double ref = c.a, other = 0;
    if (c.ref == VREG_REF_MEMBER) {
        // An array row compares element by element with the other array.
        const u32 shift = (row.member.count > 1 && f.index >= 0) ? (u32)f.index * c.other.size : 0;
        other = member_value(f.rec + f.moff + c.other.offset + shift, c.other);
        ref = other + c.a;
    } else if (c.ref == VREG_REF_PREVIOUS) {
        if (f.index < 1 || !f.used)
            return 0;
        ref = member_value(at - f.back, row.member);
    }
    bool keep = true;
    switch (c.keep) {
    case VREG_KEEP_LE: keep = v <= ref; break;
    case VREG_KEEP_GE: keep = v >= ref; break;
    case VREG_KEEP_LT: keep = v < ref; break;
    case VREG_KEEP_GT: keep = v > ref; break;
    case VREG_KEEP_EQ: keep = v == ref; break;
    case VREG_KEEP_NE: keep = v != ref; break;
    case VREG_KEEP_IN: keep = v >= c.a && v <= c.b; break;
    }
    if (keep)
        return 0;

    // The value as the message prints it: a float record field may hold
    // anything (NaN among it), which no integer cast may be given.
    auto shown = [](double d) -> s32 {
        if (!(d == d))
            return 0;
        return (s32)(s64)std::clamp(d, -2147483648.0, 4294967295.0);
    };
    const s32 k = f.index;
    s32 x = 0, y = 0;
    switch (c.args) {
    case VREG_ARGS_VALUE: x = shown(v); break;
    case VREG_ARGS_INDEX: x = k; break;
    case VREG_ARGS_INDEX_INDEX: x = y = k; break;
    case VREG_ARGS_INDEX_VALUE: x = k, y = shown(v); break;
    case VREG_ARGS_PREVIOUS_INDEX: x = k - 1, y = k; break;
    case VREG_ARGS_INDEX_PREVIOUS: x = k, y = k - 1; break;
    case VREG_ARGS_ROW_COLUMN: x = k / c.columns, y = k % c.columns; break;
    case VREG_ARGS_VALUE_OTHER: x = shown(v), y = shown(other); break;
    }
    FILE *out = stdout;
    if ((c.to ? c.to : r.to) == VREG_TO_TRACE) {
        out = stderr;
        fprintf(out, "[Func]:%s [Line]:%d [Info]:", func, __LINE__);
    }
    if (c.args == VREG_ARGS_NONE)
        fputs(c.message, out);
    else if (c.args == VREG_ARGS_VALUE && row.member.is_float)
        fprintf(out, c.message, v);
    else
        fprintf(out, c.message, x, y); // a message with one conversion ignores the second
    return c.code ? c.code : r.code;
}

void update_write(const vreg_field &flag, u32 base, u32 v)
{
    field_write(address(base, flag, flag.reg), flag.width, flag.mask, flag.flags & VREG_WHOLE, false, v);
}

Frame top(const void *rec, bool only_taken = false)
{
    return {static_cast<const u8 *>(rec), 0, 0, -1, 0, true, true, only_taken};
}

} // namespace

s32 vreg_check_record(const vreg_record &r, const void *rec, const char *func)
{
    s32 ret = 0;
    const Frame f = top(rec);
    for (u16 i = 0; i < r.n_rows && ret == 0; i++)
        each_element(f, r.rows[i], [&](const Frame &e, const vreg_field &row, const u8 *at, u32) {
            if (ret == 0)
                ret = check_element(r, e, row, at, func);
        });
    return ret;
}

void vreg_write_record(const vreg_record &r, u32 base, const void *rec)
{
    each_row(top(rec), r.rows, r.n_rows, [&](const Frame &e, const vreg_field &row, const u8 *at, u32 reg) {
        if (row.width == 0 || !e.used || (row.flags & VREG_READ_ONLY))
            return;
        u32 v = row.value;
        if (!(row.flags & VREG_CONST)) {
            if (named(row.when) && other_value(e, row.when) != row.when_value) {
                if (!(row.flags & VREG_ELSE_ZERO))
                    return;
                v = 0;
            } else {
                v = member_bits(at, row.member.size);
                if (row.flags & VREG_SIGN_MAGNITUDE)
                    v = sm_to_twos(v);
                if (row.codes && v < row.n_codes)
                    v = row.codes[v];
            }
        }
        field_write(address(base, row, reg), row.width, row.mask, row.flags & VREG_WHOLE, row.flags & VREG_VI, v);
    });
}

void vreg_update_raise(const vreg_record &r, u32 base)
{
    if (r.update.width)
        update_write(r.update, base, r.update.value);
}

void vreg_read_record(const vreg_record &r, u32 base, void *rec, vreg_view view)
{
    u8 *out = static_cast<u8 *>(rec);
    each_row(top(rec, view == VREG_VIEW_TAKE), r.rows, r.n_rows, [&](const Frame &e, const vreg_field &row, const u8 *at, u32 reg) {
        if (row.width == 0 || (row.flags & (VREG_CONST | VREG_SET_ONLY)))
            return;
        if (view == VREG_VIEW_GET && (row.flags & VREG_GET_KEEPS))
            return;
        if (view == VREG_VIEW_TAKE && ((row.flags & VREG_NOT_TAKEN) || !e.taken))
            return;
        u8 *field = out + (at - e.rec);
        u32 v = 0;
        if (e.used) {
            const bool elsewhere = view == VREG_VIEW_GET && row.get_mask;
            const u32 at_reg = elsewhere ? reg - row.reg + row.get_reg : reg;
            v = field_read(address(base, row, at_reg), row.width, elsewhere ? row.get_mask : row.mask,
                           row.flags & VREG_VI);
            if (row.flags & VREG_SIGN_MAGNITUDE)
                v = twos_to_sm(v);
            if (row.codes)
                v = code_index(row, v);
            if (row.read_max && v > row.read_max)
                v = row.read_max;
        } else if (!(row.flags & VREG_ZERO_UNUSED)) {
            return;
        }
        memcpy(field, &v, row.member.size);
    });
}

bool vreg_update_pending(const vreg_record &r, u32 base)
{
    const vreg_field &f = r.update;
    return f.width && field_read(address(base, f, f.reg), f.width, f.mask, false) != 0;
}

void vreg_update_done(const vreg_record &r, u32 base)
{
    if (r.update.width)
        update_write(r.update, base, 0);
}
