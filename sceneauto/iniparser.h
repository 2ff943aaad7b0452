// INI files over the dictionary: load one with its comments, query and
// change it, and write it back with the comments in place.
//
// The loader reads "[section]" lines and "key = value" lines (value bare,
// "double-quoted" or 'single-quoted', a ';' comment after it); lines starting
// with ';' or '#' are comments, and a blank or unparsable line is kept as a
// blank one. Names are lower-cased; lookups through iniparser_* fold the key's
// case too, the dictionary_* calls take it as it is. The first of repeated
// sections and keys counts. One thread at a time.
#pragma once

#include "sceneauto/dictionary.h"

#include <cstdio>

// The file at the firmware path `ininame`; null when it cannot be opened or
// read. A line over 1023 characters is reported and dropped; a section name,
// key, value or comment over 512 characters is cut to 512, with a warning.
dictionary *iniparser_load(const char *ininame);
void iniparser_freedict(dictionary *d);

// The sections are the keys without ':'; -1 for a null dictionary.
s32 iniparser_getnsec(const dictionary *d);
// The n-th section (from 0) in slot order, null when there is none.
const char *iniparser_getsecname(const dictionary *d, s32 n);

// "section:key" lower-cased; a missing key or a section's null value gives
// the default.
const char *iniparser_getstring(const dictionary *d, const char *key, const char *def);
const char *iniparser_getstr(const dictionary *d, const char *key);
// The whole value as a number in C's notation (0x hex, leading 0 octal),
// else `notfound`: garbage is not 0. See dictionary_whole_int.
s32 iniparser_getint(const dictionary *d, const char *key, s32 notfound);
double iniparser_getdouble(const dictionary *d, const char *key, double notfound);
// y, Y, t, T or 1 first: 1; n, N, f, F or 0 first: 0; else `notfound`.
s32 iniparser_getboolean(const dictionary *d, const char *key, s32 notfound);
// 1 when the key (or section) exists, else 0.
s32 iniparser_find_entry(const dictionary *d, const char *key);

// Replace only: 0, 1 when the key does not exist, -1 for a null dictionary,
// key or no memory.
s32 iniparser_setstr(dictionary *d, const char *key, const char *val);
void iniparser_unset(dictionary *d, const char *key);
// Inserts "sec:key" (the section alone for a null or empty key) as given,
// without case folding: 0, 1 when it exists, -1 for a null dictionary or
// section, an empty name or no memory.
s32 iniparser_add_entry(dictionary *d, const char *sec, const char *key, const char *val);

// Stores a comment of `kind` (kCommentLine..kCommentBlank) owned by the entry
// "sec:key" (the section alone for an empty key, ":key" for an empty
// section, the file's head when both are empty): 0, or -1 for a null
// dictionary or section, another kind or no memory.
s32 iniparser_add_comment(dictionary *d, const char *sec, const char *key, const char *text, s32 kind);
// Writes the comments of `owner` in slot order, each on a line of its own
// (a trailing one too: the line it trailed is already written); 1 when it
// wrote any.
s32 iniparser_save_comment(const dictionary *d, FILE *f, u32 owner);

// Every entry in slot order as "[key]=[value]" or "[key]=UNDEF".
void iniparser_dump(const dictionary *d, FILE *f);
// The dictionary as an INI file that loads back to it: the head's comments,
// the entries outside every section, then each section's header, comments
// and entries, each line followed by its comments. A key without a value
// gets a header too, as a section whose name holds ':' loads.
void iniparser_dump_ini(const dictionary *d, FILE *f);
// The same on standard output for a person: values unquoted, no comments.
void iniparser_mem_printf(const dictionary *d);

// INI sections have no lower levels: there are none to count or fetch.
s32 iniparser_sec_getNLowLever(void);
s32 iniparser_sec_getLowLever(void);
