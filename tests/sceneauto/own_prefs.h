// A preferences record of the test's own in the application's place for as
// long as it lives, zeroed; the application's comes back after.
#pragma once

#include "core/pref_record.h"

struct OwnPrefs {
    DvSystemParam pref = {};
    DvSystemParam *saved = app_pref_user;

    OwnPrefs() { app_pref_user = &pref; }
    ~OwnPrefs() { app_pref_user = saved; }
    OwnPrefs(const OwnPrefs &) = delete;
    OwnPrefs &operator=(const OwnPrefs &) = delete;
};
