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

} // namespace

void adpt_walk(const adpt_field *rows, size_t n_rows, const void *from, void *to, bool to_engine)
{
    for (size_t i = 0; i < n_rows; i++) {
        const adpt_field &f = rows[i];
        if (!to_engine && f.skip_set)
            continue;
        const vreg_member &src = to_engine ? f.platform : f.engine;
        const vreg_member &dst = to_engine ? f.engine : f.platform;
        for (u32 k = 0; k < src.count; k++) {
            s64 v = load(from, src, k);
            if (f.how == ADPT_ONE_OR_ZERO)
                v = v == 1 ? 1 : 0;
            store(to, dst, k, v);
        }
    }
}
