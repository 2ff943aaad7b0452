// A string dictionary with the comments of the INI file it was read from.
//
// Entries sit in unordered slots: a new one takes the first free slot, a free
// slot has a null key and hash 0. Keys are "section:key" (both lower-cased by
// the INI loader), a section alone is its bare name with a null value, and a
// key before any section is ":key". Every string is the dictionary's own copy.
// Comments hang off the hash of the section or key line above them (65535:
// the file's head) and are written back after that line. Both arrays only
// grow, by doubling. No lock: one thread at a time.
#pragma once

#include "mpi/common/mpi_common.h"

#include <cstddef>
#include <cstdio>

// What a comment slot holds.
constexpr u8 kCommentFree = 0;
constexpr u8 kCommentLine = 1;     // a line starting with ';' or '#' in column 0
constexpr u8 kCommentTrailing = 2; // the rest of a section or key line
constexpr u8 kCommentIndented = 3; // a comment line after white space
constexpr u8 kCommentBlank = 4;    // a blank or unparsable line

// The owner of the comments before the first section or key.
constexpr u32 kCommentHead = 65535;

struct dictionary {
    s32 n;     // entries in use
    s32 size;  // entry slots
    char **val;
    char **key;
    u32 *hash;
    s32 comment_n;      // comments stored
    s32 comment_size;   // comment slots
    char **comment_text; // null for an empty text
    u32 *comment_owner;  // hash of the owner's name, or kCommentHead
    u8 *comment_kind;
};

// Jenkins' one-at-a-time hash of the key's bytes; 0 for "".
u32 dictionary_hash(const char *key);

// max(size, 512) entry slots and as many comment slots; null when memory runs out.
dictionary *dictionary_new(s32 size);
void dictionary_del(dictionary *d);

// A null dictionary or key, a missing entry or a null value give `def`.
const char *dictionary_get(const dictionary *d, const char *key, const char *def);
char dictionary_getchar(const dictionary *d, const char *key, char def);
// The whole value as a decimal number (dictionary_whole_int), else `def`.
s32 dictionary_getint(const dictionary *d, const char *key, s32 def);
// The whole value as strtod reads it (dictionary_whole_double), else `def`.
double dictionary_getdouble(const dictionary *d, const char *key, double def);

// Replace only: 0, or -1 when the key is missing (nothing added). A null val
// stores a null value.
s32 dictionary_set(dictionary *d, const char *key, const char *val);
// Insert only: 0, or -1 when the key exists (its value kept) or memory runs out.
s32 dictionary_add(dictionary *d, const char *key, const char *val);
// Replace or insert: 0, or -1 for a null dictionary or key or no memory.
s32 dictionary_modify(dictionary *d, const char *key, const char *val);
void dictionary_unset(dictionary *d, const char *key);
// dictionary_set with the number as "%d" / "%g".
s32 dictionary_setint(dictionary *d, const char *key, s32 i);
s32 dictionary_setdouble(dictionary *d, const char *key, double x);

// One "%20s\t[%s]\n" line per entry in slot order ("UNDEF" for a null value),
// or "empty dictionary\n".
void dictionary_dump(const dictionary *d, FILE *out);

// A zeroed block of 2 x size bytes starting with the first size bytes of ptr,
// which is freed; null (ptr kept) when memory runs out.
void *mem_double(void *ptr, size_t size);

// For the INI level: the slot of `key` (-1 when missing); the comment arrays
// at twice their size (false, arrays kept, when memory runs out); the whole
// text as a number, white space around it allowed (strtoll in `base`, from
// -2^31 to 2^32 - 1, the upper half as its 32-bit pattern; strtod).
s32 dictionary_slot(const dictionary *d, const char *key);
bool dictionary_grow_comments(dictionary *d);
bool dictionary_whole_int(const char *s, int base, s32 *out);
bool dictionary_whole_double(const char *s, double *out);
