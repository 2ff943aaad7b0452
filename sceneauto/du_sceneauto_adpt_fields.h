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
#pragma once

#include "isp/isp_vreg_fields.h"

#include <cstddef>

enum adpt_how : u8 {
    ADPT_COPY,        // the value
    ADPT_ONE_OR_ZERO, // 1 where the other side holds 1, else 0
};

struct adpt_field {
    vreg_member engine = {}, platform = {};
    u8 how = ADPT_COPY;
    bool skip_set = false; // the set leaves the platform's field (the set takes it from elsewhere)

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

template <class E, class P> struct adpt_map {
    const adpt_field *rows;
    u16 n_rows;
};

constexpr bool adpt_fits(const vreg_member &m, size_t record_size)
{
    return m.offset + (size_t)m.size * m.count <= record_size;
}

template <class E, class P, size_t N> constexpr adpt_map<E, P> adpt_map_of(const adpt_field (&rows)[N])
{
    for (const adpt_field &f : rows)
        if (!adpt_fits(f.engine, sizeof(E)) || !adpt_fits(f.platform, sizeof(P)))
            throw "a row reaches past its record";
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
