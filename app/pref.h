// The application's side of the preferences record: defaults, load from and
// save to flash, the copy on the card and the settings update from the card.
#pragma once

#include <cstddef>

#include "core/pref_record.h"

// Reads at most 10 bytes of /dv/config/roots_ver.txt into `out` (terminated),
// or "No Ver" when the file is missing.
void pref_read_rootfs_version(char *out, size_t size);

// The factory defaults into `p`, with the clock as Datetime; touches no
// device.
void pref_fill_defaults(DvSystemParam *p);

int app_pref_init(void);
int app_pref_get_user(void);
int ReadCfgFromFlash(void);
void KX_DV_SetUserSettingDefualt(void);
int WriteDefaultCfgToFlash(void);
int WriteCfgToFlash(void);
int app_pref_save_all(void);
int CheckCfgFileSDCard(void);
void print_debug_pref_user(void);
