// The one pattern of the adapter's operations: read a platform record,
// change what the engine tunes, write it back; a failing call prints its
// name followed by " failed" and the operation ends with -1.
#pragma once

#include "core/pref_record.h"
#include "mpi/common/mpi_common.h"
#include "sceneauto/du_sceneauto_adpt_fields.h"

#include <cstdio>

namespace sceneauto_adpt {

// A platform call with its name, for the failure line.
template <class Fn> struct named_call {
    Fn fn;
    const char *name;
};
#define SCENEAUTO_CALL(fn) (sceneauto_adpt::named_call<decltype(&fn)>{&fn, #fn})

inline s32 call_failed(const char *name)
{
    printf("%s failed\n", name);
    return -1;
}

// Reads the record of `dev` and hands it to `take`.
template <class Rec, class Get, class Take> s32 get_record(s32 dev, named_call<Get> get, Take take)
{
    Rec rec = {};
    if (get.fn(dev, &rec) != 0)
        return call_failed(get.name);
    take(static_cast<const Rec &>(rec));
    return 0;
}

// Reads the record of `dev`, lets `patch` change it and writes it back;
// nothing is written after a failed read.
template <class Rec, class Get, class Set, class Patch>
s32 get_patch_set(s32 dev, named_call<Get> get, named_call<Set> set, Patch patch)
{
    Rec rec = {};
    if (get.fn(dev, &rec) != 0)
        return call_failed(get.name);
    patch(rec);
    if (set.fn(dev, &rec) != 0)
        return call_failed(set.name);
    return 0;
}

// Reads the record of `dev` into the engine's record by their field map.
template <class E, class P, class Get> s32 get_mapped(s32 dev, named_call<Get> get, const adpt_map<E, P> &map, E *out)
{
    return get_record<P>(dev, get, [&map, out](const P &p) { adpt_get(map, p, *out); });
}

// Reads the record of `dev`, writes the engine's fields into it by their
// field map and writes it back.
template <class E, class P, class Get, class Set>
s32 set_mapped(s32 dev, named_call<Get> get, named_call<Set> set, const adpt_map<E, P> &map, const E *in)
{
    return get_patch_set<P>(dev, get, set, [&map, in](P &p) { adpt_set(map, *in, p); });
}

// The user's preferences, read at the moment of each call; all zero (every
// setting at its default) before the application has loaded them.
inline const DvSystemParam &prefs()
{
    static const DvSystemParam none = {};
    const DvSystemParam *p = app_pref_user;
    return p ? *p : none;
}

// A -128..128 preference as a manual byte: -128..-1 give 0..127, 1..128
// give 128..255. False for 0 (automatic) and out-of-range values.
inline bool manual_level(s32 v, u8 *level)
{
    if (v >= PREF_ADJUST_MIN && v < PREF_ADJUST_NONE)
        *level = (u8)(v + 128);
    else if (v > PREF_ADJUST_NONE && v <= PREF_ADJUST_MAX)
        *level = (u8)(v + 127);
    else
        return false;
    return true;
}

} // namespace sceneauto_adpt
