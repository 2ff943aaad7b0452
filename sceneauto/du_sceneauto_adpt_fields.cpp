// The walk of an engine/platform field map (du_sceneauto_adpt_fields.h).
#include "sceneauto/du_sceneauto_adpt_fields.h"

#include <cstring>

namespace {

// Element `k` of a member as a signed 64-bit value (widened as its type says).
s64 load(const void *record, const vreg_member &m, u32 k)
{
    const u8 *p = static_cast<const u8 *>(record) + m.offset + (size_t)m.size * k;
    switch (m.size) {
    case 1: {
        u8 v;
        memcpy(&v, p, 1);
        return m.is_signed ? (s64)(s8)v : (s64)v;
    }
    case 2: {
        u16 v;
        memcpy(&v, p, 2);
        return m.is_signed ? (s64)(s16)v : (s64)v;
    }
    default: {
        u32 v;
        memcpy(&v, p, 4);
        return m.is_signed ? (s64)(s32)v : (s64)v;
    }
    }
}

// Element `k` of a member takes the low bytes of `v`, as an assignment would.
void store(void *record, const vreg_member &m, u32 k, s64 v)
{
    u8 *p = static_cast<u8 *>(record) + m.offset + (size_t)m.size * k;
    const u32 word = (u32)v;
    const u16 half = (u16)word;
    const u8 byte = (u8)word;
    switch (m.size) {
    case 1:
        memcpy(p, &byte, 1);
        break;
    case 2:
        memcpy(p, &half, 2);
        break;
    default:
        memcpy(p, &word, 4);
        break;
    }
}

u64 field_mask(const adpt_field &f) { return ((u64)1 << f.bits) - 1; }

// Element `k` of the row's platform member, its field's bits where packed.
s64 load_platform(const void *record, const adpt_field &f, u32 k)
{
    const s64 v = load(record, f.platform, k);
    return f.bits ? (s64)(((u64)v >> f.shift) & field_mask(f)) : v;
}

// Element `k` of the row's platform member takes `v`; a packed field takes
// its bits and leaves the member's others.
void store_platform(void *record, const adpt_field &f, u32 k, s64 v)
{
    if (f.bits) {
        const u64 mask = field_mask(f) << f.shift;
        v = (s64)(((u64)load(record, f.platform, k) & ~mask) | (((u64)v << f.shift) & mask));
    }
    store(record, f.platform, k, v);
}

// A group's elements in use: the source's count, at most either array's
// length (both lengths without a count), also written to the destination.
u32 group_elements(const adpt_field &f, const void *from, void *to, bool to_engine)
{
    u32 n = f.engine.count < f.platform.count ? f.engine.count : f.platform.count;
    if (!f.engine_count.size)
        return n;
    const s64 count = load(from, to_engine ? f.platform_count : f.engine_count, 0);
    if (count < n)
        n = count < 0 ? 0 : (u32)count;
    store(to, to_engine ? f.engine_count : f.platform_count, 0, n);
    return n;
}

} // namespace

void adpt_walk(const adpt_field *rows, size_t n_rows, const void *from, void *to, bool to_engine)
{
    for (size_t i = 0; i < n_rows; i++) {
        const adpt_field &f = rows[i];
        if (!to_engine && f.skip_set)
            continue;
        const vreg_member &src = to_engine ? f.platform : f.engine;
        const vreg_member &dst = to_engine ? f.engine : f.platform;
        if (f.how == ADPT_FIXED) {
            for (u32 k = 0; !to_engine && k < f.platform.count; k++)
                store_platform(to, f, k, f.value);
            continue;
        }
        if (f.how == ADPT_GROUP) {
            const u32 n = group_elements(f, from, to, to_engine);
            for (u32 k = 0; k < n; k++)
                adpt_walk(f.rows, f.n_rows, static_cast<const u8 *>(from) + src.offset + (size_t)src.size * k,
                          static_cast<u8 *>(to) + dst.offset + (size_t)dst.size * k, to_engine);
            continue;
        }
        for (u32 k = 0; k < src.count; k++) {
            s64 v = to_engine ? load_platform(from, f, k) : load(from, f.engine, k);
            if (f.how == ADPT_ONE_OR_ZERO)
                v = v == 1 ? 1 : 0;
            if (to_engine)
                store(to, f.engine, k, v);
            else
                store_platform(to, f, k, v);
        }
    }
}
