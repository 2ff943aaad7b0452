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

// Rows within records of `engine_size` and `platform_size` bytes (a group's
// rows within its elements).
constexpr void adpt_check_rows(const adpt_field *rows, size_t n_rows, size_t engine_size, size_t platform_size)
{
    for (size_t i = 0; i < n_rows; i++) {
        const adpt_field &f = rows[i];
        if (!adpt_fits(f.engine, engine_size) || !adpt_fits(f.platform, platform_size))
            throw "a row reaches past its record";
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
