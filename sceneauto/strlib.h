// String helpers of the INI parser. The first five return a copy in a static
// buffer of their own (at most 1024 characters), which the next call of the
// same helper overwrites: one thread at a time, and copy what must last. A
// null argument gives null. White space is isspace()'s class.
#pragma once

char *strlwc(const char *s);        // lower-case copy
char *strupc(const char *s);        // upper-case copy
char *strcrop(const char *s);       // copy without trailing white space
char *strstrip(const char *s);      // copy without leading and trailing white space
const char *strskp(const char *s);  // the first character that is not white space, in s itself

// The same in place, for callers that keep their own buffers (the loader,
// which must not share static buffers with whoever calls it).
bool ini_space(char c);
void ini_lower(char *s);
void ini_upper(char *s);
void ini_crop(char *s);
