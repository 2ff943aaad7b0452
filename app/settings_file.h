// The settings text file /mnt/sdcard0/syscfg2.txt: a DOS text the user edits
// on a computer, one "key=[value];help" line per setting.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/pref.h"

constexpr int SETTINGS_KEY_COUNT = 57;
// The value of a line holds at most this many characters; longer ones are cut.
constexpr size_t SETTINGS_VALUE_MAX = 19;

// Key texts (spaces removed), indexed as setTableVale takes them; made from
// the one table of keys that the parser and the writer walk.
extern const char (&keyTable)[256][100];

// Parser state, kept from one file to the next. Only the settings file's
// reader touches it (fileRead and setTableVale, from the settings-update
// application on the handler thread); no lock.
extern int curMode;          // per-mode element the per-mode keys set: 0, 1 or 2
extern char setDatetime[20]; // clock text waiting for "Modify datetime=[1]"
extern int g_change_date_tag; // 1: a clock text applies as soon as it comes
extern int g_format_tag;
extern int do_format;

// Back to the state at power-on (mode 0, nothing pending, no confirmations).
void settings_parser_reset(void);

int WriteTxtCfgToSDCard(void);
// 0 when the file was parsed, -1 when it can't be opened.
int fileRead(void);
int findKey(const char *text);
int strcmpy(const char *a, const char *b);
int setTableVale(int index, const char *value);
void showDebug(void);

// A frame rate of 120 or 100 fps (0 or 3) at 1080p (resolution 0) of `mode`
// becomes 60 fps (1); 1 when it did.
int settings_fix_frame_rate(DvSystemParam *p, int mode);

// Replaces every word of `p` that a settings key covers and that lies outside
// the key's range by the key's fallback (with `defaults`, by that record's
// word), saying so with `origin`; returns the number of words replaced.
int settings_fix_ranges(DvSystemParam *p, const char *origin, const DvSystemParam *defaults = nullptr);
