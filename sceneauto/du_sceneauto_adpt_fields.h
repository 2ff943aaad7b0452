// An engine record and the platform record it mirrors, described once: one
// row per field pairs the engine's member with the platform's. The get
// walks the rows from the platform's record into the engine's, the set
// walks the same rows back, so a field read is the field written and a
// field added to one direction is added to both.
//
// A map for a pair of records:
//
//   constexpr adpt_field kRows[] = {
//       adpt_pair(VREG_MEMBER(E, u8Speed), VREG_MEMBER(P, stAuto.u8Speed)),
//       adpt_pair(VREG_MEMBER(E, au8Weight), VREG_MEMBER(P, stAuto.au8Weight)).get_only(),
//       adpt_pair(VREG_MEMBER(E, bManual), VREG_MEMBER(P, enOpType)).one_or_zero(),
//       adpt_pair(VREG_MEMBER(E, au32ThreshI), adpt_span(VREG_MEMBER(P, au32Word[0]), 12)),
//   };
//   constexpr adpt_map<E, P> kMap = adpt_map_of<E, P>(kRows);
//
//   get: adpt_get(kMap, platform, engine);   set: adpt_set(kMap, engine, platform);
//
// The two members of a row hold as many elements; each element is converted
// between the members' widths as an assignment would. A row that does not
// fit its records, or pairs members of different lengths, does not compile.
//
// An array of records whose count says how many are in use (a route's
// nodes) is a group: rows of its own, from an element of each array.
//
//   constexpr adpt_field kNode[] = {
//       adpt_pair(VREG_MEMBER(EN, u32IntTime), VREG_MEMBER(PN, u32IntTime)),
//       adpt_fixed(VREG_MEMBER(PN, enIrisFNO), 8),
//   };
//   adpt_group(ADPT_ARRAY(E, astNode), ADPT_ARRAY(P, astNode), kNode)
//       .counted_by(VREG_MEMBER(E, u32TotalNum), VREG_MEMBER(P, u32TotalNum)),
//
// A platform record packed at the bit (a block of words with no members of
// their own) names each field by its byte, first bit and bits:
//
//   adpt_packed(VREG_MEMBER(E, u16Thresh), 20, 6, 10),  // bits 6-15 from byte 20
//   adpt_packed_fixed(27, 2, 5, 12),
//   adpt_pair(VREG_MEMBER(E, au16Word), adpt_at(2, 2, 3)),  // three halfwords from byte 2
//
// No two rows a set walks write the same bits.
#pragma once

#include "isp/isp_vreg_fields.h"

#include <cstddef>
#include <type_traits>

enum adpt_how : u8 {
    ADPT_COPY,        // the value
    ADPT_ONE_OR_ZERO, // 1 where the other side holds 1, else 0
    ADPT_FIXED,       // the set writes `value`, the get leaves the engine as it is
    ADPT_GROUP,       // `rows` for each element in use of two arrays of records
};

struct adpt_field {
    vreg_member engine = {}, platform = {};
    u8 how = ADPT_COPY;
    bool skip_set = false; // the set leaves the platform's field (the set takes it from elsewhere)
    u32 value = 0;         // ADPT_FIXED
    // The platform's bits [shift, shift + bits) of its member hold the field
    // (bits 0: the whole member); the set leaves the member's other bits.
    u8 shift = 0, bits = 0;
    // ADPT_GROUP: engine and platform are the arrays (size: one element's
    // bytes); the walk takes the source's count, at most either array's
    // length, writes it to the destination's and walks that many elements.
    const adpt_field *rows = nullptr;
    u16 n_rows = 0;
    vreg_member engine_count = {}, platform_count = {};

    constexpr adpt_field counted_by(vreg_member engine_n, vreg_member platform_n) const
    {
        adpt_field f = *this;
        f.engine_count = engine_n;
        f.platform_count = platform_n;
        return f;
    }

    constexpr adpt_field get_only() const
    {
        adpt_field f = *this;
        f.skip_set = true;
        return f;
    }
    constexpr adpt_field one_or_zero() const
    {
        adpt_field f = *this;
        f.how = ADPT_ONE_OR_ZERO;
        return f;
    }
};

// `n` elements from the one a member names (an array's part).
constexpr vreg_member adpt_span(vreg_member first, u16 n)
{
    first.count = n;
    return first;
}

constexpr adpt_field adpt_pair(vreg_member engine, vreg_member platform)
{
    if (engine.count != platform.count || engine.is_float || platform.is_float)
        throw "a row pairs two integer members of one length";
    adpt_field f;
    f.engine = engine;
    f.platform = platform;
    return f;
}

// A value the set writes into a platform member the engine does not hold.
constexpr adpt_field adpt_fixed(vreg_member platform, u32 value)
{
    adpt_field f;
    f.platform = platform;
    f.how = ADPT_FIXED;
    f.value = value;
    return f;
}

// `count` elements of `size` bytes from byte `at` of a record with no
// members of its own.
constexpr vreg_member adpt_at(u32 at, u8 size, u16 count = 1) { return {at, size, false, false, count}; }

// `bits` bits from bit `shift` of the record's bytes from `at`, read as one
// unit of 1, 2 or 4 bytes in the host's order (little-endian, as the
// platform's blocks are).
constexpr adpt_field adpt_bits_at(adpt_field f, u32 at, u8 shift, u8 bits)
{
    if (bits == 0 || shift + bits > 32)
        throw "a packed field holds 1 to 32 bits within four bytes";
    f.platform = adpt_at(at, shift + bits <= 8 ? 1 : shift + bits <= 16 ? 2 : 4);
    f.shift = shift;
    f.bits = bits;
    return f;
}

// An engine member in a packed platform record.
constexpr adpt_field adpt_packed(vreg_member engine, u32 at, u8 shift, u8 bits)
{
    if (engine.count != 1 || engine.is_float)
        throw "a packed field holds one integer";
    adpt_field f;
    f.engine = engine;
    return adpt_bits_at(f, at, shift, bits);
}

// A value the set writes into a packed platform record.
constexpr adpt_field adpt_packed_fixed(u32 at, u8 shift, u8 bits, u32 value)
{
    if (bits < 32 && value >> bits)
        throw "a fixed value fits its bits";
    return adpt_bits_at(adpt_fixed({}, value), at, shift, bits);
}

// An array of records as a group's member: its elements' size and number.
template <class M> constexpr vreg_member adpt_array_of(size_t offset)
{
    using E = std::remove_extent_t<M>;
    static_assert(std::rank<M>::value == 1 && sizeof(E) < 256, "a one-dimensional array of small records");
    return {(u32)offset, (u8)sizeof(E), false, false, (u16)std::extent<M>::value};
}
#define ADPT_ARRAY(T, m) adpt_array_of<decltype(std::declval<T &>().m)>(offsetof(T, m))

template <size_t N> constexpr adpt_field adpt_group(vreg_member engine, vreg_member platform, const adpt_field (&rows)[N])
{
    adpt_field f;
    f.engine = engine;
    f.platform = platform;
    f.how = ADPT_GROUP;
    f.rows = rows;
    f.n_rows = (u16)N;
    return f;
}

template <class E, class P> struct adpt_map {
    const adpt_field *rows;
    u16 n_rows;
};

constexpr bool adpt_fits(const vreg_member &m, size_t record_size)
{
    return m.offset + (size_t)m.size * m.count <= record_size;
}

// The platform's bits a row covers, counted from the record's first bit.
struct adpt_bit_span {
    u64 from, to;
};
constexpr adpt_bit_span adpt_platform_bits(const adpt_field &f)
{
    const u64 at = (u64)f.platform.offset * 8;
    if (f.bits)
        return {at + f.shift, at + f.shift + f.bits};
    return {at, at + (u64)f.platform.size * f.platform.count * 8};
}

// Rows within records of `engine_size` and `platform_size` bytes (a group's
// rows within its elements), none of the set's writing another's bits.
constexpr void adpt_check_rows(const adpt_field *rows, size_t n_rows, size_t engine_size, size_t platform_size)
{
    for (size_t i = 0; i < n_rows; i++) {
        const adpt_field &f = rows[i];
        if (!adpt_fits(f.engine, engine_size) || !adpt_fits(f.platform, platform_size))
            throw "a row reaches past its record";
        for (size_t j = 0; j < i && !f.skip_set; j++) {
            const adpt_bit_span a = adpt_platform_bits(f), b = adpt_platform_bits(rows[j]);
            if (!rows[j].skip_set && a.from < b.to && b.from < a.to)
                throw "two rows the set walks write the same bits";
        }
        if (f.how != ADPT_GROUP)
            continue;
        if (!f.engine_count.size && f.engine.count != f.platform.count)
            throw "a group without a count pairs arrays of one length";
        if (f.engine_count.size && (!adpt_fits(f.engine_count, engine_size) || !adpt_fits(f.platform_count, platform_size)))
            throw "a group's count reaches past its record";
        adpt_check_rows(f.rows, f.n_rows, f.engine.size, f.platform.size);
    }
}

template <class E, class P, size_t N> constexpr adpt_map<E, P> adpt_map_of(const adpt_field (&rows)[N])
{
    adpt_check_rows(rows, N, sizeof(E), sizeof(P));
    return {rows, (u16)N};
}

// The walk: each row's elements from `from` into `to`; `to_engine` says
// which side each record is, and skips the get-only rows on the way back.
void adpt_walk(const adpt_field *rows, size_t n_rows, const void *from, void *to, bool to_engine);

template <class E, class P> void adpt_get(const adpt_map<E, P> &m, const P &platform, E &engine)
{
    adpt_walk(m.rows, m.n_rows, &platform, &engine, true);
}

template <class E, class P> void adpt_set(const adpt_map<E, P> &m, const E &engine, P &platform)
{
    adpt_walk(m.rows, m.n_rows, &engine, &platform, false);
}
